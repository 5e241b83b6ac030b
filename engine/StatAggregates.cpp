// The statistical aggregates (VARIANCE, STDDEV and their _POP/_SAMP forms, COVAR_*, CORR,
// REGR_*) and the inverse distribution ones (MEDIAN, PERCENTILE_CONT, PERCENTILE_DISC) in exact
// NUMBER arithmetic. Each is also a window function: sums are taken back out as rows leave.
#include "FunctionUtil.h"
#include "Number.h"
#include "OraError.h"
#include "OraFunctions.h"

#include <algorithm>
#include <map>
#include <cmath>
#include <new>
#include <set>
#include <sqlite3.h>
#include <string>
#include <vector>

namespace ora {

namespace {

using fn::stateOf;
using fn::dropState;

// Sums of the pairs where both values are present, each value taken from the first one seen so
// that large values close together keep their differences.
struct Moments {
  Num x0, y0, sx, sy, sxx, syy, sxy;
  int64_t n = 0;
  bool started = false;
};

void fail(sqlite3_context* ctx, const OraError& e) { sqlite3_result_error(ctx, e.text.c_str(), -1); }

// One value (argc 1) or a pair y, x (argc 2) in or out of the sums.
void moveMoments(sqlite3_context* ctx, int argc, sqlite3_value** argv, bool in) {
  try {
    Moments* m = stateOf<Moments>(ctx, true);
    if (!m) {
      sqlite3_result_error_nomem(ctx);
      return;
    }
    Num y, x;
    if (!numOf(argv[0], y)) return;
    if (argc > 1 && !numOf(argv[1], x)) return;
    if (!m->started) {
      m->y0 = y;
      m->x0 = x;
      m->started = true;
    }
    Num dy = sub(y, m->y0), dx = sub(x, m->x0);
    auto move = [&](Num& acc, const Num& v) { acc = in ? add(acc, v) : sub(acc, v); };
    move(m->sy, dy);
    move(m->syy, mul(dy, dy));
    move(m->sx, dx);
    move(m->sxx, mul(dx, dx));
    move(m->sxy, mul(dx, dy));
    m->n += in ? 1 : -1;
  } catch (const OraError& e) {
    fail(ctx, e);
  } catch (const std::exception&) {
    sqlite3_result_error_nomem(ctx);
  }
}

void momentsStep(sqlite3_context* ctx, int argc, sqlite3_value** argv) { moveMoments(ctx, argc, argv, true); }
void momentsInverse(sqlite3_context* ctx, int argc, sqlite3_value** argv) { moveMoments(ctx, argc, argv, false); }

// n times the population (co)variance: the sum of products of the deviations from the mean.
Num deviations(const Num& s, const Num& ss, const Num& t, int64_t n) {
  Num v = sub(ss, div(mul(s, t), numFromInt(n)));
  return v;
}

Num nonNegative(const Num& v) { return v.negative() ? Num{} : v; } // rounding can leave a trace below zero

// Square root to NUMBER's precision: Newton's steps from the double's estimate.
Num squareRoot(const Num& v) {
  if (v.zero()) return v;
  Num y = numFromDouble(std::sqrt(numDouble(v))), two = numFromInt(2);
  for (int k = 0; k < 4; ++k) y = div(add(y, div(v, y)), two);
  return y;
}

enum Stat {
  Variance, StdDev, VarPop, VarSamp, StdDevPop, StdDevSamp, CovarPop, CovarSamp, Corr,
  RegrSlope, RegrIntercept, RegrCount, RegrR2, RegrAvgX, RegrAvgY, RegrSxx, RegrSyy, RegrSxy
};

// false: the result is NULL
bool statOf(const Moments& m, Stat s, Num& out) {
  if (s == RegrCount) {
    out = numFromInt(m.n);
    return true;
  }
  if (m.n == 0) return false;
  Num n = numFromInt(m.n);
  Num syy = nonNegative(deviations(m.sy, m.syy, m.sy, m.n));
  Num sxx = nonNegative(deviations(m.sx, m.sxx, m.sx, m.n));
  Num sxy = deviations(m.sx, m.sxy, m.sy, m.n);
  switch (s) {
  case Variance: case StdDev:
    out = m.n < 2 ? Num{} : div(syy, numFromInt(m.n - 1)); // one row varies by nothing
    if (s == StdDev) out = squareRoot(out);
    return true;
  case VarSamp: case StdDevSamp:
    if (m.n < 2) return false;
    out = div(syy, numFromInt(m.n - 1));
    if (s == StdDevSamp) out = squareRoot(out);
    return true;
  case VarPop: case StdDevPop:
    out = div(syy, n);
    if (s == StdDevPop) out = squareRoot(out);
    return true;
  case CovarPop:
    out = div(sxy, n);
    return true;
  case CovarSamp:
    if (m.n < 2) return false;
    out = div(sxy, numFromInt(m.n - 1));
    return true;
  case Corr:
    if (sxx.zero() || syy.zero()) return false;
    out = div(sxy, squareRoot(mul(sxx, syy)));
    return true;
  case RegrSlope:
    if (sxx.zero()) return false;
    out = div(sxy, sxx);
    return true;
  case RegrIntercept:
    if (sxx.zero()) return false;
    // the mean of y less the slope times the mean of x
    out = sub(add(m.y0, div(m.sy, n)), mul(div(sxy, sxx), add(m.x0, div(m.sx, n))));
    return true;
  case RegrR2:
    if (sxx.zero()) return false;
    if (syy.zero()) {
      out = numFromInt(1);
      return true;
    }
    out = div(mul(sxy, sxy), mul(sxx, syy));
    return true;
  case RegrAvgX:
    out = add(m.x0, div(m.sx, n));
    return true;
  case RegrAvgY:
    out = add(m.y0, div(m.sy, n));
    return true;
  case RegrSxx:
    out = sxx;
    return true;
  case RegrSyy:
    out = syy;
    return true;
  case RegrSxy:
    out = sxy;
    return true;
  default:
    return false;
  }
}

// The user data of the _X twins, whose caller reads decimal text: their results keep every digit.
char kExactStat;

template <Stat S>
void momentsValue(sqlite3_context* ctx) {
  Moments* m = stateOf<Moments>(ctx, false);
  try {
    Num r;
    if (!(m ? statOf(*m, S, r) : statOf(Moments{}, S, r))) sqlite3_result_null(ctx);
    else if (sqlite3_user_data(ctx) == &kExactStat) resultNumExact(ctx, r);
    else resultNum(ctx, r);
  } catch (const OraError& e) {
    fail(ctx, e);
  } catch (const std::exception&) {
    sqlite3_result_error_nomem(ctx);
  }
}

template <Stat S>
void momentsFinal(sqlite3_context* ctx) {
  momentsValue<S>(ctx);
  dropState<Moments>(ctx);
}

// The values of a group, for the inverse distribution functions; the fraction and the order
// come with every row.
struct Values {
  std::vector<Num> v;
  Num p;
  bool descending = false, discrete = false;
};

// ora_percentile(p, value, descending, discrete)
void moveValue(sqlite3_context* ctx, sqlite3_value** argv, bool in) {
  try {
    Values* s = stateOf<Values>(ctx, true);
    if (!s) {
      sqlite3_result_error_nomem(ctx);
      return;
    }
    Num p;
    if (!numOf(argv[0], p) || p.negative() || compare(p, numFromInt(1)) > 0) throw OraError(30493);
    s->p = p;
    s->descending = sqlite3_value_int(argv[2]) != 0;
    s->discrete = sqlite3_value_int(argv[3]) != 0;
    Num x;
    if (!numOf(argv[1], x)) return;
    if (in) {
      s->v.push_back(x);
      return;
    }
    auto it = std::find_if(s->v.begin(), s->v.end(), [&](const Num& y) { return compare(x, y) == 0; });
    if (it != s->v.end()) s->v.erase(it);
  } catch (const OraError& e) {
    fail(ctx, e);
  } catch (const std::exception&) {
    sqlite3_result_error_nomem(ctx);
  }
}

void percentileStep(sqlite3_context* ctx, int, sqlite3_value** argv) { moveValue(ctx, argv, true); }
void percentileInverse(sqlite3_context* ctx, int, sqlite3_value** argv) { moveValue(ctx, argv, false); }

void percentileValue(sqlite3_context* ctx) {
  Values* s = stateOf<Values>(ctx, false);
  if (!s || s->v.empty()) {
    sqlite3_result_null(ctx);
    return;
  }
  try {
    std::vector<Num> v = s->v;
    std::sort(v.begin(), v.end(), [&](const Num& a, const Num& b) {
      int c = compare(a, b);
      return s->descending ? c > 0 : c < 0;
    });
    Num n = numFromInt(static_cast<int64_t>(v.size()));
    if (s->discrete) {
      // the first value whose cumulative distribution reaches p
      size_t k = 0;
      while (k + 1 < v.size() && compare(div(numFromInt(static_cast<int64_t>(k + 1)), n), s->p) < 0) ++k;
      resultNum(ctx, v[k]);
      return;
    }
    // row number 1 + p * (n - 1), interpolated between the rows either side
    Num rn = mul(s->p, numFromInt(static_cast<int64_t>(v.size() - 1)));
    Num lo = roundNum(rn, 0);
    if (compare(lo, rn) > 0) lo = sub(lo, numFromInt(1));
    Num frac = sub(rn, lo);
    auto at = static_cast<size_t>(numDouble(lo));
    if (frac.zero() || at + 1 >= v.size()) {
      resultNum(ctx, v[at]);
      return;
    }
    resultNum(ctx, add(v[at], mul(frac, sub(v[at + 1], v[at]))));
  } catch (const OraError& e) {
    fail(ctx, e);
  } catch (const std::exception&) {
    sqlite3_result_error_nomem(ctx);
  }
}

void percentileFinal(sqlite3_context* ctx) {
  percentileValue(ctx);
  dropState<Values>(ctx);
}

// STATS_MODE: how often each value occurs in the window, with one copy of the value.
struct ModeKey {
  bool number = false;
  Num n;
  std::string text; // text, or a RAW's bytes
  bool operator<(const ModeKey& o) const {
    if (number != o.number) return number;
    return number ? compare(n, o.n) < 0 : text < o.text;
  }
};

struct ModeCount {
  int64_t count = 0;
  sqlite3_value* value = nullptr;
};

using Modes = std::map<ModeKey, ModeCount>;

struct ModeState {
  Modes counts;
  ~ModeState() {
    for (auto& [k, c] : counts) sqlite3_value_free(c.value);
  }
};

ModeKey modeKey(sqlite3_value* v) {
  ModeKey k;
  int t = sqlite3_value_type(v);
  if (t == SQLITE_INTEGER || t == SQLITE_FLOAT) {
    k.number = true;
    numOf(v, k.n);
  } else if (t == SQLITE_BLOB) {
    k.text.assign(static_cast<const char*>(sqlite3_value_blob(v)), static_cast<size_t>(sqlite3_value_bytes(v)));
  } else {
    k.text.assign(reinterpret_cast<const char*>(sqlite3_value_text(v)), static_cast<size_t>(sqlite3_value_bytes(v)));
  }
  return k;
}

void modeMove(sqlite3_context* ctx, sqlite3_value** argv, bool in) {
  try {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return;
    ModeState* s = stateOf<ModeState>(ctx, true);
    if (!s) {
      sqlite3_result_error_nomem(ctx);
      return;
    }
    ModeKey k = modeKey(argv[0]);
    if (in) {
      ModeCount& c = s->counts[k];
      if (!c.value && !(c.value = sqlite3_value_dup(argv[0]))) {
        s->counts.erase(k);
        sqlite3_result_error_nomem(ctx);
        return;
      }
      ++c.count;
    } else if (auto it = s->counts.find(k); it != s->counts.end() && --it->second.count == 0) {
      sqlite3_value_free(it->second.value);
      s->counts.erase(it);
    }
  } catch (const OraError& e) {
    fail(ctx, e);
  } catch (const std::exception&) {
    sqlite3_result_error_nomem(ctx);
  }
}

void modeStep(sqlite3_context* ctx, int, sqlite3_value** argv) { modeMove(ctx, argv, true); }
void modeInverse(sqlite3_context* ctx, int, sqlite3_value** argv) { modeMove(ctx, argv, false); }

// The value that occurs most often; of several as often, the least.
void modeValue(sqlite3_context* ctx) {
  ModeState* s = stateOf<ModeState>(ctx, false);
  const ModeCount* best = nullptr;
  if (s)
    for (auto& [k, c] : s->counts)
      if (!best || c.count > best->count) best = &c;
  if (best) sqlite3_result_value(ctx, best->value);
  else sqlite3_result_null(ctx);
}

void modeFinal(sqlite3_context* ctx) {
  modeValue(ctx);
  dropState<ModeState>(ctx);
}

template <Stat S>
void addMoments(sqlite3* db, const char* name, int args) {
  for (void* exact : {static_cast<void*>(nullptr), static_cast<void*>(&kExactStat)})
    sqlite3_create_window_function(db, exact ? (std::string(name) + "_X").c_str() : name, args,
                                   SQLITE_UTF8 | SQLITE_DETERMINISTIC, exact, momentsStep, momentsFinal<S>,
                                   momentsValue<S>, momentsInverse, nullptr);
}

} // namespace

void registerStatAggregates(sqlite3* db) {
  addMoments<Variance>(db, "VARIANCE", 1);
  addMoments<StdDev>(db, "STDDEV", 1);
  addMoments<VarPop>(db, "VAR_POP", 1);
  addMoments<VarSamp>(db, "VAR_SAMP", 1);
  addMoments<StdDevPop>(db, "STDDEV_POP", 1);
  addMoments<StdDevSamp>(db, "STDDEV_SAMP", 1);
  addMoments<CovarPop>(db, "COVAR_POP", 2);
  addMoments<CovarSamp>(db, "COVAR_SAMP", 2);
  addMoments<Corr>(db, "CORR", 2);
  addMoments<RegrSlope>(db, "REGR_SLOPE", 2);
  addMoments<RegrIntercept>(db, "REGR_INTERCEPT", 2);
  addMoments<RegrCount>(db, "REGR_COUNT", 2);
  addMoments<RegrR2>(db, "REGR_R2", 2);
  addMoments<RegrAvgX>(db, "REGR_AVGX", 2);
  addMoments<RegrAvgY>(db, "REGR_AVGY", 2);
  addMoments<RegrSxx>(db, "REGR_SXX", 2);
  addMoments<RegrSyy>(db, "REGR_SYY", 2);
  addMoments<RegrSxy>(db, "REGR_SXY", 2);
  registerStatTests(db);
  sqlite3_create_window_function(db, "STATS_MODE", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, modeStep, modeFinal,
                                 modeValue, modeInverse, nullptr);
  sqlite3_create_window_function(db, "ora_percentile", 4, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                 percentileStep, percentileFinal, percentileValue, percentileInverse, nullptr);
}

bool aggregateFunction(std::string_view upperName) {
  static const std::set<std::string, std::less<>> names = [] {
    std::set<std::string, std::less<>> s = {"COUNT", "SUM", "AVG", "MIN", "MAX", "LISTAGG", "ANY_VALUE",
                                            "APPROX_COUNT_DISTINCT", "JSON_ARRAYAGG", "JSON_OBJECTAGG", "XMLAGG", "SYS_XMLAGG",
                                            "COLLECT", "APPROX_MEDIAN", "APPROX_PERCENTILE", "APPROX_SUM",
                                            "APPROX_COUNT", "BOOL_AND", "BOOL_OR", "EVERY"};
    s.insert(statAggregateNames().begin(), statAggregateNames().end());
    s.insert(newerAggregateNames().begin(), newerAggregateNames().end());
    return s;
  }();
  return names.count(upperName) > 0;
}

const std::vector<std::string>& statAggregateNames() {
  static const std::vector<std::string> names = {
      "VARIANCE", "STDDEV", "VAR_POP", "VAR_SAMP", "STDDEV_POP", "STDDEV_SAMP", "COVAR_POP", "COVAR_SAMP",
      "CORR", "REGR_SLOPE", "REGR_INTERCEPT", "REGR_COUNT", "REGR_R2", "REGR_AVGX", "REGR_AVGY", "REGR_SXX",
      "REGR_SYY", "REGR_SXY", "MEDIAN", "PERCENTILE_CONT", "PERCENTILE_DISC", "STATS_MODE",
      "STATS_T_TEST_ONE", "STATS_T_TEST_PAIRED"};
  return names;
}

} // namespace ora
