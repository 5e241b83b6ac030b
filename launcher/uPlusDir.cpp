#include "uPlusDir.h"

#include "RegMng.h"
#include "uFonts.h"
#include "uMsg.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

std::function<void(TfPlusDir& dlg)> TfPlusDir::TestDriver;

TfPlusDir::TfPlusDir(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("fPlusDir"));
  setWindowTitle(QStringLiteral("SQL*PLUSの起動プログラムの設定"));
  setFont(UiFont(12));
  auto* lay = new QVBoxLayout(this);
  Label1 = new QLabel(QStringLiteral("SQL*PLUSのプログラムを指定してください。"), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  lay->addWidget(Label1);
  auto* row = new QHBoxLayout;
  edPlus = new QLineEdit(this);
  edPlus->setObjectName(QStringLiteral("edPlus"));
  SpeedButton1 = new QToolButton(this);
  SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
  SpeedButton1->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
  row->addWidget(edPlus, 1);
  row->addWidget(SpeedButton1);
  lay->addLayout(row);
  auto* buttons = new QHBoxLayout;
  Button1 = new QPushButton(QStringLiteral("OK"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setDefault(true);
  Button2 = new QPushButton(QStringLiteral("Cancel"), this);
  Button2->setObjectName(QStringLiteral("Button2"));
  buttons->addStretch(1);
  buttons->addWidget(Button1);
  buttons->addWidget(Button2);
  lay->addLayout(buttons);
  // The design size, grown where this platform's font needs more room.
  resize(std::max(303, sizeHint().width()), std::max(86, sizeHint().height()));
  setFixedSize(size());

  connect(Button1, &QPushButton::clicked, this, &TfPlusDir::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
  connect(SpeedButton1, &QToolButton::clicked, this, &TfPlusDir::SpeedButton1Click);
}

QString TfPlusDir::ProposedProgram() {
  return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("tessel-sql"));
}

void TfPlusDir::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous())
    Msg::Guarded([this] { FormShow(); });
}

void TfPlusDir::FormShow() {
  const QString stored =
      RegMan ? RegMan->ItemByName(QStringLiteral("PLUSW"))->ReadString() : QString();
  edPlus->setText(stored.isEmpty() ? ProposedProgram() : stored);
}

void TfPlusDir::Button1Click() {
  Msg::Guarded([this] {
    if (RegMan)
      RegMan->ItemByName(QStringLiteral("PLUSW"))->WriteString(edPlus->text());
    accept();
  });
}

void TfPlusDir::SpeedButton1Click() {
  Msg::Guarded([this] {
    const QString stored =
        RegMan ? RegMan->ItemByName(QStringLiteral("PLUSW"))->ReadString() : QString();
    OpenDialog.FileName = stored.isEmpty() ? edPlus->text() : stored;
    if (OpenDialog.Execute(this))
      edPlus->setText(OpenDialog.FileName);
  });
}

bool TfPlusDir::Execute() {
  if (TestDriver)
    QTimer::singleShot(0, this, [this] { TestDriver(*this); });
  return exec() == QDialog::Accepted;
}
