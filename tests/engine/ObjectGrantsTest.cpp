// Object privileges seen from sessions that stay open while the owner grants and revokes, and
// grants that follow their object through RENAME and the recycle bin.
#include "EngineFixture.h"

namespace {

class ObjectGrants : public Engine {
protected:
  void SetUp() override {
    Engine::SetUp();
    ASSERT_TRUE(Logon(Sys, "SYSTEM", "MANAGER"));
    SysCur.SetSession(&Sys);
    SysCur.SetNumberOfRows(100);
  }
  void TearDown() override {
    SysCur.Close();
    Sys.Disconnect();
    Engine::TearDown();
  }
  // Runs a statement as SYSTEM; "" on success, else the message's first line.
  std::string AsSystem(const std::string& sql) {
    std::string err;
    SysCur.OnError = [&](TOraCursor&, const std::string& m) { err = m.substr(0, m.find('\r')); };
    SysCur.Close();
    bool ok = Run(SysCur, sql);
    SysCur.OnError = nullptr;
    SysCur.Close();
    return ok ? std::string() : err;
  }
  TOraSession Sys;
  TOraCursor SysCur;
};

// Oracle Database Security Guide, "Granting and Revoking Object Privileges": a grant or revoke
// of an object privilege takes effect at once, also in sessions already open.
TEST_F(ObjectGrants, OpenSessionsSeeGrantsAndRevokesAtOnce) {
  ASSERT_EQ(AsSystem("CREATE USER scott IDENTIFIED BY tiger"), "");
  TOraSession scott;
  ASSERT_TRUE(Logon(scott, "SCOTT", "TIGER"));
  TOraCursor c;
  c.SetSession(&scott);
  const char* recd =
      "SELECT COUNT(*) FROM user_tab_privs_recd WHERE owner = 'DEMO' AND table_name = 'EMP'";
  EXPECT_EQ(Scalar(c, recd), "0");
  EXPECT_EQ(Exec("GRANT SELECT, UPDATE ON emp TO scott"), "");
  EXPECT_EQ(Scalar(c, recd), "2");
  EXPECT_EQ(Scalar(SysCur, "SELECT COUNT(*) FROM dba_tab_privs WHERE grantee = 'SCOTT'"), "2");
  EXPECT_EQ(Exec("REVOKE UPDATE ON emp FROM scott"), "");
  EXPECT_EQ(Scalar(c, recd), "1");
  // the same statement again changes nothing
  EXPECT_EQ(Exec("GRANT SELECT ON emp TO scott"), "");
  EXPECT_EQ(Exec("GRANT SELECT ON emp TO scott"), "");
  EXPECT_EQ(Scalar(c, recd), "1");
  c.Close();
  scott.Disconnect();
  // kept in the database, not in a session
  Cur.Close();
  Ses.Disconnect();
  ASSERT_TRUE(Logon(Ses, "DEMO", "DEMO"));
  EXPECT_EQ(Rows("SELECT grantee, privilege FROM user_tab_privs_made"), "SCOTT|SELECT\n");
}

// Oracle SQL Language Reference, RENAME ("Oracle Database transfers integrity constraints,
// indexes, and grants on the old object to the new object") and FLASHBACK TABLE ... TO BEFORE
// DROP (the table comes back as it was); a new table under a dropped one's name has no grants.
TEST_F(ObjectGrants, GrantsFollowTheirObject) {
  EXPECT_EQ(Exec("GRANT SELECT ON emp TO PUBLIC"), "");
  EXPECT_EQ(Exec("RENAME emp TO staff"), "");
  EXPECT_EQ(Rows("SELECT table_name, privilege FROM user_tab_privs"), "STAFF|SELECT\n");
  EXPECT_EQ(Exec("REVOKE SELECT ON staff FROM PUBLIC"), "");
  EXPECT_EQ(Exec("REVOKE SELECT ON staff FROM PUBLIC").substr(0, 9), "ORA-01927");
  EXPECT_EQ(Exec("GRANT INSERT ON staff TO PUBLIC"), "");
  EXPECT_EQ(Exec("DROP TABLE staff"), "");
  EXPECT_EQ(Rows("SELECT table_name FROM user_tab_privs"), "");
  EXPECT_EQ(Exec("GRANT INSERT ON staff TO PUBLIC").substr(0, 9), "ORA-00942");
  // Oracle Database Administrator's Guide, "Using Flashback Drop": objects in the recycle bin
  // take no DDL
  std::string bin =
      Scalar(Cur, "SELECT object_name FROM user_recyclebin WHERE original_name = 'STAFF'");
  ASSERT_FALSE(bin.empty());
  EXPECT_EQ(Exec("GRANT SELECT ON \"" + bin + "\" TO PUBLIC").substr(0, 9), "ORA-38301");
  EXPECT_EQ(Exec("FLASHBACK TABLE staff TO BEFORE DROP"), "");
  EXPECT_EQ(Rows("SELECT table_name, privilege FROM user_tab_privs"), "STAFF|INSERT\n");
  EXPECT_EQ(Exec("DROP TABLE staff PURGE"), "");
  EXPECT_EQ(Exec("CREATE TABLE staff (n NUMBER)"), "");
  EXPECT_EQ(Rows("SELECT table_name FROM user_tab_privs"), "");
  EXPECT_EQ(Exec("REVOKE INSERT ON staff FROM PUBLIC").substr(0, 9), "ORA-01927");

  // a column grant goes with its column
  EXPECT_EQ(Exec("GRANT UPDATE (sal, comm) ON salgrade TO PUBLIC").substr(0, 9), "ORA-00904");
  EXPECT_EQ(Exec("GRANT UPDATE (losal, hisal) ON salgrade TO PUBLIC"), "");
  EXPECT_EQ(Exec("ALTER TABLE salgrade DROP COLUMN hisal"), "");
  EXPECT_EQ(Rows("SELECT column_name FROM user_col_privs"), "LOSAL\n");
}

} // namespace
