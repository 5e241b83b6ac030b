REM source: SQL*Plus User's Guide and Reference, SHOW PARAMETERS [parameter_name] (the
REM parameters whose names hold the text, from V$PARAMETER: NAME, TYPE and VALUE columns of 36,
REM 11 and 30 characters), SHOW SGA, SHOW CON_NAME, SHOW CON_ID, SHOW EDITION; Oracle Database
REM Reference, V$PARAMETER and V$SGA need the DBA's privileges (ORA-00942 otherwise); ARCHIVE LOG
REM LIST needs a SYSDBA connection (ORA-01031).
show parameter nls_date
show parameters
show sga
show con_name
show con_id
show edition
archive log list
connect system/manager
show parameter nls_date
show parameter db_name
show parameter no_such_parameter
alter session set nls_date_format = 'DD-MON-YYYY HH24:MI:SS';
show parameters nls_date_format
show sga
archive log list
REM source: SQL*Plus User's Guide and Reference, predefined variables: _CONNECT_IDENTIFIER is the
REM name of the database the logon reached.
select '&_CONNECT_IDENTIFIER' db from dual;
REM source: SQL*Plus User's Guide and Reference, COPY {FROM database | TO database} ... USING
REM query copies between two databases' connections; this shell reaches one database, so the
REM command is refused as a restricted one (SP2-0738) rather than taken for SQL.
copy from demo/demo@db1 to demo/demo@db2 create dept_copy using select * from dept
