REM source: SQL*Plus User's Guide and Reference, SET COLSEP, SET UNDERLINE, SET WRAP, SET
REM AUTOCOMMIT and SET TERMOUT: COLSEP goes between the columns of headings, underlines and rows;
REM UNDERLINE sets or drops the line under the headings; WRAP OFF cuts values at the column width;
REM AUTOCOMMIT ON commits after each change; TERMOUT OFF hides a script's output.
set colsep ','
select deptno, dname, loc from dept where deptno < 30 order by deptno;
set colsep ' | '
set underline =
select deptno, dname from dept where deptno = 10;
show colsep
show underline
set colsep ' '
set underline off
select deptno, dname from dept where deptno = 10;
set underline on
set wrap off
column ename format a3
select ename from emp where empno = 7369;
show wrap
set wrap on
clear columns
set autocommit on
insert into dept values (60, 'AC', 'X');
rollback;
set autocommit off
select count(*) from dept where deptno = 60;
delete from dept where deptno = 60;
commit;
set termout off
select 'hidden' from dual;
set termout on
select 'shown' from dual;
set newpage none
select deptno from dept where deptno = 10;
set newpage 1
set sqlprompt 'demo> '
set echo on
select deptno from dept where deptno = 20;
set echo off
set sqlprompt 'SQL> '
REM SHOW of one-character settings gives the character and its code; SHOW takes several names.
REM SET ESCAPE keeps an escaped "&" as text, SET CONCAT ends a variable's name, SET HEADSEP splits
REM headings; a LONG column is as wide as the smaller of LONG and LONGCHUNKSIZE and wraps there.
show linesize pagesize
show underline
show concat
show escape
show headsep
show sqlterminator
show sqlprompt
show newpage
show longchunksize
show ttitle
set escape on
show escape
select 'A\&B' x from dual;
set escape off
set concat !
define v = AB
prompt &v!CD
set concat .
prompt &v.CD
set headsep !
column ename heading 'Emp!Name'
select ename from emp where empno = 7839;
set headsep |
clear columns
set long 100 longchunksize 30
create table lt (n long);
insert into lt values ('This is a long text value that goes on and on for more than eighty characters');
select n from lt;
drop table lt;
select x from dual;
show sqlcode
REM One SET may carry several options, text ones among them.
set pagesize 0 feedback off heading off linesize 1000 colsep ','
select deptno, dname, loc from dept where deptno < 30 order by deptno;
set pagesize 14 feedback 6 heading on linesize 80 colsep ' ' null '-'
select ename, comm from emp where empno = 7839;
set null ''
REM HEADSEP OFF keeps the bar in the heading.
set headsep off
column ename heading 'A|B'
select ename from emp where empno = 7839;
set headsep on
clear columns
