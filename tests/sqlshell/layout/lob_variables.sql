REM source: SQL*Plus User's Guide and Reference, VARIABLE (CLOB and NCLOB variables; the usage
REM message lists every type) and PRINT ("Using Bind Variables": a CLOB shows as far as SET LONG
REM reaches, in a column as wide as the smaller of LONG and LONGCHUNKSIZE); a VARCHAR2 variable
REM longer than SQL's 4000 characters still reads in a query.
VARIABLE notes CLOB
VARIABLE notes
EXECUTE :notes := 'A character large object'
PRINT notes
BEGIN
  :notes := RPAD('Long notes ', 100, '.');
END;
/
PRINT notes
SET LONG 20
PRINT notes
SELECT LENGTH(:notes) len, :notes FROM dual;
SET LONG 80
VARIABLE big VARCHAR2(5000)
EXECUTE :big := RPAD('x', 2500, 'y') || RPAD('z', 2000, 'z')
SELECT LENGTH(:big) len FROM dual;
VARIABLE pic CLOB(10)
EXIT
