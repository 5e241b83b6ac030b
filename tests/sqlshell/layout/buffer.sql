REM source: SQL*Plus User's Guide and Reference, LIST, RUN, / and the SP2 messages of an empty
REM buffer: LIST shows the buffer with its line numbers and a "*" at the last line, RUN lists and
REM runs it, / runs it without listing; SHOW USER, PROMPT, REMARK and -- comment lines.
list
/
select dname
  from dept
 where deptno = 10;
/
list
run
rem a remark
remark another remark
-- a comment line
prompt Hello there
prompt
show user
set echo on
select 'echoed' e from dual;
set echo off
