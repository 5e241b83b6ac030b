// Simple dot notation on JSON: alias.column.field.field... for a column of type JSON or one whose
// check constraint says IS JSON, read as ora_json_dot(column, path). The table alias is needed;
// without it the words name a table's column, as Oracle reads them. Array steps ([0], [*], [1 to 3],
// [last]) and a trailing item method (.size(), .number()...) are read too.
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
  bool numeric = false, date = false;
  for (;;) {
    if (is(at(m), ".") && (at(m + 1).kind == Token::Ident || at(m + 1).kind == Token::QIdent)) {
      // a field name keeps its case as written
      const Token& f = at(m + 1);
      if (f.kind == Token::Ident && is(at(m + 2), "(")) {
        // an item method ends the chain; its value is a SQL scalar of the method's type
        if (!is(at(m + 3), ")")) throw OraError(907).at(static_cast<int>(at(m + 3).pos));
        path += "." + f.raw + "()";
        const std::string& w = f.text;
        numeric = w == "SIZE" || w == "COUNT" || w == "NUMBER" || w == "ABS" || w == "CEILING" || w == "FLOOR" ||
                  w == "LENGTH" || w == "SUM" || w == "AVG" || w == "MINNUMBER" || w == "MAXNUMBER" ||
                  w == "DOUBLE" || w == "FLOAT" || w == "NUMBERONLY";
        date = w == "DATE";
        m += 4;
        break;
      }
      path += "." + json::quote(f.kind == Token::Ident ? f.raw : f.text);
      m += 2;
    } else if (is(at(m), "[")) {
      // an array step: indexes, ranges, last, *
      size_t close = m + 1;
      std::string step = "[";
      for (; close < t_.size() && !is(t_[close], "]"); ++close) {
        const Token& x = t_[close];
        bool ok = x.kind == Token::Num || is(x, "*") || is(x, ",") || is(x, "-") || is(x, "TO") || is(x, "LAST");
        if (!ok) throw OraError(911).at(static_cast<int>(x.pos));
        step += (step.size() > 1 ? " " : "") + x.raw;
      }
      if (close >= t_.size() || close == m + 1) throw OraError(911).at(static_cast<int>(at(m).pos));
      path += step + "]";
      m = close + 1;
    } else {
      break;
    }
  }
  if (is(at(m), "(")) return false;
  // the path is made of the statement's own words: a wrong one is the statement's error
  try {
    json::compilePath(path);
  } catch (const OraError&) {
    throw OraError(907).at(static_cast<int>(at(i + 3).pos));
  }
  const std::string doc = quoteIdent(k.text) + "." + quoteIdent(col->name);
  if (numeric || date)
    out = "ora_json_value(" + doc + ", " + quoteString(path) + ", " + std::to_string(numeric ? kNumber : kDate) +
          ", 4000, 0, NULL, -1, NULL)";
  else
    out = "ora_json_dot(" + doc + ", " + quoteString(path) + ")";
  last = m - 1;
  return true;
}

// The type of a dot notation ending in a number or date item method.
bool Translator::jsonDotType(size_t b, size_t e, ColType& out) {
  std::string call;
  size_t last = b;
  if (!jsonDot(b, b, call, last) || last + 1 != e || !call.starts_with("ora_json_value(")) return false;
  const std::string tail = ", 4000, 0, NULL, -1, NULL)";
  size_t at = call.rfind(tail), comma = at == std::string::npos ? at : call.rfind(", ", at - 1);
  if (comma == std::string::npos) return false;
  out = ColType{};
  out.code = std::atoi(call.c_str() + comma + 2);
  return true;
}

} // namespace ora::tx
