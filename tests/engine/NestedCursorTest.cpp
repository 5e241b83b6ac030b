// Columns that are cursors (CURSOR (subquery) in a select list, a function returning
// SYS_REFCURSOR): described as type 102, read as the text a client shows for them, and each
// row's nested cursor received in a cursor area of the client's and fetched there. Expected
// answers follow Oracle's SQL Language Reference (CURSOR Expressions) on the demo schema's data.
#include "../access/TestSupport.h"
#include "OciIntr.h"
#include "ociw32.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

class NestedCursors : public TFreshDatabase {
protected:
  void SetUp() override {
    TFreshDatabase::SetUp();
    ASSERT_TRUE(OciIntr::ColumnCursorAvailable());
    ASSERT_EQ(OciIntr::olog(lda, hda, "DEMO", -1, "DEMO", -1, nullptr, -1, 0), 0);
    ASSERT_EQ(OciIntr::oopen(cda, lda, nullptr, -1, -1, nullptr, -1), 0);
    ASSERT_EQ(OciIntr::oopen(nc, lda, nullptr, -1, -1, nullptr, -1), 0);
  }
  void TearDown() override {
    OciIntr::oclose(cda);
    OciIntr::oclose(nc);
    OciIntr::ologof(lda);
    TFreshDatabase::TearDown();
  }
  int Exec(const std::string& sql) {
    if (int r = OciIntr::oparse(cda, sql.c_str(), -1, 0, 2))
      return r;
    return OciIntr::oexec(cda);
  }
  short TypeOf(unsigned char* area, int pos) {
    int dbsize = 0;
    short type = 0;
    EXPECT_EQ(OciIntr::odescr(area, pos, &dbsize, &type, nullptr, nullptr, nullptr, nullptr,
                              nullptr, nullptr),
              0);
    return type;
  }
  // Defines `cols` text columns of `area` into bufs.
  void Define(unsigned char* area, int cols) {
    bufs.assign(static_cast<size_t>(cols), std::vector<char>(41));
    ind.assign(static_cast<size_t>(cols), 0);
    for (int c = 0; c < cols; ++c)
      ASSERT_EQ(OciIntr::odefin(area, c + 1, reinterpret_cast<unsigned char*>(bufs[c].data()), 40,
                                ociw32::kExtString, -1, &ind[c], nullptr, -1, -1, nullptr, nullptr),
                0);
  }
  std::string Row() const {
    std::string row;
    for (size_t c = 0; c < bufs.size(); ++c)
      row += (c ? "|" : "") + (ind[c] < 0 ? std::string("NULL") : std::string(bufs[c].data()));
    return row;
  }
  // Every row of the nested cursor now in `nc`, its `cols` columns as text.
  std::vector<std::string> NestedRows(int cols) {
    std::vector<std::vector<char>> b(static_cast<size_t>(cols), std::vector<char>(41));
    std::vector<short> in(static_cast<size_t>(cols));
    for (int c = 0; c < cols; ++c)
      EXPECT_EQ(OciIntr::odefin(nc, c + 1, reinterpret_cast<unsigned char*>(b[c].data()), 40,
                                ociw32::kExtString, -1, &in[c], nullptr, -1, -1, nullptr, nullptr),
                0);
    std::vector<std::string> out;
    for (int guard = 0; guard < 100 && OciIntr::ofetch(nc) == 0; ++guard) {
      std::string row;
      for (int c = 0; c < cols; ++c)
        row += (c ? "|" : "") + (in[c] < 0 ? std::string("NULL") : std::string(b[c].data()));
      out.push_back(row);
    }
    return out;
  }
  static int Code(const unsigned char* area) {
    uint16_t v;
    std::memcpy(&v, area + ociw32::kOffReturnCode, 2);
    return v;
  }
  unsigned char lda[ociw32::kAreaSize] = {}, hda[ociw32::kHostAreaSize] = {},
                cda[ociw32::kAreaSize] = {}, nc[ociw32::kAreaSize] = {};
  std::vector<std::vector<char>> bufs;
  std::vector<short> ind;
};

TEST_F(NestedCursors, CursorColumnsDescribeFetchAndOpenPerRow) {
  ASSERT_EQ(Exec("SELECT d.dname, CURSOR(SELECT e.ename, e.sal FROM emp e WHERE e.deptno = "
                 "d.deptno ORDER BY e.ename) FROM dept d WHERE d.deptno IN (10, 40) ORDER BY "
                 "d.deptno"),
            0);
  EXPECT_EQ(TypeOf(cda, 1), 1);
  EXPECT_EQ(TypeOf(cda, 2), 102);
  Define(cda, 2);
  ASSERT_EQ(OciIntr::ofetch(cda), 0);
  EXPECT_EQ(Row(), "ACCOUNTING|CURSOR STATEMENT : 2");
  ASSERT_EQ(OciIntr::tessel_column_cursor(cda, 2, 0, nc), 0);
  // the nested cursor's own columns, typed as the subquery's
  EXPECT_EQ(TypeOf(nc, 1), 1);
  EXPECT_EQ(TypeOf(nc, 2), 2);
  EXPECT_EQ(NestedRows(2), (std::vector<std::string>{"CLARK|2450", "KING|5000", "MILLER|1300"}));
  ASSERT_EQ(OciIntr::ofetch(cda), 0);
  EXPECT_EQ(Row(), "OPERATIONS|CURSOR STATEMENT : 2");
  ASSERT_EQ(OciIntr::tessel_column_cursor(cda, 2, 0, nc), 0);
  EXPECT_TRUE(NestedRows(2).empty());
  EXPECT_EQ(OciIntr::ofetch(cda), 1403);
}

TEST_F(NestedCursors, FunctionReturningRefCursorAndWrongRequests) {
  ASSERT_EQ(Exec("CREATE FUNCTION emps_of (p NUMBER) RETURN SYS_REFCURSOR IS c SYS_REFCURSOR; "
                 "BEGIN OPEN c FOR SELECT empno, hiredate FROM emp WHERE deptno = p ORDER BY "
                 "empno; RETURN c; END;"),
            0);
  ASSERT_EQ(Exec("SELECT emps_of(10), 5 FROM dual"), 0);
  EXPECT_EQ(TypeOf(cda, 1), 102);
  // a cursor is no number
  double x = 0;
  short xi = 0;
  ASSERT_EQ(OciIntr::odefin(cda, 1, reinterpret_cast<unsigned char*>(&x), 8, ociw32::kExtFloat, -1,
                            &xi, nullptr, -1, -1, nullptr, nullptr),
            0);
  EXPECT_NE(OciIntr::ofetch(cda), 0);
  EXPECT_EQ(Code(cda), 932);

  ASSERT_EQ(Exec("SELECT emps_of(20), 5 FROM dual"), 0);
  Define(cda, 2);
  ASSERT_EQ(OciIntr::ofetch(cda), 0);
  // no such column, a column that is no cursor, a row the fetch did not give, no target
  EXPECT_EQ(OciIntr::tessel_column_cursor(cda, 3, 0, nc), 1007);
  EXPECT_EQ(OciIntr::tessel_column_cursor(cda, 2, 0, nc), 932);
  EXPECT_EQ(OciIntr::tessel_column_cursor(cda, 1, 1, nc), 1002);
  EXPECT_EQ(OciIntr::tessel_column_cursor(cda, 1, 0, cda), 1001);
  ASSERT_EQ(OciIntr::tessel_column_cursor(cda, 1, 0, nc), 0);
  EXPECT_EQ(TypeOf(nc, 2), 12);
  EXPECT_EQ(NestedRows(1), (std::vector<std::string>{"7369", "7566", "7788", "7876", "7902"}));
}

} // namespace
