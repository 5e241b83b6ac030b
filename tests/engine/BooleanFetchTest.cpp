// BOOLEAN values through the call interface: described as type 252 of one byte, fetched as
// TRUE or FALSE into text and as 1 or 0 into numbers, and through the access layer as text.
#include "EngineFixture.h"
#include "OciIntr.h"
#include "ociw32.h"

#include <cstring>
#include <string>

namespace {

class BooleanFetch : public TFreshDatabase {
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
  int Run(const std::string& sql) {
    if (int r = OciIntr::oparse(cda, sql.c_str(), -1, 0, 2))
      return r;
    return OciIntr::oexec(cda);
  }
  // The first column of the query's rows through one define of that type, each value read by
  // `read`; NULL as "NULL".
  template <class F> std::string Fetch(const std::string& sql, int ftype, int bufl, F read) {
    unsigned char buf[32];
    short ind = 0;
    unsigned short len = 0, code = 0;
    EXPECT_EQ(OciIntr::oparse(cda, sql.c_str(), -1, 0, 2), 0) << sql;
    EXPECT_EQ(OciIntr::odefin(cda, 1, buf, bufl, ftype, -1, &ind, nullptr, -1, -1, &len, &code), 0);
    EXPECT_EQ(OciIntr::oexec(cda), 0) << sql;
    std::string out;
    for (;;) {
      std::memset(buf, 0, sizeof buf);
      int rc = OciIntr::ofetch(cda);
      if (rc == 1403)
        break;
      EXPECT_EQ(rc, 0) << sql;
      if (rc != 0)
        break;
      out += (ind < 0 ? std::string("NULL") : read(buf, len)) + ";";
    }
    return out;
  }

  unsigned char lda[64] = {}, hda[256] = {}, cda[64] = {};
};

TEST_F(BooleanFetch, DescribedAndFetchedAsTextAndNumbers) {
  ASSERT_EQ(Run("CREATE TABLE t (id NUMBER, b BOOLEAN)"), 0);
  ASSERT_EQ(Run("INSERT INTO t VALUES (1, TRUE)"), 0);
  ASSERT_EQ(Run("INSERT INTO t VALUES (2, 'no')"), 0);
  ASSERT_EQ(Run("INSERT INTO t VALUES (3, NULL)"), 0);
  ASSERT_EQ(OciIntr::oparse(cda, "SELECT b, id > 1 FROM t", -1, 0, 2), 0);
  for (int pos = 1; pos <= 2; ++pos) {
    int size = 0, dsize = 0;
    short type = 0;
    ASSERT_EQ(OciIntr::odescr(cda, pos, &size, &type, nullptr, nullptr, &dsize, nullptr, nullptr,
                              nullptr),
              0);
    EXPECT_EQ(type, 252);
    EXPECT_EQ(size, 1);
  }
  auto text = [](const unsigned char* p, unsigned short n) {
    return std::string(reinterpret_cast<const char*>(p), n);
  };
  EXPECT_EQ(Fetch("SELECT b FROM t ORDER BY id", ociw32::kExtVarchar2, 10, text),
            "TRUE;FALSE;NULL;");
  // a condition in the select list is a BOOLEAN too
  EXPECT_EQ(Fetch("SELECT 1 = 1 FROM dual", ociw32::kExtVarchar2, 10, text), "TRUE;");
  auto integer = [](const unsigned char* p, unsigned short) {
    int32_t v;
    std::memcpy(&v, p, 4);
    return std::to_string(v);
  };
  EXPECT_EQ(Fetch("SELECT b FROM t ORDER BY id", ociw32::kExtInteger, 4, integer), "1;0;NULL;");
  auto real = [](const unsigned char* p, unsigned short) {
    double v;
    std::memcpy(&v, p, 8);
    return std::to_string(static_cast<int>(v));
  };
  EXPECT_EQ(Fetch("SELECT NOT b FROM t ORDER BY id", ociw32::kExtFloat, 8, real), "0;1;NULL;");
}

class BooleanAccess : public Engine {};

TEST_F(BooleanAccess, ShownAsText) {
  ASSERT_EQ(Exec("CREATE TABLE t (id NUMBER, b BOOLEAN)"), "");
  ASSERT_EQ(Exec("INSERT INTO t VALUES (1, 'Y')"), "");
  ASSERT_EQ(Exec("INSERT INTO t VALUES (2, 0)"), "");
  EXPECT_EQ(Rows("SELECT id, b, TO_CHAR(b), TO_NUMBER(b) FROM t ORDER BY id"),
            "1|TRUE|TRUE|1\n2|FALSE|FALSE|0\n");
  EXPECT_EQ(Exec("INSERT INTO t VALUES (3, 'sometimes')").substr(0, 9), "ORA-61800");
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM t"), "2\n");
}

} // namespace
