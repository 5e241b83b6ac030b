REM source: SQL*Plus User's Guide and Reference, VARIABLE, PRINT and EXECUTE ("Using Bind
REM Variables"): VARIABLE declares and lists, PRINT shows the value under its name, EXECUTE
REM :name := value sets it and says the block completed, a query reads :name; an undeclared
REM name is SP2-0552, a value too long for the variable ORA-06502; before any is declared,
REM VARIABLE and PRINT say SP2-0568.
variable
print
variable x number
variable n varchar2(10)
variable
print x
exec :x := 20
print x
select ename from emp where deptno = :x order by ename;
begin
  :n := 'KING';
  :x := :x + 5;
end;
/
print n x
select empno from emp where ename = :n;
exec :n := 'A much too long value'
exec :x := 1/0
select ename from emp where deptno = :y;
print y
variable z date
REM A block of DBMS_OUTPUT calls and assignments: with SERVEROUTPUT ON its lines come before
REM the message; OFF keeps them back.
exec dbms_output.put_line('Hello World')
set serveroutput on
exec dbms_output.put_line('Hello World');
begin
  dbms_output.put_line('Today is ' || to_char(to_date('2026-12-06','YYYY-MM-DD'), 'YYYY-MM-DD'));
  dbms_output.put('a');
  dbms_output.put('b');
  dbms_output.new_line;
  dbms_output.put_line(12 * 3);
  dbms_output.put_line('x;y');
end;
/
exec :x := 7; dbms_output.put_line('x is ' || :x)
begin dbms_output.put_line(1/0); end;
/
set serveroutput off
