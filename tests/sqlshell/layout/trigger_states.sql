REM source: Oracle PL/SQL Language Reference, PL/SQL Triggers (Trigger Compilation, Invalidation,
REM and Recompilation; INSTEAD OF DML Triggers) and SQL*Plus User's Guide: a trigger whose SQL
REM names a missing table is created with compilation errors, an ALTER TRIGGER ... COMPILE that
REM leaves it so warns the same way, and once disabled it no longer fires; ALTER TRIGGER and
REM ALTER TABLE ... ALL TRIGGERS answer "altered"; an INSTEAD OF trigger's statement reports the
REM view rows it took.
create or replace trigger emp_audit_missing
  after insert on emp
  for each row
begin
  insert into emp_audit_log values (:new.empno);
end;
/
alter trigger emp_audit_missing compile;
alter trigger emp_audit_missing disable;
insert into emp (empno, ename) values (8001, 'NEW');
rollback;
alter table emp disable all triggers;
alter table emp enable all triggers;
drop trigger emp_audit_missing;
create view emp_names as select empno, ename from emp;
create or replace trigger emp_names_update
  instead of update on emp_names
begin
  update emp set ename = initcap(:new.ename) where empno = :old.empno;
end;
/
update emp_names set ename = ename where empno in (7369, 7499, 7521);
select ename from emp where empno in (7369, 7499, 7521) order by empno;
rollback;
drop view emp_names;
