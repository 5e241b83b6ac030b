// The dummy data dialog: the number of rows and, per column of the table, a fixed value, an
// increment and the condition that chooses how the column's value is made. Made once at
// start-up; what the user typed stays from one use to the next.
#pragma once
#include <QDialog>
#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TCtrlGrid;

class TfCrtDummy : public QDialog {
  Q_OBJECT
public:
  // Rows of cgrFields.
  enum { rowField = 0, rowFixed = 1, rowIncrement = 2, rowCondition = 3 };

  explicit TfCrtDummy(QWidget* parent = nullptr);

  QLabel* lblTableName;
  QLineEdit* edtKEISU; // the row count, at most 7 digits
  QLabel* Label1;      // "件を作成します。よろしいですか？"
  TCtrlGrid* cgrFields;
  QComboBox* cboSearch; // the condition, shown in row 3 of every column
  QPushButton* btnOK;
  QPushButton* btnCancel;

  // Test seam: when set, the modal run hands it the dialog from inside its loop.
  static std::function<void(TfCrtDummy& dlg)> TestDriver;
  // Runs the dialog modally; true when it closed with OK.
  bool Execute();

  // Whether the dialog may close: the row count is given and every increment is digits only.
  // Otherwise the message is shown and the offending field gets the focus.
  bool FormCloseQuery();

public slots:
  void btnCancelClick();

protected:
  void FormCreate();
  void done(int result) override;
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;

private:
  bool FCancelClose = false; // the close that follows a click on btnCancel
};
