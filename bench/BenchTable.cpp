#include "BenchTable.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

bool Run(TOraSession& s, const std::string& sql) {
  TOraCursor c;
  c.SetSession(&s);
  c.SetSQL({sql});
  bool ok = c.Open() && c.Parse() && c.Exec();
  c.Close();
  return ok;
}

} // namespace

TBenchTable::TBenchTable() {
  FHome = fs::temp_directory_path() / ("tessel-bench-" + std::to_string(getpid()));
  fs::create_directories(FHome);
  setenv("XDG_DATA_HOME", FHome.c_str(), 1);
}

TBenchTable::~TBenchTable() {
  if (FDb)
    sqlite3_close(FDb);
  std::error_code ec;
  fs::remove_all(FHome, ec);
}

bool TBenchTable::Build(long rows) {
  TOraSession s;
  s.UserName = "DEMO";
  s.UserPass = "DEMO";
  s.AutoLogon = true;
  s.OnError = [](TOraSession&, const std::string& m) { std::fprintf(stderr, "%s\n", m.c_str()); };
  if (!s.Connect())
    return false;
  if (!Run(s, "CREATE TABLE BENCH (ID NUMBER(10) PRIMARY KEY, NAME VARCHAR2(30), "
              "AMOUNT NUMBER(12,2), CREATED DATE, NOTE VARCHAR2(100))"))
    return false;
  s.Disconnect();

  std::string file = (FHome / "tessel3/default/DEMO.db").string();
  sqlite3_open(file.c_str(), &FDb);
  sqlite3_busy_timeout(FDb, 5000);
  auto t0 = std::chrono::steady_clock::now();
  std::string fill =
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
      std::to_string(rows) +
      ") INSERT INTO BENCH SELECT i, 'NAME-' || i, round((i * 37 % 1000000) / 100.0, 2), "
      "datetime(1600000000 + i * 60, 'unixepoch'), "
      "CASE i % 3 WHEN 0 THEN '東京都千代田区 注文 ' || i WHEN 1 THEN 'note for row ' || i "
      "ELSE NULL END FROM n";
  if (sqlite3_exec(FDb, fill.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
    std::fprintf(stderr, "fill: %s\n", sqlite3_errmsg(FDb));
    return false;
  }
  FBuildSeconds = Seconds(t0);
  return true;
}

double TBenchTable::EngineFetch(TOraSession& session, long& rows, size_t& bytes) {
  auto t0 = std::chrono::steady_clock::now();
  rows = 0;
  bytes = 0;
  TOraCursor c;
  c.SetSession(&session);
  c.SetNumberOfRows(1000);
  c.SetSQL({"SELECT * FROM BENCH"});
  if (!c.Open() || !c.Parse() || !c.DescribeFields() || !c.Exec())
    return -1;
  uint32_t prev = 0;
  for (;;) {
    bool more = c.FetchRowsQuiet();
    uint32_t now = c.RowsProcessed();
    for (uint32_t r = 0; r < now - prev; ++r)
      for (int f = 0; f < c.FieldCount(); ++f)
        bytes += c.Fields(f)->GetAsString(static_cast<int>(r)).size();
    rows += now - prev;
    if (!more || now == prev)
      break;
    prev = now;
  }
  c.Close();
  return Seconds(t0);
}

int RunEachSize(int argc, char** argv, std::vector<long> defaults,
                int (*one)(long rows, int argc, char** argv)) {
  std::vector<long> sizes;
  for (int i = 1; i < argc; ++i)
    sizes.push_back(std::atol(argv[i]));
  if (sizes.empty())
    sizes = std::move(defaults);
  int failed = 0;
  for (long n : sizes) {
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
      const int rc = one(n, 1, argv);
      std::fflush(stdout);
      std::_Exit(rc);
    }
    int status = 0;
    waitpid(child, &status, 0);
    failed += !(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  return failed == 0 ? 0 : 1;
}
