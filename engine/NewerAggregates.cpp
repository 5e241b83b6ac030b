// The bitwise aggregates BIT_AND_AGG, BIT_OR_AGG and BIT_XOR_AGG, CHECKSUM, and the shape
// statistics KURTOSIS_POP / _SAMP and SKEWNESS_POP / _SAMP. Each is also a window function: what
// a row brought is taken back out as it leaves the frame.
#include "FunctionUtil.h"
#include "Number.h"
#include "OraFunctions.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <sqlite3.h>
#include <string>

namespace ora {

namespace {

using fn::stateOf;
using fn::dropState;

using fn::guardedCall;

// ---- bitwise: how many values have each of the 128 two's complement bits set
struct Bits {
  int64_t n = 0;
  int64_t ones[128] = {};
};

enum BitOp { BitAnd, BitOr, BitXor };

void bitsMove(sqlite3_context* ctx, sqlite3_value** argv, bool in) {
  guardedCall(ctx, [&] {
    Num x;
    if (!numOf(argv[0], x)) return;
    __int128 v;
    // fractions are cut off; beyond 128 bits there is no two's complement form
    if (!int128Of(truncNum(x, 0), v)) throw OraError(1426);
    Bits* b = stateOf<Bits>(ctx, true);
    if (!b) throw std::bad_alloc();
    auto u = static_cast<unsigned __int128>(v);
    for (int k = 0; k < 128; ++k)
      if ((u >> k) & 1) b->ones[k] += in ? 1 : -1;
    b->n += in ? 1 : -1;
  });
}

void bitsStep(sqlite3_context* ctx, int, sqlite3_value** argv) { bitsMove(ctx, argv, true); }
void bitsInverse(sqlite3_context* ctx, int, sqlite3_value** argv) { bitsMove(ctx, argv, false); }

template <BitOp Op>
void bitsValue(sqlite3_context* ctx) {
  guardedCall(ctx, [&] {
    Bits* b = stateOf<Bits>(ctx, false);
    if (!b || b->n == 0) {
      sqlite3_result_null(ctx);
      return;
    }
    unsigned __int128 u = 0;
    for (int k = 0; k < 128; ++k) {
      bool set = Op == BitAnd ? b->ones[k] == b->n : Op == BitOr ? b->ones[k] > 0 : (b->ones[k] & 1) != 0;
      if (set) u |= static_cast<unsigned __int128>(1) << k;
    }
    resultNum(ctx, numFromI128(static_cast<__int128>(u), 0));
  });
}

template <BitOp Op>
void bitsFinal(sqlite3_context* ctx) {
  bitsValue<Op>(ctx);
  dropState<Bits>(ctx);
}

// ---- CHECKSUM: the sum of one 64-bit hash per value, so the order of the rows does not matter
struct Check {
  int64_t n = 0;
  uint64_t sum = 0;
};

uint64_t mix(uint64_t h) {
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdULL;
  h ^= h >> 33;
  h *= 0xc4ceb9fe1a85ec53ULL;
  return h ^ (h >> 33);
}

// Equal values hash alike whatever their storage: 1, 1.0 and '1' in a NUMBER column are one number.
uint64_t valueHash(sqlite3_value* v) {
  std::string bytes;
  char tag;
  int t = sqlite3_value_type(v);
  Num x;
  if (t == SQLITE_INTEGER || t == SQLITE_FLOAT) {
    numOf(v, x);
    bytes = numText(x);
    tag = 'N';
  } else if (t == SQLITE_BLOB) {
    bytes.assign(static_cast<const char*>(sqlite3_value_blob(v)), static_cast<size_t>(sqlite3_value_bytes(v)));
    tag = 'B';
  } else {
    bytes.assign(reinterpret_cast<const char*>(sqlite3_value_text(v)), static_cast<size_t>(sqlite3_value_bytes(v)));
    tag = 'T';
  }
  uint64_t h = 0xcbf29ce484222325ULL ^ static_cast<unsigned char>(tag);
  for (unsigned char c : bytes) h = (h ^ c) * 0x100000001b3ULL;
  return mix(h);
}

void checkMove(sqlite3_context* ctx, sqlite3_value** argv, bool in) {
  guardedCall(ctx, [&] {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return;
    Check* c = stateOf<Check>(ctx, true);
    if (!c) throw std::bad_alloc();
    uint64_t h = valueHash(argv[0]);
    c->sum = in ? c->sum + h : c->sum - h;
    c->n += in ? 1 : -1;
  });
}

void checkStep(sqlite3_context* ctx, int, sqlite3_value** argv) { checkMove(ctx, argv, true); }
void checkInverse(sqlite3_context* ctx, int, sqlite3_value** argv) { checkMove(ctx, argv, false); }

void checkValue(sqlite3_context* ctx) {
  guardedCall(ctx, [&] {
    Check* c = stateOf<Check>(ctx, false);
    if (!c || c->n == 0) sqlite3_result_null(ctx);
    else sqlite3_result_int64(ctx, static_cast<int64_t>(c->sum & INT64_MAX)); // the sum modulo 2^63: every digit kept
  });
}

void checkFinal(sqlite3_context* ctx) {
  checkValue(ctx);
  dropState<Check>(ctx);
}

// ---- kurtosis and skewness: power sums of the values less the first one seen
struct Powers {
  Num x0, s1, s2, s3, s4;
  int64_t n = 0;
  bool started = false;
};

enum Shape { KurtosisPop, KurtosisSamp, SkewnessPop, SkewnessSamp };

void powersMove(sqlite3_context* ctx, sqlite3_value** argv, bool in) {
  guardedCall(ctx, [&] {
    Num x;
    if (!numOf(argv[0], x)) return;
    Powers* p = stateOf<Powers>(ctx, true);
    if (!p) throw std::bad_alloc();
    if (!p->started) {
      p->x0 = x;
      p->started = true;
    }
    Num d = sub(x, p->x0), d2 = mul(d, d);
    auto move = [&](Num& acc, const Num& v) { acc = in ? add(acc, v) : sub(acc, v); };
    move(p->s1, d);
    move(p->s2, d2);
    move(p->s3, mul(d2, d));
    move(p->s4, mul(d2, d2));
    p->n += in ? 1 : -1;
  });
}

void powersStep(sqlite3_context* ctx, int, sqlite3_value** argv) { powersMove(ctx, argv, true); }
void powersInverse(sqlite3_context* ctx, int, sqlite3_value** argv) { powersMove(ctx, argv, false); }

Num num(int64_t v) { return numFromInt(v); }

// false: the result is NULL. With the power sums S1..S4 of n values, B = n*S2 - S1^2 is n times
// the sum of squared deviations, C = n^2*S3 - 3n*S1*S2 + 2*S1^3 and
// A = n^3*S4 - 4n^2*S1*S3 + 6n*S1^2*S2 - 3*S1^4 are n^2 and n^3 times the third and fourth: the
// shapes are ratios of these, exact for exact values up to the one division.
bool shapeOf(const Powers& p, Shape s, Num& out) {
  if (p.n == 0) return false;
  if (p.n <= 2) {
    out = Num{};
    return true;
  }
  Num n = num(p.n), n2 = mul(n, n), s1 = p.s1, s1s1 = mul(s1, s1);
  Num b = sub(mul(n, p.s2), s1s1);
  if (b.negative() || b.zero()) {
    out = Num{}; // no spread: nothing lies outside
    return true;
  }
  Num c = add(sub(mul(n2, p.s3), mul(mul(num(3), n), mul(s1, p.s2))), mul(num(2), mul(s1s1, s1)));
  Num a = sub(add(sub(mul(mul(n2, n), p.s4), mul(mul(num(4), n2), mul(s1, p.s3))), mul(mul(num(6), n), mul(s1s1, p.s2))),
              mul(num(3), mul(s1s1, s1s1)));
  Num bb = mul(b, b), b15 = mul(b, sqrtNum(b));
  switch (s) {
  case KurtosisPop:
    out = sub(div(a, bb), num(3));
    return true;
  case KurtosisSamp: {
    if (p.n == 3) return false; // (n-3) divides
    // (n-1)((n+1)A - 3(n-1)B^2) / ((n-2)(n-3)B^2)
    Num top = mul(num(p.n - 1), sub(mul(num(p.n + 1), a), mul(mul(num(3), num(p.n - 1)), bb)));
    out = div(top, mul(mul(num(p.n - 2), num(p.n - 3)), bb));
    return true;
  }
  case SkewnessPop:
    out = div(c, b15);
    return true;
  case SkewnessSamp:
    out = div(mul(c, sqrtNum(mul(n, num(p.n - 1)))), mul(num(p.n - 2), b15));
    return true;
  }
  return false;
}

template <Shape S>
void powersValue(sqlite3_context* ctx) {
  guardedCall(ctx, [&] {
    Powers* p = stateOf<Powers>(ctx, false);
    Num r;
    if (!p || !shapeOf(*p, S, r)) sqlite3_result_null(ctx);
    else resultNum(ctx, r);
  });
}

template <Shape S>
void powersFinal(sqlite3_context* ctx) {
  powersValue<S>(ctx);
  dropState<Powers>(ctx);
}

void addWindow(sqlite3* db, const char* name, void (*step)(sqlite3_context*, int, sqlite3_value**),
               void (*final)(sqlite3_context*), void (*value)(sqlite3_context*),
               void (*inverse)(sqlite3_context*, int, sqlite3_value**)) {
  sqlite3_create_window_function(db, name, 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, step, final, value, inverse,
                                 nullptr);
}

} // namespace

void registerNewerAggregates(sqlite3* db) {
  addWindow(db, "BIT_AND_AGG", bitsStep, bitsFinal<BitAnd>, bitsValue<BitAnd>, bitsInverse);
  addWindow(db, "BIT_OR_AGG", bitsStep, bitsFinal<BitOr>, bitsValue<BitOr>, bitsInverse);
  addWindow(db, "BIT_XOR_AGG", bitsStep, bitsFinal<BitXor>, bitsValue<BitXor>, bitsInverse);
  addWindow(db, "CHECKSUM", checkStep, checkFinal, checkValue, checkInverse);
  addWindow(db, "KURTOSIS_POP", powersStep, powersFinal<KurtosisPop>, powersValue<KurtosisPop>, powersInverse);
  addWindow(db, "KURTOSIS_SAMP", powersStep, powersFinal<KurtosisSamp>, powersValue<KurtosisSamp>, powersInverse);
  addWindow(db, "SKEWNESS_POP", powersStep, powersFinal<SkewnessPop>, powersValue<SkewnessPop>, powersInverse);
  addWindow(db, "SKEWNESS_SAMP", powersStep, powersFinal<SkewnessSamp>, powersValue<SkewnessSamp>, powersInverse);
}

const std::vector<std::string>& newerAggregateNames() {
  static const std::vector<std::string> names = {"BIT_AND_AGG", "BIT_OR_AGG", "BIT_XOR_AGG", "CHECKSUM",
                                                 "KURTOSIS_POP", "KURTOSIS_SAMP", "SKEWNESS_POP", "SKEWNESS_SAMP"};
  return names;
}

} // namespace ora
