REM source: SQL*Plus User's Guide and Reference, SET EMBEDDED {ON|OFF}: "ON enables a report to
REM begin anywhere on a page. Set EMBEDDED to ON when you want a report to begin printing
REM immediately following the end of the previously run report"; OFF starts each on a new page
REM (page numbers start again). Lines counted by hand against PAGESIZE 12.
set pagesize 12
ttitle left 'Page ' sql.pno
select ename from emp where deptno = 10 order by 1;
set embedded on
select dname from dept order by 1;
select ename from emp where deptno = 30 order by 1;
show embedded
set embedded off
select 1 from dual;
ttitle off
set pagesize 14
