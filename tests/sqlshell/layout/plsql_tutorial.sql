REM source: Oracle Database 2 Day Developer's Guide, "Using Records and Cursors" (an explicit
REM cursor fetched into a %ROWTYPE record until %NOTFOUND, with %ROWCOUNT); the EMP rows by hand.
set serveroutput on
declare
  cursor emp_cur is
    select empno, ename, sal from emp where deptno = 30 order by empno;
  emp_rec emp_cur%rowtype;
begin
  open emp_cur;
  loop
    fetch emp_cur into emp_rec;
    exit when emp_cur%notfound;
    dbms_output.put_line(emp_cur%rowcount || ' ' || emp_rec.ename || ' ' || emp_rec.sal);
  end loop;
  dbms_output.put_line('Fetched: ' || emp_cur%rowcount);
  close emp_cur;
end;
/
REM source: Oracle PL/SQL Language Reference, Explicit Cursors (Example "Explicit Cursor that
REM Accepts Parameters", default parameter value) and %TYPE declarations.
declare
  cursor by_job (p_job emp.job%type, p_min emp.sal%type default 0) is
    select ename, sal from emp where job = p_job and sal >= p_min order by ename;
  v_total emp.sal%type := 0;
begin
  for r in by_job('ANALYST') loop
    dbms_output.put_line(rpad(r.ename, 8) || lpad(to_char(r.sal, '9,999'), 7));
    v_total := v_total + r.sal;
  end loop;
  for r in by_job('SALESMAN', 1500) loop
    dbms_output.put_line(rpad(r.ename, 8) || lpad(to_char(r.sal, '9,999'), 7));
  end loop;
  dbms_output.put_line('Analysts: ' || v_total);
end;
/
REM source: Oracle PL/SQL Language Reference, Predefined Exceptions (TOO_MANY_ROWS,
REM DUP_VAL_ON_INDEX, ZERO_DIVIDE) and SQLERRM; 2 Day Developer's Guide, "Handling Exceptions".
declare
  v_ename emp.ename%type;
begin
  select ename into v_ename from emp where deptno = 10;
exception
  when too_many_rows then
    dbms_output.put_line('More than one employee in department 10');
end;
/
begin
  insert into dept values (10, 'DUPLICATE', 'NOWHERE');
exception
  when dup_val_on_index then
    dbms_output.put_line('Duplicate: ' || sqlerrm);
end;
/
declare
  ratio number;
begin
  select sal / nvl(comm, 0) into ratio from emp where empno = 7839;
exception
  when zero_divide then
    dbms_output.put_line('Error: ' || sqlerrm);
end;
/
REM source: Oracle PL/SQL Language Reference, RAISE_APPLICATION_ERROR Procedure and SQL%NOTFOUND;
REM SQL*Plus User's Guide, EXECUTE (an unhandled error and the lines it passed through).
create or replace procedure raise_salary (p_empno number, p_pct number) as
begin
  if p_pct > 50 then
    raise_application_error(-20001, 'Raise of ' || p_pct || '% is too large');
  end if;
  update emp set sal = sal * (1 + p_pct / 100) where empno = p_empno;
  if sql%notfound then
    raise_application_error(-20002, 'No employee ' || p_empno);
  end if;
  dbms_output.put_line('Raised ' || sql%rowcount || ' salary');
end;
/
begin
  raise_salary(7369, 60);
exception
  when others then
    dbms_output.put_line(sqlcode || ': ' || sqlerrm);
end;
/
exec raise_salary(7369, 10)
exec raise_salary(1234, 10)
select sal from emp where empno = 7369;
rollback;
REM source: Oracle PL/SQL Language Reference, SQL%ROWCOUNT after an UPDATE; the EMP rows by hand.
begin
  update emp set sal = sal * 1.1 where deptno = 20;
  dbms_output.put_line(sql%rowcount || ' salaries raised');
  delete from emp where deptno = 99;
  if sql%rowcount = 0 and not sql%found then
    dbms_output.put_line('Nobody in department 99');
  end if;
  rollback;
end;
/
REM source: Oracle Database 2 Day Developer's Guide, "Creating and Managing Packages" (a package
REM body's variable keeps its value between calls in a session).
create or replace package emp_counter as
  procedure hire;
  function total return number;
end emp_counter;
/
create or replace package body emp_counter as
  g_count number := 0;
  procedure hire is
  begin
    g_count := g_count + 1;
  end;
  function total return number is
  begin
    return g_count;
  end;
end emp_counter;
/
exec emp_counter.hire
exec emp_counter.hire
exec dbms_output.put_line('Hired this session: ' || emp_counter.total)
REM source: Oracle PL/SQL Language Reference, Invoking Stored PL/SQL Functions from SQL
REM Statements; the annual pay worked out by hand on the EMP rows.
create or replace function annual_comp (p_sal number, p_comm number) return number as
begin
  return (p_sal + nvl(p_comm, 0)) * 12;
end;
/
select ename, annual_comp(sal, comm) annual from emp where deptno = 30 order by ename;
REM source: Oracle Database 2 Day Developer's Guide, "Creating Triggers" (a row trigger with a
REM WHEN condition that logs :OLD and :NEW values).
create table raise_log (empno number(4), old_sal number(7,2), new_sal number(7,2));
create or replace trigger emp_sal_audit
  after update of sal on emp
  for each row
  when (new.sal > old.sal)
begin
  insert into raise_log values (:old.empno, :old.sal, :new.sal);
end;
/
update emp set sal = sal + 100 where deptno = 10;
update emp set sal = sal - 100 where deptno = 10;
select * from raise_log order by empno;
rollback;
drop trigger emp_sal_audit;
drop table raise_log purge;
REM source: Oracle PL/SQL Language Reference, BULK COLLECT and FORALL (Example "DELETE Statement in
REM FORALL Statement" adapted to UPDATE) with SQL%ROWCOUNT and SQL%BULK_ROWCOUNT.
declare
  type name_tab is table of emp.ename%type;
  type num_tab is table of emp.empno%type;
  names name_tab;
  ids num_tab;
begin
  select empno, ename bulk collect into ids, names from emp where job = 'CLERK' order by empno;
  dbms_output.put_line(names.count || ' clerks, first ' || names(1) || ', last ' || names(names.last));
  forall i in 1 .. ids.count
    update emp set sal = sal + 50 where empno = ids(i);
  dbms_output.put_line('Updated ' || sql%rowcount || ', row 2: ' || sql%bulk_rowcount(2));
  rollback;
end;
/
REM source: Oracle PL/SQL Language Reference, FOR UPDATE Cursors (Example "FOR UPDATE Cursor in
REM CURRENT OF Clause of UPDATE Statement"); the EMP rows by hand.
declare
  cursor c is select empno, sal from emp where deptno = 30 for update of sal;
begin
  for r in c loop
    if r.sal < 1500 then
      update emp set sal = sal + 10 where current of c;
      dbms_output.put_line('Raised ' || r.empno);
    end if;
  end loop;
end;
/
select ename, sal from emp where deptno = 30 order by empno;
rollback;
REM source: Oracle PL/SQL Language Reference, Records (Example "Nested Record Types") and
REM Operator Precedence (Examples "Controlling Evaluation Order with Parentheses" and "Improving
REM Readability with Parentheses"), with the EMP name column's type.
declare
  type name_rec is record (
    first emp.ename%type,
    last  emp.ename%type
  );
  type contact is record (
    name  name_rec,
    phone varchar2(20)
  );
  friend contact;
  a integer := 1 + 2 ** 2;
  b integer := (1 + 2) ** 2;
  c integer := 2 ** 2 * 3 ** 2;
begin
  friend.name.first := 'John';
  friend.name.last := 'Smith';
  friend.phone := '1-650-555-1234';
  dbms_output.put_line(friend.name.first || ' ' || friend.name.last || ', ' || friend.phone);
  dbms_output.put_line('a = ' || to_char(a));
  dbms_output.put_line('b = ' || to_char(b));
  dbms_output.put_line('c = ' || to_char(c));
end;
/
drop procedure raise_salary;
drop package emp_counter;
drop function annual_comp;
