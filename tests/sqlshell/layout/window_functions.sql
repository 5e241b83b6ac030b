REM source: Oracle SQL Language Reference, "Analytic Functions", "LAG", "CUME_DIST" and "PERCENT_RANK"
REM and "SELECT" (HAVING without GROUP BY: one group of all rows) (values worked out by hand on the EMP rows); SQL*Plus User's Guide, "Formatting Query Results"
REM (a heading without an alias is the expression without its blanks, cut to a text column's width).
select ename, sal, cume_dist() over (order by sal) cd, percent_rank() over (order by sal) pr,
lag(sal, 1, '0') over (order by sal, ename) prev from emp where deptno = 30 order by sal, ename;
select 1 from emp having count(*) > 5;
