// INTERVAL YEAR TO MONTH and INTERVAL DAY TO SECOND in statements: literals, column and CAST
// types, the types of expressions that give them, and their arithmetic with datetimes, other
// intervals and numbers.
#include "TranslateImpl.h"

#include "Intervals.h"

#include <cstdlib>

namespace ora::tx {

namespace {

bool datetime(const ColType& t) { return t.code == kDate || isTimestamp(t.code); }

// An interval of the widest precisions, as Oracle's arithmetic and functions give it.
ColType widest(int code) {
  ColType t;
  t.code = code;
  t.precision = 9;
  t.scale = code == kIntervalDs ? 9 : 0;
  return t;
}

} // namespace

// The qualifier at k: YEAR[(p)] [TO MONTH], DAY[(p)] [TO HOUR|MINUTE|SECOND[(s)]], ...,
// SECOND[(p[,s])]. A literal without seconds shows none; a type's seconds have 6 digits
// unless given. Returns the token after it.
size_t Translator::intervalQualifier(size_t k, ColType& t, int& from, int& to, bool literal) const {
  static const char* const names[] = {"YEAR", "MONTH", "DAY", "HOUR", "MINUTE", "SECOND"};
  auto field = [&](size_t m) {
    for (int u = 0; u < 6; ++u)
      if (is(at(m), names[u])) return u;
    return -1;
  };
  auto precisionAt = [&](size_t m) {
    const Token& p = at(m);
    if (p.kind != Token::Num || p.text.find_first_not_of("0123456789") != std::string::npos || p.text.size() > 2 ||
        std::atoi(p.text.c_str()) > 9)
      throw OraError(30088).at(static_cast<int>(p.pos));
    return std::atoi(p.text.c_str());
  };
  from = field(k);
  if (from < 0) throw OraError(30089).at(static_cast<int>(at(k).pos));
  to = from;
  int lead = 2, frac = -1;
  ++k;
  if (is(at(k), "(")) {
    lead = precisionAt(k + 1);
    k += 2;
    if (from == 5 && is(at(k), ",")) {
      frac = precisionAt(k + 1);
      k += 2;
    }
    if (!is(at(k), ")")) throw OraError(907).at(static_cast<int>(at(k).pos));
    ++k;
  }
  if (is(at(k), "TO")) {
    to = field(k + 1);
    if (to <= from || (from < 2) != (to < 2)) throw OraError(30089).at(static_cast<int>(at(k + 1).pos));
    k += 2;
    if (to == 5 && is(at(k), "(")) {
      frac = precisionAt(k + 1);
      if (!is(at(k + 2), ")")) throw OraError(907).at(static_cast<int>(at(k + 2).pos));
      k += 3;
    }
  }
  t = ColType{};
  t.code = from < 2 ? kIntervalYm : kIntervalDs;
  t.precision = lead;
  if (t.code == kIntervalDs) t.scale = frac >= 0 ? frac : to == 5 || !literal ? 6 : 0;
  return k;
}

// INTERVAL '...' qualifier at i as its stored value.
std::string Translator::intervalLiteral(size_t i, size_t& after) {
  ColType t;
  int from, to;
  after = intervalQualifier(i + 2, t, from, to, true);
  __int128 v;
  if (int err = parseIntervalLiteral(at(i + 1).text, static_cast<IvField>(from), static_cast<IvField>(to), t.precision,
                                     t.scale, v))
    throw OraError(err).at(static_cast<int>(at(i + 1).pos));
  pin_[i + 1] = 1;
  return quoteString(storedInterval(t.code == kIntervalDs, v));
}

// The column type INTERVAL YEAR[(p)] TO MONTH or INTERVAL DAY[(p)] TO SECOND[(s)] after the
// word INTERVAL at k; the token after it.
size_t Translator::intervalColumnType(size_t k, ColType& t) const {
  int from, to;
  size_t after = intervalQualifier(k, t, from, to, false);
  if (!((from == 0 && to == 1) || (from == 2 && to == 5))) throw OraError(905).at(static_cast<int>(at(k).pos));
  return after;
}

// The type of an expression that is an interval: a literal, NUMTODSINTERVAL and its kin, SUM
// or AVG of intervals, an interval multiplied or divided by a number.
bool Translator::intervalType(size_t b, size_t e, ColType& t) {
  const Token& f = t_[b];
  if (is(f, "INTERVAL") && at(b + 1).kind == Token::Str && intervalEnd(b) == e) {
    int from, to;
    intervalQualifier(b + 2, t, from, to, true);
    return true;
  }
  if (f.kind == Token::Ident && is(at(b + 1), "(")) {
    size_t close = matching(b + 1);
    bool call = close + 1 == e, analytic = !call && (f.text == "SUM" || f.text == "AVG") && analyticAt(b) == e;
    if (call && (f.text == "NUMTODSINTERVAL" || f.text == "TO_DSINTERVAL")) { t = widest(kIntervalDs); return true; }
    if (call && (f.text == "NUMTOYMINTERVAL" || f.text == "TO_YMINTERVAL")) { t = widest(kIntervalYm); return true; }
    if ((call || analytic) && (f.text == "SUM" || f.text == "AVG")) {
      size_t a = b + 2;
      if (is(at(a), "DISTINCT") || is(at(a), "UNIQUE") || is(at(a), "ALL")) ++a;
      if (a >= close) return false;
      ColType x = exprType(a, close);
      if (!isInterval(x.code)) return false;
      t = x;
      t.precision = 9;
      return true;
    }
  }
  // a signed interval
  if ((is(f, "-") || is(f, "+")) && e > b + 1 && f.kind == Token::Op) {
    ColType x = exprType(b + 1, e);
    if (!isInterval(x.code)) return false;
    t = x;
    return true;
  }
  // a product at this level with an interval among its factors
  if (is(f, "CASE")) return false;
  int d = f.depth;
  std::vector<size_t> cuts;
  for (size_t k = b; k < e; ++k)
    if (is(t_[k], "INTERVAL") && at(k + 1).kind == Token::Str) {
      k = intervalEnd(k) - 1; // a literal's words are no operators
    } else if (k > b && t_[k].depth == d && !skip_[k] && replace_[k].empty()) {
      if (is(t_[k], "*") || is(t_[k], "/")) cuts.push_back(k);
      else if ((is(t_[k], "-") || is(t_[k], "+")) && (is(t_[k - 1], "*") || is(t_[k - 1], "/"))) continue; // a factor's sign
      else if (t_[k].kind == Token::Op && !is(t_[k], "(") && !is(t_[k], ")") && !is(t_[k], ".")) return false;
      else if (t_[k].kind == Token::Ident && keywordAt(t_, k)) return false;
    }
  if (cuts.empty()) return false;
  cuts.push_back(e);
  size_t fb = b;
  for (size_t c : cuts) {
    if (c > fb) {
      ColType x = exprType(fb, c);
      if (isInterval(x.code)) {
        t = widest(x.code);
        return true;
      }
    }
    fb = c + 1;
  }
  return false;
}

// The type of a op b when intervals take part, or a difference of timestamps; false when
// neither does. Oracle's error for an operation it has no meaning for.
bool Translator::intervalResult(const ColType& a, const std::string& op, const ColType& b, ColType& r) {
  if (op == "||") return false;
  bool ai = isInterval(a.code), bi = isInterval(b.code);
  if (!ai && !bi) {
    if (datetime(a) && datetime(b) && op == "-" && (isTimestamp(a.code) || isTimestamp(b.code))) {
      r = widest(kIntervalDs);
      return true;
    }
    return false;
  }
  if (ai && bi && a.code == b.code) r = widest(a.code);
  else if (datetime(a) && bi) r = a;
  else if (ai && datetime(b) && op == "+") r = b;
  else throw OraError(30081);
  return true;
}

// A chain of + and - with an interval among its terms or a difference of timestamps, as calls;
// false when it has neither.
bool Translator::intervalChain(const std::vector<std::pair<size_t, size_t>>& terms, const std::vector<std::string>& ops,
                               std::string& call, ColType& type) {
  std::vector<ColType> ty;
  bool any = false;
  for (auto [tb, te] : terms) {
    ty.push_back(exprType(tb, te));
    any = any || isInterval(ty.back().code);
  }
  for (size_t n = 0; n < ops.size() && !any; ++n)
    any = ops[n] == "-" && datetime(ty[n]) && datetime(ty[n + 1]) && (isTimestamp(ty[n].code) || isTimestamp(ty[n + 1].code));
  if (!any) return false;
  auto asText = [](const std::string& v, const ColType& w) {
    if (isInterval(w.code))
      return "ora_iv_char(" + v + ", " + std::to_string(w.precision) + ", " + std::to_string(w.scale) + ")";
    if (isTimestamp(w.code))
      return "ora_ts_char(" + v + ", " + std::to_string(w.scale) + ", " + (w.code == kTimestampTz ? "1" : "0") + ")";
    return w.code == kDate ? "TO_CHAR(" + v + ")" : v;
  };
  ColType acc = ty[0];
  std::string v = factors(terms[0].first, terms[0].second);
  for (size_t n = 0; n < ops.size(); ++n) {
    const std::string& op = ops[n];
    const ColType& t = ty[n + 1];
    std::string w = factors(terms[n + 1].first, terms[n + 1].second);
    ColType r;
    if (op == "||") {
      v = "ora_concat(" + asText(v, acc) + ", " + asText(w, t) + ")";
      acc = ColType{}, acc.code = kVarchar2, acc.size = 4000;
      continue;
    }
    if (!intervalResult(acc, op, t, r)) {
      // what is left is date and number arithmetic, a TIMESTAMP taken as a DATE
      r.code = kDate;
      if (datetime(acc) && t.code == kNumber) v = "ora_date_add(" + v + ", " + (op == "-" ? "-(" + w + ")" : w) + ")";
      else if (acc.code == kNumber && datetime(t) && op == "+") v = "ora_date_add(" + w + ", " + v + ")";
      else if (acc.code == kDate && t.code == kDate && op == "-") { v = "ora_date_diff(" + v + ", " + w + ")"; r.code = kNumber; }
      else if (acc.code == kNumber && t.code == kNumber) { v = exactPair(op == "+" ? "ora_add" : "ora_sub", v, w); r.code = kNumber; }
      else throw OraError(30081).at(static_cast<int>(t_[terms[n + 1].first].pos));
    } else if (isInterval(acc.code) && isInterval(t.code)) {
      v = std::string(op == "+" ? "ora_iv_add(" : "ora_iv_sub(") + v + ", " + w + ")";
    } else if (isInterval(t.code)) {
      v = "ora_dt_iv(" + v + ", " + w + ", " + (op == "-" ? "-1" : "1") + ", " + (isTimestamp(acc.code) ? "1" : "0") + ")";
    } else if (isInterval(acc.code)) {
      v = "ora_dt_iv(" + w + ", " + v + ", 1, " + (isTimestamp(t.code) ? "1" : "0") + ")";
    } else {
      v = "ora_dt_diff(" + v + ", " + w + ")";
    }
    acc = r;
  }
  call = v;
  type = acc;
  return true;
}

// A product or quotient with an interval factor: the interval scaled by the numbers.
bool Translator::intervalProduct(size_t b, size_t e, std::string& call) {
  int d = t_[b].depth;
  std::vector<std::pair<size_t, size_t>> fs;
  std::vector<std::string> ops;
  size_t fb = b;
  for (size_t k = b + 1; k <= e; ++k) {
    bool cut = k == e || (t_[k].depth == d && !skip_[k] && replace_[k].empty() && (is(t_[k], "*") || is(t_[k], "/")) &&
                          !is(t_[k - 1], "."));
    if (!cut) continue;
    fs.emplace_back(fb, k);
    if (k < e) ops.push_back(t_[k].text);
    fb = k + 1;
  }
  std::vector<ColType> ty;
  bool any = false;
  for (auto [xb, xe] : fs) {
    ty.push_back(exprType(xb, xe));
    any = any || isInterval(ty.back().code);
  }
  if (!any) return false;
  ColType acc = ty[0];
  std::string v = emit(fs[0].first, fs[0].second);
  for (size_t n = 0; n < ops.size(); ++n) {
    const ColType& t = ty[n + 1];
    std::string w = emit(fs[n + 1].first, fs[n + 1].second);
    bool mul = ops[n] == "*";
    if (datetime(t) || datetime(acc)) throw OraError(932, "expected NUMBER got DATE").at(t_[fs[n + 1].first].pos);
    if (isInterval(acc.code) && isInterval(t.code)) throw OraError(30081).at(t_[fs[n + 1].first].pos);
    if (isInterval(acc.code)) {
      v = std::string(mul ? "ora_iv_mul(" : "ora_iv_div(") + v + ", " + w + ")";
    } else if (isInterval(t.code)) {
      if (!mul) throw OraError(30081).at(t_[fs[n + 1].first].pos);
      v = "ora_iv_mul(" + w + ", " + v + ")";
      acc = t;
    } else {
      v = exactPair(mul ? "ora_mul" : "ora_div", v, w);
    }
  }
  call = v;
  return true;
}

// A window offset over a DATE key: an interval literal or NUMTOYMINTERVAL / NUMTODSINTERVAL of
// a number, as the months, days or seconds it spans. 0 when [b, e) is none of them, 1 for
// months, 2 for days or seconds.
int Translator::windowInterval(size_t b, size_t e, std::string& value, bool seconds) {
  int64_t n = 0;
  if (monthInterval(b, e, n)) {
    value = std::to_string(n);
    return 1;
  }
  if (is(at(b), "INTERVAL") && at(b + 1).kind == Token::Str && intervalEnd(b) == e) {
    if (!seconds) {
      size_t after;
      value = intervalDays(b, after);
      return 2;
    }
    ColType t;
    int from, to;
    intervalQualifier(b + 2, t, from, to, true);
    __int128 v;
    if (int err = parseIntervalLiteral(at(b + 1).text, static_cast<IvField>(from), static_cast<IvField>(to), t.precision,
                                       9, v))
      throw OraError(err).at(static_cast<int>(at(b + 1).pos));
    // exact decimal seconds: 3600, 0.5
    __int128 a = v < 0 ? -v : v;
    int64_t whole = static_cast<int64_t>(a / kNanosPerSecond);
    std::string frac = std::to_string(static_cast<int64_t>(a % kNanosPerSecond) + 1000000000).substr(1);
    frac.erase(frac.find_last_not_of('0') + 1);
    value = std::string(v < 0 ? "-" : "") + std::to_string(whole) + (frac.empty() ? "" : "." + frac);
    return 2;
  }
  bool ym = is(at(b), "NUMTOYMINTERVAL"), ds = is(at(b), "NUMTODSINTERVAL");
  if (!(ym || ds) || !is(at(b + 1), "(") || matching(b + 1) + 1 != e || e != b + 6) return 0;
  const Token &num = at(b + 2), &unit = at(b + 4);
  if (num.kind != Token::Num || !is(at(b + 3), ",") || unit.kind != Token::Str) return 0;
  std::string u;
  for (char c : unit.text) u += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  static const char* const names[] = {"YEAR", "MONTH", "DAY", "HOUR", "MINUTE", "SECOND"};
  static const char* const perDay[] = {"12", "1", "1", "24", "1440", "86400"};
  static const char* const inSeconds[] = {"", "", "86400", "3600", "60", "1"};
  for (int k = ym ? 0 : 2; k < (ym ? 2 : 6); ++k)
    if (u == names[k]) {
      if (ym || !seconds) value = "(" + num.text + (k == 0 ? " * " : " / ") + perDay[k] + ".0)";
      else value = "(" + num.text + " * " + inSeconds[k] + ".0)";
      return ym ? 1 : 2;
    }
  throw OraError(1760).at(static_cast<int>(unit.pos));
}

} // namespace ora::tx
