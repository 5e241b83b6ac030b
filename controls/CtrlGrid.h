// A string grid in which chosen cells are edited through another control placed over the
// current cell (a drop-down list, an edit, a spin box, a TCheckBoxCell) instead of the grid's
// own text editor; a cell may also act as a push button. The controls are ordinary controls of
// the form: the grid borrows them while they are registered.
//
//   grid->AddControl(-1, 2, QString(), combo); // row 2 of every column, also of later ones
//
// Selectors: 0 or more names that column (row), -1 every one, -2 the last, -3 the one before
// it, and so on. The first registration naming a cell wins.
//
// The shown control follows the current cell. Its text goes into the cell through the grid's
// ordinary edit-text path (OnSetEditText) whenever it is hidden: when another cell becomes
// current, on scrolling, when it loses the focus. Enter in the control keeps the choice and
// Esc discards it; both give the focus back to the grid.
#pragma once
#include "StringGridEx.h"

#include <QPointer>
#include <memory>
#include <vector>

class QAbstractButton;
class QMimeData;
class TCtrlGrid;

// One registration, as ControlItem reports it.
struct TCtrlGridItem {
  int ACol = 0;
  int ARow = 0;
  QWidget* Control = nullptr;
  QString DefText;
};

// The registrations of one grid, in order, and a slot per distinct control they borrow.
class TCtrlGridCtrls {
public:
  explicit TCtrlGridCtrls(TCtrlGrid* grid) : FGrid(grid) {}
  ~TCtrlGridCtrls();
  TCtrlGridCtrls(const TCtrlGridCtrls&) = delete;
  TCtrlGridCtrls& operator=(const TCtrlGridCtrls&) = delete;

  // Returns the registration's index.
  int AddControl(int aCol, int aRow, const QString& defText, QWidget* control);
  void DeleteControl(int index);
  void ClearControls();
  int ControlCount() const { return static_cast<int>(FItems.size()); }
  TCtrlGridItem ControlItem(int index) const;
  // The control of the first registration naming the cell (null when none) and its default text.
  QWidget* FindControl(int col, int row, QString* defText = nullptr) const;

private:
  struct TRegistration {
    int ACol;
    int ARow;
    size_t Slot;
    QString DefText;
  };
  struct TSlot {
    QPointer<QWidget> Control;
    int UseCount = 0;
  };
  void Release(size_t slot);

  TCtrlGrid* FGrid;
  std::vector<TRegistration> FItems;
  std::vector<TSlot> FSlots;
};

class TCtrlGrid : public TStringGridEx {
  Q_OBJECT
public:
  explicit TCtrlGrid(QWidget* parent = nullptr);
  ~TCtrlGrid() override;

  // Whether registered controls are shown at all; true shows the current cell's at once.
  bool ShowControls() const { return FShowControls; }
  void SetShowControls(bool value);
  // The texts of row 0 and of column 0.
  QStringList ColTitles() const;
  void SetColTitles(const QStringList& titles);
  QStringList RowTitles() const;
  void SetRowTitles(const QStringList& titles);
  // Controls are shown only while goEditing is among the options.
  void SetOptions(TGridOptions value);

  TCtrlGridCtrls& Controls() { return FControls; }
  int AddControl(int aCol, int aRow, const QString& defText, QWidget* control) {
    return FControls.AddControl(aCol, aRow, defText, control);
  }
  void DeleteControl(int index) { FControls.DeleteControl(index); }
  void ClearControls() { FControls.ClearControls(); }
  int ControlCount() const { return FControls.ControlCount(); }
  TCtrlGridItem ControlItem(int index) const { return FControls.ControlItem(index); }
  QWidget* FindControl(int col, int row, QString* defText = nullptr) const {
    return FControls.FindControl(col, row, defText);
  }

  // Stores the shown control's text into its cell and hides it.
  void HideControl();
  // Places the cell's control over the cell, when it has one, cell editing is on, ShowControls
  // is true and the cell is in view. The control does not get the focus.
  void ShowControl(int col, int row);
  // The control placed over a cell now (null when none), and that cell.
  QWidget* CurrentControl() const { return FCurrent; }
  int ControlCol() const { return FCurCol; }
  int ControlRow() const { return FCurRow; }
  // Whether a button cell is drawn pressed.
  bool ButtonDown() const { return FButtonPressed; }

  // The dragged data while OnDragOver and OnDragDrop run; null otherwise.
  const QMimeData* DragData() const { return FDragData; }

signals:
  // After a control was placed over a cell; text is the control's text.
  void OnControlShow(TCtrlGrid* grid, QWidget* control, const QString& text);
  // Before a control's text is stored into its cell; the handler may change the text.
  void OnControlHide(TCtrlGrid* grid, int col, int row, QWidget* control, QString& text);

protected:
  void DrawCell(QPainter* canvas, int col, int row, const QRect& rect,
                TGridDrawState state) override;
  void SizeChanged(int oldColCount, int oldRowCount) override;
  bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
  void scrollContentsBy(int dx, int dy) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  friend class TCtrlGridCtrls;
  // A control taken into a slot: the grid sees its keys and focus first; hidden until shown.
  void Borrow(QWidget* control);
  void GiveBack(QWidget* control);
  // The cell lies in the visible part of the grid.
  bool CellInView(int col, int row) const;
  QRect ControlRect(int col, int row) const;
  QWidget* ControlHost() const;
  // Hides the control and shows the current cell's.
  void Renew();
  // As Renew, but a control that stays over its cell is only moved, keeping its focus.
  void Follow();
  // The control of the current cell, when one is shown there.
  QWidget* ShownHere() const;
  // The registration's default text into a control whose cell is empty; focus when asked.
  void EnterControl(bool focus);
  void PressButton(QAbstractButton* button);
  void ClickLater(QAbstractButton* button);
  void RepaintCell(int col, int row);
  bool ControlEvent(QWidget* watched, QEvent* event);
  void ControlExit();
  void LoadText(QWidget* control, const QString& text);
  QString ControlText(QWidget* control) const;

  TCtrlGridCtrls FControls{this};
  QPointer<QWidget> FCurrent;
  int FCurCol = -1;
  int FCurRow = -1;
  QString FLoadedText; // what the shown control was given, for a list that has no such item
  bool FShowControls = true;
  bool FButtonTracking = false;
  bool FButtonPressed = false;
  bool FSpacePressed = false;
  bool FCancel = false;
  bool FHiding = false;
  const QMimeData* FDragData = nullptr;
};
