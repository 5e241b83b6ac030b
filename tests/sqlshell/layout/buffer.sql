REM source: SQL*Plus User's Guide and Reference, LIST, RUN, / and the SP2 messages of an empty
REM buffer: LIST shows the buffer with its line numbers and a "*" at the last line, RUN lists and
REM runs it, / runs it without listing; SHOW USER, PROMPT, REMARK and -- comment lines. "Editing
REM Scripts": LIST n/m/*/LAST, a line number, CHANGE, APPEND, INPUT and DEL work on the buffer's
REM current line (the last one listed or changed). SAVE writes the buffer as a script, GET reads
REM one back and lists it.
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
select empno, ename, job, sal
from emp where sal < 2500
order by empno
.
list
l 2
change /2500/1300/
list 1 *
/
2
a  and deptno = 20
c/deptno/DEPTNO
REM APPEND's own semicolon ends the command; two append one
a ;
a ;;
c/;//
list last
del 3
list
input order by ename
l
run
1 select ename, sal
l
c/nothere/x/
l 9
del
l
select deptno, dname from dept where deptno = 10;
save dept10
save dept10
save dept10 replace
clear buffer
get dept10
/
@dept10
REM INPUT without text takes the lines that follow into the buffer, up to an empty line.
select deptno, dname
from dept
.
input
where deptno = 10
order by deptno

list
/
REM CHANGE: "SQL*Plus sets the buffer's current line to the line containing the error so that you
REM can make modifications."
select ename
frm emp
where empno = 7839;
c/frm/from
list
/
REM CHANGE: "If old is prefixed with "...", it matches everything up to and including the first
REM occurrence of old. If it is suffixed with "...", it matches the first occurrence of old and
REM everything that follows on that line. If it contains an embedded "...", it matches everything
REM from the preceding part of old through the following part of old." CHANGE ignores case.
select ename from emp where job in ('CLERK', 'SA_MAN')
.
c/clerk/SH_CLERK/
c/'SH_CLERK',.../'SH_CLERK')/
c/(...)/('ANALYST')/
c/...from/select job from/
c/xyz.../q/
/
