REM source: SQL*Plus User's Guide and Reference, "Using Bind Variables" (a bind variable in a
REM query: its column is as wide as the variable's declared VARCHAR2 size and headed by its text,
REM ":V") and "Interpreting Error Messages" (the failing line is shown as entered, with the
REM asterisk under the token in error).
VARIABLE v VARCHAR2(30)
VARIABLE n NUMBER
VARIABLE unset VARCHAR2(8)
EXECUTE :v := 'KING'; :n := 10
SELECT :v, :n FROM dual;
SELECT :v || '!' greeting, :unset FROM dual;
SELECT ename, sal FROM emp WHERE deptno = :n AND ename <> :v ORDER BY ename;
SELECT :v FROM no_such_table;
SELECT ename, :v
FROM emp
WHERE deptno = :n AND no_such_column = 1;
INSERT INTO dept VALUES (:n + 80, :v, :unset);
SELECT deptno, dname, loc FROM dept WHERE deptno = 90;
ROLLBACK;
EXIT
