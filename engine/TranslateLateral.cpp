// LATERAL inline views and CROSS / OUTER APPLY: a view that reads the tables before it runs once
// for each of their rows. Its rows are packed by a subquery SQLite evaluates for that row and
// read back by the table-valued function of its columns (LateralRows.cpp).
#include "TranslateImpl.h"

#include "LateralRows.h"

namespace ora::tx {

// The names of the view's columns: its first query block's items, "*" as its tables' columns.
std::vector<std::string> Translator::lateralColumns(size_t open, size_t close) {
  int d = t_[open].depth + 1;
  size_t s = open + 1;
  while (s < close && !(t_[s].depth == d && is(t_[s], "SELECT"))) ++s;
  if (s >= close) throw OraError(928).at(static_cast<int>(t_[open].pos));
  size_t ib = s + 1;
  if (is(at(ib), "DISTINCT") || is(at(ib), "UNIQUE") || is(at(ib), "ALL")) ++ib;
  size_t from = clauseEnd(ib, close, d, {"FROM"});
  // the view's own tables, for a "*" among its items
  struct Source {
    std::string exposed, table;
    std::vector<std::string> columns; // of an inline view
  };
  std::vector<Source> tables;
  for (size_t m = from + 1; m < close; ++m) {
    if (t_[m].depth != d) continue;
    if (is(t_[m], "(") && (m == from + 1 || is(t_[m - 1], ",") || is(t_[m - 1], "JOIN")) && is(at(m + 1), "SELECT")) {
      size_t end = matching(m);
      Source view{aliasToken(end + 1) && end + 1 < close ? at(end + 1).text : std::string(), {}, lateralColumns(m, end)};
      tables.push_back(std::move(view));
      m = end;
      continue;
    }
    if (t_[m].kind == Token::Ident && keywordAt(t_, m) && !is(t_[m], "JOIN")) {
      if (is(t_[m], "ON") || is(t_[m], "INNER") || is(t_[m], "LEFT") || is(t_[m], "RIGHT") || is(t_[m], "FULL") ||
          is(t_[m], "OUTER") || is(t_[m], "CROSS") || is(t_[m], "NATURAL"))
        continue;
      break;
    }
    bool starts = m == from + 1 || is(t_[m - 1], ",") || is(t_[m - 1], "JOIN");
    if (!starts || (t_[m].kind != Token::Ident && t_[m].kind != Token::QIdent)) continue;
    std::string name = t_[m].text;
    size_t a = m + 1;
    if (is(at(a), ".") && (at(a + 1).kind == Token::Ident || at(a + 1).kind == Token::QIdent)) {
      name = at(a + 1).text;
      a += 2;
    }
    tables.push_back({aliasToken(a) && a < close ? at(a).text : name, name, {}});
  }
  std::vector<std::string> names;
  for (size_t ie = ib, b = ib; ie <= from; ++ie) {
    if (ie < from && !(t_[ie].depth == d && is(t_[ie], ","))) continue;
    if (ie == b) throw OraError(936).at(static_cast<int>(at(ie).pos));
    bool star = is(t_[ie - 1], "*") && (ie - 1 == b || is(t_[ie - 2], "."));
    if (star) {
      std::string q = ie - b == 3 ? t_[b].text : std::string();
      bool found = false;
      for (const Source& src : tables) {
        if (!q.empty() && src.exposed != q) continue;
        found = true;
        if (src.table.empty()) {
          names.insert(names.end(), src.columns.begin(), src.columns.end());
          continue;
        }
        const std::string& table = src.table;
        if (!cat_.tableExists(table)) throw OraError(942, table);
        for (auto& col : cat_.columns(table)) {
          if (col.invisible) continue;
          names.push_back(col.name);
          tr_.inferred.emplace(col.name, col.type); // the module's columns have no declared types
        }
      }
      if (!found) throw OraError(904, q.empty() ? "*" : q + ".*").at(static_cast<int>(t_[b].pos));
    } else if (ie - b >= 2 && aliasToken(ie - 1) &&
               (is(t_[ie - 2], "AS") || !(t_[ie - 2].kind == Token::Op && t_[ie - 2].text != ")"))) {
      names.push_back(t_[ie - 1].text);
    } else {
      names.push_back(heading(b, ie));
    }
    b = ie + 1;
  }
  return names;
}

size_t Translator::lateralView(size_t open, bool outer, Context& c) {
  size_t close = matching(open);
  std::vector<std::string> names = lateralColumns(open, close);
  std::string cols;
  for (size_t k = 0; k < names.size(); ++k) cols += (k ? ", " : "") + quoteIdent("C$" + std::to_string(k + 1));
  std::string module = lateralModule(cat_.db(), names);
  // the rows in the view's order, one packed value for the row of the tables before it
  replace_[open] = module + "((WITH \"L$\"(" + cols + ") AS (";
  replace_[close] = ") SELECT ora_rows(" + cols + ") FROM \"L$\"))";
  std::string alias = aliasToken(close + 1) ? at(close + 1).text : std::string();
  if (!alias.empty()) replace_[close + 1] = quoteIdent(alias);
  if (outer) replace_[alias.empty() ? close : close + 1] += " ON 1 = 1";
  c.derived.emplace_back(open, alias);
  return alias.empty() ? close : close + 1;
}

} // namespace ora::tx
