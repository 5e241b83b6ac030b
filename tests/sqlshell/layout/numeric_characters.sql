REM source: Oracle Database Globalization Support Guide, "NLS_NUMERIC_CHARACTERS" (the decimal
REM character the session uses to show numbers); SQL*Plus shows a number column in the session's
REM numeric characters, and so does a COLUMN model's D and G (a period and a comma stay as they
REM are), and again with '.' once the parameter is set back.
alter session set nls_numeric_characters = ',.';
select 1.5 a, -1/4 b, 123456789012 c, to_char(1234.5, '9G999D9') d from dual;
column sal format 99G999D99
column comm format 9,999.99
select sal, comm from emp where empno = 7499;
column sal clear
column comm clear
alter session set nls_numeric_characters = '.,';
select 1.5 a from dual;
exit
