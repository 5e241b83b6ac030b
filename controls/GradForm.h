// Base of the program's dialogs that are painted with a vertical colour gradient.
#pragma once
#include <QColor>
#include <QDialog>

class TGradientForm : public QDialog {
  Q_OBJECT
public:
  explicit TGradientForm(QWidget* parent = nullptr);

  QColor BeginColor{0, 40, 140}; // top
  QColor EndColor{0, 0, 0};      // bottom

protected:
  void paintEvent(QPaintEvent* event) override;
};
