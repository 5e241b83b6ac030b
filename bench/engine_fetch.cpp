// Fetch speed of the access layer against a raw SQLite read of the same file.
// engine_fetch [rows]   (default 1,000,000)
#include "OciCompo.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sqlite3.h>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

long PeakKiB() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_maxrss;
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

int main(int argc, char** argv) {
  long rows = argc > 1 ? std::atol(argv[1]) : 1000000;
  fs::path home = fs::temp_directory_path() / ("tessel-bench-" + std::to_string(getpid()));
  fs::create_directories(home);
  setenv("XDG_DATA_HOME", home.c_str(), 1);

  TOraSession s;
  s.UserName = "DEMO";
  s.UserPass = "DEMO";
  s.AutoLogon = true;
  s.DateFormatString = "YYYY/MM/DD HH:NN:SS";
  s.OnError = [](TOraSession&, const std::string& m) { std::fprintf(stderr, "%s\n", m.c_str()); };
  if (!s.Connect()) return 1;
  if (!Run(s, "CREATE TABLE BENCH (ID NUMBER(10) PRIMARY KEY, NAME VARCHAR2(30), "
              "AMOUNT NUMBER(12,2), CREATED DATE, NOTE VARCHAR2(100))"))
    return 1;

  // The rows are written straight into the schema file in the engine's storage form; the
  // benchmark is about reading them.
  std::string file = (home / "tessel3/default/DEMO.db").string();
  sqlite3* db = nullptr;
  sqlite3_open(file.c_str(), &db);
  sqlite3_busy_timeout(db, 5000);
  auto t0 = std::chrono::steady_clock::now();
  std::string fill =
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
      std::to_string(rows) +
      ") INSERT INTO BENCH SELECT i, 'NAME-' || i, round((i * 37 % 1000000) / 100.0, 2), "
      "datetime(1600000000 + i * 60, 'unixepoch'), "
      "CASE i % 3 WHEN 0 THEN '東京都千代田区 注文 ' || i WHEN 1 THEN 'note for row ' || i "
      "ELSE NULL END FROM n";
  if (sqlite3_exec(db, fill.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
    std::fprintf(stderr, "fill: %s\n", sqlite3_errmsg(db));
    return 1;
  }
  std::printf("rows: %ld (built in %.2f s)\n", rows, Seconds(t0));

  // Warm the page cache so neither side pays for the first read.
  auto rawRead = [&](size_t& bytes) {
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT * FROM BENCH", -1, &st, nullptr);
    long n = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
      for (int i = 0; i < 5; ++i) {
        const unsigned char* t = sqlite3_column_text(st, i);
        if (t) bytes += static_cast<size_t>(sqlite3_column_bytes(st, i));
      }
      ++n;
    }
    sqlite3_finalize(st);
    return n;
  };
  size_t warm = 0;
  rawRead(warm);

  long peakBefore = PeakKiB();
  t0 = std::chrono::steady_clock::now();
  size_t bytesA = 0;
  long rowsA = 0;
  {
    TOraCursor c;
    c.SetSession(&s);
    c.SetNumberOfRows(1000);
    c.SetSQL({"SELECT * FROM BENCH"});
    if (!c.Open() || !c.Parse() || !c.DescribeFields() || !c.Exec()) return 1;
    uint32_t prev = 0;
    for (;;) {
      bool more = c.FetchRowsQuiet();
      uint32_t now = c.RowsProcessed();
      for (uint32_t r = 0; r < now - prev; ++r)
        for (int f = 0; f < c.FieldCount(); ++f) bytesA += c.Fields(f)->GetAsString(static_cast<int>(r)).size();
      rowsA += now - prev;
      if (!more || now == prev) break;
      prev = now;
    }
    c.Close();
  }
  double a = Seconds(t0);
  long peakA = PeakKiB();

  t0 = std::chrono::steady_clock::now();
  size_t bytesB = 0;
  long rowsB = rawRead(bytesB);
  double b = Seconds(t0);

  std::printf("(a) TOraCursor, FetchRows of 1000, GetAsString of every cell: %.3f s (%ld rows, %zu bytes)\n",
              a, rowsA, bytesA);
  std::printf("(b) sqlite3_step, sqlite3_column_text of every column:       %.3f s (%ld rows, %zu bytes)\n",
              b, rowsB, bytesB);
  std::printf("ratio (a)/(b): %.2f (goal: at most 2.0)\n", a / b);
  std::printf("peak memory: %.1f MiB (before the fetch %.1f MiB)\n", peakA / 1024.0, peakBefore / 1024.0);

  sqlite3_close(db);
  s.Disconnect();
  std::error_code ec;
  fs::remove_all(home, ec);
  return rowsA == rowsB ? 0 : 1;
}
