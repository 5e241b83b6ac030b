// INTERVAL values: stored text, display text and the readers of their literal forms.
#include "Intervals.h"

#include "Number.h"
#include "OraError.h"

#include <cctype>

namespace ora {

namespace {

constexpr int kYmDigits = 11; // 999999999 years and 11 months
constexpr int kDsDigits = 23; // 999999999 days and a day less a nanosecond

__int128 pow10(int n) {
  __int128 r = 1;
  while (n-- > 0) r *= 10;
  return r;
}

std::string digits(__int128 v, int width) {
  std::string s;
  do {
    s.insert(s.begin(), static_cast<char>('0' + static_cast<int>(v % 10)));
    v /= 10;
  } while (v > 0);
  if (static_cast<int>(s.size()) < width) s.insert(0, static_cast<size_t>(width - static_cast<int>(s.size())), '0');
  return s;
}

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// A run of digits at i, at most `most` of them; false when there is none.
bool number(std::string_view s, size_t& i, __int128& v, int most = 18) {
  size_t start = i;
  v = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
    if (static_cast<int>(i - start) >= most) return false;
    v = v * 10 + (s[i++] - '0');
  }
  return i > start;
}

// ".ddd" at i as nanoseconds, rounded to `frac` digits; nothing there is zero.
bool fraction(std::string_view s, size_t& i, int frac, __int128& nanos) {
  nanos = 0;
  if (i >= s.size() || s[i] != '.') return true;
  ++i;
  __int128 scale = kNanosPerSecond;
  bool roundUp = false;
  size_t start = i;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
    scale /= 10;
    if (scale > 0) nanos += (s[i] - '0') * scale;
    else if (i - start == 9) roundUp = s[i] >= '5';
    ++i;
  }
  if (roundUp) ++nanos;
  nanos = roundNanos(nanos, frac);
  return true;
}

} // namespace

std::string storedInterval(bool ds, __int128 v) {
  int width = ds ? kDsDigits : kYmDigits;
  __int128 a = v < 0 ? -v : v;
  if (a >= pow10(width)) throw OraError(1873);
  std::string d = digits(a, width);
  if (v < 0)
    for (char& c : d) c = static_cast<char>('9' - (c - '0'));
  return std::string(1, ds ? 'D' : 'Y') + (v < 0 ? 'M' : 'P') + d;
}

bool parseStoredInterval(std::string_view s, bool& ds, __int128& v) {
  if (s.size() < 2 || (s[0] != 'D' && s[0] != 'Y') || (s[1] != 'M' && s[1] != 'P')) return false;
  ds = s[0] == 'D';
  if (s.size() != static_cast<size_t>((ds ? kDsDigits : kYmDigits) + 2)) return false;
  bool negative = s[1] == 'M';
  v = 0;
  for (size_t i = 2; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    v = v * 10 + (negative ? '9' - s[i] : s[i] - '0');
  }
  if (negative) v = -v;
  return true;
}

__int128 roundNanos(__int128 v, int frac) {
  if (frac >= 9) return v;
  __int128 unit = pow10(9 - (frac < 0 ? 0 : frac));
  __int128 a = v < 0 ? -v : v;
  a = (a + unit / 2) / unit * unit;
  return v < 0 ? -a : a;
}

bool leadFits(bool ds, __int128 v, int lead) {
  __int128 a = v < 0 ? -v : v;
  __int128 leadValue = ds ? roundNanos(a, 9) / kNanosPerDay : a / 12;
  return leadValue < pow10(lead);
}

std::string intervalText(bool ds, __int128 v, int lead, int frac) {
  std::string s(1, v < 0 ? '-' : '+');
  __int128 a = v < 0 ? -v : v;
  if (!ds) return s + digits(a / 12, lead) + "-" + digits(a % 12, 2);
  a = roundNanos(a, frac);
  __int128 secs = a / kNanosPerSecond, nanos = a % kNanosPerSecond;
  s += digits(secs / 86400, lead) + " " + digits(secs / 3600 % 24, 2) + ":" + digits(secs / 60 % 60, 2) + ":" +
       digits(secs % 60, 2);
  if (frac > 0) s += "." + digits(nanos, 9).substr(0, static_cast<size_t>(frac > 9 ? 9 : frac));
  return s;
}

int parseIntervalLiteral(std::string_view text, IvField from, IvField to, int lead, int frac, __int128& out) {
  std::string_view s = trimmed(text);
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  __int128 first;
  if (!number(s, i, first)) return 1867;
  if (first >= pow10(lead)) return 1873;
  if (from == IvField::Year || from == IvField::Month) {
    __int128 months = from == IvField::Year ? first * 12 : first;
    if (to == IvField::Month && from == IvField::Year) {
      __int128 m;
      if (i >= s.size() || s[i++] != '-' || !number(s, i, m, 2)) return 1867;
      if (m > 11) return 1843;
      months += m;
    }
    if (i != s.size()) return 1867;
    out = negative ? -months : months;
    return 0;
  }
  static const __int128 unit[] = {0, 0, kNanosPerDay, kNanosPerSecond * 3600, kNanosPerSecond * 60, kNanosPerSecond};
  static const char sep[] = {0, 0, 0, ' ', ':', ':'};
  static const int most[] = {0, 0, 0, 23, 59, 59};
  static const int error[] = {0, 0, 0, 1850, 1851, 1852};
  __int128 total = first * unit[static_cast<int>(from)];
  for (int f = static_cast<int>(from) + 1; f <= static_cast<int>(to); ++f) {
    __int128 v;
    if (i >= s.size() || s[i] != sep[f]) return 1867;
    ++i;
    while (sep[f] == ' ' && i < s.size() && s[i] == ' ') ++i; // days and hours: one or more blanks
    if (!number(s, i, v, 2)) return 1867;
    if (v > most[f]) return error[f];
    total += v * unit[f];
  }
  if (to == IvField::Second) {
    __int128 nanos;
    fraction(s, i, frac, nanos);
    total += nanos;
  }
  if (i != s.size()) return 1867;
  out = negative ? -total : total;
  return 0;
}

namespace {

// ISO 8601's [-]P[nY][nM][nD][T[nH][nM][n[.f]S]]: the months and nanoseconds it names.
bool isoDuration(std::string_view s, __int128& months, __int128& nanos, bool& anyYm) {
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && s[i] == '-') { negative = true; ++i; }
  if (i >= s.size() || s[i++] != 'P') return false;
  months = nanos = 0;
  anyYm = false;
  bool time = false, any = false;
  const char* order = "YMD";
  while (i < s.size()) {
    if (s[i] == 'T') {
      if (time) return false;
      time = true;
      order = "HMS";
      ++i;
      continue;
    }
    __int128 v;
    if (!number(s, i, v)) return false;
    __int128 part = 0;
    if (time && i < s.size() && s[i] == '.') fraction(s, i, 9, part);
    if (i >= s.size()) return false;
    char u = s[i++];
    const char* at = order;
    while (*at && *at != u) ++at;
    if (!*at || (part && u != 'S')) return false;
    order = at + 1;
    any = true;
    if (!time && u == 'Y') { months += v * 12; anyYm = true; }
    else if (!time && u == 'M') { months += v; anyYm = true; }
    else if (u == 'D') nanos += v * kNanosPerDay;
    else if (u == 'H') nanos += v * kNanosPerSecond * 3600;
    else if (u == 'M') nanos += v * kNanosPerSecond * 60;
    else nanos += v * kNanosPerSecond + part;
  }
  // P alone, or a T with no hours, minutes or seconds after it, names nothing
  if (!any || (time && (s.back() == 'T'))) return false;
  if (negative) { months = -months; nanos = -nanos; }
  return true;
}

} // namespace

int parseYmText(std::string_view text, __int128& months) {
  std::string_view s = trimmed(text);
  __int128 nanos;
  bool anyYm;
  if (isoDuration(s, months, nanos, anyYm)) return 0;
  if (parseIntervalLiteral(s, IvField::Year, IvField::Month, 9, 0, months) == 0) return 0;
  return 1867;
}

int parseDsText(std::string_view text, __int128& nanos) {
  std::string_view s = trimmed(text);
  __int128 months;
  bool anyYm;
  if (isoDuration(s, months, nanos, anyYm)) return anyYm ? 1867 : 0;
  if (parseIntervalLiteral(s, IvField::Day, IvField::Second, 9, 9, nanos) == 0) return 0;
  return 1867;
}

const char* typeWordFor(int code) {
  switch (code) {
  case 2: return "NUMBER";
  case 12: return "DATE";
  case 180: return "TIMESTAMP";
  case 181: return "TIMESTAMP WITH TIME ZONE";
  case 182: return "INTERVAL YEAR TO MONTH";
  case 183: return "INTERVAL DAY TO SECOND";
  case 23: case 24: return "BINARY";
  case 11: return "ROWID";
  case 252: return "BOOLEAN";
  default: return "CHAR";
  }
}

__int128 numToInterval(const Num& n, IvField unit) {
  static const int64_t per[] = {12, 1, 86400, 3600, 60, 1};
  Num scaled = mul(n, numFromInt(per[static_cast<int>(unit)]));
  if (unit != IvField::Year && unit != IvField::Month) scaled = mul(scaled, numFromInt(1000000000));
  scaled = roundNum(scaled, 0);
  __int128 v;
  if (!int128Of(scaled, v) || v > pow10(31) || v < -pow10(31)) throw OraError(1873);
  return v;
}

} // namespace ora
