// The supplied packages a block may call besides DBMS_OUTPUT: DBMS_STATS, DBMS_LOCK and
// DBMS_SESSION.SLEEP, DBMS_MVIEW.REFRESH and DBMS_UTILITY's error texts and clock.
#include "DictionaryImpl.h"
#include "ErrorLogging.h"
#include "MaterializedViews.h"
#include "PlsqlRun.h"
#include "PlsqlSuppliedMore.h"
#include "Session.h"
#include "SqlText.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <ctime>
#include <cstring>
#include <sqlite3.h>
#include <thread>

namespace ora::pl {

[[noreturn]] void wrongArguments(const Run& r, size_t at, const std::string& name) {
  OraError e(6550);
  e.text = "ORA-06550: " + where(r.u.src, r.u.toks[at].pos) +
           ":\nPLS-00306: wrong number or types of arguments in call to '" + name + "'";
  throw e;
}

void wrongArguments(const Run& r, const Stmt& s) { wrongArguments(r, s.at, s.name.substr(s.name.find('.') + 1)); }

const Range* argument(const Stmt& s, const char* name, size_t position) {
  for (size_t a = 0; a < s.conds.size(); ++a)
    if (s.argNames[a].empty() ? a == position : s.argNames[a] == name) return &s.conds[a];
  return nullptr;
}

void onlyArguments(const Run& r, const Stmt& s, std::initializer_list<const char*> names) {
  std::vector<std::string> known(names.begin(), names.end());
  if (s.conds.size() > known.size()) wrongArguments(r, s);
  for (auto& n : s.argNames)
    if (!n.empty() && std::find(known.begin(), known.end(), n) == known.end()) wrongArguments(r, s);
}

namespace {

// A name as DBMS_STATS and DBMS_MVIEW read it: upper case unless written in double quotes.
std::string objectName(const std::string& written) {
  if (written.size() >= 2 && written.front() == '"' && written.back() == '"') return written.substr(1, written.size() - 2);
  std::string out = written;
  for (auto& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::string textOf(Run& r, const Range* arg) {
  if (!arg) return {};
  Val v = r.eval(*arg);
  return v.k == Val::Null ? std::string() : v.s;
}

// The call ends the open transaction as DDL does, also in a block.
void ended(Run& r) {
  r.ended = true;
  if (r.transactionEnded) r.transactionEnded();
}

// DBMS_STATS.GATHER_TABLE_STATS and friends: what ANALYZE ... COMPUTE STATISTICS records.
void gatherStats(Run& r, const Stmt& s, const std::string& proc) {
  Session& ses = r.ses;
  bool schema = proc == "GATHER_SCHEMA_STATS", index = proc == "GATHER_INDEX_STATS",
       remove = proc == "DELETE_TABLE_STATS";
  if (schema) onlyArguments(r, s, {"OWNNAME", "ESTIMATE_PERCENT", "BLOCK_SAMPLE", "METHOD_OPT", "DEGREE",
                                   "GRANULARITY", "CASCADE", "STATTAB", "STATID", "OPTIONS", "STATOWN",
                                   "NO_INVALIDATE", "FORCE"});
  else if (index) onlyArguments(r, s, {"OWNNAME", "INDNAME", "PARTNAME", "ESTIMATE_PERCENT", "STATTAB", "STATID",
                                      "STATOWN", "DEGREE", "GRANULARITY", "NO_INVALIDATE", "FORCE"});
  else onlyArguments(r, s, {"OWNNAME", "TABNAME", "PARTNAME", "ESTIMATE_PERCENT", "BLOCK_SAMPLE", "METHOD_OPT",
                            "DEGREE", "GRANULARITY", "CASCADE", "STATTAB", "STATID", "STATOWN", "NO_INVALIDATE",
                            "FORCE", "CASCADE_PARTS", "CASCADE_COLUMNS", "CASCADE_INDEXES"});
  const Range* own = argument(s, "OWNNAME", 0);
  if (!own) wrongArguments(r, s);
  std::string owner = objectName(textOf(r, own));
  if (owner.empty()) owner = ses.user;
  std::vector<std::string> names;
  if (schema) {
    if (owner != ses.user) {
      OraError e(20000);
      e.text = "ORA-20000: Schema \"" + owner + "\" does not exist or insufficient privileges";
      throw e;
    }
    names = dict::tablesOf(ses.db, "table");
  } else {
    const Range* what = argument(s, index ? "INDNAME" : "TABNAME", 1);
    if (!what) wrongArguments(r, s);
    names.push_back(objectName(textOf(r, what)));
  }
  for (auto& name : names) {
    Catalog cat(ses.db, ses.user, &ses);
    bool found = owner == ses.user &&
                 (index ? cat.indexExists(name) || cat.keyIndexExists(name) : cat.tableExists(name) && !cat.viewExists(name));
    if (!found) {
      OraError e(20000);
      e.text = "ORA-20000: Unable to analyze " + std::string(index ? "INDEX" : "TABLE") + " \"" + owner + "\".\"" + name +
               "\", insufficient privileges or does not exist";
      throw e;
    }
    std::string sql = std::string("ANALYZE ") + (index ? "INDEX " : "TABLE ") + quoteIdent(name) +
                      (remove ? " DELETE STATISTICS" : " COMPUTE STATISTICS");
    ses.runDdl(translate(sql, cat, false, false));
  }
  ended(r);
}

// DBMS_LOCK.SLEEP and DBMS_SESSION.SLEEP: no longer than the block may run, and ended by that
// limit as a loop would be.
void sleepFor(Run& r, const Stmt& s) {
  onlyArguments(r, s, {"SECONDS"});
  const Range* arg = argument(s, "SECONDS", 0);
  if (!arg) wrongArguments(r, s);
  Val v = r.eval(*arg);
  if (v.k == Val::Null) return;
  if (v.k != Val::Num) wrongArguments(r, s);
  double seconds = std::strtod(v.s.c_str(), nullptr);
  if (!(seconds > 0)) return;
  using namespace std::chrono;
  const auto until = steady_clock::now() + duration_cast<steady_clock::duration>(duration<double>(std::min(seconds, 1e6)));
  const auto limit = r.started + kMaxBlockTime;
  for (;;) {
    auto now = steady_clock::now();
    if (now >= limit) throw OraError(1013, "runaway");
    if (now >= until) return;
    std::this_thread::sleep_for(std::min<steady_clock::duration>({milliseconds(50), until - now, limit - now}));
  }
}

// DBMS_MVIEW.REFRESH('A, B' [, 'CF']): each view refreshed completely, then committed.
void refresh(Run& r, const Stmt& s) {
  onlyArguments(r, s, {"LIST", "METHOD", "ROLLBACK_SEG", "PUSH_DEFERRED_RPC", "REFRESH_AFTER_ERRORS", "PURGE_OPTION",
                       "PARALLELISM", "HEAP_SIZE", "ATOMIC_REFRESH", "NESTED", "OUT_OF_PLACE"});
  const Range* list = argument(s, "LIST", 0);
  if (!list) wrongArguments(r, s);
  std::string names = textOf(r, list), method = textOf(r, argument(s, "METHOD", 1));
  for (char c : method)
    if (!std::strchr("CcFf?AaPp", c)) {
      OraError e(12025);
      e.text = "ORA-12025: invalid refresh method: " + method;
      throw e;
    }
  Session& ses = r.ses;
  ses.commit();
  ended(r);
  size_t b = 0;
  while (b <= names.size()) {
    size_t e = names.find(',', b);
    if (e == std::string::npos) e = names.size();
    std::string one = names.substr(b, e - b);
    while (!one.empty() && one.front() == ' ') one.erase(0, 1);
    while (!one.empty() && one.back() == ' ') one.pop_back();
    b = e + 1;
    if (one.empty()) continue;
    if (size_t dot = one.find('.'); dot != std::string::npos) {
      if (objectName(one.substr(0, dot)) != ses.user)
        throw OraError(23401, "\"" + objectName(one.substr(0, dot)) + "\".\"" + objectName(one.substr(dot + 1)) + "\"");
      one = one.substr(dot + 1);
    }
    refreshMview(ses, objectName(one));
  }
  ses.commit();
}

// DBMS_ERRLOG.CREATE_ERROR_LOG: the log table is made as DDL makes a table.
void errorLog(Run& r, const Stmt& s) {
  onlyArguments(r, s, {"DML_TABLE_NAME", "ERR_LOG_TABLE_NAME", "ERR_LOG_TABLE_OWNER", "ERR_LOG_TABLE_SPACE",
                       "SKIP_UNSUPPORTED"});
  const Range* table = argument(s, "DML_TABLE_NAME", 0);
  if (!table) wrongArguments(r, s);
  const Range* skip = argument(s, "SKIP_UNSUPPORTED", 4);
  bool skipping = false;
  if (skip) {
    Val v = r.eval(*skip);
    skipping = v.k == Val::Bool ? v.b : v.k != Val::Null && v.s != "0";
  }
  std::string owner = objectName(textOf(r, argument(s, "ERR_LOG_TABLE_OWNER", 2)));
  createErrorLog(r.ses, objectName(textOf(r, table)), objectName(textOf(r, argument(s, "ERR_LOG_TABLE_NAME", 1))),
                 owner, skipping);
  ended(r);
}

// DBMS_UTILITY.DB_VERSION(version OUT, compatibility OUT): this release's numbers.
void dbVersion(Run& r, const Stmt& s) {
  onlyArguments(r, s, {"VERSION", "COMPATIBILITY"});
  const Range *v = argument(s, "VERSION", 0), *c = argument(s, "COMPATIBILITY", 1);
  if (!v || !c) wrongArguments(r, s);
  const std::string n = std::to_string(kDbVersion) + "." + std::to_string(kDbRelease);
  r.assign(*v, Val{Val::Str, n + ".0.0.0", false});
  r.assign(*c, Val{Val::Str, n + ".0", false});
}

// DBMS_UTILITY.EXEC_DDL_STATEMENT(parse_string): DDL runs; any other statement is only parsed.
void execDdl(Run& r, const Stmt& s) {
  onlyArguments(r, s, {"PARSE_STRING"});
  const Range* a = argument(s, "PARSE_STRING", 0);
  if (!a || s.conds.size() != 1) wrongArguments(r, s);
  std::string sql = textOf(r, a);
  size_t b = sql.find_first_not_of(" \t\r\n"), e = sql.find_last_not_of(" \t\r\n;");
  if (b == std::string::npos || e < b) throw OraError(900);
  sql = sql.substr(b, e + 1 - b);
  bool block = false;
  if (dynamicKind(r, sql, block) == StmtKind::Ddl && !block) {
    dynamicDdlText(r, sql);
    ended(r);
  }
}

// DBMS_UTILITY.COMPILE_SCHEMA(schema [, compile_all [, reuse_settings]]): the schema's stored
// units and views compiled again, all of them or only the invalid ones; one that still fails
// stays invalid, as its errors say.
void compileSchema(Run& r, const Stmt& s) {
  onlyArguments(r, s, {"SCHEMA", "COMPILE_ALL", "REUSE_SETTINGS"});
  const Range* a = argument(s, "SCHEMA", 0);
  if (!a) wrongArguments(r, s);
  std::string schema = textOf(r, a);
  bool all = true;
  if (const Range* c = argument(s, "COMPILE_ALL", 1)) {
    Val v = r.eval(*c);
    if (v.k != Val::Bool && v.k != Val::Null) wrongArguments(r, s);
    all = v.k != Val::Bool || v.b;
  }
  if (schema != r.ses.user) {
    OraError e(20000);
    e.text = "ORA-20000: You have insufficient privileges for an object in this schema.";
    throw e;
  }
  Rows units = dynamicRows(r,
                           "SELECT OBJECT_TYPE, OBJECT_NAME FROM USER_OBJECTS WHERE OBJECT_TYPE IN ('PROCEDURE', "
                           "'FUNCTION', 'PACKAGE', 'PACKAGE BODY', 'TRIGGER', 'VIEW', 'TYPE', 'TYPE BODY')" +
                               std::string(all ? "" : " AND STATUS = 'INVALID'") + " ORDER BY OBJECT_ID",
                           {}, 0);
  r.ses.commit();
  for (const auto& row : units.rows) {
    if (row.size() < 2 || row[0].k != Val::Str || row[1].k != Val::Str) continue;
    std::string type = row[0].s, body;
    if (type.ends_with(" BODY")) {
      type = type.substr(0, type.size() - 5);
      body = " BODY";
    }
    try {
      dynamicDdlText(r, "ALTER " + type + " " + quoteIdent(row[1].s) + " COMPILE" + body);
    } catch (const OraError&) {
      // left invalid, with its errors recorded
    }
  }
  ended(r);
}

} // namespace

bool suppliedCall(Run& r, const Stmt& s) {
  const std::string& n = s.name;
  if (n.rfind("DBMS_SQL.", 0) == 0) return dbmsSqlCall(r, s);
  if (n.rfind("DBMS_STATS.", 0) == 0) {
    std::string proc = n.substr(11);
    if (proc != "GATHER_TABLE_STATS" && proc != "GATHER_SCHEMA_STATS" && proc != "GATHER_INDEX_STATS" &&
        proc != "DELETE_TABLE_STATS")
      return false;
    gatherStats(r, s, proc);
  } else if (n == "DBMS_LOCK.SLEEP" || n == "DBMS_SESSION.SLEEP") {
    sleepFor(r, s);
  } else if (n == "DBMS_ERRLOG.CREATE_ERROR_LOG") {
    errorLog(r, s);
  } else if (n == "DBMS_UTILITY.DB_VERSION") {
    dbVersion(r, s);
  } else if (n == "DBMS_UTILITY.EXEC_DDL_STATEMENT") {
    execDdl(r, s);
  } else if (n == "DBMS_UTILITY.COMPILE_SCHEMA") {
    compileSchema(r, s);
  } else if (n == "DBMS_MVIEW.REFRESH" || n == "DBMS_SNAPSHOT.REFRESH") {
    refresh(r, s);
  } else if (lobCall(r, s) || sessionPackageCall(r, s) || jobPackageCall(r, s)) {
  } else {
    return false;
  }
  return true;
}

bool suppliedValue(Run& r, size_t k, size_t end, std::string& sql, size_t& used) {
  if (lobValue(r, k, end, sql, used) || sessionPackageValue(r, k, end, sql, used)) return true;
  const auto& t = r.u.toks;
  if (k + 2 < end && t[k].text == "DBMS_DB_VERSION" && t[k + 2].kind == T::Word && dbVersionConstant(t[k + 2].text, sql)) {
    used = 3;
    return true;
  }
  if (k + 2 >= end || t[k].text != "DBMS_UTILITY" || t[k + 2].kind != T::Word) return false;
  const std::string& f = t[k + 2].text;
  if (f != "FORMAT_ERROR_STACK" && f != "FORMAT_ERROR_BACKTRACE" && f != "GET_TIME" && f != "GET_CPU_TIME" &&
      f != "PORT_STRING")
    return false;
  used = 3;
  // an empty argument list may be written
  if (k + 4 < end && t[k + 3].kind == T::Op && t[k + 3].text == "(" && t[k + 4].kind == T::Op && t[k + 4].text == ")")
    used = 5;
  Val v;
  if (f == "GET_TIME") {
    // hundredths of a second from a point of its own, within a 32-bit binary integer
    auto cs = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
                  .count() / 10;
    v = Val{Val::Num, std::to_string(cs % 2147483648LL), false};
  } else if (f == "GET_CPU_TIME") {
    // the process's processor time in hundredths of a second
    v = Val{Val::Num, std::to_string(static_cast<long long>(std::clock() / (CLOCKS_PER_SEC / 100)) % 2147483648LL), false};
  } else if (f == "PORT_STRING") {
    v = Val{Val::Str, "x86_64/Linux 2.4.xx", false};
  } else if (!r.handling.empty()) {
    const OraError& e = r.handling.back();
    if (f == "FORMAT_ERROR_STACK") {
      bool user = e.detail.rfind(kUserMark, 0) == 0;
      v = Val{Val::Str, (user ? std::string("ORA-06510: PL/SQL: unhandled user-defined exception") : e.text) + "\n", false};
    } else {
      // the lines of the units it came out of, then this one's
      v = Val{Val::Str, r.raisedIn.back() + frameLine(r, r.raisedAt.back()) + "\n", false};
    }
  }
  sql = literal(v);
  return true;
}

} // namespace ora::pl
