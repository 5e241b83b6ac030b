// The terminal shell over the real engine: statement splitting, output layout, errors, exit.
#include "../access/TestSupport.h"
#include "DisplayWidth.h"
#include "SqlShell.h"

#include <cstdio>
#include <sstream>
#include <unistd.h>

namespace {

class Shell : public TFreshDatabase {
protected:
  std::string RunScript(const std::string& script) {
    TOraSession ses;
    ses.DateFormatString = "YYYY/MM/DD";
    EXPECT_TRUE(Logon(ses, "DEMO", "DEMO"));
    std::istringstream in(script);
    std::ostringstream out;
    TSqlShell shell(ses, in, out, false);
    shell.Run();
    ses.Disconnect();
    return out.str();
  }
};

std::vector<std::string> Lines(const std::string& s) {
  std::vector<std::string> v;
  std::istringstream in(s);
  for (std::string l; std::getline(in, l);) v.push_back(l);
  return v;
}

TEST_F(Shell, RunsStatementsAndLaysOutRows) {
  std::string out = RunScript(
      "select empno, ename,\n"
      "       hiredate from emp where deptno = 10 order by empno;\n"
      "insert into dept values (50, 'A;B', '東京');\n"
      "select dname, loc from dept where deptno = 50; select * from nosuch;\n"
      "-- a comment line\n"
      "update emp set sal = sal where deptno = 20;\n"
      "commit;\n"
      "exit\n"
      "select * from emp;\n");
  auto l = Lines(out);
  ASSERT_GE(l.size(), 8u);
  EXPECT_EQ(l[0], "EMPNO ENAME  HIREDATE");
  EXPECT_EQ(l[1], "----- ------ ----------");
  EXPECT_EQ(l[2], " 7782 CLARK  1981/06/09");
  EXPECT_EQ(l[4], " 7934 MILLER 1982/01/23");
  EXPECT_NE(out.find("3 rows selected."), std::string::npos);
  EXPECT_NE(out.find("1 row processed."), std::string::npos);
  // The ";" inside the literal did not end the statement; the wide text lines up by columns.
  EXPECT_NE(out.find("DNAME LOC\n----- ----\nA;B   東京\n"), std::string::npos) << out;
  EXPECT_NE(out.find("ORA-00942"), std::string::npos);
  EXPECT_EQ(out.find("Processing Ora function"), std::string::npos);
  EXPECT_NE(out.find("5 rows processed."), std::string::npos);
  EXPECT_NE(out.find("Commit complete."), std::string::npos);
  EXPECT_EQ(out.find("14 rows selected."), std::string::npos); // after EXIT nothing runs

  TOraSession check;
  ASSERT_TRUE(Logon(check, "DEMO", "DEMO"));
  TOraCursor c;
  c.SetSession(&check);
  EXPECT_EQ(Scalar(c, "SELECT LOC FROM DEPT WHERE DEPTNO = 50"), "東京");
}

TEST(ShellText, LogonArgumentAndDisplayWidth) {
  TLogonArgs a = ParseLogonArg("demo/secret@/data/db");
  EXPECT_EQ(a.user, "demo");
  EXPECT_EQ(a.password, "secret");
  EXPECT_TRUE(a.hasPassword);
  EXPECT_EQ(a.host, "/data/db");
  a = ParseLogonArg("scott");
  EXPECT_EQ(a.user, "scott");
  EXPECT_FALSE(a.hasPassword);
  EXPECT_EQ(DisplayWidth("abc"), 3);
  EXPECT_EQ(DisplayWidth("東京"), 4);
  EXPECT_EQ(DisplayWidth("ｱｲｳ"), 3); // half-width katakana
  EXPECT_EQ(PadDisplay("東", 4), "東  ");
  EXPECT_EQ(PadDisplay("7", 3, true), "  7");
}

TEST_F(Shell, ProgramLogsOnFromItsArgumentAndPrintsTheDemoRows) {
  char exe[4096];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  ASSERT_GT(n, 0);
  exe[n] = 0;
  std::string dir = std::filesystem::path(exe).parent_path().string();
  std::string cmd = "printf 'SELECT * FROM EMP;\\nexit\\n' | '" + dir + "/tessel-sql' DEMO/DEMO 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string out;
  char buf[4096];
  while (size_t k = fread(buf, 1, sizeof buf, p)) out.append(buf, k);
  EXPECT_EQ(pclose(p), 0);
  EXPECT_NE(out.find("Connected."), std::string::npos) << out;
  EXPECT_NE(out.find("14 rows selected."), std::string::npos) << out;
  EXPECT_NE(out.find("SMITH"), std::string::npos);

  cmd = "printf 'exit\\n' | '" + dir + "/tessel-sql' DEMO/WRONG 2>&1";
  p = popen(cmd.c_str(), "r");
  out.clear();
  while (size_t k = fread(buf, 1, sizeof buf, p)) out.append(buf, k);
  EXPECT_NE(pclose(p), 0);
  EXPECT_NE(out.find("ORA-01017"), std::string::npos) << out;
}

} // namespace
