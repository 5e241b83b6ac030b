// INTERSECT ALL, MINUS ALL and EXCEPT ALL: SQLite's compound operators keep no duplicates, so
// each side's rows are numbered within their group of equal rows and the numbered rows are
// matched. A row m times on the left and n times on the right then gives min(m, n) rows with
// INTERSECT and max(m - n, 0) with EXCEPT.
#include "TranslateImpl.h"

#include <sqlite3.h>

namespace ora::tx {

namespace {
bool setWordAt(const std::vector<Token>& t, size_t k) {
  const Token& w = t[k];
  if (w.kind != Token::Ident) return false;
  if (!is(w, "UNION") && !is(w, "INTERSECT") && !is(w, "MINUS") && !is(w, "EXCEPT")) return false;
  return !(k > 0 && is(t[k - 1], "MULTISET")); // a collection operator
}
} // namespace

std::vector<size_t> Translator::compoundOperators(size_t i, size_t e, size_t& end) const {
  int d = t_[i].depth;
  std::vector<size_t> ops;
  end = e;
  for (size_t k = i; k < e; ++k) {
    if (t_[k].depth < d) {
      end = k;
      break;
    }
    if (t_[k].depth == d && k > i && setWordAt(t_, k)) ops.push_back(k);
  }
  return ops;
}

bool Translator::multisetCompound(size_t i, size_t e) {
  if (multisetAny_ < 0) {
    multisetAny_ = 0;
    for (size_t k = 0; k + 1 < size() && !multisetAny_; ++k)
      multisetAny_ = setWordAt(t_, k) && !is(t_[k], "UNION") && is(t_[k + 1], "ALL");
  }
  if (!multisetAny_ || i >= size()) return false;
  // only from the first member
  if (i > 0 && (setWordAt(t_, i - 1) || (is(t_[i - 1], "ALL") && i > 1 && setWordAt(t_, i - 2)))) return false;
  size_t end;
  for (size_t k : compoundOperators(i, e, end))
    if (!is(t_[k], "UNION") && is(at(k + 1), "ALL")) return true;
  return false;
}

// The result column names of the compound's first member [b, me): the block's own, or those of
// the member (with the WITH queries before it) translated on its own.
std::vector<std::string> Translator::firstMemberNames(size_t b, size_t me) {
  int d = t_[b].depth;
  size_t w = b;
  for (size_t k = b; k > 0 && t_[k - 1].depth >= d; --k) {
    const Token& p = t_[k - 1];
    if (p.depth > d) continue;
    if (is(p, "WITH")) {
      w = k - 1;
      break;
    }
    if (!(is(p, "(") || is(p, ")") || is(p, ",") || is(p, "AS") || p.kind == Token::Ident || p.kind == Token::QIdent))
      break;
  }
  std::string with = w < b ? src_.substr(t_[w].pos, t_[b].pos - t_[w].pos) : "";
  std::string member = src_.substr(t_[b].pos, t_[me - 1].end - t_[b].pos);
  std::string probe = with + (is(t_[b], "(") ? "SELECT * FROM " : "") + member;
  std::vector<std::string> names;
  try {
    Translation t = translate(probe, cat_);
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(cat_.db(), t.sql.c_str(), -1, &st, nullptr) == SQLITE_OK && st)
      for (int c = 0; c < sqlite3_column_count(st); ++c) {
        const char* n = sqlite3_column_name(st, c);
        names.emplace_back(n ? n : "");
      }
    sqlite3_finalize(st);
  } catch (const OraError&) {
    // a member that reads the columns of an outer query
  }
  // SELECT * FROM one table, correlated: the table's columns
  size_t from = b + 2;
  if (names.empty() && is(t_[b], "SELECT") && is(at(b + 1), "*") && is(at(from), "FROM") &&
      (at(from + 1).kind == Token::Ident || at(from + 1).kind == Token::QIdent)) {
    size_t k = from + 2;
    if (k < me && aliasToken(k)) ++k;
    if (k == me || (t_[k].depth == d && (is(t_[k], "WHERE") || is(t_[k], "GROUP") || is(t_[k], "ORDER"))))
      for (const ColumnInfo& c : cat_.columns(t_[from + 1].text)) names.push_back(c.name);
  }
  return names;
}

std::string Translator::multisetRows(size_t i, size_t e, size_t& next) {
  int d = t_[i].depth;
  size_t end;
  std::vector<size_t> ops = compoundOperators(i, e, end);
  // each member's tokens; the last one's ORDER BY and row limit sort and cut the whole
  std::vector<std::pair<size_t, size_t>> members;
  size_t b = i;
  for (size_t k : ops) {
    members.emplace_back(b, k);
    b = is(at(k + 1), "ALL") ? k + 2 : k + 1;
  }
  size_t tail = end;
  if (is(at(b), "(")) {
    tail = std::min(end, matching(b) + 1);
  } else {
    for (size_t k = b; k < end && tail == end; ++k)
      if (t_[k].depth == d && ((is(t_[k], "ORDER") && is(at(k + 1), "BY")) ||
                               ((is(t_[k], "OFFSET") || is(t_[k], "FETCH")) && keywordAt(t_, k))))
        tail = k;
  }
  members.emplace_back(b, tail);

  auto member = [&](size_t mb, size_t me) {
    if (is(t_[mb], "(")) return "SELECT * FROM (" + emit(mb + 1, matching(mb)) + ")";
    size_t after;
    std::string out = emitSelect(mb, me, after);
    if (after < me) out += " " + emit(after, me);
    return out;
  };
  std::string acc = member(members[0].first, members[0].second);
  std::vector<std::string> names;
  if (!is(t_[i], "(")) names = lastNames_;
  for (size_t m = 0; m < ops.size(); ++m) {
    const Token& op = t_[ops[m]];
    bool all = is(at(ops[m] + 1), "ALL");
    std::string right = member(members[m + 1].first, members[m + 1].second);
    if (is(op, "UNION")) {
      acc += all ? " UNION ALL " + right : " UNION " + right;
      continue;
    }
    bool intersect = is(op, "INTERSECT");
    if (!all) {
      acc += (intersect ? " INTERSECT " : " EXCEPT ") + right;
      continue;
    }
    if (names.empty()) names = firstMemberNames(members[0].first, members[0].second);
    if (names.empty()) throw OraError(1789).at(static_cast<int>(t_[i].pos));
    std::string k = std::to_string(++multisetCount_);
    std::string l = quoteIdent("SET$L" + k), r = quoteIdent("SET$R" + k);
    std::string cols, named;
    for (size_t c = 0; c < names.size(); ++c) {
      std::string col = quoteIdent("C$" + std::to_string(c + 1));
      cols += (c ? ", " : "") + col;
      named += (c ? ", " : "") + col + " AS " + quoteIdent(names[c]);
    }
    // equal rows numbered 1, 2, ... on each side: the numbered rows are what is matched
    std::string numbered = "SELECT " + cols + ", ROW_NUMBER() OVER (PARTITION BY " + cols + ") FROM ";
    acc = "SELECT " + named + " FROM (WITH " + l + "(" + cols + ") AS (" + acc + "), " + r + "(" + cols + ") AS (" +
          right + ") " + numbered + l + (intersect ? " INTERSECT " : " EXCEPT ") + numbered + r + ")";
  }
  if (tail < end) {
    for (size_t k = tail; k + 1 < end; ++k) {
      if (!(t_[k].depth == d && is(t_[k], "ORDER") && is(t_[k + 1], "BY"))) continue;
      size_t orderEnd = k + 2;
      while (orderEnd < end &&
             !(t_[orderEnd].depth == d && (is(t_[orderEnd], "OFFSET") || is(t_[orderEnd], "FETCH")) && keywordAt(t_, orderEnd)))
        ++orderEnd;
      for (size_t m = k + 2; m < orderEnd; ++m)
        if (t_[m].kind == Token::Num) pin_[m] = 1;
      nullsOrder(k + 2, orderEnd, d);
      break;
    }
    acc += " " + emit(tail, end);
  }
  next = end;
  return acc;
}

} // namespace ora::tx
