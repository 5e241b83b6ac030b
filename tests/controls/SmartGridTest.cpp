#include "SGrid.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>
#include <memory>

namespace {

class SmartGridTest : public ::testing::Test {
protected:
  void SetUp() override {
    Grid = std::make_unique<TSmartGrid>();
    Grid->resize(520, 300);
    Grid->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Grid.get()));
  }

  // Fills a cols x rows grid with "c,r" texts (row 0 and column 0 included).
  void Fill(int cols, int rows) {
    Grid->SetColCount(cols);
    Grid->SetRowCount(rows);
    for (int r = 0; r < rows; ++r)
      for (int c = 0; c < cols; ++c)
        Grid->SetCells(c, r, QStringLiteral("%1,%2").arg(c).arg(r));
  }
  QStringList Column(int col) {
    QStringList list;
    for (int r = 0; r < Grid->RowCount(); ++r)
      list << Grid->Cells(col, r);
    return list;
  }

  QColor Pixel(int col, int row) {
    const QImage img = Grid->grab().toImage();
    const QRect r = Grid->CellRect(col, row);
    return img.pixelColor(r.center().x(), r.bottom() - 4);
  }

  std::unique_ptr<TSmartGrid> Grid;
};

TEST_F(SmartGridTest, RowOperations) {
  Fill(2, 4);
  EXPECT_FALSE(Grid->InsertRow(4));
  EXPECT_FALSE(Grid->InsertRow(-1));
  EXPECT_TRUE(Grid->InsertRow(1));
  EXPECT_EQ(Column(1), (QStringList{"1,0", "", "1,1", "1,2", "1,3"}));
  EXPECT_TRUE(Grid->DeleteRow(1));
  EXPECT_EQ(Column(1), (QStringList{"1,0", "1,1", "1,2", "1,3"}));
  EXPECT_TRUE(Grid->MoveRow(3, 1));
  EXPECT_EQ(Column(0), (QStringList{"0,0", "0,3", "0,1", "0,2"}));
  EXPECT_TRUE(Grid->MoveRow(1, 3));
  EXPECT_EQ(Column(0), (QStringList{"0,0", "0,1", "0,2", "0,3"}));
  EXPECT_TRUE(Grid->ExchangeRows(0, 2));
  EXPECT_EQ(Column(1), (QStringList{"1,2", "1,1", "1,0", "1,3"}));
  EXPECT_FALSE(Grid->MoveRow(0, 4));
  EXPECT_FALSE(Grid->ExchangeRows(-1, 0));
  EXPECT_EQ(Column(1), (QStringList{"1,2", "1,1", "1,0", "1,3"}));

  // Added rows are empty and as high as the last one; heights move with their rows.
  Grid->SetRowHeights(3, 33);
  EXPECT_TRUE(Grid->AddRow());
  EXPECT_EQ(Grid->RowCount(), 5);
  EXPECT_EQ(Grid->Cells(1, 4), "");
  EXPECT_EQ(Grid->RowHeights(4), 33);
  Grid->SetRowHeights(4, 20);
  EXPECT_TRUE(Grid->MoveRow(3, 1));
  EXPECT_EQ(Grid->RowHeights(1), 33);
  EXPECT_EQ(Grid->RowHeights(3), 20);

  // SetRowStrings leaves cells without an item alone; items beyond the columns are not used.
  Grid->SetRowStrings(2, {"a"});
  EXPECT_EQ(Grid->Rows(2), (QStringList{"a", "1,1"}));
  Grid->SetRowStrings(2, {"x", "y", "z"});
  EXPECT_EQ(Grid->Rows(2), (QStringList{"x", "y"}));
  QString text;
  Grid->RowText(2, text);
  EXPECT_EQ(text, "\ty");

  // A one-row grid keeps its row.
  Grid->SetRowCount(1);
  EXPECT_FALSE(Grid->DeleteRow(0));
  EXPECT_EQ(Grid->RowCount(), 1);
  EXPECT_EQ(Grid->Cells(1, 0), "1,2");
}

TEST_F(SmartGridTest, ClearRowsLeavesHalfTheRowsAtLeastOne) {
  // rows at the start -> rows left, and which of the old ones they are
  const struct {
    int rows;
    QStringList left;
  } cases[] = {
      {1, {"0,0"}},        {2, {"0,1"}},        {3, {"0,1"}},
      {4, {"0,1", "0,3"}}, {5, {"0,1", "0,3"}}, {8, {"0,1", "0,3", "0,5", "0,7"}},
  };
  for (const auto& c : cases) {
    Fill(2, c.rows);
    // The same as deleting row i for i = 0, 1, ... in turn.
    Grid->ClearRows();
    EXPECT_EQ(Column(0), c.left) << c.rows << " rows";
    EXPECT_EQ(Grid->RowCount(), std::max(1, c.rows / 2));
  }
  // A title row stays a title row (the property viewer's five-row grid).
  Fill(3, 5);
  Grid->SetFixedRows(1);
  Grid->ClearRows();
  EXPECT_EQ(Grid->RowCount(), 2);
  EXPECT_EQ(Grid->FixedRows(), 1);

  // A big grid clears at once.
  Grid->SetRowCount(200001);
  Grid->SetCells(1, 200000, "last");
  Grid->ClearRows();
  EXPECT_EQ(Grid->RowCount(), 100000);
  EXPECT_EQ(Grid->Cells(1, 99999), "");
  EXPECT_EQ(Grid->Cells(1, 0), "1,3"); // what the five rows had left at 1
}

TEST_F(SmartGridTest, ColumnOperationsAndWidthLists) {
  Fill(4, 2);
  Grid->SetColWidths(1, 40);
  Grid->SetColWidths(3, 90);
  EXPECT_FALSE(Grid->InsertCol(4));
  EXPECT_TRUE(Grid->InsertCol(1));
  EXPECT_EQ(Grid->Rows(1), (QStringList{"0,1", "", "1,1", "2,1", "3,1"}));
  EXPECT_EQ(Grid->ColWidths(2), 40);
  EXPECT_TRUE(Grid->DeleteCol(1));
  EXPECT_TRUE(Grid->MoveCol(3, 1));
  EXPECT_EQ(Grid->Rows(0), (QStringList{"0,0", "3,0", "1,0", "2,0"}));
  EXPECT_EQ(Grid->ColWidths(1), 90);
  EXPECT_TRUE(Grid->ExchangeCols(1, 3));
  EXPECT_EQ(Grid->Rows(1), (QStringList{"0,1", "2,1", "1,1", "3,1"}));
  EXPECT_FALSE(Grid->MoveCol(0, 9));
  EXPECT_TRUE(Grid->AddCol());
  EXPECT_EQ(Grid->ColCount(), 5);
  EXPECT_EQ(Grid->ColWidths(4), 90);
  Grid->SetColStrings(4, {"a", "b", "c"});
  EXPECT_EQ(Column(4), (QStringList{"a", "b"}));

  // Widths as a list: assigning sets the column count; a non-number keeps its width.
  Grid->SetColWidthList({"30", "x", "70"});
  EXPECT_EQ(Grid->ColCount(), 3);
  EXPECT_EQ(Grid->ColWidths(0), 30);
  EXPECT_EQ(Grid->ColWidths(2), 70);
  EXPECT_EQ(Grid->ColWidthList(), (QStringList{"30", QString::number(Grid->ColWidths(1)), "70"}));
  Grid->SetRowHeightList({"25", "18", "40", "x"});
  EXPECT_EQ(Grid->RowCount(), 4);
  EXPECT_EQ(Grid->RowHeights(1), 18);
  EXPECT_EQ(Grid->RowHeights(2), 40);
  EXPECT_EQ(Grid->RowHeights(0), 25);
  EXPECT_EQ(Grid->RowHeightList().size(), 4);

  // One column is never deleted.
  Grid->SetColCount(1);
  EXPECT_FALSE(Grid->DeleteCol(0));
}

TEST_F(SmartGridTest, TotalsSkipTextAndFollowEdits) {
  Grid->SetColCount(3);
  Grid->SetRowCount(5);
  Grid->SetColStrings(1, {"", "1", "x", "2.5"});
  Grid->SetColStrings(2, {"", "4", "", "-1e2"});
  Grid->SetTotalRow(4);
  EXPECT_EQ(Grid->Cells(1, 4), "3.5");
  EXPECT_EQ(Grid->Cells(2, 4), "-96");
  // A fixed row or column cannot be the total.
  Grid->SetTotalRow(0);
  EXPECT_EQ(Grid->TotalRow(), 4);
  Grid->SetTotalCol(0);
  EXPECT_EQ(Grid->TotalCol(), -1);

  // An edit by the user sums again.
  Grid->SetOptions(Grid->Options() | goEditing);
  Grid->FocusCell(1, 2);
  Grid->setFocus();
  QTest::keyClick(Grid.get(), Qt::Key_F2);
  ASSERT_NE(Grid->InplaceEditor(), nullptr);
  Grid->InplaceEditor()->selectAll();
  QTest::keyClicks(Grid->InplaceEditor(), "10");
  QTest::keyClick(Grid->InplaceEditor(), Qt::Key_Return);
  EXPECT_EQ(Grid->Cells(1, 4), "13.5");
}

TEST_F(SmartGridTest, CellsArePaintedFromTheirOptions) {
  Fill(3, 4);
  const QColor yellow(255, 255, 210);
  int asked = 0;
  QObject::connect(
      Grid.get(), &TSmartGrid::OnDrawDefCell, Grid.get(),
      [&](int, int row, const QRect&, TGridDrawState state, bool&, TDrawOptions& options) {
        ++asked;
        EXPECT_EQ(options.Bevel, bool(state & gdFixed));
        if (row % 2 == 0)
          options.Brush = yellow;
      });
  Grid->repaint();
  EXPECT_GT(asked, 0);
  EXPECT_EQ(Pixel(1, 2), yellow);
  EXPECT_EQ(Pixel(2, 2), yellow);
  EXPECT_NE(Pixel(1, 3), yellow);
  // A change of the default options repaints every cell.
  Grid->DefDrawOptions()->SetddoBrush(QColor(Qt::cyan));
  QApplication::processEvents();
  EXPECT_EQ(Pixel(1, 3), QColor(Qt::cyan));
  // The handler may paint a cell itself.
  QObject::connect(Grid.get(), &TSmartGrid::OnDrawDefCell, Grid.get(),
                   [&](int col, int row, const QRect&, TGridDrawState, bool& defaultDraw,
                       TDrawOptions&) { defaultDraw = !(col == 2 && row == 3); });
  Grid->repaint();
  EXPECT_NE(Pixel(2, 3), QColor(Qt::cyan));
}

TEST_F(SmartGridTest, DroppedFilesAndMouseEnterLeave) {
  Fill(3, 4);
  QTemporaryDir dir;
  const QString a = dir.filePath("a.csv"), b = dir.filePath("b c.csv");
  QStringList got;
  int cellX = -9, cellY = -9, drops = 0;
  bool inClient = false;
  QObject::connect(Grid.get(), &TSmartGrid::OnDropFiles, Grid.get(),
                   [&](int, int, int cx, int cy, const QStringList& files, bool in) {
                     ++drops;
                     got = files;
                     cellX = cx;
                     cellY = cy;
                     inClient = in;
                   });
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(a), QUrl::fromLocalFile(b)});
  const QPoint at = Grid->viewport()->mapFrom(Grid.get(), Grid->CellRect(2, 3).center());
  // Not accepted until the grid says it takes files.
  QDragEnterEvent refused(at, Qt::CopyAction, &data, Qt::LeftButton, {});
  QApplication::sendEvent(Grid->viewport(), &refused);
  EXPECT_FALSE(refused.isAccepted());
  Grid->SetAcceptFiles(true);
  QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, {});
  QApplication::sendEvent(Grid->viewport(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, {});
  QApplication::sendEvent(Grid->viewport(), &drop);
  EXPECT_EQ(drops, 1);
  EXPECT_EQ(got, (QStringList{a, b}));
  EXPECT_EQ(cellX, 2);
  EXPECT_EQ(cellY, 3);
  EXPECT_TRUE(inClient);

  QStringList events;
  QObject::connect(Grid.get(), &TSmartGrid::OnMouseEnter, Grid.get(), [&] { events << "enter"; });
  QObject::connect(Grid.get(), &TSmartGrid::OnMouseLeave, Grid.get(), [&] { events << "leave"; });
  QEnterEvent enterEv(QPointF(5, 5), QPointF(5, 5), Grid->mapToGlobal(QPointF(5, 5)));
  QApplication::sendEvent(Grid.get(), &enterEv);
  QEvent leaveEv(QEvent::Leave);
  QApplication::sendEvent(Grid.get(), &leaveEv);
  EXPECT_EQ(events, (QStringList{"enter", "leave"}));
}

} // namespace
