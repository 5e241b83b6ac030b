// Oracle's rules for where group functions and sort keys may stand in a query block, and the
// FETCH ... WITH TIES row limit.
#include "TranslateImpl.h"

#include "Number.h"

#include <algorithm>
#include <cstdlib>
#include <set>

namespace ora::tx {

// WHERE and GROUP BY of a query block hold no aggregate of its own (a subquery's are its own),
// and neither they nor HAVING an analytic function: those are computed after them.
void Translator::rejectAggregates(size_t b, size_t e, bool aggregates) const {
  for (size_t k = b; k < e && k < size(); ++k) {
    if (is(t_[k], "(") && (is(at(k + 1), "SELECT") || is(at(k + 1), "WITH"))) {
      k = matching(k);
      continue;
    }
    if (t_[k].kind == Token::Ident && analyticAt(k)) throw OraError(30483).at(static_cast<int>(t_[k].pos));
    // GROUPING, GROUPING_ID and GROUP_ID read the groups, as the aggregates do
    bool grouping = (is(t_[k], "GROUPING") || is(t_[k], "GROUPING_ID") || is(t_[k], "GROUP_ID")) && is(at(k + 1), "(") &&
                    !(k > 0 && is(t_[k - 1], "."));
    if (aggregates && (isAggregate(k) || grouping)) throw OraError(934).at(static_cast<int>(t_[k].pos));
  }
}

// * (or T.*) of a query with a plain GROUP BY: every column it stands for must be grouped.
void Translator::checkGroupedStar(size_t i, size_t ie, const std::vector<std::pair<size_t, size_t>>& gs) const {
  bool plain = std::none_of(gs.begin(), gs.end(), [&](const std::pair<size_t, size_t>& g) {
    return is(t_[g.first], "ROLLUP") || is(t_[g.first], "CUBE") || is(t_[g.first], "GROUPING") || is(t_[g.first], "(");
  });
  if (!plain || ctx_.empty()) return;
  std::string q = ie - 1 > i ? t_[i].text : std::string();
  for (auto& r : ctx_.back().tables) {
    if (!q.empty() && r.alias != q && !(r.alias.empty() && r.name == q)) continue;
    if (r.name == "DUAL" || cteNames_.count(r.name) || !r.dictionary.empty() || !cat_.tableExists(r.name)) continue;
    for (auto& c : cat_.columns(r.name)) {
      bool grouped = std::any_of(gs.begin(), gs.end(), [&](const std::pair<size_t, size_t>& g) {
        return (g.second == g.first + 1 || (g.second == g.first + 3 && is(t_[g.first + 1], "."))) &&
               t_[g.second - 1].text == c.name;
      });
      if (!grouped) throw OraError(979).at(static_cast<int>(t_[ie - 1].pos));
    }
  }
}

// An aggregate's argument holds no analytic function: those are computed after the groups; nor
// does an analytic function's.
void Translator::rejectNestedWindows(size_t b, size_t e) const {
  for (size_t k = b; k < e && k < size(); ++k) {
    if (is(t_[k], "(") && (is(at(k + 1), "SELECT") || is(at(k + 1), "WITH"))) {
      k = matching(k);
      continue;
    }
    // nor does an analytic function's
    bool analytic = t_[k].kind == Token::Ident && !isAggregate(k) && is(at(k + 1), "(") && analyticAt(k);
    if (!isAggregate(k) && !analytic) continue;
    size_t close = matching(k + 1), window = analyticAt(k);
    auto reject = [&](size_t b, size_t e) {
      for (size_t x = b; x < e; ++x)
        if (t_[x].kind == Token::Ident && analyticAt(x)) throw OraError(30483).at(static_cast<int>(t_[x].pos));
    };
    reject(k + 2, close);
    // the window's own keys too: RANK() OVER (ORDER BY SUM(SAL) OVER ())
    size_t over = close + 1;
    while (window && over < window && !(is(t_[over], "OVER") && t_[over].depth == t_[k].depth)) ++over;
    if (window) reject(over + 1, window);
    k = window ? window - 1 : close;
  }
}

// ORDER BY of a compound query names the first block's columns (or their positions) and no
// expression; that of SELECT DISTINCT only what is selected; a position is one of the columns.
void Translator::checkOrderBy() const {
  static const std::set<std::string> setOps = {"UNION", "INTERSECT", "MINUS", "EXCEPT"};
  for (size_t o = 1; o + 1 < size(); ++o) {
    if (!is(t_[o], "ORDER") || !is(t_[o + 1], "BY")) continue;
    int d = t_[o].depth;
    size_t b = o;
    bool compound = false;
    while (b > 0 && t_[b - 1].depth >= d) {
      --b;
      if (t_[b].depth == d && t_[b].kind == Token::Ident && setOps.count(t_[b].text)) compound = true;
    }
    if (!is(t_[b], "SELECT") && !is(t_[b], "WITH") && !is(t_[b], "(")) continue; // a window's
    size_t sel = o;
    for (int depth : {d, d + 1}) {
      for (size_t k = b; k < o && sel == o; ++k)
        if (t_[k].depth == depth && is(t_[k], "SELECT")) sel = k;
      if (sel != o) break;
    }
    if (sel == o) continue;
    int sd = t_[sel].depth;
    bool distinct = is(at(sel + 1), "DISTINCT") || is(at(sel + 1), "UNIQUE");
    size_t lb = sel + 1 + (distinct || is(at(sel + 1), "ALL") ? 1 : 0);
    size_t fr = lb;
    while (fr < o && !(t_[fr].depth == sd && is(t_[fr], "FROM"))) ++fr;
    if (fr >= o) continue;
    // the first block's columns: their names and texts
    std::vector<std::string> names, texts;
    bool star = false;
    for (size_t i = lb; i < fr;) {
      size_t ie = i;
      while (ie < fr && !(t_[ie].depth == sd && is(t_[ie], ","))) ++ie;
      size_t exprEnd = ie;
      std::string name;
      if (is(t_[ie - 1], "*")) star = true;
      else if (ie - i >= 2 && aliasToken(ie - 1) && !is(t_[ie - 2], "CONNECT_BY_ROOT") && !is(t_[ie - 2], "PRIOR") &&
               (is(t_[ie - 2], "AS") || !(t_[ie - 2].kind == Token::Op && t_[ie - 2].text != ")"))) {
        name = t_[ie - 1].text;
        exprEnd = is(t_[ie - 2], "AS") ? ie - 2 : ie - 1;
      } else if (ie - i == 1 && (t_[i].kind == Token::Ident || t_[i].kind == Token::QIdent)) name = t_[i].text;
      else if (ie - i == 3 && is(t_[i + 1], ".")) name = t_[i + 2].text;
      std::string text;
      for (size_t m = i; m < exprEnd; ++m) text += t_[m].text + " ";
      names.push_back(name);
      texts.push_back(text);
      i = ie < fr ? ie + 1 : ie;
    }
    if (star) continue;
    size_t tb = o + 2;
    for (size_t k = tb;; ++k) {
      bool last = k >= size() || t_[k].depth < d ||
                  (t_[k].depth == d && (is(t_[k], "OFFSET") || is(t_[k], "FETCH") || is(t_[k], "FOR")));
      if (!last && !(t_[k].depth == d && is(t_[k], ","))) continue;
      size_t te = k;
      while (te > tb && t_[te - 1].depth == d &&
             (is(t_[te - 1], "ASC") || is(t_[te - 1], "DESC") || is(t_[te - 1], "FIRST") || is(t_[te - 1], "LAST")))
        --te;
      if (te > tb && is(t_[te - 1], "NULLS")) --te;
      if (te == tb + 1 && t_[tb].kind == Token::Num) {
        double n = cStrtod(t_[tb].text.c_str());
        if (n < 1 || n >= static_cast<double>(names.size()) + 1) throw OraError(1785).at(static_cast<int>(t_[tb].pos));
      } else if (te > tb) {
        bool plain = te == tb + 1 && (t_[tb].kind == Token::Ident || t_[tb].kind == Token::QIdent);
        bool qualified = te == tb + 3 && is(t_[tb + 1], ".");
        std::string text;
        for (size_t m = tb; m < te; ++m) text += t_[m].text + " ";
        bool listed = std::find(texts.begin(), texts.end(), text) != texts.end() ||
                      (plain && std::find(names.begin(), names.end(), t_[tb].text) != names.end());
        // a name two different select items go by does not say which one to sort by
        if (plain && !compound) {
          const std::string* first = nullptr;
          for (size_t c = 0; c < names.size(); ++c) {
            if (names[c] != t_[tb].text) continue;
            if (first && *first != texts[c]) throw OraError(960).at(static_cast<int>(t_[tb].pos));
            first = &texts[c];
          }
        }
        if (compound && plain && !listed) throw OraError(904, t_[tb].text).at(static_cast<int>(t_[tb].pos));
        if (compound && qualified) throw OraError(904, t_[tb].text + "." + t_[tb + 2].text).at(static_cast<int>(t_[tb].pos));
        if (compound && !listed) throw OraError(1785).at(static_cast<int>(t_[tb].pos));
        if (distinct && !listed && (plain || qualified) &&
            !(qualified && std::find(names.begin(), names.end(), t_[tb + 2].text) != names.end()))
          throw OraError(1791).at(static_cast<int>(t_[tb].pos));
      }
      if (last) break;
      tb = k + 1;
    }
  }
}

// HAVING and ORDER BY of a grouped block name only what the groups give (ORA-00979); ORDER BY
// may also name a select-list alias or position.
void Translator::checkGroupedClauses(size_t s, size_t b, size_t e, const std::vector<std::pair<size_t, size_t>>& groups,
                                     const std::vector<std::string>& aliases) {
  static const std::set<std::string> setOps = {"UNION", "INTERSECT", "MINUS", "EXCEPT"};
  int d = t_[s].depth;
  for (size_t k = b; k < e; ++k) // a compound's ORDER BY sorts the whole, not this block
    if (t_[k].depth == d && t_[k].kind == Token::Ident && setOps.count(t_[k].text)) return;
  for (size_t k = s; k > 0 && t_[k - 1].depth >= d; --k)
    if (t_[k - 1].depth == d && t_[k - 1].kind == Token::Ident && setOps.count(t_[k - 1].text)) return;
  for (size_t k = b; k + 1 < e; ++k) {
    if (t_[k].depth != d) continue;
    if (is(t_[k], "HAVING")) {
      size_t he = clauseEnd(k + 1, e, d, {"GROUP", "ORDER"});
      for (size_t m = k + 1; m < he; ++m) // up to a row limit
        if (t_[m].depth == d && (is(t_[m], "FETCH") || is(t_[m], "OFFSET")) && keywordAt(t_, m)) he = m;
      checkGrouped(k + 1, he, groups, true);
    }
    if (is(t_[k], "ORDER") && is(t_[k + 1], "BY")) {
      size_t tb = k + 2;
      for (size_t m = tb;; ++m) {
        bool last = m >= e || (t_[m].depth == d && (is(t_[m], "OFFSET") || is(t_[m], "FETCH")));
        if (!last && !(t_[m].depth == d && is(t_[m], ","))) continue;
        size_t te = m;
        while (te > tb && t_[te - 1].depth == d &&
               (is(t_[te - 1], "ASC") || is(t_[te - 1], "DESC") || is(t_[te - 1], "FIRST") || is(t_[te - 1], "LAST")))
          --te;
        if (te > tb && is(t_[te - 1], "NULLS")) --te;
        bool alias = te == tb + 1 && (t_[tb].kind == Token::Ident || t_[tb].kind == Token::QIdent) &&
                     std::find(aliases.begin(), aliases.end(), t_[tb].text) != aliases.end();
        bool position = te == tb + 1 && t_[tb].kind == Token::Num;
        // (its terms are already rewritten for Oracle's order of NULLs)
        if (!alias && !position && te > tb) checkGrouped(tb, te, groups, true, false);
        if (last) break;
        tb = m + 1;
      }
    }
  }
}

// The FETCH of "ORDER BY ... FETCH FIRST|NEXT n ROW[S] WITH TIES" in [b, e) whose sort keys the
// ranking can use as they are (no position, no select-list alias, no OFFSET); 0 when none.
size_t Translator::withTies(size_t b, size_t e, const std::vector<std::string>& aliases, size_t& order) const {
  int d = b < size() ? t_[b].depth : 0;
  size_t fetch = 0;
  order = 0;
  for (size_t k = b; k + 1 < e; ++k) {
    if (t_[k].depth != d) continue;
    if (is(t_[k], "ORDER") && is(t_[k + 1], "BY")) order = k;
    if (is(t_[k], "FETCH") && keywordAt(t_, k)) fetch = k;
    bool percent = fetch && is(t_[k], "PERCENT");
    if (percent || (fetch && is(t_[k], "WITH") && is(t_[k + 1], "TIES"))) {
      if (!order) return percent ? fetch : 0;
      for (size_t m = order + 2; m < fetch; ++m) {
        bool single = (m == order + 2 || is(t_[m - 1], ",")) && (m + 1 == fetch || is(t_[m + 1], ",") ||
                      is(t_[m + 1], "ASC") || is(t_[m + 1], "DESC") || is(t_[m + 1], "NULLS"));
        if (!single) continue;
        if (t_[m].kind == Token::Num) return 0;
        if (std::find(aliases.begin(), aliases.end(), t_[m].text) != aliases.end()) return 0;
      }
      return fetch;
    }
  }
  return 0;
}

// "ORDER BY ... FETCH ... PERCENT | WITH TIES" in [b, e) whose sort keys all name result
// columns (by position or name): the ORDER BY's place, 0 when there is none; `keys` gets the
// order over the result's columns, nulls placed as Oracle places them.
size_t Translator::outputTies(size_t b, size_t e, const std::vector<std::string>& aliases,
                              const std::vector<std::string>& outNames, std::string& keys) const {
  int d = b < size() ? t_[b].depth : 0;
  size_t order = 0, fetch = 0;
  bool ranked = false;
  for (size_t k = b; k + 1 < e; ++k) {
    if (t_[k].depth != d) continue;
    if (is(t_[k], "ORDER") && is(t_[k + 1], "BY")) order = k;
    if (is(t_[k], "FETCH") && keywordAt(t_, k)) fetch = k;
    ranked = ranked || (fetch && (is(t_[k], "PERCENT") || (is(t_[k], "WITH") && is(t_[k + 1], "TIES"))));
  }
  if (!order || !fetch || !ranked) return 0;
  size_t keysEnd = fetch;
  for (size_t k = order + 2; k < fetch; ++k)
    if (t_[k].depth == d && is(t_[k], "OFFSET") && keywordAt(t_, k)) keysEnd = k;
  keys.clear();
  for (size_t kb = order + 2; kb < keysEnd;) {
    size_t ke = kb;
    while (ke < keysEnd && !(t_[ke].depth == d && is(t_[ke], ","))) ++ke;
    std::string column;
    const Token& k = t_[kb];
    if (k.kind == Token::Num && k.text.find_first_not_of("0123456789") == std::string::npos) {
      size_t n = static_cast<size_t>(std::atoll(k.text.c_str()));
      if (n < 1 || n > outNames.size()) throw OraError(1785).at(static_cast<int>(k.pos));
      column = outNames[n - 1];
    } else if ((k.kind == Token::Ident || k.kind == Token::QIdent) &&
               (std::find(aliases.begin(), aliases.end(), k.text) != aliases.end() ||
                std::find(outNames.begin(), outNames.end(), k.text) != outNames.end())) {
      column = k.text;
    } else {
      return 0;
    }
    size_t m = kb + 1;
    bool desc = false;
    if (m < ke && (is(t_[m], "ASC") || is(t_[m], "DESC"))) desc = is(t_[m++], "DESC");
    std::string nulls = desc ? " NULLS FIRST" : " NULLS LAST";
    if (m + 1 < ke + 1 && m < ke && is(t_[m], "NULLS")) nulls = is(at(m + 1), "FIRST") ? " NULLS FIRST" : " NULLS LAST", m += 2;
    if (m != ke) return 0;
    keys += (keys.empty() ? "" : ", ") + quoteIdent(column) + (desc ? " DESC" : "") + nulls;
    kb = ke + 1;
  }
  return keys.empty() ? 0 : order;
}

// The rows of `inner` (a query block without its ORDER BY) that the row limit after `order`
// keeps, ranked by `keys` over its result columns.
std::string Translator::rankedRows(const std::string& inner, size_t order, size_t e, const std::string& keys,
                                   const std::vector<std::string>& outNames) {
  int d = t_[order].depth;
  size_t fetch = order, offset = 0;
  for (size_t k = order; k < e; ++k) {
    if (t_[k].depth != d || !keywordAt(t_, k)) continue;
    if (is(t_[k], "OFFSET")) offset = k;
    if (is(t_[k], "FETCH")) fetch = k;
  }
  auto upTo = [&](size_t k, std::initializer_list<const char*> words) {
    while (k < e && !(t_[k].depth == d && std::any_of(words.begin(), words.end(), [&](const char* w) { return is(t_[k], w); })))
      ++k;
    return k;
  };
  std::string skipped = "0";
  if (offset) skipped = "coalesce(MAX(0, CAST(" + emit(offset + 1, upTo(offset + 1, {"ROW", "ROWS"})) + " AS INTEGER)), 9223372036854775807)";
  size_t x = upTo(fetch + 2, {"ROW", "ROWS", "PERCENT"});
  bool percent = is(at(x), "PERCENT");
  bool ties = false;
  for (size_t m = x; m + 1 < e; ++m) ties = ties || (is(t_[m], "WITH") && is(t_[m + 1], "TIES"));
  std::string count = x > fetch + 2 ? "coalesce(" + emit(fetch + 2, x) + ", 0)" : "1";
  std::string over = "OVER (ORDER BY " + keys + ")", place = ties ? "\"T$R\"" : "\"T$N\"";
  std::string cols;
  for (auto& n : outNames) cols += (cols.empty() ? "" : ", ") + quoteIdent(n);
  std::string within = "\"T$N\" > " + skipped + " AND " +
                       (percent ? "(" + place + " - " + skipped + " - 1) * 100 < \"T$C\" * (" + count + ")"
                                : place + " <= " + skipped + " + CAST(" + count + " AS INTEGER)");
  return "SELECT " + cols + " FROM (SELECT *, RANK() " + over + " AS \"T$R\", ROW_NUMBER() " + over +
         " AS \"T$N\", COUNT(*) OVER () AS \"T$C\" FROM (" + inner + ")) WHERE " + within + " ORDER BY \"T$N\"";
}

// How many values [b, e) holds: a list in parentheses (also wrapped once more) counts its
// members; 0 for a subquery, whose width its own translation checks.
size_t Translator::rowWidth(size_t b, size_t e) const {
  while (e > b + 2 && is(t_[b], "(") && is(t_[b + 1], "(") && matching(b) + 1 == e && matching(b + 1) + 2 == e) ++b, --e;
  if (e > b + 1 && is(t_[b], "(") && (is(t_[b + 1], "SELECT") || is(t_[b + 1], "WITH"))) return 0;
  if (!rowAt(b, e)) return 1;
  size_t n = 1;
  for (size_t k = b + 1; k + 1 < e; ++k)
    if (t_[k].depth == t_[b].depth + 1 && is(t_[k], ",")) ++n;
  return n;
}

// Two sets of values compared hold as many each: ORA-00913 when the second holds more, ORA-00947
// when it holds fewer, marked at the second. With list, [rb, re) is an IN list of such sets.
void Translator::checkRowWidths(size_t lb, size_t le, size_t rb, size_t re, bool list) const {
  size_t want = rowWidth(lb, le);
  if (!want) return;
  auto check = [&](size_t b, size_t e) {
    size_t got = rowWidth(b, e);
    if (got && got != want) throw OraError(got > want ? 913 : 947).at(static_cast<int>(t_[b].pos));
  };
  if (!list) return check(rb, re);
  if (re < rb + 2 || !is(t_[rb], "(") || is(t_[rb + 1], "SELECT") || is(t_[rb + 1], "WITH")) return;
  // a single value's list holds plain values, a list's holds sets
  if (want == 1) {
    for (size_t k = rb + 1, b = rb + 1; k < re; ++k)
      if (k + 1 == re || (t_[k].depth == t_[rb].depth + 1 && is(t_[k], ","))) {
        if (rowAt(b, k)) check(b, k);
        b = k + 1;
      }
    return;
  }
  for (size_t k = rb + 1, b = rb + 1; k < re; ++k)
    if (k + 1 == re || (t_[k].depth == t_[rb].depth + 1 && is(t_[k], ","))) {
      check(b, k);
      b = k + 1;
    }
}

} // namespace ora::tx
