// Exact NUMBER arithmetic against SQLite's own binary floating point: SUM(AMOUNT * 1.1) over the
// benchmark table through the access layer, and the same query on the same file in raw SQLite.
// engine_sum [rows]   (default 1,000,000)
#include "BenchTable.h"
#include "OciCompo.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sqlite3.h>
#include <string>

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

const char* kQuery = "SELECT SUM(AMOUNT * 1.1) FROM BENCH";

} // namespace

int main(int argc, char** argv) {
  long rows = argc > 1 ? std::atol(argv[1]) : 1000000;
  TBenchTable table;
  if (!table.Build(rows))
    return 1;
  std::printf("rows: %ld (built in %.2f s)\n", rows, table.BuildSeconds());
  TOraSession s;
  s.UserName = "DEMO";
  s.UserPass = "DEMO";
  s.AutoLogon = true;
  s.OnError = [](TOraSession&, const std::string& m) { std::fprintf(stderr, "%s\n", m.c_str()); };
  if (!s.Connect())
    return 1;

  auto raw = [&](std::string& value) {
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(table.Db(), kQuery, -1, &st, nullptr);
    if (sqlite3_step(st) == SQLITE_ROW)
      value = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    sqlite3_finalize(st);
  };
  auto engine = [&](std::string& value) {
    TOraCursor c;
    c.SetSession(&s);
    c.SetSQL({kQuery});
    if (c.Open() && c.Parse() && c.DescribeFields() && c.Exec() && c.Fetch())
      value = c.Fields(0)->GetAsString(0);
    c.Close();
  };
  std::string warm;
  raw(warm); // the page cache, for both sides

  double best[2] = {1e9, 1e9};
  std::string values[2];
  for (int round = 0; round < 3; ++round) {
    auto t0 = std::chrono::steady_clock::now();
    engine(values[0]);
    best[0] = std::min(best[0], Seconds(t0));
    t0 = std::chrono::steady_clock::now();
    raw(values[1]);
    best[1] = std::min(best[1], Seconds(t0));
  }
  std::printf("(a) engine, exact decimal:   %.3f s  SUM = %s\n", best[0], values[0].c_str());
  std::printf("(b) sqlite3, binary double:  %.3f s  SUM = %s\n", best[1], values[1].c_str());
  std::printf("ratio (a)/(b): %.2f (goal: at most 3.0)\n", best[0] / best[1]);
  s.Disconnect();
  return 0;
}
