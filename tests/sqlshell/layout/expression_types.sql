REM source: Oracle SQL Language Reference, DECODE (a first result of NULL makes the value VARCHAR2),
REM "The UNION [ALL], INTERSECT, MINUS Operators" (character columns of different lengths give a
REM VARCHAR2 as long as the longer; numbers a NUMBER), LAG (its default is a value it returns), and
REM the SQL*Plus User's Guide, DESCRIBE and "Formatting Columns" (text is left aligned in a column
REM as wide as its type, numbers right aligned in NUMWIDTH places).
select ename, decode(deptno, 10, null, sal) d, decode(deptno, 10, sal) n
from emp where empno in (7369, 7782) order by empno;
create view names_v as select dname x from dept union select job from emp;
create view mixed_v as select empno x, lag(ename, 1, 'nobody at all here') over (order by empno) prev
from emp union select sal, dname from emp, dept where emp.deptno = dept.deptno;
describe names_v
describe mixed_v
select * from names_v where x like 'O%';
select x, prev from mixed_v where x < 900;
