REM source: SQL*Plus User's Guide and Reference, ACCEPT: a NUMBER variable refuses a value that is
REM not a number with SP2-0425 and asks again; HIDE may follow a quoted PROMPT text, and the prompt
REM is the quoted text alone.
accept n number prompt 'Enter a number: '
define n
accept p char prompt 'Password: ' hide
define p
accept d char format a10 default 'none' prompt 'Dept: '
define d
REM ACCEPT ... FORMAT: a value that does not match it is refused with SP2-0598 and asked for again
REM ("ACCEPT pounds NUMBER FORMAT 999.99 DEFAULT 0 PROMPT 'Enter weight: '").
accept pounds number format 999.99 default 0 prompt 'Enter weight: '
define pounds
accept code char format a3 prompt 'Code: '
define code
REM "A format specifier of "999.99" allows both "123.45" and "67"", "9EEEE" allows "3e2" but not
REM "300" or "12e2" (Oracle, "SQL*Plus Substitution Variables", ACCEPT).
accept small number format 999.99 prompt 'Small: '
define small
accept sci number format 9EEEE prompt 'Sci: '
define sci
REM ACCEPT ... DATE: a value that is not a date in the FORMAT (or the session's date format) is
REM refused with SP2-0685 ("The date string is invalid or format mismatched string", SQL*Plus
REM Error Messages), which names the format, and asked for again.
accept hired date format 'DD-MON-YYYY' prompt 'Hired: '
define hired
accept today date prompt 'Date: '
define today
REM ACCEPT ... NOPROMPT "skips a line and waits for input without displaying a prompt".
accept quiet noprompt
define quiet
