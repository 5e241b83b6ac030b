// Types of the columns a query reads from its FROM sources: tables and views by the catalog,
// subqueries and WITH queries by the select items that make those columns.
#include "TranslateImpl.h"

namespace ora::tx {

bool Translator::sourceColumnType(const Context& c, const std::string& q, const std::string& name, ColType& out) {
  for (auto& r : c.tables) {
    if (!q.empty() && r.alias != q && !(r.alias.empty() && r.name == q)) continue;
    if (r.name == "DUAL") {
      // its one column, also where an alias or an expression hides its name
      if (name != "DUMMY") continue;
      out = ColType{};
      out.code = kVarchar2;
      out.size = 1;
      return true;
    }
    if (auto cte = cteBodies_.find(r.name); cte != cteBodies_.end() && r.dictionary.empty()) {
      if (derivedColumnType(cte->second.first, name, out, cte->second.second)) return true;
      continue;
    }
    for (auto& col : cat_.columns(r.dictionary.empty() ? r.name : dictionaryTable(r.dictionary)))
      if (col.name == name) {
        out = col.type;
        return true;
      }
  }
  for (auto& [open, alias] : c.derived)
    if ((q.empty() || alias == q) && derivedColumnType(open, name, out)) return true;
  for (auto& [alias, column, type] : c.collColumns)
    if ((q.empty() || alias == q) && column == name) {
      out = type;
      return true;
    }
  return false;
}

// The type of the column `name` of the subquery opened at `open`: that of the item of its first
// query block that goes by the name (by position when `names` opens a list of column names).
bool Translator::derivedColumnType(size_t open, const std::string& name, ColType& out, size_t names) {
  // remembered: items made of several columns of the subquery below would look each up again
  auto key = std::make_pair(open, name);
  if (auto hit = derivedMemo_.find(key); hit != derivedMemo_.end()) {
    if (hit->second.first) out = hit->second.second;
    if (derivedWider_.count(key)) derivedWidened_ = true;
    return hit->second.first;
  }
  if (!derivedBusy_.insert(key).second) {
    derivedCycle_ = true; // a recursive WITH query reads itself
    return false;
  }
  ColType t;
  bool widened = derivedWidened_;
  derivedWidened_ = false;
  bool found = derivedItemType(open, name, t, names);
  derivedBusy_.erase(key);
  if (derivedWidened_) derivedWider_.insert(key);
  derivedWidened_ = derivedWidened_ || widened;
  derivedMemo_.emplace(std::move(key), std::make_pair(found, t));
  if (found) out = t;
  return found;
}

// "*" over a set operation in FROM: its columns as typed over all its members, where SQLite
// would declare them as one member's.
void Translator::starOverSets(const std::string& q) {
  if (ctx_.empty()) return;
  auto widen = [&](size_t open, size_t names) {
    std::vector<std::string> cols;
    if (!derivedNames(names ? names : open, cols)) {
      if (!names) return;
      // WITH name (c1, c2, ...): the names list
      for (size_t m = names + 1; m < matching(names); ++m)
        if (t_[m].kind == Token::Ident || t_[m].kind == Token::QIdent) cols.push_back(t_[m].text);
    }
    for (const auto& n : cols) {
      ColType t;
      derivedWidened_ = false;
      if (derivedColumnType(open, n, t, names) && derivedWidened_) tr_.widened[n] = t;
    }
  };
  const Context& c = ctx_.back();
  for (auto& [open, alias] : c.derived)
    if (q.empty() || alias == q) widen(open, 0);
  for (auto& r : c.tables)
    if (auto cte = cteBodies_.find(r.name); cte != cteBodies_.end() && r.dictionary.empty() &&
                                              (q.empty() || r.alias == q || (r.alias.empty() && r.name == q)))
      widen(cte->second.first, cte->second.second);
}

// A set operation's column holds every member's values: the type of the first member's item at
// `position` widened by the later members' items there.
void Translator::laterMembers(size_t s, size_t close, long position, ColType& out) {
  static const std::set<std::string> stops = {"WHERE", "GROUP", "ORDER", "HAVING", "UNION", "INTERSECT", "MINUS",
                                              "EXCEPT", "CONNECT", "START", "FOR", "FETCH", "OFFSET"};
  const int d = t_[s].depth;
  for (size_t m = s + 1; m < close; ++m) {
    if (t_[m].depth != d || !(is(t_[m], "UNION") || is(t_[m], "INTERSECT") || is(t_[m], "MINUS") || is(t_[m], "EXCEPT")))
      continue;
    size_t n = m + 1;
    if (is(at(n), "ALL")) ++n;
    while (n < close && is(t_[n], "(")) ++n;
    if (n >= close || !is(t_[n], "SELECT")) continue;
    const int d2 = t_[n].depth;
    const size_t end = d2 == d ? close : matching(n - 1);
    const size_t from = clauseEnd(n + 1, end, d2, {"FROM"});
    if (from >= end) continue;
    size_t ib = n + 1;
    if (is(at(ib), "DISTINCT") || is(at(ib), "UNIQUE") || is(at(ib), "ALL")) ++ib;
    size_t ie = ib;
    for (long k = 0;; ++k) {
      ie = ib;
      while (ie < from && !(t_[ie].depth == d2 && is(t_[ie], ","))) ++ie;
      if (k == position || ie >= from) break;
      ib = ie + 1;
    }
    if (ib >= ie) continue;
    size_t exprEnd = ie;
    if (ie - ib >= 2 && aliasToken(ie - 1) &&
        (is(t_[ie - 2], "AS") || !(t_[ie - 2].kind == Token::Op && t_[ie - 2].text != ")")))
      exprEnd = ie - (is(t_[ie - 2], "AS") ? 2 : 1);
    if (is(t_[exprEnd - 1], "*")) continue;
    Context c;
    ColType x;
    derivedCycle_ = false;
    try {
      parseFrom(from + 1, clauseEnd(from + 1, end, d2, stops), c);
      ctx_.push_back(c);
      try {
        x = exprType(ib, exprEnd);
      } catch (const OraError&) {
        x = ColType{};
      }
      ctx_.pop_back();
    } catch (const OraError&) {
      continue; // the member's own translation reports it
    }
    if (derivedCycle_ || x.code == 0) continue;
    bool nullItem = exprEnd == ib + 1 && (is(t_[ib], "NULL") || (t_[ib].kind == Token::Str && t_[ib].text.empty()));
    if (nullItem) continue;
    auto text = [](const ColType& y) { return y.code == kVarchar2 || y.code == kChar; };
    if (out.code == kVarchar2 && out.size == 0) out = x; // a NULL first takes the type a later member gives
    else if (out.code == kNumber && x.code == kNumber && !numberHolds(out, x, exprEnd == ib + 1 ? &t_[ib] : nullptr)) {
      out = ColType{};
      out.code = kNumber;
    } else if (text(out) && text(x) && (x.size != out.size || x.code != out.code)) {
      out.size = std::max(out.size, x.size);
      out.code = kVarchar2;
    }
    derivedWidened_ = true; // SQLite declares the column as one member's, whichever
  }
}

bool Translator::derivedItemType(size_t open, const std::string& name, ColType& out, size_t names) {
  if (derivedDepth_ > 50 || !is(at(open), "(")) return false;
  const size_t close = matching(open);
  size_t s = open + 1;
  if (is(at(s), "WITH")) {
    // the query after the WITH list
    const int d = t_[s].depth;
    while (s < close && !(t_[s].depth == d && is(t_[s], "SELECT"))) ++s;
  }
  if (s >= close || !is(t_[s], "SELECT")) return false;
  const int d = t_[s].depth;
  const size_t from = clauseEnd(s + 1, close, d, {"FROM"});
  if (from >= close) return false;
  long wanted = -1;
  if (names) {
    long k = 0;
    for (size_t m = names + 1; m < close && !is(t_[m], ")"); ++m) {
      if (t_[m].kind != Token::Ident && t_[m].kind != Token::QIdent) continue;
      if (t_[m].text == name) wanted = k;
      ++k;
    }
    if (wanted < 0) return false;
  }
  static const std::set<std::string> stops = {"WHERE", "GROUP", "ORDER", "HAVING", "UNION", "INTERSECT", "MINUS",
                                              "EXCEPT", "CONNECT", "START", "FOR", "FETCH", "OFFSET"};
  Context c;
  bool parsed = false;
  ++derivedDepth_;
  struct Leave {
    int& depth;
    ~Leave() { --depth; }
  } leave{derivedDepth_};
  auto within = [&](auto&& f) {
    if (!parsed) {
      parseFrom(from + 1, clauseEnd(from + 1, close, d, stops), c);
      parsed = true;
    }
    ctx_.push_back(c);
    bool ok = false;
    try {
      ok = f();
    } catch (const OraError&) {
      ok = false; // the subquery's own translation reports it
    }
    ctx_.pop_back();
    return ok;
  };
  size_t ib = s + 1;
  if (is(at(ib), "DISTINCT") || is(at(ib), "UNIQUE") || is(at(ib), "ALL")) ++ib;
  for (long k = 0; ib < from; ++k) {
    size_t ie = ib;
    while (ie < from && !(t_[ie].depth == d && is(t_[ie], ","))) ++ie;
    size_t exprEnd = ie;
    std::string itemName;
    if (ie - ib >= 2 && aliasToken(ie - 1) &&
        (is(t_[ie - 2], "AS") || !(t_[ie - 2].kind == Token::Op && t_[ie - 2].text != ")"))) {
      itemName = t_[ie - 1].text;
      exprEnd = ie - (is(t_[ie - 2], "AS") ? 2 : 1);
    } else if ((ie == ib + 1 && (t_[ib].kind == Token::Ident || t_[ib].kind == Token::QIdent)) ||
               (ie == ib + 3 && is(t_[ib + 1], "."))) {
      itemName = t_[ie - 1].text;
    }
    bool star = is(t_[ie - 1], "*") && (ie == ib + 1 || (ie == ib + 3 && is(t_[ib + 1], ".")));
    if (names) {
      // the names list counts the items; a "*" among them leaves the positions unknown
      if (star) return false;
      if (k == wanted && within([&] { out = exprType(ib, exprEnd); return true; })) {
        laterMembers(s, close, k, out);
        return true;
      }
      if (k == wanted) return false;
    } else if (star) {
      std::string sq = ie == ib + 3 ? t_[ib].text : std::string();
      if (within([&] { return sourceColumnType(ctx_.back(), sq, name, out); })) return true;
    } else if (itemName == name) {
      if (!within([&] { out = exprType(ib, exprEnd); return true; })) return false;
      laterMembers(s, close, k, out);
      return true;
    }
    ib = ie + 1;
  }
  return false;
}

} // namespace ora::tx
