// The dialog that sets the path of the SQL*Plus program (the settings item PLUSW). Made at
// start-up and reused.
#pragma once
#include "uFileDlg.h"

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
  // The program file chooser; programs here have no extension, so every file is offered.
  TFileDialog OpenDialog{QStringLiteral("OpenDialog"), TFileDialog::dkOpen,
                         QStringLiteral("実行ファイル|*")};
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
