// Fetch speed of the access layer against a raw SQLite read of the same file.
// engine_fetch [rows]   (default 1,000,000)
#include "BenchTable.h"
#include "OciCompo.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sqlite3.h>
#include <string>
#include <sys/resource.h>

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

long PeakKiB() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_maxrss;
}

} // namespace

int main(int argc, char** argv) {
  long rows = argc > 1 ? std::atol(argv[1]) : 1000000;
  TBenchTable table;
  if (!table.Build(rows))
    return 1;
  sqlite3* db = table.Db();
  std::printf("rows: %ld (built in %.2f s)\n", rows, table.BuildSeconds());

  TOraSession s;
  s.UserName = "DEMO";
  s.UserPass = "DEMO";
  s.AutoLogon = true;
  s.DateFormatString = "YYYY/MM/DD HH:NN:SS";
  s.OnError = [](TOraSession&, const std::string& m) { std::fprintf(stderr, "%s\n", m.c_str()); };
  if (!s.Connect())
    return 1;

  // Warm the page cache so neither side pays for the first read.
  auto rawRead = [&](size_t& bytes) {
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT * FROM BENCH", -1, &st, nullptr);
    long n = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
      for (int i = 0; i < 5; ++i) {
        const unsigned char* t = sqlite3_column_text(st, i);
        if (t)
          bytes += static_cast<size_t>(sqlite3_column_bytes(st, i));
      }
      ++n;
    }
    sqlite3_finalize(st);
    return n;
  };
  size_t warm = 0;
  rawRead(warm);

  long peakBefore = PeakKiB();
  size_t bytesA = 0;
  long rowsA = 0;
  double a = TBenchTable::EngineFetch(s, rowsA, bytesA);
  long peakA = PeakKiB();

  auto t0 = std::chrono::steady_clock::now();
  size_t bytesB = 0;
  long rowsB = rawRead(bytesB);
  double b = Seconds(t0);

  std::printf("(a) TOraCursor, FetchRows of 1000, GetAsString of every cell: %.3f s (%ld rows, %zu "
              "bytes)\n",
              a, rowsA, bytesA);
  std::printf(
      "(b) sqlite3_step, sqlite3_column_text of every column:       %.3f s (%ld rows, %zu bytes)\n",
      b, rowsB, bytesB);
  std::printf("ratio (a)/(b): %.2f (goal: at most 1.5)\n", a / b);
  std::printf("peak memory: %.1f MiB (before the fetch %.1f MiB)\n", peakA / 1024.0,
              peakBefore / 1024.0);

  s.Disconnect();
  return rowsA == rowsB ? 0 : 1;
}
