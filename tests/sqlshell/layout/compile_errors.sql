REM source: SQL*Plus User's Guide and Reference, SHOW ERRORS; Oracle SQL Language Reference,
REM ALTER PROCEDURE and ALTER PACKAGE (COMPILE): units made with compilation errors, their
REM listing, and the messages of compiling them again.
create or replace procedure ce_proc is
  n number;
begin
  select count(*) into n from ce_missing;
end;
/
show errors
alter procedure ce_proc compile;
show errors procedure ce_proc
create table ce_missing (a number);
alter procedure ce_proc compile;
create or replace package ce_pkg is procedure run; end;
/
create or replace package body ce_pkg is procedure run is begin delete from ce_gone; end; end;
/
show errors
alter package ce_pkg compile;
alter package ce_pkg compile body;
create table ce_gone (a number);
alter package ce_pkg compile body;
drop procedure ce_proc;
drop package ce_pkg;
drop table ce_missing purge;
drop table ce_gone purge;
