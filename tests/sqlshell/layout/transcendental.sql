REM source: Oracle SQL Language Reference, the examples of EXP, LN, LOG, POWER, SQRT, SIN, COS,
REM TAN, SINH, COSH, TANH, ASIN, ACOS, ATAN and ATAN2 as SQL*Plus prints them (NUMWIDTH 10, a
REM column as wide as its heading).
SELECT EXP(4) "e to the 4th power" FROM DUAL;
SELECT LN(95) "Natural log of 95" FROM DUAL;
SELECT LOG(10,100) "Log base 10 of 100" FROM DUAL;
SELECT POWER(3,2) "Raised" FROM DUAL;
SELECT SQRT(26) "Square root" FROM DUAL;
SELECT SIN(30 * 3.14159265359/180) "Sine of 30 degrees" FROM DUAL;
SELECT COS(180 * 3.14159265359/180) "Cosine of 180 degrees" FROM DUAL;
SELECT TAN(135 * 3.14159265359/180) "Tangent of 135 degrees" FROM DUAL;
SELECT SINH(1) "Hyperbolic sine of 1" FROM DUAL;
SELECT COSH(0) "Hyperbolic cosine of 0" FROM DUAL;
SELECT TANH(.5) "Hyperbolic tangent of .5" FROM DUAL;
SELECT ASIN(.3) "Arc_Sine" FROM DUAL;
SELECT ACOS(.3) "Arc_Cosine" FROM DUAL;
SELECT ATAN(.3) "Arc_Tangent" FROM DUAL;
SELECT ATAN2(.3, .2) "Arc_Tangent2" FROM DUAL;
REM source: SQL*Plus User's Guide and Reference, SET NUMWIDTH: a number column is NUMWIDTH wide
REM and its value rounded to fit; TO_CHAR gives every digit of the NUMBER.
SELECT EXP(1), LN(EXP(2)), POWER(2, .5), SQRT(2), LOG(10, 100) FROM DUAL;
SELECT TO_CHAR(EXP(1)) FROM DUAL;
