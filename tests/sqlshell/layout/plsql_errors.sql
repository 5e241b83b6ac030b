REM source: Oracle PL/SQL Language Reference, Associative Arrays (Example 5-1) and Collection Methods;
REM Oracle Database Error Messages, ORA-06512 "at string line string": an unhandled error shows the
REM line of each unit it left, the innermost first.
set serveroutput on
declare
  type population is table of number index by varchar2(64);
  city_population population;
  i varchar2(64);
begin
  city_population('Smallville')  := 2000;
  city_population('Midland')     := 750000;
  city_population('Megalopolis') := 1000000;
  city_population('Smallville')  := 2001;
  i := city_population.first;
  while i is not null loop
    dbms_output.put_line('Population of ' || i || ' is ' || city_population(i));
    i := city_population.next(i);
  end loop;
end;
/
declare
  type numlist is table of number;
  nums numlist := numlist(10, 20, 30);
begin
  dbms_output.put_line('count ' || nums.count);
  nums(4) := 40;
end;
/
create or replace procedure check_dept (p_deptno number) as
  v_name dept.dname%type;
begin
  select dname into v_name from dept where deptno = p_deptno;
  dbms_output.put_line(v_name);
end;
/
begin
  check_dept(10);
  check_dept(99);
end;
/
declare
  x number := 0;
  procedure divide is
  begin
    x := 1 / x;
  end;
begin
  divide;
end;
/
