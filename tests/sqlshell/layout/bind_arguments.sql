REM source: SQL*Plus User's Guide and Reference, VARIABLE and EXECUTE ("Using Bind Variables":
REM a bind variable passed to a procedure's OUT and IN OUT parameters, by position or name, and
REM shown by PRINT, AUTOPRINT and a query); a failed call leaves the variables as they were.
create or replace procedure get_emp (p_empno in number, p_name out varchar2, p_sal in out number) as
begin
  select ename, sal + p_sal into p_name, p_sal from emp where empno = p_empno;
end;
/
variable name varchar2(6)
variable sal number
exec :sal := 100
exec get_emp(7839, :name, :sal)
print name sal
exec get_emp(p_empno => 7369, p_name => :name, p_sal => :sal)
print name sal
exec get_emp(1, :name, :sal)
print name sal
set autoprint on
declare
  n number := 2;
begin
  :sal := :sal * n;
end;
/
REM A query naming a bind variable heads the column with the text it wrote.
select :sal, :sal / 2 half, :sal+1 from dual;
exit
