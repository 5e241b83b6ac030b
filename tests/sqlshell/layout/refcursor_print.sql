REM source: SQL*Plus User's Guide and Reference, "Using REFCURSOR Bind Variables": VARIABLE
REM declares a REFCURSOR, a PL/SQL block opens it FOR a query, and PRINT shows its rows as the
REM query's own output (headings, column widths, the "rows selected" feedback); once printed
REM the cursor is used up and PRINT reports SP2-0625.
variable employee_info refcursor
variable employee_info
begin
  open :employee_info for select empno, sal from emp where deptno = 30 order by empno;
end;
/
print employee_info
print employee_info
REM source: SQL*Plus User's Guide and Reference, "Using REFCURSOR Variables in Stored
REM Procedures": a package's REF CURSOR type as an IN OUT parameter, EXECUTE with :cv, PRINT.
create or replace package emppack as
  type empinfotyp is ref cursor;
  procedure empinforpt (emp_cv in out empinfotyp);
end emppack;
/
create or replace package body emppack as
  procedure empinforpt (emp_cv in out empinfotyp) as
  begin
    open emp_cv for select empno, ename, job, sal from emp where deptno = 20 order by empno;
  end;
end;
/
variable cv refcursor
execute emppack.empinforpt(:cv)
print cv
REM source: SQL*Plus User's Guide and Reference, "Using REFCURSOR Variables in Stored
REM Functions": EXECUTE :cv := a function returning the cursor.
create or replace function empinfo_fn return emppack.empinfotyp as
  resultset emppack.empinfotyp;
begin
  open resultset for select ename, hiredate from emp where sal > 2900 order by ename;
  return (resultset);
end;
/
execute :cv := empinfo_fn
print cv
REM source: SQL*Plus User's Guide and Reference, SET AUTOPRINT: with ON, the bind variables a
REM block names are printed after it completes (a REFCURSOR as its rows); with SERVEROUTPUT ON
REM the block's lines come before the message.
set autoprint on
set serveroutput on
begin
  open :cv for select dname, loc from dept where deptno in (10, 40) order by deptno;
  dbms_output.put_line('opened');
end;
/
set serveroutput off
execute :cv := empinfo_fn
set autoprint off
REM source: SQL*Plus User's Guide and Reference, PRINT: a REFCURSOR no block has opened.
variable never refcursor
print never
REM source: SQL*Plus User's Guide and Reference, VARIABLE: a block naming a bind variable not
REM declared is not run (SP2-0552).
begin
  open :undeclared_cv for select dname from dept;
end;
/
