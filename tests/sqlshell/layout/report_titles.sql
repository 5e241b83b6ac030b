REM source: SQL*Plus User's Guide and Reference, "Adding a Report Header and Footer" and
REM REPHEADER/REPFOOTER: PAGE puts the header alone on the first page and the footer alone on a
REM last page, under each page's top title; a page that holds no rows has no column headings.
SET PAGESIZE 24
REPHEADER PAGE CENTER 'PERFECT WIDGETS'
REPFOOTER PAGE CENTER 'END EMPLOYEE LISTING REPORT'
TTITLE RIGHT 'Page: ' FORMAT 999 SQL.PNO
COLUMN sal FORMAT $99,990
BREAK ON REPORT
COMPUTE SUM OF sal ON REPORT
SELECT ename, sal FROM emp WHERE sal > 2900 ORDER BY sal DESC, ename;
REPHEADER
REPFOOTER
REM Without PAGE the footer follows the last row (after a SKIP) on the same page.
REPHEADER OFF
REPFOOTER SKIP 1 LEFT 'End of ' SQL.USER ' report'
TTITLE OFF
SELECT ename, sal FROM emp WHERE deptno = 10 ORDER BY ename;
EXIT
