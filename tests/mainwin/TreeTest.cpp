#include "MainFormFixture.h"

namespace {

using TreeTest = MainFormTest;

qint64 Image(QTreeWidgetItem* node) { return node->icon(0).cacheKey(); }

TEST_F(TreeTest, TableListBuildsTheSchemaTreeAndToggles) {
  TfMainForm& f = WithTree();
  ASSERT_TRUE(f.OraMainSes.Connected()) << Capture->Texts.join("|").toStdString();
  EXPECT_TRUE(f.K1->isChecked());
  EXPECT_FALSE(f.pnlTool->isHidden());
  EXPECT_TRUE(f.splTool()->isVisible());
  EXPECT_FALSE(f.sbConnect->isEnabled());
  EXPECT_TRUE(f.sbDisconnect->isEnabled());
  EXPECT_EQ(f.KO1->text(), "接続(&O)"); // the table list's logon leaves the File item alone
  EXPECT_EQ(f.StatusText(), "");
  EXPECT_FALSE(f.OraCursorTable.Opened());

  ASSERT_EQ(f.tvTable->topLevelItemCount(), 1);
  QTreeWidgetItem* root = f.tvTable->topLevelItem(0);
  EXPECT_EQ(root->text(0), "DEMO");
  EXPECT_EQ(Image(root), f.ImageList1[2].cacheKey());
  EXPECT_EQ(ChildTexts(root),
            (QStringList{"TABLES", "VIEWS", "TRIGGERS", "PACKAGES", "PROCEDURES", "FUNCTIONS"}));
  EXPECT_EQ(ChildTexts(Node({"TABLES"})), (QStringList{"BONUS", "DEPT", "EMP", "EMP_BADGE",
                                                       "EMP_NOTE", "SALGRADE", "SAL_AUDIT"}));
  EXPECT_EQ(ChildTexts(Node({"VIEWS"})), QStringList{"EMP_DEPT_V"});
  EXPECT_EQ(ChildTexts(Node({"TRIGGERS"})), QStringList{"EMP_SAL_AUDIT"});
  EXPECT_EQ(ChildTexts(Node({"PACKAGES"})), QStringList{"EMP_PKG"});
  EXPECT_EQ(ChildTexts(Node({"PROCEDURES"})), QStringList{"RAISE_SAL"});
  EXPECT_EQ(ChildTexts(Node({"FUNCTIONS"})), QStringList{"ANNUAL_SAL"});
  // Tables and views carry a placeholder until expanded; other objects have no children.
  EXPECT_EQ(ChildTexts(Node({"TABLES", "EMP"})), QStringList{""});
  EXPECT_EQ(ChildTexts(Node({"VIEWS", "EMP_DEPT_V"})), QStringList{""});
  EXPECT_EQ(Node({"TRIGGERS", "EMP_SAL_AUDIT"})->childCount(), 0);
  EXPECT_EQ(Image(Node({"TABLES"})), f.ImageList1[0].cacheKey());
  EXPECT_EQ(Image(Node({"TABLES", "EMP"})), f.ImageList1[4].cacheKey());

  // Again: the tree is hidden, the File item reads "disconnect" but still runs the connect.
  f.sbViewTable->click();
  EXPECT_FALSE(f.K1->isChecked());
  EXPECT_TRUE(f.pnlTool->isHidden());
  EXPECT_EQ(f.KO1->text(), "切断(&D)");
  EXPECT_TRUE(f.KO1Click == &TfMainForm::sbConnectClick);
  f.KO1->trigger();
  EXPECT_TRUE(f.OraMainSes.Connected());

  // The menu item rebuilds from scratch: loaded columns are gone, a new table is there.
  f.tvTable->expandItem(Node({"TABLES", "EMP"}));
  ASSERT_TRUE(OtherLogonRuns({"CREATE TABLE ZED (A NUMBER)"}));
  f.K1->trigger();
  EXPECT_TRUE(f.K1->isChecked());
  EXPECT_FALSE(f.pnlTool->isHidden());
  EXPECT_EQ(ChildTexts(Node({"TABLES", "EMP"})), QStringList{""});
  EXPECT_EQ(ChildTexts(Node({"TABLES"})).last(), "ZED");
  EXPECT_EQ(Dialogs, 1);
  EXPECT_EQ(Capture->Count(), 0);
}

TEST_F(TreeTest, ExpandingLoadsColumnsOnceAndOpensFolders) {
  TfMainForm& f = WithTree();
  QTreeWidgetItem* tables = Node({"TABLES"});
  QTreeWidgetItem* packages = Node({"PACKAGES"});
  f.tvTable->expandItem(tables);
  f.tvTable->expandItem(packages);
  EXPECT_EQ(Image(tables), f.ImageList1[1].cacheKey());
  EXPECT_EQ(Image(packages), f.ImageList1[0].cacheKey());
  f.tvTable->collapseItem(tables);
  EXPECT_EQ(Image(tables), f.ImageList1[0].cacheKey());

  QTreeWidgetItem* emp = Node({"TABLES", "EMP"});
  f.tvTable->expandItem(emp);
  const QStringList columns = {"EMPNO", "ENAME", "JOB", "MGR", "HIREDATE", "SAL", "COMM", "DEPTNO"};
  EXPECT_EQ(ChildTexts(emp), columns);
  EXPECT_EQ(Image(emp->child(0)), f.ImageList1[3].cacheKey());
  EXPECT_FALSE(f.OraCursorField.Opened());

  // Columns are read once: a column added meanwhile shows only after a rebuild.
  ASSERT_TRUE(OtherLogonRuns({"ALTER TABLE EMP ADD (BONUS NUMBER)"}));
  f.tvTable->collapseItem(emp);
  f.tvTable->expandItem(emp);
  EXPECT_EQ(ChildTexts(emp), columns);

  // A view lists its columns too.
  QTreeWidgetItem* view = Node({"VIEWS", "EMP_DEPT_V"});
  f.tvTable->expandItem(view);
  EXPECT_EQ(ChildTexts(view), (QStringList{"EMPNO", "ENAME", "DNAME"}));
  EXPECT_EQ(Capture->Count(), 0);
}

TEST_F(TreeTest, NamesWithQuotesAndMissingTriggers) {
  ASSERT_TRUE(OtherLogonRuns(
      {"CREATE TABLE \"O'NEIL\" (A NUMBER, B VARCHAR2(5))", "DROP TRIGGER EMP_SAL_AUDIT"}));
  TfMainForm& f = WithTree();
  QTreeWidgetItem* triggers = Node({"TRIGGERS"});
  EXPECT_EQ(triggers->childCount(), 0);
  EXPECT_EQ(f.tvTable->itemWidget(triggers, 0), nullptr);
  // The quote in the name is doubled in the column query, so its columns are listed.
  QTreeWidgetItem* oneil = Node({"TABLES", "O'NEIL"});
  ASSERT_NE(oneil, nullptr);
  f.tvTable->expandItem(oneil);
  EXPECT_EQ(ChildTexts(oneil), (QStringList{"A", "B"}));
}

TEST_F(TreeTest, SelectionDecidesTheObjectCommands) {
  TfMainForm& f = WithTree();
  auto enabled = [&f] {
    const bool on = f.sbProp->isEnabled();
    for (QAction* a : {f.Q2, f.Property1, f.OutCSV, f.N13, f.CrtDummy})
      EXPECT_EQ(a->isEnabled(), on) << a->objectName().toStdString();
    EXPECT_EQ(f.InpCSV->isEnabled(), on);
    return on;
  };
  EXPECT_FALSE(enabled());
  f.tvTable->expandItem(Node({"TABLES", "EMP"}));
  for (const QStringList& path :
       {QStringList{"TABLES", "EMP"}, QStringList{"VIEWS", "EMP_DEPT_V"},
        QStringList{"TRIGGERS", "EMP_SAL_AUDIT"}, QStringList{"PACKAGES", "EMP_PKG"},
        QStringList{"PROCEDURES", "RAISE_SAL"}, QStringList{"FUNCTIONS", "ANNUAL_SAL"}}) {
    f.tvTable->setCurrentItem(Node({"TABLES", "EMP", "SAL"}));
    EXPECT_FALSE(enabled());
    f.tvTable->setCurrentItem(Node(path));
    EXPECT_TRUE(enabled()) << path.join("/").toStdString();
  }
  // The root changes nothing, a category disables; a click selects with the mouse.
  f.tvTable->setCurrentItem(f.tvTable->topLevelItem(0));
  EXPECT_TRUE(enabled());
  QTreeWidgetItem* tables = Node({"TABLES"});
  f.tvTable->scrollToItem(tables);
  QApplication::processEvents();
  QTest::mouseClick(f.tvTable->viewport(), Qt::LeftButton, {},
                    f.tvTable->visualItemRect(tables).center());
  EXPECT_EQ(f.SelectedNode(), tables);
  EXPECT_FALSE(enabled());
  f.tvTable->setCurrentItem(f.tvTable->topLevelItem(0));
  EXPECT_FALSE(enabled());
  f.tvTable->clearSelection();
  EXPECT_EQ(f.SelectedNode(), nullptr);
  EXPECT_FALSE(enabled());
}

// "user/password" typed into the user field logs on; no password is ever shown or stored.
TEST_F(TreeTest, PasswordInTheUserFieldNeverShows) {
  TfMainForm& f = Shown();
  AnswerLogon("DEMO/DEMO", "");
  f.sbViewTable->click();
  ASSERT_TRUE(f.OraMainSes.Connected()) << Capture->Texts.join("|").toStdString();
  ASSERT_EQ(f.tvTable->topLevelItemCount(), 1);
  EXPECT_EQ(f.tvTable->topLevelItem(0)->text(0), "DEMO");
  EXPECT_EQ(Stored("USERNAME"), "DEMO");
  // The root is still the user's node: selecting it keeps the object commands as they are.
  f.tvTable->setCurrentItem(Node({"TABLES", "EMP"}));
  f.tvTable->setCurrentItem(f.tvTable->topLevelItem(0));
  EXPECT_TRUE(f.sbProp->isEnabled());
}

TEST_F(TreeTest, CancelledLogonLeavesTheTreeHidden) {
  TfMainForm& f = Shown();
  AnswerLogon("DEMO", "DEMO", false);
  f.K1->trigger();
  EXPECT_TRUE(f.K1->isChecked());
  EXPECT_TRUE(f.pnlTool->isHidden());
  EXPECT_EQ(f.StatusText(), "Oracleに接続中");
  EXPECT_EQ(f.tvTable->topLevelItemCount(), 0);
  EXPECT_TRUE(f.sbConnect->isEnabled());
}

} // namespace
