#include "CkBoxCel.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

void DrawCheckMark(QPainter* painter, const QRect& rect, const QColor& color) {
  const int side = std::max(6, std::min({rect.width(), rect.height(), 16}) - 6);
  const QPointF c = QRectF(rect).center();
  const qreal h = side / 2.0;
  const QPointF points[] = {
      {c.x() - h, c.y()}, {c.x() - h / 3, c.y() + h * 2 / 3}, {c.x() + h, c.y() - h * 2 / 3}};
  painter->save();
  painter->setRenderHint(QPainter::Antialiasing);
  QPen pen(color, 2);
  pen.setCapStyle(Qt::RoundCap);
  pen.setJoinStyle(Qt::RoundJoin);
  painter->setPen(pen);
  painter->drawPolyline(points, 3);
  painter->restore();
}

TCheckBoxCell::TCheckBoxCell(QWidget* parent) : QWidget(parent) {
  resize(16, 16);
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TCheckBoxCell::SetChecked(bool value) {
  if (value == FChecked)
    return;
  FChecked = value;
  update();
  emit Toggled(FChecked);
}

void TCheckBoxCell::SetCheckColor(const QColor& value) {
  FCheckColor = value;
  update();
}

void TCheckBoxCell::Click() {
  SetChecked(!FChecked);
  emit OnClick();
}

void TCheckBoxCell::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), palette().color(QPalette::Base));
  if (hasFocus()) {
    QStyleOptionFocusRect opt;
    opt.initFrom(this);
    opt.rect = rect().adjusted(1, 1, -1, -1);
    opt.backgroundColor = palette().color(QPalette::Base);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &opt, &p, this);
  }
  if (FChecked)
    DrawCheckMark(&p, rect(), isEnabled() ? FCheckColor : palette().color(QPalette::Button));
}

void TCheckBoxCell::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton)
    FPressed = true;
  event->accept();
}

void TCheckBoxCell::mouseReleaseEvent(QMouseEvent* event) {
  const bool click =
      FPressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
  FPressed = false;
  event->accept();
  if (click)
    Click();
}

void TCheckBoxCell::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
  case Qt::Key_Left:
  case Qt::Key_Right:
  case Qt::Key_Up:
  case Qt::Key_Down:
    event->accept(); // arrows do not act on the box, nor move the focus
    return;
  case Qt::Key_Space:
    if (event->modifiers() == Qt::NoModifier) {
      Click();
      return;
    }
    break;
  default:
    break;
  }
  QWidget::keyPressEvent(event);
}
