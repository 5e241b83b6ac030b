#include "StringGridEx.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QMimeData>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace {

class StringGridExTest : public ::testing::Test {
protected:
  void SetUp() override {
    Grid = std::make_unique<TStringGridEx>();
    Grid->resize(640, 420);
    Grid->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Grid.get()));
    Grid->activateWindow();
    Grid->setFocus();
    QObject::connect(Grid.get(), &TStringGridEx::OnSetEditText, Grid.get(),
                     [this](int c, int r, const QString& v) {
                       Reports.push_back(QStringLiteral("%1,%2=%3").arg(c).arg(r).arg(v));
                     });
    QObject::connect(Grid.get(), &TStringGridEx::OnKeyPress, Grid.get(), [this](QChar& k) {
      Keys += k;
      if (k == SwallowKey)
        k = QChar();
    });
  }

  void Editable(int cols = 4, int rows = 5) {
    Grid->SetColCount(cols);
    Grid->SetRowCount(rows);
    Grid->SetOptions(Grid->Options() | goEditing);
  }

  void Click(int col, int row) {
    const QPoint p = Grid->viewport()->mapFrom(Grid.get(), Grid->CellRect(col, row).center());
    QTest::mouseClick(Grid->viewport(), Qt::LeftButton, {}, p);
  }

  // Keys go to whatever has the focus: the grid or its open editor.
  QWidget* Target() {
    if (TInplaceEditEx* ed = Grid->InplaceEditor())
      return ed;
    return Grid.get();
  }
  void Type(const QString& text) {
    for (QChar c : text)
      QTest::keyClick(Target(), c.toLatin1());
  }
  void Key(Qt::Key key, Qt::KeyboardModifiers mods = {}) { QTest::keyClick(Target(), key, mods); }

  QColor Pixel(int col, int row) {
    const QImage img = Grid->grab().toImage();
    const QRect r = Grid->CellRect(col, row);
    return img.pixelColor(r.right() - 3, r.bottom() - 3);
  }

  QImage CellImage(int col, int row) { return Grid->grab(Grid->CellRect(col, row)).toImage(); }

  std::unique_ptr<TStringGridEx> Grid;
  std::vector<QString> Reports;
  QString Keys;
  QChar SwallowKey = QChar(0xFFFF);
};

TEST_F(StringGridExTest, ColumnObjectsFollowTheColumnCount) {
  EXPECT_EQ(Grid->ColCount(), 4);
  EXPECT_EQ(Grid->GridColumns()->Count(), 4);
  EXPECT_EQ(Grid->DefaultRowHeight(), 20);

  Grid->SetColCount(2);
  TGridColumn* kept = Grid->GridColumns()->Items(1);
  kept->SetDataType(dtInteger);
  kept->SetAlignment(taRightJustify);
  Grid->SetColCount(6);
  ASSERT_EQ(Grid->GridColumns()->Count(), 6);
  EXPECT_EQ(Grid->GridColumns()->Items(1), kept);
  EXPECT_EQ(kept->DataType(), dtInteger);
  for (int i = 2; i < 6; ++i) {
    const TGridColumn* c = Grid->GridColumns()->Items(i);
    EXPECT_EQ(c->DataType(), dtString);
    EXPECT_EQ(c->Alignment(), taLeftJustify);
    EXPECT_TRUE(c->CanEdit());
    EXPECT_FALSE(c->MultiLine());
    EXPECT_FALSE(c->Wordwrap());
    EXPECT_EQ(c->ImeMode(), imDisable);
    EXPECT_TRUE(c->Caption().isEmpty());
    EXPECT_EQ(c->Color(), Grid->Color());
    EXPECT_EQ(c->Font(), Grid->font());
    EXPECT_EQ(c->Index(), i);
  }
  Grid->SetCells(5, 1, "gone");
  Grid->GridColumns()->Items(4)->SetCaption("x");
  Grid->SetColCount(3);
  EXPECT_EQ(Grid->GridColumns()->Count(), 3);
  Grid->SetColCount(6);
  EXPECT_TRUE(Grid->GridColumns()->Items(4)->Caption().isEmpty()); // a fresh object
  EXPECT_EQ(Grid->Cells(5, 1), "");                                // and no old cell text

  // Through the collection the grid follows the items.
  Grid->GridColumns()->Add();
  EXPECT_EQ(Grid->ColCount(), 7);
  Grid->GridColumns()->Delete(0);
  EXPECT_EQ(Grid->ColCount(), 6);
  EXPECT_EQ(Grid->GridColumns()->Items(0), kept);
  EXPECT_EQ(Grid->GridColumns()->Items(6), nullptr);

  kept->SetCaption("");
  EXPECT_EQ(kept->Caption(), " ");
  TGridColumn* other = Grid->GridColumns()->Items(2);
  kept->SetDisplayMask("0.0");
  kept->SetMultiLine(true);
  kept->SetImeMode(imHira);
  other->Assign(*kept);
  EXPECT_EQ(other->DataType(), dtInteger);
  EXPECT_EQ(other->Alignment(), taRightJustify);
  EXPECT_EQ(other->DisplayMask(), "0.0");
  EXPECT_TRUE(other->MultiLine());
  EXPECT_EQ(other->ImeMode(), imHira);
  EXPECT_EQ(other->Caption(), " ");
}

TEST_F(StringGridExTest, StripesCaptionsAndMasksAsDrawn) {
  Grid->SetColCount(3);
  Grid->SetRowCount(8);
  const QColor stripe(253, 255, 210);
  Grid->GridColumns()->Items(1)->SetColor(Qt::red);
  QApplication::processEvents();
  EXPECT_EQ(Pixel(1, 1), QColor(Qt::red));
  EXPECT_EQ(Pixel(1, 2), QColor(Qt::red));
  EXPECT_EQ(Pixel(2, 2), Grid->Color());

  Grid->SetGridStyle(gsStriped);
  Grid->SetStripeColor(stripe);
  for (int r = 1; r <= 6; ++r)
    EXPECT_EQ(Pixel(1, r), r % 2 == 0 ? stripe : Grid->Color()) << "row " << r;
  // The focused, selected cell keeps its row's colour.
  Click(1, 2);
  EXPECT_EQ(Pixel(1, 2), stripe);

  // An empty title cell shows the caption, drawn like a title text.
  Grid->SetCells(2, 0, "NAME");
  Grid->GridColumns()->Items(1)->SetCaption("NAME");
  Grid->GridColumns()->Items(1)->SetFixCellFont(Grid->GridColumns()->Items(2)->FixCellFont());
  const QImage empty = [&] {
    Grid->GridColumns()->Items(1)->SetCaption("");
    return CellImage(1, 0);
  }();
  Grid->GridColumns()->Items(1)->SetCaption("NAME");
  EXPECT_EQ(CellImage(1, 0), CellImage(2, 0));
  EXPECT_NE(CellImage(1, 0), empty);
  Grid->SetCells(1, 0, "OTHER");
  EXPECT_NE(CellImage(1, 0), CellImage(2, 0));

  // A masked cell is drawn as its formatted text; the stored text stays.
  Grid->SetGridStyle(gsNormal);
  Grid->GridColumns()->Items(1)->SetColor(Grid->Color());
  Grid->GridColumns()->Items(1)->SetDisplayMask("#,##0.00");
  Grid->SetCells(1, 3, "1234.5");
  Grid->SetCells(2, 3, "1,234.50");
  EXPECT_EQ(Grid->DisplayText(1, 3), "1,234.50");
  EXPECT_EQ(Grid->Cells(1, 3), "1234.5");
  EXPECT_EQ(CellImage(1, 3), CellImage(2, 3));

  // Drawing event after each cell; without default drawing only the event.
  int drawn = 0;
  QObject::connect(Grid.get(), &TStringGridEx::OnDrawCell, Grid.get(),
                   [&](QPainter*, int c, int r, const QRect&, TGridDrawState s) {
                     if (c == 1 && r == 3)
                       ++drawn;
                     if (c == 1 && r == 0) {
                       EXPECT_TRUE(s & gdFixed);
                     }
                   });
  Grid->grab();
  EXPECT_GE(drawn, 1);
  Grid->SetDefaultDrawing(false);
  EXPECT_EQ(CellImage(1, 3), CellImage(1, 4)); // text not drawn any more
}

TEST_F(StringGridExTest, ANumberTooWideForItsCellShowsItsLeadingDigits) {
  Grid->SetColCount(2);
  Grid->SetRowCount(5);
  Grid->SetColWidths(1, 90);
  Grid->GridColumns()->Items(1)->SetAlignment(taRightJustify);
  // The two differ only in their first digit: cut on the left they would look the same. Rows 2
  // to 4 are neither focused nor selected, so they are drawn alike.
  Grid->SetCells(1, 2, "1566.6666666666666666666666666666666667");
  Grid->SetCells(1, 3, "2566.6666666666666666666666666666666667");
  Grid->SetCells(1, 4, "2175");
  QApplication::processEvents();
  EXPECT_NE(CellImage(1, 2), CellImage(1, 3));
  // One that fits is drawn whole, at the right edge as before.
  const QImage fits = CellImage(1, 4);
  Grid->SetCells(1, 3, "2175");
  EXPECT_EQ(CellImage(1, 3), fits);
}

TEST_F(StringGridExTest, DisplayMasks) {
  Grid->SetColCount(2);
  TGridColumn* c = Grid->GridColumns()->Items(1);
  auto shown = [&](const QString& mask, const QString& text) {
    c->SetDisplayMask(mask);
    Grid->SetCells(1, 1, text);
    return Grid->DisplayText(1, 1);
  };
  EXPECT_EQ(shown("#,##0.00", "1234.5"), "1,234.50");
  EXPECT_EQ(shown("#,##0.00", "-1234567.891"), "-1,234,567.89");
  EXPECT_EQ(shown("#,##0", "+999"), "999");
  EXPECT_EQ(shown("0000", "12"), "0012");
  EXPECT_EQ(shown("0.0", "-.5"), "-0.5");
  EXPECT_EQ(shown("#.##", "0.5"), ".5");
  EXPECT_EQ(shown("0.00;(0.00)", "-3"), "(3.00)");
  EXPECT_EQ(shown("\"¥\"#,##0", "5000"), "¥5,000");
  EXPECT_EQ(shown("#,##0", "1-2"), "1-2"); // number characters, but no number: shown as is
  EXPECT_EQ(shown("#,##0", ""), "");
  // Digits only: the mask is a numeric picture, literals stand among the digits.
  EXPECT_EQ(shown("000-0000", "1234567"), "123-4567");
  EXPECT_EQ(shown("000-0000", "12"), "000-0012");
  EXPECT_EQ(shown("###-####", "12"), "12");
  EXPECT_EQ(shown("000-0000", "991234567"), "99123-4567");
  // Other text: an input mask.
  EXPECT_EQ(shown("000-0000;0;_", "12a"), "12a-____");
  EXPECT_EQ(shown("000-0000;0;_", "123456a"), "123-456a");
  EXPECT_EQ(shown("000-0000;1;_", "123-456a"), "123-456a");
  EXPECT_EQ(shown("\\A-000;0; ", "x12"), "A-x12");
  EXPECT_EQ(shown(">LLL-000;0", "abc123"), "ABC-123");
  EXPECT_EQ(shown(">LLL-000", "abc-123"), "ABC-123");
  c->SetDisplayMask("");
  EXPECT_EQ(Grid->DisplayText(1, 1), "abc-123");
}

TEST_F(StringGridExTest, IntegerColumnsAcceptAndStoreIntegersOnly) {
  Editable();
  Grid->GridColumns()->Items(1)->SetDataType(dtInteger);
  Grid->SetCells(1, 1, "5");
  Click(1, 1);
  Type("a"); // refused, and it does not open a changed text
  TInplaceEditEx* ed = Grid->InplaceEditor();
  ASSERT_NE(ed, nullptr);
  EXPECT_EQ(ed->Text(), "5");
  EXPECT_EQ(Grid->Cells(1, 1), "5");
  Type("12.");
  EXPECT_EQ(ed->Text(), "12");
  EXPECT_EQ(ed->SelStart(), 2);
  EXPECT_EQ(Grid->Cells(1, 1), "12");
  EXPECT_EQ(Reports.back(), "1,1=12");
  ed->selectAll();
  Type("007");
  EXPECT_EQ(ed->Text(), "007");
  EXPECT_EQ(Grid->Cells(1, 1), "7");
  ed->selectAll();
  Type("-");
  EXPECT_EQ(Grid->Cells(1, 1), "-0");
  Type("42");
  EXPECT_EQ(Grid->Cells(1, 1), "-42");
  ed->selectAll();
  Key(Qt::Key_Backspace);
  EXPECT_EQ(Grid->Cells(1, 1), "");
  Type("+8");
  EXPECT_EQ(Grid->Cells(1, 1), "8");
  Type("99999999999999999999"); // too big for any integer: each digit is taken back
  EXPECT_EQ(Grid->Cells(1, 1).size(), 19);
  EXPECT_EQ(Grid->Cells(1, 1), ed->Text());

  // A text column takes what is typed.
  Key(Qt::Key_Escape);
  Click(2, 1);
  Type("a.b");
  EXPECT_EQ(Grid->Cells(2, 1), "a.b");

  // A column that may not be edited shows the editor and refuses changes.
  Key(Qt::Key_Escape);
  Grid->GridColumns()->Items(3)->SetCanEdit(false);
  Grid->SetCells(3, 2, "fixed");
  Click(3, 2);
  Type("zz");
  ASSERT_TRUE(Grid->EditorMode());
  EXPECT_EQ(Grid->InplaceEditor()->Text(), "fixed");
  EXPECT_EQ(Grid->Cells(3, 2), "fixed");
}

TEST_F(StringGridExTest, DeleteEditsAndNumberColumnsKeepWhatIsTyped) {
  Editable();
  Grid->GridColumns()->Items(1)->SetDataType(dtInteger);
  Grid->GridColumns()->Items(2)->SetDataType(dtNumber);
  Grid->SetCells(1, 1, "123");
  Click(1, 1);
  Key(Qt::Key_Return);
  Key(Qt::Key_Home);
  Key(Qt::Key_Delete); // a control character, not a refused one
  EXPECT_EQ(Grid->InplaceEditor()->Text(), "23");
  EXPECT_EQ(Grid->Cells(1, 1), "23");
  Key(Qt::Key_Escape);

  // Decimal text stays as typed, point and sign included; letters other than an exponent do not.
  Click(2, 1);
  Type("-4.2x5e1");
  EXPECT_EQ(Grid->Cells(2, 1), "-4.25e1");
  EXPECT_EQ(Reports.back(), "2,1=-4.25e1");
  Key(Qt::Key_Escape);
}

TEST_F(StringGridExTest, EveryEndOfAnEditButEscIsReported) {
  Editable();
  QStringList ends;
  QObject::connect(
      Grid.get(), &TStringGridEx::OnEndEdit, Grid.get(),
      [&](int c, int r, const QString& original) {
        ends
            << QStringLiteral("%1,%2 was %3 now %4").arg(c).arg(r).arg(original, Grid->Cells(c, r));
      });
  Grid->SetCells(1, 1, "a");
  Click(1, 1);
  Type("x");
  Key(Qt::Key_Escape);
  EXPECT_TRUE(ends.isEmpty());
  Type("y");
  Key(Qt::Key_Down);
  Type("z");
  Click(2, 3);
  Grid->CancelEdit(); // no edit running: nothing happens
  Type("w");
  Key(Qt::Key_Return);
  EXPECT_EQ(ends, (QStringList{"1,1 was a now y", "1,2 was  now z", "2,3 was  now w"}));
  // Esc through the grid's own call puts the text back without a report.
  Click(3, 3);
  Type("v");
  Grid->CancelEdit();
  EXPECT_FALSE(Grid->EditorMode());
  EXPECT_EQ(Grid->Cells(3, 3), "");
  EXPECT_EQ(ends.size(), 3);
}

TEST_F(StringGridExTest, EnterInSingleLineCells) {
  Editable();
  Grid->SetCells(1, 1, "abc");
  Click(1, 1);
  Key(Qt::Key_Return); // opens the editor, text selected
  ASSERT_TRUE(Grid->EditorMode());
  EXPECT_EQ(Grid->InplaceEditor()->SelLength(), 3);
  EXPECT_EQ(Keys, "\r");
  Type("xy");
  EXPECT_EQ(Grid->Cells(1, 1), "xy");
  Reports.clear();
  Keys.clear();
  Grid->InplaceEditor()->SetSelStart(1);
  Key(Qt::Key_Return); // caret inside: moves one to the right, edit goes on
  ASSERT_TRUE(Grid->EditorMode());
  EXPECT_EQ(Grid->InplaceEditor()->SelStart(), 2);
  EXPECT_EQ(Keys, "\r");
  EXPECT_TRUE(Reports.empty());
  Key(Qt::Key_Return); // at the end: next column, edit ended, result reported once
  EXPECT_FALSE(Grid->EditorMode());
  EXPECT_EQ(Grid->Col(), 2);
  EXPECT_EQ(Grid->Row(), 1);
  EXPECT_EQ(Keys, "\r\r");
  ASSERT_EQ(Reports.size(), 1u);
  EXPECT_EQ(Reports[0], "1,1=xy");

  // The last column: Enter ends the edit where it is.
  Click(3, 2);
  Type("q");
  Key(Qt::Key_Return);
  EXPECT_FALSE(Grid->EditorMode());
  EXPECT_EQ(Grid->Col(), 3);
  EXPECT_EQ(Reports.back(), "3,2=q");

  // Esc puts the text back.
  Grid->SetCells(2, 3, "keep");
  Click(2, 3);
  Type("zz");
  EXPECT_EQ(Grid->Cells(2, 3), "zz");
  Key(Qt::Key_Escape);
  EXPECT_FALSE(Grid->EditorMode());
  EXPECT_EQ(Grid->Cells(2, 3), "keep");
  EXPECT_EQ(Reports.back(), "2,3=keep");

  // A swallowed character never reaches the cell.
  SwallowKey = u'k';
  Click(2, 4);
  Type("oko");
  EXPECT_EQ(Grid->Cells(2, 4), "oo");

  // Without the editing option no editor opens.
  Key(Qt::Key_Escape);
  Grid->SetOptions(Grid->Options() & ~goEditing);
  Click(1, 3);
  Type("x");
  Key(Qt::Key_Return);
  EXPECT_FALSE(Grid->EditorMode());
  EXPECT_EQ(Grid->Cells(1, 3), "");
}

TEST_F(StringGridExTest, MultiLineCellsTakeLineBreaksAndMoveWithCtrl) {
  Editable();
  for (int c = 1; c < 4; ++c)
    Grid->GridColumns()->Items(c)->SetMultiLine(true);
  Grid->SetCells(1, 1, "one");
  Grid->SetCells(2, 1, "two");
  Click(1, 1);
  Key(Qt::Key_F2); // caret at the end, nothing selected
  TInplaceEditEx* ed = Grid->InplaceEditor();
  ASSERT_NE(ed, nullptr);
  EXPECT_TRUE(ed->MultiLine());
  EXPECT_EQ(ed->SelStart(), 3);
  EXPECT_EQ(ed->SelLength(), 0);
  Key(Qt::Key_Return);
  Type("x");
  EXPECT_EQ(Grid->Cells(1, 1), "one\nx");
  Key(Qt::Key_Left); // plain arrows stay inside the text
  EXPECT_TRUE(Grid->EditorMode());
  EXPECT_EQ(Grid->InplaceEditor()->SelStart(), 4);
  Key(Qt::Key_Right, Qt::ControlModifier);
  ASSERT_TRUE(Grid->EditorMode());
  EXPECT_EQ(Grid->Col(), 2);
  EXPECT_EQ(Grid->InplaceEditor()->Text(), "two");
  EXPECT_EQ(Grid->InplaceEditor()->SelStart(), 3);
  EXPECT_EQ(Grid->InplaceEditor()->SelLength(), 0);
  EXPECT_EQ(Reports.back(), "1,1=one\nx");
  Key(Qt::Key_Down, Qt::ControlModifier);
  EXPECT_EQ(Grid->Row(), 2);
  ASSERT_TRUE(Grid->EditorMode());
  Type("y");
  Key(Qt::Key_Return, Qt::ControlModifier);
  EXPECT_FALSE(Grid->EditorMode());
  EXPECT_EQ(Grid->Cells(2, 2), "y");
  EXPECT_EQ(Reports.back(), "2,2=y");

  // Enter on the grid opens with the caret at the end too.
  Key(Qt::Key_Return);
  ASSERT_TRUE(Grid->EditorMode());
  EXPECT_EQ(Grid->InplaceEditor()->SelStart(), 1);
  EXPECT_EQ(Grid->InplaceEditor()->SelLength(), 0);
}

TEST_F(StringGridExTest, RowTextAndCommaTextFile) {
  Grid->SetColCount(5);
  Grid->SetRowCount(4);
  Grid->AssignRow(0, QStringList{"", "ID", "NAME", "NOTE", "EMPTY"});
  Grid->AssignRow(1, QStringList{"1", "7", "a b", "say \"hi\"", ""});
  Grid->AssignRow(2, QStringList{"2", "", "日本語", "x,y", "end"});
  Grid->AssignRow(3, QStringList{"3", "tab\there", "", "", ""});
  QString text;
  Grid->RowText(1, text);
  EXPECT_EQ(text, "\t7\ta b\tsay \"hi\"\t");
  Grid->RowText(0, text);
  EXPECT_EQ(text, "\tID\tNAME\tNOTE\tEMPTY");

  QTemporaryDir dir;
  const QString name = dir.filePath("grid.csv");
  {
    QFile f(name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("old content that must go\r\n old\r\n old\r\n old\r\n old\r\n");
  }
  // The file is replaced whole, so each look opens it afresh.
  const auto read = [&name] {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString("<none>");
  };
  EXPECT_TRUE(Grid->SaveAsCommaText(name));
  EXPECT_EQ(read().toStdString(),
            ",ID,NAME,NOTE,EMPTY\r\n"
            "1,7,\"a b\",\"say \"\"hi\"\"\"\r\n"
            "2,,日本語,\"x,y\",end\r\n"
            "3,\"tab\there\",,\r\n"); // the last empty cell leaves no comma

  // One column: an empty cell is two double quotes.
  Grid->SetColCount(1);
  EXPECT_TRUE(Grid->SaveAsCommaText(name));
  EXPECT_EQ(read(), "\"\"\r\n1\r\n2\r\n3\r\n");

  EXPECT_THROW(Grid->SaveAsCommaText(dir.filePath("no/such/folder/x.csv")), EInOutError);

  // Rows numbered by the grid: an empty number cell shows its row, the title and a stored text
  // stay, and the file has the numbers too.
  Grid->SetColCount(2);
  Grid->AssignRow(1, QStringList{"", "a"});
  Grid->AssignRow(2, QStringList{"two", "b"});
  Grid->AssignRow(3, QStringList{"", "c"});
  Grid->SetRowNumbers(true);
  EXPECT_EQ(Grid->Rows(1), (QStringList{"1", "a"}));
  EXPECT_EQ(Grid->Cells(0, 2), "two");
  EXPECT_EQ(Grid->Cells(0, 0), "");
  EXPECT_EQ(Grid->Cells(0, 4), ""); // no such row
  EXPECT_TRUE(Grid->SaveAsCommaText(name));
  EXPECT_EQ(read(), "\r\n1,a\r\ntwo,b\r\n3,c\r\n");
  Grid->SetRowNumbers(false);
  EXPECT_EQ(Grid->Cells(0, 1), "");
}

TEST_F(StringGridExTest, HundredThousandRowsFillAndShrink) {
  Grid->SetColCount(6);
  Grid->SetRowCount(2);
  Grid->AssignRow(0, QStringList{"", "ID", "NAME", "CITY", "AMOUNT", "DATE"});
  const int n = 100000;
  Grid->BeginUpdate();
  std::vector<std::string> cells(6);
  for (int r = 1; r <= n; ++r) {
    cells[0] = std::to_string(r);
    cells[1] = std::to_string(r * 7);
    cells[2] = "名前" + std::to_string(r);
    cells[3] = r % 3 == 0 ? "" : "Tokyo";
    cells[4] = std::to_string(r) + ".25";
    cells[5] = "2024/01/" + std::to_string(1 + r % 28);
    Grid->AssignRow(r, cells);
    if (r % 1000 == 0)
      QApplication::processEvents();
  }
  Grid->EndUpdate();
  EXPECT_EQ(Grid->RowCount(), n + 1);
  EXPECT_EQ(Grid->model()->rowCount(), n);
  EXPECT_EQ(Grid->model()->columnCount(), 5);
  for (int r : {1, 2, 999, 1000, 1001, 54321, n}) {
    EXPECT_EQ(Grid->Cells(0, r), QString::number(r));
    EXPECT_EQ(Grid->Cells(2, r), "名前" + QString::number(r));
    EXPECT_EQ(Grid->Cells(3, r), r % 3 == 0 ? "" : "Tokyo");
    EXPECT_EQ(Grid->Cells(4, r), QString::number(r) + ".25");
  }
  EXPECT_EQ(Grid->model()->headerData(n - 1, Qt::Vertical), QString::number(n));
  Grid->SetCells(2, 77777, "edited");
  EXPECT_EQ(Grid->Cells(2, 77777), "edited");
  EXPECT_EQ(Grid->Cells(3, 77777), "Tokyo");
  EXPECT_EQ(Grid->Cells(1, 77778), QString::number(77778 * 7));

  Grid->FocusCell(1, n);
  QApplication::processEvents();
  EXPECT_GE(Grid->TopRow(), n - 30);
  EXPECT_FALSE(Grid->CellRect(1, n).isEmpty());

  // Rows added one at a time while shown, then the grid reset as a new run does.
  Grid->SetRowCount(2);
  EXPECT_EQ(Grid->model()->rowCount(), 1);
  EXPECT_EQ(Grid->Cells(2, 1), "名前1");
  for (int r = 2; r < 2000; ++r)
    Grid->AssignRow(r, QStringList{QString::number(r), "v"});
  EXPECT_EQ(Grid->RowCount(), 2000);
  EXPECT_EQ(Grid->model()->rowCount(), 1999);
  EXPECT_EQ(Grid->Cells(2, 1999), "");
  EXPECT_EQ(Grid->Cells(1, 1999), "v");
  Grid->SetColCount(2);
  Grid->SetColCount(6);
  EXPECT_EQ(Grid->Cells(2, 1), "");
  EXPECT_EQ(Grid->Cells(1, 1), "7");
}

TEST_F(StringGridExTest, DropsAreAcceptedOnlyWhenTheOwnerSaysSo) {
  bool acceptIt = false;
  int dropped = 0;
  QObject::connect(Grid.get(), &TStringGridEx::OnDragOver, Grid.get(),
                   [&](QObject*, int, int, bool& accept) { accept = acceptIt; });
  QObject::connect(Grid.get(), &TStringGridEx::OnDragDrop, Grid.get(),
                   [&](QObject*, int, int) { ++dropped; });
  QMimeData data;
  data.setText("EMP");
  const QPoint at(20, 20);
  QDragEnterEvent refused(at, Qt::CopyAction, &data, Qt::LeftButton, {});
  QApplication::sendEvent(Grid->viewport(), &refused);
  EXPECT_FALSE(refused.isAccepted());
  acceptIt = true;
  QDragEnterEvent accepted(at, Qt::CopyAction, &data, Qt::LeftButton, {});
  QApplication::sendEvent(Grid->viewport(), &accepted);
  EXPECT_TRUE(accepted.isAccepted());
  QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, {});
  QApplication::sendEvent(Grid->viewport(), &drop);
  EXPECT_EQ(dropped, 1);
}

} // namespace
