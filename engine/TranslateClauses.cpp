// Clauses with no SQLite counterpart of the same shape: row limits, LISTAGG, analytic
// windows and comparisons with ANY / ALL.
#include "TranslateImpl.h"

#include "Dictionary.h"
#include "Number.h"
#include "OraFunctions.h"
#include "Session.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <sqlite3.h>

namespace ora::tx {

// OFFSET n ROWS / FETCH FIRST n ROWS ONLY at i: SQLite's LIMIT and OFFSET; `after` is the
// token after the clause.
std::string Translator::rowLimit(size_t i, size_t e, size_t& after) {
  int d = t_[i].depth;
  auto until = [&](size_t b, std::initializer_list<const char*> words) {
    size_t x = b;
    while (x < e && !(t_[x].depth == d && std::any_of(words.begin(), words.end(), [&](const char* w) { return is(t_[x], w); })))
      ++x;
    return x;
  };
  std::string offset, limit = "-1";
  size_t m = i;
  if (is(at(m), "OFFSET")) {
    size_t x = until(m + 1, {"ROW", "ROWS"});
    offset = "MAX(0, CAST(" + emit(m + 1, x) + " AS INTEGER))"; // a fraction is cut off
    m = x + 1;
  }
  if (m < e && is(at(m), "FETCH")) {
    size_t x = until(m + 2, {"ROW", "ROWS", "PERCENT"});
    limit = x > m + 2 ? "MAX(0, CAST(" + emit(m + 2, x) + " AS INTEGER))" : "1";
    if (is(at(x), "PERCENT")) throw OraError(900, "FETCH ... PERCENT is not supported here");
    m = x + 1;
    if (is(at(m), "WITH")) throw OraError(900, "FETCH ... WITH TIES is not supported");
    ++m; // ONLY
  }
  after = m;
  return "LIMIT " + limit + (offset.empty() ? "" : " OFFSET " + offset);
}

// LISTAGG(x [, sep]) [WITHIN GROUP (ORDER BY ...)] as the engine's ordered aggregate.
std::string Translator::listAgg(size_t i, size_t& after) {
  int d = t_[i].depth;
  size_t close = matching(i + 1);
  std::vector<std::pair<size_t, size_t>> args;
  for (size_t a = i + 2, m = a; m <= close; ++m)
    if (m == close || (t_[m].depth == d + 1 && is(t_[m], ","))) {
      if (m == a) throw OraError(936);
      args.emplace_back(a, m);
      a = m + 1;
    }
  if (args.empty() || args.size() > 2) throw OraError(909);
  std::string out = "ora_listagg(" + emit(args[0].first, args[0].second) + ", " +
                    (args.size() > 1 ? emit(args[1].first, args[1].second) : std::string("NULL"));
  after = close + 1;
  if (is(at(close + 1), "WITHIN") && is(at(close + 2), "GROUP") && is(at(close + 3), "(")) {
    size_t wclose = matching(close + 3), b = close + 4;
    if (!is(at(b), "ORDER") || !is(at(b + 1), "BY")) throw OraError(30491);
    for (size_t kb = b + 2, m = kb; m <= wclose; ++m) {
      if (m < wclose && !(t_[m].depth == d + 1 && is(t_[m], ","))) continue;
      size_t ke = m;
      int how = 0;
      bool nullsSaid = false;
      if (ke - kb >= 2 && is(t_[ke - 2], "NULLS")) {
        nullsSaid = true;
        if (is(t_[ke - 1], "FIRST")) how |= 2;
        ke -= 2;
      }
      if (ke > kb && (is(t_[ke - 1], "DESC") || is(t_[ke - 1], "ASC"))) {
        if (is(t_[ke - 1], "DESC")) how |= 1;
        --ke;
      }
      if (!nullsSaid && (how & 1)) how |= 2; // Oracle: NULLs are largest
      if (ke == kb) throw OraError(936);
      out += ", " + emit(kb, ke) + ", " + std::to_string(how);
      kb = m + 1;
    }
    after = wclose + 1;
  }
  return out + ")";
}

// The words of an analytic window pass as SQLite writes them; its ORDER BY sorts NULLs as
// Oracle does.
void Translator::analyticWindow(size_t i) {
  const Token& k = t_[i];
  static const std::set<std::string> words = {"PARTITION", "BY", "ORDER", "ROWS", "RANGE", "BETWEEN",
      "UNBOUNDED", "PRECEDING", "FOLLOWING", "CURRENT", "ROW", "AND", "ASC", "DESC", "NULLS", "FIRST", "LAST"};
  size_t close = matching(i + 1);
  for (size_t m = i + 2; m < close; ++m)
    if (t_[m].depth == k.depth + 1 && t_[m].kind == Token::Ident && words.count(t_[m].text) &&
        replace_[m].empty())
      replace_[m] = t_[m].text;
  for (size_t m = i + 2; m + 1 < close; ++m)
    if (t_[m].depth == k.depth + 1 && is(t_[m], "ORDER") && is(t_[m + 1], "BY")) {
      size_t oe = m + 2;
      while (oe < close && !(t_[oe].depth == k.depth + 1 && (is(t_[oe], "ROWS") || is(t_[oe], "RANGE")))) ++oe;
      nullsOrder(m + 2, oe, k.depth + 1);
    }
}


// x op ANY (...) is true when one value compares true, unknown when none does but some compare
// unknown, else false (an empty set is false); ALL the other way round.
std::string Translator::quantified(const Quantified& q) {
  std::string left = emit(tokenAt(q.left.first), tokenAt(q.left.second));
  std::string values;
  if (q.subquery) {
    values = emit(tokenAt(q.values.front().first), tokenAt(q.values.front().second));
  } else {
    for (auto [vb, ve] : q.values) values += (values.empty() ? "VALUES (" : ", (") + emit(tokenAt(vb), tokenAt(ve)) + ")";
  }
  std::string c = "(SELECT (" + left + ") " + q.op + " \"V\" AS \"C\" FROM \"A$\")";
  std::string decide = q.all ? "CASE WHEN MIN(\"C\") = 0 THEN 0 WHEN COUNT(*) > COUNT(\"C\") THEN NULL ELSE 1 END"
                             : "CASE WHEN MAX(\"C\") = 1 THEN 1 WHEN COUNT(*) > COUNT(\"C\") THEN NULL ELSE 0 END";
  return "(WITH \"A$\"(\"V\") AS (" + values + ") SELECT " + decide + " FROM " + c + ")";
}

// A recursive WITH subquery counts its depth in a column of its own and fails with ORA-32044 past
// a depth no real hierarchy reaches, so a recursion that repeats itself ends instead of running
// on: WITH T(c) AS (anchor UNION ALL step) becomes WITH "T$R"(c, "L$") AS (...), T(c) AS (SELECT
// c FROM "T$R"), the step reading "T$R".
void Translator::guardRecursion(size_t nameAt, size_t open) {
  const std::string name = at(nameAt).text;
  size_t close = matching(open);
  int d = at(open).depth + 1;
  size_t unionAt = 0, refs = 0;
  bool unionAll = true;
  for (size_t k = open + 1; k < close; ++k) {
    if (t_[k].depth == d && is(t_[k], "UNION")) {
      if (!unionAt) unionAll = is(at(k + 1), "ALL");
      unionAt = unionAt ? unionAt : k;
    }
    if (t_[k].kind != Token::Str && at(k).text == name && !is(at(k + 1), "(") && !is(at(k - 1), ".") &&
        (is(at(k - 1), "FROM") || is(at(k - 1), "JOIN") || is(at(k - 1), ",")))
      ++refs;
  }
  if (!refs) return;
  // a query that reads itself: the recursive form, named columns and UNION ALL
  if (!is(at(nameAt + 1), "(")) throw OraError(32039).at(static_cast<int>(at(nameAt).pos));
  if (!unionAt || !unionAll) throw OraError(32040).at(static_cast<int>(at(nameAt).pos));
  size_t listEnd = matching(nameAt + 1);
  auto fromOf = [&](size_t b, size_t e) {
    for (size_t k = b; k < e; ++k)
      if (t_[k].depth == d && is(t_[k], "FROM")) return k;
    return e;
  };
  size_t anchorFrom = fromOf(open + 1, unionAt), stepFrom = fromOf(unionAt + 2, close);
  if (anchorFrom >= unionAt || stepFrom >= close || !replace_[anchorFrom].empty() || !replace_[stepFrom].empty()) return;
  const std::string walk = quoteIdent(name + "$R");
  std::string columns;
  for (size_t k = nameAt + 2; k < listEnd; ++k)
    if (t_[k].kind == Token::Ident || t_[k].kind == Token::QIdent) columns += (columns.empty() ? "" : ", ") + quoteIdent(t_[k].text);
  replace_[nameAt] = walk;
  replace_[listEnd] = ", \"L$\")";
  replace_[anchorFrom] = ", 0 FROM";
  replace_[stepFrom] = ", CASE WHEN \"L$\" >= 100000 THEN ora_raise(32044) ELSE \"L$\" + 1 END FROM";
  for (size_t k = unionAt; k < close; ++k)
    if (t_[k].kind != Token::Str && at(k).text == name && !is(at(k + 1), "(") && !is(at(k + 1), ".") &&
        !is(at(k - 1), ".") && replace_[k].empty())
      replace_[k] = walk + (aliasToken(k + 1) || is(at(k + 1), "AS") ? "" : " AS " + quoteIdent(name));
  replace_[close] = "), " + quoteIdent(name) + " (" + columns + ") AS (SELECT " + columns + " FROM " + walk + ")";
}

} // namespace ora::tx
