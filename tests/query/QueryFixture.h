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
