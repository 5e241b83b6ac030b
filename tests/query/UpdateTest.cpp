#include "QueryFixture.h"

#include <QDragEnterEvent>
#include <QMimeData>

namespace {

using UpdateTest = QueryTest;

// Opens the cell's editor with Enter on the grid, replaces its text by typing, confirms with
// Enter; returns the statement the window sent (empty when none).
std::string EditCell(TfMain& q, int col, int row, const QString& text) {
  TStringGridEx& g = *q.sgSqlResult;
  q.OraCursorExec.SQL().clear();
  g.setFocus();
  g.FocusCell(col, row);
  QTest::keyClick(&g, Qt::Key_Return);
  TInplaceEditEx* ed = g.InplaceEditor();
  if (!ed)
    return "<no editor>";
  QTest::keyClick(ed, Qt::Key_Backspace);
  if (!text.isEmpty())
    QTest::keyClicks(ed, text);
  QTest::keyClick(ed, Qt::Key_Return);
  QApplication::processEvents();
  return q.OraCursorExec.SQL().empty() ? std::string() : q.OraCursorExec.SQL()[0];
}

// Drags the selected tree node onto the grid with real drag events; the run follows the drop.
bool DropOnGrid(TfMain& q) {
  TStringGridEx& g = *q.sgSqlResult;
  QMimeData mime;
  mime.setText("x");
  const QPoint at = g.viewport()->rect().center();
  QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(g.viewport(), &enter);
  if (!enter.isAccepted())
    return false;
  QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(g.viewport(), &drop);
  QApplication::processEvents();
  return true;
}

TEST_F(UpdateTest, DropAcceptanceFollowsTheTreeSelection) {
  TfMain& q = Query();
  TfMainForm& f = *Form;
  f.tvTable->expandItem(Node({"TABLES", "EMP"}));
  EXPECT_FALSE(q.sgSqlResultDragOver(nullptr)); // nothing selected
  for (const QStringList& path :
       {QStringList{}, QStringList{"TABLES"}, QStringList{"TABLES", "EMP", "SAL"},
        QStringList{"PACKAGES", "EMP_PKG"}, QStringList{"TRIGGERS", "EMP_SAL_AUDIT"}}) {
    f.tvTable->setCurrentItem(Node(path));
    EXPECT_FALSE(q.sgSqlResultDragOver(nullptr)) << path.join("/").toStdString();
    EXPECT_FALSE(DropOnGrid(q));
  }
  EXPECT_EQ(q.StatusText(), "");
  EXPECT_EQ(q.mmSqlStatement->Text(), "");

  // A view gives no ROWID: its rows show, the window says it cannot write them and takes no edit.
  f.tvTable->setCurrentItem(Node({"VIEWS", "EMP_DEPT_V"}));
  EXPECT_TRUE(q.sgSqlResultDragOver(nullptr));
  ASSERT_TRUE(DropOnGrid(q));
  EXPECT_EQ(q.mmSqlStatement->Text(), " Select * from EMP_DEPT_V");
  EXPECT_EQ(q.windowTitle(), "Tessel-Query ＜更新不可＞");
  EXPECT_FALSE(q.FUpdatable);
  EXPECT_FALSE(q.sgSqlResult->Options() & goEditing);
  EXPECT_TRUE(q.StatusText().startsWith("14件検索しました　更新できません: ORA-"))
      << q.StatusText().toStdString();
  EXPECT_FALSE(q.StatusText().contains(u'\r') || q.StatusText().contains("Processing"));
  EXPECT_TRUE(q.FRowIds.empty());
  EXPECT_EQ(EditCell(q, 2, 1, "X"), "<no editor>");
  EXPECT_EQ(Capture->Count(), 0);
}

TEST_F(UpdateTest, EditsAreSentByRowidAndCommittedByTheNextRun) {
  TfMain& q = Query();
  TfMainForm& f = *Form;
  f.tvTable->setCurrentItem(Node({"TABLES", "EMP"}));
  ASSERT_TRUE(DropOnGrid(q));
  EXPECT_EQ(q.mmSqlStatement->Text(), " Select * from EMP");
  EXPECT_EQ(q.windowTitle(), "Tessel-Query ＜更新可能＞");
  EXPECT_TRUE(q.sgSqlResult->Options() & goEditing);
  TStringGridEx& g = *q.sgSqlResult;
  // The ROWID comes with the rows but stays out of the grid.
  ASSERT_EQ(g.ColCount(), 9);
  EXPECT_EQ(g.Cells(1, 0), "EMPNO");
  ASSERT_EQ(q.FRowIds.size(), 14u);
  EXPECT_TRUE(q.mmSqlStatement->hasFocus());

  const std::string smith = q.FRowIds[0];
  EXPECT_EQ(EditCell(q, 6, 1, "42"), " UPDATE EMP SET SAL = 42  WHERE ROWID = '" + smith + "'");
  EXPECT_EQ(EditCell(q, 2, 1, "O'BRIEN"),
            " UPDATE EMP SET ENAME = 'O''BRIEN'  WHERE ROWID = '" + smith + "'");
  EXPECT_EQ(EditCell(q, 7, 2, ""),
            " UPDATE EMP SET COMM = NULL  WHERE ROWID = '" + q.FRowIds[1] + "'");
  // A number cell takes a sign and a decimal point; the value reaches the database whole.
  EXPECT_EQ(EditCell(q, 6, 3, "-4.25"),
            " UPDATE EMP SET SAL = -4.25  WHERE ROWID = '" + q.FRowIds[2] + "'");
  EXPECT_EQ(g.Cells(6, 3), "-4.25");
  EXPECT_EQ(Capture->Count(), 0) << Capture->Texts.join("|").toStdString();
  // Not visible to another logon until a run commits.
  EXPECT_EQ(OtherLogonSees("SELECT SAL FROM EMP WHERE EMPNO = 7369"), "800");
  q.sgSqlResult->setFocus();
  Press(Qt::Key_F5); // from the grid: still updatable, the release included
  EXPECT_EQ(q.windowTitle(), "Tessel-Query ＜更新可能＞");
  EXPECT_TRUE(q.FUpdatable);
  EXPECT_EQ(OtherLogonSees("SELECT SAL FROM EMP WHERE EMPNO = 7369"), "42");
  EXPECT_EQ(OtherLogonSees("SELECT ENAME FROM EMP WHERE EMPNO = 7369"), "O'BRIEN");
  EXPECT_EQ(OtherLogonSees("SELECT NVL(COMM, -1) FROM EMP WHERE EMPNO = 7499"), "-1");
  EXPECT_EQ(OtherLogonSees("SELECT SAL FROM EMP WHERE EMPNO = 7521"), "-4.25");
  EXPECT_EQ(g.Cells(2, 1), "O'BRIEN");
  // The next edit after that F5 is written too.
  EXPECT_FALSE(EditCell(q, 3, 1, "CLERK2").empty());
  EXPECT_EQ(Capture->Count(), 0) << Capture->Texts.join("|").toStdString();

  // A refused value: the database's message, then the cell shows the stored value again.
  EditCell(q, 2, 1, "FAR TOO LONG A NAME");
  ASSERT_EQ(Capture->Count(), 1);
  EXPECT_TRUE(Capture->Last().startsWith(" Update Error : ORA-12899"))
      << Capture->Last().toStdString();
  EXPECT_EQ(g.Cells(2, 1), "O'BRIEN");

  // A key in the editor ends the mode at once, caption included: an edit then only shows the
  // notice, sends nothing and leaves the stored value in the cell.
  Capture->Clear();
  q.mmSqlStatement->setFocus();
  Press(Qt::Key_End);
  EXPECT_FALSE(q.FUpdatable);
  EXPECT_EQ(q.windowTitle(), "Tessel-Query ＜更新不可＞");
  EXPECT_EQ(EditCell(q, 6, 4, "7"), "");
  ASSERT_GE(Capture->Count(), 1);
  EXPECT_EQ(Capture->Texts.first(),
            "更新を行う場合はテーブルをDrag&Dropしてから\n 変更してください ");
  EXPECT_EQ(g.Cells(6, 4), "2975");
  q.mmSqlStatement->setFocus();
  Press(Qt::Key_F5);
  EXPECT_EQ(q.windowTitle(), "Tessel-Query ＜更新不可＞");
  EXPECT_FALSE(q.sgSqlResult->Options() & goEditing);
  EXPECT_EQ(OtherLogonSees("SELECT SAL FROM EMP WHERE EMPNO = 7566"), "2975");
}

// The two crashes users met, with real message boxes whose modal loops run while the cell
// editor's handlers are still on the stack.
TEST_F(UpdateTest, MessagesDuringAnEditNeverPullTheEditorAway) {
  TfMain& q = Query();
  TStringGridEx& g = *q.sgSqlResult;
  Form->tvTable->setCurrentItem(Node({"TABLES", "EMP"}));
  ASSERT_TRUE(DropOnGrid(q));
  {
    TRealBoxes boxes(Capture);
    // Typing in the editor ends the mode; a cell edit then brings the notice.
    q.mmSqlStatement->setFocus();
    Type("x");
    g.setFocus();
    g.FocusCell(2, 3);
    Type("ZZ");
    boxes.Settle();
    ASSERT_EQ(boxes.Texts.size(), 1) << boxes.Texts.join("|").toStdString();
    EXPECT_EQ(boxes.Texts[0], "更新を行う場合はテーブルをDrag&Dropしてから\n 変更してください ");
    EXPECT_FALSE(g.EditorMode());
    EXPECT_EQ(g.Cells(2, 3), "WARD"); // the typed text never stays
    EXPECT_TRUE(q.OraCursorExec.SQL().empty());
  }

  Reactivate();
  // A RAW cell cannot be written: the error shows, the cell is empty again and the window lives.
  Form->tvTable->setCurrentItem(Node({"TABLES", "EMP_BADGE"}));
  ASSERT_TRUE(DropOnGrid(q));
  ASSERT_EQ(q.windowTitle(), "Tessel-Query ＜更新可能＞");
  ASSERT_EQ(g.Cells(2, 0), "BADGE");
  {
    TRealBoxes boxes(Capture);
    g.setFocus();
    g.FocusCell(2, 1);
    Type("AB");
    Press(Qt::Key_Return);
    boxes.Settle();
    ASSERT_EQ(boxes.Texts.size(), 1);
    EXPECT_TRUE(boxes.Texts[0].startsWith(" Update Error : ORA-")) << boxes.Texts[0].toStdString();
    EXPECT_EQ(g.Cells(2, 1), "");
    EXPECT_FALSE(g.EditorMode());
  }
  EXPECT_EQ(OtherLogonSees("SELECT COUNT(*) FROM EMP_BADGE WHERE BADGE IS NOT NULL"), "2");
}

TEST_F(UpdateTest, OnlyEnterWritesAnEdit) {
  TfMain& q = Query();
  TStringGridEx& g = *q.sgSqlResult;
  Form->tvTable->setCurrentItem(Node({"TABLES", "EMP"}));
  ASSERT_TRUE(DropOnGrid(q));
  // Ended by Tab, by a click on another cell, by an arrow key or by F5: the stored value is back.
  const auto editThen = [&](int col, int row, const std::function<void()>& end) {
    q.OraCursorExec.SQL().clear();
    g.setFocus();
    g.FocusCell(col, row);
    Type("9");
    EXPECT_TRUE(g.EditorMode());
    end();
    QApplication::processEvents();
    EXPECT_FALSE(g.EditorMode());
    return q.OraCursorExec.SQL().empty();
  };
  EXPECT_TRUE(editThen(2, 1, [&] { Press(Qt::Key_Tab); }));
  EXPECT_EQ(g.Cells(2, 1), "SMITH");
  EXPECT_TRUE(editThen(2, 2, [&] {
    const QPoint p = g.viewport()->mapFrom(&g, g.CellRect(3, 5).center());
    QTest::mouseClick(g.viewport(), Qt::LeftButton, {}, p);
  }));
  EXPECT_EQ(g.Cells(2, 2), "ALLEN");
  EXPECT_TRUE(editThen(6, 3, [&] { Press(Qt::Key_Down); }));
  EXPECT_EQ(g.Cells(6, 3), "1250");
  EXPECT_TRUE(editThen(6, 4, [&] { Press(Qt::Key_F5); }));
  EXPECT_EQ(g.Cells(6, 4), "2975");

  // Delete and Backspace edit a number cell.
  g.setFocus();
  g.FocusCell(6, 1);
  Press(Qt::Key_Return);
  ASSERT_TRUE(g.EditorMode());
  Press(Qt::Key_Home);
  Press(Qt::Key_Delete);
  EXPECT_EQ(g.InplaceEditor()->Text(), "00");
  Press(Qt::Key_End);
  Press(Qt::Key_Backspace);
  Type("1");
  Press(Qt::Key_Return);
  ASSERT_FALSE(q.OraCursorExec.SQL().empty());
  EXPECT_EQ(q.OraCursorExec.SQL()[0],
            " UPDATE EMP SET SAL = 01  WHERE ROWID = '" + q.FRowIds[0] + "'");
  EXPECT_EQ(Capture->Count(), 0) << Capture->Texts.join("|").toStdString();

  // Kana and kanji go through the input method into text and date cells, never number cells.
  for (int col : {2, 5, 6}) {
    g.setFocus();
    g.FocusCell(col, 5);
    Press(Qt::Key_Return);
    ASSERT_TRUE(g.EditorMode());
    EXPECT_EQ(g.InplaceEditor()->testAttribute(Qt::WA_InputMethodEnabled), col != 6) << col;
    Press(Qt::Key_Escape);
  }
}

TEST_F(UpdateTest, NamesThatNeedQuotesAreDroppedAndWritten) {
  ASSERT_TRUE(
      OtherLogonRuns({"CREATE TABLE \"lower_t\" (ID NUMBER, \"my col\" VARCHAR2(10))",
                      "INSERT INTO \"lower_t\" VALUES (1, 'a')", "CREATE TABLE \"O'T\" (N NUMBER)",
                      "INSERT INTO \"O'T\" VALUES (5)"}));
  TfMain& q = Query();
  Form->sbViewTable->click();
  Form->sbViewTable->click(); // rebuilt with the new tables
  Form->tvTable->setCurrentItem(Node({"TABLES", "lower_t"}));
  ASSERT_TRUE(DropOnGrid(q));
  EXPECT_EQ(q.mmSqlStatement->Text(), " Select * from \"lower_t\"");
  EXPECT_EQ(q.windowTitle(), "Tessel-Query ＜更新可能＞");
  EXPECT_EQ(q.StatusText(), "1件検索しました");
  EXPECT_EQ(EditCell(q, 2, 1, "b"),
            " UPDATE \"lower_t\" SET \"my col\" = 'b'  WHERE ROWID = '" + q.FRowIds[0] + "'");

  Form->tvTable->setCurrentItem(Node({"TABLES", "O'T"}));
  ASSERT_TRUE(DropOnGrid(q));
  EXPECT_EQ(q.StatusText(), "1件検索しました");
  EXPECT_EQ(EditCell(q, 1, 1, "6"),
            " UPDATE \"O'T\" SET N = 6  WHERE ROWID = '" + q.FRowIds[0] + "'");
  q.mmSqlStatement->setFocus();
  Press(Qt::Key_F5);
  EXPECT_EQ(OtherLogonSees("SELECT \"my col\" FROM \"lower_t\""), "b");
  EXPECT_EQ(OtherLogonSees("SELECT N FROM \"O'T\""), "6");
  // Their columns list in the tree as well.
  Form->tvTable->expandItem(Node({"TABLES", "O'T"}));
  EXPECT_EQ(ChildTexts(Node({"TABLES", "O'T"})), QStringList{"N"});
  EXPECT_EQ(Capture->Count(), 0) << Capture->Texts.join("|").toStdString();
}

TEST_F(UpdateTest, Row1200Of1500UpdatesItsOwnRow) {
  ASSERT_TRUE(OtherLogonRuns({"CREATE TABLE BIG (ID NUMBER, VAL VARCHAR2(20))",
                              "INSERT INTO BIG SELECT ROWNUM, 'V' || ROWNUM FROM EMP A, EMP B, "
                              "EMP C WHERE ROWNUM <= 1500"}));
  TfMain& q = Query();
  Form->sbViewTable->click();
  Form->sbViewTable->click(); // rebuilt: BIG is in the tree
  Form->tvTable->setCurrentItem(Node({"TABLES", "BIG"}));
  ASSERT_TRUE(DropOnGrid(q));
  ASSERT_EQ(q.FRowIds.size(), 1500u);
  EXPECT_EQ(q.sgSqlResult->Cells(1, 1200), "1200");
  EXPECT_FALSE(EditCell(q, 2, 1200, "edited").empty());
  QTest::keyClick(q.sgSqlResult, Qt::Key_F5);
  EXPECT_EQ(OtherLogonSees("SELECT COUNT(*) FROM BIG WHERE VAL = 'edited'"), "1");
  EXPECT_EQ(OtherLogonSees("SELECT ID FROM BIG WHERE VAL = 'edited'"), "1200");
  EXPECT_EQ(Capture->Count(), 0) << Capture->Texts.join("|").toStdString();
}

} // namespace
