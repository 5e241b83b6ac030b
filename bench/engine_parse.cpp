// Parse and prepare time of the statements the query window and the data tools send, through the
// call interface: the first time a text is seen, and again with other literals (shared statement).
// engine_parse [repetitions [label]]   (default 2000; only the statement of that label, or those
// whose label has that text). The reference is SQLite's own prepare of the equivalent statement on
// the same database file, so the ratio stays comparable across machines.
#include "OciCompo.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  int reps = argc > 1 ? std::atoi(argv[1]) : 2000;
  std::string only = argc > 2 ? argv[2] : "";
  fs::path home = fs::temp_directory_path() / ("tessel-bench-" + std::to_string(getpid()));
  fs::create_directories(home);
  setenv("XDG_DATA_HOME", home.c_str(), 1);
  TOraSession s;
  s.UserName = "DEMO";
  s.UserPass = "DEMO";
  s.AutoLogon = true;
  if (!s.Connect())
    return 1;
  TOraCursor c;
  c.SetSession(&s);
  c.SetNumberOfRows(100);
  c.SetSQL({"SELECT ROWID FROM EMP WHERE EMPNO = 7369"});
  std::string rowid;
  if (c.Open() && c.Parse() && c.DescribeFields() && c.Exec() && c.Fetch())
    rowid = c.Fields(0)->GetAsString(0);
  c.Close();

  // %d is replaced by a number that differs on every repetition.
  struct Shape {
    const char* label;
    std::string text;
    bool literal; // the number is a literal: the shared statement serves; else a new statement
    const char* raw = nullptr; // the same question asked of SQLite directly
  };
  std::vector<Shape> shapes = {
      {"SELECT * FROM EMP", "SELECT * FROM EMP E%d", false, "SELECT * FROM EMP E%d"},
      {"tree: tables", "SELECT TABLE_NAME FROM USER_TABLES T%d", false,
       "SELECT name FROM sqlite_schema T%d WHERE type = 'table'"},
      {"tree: columns", "SELECT   COLUMN_NAME FROM  COLS C%d WHERE TABLE_NAME = 'EMP'", false,
       "SELECT name FROM pragma_table_info('EMP') C%d"},
      {"grid: UPDATE ... WHERE ROWID", " UPDATE DEPT SET LOC = 'X%d' WHERE ROWID = '" + rowid + "'",
       true},
      {"import: INSERT VALUES", " INSERT INTO DEPT VALUES ( %d,'NAME','LOC')", true},
      {"SELECT * FROM EMP (again)", "SELECT * FROM EMP WHERE EMPNO = %d", true},
  };
  auto withNumber = [](std::string text, int n) {
    text.replace(text.find("%d"), 2, std::to_string(n));
    return text;
  };
  sqlite3* raw = nullptr;
  if (sqlite3_open_v2((home / "tessel3" / "default" / "DEMO.db").c_str(), &raw,
                      SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
    return 1;
  std::printf("%-32s %12s %12s %7s\n", "statement", "us per parse", "sqlite3 us", "ratio");
  // a label given whole picks that statement alone, else every label containing the text
  bool exact =
      std::any_of(shapes.begin(), shapes.end(), [&](const Shape& sh) { return only == sh.label; });
  for (auto& sh : shapes) {
    if (exact ? only != sh.label : std::string(sh.label).find(only) == std::string::npos)
      continue;
    c.Open();
    double total = 0;
    for (int i = 0; i < reps; ++i) {
      std::string text = withNumber(sh.text, sh.literal ? 100 + i % 50 : i);
      c.SQL().assign(1, text);
      auto t0 = std::chrono::steady_clock::now();
      bool ok = c.ParseQuiet();
      total += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
      if (!ok) {
        std::fprintf(stderr, "%s: %s\n", text.c_str(), c.ErrorText().c_str());
        return 1;
      }
    }
    c.Close();
    double ours = total / reps * 1e6;
    if (!sh.raw) {
      std::printf("%-32s %12.1f %12s %7s  (shared: only the literals differ)\n", sh.label, ours, "",
                  "");
      continue;
    }
    double rawTotal = 0;
    for (int i = 0; i < reps; ++i) {
      std::string text = withNumber(sh.raw, i);
      sqlite3_stmt* st = nullptr;
      auto t0 = std::chrono::steady_clock::now();
      int rc = sqlite3_prepare_v2(raw, text.c_str(), -1, &st, nullptr);
      rawTotal += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
      sqlite3_finalize(st);
      if (rc != SQLITE_OK) {
        std::fprintf(stderr, "%s: %s\n", text.c_str(), sqlite3_errmsg(raw));
        return 1;
      }
    }
    double rawUs = rawTotal / reps * 1e6;
    std::printf("%-32s %12.1f %12.1f %7.2f  (a new statement each time)\n", sh.label, ours, rawUs,
                ours / rawUs);
  }
  sqlite3_close(raw);
  s.Rollback();
  s.Disconnect();
  std::error_code ec;
  fs::remove_all(home, ec);
  return 0;
}
