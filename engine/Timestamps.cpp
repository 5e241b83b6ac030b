// TIMESTAMP values: their stored text, the rounding of their fraction, text read as one, and
// the session's time zone.
#include "FunctionUtil.h"
#include "OraError.h"
#include "OraValues.h"
#include "TimeZones.h"

#include <cstdio>
#include <ctime>

namespace ora {

namespace {

int daysIn(int y, int m) {
  static const int dim[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return dim[m - 1] + (m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0));
}

} // namespace

std::string storedTimestamp(const DateTime& d) {
  std::string s = storedDate(d);
  if (d.nanos > 0) {
    char b[16];
    std::snprintf(b, sizeof b, ".%09d", d.nanos);
    s += b;
    while (s.back() == '0') s.pop_back();
  }
  return s;
}

DateTime roundFraction(const DateTime& d, int digits) {
  DateTime r = d;
  int unit = 1;
  for (int k = digits; k < 9; ++k) unit *= 10;
  if (unit == 1) return r;
  r.nanos = (d.nanos + unit / 2) / unit * unit;
  if (r.nanos < 1000000000) return r;
  // one second on: through the calendar, as the days of a month decide
  r.nanos = 0;
  int64_t s = ((int64_t{r.hour} * 60 + r.minute) * 60 + r.second) + 1;
  if (s < 86400) {
    r.hour = static_cast<int>(s / 3600);
    r.minute = static_cast<int>(s / 60 % 60);
    r.second = static_cast<int>(s % 60);
    return r;
  }
  r.hour = r.minute = r.second = 0;
  if (r.day < daysIn(r.year, r.month)) ++r.day;
  else if (r.month < 12) { ++r.month; r.day = 1; }
  else { ++r.year; r.month = 1; r.day = 1; }
  return r;
}

int parsePlainTimestamp(sqlite3* db, std::string_view text, DateTime& out) {
  if (parseStoredDate(reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()), out)) return 0;
  // the session's own timestamp format first, then the forms below
  if (const Nls& nls = sessionNls(db); !nls.timestampFormat.empty()) {
    try {
      out = parseDateText(text, nls.timestampFormat, nls.dateFlags());
      return 0;
    } catch (const OraError&) {
    }
  }
  // the session's forms of a DATE, then ".fraction" (X, the radix) after the seconds
  size_t n = text.size();
  while (n > 0 && text[n - 1] == ' ') --n;
  size_t dot = text.find_last_of(".", n);
  int nanos = 0;
  if (dot != std::string_view::npos && dot > 0 && dot + 1 < n && text.find(':') < dot) {
    int scale = 100000000;
    for (size_t k = dot + 1; k < n; ++k, scale /= 10) {
      if (text[k] < '0' || text[k] > '9' || scale == 0) return 1861;
      nanos += (text[k] - '0') * scale;
    }
    n = dot;
  }
  if (int err = sessionParseDate(db, text.substr(0, n), out)) return err;
  out.nanos = nanos;
  return 0;
}

int parseTimestampText(sqlite3* db, std::string_view text, DateTime& out) {
  int err = parsePlainTimestamp(db, text, out);
  if (err == 0) return 0;
  // a value with its zone: its local date and time
  size_t n = text.size();
  while (n > 0 && text[n - 1] == ' ') --n;
  for (int words = 0; words < 2; ++words) {
    size_t sp = n == 0 ? std::string_view::npos : text.find_last_of(' ', n - 1);
    if (sp == std::string_view::npos) break;
    n = sp;
    while (n > 0 && text[n - 1] == ' ') --n;
    Zone z;
    if (parsePlainTimestamp(db, text.substr(0, n), out) == 0 && parseZone(text.substr(sp + 1), z) == 0) return 0;
  }
  return err;
}

int localOffsetMinutes() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return static_cast<int>(tm.tm_gmtoff / 60);
}

} // namespace ora
