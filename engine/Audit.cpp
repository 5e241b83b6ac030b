#include "Audit.h"

#include "OraError.h"
#include "SqlLexer.h"
#include "SqlText.h"

#include <algorithm>
#include <map>
#include <set>
#include <sqlite3.h>

namespace ora {

namespace {

using sql::Tok;
using sql::Token;

// The options in USER_OBJ_AUDIT_OPTS order, with their column names.
const std::pair<const char*, const char*> kOptions[] = {
    {"ALTER", "ALT"},  {"AUDIT", "AUD"},  {"COMMENT", "COM"}, {"DELETE", "DEL"},  {"GRANT", "GRA"},
    {"INDEX", "IND"},  {"INSERT", "INS"}, {"LOCK", "LOC"},    {"RENAME", "REN"},  {"SELECT", "SEL"},
    {"UPDATE", "UPD"}, {"EXECUTE", "EXE"}, {"FLASHBACK", "FBK"}, {"READ", "REA"}};

// Which options an object of each type takes (ALL stands for these).
std::set<std::string> optionsFor(const std::string& type) {
  if (type == "TABLE")
    return {"ALTER", "AUDIT", "COMMENT", "DELETE", "GRANT", "INDEX", "INSERT", "LOCK", "RENAME", "SELECT", "UPDATE",
            "FLASHBACK", "READ"};
  if (type == "VIEW")
    return {"AUDIT", "COMMENT", "DELETE", "GRANT", "INSERT", "LOCK", "RENAME", "SELECT", "UPDATE", "FLASHBACK", "READ"};
  if (type == "SEQUENCE") return {"ALTER", "AUDIT", "GRANT", "SELECT"};
  if (type == "PROCEDURE" || type == "FUNCTION" || type == "PACKAGE") return {"AUDIT", "EXECUTE", "GRANT", "RENAME"};
  if (type == "TYPE") return {"AUDIT", "EXECUTE", "GRANT", "RENAME"};
  return {};
}

bool word(const std::vector<Token>& t, size_t i, const char* w) {
  return i < t.size() && t[i].kind == Tok::Ident && t[i].text == w;
}
[[noreturn]] void failAt(int code, const std::vector<Token>& t, size_t i) {
  throw OraError(code).at(static_cast<int>(t[std::min(i, t.size() - 1)].pos));
}

} // namespace

bool auditStatement(const std::string& text, Catalog& cat, Translation& out) {
  bool audit = startsWithWord(text, "AUDIT");
  if (!audit && !startsWithWord(text, "NOAUDIT")) return false;
  std::vector<Token> t = sql::lex(text);
  size_t i = 1;
  std::vector<std::pair<std::string, size_t>> options;
  for (;;) {
    if (i >= t.size() || (t[i].kind != Tok::Ident && t[i].kind != Tok::QIdent)) failAt(956, t, i);
    options.emplace_back(t[i].text, i);
    ++i;
    if (!(t[i].kind == Tok::Op && t[i].text == ",")) break;
    ++i;
  }
  // auditing statements and privileges needs AUDIT SYSTEM, and a trail the engine does not keep
  if (!word(t, i, "ON")) {
    if (cat.user() != "SYSTEM") throw OraError(1031);
    throw OraError(1031, "statement auditing is not supported by this engine");
  }
  ++i;
  if (word(t, i, "DEFAULT") || word(t, i, "DIRECTORY")) {
    if (cat.user() != "SYSTEM") throw OraError(1031);
    throw OraError(1031, "default auditing options are not supported by this engine");
  }
  size_t at = i;
  if (i >= t.size() || (t[i].kind != Tok::Ident && t[i].kind != Tok::QIdent)) failAt(903, t, i);
  std::string name = t[i++].text;
  if (t[i].kind == Tok::Op && t[i].text == ".") {
    // no statement reaches another schema
    if (name != cat.user()) failAt(942, t, at);
    if (i + 1 >= t.size() || (t[i + 1].kind != Tok::Ident && t[i + 1].kind != Tok::QIdent)) failAt(903, t, i + 1);
    name = t[i + 1].text;
    i += 2;
  }
  std::string type = cat.objectType(name);
  if (type == "PACKAGE BODY") type = "PACKAGE";
  if (type.empty() || optionsFor(type).empty()) failAt(942, t, at);
  char how = 'S';
  if (word(t, i, "BY")) {
    if (!audit) failAt(933, t, i);
    if (word(t, i + 1, "ACCESS")) how = 'A';
    else if (!word(t, i + 1, "SESSION")) failAt(905, t, i + 1);
    i += 2;
  }
  bool success = true, failure = true;
  if (word(t, i, "WHENEVER")) {
    bool no = word(t, i + 1, "NOT");
    if (!word(t, i + 1 + (no ? 1 : 0), "SUCCESSFUL")) failAt(905, t, i + 1 + (no ? 1 : 0));
    (no ? success : failure) = false;
    i += no ? 3 : 2;
  }
  if (i < t.size() && t[i].kind != Tok::End) failAt(933, t, i);
  std::set<std::string> allowed = optionsFor(type), chosen;
  for (auto& [option, pos] : options) {
    if (option == "ALL") chosen.insert(allowed.begin(), allowed.end());
    else if (allowed.count(option)) chosen.insert(option);
    else failAt(956, t, pos);
  }
  out = Translation{};
  out.kind = StmtKind::Ddl;
  out.function = audit ? 39 : 40;
  out.verb = audit ? "AUDIT" : "NOAUDIT";
  std::string mark = audit ? std::string(1, how) : "-";
  std::string q = quoteString(name);
  for (const std::string& option : chosen) {
    std::string o = quoteString(option);
    out.ddl.push_back("INSERT OR IGNORE INTO \"TESSEL$AUDIT_OPTS\" (OBJECT_NAME, OPTION, SUCCESS, FAILURE) VALUES (" + q +
                      ", " + o + ", '-', '-')");
    std::string set;
    if (success) set += "SUCCESS = " + quoteString(mark);
    if (failure) set += std::string(set.empty() ? "" : ", ") + "FAILURE = " + quoteString(mark);
    out.ddl.push_back("UPDATE \"TESSEL$AUDIT_OPTS\" SET " + set + " WHERE OBJECT_NAME = " + q + " AND OPTION = " + o);
  }
  out.ddl.push_back("DELETE FROM \"TESSEL$AUDIT_OPTS\" WHERE SUCCESS = '-' AND FAILURE = '-'");
  return true;
}

std::vector<std::vector<std::string>> auditOptionRows(sqlite3* db) {
  std::map<std::string, std::map<std::string, std::string>> by;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT OBJECT_NAME, OPTION, SUCCESS || '/' || FAILURE FROM \"TESSEL$AUDIT_OPTS\"", -1,
                         &st, nullptr) == SQLITE_OK)
    while (sqlite3_step(st) == SQLITE_ROW)
      by[reinterpret_cast<const char*>(sqlite3_column_text(st, 0))]
        [reinterpret_cast<const char*>(sqlite3_column_text(st, 1))] =
            reinterpret_cast<const char*>(sqlite3_column_text(st, 2));
  sqlite3_finalize(st);
  std::vector<std::vector<std::string>> out;
  for (auto& [name, opts] : by) {
    std::string type;
    sqlite3_stmt* ty = nullptr;
    if (sqlite3_prepare_v2(db,
                           "SELECT CASE type WHEN 'table' THEN 'TABLE' ELSE 'VIEW' END FROM sqlite_schema WHERE name = ?1"
                           " AND type IN ('table', 'view') UNION ALL SELECT TYPE FROM \"TESSEL$OBJECTS\" WHERE NAME = ?1"
                           " AND TYPE NOT IN ('TABLE', 'VIEW', 'PACKAGE BODY')",
                           -1, &ty, nullptr) == SQLITE_OK) {
      sqlite3_bind_text(ty, 1, name.c_str(), -1, SQLITE_TRANSIENT);
      if (sqlite3_step(ty) == SQLITE_ROW) type = reinterpret_cast<const char*>(sqlite3_column_text(ty, 0));
    }
    sqlite3_finalize(ty);
    std::vector<std::string> row = {name, type};
    for (auto& [option, column] : kOptions) row.push_back(opts.count(option) ? opts[option] : "-/-");
    out.push_back(row);
  }
  return out;
}

} // namespace ora
