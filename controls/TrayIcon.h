// An icon in the desktop's tray, its tooltip and menus, and the single-click / double-click
// rule. Qt's tray activations are turned into the tray's mouse messages and dispatched through
// the process-wide registry of icons, the way the shell's callback messages are.
#pragma once
#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <stdexcept>
#include <vector>

#include <QMenu>
class QSystemTrayIcon;
class QThread;

// The tray refused the icon, or too many icons were made.
class ETrayIconError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

enum class TTrayMsg {
  MouseMove,
  LButtonDown,
  LButtonUp,
  LButtonDblClk,
  RButtonDown,
  RButtonUp,
  MButtonDown,
  MButtonUp,
};

enum class TTrayButton { Left, Right, Middle };

class TTrayIcon : public QObject {
  Q_OBJECT
public:
  static constexpr int MaxTipLength = 62;
  static constexpr int MaxIcons = 99;

  explicit TTrayIcon(QObject* owner = nullptr);
  ~TTrayIcon() override;

  int AnimateRate() const { return FAnimateRate; }
  void SetAnimateRate(int ms) { FAnimateRate = ms < 100 ? 100 : ms; }
  bool AutoPopup = true;
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool value);
  const QIcon& Icon() const { return FIcon; }
  void SetIcon(const QIcon& icon);
  QMenu* LBPopupMenu() const { return FLBPopupMenu; }
  void SetLBPopupMenu(QMenu* menu) { FLBPopupMenu = menu; }
  QMenu* RBPopupMenu() const { return FRBPopupMenu; }
  void SetRBPopupMenu(QMenu* menu) { FRBPopupMenu = menu; }
  const QString& TipHelp() const { return FTipHelp; }
  void SetTipHelp(const QString& text);
  bool Visible() const { return FVisible; }
  void SetVisible(bool value);

  std::function<void(TTrayIcon& sender)> OnClick;
  std::function<void(TTrayIcon& sender)> OnDblClick;
  std::function<void(TTrayIcon& sender, Qt::KeyboardModifiers shift, int x, int y)> OnMouseMove;
  std::function<void(TTrayIcon& sender, TTrayButton button, Qt::MouseButtons shift, int x, int y)>
      OnMouseDown;
  std::function<void(TTrayIcon& sender, TTrayButton button, Qt::MouseButtons shift, int x, int y)>
      OnMouseUp;

  int Identifier() const { return FIdentifier; }
  bool InTray() const { return FInTray; }
  bool ClickPending() const { return FPending; }
  QSystemTrayIcon* TrayIcon() const { return FTray; }

  // The callback of the tray: finds the icon by identifier and handles the mouse message.
  static void Dispatch(int identifier, TTrayMsg msg);
  // Whether this desktop has a tray at all.
  static bool Available();
  // Lets tests stand in for a desktop that has a tray; 0 = ask the platform, 1 = yes, -1 = no.
  static int AvailableOverride;

private:
  void MouseMessage(TTrayMsg msg);
  void Popup(QMenu* menu, int x, int y);
  void StartClickTimer();
  void ClickTimerEnd();
  void Add();
  void Modify();
  void Delete();
  void Activated(int reason);

  int FIdentifier = 0;
  int FAnimateRate = 500;
  bool FEnabled = true;
  QIcon FIcon;
  QPointer<QMenu> FLBPopupMenu;
  QPointer<QMenu> FRBPopupMenu;
  QString FTipHelp = QStringLiteral("TipHelp");
  bool FVisible = false;
  bool FInTray = false;
  bool FPending = false;
  QSystemTrayIcon* FTray;
  std::vector<QPointer<QThread>> FTimers; // running single-click timers, newest last
};
