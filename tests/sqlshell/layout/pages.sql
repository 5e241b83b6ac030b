REM source: SQL*Plus User's Guide and Reference, SET LINESIZE, SET PAGESIZE, SET RECSEP and SET
REM HEADING: a record wider than the line goes on to the next line and is followed by a blank line
REM (RECSEP WRAPPED); each page starts with a blank line and the headings, and holds PAGESIZE lines;
REM PAGESIZE 0 leaves out headings and page breaks; HEADING OFF only the headings.
select * from emp order by empno;
set linesize 40
select empno, ename, job, sal from emp where deptno = 10 order by empno;
set linesize 80
set pagesize 6
select empno, ename from emp where deptno = 20 order by empno;
set pagesize 0
select deptno, dname from dept order by deptno;
set pagesize 14
set heading off
select deptno, dname from dept order by deptno;
set heading on
set recsep off
set linesize 40
select empno, ename, job, sal from emp where deptno = 10 order by empno;
