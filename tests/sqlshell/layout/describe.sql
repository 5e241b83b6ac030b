REM source: SQL*Plus User's Guide and Reference, DESCRIBE: a table or view lists its columns with
REM NOT NULL and the types as declared (NUMBER(7,2), VARCHAR2(10), CHAR(1), DATE, NUMBER(38) for
REM INTEGER); a procedure or function lists its arguments with their types (a %TYPE one as the
REM column's), IN/OUT and DEFAULT, a function its return type, a package each subprogram.
desc emp
create table d1 (a char(1) not null, b number, c integer, d number(*,2), e varchar2(30), f date, g long, h raw(8));
describe d1
create view d1_v as select a, b * 2 twice, e from d1;
desc d1_v
create or replace procedure raise_sal (p_empno in emp.empno%type, p_pct number default 10, p_new out number) as
begin
  null;
end;
/
create or replace procedure noargs as begin null; end;
/
create or replace function get_sal (p_empno in number) return number is
begin return 1; end;
/
create or replace package emp_pkg as
  procedure hire (p_name varchar2, p_dept in out number);
  function total return number;
end emp_pkg;
/
desc raise_sal
desc noargs
desc get_sal
desc emp_pkg
REM source: SQL*Plus User's Guide and Reference, DESCRIBE; Oracle SQL Language Reference, VARCHAR2(size CHAR):
REM a column whose length counts characters shows it with CHAR while the session counts bytes.
create table d2 (v varchar2(3 char), c char(2 char), b varchar2(4 byte));
desc d2
