#include "uInit.h"

#include "uFonts.h"
#include "uPictures.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTimer>

namespace {

QLabel* MakeLabel(QWidget* parent, const QString& text, const QFont& font, int left, int top) {
  auto* label = new QLabel(text, parent);
  label->setFont(font);
  label->move(left, top);
  label->adjustSize();
  return label;
}

} // namespace

TfInit::TfInit(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setFixedSize(448, 195);
  QPalette pal = palette();
  pal.setColor(QPalette::WindowText, Qt::black);
  setPalette(pal);

  Panel1 = new QFrame(this);
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel1->setLineWidth(2);
  Panel1->setGeometry(rect());

  Image1 = new QLabel(Panel1);
  Image1->setGeometry(12, 12, 45, 45);
  Image1->setScaledContents(true);
  Image1->setPixmap(EmblemPicture(90));

  Label1 = MakeLabel(Panel1, QStringLiteral("Tessel3"), VerdanaFont(48, true, true), 70, 4);
  Label2 = MakeLabel(Panel1, QStringLiteral("Version"), VerdanaFont(27, false, true), 72, 76);
  Version = MakeLabel(Panel1, QString(), VerdanaFont(27, false, true),
                      Label2->x() + Label2->width() + 12, 76);
  Version->resize(width() - Version->x() - 10, Label2->height());
  Label3 =
      MakeLabel(Panel1, QStringLiteral("Initialize.... Please wait a munite."), UiFont(21), 0, 0);
  Label3->move(width() - Label3->width() - 14, height() - Label3->height() - 12);

  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());

  Timer1 = new QTimer(this);
  Timer1->setInterval(2000);
  connect(Timer1, &QTimer::timeout, this, &TfInit::Timer1Timer);
  Timer1->start();
}

void TfInit::Timer1Timer() {
  Timer1->stop();
  close();
}
