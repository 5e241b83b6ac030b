#include "NumberMath.h"

#include "OraError.h"

#include <algorithm>
#include <array>
#include <boost/multiprecision/cpp_dec_float.hpp>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace ora {

namespace {

namespace mp = boost::multiprecision;

// 60 digits: twenty guard digits over NUMBER's 40 absorb the rounding of a few operations.
using F = mp::number<mp::cpp_dec_float<60>, mp::et_off>;

// Beyond these a result is past NUMBER's range (e^290.2 is 10^126) or below its smallest value.
constexpr int kExpLimit = 300;
constexpr int kPow10Span = 180;
// Series terms: x^k / k! for k up to this many.
constexpr int kTerms = 30;

F toF(const Num& a) {
  if (a.zero()) return F(0);
  std::string t = a.neg ? "-" : "";
  t += numDigits(a);
  t += 'e';
  t += std::to_string(a.e);
  return F(t);
}

// 10^n for the scaling of a result to whole digits.
const F& pow10F(int n) {
  static const std::vector<F> table = [] {
    std::vector<F> t;
    for (int k = -kPow10Span; k <= kPow10Span; ++k) t.emplace_back("1e" + std::to_string(k));
    return t;
  }();
  return table[static_cast<size_t>(n + kPow10Span)];
}

// Rounded half away from zero to NUMBER's digits; ORA-01426 past NUMBER's range, 0 below it.
Num toNum(const F& value) {
  if (value.is_zero()) return Num{};
  bool negative = value < 0;
  F f = negative ? -value : value;
  long k = static_cast<long>(f.backend().order()); // 10^k <= f < 10^(k+1)
  if (k > 126) throw OraError(1426);
  if (k < -131) return Num{};
  // 45 whole digits cut toward zero, in three groups of 15: the 41st on decide the rounding
  F g = f * pow10F(static_cast<int>(44 - k));
  F high = floor(g * pow10F(-30));
  F rest = g - high * pow10F(30);
  F middle = floor(rest * pow10F(-15));
  F low = floor(rest - middle * pow10F(15));
  char buf[96];
  std::snprintf(buf, sizeof buf, "%s%llu%015llu%015llue%ld", negative ? "-" : "", high.convert_to<unsigned long long>(),
                middle.convert_to<unsigned long long>(), low.convert_to<unsigned long long>(), k - 44);
  Num r;
  parseNum(buf, r);
  return r;
}

const std::array<F, kTerms + 1>& invFactorials() {
  static const auto table = [] {
    std::array<F, kTerms + 1> t;
    F f = 1;
    t[0] = 1;
    for (int k = 1; k <= kTerms; ++k) {
      f *= k;
      t[k] = 1 / f;
    }
    return t;
  }();
  return table;
}

// e^n for whole n within the range and e^(k/1024) for |k| <= 512, so that the series of what is
// left (below 1/2048) converges in a few terms.
struct ExpTables {
  static constexpr int kSteps = 1024;
  std::vector<F> whole, part;
};

const ExpTables& expTables() {
  static const ExpTables tables = [] {
    ExpTables t;
    for (int n = -kExpLimit; n <= kExpLimit; ++n) t.whole.push_back(exp(F(n)));
    // successive products of e^(1/1024): 512 roundings stay far below the 38th digit
    constexpr int half = ExpTables::kSteps / 2;
    F up = exp(F(1) / ExpTables::kSteps), down = exp(F(-1) / ExpTables::kSteps);
    t.part.assign(2 * half + 1, F(1));
    for (int k = 1; k <= half; ++k) {
      t.part[static_cast<size_t>(half + k)] = t.part[static_cast<size_t>(half + k - 1)] * up;
      t.part[static_cast<size_t>(half - k)] = t.part[static_cast<size_t>(half - k + 1)] * down;
    }
    return t;
  }();
  return tables;
}

F expF(const F& x) {
  if (x > kExpLimit) throw OraError(1426);
  if (x < -kExpLimit) return F(0);
  const ExpTables& t = expTables();
  F n = round(x);
  F f = x - n;
  F k = round(f * ExpTables::kSteps);
  F b = f - k * F(0.0009765625); // 1/1024
  const F& w = t.whole[static_cast<size_t>(n.convert_to<int>() + kExpLimit)];
  const F& p = t.part[static_cast<size_t>(k.convert_to<int>() + ExpTables::kSteps / 2)];
  if (b.is_zero()) return w * p;
  // |b| <= 1/2048: 16 terms leave less than 1e-66
  const auto& inv = invFactorials();
  F s = inv[15];
  for (int j = 14; j >= 0; --j) s = s * b + inv[static_cast<size_t>(j)];
  return w * p * s;
}

// ln x for x > 0: near 1 by the series of 2 atanh((x - 1) / (x + 1)), whose terms keep every digit
// of a small result; elsewhere from the double's logarithm y, with x e^-y = 1 + d, d about 1e-16,
// and ln(1 + d) = d - d^2/2 + d^3/3.
F lnF(const F& x, double approx) {
  static const F third = F(1) / 3;
  F t = x - 1;
  if (abs(t) < F(0.01)) {
    static const auto inverses = [] {
      std::array<F, 24> a;
      for (size_t k = 0; k < a.size(); ++k) a[k] = F(1) / F(2 * static_cast<int>(k) + 1);
      return a;
    }();
    // |u| < 0.005: u^46 is far below the last digit
    F u = t / (x + 1), u2 = u * u, s = inverses.back();
    for (size_t k = inverses.size() - 1; k-- > 0;) s = s * u2 + inverses[k];
    return 2 * u * s;
  }
  F y = std::log(approx);
  F d = x * expF(-y) - 1;
  return y + d * (1 - d * (F(0.5) - d * third));
}

F lnOf(const Num& x) {
  if (x.negative() || x.zero()) throw OraError(1428, numText(x));
  return lnF(toF(x), numDouble(x));
}

// pi/2 in two parts: the first short enough that a multiple of it is exact.
struct HalfPi {
  F hi, lo, full, pi, twoOverPi;
};

const HalfPi& halfPi() {
  static const HalfPi h = [] {
    using Wide = mp::number<mp::cpp_dec_float<110>, mp::et_off>;
    Wide half = atan(Wide(1)) * 2;
    HalfPi r;
    r.hi = F(half.str(25, std::ios_base::scientific));
    r.lo = F(Wide(half - Wide(r.hi.str(70, std::ios_base::scientific))).str(65, std::ios_base::scientific));
    r.full = F(half.str(65, std::ios_base::scientific));
    r.pi = r.full * 2;
    r.twoOverPi = F(Wide(1 / half).str(65, std::ios_base::scientific));
    return r;
  }();
  return h;
}

// sin and cos of k/256 for 0 <= k <= 202 (past pi/4), turned step by step through the angle 1/256.
struct SinCosTable {
  static constexpr int kSteps = 256, kSize = 203;
  std::array<F, kSize> s, c;
};

const SinCosTable& sinCosTable() {
  static const SinCosTable table = [] {
    SinCosTable t;
    F step = F(1) / SinCosTable::kSteps, s1 = sin(step), c1 = cos(step);
    t.s[0] = 0;
    t.c[0] = 1;
    for (size_t k = 1; k < t.s.size(); ++k) {
      t.s[k] = t.s[k - 1] * c1 + t.c[k - 1] * s1;
      t.c[k] = t.c[k - 1] * c1 - t.s[k - 1] * s1;
    }
    return t;
  }();
  return table;
}

// A double near f, without the text conversion of convert_to<double>.
double approxDouble(const F& f) {
  if (f.is_zero()) return 0;
  long k = static_cast<long>(f.backend().order());
  if (k > 150 || k < -150) return cStrtod(f.str(17, std::ios_base::scientific).c_str());
  F g = f * pow10F(static_cast<int>(17 - k));
  return static_cast<double>(g.convert_to<long long>()) * std::pow(10.0, static_cast<double>(k - 17));
}

void sinCos(const F& x, F& s, F& c) {
  const HalfPi& h = halfPi();
  if (abs(x) > F(1e12)) {
    // the quadrant count would outgrow the exact multiple: reduce by 2 pi with NUMBER's whole
    // range of digits to spare
    using Wide = mp::number<mp::cpp_dec_float<200>, mp::et_off>;
    static const Wide twoPi = atan(Wide(1)) * 8;
    Wide w(x.str(0, std::ios_base::scientific));
    w -= twoPi * round(w / twoPi);
    sinCos(F(w.str(65, std::ios_base::scientific)), s, c);
    return;
  }
  F q = round(x * h.twoOverPi);
  F r = x - q * h.hi - q * h.lo; // |r| <= pi/4
  F k = round(r * SinCosTable::kSteps);
  F b = r - k * F(0.00390625); // |b| <= 1/512
  // series of sin b and cos b to b^17 and b^18, below 1e-63
  const auto& inv = invFactorials();
  F b2 = b * b, sb = inv[17], cb = inv[18];
  for (int j = 15; j >= 1; j -= 2) sb = inv[static_cast<size_t>(j)] - sb * b2;
  for (int j = 16; j >= 0; j -= 2) cb = inv[static_cast<size_t>(j)] - cb * b2;
  sb *= b;
  int ki = k.convert_to<int>();
  const SinCosTable& t = sinCosTable();
  F sa = t.s[static_cast<size_t>(std::abs(ki))];
  const F& ca = t.c[static_cast<size_t>(std::abs(ki))];
  if (ki < 0) sa = -sa;
  F sr = sa * cb + ca * sb, cr = ca * cb - sa * sb;
  int quadrant = static_cast<int>(((q.convert_to<long long>() % 4) + 4) % 4);
  switch (quadrant) {
  case 0: s = sr, c = cr; break;
  case 1: s = cr, c = -sr; break;
  case 2: s = -sr, c = -cr; break;
  default: s = -cr, c = sr; break;
  }
}

// atan from the double's value y, mended by the angle whose tangent is (x - tan y) / (1 + x tan y).
F atanF(const F& x) {
  if (x.is_zero()) return F(0);
  static const F third = F(1) / 3;
  F y = std::atan(approxDouble(x)), s, c;
  sinCos(y, s, c);
  F d = (x * c - s) / (c + x * s);
  return y + d - d * d * d * third;
}

F atan2F(const F& y, const F& x) {
  const HalfPi& h = halfPi();
  if (x.is_zero()) return y.is_zero() ? F(0) : y < 0 ? F(-h.full) : h.full;
  if (abs(y) > abs(x)) { // the quotient the other way keeps every digit of a steep angle
    F a = atanF(x / y);
    return (y < 0 ? -h.full : h.full) - a;
  }
  F a = atanF(y / x);
  if (x < 0) a += y < 0 ? F(-h.pi) : h.pi;
  return a;
}

// The series of sinh for |x| < 0.1.
F sinhSeries(const F& x) {
  const auto& inv = invFactorials();
  F x2 = x * x, s = inv[29];
  for (int j = 27; j >= 1; j -= 2) s = s * x2 + inv[static_cast<size_t>(j)];
  return s * x;
}

bool whole(const Num& y, int64_t& n, bool& odd) {
  Num w = roundNum(y, 0);
  if (compare(w, y) != 0) return false;
  odd = w.e == 0 && (w.lo & 1); // canonical: a positive exponent means trailing zeros
  if (!int64Of(w, n) || n >= (int64_t{1} << 62) || n <= -(int64_t{1} << 62)) n = 0; // too large to multiply out
  return true;
}

// The last few arguments of each function and their results: a column of a few distinct values
// computes each once.
enum Kind : uint8_t { kExp = 1, kLn, kLog, kPow, kPowWhole, kAtan2, kTrig };

struct Memo {
  Num a, b, r;
  uint8_t kind = 0;
};

thread_local std::array<Memo, 64> memo;

template <class G>
Num remembered(uint8_t kind, const Num& a, const Num& b, G compute) {
  uint64_t h = a.lo * 0x9E3779B97F4A7C15ull ^ a.hi ^ a.top ^ static_cast<uint64_t>(a.e) * 31 ^ a.neg ^
               b.lo * 0xC2B2AE3D27D4EB4Full ^ b.hi ^ static_cast<uint64_t>(b.e) * 17 ^ (b.neg ? 7 : 0) ^
               kind * 0x165667B19E3779F9ull;
  Memo& slot = memo[(h ^ (h >> 29)) % memo.size()];
  if (slot.kind == kind && slot.a == a && slot.b == b) return slot.r;
  Num r = compute();
  slot.kind = kind;
  slot.a = a;
  slot.b = b;
  slot.r = r;
  return r;
}

// base^n for a whole n, multiplied out in F and rounded once.
Num powWhole(const Num& base, int64_t n) {
  double magnitude = static_cast<double>(n) * std::log10(std::fabs(numDouble(base)));
  if (magnitude > 130) throw OraError(1426);
  if (magnitude < -135) return Num{};
  F result = 1, b = toF(base);
  for (uint64_t k = n < 0 ? 0 - static_cast<uint64_t>(n) : static_cast<uint64_t>(n); k; k >>= 1) {
    if (k & 1) result *= b;
    if (k > 1) b *= b;
  }
  return toNum(n < 0 ? F(1) / result : result);
}

} // namespace

Num expNum(const Num& x) {
  return remembered(kExp, x, Num{}, [&] { return toNum(expF(toF(x))); });
}

Num lnNum(const Num& x) {
  return remembered(kLn, x, Num{}, [&] { return toNum(lnOf(x)); });
}

Num logNum(const Num& base, const Num& x) {
  if (base.negative() || base.zero() || compare(base, numFromInt(1)) == 0) throw OraError(1428, numText(base));
  return remembered(kLog, base, x, [&] {
    F lx = lnOf(x);
    return toNum(lx / lnOf(base));
  });
}

Num powReal(const Num& base, const Num& y) {
  int64_t n = 0;
  bool odd = false;
  bool integral = whole(y, n, odd);
  if (base.negative() && !integral) throw OraError(1428, numText(base));
  if (integral && (n != 0 || y.zero())) {
    if (base.zero() || n == 0 || n == 1) return powNum(base, n);
    return remembered(kPowWhole, base, y, [&] { return powWhole(base, n); });
  }
  if (base.zero()) {
    if (y.negative()) throw OraError(1426);
    return Num{};
  }
  if (compare(y, Num{5, -1}) == 0) return sqrtNum(base);
  return remembered(kPow, base, y, [&] {
    // a whole exponent too large to multiply out: only the sign of a negative base is left to find
    Num a = base.negative() ? neg(base) : base;
    Num r = toNum(expF(toF(y) * lnOf(a)));
    return base.negative() && odd ? neg(r) : r;
  });
}

Num trigNum(Trig f, const Num& xn) {
  return remembered(static_cast<uint8_t>(kTrig + static_cast<int>(f)), xn, Num{}, [&] {
    F x = toF(xn), s, c;
    switch (f) {
    case Trig::Sin: sinCos(x, s, c); return toNum(s);
    case Trig::Cos: sinCos(x, s, c); return toNum(c);
    case Trig::Tan: sinCos(x, s, c); return toNum(s / c);
    case Trig::Sinh:
    case Trig::Cosh:
    case Trig::Tanh: {
      if (abs(x) > kExpLimit) {
        if (f != Trig::Tanh) throw OraError(1426);
        return numFromInt(x < 0 ? -1 : 1);
      }
      F e = expF(x), inverse = 1 / e;
      F sh = abs(x) < F(0.1) ? sinhSeries(x) : (e - inverse) / 2, ch = (e + inverse) / 2;
      return toNum(f == Trig::Sinh ? sh : f == Trig::Cosh ? ch : sh / ch);
    }
    case Trig::Asin:
    case Trig::Acos: {
      if (x > 1 || x < -1) throw OraError(1428, numText(xn));
      F root = sqrt((1 - x) * (1 + x));
      return toNum(f == Trig::Asin ? atan2F(x, root) : atan2F(root, x));
    }
    case Trig::Atan: return toNum(atanF(x));
    }
    return Num{};
  });
}

Num atan2Num(const Num& y, const Num& x) {
  return remembered(kAtan2, y, x, [&] { return toNum(atan2F(toF(y), toF(x))); });
}

} // namespace ora
