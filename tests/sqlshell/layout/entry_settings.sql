REM source: SQL*Plus User's Guide and Reference, SET BLOCKTERMINATOR {.|c|ON|OFF}: alone on a line
REM it ends the entry of a block, which stays in the buffer without running.
set blockterminator !
begin
  null;
end;
!
list
show blockterminator
set blockterminator off
show blockterminator
set blockterminator on
REM source: SQL*Plus User's Guide and Reference, SET SQLPREFIX {#|c}: a line starting with it
REM runs as a shell command at once while a statement is being entered; a letter is refused.
select 1
#prompt inside
from dual;
set sqlprefix x
set sqlprefix ~
show sqlprefix
set sqlprefix #
REM source: SQL*Plus User's Guide and Reference, SET SQLCONTINUE {> |text}: the prompt of a
REM command line continued with "-".
set sqlcontinue '+ '
set echo on
prompt one -
two
set echo off
show sqlcontinue
set sqlcontinue '> '
REM source: SQL*Plus User's Guide and Reference, SET SQLCASE {MIXED|LOWER|UPPER}: "Converts the
REM case of SQL commands and PL/SQL blocks just prior to execution", quoted text included.
set sqlcase upper
select 'abc' lower_text from dual;
set sqlcase lower
select 'ABC' from dual;
set sqlcase bogus
show sqlcase
set sqlcase mixed
REM source: SQL*Plus User's Guide and Reference, SET command: ROWPREFETCH {1|n},
REM STATEMENTCACHE {0|n}, FLAGGER {OFF|ENTRY|INTERMEDIATE|FULL}, COMPATIBILITY {V7|V8|NATIVE},
REM ERRORLOGGING, XQUERY and the other options are known; bad values get SP2 messages.
set rowprefetch 2 statementcache 0 lobprefetch 0 compatibility native flagger off
set shiftinout invisible escchar off history off autorecovery off
set errorlogging off
set xquery baseuri '' ordering default
set rowprefetch 0
set flagger maybe
set flagger entry
show flagger
set flagger off
set compatibility v9
REM source: SQL*Plus User's Guide and Reference, obsolete SET SPACE {1|n}: the blanks between
REM columns (0 through 10), what SET COLSEP now sets.
set space 4
select deptno, dname from dept where deptno = 10;
set space 11
show colsep
set space 1
REM source: SQL*Plus User's Guide and Reference, SET SQLNUMBER {ON|OFF}: OFF prompts the lines
REM after a statement's first with SQLPROMPT instead of line numbers; SET ARRAYSIZE {15|n} (1
REM through 5000), COPYCOMMIT {0|n} and EDITFILE file_name are kept and shown.
set sqlnumber off
set echo on
select 1
from dual;
set sqlnumber on
select 2
from dual;
set echo off
set arraysize 100 copycommit 5 editfile "my.buf"
show arraysize copycommit editfile sqlnumber
set arraysize 0
set arraysize 15 copycommit 0 editfile afiedt.buf
REM source: SQL*Plus User's Guide and Reference, SET SHOWMODE {ON|OFF}: "Controls whether SQL*Plus
REM lists the old and new settings of a SQL*Plus system variable when you change the setting".
set showmode on
set linesize 100
set pagesize 0
set linesize abc
show showmode
set showmode off
set linesize 80 pagesize 14
REM source: SQL*Plus User's Guide and Reference, SET APPINFO {ON|OFF|text} and SHOW APPINFO
REM ("appinfo is OFF and set to "SQL*Plus"").
show appinfo
set appinfo on
set appinfo "Monthly Report"
show appinfo
set appinfo off
set appinfo "SQL*Plus"
