// Clauses with no SQLite counterpart of the same shape: row limits, LISTAGG, analytic
// windows and comparisons with ANY / ALL.
#include "TranslateImpl.h"

#include "CType.h"
#include "Dictionary.h"
#include "Number.h"
#include "OraFunctions.h"
#include "Session.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
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
    // a fraction is cut off; a NULL offset leaves no rows
    offset = "COALESCE(MAX(0, CAST(" + emit(m + 1, x) + " AS INTEGER)), 9223372036854775807)";
    m = x + 1;
  }
  if (m < e && is(at(m), "FETCH")) {
    size_t x = until(m + 2, {"ROW", "ROWS", "PERCENT"});
    limit = x > m + 2 ? "COALESCE(MAX(0, CAST(" + emit(m + 2, x) + " AS INTEGER)), 0)" : "1"; // NULL: no rows
    if (is(at(x), "PERCENT")) throw OraError(900, "FETCH ... PERCENT is not supported here");
    m = x + 1;
    if (is(at(m), "WITH")) {
      // without an ORDER BY no row ties with another: the first n rows
      bool ordered = false;
      for (size_t k = i; k > 0 && t_[k - 1].depth >= d && !ordered; --k)
        ordered = t_[k - 1].depth == d && is(t_[k - 1], "BY") && k >= 2 && is(t_[k - 2], "ORDER");
      if (ordered) throw OraError(900, "FETCH ... WITH TIES is not supported");
      ++m;
    }
    ++m; // ONLY, TIES
  }
  after = m;
  return "LIMIT " + limit + (offset.empty() ? "" : " OFFSET " + offset);
}

// LISTAGG([DISTINCT] x [, sep] [ON OVERFLOW ...]) [WITHIN GROUP (ORDER BY ...)] as the engine's
// ordered aggregate ora_listagg(x, sep, mode, indicator, key1, how1, ...); mode bit 0: DISTINCT,
// bit 1: truncate on overflow, bit 2: with the count of what was left out.
std::string Translator::listAgg(size_t i, size_t& after) {
  int d = t_[i].depth;
  size_t close = matching(i + 1);
  size_t b = i + 2;
  int mode = 0;
  if (is(at(b), "DISTINCT") || is(at(b), "UNIQUE")) {
    mode |= 1;
    ++b;
  } else if (is(at(b), "ALL")) {
    ++b;
  }
  std::string indicator = "'...'";
  size_t argsEnd = close;
  for (size_t m = b; m < close; ++m)
    if (t_[m].depth == d + 1 && is(t_[m], "ON") && is(at(m + 1), "OVERFLOW")) {
      argsEnd = m;
      size_t o = m + 2;
      if (is(at(o), "TRUNCATE")) {
        mode |= 2 | 4;
        ++o;
        if (at(o).kind == Token::Str) indicator = emit(o, o + 1), ++o;
        if (is(at(o), "WITHOUT")) mode &= ~4;
      }
      break;
    }
  std::vector<std::pair<size_t, size_t>> args;
  for (size_t a = b, m = a; m <= argsEnd; ++m)
    if (m == argsEnd || (t_[m].depth == d + 1 && is(t_[m], ","))) {
      if (m == a) throw OraError(936);
      args.emplace_back(a, m);
      a = m + 1;
    }
  if (args.empty() || args.size() > 2) throw OraError(909);
  // a DATE joins the list as its text in the session's format
  std::string value = emit(args[0].first, args[0].second);
  ColType valueType = exprType(args[0].first, args[0].second);
  if (valueType.code == kDate) value = "TO_CHAR(" + value + ")";
  // a computed number joins the list with all its digits
  else if (valueType.code == kNumber && !valueType.binary) value = exactCall(value);
  std::string out = "ora_listagg(" + value + ", " +
                    (args.size() > 1 ? emit(args[1].first, args[1].second) : std::string("NULL")) + ", " +
                    std::to_string(mode) + ", " + indicator;
  after = close + 1;
  if (is(at(close + 1), "WITHIN") && is(at(close + 2), "GROUP") && is(at(close + 3), "(")) {
    size_t wclose = matching(close + 3), ob = close + 4;
    if (!is(at(ob), "ORDER") || !is(at(ob + 1), "BY")) throw OraError(30491);
    size_t count;
    out += sortKeys(ob + 2, wclose, d + 1, count);
    after = wclose + 1;
  }
  return out + ")";
}

// MEDIAN(x) and PERCENTILE_CONT / PERCENTILE_DISC (p) WITHIN GROUP (ORDER BY x [DESC]) as the
// engine's ora_percentile(p, x, descending, discrete); an OVER clause after it stays as it is.
// The value expression [kb, ke) of MEDIAN or PERCENTILE_CONT / _DISC at i.
bool Translator::percentileKey(size_t i, size_t& kb, size_t& ke) const {
  if (!(is(t_[i], "MEDIAN") || is(t_[i], "PERCENTILE_CONT") || is(t_[i], "PERCENTILE_DISC")) || !is(at(i + 1), "("))
    return false;
  size_t close = matching(i + 1);
  if (is(t_[i], "MEDIAN")) {
    kb = i + 2;
    ke = close;
    return ke > kb;
  }
  if (!is(at(close + 1), "WITHIN") || !is(at(close + 2), "GROUP") || !is(at(close + 3), "(") ||
      !is(at(close + 4), "ORDER") || !is(at(close + 5), "BY"))
    return false;
  kb = close + 6;
  ke = matching(close + 3);
  if (ke - kb >= 2 && is(t_[ke - 2], "NULLS")) ke -= 2;
  if (ke > kb && (is(t_[ke - 1], "DESC") || is(t_[ke - 1], "ASC"))) --ke;
  return ke > kb;
}

// A date's place among others as days from a fixed day, a timestamp's as seconds from it, and
// back.
namespace {
const char* const kDayZero = "ora_conv('2000-01-01', 12, 0, 0, 0, 0, 'date')";
std::string asDays(const std::string& date) { return std::string("ora_date_diff(") + date + ", " + kDayZero + ")"; }
std::string asSeconds(const std::string& stamp) { return "ora_stamp_seconds(" + stamp + ")"; }
} // namespace

// The date so many days from the fixed day, or the timestamp so many seconds from it; an
// analytic call takes its window with it.
std::string Translator::fromDays(const std::string& days, size_t& after, bool seconds) {
  std::string call = days;
  if (is(at(after), "OVER") && is(at(after + 1), "(")) {
    size_t close = matching(after + 1);
    analyticWindow(after);
    call += " OVER " + emit(after + 1, close + 1);
    after = close + 1;
  }
  if (seconds) return "ora_dt_iv('2000-01-01 00:00:00', NUMTODSINTERVAL(" + call + ", 'SECOND'), 1, 1)";
  return std::string("ora_date_add(") + kDayZero + ", " + call + ")";
}

std::string Translator::percentile(size_t i, size_t& after) {
  int d = t_[i].depth;
  size_t close = matching(i + 1);
  if (close == i + 2) throw OraError(909);
  for (size_t m = i + 2; m < close; ++m)
    if (t_[m].depth == d + 1 && is(t_[m], ",")) throw OraError(909);
  size_t keyB = 0, keyE = 0;
  int keyCode = percentileKey(i, keyB, keyE) ? exprType(keyB, keyE).code : 0;
  bool stamps = keyCode == kTimestamp, dates = keyCode == kDate || stamps;
  auto asKey = [&](const std::string& x) { return stamps ? asSeconds(x) : asDays(x); };
  if (is(t_[i], "MEDIAN")) {
    after = close + 1;
    std::string x = emit(i + 2, close);
    std::string disc = discreteMedian_.count(i) ? "1" : "0";
    return dates ? fromDays("ora_percentile(0.5, " + asKey(x) + ", 0, " + disc + ")", after, stamps)
                 : "ora_percentile(0.5, " + x + ", 0, " + disc + ")";
  }
  if (!is(at(close + 1), "WITHIN") || !is(at(close + 2), "GROUP") || !is(at(close + 3), "("))
    throw OraError(30491);
  size_t wclose = matching(close + 3), b = close + 4;
  if (!is(at(b), "ORDER") || !is(at(b + 1), "BY")) throw OraError(30491);
  size_t ke = wclose;
  for (size_t m = b + 2; m < wclose; ++m)
    if (t_[m].depth == d + 1 && is(t_[m], ",")) throw OraError(909); // one sort key only
  if (ke - (b + 2) >= 2 && is(t_[ke - 2], "NULLS")) ke -= 2;
  bool desc = false;
  if (ke > b + 2 && (is(t_[ke - 1], "DESC") || is(t_[ke - 1], "ASC"))) desc = is(t_[--ke], "DESC");
  if (ke == b + 2) throw OraError(936);
  after = wclose + 1;
  std::string key = emit(b + 2, ke);
  std::string call = "ora_percentile(" + emit(i + 2, close) + ", " + (dates ? asKey(key) : key) + ", " +
                     (desc ? "1" : "0") + ", " + (is(t_[i], "PERCENTILE_DISC") ? "1" : "0") + ")";
  return dates ? fromDays(call, after, stamps) : call;
}

// ", key1, how1, key2, how2, ..." for the sort keys between b and e (after ORDER BY), each how
// with bit 0 for descending and bit 1 for NULLs first (Oracle: NULL is the largest value).
std::string Translator::sortKeys(size_t b, size_t e, int depth, size_t& count) {
  std::string out;
  count = 0;
  for (size_t kb = b, m = kb; m <= e; ++m) {
    if (m < e && !(t_[m].depth == depth && is(t_[m], ","))) continue;
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
    if (!nullsSaid && (how & 1)) how |= 2;
    if (ke == kb) throw OraError(936);
    // a NUMBER may come as exact text (a wide column, a long computed value): by value
    try {
      if (ColType x = exprType(kb, ke); x.code == kNumber && !x.binary) how |= 4;
    } catch (const OraError&) {
    }
    out += ", " + emit(kb, ke) + ", " + std::to_string(how);
    ++count;
    kb = m + 1;
  }
  return out;
}

// MIN(x) KEEP (DENSE_RANK FIRST ORDER BY k) and the like as ora_keep(fn, last, x, k, how, ...).
std::string Translator::keepRows(size_t i, size_t& after) {
  static const std::vector<std::string> fns = {"MIN", "MAX", "SUM", "AVG", "COUNT", "VARIANCE", "STDDEV"};
  auto fn = std::find(fns.begin(), fns.end(), t_[i].text);
  if (fn == fns.end()) throw OraError(900, t_[i].text + " with KEEP");
  size_t close = matching(i + 1), k = close + 1;
  if (close == i + 2) throw OraError(909);
  bool distinct = is(at(i + 2), "DISTINCT") || is(at(i + 2), "UNIQUE");
  if (distinct) throw OraError(30482); // DISTINCT is no option with KEEP
  size_t vb = is(at(i + 2), "ALL") ? i + 3 : i + 2;
  std::string value = is(at(vb), "*") && vb + 1 == close ? std::string("1") : emit(vb, close);
  // a NUMBER value goes with all its digits, and MIN and MAX compare it by value (8 in fn)
  int numeric = 0;
  if (value != "1" || vb + 1 != close) {
    if (ColType x = exprType(vb, close); x.code == kNumber && !x.binary) {
      value = exactCall(value);
      numeric = 8;
    }
  }
  size_t kclose = matching(k + 1);
  if (!is(at(k + 2), "DENSE_RANK") || !(is(at(k + 3), "FIRST") || is(at(k + 3), "LAST"))) throw OraError(905);
  if (!is(at(k + 4), "ORDER") || !is(at(k + 5), "BY")) throw OraError(30491);
  size_t count;
  std::string keys = sortKeys(k + 6, kclose, t_[k].depth + 1, count);
  after = kclose + 1;
  return "ora_keep(" + std::to_string((fn - fns.begin()) | numeric) + ", " + (is(at(k + 3), "LAST") ? "1" : "0") + ", " +
         value + keys + ")";
}

// RANK, DENSE_RANK, PERCENT_RANK or CUME_DIST (args) WITHIN GROUP (ORDER BY keys), with no OVER
bool Translator::hypotheticalAt(size_t i) const {
  static const std::set<std::string> names = {"RANK", "DENSE_RANK", "PERCENT_RANK", "CUME_DIST"};
  if (t_[i].kind != Token::Ident || !names.count(t_[i].text) || !is(at(i + 1), "(")) return false;
  size_t close = matching(i + 1);
  return is(at(close + 1), "WITHIN") && is(at(close + 2), "GROUP") && is(at(close + 3), "(") &&
         !is(at(matching(close + 3) + 1), "OVER");
}

// The rank a row of the given values would have among the group's rows.
std::string Translator::hypothetical(size_t i, size_t& after) {
  int d = t_[i].depth;
  size_t close = matching(i + 1), wclose = matching(close + 3);
  std::vector<std::string> args;
  for (size_t a = i + 2, m = a; m <= close; ++m)
    if (m == close || (t_[m].depth == d + 1 && is(t_[m], ","))) {
      if (m == a) throw OraError(936);
      args.push_back(exactCall(emit(a, m))); // compared with the keys by exact value
      a = m + 1;
    }
  if (!is(at(close + 4), "ORDER") || !is(at(close + 5), "BY")) throw OraError(30491);
  size_t count;
  std::string keys = sortKeys(close + 6, wclose, d + 1, count);
  if (count != args.size()) throw OraError(909).at(static_cast<int>(t_[i].pos)); // one value per sort key
  std::string name = t_[i].text;
  for (auto& c : name) c = static_cast<char>(ora::lowerC(static_cast<unsigned char>(c)));
  std::string out = "ora_hypo_" + name + "(" + std::to_string(args.size());
  for (auto& a : args) out += ", " + a;
  after = wclose + 1;
  return out + keys + ")";
}

// NTILE (n) and NTH_VALUE (x, n): a literal n below 1 (after truncation) is out of range
void Translator::positiveCount(size_t i) {
  size_t close = matching(i + 1), ab = i + 2;
  for (size_t m = i + 2; m < close; ++m)
    if (t_[m].depth == t_[i].depth + 1 && is(t_[m], ",")) ab = m + 1;
  size_t ae = close;
  if (ae - ab >= 3 && (is(t_[ae - 2], "IGNORE") || is(t_[ae - 2], "RESPECT")) && is(t_[ae - 1], "NULLS")) ae -= 2;
  bool minus = ab < ae && is(t_[ab], "-");
  size_t nb = ab + (minus ? 1 : 0);
  if (nb + 1 != ae || t_[nb].kind != Token::Num) return;
  pin_[nb] = 1; // a shared statement with another count would skip this check
  double v = cStrtod(t_[nb].text.c_str());
  if (std::trunc(minus ? -v : v) < 1) throw OraError(1428, (minus ? "-" : "") + t_[nb].text);
}

void Translator::markNthFrom() {
  for (size_t i = 0; i + 3 < t_.size(); ++i) {
    if (!is(t_[i], "NTH_VALUE") || !is(t_[i + 1], "(")) continue;
    size_t close = matching(i + 1);
    if (close + 2 < t_.size() && is(t_[close + 1], "FROM") && (is(t_[close + 2], "FIRST") || is(t_[close + 2], "LAST")))
      t_[close + 1].text = "NTH$FROM";
  }
}

// FIRST_VALUE, LAST_VALUE, NTH_VALUE (FROM LAST), LAG and LEAD with IGNORE NULLS: the n-th value
// of a frame, counted from either end, as ora_nth(x, n, from_last, ignore_nulls). LAG and LEAD
// look at the rows before or after the current one. Empty when the engine's own will do.
std::string Translator::frameValue(size_t i, size_t& after) {
  int d = t_[i].depth;
  const std::string& f = t_[i].text;
  size_t close = matching(i + 1), end = analyticAt(i);
  if (!end) return {};
  std::vector<std::pair<size_t, size_t>> args;
  bool ignore = false;
  for (size_t a = i + 2, m = a; m <= close; ++m)
    if (m == close || (t_[m].depth == d + 1 && is(t_[m], ","))) {
      size_t ae = m;
      if (ae - a >= 3 && (is(t_[ae - 2], "IGNORE") || is(t_[ae - 2], "RESPECT")) && is(t_[ae - 1], "NULLS")) {
        ignore = is(t_[ae - 2], "IGNORE");
        ae -= 2;
        skip_[ae] = skip_[ae + 1] = 1; // RESPECT NULLS is what the engine does anyway
      }
      if (ae == a) throw OraError(936);
      args.emplace_back(a, ae);
      a = m + 1;
    }
  size_t k = close + 1;
  bool fromLast = false;
  if (is(at(k), "NTH$FROM")) {
    fromLast = is(at(k + 1), "LAST");
    k += 2;
  }
  if (is(at(k), "IGNORE") || is(at(k), "RESPECT")) {
    ignore = ignore || is(at(k), "IGNORE");
    skip_[k] = skip_[k + 1] = 1;
    k += 2;
  }
  // LAG's and LEAD's default takes the type of the value: LAG(SAL, 1, 'x') is no number
  std::string defaultValue;
  if ((f == "LAG" || f == "LEAD") && args.size() > 2) {
    auto [vb, ve] = args[0];
    auto [db, de] = args[2];
    int to = exprType(vb, ve).code, from = exprType(db, de).code;
    bool text = from == kVarchar2 || from == kChar, nullArg = de == db + 1 && is(t_[db], "NULL");
    const char* conv = nullptr;
    if (!nullArg && to == kNumber && text) conv = "ora_num(";
    else if (!nullArg && to == kDate && text) conv = "TO_DATE(";
    else if (!nullArg && (to == kVarchar2 || to == kChar) && (from == kNumber || from == kDate)) conv = "TO_CHAR(";
    defaultValue = emit(db, de);
    if (conv) {
      defaultValue = conv + defaultValue + ")";
      replace_[db] = defaultValue;
      skip_[db] = 0;
      for (size_t x = db + 1; x < de; ++x) skip_[x] = 1;
    }
  }
  if (!ignore && !fromLast) {
    if (is(at(close + 1), "NTH$FROM")) skip_[close + 1] = skip_[close + 2] = 1; // FROM FIRST: the engine's own order
    // the engine's LAG and LEAD take a whole offset: Oracle truncates a fraction
    if ((f == "LAG" || f == "LEAD") && args.size() > 1 && replace_[args[1].first].rfind("CAST(", 0) != 0) {
      auto [ob, oe] = args[1];
      std::string v = emit(ob, oe);
      replace_[ob] = "CAST((" + v + ") AS INTEGER)";
      skip_[ob] = 0; // an operator rewrite may have moved the expression to a later token
      for (size_t x = ob + 1; x < oe; ++x) skip_[x] = 1;
    }
    return {};
  }
  size_t over = k, overClose = matching(k + 1);
  bool lag = f == "LAG" || f == "LEAD";
  size_t want = f == "NTH_VALUE" ? 2 : 1;
  if (args.size() < want || args.size() > (lag ? 3 : want)) throw OraError(909);
  std::string x = emit(args[0].first, args[0].second);
  std::string n = f == "NTH_VALUE" || (lag && args.size() > 1) ? emit(args[1].first, args[1].second) : "1";
  if (f == "LAST_VALUE") fromLast = true;
  analyticWindow(over);
  std::string window;
  if (lag) {
    for (size_t m = over + 2; m < overClose; ++m)
      if (t_[m].depth == d + 1 && (is(t_[m], "ROWS") || is(t_[m], "RANGE"))) throw OraError(907);
    window = emit(over + 1, overClose) +
             (f == "LAG" ? " ROWS BETWEEN UNBOUNDED PRECEDING AND 1 PRECEDING)" : " ROWS BETWEEN 1 FOLLOWING AND UNBOUNDED FOLLOWING)");
  } else {
    window = emit(over + 1, overClose + 1);
  }
  after = end;
  std::string call = "ora_nth(" + x + ", " + n + ", " + (f == "LAG" || fromLast ? "1" : "0") + ", " +
                     (ignore ? "1" : "0") + ") OVER " + window;
  if (lag && args.size() > 2) call = "COALESCE(" + call + ", " + defaultValue + ")";
  return call;
}

// A frame offset of numbers, signs, + - * / and parentheses only.
bool Translator::constantOffset(size_t b, size_t e) const {
  for (size_t m = b; m < e; ++m)
    if (!(t_[m].kind == Token::Num || is(t_[m], "+") || is(t_[m], "-") || is(t_[m], "*") || is(t_[m], "/") ||
          is(t_[m], "(") || is(t_[m], ")")))
      return false;
  return b < e;
}

// SQLite measures a RANGE offset from numbers only: a NUMBER key kept as text (a column without
// precision, a long computed value) sorts as its double.
void Translator::numberRangeKey(size_t kb, size_t ke, size_t frame) {
  replace_[kb] = "CAST(" + emit(kb, ke) + " AS REAL)" + (ke == frame ? " NULLS LAST" : "");
  for (size_t x = kb + 1; x < ke; ++x) skip_[x] = 1;
}

// The words of an analytic window pass as SQLite writes them; its ORDER BY sorts NULLs as
// Oracle does.
void Translator::analyticWindow(size_t i) {
  const Token& k = t_[i];
  static const std::set<std::string> words = {"PARTITION", "BY", "ORDER", "ROWS", "RANGE", "GROUPS",
      "BETWEEN", "UNBOUNDED", "PRECEDING", "FOLLOWING", "CURRENT", "ROW", "AND", "ASC", "DESC", "NULLS", "FIRST", "LAST",
      "EXCLUDE", "GROUP", "TIES", "NO", "OTHERS"};
  size_t close = matching(i + 1);
  // the ranking and offset functions need the window's order
  static const std::set<std::string> ordered = {"ROW_NUMBER", "RANK", "DENSE_RANK", "PERCENT_RANK", "CUME_DIST",
                                                "NTILE", "LAG", "LEAD"};
  // ... and those over a whole partition take none
  static const std::set<std::string> unordered = {"MEDIAN", "PERCENTILE_CONT", "PERCENTILE_DISC", "RATIO_TO_REPORT",
                                                  "LISTAGG", "KEEP"};
  auto openOf = [&](size_t c) {
    size_t open = c;
    while (open > 0 && !(is(t_[open], "(") && t_[open].depth == t_[c].depth)) --open;
    return open;
  };
  size_t p = i;
  while (p > 1 && (is(t_[p - 1], "NULLS") || is(t_[p - 1], "IGNORE") || is(t_[p - 1], "RESPECT"))) --p;
  if (p > 2 && is(t_[p - 1], ")")) {
    size_t open = openOf(p - 1);
    if (open > 2 && is(t_[open - 1], "GROUP") && is(t_[open - 2], "WITHIN") && is(t_[open - 3], ")"))
      open = openOf(open - 3);
    bool sorted = false;
    for (size_t m = i + 2; m < close; ++m) sorted = sorted || (t_[m].depth == k.depth + 1 && is(t_[m], "ORDER"));
    const Token& f = at(open > 0 ? open - 1 : 0);
    if (open > 0 && f.kind == Token::Ident && ordered.count(f.text) && !sorted)
      throw OraError(30485).at(static_cast<int>(t_[close].pos));
    bool distinct = is(at(open + 1), "DISTINCT") || is(at(open + 1), "UNIQUE");
    if (open > 0 && f.kind == Token::Ident && (unordered.count(f.text) || distinct) && sorted)
      throw OraError(30487).at(static_cast<int>(t_[i].pos));
  }
  for (size_t m = i + 2; m + 1 < close; ++m)
    if (t_[m].depth == k.depth + 1 && is(t_[m], "ORDER") && is(t_[m + 1], "BY")) {
      size_t oe = m + 2;
      while (oe < close && !(t_[oe].depth == k.depth + 1 && (is(t_[oe], "ROWS") || is(t_[oe], "RANGE") ||
                                                              is(t_[oe], "GROUPS"))))
        ++oe;
      // the frame's offsets
      std::vector<std::pair<size_t, size_t>> offsets;
      for (size_t p = oe + 1; p < close;) {
        static const std::set<std::string> frameWords = {"BETWEEN", "AND", "UNBOUNDED", "CURRENT", "ROW", "PRECEDING",
                                                         "FOLLOWING", "EXCLUDE", "GROUP", "TIES", "NO", "OTHERS"};
        if (t_[p].depth == k.depth + 1 && frameWords.count(t_[p].text)) { ++p; continue; }
        size_t q = p;
        while (q < close && !(t_[q].depth == k.depth + 1 && (is(t_[q], "PRECEDING") || is(t_[q], "FOLLOWING")))) ++q;
        offsets.emplace_back(p, q);
        p = q;
      }
      bool rangeOffset = is(at(oe), "RANGE") && !offsets.empty();
      size_t kb = m + 2, ke = oe;
      if (ke > kb && (is(t_[ke - 1], "ASC") || is(t_[ke - 1], "DESC"))) --ke;
      if (ke > kb + 1 && is(t_[ke - 1], "LAST") && is(t_[ke - 2], "NULLS")) ke -= 2;
      if (ke > kb + 1 && is(t_[ke - 1], "FIRST") && is(t_[ke - 2], "NULLS")) ke -= 2;
      if (ke > kb && (is(t_[ke - 1], "ASC") || is(t_[ke - 1], "DESC"))) --ke;
      bool months = false, seconds = false;
      if (rangeOffset && replace_[kb].empty()) {
        // RANGE n PRECEDING over a DATE counts days, over an interval of months counts months:
        // the window sorts on the day or month number
        ColType keyType = exprType(kb, ke);
        int code = keyType.code;
        if (code == kVarchar2 || code == kChar || code == kRaw) throw OraError(902).at(static_cast<int>(t_[kb].pos));
        size_t monthOffsets = 0, secondOffsets = 0;
        for (auto [ob, oe2] : offsets) {
          std::string n;
          int kind = windowInterval(ob, oe2, n, false);
          monthOffsets += kind == 1;
          secondOffsets += kind == 2;
        }
        months = monthOffsets > 0;
        // day-to-second intervals alone: the key in seconds, which a double holds exactly
        seconds = secondOffsets == offsets.size();
        if (months && monthOffsets < offsets.size()) throw OraError(30081).at(static_cast<int>(t_[oe].pos));
        if (code == kDate || isTimestamp(code)) {
          std::string key = emit(kb, ke);
          // months since year 0, the days and time past in 31sts: a month back is one less
          key = months ? "ora_month_key(" + key + ")" : seconds ? "ora_second_key(" + key + ")" : "julianday(" + key + ")";
          replace_[kb] = key + (ke == oe ? " NULLS LAST" : ""); // NULLS LAST unless the key says otherwise
          for (size_t x = kb + 1; x < ke; ++x) skip_[x] = 1;
        } else if (months || secondOffsets > 0) {
          // an interval measures from a date or timestamp only
          throw OraError(902).at(static_cast<int>(t_[kb].pos));
        } else {
          seconds = false;
          if (code == kNumber && !keyType.binary) numberRangeKey(kb, ke, oe);
        }
      } else if (rangeOffset) {
        // a computed key, already rewritten
        if (ColType x = exprType(kb, ke); x.code == kNumber && !x.binary) numberRangeKey(kb, ke, oe);
      }
      for (auto [ob, oe2] : offsets) {
        std::string n;
        if (rangeOffset && windowInterval(ob, oe2, n, seconds)) {
          // the key counts months, days or seconds: the interval as so many of them
          replace_[ob] = n;
        } else if (constantOffset(ob, oe2) && (oe2 > ob + 1 || !is(at(oe), "RANGE"))) {
          // an offset computed from numbers: SQLite's frame takes no function call, so the sum is
          // written in its own arithmetic, in whole rows for ROWS
          bool rows = !is(at(oe), "RANGE"); // ROWS and GROUPS count whole rows or peer groups
          std::string x;
          for (size_t m2 = ob; m2 < oe2; ++m2) {
            const std::string& v = t_[m2].text;
            bool whole = t_[m2].kind == Token::Num && v.find_first_of(".eE") == std::string::npos;
            x += (x.empty() ? "" : " ") + v + (whole && !rows ? ".0" : "");
          }
          replace_[ob] = rows ? "CAST((" + x + ") AS INTEGER)" : "(" + x + ")";
          skip_[ob] = 0;
        } else {
          continue;
        }
        for (size_t x = ob + 1; x < oe2; ++x) skip_[x] = 1;
      }
      nullsOrder(m + 2, oe, k.depth + 1);
    }
  // Oracle sorts the partitions with NULL last, which a query without ORDER BY shows: a column
  // key is led by its IS NULL, which splits no partition
  for (size_t m = i + 2; m + 1 < close; ++m)
    if (t_[m].depth == k.depth + 1 && is(t_[m], "PARTITION") && is(t_[m + 1], "BY"))
      for (size_t kb = m + 2, ke = kb; kb < close; kb = ++ke) {
        bool column = true;
        while (ke < close && !(t_[ke].depth == k.depth + 1 && (is(t_[ke], ",") || words.count(t_[ke].text)))) {
          column = column && (t_[ke].kind == Token::Ident || is(t_[ke], ".")) && skip_[ke] == 0;
          ++ke;
        }
        if (column && ke > kb) {
          std::string key = emit(kb, ke);
          replace_[kb] = key + " IS NULL, " + key;
          for (size_t x = kb + 1; x < ke; ++x) skip_[x] = 1;
        }
        if (ke >= close || !is(t_[ke], ",")) break;
      }
  // after the sort keys, so that a trailing ASC or DESC gets its NULLS placement
  for (size_t m = i + 2; m < close; ++m)
    if (t_[m].depth == k.depth + 1 && t_[m].kind == Token::Ident && words.count(t_[m].text) &&
        replace_[m].empty())
      replace_[m] = t_[m].text;
}


// x op ANY (...) is true when one value compares true, unknown when none does but some compare
// unknown, else false (an empty set is false); ALL the other way round.
std::string Translator::quantified(const Quantified& q) {
  std::string left = emit(tokenAt(q.left.first), tokenAt(q.left.second));
  std::string values;
  if (q.subquery) {
    // the subquery's value reaches only our exact comparison
    bool grouped = false; // decided by the values' MIN or MAX below, which SQLite compares
    for (size_t k = tokenAt(q.left.first); k < tokenAt(q.left.second) && !grouped; ++k) grouped = isAggregate(k);
    size_t ie = 0, ib = q.width == 1 ? singleItem(tokenAt(q.values.front().first) - 1, ie) : 0;
    if (ib && !grouped && exactLeft(q)) exactItems_.insert(ib);
    values = emit(tokenAt(q.values.front().first), tokenAt(q.values.front().second));
  } else {
    for (auto [vb, ve] : q.values) values += (values.empty() ? "VALUES (" : ", (") + emit(tokenAt(vb), tokenAt(ve)) + ")";
  }
  std::string op = q.op == "!=" || q.op == "^=" || q.op == "~=" ? "<>" : q.op;
  if (q.width > 1) {
    // rows compare value by value: equal when all are, unknown when a NULL leaves it open
    std::string names, row;
    for (size_t k = 1; k <= q.width; ++k) {
      std::string v = "\"V" + std::to_string(k) + "\"";
      names += (k > 1 ? ", " : "") + v;
      row += (k > 1 ? ", " : "") + v;
    }
    std::string c = "(SELECT " + left + " " + op + " (" + row + ") AS \"C\" FROM \"A$\")";
    std::string decide = q.all ? "CASE WHEN MIN(\"C\") = 0 THEN 0 WHEN COUNT(*) > COUNT(\"C\") THEN NULL ELSE 1 END"
                               : "CASE WHEN MAX(\"C\") = 1 THEN 1 WHEN COUNT(*) > COUNT(\"C\") THEN NULL ELSE 0 END";
    return "(WITH \"A$\"(" + names + ") AS (" + values + ") SELECT " + decide + " FROM " + c + ")";
  }
  bool grouped = false; // an aggregate on the left belongs to this query, not the values' one
  for (size_t k = tokenAt(q.left.first); k < tokenAt(q.left.second) && !grouped; ++k) grouped = isAggregate(k);
  if (grouped && !((op == "<>" && q.all) || (op == "=" && !q.all))) {
    // decided by the values' count, NULLs and least or greatest value, the left one outside
    auto of = [&](const char* f) {
      return "(WITH \"A$\"(\"V\") AS (" + values + ") SELECT " + f + " FROM \"A$\")";
    };
    const std::string x = "(" + left + ")", all = of("COUNT(*)"), known = of("COUNT(\"V\")");
    const std::string least = of("MIN(\"V\")"), most = of("MAX(\"V\")");
    bool up = op == ">" || op == ">=";
    std::string decisive;
    if (op == "=" || op == "<>") decisive = "(" + x + " <> " + least + " OR " + x + " <> " + most + ")";
    else decisive = x + " " + op + " " + (up == q.all ? most : least);
    std::string hit = q.all && op != "=" ? "NOT " + decisive : decisive; // a value that decides it
    const char* onHit = q.all ? "0" : "1";
    const char* otherwise = q.all ? "1" : "0";
    return "(CASE WHEN " + all + " = 0 THEN " + otherwise + " WHEN " + x + " IS NULL THEN NULL WHEN " + known +
           " > 0 AND " + hit + " THEN " + onHit + " WHEN " + all + " > " + known + " THEN NULL ELSE " + otherwise +
           " END)";
  }
  std::string c = "(SELECT (" + left + ") " + q.op + " \"V\" AS \"C\" FROM \"A$\")";
  if (exactLeft(q)) c = "(SELECT ora_ncmp(" + exactCall(left) + ", \"V\") " + op + " 0 AS \"C\" FROM \"A$\")";
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
  // the recursive branch is the last one, after a UNION ALL; the anchor before it may itself
  // combine several query blocks
  size_t unionAt = 0, refs = 0, stepRefs = 0;
  bool unionAll = true, anyUnion = false;
  for (size_t k = open + 1; k < close; ++k) {
    if (t_[k].depth == d && (is(t_[k], "UNION") || is(t_[k], "INTERSECT") || is(t_[k], "MINUS") || is(t_[k], "EXCEPT"))) {
      unionAll = is(t_[k], "UNION") && is(at(k + 1), "ALL");
      anyUnion = anyUnion || is(t_[k], "UNION");
      unionAt = k;
      stepRefs = 0;
    }
    if (t_[k].kind != Token::Str && at(k).text == name && !is(at(k + 1), "(") && !is(at(k - 1), ".") &&
        (is(at(k - 1), "FROM") || is(at(k - 1), "JOIN") || is(at(k - 1), ","))) {
      ++refs;
      ++stepRefs;
    }
  }
  if (!refs) return;
  // a query that reads itself: the recursive form, named columns and UNION ALL
  if (!is(at(nameAt + 1), "(")) throw OraError(32039).at(static_cast<int>(at(nameAt).pos));
  if (!unionAt) throw OraError(32040).at(static_cast<int>(at(nameAt).pos));
  if (!stepRefs || stepRefs < refs) throw OraError(anyUnion ? 32041 : 32040).at(static_cast<int>(at(nameAt).pos));
  if (!unionAll) throw OraError(32040).at(static_cast<int>(at(nameAt).pos));
  size_t listEnd = matching(nameAt + 1);
  auto fromOf = [&](size_t b, size_t e) {
    for (size_t k = b; k < e; ++k)
      if (t_[k].depth == d && is(t_[k], "FROM")) return k;
    return e;
  };
  size_t anchorFrom = fromOf(open + 1, unionAt), stepFrom = fromOf(unionAt + 2, close);
  if (anchorFrom >= unionAt || stepFrom >= close || !replace_[anchorFrom].empty() || !replace_[stepFrom].empty()) return;
  std::vector<std::pair<size_t, size_t>> anchors; // the SELECT and FROM of each anchor block
  for (size_t k = open + 1, sel = 0; k < unionAt; ++k) {
    if (t_[k].depth != d) continue;
    if (is(t_[k], "SELECT")) sel = k;
    else if (is(t_[k], "FROM") && sel) {
      if (!replace_[k].empty()) return;
      anchors.emplace_back(sel, k);
      sel = 0;
    }
  }
  std::map<size_t, std::string> anchorCycles; // by FROM
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
    ColType number;
    number.code = kNumber;
    tr_.inferred.emplace(at(m + 1).text, number);
    order = " ORDER BY " + std::to_string(names.size() + 1) + (depthFirst ? " DESC" : " ASC") + keys;
    for (size_t k = c; k < m + 2; ++k) skip_[k] = 1;
    c = m + 2;
  }
  // CYCLE: each row carries the cycle columns' values on its way down; a row that repeats one
  // of them is marked and not followed
  std::string cycleColumns, markColumn, stepCycle, whereClose;
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
    pin_[m + 3] = pin_[m + 5] = 1; // checked as written: one byte each, not the same
    ColType flag; // the marks are one-byte strings
    flag.code = kVarchar2;
    flag.size = 1;
    tr_.inferred.emplace(at(m + 1).text, flag);
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
    auto stepItems = items(unionAt + 2, stepFrom);
    if (stepItems.size() != names.size()) return;
    for (auto [sel, from] : anchors)
      if (items(sel, from).size() != names.size()) return;
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
    for (auto [sel, from] : anchors) anchorCycles[from] = ", '/' || " + key(items(sel, from)) + " || '/', " + no;
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
  for (auto [sel, from] : anchors) replace_[from] = ", 0" + anchorCycles[from] + " FROM";
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
