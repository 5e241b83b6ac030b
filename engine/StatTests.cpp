// The one-sample and paired t-tests, STATS_T_TEST_ONE and STATS_T_TEST_PAIRED: the observed t,
// its degrees of freedom and its significance under Student's t distribution.
#include "FunctionUtil.h"
#include "Number.h"
#include "OraFunctions.h"

#include <cmath>
#include <new>
#include <string>

namespace ora {

namespace {

// The continued fraction of the regularized incomplete beta function (modified Lentz).
double betaFraction(double a, double b, double x) {
  const double tiny = 1e-300;
  double c = 1, d = 1 - (a + b) * x / (a + 1);
  if (std::fabs(d) < tiny) d = tiny;
  d = 1 / d;
  double h = d;
  for (int m = 1; m <= 300; ++m) {
    double aa = m * (b - m) * x / ((a + 2 * m - 1) * (a + 2 * m));
    d = 1 + aa * d;
    c = 1 + aa / c;
    if (std::fabs(d) < tiny) d = tiny;
    if (std::fabs(c) < tiny) c = tiny;
    d = 1 / d;
    h *= d * c;
    aa = -(a + m) * (a + b + m) * x / ((a + 2 * m) * (a + 2 * m + 1));
    d = 1 + aa * d;
    c = 1 + aa / c;
    if (std::fabs(d) < tiny) d = tiny;
    if (std::fabs(c) < tiny) c = tiny;
    d = 1 / d;
    double del = d * c;
    h *= del;
    if (std::fabs(del - 1) < 1e-16) break;
  }
  return h;
}

double incompleteBeta(double a, double b, double x) {
  if (x <= 0) return 0;
  if (x >= 1) return 1;
  double front = std::exp(std::lgamma(a + b) - std::lgamma(a) - std::lgamma(b) + a * std::log(x) + b * std::log1p(-x));
  if (x < (a + 1) / (a + b + 2)) return front * betaFraction(a, b, x) / a;
  return 1 - front * betaFraction(b, a, 1 - x) / b;
}

// P(|T| >= |t|) for Student's t with df degrees of freedom.
double twoSidedSig(double t, double df) { return incompleteBeta(df / 2, 0.5, df / (df + t * t)); }

struct Sample {
  int64_t n = 0;
  double shift = 0, sum = 0, sumSq = 0; // of the values less the first one, for accuracy
  std::string what = "TWO_SIDED_SIG";
};

Sample* sampleOf(sqlite3_context* ctx, bool make) {
  auto** slot = static_cast<Sample**>(sqlite3_aggregate_context(ctx, make ? sizeof(Sample*) : 0));
  if (!slot) return nullptr;
  if (!*slot && make) *slot = new (std::nothrow) Sample;
  return *slot;
}

// STATS_T_TEST_ONE(x [, mean [, what]]) and STATS_T_TEST_PAIRED(x, y [, what]): one value per
// row, x - mean or x - y, whose mean is tested against zero.
void tTestStep(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  try {
    Sample* s = sampleOf(ctx, true);
    if (!s) {
      sqlite3_result_error_nomem(ctx);
      return;
    }
    if (argc > 2 && sqlite3_value_type(argv[2]) != SQLITE_NULL) s->what = fn::mapChars(fn::textOf(argv[2]), fn::upperChar);
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || (argc > 1 && sqlite3_value_type(argv[1]) == SQLITE_NULL)) return;
    Num x, y;
    numOf(argv[0], x);
    if (argc > 1) numOf(argv[1], y);
    double v = numDouble(x) - (argc > 1 ? numDouble(y) : 0);
    if (s->n == 0) s->shift = v;
    v -= s->shift;
    ++s->n;
    s->sum += v;
    s->sumSq += v * v;
  } catch (const OraError& e) {
    sqlite3_result_error(ctx, e.text.c_str(), -1);
  } catch (const std::exception&) {
    sqlite3_result_error_nomem(ctx);
  }
}

void tTestFinal(sqlite3_context* ctx) {
  auto** slot = static_cast<Sample**>(sqlite3_aggregate_context(ctx, 0));
  Sample* s = slot ? *slot : nullptr;
  try {
    const std::string what = s ? s->what : "TWO_SIDED_SIG";
    if (what != "STATISTIC" && what != "ONE_SIDED_SIG" && what != "TWO_SIDED_SIG" && what != "DF")
      throw OraError(1760); // no such result of the test
    if (!s || s->n < 2) {
      sqlite3_result_null(ctx);
    } else {
      double n = static_cast<double>(s->n), df = n - 1;
      double meanShifted = s->sum / n;
      double var = (s->sumSq - s->sum * meanShifted) / df;
      double mean = meanShifted + s->shift;
      if (what == "DF") {
        sqlite3_result_int64(ctx, s->n - 1);
      } else if (!(var > 0)) {
        sqlite3_result_null(ctx); // no spread: t is undefined
      } else {
        double t = mean / std::sqrt(var / n);
        double sig = twoSidedSig(t, df);
        double r = what == "STATISTIC" ? t : what == "TWO_SIDED_SIG" ? sig : sig / 2;
        resultNum(ctx, numFromDouble(r));
      }
    }
  } catch (const OraError& e) {
    sqlite3_result_error(ctx, e.text.c_str(), -1);
  } catch (const std::exception&) {
    sqlite3_result_error_nomem(ctx);
  }
  if (slot) {
    delete *slot;
    *slot = nullptr;
  }
}

} // namespace

void registerStatTests(sqlite3* db) {
  for (int n = 1; n <= 3; ++n)
    sqlite3_create_function(db, "STATS_T_TEST_ONE", n, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, nullptr,
                            tTestStep, tTestFinal);
  for (int n = 2; n <= 3; ++n)
    sqlite3_create_function(db, "STATS_T_TEST_PAIRED", n, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, nullptr,
                            tTestStep, tTestFinal);
}

} // namespace ora
