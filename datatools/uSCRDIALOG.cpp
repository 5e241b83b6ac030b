#include "uSCRDIALOG.h"

#include "uFolderTree.h"
#include "uFonts.h"
#include "uMsg.h"

#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

std::function<void(TfSCRDLG& dlg)> TfSCRDLG::TestDriver;

TfSCRDLG::TfSCRDLG(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("fSCRDLG"));
  setWindowTitle(QStringLiteral("スクリプト作成"));
  setFont(UiFont(12));

  fldSCR = new TFolderTreeViewEx(this);
  fldSCR->setObjectName(QStringLiteral("fldSCR"));

  GroupBox1 = new QGroupBox(QStringLiteral("スクリプト作成オプション"), this);
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  chkDROP = new QCheckBox(QStringLiteral("Drop文も作成する"), GroupBox1);
  chkDROP->setObjectName(QStringLiteral("chkDROP"));
  chkDROP->setChecked(false);
  auto* group = new QVBoxLayout(GroupBox1);
  group->addWidget(chkDROP);

  Button1 = new QPushButton(QStringLiteral("OK"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setDefault(true);
  Button2 = new QPushButton(QStringLiteral("Cancel"), this);
  Button2->setObjectName(QStringLiteral("Button2"));
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(Button1);
  buttons->addWidget(Button2);

  auto* lay = new QVBoxLayout(this);
  lay->addWidget(fldSCR, 1);
  lay->addWidget(GroupBox1);
  lay->addLayout(buttons);
  resize(320, 400);

  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
  connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
}

void TfSCRDLG::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous())
    Msg::Guarded([this] { FormShow(); });
}

void TfSCRDLG::FormShow() { fldSCR->SetSelectedFolder(QDir::tempPath()); }

bool TfSCRDLG::Execute() {
  if (TestDriver)
    QTimer::singleShot(0, this, [this] { TestDriver(*this); });
  return exec() == QDialog::Accepted;
}
