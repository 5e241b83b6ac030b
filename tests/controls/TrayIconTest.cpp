#include "TrayIcon.h"
#include "uPictures.h"

#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace {

// A tray that accepts icons, standing in for the desktop's.
struct TTrayHere {
  TTrayHere() { TTrayIcon::AvailableOverride = 1; }
  ~TTrayHere() { TTrayIcon::AvailableOverride = 0; }
};

struct TCounts {
  int Click = 0, DblClick = 0, Down = 0, Up = 0;
  TTrayButton LastButton = TTrayButton::Middle;
};

void Count(TTrayIcon& icon, TCounts& c, bool mouseUp = false) {
  icon.OnClick = [&c](TTrayIcon&) { ++c.Click; };
  icon.OnDblClick = [&c](TTrayIcon&) { ++c.DblClick; };
  icon.OnMouseDown = [&c](TTrayIcon&, TTrayButton b, Qt::MouseButtons, int, int) {
    ++c.Down;
    c.LastButton = b;
  };
  if (mouseUp)
    icon.OnMouseUp = [&c](TTrayIcon&, TTrayButton b, Qt::MouseButtons, int, int) {
      ++c.Up;
      c.LastButton = b;
    };
}

int ClickWait() { return QApplication::doubleClickInterval() + 50; }

TEST(TrayIconTest, IdentifiersFollowTheRegistry) {
  auto a = std::make_unique<TTrayIcon>();
  auto b = std::make_unique<TTrayIcon>();
  EXPECT_EQ(b->Identifier(), a->Identifier() + 1);
  auto c = std::make_unique<TTrayIcon>();
  const int last = c->Identifier();
  b.reset(); // a gap in the middle does not matter: the last one counts
  auto d = std::make_unique<TTrayIcon>();
  EXPECT_EQ(d->Identifier(), last + 1);
  c.reset();
  d.reset();
  auto e = std::make_unique<TTrayIcon>();
  EXPECT_EQ(e->Identifier(), a->Identifier() + 1);
  a.reset();
  e.reset();

  // 100 icons may exist; the 101st is refused.
  std::vector<std::unique_ptr<TTrayIcon>> many;
  while (many.size() < 100)
    many.push_back(std::make_unique<TTrayIcon>());
  EXPECT_THROW(TTrayIcon(), ETrayIconError);
  many.pop_back();
  EXPECT_NO_THROW(TTrayIcon());
}

TEST(TrayIconTest, PropertiesAndVisibility) {
  TTrayHere tray;
  TTrayIcon icon;
  EXPECT_EQ(icon.TipHelp(), "TipHelp");
  icon.SetTipHelp(QString(70, u'あ'));
  EXPECT_EQ(icon.TipHelp().size(), 62);
  icon.SetAnimateRate(50);
  EXPECT_EQ(icon.AnimateRate(), 100);

  icon.SetVisible(true); // no picture yet
  EXPECT_FALSE(icon.Visible());
  EXPECT_FALSE(icon.InTray());
  icon.SetIcon(ProgramIcon());
  icon.SetVisible(true);
  EXPECT_TRUE(icon.Visible());
  EXPECT_TRUE(icon.InTray());
  EXPECT_EQ(icon.TrayIcon()->toolTip(), QString(62, u'あ'));
  icon.SetTipHelp("new tip");
  EXPECT_EQ(icon.TrayIcon()->toolTip(), "new tip");
  icon.SetIcon(QIcon()); // no picture takes it out of the tray
  EXPECT_FALSE(icon.Visible());
  EXPECT_FALSE(icon.InTray());

  TTrayIcon::AvailableOverride = -1;
  icon.SetIcon(ProgramIcon());
  EXPECT_THROW(icon.SetVisible(true), ETrayIconError);
  EXPECT_FALSE(icon.Visible());
}

TEST(TrayIconTest, SingleClickFiresOnceAfterTheDoubleClickTime) {
  TTrayIcon icon;
  TCounts c;
  Count(icon, c);
  QElapsedTimer t;
  t.start();
  TTrayIcon::Dispatch(icon.Identifier(), TTrayMsg::LButtonDown);
  TTrayIcon::Dispatch(icon.Identifier(), TTrayMsg::LButtonUp);
  EXPECT_TRUE(icon.ClickPending());
  EXPECT_EQ(c.Click, 0);
  EXPECT_EQ(c.Down, 1);
  QTRY_COMPARE_WITH_TIMEOUT(c.Click, 1, 5000);
  EXPECT_GE(t.elapsed(), ClickWait() - 5);
  EXPECT_FALSE(icon.ClickPending());
  QTest::qWait(ClickWait());
  EXPECT_EQ(c.Click, 1);
  EXPECT_EQ(c.DblClick, 0);
}

TEST(TrayIconTest, DoubleClickFiresOnlyDblClick) {
  TTrayIcon icon;
  TCounts c;
  Count(icon, c);
  for (TTrayMsg m :
       {TTrayMsg::LButtonDown, TTrayMsg::LButtonUp, TTrayMsg::LButtonDblClk, TTrayMsg::LButtonUp})
    TTrayIcon::Dispatch(icon.Identifier(), m);
  EXPECT_EQ(c.DblClick, 1);
  EXPECT_FALSE(icon.ClickPending());
  QTest::qWait(ClickWait() + 200);
  EXPECT_EQ(c.Click, 0);

  // Through Qt's activation reasons, the same.
  emit icon.TrayIcon()->activated(QSystemTrayIcon::Trigger);
  emit icon.TrayIcon()->activated(QSystemTrayIcon::DoubleClick);
  QTest::qWait(ClickWait() + 200);
  EXPECT_EQ(c.DblClick, 2);
  EXPECT_EQ(c.Click, 0);
  emit icon.TrayIcon()->activated(QSystemTrayIcon::Trigger);
  QTRY_COMPARE_WITH_TIMEOUT(c.Click, 1, 5000);
}

TEST(TrayIconTest, MouseUpHandlerAndDisabledIconSuppressClicks) {
  TTrayIcon icon;
  TCounts c;
  Count(icon, c, true);
  TTrayIcon::Dispatch(icon.Identifier(), TTrayMsg::LButtonUp);
  EXPECT_EQ(c.Up, 1);
  EXPECT_FALSE(icon.ClickPending());
  TTrayIcon::Dispatch(icon.Identifier(), TTrayMsg::MButtonDown);
  EXPECT_EQ(c.LastButton, TTrayButton::Middle);
  QTest::qWait(ClickWait() + 100);
  EXPECT_EQ(c.Click, 0);

  icon.OnMouseUp = nullptr;
  TTrayIcon::Dispatch(icon.Identifier(), TTrayMsg::LButtonUp);
  EXPECT_TRUE(icon.ClickPending());
  icon.SetEnabled(false); // clears the pending click and ignores messages
  EXPECT_FALSE(icon.ClickPending());
  TTrayIcon::Dispatch(icon.Identifier(), TTrayMsg::LButtonDown);
  EXPECT_EQ(c.Down, 1);
  QTest::qWait(ClickWait() + 100);
  EXPECT_EQ(c.Click, 0);
  TTrayIcon::Dispatch(9999, TTrayMsg::LButtonDown); // nobody's identifier
}

TEST(TrayIconTest, RightButtonPopsTheMenuForTheOwningForm) {
  QMainWindow form;
  form.show();
  auto* icon = new TTrayIcon(&form);
  TCounts c;
  Count(*icon, c);
  auto* menu = new QMenu(&form);
  menu->addAction("終了");
  icon->SetRBPopupMenu(menu);
  TTrayIcon::Dispatch(icon->Identifier(), TTrayMsg::RButtonDown);
  EXPECT_TRUE(menu->isVisible());
  EXPECT_EQ(c.Down, 0);
  menu->hide();

  icon->AutoPopup = false;
  TTrayIcon::Dispatch(icon->Identifier(), TTrayMsg::RButtonDown);
  EXPECT_FALSE(menu->isVisible());
  EXPECT_EQ(c.Down, 1);
  EXPECT_EQ(c.LastButton, TTrayButton::Right);

  delete menu; // the reference is cleared with the menu
  EXPECT_EQ(icon->RBPopupMenu(), nullptr);
  icon->AutoPopup = true;
  TTrayIcon::Dispatch(icon->Identifier(), TTrayMsg::RButtonDown);
  EXPECT_EQ(c.Down, 2);
}

TEST(TrayIconTest, DestroyingWithAPendingClickIsSafe) {
  TCounts c;
  {
    TTrayIcon icon;
    Count(icon, c);
    TTrayIcon::Dispatch(icon.Identifier(), TTrayMsg::LButtonUp);
  }
  QTest::qWait(ClickWait() + 100);
  EXPECT_EQ(c.Click, 0);
}

} // namespace
