// the system library is built with the hook; its header declares it only when asked
#define SQLITE_ENABLE_PREUPDATE_HOOK 1
#include "Autonomous.h"

#include "Database.h"
#include "OraError.h"
#include "PlsqlRun.h"
#include "Session.h"
#include "SqlText.h"

#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <sqlite3.h>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace ora {

namespace {

constexpr const char* kMarks = "TESSEL$AUTONOMOUS";

struct ValueFree {
  void operator()(sqlite3_value* v) const { sqlite3_value_free(v); }
};
using Value = std::unique_ptr<sqlite3_value, ValueFree>;

// A row as a routine found it: absent, or its column values in table order.
struct Image {
  bool present = false;
  std::vector<Value> values;
};

using RowKey = std::tuple<std::string, std::string, int64_t>; // schema, table, rowid

struct Frame {
  bool record = false; // the caller holds an open transaction
  std::map<RowKey, size_t> seen;
  std::vector<std::pair<RowKey, Image>> touched; // in the order first changed
  bool lost = false; // a change could not be recorded
  // what the caller had, given back when the routine ends
  std::vector<std::string> savepoints, startSavepoints;
  bool readOnly = false;
  int sqlDepth = 0, triggerDepth = 0;
  std::vector<std::string> mutating;
};

struct Column {
  std::string name;
  bool stored = true; // not a generated column
};

} // namespace

struct AutonomousState {
  sqlite3* journal = nullptr;
  std::vector<Frame*> frames;
  std::vector<int64_t> pending; // journal entries inside the session's open transaction
  bool replaying = false;
  std::map<std::pair<std::string, std::string>, std::vector<Column>> columns;
  ~AutonomousState() {
    if (journal) sqlite3_close_v2(journal);
  }
};

namespace {

AutonomousState& state(Session& ses) {
  if (!ses.autonomous) ses.autonomous = std::make_shared<AutonomousState>();
  return *ses.autonomous;
}

Frame* recording(Session& ses) {
  if (!ses.autonomous || ses.autonomous->frames.empty()) return nullptr;
  Frame* f = ses.autonomous->frames.back();
  return f->record ? f : nullptr;
}

void check(sqlite3* db, int rc, const char* verb) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) throw fromSqlite(rc, sqlite3_errmsg(db), verb);
}

struct Stmt {
  sqlite3_stmt* st = nullptr;
  Stmt(sqlite3* db, const std::string& sql) { check(db, sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr), "COMMIT"); }
  ~Stmt() { sqlite3_finalize(st); }
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;
};

const std::vector<Column>& columnsOf(Session& ses, const std::string& schema, const std::string& table) {
  auto& cache = state(ses).columns;
  auto it = cache.find({schema, table});
  if (it != cache.end()) return it->second;
  std::vector<Column> cols;
  Stmt q(ses.db, "SELECT name, hidden FROM pragma_table_xinfo(?1, ?2) ORDER BY cid");
  sqlite3_bind_text(q.st, 1, table.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(q.st, 2, schema.c_str(), -1, SQLITE_TRANSIENT);
  while (sqlite3_step(q.st) == SQLITE_ROW)
    cols.push_back({reinterpret_cast<const char*>(sqlite3_column_text(q.st, 0)), sqlite3_column_int(q.st, 1) == 0});
  return cache[{schema, table}] = std::move(cols);
}

// The first change of each row a recording routine makes: the row's image from before it.
void preupdate(void* p, sqlite3* db, int op, const char* schema, const char* table, sqlite3_int64 oldKey,
               sqlite3_int64 newKey) {
  auto* st = static_cast<AutonomousState*>(p);
  if (st->replaying || st->frames.empty() || !st->frames.back()->record) return;
  // temporary tables (the dictionary's among them) are the session's own and not journaled
  if (std::strcmp(schema, "temp") == 0 || std::strcmp(table, kMarks) == 0) return;
  Frame& f = *st->frames.back();
  try {
    auto note = [&](int64_t key, bool present) {
      RowKey k{schema, table, key};
      if (f.seen.count(k)) return;
      Image img;
      img.present = present;
      if (present)
        for (int i = 0, n = sqlite3_preupdate_count(db); i < n; ++i) {
          sqlite3_value* v = nullptr;
          if (sqlite3_preupdate_old(db, i, &v) != SQLITE_OK) v = nullptr;
          img.values.emplace_back(v ? sqlite3_value_dup(v) : nullptr);
        }
      f.seen[k] = f.touched.size();
      f.touched.emplace_back(std::move(k), std::move(img));
    };
    if (op == SQLITE_INSERT) note(newKey, false);
    else note(oldKey, true);
    if (op == SQLITE_UPDATE && newKey != oldKey) note(newKey, false);
  } catch (...) {
    f.lost = true;
  }
}

void bindValue(sqlite3_stmt* st, int at, const sqlite3_value* v) {
  if (v) sqlite3_bind_value(st, at, v);
  else sqlite3_bind_null(st, at);
}

// Writes one row's state: absent, or these values (one per column, generated ones skipped).
// A row that cannot be written as it was (a constraint of the changed surroundings) is left.
// `moved`: written again after the caller's rollback, when the rowid a new row had may be a row
// the rollback brought back; the new row then takes another, noted there for later changes.
void writeRow(Session& ses, RowKey key, bool before, bool present, const std::vector<const sqlite3_value*>& values,
              std::map<RowKey, int64_t>* moved) {
  RowKey original = key;
  if (moved)
    if (auto m = moved->find(key); m != moved->end()) std::get<2>(key) = m->second;
  const auto& [schema, table, rowid] = key;
  std::string target = quoteIdent(schema) + "." + quoteIdent(table);
  if (!present) {
    Stmt d(ses.db, "DELETE FROM " + target + " WHERE rowid = ?1");
    sqlite3_bind_int64(d.st, 1, rowid);
    sqlite3_step(d.st);
    return;
  }
  const auto& cols = columnsOf(ses, schema, table);
  std::string set, names, marks;
  int n = 1;
  std::vector<std::pair<int, const sqlite3_value*>> binds;
  for (size_t c = 0; c < cols.size() && c < values.size(); ++c) {
    if (!cols[c].stored) continue;
    ++n;
    std::string q = quoteIdent(cols[c].name), at = "?" + std::to_string(n);
    set += (set.empty() ? "" : ", ") + q + " = " + at;
    names += ", " + q;
    marks += ", " + at;
    binds.emplace_back(n, values[c]);
  }
  if (set.empty()) return;
  bool exists = false;
  {
    Stmt q(ses.db, "SELECT 1 FROM " + target + " WHERE rowid = ?1");
    sqlite3_bind_int64(q.st, 1, rowid);
    exists = sqlite3_step(q.st) == SQLITE_ROW;
  }
  if (moved && before && !exists) return; // a row of the caller's that its rollback took away
  bool elsewhere = moved && !before && exists;
  std::string sql = exists && !elsewhere ? "UPDATE " + target + " SET " + set + " WHERE rowid = ?1"
                    : elsewhere         ? "INSERT INTO " + target + " (" + names.substr(2) + ") VALUES (" + marks.substr(2) + ")"
                                        : "INSERT INTO " + target + " (rowid" + names + ") VALUES (?1" + marks + ")";
  Stmt w(ses.db, sql);
  if (!elsewhere) sqlite3_bind_int64(w.st, 1, rowid);
  for (auto& [at, v] : binds) bindValue(w.st, at, v);
  if (sqlite3_step(w.st) == SQLITE_DONE && elsewhere) (*moved)[original] = sqlite3_last_insert_rowid(ses.db);
}

// Triggers already did their work when the changes were first made.
struct NoTriggers {
  Session& ses;
  AutonomousState& st;
  int was = 1;
  NoTriggers(Session& s, AutonomousState& a) : ses(s), st(a) {
    sqlite3_db_config(ses.db, SQLITE_DBCONFIG_ENABLE_TRIGGER, -1, &was); // -1 only reads it
    sqlite3_db_config(ses.db, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
    st.replaying = true;
  }
  ~NoTriggers() {
    sqlite3_db_config(ses.db, SQLITE_DBCONFIG_ENABLE_TRIGGER, was, nullptr);
    st.replaying = false;
  }
};

// The rows a routine changed go back to how it found them, the last changed first.
void undo(Session& ses, Frame& f) {
  if (f.touched.empty()) return;
  state(ses).columns.clear(); // as the tables are now
  {
    NoTriggers quiet(ses, state(ses));
    for (auto it = f.touched.rbegin(); it != f.touched.rend(); ++it) {
      std::vector<const sqlite3_value*> values;
      for (auto& v : it->second.values) values.push_back(v.get());
      writeRow(ses, it->first, false, it->second.present, values, nullptr);
    }
  }
  f.touched.clear();
  f.seen.clear();
  f.lost = false;
}

sqlite3* journal(Session& ses, bool create) {
  AutonomousState& st = state(ses);
  if (st.journal) return st.journal;
  std::string path = userFilePath(ses.folder, ses.user, ".atx");
  std::error_code ec;
  if (!create && !std::filesystem::exists(path, ec)) return nullptr;
  sqlite3* j = nullptr;
  if (sqlite3_open_v2(path.c_str(), &j, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr) !=
      SQLITE_OK) {
    sqlite3_close(j);
    throw OraError(3113, "the autonomous transaction journal cannot be opened");
  }
  sqlite3_extended_result_codes(j, 1);
  sqlite3_busy_timeout(j, 2000);
  execOne(j, "PRAGMA journal_mode=WAL");
  // a routine's COMMIT has returned only once its rows are here for good
  execOne(j, "PRAGMA synchronous=FULL");
  execOne(j, "CREATE TABLE IF NOT EXISTS ENTRIES (ID INTEGER PRIMARY KEY AUTOINCREMENT, MADE TEXT)");
  execOne(j, "CREATE TABLE IF NOT EXISTS CHANGES (ID INTEGER NOT NULL, SEQ INTEGER NOT NULL, SCHEMA_NAME TEXT,"
             " TABLE_NAME TEXT, RID INTEGER, BEFORE_PRESENT INTEGER, PRESENT INTEGER,"
             " PRIMARY KEY (ID, SEQ))");
  execOne(j, "CREATE TABLE IF NOT EXISTS VALS (ID INTEGER NOT NULL, SEQ INTEGER NOT NULL, N INTEGER NOT NULL, V,"
             " PRIMARY KEY (ID, SEQ, N))");
  st.journal = j;
  return j;
}

bool marked(Session& ses, int64_t id) {
  Stmt q(ses.db, std::string("SELECT 1 FROM main.") + quoteIdent(kMarks) + " WHERE ID = ?1");
  sqlite3_bind_int64(q.st, 1, id);
  return sqlite3_step(q.st) == SQLITE_ROW;
}

void mark(Session& ses, int64_t id) {
  Stmt w(ses.db, std::string("INSERT OR IGNORE INTO main.") + quoteIdent(kMarks) + " (ID) VALUES (?1)");
  sqlite3_bind_int64(w.st, 1, id);
  check(ses.db, sqlite3_step(w.st), "COMMIT");
}

// Writes a journal entry's rows into the open transaction of the schema, with its mark.
void apply(Session& ses, int64_t id, std::map<RowKey, int64_t>& moved) {
  sqlite3* j = journal(ses, true);
  struct Change {
    RowKey key;
    bool present, before;
    std::vector<Value> values;
  };
  std::vector<Change> changes;
  {
    Stmt q(j, "SELECT SEQ, SCHEMA_NAME, TABLE_NAME, RID, PRESENT, BEFORE_PRESENT FROM CHANGES WHERE ID = ?1 ORDER BY SEQ");
    Stmt v(j, "SELECT V FROM VALS WHERE ID = ?1 AND SEQ = ?2 ORDER BY N");
    sqlite3_bind_int64(q.st, 1, id);
    while (sqlite3_step(q.st) == SQLITE_ROW) {
      Change c;
      c.key = {reinterpret_cast<const char*>(sqlite3_column_text(q.st, 1)),
               reinterpret_cast<const char*>(sqlite3_column_text(q.st, 2)), sqlite3_column_int64(q.st, 3)};
      c.present = sqlite3_column_int(q.st, 4) != 0;
      c.before = sqlite3_column_int(q.st, 5) != 0;
      sqlite3_bind_int64(v.st, 1, id);
      sqlite3_bind_int64(v.st, 2, sqlite3_column_int64(q.st, 0));
      while (sqlite3_step(v.st) == SQLITE_ROW) c.values.emplace_back(sqlite3_value_dup(sqlite3_column_value(v.st, 0)));
      sqlite3_reset(v.st);
      changes.push_back(std::move(c));
    }
  }
  {
    NoTriggers quiet(ses, state(ses));
    for (auto& c : changes) {
      std::vector<const sqlite3_value*> values;
      for (auto& x : c.values) values.push_back(x.get());
      writeRow(ses, c.key, c.before, c.present, values, &moved);
    }
  }
  mark(ses, id);
}

// The journal entries whose mark a rollback took away are written again.
void restoreMissing(Session& ses) {
  AutonomousState& st = state(ses);
  st.columns.clear();
  std::map<RowKey, int64_t> moved;
  for (int64_t id : st.pending)
    if (!marked(ses, id)) apply(ses, id, moved);
}

void forgetEntries(Session& ses, const std::vector<int64_t>& ids) {
  if (ids.empty()) return;
  sqlite3* j = journal(ses, true);
  if (execOne(j, "BEGIN IMMEDIATE") != SQLITE_OK) return; // left for a later logon to settle
  for (const char* sql : {"DELETE FROM ENTRIES WHERE ID = ?1", "DELETE FROM CHANGES WHERE ID = ?1",
                          "DELETE FROM VALS WHERE ID = ?1"}) {
    Stmt d(j, sql);
    for (int64_t id : ids) {
      sqlite3_bind_int64(d.st, 1, id);
      sqlite3_step(d.st);
      sqlite3_reset(d.st);
    }
  }
  if (execOne(j, "COMMIT") != SQLITE_OK) execOne(j, "ROLLBACK");
}

// The routine's COMMIT inside the caller's transaction: the rows it changed, as they are now,
// go to the journal for good, and its mark into the transaction.
void commitRecorded(Session& ses, Frame& f) {
  if (f.lost) throw OraError(6519, "a change of the autonomous transaction could not be recorded");
  if (f.touched.empty()) return;
  sqlite3* j = journal(ses, true);
  check(j, execOne(j, "BEGIN IMMEDIATE"), "COMMIT");
  int64_t id = 0;
  try {
    check(j, execOne(j, "INSERT INTO ENTRIES (MADE) VALUES (datetime('now'))"), "COMMIT");
    id = sqlite3_last_insert_rowid(j);
    Stmt c(j, "INSERT INTO CHANGES (ID, SEQ, SCHEMA_NAME, TABLE_NAME, RID, PRESENT, BEFORE_PRESENT)"
              " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    Stmt v(j, "INSERT INTO VALS (ID, SEQ, N, V) VALUES (?1, ?2, ?3, ?4)");
    int64_t seq = 0;
    for (auto& [key, before] : f.touched) {
      const auto& [schema, table, rowid] = key;
      Stmt now(ses.db, "SELECT * FROM " + quoteIdent(schema) + "." + quoteIdent(table) + " WHERE rowid = ?1");
      sqlite3_bind_int64(now.st, 1, rowid);
      bool present = sqlite3_step(now.st) == SQLITE_ROW;
      if (!present && !before.present) continue; // made and gone again
      ++seq;
      sqlite3_bind_int64(c.st, 1, id);
      sqlite3_bind_int64(c.st, 2, seq);
      sqlite3_bind_text(c.st, 3, schema.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(c.st, 4, table.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_int64(c.st, 5, rowid);
      sqlite3_bind_int(c.st, 6, present ? 1 : 0);
      sqlite3_bind_int(c.st, 7, before.present ? 1 : 0);
      check(j, sqlite3_step(c.st), "COMMIT");
      sqlite3_reset(c.st);
      for (int n = 0; present && n < sqlite3_column_count(now.st); ++n) {
        sqlite3_bind_int64(v.st, 1, id);
        sqlite3_bind_int64(v.st, 2, seq);
        sqlite3_bind_int(v.st, 3, n);
        sqlite3_bind_value(v.st, 4, sqlite3_column_value(now.st, n));
        check(j, sqlite3_step(v.st), "COMMIT");
        sqlite3_reset(v.st);
      }
    }
    check(j, execOne(j, "COMMIT"), "COMMIT");
  } catch (...) {
    execOne(j, "ROLLBACK");
    throw;
  }
  state(ses).pending.push_back(id);
  mark(ses, id);
  f.touched.clear();
  f.seen.clear();
}

// The routine's own savepoints end with its transaction.
void dropSavepoints(Session& ses) {
  if (!ses.savepoints.empty()) execOne(ses.db, "RELEASE " + quoteIdent(ses.savepoints.front()));
  ses.savepoints.clear();
  ses.startSavepoints.clear();
  ses.readOnlyTxn = false;
}

void hook(Session& ses) {
  AutonomousState& st = state(ses);
  bool any = false;
  for (Frame* f : st.frames) any = any || f->record;
  if (any) sqlite3_preupdate_hook(ses.db, preupdate, &st);
  else sqlite3_preupdate_hook(ses.db, nullptr, nullptr);
}

} // namespace

AutonomousUnit::AutonomousUnit(Session& ses) : ses_(ses) {
  AutonomousState& st = state(ses);
  auto f = std::make_unique<Frame>();
  f->record = ses.inTxn;
  f->savepoints.swap(ses.savepoints);
  f->startSavepoints.swap(ses.startSavepoints);
  f->readOnly = ses.readOnlyTxn;
  ses.readOnlyTxn = false;
  // the routine runs as if called on its own, not from the caller's statement or trigger
  f->sqlDepth = std::exchange(pl::sqlCallDepth, 0);
  f->triggerDepth = std::exchange(pl::triggerDepth, 0);
  f->mutating.swap(pl::mutatingTables);
  st.frames.push_back(f.get());
  f.release();
  hook(ses);
}

void AutonomousUnit::leave(bool normal) {
  done_ = true;
  AutonomousState& st = *ses_.autonomous;
  std::unique_ptr<Frame> f(st.frames.back());
  bool active = f->record ? !f->touched.empty() : ses_.inTxn;
  struct Back {
    Session& ses;
    AutonomousState& st;
    Frame& f;
    ~Back() {
      st.frames.pop_back();
      ses.savepoints.swap(f.savepoints);
      ses.startSavepoints.swap(f.startSavepoints);
      ses.readOnlyTxn = f.readOnly;
      pl::sqlCallDepth = f.sqlDepth;
      pl::triggerDepth = f.triggerDepth;
      pl::mutatingTables.swap(f.mutating);
      hook(ses);
    }
  } back{ses_, st, *f};
  if (f->record) {
    if (active) undo(ses_, *f);
    dropSavepoints(ses_);
  } else if (active) {
    ses_.rollback();
  }
  if (active && normal) throw OraError(6519);
}

void AutonomousUnit::finish() { leave(true); }

AutonomousUnit::~AutonomousUnit() {
  if (done_) return;
  try {
    leave(false);
  } catch (...) {
    // the error that ends the routine is the one reported
  }
}

bool inAutonomousUnit(Session& ses) { return ses.autonomous && !ses.autonomous->frames.empty(); }

bool autonomousWithinCaller(Session& ses) { return recording(ses) != nullptr; }

bool autonomousCommit(Session& ses) {
  if (Frame* f = recording(ses)) {
    commitRecorded(ses, *f);
    dropSavepoints(ses);
    return true;
  }
  if (ses.inTxn && !ses.autonomous->pending.empty()) restoreMissing(ses);
  return false;
}

void autonomousCommitted(Session& ses) {
  AutonomousState& st = *ses.autonomous;
  if (st.pending.empty()) return;
  std::vector<int64_t> ids;
  ids.swap(st.pending);
  forgetEntries(ses, ids);
}

bool autonomousRollback(Session& ses) {
  Frame* f = recording(ses);
  if (!f) return false;
  undo(ses, *f);
  dropSavepoints(ses);
  return true;
}

void autonomousRolledBack(Session& ses) {
  AutonomousState& st = *ses.autonomous;
  if (st.pending.empty() || ses.inTxn) return;
  // what the routines committed stays: on its own now, in a transaction of its own
  if (execOne(ses.db, "BEGIN IMMEDIATE") != SQLITE_OK) return; // a later commit or logon writes it
  try {
    restoreMissing(ses);
  } catch (...) {
    execOne(ses.db, "ROLLBACK");
    return;
  }
  if (execOne(ses.db, "COMMIT") != SQLITE_OK) {
    execOne(ses.db, "ROLLBACK");
    return;
  }
  autonomousCommitted(ses);
}

void autonomousRolledBackTo(Session& ses) {
  if (!ses.inTxn || ses.autonomous->pending.empty()) return;
  try {
    restoreMissing(ses);
  } catch (const OraError&) {
    // tried again before the transaction ends
  }
}

void recoverAutonomous(Session& ses) {
  sqlite3* j = journal(ses, false);
  if (!j) return;
  std::vector<int64_t> ids;
  {
    Stmt q(j, "SELECT ID FROM ENTRIES ORDER BY ID");
    while (sqlite3_step(q.st) == SQLITE_ROW) ids.push_back(sqlite3_column_int64(q.st, 0));
  }
  bool marks = false;
  {
    Stmt q(ses.db, std::string("SELECT 1 FROM main.") + quoteIdent(kMarks) + " LIMIT 1");
    marks = sqlite3_step(q.st) == SQLITE_ROW;
  }
  if (ids.empty() && !marks) return;
  // never wait at logon: a schema someone is writing is settled at a later logon
  sqlite3_busy_timeout(ses.db, 0);
  bool locked = execOne(ses.db, "BEGIN IMMEDIATE") == SQLITE_OK;
  sqlite3_busy_timeout(ses.db, 2000);
  if (!locked) return;
  try {
    std::map<RowKey, int64_t> moved;
    for (int64_t id : ids)
      if (!marked(ses, id)) apply(ses, id, moved);
    // a mark outlives its entry only until here: an entry still listed may be a live session's
    std::set<int64_t> listed(ids.begin(), ids.end());
    std::vector<int64_t> stale;
    {
      Stmt q(ses.db, std::string("SELECT ID FROM main.") + quoteIdent(kMarks));
      while (sqlite3_step(q.st) == SQLITE_ROW)
        if (!listed.count(sqlite3_column_int64(q.st, 0))) stale.push_back(sqlite3_column_int64(q.st, 0));
    }
    Stmt d(ses.db, std::string("DELETE FROM main.") + quoteIdent(kMarks) + " WHERE ID = ?1");
    for (int64_t id : stale) {
      sqlite3_bind_int64(d.st, 1, id);
      sqlite3_step(d.st);
      sqlite3_reset(d.st);
    }
  } catch (const OraError&) {
    execOne(ses.db, "ROLLBACK");
    return;
  }
  if (execOne(ses.db, "COMMIT") != SQLITE_OK) {
    execOne(ses.db, "ROLLBACK");
    return;
  }
  forgetEntries(ses, ids);
}

} // namespace ora
