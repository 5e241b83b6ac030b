#include "OciIntr.h"
#include "TestSupport.h"

namespace {

bool StartsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

// Counts what a session reports; its prompt "types" User/Pass, or cancels when User is empty.
struct TSessionProbe {
  int Logins = 0, Connects = 0, DisConnects = 0, Prompts = 0;
  std::vector<std::string> Errors;
  std::string User, Pass;

  explicit TSessionProbe(TOraSession& ses) {
    ses.OnLogin = [this](TOraSession&) { ++Logins; };
    ses.OnConnect = [this](TOraSession&) { ++Connects; };
    ses.OnDisConnect = [this](TOraSession&) { ++DisConnects; };
    ses.OnError = [this](TOraSession&, const std::string& msg) { Errors.push_back(msg); };
    ses.LogonPrompt = [this](std::string& u, std::string& p, std::string&) {
      ++Prompts;
      if (User.empty())
        return false;
      u = User;
      p = Pass;
      return true;
    };
  }
};

} // namespace

using SessionTest = TFreshDatabase;

TEST_F(SessionTest, AutoLogonRulesAndRepeatedCalls) {
  EXPECT_TRUE(CheckLogonParams("/", ""));
  EXPECT_FALSE(CheckLogonParams("", "DEMO"));
  TOraSession ses;
  TSessionProbe probe(ses);

  // A user name without "/" and no password needs the dialog, even with AutoLogon.
  ses.AutoLogon = true;
  ses.UserName = "DEMO";
  EXPECT_FALSE(ses.Connect());
  EXPECT_EQ(probe.Prompts, 1);
  EXPECT_EQ(Messages, std::vector<std::string>{"Logon canceled"});

  ses.UserName = "DEMO/DEMO";
  EXPECT_TRUE(ses.Connect());
  EXPECT_EQ(probe.Prompts, 1);
  EXPECT_EQ(probe.Logins, 2);

  // Already connected: nothing happens, not even the login event.
  EXPECT_TRUE(ses.Connect());
  EXPECT_EQ(probe.Logins, 2);
  EXPECT_EQ(probe.Connects, 1);

  EXPECT_TRUE(ses.Disconnect());
  EXPECT_TRUE(ses.Disconnect());
  EXPECT_EQ(probe.DisConnects, 1);
  EXPECT_TRUE(probe.Errors.empty());

  EXPECT_FALSE(ses.Commit());
  EXPECT_EQ(ses.ReturnCode(), 1012);
  ASSERT_EQ(probe.Errors.size(), 1u);
  EXPECT_TRUE(StartsWith(probe.Errors[0], "ORA-01012")) << probe.Errors[0];
}

TEST_F(SessionTest, FailedLogonDialogAndCancel) {
  TOraSession ses;
  TSessionProbe probe(ses);
  // Nothing failed before: a cancel is silent apart from the notice.
  EXPECT_FALSE(ses.Connect());
  EXPECT_TRUE(probe.Errors.empty());

  EXPECT_FALSE(Logon(ses, "DEMO", "WRONG"));
  EXPECT_FALSE(ses.AutoLogon);
  EXPECT_EQ(ses.ReturnCode(), 1017);
  ASSERT_EQ(probe.Errors.size(), 1u);
  EXPECT_TRUE(StartsWith(probe.Errors[0], "ORA-01017")) << probe.Errors[0];

  // Cancelling the dialog that now appears repeats the earlier message.
  EXPECT_FALSE(ses.Connect());
  EXPECT_EQ(probe.Prompts, 2);
  EXPECT_EQ(Messages, std::vector<std::string>(2, "Logon canceled"));
  ASSERT_EQ(probe.Errors.size(), 2u);
  EXPECT_EQ(probe.Errors[1], probe.Errors[0]);

  // A folder that holds no database fails with 12154.
  std::string notDb = DataHome + "/no-database-here";
  std::filesystem::create_directory(notDb);
  ses.UserHost = notDb;
  probe.User = probe.Pass = "DEMO";
  EXPECT_FALSE(ses.Connect());
  EXPECT_EQ(ses.ReturnCode(), 12154);

  // What the user typed stays in the session for its owner.
  ses.UserHost = "";
  probe.User = probe.Pass = "demo";
  EXPECT_TRUE(ses.Connect());
  EXPECT_EQ(probe.Prompts, 4);
  EXPECT_EQ(ses.UserName, "demo");
  EXPECT_EQ(ses.UserPass, "demo");
  EXPECT_EQ(probe.Connects, 1);
}

TEST_F(SessionTest, DisconnectMarksCursorsClosed) {
  TOraSession ses;
  ASSERT_TRUE(Logon(ses, "DEMO", "DEMO"));
  TOraCursor a, b;
  a.SetSession(&ses);
  b.SetSession(&ses);
  ASSERT_TRUE(a.Open() && b.Open());
  EXPECT_TRUE(ses.Disconnect());
  EXPECT_FALSE(a.Opened());
  EXPECT_FALSE(b.Opened());
  ASSERT_TRUE(ses.Connect());
  EXPECT_EQ(Scalar(a, "SELECT COUNT(*) FROM DEPT"), "4");
}

TEST(SessionLinkTest, CursorListFollowsLifetimes) {
  auto s1 = std::make_unique<TOraSession>();
  auto s2 = std::make_unique<TOraSession>();
  auto a = std::make_unique<TOraCursor>();
  TOraCursor b;
  a->SetSession(s1.get());
  b.SetSession(s1.get());
  b.SetSession(s1.get());
  EXPECT_EQ(s1->Cursors(), (std::vector<TOraCursor*>{a.get(), &b}));

  b.SetSession(s2.get());
  EXPECT_EQ(s1->Cursors(), std::vector<TOraCursor*>{a.get()});
  EXPECT_EQ(s2->Cursors(), std::vector<TOraCursor*>{&b});
  a.reset();
  EXPECT_TRUE(s1->Cursors().empty());

  s2.reset();
  EXPECT_EQ(b.Session(), nullptr);
  EXPECT_EQ(b.ErrorText(), "");
  try {
    b.Open();
    FAIL() << "Open without a session must throw";
  } catch (const EOciCompoError& e) {
    EXPECT_STREQ(e.what(), "OCIDatabase が接続されていません。");
  }
  EXPECT_TRUE(b.Close()); // nothing to close, so no session needed
}

TEST_F(SessionTest, SessionsAreIsolatedUntilCommit) {
  TOraSession s1, s2;
  ASSERT_TRUE(Logon(s1, "DEMO", "DEMO") && Logon(s2, "DEMO", "DEMO"));
  TOraCursor c1, c2;
  c1.SetSession(&s1);
  c2.SetSession(&s2);

  ASSERT_TRUE(Run(c1, "INSERT INTO DEPT (DEPTNO, DNAME, LOC) VALUES (50, 'QA', 'TOKYO')"));
  EXPECT_EQ(Scalar(c1, "SELECT COUNT(*) FROM DEPT"), "5");
  EXPECT_EQ(Scalar(c2, "SELECT COUNT(*) FROM DEPT"), "4");
  ASSERT_TRUE(s1.Rollback());
  EXPECT_EQ(Scalar(c1, "SELECT COUNT(*) FROM DEPT"), "4");

  ASSERT_TRUE(Run(c1, "INSERT INTO DEPT (DEPTNO, DNAME, LOC) VALUES (60, 'OPS', 'OSAKA')"));
  EXPECT_EQ(Scalar(c2, "SELECT COUNT(*) FROM DEPT WHERE DEPTNO = 60"), "0");
  ASSERT_TRUE(s1.Commit());
  EXPECT_EQ(Scalar(c2, "SELECT DNAME FROM DEPT WHERE DEPTNO = 60"), "OPS");
}

TEST_F(SessionTest, LostLogonClearsConnectedOnCursorCalls) {
  TOraSession ses;
  ASSERT_TRUE(Logon(ses, "DEMO", "DEMO"));
  TSessionProbe probe(ses);
  TOraCursor cur, other;
  cur.SetSession(&ses);
  other.SetSession(&ses);
  ASSERT_TRUE(cur.Open());
  std::vector<std::string> curErrors;
  cur.OnError = [&](TOraCursor&, const std::string& msg) { curErrors.push_back(msg); };

  // The logon goes away behind the session's back.
  ASSERT_EQ(OciIntr::ologof(ses.LogonArea()), 0);
  // An open failure does not count as a lost logon.
  EXPECT_FALSE(other.Open());
  EXPECT_EQ(other.ReturnCode(), 1012);
  EXPECT_TRUE(ses.Connected());

  cur.SQL() = {"SELECT * FROM DEPT"};
  EXPECT_FALSE(cur.Parse());
  EXPECT_FALSE(ses.Connected());
  EXPECT_EQ(probe.DisConnects, 0);
  EXPECT_TRUE(probe.Errors.empty());
  ASSERT_EQ(curErrors.size(), 1u);
  EXPECT_TRUE(StartsWith(curErrors[0], "ORA-01012")) << curErrors[0];

  // The next command logs on again on the same session.
  ASSERT_TRUE(ses.Connect());
  EXPECT_EQ(Scalar(other, "SELECT COUNT(*) FROM EMP"), "14");
}
