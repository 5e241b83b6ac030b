// EXPLAIN PLAN: the statement after FOR is translated (so it fails as it would when run), its plan
// worked out from SQLite's and inserted into PLAN_TABLE or the table named by INTO. A schema
// without a PLAN_TABLE gets one, temporary with the rows kept for the session, as the database's
// own; the insert is part of the open transaction.
#include "ExplainPlan.h"

#include "OraError.h"
#include "OraFunctions.h"
#include "Session.h"
#include "SqlLexer.h"
#include "SqlText.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <sqlite3.h>

namespace ora {

namespace {

using sql::Tok;
using sql::Token;

const char* const kPlanTable =
    "CREATE GLOBAL TEMPORARY TABLE PLAN_TABLE (STATEMENT_ID VARCHAR2(30), PLAN_ID NUMBER, \"TIMESTAMP\" DATE,"
    " REMARKS VARCHAR2(4000), OPERATION VARCHAR2(30), OPTIONS VARCHAR2(255), OBJECT_NODE VARCHAR2(128),"
    " OBJECT_OWNER VARCHAR2(128), OBJECT_NAME VARCHAR2(128), OBJECT_ALIAS VARCHAR2(261), OBJECT_INSTANCE NUMBER(38),"
    " OBJECT_TYPE VARCHAR2(30), OPTIMIZER VARCHAR2(255), SEARCH_COLUMNS NUMBER, ID NUMBER(38), PARENT_ID NUMBER(38),"
    " DEPTH NUMBER(38), POSITION NUMBER(38), COST NUMBER(38), CARDINALITY NUMBER(38), BYTES NUMBER(38),"
    " OTHER_TAG VARCHAR2(255), PARTITION_START VARCHAR2(255), PARTITION_STOP VARCHAR2(255), PARTITION_ID NUMBER(38),"
    " DISTRIBUTION VARCHAR2(30), CPU_COST NUMBER(38), IO_COST NUMBER(38), TEMP_SPACE NUMBER(38),"
    " ACCESS_PREDICATES VARCHAR2(4000), FILTER_PREDICATES VARCHAR2(4000), PROJECTION VARCHAR2(4000), TIME NUMBER(38),"
    " QBLOCK_NAME VARCHAR2(128)) ON COMMIT PRESERVE ROWS";

bool word(const std::vector<Token>& t, size_t i, const char* w) {
  return i < t.size() && t[i].kind == Tok::Ident && t[i].text == w;
}
bool op(const std::vector<Token>& t, size_t i, const char* o) {
  return i < t.size() && t[i].kind == Tok::Op && t[i].text == o;
}
bool nameAt(const std::vector<Token>& t, size_t i) {
  return i < t.size() && (t[i].kind == Tok::QIdent || (t[i].kind == Tok::Ident && !sql::reservedWord(t[i].text)));
}
[[noreturn]] void failAt(int code, const std::vector<Token>& t, size_t i) {
  throw OraError(code).at(static_cast<int>(i < t.size() ? t[i].pos : t.back().pos));
}

size_t closing(const std::vector<Token>& t, size_t open) {
  int depth = 0;
  for (size_t k = open; k < t.size(); ++k) {
    if (op(t, k, "(")) ++depth;
    else if (op(t, k, ")") && --depth == 0) return k;
  }
  return t.size();
}

// Whether the outermost select list aggregates its rows into one: an aggregate outside any
// OVER, and no GROUP BY.
bool aggregatesAll(const std::vector<Token>& t) {
  int depth = 0;
  bool inList = false, aggregate = false;
  for (size_t k = 0; k < t.size(); ++k) {
    if (op(t, k, "(")) ++depth;
    else if (op(t, k, ")")) --depth;
    if (depth != 0) continue;
    if (word(t, k, "SELECT") && !inList && !aggregate) inList = true;
    else if (word(t, k, "FROM")) inList = false;
    else if (word(t, k, "GROUP") && word(t, k + 1, "BY")) return false;
    else if (inList && t[k].kind == Tok::Ident && op(t, k + 1, "(") && aggregateFunction(t[k].text) &&
             !(k > 0 && op(t, k - 1, "."))) {
      size_t close = closing(t, k + 1);
      if (!word(t, close + 1, "OVER")) aggregate = true;
      k = close;
    }
  }
  return aggregate;
}

std::string literal(const std::string& s) { return s.empty() ? "NULL" : quoteString(s); }

// The statements that make the schema's PLAN_TABLE. Outside a transaction (or when `now`) they
// run at once, so that the table stays whatever becomes of the rows; else they are left in the
// translation, to run with the statement.
Translation makePlanTable(Catalog& cat, bool now) {
  Translation made = translate(kPlanTable, cat, false, false);
  if (made.ddl.empty() || !made.actions.empty() || !made.beforeCommit.empty())
    throw OraError(942, "PLAN_TABLE"); // nothing that a plain statement can make
  // run again (a cursor executed twice) it finds the table made
  if (made.ddl.front().starts_with("CREATE TABLE "))
    made.ddl.front() = std::string(made.ddl.front()).replace(0, 12, "CREATE TABLE IF NOT EXISTS");
  if (now || (cat.session() && !cat.session()->inTxn)) {
    for (const std::string& sql : made.ddl)
      if (int rc = execOne(cat.db(), sql); rc != SQLITE_OK) throw fromSqlite(rc, sqlite3_errmsg(cat.db()), "CREATE");
    made.ddl.clear();
    if (cat.session()) cat.session()->dictionaryStale();
  }
  return made;
}

} // namespace

bool explainPlan(const std::string& text, Catalog& cat, Translation& out) {
  if (!startsWithWord(text, "EXPLAIN")) return false;
  std::vector<Token> t = sql::lex(text);
  size_t i = 1;
  if (!word(t, i, "PLAN")) failAt(905, t, i);
  ++i;
  std::string statementId;
  if (word(t, i, "SET")) {
    if (!word(t, i + 1, "STATEMENT_ID")) failAt(905, t, i + 1);
    if (!op(t, i + 2, "=")) failAt(905, t, i + 2);
    if (i + 3 >= t.size() || t[i + 3].kind != Tok::Str) failAt(1780, t, i + 3);
    statementId = t[i + 3].text;
    if (statementId.size() > 30) failAt(12899, t, i + 3);
    i += 4;
  }
  std::string table = "PLAN_TABLE";
  bool named = false;
  if (word(t, i, "INTO")) {
    if (!nameAt(t, i + 1)) failAt(903, t, i + 1);
    table = t[i + 1].text;
    i += 2;
    if (op(t, i, ".") && nameAt(t, i + 1)) {
      if (table != cat.user()) failAt(942, t, i + 1); // no statement reaches another schema
      table = t[i + 1].text;
      i += 2;
    }
    named = true;
  }
  if (!word(t, i, "FOR")) failAt(905, t, i);
  ++i;
  if (i + 1 >= t.size()) failAt(900, t, i);
  static const std::set<std::string> explained = {"SELECT", "WITH", "INSERT", "UPDATE", "DELETE", "MERGE"};
  if (!(op(t, i, "(") || (t[i].kind == Tok::Ident && explained.count(t[i].text)))) failAt(900, t, i);
  size_t offset = t[i].pos;
  std::string statement = text.substr(offset);
  Translation inner;
  try {
    inner = translate(statement, cat, false, false);
  } catch (OraError& e) {
    if (e.pos >= 0) e.pos += static_cast<int>(offset);
    throw;
  }
  // where the rows go: the table, or the table a synonym of that name stands for
  bool create = false;
  if (!cat.tableExists(table)) {
    std::string target = cat.synonymTarget(table);
    if (!target.empty() && cat.tableExists(target)) table = target;
    // INTO PLAN_TABLE names the table every schema has, made as without INTO
    else if ((named && table != "PLAN_TABLE") || !target.empty()) throw OraError(942, table);
    else create = true;
  }
  std::string verb = inner.kind == StmtKind::Query ? "SELECT" : inner.verb;
  std::vector<std::string> sqls;
  if (!inner.sql.empty()) sqls.push_back(inner.sql);
  if (verb == "MERGE") sqls.insert(sqls.end(), inner.moreSql.begin(), inner.moreSql.end());
  // the statement's names are checked as its run would check them
  for (const std::string& sql : sqls) {
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(cat.db(), sql.c_str(), -1, &st, nullptr);
    sqlite3_finalize(st);
    if (rc == SQLITE_OK) continue;
    OraError e = fromSqlite(rc, sqlite3_errmsg(cat.db()), inner.verb);
    locateError(e, statement);
    if (e.pos >= 0) e.pos += static_cast<int>(offset);
    throw e;
  }
  std::vector<Token> innerTokens(t.begin() + static_cast<long>(i), t.end());
  std::vector<PlanStep> steps = planSteps(cat.db(), verb, inner.target, sqls, verb == "SELECT" && aggregatesAll(innerTokens));

  Translation made;
  if (create) made = makePlanTable(cat, false);
  // only the columns the table has, of those Oracle's PLAN_TABLE has
  std::set<std::string> have;
  if (!create)
    for (const ColumnInfo& c : cat.columns(table)) have.insert(c.name);
  std::vector<std::pair<std::string, std::string>> cols;
  auto put = [&](std::vector<std::pair<std::string, std::string>>& row, const char* name, const std::string& value) {
    if (create || have.count(name)) row.emplace_back(name, value);
  };
  std::string sqlRows;
  for (const PlanStep& s : steps) {
    std::vector<std::pair<std::string, std::string>> row;
    put(row, "STATEMENT_ID", literal(statementId));
    put(row, "PLAN_ID", "(SELECT N FROM \"PLAN$\")");
    put(row, "TIMESTAMP", "ora_sysdate()");
    put(row, "OPERATION", literal(s.operation));
    put(row, "OPTIONS", literal(s.options));
    put(row, "OBJECT_OWNER", s.objectName.empty() ? "NULL" : quoteString(cat.user()));
    put(row, "OBJECT_NAME", literal(s.objectName));
    put(row, "OBJECT_TYPE", literal(s.objectType));
    put(row, "OPTIMIZER", s.id == 0 ? quoteString("ALL_ROWS") : "NULL");
    put(row, "ID", std::to_string(s.id));
    put(row, "PARENT_ID", s.parent < 0 ? "NULL" : std::to_string(s.parent));
    put(row, "DEPTH", std::to_string(s.depth));
    put(row, "POSITION", s.id == 0 ? "NULL" : std::to_string(s.position));
    if (cols.empty()) cols = row;
    std::string values;
    for (auto& [name, value] : row) values += (values.empty() ? "" : ", ") + value;
    sqlRows += (sqlRows.empty() ? "SELECT " : " UNION ALL SELECT ") + values;
  }
  if (cols.empty()) throw OraError(904, "ID"); // a table without any of the plan's columns
  std::string names;
  for (auto& [name, value] : cols) names += (names.empty() ? "" : ", ") + quoteIdent(name);
  std::string insert = "WITH \"PLAN$\"(N) AS (SELECT IFNULL(MAX(" +
                       std::string(create || have.count("PLAN_ID") ? "\"PLAN_ID\"" : "0") + "), 0) + 1 FROM " +
                       quoteIdent(table) + ") INSERT INTO " + quoteIdent(table) + " (" + names + ") " + sqlRows;

  out = Translation{};
  out.kind = StmtKind::Dml;
  out.function = 50;
  out.verb = "EXPLAIN";
  out.target = table;
  out.unshared = true;
  if (!made.ddl.empty()) {
    out.sql = made.ddl.front();
    out.moreSql.assign(made.ddl.begin() + 1, made.ddl.end());
  }
  if (out.sql.empty()) out.sql = insert;
  else out.moreSql.push_back(insert);
  for (size_t k = 0; k < out.moreSql.size(); ++k) out.uncounted.push_back(k);
  return true;
}

// Every schema has a PLAN_TABLE to read and write, as the database's own is there for every
// user: a query or DML that names it before any EXPLAIN PLAN finds it made.
void planTableFor(const std::string& text, Catalog& cat) {
  static const std::string name = "PLAN_TABLE";
  if (!containsWord(text, "PLAN_TABLE")) return;
  static const char* const verbs[] = {"SELECT", "WITH", "INSERT", "UPDATE", "DELETE", "MERGE"};
  if (std::none_of(std::begin(verbs), std::end(verbs), [&](const char* v) { return startsWithWord(text, v); }) &&
      text.find_first_not_of(" \t\r\n") != text.find('('))
    return;
  std::vector<Token> t;
  try {
    t = sql::lex(text);
  } catch (const OraError&) {
    return; // the statement's own reader reports it
  }
  bool named = std::any_of(t.begin(), t.end(), [](const Token& k) { return k.kind == Tok::Ident && k.text == name; });
  if (!named || cat.tableExists(name) || !cat.synonymTarget(name).empty() || !cat.objectType(name).empty()) return;
  makePlanTable(cat, true);
  cat.schemaChanged();
}

} // namespace ora
