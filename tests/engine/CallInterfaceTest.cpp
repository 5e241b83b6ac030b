// The version-7 call interface driven as Oracle's own OCI programs drive it: return codes, the
// ORA number, rows processed and function codes left in the cursor area, describe outputs,
// conversions into each external type, truncation and NULL reporting, array and piecewise
// fetches, and calls out of order or with bad arguments. Expected answers follow Oracle's
// Programmer's Guide to the Oracle Call Interfaces and Oracle's Error Messages.
#include "../access/TestSupport.h"
#include "OciIntr.h"
#include "ociw32.h"

#include <cstring>
#include <string>

namespace {

// Logon and cursor areas with readers for the fields of the cursor area.
class CallInterface : public TFreshDatabase {
protected:
  void SetUp() override {
    TFreshDatabase::SetUp();
    ASSERT_EQ(OciIntr::olog(lda, hda, "DEMO", -1, "DEMO", -1, nullptr, -1, 0), 0);
    ASSERT_EQ(OciIntr::oopen(cda, lda, nullptr, -1, -1, nullptr, -1), 0);
  }
  void TearDown() override {
    OciIntr::oclose(cda);
    OciIntr::ologof(lda);
    TFreshDatabase::TearDown();
  }
  static int U16(const unsigned char* a, int off) {
    uint16_t v;
    std::memcpy(&v, a + off, 2);
    return v;
  }
  int Rc(const unsigned char* a = nullptr) const {
    return U16(a ? a : cda, ociw32::kOffReturnCode);
  }
  int FunctionType() const { return U16(cda, ociw32::kOffFunctionType); }
  int ErrorOffset() const { return U16(cda, ociw32::kOffParseErrorOffset); }
  int FunctionCode() const { return cda[ociw32::kOffFunctionCode]; }
  uint32_t Rpc() const {
    uint32_t v;
    std::memcpy(&v, cda + ociw32::kOffRowsProcessed, 4);
    return v;
  }
  int Parse(const std::string& sql) { return OciIntr::oparse(cda, sql.c_str(), -1, 0, 2); }
  // Parses and executes; 0 or the failing call's code.
  int Run(const std::string& sql) {
    if (int r = Parse(sql))
      return r;
    return OciIntr::oexec(cda);
  }
  std::string Message(int code) {
    char buf[256];
    OciIntr::oerhms(lda, static_cast<short>(code), buf, sizeof buf);
    return buf;
  }
  // One column of one row through a define of the given type; the fetch's return code.
  struct One {
    unsigned char buf[64];
    short ind = 99;
    unsigned short len = 99, code = 99;
    int fetch = -1;
    std::string Text(size_t n) const { return std::string(reinterpret_cast<const char*>(buf), n); }
    // the buffer read as a native number of the define's type
    template <class T> T Value() const {
      T v;
      std::memcpy(&v, buf, sizeof v);
      return v;
    }
  };
  One FetchOne(const std::string& sql, int ftype, int bufl, bool indicator = true) {
    One o;
    std::memset(o.buf, '#', sizeof o.buf);
    EXPECT_EQ(Parse(sql), 0) << sql;
    EXPECT_EQ(OciIntr::odefin(cda, 1, o.buf, bufl, ftype, -1, indicator ? &o.ind : nullptr, nullptr,
                              -1, -1, &o.len, &o.code),
              0)
        << sql;
    EXPECT_EQ(OciIntr::oexec(cda), 0) << sql;
    o.fetch = OciIntr::ofetch(cda);
    return o;
  }

  unsigned char lda[64] = {}, hda[256] = {}, cda[64] = {};
};

TEST_F(CallInterface, LogonLogoffAndMessages) {
  unsigned char l2[64] = {}, h2[256] = {};
  EXPECT_EQ(OciIntr::olog(l2, h2, "DEMO", -1, "WRONG", -1, nullptr, -1, 0), 1017);
  EXPECT_EQ(Rc(l2), 1017);
  EXPECT_EQ(OciIntr::olog(l2, h2, "NOBODY", -1, "X", -1, nullptr, -1, 0), 1017);
  EXPECT_EQ(OciIntr::olog(l2, h2, nullptr, -1, nullptr, -1, nullptr, -1, 0), 1017);
  EXPECT_EQ(OciIntr::olog(l2, h2, "DEMO", -1, "DEMO", -1, "/nonexistent/db", -1, 0), 12154);
  // A failed logon leaves nothing to commit on.
  EXPECT_EQ(OciIntr::ocom(l2), 1012);
  // "user/password" in the user field; explicit lengths cut the strings.
  EXPECT_EQ(OciIntr::olog(l2, h2, "demo/demo", -1, nullptr, -1, nullptr, -1, 0), 0);
  EXPECT_EQ(OciIntr::olog(l2, h2, "DEMOXX", 4, "DEMOYY", 4, nullptr, -1, 0), 0);
  // A length past the text's end reads no further than its terminator.
  EXPECT_EQ(OciIntr::olog(l2, h2, "DEMO", 1 << 30, "DEMO", 1 << 30, nullptr, -1, 0), 0);
  EXPECT_EQ(Rc(l2), 0);
  EXPECT_EQ(OciIntr::ologof(l2), 0);
  EXPECT_EQ(OciIntr::ologof(l2), 1012);
  EXPECT_EQ(OciIntr::ocom(l2), 1012);
  EXPECT_EQ(OciIntr::orol(l2), 1012);
  unsigned char c2[64] = {};
  EXPECT_EQ(OciIntr::oopen(c2, l2, nullptr, -1, -1, nullptr, -1), 1012);

  EXPECT_EQ(Message(0), "ORA-00000: normal, successful completion");
  EXPECT_EQ(Message(1017), "ORA-01017: invalid username/password; logon denied");
  EXPECT_EQ(Message(1403), "ORA-01403: no data found");
  EXPECT_EQ(Message(1405), "ORA-01405: fetched column value is NULL");
  EXPECT_EQ(Message(1406), "ORA-01406: fetched column value was truncated");
  EXPECT_EQ(Message(1007), "ORA-01007: variable not in select list");
  EXPECT_EQ(Message(29999), "ORA-29999: Message 29999 not found;  product=RDBMS; facility=ORA");
  // A short buffer holds as much as fits, always terminated.
  char small[10];
  std::memset(small, '#', sizeof small);
  EXPECT_EQ(OciIntr::oerhms(lda, 942, small, sizeof small), 9);
  EXPECT_STREQ(small, "ORA-00942");
  char whole[100];
  EXPECT_EQ(OciIntr::oerhms(lda, 1403, whole, sizeof whole), 24); // the text's length
  EXPECT_EQ(OciIntr::oerhms(lda, 1403, whole, 0), 0);
}

TEST_F(CallInterface, ParseExecuteFunctionCodesAndErrorOffsets) {
  struct {
    const char* sql;
    int type;
  } kinds[] = {
      {"SELECT * FROM DEPT", 4},
      {"INSERT INTO DEPT VALUES (50, 'A', 'B')", 3},
      {"UPDATE EMP SET SAL = SAL WHERE DEPTNO = 30", 5},
      {"DELETE FROM DEPT WHERE DEPTNO = 50", 9},
      {"CREATE TABLE T1 (A NUMBER)", 1},
      {"CREATE INDEX T1_I ON T1 (A)", 20},
      {"ALTER INDEX T1_I RENAME TO T1_J", 41},
      {"CREATE SYNONYM T1_S FOR T1", 30},
      {"DROP SYNONYM T1_S", 31},
      {"CREATE VIEW T1_V AS SELECT * FROM T1", 10},
      {"DROP VIEW T1_V", 7},
      {"LOCK TABLE T1 IN EXCLUSIVE MODE", 35},
      {"COMMENT ON TABLE T1 IS 'x'", 38},
      {"CREATE OR REPLACE FUNCTION F1 RETURN NUMBER IS BEGIN RETURN 1; END;", 91},
      {"CREATE OR REPLACE PACKAGE PK IS X NUMBER; END;", 94},
      {"DROP PACKAGE PK", 96},
      {"DROP FUNCTION F1", 93},
      {"TRUNCATE TABLE T1", 85},
      {"DROP TABLE T1", 8},
      {"COMMIT", 54},
      {"ROLLBACK", 55},
  };
  for (auto& k : kinds) {
    EXPECT_EQ(Run(k.sql), 0) << k.sql << ": " << Message(Rc());
    EXPECT_EQ(FunctionType(), k.type) << k.sql;
    EXPECT_EQ(FunctionCode(), ociw32::kFcExec) << k.sql;
  }
  // Rows processed after DML: the six employees of department 30.
  EXPECT_EQ(Run("UPDATE EMP SET SAL = SAL WHERE DEPTNO = 30"), 0);
  EXPECT_EQ(Rpc(), 6u);
  EXPECT_EQ(Run("DELETE FROM EMP WHERE DEPTNO = 99"), 0);
  EXPECT_EQ(Rpc(), 0u);

  // Parse errors: the number, the offset of the token at fault, the OPARSE function code.
  struct {
    const char* sql;
    int code, offset;
  } errors[] = {
      {"SELECT * FRM EMP", 923, 9},
      {"SELECT ENAME, FROM EMP", 936, 14},
      {"SELECT ENAMEX FROM EMP", 904, 7},
      {"SELECT ENAME FROM EMPX", 942, 18},
      {"SELECT ENAME FROM EMP WHERE", 936, 27},
      {"SELEC ENAME FROM EMP", 900, 0},
      {"SELECT 'abc FROM DUAL", 1756, 7},
  };
  for (auto& e : errors) {
    EXPECT_EQ(Parse(e.sql), e.code) << e.sql;
    EXPECT_EQ(Rc(), e.code) << e.sql;
    EXPECT_EQ(ErrorOffset(), e.offset) << e.sql;
    EXPECT_EQ(FunctionCode(), ociw32::kFcParse) << e.sql;
  }
  // Nothing parsed: execute has no statement, fetch is out of sequence.
  EXPECT_EQ(OciIntr::oexec(cda), 1003);
  EXPECT_EQ(OciIntr::ofetch(cda), 1002);
  // A deferred parse keeps its error for the describe, define or execute that needs it.
  const char* bad = "SELECT ENAMEX FROM EMP";
  EXPECT_EQ(OciIntr::oparse(cda, bad, -1, 1, 2), 0);
  EXPECT_EQ(OciIntr::oexec(cda), 904);
  EXPECT_EQ(ErrorOffset(), 7);
  EXPECT_EQ(FunctionCode(), ociw32::kFcExec);
  EXPECT_EQ(OciIntr::oexec(cda), 1003); // reported once; nothing is parsed
  EXPECT_EQ(OciIntr::oparse(cda, bad, -1, 1, 2), 0);
  EXPECT_EQ(OciIntr::odescr(cda, 1, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                            nullptr),
            904);
  EXPECT_EQ(OciIntr::oparse(cda, "SELECT ENAME FROM EMP", -1, 1, 2), 0);
  EXPECT_EQ(OciIntr::oexec(cda), 0);
  // A query whose execution failed has no rows to fetch.
  EXPECT_EQ(Run("SELECT * FROM EMP WHERE SAL > 'abc'"), 1722);
  EXPECT_EQ(OciIntr::ofetch(cda), 1002);
  // A constraint failure reports no rows processed.
  EXPECT_EQ(Run("INSERT INTO DEPT VALUES (10, 'X', 'Y')"), 1);
  EXPECT_EQ(Rpc(), 0u);
  EXPECT_EQ(Run("INSERT INTO EMP (EMPNO) VALUES (NULL)"), 1400);
  EXPECT_EQ(Run("UPDATE DEPT SET DNAME = 'ABCDEFGHIJKLMNOPQRSTU' WHERE DEPTNO = 10"), 12899);
}

TEST_F(CallInterface, DescribeReportsOraclesColumnAttributes) {
  ASSERT_EQ(Parse("SELECT EMPNO, ENAME, HIREDATE, SAL, DEPTNO, ENAME || 'x', SAL * 2, 'abc', "
                  "COUNT(*) OVER () FROM EMP"),
            0);
  struct {
    const char* name;
    int type, dbsize, dsize, prec, scale, nullok;
  } want[] = {
      {"EMPNO", 2, 22, 6, 4, 0, 0},           {"ENAME", 1, 10, 10, 0, 0, 1},
      {"HIREDATE", 12, 7, 9, 0, 0, 1},        {"SAL", 2, 22, 9, 7, 2, 1},
      {"DEPTNO", 2, 22, 4, 2, 0, 1},          {"ENAME||'X'", 1, 11, 11, 0, 0, 1},
      {"SAL*2", 2, 22, 40, 0, 0, 1},          {"'ABC'", 96, 3, 3, 0, 0, 1},
      {"COUNT(*)OVER()", 2, 22, 40, 0, 0, 1},
  };
  int pos = 1;
  for (auto& w : want) {
    int dbsize = -1, dsize = -1, nameLen = 31;
    short type = -1, prec = -1, scale = -1, nullok = -1;
    char name[32] = {};
    ASSERT_EQ(
        OciIntr::odescr(cda, pos, &dbsize, &type, name, &nameLen, &dsize, &prec, &scale, &nullok),
        0)
        << pos;
    EXPECT_EQ(std::string(name, static_cast<size_t>(nameLen)), w.name) << pos;
    EXPECT_EQ(type, w.type) << w.name;
    EXPECT_EQ(dbsize, w.dbsize) << w.name;
    EXPECT_EQ(dsize, w.dsize) << w.name;
    EXPECT_EQ(prec, w.prec) << w.name;
    EXPECT_EQ(scale, w.scale) << w.name;
    EXPECT_EQ(nullok, w.nullok) << w.name;
    EXPECT_EQ(FunctionCode(), ociw32::kFcDescribe);
    ++pos;
  }
  // Past the last column, before the first, and on a statement without a select list.
  int dbsize = 0;
  short type = 0;
  EXPECT_EQ(OciIntr::odescr(cda, pos, &dbsize, &type, nullptr, nullptr, nullptr, nullptr, nullptr,
                            nullptr),
            1007);
  EXPECT_EQ(Rc(), 1007);
  EXPECT_EQ(
      OciIntr::odescr(cda, 0, &dbsize, &type, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
      1007);
  ASSERT_EQ(Parse("UPDATE EMP SET SAL = SAL"), 0);
  EXPECT_EQ(
      OciIntr::odescr(cda, 1, &dbsize, &type, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
      1007);
  unsigned char buf[8];
  EXPECT_EQ(OciIntr::odefin(cda, 1, buf, 8, ociw32::kExtString, -1, nullptr, nullptr, -1, -1,
                            nullptr, nullptr),
            1007);
  // Every output may be left out.
  ASSERT_EQ(Parse("SELECT ENAME FROM EMP"), 0);
  EXPECT_EQ(OciIntr::odescr(cda, 1, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                            nullptr),
            0);
}

// A column's NOT NULL is remembered between describes only while the table stays as it was.
TEST_F(CallInterface, DescribeFollowsNotNullChanges) {
  auto nullOk = [&](const std::string& sql) {
    EXPECT_EQ(Parse(sql), 0) << sql;
    int dbsize = 0;
    short type = 0, nullok = -1;
    EXPECT_EQ(OciIntr::odescr(cda, 1, &dbsize, &type, nullptr, nullptr, nullptr, nullptr, nullptr,
                              &nullok),
              0);
    return nullok;
  };
  ASSERT_EQ(Run("CREATE TABLE NN (A NUMBER, B VARCHAR2(5))"), 0);
  EXPECT_EQ(nullOk("SELECT A FROM NN X1"), 1);
  EXPECT_EQ(nullOk("SELECT A FROM NN X2"), 1);
  ASSERT_EQ(Run("ALTER TABLE NN MODIFY (A NOT NULL)"), 0);
  EXPECT_EQ(nullOk("SELECT A FROM NN X3"), 0);
  EXPECT_EQ(nullOk("SELECT * FROM NN"), 0);
  ASSERT_EQ(Run("ALTER TABLE NN MODIFY (A NULL)"), 0);
  EXPECT_EQ(nullOk("SELECT A FROM NN X4"), 1);
  // the same name for another table
  ASSERT_EQ(Run("DROP TABLE NN"), 0);
  ASSERT_EQ(Run("CREATE TABLE NN (A NUMBER PRIMARY KEY)"), 0);
  EXPECT_EQ(nullOk("SELECT A FROM NN X5"), 0);
}

TEST_F(CallInterface, DefinesConvertIntoEachExternalType) {
  One o = FetchOne("SELECT ENAME FROM EMP WHERE EMPNO = 7839", ociw32::kExtString, 20);
  EXPECT_EQ(o.fetch, 0);
  EXPECT_STREQ(reinterpret_cast<char*>(o.buf), "KING");
  EXPECT_EQ(o.len, 4);
  EXPECT_EQ(o.ind, 0);
  EXPECT_EQ(o.code, 0);
  EXPECT_EQ(Rpc(), 1u);
  EXPECT_EQ(FunctionCode(), ociw32::kFcFetch);
  // CHARZ pads with blanks and ends with a NUL; CHAR pads the whole buffer; VARCHAR2 is bare.
  o = FetchOne("SELECT ENAME FROM EMP WHERE EMPNO = 7839", ociw32::kExtCharz, 8);
  EXPECT_EQ(o.Text(8), std::string("KING   \0", 8));
  EXPECT_EQ(o.len, 7);
  o = FetchOne("SELECT ENAME FROM EMP WHERE EMPNO = 7839", ociw32::kExtChar, 8);
  EXPECT_EQ(o.Text(9), "KING    #");
  EXPECT_EQ(o.len, 8);
  o = FetchOne("SELECT ENAME FROM EMP WHERE EMPNO = 7839", ociw32::kExtVarchar2, 8);
  EXPECT_EQ(o.Text(5), "KING#");
  EXPECT_EQ(o.len, 4);
  // NUMBER to text as TO_CHAR gives it, and back from text to a float.
  o = FetchOne("SELECT 0.5, -0.5 FROM DUAL", ociw32::kExtString, 20);
  EXPECT_STREQ(reinterpret_cast<char*>(o.buf), ".5");
  o = FetchOne("SELECT SAL FROM EMP WHERE EMPNO = 7839", ociw32::kExtString, 20);
  EXPECT_STREQ(reinterpret_cast<char*>(o.buf), "5000");
  o = FetchOne("SELECT '12.5' FROM DUAL", ociw32::kExtFloat, 8);
  EXPECT_EQ(o.fetch, 0);
  EXPECT_EQ(o.Value<double>(), 12.5);
  EXPECT_EQ(o.len, 8);
  // FLOAT of four bytes is a C float.
  o = FetchOne("SELECT SAL FROM EMP WHERE EMPNO = 7839", ociw32::kExtFloat, 4);
  EXPECT_EQ(o.fetch, 0);
  EXPECT_EQ(o.Value<float>(), 5000.0f);
  EXPECT_EQ(o.len, 4);
  // INTEGER and UNSIGNED: native integers, the fraction dropped; too big is an overflow.
  o = FetchOne("SELECT EMPNO FROM EMP WHERE EMPNO = 7839", ociw32::kExtInteger, 4);
  EXPECT_EQ(o.fetch, 0);
  EXPECT_EQ(o.Value<int32_t>(), 7839);
  EXPECT_EQ(o.len, 4);
  o = FetchOne("SELECT -SAL / 7 FROM EMP WHERE EMPNO = 7839", ociw32::kExtInteger, 4);
  EXPECT_EQ(o.Value<int32_t>(), -714);
  o = FetchOne("SELECT '42' FROM DUAL", ociw32::kExtInteger, 2);
  EXPECT_EQ(o.Value<int16_t>(), 42);
  EXPECT_EQ(FetchOne("SELECT 300 FROM DUAL", ociw32::kExtInteger, 1).fetch, 1455);
  EXPECT_EQ(FetchOne("SELECT -1 FROM DUAL", ociw32::kExtUnsigned, 4).fetch, 1455);
  EXPECT_EQ(FetchOne("SELECT 1E20 FROM DUAL", ociw32::kExtInteger, 8).fetch, 1455);
  EXPECT_EQ(FetchOne("SELECT 'x' FROM DUAL", ociw32::kExtInteger, 4).fetch, 1722);
  EXPECT_EQ(FetchOne("SELECT HIREDATE FROM EMP", ociw32::kExtInteger, 4).fetch, 932);
  // DATE in Oracle's seven bytes: century and year plus 100, hour, minute and second plus 1.
  o = FetchOne("SELECT HIREDATE FROM EMP WHERE EMPNO = 7839", ociw32::kExtDate, 7);
  const unsigned char king[7] = {119, 181, 11, 17, 1, 1, 1};
  EXPECT_EQ(std::memcmp(o.buf, king, 7), 0);
  EXPECT_EQ(o.len, 7);
  o = FetchOne("SELECT '1981-11-17' FROM DUAL", ociw32::kExtDate, 7);
  EXPECT_EQ(std::memcmp(o.buf, king, 7), 0);
  EXPECT_EQ(FetchOne("SELECT 'zz' FROM DUAL", ociw32::kExtDate, 7).fetch, 1858);
  // RAW: bytes as they are; as text, hex digits.
  o = FetchOne("SELECT HEXTORAW('0A0B') FROM DUAL", ociw32::kExtRaw, 10);
  EXPECT_EQ(o.Text(3), "\x0a\x0b#");
  EXPECT_EQ(o.len, 2);
  o = FetchOne("SELECT HEXTORAW('0A0B') FROM DUAL", ociw32::kExtString, 10);
  EXPECT_STREQ(reinterpret_cast<char*>(o.buf), "0A0B");
  // Conversions Oracle has no rule for are inconsistent datatypes; text that is no number is
  // an invalid number.
  EXPECT_EQ(FetchOne("SELECT HIREDATE FROM EMP", ociw32::kExtFloat, 8).fetch, 932);
  EXPECT_EQ(FetchOne("SELECT SAL FROM EMP", ociw32::kExtDate, 7).fetch, 932);
  EXPECT_EQ(FetchOne("SELECT SAL FROM EMP", ociw32::kExtRaw, 8).fetch, 932);
  EXPECT_EQ(FetchOne("SELECT HIREDATE FROM EMP", ociw32::kExtRaw, 8).fetch, 932);
  EXPECT_EQ(FetchOne("SELECT 'abc' FROM DUAL", ociw32::kExtFloat, 8).fetch, 1722);
  // A define the library cannot serve is refused at once.
  ASSERT_EQ(Parse("SELECT SAL FROM EMP"), 0);
  unsigned char buf[8];
  EXPECT_EQ(OciIntr::odefin(cda, 1, buf, 6, ociw32::kExtFloat, -1, nullptr, nullptr, -1, -1,
                            nullptr, nullptr),
            932);
  EXPECT_EQ(OciIntr::odefin(cda, 1, buf, 8, 99, -1, nullptr, nullptr, -1, -1, nullptr, nullptr),
            932);
  EXPECT_EQ(OciIntr::odefin(cda, 1, buf, 3, ociw32::kExtInteger, -1, nullptr, nullptr, -1, -1,
                            nullptr, nullptr),
            932);
  EXPECT_EQ(OciIntr::odefin(cda, 1, buf, -8, ociw32::kExtString, -1, nullptr, nullptr, -1, -1,
                            nullptr, nullptr),
            932);
  EXPECT_EQ(OciIntr::odefin(cda, 2, buf, 8, ociw32::kExtString, -1, nullptr, nullptr, -1, -1,
                            nullptr, nullptr),
            1007);
  EXPECT_EQ(FunctionCode(), ociw32::kFcDefine);
}

// A NUMBER keeps 20 base-100 digits on its way to the program: as text all 39 or 40 decimal
// digits, and in Oracle's own form (the guide's NUMBER and VARNUM external types) an exponent
// byte and every digit byte, negative values complemented.
TEST_F(CallInterface, NumbersReachTheProgramWithAllTheirDigits) {
  One o = FetchOne("SELECT AVG(SAL) FROM EMP", ociw32::kExtString, 64);
  EXPECT_STREQ(reinterpret_cast<char*>(o.buf), "2073.214285714285714285714285714285714286");
  o = FetchOne("SELECT 10/3 FROM DUAL", ociw32::kExtString, 64);
  EXPECT_STREQ(reinterpret_cast<char*>(o.buf), "3.33333333333333333333333333333333333333");
  o = FetchOne("SELECT AVG(SAL) FROM EMP", ociw32::kExtNumber, 21);
  const unsigned char avg[21] = {194, 21, 74, 22, 43, 86, 72, 43, 86, 72, 43,
                                 86,  72, 43, 86, 72, 43, 86, 72, 43, 87};
  EXPECT_EQ(o.fetch, 0);
  EXPECT_EQ(o.len, 21);
  EXPECT_EQ(std::memcmp(o.buf, avg, 21), 0);
  // twenty digits 66 and a last 67, each 101 minus the digit; no 102 after twenty digits
  o = FetchOne("SELECT -2/3 FROM DUAL", ociw32::kExtNumber, 21);
  unsigned char twoThirds[21];
  std::memset(twoThirds, 35, sizeof twoThirds);
  twoThirds[0] = 63;
  twoThirds[20] = 34;
  EXPECT_EQ(o.len, 21);
  EXPECT_EQ(std::memcmp(o.buf, twoThirds, 21), 0);
  o = FetchOne("SELECT -5 FROM DUAL", ociw32::kExtVarnum, 22);
  EXPECT_EQ(o.Text(4), std::string("\x03\x3e\x60\x66"));
  EXPECT_EQ(o.len, 4);
  o = FetchOne("SELECT SAL FROM EMP WHERE EMPNO = 7839", ociw32::kExtNumber, 21);
  EXPECT_EQ(o.Text(3), "\xc2\x33#");
  o = FetchOne("SELECT 0 FROM DUAL", ociw32::kExtNumber, 21);
  EXPECT_EQ(o.Text(2), "\x80#");
  // a value stored in a NUMBER column comes back with the same forty digits
  ASSERT_EQ(Run("CREATE TABLE N40 (N NUMBER)"), 0);
  ASSERT_EQ(Run("INSERT INTO N40 VALUES (1/3)"), 0);
  o = FetchOne("SELECT N FROM N40", ociw32::kExtNumber, 21);
  unsigned char third[21];
  std::memset(third, 34, sizeof third);
  third[0] = 192;
  EXPECT_EQ(o.len, 21);
  EXPECT_EQ(std::memcmp(o.buf, third, 21), 0);
  o = FetchOne("SELECT N FROM N40", ociw32::kExtString, 64);
  EXPECT_STREQ(reinterpret_cast<char*>(o.buf), ".3333333333333333333333333333333333333333");
  // a buffer too short is truncated; text that is no number and a DATE have no NUMBER form
  o = FetchOne("SELECT N FROM N40", ociw32::kExtNumber, 4);
  EXPECT_EQ(o.fetch, 1406);
  EXPECT_EQ(o.len, 4);
  EXPECT_EQ(o.ind, 21);
  EXPECT_EQ(FetchOne("SELECT 'abc' FROM DUAL", ociw32::kExtNumber, 21).fetch, 1722);
  EXPECT_EQ(FetchOne("SELECT HIREDATE FROM EMP", ociw32::kExtVarnum, 22).fetch, 932);
}

TEST_F(CallInterface, TruncationNullsAndTheEndOfFetch) {
  // A value cut to the buffer: ORA-01406 for the call, the column's own code, the indicator
  // holding the whole length and the returned length what was put.
  One o = FetchOne("SELECT ENAME FROM EMP WHERE EMPNO = 7839", ociw32::kExtString, 4);
  EXPECT_EQ(o.fetch, 1406);
  EXPECT_EQ(Rc(), 1406);
  EXPECT_STREQ(reinterpret_cast<char*>(o.buf), "KIN");
  EXPECT_EQ(o.ind, 4);
  EXPECT_EQ(o.len, 3);
  EXPECT_EQ(o.code, 1406);
  EXPECT_EQ(Rpc(), 1u); // the row was delivered all the same
  o = FetchOne("SELECT 12345 FROM DUAL", ociw32::kExtString, 3);
  EXPECT_EQ(o.fetch, 1406);
  EXPECT_EQ(o.ind, 5);
  o = FetchOne("SELECT HEXTORAW('0A0B0C') FROM DUAL", ociw32::kExtRaw, 2);
  EXPECT_EQ(o.fetch, 1406);
  EXPECT_EQ(o.len, 2);
  EXPECT_EQ(o.ind, 3);
  // NULL: indicator -1 and a whole fetch; without an indicator ORA-01405.
  o = FetchOne("SELECT COMM FROM EMP WHERE EMPNO = 7839", ociw32::kExtFloat, 8);
  EXPECT_EQ(o.fetch, 0);
  EXPECT_EQ(o.ind, -1);
  EXPECT_EQ(o.code, 1405);
  o = FetchOne("SELECT COMM FROM EMP WHERE EMPNO = 7839", ociw32::kExtFloat, 8, false);
  EXPECT_EQ(o.fetch, 1405);
  EXPECT_EQ(Rc(), 1405);
  EXPECT_EQ(o.code, 1405);
  EXPECT_EQ(Rpc(), 1u);
  // The fetch goes on with the next row.
  EXPECT_EQ(OciIntr::ofetch(cda), 1403);

  // Array fetches: rows processed counts every row delivered; the call that reaches the end
  // returns 1403, also when it delivered a last partial batch.
  ASSERT_EQ(Parse("SELECT EMPNO, COMM FROM EMP ORDER BY EMPNO"), 0);
  double no[5], comm[5];
  short ind[5];
  ASSERT_EQ(OciIntr::odefin(cda, 1, reinterpret_cast<unsigned char*>(no), 8, ociw32::kExtFloat, -1,
                            nullptr, nullptr, -1, -1, nullptr, nullptr),
            0);
  ASSERT_EQ(OciIntr::odefin(cda, 2, reinterpret_cast<unsigned char*>(comm), 8, ociw32::kExtFloat,
                            -1, ind, nullptr, -1, -1, nullptr, nullptr),
            0);
  EXPECT_EQ(OciIntr::ofetch(cda), 1002); // before execute
  ASSERT_EQ(OciIntr::oexec(cda), 0);
  EXPECT_EQ(OciIntr::ofen(cda, 5), 0);
  EXPECT_EQ(Rpc(), 5u);
  EXPECT_EQ(no[0], 7369);
  EXPECT_EQ(ind[0], -1);
  EXPECT_EQ(comm[1], 300);
  EXPECT_EQ(OciIntr::ofen(cda, 5), 0);
  EXPECT_EQ(Rpc(), 10u);
  EXPECT_EQ(OciIntr::ofen(cda, 5), 1403);
  EXPECT_EQ(Rpc(), 14u);
  EXPECT_EQ(no[3], 7934);
  EXPECT_EQ(OciIntr::ofen(cda, 5), 1403);
  EXPECT_EQ(Rpc(), 14u);
  EXPECT_EQ(OciIntr::ofetch(cda), 1403);
  EXPECT_EQ(OciIntr::ofen(cda, 0), 24333);

  // A row whose value cannot be converted fails alone; the next fetch moves on.
  ASSERT_EQ(Run("CREATE TABLE TX (V VARCHAR2(10))"), 0);
  for (const char* v : {"1", "x", "3"})
    ASSERT_EQ(Run(std::string("INSERT INTO TX VALUES ('") + v + "')"), 0);
  ASSERT_EQ(Parse("SELECT V FROM TX ORDER BY ROWID"), 0);
  double x;
  short xi;
  ASSERT_EQ(OciIntr::odefin(cda, 1, reinterpret_cast<unsigned char*>(&x), 8, ociw32::kExtFloat, -1,
                            &xi, nullptr, -1, -1, nullptr, nullptr),
            0);
  ASSERT_EQ(OciIntr::oexec(cda), 0);
  EXPECT_EQ(OciIntr::ofetch(cda), 0);
  EXPECT_EQ(OciIntr::ofetch(cda), 1722);
  EXPECT_EQ(OciIntr::ofetch(cda), 0);
  EXPECT_EQ(x, 3);
  EXPECT_EQ(OciIntr::ofetch(cda), 1403);
  // A query that breaks off while making its rows leaves nothing more to fetch.
  ASSERT_EQ(Parse("SELECT TO_NUMBER(V) FROM TX"), 0);
  ASSERT_EQ(OciIntr::odefin(cda, 1, reinterpret_cast<unsigned char*>(&x), 8, ociw32::kExtFloat, -1,
                            &xi, nullptr, -1, -1, nullptr, nullptr),
            0);
  ASSERT_EQ(OciIntr::oexec(cda), 0);
  EXPECT_EQ(OciIntr::ofetch(cda), 0);
  EXPECT_EQ(OciIntr::ofetch(cda), 1722);
  EXPECT_EQ(OciIntr::ofetch(cda), 1002);
}

TEST_F(CallInterface, LongPiecesAtOffsets) {
  ASSERT_EQ(Run("CREATE TABLE TL (ID NUMBER, L LONG)"), 0);
  ASSERT_EQ(Run("INSERT INTO TL VALUES (1, 'abcdefghijklmnopqrstuvwxyz')"), 0);
  ASSERT_EQ(Run("INSERT INTO TL VALUES (2, NULL)"), 0);
  ASSERT_EQ(Run("CREATE TABLE TR (L LONG RAW)"), 0);
  ASSERT_EQ(Run("INSERT INTO TR VALUES (HEXTORAW('000102030405060708090A'))"), 0);

  ASSERT_EQ(Parse("SELECT ID, L FROM TL ORDER BY ID"), 0);
  unsigned char first[8], piece[8];
  short ind;
  unsigned short len, code;
  unsigned int got = 99;
  ASSERT_EQ(
      OciIntr::odefin(cda, 2, first, 8, ociw32::kExtString, -1, &ind, nullptr, -1, -1, &len, &code),
      0);
  EXPECT_EQ(OciIntr::oflng(cda, 2, piece, 6, ociw32::kExtString, &got, 0), 1002); // not run
  ASSERT_EQ(OciIntr::oexec(cda), 0);
  EXPECT_EQ(OciIntr::oflng(cda, 2, piece, 6, ociw32::kExtString, &got, 0), 1002); // no row yet
  // The defined buffer holds the first piece, reported as truncated.
  EXPECT_EQ(OciIntr::ofetch(cda), 1406);
  EXPECT_STREQ(reinterpret_cast<char*>(first), "abcdefg");
  EXPECT_EQ(ind, 26);
  struct {
    int offset;
    const char* text;
  } pieces[] = {{0, "abcde"}, {5, "fghij"}, {20, "uvwxy"}, {25, "z"}, {26, ""}, {40, ""}, {-1, ""}};
  for (auto& p : pieces) {
    std::memset(piece, '#', sizeof piece);
    EXPECT_EQ(OciIntr::oflng(cda, 2, piece, 6, ociw32::kExtString, &got, p.offset), 0) << p.offset;
    EXPECT_STREQ(reinterpret_cast<char*>(piece), p.text) << p.offset;
    EXPECT_EQ(got, std::strlen(p.text)) << p.offset;
    EXPECT_EQ(FunctionCode(), ociw32::kFcFetchLong);
  }
  // VARCHAR2 and LONG pieces are bare bytes, the whole buffer's worth.
  std::memset(piece, '#', sizeof piece);
  EXPECT_EQ(OciIntr::oflng(cda, 2, piece, 6, ociw32::kExtLong, &got, 2), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(piece), 7), "cdefgh#");
  EXPECT_EQ(got, 6u);
  EXPECT_EQ(OciIntr::oflng(cda, 1, piece, 6, ociw32::kExtString, &got, 0), 932); // not LONG
  EXPECT_EQ(OciIntr::oflng(cda, 3, piece, 6, ociw32::kExtString, &got, 0), 1007);
  EXPECT_EQ(OciIntr::oflng(cda, 2, piece, 6, ociw32::kExtDate, &got, 0), 932);
  EXPECT_EQ(OciIntr::oflng(cda, 2, nullptr, 6, ociw32::kExtString, &got, 0), 1010);
  // A NULL LONG has no bytes.
  EXPECT_EQ(OciIntr::ofetch(cda), 0);
  EXPECT_EQ(ind, -1);
  EXPECT_EQ(OciIntr::oflng(cda, 2, piece, 6, ociw32::kExtString, &got, 0), 0);
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(OciIntr::ofetch(cda), 1403);
  EXPECT_EQ(OciIntr::oflng(cda, 2, piece, 6, ociw32::kExtString, &got, 0), 1002);

  // LONG RAW: bytes at byte offsets; read as text, hex digits at digit offsets.
  ASSERT_EQ(Parse("SELECT L FROM TR"), 0);
  ASSERT_EQ(OciIntr::odefin(cda, 1, first, 4, ociw32::kExtLongRaw, -1, &ind, nullptr, -1, -1, &len,
                            &code),
            0);
  ASSERT_EQ(OciIntr::oexec(cda), 0);
  EXPECT_EQ(OciIntr::ofetch(cda), 1406);
  EXPECT_EQ(ind, 11);
  EXPECT_EQ(len, 4);
  EXPECT_EQ(OciIntr::oflng(cda, 1, piece, 4, ociw32::kExtLongRaw, &got, 8), 0);
  EXPECT_EQ(got, 3u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(piece), 3), "\x08\x09\x0a");
  EXPECT_EQ(OciIntr::oflng(cda, 1, piece, 8, ociw32::kExtString, &got, 2), 0);
  EXPECT_STREQ(reinterpret_cast<char*>(piece), "0102030");
}

TEST_F(CallInterface, CommitRollbackAndOpenQueries) {
  unsigned char l2[64] = {}, h2[256] = {}, c2[64] = {};
  ASSERT_EQ(OciIntr::olog(l2, h2, "DEMO", -1, "DEMO", -1, nullptr, -1, 0), 0);
  ASSERT_EQ(OciIntr::oopen(c2, l2, nullptr, -1, -1, nullptr, -1), 0);
  double n = 0;
  auto count = [&] {
    n = -1;
    if (OciIntr::oparse(c2, "SELECT COUNT(*) FROM DEPT", -1, 0, 2) ||
        OciIntr::odefin(c2, 1, reinterpret_cast<unsigned char*>(&n), 8, ociw32::kExtFloat, -1,
                        nullptr, nullptr, -1, -1, nullptr, nullptr) ||
        OciIntr::oexec(c2) || OciIntr::ofetch(c2))
      return -1.0;
    return n;
  };
  // Other logons see a change once it is committed; a rolled back one never.
  ASSERT_EQ(Run("INSERT INTO DEPT VALUES (50, 'A', 'B')"), 0);
  EXPECT_EQ(count(), 4);
  EXPECT_EQ(OciIntr::ocom(lda), 0);
  EXPECT_EQ(Rc(lda), 0);
  EXPECT_EQ(count(), 5);
  ASSERT_EQ(Run("DELETE FROM DEPT WHERE DEPTNO = 50"), 0);
  EXPECT_EQ(OciIntr::orol(lda), 0);
  EXPECT_EQ(count(), 5);

  char name[12];
  short ind;
  auto open = [&](const char* sql) {
    ASSERT_EQ(Parse(sql), 0);
    ASSERT_EQ(OciIntr::odefin(cda, 1, reinterpret_cast<unsigned char*>(name), sizeof name,
                              ociw32::kExtString, -1, &ind, nullptr, -1, -1, nullptr, nullptr),
              0);
    ASSERT_EQ(OciIntr::oexec(cda), 0);
    ASSERT_EQ(OciIntr::ofetch(cda), 0);
  };
  // A query goes on fetching across the end of a transaction ...
  open("SELECT ENAME FROM EMP ORDER BY EMPNO");
  EXPECT_EQ(OciIntr::ocom(lda), 0);
  EXPECT_EQ(OciIntr::ofetch(cda), 0);
  EXPECT_STREQ(name, "ALLEN");
  EXPECT_EQ(OciIntr::orol(lda), 0);
  EXPECT_EQ(OciIntr::ofetch(cda), 0);
  EXPECT_STREQ(name, "WARD");
  // ... but one that locked its rows lost them: its fetch is out of sequence.
  open("SELECT ENAME FROM EMP ORDER BY EMPNO FOR UPDATE");
  EXPECT_EQ(OciIntr::ocom(lda), 0);
  EXPECT_EQ(OciIntr::ofetch(cda), 1002);
  EXPECT_EQ(Rpc(), 1u);
  open("SELECT ENAME FROM EMP ORDER BY EMPNO FOR UPDATE");
  EXPECT_EQ(OciIntr::orol(lda), 0);
  EXPECT_EQ(OciIntr::ofetch(cda), 1002);
  unsigned char c3[64] = {};
  ASSERT_EQ(OciIntr::oopen(c3, lda, nullptr, -1, -1, nullptr, -1), 0);
  open("SELECT ENAME FROM EMP ORDER BY EMPNO FOR UPDATE");
  ASSERT_EQ(OciIntr::oparse(c3, "COMMIT", -1, 0, 2), 0);
  ASSERT_EQ(OciIntr::oexec(c3), 0);
  EXPECT_EQ(OciIntr::ofetch(cda), 1002);
  // Executed again, it fetches from the start.
  ASSERT_EQ(OciIntr::oexec(cda), 0);
  EXPECT_EQ(OciIntr::ofetch(cda), 0);
  EXPECT_STREQ(name, "SMITH");
  OciIntr::oclose(c3);
  OciIntr::oclose(c2);
  OciIntr::ologof(l2);
}

TEST_F(CallInterface, BadAreasAndArgumentsAreOracleErrors) {
  EXPECT_EQ(OciIntr::ocom(nullptr), 1012);
  EXPECT_EQ(OciIntr::orol(nullptr), 1012);
  EXPECT_EQ(OciIntr::ologof(nullptr), 1012);
  EXPECT_EQ(OciIntr::oopen(nullptr, lda, nullptr, -1, -1, nullptr, -1), 1001);
  EXPECT_EQ(OciIntr::oclose(nullptr), 1001);
  EXPECT_EQ(OciIntr::oparse(nullptr, "SELECT 1 FROM DUAL", -1, 0, 2), 1001);
  EXPECT_EQ(OciIntr::oexec(nullptr), 1001);
  EXPECT_EQ(OciIntr::ofetch(nullptr), 1001);
  EXPECT_EQ(OciIntr::ofen(nullptr, 5), 1001);
  EXPECT_EQ(OciIntr::odescr(nullptr, 1, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                            nullptr, nullptr),
            1001);
  EXPECT_EQ(
      OciIntr::odefin(nullptr, 1, nullptr, 0, 5, -1, nullptr, nullptr, -1, -1, nullptr, nullptr),
      1001);
  EXPECT_EQ(OciIntr::oflng(nullptr, 1, nullptr, 0, 5, nullptr, 0), 1001);
  EXPECT_EQ(OciIntr::oerhms(lda, 942, nullptr, 10), 0);

  // An area that was never opened, whatever its bytes hold.
  unsigned char never[64];
  std::memset(never, 0xff, sizeof never);
  EXPECT_EQ(OciIntr::oparse(never, "SELECT 1 FROM DUAL", -1, 0, 2), 1001);
  EXPECT_EQ(Rc(never), 1001);
  EXPECT_EQ(OciIntr::oexec(never), 1001);
  EXPECT_EQ(OciIntr::ofen(never, 5), 1001);
  EXPECT_EQ(OciIntr::oflng(never, 1, nullptr, 0, 5, nullptr, 0), 1001);
  EXPECT_EQ(OciIntr::oclose(never), 1001);
  EXPECT_EQ(OciIntr::oopen(never, nullptr, nullptr, -1, -1, nullptr, -1), 1012);

  // A closed cursor is an invalid cursor; empty and missing text is no statement.
  EXPECT_EQ(Parse(""), 900);
  EXPECT_EQ(OciIntr::oparse(cda, nullptr, -1, 0, 2), 900);
  EXPECT_EQ(OciIntr::oparse(cda, "SELECT 1 FROM DUAL", 5, 0, 2), 900); // "SELEC"
  ASSERT_EQ(OciIntr::oclose(cda), 0);
  EXPECT_EQ(OciIntr::oclose(cda), 1001);
  EXPECT_EQ(Parse("SELECT 1 FROM DUAL"), 1001);
  EXPECT_EQ(OciIntr::ofetch(cda), 1001);
  EXPECT_EQ(FunctionCode(), ociw32::kFcFetch);

  // A cursor whose logon ended reports that it is not logged on.
  ASSERT_EQ(OciIntr::oopen(cda, lda, nullptr, -1, -1, nullptr, -1), 0);
  ASSERT_EQ(Run("SELECT * FROM EMP"), 0);
  ASSERT_EQ(OciIntr::ologof(lda), 0);
  EXPECT_EQ(OciIntr::ofetch(cda), 1012);
  EXPECT_EQ(Parse("SELECT * FROM EMP"), 1012);
  EXPECT_EQ(OciIntr::oclose(cda), 0);
}

} // namespace

TEST_F(CallInterface, TimestampsDescribeAndConvert) {
  ASSERT_EQ(Run("CREATE TABLE TS (A TIMESTAMP, B TIMESTAMP(3), Z TIMESTAMP WITH TIME ZONE)"), 0);
  ASSERT_EQ(Run("INSERT INTO TS VALUES (TIMESTAMP '2000-01-02 03:04:05.678', "
                "TIMESTAMP '2000-01-02 03:04:05.6785', SYSTIMESTAMP)"),
            0);
  // Oracle's internal codes 180 and 181, the size of the value, the fraction's digits as scale
  ASSERT_EQ(Parse("SELECT A, B, Z FROM TS"), 0);
  struct {
    int type, dbsize, dsize, scale;
  } want[] = {{180, 11, 24, 6}, {180, 11, 21, 3}, {181, 13, 31, 6}};
  for (int pos = 1; pos <= 3; ++pos) {
    int dbsize = -1, dsize = -1;
    short type = -1, prec = -1, scale = -1;
    ASSERT_EQ(
        OciIntr::odescr(cda, pos, &dbsize, &type, nullptr, nullptr, &dsize, &prec, &scale, nullptr),
        0);
    EXPECT_EQ(type, want[pos - 1].type) << pos;
    EXPECT_EQ(dbsize, want[pos - 1].dbsize) << pos;
    EXPECT_EQ(dsize, want[pos - 1].dsize) << pos;
    EXPECT_EQ(prec, 0) << pos;
    EXPECT_EQ(scale, want[pos - 1].scale) << pos;
  }
  // Text in the session's timestamp format, rounded to the column's digits when stored.
  One o = FetchOne("SELECT B FROM TS", ociw32::kExtString, 40);
  EXPECT_EQ(o.fetch, 0);
  EXPECT_STREQ(reinterpret_cast<char*>(o.buf), "00-01-02 03:04:05.679");
  // A 7-byte date has no fraction; a number is no conversion of a timestamp.
  o = FetchOne("SELECT A FROM TS", ociw32::kExtDate, 7);
  EXPECT_EQ(o.fetch, 0);
  const unsigned char date[] = {120, 100, 1, 2, 4, 5, 6};
  EXPECT_EQ(std::memcmp(o.buf, date, 7), 0);
  o = FetchOne("SELECT A FROM TS", ociw32::kExtFloat, 8);
  EXPECT_EQ(o.fetch, 932);
}

// A version-7 client knows no LOB types: CLOB and NCLOB are described and fetched as LONG,
// BLOB as LONG RAW, so that every client reads them piece by piece; an empty LOB is a value of
// length 0, unlike NULL.
TEST_F(CallInterface, LobColumnsDescribeAsLongAndFetchInPieces) {
  ASSERT_EQ(Run("CREATE TABLE TLOB (ID NUMBER, C CLOB, N NCLOB, B BLOB)"), 0);
  ASSERT_EQ(
      Run("INSERT INTO TLOB VALUES (1, TO_CLOB(RPAD('x', 4000, 'x')) || RPAD('y', 1000, 'y'), "
          "TO_NCLOB('national'), HEXTORAW('00010203'))"),
      0);
  ASSERT_EQ(Run("INSERT INTO TLOB VALUES (2, EMPTY_CLOB(), NULL, EMPTY_BLOB())"), 0);
  ASSERT_EQ(Parse("SELECT C, N, B FROM TLOB ORDER BY ID"), 0);
  const short types[] = {8, 8, 24};
  const char* names[] = {"C", "N", "B"};
  for (int pos = 1; pos <= 3; ++pos) {
    int dbsize = -1, nameLen = 31;
    short type = -1;
    char name[32] = {};
    ASSERT_EQ(OciIntr::odescr(cda, pos, &dbsize, &type, name, &nameLen, nullptr, nullptr, nullptr,
                              nullptr),
              0);
    EXPECT_EQ(type, types[pos - 1]) << pos;
    EXPECT_EQ(std::string(name, static_cast<size_t>(nameLen)), names[pos - 1]);
  }
  unsigned char c[8], n[16], b[2], piece[8];
  short ci = 99, ni = 99, bi = 99;
  unsigned short cl, nl, bl, cc, nc, bc;
  unsigned int got = 99;
  ASSERT_EQ(OciIntr::odefin(cda, 1, c, 8, ociw32::kExtString, -1, &ci, nullptr, -1, -1, &cl, &cc),
            0);
  ASSERT_EQ(OciIntr::odefin(cda, 2, n, 16, ociw32::kExtString, -1, &ni, nullptr, -1, -1, &nl, &nc),
            0);
  ASSERT_EQ(OciIntr::odefin(cda, 3, b, 2, ociw32::kExtLongRaw, -1, &bi, nullptr, -1, -1, &bl, &bc),
            0);
  ASSERT_EQ(OciIntr::oexec(cda), 0);
  // the first piece in the defined buffers, the whole length in the indicator
  EXPECT_EQ(OciIntr::ofetch(cda), 1406);
  EXPECT_STREQ(reinterpret_cast<char*>(c), "xxxxxxx");
  EXPECT_EQ(ci, 5000);
  EXPECT_STREQ(reinterpret_cast<char*>(n), "national");
  EXPECT_EQ(ni, 0);
  EXPECT_EQ(bi, 4);
  // pieces beyond the 4000 bytes of a VARCHAR2
  EXPECT_EQ(OciIntr::oflng(cda, 1, piece, 5, ociw32::kExtString, &got, 3998), 0);
  EXPECT_STREQ(reinterpret_cast<char*>(piece), "xxyy");
  EXPECT_EQ(OciIntr::oflng(cda, 1, piece, 6, ociw32::kExtString, &got, 4998), 0);
  EXPECT_STREQ(reinterpret_cast<char*>(piece), "yy");
  EXPECT_EQ(got, 2u);
  EXPECT_EQ(OciIntr::oflng(cda, 3, piece, 4, ociw32::kExtLongRaw, &got, 1), 0);
  EXPECT_EQ(got, 3u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(piece), 3), std::string("\x01\x02\x03", 3));
  // empty LOBs are no NULLs; a NULL NCLOB is
  EXPECT_EQ(OciIntr::ofetch(cda), 0);
  EXPECT_EQ(ci, 0);
  EXPECT_EQ(cl, 0);
  EXPECT_EQ(ni, -1);
  EXPECT_EQ(bi, 0);
  EXPECT_EQ(OciIntr::oflng(cda, 1, piece, 6, ociw32::kExtString, &got, 0), 0);
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(OciIntr::ofetch(cda), 1403);
}
