// NUMBER values compared by their exact decimal value where a side is computed: SQLite's operators
// would compare the doubles that carry them (1/3*3 rounds to 1 there). A column or literal on both
// sides keeps SQLite's own comparison, and with it the use of an index.
#include "TranslateImpl.h"

namespace ora::tx {

namespace {

const char* exactOperator(const std::string& op) {
  if (op == "=") return "=";
  if (op == "<>" || op == "!=" || op == "^=" || op == "~=") return "<>";
  if (op == "<") return "<";
  if (op == ">") return ">";
  if (op == "<=") return "<=";
  if (op == ">=") return ">=";
  return nullptr;
}

} // namespace

// A number literal that no double holds exactly: SQLite would compare it as text with a computed
// value's double, or round it. Integers of up to 18 digits are SQLite's own.
static bool wideLiteral(const Token& t) {
  if (t.kind != Token::Num) return false;
  int digits = 0; // significant: leading zeros do not count
  bool integer = true;
  for (char c : t.text) {
    if (c == 'E' || c == 'e') break;
    if (c == '.') integer = false;
    if (c >= '0' && c <= '9' && (digits > 0 || c != '0')) ++digits;
  }
  if (t.text.find_first_of("eE") != std::string::npos) integer = false;
  return digits > (integer ? 18 : 15);
}

bool Translator::plainOperand(size_t b, size_t e) const {
  if (e == b + 1) return !wideLiteral(t_[b]);
  if (e == b + 2 && (is(t_[b], "-") || is(t_[b], "+")) && t_[b + 1].kind == Token::Num) return !wideLiteral(t_[b + 1]);
  for (size_t m = b; m < e; ++m) // a qualified column
    if ((m - b) % 2 ? !is(t_[m], ".") : !(t_[m].kind == Token::Ident || t_[m].kind == Token::QIdent)) return false;
  return (e - b) % 2 == 1;
}

bool Translator::allNumbers(const std::vector<std::pair<size_t, size_t>>& ranges) {
  try {
    for (auto r : ranges) {
      if (r.second <= r.first || rowAt(r.first, r.second)) return false;
      // a binary float compares as a double (an infinity has no NUMBER)
      if (ColType x = exprType(r.first, r.second); x.code != kNumber || x.binary) return false;
    }
  } catch (const OraError&) {
    return false;
  }
  return true;
}

// The computed NUMBER left of ANY / SOME / ALL: compared exactly with each value.
bool Translator::exactLeft(const Quantified& q) {
  size_t b = tokenAt(q.left.first), e = tokenAt(q.left.second);
  return q.width == 1 && !ctx_.empty() && !plainOperand(b, e) && allNumbers({{b, e}});
}

bool Translator::exactComparison(size_t lb, size_t le, size_t op, size_t re) {
  size_t rb = op + 1;
  if (le <= lb || re <= rb || op != le || ctx_.empty()) return false;
  const char* cmp = exactOperator(t_[op].text);
  if (!cmp || skip_[lb] || skip_[rb] || skip_[op]) return false;
  // ANY / SOME / ALL go through their own rewriting
  if (quantAt.count(t_[lb].pos) || is(t_[rb], "ANY") || is(t_[rb], "SOME") || is(t_[rb], "ALL")) return false;
  if (plainOperand(lb, le) && plainOperand(rb, re)) return false;
  // a text literal beside a computed number is read as a number (ORA-01722 when it is none)
  bool lStr = le == lb + 1 && t_[lb].kind == Token::Str, rStr = re == rb + 1 && t_[rb].kind == Token::Str;
  if (lStr && rStr) return false;
  if (!allNumbers({{lStr ? rb : lb, lStr ? re : le}, {rStr ? lb : rb, rStr ? le : re}})) return false;
  std::string l = exactCall(emit(lb, le)), r = exactCall(emit(rb, re));
  replace_[lb] = "(ora_ncmp(" + l + ", " + r + ") " + cmp + " 0)";
  for (size_t m = lb + 1; m < re; ++m) skip_[m] = 1;
  return true;
}

// x [NOT] BETWEEN low AND high at BETWEEN (after NOT when negated): the two comparisons, exactly;
// the end of the condition, or 0 when it stays as written.
size_t Translator::exactBetween(size_t lb, size_t le, size_t w, size_t e) {
  std::vector<std::pair<size_t, size_t>> terms;
  std::vector<std::string> ops;
  if (ctx_.empty() || skip_[lb] || !chainAt(w + 1, e, terms, ops)) return 0;
  size_t low = terms.back().second;
  if (low + 1 >= e || !is(t_[low], "AND") || !chainAt(low + 1, e, terms, ops)) return 0;
  size_t high = terms.back().second;
  if (plainOperand(lb, le) && plainOperand(w + 1, low) && plainOperand(low + 1, high)) return 0;
  if (!allNumbers({{lb, le}, {w + 1, low}, {low + 1, high}})) return 0;
  std::string x = exactCall(emit(lb, le));
  replace_[lb] = std::string("(") + (w > le ? "NOT " : "") + "(ora_ncmp(" + x + ", " + exactCall(emit(w + 1, low)) +
                 ") >= 0 AND ora_ncmp(" + x + ", " + exactCall(emit(low + 1, high)) + ") <= 0))";
  for (size_t m = lb + 1; m < high; ++m) skip_[m] = 1;
  return high;
}

// x [NOT] IN (a, b, ...) at IN or NOT: one exact equality per listed value; the end of the
// condition, or 0 when it stays as written (a subquery, rows, no computed value).
size_t Translator::exactIn(size_t lb, size_t le, size_t w, size_t e) {
  bool negated = is(t_[w], "NOT");
  size_t open = negated ? w + 2 : w + 1;
  if (ctx_.empty() || skip_[lb] || open >= e || !is(t_[open], "(")) return 0;
  if (is(at(open + 1), "SELECT")) return matching(open) < e ? exactInQuery(lb, le, negated, open) : 0;
  size_t close = matching(open);
  if (close >= e) return 0;
  std::vector<std::pair<size_t, size_t>> ranges{{lb, le}};
  bool plain = plainOperand(lb, le);
  for (size_t v = open + 1, m = v; m <= close; ++m) {
    if (m < close && !(t_[m].depth == t_[open].depth + 1 && is(t_[m], ","))) continue;
    if (m == v || skip_[v]) return 0;
    ranges.emplace_back(v, m);
    plain = plain && plainOperand(v, m);
    v = m + 1;
  }
  if (plain || !allNumbers(ranges)) return 0;
  std::string x = exactCall(emit(lb, le)), out = negated ? "(NOT (" : "((";
  for (size_t k = 1; k < ranges.size(); ++k)
    out += (k > 1 ? " OR " : "") + ("ora_ncmp(" + x + ", " + exactCall(emit(ranges[k].first, ranges[k].second)) + ") = 0");
  replace_[lb] = out + "))";
  for (size_t m = lb + 1; m <= close; ++m) skip_[m] = 1;
  return close + 1;
}

// The one select item of the subquery in parentheses at open: its first token, and its end
// before any alias; 0 when it has several, or combines query blocks.
size_t Translator::singleItem(size_t open, size_t& itemEnd) const {
  const int d = t_[open].depth + 1;
  size_t close = matching(open), b = open + 2;
  if (b >= close || !is(t_[open + 1], "SELECT")) return 0;
  if (is(t_[b], "DISTINCT") || is(t_[b], "UNIQUE") || is(t_[b], "ALL")) ++b;
  size_t e = b;
  while (e < close && !(t_[e].depth == d && (is(t_[e], "FROM") || is(t_[e], ",")))) ++e;
  if (e >= close || !is(t_[e], "FROM") || e == b) return 0;
  for (size_t k = e; k < close; ++k)
    if (t_[k].depth == d && (is(t_[k], "UNION") || is(t_[k], "INTERSECT") || is(t_[k], "MINUS") || is(t_[k], "EXCEPT")))
      return 0;
  if (e - b >= 2 && aliasToken(e - 1) && (is(t_[e - 2], "AS") || t_[e - 2].kind != Token::Op || is(t_[e - 2], ")"))) e -= is(t_[e - 2], "AS") ? 2 : 1;
  itemEnd = e;
  return e > b ? b : 0;
}

// x [NOT] IN (SELECT y ...) where x or y is a computed number: y compared with x exactly, NULLs
// as IN treats them (unknown when no value matches and one is NULL).
size_t Translator::exactInQuery(size_t lb, size_t le, bool negated, size_t open) {
  size_t close = matching(open), ie = 0, ib = singleItem(open, ie);
  if (!ib || rowAt(lb, le) || (plainOperand(lb, le) && plainOperand(ib, ie)) || !allNumbers({{lb, le}})) return 0;
  std::string x = exactCall(emit(lb, le));
  exactItems_.insert(ib);
  std::string values = emit(open + 1, close);
  replace_[lb] = std::string(negated ? "(NOT " : "(") + "(WITH \"A$\"(\"V\") AS (" + values +
                 ") SELECT CASE WHEN MAX(\"C\") = 1 THEN 1 WHEN COUNT(*) > COUNT(\"C\") THEN NULL ELSE 0 END FROM "
                 "(SELECT ora_ncmp(" + x + ", \"V\") = 0 AS \"C\" FROM \"A$\")))";
  for (size_t m = lb + 1; m <= close; ++m) skip_[m] = 1;
  return close + 1;
}

// Whether the parenthesis at open holds the items of ROLLUP, CUBE or GROUPING SETS, directly or
// as a composite column among them.
bool Translator::groupingItem(size_t open) const {
  while (is(t_[open], "(") && open > 0) {
    const Token& before = t_[open - 1];
    if (is(before, "ROLLUP") || is(before, "CUBE") || is(before, "SETS")) return true;
    if (!is(before, "(") && !is(before, ",")) return false;
    size_t k = open;
    while (k > 0 && t_[k - 1].depth >= t_[open].depth) --k;
    if (k == 0) return false;
    open = k - 1;
  }
  return false;
}

// Whether the arithmetic [b, e) is a whole key SQLite groups, sorts or tells apart by itself: a
// GROUP BY, ORDER BY or PARTITION BY item, a DISTINCT aggregate's argument or an item of a
// SELECT DISTINCT. There it must be the exact value: two numbers of more digits than a double
// holds would otherwise fall together.
bool Translator::exactKey(size_t b, size_t e, bool* sortKey) const {
  *sortKey = false;
  if (b == 0 || b >= size()) return false;
  const int d = t_[b].depth;
  if (e < size() && t_[e].depth == d && !is(t_[e], ",")) {
    static const char* const after[] = {"ASC",       "DESC",  "NULLS", "HAVING", "ORDER", "ROWS",   "RANGE", "GROUPS",
                                        "FETCH",     "OFFSET", "FOR",  "UNION",  "MINUS", "EXCEPT", "WINDOW", "FROM",
                                        "INTERSECT", "LIMIT", ";"};
    // or a select item's alias
    bool ok = is(t_[e], "AS") ||
              ((t_[e].kind == Token::Ident || t_[e].kind == Token::QIdent) && (is(at(e + 1), ",") || is(at(e + 1), "FROM")));
    for (const char* w : after) ok = ok || is(t_[e], w);
    if (!ok) return false;
  } else if (e < size() && t_[e].depth < d && !is(t_[e], ")")) {
    return false;
  }
  // COUNT(DISTINCT x + 1)
  if (b >= 3 && is(t_[b - 1], "DISTINCT") && is(t_[b - 2], "(") && t_[b - 3].kind == Token::Ident) return is(t_[e], ")");
  static const char* const stops[] = {"SELECT", "FROM", "WHERE", "HAVING", "ON",   "AND",  "OR",     "NOT",  "WHEN",
                                      "THEN",   "ELSE", "CASE",  "END",    "SET",  "INTO", "VALUES", "START", "CONNECT"};
  for (size_t k = b; k-- > 0;) {
    const Token& w = t_[k];
    if (w.depth < d) return groupingItem(k);
    if (w.depth > d || is(w, ",")) continue;
    if (is(w, "DISTINCT") || is(w, "UNIQUE")) return k > 0 && is(t_[k - 1], "SELECT");
    for (const char* s : stops)
      if (is(w, s)) return false;
    if (!is(w, "BY") || k == 0) continue;
    if (is(t_[k - 1], "GROUP") || is(t_[k - 1], "PARTITION")) return true;
    if (!is(t_[k - 1], "ORDER") && !is(t_[k - 1], "SIBLINGS")) return false;
    // WITHIN GROUP's and KEEP's keys go to our aggregates, which compare NUMBER keys by value
    for (size_t o = k; o-- > 0;) {
      if (t_[o].depth >= d) continue;
      if (is(t_[o], "(") && o > 0 && (is(t_[o - 1], "GROUP") || is(t_[o - 1], "KEEP"))) return true;
      break;
    }
    // SQLite sorts the exact value's two forms (a double, or text when longer) apart: numbers
    // before text. As text in the collation of NUMBER order they sort by value.
    *sortKey = true;
    return true;
  }
  return false;
}

// Whether [b, e) is an argument of a call that hands one of its values on unchanged and is itself
// the whole select item going out exactly: 1 when the value may go as exact text, 2 when the
// call also compares the values (MIN, MAX), which then go as text in NUMBER order.
int Translator::passedOut(size_t b, size_t e) const {
  static const char* const names[] = {"FIRST_VALUE", "LAST_VALUE", "NTH_VALUE", "LAG", "LEAD", "MIN", "MAX"};
  if (b < 2 || b - 2 != exactTop_.first || exactTop_.second <= b || e >= size()) return 0;
  const size_t open = b - 1;
  if (!is(t_[open], "(") || t_[b - 2].kind != Token::Ident) return 0;
  if (!(is(t_[e], ")") && t_[e].depth == t_[open].depth) && !(is(t_[e], ",") && t_[e].depth == t_[open].depth + 1)) return 0;
  size_t end = analyticAt(b - 2);
  if (!end) end = matching(open) + 1;
  if (end != exactTop_.second) return 0;
  for (const char* n : names)
    if (is(t_[b - 2], n)) return is(t_[b - 2], "MIN") || is(t_[b - 2], "MAX") ? (b == open + 1 ? 2 : 0) : 1;
  return 0;
}

} // namespace ora::tx
