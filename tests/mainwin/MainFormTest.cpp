#include "MainFormFixture.h"
#include "Startup.h"
#include "uMain.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTranslator>

namespace {

TEST_F(MainFormTest, StartsWithItsMenusButtonsAndPanels) {
  TfMainForm& f = Shown();
  EXPECT_EQ(fMainForm, &f);
  EXPECT_EQ(f.windowTitle(), "Tessel3");
  ExpectDisconnectedLook(f);
  EXPECT_EQ(f.KO1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
  EXPECT_EQ(f.Exit1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F4));
  EXPECT_EQ(f.New1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
  EXPECT_EQ(f.K1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_T));
  EXPECT_EQ(f.K2->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_H));
  EXPECT_EQ(f.sbToTry->toolTip(), "トレーへ");
  EXPECT_EQ(f.sbPLUS33W->toolTip(), "SQL*PLUSを起動します。");

  // The first showing hides both panels and disables the object commands.
  EXPECT_TRUE(f.pnlTool->isHidden());
  EXPECT_TRUE(f.pnlHistory->isHidden());
  EXPECT_FALSE(f.splTool()->isVisible());
  EXPECT_FALSE(f.sbProp->isEnabled());
  for (QAction* a : {f.Q2, f.Property1, f.OutCSV, f.N13, f.CrtDummy})
    EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
  EXPECT_FALSE(f.InpCSV->isEnabled());
  // Commands that need no selected object are enabled from the start.
  for (QAction* a : {f.K1, f.K2, f.New1, f.N5, f.N14, f.SQLPLUS2})
    EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();
  EXPECT_TRUE(f.sbViewTable->isEnabled());
  EXPECT_TRUE(f.sbNewQuery->isEnabled());
  EXPECT_TRUE(f.sbViewHistory->isEnabled());

  EXPECT_FALSE(f.YYYYMMDD1->isChecked());
  EXPECT_FALSE(f.YYYYMMDDHH24MISS1->isChecked());
  EXPECT_TRUE(f.OraMainSes.DateFormatString.empty());
  EXPECT_FALSE(f.TrayIcon->Visible());
  EXPECT_EQ(f.TrayIcon->TipHelp(), "TipHelp");
  EXPECT_EQ(f.TrayIcon->RBPopupMenu(), f.PopupMenu2);
  EXPECT_EQ(f.ImageList1.size(), 5);
  for (TOraCursor* c : {&f.OraCursorTable, &f.OraCursorField, &f.OraCurExt}) {
    EXPECT_EQ(c->Session(), &f.OraMainSes);
    EXPECT_EQ(c->NumberOfRows(), 1000u);
  }
  // The clock shows the date with a four-digit year, and fits its panel.
  const QString clock = f.sbStatusPanel[1]->text();
  EXPECT_TRUE(QDateTime::fromString(clock, "yyyy/MM/dd H:mm:ss").isValid()) << clock.toStdString();
  EXPECT_GE(f.sbStatusPanel[1]->width(),
            f.sbStatusPanel[1]->fontMetrics().horizontalAdvance(clock));
  EXPECT_EQ(Capture->Count(), 0);
}

TEST_F(MainFormTest, ConnectAndDisconnectFollowTheStateTable) {
  TfMainForm& f = Shown();
  AnswerLogon("SYSTEM", "MANAGER");
  f.sbConnect->click();
  ASSERT_TRUE(f.OraMainSes.Connected()) << Capture->Texts.join("|").toStdString();
  ExpectConnectedLook(f);
  EXPECT_EQ(f.StatusText(), "Oracleに接続中");
  EXPECT_EQ(Stored("USERNAME"), "SYSTEM");
  EXPECT_EQ(Stored("HOST"), "");

  f.sbConnectClick(); // nothing on a connected session
  EXPECT_EQ(Dialogs, 1);

  f.KO1->trigger(); // now the disconnect command
  EXPECT_FALSE(f.OraMainSes.Connected());
  ExpectDisconnectedLook(f);
  EXPECT_FALSE(f.sbProp->isEnabled());
  EXPECT_EQ(f.StatusText(), "");
  EXPECT_TRUE(f.OraMainSes.UserPass.empty());
  EXPECT_FALSE(f.FReconnected);

  // The next logon offers the stored user name, never the password.
  AnswerLogon("SYSTEM", "MANAGER");
  f.KO1->trigger();
  EXPECT_EQ(Prefilled, (QStringList{"SYSTEM", "", ""}));
  EXPECT_TRUE(f.OraMainSes.Connected());
  EXPECT_FALSE(AllSettingsText().contains("MANAGER"));
  EXPECT_TRUE(AllSettingsText().contains("SYSTEM"));
  EXPECT_EQ(Capture->Count(), 0);
}

TEST_F(MainFormTest, CancelledOrRefusedLogonChangesNothing) {
  TfMainForm& f = Shown();
  AnswerLogon("DEMO", "DEMO", false);
  f.sbConnectClick();
  EXPECT_EQ(Capture->Texts, QStringList{"Logon canceled"});
  EXPECT_EQ(f.StatusText(), "Oracleに接続中");
  ExpectDisconnectedLook(f);
  EXPECT_EQ(Stored("USERNAME"), "");

  {
    // The refusal comes in a real box; its modal loop runs while the command is on the stack.
    TRealBoxes boxes(Capture);
    AnswerLogon("DEMO", "wrong");
    f.sbConnectClick();
    ASSERT_EQ(boxes.Texts.size(), 1);
    EXPECT_TRUE(boxes.Texts[0].startsWith("エラーが発生しました。 ORA_ERR:ORA-01017"))
        << boxes.Texts[0].toStdString();
  }
  ExpectDisconnectedLook(f);
  EXPECT_EQ(Stored("USERNAME"), "");

  // Password typed in the user field logs on, but only the user name is stored.
  Capture->Clear();
  AnswerLogon("demo/demo", "");
  f.sbConnectClick();
  EXPECT_TRUE(f.OraMainSes.Connected());
  EXPECT_EQ(Stored("USERNAME"), "demo");
  EXPECT_FALSE(AllSettingsText().contains("demo/demo"));
}

TEST_F(MainFormTest, DisconnectAfterALostConnectionLogsOnInstead) {
  TfMainForm& f = Shown();
  AnswerLogon("DEMO", "DEMO");
  f.sbConnectClick();
  ASSERT_TRUE(f.OraMainSes.Connected());
  f.pnlTool->show(); // as if the tree were shown
  f.sbProp->setEnabled(true);
  f.OraMainSes.Disconnect(); // lost behind the window's back

  AnswerLogon("DEMO", "DEMO", false);
  f.sbDisconnectClick();
  EXPECT_TRUE(f.FReconnected);
  EXPECT_FALSE(f.OraMainSes.Connected());
  ExpectConnectedLook(f); // nothing else changed
  EXPECT_FALSE(f.pnlTool->isHidden());
  EXPECT_TRUE(f.sbProp->isEnabled());

  f.FReconnected = false;
  AnswerLogon("DEMO", "DEMO");
  f.KO1->trigger();
  EXPECT_EQ(Prefilled, (QStringList{"DEMO", "", ""}));
  EXPECT_TRUE(f.FReconnected);
  EXPECT_TRUE(f.OraMainSes.Connected());
  ExpectConnectedLook(f);
  EXPECT_TRUE(f.pnlTool->isHidden());
  EXPECT_FALSE(f.K1->isChecked());
  EXPECT_FALSE(f.sbProp->isEnabled());
  EXPECT_EQ(f.StatusText(), "");
}

TEST_F(MainFormTest, DateFormatItemsSetTheSessionFormat) {
  TfMainForm& f = Shown();
  AnswerLogon("DEMO", "DEMO");
  ASSERT_TRUE(f.StoredLogon());
  auto hiredate = [&] {
    return Scalar(f.OraCurExt, "SELECT HIREDATE FROM EMP WHERE EMPNO = 7369");
  };
  EXPECT_EQ(hiredate(), "1980/12/17"); // no format chosen: the short date, four-digit year

  f.YYYYMMDDHH24MISS1->trigger();
  EXPECT_EQ(f.OraMainSes.DateFormatString, "YYYY/MM/DD HH:NN:SS");
  EXPECT_EQ(hiredate(), "1980/12/17 00:00:00");
  f.YYYYMMDD1->trigger();
  EXPECT_TRUE(f.YYYYMMDD1->isChecked());
  EXPECT_FALSE(f.YYYYMMDDHH24MISS1->isChecked());
  EXPECT_EQ(hiredate(), "1980/12/17");
  f.YYYYMMDDHH24MISS1->trigger();
  EXPECT_FALSE(f.YYYYMMDD1->isChecked());
  EXPECT_TRUE(f.YYYYMMDDHH24MISS1->isChecked());
  EXPECT_EQ(f.OraMainSes.DateFormatString, "YYYY/MM/DD HH:NN:SS");
}

TEST_F(MainFormTest, GeometryIsRestoredOnlyFromAStoredLeftEdge) {
  {
    TfMainForm& f = Shown();
    EXPECT_EQ(f.size(), QSize(TfMainForm::DesignWidth, TfMainForm::DesignHeight));
    const QPoint centre = f.screen()->availableGeometry().center();
    EXPECT_LE((f.geometry().center() - centre).manhattanLength(), 8);
    f.move(120, 90);
    f.resize(500, 400);
    f.close();
  }
  EXPECT_EQ(Stored("POSX"), "120");
  EXPECT_EQ(Stored("SIZEY"), "400");

  TfMainForm& g = Shown();
  EXPECT_EQ(g.pos(), QPoint(120, 90));
  EXPECT_EQ(g.size(), QSize(500, 400));
  Form.reset();

  Store("POSX", "0"); // 0 means none: the other values are not used either
  Shown();
  EXPECT_EQ(Form->size(), QSize(TfMainForm::DesignWidth, TfMainForm::DesignHeight));
  Form.reset();

  Store("POSX", "50");
  Store("SIZEX", "0"); // a damaged size keeps the design size
  Shown();
  EXPECT_EQ(Form->x(), 50);
  EXPECT_EQ(Form->size(), QSize(TfMainForm::DesignWidth, TfMainForm::DesignHeight));
}

TEST_F(MainFormTest, HidesToTheTrayAndComesBack) {
  TTrayIcon::AvailableOverride = 1;
  TfMainForm& f = Shown();
  f.move(60, 40);
  f.resize(600, 450);
  Store("POSX", "300"); // must not be applied by a later showing
  f.pnlHistory->show();

  f.sbToTry->click();
  EXPECT_FALSE(f.isVisible());
  EXPECT_TRUE(f.TrayIcon->Visible());

  // A single click on the icon, as the tray reports it.
  TTrayIcon::Dispatch(f.TrayIcon->Identifier(), TTrayMsg::LButtonDown);
  TTrayIcon::Dispatch(f.TrayIcon->Identifier(), TTrayMsg::LButtonUp);
  EXPECT_FALSE(f.isVisible());
  QTRY_VERIFY_WITH_TIMEOUT(f.isVisible(), 5000);
  EXPECT_FALSE(f.TrayIcon->Visible());
  EXPECT_EQ(f.pos(), QPoint(60, 40));
  EXPECT_TRUE(f.pnlHistory->isHidden()); // no tree shown: the history panel goes again

  f.sbToTryClick();
  f.N12->trigger();
  EXPECT_TRUE(f.isVisible());
  EXPECT_FALSE(f.TrayIcon->Visible());

  // Closing from the tray saves the geometry the window had.
  f.sbToTryClick();
  f.Exit2->trigger();
  EXPECT_FALSE(f.TrayIcon->Visible());
  EXPECT_EQ(Stored("POSX"), "60");
  EXPECT_EQ(Stored("SIZEX"), "600");

  // Without a tray the window stays where it is.
  Form.reset();
  TTrayIcon::AvailableOverride = -1;
  TfMainForm& g = Shown();
  g.sbToTryClick();
  EXPECT_TRUE(g.isVisible());
  EXPECT_EQ(Capture->Last(), "タスクトレイにアイコンを登録できません。");
}

TEST_F(MainFormTest, VersionDialogIsMadeAfreshEachTime) {
  TfMainForm& f = Shown();
  f.FVersion = "3.2.1.4";
  int shown = 0;
  TfVersion::TestDriver = [&](TfVersion& dlg) {
    ++shown;
    EXPECT_EQ(dlg.parent(), &f);
    EXPECT_EQ(dlg.windowTitle(), "Version表示");
    EXPECT_EQ(dlg.Version->text(), " Version : 3.2.1.4");
    EXPECT_FALSE(dlg.Label5->text().trimmed().isEmpty());
    const QString mem = dlg.Label6->text();
    EXPECT_TRUE(mem.startsWith("Memory Available to Windows ")) << mem.toStdString();
    EXPECT_TRUE(mem.endsWith("K"));
    EXPECT_GT(mem.mid(28).chopped(1).toULongLong(), 1024u);
    EXPECT_TRUE(dlg.Label7->text().startsWith("Organization : "));
    EXPECT_GT(dlg.Label8->text().size(), QStringLiteral("OWNER : ").size());
    // Every line fits the dialog.
    for (QLabel* l : {dlg.Label5, dlg.Label6, dlg.Label7, dlg.Label8, dlg.Version})
      EXPECT_LE(l->x() + l->fontMetrics().horizontalAdvance(l->text()), dlg.width());
    dlg.btnOK->click();
  };
  f.sbViewVersion->click();
  f.N2->trigger();
  EXPECT_EQ(shown, 2);
  EXPECT_TRUE(f.findChildren<TfVersion*>().isEmpty());
}

} // namespace

namespace {

TEST_F(MainFormTest, CascadeKeepsWindowsUsableAndMenusSpeakJapanese) {
  TfMainForm& f = WithTree();
  f.resize(1000, 760);
  for (int i = 0; i < 3; ++i)
    f.sbNewQuery->click();
  QApplication::processEvents();
  ASSERT_EQ(f.QueryWindows().size(), 3);
  f.Cascade1->trigger();
  QApplication::processEvents();
  const QRect area = f.MDIArea->viewport()->rect();
  QList<QMdiSubWindow*> subs = f.MDIArea->subWindowList(QMdiArea::StackingOrder);
  for (int i = 0; i < subs.size(); ++i) {
    const QRect g = subs[i]->geometry();
    EXPECT_TRUE(area.contains(g)) << i;
    // As large as a new query window where the frame has room, never a strip.
    EXPECT_GE(g.width(), std::min(int(TfMain::DesignWidth), area.width() - 2 * 40)) << i;
    EXPECT_GE(g.height(), std::min(int(TfMain::DesignHeight), area.height() - 2 * 40)) << i;
    if (i > 0) {
      EXPECT_GT(g.x(), subs[i - 1]->geometry().x());
      EXPECT_GT(g.y(), subs[i - 1]->geometry().y());
    }
  }
  EXPECT_EQ(f.MDIArea->activeSubWindow(), subs.last());
  EXPECT_EQ(f.ActiveQueryWindow(), f.QueryWindows().last());

  // The property command shows the key as it is named on the keyboard; both Enter keys work.
  EXPECT_EQ(f.Property1->shortcut().toString(QKeySequence::NativeText), "Alt+Enter");
  EXPECT_TRUE(f.Property1->shortcuts().contains(QKeySequence(Qt::ALT | Qt::Key_Return)));

  // The toolkit's own texts come in Japanese.
  QTranslator translator;
  ASSERT_TRUE(InstallToolkitTranslation(translator));
  EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "キャンセル");
  QCoreApplication::removeTranslator(&translator);
  EXPECT_EQ(Capture->Count(), 0);
}

} // namespace
