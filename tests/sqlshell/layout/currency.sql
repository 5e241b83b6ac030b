REM source: SQL*Plus User's Guide and Reference, COLUMN FORMAT number elements L, C and U ("returns
REM the local currency symbol / the ISO currency symbol / the dual currency symbol in the specified
REM position"), which follow the session's NLS territory as TO_CHAR does; like $ they stand before
REM the digits or, for L, C and U, after them.
column sal format L99,999.99
select ename, sal from emp where deptno = 10 order by ename;
column sal format C9999MI
select -5 sal, 5000 sal from dual;
column sal format 9,999.99U
select 1234.5 sal from dual;
column sal format L9
select 12 sal from dual;
alter session set nls_territory = 'AMERICA';
column sal format L99,999.99
select sal from emp where empno = 7839;
column sal format C99,999
select -5000 sal from dual;
