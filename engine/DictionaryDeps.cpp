// USER_DEPENDENCIES: what views, triggers and synonyms of a schema refer to.
#include "Dictionary.h"
#include "DictionaryImpl.h"
#include "OraError.h"
#include "PlsqlImpl.h"
#include "SqlLexer.h"

#include <map>
#include <set>
#include <sqlite3.h>

namespace ora::dict {

// The names a query reads in its FROM clauses, as (owner or "", name) pairs, in order of
// appearance. A name is one that starts a FROM item: after FROM, JOIN or a FROM list's comma.
std::vector<std::pair<std::string, std::string>> namesRead(const std::string& text) {
  std::vector<std::pair<std::string, std::string>> out;
  std::vector<sql::Token> t;
  try {
    t = sql::lex(text);
  } catch (const OraError&) {
    return out;
  }
  static const std::set<std::string> ends = {"WHERE",  "GROUP", "ORDER",  "HAVING", "CONNECT", "START", "UNION",
                                             "INTERSECT", "MINUS", "ON", "USING", "WITH", "MODEL", "PIVOT", "UNPIVOT"};
  std::vector<bool> inFrom(1, false); // by parenthesis depth
  auto word = [&](size_t i, const char* w) { return i < t.size() && t[i].kind == sql::Tok::Ident && t[i].text == w; };
  auto op = [&](size_t i, const char* o) { return i < t.size() && t[i].kind == sql::Tok::Op && t[i].text == o; };
  auto name = [&](size_t i) { return i < t.size() && (t[i].kind == sql::Tok::Ident || t[i].kind == sql::Tok::QIdent); };
  for (size_t i = 0; i < t.size(); ++i) {
    if (op(i, "(")) {
      inFrom.push_back(false);
      continue;
    }
    if (op(i, ")")) {
      if (inFrom.size() > 1) inFrom.pop_back();
      continue;
    }
    if (word(i, "FROM")) inFrom.back() = true;
    else if (t[i].kind == sql::Tok::Ident && ends.count(t[i].text)) inFrom.back() = false;
    bool starts = word(i, "FROM") || word(i, "JOIN") || (op(i, ",") && inFrom.back());
    if (!starts || !inFrom.back() || !name(i + 1) || op(i + 2, "(")) continue;
    if (op(i + 2, ".") && name(i + 3)) out.emplace_back(t[i + 1].text, t[i + 3].text);
    else out.emplace_back(std::string(), t[i + 1].text);
  }
  return out;
}

namespace {

// What PL/SQL source names of the schema: the tables, views, sequences and synonyms its SQL reads
// or writes (and its %TYPE and %ROWTYPE anchors name), and the procedures, functions, packages
// and types it calls or declares with. `objects` maps names to their object types.
std::vector<std::pair<std::string, std::string>> plsqlReferences(const std::string& text, const std::string& self,
                                                                 const std::map<std::string, std::string>& objects) {
  std::vector<std::pair<std::string, std::string>> out;
  std::vector<pl::Tok> t;
  try {
    t = pl::tokens(text);
  } catch (const OraError&) {
    return out;
  }
  auto word = [&](size_t i, const char* w) { return i < t.size() && t[i].kind == pl::T::Word && t[i].text == w; };
  auto op = [&](size_t i, const char* o) { return i < t.size() && t[i].kind == pl::T::Op && t[i].text == o; };
  for (size_t i = 0; i < t.size(); ++i) {
    if (t[i].kind != pl::T::Word && t[i].kind != pl::T::QWord) continue;
    if (i > 0 && op(i - 1, ".")) continue;
    auto it = objects.find(t[i].text);
    if (it == objects.end() || t[i].text == self) continue;
    const std::string& type = it->second;
    bool data = type == "TABLE" || type == "VIEW" || type == "SYNONYM" || type == "SEQUENCE";
    bool named = false;
    if (data) {
      // a FROM item, a statement's target, or an anchor
      named = i > 0 && (word(i - 1, "FROM") || word(i - 1, "JOIN") || word(i - 1, "INTO") || word(i - 1, "UPDATE") ||
                        word(i - 1, "TABLE") || op(i - 1, ","));
      named = named || op(i + 1, "%") || (op(i + 1, ".") && op(i + 3, "%"));
      if (type == "SEQUENCE") named = op(i + 1, ".") && (word(i + 2, "NEXTVAL") || word(i + 2, "CURRVAL"));
    } else {
      named = true; // a call, a package's member, or a type's name
    }
    if (named) out.emplace_back(t[i].text, type);
  }
  return out;
}

} // namespace

// Oracle lists each object a view, trigger, synonym or PL/SQL unit names, HARD for all of them.
// Names of the dictionary are SYS's views; every PL/SQL unit depends on SYS's STANDARD package.
void fillDependencies(const Source& src, Inserter& ins) {
  sqlite3* db = src.db;
  std::map<std::string, std::string> types; // name -> object type, tables and views first
  eachRow(db, "SELECT NAME, TYPE FROM \"TESSEL$OBJECTS\" WHERE TYPE IN ('TABLE', 'VIEW', 'SEQUENCE', 'SYNONYM')"
              " ORDER BY TYPE DESC",
          [&](sqlite3_stmt* st) { types.emplace(col(st, 0), col(st, 1)); });
  struct Dep {
    std::string owner, name, type;
  };
  std::map<std::pair<std::string, std::string>, std::vector<Dep>> deps; // (name, type) -> referenced
  auto add = [&](const std::string& name, const std::string& type, const Dep& d) {
    auto& list = deps[{name, type}];
    for (auto& have : list)
      if (have.owner == d.owner && have.name == d.name && have.type == d.type) return;
    list.push_back(d);
  };
  eachRow(db, "SELECT NAME, TEXT FROM \"TESSEL$VIEWS\"", [&](sqlite3_stmt* st) {
    std::string view = col(st, 0);
    for (auto& [owner, name] : namesRead(col(st, 1))) {
      if (owner.empty() || owner == src.owner) {
        auto it = types.find(name);
        if (it != types.end()) {
          add(view, "VIEW", {src.owner, name, it->second});
          continue;
        }
      }
      if ((owner.empty() || owner == "SYS") && !dictionaryView(name, src.owner).empty())
        add(view, "VIEW", {"SYS", name, "VIEW"});
    }
  });
  eachRow(db, "SELECT NAME, TABLE_NAME FROM \"TESSEL$TRIGGERS\" WHERE TABLE_NAME IS NOT NULL", [&](sqlite3_stmt* st) {
    std::string table = col(st, 1);
    auto it = types.find(table);
    if (it != types.end()) add(col(st, 0), "TRIGGER", {src.owner, table, it->second});
  });
  eachRow(db, "SELECT NAME, TABLE_OWNER, TABLE_NAME FROM \"TESSEL$SYNONYMS\" WHERE NAME NOT IN"
              " (SELECT NAME FROM \"TESSEL$PUBLIC\")",
          [&](sqlite3_stmt* st) {
            std::string owner = col(st, 1), table = col(st, 2);
            auto it = owner == src.owner ? types.find(table) : types.end();
            if (it != types.end()) add(col(st, 0), "SYNONYM", {owner, table, it->second});
          },
          {}, true);
  // stored PL/SQL: a body's own package or type, STANDARD, and what its source names
  std::map<std::string, std::string> objects = types;
  eachRow(db, "SELECT NAME, TYPE FROM \"TESSEL$OBJECTS\" WHERE TYPE IN ('PROCEDURE', 'FUNCTION', 'PACKAGE', 'TYPE')",
          [&](sqlite3_stmt* st) { objects.emplace(col(st, 0), col(st, 1)); });
  auto unit = [&](const std::string& name, const std::string& type, const std::string& text) {
    if (type == "PACKAGE BODY" || type == "TYPE BODY") add(name, type, {src.owner, name, type.substr(0, type.size() - 5)});
    add(name, type, {"SYS", "STANDARD", "PACKAGE"});
    for (auto& [ref, refType] : plsqlReferences(text, name, objects)) add(name, type, {src.owner, ref, refType});
  };
  eachRow(db,
          "SELECT NAME, TYPE, TEXT FROM \"TESSEL$SOURCE\" WHERE TYPE IN ('PROCEDURE', 'FUNCTION', 'PACKAGE',"
          " 'PACKAGE BODY', 'TYPE', 'TYPE BODY')",
          [&](sqlite3_stmt* st) { unit(col(st, 0), col(st, 1), col(st, 2)); });
  eachRow(db, "SELECT NAME, BODY FROM \"TESSEL$TRIGGERS\" WHERE TABLE_NAME IS NOT NULL",
          [&](sqlite3_stmt* st) { unit(col(st, 0), "TRIGGER", col(st, 1)); });
  int64_t schema = 0; // the user's number, as USER_USERS shows it
  eachRow(db, "PRAGMA main.user_version", [&](sqlite3_stmt* st) { schema = sqlite3_column_int64(st, 0); });
  for (auto& [key, list] : deps)
    for (auto& d : list)
      ins.text(key.first).text(key.second).text(d.owner).text(d.name).text(d.type).null().num(schema).text("HARD").row();
}

} // namespace ora::dict
