#include "uPictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <functional>

namespace {

QPixmap Draw(int size, const std::function<void(QPainter&, double)>& paint) {
  QPixmap pm(size, size);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const double unit = size / 16.0; // pictures are drawn on a 16 x 16 grid
  p.scale(unit, unit);
  paint(p, unit);
  return pm;
}

QIcon Icon(const std::function<void(QPainter&, double)>& paint) {
  QIcon icon;
  for (int size : {16, 24, 32})
    icon.addPixmap(Draw(size, paint));
  return icon;
}

QPen Pen(const QColor& c, double width = 1.0) {
  return QPen(c, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void Database(QPainter& p, const QColor& body) {
  p.setPen(Pen(QColor(40, 60, 90), 0.8));
  p.setBrush(body);
  QPainterPath path;
  path.moveTo(2, 4);
  path.lineTo(2, 12);
  path.arcTo(2, 10, 9, 4, 180, 180);
  path.lineTo(11, 4);
  path.closeSubpath();
  p.drawPath(path);
  p.setBrush(body.lighter(130));
  p.drawEllipse(QRectF(2, 2, 9, 4));
}

void Sheet(QPainter& p) {
  p.setPen(Pen(QColor(90, 90, 90), 0.8));
  p.setBrush(Qt::white);
  p.drawRect(QRectF(3, 1.5, 10, 13));
}

void Folder(QPainter& p, bool open) {
  p.setPen(Pen(QColor(150, 110, 20), 0.8));
  p.setBrush(QColor(240, 200, 80));
  p.drawRect(QRectF(1.5, 4, 13, 9.5));
  p.drawRect(QRectF(1.5, 2.5, 5, 2));
  if (open) {
    p.setBrush(QColor(255, 225, 130));
    QPolygonF flap({QPointF(3.5, 7), QPointF(15, 7), QPointF(13, 13.5), QPointF(1.5, 13.5)});
    p.drawPolygon(flap);
  }
}

} // namespace

QPixmap EmblemPicture(int size) {
  return Draw(size, [](QPainter& p, double) {
    // A tessellation of four tiles in a rounded frame.
    QLinearGradient bg(0, 0, 16, 16);
    bg.setColorAt(0, QColor(30, 70, 160));
    bg.setColorAt(1, QColor(10, 25, 70));
    p.setPen(Qt::NoPen);
    p.setBrush(bg);
    p.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 3, 3);
    const QColor tiles[] = {QColor(250, 200, 60), QColor(90, 200, 240), QColor(90, 200, 240),
                            QColor(250, 200, 60)};
    for (int i = 0; i < 4; ++i) {
      const double x = 3 + (i % 2) * 5.2, y = 3 + (i / 2) * 5.2;
      p.setBrush(tiles[i]);
      p.drawRoundedRect(QRectF(x, y, 4.8, 4.8), 1, 1);
    }
  });
}

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 22, 32, 48, 64})
    icon.addPixmap(EmblemPicture(size));
  return icon;
}

QIcon ToolPicture(TToolPicture kind) {
  switch (kind) {
  case TToolPicture::Connect:
    return Icon([](QPainter& p, double) {
      Database(p, QColor(90, 150, 220));
      p.setPen(Pen(QColor(0, 140, 40), 2));
      p.drawLine(QPointF(9, 11), QPointF(11.5, 13.5));
      p.drawLine(QPointF(11.5, 13.5), QPointF(15, 8));
    });
  case TToolPicture::Disconnect:
    return Icon([](QPainter& p, double) {
      Database(p, QColor(150, 160, 175));
      p.setPen(Pen(QColor(200, 30, 30), 2));
      p.drawLine(QPointF(9.5, 8.5), QPointF(14.5, 13.5));
      p.drawLine(QPointF(14.5, 8.5), QPointF(9.5, 13.5));
    });
  case TToolPicture::ViewTable:
    return Icon([](QPainter& p, double) {
      p.setPen(Pen(QColor(60, 60, 60), 0.8));
      p.setBrush(Qt::white);
      p.drawRect(QRectF(1.5, 2.5, 13, 11));
      p.setBrush(QColor(70, 110, 190));
      p.drawRect(QRectF(1.5, 2.5, 13, 3));
      for (double y : {8.5, 11.0})
        p.drawLine(QPointF(1.5, y), QPointF(14.5, y));
      p.drawLine(QPointF(6, 5.5), QPointF(6, 13.5));
      p.drawLine(QPointF(10.5, 5.5), QPointF(10.5, 13.5));
    });
  case TToolPicture::NewQuery:
    return Icon([](QPainter& p, double) {
      Sheet(p);
      p.setPen(Pen(QColor(40, 80, 170), 0.8));
      for (double y : {4.5, 7.0, 9.5})
        p.drawLine(QPointF(5, y), QPointF(11, y));
      p.setPen(Pen(QColor(0, 150, 50), 2));
      p.drawLine(QPointF(12, 9.5), QPointF(12, 15));
      p.drawLine(QPointF(9.25, 12.25), QPointF(14.75, 12.25));
    });
  case TToolPicture::ViewHistory:
    return Icon([](QPainter& p, double) {
      p.setPen(Pen(QColor(50, 50, 50), 0.9));
      p.setBrush(QColor(255, 250, 220));
      p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
      p.setPen(Pen(QColor(30, 30, 30), 1.4));
      p.drawLine(QPointF(8, 8), QPointF(8, 4));
      p.drawLine(QPointF(8, 8), QPointF(11, 10));
    });
  case TToolPicture::Property:
    return Icon([](QPainter& p, double) {
      Sheet(p);
      p.setPen(Pen(QColor(80, 80, 80), 0.8));
      for (double y : {4.5, 7.0, 9.5, 12.0}) {
        p.drawLine(QPointF(5, y), QPointF(7.5, y));
        p.drawLine(QPointF(8.5, y), QPointF(11.5, y));
      }
    });
  case TToolPicture::ToTray:
    return Icon([](QPainter& p, double) {
      p.setPen(Pen(QColor(60, 60, 60), 0.8));
      p.setBrush(QColor(200, 210, 225));
      p.drawRect(QRectF(1.5, 12, 13, 2.5));
      p.setPen(Pen(QColor(30, 90, 190), 2));
      p.drawLine(QPointF(8, 1.5), QPointF(8, 9.5));
      p.drawLine(QPointF(4.5, 6.5), QPointF(8, 10));
      p.drawLine(QPointF(11.5, 6.5), QPointF(8, 10));
    });
  case TToolPicture::SqlPlus:
    return Icon([](QPainter& p, double) {
      p.setPen(Pen(QColor(40, 40, 40), 0.8));
      p.setBrush(QColor(20, 20, 20));
      p.drawRect(QRectF(1.5, 2.5, 13, 11));
      p.setPen(Pen(QColor(120, 230, 120), 1.2));
      p.drawLine(QPointF(4, 6), QPointF(6.5, 8));
      p.drawLine(QPointF(6.5, 8), QPointF(4, 10));
      p.drawLine(QPointF(8, 10.5), QPointF(12, 10.5));
    });
  case TToolPicture::Version:
    return Icon([](QPainter& p, double) {
      p.setPen(Pen(QColor(20, 60, 140), 0.8));
      p.setBrush(QColor(60, 120, 210));
      p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
      p.setPen(Pen(Qt::white, 2));
      p.drawPoint(QPointF(8, 4.8));
      p.drawLine(QPointF(8, 7.5), QPointF(8, 11.5));
    });
  }
  return QIcon();
}

QList<QIcon> TreePictures() {
  return {
      Icon([](QPainter& p, double) { Folder(p, false); }),
      Icon([](QPainter& p, double) { Folder(p, true); }),
      Icon([](QPainter& p, double) {
        p.setPen(Pen(QColor(60, 60, 60), 0.8));
        p.setBrush(QColor(250, 215, 170));
        p.drawEllipse(QRectF(5, 1.5, 6, 6));
        p.setBrush(QColor(70, 110, 190));
        p.drawRoundedRect(QRectF(2.5, 8, 11, 6.5), 3, 3);
      }),
      Icon([](QPainter& p, double) {
        p.setPen(Pen(QColor(60, 60, 60), 0.8));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(5.5, 1.5, 5, 13));
        p.setBrush(QColor(90, 160, 90));
        p.drawRect(QRectF(5.5, 1.5, 5, 3));
      }),
      Icon([](QPainter& p, double) {
        p.setPen(Pen(QColor(60, 60, 60), 0.8));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(2.5, 3.5, 11, 9));
        p.setBrush(QColor(90, 130, 200));
        p.drawRect(QRectF(2.5, 3.5, 11, 2.5));
        p.drawLine(QPointF(2.5, 9), QPointF(13.5, 9));
        p.drawLine(QPointF(7.5, 6), QPointF(7.5, 12.5));
      }),
  };
}
