REM source: SQL*Plus User's Guide and Reference, DESCRIBE (the object type ADDRESS and EMPLOYEE,
REM the type RATIONAL whose method follows its attributes under METHOD, and a TABLE OF ADDRESS
REM type shown with the attributes of its element); Object-Relational Developer's Guide,
REM "DESCRIBE of a subtype" (the "extends" and "is NOT FINAL" lines above the attributes);
REM SET DESCRIBE DEPTH (its example: DEPTH 2 shows the attributes of EMPADDR under it, indented);
REM DESCRIBE of a synonym describes the object it names.
CREATE TYPE address AS OBJECT
  ( street  VARCHAR2(20),
    city    VARCHAR2(20)
  );
/
CREATE TYPE employee AS OBJECT
( last_name VARCHAR2(30),
  empaddr ADDRESS,
  job_id VARCHAR2(20),
  salary NUMBER(7,2)
);
/
DESCRIBE employee
DESCRIBE address
CREATE OR REPLACE TYPE rational AS OBJECT
(numerator NUMBER,
 denominator NUMBER,
 MAP MEMBER FUNCTION rational_order RETURN NUMBER,
 PRAGMA RESTRICT_REFERENCES (rational_order, RNDS, WNDS, RNPS, WNPS) );
/
DESCRIBE rational
CREATE TYPE addr_type IS TABLE OF ADDRESS;
/
DESCRIBE addr_type
CREATE TYPE scores_t AS VARRAY(10) OF NUMBER(5);
/
DESC scores_t
REM a supertype's methods come with its subtype; a constructor stays with its own type
CREATE TYPE person_typ AS OBJECT (
  idno NUMBER,
  name VARCHAR2(30),
  manager REF person_typ,
  CONSTRUCTOR FUNCTION person_typ (name VARCHAR2) RETURN SELF AS RESULT,
  MEMBER PROCEDURE rename (new_name IN VARCHAR2, quiet IN BOOLEAN DEFAULT TRUE),
  MEMBER FUNCTION show RETURN VARCHAR2) NOT FINAL;
/
CREATE TYPE student_typ UNDER person_typ (
  dept_id NUMBER,
  major VARCHAR2(30),
  OVERRIDING MEMBER FUNCTION show RETURN VARCHAR2);
/
DESCRIBE person_typ
DESCRIBE student_typ
DESCRIBE no_such_type
SET DESCRIBE DEPTH 2
SHOW DESCRIBE
DESCRIBE employee
CREATE TABLE emp_table OF employee;
CREATE TABLE teams (id NUMBER NOT NULL, lead employee, since DATE);
DESCRIBE teams
SET DESCRIBE DEPTH ALL INDENT OFF
DESCRIBE teams
SET DESCRIBE DEPTH 1 INDENT ON
DESCRIBE emp_table
REM a synonym describes the procedure or type it stands for
CREATE PROCEDURE raise_pay (amount IN NUMBER, pct IN NUMBER DEFAULT 10) IS
BEGIN
  NULL;
END;
/
CREATE SYNONYM pay_syn FOR raise_pay;
CREATE SYNONYM addr_syn FOR address;
DESCRIBE pay_syn
DESCRIBE addr_syn
DROP SYNONYM pay_syn;
DROP SYNONYM addr_syn;
DROP PROCEDURE raise_pay;
DROP TABLE teams;
DROP TABLE emp_table;
EXIT
