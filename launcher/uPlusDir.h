// The dialog that sets the path of the SQL*Plus program (the settings item PLUSW). Made at
// start-up and reused.
#pragma once
#include <QDialog>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class TRegManager;

class TfPlusDir : public QDialog {
  Q_OBJECT
public:
  explicit TfPlusDir(QWidget* parent = nullptr);

  QLabel* Label1;
  QLineEdit* edPlus;
  QToolButton* SpeedButton1;
  QPushButton* Button1;
  QPushButton* Button2;

  // The store holding PLUSW; set by the owner before the dialog is run.
  TRegManager* RegMan = nullptr;
  // The program file chooser (OpenDialog): the proposed name in, the chosen path out, empty
  // when cancelled. Tests put their own here.
  static std::function<QString(QWidget* parent, const QString& proposed)> OpenDialog;
  // Test seam: when set, the modal run hands it the dialog from inside its loop.
  static std::function<void(TfPlusDir& dlg)> TestDriver;
  // Runs the dialog modally; true when it closed with OK.
  bool Execute();

  // What the dialog offers while PLUSW is empty: the SQL shell beside the program.
  static QString ProposedProgram();

public slots:
  void Button1Click();
  void SpeedButton1Click();

protected:
  void FormShow();
  void showEvent(QShowEvent* event) override;
};
