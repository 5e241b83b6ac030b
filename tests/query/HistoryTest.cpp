#include "QueryFixture.h"

#include <QMdiArea>
#include <QMdiSubWindow>

namespace {

using HistoryTest = QueryTest;

QStringList Items(const TfMainForm& f) {
  QStringList items;
  for (int i = 0; i < f.SQLHistory->count(); ++i)
    items << f.SQLHistory->item(i)->text();
  return items;
}

// A double click on a history item as a window system delivers it.
void DoubleClickItem(TfMainForm& f, int row) {
  QWidget* view = f.SQLHistory->viewport();
  const QPoint at(5, f.SQLHistory->visualItemRect(f.SQLHistory->item(row)).center().y());
  QTest::mouseClick(view, Qt::LeftButton, {}, at);
  QTest::mouseDClick(view, Qt::LeftButton, {}, at);
  QTest::mouseRelease(view, Qt::LeftButton, {}, at);
  QApplication::processEvents();
}

TEST_F(HistoryTest, FeedOfTwoWindowsAndRecallIntoTheActiveOne) {
  TfMain& first = Query();
  TfMainForm& f = *Form;
  RunText(first, "SELECT * FROM DEPT;");
  f.sbNewQuery->click();
  QApplication::processEvents();
  TfMain& second = *f.QueryWindows().last();
  ASSERT_NE(&second, &first);
  RunText(second, "SELECT * FROM DEPT;");
  EXPECT_EQ(Items(f), QStringList{"SELECT * FROM DEPT;"});
  RunText(second, "select * from DEPT;");
  RunText(second, "SELEC * FROM DEPT;"); // no parse, no item
  RunText(first, "SELECT *\r\n  FROM EMP;");
  EXPECT_EQ(Items(f),
            (QStringList{"SELECT * FROM DEPT;", "select * from DEPT;", "SELECT *\r\n  FROM EMP;"}));
  ASSERT_EQ(Capture->Count(), 1);

  // Recall into the active window only: the whole text, lines and all; nothing runs.
  f.MDIArea->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(first.parentWidget()));
  ASSERT_EQ(f.ActiveQueryWindow(), &first);
  second.mmSqlStatement->SetText("untouched");
  f.sbViewHistory->click();
  QApplication::processEvents();
  DoubleClickItem(f, 2);
  EXPECT_EQ(first.mmSqlStatement->Text(), "SELECT *\r\n  FROM EMP;");
  EXPECT_EQ(second.mmSqlStatement->Text(), "untouched");
  EXPECT_EQ(first.StatusText(), "14件検索しました"); // the last run's, not a new one
  EXPECT_EQ(Items(f).size(), 3);

  // With no query window a double click does nothing.
  f.MDIArea->closeAllSubWindows();
  QApplication::processEvents();
  DoubleClickItem(f, 0);
  EXPECT_EQ(Items(f).size(), 3);

  // "履歴クリア" empties the history; the next run starts it again.
  EXPECT_EQ(f.Button1->text(), "履歴クリア");
  f.Button1->click();
  EXPECT_EQ(f.SQLHistory->count(), 0);
  f.sbNewQuery->click();
  QApplication::processEvents();
  RunText(*f.QueryWindows().last(), "SELECT * FROM DEPT;");
  EXPECT_EQ(Items(f), QStringList{"SELECT * FROM DEPT;"});
  EXPECT_EQ(Capture->Count(), 1);
}

TEST_F(HistoryTest, PanelCommandAndItsCheckMark) {
  TTrayIcon::AvailableOverride = 1;
  TfMainForm& f = WithTree();
  EXPECT_TRUE(f.pnlHistory->isHidden());
  EXPECT_FALSE(f.K2->isChecked());
  f.sbViewHistory->click();
  EXPECT_TRUE(f.pnlHistory->isVisible());
  EXPECT_TRUE(f.K2->isChecked());
  QApplication::processEvents();
  EXPECT_GT(f.SQLHistory->width(), 40);
  f.K2->trigger(); // the menu's own toggle is not the command's
  EXPECT_TRUE(f.pnlHistory->isHidden());
  EXPECT_FALSE(f.K2->isChecked());
  f.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
  QTest::keyClick(&f, Qt::Key_H, Qt::ControlModifier);
  EXPECT_TRUE(f.pnlHistory->isVisible());
  EXPECT_TRUE(f.K2->isChecked());

  // A showing with no tree hides the history again, and the check mark says so.
  f.sbViewTable->click(); // the tree goes
  ASSERT_TRUE(f.pnlTool->isHidden());
  f.sbToTryClick();
  f.N12->trigger();
  EXPECT_TRUE(f.pnlHistory->isHidden());
  EXPECT_FALSE(f.K2->isChecked());
  f.sbViewHistory->click();
  EXPECT_TRUE(f.pnlHistory->isVisible());
  EXPECT_TRUE(f.K2->isChecked());
}

} // namespace
