#include "TestSupport.h"

#include <cstring>

namespace {

bool StartsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

bool EndsWith(const std::string& s, const std::string& suffix) {
  return s.size() >= suffix.size() &&
         s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

class CursorTest : public TFreshDatabase {
protected:
  void SetUp() override {
    TFreshDatabase::SetUp();
    ASSERT_TRUE(Logon(Ses, "DEMO", "DEMO"));
    Cur.SetSession(&Ses);
    Cur.OnError = [this](TOraCursor&, const std::string& msg) { Errors.push_back(msg); };
  }

  // Runs statements that must succeed, each on a cursor of its own.
  void Exec(const std::string& sql) {
    TOraCursor c;
    c.SetSession(&Ses);
    ASSERT_TRUE(Run(c, sql)) << sql << ": " << c.ErrorText();
    c.Close();
  }

  TOraSession Ses;
  TOraCursor Cur;
  std::vector<std::string> Errors;
};

} // namespace

TEST(CursorPropsTest, DefaultsAndNumberOfRowsLimits) {
  TOraCursor cur;
  EXPECT_EQ(cur.NumberOfRows(), 10u);
  EXPECT_EQ(cur.StringParamLength(), 50u);
  cur.SetNumberOfRows(0);
  EXPECT_EQ(cur.NumberOfRows(), 1u);
  cur.SetNumberOfRows(5000);
  EXPECT_EQ(cur.NumberOfRows(), 1000u);
  EXPECT_THROW(cur.Fields(0), std::out_of_range);
}

TEST_F(CursorTest, MultiLineStatementAndSingleRowFetch) {
  ASSERT_TRUE(Cur.Open());
  EXPECT_TRUE(Cur.Open());
  Cur.SQL() = {"SELECT EMPNO, ENAME, HIREDATE,", "SAL, COMM FROM EMP", "WHERE EMPNO = 7369"};
  ASSERT_TRUE(Cur.Parse());
  EXPECT_EQ(Cur.StatementText(),
            "SELECT EMPNO, ENAME, HIREDATE, \nSAL, COMM FROM EMP \nWHERE EMPNO = 7369 \n");
  EXPECT_EQ(Cur.StatementType(), 4);
  ASSERT_TRUE(Cur.DescribeFields());
  ASSERT_EQ(Cur.FieldCount(), 5);
  EXPECT_EQ(Cur.Fields(1)->Name(), "ENAME");
  ASSERT_TRUE(Cur.Exec());
  ASSERT_TRUE(Cur.Fetch());
  EXPECT_EQ(Cur.Fields(0)->GetAsInteger(0), 7369);
  EXPECT_EQ(Cur.Fields(1)->GetAsString(0), "SMITH");
  EXPECT_EQ(Cur.Fields(2)->GetAsString(0), "1980/12/17");
  EXPECT_DOUBLE_EQ(Cur.Fields(2)->GetAsDateTime(0), EncodeOraDateTime(1980, 12, 17, 0, 0, 0));
  EXPECT_EQ(Cur.Fields(3)->GetAsString(0), "800");
  EXPECT_TRUE(Cur.Fields(4)->IsNull(0));
  EXPECT_EQ(Cur.Fields(4)->GetAsString(0), "");
  EXPECT_EQ(Cur.Fields(4)->GetAsFloat(0), 0.0);
  EXPECT_EQ(Cur.RowsProcessed(), 1u);
  EXPECT_TRUE(Errors.empty());

  // No row left: the fetch fails and reports it.
  EXPECT_FALSE(Cur.Fetch());
  EXPECT_EQ(Cur.ReturnCode(), 1403);
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_TRUE(StartsWith(Errors[0], "ORA-01403")) << Errors[0];
  EXPECT_TRUE(EndsWith(Errors[0], "\rProcessing Ora function OFETCH, OFEN")) << Errors[0];

  EXPECT_TRUE(Cur.Close());
  EXPECT_FALSE(Cur.Opened());
  EXPECT_TRUE(Cur.Close());
}

TEST_F(CursorTest, CallOrderAndParseFailures) {
  // Nothing parsed yet on a fresh cursor.
  ASSERT_TRUE(Cur.Open());
  EXPECT_FALSE(Cur.Exec());
  EXPECT_NE(Cur.ReturnCode(), 0);
  EXPECT_EQ(Errors.size(), 1u);

  Cur.SQL() = {"SELEC * FROM EMP"};
  EXPECT_FALSE(Cur.Parse());
  EXPECT_EQ(Cur.FunctionCode(), 54);
  std::string text = Cur.ErrorText();
  EXPECT_TRUE(StartsWith(text, "ORA-")) << text;
  EXPECT_TRUE(EndsWith(text, "\rProcessing Ora function OPARSE")) << text;
  EXPECT_EQ(text.find('\r'), text.rfind('\r'));
  ASSERT_EQ(Errors.size(), 2u);
  EXPECT_EQ(Errors[1], text);

  // The quiet form fails the same way without the event; a missing table is a parse error too.
  Cur.SQL() = {"SELECT * FROM NO_SUCH_TABLE"};
  EXPECT_FALSE(Cur.ParseQuiet());
  EXPECT_EQ(Cur.ReturnCode(), 942);
  EXPECT_EQ(Errors.size(), 2u);
  EXPECT_TRUE(Ses.Connected());
}

TEST_F(CursorTest, StatementTypesAndNonQueries) {
  struct {
    const char* Sql;
    int Type;
  } cases[] = {
      {"CREATE TABLE T1 (N NUMBER)", 1}, {"INSERT INTO T1 (N) VALUES (1)", 3},
      {"UPDATE T1 SET N = 2", 5},        {"DELETE FROM T1", 9},
      {"SELECT N FROM T1", 4},
  };
  ASSERT_TRUE(Cur.Open());
  for (auto& c : cases) {
    Cur.SQL() = {c.Sql};
    ASSERT_TRUE(Cur.Parse()) << c.Sql << ": " << Cur.ErrorText();
    EXPECT_EQ(Cur.StatementType(), c.Type) << c.Sql;
    EXPECT_TRUE(Cur.DescribeFields()) << c.Sql;
    EXPECT_EQ(Cur.FieldCount(), c.Type == 4 ? 1 : 0) << c.Sql;
    ASSERT_TRUE(Cur.Exec()) << c.Sql << ": " << Cur.ErrorText();
    if (c.Type == 5 || c.Type == 9) {
      EXPECT_EQ(Cur.RowsProcessed(), 1u) << c.Sql;
    }
  }
  EXPECT_TRUE(Errors.empty());
}

TEST_F(CursorTest, DescribedFieldsByColumnType) {
  Exec("CREATE TABLE TYPES (V VARCHAR2(20), C CHAR(5), N NUMBER(7,2), D DATE, R RAW(16))");
  Exec("INSERT INTO TYPES (V, C, N, D, R) VALUES ('abc', 'xy', 12.5, '1999/12/31 23:59:59', "
       "'0A0B')");
  Cur.SetNumberOfRows(1000);
  ASSERT_TRUE(Run(Cur, "SELECT V, C, N, D, R, ROWID FROM TYPES"));
  ASSERT_EQ(Cur.FieldCount(), 6);
  auto* v = dynamic_cast<TOraStrField*>(Cur.Fields(0));
  auto* c = dynamic_cast<TOraCharAryField*>(Cur.Fields(1));
  auto* n = dynamic_cast<TOraNumberField*>(Cur.Fields(2));
  auto* d = dynamic_cast<TOraDateTimeField*>(Cur.Fields(3));
  auto* r = dynamic_cast<TOraRawField*>(Cur.Fields(4));
  auto* rowid = dynamic_cast<TOraStrField*>(Cur.Fields(5));
  ASSERT_TRUE(v && c && n && d && r && rowid);
  // room for the UTF-8 form of the column's Shift-JIS bytes: up to three bytes for one
  EXPECT_EQ(v->Width(), 61);
  EXPECT_EQ(v->RowCount(), 1000);
  EXPECT_EQ(v->DisplaySize(), 20);
  EXPECT_EQ(c->Width(), 16);
  EXPECT_EQ(n->Width(), TOraNumberField::TextWidth);
  EXPECT_EQ(n->Precision(), 7);
  EXPECT_EQ(n->Scale(), 2);
  EXPECT_EQ(d->Width(), 7);
  EXPECT_EQ(r->Width(), 17);
  EXPECT_GT(rowid->Width(), 10);

  ASSERT_TRUE(Cur.FetchRowsQuiet() || Cur.RowsProcessed() == 1);
  EXPECT_EQ(Cur.RowsProcessed(), 1u);
  EXPECT_EQ(v->GetAsString(0), "abc");
  EXPECT_EQ(c->GetAsCharText(0), "xy   ");
  EXPECT_EQ(n->GetAsString(0), "12.5");
  Ses.DateFormatString = "YYYY/MM/DD HH:NN:SS";
  EXPECT_EQ(d->GetAsString(0), "1999/12/31 23:59:59");
  EXPECT_EQ(r->ReturnLengths()[0], 2);
  EXPECT_EQ(r->Buffer()[1], 0x0B);
  EXPECT_FALSE(rowid->GetAsString(0).empty());

  // Ten kanji fill VARCHAR2(20) and come back whole; CHAR(5) keeps its five places.
  Exec("INSERT INTO TYPES (V, C) VALUES ('一二三四五六七八九十', '山田')");
  ASSERT_TRUE(Run(Cur, "SELECT V, C FROM TYPES WHERE N IS NULL"));
  ASSERT_TRUE(Cur.FetchRowsQuiet() || Cur.RowsProcessed() == 1);
  EXPECT_EQ(Cur.Fields(0)->GetAsString(0), "一二三四五六七八九十");
  EXPECT_EQ(Cur.Fields(0)->ReturnCodes()[0], 0);
  EXPECT_EQ(Cur.Fields(1)->GetAsCharText(0), "山田 ");
}

TEST_F(CursorTest, ExactNumbersFromTheLibrary) {
  const std::pair<std::string, std::string> cases[] = {
      {"12.5", "12.5"},   {"3", "3"},   {"0.000001", "1E-6"},
      {"-7.25", "-7.25"}, {"NULL", ""}, {"123456789012345678", "123456789012345678"}};
  Exec("CREATE TABLE NUMS (ID NUMBER, N NUMBER)");
  for (int i = 0; i < 6; ++i)
    Exec("INSERT INTO NUMS (ID, N) VALUES (" + std::to_string(i) + ", " + cases[i].first + ")");
  ASSERT_TRUE(Run(Cur, "SELECT N FROM NUMS ORDER BY ID"));
  Cur.FetchRowsQuiet();
  ASSERT_EQ(Cur.RowsProcessed(), 6u);
  for (int i = 0; i < 6; ++i)
    EXPECT_EQ(Cur.Fields(0)->GetAsString(i), cases[i].second) << cases[i].first;
  EXPECT_EQ(Cur.Fields(0)->GetAsInteger(3), -7);
  EXPECT_TRUE(Cur.Fields(0)->IsNull(4));
}

TEST_F(CursorTest, ThousandAndOneColumnsGiveThousandFields) {
  std::string sql = "SELECT 1";
  for (int i = 2; i <= 1001; ++i)
    sql += ", " + std::to_string(i);
  ASSERT_TRUE(Run(Cur, sql + " FROM DUAL"));
  EXPECT_EQ(Cur.FieldCount(), 1000);
  ASSERT_TRUE(Cur.Fetch());
  EXPECT_EQ(Cur.Fields(999)->GetAsString(0), "1000");
}

TEST_F(CursorTest, ArrayFetchGrowthAndEnd) {
  Exec("CREATE TABLE BIG (N NUMBER, S VARCHAR2(10))");
  TOraCursor ins;
  ins.SetSession(&Ses);
  ASSERT_TRUE(ins.Open());
  for (int i = 1; i <= 2500; ++i) {
    ins.SQL() = {"INSERT INTO BIG (N, S) VALUES (" + std::to_string(i) + ", 'R" +
                 std::to_string(i) + "')"};
    ASSERT_TRUE(ins.Parse() && ins.Exec()) << i << ": " << ins.ErrorText();
  }
  ASSERT_TRUE(Ses.Commit());

  Cur.SetNumberOfRows(1000);
  ASSERT_TRUE(Run(Cur, "SELECT N, S FROM BIG ORDER BY N"));
  EXPECT_TRUE(Cur.FetchRows());
  EXPECT_EQ(Cur.RowsProcessed(), 1000u);
  EXPECT_EQ(Cur.Fields(0)->GetAsString(999), "1000");
  EXPECT_TRUE(Cur.FetchRows());
  EXPECT_EQ(Cur.RowsProcessed(), 2000u);
  EXPECT_EQ(Cur.Fields(1)->GetAsString(0), "R1001");
  EXPECT_TRUE(Errors.empty());

  // The call reaching the end fails although it delivered the last 500 rows.
  EXPECT_FALSE(Cur.FetchRows());
  EXPECT_EQ(Cur.RowsProcessed(), 2500u);
  EXPECT_EQ(Cur.Fields(0)->GetAsString(0), "2001");
  EXPECT_EQ(Cur.Fields(1)->GetAsString(499), "R2500");
  EXPECT_FALSE(Cur.FetchRows());
  EXPECT_EQ(Cur.RowsProcessed(), 2500u);
  ASSERT_EQ(Errors.size(), 2u);
  EXPECT_TRUE(EndsWith(Errors[1], "\rProcessing Ora function OFETCH, OFEN")) << Errors[1];
}

TEST_F(CursorTest, FetchRowsRefusesLongFieldsAndGrownRows) {
  Exec("CREATE TABLE LT (ID NUMBER, TXT LONG)");
  Exec("INSERT INTO LT (ID, TXT) VALUES (1, 'short')");
  Cur.SetNumberOfRows(1000);
  ASSERT_TRUE(Run(Cur, "SELECT ID, TXT FROM LT"));
  EXPECT_EQ(Cur.Fields(1)->FieldKind(), 6);
  EXPECT_EQ(Cur.Fields(1)->RowCount(), 1);
  EXPECT_FALSE(Cur.FetchRows());
  EXPECT_EQ(Cur.RowsProcessed(), 0u);
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_NE(Errors[0].find("LONG"), std::string::npos) << Errors[0];
  EXPECT_FALSE(Cur.FetchRowsQuiet());
  EXPECT_EQ(Errors.size(), 1u);
  // One row at a time still works.
  ASSERT_TRUE(Cur.Fetch());
  EXPECT_EQ(Cur.Fields(0)->GetAsString(0), "1");
  Cur.Close();

  Errors.clear();
  Cur.SetNumberOfRows(10);
  ASSERT_TRUE(Run(Cur, "SELECT EMPNO FROM EMP ORDER BY EMPNO"));
  Cur.SetNumberOfRows(11);
  EXPECT_FALSE(Cur.FetchRows());
  EXPECT_EQ(Cur.RowsProcessed(), 0u);
  EXPECT_EQ(Errors.size(), 1u);
  // Fewer rows than allocated are fine.
  Cur.SetNumberOfRows(5);
  EXPECT_TRUE(Cur.FetchRows());
  EXPECT_EQ(Cur.RowsProcessed(), 5u);
  EXPECT_EQ(Cur.Fields(0)->GetAsString(0), "7369");
}

TEST_F(CursorTest, FetchLongReadsPieces) {
  std::string text;
  for (int i = 0; text.size() < 150000; ++i)
    text += "line " + std::to_string(i) + " of a long text;";
  Exec("CREATE TABLE LT (ID NUMBER, TXT LONG)");
  Exec("INSERT INTO LT (ID, TXT) VALUES (7, '" + text + "')");
  ASSERT_TRUE(Run(Cur, "SELECT ID, TXT FROM LT"));
  ASSERT_TRUE(Cur.Fetch());
  EXPECT_EQ(Cur.Fields(0)->GetAsString(0), "7");
  auto* lng = dynamic_cast<TOraLongField*>(Cur.Fields(1));
  ASSERT_NE(lng, nullptr);
  EXPECT_EQ(lng->Width(), 65535);
  EXPECT_THROW(lng->GetAsString(0), EOciCompoError);

  std::string read;
  int pieces = 0;
  while (pieces < 20) {
    ASSERT_TRUE(Cur.FetchLong(lng, static_cast<int>(read.size()))) << Cur.ErrorText();
    ASSERT_LE(lng->LongLength(), 65535u);
    if (lng->LongLength() == 0)
      break;
    read.append(reinterpret_cast<const char*>(lng->Buffer()), lng->LongLength());
    ++pieces;
  }
  EXPECT_GE(pieces, 3);
  EXPECT_EQ(read.size(), text.size());
  EXPECT_TRUE(read == text);
  EXPECT_THROW(Cur.FetchLong(Cur.Fields(0), 0), EOciCompoError);
}

TEST_F(CursorTest, TypedWriteErrorsArriveAsOracleTexts) {
  Exec("CREATE TABLE W (N NUMBER(3), S VARCHAR2(5), D DATE, K NUMBER NOT NULL)");
  struct {
    const char* Values;
    const char* Ora;
  } cases[] = {
      {"'abc', 'x', NULL, 1", "ORA-01722"}, {"1, 'toolong', NULL, 1", "ORA-12899"},
      {"12345, 'x', NULL, 1", "ORA-01438"}, {"1, 'x', 'not a date', 1", "ORA-01858"},
      {"1, 'x', NULL, NULL", "ORA-01400"},
  };
  ASSERT_TRUE(Cur.Open());
  for (auto& c : cases) {
    Errors.clear();
    Cur.SQL() = {std::string("INSERT INTO W (N, S, D, K) VALUES (") + c.Values + ")"};
    ASSERT_TRUE(Cur.Parse()) << c.Values << ": " << Cur.ErrorText();
    EXPECT_FALSE(Cur.Exec()) << c.Values;
    ASSERT_EQ(Errors.size(), 1u) << c.Values;
    EXPECT_TRUE(StartsWith(Errors[0], c.Ora)) << Errors[0];
    EXPECT_TRUE(EndsWith(Errors[0], "\rProcessing Ora function OEXEC, OEXN")) << Errors[0];
  }
  // Valid values still go in, rounded to the column's scale and read back typed.
  Cur.SQL() = {"INSERT INTO W (N, S, D, K) VALUES (12.6, 'abcde', '2024-02-29 08:30:00', 5)"};
  ASSERT_TRUE(Cur.Parse() && Cur.Exec()) << Cur.ErrorText();
  Ses.DateFormatString = "YYYY/MM/DD HH:NN:SS";
  TOraCursor q;
  q.SetSession(&Ses);
  EXPECT_EQ(Scalar(q, "SELECT N FROM W"), "13");
  EXPECT_EQ(Scalar(q, "SELECT D FROM W"), "2024/02/29 08:30:00");
}

// A type the access layer has no field class of its own for arrives as the engine's text.
TEST_F(CursorTest, TimestampColumnsArriveAsText) {
  Exec("CREATE TABLE STAMPS (T TIMESTAMP(2))");
  Exec("INSERT INTO STAMPS VALUES (TIMESTAMP '2001-02-03 04:05:06.7')");
  ASSERT_TRUE(Run(Cur, "SELECT T, SYSTIMESTAMP FROM STAMPS"));
  ASSERT_EQ(Cur.FieldCount(), 2);
  auto* t = dynamic_cast<TOraStrField*>(Cur.Fields(0));
  ASSERT_TRUE(t && dynamic_cast<TOraStrField*>(Cur.Fields(1)));
  EXPECT_EQ(t->DbType(), 180);
  EXPECT_EQ(dynamic_cast<TOraStrField*>(Cur.Fields(1))->DbType(), 181);
  ASSERT_TRUE(Cur.FetchRowsQuiet() || Cur.RowsProcessed() == 1);
  EXPECT_EQ(t->GetAsString(0), "01-02-03 04:05:06.70");
  EXPECT_EQ(Cur.Fields(1)->GetAsString(0).size(), 31u);
}

// Intervals too, with their leading and fractional digits as described; the widest value of a
// DAY(9) TO SECOND(9) fits the field.
TEST_F(CursorTest, IntervalColumnsArriveAsText) {
  Exec("CREATE TABLE SPANS (Y INTERVAL YEAR(3) TO MONTH, D INTERVAL DAY TO SECOND(2))");
  Exec("INSERT INTO SPANS VALUES (INTERVAL '123-2' YEAR(3) TO MONTH, INTERVAL '-4 5:12:10.225' DAY "
       "TO SECOND)");
  ASSERT_TRUE(Run(Cur, "SELECT Y, D, NUMTODSINTERVAL(-999999999.5, 'DAY') W FROM SPANS"));
  ASSERT_EQ(Cur.FieldCount(), 3);
  auto* y = dynamic_cast<TOraStrField*>(Cur.Fields(0));
  auto* d = dynamic_cast<TOraStrField*>(Cur.Fields(1));
  ASSERT_TRUE(y && d && dynamic_cast<TOraStrField*>(Cur.Fields(2)));
  EXPECT_EQ(y->DbType(), 182);
  EXPECT_EQ(d->DbType(), 183);
  EXPECT_EQ(y->DbPrecision(), 3);
  EXPECT_EQ(d->DbPrecision(), 2);
  EXPECT_EQ(d->DbScale(), 2);
  ASSERT_TRUE(Cur.FetchRowsQuiet() || Cur.RowsProcessed() == 1);
  EXPECT_EQ(y->GetAsString(0), "+123-02");
  EXPECT_EQ(d->GetAsString(0), "-04 05:12:10.23");
  EXPECT_EQ(Cur.Fields(2)->GetAsString(0), "-999999999 12:00:00.000000000");
}
