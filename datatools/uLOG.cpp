#include "uLOG.h"

#include "uFonts.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>

namespace {

QLabel* Counter(QWidget* parent, const char* name) {
  auto* label = new QLabel(QStringLiteral("0"), parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  label->setMinimumWidth(64);
  return label;
}

} // namespace

TfLOG::TfLOG(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("fLOG"));
  setWindowTitle(QStringLiteral("ログ出力"));
  setFont(UiFont(12));
  setModal(false);
  setFixedSize(DesignWidth, DesignHeight);

  auto* strip = new QHBoxLayout;
  strip->addWidget(new QLabel(QStringLiteral("処理件数"), this));
  strip->addWidget(lblKENSU = Counter(this, "lblKENSU"));
  strip->addWidget(new QLabel(QStringLiteral("正常件数"), this));
  strip->addWidget(lblSUCCESS = Counter(this, "lblSUCCESS"));
  strip->addWidget(new QLabel(QStringLiteral("異常件数"), this));
  strip->addWidget(lblERROR = Counter(this, "lblERROR"));
  pbrStatus = new QProgressBar(this);
  pbrStatus->setObjectName(QStringLiteral("pbrStatus"));
  pbrStatus->setMinimum(0);
  pbrStatus->setMaximum(100);
  pbrStatus->setValue(0);
  pbrStatus->setTextVisible(false);
  strip->addWidget(pbrStatus, 1);

  mmLOG = new QPlainTextEdit(this);
  mmLOG->setObjectName(QStringLiteral("mmLOG"));
  mmLOG->setReadOnly(true);
  mmLOG->setFont(FixedFont(12));
  mmLOG->setLineWrapMode(QPlainTextEdit::NoWrap);
  mmLOG->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  mmLOG->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

  btnOK = new QPushButton(QStringLiteral("OK(&O)"), this);
  btnOK->setObjectName(QStringLiteral("btnOK"));
  connect(btnOK, &QPushButton::clicked, this, &TfLOG::btnOKClick);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(btnOK);
  buttons->addStretch(1);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(strip);
  layout->addWidget(mmLOG, 1);
  layout->addLayout(buttons);
}

void TfLOG::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!FFirstShow || event->spontaneous())
    return;
  FFirstShow = false;
  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
}

void TfLOG::btnOKClick() { close(); }

void TfLOG::Clear() { mmLOG->clear(); }

void TfLOG::Add(const QString& line) { mmLOG->appendPlainText(line); }

QStringList TfLOG::Lines() const {
  QString text = mmLOG->toPlainText();
  return text.isEmpty() ? QStringList() : text.split(u'\n');
}

void TfLOG::BeginUpdate() { mmLOG->setUpdatesEnabled(false); }

void TfLOG::EndUpdate() { mmLOG->setUpdatesEnabled(true); }

void TfLOG::SetCounts(int processed, int success, int errors, bool repaintNow) {
  pbrStatus->setValue(processed);
  lblKENSU->setText(QString::number(processed));
  lblSUCCESS->setText(QString::number(success));
  lblERROR->setText(QString::number(errors));
  if (repaintNow && isVisible())
    for (QWidget* w : {static_cast<QWidget*>(lblKENSU), static_cast<QWidget*>(lblSUCCESS),
                       static_cast<QWidget*>(lblERROR), static_cast<QWidget*>(pbrStatus)})
      w->repaint();
}

void TfLOG::SetRunning(bool running) { btnOK->setEnabled(!running); }
