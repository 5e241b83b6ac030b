// The options of the table script: the folder the script goes to (the temporary-files folder
// when the dialog opens) and whether a DROP TABLE statement comes first. A new dialog for each
// use.
#pragma once
#include <QDialog>
#include <functional>

class QCheckBox;
class QGroupBox;
class QPushButton;
class TFolderTreeViewEx;

class TfSCRDLG : public QDialog {
  Q_OBJECT
public:
  explicit TfSCRDLG(QWidget* parent = nullptr);

  TFolderTreeViewEx* fldSCR;
  QGroupBox* GroupBox1;
  QCheckBox* chkDROP;
  QPushButton* Button1; // OK
  QPushButton* Button2; // Cancel

  // Test seam: when set, the modal run hands it the dialog from inside its loop.
  static std::function<void(TfSCRDLG& dlg)> TestDriver;
  // Runs the dialog modally; true when it closed with OK.
  bool Execute();

protected:
  void FormShow();
  void showEvent(QShowEvent* event) override;
};
