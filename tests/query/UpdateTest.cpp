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

// Drags the selected tree node onto the grid with real drag events.
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

  f.tvTable->setCurrentItem(Node({"VIEWS", "EMP_DEPT_V"}));
  EXPECT_TRUE(q.sgSqlResultDragOver(nullptr));
  // A view has no ROWID: its rows show, edits send nothing.
  ASSERT_TRUE(DropOnGrid(q));
  EXPECT_EQ(q.mmSqlStatement->Text(), " Select * from EMP_DEPT_V");
  EXPECT_EQ(q.windowTitle(), "Tessel-Query ＜更新可能＞");
  EXPECT_EQ(q.StatusText(), "14件検索しました");
  EXPECT_TRUE(q.FRowIds.empty());
  EXPECT_EQ(EditCell(q, 2, 1, "X"), "");
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
  EXPECT_EQ(Capture->Count(), 0) << Capture->Texts.join("|").toStdString();
  // Not visible to another logon until a run commits.
  EXPECT_EQ(OtherLogonSees("SELECT SAL FROM EMP WHERE EMPNO = 7369"), "800");
  q.sgSqlResult->setFocus();
  QTest::keyClick(q.sgSqlResult, Qt::Key_F5); // from the grid: still updatable
  EXPECT_EQ(q.windowTitle(), "Tessel-Query ＜更新可能＞");
  EXPECT_EQ(OtherLogonSees("SELECT SAL FROM EMP WHERE EMPNO = 7369"), "42");
  EXPECT_EQ(OtherLogonSees("SELECT ENAME FROM EMP WHERE EMPNO = 7369"), "O'BRIEN");
  EXPECT_EQ(OtherLogonSees("SELECT NVL(COMM, -1) FROM EMP WHERE EMPNO = 7499"), "-1");
  EXPECT_EQ(g.Cells(2, 1), "O'BRIEN");

  // A refused value: the database's message, then the cell shows the stored value again.
  EditCell(q, 2, 1, "FAR TOO LONG A NAME");
  ASSERT_EQ(Capture->Count(), 1);
  EXPECT_TRUE(Capture->Last().startsWith(" Update Error : ORA-12899"))
      << Capture->Last().toStdString();
  EXPECT_EQ(g.Cells(2, 1), "O'BRIEN");

  // A key in the editor ends the mode: an edit then only shows the notice.
  Capture->Clear();
  q.mmSqlStatement->setFocus();
  QTest::keyClick(q.mmSqlStatement, Qt::Key_End);
  EXPECT_FALSE(q.FUpdatable);
  EXPECT_EQ(EditCell(q, 6, 3, "7"), "");
  ASSERT_GE(Capture->Count(), 1);
  EXPECT_EQ(Capture->Texts.first(),
            "更新を行う場合はテーブルをDrag&Dropしてから\n 変更してください ");
  QTest::keyClick(q.mmSqlStatement, Qt::Key_F5);
  EXPECT_EQ(q.windowTitle(), "Tessel-Query ＜更新不可＞");
  EXPECT_FALSE(q.sgSqlResult->Options() & goEditing);
  EXPECT_EQ(OtherLogonSees("SELECT SAL FROM EMP WHERE EMPNO = 7521"), "1250");
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
