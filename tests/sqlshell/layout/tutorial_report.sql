REM source: SQL*Plus User's Guide and Reference, "Continuing a Long SQL*Plus Command on Additional
REM Lines": a hyphen ends each line but the last, and SQL*Plus prompts the further lines with ">".
set echo on
column sal format $99,999 -
heading 'MONTHLY SALARY'
select ename, sal from emp where deptno = 10 order by ename;
set echo off
REM source: SQL*Plus User's Guide and Reference, "Computing Summary Lines" (COMPUTE SUM ... OF SAL ON
REM DEPTNO REPORT with BREAK ON DEPTNO SKIP 1 ON REPORT: a total per department, then the grand total);
REM the sums worked out by hand on the EMP rows.
break on deptno skip 1 on report
compute sum label 'TOTAL' of sal on deptno report
select deptno, ename, sal from emp where deptno in (10, 30) order by deptno, ename;
clear breaks
clear computes
clear columns
