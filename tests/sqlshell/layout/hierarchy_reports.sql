REM source: Oracle SQL Language Reference, "Hierarchical Queries" (ORDER SIBLINGS BY, CONNECT_BY_ROOT)
REM and SELECT row_limiting_clause and "ROWNUM Pseudocolumn" (top-N), answers worked out by hand on
REM EMP; shown as SQL*Plus shows them with its default settings.
select ename, level, connect_by_root (ename || '/' || job) root
from emp start with empno = 7566 connect by prior empno = mgr
order siblings by 1 desc;
select ename, sal from emp order by 2 desc, 1 fetch first 10 percent rows only;
select count(*) from (select ename, sal s from emp order by s desc fetch first 2 rows with ties);
select ename from (select ename from emp order by ename desc) where rownum <= 3 order by ename;
select ename from emp where rownum between 2 and 4;
select * from (select deptno, sal from emp) pivot (count(distinct sal) for deptno in (10, 20, 30));
