REM source: SQL*Plus User's Guide and Reference, "Defining Page and Report Titles and Dimensions"
REM and TTITLE/BTITLE: CENTER, LEFT and RIGHT place texts on the line, SKIP n ends it, SQL.PNO is the
REM page number (NUMWIDTH wide, or in the FORMAT given); a bottom title ends each page, which is
REM filled up to PAGESIZE lines; TTITLE alone lists the title, OFF turns it off.
ttitle center 'ACME SALES DEPARTMENT PERSONNEL REPORT'
btitle center 'COMPANY CONFIDENTIAL'
select deptno, ename, sal from emp where deptno = 10 order by ename;
ttitle
btitle off
ttitle left 'ACME SALES DEPARTMENT PERSONNEL REPORT' right 'PAGE:' sql.pno skip 2
select deptno, ename, sal from emp where deptno = 10 order by ename;
ttitle center 'A' skip 1 center 'B' skip 1 left 'Page ' format 999 sql.pno
set pagesize 8
select ename from emp where deptno = 20 order by ename;
ttitle off
set pagesize 14
select dname from dept where deptno = 10;
show ttitle
show btitle
REM A master/detail report: NEW_VALUE gives each page's top title the value of its first row,
REM OLD_VALUE the bottom title the value of its last row; BREAK ... SKIP PAGE starts each group
REM on a page of its own.
column deptno noprint new_value deptvar
column ename old_value lastname
ttitle left 'Department: ' deptvar skip 2
btitle left 'Last: ' lastname
break on deptno skip page
set pagesize 12
select deptno, ename, sal from emp order by deptno, ename;
ttitle off
btitle off
clear breaks
clear columns
set pagesize 14
REM REPHEADER comes once, under the first page's top title (with PAGE on a page of its own);
REM REPFOOTER after the last row.
repheader center 'PERFECT WIDGETS' skip 1
repfooter center 'END OF REPORT'
select ename, sal from emp where deptno = 10 order by ename;
repheader
repheader page center 'PERFECT WIDGETS'
ttitle center 'Employee Salary Report' skip 1
btitle center 'CONFIDENTIAL'
set pagesize 10
select ename, sal from emp where deptno = 10 order by ename;
repheader off
repfooter off
ttitle off
btitle off
show repfooter
