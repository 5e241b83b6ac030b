// A WHERE clause as Oracle means it: ROWNUM conditions as a row limit, (+) marks as outer joins.
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

// ROWNUM conditions of a WHERE clause become a row limit (-1: none); the conditions themselves
// are taken out. Conditions no row can meet (ROWNUM > 1 and the like) leave a false WHERE.
int64_t Translator::rownumLimit(size_t wb, size_t we, int d) {
  if (wb >= we || !is(at(wb), "WHERE")) return -1;
  int64_t lo = 1, hi = INT64_MAX;
  bool any = false;
  for (auto [cb, ce] : conjuncts(wb + 1, we, d)) {
    bool mentions = false;
    for (size_t i = cb; i < ce; ++i) {
      if (is(t_[i], "(") && (is(at(i + 1), "SELECT") || is(at(i + 1), "WITH"))) i = matching(i); // its own ROWNUM
      else if (is(t_[i], "ROWNUM") && !(i > 0 && is(t_[i - 1], "."))) mentions = true;
    }
    if (!mentions) continue;
    // ROWNUM op n, or n op ROWNUM
    std::string op;
    int64_t n = 0;
    auto number = [&](const Token& k, int64_t& v) {
      if (k.kind != Token::Num || k.text.find_first_of(".eE") != std::string::npos) return false;
      v = std::atoll(k.text.c_str());
      return true;
    };
    static const std::map<std::string, std::string> flip = {{"<", ">"}, {">", "<"}, {"<=", ">="}, {">=", "<="}, {"=", "="}};
    if (ce - cb == 3 && is(t_[cb], "ROWNUM") && flip.count(t_[cb + 1].text) && number(t_[cb + 2], n)) {
      op = t_[cb + 1].text;
    } else if (ce - cb == 3 && is(t_[cb + 2], "ROWNUM") && flip.count(t_[cb + 1].text) && number(t_[cb], n)) {
      op = flip.at(t_[cb + 1].text);
    } else if (rownumAlone(cb, ce)) {
      // any other condition on ROWNUM alone: rows are numbered as they pass it, so the first
      // number that fails it is never given, and every row from there on fails it too
      if (int64_t k = rownumBound(cb, ce); k >= 0) hi = std::min(hi, k);
      any = true;
      continue;
    } else {
      rownumPerRow(wb, we, cb, ce, d);
      continue;
    }
    if (op == "<=") hi = std::min(hi, n);
    else if (op == "<") hi = std::min(hi, n - 1);
    else if (op == "=") { lo = std::max(lo, n); hi = std::min(hi, n); }
    else if (op == ">=") lo = std::max(lo, n);
    else if (op == ">") lo = std::max(lo, n + 1);
    else throw OraError(900, "this ROWNUM condition is not supported");
    for (size_t i = cb; i < ce; ++i) pin_[i] = 1;
    replace_[cb] = "1 = 1";
    for (size_t i = cb + 1; i < ce; ++i) skip_[i] = 1;
    any = true;
  }
  if (!any) return -1;
  // the first row would have to be numbered beyond 1, so no row ever is
  if (lo > 1 || hi < 1) return 0;
  return hi == INT64_MAX ? -1 : hi;
}

// Whether a condition reads nothing but ROWNUM and constants.
bool Translator::rownumAlone(size_t cb, size_t ce) const {
  for (size_t i = cb; i < ce; ++i) {
    const Token& k = t_[i];
    bool constant = k.kind == Token::Num || k.kind == Token::Str || k.kind == Token::Op ||
                    (k.kind == Token::Ident && (k.text == "ROWNUM" || k.text == "NOT" || k.text == "AND" || k.text == "OR" ||
                                                k.text == "BETWEEN" || k.text == "IN" || k.text == "IS" || k.text == "NULL")) ||
                    (k.kind == Token::Ident && is(at(i + 1), "(") && !is(k, "SELECT"));
    if (!constant || is(k, ".")) return false;
  }
  return true;
}

// A condition [cb, ce) of WHERE [wb, we) that reads ROWNUM beside the row's own values (ROWNUM < 3
// OR DEPTNO = 10): it is worked out for each row in turn, ROWNUM being one more than the rows the
// whole WHERE clause let through so far. Done for a block of one source, or of tables joined
// (whose ROWIDs the count reads, so that SQLite works it out once the row of each is found).
void Translator::rownumPerRow(size_t wb, size_t we, size_t cb, size_t ce, int d) {
  size_t from = wb;
  while (from > 0 && !(t_[from].depth == d && is(t_[from], "FROM"))) --from;
  const Context& c = ctx_.back();
  bool one = c.tables.size() + c.derived.size() == 1;
  for (size_t i = from + 1; i < wb; ++i) one = one && !(t_[i].depth == d && (is(t_[i], ",") || is(t_[i], "JOIN")));
  std::string rowids;
  bool fits = !c.opaque && c.derived.empty() && !c.tables.empty();
  for (auto& r : c.tables) {
    fits = fits && r.name != "DUAL" && r.dictionary.empty() && !cteNames_.count(r.name) && cat_.tableExists(r.name) &&
           !cat_.viewExists(r.name);
    rowids += ", " + quoteIdent(r.alias.empty() ? r.name : r.alias) + ".rowid";
  }
  bool walk = false;
  for (size_t i = we; i < size() && t_[i].depth >= d; ++i)
    walk = walk || (t_[i].depth == d && (is(t_[i], "CONNECT") || is(t_[i], "START")));
  for (size_t i = wb; i < we; ++i) walk = walk || outerMark(i);
  if (walk || !(one || fits)) throw OraError(900, "this ROWNUM condition is not supported");
  int64_t id = static_cast<int64_t>((std::hash<std::string>{}(src_) ^ (t_[wb].pos * 0x9E3779B97F4A7C15ULL)) >> 2);
  rownumPerRow_[wb] = {id, one ? std::string() : rowids};
  for (size_t i = cb; i < ce; ++i) {
    if (is(t_[i], "(") && (is(at(i + 1), "SELECT") || is(at(i + 1), "WITH"))) i = matching(i); // its own ROWNUM
    else if (is(t_[i], "ROWNUM") && !(i > 0 && is(t_[i - 1], "."))) replace_[i] = "ora_rownum_next(" + std::to_string(id) + ")";
  }
}

// The WHERE clause at wb, when a condition of it is worked out row by row: the whole of it goes
// into the call that counts the rows it lets through.
void Translator::rownumPerRowWhere(size_t wb, size_t we) {
  auto it = rownumPerRow_.find(wb);
  if (it == rownumPerRow_.end()) return;
  std::string cond = emit(wb + 1, we);
  replace_[wb] = "WHERE ora_rownum_pass((" + cond + "), " + std::to_string(it->second.first) + it->second.second + ")";
  for (size_t i = wb + 1; i < we; ++i) skip_[i] = 1;
  rownumPerRow_.erase(it);
}

// The last number a condition [cb, ce) on ROWNUM alone lets through, trying 1, 2, ... (-1 when
// it holds beyond every number tried); the condition is taken out of the WHERE clause.
int64_t Translator::rownumBound(size_t cb, size_t ce) {
  for (size_t i = cb; i < ce; ++i) {
    const Token& k = t_[i];
    bool constant = k.kind == Token::Num || k.kind == Token::Str || k.kind == Token::Op ||
                    (k.kind == Token::Ident && (k.text == "ROWNUM" || k.text == "NOT" || k.text == "AND" || k.text == "OR" ||
                                                k.text == "BETWEEN" || k.text == "IN" || k.text == "IS" || k.text == "NULL")) ||
                    (k.kind == Token::Ident && is(at(i + 1), "(") && !is(k, "SELECT")); // MOD(ROWNUM, 2) = 1
    if (!constant || is(k, ".")) throw OraError(900, "this ROWNUM condition is not supported");
  }
  for (size_t i = cb; i < ce; ++i) {
    pin_[i] = 1; // the bound is worked out from the condition as written
    if (is(t_[i], "ROWNUM")) replace_[i] = "\"N\"";
    // text beside ROWNUM is read as a number, as Oracle compares them
    if (t_[i].kind == Token::Str) replace_[i] = "ora_num(" + quoteString(t_[i].text) + ")";
  }
  const int64_t tries = 1000000;
  std::string cond = emit(cb, ce);
  std::string sql = "WITH RECURSIVE \"K$\"(\"N\") AS (SELECT 1 UNION ALL SELECT \"N\" + 1 FROM \"K$\" WHERE \"N\" < " +
                    std::to_string(tries) + " AND coalesce((" + cond + "), 0)) SELECT \"N\", coalesce((" + cond +
                    "), 0) FROM \"K$\" ORDER BY \"N\" DESC LIMIT 1";
  sqlite3_stmt* st = nullptr;
  int64_t bound = -1;
  int rc = sqlite3_prepare_v2(cat_.db(), sql.c_str(), -1, &st, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_step(st);
  if (rc == SQLITE_ROW) {
    bound = sqlite3_column_int(st, 1) ? -1 : sqlite3_column_int64(st, 0) - 1;
  } else {
    OraError e = fromSqlite(rc, sqlite3_errmsg(cat_.db()), "SELECT"); // ORA-01722 for text that is no number
    sqlite3_finalize(st);
    throw e;
  }
  sqlite3_finalize(st);
  replace_[cb] = "1 = 1";
  for (size_t i = cb + 1; i < ce; ++i) skip_[i] = 1;
  return bound;
}

// A query block whose WHERE clause limits ROWNUM to `limit`: Oracle numbers rows as they are
// found, before grouping and sorting. `out` holds the block's SELECT list so far.
std::string Translator::rownumRows(std::string out, const std::string& head, size_t listBegin, size_t from,
                                   size_t fromEnd, size_t whereEnd, size_t end, int d, int64_t limit,
                                   const std::string& joined, const std::string& walk) {
  // Oracle numbers rows as they are found, before grouping and sorting.
  bool plain = whereEnd == end && !head.ends_with("DISTINCT");
  for (size_t i = listBegin; plain && i < from; ++i) {
    if (t_[i].depth == d && t_[i].kind == Token::Ident &&
        ((aggregateFunction(t_[i].text) && is(at(i + 1), "(")) || is(t_[i], "OVER"))) // analytics too
      plain = false;
  }
  if (plain) {
    out += " " + (joined.empty() ? emit(from, end) : "FROM " + joined + " " + emit(fromEnd, end));
    // kept apart: SQLite would otherwise take an enclosing ORDER BY before the limit
    const std::string kept = quoteIdent("L$" + std::to_string(t_[from].pos));
    out = "SELECT * FROM (WITH " + kept + " AS MATERIALIZED (" + out + " LIMIT " + std::to_string(limit) +
          ") SELECT * FROM " + kept + ")";
  } else {
    // one subquery in FROM: its first rows that meet the condition, then the rest of the block
    bool lone = walk.empty() && joined.empty() && is(at(from + 1), "(") && ctx_.back().tables.empty() &&
                (matching(from + 1) + 1 == fromEnd || (matching(from + 1) + 2 == fromEnd && aliasToken(fromEnd - 1)));
    // or one view (DUAL, the dictionary's): no rowid tells its rows apart
    const auto& tables = ctx_.back().tables;
    bool view = walk.empty() && joined.empty() && tables.size() == 1 && !is(at(from + 1), "(") &&
                (tables[0].name == "DUAL" || !tables[0].dictionary.empty() || cat_.viewExists(tables[0].name)) &&
                (fromEnd == from + 2 || (fromEnd == from + 3 && aliasToken(from + 2)));
    std::string where = whereEnd > fromEnd ? " " + emit(fromEnd, whereEnd) : "";
    if (lone || view) {
      size_t close = lone ? matching(from + 1) : from + 1;
      std::string alias = fromEnd == close + 2 ? " " + quoteIdent(at(fromEnd - 1).text)
                          : view             ? " " + quoteIdent(tables[0].alias.empty() ? tables[0].name : tables[0].alias)
                                             : "";
      const std::string kept = quoteIdent("L$" + std::to_string(t_[from].pos));
      out += " FROM (WITH " + kept + " AS MATERIALIZED (SELECT * FROM " + emit(from + 1, fromEnd) + where + " LIMIT " +
             std::to_string(limit) + ") SELECT * FROM " + kept + ")" + alias + " " + emit(whereEnd, end);
    } else {
      std::string keys;
      bool ansi = false; // JOIN ... ON in the FROM clause
      for (size_t k = from + 1; k < fromEnd && !ansi; ++k) ansi = t_[k].depth == d && is(t_[k], "JOIN");
      if (walk.empty() && (!joined.empty() || ansi) && ctx_.back().derived.empty()) {
        // joined tables: a row is its tables' rows, an outer join's missing one counted as none
        for (auto& r : ctx_.back().tables) {
          if (r.name == "DUAL" || !r.dictionary.empty() || cat_.viewExists(r.name))
            throw OraError(900, "ROWNUM cannot limit this query here");
          keys += (keys.empty() ? "" : " || ',' || ") + std::string("coalesce(") +
                  quoteIdent(r.alias.empty() ? r.name : r.alias) + ".rowid, '')";
        }
        if (keys.empty()) throw OraError(900, "ROWNUM cannot limit this query here");
        auto source = [&] { return joined.empty() ? emit(from + 1, fromEnd) : joined; };
        std::string cond = "(" + keys + ") IN (SELECT " + keys + " FROM " + source() + where + " LIMIT " +
                           std::to_string(limit) + ")";
        out += " FROM " + source() + (where.empty() ? " WHERE " + cond : where + " AND " + cond) + " " +
               emit(whereEnd, end);
        return out;
      }
      // a walk's rows are told apart by their place in it
      if (!walk.empty() && joined.empty()) keys = "\"H$\".\"K$\"";
      for (auto& r : keys.empty() ? ctx_.back().tables : std::vector<TableRef>{}) {
        if (r.name == "DUAL" || !r.dictionary.empty() || cat_.viewExists(r.name) || !joined.empty())
          throw OraError(900, "ROWNUM cannot limit this query here");
        keys += (keys.empty() ? "" : ", ") + quoteIdent(r.alias.empty() ? r.name : r.alias) + ".rowid";
      }
      if (keys.empty() || (walk.empty() && ctx_.back().tables.size() != static_cast<size_t>(std::count_if(
                                t_.begin() + static_cast<long>(from), t_.begin() + static_cast<long>(fromEnd),
                                [&](const Token& k) { return k.depth == d && is(k, ","); })) + 1))
        throw OraError(900, "ROWNUM cannot limit this query here");
      // a walk numbers its rows in the order it finds them, depth first
      std::string cond = "(" + keys + ") IN (SELECT " + keys + " " + emit(from, fromEnd) + where +
                         (walk.empty() ? "" : " ORDER BY \"H$\".\"K$\"") + " LIMIT " + std::to_string(limit) + ")";
      out += " " + emit(from, fromEnd) + (where.empty() ? " WHERE " + cond : where + " AND " + cond) + " " +
             emit(whereEnd, end);
    }
  }
  return out;
}

// ROWNUM inside an aggregate or analytic call counts the rows as they pass WHERE, before they are
// grouped: each row's number is found by the ROWIDs of its tables among the rows of FROM and
// WHERE, numbered.
void Translator::rownumInAggregates(size_t lb, size_t from, size_t fromEnd, size_t whereEnd, size_t end, int d,
                                    bool grouped) {
  bool mentioned = false;
  for (size_t i = lb; i < end && !mentioned; ++i) mentioned = t_[i].kind == Token::Ident && t_[i].text == "ROWNUM";
  if (!mentioned) return;
  std::vector<size_t> found;
  auto scan = [&](size_t b, size_t e) {
    for (size_t i = b; i < e; ++i) {
      if (is(t_[i], "(") && (is(at(i + 1), "SELECT") || is(at(i + 1), "WITH"))) {
        i = matching(i); // a subquery numbers its own rows
        continue;
      }
      if (t_[i].depth != d || t_[i].kind != Token::Ident || !aggregateFunction(t_[i].text) || !is(at(i + 1), "("))
        continue;
      size_t close = matching(i + 1);
      for (size_t m = i + 2; m < close; ++m) {
        if (is(t_[m], "(") && (is(at(m + 1), "SELECT") || is(at(m + 1), "WITH"))) m = matching(m);
        else if (is(t_[m], "ROWNUM") && t_[m].kind == Token::Ident && !is(t_[m - 1], ".") && replace_[m].empty())
          found.push_back(m);
      }
      i = close;
    }
  };
  scan(lb, from);
  scan(whereEnd, end);
  if (found.empty()) return;
  const Context& c = ctx_.back();
  size_t items = 1;
  for (size_t i = from + 1; i < fromEnd; ++i)
    if (t_[i].depth == d && (is(t_[i], ",") || is(t_[i], "JOIN"))) ++items;
  bool marks = false, rownumWhere = false, walk = false; // (+) joins are written apart from WHERE
  for (size_t i = fromEnd; i < whereEnd; ++i) {
    marks = marks || outerMark(i);
    rownumWhere = rownumWhere || (is(t_[i], "ROWNUM") && !is(t_[i - 1], "."));
  }
  for (size_t i = fromEnd; i < end; ++i) walk = walk || (t_[i].depth == d && (is(t_[i], "CONNECT") || is(t_[i], "START")));
  if (marks || walk) throw OraError(900, "ROWNUM cannot be aggregated in this query here");
  bool rowids = !c.opaque && !c.tables.empty() && c.tables.size() == items;
  for (auto& r : c.tables)
    rowids = rowids && r.name != "DUAL" && r.dictionary.empty() && !cat_.viewExists(r.name);
  if (!rowids) {
    // one source without ROWIDs (a view, a subquery, DUAL): its rows, numbered as WHERE passes
    // them, take its place under its name
    bool star = false; // the numbered rows carry a column of their own that "*" would show
    for (size_t i = lb; i < from && !grouped; ++i) star = star || (t_[i].depth == d && is(t_[i], "*") && !is(at(i - 1), "("));
    if (items != 1 || rownumWhere || star) throw OraError(900, "ROWNUM cannot be aggregated in this query here");
    std::string alias;
    if (aliasToken(fromEnd - 1) && fromEnd - 1 > from + 1) alias = quoteIdent(at(fromEnd - 1).text);
    else if (c.tables.size() == 1) alias = quoteIdent(c.tables[0].name);
    std::string where = whereEnd > fromEnd ? " " + emit(fromEnd, whereEnd) : "";
    std::string numbered = "(SELECT *, row_number() OVER () AS \"RN$\" " + emit(from, fromEnd) + where + ")" +
                           (alias.empty() ? std::string() : " AS " + alias);
    replace_[from + 1] = numbered;
    for (size_t i = from + 2; i < whereEnd; ++i) skip_[i] = 1;
    if (whereEnd > fromEnd) replace_[fromEnd] = " "; // WHERE went in with the rows
    for (size_t m : found) replace_[m] = "\"RN$\"";
    return;
  }
  std::string keys, match;
  int n = 0;
  for (auto& r : c.tables) {
    std::string key = quoteIdent(r.alias.empty() ? r.name : r.alias) + ".rowid";
    std::string k = "\"K$" + std::to_string(++n) + "\"";
    keys += key + " AS " + k + ", ";
    match += std::string(match.empty() ? "" : " AND ") + "\"N$\"." + k + " IS " + key;
  }
  std::string where = whereEnd > fromEnd ? " " + emit(fromEnd, whereEnd) : "";
  std::string number = "(SELECT \"N$\".\"RN$\" FROM (SELECT " + keys + "row_number() OVER () AS \"RN$\" " +
                       emit(from, fromEnd) + where + ") AS \"N$\" WHERE " + match + ")";
  for (size_t m : found) replace_[m] = number;
}

std::vector<std::pair<size_t, size_t>> Translator::conjuncts(size_t b, size_t e, int d) const {
  std::vector<std::pair<size_t, size_t>> out;
  size_t start = b;
  int between = 0;
  for (size_t i = b; i < e; ++i) {
    if (t_[i].depth != d || t_[i].kind != Token::Ident) continue;
    if (t_[i].text == "BETWEEN") ++between;
    else if (t_[i].text == "AND") {
      if (between) { --between; continue; }
      out.emplace_back(start, i);
      start = i + 1;
    }
  }
  if (start < e) out.emplace_back(start, e);
  return out;
}

// Marks of Oracle's outer join: "(" "+" ")" right after a column.
bool Translator::outerMark(size_t i) const {
  return is(at(i), "(") && is(at(i + 1), "+") && is(at(i + 2), ")");
}

// Oracle's (+) joins in WHERE become LEFT JOINs: the tables named with (+) are joined after the
// others, on the conditions that carry the mark. Empty when the query has none.
std::string Translator::outerJoins(size_t fb, size_t fe, size_t wb, size_t we, int d) {
  auto subquerySpan = [&](size_t i) -> size_t { // end of a parenthesised subquery starting at i
    if (!(is(at(i), "(") && is(at(i + 1), "SELECT"))) return i;
    size_t j = i + 1;
    while (j < size() && !(t_[j].depth == t_[i].depth && is(t_[j], ")"))) ++j;
    return j;
  };
  bool any = false;
  if (wb < we && is(at(wb), "WHERE"))
    for (size_t i = wb + 1; i < we; ++i) {
      size_t j = subquerySpan(i);
      if (j != i) { i = j; continue; }
      if (outerMark(i)) { any = true; break; }
    }
  if (!any) return {};

  struct Item { size_t b, e; std::string id, name; bool outer = false, self = false; std::set<std::string> partners;
                std::vector<std::pair<size_t, size_t>> conds; };
  std::vector<Item> items;
  size_t b = fb;
  for (size_t i = fb; i <= fe; ++i) {
    if (i < fe && t_[i].depth == d && t_[i].kind == Token::Ident && (t_[i].text == "JOIN" || t_[i].text == "ON"))
      throw OraError(25156);
    if (i < fe && !(t_[i].depth == d && is(t_[i], ","))) continue;
    Item it{b, i, "", "", false, false, {}, {}};
    size_t last = i - 1;
    if (is(at(b), "(")) {
      size_t close = subquerySpan(b);
      it.id = close + 1 < i ? at(i - 1).text : "";
    } else {
      size_t n = b;
      if (is(at(b + 1), ".") ) n = b + 2;
      it.name = at(n).text;
      it.id = last > n ? at(last).text : it.name;
    }
    items.push_back(it);
    b = i + 1;
  }
  auto itemOf = [&](size_t i) -> int { // the FROM item a column reference at i belongs to
    const Token& k = at(i);
    if (is(at(i + 1), ".") && (at(i + 2).kind == Token::Ident || at(i + 2).kind == Token::QIdent)) {
      for (size_t n = 0; n < items.size(); ++n)
        if (items[n].id == k.text) return static_cast<int>(n);
      return -1;
    }
    for (size_t n = 0; n < items.size(); ++n) {
      if (items[n].name.empty()) continue;
      std::string v = dictionaryView(items[n].name, cat_.user());
      for (auto& c : cat_.columns(cat_.tableExists(items[n].name) || v.empty() ? items[n].name : dictionaryTable(v)))
        if (c.name == k.text) return static_cast<int>(n);
    }
    return -1;
  };
  for (auto [cb, ce] : conjuncts(wb + 1, we, d)) {
    int outer = -1;
    bool marked = false, subquery = false;
    std::set<int> others;
    for (size_t i = cb; i < ce; ++i) {
      size_t j = subquerySpan(i);
      if (j != i) { i = j; subquery = true; continue; }
      const Token& k = t_[i];
      if (k.kind == Token::Ident && (k.text == "OR" || k.text == "IN")) {
        for (size_t m = cb; m < ce; ++m)
          if (outerMark(m)) throw OraError(1719);
      }
      if ((k.kind != Token::Ident && k.kind != Token::QIdent) || keywordAt(t_, i) ||
          (is(at(i + 1), "(") && !outerMark(i + 1)) || (i > cb && is(at(i - 1), ".")))
        continue;
      size_t endRef = is(at(i + 1), ".") ? i + 3 : i + 1;
      int n = itemOf(i);
      if (outerMark(endRef)) {
        marked = true;
        // a table of an outer query is joined there, not here
        if (n < 0 && endRef == i + 3)
          for (size_t c = 0; c + 1 < ctx_.size(); ++c)
            for (auto& r : ctx_[c].tables)
              if ((r.alias.empty() ? r.name : r.alias) == k.text) throw OraError(1705).at(static_cast<int>(k.pos));
        if (n < 0) throw OraError(904, k.text);
        if (outer >= 0 && outer != n) throw OraError(1468);
        outer = n;
      } else if (n >= 0) {
        others.insert(n);
      }
      i = endRef - 1;
    }
    if (!marked) continue;
    if (subquery) throw OraError(1799);
    Item& it = items[outer];
    if (others.erase(outer)) it.self = true;
    it.outer = true;
    for (int o : others) it.partners.insert(items[o].id);
    it.conds.emplace_back(cb, ce);
  }
  for (auto& it : items) {
    if (it.partners.size() > 1) throw OraError(1417);
    for (auto& p : it.partners)
      for (auto& o : items)
        if (o.id == p && o.outer && o.partners.count(it.id)) throw OraError(1416);
  }
  // the (+) marks themselves are not emitted
  for (size_t i = wb; i < we; ++i)
    if (outerMark(i)) skip_[i] = skip_[i + 1] = skip_[i + 2] = 1;
  // a table marked only against constants or an outer query's columns joins nothing: its
  // conditions filter it as they would without the mark
  bool joins = false;
  for (auto& it : items) {
    if (it.outer && it.partners.empty() && !it.self) {
      it.outer = false;
      it.conds.clear();
    }
    joins = joins || it.outer;
  }
  if (!joins) return {};
  std::string out;
  for (auto& it : items)
    if (!it.outer) out += (out.empty() ? "" : ", ") + emit(it.b, it.e);
  if (out.empty()) throw OraError(1416);
  std::set<std::string> placed;
  for (auto& it : items)
    if (!it.outer) placed.insert(it.id);
  // an outer table joins after the table it is joined to
  for (size_t round = 0; round < items.size(); ++round)
    for (auto& it : items) {
      if (!it.outer || placed.count(it.id)) continue;
      if (!it.partners.empty() && !placed.count(*it.partners.begin())) continue;
      std::string on;
      for (auto [cb, ce] : it.conds) on += (on.empty() ? "" : " AND ") + emit(cb, ce);
      out += " LEFT JOIN " + emit(it.b, it.e) + " ON " + on;
      placed.insert(it.id);
    }
  for (auto& it : items)
    for (auto [cb, ce] : it.conds) {
      replace_[cb] = "1 = 1";
      for (size_t i = cb + 1; i < ce; ++i) skip_[i] = 1;
    }
  return out;
}

} // namespace ora::tx
