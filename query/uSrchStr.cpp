#include "uSrchStr.h"

#include "StringGridEx.h"
#include "uFonts.h"
#include "uMain.h"
#include "uMainHost.h"
#include "uMsg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

QPointer<TfSearchString> TfSearchString::Shared;

namespace {

const char* const NoMatch = "対象データはありません。";

QString Trimmed(const QString& text) {
  qsizetype b = 0, e = text.size();
  while (b < e && (text[b].isSpace() || text[b].unicode() < 0x20))
    ++b;
  while (e > b && (text[e - 1].isSpace() || text[e - 1].unicode() < 0x20))
    --e;
  return text.mid(b, e - b);
}

} // namespace

TfSearchString::TfSearchString(TMainHost* host, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowStaysOnTopHint), FHost(host) {
  setObjectName(QStringLiteral("fSearchString"));
  setWindowTitle(QStringLiteral("列検索"));
  setFont(UiFont(12));
  auto* lay = new QGridLayout(this);
  Label1 = new QLabel(QStringLiteral("検索する文字"), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  edSrchStr = new QLineEdit(this);
  edSrchStr->setObjectName(QStringLiteral("edSrchStr"));
  Button1 = new QPushButton(QStringLiteral("検索"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button2 = new QPushButton(QStringLiteral("キャンセル"), this);
  Button2->setObjectName(QStringLiteral("Button2"));
  lay->addWidget(Label1, 0, 0);
  lay->addWidget(edSrchStr, 0, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(Button1);
  buttons->addWidget(Button2);
  lay->addLayout(buttons, 1, 0, 1, 2);
  resize(std::max(356, sizeHint().width()), std::max(73, sizeHint().height()));
  Shared = this;

  // Enter in the edit searches; the dialog's own default-button handling must not take it.
  edSrchStr->installEventFilter(this);
  connect(Button1, &QPushButton::clicked, this, &TfSearchString::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TfSearchString::Button2Click);
}

void TfSearchString::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous())
    FormShow();
}

void TfSearchString::FormShow() { edSrchStr->clear(); }

void TfSearchString::hideEvent(QHideEvent* event) {
  QDialog::hideEvent(event);
  if (!event->spontaneous())
    Msg::Guarded([this] { FormClose(); });
}

void TfSearchString::FormClose() {
  if (TfMain* q = FHost ? FHost->ActiveQueryWindow() : nullptr)
    q->FSearchOpen = false;
}

bool TfSearchString::Search() {
  TfMain* q = FHost ? FHost->ActiveQueryWindow() : nullptr;
  if (!q)
    return true; // nothing to search in, nothing to report
  TStringGridEx& g = *q->sgSqlResult;
  const int col = g.Col();
  const QString wanted = Trimmed(edSrchStr->text());
  for (int r = g.Row() + 1; r < g.RowCount(); ++r)
    if (Trimmed(g.Cells(col, r)) == wanted) {
      g.FocusCell(col, r);
      return true;
    }
  return false;
}

void TfSearchString::Button1Click() {
  Msg::Guarded([this] {
    if (!Search())
      Msg::Show(QString::fromUtf8(NoMatch));
  });
}

void TfSearchString::Button2Click() {
  Msg::Guarded([this] {
    FormClose();
    close();
  });
}

bool TfSearchString::eventFilter(QObject* watched, QEvent* event) {
  if (watched == edSrchStr && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      // Inside the edit's key handler: the message waits until the handler has returned.
      Msg::Guarded([this] {
        if (!Search())
          Msg::ShowLater(QString::fromUtf8(NoMatch));
      });
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}
