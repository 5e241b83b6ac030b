// Oracle's single-row functions as the engine runs them, through the access layer on a fresh
// demo database.
#include "../access/TestSupport.h"

#include <clocale>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <sqlite3.h>

namespace {

class Functions : public TFreshDatabase {
protected:
  void SetUp() override {
    TFreshDatabase::SetUp();
    ASSERT_TRUE(Logon(Ses, "DEMO", "DEMO"));
    Cur.SetSession(&Ses);
    Cur.SetNumberOfRows(20);
  }
  void TearDown() override {
    Cur.Close();
    Ses.Disconnect();
    TFreshDatabase::TearDown();
  }
  // The first column of the first row, or "ORA-nnnnn" when the statement fails.
  std::string Q(const std::string& sql) {
    std::string err;
    Cur.OnError = [&](TOraCursor&, const std::string& m) {
      if (err.empty())
        err = m.substr(0, 9);
    };
    Cur.Close();
    std::string value = "<no row>";
    if (Run(Cur, sql) && Cur.Fetch() && Cur.FieldCount() > 0)
      value = Cur.Fields(0)->GetAsString(0);
    Cur.Close();
    Cur.OnError = nullptr;
    return err.empty() ? value : err;
  }
  // One expression evaluated on DUAL.
  std::string V(const std::string& expr) { return Q("SELECT " + expr + " FROM DUAL"); }
  // A date expression in full, so the check does not depend on the session's date format.
  std::string D(const std::string& expr) {
    return V("TO_CHAR(" + expr + ", 'YYYY-MM-DD HH24:MI:SS')");
  }
  static std::string Date(const std::string& text) {
    return "TO_DATE('" + text + "', 'YYYY-MM-DD HH24:MI:SS')";
  }

  TOraSession Ses;
  TOraCursor Cur;
};

TEST_F(Functions, NullHandlingAndChoices) {
  EXPECT_EQ(Q("SELECT TO_CHAR(LEAST(HIREDATE, '1981-01-01'), 'YYYY-MM-DD') FROM EMP WHERE ENAME = "
              "'SCOTT'"),
            "1981-01-01");
}

TEST_F(Functions, DatesToText) {
  const std::string smith = "FROM EMP WHERE ENAME = 'SMITH'"; // hired Wednesday 1980-12-17
  auto hired = [&](const std::string& fmt) {
    return Q("SELECT TO_CHAR(HIREDATE, '" + fmt + "') " + smith);
  };
  EXPECT_EQ(hired("YYYY-MM-DD HH24:MI:SS"), "1980-12-17 00:00:00");
  EXPECT_EQ(hired("DD-MON-YYYY"), "17-DEC-1980");
  EXPECT_EQ(hired("Mon dd yy"), "Dec 17 80");
  EXPECT_EQ(hired("mon/Y/YYY/RR/RRRR"), "dec/0/980/80/1980");
  EXPECT_EQ(hired("Month"), "December ");
  EXPECT_EQ(hired("FMMonth DD, YYYY"), "December 17, 1980");
  EXPECT_EQ(hired("DAY|Dy|dy|D|DDD|Q|J"), "ORA-01821");
  EXPECT_EQ(hired("DAY,Dy;dy:D DDD Q J"), "WEDNESDAY,Wed;wed:4 352 4 2444591");
  EXPECT_EQ(hired("YYYY\"年\"MM\"月\"DD\"日\""), "1980年12月17日");
  EXPECT_EQ(Q("SELECT TO_CHAR(HIREDATE) " + smith), "80-12-17");

  std::string t = Date("2024-03-05 13:07:09");
  EXPECT_EQ(V("TO_CHAR(" + t + ", 'HH:MI:SS AM')"), "01:07:09 PM");
  EXPECT_EQ(V("TO_CHAR(" + t + ", 'hh12 a.m. HH24 SSSSS')"), "01 p.m. 13 47229");
  EXPECT_EQ(V("TO_CHAR(" + t + ", 'FMDD/MM/YYYY FMHH24')"), "5/3/2024 13");
  EXPECT_EQ(V("TO_CHAR(" + Date("2024-03-05 00:30:00") + ", 'HH AM')"), "12 AM");

  char year[8];
  std::time_t now = std::time(nullptr);
  std::strftime(year, sizeof year, "%Y", std::localtime(&now));
  EXPECT_EQ(V("TO_CHAR(SYSDATE, 'YYYY')"), year);
  EXPECT_EQ(V("LENGTH(TO_CHAR(SYSDATE, 'YYYY-MM-DD HH24:MI:SS'))"), "19");
}

TEST_F(Functions, NumbersToText) { EXPECT_EQ(V("TO_CHAR('abc', '999')"), "ORA-01722"); }

TEST_F(Functions, TextToDatesAndNumbers) { EXPECT_EQ(V("TO_NUMBER('abc')"), "ORA-01722"); }

TEST_F(Functions, SubstringsAndSearch) { EXPECT_EQ(V("LENGTH('')"), ""); }

TEST_F(Functions, CaseTrimPadReplace) {

  EXPECT_EQ(V("ORA_TRIM('LEADING', 'x', 'xxabxx')"), "abxx");
  EXPECT_EQ(V("ORA_TRIM('TRAILING', 'x', 'xxabxx')"), "xxab");
  EXPECT_EQ(V("ORA_TRIM('BOTH', 'x', 'xxabxx')"), "ab");
  EXPECT_EQ(V("ORA_TRIM('BOTH', 'xy', 'a')"), "ORA-30001");

  EXPECT_EQ(V("ORA_CONCAT('a', 1.5, NULL, 'b')"), "a1.5b");
  // codes in the database character set, Shift-JIS
  EXPECT_EQ(V("CHR(33440)"), "あ"); // 82 A0
  EXPECT_EQ(V("CHR(33090)"), "。"); // 81 42
  EXPECT_EQ(V("CHR(177)"), "ｱ");    // B1, half-width
  EXPECT_EQ(V("ASCII('あいう')"), "33440");
  EXPECT_EQ(V("CHR(14909826)"), ""); // no Shift-JIS character: no broken text
  EXPECT_EQ(V("ASCII('A')"), "65");
  EXPECT_EQ(V("CHR(-1)"), "ORA-01428");
}

TEST_F(Functions, Arithmetic) {

  // NUMBER's precision, not a double's
  EXPECT_EQ(V("ROUND(SQRT(2), 30)"), "1.41421356237309504880168872421");

  // A NUMBER column keeps exact decimal text, integral results without a fraction, read here from
  // the schema file itself.
  ASSERT_TRUE(Run(Cur, "CREATE TABLE NUMS (N NUMBER)"));
  for (const char* e : {"TO_NUMBER('42')", "ROUND(2.4)", "SQRT(16)"})
    ASSERT_TRUE(Run(Cur, std::string("INSERT INTO NUMS VALUES (") + e + ")")) << e;
  // every digit a NUMBER holds reaches the file, where a double kept 17 of them
  ASSERT_TRUE(Run(Cur, "CREATE TABLE WHOLE (N NUMBER)"));
  for (const char* e : {"10/3", "12345678901234567890", "-.5", "1e100", "1/7*1e-60"})
    ASSERT_TRUE(Run(Cur, std::string("INSERT INTO WHOLE VALUES (") + e + ")")) << e;
  ASSERT_TRUE(Run(Cur, "CREATE TABLE AVGS AS SELECT DEPTNO, AVG(SAL) A FROM EMP GROUP BY DEPTNO"));
  Cur.Close();
  ASSERT_TRUE(Ses.Commit());
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open_v2((DataHome + "/tessel3/default/DEMO.db").c_str(), &raw,
                            SQLITE_OPEN_READONLY, nullptr),
            SQLITE_OK);
  sqlite3_stmt* st = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(raw, "SELECT group_concat(typeof(N) || ' ' || N) FROM NUMS", -1, &st,
                               nullptr),
            SQLITE_OK);
  ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), "text 42,text 2,text 4");
  sqlite3_finalize(st);
  auto stored = [&](const char* sql) {
    std::string out;
    if (sqlite3_prepare_v2(raw, sql, -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
      out = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    sqlite3_finalize(st);
    return out;
  };
  EXPECT_EQ(stored("SELECT group_concat(N, ' ') FROM WHOLE"),
            "3.33333333333333333333333333333333333333 12345678901234567890 -.5 1E+100 "
            "1.428571428571428571428571428571428571429E-61");
  EXPECT_EQ(stored("SELECT A FROM AVGS WHERE DEPTNO = 30"),
            "1566.666666666666666666666666666666666667");
  sqlite3_close(raw);
  EXPECT_EQ(V("EXP(1)"), "2.71828182845904523536028747135266249776");
  EXPECT_EQ(V("EXP(100000)"), "ORA-01426");
}

// A host program takes the user's locale (a GUI toolkit does). Its decimal mark may be a comma,
// and in a Turkish locale 'i' has no upper case of one byte; SQL reads the same in every one.
TEST_F(Functions, StatementsReadAlikeWhateverTheHostLocale) {
  const std::string dir = DataHome + "/locale";
  std::filesystem::create_directories(dir);
  for (const char* name : {"de_DE", "tr_TR"})
    ASSERT_EQ(std::system(("localedef -i " + std::string(name) + " -f UTF-8 " + dir + "/" + name +
                           ".UTF-8 2>/dev/null")
                              .c_str()),
              0);
  struct Restore {
    ~Restore() {
      std::setlocale(LC_ALL, "C");
      unsetenv("LOCPATH");
    }
  } restore;
  setenv("LOCPATH", dir.c_str(), 1);

  ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%.1f", 1.5);
  ASSERT_STREQ(buf, "1,5"); // the comma locale is in force
  // The engine's answers as text it made itself.
  EXPECT_EQ(V("TO_CHAR(TO_NUMBER('1.5'))"), "1.5");
  EXPECT_EQ(V("TO_CHAR(ROUND(EXP(1), 5))"), "2.71828");
  EXPECT_EQ(V("TO_CHAR(ROUND(LN(2.5), 4))"), ".9163");
  EXPECT_EQ(V("TO_CHAR(SYSDATE - (SYSDATE - 1.5))"), "1.5");
  EXPECT_EQ(Q("SELECT TO_CHAR(SAL * 1.5) FROM EMP WHERE EMPNO = 7369"), "1200");
  EXPECT_EQ(D(Date("2000-01-01 00:00:00") + " + INTERVAL '1 12:00:00' DAY TO SECOND"),
            "2000-01-02 12:00:00");
  // The client shows a number field with the system's decimal mark.
  EXPECT_EQ(V("TO_NUMBER('12.5')"), "12,5");

  ASSERT_NE(std::setlocale(LC_ALL, "tr_TR.UTF-8"), nullptr);
  int (*volatile upper)(int) = ::toupper; // called, never folded as in the C locale
  ASSERT_EQ(upper('i'), 'i');             // the Turkish locale is in force
  Cur.Close();
  Ses.Disconnect();
  ASSERT_TRUE(Logon(Ses, "demo", "demo"));
  EXPECT_EQ(Q("select ename from emp where hiredate = date '1981-11-17' and job like 'PRES%'"),
            "KING");
  EXPECT_EQ(V("initcap('istanbul') || upper('i') || lower('I')"), "IstanbulIi");
  Cur.Close();
  EXPECT_TRUE(Run(Cur, "insert into sal_audit (empno, old_sal) values (1, 2)"));
  EXPECT_EQ(Q("select count(*) from sal_audit where empno in (1)"), "1");
  EXPECT_EQ(V("to_char(date '2024-05-01', 'fmday month')"), "wednesday may");
}

TEST_F(Functions, DateArithmetic) {
  EXPECT_EQ(D("ADD_MONTHS(" + Date("2024-01-31") + ", 1)"), "2024-02-29 00:00:00");
  EXPECT_EQ(D("ADD_MONTHS(" + Date("2023-01-31") + ", 1)"), "2023-02-28 00:00:00");
  EXPECT_EQ(D("ADD_MONTHS(" + Date("2024-02-29") + ", 12)"), "2025-02-28 00:00:00");
  EXPECT_EQ(D("ADD_MONTHS(" + Date("2023-02-28") + ", 1)"), "2023-03-31 00:00:00");
  EXPECT_EQ(D("ADD_MONTHS(" + Date("2024-03-15 10:30:00") + ", -3)"), "2023-12-15 10:30:00");
  EXPECT_EQ(V("ADD_MONTHS(" + Date("9999-12-01") + ", 1)"), "ORA-01841");

  auto between = [&](const std::string& a, const std::string& b) {
    return V("MONTHS_BETWEEN(" + Date(a) + ", " + Date(b) + ")");
  };
  // exact decimal thirty-firsts, every digit reaching the client
  EXPECT_EQ(between("1995-02-02", "1995-01-01"), "1.03225806451612903225806451612903225806");
  EXPECT_EQ(between("2024-03-31", "2024-02-29"), "1");
  EXPECT_EQ(between("2024-01-15 10:00:00", "2024-03-15"), "-2");
  EXPECT_EQ(between("2024-01-16 12:00:00", "2024-01-15"),
            ".0483870967741935483870967741935483870968");

  std::string t = Date("2024-05-17 15:45:30"); // a Friday
  EXPECT_EQ(D("LAST_DAY(" + Date("2024-02-10 08:00:00") + ")"), "2024-02-29 08:00:00");
  EXPECT_EQ(D("NEXT_DAY(" + t + ", 'MONDAY')"), "2024-05-20 15:45:30");
  EXPECT_EQ(D("NEXT_DAY(" + t + ", 'fri')"), "2024-05-24 15:45:30");
  EXPECT_EQ(D("NEXT_DAY(" + t + ", '日曜日')"), "2024-05-19 15:45:30");
  EXPECT_EQ(D("NEXT_DAY(" + t + ", '土')"), "2024-05-18 15:45:30");
  EXPECT_EQ(V("NEXT_DAY(" + t + ", 'someday')"), "ORA-01846");

  EXPECT_EQ(D("TRUNC(" + t + ")"), "2024-05-17 00:00:00");
  EXPECT_EQ(D("ROUND(" + t + ")"), "2024-05-18 00:00:00");
  EXPECT_EQ(D("TRUNC(" + t + ", 'MM')"), "2024-05-01 00:00:00");
  EXPECT_EQ(D("ROUND(" + t + ", 'MONTH')"), "2024-06-01 00:00:00");
  EXPECT_EQ(D("TRUNC(" + t + ", 'YYYY')"), "2024-01-01 00:00:00");
  EXPECT_EQ(D("ROUND(" + t + ", 'YEAR')"), "2024-01-01 00:00:00");
  EXPECT_EQ(D("ROUND(" + Date("2024-07-01") + ", 'YYYY')"), "2025-01-01 00:00:00");
  EXPECT_EQ(D("TRUNC(" + t + ", 'Q')"), "2024-04-01 00:00:00");
  EXPECT_EQ(D("ROUND(" + t + ", 'Q')"), "2024-07-01 00:00:00");
  EXPECT_EQ(D("TRUNC(" + t + ", 'DAY')"), "2024-05-12 00:00:00");
  EXPECT_EQ(D("ROUND(" + t + ", 'DAY')"), "2024-05-19 00:00:00");
  EXPECT_EQ(D("TRUNC(" + t + ", 'IW')"), "2024-05-13 00:00:00");
  EXPECT_EQ(D("TRUNC(" + t + ", 'HH24')"), "2024-05-17 15:00:00");
  EXPECT_EQ(D("ROUND(" + t + ", 'HH')"), "2024-05-17 16:00:00");
  EXPECT_EQ(D("ROUND(" + t + ", 'MI')"), "2024-05-17 15:46:00");
  EXPECT_EQ(D("TRUNC(" + Date("1999-06-30") + ", 'CC')"), "1901-01-01 00:00:00");
  EXPECT_EQ(V("TRUNC(" + t + ", 'XX')"), "ORA-01821");

  EXPECT_EQ(D("ORA_DATE_ADD(" + t + ", 1.5)"), "2024-05-19 03:45:30");
  EXPECT_EQ(D("ORA_DATE_ADD(" + t + ", -17)"), "2024-04-30 15:45:30");
  EXPECT_EQ(D("ORA_DATE_ADD(" + t + ", 0.00001)"), "2024-05-17 15:45:31");
  EXPECT_EQ(V("ORA_DATE_DIFF(" + Date("2024-03-01") + ", " + Date("2024-01-31") + ")"), "30");
  EXPECT_EQ(V("ORA_DATE_DIFF(" + t + ", " + Date("2024-05-16 03:45:30") + ")"), "1.5");
  EXPECT_EQ(V("ORA_DATE_DIFF(" + Date("2024-01-01") + ", " + t + ")"), "-137.656597222222");
}

TEST_F(Functions, SessionUserAndNumber) {
  EXPECT_EQ(V("ORA_USER()"), "DEMO");
  EXPECT_EQ(V("ORA_UID()"), "2");
  TOraSession sys;
  TOraCursor cur;
  ASSERT_TRUE(Logon(sys, "SYSTEM", "MANAGER"));
  cur.SetSession(&sys);
  EXPECT_EQ(Scalar(cur, "SELECT ORA_USER() || '/' || ORA_UID() FROM DUAL"), "SYSTEM/1");
  cur.Close();
  sys.Disconnect();
}

TEST_F(Functions, LikeIsCaseSensitiveByCharacters) {
  EXPECT_EQ(Q("SELECT COUNT(*) FROM DUAL WHERE 'ab' LIKE 'a%' ESCAPE 'xy'"), "ORA-01425");
}

TEST_F(Functions, WrongArgumentCountsFail) {
  // TRIM has a syntax of its own: a second argument is not part of it
  EXPECT_EQ(V("DECODE(1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10)"), "2");
}

TEST_F(Functions, SessionDateSettingsBelongToTheirLogon) {
  const std::string king = "SELECT TO_CHAR(HIREDATE) FROM EMP WHERE EMPNO = 7839";
  ASSERT_TRUE(
      Run(Cur, "ALTER SESSION SET NLS_DATE_FORMAT = 'DD-MON-RR' NLS_DATE_LANGUAGE = JAPANESE"));
  EXPECT_EQ(Q(king), "17-11月-81");
  // dates fetched as dates do not pass through the session's text form
  Ses.DateFormatString = "YYYY/MM/DD";
  EXPECT_EQ(Q("SELECT HIREDATE FROM EMP WHERE EMPNO = 7839"), "1981/11/17");

  TOraSession other;
  ASSERT_TRUE(Logon(other, "DEMO", "DEMO"));
  TOraCursor c;
  c.SetSession(&other);
  EXPECT_EQ(Scalar(c, king), "81-11-17");
  c.Close();
  other.Disconnect();

  // a new logon starts from the defaults again
  Cur.Close();
  Ses.Disconnect();
  ASSERT_TRUE(Logon(Ses, "DEMO", "DEMO"));
  EXPECT_EQ(Q(king), "81-11-17");
  EXPECT_EQ(Q("SELECT TO_CHAR(HIREDATE, 'MON') FROM EMP WHERE EMPNO = 7839"), "NOV");
}

} // namespace
