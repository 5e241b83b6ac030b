#include "CsvFixture.h"

#include "StringGridEx.h"
#include "uEditor.h"
#include "uMain.h"

#include <QDir>

namespace {

const std::vector<std::string> ValuesTable = {
    "CREATE TABLE VALS (ID NUMBER(4), S VARCHAR2(200), N NUMBER, D DATE, C CHAR(6))",
};

// One row of VALS each: the values as SQL, and the data line the export writes for them.
const struct {
  const char* values;
  const char* line;
} ValueCases[] = {
    {"1, 'plain', 12.5, '2020/01/02 03:04:05', 'ab'",
     "1,\"plain\",12.5,\"2020/01/02 03:04:05\",\"ab    \""},
    {"2, 'say \"hi\"', -7, NULL, NULL", "2,\"say \"\"hi\"\"\",-7,\"\",\"\""},
    {"3, 'a,b', 0.000001, NULL, 'x,y'", "3,\"a,b\",.000001,\"\",\"x,y   \""},
    {"4, '  lead and trail  ', NULL, NULL, NULL", "4,\"  lead and trail  \",,\"\",\"\""},
    {"5, 'one' || CHR(13) || CHR(10) || 'two' || CHR(10) || 'three', 1, NULL, NULL",
     "5,\"one\r\ntwo\nthree\",1,\"\",\"\""},
    {"6, NULL, NULL, NULL, NULL", "6,\"\",,\"\",\"\""},
    {"7, '', NULL, '1999-12-31', ''", "7,\"\",,\"1999/12/31 00:00:00\",\"\""},
    // Sixteen digits: more than a 15-digit form would keep. Two kanji are four of CHAR(6)'s
    // Shift-JIS bytes, so two blanks follow.
    {"8, '日本語の文 it''s', 1234567890123456, NULL, '全角'",
     "8,\"日本語の文 it's\",1234567890123456,\"\",\"全角  \""},
    {"9, '～①㈱ 表ソ', -0.5, NULL, NULL", "9,\"～①㈱ 表ソ\",-.5,\"\",\"\""},
    {"10, 'tab' || CHR(9) || 'in', 100, NULL, NULL", "10,\"tab\tin\",100,\"\",\"\""},
    {"11, '波〜線', NULL, NULL, NULL", "11,\"波〜線\",,\"\",\"\""},
};

std::vector<std::string> ValuesStatements(bool withWaveDash) {
  std::vector<std::string> sql = ValuesTable;
  for (const auto& c : ValueCases)
    if (withWaveDash || std::string(c.line).rfind("11,", 0) != 0)
      sql.push_back(std::string("INSERT INTO VALS VALUES (") + c.values + ")");
  return sql;
}

TEST_F(CsvTest, ExportsEveryRowOfATable) {
  TfMainForm& f = Ready({"CREATE TABLE EMPTY_T (A VARCHAR2(5), B NUMBER)",
                         "CREATE TABLE \"mixed Case\" (\"a\" NUMBER)",
                         "INSERT INTO \"mixed Case\" VALUES (1)"});
  const QString path = Path("emp.csv");
  Export("EMP", path);
  EXPECT_EQ(Files.Names, QStringList{"SaveDialog1"});
  EXPECT_EQ(Files.Offered, QStringList{"EMP.CSV"});
  EXPECT_EQ(f.StatusText(), "14件出力しました");
  EXPECT_EQ(Capture->Count(), 0);
  const QStringList lines = QString::fromUtf8(Bytes(path)).split("\r\n");
  ASSERT_EQ(lines.size(), 16); // header, 14 rows, and nothing after the last CR LF
  EXPECT_EQ(lines[0],
            "\"EMPNO\",\"ENAME\",\"JOB\",\"MGR\",\"HIREDATE\",\"SAL\",\"COMM\",\"DEPTNO\"");
  // No date format chosen: the time of day is written too.
  EXPECT_EQ(lines[1], "7369,\"SMITH\",\"CLERK\",7902,\"1980/12/17 00:00:00\",800,,20");
  EXPECT_EQ(lines[15], "");
  EXPECT_FALSE(f.OraCurExt.Opened());

  // The chosen date format applies.
  f.YYYYMMDD1->trigger();
  Export("EMP", path);
  EXPECT_TRUE(Bytes(path).contains("\"SMITH\",\"CLERK\",7902,\"1980/12/17\",800,,20\r\n"));

  // An empty table: the header only. A name that needs quotes reaches its table.
  Export("EMPTY_T", path);
  EXPECT_EQ(Bytes(path), "\"A\",\"B\"\r\n");
  EXPECT_EQ(f.StatusText(), "0件出力しました");
  Export("mixed Case", path);
  EXPECT_EQ(Files.Offered.last(), "MIXED CASE.CSV");
  EXPECT_EQ(Bytes(path), "\"a\"\r\n1\r\n");

  // Only tables: a view, a category or a column gives the notice and no dialog.
  const int dialogs = Files.Count();
  Select({"VIEWS", "EMP_DEPT_V"});
  f.OutCSV->trigger();
  EXPECT_EQ(Files.Count(), dialogs);
  EXPECT_EQ(Capture->Texts, QStringList{"テーブルを選択してください"});
  Select({"TABLES"});
  EXPECT_FALSE(f.OutCSV->isEnabled());
  // Cancel in the dialog: nothing written.
  Select({"TABLES", "EMP"});
  f.OutCSV->trigger();
  EXPECT_EQ(Bytes(path), "\"a\"\r\n1\r\n");
}

TEST_F(CsvTest, ValuesRoundTripThroughTheFile) {
  TfMainForm& f = Ready(ValuesStatements(true));
  const QStringList before = Rows("SELECT * FROM VALS ORDER BY ID");
  ASSERT_EQ(before.size(), 11);
  const QString path = Path("vals.csv");
  Export("VALS", path);
  EXPECT_EQ(f.StatusText(), "11件出力しました");
  QString expected = "\"ID\",\"S\",\"N\",\"D\",\"C\"\r\n";
  for (const auto& c : ValueCases)
    expected += QString::fromUtf8(c.line) + "\r\n";
  EXPECT_EQ(QString::fromUtf8(Bytes(path)), expected);

  // Into the emptied table: the same rows, CR LF, quotes and every digit included.
  Import("VALS", f.N6, path);
  EXPECT_EQ(f.StatusText(), "11件入力しました");
  EXPECT_EQ(Rows("SELECT * FROM VALS ORDER BY ID"), before);
  EXPECT_EQ(Capture->Count(), 0) << Capture->Last().toStdString();
}

TEST_F(CsvTest, Cp932FilesForSpreadsheets) {
  TfMainForm& f = Ready(ValuesStatements(true));
  f.ShiftJISCP9321->trigger();
  EXPECT_TRUE(f.ShiftJISCP9321->isChecked());
  EXPECT_FALSE(f.UTF81->isChecked());
  EXPECT_EQ(Stored("CSVCODE"), "CP932");

  // The wave dash has no place in CP932: the export fails naming where it stands, and the file
  // that was there stays.
  const QString path = Path("vals.csv");
  WriteFile(path, "old file\r\n");
  Export("VALS", path);
  ASSERT_EQ(Capture->Count(), 1);
  EXPECT_TRUE(Capture->Last().contains("U+301C")) << Capture->Last().toStdString();
  EXPECT_TRUE(Capture->Last().contains("12行目 列 S")) << Capture->Last().toStdString();
  EXPECT_EQ(Bytes(path), "old file\r\n");
  EXPECT_EQ(QDir(Dir.path()).entryList(QDir::Files), QStringList{"vals.csv"});
  EXPECT_NE(f.StatusText(), "11件出力しました");

  // Without it: Microsoft's table (0x8160 is U+FF5E, 0x8740 is U+2460), read back by detection.
  EXPECT_TRUE(OtherLogonRuns({"DELETE FROM VALS WHERE ID = 11"}));
  const QStringList before = Rows("SELECT * FROM VALS ORDER BY ID");
  Capture->Clear();
  Export("VALS", path);
  EXPECT_EQ(f.StatusText(), "10件出力しました");
  const QByteArray bytes = Bytes(path);
  EXPECT_TRUE(bytes.contains("\"\x81\x60\x87\x40\x87\x8a \x95\x5c\x83\x5c\""))
      << bytes.toStdString();
  EXPECT_FALSE(IsValidUtf8(bytes.constData(), size_t(bytes.size())));
  Import("VALS", f.N6, path);
  EXPECT_EQ(f.StatusText(), "10件入力しました");
  EXPECT_EQ(Rows("SELECT * FROM VALS ORDER BY ID"), before);
  EXPECT_EQ(Capture->Count(), 0) << Capture->Last().toStdString();

  // The choice is kept for the next start.
  Form.reset();
  TfMainForm& again = Shown();
  EXPECT_TRUE(again.ShiftJISCP9321->isChecked());
  again.UTF81->trigger();
  EXPECT_TRUE(again.UTF81->isChecked());
  EXPECT_FALSE(again.ShiftJISCP9321->isChecked());
  EXPECT_EQ(Stored("CSVCODE"), "UTF-8");
}

TEST_F(CsvTest, FailedExportsLeaveTheOldFile) {
  TfMainForm& f = Ready();
  const QString path = Path("keep.csv");
  WriteFile(path, "precious\r\n");
  TDataToolEnv env = f.ToolEnv();
  TCsvExport tool(env);
  // A table that is not there.
  EXPECT_FALSE(tool.ExportTableTo("NO_SUCH", path));
  ASSERT_EQ(Capture->Count(), 1);
  EXPECT_TRUE(Capture->Last().startsWith("エラーが発生しました。 ORA_ERR:ORA-00942"))
      << Capture->Last().toStdString();
  EXPECT_EQ(f.StatusText(), "");
  EXPECT_EQ(Bytes(path), "precious\r\n");
  // A folder that is not there.
  EXPECT_FALSE(tool.ExportTableTo("EMP", Path("no/such/folder/x.csv")));
  EXPECT_EQ(Capture->Last(), "ファイルの作成に失敗しました");
  // A failure in the middle of the rows: the session is gone when the rows are fetched.
  EXPECT_TRUE(OtherLogonRuns({"CREATE TABLE MANY (N NUMBER)"}));
  // More rows than one fetch brings.
  EXPECT_TRUE(OtherLogonRuns({"INSERT INTO MANY SELECT ROWNUM FROM EMP A, EMP B, EMP C"}));
  bool dropped = false;
  TCsvExport failing(env);
  // Logged off under the running fetch, at its first message pump.
  QTimer::singleShot(0, [&] {
    f.OraMainSes.Disconnect();
    dropped = true;
  });
  Capture->Clear();
  EXPECT_FALSE(failing.ExportTableTo("MANY", path));
  EXPECT_TRUE(dropped);
  ASSERT_EQ(Capture->Count(), 1);
  EXPECT_TRUE(Capture->Last().startsWith("エラーが発生しました。 ORA_ERR:ORA-"))
      << Capture->Last().toStdString();
  EXPECT_EQ(Bytes(path), "precious\r\n");
  EXPECT_EQ(QDir(Dir.path()).entryList(QDir::Files), QStringList{"keep.csv"});
}

TEST_F(CsvTest, RawAndLongColumnsKeepTheirPlace) {
  TfMainForm& f = Ready();
  const QString path = Path("note.csv");
  Export("EMP_NOTE", path);
  EXPECT_EQ(f.StatusText(), "2件出力しました");
  // In the order the database gives them.
  EXPECT_EQ(Bytes(path), "\"EMPNO\",\"NOTE\"\r\n7788,\r\n7839,\r\n");
  Export("EMP_BADGE", path);
  EXPECT_EQ(Bytes(path), "\"EMPNO\",\"BADGE\"\r\n7369,\r\n7499,\r\n");
  EXPECT_EQ(Capture->Count(), 0);
}

TEST_F(CsvTest, ResultGridFile) {
  TfMainForm& f = Ready();
  // No query window: nothing happens.
  f.N5->trigger();
  EXPECT_EQ(Files.Count(), 0);
  EXPECT_TRUE(f.N5->isEnabled());

  f.sbNewQueryClick();
  QApplication::processEvents();
  TfMain* q = f.QueryWindows().value(0);
  ASSERT_NE(q, nullptr);
  q->mmSqlStatement->SetText(
      "SELECT ENAME, COMM, 'a \"b\", c' X FROM EMP WHERE EMPNO IN (7369, 7499) "
      "ORDER BY EMPNO;");
  q->F51->trigger();
  const QString path = Path("grid.csv");
  Files.Answers.push_back(path);
  f.N5->trigger();
  EXPECT_EQ(Files.Offered, QStringList{"*.csv"});
  EXPECT_EQ(Bytes(path), ",ENAME,COMM,X\r\n"
                         "1,SMITH,,\"a \"\"b\"\", c\"\r\n"
                         "2,ALLEN,300,\"a \"\"b\"\", c\"\r\n");
  // The dialog offers what its last use left; the status is not touched.
  f.N5->trigger();
  EXPECT_EQ(Files.Offered.last(), path);
  EXPECT_EQ(Capture->Count(), 0);
}

TEST_F(CsvTest, RealBoxesOfTheExport) {
  TfMainForm& f = Ready();
  TRealBoxes boxes(Capture);
  Select({"VIEWS", "EMP_DEPT_V"});
  f.OutCSV->trigger();
  boxes.Settle();
  EXPECT_EQ(boxes.Texts, QStringList{"テーブルを選択してください"});
  TDataToolEnv env = f.ToolEnv();
  TCsvExport tool(env);
  EXPECT_FALSE(tool.ExportTableTo("NO_SUCH", Path("x.csv")));
  boxes.Settle();
  ASSERT_EQ(boxes.Texts.size(), 2);
  EXPECT_TRUE(boxes.Texts[1].startsWith("エラーが発生しました。 ORA_ERR:ORA-00942"));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

} // namespace
