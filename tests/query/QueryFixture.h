// A query window opened from the main window, logged on as DEMO with the schema tree shown.
#pragma once
#include "MainFormFixture.h"
#include "StringGridEx.h"
#include "uEditor.h"
#include "uMain.h"

#include <QStatusBar>
#include <QTimer>
#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

class QueryTest : public MainFormTest {
protected:
  TfMain& Query() {
    TfMainForm& f = WithTree();
    f.sbNewQuery->click();
    QApplication::processEvents();
    EXPECT_FALSE(f.QueryWindows().isEmpty());
    TfMain& q = *f.QueryWindows().last();
    f.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&f));
    q.mmSqlStatement->setFocus();
    return q;
  }

  // Types F5 in the editor with this text.
  static void RunText(TfMain& q, const QString& text) {
    q.mmSqlStatement->SetText(text);
    q.mmSqlStatement->setFocus();
    QTest::keyClick(q.mmSqlStatement, Qt::Key_F5);
  }

  static QStringList Row(TfMain& q, int row) { return q.sgSqlResult->Rows(row); }

  // A key pressed and released as a window system delivers them: each event goes to the widget
  // that has the focus at that moment (the press may move the focus elsewhere).
  void Press(Qt::Key key, Qt::KeyboardModifiers mods = {}) {
    QWidget* down = QApplication::focusWidget();
    ASSERT_NE(down, nullptr);
    QTest::keyPress(down, key, mods);
    QApplication::processEvents();
    if (!QApplication::focusWidget())
      Reactivate(); // a message box came and went
    QTest::keyRelease(QApplication::focusWidget(), key, mods);
    QApplication::processEvents();
  }
  // The offscreen platform gives the activation back to no window after a modal box closes,
  // where a window system gives it to the box's parent.
  void Reactivate() {
    Form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
  }
  static void Type(const QString& text) {
    for (QChar c : text) {
      QWidget* w = QApplication::focusWidget();
      ASSERT_NE(w, nullptr);
      QTest::keyClick(w, c.toLatin1());
    }
    QApplication::processEvents();
  }

  // The first column of the first row on a logon of its own (what other users see).
  static std::string OtherLogonSees(const std::string& sql) {
    TOraSession ses;
    TOraCursor cur;
    cur.SetSession(&ses);
    if (!Logon(ses, "DEMO", "DEMO"))
      return "<no logon>";
    std::string value = Scalar(cur, sql);
    ses.Disconnect();
    return value;
  }
};
