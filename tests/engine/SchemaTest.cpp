// The data dictionary and stored objects, read with the very texts the windows send.
#include "EngineFixture.h"

namespace {

using Schema = Engine;

TEST_F(Schema, TreeCategoriesListEveryKindOfObject) {
  EXPECT_EQ(Rows("SELECT TABLE_NAME FROM USER_TABLES "),
            "BONUS\nDEPT\nEMP\nEMP_BADGE\nEMP_NOTE\nSALGRADE\nSAL_AUDIT\n");
  EXPECT_EQ(Rows("SELECT VIEW_NAME FROM USER_VIEWS"), "EMP_DEPT_V\n");
  EXPECT_EQ(LongText("SELECT VIEW_NAME, TEXT   FROM USER_VIEWS      ", 1),
            "SELECT E.EMPNO, E.ENAME, D.DNAME FROM EMP E, DEPT D WHERE E.DEPTNO = D.DEPTNO");
  EXPECT_EQ(Rows("SELECT TRIGGER_NAME FROM USER_TRIGGERS "), "EMP_SAL_AUDIT\n");
  EXPECT_EQ(Rows("SELECT DISTINCT NAME FROM USER_SOURCE   WHERE TYPE='PACKAGE'"), "EMP_PKG\n");
  EXPECT_EQ(Rows("SELECT DISTINCT NAME FROM USER_SOURCE   WHERE TYPE='PROCEDURE'"), "RAISE_SAL\n");
  EXPECT_EQ(Rows("SELECT DISTINCT NAME FROM USER_SOURCE   WHERE TYPE='FUNCTION'"), "ANNUAL_SAL\n");
  EXPECT_EQ(Rows("SELECT   COLUMN_NAME                   FROM  COLS                          WHERE "
                 "TABLE_NAME = 'EMP_DEPT_V'         "),
            "EMPNO\nENAME\nDNAME\n");
  EXPECT_EQ(Rows("SELECT COLUMN_NAME FROM COLS WHERE TABLE_NAME = 'DEPT'"), "DEPTNO\nDNAME\nLOC\n");
  // nothing the engine keeps for itself shows
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM USER_OBJECTS WHERE OBJECT_NAME LIKE 'TESSEL%' OR "
                 "OBJECT_NAME LIKE 'sqlite%'"),
            "0\n");
  EXPECT_EQ(Exec("SELECT * FROM TESSEL$OBJECTS").substr(0, 9), "ORA-00942");
}

TEST_F(Schema, PropertyQueriesGiveStorageColumnsKeysAndSource) {
  EXPECT_EQ(Rows(" SELECT TABLE_NAME, TABLESPACE_NAME, INITIAL_EXTENT, NEXT_EXTENT,         "
                 "PCT_INCREASE, MIN_EXTENTS, MAX_EXTENTS, PCT_FREE, PCT_USED    FROM  USER_TABLES  "
                 "  WHERE TABLE_NAME = 'EMP'"),
            "EMP|USERS|10240|10240|50|1|121|10|40\n");
  std::string columns =
      " SELECT A.TABLE_NAME, A.COLUMN_NAME, A.DATA_TYPE, A.DATA_LENGTH,         A.DATA_SCALE, "
      "A.DATA_PRECISION , A.NULLABLE, DECODE(D.TABLE_NAME, NULL, '', 'UI')   FROM "
      "SYS.USER_TAB_COLUMNS A,      ( SELECT B.TABLE_NAME, B.COLUMN_NAME FROM USER_IND_COLUMNS B, "
      "USER_INDEXES C           WHERE B.TABLE_NAME = C.TABLE_NAME             AND B.INDEX_NAME = "
      "C.INDEX_NAME             AND C.UNIQUENESS = 'UNIQUE'       ) D   WHERE A.TABLE_NAME = '%s'  "
      "  AND A.TABLE_NAME = D.TABLE_NAME (+)     AND A.COLUMN_NAME = D.COLUMN_NAME (+)  ORDER BY "
      "A.COLUMN_ID ";
  auto forTable = [&](const std::string& t) {
    std::string q = columns;
    q.replace(q.find("%s"), 2, t);
    return Rows(q);
  };
  EXPECT_EQ(forTable("EMP"), "EMP|EMPNO|NUMBER|22|0|4|N|UI\n"
                             "EMP|ENAME|VARCHAR2|10|||Y|\n"
                             "EMP|JOB|VARCHAR2|9|||Y|\n"
                             "EMP|MGR|NUMBER|22|0|4|Y|\n"
                             "EMP|HIREDATE|DATE|7|||Y|\n"
                             "EMP|SAL|NUMBER|22|2|7|Y|\n"
                             "EMP|COMM|NUMBER|22|2|7|Y|\n"
                             "EMP|DEPTNO|NUMBER|22|0|2|Y|\n");
  EXPECT_EQ(forTable("DEPT").substr(0, 31), "DEPT|DEPTNO|NUMBER|22|0|2|N|UI\n");
  EXPECT_EQ(forTable("EMP_NOTE"), "EMP_NOTE|EMPNO|NUMBER|22|0|4|N|UI\nEMP_NOTE|NOTE|LONG|0|||Y|\n");
  EXPECT_EQ(forTable("NO_SUCH"), "");

  EXPECT_EQ(LongText(" SELECT TEXT FROM USER_VIEWS    WHERE VIEW_NAME = 'EMP_DEPT_V'", 0),
            "SELECT E.EMPNO, E.ENAME, D.DNAME FROM EMP E, DEPT D WHERE E.DEPTNO = D.DEPTNO");
  std::string trigger = " SELECT TRIGGER_TYPE, TRIGGERING_EVENT, TABLE_OWNER,         TRIGGER_BODY "
                        "FROM USER_TRIGGERS    WHERE TRIGGER_NAME = 'EMP_SAL_AUDIT'";
  EXPECT_EQ(Rows("SELECT TRIGGER_TYPE, TRIGGERING_EVENT, TABLE_OWNER, TABLE_NAME, STATUS FROM "
                 "USER_TRIGGERS"),
            "AFTER EACH ROW|UPDATE|DEMO|EMP|ENABLED\n");
  EXPECT_EQ(LongText(trigger, 3),
            "BEGIN\n  INSERT INTO SAL_AUDIT (EMPNO, OLD_SAL, NEW_SAL, CHANGED)\n"
            "  VALUES (:OLD.EMPNO, :OLD.SAL, :NEW.SAL, SYSDATE);\nEND;\n");
  std::string body = Rows(
      " SELECT LINE, TEXT FROM USER_SOURCE   WHERE NAME = 'EMP_PKG'     AND TYPE = 'PACKAGE BODY'");
  // each line's text ends with its line feed
  EXPECT_EQ(body.substr(0, 27), "1|PACKAGE BODY EMP_PKG AS\n\n");
  EXPECT_NE(body.find("\n14|END EMP_PKG;\n\n"), std::string::npos) << body;
  EXPECT_EQ(Rows(" SELECT LINE, TEXT FROM USER_SOURCE   WHERE NAME = 'ANNUAL_SAL'     AND TYPE = "
                 "'FUNCTION'")
                .substr(0, 59),
            "1|FUNCTION ANNUAL_SAL(P_EMPNO IN NUMBER) RETURN NUMBER IS\n\n");
}

} // namespace
