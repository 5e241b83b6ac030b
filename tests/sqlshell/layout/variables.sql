REM source: SQL*Plus User's Guide and Reference, ACCEPT and "Using Substitution Variables": ACCEPT
REM shows its PROMPT text and reads a line into the variable, DEFAULT standing in for an empty
REM answer; with VERIFY ON the statement's line shows before and after substitution.
accept nm char default 'KING' prompt 'Name: '
select empno from emp where ename = '&nm';
define dno = 20
select count(*) from emp where deptno = &dno;
set verify off
select dname from dept where deptno = &dno;
REM COLUMN NEW_VALUE: the variable takes the column's value of the last row, a NUMBER one as a
REM NUMBER variable; a query without rows leaves it as it was. _USER is the shell's own variable.
column maxsal new_value msal noprint
select max(sal) maxsal from emp;
define msal
select ename from emp where sal = &msal;
column dname new_value last_dept
select dname from dept order by deptno;
prompt Last department: &last_dept
column dname new_value last_dept
select dname from dept where 1 = 0;
define last_dept
column avgsal new_value asal format 9999.99
select avg(sal) avgsal from emp;
define asal
prompt Connected as &_user
