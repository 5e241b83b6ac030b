#include "Number.h"
#include "NumberWide.h"

#include "OraError.h"

#include <algorithm>
#include <sqlite3.h>

namespace ora {

namespace {

using wide::Wide;
using u128 = unsigned __int128;
using i128 = __int128;

// A value's highest digit lies below 10^126 and its lowest nonzero one at or above 10^-130.
constexpr int kTopMax = 126, kTopMin = -129;

constexpr uint64_t kP18 = 1000000000000000000ull;

uint64_t pow10u(int k) { // k <= 19
  static const uint64_t t[] = {1ull, 10ull, 100ull, 1000ull, 10000ull, 100000ull, 1000000ull, 10000000ull,
                               100000000ull, 1000000000ull, 10000000000ull, 100000000000ull,
                               1000000000000ull, 10000000000000ull, 100000000000000ull,
                               1000000000000000ull, 10000000000000000ull, 100000000000000000ull, kP18,
                               10000000000000000000ull};
  return t[k];
}

int digits64(uint64_t x) {
  if (!x) return 0;
  int t = (64 - __builtin_clzll(x)) * 1233 >> 12; // about log10(x)
  return t + (t < 20 && x >= pow10u(t) ? 1 : 0);
}


int floorDiv2(int x) { return x >= 0 ? x / 2 : -((1 - x) / 2); }

Num make(bool neg, uint64_t lo, uint64_t hi, uint64_t top, int e) {
  Num r;
  r.lo = lo;
  r.hi = hi;
  r.top = static_cast<uint32_t>(top);
  r.e = e;
  r.neg = neg;
  return r;
}

// ±m · 10^e in canonical form; m has at most 19 digits, so nothing is rounded.
Num reduce64(bool neg, uint64_t m, int e) {
  if (!m) return Num{};
  while (m % 10 == 0) {
    m /= 10;
    ++e;
  }
  if (e > 100 || e < -120) {
    int top = e + digits64(m);
    if (top > kTopMax) throw OraError(1426);
    if (top < kTopMin) return Num{};
  }
  return make(neg, m, 0, 0, e);
}

// As reduce64 for at most 39 digits.
Num reduce128(bool neg, u128 m, int e) {
  if (m <= UINT64_MAX) return reduce64(neg, static_cast<uint64_t>(m), e);
  auto lastZero = [](u128 v) {
    uint64_t lo = static_cast<uint64_t>(v), hi = static_cast<uint64_t>(v >> 64);
    return !(lo & 1) && (lo % 5 + hi % 5) % 5 == 0;
  };
  while (m > UINT64_MAX && lastZero(m)) {
    m /= 10;
    ++e;
  }
  if (m <= UINT64_MAX) return reduce64(neg, static_cast<uint64_t>(m), e);
  int top = e + wide::digits(Wide::of128(m));
  if (top > kTopMax) throw OraError(1426);
  if (top < kTopMin) return Num{};
  return make(neg, static_cast<uint64_t>(m), static_cast<uint64_t>(m >> 64), 0, e);
}

// ±v · 10^e rounded half away from zero to the digits a NUMBER keeps: base-100 digits aligned on
// the decimal point, twenty of them from the highest one that is not zero. So the lowest digit
// kept has the weight 10^(2·floor((top - 1) / 2) - 38) for a value below 10^top.
Num reduce(bool neg, Wide v, int e) {
  if (v.narrow()) return reduce64(neg, v.l[0], e);
  int d = wide::digits(v);
  if (d >= 40) {
    int top = e + d;
    int lowest = 2 * floorDiv2(top - 1) - 38;
    if (e < lowest) {
      wide::dropDigits(v, lowest - e - 1);
      uint64_t last = v.divSmall(10);
      e = lowest;
      if (last >= 5) v.addSmall(1);
    }
  }
  while (!v.narrow() && v.lastDigit() == 0) {
    v.divSmall(10);
    ++e;
  }
  if (v.narrow()) return reduce64(neg, v.l[0], e);
  int top = e + wide::digits(v);
  if (top > kTopMax) throw OraError(1426);
  if (top < kTopMin) return Num{};
  return make(neg, v.l[0], v.l[1], v.l[2], e);
}

} // namespace

int digitCount(const Num& a) { return a.narrow() ? digits64(a.lo) : wide::digits(Wide::of(a)); }

Num numFromI128(i128 m, int e) {
  bool neg = m < 0;
  return reduce128(neg, neg ? static_cast<u128>(0) - static_cast<u128>(m) : static_cast<u128>(m), e);
}

bool parseNum(std::string_view s, Num& out) {
  size_t i = 0, n = s.size();
  while (i < n && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r')) ++i;
  while (n > i && (s[n - 1] == ' ' || s[n - 1] == '\t' || s[n - 1] == '\n' || s[n - 1] == '\r')) --n;
  if (i == n) return false;
  bool neg = false;
  if (s[i] == '+' || s[i] == '-') neg = s[i++] == '-';
  // the significant digits in chunks of 19; 42 of them decide the rounding to NUMBER's 40
  constexpr int kKept = 42;
  uint64_t chunk[3] = {0, 0, 0};
  int e = 0, kept = 0;
  bool any = false, point = false;
  for (; i < n; ++i) {
    char c = s[i];
    if (c == '.' && !point) {
      point = true;
      continue;
    }
    if (c < '0' || c > '9') break;
    any = true;
    if (kept == 0 && c == '0') {
      if (point) --e;
      continue;
    }
    if (kept < kKept) {
      uint64_t& acc = chunk[kept / 19];
      acc = acc * 10 + static_cast<uint64_t>(c - '0');
      ++kept;
      if (point) --e;
    } else if (!point) {
      ++e; // digits beyond what a NUMBER keeps
    }
  }
  if (!any) return false;
  if (i < n && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    bool eneg = false;
    if (i < n && (s[i] == '+' || s[i] == '-')) eneg = s[i++] == '-';
    if (i == n) return false;
    int x = 0;
    for (; i < n && s[i] >= '0' && s[i] <= '9'; ++i)
      if (x < 100000) x = x * 10 + (s[i] - '0');
    e += eneg ? -x : x;
  }
  if (i != n) return false;
  if (kept == 0 || e < -1000) {
    out = Num{};
    return true;
  }
  if (e > 1000) throw OraError(1426);
  if (kept <= 19) {
    out = reduce64(neg, chunk[0], e);
    return true;
  }
  Wide v = Wide::of(chunk[0]);
  for (int c = 1; c * 19 < kept; ++c) {
    int len = std::min(19, kept - c * 19);
    v.mulSmall(pow10u(len));
    v.addSmall(chunk[c]);
  }
  out = reduce(neg, v, e);
  return true;
}

Num numFromInt(int64_t v) {
  bool neg = v < 0;
  return reduce64(neg, neg ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v), 0);
}

Num neg(Num a) {
  if (!a.zero()) a.neg = !a.neg;
  return a;
}

Num add(const Num& a0, const Num& b0) {
  if (a0.zero()) return b0;
  if (b0.zero()) return a0;
  const Num& a = a0.e >= b0.e ? a0 : b0; // a has the larger exponent
  const Num& b = a0.e >= b0.e ? b0 : a0;
  int diff = a.e - b.e;
  if (diff <= 18 && a.narrow() && b.narrow() && a.lo < kP18 && b.lo < kP18) {
    i128 x = static_cast<i128>(a.lo) * pow10u(diff), y = b.lo;
    i128 sum = (a.neg ? -x : x) + (b.neg ? -y : y);
    return sum < 0 ? reduce128(true, static_cast<u128>(-sum), b.e) : reduce128(false, static_cast<u128>(sum), b.e);
  }
  Wide x = Wide::of(a), y = Wide::of(b);
  int topA = a.e + wide::digits(x), topB = b.e + wide::digits(y);
  if (topB < topA - 45) return a; // b is far below a's last digit
  int be = b.e;
  // b's digits far below a's last one only decide the rounding: what lies past the cut becomes
  // one unit of the next place, never a tie
  int cut = std::max(topA, topB) - 45;
  if (be < cut) {
    bool rest = wide::dropDigits(y, cut - be);
    y.mulSmall(10);
    if (rest) y.addSmall(1);
    be = cut - 1;
  }
  wide::scale10(x, a.e - be);
  if (a.neg == b.neg) {
    x.add(y);
    return reduce(a.neg, x, be);
  }
  if (x.cmp(y) >= 0) {
    x.sub(y);
    return reduce(a.neg, x, be);
  }
  y.sub(x);
  return reduce(b.neg, y, be);
}

Num sub(const Num& a, const Num& b) { return add(a, neg(b)); }

Num mul(const Num& a, const Num& b) {
  if (a.zero() || b.zero()) return Num{};
  bool n = a.neg != b.neg;
  if (a.narrow() && b.narrow()) return reduce128(n, static_cast<u128>(a.lo) * b.lo, a.e + b.e);
  return reduce(n, wide::product(Wide::of(a), Wide::of(b)), a.e + b.e);
}

Num div(const Num& a, const Num& b) {
  if (b.zero()) throw OraError(1476);
  if (a.zero()) return Num{};
  bool n = a.neg != b.neg;
  Wide x = Wide::of(a), y = Wide::of(b);
  // a quotient of at least 41 digits, cut toward zero: its 41st digit decides the rounding
  int k = 41 + digitCount(b) - digitCount(a);
  wide::scale10(x, k);
  int e = a.e - k - b.e;
  if (b.narrow()) {
    x.divSmall(b.lo);
    return reduce(n, x, e);
  }
  return reduce(n, wide::quotient(x, y), e);
}

int compare(const Num& a, const Num& b) {
  int sa = a.zero() ? 0 : a.neg ? -1 : 1, sb = b.zero() ? 0 : b.neg ? -1 : 1;
  if (sa != sb) return sa < sb ? -1 : 1;
  if (!sa) return 0;
  int magnitude;
  if (a.e == b.e && a.narrow() && b.narrow()) {
    magnitude = a.lo < b.lo ? -1 : a.lo > b.lo;
  } else {
    Wide x = Wide::of(a), y = Wide::of(b);
    int topA = a.e + wide::digits(x), topB = b.e + wide::digits(y);
    if (topA != topB) {
      magnitude = topA < topB ? -1 : 1;
    } else {
      // the same highest place: both within 40 digits of it
      if (a.e > b.e) wide::scale10(x, a.e - b.e);
      else wide::scale10(y, b.e - a.e);
      magnitude = x.cmp(y);
    }
  }
  return sa * magnitude;
}

namespace {

// a cut to `scale` decimals, rounded half away from zero when `round`.
Num cutTo(const Num& a, int scale, bool round) {
  if (a.zero() || -a.e <= scale) return a;
  int k = -a.e - scale; // digits to drop
  int d = digitCount(a);
  if (k > d) return Num{};
  if (a.narrow() && k <= 19) {
    uint64_t p = pow10u(k), q = a.lo / p, r = a.lo % p;
    if (round && r >= p - r) ++q; // r >= p / 2 without overflow
    return reduce64(a.neg, q, a.e + k);
  }
  Wide v = Wide::of(a);
  wide::dropDigits(v, k - 1);
  uint64_t last = v.divSmall(10);
  if (round && last >= 5) v.addSmall(1);
  return reduce(a.neg, v, a.e + k);
}

} // namespace

Num roundNum(const Num& a, int scale) { return cutTo(a, scale, true); }
Num truncNum(const Num& a, int scale) { return cutTo(a, scale, false); }

bool int128Of(const Num& a, i128& out) {
  Num w = truncNum(a, 0);
  if (w.zero()) {
    out = 0;
    return true;
  }
  if (w.e > 37 || w.top) return false;
  u128 m = (static_cast<u128>(w.hi) << 64) | w.lo;
  const u128 limit = static_cast<u128>(1) << 126;
  for (int k = 0; k < w.e; ++k) {
    if (m >= limit / 10) return false;
    m *= 10;
  }
  if (m >= limit) return false;
  out = w.neg ? -static_cast<i128>(m) : static_cast<i128>(m);
  return true;
}

bool int64Of(const Num& a, int64_t& out) {
  i128 v;
  if (!int128Of(a, v) || v < INT64_MIN || v > INT64_MAX) return false;
  out = static_cast<int64_t>(v);
  return true;
}

Num sqrtNum(const Num& a) {
  if (a.zero()) return Num{};
  // the root of m · 10^k (82 or 83 digits, so that e - k is even) has 41 digits: the 41st decides
  // the rounding
  int k = 82 - digitCount(a);
  if (((a.e - k) % 2 + 2) % 2) ++k;
  Wide n = Wide::of(a);
  wide::scale10(n, k);
  return reduce(false, wide::isqrt(n), (a.e - k) / 2);
}

Num powNum(const Num& base, int64_t n) {
  if (n < 0) {
    try {
      return div(numFromInt(1), powNum(base, -n));
    } catch (const OraError& e) {
      if (e.code != 1426) throw;
      // base^-n beyond the range: the reciprocal's power, zero when too small for a NUMBER
      return powNum(div(numFromInt(1), base), -n);
    }
  }
  Num result = numFromInt(1), b = base;
  for (; n; n >>= 1) {
    if (n & 1) result = mul(result, b);
    if (n > 1) b = mul(b, b);
  }
  return result;
}

std::string numDigits(const Num& a) {
  char buf[24];
  if (a.narrow()) {
    int n = 0;
    uint64_t m = a.lo;
    do {
      buf[n++] = static_cast<char>('0' + m % 10);
      m /= 10;
    } while (m);
    std::reverse(buf, buf + n);
    return std::string(buf, static_cast<size_t>(n));
  }
  // groups of 19 digits from the lowest
  Wide v = Wide::of(a);
  std::string out;
  while (!v.zero()) {
    uint64_t g = v.divSmall(10000000000000000000ull);
    int n = 0;
    for (int k = 0; k < 19 && (g || !v.zero()); ++k) {
      buf[n++] = static_cast<char>('0' + g % 10);
      g /= 10;
    }
    out.append(buf, static_cast<size_t>(n));
  }
  std::reverse(out.begin(), out.end());
  return out;
}

} // namespace ora
