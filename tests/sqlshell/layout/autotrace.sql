REM source: SQL*Plus User's Guide and Reference, SET AUTOTRACE and "Controlling the Autotrace
REM Report": ON EXPLAIN shows the query's rows and then its execution plan; TRACEONLY suppresses
REM the rows; DML shows its message and then its plan; STATISTICS needs the PLUSTRACE role, which
REM this user lacks (SP2-0618, SP2-0611), and the plan report stays on.
SET AUTOTRACE ON EXPLAIN
SHOW AUTOTRACE
SELECT dname FROM dept WHERE deptno = 10;
VARIABLE n NUMBER
EXEC :n := 7369
UPDATE emp SET sal = sal WHERE empno = :n;
ROLLBACK;
SET AUTOTRACE TRACEONLY
SHOW AUTOTRACE
SELECT * FROM emp;
SET AUTOTRACE ON STATISTICS
SHOW AUTOTRACE
SET AUTOTRACE OFF
SET AUTOTRACE ON STATISTICS
SHOW AUTOTRACE
SET AUTOTRACE SOMETIMES
CREATE TABLE autot_t (a NUMBER);
DROP TABLE autot_t;
SELECT COUNT(*) FROM emp;
EXIT
