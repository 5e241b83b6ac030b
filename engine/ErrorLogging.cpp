// DML error logging. The statement without its LOG ERRORS clause is run a row at a time, each
// row under a savepoint of its own: a row that fails is undone and written to the log table with
// its error, and the statement goes on; once more rows failed than the reject limit allows, all
// of the statement is undone and it fails with that row's error. The log rows stay either way.
#include "ErrorLogging.h"

#include "OraError.h"
#include "Session.h"
#include "ConstraintErrors.h"
#include "SqlText.h"
#include "SqlTokens.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <memory>
#include <set>
#include <sqlite3.h>

namespace ora {

namespace {

using sql::Tok;

struct Clause {
  std::string table;  // the log table
  std::string tag;    // the tag expression as written; empty when none
  int64_t limit = 0;  // rows that may fail; -1: UNLIMITED
};

// A value as the log keeps it: text.
std::string logText(sqlite3_value* v) {
  switch (sqlite3_value_type(v)) {
  case SQLITE_NULL: return {};
  case SQLITE_INTEGER: return std::to_string(sqlite3_value_int64(v));
  case SQLITE_FLOAT: {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.15g", sqlite3_value_double(v));
    return buf;
  }
  default: return std::string(reinterpret_cast<const char*>(sqlite3_value_text(v)), sqlite3_value_bytes(v));
  }
}

struct Stmt {
  sqlite3_stmt* st = nullptr;
  Translation tr;
  ~Stmt() { sqlite3_finalize(st); }
};

// Oracle text with :1, :2 ... as parameters, prepared.
void prepare(Session& ses, const std::string& text, Stmt& s) {
  Catalog cat(ses.db, ses.user, &ses);
  {
    HostBinds binds;
    try {
      s.tr = translate(text, cat, false);
    } catch (OraError& e) {
      e.pos = -1; // an offset in the rewritten text
      throw;
    }
  }
  if (sqlite3_prepare_v2(ses.db, s.tr.sql.c_str(), -1, &s.st, nullptr) != SQLITE_OK)
    throw fromSqlite(sqlite3_errcode(ses.db), sqlite3_errmsg(ses.db), s.tr.verb);
}

using Row = std::vector<sqlite3_value*>;
struct Rows {
  std::vector<std::string> names;
  std::vector<ColType> types;
  std::vector<Row> rows;
  ~Rows() {
    for (auto& r : rows)
      for (auto* v : r) sqlite3_value_free(v);
  }
};

// All rows of a query, read before the statement changes anything.
void readRows(Session& ses, const std::string& query, Rows& out, const Row* binds = nullptr) {
  Stmt s;
  prepare(ses, query, s);
  if (binds)
    for (size_t k = 0; k < binds->size(); ++k) sqlite3_bind_value(s.st, static_cast<int>(k + 1), (*binds)[k]);
  int n = sqlite3_column_count(s.st);
  for (int c = 0; c < n; ++c) {
    out.names.push_back(sqlite3_column_name(s.st, c));
    out.types.push_back(resultType(s.st, c, s.tr));
  }
  int rc;
  while ((rc = sqlite3_step(s.st)) == SQLITE_ROW) {
    Row r;
    for (int c = 0; c < n; ++c) r.push_back(sqlite3_value_dup(sqlite3_column_value(s.st, c)));
    out.rows.push_back(std::move(r));
  }
  if (rc != SQLITE_DONE) throw fromSqlite(rc, sqlite3_errmsg(ses.db), "SELECT");
}

// A value as a literal of its type, for a statement of several parts that takes no parameters.
std::string literalOf(sqlite3_value* v, const ColType& t) {
  if (sqlite3_value_type(v) == SQLITE_NULL) return "NULL";
  if (sqlite3_value_type(v) == SQLITE_BLOB) {
    static const char* hex = "0123456789ABCDEF";
    std::string h;
    const auto* p = static_cast<const unsigned char*>(sqlite3_value_blob(v));
    for (int k = 0; k < sqlite3_value_bytes(v); ++k) h += {hex[p[k] >> 4], hex[p[k] & 15]};
    return "HEXTORAW('" + h + "')";
  }
  std::string text = logText(v);
  if (t.code == kDate) return "TO_DATE(" + quoteString(text) + ", 'YYYY-MM-DD HH24:MI:SS')";
  if (t.code == kNumber && sqlite3_value_type(v) != SQLITE_TEXT) return text;
  if (t.code == kNumber) return "TO_NUMBER(" + quoteString(text) + ")";
  return quoteString(text);
}

struct Logged {
  int code;
  std::string message, rowid, optype;
  std::vector<std::pair<std::string, std::string>> values; // column, value; value empty: NULL
  bool hasRowid = false;
};

std::string upper(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

struct Statement {
  std::string verb, target, logTable, tag;
  int64_t limit = 0;
  std::string rowsQuery;    // the rows the statement works on: its source rows, or the ROWIDs of its target
  std::string perRow;       // the statement for one of them, its values as :1, :2, ...
  std::string valuesQuery;  // UPDATE, DELETE: the target row's values, by ROWID as :1
  std::vector<std::string> columns; // INSERT, MERGE: the names of the source values
  // MERGE: the text before its source, the source's alias, the text from ON, the target as
  // written and the ON condition; the source row is given as :1, :2 ... in their place
  std::string head, alias, tail, written, on;
};

void writeLog(Session& ses, const Statement& s, const std::string& tag, const std::vector<Logged>& log) {
  if (log.empty()) return;
  Catalog cat(ses.db, ses.user, &ses);
  std::set<std::string> have;
  for (auto& c : cat.columns(s.logTable)) have.insert(c.name);
  for (const Logged& l : log) {
    std::string cols = "\"ORA_ERR_NUMBER$\", \"ORA_ERR_MESG$\", \"ORA_ERR_ROWID$\", \"ORA_ERR_OPTYP$\", \"ORA_ERR_TAG$\"";
    std::string vals = "?1, ?2, ?3, ?4, ?5";
    std::vector<const std::string*> more;
    for (auto& [name, value] : l.values) {
      if (!have.count(name) || name.rfind("ORA_ERR_", 0) == 0) continue;
      cols += ", " + quoteIdent(name);
      more.push_back(&value);
      vals += ", ?" + std::to_string(5 + more.size());
    }
    sqlite3_stmt* st = nullptr;
    std::string sql = "INSERT INTO " + quoteIdent(s.logTable) + " (" + cols + ") VALUES (" + vals + ")";
    if (sqlite3_prepare_v2(ses.db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
      OraError e = fromSqlite(sqlite3_errcode(ses.db), sqlite3_errmsg(ses.db), "INSERT");
      sqlite3_finalize(st);
      throw e;
    }
    sqlite3_bind_int64(st, 1, l.code);
    sqlite3_bind_text(st, 2, l.message.c_str(), -1, SQLITE_TRANSIENT);
    if (l.hasRowid) sqlite3_bind_text(st, 3, l.rowid.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 4, l.optype.c_str(), -1, SQLITE_TRANSIENT);
    if (!tag.empty()) sqlite3_bind_text(st, 5, tag.c_str(), -1, SQLITE_TRANSIENT);
    for (size_t k = 0; k < more.size(); ++k)
      if (!more[k]->empty()) sqlite3_bind_text(st, static_cast<int>(6 + k), more[k]->c_str(), -1, SQLITE_TRANSIENT);
    int rc = sqlite3_step(st);
    std::string msg = sqlite3_errmsg(ses.db);
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE) throw fromSqlite(rc, msg, "INSERT");
  }
}

void exec(Session& ses, const char* sql) { sqlite3_exec(ses.db, sql, nullptr, nullptr, nullptr); }

int64_t runLogged(Session& ses, const Statement& s) {
  std::string tag;
  if (!s.tag.empty()) {
    Rows t;
    readRows(ses, "SELECT TO_CHAR(" + s.tag + ") FROM DUAL", t);
    if (!t.rows.empty()) tag = logText(t.rows[0][0]);
    if (tag.size() > 2000) tag.resize(2000);
  }
  Rows rows;
  readRows(ses, s.rowsQuery, rows);
  auto one = std::make_unique<Stmt>(), match = std::make_unique<Stmt>();
  Stmt values;
  std::vector<std::string> columns = s.columns;
  if (s.verb == "MERGE") {
    columns = rows.names;
  } else {
    prepare(ses, s.perRow, *one);
  }
  if (!s.valuesQuery.empty()) prepare(ses, s.valuesQuery, values);
  const std::string optype = s.verb == "INSERT" ? "I" : s.verb == "UPDATE" ? "U" : s.verb == "DELETE" ? "D" : "";

  if (int rc = sqlite3_exec(ses.db, "SAVEPOINT \"LOGGED$\"", nullptr, nullptr, nullptr); rc != SQLITE_OK)
    throw fromSqlite(rc, sqlite3_errmsg(ses.db), s.verb);
  std::vector<Logged> log;
  int64_t changed = 0;
  try {
    for (const Row& r : rows.rows) {
      if (s.verb == "MERGE") {
        // a MERGE runs in parts: the source row is written into its text
        std::string src;
        for (size_t k = 0; k < r.size(); ++k)
          src += (k ? ", " : "") + literalOf(r[k], rows.types[k]) + " " + quoteIdent(rows.names[k]);
        const std::string row = "(SELECT " + src + " FROM DUAL) " + s.alias;
        one = std::make_unique<Stmt>();
        match = std::make_unique<Stmt>();
        prepare(ses, s.head + " " + row + " " + s.tail, *one);
        prepare(ses, "SELECT 1 FROM " + s.written + ", " + row + " WHERE " + s.on, *match);
      }
      sqlite3_reset(one->st);
      sqlite3_clear_bindings(one->st);
      for (size_t k = 0; k < r.size() && k < static_cast<size_t>(sqlite3_bind_parameter_count(one->st)); ++k)
        sqlite3_bind_value(one->st, static_cast<int>(k + 1), r[k]);
      exec(ses, "SAVEPOINT \"LOGROW$\"");
      OraError failure(0);
      bool failed = false;
      try {
        if (!one->tr.moreSql.empty() || one->tr.verb == "MERGE") {
          changed += ses.runParts(one->st, one->tr);
        } else {
          int rc = sqlite3_step(one->st);
          if (rc != SQLITE_DONE) {
            std::string msg = sqlite3_errmsg(ses.db);
            sqlite3_reset(one->st);
            throw (rc & 0xff) == SQLITE_CONSTRAINT ? constraintError(ses.db, ses.user, one->tr, msg, one->st)
                                                   : fromSqlite(rc, msg, s.verb);
          }
          changed += sqlite3_changes(ses.db);
        }
      } catch (const OraError& e) {
        failed = true;
        failure = e;
      }
      sqlite3_reset(one->st);
      if (failed) exec(ses, "ROLLBACK TO \"LOGROW$\"");
      exec(ses, "RELEASE \"LOGROW$\"");
      if (!failed) continue;
      if (failure.code == 1013 || failure.code == 3113) throw failure; // not a row's fault
      Logged l;
      l.code = failure.code;
      l.message = failure.text;
      l.optype = optype;
      if (values.st) {
        l.hasRowid = true;
        l.rowid = logText(r[0]);
        sqlite3_reset(values.st);
        sqlite3_bind_value(values.st, 1, r[0]);
        if (sqlite3_step(values.st) == SQLITE_ROW)
          for (int c = 0; c < sqlite3_column_count(values.st); ++c)
            l.values.emplace_back(sqlite3_column_name(values.st, c), logText(sqlite3_column_value(values.st, c)));
        sqlite3_reset(values.st);
      } else {
        for (size_t k = 0; k < r.size() && k < columns.size(); ++k) l.values.emplace_back(columns[k], logText(r[k]));
      }
      if (match->st) {
        sqlite3_reset(match->st);
        l.optype = sqlite3_step(match->st) == SQLITE_ROW ? "U" : "I";
        sqlite3_reset(match->st);
      }
      log.push_back(std::move(l));
      if (s.limit >= 0 && static_cast<int64_t>(log.size()) > s.limit) throw failure;
    }
  } catch (...) {
    exec(ses, "ROLLBACK TO \"LOGGED$\"");
    exec(ses, "RELEASE \"LOGGED$\"");
    writeLog(ses, s, tag, log);
    throw;
  }
  exec(ses, "RELEASE \"LOGGED$\"");
  writeLog(ses, s, tag, log);
  return changed;
}

// The name at token i (schema.name or name): its tokens end at the returned index.
size_t nameEnd(const sql::TokenList& tl, size_t i) {
  if (!tl.name(i)) throw OraError(903).at(static_cast<int>(tl.t[std::min(i, tl.t.size() - 1)].pos));
  if (tl.op(i + 1, ".") && tl.name(i + 2)) return i + 3;
  return i + 1;
}

std::string nameAt(const sql::TokenList& tl, size_t e) {
  const auto& k = tl.t[e - 1];
  return k.kind == Tok::QIdent ? k.text : upper(k.text);
}

// A top-level word at or after b; npos when there is none.
size_t topWord(const sql::TokenList& tl, size_t b, size_t e, const char* w) {
  int d = 0;
  for (size_t k = b; k < e; ++k) {
    if (tl.op(k, "(")) ++d;
    else if (tl.op(k, ")")) --d;
    else if (d == 0 && tl.word(k, w)) return k;
  }
  return std::string::npos;
}

} // namespace

bool errorLogging(const std::string& text, Catalog& cat, Translation& out) {
  if (!(startsWithWord(text, "INSERT") || startsWithWord(text, "UPDATE") || startsWithWord(text, "DELETE") ||
        startsWithWord(text, "MERGE")))
    return false;
  sql::TokenList tl(text);
  if (!tl.ok) return false;
  size_t end = tl.t.size();
  while (end > 0 && tl.t[end - 1].kind == Tok::End) --end;
  size_t log = std::string::npos;
  for (size_t k = topWord(tl, 0, end, "LOG"); k != std::string::npos; k = topWord(tl, k + 1, end, "LOG"))
    if (tl.word(k + 1, "ERRORS")) log = k;
  if (log == std::string::npos) return false;

  auto fail = [&](size_t i, int code) {
    return OraError(code).at(static_cast<int>(tl.t[std::min(i, tl.t.size() - 1)].pos));
  };
  Statement s;
  s.verb = upper(tl.t[0].text);
  // the target
  size_t tb = 1;
  if (s.verb == "INSERT" || s.verb == "MERGE") {
    if (!tl.word(1, "INTO")) throw fail(1, 925);
    tb = 2;
  } else if (s.verb == "DELETE" && tl.word(1, "FROM")) {
    tb = 2;
  }
  if (s.verb == "INSERT" && (tl.word(1, "ALL") || tl.word(1, "FIRST"))) throw fail(log, 933);
  size_t te = nameEnd(tl, tb);
  s.target = nameAt(tl, te);
  size_t afterTarget = te;
  if (tl.t[te].kind == Tok::Ident && !tl.word(te, "SET") && !tl.word(te, "WHERE") && !tl.word(te, "VALUES") &&
      !tl.word(te, "SELECT") && !tl.word(te, "WITH") && !tl.word(te, "USING") && !tl.word(te, "LOG") &&
      !tl.word(te, "RETURNING"))
    ++afterTarget; // an alias

  // the clause: LOG ERRORS [INTO name] [(tag)] [REJECT LIMIT n | UNLIMITED]
  size_t i = log + 2;
  size_t logName = log;
  if (tl.word(i, "INTO")) {
    size_t e = nameEnd(tl, i + 1);
    logName = e - 1;
    s.logTable = nameAt(tl, e);
    i = e;
  } else {
    s.logTable = "ERR$_" + s.target.substr(0, 25);
  }
  if (tl.op(i, "(")) {
    size_t c = tl.close(i);
    s.tag = tl.slice(i + 1, c);
    i = c + 1;
  }
  if (tl.word(i, "REJECT")) {
    if (!tl.word(i + 1, "LIMIT")) throw fail(i + 1, 933);
    if (tl.word(i + 2, "UNLIMITED")) {
      s.limit = -1;
    } else if (i + 2 < end && tl.t[i + 2].kind == Tok::Num) {
      errno = 0;
      s.limit = std::strtoll(tl.t[i + 2].text.c_str(), nullptr, 10);
      if (errno || tl.t[i + 2].text.find_first_of(".eE") != std::string::npos) throw fail(i + 2, 933);
    } else {
      throw fail(i + 2, 933);
    }
    i += 3;
  }
  if (i < end) throw fail(i, 933);
  if (!cat.tableExists(s.logTable)) throw OraError(942).at(static_cast<int>(tl.t[logName].pos));

  const std::string base = tl.slice(0, log);
  const std::string target = tl.slice(tb, afterTarget);
  out = translate(base, cat, false); // its errors, its target and kind, as without the clause
  if (s.verb == "INSERT") {
    size_t cb = afterTarget;
    std::vector<std::string> named;
    if (tl.op(cb, "(")) {
      size_t ce = tl.close(cb);
      for (size_t k = cb + 1; k < ce; ++k)
        if (tl.name(k)) named.push_back(tl.t[k].kind == Tok::QIdent ? tl.t[k].text : upper(tl.t[k].text));
      cb = ce + 1;
    } else {
      for (auto& c : cat.columns(s.target))
        if (!c.invisible) named.push_back(c.name);
    }
    size_t ret = topWord(tl, cb, log, "RETURNING");
    size_t srcEnd = ret == std::string::npos ? log : ret;
    if (tl.word(cb, "VALUES") && tl.op(cb + 1, "(")) {
      size_t ve = tl.close(cb + 1);
      s.rowsQuery = "SELECT " + tl.slice(cb + 2, ve) + " FROM DUAL";
    } else {
      s.rowsQuery = tl.slice(cb, srcEnd);
    }
    s.columns = named;
    std::string params;
    for (size_t k = 0; k < named.size(); ++k) params += (k ? ", :" : ":") + std::to_string(k + 1);
    s.perRow = tl.slice(0, cb) + " VALUES (" + params + ")";
  } else if (s.verb == "UPDATE" || s.verb == "DELETE") {
    size_t where = topWord(tl, afterTarget, log, "WHERE");
    size_t ret = topWord(tl, afterTarget, log, "RETURNING");
    size_t condEnd = ret == std::string::npos ? log : ret;
    std::string cond = where == std::string::npos ? std::string() : tl.slice(where + 1, condEnd);
    s.rowsQuery = "SELECT ROWID FROM " + target + (cond.empty() ? "" : " WHERE " + cond);
    s.perRow = tl.slice(0, where == std::string::npos ? condEnd : where) +
               (cond.empty() ? " WHERE ROWID = :1" : " WHERE (" + cond + ") AND ROWID = :1");
    std::string cols;
    for (auto& c : cat.columns(s.target))
      if (c.type.lob == 0 && c.type.object.empty()) cols += (cols.empty() ? "" : ", ") + quoteIdent(c.name);
    s.valuesQuery = "SELECT " + (cols.empty() ? std::string("NULL") : cols) + " FROM " + quoteIdent(s.target) +
                    " WHERE ROWID = :1";
  } else {
    // MERGE INTO target USING source alias ON (cond) ...: each source row becomes a source of one row
    size_t using_ = topWord(tl, afterTarget, log, "USING");
    size_t on = using_ == std::string::npos ? using_ : topWord(tl, using_, log, "ON");
    if (on == std::string::npos || !tl.op(on + 1, "(")) throw fail(log, 933);
    size_t onEnd = tl.close(on + 1);
    size_t sb = using_ + 1, se = on;
    size_t alias = se - 1;
    if (!tl.name(alias) || tl.op(alias - 1, ".") || alias == sb) throw fail(on, 933); // a source needs its alias here
    s.rowsQuery = "SELECT * FROM " + tl.slice(sb, se);
    s.head = tl.slice(0, sb);
    s.alias = tl.slice(alias, alias + 1);
    s.tail = tl.slice(on, log);
    s.written = target;
    s.on = tl.slice(on + 2, onEnd);
  }
  out.unshared = true;
  out.selfRun = [s](Session& ses) { return runLogged(ses, s); };
  return true;
}

void createErrorLog(Session& ses, const std::string& dmlTable, std::string logTable, const std::string& owner,
                    bool skipUnsupported) {
  if (!owner.empty() && owner != ses.user) throw OraError(942);
  Catalog cat(ses.db, ses.user, &ses);
  if (dmlTable.empty() || !cat.tableExists(dmlTable)) throw OraError(942);
  if (logTable.empty()) logTable = "ERR$_" + dmlTable.substr(0, 25);
  std::string sql = "CREATE TABLE " + quoteIdent(logTable) +
                    " (ORA_ERR_NUMBER$ NUMBER, ORA_ERR_MESG$ VARCHAR2(2000), ORA_ERR_ROWID$ VARCHAR2(4000),"
                    " ORA_ERR_OPTYP$ VARCHAR2(2), ORA_ERR_TAG$ VARCHAR2(2000)";
  for (auto& c : cat.columns(dmlTable)) {
    bool unsupported = c.type.lob || !c.type.object.empty() || c.type.code == kLong || c.type.code == kLongRaw;
    if (unsupported) {
      if (skipUnsupported) continue;
      OraError e(20069);
      e.text = "ORA-20069: Unsupported column type(s) found: " + c.name;
      throw e;
    }
    sql += ", " + quoteIdent(c.name) + (c.type.code == kRaw ? " RAW(2000)" : " VARCHAR2(4000)");
  }
  sql += ")";
  ses.runDdl(translate(sql, cat, false, false));
}

} // namespace ora
