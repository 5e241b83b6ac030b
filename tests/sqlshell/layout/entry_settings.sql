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
set compatibility v9
