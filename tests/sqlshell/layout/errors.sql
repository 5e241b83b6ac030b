REM source: SQL*Plus User's Guide and Reference, "Interpreting Error Messages" and DESCRIBE: the
REM statement's line, a "*" under the token at fault, "ERROR at line n:" and the message; an object
REM DESCRIBE cannot find gives "ERROR:" and ORA-04043.
select ename,
  deptno dept no
from emp;
select ename from emp wher sal > 1;
select ename from emp where;
select ename
  from emp
 where deptno = 10 and sal >;
update emp set sal = 'x' where empno = 7369;
desc nosuch
desc dept
REM DDL that names a missing or already used object marks the name, also on a later line.
create table emp (x number);
drop table nosuch;
alter table emp add (ename varchar2(5));
create table
  dept (x number);
REM A function given too many arguments, a column in VALUES on a later line, a wide space.
select ename, substr(ename, 1, 2, 3) from emp;
insert into dept (deptno, dname, loc)
  values (50, 'SALES', CHICAGO);
select ename　from emp;
REM source: ORA-01476 met while a WITH query runs, as SQL*Plus shows it (learnomate.org, "ORA-01476:
REM divisor is equal to zero"): an error met while the rows are made marks the main SELECT.
WITH T AS (
SELECT 1 DIVIDEND, 0 DIVISOR FROM DUAL
)
SELECT DIVIDEND/DIVISOR AS QUOTIENT FROM T;
select ename, sal / (sal - sal) from emp;
