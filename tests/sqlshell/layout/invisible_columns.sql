REM source: SQL*Plus User's Guide and Reference, SET COLINVISIBLE and DESCRIBE; Oracle Database
REM Administrator's Guide, "Understand Invisible Columns": DESCRIBE leaves invisible columns out
REM unless COLINVISIBLE is ON, which lists them after the others marked (INVISIBLE).
create table inv_d (a number(4) not null, b varchar2(10) invisible, c date, d number invisible);
desc inv_d
insert into inv_d values (1, date '2020-01-02');
insert into inv_d (a, b, c, d) values (2, 'two', date '2021-03-04', 5);
select * from inv_d order by a;
set colinvisible on
show colinvisible
desc inv_d
set colinv off
desc inv_d
alter table inv_d modify (b visible);
desc inv_d
