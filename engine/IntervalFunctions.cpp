// The SQL functions of INTERVAL values: their arithmetic, with dates and timestamps too,
// NUMTO*INTERVAL, TO_*INTERVAL, EXTRACT, their text, typed writes and SUM / AVG.
#include "FunctionUtil.h"
#include "ConvertOr.h"
#include "TimeZones.h"
#include "Intervals.h"
#include "Number.h"
#include "OraFunctions.h"

#include <cstring>

namespace ora {

namespace fn {

namespace {

struct Iv {
  bool ds = false;
  __int128 v = 0;
};

Iv ivOf(Val* v) {
  Iv r;
  if (sqlite3_value_type(v) == SQLITE_TEXT &&
      parseStoredInterval(std::string_view(reinterpret_cast<const char*>(sqlite3_value_text(v)),
                                           static_cast<size_t>(sqlite3_value_bytes(v))),
                          r.ds, r.v))
    return r;
  throw OraError(932, sqlite3_value_type(v) == SQLITE_TEXT ? "expected INTERVAL got CHAR" : "expected INTERVAL got NUMBER");
}

void resultIv(Ctx* ctx, bool ds, __int128 v) {
  std::string s = storedInterval(ds, v);
  sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

__int128 int128Of(const Num& n) {
  __int128 v;
  const __int128 limit = static_cast<__int128>(1e31);
  if (!ora::int128Of(n, v) || v > limit || v < -limit) throw OraError(1873);
  return v;
}

Num numOf128(__int128 v) { return numFromI128(v, 0); }

// ora_iv_add(a, b) and ora_iv_sub(a, b): intervals of one kind.
template <bool Minus>
void fnIvAdd(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  Iv a = ivOf(argv[0]), b = ivOf(argv[1]);
  if (a.ds != b.ds) throw OraError(30081);
  resultIv(ctx, a.ds, Minus ? a.v - b.v : a.v + b.v);
}

// ora_iv_mul(iv, n) and ora_iv_div(iv, n): months are cut to whole ones, seconds to nanoseconds.
template <bool Divide>
void fnIvScale(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  Iv a = ivOf(argv[0]);
  Num n;
  numOf(argv[1], n);
  Num r = Divide ? div(numOf128(a.v), n) : mul(numOf128(a.v), n);
  if (a.ds) r = roundNum(r, 0);
  resultIv(ctx, a.ds, int128Of(r));
}

void fnIvNeg(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  Iv a = ivOf(argv[0]);
  resultIv(ctx, a.ds, -a.v);
}

// ora_dt_iv(datetime, interval, sign, timestamp): a DATE or TIMESTAMP moved by an interval; a
// year-to-month one keeps the day of month, which the month reached must have.
// A value with its zone: false for a DATE or TIMESTAMP, which has none.
bool zonedValue(Ctx* ctx, Val* v, DateTime& d, Zone& z) {
  if (sqlite3_value_type(v) != SQLITE_TEXT) return false;
  std::string_view t(reinterpret_cast<const char*>(sqlite3_value_text(v)), sqlite3_value_bytes(v));
  if (parseStoredDate(reinterpret_cast<const unsigned char*>(t.data()), static_cast<int>(t.size()), d)) return false;
  if (parseZonedText(sqlite3_context_db_handle(ctx), t, d, z)) return false;
  // text without a zone read in the session's: not ending in the zone's name
  while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
  std::string name = z.abbr.empty() ? zoneName(z) : z.abbr;
  if (t.size() < name.size()) return false;
  for (size_t k = 0; k < name.size(); ++k)
    if (upperChar(static_cast<unsigned char>(t[t.size() - name.size() + k])) != upperChar(static_cast<unsigned char>(name[k])))
      return false;
  return true;
}

void fnDtIv(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  // a zoned value moves by its instant, and keeps its zone
  Zone zone;
  DateTime local;
  bool zoned = zonedValue(ctx, argv[0], local, zone);
  DateTime d = zoned ? fromSeconds(instantOf(local, zone)) : dateOf(ctx, argv[0]);
  if (zoned) d.nanos = local.nanos;
  Iv a = ivOf(argv[1]);
  __int128 by = sqlite3_value_int(argv[2]) < 0 ? -a.v : a.v;
  bool stamp = sqlite3_value_int(argv[3]) != 0;
  DateTime r = d;
  if (!a.ds) {
    __int128 total = static_cast<__int128>(d.year) * 12 + (d.month - 1) + by;
    if (total < 12 || total >= 120000) throw OraError(1841);
    r.year = static_cast<int>(total / 12);
    r.month = static_cast<int>(total % 12) + 1;
    if (r.day > daysInMonth(r.year, r.month)) throw OraError(1839);
  } else {
    __int128 t = static_cast<__int128>(dayNumber(d)) * kNanosPerDay +
                 ((static_cast<__int128>(d.hour) * 60 + d.minute) * 60 + d.second) * kNanosPerSecond + d.nanos + by;
    __int128 days = t / kNanosPerDay, rest = t % kNanosPerDay;
    if (rest < 0) { rest += kNanosPerDay; --days; }
    if (days < daysFromCivil(1, 1, 1) || days > daysFromCivil(9999, 12, 31)) throw OraError(1841);
    civilFromDays(static_cast<int64_t>(days), r.year, r.month, r.day);
    int64_t secs = static_cast<int64_t>(rest / kNanosPerSecond);
    r.hour = static_cast<int>(secs / 3600);
    r.minute = static_cast<int>(secs / 60 % 60);
    r.second = static_cast<int>(secs % 60);
    r.nanos = static_cast<int>(rest % kNanosPerSecond);
  }
  if (!stamp) {
    r.nanos = 0;
    resultDate(ctx, r);
    return;
  }
  if (zoned) {
    DateTime back = fromSeconds(secondsOf(r) + int64_t{offsetAtUtc(zone, secondsOf(r))} * 60);
    back.nanos = r.nanos;
    resultText(ctx, zonedText(back, zoneAt(zone, secondsOf(r))));
    return;
  }
  std::string s = storedTimestamp(r);
  sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

__int128 nanosOf(const DateTime& d) {
  return static_cast<__int128>(dayNumber(d)) * kNanosPerDay +
         ((static_cast<__int128>(d.hour) * 60 + d.minute) * 60 + d.second) * kNanosPerSecond + d.nanos;
}

// ora_dt_diff(a, b): the INTERVAL DAY TO SECOND from b to a.
void fnDtDiff(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  // with a zone on either side, by the instants: a value without one is in the session's zone
  DateTime a, b;
  Zone za, zb;
  bool zoned = zonedValue(ctx, argv[0], a, za);
  zoned = zonedValue(ctx, argv[1], b, zb) || zoned;
  if (zoned) {
    sqlite3* db = sqlite3_context_db_handle(ctx);
    for (int k = 0; k < 2; ++k) {
      DateTime& d = k ? b : a;
      Zone& z = k ? zb : za;
      if (parseZonedText(db, textOf(argv[k]), d, z)) throw OraError(1861);
      DateTime u = fromSeconds(instantOf(d, z));
      u.nanos = d.nanos;
      d = u;
    }
    resultIv(ctx, true, nanosOf(a) - nanosOf(b));
    return;
  }
  resultIv(ctx, true, nanosOf(dateOf(ctx, argv[0])) - nanosOf(dateOf(ctx, argv[1])));
}

// ora_iv_char(iv, lead, frac [, format]): Oracle's text of the value; a format changes nothing.
void fnIvChar(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  Iv a = ivOf(argv[0]);
  resultText(ctx, intervalText(a.ds, a.v, sqlite3_value_int(argv[1]), sqlite3_value_int(argv[2])));
}

// ora_iv_extract(field, iv): the field as a NUMBER, negative for a negative interval.
void fnIvExtract(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[1])) { sqlite3_result_null(ctx); return; }
  Iv a = ivOf(argv[1]);
  std::string f = textOf(argv[0]);
  __int128 m = a.v < 0 ? -a.v : a.v;
  int sign = a.v < 0 ? -1 : 1;
  if (!a.ds) {
    if (f != "YEAR" && f != "MONTH") throw OraError(30076);
    sqlite3_result_int64(ctx, sign * static_cast<int64_t>(f == "YEAR" ? m / 12 : m % 12));
    return;
  }
  __int128 secs = m / kNanosPerSecond;
  if (f == "DAY") sqlite3_result_int64(ctx, sign * static_cast<int64_t>(secs / 86400));
  else if (f == "HOUR") sqlite3_result_int64(ctx, sign * static_cast<int64_t>(secs / 3600 % 24));
  else if (f == "MINUTE") sqlite3_result_int64(ctx, sign * static_cast<int64_t>(secs / 60 % 60));
  else if (f == "SECOND") resultNum(ctx, div(numOf128(sign * (m % (kNanosPerSecond * 60))), numFromInt(1000000000)));
  else throw OraError(30076);
}

IvField unitOf(Val* v, bool ds) {
  std::string u = mapChars(textOf(v), upperChar);
  while (!u.empty() && u.back() == ' ') u.pop_back();
  while (!u.empty() && u.front() == ' ') u.erase(u.begin());
  if (!ds && u == "YEAR") return IvField::Year;
  if (!ds && u == "MONTH") return IvField::Month;
  if (ds && u == "DAY") return IvField::Day;
  if (ds && u == "HOUR") return IvField::Hour;
  if (ds && u == "MINUTE") return IvField::Minute;
  if (ds && u == "SECOND") return IvField::Second;
  throw OraError(1760);
}

template <bool Ds>
void fnNumToInterval(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  Num n;
  numOf(argv[0], n);
  IvField unit = unitOf(argv[1], Ds);
  if (!Ds) n = roundNum(mul(n, numFromInt(unit == IvField::Year ? 12 : 1)), 0), unit = IvField::Month;
  __int128 v = numToInterval(n, unit);
  if (!leadFits(Ds, v, 9)) throw OraError(1873);
  resultIv(ctx, Ds, v);
}

template <bool Ds>
void fnToInterval(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  std::string t = textOf(argv[0]);
  bool ds;
  __int128 v;
  if (parseStoredInterval(t, ds, v)) {
    if (ds != Ds) throw OraError(932, Ds ? "expected INTERVAL DAY TO SECOND got INTERVAL YEAR TO MONTH"
                                         : "expected INTERVAL YEAR TO MONTH got INTERVAL DAY TO SECOND");
  } else if (int err = Ds ? parseDsText(t, v) : parseYmText(t, v)) {
    throw OraError(err);
  }
  if (!leadFits(Ds, v, 9)) throw OraError(1873);
  resultIv(ctx, Ds, v);
}

// SUM and AVG of intervals, also as analytic functions.
struct IvTotal {
  __int128 sum;
  int64_t count;
  int kind; // 0 none yet, 1 year-to-month, 2 day-to-second
};

void totalStep(Ctx* ctx, int, Val** argv) {
  try {
    auto* t = static_cast<IvTotal*>(sqlite3_aggregate_context(ctx, sizeof(IvTotal)));
    if (!t || isNull(argv[0])) return;
    Iv a = ivOf(argv[0]);
    t->kind = a.ds ? 2 : 1;
    t->sum += a.v;
    ++t->count;
  } catch (const OraError& e) {
    sqlite3_result_error(ctx, e.text.c_str(), -1);
  }
}

void totalInverse(Ctx* ctx, int, Val** argv) {
  try {
    auto* t = static_cast<IvTotal*>(sqlite3_aggregate_context(ctx, sizeof(IvTotal)));
    if (!t || isNull(argv[0])) return;
    t->sum -= ivOf(argv[0]).v;
    --t->count;
  } catch (const OraError& e) {
    sqlite3_result_error(ctx, e.text.c_str(), -1);
  }
}

template <bool Avg>
void totalValue(Ctx* ctx) {
  try {
    auto* t = static_cast<IvTotal*>(sqlite3_aggregate_context(ctx, 0));
    if (!t || t->count == 0) { sqlite3_result_null(ctx); return; }
    __int128 v = t->sum;
    if (Avg) {
      Num r = div(numOf128(v), numFromInt(t->count));
      v = int128Of(t->kind == 2 ? roundNum(r, 0) : r);
    }
    resultIv(ctx, t->kind == 2, v);
  } catch (const OraError& e) {
    sqlite3_result_error(ctx, e.text.c_str(), -1);
  }
}

// ora_month_key(datetime): the months since year 0 with the days and time of the month in
// 31sts, the key RANGE windows of months order by; a month earlier is exactly 1 less.
void fnMonthKey(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  DateTime d = dateOf(ctx, argv[0]);
  double day = (d.day - 1) + (((d.hour * 60.0) + d.minute) * 60 + d.second + d.nanos / 1e9) / 86400;
  sqlite3_result_double(ctx, d.year * 12.0 + (d.month - 1) + day / 31);
}

// ora_second_key(datetime): seconds since year 0, whole ones exact, the key RANGE windows of
// day-to-second intervals order by.
void fnSecondKey(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  DateTime d = dateOf(ctx, argv[0]);
  sqlite3_result_double(ctx, static_cast<double>(secondsOf(d)) + d.nanos / 1e9);
}

// ora_stamp_seconds(timestamp): the seconds since 2000-01-01, exactly to the nanosecond; the
// inverse distribution functions place timestamps by it.
void fnStampSeconds(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  DateTime zero;
  zero.year = 2000;
  resultNumExact(ctx, div(numOf128(nanosOf(dateOf(ctx, argv[0])) - nanosOf(zero)), numFromInt(1000000000)));
}

const std::vector<Def> kIntervalDefs = {
    {"ora_month_key", 1, 1, guarded<fnMonthKey>, kNumber},
    {"ora_stamp_seconds", 1, 1, guarded<fnStampSeconds>, kNumber},
    {"ora_second_key", 1, 1, guarded<fnSecondKey>, kNumber},
    {"ora_iv_add", 2, 2, guarded<fnIvAdd<false>>, 0},
    {"ora_iv_sub", 2, 2, guarded<fnIvAdd<true>>, 0},
    {"ora_iv_mul", 2, 2, guarded<fnIvScale<false>>, 0},
    {"ora_iv_div", 2, 2, guarded<fnIvScale<true>>, 0},
    {"ora_iv_neg", 1, 1, guarded<fnIvNeg>, 0},
    {"ora_dt_iv", 4, 4, guarded<fnDtIv>, 0},
    {"ora_dt_diff", 2, 2, guarded<fnDtDiff>, 0},
    {"ora_iv_char", 3, 4, guarded<fnIvChar>, kVarchar2},
    {"ora_iv_extract", 2, 2, guarded<fnIvExtract>, kNumber},
    {"NUMTODSINTERVAL", 2, 2, guarded<fnNumToInterval<true>>, kIntervalDs},
    {"NUMTOYMINTERVAL", 2, 2, guarded<fnNumToInterval<false>>, kIntervalYm},
    // a second argument, the old nlsparam, is taken and has no effect
    {"TO_DSINTERVAL", 1, 2, guarded<fnToInterval<true>>, kIntervalDs},
    {"TO_YMINTERVAL", 1, 1, guarded<fnToInterval<false>>, kIntervalYm},
    {"ora_to_dsinterval_or", 2, 3, guarded<convertOr<fnToInterval<true>>>, kIntervalDs},
    {"ora_to_yminterval_or", 2, 2, guarded<convertOr<fnToInterval<false>>>, kIntervalYm},
    {"ora_validate_dsinterval", 1, 1, guarded<converts<fnToInterval<true>>>, kNumber},
    {"ora_validate_yminterval", 1, 1, guarded<converts<fnToInterval<false>>>, kNumber},
};

} // namespace

const std::vector<Def>& intervalFunctionDefs() { return kIntervalDefs; }

} // namespace fn

void registerIntervalAggregates(sqlite3* db) {
  int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
  sqlite3_create_window_function(db, "ora_iv_sum", 1, flags, nullptr, fn::totalStep, fn::totalValue<false>,
                                 fn::totalValue<false>, fn::totalInverse, nullptr);
  sqlite3_create_window_function(db, "ora_iv_avg", 1, flags, nullptr, fn::totalStep, fn::totalValue<true>,
                                 fn::totalValue<true>, fn::totalInverse, nullptr);
}

} // namespace ora

namespace ora {

void convertInterval(sqlite3_context* ctx, sqlite3_value* v, bool ds, int lead, int frac, const char*) {
  try {
    int type = sqlite3_value_type(v);
    const char* want = ds ? "expected INTERVAL DAY TO SECOND got " : "expected INTERVAL YEAR TO MONTH got ";
    if (type != SQLITE_TEXT) throw OraError(932, std::string(want) + (type == SQLITE_BLOB ? "BINARY" : "NUMBER"));
    std::string_view t(reinterpret_cast<const char*>(sqlite3_value_text(v)), static_cast<size_t>(sqlite3_value_bytes(v)));
    bool storedDs;
    __int128 x;
    if (parseStoredInterval(t, storedDs, x)) {
      if (storedDs != ds) throw OraError(932, std::string(want) + (storedDs ? "INTERVAL DAY TO SECOND" : "INTERVAL YEAR TO MONTH"));
    } else {
      DateTime d;
      if (parseStoredDate(reinterpret_cast<const unsigned char*>(t.data()), static_cast<int>(t.size()), d))
        throw OraError(932, std::string(want) + "DATE");
      if (int err = ds ? parseDsText(t, x) : parseYmText(t, x)) throw OraError(err);
    }
    if (ds) x = roundNanos(x, frac);
    if (!leadFits(ds, x, lead)) throw OraError(1873);
    std::string s = storedInterval(ds, x);
    sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
  } catch (const OraError& e) {
    sqlite3_result_error(ctx, e.text.c_str(), -1);
  }
}

} // namespace ora
