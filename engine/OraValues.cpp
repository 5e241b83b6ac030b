// Oracle's values kept in SQLite: the conversion of a value to its column's type, dates and the
// statement's clock, ROWIDs, and the SQL functions that give them.
#include "OraValues.h"
#include "ConstraintErrors.h"
#include "TimeZones.h"
#include "Collections.h"
#include "Booleans.h"

#include "CType.h"
#include "Charset.h"

#include <algorithm>
#include <new>

#include "FunctionUtil.h"
#include "Intervals.h"
#include "Number.h"
#include "NumberFits.h"
#include "ObjectTypes.h"
#include "OraError.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sqlite3.h>

namespace ora {

namespace {

bool daysOk(int y, int m, int d) {
  static const int dim[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int max = dim[m - 1];
  if (m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0)) max = 29;
  return d >= 1 && d <= max;
}

} // namespace


namespace {

// The stored form of a date in `b`; its length.
size_t writeStoredDate(const DateTime& d, char (&b)[80]);

// The column ora_conv is converting a value for, while it does; the one whose value it refused.
thread_local const char* convertingFor = nullptr;
thread_local std::string refusedFor;

void fail(sqlite3_context* ctx, int code, const std::string& detail = {}) {
  if (convertingFor) refusedFor = convertingFor;
  OraError e(code, detail);
  sqlite3_result_error(ctx, e.text.c_str(), -1);
}

void tooLarge(sqlite3_context* ctx, const char* label, size_t actual, int maximum) {
  fail(ctx, 12899, std::string(label) + " (actual: " + std::to_string(actual) + ", maximum: " +
                       std::to_string(maximum) + ")");
}

int hexVal(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// ora_conv(value, code, size, precision, scale, hasScale, label): the value as the column
// stores it, or an Oracle error. Precision -1: a NUMBER without precision kept as decimal text;
// hasScale 2: a FLOAT kept so.
void oraConv(sqlite3_context* ctx, int, sqlite3_value** argv) {
  sqlite3_value* v = argv[0];
  int type = sqlite3_value_type(v);
  if (type == SQLITE_NULL) { sqlite3_result_null(ctx); return; }
  int code = sqlite3_value_int(argv[1]);
  int size = sqlite3_value_int(argv[2]);
  int precision = sqlite3_value_int(argv[3]);
  bool asText = precision < 0;
  if (asText) precision = 0;
  int scale = sqlite3_value_int(argv[4]);
  bool hasScale = sqlite3_value_int(argv[5]) != 0;
  asText = asText || sqlite3_value_int(argv[5]) == 2; // a FLOAT of more digits than a double keeps
  const char* label = reinterpret_cast<const char*>(sqlite3_value_text(argv[6]));
  if (type == SQLITE_TEXT && code != 108 && sqlite3_value_bytes(v) > 1 && sqlite3_value_text(v)[0] == kObjMark) {
    // an object or a REF is no value of a column of another type
    std::string obj(reinterpret_cast<const char*>(sqlite3_value_text(v)) + 1);
    fail(ctx, 932, std::string("expected ") + (code == kNumber ? "NUMBER" : code == kDate ? "DATE" : "CHAR") + " got " +
                       (obj[0] == kRefTag ? std::string("REF") : obj.substr(0, obj.find('('))));
    return;
  }

  switch (code) {
  case kBoolean:
    booleanConv(ctx, v);
    return;
  case 108:
    if (type != SQLITE_BLOB || !isCollectionBlob(sqlite3_value_blob(v), sqlite3_value_bytes(v))) {
      fail(ctx, 932, std::string("expected UDT got ") + (type == SQLITE_TEXT ? "CHAR" : type == SQLITE_BLOB ? "BINARY" : "NUMBER"));
      return;
    }
    sqlite3_result_value(ctx, v);
    return;
  case kNumber: {
    Decimal d;
    bool plainColumn = !asText && !(hasScale && scale == kFloatScale) && (!hasScale || scale >= 0) && ![&] {
      ColType w;
      w.code = kNumber, w.precision = precision, w.scale = scale, w.hasScale = hasScale;
      return w.isWide();
    }();
    if (type == SQLITE_INTEGER) {
      if (precision == 0) { sqlite3_result_value(ctx, v); return; }
      int64_t i = sqlite3_value_int64(v);
      if (plainColumn && wholeFitsAsIs(i, precision, hasScale ? scale : 0)) { sqlite3_result_value(ctx, v); return; }
      d = fromInteger(i);
    } else if (type == SQLITE_FLOAT) {
      double x = sqlite3_value_double(v);
      if (!std::isfinite(x)) { fail(ctx, 1722); return; }
      if (plainColumn && doubleFitsAsIs(x, precision, hasScale ? scale : 0)) { sqlite3_result_double(ctx, x); return; }
      d = fromDouble(x);
    } else if (type == SQLITE_TEXT) {
      const char* t = reinterpret_cast<const char*>(sqlite3_value_text(v));
      if (!parseDecimal(t, d)) { fail(ctx, 1722); return; }
    } else {
      fail(ctx, 932, "RAW value into a NUMBER column");
      return;
    }
    if (!numberInRange(d)) { fail(ctx, 1426); return; }
    if (hasScale && scale == kFloatScale) {
      // FLOAT keeps significant digits, wherever the point is
      roundTo(d, floatDigits(precision) - d.point);
    } else if (precision > 0 || hasScale) {
      roundTo(d, hasScale ? scale : 0);
      if (precision > 0 && !d.zero() && d.point > precision - (hasScale ? scale : 0)) {
        fail(ctx, 1438);
        return;
      }
    }
    if (asText) roundToNumber(d);
    if (asText || (precision > 0 && [&] {
                      ColType w;
                      w.code = kNumber, w.precision = precision, w.scale = scale, w.hasScale = hasScale;
                      return w.isWide();
                    }())) {
      std::string t = plainText(d);
      // as Oracle writes it: ".5", "-.5"
      if (size_t z = t.rfind("0.", 1); z != std::string::npos && (z == 0 || t[0] == '-')) t.erase(z, 1);
      sqlite3_result_text(ctx, t.data(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
      return;
    }
    resultDecimal(ctx, d);
    return;
  }
  case kVarchar2:
  case kChar:
  case kLong:
  case kRowid: {
    if (type == SQLITE_TEXT && code == kVarchar2 && size > 0 && sqlite3_value_subtype(v) == 0) {
      // text that fits is stored as it came, without a copy
      const char* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
      int n = sqlite3_value_bytes(v);
      if (p && n > 0 && byteLength(std::string_view(p, static_cast<size_t>(n)), *static_cast<const Charset*>(sqlite3_user_data(ctx))) <= size) {
        sqlite3_result_value(ctx, v);
        return;
      }
    }
    std::string t;
    if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) t = numberText(v);
    else if (type == SQLITE_BLOB)
      t = hexText(static_cast<const unsigned char*>(sqlite3_value_blob(v)), sqlite3_value_bytes(v));
    else {
      t.assign(reinterpret_cast<const char*>(sqlite3_value_text(v)), sqlite3_value_bytes(v));
    }
    if ((code == kVarchar2 || code == kChar) && size < 0) {
      // a (n CHAR) limit counts characters, still within the type's most bytes
      const int64_t chars = -size;
      int64_t count = 0;
      size_t cut = t.size();
      for (size_t i = 0; i < t.size(); ++i)
        if ((static_cast<unsigned char>(t[i]) & 0xC0) != 0x80 && ++count == chars + 1) cut = i;
      if (count > chars && std::strcmp(label, "CAST VALUE") == 0) {
        fail(ctx, 25137);
        return;
      }
      if (count > chars && std::strcmp(label, "CAST") == 0) {
        t.resize(cut);
        count = chars;
      }
      if (code == kChar && count < chars) t.append(static_cast<size_t>(chars - count), ' ');
      if (count > chars) {
        tooLarge(ctx, label, static_cast<size_t>(count), static_cast<int>(chars));
        return;
      }
      Charset cs = *static_cast<const Charset*>(sqlite3_user_data(ctx));
      const int64_t most = code == kChar ? 2000 : 4000;
      if (int64_t bytes = byteLength(t, cs); bytes > most) {
        tooLarge(ctx, label, static_cast<size_t>(bytes), static_cast<int>(most));
        return;
      }
    } else if (code == kVarchar2 || code == kChar) {
      // lengths count in the database's character set, whatever the stored form
      Charset cs = *static_cast<const Charset*>(sqlite3_user_data(ctx));
      int64_t bytes = byteLength(t, cs);
      if (bytes > size && std::strcmp(label, "CAST VALUE") == 0) {
        fail(ctx, 25137);
        return;
      }
      if (bytes > size && std::strcmp(label, "CAST") == 0) {
        // CAST cuts text to the length it names, at a character's start
        std::vector<int64_t> setAt;
        std::vector<size_t> utf8At;
        byteMap(t, cs, setAt, utf8At);
        size_t k = 0;
        while (k + 1 < setAt.size() && setAt[k + 1] <= size) ++k;
        t.resize(utf8At[k]);
        bytes = setAt[k];
      }
      if (code == kChar && bytes < size) t.append(static_cast<size_t>(size - bytes), ' ');
      if (bytes > size) {
        tooLarge(ctx, label, static_cast<size_t>(bytes), size);
        return;
      }
    }
    // an empty LOB (EMPTY_CLOB()) is no NULL
    if (t.empty() && !(code == kLong && size < 0)) { sqlite3_result_null(ctx); return; }
    sqlite3_result_text(ctx, t.data(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
    return;
  }
  case kDate: {
    if (type != SQLITE_TEXT) {
      fail(ctx, 932, type == SQLITE_BLOB ? "expected DATE got BINARY" : "expected DATE got NUMBER");
      return;
    }
    auto t = reinterpret_cast<const unsigned char*>(sqlite3_value_text(v));
    int n = sqlite3_value_bytes(v);
    DateTime dt;
    if (!parseStoredDate(t, n, dt)) {
      std::string_view text(reinterpret_cast<const char*>(t), n);
      int err = sessionParseDate(sqlite3_context_db_handle(ctx), text, dt);
      // a TIMESTAMP WITH TIME ZONE gives its local date and time
      if (err && parseTimestampText(sqlite3_context_db_handle(ctx), text, dt) == 0) err = 0, dt.nanos = 0;
      if (err) { fail(ctx, err); return; }
    } else if (n == 19) {
      sqlite3_result_value(ctx, v);
      return;
    }
    // text read in the session's form, or a TIMESTAMP without its fraction
    char s[80];
    sqlite3_result_text(ctx, s, static_cast<int>(writeStoredDate(dt, s)), SQLITE_TRANSIENT);
    return;
  }
  case kTimestamp:
  case kTimestampTz: {
    if (type != SQLITE_TEXT) {
      fail(ctx, 932, type == SQLITE_BLOB ? "expected TIMESTAMP got BINARY" : "expected TIMESTAMP got NUMBER");
      return;
    }
    std::string_view text(reinterpret_cast<const char*>(sqlite3_value_text(v)), sqlite3_value_bytes(v));
    DateTime dt;
    Zone zone;
    sqlite3* db = sqlite3_context_db_handle(ctx);
    if (int err = code == kTimestampTz ? parseZonedText(db, text, dt, zone) : parseTimestampText(db, text, dt)) {
      fail(ctx, err);
      return;
    }
    // the column keeps `scale` digits of the fraction, rounded
    dt = roundFraction(dt, scale);
    if (dt.year > 9999) { fail(ctx, 1841); return; }
    std::string s = code == kTimestampTz ? zonedText(dt, zone) : storedTimestamp(dt);
    sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
    return;
  }
  case kIntervalYm:
  case kIntervalDs:
    convertInterval(ctx, v, code == kIntervalDs, precision, scale, label);
    return;
  case kRaw:
  case kLongRaw: {
    if (type == SQLITE_BLOB) {
      if (code == kRaw && sqlite3_value_bytes(v) > size && std::strcmp(label, "CAST VALUE") == 0) {
        fail(ctx, 25137);
        return;
      }
      if (code == kRaw && sqlite3_value_bytes(v) > size) {
        tooLarge(ctx, label, static_cast<size_t>(sqlite3_value_bytes(v)), size);
        return;
      }
      sqlite3_result_value(ctx, v);
      return;
    }
    // Text is read as hexadecimal digits, as Oracle converts it.
    std::string t(reinterpret_cast<const char*>(sqlite3_value_text(v)), sqlite3_value_bytes(v));
    if (t.size() % 2) t.insert(t.begin(), '0');
    std::string bytes;
    for (size_t i = 0; i < t.size(); i += 2) {
      int hi = hexVal(t[i]), lo = hexVal(t[i + 1]);
      if (hi < 0 || lo < 0) { fail(ctx, 1465); return; }
      bytes += static_cast<char>(hi * 16 + lo);
    }
    if (code == kRaw && static_cast<int>(bytes.size()) > size && std::strcmp(label, "CAST VALUE") == 0) {
      fail(ctx, 25137);
      return;
    }
    if (code == kRaw && static_cast<int>(bytes.size()) > size) {
      tooLarge(ctx, label, bytes.size(), size);
      return;
    }
    if (bytes.empty()) { sqlite3_result_null(ctx); return; }
    sqlite3_result_blob(ctx, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
    return;
  }
  default:
    sqlite3_result_value(ctx, v);
  }
}

void oraSysdate(sqlite3_context* ctx, int, sqlite3_value**) {
  std::string s = storedDate(statementNow());
  sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

void oraSystimestamp(sqlite3_context* ctx, int, sqlite3_value**) {
  std::string s = storedTimestamp(statementNow());
  sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

void oraRowid(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[1]) == SQLITE_NULL) { sqlite3_result_null(ctx); return; }
  std::string s = encodeRowid(sqlite3_value_int64(argv[0]), sqlite3_value_int64(argv[1]));
  sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

const char kB64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// ROWID text to the row number of the table with object number argv[1]; NULL for another
// table's ROWID.
void oraRowidNum(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) { sqlite3_result_null(ctx); return; }
  const unsigned char* p = sqlite3_value_text(argv[0]);
  int64_t obj, rowid;
  if (!decodeRowid(std::string_view(reinterpret_cast<const char*>(p), sqlite3_value_bytes(argv[0])), obj, rowid)) {
    std::string e = errorText(1410);
    sqlite3_result_error(ctx, e.c_str(), -1);
    return;
  }
  if (obj != sqlite3_value_int64(argv[1])) sqlite3_result_null(ctx);
  else sqlite3_result_int64(ctx, rowid);
}

// Nothing thrown inside a function may unwind through SQLite's C frames.
template <void (*F)(sqlite3_context*, int, sqlite3_value**)>
void guardedFn(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  try {
    F(ctx, argc, argv);
  } catch (const std::bad_alloc&) {
    sqlite3_result_error_nomem(ctx);
  } catch (...) {
    sqlite3_result_error(ctx, "ORA-00600: internal error in a conversion", -1);
  }
}

// Orders decimal texts by value; anything that is no number after every number, by its bytes.
int numberCollate(void*, int n1, const void* p1, int n2, const void* p2) {
  std::string_view a(static_cast<const char*>(p1), static_cast<size_t>(n1));
  std::string_view b(static_cast<const char*>(p2), static_cast<size_t>(n2));
  // whole non-negative numbers as stored (no sign, no leading zero): by length, then by digits
  auto whole = [](std::string_view s) {
    if (s.empty() || (s[0] == '0' && s.size() > 1)) return false;
    for (char c : s)
      if (c < '0' || c > '9') return false;
    return true;
  };
  if (whole(a) && whole(b)) {
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    int c = a.compare(b);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
  }
  Decimal x, y;
  bool nx = parseDecimal(a, x), ny = parseDecimal(b, y);
  if (!nx || !ny) {
    if (nx != ny) return nx ? -1 : 1;
    return a.compare(b);
  }
  return fn::compareDecimal(x, y);
}

} // namespace

int parseDate(std::string_view s, DateTime& out) {
  size_t i = 0, n = s.size();
  while (i < n && s[i] == ' ') ++i;
  while (n > i && s[n - 1] == ' ') --n;
  auto num = [&](int maxDigits, int& v) {
    int k = 0;
    v = 0;
    while (i < n && k < maxDigits && ora::digitC(static_cast<unsigned char>(s[i]))) {
      v = v * 10 + (s[i++] - '0');
      ++k;
    }
    return k;
  };
  DateTime d;
  int yd = num(4, d.year);
  if (yd != 2 && yd != 4) return 1861;
  if (yd == 2) {
    // RR: two-digit years near the current one.
    int cur = nowLocal().year, c = cur / 100, yy = cur % 100;
    int century = c;
    if (yy < 50 && d.year >= 50) century = c - 1;
    else if (yy >= 50 && d.year < 50) century = c + 1;
    d.year += century * 100;
  }
  // text that ends before the month or the day is too short for the format
  if (i >= n) return 1840;
  if (s[i] != '-' && s[i] != '/') return 1861;
  char sep = s[i++];
  if (!num(2, d.month)) return i >= n ? 1840 : 1861;
  if (i >= n) return 1840;
  if (s[i] != sep) return 1861;
  ++i;
  if (!num(2, d.day)) return i >= n ? 1840 : 1861;
  if (i < n) {
    if (s[i] != ' ' && s[i] != 'T') return 1830;
    while (i < n && (s[i] == ' ' || s[i] == 'T')) ++i;
    if (!num(2, d.hour)) return 1861;
    if (i >= n || s[i] != ':') return 1861;
    ++i;
    if (!num(2, d.minute)) return 1861;
    if (i < n) {
      if (s[i] != ':') return 1830;
      ++i;
      if (!num(2, d.second)) return 1861;
    }
    if (i != n) return 1830;
  }
  if (d.year == 0) return 1841;
  if (d.month < 1 || d.month > 12) return 1843;
  if (!daysOk(d.year, d.month, d.day)) return d.day >= 1 && d.day <= 31 ? 1839 : 1847;
  if (d.hour > 23) return 1850;
  if (d.minute > 59) return 1851;
  if (d.second > 59) return 1852;
  out = d;
  return 0;
}

bool parseStoredDate(const unsigned char* s, int len, DateTime& d) {
  d.nanos = 0;
  if (len > 19 && len <= 29 && s[19] == '.') {
    int scale = 100000000;
    for (int k = 20; k < len; ++k, scale /= 10) {
      if (s[k] < '0' || s[k] > '9') return false;
      d.nanos += (s[k] - '0') * scale;
    }
    len = 19;
  }
  if (len != 19 || s[4] != '-' || s[7] != '-' || s[10] != ' ' || s[13] != ':' || s[16] != ':')
    return false;
  auto two = [&](int at) { return (s[at] - '0') * 10 + (s[at + 1] - '0'); };
  for (int k : {0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18})
    if (s[k] < '0' || s[k] > '9') return false;
  d.year = two(0) * 100 + two(2);
  d.month = two(5);
  d.day = two(8);
  d.hour = two(11);
  d.minute = two(14);
  d.second = two(17);
  return d.year > 0 && d.month >= 1 && d.month <= 12 && daysOk(d.year, d.month, d.day) &&
         d.hour < 24 && d.minute < 60 && d.second < 60;
}

namespace {
size_t writeStoredDate(const DateTime& d, char (&b)[80]) {
  if (d.year >= 0 && d.year <= 9999 && d.month >= 0 && d.month <= 99 && d.day >= 0 && d.day <= 99 &&
      d.hour >= 0 && d.hour <= 99 && d.minute >= 0 && d.minute <= 99 && d.second >= 0 && d.second <= 99) {
    // every row of a load meets this: digits without the printf machinery
    auto two = [&](size_t at, int v, char after) {
      b[at] = static_cast<char>('0' + v / 10);
      b[at + 1] = static_cast<char>('0' + v % 10);
      b[at + 2] = after;
    };
    two(0, d.year / 100, '0');
    two(2, d.year % 100, '-');
    two(5, d.month, '-');
    two(8, d.day, ' ');
    two(11, d.hour, ':');
    two(14, d.minute, ':');
    two(17, d.second, '\0');
    return 19;
  }
  int n = std::snprintf(b, sizeof b, "%04d-%02d-%02d %02d:%02d:%02d", d.year, d.month, d.day, d.hour,
                        d.minute, d.second);
  return n < 0 ? 0 : std::min(static_cast<size_t>(n), sizeof b - 1);
}
} // namespace

std::string storedDate(const DateTime& d) {
  char b[80];
  return std::string(b, writeStoredDate(d, b));
}

std::string defaultDateText(const DateTime& d) {
  char b[48];
  std::snprintf(b, sizeof b, "%02d-%02d-%02d", d.year % 100, d.month, d.day);
  return b;
}

namespace {
thread_local StatementTime* tStatementNow = nullptr;
}

StatementClock::StatementClock(StatementTime& now) : prev_(tStatementNow) { tStatementNow = &now; }
StatementClock::~StatementClock() { tStatementNow = prev_; }
DateTime statementNow() {
  if (!tStatementNow) return nowLocal();
  if (!tStatementNow->taken) {
    tStatementNow->t = nowLocal();
    tStatementNow->taken = true;
  }
  return tStatementNow->t;
}

DateTime nowLocal() {
  std::timespec ts{};
  std::timespec_get(&ts, TIME_UTC);
  std::time_t t = ts.tv_sec;
  std::tm tm{};
  localtime_r(&t, &tm);
  DateTime d;
  d.year = tm.tm_year + 1900;
  d.month = tm.tm_mon + 1;
  d.day = tm.tm_mday;
  d.hour = tm.tm_hour;
  d.minute = tm.tm_min;
  d.second = tm.tm_sec;
  d.nanos = static_cast<int>(ts.tv_nsec / 1000 * 1000); // microseconds, as SYSTIMESTAMP keeps
  return d;
}



std::string integerText(int64_t v) {
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

std::string realText(double v) {
  if (!std::isfinite(v)) return std::isnan(v) ? "Nan" : v > 0 ? "Inf" : "-Inf"; // a BINARY_DOUBLE's
  Num whole;
  if (exactBehind(v, whole)) return numText(whole);
  if (v == std::floor(v) && std::fabs(v) < 1e15) return integerText(static_cast<int64_t>(v));
  // The shortest text that reads back as the value, without Oracle's leading zero; the exact
  // decimal path only for what comes out in exponent form.
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  if (r.ec != std::errc() || std::memchr(buf, 'e', static_cast<size_t>(r.ptr - buf))) return numText(numFromDouble(v));
  std::string_view t(buf, static_cast<size_t>(r.ptr - buf));
  if (t.rfind("0.", 0) == 0) return std::string(t.substr(1));
  if (t.rfind("-0.", 0) == 0) {
    std::string out(1, '-');
    out.append(t.substr(2));
    return out;
  }
  return std::string(t);
}

std::string numberText(sqlite3_value* v) {
  switch (sqlite3_value_type(v)) {
  case SQLITE_INTEGER: return integerText(sqlite3_value_int64(v));
  case SQLITE_FLOAT: return realText(sqlite3_value_double(v));
  case SQLITE_NULL: return "";
  default: return reinterpret_cast<const char*>(sqlite3_value_text(v));
  }
}

std::string hexText(const unsigned char* p, int n) {
  static const char* hx = "0123456789ABCDEF";
  std::string t;
  t.reserve(static_cast<size_t>(n) * 2);
  for (int i = 0; i < n; ++i) {
    t += hx[p[i] >> 4];
    t += hx[p[i] & 15];
  }
  return t;
}

int utf8Prefix(const char* s, int len, int max) {
  if (len <= max) return len;
  int n = max;
  while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
  return n;
}

namespace {

// ora_conv, remembering which column it converts for
void oraConvFor(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  convertingFor = reinterpret_cast<const char*>(sqlite3_value_text(argv[6]));
  struct Done {
    ~Done() { convertingFor = nullptr; }
  } done;
  oraConv(ctx, argc, argv);
}

} // namespace

std::string takeRefusedColumn() {
  std::string out;
  out.swap(refusedFor);
  return out;
}

void registerFunctions(sqlite3* db, Charset cs) {
  sqlite3_create_function(db, "ora_conv", 7, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                          const_cast<Charset*>(charsetConstant(cs)), guardedFn<oraConvFor>,
                          nullptr, nullptr);
  sqlite3_create_collation(db, "ORA_NUMBER", SQLITE_UTF8, nullptr, numberCollate);
  sqlite3_create_collation(db, "ORA_SJIS", SQLITE_UTF8, nullptr, sjisCollate);
  rememberCharset(db, cs);
  sqlite3_create_function(db, "ora_sysdate", 0, SQLITE_UTF8, nullptr, guardedFn<oraSysdate>, nullptr, nullptr);
  sqlite3_create_function(db, "ora_systimestamp", 0, SQLITE_UTF8, nullptr, guardedFn<oraSystimestamp>, nullptr, nullptr);
  sqlite3_create_function(db, "ora_rowid", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, guardedFn<oraRowid>,
                          nullptr, nullptr);
  sqlite3_create_function(db, "ora_rowid_num", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, guardedFn<oraRowidNum>,
                          nullptr, nullptr);
}

std::string encodeRowid(int64_t obj, int64_t rowid) {
  std::string s(18, 'A');
  auto u = static_cast<uint64_t>(obj);
  for (int i = 5; i >= 0; --i) { s[i] = kB64[u & 63]; u >>= 6; }
  auto r = static_cast<uint64_t>(rowid);
  for (int i = 17; i >= 6; --i) { s[i] = kB64[r & 63]; r >>= 6; }
  return s;
}

bool decodeRowid(std::string_view text, int64_t& obj, int64_t& rowid) {
  if (text.size() != 18) return false;
  uint64_t o = 0, r = 0;
  for (int i = 0; i < 18; ++i) {
    const char* p = std::strchr(kB64, text[i]);
    if (!p || !*p) return false;
    uint64_t v = static_cast<uint64_t>(p - kB64);
    if (i < 6) o = (o << 6) | v;
    else r = (r << 6) | v;
  }
  obj = static_cast<int64_t>(o);
  rowid = static_cast<int64_t>(r);
  return true;
}

} // namespace ora
