// Oracle's single-row functions as the engine runs them, through the access layer on a fresh
// demo database.
#include "../access/TestSupport.h"

#include <ctime>
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
  EXPECT_EQ(Q("SELECT NVL(COMM, 0) FROM EMP WHERE ENAME = 'SMITH'"), "0");
  EXPECT_EQ(Q("SELECT NVL2(COMM, 'Y', 'N') FROM EMP WHERE ENAME = 'ALLEN'"), "Y");
  EXPECT_EQ(Q("SELECT NVL2(COMM, 'Y', 'N') FROM EMP WHERE ENAME = 'SMITH'"), "N");
  EXPECT_EQ(Q("SELECT NVL2(COMM, SAL + COMM, '0') FROM EMP WHERE ENAME = 'SMITH'"), "0");
  EXPECT_EQ(Q("SELECT DECODE(DEPTNO, 10, 'A', 20, 'B', 'X') FROM EMP WHERE ENAME = 'SMITH'"), "B");
  EXPECT_EQ(Q("SELECT DECODE(DEPTNO, 10, 'A', 20, 'B', 'X') FROM EMP WHERE ENAME = 'KING'"), "A");
  EXPECT_EQ(Q("SELECT DECODE(DEPTNO, 10, 'A', 20, 'B', 'X') FROM EMP WHERE ENAME = 'WARD'"), "X");
  EXPECT_EQ(Q("SELECT DECODE(COMM, NULL, 'none', 'some') FROM EMP WHERE ENAME = 'SMITH'"), "none");
  EXPECT_EQ(V("DECODE(1, 2, 'x')"), "");
  EXPECT_EQ(V("DECODE('1.0', 1, 'numeric')"), "numeric");
  EXPECT_EQ(V("DECODE(1, '1.0', 'as text')"), "");
  EXPECT_EQ(V("DECODE(1, 2, 3, 'x')"), "ORA-01722");
  EXPECT_EQ(V("GREATEST(3, 10, 7)"), "10");
  EXPECT_EQ(V("GREATEST('apple', 'pear', 'fig')"), "pear");
  EXPECT_EQ(V("LEAST(5, '3', 4.5)"), "3");
  EXPECT_EQ(V("GREATEST(1, NULL, 3)"), "");
  EXPECT_EQ(V("LEAST(1, 'x')"), "ORA-01722");
  EXPECT_EQ(
      Q("SELECT TO_CHAR(GREATEST(HIREDATE, TO_DATE('1981-01-01', 'YYYY-MM-DD')), 'YYYY-MM-DD')"
        " FROM EMP WHERE ENAME = 'SMITH'"),
      "1981-01-01");
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

TEST_F(Functions, NumbersToText) {
  EXPECT_EQ(V("TO_CHAR(1234.5, '9,999.99')"), " 1,234.50");
  EXPECT_EQ(V("TO_CHAR(-1234.5, '9,999.99')"), "-1,234.50");
  EXPECT_EQ(V("TO_CHAR(12, '9,999')"), "    12");
  EXPECT_EQ(V("TO_CHAR(0.5, '0.99')"), " 0.50");
  EXPECT_EQ(V("TO_CHAR(0.5, '9.99')"), "  .50");
  EXPECT_EQ(V("TO_CHAR(0, '999')"), "   0");
  EXPECT_EQ(V("TO_CHAR(42, '0000')"), " 0042");
  EXPECT_EQ(V("TO_CHAR(2.675, '9.99')"), " 2.68");
  EXPECT_EQ(V("TO_CHAR(12345, '999')"), "####");
  EXPECT_EQ(V("TO_CHAR(99.96, '99.9')"), "#####");
  EXPECT_EQ(V("TO_CHAR(42, 'FM9999')"), "42");
  EXPECT_EQ(V("TO_CHAR(1.5, 'FM9.99')"), "1.5");
  EXPECT_EQ(V("TO_CHAR(1, 'FM9.99')"), "1.");
  EXPECT_EQ(V("TO_CHAR(1234.5, 'FM9G999D00')"), "1,234.50");
  EXPECT_EQ(V("TO_CHAR(-7, '9999MI')"), "   7-");
  EXPECT_EQ(V("TO_CHAR(7, 'S999')"), "  +7");
  EXPECT_EQ(V("TO_CHAR(-7, '999S')"), "  7-");
  EXPECT_EQ(V("TO_CHAR(12, '$999')"), "  $12");
  EXPECT_EQ(V("TO_CHAR(-12, 'FM$999')"), "-$12");
  EXPECT_EQ(V("TO_CHAR(1234.567)"), "1234.567");
  EXPECT_EQ(V("TO_CHAR('abc')"), "abc");
  EXPECT_EQ(V("TO_CHAR('12.5', '99.99')"), " 12.50");
  EXPECT_EQ(V("TO_CHAR(5, 'YYYY')"), "ORA-01481");
  EXPECT_EQ(V("TO_CHAR('abc', '999')"), "ORA-01722");
}

TEST_F(Functions, TextToDatesAndNumbers) {
  EXPECT_EQ(D("TO_DATE('17-DEC-1980', 'DD-MON-YYYY')"), "1980-12-17 00:00:00");
  EXPECT_EQ(D("TO_DATE('january 5, 2024 3:04 pm', 'Month DD, YYYY HH:MI AM')"),
            "2024-01-05 15:04:00");
  EXPECT_EQ(D("TO_DATE('12:30 A.M. 2024-02-01', 'HH12:MI A.M. YYYY-MM-DD')"),
            "2024-02-01 00:30:00");
  EXPECT_EQ(D("TO_DATE('2024-01-15', 'YYYY-MM-DD HH24:MI:SS')"), "2024-01-15 00:00:00");
  EXPECT_EQ(D("TO_DATE('20240115', 'YYYYMMDD')"), "2024-01-15 00:00:00");
  EXPECT_EQ(D("TO_DATE('2024/01/15', 'YYYY-MM-DD')"), "2024-01-15 00:00:00");
  EXPECT_EQ(D("TO_DATE('2024-060', 'YYYY-DDD')"), "2024-02-29 00:00:00");
  EXPECT_EQ(D("TO_DATE('2444591', 'J')"), "1980-12-17 00:00:00");
  EXPECT_EQ(D("TO_DATE('2024-01-15')"), "2024-01-15 00:00:00");
  EXPECT_EQ(D("TO_DATE('99-01-15')"), "1999-01-15 00:00:00");
  EXPECT_EQ(D("TO_DATE('15-01-99', 'DD-MM-RR')"), "1999-01-15 00:00:00");
  EXPECT_EQ(D("TO_DATE('2024-01-15 08:09:10')"), "2024-01-15 08:09:10");
  EXPECT_EQ(V("TO_DATE('2024-13-01', 'YYYY-MM-DD')"), "ORA-01843");
  EXPECT_EQ(V("TO_DATE('2024-13-01')"), "ORA-01843");
  EXPECT_EQ(V("TO_DATE('15-XYZ-2024', 'DD-MON-YYYY')"), "ORA-01843");
  EXPECT_EQ(V("TO_DATE('2023-02-29', 'YYYY-MM-DD')"), "ORA-01839");
  EXPECT_EQ(V("TO_DATE('2024-01-32', 'YYYY-MM-DD')"), "ORA-01847");
  EXPECT_EQ(V("TO_DATE('2024-01-15 25:00', 'YYYY-MM-DD HH24:MI')"), "ORA-01850");
  EXPECT_EQ(V("TO_DATE('13:00', 'HH:MI')"), "ORA-01849");
  EXPECT_EQ(V("TO_DATE('2024-01-15 junk', 'YYYY-MM-DD')"), "ORA-01830");
  EXPECT_EQ(V("TO_DATE('year 2024', '\"yr\" YYYY')"), "ORA-01861");
  EXPECT_EQ(V("TO_DATE('ab', 'YYYY')"), "ORA-01858");
  EXPECT_EQ(V("TO_DATE('2024', 'YYYY BAD')"), "ORA-01821");
  EXPECT_EQ(V("TO_DATE('yesterday')"), "ORA-01861");

  EXPECT_EQ(V("TO_NUMBER('12.50')"), "12.5");
  EXPECT_EQ(V("TO_NUMBER(' -3 ')"), "-3");
  EXPECT_EQ(V("TO_NUMBER('1e3')"), "1000");
  EXPECT_EQ(V("TO_NUMBER('$1,234.50', '$9,999.99')"), "1234.5");
  EXPECT_EQ(V("TO_NUMBER('12-', '99MI')"), "-12");
  EXPECT_EQ(V("TO_NUMBER('12345', '999')"), "ORA-01722");
  EXPECT_EQ(V("TO_NUMBER('abc')"), "ORA-01722");
}

TEST_F(Functions, SubstringsAndSearch) {
  EXPECT_EQ(V("SUBSTR('ABCDEFG', 3, 4)"), "CDEF");
  EXPECT_EQ(V("SUBSTR('ABCDEFG', -3, 2)"), "EF");
  EXPECT_EQ(V("SUBSTR('ABCDEFG', -3)"), "EFG");
  EXPECT_EQ(V("SUBSTR('ABCDEFG', 0, 2)"), "AB");
  EXPECT_EQ(V("SUBSTR('ABCDEFG', 2.9, 1.9)"), "B");
  EXPECT_EQ(V("SUBSTR('ABCDEFG', -10)"), "");
  EXPECT_EQ(V("SUBSTR('ABC', 2, 0)"), "");
  EXPECT_EQ(V("SUBSTR('ABC', 4)"), "");
  EXPECT_EQ(V("SUBSTR('日本語テキスト', 3, 2)"), "語テ");
  EXPECT_EQ(V("SUBSTR('日本語テキスト', -2)"), "スト");
  EXPECT_EQ(V("SUBSTR(12345, 2, 3)"), "234");
  EXPECT_EQ(V("SUBSTRB('日本語', 4, 3)"), "本");
  EXPECT_EQ(V("SUBSTRB('日本語', 3, 4)"), " 本");
  EXPECT_EQ(V("SUBSTRB('日本語', 4, 4)"), "本 ");
  EXPECT_EQ(V("SUBSTRB('ABC', -2)"), "BC");

  EXPECT_EQ(V("INSTR('CORPORATE FLOOR', 'OR')"), "2");
  EXPECT_EQ(V("INSTR('CORPORATE FLOOR', 'OR', 3, 2)"), "14");
  EXPECT_EQ(V("INSTR('CORPORATE FLOOR', 'OR', -3, 2)"), "2");
  EXPECT_EQ(V("INSTR('CORPORATE FLOOR', 'OR', -1)"), "14");
  EXPECT_EQ(V("INSTR('CORPORATE FLOOR', 'OR', 0)"), "0");
  EXPECT_EQ(V("INSTR('abc', 'z')"), "0");
  EXPECT_EQ(V("INSTR('あいうあい', 'い', 1, 2)"), "5");
  EXPECT_EQ(V("INSTR('あいうあい', 'あ', -1)"), "4");
  EXPECT_EQ(V("INSTR('abc', NULL)"), "");
  EXPECT_EQ(V("INSTR('abc', 'b', 1, 0)"), "ORA-01428");

  EXPECT_EQ(V("LENGTH('日本語')"), "3");
  EXPECT_EQ(V("LENGTHB('日本語')"), "9");
  EXPECT_EQ(V("LENGTH(12.5)"), "4");
  EXPECT_EQ(V("LENGTH('')"), "");
}

TEST_F(Functions, CaseTrimPadReplace) {
  EXPECT_EQ(V("UPPER('àéîõü ÿ straße')"), "ÀÉÎÕÜ Ÿ STRAßE");
  EXPECT_EQ(V("LOWER('ΑΒΓ ΆΏ ДЖЁ ŁŻ')"), "αβγ άώ джё łż");
  EXPECT_EQ(V("UPPER('ａｂｃ あいう 漢字')"), "ＡＢＣ あいう 漢字");
  EXPECT_EQ(V("LOWER('ＡＢＣ')"), "ａｂｃ");
  EXPECT_EQ(V("INITCAP('hello wORLD-foo_bar 2nd')"), "Hello World-Foo_Bar 2nd");
  EXPECT_EQ(V("INITCAP('élan ÉCOLE ｈｅｌｌｏ　ｗｏｒｌｄ')"), "Élan École Ｈｅｌｌｏ　Ｗｏｒｌｄ");
  EXPECT_EQ(Q("SELECT INITCAP(ENAME) FROM EMP WHERE EMPNO = 7369"), "Smith");

  EXPECT_EQ(V("TRIM('  ab  ')"), "ab");
  EXPECT_EQ(V("TRIM('    ')"), "");
  EXPECT_EQ(V("LTRIM('xxabxx', 'x')"), "abxx");
  EXPECT_EQ(V("RTRIM('xxabxx', 'x')"), "xxab");
  EXPECT_EQ(V("RTRIM('abcCBA', 'ABC')"), "abc");
  EXPECT_EQ(V("LTRIM('  ab')"), "ab");
  EXPECT_EQ(V("LTRIM('日日本', '日')"), "本");
  EXPECT_EQ(V("ORA_TRIM('LEADING', 'x', 'xxabxx')"), "abxx");
  EXPECT_EQ(V("ORA_TRIM('TRAILING', 'x', 'xxabxx')"), "xxab");
  EXPECT_EQ(V("ORA_TRIM('BOTH', 'x', 'xxabxx')"), "ab");
  EXPECT_EQ(V("ORA_TRIM('BOTH', 'xy', 'a')"), "ORA-30001");

  EXPECT_EQ(V("LPAD('abc', 6, '*')"), "***abc");
  EXPECT_EQ(V("RPAD('abc', 6, 'xy')"), "abcxyx");
  EXPECT_EQ(V("LPAD('abcdef', 3)"), "abc");
  EXPECT_EQ(V("LPAD(5, 3, '0')"), "005");
  EXPECT_EQ(V("LPAD('日本', 5, '*')"), "*日本");
  EXPECT_EQ(V("LPAD('日本語', 5)"), "日本 ");
  EXPECT_EQ(V("RPAD('a', 4, '日')"), "a日 ");
  EXPECT_EQ(V("RPAD('ｱｲ', 4, 'ｳ')"), "ｱｲｳｳ");
  EXPECT_EQ(V("LPAD('x', 0)"), "");
  EXPECT_EQ(V("LPAD('x', 3, NULL)"), "");
  EXPECT_EQ(V("LENGTH(LPAD('x', 100000))"), "4000");

  EXPECT_EQ(V("REPLACE('JACK and JUE', 'J', 'BL')"), "BLACK and BLUE");
  EXPECT_EQ(V("REPLACE('abcabc', 'b')"), "acac");
  EXPECT_EQ(V("REPLACE('abc', NULL, 'x')"), "abc");
  EXPECT_EQ(V("REPLACE('aaa', 'a')"), "");
  EXPECT_EQ(V("CONCAT('ab', NULL)"), "ab");
  EXPECT_EQ(V("CONCAT(NULL, NULL)"), "");
  EXPECT_EQ(V("ORA_CONCAT('a', 1.5, NULL, 'b')"), "a1.5b");
  EXPECT_EQ(Q("SELECT CONCAT(ENAME, SAL) FROM EMP WHERE EMPNO = 7369"), "SMITH800");
  EXPECT_EQ(V("CHR(65)"), "A");
  EXPECT_EQ(V("CHR(14909826)"), "あ"); // E3 81 82
  EXPECT_EQ(V("CHR(14909570)"), "。"); // E3 80 82
  EXPECT_EQ(V("ASCII('A')"), "65");
  EXPECT_EQ(V("ASCII('あいう')"), "14909826");
  EXPECT_EQ(V("CHR(-1)"), "ORA-01428");
}

TEST_F(Functions, Arithmetic) {
  EXPECT_EQ(V("ROUND(2.5)"), "3");
  EXPECT_EQ(V("ROUND(-2.5)"), "-3");
  EXPECT_EQ(V("ROUND(1234.5678, 2)"), "1234.57");
  EXPECT_EQ(V("ROUND(1234.5678, -2)"), "1200");
  EXPECT_EQ(V("ROUND(2.675, 2)"), "2.68");
  EXPECT_EQ(V("ROUND('2.5')"), "3");
  EXPECT_EQ(V("ROUND(55, -2)"), "100");
  EXPECT_EQ(V("TRUNC(1234.5678, 2)"), "1234.56");
  EXPECT_EQ(V("TRUNC(-2.7)"), "-2");
  EXPECT_EQ(V("TRUNC(1299, -2)"), "1200");
  EXPECT_EQ(V("ROUND('x')"), "ORA-01722");

  EXPECT_EQ(V("MOD(11, 4)"), "3");
  EXPECT_EQ(V("MOD(-11, 4)"), "-3");
  EXPECT_EQ(V("MOD(11, -4)"), "3");
  EXPECT_EQ(V("MOD(5, 0)"), "5");
  EXPECT_EQ(V("MOD(1.1, 0.2)"), "0.1");
  EXPECT_EQ(V("MOD(-7.5, 2)"), "-1.5");
  EXPECT_EQ(V("ABS(-5.5)"), "5.5");
  EXPECT_EQ(V("SIGN(-3)"), "-1");
  EXPECT_EQ(V("SIGN(0)"), "0");
  EXPECT_EQ(V("CEIL(1.2)"), "2");
  EXPECT_EQ(V("CEIL(-1.2)"), "-1");
  EXPECT_EQ(V("CEIL(0.2)"), "1");
  EXPECT_EQ(V("FLOOR(-1.2)"), "-2");
  EXPECT_EQ(V("FLOOR(-0.2)"), "-1");
  EXPECT_EQ(V("FLOOR(1.8)"), "1");
  EXPECT_EQ(V("CEIL(99.5)"), "100");

  EXPECT_EQ(V("POWER(2, 10)"), "1024");
  EXPECT_EQ(V("POWER(2, -1)"), "0.5");
  EXPECT_EQ(V("POWER(1.1, 2)"), "1.21");
  EXPECT_EQ(V("POWER(2, 62)"), "4611686018427387904");
  EXPECT_EQ(V("POWER(-8, 0.5)"), "ORA-01428");
  EXPECT_EQ(V("SQRT(16)"), "4");
  EXPECT_EQ(V("SQRT(2)"), "1.4142135623731");
  EXPECT_EQ(V("SQRT(-1)"), "ORA-01428");

  // Integral results are stored as integers, read here from the schema file itself.
  ASSERT_TRUE(Run(Cur, "CREATE TABLE NUMS (N NUMBER)"));
  for (const char* e : {"TO_NUMBER('42')", "ROUND(2.4)", "SQRT(16)"})
    ASSERT_TRUE(Run(Cur, std::string("INSERT INTO NUMS VALUES (") + e + ")")) << e;
  Cur.Close();
  ASSERT_TRUE(Ses.Commit());
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open_v2((DataHome + "/tessel3/default/DEMO.db").c_str(), &raw,
                            SQLITE_OPEN_READONLY, nullptr),
            SQLITE_OK);
  sqlite3_stmt* st = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(raw, "SELECT group_concat(typeof(N)) FROM NUMS", -1, &st, nullptr),
            SQLITE_OK);
  ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)),
               "integer,integer,integer");
  sqlite3_finalize(st);
  sqlite3_close(raw);
  EXPECT_EQ(V("EXP(0)"), "1");
  EXPECT_EQ(V("EXP(1)"), "2.71828182845905");
  EXPECT_EQ(V("LN(1)"), "0");
  EXPECT_EQ(V("LN(0)"), "ORA-01428");
  EXPECT_EQ(V("LOG(10, 1000)"), "3");
  EXPECT_EQ(V("LOG(2, 8)"), "3");
  EXPECT_EQ(V("LOG(1, 8)"), "ORA-01428");
  EXPECT_EQ(V("EXP(100000)"), "ORA-01426");
}

TEST_F(Functions, DateArithmetic) {
  EXPECT_EQ(D("ADD_MONTHS(" + Date("2024-01-31") + ", 1)"), "2024-02-29 00:00:00");
  EXPECT_EQ(D("ADD_MONTHS(" + Date("2023-01-31") + ", 1)"), "2023-02-28 00:00:00");
  EXPECT_EQ(D("ADD_MONTHS(" + Date("2024-02-29") + ", 12)"), "2025-02-28 00:00:00");
  EXPECT_EQ(D("ADD_MONTHS(" + Date("2023-02-28") + ", 1)"), "2023-03-31 00:00:00");
  EXPECT_EQ(D("ADD_MONTHS(" + Date("2024-03-15 10:30:00") + ", -3)"), "2023-12-15 10:30:00");
  EXPECT_EQ(
      Q("SELECT TO_CHAR(ADD_MONTHS(HIREDATE, 1), 'YYYY-MM-DD') FROM EMP WHERE ENAME = 'SMITH'"),
      "1981-01-17");
  EXPECT_EQ(V("ADD_MONTHS(" + Date("9999-12-01") + ", 1)"), "ORA-01841");
  EXPECT_EQ(V("ADD_MONTHS(5, 1)"), "ORA-00932");

  auto between = [&](const std::string& a, const std::string& b) {
    return V("MONTHS_BETWEEN(" + Date(a) + ", " + Date(b) + ")");
  };
  EXPECT_EQ(between("1995-02-02", "1995-01-01"), "1.03225806451613");
  EXPECT_EQ(between("2024-03-31", "2024-02-29"), "1");
  EXPECT_EQ(between("2024-01-15 10:00:00", "2024-03-15"), "-2");
  EXPECT_EQ(between("2024-01-16 12:00:00", "2024-01-15"), "0.0483870967741935");
  EXPECT_EQ(Q("SELECT TRUNC(MONTHS_BETWEEN(TO_DATE('1981-12-17', 'YYYY-MM-DD'), HIREDATE)) FROM EMP"
              " WHERE ENAME = 'SMITH'"),
            "12");

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
  EXPECT_EQ(Q("SELECT COUNT(*) FROM EMP WHERE TRUNC(HIREDATE, 'YYYY') = TO_DATE('1987-01-01', "
              "'YYYY-MM-DD')"),
            "2");

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
  EXPECT_EQ(Q("SELECT COUNT(*) FROM EMP WHERE ENAME LIKE 'S%'"), "2");
  EXPECT_EQ(Q("SELECT COUNT(*) FROM EMP WHERE ENAME LIKE 's%'"), "0");
  EXPECT_EQ(Q("SELECT COUNT(*) FROM EMP WHERE ENAME LIKE '_A%'"), "3");
  EXPECT_EQ(Q("SELECT COUNT(*) FROM EMP WHERE ENAME NOT LIKE '%A%'"), "7");
  EXPECT_EQ(Q("SELECT COUNT(*) FROM DUAL WHERE 'あいう' LIKE '_い_'"), "1");
  EXPECT_EQ(Q("SELECT COUNT(*) FROM DUAL WHERE 'あいう' LIKE '__'"), "0");
  EXPECT_EQ(Q("SELECT COUNT(*) FROM DUAL WHERE 'abcabd' LIKE '%ab_'"), "1");
  EXPECT_EQ(Q("SELECT COUNT(*) FROM DUAL WHERE '10%' LIKE '10\\%' ESCAPE '\\'"), "1");
  EXPECT_EQ(Q("SELECT COUNT(*) FROM DUAL WHERE '100' LIKE '10\\%' ESCAPE '\\'"), "0");
  EXPECT_EQ(Q("SELECT COUNT(*) FROM DUAL WHERE 'a_b' LIKE 'a!_b' ESCAPE '!'"), "1");
  EXPECT_EQ(Q("SELECT COUNT(*) FROM DUAL WHERE 'ab' LIKE 'a\\b' ESCAPE '\\'"), "ORA-01424");
  EXPECT_EQ(Q("SELECT COUNT(*) FROM DUAL WHERE 'ab' LIKE 'a%' ESCAPE 'xy'"), "ORA-01425");
}

TEST_F(Functions, WrongArgumentCountsFail) {
  EXPECT_EQ(V("SUBSTR('a')"), "ORA-00909");
  EXPECT_EQ(V("DECODE(1, 2)"), "ORA-00909");
  EXPECT_EQ(V("NVL2(1, 2)"), "ORA-00909");
  // TRIM has a syntax of its own: a second argument is not part of it
  EXPECT_EQ(V("TRIM('a', 'b')"), "ORA-00907");
  EXPECT_EQ(V("LOG(5)"), "ORA-00909");
  EXPECT_EQ(V("DECODE(1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10)"), "2");
}

} // namespace
