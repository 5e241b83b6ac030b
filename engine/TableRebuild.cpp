// Rebuilding a table under a new definition; reading a table's stored definition.
#include "TableRebuild.h"
#include "UniqueNulls.h"
#include "Dictionary.h"
#include "DictionaryImpl.h"
#include "OraError.h"
#include "Session.h"
#include "TranslateImpl.h"

#include <algorithm>
#include <set>
#include <sqlite3.h>

namespace ora::tx::rb {

std::string storedSql(sqlite3* db, const char* type, const std::string& name) {
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "SELECT sql FROM sqlite_schema WHERE type = ?1 AND name = ?2", -1, &st, nullptr);
  sqlite3_bind_text(st, 1, type, -1, SQLITE_STATIC);
  sqlite3_bind_text(st, 2, name.c_str(), -1, SQLITE_TRANSIENT);
  std::string sql;
  if (sqlite3_step(st) == SQLITE_ROW && sqlite3_column_text(st, 0))
    sql = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
  sqlite3_finalize(st);
  return sql;
}

std::vector<DefPiece> tablePieces(const std::string& sql) {
  auto t = tokenize(sql);
  std::vector<DefPiece> out;
  size_t open = 0;
  while (open < t.size() && !is(t[open], "(")) ++open;
  size_t b = open + 1;
  for (size_t k = b; k < t.size(); ++k) {
    bool end = t[k].depth == 0 && is(t[k], ")");
    if (!end && !(t[k].depth == 1 && is(t[k], ","))) continue;
    DefPiece p;
    p.text = sql.substr(t[b].pos, t[k - 1].end - t[b].pos);
    if (t[b].kind == Token::QIdent) p.column = t[b].text;
    out.push_back(p);
    b = k + 1;
    if (end) break;
  }
  return out;
}

// Scalar of a query with one text parameter; -1 on failure.
int64_t scalar(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* st = nullptr;
  int64_t v = -1;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
    v = sqlite3_column_int64(st, 0);
  sqlite3_finalize(st);
  return v;
}

// Removes tokens [b, e) of a piece's token list from its text.
std::string joinExcept(const std::string& text, const std::vector<Token>& t, const std::vector<char>& drop) {
  std::string out;
  for (size_t i = 0; i < t.size(); ++i) {
    if (drop[i]) continue;
    if (!out.empty()) out += ' ';
    out += text.substr(t[i].pos, t[i].end - t[i].pos);
  }
  return out;
}

bool constraintStart(const Token& k) {
  static const std::set<std::string> w = {"CONSTRAINT", "NOT", "NULL", "PRIMARY", "UNIQUE", "REFERENCES",
                                          "CHECK", "DEFAULT", "COLLATE"};
  return k.kind == Token::Ident && w.count(k.text);
}

// Takes a constraint the engine named (no CONSTRAINT clause in the definition) out of the
// pieces, by where the stored definition says it. Its text goes to `removed`, the column it
// belonged to (empty for a table constraint) to `column`.
bool cutNamedByEngine(sqlite3* db, const std::string& table, const std::string& cname, bool pk,
                      std::vector<DefPiece>& pieces, std::string& removed, std::string& column) {
  std::string sql = storedSql(db, "table", table);
  for (auto& c : dict::tableConstraints(db, table)) {
    if (!(pk ? c.type == "P" : c.name == cname) || c.to <= c.from || c.to > sql.size()) continue;
    removed = sql.substr(c.from, c.to - c.from);
    for (size_t k = 0; k < pieces.size(); ++k) {
      size_t at = pieces[k].text.find(removed);
      if (at == std::string::npos || (c.whole && pieces[k].text != removed)) continue;
      if (!c.whole && std::find(c.columns.begin(), c.columns.end(), pieces[k].column) == c.columns.end()) continue;
      column = pieces[k].column;
      if (c.whole) pieces.erase(pieces.begin() + static_cast<long>(k));
      else pieces[k].text.erase(at, removed.size());
      return true;
    }
  }
  return false;
}

bool disabledConstraint(sqlite3* db, const std::string& table, const std::string& name) {
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "SELECT 1 FROM \"TESSEL$DISABLED\" WHERE NAME = ?1 AND TABLE_NAME = ?2", -1, &st, nullptr);
  sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(st, 2, table.c_str(), -1, SQLITE_TRANSIENT);
  bool found = sqlite3_step(st) == SQLITE_ROW;
  sqlite3_finalize(st);
  return found;
}

bool enabledKeyFor(sqlite3* db, const std::string& parent, const std::vector<std::string>& columns) {
  for (auto& c : recordedConstraints(db, parent)) {
    bool match = columns.empty() ? c.type == "P"
                                 : (c.type == "P" || c.type == "U") &&
                                       std::is_permutation(columns.begin(), columns.end(), c.columns.begin(), c.columns.end());
    if (match && !disabledConstraint(db, parent, c.name)) return true;
  }
  return false;
}

bool constraintNameTaken(sqlite3* db, const std::string& name) {
  for (auto& table : dict::tablesOf(db, "table"))
    for (auto& c : dict::tableConstraints(db, table))
      if (c.name == name) return true;
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "SELECT 1 FROM \"TESSEL$DISABLED\" WHERE NAME = ?1", -1, &st, nullptr);
  sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
  bool found = sqlite3_step(st) == SQLITE_ROW;
  sqlite3_finalize(st);
  return found;
}


// The condition of the CHECK in a constraint's definition; empty when it has none.
std::string checkCondition(const std::string& def) {
  auto t = tokenize(def);
  for (size_t k = 0; k + 1 < t.size(); ++k) {
    if (!is(t[k], "CHECK") || !is(t[k + 1], "(")) continue;
    for (size_t e = k + 2; e < t.size(); ++e)
      if (is(t[e], ")") && t[e].depth == t[k + 1].depth)
        return e > k + 2 ? def.substr(t[k + 2].pos, t[e - 1].end - t[k + 2].pos) : std::string();
  }
  return {};
}

// Rebuilds a table under a new definition, keeping its rows (and their ROWIDs), indexes and
// triggers; foreign keys are checked once at the end.
void rebuildTable(Session& s, const std::string& table, const std::vector<DefPiece>& pieces,
                  const std::vector<std::string>& keep, const std::vector<std::string>& after,
                  const Added& added) {
  auto run = [&](const std::string& sql) {
    if (int rc = execOne(s.db, sql); rc != SQLITE_OK) {
      // rows that break the constraint being added: Oracle's "cannot validate"
      if ((rc & 0xff) == SQLITE_CONSTRAINT && !added.type.empty()) {
        std::string msg = sqlite3_errmsg(s.db);
        if (msg.find("CHECK") != std::string::npos && added.type == "C") throw OraError(2293, added.name);
        if (msg.find("NOT NULL") != std::string::npos && added.type == "C") throw OraError(2296, added.name);
        if (msg.find("UNIQUE") != std::string::npos || msg.find("PRIMARY KEY") != std::string::npos) {
          if (added.type == "P") throw OraError(2437, added.name);
          if (added.type == "U") throw OraError(2299, added.name);
        }
      }
      throw fromSqlite(rc, sqlite3_errmsg(s.db), "ALTER");
    }
  };
  std::string def;
  for (auto& p : pieces) def += (def.empty() ? "" : ", ") + p.text;
  std::string cols, values;
  for (auto& c : keep) {
    cols += ", " + quoteIdent(c);
    auto x = added.convert.find(c);
    values += ", " + (x == added.convert.end() ? quoteIdent(c) : x->second);
  }
  for (auto& [c, value] : added.fill) {
    cols += ", " + quoteIdent(c);
    values += ", " + value;
  }
  execOne(s.db, "PRAGMA foreign_keys=OFF");
  try {
    run("BEGIN IMMEDIATE");
    int64_t orphans = scalar(s.db, "SELECT count(*) FROM pragma_foreign_key_check");
    run("PRAGMA legacy_alter_table=ON");
    std::vector<std::pair<std::string, std::string>> saved; // type, sql
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(s.db, "SELECT type, sql, name FROM sqlite_schema WHERE tbl_name = ?1 AND sql IS NOT NULL"
                             " AND type IN ('index', 'trigger')", -1, &st, nullptr);
    sqlite3_bind_text(st, 1, table.c_str(), -1, SQLITE_TRANSIENT);
    while (sqlite3_step(st) == SQLITE_ROW)
      if (!uniqueGuardName(reinterpret_cast<const char*>(sqlite3_column_text(st, 2))))
        saved.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)),
                         reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
    sqlite3_finalize(st);
    // an empty private copy of a temporary table is made again in the new shape when next used
    run("DROP TABLE IF EXISTS temp." + quoteIdent(table));
    run("CREATE TABLE \"TESSEL$REBUILD\" (" + def + ")");
    // the rows stay as they are: a check let them in, or NOVALIDATE let them stay; only a check
    // being added or enabled looks at them
    run("PRAGMA ignore_check_constraints=ON");
    run("INSERT INTO \"TESSEL$REBUILD\" (rowid" + cols + ") SELECT rowid" + values + " FROM main." + quoteIdent(table));
    run("PRAGMA ignore_check_constraints=OFF");
    if (!added.check.empty() && !added.novalidate &&
        scalar(s.db, "SELECT EXISTS (SELECT 1 FROM \"TESSEL$REBUILD\" WHERE NOT (" + added.check + "))") != 0)
      throw OraError(2293, added.name);
    run("DROP TABLE main." + quoteIdent(table));
    run("ALTER TABLE \"TESSEL$REBUILD\" RENAME TO " + quoteIdent(table));
    for (auto& [type, sql] : saved) {
      // an index on a dropped column goes with it, as in Oracle
      if (int rc = execOne(s.db, sql); rc != SQLITE_OK && type != "index") throw fromSqlite(rc, sqlite3_errmsg(s.db), "ALTER");
    }
    for (auto& sql : after) run(sql);
    remakeTriggersOn(s, table);
    syncUniqueGuards(s.db, s.user, s.uniqueGuards);
    run("DELETE FROM \"TESSEL$OBJECTS\" WHERE TYPE = 'INDEX' AND NAME NOT IN"
        " (SELECT name FROM sqlite_schema WHERE type = 'index')");
    // rows a foreign key added NOVALIDATE let stay are no new breach
    if (!(added.novalidate && added.type == "R") && scalar(s.db, "SELECT count(*) FROM pragma_foreign_key_check") > orphans)
      throw OraError(2298, added.type == "R" ? added.name : std::string());
    run("PRAGMA legacy_alter_table=OFF");
    run("COMMIT");
  } catch (...) {
    execOne(s.db, "ROLLBACK");
    execOne(s.db, "PRAGMA ignore_check_constraints=OFF");
    execOne(s.db, "PRAGMA legacy_alter_table=OFF");
    execOne(s.db, "PRAGMA foreign_keys=ON");
    throw;
  }
  execOne(s.db, "PRAGMA foreign_keys=ON");
}

} // namespace ora::tx::rb
