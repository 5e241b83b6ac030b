REM source: SQL*Plus User's Guide and Reference, SET RECSEP and SET RECSEPCHAR: "The record separator
REM consists of a single line of the RECSEPCHAR (record separating character) repeated LINESIZE
REM times"; RECSEP EACH prints it after each row, WRAPPED only after a row that wrapped.
set recsep each
set recsepchar '*'
show recsepchar
select deptno, dname from dept where deptno < 30 order by deptno;
set recsep wrapped
set linesize 40
column dname format a5
select deptno, dname from dept where deptno in (10, 30) order by deptno;
set linesize 80
set recsepchar ' '
show recsepchar
clear columns
REM source: SQL*Plus User's Guide and Reference, COLUMN ON|OFF and ALIAS: OFF sets a column's
REM display attributes aside without clearing them, ON brings them back; an ALIAS names the column
REM in other COLUMN commands, in LIKE, BREAK and COMPUTE.
column sal format 999 heading 'Pay'
column sal off
column sal
select sal from emp where empno = 7839;
column sal on
select sal from emp where empno = 7839;
column sal clear
column ename alias nm format a15
column nm heading 'Name'
column nm
column job like nm heading 'Job'
select ename, job from emp where empno = 7839;
column sal alias salary
break on deptno
compute sum of salary on deptno
select deptno, sal from emp where deptno = 10 order by sal;
clear breaks
clear computes
clear columns
REM source: SQL*Plus User's Guide and Reference, SET AUTOPRINT: ON displays the bind variables a
REM successful PL/SQL block or EXECUTE refers to, as PRINT shows them.
variable ret_val number
variable msg varchar2(10)
set autoprint on
show autoprint
exec :ret_val := 99
begin
  :msg := 'done';
  :ret_val := :ret_val + 1;
end;
/
set autoprint off
exec :ret_val := 1
REM source: SQL*Plus User's Guide and Reference, SHOW: the settings this shell keeps fixed.
show embedded
show sqlcase
show sqlcontinue
show flagger
show describe
show cmdsep
show blockterminator
show copycommit
show editfile
REM source: SQL*Plus User's Guide and Reference, SET SQLPROMPT: variables in the prompt need no "&"
REM (DEFINE mycon = Prod1, SET SQLPROMPT "mycon> " gives "Prod1> "); text in nested quotes is not
REM substituted ("_USER'@'_CONNECT_IDENTIFIER > "); the default prompt is left as it is.
set echo on
set sqlprompt "_USER> "
select 1 from dual;
define mycon = Prod1
set sqlprompt "mycon> "
prompt x
set sqlprompt "_USER'@'mycon > "
prompt y
set sqlprompt 'SQL> '
set echo off
REM source: SQL*Plus User's Guide and Reference, SET WRAP: "Use the WRAPPED and TRUNCATED clauses
REM of the COLUMN command to override the setting of WRAP for specific columns."
set wrap off
column a format a4
column b format a4 wrapped
column c format a4 word_wrapped
select 'abcdefgh' a, 'abcdefgh' b, 'ab cdefgh' c from dual;
set wrap on
column a format a4 truncated
select 'abcdefgh' a, 'abcdefgh' b from dual;
clear columns
REM source: SQL*Plus User's Guide and Reference, SET HEADSEP and COLUMN (its listing names each
REM heading's own "headsep"): a heading splits at the HEADSEP character in force when the heading
REM was given; a later SET HEADSEP does not change it.
column ename heading 'A|B'
set headsep !
select ename from emp where empno = 7839;
column job heading 'C!D|E'
select job from emp where empno = 7839;
column job
set headsep |
clear columns
