REM source: SQL*Plus User's Guide and Reference, ACCEPT and "Using Substitution Variables": ACCEPT
REM shows its PROMPT text and reads a line into the variable, DEFAULT standing in for an empty
REM answer; with VERIFY ON the statement's line shows before and after substitution.
accept nm char default 'KING' prompt 'Name: '
select empno from emp where ename = '&nm';
define dno = 20
select count(*) from emp where deptno = &dno;
set verify off
select dname from dept where deptno = &dno;
