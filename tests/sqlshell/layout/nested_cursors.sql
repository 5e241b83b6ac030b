REM source: SQL*Plus User's Guide and Reference (a query whose select list holds a CURSOR
REM expression: each row under the query's headings, then its nested cursor as
REM "CURSOR STATEMENT : n" followed by that cursor's own rows under their own headings) and
REM Oracle Database SQL Language Reference, CURSOR Expressions.
select d.dname, cursor(select e.ename, e.sal from emp e where e.deptno = d.deptno order by e.ename) emps from dept d where d.deptno in (10, 40) order by d.deptno;
create or replace function dept_emps(p number) return sys_refcursor is
  c sys_refcursor;
begin
  open c for select empno, job from emp where deptno = p order by empno;
  return c;
end;
/
select dept_emps(10) from dual;
