// Output layout cases run through the real tessel-sql program: each tests/sqlshell/layout/NAME.sql
// runs as "tessel-sql DEMO/DEMO @NAME.sql" on a fresh demo database, with NAME.in (if any) as its
// input, and its whole output must equal NAME.out. The scripts name, in "REM source:" lines, where
// their expected output comes from.
#include "../access/TestSupport.h"

#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The first line where two outputs part, for a readable failure.
std::string FirstDifference(const std::string& want, const std::string& got) {
  std::istringstream a(want), b(got);
  std::string la, lb;
  for (int line = 1;; ++line) {
    bool ha = static_cast<bool>(std::getline(a, la)), hb = static_cast<bool>(std::getline(b, lb));
    if (!ha && !hb)
      return "the same lines; the ends differ";
    if (!ha || !hb || la != lb)
      return "line " + std::to_string(line) + ": expected [" + (ha ? la : "<end>") + "] got [" +
             (hb ? lb : "<end>") + "]";
  }
}

class Layout : public TFreshDatabase {
protected:
  // The program's input is NAME.in beside the script (what ACCEPT reads), else nothing.
  std::string Run(const fs::path& script, int& code) {
    fs::path in = script;
    in.replace_extension(".in");
    const std::string input = fs::exists(in) ? in.string() : std::string("/dev/null");
    char exe[4096];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    exe[n > 0 ? n : 0] = 0;
    std::string prog = (fs::path(exe).parent_path() / "tessel-sql").string();
    std::string cmd = "cd '" + DataHome + "' && '" + prog + "' DEMO/DEMO @'" + script.string() +
                      "' < '" + input + "' 2>&1";
    std::string out;
    FILE* p = popen(cmd.c_str(), "r");
    char buf[4096];
    while (size_t k = fread(buf, 1, sizeof buf, p))
      out.append(buf, k);
    int status = pclose(p);
    code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
  }
};

TEST_F(Layout, ScriptsPrintWhatTheClassicShellPrints) {
  std::vector<fs::path> scripts;
  for (auto& e : fs::directory_iterator(SHELL_LAYOUT_DIR))
    if (e.path().extension() == ".sql")
      scripts.push_back(e.path());
  std::sort(scripts.begin(), scripts.end());
  ASSERT_FALSE(scripts.empty());
  for (const fs::path& script : scripts) {
    std::string text = ReadText(script);
    EXPECT_NE(text.find("REM source: "), std::string::npos) << script << " names no source";
    fs::path expected = script;
    expected.replace_extension(".out");
    ASSERT_TRUE(fs::exists(expected)) << expected;
    int code = -1;
    std::string got = Run(script, code);
    std::string want = ReadText(expected);
    EXPECT_EQ(code, 0) << script;
    EXPECT_TRUE(got == want) << script.filename() << ": " << FirstDifference(want, got) << "\n"
                             << got;
  }
}

} // namespace
