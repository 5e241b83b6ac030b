REM source: SQL*Plus User's Guide and Reference, DESCRIBE (a FLOAT column shows its binary precision); Oracle SQL Language Reference, "FLOAT Data Type" (its example: FLOAT(5) keeps about 1.5 decimal digits)
CREATE TABLE test (col1 NUMBER(5,2), col2 FLOAT(5), col3 REAL);
INSERT INTO test VALUES (12.79, 12.79, 12.79);
DESCRIBE test
SELECT * FROM test;
EXIT
