#include "LoginFrm.h"
#include "TestSupport.h"
#include "uMsg.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTest>

namespace {

const QColor Yellow(255, 255, 0);

QColor BaseOf(QLineEdit* edit) { return edit->palette().color(QPalette::Base); }

// A shown, active dialog so that focus moves as it would for a user.
struct TShownDialog {
  TLoginDlg Dlg;
  TShownDialog() {
    Dlg.show();
    QApplication::setActiveWindow(&Dlg);
    EXPECT_TRUE(QTest::qWaitForWindowActive(&Dlg));
  }
};

} // namespace

TEST(LoginDlgTest, EditsTurnYellowWhileFocusedAndTabOrder) {
  TShownDialog shown;
  TLoginDlg& dlg = shown.Dlg;
  QPalette pal = dlg.ConnEdit->palette();
  pal.setColor(QPalette::Base, QColor(200, 220, 255));
  dlg.ConnEdit->setPalette(pal);
  const QColor passBefore = BaseOf(dlg.PassEdit);

  dlg.UserEdit->setFocus();
  QApplication::processEvents();
  EXPECT_EQ(BaseOf(dlg.UserEdit), Yellow);

  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), dlg.PassEdit);
  EXPECT_EQ(BaseOf(dlg.PassEdit), Yellow);
  EXPECT_NE(BaseOf(dlg.UserEdit), Yellow);

  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), dlg.ConnEdit);
  EXPECT_EQ(BaseOf(dlg.ConnEdit), Yellow);
  EXPECT_EQ(dlg.SavedColor, QColor(200, 220, 255));
  EXPECT_EQ(BaseOf(dlg.PassEdit), passBefore);

  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), dlg.Button1);
  EXPECT_EQ(BaseOf(dlg.ConnEdit), QColor(200, 220, 255));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), dlg.Button2);

  // Esc is nobody's shortcut here.
  Msg::TMsgCapture capture;
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
  EXPECT_TRUE(dlg.isVisible());
  EXPECT_EQ(capture.Count(), 0);
}

TEST(LoginDlgTest, OkChecksParamsCancelDoesNot) {
  Msg::TMsgCapture capture;
  {
    TShownDialog shown;
    TLoginDlg& dlg = shown.Dlg;
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("ログオン"));
    EXPECT_EQ(dlg.PassEdit->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter), '*');
    // Enter in an edit presses OK; an empty user name is refused and the dialog stays.
    dlg.UserEdit->setFocus();
    QTest::keyClick(dlg.UserEdit, Qt::Key_Return);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(capture.Texts, QStringList{"Invalid Logon Params"});

    QTest::keyClicks(dlg.UserEdit, "DEMO");
    QTest::mouseClick(dlg.Button1, Qt::LeftButton);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(capture.Count(), 2);
    EXPECT_EQ(dlg.UserEdit->text(), "DEMO");

    QTest::keyClicks(dlg.PassEdit, "DEMO");
    QTest::mouseClick(dlg.Button1, Qt::LeftButton);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(capture.Count(), 2);
  }
  {
    TShownDialog shown;
    QTest::keyClicks(shown.Dlg.UserEdit, "/");
    QTest::mouseClick(shown.Dlg.Button1, Qt::LeftButton);
    EXPECT_EQ(shown.Dlg.result(), QDialog::Accepted);
  }
  for (bool titleBar : {false, true}) {
    TShownDialog shown;
    if (titleBar)
      shown.Dlg.close();
    else
      QTest::mouseClick(shown.Dlg.Button2, Qt::LeftButton);
    EXPECT_FALSE(shown.Dlg.isVisible());
    EXPECT_EQ(shown.Dlg.result(), QDialog::Rejected);
  }
  EXPECT_EQ(capture.Count(), 2);
}

using LoginSessionTest = TFreshDatabase;

TEST_F(LoginSessionTest, InstalledDialogLogsOnOrCancels) {
  Msg::TMsgCapture capture;
  TOraSession ses;
  InstallLoginDialog(ses);
  ses.UserName = "DEMO";
  int shown = 0;
  TLoginDlg::TestDriver = [&](TLoginDlg& dlg) {
    ++shown;
    EXPECT_EQ(dlg.UserEdit->text(), "DEMO");
    QTest::mouseClick(dlg.Button1, Qt::LeftButton); // no password yet
    dlg.PassEdit->setFocus();
    QTest::keyClicks(dlg.PassEdit, "WRONG");
    QTest::keyClick(dlg.PassEdit, Qt::Key_Return);
  };
  EXPECT_FALSE(ses.Connect());
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(ses.UserPass, "WRONG");
  EXPECT_EQ(ses.ReturnCode(), 1017);
  EXPECT_EQ(capture.Texts, QStringList{"Invalid Logon Params"});

  TLoginDlg::TestDriver = [&](TLoginDlg& dlg) {
    ++shown;
    QTest::mouseClick(dlg.Button2, Qt::LeftButton);
  };
  EXPECT_FALSE(ses.Connect());
  EXPECT_EQ(capture.Last(), "Logon canceled");
  EXPECT_EQ(ses.UserPass, "WRONG");

  TLoginDlg::TestDriver = [&](TLoginDlg& dlg) {
    ++shown;
    dlg.PassEdit->clear();
    QTest::keyClicks(dlg.PassEdit, "DEMO");
    QTest::mouseClick(dlg.Button1, Qt::LeftButton);
  };
  EXPECT_TRUE(ses.Connect());
  EXPECT_EQ(shown, 3);
  EXPECT_EQ(ses.UserPass, "DEMO");
  TLoginDlg::TestDriver = nullptr;
}

TEST(MsgTest, CaptureRecordsAndAnswers) {
  Msg::TMsgCapture outer;
  outer.Answers = {true, false};
  Msg::Show("one");
  EXPECT_TRUE(Msg::YesNo("q1"));
  {
    Msg::TMsgCapture inner;
    inner.DefaultAnswer = true;
    Msg::Error("inner error");
    EXPECT_TRUE(Msg::YesNo("q-inner"));
    EXPECT_EQ(inner.Texts, (QStringList{"inner error", "q-inner"}));
    EXPECT_EQ(inner.Kinds,
              (std::vector<Msg::TMsgKind>{Msg::TMsgKind::Error, Msg::TMsgKind::Question}));
  }
  EXPECT_FALSE(Msg::YesNo("q2"));
  EXPECT_FALSE(Msg::YesNo("q3")); // answers used up: the default
  EXPECT_EQ(outer.Texts, (QStringList{"one", "q1", "q2", "q3"}));
  EXPECT_EQ(outer.Kinds.front(), Msg::TMsgKind::Info);
}
