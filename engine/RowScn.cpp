// System change numbers. A commit that changed rows takes the next number and writes it, with
// the ranges of ROWIDs it inserted or updated, into TESSEL$ROWSCN (keyed by the table's object
// number, so a table made again under an old name starts afresh). A row no commit has marked has
// the first number there is.
#include "RowScn.h"

#include "Number.h"
#include "OraError.h"
#include "SqlText.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <sqlite3.h>
#include <unordered_map>

namespace ora {

namespace {

constexpr int64_t kFirstScn = 1000;
constexpr size_t kMostRanges = 4096;

// The ROWIDs a connection wrote since its last commit, as ranges per table.
struct Pending {
  std::map<std::string, std::vector<std::pair<int64_t, int64_t>>> ranges;
  std::string lastName;
  std::vector<std::pair<int64_t, int64_t>>* last = nullptr;
  bool failed = false; // a change could not be noted: every row of its table is marked
};

std::mutex g_mutex;
std::unordered_map<sqlite3*, std::unique_ptr<Pending>> g_pending;

// A connection's statements of the commit stamp, prepared once: a commit of one row must not
// pay for preparing them each time.
struct Stamps {
  sqlite3_stmt* next = nullptr;    // the next number
  sqlite3_stmt* obj = nullptr;     // a table's object number
  sqlite3_stmt* covered = nullptr; // the ranges a new one covers
  sqlite3_stmt* put = nullptr;     // a range and its number
  Stamps() = default;
  Stamps(const Stamps&) = delete;
  Stamps& operator=(const Stamps&) = delete;
  ~Stamps() {
    for (sqlite3_stmt* st : {next, obj, covered, put}) sqlite3_finalize(st);
  }
  bool prepare(sqlite3* db) {
    auto one = [&](sqlite3_stmt*& st, const std::string& sql) {
      return st || sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK;
    };
    return one(next, "INSERT INTO \"TESSEL$SCN\" (SCN, TIME) SELECT IFNULL(MAX(SCN), " + std::to_string(kFirstScn) +
                         ") + 1, ora_tz_now(2) FROM \"TESSEL$SCN\"") &&
           one(obj, "SELECT OBJ FROM \"TESSEL$OBJECTS\" WHERE NAME = ?1 AND TYPE = 'TABLE'") &&
           one(covered, "DELETE FROM \"TESSEL$ROWSCN\" WHERE OBJ = ?1 AND LO >= ?2 AND HI <= ?3") &&
           one(put, "INSERT INTO \"TESSEL$ROWSCN\" (OBJ, LO, HI, SCN) VALUES (?1, ?2, ?3, ?4)");
  }
};
std::unordered_map<sqlite3*, std::unique_ptr<Stamps>> g_stamps;

void noteChange(void* p, int op, const char* dbName, const char* table, sqlite3_int64 rowid) {
  if (!dbName || !table || std::strcmp(dbName, "main") != 0) return;
  if (std::strncmp(table, "TESSEL$", 7) == 0 || std::strncmp(table, "sqlite_", 7) == 0) return;
  auto* pend = static_cast<Pending*>(p);
  try {
    if (!pend->last || pend->lastName != table) {
      pend->lastName = table;
      pend->last = &pend->ranges[pend->lastName];
    }
    if (op == SQLITE_DELETE) return; // the table changed (its entry), no row of it to mark
    auto& v = *pend->last;
    if (!v.empty() && rowid >= v.back().first && rowid <= v.back().second + 1) {
      if (rowid > v.back().second) v.back().second = rowid;
      return;
    }
    if (v.size() >= kMostRanges) {
      // rows changed here and there all over a table: one range from the least to the greatest
      // marks some unchanged rows too, and keeps the commit's writes few
      auto lo = v.front().first, hi = v.front().second;
      for (auto& [a, b] : v) lo = std::min(lo, a), hi = std::max(hi, b);
      v.assign(1, {std::min<int64_t>(lo, rowid), std::max<int64_t>(hi, rowid)});
      return;
    }
    v.emplace_back(rowid, rowid);
  } catch (...) {
    pend->failed = true; // an exception must not cross SQLite's frames
  }
}

int64_t oneInt(sqlite3* db, const char* sql, int64_t a = 0, int64_t b = 0, bool* found = nullptr) {
  sqlite3_stmt* st = nullptr;
  int64_t v = 0;
  if (found) *found = false;
  if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK) {
    std::string msg = sqlite3_errmsg(db);
    sqlite3_finalize(st);
    throw fromSqlite(SQLITE_ERROR, msg, "SELECT");
  }
  if (sqlite3_bind_parameter_count(st) >= 1) sqlite3_bind_int64(st, 1, a);
  if (sqlite3_bind_parameter_count(st) >= 2) sqlite3_bind_int64(st, 2, b);
  if (sqlite3_step(st) == SQLITE_ROW && sqlite3_column_type(st, 0) != SQLITE_NULL) {
    v = sqlite3_column_int64(st, 0);
    if (found) *found = true;
  }
  sqlite3_finalize(st);
  return v;
}

int64_t currentScn(sqlite3* db) {
  bool found;
  int64_t v = oneInt(db, "SELECT MAX(SCN) FROM \"TESSEL$SCN\"", 0, 0, &found);
  return found ? v : kFirstScn;
}

int64_t firstScn(sqlite3* db) {
  bool found;
  int64_t v = oneInt(db, "SELECT MIN(SCN) FROM \"TESSEL$SCN\"", 0, 0, &found);
  return found ? v : kFirstScn;
}

using fn::Ctx;
using fn::Val;

void fnRowScn(Ctx* ctx, int, Val** argv) {
  if (fn::anyNull(2, argv)) {
    sqlite3_result_null(ctx);
    return;
  }
  sqlite3* db = sqlite3_context_db_handle(ctx);
  bool found;
  int64_t v = oneInt(db, "SELECT MAX(SCN) FROM \"TESSEL$ROWSCN\" WHERE OBJ = ?1 AND LO <= ?2 AND HI >= ?2",
                     sqlite3_value_int64(argv[0]), sqlite3_value_int64(argv[1]), &found);
  sqlite3_result_int64(ctx, found ? v : firstScn(db));
}

void fnCurrentScn(Ctx* ctx, int, Val**) { sqlite3_result_int64(ctx, currentScn(sqlite3_context_db_handle(ctx))); }

// The time of the commit that took the number; ORA-08181 for a number no commit took.
void fnScnToTimestamp(Ctx* ctx, int, Val** argv) {
  if (fn::isNull(argv[0])) {
    sqlite3_result_null(ctx);
    return;
  }
  int64_t scn = fn::intOf(argv[0]);
  sqlite3* db = sqlite3_context_db_handle(ctx);
  if (scn < firstScn(db) || scn > currentScn(db)) throw OraError(8181);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "SELECT TIME FROM \"TESSEL$SCN\" WHERE SCN <= ?1 ORDER BY SCN DESC LIMIT 1", -1, &st, nullptr);
  sqlite3_bind_int64(st, 1, scn);
  if (st && sqlite3_step(st) == SQLITE_ROW) sqlite3_result_value(ctx, sqlite3_column_value(st, 0));
  else {
    sqlite3_finalize(st);
    throw OraError(8181);
  }
  sqlite3_finalize(st);
}

// The number of the last commit made at or before the time; ORA-08180 before the first one.
void fnTimestampToScn(Ctx* ctx, int, Val** argv) {
  if (fn::isNull(argv[0])) {
    sqlite3_result_null(ctx);
    return;
  }
  std::string when = fn::textOf(argv[0]);
  sqlite3* db = sqlite3_context_db_handle(ctx);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "SELECT MAX(SCN) FROM \"TESSEL$SCN\" WHERE TIME <= ?1", -1, &st, nullptr);
  sqlite3_bind_value(st, 1, argv[0]);
  bool found = st && sqlite3_step(st) == SQLITE_ROW && sqlite3_column_type(st, 0) != SQLITE_NULL;
  int64_t v = found ? sqlite3_column_int64(st, 0) : 0;
  sqlite3_finalize(st);
  if (!found) throw OraError(8180);
  sqlite3_result_int64(ctx, v);
}

} // namespace

int64_t currentScnOf(sqlite3* db) { return currentScn(db); }

void ensureScnTables(sqlite3* db) {
  static const char* const ddl[] = {
      "CREATE TABLE IF NOT EXISTS \"TESSEL$SCN\" (SCN INTEGER PRIMARY KEY, TIME TEXT)",
      "CREATE TABLE IF NOT EXISTS \"TESSEL$ROWSCN\" (OBJ INTEGER NOT NULL, LO INTEGER NOT NULL, HI INTEGER NOT NULL,"
      " SCN INTEGER NOT NULL)",
      "CREATE INDEX IF NOT EXISTS \"TESSEL$ROWSCN_OBJ\" ON \"TESSEL$ROWSCN\" (OBJ, LO)"};
  for (const char* sql : ddl) execOne(db, sql);
}

void watchRowChanges(sqlite3* db) {
  auto p = std::make_unique<Pending>();
  sqlite3_update_hook(db, noteChange, p.get());
  std::lock_guard lock(g_mutex);
  g_pending[db] = std::move(p);
}

void forgetRowChanges(sqlite3* db, bool closing) {
  if (closing) sqlite3_update_hook(db, nullptr, nullptr);
  std::lock_guard lock(g_mutex);
  if (closing) g_stamps.erase(db);
  auto it = g_pending.find(db);
  if (it == g_pending.end()) return;
  if (closing) g_pending.erase(it);
  else *it->second = Pending{};
}

void stampCommit(sqlite3* db) {
  Pending* p;
  {
    std::lock_guard lock(g_mutex);
    auto it = g_pending.find(db);
    if (it == g_pending.end()) return;
    p = it->second.get();
  }
  if (p->ranges.empty()) return;
  Pending taken = std::move(*p);
  *p = Pending{};
  Stamps* s;
  {
    std::lock_guard lock(g_mutex);
    auto& slot = g_stamps[db];
    if (!slot) slot = std::make_unique<Stamps>();
    s = slot.get();
  }
  if (!s->prepare(db)) return; // no number to give: the rows keep theirs
  // its own writes below are no change of a user's row
  int rc = sqlite3_step(s->next);
  sqlite3_reset(s->next);
  if (rc != SQLITE_DONE) return;
  int64_t scn = sqlite3_last_insert_rowid(db);
  sqlite3_stmt* obj = s->obj;
  sqlite3_stmt* put = s->put;
  sqlite3_stmt* covered = s->covered; // the ranges the new one covers say nothing any more
  for (auto& [table, ranges] : taken.ranges) {
    sqlite3_bind_text(obj, 1, table.c_str(), -1, SQLITE_TRANSIENT);
    int64_t n = sqlite3_step(obj) == SQLITE_ROW ? sqlite3_column_int64(obj, 0) : 0;
    sqlite3_reset(obj);
    if (!n) continue;
    if (taken.failed) ranges.assign(1, {INT64_MIN, INT64_MAX});
    // only deletes: a range of no rows, which says when the table last changed
    if (ranges.empty()) ranges.assign(1, {1, 0});
    for (auto& [lo, hi] : ranges) {
      if (covered) {
        sqlite3_bind_int64(covered, 1, n);
        sqlite3_bind_int64(covered, 2, lo);
        sqlite3_bind_int64(covered, 3, hi);
        sqlite3_step(covered);
        sqlite3_reset(covered);
      }
      sqlite3_bind_int64(put, 1, n);
      sqlite3_bind_int64(put, 2, lo);
      sqlite3_bind_int64(put, 3, hi);
      sqlite3_bind_int64(put, 4, scn);
      sqlite3_step(put);
      sqlite3_reset(put);
    }
  }
}

namespace {

std::string oneText(sqlite3* db, const char* sql, const std::string& a, int64_t b = 0) {
  sqlite3_stmt* st = nullptr;
  std::string v;
  if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK) {
    sqlite3_bind_text(st, 1, a.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_bind_parameter_count(st) >= 2) sqlite3_bind_int64(st, 2, b);
    if (sqlite3_step(st) == SQLITE_ROW && sqlite3_column_type(st, 0) != SQLITE_NULL)
      v = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
  }
  sqlite3_finalize(st);
  return v;
}

// ora_flashback(table, kind, point): 1 when the table's committed rows now are its rows at that
// point (kind 'T' a time, 'S' a system change number, 'M' the oldest point there is). Earlier
// versions of changed rows are not kept: a point before the table's last change is ORA-01555,
// one before the table was made ORA-01466.
void fnFlashback(Ctx* ctx, int, Val** argv) {
  sqlite3* db = sqlite3_context_db_handle(ctx);
  const std::string table = fn::textOf(argv[0]), kind = fn::textOf(argv[1]);
  if (kind != "M" && fn::isNull(argv[2])) throw OraError(kind == "S" ? 8181 : 8180);
  std::string obj = oneText(db, "SELECT OBJ FROM \"TESSEL$OBJECTS\" WHERE NAME = ?1 AND TYPE = 'TABLE'", table);
  if (obj.empty()) { // a view: its tables are read as they are now
    sqlite3_result_int(ctx, 1);
    return;
  }
  const std::string created = oneText(db, "SELECT CREATED FROM \"TESSEL$OBJECTS\" WHERE OBJ = ?1", obj);
  const std::string changed =
      oneText(db, "SELECT MAX(SCN) FROM \"TESSEL$ROWSCN\" WHERE OBJ = CAST(?1 AS INTEGER)", obj);
  // uncommitted changes of this session: its committed rows are no longer the table's rows
  bool pending = false;
  {
    std::lock_guard lock(g_mutex);
    auto it = g_pending.find(db);
    pending = it != g_pending.end() && it->second->ranges.count(table);
  }
  if (kind == "M") {
    if (!changed.empty() || pending) throw OraError(1555);
    sqlite3_result_int(ctx, 1);
    return;
  }
  std::string when;
  int64_t scn = 0;
  if (kind == "S") {
    scn = fn::intOf(argv[2]);
    if (scn > currentScn(db) || scn < 0) throw OraError(8181);
    when = oneText(db, "SELECT TIME FROM \"TESSEL$SCN\" WHERE SCN <= ?2 AND ?1 = ?1 ORDER BY SCN DESC LIMIT 1", "", scn);
  } else {
    // the value as stored: a date or timestamp's text begins with its time to the second
    when = reinterpret_cast<const char*>(sqlite3_value_text(argv[2]));
  }
  // times compare as text to the second; the table's own is kept to the second
  if (when.size() > 19) when.resize(19);
  if (when.empty() || when < created.substr(0, 19)) throw OraError(1466);
  if (pending) throw OraError(1555);
  if (!changed.empty()) {
    int64_t last = std::strtoll(changed.c_str(), nullptr, 10);
    bool after = kind == "S" ? last > scn
                             : oneText(db, "SELECT TIME FROM \"TESSEL$SCN\" WHERE SCN = ?2 AND ?1 = ?1", "", last)
                                       .substr(0, 19) > when;
    if (after) throw OraError(1555);
  }
  sqlite3_result_int(ctx, 1);
}

} // namespace

namespace fn {
const std::vector<Def>& scnFunctionDefs() {
  static const std::vector<Def> defs = {
      {"ora_rowscn", 2, 2, guarded<fnRowScn>, kNumber, true},
      {"ora_dbms_flashback_get_system_change_number", 0, 0, guarded<fnCurrentScn>, kNumber, true},
      {"SCN_TO_TIMESTAMP", 1, 1, guarded<fnScnToTimestamp>, kTimestamp, true},
      {"TIMESTAMP_TO_SCN", 1, 1, guarded<fnTimestampToScn>, kNumber, true},
      {"ora_flashback", 3, 3, guarded<fnFlashback>, kNumber, true},
  };
  return defs;
}
} // namespace fn

} // namespace ora
