// The embedded engine as the access layer reaches it: SQL, Oracle types, transactions, files.
#include "EngineFixture.h"

#include <chrono>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace {

// A LONG value read piece by piece with FetchLong; a failing piece ends it with a marker.
std::string WholeLong(TOraCursor& c, TOraCustomLongField* f) {
  std::string got;
  for (int off = 0;;) {
    if (!c.FetchLong(f, off))
      return got + "<FetchLong failed>";
    if (f->LongLength() == 0)
      return got;
    got.append(reinterpret_cast<const char*>(f->Buffer()), f->LongLength());
    off += static_cast<int>(f->LongLength());
  }
}

TEST_F(Engine, DefaultDatabaseHasDemoDataPrivateFilesAndHashedPasswords) {
  EXPECT_EQ(Scalar(Cur, "SELECT COUNT(*) FROM EMP"), "14");
  EXPECT_EQ(Scalar(Cur, "SELECT COUNT(*) FROM DEPT"), "4");
  Ses.DateFormatString = "YYYY/MM/DD";
  EXPECT_EQ(
      Rows("SELECT EMPNO, ENAME, JOB, HIREDATE, SAL, COMM, DEPTNO FROM EMP WHERE ENAME = 'SMITH'"),
      "7369|SMITH|CLERK|1980/12/17|800||20\n");
  EXPECT_EQ(Rows("SELECT DNAME, LOC FROM DEPT WHERE DEPTNO = 30"), "SALES|CHICAGO\n");

  struct stat st {};
  ASSERT_EQ(stat(DbFolder().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  for (auto& e : std::filesystem::directory_iterator(DbFolder())) {
    ASSERT_EQ(stat(e.path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 077, 0u) << e.path();
  }
  std::ifstream sys(DbFolder() + "/system.db", std::ios::binary);
  std::stringstream all;
  all << sys.rdbuf();
  EXPECT_EQ(all.str().find("MANAGER"), std::string::npos);
  EXPECT_NE(all.str().find("$argon2"), std::string::npos);

  TOraSession other;
  EXPECT_FALSE(Logon(other, "DEMO", "WRONG"));
  EXPECT_EQ(other.ReturnCode(), 1017);
  EXPECT_FALSE(Logon(other, "NOBODY", "DEMO"));
  EXPECT_EQ(other.ReturnCode(), 1017);
  other.UserHost = DataHome; // a folder, but not a database
  EXPECT_FALSE(Logon(other, "DEMO", "DEMO"));
  EXPECT_EQ(other.ReturnCode(), 12154);
  other.UserHost = DbFolder();
  EXPECT_TRUE(Logon(other, "demo/demo", ""));
  other.Disconnect();
  other.UserHost.clear();
  EXPECT_TRUE(Logon(other, "SYSTEM", "MANAGER"));
}

TEST_F(Engine, ValuesKeepTheirColumnTypes) {
  ASSERT_EQ(Exec("CREATE TABLE T (N NUMBER(7,2), I NUMBER(3), V VARCHAR2(5), C CHAR(4), "
                 "D DATE, BIG NUMBER, R RAW(2), K NUMBER(4) NOT NULL UNIQUE)"),
            "");
  EXPECT_EQ(Exec("INSERT INTO T (K, N, I) VALUES (1, 1.005, '12.5')"), "");
  EXPECT_EQ(Rows("SELECT N, I FROM T WHERE K = 1"), "1.01|13\n");
  EXPECT_EQ(Exec("INSERT INTO T (K, N) VALUES (2, 'abc')").substr(0, 9), "ORA-01722");
  EXPECT_EQ(Exec("INSERT INTO T (K, N) VALUES (2, 100000)").substr(0, 9), "ORA-01438");
  EXPECT_EQ(Exec("INSERT INTO T (K, N) VALUES (2, 99999.994)"), "");
  EXPECT_EQ(Exec("INSERT INTO T (K, V) VALUES (3, 'abcdef')").substr(0, 9), "ORA-12899");
  EXPECT_EQ(Exec("INSERT INTO T (K, V) VALUES (3, 'abcde')"), "");
  EXPECT_EQ(Exec("INSERT INTO T (N) VALUES (1)").substr(0, 9), "ORA-01400");
  EXPECT_EQ(Exec("INSERT INTO T (K) VALUES (1)").substr(0, 9), "ORA-00001");
  EXPECT_EQ(Exec("UPDATE T SET K = NULL").substr(0, 9), "ORA-01407");
  EXPECT_EQ(Exec("INSERT INTO T (K, V, C) VALUES (4, '', 'ab')"), "");
  EXPECT_EQ(Scalar(Cur, "SELECT COUNT(*) FROM T WHERE V IS NULL AND K = 4"), "1");
  EXPECT_EQ(Rows("SELECT C || '.' FROM T WHERE K = 4"), "ab  .\n");
  EXPECT_EQ(Exec("INSERT INTO T (K, BIG) VALUES (5, 123456789012345678)"), "");
  EXPECT_EQ(Scalar(Cur, "SELECT BIG FROM T WHERE K = 5"), "123456789012345678");
  EXPECT_EQ(Exec("INSERT INTO T (K, R) VALUES (6, 'ABCD')"), "");
  EXPECT_EQ(Exec("INSERT INTO T (K, R) VALUES (7, 'ABCDEF')").substr(0, 9), "ORA-12899");
  EXPECT_EQ(Exec("INSERT INTO T (K, R) VALUES (7, 'XYZ')").substr(0, 9), "ORA-01465");

  // Text into DATE: the usual forms, and Oracle's errors for the rest.
  Ses.DateFormatString = "YYYY/MM/DD HH:NN:SS";
  EXPECT_EQ(Exec("INSERT INTO T (K, D) VALUES (10, '2001/02/03 04:05:06')"), "");
  EXPECT_EQ(Exec("INSERT INTO T (K, D) VALUES (11, '2001-02-03')"), "");
  EXPECT_EQ(Exec("INSERT INTO T (K, D) VALUES (12, '99-01-02')"), "");
  EXPECT_EQ(Exec("INSERT INTO T (K, D) VALUES (13, '20-01-02')"), "");
  EXPECT_EQ(Rows("SELECT D FROM T WHERE K >= 10 ORDER BY K"),
            "2001/02/03 04:05:06\n2001/02/03 00:00:00\n1999/01/02 00:00:00\n2020/01/02 00:00:00\n");
  EXPECT_EQ(Exec("INSERT INTO T (K, D) VALUES (14, 'yesterday')").substr(0, 9), "ORA-01858");
  EXPECT_EQ(Exec("INSERT INTO T (K, D) VALUES (14, '2001-13-01')").substr(0, 9), "ORA-01843");
  EXPECT_EQ(Exec("INSERT INTO T (K, D) VALUES (14, '2001-02-30')").substr(0, 9), "ORA-01839");
  EXPECT_EQ(Exec("INSERT INTO T (K, D) VALUES (14, 5)").substr(0, 9), "ORA-00932");
  EXPECT_EQ(Scalar(Cur, "SELECT COUNT(*) FROM T WHERE D > '2001-01-01'"), "3");

  // INSERT ... SELECT converts the same way, and a failing row fails the whole statement.
  EXPECT_EQ(Exec("INSERT INTO T (K, V) SELECT EMPNO, JOB FROM EMP WHERE DEPTNO = 10").substr(0, 9),
            "ORA-12899");
  EXPECT_EQ(
      Exec("INSERT INTO T (K, V) SELECT EMPNO, ENAME FROM EMP WHERE ENAME IN ('KING', 'FORD')"),
      "");
  EXPECT_EQ(Exec("INSERT INTO T (K) VALUES (1, 2)").substr(0, 9), "ORA-00913");
  EXPECT_EQ(Exec("INSERT INTO T (K, N) VALUES (1)").substr(0, 9), "ORA-00947");
  EXPECT_EQ(Exec("INSERT INTO T (NOPE) VALUES (1)").substr(0, 9), "ORA-00904");
}

TEST_F(Engine, StatementTypesDescribeAndDialect) {
  struct {
    const char* sql;
    int type;
  } cases[] = {{"SELECT * FROM DEPT", 4},
               {"INSERT INTO DEPT VALUES (50, 'A', 'B')", 3},
               {"UPDATE DEPT SET LOC = 'X' WHERE DEPTNO = 50", 5},
               {"DELETE FROM DEPT WHERE DEPTNO = 50", 9},
               {"CREATE TABLE X1 (A NUMBER)", 1},
               {"CREATE INDEX X1_I ON X1 (A)", 20},
               {"DROP INDEX X1_I", 21},
               {"TRUNCATE TABLE X1", 85},
               {"DROP TABLE X1", 8},
               {"COMMIT", 54},
               {"ROLLBACK WORK", 55}};
  for (auto& c : cases) {
    EXPECT_EQ(Exec(c.sql), "") << c.sql;
    EXPECT_EQ(Cur.StatementType(), c.type) << c.sql;
  }
  ASSERT_EQ(Exec("CREATE TABLE KINDS (V VARCHAR2(20), N NUMBER(9,3), D DATE, C CHAR(3), R RAW(8), "
                 "L LONG)"),
            "");
  ASSERT_EQ(Exec("SELECT K.*, ROWID, N * 2, SYSDATE, 'abc' lit FROM kinds k"), "");
  // a text literal is CHAR, as Oracle describes it
  const uint8_t kinds[] = {0, 1, 3, 4, 5, 6, 0, 1, 3, 4};
  const char* names[] = {"V", "N", "D", "C", "R", "L", "ROWID", "N*2", "SYSDATE", "LIT"};
  ASSERT_EQ(Cur.FieldCount(), 10);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(Cur.Fields(i)->FieldKind(), kinds[i]) << i;
    EXPECT_EQ(Cur.Fields(i)->Name(), names[i]) << i;
  }
  auto* n = static_cast<TOraNumberField*>(Cur.Fields(1));
  EXPECT_EQ(n->Precision(), 9);
  EXPECT_EQ(n->Scale(), 3);
  EXPECT_EQ(static_cast<TOraField*>(Cur.Fields(0))->DisplaySize(), 20);
  EXPECT_EQ(static_cast<TOraField*>(Cur.Fields(1))->DisplaySize(), 11);
  EXPECT_EQ(Cur.Fields(0)->Width(), 3 * 20 + 1); // room for the UTF-8 form of 20 Shift-JIS bytes

  // Calls take the type of the column they work on.
  ASSERT_EQ(Exec("SELECT MAX(HIREDATE), MIN(E.SAL), NVL(MAX(COMM), 0), MAX(ENAME) FROM EMP E"), "");
  EXPECT_EQ(Cur.Fields(0)->FieldKind(), 3);
  EXPECT_EQ(Cur.Fields(1)->FieldKind(), 1);
  EXPECT_EQ(Cur.Fields(2)->FieldKind(), 1);
  EXPECT_EQ(Cur.Fields(3)->FieldKind(), 0);
  EXPECT_EQ(static_cast<TOraField*>(Cur.Fields(3))->DisplaySize(), 10);
  EXPECT_EQ(Scalar(Cur, "select dummy from dual"), "X");
  EXPECT_EQ(Exec("SELECT * FROM DEPT;").substr(0, 9), "ORA-00911");
  EXPECT_EQ(Exec("AUDIT ALL").substr(0, 9), "ORA-01031"); // statement auditing needs AUDIT SYSTEM
  EXPECT_EQ(Exec("SELECT ENAME JOB DEPTNO FROM EMP").substr(0, 9), "ORA-00923");
  EXPECT_EQ(Exec("SELECT \"NOPE\" FROM EMP").substr(0, 9), "ORA-00904");
  EXPECT_EQ(Exec("SELECT * FROM TESSEL$OBJECTS").substr(0, 9), "ORA-00942");
  EXPECT_EQ(Exec("CREATE TABLE DEPT (A NUMBER)").substr(0, 9), "ORA-00955");
  EXPECT_EQ(Exec("CREATE TABLE Y (A VARCHAR2)").substr(0, 9), "ORA-00906");
  EXPECT_EQ(Exec("CREATE TABLE Y (A NUMBER, B LONG, C LONG RAW)").substr(0, 9), "ORA-01754");
  EXPECT_EQ(Exec("CREATE TABLE \"lower\" (\"a\" NUMBER)"), "");
  EXPECT_EQ(Exec("INSERT INTO \"lower\" VALUES (7)"), "");
  EXPECT_EQ(Scalar(Cur, "SELECT \"a\" FROM DEMO.\"lower\""), "7");
  EXPECT_EQ(Exec("SELECT * FROM OTHER.EMP").substr(0, 9), "ORA-00942");
  EXPECT_EQ(Rows("SELECT ENAME FROM EMP WHERE SAL != 800 AND DEPTNO = 20 AND ENAME LIKE 'J%'"),
            "JONES\n");
  // Words Oracle does not reserve work as names; as keywords they still work in their clauses.
  EXPECT_EQ(Exec("CREATE TABLE SOFT (KEY NUMBER PRIMARY KEY, FIRST VARCHAR2(5), LEFT NUMBER)"), "");
  EXPECT_EQ(Exec("INSERT INTO SOFT (KEY, FIRST) VALUES (1, 'a')"), "");
  EXPECT_EQ(Exec("INSERT INTO SOFT (KEY, LEFT) VALUES (2, 7)"), "");
  EXPECT_EQ(Rows("SELECT KEY, FIRST LAST FROM SOFT ORDER BY FIRST NULLS FIRST"), "2|\n1|a\n");
  EXPECT_EQ(
      Rows(
          "SELECT D.DNAME, COUNT(E.EMPNO) FROM DEPT D LEFT OUTER JOIN EMP E ON E.DEPTNO = D.DEPTNO "
          "WHERE D.DEPTNO >= 30 GROUP BY D.DNAME ORDER BY 1"),
      "OPERATIONS|0\nSALES|6\n");
}

TEST_F(Engine, RowidNamesOneRowForItsWholeLife) {
  ASSERT_EQ(Exec("SELECT ROWID, ENAME FROM EMP WHERE EMPNO = 7788"), "");
  ASSERT_TRUE(Cur.Fetch());
  std::string rowid = Cur.Fields(0)->GetAsString(0);
  EXPECT_EQ(rowid.size(), 18u);
  EXPECT_EQ(Exec("DELETE FROM EMP WHERE EMPNO < 7700"), "");
  EXPECT_EQ(Exec("INSERT INTO EMP (EMPNO, ENAME) VALUES (1, 'NEW')"), "");
  EXPECT_EQ(Exec("UPDATE EMP SET SAL = 1234 WHERE ROWID = '" + rowid + "'"), "");
  EXPECT_EQ(Cur.RowsProcessed(), 1u);
  EXPECT_EQ(Rows("SELECT ENAME, SAL FROM EMP WHERE SAL = 1234"), "SCOTT|1234\n");
  EXPECT_EQ(Scalar(Cur, "SELECT E.ENAME FROM EMP E WHERE E.ROWID = '" + rowid + "'"), "SCOTT");
  EXPECT_EQ(
      Scalar(Cur,
             "SELECT COUNT(*) FROM EMP WHERE ROWID = (SELECT ROWID FROM EMP WHERE EMPNO = 7788)"),
      "1");
  // Another table's ROWID finds nothing here; a malformed one is an error.
  ASSERT_EQ(Exec("SELECT ROWID FROM DEPT WHERE DEPTNO = 10"), "");
  ASSERT_TRUE(Cur.Fetch());
  std::string deptRowid = Cur.Fields(0)->GetAsString(0);
  EXPECT_EQ(Scalar(Cur, "SELECT COUNT(*) FROM EMP WHERE ROWID = '" + deptRowid + "'"), "0");
  EXPECT_EQ(Exec("DELETE FROM EMP WHERE ROWID = 'nonsense'").substr(0, 9), "ORA-01410");
}

TEST_F(Engine, TransactionsIsolateCommitAndLock) {
  TOraSession other;
  ASSERT_TRUE(Logon(other, "DEMO", "DEMO"));
  TOraCursor oc;
  oc.SetSession(&other);

  ASSERT_EQ(Exec("INSERT INTO DEPT VALUES (50, 'NEW', 'HERE')"), "");
  EXPECT_EQ(Scalar(oc, "SELECT COUNT(*) FROM DEPT"), "4");
  EXPECT_EQ(Scalar(Cur, "SELECT COUNT(*) FROM DEPT"), "5");

  // A second writer waits briefly, then gives up without harm.
  auto t0 = std::chrono::steady_clock::now();
  oc.SQL() = {"INSERT INTO DEPT VALUES (60, 'B', 'C')"};
  ASSERT_TRUE(oc.Open() && oc.ParseQuiet());
  EXPECT_FALSE(oc.Exec());
  EXPECT_EQ(oc.ReturnCode(), 54);
  EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(500));
  oc.Close();

  ASSERT_TRUE(Ses.Commit());
  EXPECT_EQ(Scalar(oc, "SELECT COUNT(*) FROM DEPT"), "5");

  // A failing statement undoes only itself; rollback undoes the rest.
  ASSERT_EQ(Exec("INSERT INTO DEPT VALUES (61, 'A', 'B')"), "");
  EXPECT_EQ(Exec("INSERT INTO DEPT VALUES (61, 'A', 'B')").substr(0, 9), "ORA-00001");
  EXPECT_EQ(Scalar(Cur, "SELECT COUNT(*) FROM DEPT WHERE DEPTNO = 61"), "1");
  ASSERT_TRUE(Ses.Rollback());
  EXPECT_EQ(Scalar(Cur, "SELECT COUNT(*) FROM DEPT WHERE DEPTNO = 61"), "0");

  // DDL commits what was pending; so does a normal logoff.
  ASSERT_EQ(Exec("INSERT INTO DEPT VALUES (62, 'A', 'B')"), "");
  ASSERT_EQ(Exec("CREATE TABLE AFTER_DDL (A NUMBER)"), "");
  ASSERT_TRUE(Ses.Rollback());
  EXPECT_EQ(Scalar(oc, "SELECT COUNT(*) FROM DEPT WHERE DEPTNO = 62"), "1");
  ASSERT_EQ(Exec("INSERT INTO DEPT VALUES (63, 'A', 'B')"), "");
  Cur.Close();
  ASSERT_TRUE(Ses.Disconnect());
  EXPECT_EQ(Scalar(oc, "SELECT COUNT(*) FROM DEPT WHERE DEPTNO = 63"), "1");
  ASSERT_TRUE(Logon(Ses, "DEMO", "DEMO"));

  // Parent and child keys hold across statements.
  EXPECT_EQ(Exec("INSERT INTO EMP (EMPNO, DEPTNO) VALUES (1, 99)").substr(0, 9), "ORA-02291");
  EXPECT_EQ(Exec("DELETE FROM DEPT WHERE DEPTNO = 10").substr(0, 9), "ORA-02292");
}

// A statement executed again without a new parse runs with the literals of its own text; texts
// of the same shape on two cursors each keep theirs, long texts included.
TEST_F(Engine, RepeatedExecutionsKeepTheirOwnLiterals) {
  ASSERT_EQ(Exec("CREATE TABLE RX (K NUMBER(4) PRIMARY KEY, V VARCHAR2(60), N NUMBER(6,2))"), "");
  Cur.Close();
  TOraCursor other;
  other.SetSession(&Ses);
  ASSERT_TRUE(Cur.Open() && other.Open());
  auto parse = [](TOraCursor& c, const std::string& sql) {
    c.SQL() = {sql};
    return c.ParseQuiet();
  };
  const std::string one(40, 'a'), two(40, 'b'), three(40, 'c'), four(40, 'd');

  ASSERT_TRUE(parse(Cur, "INSERT INTO RX VALUES (1, '" + one + "', 1.25)"));
  EXPECT_TRUE(Cur.Exec());
  EXPECT_FALSE(Cur.Exec()); // the same key again
  EXPECT_EQ(Cur.ReturnCode(), 1);

  // the same shape on two cursors at once: one shared translation, two sets of literals
  ASSERT_TRUE(parse(Cur, "INSERT INTO RX VALUES (2, '" + two + "', 2.5)"));
  ASSERT_TRUE(parse(other, "INSERT INTO RX VALUES (3, '" + three + "', 3.75)"));
  EXPECT_TRUE(other.Exec());
  EXPECT_TRUE(Cur.Exec());
  EXPECT_FALSE(other.Exec());
  EXPECT_EQ(other.ReturnCode(), 1);

  // a value that does not fit fails each time it runs, and leaves the next text unharmed
  ASSERT_TRUE(parse(Cur, "INSERT INTO RX VALUES (4, '" + four + "', 10000)"));
  EXPECT_FALSE(Cur.Exec());
  EXPECT_EQ(Cur.ReturnCode(), 1438);
  EXPECT_FALSE(Cur.Exec());
  EXPECT_EQ(Cur.ReturnCode(), 1438);
  ASSERT_TRUE(parse(Cur, "INSERT INTO RX VALUES (4, '" + four + four + "', 4)"));
  EXPECT_FALSE(Cur.Exec());
  EXPECT_EQ(Cur.ReturnCode(), 12899);
  ASSERT_TRUE(parse(Cur, "INSERT INTO RX VALUES (4, '" + four + "', 9999.99)"));
  EXPECT_TRUE(Cur.Exec());

  ASSERT_TRUE(parse(other, "UPDATE RX SET V = V || 'x', N = N + 0.125 WHERE K = 3"));
  EXPECT_TRUE(other.Exec());
  EXPECT_TRUE(other.Exec());
  other.Close();
  EXPECT_EQ(Rows("SELECT K, V, N FROM RX ORDER BY K"), "1|" + one + "|1.25\n2|" + two + "|2.5\n3|" +
                                                           three + "xx|4.01\n4|" + four +
                                                           "|9999.99\n");
}

TEST_F(Engine, LongAndRawValuesComeBackWhole) {
  ASSERT_EQ(Exec("CREATE TABLE DOCS (ID NUMBER, BODY LONG)"), "");
  std::string body;
  for (int i = 0; i < 3000; ++i)
    body += "行" + std::to_string(i) + ";";
  ASSERT_EQ(Exec("INSERT INTO DOCS VALUES (1, '" + body + "')"), "");
  ASSERT_EQ(Exec("SELECT BODY FROM DOCS"), "");
  ASSERT_TRUE(Cur.Fetch());
  auto* f = static_cast<TOraCustomLongField*>(Cur.Fields(0));
  EXPECT_EQ(WholeLong(Cur, f), body);
}

// The library reports a LONG longer than the field's buffer as truncated (ORA-01406); the
// cursor still delivers the row, whose rest FetchLong reads, and goes on to the next one.
TEST_F(Engine, LongBeyondItsFieldBufferStillFetchesEveryRow) {
  ASSERT_EQ(Exec("CREATE TABLE BIG (ID NUMBER, BODY LONG)"), "");
  std::string body(70000, 'x');
  body += "end";
  // a literal holds at most 4000 bytes: the value grows by appending
  ASSERT_EQ(Exec("INSERT INTO BIG VALUES (1, NULL)"), "");
  for (size_t off = 0; off < body.size(); off += 3000)
    ASSERT_EQ(Exec("UPDATE BIG SET BODY = BODY || '" + body.substr(off, 3000) + "'"), "") << off;
  ASSERT_EQ(Exec("INSERT INTO BIG VALUES (2, 'short')"), "");
  std::vector<std::string> errors;
  Cur.SetNumberOfRows(1);
  ASSERT_EQ(Exec("SELECT ID, BODY FROM BIG ORDER BY ID"), "");
  Cur.OnError = [&](TOraCursor&, const std::string& m) { errors.push_back(m); };
  ASSERT_TRUE(Cur.Fetch());
  EXPECT_EQ(Cur.ReturnCode(), 1406);
  auto* f = static_cast<TOraCustomLongField*>(Cur.Fields(1));
  EXPECT_EQ(WholeLong(Cur, f), body);
  ASSERT_TRUE(Cur.Fetch());
  EXPECT_EQ(Cur.Fields(0)->GetAsString(0), "2");
  EXPECT_FALSE(Cur.Fetch());
  EXPECT_EQ(Cur.ReturnCode(), 1403);
  EXPECT_EQ(errors.size(), 1u); // the end of the rows only
  Cur.OnError = nullptr;
}

// A result with more digits than a double holds reaches the client whole as text and as the
// nearest double, and sorts by value, whether ORDER BY names it by alias or by position.
TEST_F(Engine, LongDecimalResultsReachTheClientWhole) {
  EXPECT_EQ(
      Rows("SELECT AVG(SAL), 1/3 FROM EMP"),
      "2073.214285714285714285714285714285714286|.3333333333333333333333333333333333333333\n");
  EXPECT_EQ(Rows("SELECT DEPTNO, AVG(SAL) A FROM EMP GROUP BY DEPTNO ORDER BY A"),
            "30|1566.666666666666666666666666666666666667\n20|2175\n"
            "10|2916.666666666666666666666666666666666667\n");
  ASSERT_EQ(Exec("SELECT AVG(SAL) FROM EMP WHERE DEPTNO = 10"), "");
  ASSERT_TRUE(Cur.Fetch());
  EXPECT_NEAR(Cur.Fields(0)->GetAsFloat(0), 2916.6666666666665, 1e-9);
  // 800 is a whole number among long decimals: it sorts among them, not before them
  EXPECT_EQ(Rows("SELECT JOB FROM (SELECT JOB, SUM(SAL) / 7 FROM EMP GROUP BY JOB ORDER BY 2)"),
            "CLERK\nPRESIDENT\nSALESMAN\nANALYST\nMANAGER\n");
  EXPECT_EQ(Rows("SELECT JOB, SUM(SAL) / 7 FROM EMP GROUP BY JOB ORDER BY 2"),
            "CLERK|592.857142857142857142857142857142857143\n"
            "PRESIDENT|714.285714285714285714285714285714285714\nSALESMAN|800\n"
            "ANALYST|857.142857142857142857142857142857142857\n"
            "MANAGER|1182.142857142857142857142857142857142857\n");
}

// A NUMBER(38) or NUMBER(30,10) column keeps every digit it allows: stored, read, compared,
// ordered, kept unique and changed by value, not as the nearest double.
TEST_F(Engine, WideNumberColumnsKeepEveryDigit) {
  ASSERT_EQ(Exec("CREATE TABLE W (ID NUMBER(2), N NUMBER(38), D NUMBER(30,10))"), "");
  ASSERT_EQ(Exec("CREATE UNIQUE INDEX W_N ON W (N)"), "");
  ASSERT_EQ(Exec("INSERT INTO W VALUES (1, 12345678901234567890123456789012345678, "
                 "12345678901234567890.0123456789)"),
            "");
  ASSERT_EQ(Exec("INSERT INTO W VALUES (2, -12345678901234567890123456789012345678, -.5)"), "");
  ASSERT_EQ(Exec("INSERT INTO W VALUES (3, '9', 10)"), "");
  ASSERT_EQ(Exec("INSERT INTO W VALUES (4, 10, 9.99)"), "");
  // differs from row 1 only in the last digit, which a double cannot tell apart
  ASSERT_EQ(Exec("INSERT INTO W VALUES (5, 12345678901234567890123456789012345677, 0)"), "");
  EXPECT_EQ(
      Exec("INSERT INTO W VALUES (6, 12345678901234567890123456789012345678, 0)").substr(0, 9),
      "ORA-00001");
  EXPECT_EQ(
      Exec("INSERT INTO W VALUES (6, 123456789012345678901234567890123456789, 0)").substr(0, 9),
      "ORA-01438");
  EXPECT_EQ(Exec("INSERT INTO W VALUES (6, 'abc', 0)").substr(0, 9), "ORA-01722");
  EXPECT_EQ(Rows("SELECT ID, N, D FROM W ORDER BY N"),
            "2|-12345678901234567890123456789012345678|-0.5\n3|9|10\n4|10|9.99\n"
            "5|12345678901234567890123456789012345677|0\n"
            "1|12345678901234567890123456789012345678|12345678901234567890.0123456789\n");
  EXPECT_EQ(Rows("SELECT ID FROM W WHERE N = 12345678901234567890123456789012345677"), "5\n");
  EXPECT_EQ(Rows("SELECT ID FROM W WHERE N > 9 AND N < 11 OR D = 10 ORDER BY ID"), "3\n4\n");
  EXPECT_EQ(Rows("SELECT MAX(N), MIN(D), COUNT(DISTINCT N) FROM W"),
            "12345678901234567890123456789012345678|-0.5|5\n");
  ASSERT_EQ(Exec("UPDATE W SET N = N + 1, D = D * 2 WHERE ID = 1"), "");
  EXPECT_EQ(Rows("SELECT N, D, MOD(N, 7), TO_CHAR(N - 1) FROM W WHERE ID = 1"),
            "12345678901234567890123456789012345679|24691357802469135780.0246913578|3|"
            "12345678901234567890123456789012345678\n");
  EXPECT_EQ(Rows("SELECT TO_CHAR(SUM(N)) FROM W WHERE ID IN (1, 5)"),
            "24691357802469135780246913578024691356\n");
  ASSERT_EQ(Exec("SELECT N FROM W WHERE ID = 1"), "");
  ASSERT_TRUE(Cur.Fetch());
  EXPECT_NEAR(Cur.Fields(0)->GetAsFloat(0) / 1.2345678901234568e37, 1.0, 1e-15);
  // the table a query creates keeps the wide type and its values
  ASSERT_EQ(Exec("CREATE TABLE W2 AS SELECT ID, N FROM W"), "");
  EXPECT_EQ(Rows("SELECT W.ID FROM W, W2 WHERE W.N = W2.N AND W2.N < 0"), "2\n");
}

} // namespace
