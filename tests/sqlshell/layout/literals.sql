REM source: Oracle SQL Language Reference, "Text Literals" (the q'...' examples; the delimiter is
REM any one character, also one of several bytes); SQL*Plus User's Guide and Reference, column
REM headings (an expression's text in upper case without blanks, as wide as its value).
SELECT q'!name LIKE '%DBMS_%%'!' FROM dual;
SELECT q'<'So,' she said, 'It''s finished.'>' FROM dual;
SELECT q'ア;'x';ア' FROM dual;
SELECT N'Jack''s', 'Hello', 'ORACLE.dbs' FROM dual;
EXIT
