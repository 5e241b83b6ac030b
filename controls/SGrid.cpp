#include "SGrid.h"

#include "uCommaText.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QEnterEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLocale>
#include <QMimeData>
#include <QPainter>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <numeric>

TDefDrawOptions::TDefDrawOptions(const QPalette& palette, const QFont& font, QObject* parent)
    : QObject(parent) {
  F.Brush = palette.color(QPalette::Base);
  F.FixedBrush = palette.color(QPalette::Button);
  F.FocusedBrush = palette.color(QPalette::Highlight);
  F.SelectedBrush = palette.color(QPalette::ToolTipBase);
  F.BevelHlBrush = palette.color(QPalette::Light);
  F.BevelSBrush = palette.color(QPalette::Dark);
  F.Font = {font, palette.color(QPalette::Text)};
  F.FixedFont = {font, palette.color(QPalette::ButtonText)};
  F.FocusedFont = {font, palette.color(QPalette::HighlightedText)};
  F.SelectedFont = {font, palette.color(QPalette::ToolTipText)};
}

void TDefDrawOptions::SetFont(TCellFont& field, const TCellFont& value) {
  if (field.Font == value.Font && field.Color == value.Color)
    return;
  field = value;
  emit OnChange();
}

TDrawOptions TDefDrawOptions::Make(const QString& text, bool fixed) const {
  TDrawOptions o = F;
  o.Text = text;
  o.Bevel = fixed;
  return o;
}

// ---------------------------------------------------------------------------------------------

TSmartGrid::TSmartGrid(QWidget* parent) : TStringGridEx(parent) {
  FDefDrawOptions = new TDefDrawOptions(palette(), font(), this);
  connect(FDefDrawOptions, &TDefDrawOptions::OnChange, this, &TSmartGrid::StyleChanged);
  SetDefaultDrawing(false);
}

TSmartGrid::~TSmartGrid() = default;

// --- painting

void TSmartGrid::DrawCell(QPainter* canvas, int col, int row, const QRect& rect,
                          TGridDrawState state) {
  if (DefaultDrawing()) {
    TStringGridEx::DrawCell(canvas, col, row, rect, state);
    return;
  }
  TDrawOptions options = FDefDrawOptions->Make(Cells(col, row), state & gdFixed);
  bool defaultDraw = true;
  emit OnDrawDefCell(col, row, rect, state, defaultDraw, options);
  if (defaultDraw) {
    canvas->save();
    DrawCellDef(canvas, col, row, options, state, rect);
    canvas->restore();
  }
  emit OnDrawCell(canvas, col, row, rect, state);
}

void TSmartGrid::DrawCellDef(QPainter* canvas, int col, int, TDrawOptions& o, TGridDrawState state,
                             QRect rect) {
  const bool fixed = state & gdFixed;
  QBrush brush = o.Brush;
  TCellFont font = o.Font;
  if (fixed) {
    brush = o.FixedBrush;
    font = o.FixedFont;
  } else if ((state & gdFocused) && (Options() & goDrawFocusSelected)) {
    brush = o.FocusedBrush;
    font = o.FocusedFont;
  } else if (state & gdSelected) {
    brush = o.SelectedBrush;
    font = o.SelectedFont;
  }
  canvas->setFont(font.Font);
  if (o.TextFormat == tfAutoWidth) {
    const int need = QFontMetrics(font.Font).horizontalAdvance(o.Text);
    // Not while painting: the new width repaints the grid once more.
    if (ColWidths(col) - 4 < need)
      QTimer::singleShot(0, this, [this, col, need] {
        if (col < ColCount() && ColWidths(col) - 4 < need)
          SetColWidths(col, need + 4);
      });
  }
  if (fixed)
    rect.adjust(0, 0, -1, -1);
  canvas->fillRect(rect, brush);
  const QRect text = rect.adjusted(2, 2, -2, -2);
  int flags = o.TextHPos == thpCenter  ? Qt::AlignHCenter
              : o.TextHPos == thpRight ? Qt::AlignRight
                                       : Qt::AlignLeft;
  if (o.TextVPos == tvpCenter)
    flags |= Qt::AlignVCenter | Qt::TextSingleLine;
  else if (o.TextVPos == tvpBottom)
    flags |= Qt::AlignBottom | Qt::TextSingleLine;
  else
    flags |= Qt::AlignTop;
  if (o.TextFormat == tfWordBreak)
    flags |= Qt::TextWordWrap;
  canvas->setPen(font.Color);
  canvas->setClipRect(text, Qt::IntersectClip);
  canvas->drawText(text, flags, o.Text);
  canvas->setClipping(false);
  if (fixed && o.BevelWidth > 0) {
    const QBrush& light = o.BevelRL ? o.BevelSBrush : o.BevelHlBrush;
    const QBrush& dark = o.BevelRL ? o.BevelHlBrush : o.BevelSBrush;
    const int w = std::min(o.BevelWidth, std::max(1, std::min(rect.width(), rect.height()) / 2));
    canvas->fillRect(QRect(rect.left(), rect.top(), rect.width(), w), light);
    canvas->fillRect(QRect(rect.left(), rect.top(), w, rect.height()), light);
    canvas->fillRect(QRect(rect.left(), rect.bottom() - w + 1, rect.width(), w), dark);
    canvas->fillRect(QRect(rect.right() - w + 1, rect.top(), w, rect.height()), dark);
  }
  // The focus frame is drawn by the grid after every cell.
}

void TSmartGrid::DrawCellImage(QPainter* canvas, const QRect& rect, TGridDrawState state,
                               const QPixmap& source, const QRect& sourceRect) {
  canvas->save();
  canvas->setCompositionMode(QPainter::CompositionMode_Source);
  canvas->drawPixmap(rect, source, sourceRect);
  canvas->restore();
  if (state & gdFocused) {
    canvas->save();
    QPen pen(palette().color(QPalette::Text));
    pen.setStyle(Qt::DotLine);
    canvas->setPen(pen);
    canvas->setBrush(Qt::NoBrush);
    canvas->drawRect(rect.adjusted(1, 1, -2, -2));
    canvas->restore();
  }
}

// --- totals

void TSmartGrid::SetTotalCol(int value) {
  value = std::max(-1, value);
  if (value == FTotalCol || (value >= 0 && value < FixedCols()))
    return;
  FTotalCol = value;
  CalcTotals();
}

void TSmartGrid::SetTotalRow(int value) {
  value = std::max(-1, value);
  if (value == FTotalRow || (value >= 0 && value < FixedRows()))
    return;
  FTotalRow = value;
  CalcTotals();
}

void TSmartGrid::CalcTotals() {
  const QLocale c = QLocale::c();
  const auto number = [&](int col, int row, double& v) {
    bool ok = false;
    v = c.toDouble(Cells(col, row).trimmed(), &ok);
    return ok;
  };
  const auto text = [](double sum) { return QString::number(sum, 'g', 15).toUpper(); };
  if (FTotalRow >= 0 && FTotalRow < RowCount())
    for (int col = FixedCols(); col < ColCount(); ++col) {
      double sum = 0, v = 0;
      for (int row = FixedRows(); row < RowCount(); ++row)
        if (row != FTotalRow && number(col, row, v))
          sum += v;
      SetCells(col, FTotalRow, text(sum));
    }
  if (FTotalCol >= 0 && FTotalCol < ColCount())
    for (int row = FixedRows(); row < RowCount(); ++row) {
      double sum = 0, v = 0;
      for (int col = FixedCols(); col < ColCount(); ++col)
        if (col != FTotalCol && number(col, row, v))
          sum += v;
      SetCells(FTotalCol, row, text(sum));
    }
}

void TSmartGrid::SetEditText(int col, int row, const QString& value) {
  TStringGridEx::SetEditText(col, row, value);
  if (FTotalCol >= 0 || FTotalRow >= 0)
    CalcTotals();
}

// --- widths and heights

QStringList TSmartGrid::ColWidthList() const {
  QStringList list;
  for (int col = 0; col < ColCount(); ++col)
    list << QString::number(ColWidths(col));
  return list;
}

void TSmartGrid::SetColWidthList(const QStringList& list) {
  SetColCount(static_cast<int>(list.size()));
  for (int col = 0; col < list.size(); ++col) {
    bool ok = false;
    const int width = list[col].trimmed().toInt(&ok);
    if (ok)
      SetColWidths(col, width);
  }
}

QStringList TSmartGrid::RowHeightList() const {
  QStringList list;
  for (int row = 0; row < RowCount(); ++row)
    list << QString::number(RowHeights(row));
  return list;
}

void TSmartGrid::SetRowHeightList(const QStringList& list) {
  SetRowCount(static_cast<int>(list.size()));
  for (int row = 0; row < list.size(); ++row) {
    bool ok = false;
    const int height = list[row].trimmed().toInt(&ok);
    if (ok)
      SetRowHeights(row, height);
  }
}

int TSmartGrid::RowHeights(int row) const {
  if (row < 0 || row >= RowCount())
    return DefaultRowHeight();
  if (row < FixedRows())
    return horizontalHeader()->height();
  return rowHeight(row - FixedRows());
}

void TSmartGrid::SetRowHeights(int row, int height) {
  if (row < 0 || row >= RowCount())
    return;
  height = std::max(0, height);
  if (row < FixedRows()) {
    horizontalHeader()->setFixedHeight(height);
    return;
  }
  setRowHeight(row - FixedRows(), height);
  FCustomHeights = FCustomHeights || height != DefaultRowHeight();
}

// --- rows and columns

bool TSmartGrid::SetColStrings(int col, const QStringList& strings) {
  const int rows = std::min(RowCount(), static_cast<int>(strings.size()));
  for (int row = 0; row < rows; ++row)
    SetCells(col, row, strings[row]);
  return true;
}

bool TSmartGrid::SetRowStrings(int row, const QStringList& strings) {
  const int cols = std::min(ColCount(), static_cast<int>(strings.size()));
  for (int col = 0; col < cols; ++col)
    SetCells(col, row, strings[col]);
  return true;
}

bool TSmartGrid::AddCol() {
  const int count = ColCount();
  const int width = count > 0 ? ColWidths(count - 1) : DefaultColWidth();
  SetColCount(count + 1);
  SetColWidths(count, width);
  return true;
}

bool TSmartGrid::AddRow() {
  const int count = RowCount();
  const int height = count > 0 ? RowHeights(count - 1) : DefaultRowHeight();
  SetRowCount(count + 1);
  if (height != RowHeights(count))
    SetRowHeights(count, height);
  return true;
}

namespace {

std::vector<int> Identity(int n) {
  std::vector<int> order(static_cast<size_t>(n));
  std::iota(order.begin(), order.end(), 0);
  return order;
}

} // namespace

void TSmartGrid::MoveRows(const std::vector<int>& order) {
  // Heights of their own move with their rows.
  std::vector<int> heights;
  if (FCustomHeights)
    for (int row = 0; row < RowCount(); ++row)
      heights.push_back(RowHeights(row));
  RearrangeRows(order);
  if (FCustomHeights)
    for (int row = FixedRows(); row < RowCount(); ++row) {
      const int from = order[static_cast<size_t>(row)];
      SetRowHeights(row, from >= 0 ? heights[static_cast<size_t>(from)] : DefaultRowHeight());
    }
}

bool TSmartGrid::InsertCol(int index) {
  if (index < 0 || index >= ColCount())
    return false;
  std::vector<int> order = Identity(ColCount());
  order.insert(order.begin() + index, -1);
  RearrangeCols(order);
  return true;
}

bool TSmartGrid::InsertRow(int index) {
  if (index < 0 || index >= RowCount())
    return false;
  std::vector<int> order = Identity(RowCount());
  order.insert(order.begin() + index, -1);
  MoveRows(order);
  return true;
}

bool TSmartGrid::DeleteCol(int index) {
  if (index < 0 || index >= ColCount() || ColCount() <= 1)
    return false;
  std::vector<int> order = Identity(ColCount());
  order.erase(order.begin() + index);
  RearrangeCols(order);
  return true;
}

bool TSmartGrid::DeleteRow(int index) {
  if (index < 0 || index >= RowCount() || RowCount() <= 1)
    return false;
  std::vector<int> order = Identity(RowCount());
  order.erase(order.begin() + index);
  MoveRows(order);
  return true;
}

bool TSmartGrid::MoveCol(int from, int to) {
  if (from < 0 || from >= ColCount() || to < 0 || to >= ColCount())
    return false;
  std::vector<int> order = Identity(ColCount());
  order.erase(order.begin() + from);
  order.insert(order.begin() + to, from);
  RearrangeCols(order);
  return true;
}

bool TSmartGrid::MoveRow(int from, int to) {
  if (from < 0 || from >= RowCount() || to < 0 || to >= RowCount())
    return false;
  std::vector<int> order = Identity(RowCount());
  order.erase(order.begin() + from);
  order.insert(order.begin() + to, from);
  MoveRows(order);
  return true;
}

bool TSmartGrid::ExchangeCols(int col1, int col2) {
  if (col1 < 0 || col1 >= ColCount() || col2 < 0 || col2 >= ColCount())
    return false;
  std::vector<int> order = Identity(ColCount());
  std::swap(order[static_cast<size_t>(col1)], order[static_cast<size_t>(col2)]);
  RearrangeCols(order);
  return true;
}

bool TSmartGrid::ExchangeRows(int row1, int row2) {
  if (row1 < 0 || row1 >= RowCount() || row2 < 0 || row2 >= RowCount())
    return false;
  std::vector<int> order = Identity(RowCount());
  std::swap(order[static_cast<size_t>(row1)], order[static_cast<size_t>(row2)]);
  MoveRows(order);
  return true;
}

bool TSmartGrid::ClearRows() {
  // Deleting row 0, then row 1, ... of the shrinking grid removes every row at an even place
  // until half are gone; done in one step, so a grid of a million rows clears at once.
  const int n = RowCount();
  if (n <= 1)
    return true;
  std::vector<int> order;
  for (int row = 1; row < n; row += 2)
    order.push_back(row);
  MoveRows(order);
  return true;
}

bool TSmartGrid::LoadFromCSV(const QString& fileName) {
  FLoadError.clear();
  FOverlongRows.clear();
  TCsvReader reader;
  if (!reader.Open(fileName)) {
    FLoadError = reader.ErrorText();
    return false;
  }
  int cols = 0;
  const bool header = reader.ReadHeader(cols);
  if (EditorMode())
    SetEditorMode(false);
  BeginUpdate();
  SetRowCount(0);
  SetColCount(std::max(1, cols));
  std::vector<std::string> fields;
  int count = 0;
  int row = 0;
  while (header && reader.ReadLine(fields, count)) {
    for (int k = ColCount(); k < count; ++k)
      if (!fields[static_cast<size_t>(k)].empty()) {
        FOverlongRows.push_back(row);
        break;
      }
    AssignRow(row++, std::span<const std::string>(fields.data(), static_cast<size_t>(count)));
  }
  EndUpdate();
  FLoadError = reader.ErrorText();
  return FLoadError.isEmpty();
}

// --- files dropped, mouse enter and leave

bool TSmartGrid::AcceptsFileDrag(const QMimeData* data) const {
  if (!FAcceptFiles || !data || !data->hasUrls())
    return false;
  for (const QUrl& url : data->urls())
    if (url.isLocalFile())
      return true;
  return false;
}

void TSmartGrid::dragEnterEvent(QDragEnterEvent* event) {
  if (AcceptsFileDrag(event->mimeData()))
    event->acceptProposedAction();
  else
    TStringGridEx::dragEnterEvent(event);
}

void TSmartGrid::dragMoveEvent(QDragMoveEvent* event) {
  if (AcceptsFileDrag(event->mimeData()))
    event->acceptProposedAction();
  else
    TStringGridEx::dragMoveEvent(event);
}

void TSmartGrid::dropEvent(QDropEvent* event) {
  if (!AcceptsFileDrag(event->mimeData())) {
    TStringGridEx::dropEvent(event);
    return;
  }
  QStringList files;
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile())
      files << url.toLocalFile();
  const QPoint p = viewport()->mapTo(this, event->position().toPoint());
  int col = -1, row = -1;
  MouseToCell(p.x(), p.y(), col, row);
  event->acceptProposedAction();
  emit OnDropFiles(p.x(), p.y(), col, row, files, contentsRect().contains(p));
}

void TSmartGrid::enterEvent(QEnterEvent* event) {
  TStringGridEx::enterEvent(event);
  emit OnMouseEnter();
}

void TSmartGrid::leaveEvent(QEvent* event) {
  TStringGridEx::leaveEvent(event);
  emit OnMouseLeave();
}
