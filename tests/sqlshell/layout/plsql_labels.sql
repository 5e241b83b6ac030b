REM source: Oracle PL/SQL Language Reference, Block (a label before the outermost block names it,
REM and its END repeats the label); SQL*Plus User's Guide, running PL/SQL blocks ended by a slash.
set serveroutput on
<<outer>>
declare
  x number := 5;
begin
  declare
    x number := 6;
  begin
    dbms_output.put_line(outer.x || ' ' || x);
    outer.x := 7;
  end;
  dbms_output.put_line(x);
end outer;
/
<<first>> <<second>>
begin
  dbms_output.put_line('two labels');
end;
/
REM PL/SQL's MOD operator in a block of nothing but output lines
begin
  dbms_output.put_line(17 mod 5 || ' ' || 2 * 10 mod 3);
end;
/
