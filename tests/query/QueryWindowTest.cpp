#include "QueryFixture.h"

#include <QFile>
#include <QListWidget>
#include <QMdiArea>
#include <QStringEncoder>
#include <QTextBlock>
#include <set>

namespace {

TEST_F(QueryTest, OpensEmptyAndRunsAQueryIntoTheGrid) {
  TfMain& q = Query();
  TfMainForm& f = *Form;
  EXPECT_TRUE(f.New1->isEnabled());
  EXPECT_EQ(f.MDIArea->subWindowList().size(), 1);
  EXPECT_EQ(q.windowTitle(), "Tessel-Query");
  EXPECT_EQ(q.mmSqlStatement->Text(), "");
  EXPECT_EQ(q.sbtRun->toolTip(), "実行 F5");
  EXPECT_EQ(q.sbtStop->toolTip(), "中断 F10");
  EXPECT_TRUE(q.sbtRun->isEnabled());
  EXPECT_FALSE(q.sbtStop->isEnabled());
  EXPECT_EQ(q.sgSqlResult->StripeColor(), QColor(253, 255, 210));
  EXPECT_EQ(q.sgSqlResult->GridStyle(), gsStriped);

  RunText(q, "SELECT * FROM EMP;");
  EXPECT_EQ(q.StatusText(), "14件検索しました");
  EXPECT_EQ(q.windowTitle(), "Tessel-Query ＜更新不可＞");
  EXPECT_FALSE(q.sgSqlResult->Options() & goEditing);
  EXPECT_FALSE(q.sgSqlResult->isHidden());
  TStringGridEx& g = *q.sgSqlResult;
  ASSERT_EQ(g.RowCount(), 15);
  ASSERT_EQ(g.ColCount(), 9);
  EXPECT_EQ(Row(q, 0).mid(1),
            (QStringList{"EMPNO", "ENAME", "JOB", "MGR", "HIREDATE", "SAL", "COMM", "DEPTNO"}));
  EXPECT_EQ(Row(q, 1).mid(0, 3), (QStringList{"1", "7369", "SMITH"}));
  EXPECT_EQ(g.Cells(0, 14), "14");
  EXPECT_EQ(g.ColWidths(0), 48);
  EXPECT_EQ(g.ColWidths(1), 96);      // NUMBER
  EXPECT_EQ(g.ColWidths(2), 10 * 12); // VARCHAR2(10)
  EXPECT_EQ(g.ColWidths(5), 240);     // DATE with the time
  EXPECT_EQ(g.GridColumns()->Items(1)->DataType(), dtNumber);
  EXPECT_EQ(g.GridColumns()->Items(1)->Alignment(), taRightJustify);
  EXPECT_EQ(g.GridColumns()->Items(2)->DataType(), dtString);
  EXPECT_EQ(g.GridColumns()->Items(2)->Alignment(), taLeftJustify);
  EXPECT_FALSE(q.OraCursorMain.Opened());
  EXPECT_TRUE(q.mmSqlStatement->hasFocus());

  // The date-only format narrows date columns.
  f.YYYYMMDD1->trigger();
  QTest::keyClick(q.mmSqlStatement, Qt::Key_F5);
  EXPECT_EQ(g.ColWidths(5), 96);
  EXPECT_EQ(g.Cells(5, 1), "1980/12/17");

  // Both runs fed one history item; a change of case makes another.
  EXPECT_EQ(f.SQLHistory->count(), 1);
  RunText(q, "select * from EMP;");
  ASSERT_EQ(f.SQLHistory->count(), 2);
  EXPECT_EQ(f.SQLHistory->item(1)->text(), "select * from EMP;");
  EXPECT_EQ(Capture->Count(), 0);
}

TEST_F(QueryTest, StatementTextEmptyTextsAndErrors) {
  TfMain& q = Query();
  TfMainForm& f = *Form;
  // Only what stands before the first ";" runs; the history gets the whole text.
  RunText(q, "SELECT * FROM DEPT;\r\nDELETE FROM DEPT");
  EXPECT_EQ(q.StatusText(), "4件検索しました");
  EXPECT_EQ(OtherLogonSees("SELECT COUNT(*) FROM DEPT"), "4");
  EXPECT_EQ(f.SQLHistory->item(0)->text(), "SELECT * FROM DEPT;\r\nDELETE FROM DEPT");

  for (const char* nothing : {"   \r\n  ", ";SELECT * FROM DEPT"}) {
    RunText(q, QString::fromUtf8(nothing));
    EXPECT_EQ(q.StatusText(), "");
    EXPECT_TRUE(q.sgSqlResult->isHidden());
    EXPECT_TRUE(q.sbtRun->isEnabled());
    EXPECT_FALSE(q.sbtStop->isEnabled());
  }
  EXPECT_EQ(Capture->Count(), 0);

  RunText(q, "SELEC * FROM EMP;");
  ASSERT_EQ(Capture->Count(), 1);
  EXPECT_TRUE(Capture->Last().startsWith("エラーが発生しました。 ORA_ERR:ORA-"))
      << Capture->Last().toStdString();
  EXPECT_EQ(q.StatusText(), "");
  EXPECT_TRUE(q.sgSqlResult->isHidden());
  EXPECT_EQ(f.SQLHistory->count(), 1);

  // No row: one empty data row under the titles.
  Capture->Clear();
  RunText(q, "SELECT * FROM EMP WHERE 1 = 0;");
  EXPECT_EQ(q.StatusText(), "0件検索しました");
  EXPECT_EQ(q.sgSqlResult->RowCount(), 2);
  EXPECT_EQ(Row(q, 1).join(""), "");

  // A statement without a select list reports its rows and shows no invented rows, and no
  // title of the query before it.
  RunText(q, "UPDATE EMP SET SAL = SAL + 1 WHERE DEPTNO = 10;");
  EXPECT_EQ(q.StatusText(), "3件検索しました");
  EXPECT_EQ(q.sgSqlResult->RowCount(), 2);
  EXPECT_EQ(q.sgSqlResult->ColCount(), 1);
  EXPECT_EQ(Row(q, 0).join(""), "");
  EXPECT_EQ(Row(q, 1).join(""), "");
  EXPECT_EQ(OtherLogonSees("SELECT SAL FROM EMP WHERE EMPNO = 7839"), "5001"); // committed

  // A failing execute is shown, then the run completes.
  RunText(q, "INSERT INTO DEPT VALUES (10, 'X', 'Y');");
  ASSERT_EQ(Capture->Count(), 1);
  EXPECT_TRUE(Capture->Last().startsWith("エラーが発生しました。 ORA_ERR:ORA-00001"))
      << Capture->Last().toStdString();
  EXPECT_EQ(q.StatusText(), "0件検索しました");
  EXPECT_TRUE(q.sbtRun->isEnabled());
}

TEST_F(QueryTest, EnterRunsOnlyWithASemicolon) {
  TfMain& q = Query();
  q.mmSqlStatement->SetText("SELECT * FROM DEPT");
  q.mmSqlStatement->moveCursor(QTextCursor::End);
  QTest::keyClick(q.mmSqlStatement, Qt::Key_Return);
  EXPECT_EQ(q.mmSqlStatement->Text(), "SELECT * FROM DEPT\r\n");
  EXPECT_EQ(q.StatusText(), "");
  QTest::keyClicks(q.mmSqlStatement, ";");
  QTest::keyClick(q.mmSqlStatement, Qt::Key_Return);
  QApplication::processEvents(); // the run follows the key's handler
  EXPECT_EQ(q.mmSqlStatement->Text(), "SELECT * FROM DEPT\r\n;");
  EXPECT_EQ(q.StatusText(), "4件検索しました");

  // A run started by Enter shows its error in a real box once the key's handler has returned.
  TRealBoxes boxes(Capture);
  q.mmSqlStatement->SetText("SELEC * FROM DEPT;");
  q.mmSqlStatement->moveCursor(QTextCursor::End);
  QTest::keyClick(q.mmSqlStatement, Qt::Key_Return);
  boxes.Settle();
  ASSERT_EQ(boxes.Texts.size(), 1);
  EXPECT_TRUE(boxes.Texts[0].startsWith("エラーが発生しました。 ORA_ERR:ORA-"));
  EXPECT_EQ(q.mmSqlStatement->Text(), "SELEC * FROM DEPT;");
  EXPECT_EQ(q.StatusText(), "");
  EXPECT_TRUE(q.sbtRun->isEnabled());

  // Once the box is answered, the window has the keyboard again: F5 runs the next statement.
  ASSERT_NE(QApplication::activeWindow(), nullptr);
  q.mmSqlStatement->SetText("SELECT * FROM DEPT");
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_F5);
  QApplication::processEvents();
  EXPECT_EQ(q.StatusText(), "4件検索しました");
}

TEST_F(QueryTest, LongAndRawColumns) {
  TfMain& q = Query();
  RunText(q, "SELECT * FROM EMP_NOTE;");
  ASSERT_EQ(Capture->Count(), 1);
  EXPECT_EQ(Capture->Last(), "LONG型のデータが存在します。\n現在のところLONG型の取得はできません");
  EXPECT_EQ(q.StatusText(), "LONG型のデータが存在します。");
  EXPECT_EQ(q.sgSqlResult->RowCount(), 1);
  EXPECT_EQ(Row(q, 0).mid(1), (QStringList{"EMPNO", "NOTE"}));
  EXPECT_TRUE(q.sbtRun->isEnabled());
  EXPECT_FALSE(q.OraCursorMain.Opened());

  Capture->Clear();
  RunText(q, "SELECT EMPNO, BADGE, EMPNO + 1 AS NEXTNO FROM EMP_BADGE;");
  EXPECT_EQ(q.StatusText(), "2件検索しました");
  EXPECT_EQ(Row(q, 0).mid(1), (QStringList{"EMPNO", "BADGE", "NEXTNO"}));
  EXPECT_EQ(Row(q, 1).mid(1), (QStringList{"7369", "", "7370"}));
  EXPECT_EQ(Capture->Count(), 0);
}

TEST_F(QueryTest, ProgressTextsAndStop) {
  ASSERT_TRUE(OtherLogonRuns({"CREATE TABLE BIG (ID NUMBER, VAL VARCHAR2(20))",
                              "INSERT INTO BIG SELECT ROWNUM, 'V' || ROWNUM FROM EMP A, EMP B, "
                              "EMP C WHERE ROWNUM <= 1234"}));
  TfMain& q = Query();
  // What the status line shows whenever the run lets messages through.
  std::set<QString> seen;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] { seen.insert(q.StatusText()); });
  watch.start(0);
  RunText(q, "SELECT * FROM BIG;");
  watch.stop();
  EXPECT_EQ(q.StatusText(), "1234件検索しました");
  EXPECT_EQ(q.sgSqlResult->RowCount(), 1235);
  EXPECT_EQ(Row(q, 1234).mid(0, 3), (QStringList{"1234", "1234", "V1234"}));
  EXPECT_TRUE(seen.count("500件　検索終了しました 中断は F10 を押してください"));
  EXPECT_TRUE(seen.count("1000件　検索終了しました 中断は F10 を押してください"));

  // F10 at the first moment messages are let through: the rows so far stay.
  bool sawRunning = false;
  QTimer::singleShot(0, [&] {
    sawRunning = q.Running() && !q.sbtRun->isEnabled() && q.sbtStop->isEnabled();
    QTest::keyClick(q.mmSqlStatement, Qt::Key_F10);
    EXPECT_TRUE(q.sbtRun->isEnabled());
    EXPECT_FALSE(q.sbtStop->isEnabled());
    QTest::keyClick(q.mmSqlStatement, Qt::Key_F5); // refused while the run ends
  });
  RunText(q, "SELECT * FROM BIG;");
  EXPECT_TRUE(sawRunning);
  EXPECT_EQ(q.StatusText(), "99件検索しました");
  EXPECT_EQ(q.sgSqlResult->RowCount(), 100);
  EXPECT_FALSE(q.Running());
}

TEST_F(QueryTest, FieldListDropAndSqlFiles) {
  TfMain& q = Query();
  Form->tvTable->setCurrentItem(Node({"TABLES", "EMP"}));
  QListWidget list;
  list.setSelectionMode(QAbstractItemView::MultiSelection);
  for (const char* line : {"EMPNO                          NUMBER      6",
                           "ENAME                          STRING     10",
                           "JOB                            STRING      9"})
    list.addItem(QString::fromLatin1(line));
  list.item(2)->setSelected(true);
  list.item(0)->setSelected(true);
  EXPECT_TRUE(q.mmSqlStatementDragOver(&list));
  EXPECT_FALSE(q.mmSqlStatementDragOver(Form->tvTable));
  EXPECT_FALSE(q.mmSqlStatementDragOver(nullptr));
  q.mmSqlStatementDragDrop(&list);
  EXPECT_EQ(q.mmSqlStatement->Text(), "Select EMPNO,JOB From EMP");
  list.clearSelection();
  q.mmSqlStatementDragDrop(&list);
  EXPECT_EQ(q.mmSqlStatement->Text(), "Select  From EMP");

  // SQL files: Windows Shift-JIS and UTF-8 with a byte-order mark.
  QTemporaryDir dir;
  const QString sql = QStringLiteral("SELECT ENAME FROM EMP\r\n WHERE ENAME = '～①山田';");
  const QString sjisFile = dir.filePath("a.SQL"), bomFile = dir.filePath("b.sql");
  QStringEncoder sjis("windows-31j");
  ASSERT_TRUE(sjis.isValid());
  QFile a(sjisFile), b(bomFile);
  ASSERT_TRUE(a.open(QIODevice::WriteOnly) && b.open(QIODevice::WriteOnly));
  a.write(QByteArray(sjis.encode(sql)));
  b.write("\xEF\xBB\xBF" + sql.toUtf8());
  a.close();
  b.close();
  FileDlg::TFileDlgCapture files;
  for (const QString& file : {sjisFile, bomFile}) {
    files.Answers.push_back(file);
    q.mmSqlStatement->SetText("old");
    q.SpeedButton1->click();
    EXPECT_EQ(q.mmSqlStatement->Text(), sql) << file.toStdString();
  }
  q.SpeedButton1->click(); // cancelled
  EXPECT_EQ(q.mmSqlStatement->Text(), sql);
  EXPECT_EQ(files.Names, (QStringList{"odlgFile", "odlgFile", "odlgFile"}));
  EXPECT_EQ(files.Offered[1], sjisFile); // the dialog keeps the last file chosen
  EXPECT_EQ(Capture->Count(), 0);
}

TEST_F(QueryTest, EditorColoursReservedWordsAndEditsByShortcut) {
  TfMain& q = Query();
  TEditor& e = *q.mmSqlStatement;
  EXPECT_EQ(e.ReservedWords().size(), 45);
  EXPECT_TRUE(e.IsReservedWord("select"));
  EXPECT_TRUE(e.IsReservedWord("VARCHAR2"));
  EXPECT_FALSE(e.IsReservedWord("SELECTED"));
  e.SetText("select ename from emp;");
  std::map<int, QColor> colours;
  for (const QTextLayout::FormatRange& r : e.document()->firstBlock().layout()->formats())
    colours[r.start] = r.format.foreground().color();
  EXPECT_EQ(colours[0], QColor(Qt::blue));  // select
  EXPECT_EQ(colours.count(7), 0u);          // ename
  EXPECT_EQ(colours[13], QColor(Qt::blue)); // from
  EXPECT_EQ(colours[21], QColor(Qt::blue)); // ;

  // Window-wide editing keys work while the grid has the focus too.
  q.sgSqlResult->setFocus();
  QTest::keyClick(q.sgSqlResult, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(e.textCursor().selectedText(), "select ename from emp;");
  QTest::keyClick(q.sgSqlResult, Qt::Key_X, Qt::ControlModifier);
  EXPECT_EQ(e.Text(), "");
  QTest::keyClick(q.sgSqlResult, Qt::Key_V, Qt::ControlModifier);
  QTest::keyClick(q.sgSqlResult, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(e.Text(), "select ename from emp;select ename from emp;");
  QTest::keyClick(q.sgSqlResult, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(e.Text(), "select ename from emp;");
}

} // namespace
