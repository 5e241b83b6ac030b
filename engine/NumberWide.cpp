#include "NumberWide.h"

namespace ora::wide {

namespace {

constexpr uint64_t kP19 = 10000000000000000000ull;

uint64_t pow10Small(int k) { // k <= 19
  static const uint64_t t[] = {1ull,
                               10ull,
                               100ull,
                               1000ull,
                               10000ull,
                               100000ull,
                               1000000ull,
                               10000000ull,
                               100000000ull,
                               1000000000ull,
                               10000000000ull,
                               100000000000ull,
                               1000000000000ull,
                               10000000000000ull,
                               100000000000000ull,
                               1000000000000000ull,
                               10000000000000000ull,
                               100000000000000000ull,
                               1000000000000000000ull,
                               kP19};
  return t[k];
}

} // namespace

const Wide& pow10(int k) {
  static const auto table = [] {
    struct T {
      Wide v[97];
    } t{};
    t.v[0] = Wide::of(1);
    for (int i = 1; i <= 96; ++i) {
      t.v[i] = t.v[i - 1];
      t.v[i].mulSmall(10);
    }
    return t;
  }();
  return table.v[k];
}

int digits(const Wide& v) {
  int b = v.bits();
  if (!b) return 0;
  int t = b * 1233 >> 12; // about log10(v)
  return t + (t <= 96 && v.cmp(pow10(t)) >= 0 ? 1 : 0);
}

void scale10(Wide& v, int k) {
  while (k > 0) {
    int step = k > 19 ? 19 : k;
    v.mulSmall(pow10Small(step));
    k -= step;
  }
}

bool dropDigits(Wide& v, int k) {
  bool cut = false;
  while (k > 0) {
    int step = k > 19 ? 19 : k;
    cut |= v.divSmall(pow10Small(step)) != 0;
    k -= step;
  }
  return cut;
}

Wide product(const Wide& a, const Wide& b) {
  Wide r;
  int na = a.used(), nb = b.used();
  for (int i = 0; i < na; ++i) {
    uint64_t carry = 0;
    for (int j = 0; j < nb && i + j < kLimbs; ++j) {
      u128 cur = static_cast<u128>(a.l[i]) * b.l[j] + r.l[i + j] + carry;
      r.l[i + j] = static_cast<uint64_t>(cur);
      carry = static_cast<uint64_t>(cur >> 64);
    }
    if (i + nb < kLimbs) r.l[i + nb] = carry;
  }
  return r;
}

// Long division in 32-bit digits (Knuth's algorithm D).
Wide quotient(const Wide& uw, const Wide& vw) {
  constexpr int kDigits = 2 * kLimbs;
  uint32_t u[kDigits], v[kDigits], q[kDigits] = {};
  for (int i = 0; i < kLimbs; ++i) {
    u[2 * i] = static_cast<uint32_t>(uw.l[i]);
    u[2 * i + 1] = static_cast<uint32_t>(uw.l[i] >> 32);
    v[2 * i] = static_cast<uint32_t>(vw.l[i]);
    v[2 * i + 1] = static_cast<uint32_t>(vw.l[i] >> 32);
  }
  int m = kDigits, n = kDigits;
  while (m > 0 && !u[m - 1]) --m;
  while (n > 0 && !v[n - 1]) --n;
  if (n <= 2) {
    Wide r = uw;
    r.divSmall(vw.l[0]);
    return r;
  }
  if (m < n) return Wide{};
  // normalize so that the divisor's top digit has its high bit set
  int s = __builtin_clz(v[n - 1]);
  uint32_t vn[kDigits], un[kDigits + 1];
  for (int i = n - 1; i > 0; --i) vn[i] = (v[i] << s) | (s ? static_cast<uint32_t>(static_cast<uint64_t>(v[i - 1]) >> (32 - s)) : 0);
  vn[0] = v[0] << s;
  un[m] = s ? static_cast<uint32_t>(static_cast<uint64_t>(u[m - 1]) >> (32 - s)) : 0;
  for (int i = m - 1; i > 0; --i) un[i] = (u[i] << s) | (s ? static_cast<uint32_t>(static_cast<uint64_t>(u[i - 1]) >> (32 - s)) : 0);
  un[0] = u[0] << s;
  constexpr uint64_t b = 1ull << 32;
  for (int j = m - n; j >= 0; --j) {
    uint64_t num = (static_cast<uint64_t>(un[j + n]) << 32) | un[j + n - 1];
    uint64_t qhat = num / vn[n - 1], rhat = num % vn[n - 1];
    while (qhat >= b || qhat * vn[n - 2] > ((rhat << 32) | un[j + n - 2])) {
      --qhat;
      rhat += vn[n - 1];
      if (rhat >= b) break;
    }
    // un[j..j+n] -= qhat * vn
    int64_t borrow = 0, t = 0;
    for (int i = 0; i < n; ++i) {
      uint64_t p = qhat * vn[i];
      t = static_cast<int64_t>(un[i + j]) - borrow - static_cast<int64_t>(p & 0xFFFFFFFFull);
      un[i + j] = static_cast<uint32_t>(t);
      borrow = static_cast<int64_t>(p >> 32) - (t >> 32);
    }
    t = static_cast<int64_t>(un[j + n]) - borrow;
    un[j + n] = static_cast<uint32_t>(t);
    q[j] = static_cast<uint32_t>(qhat);
    if (t < 0) { // one too many: add the divisor back
      --q[j];
      uint64_t carry = 0;
      for (int i = 0; i < n; ++i) {
        uint64_t sum = static_cast<uint64_t>(un[i + j]) + vn[i] + carry;
        un[i + j] = static_cast<uint32_t>(sum);
        carry = sum >> 32;
      }
      un[j + n] = static_cast<uint32_t>(un[j + n] + carry);
    }
  }
  Wide r;
  for (int i = 0; i < kLimbs; ++i) r.l[i] = static_cast<uint64_t>(q[2 * i]) | static_cast<uint64_t>(q[2 * i + 1]) << 32;
  return r;
}

Wide isqrt(Wide n) {
  // bit by bit; what is left of n is n - root^2
  Wide root, bit;
  int b = n.bits();
  if (!b) return root;
  int start = (b - 1) & ~1;
  bit.l[start / 64] = 1ull << (start % 64);
  while (!bit.zero()) {
    Wide trial = root;
    trial.add(bit);
    root.shiftRight(1);
    if (n.cmp(trial) >= 0) {
      n.sub(trial);
      root.add(bit);
    }
    bit.shiftRight(2);
  }
  return root;
}

} // namespace ora::wide
