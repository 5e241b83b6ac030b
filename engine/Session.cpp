#include "Roles.h"
#include "Session.h"
#include "UniqueNulls.h"
#include "DeferredConstraints.h"
#include "PrivateTemporary.h"
#include "Autonomous.h"
#include "Plsql.h"

#include "ConstraintErrors.h"
#include "Database.h"
#include "Dictionary.h"
#include "FunctionUtil.h"
#include "MaterializedViews.h"
#include "OraError.h"
#include "RowScn.h"
#include "SqlText.h"
#include "SqlTranslate.h"

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ora {

namespace {

void sqlError(sqlite3_context* ctx, const OraError& e) { sqlite3_result_error(ctx, e.text.c_str(), -1); }

std::string argText(sqlite3_value* v) {
  const unsigned char* p = sqlite3_value_text(v);
  return p ? reinterpret_cast<const char*>(p) : "";
}

void nextvalFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
  auto* s = static_cast<Session*>(sqlite3_user_data(ctx));
  try {
    sqlite3_result_int64(ctx, s->nextval(argText(argv[0])));
  } catch (const OraError& e) {
    sqlError(ctx, e);
  } catch (...) {
    sqlite3_result_error(ctx, "ORA-00600: internal error in a sequence", -1);
  }
}

void currvalFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
  auto* s = static_cast<Session*>(sqlite3_user_data(ctx));
  try {
    sqlite3_result_int64(ctx, s->currval(argText(argv[0])));
  } catch (const OraError& e) {
    sqlError(ctx, e);
  } catch (...) {
    sqlite3_result_error(ctx, "ORA-00600: internal error in a sequence", -1);
  }
}

bool exec(sqlite3* db, const char* sql) { return execOne(db, sql) == SQLITE_OK; }

int64_t dataVersion(sqlite3* db, const char* schema) {
  std::string sql = std::string("PRAGMA ") + quoteIdent(schema) + ".data_version";
  int64_t v = 0;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
    v = sqlite3_column_int64(st, 0);
  sqlite3_finalize(st);
  return v;
}

int64_t schemaVersion(sqlite3* db) {
  int64_t v = 0;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, "PRAGMA main.schema_version", -1, &st, nullptr) == SQLITE_OK &&
      sqlite3_step(st) == SQLITE_ROW)
    v = sqlite3_column_int64(st, 0);
  sqlite3_finalize(st);
  return v;
}

std::mutex g_openMutex;
// Kept for the whole process: sessions still open at exit are closed after other statics are gone.
auto& g_open = *new std::multiset<std::pair<std::string, std::string>>;

} // namespace

bool Session::isOpen(const std::string& folder, const std::string& user) {
  std::lock_guard lock(g_openMutex);
  return g_open.count({folder, user}) > 0;
}

std::string sequencePath(const std::string& folder, const std::string& user) {
  return userFilePath(folder, user, ".seq");
}

std::unique_ptr<Session> Session::open(const std::string& folder, const std::string& user) {
  int openRc = SQLITE_OK;
  sqlite3* db = openSchema(schemaPath(folder, user), user, &openRc);
  if (!db) throw fromSqlite(openRc, "the schema file of " + user + " cannot be opened", "LOGON");
  // A damaged or foreign file fails here, as what it is, not later as missing tables.
  if (int rc = execOne(db, "SELECT count(*) FROM sqlite_schema"); rc != SQLITE_OK) {
    OraError e = fromSqlite(rc, sqlite3_errmsg(db), "LOGON");
    sqlite3_close_v2(db);
    throw e;
  }
  std::unique_ptr<Session> s(new Session);
  s->folder = folder;
  s->user = user;
  s->db = db;
  sessionNls(db).session = s.get();
  s->charset = databaseCharset(folder);
  {
    std::lock_guard lock(g_openMutex);
    g_open.insert({folder, user});
  }
  ensureSchemaTables(db);
  ensureScnTables(db);
  watchRowChanges(db);
  createDictionaryTables(db);
  try {
    syncUniqueGuards(db, user, s->uniqueGuards, false);
  } catch (const OraError&) {
    // a file another session holds locked gets its guards from the next DDL
  }
  s->repairSequences();
  recoverAutonomous(*s);
  sqlite3_create_function(db, "ora_nextval", 1, SQLITE_UTF8, s.get(), nextvalFn, nullptr, nullptr);
  sqlite3_create_function(db, "ora_currval", 1, SQLITE_UTF8, s.get(), currvalFn, nullptr, nullptr);
  registerPlsqlFunctions(db, s.get());
  s->roles = defaultRoles(folder, user); // a role granted later is used from the next logon or SET ROLE
  return s;
}

Session::~Session() {
  if (db) sessionNls(db).session = nullptr;
  {
    std::lock_guard lock(g_openMutex);
    auto it = g_open.find({folder, user});
    if (it != g_open.end()) g_open.erase(it);
  }
  for (auto& [sql, st] : cached_) sqlite3_finalize(st);
  if (inTxn) exec(db, "ROLLBACK");
  inTxn = false;
  try {
    if (autonomous) autonomousRolledBack(*this);
    emptyTemporaryTables("SYS$SESSION");
  } catch (...) {
    // a session that cannot write any more leaves its rows for the next one to clear
  }
  forgetRowChanges(db, true);
  sqlite3_close_v2(db);
  if (seq_) sqlite3_close_v2(seq_);
}

sqlite3_stmt* Session::cachedStatement(const char* sql) {
  auto it = cached_.find(sql);
  if (it != cached_.end()) return it->second;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr) != SQLITE_OK) {
    sqlite3_finalize(st);
    return nullptr;
  }
  cached_[sql] = st;
  return st;
}

std::shared_ptr<SchemaMemo> Session::schemaMemo() {
  auto cookie = [&](const char* sql) {
    int64_t v = -1;
    if (sqlite3_stmt* st = cachedStatement(sql)) {
      if (sqlite3_step(st) == SQLITE_ROW) v = sqlite3_column_int64(st, 0);
      sqlite3_reset(st);
    }
    return v;
  };
  int64_t main = cookie("PRAGMA main.schema_version"), temp = cookie("PRAGMA temp.schema_version");
  bool same = memo_ && main >= 0 && temp >= 0 && main == memoMain_ && temp == memoTemp_ && ddlCount == memoDdl_;
  // a cookie that cannot be read stands for a schema not seen before
  if (!same || memo_->has.size() + memo_->columns.size() + memo_->compiledUnits.size() > 4000) {
    memo_ = std::make_shared<SchemaMemo>();
    memoMain_ = main;
    memoTemp_ = temp;
    memoDdl_ = ddlCount;
    if (main < 0 || temp < 0) memoDdl_ = -1;
  }
  return memo_;
}

void Session::forgetSchema() {
  memo_.reset();
  memoDdl_ = -1;
}

sqlite3* Session::sequences() {
  if (seq_) return seq_;
  std::string path = sequencePath(folder, user);
  int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, S_IRUSR | S_IWUSR);
  if (fd >= 0) ::close(fd);
  if (sqlite3_open_v2(path.c_str(), &seq_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
    sqlite3_close(seq_);
    seq_ = nullptr;
    throw OraError(3113, "sequence file cannot be opened");
  }
  sqlite3_extended_result_codes(seq_, 1);
  installAuthorizer(seq_);
  sqlite3_busy_timeout(seq_, 2000);
  exec(seq_, "PRAGMA journal_mode=WAL");
  // a number handed out must never come again after a power cut
  exec(seq_, "PRAGMA synchronous=FULL");
  exec(seq_, "CREATE TABLE IF NOT EXISTS SEQUENCES (NAME TEXT PRIMARY KEY, MINV, MAXV, INCR INTEGER NOT NULL,"
             " CYCLE INTEGER NOT NULL, CACHE INTEGER NOT NULL, NEXTV INTEGER NOT NULL, OBJ INTEGER)");
  // files of earlier versions get the columns added since
  auto addColumn = [this](const char* name, const char* decl) {
    sqlite3_stmt* st = nullptr;
    bool has = false;
    if (sqlite3_prepare_v2(seq_, "SELECT 1 FROM pragma_table_info('SEQUENCES') WHERE name = ?1", -1, &st, nullptr) == SQLITE_OK) {
      sqlite3_bind_text(st, 1, name, -1, SQLITE_STATIC);
      has = sqlite3_step(st) == SQLITE_ROW;
    }
    sqlite3_finalize(st);
    if (!has) exec(seq_, (std::string("ALTER TABLE SEQUENCES ADD COLUMN ") + name + " " + decl).c_str());
  };
  addColumn("OBJ", "INTEGER"); // the schema's object number ties each row to its object row
  addColumn("ORDERED", "INTEGER NOT NULL DEFAULT 0");
  addColumn("STARTV", "INTEGER"); // the number it was made to start with; NULL in older files
  return seq_;
}

bool Session::sequenceExists(const std::string& name) {
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(sequences(), "SELECT 1 FROM SEQUENCES WHERE NAME = ?1", -1, &st, nullptr);
  sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
  bool found = sqlite3_step(st) == SQLITE_ROW;
  sqlite3_finalize(st);
  return found;
}

void Session::sequenceWrite(const char* sql, const std::vector<std::string>& params) {
  sqlite3* q = sequences();
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(q, sql, -1, &st, nullptr);
  for (size_t i = 0; rc == SQLITE_OK && i < params.size(); ++i)
    sqlite3_bind_text(st, static_cast<int>(i + 1), params[i].c_str(), -1, SQLITE_TRANSIENT);
  if (rc == SQLITE_OK) rc = sqlite3_step(st);
  std::string msg = sqlite3_errmsg(q);
  sqlite3_finalize(st);
  if (rc != SQLITE_DONE) throw fromSqlite(rc, msg, "SEQUENCE");
}

int64_t Session::objectNumber(const std::string& name, const char* type) {
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(db, "SELECT OBJ FROM \"TESSEL$OBJECTS\" WHERE NAME = ?1 AND TYPE = ?2", -1, &st, nullptr);
  int64_t obj = -1;
  if (rc == SQLITE_OK) {
    sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 2, type, -1, SQLITE_STATIC);
    rc = sqlite3_step(st);
    if (rc == SQLITE_ROW) obj = sqlite3_column_int64(st, 0);
  }
  std::string msg = sqlite3_errmsg(db);
  sqlite3_finalize(st);
  if (obj < 0) throw rc == SQLITE_DONE ? OraError(4043, name) : fromSqlite(rc, msg, "SEQUENCE");
  return obj;
}

void Session::repairSequences() {
  std::error_code ec;
  bool haveFile = std::filesystem::exists(sequencePath(folder, user), ec);
  struct SeqRow { std::string name; int64_t obj; bool hasObj; };
  auto read = [&](std::map<int64_t, std::string>& objects, std::vector<SeqRow>& rows) {
    objects.clear();
    rows.clear();
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT OBJ, NAME FROM \"TESSEL$OBJECTS\" WHERE TYPE = 'SEQUENCE'", -1, &st, nullptr) != SQLITE_OK) {
      sqlite3_finalize(st);
      return false;
    }
    while (sqlite3_step(st) == SQLITE_ROW)
      objects[sqlite3_column_int64(st, 0)] = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
    sqlite3_finalize(st);
    if (!haveFile) return true;
    if (sqlite3_prepare_v2(sequences(), "SELECT NAME, OBJ FROM SEQUENCES", -1, &st, nullptr) != SQLITE_OK) {
      sqlite3_finalize(st);
      return false;
    }
    while (sqlite3_step(st) == SQLITE_ROW)
      rows.push_back({reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), sqlite3_column_int64(st, 1),
                      sqlite3_column_type(st, 1) != SQLITE_NULL});
    sqlite3_finalize(st);
    return true;
  };
  // What the repair would change: the plan is made twice, the second time under the lock.
  struct Plan {
    std::vector<std::pair<std::string, int64_t>> setObj; // rows of earlier versions, tied by name
    std::vector<std::pair<std::string, std::string>> rename;
    std::vector<std::string> dropRows;
    std::vector<int64_t> dropObjects;
    bool empty() const { return setObj.empty() && rename.empty() && dropRows.empty() && dropObjects.empty(); }
  };
  auto plan = [&](Plan& p) {
    std::map<int64_t, std::string> objects;
    std::vector<SeqRow> rows;
    if (!read(objects, rows)) return false;
    std::map<std::string, int64_t> byName;
    for (auto& [obj, name] : objects) byName[name] = obj;
    std::set<int64_t> covered;
    std::set<std::string> names;
    for (auto& r : rows) names.insert(r.name);
    for (auto& r : rows) {
      int64_t obj = r.obj;
      if (!r.hasObj) {
        auto it = byName.find(r.name);
        if (it == byName.end()) { p.dropRows.push_back(r.name); continue; }
        obj = it->second;
        p.setObj.emplace_back(r.name, obj);
      }
      auto it = objects.find(obj);
      if (it == objects.end() || covered.count(obj)) { p.dropRows.push_back(r.name); continue; }
      covered.insert(obj);
      if (it->second != r.name) {
        if (names.count(it->second)) p.dropRows.push_back(r.name);
        else p.rename.emplace_back(r.name, it->second);
      }
    }
    for (auto& [obj, name] : objects)
      if (!covered.count(obj)) p.dropObjects.push_back(obj);
    return true;
  };
  Plan p;
  if (!plan(p) || p.empty()) return;
  // Never wait at logon: a schema someone is writing is repaired at a later logon.
  sqlite3_busy_timeout(db, 0);
  bool locked = exec(db, "BEGIN IMMEDIATE");
  sqlite3_busy_timeout(db, 2000);
  if (!locked) return;
  try {
    Plan q;
    if (plan(q)) {
      for (auto& [name, obj] : q.setObj) sequenceWrite("UPDATE SEQUENCES SET OBJ = ?2 WHERE NAME = ?1", {name, std::to_string(obj)});
      for (auto& name : q.dropRows) sequenceWrite("DELETE FROM SEQUENCES WHERE NAME = ?1", {name});
      for (auto& [from, to] : q.rename) sequenceWrite("UPDATE SEQUENCES SET NAME = ?2 WHERE NAME = ?1", {from, to});
      for (int64_t obj : q.dropObjects)
        execOne(db, "DELETE FROM \"TESSEL$OBJECTS\" WHERE TYPE = 'SEQUENCE' AND OBJ = " + std::to_string(obj));
    }
  } catch (const OraError&) {
    // left for a later logon
  }
  if (!exec(db, "COMMIT")) exec(db, "ROLLBACK");
}

int64_t Session::nextval(const std::string& name) {
  sqlite3* q = sequences();
  if (!exec(q, "BEGIN IMMEDIATE")) throw OraError(54);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(q, "SELECT MINV, MAXV, INCR, CYCLE, NEXTV FROM SEQUENCES WHERE NAME = ?1", -1, &st, nullptr);
  sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
  if (sqlite3_step(st) != SQLITE_ROW) {
    sqlite3_finalize(st);
    exec(q, "ROLLBACK");
    throw OraError(2289, name);
  }
  // bounds beyond 64 bits are kept as text and never reached
  bool hasMin = sqlite3_column_type(st, 0) == SQLITE_INTEGER, hasMax = sqlite3_column_type(st, 1) == SQLITE_INTEGER;
  int64_t minv = sqlite3_column_int64(st, 0), maxv = sqlite3_column_int64(st, 1);
  int64_t incr = sqlite3_column_int64(st, 2);
  bool cycle = sqlite3_column_int(st, 3) != 0;
  int64_t value = sqlite3_column_int64(st, 4);
  sqlite3_finalize(st);
  bool over = (incr > 0 && hasMax && value > maxv) || (incr < 0 && hasMin && value < minv);
  if (over) {
    if (!cycle) {
      exec(q, "ROLLBACK");
      throw OraError(8004, name + ".NEXTVAL " + (incr > 0 ? "exceeds MAXVALUE" : "goes below MINVALUE"));
    }
    value = incr > 0 ? minv : maxv;
  }
  int64_t next;
  if (__builtin_add_overflow(value, incr, &next)) next = value; // the next call fails on the bound
  sqlite3_prepare_v2(q, "UPDATE SEQUENCES SET NEXTV = ?2 WHERE NAME = ?1", -1, &st, nullptr);
  sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_int64(st, 2, next == value ? (incr > 0 ? INT64_MAX : INT64_MIN) : next);
  int rc = sqlite3_step(st);
  sqlite3_finalize(st);
  if (rc != SQLITE_DONE || !exec(q, "COMMIT")) {
    exec(q, "ROLLBACK");
    throw OraError(54);
  }
  currvals[name] = value;
  return value;
}

int64_t Session::currval(const std::string& name) {
  auto it = currvals.find(name);
  if (it == currvals.end()) {
    if (!sequenceExists(name)) throw OraError(2289, name);
    throw OraError(8002, name);
  }
  return it->second;
}

void Session::refreshDictionary(const std::string& view) {
  std::string stamp = std::to_string(schemaVersion(db)) + "/" + std::to_string(dataVersion(db, "main")) +
                      "/" + std::to_string(ddlCount);
  // NEXTVAL moves LAST_NUMBER without DDL; other schemas and the user list change on their own
  if (dictionaryReadsElsewhere(view)) stamp.clear();
  auto it = dictStamp_.find(view);
  if (!stamp.empty() && it != dictStamp_.end() && it->second == stamp) return;
  if (beforeWrite) beforeWrite();
  exec(db, "SAVEPOINT dict");
  try {
    fillDictionary(*this, view);
  } catch (...) {
    exec(db, "ROLLBACK TO dict");
    exec(db, "RELEASE dict");
    throw;
  }
  exec(db, "RELEASE dict");
  dictStamp_[view] = stamp;
}

void Session::runDdl(const Translation& t) {
  // its implicit commit would be the caller's too
  if (autonomous && autonomousWithinCaller(*this)) throw OraError(3001, "DDL in an autonomous transaction");
  commit(); // DDL ends the open transaction first, also when it then fails
  ++ddlCount;
  forgetSchema();
  // nothing learned while the DDL's own transaction was open may outlive it
  struct Forget {
    Session& s;
    ~Forget() { s.forgetSchema(); }
  } forget{*this};
  if (!t.retryText.empty()) {
    Catalog cat(db, user, this);
    Translation fresh = translate(t.retryText, cat, false, false);
    if (fresh.kind != StmtKind::Ddl) throw OraError(900);
    runDdl(fresh);
    return;
  }
  for (auto& v : t.dictionary) refreshDictionary(v); // CREATE TABLE ... AS SELECT FROM USER_TABLES
  if (!t.ddl.empty() || !t.beforeCommit.empty()) {
    int rc = execOne(db, "BEGIN IMMEDIATE");
    if (rc != SQLITE_OK) throw fromSqlite(rc, sqlite3_errmsg(db), t.verb);
    try {
      for (auto& s : t.ddl)
        if ((rc = execOne(db, s)) != SQLITE_OK) throw fromSqlite(rc, sqlite3_errmsg(db), t.verb);
      for (auto& a : t.beforeCommit) a(*this);
      syncUniqueGuards(db, user, uniqueGuards);
      if ((rc = execOne(db, "COMMIT")) != SQLITE_OK) throw fromSqlite(rc, sqlite3_errmsg(db), t.verb);
    } catch (...) {
      exec(db, "ROLLBACK");
      throw;
    }
  }
  // rows a CREATE GLOBAL TEMPORARY TABLE ... AS SELECT gave the new table are this session's
  syncTemporaryTables(true);
  for (auto& a : t.actions) a(*this);
  syncUniqueGuards(db, user, uniqueGuards);
}

void Session::execOracle(const std::string& sql) {
  Catalog cat(db, user, this);
  Translation t = translate(sql, cat);
  if (t.kind == StmtKind::Ddl) { runDdl(t); return; }
  if (t.kind == StmtKind::Commit) { commit(); return; }
  if (t.kind == StmtKind::Rollback) { t.savepoint.empty() ? rollback() : rollbackTo(t.savepoint); return; }
  if (t.kind == StmtKind::Savepoint) { savepoint(t.savepoint); return; }
  if (t.kind == StmtKind::Session) {
    for (auto& a : t.actions) a(*this);
    return;
  }
  for (auto& v : t.dictionary) refreshDictionary(v);
  if (t.kind == StmtKind::Dml) beginIfNeeded(t.verb);
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(db, t.sql.c_str(), -1, &st, nullptr);
  if (rc == SQLITE_OK && (!t.moreSql.empty() || t.verb == "MERGE" || t.selfRun)) {
    try {
      runParts(st, t);
    } catch (...) {
      sqlite3_finalize(st);
      throw;
    }
    sqlite3_finalize(st);
    return;
  }
  if (rc == SQLITE_OK) {
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {}
    if (rc == SQLITE_DONE) rc = SQLITE_OK;
  }
  std::string msg = sqlite3_errmsg(db);
  OraError e = (rc & 0xff) == SQLITE_CONSTRAINT ? constraintError(db, user, t, msg, st) : fromSqlite(rc, msg, t.verb);
  sqlite3_finalize(st);
  if (rc != SQLITE_OK) throw e;
}

int64_t Session::runParts(sqlite3_stmt* first, const Translation& t) {
  if (t.selfRun) return t.selfRun(*this);
  int rc = execOne(db, "SAVEPOINT \"PARTS$\"");
  if (rc != SQLITE_OK) throw fromSqlite(rc, sqlite3_errmsg(db), t.verb);
  int64_t rows = 0;
  try {
    auto run = [&](sqlite3_stmt* st, bool counted) {
      int rc = sqlite3_step(st);
      std::string msg = sqlite3_errmsg(db);
      sqlite3_reset(st);
      if (rc != SQLITE_DONE)
        throw (rc & 0xff) == SQLITE_CONSTRAINT ? constraintError(db, user, t, msg, nullptr) : fromSqlite(rc, msg, t.verb);
      if (counted && !sqlite3_stmt_readonly(st)) rows += sqlite3_changes(db); // (a check reads only)
    };
    if (first) run(first, true);
    int64_t floor = INT64_MAX;
    for (size_t part = 0; part < t.moreSql.size(); ++part) {
      const std::string& sql = t.moreSql[part];
      if (!t.floorTable.empty() && part == t.floorBefore) {
        sqlite3_stmt* q = nullptr;
        if (sqlite3_prepare_v2(db, ("SELECT IFNULL(MAX(rowid), 0) FROM " + quoteIdent(t.floorTable)).c_str(), -1, &q,
                               nullptr) == SQLITE_OK &&
            sqlite3_step(q) == SQLITE_ROW)
          floor = sqlite3_column_int64(q, 0);
        sqlite3_finalize(q);
      }
      sqlite3_stmt* st = nullptr;
      int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
      if (rc != SQLITE_OK) {
        std::string msg = sqlite3_errmsg(db);
        sqlite3_finalize(st);
        throw fromSqlite(rc, msg, t.verb);
      }
      if (!t.floorTable.empty() && part == t.floorIn)
        if (int at = sqlite3_bind_parameter_index(st, ":FLOOR")) sqlite3_bind_int64(st, at, floor);
      try {
        run(st, std::find(t.uncounted.begin(), t.uncounted.end(), part) == t.uncounted.end());
      } catch (...) {
        sqlite3_finalize(st);
        throw;
      }
      sqlite3_finalize(st);
    }
  } catch (const OraError& e) {
    exec(db, "ROLLBACK TO \"PARTS$\"");
    exec(db, "RELEASE \"PARTS$\"");
    // a target row that several source rows match
    if (t.verb == "MERGE" && e.code == 1427) throw OraError(30926);
    throw;
  } catch (...) {
    exec(db, "ROLLBACK TO \"PARTS$\"");
    exec(db, "RELEASE \"PARTS$\"");
    throw;
  }
  exec(db, "RELEASE \"PARTS$\"");
  return rows;
}

void Session::beginIfNeeded(const std::string& verb) {
  if (readOnlyTxn && verb != "LOCK") throw OraError(1456);
  if (inTxn) return;
  int rc = execOne(db, "BEGIN IMMEDIATE");
  if (rc != SQLITE_OK) throw fromSqlite(rc, sqlite3_errmsg(db), verb);
  inTxn = true;
}

// The rows of the global temporary tables that keep them for `duration`, at its end.
void Session::emptyTemporaryTables(const char* duration) {
  std::vector<std::string> tables;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT t.TABLE_NAME FROM \"TESSEL$TEMPORARY\" t JOIN sqlite_schema s ON s.name = t.TABLE_NAME"
                             " AND s.type = 'table' WHERE t.DURATION = ?1", -1, &st, nullptr) != SQLITE_OK) {
    sqlite3_finalize(st);
    return;
  }
  sqlite3_bind_text(st, 1, duration, -1, SQLITE_STATIC);
  while (sqlite3_step(st) == SQLITE_ROW) tables.push_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
  sqlite3_finalize(st);
  for (auto& t : tables) {
    // an empty table needs no write, so that a session that never used it takes no lock
    bool rows = false;
    if (sqlite3_prepare_v2(db, ("SELECT 1 FROM " + quoteIdent(t) + " LIMIT 1").c_str(), -1, &st, nullptr) == SQLITE_OK)
      rows = sqlite3_step(st) == SQLITE_ROW;
    sqlite3_finalize(st);
    if (!rows) continue;
    int rc = execOne(db, "DELETE FROM " + quoteIdent(t));
    if (rc != SQLITE_OK) throw fromSqlite(rc, sqlite3_errmsg(db), "COMMIT");
  }
}

void Session::syncTemporaryTables(bool adopt, int64_t stamp) {
  if (inTxn) return;
  if (stamp < 0) {
    sqlite3_stmt* v = cachedStatement("PRAGMA main.schema_version");
    if (v && sqlite3_step(v) == SQLITE_ROW) stamp = sqlite3_column_int64(v, 0);
    if (v) sqlite3_reset(v);
  }
  if (stamp == shadowStamp_ && ddlCount == shadowDdl_) return;
  std::map<std::string, std::string> want;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT t.TABLE_NAME, s.sql FROM main.\"TESSEL$TEMPORARY\" t JOIN main.sqlite_schema s"
                             " ON s.name = t.TABLE_NAME AND s.type = 'table' WHERE t.DURATION = 'SYS$SESSION'",
                         -1, &st, nullptr) == SQLITE_OK)
    while (sqlite3_step(st) == SQLITE_ROW)
      want[reinterpret_cast<const char*>(sqlite3_column_text(st, 0))] =
          reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
  sqlite3_finalize(st);
  for (auto it = shadows_.begin(); it != shadows_.end();) {
    auto w = want.find(it->first);
    if (w != want.end() && w->second == it->second) { ++it; continue; }
    execOne(db, "DROP TABLE IF EXISTS temp." + quoteIdent(it->first));
    it = shadows_.erase(it);
  }
  for (auto& [name, sql] : want) {
    if (shadows_.count(name) || sql.rfind("CREATE TABLE ", 0) != 0) continue;
    if (execOne(db, "CREATE TEMP TABLE " + sql.substr(13)) != SQLITE_OK) continue;
    shadows_[name] = sql;
    if (adopt && execOne(db, "BEGIN IMMEDIATE") == SQLITE_OK) {
      std::string q = quoteIdent(name);
      bool moved = execOne(db, "INSERT INTO temp." + q + " SELECT * FROM main." + q) == SQLITE_OK &&
                   execOne(db, "DELETE FROM main." + q) == SQLITE_OK;
      execOne(db, moved ? "COMMIT" : "ROLLBACK");
    }
  }
  shadowStamp_ = stamp;
  shadowDdl_ = ddlCount;
}

void Session::commit() {
  if (autonomous && autonomousCommit(*this)) return;
  readOnlyTxn = false;
  savepoints.clear();
  startSavepoints.clear();
  struct End {
    Session& s;
    ~End() { endPrivateTables(s); }
  } end{*this};
  if (!inTxn) return;
  refreshOnCommit(*this);
  emptyTemporaryTables("SYS$TRANSACTION");
  stampCommit(db);
  int rc = execOne(db, "COMMIT");
  if ((rc & 0xff) == SQLITE_CONSTRAINT) {
    // a deferred foreign key broken: the whole transaction goes
    OraError e = deferredFailure(*this);
    rollback();
    throw e;
  }
  if (rc != SQLITE_OK) {
    OraError e = fromSqlite(rc, sqlite3_errmsg(db), "COMMIT");
    if (noteFailure()) e.text += " (the transaction was rolled back)";
    throw e;
  }
  inTxn = false;
  if (autonomous) autonomousCommitted(*this);
}

void Session::savepoint(const std::string& name) {
  auto drop = [&](std::vector<std::string>& v) { v.erase(std::remove(v.begin(), v.end(), name), v.end()); };
  drop(startSavepoints);
  drop(savepoints);
  if (!inTxn) {
    startSavepoints.push_back(name);
    return;
  }
  int rc = execOne(db, "SAVEPOINT " + quoteIdent(name));
  if (rc != SQLITE_OK) throw fromSqlite(rc, sqlite3_errmsg(db), "SAVEPOINT");
  savepoints.push_back(name);
}

void Session::rollbackTo(const std::string& name) {
  lostTxn = false;
  auto it = std::find(savepoints.begin(), savepoints.end(), name);
  if (it != savepoints.end()) {
    int rc = execOne(db, "ROLLBACK TO " + quoteIdent(name));
    if (rc != SQLITE_OK) throw fromSqlite(rc, sqlite3_errmsg(db), "ROLLBACK");
    savepoints.erase(it + 1, savepoints.end());
    dictStamp_.clear();
    if (autonomous) autonomousRolledBackTo(*this);
    return;
  }
  if (std::find(startSavepoints.begin(), startSavepoints.end(), name) == startSavepoints.end())
    throw OraError(1086, name);
  // back to before the transaction's first change; the savepoints set before it stay
  auto keep = startSavepoints;
  rollback();
  startSavepoints = keep;
}

void Session::rollback() {
  if (autonomous && autonomousRollback(*this)) return;
  readOnlyTxn = false;
  lostTxn = false;
  savepoints.clear();
  startSavepoints.clear();
  struct End {
    Session& s;
    ~End() { endPrivateTables(s); }
  } end{*this};
  if (!inTxn) return;
  exec(db, "ROLLBACK");
  forgetRowChanges(db, false);
  inTxn = false;
  dictStamp_.clear(); // the dictionary tables were filled inside the undone transaction
  forgetSchema();
  if (autonomous) autonomousRolledBack(*this);
}

bool Session::noteFailure() {
  if (!inTxn || !sqlite3_get_autocommit(db)) return false;
  inTxn = false;
  lostTxn = true;
  dictStamp_.clear();
  forgetSchema();
  return true;
}

void Session::checkLost() {
  if (!lostTxn) return;
  lostTxn = false;
  throw OraError(2091, "a storage error rolled the transaction back; its changes are lost");
}

} // namespace ora
