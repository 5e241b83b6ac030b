#include "uVersion.h"

#include "VerInfo.h"
#include "uFonts.h"
#include "uPictures.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>

std::function<void(TfVersion& dlg)> TfVersion::TestDriver;

namespace {

QLabel* MakeLabel(QWidget* parent, const QString& text, const QFont& font, int left, int top,
                  int width) {
  auto* label = new QLabel(text, parent);
  label->setFont(font);
  label->move(left, top);
  label->resize(width, label->sizeHint().height());
  return label;
}

} // namespace

TfVersion::TfVersion(QWidget* parent) : TGradientForm(parent) {
  setWindowTitle(QStringLiteral("Version表示"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setFixedSize(426, 328);
  setFont(UiFont(12));

  Image1 = new QLabel(this);
  Image1->setGeometry(20, 20, 45, 45);
  Image1->setScaledContents(true);
  Image1->setPixmap(EmblemPicture(90));

  Label1 = MakeLabel(this, QStringLiteral("Tessel3"), VerdanaFont(48, true, true), 80, 10, 330);
  Version = MakeLabel(this, QString(), VerdanaFont(16, false, true), 84, 84, 330);
  Label2 = MakeLabel(this, QStringLiteral("UPDATE 1999.09.25"), VerdanaFont(13), 86, 116, 320);

  auto* rule = new QFrame(this);
  rule->setFrameStyle(QFrame::HLine | QFrame::Sunken);
  rule->setGeometry(16, 146, 394, 4);

  const QFont info = UiFont(13);
  Label5 = MakeLabel(this, QString(), info, 24, 164, 386);
  Label6 = MakeLabel(this, QString(), info, 24, 188, 386);
  Label7 = MakeLabel(this, QString(), info, 24, 212, 386);
  Label8 = MakeLabel(this, QString(), info, 24, 236, 386);

  btnOK = new QPushButton(QStringLiteral("OK"), this);
  btnOK->setGeometry(175, 280, 75, 25);
  btnOK->setDefault(true);
  connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
}

void TfVersion::showEvent(QShowEvent* event) {
  TGradientForm::showEvent(event);
  if (!event->spontaneous())
    FormShow();
}

void TfVersion::FormShow() {
  const TSysInfo sys = GetSysInfo();
  Label5->setText(QStringLiteral("%1 %2").arg(sys.PlatformName, sys.PlatformVersion));
  Label6->setText(QStringLiteral("Memory Available to Windows ") +
                  QString::number(sys.TotalMemoryKB) + QStringLiteral("K"));
  Label7->setText(QStringLiteral("Organization : ") + sys.Organization);
  Label8->setText(QStringLiteral("OWNER : ") + sys.Owner);
}

int TfVersion::Execute() {
  if (TestDriver)
    QMetaObject::invokeMethod(
        this, [this] { TestDriver(*this); }, Qt::QueuedConnection);
  return exec();
}
