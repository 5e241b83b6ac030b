// CREATE / DROP MATERIALIZED VIEW, their refresh and USER_MVIEWS.
//
// The view is a table of its own name made as CREATE TABLE ... AS its query would make it; a
// refresh is complete: the rows go and the query's rows come in their place, in one transaction.
#include "MaterializedViews.h"

#include "DictionaryImpl.h"
#include "Session.h"
#include "TableRebuild.h"

#include <sqlite3.h>

namespace ora {

namespace {

// A name no object of the schema has, for a CREATE TABLE ... AS that is translated, never run.
std::string scratchName(Catalog& cat) {
  for (int n = 0;; ++n) {
    std::string name = "MV$REFRESH$" + std::to_string(n);
    if (cat.objectType(name).empty()) return name;
  }
}

// The INSERT that fills a table made by CREATE TABLE scratch AS query, writing `into` instead.
std::string fillingInsert(const Translation& ctas, const std::string& scratch, const std::string& into) {
  const std::string from = "INSERT INTO " + quoteIdent(scratch) + " (";
  for (const auto& sql : ctas.ddl) {
    size_t at = sql.find(from);
    if (at == std::string::npos) continue;
    std::string out = sql;
    out.replace(at, from.size(), "INSERT INTO " + quoteIdent(into) + " (");
    return out;
  }
  throw OraError(12008);
}

void run(Session& s, const std::string& sql) {
  if (int rc = execOne(s.db, sql); rc != SQLITE_OK) throw fromSqlite(rc, sqlite3_errmsg(s.db), "INSERT");
}

std::string storedQuery(Session& s, const std::string& name) {
  std::string query;
  dict::eachRow(s.db, "SELECT QUERY FROM \"TESSEL$MVIEWS\" WHERE NAME = ?1",
                [&](sqlite3_stmt* st) { query = dict::col(st, 0); }, name);
  return query;
}

} // namespace

void refreshMview(Session& s, const std::string& name) {
  std::string query = storedQuery(s, name);
  if (query.empty()) throw OraError(23401, quoteIdent(s.user) + "." + quoteIdent(name));
  Translation ctas;
  std::string scratch;
  {
    Catalog cat(s.db, s.user, &s);
    scratch = scratchName(cat);
    ctas = translate("CREATE TABLE " + quoteIdent(scratch) + " AS " + query, cat, false, false);
  }
  for (auto& v : ctas.dictionary) s.refreshDictionary(v);
  std::string insert = fillingInsert(ctas, scratch, name);
  s.beginIfNeeded("INSERT");
  run(s, "SAVEPOINT \"TESSEL$REFRESH\"");
  try {
    run(s, "DELETE FROM main." + quoteIdent(name));
    run(s, insert);
    run(s, "UPDATE \"TESSEL$MVIEWS\" SET REFRESHED = ora_sysdate(), REFRESH_TYPE = 'COMPLETE' WHERE NAME = " +
               quoteString(name));
  } catch (...) {
    execOne(s.db, "ROLLBACK TO \"TESSEL$REFRESH\"");
    execOne(s.db, "RELEASE \"TESSEL$REFRESH\"");
    throw;
  }
  run(s, "RELEASE \"TESSEL$REFRESH\"");
  s.dictionaryStale(); // USER_MVIEWS tells when
}

void refreshOnCommit(Session& s) {
  std::vector<std::string> names;
  sqlite3_stmt* st = s.cachedStatement("SELECT NAME FROM \"TESSEL$MVIEWS\" WHERE MODE = 'COMMIT'");
  if (!st) return;
  while (sqlite3_step(st) == SQLITE_ROW) names.push_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
  sqlite3_reset(st);
  for (auto& n : names) {
    try {
      refreshMview(s, n);
    } catch (const OraError&) {
      // a view whose query no longer runs (a table it reads is gone) stays as it was
    }
  }
}

namespace tx {

namespace {
// What a query refreshed at each commit may not read: values that change without a commit.
bool changesWithoutCommit(const std::vector<Token>& t, size_t b, Catalog& cat) {
  static const std::set<std::string> words = {"SYSDATE", "SYSTIMESTAMP", "CURRENT_DATE", "CURRENT_TIMESTAMP",
                                              "LOCALTIMESTAMP", "USER", "UID", "USERENV", "SYS_CONTEXT", "ROWNUM",
                                              "NEXTVAL", "CURRVAL", "DBMS_RANDOM", "SYS_GUID"};
  for (size_t k = b; k < t.size(); ++k)
    if (t[k].kind == Token::Ident && (words.count(t[k].text) || !dictionaryView(t[k].text, cat.user()).empty()))
      return true;
  return false;
}
} // namespace

void createMaterializedView(const std::string& src, const std::vector<Token>& t, Catalog& cat, Translation& tr) {
  tr.kind = StmtKind::Ddl;
  tr.function = 0;
  size_t i = 3;
  if (is(tokenAt(t, i), "LOG")) {
    // CREATE MATERIALIZED VIEW LOG ON t ...: refreshes are complete, so no change log is kept
    if (!is(tokenAt(t, i + 1), "ON")) throw OraError(969).at(static_cast<int>(tokenAt(t, i + 1).pos));
    i += 2;
    if ((tokenAt(t, i).kind == Token::Ident || tokenAt(t, i).kind == Token::QIdent) && is(tokenAt(t, i + 1), ".")) i += 2;
    if (!cat.tableExists(tokenAt(t, i).text) || cat.viewExists(tokenAt(t, i).text)) throw OraError(942).at(static_cast<int>(tokenAt(t, i).pos));
    return;
  }
  if ((tokenAt(t, i).kind == Token::Ident || tokenAt(t, i).kind == Token::QIdent) && is(tokenAt(t, i + 1), ".")) {
    if (tokenAt(t, i).text != cat.user()) throw OraError(1031);
    i += 2;
  }
  if (tokenAt(t, i).kind != Token::Ident && tokenAt(t, i).kind != Token::QIdent) throw OraError(903).at(static_cast<int>(tokenAt(t, i).pos));
  const std::string name = tokenAt(t, i).text;
  const size_t nameAt = i++;
  checkName(name, cat.session() ? cat.session()->charset : Charset::AL32UTF8);
  std::string columns;
  if (is(tokenAt(t, i), "(")) {
    size_t close = i;
    while (close < t.size() && !(is(t[close], ")") && t[close].depth == t[i].depth)) ++close;
    if (close >= t.size()) throw OraError(907);
    columns = src.substr(t[i].pos, t[close].end - t[i].pos) + " ";
    i = close + 1;
  }
  std::string build = "IMMEDIATE", method = "FORCE", mode = "DEMAND", rewrite = "N";
  static const std::set<std::string> clauses = {"BUILD", "REFRESH", "NEVER", "ENABLE", "DISABLE", "USING", "AS",
                                                "WITH", "TABLESPACE", "PCTFREE", "STORAGE", "LOGGING", "NOLOGGING",
                                                "CACHE", "NOCACHE", "PARALLEL", "NOPARALLEL", "COMPRESS", "NOCOMPRESS"};
  while (i < t.size() && !is(tokenAt(t, i), "AS")) {
    if (is(tokenAt(t, i), "BUILD")) {
      if (!is(tokenAt(t, i + 1), "IMMEDIATE") && !is(tokenAt(t, i + 1), "DEFERRED")) throw OraError(905).at(static_cast<int>(tokenAt(t, i + 1).pos));
      build = tokenAt(t, i + 1).text;
      i += 2;
    } else if (is(tokenAt(t, i), "NEVER") && is(tokenAt(t, i + 1), "REFRESH")) {
      method = mode = "NEVER";
      i += 2;
    } else if (is(tokenAt(t, i), "REFRESH")) {
      ++i;
      if (is(tokenAt(t, i), "FAST") || is(tokenAt(t, i), "COMPLETE") || is(tokenAt(t, i), "FORCE")) method = tokenAt(t, i++).text;
      if (is(tokenAt(t, i), "ON") && (is(tokenAt(t, i + 1), "DEMAND") || is(tokenAt(t, i + 1), "COMMIT"))) {
        mode = tokenAt(t, i + 1).text;
        i += 2;
      }
      // START WITH d NEXT d: the engine has no job queue; the view is refreshed on demand
      auto clauseAt = [&](size_t k) {
        if (t[k].depth > 0 || t[k].kind != Token::Ident || !clauses.count(t[k].text)) return false;
        return !is(t[k], "WITH") || is(tokenAt(t, k + 1), "PRIMARY") || is(tokenAt(t, k + 1), "ROWID");
      };
      while (i < t.size() && !clauseAt(i)) ++i;
      if (is(tokenAt(t, i), "WITH") && (is(tokenAt(t, i + 1), "PRIMARY") || is(tokenAt(t, i + 1), "ROWID")))
        i += is(tokenAt(t, i + 1), "PRIMARY") ? 3 : 2;
    } else if ((is(tokenAt(t, i), "ENABLE") || is(tokenAt(t, i), "DISABLE")) && is(tokenAt(t, i + 1), "QUERY") && is(tokenAt(t, i + 2), "REWRITE")) {
      rewrite = is(tokenAt(t, i), "ENABLE") ? "Y" : "N";
      i += 3;
    } else if (is(tokenAt(t, i), "USING") && is(tokenAt(t, i + 1), "INDEX")) {
      i = skipPhysical(t, i + 2);
    } else if (is(tokenAt(t, i), "USING") && is(tokenAt(t, i + 1), "NO") && is(tokenAt(t, i + 2), "INDEX")) {
      i += 3;
    } else if (skipPhysical(t, i) > i) {
      i = skipPhysical(t, i);
    } else {
      unexpectedToken(t, i);
    }
  }
  if (!is(tokenAt(t, i), "AS")) throw OraError(905).at(static_cast<int>(i < t.size() ? t[i].pos : src.size()));
  if (i + 1 >= t.size()) throw OraError(921);
  if (!cat.objectType(name).empty()) throw OraError(955).at(static_cast<int>(tokenAt(t, nameAt).pos));
  if (mode == "COMMIT" && changesWithoutCommit(t, i + 1, cat)) throw OraError(12054);
  std::string query = src.substr(t[i + 1].pos);
  while (!query.empty() && (query.back() == ' ' || query.back() == '\n' || query.back() == '\t' || query.back() == ';'))
    query.pop_back();
  const std::string head = "CREATE TABLE " + quoteIdent(name) + " " + columns + "AS ";
  Translation ctas;
  try {
    ctas = translate(head + query, cat, false, false);
  } catch (OraError& e) {
    // marked where the query says it
    if (e.pos >= static_cast<int>(head.size())) e.pos = e.pos - static_cast<int>(head.size()) + static_cast<int>(t[i + 1].pos);
    else e.pos = -1;
    throw;
  }
  tr.dictionary = ctas.dictionary;
  tr.ddl = ctas.ddl;
  if (build == "DEFERRED") tr.ddl.push_back("DELETE FROM main." + quoteIdent(name));
  tr.ddl.push_back("INSERT INTO \"TESSEL$MVIEWS\" (NAME, QUERY, BUILD, METHOD, MODE, REWRITE, REFRESHED, REFRESH_TYPE)"
                   " VALUES (" + quoteString(name) + ", " + quoteString(query) + ", " + quoteString(build) + ", " +
                   quoteString(method) + ", " + quoteString(mode) + ", " + quoteString(rewrite) + ", " +
                   (build == "DEFERRED" ? "NULL, 'NA'" : "ora_sysdate(), 'COMPLETE'") + ")");
  tr.ddl.push_back("INSERT INTO \"TESSEL$OBJECTS\" (NAME, TYPE, CREATED) VALUES (" + quoteString(name) +
                   ", 'MATERIALIZED VIEW', ora_sysdate())");
}

void dropMaterializedView(const std::vector<Token>& t, Catalog& cat, Translation& tr) {
  tr.kind = StmtKind::Ddl;
  tr.function = 0;
  size_t i = 3;
  bool log = is(tokenAt(t, i), "LOG");
  if (log) {
    if (!is(tokenAt(t, i + 1), "ON")) throw OraError(969).at(static_cast<int>(tokenAt(t, i + 1).pos));
    i += 2;
  }
  if ((tokenAt(t, i).kind == Token::Ident || tokenAt(t, i).kind == Token::QIdent) && is(tokenAt(t, i + 1), ".")) i += 2;
  if (tokenAt(t, i).kind != Token::Ident && tokenAt(t, i).kind != Token::QIdent) throw OraError(903).at(static_cast<int>(tokenAt(t, i).pos));
  const std::string name = tokenAt(t, i).text;
  const size_t nameAt = i++;
  if (log) {
    if (i < t.size()) throw OraError(933).at(static_cast<int>(t[i].pos));
    if (!cat.tableExists(name) || cat.viewExists(name)) throw OraError(942).at(static_cast<int>(tokenAt(t, nameAt).pos));
    return; // no log is kept
  }
  bool preserve = is(tokenAt(t, i), "PRESERVE") && is(tokenAt(t, i + 1), "TABLE");
  if (preserve) i += 2;
  if (i < t.size()) throw OraError(933).at(static_cast<int>(t[i].pos));
  if (cat.objectTypeOf(name, "MATERIALIZED VIEW").empty())
    throw OraError(12003, quoteIdent(cat.user()) + "." + quoteIdent(name)).at(static_cast<int>(tokenAt(t, nameAt).pos));
  if (!preserve) {
    // the table goes as DROP TABLE ... PURGE takes it: materialized views skip the recycle bin
    MviewWrites writes;
    Translation table = translate("DROP TABLE " + quoteIdent(name) + " PURGE", cat, false, false);
    tr.ddl = table.ddl;
    tr.beforeCommit = table.beforeCommit;
    tr.actions = table.actions;
  }
  tr.ddl.push_back("DELETE FROM \"TESSEL$MVIEWS\" WHERE NAME = " + quoteString(name));
  tr.ddl.push_back("DELETE FROM \"TESSEL$OBJECTS\" WHERE NAME = " + quoteString(name) + " AND TYPE = 'MATERIALIZED VIEW'");
}

} // namespace tx

namespace dict {

void fillMviews(const Source& src, Inserter& ins) {
  eachRow(src.db,
          "SELECT NAME, QUERY, BUILD, METHOD, MODE, REWRITE, REFRESHED, REFRESH_TYPE FROM \"TESSEL$MVIEWS\" ORDER BY NAME",
          [&](sqlite3_stmt* st) {
            std::string name = col(st, 0), query = col(st, 1), refreshed = col(st, 6), mode = col(st, 4);
            bool compiles = true;
            try {
              Catalog cat(src.db, src.owner, src.session);
              InnerQueries inner;
              translate(query, cat, false, false);
            } catch (const OraError&) {
              compiles = false;
            }
            std::string staleness = refreshed.empty() ? "UNUSABLE" : mode == "COMMIT" ? "FRESH" : "UNKNOWN";
            ins.text(src.owner).text(name).text(name).text(query).num(static_cast<int64_t>(query.size())).text("N")
                .text(col(st, 5)).text(mode).text(col(st, 3)).text(col(st, 2)).text("NO").text(col(st, 7))
                .textOrNull(refreshed).text(compiles ? staleness : "UNUSABLE")
                .text(compiles ? "VALID" : "COMPILATION_ERROR").row();
          },
          {}, true);
}

} // namespace dict
} // namespace ora
