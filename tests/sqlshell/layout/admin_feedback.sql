REM source: SQL*Plus User's Guide and Reference, the messages after SET ROLE, AUDIT and NOAUDIT
REM ("Role set.", "Audit succeeded.", "Noaudit succeeded."); Oracle SQL Language Reference,
REM CREATE ROLE (needs the CREATE ROLE system privilege: ORA-01031) and the EXPLAIN PLAN example.
set role none;
set role all;
audit select on emp by access;
noaudit select on emp;
create role clerk identified by bicentennial;
select count(*) from plan_table;
explain plan set statement_id = 'x' for select * from dept;
select count(*) from plan_table where statement_id = 'x';
