#include "Number.h"

#include "OraError.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <sqlite3.h>
#include <unordered_map>

namespace ora {

double cStrtod(const char* s, char** end) {
  static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t{});
  return c ? strtod_l(s, end, c) : std::strtod(s, end);
}

std::string cFormat(double x, char conversion, int precision) {
  char buf[64];
  auto format = conversion == 'e' ? std::chars_format::scientific : std::chars_format::general;
  auto r = std::to_chars(buf, buf + sizeof buf, x, format, precision);
  return std::string(buf, r.ec == std::errc() ? r.ptr : buf);
}

namespace {

using u128 = unsigned __int128;
using i128 = __int128;

constexpr int kDigits = 38;

u128 pow10(int k) {
  static const auto table = [] {
    struct T { u128 v[39]; } t{};
    t.v[0] = 1;
    for (int i = 1; i <= 38; ++i) t.v[i] = t.v[i - 1] * 10;
    return t;
  }();
  return table.v[k];
}

int digits64(uint64_t x) {
  static const uint64_t p10[] = {1ull, 10ull, 100ull, 1000ull, 10000ull, 100000ull, 1000000ull, 10000000ull,
                                 100000000ull, 1000000000ull, 10000000000ull, 100000000000ull,
                                 1000000000000ull, 10000000000000ull, 100000000000000ull,
                                 1000000000000000ull, 10000000000000000ull, 100000000000000000ull,
                                 1000000000000000000ull, 10000000000000000000ull};
  if (!x) return 0;
  int t = (64 - __builtin_clzll(x)) * 1233 >> 12; // about log10(x)
  return t + (x >= p10[t] ? 1 : 0);
}

int digitsOf(u128 x) {
  if (x <= UINT64_MAX) return digits64(static_cast<uint64_t>(x));
  int n = 0;
  while (x) {
    x /= 10;
    ++n;
  }
  return n;
}

u128 mag(i128 m) { return m < 0 ? static_cast<u128>(-m) : static_cast<u128>(m); }

// 256-bit magnitudes for products, aligned sums and scaled dividends; limb 0 is the lowest.
struct U256 {
  uint64_t l[4] = {0, 0, 0, 0};
  static U256 of(u128 v) {
    U256 r;
    r.l[0] = static_cast<uint64_t>(v);
    r.l[1] = static_cast<uint64_t>(v >> 64);
    return r;
  }
  bool zero() const { return !(l[0] | l[1] | l[2] | l[3]); }
  bool fits128() const { return !(l[2] | l[3]); }
  u128 low() const { return (static_cast<u128>(l[1]) << 64) | l[0]; }
  // *this /= d, returns the remainder
  uint64_t divSmall(uint64_t d) {
    u128 rem = 0;
    for (int i = 3; i >= 0; --i) {
      u128 cur = (rem << 64) | l[i];
      l[i] = static_cast<uint64_t>(cur / d);
      rem = cur % d;
    }
    return static_cast<uint64_t>(rem);
  }
  void mulSmall(uint64_t f) {
    u128 carry = 0;
    for (auto& x : l) {
      u128 cur = static_cast<u128>(x) * f + carry;
      x = static_cast<uint64_t>(cur);
      carry = cur >> 64;
    }
  }
  void add(const U256& o) {
    u128 carry = 0;
    for (int i = 0; i < 4; ++i) {
      u128 cur = static_cast<u128>(l[i]) + o.l[i] + carry;
      l[i] = static_cast<uint64_t>(cur);
      carry = cur >> 64;
    }
  }
  void sub(const U256& o) { // *this >= o
    uint64_t borrow = 0;
    for (int i = 0; i < 4; ++i) {
      uint64_t b = o.l[i] + borrow;
      borrow = (b < o.l[i]) || (l[i] < b);
      l[i] -= b;
    }
  }
  int cmp(const U256& o) const {
    for (int i = 3; i >= 0; --i)
      if (l[i] != o.l[i]) return l[i] < o.l[i] ? -1 : 1;
    return 0;
  }
  bool bit(int i) const { return (l[i / 64] >> (i % 64)) & 1; }
};

U256 product(u128 a, u128 b) {
  uint64_t a0 = static_cast<uint64_t>(a), a1 = static_cast<uint64_t>(a >> 64);
  uint64_t b0 = static_cast<uint64_t>(b), b1 = static_cast<uint64_t>(b >> 64);
  U256 r = U256::of(static_cast<u128>(a0) * b0);
  U256 mid1 = U256::of(static_cast<u128>(a0) * b1), mid2 = U256::of(static_cast<u128>(a1) * b0);
  for (U256* m : {&mid1, &mid2}) {
    m->l[3] = m->l[2];
    m->l[2] = m->l[1];
    m->l[1] = m->l[0];
    m->l[0] = 0;
    r.add(*m);
  }
  U256 hi = U256::of(static_cast<u128>(a1) * b1);
  hi.l[3] = hi.l[1];
  hi.l[2] = hi.l[0];
  hi.l[1] = hi.l[0] = 0;
  r.add(hi);
  return r;
}

void scale10(U256& v, int k) {
  while (k > 0) {
    int step = k > 19 ? 19 : k;
    v.mulSmall(static_cast<uint64_t>(pow10(step)));
    k -= step;
  }
}

// The number ±mag × 10^e rounded half away from zero to 38 digits, in canonical form.
Num reduce(bool neg, U256 v, int e) {
  if (!(v.l[1] | v.l[2] | v.l[3])) {
    // the common case: 64 bits, no rounding
    uint64_t m = v.l[0];
    if (!m) return Num{};
    while (m % 10 == 0) {
      m /= 10;
      ++e;
    }
    if (e > 100 || e < -120) {
      int top = e + digits64(m);
      if (top > 126) throw OraError(1426);
      if (top < -129) return Num{};
    }
    Num r;
    r.m = neg ? -static_cast<i128>(m) : static_cast<i128>(m);
    r.e = e;
    return r;
  }
  static const U256 limit = U256::of(pow10(kDigits));
  if (v.cmp(limit) >= 0) {
    uint64_t last = 0;
    while (v.cmp(limit) >= 0) {
      last = v.divSmall(10);
      ++e;
    }
    if (last >= 5) {
      v.add(U256::of(1));
      if (v.cmp(limit) == 0) {
        v.divSmall(10);
        ++e;
      }
    }
  }
  u128 m = v.low();
  while (m % 10 == 0) {
    m /= 10;
    ++e;
  }
  int top = e + digitsOf(m); // the value is below 10^top
  if (top > 126) throw OraError(1426);
  if (top < -129) return Num{};
  Num r;
  r.m = neg ? -static_cast<i128>(m) : static_cast<i128>(m);
  r.e = e;
  return r;
}

Num reduce128(bool neg, u128 m, int e) { return reduce(neg, U256::of(m), e); }

} // namespace

static Num numFromDoubleUncached(double v);

bool parseNum(std::string_view s, Num& out) {
  size_t i = 0, n = s.size();
  while (i < n && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r')) ++i;
  while (n > i && (s[n - 1] == ' ' || s[n - 1] == '\t' || s[n - 1] == '\n' || s[n - 1] == '\r')) --n;
  if (i == n) return false;
  bool neg = false;
  if (s[i] == '+' || s[i] == '-') neg = s[i++] == '-';
  U256 v;
  uint64_t acc = 0; // the digits while they fit in 64 bits
  bool wide = false;
  int e = 0, kept = 0;
  bool any = false, point = false;
  for (; i < n; ++i) {
    char c = s[i];
    if (c == '.' && !point) { point = true; continue; }
    if (c < '0' || c > '9') break;
    any = true;
    if (kept == 0 && c == '0') { if (point) --e; continue; }
    if (kept < 19) {
      acc = acc * 10 + static_cast<uint64_t>(c - '0');
      ++kept;
      if (point) --e;
    } else if (kept < kDigits + 2) {
      if (!wide) v = U256::of(acc), wide = true;
      v.mulSmall(10);
      v.add(U256::of(static_cast<u128>(c - '0')));
      ++kept;
      if (point) --e;
    } else if (!point) {
      ++e; // digits beyond what a NUMBER keeps
    }
  }
  if (!wide) v = U256::of(acc);
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
  if (v.zero() || e < -1000) {
    out = Num{};
    return true;
  }
  if (e > 1000) throw OraError(1426);
  out = reduce(neg, v, e);
  return true;
}

Num numFromInt(int64_t v) {
  bool neg = v < 0;
  u128 m = neg ? static_cast<u128>(-(static_cast<i128>(v))) : static_cast<u128>(v);
  return reduce128(neg, m, 0);
}

namespace {

// Values with more digits than a double holds, by the double that carries them from one query
// block to the next (an inline view's AVG read by the outer query): reading the double back gives
// the whole value. A double that two values map to stands for neither.
struct Behind {
  std::unordered_map<uint64_t, Num> byBits;
  static constexpr size_t kMax = 1 << 16;
};
thread_local Behind behind;

uint64_t bitsOf(double v) {
  uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

const Num kTwoValues{0, 1}; // not canonical, so never a value

void remember(double d, const Num& a) {
  if (!std::isfinite(d)) return;
  if (behind.byBits.size() >= Behind::kMax) behind.byBits.clear(); // the newest are still to be read
  auto [it, fresh] = behind.byBits.try_emplace(bitsOf(d), a);
  if (!fresh && (it->second.m != a.m || it->second.e != a.e)) it->second = kTwoValues;
}

} // namespace

bool exactBehind(double v, Num& out) {
  if (behind.byBits.empty()) return false;
  auto it = behind.byBits.find(bitsOf(v));
  if (it == behind.byBits.end() || (it->second.e == kTwoValues.e && it->second.m == 0)) return false;
  out = it->second;
  return true;
}

Num numFromDouble(double v) {
  Num whole;
  if (exactBehind(v, whole)) return whole;
  // The same constant meets every row of a statement (SAL * 1.1): the last two doubles read are
  // remembered, the older one replaced.
  thread_local double seen[2] = {0, 0};
  thread_local Num seenNum[2];
  thread_local int older = 0;
  for (int k = 0; k < 2; ++k)
    if (seen[k] == v && std::signbit(seen[k]) == std::signbit(v)) {
      older = 1 - k;
      return seenNum[k];
    }
  Num n = numFromDoubleUncached(v);
  seen[older] = v;
  seenNum[older] = n;
  older = 1 - older;
  return n;
}

Num numFromDoubleUncached(double v) {
  if (v == 0) return Num{};
  if (!std::isfinite(v)) throw OraError(1426);
  if (v == std::trunc(v) && std::fabs(v) < 9.2e18) return numFromInt(static_cast<int64_t>(v));
  // The fewest decimals that read back as the same double, found by scaling while the digits
  // stay exact in a double; the text conversion below covers the rest.
  static const double p10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  double a = std::fabs(v);
  if (a >= 1e-6 && a < 1e15) {
    for (int k = 1; k < 16; ++k) {
      double scaled = a * p10[k];
      if (scaled >= 9007199254740992.0) break;
      double m = std::nearbyint(scaled);
      if (m / p10[k] == a) return reduce128(v < 0, static_cast<u128>(static_cast<uint64_t>(m)), -k);
    }
  }
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  Num n;
  parseNum(std::string_view(buf, static_cast<size_t>(r.ptr - buf)), n);
  return n;
}

bool numOf(sqlite3_value* v, Num& out) {
  switch (sqlite3_value_type(v)) {
  case SQLITE_NULL: return false;
  case SQLITE_INTEGER: out = numFromInt(sqlite3_value_int64(v)); return true;
  case SQLITE_FLOAT: out = numFromDouble(sqlite3_value_double(v)); return true;
  case SQLITE_TEXT: {
    auto p = reinterpret_cast<const char*>(sqlite3_value_text(v));
    if (!parseNum(std::string_view(p, static_cast<size_t>(sqlite3_value_bytes(v))), out)) throw OraError(1722);
    return true;
  }
  default: throw OraError(932, "expected NUMBER");
  }
}

Num neg(Num a) {
  a.m = -a.m;
  return a;
}

Num add(const Num& a0, const Num& b0) {
  if (a0.zero()) return b0;
  if (b0.zero()) return a0;
  Num a = a0, b = b0;
  if (a.e < b.e) std::swap(a, b); // a has the larger exponent
  u128 am = mag(a.m), bm = mag(b.m);
  int diff = a.e - b.e;
  if (diff <= 18 && am < pow10(18) && bm < pow10(18)) {
    i128 sum = a.m * static_cast<i128>(pow10(diff)) + b.m;
    return reduce128(sum < 0, mag(sum), b.e);
  }
  int topA = a.e + digitsOf(am), topB = b.e + digitsOf(bm);
  if (topA - topB > kDigits + 2) return a;
  if (topB - topA > kDigits + 2) return b;
  // bring a down to b's exponent, rounding b first where the sum could not hold the digits
  int extra = digitsOf(am) + diff - 76;
  if (extra > 0) {
    u128 p = extra <= 38 ? pow10(extra) : 0;
    u128 q = p ? bm / p : 0, r = p ? bm % p : bm;
    if (p && r * 2 >= p) ++q;
    bm = q;
    diff -= extra;
    b.e += extra;
  }
  U256 x = U256::of(am), y = U256::of(bm);
  scale10(x, diff);
  bool na = a.m < 0, nb = b.m < 0;
  if (na == nb) {
    x.add(y);
    return reduce(na, x, b.e);
  }
  if (x.cmp(y) >= 0) {
    x.sub(y);
    return reduce(na, x, b.e);
  }
  y.sub(x);
  return reduce(nb, y, b.e);
}

Num sub(const Num& a, const Num& b) { return add(a, neg(b)); }

Num mul(const Num& a, const Num& b) {
  if (a.zero() || b.zero()) return Num{};
  bool n = (a.m < 0) != (b.m < 0);
  u128 x = mag(a.m), y = mag(b.m);
  if (x < (static_cast<u128>(1) << 63) && y < (static_cast<u128>(1) << 63)) return reduce128(n, x * y, a.e + b.e);
  return reduce(n, product(x, y), a.e + b.e);
}

Num div(const Num& a, const Num& b) {
  if (b.zero()) throw OraError(1476);
  if (a.zero()) return Num{};
  bool n = (a.m < 0) != (b.m < 0);
  u128 x = mag(a.m), y = mag(b.m);
  // a quotient of at least 39 digits, rounded to 38
  int k = kDigits + 1 + digitsOf(y) - digitsOf(x);
  U256 v = U256::of(x);
  scale10(v, k);
  int e = a.e - k - b.e;
  if (y <= UINT64_MAX) {
    v.divSmall(static_cast<uint64_t>(y));
    return reduce(n, v, e);
  }
  U256 q;
  u128 rem = 0;
  for (int i = 255; i >= 0; --i) {
    bool carry = rem >> 127;
    rem = (rem << 1) | (v.bit(i) ? 1 : 0);
    if (carry || rem >= y) {
      rem -= y;
      q.l[i / 64] |= static_cast<uint64_t>(1) << (i % 64);
    }
  }
  return reduce(n, q, e);
}

int compare(const Num& a, const Num& b) {
  Num d = sub(a, b);
  return d.m < 0 ? -1 : d.m > 0;
}

Num roundNum(const Num& a, int scale) {
  if (a.zero() || -a.e <= scale) return a;
  int k = -a.e - scale; // digits to drop
  u128 m = mag(a.m);
  if (k > digitsOf(m)) return Num{};
  u128 p = pow10(k);
  u128 q = m / p, r = m % p;
  if (r * 2 >= p) ++q;
  return reduce128(a.m < 0, q, a.e + k);
}

namespace {

void shiftRight(U256& v, int k) { // k < 64
  for (int i = 0; i < 4; ++i) {
    v.l[i] >>= k;
    if (i < 3) v.l[i] |= v.l[i + 1] << (64 - k);
  }
}

} // namespace

Num sqrtNum(const Num& a) {
  if (a.zero()) return Num{};
  // the root of m * 10^k (75 or 76 digits, so that e - k is even) has 38 digits
  int d = digitsOf(mag(a.m));
  int k = 75 - d;
  if (((a.e - k) % 2 + 2) % 2) ++k;
  U256 n = U256::of(mag(a.m));
  scale10(n, k);
  // bit by bit; what is left of n is n - root^2
  U256 root, bit;
  bit.l[3] = static_cast<uint64_t>(1) << 62;
  while (bit.cmp(n) > 0) shiftRight(bit, 2);
  while (!bit.zero()) {
    U256 trial = root;
    trial.add(bit);
    shiftRight(root, 1);
    if (n.cmp(trial) >= 0) {
      n.sub(trial);
      root.add(bit);
    }
    shiftRight(bit, 2);
  }
  // (root + 1/2)^2 = root^2 + root + 1/4: round up when the rest exceeds root
  if (n.cmp(root) > 0) root.add(U256::of(1));
  return reduce(false, root, (a.e - k) / 2);
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

std::string numText(const Num& a) {
  if (a.zero()) return "0";
  u128 m = mag(a.m);
  char buf[48];
  int n = 0;
  while (m) {
    buf[n++] = static_cast<char>('0' + static_cast<int>(m % 10));
    m /= 10;
  }
  std::string ds(buf, static_cast<size_t>(n));
  std::reverse(ds.begin(), ds.end());
  std::string out;
  out.reserve(72);
  if (a.m < 0) out.push_back('-');
  int point = n + a.e; // digits before the decimal point
  size_t fixedLength = out.size() + static_cast<size_t>(point > 0 ? std::max(point, n) + (a.e < 0 ? 1 : 0) : 1 - point + n);
  if (fixedLength > 64) {
    out += ds[0];
    if (n > 1) {
      out += '.';
      out.append(ds, 1, std::string::npos);
    }
    int x = point - 1;
    out += x < 0 ? "E-" : "E+";
    out += std::to_string(std::abs(x));
    return out;
  }
  if (a.e >= 0) {
    out += ds;
    out.append(static_cast<size_t>(a.e), '0');
  } else if (point > 0) {
    out += ds.substr(0, static_cast<size_t>(point));
    out += '.';
    out += ds.substr(static_cast<size_t>(point));
  } else {
    out += '.';
    out.append(static_cast<size_t>(-point), '0');
    out += ds;
  }
  return out;
}

double numDouble(const Num& a) {
  static const double exact[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  u128 m = mag(a.m);
  if (m < (static_cast<u128>(1) << 53) && a.e >= -22 && a.e <= 22) {
    double d = static_cast<double>(m);
    d = a.e >= 0 ? d * exact[a.e] : d / exact[-a.e];
    return a.m < 0 ? -d : d;
  }
  std::string t = numText(a);
  return cStrtod(t.c_str());
}

void resultNum(sqlite3_context* ctx, const Num& a) {
  // every whole number that fits 64 bits stays exact, 19 digits included
  if (a.e >= 0 && digitsOf(mag(a.m)) + a.e <= 19) {
    i128 v = a.m * static_cast<i128>(pow10(a.e));
    if (v >= INT64_MIN && v <= INT64_MAX) {
      sqlite3_result_int64(ctx, static_cast<int64_t>(v));
      return;
    }
  }
  double d = numDouble(a);
  if (digitsOf(mag(a.m)) > 15) remember(d, a);
  sqlite3_result_double(ctx, d);
}

void resultNumExact(sqlite3_context* ctx, const Num& a) {
  if (digitsOf(mag(a.m)) <= 15 || (a.e >= 0 && digitsOf(mag(a.m)) + a.e <= 18)) {
    resultNum(ctx, a);
    return;
  }
  std::string t = numText(a);
  sqlite3_result_text(ctx, t.data(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
}

} // namespace ora
