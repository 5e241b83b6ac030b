REM source: SQL Language Reference, DELETE "Returning Values from Deleted Rows: Example" and
REM UPDATE / INSERT "returning_clause" (VARIABLE bnd1 NUMBER, then DELETE ... RETURNING salary
REM INTO :bnd1 says "1 row deleted." and PRINT shows the value); a failing statement reports its
REM own error; no row leaves the variable NULL.
VARIABLE bnd1 NUMBER
DELETE FROM emp WHERE empno = 7934 RETURNING sal INTO :bnd1;
PRINT bnd1
VARIABLE nm VARCHAR2(20)
UPDATE emp SET sal = sal * 2 WHERE empno = 7369 RETURNING ename, sal INTO :nm, :bnd1;
PRINT nm bnd1
INSERT INTO dept VALUES (10, 'X', 'Y') RETURNING deptno INTO :bnd1;
DELETE FROM emp WHERE empno = 1 RETURNING sal INTO :bnd1;
PRINT bnd1
ROLLBACK;
EXIT
