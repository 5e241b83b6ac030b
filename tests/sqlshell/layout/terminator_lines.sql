REM source: SQL*Plus User's Guide and Reference, SET SQLTERMINATOR {;|c|ON|OFF}: the character
REM that ends and runs SQL at the end of a line; OFF leaves only "/" (the ";" then reaches the
REM database, ORA-00911); ON brings back ";"; a letter is refused.
set sqlterminator !
select 'a;b' x from dual!
show sqlterminator
set sqlterminator off
select 1 from dual;
/
show sqlterminator
set sqlterminator on
select 2 from dual;
set sqlterminator x
show sqlterminator
REM source: SQL*Plus User's Guide and Reference, TTITLE and BTITLE: SQL.LNO is the current line
REM number of the page (NEWPAGE's blank line is line 1; the bottom title ends the page).
set pagesize 12 linesize 50
ttitle left 'top at ' sql.lno skip 1 'next ' sql.lno
btitle left 'bottom at ' sql.lno
select ename from emp where deptno = 10 order by 1;
ttitle off
btitle off
set pagesize 14 linesize 80
