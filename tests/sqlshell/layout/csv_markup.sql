REM source: SQL*Plus User's Guide and Reference, SET MARKUP CSV {ON|OFF} [DELIMI[TER] character]
REM [QUOTE {ON|OFF}]: rows as comma-separated values, text in double quotes unless QUOTE OFF.
set markup csv on
select * from dept order by deptno;
select empno, ename, comm from emp where deptno = 10 order by empno;
REM no rows: no headings, the feedback as usual
select ename from emp where 1 = 0;
REM a quote inside text is doubled; NULL is an empty field
select 'say "hi"' a, null b, 1.5 c from dual;
set markup csv on delimiter | quote off
select * from dept where deptno = 10;
set markup csv on delimiter ; quote on
set heading off
select dname, deptno from dept where deptno = 20;
set heading on
set markup csv off
select * from dept where deptno = 10;
REM HTML OFF leaves CSV as it is
set markup csv on delimiter ,
set markup html off
select dname from dept where deptno = 30;
set markup csv off
