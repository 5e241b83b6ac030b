REM source: SQL*Plus User's Guide and Reference, SET NUMWIDTH and COLUMN FORMAT: a number without a
REM format is rounded into NUMWIDTH places, in scientific notation when its integer part does not
REM fit; a format model takes its length plus one place for the sign, and a value that does not fit
REM shows as #; 0 forces leading zeros, $ and , are shown where the model puts them.
select 1/3 a, -1/3 b, 1234567890 c, 12345678901 d, -123456789 e, 123456789.123 f, 0.0000001234 g
from dual;
select 2/3*1e20 big, -1e-20 tiny, 100 hundred, -0.5 half, 0 zero from dual;
column sal format $99,990
column comm format 999.99
column empno format 099999
column mgr format 999
select empno, ename, sal, comm, mgr from emp where deptno = 30 order by empno;
set numwidth 5
select 123456 n, 1/7 f from dual;
set numwidth 10
clear columns
set numformat 99,999.99
select sal, comm from emp where empno = 7499;
show numformat
set numformat ""
select sal from emp where empno = 7499;
REM The format elements EEEE (scientific notation, five places for the exponent), PR (a negative
REM value in angle brackets), V (multiplies by ten for each 9 after it), RN (Roman numerals in 15
REM places) and X (hexadecimal); a value the model cannot show is all #.
column sal format 9.99EEEE
select ename, sal from emp where deptno = 10 order by ename;
select 0 sal, -2450 sal, 1e100 sal, 0.000123 sal from dual;
column sal format 9999PR
select -5000 sal, 5000 sal, 0 sal from dual;
column sal format 9999V99
select 5000 sal, 12.345 sal, -1.5 sal from dual;
column sal format RN
select 2450 sal, 0 sal from dual;
column sal format rn
select 1999 sal from dual;
column sal format XXXX
select 255 sal, 65535 sal, 65536 sal from dual;
