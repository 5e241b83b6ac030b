#include "SqlQuote.h"

#include <gtest/gtest.h>

namespace {

TEST(SqlQuoteTest, NamesAreQuotedUnlessOracleReadsThemAsThemselves) {
  for (const char* plain : {"EMP", "EMP_DEPT_V", "T1", "A$B#C", "X23456789012345678901234567890"})
    EXPECT_EQ(OraName(plain), plain);
  EXPECT_EQ(OraName("X234567890123456789012345678901"), "\"X234567890123456789012345678901\"");
  EXPECT_EQ(OraName("lower_t"), "\"lower_t\"");
  EXPECT_EQ(OraName("O'T"), "\"O'T\"");
  EXPECT_EQ(OraName("A\"B"), "\"A\"\"B\"");
  EXPECT_EQ(OraName("my col"), "\"my col\"");
  EXPECT_EQ(OraName("1ST"), "\"1ST\"");
  EXPECT_EQ(OraName("_X"), "\"_X\"");
  EXPECT_EQ(OraName("社員"), "\"社員\"");
  EXPECT_EQ(OraName(""), "\"\"");
  // Reserved words only work quoted; other keywords are ordinary names.
  for (const char* reserved : {"DATE", "SELECT", "ROWID", "LEVEL", "USER", "NUMBER"})
    EXPECT_EQ(OraName(reserved), std::string(1, '"').append(reserved).append(1, '"')) << reserved;
  EXPECT_EQ(OraName("NAME"), "NAME");
  EXPECT_EQ(OraName("TEXT"), "TEXT");

  EXPECT_EQ(OraText("O'Brien"), "'O''Brien'");
  EXPECT_EQ(OraText(""), "''");
  EXPECT_EQ(OraText("''"), "''''''");
  EXPECT_EQ(OraEscape("a'b'"), "a''b''");
}

} // namespace
