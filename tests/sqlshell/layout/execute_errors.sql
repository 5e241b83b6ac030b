REM source: SQL*Plus User's Guide and Reference, EXECUTE and "Interpreting Error Messages": EXECUTE
REM runs "BEGIN statement; END;" and a failure shows that line, a blank line, then the "*" under
REM the column that ORA-06550 names; a block entered over several lines shows its line in error.
EXECUTE no_such_proc
EXECUTE NULL; no_such_proc(1)
EXECUTE raise_application_error(-20001, 'Custom failure')
BEGIN
  NULL;
  no_such_proc;
END;
/
DECLARE x NUMBER; BEGIN x := 1/0; END;
/
EXIT
