REM source: SQL*Plus User's Guide and Reference, COMPUTE: with BREAK ON ROW, COMPUTE ... ON ROW
REM prints its lines after every row, the label in the first column of the SELECT list; "You can
REM suppress the label by using a NOPRINT column first in the SELECT statement"; a label is
REM "truncated to the column width".
break on row
compute sum label 'Row total' of sal comm on row
select ename, sal, comm from emp where deptno = 30 and comm > 0 order by ename;
clear breaks
clear computes
column deptno noprint
break on report
compute sum of sal on report
select deptno, ename, sal from emp where deptno = 10 order by ename;
clear columns
break on deptno skip 1
compute sum label 'Department Total' of sal on deptno
select deptno, ename, sal from emp where deptno = 10 order by ename;
clear breaks
clear computes
