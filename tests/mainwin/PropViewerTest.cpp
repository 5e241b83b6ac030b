// The property viewers of the schema tree's objects, on the demo schema.
#include "MainFormFixture.h"
#include "SGrid.h"
#include "uEditor.h"
#include "uSrcProp.h"
#include "uTableProp.h"

#include <QLineEdit>
#include <QProgressBar>
#include <QTabWidget>

namespace {

class ViewerTest : public MainFormTest {
protected:
  // Runs the property command on the node at path; the viewer it opened, if any.
  template <class T> T* Open(const QStringList& path, QAction* item = nullptr) {
    QTreeWidgetItem* node = Node(path);
    EXPECT_NE(node, nullptr) << path.join('/').toStdString();
    if (!node)
      return nullptr;
    Form->tvTable->setCurrentItem(node);
    const int before = Form->findChildren<T*>().size();
    if (item)
      item->trigger();
    else
      Form->sbProp->click();
    QApplication::processEvents();
    const QList<T*> viewers = Form->findChildren<T*>();
    return viewers.size() > before ? viewers.last() : nullptr;
  }

  // Column 0 to 6 of each data row, "|" between.
  static QStringList GridRows(TSmartGrid* grid) {
    QStringList rows;
    for (int r = 1; r < grid->RowCount(); ++r)
      rows << grid->Rows(r).join('|');
    return rows;
  }
  static QStringList Lines(TEditor* editor) { return editor->toPlainText().split('\n'); }

  // The first column of each row of a query as DEMO, LONG values read whole.
  static QStringList Values(const std::string& sql) {
    TOraSession ses;
    TOraCursor cur;
    cur.SetSession(&ses);
    QStringList values;
    if (!Logon(ses, "DEMO", "DEMO") || !Run(cur, sql))
      return {"<failed>"};
    while (cur.Fetch())
      values << ReadLongText(cur, 0);
    cur.Close();
    ses.Disconnect();
    return values;
  }
};

TEST_F(ViewerTest, TableStorageColumnsAndUniqueKeys) {
  ASSERT_TRUE(OtherLogonRuns({"CREATE TABLE PAIR (A NUMBER NOT NULL, B VARCHAR2(5), C DATE, "
                              "CONSTRAINT PAIR_U UNIQUE (A, B))"}));
  TfMainForm& f = WithTree();
  auto* v = Open<TfTableProp>({"TABLES", "EMP"});
  ASSERT_NE(v, nullptr);
  EXPECT_TRUE(v->isVisible());
  EXPECT_EQ(v->windowTitle(), "テーブルプロパティ : EMP");
  EXPECT_TRUE(v->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(v->PageControl1->currentWidget(), v->FieldInfo);
  EXPECT_EQ(f.StatusText(), "フィールド情報取得中");

  // Storage figures and the bar: PCT_FREE 10 and PCT_USED 40.
  const QStringList figures = {v->edTableName->text(),  v->edSchemaName->text(),
                               v->edTableSpace->text(), v->edInitSize->text(),
                               v->edNextSize->text(),   v->edIncr->text(),
                               v->edMinExt->text(),     v->edMaxExt->text(),
                               v->edPCT_FREE->text(),   v->edPCT_USED->text()};
  EXPECT_EQ(figures,
            (QStringList{"EMP", "DEMO", "USERS", "10240", "10240", "50", "1", "121", "10", "40"}));
  EXPECT_EQ(v->pbrUSED->maximum(), 50);
  EXPECT_EQ(v->pbrUSED->value(), 40);

  // Columns: the fixed title row, the primary key marked, nullability spelled out.
  EXPECT_EQ(v->sgrTable->Rows(0), (QStringList{"", "フィールド名", "項目型", "項目長", "SCALE",
                                               "PRECISION", "NULL許可"}));
  const QStringList rows = GridRows(v->sgrTable);
  ASSERT_EQ(rows.size(), 8);
  EXPECT_EQ(rows[0], "◎|EMPNO|NUMBER|22|0|4|NO");
  EXPECT_EQ(rows[1], "|ENAME|VARCHAR2|10|||YES");
  EXPECT_EQ(rows[4], "|HIREDATE|DATE|7|||YES");
  EXPECT_EQ(rows[5], "|SAL|NUMBER|22|2|7|YES");

  // Data rows with an even index are pale yellow.
  QApplication::processEvents();
  const QImage image = v->sgrTable->grab().toImage();
  const auto background = [&](int row) {
    const QRect cell = v->sgrTable->CellRect(3, row);
    return image.pixelColor(cell.right() - 3, cell.center().y());
  };
  EXPECT_EQ(background(2), TfTableProp::EvenRowColor);
  EXPECT_EQ(background(4), TfTableProp::EvenRowColor);
  EXPECT_NE(background(3), TfTableProp::EvenRowColor);

  // A two-column unique key marks both columns; the tree's popup item does the same.
  auto* pair = Open<TfTableProp>({"TABLES", "PAIR"}, f.Property1);
  ASSERT_NE(pair, nullptr);
  EXPECT_EQ(GridRows(pair->sgrTable),
            (QStringList{"◎|A|NUMBER|22|||NO", "◎|B|VARCHAR2|5|||YES", "|C|DATE|7|||YES"}));

  // Each command opens a viewer of its own; closing one leaves the other.
  auto* again = Open<TfTableProp>({"TABLES", "EMP"});
  ASSERT_NE(again, nullptr);
  EXPECT_NE(again, v);
  QPointer<TfTableProp> closed = v;
  v->btnClose->click();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(closed.isNull());
  EXPECT_TRUE(again->isVisible());
}

TEST_F(ViewerTest, ViewTriggerAndStoredSource) {
  TfMainForm& f = WithTree();
  auto* view = Open<TfTableProp>({"VIEWS", "EMP_DEPT_V"});
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->windowTitle(), "テーブルプロパティ : EMP_DEPT_V");
  const QStringList text = Values("SELECT TEXT FROM USER_VIEWS WHERE VIEW_NAME = 'EMP_DEPT_V'");
  ASSERT_EQ(text.size(), 1);
  EXPECT_FALSE(text[0].isEmpty());
  EXPECT_EQ(view->memViewSource->toPlainText(), text[0]);
  // A view has no storage: empty names, the schema, zeros and an empty bar.
  EXPECT_EQ(view->edTableName->text(), "");
  EXPECT_EQ(view->edSchemaName->text(), "DEMO");
  EXPECT_EQ(view->edInitSize->text(), "0");
  EXPECT_EQ(view->edPCT_USED->text(), "0");
  EXPECT_EQ(view->pbrUSED->value(), view->pbrUSED->minimum());
  EXPECT_GT(view->pbrUSED->maximum(), 0); // not the busy animation
  EXPECT_EQ(GridRows(view->sgrTable).size(), 3);
  EXPECT_TRUE(GridRows(view->sgrTable)[2].startsWith("|DNAME|VARCHAR2|14"));

  auto* trigger = Open<TfSourceProp>({"TRIGGERS", "EMP_SAL_AUDIT"});
  ASSERT_NE(trigger, nullptr);
  EXPECT_EQ(trigger->windowTitle(), "トリガープロパティ : EMP_SAL_AUDIT");
  EXPECT_FALSE(trigger->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(Lines(trigger->memDesct),
            (QStringList{" TRIGGER TYPE     = AFTER EACH ROW ", " TRIGGERING_EVENT = UPDATE",
                         " TABLE_OWNER      = DEMO"}));
  const QStringList body =
      Values("SELECT TRIGGER_BODY FROM USER_TRIGGERS WHERE TRIGGER_NAME = 'EMP_SAL_AUDIT'");
  ASSERT_EQ(body.size(), 1);
  EXPECT_TRUE(body[0].contains("INSERT INTO SAL_AUDIT")) << body[0].toStdString();
  EXPECT_EQ(trigger->memViewSource->toPlainText(), body[0]);
  EXPECT_EQ(f.StatusText(), "トリガー検索中");

  // The package body, one numbered line per stored line, no visible character lost.
  auto* package = Open<TfSourceProp>({"PACKAGES", "EMP_PKG"});
  ASSERT_NE(package, nullptr);
  EXPECT_EQ(package->windowTitle(), "トリガープロパティ : EMP_PKG");
  EXPECT_TRUE(package->memDesct->isHidden());
  const QStringList lines = Lines(package->memViewSource);
  const QStringList stored = Values("SELECT TEXT FROM USER_SOURCE WHERE NAME = 'EMP_PKG' AND TYPE "
                                    "= 'PACKAGE BODY' ORDER BY LINE");
  ASSERT_EQ(lines.size(), stored.size());
  ASSERT_GE(lines.size(), 10);
  EXPECT_EQ(lines[0], "   1 : PACKAGE BODY EMP_PKG AS");
  EXPECT_EQ(lines.last(), QString::number(lines.size()).rightJustified(4) + " : END EMP_PKG;");
  EXPECT_FALSE(package->memViewSource->toPlainText().contains("PROCEDURE HIRE(P_ENAME IN "
                                                              "VARCHAR2, P_DEPTNO IN NUMBER);"))
      << "only the body is shown";

  auto* procedure = Open<TfSourceProp>({"PROCEDURES", "RAISE_SAL"});
  ASSERT_NE(procedure, nullptr);
  EXPECT_TRUE(Lines(procedure->memViewSource)[0].startsWith("   1 : PROCEDURE RAISE_SAL"));
  EXPECT_TRUE(Lines(procedure->memViewSource).last().endsWith(" : END RAISE_SAL;"));
  auto* function = Open<TfSourceProp>({"FUNCTIONS", "ANNUAL_SAL"});
  ASSERT_NE(function, nullptr);
  EXPECT_TRUE(Lines(function->memViewSource)[0].startsWith("   1 : FUNCTION ANNUAL_SAL"));
}

TEST_F(ViewerTest, QuotedNamesLongTextsAndOtherNodes) {
  QString wide;
  for (int i = 1; i <= 13; ++i)
    wide += QString(i > 1 ? ", " : "") + "'" + QString(1900, QChar(0x3042)) + "' C" +
            QString::number(i);
  ASSERT_TRUE(
      OtherLogonRuns({"CREATE TABLE \"O'T\" (A NUMBER PRIMARY KEY, B VARCHAR2(3))",
                      "CREATE VIEW \"V'Q\" AS SELECT B FROM \"O'T\"",
                      ("CREATE VIEW WIDE_V AS SELECT " + wide + " FROM DUAL").toStdString()}));
  TfMainForm& f = WithTree();
  auto* table = Open<TfTableProp>({"TABLES", "O'T"});
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->edTableName->text(), "O'T");
  EXPECT_EQ(GridRows(table->sgrTable), (QStringList{"◎|A|NUMBER|22|||NO", "|B|VARCHAR2|3|||YES"}));
  auto* view = Open<TfTableProp>({"VIEWS", "V'Q"});
  ASSERT_NE(view, nullptr);
  EXPECT_TRUE(view->memViewSource->toPlainText().contains("\"O'T\""));
  EXPECT_EQ(GridRows(view->sgrTable), QStringList{"|B|VARCHAR2|3|||YES"});

  // A view text longer than one piece is shown whole, no character split between pieces.
  auto* longView = Open<TfTableProp>({"VIEWS", "WIDE_V"});
  ASSERT_NE(longView, nullptr);
  const QString shown = longView->memViewSource->toPlainText();
  EXPECT_GT(shown.toUtf8().size(), 65535);
  EXPECT_EQ(shown.count(QChar(0x3042)), 13 * 1900);
  EXPECT_FALSE(shown.contains(QChar(0xFFFD)));
  EXPECT_TRUE(shown.contains("C13")) << shown.right(40).toStdString();

  // Nodes that are no object: the notice, with a real box; no viewer.
  Form->tvTable->expandItem(Node({"TABLES", "EMP"}));
  TRealBoxes boxes(Capture);
  const int viewers =
      f.findChildren<TfTableProp*>().size() + f.findChildren<TfSourceProp*>().size();
  for (const QStringList& path :
       {QStringList{"TABLES"}, QStringList{"TABLES", "EMP", "EMPNO"}, QStringList{}}) {
    Form->tvTable->setCurrentItem(path.isEmpty() ? Form->tvTable->topLevelItem(0) : Node(path));
    f.Property1Click();
    boxes.Settle();
  }
  EXPECT_EQ(boxes.Texts, QStringList(3, "テーブル、ビュー、ＰＬ／ＳＱＬを選択してください"));
  EXPECT_EQ(f.findChildren<TfTableProp*>().size() + f.findChildren<TfSourceProp*>().size(),
            viewers);
}

} // namespace
