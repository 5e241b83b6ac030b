#include "CtrlGrid.h"
#include "QueryFixture.h"
#include "uQueryMain.h"

#include <QComboBox>
#include <QDragEnterEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMimeData>

namespace {

class QueryBuilderTest : public QueryTest {
protected:
  // The builder of the tree's pop-up menu for the node at path.
  TfQueryMain* Builder(const QStringList& path) {
    Form->tvTable->setCurrentItem(Node(path));
    Form->PopupMenu1Popup();
    if (!Form->Q2->isEnabled())
      return nullptr;
    Form->Q2->trigger();
    QApplication::processEvents();
    const QList<TfQueryMain*> all = Form->findChildren<TfQueryMain*>();
    return all.isEmpty() ? nullptr : all.last();
  }

  static QStringList Lines(const TfQueryMain& b) {
    QStringList lines;
    for (int i = 0; i < b.lbField->count(); ++i)
      lines << b.lbField->item(i)->text();
    return lines;
  }

  static QString Line(const QString& name, const QString& kind, int size) {
    return QStringLiteral("%1 %2 %3").arg(name, -30).arg(kind, -10).arg(size, 3);
  }

  // Drags the field list's lines at rows onto the grid, with the drag events a drop brings:
  // the data is what the list itself hands a drag.
  static bool DragFields(TfQueryMain& b, const QList<int>& rows) {
    b.lbField->clearSelection();
    for (int r : rows)
      b.lbField->item(r)->setSelected(true);
    std::unique_ptr<QMimeData> data(
        b.lbField->model()->mimeData(b.lbField->selectionModel()->selectedIndexes()));
    QWidget* target = b.cgrFields->viewport();
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
      return false;
    QDragMoveEvent move(at, Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
    QDropEvent drop(QPointF(at), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    QApplication::processEvents();
    return true;
  }

  // Types a condition into the grid's cell as a user does: Enter ends the edit.
  void Condition(TfQueryMain& b, int col, const QString& text) {
    b.cgrFields->setFocus();
    b.cgrFields->FocusCell(col, 1);
    Type(text);
    Press(Qt::Key_Return);
  }

  // Chooses a sort order with the keys: Enter opens the list, arrows choose, Enter keeps.
  void Sort(TfQueryMain& b, int col, int downs) {
    b.cgrFields->setFocus();
    b.cgrFields->FocusCell(col, 2);
    QApplication::processEvents();
    Press(Qt::Key_Return);
    ASSERT_TRUE(b.cboSearch->hasFocus());
    for (int i = 0; i < downs; ++i)
      Press(Qt::Key_Down);
    Press(Qt::Key_Return);
  }

  // A double click as a window system delivers it: the second press comes as the double click.
  static void DoubleClick(QWidget* w, const QPoint& at) {
    QTest::mouseClick(w, Qt::LeftButton, {}, at);
    QTest::mouseDClick(w, Qt::LeftButton, {}, at);
    QTest::mouseRelease(w, Qt::LeftButton, {}, at);
    QApplication::processEvents();
  }

  // Closes the builder as the window's close button does; the answer comes from Capture.
  static void CloseBuilder(TfQueryMain* b) {
    QPointer<TfQueryMain> alive(b);
    b->close();
    QApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(alive.isNull()); // never reused
  }
};

TEST_F(QueryBuilderTest, ComposesAQueryForTheActiveWindowThatRunsAndIsRecalled) {
  TfMain& q = Query();
  TfMainForm& f = *Form;
  TfQueryMain* b = Builder({"TABLES", "EMP"});
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->windowTitle(), "クエリEXPRESS : EMP");
  EXPECT_EQ(b->pnlTable->text(), "EMP");
  EXPECT_EQ(f.StatusText(), "フィールド検索中");
  EXPECT_TRUE(b->isVisible());
  EXPECT_EQ(Lines(*b), (QStringList{Line("EMPNO", "NUMBER", 6), Line("ENAME", "STRING", 10),
                                    Line("JOB", "STRING", 9), Line("MGR", "NUMBER", 6),
                                    Line("HIREDATE", "DATE", 9), Line("SAL", "NUMBER", 9),
                                    Line("COMM", "NUMBER", 9), Line("DEPTNO", "NUMBER", 4)}));
  TCtrlGrid& g = *b->cgrFields;
  EXPECT_EQ(g.ColCount(), 2);
  EXPECT_EQ(g.RowCount(), 3);
  EXPECT_EQ(g.RowTitles(), (QStringList{"ﾌｨｰﾙﾄﾞ", "条件", "ｿｰﾄ"}));

  ASSERT_TRUE(DragFields(*b, {7}));
  ASSERT_TRUE(DragFields(*b, {1}));
  ASSERT_EQ(g.ColCount(), 4);
  EXPECT_EQ(g.Cells(1, 0), Line("DEPTNO", "NUMBER", 4));
  EXPECT_EQ(g.Cells(2, 0), Line("ENAME", "STRING", 10));
  EXPECT_EQ(g.Cells(3, 0), "");

  Condition(*b, 1, "20");
  EXPECT_EQ(g.Cells(1, 1), "20");
  Sort(*b, 2, 3);
  EXPECT_EQ(g.Cells(2, 2), "降順");
  EXPECT_EQ(Capture->Count(), 0);

  Capture->Answers = {true};
  CloseBuilder(b);
  ASSERT_EQ(Capture->Texts, QStringList{"クエリが更新されています。SQLを反映させますか？"});
  const QString sql = " SELECT * FROM EMP WHERE DEPTNO = '20'  ORDER BY ENAME DESC ";
  EXPECT_EQ(q.mmSqlStatement->Text(), sql);

  Reactivate();
  q.mmSqlStatement->setFocus();
  Press(Qt::Key_F5);
  EXPECT_EQ(q.StatusText(), "5件検索しました");
  QStringList names;
  for (int r = 1; r < q.sgSqlResult->RowCount(); ++r)
    names << q.sgSqlResult->Cells(2, r);
  EXPECT_EQ(names, (QStringList{"SMITH", "SCOTT", "JONES", "FORD", "ADAMS"}));

  // The history has it; a double click puts it back into the emptied window.
  ASSERT_EQ(f.SQLHistory->count(), 1);
  EXPECT_EQ(f.SQLHistory->item(0)->text(), sql);
  f.sbViewHistory->click();
  ASSERT_TRUE(f.pnlHistory->isVisible());
  q.mmSqlStatement->Clear();
  QApplication::processEvents();
  const QPoint at(5, f.SQLHistory->visualItemRect(f.SQLHistory->item(0)).center().y());
  DoubleClick(f.SQLHistory->viewport(), at);
  EXPECT_EQ(q.mmSqlStatement->Text(), sql);
  EXPECT_EQ(q.StatusText(), "5件検索しました"); // recalled, not run
  EXPECT_EQ(Capture->Count(), 1);
}

TEST_F(QueryBuilderTest, CompositionExamples) {
  TfMain& q = Query();
  TfQueryMain* b = Builder({"TABLES", "EMP"});
  ASSERT_NE(b, nullptr);
  TCtrlGrid& g = *b->cgrFields;
  const auto fields = [&](const QList<QStringList>& columns) {
    g.SetColCount(2);
    for (const QStringList& c : columns) {
      int row = 0;
      while (row < b->lbField->count() && FieldLineName(b->lbField->item(row)->text()) != c[0])
        ++row;
      ASSERT_LT(row, b->lbField->count()) << c[0].toStdString();
      ASSERT_TRUE(DragFields(*b, {row}));
      g.SetCells(g.ColCount() - 2, 1, c[1]);
      g.SetCells(g.ColCount() - 2, 2, c[2]);
    }
  };
  // As the example of the description: two blanks before ORDER and one at the very end.
  fields({{"DEPTNO", "10", "昇順"}, {"ENAME", "SMITH", "なし"}});
  EXPECT_EQ(b->Composition(),
            " SELECT * FROM EMP WHERE DEPTNO = '10' AND ENAME = 'SMITH'  ORDER BY DEPTNO ");
  // DESC after the first name only; quotes in a condition stay one value; blanks trimmed.
  fields({{"ENAME", " O'Brien ", "降順"}, {"DEPTNO", "", "昇順"}});
  EXPECT_EQ(b->Composition(),
            " SELECT * FROM EMP WHERE ENAME = 'O''Brien'  ORDER BY ENAME DESC , DEPTNO ");
  // A field dropped only to sort by it keeps every row: no WHERE at all.
  fields({{"ENAME", "  ", "降順"}});
  EXPECT_EQ(b->Composition(), " SELECT * FROM EMP  ORDER BY ENAME DESC ");
  fields({{"ENAME", "", ""}, {"JOB", "", "なし"}});
  EXPECT_EQ(b->Composition(), " SELECT * FROM EMP ");
  // The same field twice: two columns, both in the statement.
  fields({{"DEPTNO", "20", ""}, {"DEPTNO", "20", ""}});
  EXPECT_EQ(b->Composition(), " SELECT * FROM EMP WHERE DEPTNO = '20' AND DEPTNO = '20' ");

  // A value with a quote runs as one value.
  ASSERT_TRUE(OtherLogonRuns({"INSERT INTO EMP (EMPNO, ENAME, DEPTNO) VALUES (9001, 'O''Brien', "
                              "10)"}));
  fields({{"ENAME", "O'Brien", ""}});
  Capture->Answers = {true};
  CloseBuilder(b);
  EXPECT_EQ(q.mmSqlStatement->Text(), " SELECT * FROM EMP WHERE ENAME = 'O''Brien' ");
  Reactivate();
  q.mmSqlStatement->setFocus();
  Press(Qt::Key_F5);
  EXPECT_EQ(q.StatusText(), "1件検索しました");
  EXPECT_EQ(Capture->Count(), 1);
}

TEST_F(QueryBuilderTest, NoAnswerNoFieldAndNoWindowChangeNothing) {
  TfMain& q = Query();
  q.mmSqlStatement->SetText("SELECT 1 FROM DUAL");
  // Nothing dropped: nothing asked.
  CloseBuilder(Builder({"TABLES", "DEPT"}));
  EXPECT_EQ(Capture->Count(), 0);
  EXPECT_EQ(q.mmSqlStatement->Text(), "SELECT 1 FROM DUAL");

  // No: nothing composed.
  TfQueryMain* b = Builder({"TABLES", "DEPT"});
  ASSERT_TRUE(DragFields(*b, {1}));
  Capture->Answers = {false};
  CloseBuilder(b);
  EXPECT_EQ(Capture->Count(), 1);
  EXPECT_EQ(q.mmSqlStatement->Text(), "SELECT 1 FROM DUAL");

  // With no query window the statement has nowhere to go.
  b = Builder({"TABLES", "DEPT"});
  ASSERT_TRUE(DragFields(*b, {0, 2}));
  EXPECT_EQ(b->cgrFields->ColCount(), 4); // both lines, in list order
  EXPECT_EQ(FieldLineName(b->cgrFields->Cells(2, 0)), "LOC");
  Form->MDIArea->closeAllSubWindows();
  QApplication::processEvents();
  ASSERT_TRUE(Form->QueryWindows().isEmpty());
  Capture->Clear();
  Capture->Answers = {true};
  CloseBuilder(b);
  EXPECT_EQ(Capture->Texts, QStringList{"クエリが更新されています。SQLを反映させますか？"});
}

TEST_F(QueryBuilderTest, FieldListsOfObjects) {
  TfMainForm& f = WithTree();
  TfQueryMain* dept = Builder({"TABLES", "DEPT"});
  ASSERT_NE(dept, nullptr);
  EXPECT_EQ(Lines(*dept), (QStringList{Line("DEPTNO", "NUMBER", 4), Line("DNAME", "STRING", 14),
                                       Line("LOC", "STRING", 13)}));
  TfQueryMain* note = Builder({"TABLES", "EMP_NOTE"});
  EXPECT_EQ(Lines(*note), (QStringList{Line("EMPNO", "NUMBER", 6), Line("NOTE", "LONG", 0)}));

  // A trigger does not parse as a table: an empty list and no message.
  TfQueryMain* trigger = Builder({"TRIGGERS", "EMP_SAL_AUDIT"});
  ASSERT_NE(trigger, nullptr);
  EXPECT_EQ(trigger->windowTitle(), "クエリEXPRESS : EMP_SAL_AUDIT");
  EXPECT_EQ(trigger->lbField->count(), 0);
  EXPECT_EQ(Capture->Count(), 0);
  EXPECT_FALSE(f.OraCursorField.Opened());

  // The reconnection of the disconnect command never swallows the command.
  f.FReconnected = true;
  TfQueryMain* again = Builder({"TABLES", "DEPT"});
  ASSERT_NE(again, dept);
  EXPECT_EQ(again->lbField->count(), 3);
  EXPECT_FALSE(f.FReconnected);

  // A lost connection: the command logs on with the stored user and goes on.
  f.OraMainSes.Disconnect();
  AnswerLogon("DEMO", "DEMO");
  TfQueryMain* relogged = Builder({"TABLES", "EMP"});
  EXPECT_EQ(relogged->lbField->count(), 8);
  EXPECT_TRUE(f.OraMainSes.Connected());
  EXPECT_EQ(Stored("USERNAME"), "DEMO");
}

TEST_F(QueryBuilderTest, NamesThatNeedQuotesAndWideNames) {
  ASSERT_TRUE(OtherLogonRuns({"CREATE TABLE \"low t\" (\"a b\" NUMBER(3), \"社員名\" VARCHAR2(10))",
                              "INSERT INTO \"low t\" VALUES (1, '山田')",
                              "INSERT INTO \"low t\" VALUES (2, '田中')"}));
  TfMain& q = Query();
  TfQueryMain* b = Builder({"TABLES", "low t"});
  ASSERT_NE(b, nullptr);
  // Padded by display width: the type names stand in one column in the fixed-pitch list.
  ASSERT_EQ(Lines(*b), (QStringList{Line("a b", "NUMBER", 5),
                                    "社員名" + QString(24, u' ') + " STRING      10"}));
  EXPECT_EQ(FieldLineName(b->lbField->item(1)->text()), "社員名");

  // The field list dropped on the query window's editor names the fields.
  b->lbField->item(0)->setSelected(true);
  b->lbField->item(1)->setSelected(true);
  q.mmSqlStatementDragDrop(b->lbField);
  EXPECT_EQ(q.mmSqlStatement->Text(), "Select \"a b\",\"社員名\" From \"low t\"");

  ASSERT_TRUE(DragFields(*b, {0, 1}));
  b->cgrFields->SetCells(2, 1, "田中");
  b->cgrFields->SetCells(1, 2, "降順");
  Capture->Answers = {true};
  CloseBuilder(b);
  EXPECT_EQ(q.mmSqlStatement->Text(),
            " SELECT * FROM \"low t\" WHERE \"社員名\" = '田中'  ORDER BY \"a b\" DESC ");
  Reactivate();
  q.mmSqlStatement->setFocus();
  Press(Qt::Key_F5);
  EXPECT_EQ(q.StatusText(), "1件検索しました");
  EXPECT_EQ(q.sgSqlResult->Cells(1, 1), "2");
  EXPECT_EQ(Capture->Count(), 1);
}

TEST_F(QueryBuilderTest, RealQuestionWhileTheSortListOrACellEditorIsOpen) {
  TfMain& q = Query();
  TfQueryMain* b = Builder({"TABLES", "EMP"});
  ASSERT_TRUE(DragFields(*b, {1, 7}));
  TCtrlGrid& g = *b->cgrFields;
  // A choice made in the open list, not yet kept with Enter, and a condition still in its
  // editor: the real question runs its loop, both count.
  Condition(*b, 2, "30");
  g.setFocus();
  g.FocusCell(1, 1);
  Type("ALLEN");
  ASSERT_TRUE(g.EditorMode());
  g.FocusCell(1, 2);
  Press(Qt::Key_Return);
  ASSERT_TRUE(b->cboSearch->hasFocus());
  Press(Qt::Key_Down);
  Press(Qt::Key_Down);
  EXPECT_EQ(b->cboSearch->currentText(), "昇順");
  {
    TRealBoxes boxes(Capture);
    CloseBuilder(b);
    boxes.Settle();
    EXPECT_EQ(boxes.Texts, QStringList{"クエリが更新されています。SQLを反映させますか？"});
  }
  EXPECT_EQ(q.mmSqlStatement->Text(),
            " SELECT * FROM EMP WHERE ENAME = 'ALLEN' AND DEPTNO = '30'  ORDER BY ENAME ");

  // A condition editor still open when the builder closes.
  b = Builder({"TABLES", "EMP"});
  ASSERT_TRUE(DragFields(*b, {2}));
  b->cgrFields->setFocus();
  b->cgrFields->FocusCell(1, 1);
  Type("CLERK");
  ASSERT_TRUE(b->cgrFields->EditorMode());
  {
    TRealBoxes boxes(Capture);
    CloseBuilder(b);
    boxes.Settle();
    EXPECT_EQ(boxes.Texts.size(), 1);
  }
  EXPECT_EQ(q.mmSqlStatement->Text(), " SELECT * FROM EMP WHERE JOB = 'CLERK' ");
}

} // namespace
