REM source: SQL*Plus User's Guide and Reference, SET MARKUP HTML and "Generating HTML Reports from
REM SQL*Plus": a table for the rows (<th scope="col"> headings, numbers in <td align="right">),
REM & < > " written as entities with ENTMAP ON, the text layout inside <pre> with PREFORMAT ON.
set markup html on
select deptno, dname, loc from dept where deptno < 30 order by deptno;
REM a heading split at HEADSEP, a NULL, text that needs entities, a number model
column dname heading 'Dept|Name'
column sal format 99,990.00
select deptno, dname, 'a<b & "c"' x, null n, 1250 sal from dept where deptno = 10;
column dname clear
column sal clear
REM a column of its own keeps its text as it is
column tag entmap off
select '<b>bold</b>' tag, '<i>' other from dual;
column tag clear
REM each page is a table of its own; a BREAK column leaves out repeated values on a page
set pagesize 5
break on deptno
select deptno, ename from emp where deptno = 10 order by ename;
clear breaks
set pagesize 14
select ename from emp where 1 = 0;
set markup html on entmap off preformat on
select deptno, '<b>' x from dept where deptno = 10;
set markup html on entmap on preformat off
REM a row's nested cursor shows under it, as in the text layout: the two keep it in <pre>
select dname, cursor(select ename from emp e where e.deptno = d.deptno and ename < 'D') staff
from dept d where deptno = 10;
set markup html off entmap on preformat off
select deptno from dept where deptno = 10;
set markup html bogus
set markup html on entmap maybe
set markup csv on
show markup
set markup csv off
