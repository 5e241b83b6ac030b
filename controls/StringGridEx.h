// The result grid: a string grid whose columns carry their own presentation and editing rules
// (column objects), painted in stripes, with a cell editor that follows those rules.
//
// Indexing is the string grid's: Cells(col, row) with row 0 the title row and column 0 the
// number column when FixedRows / FixedCols are 1. The fixed row and column are drawn as the
// view's headers, so they stay in place while the data scrolls.
//
// Cells are stored compactly, one packed UTF-8 record per row in a paged arena, never an object
// per cell. For filling many rows (a fetch loop) use the bulk calls:
//
//   grid->BeginUpdate();                 // no view signals until EndUpdate
//   grid->AssignRow(r, cells);           // all cells of row r at once; grows RowCount as needed
//   ...
//   grid->EndUpdate();                   // one row insertion and one repaint for everything
//
// AssignRow also takes UTF-8 std::string cells (GetAsString's result) without a detour through
// QString. SetRowCount alone is cheap too (one insertion or removal for the whole range).
//
// Events are Qt signals; those with reference arguments must be connected directly (the
// default for objects on the same thread).
#pragma once
#include "uGridTypes.h"
#include "uTextFile.h"

#include <QColor>
#include <QFont>
#include <QPlainTextEdit>
#include <QString>
#include <QStringList>
#include <QTableView>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

class TStringGridEx;
class TGridCellModel;
class TGridCellDelegate;
class TGridHeader;

enum TGridStyle { gsNormal, gsStriped };
// dtInteger keeps integer text in canonical form; dtNumber takes decimal text as typed (sign,
// digits, point, exponent) and leaves the checking of the value to whoever uses it.
enum TInputDataType { dtString, dtInteger, dtNumber };

// A file could not be created or written.
class EInOutError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// The presentation and editing rules of one grid column.
class TGridColumn {
public:
  explicit TGridColumn(TStringGridEx* grid);

  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment value);
  bool CanEdit() const { return FCanEdit; }
  void SetCanEdit(bool value) { FCanEdit = value; }
  const QString& Caption() const { return FCaption; }
  void SetCaption(const QString& value); // empty is stored as one blank
  const QColor& Color() const { return FColor; }
  void SetColor(const QColor& value);
  TInputDataType DataType() const { return FDataType; }
  void SetDataType(TInputDataType value) { FDataType = value; }
  const QString& DisplayMask() const { return FDisplayMask; }
  void SetDisplayMask(const QString& value) { FDisplayMask = value; }
  const QFont& Font() const { return FFont; }
  void SetFont(const QFont& value);
  const QFont& FixCellFont() const { return FFixCellFont; }
  void SetFixCellFont(const QFont& value);
  TImeMode ImeMode() const { return FImeMode; }
  void SetImeMode(TImeMode value) { FImeMode = value; }
  bool Wordwrap() const { return FWordwrap; }
  void SetWordwrap(bool value);
  bool MultiLine() const { return FMultiLine; }
  void SetMultiLine(bool value) { FMultiLine = value; }

  // Copies all eleven properties.
  void Assign(const TGridColumn& source);
  // Position in the collection, -1 when detached.
  int Index() const;
  TStringGridEx* Grid() const { return FGrid; }

private:
  void Changed();

  TStringGridEx* FGrid;
  TAlignment FAlignment = taLeftJustify;
  bool FCanEdit = true;
  QString FCaption;
  QColor FColor;
  TInputDataType FDataType = dtString;
  QString FDisplayMask;
  QFont FFont;
  QFont FFixCellFont;
  TImeMode FImeMode = imDisable;
  bool FWordwrap = false;
  bool FMultiLine = false;
};

// The column objects of a grid: item i belongs to grid column i. Adding or removing items here
// sets the grid's column count to the item count.
class TGridColumns {
public:
  explicit TGridColumns(TStringGridEx* grid) : FGrid(grid) {}
  TGridColumns(const TGridColumns&) = delete;
  TGridColumns& operator=(const TGridColumns&) = delete;

  int Count() const { return static_cast<int>(FItems.size()); }
  // nullptr when index is out of range.
  TGridColumn* Items(int index) const;
  TGridColumn* operator[](int index) const { return Items(index); }
  TGridColumn* Add();
  TGridColumn* Insert(int index);
  void Delete(int index);
  void Clear();
  TStringGridEx* Grid() const { return FGrid; }

private:
  friend class TStringGridEx;
  friend class TGridColumn;
  void Changed();

  TStringGridEx* FGrid;
  std::vector<std::unique_ptr<TGridColumn>> FItems;
  bool FSyncGrid = true; // off while the grid itself adjusts the items
};

// The cell editor. The grid sets MultiLine and WordWrap from the column before each edit.
class TInplaceEditEx : public QPlainTextEdit {
  Q_OBJECT
public:
  explicit TInplaceEditEx(TStringGridEx* grid, QWidget* parent);

  bool MultiLine() const { return FMultiLine; }
  void SetMultiLine(bool value) { FMultiLine = value; }
  bool WordWrap() const { return FWordWrap; }
  void SetWordWrap(bool value);

  QString Text() const { return toPlainText(); }
  // Caret position in characters from the start of the text.
  int SelStart() const;
  void SetSelStart(int pos);
  int SelLength() const;
  void SelectAll() { selectAll(); }

  int EditCol() const { return FCol; }
  int EditRow() const { return FRow; }

protected:
  void keyPressEvent(QKeyEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;
  void insertFromMimeData(const QMimeData* source) override;
  bool event(QEvent* event) override;

private:
  friend class TStringGridEx;
  friend class TGridCellDelegate;
  void TextChanged();

  TStringGridEx* FGrid;
  bool FMultiLine = false;
  bool FWordWrap = false;
  int FCol = -1;
  int FRow = -1;
  bool FLoading = false;  // text set by the grid, not typed
  bool FModified = false; // changed since the edit began
  QString FOriginal;      // cell text when the edit began
};

class TStringGridEx : public QTableView {
  Q_OBJECT
public:
  explicit TStringGridEx(QWidget* parent = nullptr);
  ~TStringGridEx() override;

  // --- the string grid

  int ColCount() const { return FColCount; }
  void SetColCount(int value);
  int RowCount() const;
  void SetRowCount(int value);
  // 0 or 1 each.
  int FixedCols() const { return FFixedCols; }
  void SetFixedCols(int value);
  int FixedRows() const { return FFixedRows; }
  void SetFixedRows(int value);
  int DefaultRowHeight() const { return FDefaultRowHeight; }
  void SetDefaultRowHeight(int value);
  int DefaultColWidth() const { return FDefaultColWidth; }
  void SetDefaultColWidth(int value);
  int ColWidths(int col) const;
  void SetColWidths(int col, int width);
  TGridOptions Options() const { return FOptions; }
  void SetOptions(TGridOptions value);
  // The grid's own colour (background of data cells).
  QColor Color() const { return FColor; }
  void SetColor(const QColor& value);
  bool DefaultDrawing() const { return FDefaultDrawing; }
  void SetDefaultDrawing(bool value);

  QString Cells(int col, int row) const;
  // Column 0 of a data row whose cell is empty shows the row's number, so a fill of many rows
  // need not store one. Off by default.
  bool RowNumbers() const { return FRowNumbers; }
  void SetRowNumbers(bool value);
  void SetCells(int col, int row, const QString& value);
  // The stored UTF-8 text of a cell (no row number); valid until the grid next changes.
  std::string_view CellUtf8(int col, int row) const;
  // All cells of a row, column 0 first.
  QStringList Rows(int row) const;

  // The current cell (never a fixed one).
  int Col() const;
  void SetCol(int col);
  int Row() const;
  void SetRow(int row);
  void FocusCell(int col, int row);
  int TopRow() const;

  bool EditorMode() const;
  void SetEditorMode(bool value);
  // Ends a running edit as Esc does: the cell gets back the text it had when the edit began.
  void CancelEdit();
  TInplaceEditEx* InplaceEditor() const;

  // Rectangle of a cell in the grid widget's coordinates; empty when it is not visible.
  QRect CellRect(int col, int row) const;
  void MouseToCell(int x, int y, int& col, int& row) const;
  // Repaints cells and fixed cells.
  void Repaint();

  // --- bulk filling (see the top of this file)

  void BeginUpdate();
  void EndUpdate();
  // Sets the row's cells from column 0 on; cells beyond the list are emptied, items beyond
  // ColCount are dropped. A row at or past RowCount grows RowCount to row + 1.
  void AssignRow(int row, const QStringList& cells);
  void AssignRow(int row, std::span<const std::string> cellsUtf8);

  // --- added by the result grid

  TGridColumns* GridColumns() const { return FGridColumns.get(); }
  TGridStyle GridStyle() const { return FGridStyle; }
  void SetGridStyle(TGridStyle value);
  QColor StripeColor() const { return FStripeColor; }
  void SetStripeColor(const QColor& value);

  // TAB + cell text for each column from 1 to the last.
  virtual void RowText(int row, QString& text) const;
  // Every row as one comma-text line, CR LF after each, in the given code page. The file is
  // replaced only when it was written whole; raises EInOutError when the file fails or a
  // character has no place in the code page.
  virtual bool SaveAsCommaText(const QString& fileName, TFileCode code = TFileCode::System);

  // Background of a data cell by GridStyle and column colour.
  QColor CellColor(int col, int row) const;
  // The text a data cell shows: DisplayMask applied.
  QString DisplayText(int col, int row) const;

signals:
  // The edited text of a cell, as stored (at every change and when the edit ends).
  void OnSetEditText(int col, int row, const QString& value);
  // An edit ended other than by Esc (which puts the text back itself); original is the cell's
  // text when the edit began.
  void OnEndEdit(int col, int row, const QString& original);
  // A character typed on the grid or in its editor; setting key to 0 swallows it.
  void OnKeyPress(QChar& key);
  // Raised after the grid's own drawing of each cell.
  void OnDrawCell(QPainter* canvas, int col, int row, const QRect& rect, TGridDrawState state);
  // Decides whether a drop is accepted (accept is false on entry).
  void OnDragOver(QObject* source, int x, int y, bool& accept);
  void OnDragDrop(QObject* source, int x, int y);

protected:
  // Replaced operations of the string grid.
  virtual void DrawCell(QPainter* canvas, int col, int row, const QRect& rect,
                        TGridDrawState state);
  virtual TInplaceEditEx* CreateEditor(QWidget* parent);
  virtual void KeyPress(QChar& key);
  virtual bool CanEditAcceptKey(QChar key) const;
  virtual bool CanEditModify() const;
  virtual QString GetEditText(int col, int row) const;
  virtual void SetEditText(int col, int row, const QString& value);
  virtual void SizeChanged(int oldColCount, int oldRowCount);

  // Row and column operations of derived grids. New row i is old row order[i] (-1: an empty
  // row) and the row count becomes the size of order; the same for columns, whose widths move
  // with them. The view is reset; a running edit ends.
  void RearrangeRows(const std::vector<int>& order);
  void RearrangeCols(const std::vector<int>& order);

  void keyPressEvent(QKeyEvent* event) override;
  bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
  void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  friend class TGridColumn;
  friend class TGridColumns;
  friend class TInplaceEditEx;
  friend class TGridCellDelegate;
  friend class TGridHeader;
  friend class TGridCellModel;

  QModelIndex IndexOf(int col, int row) const;
  int GridCol(const QModelIndex& index) const;
  int GridRow(const QModelIndex& index) const;
  void SyncColumnObjects();
  void ApplyOptions();
  void ApplyFixedSizes();
  void PrepareEditor(TInplaceEditEx* editor, int col, int row);
  void EditorTextChanged(TInplaceEditEx* editor);
  void EditorEnter(TInplaceEditEx* editor);
  void EditorMove(TInplaceEditEx* editor, int dCol, int dRow);
  void EditorDone(TInplaceEditEx* editor, bool cancel);
  void PaintCell(QPainter* painter, int col, int row, const QRect& rect, TGridDrawState state);
  void PaintCorner(QWidget* corner);

  TGridCellModel* FModel;
  TGridCellDelegate* FDelegate;
  TGridHeader* FTopHeader;
  TGridHeader* FLeftHeader;
  std::unique_ptr<TGridColumns> FGridColumns;
  int FColCount = 0;
  int FFixedCols = 1;
  int FFixedRows = 1;
  int FDefaultRowHeight = 20;
  int FDefaultColWidth = 64;
  std::vector<int> FColWidths; // 0 = default
  bool FApplyingSizes = false; // the header's sizes are being set from FColWidths
  TGridOptions FOptions;
  QColor FColor;
  bool FDefaultDrawing = true;
  bool FRowNumbers = false;
  TGridStyle FGridStyle = gsNormal;
  QColor FStripeColor;
  bool FCaretAtEnd = false; // how the next editor opens
  QWidget* FCorner = nullptr;
};
