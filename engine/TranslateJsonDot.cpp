// Simple dot notation on JSON: alias.column.field.field... for a column of type JSON or one whose
// check constraint says IS JSON, read as ora_json_dot(column, path). The table alias is needed;
// without it the words name a table's column, as Oracle reads them. Array steps ([0], [*], [1 to 3],
// [last]) and a trailing item method (.size(), .number()...) are read too. A view's or a subquery's
// column is JSON when it is such a column passed on as it is, or a JSON value.
#include "TranslateImpl.h"

#include "JsonDoc.h"

#include <functional>
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

std::string viewText(sqlite3* db, const std::string& view) {
  sqlite3_stmt* st = nullptr;
  std::string text;
  if (sqlite3_prepare_v2(db, "SELECT TEXT FROM \"TESSEL$VIEWS\" WHERE NAME = ?1", -1, &st, nullptr) == SQLITE_OK) {
    sqlite3_bind_text(st, 1, view.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(st) == SQLITE_ROW)
      if (const unsigned char* s = sqlite3_column_text(st, 0)) text = reinterpret_cast<const char*>(s);
  }
  sqlite3_finalize(st);
  return text;
}

} // namespace

bool Translator::jsonDot(size_t i, size_t b, std::string& out, size_t& last) {
  const Token& k = t_[i];
  if ((i > b && is(at(i - 1), ".")) || !is(at(i + 1), ".") || !(is(at(i + 3), ".") || is(at(i + 3), "[")))
    return false;
  if (k.kind != Token::Ident && k.kind != Token::QIdent) return false;
  if (at(i + 2).kind != Token::Ident && at(i + 2).kind != Token::QIdent) return false;
  // the innermost query whose FROM has the alias: a table or view under it, or a subquery
  const Context* scope = nullptr;
  for (auto c = ctx_.rbegin(); c != ctx_.rend() && !scope; ++c) {
    for (const auto& r : c->tables)
      if (!r.alias.empty() && r.alias == k.text) scope = &*c;
    for (const auto& d : c->derived)
      if (d.second == k.text) scope = &*c;
  }
  if (!scope) return false;
  // Whether the column `name` of a source of c (q: its alias or name, empty for any) holds JSON: of
  // type JSON, text an IS JSON check keeps, or a view's or subquery's item made of such a column
  // or of a JSON value. A view is read in a translator of its own text.
  std::function<bool(Translator&, const Context&, const std::string&, const std::string&, int)> source;
  std::function<bool(Translator&, size_t, size_t, const std::string&, long, int)> item;
  source = [&](Translator& tr, const Context& c, const std::string& q, const std::string& name, int depth) {
    if (depth > 16) return false;
    for (const auto& r : c.tables) {
      if (r.name.empty() || !r.dictionary.empty()) continue;
      if (!q.empty() && r.alias != q && !(r.alias.empty() && r.name == q)) continue;
      if (auto cte = tr.cteBodies_.find(r.name); cte != tr.cteBodies_.end()) {
        // a WITH query that names its columns: the item at the name's place
        long pos = -1;
        if (size_t names = cte->second.second) {
          long k = 0;
          for (size_t m = names + 1; m < tr.matching(names) && pos < 0; ++m) {
            if (tr.t_[m].kind != Token::Ident && tr.t_[m].kind != Token::QIdent) continue;
            if (tr.t_[m].text == name) pos = k;
            ++k;
          }
          if (pos < 0) continue;
        }
        if (item(tr, cte->second.first, tr.matching(cte->second.first), name, pos, depth + 1)) return true;
        continue;
      }
      if (!cat_.tableExists(r.name)) continue;
      const ColumnInfo* col = nullptr;
      long pos = 0;
      for (const auto& k : cat_.columns(r.name))
        if (!col && k.name == name) col = &k;
        else if (!col) ++pos;
      if (!col) continue;
      if (col->type.json) return true;
      if (!cat_.viewExists(r.name)) return checkedAsJson(cat_.db(), r.name, name);
      std::string text = viewText(cat_.db(), r.name);
      if (text.empty()) return false;
      try {
        Translator v(text, tokenize(text), cat_);
        // the view's columns are its query's items in order, whatever names it gave them
        return item(v, 0, v.t_.size(), name, pos, depth + 1);
      } catch (const std::exception&) {
        return false;
      }
    }
    for (const auto& [open, alias] : c.derived)
      if ((q.empty() || alias == q) && item(tr, open, tr.matching(open), name, -1, depth + 1)) return true;
    return false;
  };
  // Whether the item `name` (or the one at pos, when pos >= 0) of the query at s (its "(", WITH or
  // SELECT; end: the token after it) holds JSON.
  item = [&](Translator& tr, size_t s, size_t end, const std::string& name, long pos, int depth) {
    const auto& t = tr.t_;
    if (depth > 16) return false;
    if (is(tr.at(s), "(")) ++s;
    if (is(tr.at(s), "WITH")) {
      const int d = t[s].depth;
      while (s < end && !(t[s].depth == d && is(t[s], "SELECT"))) ++s;
    }
    if (s >= end || !is(t[s], "SELECT")) return false;
    const int d = t[s].depth;
    const size_t from = tr.clauseEnd(s + 1, end, d, {"FROM"});
    if (from >= end) return false;
    static const std::set<std::string> stops = {"WHERE", "GROUP", "ORDER", "HAVING", "UNION", "INTERSECT", "MINUS",
                                                "EXCEPT", "CONNECT", "START", "FOR", "FETCH", "OFFSET"};
    Context c;
    try {
      tr.parseFrom(from + 1, tr.clauseEnd(from + 1, end, d, stops), c);
    } catch (const OraError&) {
      return false; // the query's own translation reports it
    }
    size_t ib = s + 1;
    if (is(tr.at(ib), "DISTINCT") || is(tr.at(ib), "UNIQUE") || is(tr.at(ib), "ALL")) ++ib;
    auto word = [&](size_t m) { return t[m].kind == Token::Ident || t[m].kind == Token::QIdent; };
    for (long k = 0; ib < from; ++k) {
      size_t ie = ib;
      while (ie < from && !(t[ie].depth == d && is(t[ie], ","))) ++ie;
      size_t exprEnd = ie;
      std::string itemName;
      if (ie - ib >= 2 && tr.aliasToken(ie - 1) &&
          (is(t[ie - 2], "AS") || !(t[ie - 2].kind == Token::Op && t[ie - 2].text != ")"))) {
        itemName = t[ie - 1].text;
        exprEnd = ie - (is(t[ie - 2], "AS") ? 2 : 1);
      } else if ((ie == ib + 1 && word(ib)) || (ie == ib + 3 && is(t[ib + 1], "."))) {
        itemName = t[ie - 1].text;
      }
      bool bare = exprEnd == ib + 1 || (exprEnd == ib + 3 && is(t[ib + 1], ".") && word(ib));
      bool star = bare && is(t[exprEnd - 1], "*");
      if (star && pos >= 0) return false; // the places of the names are not known
      if (star || (pos >= 0 ? k == pos : itemName == name)) {
        std::string q = exprEnd == ib + 3 ? t[ib].text : std::string();
        if (star || (bare && word(exprEnd - 1))) {
          if (source(tr, c, q, star ? name : t[exprEnd - 1].text, depth)) return true;
          if (!star) return false;
        } else {
          // an expression: JSON when its value is, as JSON(...) gives
          tr.ctx_.push_back(c);
          bool json = false;
          try {
            json = tr.exprType(ib, exprEnd).json;
          } catch (const OraError&) {
          }
          tr.ctx_.pop_back();
          return json;
        }
      }
      ib = ie + 1;
    }
    return false;
  };
  auto jsonColumn = [&](const Context& c, const std::string& q, const std::string& name) {
    return source(*this, c, q, name, 0);
  };

  Context own = *scope; // typing a subquery pushes contexts
  if (!jsonColumn(own, k.text, at(i + 2).text)) return false;
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
  const std::string doc = quoteIdent(k.text) + "." + quoteIdent(at(i + 2).text);
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
