#include "TrayIcon.h"

#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QThread>
#include <QWidget>
#include <utility>
#include <vector>

int TTrayIcon::AvailableOverride = 0;

namespace {

const char* const TrayError = "タスクトレイにアイコンを登録できません。";

// (identifier as decimal text, icon), in creation order.
std::vector<std::pair<QString, TTrayIcon*>>& Registry() {
  static std::vector<std::pair<QString, TTrayIcon*>> registry;
  return registry;
}

} // namespace

TTrayIcon::TTrayIcon(QObject* owner) : QObject(owner) {
  auto& reg = Registry();
  if (static_cast<int>(reg.size()) > MaxIcons)
    throw ETrayIconError(TrayError);
  FIdentifier = reg.empty() ? 1 : reg.back().first.toInt() + 1;
  reg.emplace_back(QString::number(FIdentifier), this);
  FTray = new QSystemTrayIcon(this);
  connect(FTray, &QSystemTrayIcon::activated, this,
          [this](QSystemTrayIcon::ActivationReason reason) { Activated(reason); });
}

TTrayIcon::~TTrayIcon() {
  for (const QPointer<QThread>& timer : FTimers)
    if (timer) {
      timer->disconnect(this);
      timer->wait();
      delete timer.data();
    }
  if (FInTray)
    Delete();
  auto& reg = Registry();
  const QString id = QString::number(FIdentifier);
  std::erase_if(reg, [&](const auto& entry) { return entry.first == id; });
}

bool TTrayIcon::Available() {
  if (AvailableOverride != 0)
    return AvailableOverride > 0;
  return QSystemTrayIcon::isSystemTrayAvailable();
}

void TTrayIcon::SetEnabled(bool value) {
  FEnabled = value;
  if (!value)
    FPending = false;
}

void TTrayIcon::SetIcon(const QIcon& icon) {
  FIcon = icon;
  if (FIcon.isNull())
    SetVisible(false);
  else if (FInTray)
    Modify();
}

void TTrayIcon::SetTipHelp(const QString& text) {
  FTipHelp = text.left(MaxTipLength);
  if (FInTray)
    Modify();
}

void TTrayIcon::SetVisible(bool value) {
  if (value == FVisible)
    return;
  if (value && FIcon.isNull())
    return;
  if (value) {
    Add();
    FVisible = true;
  } else {
    FVisible = false;
    if (FInTray)
      Delete();
  }
}

void TTrayIcon::Add() {
  if (!Available())
    throw ETrayIconError(TrayError);
  Modify();
  FTray->show();
  FInTray = true;
}

void TTrayIcon::Modify() {
  FTray->setIcon(FIcon);
  FTray->setToolTip(FTipHelp);
}

void TTrayIcon::Delete() {
  FTray->hide();
  FInTray = false;
}

// Qt reports whole clicks; each becomes the button messages the tray would have sent.
void TTrayIcon::Activated(int reason) {
  switch (static_cast<QSystemTrayIcon::ActivationReason>(reason)) {
  case QSystemTrayIcon::Trigger:
    Dispatch(FIdentifier, TTrayMsg::LButtonDown);
    Dispatch(FIdentifier, TTrayMsg::LButtonUp);
    break;
  case QSystemTrayIcon::DoubleClick:
    Dispatch(FIdentifier, TTrayMsg::LButtonDblClk);
    Dispatch(FIdentifier, TTrayMsg::LButtonUp);
    break;
  case QSystemTrayIcon::Context:
    Dispatch(FIdentifier, TTrayMsg::RButtonDown);
    Dispatch(FIdentifier, TTrayMsg::RButtonUp);
    break;
  case QSystemTrayIcon::MiddleClick:
    Dispatch(FIdentifier, TTrayMsg::MButtonDown);
    Dispatch(FIdentifier, TTrayMsg::MButtonUp);
    break;
  default:
    break;
  }
}

void TTrayIcon::Dispatch(int identifier, TTrayMsg msg) {
  const QString id = QString::number(identifier);
  for (const auto& [key, icon] : Registry())
    if (key == id) {
      if (icon->FEnabled)
        icon->MouseMessage(msg);
      return;
    }
}

void TTrayIcon::MouseMessage(TTrayMsg msg) {
  const QPoint pos = QCursor::pos();
  const int x = pos.x(), y = pos.y();
  switch (msg) {
  case TTrayMsg::MouseMove:
    if (OnMouseMove)
      OnMouseMove(*this, Qt::NoModifier, x, y);
    break;
  case TTrayMsg::LButtonDown:
    if (FLBPopupMenu && AutoPopup)
      Popup(FLBPopupMenu, x, y);
    else if (OnMouseDown)
      OnMouseDown(*this, TTrayButton::Left, Qt::LeftButton, x, y);
    break;
  case TTrayMsg::LButtonUp:
    if (OnMouseUp)
      OnMouseUp(*this, TTrayButton::Left, Qt::LeftButton, x, y);
    else if (OnClick && !FPending)
      StartClickTimer();
    else
      FPending = false;
    break;
  case TTrayMsg::LButtonDblClk:
    FPending = true; // the button-up that follows clears it
    if (OnDblClick)
      OnDblClick(*this);
    break;
  case TTrayMsg::RButtonDown:
    if (FRBPopupMenu && AutoPopup)
      Popup(FRBPopupMenu, x, y);
    else if (OnMouseDown)
      OnMouseDown(*this, TTrayButton::Right, Qt::RightButton, x, y);
    break;
  case TTrayMsg::RButtonUp:
    if (OnMouseUp)
      OnMouseUp(*this, TTrayButton::Right, Qt::RightButton, x, y);
    break;
  case TTrayMsg::MButtonDown:
    if (OnMouseDown)
      OnMouseDown(*this, TTrayButton::Middle, Qt::MiddleButton, x, y);
    break;
  case TTrayMsg::MButtonUp:
    if (OnMouseUp)
      OnMouseUp(*this, TTrayButton::Middle, Qt::MiddleButton, x, y);
    break;
  }
}

void TTrayIcon::Popup(QMenu* menu, int x, int y) {
  if (auto* form = qobject_cast<QWidget*>(parent()); form && form->isWindow()) {
    form->raise();
    form->activateWindow();
    QCoreApplication::processEvents();
  }
  menu->popup(QPoint(x, y));
}

void TTrayIcon::StartClickTimer() {
  FPending = true;
  const unsigned long wait = QApplication::doubleClickInterval() + 50;
  QThread* timer = QThread::create([wait] { QThread::msleep(wait); });
  // finished is delivered on the user-interface thread, where the click is raised.
  // A timer left over from a click that a double click already settled raises nothing.
  connect(timer, &QThread::finished, this, [this, timer] {
    if (timer == FTimers.back())
      ClickTimerEnd();
  });
  connect(timer, &QThread::finished, timer, &QObject::deleteLater);
  std::erase_if(FTimers, [](const QPointer<QThread>& t) { return t.isNull(); });
  FTimers.push_back(timer);
  timer->start();
}

void TTrayIcon::ClickTimerEnd() {
  const bool click = OnClick && FPending;
  FPending = false;
  if (click)
    OnClick(*this);
}
