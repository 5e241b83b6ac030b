// Autonomous transactions where one logon's view is not enough: a process killed after the
// routine's COMMIT, a rollback to a savepoint taken before the call, and a second logon that
// watches what the first one keeps or throws away.
#include "EngineFixture.h"

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class Autonomous : public Engine {
protected:
  void SetUp() override {
    Engine::SetUp();
    ASSERT_EQ(Exec("CREATE TABLE LOG_T (MSG VARCHAR2(100))"), "");
    ASSERT_EQ(Exec("CREATE OR REPLACE PROCEDURE LOG_IT (P VARCHAR2) IS\n"
                   "  PRAGMA AUTONOMOUS_TRANSACTION;\n"
                   "BEGIN\n"
                   "  INSERT INTO LOG_T VALUES (P);\n"
                   "  COMMIT;\n"
                   "END;"),
              "");
  }
  // What a logon of its own finds committed.
  std::string Committed(const std::string& sql) {
    TOraSession other;
    EXPECT_TRUE(Logon(other, "DEMO", "DEMO"));
    TOraCursor c;
    c.SetSession(&other);
    std::string v = Scalar(c, sql);
    other.Disconnect();
    return v;
  }
  // Runs `body` in a child process on its own logon, which then dies at once (SIGKILL), with
  // nothing rolled back or closed.
  void DieAfter(const std::function<bool(TOraCursor&)>& body) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      TOraSession s;
      TOraCursor c;
      c.SetSession(&s);
      if (!Logon(s, "DEMO", "DEMO") || !body(c))
        _exit(3);
      raise(SIGKILL);
      _exit(4);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
        << "the child failed before its end";
  }
};

TEST_F(Autonomous, ACommitThatReturnedSurvivesAKilledProcess) {
  // inside an open transaction of the caller: the routine's rows live in the journal
  DieAfter([](TOraCursor& c) {
    return Run(c, "INSERT INTO DEPT VALUES (70, 'GONE', 'X')") &&
           Run(c, "BEGIN LOG_IT('inside'); END;") &&
           Run(c, "UPDATE LOG_T SET MSG = 'caller' WHERE MSG = 'inside'");
  });
  EXPECT_EQ(Committed("SELECT COUNT(*) FROM LOG_T WHERE MSG = 'inside'"), "1");
  EXPECT_EQ(Committed("SELECT COUNT(*) FROM LOG_T"),
            "1"); // the caller's update is gone; no copy twice
  EXPECT_EQ(Committed("SELECT COUNT(*) FROM DEPT WHERE DEPTNO = 70"), "0");
  // the session open all along sees it too, and its next transaction is its own
  EXPECT_EQ(Rows("SELECT MSG FROM LOG_T"), "inside\n");
  // with no transaction open, the routine's COMMIT is a plain one
  DieAfter([](TOraCursor& c) {
    return Run(c, "BEGIN LOG_IT('alone'); END;") &&
           Run(c, "INSERT INTO DEPT VALUES (71, 'GONE', 'X')");
  });
  EXPECT_EQ(Committed("SELECT COUNT(*) FROM LOG_T WHERE MSG = 'alone'"), "1");
  EXPECT_EQ(Committed("SELECT COUNT(*) FROM DEPT WHERE DEPTNO IN (70, 71)"), "0");
  // the journal is settled once: more logons add nothing
  EXPECT_EQ(Committed("SELECT COUNT(*) FROM LOG_T"), "2");
}

TEST_F(Autonomous, RollingBackToASavepointBeforeTheCallKeepsItsCommit) {
  ASSERT_EQ(Exec("INSERT INTO DEPT VALUES (70, 'KEPT', 'X')"), "");
  ASSERT_EQ(Exec("SAVEPOINT BEFORE_CALL"), "");
  ASSERT_EQ(Exec("INSERT INTO DEPT VALUES (71, 'UNDONE', 'X')"), "");
  ASSERT_EQ(Exec("BEGIN LOG_IT('after the savepoint'); END;"), "");
  ASSERT_EQ(Exec("UPDATE DEPT SET LOC = 'MOVED' WHERE DEPTNO = 10"), "");
  ASSERT_EQ(Exec("ROLLBACK TO BEFORE_CALL"), "");
  // at once visible again to the session, with what preceded the savepoint
  EXPECT_EQ(Rows("SELECT MSG FROM LOG_T"), "after the savepoint\n");
  EXPECT_EQ(Rows("SELECT DEPTNO, LOC FROM DEPT WHERE DEPTNO IN (10, 70, 71) ORDER BY 1"),
            "10|NEW YORK\n70|X\n");
  // a rollback to a savepoint taken after the call leaves it as it is
  ASSERT_EQ(Exec("SAVEPOINT AFTER_CALL"), "");
  ASSERT_EQ(Exec("BEGIN LOG_IT('second'); END;"), "");
  ASSERT_EQ(Exec("ROLLBACK TO AFTER_CALL"), "");
  ASSERT_EQ(Exec("ROLLBACK"), "");
  EXPECT_EQ(Committed("SELECT COUNT(*) FROM LOG_T"), "2");
  EXPECT_EQ(Committed("SELECT COUNT(*) FROM DEPT WHERE DEPTNO IN (70, 71)"), "0");
  EXPECT_EQ(Committed("SELECT LOC FROM DEPT WHERE DEPTNO = 10"), "NEW YORK");
}

TEST_F(Autonomous, ASecondLogonNeverTakesOverALiveSessionsCommits) {
  ASSERT_EQ(Exec("INSERT INTO DEPT VALUES (70, 'MAIN', 'X')"), "");
  ASSERT_EQ(Exec("BEGIN LOG_IT('one'); END;"), "");
  // another logon while the journal holds the entry: it must not write it a second time
  TOraSession other;
  ASSERT_TRUE(Logon(other, "DEMO", "DEMO"));
  TOraCursor oc;
  oc.SetSession(&other);
  ASSERT_TRUE(Ses.Commit());
  EXPECT_EQ(Scalar(oc, "SELECT COUNT(*) FROM LOG_T WHERE MSG = 'one'"), "1");
  EXPECT_EQ(Scalar(oc, "SELECT COUNT(*) FROM DEPT WHERE DEPTNO = 70"), "1");
  // and when the caller rolls back, the routine's row is committed on its own, once
  ASSERT_EQ(Exec("INSERT INTO DEPT VALUES (71, 'MAIN', 'X')"), "");
  ASSERT_EQ(Exec("BEGIN LOG_IT('two'); END;"), "");
  TOraSession third;
  ASSERT_TRUE(Logon(third, "DEMO", "DEMO"));
  ASSERT_TRUE(Ses.Rollback());
  EXPECT_EQ(Scalar(oc, "SELECT COUNT(*) FROM LOG_T WHERE MSG = 'two'"), "1");
  EXPECT_EQ(Scalar(oc, "SELECT COUNT(*) FROM DEPT WHERE DEPTNO = 71"), "0");
  third.Disconnect();
  EXPECT_EQ(Committed("SELECT COUNT(*) FROM LOG_T"), "2");
  // the other logon's own autonomous work goes through the same journal
  ASSERT_TRUE(Run(oc, "INSERT INTO DEPT VALUES (72, 'OTHER', 'X')"));
  ASSERT_TRUE(Run(oc, "BEGIN LOG_IT('three'); END;"));
  ASSERT_TRUE(other.Rollback());
  EXPECT_EQ(Rows("SELECT MSG FROM LOG_T ORDER BY MSG"), "one\nthree\ntwo\n");
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM DEPT WHERE DEPTNO = 72"), "0\n");
  oc.Close();
  other.Disconnect();
}

} // namespace
