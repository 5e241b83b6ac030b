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
  std::vector<std::string> names;
  for (size_t k = nameAt + 2; k < listEnd; ++k)
    if (t_[k].kind == Token::Ident || t_[k].kind == Token::QIdent) {
      columns += (columns.empty() ? "" : ", ") + quoteIdent(t_[k].text);
      names.push_back(t_[k].text);
    }
  auto position = [&](size_t k) {
    auto it = std::find(names.begin(), names.end(), at(k).text);
    if (it == names.end()) throw OraError(904, at(k).text).at(static_cast<int>(at(k).pos));
    return static_cast<size_t>(it - names.begin());
  };
  // SEARCH: the walk takes its rows deepest first (depth first) or by level (breadth first),
  // siblings in the order given, and numbers them in that order
  size_t c = close + 1;
  std::string order, orderColumn;
  if (is(at(c), "SEARCH")) {
    bool depthFirst = is(at(c + 1), "DEPTH");
    size_t m = c + 4;
    std::string keys;
    for (;;) {
      keys += ", " + std::to_string(position(m) + 1);
      ++m;
      if (is(at(m), "ASC") || is(at(m), "DESC")) keys += std::string(" ") + at(m++).text;
      if (is(at(m), "NULLS")) m += 2;
      if (!is(at(m), ",")) break;
      ++m;
    }
    if (!is(at(m), "SET")) throw OraError(905);
    orderColumn = quoteIdent(at(m + 1).text);
    order = " ORDER BY " + std::to_string(names.size() + 1) + (depthFirst ? " DESC" : " ASC") + keys;
    for (size_t k = c; k < m + 2; ++k) skip_[k] = 1;
    c = m + 2;
  }
  // CYCLE: each row carries the cycle columns' values on its way down; a row that repeats one
  // of them is marked and not followed
  std::string cycleColumns, markColumn, anchorCycle, stepCycle, whereClose;
  if (is(at(c), "CYCLE")) {
    std::vector<size_t> cols;
    size_t m = c + 1;
    for (;;) {
      cols.push_back(position(m++));
      if (!is(at(m), ",")) break;
      ++m;
    }
    if (!is(at(m), "SET") || !is(at(m + 2), "TO") || !is(at(m + 4), "DEFAULT")) throw OraError(905);
    const std::string mark = quoteIdent(at(m + 1).text), yes = source(m + 3, m + 4), no = source(m + 5, m + 6);
    // the select items of anchor and step, as written
    auto items = [&](size_t selectAt, size_t fromAt) {
      std::vector<std::pair<size_t, size_t>> out;
      size_t b = selectAt + 1;
      for (size_t k = b; k <= fromAt; ++k)
        if (k == fromAt || (t_[k].depth == d && is(t_[k], ","))) {
          size_t e = k;
          if (e - b >= 2 && aliasToken(e - 1) && (is(t_[e - 2], "AS") || !(t_[e - 2].kind == Token::Op && t_[e - 2].text != ")")))
            e = is(t_[e - 2], "AS") ? e - 2 : e - 1;
          out.emplace_back(b, e);
          b = k + 1;
        }
      return out;
    };
    auto anchorItems = items(open + 1, anchorFrom), stepItems = items(unionAt + 2, stepFrom);
    if (anchorItems.size() != names.size() || stepItems.size() != names.size()) return;
    auto key = [&](const std::vector<std::pair<size_t, size_t>>& from) {
      std::string k;
      for (size_t n : cols) k += (k.empty() ? "(" : " || '|' || (") + source(from[n].first, from[n].second) + ")";
      return k;
    };
    std::string parent = name;
    for (size_t k = unionAt; k < close; ++k)
      if (at(k).text == name && (is(at(k - 1), "FROM") || is(at(k - 1), "JOIN") || is(at(k - 1), ","))) {
        size_t a = is(at(k + 1), "AS") ? k + 2 : k + 1;
        if (aliasToken(a) && !is(at(a), "WHERE") && !is(at(a), "JOIN")) parent = at(a).text;
        break;
      }
    const std::string path = quoteIdent(parent) + ".\"Y$\"";
    cycleColumns = ", \"Y$\", " + mark;
    markColumn = ", " + mark;
    anchorCycle = ", '/' || " + key(anchorItems) + " || '/', " + no;
    stepCycle = ", " + path + " || " + key(stepItems) + " || '/', CASE WHEN instr(" + path + ", '/' || " +
                key(stepItems) + " || '/') > 0 THEN " + yes + " ELSE " + no + " END";
    std::string follow = quoteIdent(parent) + "." + mark + " = " + no;
    size_t where = 0;
    for (size_t k = stepFrom; k < close && !where; ++k)
      if (t_[k].depth == d && is(t_[k], "WHERE")) where = k;
    if (where && replace_[where].empty()) {
      replace_[where] = "WHERE " + follow + " AND (";
      whereClose = ")";
    } else {
      whereClose = " WHERE " + follow;
    }
    for (size_t k = c; k < m + 6; ++k) skip_[k] = 1;
  }
  replace_[nameAt] = walk;
  replace_[listEnd] = ", \"L$\"" + cycleColumns + ")";
  replace_[anchorFrom] = ", 0" + anchorCycle + " FROM";
  replace_[stepFrom] =
      ", CASE WHEN \"L$\" >= 100000 THEN ora_raise(32044) ELSE \"L$\" + 1 END" + stepCycle + " FROM";
  for (size_t k = unionAt; k < close; ++k)
    if (t_[k].kind != Token::Str && at(k).text == name && !is(at(k + 1), "(") && !is(at(k + 1), ".") &&
        !is(at(k - 1), ".") && replace_[k].empty())
      replace_[k] = walk + (aliasToken(k + 1) || is(at(k + 1), "AS") ? "" : " AS " + quoteIdent(name));
  std::string outer = columns + markColumn;
  replace_[close] = whereClose + order + "), " + quoteIdent(name) + " (" + outer +
                    (orderColumn.empty() ? "" : ", " + orderColumn) + ") AS (SELECT " + outer +
                    (orderColumn.empty() ? "" : ", row_number() OVER ()") + " FROM " + walk + ")";
}

} // namespace ora::tx
