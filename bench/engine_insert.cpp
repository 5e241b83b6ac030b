// Speed of one INSERT text per row, as data tools send them, against the sqlite3 shell's CSV
// import of the same rows into the same table.
// engine_insert [rows...]   (default 100,000 and 1,000,000)
#include "OciCompo.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sqlite3.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

const char* kTable = "CREATE TABLE BENCH_INS (ID NUMBER(10) PRIMARY KEY, NAME VARCHAR2(30), "
                     "AMOUNT NUMBER(12,2), CREATED DATE, NOTE VARCHAR2(100))";

struct Row {
  std::string id, name, amount, created, note;
};

Row MakeRow(long i) {
  Row r;
  r.id = std::to_string(i);
  r.name = "NAME-" + std::to_string(i);
  char buf[64];
  long cents = i * 37 % 1000000;
  std::snprintf(buf, sizeof buf, "%ld.%02ld", cents / 100, cents % 100);
  r.amount = buf;
  time_t t = 1600000000 + i * 60;
  tm g{};
  gmtime_r(&t, &g);
  std::strftime(buf, sizeof buf, "%Y/%m/%d %H:%M:%S", &g);
  r.created = buf;
  if (i % 3 == 0)
    r.note = "東京都千代田区 注文 " + std::to_string(i);
  else if (i % 3 == 1)
    r.note = "note for row " + std::to_string(i);
  return r;
}

// Both sides write the schema file the way the engine keeps it.
const char* kPragmas = "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;";

bool RunOne(long rows, const fs::path& home) {
  std::vector<Row> data;
  data.reserve(static_cast<size_t>(rows));
  for (long i = 1; i <= rows; ++i)
    data.push_back(MakeRow(i));

  TOraSession s;
  s.UserName = "DEMO";
  s.UserPass = "DEMO";
  s.AutoLogon = true;
  s.OnError = [](TOraSession&, const std::string& m) { std::fprintf(stderr, "%s\n", m.c_str()); };
  if (!s.Connect())
    return false;
  TOraCursor c;
  c.SetSession(&s);
  c.SetSQL({"DROP TABLE BENCH_INS"});
  if (c.Open())
    c.ParseQuiet() && c.Exec();
  c.OnError = [](TOraCursor&, const std::string& m) { std::fprintf(stderr, "%s\n", m.c_str()); };
  c.SetSQL({kTable});
  if (!c.Parse() || !c.Exec())
    return false;

  auto t0 = std::chrono::steady_clock::now();
  std::string sql;
  for (const Row& r : data) {
    sql = " INSERT INTO BENCH_INS VALUES ( " + r.id + ",'" + r.name + "'," + r.amount + ",'" +
          r.created + "','" + r.note + "')";
    c.SQL().assign(1, sql);
    if (!c.Parse() || !c.Exec())
      return false;
  }
  if (!s.Commit())
    return false;
  double a = Seconds(t0);

  // A COMMIT returns when it is on disk, so its price shows when every row is its own transaction.
  const long committed = std::min(rows, 2000L);
  t0 = std::chrono::steady_clock::now();
  for (long i = 0; i < committed; ++i) {
    c.SQL().assign(1, "UPDATE BENCH_INS SET AMOUNT = AMOUNT + 1 WHERE ID = " + data[i].id);
    if (!c.Parse() || !c.Exec() || !s.Commit())
      return false;
  }
  double perCommit = Seconds(t0) / static_cast<double>(committed);
  c.SetSQL({"SELECT COUNT(*) FROM BENCH_INS"});
  long stored = 0;
  if (c.Parse() && c.DescribeFields() && c.Exec() && c.Fetch())
    stored = std::atol(c.Fields(0)->GetAsString(0).c_str());
  c.Close();
  s.Disconnect();

  // The same rows as CSV, imported by the sqlite3 shell into the same table in a fresh file.
  fs::path csv = home / "rows.csv", file = home / "import.db";
  {
    std::ofstream out(csv, std::ios::binary);
    for (const Row& r : data)
      out << r.id << ',' << r.name << ',' << r.amount << ',' << r.created << ',' << r.note << '\n';
  }
  fs::remove(file);
  sqlite3* db = nullptr;
  sqlite3_open(file.c_str(), &db);
  sqlite3_exec(db, kPragmas, nullptr, nullptr, nullptr);
  sqlite3_exec(db, kTable, nullptr, nullptr, nullptr);
  sqlite3_close(db);
  std::string cmd = "sqlite3 -cmd 'PRAGMA synchronous=NORMAL' '" + file.string() +
                    "' '.import --csv " + csv.string() + " BENCH_INS'";
  t0 = std::chrono::steady_clock::now();
  if (std::system(cmd.c_str()) != 0) {
    std::fprintf(stderr,
                 "the sqlite3 shell is needed for the reference (Debian package sqlite3)\n");
    return false;
  }
  double b = Seconds(t0);

  std::printf("%ld rows\n", rows);
  std::printf("  (a) TOraCursor, one INSERT text per row, Parse and Exec each, one commit: %.3f s "
              "(%ld rows stored)\n",
              a, stored);
  std::printf(
      "  (b) sqlite3 shell .import of the same rows from CSV:                      %.3f s\n", b);
  std::printf("  ratio (a)/(b): %.2f (goal: at most 2.5)\n", a / b);
  std::printf("  (c) %ld single-row UPDATEs, each committed: %.3f ms per commit (%.0f commits/s)\n",
              committed, perCommit * 1000, 1 / perCommit);
  return stored == rows;
}

} // namespace

int main(int argc, char** argv) {
  std::vector<long> sizes;
  for (int i = 1; i < argc; ++i)
    sizes.push_back(std::atol(argv[i]));
  if (sizes.empty())
    sizes = {100000, 1000000};
  fs::path home = fs::temp_directory_path() / ("tessel-bench-" + std::to_string(getpid()));
  fs::create_directories(home);
  setenv("XDG_DATA_HOME", home.c_str(), 1);
  bool ok = true;
  for (long n : sizes)
    ok = RunOne(n, home) && ok;
  std::error_code ec;
  fs::remove_all(home, ec);
  return ok ? 0 : 1;
}
