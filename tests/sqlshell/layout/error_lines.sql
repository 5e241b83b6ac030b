REM source: SQL*Plus User's Guide and Reference, "Interpreting Error Messages", SET SQLBLANKLINES and
REM "Placing Comments in Scripts": blank lines and -- comment lines before a statement are not part
REM of it, so its lines count from its first word; a comment inside it is one of its lines. The
REM "*" stands under the token's first column, a full-width character taking two.


-- the clerks
select ename
  -- their names
  from emp
 where job = 'CLERK' and sal >;
select ename 社員名, job 職種
  from emp
 where ename = 'スミス' and nosuch = 1;
REM source: Oracle Database Error Messages, ORA-00937, ORA-00979, ORA-00918 and ORA-01790 (the first
REM query block's column is marked: awads.net, "One more reason to upgrade your Oracle 8i").
select deptno,
       count(*)
  from emp;
select deptno, job, count(*)
  from emp
 group by deptno;
select deptno
  from emp, dept;
select ename from emp
union
select deptno from dept;
REM source: Oracle Database Error Messages, ORA-00904 and ORA-00922 ("Specifying a maximum length on a
REM DATE or LONG datatype also causes this error").
select ename from emp where hiredate > 01-JAN-81;
create table t (
  d date(7));
