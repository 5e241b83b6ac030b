#include "GradForm.h"

#include <QLinearGradient>
#include <QPainter>

TGradientForm::TGradientForm(QWidget* parent) : QDialog(parent) {
  // Text on the gradient is light.
  QPalette pal = palette();
  pal.setColor(QPalette::WindowText, Qt::white);
  setPalette(pal);
}

void TGradientForm::paintEvent(QPaintEvent*) {
  QPainter p(this);
  QLinearGradient g(0, 0, 0, height());
  g.setColorAt(0, BeginColor);
  g.setColorAt(1, EndColor);
  p.fillRect(rect(), g);
}
