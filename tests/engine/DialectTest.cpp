// Oracle's dialect on the engine: outer joins, dates, ROWNUM, sequences, views, triggers, stored
// PL/SQL, ALTER TABLE, users, and statements that share one prepared statement.
#include "EngineFixture.h"

namespace {

using Dialect = Engine;

std::string Code(const std::string& error) { return error.substr(0, 9); }

// Oracle Database Administrator's Guide, Viewing and Querying Objects in the Recycle Bin: a
// dropped table is read, and brought back, by the name the recycle bin gave it.
TEST_F(Dialect, ADroppedTableIsReadByItsRecycleBinName) {
  ASSERT_EQ(Exec("CREATE TABLE T9 (N NUMBER)"), "");
  ASSERT_EQ(Exec("INSERT INTO T9 VALUES (9)"), "");
  ASSERT_EQ(Exec("DROP TABLE T9"), "");
  std::string bin = Rows("SELECT OBJECT_NAME FROM RECYCLEBIN WHERE ORIGINAL_NAME = 'T9'");
  ASSERT_EQ(bin.size(), 31u); // BIN$ and 26 characters, and the line's end
  bin.pop_back();
  EXPECT_EQ(Rows("SELECT N FROM \"" + bin + "\""), "9\n");
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM USER_VIEWS WHERE VIEW_NAME LIKE 'BIN$%'"), "0\n");
  ASSERT_EQ(Exec("FLASHBACK TABLE \"" + bin + "\" TO BEFORE DROP"), "");
  EXPECT_EQ(Rows("SELECT N FROM T9"), "9\n");
  EXPECT_EQ(Code(Exec("SELECT N FROM \"" + bin + "\"")), "ORA-00942");
}

TEST_F(Dialect, OuterJoinMarksBecomeLeftJoinsAndBadFormsAreRefused) {
  ASSERT_EQ(Exec("INSERT INTO EMP (EMPNO, ENAME, DEPTNO) VALUES (9000, 'NODEPT', NULL)"), "");
  // every department, with or without people; the condition on the outer table stays in the join
  EXPECT_EQ(Rows("SELECT D.DNAME, COUNT(E.EMPNO) FROM DEPT D, EMP E WHERE D.DEPTNO = E.DEPTNO (+)"
                 " GROUP BY D.DNAME ORDER BY D.DNAME"),
            "ACCOUNTING|3\nOPERATIONS|0\nRESEARCH|5\nSALES|6\n");
  EXPECT_EQ(Rows("SELECT D.DNAME, E.ENAME FROM DEPT D, EMP E WHERE E.DEPTNO (+) = D.DEPTNO"
                 " AND E.JOB (+) = 'PRESIDENT' ORDER BY D.DEPTNO"),
            "ACCOUNTING|KING\nRESEARCH|\nSALES|\nOPERATIONS|\n");
  // the plain side keeps its filter in WHERE
  EXPECT_EQ(Rows("SELECT E.ENAME, D.DNAME FROM EMP E, DEPT D WHERE E.DEPTNO = D.DEPTNO(+) AND "
                 "E.EMPNO > 7902"
                 " ORDER BY E.EMPNO"),
            "MILLER|ACCOUNTING\nNODEPT|\n");
  // two outer tables in a chain: EMP -> DEPT(+), and a derived table
  EXPECT_EQ(
      Rows("SELECT E.ENAME, X.N FROM EMP E, (SELECT DEPTNO, COUNT(*) N FROM EMP GROUP BY DEPTNO) X"
           " WHERE X.DEPTNO (+) = E.DEPTNO AND E.EMPNO IN (7839, 9000) ORDER BY 1"),
      "KING|3\nNODEPT|\n");
  EXPECT_EQ(Code(Exec("SELECT 1 FROM EMP E, DEPT D, EMP M WHERE E.DEPTNO (+) = D.DEPTNO AND E.MGR "
                      "(+) = M.EMPNO")),
            "ORA-01417");
  EXPECT_EQ(Code(Exec("SELECT 1 FROM EMP E, DEPT D WHERE E.DEPTNO (+) = D.DEPTNO (+)")),
            "ORA-01468");
  EXPECT_EQ(Code(Exec("SELECT 1 FROM EMP E, DEPT D WHERE E.DEPTNO (+) = D.DEPTNO OR E.SAL > 1")),
            "ORA-01719");
  EXPECT_EQ(
      Code(Exec("SELECT 1 FROM EMP E, DEPT D WHERE E.DEPTNO (+) = D.DEPTNO AND D.LOC (+) = E.JOB")),
      "ORA-01416");
  EXPECT_EQ(
      Code(Exec("SELECT 1 FROM EMP E JOIN DEPT D ON E.DEPTNO = D.DEPTNO WHERE E.MGR (+) = 1")),
      "ORA-25156");
}

TEST_F(Dialect, DatesAddSubtractCompareAndConcatenationIgnoresNull) {
  Ses.DateFormatString = "YYYY/MM/DD";
  EXPECT_EQ(Rows("SELECT HIREDATE + 30, HIREDATE - 0.5, ADD_MONTHS(HIREDATE, 1) - HIREDATE FROM "
                 "EMP WHERE EMPNO = 7369"),
            "1981/01/16|1980/12/16|31\n");
  EXPECT_EQ(
      Rows("SELECT TO_CHAR(HIREDATE - 0.5, 'YYYY-MM-DD HH24:MI') FROM EMP WHERE EMPNO = 7369"),
      "1980-12-16 12:00\n");
  EXPECT_EQ(Scalar(Cur, "SELECT MAX(HIREDATE) - MIN(HIREDATE) FROM EMP"), "2348");
  EXPECT_EQ(Code(Exec("SELECT HIREDATE + HIREDATE FROM EMP")), "ORA-00975");
  // text compared with a DATE reads as a date, in every form the engine accepts
  EXPECT_EQ(Scalar(Cur, "SELECT COUNT(*) FROM EMP WHERE HIREDATE >= '1982/01/01'"), "3");
  EXPECT_EQ(Scalar(Cur, "SELECT COUNT(*) FROM EMP WHERE '82-01-01' <= HIREDATE"), "3");
  EXPECT_EQ(
      Scalar(Cur, "SELECT COUNT(*) FROM EMP WHERE HIREDATE BETWEEN '1981-01-01' AND '1981-12-31'"),
      "10");
  EXPECT_EQ(Code(Exec("SELECT 1 FROM EMP WHERE HIREDATE = 'tomorrow'")), "ORA-01858");
  EXPECT_EQ(
      Scalar(Cur, "SELECT ENAME || NULL || '/' || COMM || '/' || SAL FROM EMP WHERE EMPNO = 7369"),
      "SMITH//800");
  EXPECT_EQ(
      Scalar(
          Cur,
          "SELECT TRIM(LEADING '0' FROM '00120') || TRIM(TRAILING FROM '  x  ') || '|' FROM DUAL"),
      "120  x|");
  EXPECT_EQ(Rows("SELECT USER, UID FROM DUAL"), "DEMO|2\n");
  EXPECT_EQ(Rows("SELECT 7 / 2, SAL / 64 / 2, 6 / 2 FROM EMP WHERE EMPNO = 7369"), "3.5|6.25|3\n");
  // the types describe as Oracle's: date arithmetic is a DATE, date minus date a NUMBER
  ASSERT_EQ(Exec("SELECT HIREDATE + 1, HIREDATE - HIREDATE, ENAME || 'x' FROM EMP"), "");
  EXPECT_EQ(Cur.Fields(0)->FieldKind(), 3);
  EXPECT_EQ(Cur.Fields(1)->FieldKind(), 1);
  EXPECT_EQ(Cur.Fields(2)->FieldKind(), 0);
  // NULL sorts last going up and first going down
  EXPECT_EQ(Rows("SELECT ENAME FROM EMP WHERE DEPTNO = 30 AND SAL < 1600 ORDER BY COMM"),
            "TURNER\nWARD\nMARTIN\nJAMES\n");
  EXPECT_EQ(Rows("SELECT ENAME FROM EMP WHERE DEPTNO = 30 AND SAL < 1600 ORDER BY COMM DESC"),
            "JAMES\nMARTIN\nWARD\nTURNER\n");
}

TEST_F(Dialect, RownumIsAssignedBeforeSortingAndGrouping) {
  EXPECT_EQ(Rows("SELECT ROWNUM, ENAME FROM EMP WHERE ROWNUM <= 3"), "1|SMITH\n2|ALLEN\n3|WARD\n");
  EXPECT_EQ(Rows("SELECT ROWNUM, ENAME FROM EMP WHERE ROWNUM < 3 ORDER BY ENAME"),
            "2|ALLEN\n1|SMITH\n");
  EXPECT_EQ(Scalar(Cur, "SELECT COUNT(*) FROM EMP WHERE ROWNUM <= 5"), "5");
  EXPECT_EQ(Rows("SELECT ENAME FROM EMP WHERE ROWNUM = 1 AND DEPTNO = 30"), "ALLEN\n");
  EXPECT_EQ(Rows("SELECT ENAME FROM EMP WHERE ROWNUM > 1"), "");
  EXPECT_EQ(Rows("SELECT ENAME FROM EMP WHERE ROWNUM = 2"), "");
  EXPECT_EQ(
      Rows("SELECT * FROM (SELECT ENAME FROM EMP ORDER BY SAL DESC, ENAME) WHERE ROWNUM <= 3"),
      "KING\nFORD\nSCOTT\n");
  EXPECT_EQ(Rows("SELECT E.ENAME FROM EMP E, DEPT D WHERE E.DEPTNO = D.DEPTNO AND D.LOC = 'DALLAS'"
                 " AND ROWNUM <= 2 ORDER BY E.ENAME"),
            "JONES\nSMITH\n");
  // ROWNUM beside a column: each row gets the next number only if the whole condition lets it
  // through (JAMES, 9.5 < 12, is left out and FORD takes 12)
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM EMP WHERE ROWNUM <= SAL / 100"), "13\n");
}

TEST_F(Dialect, GroupedQueriesSelectOnlyWhatIsGrouped) {
  EXPECT_EQ(Code(Exec("SELECT DEPTNO, ENAME FROM EMP GROUP BY DEPTNO")), "ORA-00979");
  EXPECT_EQ(Code(Exec("SELECT ENAME, COUNT(*) FROM EMP")), "ORA-00937");
  EXPECT_EQ(Rows("SELECT E.DEPTNO, COUNT(DISTINCT JOB), 'x' FROM EMP E GROUP BY DEPTNO ORDER BY 1"),
            "10|3|x\n20|3|x\n30|3|x\n");
  EXPECT_EQ(Rows("SELECT SUBSTR(ENAME, 1, 1) || '.', COUNT(*) FROM EMP GROUP BY SUBSTR(ENAME, 1, 1)"
                 " HAVING COUNT(*) > 1 ORDER BY 1"),
            "A.|2\nJ.|2\nM.|2\nS.|2\n");
  EXPECT_EQ(Rows("SELECT DECODE(DEPTNO, 10, 'TEN', 'OTHER'), SUM(SAL) FROM EMP GROUP BY DEPTNO "
                 "ORDER BY 2"),
            "TEN|8750\nOTHER|9400\nOTHER|10875\n");
  EXPECT_EQ(Rows("SELECT D.DNAME, (SELECT COUNT(*) FROM EMP E WHERE E.DEPTNO = D.DEPTNO) FROM DEPT "
                 "D ORDER BY 1"),
            "ACCOUNTING|3\nOPERATIONS|0\nRESEARCH|5\nSALES|6\n");
}

TEST_F(Dialect, SequencesCountOutsideTransactions) {
  EXPECT_EQ(Code(Exec("SELECT EMP_SEQ.CURRVAL FROM DUAL")), "ORA-08002");
  EXPECT_EQ(Scalar(Cur, "SELECT EMP_SEQ.NEXTVAL FROM DUAL"), "8000");
  ASSERT_EQ(Exec("INSERT INTO DEPT VALUES (EMP_SEQ.NEXTVAL - 7950, 'X', 'Y')"), "");
  EXPECT_EQ(Scalar(Cur, "SELECT DEMO.EMP_SEQ.CURRVAL FROM DUAL"), "8001");
  ASSERT_TRUE(Ses.Rollback());
  // a rollback gives no number back
  EXPECT_EQ(Scalar(Cur, "SELECT EMP_SEQ.NEXTVAL FROM DUAL"), "8002");
  EXPECT_EQ(Scalar(Cur, "SELECT COUNT(*) FROM DEPT"), "4");
  EXPECT_EQ(Rows("SELECT SEQUENCE_NAME, INCREMENT_BY, LAST_NUMBER FROM USER_SEQUENCES"),
            "EMP_SEQ|1|8003\n");

  ASSERT_EQ(Exec("CREATE SEQUENCE DOWN INCREMENT BY -5 START WITH 10 MINVALUE 0 MAXVALUE 10"), "");
  EXPECT_EQ(Scalar(Cur, "SELECT DOWN.NEXTVAL FROM DUAL"), "10");
  EXPECT_EQ(Scalar(Cur, "SELECT DOWN.NEXTVAL FROM DUAL"), "5");
  EXPECT_EQ(Scalar(Cur, "SELECT DOWN.NEXTVAL FROM DUAL"), "0");
  EXPECT_EQ(Code(Exec("SELECT DOWN.NEXTVAL FROM DUAL")), "ORA-08004");
  ASSERT_EQ(Exec("CREATE SEQUENCE ROUND3 START WITH 1 MAXVALUE 3 CYCLE NOCACHE"), "");
  std::string seen;
  for (int i = 0; i < 4; ++i)
    seen += Scalar(Cur, "SELECT ROUND3.NEXTVAL FROM DUAL");
  EXPECT_EQ(seen, "1231");
  EXPECT_EQ(Code(Exec("CREATE SEQUENCE ZERO INCREMENT BY 0")), "ORA-04002");
  EXPECT_EQ(Code(Exec("CREATE SEQUENCE EMP START WITH 1")), "ORA-00955");
  ASSERT_EQ(Exec("DROP SEQUENCE DOWN"), "");
  EXPECT_EQ(Code(Exec("SELECT DOWN.NEXTVAL FROM DUAL")), "ORA-02289");
  EXPECT_EQ(Rows("SELECT OBJECT_NAME FROM USER_OBJECTS WHERE OBJECT_TYPE = 'SEQUENCE' ORDER BY 1"),
            "EMP_SEQ\nROUND3\n");
}

TEST_F(Dialect, ViewsKeepTheirTextAndColumnTypes) {
  ASSERT_EQ(Exec("CREATE VIEW RICH (WHO, PAY, SINCE) AS SELECT ENAME, SAL * 12, HIREDATE + 1 FROM "
                 "EMP WHERE SAL > 2900"),
            "");
  EXPECT_EQ(Rows("SELECT WHO, PAY FROM RICH ORDER BY PAY DESC, WHO"),
            "KING|60000\nFORD|36000\nSCOTT|36000\nJONES|35700\n");
  EXPECT_EQ(
      Rows("SELECT COLUMN_NAME, DATA_TYPE FROM COLS WHERE TABLE_NAME = 'RICH' ORDER BY COLUMN_ID"),
      "WHO|VARCHAR2\nPAY|NUMBER\nSINCE|DATE\n");
  ASSERT_EQ(Exec("SELECT * FROM RICH"), "");
  EXPECT_EQ(Cur.Fields(1)->FieldKind(), 1);
  EXPECT_EQ(Cur.Fields(2)->FieldKind(), 3);
  EXPECT_EQ(Code(Exec("CREATE VIEW RICH AS SELECT 1 X FROM DUAL")), "ORA-00955");
  EXPECT_EQ(Code(Exec("CREATE OR REPLACE VIEW EMP AS SELECT 1 X FROM DUAL")), "ORA-00955");
  EXPECT_EQ(Code(Exec("CREATE VIEW TWO (A) AS SELECT 1, 2 FROM DUAL")), "ORA-01730");
  ASSERT_EQ(Exec("CREATE OR REPLACE VIEW RICH AS SELECT ENAME FROM EMP WHERE SAL >= 5000"), "");
  EXPECT_EQ(Rows("SELECT * FROM RICH"), "KING\n");
  EXPECT_EQ(LongText("SELECT TEXT FROM USER_VIEWS WHERE VIEW_NAME = 'RICH'", 0),
            "SELECT ENAME FROM EMP WHERE SAL >= 5000");
  EXPECT_EQ(Code(Exec("INSERT INTO RICH VALUES ('X')")).substr(0, 4), "ORA-");
  ASSERT_EQ(Exec("DROP VIEW RICH"), "");
  EXPECT_EQ(Code(Exec("SELECT * FROM RICH")), "ORA-00942");
  EXPECT_EQ(Rows("SELECT VIEW_NAME FROM USER_VIEWS"), "EMP_DEPT_V\n");
  // a table made from a query takes its columns' names and types, and its rows
  ASSERT_EQ(Exec("CREATE TABLE PAID AS SELECT ENAME, SAL * 12 ANNUAL, HIREDATE FROM EMP WHERE "
                 "DEPTNO = 10"),
            "");
  EXPECT_EQ(Rows("SELECT COLUMN_NAME, DATA_TYPE, DATA_LENGTH FROM COLS WHERE TABLE_NAME = 'PAID' "
                 "ORDER BY COLUMN_ID"),
            "ENAME|VARCHAR2|10\nANNUAL|NUMBER|22\nHIREDATE|DATE|7\n");
  EXPECT_EQ(Scalar(Cur, "SELECT SUM(ANNUAL) FROM PAID"), "105000");
  EXPECT_EQ(Code(Exec("CREATE TABLE PAID2 AS SELECT SAL + 1 FROM EMP")), "ORA-00998");
  EXPECT_EQ(Code(Exec("CREATE TABLE PAID AS SELECT 1 X FROM DUAL")), "ORA-00955");
}

TEST_F(Dialect, TriggersRunOrFailLoudlyWhenTheyCannot) {
  // the demo trigger audits salary changes, and only those
  ASSERT_EQ(Exec("UPDATE EMP SET SAL = SAL + 100 WHERE DEPTNO = 10"), "");
  ASSERT_EQ(Exec("UPDATE EMP SET JOB = 'X' WHERE EMPNO = 7369"), "");
  EXPECT_EQ(Rows("SELECT EMPNO, OLD_SAL, NEW_SAL FROM SAL_AUDIT ORDER BY EMPNO"),
            "7782|2450|2550\n7839|5000|5100\n7934|1300|1400\n");
  EXPECT_EQ(Scalar(Cur, "SELECT COUNT(*) FROM SAL_AUDIT WHERE CHANGED IS NULL"), "0");

  ASSERT_EQ(Exec("CREATE TABLE LOG_T (WHAT VARCHAR2(20), N NUMBER)"), "");
  ASSERT_EQ(
      Exec("CREATE TRIGGER DEPT_LOG BEFORE INSERT OR DELETE ON DEPT REFERENCING NEW AS N OLD AS O"
           " FOR EACH ROW WHEN (N.DEPTNO > 50 OR O.DEPTNO > 50)\n"
           "BEGIN\n  INSERT INTO LOG_T VALUES ('dept', NVL(:N.DEPTNO, -:O.DEPTNO));\nEND;"),
      "");
  ASSERT_EQ(Exec("INSERT INTO DEPT VALUES (50, 'A', 'B')"), "");
  ASSERT_EQ(Exec("INSERT INTO DEPT VALUES (60, 'A', 'B')"), "");
  ASSERT_EQ(Exec("DELETE FROM DEPT WHERE DEPTNO = 60"), "");
  EXPECT_EQ(Rows("SELECT WHAT, N FROM LOG_T ORDER BY N"), "dept|-60\ndept|60\n");
  EXPECT_EQ(Rows("SELECT TRIGGER_TYPE, TRIGGERING_EVENT, TABLE_NAME FROM USER_TRIGGERS WHERE "
                 "TRIGGER_NAME = 'DEPT_LOG'"),
            "BEFORE EACH ROW|INSERT OR DELETE|DEPT\n");

  // a body with PL/SQL logic runs, and the row is written with the :NEW values it sets
  ASSERT_EQ(Exec("CREATE OR REPLACE TRIGGER DEPT_LOG BEFORE INSERT ON DEPT FOR EACH ROW\n"
                 "BEGIN\n  IF :NEW.DEPTNO > 90 THEN :NEW.LOC := 'X'; END IF;\nEND;"),
            "");
  ASSERT_EQ(Exec("INSERT INTO DEPT VALUES (95, 'A', 'B')"), "");
  ASSERT_EQ(Exec("INSERT INTO DEPT VALUES (85, 'A', 'B')"), "");
  EXPECT_EQ(Rows("SELECT DEPTNO, LOC FROM DEPT WHERE DEPTNO > 80 ORDER BY 1"), "85|B\n95|X\n");
  EXPECT_EQ(Rows("SELECT STATUS FROM USER_OBJECTS WHERE OBJECT_NAME = 'DEPT_LOG'"), "VALID\n");
  // one that does not compile is stored as invalid, and the statements it guards fail
  ASSERT_EQ(Exec("CREATE OR REPLACE TRIGGER DEPT_LOG BEFORE INSERT ON DEPT FOR EACH ROW\n"
                 "BEGIN\n  IF :NEW.DEPTNO > 90 THEN :NEW.LOC := 'X' END IF;\nEND;"),
            "");
  EXPECT_EQ(Code(Exec("INSERT INTO DEPT VALUES (70, 'A', 'B')")), "ORA-04098");
  EXPECT_EQ(Rows("SELECT STATUS FROM USER_OBJECTS WHERE OBJECT_NAME = 'DEPT_LOG'"), "INVALID\n");
  EXPECT_EQ(
      Code(Exec("CREATE TRIGGER DEPT_LOG AFTER DELETE ON DEPT FOR EACH ROW BEGIN NULL; END;")),
      "ORA-04081");
  ASSERT_EQ(Exec("DROP TRIGGER DEPT_LOG"), "");
  EXPECT_EQ(Exec("INSERT INTO DEPT VALUES (70, 'A', 'B')"), "");
  EXPECT_EQ(Code(Exec("DROP TRIGGER DEPT_LOG")), "ORA-04080");
  EXPECT_EQ(Code(Exec("CREATE TRIGGER T1 AFTER INSERT ON NO_SUCH FOR EACH ROW BEGIN NULL; END;")),
            "ORA-00942");
}

TEST_F(Dialect, StoredPlsqlKeepsItsSourceAndProceduresRun) {
  ASSERT_EQ(Exec("CREATE OR REPLACE PROCEDURE P1 (X IN NUMBER) IS\nBEGIN\n  NULL;\nEND;\n/"), "");
  EXPECT_EQ(Rows("SELECT LINE, TEXT FROM USER_SOURCE WHERE NAME = 'P1' ORDER BY LINE"),
            "1|PROCEDURE P1 (X IN NUMBER) IS\n\n2|BEGIN\n\n3|  NULL;\n\n4|END;\n\n");
  EXPECT_EQ(Code(Exec("CREATE PROCEDURE P1 IS BEGIN NULL; END;")), "ORA-00955");
  EXPECT_EQ(Code(Exec("CREATE FUNCTION EMP RETURN NUMBER IS BEGIN RETURN 1; END;")), "ORA-00955");
  EXPECT_EQ(Exec("BEGIN P1(1); END;"), "");
  // a call with the wrong arguments is refused before anything runs
  EXPECT_EQ(Code(Exec("BEGIN P1(1, 2); END;")), "ORA-06550");
  EXPECT_EQ(Exec("CALL RAISE_SAL(7369, 10)"), "");
  EXPECT_EQ(Scalar(Cur, "SELECT SAL FROM EMP WHERE EMPNO = 7369"), "880");
  ASSERT_EQ(Exec("DROP PACKAGE EMP_PKG"), "");
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM USER_SOURCE WHERE NAME = 'EMP_PKG'"), "0\n");
  EXPECT_EQ(
      Rows(
          "SELECT OBJECT_TYPE FROM USER_OBJECTS WHERE OBJECT_NAME IN ('EMP_PKG', 'P1') ORDER BY 1"),
      "PROCEDURE\n");
  EXPECT_EQ(Code(Exec("DROP FUNCTION NO_SUCH")), "ORA-04043");
}

TEST_F(Dialect, AlterTableKeepsRowsRowidsIndexesAndTriggers) {
  std::string smith = Scalar(Cur, "SELECT ROWID FROM EMP WHERE EMPNO = 7369");
  ASSERT_EQ(Exec("CREATE INDEX EMP_ENAME ON EMP (ENAME)"), "");
  ASSERT_EQ(Exec("ALTER TABLE EMP ADD (EMAIL VARCHAR2(40) DEFAULT 'none', BONUS NUMBER(5))"), "");
  EXPECT_EQ(Rows("SELECT EMAIL, BONUS FROM EMP WHERE EMPNO = 7369"), "none|\n");
  EXPECT_EQ(Code(Exec("ALTER TABLE EMP ADD (BADGE NUMBER NOT NULL)")), "ORA-01758");
  EXPECT_EQ(Code(Exec("ALTER TABLE EMP ADD (ENAME VARCHAR2(5))")), "ORA-01430");
  ASSERT_EQ(Exec("ALTER TABLE EMP MODIFY (ENAME VARCHAR2(20))"), "");
  ASSERT_EQ(Exec("UPDATE EMP SET ENAME = 'LONGER-NAME-1234' WHERE EMPNO = 7369"), "");
  EXPECT_EQ(Code(Exec("ALTER TABLE EMP MODIFY (ENAME VARCHAR2(10))")), "ORA-01441");
  EXPECT_EQ(Code(Exec("ALTER TABLE EMP MODIFY (JOB NUMBER)")), "ORA-01439");
  EXPECT_EQ(Code(Exec("ALTER TABLE EMP MODIFY (COMM NOT NULL)")), "ORA-02296");
  ASSERT_EQ(Exec("ALTER TABLE EMP MODIFY (BONUS DATE)"), "");
  ASSERT_EQ(Exec("ALTER TABLE EMP MODIFY (SAL NOT NULL)"), "");
  EXPECT_EQ(Code(Exec("UPDATE EMP SET SAL = NULL WHERE EMPNO = 7369")), "ORA-01407");
  ASSERT_EQ(Exec("ALTER TABLE EMP DROP COLUMN EMAIL"), "");
  ASSERT_EQ(Exec("ALTER TABLE EMP RENAME COLUMN BONUS TO REVIEWED"), "");
  EXPECT_EQ(Rows("SELECT COLUMN_NAME, DATA_TYPE, NULLABLE FROM COLS WHERE TABLE_NAME = 'EMP' AND "
                 "COLUMN_ID >= 6"
                 " ORDER BY COLUMN_ID"),
            "SAL|NUMBER|N\nCOMM|NUMBER|Y\nDEPTNO|NUMBER|Y\nREVIEWED|DATE|Y\n");
  // the same rows under the same ROWIDs, the index, the key and the audit trigger still there
  EXPECT_EQ(Scalar(Cur, "SELECT ENAME FROM EMP WHERE ROWID = '" + smith + "'"), "LONGER-NAME-1234");
  EXPECT_EQ(Scalar(Cur, "SELECT COUNT(*) FROM USER_INDEXES WHERE TABLE_NAME = 'EMP'"), "2");
  EXPECT_EQ(Code(Exec("INSERT INTO EMP (EMPNO, SAL) VALUES (7369, 1)")), "ORA-00001");
  ASSERT_EQ(Exec("UPDATE EMP SET SAL = 1 WHERE EMPNO = 7369"), "");
  EXPECT_EQ(Scalar(Cur, "SELECT COUNT(*) FROM SAL_AUDIT"), "1");
  // children of EMP lost nothing to the rebuild
  EXPECT_EQ(Scalar(Cur, "SELECT COUNT(*) FROM EMP_NOTE"), "2");
  ASSERT_EQ(Exec("ALTER TABLE DEPT ADD CONSTRAINT DEPT_DNAME_UK UNIQUE (DNAME)"), "");
  EXPECT_EQ(
      Rows("SELECT INDEX_NAME, UNIQUENESS FROM USER_INDEXES WHERE TABLE_NAME = 'DEPT' ORDER BY 1"),
      "DEPT_DNAME_UK|UNIQUE\nPK_DEPT|UNIQUE\n");
  EXPECT_EQ(Code(Exec("INSERT INTO DEPT VALUES (50, 'SALES', 'X')")), "ORA-00001");
  ASSERT_EQ(Exec("ALTER TABLE DEPT DROP CONSTRAINT DEPT_DNAME_UK"), "");
  EXPECT_EQ(Exec("INSERT INTO DEPT VALUES (50, 'SALES', 'X')"), "");
  EXPECT_EQ(Code(Exec("ALTER TABLE DEPT DROP CONSTRAINT NOPE")), "ORA-02443");
  ASSERT_EQ(Exec("RENAME SAL_AUDIT TO PAY_AUDIT"), "");
  EXPECT_EQ(Scalar(Cur, "SELECT COUNT(*) FROM PAY_AUDIT"), "1");
  EXPECT_EQ(Exec("COMMENT ON TABLE EMP IS 'people'"), "");
  EXPECT_EQ(Exec("COMMENT ON COLUMN EMP.SAL IS 'monthly'"), "");
  EXPECT_EQ(Code(Exec("COMMENT ON COLUMN EMP.NOPE IS 'x'")), "ORA-00904");
}

TEST_F(Dialect, TruncateCommitsAndCannotBeUndone) {
  ASSERT_EQ(Exec("INSERT INTO SAL_AUDIT (EMPNO) VALUES (1)"), "");
  ASSERT_EQ(Exec("TRUNCATE TABLE EMP_NOTE"), "");
  ASSERT_TRUE(Ses.Rollback());
  EXPECT_EQ(Scalar(Cur, "SELECT COUNT(*) FROM EMP_NOTE"), "0");
  EXPECT_EQ(Scalar(Cur, "SELECT COUNT(*) FROM SAL_AUDIT"), "1"); // committed by the TRUNCATE
}

TEST_F(Dialect, OnlySystemManagesUsers) {
  EXPECT_EQ(Code(Exec("CREATE USER SCOTT IDENTIFIED BY TIGER")), "ORA-01031");
  TOraSession sys;
  ASSERT_TRUE(Logon(sys, "SYSTEM", "MANAGER"));
  TOraCursor c;
  c.SetSession(&sys);
  auto run = [&](const std::string& sql) {
    std::string err;
    c.OnError = [&](TOraCursor&, const std::string& m) { err = m.substr(0, 9); };
    c.Close();
    return Run(c, sql) ? std::string() : err;
  };
  ASSERT_EQ(run("CREATE USER SCOTT IDENTIFIED BY TIGER DEFAULT TABLESPACE USERS"), "");
  EXPECT_EQ(run("CREATE USER SCOTT IDENTIFIED BY TIGER"), "ORA-01920");
  EXPECT_EQ(run("CREATE USER IF NOT EXISTS SCOTT IDENTIFIED BY PUMA"), ""); // keeps TIGER
  EXPECT_EQ(run("GRANT CONNECT, RESOURCE TO SCOTT"), "");
  EXPECT_EQ(run("GRANT SELECT ON EMP TO SCOTT"), "ORA-00942"); // SYSTEM's schema has no EMP
  ASSERT_EQ(run("CREATE TABLE OWN (A NUMBER)"), "");
  EXPECT_EQ(run("GRANT SELECT ON OWN TO SCOTT"), ""); // the owner grants on its own objects
  TOraSession scott;
  ASSERT_TRUE(Logon(scott, "SCOTT", "tiger"));
  EXPECT_EQ(run("DROP USER SCOTT"), "ORA-01940");
  scott.Disconnect();
  ASSERT_EQ(run("ALTER USER SCOTT IDENTIFIED BY LION"), "");
  EXPECT_FALSE(Logon(scott, "SCOTT", "TIGER"));
  ASSERT_TRUE(Logon(scott, "SCOTT", "LION"));
  TOraCursor sc;
  sc.SetSession(&scott);
  ASSERT_TRUE(Run(sc, "CREATE TABLE MINE (X NUMBER)"));
  EXPECT_EQ(Scalar(sc, "SELECT USERNAME FROM USER_USERS"), "SCOTT");
  sc.Close();
  scott.Disconnect();
  EXPECT_EQ(run("DROP USER SCOTT"), "ORA-01922");
  EXPECT_EQ(run("DROP USER SCOTT CASCADE"), "");
  EXPECT_FALSE(Logon(scott, "SCOTT", "LION"));
  EXPECT_EQ(run("DROP USER SCOTT"), "ORA-01918");
  EXPECT_EQ(run("DROP USER IF EXISTS SCOTT"), "");
  c.Close();
  sys.Disconnect();
}

TEST_F(Dialect, SharedStatementsGiveEachTextItsOwnResultAndError) {
  ASSERT_EQ(Exec("CREATE TABLE S (ID NUMBER(5), NAME VARCHAR2(5), D DATE)"), "");
  // the same shape over and over on one cursor, as data tools send it
  std::vector<std::string> errors;
  const char* rows[] = {"1, 'abc', '2020/01/02'", "2, '', '2020-01-03 10:00:00'",
                        "3, 'toolong', NULL",     "4.5, 'x', 'bad'",
                        "123456, 'x', NULL",      "'7', 'it''s', '20-02-02'",
                        "8, 'ok', SYSDATE"};
  for (const char* r : rows)
    errors.push_back(Code(Exec(std::string(" INSERT INTO S VALUES ( ") + r + ")")));
  EXPECT_EQ(errors,
            (std::vector<std::string>{"", "", "ORA-12899", "ORA-01858", "ORA-01438", "", ""}));
  Ses.DateFormatString = "YYYY/MM/DD";
  EXPECT_EQ(Rows("SELECT ID, NAME, D FROM S WHERE ID < 8 ORDER BY ID"),
            "1|abc|2020/01/02\n2||2020/01/03\n7|it's|2020/02/02\n");
  EXPECT_EQ(Rows("SELECT ID FROM S WHERE NAME IS NULL"), "2\n");
  // literals that make the result's headings, types or order are never shared away
  ASSERT_EQ(Exec("SELECT 'a', ID FROM S WHERE ID = 1"), "");
  EXPECT_EQ(Cur.Fields(0)->Name(), "'A'");
  ASSERT_EQ(Exec("SELECT 'abcdef', ID FROM S WHERE ID = 1"), "");
  EXPECT_EQ(Cur.Fields(0)->Name(), "'ABCDEF'");
  EXPECT_EQ(Cur.Fields(0)->GetAsString(0), "");
  EXPECT_EQ(Rows("SELECT 'abcdef', ID FROM S WHERE ID = 1"), "abcdef|1\n");
  EXPECT_EQ(Rows("SELECT ID, NAME FROM S WHERE ID IN (1, 7) ORDER BY 1"), "1|abc\n7|it's\n");
  EXPECT_EQ(Rows("SELECT ID, NAME FROM S WHERE ID IN (1, 7) ORDER BY 2"), "1|abc\n7|it's\n");
  EXPECT_EQ(Rows("SELECT ID FROM S WHERE ROWNUM <= 1"), "1\n");
  EXPECT_EQ(Rows("SELECT ID FROM S WHERE ROWNUM <= 2"), "1\n2\n");
  // an update by ROWID, as the grid sends it, on the shared path
  std::string r1 = Scalar(Cur, "SELECT ROWID FROM S WHERE ID = 1");
  std::string r7 = Scalar(Cur, "SELECT ROWID FROM S WHERE ID = 7");
  ASSERT_EQ(Exec(" UPDATE S SET NAME = 'one'  WHERE ROWID = '" + r1 + "'"), "");
  ASSERT_EQ(Exec(" UPDATE S SET NAME = 'seven'  WHERE ROWID = '" + r7 + "'"), "");
  EXPECT_EQ(Cur.RowsProcessed(), 1u);
  std::string dept = Scalar(Cur, "SELECT ROWID FROM DEPT WHERE DEPTNO = 10");
  ASSERT_EQ(Exec(" UPDATE S SET NAME = 'x'  WHERE ROWID = '" + dept + "'"), "");
  EXPECT_EQ(Cur.RowsProcessed(), 0u); // another table's ROWID names no row here
  EXPECT_EQ(Code(Exec(" UPDATE S SET NAME = 'x'  WHERE ROWID = 'garbage'")), "ORA-01410");
  EXPECT_EQ(Rows("SELECT NAME FROM S WHERE ID IN (1, 7) ORDER BY ID"), "one\nseven\n");
  // a changed table is read afresh by the next statement of the same shape
  ASSERT_EQ(Exec("ALTER TABLE S ADD (EXTRA VARCHAR2(3) DEFAULT 'e')"), "");
  EXPECT_EQ(Code(Exec(" INSERT INTO S VALUES ( 9, 'a', NULL)")), "ORA-00947");
  EXPECT_EQ(Exec(" INSERT INTO S VALUES ( 9, 'a', NULL, 'z')"), "");
  // a statement prepared before the change never serves after it, from whichever cursor
  TOraCursor before, after;
  before.SetSession(&Ses);
  after.SetSession(&Ses);
  ASSERT_TRUE(Run(before, " INSERT INTO S (NAME) VALUES ('abc')"));
  ASSERT_EQ(Exec("ALTER TABLE S MODIFY (NAME VARCHAR2(10))"), "");
  ASSERT_EQ(Exec(" INSERT INTO S (NAME) VALUES ('abcdefgh')"), "");
  before.Close();
  EXPECT_TRUE(Run(after, " INSERT INTO S (NAME) VALUES ('abcdefghij')")) << after.ErrorText();
  after.Close();
}

TEST_F(Dialect, DataToolStatementsRunAsWritten) {
  // import: text in quotes, numbers as they stand, a date as the session's text
  EXPECT_EQ(Exec(" INSERT INTO EMP VALUES ( 9001,'NEW','CLERK',7902,'1999/09/25',1000,NULL,20)"),
            "");
  EXPECT_EQ(Exec(" INSERT INTO EMP VALUES ( 9002,'','',NULL,'99-09-25',NULL,NULL,NULL)"), "");
  // query builder: every condition quoted, even on a number column
  EXPECT_EQ(Rows(" SELECT * FROM EMP WHERE DEPTNO = '10' AND ENAME = 'KING'  ORDER BY DEPTNO ")
                .substr(0, 10),
            "7839|KING|");
  // dummy data: zero-padded sequence text into a NUMBER, SYSDATE into a DATE
  EXPECT_EQ(Exec(" INSERT INTO EMP VALUES ( 0003,'00003','00003',00003,SYSDATE,3,3,10)"), "");
  EXPECT_EQ(Rows("SELECT EMPNO, ENAME FROM EMP WHERE EMPNO IN (3, 9001, 9002) ORDER BY 1"),
            "3|00003\n9001|NEW\n9002|\n");
  EXPECT_EQ(Exec(" SELECT * FROM EMP"), "");
  EXPECT_EQ(Cur.FieldCount(), 8);
  // the DDL script of a table, statement by statement
  EXPECT_EQ(Exec(" CREATE TABLE EMP2\n (\n                EMPNO   NUMBER,\n                ENAME "
                 "VARCHAR2 (    10 ),\n"
                 "             HIREDATE     DATE\n)"),
            "");
  EXPECT_EQ(Rows("SELECT COLUMN_NAME, DATA_TYPE, DATA_LENGTH FROM COLS WHERE TABLE_NAME = 'EMP2' "
                 "ORDER BY COLUMN_ID"),
            "EMPNO|NUMBER|22\nENAME|VARCHAR2|10\nHIREDATE|DATE|7\n");
  EXPECT_EQ(Exec(" DROP TABLE EMP2 "), "");
}

// MERGE counts the rows it updated and inserted; a row its DELETE WHERE then removes was counted
// when it was updated.
TEST_F(Dialect, MergeCountsUpdatedAndInsertedRows) {
  ASSERT_EQ(Exec("CREATE TABLE BONUSES (EMPLOYEE_ID NUMBER, BONUS NUMBER DEFAULT 100)"), "");
  ASSERT_EQ(Exec("INSERT INTO BONUSES (EMPLOYEE_ID) SELECT EMPNO FROM EMP WHERE JOB = 'CLERK' OR "
                 "ENAME IN ('JONES', 'SCOTT')"),
            "");
  EXPECT_EQ(Cur.RowsProcessed(), 6u);
  ASSERT_EQ(Exec("MERGE INTO BONUSES D USING (SELECT EMPNO, SAL FROM EMP WHERE DEPTNO = 20) S "
                 "ON (D.EMPLOYEE_ID = S.EMPNO) WHEN MATCHED THEN UPDATE SET D.BONUS = D.BONUS + 1 "
                 "DELETE WHERE (S.SAL > 2900) WHEN NOT MATCHED THEN INSERT VALUES (S.EMPNO, 0)"),
            "");
  // SMITH, JONES, SCOTT and ADAMS updated (JONES and SCOTT then deleted), FORD inserted
  EXPECT_EQ(Cur.RowsProcessed(), 5u);
  EXPECT_EQ(
      Rows("SELECT EMPLOYEE_ID, BONUS FROM BONUSES WHERE EMPLOYEE_ID IN (7369, 7566, 7788, 7876, "
           "7902) ORDER BY 1"),
      "7369|101\n7876|101\n7902|0\n");
}

// A VALUES list of rows counts each row; UPDATE and DELETE joined to other tables count each
// target row once, however many rows of the others it meets.
TEST_F(Dialect, RowsOfValuesAndJoinedChangesAreCountedOnce) {
  ASSERT_EQ(Exec("CREATE TABLE PAIRS (A NUMBER, B VARCHAR2(5))"), "");
  ASSERT_EQ(Exec("INSERT INTO PAIRS VALUES (1, 'x'), (2, 'y'), (3, NULL)"), "");
  EXPECT_EQ(Cur.RowsProcessed(), 3u);
  EXPECT_EQ(Rows("SELECT COUNT(*), COUNT(B) FROM PAIRS"), "3|2\n");
  // a failing row takes the rows before it back with it
  EXPECT_NE(Exec("INSERT INTO PAIRS VALUES (4, 'ok'), (5, 'much too long')"), "");
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM PAIRS"), "3\n");
  // DALLAS has five employees, three of them over 2900: two departments change
  ASSERT_EQ(Exec("UPDATE DEPT D SET D.LOC = D.LOC || '+' FROM EMP E WHERE E.DEPTNO = D.DEPTNO AND "
                 "E.SAL > 2900"),
            "");
  EXPECT_EQ(Cur.RowsProcessed(), 2u);
  ASSERT_EQ(Exec("UPDATE EMP E SET E.SAL = E.SAL + 1 FROM DEPT D WHERE E.DEPTNO = D.DEPTNO AND "
                 "D.DEPTNO = 20"),
            "");
  EXPECT_EQ(Cur.RowsProcessed(), 5u);
  ASSERT_EQ(
      Exec("DELETE EMP E FROM DEPT D, SALGRADE G WHERE E.DEPTNO = D.DEPTNO AND D.DEPTNO = 30"), "");
  EXPECT_EQ(Cur.RowsProcessed(), 6u);
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM EMP"), "8\n");
}

// The rows of a temporary table kept ON COMMIT PRESERVE ROWS last until the session ends and
// belong to it alone: another session of the same user neither sees them nor clears them.
TEST_F(Dialect, TemporaryTableRowsEndWithTheSession) {
  TOraSession other;
  ASSERT_TRUE(Logon(other, "DEMO", "DEMO"));
  TOraCursor oc;
  oc.SetSession(&other);
  EXPECT_EQ(Scalar(oc, "SELECT COUNT(*) FROM DEPT"), "4");
  ASSERT_EQ(Exec("CREATE GLOBAL TEMPORARY TABLE KEEP (A NUMBER) ON COMMIT PRESERVE ROWS"), "");
  ASSERT_EQ(Exec("INSERT INTO KEEP SELECT EMPNO FROM EMP"), "");
  ASSERT_TRUE(Ses.Commit());
  EXPECT_EQ(Scalar(Cur, "SELECT COUNT(*) FROM KEEP"), "14");
  // the other session was there before the table: it gets its own empty one
  EXPECT_EQ(Scalar(oc, "SELECT COUNT(*) FROM KEEP"), "0");
  oc.Close();
  ASSERT_TRUE(Run(oc, "INSERT INTO KEEP VALUES (1)"));
  ASSERT_TRUE(other.Commit());
  EXPECT_EQ(Scalar(oc, "SELECT COUNT(*) FROM KEEP"), "1");
  oc.Close();
  other.Disconnect();
  EXPECT_EQ(Scalar(Cur, "SELECT COUNT(*) FROM KEEP"), "14");
  Cur.Close();
  Ses.Disconnect();
  ASSERT_TRUE(Logon(Ses, "DEMO", "DEMO"));
  Cur.SetSession(&Ses);
  EXPECT_EQ(Scalar(Cur, "SELECT COUNT(*) FROM KEEP"), "0");
  EXPECT_EQ(Scalar(Cur, "SELECT TEMPORARY || DURATION FROM USER_TABLES WHERE TABLE_NAME = 'KEEP'"),
            "YSYS$SESSION");
  // dropped, its name is free for a table of any kind
  ASSERT_EQ(Exec("DROP TABLE KEEP"), "");
  ASSERT_EQ(Exec("CREATE TABLE KEEP (B VARCHAR2(5))"), "");
  ASSERT_EQ(Exec("INSERT INTO KEEP VALUES ('x')"), "");
  EXPECT_EQ(Scalar(Cur, "SELECT B FROM KEEP"), "x");
}

// A view of the dictionary reads each session's own dictionary rows when that session uses it:
// another session made before the view sees it too, and so does a new logon.
TEST_F(Dialect, DictionaryViewsServeEverySession) {
  TOraSession other;
  ASSERT_TRUE(Logon(other, "DEMO", "DEMO"));
  TOraCursor oc;
  oc.SetSession(&other);
  EXPECT_EQ(Scalar(oc, "SELECT COUNT(*) FROM DEPT"), "4");
  ASSERT_EQ(Exec("CREATE VIEW MY_TABS AS SELECT TABLE_NAME FROM USER_TABLES"), "");
  EXPECT_EQ(Scalar(Cur, "SELECT COUNT(*) FROM MY_TABS WHERE TABLE_NAME = 'EMP'"), "1");
  oc.Close();
  ASSERT_TRUE(Run(oc, "CREATE TABLE SEEN_T (A NUMBER)"));
  oc.Close();
  EXPECT_EQ(Scalar(oc, "SELECT COUNT(*) FROM MY_TABS WHERE TABLE_NAME = 'SEEN_T'"), "1");
  Cur.Close();
  EXPECT_EQ(Scalar(Cur, "SELECT COUNT(*) FROM MY_TABS WHERE TABLE_NAME = 'SEEN_T'"), "1");
  oc.Close();
  other.Disconnect();
  Cur.Close();
  Ses.Disconnect();
  ASSERT_TRUE(Logon(Ses, "DEMO", "DEMO"));
  Cur.SetSession(&Ses);
  EXPECT_EQ(Scalar(Cur, "SELECT STATUS FROM USER_OBJECTS WHERE OBJECT_NAME = 'MY_TABS'"), "VALID");
  EXPECT_EQ(Scalar(Cur, "SELECT COUNT(*) FROM MY_TABS WHERE TABLE_NAME IN ('SEEN_T', 'DEPT')"),
            "2");
  // the dictionary is read, never written, through such a view
  EXPECT_NE(Exec("DELETE FROM MY_TABS"), "");
  EXPECT_EQ(Scalar(Cur, "SELECT COUNT(*) FROM USER_TABLES WHERE TABLE_NAME = 'SEEN_T'"), "1");
}

// What one session learned of the schema's functions is not kept past another session's CREATE:
// the names read for one statement serve the next only while no other connection has written.
TEST_F(Dialect, StoredFunctionsOfAnotherSessionAreSeen) {
  TOraSession other;
  ASSERT_TRUE(Logon(other, "DEMO", "DEMO"));
  TOraCursor oc;
  oc.SetSession(&other);
  EXPECT_NE(Exec("SELECT TWICE(2) FROM DUAL").find("ORA-00904"), std::string::npos);
  EXPECT_NE(Exec("SELECT ANSWER FROM DUAL").find("ORA-00904"), std::string::npos);
  ASSERT_TRUE(Run(oc, "CREATE FUNCTION TWICE(N NUMBER) RETURN NUMBER IS BEGIN RETURN N * 2; END;"));
  oc.Close();
  ASSERT_TRUE(Run(oc, "CREATE FUNCTION ANSWER RETURN NUMBER IS BEGIN RETURN 42; END;"));
  oc.Close();
  EXPECT_EQ(Rows("SELECT TWICE(2), ANSWER FROM DUAL"), "4|42\n");
  ASSERT_TRUE(Run(oc, "DROP FUNCTION ANSWER"));
  oc.Close();
  EXPECT_NE(Exec("SELECT ANSWER FROM DUAL").find("ORA-00904"), std::string::npos);
  // this session's own DDL is seen at once
  ASSERT_EQ(Exec("CREATE FUNCTION ANSWER RETURN VARCHAR2 IS BEGIN RETURN 'yes'; END;"), "");
  EXPECT_EQ(Rows("SELECT ANSWER || '!' FROM DUAL"), "yes!\n");
  oc.Close();
  other.Disconnect();
}

} // namespace
