REM source: Oracle Database Globalization Support Guide, "NLS_NUMERIC_CHARACTERS" (the decimal
REM character the session uses to show numbers); SQL*Plus shows a number column in the session's
REM numeric characters, and again with '.' once the parameter is set back.
alter session set nls_numeric_characters = ',.';
select 1.5 a, -1/4 b, 123456789012 c, to_char(1234.5, '9G999D9') d from dual;
alter session set nls_numeric_characters = '.,';
select 1.5 a from dual;
exit
