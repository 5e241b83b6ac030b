REM source: SQL*Plus User's Guide and Reference, "Formatting Query Results" / "Changing Column
REM Headings": a CHAR, VARCHAR2 or DATE column is as wide as its values and cuts a longer heading;
REM a NUMBER column is NUMWIDTH (10) wide or as wide as its heading; headings of numbers are right
REM aligned; a DATE takes the width of the session's date format (RR-MM-DD here).
select dummy from dual;
select 'Hello' from dual;
select * from dept order by deptno;
select empno, ename, job, hiredate from emp where deptno = 10 order by empno;
select ename, hiredate as hire_date_of_employee, job as job_title_long from emp where empno = 7369;
select sum(sal) total_salary_of_all, count(*) from emp;
column ename heading 'Employee|Name' format a12
column sal heading 'Monthly Salary'
select ename, sal from emp where empno = 7839;
select max(hiredate) from emp where 1 = 0;
