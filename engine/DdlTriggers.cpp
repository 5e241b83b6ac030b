// ALTER TRIGGER and ALTER TABLE ... ALL TRIGGERS: a trigger is made again from its stored text,
// enabled or disabled; a disabled one keeps its definition but has no SQLite trigger.
#include "Dictionary.h"
#include "DictionaryImpl.h"
#include "OraError.h"
#include "PlsqlImpl.h"
#include "Session.h"
#include "TranslateImpl.h"

#include <algorithm>
#include <map>
#include <set>
#include <sqlite3.h>

namespace ora::tx {

namespace {

// CREATE OR REPLACE of the trigger as stored; `state` 0 keeps it enabled or disabled as it is.
void remake(const std::string& name, int state, Catalog& cat, Translation& out) {
  std::string description, body, table;
  int enabled = 1;
  dict::eachRow(cat.db(),
                "SELECT DESCRIPTION, BODY, COALESCE((SELECT ENABLED FROM \"TESSEL$TRIGGER_STATE\" s WHERE s.NAME = t.NAME), 1),"
                " TABLE_NAME FROM \"TESSEL$TRIGGERS\" t WHERE NAME = ?1",
                [&](sqlite3_stmt* st) {
                  description = dict::col(st, 0);
                  body = dict::col(st, 1);
                  enabled = sqlite3_column_int(st, 2);
                  table = dict::col(st, 3);
                }, name);
  if (description.empty()) throw OraError(4080, name);
  // the text names the table as it was called when the trigger was made; it may be renamed since
  if (!table.empty()) {
    auto t = tokenize(description);
    for (size_t i = 0; i + 1 < t.size(); ++i) {
      if (!(t[i].kind == Token::Ident && is(t[i], "ON"))) continue;
      size_t n = i + 1;
      if (n + 2 < t.size() && is(t[n + 1], ".")) n += 2;
      if ((t[n].kind == Token::Ident || t[n].kind == Token::QIdent) && !is(t[n], "NESTED") && t[n].text != table)
        description = description.substr(0, t[i + 1].pos) + quoteIdent(table) + description.substr(t[n].end);
      break;
    }
  }
  static const std::string head = "CREATE OR REPLACE TRIGGER ";
  createTrigger(head + description + body, head.size(), true, cat, out, state ? state : enabled ? 1 : 2);
}

// The table's triggers in the order they are made: one that others follow after them, so that
// it fires first.
std::vector<std::string> triggersOn(const std::string& table, Catalog& cat) {
  std::vector<std::string> names;
  dict::eachRow(cat.db(), "SELECT NAME FROM \"TESSEL$TRIGGERS\" WHERE TABLE_NAME = ?1 ORDER BY rowid",
                [&](sqlite3_stmt* st) { names.push_back(dict::col(st, 0)); }, table);
  std::map<std::string, std::string> follows;
  dict::eachRow(cat.db(), "SELECT NAME, FOLLOWS FROM \"TESSEL$TRIGGER_STATE\" WHERE FOLLOWS IS NOT NULL",
                [&](sqlite3_stmt* st) { follows[dict::col(st, 0)] = dict::col(st, 1); });
  auto depth = [&](const std::string& n) {
    int d = 0;
    for (auto it = follows.find(n); it != follows.end() && d < 50; it = follows.find(it->second)) ++d;
    return d;
  };
  std::stable_sort(names.begin(), names.end(),
                   [&](const std::string& a, const std::string& b) { return depth(a) > depth(b); });
  return names;
}

// [schema.]name at i; i is left past it.
std::string objectAt(const std::vector<Token>& t, size_t& i, Catalog& cat, int missing) {
  if (i >= t.size() || (t[i].kind != Token::Ident && t[i].kind != Token::QIdent)) throw OraError(missing);
  if (i + 2 < t.size() && is(t[i + 1], ".")) {
    if (t[i].text != cat.user()) throw OraError(missing == 903 ? 942 : 4080, t[i].text + "." + t[i + 2].text);
    i += 2;
  }
  return t[i++].text;
}

} // namespace

bool alterTrigger(const std::string& text, Catalog& cat, Translation& out) {
  std::vector<Token> t;
  try {
    t = tokenize(text);
  } catch (const OraError&) {
    return false;
  }
  while (!t.empty() && is(t.back(), ";")) t.pop_back();
  if (t.size() < 3 || !is(t[0], "ALTER")) return false;
  size_t i = 2;
  if (is(t[1], "TRIGGER")) {
    std::string name = objectAt(t, i, cat, 4080);
    if (i >= t.size()) throw OraError(922);
    int state = is(t[i], "ENABLE") ? 1 : is(t[i], "DISABLE") ? 2 : 0;
    if (!state && !is(t[i], "COMPILE")) throw OraError(922);
    ++i;
    if (!state) {
      // COMPILE [DEBUG] [REUSE SETTINGS]
      if (i < t.size() && is(t[i], "DEBUG")) ++i;
      if (i + 1 < t.size() && is(t[i], "REUSE") && is(t[i + 1], "SETTINGS")) i += 2;
    }
    if (i < t.size()) throw OraError(922);
    if (cat.objectTypeOf(name, "TRIGGER").empty()) throw OraError(4080, name);
    remake(name, state, cat, out);
    out.function = 60;
  } else if (is(t[1], "TABLE")) {
    std::string table = objectAt(t, i, cat, 903);
    if (!(i + 3 == t.size() && (is(t[i], "ENABLE") || is(t[i], "DISABLE")) && is(t[i + 1], "ALL") &&
          is(t[i + 2], "TRIGGERS")))
      return false;
    if (!cat.tableExists(table) || cat.viewExists(table)) throw OraError(942, table);
    for (const auto& n : triggersOn(table, cat)) remake(n, is(t[i], "ENABLE") ? 1 : 2, cat, out);
    out.function = 15;
  } else if (is(t[1], "PROCEDURE") || is(t[1], "FUNCTION") || is(t[1], "PACKAGE") || is(t[1], "TYPE")) {
    // COMPILE [DEBUG] [the part] [REUSE SETTINGS]: a unit is compiled
    // whenever it is used or listed, so this only names one that is there
    std::string kind = t[1].text, name = objectAt(t, i, cat, 4043);
    if (i >= t.size() || !is(t[i], "COMPILE")) {
      if (kind == "TYPE") return false;
      throw OraError(922);
    }
    ++i;
    if (i < t.size() && is(t[i], "DEBUG")) ++i;
    bool body = false;
    if (i < t.size() && (is(t[i], "BODY") || is(t[i], "SPECIFICATION") || (kind == "PACKAGE" && is(t[i], "PACKAGE")))) {
      body = is(t[i], "BODY");
      ++i;
    }
    if (i + 1 < t.size() && is(t[i], "REUSE") && is(t[i + 1], "SETTINGS")) i += 2;
    if (i < t.size()) throw OraError(922);
    if (cat.objectTypeOf(name, body ? kind + " BODY" : kind).empty()) throw OraError(4043, name);
    out.function = kind == "PROCEDURE" ? 25 : kind == "FUNCTION" ? 92 : kind == "TYPE" ? 80 : body ? 98 : 95;
  } else {
    return false;
  }
  out.kind = StmtKind::Ddl;
  out.verb = "ALTER";
  return true;
}

void orderTriggers(const std::string& follows, Catalog& cat, Translation& out) {
  std::string f = follows;
  for (int depth = 0; !f.empty() && depth < 50; ++depth) {
    for (const auto& trig : cat.sqliteTriggers(f))
      dict::eachRow(cat.db(), "SELECT sql FROM sqlite_schema WHERE type = 'trigger' AND name = ?1", [&](sqlite3_stmt* st) {
        out.ddl.push_back("DROP TRIGGER " + quoteIdent(trig));
        out.ddl.push_back(dict::col(st, 0));
      }, trig);
    std::string next;
    dict::eachRow(cat.db(), "SELECT FOLLOWS FROM \"TESSEL$TRIGGER_STATE\" WHERE NAME = ?1 AND ENABLED = 1",
                  [&](sqlite3_stmt* st) { next = dict::col(st, 0); }, f);
    if (next == follows) break;
    f = next;
  }
}

} // namespace ora::tx

namespace ora::tx {

namespace {

bool known(Catalog& cat, const std::string& name) {
  return name == "DUAL" || cat.tableExists(name) || !cat.synonymTarget(name).empty() ||
         !dictionaryView(name, cat.user()).empty();
}

} // namespace

bool readOnlyView(const std::string& view, Catalog& cat) {
  bool found = false;
  dict::eachRow(cat.db(), "SELECT 1 FROM \"TESSEL$CONSTRAINTS\" WHERE TABLE_NAME = ?1 AND TYPE = 'O'",
                [&](sqlite3_stmt*) { found = true; }, view);
  return found;
}

std::string missingName(const std::string& body, Catalog& cat, size_t* where, size_t* statement) {
  std::vector<pl::Tok> t;
  try {
    t = pl::tokens(body);
  } catch (const OraError&) {
    return {};
  }
  auto word = [&](size_t k, const char* w) { return k < t.size() && t[k].kind == pl::T::Word && t[k].text == w; };
  auto op = [&](size_t k, const char* o) { return k < t.size() && t[k].kind == pl::T::Op && t[k].text == o; };
  auto name = [&](size_t k) { return k < t.size() && (t[k].kind == pl::T::Word || t[k].kind == pl::T::QWord); };
  // the names a WITH clause gives its queries: "name AS (" and "name (columns) AS ("
  std::set<std::string> named;
  for (size_t k = 0; k + 2 < t.size(); ++k) {
    if (!name(k)) continue;
    size_t a = k + 1;
    if (op(a, "(")) {
      while (a < t.size() && !op(a, ")")) ++a;
      ++a;
    }
    if (word(a, "AS") && op(a + 1, "(")) named.insert(t[k].text);
  }
  size_t opened = 0; // where the SQL statement being read began
  bool open = false;
  auto missing = [&](const std::string& what, size_t k) {
    if (where) *where = t[k].pos;
    if (statement) *statement = open ? opened : t[k].pos;
    return what;
  };
  // [schema.]table at k: empty when it is another schema's, a function's call or no name
  auto tableAt = [&](size_t& k, bool listed) -> std::string {
    if (!name(k) || ((word(k, "TABLE") || word(k, "THE")) && op(k + 1, "("))) return {}; // a collection's elements
    if (op(k + 1, ".")) {
      if (t[k].text != cat.user() || !name(k + 2)) return {};
      k += 2;
    }
    if ((op(k + 1, "(") && !listed) || op(k + 1, "@")) return {};
    return t[k].text;
  };
  std::vector<bool> query{false}; // for each open parenthesis: whether a SELECT opened in it
  for (size_t k = 0; k < t.size(); ++k) {
    if (!open && (word(k, "SELECT") || word(k, "INSERT") || word(k, "UPDATE") || word(k, "DELETE") || word(k, "MERGE") ||
                  word(k, "WITH"))) {
      open = true;
      opened = t[k].pos;
    }
    if (op(k, "(")) { query.push_back(false); continue; }
    if (op(k, ")")) { if (query.size() > 1) query.pop_back(); continue; }
    if (op(k, ";")) { query.back() = false; open = false; continue; }
    if (word(k, "SELECT")) { query.back() = true; continue; }
    bool from = word(k, "FROM") && query.back() && !word(k - 1, "DELETE");
    bool join = word(k, "JOIN") && query.back();
    if (from || join) {
      size_t at = k + 1;
      std::string table = tableAt(at, false);
      if (!table.empty() && !named.count(table) && !known(cat, table)) return missing(table, at);
      continue;
    }
    bool insert = word(k, "INSERT") && word(k + 1, "INTO");
    // MERGE's WHEN MATCHED THEN UPDATE SET ... DELETE WHERE ... names no table of its own
    bool update = word(k, "UPDATE") && !op(k - 1, "(") && !(k > 0 && t[k - 1].kind == pl::T::Word && t[k - 1].text == "FOR") &&
                  !word(k + 1, "SET");
    bool remove = word(k, "DELETE") && !op(k + 1, "(") && !word(k + 1, "WHERE");
    if (!insert && !update && !remove) continue;
    size_t at = k + (insert || (remove && word(k + 1, "FROM")) ? 2 : 1);
    std::string table = tableAt(at, insert);
    if (table.empty()) continue;
    if (!known(cat, table)) return missing(table, at);
    if (!cat.tableExists(table)) continue;
    std::set<std::string> cols;
    for (const auto& c : cat.columns(table)) cols.insert(c.name);
    ++at;
    if (insert && op(at, "(")) {
      // INSERT INTO t (a, b): each a column of t
      for (size_t c = at + 1; c < t.size() && !op(c, ")"); ++c)
        if (name(c) && !cols.count(t[c].text)) return missing(table + "." + t[c].text, c);
    } else if (update) {
      if (name(at) && !word(at, "SET")) ++at;
      if (!word(at, "SET") || (word(at + 1, "ROW") && op(at + 2, "="))) continue; // SET ROW = record
      // SET a = ..., b = ...: the names before "=" at the clause's own level
      int depth = 0;
      bool start = true;
      for (size_t c = at + 1; c < t.size() && !op(c, ";"); ++c) {
        if (op(c, "(")) { ++depth; continue; }
        if (op(c, ")")) { --depth; continue; }
        if (depth == 0 && (word(c, "WHERE") || word(c, "RETURNING") || word(c, "RETURN"))) break;
        if (depth == 0 && op(c, ",")) { start = true; continue; }
        if (depth == 0 && op(c, "=")) { start = false; continue; }
        if (start && depth <= 1 && name(c) && !op(c + 1, ".") && !op(c - 1, ".") && !cols.count(t[c].text))
          return missing(table + "." + t[c].text, c);
      }
    }
  }
  return {};
}

std::vector<std::string> triggerRecordsDropped(const std::string& table) {
  std::string names = "(SELECT NAME FROM \"TESSEL$TRIGGERS\" WHERE TABLE_NAME = " + quoteString(table) + ")";
  return {"DELETE FROM \"TESSEL$OBJECTS\" WHERE TYPE = 'TRIGGER' AND NAME IN " + names,
          "DELETE FROM \"TESSEL$TRIGGER_STATE\" WHERE NAME IN " + names,
          "DELETE FROM \"TESSEL$TRIGGERS\" WHERE TABLE_NAME = " + quoteString(table)};
}

// A trigger's row holds the table's columns as they were when it was made, so a change of them
// compiles its triggers again, as Oracle does on their next use; one that no longer compiles is
// kept with its errors.
void remakeTriggersOn(Session& s, const std::string& table) {
  Catalog cat(s.db, s.user, &s);
  for (const auto& name : triggersOn(table, cat)) {
    Translation out;
    try {
      remake(name, 0, cat, out);
    } catch (const OraError&) {
      continue;
    }
    for (const auto& sql : out.ddl)
      if (int rc = execOne(s.db, sql); rc != SQLITE_OK) throw fromSqlite(rc, sqlite3_errmsg(s.db), "ALTER");
  }
}

} // namespace ora::tx
