#include "LoginFrm.h"

#include "OciCompo.h"
#include "uFonts.h"
#include "uMsg.h"

#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <algorithm>

std::function<void(TLoginDlg& dlg)> TLoginDlg::TestDriver;

namespace {

// The password edit shows "*" rather than the platform's bullet.
class TAsteriskStyle : public QProxyStyle {
public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returnData) const override {
    if (hint == SH_LineEdit_PasswordCharacter)
      return '*';
    return QProxyStyle::styleHint(hint, option, widget, returnData);
  }
};

QLabel* MakeLabel(QWidget* parent, const QString& text, int left, int top, int width, int height) {
  auto* label = new QLabel(text, parent);
  label->setGeometry(left, top, width, height);
  // Labels size themselves to their text, so no glyph is cut where this font runs wider.
  QSize hint = label->sizeHint();
  label->resize(std::max(width, hint.width()), std::max(height, hint.height()));
  return label;
}

QLineEdit* MakeEdit(QWidget* parent, const char* name, int left, int top) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QString::fromLatin1(name));
  edit->setGeometry(left, top, 121, 20);
  return edit;
}

} // namespace

TLoginDlg::TLoginDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("ログオン"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setFixedSize(266, 178);
  setFont(UiFont(12));

  UserEdit = MakeEdit(this, "UserEdit", 116, 16);
  PassEdit = MakeEdit(this, "PassEdit", 116, 52);
  ConnEdit = MakeEdit(this, "ConnEdit", 116, 84);
  PassEdit->setEchoMode(QLineEdit::Password);
  auto* style = new TAsteriskStyle;
  style->setParent(this);
  PassEdit->setStyle(style);

  Label1 = MakeLabel(this, QStringLiteral("ユーザー名"), 20, 20, 60, 12);
  Label2 = MakeLabel(this, QStringLiteral("パスワード"), 24, 52, 54, 12);
  Label3 = MakeLabel(this, QStringLiteral("ホスト文字列"), 16, 88, 66, 12);

  Button1 = new QPushButton(QStringLiteral("OK"), this);
  Button1->setGeometry(40, 136, 75, 25);
  Button1->setDefault(true);
  Button2 = new QPushButton(QStringLiteral("Cancel"), this);
  Button2->setGeometry(160, 136, 75, 25);

  setTabOrder(UserEdit, PassEdit);
  setTabOrder(PassEdit, ConnEdit);
  setTabOrder(ConnEdit, Button1);
  setTabOrder(Button1, Button2);

  for (QLineEdit* edit : {UserEdit, PassEdit, ConnEdit})
    edit->installEventFilter(this);
  connect(Button1, &QPushButton::clicked, this, &TLoginDlg::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TLoginDlg::Button2Click);
  UserEdit->setFocus();
}

void TLoginDlg::EditEnter(QLineEdit* edit) {
  SavedColor = edit->palette().color(QPalette::Base);
  QPalette pal = edit->palette();
  pal.setColor(QPalette::Base, QColor(255, 255, 0));
  edit->setPalette(pal);
}

void TLoginDlg::EditExit(QLineEdit* edit) {
  QPalette pal = edit->palette();
  pal.setColor(QPalette::Base, SavedColor);
  edit->setPalette(pal);
}

void TLoginDlg::Button1Click() { done(QDialog::Accepted); }

void TLoginDlg::Button2Click() { done(QDialog::Rejected); }

void TLoginDlg::FormCloseQuery(int result, bool& canClose) {
  if (result != QDialog::Accepted)
    return;
  if (!CheckLogonParams(UserEdit->text().toStdString(), PassEdit->text().toStdString())) {
    Msg::Show(QStringLiteral("Invalid Logon Params"));
    canClose = false;
  }
}

void TLoginDlg::done(int result) {
  bool canClose = true;
  FormCloseQuery(result, canClose);
  if (canClose)
    QDialog::done(result);
}

bool TLoginDlg::eventFilter(QObject* watched, QEvent* event) {
  auto* edit = qobject_cast<QLineEdit*>(watched);
  if (edit && event->type() == QEvent::FocusIn && edit != FEntered) {
    // Window activation repeats focus-in; only a real move of the focus is an enter.
    if (FEntered)
      EditExit(FEntered);
    FEntered = edit;
    EditEnter(edit);
  } else if (edit && event->type() == QEvent::FocusOut && edit == FEntered) {
    Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
      FEntered = nullptr;
      EditExit(edit);
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TLoginDlg::keyPressEvent(QKeyEvent* event) {
  // No button is the cancel button, so Esc does nothing.
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void TLoginDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!parentWidget())
    if (QScreen* screen = QGuiApplication::primaryScreen())
      move(screen->availableGeometry().center() - rect().center());
}

bool ShowLoginDialog(std::string& user, std::string& pass, std::string& host) {
  TLoginDlg dlg;
  dlg.UserEdit->setText(QString::fromStdString(user));
  dlg.PassEdit->setText(QString::fromStdString(pass));
  dlg.ConnEdit->setText(QString::fromStdString(host));
  if (TLoginDlg::TestDriver)
    QMetaObject::invokeMethod(
        &dlg, [&dlg] { TLoginDlg::TestDriver(dlg); }, Qt::QueuedConnection);
  if (dlg.exec() != QDialog::Accepted)
    return false;
  user = dlg.UserEdit->text().toStdString();
  pass = dlg.PassEdit->text().toStdString();
  host = dlg.ConnEdit->text().toStdString();
  return true;
}

void InstallLoginDialog(TOraSession& session) {
  session.LogonPrompt = ShowLoginDialog;
  SetOciMessageHook([](const std::string& text) { Msg::Show(QString::fromStdString(text)); });
}
