REM source: SQL*Plus User's Guide and Reference, "Clarifying Your Report with Spacing and Summary
REM Lines" (BREAK and COMPUTE): a break column shows a value once per group, SKIP n puts blank lines
REM before the next group, COMPUTE prints a row of asterisks under the break column and dashes
REM under the computed ones, then the label and the result; the report's summary comes last;
REM BREAK ON ROW SKIP n puts blank lines between every two rows.
break on deptno skip 1 on report
compute sum of sal on deptno
compute sum of sal on report
set pagesize 50
select deptno, ename, sal from emp order by deptno, ename;
REM "COMPUTE command functions are always executed in the sequence AVG, COUNT, MINIMUM, MAXIMUM,
REM NUMBER, SUM, STD, VARIANCE, regardless of their order in the COMPUTE command."
compute sum max avg count min of sal on deptno
select deptno, sal from emp where deptno in (10, 30) order by deptno, sal;
break on deptno
compute sum label 'Total' of sal comm on deptno
select deptno, ename, sal, comm from emp where deptno = 30 order by ename;
clear breaks
clear computes
select deptno, ename from emp where deptno = 10 order by ename;
break on report
compute std variance of sal on report
select ename, sal from emp where deptno = 10 order by ename;
clear breaks
clear computes
break on row skip 1
select deptno, dname from dept where deptno < 30 order by deptno;
clear breaks
REM COMPUTE: "If you compute a function of the first column in the SELECT statement ON REPORT or ON
REM ROW, then the computed value appears in the first column and the label is not displayed."
break on report
compute sum of sal on report
select sal, ename from emp where deptno = 10 order by ename;
clear breaks
clear computes
