REM source: SQL*Plus User's Guide and Reference, SET PAUSE {ON|OFF|text}: "Enables you to control
REM scrolling of your terminal when running reports. You need to first, SET PAUSE text, and then
REM SET PAUSE ON if you want text to appear each time SQL*Plus pauses"; each page waits for Enter.
set pause 'Press Enter for the next page' pagesize 6
set pause on
show pause
select ename from emp where deptno = 20 order by 1;
set pause off
show pause
select ename from emp where deptno = 10 order by 1;
set pagesize 14
