#include "MainFormFixture.h"
#include "ProcessCtrl.h"
#include "uPlusDir.h"

#include <QCoreApplication>
#include <QFile>
#include <QLineEdit>
#include <QThread>

namespace {

// A stand-in terminal emulator: it writes down what it was asked to run and the password the
// environment carried, then runs the program on a short script ("-e PROGRAM ARG...").
class LauncherTest : public MainFormTest {
protected:
  void SetUp() override {
    MainFormTest::SetUp();
    ASSERT_TRUE(Dir.isValid());
    const QString term = Dir.filePath("term");
    QFile f(term);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QStringLiteral("#!/bin/sh\n"
                           "cd '%1'\n"
                           "shift\n"
                           "printf '%s\\n' \"$@\" > args.tmp\n"
                           "printf '%s' \"$TESSEL_PASSWORD\" > password\n"
                           "printf 'SELECT USER FROM DUAL;\\nEXIT\\n' | \"$@\" > out.tmp 2>&1\n"
                           "mv out.tmp out; mv args.tmp args\n")
                .arg(Dir.path())
                .toUtf8());
    f.close();
    f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
    qputenv("TERMINAL", term.toUtf8());
  }
  void TearDown() override {
    qunsetenv("TERMINAL");
    TfPlusDir::TestDriver = nullptr;
    MainFormTest::TearDown();
  }

  // What the stand-in terminal wrote, once it has finished (it runs detached).
  QString Written(const char* name) {
    const QString path = Dir.filePath(QString::fromLatin1(name));
    for (int i = 0; i < 200 && !QFile::exists(Dir.filePath("args")); ++i)
      QThread::msleep(50);
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QStringLiteral("<none>");
  }

  QTemporaryDir Dir;
};

TEST_F(LauncherTest, CommandsKeepArgumentsApartAndOurShellsPasswordOffTheCommandLine) {
  TLaunchCommand c = SqlPlusCommand("/opt/ora/bin/sqlplus", "SCOTT", "TIGER", "ORCL");
  EXPECT_EQ(c.Program, "/opt/ora/bin/sqlplus");
  EXPECT_EQ(c.Arguments, QStringList{"SCOTT/TIGER@ORCL"});
  EXPECT_EQ(c.Cmdline, "/opt/ora/bin/sqlplus SCOTT/TIGER@ORCL");
  EXPECT_TRUE(c.Environment.isEmpty());
  c = SqlPlusCommand("/opt/my tools/sqlplus", "SCOTT", "TIGER", "");
  EXPECT_EQ(c.Arguments, QStringList{"SCOTT/TIGER"});
  // "user/password@host" typed into the user field is taken apart.
  c = SqlPlusCommand("/usr/bin/tessel-sql", "DEMO/DEMO@/data/db", "", "");
  EXPECT_EQ(c.Arguments, QStringList{"DEMO@/data/db"});
  EXPECT_EQ(c.Environment.value("TESSEL_PASSWORD"), "DEMO");
  c = SqlPlusCommand("/usr/bin/tessel-sql", "DEMO", "secret", "");
  EXPECT_EQ(c.Arguments, QStringList{"DEMO"});
  EXPECT_EQ(c.Cmdline, "/usr/bin/tessel-sql DEMO");
  EXPECT_EQ(c.Environment.value("TESSEL_PASSWORD"), "secret");

  TProcessCtrl p;
  p.SetExecFileName("/bin/true");
  p.SetExecFileName("");
  EXPECT_EQ(p.ExecFileName(), "/bin/true"); // an empty name keeps the last one
}

TEST_F(LauncherTest, FirstLaunchAsksForTheProgramAndStartsOurShellLoggedOn) {
  TfMainForm& f = WithTree();
  ASSERT_TRUE(f.OraMainSes.Connected());
  EXPECT_TRUE(f.sbPLUS33W->isEnabled());
  EXPECT_TRUE(f.SQLPLUS2->isEnabled());
  QString proposed;
  TfPlusDir::TestDriver = [&](TfPlusDir& dlg) {
    proposed = dlg.edPlus->text();
    dlg.Button2->click();
  };
  f.sbPLUS33W->click();
  EXPECT_FALSE(f.PrcCtrl.Started()); // cancelled: nothing starts, nothing is said
  EXPECT_EQ(Capture->Count(), 0);
  EXPECT_EQ(proposed, QDir(QCoreApplication::applicationDirPath()).filePath("tessel-sql"));
  EXPECT_EQ(Stored("PLUSW"), "");

  TfPlusDir::TestDriver = [](TfPlusDir& dlg) { dlg.Button1->click(); };
  f.SQLPLUS2->trigger();
  ASSERT_TRUE(f.PrcCtrl.Started()) << Capture->Texts.join("|").toStdString();
  EXPECT_EQ(Stored("PLUSW"), proposed);
  // The password reached the shell through its environment, never its arguments.
  EXPECT_EQ(Written("args"), proposed + "\nDEMO\n");
  EXPECT_EQ(Written("password"), "DEMO");
  const QString out = Written("out");
  EXPECT_TRUE(out.contains("Connected.")) << out.toStdString();
  EXPECT_TRUE(out.contains("DEMO")) << out.toStdString();
  EXPECT_EQ(Capture->Count(), 0);

  // Set once, the next launch goes straight to the start; no terminal is a failed start.
  TfPlusDir::TestDriver = [](TfPlusDir& dlg) {
    ADD_FAILURE() << "asked again";
    dlg.reject();
  };
  qputenv("TERMINAL", "/no/such/terminal");
  f.sbPLUS33W->click();
  EXPECT_EQ(Capture->Texts, QStringList{"SQL*PLUSの起動に失敗しました。"});
}

TEST_F(LauncherTest, ProgramDialogBrowsesAndStoresOnlyWithOk) {
  TfMainForm& f = WithTree();
  Store("PLUSW", "/usr/local/bin/sqlplus");
  FileDlg::TFileDlgCapture files;
  files.Answers = {"/opt/other/sqlplus", "/opt/other/sqlplus"};
  TfPlusDir::TestDriver = [](TfPlusDir& dlg) {
    EXPECT_EQ(dlg.windowTitle(), "SQL*PLUSの起動プログラムの設定");
    EXPECT_EQ(dlg.edPlus->text(), "/usr/local/bin/sqlplus");
    dlg.SpeedButton1->click();
    EXPECT_EQ(dlg.edPlus->text(), "/opt/other/sqlplus");
    dlg.Button2->click();
  };
  f.N14->trigger();
  EXPECT_EQ(files.Names, QStringList{"OpenDialog"});
  EXPECT_EQ(files.Offered, QStringList{"/usr/local/bin/sqlplus"});
  EXPECT_EQ(Stored("PLUSW"), "/usr/local/bin/sqlplus");
  TfPlusDir::TestDriver = [](TfPlusDir& dlg) {
    dlg.SpeedButton1->click();
    dlg.Button1->click();
  };
  f.N14->trigger();
  EXPECT_EQ(Stored("PLUSW"), "/opt/other/sqlplus");

  // A program of another kind gets the classic logon text, password included.
  Store("PLUSW", "/bin/echo");
  f.sbPLUS33W->click();
  EXPECT_EQ(Written("args"), "/bin/echo\nDEMO/DEMO\n");
  EXPECT_EQ(Written("password"), "");
  EXPECT_EQ(Capture->Count(), 0);
}

} // namespace
