#include "CsvFixture.h"

namespace {

const std::vector<std::string> Items = {
    "CREATE TABLE ITEMS (ID NUMBER(6) PRIMARY KEY, NAME VARCHAR2(20), PRICE NUMBER(8,2), "
    "MADE DATE)",
    "INSERT INTO ITEMS VALUES (1, 'old one', 1.5, '2001/02/03 04:05:06')",
    "INSERT INTO ITEMS VALUES (2, 'old two', NULL, NULL)",
};
const char* const AllItems = "SELECT * FROM ITEMS ORDER BY ID";

// A file for ITEMS with rows 10, 11 and 12; the middle one's price is not a number when bad.
QByteArray ItemsFile(bool bad) {
  return QByteArray("\"ID\",\"NAME\",\"PRICE\",\"MADE\"\r\n"
                    "10,\"ten\",10.25,\"2024/01/02 10:20:30\"\r\n") +
         (bad ? "11,\"eleven\",\"eleven\",\"\"\r\n" : "11,\"eleven\",11,\"\"\r\n") +
         "12,\"it's twelve\",,\"2024/12/31\"\r\n";
}

TEST_F(CsvTest, ThreeModesAndTheirRollback) {
  TfMainForm& f = Ready(Items);
  const QStringList old = Rows(AllItems);
  ASSERT_EQ(old.size(), 2);
  const QString good = Path("good.csv"), bad = Path("bad.csv");
  WriteFile(good, ItemsFile(false));
  WriteFile(bad, ItemsFile(true));
  const QStringList goodRows = {"10|ten|10.25|2024/01/02 10:20:30", "11|eleven|11|<null>",
                                "12|it's twelve|<null>|2024/12/31 00:00:00"};

  // N8 with a bad row in the middle: stopped, and the table exactly as before.
  Import("ITEMS", f.N8, bad);
  EXPECT_EQ(Files.Names.last(), "OpenDialog1");
  EXPECT_EQ(Files.Offered.last(), "ITEMS.CSV");
  ASSERT_EQ(Capture->Count(), 1);
  EXPECT_TRUE(Capture->Last().startsWith("エラーが発生しました。 ORA_ERR:ORA-01722"))
      << Capture->Last().toStdString();
  EXPECT_TRUE(
      Capture->Last().endsWith("\nSQL =  INSERT INTO ITEMS VALUES ( 11,'eleven','eleven','')"))
      << Capture->Last().toStdString();
  EXPECT_EQ(Rows(AllItems), old);
  EXPECT_EQ(f.StatusText(), "CSV入力を中止しました");
  EXPECT_TRUE(LogLines().contains(" INSERT INTO ITEMS VALUES ( 11,'eleven','eleven','')"));
  EXPECT_TRUE(LogLines().first().startsWith("エラーが発生しました。 ORA_ERR:ORA-01722"));
  EXPECT_EQ(Counters(), (QStringList{"1", "1", "0"})); // the row before
  EXPECT_TRUE(Log->btnOK->isEnabled());
  EXPECT_TRUE(Log->isVisible());
  // Nothing of the stopped run reaches the database later either.
  f.OraMainSes.Commit();
  EXPECT_EQ(Rows(AllItems), old);

  // N6 with the bad file: the emptying is rolled back with the rows.
  Capture->Clear();
  Import("ITEMS", f.N6, bad);
  EXPECT_EQ(Capture->Count(), 1);
  EXPECT_EQ(Rows(AllItems), old);

  // N7 with the bad file: the failing row is logged with its content, the others go in.
  Capture->Clear();
  Import("ITEMS", f.N7, bad);
  EXPECT_EQ(Capture->Count(), 0);
  EXPECT_EQ(Rows(AllItems), old + (QStringList{goodRows[0], goodRows[2]}));
  EXPECT_EQ(f.StatusText(), "2件入力しました");
  EXPECT_EQ(Counters(), (QStringList{"3", "2", "1"}));
  // The error (its second line names the call), the row's content, the count.
  ASSERT_EQ(LogLines().size(), 4);
  EXPECT_TRUE(LogLines()[0].startsWith(" ORACLE ERROR = ORA-01722")) << LogLines()[0].toStdString();
  EXPECT_EQ(LogLines()[2], "11,eleven,eleven,");
  EXPECT_EQ(LogLines()[3], "2件入力しました");

  // N6 with the good file: exactly the file's rows.
  Import("ITEMS", f.N6, good);
  EXPECT_EQ(Capture->Count(), 0);
  EXPECT_EQ(Rows(AllItems), goodRows);
  EXPECT_EQ(f.StatusText(), "3件入力しました");
  EXPECT_EQ(Counters(), (QStringList{"3", "3", "0"}));
  EXPECT_EQ(Log->pbrStatus->value(), 3);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_FALSE(f.OraCurExt.Opened());
}

TEST_F(CsvTest, IgnoringErrorsCountsEveryRow) {
  TfMainForm& f = Ready({"CREATE TABLE T250 (ID NUMBER(4) PRIMARY KEY, V VARCHAR2(10))"});
  QByteArray bytes = "ID,V\r\n";
  for (int i = 1; i <= 250; ++i) {
    // Rows 50, 120 and 249 fail: a letter, a duplicate key, a value too long.
    const QByteArray id = i == 50 ? "x" : i == 120 ? "119" : QByteArray::number(i);
    bytes += id + ",\"" + (i == 249 ? "much too long" : "v") + "\"\r\n";
  }
  const QString path = Path("t250.csv");
  WriteFile(path, bytes);
  Import("T250", f.N7, path);
  EXPECT_EQ(Counters(), (QStringList{"250", "247", "3"}));
  EXPECT_EQ(f.StatusText(), "247件入力しました");
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM T250"), QStringList{"247"});
  EXPECT_EQ(LogLines().size(), 3 * 3 + 1);
  EXPECT_EQ(LogLines()[2], "x,v");
  EXPECT_EQ(Log->pbrStatus->maximum(), 250);
  EXPECT_EQ(Capture->Count(), 0);
}

TEST_F(CsvTest, WhatTheFileHoldsAndWhatTheTableGets) {
  TfMainForm& f = Ready({"CREATE TABLE E (S VARCHAR2(20), N NUMBER, D DATE)"});
  const auto run = [&](const QByteArray& bytes, QAction* mode = nullptr) {
    Capture->Clear();
    EXPECT_TRUE(OtherLogonRuns({"DELETE FROM E"}));
    const QString path = Path("e.csv");
    WriteFile(path, bytes);
    Import("E", mode ? mode : Form->N7, path);
    return Rows("SELECT S, N, D FROM E ORDER BY S");
  };
  // file -> rows of E
  const struct {
    const char* name;
    QByteArray bytes;
    QStringList rows;
  } cases[] = {
      {"header only", "\"S\",\"N\",\"D\"\r\n", {}},
      {"short line: '' and NULL", "S,N,D\r\na\r\n", {"a|<null>|<null>"}},
      {"blank number is NULL", "S,N,D\r\nb,   ,\r\n", {"b|<null>|<null>"}},
      {"number with blanks", "S,N,D\r\nc, 42 ,\r\n", {"c|42|<null>"}},
      {"quotes and commas", "S,N,D\r\n\"O'Neil, \"\"Jr\"\"\",1,\r\n", {"O'Neil, \"Jr\"|1|<null>"}},
      {"a number cell is never SQL", "S,N,D\r\nd,\"1,2\",\r\ne,SYSDATE,\r\nf,2),(3,\r\n", {}},
      {"BOM", "\xEF\xBB\xBFS,N,D\r\ng,7,\r\n", {"g|7|<null>"}},
      {"CP932", "S,N,D\r\n\x81\x60\x87\x40,1,\r\n", {"～①|1|<null>"}},
      {"LF only and a last line without end",
       "S,N,D\nh,1,2001-02-03\ni,2,",
       {"h|1|2001/02/03 00:00:00", "i|2|<null>"}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(run(c.bytes), c.rows) << c.name;
  run("S,N,D\r\n");
  EXPECT_EQ(f.StatusText(), "0件入力しました");

  // A header with fewer items than the table: every row supplies too few values.
  EXPECT_EQ(run("S,N\r\na,1\r\nb,2\r\n"), QStringList{});
  EXPECT_EQ(Counters(), (QStringList{"2", "0", "2"}));
  // More items than the table: refused before anything changes, in every mode.
  EXPECT_TRUE(OtherLogonRuns({"INSERT INTO E VALUES ('keep', 1, NULL)"}));
  for (QAction* mode : {f.N6, f.N7, f.N8}) {
    Capture->Clear();
    const QString path = Path("wide.csv");
    WriteFile(path, "S,N,D,X\r\na,1,,x\r\n");
    Import("E", mode, path);
    ASSERT_EQ(Capture->Count(), 1) << mode->objectName().toStdString();
    EXPECT_TRUE(Capture->Last().contains("項目数（4）")) << Capture->Last().toStdString();
    EXPECT_EQ(Rows("SELECT S FROM E"), QStringList{"keep"});
    EXPECT_EQ(f.StatusText(), "CSV入力を中止しました");
  }
  // A line with more values than the header is a failed row, not a cut one.
  EXPECT_EQ(run("S,N\r\nok,1\r\ncut,2,3\r\n"), QStringList{});
  EXPECT_EQ(run("S,N,D\r\nok,1,\r\ncut,2,,3\r\n"), QStringList{"ok|1|<null>"});
  EXPECT_EQ(Counters(), (QStringList{"2", "1", "1"}));
  EXPECT_TRUE(LogLines()[0].contains("ヘッダーより項目の多い行")) << LogLines()[0].toStdString();

  // A file that cannot be read is an error, not an empty import.
  EXPECT_TRUE(OtherLogonRuns({"INSERT INTO E VALUES ('stays', 1, NULL)"}));
  for (const QByteArray& broken : {QByteArray("S,N,D\r\nok,1,\r\n\"never closed,2,\r\n")}) {
    Capture->Clear();
    WriteFile(Path("broken.csv"), broken);
    Import("E", f.N6, Path("broken.csv"));
    ASSERT_EQ(Capture->Count(), 1);
    EXPECT_TRUE(Capture->Last().startsWith("CSVファイルを読み込めません。"))
        << Capture->Last().toStdString();
    EXPECT_TRUE(Capture->Last().contains("3行目"));
  }
  Capture->Clear();
  Import("E", f.N6, Path("missing.csv"));
  EXPECT_EQ(Capture->Count(), 1);
  EXPECT_EQ(Rows("SELECT S FROM E ORDER BY S"), (QStringList{"ok", "stays"}));
}

TEST_F(CsvTest, ExportedTableGoesBackIntoAnEmptiedTable) {
  TfMainForm& f = Ready({"CREATE TABLE EMP2 AS SELECT * FROM EMP WHERE 1 = 0",
                         "INSERT INTO EMP2 SELECT * FROM EMP WHERE EMPNO = 7369"});
  const QStringList emp = Rows("SELECT * FROM EMP ORDER BY EMPNO");
  ASSERT_EQ(emp.size(), 14);
  const QString path = Path("EMP.CSV");
  Export("EMP", path);
  Import("EMP2", f.N6, path);
  EXPECT_EQ(f.StatusText(), "14件入力しました");
  EXPECT_EQ(Rows("SELECT * FROM EMP2 ORDER BY EMPNO"), emp);

  // EMP itself goes back whole, its trigger's audit rows aside.
  Import("EMP", f.N6, path);
  EXPECT_EQ(f.StatusText(), "14件入力しました");
  EXPECT_EQ(Rows("SELECT * FROM EMP ORDER BY EMPNO"), emp);

  // A table other rows point at cannot be emptied: the database refuses, the table stays.
  ASSERT_TRUE(OtherLogonRuns({"CREATE TABLE EMP_REF (EMPNO NUMBER(4) REFERENCES EMP)",
                              "INSERT INTO EMP_REF VALUES (7369)"}));
  Import("EMP", f.N6, path);
  ASSERT_EQ(Capture->Count(), 1);
  EXPECT_TRUE(Capture->Last().contains("ORA-02292")) << Capture->Last().toStdString();
  EXPECT_TRUE(Capture->Last().endsWith("SQL =  DELETE FROM EMP"));
  EXPECT_EQ(Rows("SELECT * FROM EMP ORDER BY EMPNO"), emp);
}

TEST_F(CsvTest, EmptyingATableWithLongDataAsksFirst) {
  TfMainForm& f = Ready();
  const QString path = Path("note.csv");
  Export("EMP_NOTE", path);
  const QStringList notes = Rows("SELECT EMPNO, NOTE FROM EMP_NOTE ORDER BY EMPNO");
  ASSERT_EQ(notes.size(), 2);
  EXPECT_TRUE(notes[1].startsWith("7839|社長")) << notes[1].toStdString();
  Capture->Answers = {false};
  Import("EMP_NOTE", f.N6, path);
  ASSERT_EQ(Capture->Count(), 1);
  EXPECT_EQ(Capture->Kinds[0], Msg::TMsgKind::Question);
  EXPECT_TRUE(Capture->Texts[0].contains("NOTE")) << Capture->Texts[0].toStdString();
  EXPECT_EQ(Rows("SELECT EMPNO, NOTE FROM EMP_NOTE ORDER BY EMPNO"), notes);
  EXPECT_EQ(LogLines(), QStringList{"中止しました"});
  EXPECT_TRUE(Log->btnOK->isEnabled());

  Capture->Answers = {true};
  Import("EMP_NOTE", f.N6, path);
  EXPECT_EQ(f.StatusText(), "2件入力しました");
  EXPECT_EQ(Rows("SELECT EMPNO, NOTE FROM EMP_NOTE ORDER BY EMPNO"),
            (QStringList{"7788|<null>", "7839|<null>"}));
  // Adding asks nothing: the rows keep what they have.
  EXPECT_TRUE(OtherLogonRuns({"DELETE FROM EMP_NOTE"}));
  Capture->Clear();
  Import("EMP_NOTE", f.N7, path);
  EXPECT_EQ(Capture->Count(), 0);
}

TEST_F(CsvTest, LogWindowWithRealBoxes) {
  TfMainForm& f = Ready(Items);
  const QStringList old = Rows(AllItems);
  WriteFile(Path("bad.csv"), ItemsFile(true));
  {
    TRealBoxes boxes(Capture);
    Import("ITEMS", f.N8, Path("bad.csv"));
    boxes.Settle();
    ASSERT_EQ(boxes.Texts.size(), 1);
    EXPECT_TRUE(boxes.Texts[0].startsWith("エラーが発生しました。 ORA_ERR:ORA-01722"));
  }
  EXPECT_EQ(Rows(AllItems), old);
  ASSERT_TRUE(Log->isVisible());
  EXPECT_EQ(Log->windowTitle(), "ログ出力");
  EXPECT_TRUE(Log->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_FALSE(Log->isModal());
  EXPECT_EQ(Log->btnOK->text(), "OK(&O)");
  EXPECT_TRUE(Log->mmLOG->isReadOnly());
  QTest::mouseClick(Log->btnOK, Qt::LeftButton);
  EXPECT_FALSE(Log->isVisible());
  // The window made at start-up is the one the import uses; without one, the main window's own.
  f.SetLogWindow(nullptr);
  TfLOG* own = f.LogWindow();
  ASSERT_NE(own, nullptr);
  EXPECT_NE(own, Log.get());
  EXPECT_EQ(f.LogWindow(), own);
}

} // namespace
