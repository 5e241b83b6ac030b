#include "CsvFixture.h"
#include "CtrlGrid.h"
#include "uCrtDummy.h"

#include <QComboBox>
#include <QLineEdit>

namespace {

// What the test types into the dialog for one column (grid column col).
struct TColumnInput {
  int Col;
  QString Fixed, Increment, Condition;
};

class DummyTest : public CsvTest {
protected:
  void TearDown() override {
    TfCrtDummy::TestDriver = nullptr;
    CsvTest::TearDown();
  }

  // The next dialog gets the count and the column inputs, then OK.
  void Answer(const QString& count, const std::vector<TColumnInput>& columns = {}) {
    TfCrtDummy::TestDriver = [=, this](TfCrtDummy& dlg) {
      Shown << dlg.lblTableName->text();
      QStringList names;
      for (int c = 1; c < dlg.cgrFields->ColCount(); ++c)
        names << dlg.cgrFields->Cells(c, TfCrtDummy::rowField);
      Names = names;
      dlg.edtKEISU->setText(count);
      for (const TColumnInput& in : columns) {
        dlg.cgrFields->SetCells(in.Col, TfCrtDummy::rowFixed, in.Fixed);
        dlg.cgrFields->SetCells(in.Col, TfCrtDummy::rowIncrement, in.Increment);
        dlg.cgrFields->SetCells(in.Col, TfCrtDummy::rowCondition, in.Condition);
      }
      dlg.btnOK->click();
    };
  }
  void Generate(const QString& table) {
    Select({"TABLES", table});
    Form->CrtDummy->trigger();
  }
  QStringList LastLogLines(int n) const { return LogLines().mid(LogLines().size() - n); }

  static void Press(Qt::Key key) {
    QWidget* w = QApplication::focusWidget();
    ASSERT_NE(w, nullptr);
    QTest::keyClick(w, key);
    QApplication::processEvents();
  }

  QStringList Shown; // lblTableName at each opening
  QStringList Names; // the column names the dialog listed last
};

TEST_F(DummyTest, ValuesByConditionAndColumnType) {
  TfMainForm& f = Ready({"CREATE TABLE T (ID NUMBER, NAME VARCHAR2(10), CODE VARCHAR2(2), "
                         "FIX VARCHAR2(10), STEP VARCHAR2(10), PRICE NUMBER(6,2), CREATED DATE)"});
  Answer("101", {{2, "unused", "", ""},
                 {3, "", "", "順列値"},
                 {4, "it's", "", "固定値"},
                 {5, "", "5", "増分値"},
                 {6, "12.5", "", "固定値"},
                 {7, "2001/01/01", "", "固定値"}});
  Generate("T");
  EXPECT_EQ(Shown, QStringList{"Tのデータを作成します"});
  EXPECT_EQ(Names, (QStringList{"ID", "NAME", "CODE", "FIX", "STEP", "PRICE", "CREATED"}));
  EXPECT_EQ(Capture->Texts, QStringList{"101 件のデータを作成します"});

  const QStringList rows = Rows("SELECT ID, NAME, CODE, FIX, STEP, PRICE FROM T ORDER BY ID");
  ASSERT_EQ(rows.size(), 101);
  EXPECT_EQ(rows[0], "1|0000000001|01|it's|0000000005|12.5");
  EXPECT_EQ(rows[1], "2|0000000002|02|it's|0000000010|12.5");
  // Only the last two digits fit CODE.
  EXPECT_EQ(rows[99], "100|0000000100|00|it's|0000000500|12.5");
  EXPECT_EQ(rows[100], "101|0000000101|01|it's|0000000505|12.5");
  // A date column gets the current date, whatever its condition says.
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM T WHERE CREATED > SYSDATE - 1 AND CREATED <= SYSDATE"),
            QStringList{"101"});

  EXPECT_EQ(f.StatusText(), "101件入力しました");
  EXPECT_EQ(Counters(), (QStringList{"101", "101", "0"}));
  EXPECT_EQ(Log->pbrStatus->maximum(), 101);
  EXPECT_EQ(LogLines(),
            (QStringList{"作成データ", "   追加データ   =   101", "   未追加データ =     0"}));
  EXPECT_TRUE(Log->btnOK->isEnabled());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_FALSE(f.OraCurExt.Opened());
  EXPECT_FALSE(f.OraCursorField.Opened());

  // The dialog keeps what was typed; the next table gets its own columns and names.
  ASSERT_TRUE(OtherLogonRuns(
      {"CREATE TABLE U (A VARCHAR2(5), B VARCHAR2(5), C VARCHAR2(5), D VARCHAR2(12))"}));
  f.sbViewTable->click(); // hide the tree
  f.sbViewTable->click(); // and build it again with U
  Answer("2");
  Generate("U");
  EXPECT_EQ(Names, (QStringList{"A", "B", "C", "D"}));
  EXPECT_EQ(f.CrtDummyForm()->cgrFields->ColCount(), 5);
  EXPECT_EQ(Rows("SELECT * FROM U ORDER BY A"),
            (QStringList{"00001|00001|00001|it's", "00002|00002|00002|it's"}));

  // RAW and LONG columns take the digits as text, hex digits for RAW.
  Answer("2");
  Generate("EMP_BADGE");
  EXPECT_EQ(Counters(), (QStringList{"2", "2", "0"}));
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM EMP_BADGE WHERE EMPNO < 3 AND BADGE IS NOT NULL"),
            QStringList{"2"});
  Answer("2");
  Generate("EMP_NOTE");
  EXPECT_EQ(Rows("SELECT EMPNO, NOTE FROM EMP_NOTE WHERE EMPNO < 3 ORDER BY EMPNO"),
            (QStringList{"1|1", "2|2"}));
}

TEST_F(DummyTest, FailingRowsAreLoggedCountedAndTheRestCommitted) {
  TfMainForm& f = Ready({"CREATE TABLE W (ID NUMBER(6) PRIMARY KEY, NAME VARCHAR2(10))",
                         "INSERT INTO W VALUES (10, 'old')", "INSERT INTO W VALUES (20, 'old')",
                         "INSERT INTO W VALUES (250, 'old')"});
  Answer("250", {{1, "", "", ""}, {2, "", "", ""}});
  Generate("W");
  EXPECT_EQ(Counters(), (QStringList{"250", "247", "3"}));
  EXPECT_EQ(f.StatusText(), "247件入力しました");
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM W"), QStringList{"250"});
  EXPECT_EQ(LastLogLines(3),
            (QStringList{"作成データ", "   追加データ   =   247", "   未追加データ =     3"}));
  // Each failure: the error (its second line names the call), then the statement.
  const QStringList lines = LogLines();
  ASSERT_EQ(lines.size(), 3 * 3 + 3);
  EXPECT_TRUE(lines[0].startsWith("エラーが発生しました。 ORA_ERR:ORA-00001"))
      << lines[0].toStdString();
  EXPECT_TRUE(lines[2].startsWith("SQL =  INSERT INTO W VALUES ( ")) << lines[2].toStdString();
  EXPECT_TRUE(lines[2].endsWith(",'0000000010')")) << lines[2].toStdString();
  EXPECT_EQ(Capture->Count(), 1); // the announcement only

  // A number column whose fixed value is blank leaves a hole: every row fails, none is lost.
  Capture->Clear();
  Answer("2", {{1, " ", "", "固定値"}});
  Generate("W");
  EXPECT_EQ(Counters(), (QStringList{"2", "0", "2"}));
  EXPECT_EQ(f.StatusText(), "0件入力しました");
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM W"), QStringList{"250"});
}

TEST_F(DummyTest, FailuresThatEndTheRunAreReported) {
  TfMainForm& f = Ready({"CREATE TABLE X (S VARCHAR2(12))", "CREATE TABLE GONE (A NUMBER)"});
  // An increment whose multiple leaves the 32-bit range: the rows before it stay.
  Answer("3", {{1, "", "2147483647", "増分値"}});
  Generate("X");
  ASSERT_EQ(Capture->Count(), 2);
  EXPECT_EQ(Capture->Kinds[1], Msg::TMsgKind::Error);
  EXPECT_TRUE(Capture->Last().startsWith("エラーが発生しました。 ORA_ERR:"))
      << Capture->Last().toStdString();
  EXPECT_TRUE(LogLines().contains(Capture->Last()));
  EXPECT_EQ(Rows("SELECT S FROM X"), QStringList{"002147483647"});
  EXPECT_EQ(f.StatusText(), "1件入力しました");
  EXPECT_EQ(LastLogLines(2), (QStringList{"   追加データ   =     1", "   未追加データ =     0"}));
  EXPECT_EQ(Counters(), (QStringList{"1", "1", "0"}));

  // "増分値" without an increment: nothing is made.
  Capture->Clear();
  Answer("3", {{1, "", "", "増分値"}});
  Generate("X");
  ASSERT_EQ(Capture->Count(), 2);
  EXPECT_TRUE(Capture->Last().startsWith("エラーが発生しました。 ORA_ERR:"));
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM X"), QStringList{"1"});
  EXPECT_EQ(f.StatusText(), "0件入力しました");

  // A table gone since the tree was built: the lookup fails and the dialog is not shown.
  ASSERT_TRUE(OtherLogonRuns({"DROP TABLE GONE"}));
  Capture->Clear();
  Shown.clear();
  Answer("3");
  Generate("GONE");
  EXPECT_TRUE(Shown.isEmpty());
  ASSERT_EQ(Capture->Count(), 1);
  EXPECT_TRUE(Capture->Last().startsWith("エラーが発生しました。 ORA_ERR:ORA-00942"))
      << Capture->Last().toStdString();
  EXPECT_EQ(f.StatusText(), "テーブル検索中にエラーが発生しました");

  // Only tables.
  Capture->Clear();
  Select({"VIEWS", "EMP_DEPT_V"});
  f.CrtDummy->trigger();
  EXPECT_EQ(Capture->Texts, QStringList{"テーブルを選択してください"});
  EXPECT_TRUE(Shown.isEmpty());
}

TEST_F(DummyTest, DialogChecksBeforeClosing) {
  Ready({"CREATE TABLE V (A VARCHAR2(10), B VARCHAR2(10))"});
  // First opening: the checks, then Cancel with a bad increment still in place.
  TfCrtDummy::TestDriver = [this](TfCrtDummy& dlg) {
    dlg.edtKEISU->clear();
    dlg.btnOK->click();
    QApplication::processEvents();
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(Capture->Last(), "件数が入力されていません");
    EXPECT_TRUE(dlg.edtKEISU->hasFocus());
    QTest::keyClicks(QApplication::focusWidget(), "3");
    EXPECT_EQ(dlg.edtKEISU->text(), "3");
    // The close box runs the same checks.
    dlg.edtKEISU->clear();
    Capture->Clear();
    dlg.close();
    QApplication::processEvents();
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(Capture->Texts, QStringList{"件数が入力されていません"});
    dlg.edtKEISU->setText("3");
    for (const char* bad : {"-1", "1.5", " 5", "5 ", "５"}) {
      Capture->Clear();
      dlg.cgrFields->SetCells(2, TfCrtDummy::rowIncrement, QString::fromUtf8(bad));
      dlg.btnOK->click();
      QApplication::processEvents();
      EXPECT_TRUE(dlg.isVisible()) << bad;
      EXPECT_EQ(Capture->Texts, QStringList{"指定された増分値は数値ではありません"}) << bad;
      EXPECT_EQ(dlg.cgrFields->Col(), 2);
    }
    Capture->Clear();
    dlg.btnCancel->click();
  };
  Generate("V");
  EXPECT_EQ(Capture->Count(), 0);
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM V"), QStringList{"0"});

  // Second opening: the bad increment is refused again; Esc closes without a check.
  TfCrtDummy::TestDriver = [this](TfCrtDummy& dlg) {
    dlg.btnOK->click();
    QApplication::processEvents();
    EXPECT_EQ(Capture->Texts, QStringList{"指定された増分値は数値ではありません"});
    Capture->Clear();
    dlg.edtKEISU->setFocus();
    Press(Qt::Key_Escape);
    EXPECT_FALSE(dlg.isVisible());
  };
  Generate("V");
  EXPECT_EQ(Capture->Count(), 0);

  // Third opening, by keys: the increment typed, the condition chosen in the drop-down, Enter.
  TfCrtDummy::TestDriver = [this](TfCrtDummy& dlg) {
    TCtrlGrid* grid = dlg.cgrFields;
    grid->setFocus();
    grid->FocusCell(2, TfCrtDummy::rowIncrement);
    grid->SetCells(2, TfCrtDummy::rowIncrement, QString());
    QApplication::processEvents();
    QTest::keyClicks(QApplication::focusWidget(), "7");
    Press(Qt::Key_Return);
    grid->FocusCell(2, TfCrtDummy::rowCondition);
    QApplication::processEvents();
    ASSERT_EQ(grid->CurrentControl(), dlg.cboSearch);
    Press(Qt::Key_Return); // into the drop-down
    ASSERT_TRUE(dlg.cboSearch->hasFocus());
    Press(Qt::Key_Down);
    Press(Qt::Key_Down);
    Press(Qt::Key_Return); // the choice is kept, the focus back on the grid
    EXPECT_EQ(grid->Cells(2, TfCrtDummy::rowCondition), "増分値");
    EXPECT_EQ(grid->Cells(2, TfCrtDummy::rowIncrement), "7");
    dlg.edtKEISU->setFocus();
    Press(Qt::Key_Return); // the default button
  };
  Generate("V");
  EXPECT_EQ(Capture->Texts, QStringList{"3 件のデータを作成します"});
  EXPECT_EQ(
      Rows("SELECT A, B FROM V ORDER BY A"),
      (QStringList{"0000000001|0000000007", "0000000002|0000000014", "0000000003|0000000021"}));
}

TEST_F(DummyTest, RealBoxes) {
  TfMainForm& f = Ready({"CREATE TABLE R (A VARCHAR2(3))"});
  TRealBoxes boxes(Capture);
  TfCrtDummy::TestDriver = [&](TfCrtDummy& dlg) {
    dlg.edtKEISU->clear();
    dlg.btnOK->click();
    boxes.Settle(300);
    EXPECT_TRUE(dlg.isVisible());
    dlg.edtKEISU->setText("2");
    dlg.btnOK->click();
  };
  Select({"TABLES", "R"});
  f.CrtDummy->trigger();
  boxes.Settle(300);
  EXPECT_EQ(boxes.Texts, (QStringList{"件数が入力されていません", "2 件のデータを作成します"}));
  EXPECT_EQ(Rows("SELECT A FROM R ORDER BY A"), (QStringList{"001", "002"}));
  EXPECT_EQ(f.StatusText(), "2件入力しました");
}

} // namespace
