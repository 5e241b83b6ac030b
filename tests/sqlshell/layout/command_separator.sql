REM source: SQL*Plus User's Guide and Reference, SET CMDSEP {;|c|ON|OFF}: "Sets the
REM non-alphanumeric character used to separate multiple SQL*Plus commands entered on one line";
REM ON sets it to a semicolon, OFF (the default) keeps a line one command.
SHOW CMDSEP
SET CMDSEP ON
SHOW CMDSEP
PROMPT first; PROMPT second
SET LINESIZE 50; SHOW LINESIZE
SET CMDSEP +
COLUMN ename FORMAT A6 + COLUMN sal FORMAT 9999 HEADING 'Pay;Day'
SELECT ename, sal FROM emp WHERE deptno = 10 ORDER BY ename;
SET CMDSEP OFF
PROMPT one; PROMPT line
SHOW CMDSEP
EXIT
