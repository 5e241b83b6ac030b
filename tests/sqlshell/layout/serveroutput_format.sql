REM source: SQL*Plus User's Guide and Reference, SET SERVEROUTPUT: FORMAT WORD_WRAPPED (the
REM default) wraps each line within LINESIZE on word boundaries and "left justifies each line,
REM skipping all leading whitespace"; WRAPPED wraps within LINESIZE; TRUNCATED cuts each line at
REM LINESIZE; SHOW SERVEROUTPUT names SIZE and FORMAT.
SET SERVEROUTPUT ON
SHOW SERVEROUTPUT
SET LINESIZE 20
BEGIN
  DBMS_OUTPUT.PUT_LINE('   indented text');
  DBMS_OUTPUT.PUT_LINE('The quick brown fox jumps over the lazy dog');
  DBMS_OUTPUT.PUT_LINE('Formatting server output lines');
  FOR r IN (SELECT dname FROM dept WHERE deptno = 10) LOOP
    DBMS_OUTPUT.PUT_LINE('  Dept ' || r.dname || ' is number ten of the company');
  END LOOP;
END;
/
SET SERVEROUTPUT ON FORMAT WRAPPED
SHOW SERVEROUTPUT
BEGIN
  DBMS_OUTPUT.PUT_LINE('   indented text');
  DBMS_OUTPUT.PUT_LINE('The quick brown fox jumps over the lazy dog');
  DBMS_OUTPUT.PUT_LINE('Formatting server output lines');
END;
/
SET SERVEROUTPUT ON SIZE 5000 FORMAT TRUNCATED
SHOW SERVEROUTPUT
BEGIN
  DBMS_OUTPUT.PUT_LINE('   indented text');
  DBMS_OUTPUT.PUT_LINE('The quick brown fox jumps over the lazy dog');
  DBMS_OUTPUT.PUT_LINE('Formatting server output lines');
END;
/
SET LINESIZE 80 SERVEROUTPUT ON FORMAT WORD_WRAPPED
EXEC DBMS_OUTPUT.PUT_LINE('  back to one line of eighty columns at most')
EXIT
