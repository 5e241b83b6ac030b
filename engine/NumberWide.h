// Unsigned integers of 320 bits (96 decimal digits) for the mantissas of NUMBER arithmetic while
// they are wider than the result keeps: products, aligned sums, scaled dividends and radicands.
// Only the number code uses it.
#pragma once
#include "Number.h"

#include <cstdint>

namespace ora::wide {

using u128 = unsigned __int128;

constexpr int kLimbs = 5;

struct Wide {
  uint64_t l[kLimbs] = {}; // limb 0 is the lowest

  static Wide of(uint64_t v) {
    Wide r;
    r.l[0] = v;
    return r;
  }
  static Wide of128(u128 v) {
    Wide r;
    r.l[0] = static_cast<uint64_t>(v);
    r.l[1] = static_cast<uint64_t>(v >> 64);
    return r;
  }
  static Wide of(const Num& a) {
    Wide r;
    r.l[0] = a.lo;
    r.l[1] = a.hi;
    r.l[2] = a.top;
    return r;
  }
  bool zero() const { return !(l[0] | l[1] | l[2] | l[3] | l[4]); }
  // fits 64 bits
  bool narrow() const { return !(l[1] | l[2] | l[3] | l[4]); }
  int used() const {
    int n = kLimbs;
    while (n > 0 && !l[n - 1]) --n;
    return n;
  }
  int bits() const {
    int n = used();
    return n ? 64 * (n - 1) + 64 - __builtin_clzll(l[n - 1]) : 0;
  }
  // *this /= d, returns the remainder
  uint64_t divSmall(uint64_t d) {
    u128 rem = 0;
    for (int i = used() - 1; i >= 0; --i) {
      u128 cur = (rem << 64) | l[i];
      l[i] = static_cast<uint64_t>(cur / d);
      rem = cur % d;
    }
    return static_cast<uint64_t>(rem);
  }
  // what is carried past the top limb is lost: callers keep within 96 digits
  void mulSmall(uint64_t f) {
    u128 carry = 0;
    for (int i = 0, n = used(); i < kLimbs && (i < n || carry); ++i) {
      u128 cur = static_cast<u128>(l[i]) * f + carry;
      l[i] = static_cast<uint64_t>(cur);
      carry = cur >> 64;
    }
  }
  void addSmall(uint64_t x) {
    for (int i = 0; i < kLimbs && x; ++i) {
      l[i] += x;
      x = l[i] < x ? 1 : 0;
    }
  }
  void add(const Wide& o) {
    uint64_t carry = 0;
    for (int i = 0; i < kLimbs; ++i) {
      u128 cur = static_cast<u128>(l[i]) + o.l[i] + carry;
      l[i] = static_cast<uint64_t>(cur);
      carry = static_cast<uint64_t>(cur >> 64);
    }
  }
  void sub(const Wide& o) { // *this >= o
    uint64_t borrow = 0;
    for (int i = 0; i < kLimbs; ++i) {
      uint64_t b = o.l[i] + borrow;
      borrow = (b < o.l[i]) || (l[i] < b);
      l[i] -= b;
    }
  }
  int cmp(const Wide& o) const {
    for (int i = kLimbs - 1; i >= 0; --i)
      if (l[i] != o.l[i]) return l[i] < o.l[i] ? -1 : 1;
    return 0;
  }
  // the lowest decimal digit, from the value modulo 2 and modulo 5 (2^64 leaves 1 modulo 5)
  unsigned lastDigit() const {
    u128 sum = 0;
    for (uint64_t x : l) sum += x % 5;
    unsigned m5 = static_cast<unsigned>(sum % 5), m2 = static_cast<unsigned>(l[0] & 1);
    return m5 + ((m5 & 1) != m2 ? 5 : 0);
  }
  void shiftRight(int k) { // 0 < k < 64
    for (int i = 0; i < kLimbs; ++i) {
      l[i] >>= k;
      if (i + 1 < kLimbs) l[i] |= l[i + 1] << (64 - k);
    }
  }
};

// 10^k for 0 <= k <= 96.
const Wide& pow10(int k);
// Decimal digits of v (0 for 0).
int digits(const Wide& v);
// v * 10^k; the result stays within 96 digits.
void scale10(Wide& v, int k);
// v / 10^k cut toward zero; true when what was cut off is not zero.
bool dropDigits(Wide& v, int k);
// a * b; the product stays within 96 digits.
Wide product(const Wide& a, const Wide& b);
// u / v cut toward zero; v is not zero.
Wide quotient(const Wide& u, const Wide& v);
// The whole square root, cut toward zero.
Wide isqrt(Wide n);

} // namespace ora::wide
