// The main window on a fresh database and a fresh settings folder; shared by the main window
// and query window tests.
#pragma once
#include "LoginFrm.h"
#include "TestSupport.h"
#include "TrayIcon.h"
#include "uMainMDI.h"
#include "uMsg.h"
#include "uVersion.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSplitterHandle>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <memory>

// While one exists, message boxes are real: they run their modal loop, and a timer reads each
// box and presses its default button, as a user would.
class TRealBoxes {
public:
  explicit TRealBoxes(std::unique_ptr<Msg::TMsgCapture>& capture) : FCapture(capture) {
    FCapture.reset();
    QObject::connect(&FTimer, &QTimer::timeout, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box || box == FAnswered || !box->isVisible())
        return;
      FAnswered = box;
      Texts << box->text();
      QAbstractButton* button = box->defaultButton();
      if (!button && !box->buttons().isEmpty())
        button = box->buttons().first();
      if (button)
        button->click();
    });
    FTimer.start(10);
  }
  ~TRealBoxes() {
    FTimer.stop();
    FCapture = std::make_unique<Msg::TMsgCapture>();
  }
  // Lets the program go on until the boxes it has queued are shown and answered.
  void Settle(int ms = 100) { QTest::qWait(ms); }

  QStringList Texts;

private:
  std::unique_ptr<Msg::TMsgCapture>& FCapture;
  QTimer FTimer;
  QPointer<QMessageBox> FAnswered;
};

// A fresh database and a fresh per-user settings folder; the logon dialog and every message
// are answered by the test.
class MainFormTest : public TFreshDatabase {
protected:
  void SetUp() override {
    TFreshDatabase::SetUp();
    ASSERT_TRUE(Config.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, Config.path());
    Capture = std::make_unique<Msg::TMsgCapture>();
  }

  void TearDown() override {
    TLoginDlg::TestDriver = nullptr;
    TfVersion::TestDriver = nullptr;
    TTrayIcon::AvailableOverride = 0;
    Form.reset();
    Capture.reset();
    TFreshDatabase::TearDown();
  }

  TfMainForm& Shown() {
    Form = std::make_unique<TfMainForm>();
    Form->show();
    QApplication::processEvents();
    return *Form;
  }

  // The next logon dialog gets these texts (OK), or Cancel when ok is false. The texts it was
  // opened with are kept in Prefilled.
  void AnswerLogon(const QString& user, const QString& pass, bool ok = true) {
    TLoginDlg::TestDriver = [=, this](TLoginDlg& dlg) {
      Prefilled = {dlg.UserEdit->text(), dlg.PassEdit->text(), dlg.ConnEdit->text()};
      ++Dialogs;
      dlg.UserEdit->setText(user);
      dlg.PassEdit->setText(pass);
      (ok ? dlg.Button1 : dlg.Button2)->click();
    };
  }

  QString Stored(const char* name) {
    return Form->RegMan.ItemByName(QString::fromLatin1(name))->ReadString();
  }
  void Store(const char* name, const QString& value) {
    TRegManager man;
    man.RegDir = QStringLiteral("Software\\TESSEL");
    man.RegItems.Add(QString::fromLatin1(name), "SESSION", QString::fromLatin1(name));
    man.ItemByName(QString::fromLatin1(name))->WriteString(value);
  }
  // Every byte under the settings folder.
  QByteArray AllSettingsText() {
    QByteArray all;
    QDirIterator it(Config.path(), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
      QFile f(it.next());
      if (f.open(QIODevice::ReadOnly))
        all += f.readAll();
    }
    return all;
  }

  void ExpectConnectedLook(TfMainForm& f) {
    EXPECT_EQ(f.KO1->text(), QStringLiteral("切断(&D)"));
    EXPECT_TRUE(f.KO1Click == &TfMainForm::sbDisconnectClick);
    EXPECT_FALSE(f.sbConnect->isEnabled());
    EXPECT_TRUE(f.sbDisconnect->isEnabled());
  }
  void ExpectDisconnectedLook(TfMainForm& f) {
    EXPECT_EQ(f.KO1->text(), QStringLiteral("接続(&O)"));
    EXPECT_TRUE(f.KO1Click == &TfMainForm::sbConnectClick);
    EXPECT_TRUE(f.sbConnect->isEnabled());
    EXPECT_FALSE(f.sbDisconnect->isEnabled());
  }

  // Logs on as DEMO through the table list command and shows the schema tree.
  TfMainForm& WithTree() {
    TfMainForm& f = Form ? *Form : Shown();
    Store("USERNAME", "DEMO");
    AnswerLogon("DEMO", "DEMO");
    f.sbViewTable->click();
    QApplication::processEvents();
    return f;
  }

  // The tree node at a path of texts below the root, e.g. {"TABLES", "EMP"}; null if none.
  QTreeWidgetItem* Node(const QStringList& path) {
    QTreeWidgetItem* node = Form->tvTable->topLevelItem(0);
    for (const QString& text : path) {
      QTreeWidgetItem* next = nullptr;
      for (int i = 0; node && i < node->childCount() && !next; ++i)
        if (node->child(i)->text(0) == text)
          next = node->child(i);
      node = next;
    }
    return node;
  }

  static QStringList ChildTexts(QTreeWidgetItem* node) {
    QStringList texts;
    for (int i = 0; node && i < node->childCount(); ++i)
      texts << node->child(i)->text(0);
    return texts;
  }

  // Runs statements on a logon of its own (another user of the same database), committed.
  static bool OtherLogonRuns(const std::vector<std::string>& statements) {
    TOraSession ses;
    TOraCursor cur;
    cur.SetSession(&ses);
    if (!Logon(ses, "DEMO", "DEMO"))
      return false;
    for (const std::string& sql : statements)
      if (!Run(cur, sql))
        return false;
    cur.Close();
    return ses.Commit() && ses.Disconnect();
  }

  QTemporaryDir Config;
  std::unique_ptr<Msg::TMsgCapture> Capture;
  std::unique_ptr<TfMainForm> Form;
  QStringList Prefilled;
  int Dialogs = 0;
};
