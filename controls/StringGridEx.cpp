#include "StringGridEx.h"

#include "uCellStore.h"
#include "uCommaText.h"

#include <QAbstractButton>
#include <QAbstractTableModel>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QRegularExpression>
#include <QSaveFile>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionHeader>
#include <QStyledItemDelegate>
#include <QTextBlock>
#include <QTextLayout>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <functional>

namespace {

QString FromUtf8(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

Qt::Alignment HAlign(TAlignment a) {
  switch (a) {
  case taRightJustify:
    return Qt::AlignRight;
  case taCenter:
    return Qt::AlignHCenter;
  default:
    return Qt::AlignLeft;
  }
}

// Integer text in canonical form; leading blanks and a sign allowed, nothing else.
bool CanonicalInteger(const QString& text, QString& out) {
  int i = 0;
  const int n = text.size();
  while (i < n && text[i] == u' ')
    ++i;
  bool negative = false;
  if (i < n && (text[i] == u'+' || text[i] == u'-'))
    negative = text[i++] == u'-';
  if (i == n)
    return false;
  unsigned long long v = 0;
  for (; i < n; ++i) {
    const QChar c = text[i];
    if (c < u'0' || c > u'9')
      return false;
    const unsigned d = c.unicode() - u'0';
    if (v > (9223372036854775808ull - d) / 10)
      return false;
    v = v * 10 + d;
  }
  if (!negative && v > 9223372036854775807ull)
    return false;
  out = negative && v != 0 ? QStringLiteral("-") + QString::number(v) : QString::number(v);
  return true;
}

// --- display masks

struct TNumSection {
  QString Prefix, Suffix;
  QString IntPattern;         // placeholders 0 and # with the literals between them
  int MinDec = 0, MaxDec = 0; // '0' and all placeholders after the point
  bool Thousands = false;
  bool Point = false;
};

// One section of a numeric picture: placeholders 0 and #, "," grouping, "." decimal point;
// quoted text and other characters are literals, kept where they stand.
TNumSection ParseSection(const QString& s) {
  TNumSection sec;
  bool started = false, afterPoint = false, ended = false;
  QString pending; // literals after a placeholder, placed only if another one follows
  for (int i = 0; i < s.size(); ++i) {
    const QChar c = s[i];
    QString lit;
    if (c == u'"' || c == u'\'') {
      const int end = s.indexOf(c, i + 1);
      lit = s.mid(i + 1, (end < 0 ? s.size() : end) - i - 1);
      i = end < 0 ? s.size() : end;
    } else if (!ended && (c == u'0' || c == u'#')) {
      started = true;
      if (afterPoint) {
        ++sec.MaxDec;
        if (c == u'0')
          sec.MinDec = sec.MaxDec;
      } else {
        sec.IntPattern += pending;
        pending.clear();
        sec.IntPattern += c;
      }
      continue;
    } else if (!ended && c == u',' && !afterPoint) {
      sec.Thousands = true;
      started = true;
      continue;
    } else if (!ended && c == u'.' && !afterPoint) {
      afterPoint = started = true;
      sec.Point = true;
      continue;
    } else {
      lit = c;
    }
    if (!started)
      sec.Prefix += lit;
    else if (afterPoint || ended) {
      ended = true;
      sec.Suffix += pending + lit;
      pending.clear();
    } else
      pending += lit;
  }
  sec.Suffix = pending + sec.Suffix;
  return sec;
}

// The integer digits laid into the picture's integer placeholders, right to left.
QString LayInteger(const TNumSection& sec, QString digits) {
  while (digits.startsWith(u'0'))
    digits.remove(0, 1);
  const int firstZero = static_cast<int>(sec.IntPattern.indexOf(u'0'));
  if (sec.Thousands) {
    int forced = 0;
    if (firstZero >= 0)
      for (int i = firstZero; i < sec.IntPattern.size(); ++i)
        forced += sec.IntPattern[i] == u'0' || sec.IntPattern[i] == u'#';
    while (digits.size() < forced)
      digits.prepend(u'0');
    for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3)
      digits.insert(i, u',');
    return digits;
  }
  QString out;
  int d = static_cast<int>(digits.size()) - 1;
  for (int i = static_cast<int>(sec.IntPattern.size()) - 1; i >= 0; --i) {
    const QChar p = sec.IntPattern[i];
    if (p == u'0' || p == u'#') {
      if (d >= 0)
        out.prepend(digits[d--]);
      else if (firstZero >= 0 && i >= firstZero)
        out.prepend(u'0');
    } else if (d >= 0 || (firstZero >= 0 && firstZero < i)) {
      out.prepend(p);
    }
  }
  return digits.left(d + 1) + out;
}

QString FormatFloat(const QString& mask, double value) {
  QStringList sections;
  {
    QString cur;
    bool quoted = false;
    QChar quote;
    for (QChar c : mask) {
      if (quoted) {
        quoted = c != quote;
      } else if (c == u'"' || c == u'\'') {
        quoted = true;
        quote = c;
      } else if (c == u';') {
        sections << cur;
        cur.clear();
        continue;
      }
      cur += c;
    }
    sections << cur;
  }
  QString picture = sections[0];
  bool sign = value < 0;
  if (value < 0 && sections.size() > 1 && !sections[1].isEmpty()) {
    picture = sections[1];
    sign = false;
  }
  TNumSection sec = ParseSection(picture);
  QString digits = QString::number(std::fabs(value), 'f', sec.MaxDec);
  if (digits.count(u'0') + digits.count(u'.') == digits.size()) {
    if (sections.size() > 2 && !sections[2].isEmpty()) {
      sec = ParseSection(sections[2]);
      digits = QString::number(0.0, 'f', sec.MaxDec);
    }
    sign = false;
  }
  QString decPart = digits.section(u'.', 1);
  while (decPart.size() > sec.MinDec && decPart.endsWith(u'0'))
    decPart.chop(1);
  QString out = sec.Prefix + LayInteger(sec, digits.section(u'.', 0, 0));
  if (sec.Point && !decPart.isEmpty())
    out += u'.' + decPart;
  out += sec.Suffix;
  return sign ? u'-' + out : out;
}

// An edit mask "mask;save literals;blank": 0 9 # digits, L l letters, A a alphanumerics,
// C c any character, > < case, \ literal; other characters are literals put into the text.
QString FormatMaskText(const QString& editMask, const QString& text) {
  QString mask = editMask;
  bool saveLiterals = true;
  QChar blank = u' ';
  const QStringList parts = editMask.split(u';');
  if (parts.size() >= 2 && (parts.size() > 2 || parts[1].size() <= 1)) {
    mask = parts[0];
    saveLiterals = parts[1] != u"0";
    if (parts.size() > 2 && !parts[2].isEmpty())
      blank = parts[2][0];
  }
  QString out;
  int t = 0;
  int caseMode = 0; // 1 upper, -1 lower
  for (int i = 0; i < mask.size(); ++i) {
    const QChar m = mask[i];
    if (m == u'>') {
      caseMode = (i + 1 < mask.size() && mask[i + 1] == u'<') ? (++i, 0) : 1;
      continue;
    }
    if (m == u'<') {
      caseMode = -1;
      continue;
    }
    if (m == u'!')
      continue;
    if (m == u'\\' && i + 1 < mask.size()) {
      const QChar lit = mask[++i];
      out += lit;
      if (saveLiterals && t < text.size())
        ++t;
      continue;
    }
    if (QStringLiteral("09#LlAaCc").contains(m)) {
      QChar c = t < text.size() ? text[t++] : blank;
      if (caseMode > 0)
        c = c.toUpper();
      else if (caseMode < 0)
        c = c.toLower();
      out += c;
      continue;
    }
    // With literals saved, the text holds one character at each literal's place.
    out += m;
    if (saveLiterals && t < text.size())
      ++t;
  }
  return out;
}

// A printable character; control characters (Backspace, Delete, ...) are editing keys.
bool IsTypedChar(QChar c) { return c.unicode() >= 32 && c.unicode() != 0x7F; }

bool LooksNumeric(const QString& text) {
  for (QChar c : text)
    if (!(c.isDigit() && c.unicode() < 128) && c != u'+' && c != u'-' && c != u'.')
      return false;
  return true;
}

} // namespace

// ---------------------------------------------------------------------------------------------

class TGridCellModel : public QAbstractTableModel {
public:
  explicit TGridCellModel(TStringGridEx* grid) : QAbstractTableModel(grid), FGrid(grid) {}

  int rowCount(const QModelIndex& parent = QModelIndex()) const override {
    return parent.isValid() ? 0 : FShownRows;
  }
  int columnCount(const QModelIndex& parent = QModelIndex()) const override {
    return parent.isValid() ? 0 : FShownCols;
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid())
      return {};
    const int col = index.column() + FGrid->FFixedCols, row = index.row() + FGrid->FFixedRows;
    if (role == Qt::DisplayRole)
      return FGrid->DisplayText(col, row);
    if (role == Qt::EditRole)
      return FGrid->Cells(col, row);
    return {};
  }
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (role != Qt::DisplayRole)
      return {};
    if (orientation == Qt::Horizontal)
      return FGrid->Cells(section + FGrid->FFixedCols, 0);
    return FGrid->Cells(0, section + FGrid->FFixedRows);
  }
  Qt::ItemFlags flags(const QModelIndex& index) const override {
    if (!index.isValid())
      return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
  }

  int WantRows() const { return std::max(0, Store.Rows() - FGrid->FFixedRows); }
  int WantCols() const { return std::max(0, FGrid->FColCount - FGrid->FFixedCols); }

  // Tells the views about rows and columns that came or went.
  void Sync() {
    if (FUpdating > 0)
      return;
    const int cols = WantCols();
    if (cols > FShownCols) {
      beginInsertColumns(QModelIndex(), FShownCols, cols - 1);
      FShownCols = cols;
      endInsertColumns();
    } else if (cols < FShownCols) {
      beginRemoveColumns(QModelIndex(), cols, FShownCols - 1);
      FShownCols = cols;
      endRemoveColumns();
    }
    const int rows = WantRows();
    if (rows > FShownRows) {
      beginInsertRows(QModelIndex(), FShownRows, rows - 1);
      FShownRows = rows;
      endInsertRows();
    } else if (rows < FShownRows) {
      beginRemoveRows(QModelIndex(), rows, FShownRows - 1);
      FShownRows = rows;
      endRemoveRows();
    }
    if (FDirtyTitles) {
      FDirtyTitles = false;
      if (FShownCols > 0)
        emit headerDataChanged(Qt::Horizontal, 0, FShownCols - 1);
      if (FGrid->FCorner)
        FGrid->FCorner->update();
    }
    const int last = std::min(FDirtyLast, FShownRows - 1);
    if (FDirtyFirst <= last && FShownCols > 0)
      emit dataChanged(index(FDirtyFirst, 0), index(last, FShownCols - 1));
    if (FDirtyFirst <= last && FGrid->FFixedCols > 0)
      emit headerDataChanged(Qt::Vertical, FDirtyFirst, last);
    FDirtyFirst = INT_MAX;
    FDirtyLast = -1;
  }

  // Remembers a changed row for EndUpdate; rows not yet announced need nothing.
  void MarkDirty(int row) {
    const int dr = row - FGrid->FFixedRows;
    if (dr < 0) {
      FDirtyTitles = true;
    } else if (dr < FShownRows) {
      FDirtyFirst = std::min(FDirtyFirst, dr);
      FDirtyLast = std::max(FDirtyLast, dr);
    }
  }

  // Row count change, announced before the cells go when rows are removed.
  void ResizeRows(int count) {
    const int rows = std::max(0, count - FGrid->FFixedRows);
    if (FUpdating == 0 && rows < FShownRows) {
      beginRemoveRows(QModelIndex(), rows, FShownRows - 1);
      Store.Resize(count);
      FShownRows = rows;
      endRemoveRows();
    } else {
      Store.Resize(count);
    }
    Sync();
  }

  void CellChanged(int col, int row) {
    if (FUpdating > 0) {
      MarkDirty(row);
      return;
    }
    // A hidden grid paints everything when shown; a fill of a hidden grid costs no signals.
    if (!FGrid->isVisible())
      return;
    const int dc = col - FGrid->FFixedCols, dr = row - FGrid->FFixedRows;
    if (dr < 0 && dc >= 0 && dc < FShownCols)
      emit headerDataChanged(Qt::Horizontal, dc, dc);
    else if (dc < 0 && dr >= 0 && dr < FShownRows)
      emit headerDataChanged(Qt::Vertical, dr, dr);
    else if (dr >= 0 && dc >= 0 && dr < FShownRows && dc < FShownCols)
      emit dataChanged(index(dr, dc), index(dr, dc));
    else if (dr < 0 && dc < 0 && FGrid->FCorner)
      FGrid->FCorner->update();
  }

  void RowChanged(int row) {
    if (FUpdating > 0) {
      MarkDirty(row);
      return;
    }
    // A hidden grid paints everything when shown; a fill of a hidden grid costs no signals.
    if (!FGrid->isVisible())
      return;
    const int dr = row - FGrid->FFixedRows;
    if (dr < 0) {
      if (FShownCols > 0)
        emit headerDataChanged(Qt::Horizontal, 0, FShownCols - 1);
      if (FGrid->FCorner)
        FGrid->FCorner->update();
    } else if (dr < FShownRows) {
      if (FShownCols > 0)
        emit dataChanged(index(dr, 0), index(dr, FShownCols - 1));
      if (FGrid->FFixedCols > 0)
        emit headerDataChanged(Qt::Vertical, dr, dr);
    }
  }

  void Reset(const std::function<void()>& change) {
    beginResetModel();
    change();
    FShownRows = WantRows();
    FShownCols = WantCols();
    endResetModel();
  }

  TCellStore Store;
  int FUpdating = 0;

private:
  TStringGridEx* FGrid;
  int FShownRows = 0;
  int FShownCols = 0;
  bool FDirtyTitles = false;
  int FDirtyFirst = INT_MAX; // changed data rows, as model rows
  int FDirtyLast = -1;
};

// Draws data cells through the grid and makes its editors.
class TGridCellDelegate : public QStyledItemDelegate {
public:
  explicit TGridCellDelegate(TStringGridEx* grid) : QStyledItemDelegate(grid), FGrid(grid) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    TGridDrawState state = 0;
    if (option.state & QStyle::State_Selected)
      state |= gdSelected;
    if ((option.state & QStyle::State_HasFocus) && FGrid->hasFocus() &&
        index == FGrid->currentIndex())
      state |= gdFocused;
    FGrid->PaintCell(painter, FGrid->GridCol(index), FGrid->GridRow(index), option.rect, state);
  }
  QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const override {
    return {FGrid->ColWidths(FGrid->GridCol(index)), FGrid->FDefaultRowHeight};
  }
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                        const QModelIndex&) const override {
    return FGrid->CreateEditor(parent);
  }
  void setEditorData(QWidget* editor, const QModelIndex& index) const override {
    if (auto* ed = qobject_cast<TInplaceEditEx*>(editor))
      if (ed->FCol < 0)
        FGrid->PrepareEditor(ed, FGrid->GridCol(index), FGrid->GridRow(index));
  }
  void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex&) const override {
    // Cells are stored at every change; the end of an edit reports the result once more.
    if (auto* ed = qobject_cast<TInplaceEditEx*>(editor))
      if (ed->FModified) {
        ed->FModified = false;
        emit FGrid->OnSetEditText(ed->FCol, ed->FRow, FGrid->Cells(ed->FCol, ed->FRow));
      }
  }
  void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                            const QModelIndex&) const override {
    editor->setGeometry(option.rect);
  }

protected:
  bool eventFilter(QObject* object, QEvent* event) override {
    // Keys are the editor's own business (Enter, Esc, arrows); focus loss ends the edit.
    if (event->type() == QEvent::KeyPress)
      return false;
    return QStyledItemDelegate::eventFilter(object, event);
  }

private:
  TStringGridEx* FGrid;
};

// Fixed row and fixed column, drawn by the grid on the usual header background.
class TGridHeader : public QHeaderView {
public:
  TGridHeader(Qt::Orientation orientation, TStringGridEx* grid)
      : QHeaderView(orientation, grid), FGrid(grid) {
    setHighlightSections(false);
    setSectionsClickable(false);
    setMinimumSectionSize(0);
  }

protected:
  void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override {
    if (!rect.isValid())
      return;
    QStyleOptionHeader opt;
    initStyleOption(&opt);
    opt.rect = rect;
    opt.section = logicalIndex;
    opt.state |= QStyle::State_Enabled;
    style()->drawControl(QStyle::CE_HeaderSection, &opt, painter, this);
    const int col = orientation() == Qt::Horizontal ? logicalIndex + FGrid->FFixedCols : 0;
    const int row = orientation() == Qt::Horizontal ? 0 : logicalIndex + FGrid->FFixedRows;
    painter->save();
    FGrid->PaintCell(painter, col, row, rect, gdFixed);
    painter->restore();
  }

private:
  TStringGridEx* FGrid;
};

// ---------------------------------------------------------------------------------------------

TGridColumn::TGridColumn(TStringGridEx* grid) : FGrid(grid) {
  if (grid) {
    FColor = grid->Color();
    FFont = grid->font();
  }
  FFixCellFont = FFont;
}

void TGridColumn::Changed() {
  if (FGrid)
    FGrid->Repaint();
}

void TGridColumn::SetAlignment(TAlignment value) {
  FAlignment = value;
  Changed();
}

void TGridColumn::SetCaption(const QString& value) {
  FCaption = value.isEmpty() ? QStringLiteral(" ") : value;
  Changed();
}

void TGridColumn::SetColor(const QColor& value) {
  FColor = value;
  Changed();
}

void TGridColumn::SetFont(const QFont& value) {
  FFont = value;
  Changed();
}

void TGridColumn::SetFixCellFont(const QFont& value) {
  FFixCellFont = value;
  Changed();
}

void TGridColumn::SetWordwrap(bool value) {
  FWordwrap = value;
  Changed();
}

void TGridColumn::Assign(const TGridColumn& source) {
  if (&source == this)
    return;
  FAlignment = source.FAlignment;
  FCanEdit = source.FCanEdit;
  FCaption = source.FCaption;
  FColor = source.FColor;
  FDataType = source.FDataType;
  FDisplayMask = source.FDisplayMask;
  FFont = source.FFont;
  FFixCellFont = source.FFixCellFont;
  FImeMode = source.FImeMode;
  FWordwrap = source.FWordwrap;
  FMultiLine = source.FMultiLine;
  Changed();
}

int TGridColumn::Index() const {
  if (!FGrid)
    return -1;
  const auto& items = FGrid->GridColumns()->FItems;
  for (size_t i = 0; i < items.size(); ++i)
    if (items[i].get() == this)
      return static_cast<int>(i);
  return -1;
}

TGridColumn* TGridColumns::Items(int index) const {
  return index >= 0 && index < Count() ? FItems[index].get() : nullptr;
}

void TGridColumns::Changed() {
  if (FSyncGrid && FGrid->ColCount() != Count())
    FGrid->SetColCount(Count());
  FGrid->Repaint();
}

TGridColumn* TGridColumns::Add() {
  FItems.push_back(std::make_unique<TGridColumn>(FGrid));
  TGridColumn* item = FItems.back().get();
  Changed();
  return item;
}

TGridColumn* TGridColumns::Insert(int index) {
  index = std::clamp(index, 0, Count());
  auto it = FItems.insert(FItems.begin() + index, std::make_unique<TGridColumn>(FGrid));
  TGridColumn* item = it->get();
  Changed();
  return item;
}

void TGridColumns::Delete(int index) {
  if (index < 0 || index >= Count())
    return;
  FItems.erase(FItems.begin() + index);
  Changed();
}

void TGridColumns::Clear() {
  FItems.clear();
  Changed();
}

// ---------------------------------------------------------------------------------------------

TInplaceEditEx::TInplaceEditEx(TStringGridEx* grid, QWidget* parent)
    : QPlainTextEdit(parent), FGrid(grid) {
  setFrameStyle(QFrame::NoFrame);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setTabChangesFocus(true);
  setViewportMargins(0, 0, 0, 0);
  document()->setDocumentMargin(1);
  SetWordWrap(false);
  connect(this, &QPlainTextEdit::textChanged, this, &TInplaceEditEx::TextChanged);
}

void TInplaceEditEx::SetWordWrap(bool value) {
  FWordWrap = value;
  setLineWrapMode(value ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
  setWordWrapMode(value ? QTextOption::WordWrap : QTextOption::NoWrap);
}

int TInplaceEditEx::SelStart() const { return textCursor().position(); }

void TInplaceEditEx::SetSelStart(int pos) {
  QTextCursor c = textCursor();
  c.setPosition(std::clamp(pos, 0, static_cast<int>(toPlainText().size())));
  setTextCursor(c);
}

int TInplaceEditEx::SelLength() const {
  const QTextCursor c = textCursor();
  return c.selectionEnd() - c.selectionStart();
}

void TInplaceEditEx::TextChanged() {
  if (FLoading || FCol < 0)
    return;
  FModified = true;
  FGrid->EditorTextChanged(this);
}

bool TInplaceEditEx::event(QEvent* event) {
  // Enter and Esc belong to the editor, never to a shortcut of the window.
  if (event->type() == QEvent::ShortcutOverride) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter ||
        key->key() == Qt::Key_Escape) {
      event->accept();
      return true;
    }
  }
  return QPlainTextEdit::event(event);
}

void TInplaceEditEx::keyPressEvent(QKeyEvent* event) {
  const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
  const bool ctrl = mods & Qt::ControlModifier;
  const int key = event->key();
  if (key == Qt::Key_Return || key == Qt::Key_Enter) {
    if (FMultiLine && ctrl) {
      QChar k = u'\n';
      FGrid->KeyPress(k);
      FGrid->EditorDone(this, false);
    } else if (FMultiLine) {
      QChar k = u'\r';
      FGrid->KeyPress(k);
      if (k != QChar() && !isReadOnly())
        textCursor().insertText(QStringLiteral("\n"));
    } else {
      QChar k = u'\r';
      FGrid->KeyPress(k);
      FGrid->EditorEnter(this);
    }
    return;
  }
  if (key == Qt::Key_Escape) {
    FGrid->EditorDone(this, true);
    return;
  }
  const bool arrow =
      key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down;
  if (arrow && FMultiLine && mods == Qt::ControlModifier) {
    FGrid->EditorMove(this,
                      key == Qt::Key_Left    ? -1
                      : key == Qt::Key_Right ? 1
                                             : 0,
                      key == Qt::Key_Up     ? -1
                      : key == Qt::Key_Down ? 1
                                            : 0);
    return;
  }
  if (!FMultiLine && mods == Qt::NoModifier && (key == Qt::Key_Up || key == Qt::Key_Down)) {
    FGrid->EditorMove(this, 0, key == Qt::Key_Up ? -1 : 1);
    return;
  }
  const QString text = event->text();
  if (text.size() == 1) {
    QChar k = text[0];
    FGrid->KeyPress(k);
    if (k == QChar())
      return;
    if (!FGrid->CanEditAcceptKey(k)) {
      QApplication::beep();
      return;
    }
    if (k != text[0]) {
      if (!isReadOnly() && k.unicode() >= 32)
        textCursor().insertText(QString(k));
      return;
    }
  }
  QPlainTextEdit::keyPressEvent(event);
}

void TInplaceEditEx::inputMethodEvent(QInputMethodEvent* event) {
  if (!event->commitString().isEmpty()) {
    QString kept;
    for (QChar c : event->commitString())
      if (FGrid->CanEditAcceptKey(c))
        kept += c;
    if (kept != event->commitString())
      event->setCommitString(kept, event->replacementStart(), event->replacementLength());
  }
  QPlainTextEdit::inputMethodEvent(event);
}

void TInplaceEditEx::insertFromMimeData(const QMimeData* source) {
  if (FMultiLine || !source->hasText()) {
    QPlainTextEdit::insertFromMimeData(source);
    return;
  }
  // A single-line cell takes the first line of what is pasted.
  QString text = source->text();
  const qsizetype cut = text.indexOf(QRegularExpression(QStringLiteral("[\r\n]")));
  if (cut >= 0)
    text.truncate(cut);
  textCursor().insertText(text);
}

// ---------------------------------------------------------------------------------------------

TStringGridEx::TStringGridEx(QWidget* parent) : QTableView(parent) {
  FColor = palette().color(QPalette::Base);
  FStripeColor = FColor;
  FGridColumns = std::make_unique<TGridColumns>(this);
  FModel = new TGridCellModel(this);
  FTopHeader = new TGridHeader(Qt::Horizontal, this);
  FLeftHeader = new TGridHeader(Qt::Vertical, this);
  setHorizontalHeader(FTopHeader);
  setVerticalHeader(FLeftHeader);
  setModel(FModel);
  FDelegate = new TGridCellDelegate(this);
  setItemDelegate(FDelegate);
  setWordWrap(false);
  setTabKeyNavigation(false);
  setCornerButtonEnabled(false);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  FTopHeader->setDefaultSectionSize(FDefaultColWidth);
  FLeftHeader->setDefaultSectionSize(FDefaultRowHeight);
  viewport()->setAcceptDrops(true);
  setAcceptDrops(true);
  for (QAbstractButton* b : findChildren<QAbstractButton*>(Qt::FindDirectChildrenOnly)) {
    FCorner = b;
    b->installEventFilter(this);
  }
  connect(FTopHeader, &QHeaderView::sectionResized, this, [this](int logical, int, int size) {
    const int col = logical + FFixedCols;
    if (col < static_cast<int>(FColWidths.size()) && !FApplyingSizes)
      FColWidths[col] = size;
  });
  FOptions = goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine | goRangeSelect;
  ApplyOptions();
  SetColCount(4);
  SetRowCount(5);
  ApplyFixedSizes();
}

TStringGridEx::~TStringGridEx() = default;

QModelIndex TStringGridEx::IndexOf(int col, int row) const {
  return FModel->index(row - FFixedRows, col - FFixedCols);
}
int TStringGridEx::GridCol(const QModelIndex& index) const { return index.column() + FFixedCols; }
int TStringGridEx::GridRow(const QModelIndex& index) const { return index.row() + FFixedRows; }

int TStringGridEx::RowCount() const { return FModel->Store.Rows(); }

void TStringGridEx::SetRowCount(int value) {
  value = std::max(0, value);
  const int old = RowCount();
  if (value == old)
    return;
  if (value < FFixedRows)
    SetFixedRows(value);
  FModel->ResizeRows(value);
  SizeChanged(FColCount, old);
}

void TStringGridEx::SetColCount(int value) {
  value = std::max(0, value);
  const int old = FColCount;
  if (value == old)
    return;
  if (value < FFixedCols)
    SetFixedCols(value);
  if (value < old) {
    if (QWidget* ed = InplaceEditor(); ed && FModel->FUpdating == 0)
      SetEditorMode(false);
    FModel->Store.TruncateCols(value);
  }
  FColCount = value;
  FColWidths.resize(value, 0);
  FModel->Sync();
  for (int c = std::max(old, FFixedCols); c < value; ++c)
    if (FColWidths[c] > 0)
      FTopHeader->resizeSection(c - FFixedCols, FColWidths[c]);
  SizeChanged(old, RowCount());
}

void TStringGridEx::SizeChanged(int oldColCount, int) {
  if (oldColCount != FColCount)
    SyncColumnObjects();
}

void TStringGridEx::SyncColumnObjects() {
  TGridColumns& cols = *FGridColumns;
  cols.FSyncGrid = false;
  while (cols.Count() < FColCount)
    cols.FItems.push_back(std::make_unique<TGridColumn>(this));
  while (cols.Count() > FColCount)
    cols.FItems.pop_back();
  cols.FSyncGrid = true;
  Repaint();
}

void TStringGridEx::SetFixedRows(int value) {
  value = std::clamp(value, 0, std::min(1, RowCount()));
  if (value == FFixedRows)
    return;
  FModel->Reset([&] { FFixedRows = value; });
  ApplyFixedSizes();
}

void TStringGridEx::SetFixedCols(int value) {
  value = std::clamp(value, 0, std::min(1, FColCount));
  if (value == FFixedCols)
    return;
  FModel->Reset([&] { FFixedCols = value; });
  ApplyFixedSizes();
}

void TStringGridEx::ApplyFixedSizes() {
  FTopHeader->setVisible(FFixedRows > 0);
  FLeftHeader->setVisible(FFixedCols > 0);
  FTopHeader->setFixedHeight(FDefaultRowHeight);
  FLeftHeader->setFixedWidth(ColWidths(0));
  FLeftHeader->setDefaultSectionSize(FDefaultRowHeight);
  // Setting the default size resizes every section; the widths of our own are put back below.
  FApplyingSizes = true;
  FTopHeader->setDefaultSectionSize(FDefaultColWidth);
  for (int c = FFixedCols; c < FColCount; ++c)
    FTopHeader->resizeSection(c - FFixedCols, FColWidths[c] > 0 ? FColWidths[c] : FDefaultColWidth);
  FApplyingSizes = false;
  if (FCorner)
    FCorner->update();
}

void TStringGridEx::SetDefaultRowHeight(int value) {
  FDefaultRowHeight = std::max(1, value);
  ApplyFixedSizes();
}

void TStringGridEx::SetDefaultColWidth(int value) {
  FDefaultColWidth = std::max(0, value);
  ApplyFixedSizes();
}

int TStringGridEx::ColWidths(int col) const {
  if (col < 0 || col >= FColCount)
    return FDefaultColWidth;
  if (col >= FFixedCols)
    return FTopHeader->sectionSize(col - FFixedCols);
  return FColWidths[col] > 0 ? FColWidths[col] : FDefaultColWidth;
}

void TStringGridEx::SetColWidths(int col, int width) {
  if (col < 0 || col >= FColCount)
    return;
  FColWidths[col] = std::max(0, width);
  if (col >= FFixedCols)
    FTopHeader->resizeSection(col - FFixedCols, FColWidths[col]);
  else
    FLeftHeader->setFixedWidth(FColWidths[col]);
}

void TStringGridEx::SetOptions(TGridOptions value) {
  FOptions = value;
  ApplyOptions();
}

void TStringGridEx::ApplyOptions() {
  setShowGrid(FOptions & (goVertLine | goHorzLine));
  setSelectionBehavior(FOptions & goRowSelect ? SelectRows : SelectItems);
  setSelectionMode(FOptions & goRangeSelect ? ContiguousSelection : SingleSelection);
  FTopHeader->setSectionResizeMode(FOptions & goColSizing ? QHeaderView::Interactive
                                                          : QHeaderView::Fixed);
  FTopHeader->setSectionsMovable(FOptions & goColMoving);
  FLeftHeader->setSectionResizeMode(QHeaderView::Fixed);
  if (FOptions & goEditing) {
    setEditTriggers(DoubleClicked | EditKeyPressed | AnyKeyPressed);
  } else {
    if (EditorMode())
      SetEditorMode(false);
    setEditTriggers(NoEditTriggers);
  }
}

void TStringGridEx::SetColor(const QColor& value) {
  FColor = value;
  Repaint();
}

void TStringGridEx::SetDefaultDrawing(bool value) {
  FDefaultDrawing = value;
  Repaint();
}

QString TStringGridEx::Cells(int col, int row) const {
  if (col < 0 || col >= FColCount)
    return {};
  const std::string_view text = FModel->Store.Cell(row, col);
  if (col == 0 && text.empty() && FRowNumbers && row >= FFixedRows && row < RowCount())
    return QString::number(row);
  return FromUtf8(text);
}

void TStringGridEx::SetRowNumbers(bool value) {
  if (value == FRowNumbers)
    return;
  FRowNumbers = value;
  if (FFixedCols > 0 && FModel->rowCount() > 0 && FModel->FUpdating == 0)
    emit FModel->headerDataChanged(Qt::Vertical, 0, FModel->rowCount() - 1);
  Repaint();
}

void TStringGridEx::SetCells(int col, int row, const QString& value) {
  if (col < 0 || col >= FColCount || row < 0 || row >= RowCount())
    return;
  FModel->Store.SetCell(row, col, value.toUtf8().toStdString());
  FModel->CellChanged(col, row);
}

std::string_view TStringGridEx::CellUtf8(int col, int row) const {
  if (col < 0 || col >= FColCount)
    return {};
  return FModel->Store.Cell(row, col);
}

void TStringGridEx::RearrangeRows(const std::vector<int>& order) {
  if (EditorMode())
    SetEditorMode(false);
  const int old = RowCount();
  const int count = static_cast<int>(order.size());
  if (count < FFixedRows)
    SetFixedRows(count);
  FModel->Reset([&] { FModel->Store.RearrangeRows(order); });
  SizeChanged(FColCount, old);
  Repaint();
}

void TStringGridEx::RearrangeCols(const std::vector<int>& order) {
  if (EditorMode())
    SetEditorMode(false);
  const int old = FColCount;
  const int count = static_cast<int>(order.size());
  std::vector<int> widths(order.size(), 0);
  auto& items = FGridColumns->FItems;
  std::vector<std::unique_ptr<TGridColumn>> moved(order.size());
  for (int i = 0; i < count; ++i) {
    const int from = order[i];
    if (from >= 0 && from < old) {
      widths[i] = FColWidths[from];
      if (from < static_cast<int>(items.size()) && items[from])
        moved[i] = std::move(items[from]);
    }
    if (!moved[i])
      moved[i] = std::make_unique<TGridColumn>(this);
  }
  if (count < FFixedCols)
    SetFixedCols(count);
  // No model reset: the header would give every column its default width again later on.
  FModel->Store.RearrangeCols(order);
  FColCount = count;
  items = std::move(moved);
  FColWidths = std::move(widths);
  FModel->Sync();
  ApplyFixedSizes();
  SizeChanged(old, RowCount());
  Repaint();
}

QStringList TStringGridEx::Rows(int row) const {
  QStringList list;
  for (int c = 0; c < FColCount; ++c)
    list << Cells(c, row);
  return list;
}

void TStringGridEx::BeginUpdate() { ++FModel->FUpdating; }

void TStringGridEx::EndUpdate() {
  if (FModel->FUpdating > 0 && --FModel->FUpdating == 0) {
    FModel->Sync();
    Repaint();
  }
}

void TStringGridEx::AssignRow(int row, std::span<const std::string> cellsUtf8) {
  if (row < 0)
    return;
  if (row == RowCount() && FModel->FUpdating > 0 && row >= FFixedRows)
    FModel->Store.Append(); // a fill's next row: nothing to announce until EndUpdate
  else if (row >= RowCount())
    SetRowCount(row + 1);
  std::string_view views[64];
  std::vector<std::string_view> many;
  const int count = std::min(static_cast<int>(cellsUtf8.size()), FColCount);
  std::string_view* v = views;
  if (count > 64) {
    many.resize(count);
    v = many.data();
  }
  for (int i = 0; i < count; ++i)
    v[i] = cellsUtf8[i];
  FModel->Store.SetRow(row, v, count);
  FModel->RowChanged(row);
}

void TStringGridEx::AssignRow(int row, const QStringList& cells) {
  std::vector<std::string> utf8;
  const int count = std::min(static_cast<int>(cells.size()), FColCount);
  utf8.reserve(count);
  for (int i = 0; i < count; ++i)
    utf8.push_back(cells[i].toUtf8().toStdString());
  AssignRow(row, std::span<const std::string>(utf8));
}

int TStringGridEx::Col() const {
  const QModelIndex i = currentIndex();
  return i.isValid() ? GridCol(i) : FFixedCols;
}

int TStringGridEx::Row() const {
  const QModelIndex i = currentIndex();
  return i.isValid() ? GridRow(i) : FFixedRows;
}

void TStringGridEx::SetCol(int col) { FocusCell(col, Row()); }
void TStringGridEx::SetRow(int row) { FocusCell(Col(), row); }

void TStringGridEx::FocusCell(int col, int row) {
  const QModelIndex i = IndexOf(col, row);
  if (!i.isValid())
    return;
  setCurrentIndex(i);
  scrollTo(i);
}

int TStringGridEx::TopRow() const { return rowAt(0) + FFixedRows; }

bool TStringGridEx::EditorMode() const { return InplaceEditor() != nullptr; }

TInplaceEditEx* TStringGridEx::InplaceEditor() const {
  if (state() != EditingState)
    return nullptr;
  const QModelIndex i = currentIndex();
  return i.isValid() ? qobject_cast<TInplaceEditEx*>(indexWidget(i)) : nullptr;
}

void TStringGridEx::SetEditorMode(bool value) {
  if (value == EditorMode())
    return;
  if (value) {
    if (FOptions & goEditing) {
      FCaretAtEnd = false;
      QTableView::edit(currentIndex(), AllEditTriggers, nullptr);
    }
  } else if (TInplaceEditEx* ed = InplaceEditor()) {
    EditorDone(ed, false);
  }
}

void TStringGridEx::CancelEdit() {
  if (TInplaceEditEx* ed = InplaceEditor())
    EditorDone(ed, true);
}

QRect TStringGridEx::CellRect(int col, int row) const {
  QRect r;
  QWidget* on = nullptr;
  const int dc = col - FFixedCols, dr = row - FFixedRows;
  if (col < 0 || col >= FColCount || row < 0 || row >= RowCount())
    return {};
  if (dr >= 0 && dc >= 0) {
    r = visualRect(IndexOf(col, row));
    on = viewport();
  } else if (dr < 0 && dc >= 0) {
    r = QRect(FTopHeader->sectionViewportPosition(dc), 0, FTopHeader->sectionSize(dc),
              FTopHeader->height());
    on = FTopHeader->viewport();
  } else if (dc < 0 && dr >= 0) {
    r = QRect(0, FLeftHeader->sectionViewportPosition(dr), FLeftHeader->width(),
              FLeftHeader->sectionSize(dr));
    on = FLeftHeader->viewport();
  } else if (FCorner) {
    r = FCorner->rect();
    on = FCorner;
  }
  if (!on || r.isEmpty())
    return {};
  r.moveTopLeft(on->mapTo(const_cast<TStringGridEx*>(this), r.topLeft()));
  return r.intersected(rect());
}

void TStringGridEx::MouseToCell(int x, int y, int& col, int& row) const {
  col = row = -1;
  const QPoint p(x, y);
  const QPoint vp = viewport()->mapFrom(this, p);
  const QPoint hp = FTopHeader->viewport()->mapFrom(this, p);
  const QPoint lp = FLeftHeader->viewport()->mapFrom(this, p);
  const bool inTop = FTopHeader->isVisible() && FTopHeader->geometry().contains(p);
  const bool inLeft = FLeftHeader->isVisible() && FLeftHeader->geometry().contains(p);
  int dc = -1, dr = -1;
  if (inTop || viewport()->geometry().contains(p))
    dc = FTopHeader->logicalIndexAt(inTop ? hp.x() : vp.x());
  if (inLeft || viewport()->geometry().contains(p))
    dr = FLeftHeader->logicalIndexAt(inLeft ? lp.y() : vp.y());
  if (inTop)
    row = 0;
  else if (dr >= 0)
    row = dr + FFixedRows;
  if (inLeft)
    col = 0;
  else if (dc >= 0)
    col = dc + FFixedCols;
  if (FCorner && FCorner->isVisible() && FCorner->geometry().contains(p))
    col = row = 0;
}

void TStringGridEx::Repaint() {
  viewport()->update();
  FTopHeader->viewport()->update();
  FLeftHeader->viewport()->update();
  if (FCorner)
    FCorner->update();
}

void TStringGridEx::SetGridStyle(TGridStyle value) {
  if (value == FGridStyle)
    return;
  FGridStyle = value;
  Repaint();
}

void TStringGridEx::SetStripeColor(const QColor& value) {
  if (value == FStripeColor)
    return;
  FStripeColor = value;
  Repaint();
}

QColor TStringGridEx::CellColor(int col, int row) const {
  if (FGridStyle == gsStriped)
    return row % 2 == 0 ? FStripeColor : FColor;
  const TGridColumn* c = FGridColumns->Items(col);
  return c ? c->Color() : FColor;
}

QString TStringGridEx::DisplayText(int col, int row) const {
  const QString text = Cells(col, row);
  const TGridColumn* c = FGridColumns->Items(col);
  if (!c || text.isEmpty() || c->DisplayMask().isEmpty())
    return text;
  if (LooksNumeric(text)) {
    bool ok = false;
    const double v = text.toDouble(&ok);
    // Text such as "1-2" is made of number characters without being a number: shown as is.
    return ok && std::isfinite(v) ? FormatFloat(c->DisplayMask(), v) : text;
  }
  return FormatMaskText(c->DisplayMask(), text);
}

void TStringGridEx::RowText(int row, QString& text) const {
  text.clear();
  for (int c = 1; c < FColCount; ++c) {
    text += u'\t';
    text += Cells(c, row);
  }
}

bool TStringGridEx::SaveAsCommaText(const QString& fileName, TFileCode code) {
  // Written beside the target and put in its place only when complete, so a failed save never
  // destroys the file that was there.
  QSaveFile file(fileName);
  const auto fail = [&](const char* what) {
    file.cancelWriting();
    throw EInOutError(QString::fromUtf8(what).arg(fileName, file.errorString()).toStdString());
  };
  if (!file.open(QIODevice::WriteOnly))
    fail("ファイルを作成できません: %1 (%2)");
  QStringList cells;
  QByteArray bytes;
  const int rows = RowCount();
  for (int r = 0; r < rows; ++r) {
    cells = Rows(r);
    QString line = CommaText(cells);
    // An empty last cell leaves no trace.
    if (line.endsWith(u',') && !(cells.size() == 1 && cells[0].isEmpty()))
      line.chop(1);
    line += QStringLiteral("\r\n");
    qsizetype bad = 0;
    if (!EncodeFileText(line, code, bytes, &bad)) {
      // The column of the bad character: the commas before it outside quotes.
      int col = 0;
      bool quoted = false;
      for (qsizetype i = 0; i < bad; ++i)
        if (line[i] == u'"')
          quoted = !quoted;
        else if (line[i] == u',' && !quoted)
          ++col;
      file.cancelWriting();
      throw EInOutError(
          UnencodableMessage(line, bad, QStringLiteral("%1行目 %2列目").arg(r + 1).arg(col + 1))
              .toStdString());
    }
    if (bytes.size() >= (1 << 16) || r == rows - 1) {
      if (file.write(bytes) != bytes.size())
        fail("ファイルに書き込めません: %1 (%2)");
      bytes.clear();
    }
  }
  if (!file.commit())
    fail("ファイルに書き込めません: %1 (%2)");
  return true;
}

// --- drawing

namespace {

void DrawCellText(QPainter* p, const QRect& r, const QString& text, TAlignment align, bool wrap) {
  if (text.isEmpty() || r.width() <= 0 || r.height() <= 0)
    return;
  const Qt::Alignment h = HAlign(align);
  p->setClipRect(r, Qt::IntersectClip);
  const bool breaks = text.contains(u'\n') || text.contains(u'\r');
  if (!wrap && !breaks) {
    // A right-aligned number cut on its left would read as another number: its leading digits
    // stay and the end gives way to an ellipsis.
    const QString shown =
        h == Qt::AlignRight && p->fontMetrics().horizontalAdvance(text) > r.width()
            ? p->fontMetrics().elidedText(text, Qt::ElideRight, r.width())
            : text;
    p->drawText(r, int(h | Qt::AlignTop | Qt::TextSingleLine), shown);
    return;
  }
  QString t = text;
  t.replace(QStringLiteral("\r\n"), QString(QChar::LineSeparator));
  t.replace(u'\r', QChar::LineSeparator);
  t.replace(u'\n', QChar::LineSeparator);
  QTextLayout layout(t, p->font());
  QTextOption opt(h);
  opt.setWrapMode(wrap ? QTextOption::WordWrap : QTextOption::NoWrap);
  layout.setTextOption(opt);
  layout.beginLayout();
  qreal y = 0;
  for (;;) {
    QTextLine line = layout.createLine();
    if (!line.isValid())
      break;
    line.setLineWidth(r.width());
    // The first line is always drawn; later ones only when they fit whole.
    if (y > 0 && y + line.height() > r.height()) {
      line.setNumColumns(0);
      break;
    }
    line.setPosition(QPointF(0, y));
    y += line.height();
  }
  layout.endLayout();
  for (int i = 0; i < layout.lineCount(); ++i) {
    const QTextLine line = layout.lineAt(i);
    if (i > 0 && line.y() + line.height() > r.height())
      break;
    line.draw(p, r.topLeft());
  }
}

} // namespace

void TStringGridEx::PaintCell(QPainter* painter, int col, int row, const QRect& rect,
                              TGridDrawState state) {
  painter->save();
  DrawCell(painter, col, row, rect, state);
  painter->restore();
  if (state & gdFocused) {
    painter->save();
    QPen pen(palette().color(QPalette::Text));
    pen.setStyle(Qt::DotLine);
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(rect.adjusted(1, 1, -2, -2));
    painter->restore();
  }
}

void TStringGridEx::DrawCell(QPainter* canvas, int col, int row, const QRect& rect,
                             TGridDrawState state) {
  const TGridColumn* c = FGridColumns->Items(col);
  if (FDefaultDrawing && c) {
    const bool fixed = state & gdFixed;
    QString text;
    canvas->save();
    if (fixed) {
      text = Cells(col, row);
      canvas->setFont(c->FixCellFont());
      if (text.isEmpty() && row == 0)
        text = c->Caption();
      canvas->setPen(palette().color(QPalette::ButtonText));
    } else {
      canvas->fillRect(rect, CellColor(col, row));
      canvas->setFont(c->Font());
      text = DisplayText(col, row);
      canvas->setPen(palette().color(QPalette::Text));
    }
    const int d = fixed ? 3 : 2;
    DrawCellText(canvas, rect.adjusted(d, d, -d, -d), text, c->Alignment(), c->Wordwrap());
    canvas->restore();
  }
  emit OnDrawCell(canvas, col, row, rect, state);
}

void TStringGridEx::PaintCorner(QWidget* corner) {
  QPainter p(corner);
  QStyleOptionHeader opt;
  opt.initFrom(corner);
  opt.rect = corner->rect();
  opt.position = QStyleOptionHeader::OnlyOneSection;
  style()->drawControl(QStyle::CE_HeaderSection, &opt, &p, corner);
  if (FFixedRows > 0 && FFixedCols > 0 && RowCount() > 0 && FColCount > 0)
    PaintCell(&p, 0, 0, corner->rect(), gdFixed);
}

bool TStringGridEx::eventFilter(QObject* watched, QEvent* event) {
  if (watched == FCorner && event->type() == QEvent::Paint) {
    PaintCorner(FCorner);
    return true;
  }
  return QTableView::eventFilter(watched, event);
}

// --- editing

TInplaceEditEx* TStringGridEx::CreateEditor(QWidget* parent) {
  return new TInplaceEditEx(this, parent);
}

bool TStringGridEx::CanEditAcceptKey(QChar key) const {
  const TGridColumn* c = FGridColumns->Items(Col());
  if (!c || c->DataType() == dtString || !IsTypedChar(key))
    return true;
  if (key == u' ' || key == u'+' || key == u'-' || key == u'.' || (key >= u'0' && key <= u'9'))
    return true;
  return c->DataType() == dtNumber && (key == u'E' || key == u'e');
}

bool TStringGridEx::CanEditModify() const {
  const TGridColumn* c = FGridColumns->Items(Col());
  return !c || c->CanEdit();
}

QString TStringGridEx::GetEditText(int col, int row) const { return Cells(col, row); }

void TStringGridEx::SetEditText(int col, int row, const QString& value) {
  QString stored = value;
  const TGridColumn* c = FGridColumns->Items(col);
  if (c && c->DataType() == dtInteger && !value.isEmpty()) {
    if (value == u"-") {
      stored = QStringLiteral("-0");
    } else if (!CanonicalInteger(value, stored)) {
      // Undo the offending character: the previous text, caret one to the left.
      stored = Cells(col, row);
      TInplaceEditEx* ed = InplaceEditor();
      if (ed && ed->FCol == col && ed->FRow == row) {
        const int pos = ed->SelStart();
        ed->FLoading = true;
        ed->setPlainText(stored);
        ed->FLoading = false;
        ed->SetSelStart(std::max(0, pos - 1));
      }
    }
  }
  FModel->Store.SetCell(row, col, stored.toUtf8().toStdString());
  FModel->CellChanged(col, row);
  emit OnSetEditText(col, row, stored);
}

void TStringGridEx::KeyPress(QChar& key) { emit OnKeyPress(key); }

void TStringGridEx::PrepareEditor(TInplaceEditEx* editor, int col, int row) {
  const TGridColumn* c = FGridColumns->Items(col);
  editor->FCol = col;
  editor->FRow = row;
  editor->SetMultiLine(c && c->MultiLine());
  editor->SetWordWrap(c && c->Wordwrap());
  editor->setFont(c ? c->Font() : font());
  QPalette pal = editor->palette();
  pal.setColor(QPalette::Base, CellColor(col, row));
  editor->setPalette(pal);
  QTextOption opt = editor->document()->defaultTextOption();
  opt.setAlignment(HAlign(c ? c->Alignment() : taLeftJustify));
  editor->document()->setDefaultTextOption(opt);
  editor->FLoading = true;
  editor->FOriginal = GetEditText(col, row);
  editor->setPlainText(editor->FOriginal);
  editor->FLoading = false;
  editor->FModified = false;
  editor->setReadOnly(!CanEditModify());
  const TImeMode ime = c ? c->ImeMode() : imClose;
  editor->setAttribute(Qt::WA_InputMethodEnabled, ime != imDisable && !editor->isReadOnly());
  editor->setInputMethodHints(
      ime == imClose || ime == imAlpha || ime == imSAlpha ? Qt::ImhPreferLatin : Qt::ImhNone);
  if (FCaretAtEnd)
    editor->moveCursor(QTextCursor::End);
  else
    editor->selectAll();
  FCaretAtEnd = false;
}

void TStringGridEx::EditorTextChanged(TInplaceEditEx* editor) {
  SetEditText(editor->FCol, editor->FRow, editor->toPlainText());
}

void TStringGridEx::EditorEnter(TInplaceEditEx* editor) {
  const int len = static_cast<int>(editor->toPlainText().size());
  const bool atEnd = editor->SelStart() == len && editor->SelLength() == 0;
  const bool all = editor->SelLength() == len && len > 0;
  if (atEnd || all) {
    const int col = editor->FCol, row = editor->FRow;
    EditorDone(editor, false);
    if (col + 1 < FColCount)
      FocusCell(col + 1, row);
  } else {
    editor->moveCursor(QTextCursor::NextCharacter);
  }
}

void TStringGridEx::EditorMove(TInplaceEditEx* editor, int dCol, int dRow) {
  const int col = std::clamp(editor->FCol + dCol, FFixedCols, std::max(FFixedCols, FColCount - 1));
  const int row = std::clamp(editor->FRow + dRow, FFixedRows, std::max(FFixedRows, RowCount() - 1));
  const bool reopen = editor->FMultiLine;
  EditorDone(editor, false);
  FocusCell(col, row);
  if (reopen && (FOptions & goEditing)) {
    FCaretAtEnd = true;
    QTableView::edit(currentIndex(), AllEditTriggers, nullptr);
  }
}

void TStringGridEx::EditorDone(TInplaceEditEx* editor, bool cancel) {
  if (cancel) {
    if (editor->FModified) {
      editor->FModified = false;
      FModel->Store.SetCell(editor->FRow, editor->FCol, editor->FOriginal.toUtf8().toStdString());
      FModel->CellChanged(editor->FCol, editor->FRow);
      emit OnSetEditText(editor->FCol, editor->FRow, editor->FOriginal);
    }
    closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
  } else {
    commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
  }
  setFocus();
}

bool TStringGridEx::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
  if (trigger == EditKeyPressed) {
    const TGridColumn* c = FGridColumns->Items(GridCol(index));
    FCaretAtEnd = c && c->MultiLine();
  } else if (trigger != AllEditTriggers) {
    FCaretAtEnd = false;
  }
  return QTableView::edit(index, trigger, event);
}

void TStringGridEx::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
  auto* ed = qobject_cast<TInplaceEditEx*>(editor);
  const bool report = ed && ed->FCol >= 0 && hint != QAbstractItemDelegate::RevertModelCache;
  const int col = ed ? ed->FCol : -1, row = ed ? ed->FRow : -1;
  const QString original = ed ? ed->FOriginal : QString();
  if (ed)
    ed->FCol = ed->FRow = -1; // the next report of this editor would belong to no cell
  QTableView::closeEditor(editor, hint);
  if (report)
    emit OnEndEdit(col, row, original);
}

void TStringGridEx::keyPressEvent(QKeyEvent* event) {
  const QString text = event->text();
  const int key = event->key();
  if (key == Qt::Key_Return || key == Qt::Key_Enter) {
    QChar k = u'\r';
    KeyPress(k);
    if (k != QChar() && (FOptions & goEditing) && currentIndex().isValid() && !EditorMode()) {
      const TGridColumn* c = FGridColumns->Items(Col());
      FCaretAtEnd = c && c->MultiLine();
      QTableView::edit(currentIndex(), AllEditTriggers, nullptr);
    }
    event->accept();
    return;
  }
  const bool typed = text.size() == 1 && IsTypedChar(text[0]) &&
                     !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
  // A typed character that opens the editor is raised there, not twice.
  if (typed && (FOptions & goEditing) && currentIndex().isValid()) {
    QTableView::keyPressEvent(event);
    return;
  }
  if (text.size() == 1) {
    QChar k = text[0];
    KeyPress(k);
    if (k == QChar()) {
      event->accept();
      return;
    }
  }
  QTableView::keyPressEvent(event);
}

// --- drag and drop

void TStringGridEx::dragEnterEvent(QDragEnterEvent* event) { dragMoveEvent(event); }

void TStringGridEx::dragMoveEvent(QDragMoveEvent* event) {
  bool accept = false;
  const QPoint p = viewport()->mapTo(this, event->position().toPoint());
  emit OnDragOver(event->source(), p.x(), p.y(), accept);
  if (accept)
    event->acceptProposedAction();
  else
    event->ignore();
}

void TStringGridEx::dropEvent(QDropEvent* event) {
  const QPoint p = viewport()->mapTo(this, event->position().toPoint());
  event->acceptProposedAction();
  emit OnDragDrop(event->source(), p.x(), p.y());
}
