REM source: SQL*Plus User's Guide and Reference, "SQL*Plus Error Messages": SP2-0042 unknown command
REM "text" (a line of up to ten characters, quoted whole) and SP2-0734 unknown command beginning
REM "first ten characters..." - rest of line ignored; SP2-0158 unknown SET/SHOW option; SP2-0265
REM option must be set ON or OFF, SP2-0267 out of range and SP2-0268 not a valid number, with the
REM option's full name in lower case; SP2-0246 Illegal FORMAT string; SP2-0046 COLUMN not defined.
REM Each message is one line, no blank line after it. HELP and ? without the help tables installed
REM say SP2-0171 HELP system not available.
help
help set
?
friday
SEKECT * FROM EMP WHERE COMM IS NOT NULL;
from emp,dept
)
set nosuch on
show nosuch
set head maybe
set lines 0
set pages many
column roll_no format 1000
column sal
select 'still here' x from dual;
REM SP2-0137 DEFINE requires a value following equal sign; SP2-0002 ACCEPT statement must specify
REM a variable name; DESCRIBE without a name shows its usage.
define x =
accept
desc
REM source: SQL*Plus User's Guide and Reference, "SQL*Plus Error Messages": SP2-0004 Nothing to
REM append (APPEND without text); SP2-0016 Break specification must start with ON/BY or ACROSS
REM keyword.
select dname from dept where deptno = 10
.
append
list
break deptno
