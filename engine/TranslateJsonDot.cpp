// Simple dot notation on JSON: alias.column.field.field... for a column of type JSON or one whose
// check constraint says IS JSON, read as ora_json_dot(column, path). The table alias is needed;
// without it the words name a table's column, as Oracle reads them.
#include "TranslateImpl.h"

#include "JsonDoc.h"

#include <sqlite3.h>

namespace ora::tx {

namespace {

// Whether the table's stored definition checks the column with IS JSON (MATCH, as translated).
bool checkedAsJson(sqlite3* db, const std::string& table, const std::string& column) {
  sqlite3_stmt* st = nullptr;
  bool found = false;
  if (sqlite3_prepare_v2(db, "SELECT sql FROM sqlite_schema WHERE type = 'table' AND name = ?1", -1, &st, nullptr) ==
      SQLITE_OK) {
    sqlite3_bind_text(st, 1, table.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(st) == SQLITE_ROW)
      if (const unsigned char* s = sqlite3_column_text(st, 0))
        found = std::string(reinterpret_cast<const char*>(s)).find("\"" + column + "\" MATCH ") != std::string::npos;
  }
  sqlite3_finalize(st);
  return found;
}

} // namespace

bool Translator::jsonDot(size_t i, size_t b, std::string& out, size_t& last) {
  const Token& k = t_[i];
  if ((i > b && is(at(i - 1), ".")) || !is(at(i + 1), ".") || !is(at(i + 3), ".")) return false;
  const TableRef* r = objectAlias(i);
  if (!r || r->name.empty() || r->alias.empty() || !cat_.tableExists(r->name)) return false;
  const ColumnInfo* col = nullptr;
  for (const auto& c : cat_.columns(r->name))
    if (c.name == at(i + 2).text) col = &c;
  if (!col || !(col->type.json || checkedAsJson(cat_.db(), r->name, col->name))) return false;
  std::string path = "$";
  size_t m = i + 3;
  for (; is(at(m), ".") && (at(m + 1).kind == Token::Ident || at(m + 1).kind == Token::QIdent); m += 2) {
    // a field name keeps its case as written
    const Token& f = at(m + 1);
    path += "." + json::quote(f.kind == Token::Ident ? f.raw : f.text);
  }
  if (is(at(m), "(")) return false; // an item method is not read here
  out = "ora_json_dot(" + quoteIdent(k.text) + "." + quoteIdent(col->name) + ", " + quoteString(path) + ")";
  last = m - 1;
  return true;
}

} // namespace ora::tx
