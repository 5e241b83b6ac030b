REM source: SQL*Plus User's Guide and Reference, VARIABLE, PRINT and EXECUTE ("Using Bind
REM Variables"): VARIABLE declares and lists, PRINT shows the value under its name, EXECUTE
REM :name := value sets it and says the block completed, a query reads :name; an undeclared
REM name is SP2-0552, a value too long for the variable ORA-06502.
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
