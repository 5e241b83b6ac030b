#include "ConstraintErrors.h"
#include "Domains.h"

#include "CType.h"
#include "DictionaryImpl.h"
#include "SqlLexer.h"
#include "SqlText.h"

#include <algorithm>
#include <set>
#include <sqlite3.h>

namespace ora {

namespace {

std::string afterColon(const std::string& msg) {
  size_t p = msg.find("failed:");
  if (p == std::string::npos) return {};
  p += 7;
  while (p < msg.size() && msg[p] == ' ') ++p;
  return msg.substr(p);
}

std::string collapse(const std::string& s) {
  std::string out;
  for (char ch : s)
    if (ch != ' ' && ch != '\t' && ch != '\n' && ch != '"') out += static_cast<char>(ora::upperC(static_cast<unsigned char>(ch)));
  return out;
}

// "T.A, T.B" -> table T, columns A, B
void splitColumns(const std::string& list, std::string& table, std::vector<std::string>& cols) {
  size_t b = 0;
  while (b < list.size()) {
    size_t e = list.find(", ", b);
    std::string part = list.substr(b, e == std::string::npos ? std::string::npos : e - b);
    size_t dot = part.rfind('.');
    if (dot != std::string::npos) {
      table = part.substr(0, dot);
      cols.push_back(part.substr(dot + 1));
    } else {
      cols.push_back(part);
    }
    if (e == std::string::npos) break;
    b = e + 2;
  }
}

// The unique index a CREATE UNIQUE INDEX made on exactly these columns.
std::string uniqueIndex(sqlite3* db, const std::string& table, std::vector<std::string> cols) {
  std::sort(cols.begin(), cols.end());
  std::vector<std::string> names;
  dict::eachRow(db, "SELECT name FROM pragma_index_list(?1) WHERE \"unique\" = 1 AND origin = 'c'",
                [&](sqlite3_stmt* s) { names.push_back(dict::col(s, 0)); }, table, true);
  for (auto& n : names) {
    std::vector<std::string> have;
    dict::eachRow(db, "SELECT name FROM pragma_index_info(?1)",
                  [&](sqlite3_stmt* s) { have.push_back(dict::col(s, 0)); }, n, true);
    std::sort(have.begin(), have.end());
    if (have == cols) return n;
  }
  return {};
}

struct Reference {
  dict::Constraint c;
  std::string child;
};

// Foreign keys that a change of `table` can break: its own (as child) and those of the tables
// that refer to it (as parent).
void references(sqlite3* db, const std::string& table, std::vector<Reference>& asChild,
                std::vector<Reference>& asParent) {
  for (const auto& t : dict::tablesOf(db, "table"))
    for (auto& c : dict::tableConstraints(db, t)) {
      if (c.type != "R") continue;
      if (t == table) asChild.push_back({c, t});
      if (c.rTable == table) asParent.push_back({c, t});
    }
}

// Runs the failed statement again with the keys deferred and asks SQLite which key it broke.
// Returns the child table and the parent of the first broken key, or empty strings.
bool brokenKey(sqlite3* db, sqlite3_stmt* st, std::string& child, std::vector<std::string>& from,
               std::string& parent) {
  if (!st || sqlite3_exec(db, "SAVEPOINT \"FKCHECK$\"", nullptr, nullptr, nullptr) != SQLITE_OK)
    return false;
  sqlite3_exec(db, "PRAGMA defer_foreign_keys = ON", nullptr, nullptr, nullptr);
  sqlite3_reset(st);
  int rc;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {}
  sqlite3_reset(st);
  bool found = false;
  if (rc == SQLITE_DONE) {
    sqlite3_stmt* q = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA foreign_key_check", -1, &q, nullptr) == SQLITE_OK &&
        sqlite3_step(q) == SQLITE_ROW) {
      child = dict::col(q, 0);
      parent = dict::col(q, 2);
      int fkid = sqlite3_column_int(q, 3);
      dict::eachRow(db, "SELECT \"from\" FROM pragma_foreign_key_list(?1) WHERE id = " + std::to_string(fkid) + " ORDER BY seq",
                    [&](sqlite3_stmt* s) { from.push_back(dict::col(s, 0)); }, child, true);
      found = true;
    }
    sqlite3_finalize(q);
  }
  sqlite3_exec(db, "ROLLBACK TO \"FKCHECK$\"", nullptr, nullptr, nullptr);
  sqlite3_exec(db, "RELEASE \"FKCHECK$\"", nullptr, nullptr, nullptr);
  sqlite3_exec(db, "PRAGMA defer_foreign_keys = OFF", nullptr, nullptr, nullptr);
  return found;
}

OraError foreignKeyError(sqlite3* db, const std::string& user, const Translation& t, sqlite3_stmt* st) {
  std::vector<Reference> asChild, asParent;
  if (!t.target.empty()) references(db, t.target, asChild, asParent);
  bool childSide = t.verb == "INSERT" || t.verb == "MERGE";
  bool parentSide = t.verb == "DELETE";
  if (t.verb == "UPDATE") {
    childSide = !asChild.empty();
    parentSide = !asParent.empty();
  }
  std::vector<Reference> cands;
  if (childSide) cands.insert(cands.end(), asChild.begin(), asChild.end());
  if (parentSide) cands.insert(cands.end(), asParent.begin(), asParent.end());
  int code = parentSide && !childSide ? 2292 : 2291;
  if (cands.size() > 1) {
    std::string child, parent;
    std::vector<std::string> from;
    if (brokenKey(db, st, child, from, parent)) {
      code = child == t.target && (childSide || parent != t.target) ? 2291 : 2292;
      for (auto& r : cands)
        if (r.child == child && r.c.rTable == parent && r.c.columns == from) return OraError(code, user + "." + r.c.name);
    }
  }
  if (cands.empty()) return OraError(code);
  return OraError(code, user + "." + cands.front().c.name);
}

} // namespace

OraError constraintError(sqlite3* db, const std::string& user, const Translation& t,
                         const std::string& msg, sqlite3_stmt* st) {
  if (msg.rfind("ORA-", 0) == 0) return fromSqlite(SQLITE_CONSTRAINT, msg, t.verb);
  auto has = [&](const char* s) { return msg.find(s) != std::string::npos; };
  try {
    if (has("NOT NULL constraint failed")) {
      std::string table;
      std::vector<std::string> cols;
      splitColumns(afterColon(msg), table, cols);
      if (table.empty() && !cols.empty()) table = t.target;
      std::string path = "\"" + user + "\".\"" + table + "\".\"" + (cols.empty() ? "" : cols[0]) + "\"";
      // a DELETE makes NULLs only by ON DELETE SET NULL: an update of the child rows
      return OraError(t.verb == "UPDATE" || t.verb == "DELETE" ? 1407 : 1400, path);
    }
    if (has("UNIQUE constraint failed") || has("PRIMARY KEY constraint failed")) {
      std::string table;
      std::vector<std::string> cols;
      splitColumns(afterColon(msg), table, cols);
      if (table.empty()) table = t.target;
      for (auto& c : dict::tableConstraints(db, table))
        if ((c.type == "P" || c.type == "U") && c.columns == cols) return OraError(1, user + "." + c.name);
      std::string index = uniqueIndex(db, table, cols);
      if (!index.empty()) return OraError(1, user + "." + index);
      return OraError(1);
    }
    if (has("CHECK constraint failed")) {
      std::string what = afterColon(msg);
      // SQLite quotes the check's text with the comment that keeps it as written
      if (what.rfind("/*", 0) == 0 && what.find("*/") != std::string::npos) what = what.substr(what.find("*/") + 2);
      std::vector<std::string> tables;
      if (!t.target.empty()) tables.push_back(t.target);
      for (auto& n : dict::tablesOf(db, "table"))
        if (n != t.target) tables.push_back(n);
      // SQLite names a check by its name, its text, or (declared on a column) the column
      for (int pass = 0; pass < 3; ++pass)
        for (auto& table : tables)
          for (auto& c : dict::tableConstraints(db, table)) {
            if (c.type != "C" || c.condition.find(" IS NOT NULL") != std::string::npos) continue;
            bool hit = pass == 0   ? c.name == what
                       : pass == 1 ? collapse(c.expression) == collapse(what)
                                   : table == t.target && std::find(c.columns.begin(), c.columns.end(), what) != c.columns.end();
            if (!hit) continue;
            if (std::string inherited; domainCheckBroken(db, user, table, c.name, c.condition, inherited))
              return OraError(11534, inherited);
            return OraError(2290, user + "." + c.name);
          }
      return OraError(2290);
    }
    if (has("FOREIGN KEY constraint failed")) return foreignKeyError(db, user, t, st);
  } catch (const OraError&) {
    // the dictionary could not be read: the plain message still names the error
  }
  return fromSqlite(SQLITE_CONSTRAINT, msg, t.verb);
}

namespace {

// The last part of the first "A"."B"."C" in `s`, without its quotes.
std::string lastQuotedPart(const std::string& s) {
  std::string last;
  for (size_t q = s.find('"'); q != std::string::npos;) {
    size_t e = s.find('"', q + 1);
    if (e == std::string::npos) break;
    last = s.substr(q + 1, e - q - 1);
    q = e + 2 < s.size() && s[e + 1] == '.' && s[e + 2] == '"' ? e + 2 : std::string::npos;
  }
  return last;
}

} // namespace

void locateInsertValue(OraError& e, const std::string& text, const std::string& refused, Catalog& cat,
                       const std::string& table) {
  static const std::set<int> valueCodes = {1400, 1438, 1722, 12899, 1830, 1839, 1840, 1841, 1843, 1847, 1858, 1861};
  if (!valueCodes.count(e.code)) return;
  std::string column = lastQuotedPart(refused.empty() && (e.code == 1400 || e.code == 12899) ? e.text : refused);
  if (column.empty()) return;
  std::vector<sql::Token> t;
  try {
    t = sql::lex(text);
  } catch (const OraError&) {
    return;
  }
  auto word = [&](size_t k, const char* w) { return k < t.size() && t[k].kind == sql::Tok::Ident && t[k].text == w; };
  auto op = [&](size_t k, const char* o) { return k < t.size() && t[k].kind == sql::Tok::Op && t[k].text == o; };
  auto name = [&](size_t k) { return k < t.size() && (t[k].kind == sql::Tok::Ident || t[k].kind == sql::Tok::QIdent); };
  if (!word(0, "INSERT") || !word(1, "INTO") || !name(2)) return;
  size_t k = op(3, ".") && name(4) ? 5 : 3;
  if (name(k) && !word(k, "VALUES")) ++k; // an alias
  std::vector<std::string> listed;
  if (op(k, "(")) {
    for (++k; name(k); k += 2) {
      listed.push_back(t[k].text);
      if (!op(k + 1, ",")) break;
    }
    if (!op(k + 1, ")")) return;
    k += 2;
  } else {
    for (const ColumnInfo& c : cat.columns(table))
      if (!c.invisible) listed.push_back(c.name);
  }
  auto at = std::find(listed.begin(), listed.end(), column);
  if (at == listed.end() || !word(k, "VALUES") || !op(k + 1, "(")) return;
  size_t want = static_cast<size_t>(at - listed.begin()), index = 0;
  int depth = 0;
  for (size_t i = k + 2; i < t.size() && t[i].kind != sql::Tok::End; ++i) {
    if (depth == 0 && index == want) {
      e.pos = static_cast<int>(t[i].pos);
      return;
    }
    if (op(i, "(")) ++depth;
    else if (op(i, ")") && depth-- == 0) return;
    else if (depth == 0 && op(i, ",")) ++index;
  }
}

} // namespace ora
