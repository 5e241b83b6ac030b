// A PL/SQL block's cursor variable received in a cursor area of the client's (REF CURSOR
// binds, as Oracle's OCI programs bind a cursor data area to a block's placeholder): the rows
// the block left in it described and fetched there, and binds that are wrong refused with
// Oracle's errors. Expected answers follow Oracle's PL/SQL Language Reference (Cursor Variables)
// and Error Messages, on the demo schema's EMP data.
#include "../access/TestSupport.h"
#include "OciIntr.h"
#include "ociw32.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

class RefCursorBinds : public TFreshDatabase {
protected:
  void SetUp() override {
    TFreshDatabase::SetUp();
    ASSERT_TRUE(OciIntr::BindCursorAvailable());
    ASSERT_EQ(OciIntr::olog(lda, hda, "DEMO", -1, "DEMO", -1, nullptr, -1, 0), 0);
    ASSERT_EQ(OciIntr::oopen(cda, lda, nullptr, -1, -1, nullptr, -1), 0);
    ASSERT_EQ(OciIntr::oopen(rc, lda, nullptr, -1, -1, nullptr, -1), 0);
  }
  void TearDown() override {
    OciIntr::oclose(cda);
    OciIntr::oclose(rc);
    OciIntr::ologof(lda);
    TFreshDatabase::TearDown();
  }
  static int Code(const unsigned char* area) {
    uint16_t v;
    std::memcpy(&v, area + ociw32::kOffReturnCode, 2);
    return v;
  }
  int Parse(const std::string& sql) { return OciIntr::oparse(cda, sql.c_str(), -1, 0, 2); }
  int Exec(const std::string& sql) {
    if (int r = OciIntr::oparse(cda, sql.c_str(), -1, 0, 2))
      return r;
    return OciIntr::oexec(cda);
  }
  // Every remaining row of `area`, its `cols` columns fetched as text and joined by "|".
  std::vector<std::string> Rows(unsigned char* area, int cols) {
    std::vector<std::vector<char>> bufs(static_cast<size_t>(cols), std::vector<char>(41));
    std::vector<short> ind(static_cast<size_t>(cols));
    std::vector<unsigned short> len(static_cast<size_t>(cols)), code(static_cast<size_t>(cols));
    for (int c = 0; c < cols; ++c)
      EXPECT_EQ(OciIntr::odefin(area, c + 1, reinterpret_cast<unsigned char*>(bufs[c].data()), 40,
                                ociw32::kExtString, -1, &ind[c], nullptr, -1, -1, &len[c],
                                &code[c]),
                0);
    std::vector<std::string> out;
    for (int guard = 0; guard < 100; ++guard) {
      int r = OciIntr::ofetch(area);
      if (r == 1403)
        break;
      EXPECT_EQ(r, 0);
      if (r != 0)
        break;
      std::string row;
      for (int c = 0; c < cols; ++c)
        row += (c ? "|" : "") + (ind[c] < 0 ? std::string("NULL") : std::string(bufs[c].data()));
      out.push_back(row);
    }
    return out;
  }
  unsigned char lda[ociw32::kAreaSize] = {}, hda[ociw32::kHostAreaSize] = {},
                cda[ociw32::kAreaSize] = {}, rc[ociw32::kAreaSize] = {};
};

TEST_F(RefCursorBinds, BlockOpensTheCursorAndTheClientFetchesIt) {
  ASSERT_EQ(
      Parse("BEGIN OPEN :rc FOR SELECT empno, ename, sal, hiredate FROM emp WHERE deptno = 10 "
            "ORDER BY empno; END;"),
      0);
  ASSERT_EQ(OciIntr::tessel_bind_cursor(cda, ":rc", -1, rc), 0);
  ASSERT_EQ(OciIntr::oexec(cda), 0);
  // described as the query's own columns
  struct {
    const char* name;
    int type, dbsize;
  } want[] = {{"EMPNO", 2, 22}, {"ENAME", 1, 10}, {"SAL", 2, 22}, {"HIREDATE", 12, 7}};
  int pos = 1;
  for (auto& w : want) {
    int dbsize = -1, dsize = -1, nameLen = 31;
    short type = -1, prec = -1, scale = -1, nullok = -1;
    char name[32] = {};
    ASSERT_EQ(
        OciIntr::odescr(rc, pos, &dbsize, &type, name, &nameLen, &dsize, &prec, &scale, &nullok),
        0);
    EXPECT_EQ(std::string(name, static_cast<size_t>(nameLen)), w.name);
    EXPECT_EQ(type, w.type) << w.name;
    EXPECT_EQ(dbsize, w.dbsize) << w.name;
    ++pos;
  }
  int dbsize = 0;
  short type = 0;
  EXPECT_EQ(
      OciIntr::odescr(rc, 5, &dbsize, &type, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
      1007);
  EXPECT_EQ(Rows(rc, 3),
            (std::vector<std::string>{"7782|CLARK|2450", "7839|KING|5000", "7934|MILLER|1300"}));
  // past the end: no more rows, and further fetches say so again
  EXPECT_EQ(OciIntr::ofetch(rc), 1403);
}

TEST_F(RefCursorBinds, ProcedureOutParameterAndRowsFetchedInsideTheBlock) {
  ASSERT_EQ(
      Exec(
          "CREATE PROCEDURE open_jobs (p_job VARCHAR2, p_cv OUT SYS_REFCURSOR) AS "
          "BEGIN OPEN p_cv FOR SELECT ename, comm FROM emp WHERE job = p_job ORDER BY ename; END;"),
      0);
  // the block reads the first row itself: the client gets the rest
  ASSERT_EQ(Parse("DECLARE n VARCHAR2(10); c NUMBER; BEGIN open_jobs('SALESMAN', :cv); FETCH :cv "
                  "INTO n, c; END;"),
            0);
  ASSERT_EQ(OciIntr::tessel_bind_cursor(cda, "CV", 2, rc), 0);
  ASSERT_EQ(OciIntr::oexec(cda), 0);
  EXPECT_EQ(Rows(rc, 2), (std::vector<std::string>{"MARTIN|1400", "TURNER|0", "WARD|500"}));
  // the same block run again fills the area anew
  ASSERT_EQ(OciIntr::oexec(cda), 0);
  EXPECT_EQ(Rows(rc, 2).size(), 3u);
  // parsed again, the block has lost its bind
  ASSERT_EQ(Parse("BEGIN open_jobs('CLERK', :cv); END;"), 0);
  EXPECT_EQ(OciIntr::oexec(cda), 1008);
}

TEST_F(RefCursorBinds, ClosedOrUnopenedCursorLeavesNoQuery) {
  ASSERT_EQ(Parse("BEGIN OPEN :rc FOR SELECT 1 FROM dual; CLOSE :rc; END;"), 0);
  ASSERT_EQ(OciIntr::tessel_bind_cursor(cda, "rc", -1, rc), 0);
  ASSERT_EQ(OciIntr::oexec(cda), 0);
  EXPECT_EQ(OciIntr::ofetch(rc), 1002);
  // a block that fails leaves the area as it was, and undoes its own work
  ASSERT_EQ(
      Parse("BEGIN OPEN :rc FOR SELECT 1 FROM dual; RAISE_APPLICATION_ERROR(-20001, 'no'); END;"),
      0);
  ASSERT_EQ(OciIntr::tessel_bind_cursor(cda, "rc", -1, rc), 0);
  EXPECT_EQ(OciIntr::oexec(cda), 20001);
  EXPECT_EQ(OciIntr::ofetch(rc), 1002);
}

TEST_F(RefCursorBinds, WrongBindsAreOracleErrors) {
  unsigned char never[ociw32::kAreaSize] = {};
  // no block parsed
  ASSERT_EQ(Parse("SELECT ename FROM emp"), 0);
  EXPECT_EQ(OciIntr::tessel_bind_cursor(cda, "rc", -1, rc), 1003);
  ASSERT_EQ(Parse("BEGIN OPEN :rc FOR SELECT ename FROM emp; END;"), 0);
  // a name the block does not have
  EXPECT_EQ(OciIntr::tessel_bind_cursor(cda, "other", -1, rc), 1036);
  EXPECT_EQ(Code(cda), 1036);
  // an area never opened, and the block's own area
  EXPECT_EQ(OciIntr::tessel_bind_cursor(cda, "rc", -1, never), 1001);
  EXPECT_EQ(OciIntr::tessel_bind_cursor(cda, "rc", -1, cda), 1001);
  EXPECT_EQ(OciIntr::tessel_bind_cursor(cda, "rc", -1, nullptr), 1001);
  // left unbound, the placeholder is ORA-01008
  EXPECT_EQ(OciIntr::oexec(cda), 1008);
  // an area of another logon does not receive it
  unsigned char lda2[ociw32::kAreaSize] = {}, hda2[ociw32::kHostAreaSize] = {},
                other[ociw32::kAreaSize] = {};
  ASSERT_EQ(OciIntr::olog(lda2, hda2, "DEMO", -1, "DEMO", -1, nullptr, -1, 0), 0);
  ASSERT_EQ(OciIntr::oopen(other, lda2, nullptr, -1, -1, nullptr, -1), 0);
  EXPECT_EQ(OciIntr::tessel_bind_cursor(cda, "rc", -1, other), 1001);
  OciIntr::oclose(other);
  OciIntr::ologof(lda2);
}

} // namespace

// Scalar placeholders: a procedure's OUT and IN OUT parameters given :name, as a shell's
// EXECUTE proc(:n) runs it; the values come back after the block ran, and a failed block
// leaves them as they were.
TEST_F(RefCursorBinds, ScalarPlaceholdersGoInAndComeBack) {
  ASSERT_TRUE(OciIntr::BindValueAvailable());
  ASSERT_EQ(Exec("CREATE OR REPLACE PROCEDURE pay (p_empno IN NUMBER, p_name OUT VARCHAR2, "
                 "p_sal IN OUT NUMBER) AS BEGIN SELECT ename, sal + p_sal INTO p_name, p_sal "
                 "FROM emp WHERE empno = p_empno; END;"),
            0);
  ASSERT_EQ(Parse("BEGIN pay(:id, :name, :sal); END;"), 0);
  ASSERT_EQ(OciIntr::tessel_bind_value(cda, ":id", -1, 1, "7839", -1), 0);
  ASSERT_EQ(OciIntr::tessel_bind_value(cda, "NAME", 4, 0, nullptr, 0), 0);
  ASSERT_EQ(OciIntr::tessel_bind_value(cda, "sal", -1, 1, "-.5", -1), 0);
  ASSERT_EQ(OciIntr::oexec(cda), 0);
  char buf[64] = {};
  int len = -1, isNull = -1;
  ASSERT_EQ(OciIntr::tessel_bound_value(cda, "name", -1, buf, sizeof buf, &len, &isNull), 0);
  EXPECT_EQ(std::string(buf, static_cast<size_t>(len)), "KING");
  EXPECT_EQ(isNull, 0);
  ASSERT_EQ(OciIntr::tessel_bound_value(cda, "SAL", -1, buf, sizeof buf, &len, &isNull), 0);
  EXPECT_EQ(std::string(buf, static_cast<size_t>(len)), "4999.5");
  // too small a buffer: the whole length, the value cut, ORA-01406
  EXPECT_EQ(OciIntr::tessel_bound_value(cda, "sal", -1, buf, 2, &len, &isNull), 1406);
  EXPECT_EQ(len, 6);
  // no such employee: the block fails and the OUT values are not taken
  ASSERT_EQ(Parse("BEGIN :note := 'set'; pay(:id, :name, :sal); END;"), 0);
  ASSERT_EQ(OciIntr::tessel_bind_value(cda, "id", -1, 1, "1", -1), 0);
  ASSERT_EQ(OciIntr::tessel_bind_value(cda, "name", -1, 0, "old", -1), 0);
  ASSERT_EQ(OciIntr::tessel_bind_value(cda, "sal", -1, 1, "1", -1), 0);
  ASSERT_EQ(OciIntr::tessel_bind_value(cda, "note", -1, 0, "", -1), 0);
  EXPECT_EQ(OciIntr::oexec(cda), 1403);
  ASSERT_EQ(OciIntr::tessel_bound_value(cda, "note", -1, buf, sizeof buf, &len, &isNull), 0);
  EXPECT_EQ(isNull, 1);
  ASSERT_EQ(OciIntr::tessel_bound_value(cda, "name", -1, buf, sizeof buf, &len, &isNull), 0);
  EXPECT_EQ(std::string(buf, static_cast<size_t>(len)), "old");
  // wrong binds are Oracle's errors
  EXPECT_EQ(OciIntr::tessel_bind_value(cda, "other", -1, 1, "1", -1), 1036);
  EXPECT_EQ(OciIntr::tessel_bind_value(cda, "id", -1, 1, "12abc", -1), 1722);
  EXPECT_EQ(OciIntr::tessel_bound_value(cda, "other", -1, buf, sizeof buf, &len, &isNull), 1036);
  ASSERT_EQ(Parse("SELECT ename FROM emp"), 0);
  EXPECT_EQ(OciIntr::tessel_bind_value(cda, "id", -1, 1, "1", -1), 1003);
}
