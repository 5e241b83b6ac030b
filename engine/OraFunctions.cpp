#include "OraFunctions.h"

#include "DisplayWidth.h"
#include "FunctionUtil.h"
#include "OraError.h"
#include "OraValues.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <new>
#include <sqlite3.h>
#include <vector>

namespace ora {

namespace fn {

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
    return fromDouble(x);
  }
  case SQLITE_TEXT:
    if (!parseDecimal(reinterpret_cast<const char*>(sqlite3_value_text(v)), d)) throw OraError(1722);
    return d;
  default: throw OraError(932, "expected NUMBER");
  }
}

double doubleOf(Val* v) {
  int t = sqlite3_value_type(v);
  if (t == SQLITE_INTEGER || t == SQLITE_FLOAT) return sqlite3_value_double(v);
  return std::strtod(plainText(decimalOf(v)).c_str(), nullptr);
}

// Whole part of a numeric argument (positions, lengths, counts), kept in a safe range.
int64_t intOf(Val* v) {
  if (sqlite3_value_type(v) == SQLITE_INTEGER) {
    int64_t x = sqlite3_value_int64(v);
    return std::clamp<int64_t>(x, -1000000000000LL, 1000000000000LL);
  }
  double x = std::trunc(doubleOf(v));
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
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.14e", x);
  Decimal d;
  parseDecimal(buf, d);
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
  if (c < 0x80) return std::isalnum(static_cast<int>(c)) != 0;
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

constexpr int64_t kJulian1970 = 2440588;

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
  if (int err = sessionParseDate(sqlite3_context_db_handle(ctx), text, d)) throw OraError(err);
  return d;
}

void resultDate(Ctx* ctx, const DateTime& d) {
  if (d.year < 1 || d.year > 9999) throw OraError(1841);
  std::string s = storedDate(d);
  sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

const char* const kMonths[] = {"JANUARY", "FEBRUARY", "MARCH",     "APRIL",   "MAY",      "JUNE",
                               "JULY",    "AUGUST",   "SEPTEMBER", "OCTOBER", "NOVEMBER", "DECEMBER"};
const char* const kDays[] = {"SUNDAY", "MONDAY", "TUESDAY", "WEDNESDAY", "THURSDAY", "FRIDAY", "SATURDAY"};
const char* const kMonthsJa[] = {"1月", "2月", "3月", "4月",  "5月",  "6月",
                                 "7月", "8月", "9月", "10月", "11月", "12月"};
const char* const kDaysJa[] = {"日曜日", "月曜日", "火曜日", "水曜日", "木曜日", "金曜日", "土曜日"};
const char* const kDaysShortJa[] = {"日", "月", "火", "水", "木", "金", "土"};
const char* const kRoman[] = {"I", "II", "III", "IV", "V", "VI", "VII", "VIII", "IX", "X", "XI", "XII"};

bool startsNoCase(std::string_view s, size_t at, std::string_view word) {
  if (s.size() - at < word.size()) return false;
  for (size_t k = 0; k < word.size(); ++k)
    if (std::toupper(static_cast<unsigned char>(s[at + k])) != static_cast<unsigned char>(word[k]))
      return false;
  return true;
}

// Two-digit years near the current one.
int rrYear(int yy) {
  int cur = nowLocal().year, c = cur / 100;
  if (cur % 100 < 50 && yy >= 50) --c;
  else if (cur % 100 >= 50 && yy < 50) ++c;
  return c * 100 + yy;
}

// ---- date format models ----

enum class Fe {
  Lit, Fm, Fx, Yyyy, Syyyy, YComma, Yyy, Yy, Y, Iyyy, Iyy, Iy, I, Rrrr, Rr, Year, Syear, Mm, Rm, Mon,
  Month, Dd, Ddd, D, Dy, Day, Hh, Hh24, Mi, Ss, Sssss, Am, AmDots, Ad, AdDots, J, Q, Ww, W, Iw, Cc, Scc
};

struct FmtElem {
  Fe kind;
  std::string lit;
  int caseMode = 0;   // 0 upper, 1 initial capital, 2 lower
  bool spell = false; // SP: the number in words
  int th = -1;        // TH: an ordinal, its suffix in this case mode; -1 without
};

bool numericElem(Fe k) {
  switch (k) {
  case Fe::Lit: case Fe::Fm: case Fe::Fx: case Fe::Year: case Fe::Syear: case Fe::Rm: case Fe::Mon:
  case Fe::Month: case Fe::Dy: case Fe::Day: case Fe::Am: case Fe::AmDots: case Fe::Ad: case Fe::AdDots:
    return false;
  default:
    return true;
  }
}

int caseModeAt(std::string_view f, size_t i, size_t len) {
  bool firstLower = std::islower(static_cast<unsigned char>(f[i])) != 0;
  bool secondLower = len > 1 && std::islower(static_cast<unsigned char>(f[i + 1])) != 0;
  return firstLower ? 2 : secondLower ? 1 : 0;
}

std::vector<FmtElem> parseDateFormat(std::string_view f) {
  static const std::pair<const char*, Fe> words[] = {
      {"SSSSS", Fe::Sssss}, {"SYYYY", Fe::Syyyy}, {"SYEAR", Fe::Syear}, {"SCC", Fe::Scc},
      {"Y,YYY", Fe::YComma}, {"IYYY", Fe::Iyyy},  {"IYY", Fe::Iyy},     {"IY", Fe::Iy},
      {"A.D.", Fe::AdDots}, {"B.C.", Fe::AdDots}, {"AD", Fe::Ad},       {"BC", Fe::Ad},
      {"MONTH", Fe::Month}, {"YYYY", Fe::Yyyy}, {"RRRR", Fe::Rrrr},
      {"YEAR", Fe::Year},   {"A.M.", Fe::AmDots}, {"P.M.", Fe::AmDots}, {"HH24", Fe::Hh24},
      {"HH12", Fe::Hh},     {"YYY", Fe::Yyy},     {"MON", Fe::Mon},     {"DDD", Fe::Ddd},
      {"DAY", Fe::Day},     {"AM", Fe::Am},       {"PM", Fe::Am},       {"YY", Fe::Yy},
      {"RR", Fe::Rr},       {"RM", Fe::Rm},       {"MM", Fe::Mm},       {"DD", Fe::Dd},
      {"DY", Fe::Dy},       {"HH", Fe::Hh},       {"MI", Fe::Mi},       {"SS", Fe::Ss},
      {"FM", Fe::Fm},       {"FX", Fe::Fx},       {"CC", Fe::Cc},       {"WW", Fe::Ww},
      {"IW", Fe::Iw},       {"Y", Fe::Y},         {"D", Fe::D},         {"J", Fe::J},
      {"Q", Fe::Q},         {"W", Fe::W},         {"I", Fe::I}};
  std::vector<FmtElem> out;
  for (size_t i = 0; i < f.size();) {
    char c = f[i];
    if (c == '"') {
      size_t e = f.find('"', i + 1);
      if (e == std::string_view::npos) throw OraError(1821);
      out.push_back({Fe::Lit, std::string(f.substr(i + 1, e - i - 1))});
      i = e + 1;
      continue;
    }
    if (std::strchr(" -/,.;:", c)) {
      out.push_back({Fe::Lit, std::string(1, c)});
      ++i;
      continue;
    }
    bool found = false;
    for (auto& [w, kind] : words) {
      if (!startsNoCase(f, i, w)) continue;
      FmtElem e{kind, {}};
      e.caseMode = caseModeAt(f, i, std::strlen(w));
      i += std::strlen(w);
      // SP, TH, SPTH and THSP after a number
      if (numericElem(kind)) {
        for (int k = 0; k < 2; ++k) {
          if (!e.spell && startsNoCase(f, i, "SP")) {
            e.spell = true;
            i += 2;
          } else if (e.th < 0 && startsNoCase(f, i, "TH")) {
            e.th = e.spell ? e.caseMode : caseModeAt(f, i, 2);
            i += 2;
          }
        }
      }
      out.push_back(e);
      found = true;
      break;
    }
    if (!found) throw OraError(1821);
  }
  return out;
}

std::string caseAs(std::string word, int mode) {
  bool start = true;
  for (auto& ch : word) {
    auto u = static_cast<unsigned char>(ch);
    bool up = mode == 0 || (mode == 1 && start);
    ch = static_cast<char>(up ? std::toupper(u) : std::tolower(u));
    start = !std::isalpha(u);
  }
  return word;
}

// A number in English words, as SP spells it.
std::string spellNumber(int64_t n) {
  static const char* const small[] = {"ZERO",    "ONE",     "TWO",       "THREE",    "FOUR",
                                      "FIVE",    "SIX",     "SEVEN",     "EIGHT",    "NINE",
                                      "TEN",     "ELEVEN",  "TWELVE",    "THIRTEEN", "FOURTEEN",
                                      "FIFTEEN", "SIXTEEN", "SEVENTEEN", "EIGHTEEN", "NINETEEN"};
  static const char* const tens[] = {"", "", "TWENTY", "THIRTY", "FORTY", "FIFTY", "SIXTY", "SEVENTY",
                                     "EIGHTY", "NINETY"};
  if (n < 0) return "MINUS " + spellNumber(-n);
  if (n < 20) return small[n];
  if (n < 100) return std::string(tens[n / 10]) + (n % 10 ? std::string("-") + small[n % 10] : "");
  if (n < 1000)
    return std::string(small[n / 100]) + " HUNDRED" + (n % 100 ? " " + spellNumber(n % 100) : "");
  static const std::pair<int64_t, const char*> big[] = {{1000000000, " BILLION"}, {1000000, " MILLION"},
                                                        {1000, " THOUSAND"}};
  for (auto [unit, name] : big)
    if (n >= unit) return spellNumber(n / unit) + name + (n % unit ? " " + spellNumber(n % unit) : "");
  return small[0];
}

// The ordinal of words SP gave: ONE -> FIRST, TWENTY -> TWENTIETH.
std::string spelledOrdinal(std::string w) {
  static const std::pair<const char*, const char*> irregular[] = {
      {"ONE", "FIRST"}, {"TWO", "SECOND"}, {"THREE", "THIRD"}, {"FIVE", "FIFTH"},
      {"EIGHT", "EIGHTH"}, {"NINE", "NINTH"}, {"TWELVE", "TWELFTH"}};
  size_t cut = w.find_last_of(" -") + 1;
  std::string last = w.substr(cut);
  for (auto [a, b] : irregular)
    if (last == a) return w.substr(0, cut) + b;
  if (!last.empty() && last.back() == 'Y') return w.substr(0, w.size() - 1) + "IETH";
  return w + "TH";
}

std::string ordinalSuffix(int64_t n) {
  int64_t t = n % 100;
  if (t >= 11 && t <= 13) return "TH";
  switch (n % 10) {
  case 1: return "ST";
  case 2: return "ND";
  case 3: return "RD";
  default: return "TH";
  }
}

// Display columns of UTF-8 text: a name pads to the widest name of its kind.
int columns(std::string_view s) {
  int w = 0;
  for (size_t i = 0; i < s.size();) w += IsWideCodePoint(nextChar(s, i)) ? 2 : 1;
  return w;
}

std::string formatDate(const DateTime& d, const std::vector<FmtElem>& fmt, int lang) {
  std::string out;
  bool fm = false;
  bool ja = lang == kJapanese;
  auto num = [&](const FmtElem& e, int64_t v, int width) {
    if (e.spell) {
      std::string w = spellNumber(v);
      if (e.th >= 0) w = spelledOrdinal(w);
      out += caseAs(w, e.caseMode);
      return;
    }
    std::string s = std::to_string(v);
    if (!fm && static_cast<int>(s.size()) < width) s.insert(0, width - s.size(), '0');
    out += s;
    if (e.th >= 0) out += caseAs(ordinalSuffix(v), e.th);
  };
  auto word = [&](const std::string& w, int mode, int pad) {
    std::string s = caseAs(w, mode);
    int n = columns(s);
    if (!fm && n < pad) s.append(pad - n, ' ');
    out += s;
  };
  for (auto& e : fmt) {
    switch (e.kind) {
    case Fe::Lit: out += e.lit; break;
    case Fe::Fm: fm = !fm; break;
    case Fe::Fx: break;
    case Fe::Yyyy: case Fe::Rrrr: num(e, d.year, 4); break;
    case Fe::Syyyy:
      if (!fm) out += ' '; // the sign of a year AD
      num(e, d.year, 4);
      break;
    case Fe::YComma:
      if (e.spell || d.year < 1000) num(e, d.year, 1);
      else {
        out += std::to_string(d.year / 1000) + ",";
        FmtElem rest = e;
        num(rest, d.year % 1000, 3);
      }
      break;
    case Fe::Iyyy: num(e, isoYear(d), 4); break;
    case Fe::Iyy: num(e, isoYear(d) % 1000, 3); break;
    case Fe::Iy: num(e, isoYear(d) % 100, 2); break;
    case Fe::I: num(e, isoYear(d) % 10, 1); break;
    case Fe::Scc:
      if (!fm) out += ' ';
      num(e, (d.year + 99) / 100, 2);
      break;
    case Fe::Ad: word("AD", e.caseMode, 2); break;
    case Fe::AdDots: word("A.D.", e.caseMode, 4); break;
    case Fe::Yyy: num(e, d.year % 1000, 3); break;
    case Fe::Yy: case Fe::Rr: num(e, d.year % 100, 2); break;
    case Fe::Y: num(e, d.year % 10, 1); break;
    case Fe::Syear:
      if (!fm) out += ' ';
      [[fallthrough]];
    case Fe::Year: {
      // spelled by centuries, NINETEEN EIGHTY-ONE, but TWO THOUSAND FIVE
      int hi = d.year / 100, lo = d.year % 100;
      std::string w;
      if (hi % 10 == 0 && lo < 10) w = spellNumber(d.year);
      else w = (hi ? spellNumber(hi) + (lo ? " " : " HUNDRED") : std::string()) + (lo ? spellNumber(lo) : "");
      out += caseAs(w, e.caseMode);
      break;
    }
    case Fe::Mm: num(e, d.month, 2); break;
    case Fe::Rm: word(kRoman[d.month - 1], e.caseMode, 4); break;
    case Fe::Mon:
      if (ja) word(kMonthsJa[d.month - 1], 0, 0);
      else word(std::string(kMonths[d.month - 1]).substr(0, 3), e.caseMode, 3);
      break;
    case Fe::Month:
      if (ja) word(kMonthsJa[d.month - 1], 0, 4);
      else word(kMonths[d.month - 1], e.caseMode, 9);
      break;
    case Fe::Dd: num(e, d.day, 2); break;
    case Fe::Ddd: num(e, dayOfYear(d), 3); break;
    case Fe::D: num(e, weekday(d) + 1, 1); break;
    case Fe::Dy:
      if (ja) word(kDaysShortJa[weekday(d)], 0, 0);
      else word(std::string(kDays[weekday(d)]).substr(0, 3), e.caseMode, 3);
      break;
    case Fe::Day:
      if (ja) word(kDaysJa[weekday(d)], 0, 0);
      else word(kDays[weekday(d)], e.caseMode, 9);
      break;
    case Fe::Hh: num(e, d.hour % 12 == 0 ? 12 : d.hour % 12, 2); break;
    case Fe::Hh24: num(e, d.hour, 2); break;
    case Fe::Mi: num(e, d.minute, 2); break;
    case Fe::Ss: num(e, d.second, 2); break;
    case Fe::Sssss: num(e, d.hour * 3600 + d.minute * 60 + d.second, 5); break;
    case Fe::Am:
      if (ja) word(d.hour < 12 ? "午前" : "午後", 0, 0);
      else word(d.hour < 12 ? "AM" : "PM", e.caseMode, 2);
      break;
    case Fe::AmDots:
      if (ja) word(d.hour < 12 ? "午前" : "午後", 0, 0);
      else word(d.hour < 12 ? "A.M." : "P.M.", e.caseMode, 4);
      break;
    case Fe::J: num(e, dayNumber(d) + kJulian1970, 7); break;
    case Fe::Q: num(e, (d.month - 1) / 3 + 1, 1); break;
    case Fe::Ww: num(e, (dayOfYear(d) - 1) / 7 + 1, 2); break;
    case Fe::W: num(e, (d.day - 1) / 7 + 1, 1); break;
    case Fe::Iw: num(e, isoWeek(d), 2); break;
    case Fe::Cc: num(e, (d.year + 99) / 100, 2); break;
    }
  }
  return out;
}

bool isPunct(char c) { return !std::isalnum(static_cast<unsigned char>(c)) && !(static_cast<unsigned char>(c) & 0x80); }

// Reads text into a date by a format model; elements the text does not reach keep their
// defaults (first day of the current month, midnight), as Oracle does.
DateTime parseByFormat(std::string_view s, const std::vector<FmtElem>& fmt, int lang) {
  DateTime now = nowLocal();
  int year = now.year, month = now.month, day = 1, hour = 0, minute = 0, second = 0;
  int hour12 = -1, meridian = -1, doy = -1;
  int64_t julian = -1, sssss = -1;
  size_t i = 0, n = s.size();
  bool ja = lang == kJapanese;
  auto skipSpaces = [&] { while (i < n && s[i] == ' ') ++i; };
  auto readNum = [&](int maxDigits) {
    skipSpaces();
    int64_t v = 0;
    int k = 0;
    while (i < n && k < maxDigits && std::isdigit(static_cast<unsigned char>(s[i]))) {
      v = v * 10 + (s[i++] - '0');
      ++k;
    }
    if (k == 0) throw OraError(1858);
    return v;
  };
  auto readName = [&](const char* const* names, int count, bool allowShort) {
    skipSpaces();
    // the longest name that matches, so 12月 is not read as 1
    int best = -1;
    size_t bestLen = 0;
    for (int k = 0; k < count; ++k)
      if (startsNoCase(s, i, names[k]) && std::strlen(names[k]) > bestLen) {
        best = k;
        bestLen = std::strlen(names[k]);
      }
    if (best >= 0) { i += bestLen; return best; }
    if (allowShort)
      for (int k = 0; k < count; ++k)
        if (startsNoCase(s, i, std::string(names[k]).substr(0, 3))) { i += 3; return k; }
    return -1;
  };
  auto readMonth = [&] {
    int m = ja ? readName(kMonthsJa, 12, false) : readName(kMonths, 12, true);
    if (m < 0) throw OraError(1843);
    return m + 1;
  };
  for (auto& e : fmt) {
    if (e.spell || e.th >= 0) throw OraError(1820);
    if (i >= n) break;
    switch (e.kind) {
    case Fe::Lit: {
      bool punct = std::all_of(e.lit.begin(), e.lit.end(), isPunct);
      if (punct) {
        // Any punctuation in the text stands for any in the model.
        for (size_t k = 0; k < e.lit.size() && i < n && isPunct(s[i]); ++k) ++i;
      } else {
        std::string up = caseAs(e.lit, 0);
        if (!startsNoCase(s, i, up)) throw OraError(1861);
        i += up.size();
      }
      break;
    }
    case Fe::Fm: case Fe::Fx: break;
    case Fe::Yyyy: case Fe::Rrrr: {
      skipSpaces();
      size_t at = i;
      int y = static_cast<int>(readNum(4));
      if (e.kind == Fe::Rrrr && i - at <= 2) y = rrYear(y);
      year = y;
      break;
    }
    case Fe::Syyyy: {
      skipSpaces();
      bool minus = i < n && s[i] == '-';
      if (i < n && (s[i] == '-' || s[i] == '+')) ++i;
      year = static_cast<int>(readNum(4));
      if (minus) throw OraError(1841); // a DATE here holds years AD only
      break;
    }
    case Fe::YComma: {
      int hi = static_cast<int>(readNum(1));
      if (i < n && s[i] == ',') ++i;
      year = hi * 1000 + static_cast<int>(readNum(3));
      break;
    }
    case Fe::Ad: case Fe::AdDots: {
      static const char* const eras[] = {"A.D.", "B.C.", "AD", "BC"};
      int k = readName(eras, 4, false);
      if (k < 0) throw OraError(1856);
      if (k % 2) throw OraError(1841);
      break;
    }
    case Fe::Yyy: year = now.year / 1000 * 1000 + static_cast<int>(readNum(3)); break;
    case Fe::Yy: year = now.year / 100 * 100 + static_cast<int>(readNum(2)); break;
    case Fe::Y: year = now.year / 10 * 10 + static_cast<int>(readNum(1)); break;
    case Fe::Rr: {
      skipSpaces();
      size_t at = i;
      int y = static_cast<int>(readNum(4));
      year = i - at <= 2 ? rrYear(y) : y;
      break;
    }
    case Fe::Mm:
      skipSpaces();
      if (i < n && !std::isdigit(static_cast<unsigned char>(s[i]))) month = readMonth();
      else month = static_cast<int>(readNum(2));
      if (month < 1 || month > 12) throw OraError(1843);
      break;
    case Fe::Mon: case Fe::Month: month = readMonth(); break;
    case Fe::Rm: {
      skipSpaces();
      int best = -1;
      size_t len = 0;
      for (int k = 0; k < 12; ++k)
        if (startsNoCase(s, i, kRoman[k]) && std::strlen(kRoman[k]) > len) { best = k; len = std::strlen(kRoman[k]); }
      if (best < 0) throw OraError(1843);
      i += len;
      month = best + 1;
      break;
    }
    // each field is checked as it is read, so the first bad one is the one reported
    case Fe::Dd:
      day = static_cast<int>(readNum(2));
      if (day < 1 || day > 31) throw OraError(1847);
      break;
    case Fe::Ddd:
      doy = static_cast<int>(readNum(3));
      if (doy < 1 || doy > 366) throw OraError(1848);
      break;
    case Fe::D: if (int v = static_cast<int>(readNum(1)); v < 1 || v > 7) throw OraError(1846); break;
    case Fe::Dy: case Fe::Day: {
      int k = ja ? readName(kDaysJa, 7, false) : readName(kDays, 7, true);
      if (k < 0 && ja) k = readName(kDaysShortJa, 7, false);
      if (k < 0) throw OraError(1846);
      break;
    }
    case Fe::Hh:
      hour12 = static_cast<int>(readNum(2));
      if (hour12 < 1 || hour12 > 12) throw OraError(1849);
      break;
    case Fe::Hh24:
      hour = static_cast<int>(readNum(2));
      if (hour > 23) throw OraError(1850);
      break;
    case Fe::Mi:
      minute = static_cast<int>(readNum(2));
      if (minute > 59) throw OraError(1851);
      break;
    case Fe::Ss:
      second = static_cast<int>(readNum(2));
      if (second > 59) throw OraError(1852);
      break;
    case Fe::Sssss: sssss = readNum(5); break;
    case Fe::Am: case Fe::AmDots: {
      static const char* const marks[] = {"A.M.", "P.M.", "AM", "PM", "午前", "午後"};
      int k = readName(marks, 6, false);
      if (k < 0) throw OraError(1855);
      meridian = k % 2;
      break;
    }
    case Fe::J: julian = readNum(7); break;
    default: throw OraError(1820);
    }
  }
  skipSpaces();
  if (i < n) throw OraError(1830);

  if (julian >= 0) {
    if (julian < 1 || julian > 5373484) throw OraError(1854);
    DateTime d = fromDays(julian - kJulian1970);
    year = d.year; month = d.month; day = d.day;
  }
  if (year == 0 || year > 9999) throw OraError(1841);
  if (doy >= 0) {
    if (doy < 1 || doy > (leapYear(year) ? 366 : 365)) throw OraError(1848);
    DateTime d = fromDays(daysFromCivil(year, 1, 1) + doy - 1);
    month = d.month; day = d.day;
  }
  if (month < 1 || month > 12) throw OraError(1843);
  if (day < 1 || day > 31) throw OraError(1847);
  if (day > daysInMonth(year, month)) throw OraError(1839);
  if (hour12 >= 0) {
    if (hour12 < 1 || hour12 > 12) throw OraError(1849);
    hour = hour12 % 12 + (meridian == 1 ? 12 : 0);
  } else if (meridian == 1 && hour < 12) {
    hour += 12;
  }
  if (sssss >= 0) {
    if (sssss > 86399) throw OraError(1853);
    hour = static_cast<int>(sssss / 3600);
    minute = static_cast<int>(sssss / 60 % 60);
    second = static_cast<int>(sssss % 60);
  }
  if (hour > 23) throw OraError(1850);
  if (minute > 59) throw OraError(1851);
  if (second > 59) throw OraError(1852);
  DateTime d;
  d.year = year; d.month = month; d.day = day;
  d.hour = hour; d.minute = minute; d.second = second;
  return d;
}

// ---- number format models ----

struct NumFmt {
  bool fm = false, signLead = false, signTrail = false, mi = false, pr = false, dollar = false, point = false;
  bool blank = false; // B: blanks for a zero integer part
  bool sci = false;   // EEEE
  int roman = 0;      // RN: 1, rn: 2
  int shift = 0;      // V: digits after it, the power of ten the value is multiplied by
  std::string currency; // L or C: the currency text, before the digits or after them
  bool currencyTrail = false;
  std::string intPat; // '9', '0' and ',' left of the decimal point
  int nInt = 0, firstZero = -1, nFrac = 0;
  std::string fracPat;
};

// The currencies of the session's territory, JAPAN.
constexpr const char* kLocalCurrency = "￥";
constexpr const char* kIsoCurrency = "JPY";

NumFmt parseNumberFormat(std::string_view f) {
  NumFmt m;
  size_t i = 0, n = f.size();
  auto up = [&](size_t k) { return k < n ? static_cast<char>(std::toupper(static_cast<unsigned char>(f[k]))) : '\0'; };
  if (up(0) == 'F' && up(1) == 'M') { m.fm = true; i = 2; }
  if (up(i) == 'R' && up(i + 1) == 'N' && i + 2 == n) {
    m.roman = f[i] == 'r' ? 2 : 1;
    return m;
  }
  // leading S, $, B, L and C, each once
  for (bool more = true; more && i < n;) {
    char c = up(i);
    more = false;
    if (c == 'S' && !m.signLead) m.signLead = more = true;
    else if (c == '$' && !m.dollar) m.dollar = more = true;
    else if (c == 'B' && !m.blank) m.blank = more = true;
    else if ((c == 'L' || c == 'C') && m.currency.empty()) {
      m.currency = c == 'L' ? kLocalCurrency : kIsoCurrency;
      more = true;
    }
    if (more) ++i;
  }
  bool v = false;
  for (; i < n; ++i) {
    char c = up(i);
    if (c == '9' || c == '0') {
      if (v) { m.intPat += c; ++m.nInt; ++m.shift; }
      else if (m.point) { m.fracPat += c; ++m.nFrac; }
      else {
        if (c == '0' && m.firstZero < 0) m.firstZero = m.nInt;
        m.intPat += c;
        ++m.nInt;
      }
    } else if ((c == ',' || c == 'G') && !m.point && !v && m.nInt > 0) {
      m.intPat += ',';
    } else if ((c == '.' || c == 'D') && !m.point && !v) {
      m.point = true;
    } else if (c == 'V' && !v && !m.point) {
      v = true;
    } else {
      break;
    }
  }
  if (up(i) == 'E' && up(i + 1) == 'E' && up(i + 2) == 'E' && up(i + 3) == 'E' && !v) {
    m.sci = true;
    i += 4;
  }
  if ((up(i) == 'L' || up(i) == 'C') && m.currency.empty()) {
    m.currency = up(i) == 'L' ? kLocalCurrency : kIsoCurrency;
    m.currencyTrail = true;
    ++i;
  }
  if (i < n) {
    if (up(i) == 'S' && !m.signLead && i + 1 == n) m.signTrail = true;
    else if (up(i) == 'M' && up(i + 1) == 'I' && !m.signLead && i + 2 == n) m.mi = true;
    else if (up(i) == 'P' && up(i + 1) == 'R' && !m.signLead && i + 2 == n) m.pr = true;
    else throw OraError(1481);
  }
  if (m.nInt == 0 && m.nFrac == 0) throw OraError(1481);
  if (m.sci && (m.intPat.find(',') != std::string::npos || m.nInt == 0)) throw OraError(1481);
  return m;
}

std::string romanNumeral(int v) {
  static const std::pair<int, const char*> parts[] = {{1000, "M"}, {900, "CM"}, {500, "D"}, {400, "CD"},
                                                      {100, "C"},  {90, "XC"},  {50, "L"},  {40, "XL"},
                                                      {10, "X"},   {9, "IX"},   {5, "V"},   {4, "IV"},
                                                      {1, "I"}};
  std::string out;
  for (auto [n, s] : parts)
    for (; v >= n; v -= n) out += s;
  return out;
}

std::string formatNumber(Decimal d, const NumFmt& m) {
  if (m.roman) {
    // whole numbers 1 to 3999, right-aligned in 15 places
    roundTo(d, 0);
    int64_t v = 0;
    if (d.neg || d.zero() || d.point > 4 || !scaledInt(d, 0, v) || v > 3999) return std::string(15, '#');
    std::string r = romanNumeral(static_cast<int>(v));
    if (m.roman == 2) r = caseAs(r, 2);
    return m.fm ? r : std::string(15 - r.size(), ' ') + r;
  }
  std::string exponent;
  if (m.sci && !d.zero()) {
    // a mantissa of one integer digit, the exponent in at least two digits
    int e = d.point - 1;
    d.point = 1;
    roundTo(d, m.nFrac);
    if (d.point > 1) { --d.point; ++e; }
    char buf[16];
    std::snprintf(buf, sizeof buf, "E%c%02d", e < 0 ? '-' : '+', std::abs(e));
    exponent = buf;
  } else if (m.sci) {
    exponent = "E+00";
  }
  if (m.shift && !d.zero()) d.point += m.shift;
  roundTo(d, m.nFrac);
  int width = static_cast<int>(m.intPat.size()) + (m.point ? 1 : 0) + m.nFrac + (m.dollar ? 1 : 0) + 1 +
              static_cast<int>(exponent.size()) + (m.pr ? 1 : 0);
  if (m.blank && d.zero()) return m.fm ? std::string() : std::string(width, ' ');
  // Integer and fraction digit strings.
  std::string intDigits, fracDigits;
  if (!d.zero()) {
    for (int k = 0; k < d.point; ++k)
      intDigits += k < static_cast<int>(d.digits.size()) ? d.digits[k] : '0';
    for (int k = 0; k < m.nFrac; ++k) {
      int idx = d.point + k;
      fracDigits += idx >= 0 && idx < static_cast<int>(d.digits.size()) ? d.digits[idx] : '0';
    }
  } else {
    fracDigits.assign(m.nFrac, '0');
  }
  if (static_cast<int>(intDigits.size()) > m.nInt) return std::string(width, '#');
  // Zero with no fraction slots still shows one digit.
  if (intDigits.empty() && (m.nFrac == 0 || m.sci)) intDigits = "0";
  if (static_cast<int>(intDigits.size()) > m.nInt) return std::string(width, '#');

  std::string body;
  int slot = 0;
  int firstDigit = m.nInt - static_cast<int>(intDigits.size());
  bool printed = false;
  for (char p : m.intPat) {
    if (p == ',') { body += printed ? ',' : ' '; continue; }
    if (slot >= firstDigit) { body += intDigits[slot - firstDigit]; printed = true; }
    else if (m.firstZero >= 0 && slot >= m.firstZero && !m.blank) { body += '0'; printed = true; }
    else body += ' ';
    ++slot;
  }
  if (m.point) {
    std::string frac = fracDigits;
    if (m.fm && !m.sci) {
      // FM drops trailing zeros that sit in '9' positions.
      size_t k = frac.size();
      while (k > 0 && frac[k - 1] == '0' && m.fracPat[k - 1] == '9') --k;
      frac.resize(k);
    }
    body += '.';
    body += frac;
  }
  body += exponent;
  size_t lead = body.find_first_not_of(' ');
  if (lead == std::string::npos) lead = body.size();
  std::string prefix;
  if (m.signLead) prefix = d.neg ? "-" : "+";
  else if (m.pr) prefix = d.neg ? "<" : " ";
  else if (!m.signTrail && !m.mi) prefix = d.neg ? "-" : " ";
  if (m.dollar) prefix += '$';
  if (!m.currencyTrail) prefix += m.currency;
  body.insert(lead, prefix);
  if (m.currencyTrail) body += m.currency;
  if (m.signTrail) body += d.neg ? '-' : '+';
  if (m.mi) body += d.neg ? '-' : ' ';
  if (m.pr) body += d.neg ? '>' : ' ';
  if (m.fm) {
    size_t b = body.find_first_not_of(' ');
    size_t e = body.find_last_not_of(' ');
    body = b == std::string::npos ? std::string() : body.substr(b, e - b + 1);
  }
  return body;
}

// Text to number by a format model: group separators, currency and sign positions are
// taken out, and the digits must fit the model.
Decimal parseByNumberFormat(std::string_view s, const NumFmt& m) {
  if (m.roman) throw OraError(1481);
  std::string t;
  bool neg = false;
  size_t b = 0, e = s.size();
  while (b < e && s[b] == ' ') ++b;
  while (e > b && s[e - 1] == ' ') --e;
  std::string_view v = s.substr(b, e - b);
  if (m.pr && v.size() >= 2 && v.front() == '<' && v.back() == '>') {
    neg = true;
    v = v.substr(1, v.size() - 2);
  } else if (m.mi || m.signTrail) {
    if (!v.empty() && (v.back() == '-' || v.back() == '+')) {
      neg = v.back() == '-';
      v.remove_suffix(1);
    }
  } else if (!v.empty() && (v.front() == '-' || v.front() == '+')) {
    neg = v.front() == '-';
    v.remove_prefix(1);
  }
  if (m.dollar) {
    if (v.empty() || v.front() != '$') throw OraError(1722);
    v.remove_prefix(1);
  }
  if (!m.currency.empty()) {
    if (!m.currencyTrail && v.substr(0, m.currency.size()) == m.currency) v.remove_prefix(m.currency.size());
    else if (m.currencyTrail && v.size() >= m.currency.size() && v.substr(v.size() - m.currency.size()) == m.currency)
      v.remove_suffix(m.currency.size());
    else throw OraError(1722);
  }
  if (m.sci) {
    Decimal d;
    if (!parseDecimal(v, d)) throw OraError(1722);
    if (!d.zero()) d.neg = neg != d.neg;
    return d;
  }
  int intDigits = 0, fracDigits = 0;
  bool point = false;
  for (char c : v) {
    if (c == ',' && !point && m.intPat.find(',') != std::string::npos) continue;
    if (c == '.' && !point && m.point) { point = true; t += c; continue; }
    if (!std::isdigit(static_cast<unsigned char>(c))) throw OraError(1722);
    (point ? fracDigits : intDigits)++;
    t += c;
  }
  if (intDigits > m.nInt || fracDigits > m.nFrac || intDigits + fracDigits == 0) throw OraError(1722);
  Decimal d;
  if (!parseDecimal(t, d)) throw OraError(1722);
  if (!d.zero()) {
    d.neg = neg;
    d.point -= m.shift;
  }
  return d;
}

// ---- general ----

// v as the kind of `model`: text becomes a number when the model is one.
void resultLike(Ctx* ctx, Val* model, Val* v) {
  if (isNumber(model) && sqlite3_value_type(v) == SQLITE_TEXT) resultDecimal(ctx, decimalOf(v));
  else sqlite3_result_value(ctx, v);
}

void fnNvl(Ctx* ctx, int, Val** argv) {
  sqlite3_result_value(ctx, isNull(argv[0]) ? argv[1] : argv[0]);
}

void fnNvl2(Ctx* ctx, int, Val** argv) {
  if (!isNull(argv[0])) sqlite3_result_value(ctx, argv[1]);
  else resultLike(ctx, argv[1], argv[2]);
}

// Search values compare as the first one's kind: numbers as numbers, else as text.
void fnDecode(Ctx* ctx, int argc, Val** argv) {
  Val* e = argv[0];
  bool numeric = isNumber(argv[1]);
  int last = argc - 1 - (argc - 1) % 2; // index past the last search/result pair
  for (int k = 1; k + 1 <= last; k += 2) {
    Val* s = argv[k];
    bool match;
    if (isNull(e) || isNull(s)) match = isNull(e) && isNull(s);
    else if (numeric) match = compareDecimal(decimalOf(e), decimalOf(s)) == 0;
    else match = textOf(e) == textOf(s);
    if (match) { resultLike(ctx, argv[2], argv[k + 1]); return; }
  }
  if ((argc - 1) % 2) resultLike(ctx, argv[2], argv[argc - 1]);
  else sqlite3_result_null(ctx);
}

// GREATEST and LEAST compare as the first argument's kind: number, date or text.
void extreme(Ctx* ctx, int argc, Val** argv, bool greatest) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  auto better = [&](int c) { return greatest ? c > 0 : c < 0; };
  DateTime d0;
  if (isNumber(argv[0])) {
    Decimal best = decimalOf(argv[0]);
    for (int i = 1; i < argc; ++i) {
      Decimal x = decimalOf(argv[i]);
      if (better(compareDecimal(x, best))) best = x;
    }
    resultDecimal(ctx, best);
  } else if (isDate(argv[0], d0)) {
    DateTime best = d0;
    for (int i = 1; i < argc; ++i) {
      DateTime x = dateOf(ctx, argv[i]);
      int64_t a = secondsOf(x), b = secondsOf(best);
      if (better(a < b ? -1 : a > b)) best = x;
    }
    resultDate(ctx, best);
  } else {
    std::string best = textOf(argv[0]);
    for (int i = 1; i < argc; ++i) {
      std::string x = textOf(argv[i]);
      if (better(x.compare(best))) best = std::move(x);
    }
    resultText(ctx, best);
  }
}

void fnGreatest(Ctx* ctx, int argc, Val** argv) { extreme(ctx, argc, argv, true); }
void fnLeast(Ctx* ctx, int argc, Val** argv) { extreme(ctx, argc, argv, false); }

// ---- conversion ----

void fnToChar(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  Val* v = argv[0];
  DateTime d;
  bool date = isDate(v, d);
  sqlite3* db = sqlite3_context_db_handle(ctx);
  if (argc == 1) {
    resultText(ctx, date ? sessionDateText(db, d) : textOf(v));
    return;
  }
  std::string fmt = textOf(argv[1]);
  int lang = argc > 2 ? dateLanguageParam(textOf(argv[2]), sessionNls(db).dateLanguage) : sessionNls(db).dateLanguage;
  if (date) resultText(ctx, formatDate(d, parseDateFormat(fmt), lang));
  else resultText(ctx, formatNumber(decimalOf(v), parseNumberFormat(fmt)));
}

void fnToDate(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  DateTime d;
  if (isDate(argv[0], d)) { sqlite3_result_value(ctx, argv[0]); return; }
  std::string s = textOf(argv[0]);
  sqlite3* db = sqlite3_context_db_handle(ctx);
  if (argc == 1) {
    if (int err = sessionParseDate(db, s, d)) throw OraError(err);
  } else {
    int lang = argc > 2 ? dateLanguageParam(textOf(argv[2]), sessionNls(db).dateLanguage) : sessionNls(db).dateLanguage;
    d = parseByFormat(s, parseDateFormat(textOf(argv[1])), lang);
  }
  resultDate(ctx, d);
}

void fnToNumber(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  if (argc == 1) {
    if (isNumber(argv[0])) sqlite3_result_value(ctx, argv[0]);
    else resultDecimal(ctx, decimalOf(argv[0]));
    return;
  }
  if (argc > 2) dateLanguageParam(textOf(argv[2]), kAmerican); // checked; our numbers use '.' and ','
  resultDecimal(ctx, parseByNumberFormat(textOf(argv[0]), parseNumberFormat(textOf(argv[1]))));
}

// ---- characters ----

// Oracle's start position: 0 is 1, negative counts from the end; 0 when outside the text.
int64_t startPosition(int64_t pos, int64_t count) {
  if (pos == 0) pos = 1;
  if (pos < 0) pos = count + pos + 1;
  return pos < 1 || pos > count ? 0 : pos;
}

void fnSubstr(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  std::string s = textOf(argv[0]);
  auto starts = charStarts(s);
  int64_t count = static_cast<int64_t>(starts.size()) - 1;
  int64_t pos = startPosition(intOf(argv[1]), count);
  if (!pos) { sqlite3_result_null(ctx); return; }
  int64_t len = count - pos + 1;
  if (argc == 3) {
    double l = std::trunc(doubleOf(argv[2]));
    if (l < 1) { sqlite3_result_null(ctx); return; }
    if (l < static_cast<double>(len)) len = static_cast<int64_t>(l);
  }
  size_t b = starts[pos - 1], e = starts[pos - 1 + len];
  resultText(ctx, s.substr(b, e - b));
}

void fnInstr(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  std::string s = textOf(argv[0]), sub = textOf(argv[1]);
  int64_t pos = argc > 2 ? intOf(argv[2]) : 1;
  int64_t occ = argc > 3 ? intOf(argv[3]) : 1;
  if (occ < 1) throw OraError(1428, std::to_string(occ));
  if (pos == 0) { sqlite3_result_int64(ctx, 0); return; }
  auto starts = charStarts(s);
  int64_t count = static_cast<int64_t>(starts.size()) - 1;
  auto matchAt = [&](int64_t k) { return s.compare(starts[k], sub.size(), sub) == 0; };
  int64_t found = 0;
  if (pos > 0) {
    for (int64_t k = pos - 1; k < count; ++k)
      if (starts[k] + sub.size() <= s.size() && matchAt(k) && ++found == occ) {
        sqlite3_result_int64(ctx, k + 1);
        return;
      }
  } else {
    // Backward: matches that start at or before the position.
    for (int64_t k = count + pos; k >= 0; --k)
      if (k < count && starts[k] + sub.size() <= s.size() && matchAt(k) && ++found == occ) {
        sqlite3_result_int64(ctx, k + 1);
        return;
      }
  }
  sqlite3_result_int64(ctx, 0);
}

void fnLength(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  sqlite3_result_int64(ctx, static_cast<int64_t>(charStarts(textOf(argv[0])).size()) - 1);
}

void fnUpper(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  resultText(ctx, mapChars(textOf(argv[0]), upperChar));
}

void fnLower(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  resultText(ctx, mapChars(textOf(argv[0]), lowerChar));
}

void fnInitcap(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  std::string s = textOf(argv[0]), out;
  bool inWord = false;
  for (size_t i = 0; i < s.size();) {
    uint32_t c = nextChar(s, i);
    appendChar(out, inWord ? lowerChar(c) : upperChar(c));
    inWord = isWordChar(c);
  }
  resultText(ctx, out);
}

std::string trimChars(const std::string& s, const std::vector<uint32_t>& set, bool left, bool right) {
  auto in = [&](uint32_t c) { return std::find(set.begin(), set.end(), c) != set.end(); };
  auto starts = charStarts(s);
  size_t n = starts.size() - 1, b = 0, e = n;
  if (left)
    while (b < e) {
      size_t i = starts[b];
      if (!in(nextChar(s, i))) break;
      ++b;
    }
  if (right)
    while (e > b) {
      size_t i = starts[e - 1];
      if (!in(nextChar(s, i))) break;
      --e;
    }
  return s.substr(starts[b], starts[e] - starts[b]);
}

void fnTrim(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  resultText(ctx, trimChars(textOf(argv[0]), {' '}, true, true));
}

void fnLtrim(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  auto set = argc > 1 ? decode(textOf(argv[1])) : std::vector<uint32_t>{' '};
  resultText(ctx, trimChars(textOf(argv[0]), set, true, false));
}

void fnRtrim(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  auto set = argc > 1 ? decode(textOf(argv[1])) : std::vector<uint32_t>{' '};
  resultText(ctx, trimChars(textOf(argv[0]), set, false, true));
}

// ora_trim(mode, ch, s): TRIM(LEADING|TRAILING|BOTH ch FROM s).
void fnOraTrim(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[1]) || isNull(argv[2])) { sqlite3_result_null(ctx); return; }
  auto set = decode(textOf(argv[1]));
  if (set.size() != 1) throw OraError(30001);
  std::string mode = mapChars(textOf(argv[0]), upperChar);
  bool left = mode == "LEADING" || mode == "BOTH", right = mode == "TRAILING" || mode == "BOTH";
  if (!left && !right) throw OraError(905);
  resultText(ctx, trimChars(textOf(argv[2]), set, left, right));
}

// Appends characters of `s` (repeated when `cycle`) up to `width` display columns; a wide
// character that would cross the limit becomes a space.
int appendColumns(std::string& out, const std::string& s, int width, bool cycle) {
  int w = 0;
  if (s.empty()) return 0;
  size_t i = 0;
  while (w < width) {
    if (i >= s.size()) {
      if (!cycle) break;
      i = 0;
    }
    size_t b = i;
    uint32_t c = nextChar(s, i);
    int cw = IsWideCodePoint(c) ? 2 : 1;
    if (w + cw > width) { out += ' '; ++w; break; }
    out.append(s, b, i - b);
    w += cw;
  }
  return w;
}

void pad(Ctx* ctx, int argc, Val** argv, bool left) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  std::string s = textOf(argv[0]);
  std::string fill = argc > 2 ? textOf(argv[2]) : std::string(" ");
  double nd = std::trunc(doubleOf(argv[1]));
  if (nd < 1) { sqlite3_result_null(ctx); return; }
  int width = static_cast<int>(std::min<double>(nd, kMaxText));
  std::string body;
  int w = appendColumns(body, s, width, false);
  std::string padding;
  appendColumns(padding, fill, width - w, true);
  resultText(ctx, left ? padding + body : body + padding);
}

void fnLpad(Ctx* ctx, int argc, Val** argv) { pad(ctx, argc, argv, true); }
void fnRpad(Ctx* ctx, int argc, Val** argv) { pad(ctx, argc, argv, false); }

void fnReplace(Ctx* ctx, int argc, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  std::string s = textOf(argv[0]);
  if (isNull(argv[1])) { resultText(ctx, s); return; }
  std::string from = textOf(argv[1]);
  std::string to = argc > 2 ? textOf(argv[2]) : std::string();
  std::string out;
  size_t at = 0;
  for (size_t hit; (hit = s.find(from, at)) != std::string::npos; at = hit + from.size()) {
    out.append(s, at, hit - at);
    out += to;
  }
  out.append(s, at, std::string::npos);
  resultText(ctx, out);
}

// NULL counts as the empty string.
void fnConcat(Ctx* ctx, int argc, Val** argv) {
  std::string out;
  for (int i = 0; i < argc; ++i) out += textOf(argv[i]);
  resultText(ctx, out);
}

// CHR(n): n is the character's UTF-8 bytes read as a big-endian number.
void fnChr(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  int64_t n = intOf(argv[0]);
  if (n < 0 || n > 0xFFFFFFFFLL) throw OraError(1428, std::to_string(n));
  std::string out;
  for (int shift = 24; shift > 0; shift -= 8)
    if (n >> shift) out += static_cast<char>((n >> shift) & 0xFF);
  out += static_cast<char>(n & 0xFF);
  sqlite3_result_text(ctx, out.data(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
}

void fnAscii(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  std::string s = textOf(argv[0]);
  size_t i = 0;
  nextChar(s, i);
  int64_t v = 0;
  for (size_t k = 0; k < i; ++k) v = v * 256 + static_cast<unsigned char>(s[k]);
  sqlite3_result_int64(ctx, v);
}

// ---- numbers ----

DateTime roundDate(const DateTime& d, const std::string& fmtIn, bool round) {
  std::string f = mapChars(trimChars(fmtIn, {' '}, true, true), upperChar);
  auto is = [&](std::initializer_list<const char*> names) {
    for (const char* n : names)
      if (f == n) return true;
    return false;
  };
  int64_t day = dayNumber(d);
  int64_t secs = d.hour * 3600 + d.minute * 60 + d.second;
  if (is({"DD", "DDD", "J"})) return fromDays(day + (round && d.hour >= 12));
  if (is({"MM", "MON", "MONTH", "RM"})) {
    int y = d.year, m = d.month;
    if (round && d.day >= 16 && ++m > 12) { m = 1; ++y; }
    return fromDays(daysFromCivil(y, m, 1));
  }
  if (is({"YYYY", "SYYYY", "YEAR", "SYEAR", "YYY", "YY", "Y"}))
    return fromDays(daysFromCivil(d.year + (round && d.month >= 7), 1, 1));
  if (is({"Q"})) {
    int qm = (d.month - 1) / 3 * 3 + 1;
    int y = d.year, m = qm;
    if (round && (d.month == qm + 2 || (d.month == qm + 1 && d.day >= 16)) && (m += 3) > 12) {
      m = 1;
      ++y;
    }
    return fromDays(daysFromCivil(y, m, 1));
  }
  if (is({"CC", "SCC"})) {
    int start = (d.year - 1) / 100 * 100 + 1;
    if (round && d.year - start >= 50) start += 100;
    return fromDays(daysFromCivil(start, 1, 1));
  }
  if (is({"HH", "HH12", "HH24"}))
    return fromSeconds(day * 86400 + (d.hour + (round && d.minute >= 30)) * 3600);
  if (is({"MI"}))
    return fromSeconds(day * 86400 + d.hour * 3600 + (d.minute + (round && d.second >= 30)) * 60);
  if (is({"D", "DY", "DAY", "IW", "WW", "W"})) {
    // weeks start on Sunday (D), Monday (IW), or the weekday of the year's (WW) or month's (W) first day
    int64_t first = f == "WW" ? daysFromCivil(d.year, 1, 1) : daysFromCivil(d.year, d.month, 1);
    int back = f == "IW"                 ? (weekday(d) + 6) % 7
               : f == "WW" || f == "W" ? static_cast<int>((day - first) % 7)
                                         : weekday(d);
    int64_t start = day - back;
    // The week's midpoint is three and a half days after its start.
    if (round && (back * 86400 + secs) * 2 >= 7 * 86400) start += 7;
    return fromDays(start);
  }
  if (is({"IYYY", "IYY", "IY", "I"})) {
    // the ISO year: from the Monday of the week that holds January 4th
    int y = d.year;
    if (day < isoYearStart(y)) --y;
    else if (day >= isoYearStart(y + 1)) ++y;
    return fromDays(isoYearStart(y + (round && d.month >= 7 && y == d.year)));
  }
  throw OraError(1821);
}

void roundOrTrunc(Ctx* ctx, int argc, Val** argv, bool round) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  DateTime d;
  if (isDate(argv[0], d)) {
    resultDate(ctx, roundDate(d, argc > 1 ? textOf(argv[1]) : std::string("DD"), round));
    return;
  }
  int places = argc > 1 ? static_cast<int>(std::clamp<int64_t>(intOf(argv[1]), -400, 400)) : 0;
  if (sqlite3_value_type(argv[0]) == SQLITE_INTEGER && places >= 0) {
    sqlite3_result_value(ctx, argv[0]);
    return;
  }
  Decimal x = decimalOf(argv[0]);
  if (round) roundTo(x, places);
  else truncTo(x, places);
  resultDecimal(ctx, x);
}

void fnRound(Ctx* ctx, int argc, Val** argv) { roundOrTrunc(ctx, argc, argv, true); }
void fnTrunc(Ctx* ctx, int argc, Val** argv) { roundOrTrunc(ctx, argc, argv, false); }

// MOD(a, 0) is a; the result has the dividend's sign. Exact in decimal where it fits.
void fnMod(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  Decimal a = decimalOf(argv[0]), b = decimalOf(argv[1]);
  if (b.zero()) { resultDecimal(ctx, a); return; }
  int k = std::max(fractionDigits(a), fractionDigits(b));
  int64_t ai, bi;
  if (scaledInt(a, k, ai) && scaledInt(b, k, bi)) {
    Decimal r = fromInteger(bi == -1 ? 0 : ai % bi);
    if (!r.zero()) r.point -= k;
    resultDecimal(ctx, r);
    return;
  }
  resultDouble(ctx, std::fmod(doubleOf(argv[0]), doubleOf(argv[1])));
}

void fnAbs(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  Decimal x = decimalOf(argv[0]);
  x.neg = false;
  resultDecimal(ctx, x);
}

void fnSign(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  Decimal x = decimalOf(argv[0]);
  sqlite3_result_int64(ctx, x.zero() ? 0 : x.neg ? -1 : 1);
}

void ceilOrFloor(Ctx* ctx, Val* v, bool ceil) {
  if (isNull(v)) { sqlite3_result_null(ctx); return; }
  if (sqlite3_value_type(v) == SQLITE_INTEGER) { sqlite3_result_value(ctx, v); return; }
  Decimal x = decimalOf(v), t = x;
  truncTo(t, 0);
  if (!sameDecimal(t, x) && x.neg != ceil) bumpMagnitude(t, x.neg);
  resultDecimal(ctx, t);
}

void fnCeil(Ctx* ctx, int, Val** argv) { ceilOrFloor(ctx, argv[0], true); }
void fnFloor(Ctx* ctx, int, Val** argv) { ceilOrFloor(ctx, argv[0], false); }

void fnPower(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  if (sqlite3_value_type(argv[0]) == SQLITE_INTEGER && sqlite3_value_type(argv[1]) == SQLITE_INTEGER &&
      sqlite3_value_int64(argv[1]) >= 0) {
    int64_t base = sqlite3_value_int64(argv[0]), e = sqlite3_value_int64(argv[1]), r = 1;
    bool overflow = false;
    for (int64_t k = 0; k < e && !overflow; ++k) {
      overflow = __builtin_mul_overflow(r, base, &r);
      if (r == 0 || r == 1) break;
    }
    if (!overflow && (r != 1 || base == 1 || e == 0 || (base == -1 && e % 2 == 0))) {
      sqlite3_result_int64(ctx, r);
      return;
    }
  }
  double a = doubleOf(argv[0]), b = doubleOf(argv[1]);
  if (a < 0 && b != std::trunc(b)) throw OraError(1428, textOf(argv[1]));
  resultDouble(ctx, std::pow(a, b));
}

void fnSqrt(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  double x = doubleOf(argv[0]);
  if (x < 0) throw OraError(1428, textOf(argv[0]));
  resultDouble(ctx, std::sqrt(x));
}

void fnExp(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  resultDouble(ctx, std::exp(doubleOf(argv[0])));
}

void fnLn(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  double x = doubleOf(argv[0]);
  if (x <= 0) throw OraError(1428, textOf(argv[0]));
  resultDouble(ctx, std::log(x));
}

void fnLog(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  double b = doubleOf(argv[0]), x = doubleOf(argv[1]);
  if (b <= 0 || b == 1) throw OraError(1428, textOf(argv[0]));
  if (x <= 0) throw OraError(1428, textOf(argv[1]));
  resultDouble(ctx, std::log(x) / std::log(b));
}

// ---- dates ----

void fnAddMonths(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  DateTime d = dateOf(ctx, argv[0]);
  int64_t n = intOf(argv[1]);
  int64_t total = static_cast<int64_t>(d.year) * 12 + (d.month - 1) + n;
  if (total < 12 || total >= 120000) throw OraError(1841);
  bool lastDay = d.day == daysInMonth(d.year, d.month);
  DateTime r = d;
  r.year = static_cast<int>(total / 12);
  r.month = static_cast<int>(total % 12) + 1;
  int dim = daysInMonth(r.year, r.month);
  r.day = lastDay || d.day > dim ? dim : d.day;
  resultDate(ctx, r);
}

// Whole months when the days of month match or both are month ends, else the day and time
// difference over a 31-day month.
void fnMonthsBetween(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  DateTime a = dateOf(ctx, argv[0]), b = dateOf(ctx, argv[1]);
  int64_t months = (static_cast<int64_t>(a.year) - b.year) * 12 + (a.month - b.month);
  bool aLast = a.day == daysInMonth(a.year, a.month), bLast = b.day == daysInMonth(b.year, b.month);
  if (a.day == b.day || (aLast && bLast)) { sqlite3_result_int64(ctx, months); return; }
  int64_t secs = (a.day - b.day) * 86400LL + (a.hour - b.hour) * 3600LL + (a.minute - b.minute) * 60LL +
                 (a.second - b.second);
  resultDouble(ctx, static_cast<double>(months) + static_cast<double>(secs) / (31.0 * 86400.0));
}

void fnLastDay(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  DateTime d = dateOf(ctx, argv[0]);
  d.day = daysInMonth(d.year, d.month);
  resultDate(ctx, d);
}

// English names in full or their first three letters, any case; Japanese 日..土 with an
// optional 曜 or 曜日.
int parseDayName(std::string name) {
  name = trimChars(name, {' '}, true, true);
  std::string up = mapChars(name, upperChar);
  for (int k = 0; k < 7; ++k)
    if (up == kDays[k] || up == std::string(kDays[k]).substr(0, 3)) return k;
  static const char* const jp[] = {"日", "月", "火", "水", "木", "金", "土"};
  for (int k = 0; k < 7; ++k) {
    std::string j = jp[k];
    if (name == j || name == j + "曜" || name == j + "曜日") return k;
  }
  return -1;
}

void fnNextDay(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  DateTime d = dateOf(ctx, argv[0]);
  int want = parseDayName(textOf(argv[1]));
  if (want < 0) throw OraError(1846);
  int ahead = (want - weekday(d) + 7) % 7;
  DateTime r = fromDays(dayNumber(d) + (ahead ? ahead : 7));
  r.hour = d.hour;
  r.minute = d.minute;
  r.second = d.second;
  resultDate(ctx, r);
}

// date + days, the fraction rounded to whole seconds.
void fnDateAdd(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  DateTime d = dateOf(ctx, argv[0]);
  double days = doubleOf(argv[1]);
  if (!(std::fabs(days) < 4e6)) throw OraError(1841);
  resultDate(ctx, fromSeconds(secondsOf(d) + std::llround(days * 86400.0)));
}

void fnDateDiff(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  int64_t secs = secondsOf(dateOf(ctx, argv[0])) - secondsOf(dateOf(ctx, argv[1]));
  if (secs % 86400 == 0) sqlite3_result_int64(ctx, secs / 86400);
  else resultDouble(ctx, static_cast<double>(secs) / 86400.0);
}

// ---- session ----

void fnUser(Ctx* ctx, int, Val**) {
  resultText(ctx, *static_cast<const std::string*>(sqlite3_user_data(ctx)));
}

// The user's number, kept in the schema file's user_version.
void fnUid(Ctx* ctx, int, Val**) {
  sqlite3_stmt* st = nullptr;
  int64_t uid = 0;
  if (sqlite3_prepare_v2(sqlite3_context_db_handle(ctx), "PRAGMA user_version", -1, &st, nullptr) ==
          SQLITE_OK &&
      sqlite3_step(st) == SQLITE_ROW)
    uid = sqlite3_column_int64(st, 0);
  sqlite3_finalize(st);
  sqlite3_result_int64(ctx, uid);
}

// ---- LIKE ----

// A compiled pattern: characters, with kAny for '%' and kOne for '_'.
constexpr uint32_t kAny = 0xFFFFFFFF, kOne = 0xFFFFFFFE;

struct LikePattern {
  std::string source;
  int64_t escape = -1;
  std::vector<uint32_t> items;
};

LikePattern compileLike(const std::string& pattern, int64_t escape) {
  LikePattern p;
  p.source = pattern;
  p.escape = escape;
  for (size_t i = 0; i < pattern.size();) {
    uint32_t c = nextChar(pattern, i);
    if (escape >= 0 && c == static_cast<uint32_t>(escape)) {
      if (i >= pattern.size()) throw OraError(1424);
      uint32_t x = nextChar(pattern, i);
      if (x != '%' && x != '_' && x != static_cast<uint32_t>(escape)) throw OraError(1424);
      p.items.push_back(x);
    } else {
      p.items.push_back(c == '%' ? kAny : c == '_' ? kOne : c);
    }
  }
  return p;
}

bool likeMatch(const std::vector<uint32_t>& p, const std::vector<uint32_t>& s) {
  size_t pi = 0, si = 0, starP = std::string::npos, starS = 0;
  while (si < s.size()) {
    if (pi < p.size() && p[pi] == kAny) {
      starP = pi++;
      starS = si;
    } else if (pi < p.size() && (p[pi] == kOne || p[pi] == s[si])) {
      ++pi;
      ++si;
    } else if (starP != std::string::npos) {
      pi = starP + 1;
      si = ++starS;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == kAny) ++pi;
  return pi == p.size();
}

// like(pattern, text[, escape]): case-sensitive and by characters, as Oracle's LIKE.
void fnLike(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  int64_t escape = -1;
  if (argc > 2) {
    auto e = decode(textOf(argv[2]));
    if (e.size() != 1) throw OraError(1425);
    escape = e[0];
  }
  std::string pattern = textOf(argv[0]);
  auto* cached = static_cast<LikePattern*>(sqlite3_get_auxdata(ctx, 0));
  if (!cached || cached->escape != escape || cached->source != pattern) {
    cached = new LikePattern(compileLike(pattern, escape));
    sqlite3_set_auxdata(ctx, 0, cached, [](void* p) { delete static_cast<LikePattern*>(p); });
    cached = static_cast<LikePattern*>(sqlite3_get_auxdata(ctx, 0));
    if (!cached) { sqlite3_result_error_nomem(ctx); return; }
  }
  sqlite3_result_int(ctx, likeMatch(cached->items, decode(textOf(argv[1]))));
}

// Arities SQLite's own functions accept but Oracle's do not.
void fnBadArity(Ctx*, int, Val**) { throw OraError(909); }

// ---- registration ----

const Def kDefs[] = {
    {"NVL", 2, 2, guarded<fnNvl>, 0},
    {"NVL2", 3, 3, guarded<fnNvl2>, 0},
    {"DECODE", 3, -1, guarded<fnDecode>, 0},
    {"GREATEST", 1, -1, guarded<fnGreatest>, 0},
    {"LEAST", 1, -1, guarded<fnLeast>, 0},
    {"TO_CHAR", 1, 3, guarded<fnToChar>, kVarchar2},
    {"TO_DATE", 1, 3, guarded<fnToDate>, kDate, true},
    {"TO_NUMBER", 1, 3, guarded<fnToNumber>, kNumber},
    {"SUBSTR", 2, 3, guarded<fnSubstr>, kVarchar2},
    {"INSTR", 2, 4, guarded<fnInstr>, kNumber},
    {"LENGTH", 1, 1, guarded<fnLength>, kNumber},
    {"UPPER", 1, 1, guarded<fnUpper>, kVarchar2},
    {"LOWER", 1, 1, guarded<fnLower>, kVarchar2},
    {"INITCAP", 1, 1, guarded<fnInitcap>, kVarchar2},
    {"TRIM", 1, 1, guarded<fnTrim>, kVarchar2},
    {"LTRIM", 1, 2, guarded<fnLtrim>, kVarchar2},
    {"RTRIM", 1, 2, guarded<fnRtrim>, kVarchar2},
    {"ORA_TRIM", 3, 3, guarded<fnOraTrim>, kVarchar2},
    {"LPAD", 2, 3, guarded<fnLpad>, kVarchar2},
    {"RPAD", 2, 3, guarded<fnRpad>, kVarchar2},
    {"REPLACE", 2, 3, guarded<fnReplace>, kVarchar2},
    {"CONCAT", 2, 2, guarded<fnConcat>, kVarchar2},
    {"ORA_CONCAT", 1, -1, guarded<fnConcat>, kVarchar2},
    {"CHR", 1, 1, guarded<fnChr>, kVarchar2},
    {"ASCII", 1, 1, guarded<fnAscii>, kNumber},
    {"ROUND", 1, 2, guarded<fnRound>, 0},
    {"TRUNC", 1, 2, guarded<fnTrunc>, 0},
    {"MOD", 2, 2, guarded<fnMod>, kNumber},
    {"ABS", 1, 1, guarded<fnAbs>, kNumber},
    {"SIGN", 1, 1, guarded<fnSign>, kNumber},
    {"CEIL", 1, 1, guarded<fnCeil>, kNumber},
    {"FLOOR", 1, 1, guarded<fnFloor>, kNumber},
    {"POWER", 2, 2, guarded<fnPower>, kNumber},
    {"SQRT", 1, 1, guarded<fnSqrt>, kNumber},
    {"EXP", 1, 1, guarded<fnExp>, kNumber},
    {"LN", 1, 1, guarded<fnLn>, kNumber},
    {"LOG", 2, 2, guarded<fnLog>, kNumber},
    {"ADD_MONTHS", 2, 2, guarded<fnAddMonths>, kDate},
    {"MONTHS_BETWEEN", 2, 2, guarded<fnMonthsBetween>, kNumber},
    {"LAST_DAY", 1, 1, guarded<fnLastDay>, kDate},
    {"NEXT_DAY", 2, 2, guarded<fnNextDay>, kDate},
    {"ORA_DATE_ADD", 2, 2, guarded<fnDateAdd>, kDate},
    {"ORA_DATE_DIFF", 2, 2, guarded<fnDateDiff>, kNumber},
    {"ORA_USER", 0, 0, guarded<fnUser>, kVarchar2, true},
    {"ORA_UID", 0, 0, guarded<fnUid>, kNumber, true},
    {"LIKE", 2, 3, guarded<fnLike>, -1},
};

// Every function this file and its companions define.
const std::vector<Def>& allDefs() {
  static const std::vector<Def> all = [] {
    std::vector<Def> v(std::begin(kDefs), std::end(kDefs));
    for (auto* more : {&scalarFunctionDefs, &sessionFunctionDefs})
      for (const Def& d : more()) v.push_back(d);
    return v;
  }();
  return all;
}

} // namespace fn

using namespace fn;

std::string formatDateText(const DateTime& d, std::string_view model, int language) {
  return formatDate(d, parseDateFormat(model), language);
}

DateTime parseDateText(std::string_view text, std::string_view model, int language) {
  return parseByFormat(text, parseDateFormat(model), language);
}

void checkDateFormat(std::string_view model) { parseDateFormat(model); }

void registerOraFunctions(sqlite3* db, const std::string& user) {
  attachNls(db, user);
  int limit = std::min(sqlite3_limit(db, SQLITE_LIMIT_FUNCTION_ARG, -1), 127);
  for (const Def& d : allDefs()) {
    int flags = SQLITE_UTF8 | (d.volatileFn ? 0 : SQLITE_DETERMINISTIC);
    int maxArgs = d.maxArgs < 0 ? limit : d.maxArgs;
    // Each arity on its own, so a wrong argument count fails when the statement is prepared.
    for (int n = d.minArgs; n <= maxArgs; ++n) {
      if (d.fn == guarded<fnUser>) {
        sqlite3_create_function_v2(db, d.name, n, flags, new std::string(user), d.fn, nullptr,
                                   nullptr, [](void* p) { delete static_cast<std::string*>(p); });
      } else {
        sqlite3_create_function(db, d.name, n, flags, nullptr, d.fn, nullptr, nullptr);
      }
    }
  }
  sqlite3_create_function(db, "TRIM", 2, SQLITE_UTF8, nullptr, guarded<fnBadArity>, nullptr, nullptr);
  sqlite3_create_function(db, "LOG", 1, SQLITE_UTF8, nullptr, guarded<fnBadArity>, nullptr, nullptr);
}

std::vector<std::string> oraFunctionNames() {
  std::vector<std::string> out;
  for (const Def& d : allDefs()) out.emplace_back(d.name);
  return out;
}

int functionResultType(std::string_view upperName) {
  static const std::map<std::string_view, int> types = [] {
    std::map<std::string_view, int> m;
    for (const Def& d : allDefs())
      if (d.type >= 0) m[d.name] = d.type;
    return m;
  }();
  auto it = types.find(upperName);
  return it == types.end() ? -1 : it->second;
}

} // namespace ora
