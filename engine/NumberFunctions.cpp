// NUMBER arithmetic and the SUM and AVG aggregates as exact decimal operations, for the
// statements the translator writes: SQLite's own operators would compute in binary floating point.
#include "Number.h"
#include "OraError.h"
#include "OraFunctions.h"

#include <cmath>
#include <cstring>
#include <string>
#include <new>
#include <sqlite3.h>

namespace ora {

namespace {

// The _x forms of the arithmetic (registered with this flag) feed our own functions and the
// fetch, which read decimal text exactly.
char kExact;

void result(sqlite3_context* ctx, const Num& a) {
  if (sqlite3_user_data(ctx) == &kExact) resultNumExact(ctx, a);
  else resultNum(ctx, a);
}

template <Num (*Op)(const Num&, const Num&)>
void binaryOp(sqlite3_context* ctx, int, sqlite3_value** argv) {
  try {
    Num a, b;
    if (!numOf(argv[0], a) || !numOf(argv[1], b)) {
      sqlite3_result_null(ctx);
      return;
    }
    result(ctx, Op(a, b));
  } catch (const OraError& e) {
    sqlite3_result_error(ctx, e.text.c_str(), -1);
  } catch (const std::bad_alloc&) {
    sqlite3_result_error_nomem(ctx);
  } catch (...) {
    sqlite3_result_error(ctx, "ORA-00600: internal error in arithmetic", -1);
  }
}

// ora_num(x): x as a NUMBER, as Oracle converts text implicitly (ORA-01722 when it is no number).
void toNumber(sqlite3_context* ctx, int, sqlite3_value** argv) {
  try {
    Num a;
    if (!numOf(argv[0], a)) sqlite3_result_null(ctx);
    else resultNum(ctx, a);
  } catch (const OraError& e) {
    sqlite3_result_error(ctx, e.text.c_str(), -1);
  }
}

// ora_add(a, b, ...): the exact sum of its arguments; NULL when one is.
void sumArgs(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  try {
    Num acc, x;
    for (int i = 0; i < argc; ++i) {
      if (!numOf(argv[i], x)) {
        sqlite3_result_null(ctx);
        return;
      }
      acc = add(acc, x);
    }
    result(ctx, acc);
  } catch (const OraError& e) {
    sqlite3_result_error(ctx, e.text.c_str(), -1);
  }
}

void negate(sqlite3_context* ctx, int, sqlite3_value** argv) {
  try {
    Num a;
    if (!numOf(argv[0], a)) sqlite3_result_null(ctx);
    else result(ctx, neg(a));
  } catch (const OraError& e) {
    sqlite3_result_error(ctx, e.text.c_str(), -1);
  }
}

// ora_and / ora_or over any number of conditions, with SQL's three-valued logic.
template <bool Or>
void logic(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  bool unknown = false;
  for (int i = 0; i < argc; ++i) {
    if (sqlite3_value_type(argv[i]) == SQLITE_NULL) {
      unknown = true;
      continue;
    }
    if ((sqlite3_value_double(argv[i]) != 0) == Or) {
      sqlite3_result_int(ctx, Or ? 1 : 0);
      return;
    }
  }
  if (unknown) sqlite3_result_null(ctx);
  else sqlite3_result_int(ctx, Or ? 0 : 1);
}

struct Total {
  Num sum; // the zeroed memory SQLite hands out is the number 0
  int64_t count;
  bool failed;
  // A running sum of values that share one power of ten, kept apart from `sum` until it grows
  // large: most columns hold values of a few digits, whose sum needs no rounding on the way.
  // SQLite aligns an aggregate's memory to 8 bytes only: the 128-bit sum is copied in and out.
  unsigned char raw[sizeof(__int128)];
  int rawE;
  bool rawUsed;
  Num get() const {
    if (!rawUsed) return sum;
    __int128 r;
    std::memcpy(&r, raw, sizeof r);
    return add(sum, numFromI128(r, rawE));
  }
  void set(const Num& n) {
    sum = n;
    rawUsed = false;
  }
  // Adds x to the raw sum when that is exact and cannot overflow; false when it cannot.
  bool addRaw(const Num& x) {
    constexpr __int128 limit = static_cast<__int128>(1) << 120;
    if (x.top || x.hi >= (uint64_t{1} << 36)) return false; // 100 bits at most
    __int128 r = 0;
    if (rawUsed) std::memcpy(&r, raw, sizeof r);
    else rawE = x.e;
    __int128 m = (static_cast<__int128>(x.hi) << 64) | x.lo;
    if (x.neg) m = -m;
    for (int e = x.e; e > rawE; --e) {
      if (m >= limit / 10 || m <= -limit / 10) return false;
      m *= 10;
    }
    for (int e = rawE; e > x.e; --e) {
      if (r >= limit / 10 || r <= -limit / 10) return false;
      r *= 10;
    }
    if (x.e < rawE) rawE = x.e;
    r += m;
    if (r >= limit || r <= -limit) return false;
    std::memcpy(raw, &r, sizeof r);
    rawUsed = true;
    return true;
  }
};

void totalStep(sqlite3_context* ctx, int, sqlite3_value** argv) {
  auto* t = static_cast<Total*>(sqlite3_aggregate_context(ctx, sizeof(Total)));
  if (!t) {
    sqlite3_result_error_nomem(ctx);
    return;
  }
  if (t->failed) return;
  try {
    Num x;
    if (!numOf(argv[0], x)) return;
    if (!t->addRaw(x)) t->set(add(t->get(), x));
    ++t->count;
  } catch (const OraError& e) {
    t->failed = true;
    sqlite3_result_error(ctx, e.text.c_str(), -1);
  }
}

// A row leaving an analytic window: subtracting keeps the sum exact.
void totalInverse(sqlite3_context* ctx, int, sqlite3_value** argv) {
  auto* t = static_cast<Total*>(sqlite3_aggregate_context(ctx, sizeof(Total)));
  if (!t || t->failed) return;
  try {
    Num x;
    if (!numOf(argv[0], x)) return;
    t->set(sub(t->get(), x));
    --t->count;
  } catch (const OraError& e) {
    t->failed = true;
    sqlite3_result_error(ctx, e.text.c_str(), -1);
  }
}

void sumFinal(sqlite3_context* ctx) {
  auto* t = static_cast<Total*>(sqlite3_aggregate_context(ctx, 0));
  if (!t || !t->count || t->failed) {
    sqlite3_result_null(ctx);
    return;
  }
  result(ctx, t->get());
}

void avgFinal(sqlite3_context* ctx) {
  auto* t = static_cast<Total*>(sqlite3_aggregate_context(ctx, 0));
  if (!t || !t->count || t->failed) {
    sqlite3_result_null(ctx);
    return;
  }
  try {
    result(ctx, div(t->get(), numFromInt(t->count)));
  } catch (const OraError& e) {
    sqlite3_result_error(ctx, e.text.c_str(), -1);
  }
}

// ora_single(v): the one value of a scalar subquery; a second row is ORA-01427.
struct Single {
  sqlite3_value* value;
  int64_t rows;
};

void singleStep(sqlite3_context* ctx, int, sqlite3_value** argv) {
  auto* s = static_cast<Single*>(sqlite3_aggregate_context(ctx, sizeof(Single)));
  if (!s) {
    sqlite3_result_error_nomem(ctx);
    return;
  }
  if (++s->rows == 1) s->value = sqlite3_value_dup(argv[0]);
}

void singleFinal(sqlite3_context* ctx) {
  auto* s = static_cast<Single*>(sqlite3_aggregate_context(ctx, 0));
  if (!s || s->rows == 0) {
    sqlite3_result_null(ctx);
    return;
  }
  if (s->rows > 1) {
    std::string e = OraError(1427).text;
    sqlite3_result_error(ctx, e.c_str(), -1);
  } else if (s->value) {
    sqlite3_result_value(ctx, s->value);
  } else {
    sqlite3_result_error_nomem(ctx);
  }
  sqlite3_value_free(s->value);
  s->value = nullptr;
}

// ora_raise(code): the engine's own statements fail with an Oracle error where a row shows one.
void raise(sqlite3_context* ctx, int, sqlite3_value** argv) {
  sqlite3_result_error(ctx, OraError(sqlite3_value_int(argv[0])).text.c_str(), -1);
}

} // namespace

void registerNumberFunctions(sqlite3* db) {
  sqlite3_create_function(db, "ora_raise", 1, SQLITE_UTF8, nullptr, raise, nullptr, nullptr);
  int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
  sqlite3_create_function(db, "ora_add", 2, flags, nullptr, binaryOp<add>, nullptr, nullptr);
  sqlite3_create_function(db, "ora_add", -1, flags, nullptr, sumArgs, nullptr, nullptr);
  sqlite3_create_function(db, "ora_neg", 1, flags, nullptr, negate, nullptr, nullptr);
  sqlite3_create_function(db, "ora_and", -1, flags, nullptr, logic<false>, nullptr, nullptr);
  sqlite3_create_function(db, "ora_or", -1, flags, nullptr, logic<true>, nullptr, nullptr);
  sqlite3_create_function(db, "ora_sub", 2, flags, nullptr, binaryOp<sub>, nullptr, nullptr);
  sqlite3_create_function(db, "ora_mul", 2, flags, nullptr, binaryOp<mul>, nullptr, nullptr);
  sqlite3_create_function(db, "ora_div", 2, flags, nullptr, binaryOp<div>, nullptr, nullptr);
  // not constant-folded: a conversion that fails must fail only where it is reached
  sqlite3_create_function(db, "ora_num", 1, SQLITE_UTF8, nullptr, toNumber, nullptr, nullptr);
  sqlite3_create_function(db, "ora_single", 1, SQLITE_UTF8, nullptr, nullptr, singleStep, singleFinal);
  // also usable as analytic functions (SUM(x) OVER (...))
  sqlite3_create_window_function(db, "ora_sum", 1, flags, nullptr, totalStep, sumFinal, sumFinal, totalInverse,
                                 nullptr);
  sqlite3_create_window_function(db, "ora_avg", 1, flags, nullptr, totalStep, avgFinal, avgFinal, totalInverse,
                                 nullptr);
  void* exact = &kExact;
  sqlite3_create_function(db, "ora_add_x", 2, flags, exact, binaryOp<add>, nullptr, nullptr);
  sqlite3_create_function(db, "ora_add_x", -1, flags, exact, sumArgs, nullptr, nullptr);
  sqlite3_create_function(db, "ora_neg_x", 1, flags, exact, negate, nullptr, nullptr);
  sqlite3_create_function(db, "ora_sub_x", 2, flags, exact, binaryOp<sub>, nullptr, nullptr);
  sqlite3_create_function(db, "ora_mul_x", 2, flags, exact, binaryOp<mul>, nullptr, nullptr);
  sqlite3_create_function(db, "ora_div_x", 2, flags, exact, binaryOp<div>, nullptr, nullptr);
  sqlite3_create_window_function(db, "ora_sum_x", 1, flags, exact, totalStep, sumFinal, sumFinal, totalInverse,
                                 nullptr);
  sqlite3_create_window_function(db, "ora_avg_x", 1, flags, exact, totalStep, avgFinal, avgFinal, totalInverse,
                                 nullptr);
}

} // namespace ora
