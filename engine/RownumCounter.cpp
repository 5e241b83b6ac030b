// ROWNUM worked out row by row in a WHERE clause (ROWNUM < 3 OR DEPTNO = 10): ora_rownum_next(id)
// is the number the row being looked at would get, ora_rownum_pass(condition, id) the whole
// clause's answer for it, counting the rows it lets through. The count lives as long as one run
// of the statement (SQLite keeps it with the call's constant argument and drops it at reset).
#include "OraFunctions.h"

#include <map>
#include <mutex>
#include <sqlite3.h>
#include <utility>

namespace ora {

namespace {

struct Count {
  sqlite3* db;
  sqlite3_int64 id;
  sqlite3_int64 passed = 0;
};

std::mutex mutex;
std::map<std::pair<sqlite3*, sqlite3_int64>, Count*>& running() {
  static std::map<std::pair<sqlite3*, sqlite3_int64>, Count*> m;
  return m;
}

void forget(void* p) {
  auto* c = static_cast<Count*>(p);
  {
    std::lock_guard<std::mutex> lock(mutex);
    auto it = running().find({c->db, c->id});
    if (it != running().end() && it->second == c) running().erase(it);
  }
  delete c;
}

void rownumNext(sqlite3_context* ctx, int, sqlite3_value** argv) {
  sqlite3_int64 n = 1;
  {
    std::lock_guard<std::mutex> lock(mutex);
    auto it = running().find({sqlite3_context_db_handle(ctx), sqlite3_value_int64(argv[0])});
    if (it != running().end()) n = it->second->passed + 1;
  }
  sqlite3_result_int64(ctx, n);
}

void rownumPass(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (argc < 2) {
    sqlite3_result_error(ctx, "ora_rownum_pass: too few arguments", -1);
    return;
  }
  auto* c = static_cast<Count*>(sqlite3_get_auxdata(ctx, 1));
  if (!c) {
    c = new (std::nothrow) Count{sqlite3_context_db_handle(ctx), sqlite3_value_int64(argv[1])};
    if (!c) {
      sqlite3_result_error_nomem(ctx);
      return;
    }
    try {
      std::lock_guard<std::mutex> lock(mutex);
      running()[{c->db, c->id}] = c;
    } catch (...) {
      delete c;
      sqlite3_result_error_nomem(ctx);
      return;
    }
    sqlite3_set_auxdata(ctx, 1, c, forget);
    c = static_cast<Count*>(sqlite3_get_auxdata(ctx, 1));
  }
  bool pass = sqlite3_value_type(argv[0]) != SQLITE_NULL && sqlite3_value_double(argv[0]) != 0;
  if (pass && c) ++c->passed;
  sqlite3_result_int(ctx, pass ? 1 : 0);
}

} // namespace

void registerRownumCounter(sqlite3* db) {
  sqlite3_create_function(db, "ora_rownum_next", 1, SQLITE_UTF8, nullptr, rownumNext, nullptr, nullptr);
  // after the condition and the counter, the ROWIDs of joined tables: read only to be waited for
  sqlite3_create_function(db, "ora_rownum_pass", -1, SQLITE_UTF8, nullptr, rownumPass, nullptr, nullptr);
}

} // namespace ora
