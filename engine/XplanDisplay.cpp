// TABLE(DBMS_XPLAN.DISPLAY[(table, statement_id, format)]) in a query: the plan last explained
// (or the one of the statement id) drawn as DBMS_XPLAN draws it, one PLAN_TABLE_OUTPUT row a line.
// The rows are read when the query is translated and stand in its text as a UNION ALL of lines.
#include "ExplainPlan.h"

#include "OraError.h"
#include "SqlLexer.h"
#include "SqlText.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <sqlite3.h>

namespace ora {

namespace {

using sql::Tok;
using sql::Token;

struct Row {
  int id = 0, depth = 0;
  std::string operation, name;
};

bool word(const std::vector<Token>& t, size_t i, const char* w) {
  return i < t.size() && t[i].kind == Tok::Ident && t[i].text == w;
}
bool op(const std::vector<Token>& t, size_t i, const char* o) {
  return i < t.size() && t[i].kind == Tok::Op && t[i].text == o;
}

std::string pad(std::string s, size_t width) {
  if (s.size() < width) s.append(width - s.size(), ' ');
  return s;
}

std::vector<Row> planRows(sqlite3* db, const std::string& table, const std::string& statementId, bool& found) {
  std::vector<Row> rows;
  std::string t = quoteIdent(table);
  // the latest plan, of the statement id when one is given
  std::string sql = "SELECT ID, IFNULL(DEPTH, 0), OPERATION, OPTIONS, OBJECT_NAME FROM " + t +
                    " WHERE PLAN_ID = (SELECT MAX(PLAN_ID) FROM " + t +
                    (statementId.empty() ? std::string(")") : " WHERE STATEMENT_ID = ?1)") + " ORDER BY ID";
  sqlite3_stmt* st = nullptr;
  found = sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK;
  if (found && !statementId.empty()) sqlite3_bind_text(st, 1, statementId.c_str(), -1, SQLITE_TRANSIENT);
  while (found && sqlite3_step(st) == SQLITE_ROW) {
    auto text = [&](int c) {
      const unsigned char* p = sqlite3_column_text(st, c);
      return p ? std::string(reinterpret_cast<const char*>(p)) : std::string();
    };
    Row r;
    r.id = sqlite3_column_int(st, 0);
    r.depth = sqlite3_column_int(st, 1);
    r.operation = std::string(static_cast<size_t>(std::max(0, r.depth)), ' ') + text(2);
    if (!text(3).empty()) r.operation += " " + text(3);
    r.name = text(4);
    rows.push_back(r);
  }
  sqlite3_finalize(st);
  return rows;
}

std::vector<std::string> drawn(const std::vector<Row>& rows) {
  size_t opWidth = 9, nameWidth = 4;
  uint32_t hash = 2166136261u;
  for (const Row& r : rows) {
    opWidth = std::max(opWidth, r.operation.size());
    nameWidth = std::max(nameWidth, r.name.size());
    for (char c : r.operation + "|" + r.name) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  }
  std::string head = "| Id  | " + pad("Operation", opWidth) + "| " + pad("Name", nameWidth) + " |";
  std::string line(head.size(), '-');
  std::vector<std::string> out = {"Plan hash value: " + std::to_string(hash), "", line, head, line};
  for (const Row& r : rows) {
    char id[16];
    std::snprintf(id, sizeof id, "%4d", r.id);
    out.push_back("|" + std::string(id) + " | " + pad(r.operation, opWidth) + "| " + pad(r.name, nameWidth) + " |");
  }
  out.push_back(line);
  return out;
}

} // namespace

bool xplanDisplay(const std::string& text, Catalog& cat, std::string& rewritten) {
  if (text.find("DBMS_XPLAN") == std::string::npos && text.find("dbms_xplan") == std::string::npos) return false;
  std::vector<Token> t;
  try {
    t = sql::lex(text);
  } catch (const OraError&) {
    return false;
  }
  bool any = false;
  std::string out;
  size_t copied = 0;
  for (size_t i = 0; i + 4 < t.size(); ++i) {
    if (!word(t, i, "TABLE") || !op(t, i + 1, "(") || !word(t, i + 2, "DBMS_XPLAN") || !op(t, i + 3, ".") ||
        !word(t, i + 4, "DISPLAY"))
      continue;
    size_t k = i + 5;
    std::vector<std::string> args;
    if (op(t, k, "(")) {
      ++k;
      while (k < t.size() && !op(t, k, ")")) {
        if (t[k].kind == Tok::Str) args.push_back(t[k].text);
        else if (word(t, k, "NULL")) args.emplace_back();
        else throw OraError(904, "DBMS_XPLAN.DISPLAY").at(static_cast<int>(t[k].pos)); // literals only
        ++k;
        if (op(t, k, ",")) ++k;
      }
      if (!op(t, k, ")")) return false;
      ++k;
    }
    if (!op(t, k, ")")) return false;
    std::string table = args.size() > 0 && !args[0].empty() ? args[0] : "PLAN_TABLE";
    for (auto& c : table) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::string statementId = args.size() > 1 ? args[1] : std::string();
    std::vector<std::string> lines;
    bool found = cat.tableExists(table);
    std::vector<Row> rows = found ? planRows(cat.db(), table, statementId, found) : std::vector<Row>{};
    if (!found) lines = {"Error: cannot fetch last explain plan from " + table};
    else if (rows.empty()) lines = {"Error: cannot fetch plan for statement_id '" + statementId + "'"};
    else lines = drawn(rows);
    std::string view = "(";
    for (size_t n = 0; n < lines.size(); ++n)
      view += (n ? " UNION ALL SELECT " : "SELECT ") + (lines[n].empty() ? std::string("NULL") : quoteString(lines[n])) +
              (n ? "" : " AS PLAN_TABLE_OUTPUT") + " FROM DUAL";
    view += ")";
    out += text.substr(copied, t[i].pos - copied) + view;
    copied = t[k].end;
    any = true;
    i = k;
  }
  if (!any) return false;
  rewritten = out + text.substr(copied);
  return true;
}

} // namespace ora
