REM source: SQL*Plus User's Guide and Reference, "Creating Stored Procedures" (the message a
REM CREATE of each kind of unit gives, and the warning for one stored with compilation errors)
REM and Oracle PL/SQL Language Reference, "Package State" (a package's variable read and set in
REM blocks of the session).
set serveroutput on
create or replace function twice (n number) return number is
begin
  return n * 2;
end;
/
create function broken_twice return number is
begin
  return 1
end;
/
create or replace package tally as
  hits number := 0;
  procedure hit;
end tally;
/
create or replace package body tally as
  procedure hit is
  begin
    hits := hits + 1;
  end hit;
end tally;
/
create package body no_spec as
begin
  null;
end;
/
begin
  tally.hit;
  tally.hit;
end;
/
begin
  dbms_output.put_line('hits: ' || tally.hits || ', twice: ' || twice(tally.hits));
end;
/
select twice(21) from dual;
drop function broken_twice;
drop package tally;
drop function twice;
