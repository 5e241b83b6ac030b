REM source: SQL*Plus User's Guide and Reference, COMPUTE: MAXIMUM and MINIMUM apply to NUMBER, CHAR
REM and VARCHAR2 columns, COUNT and NUMBER to columns of any type, SUM and AVG to NUMBER columns;
REM the values of one function come on one line, whichever COMPUTE commands named their columns.
BREAK ON deptno SKIP 1
COMPUTE COUNT MINIMUM MAXIMUM OF ename ON deptno
select deptno, ename, job from emp where deptno in (10, 20) order by deptno, ename;
CLEAR COMPUTES
COMPUTE SUM OF sal ON deptno
COMPUTE SUM OF comm ON deptno
COMPUTE
select deptno, ename, sal, comm from emp where deptno = 30 order by ename;
CLEAR BREAKS
CLEAR COMPUTES
EXIT
