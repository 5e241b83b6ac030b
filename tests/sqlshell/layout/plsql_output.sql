REM source: Oracle PL/SQL Language Reference, DBMS_OUTPUT in anonymous blocks and cursor FOR
REM loops over EMP; SQL*Plus User's Guide, SET SERVEROUTPUT: the lines come before the block's
REM message, OFF keeps them back; an unhandled error shows after what the block wrote.
set serveroutput on
declare
  cursor c (p_dept number) is
    select ename, sal from emp where deptno = p_dept order by sal desc;
  total number := 0;
begin
  for r in c(10) loop
    dbms_output.put_line(rpad(r.ename, 10) || to_char(r.sal, '9,990'));
    total := total + r.sal;
  end loop;
  dbms_output.put_line('Total' || to_char(total, '99,990'));
end;
/
declare
  v_name emp.ename%type;
begin
  select ename into v_name from emp where empno = 7788;
  dbms_output.put('Employee: ');
  dbms_output.put_line(v_name);
  select ename into v_name from emp where empno = 1;
exception
  when no_data_found then
    dbms_output.put_line('No such employee');
end;
/
begin
  dbms_output.put_line('before the error');
  raise_application_error(-20010, 'Department is closed');
end;
/
set serveroutput off
declare
  n number := 1;
begin
  dbms_output.put_line('not shown');
end;
/
REM source: Oracle PL/SQL Language Reference, CREATE PROCEDURE and EXECUTE; SQL*Plus User's
REM Guide, the warning for a unit created with compilation errors.
set serveroutput on
create or replace procedure show_dept (p_deptno number) as
begin
  for r in (select ename from emp where deptno = p_deptno order by ename) loop
    dbms_output.put_line(r.ename);
  end loop;
end;
/
exec show_dept(10)
create or replace procedure broken as
begin
  null
end;
/
exec broken
