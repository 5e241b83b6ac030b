REM source: Oracle SQL Language Reference, "AVG", "STDDEV", "VARIANCE", "MEDIAN", "CORR", "COVAR_SAMP",
REM "Linear Regression Functions", "PERCENT_RANK" and "CUME_DIST" (values worked out by hand on the EMP
REM salaries), shown as SQL*Plus shows a number without a format: rounded into NUMWIDTH 10 places.
select deptno, avg(sal) a, stddev(sal) s, variance(sal) v, median(sal) m
from emp group by rollup(deptno) order by deptno;
select corr(sal, comm) c, covar_samp(sal, comm) cs, regr_slope(sal, comm) sl,
regr_intercept(sal, comm) ic, regr_r2(sal, comm) r2 from emp;
select percent_rank(1500, 300) within group (order by sal, comm) pr,
cume_dist(1500, 300) within group (order by sal, comm) cd from emp;
