// The version dialog: the program's version and this machine's system information.
#pragma once
#include "GradForm.h"

#include <functional>

class QLabel;
class QPushButton;

class TfVersion : public TGradientForm {
  Q_OBJECT
public:
  explicit TfVersion(QWidget* parent = nullptr);

  QLabel* Image1;
  QLabel* Label1; // "Tessel3"
  QLabel* Version;
  QLabel* Label2; // "UPDATE 1999.09.25"
  QLabel* Label5;
  QLabel* Label6;
  QLabel* Label7;
  QLabel* Label8;
  QPushButton* btnOK;

  // Test seam: when set, the modal run hands it the dialog from inside its loop.
  static std::function<void(TfVersion& dlg)> TestDriver;
  // Runs the dialog modally (through TestDriver when one is set).
  int Execute();

protected:
  void FormShow();
  void showEvent(QShowEvent* event) override;
};
