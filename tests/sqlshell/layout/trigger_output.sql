REM source: Oracle PL/SQL Language Reference, PL/SQL Triggers (Example 9-3: a row trigger that
REM writes old and new salaries with DBMS_OUTPUT.PUT_LINE) and SQL*Plus User's Guide, SET
REM SERVEROUTPUT: what the statement's triggers wrote shows before its feedback; a trigger's
REM unhandled error fails the statement with the error stack.
set serveroutput on
create or replace trigger print_salary_changes
  before delete or insert or update on emp
  for each row
  when (new.empno > 0)
declare
  sal_diff number;
begin
  sal_diff := :new.sal - :old.sal;
  dbms_output.put(:new.ename || ': ');
  dbms_output.put('Old salary = ' || :old.sal || ', ');
  dbms_output.put('New salary = ' || :new.sal || ', ');
  dbms_output.put_line('Difference: ' || sal_diff);
end;
/
update emp set sal = sal + 500.00 where deptno = 10;
create or replace trigger emp_no_delete
  before delete on emp
begin
  dbms_output.put_line('checking the delete');
  raise_application_error(-20001, 'Employees are never deleted');
end;
/
delete from emp where empno = 7369;
select count(*) from emp;
set serveroutput off
update emp set sal = sal - 500.00 where deptno = 10;
drop trigger print_salary_changes;
drop trigger emp_no_delete;
