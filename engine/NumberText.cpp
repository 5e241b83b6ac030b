// NUMBER values to and from what SQLite holds (INTEGER, REAL, decimal text) and their text.
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

// Values with more digits than a double holds, by the double that carries them from one query
// block to the next (an inline view's AVG read by the outer query): reading the double back gives
// the whole value. A double that two values map to stands for the later one: a value is read back
// right after its query block gave it, and an earlier value of the same double must not cut it to
// the double's 15 digits.
struct Behind {
  std::unordered_map<uint64_t, Num> byBits;
  static constexpr size_t kMax = 1 << 16;
};
thread_local Behind behind;

// The last doubles converted either way, the least recently used replaced: the same constant
// meets every row of a statement (SAL * 1.1), and SUM reads back the product just returned. Kept
// trivial, so that reaching it per row costs no thread-local guard.
struct Recent {
  struct Entry {
    uint64_t bits; // +0.0 is never looked up
    Num n;
    uint32_t used;
  };
  Entry entry[4];
  uint32_t clock;
  bool anyBehind; // whether `behind` holds anything
  const Num* find(uint64_t bits) {
    for (auto& r : entry)
      if (r.bits == bits) {
        r.used = ++clock;
        return &r.n;
      }
    return nullptr;
  }
  void keep(uint64_t bits, const Num& n) {
    Entry* old = entry;
    for (auto& r : entry)
      if (r.used < old->used) old = &r;
    *old = {bits, n, ++clock};
  }
};
thread_local Recent recent;

uint64_t bitsOf(double v) {
  uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

void remember(double d, const Num& a) {
  if (!std::isfinite(d)) return;
  if (behind.byBits.size() >= Behind::kMax) behind.byBits.clear(); // the newest are still to be read
  behind.byBits.insert_or_assign(bitsOf(d), a);
  recent.anyBehind = true;
}

const Num* wholeBehind(uint64_t bits) {
  auto it = behind.byBits.find(bits);
  return it == behind.byBits.end() ? nullptr : &it->second;
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
      // rounded by the integer conversion (a libm call costs more); the check below catches a
      // rounding that went the wrong way
      auto whole = static_cast<int64_t>(scaled + 0.5);
      // a product that reads back as `a` lies within a few ulps of the whole number: the division
      // is only worth making then
      if (std::fabs(scaled - static_cast<double>(whole)) > scaled * 1e-15) continue;
      if (static_cast<double>(whole) / p10[k] == a) {
        return numFromI128(v < 0 ? -whole : whole, -k);
      }
    }
  }
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  Num n;
  parseNum(std::string_view(buf, static_cast<size_t>(r.ptr - buf)), n);
  return n;
}

// The double that carries a value of more digits than a double holds: its nearest double, unless
// that one already stands for another value (a value of 15 digits or fewer that reads back from
// it, or another long value remembered there); then the next free double on the value's side of
// the other one, so that two different values never share a carrier and compare, sort and
// group as their digits do.
double carrier(double d, const Num& a) {
  int direction = 0;
  for (int step = 0; step < 16; ++step) {
    const Num* there = recent.anyBehind ? wholeBehind(bitsOf(d)) : nullptr;
    if (there && compare(*there, a) == 0) return d;
    Num natural;
    if (!there) {
      natural = numFromDoubleUncached(d);
      if (digitCount(natural) > 15) break; // no shorter value reads back from it: free
    }
    int side = compare(a, there ? *there : natural) > 0 ? 1 : -1;
    if (direction != 0 && side != direction) break; // between two neighbours: no room to keep order
    direction = side;
    double next = std::nextafter(d, side > 0 ? HUGE_VAL : -HUGE_VAL);
    if (!std::isfinite(next)) break;
    d = next;
  }
  remember(d, a);
  return d;
}

} // namespace

bool exactBehind(double v, Num& out) {
  const Num* whole = recent.anyBehind ? wholeBehind(bitsOf(v)) : nullptr;
  if (whole) out = *whole;
  return whole;
}

Num numFromDouble(double v) {
  Recent& r = recent; // one thread-local lookup per row
  uint64_t bits = bitsOf(v);
  if (const Num* whole = r.anyBehind ? wholeBehind(bits) : nullptr) return *whole;
  if (const Num* known = r.find(bits)) return *known;
  Num n = numFromDoubleUncached(v);
  r.keep(bits, n);
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

std::string numText(const Num& a) {
  if (a.zero()) return "0";
  std::string ds = numDigits(a);
  int n = static_cast<int>(ds.size());
  std::string out;
  out.reserve(72);
  if (a.neg) out.push_back('-');
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
    out.append(ds, 0, static_cast<size_t>(point));
    out += '.';
    out.append(ds, static_cast<size_t>(point), std::string::npos);
  } else {
    out += '.';
    out.append(static_cast<size_t>(-point), '0');
    out += ds;
  }
  return out;
}

int numBytes(const Num& a, unsigned char out[21]) {
  if (a.zero()) {
    out[0] = 128;
    return 1;
  }
  std::string ds = numDigits(a);
  // pairs aligned on the decimal point
  int point = static_cast<int>(ds.size()) + a.e;
  if (point % 2) {
    ds.insert(ds.begin(), '0');
    ++point;
  }
  if (ds.size() % 2) ds += '0';
  int exponent = point / 2 - 1; // of the first pair
  out[0] = static_cast<unsigned char>(a.neg ? 62 - exponent : 193 + exponent);
  int n = 1;
  for (size_t k = 0; k + 1 < ds.size() && n < 21; k += 2) {
    int pair = (ds[k] - '0') * 10 + (ds[k + 1] - '0');
    out[n++] = static_cast<unsigned char>(a.neg ? 101 - pair : pair + 1);
  }
  if (a.neg && n < 21) out[n++] = 102;
  return n;
}

double numDouble(const Num& a) {
  static const double exact[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  if (a.narrow() && a.lo < (uint64_t{1} << 53) && a.e >= -22 && a.e <= 22) {
    double d = static_cast<double>(a.lo);
    d = a.e >= 0 ? d * exact[a.e] : d / exact[-a.e];
    return a.neg ? -d : d;
  }
  std::string t = numText(a);
  return cStrtod(t.c_str());
}

void resultNum(sqlite3_context* ctx, const Num& a) {
  // every whole number that fits 64 bits stays exact, 19 digits included
  if (a.e >= 0 && a.narrow() && a.e <= 18) {
    uint64_t m = a.lo;
    bool fits = true;
    for (int k = 0; k < a.e && fits; ++k) {
      fits = m <= UINT64_MAX / 10;
      m *= 10;
    }
    if (fits && m <= (a.neg ? uint64_t{1} << 63 : uint64_t{INT64_MAX})) {
      sqlite3_result_int64(ctx, a.neg ? static_cast<int64_t>(0 - m) : static_cast<int64_t>(m));
      return;
    }
  }
  double d = numDouble(a);
  // a small whole double (1 for .999...9) is what other functions return too: remembered, it
  // would give them this value's digits
  bool few = a.narrow() && a.lo < 1000000000000000u;
  if (!few && digitCount(a) > 15) {
    if (!(d == std::trunc(d) && std::fabs(d) < 9007199254740992.0)) d = carrier(d, a);
  } else if (d != 0 && std::isfinite(d)) {
    // what reading the double back would give anyway, as 15 digits survive a double
    recent.keep(bitsOf(d), a);
  }
  sqlite3_result_double(ctx, d);
}

void resultNumExact(sqlite3_context* ctx, const Num& a) {
  int n = digitCount(a);
  if (n <= 15 || (a.e >= 0 && n + a.e <= 18)) {
    resultNum(ctx, a);
    return;
  }
  std::string t = numText(a);
  sqlite3_result_text(ctx, t.data(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
}

} // namespace ora
