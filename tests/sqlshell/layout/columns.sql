REM source: SQL*Plus User's Guide and Reference, COLUMN FORMAT An with WRAPPED, WORD_WRAPPED and
REM TRUNCATED, SET NULL, SHOW: a value wider than its column goes on in the next lines of the
REM column (between words with WORD_WRAPPED) or is cut; a record that wrapped is followed by a
REM blank line; SET NULL text stands for NULL.
column ename format a4
select ename from emp where deptno = 10 order by ename;
column ename format a4 truncated
select ename from emp where deptno = 10 order by ename;
column txt format a12 word_wrapped
select 'Now is the time for all good men' txt from dual;
column txt format a12 wrapped
select 'Now is the time for all good men' txt from dual;
set null '(none)'
show null
select ename, comm from emp where deptno = 10 order by ename;
set null ''
show null
show user
show feedback
show pagesize
show linesize
show heading
column deptno noprint
column ename justify right format a10
column sal justify center heading 'Salary'
break on deptno skip 1
select deptno, ename, sal from emp where deptno in (10, 20) order by deptno, ename;
REM FOLD_AFTER ends the record's line after the column, FOLD_BEFORE (NEWLINE) starts one before
REM it; the headings fold the same way.
clear breaks
clear columns
column ename fold_after
column job newline
select empno, ename, job, sal from emp where deptno = 10 order by empno;
clear columns
