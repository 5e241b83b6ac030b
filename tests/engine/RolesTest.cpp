// Roles made by SYSTEM and used by another user: grants through roles, passwords of roles and
// what the dictionary shows of them.
#include "EngineFixture.h"

namespace {

class Roles : public EngineWithSystem {};

TEST_F(Roles, MadeGrantedEnabledAndDropped) {
  EXPECT_EQ(AsSystem("CREATE ROLE clerk IDENTIFIED BY bicentennial"), "");
  EXPECT_EQ(AsSystem("CREATE ROLE manager NOT IDENTIFIED"), "");
  EXPECT_EQ(AsSystem("CREATE ROLE clerk").substr(0, 9), "ORA-01921");
  EXPECT_EQ(AsSystem("CREATE ROLE demo").substr(0, 9), "ORA-01921");
  EXPECT_EQ(AsSystem("CREATE ROLE connect").substr(0, 9), "ORA-01921");
  EXPECT_EQ(AsSystem("CREATE USER manager IDENTIFIED BY x").substr(0, 9), "ORA-01920");
  EXPECT_EQ(AsSystem("GRANT CREATE TABLE, CREATE VIEW TO manager"), "");
  EXPECT_EQ(AsSystem("GRANT clerk TO manager"), "");
  EXPECT_EQ(AsSystem("GRANT manager TO clerk").substr(0, 9), "ORA-01934");
  EXPECT_EQ(AsSystem("GRANT manager TO manager").substr(0, 9), "ORA-01934");
  EXPECT_EQ(AsSystem("GRANT manager TO demo WITH ADMIN OPTION"), "");
  EXPECT_EQ(AsSystem("GRANT manager TO nobody").substr(0, 9), "ORA-01917");
  EXPECT_EQ(AsSystem("GRANT nosuch TO demo").substr(0, 9), "ORA-01031");

  // granted after DEMO logged on: its default roles are read again
  EXPECT_EQ(Rows("SELECT granted_role, admin_option FROM user_role_privs ORDER BY 1"),
            "CONNECT|NO\nMANAGER|YES\nRESOURCE|NO\n");
  // enabled from the next logon or SET ROLE on
  EXPECT_EQ(Rows("SELECT role FROM session_roles ORDER BY 1"), "CONNECT\nRESOURCE\n");
  EXPECT_EQ(Exec("SET ROLE ALL"), "");
  EXPECT_EQ(Rows("SELECT role FROM session_roles ORDER BY 1"),
            "CLERK\nCONNECT\nMANAGER\nRESOURCE\n");
  EXPECT_EQ(Rows("SELECT privilege FROM role_sys_privs WHERE role = 'MANAGER' ORDER BY 1"),
            "CREATE TABLE\nCREATE VIEW\n");
  EXPECT_EQ(Rows("SELECT role, granted_role FROM role_role_privs"), "MANAGER|CLERK\n");

  // a role with a password is enabled by naming it with the password
  EXPECT_EQ(Exec("SET ROLE clerk").substr(0, 9), "ORA-01979");
  EXPECT_EQ(Exec("SET ROLE clerk IDENTIFIED BY wrong").substr(0, 9), "ORA-01979");
  EXPECT_EQ(Exec("SET ROLE clerk IDENTIFIED BY bicentennial"), "");
  EXPECT_EQ(Rows("SELECT role FROM session_roles"), "CLERK\n");
  EXPECT_EQ(Exec("SET ROLE ALL EXCEPT manager"), "");
  EXPECT_EQ(Rows("SELECT role FROM session_roles ORDER BY 1"), "CONNECT\nRESOURCE\n");
  EXPECT_EQ(Exec("SET ROLE manager"), "");
  EXPECT_EQ(Rows("SELECT role FROM session_roles ORDER BY 1"), "CLERK\nMANAGER\n");

  // the admin option lets DEMO pass the role on and change it, not more
  EXPECT_EQ(Exec("GRANT manager TO system"), "");
  EXPECT_EQ(Exec("ALTER ROLE manager IDENTIFIED BY secret"), "");
  EXPECT_EQ(Exec("GRANT clerk TO system").substr(0, 9), "ORA-01031");
  EXPECT_EQ(Exec("GRANT CREATE TABLE TO manager").substr(0, 9), "ORA-01031");
  EXPECT_EQ(AsSystem("SET ROLE manager").substr(0, 9), "ORA-01979");
  EXPECT_EQ(AsSystem("SET ROLE manager IDENTIFIED BY secret"), "");

  EXPECT_EQ(Scalar(SysCur, "SELECT password_required || '/' || authentication_type FROM dba_roles "
                           "WHERE role = 'CLERK'"),
            "YES/PASSWORD");
  EXPECT_EQ(Scalar(SysCur, "SELECT COUNT(*) FROM dba_roles"), "5");

  EXPECT_EQ(AsSystem("REVOKE CREATE VIEW FROM manager"), "");
  EXPECT_EQ(AsSystem("REVOKE CREATE VIEW FROM manager").substr(0, 9), "ORA-01952");
  EXPECT_EQ(AsSystem("REVOKE clerk FROM demo"), "ORA-01951: ROLE 'CLERK' not granted to 'DEMO'");
  EXPECT_EQ(AsSystem("REVOKE manager FROM demo"), "");
  EXPECT_EQ(Rows("SELECT granted_role FROM user_role_privs ORDER BY 1"), "CONNECT\nRESOURCE\n");
  EXPECT_EQ(Exec("SET ROLE manager").substr(0, 9), "ORA-01924");

  EXPECT_EQ(AsSystem("DROP ROLE clerk"), "");
  EXPECT_EQ(AsSystem("DROP ROLE clerk"), "ORA-01919: role 'CLERK' does not exist");
  EXPECT_EQ(AsSystem("DROP ROLE connect").substr(0, 9), "ORA-01031");
  EXPECT_EQ(Scalar(SysCur, "SELECT COUNT(*) FROM role_role_privs"), "0");

  // settings the engine does not have are refused, not accepted without effect
  EXPECT_EQ(AsSystem("ALTER SYSTEM SET resource_limit = TRUE"),
            "ORA-01031: insufficient privileges (ALTER SYSTEM is not supported by this engine)");
  EXPECT_EQ(AsSystem("CREATE PROFILE p LIMIT SESSIONS_PER_USER 1").substr(0, 9), "ORA-01031");
  EXPECT_EQ(AsSystem("AUDIT SESSION").substr(0, 9), "ORA-01031");
}

TEST_F(Roles, RolesGrantedToPublicAndToDroppedUsers) {
  EXPECT_EQ(AsSystem("CREATE ROLE reader"), "");
  EXPECT_EQ(AsSystem("GRANT reader TO PUBLIC"), "");
  EXPECT_EQ(
      Rows("SELECT username, granted_role FROM user_role_privs WHERE granted_role = 'READER'"),
      "PUBLIC|READER\n");
  EXPECT_EQ(Exec("SET ROLE reader"), "");
  EXPECT_EQ(AsSystem("CREATE USER temp1 IDENTIFIED BY pw"), "");
  EXPECT_EQ(AsSystem("CREATE ROLE writer"), "");
  EXPECT_EQ(AsSystem("GRANT writer TO temp1"), "");
  EXPECT_EQ(AsSystem("DROP USER temp1"), "");
  // a user made again under the name does not inherit the old grants
  EXPECT_EQ(AsSystem("CREATE USER temp1 IDENTIFIED BY pw"), "");
  TOraSession t;
  ASSERT_TRUE(Logon(t, "TEMP1", "PW"));
  TOraCursor c;
  c.SetSession(&t);
  EXPECT_EQ(Scalar(c, "SELECT COUNT(*) FROM user_role_privs WHERE granted_role = 'WRITER'"), "0");
  c.Close();
  t.Disconnect();
}

// The sample schema's script makes its user so: GRANT ... IDENTIFIED BY, then ALTER USER for its
// tablespaces; a later GRANT ... IDENTIFIED BY changes the password.
TEST_F(Roles, GrantIdentifiedByAndUserStorage) {
  EXPECT_EQ(AsSystem("GRANT CONNECT, RESOURCE, UNLIMITED TABLESPACE TO scott2 IDENTIFIED BY tiger"),
            "");
  EXPECT_EQ(AsSystem("ALTER USER scott2 DEFAULT TABLESPACE users TEMPORARY TABLESPACE temp QUOTA "
                     "10 M ON users"),
            "");
  EXPECT_EQ(AsSystem("ALTER USER scott2 QUOTA UNLIMITED ON users PROFILE DEFAULT ACCOUNT UNLOCK "
                     "DEFAULT ROLE ALL"),
            "");
  EXPECT_EQ(AsSystem("ALTER USER scott2 DEFAULT TABLESPACE example"),
            "ORA-00959: tablespace 'EXAMPLE' does not exist");
  EXPECT_EQ(AsSystem("ALTER USER scott2 TEMPORARY TABLESPACE users").substr(0, 9), "ORA-12911");
  EXPECT_EQ(AsSystem("ALTER USER scott2 PROFILE app_user"),
            "ORA-02380: profile APP_USER does not exist");
  EXPECT_EQ(AsSystem("ALTER USER scott2 DEFAULT ROLE NONE").substr(0, 9), "ORA-01031");
  EXPECT_EQ(AsSystem("ALTER USER scott2 ACCOUNT LOCK").substr(0, 9), "ORA-00922");
  EXPECT_EQ(AsSystem("ALTER USER scott2").substr(0, 9), "ORA-00922");
  EXPECT_EQ(AsSystem("ALTER USER nobody DEFAULT TABLESPACE users").substr(0, 9), "ORA-01918");
  EXPECT_EQ(AsSystem("GRANT CONNECT TO PUBLIC IDENTIFIED BY x").substr(0, 9), "ORA-00987");
  EXPECT_EQ(AsSystem("GRANT CONNECT TO scott2, demo IDENTIFIED BY x").substr(0, 9), "ORA-00987");
  EXPECT_EQ(Exec("GRANT CONNECT TO nobody IDENTIFIED BY x").substr(0, 9), "ORA-01031");
  {
    TOraSession t;
    ASSERT_TRUE(Logon(t, "SCOTT2", "TIGER"));
    t.Disconnect();
  }
  EXPECT_EQ(AsSystem("GRANT CONNECT TO scott2 IDENTIFIED BY lion"), "");
  TOraSession t;
  EXPECT_FALSE(Logon(t, "SCOTT2", "TIGER"));
  ASSERT_TRUE(Logon(t, "SCOTT2", "LION"));
  TOraCursor c;
  c.SetSession(&t);
  EXPECT_EQ(Scalar(c, "SELECT username || ' ' || default_tablespace FROM user_users"),
            "SCOTT2 USERS");
  c.Close();
  t.Disconnect();
}

} // namespace
