REM source: SQL*Plus User's Guide and Reference, SET AUTOCOMMIT: IMMEDIATE works as ON; n commits
REM after n successful INSERT, UPDATE or DELETE statements, the count starting again after a commit,
REM a rollback or another SET AUTOCOMMIT; SHOW AUTOCOMMIT as SQL*Plus prints each setting.
set autocommit immediate
show autocommit
set autocommit 3
show autocommit
update bonus set sal = 1;
insert into bonus values ('A', 'X', 1, 1);
select count(*) from bonus;
insert into bonus values ('B', 'X', 1, 1);
insert into bonus values ('C', 'X', 1, 1);
rollback;
select ename from bonus order by ename;
set autocommit -1
set autocommit off
show autocommit
