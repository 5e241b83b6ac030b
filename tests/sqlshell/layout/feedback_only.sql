REM source: SQL*Plus User's Guide and Reference, SET FEEDBACK {6|n|ON|OFF|ONLY}: "ONLY returns
REM the number of rows selected by a query. No data is displayed."; other statements keep their
REM messages, and FEEDBACK n brings the rows back.
SET FEEDBACK ONLY
SELECT * FROM dept;
SELECT ename FROM emp WHERE deptno = 10;
SELECT * FROM dept WHERE deptno = 99;
SELECT ename FROM emp WHERE ename = 'KING';
UPDATE dept SET loc = loc WHERE deptno = 10;
ROLLBACK;
SET FEEDBACK 6
SELECT ename FROM emp WHERE ename = 'KING';
EXIT
