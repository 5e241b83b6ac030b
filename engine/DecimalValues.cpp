// Decimal values as text digits and a point: reading, rounding to NUMBER's digits and the
// result a function gives SQLite.
#include "OraValues.h"

#include "CType.h"
#include "Number.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <sqlite3.h>
#include <string>

namespace ora {
void normalize(Decimal& d) {
  size_t lead = 0;
  while (lead < d.digits.size() && d.digits[lead] == '0') ++lead;
  d.digits.erase(0, lead);
  d.point -= static_cast<int>(lead);
  while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
  if (d.digits.empty()) { d.neg = false; d.point = 0; }
}

bool parseDecimal(std::string_view s, Decimal& out) {
  size_t i = 0, n = s.size();
  while (i < n && ora::spaceC(static_cast<unsigned char>(s[i]))) ++i;
  while (n > i && ora::spaceC(static_cast<unsigned char>(s[n - 1]))) --n;
  if (i == n) return false;
  Decimal d;
  if (s[i] == '+' || s[i] == '-') d.neg = s[i++] == '-';
  bool any = false;
  int intDigits = 0;
  while (i < n && ora::digitC(static_cast<unsigned char>(s[i]))) { d.digits += s[i++]; ++intDigits; any = true; }
  if (i < n && s[i] == '.') {
    ++i;
    while (i < n && ora::digitC(static_cast<unsigned char>(s[i]))) { d.digits += s[i++]; any = true; }
  }
  if (!any) return false;
  int exp = 0;
  if (i < n && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    bool eneg = false;
    if (i < n && (s[i] == '+' || s[i] == '-')) eneg = s[i++] == '-';
    if (i == n || !ora::digitC(static_cast<unsigned char>(s[i]))) return false;
    while (i < n && ora::digitC(static_cast<unsigned char>(s[i]))) {
      exp = exp * 10 + (s[i++] - '0');
      if (exp > 100000) return false;
    }
    if (eneg) exp = -exp;
  }
  if (i != n) return false;
  d.point = intDigits + exp;
  normalize(d);
  out = d;
  return true;
}

bool numberInRange(Decimal& d) {
  if (d.zero()) return true;
  if (d.point > 126) return false; // 10^126 and beyond
  if (d.point < -129) d = Decimal{}; // below the smallest a NUMBER holds: zero
  return true;
}

Decimal fromDouble(double v) {
  Num whole;
  if (exactBehind(v, whole)) {
    Decimal d;
    parseDecimal(numText(whole), d);
    return d;
  }
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific);
  Decimal d;
  parseDecimal(std::string_view(buf, r.ptr - buf), d);
  return d;
}

Decimal fromInteger(int64_t v) {
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  Decimal d;
  parseDecimal(std::string_view(buf, r.ptr - buf), d);
  return d;
}

// Rounds half away from zero to `scale` decimals.
void roundTo(Decimal& d, int scale) {
  if (d.zero()) return;
  long keep = static_cast<long>(d.point) + scale;
  if (keep >= static_cast<long>(d.digits.size())) return;
  if (keep < 0) { d = Decimal(); return; }
  bool up = d.digits[keep] >= '5';
  d.digits.resize(keep);
  if (up) {
    long i = keep - 1;
    while (i >= 0 && d.digits[i] == '9') d.digits[i--] = '0';
    if (i < 0) { d.digits.insert(d.digits.begin(), '1'); ++d.point; }
    else ++d.digits[i];
  }
  normalize(d);
}

void roundToNumber(Decimal& d) {
  if (d.digits.size() < 40) return;
  // base-100 digits aligned on the point, twenty from the highest that is not zero
  int top = d.point;
  int half = top - 1 >= 0 ? (top - 1) / 2 : -((2 - top) / 2);
  roundTo(d, 38 - 2 * half);
}

std::string plainText(const Decimal& d) {
  if (d.zero()) return "0";
  std::string r = d.neg ? "-" : "";
  int n = static_cast<int>(d.digits.size());
  if (d.point < -20 || d.point > 40) {
    r += d.digits[0];
    if (n > 1) { r += '.'; r += d.digits.substr(1); }
    int e = d.point - 1;
    r += e < 0 ? "E-" : "E+";
    r += std::to_string(std::abs(e));
    return r;
  }
  if (d.point <= 0) {
    r += "0.";
    r.append(-d.point, '0');
    r += d.digits;
  } else if (d.point >= n) {
    r += d.digits;
    r.append(d.point - n, '0');
  } else {
    r += d.digits.substr(0, d.point);
    r += '.';
    r += d.digits.substr(d.point);
  }
  return r;
}

void resultDecimal(sqlite3_context* ctx, const Decimal& d) {
  if (d.zero()) { sqlite3_result_int64(ctx, 0); return; }
  int n = static_cast<int>(d.digits.size());
  if (d.point >= n && d.point <= 19) {
    // whole numbers that fit 64 bits stay exact, 19 digits included
    uint64_t v = 0;
    for (char c : d.digits) v = v * 10 + static_cast<uint64_t>(c - '0');
    for (int i = n; i < d.point; ++i) v *= 10;
    if (d.point < 19 || v <= (d.neg ? uint64_t{1} << 63 : INT64_MAX)) {
      sqlite3_result_int64(ctx, d.neg ? static_cast<int64_t>(0 - v) : static_cast<int64_t>(v));
      return;
    }
  }
  std::string t = plainText(d);
  Num whole;
  if (n <= 15 || !parseNum(t, whole)) {
    sqlite3_result_double(ctx, cStrtod(t.c_str()));
    return;
  }
  resultNum(ctx, whole); // remembers the digits the double loses
}

} // namespace ora
