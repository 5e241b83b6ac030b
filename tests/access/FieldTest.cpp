#include "OciCompo.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>

namespace {

// Puts a value into a field's element as the library would.
void PutText(TCustomOraField& f, int row, const std::string& text) {
  ASSERT_LT(static_cast<int>(text.size()), f.Width());
  std::memcpy(f.Buffer() + row * f.Width(), text.c_str(), text.size() + 1);
  f.SetIndicator(row, 0);
}

std::string Sep() { return std::localeconv()->decimal_point; }

template <typename F> void ExpectOciError(F&& f, const char* message) {
  try {
    f();
    ADD_FAILURE() << "expected EOciCompoError: " << message;
  } catch (const EOciCompoError& e) {
    EXPECT_STREQ(e.what(), message);
  }
}

const char* const RowError = "OCI配列の範囲が不正です。";
const char* const AccessError = "OCIFieldからデータの取り出しが不正です。";

} // namespace

TEST(FieldTest, NewFieldsAreZeroedAndRowsChecked) {
  TOraCursor cur;
  cur.SetNumberOfRows(5);
  TOraStrField s("S", 1, &cur);
  s.SetWidth(8);
  ASSERT_EQ(s.RowCount(), 5);
  for (int r = 0; r < 5; ++r) {
    EXPECT_EQ(s.GetIndicator(r), 0);
    EXPECT_EQ(s.ReturnLengths()[r], 8);
    EXPECT_EQ(s.ReturnCodes()[r], 0);
    EXPECT_EQ(s.GetAsString(r), "");
  }
  for (int i = 0; i < 40; ++i)
    EXPECT_EQ(s.Buffer()[i], 0);
  ExpectOciError([&] { s.GetAsString(5); }, RowError);
  ExpectOciError([&] { s.GetAsString(-1); }, RowError);
  ExpectOciError([&] { s.SetIndicator(5, -1); }, RowError);
  ExpectOciError([&] { s.GetAsFloat(0); }, AccessError);
  ExpectOciError([&] { s.GetAsCharText(0); }, AccessError);

  // A value fills its element only; the element after it is untouched.
  std::memcpy(s.Buffer() + 8, "ABCDEFGH", 8);
  EXPECT_EQ(s.GetAsString(1), "ABCDEFGH");
  EXPECT_EQ(s.GetAsString(2), "");
  s.SetIndicator(1, -1);
  EXPECT_TRUE(s.IsNull(1));
  EXPECT_EQ(s.GetAsString(1), "");

  TOraLongField lng("L", 2, &cur);
  EXPECT_EQ(lng.RowCount(), 1);
  EXPECT_EQ(lng.Width(), 65535);
  ExpectOciError([&] { lng.GetAsString(1); }, RowError);
  ExpectOciError([&] { lng.GetAsString(0); }, AccessError);
  TOraRawField raw("R", 4, &cur);
  EXPECT_EQ(raw.Width(), 255);
  ExpectOciError([&] { raw.GetAsString(0); }, AccessError);
  raw.SetWidth(255);
  EXPECT_EQ(raw.Width(), 255);
  ExpectOciError([&] { raw.SetWidth(256); },
                 "Raw Fieldに255以上のバッファを設定しようとしました。");
  EXPECT_EQ(raw.Width(), 255);
  EXPECT_EQ(raw.RowCount(), 5);
}

TEST(FieldTest, DateBytesAndFormats) {
  TOraSession ses;
  TOraCursor cur;
  cur.SetSession(&ses);
  cur.SetNumberOfRows(3);
  TOraDateTimeField d("D", 1, &cur);
  EXPECT_EQ(d.Width(), 7);
  const unsigned char end1999[7] = {120, 99, 12, 31, 24, 60, 60};
  std::memcpy(d.Buffer(), end1999, 7);
  double v = d.GetAsDateTime(0);
  EXPECT_DOUBLE_EQ(v, 36525.0 + 86399.0 / 86400.0);
  EXPECT_DOUBLE_EQ(v, EncodeOraDateTime(1999, 12, 31, 23, 59, 59));
  EXPECT_EQ(d.GetAsString(0), "1999/12/31");
  ses.DateFormatString = "YYYY/MM/DD HH:NN:SS";
  EXPECT_EQ(d.GetAsString(0), "1999/12/31 23:59:59");

  d.SetIndicator(1, -1);
  EXPECT_EQ(d.GetAsDateTime(1), 0.0);
  EXPECT_EQ(d.GetAsString(1), "");

  // Row 2 is all zero bytes: a year below 1 is no date.
  EXPECT_THROW(d.GetAsDateTime(2), EOciCompoError);
  const unsigned char badMonth[7] = {119, 199, 13, 1, 1, 1, 1};
  std::memcpy(d.Buffer() + 14, badMonth, 7);
  EXPECT_THROW(d.GetAsString(2), EOciCompoError);
  const unsigned char feb29[7] = {119, 100, 2, 29, 1, 1, 1}; // 1900 was no leap year
  EXPECT_THROW(DecodeOracleDate(feb29), EOciCompoError);
  const unsigned char leap[7] = {120, 100, 2, 29, 13, 31, 1};
  EXPECT_EQ(FormatOraDateTime("YYYY/MM/DD HH:NN:SS", DecodeOracleDate(leap)),
            "2000/02/29 12:30:00");
  // Dates before 1899-12-30 are negative with the time counting away from zero.
  double old = EncodeOraDateTime(1800, 1, 1, 18, 0, 0);
  EXPECT_LT(old, 0);
  EXPECT_EQ(FormatOraDateTime("YYYY/MM/DD HH:NN:SS", old), "1800/01/01 18:00:00");
  EXPECT_EQ(FormatOraDateTime("YYYY/MM/DD", 0.0), "1899/12/30");
}

TEST(FieldTest, NumberTextFormats) {
  TOraCursor cur;
  cur.SetNumberOfRows(20);
  TOraNumberField n("N", 1, &cur);
  EXPECT_EQ(n.FieldKind(), 1);
  EXPECT_EQ(n.ExtType(), 5);
  struct {
    const char* Text;
    std::string Shown;
  } cases[] = {
      {"12.5", "12" + Sep() + "5"},
      {"3", "3"},
      {"0.000001", "1E-6"},
      {"-0.00001", "-0" + Sep() + "00001"},
      {"123456789012345678", "123456789012345678"},
      {"999999999999999", "999999999999999"},
      {"1000000000000000", "1E15"},
      {"1.5E+40", "1" + Sep() + "5E40"},
      {"-1.23456789012345678E-40", "-1" + Sep() + "23456789012345678E-40"},
      {"-7.25", "-7" + Sep() + "25"},
      // texts the fast path must leave to the general format
      {"0", "0"},
      {"12.50", "12" + Sep() + "5"},
      {"007", "7"},
      {"0.000010", "0" + Sep() + "00001"},
      {"123456789012345.5", "123456789012345" + Sep() + "5"},
  };
  int row = 0;
  for (auto& c : cases)
    PutText(n, row++, c.Text);
  row = 0;
  for (auto& c : cases)
    EXPECT_EQ(n.GetAsString(row++), c.Shown) << c.Text;

  EXPECT_DOUBLE_EQ(n.GetAsFloat(0), 12.5);
  EXPECT_EQ(n.GetAsInteger(9), -7);
  EXPECT_EQ(n.GetAsInteger(7), 2147483647);
  ExpectOciError([&] { n.GetAsDateTime(0); }, AccessError);
  n.SetIndicator(10, -1);
  EXPECT_EQ(n.GetAsString(10), "");
  EXPECT_EQ(n.GetAsInteger(10), 0);

  // Doubles of the program itself go through the same format, rounded to 15 digits.
  EXPECT_EQ(FormatGeneralFloat(0.1 + 0.2), "0" + Sep() + "3");
  EXPECT_EQ(FormatGeneralFloat(123456789012345678.0), "1" + Sep() + "23456789012346E17");
  EXPECT_EQ(FormatGeneralFloat(9.999999999999999), "10");
}
