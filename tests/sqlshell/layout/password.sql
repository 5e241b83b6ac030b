REM source: SQL*Plus User's Guide and Reference, PASSWORD [username]: asks for the old password
REM (own account only), the new one and the new one again; "Password changed" or the error and
REM "Password unchanged". The change does not end the open transaction.
INSERT INTO dept VALUES (50, 'TRAINING', 'TOKYO');
PASSWORD
PASSWORD
PASSW
SELECT COUNT(*) FROM dept;
ROLLBACK;
CONNECT demo/lion
SELECT COUNT(*) FROM dept;
PASSWORD scott
PASSWORD
CONNECT demo/"Lion King"
PASSWORD demo
CONNECT demo/tiger
REM the other scripts log on with the first password again
PASSWORD
EXIT
