#include "CtrlGrid.h"
#include "CkBoxCel.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace {

// A form with a grid and the controls it borrows, shown and active, as a dialog would be.
class CtrlGridTest : public ::testing::Test {
protected:
  void SetUp() override {
    Form = std::make_unique<QWidget>();
    Form->resize(600, 300);
    Grid = new TCtrlGrid(Form.get());
    Grid->setGeometry(10, 10, 560, 200);
    Grid->SetDefaultColWidth(80);
    Grid->SetDefaultRowHeight(24);
    Grid->SetColCount(5);
    Grid->SetRowCount(4);
    Combo = new QComboBox(Form.get());
    Combo->addItems({"なし", "昇順", "降順"});
    Edit = new QLineEdit(Form.get());
    Box = new TCheckBoxCell(Form.get());
    Button = new QPushButton("Go", Form.get());
    Outside = new QLineEdit(Form.get());
    Outside->setGeometry(10, 250, 100, 24);
    Form->show();
    Form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
    QObject::connect(Grid, &TStringGridEx::OnSetEditText, Grid,
                     [this](int c, int r, const QString& v) {
                       Stored << QStringLiteral("%1,%2=%3").arg(c).arg(r).arg(v);
                     });
    QObject::connect(Button, &QPushButton::clicked, Button, [this] { ++Clicks; });
  }

  // The form goes before the texts its grid reports into.
  void TearDown() override { Form.reset(); }

  // Press and release each go to the widget that holds the focus at that moment.
  static void Press(Qt::Key key, Qt::KeyboardModifiers mods = {}) {
    QWidget* down = QApplication::focusWidget();
    ASSERT_NE(down, nullptr);
    QTest::keyPress(down, key, mods);
    QApplication::processEvents();
    QWidget* up = QApplication::focusWidget();
    ASSERT_NE(up, nullptr);
    QTest::keyRelease(up, key, mods);
    QApplication::processEvents();
  }

  void Current(int col, int row) {
    Grid->setFocus();
    Grid->FocusCell(col, row);
    QApplication::processEvents();
  }

  QPoint CellCenter(int col, int row) {
    return Grid->viewport()->mapFrom(Grid, Grid->CellRect(col, row).center());
  }

  std::unique_ptr<QWidget> Form;
  TCtrlGrid* Grid;
  QComboBox* Combo;
  QLineEdit* Edit;
  TCheckBoxCell* Box;
  QPushButton* Button;
  QLineEdit* Outside;
  QStringList Stored;
  int Clicks = 0;
};

TEST_F(CtrlGridTest, RegistrationsNameCellsBySelectors) {
  // Every column of row 2, registered before the columns were added.
  EXPECT_EQ(Grid->AddControl(-1, 2, "", Combo), 0);
  Grid->SetColCount(6);
  for (int c = 1; c < 6; ++c)
    EXPECT_EQ(Grid->FindControl(c, 2), Combo) << c;
  EXPECT_EQ(Grid->FindControl(3, 1), nullptr);
  EXPECT_EQ(Grid->FindControl(6, 2), nullptr); // no such column

  // The first registration naming a cell wins; -2 is the last, -3 the one before it.
  EXPECT_EQ(Grid->AddControl(2, 2, "x", Edit), 1);
  EXPECT_EQ(Grid->AddControl(-2, -2, "last", Edit), 2);
  EXPECT_EQ(Grid->AddControl(-3, 1, "", Box), 3);
  EXPECT_EQ(Grid->FindControl(2, 2), Combo);
  QString def;
  EXPECT_EQ(Grid->FindControl(5, 3, &def), Edit);
  EXPECT_EQ(def, "last");
  EXPECT_EQ(Grid->FindControl(4, 1), Box);
  Grid->SetColCount(7);
  Grid->SetRowCount(5);
  EXPECT_EQ(Grid->FindControl(6, 4), Edit); // the selectors follow the counts
  EXPECT_EQ(Grid->FindControl(5, 3), nullptr);
  EXPECT_EQ(Grid->FindControl(5, 1), Box);

  ASSERT_EQ(Grid->ControlCount(), 4);

  // A control registered twice keeps the grid's handling until its last registration goes.
  Current(6, 4);
  ASSERT_EQ(Grid->CurrentControl(), Edit);
  Grid->DeleteControl(1);
  EXPECT_EQ(Grid->ControlCount(), 3);
  Press(Qt::Key_Return);
  ASSERT_TRUE(Edit->hasFocus());
  Press(Qt::Key_Return);
  EXPECT_TRUE(Grid->hasFocus()); // Enter in the control still goes back to the grid
  Grid->DeleteControl(1);
  EXPECT_EQ(Grid->FindControl(6, 4), nullptr);
  EXPECT_FALSE(Edit->isVisible());
  Edit->show();
  Edit->setFocus();
  Press(Qt::Key_Return);
  EXPECT_TRUE(Edit->hasFocus()); // its own handling is back

  Grid->ClearControls();
  EXPECT_EQ(Grid->FindControl(2, 2), nullptr);
}

TEST_F(CtrlGridTest, TheControlFollowsTheCurrentCellAndStoresItsText) {
  Grid->AddControl(-1, 2, "", Combo);
  int shows = 0;
  QObject::connect(Grid, &TCtrlGrid::OnControlShow, Grid,
                   [&](TCtrlGrid*, QWidget* c, const QString&) { shows += c == Combo; });
  Grid->SetCells(1, 2, "降順");
  Grid->SetCells(2, 2, "foo");
  Current(1, 1);
  EXPECT_EQ(Grid->CurrentControl(), nullptr);
  EXPECT_FALSE(Combo->isVisible());

  Current(1, 2);
  ASSERT_EQ(Grid->CurrentControl(), Combo);
  EXPECT_TRUE(Combo->isVisible());
  EXPECT_FALSE(Combo->hasFocus()); // shown, not focused
  EXPECT_EQ(Combo->parentWidget(), Form.get());
  const QRect cell = Grid->CellRect(1, 2).translated(Grid->pos());
  EXPECT_EQ(Combo->geometry(),
            QRect(cell.left() + 1, cell.top() + 1, cell.width() + 2, cell.height() + 2));
  EXPECT_EQ(Combo->currentText(), "降順");
  EXPECT_EQ(shows, 1);

  // A text that is no item is shown and kept; an empty cell chooses nothing.
  Stored.clear();
  Current(2, 2);
  EXPECT_EQ(Stored, QStringList{"1,2=降順"}); // the text left behind went in by the edit path
  EXPECT_EQ(Combo->currentIndex(), -1);
  EXPECT_EQ(Combo->placeholderText(), "foo");
  Current(3, 2);
  EXPECT_EQ(Grid->Cells(2, 2), "foo");
  EXPECT_EQ(Combo->currentIndex(), -1);

  // Resizing a column and moving the grid carry the control along.
  Grid->SetColWidths(1, 120);
  QApplication::processEvents();
  EXPECT_EQ(Combo->geometry().left(), Grid->CellRect(3, 2).left() + Grid->x() + 1);
  Grid->move(30, 20);
  EXPECT_EQ(Combo->geometry().topLeft(),
            Grid->CellRect(3, 2).topLeft() + Grid->pos() + QPoint(1, 1));

  // Focus elsewhere: the control's text is stored and it hides.
  Combo->setFocus();
  QTest::keyClick(Combo, Qt::Key_Down);
  EXPECT_EQ(Combo->currentText(), "なし");
  Outside->setFocus();
  QApplication::processEvents();
  EXPECT_EQ(Grid->Cells(3, 2), "なし");
  EXPECT_FALSE(Combo->isVisible());
  // The grid gaining the focus shows it again.
  Grid->setFocus();
  QApplication::processEvents();
  EXPECT_TRUE(Combo->isVisible());
  EXPECT_EQ(Combo->currentText(), "なし");
}

TEST_F(CtrlGridTest, EnterKeepsAChoiceAndEscDiscardsIt) {
  Grid->AddControl(-1, 2, "", Combo);
  Grid->AddControl(-1, 3, "abc", Edit);
  // Enter and Esc in the control are never a shortcut of the form.
  QAction escape(Form.get());
  escape.setShortcut(Qt::Key_Escape);
  Form->addAction(&escape);
  int escapes = 0;
  QObject::connect(&escape, &QAction::triggered, [&] { ++escapes; });

  Current(1, 2);
  Press(Qt::Key_Return);
  ASSERT_TRUE(Combo->hasFocus());
  EXPECT_EQ(Combo->currentIndex(), -1); // empty cell, empty default
  Press(Qt::Key_Down);
  Press(Qt::Key_Down);
  Press(Qt::Key_Down);
  EXPECT_EQ(Combo->currentText(), "降順");
  EXPECT_EQ(Grid->Cells(1, 2), ""); // not yet
  Press(Qt::Key_Return);
  EXPECT_EQ(Grid->Cells(1, 2), "降順");
  EXPECT_TRUE(Grid->hasFocus());
  EXPECT_TRUE(Combo->isVisible());
  EXPECT_EQ(Combo->currentText(), "降順");

  Press(Qt::Key_Return);
  ASSERT_TRUE(Combo->hasFocus());
  Press(Qt::Key_Up);
  EXPECT_EQ(Combo->currentText(), "昇順");
  Press(Qt::Key_Escape);
  EXPECT_EQ(Grid->Cells(1, 2), "降順");
  EXPECT_TRUE(Grid->hasFocus());
  EXPECT_EQ(Combo->currentText(), "降順");
  EXPECT_EQ(escapes, 0);

  // An edit on an empty cell gets the registration's default text.
  Current(2, 3);
  Press(Qt::Key_Return);
  ASSERT_TRUE(Edit->hasFocus());
  EXPECT_EQ(Edit->text(), "abc");
  Edit->end(false);
  QTest::keyClicks(Edit, "d");
  Press(Qt::Key_Return);
  EXPECT_EQ(Grid->Cells(2, 3), "abcd");
  Press(Qt::Key_Return); // not empty: no default
  QTest::keyClicks(Edit, "e");
  Press(Qt::Key_Escape);
  EXPECT_EQ(Grid->Cells(2, 3), "abcd");
  EXPECT_EQ(escapes, 0);

  // Cells with a control never open the grid's own editor; others do.
  Current(1, 2);
  QTest::keyClick(Grid, Qt::Key_X);
  EXPECT_FALSE(Grid->EditorMode());
  QTest::mouseClick(Grid->viewport(), Qt::LeftButton, {}, CellCenter(2, 3));
  QTest::mouseDClick(Grid->viewport(), Qt::LeftButton, {}, CellCenter(2, 3));
  QTest::mouseRelease(Grid->viewport(), Qt::LeftButton, {}, CellCenter(2, 3));
  EXPECT_FALSE(Grid->EditorMode());
  Current(1, 1);
  QTest::keyClick(Grid, Qt::Key_X);
  EXPECT_TRUE(Grid->EditorMode());
}

TEST_F(CtrlGridTest, AScrolledOutCellShowsNoControl) {
  Grid->SetColCount(20);
  Grid->AddControl(-1, 2, "", Combo);
  Grid->SetCells(1, 2, "昇順");
  Current(1, 2);
  ASSERT_TRUE(Combo->isVisible());
  QScrollBar* bar = Grid->horizontalScrollBar();
  bar->setValue(bar->maximum());
  QApplication::processEvents();
  EXPECT_EQ(Grid->CurrentControl(), nullptr);
  EXPECT_FALSE(Combo->isVisible());
  EXPECT_EQ(Grid->Cells(1, 2), "昇順");
  bar->setValue(0);
  QApplication::processEvents();
  EXPECT_EQ(Grid->CurrentControl(), Combo);
  EXPECT_TRUE(Combo->isVisible());
  EXPECT_EQ(Combo->currentText(), "昇順");
  // A cell partly out of view shows none either.
  bar->setValue(10);
  QApplication::processEvents();
  EXPECT_FALSE(Combo->isVisible());
}

TEST_F(CtrlGridTest, OnControlHideMayChangeTheStoredText) {
  Grid->AddControl(-1, 2, "", Combo);
  QObject::connect(Grid, &TCtrlGrid::OnControlHide, Grid,
                   [](TCtrlGrid*, int col, int row, QWidget*, QString& text) {
                     if (col == 1 && row == 2 && !text.isEmpty())
                       text = "[" + text + "]";
                   });
  Current(1, 2);
  Combo->setCurrentIndex(1);
  Stored.clear();
  Grid->HideControl();
  EXPECT_EQ(Grid->Cells(1, 2), "[昇順]");
  EXPECT_EQ(Stored, QStringList{"1,2=[昇順]"});
  EXPECT_FALSE(Combo->isVisible());
  Grid->ShowControl(1, 2);
  EXPECT_EQ(Combo->currentIndex(), -1); // no such item
  EXPECT_EQ(Combo->placeholderText(), "[昇順]");
}

TEST_F(CtrlGridTest, CellEditingAndShowControlsGateTheControls) {
  Grid->AddControl(-1, 2, "", Combo);
  Grid->SetOptions(goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine);
  Current(1, 2);
  EXPECT_FALSE(Combo->isVisible());
  Grid->ShowControl(1, 2);
  EXPECT_FALSE(Combo->isVisible());
  Press(Qt::Key_Return);
  EXPECT_TRUE(Grid->hasFocus());

  Grid->SetOptions(Grid->Options() | goEditing);
  EXPECT_TRUE(Combo->isVisible());
  Grid->SetShowControls(false);
  EXPECT_FALSE(Combo->isVisible());
  Current(2, 2);
  EXPECT_FALSE(Combo->isVisible());
  Grid->SetShowControls(true);
  EXPECT_TRUE(Combo->isVisible());
  EXPECT_EQ(Grid->ControlCol(), 2);
}

TEST_F(CtrlGridTest, CheckBoxAndButtonCells) {
  Box->SetCheckColor(Qt::red);
  Grid->AddControl(-1, 1, "", Box);
  Grid->AddControl(-1, 3, "", Button);
  Grid->SetCells(2, 1, "1");
  Grid->SetCells(3, 1, "0");

  // Drawn by the grid where the box is not shown: a mark in the box's colour for "1" only.
  Current(1, 2);
  const auto reddish = [&](int col, int row) {
    const QImage img = Grid->grab(Grid->CellRect(col, row)).toImage();
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x) {
        const QColor c = img.pixelColor(x, y);
        n += c.red() > 200 && c.green() < 80 && c.blue() < 80;
      }
    return n;
  };
  EXPECT_GT(reddish(2, 1), 5);
  EXPECT_EQ(reddish(3, 1), 0);

  // Space toggles the shown box; Enter does nothing; the text goes in when it hides.
  Current(3, 1);
  ASSERT_EQ(Grid->CurrentControl(), Box);
  EXPECT_FALSE(Box->Checked());
  Press(Qt::Key_Space);
  EXPECT_TRUE(Box->Checked());
  Press(Qt::Key_Return);
  EXPECT_TRUE(Grid->hasFocus());
  Current(3, 2);
  EXPECT_EQ(Grid->Cells(3, 1), "1");

  // A button cell never shows its button; Enter and Space click it once the key's handler is
  // over, the mouse clicks it when released over the cell.
  Current(2, 3);
  ASSERT_EQ(Grid->CurrentControl(), Button);
  EXPECT_FALSE(Button->isVisible());
  QTest::keyClick(Grid, Qt::Key_Return);
  EXPECT_EQ(Clicks, 0);
  QApplication::processEvents();
  EXPECT_EQ(Clicks, 1);
  QTest::keyPress(Grid, Qt::Key_Space);
  EXPECT_TRUE(Grid->ButtonDown());
  QTest::keyRelease(Grid, Qt::Key_Space);
  EXPECT_FALSE(Grid->ButtonDown());
  QApplication::processEvents();
  EXPECT_EQ(Clicks, 2);
  QTest::mousePress(Grid->viewport(), Qt::LeftButton, {}, CellCenter(2, 3));
  EXPECT_TRUE(Grid->ButtonDown());
  QTest::mouseMove(Grid->viewport(), CellCenter(1, 1));
  EXPECT_FALSE(Grid->ButtonDown());
  QTest::mouseRelease(Grid->viewport(), Qt::LeftButton, {}, CellCenter(1, 1));
  QApplication::processEvents();
  EXPECT_EQ(Clicks, 2); // released elsewhere
  QTest::mouseClick(Grid->viewport(), Qt::LeftButton, {}, CellCenter(2, 3));
  QApplication::processEvents();
  EXPECT_EQ(Clicks, 3);
  EXPECT_EQ(Grid->Row(), 3);
}

} // namespace
