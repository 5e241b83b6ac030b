// DBMS_JOB and DBMS_SCHEDULER: jobs kept in the schema's own tables and shown by USER_JOBS,
// USER_SCHEDULER_JOBS and USER_SCHEDULER_JOB_RUN_DETAILS. A job runs only when asked (RUN,
// RUN_JOB), at once in the calling session; nothing runs in the background.
#include "DictionaryImpl.h"
#include "PlsqlRun.h"
#include "PlsqlSuppliedMore.h"
#include "Session.h"
#include "SqlText.h"

#include <chrono>
#include <cctype>
#include <optional>
#include <sqlite3.h>

namespace ora {

namespace pl {

namespace {

using Param = std::optional<std::string>;
using Row = std::vector<Param>;

std::vector<Row> rowsOf(Session& ses, const char* sql, const std::vector<Param>& params) {
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(ses.db, sql, -1, &st, nullptr) != SQLITE_OK) throw OraError(600, sqlite3_errmsg(ses.db));
  for (size_t k = 0; k < params.size(); ++k)
    if (params[k]) sqlite3_bind_text(st, static_cast<int>(k + 1), params[k]->c_str(), -1, SQLITE_TRANSIENT);
  std::vector<Row> out;
  int rc;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    Row row;
    for (int c = 0; c < sqlite3_column_count(st); ++c) {
      const unsigned char* v = sqlite3_column_text(st, c);
      row.push_back(v ? Param(reinterpret_cast<const char*>(v)) : std::nullopt);
    }
    out.push_back(std::move(row));
  }
  std::string msg = sqlite3_errmsg(ses.db);
  sqlite3_finalize(st);
  if (rc != SQLITE_DONE) throw OraError(600, msg);
  return out;
}

void write(Session& ses, const char* sql, const std::vector<Param>& params) { rowsOf(ses, sql, params); }

// Ends the open transaction as the scheduler's calls do, also in a block.
void committed(Run& r) {
  r.ses.commit();
  r.ended = true;
  if (r.transactionEnded) r.transactionEnded();
}

Val valueOf(Run& r, const Range* a) { return a ? r.eval(*a) : Val{}; }

Param textOf(Run& r, const Range* a) {
  Val v = valueOf(r, a);
  if (v.k == Val::Null) return std::nullopt;
  if (v.k == Val::Bool) throw OraError(6502);
  if (v.k != Val::Str) v = r.evalText("TO_CHAR(" + literal(v) + ")");
  return v.s;
}

// A DATE argument as the engine stores a date ("YYYY-MM-DD HH:MM:SS").
Param dateOf(Run& r, const Range* a) {
  Val v = valueOf(r, a);
  if (v.k == Val::Null) return std::nullopt;
  if (v.k != Val::Date || v.dt) v = r.evalText("CAST(" + literal(v) + " AS DATE)");
  return v.s;
}

std::string now(Run& r) { return r.evalText("SYSDATE").s; }

bool truth(Run& r, const Range* a, bool dflt) {
  Val v = valueOf(r, a);
  if (v.k == Val::Null) return dflt;
  if (v.k != Val::Bool) throw OraError(6502);
  return v.b;
}

// Runs PL/SQL text as a block of its own in this session.
void runBlock(Run& r, const std::string& text) {
  std::map<std::string, Val> binds;
  dynamicBlockText(r, text, binds);
}

// ---- DBMS_JOB ----

std::string jobNumber(Run& r, const Stmt& s) {
  Val v = valueOf(r, argument(s, "JOB", 0));
  if (v.k != Val::Num) wrongArguments(r, s);
  std::string n = r.evalText("TRUNC(" + v.s + ")").s;
  if (rowsOf(r.ses, "SELECT 1 FROM \"TESSEL$JOBS\" WHERE JOB = ?1", {n}).empty()) {
    OraError e(23421);
    e.text = "ORA-23421: job number " + n + " is not a job in the job queue";
    throw e;
  }
  return n;
}

// The job's wrapper declares job, next_date and broken, as the job queue's does.
std::string jobBlock(const std::string& job, const std::string& what) {
  return "DECLARE job BINARY_INTEGER := " + job + "; next_date DATE := SYSDATE; broken BOOLEAN := FALSE; BEGIN " + what +
         " END;";
}

void submit(Run& r, const Stmt& s) {
  onlyArguments(r, s, {"JOB", "WHAT", "NEXT_DATE", "INTERVAL", "NO_PARSE", "INSTANCE", "FORCE"});
  const Range *job = argument(s, "JOB", 0), *what = argument(s, "WHAT", 1);
  if (!job || !what) wrongArguments(r, s);
  Param text = textOf(r, what);
  if (!text) throw OraError(6502);
  if (!truth(r, argument(s, "NO_PARSE", 4), false)) parseBlock(jobBlock("0", *text)); // its errors are the call's
  const Range* next = argument(s, "NEXT_DATE", 2);
  Param when = next ? dateOf(r, next) : Param(now(r));
  Param interval = argument(s, "INTERVAL", 3) ? textOf(r, argument(s, "INTERVAL", 3)) : Param("null");
  r.ses.beginIfNeeded("INSERT");
  // numbered as a sequence numbers them: a removed job's number is not given again
  write(r.ses,
        "INSERT INTO \"TESSEL$JOBS\" (WHAT, NEXT_DATE, INTERVAL, BROKEN, FAILURES, TOTAL_TIME, LOG_USER)"
        " VALUES (?1, ?2, ?3, 'N', 0, 0, ?4)",
        {text, when, interval ? interval : Param("null"), r.ses.user});
  std::string n = std::to_string(sqlite3_last_insert_rowid(r.ses.db));
  r.assign(*job, Val{Val::Num, n, false});
}

// RUN: the job's PL/SQL now, then its next date from its interval; a failure counts against it.
void runJob(Run& r, const Stmt& s) {
  onlyArguments(r, s, {"JOB", "FORCE"});
  std::string n = jobNumber(r, s);
  Row job = rowsOf(r.ses, "SELECT WHAT, INTERVAL, FAILURES FROM \"TESSEL$JOBS\" WHERE JOB = ?1", {n})[0];
  committed(r);
  const std::string started = now(r);
  const auto t0 = std::chrono::steady_clock::now();
  try {
    runBlock(r, jobBlock(n, job[0].value_or("")));
  } catch (const OraError&) {
    r.ses.rollback();
    long failures = std::strtol(job[2].value_or("0").c_str(), nullptr, 10) + 1;
    // the queue marks a job broken after its sixteenth failure in a row
    write(r.ses, "UPDATE \"TESSEL$JOBS\" SET FAILURES = ?2, BROKEN = CASE WHEN CAST(?2 AS INTEGER) >= 16 THEN 'Y' ELSE BROKEN END WHERE JOB = ?1",
          {n, std::to_string(failures)});
    committed(r);
    OraError e(12011);
    e.text = "ORA-12011: execution of 1 jobs failed";
    throw e;
  }
  Val next = r.evalText(job[1].value_or("null"));
  if (next.k != Val::Null && (next.k != Val::Date || next.dt)) next = r.evalText("CAST(" + literal(next) + " AS DATE)");
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  r.ses.beginIfNeeded("UPDATE");
  write(r.ses,
        "UPDATE \"TESSEL$JOBS\" SET LAST_DATE = ?2, NEXT_DATE = ?3, FAILURES = 0, BROKEN = 'N',"
        " TOTAL_TIME = TOTAL_TIME + ?4 WHERE JOB = ?1",
        {n, started, next.k == Val::Null ? Param() : Param(next.s), std::to_string(static_cast<long long>(seconds + 0.5))});
  committed(r);
}

bool jobCall(Run& r, const Stmt& s, const std::string& proc) {
  if (proc == "SUBMIT") {
    submit(r, s);
  } else if (proc == "RUN") {
    runJob(r, s);
  } else if (proc == "REMOVE") {
    onlyArguments(r, s, {"JOB"});
    std::string n = jobNumber(r, s);
    r.ses.beginIfNeeded("DELETE");
    write(r.ses, "DELETE FROM \"TESSEL$JOBS\" WHERE JOB = ?1", {n});
  } else if (proc == "BROKEN") {
    onlyArguments(r, s, {"JOB", "BROKEN", "NEXT_DATE"});
    const Range* b = argument(s, "BROKEN", 1);
    if (!b) wrongArguments(r, s);
    std::string n = jobNumber(r, s);
    bool broken = truth(r, b, false);
    const Range* next = argument(s, "NEXT_DATE", 2);
    // a broken job's next date is the queue's "never"
    Param when = broken ? Param("4000-01-01 00:00:00") : next ? dateOf(r, next) : Param(now(r));
    r.ses.beginIfNeeded("UPDATE");
    write(r.ses, "UPDATE \"TESSEL$JOBS\" SET BROKEN = ?2, NEXT_DATE = ?3 WHERE JOB = ?1",
          {n, std::string(broken ? "Y" : "N"), when});
  } else if (proc == "NEXT_DATE" || proc == "INTERVAL" || proc == "WHAT" || proc == "CHANGE") {
    if (proc == "CHANGE") onlyArguments(r, s, {"JOB", "WHAT", "NEXT_DATE", "INTERVAL", "INSTANCE", "FORCE"});
    else onlyArguments(r, s, {"JOB", proc.c_str()});
    std::string n = jobNumber(r, s);
    auto arg = [&](const char* name, size_t change) { return argument(s, name, proc == "CHANGE" ? change : 1); };
    Param what, when, interval;
    if (proc == "WHAT" || proc == "CHANGE") what = textOf(r, arg("WHAT", 1));
    if (proc == "NEXT_DATE" || proc == "CHANGE") when = dateOf(r, arg("NEXT_DATE", 2));
    if (proc == "INTERVAL" || proc == "CHANGE") interval = textOf(r, arg("INTERVAL", 3));
    if (proc != "CHANGE" && s.conds.size() != 2) wrongArguments(r, s);
    if (what) parseBlock(jobBlock(n, *what));
    r.ses.beginIfNeeded("UPDATE");
    // CHANGE leaves what it is given as NULL as it was
    write(r.ses,
          "UPDATE \"TESSEL$JOBS\" SET WHAT = COALESCE(?2, WHAT), NEXT_DATE = CASE WHEN ?5 = 'NEXT_DATE' THEN ?3 ELSE "
          "COALESCE(?3, NEXT_DATE) END, INTERVAL = COALESCE(?4, INTERVAL) WHERE JOB = ?1",
          {n, what, when, interval, proc});
  } else {
    return false;
  }
  return true;
}

// ---- DBMS_SCHEDULER ----

std::string upper(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// A job's name as the scheduler reads it: upper case unless quoted, in the user's schema.
std::string jobName(Run& r, const std::string& written) {
  std::string name = written, owner = r.ses.user;
  auto part = [&](std::string p) {
    while (!p.empty() && p.front() == ' ') p.erase(0, 1);
    while (!p.empty() && p.back() == ' ') p.pop_back();
    if (p.size() >= 2 && p.front() == '"' && p.back() == '"') return p.substr(1, p.size() - 2);
    for (char c : p)
      if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '$' && c != '#')
        throw OraError(27452, "\"" + written + "\"");
    if (p.empty() || std::isdigit(static_cast<unsigned char>(p[0]))) throw OraError(27452, "\"" + written + "\"");
    return upper(p);
  };
  size_t dot = name.find('.');
  if (dot != std::string::npos && name.find('"') == std::string::npos) {
    owner = part(name.substr(0, dot));
    name = name.substr(dot + 1);
  }
  name = part(name);
  if (owner != r.ses.user) throw OraError(27476, "\"" + owner + "\".\"" + name + "\"");
  return name;
}

Row schedulerJob(Run& r, const std::string& name, int missing) {
  auto rows = rowsOf(r.ses, "SELECT JOB_TYPE, JOB_ACTION, NUMBER_OF_ARGUMENTS FROM \"TESSEL$SCHEDULER_JOBS\" WHERE NAME = ?1",
                     {name});
  if (rows.empty()) throw OraError(missing, "\"" + r.ses.user + "\".\"" + name + "\"");
  return rows[0];
}

void checkJobType(const std::string& type) {
  static const char* const types[] = {"PLSQL_BLOCK", "STORED_PROCEDURE", "EXECUTABLE", "CHAIN", "EXTERNAL_SCRIPT",
                                      "SQL_SCRIPT", "BACKUP_SCRIPT"};
  for (const char* t : types)
    if (type == t) return;
  OraError e(27465);
  e.text = "ORA-27465: invalid value " + type + " for attribute JOB_TYPE";
  throw e;
}

void createJob(Run& r, const Stmt& s) {
  onlyArguments(r, s, {"JOB_NAME", "JOB_TYPE", "JOB_ACTION", "NUMBER_OF_ARGUMENTS", "START_DATE", "REPEAT_INTERVAL",
                       "END_DATE", "JOB_CLASS", "ENABLED", "AUTO_DROP", "COMMENTS", "CREDENTIAL_NAME",
                       "DESTINATION_NAME"});
  const Range *n = argument(s, "JOB_NAME", 0), *t = argument(s, "JOB_TYPE", 1), *a = argument(s, "JOB_ACTION", 2);
  if (!n || !t || !a) wrongArguments(r, s);
  std::string name = jobName(r, textOf(r, n).value_or(""));
  std::string type = upper(textOf(r, t).value_or(""));
  checkJobType(type);
  Param action = textOf(r, a);
  Param args = argument(s, "NUMBER_OF_ARGUMENTS", 3) ? textOf(r, argument(s, "NUMBER_OF_ARGUMENTS", 3)) : Param("0");
  Param start = dateOf(r, argument(s, "START_DATE", 4)), repeat = textOf(r, argument(s, "REPEAT_INTERVAL", 5));
  Param end = dateOf(r, argument(s, "END_DATE", 6));
  Param jobClass = argument(s, "JOB_CLASS", 7) ? textOf(r, argument(s, "JOB_CLASS", 7)) : Param("DEFAULT_JOB_CLASS");
  bool enabled = truth(r, argument(s, "ENABLED", 8), false), autoDrop = truth(r, argument(s, "AUTO_DROP", 9), true);
  Param comments = textOf(r, argument(s, "COMMENTS", 10));
  committed(r);
  // jobs share the schema's namespace with its other objects
  Catalog cat(r.ses.db, r.ses.user, &r.ses);
  if (!cat.objectType(name).empty() ||
      !rowsOf(r.ses, "SELECT 1 FROM \"TESSEL$SCHEDULER_JOBS\" WHERE NAME = ?1", {name}).empty())
    throw OraError(27477, "\"" + r.ses.user + "\".\"" + name + "\"");
  r.ses.beginIfNeeded("INSERT");
  write(r.ses,
        "INSERT INTO \"TESSEL$SCHEDULER_JOBS\" (NAME, JOB_TYPE, JOB_ACTION, NUMBER_OF_ARGUMENTS, START_DATE,"
        " REPEAT_INTERVAL, END_DATE, JOB_CLASS, ENABLED, AUTO_DROP, COMMENTS, RUN_COUNT, FAILURE_COUNT, CREATOR)"
        " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, 0, 0, ?12)",
        {name, type, action, args, start, repeat, end, jobClass ? upper(*jobClass) : Param("DEFAULT_JOB_CLASS"),
         std::string(enabled ? "TRUE" : "FALSE"), std::string(autoDrop ? "TRUE" : "FALSE"), comments, r.ses.user});
  committed(r);
}

// ENABLE, DISABLE and DROP_JOB take a comma-separated list of names.
std::vector<std::string> jobNames(Run& r, const Stmt& s) {
  Param list = textOf(r, argument(s, "NAME", 0));
  if (!list) list = textOf(r, argument(s, "JOB_NAME", 0));
  if (!list) throw OraError(27452, "\"\"");
  std::vector<std::string> out;
  size_t b = 0;
  while (b <= list->size()) {
    size_t e = list->find(',', b);
    if (e == std::string::npos) e = list->size();
    out.push_back(jobName(r, list->substr(b, e - b)));
    b = e + 1;
  }
  return out;
}

void runSchedulerJob(Run& r, const Stmt& s) {
  onlyArguments(r, s, {"JOB_NAME", "USE_CURRENT_SESSION"});
  const Range* n = argument(s, "JOB_NAME", 0);
  if (!n) wrongArguments(r, s);
  std::string name = jobName(r, textOf(r, n).value_or(""));
  truth(r, argument(s, "USE_CURRENT_SESSION", 1), true); // either way the job runs here, now
  Row job = schedulerJob(r, name, 27476);
  committed(r);
  const std::string type = job[0].value_or(""), action = job[1].value_or("");
  const std::string started = now(r);
  std::optional<OraError> failed;
  try {
    if (type == "PLSQL_BLOCK") runBlock(r, "BEGIN " + action + " END;");
    else if (type == "STORED_PROCEDURE") {
      if (job[2].value_or("0") != "0") throw OraError(27475, "\"" + r.ses.user + "\".\"" + name + "\"");
      runBlock(r, "BEGIN " + action + "; END;");
    } else {
      OraError e(27370);
      e.text = "ORA-27370: job slave failed to launch a job of type " + type;
      throw e;
    }
  } catch (const OraError& e) {
    failed = e;
    r.ses.rollback();
  }
  committed(r);
  r.ses.beginIfNeeded("INSERT");
  write(r.ses,
        "INSERT INTO \"TESSEL$SCHEDULER_RUNS\" (LOG_ID, LOG_DATE, JOB_NAME, STATUS, ERROR, ACTUAL_START_DATE, "
        "ADDITIONAL_INFO) SELECT COALESCE(MAX(LOG_ID), 0) + 1, ?2, ?1, ?3, ?4, ?5, ?6 FROM \"TESSEL$SCHEDULER_RUNS\"",
        {name, now(r), std::string(failed ? "FAILED" : "SUCCEEDED"), std::to_string(failed ? failed->code : 0), started,
         failed ? Param(failed->text) : std::nullopt});
  write(r.ses,
        "UPDATE \"TESSEL$SCHEDULER_JOBS\" SET RUN_COUNT = RUN_COUNT + 1, FAILURE_COUNT = FAILURE_COUNT + ?2,"
        " LAST_START_DATE = ?3 WHERE NAME = ?1",
        {name, std::string(failed ? "1" : "0"), started});
  committed(r);
  if (failed) throw *failed;
}

void setAttribute(Run& r, const Stmt& s) {
  onlyArguments(r, s, {"NAME", "ATTRIBUTE", "VALUE"});
  const Range *n = argument(s, "NAME", 0), *a = argument(s, "ATTRIBUTE", 1), *v = argument(s, "VALUE", 2);
  if (!n || !a || !v || s.conds.size() != 3) wrongArguments(r, s);
  std::string name = jobName(r, textOf(r, n).value_or(""));
  std::string attribute = upper(textOf(r, a).value_or(""));
  schedulerJob(r, name, 27476);
  static const char* const columns[][2] = {{"JOB_ACTION", "JOB_ACTION"}, {"JOB_TYPE", "JOB_TYPE"},
                                           {"REPEAT_INTERVAL", "REPEAT_INTERVAL"}, {"START_DATE", "START_DATE"},
                                           {"END_DATE", "END_DATE"}, {"COMMENTS", "COMMENTS"},
                                           {"AUTO_DROP", "AUTO_DROP"}, {"NUMBER_OF_ARGUMENTS", "NUMBER_OF_ARGUMENTS"},
                                           {"JOB_CLASS", "JOB_CLASS"}};
  const char* column = nullptr;
  for (auto& c : columns)
    if (attribute == c[0]) column = c[1];
  if (!column) {
    OraError e(27469);
    e.text = "ORA-27469: " + attribute + " is not a valid job attribute";
    throw e;
  }
  Param value;
  if (attribute == "START_DATE" || attribute == "END_DATE") value = dateOf(r, v);
  else if (attribute == "AUTO_DROP") value = std::string(truth(r, v, true) ? "TRUE" : "FALSE");
  else value = textOf(r, v);
  if (attribute == "JOB_TYPE") checkJobType(upper(value.value_or("")));
  if (attribute == "JOB_TYPE" || attribute == "JOB_CLASS") value = upper(value.value_or(""));
  committed(r);
  r.ses.beginIfNeeded("UPDATE");
  const std::string sql = "UPDATE \"TESSEL$SCHEDULER_JOBS\" SET " + quoteIdent(column) + " = ?2 WHERE NAME = ?1";
  write(r.ses, sql.c_str(), {name, value});
  committed(r);
}

bool schedulerCall(Run& r, const Stmt& s, const std::string& proc) {
  if (proc == "CREATE_JOB") {
    createJob(r, s);
  } else if (proc == "RUN_JOB") {
    runSchedulerJob(r, s);
  } else if (proc == "ENABLE" || proc == "DISABLE" || proc == "DROP_JOB") {
    if (proc == "DROP_JOB") onlyArguments(r, s, {"JOB_NAME", "FORCE", "DEFER", "COMMIT_SEMANTICS"});
    else onlyArguments(r, s, {"NAME", "FORCE", "COMMIT_SEMANTICS"});
    if (s.conds.empty()) wrongArguments(r, s);
    std::vector<std::string> names = jobNames(r, s);
    committed(r);
    for (const auto& name : names) schedulerJob(r, name, proc == "DROP_JOB" ? 27475 : 27476);
    r.ses.beginIfNeeded("UPDATE");
    for (const auto& name : names)
      if (proc == "DROP_JOB") write(r.ses, "DELETE FROM \"TESSEL$SCHEDULER_JOBS\" WHERE NAME = ?1", {name});
      else write(r.ses, "UPDATE \"TESSEL$SCHEDULER_JOBS\" SET ENABLED = ?2 WHERE NAME = ?1",
                 {name, std::string(proc == "ENABLE" ? "TRUE" : "FALSE")});
    committed(r);
  } else if (proc == "SET_ATTRIBUTE") {
    setAttribute(r, s);
  } else {
    return false;
  }
  return true;
}

} // namespace

bool jobPackageCall(Run& r, const Stmt& s) {
  const std::string& n = s.name;
  if (n.rfind("DBMS_JOB.", 0) == 0) return jobCall(r, s, n.substr(9));
  if (n.rfind("DBMS_SCHEDULER.", 0) == 0) return schedulerCall(r, s, n.substr(15));
  return false;
}

} // namespace pl

namespace dict {

void fillJobViews(const std::string& view, const Source& src, Inserter& ins) {
  if (view == "USER_JOBS") {
    eachRow(src.db,
            "SELECT JOB, LOG_USER, LAST_DATE, NEXT_DATE, TOTAL_TIME, BROKEN, INTERVAL, FAILURES, WHAT"
            " FROM \"TESSEL$JOBS\" ORDER BY JOB",
            [&](sqlite3_stmt* st) {
              auto date = [&](int c) {
                std::string d = col(st, c);
                ins.textOrNull(d);
              };
              auto secs = [&](int c) {
                std::string d = col(st, c);
                ins.textOrNull(d.size() >= 19 ? d.substr(11, 8) : std::string());
              };
              ins.num(sqlite3_column_int64(st, 0)).text(col(st, 1)).text(src.owner).text(src.owner);
              date(2);
              secs(2);
              ins.null().null(); // THIS_DATE, THIS_SEC: no job is running
              date(3);
              secs(3);
              ins.num(sqlite3_column_int64(st, 4)).text(col(st, 5)).text(col(st, 6)).num(sqlite3_column_int64(st, 7))
                  .text(col(st, 8)).num(0).row();
            }, {}, true);
  } else if (view == "USER_SCHEDULER_JOBS") {
    eachRow(src.db,
            "SELECT NAME, CREATOR, JOB_TYPE, JOB_ACTION, NUMBER_OF_ARGUMENTS, START_DATE, REPEAT_INTERVAL, END_DATE,"
            " JOB_CLASS, ENABLED, AUTO_DROP, RUN_COUNT, FAILURE_COUNT, LAST_START_DATE, COMMENTS"
            " FROM \"TESSEL$SCHEDULER_JOBS\" ORDER BY NAME",
            [&](sqlite3_stmt* st) {
              std::string start = col(st, 5), repeat = col(st, 6);
              bool enabled = col(st, 9) == "TRUE";
              ins.text(col(st, 0)).null().text("REGULAR").text(col(st, 1)).null().null().text(col(st, 2))
                  .textOrNull(col(st, 3)).num(sqlite3_column_int64(st, 4))
                  .text(!repeat.empty() ? "CALENDAR" : !start.empty() ? "ONCE" : "IMMEDIATE")
                  .textOrNull(start).textOrNull(repeat).textOrNull(col(st, 7)).text(col(st, 8)).text(col(st, 9))
                  .text(col(st, 10)).text(enabled ? "SCHEDULED" : "DISABLED").num(sqlite3_column_int64(st, 11))
                  .num(sqlite3_column_int64(st, 12)).textOrNull(col(st, 13))
                  .textOrNull(enabled && repeat.empty() ? start : std::string()).textOrNull(col(st, 14)).row();
            }, {}, true);
  } else if (view == "USER_SCHEDULER_JOB_RUN_DETAILS") {
    eachRow(src.db,
            "SELECT LOG_ID, LOG_DATE, JOB_NAME, STATUS, ERROR, ACTUAL_START_DATE, ADDITIONAL_INFO"
            " FROM \"TESSEL$SCHEDULER_RUNS\" ORDER BY LOG_ID",
            [&](sqlite3_stmt* st) {
              ins.num(sqlite3_column_int64(st, 0)).text(col(st, 1)).text(src.owner).text(col(st, 2)).null()
                  .text(col(st, 3)).num(sqlite3_column_int64(st, 4)).null().text(col(st, 5)).num(1)
                  .textOrNull(col(st, 6)).row();
            }, {}, true);
  }
}

} // namespace dict

} // namespace ora
