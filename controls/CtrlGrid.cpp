#include "CtrlGrid.h"

#include "CkBoxCel.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTextEdit>

namespace {

enum class TCellKind { DropDownList, Edit, CheckBox, Button };

TCellKind KindOf(const QWidget* control) {
  if (qobject_cast<const TCheckBoxCell*>(control))
    return TCellKind::CheckBox;
  if (qobject_cast<const QAbstractButton*>(control))
    return TCellKind::Button;
  if (auto* combo = qobject_cast<const QComboBox*>(control); combo && !combo->isEditable())
    return TCellKind::DropDownList;
  return TCellKind::Edit;
}

bool Names(int selector, int index, int count) {
  if (selector >= 0)
    return selector == index;
  if (selector == -1)
    return true;
  return index == selector + count + 1;
}

bool IsEnter(const QKeyEvent* key) {
  return (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
         !(key->modifiers() & ~Qt::KeypadModifier);
}

bool IsEscape(const QKeyEvent* key) {
  return key->key() == Qt::Key_Escape && !(key->modifiers() & ~Qt::KeypadModifier);
}

// The focus went somewhere the control's user did not take it: into a popup of the control, or
// to another window (a message box, another program). The control stays as it is.
bool PassingFocus(const QFocusEvent* event) {
  return event->reason() == Qt::PopupFocusReason || event->reason() == Qt::ActiveWindowFocusReason;
}

// The widget is the control or one of its parts, its drop-down list included.
bool Within(const QWidget* control, const QWidget* w) {
  for (; w && control; w = w->parentWidget())
    if (w == control)
      return true;
  return false;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Registry

TCtrlGridCtrls::~TCtrlGridCtrls() { ClearControls(); }

int TCtrlGridCtrls::AddControl(int aCol, int aRow, const QString& defText, QWidget* control) {
  if (!control)
    return -1;
  size_t slot = FSlots.size();
  for (size_t i = 0; i < FSlots.size() && slot == FSlots.size(); ++i)
    if (FSlots[i].Control == control)
      slot = i;
  if (slot == FSlots.size()) {
    for (size_t i = 0; i < FSlots.size() && slot == FSlots.size(); ++i)
      if (FSlots[i].UseCount == 0)
        slot = i;
    if (slot == FSlots.size())
      FSlots.emplace_back();
    FSlots[slot].Control = control;
    FSlots[slot].UseCount = 0;
    FGrid->Borrow(control);
  }
  ++FSlots[slot].UseCount;
  FItems.push_back({aCol, aRow, slot, defText});
  FGrid->Renew();
  return ControlCount() - 1;
}

void TCtrlGridCtrls::DeleteControl(int index) {
  if (index < 0 || index >= ControlCount())
    return;
  const size_t slot = FItems[static_cast<size_t>(index)].Slot;
  // A control shown by this registration puts its text into the cell before it goes.
  if (FGrid->FCurrent && FGrid->FCurrent == FSlots[slot].Control)
    FGrid->HideControl();
  FItems.erase(FItems.begin() + index);
  Release(slot);
  FGrid->Renew();
}

void TCtrlGridCtrls::ClearControls() {
  if (FItems.empty())
    return;
  FGrid->HideControl();
  const std::vector<TRegistration> items = std::move(FItems);
  FItems.clear();
  for (const TRegistration& item : items)
    Release(item.Slot);
}

void TCtrlGridCtrls::Release(size_t slot) {
  TSlot& s = FSlots[slot];
  if (--s.UseCount > 0)
    return;
  s.UseCount = 0;
  if (s.Control)
    FGrid->GiveBack(s.Control);
  s.Control = nullptr;
}

TCtrlGridItem TCtrlGridCtrls::ControlItem(int index) const {
  if (index < 0 || index >= ControlCount())
    return {};
  const TRegistration& r = FItems[static_cast<size_t>(index)];
  return {r.ACol, r.ARow, FSlots[r.Slot].Control, r.DefText};
}

QWidget* TCtrlGridCtrls::FindControl(int col, int row, QString* defText) const {
  const int cols = FGrid->ColCount(), rows = FGrid->RowCount();
  if (col < 0 || row < 0 || col >= cols || row >= rows)
    return nullptr;
  for (const TRegistration& r : FItems)
    if (Names(r.ACol, col, cols) && Names(r.ARow, row, rows)) {
      QWidget* control = FSlots[r.Slot].Control;
      if (!control)
        continue; // destroyed while registered
      if (defText)
        *defText = r.DefText;
      return control;
    }
  return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Grid

TCtrlGrid::TCtrlGrid(QWidget* parent) : TStringGridEx(parent) {
  TStringGridEx::SetOptions(goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine |
                            goEditing);
  connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this] { Follow(); });
}

TCtrlGrid::~TCtrlGrid() {
  // The borrowed controls outlive the grid: they get their own handling back, hidden.
  FCurrent = nullptr;
  FControls.ClearControls();
}

void TCtrlGrid::Borrow(QWidget* control) {
  control->installEventFilter(this);
  for (QWidget* child : control->findChildren<QWidget*>())
    if (child->window() == control->window())
      child->installEventFilter(this);
  control->hide();
}

void TCtrlGrid::GiveBack(QWidget* control) {
  if (control == FCurrent)
    FCurrent = nullptr;
  control->removeEventFilter(this);
  for (QWidget* child : control->findChildren<QWidget*>())
    child->removeEventFilter(this);
  control->hide();
}

void TCtrlGrid::SetShowControls(bool value) {
  FShowControls = value;
  Renew();
}

void TCtrlGrid::SetOptions(TGridOptions value) {
  TStringGridEx::SetOptions(value);
  Renew();
}

QStringList TCtrlGrid::ColTitles() const {
  QStringList titles;
  if (RowCount() > 0)
    for (int c = 0; c < ColCount(); ++c)
      titles << Cells(c, 0);
  return titles;
}

void TCtrlGrid::SetColTitles(const QStringList& titles) {
  for (int c = 0; c < ColCount(); ++c)
    SetCells(c, 0, titles.value(c));
}

QStringList TCtrlGrid::RowTitles() const {
  QStringList titles;
  if (ColCount() > 0)
    for (int r = 0; r < RowCount(); ++r)
      titles << Cells(0, r);
  return titles;
}

void TCtrlGrid::SetRowTitles(const QStringList& titles) {
  for (int r = 0; r < RowCount(); ++r)
    SetCells(0, r, titles.value(r));
}

QWidget* TCtrlGrid::ControlHost() const { return parentWidget(); }

bool TCtrlGrid::CellInView(int col, int row) const {
  if (col < FixedCols() || row < FixedRows() || col >= ColCount() || row >= RowCount())
    return false;
  const int mc = col - FixedCols(), mr = row - FixedRows();
  const int x = columnViewportPosition(mc), y = rowViewportPosition(mr);
  const int w = columnWidth(mc), h = rowHeight(mr);
  const QRect view = viewport()->rect();
  if (w <= 0 || h <= 0 || x < 0 || y < 0)
    return false;
  // A cell wider or higher than the view counts once its start is in view.
  const bool across = x + w <= view.width() || (w > view.width() && x < view.width());
  const bool down = y + h <= view.height() || (h > view.height() && y < view.height());
  return across && down;
}

QRect TCtrlGrid::ControlRect(int col, int row) const {
  const QRect cell = visualRect(model()->index(row - FixedRows(), col - FixedCols()));
  QWidget* host = ControlHost();
  const QPoint at = viewport()->mapTo(host ? host : const_cast<TCtrlGrid*>(this), cell.topLeft());
  return {at.x() + 1, at.y() + 1, cell.width() + 2, cell.height() + 2};
}

QString TCtrlGrid::ControlText(QWidget* control) const {
  if (auto* box = qobject_cast<TCheckBoxCell*>(control))
    return box->Text();
  if (auto* button = qobject_cast<QAbstractButton*>(control))
    return button->text();
  if (auto* combo = qobject_cast<QComboBox*>(control)) {
    // A list that was given a text it has no item for keeps that text until a choice is made.
    if (!combo->isEditable() && combo->currentIndex() < 0)
      return control == FCurrent ? FLoadedText : QString();
    return combo->currentText();
  }
  if (auto* edit = qobject_cast<QLineEdit*>(control))
    return edit->text();
  if (auto* spin = qobject_cast<QSpinBox*>(control))
    return spin->cleanText();
  if (auto* spin = qobject_cast<QDoubleSpinBox*>(control))
    return spin->cleanText();
  if (auto* spin = qobject_cast<QAbstractSpinBox*>(control))
    return spin->text();
  if (auto* edit = qobject_cast<QPlainTextEdit*>(control))
    return edit->toPlainText();
  if (auto* edit = qobject_cast<QTextEdit*>(control))
    return edit->toPlainText();
  return control->property("text").toString();
}

void TCtrlGrid::LoadText(QWidget* control, const QString& text) {
  if (control == FCurrent)
    FLoadedText = text;
  if (auto* box = qobject_cast<TCheckBoxCell*>(control)) {
    box->SetText(text);
  } else if (qobject_cast<QAbstractButton*>(control)) {
    // A button keeps its caption.
  } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
    const int index = text.isEmpty() ? -1 : combo->findText(text, Qt::MatchExactly);
    if (combo->isEditable()) {
      combo->setCurrentIndex(index);
      combo->setEditText(text);
    } else {
      // Shown while no item is chosen, so the cell's text is what the user sees. Set first: an
      // empty placeholder makes a list without a choice choose its first item.
      combo->setPlaceholderText(index < 0 ? text : QString());
      combo->setCurrentIndex(index);
    }
  } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
    edit->setText(text);
  } else if (auto* spin = qobject_cast<QSpinBox*>(control)) {
    bool ok = false;
    const int v = text.toInt(&ok);
    if (ok)
      spin->setValue(v);
    else
      spin->clear();
  } else if (auto* spin = qobject_cast<QDoubleSpinBox*>(control)) {
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (ok)
      spin->setValue(v);
    else
      spin->clear();
  } else if (auto* edit = qobject_cast<QPlainTextEdit*>(control)) {
    edit->setPlainText(text);
  } else if (auto* edit = qobject_cast<QTextEdit*>(control)) {
    edit->setPlainText(text);
  } else {
    control->setProperty("text", text);
  }
}

void TCtrlGrid::HideControl() {
  QWidget* control = FCurrent;
  if (!control || FHiding)
    return;
  FHiding = true;
  const int col = FCurCol, row = FCurRow;
  QString text = ControlText(control);
  emit OnControlHide(this, col, row, control, text);
  if (control->isVisible()) {
    // The focus stays in the grid rather than jumping to whatever comes next on the form.
    if (Within(control, QApplication::focusWidget()))
      setFocus(Qt::OtherFocusReason);
    control->hide();
  }
  FCurrent = nullptr;
  FCurCol = FCurRow = -1;
  FLoadedText.clear();
  FCancel = false;
  FButtonTracking = FButtonPressed = FSpacePressed = false;
  FHiding = false;
  if (col >= 0 && row >= 0 && col < ColCount() && row < RowCount())
    SetEditText(col, row, text);
}

void TCtrlGrid::ShowControl(int col, int row) {
  if (FHiding)
    return;
  QWidget* control = FindControl(col, row);
  if (!control || !(Options() & goEditing) || !FShowControls || !CellInView(col, row))
    return;
  if (FCurrent)
    HideControl();
  if (EditorMode())
    SetEditorMode(false);
  QWidget* host = ControlHost();
  QWidget* parent = host ? host : this;
  if (control->parentWidget() != parent) {
    control->setParent(parent);
    // Reparenting may have created children the grid has not seen yet.
    Borrow(control);
  }
  control->setGeometry(ControlRect(col, row));
  FCurrent = control;
  FCurCol = col;
  FCurRow = row;
  if (KindOf(control) != TCellKind::Button) {
    control->show();
    control->raise();
    LoadText(control, Cells(col, row));
  }
  emit OnControlShow(this, control, ControlText(control));
}

void TCtrlGrid::Renew() {
  if (FHiding)
    return;
  HideControl();
  ShowControl(Col(), Row());
}

void TCtrlGrid::Follow() {
  if (FHiding)
    return;
  if (FCurrent && FCurCol == Col() && FCurRow == Row() && CellInView(FCurCol, FCurRow)) {
    FCurrent->setGeometry(ControlRect(FCurCol, FCurRow));
    return;
  }
  Renew();
}

QWidget* TCtrlGrid::ShownHere() const {
  return FCurrent && FCurCol == Col() && FCurRow == Row() ? FCurrent.data() : nullptr;
}

void TCtrlGrid::EnterControl(bool focus) {
  QWidget* control = FCurrent;
  if (!control)
    return;
  QString defText;
  FindControl(FCurCol, FCurRow, &defText);
  if (Cells(FCurCol, FCurRow).isEmpty()) {
    if (auto* combo = qobject_cast<QComboBox*>(control); combo && !combo->isEditable()) {
      FLoadedText.clear();
      combo->setPlaceholderText(QString());
      combo->setCurrentIndex(defText.isEmpty() ? -1 : combo->findText(defText, Qt::MatchExactly));
    } else if (KindOf(control) == TCellKind::Edit) {
      LoadText(control, defText);
    }
  }
  if (focus)
    control->setFocus(Qt::OtherFocusReason);
}

void TCtrlGrid::RepaintCell(int col, int row) {
  if (col < FixedCols() || row < FixedRows())
    return;
  const int mc = col - FixedCols(), mr = row - FixedRows();
  viewport()->repaint(columnViewportPosition(mc), rowViewportPosition(mr), columnWidth(mc),
                      rowHeight(mr));
}

void TCtrlGrid::ClickLater(QAbstractButton* button) {
  // The button's handler may open a window: it runs once the grid's own handler has returned.
  QMetaObject::invokeMethod(
      button, [button] { button->click(); }, Qt::QueuedConnection);
}

void TCtrlGrid::PressButton(QAbstractButton* button) {
  FButtonPressed = true;
  RepaintCell(FCurCol, FCurRow);
  FButtonPressed = false;
  RepaintCell(FCurCol, FCurRow);
  ClickLater(button);
}

void TCtrlGrid::DrawCell(QPainter* canvas, int col, int row, const QRect& rect,
                         TGridDrawState state) {
  QWidget* control = (state & gdFixed) ? nullptr : FindControl(col, row);
  if (!control || !DefaultDrawing()) {
    TStringGridEx::DrawCell(canvas, col, row, rect, state);
    return;
  }
  if (auto* box = qobject_cast<TCheckBoxCell*>(control)) {
    canvas->fillRect(rect, Color());
    if (Cells(col, row) == u"1")
      DrawCheckMark(canvas, rect, box->CheckColor());
  } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
    const bool down = FButtonPressed && col == FCurCol && row == FCurRow;
    QStyleOptionButton opt;
    opt.initFrom(this);
    opt.rect = rect;
    opt.text = button->text();
    opt.icon = button->icon();
    opt.iconSize = button->iconSize();
    opt.fontMetrics = QFontMetrics(button->font());
    opt.state = QStyle::State_Enabled | (down ? QStyle::State_Sunken : QStyle::State_Raised);
    canvas->save();
    canvas->setFont(button->font());
    style()->drawControl(QStyle::CE_PushButton, &opt, canvas, this);
    canvas->restore();
  } else {
    TStringGridEx::DrawCell(canvas, col, row, rect, state);
    return;
  }
  emit OnDrawCell(canvas, col, row, rect, state);
}

void TCtrlGrid::SizeChanged(int oldColCount, int oldRowCount) {
  TStringGridEx::SizeChanged(oldColCount, oldRowCount);
  Renew();
}

bool TCtrlGrid::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
  // A cell with a control is never edited in the grid's own editor.
  if (index.isValid() &&
      FindControl(index.column() + FixedCols(), index.row() + FixedRows()) != nullptr)
    return false;
  return TStringGridEx::edit(index, trigger, event);
}

void TCtrlGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  TStringGridEx::currentChanged(current, previous);
  Renew();
}

void TCtrlGrid::scrollContentsBy(int dx, int dy) {
  TStringGridEx::scrollContentsBy(dx, dy);
  Follow();
}

void TCtrlGrid::keyPressEvent(QKeyEvent* event) {
  QWidget* control = ShownHere();
  if (IsEnter(event) && (control || FindControl(Col(), Row()))) {
    event->accept();
    if (!control)
      return;
    switch (KindOf(control)) {
    case TCellKind::CheckBox:
      break;
    case TCellKind::Button:
      PressButton(static_cast<QAbstractButton*>(control));
      break;
    default:
      EnterControl(true);
      break;
    }
    return;
  }
  if (control && event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
    if (auto* button = qobject_cast<QAbstractButton*>(control);
        button && KindOf(control) == TCellKind::Button) {
      event->accept();
      if (!event->isAutoRepeat()) {
        FSpacePressed = FButtonPressed = true;
        RepaintCell(FCurCol, FCurRow);
      }
      return;
    }
    if (auto* box = qobject_cast<TCheckBoxCell*>(control)) {
      event->accept();
      box->Click();
      return;
    }
  }
  TStringGridEx::keyPressEvent(event);
}

void TCtrlGrid::keyReleaseEvent(QKeyEvent* event) {
  if (FSpacePressed && event->key() == Qt::Key_Space && !event->isAutoRepeat()) {
    FSpacePressed = FButtonPressed = false;
    event->accept();
    if (auto* button = qobject_cast<QAbstractButton*>(ShownHere())) {
      RepaintCell(FCurCol, FCurRow);
      ClickLater(button);
    }
    return;
  }
  TStringGridEx::keyReleaseEvent(event);
}

void TCtrlGrid::focusInEvent(QFocusEvent* event) {
  TStringGridEx::focusInEvent(event);
  Renew();
}

void TCtrlGrid::focusOutEvent(QFocusEvent* event) {
  TStringGridEx::focusOutEvent(event);
  if (!FCurrent || FHiding || PassingFocus(event))
    return;
  if (Within(FCurrent, QApplication::focusWidget())) {
    if (KindOf(FCurrent) != TCellKind::CheckBox)
      EnterControl(false);
  } else {
    HideControl();
  }
}

void TCtrlGrid::moveEvent(QMoveEvent* event) {
  TStringGridEx::moveEvent(event);
  if (FCurrent)
    FCurrent->setGeometry(ControlRect(FCurCol, FCurRow));
}

void TCtrlGrid::resizeEvent(QResizeEvent* event) {
  TStringGridEx::resizeEvent(event);
  Follow();
}

void TCtrlGrid::changeEvent(QEvent* event) {
  TStringGridEx::changeEvent(event);
  // The grid's font is the font of its cells, titles included.
  if (event->type() == QEvent::FontChange)
    for (int c = 0; c < GridColumns()->Count(); ++c) {
      GridColumns()->Items(c)->SetFont(font());
      GridColumns()->Items(c)->SetFixCellFont(font());
    }
}

void TCtrlGrid::mousePressEvent(QMouseEvent* event) {
  TStringGridEx::mousePressEvent(event);
  if (event->button() != Qt::LeftButton)
    return;
  const QModelIndex at = indexAt(event->position().toPoint());
  if (!at.isValid() || at != currentIndex())
    return;
  if (qobject_cast<QAbstractButton*>(ShownHere()) && KindOf(FCurrent) == TCellKind::Button) {
    FButtonTracking = FButtonPressed = true;
    RepaintCell(FCurCol, FCurRow);
  }
}

void TCtrlGrid::mouseMoveEvent(QMouseEvent* event) {
  if (!FButtonTracking) {
    TStringGridEx::mouseMoveEvent(event);
    return;
  }
  const bool over = indexAt(event->position().toPoint()) == currentIndex();
  if (over != FButtonPressed) {
    FButtonPressed = over;
    RepaintCell(FCurCol, FCurRow);
  }
  event->accept();
}

void TCtrlGrid::mouseReleaseEvent(QMouseEvent* event) {
  if (!FButtonTracking) {
    TStringGridEx::mouseReleaseEvent(event);
    return;
  }
  FButtonTracking = false;
  const bool click = FButtonPressed && event->button() == Qt::LeftButton;
  FButtonPressed = false;
  RepaintCell(FCurCol, FCurRow);
  event->accept();
  if (auto* button = qobject_cast<QAbstractButton*>(ShownHere()); button && click)
    ClickLater(button);
}

void TCtrlGrid::mouseDoubleClickEvent(QMouseEvent* event) {
  // The second press of a double click on a button cell is one more press of the button.
  if (qobject_cast<QAbstractButton*>(ShownHere()) && KindOf(FCurrent) == TCellKind::Button &&
      indexAt(event->position().toPoint()) == currentIndex()) {
    mousePressEvent(event);
    return;
  }
  TStringGridEx::mouseDoubleClickEvent(event);
}

void TCtrlGrid::dragMoveEvent(QDragMoveEvent* event) {
  FDragData = event->mimeData();
  TStringGridEx::dragMoveEvent(event);
  FDragData = nullptr;
}

void TCtrlGrid::dropEvent(QDropEvent* event) {
  FDragData = event->mimeData();
  TStringGridEx::dropEvent(event);
  FDragData = nullptr;
}

bool TCtrlGrid::eventFilter(QObject* watched, QEvent* event) {
  auto* w = qobject_cast<QWidget*>(watched);
  if (w && FCurrent && Within(FCurrent, w) && w->window() == FCurrent->window() &&
      ControlEvent(w, event))
    return true;
  return TStringGridEx::eventFilter(watched, event);
}

bool TCtrlGrid::ControlEvent(QWidget*, QEvent* event) {
  switch (event->type()) {
  case QEvent::ShortcutOverride: {
    // Enter and Esc belong to the control, never to a shortcut or default button of the form.
    auto* key = static_cast<QKeyEvent*>(event);
    if (IsEnter(key) || IsEscape(key)) {
      event->accept();
      return true;
    }
    return false;
  }
  case QEvent::KeyPress: {
    auto* key = static_cast<QKeyEvent*>(event);
    if (IsEscape(key))
      FCancel = true;
    else if (!IsEnter(key))
      return false;
    setFocus(Qt::OtherFocusReason);
    return true;
  }
  case QEvent::FocusOut: {
    auto* focus = static_cast<QFocusEvent*>(event);
    if (!FHiding && !PassingFocus(focus) && !Within(FCurrent, QApplication::focusWidget()))
      ControlExit();
    return false;
  }
  default:
    return false;
  }
}

void TCtrlGrid::ControlExit() {
  if (FCancel) {
    FCancel = false;
    LoadText(FCurrent, Cells(FCurCol, FCurRow));
  }
  HideControl();
}
