// The logon dialog, shown by a session at logon time through its LogonPrompt.
#pragma once
#include <QColor>
#include <QDialog>
#include <functional>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;
class TOraSession;

class TLoginDlg : public QDialog {
  Q_OBJECT
public:
  explicit TLoginDlg(QWidget* parent = nullptr);

  QLineEdit* UserEdit;
  QLineEdit* PassEdit;
  QLineEdit* ConnEdit;
  QLabel* Label1;
  QLabel* Label2;
  QLabel* Label3;
  QPushButton* Button1;
  QPushButton* Button2;
  QColor SavedColor;

  // Test seam: when set, ShowLoginDialog hands it the dialog from inside the modal loop, where
  // a test types and clicks instead of a user.
  static std::function<void(TLoginDlg& dlg)> TestDriver;

public slots:
  void EditEnter(QLineEdit* edit);
  void EditExit(QLineEdit* edit);
  void Button1Click();
  void Button2Click();

protected:
  void FormCloseQuery(int result, bool& canClose);
  void done(int result) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;

private:
  QLineEdit* FEntered = nullptr; // the edit that had its enter and not yet its exit
};

// Runs the dialog modally with the three texts; on OK the edited texts are copied back.
bool ShowLoginDialog(std::string& user, std::string& pass, std::string& host);

// Makes the dialog the session's logon prompt and routes the access layer's notices
// ("Logon canceled") to the message module.
void InstallLoginDialog(TOraSession& session);
