// The smart grid: a string grid whose cells are painted from a set of default drawing options
// that the owner may change per cell, with an optional total row and total column, width and
// height lists, files dropped from the desktop, mouse enter and leave events, row and column
// operations, and CSV loading and saving.
//
// It is the result grid's string grid (cells packed, fixed row and column drawn as headers) with
// its column objects left at their plain defaults; Cells(col, row) indexing is the same.
// Events are Qt signals; those with reference arguments must be connected directly.
#pragma once
#include "StringGridEx.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QObject>
#include <QPixmap>
#include <QString>
#include <QStringList>
#include <vector>

enum TTextHPos { thpLeft, thpCenter, thpRight };
enum TTextVPos { tvpTop, tvpCenter, tvpBottom };
enum TTextFormat { tfSingleLine, tfWordBreak, tfAutoWidth };

// A font and the colour its text is drawn in.
struct TCellFont {
  QFont Font;
  QColor Color;
};

// What one cell is painted with; made for that cell's painting only.
struct TDrawOptions {
  QString Text;
  TTextHPos TextHPos = thpLeft;
  TTextVPos TextVPos = tvpTop;
  TTextFormat TextFormat = tfSingleLine;
  QBrush Brush;
  QBrush FixedBrush;
  QBrush FocusedBrush;
  QBrush SelectedBrush;
  bool Bevel = false; // a fixed (title) cell
  QBrush BevelHlBrush;
  QBrush BevelSBrush;
  int BevelWidth = 1;
  bool BevelRL = false;
  TCellFont Font;
  TCellFont FixedFont;
  TCellFont FocusedFont;
  TCellFont SelectedFont;
};

// The default drawing options of every cell; any change raises OnChange.
class TDefDrawOptions : public QObject {
  Q_OBJECT
public:
  TDefDrawOptions(const QPalette& palette, const QFont& font, QObject* parent = nullptr);

  TTextHPos ddoTextHPos() const { return F.TextHPos; }
  void SetddoTextHPos(TTextHPos value) { Set(F.TextHPos, value); }
  TTextVPos ddoTextVPos() const { return F.TextVPos; }
  void SetddoTextVPos(TTextVPos value) { Set(F.TextVPos, value); }
  TTextFormat ddoTextFormat() const { return F.TextFormat; }
  void SetddoTextFormat(TTextFormat value) { Set(F.TextFormat, value); }
  QBrush ddoBrush() const { return F.Brush; }
  void SetddoBrush(const QBrush& value) { Set(F.Brush, value); }
  QBrush ddoFixedBrush() const { return F.FixedBrush; }
  void SetddoFixedBrush(const QBrush& value) { Set(F.FixedBrush, value); }
  QBrush ddoFocusedBrush() const { return F.FocusedBrush; }
  void SetddoFocusedBrush(const QBrush& value) { Set(F.FocusedBrush, value); }
  QBrush ddoSelectedBrush() const { return F.SelectedBrush; }
  void SetddoSelectedBrush(const QBrush& value) { Set(F.SelectedBrush, value); }
  QBrush ddoBevelHlBrush() const { return F.BevelHlBrush; }
  void SetddoBevelHlBrush(const QBrush& value) { Set(F.BevelHlBrush, value); }
  QBrush ddoBevelSBrush() const { return F.BevelSBrush; }
  void SetddoBevelSBrush(const QBrush& value) { Set(F.BevelSBrush, value); }
  int ddoBevelWidth() const { return F.BevelWidth; }
  void SetddoBevelWidth(int value) { Set(F.BevelWidth, value); }
  bool ddoBevelRL() const { return F.BevelRL; }
  void SetddoBevelRL(bool value) { Set(F.BevelRL, value); }
  TCellFont ddoFont() const { return F.Font; }
  void SetddoFont(const TCellFont& value) { SetFont(F.Font, value); }
  TCellFont ddoFixedFont() const { return F.FixedFont; }
  void SetddoFixedFont(const TCellFont& value) { SetFont(F.FixedFont, value); }
  TCellFont ddoFocusedFont() const { return F.FocusedFont; }
  void SetddoFocusedFont(const TCellFont& value) { SetFont(F.FocusedFont, value); }
  TCellFont ddoSelectedFont() const { return F.SelectedFont; }
  void SetddoSelectedFont(const TCellFont& value) { SetFont(F.SelectedFont, value); }

  // The options of one cell: copies of these, with its text and whether it is a fixed cell.
  TDrawOptions Make(const QString& text, bool fixed) const;

signals:
  void OnChange();

private:
  template <class T> void Set(T& field, const T& value) {
    if (field == value)
      return;
    field = value;
    emit OnChange();
  }
  void SetFont(TCellFont& field, const TCellFont& value);

  TDrawOptions F;
};

class TSmartGrid : public TStringGridEx {
  Q_OBJECT
public:
  explicit TSmartGrid(QWidget* parent = nullptr);
  ~TSmartGrid() override;

  // DefaultDrawing (false here): true paints the plain string-grid way, false through the
  // drawing options and OnDrawDefCell.
  TDefDrawOptions* DefDrawOptions() const { return FDefDrawOptions; }
  // The column that shows each row's sum, -1 for none; a fixed column is refused.
  int TotalCol() const { return FTotalCol; }
  void SetTotalCol(int value);
  // The row that shows each column's sum, -1 for none; a fixed row is refused.
  int TotalRow() const { return FTotalRow; }
  void SetTotalRow(int value);
  // Recomputes the totals (after cells were set by code).
  void CalcTotals();
  bool AcceptFiles() const { return FAcceptFiles; }
  void SetAcceptFiles(bool value) { FAcceptFiles = value; }
  // One decimal width per column; assigning sets the column count first. Items that are not
  // integers leave their widths alone. The same for rows and heights.
  QStringList ColWidthList() const;
  void SetColWidthList(const QStringList& list);
  QStringList RowHeightList() const;
  void SetRowHeightList(const QStringList& list);
  int RowHeights(int row) const;
  void SetRowHeights(int row, int height);

  // --- operations added by the smart grid

  virtual void DrawCellDef(QPainter* canvas, int col, int row, TDrawOptions& options,
                           TGridDrawState state, QRect rect);
  // Copies sourceRect of source into the cell (plain copy), with the focus frame when focused.
  virtual void DrawCellImage(QPainter* canvas, const QRect& rect, TGridDrawState state,
                             const QPixmap& source, const QRect& sourceRect);
  // Cell (col, r) := item r; rows without an item keep their cells.
  virtual bool SetColStrings(int col, const QStringList& strings);
  virtual bool SetRowStrings(int row, const QStringList& strings);
  // An empty column as wide as the last one / an empty row as high as the last one.
  virtual bool AddCol();
  virtual bool AddRow();
  // False when index is outside the existing columns / rows.
  virtual bool InsertCol(int index);
  virtual bool InsertRow(int index);
  // False when index is out of range or only one column / row exists.
  virtual bool DeleteCol(int index);
  virtual bool DeleteRow(int index);
  virtual bool MoveCol(int from, int to);
  virtual bool MoveRow(int from, int to);
  virtual bool ExchangeCols(int col1, int col2);
  virtual bool ExchangeRows(int row1, int row2);
  // What deleting row i for i = 0, 1, ... in turn leaves on the shrinking grid: of n rows the
  // n div 2 that stood at odd places, at least one row.
  virtual bool ClearRows();
  // Replaces the content by a CSV file: the header line's item count is the column count (at
  // least 1), each further line a row. False, with LoadError saying why, when the file cannot
  // be read; the grid then holds the rows read before the fault.
  virtual bool LoadFromCSV(const QString& fileName);
  QString LoadError() const { return FLoadError; }
  // Rows of the last load whose line had more values than the header has items; the values
  // beyond are not in the grid.
  const std::vector<int>& OverlongRows() const { return FOverlongRows; }
  // Repaints after a change of the drawing options.
  void StyleChanged() { Repaint(); }

signals:
  // Files dropped on the grid: the point in the grid's coordinates, the cell there (-1 when
  // none), the files' full names, and whether the point lies in the client area.
  void OnDropFiles(int dropX, int dropY, int cellX, int cellY, const QStringList& files,
                   bool inClient);
  void OnMouseEnter();
  void OnMouseLeave();
  // A cell is about to be painted (DefaultDrawing false): the handler may change the options or
  // clear defaultDraw to paint the cell itself.
  void OnDrawDefCell(int col, int row, const QRect& rect, TGridDrawState state, bool& defaultDraw,
                     TDrawOptions& options);

protected:
  void DrawCell(QPainter* canvas, int col, int row, const QRect& rect,
                TGridDrawState state) override;
  void SetEditText(int col, int row, const QString& value) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

private:
  void MoveRows(const std::vector<int>& order);
  bool AcceptsFileDrag(const QMimeData* data) const;

  TDefDrawOptions* FDefDrawOptions;
  int FTotalCol = -1;
  int FTotalRow = -1;
  bool FAcceptFiles = false;
  bool FCustomHeights = false; // some data row has a height of its own
  QString FLoadError;
  std::vector<int> FOverlongRows;
};
