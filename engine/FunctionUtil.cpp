// The helpers the files of SQL functions share: argument readers, result writers, decimals,
// UTF-8 characters and the calendar.
#include "FunctionUtil.h"

#include "CType.h"
#include "Number.h"
#include "OraError.h"
#include "OraValues.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sqlite3.h>
#include <vector>

namespace ora::fn {

bool isNull(Val* v) { return sqlite3_value_type(v) == SQLITE_NULL; }

bool anyNull(int argc, Val** argv) {
  for (int i = 0; i < argc; ++i)
    if (isNull(argv[i])) return true;
  return false;
}

// A value as Oracle's implicit conversion to character gives it.
std::string textOf(Val* v) {
  switch (sqlite3_value_type(v)) {
  case SQLITE_NULL: return {};
  case SQLITE_INTEGER:
  case SQLITE_FLOAT: return numberText(v);
  case SQLITE_BLOB:
    return hexText(static_cast<const unsigned char*>(sqlite3_value_blob(v)), sqlite3_value_bytes(v));
  default: {
    auto p = reinterpret_cast<const char*>(sqlite3_value_text(v));
    return std::string(p, static_cast<size_t>(sqlite3_value_bytes(v)));
  }
  }
}

// Oracle's empty string is NULL.
void resultText(Ctx* ctx, const std::string& s) {
  if (s.empty()) sqlite3_result_null(ctx);
  else sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

// ---- numbers ----

Decimal decimalOf(Val* v) {
  Decimal d;
  switch (sqlite3_value_type(v)) {
  case SQLITE_INTEGER: return fromInteger(sqlite3_value_int64(v));
  case SQLITE_FLOAT: {
    double x = sqlite3_value_double(v);
    if (!std::isfinite(x)) throw OraError(1722);
    d = fromDouble(x);
    if (!numberInRange(d)) throw OraError(1426);
    return d;
  }
  case SQLITE_TEXT:
    if (!parseDecimal(reinterpret_cast<const char*>(sqlite3_value_text(v)), d)) throw OraError(1722);
    if (!numberInRange(d)) throw OraError(1426);
    return d;
  default: throw OraError(932, "expected NUMBER");
  }
}

double doubleOf(Val* v) {
  int t = sqlite3_value_type(v);
  if (t == SQLITE_INTEGER || t == SQLITE_FLOAT) return sqlite3_value_double(v);
  return cStrtod(plainText(decimalOf(v)).c_str());
}

int64_t startPosition(int64_t pos, int64_t count) {
  if (pos == 0) pos = 1;
  if (pos < 0) pos = count + pos + 1;
  return pos < 1 || pos > count ? 0 : pos;
}

// Whole part of a numeric argument (positions, lengths, counts), kept in a safe range.
int64_t intOf(Val* v) {
  if (sqlite3_value_type(v) == SQLITE_INTEGER) {
    int64_t x = sqlite3_value_int64(v);
    return std::clamp<int64_t>(x, -1000000000000LL, 1000000000000LL);
  }
  double x = std::trunc(doubleOf(v));
  if (!std::isfinite(x)) throw OraError(1722);
  return static_cast<int64_t>(std::clamp(x, -1e12, 1e12));
}

bool isNumber(Val* v) {
  int t = sqlite3_value_type(v);
  return t == SQLITE_INTEGER || t == SQLITE_FLOAT;
}

// Floating results keep 15 significant digits, so 1.1*1.1 gives 1.21 as Oracle's decimal
// arithmetic does; integral results come out as INTEGER.
void resultDouble(Ctx* ctx, double x) {
  if (!std::isfinite(x)) throw OraError(1426);
  if (x == 0) { sqlite3_result_int64(ctx, 0); return; }
  Decimal d;
  parseDecimal(cFormat(x, 'e', 14), d);
  resultDecimal(ctx, d);
}

void truncTo(Decimal& d, int scale) {
  if (d.zero()) return;
  long keep = static_cast<long>(d.point) + scale;
  if (keep >= static_cast<long>(d.digits.size())) return;
  if (keep <= 0) { d = Decimal(); return; }
  d.digits.resize(static_cast<size_t>(keep));
  normalize(d);
}

bool sameDecimal(const Decimal& a, const Decimal& b) {
  return a.neg == b.neg && a.point == b.point && a.digits == b.digits;
}

// Adds one unit to the magnitude of an integral decimal.
void bumpMagnitude(Decimal& d, bool neg) {
  if (d.zero()) { d.digits = "1"; d.point = 1; d.neg = neg; return; }
  if (static_cast<int>(d.digits.size()) < d.point) d.digits.append(d.point - d.digits.size(), '0');
  long i = static_cast<long>(d.digits.size()) - 1;
  while (i >= 0 && d.digits[i] == '9') d.digits[i--] = '0';
  if (i < 0) { d.digits.insert(d.digits.begin(), '1'); ++d.point; }
  else ++d.digits[i];
  normalize(d);
}

int compareDecimal(const Decimal& a, const Decimal& b) {
  if (a.zero() || b.zero() || a.neg != b.neg) {
    int sa = a.zero() ? 0 : (a.neg ? -1 : 1), sb = b.zero() ? 0 : (b.neg ? -1 : 1);
    return sa < sb ? -1 : sa > sb;
  }
  int mag;
  if (a.point != b.point) {
    mag = a.point < b.point ? -1 : 1;
  } else {
    std::string x = a.digits, y = b.digits;
    size_t n = std::max(x.size(), y.size());
    x.resize(n, '0');
    y.resize(n, '0');
    mag = x < y ? -1 : x > y;
  }
  return a.neg ? -mag : mag;
}

// Integer value * 10^scale of a decimal, when it fits in 64 bits.
bool scaledInt(const Decimal& d, int scale, int64_t& out) {
  if (d.zero()) { out = 0; return true; }
  int len = d.point + scale; // digits left of the scaled point
  if (len > 18 || len < static_cast<int>(d.digits.size())) return false;
  int64_t v = 0;
  for (int i = 0; i < len; ++i) v = v * 10 + (i < static_cast<int>(d.digits.size()) ? d.digits[i] - '0' : 0);
  out = d.neg ? -v : v;
  return true;
}

int fractionDigits(const Decimal& d) {
  return std::max(0, static_cast<int>(d.digits.size()) - d.point);
}

// ---- UTF-8 and characters ----

// Decodes one character at s[i]; a stray byte counts as one character of its own value.
uint32_t nextChar(std::string_view s, size_t& i) {
  unsigned char b = static_cast<unsigned char>(s[i]);
  int n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
  if (n <= 1 || i + n > s.size()) { ++i; return b; }
  uint32_t c = b & (0xFF >> (n + 1));
  for (int k = 1; k < n; ++k) {
    unsigned char x = static_cast<unsigned char>(s[i + k]);
    if ((x & 0xC0) != 0x80) { ++i; return b; }
    c = (c << 6) | (x & 0x3F);
  }
  i += n;
  return c;
}

void appendChar(std::string& out, uint32_t c) {
  if (c < 0x80) out += static_cast<char>(c);
  else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::vector<uint32_t> decode(std::string_view s) {
  std::vector<uint32_t> r;
  r.reserve(s.size());
  for (size_t i = 0; i < s.size();) r.push_back(nextChar(s, i));
  return r;
}

// Byte offsets where each character starts, plus the end.
std::vector<size_t> charStarts(std::string_view s) {
  std::vector<size_t> r;
  r.reserve(s.size() + 1);
  for (size_t i = 0; i < s.size();) {
    r.push_back(i);
    nextChar(s, i);
  }
  r.push_back(s.size());
  return r;
}


uint32_t upperChar(uint32_t c) {
  if (c < 0x80) return c >= 'a' && c <= 'z' ? c - 32 : c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;
  if (c == 0xFF) return 0x178;
  if (c == 0x131) return 'I';
  if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return c & ~1u;
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return c % 2 ? c : c - 1;
  if (c == 0x3C2) return 0x3A3;
  if (c >= 0x3B1 && c <= 0x3C9) return c - 32;
  if (c == 0x3AC) return 0x386;
  if (c >= 0x3AD && c <= 0x3AF) return c - 37;
  if (c == 0x3CC) return 0x38C;
  if (c == 0x3CD || c == 0x3CE) return c - 63;
  if (c >= 0x430 && c <= 0x44F) return c - 32;
  if (c >= 0x450 && c <= 0x45F) return c - 80;
  if (c >= 0xFF41 && c <= 0xFF5A) return c - 32;
  return c;
}

uint32_t lowerChar(uint32_t c) {
  if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + 32 : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
  if (c == 0x178) return 0xFF;
  if (c == 0x130) return 'i';
  if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return c | 1u;
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return c % 2 ? c + 1 : c;
  if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 32;
  if (c == 0x386) return 0x3AC;
  if (c >= 0x388 && c <= 0x38A) return c + 37;
  if (c == 0x38C) return 0x3CC;
  if (c == 0x38E || c == 0x38F) return c + 63;
  if (c >= 0x410 && c <= 0x42F) return c + 32;
  if (c >= 0x400 && c <= 0x40F) return c + 80;
  if (c >= 0xFF21 && c <= 0xFF3A) return c + 32;
  return c;
}

// Letters and digits for INITCAP's word boundaries: everything but spaces, controls and the
// punctuation blocks.
bool isWordChar(uint32_t c) {
  if (c < 0x80) return ora::alnumC(static_cast<int>(c)) != 0;
  if (c < 0xC0) return c == 0xAA || c == 0xB5 || c == 0xBA;
  if (c == 0xD7 || c == 0xF7) return false;
  if (c >= 0x2000 && c <= 0x2BFF) return false;
  if (c >= 0x3000 && c <= 0x303F) return false;
  if ((c >= 0xFF01 && c <= 0xFF0F) || (c >= 0xFF1A && c <= 0xFF20) ||
      (c >= 0xFF3B && c <= 0xFF40) || (c >= 0xFF5B && c <= 0xFF65))
    return false;
  return true;
}

std::string mapChars(std::string_view s, uint32_t (*f)(uint32_t)) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) appendChar(out, f(nextChar(s, i)));
  return out;
}

// ---- dates ----

bool leapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int y, int m) {
  static const int dim[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && leapYear(y) ? 29 : dim[m - 1];
}

// Days since 1970-01-01 in the proleptic Gregorian calendar.
int64_t daysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void civilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

int64_t dayNumber(const DateTime& d) { return daysFromCivil(d.year, d.month, d.day); }

int64_t secondsOf(const DateTime& d) {
  return dayNumber(d) * 86400 + d.hour * 3600 + d.minute * 60 + d.second;
}

DateTime fromSeconds(int64_t s) {
  DateTime d;
  int64_t days = s >= 0 ? s / 86400 : -((-s + 86399) / 86400);
  int64_t rest = s - days * 86400;
  civilFromDays(days, d.year, d.month, d.day);
  d.hour = static_cast<int>(rest / 3600);
  d.minute = static_cast<int>(rest / 60 % 60);
  d.second = static_cast<int>(rest % 60);
  return d;
}

DateTime fromDays(int64_t days) {
  DateTime d;
  civilFromDays(days, d.year, d.month, d.day);
  return d;
}

// 0 = Sunday.
int weekday(const DateTime& d) { return static_cast<int>(((dayNumber(d) + 4) % 7 + 7) % 7); }

int dayOfYear(const DateTime& d) {
  return static_cast<int>(dayNumber(d) - daysFromCivil(d.year, 1, 1)) + 1;
}

// Monday of ISO week 1 of a year.
int64_t isoYearStart(int y) {
  int64_t jan4 = daysFromCivil(y, 1, 4);
  int wd = static_cast<int>(((jan4 + 3) % 7 + 7) % 7); // 0 = Monday
  return jan4 - wd;
}

int isoWeek(const DateTime& d) {
  int64_t n = dayNumber(d);
  int64_t start = isoYearStart(d.year + 1);
  if (n < start) start = isoYearStart(d.year);
  if (n < start) start = isoYearStart(d.year - 1);
  return static_cast<int>((n - start) / 7) + 1;
}

int isoYear(const DateTime& d) {
  int64_t n = dayNumber(d);
  if (n >= isoYearStart(d.year + 1)) return d.year + 1;
  if (n < isoYearStart(d.year)) return d.year - 1;
  return d.year;
}

bool isDate(Val* v, DateTime& out) {
  return sqlite3_value_type(v) == SQLITE_TEXT &&
         parseStoredDate(sqlite3_value_text(v), sqlite3_value_bytes(v), out);
}

// A date argument: the stored form, or text in one of the session's default forms.
DateTime dateOf(Ctx* ctx, Val* v) {
  DateTime d;
  int t = sqlite3_value_type(v);
  if (t != SQLITE_TEXT) throw OraError(932, t == SQLITE_BLOB ? "expected DATE got BINARY" : "expected DATE got NUMBER");
  if (isDate(v, d)) return d;
  auto s = reinterpret_cast<const char*>(sqlite3_value_text(v));
  std::string_view text(s, static_cast<size_t>(sqlite3_value_bytes(v)));
  if (int err = sessionParseDate(sqlite3_context_db_handle(ctx), text, d)) {
    // a TIMESTAMP WITH TIME ZONE: its local date and time
    if (parseTimestampText(sqlite3_context_db_handle(ctx), text, d) != 0) throw OraError(err);
  }
  return d;
}

void resultDate(Ctx* ctx, const DateTime& d) {
  if (d.year < 1 || d.year > 9999) throw OraError(1841);
  std::string s = storedDate(d);
  sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

} // namespace ora::fn
