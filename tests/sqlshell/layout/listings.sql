REM source: SQL*Plus User's Guide and Reference, "Formatting Query Results" (default headings are
REM the column or expression names as the server gives them, in upper case; a NUMBER column is
REM NUMWIDTH wide or as wide as its heading and shows its value in NUMWIDTH places, in scientific
REM notation when the digits do not fit), SET PAGESIZE 14 (the heading again after fourteen lines,
REM the NEWPAGE blank line included) and SET FEEDBACK 6; SQL Language Reference, "Selecting from the
REM DUAL Table" (DUMMY is VARCHAR2(1)); Database Reference 11g Release 2, USER_OBJECTS and
REM USER_TAB_COLUMNS (OBJECT_NAME VARCHAR2(30), OBJECT_TYPE VARCHAR2(19), DATA_TYPE VARCHAR2(106)).
select empno, ename, job from emp order by empno;
select ename, sal*12, sal * 12 + nvl(comm, 0), ename || ' is a ' || job
from emp where empno = 7499;
select count(distinct job), 'Hello World', - 1 from emp;
select Lower(Ename), Ename "Ename" from emp where empno = 7839;
select dummy x, dummy "ABC", d.dummy, 'Y' y from dual d;
select 2/3 a, 1e10 b, 1e-5 c, 99999.99999 d, 9999999999.5 e, 1e125 f, -1e-125 g from dual;
select 123456789012, -123456789012 from dual;
select object_name, object_type from user_objects
where object_name in ('DEPT', 'EMP') order by 1;
select column_name, data_type from user_tab_columns where table_name = 'DEPT' order by column_id;
select -2/3 a, -1234567.891 b, -12345678.9 c, -999999999.5 d, -0.00001234 e, -1e-10 f, -9999999999 g from dual;
alter session set nls_date_format = 'DD-MON-RR';
select * from emp where deptno = 10 order by empno;
select ename, hiredate from emp where hiredate is null;
select max(hiredate) from emp where 1 = 0;
