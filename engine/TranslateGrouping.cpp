// GROUP BY ROLLUP (...) and CUBE (...): the query block runs once per grouping set, the columns
// a set leaves out read NULL, and the results are put together.
#include "TranslateImpl.h"

namespace ora::tx {

std::string Translator::groupingSets(size_t s, size_t e, size_t& next) {
  int d = t_[s].depth;
  static const std::set<std::string> fromStops = {"WHERE", "GROUP", "ORDER", "HAVING", "UNION", "INTERSECT",
                                                  "MINUS", "EXCEPT", "CONNECT", "START", "FOR"};
  static const std::set<std::string> setOps = {"UNION", "INTERSECT", "MINUS", "EXCEPT"};
  size_t from = clauseEnd(s + 1, e, d, {"FROM"});
  if (from >= e) return {};
  size_t fromEnd = clauseEnd(from + 1, e, d, fromStops);
  size_t end = clauseEnd(fromEnd, e, d, setOps);
  size_t groupAt = 0;
  for (size_t i = fromEnd; i + 1 < end && !groupAt; ++i)
    if (t_[i].depth == d && is(t_[i], "GROUP") && is(t_[i + 1], "BY")) groupAt = i;
  if (!groupAt) return {};
  size_t groupEnd = clauseEnd(groupAt + 2, end, d, {"HAVING", "ORDER", "OFFSET", "FETCH"});
  // a row limit applies to the rows of all the sets together
  size_t tail = end;
  for (size_t i = groupEnd; i < tail; ++i)
    if (t_[i].depth == d && (is(t_[i], "OFFSET") || is(t_[i], "FETCH")) && keywordAt(t_, i)) {
      end = i;
      break;
    }
  bool compound = setOps.count(at(tail).text) || (s > 0 && (setOps.count(t_[s - 1].text) || is(t_[s - 1], "ALL")));
  size_t orderAt = 0;
  for (size_t i = groupEnd; i + 1 < end && !orderAt; ++i)
    if (t_[i].depth == d && is(t_[i], "ORDER") && is(t_[i + 1], "BY")) orderAt = i;

  // the GROUP BY list: plain expressions, and ROLLUP / CUBE lists
  using Range = std::pair<size_t, size_t>;
  std::vector<Range> plain, rolled;
  std::vector<std::vector<std::vector<Range>>> choices; // per ROLLUP / CUBE / GROUPING SETS: the lists it adds
  bool cube = false;
  auto note = [&](Range r) {
    if (std::none_of(rolled.begin(), rolled.end(), [&](Range x) {
          return x.second - x.first == r.second - r.first &&
                 std::equal(t_.begin() + static_cast<long>(r.first), t_.begin() + static_cast<long>(r.second),
                            t_.begin() + static_cast<long>(x.first),
                            [](const Token& p, const Token& q) { return p.kind == q.kind && p.text == q.text; });
        }))
      rolled.push_back(r);
  };
  // the expressions of an element: (a, b) is a composite of both, () none, else the element itself
  auto element = [&](size_t eb, size_t ee) {
    std::vector<Range> set;
    if (ee == eb) throw OraError(936);
    if (is(at(eb), "(") && matching(eb) + 1 == ee) {
      int inner = t_[eb].depth + 1;
      for (size_t x = eb + 1, xb = x; x <= ee - 1; ++x)
        if (x == ee - 1 || (t_[x].depth == inner && is(t_[x], ","))) {
          if (x > xb) set.emplace_back(xb, x);
          else if (x < ee - 1) throw OraError(936);
          xb = x + 1;
        }
    } else {
      set.emplace_back(eb, ee);
    }
    for (auto r : set) note(r);
    return set;
  };
  // ROLLUP (...) or CUBE (...) at rb: the sets it stands for
  auto rollup = [&](size_t rb) {
    std::vector<std::vector<Range>> items;
    size_t close = matching(rb + 1), ib = rb + 2;
    int inner = t_[rb].depth + 1;
    for (size_t k = ib; k <= close; ++k)
      if (k == close || (t_[k].depth == inner && is(t_[k], ","))) {
        items.push_back(element(ib, k));
        ib = k + 1;
      }
    std::vector<std::vector<Range>> sets;
    if (is(at(rb), "ROLLUP")) {
      for (size_t n = items.size() + 1; n-- > 0;) {
        std::vector<Range> set;
        for (size_t k = 0; k < n; ++k) set.insert(set.end(), items[k].begin(), items[k].end());
        sets.push_back(set);
      }
    } else {
      cube = true;
      if (items.size() > 12) throw OraError(900, "too many grouping sets");
      for (size_t mask = (size_t{1} << items.size()); mask-- > 0;) {
        std::vector<Range> set;
        for (size_t k = 0; k < items.size(); ++k)
          if (mask & (size_t{1} << (items.size() - 1 - k))) set.insert(set.end(), items[k].begin(), items[k].end());
        sets.push_back(set);
      }
    }
    return sets;
  };
  auto rollupAt = [&](size_t x, size_t xe) {
    return (is(at(x), "ROLLUP") || is(at(x), "CUBE")) && is(at(x + 1), "(") && matching(x + 1) + 1 == xe;
  };
  size_t b = groupAt + 2;
  for (size_t m = b; m <= groupEnd; ++m) {
    if (m < groupEnd && !(t_[m].depth == d && is(t_[m], ","))) continue;
    bool sets = is(at(b), "GROUPING") && is(at(b + 1), "SETS") && is(at(b + 2), "(") && matching(b + 2) + 1 == m;
    if (sets) {
      // each element is one set: (a, b), a, or () for the grand total; or the sets of a ROLLUP or CUBE
      std::vector<std::vector<Range>> options;
      size_t close = matching(b + 2), ib = b + 3;
      for (size_t k = ib; k <= close; ++k) {
        if (k < close && !(t_[k].depth == d + 1 && is(t_[k], ","))) continue;
        if (rollupAt(ib, k)) {
          auto more = rollup(ib);
          options.insert(options.end(), more.begin(), more.end());
        } else {
          options.push_back(element(ib, k));
        }
        ib = k + 1;
      }
      choices.push_back(options);
    } else if (rollupAt(b, m)) {
      choices.push_back(rollup(b));
    } else if (is(at(b), "(") && is(at(b + 1), ")") && b + 2 == m) {
      choices.push_back({{}}); // () : the one group of all rows
    } else {
      plain.emplace_back(b, m);
    }
    b = m + 1;
  }
  if (choices.empty()) {
    // a plain GROUP BY has one grouping set: GROUPING, GROUPING_ID and GROUP_ID still answer 0
    bool asks = false;
    for (size_t i = s + 1; i < end && !asks; ++i) {
      if (is(t_[i], "(") && is(at(i + 1), "SELECT")) {
        i = matching(i); // a subquery's own
        continue;
      }
      asks = (is(t_[i], "GROUPING") || is(t_[i], "GROUPING_ID") || is(t_[i], "GROUP_ID")) && is(at(i + 1), "(");
    }
    if (!asks) return {};
    choices.push_back({{}});
  }
  size_t total = 1;
  for (auto& c : choices) total *= c.size();
  if (total > 256) throw OraError(900, "too many grouping sets");

  auto same = [&](size_t x, Range r) {
    for (size_t k = 0; k < r.second - r.first; ++k)
      if (x + k >= t_.size() || t_[x + k].kind != t_[r.first + k].kind || t_[x + k].text != t_[r.first + k].text)
        return false;
    return true;
  };
  // every column of the block must be grouped by one of the expressions
  std::vector<Range> all = plain;
  all.insert(all.end(), rolled.begin(), rolled.end());
  size_t listBegin = s + 1;
  if (is(at(listBegin), "DISTINCT") || is(at(listBegin), "UNIQUE") || is(at(listBegin), "ALL")) ++listBegin;

  // a select-list alias is no column the groups may name
  {
    Context c;
    parseFrom(from + 1, fromEnd, c);
    ctx_.push_back(c);
    std::set<std::string> columns;
    bool known = columnsInScope(columns);
    ctx_.pop_back();
    for (auto r : known ? all : std::vector<Range>{}) {
      const Token& n = t_[r.first];
      if (r.second != r.first + 1 || (n.kind != Token::Ident && n.kind != Token::QIdent) || columns.count(n.text)) continue;
      for (size_t k = listBegin + 1; k < from; ++k)
        if (t_[k].depth == d && t_[k].kind == n.kind && t_[k].text == n.text && aliasToken(k) &&
            (k + 1 == from || is(t_[k + 1], ",")))
          throw OraError(904, "\"" + n.text + "\"").at(static_cast<int>(n.pos));
    }
  }
  std::vector<std::vector<Range>> sets = {plain};
  for (auto& options : choices) {
    std::vector<std::vector<Range>> more;
    for (auto& base : sets)
      for (auto& add : options) {
        auto set = base;
        set.insert(set.end(), add.begin(), add.end());
        more.push_back(set);
      }
    sets = std::move(more);
  }

  // "*" and "T.*" stand for their columns, each read NULL in the sets that roll it up
  struct Star {
    size_t b, e;
    std::vector<std::pair<std::string, std::string>> cols; // qualifier and name
  };
  std::vector<Star> stars;
  bool joinedNames = false; // NATURAL and USING columns belong to neither table
  for (size_t i = from + 1; i < fromEnd; ++i)
    joinedNames = joinedNames || (t_[i].depth == d && (is(t_[i], "NATURAL") || is(t_[i], "USING")));
  size_t fromClose = is(at(from + 1), "(") ? matching(from + 1) : 0;
  bool lone = fromClose && (fromClose + 1 == fromEnd || (fromClose + 2 == fromEnd && aliasToken(fromEnd - 1)));
  if (!joinedNames) {
    Context c;
    parseFrom(from + 1, fromEnd, c);
    for (size_t ib = listBegin, m = ib; m <= from; ++m) {
      if (m < from && !(t_[m].depth == d && is(t_[m], ","))) continue;
      Star st{ib, m, {}};
      if (starColumns(ib, m, c, lone, st.cols)) {
        for (auto& col : st.cols) {
          const std::string &q = col.first, &name = col.second; // lambdas take no bindings in every compiler
          bool in = std::any_of(all.begin(), all.end(), [&](Range x) {
            return t_[x.second - 1].text == name &&
                   (x.second == x.first + 1 || (x.second == x.first + 3 && is(t_[x.first + 1], ".") && t_[x.first].text == q));
          });
          if (!in) throw OraError(979).at(static_cast<int>(t_[m - 1].pos));
          ColType ty;
          if (sourceColumnType(c, q, name, ty)) tr_.inferred[name] = ty; // the union's columns keep their types
        }
        stars.push_back(std::move(st));
      }
      ib = m + 1;
    }
  }
  auto starAt = [&](size_t ib) -> const Star* {
    for (auto& st : stars)
      if (st.b == ib) return &st;
    return nullptr;
  };

  size_t havingEnd = orderAt ? orderAt : end;
  // select items with analytic functions are computed over all the sets' rows together: each
  // set gives what they read (aggregates, GROUPING values, grouped columns) as hidden columns
  struct Analytic {
    size_t b, e;                 // the expression, without its alias
    std::vector<Range> leaves;   // what the sets give, each as "A$n"
  };
  std::vector<Analytic> analytics;
  size_t leafCount = 0;
  for (size_t ib = listBegin, m = ib; m <= from; ++m) {
    if (m < from && !(t_[m].depth == d && is(t_[m], ","))) continue;
    size_t ie = m;
    if (ie - ib >= 2 && aliasToken(ie - 1) && (is(t_[ie - 2], "AS") || !(t_[ie - 2].kind == Token::Op && t_[ie - 2].text != ")")))
      ie -= is(t_[ie - 2], "AS") ? 2 : 1;
    bool any = false;
    for (size_t k = ib; k < ie && !any; ++k) any = t_[k].kind == Token::Ident && analyticAt(k);
    if (any) {
      static const std::set<std::string> windowWords = {"PARTITION", "BY", "ORDER", "ROWS", "RANGE", "GROUPS",
          "BETWEEN", "UNBOUNDED", "PRECEDING", "FOLLOWING", "CURRENT", "ROW", "AND", "ASC", "DESC", "NULLS", "FIRST", "LAST",
          "OVER", "EXCLUDE", "GROUP", "TIES", "NO", "OTHERS"};
      Analytic a{ib, ie, {}};
      for (size_t k = ib; k < ie; ++k) {
        const Token& x = t_[k];
        if (isAggregate(k)) {
          size_t le = matching(k + 1) + 1;
          if (is(at(le), "KEEP") && is(at(le + 1), "(")) le = matching(le + 1) + 1;
          if (is(at(le), "WITHIN") && is(at(le + 1), "GROUP")) le = matching(le + 2) + 1;
          a.leaves.emplace_back(k, le);
          k = le - 1;
        } else if ((is(x, "GROUPING") || is(x, "GROUPING_ID") || is(x, "GROUP_ID")) && is(at(k + 1), "(")) {
          a.leaves.emplace_back(k, matching(k + 1) + 1);
          k = matching(k + 1);
        } else if ((x.kind == Token::Ident && !keywordAt(t_, k) && !windowWords.count(x.text) && !is(at(k + 1), "(")) ||
                   x.kind == Token::QIdent) {
          size_t le = k + 1;
          if (is(at(le), ".") && (at(le + 1).kind == Token::Ident || at(le + 1).kind == Token::QIdent)) le += 2;
          a.leaves.emplace_back(k, le);
          k = le - 1;
        }
      }
      leafCount += a.leaves.size();
      analytics.push_back(a);
    }
    ib = m + 1;
  }
  auto savedReplace = replace_;
  auto savedSkip = skip_;
  std::vector<std::string> parts;
  auto text = [&](Range r) {
    std::string x;
    for (size_t k = r.first; k < r.second; ++k) x += t_[k].text + " ";
    return x;
  };
  // ORDER BY keys that are neither a position nor a result column's name are carried out of each
  // set as hidden columns, so the sort can see what the select list leaves out
  struct Key {
    size_t b, e;
    bool desc, nullsFirst, hidden;
  };
  std::vector<Key> keys;
  std::vector<std::string> names;
  for (size_t kb = orderAt + 2, m = kb; orderAt && m <= end; ++m) {
    if (m < end && !(t_[m].depth == d && is(t_[m], ","))) continue;
    Key k{kb, m, false, false, false};
    bool nullsSaid = false;
    if (k.e - k.b >= 2 && is(t_[k.e - 2], "NULLS")) {
      nullsSaid = true;
      k.nullsFirst = is(t_[k.e - 1], "FIRST");
      k.e -= 2;
    }
    if (k.e > k.b && (is(t_[k.e - 1], "DESC") || is(t_[k.e - 1], "ASC"))) k.desc = is(t_[--k.e], "DESC");
    if (k.e == k.b) throw OraError(936);
    if (!nullsSaid) k.nullsFirst = k.desc; // NULL sorts as the largest value
    bool named = false; // a result column's name: the last word of a select item
    for (size_t x = listBegin; k.e == k.b + 1 && x < from; ++x)
      if ((x + 1 == from || (t_[x + 1].depth == d && is(t_[x + 1], ","))) &&
          (t_[x].kind == Token::Ident || t_[x].kind == Token::QIdent) && t_[x].text == t_[k.b].text)
        named = true;
    for (auto& st : stars)
      for (auto& col : st.cols) named = named || (k.e == k.b + 1 && col.second == t_[k.b].text);
    k.hidden = !(k.e == k.b + 1 && (t_[k.b].kind == Token::Num || named));
    keys.push_back(k);
    kb = m + 1;
  }
  bool aggregated = false; // without an aggregate, the set () still needs a GROUP BY
  for (size_t i = listBegin; i < havingEnd && !aggregated; ++i) {
    if (i == from && (i = groupEnd) >= havingEnd) break;
    if (is(t_[i], "(") && (is(at(i + 1), "SELECT") || is(at(i + 1), "WITH"))) i = matching(i);
    else aggregated = isAggregate(i);
  }
  // GROUP BY () alone: the select list itself makes the one group (see the select writer)
  bool onlyEmpty = true;
  for (size_t m = groupAt + 2; m < groupEnd && onlyEmpty; m += 3)
    onlyEmpty = is(t_[m], "(") && is(at(m + 1), ")") && (m + 2 == groupEnd || is(at(m + 2), ","));
  // no ORDER BY, and a group expression the select list shows only inside another
  // (DECODE(GROUPING(X), 1, 'All', X)): the sort that makes the groups goes by hidden copies
  bool sortHidden = false;
  for (size_t k = 0; !orderAt && !compound && analytics.empty() && stars.empty() && k < all.size(); ++k) {
    bool shown = false;
    for (size_t ib = listBegin, m = ib; m <= from && !shown; ++m) {
      if (m < from && !(t_[m].depth == d && is(t_[m], ","))) continue;
      size_t n = all[k].second - all[k].first;
      shown = same(ib, all[k]) && (ib + n == m || aliasToken(ib + n));
      ib = m + 1;
    }
    sortHidden = sortHidden || !shown;
  }
  std::vector<std::vector<std::string>> seen; // each set's expressions, to number repeated sets
  for (auto& set : sets) {
    std::vector<std::string> key;
    for (auto r : set) key.push_back(text(r));
    std::sort(key.begin(), key.end());
    key.erase(std::unique(key.begin(), key.end()), key.end());
    int repeat = static_cast<int>(std::count(seen.begin(), seen.end(), key));
    seen.push_back(key);
    std::string by;
    for (auto r : set) by += (by.empty() ? "" : ", ") + emit(r.first, r.second);
    // the set () is one group of all rows, aggregated or not
    replace_[groupAt] = by.empty() ? (aggregated || onlyEmpty ? std::string(" ") : std::string("GROUP BY NULL")) : "GROUP BY " + by;
    for (size_t m = groupAt + 1; m < groupEnd; ++m) skip_[m] = 1;
    for (size_t m = orderAt; orderAt && m < end; ++m) skip_[m] = 1;
    for (size_t m = end; m < tail; ++m) skip_[m] = 1;
    auto grouped = [&](Range r) {
      return std::any_of(set.begin(), set.end(), [&](Range x) { return same(x.first, r); });
    };
    auto mark = [&](size_t rb, size_t re) {
      for (size_t i = rb; i < re; ++i) {
        if (skip_[i]) continue;
        if (isAggregate(i)) { i = matching(i + 1); continue; }
        if (is(t_[i], "GROUP_ID") && is(at(i + 1), "(") && is(at(i + 2), ")")) {
          replace_[i] = std::to_string(repeat);
          skip_[i + 1] = skip_[i + 2] = 1;
          i += 2;
          continue;
        }
        if (is(t_[i], "GROUP_ID") && is(at(i + 1), "(")) throw OraError(909).at(static_cast<int>(t_[i].pos));
        if (is(t_[i], "GROUPING_ID") && is(at(i + 1), "(")) {
          // one bit per argument, the first the highest: set where the expression is rolled up
          size_t close = matching(i + 1);
          if (close == i + 2) throw OraError(909).at(static_cast<int>(t_[i].pos));
          long long bits = 0;
          for (size_t ab = i + 2, k = ab; k <= close; ++k) {
            if (k < close && !(t_[k].depth == t_[i].depth + 1 && is(t_[k], ","))) continue;
            if (k == ab) throw OraError(936);
            Range arg{ab, k};
            bool in = std::any_of(all.begin(), all.end(), [&](Range x) { return x.second - x.first == k - ab && same(x.first, arg); });
            if (!in) throw OraError(979, "GROUPING_ID");
            bits = bits * 2 + (grouped(arg) ? 0 : 1);
            ab = k + 1;
          }
          replace_[i] = std::to_string(bits);
          for (size_t m = i + 1; m <= close; ++m) skip_[m] = 1;
          i = close;
          continue;
        }
        if (is(t_[i], "GROUPING") && is(at(i + 1), "(")) {
          size_t close = matching(i + 1);
          bool one = close > i + 2; // GROUPING takes one expression
          for (size_t k = i + 2; k < close && one; ++k) one = !(t_[k].depth == t_[i].depth + 1 && is(t_[k], ","));
          if (!one) throw OraError(909).at(static_cast<int>(t_[i].pos));
          Range arg{i + 2, close};
          bool in = std::any_of(all.begin(), all.end(), [&](Range x) { return x.second - x.first == close - i - 2 && same(x.first, arg); });
          if (!in) throw OraError(979, "GROUPING");
          replace_[i] = grouped(arg) ? "0" : "1";
          for (size_t m = i + 1; m <= close; ++m) skip_[m] = 1;
          i = close;
          continue;
        }
        for (auto r : rolled) {
          if (grouped(r)) continue;
          size_t n = r.second - r.first, len = 0;
          bool after = i > rb && is(t_[i - 1], ".");
          auto word = [&](size_t k) { return k < re && (t_[k].kind == Token::Ident || t_[k].kind == Token::QIdent); };
          auto ends = [&](size_t k) { return !is(at(k), ".") && !is(at(k), "("); };
          if (!after && n == 1 && word(i) && is(at(i + 1), ".") && i + 3 <= re && same(i + 2, r) && ends(i + 3))
            len = 3; // T.C where the set names C
          else if (!after && n == 3 && is(t_[r.first + 1], ".") && word(i) && t_[i].text == t_[r.first + 2].text &&
                   t_[i].kind == t_[r.first + 2].kind && ends(i + 1))
            len = 1; // C where the set names T.C
          else if (i + n <= re && same(i, r) && !(n == 1 && (!ends(i + 1) || after)))
            len = n;
          if (!len) continue;
          replace_[i] = "NULL";
          for (size_t m = i + 1; m < i + len; ++m) skip_[m] = 1;
          i += len - 1;
          break;
        }
      }
    };
    for (auto& st : stars) {
      std::string list;
      std::vector<std::string> names;
      for (auto& col : st.cols) {
        const std::string &q = col.first, &name = col.second;
        bool in = std::any_of(set.begin(), set.end(), [&](Range x) {
          return t_[x.second - 1].text == name &&
                 (x.second == x.first + 1 || (x.second == x.first + 3 && is(t_[x.first + 1], ".") && t_[x.first].text == q));
        });
        list += (list.empty() ? "" : ", ") + (!in ? std::string("NULL") : q.empty() ? quoteIdent(name) : quoteIdent(q) + "." + quoteIdent(name)) +
                " AS " + quoteIdent(name);
        names.push_back(name);
      }
      replace_[st.b] = list;
      for (size_t m = st.b + 1; m < st.e; ++m) skip_[m] = 1;
      starNames_[st.b] = std::move(names);
    }
    mark(listBegin, from);
    mark(groupEnd, havingEnd);
    std::string hidden;
    for (size_t k = 0; k < keys.size(); ++k) {
      if (!keys[k].hidden) continue;
      for (size_t m = keys[k].b; m < keys[k].e; ++m) skip_[m] = savedSkip[m];
      mark(keys[k].b, keys[k].e);
      Context c;
      parseFrom(from + 1, fromEnd, c);
      ctx_.push_back(c);
      hidden += ", " + emit(keys[k].b, keys[k].e) + " AS \"O$" + std::to_string(k + 1) + "\"";
      ctx_.pop_back();
      for (size_t m = keys[k].b; m < keys[k].e; ++m) skip_[m] = 1;
    }
    size_t leaf = 0;
    for (auto& a : analytics) {
      Context c;
      parseFrom(from + 1, fromEnd, c);
      ctx_.push_back(c);
      for (auto r : a.leaves) hidden += ", " + emit(r.first, r.second) + " AS \"A$" + std::to_string(++leaf) + "\"";
      ctx_.pop_back();
      replace_[a.b] = "NULL";
      for (size_t m = a.b + 1; m < a.e; ++m) skip_[m] = 1;
    }
    if (sortHidden) {
      Context c;
      parseFrom(from + 1, fromEnd, c);
      ctx_.push_back(c);
      for (size_t k = 0; k < all.size(); ++k) {
        bool in = grouped(all[k]);
        std::string v = "NULL", n = std::to_string(k + 1);
        if (in) {
          for (size_t m = all[k].first; m < all[k].second; ++m) skip_[m] = savedSkip[m];
          v = emit(all[k].first, all[k].second);
          for (size_t m = all[k].first; m < all[k].second; ++m) skip_[m] = 1;
        }
        hidden += ", " + v + " AS \"S$" + n + "\", " + (in ? "0" : "1") + " AS \"T$" + n + "\"";
      }
      ctx_.pop_back();
    }
    if (!hidden.empty()) replace_[from] = hidden + " FROM";
    size_t ignored;
    expandingGroups_ = true;
    groupsBlock_ = s;
    partGroups_ = set;
    std::string part;
    try {
      part = emitSelect(s, e, ignored);
    } catch (...) {
      expandingGroups_ = false;
      starNames_.clear();
      throw;
    }
    expandingGroups_ = false;
    starNames_.clear();
    parts.push_back(part);
    replace_ = savedReplace;
    skip_ = savedSkip;
  }
  bool anyHidden = std::any_of(keys.begin(), keys.end(), [](const Key& k) { return k.hidden; });
  std::string cols;
  if (!analytics.empty()) {
    // the analytic items written again over the hidden columns
    auto commas = std::count_if(t_.begin() + static_cast<long>(listBegin), t_.begin() + static_cast<long>(from),
                                [&](const Token& k) { return k.depth == d && is(k, ","); });
    if (lastNames_.size() != static_cast<size_t>(commas) + 1)
      throw OraError(900, "analytic functions over grouping sets");
    Context c;
    parseFrom(from + 1, fromEnd, c);
    ctx_.push_back(c);
    size_t item = 0, leaf = 0, ai = 0;
    for (size_t ib = listBegin, m = ib; m <= from; ++m) {
      if (m < from && !(t_[m].depth == d && is(t_[m], ","))) continue;
      std::string col = quoteIdent(lastNames_[item]);
      if (ai < analytics.size() && analytics[ai].b == ib) {
        for (auto r : analytics[ai].leaves) {
          replace_[r.first] = "\"A$" + std::to_string(++leaf) + "\"";
          for (size_t x = r.first + 1; x < r.second; ++x) skip_[x] = 1;
        }
        col = emit(analytics[ai].b, analytics[ai].e) + " AS " + col;
        ++ai;
      }
      cols += (cols.empty() ? "" : ", ") + col;
      ++item;
      ib = m + 1;
    }
    ctx_.pop_back();
  } else {
    for (auto& n : lastNames_) cols += (cols.empty() ? "" : ", ") + quoteIdent(n);
  }
  if (anyHidden && cols.empty()) throw OraError(904, "ORDER BY"); // the sort needs what * leaves out
  std::string out = "SELECT " + (anyHidden || sortHidden || !analytics.empty() ? cols : std::string("*")) + " FROM (";
  for (size_t k = 0; k < parts.size(); ++k) out += (k ? " UNION ALL " : "") + parts[k];
  out += ")";
  if (anyHidden) {
    out += " ORDER BY ";
    for (size_t k = 0; k < keys.size(); ++k) {
      const Key& x = keys[k];
      std::string key = x.hidden ? "\"O$" + std::to_string(k + 1) + "\""
                        : t_[x.b].kind == Token::Num ? t_[x.b].text : quoteIdent(t_[x.b].text);
      out += (k ? ", " : "") + key + (x.desc ? " DESC" : " ASC") + (x.nullsFirst ? " NULLS FIRST" : " NULLS LAST");
    }
  } else if (orderAt) {
    nullsOrder(orderAt + 2, end, d);
    out += " " + emit(orderAt, end);
  } else if (sortHidden) {
    out += " ORDER BY ";
    for (size_t k = 0; k < all.size(); ++k) {
      std::string n = std::to_string(k + 1);
      out += (k ? ", \"T$" : "\"T$") + n + (cube ? "\" DESC, \"S$" : "\", \"S$") + n + (cube ? "\" NULLS FIRST" : "\" NULLS LAST");
    }
  } else if (!compound) {
    // as the sort that makes the groups leaves them: details first, each total after (ROLLUP)
    // or before (CUBE) what it sums up
    std::vector<std::string> keys;
    size_t item = 1, ib = listBegin;
    for (size_t m = listBegin; m <= from; ++m) {
      if (m < from && !(t_[m].depth == d && is(t_[m], ","))) continue;
      if (const Star* st = starAt(ib)) {
        for (size_t k = 0; k < st->cols.size(); ++k)
          keys.push_back(std::to_string(item++) + (cube ? " NULLS FIRST" : " NULLS LAST"));
        ib = m + 1;
        continue;
      }
      for (auto r : all)
        if (same(ib, r) && (ib + (r.second - r.first) == m || aliasToken(ib + (r.second - r.first))))
          keys.push_back(std::to_string(item) + (cube ? " NULLS FIRST" : " NULLS LAST"));
      ++item;
      ib = m + 1;
    }
    if (!keys.empty()) {
      out += " ORDER BY ";
      for (size_t k = 0; k < keys.size(); ++k) out += (k ? ", " : "") + keys[k];
    }
  }
  if (tail > end) {
    for (size_t m = end; m < tail; ++m) skip_[m] = savedSkip[m];
    out += " " + emit(end, tail);
  }
  next = tail;
  return out;
}

// The columns "*" or "T.*" at [i, ie) stands for, each with its qualifier; false where they are
// not known from the catalog (an inline view, a WITH query, a dictionary view).
bool Translator::starColumns(size_t i, size_t ie, const Context& c, bool lone,
                             std::vector<std::pair<std::string, std::string>>& out) const {
  if (!(ie == i + 1 && is(t_[i], "*")) && !(ie == i + 3 && is(t_[i + 1], ".") && is(t_[i + 2], "*"))) return false;
  std::string q = ie == i + 3 ? t_[i].text : std::string();
  if (q.empty() && c.opaque) {
    // one inline view and nothing else: its items' names
    if (!c.tables.empty() || c.derived.size() != 1 || !lone) return false;
    q = c.derived[0].second;
  }
  for (auto& [open, alias] : c.derived) {
    if (alias != q) continue;
    std::vector<std::string> names;
    if (!derivedNames(open, names)) return false;
    for (auto& n : names) out.emplace_back(alias, n);
    return !out.empty();
  }
  for (auto& r : c.tables) {
    std::string exposed = r.alias.empty() ? r.name : r.alias;
    if (!q.empty() && exposed != q) continue;
    if (auto cte = cteBodies_.find(r.name); cte != cteBodies_.end() && r.dictionary.empty()) {
      // a WITH query: its list of names, or its items'
      std::vector<std::string> names;
      if (size_t list = cte->second.second) {
        for (size_t m = list + 1; m < matching(list); ++m)
          if (t_[m].kind == Token::Ident || t_[m].kind == Token::QIdent) names.push_back(t_[m].text);
      } else if (!derivedNames(cte->second.first, names)) {
        return false;
      }
      for (auto& n : names) out.emplace_back(exposed, n);
      continue;
    }
    if (r.name == "DUAL" || cteNames_.count(r.name) || !r.dictionary.empty() || !cat_.tableExists(r.name)) return false;
    for (auto& col : cat_.columns(r.name))
      if (!col.invisible) out.emplace_back(exposed, col.name);
  }
  return !out.empty();
}

// The names of the columns of the subquery opened at `open`; false where an item has none.
bool Translator::derivedNames(size_t open, std::vector<std::string>& names) const {
  if (!is(at(open), "(")) return false;
  size_t close = matching(open), s = open + 1;
  if (!is(at(s), "SELECT")) return false;
  int d = t_[s].depth;
  size_t ib = s + 1;
  if (is(at(ib), "DISTINCT") || is(at(ib), "UNIQUE") || is(at(ib), "ALL")) ++ib;
  for (size_t m = ib; m < close; ++m) {
    bool last = t_[m].depth == d && is(t_[m], "FROM");
    if (!last && !(t_[m].depth == d && is(t_[m], ","))) continue;
    auto word = [&](size_t k) { return t_[k].kind == Token::Ident || t_[k].kind == Token::QIdent; };
    if (m - ib >= 2 && aliasToken(m - 1) && (is(t_[m - 2], "AS") || !(t_[m - 2].kind == Token::Op && t_[m - 2].text != ")")))
      names.push_back(t_[m - 1].text);
    else if ((m == ib + 1 && word(ib)) || (m == ib + 3 && is(t_[ib + 1], ".") && word(m - 1)))
      names.push_back(t_[m - 1].text);
    else
      return false;
    if (last) return true;
    ib = m + 1;
  }
  return false;
}

// MAX(AVG(SAL)) ... GROUP BY DEPTNO: the inner aggregates are computed per group first, and the
// outer ones over those rows.
std::string Translator::nestedAggregates(size_t s, size_t e, size_t& next) {
  int d = t_[s].depth;
  size_t listBegin = s + 1;
  if (is(at(listBegin), "DISTINCT") || is(at(listBegin), "UNIQUE") || is(at(listBegin), "ALL")) ++listBegin;
  size_t from = clauseEnd(listBegin, e, d, {"FROM"});
  if (from >= e) return {};
  std::vector<std::pair<size_t, size_t>> inner;
  for (size_t i = listBegin; i < from; ++i) {
    if (!isAggregate(i)) continue;
    size_t close = matching(i + 1);
    for (size_t k = i + 2; k < close; ++k)
      if (is(t_[k], "(") && (is(at(k + 1), "SELECT") || is(at(k + 1), "WITH"))) {
        k = matching(k); // a subquery's aggregates are its own
      } else if (isAggregate(k)) {
        inner.emplace_back(k, matching(k + 1) + 1);
        for (size_t x = k + 2; x < matching(k + 1); ++x)
          if (isAggregate(x)) {
            OraError deep(935);
            deep.text = "ORA-00935: group function is nested too deeply"; // Oracle's own words for this case
            throw deep.at(static_cast<int>(t_[x].pos));
          }
        k = matching(k + 1);
      }
    i = close;
  }
  if (inner.empty()) return {};
  static const std::set<std::string> fromStops = {"WHERE", "GROUP", "ORDER", "HAVING", "UNION", "INTERSECT",
                                                  "MINUS", "EXCEPT", "CONNECT", "START", "FOR"};
  static const std::set<std::string> setOps = {"UNION", "INTERSECT", "MINUS", "EXCEPT"};
  size_t fromEnd = clauseEnd(from + 1, e, d, fromStops);
  size_t end = clauseEnd(fromEnd, e, d, setOps);
  bool grouped = false;
  size_t innerEnd = end;
  for (size_t i = fromEnd; i + 1 < end; ++i) {
    if (t_[i].depth != d) continue;
    if (is(t_[i], "GROUP") && is(t_[i + 1], "BY")) grouped = true;
    if (is(t_[i], "ORDER") && is(t_[i + 1], "BY")) innerEnd = i;
  }
  if (!grouped) throw OraError(978); // nested group function without GROUP BY
  // the outer aggregate leaves one row: a column beside it has no single value
  for (size_t i = listBegin; i < from; ++i) {
    if (t_[i].depth != d) continue;
    if (isAggregate(i)) { i = matching(i + 1); continue; }
    bool column = (t_[i].kind == Token::Ident && !keywordAt(t_, i) && !is(at(i + 1), "(")) || t_[i].kind == Token::QIdent;
    bool alias = i > listBegin && (is(t_[i - 1], ")") || is(t_[i - 1], "AS") || t_[i - 1].kind == Token::Ident ||
                                   t_[i - 1].kind == Token::QIdent || t_[i - 1].kind == Token::Num ||
                                   t_[i - 1].kind == Token::Str);
    if (column && !alias && !is(at(i + 1), ".")) throw OraError(937).at(static_cast<int>(t_[i].pos));
  }

  Context c;
  parseFrom(from + 1, fromEnd, c);
  ctx_.push_back(c);
  std::string sql = "SELECT ";
  for (size_t k = 0; k < inner.size(); ++k)
    sql += (k ? ", " : "") + emit(inner[k].first, inner[k].second) + " AS \"N" + std::to_string(k + 1) + "$\"";
  sql += " " + emit(from, innerEnd);
  ctx_.pop_back();
  for (size_t k = 0; k < inner.size(); ++k) {
    replace_[inner[k].first] = "\"N" + std::to_string(k + 1) + "$\"";
    for (size_t m = inner[k].first + 1; m < inner[k].second; ++m) skip_[m] = 1;
  }
  replace_[from] = "FROM (" + sql + ")";
  for (size_t m = from + 1; m < end; ++m) skip_[m] = 1;
  nestedDone_.insert(s);
  return emitSelect(s, e, next);
}

} // namespace ora::tx
