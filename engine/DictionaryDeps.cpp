// USER_DEPENDENCIES: what views, triggers and synonyms of a schema refer to.
#include "Dictionary.h"
#include "DictionaryImpl.h"
#include "OraError.h"
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

// Oracle lists each object a view, trigger or synonym names, HARD for all of them. Names of the
// dictionary are SYS's views.
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
  int64_t schema = 0; // the user's number, as USER_USERS shows it
  eachRow(db, "PRAGMA main.user_version", [&](sqlite3_stmt* st) { schema = sqlite3_column_int64(st, 0); });
  for (auto& [key, list] : deps)
    for (auto& d : list)
      ins.text(key.first).text(key.second).text(d.owner).text(d.name).text(d.type).null().num(schema).text("HARD").row();
}

} // namespace ora::dict
