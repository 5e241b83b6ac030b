REM source: SQL*Plus User's Guide and Reference, SET FEEDBACK and the messages of SQL statements:
REM "n rows selected." from FEEDBACK rows on (6 by default, 1 when ON), "no rows selected", and a
REM message after every other statement, each with a blank line before and after it.
select dname from dept where deptno = 10;
select ename from emp where deptno = 30 order by empno;
select ename from emp where deptno = 20 order by empno;
select ename from emp where 1 = 0;
set feedback 1
select dname from dept where deptno = 10;
set feedback off
select dname from dept where deptno = 10;
update dept set loc = loc where deptno = 10;
set feedback on
select dname from dept where deptno = 20 order by empno;
set feedback 6
create table fb (a number, b varchar2(10));
alter table fb add (c date);
create index fb_i on fb (a);
create view fb_v as select a, b from fb;
create sequence fb_s;
create synonym fb_syn for fb;
insert into fb (a, b) values (1, 'x');
insert into fb (a, b) select empno, ename from emp where deptno = 10;
update fb set a = a + 1;
delete from fb where a = 2;
savepoint sp1;
rollback to savepoint sp1;
commit;
comment on table fb is 'feedback';
alter session set nls_date_format = 'RR-MM-DD';
merge into fb using (select 9 id from dual) s on (fb.a = s.id)
  when not matched then insert (a) values (s.id);
truncate table fb;
rename fb to fb2;
drop synonym fb_syn;
drop sequence fb_s;
drop view fb_v;
drop index fb_i;
drop table fb2;
rollback;
lock table dept in exclusive mode;
commit;
set transaction read only;
commit;
analyze table dept compute statistics;
create index dept_dname_i on dept (dname);
analyze index dept_dname_i compute statistics;
drop index dept_dname_i;
