// TIME_BUCKET(datetime, stride, origin [, START | END]): the start (or end) of the bucket of the
// grid laid from origin in steps of stride that holds datetime. A datetime and origin given as
// numbers are seconds since 1970 (epoch time) and so is the answer.
#include "FunctionUtil.h"
#include "Intervals.h"
#include "Number.h"
#include "TimeBucket.h"

#include <string>

namespace ora::fn {

namespace {

__int128 nanosOf(const DateTime& d) {
  return static_cast<__int128>(dayNumber(d)) * kNanosPerDay +
         ((static_cast<__int128>(d.hour) * 60 + d.minute) * 60 + d.second) * kNanosPerSecond + d.nanos;
}

DateTime fromNanos(__int128 n) {
  __int128 days = n / kNanosPerDay, rest = n % kNanosPerDay;
  if (rest < 0) rest += kNanosPerDay, --days;
  DateTime d = fromDays(static_cast<int64_t>(days));
  int64_t secs = static_cast<int64_t>(rest / kNanosPerSecond);
  d.hour = static_cast<int>(secs / 3600);
  d.minute = static_cast<int>(secs / 60 % 60);
  d.second = static_cast<int>(secs % 60);
  d.nanos = static_cast<int>(rest % kNanosPerSecond);
  return d;
}

__int128 floorDiv(__int128 a, __int128 b) {
  __int128 q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

// The stride: an interval value or ISO 8601 text (P1Y2M, P1DT2H, PT15M).
void strideOf(Val* v, bool& ds, __int128& amount) {
  if (sqlite3_value_type(v) != SQLITE_TEXT) throw OraError(932, "expected INTERVAL got NUMBER");
  std::string s = textOf(v);
  if (parseStoredInterval(s, ds, amount)) return;
  if (s.empty() || s[0] != 'P') throw OraError(932, "expected INTERVAL got CHAR");
  // P1Y2M counts months; a text with days or a time part (P2D, PT15M) counts nanoseconds
  if (s.find_first_of("DT") == std::string::npos) {
    if (int err = parseYmText(s, amount)) throw OraError(err);
    ds = false;
    return;
  }
  if (int err = parseDsText(s, amount)) throw OraError(err);
  ds = true;
}

// months since year 0
int64_t monthIndex(const DateTime& d) { return int64_t{d.year} * 12 + (d.month - 1); }

DateTime addMonths(const DateTime& d, int64_t months) {
  int64_t m = monthIndex(d) + months;
  DateTime r = d;
  r.year = static_cast<int>(m >= 0 ? m / 12 : (m - 11) / 12);
  r.month = static_cast<int>(m - int64_t{r.year} * 12) + 1;
  int last = daysInMonth(r.year, r.month);
  if (r.day > last) r.day = last;
  return r;
}

void fnTimeBucket(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) {
    sqlite3_result_null(ctx);
    return;
  }
  bool end = false;
  if (argc > 3) {
    std::string mode = textOf(argv[3]);
    if (mode == "END") end = true;
    else if (mode != "START") throw OraError(907);
  }
  bool ds;
  __int128 stride;
  strideOf(argv[1], ds, stride);
  if (stride <= 0) throw OraError(1867);
  bool epoch = isNumber(argv[0]);
  if (epoch != isNumber(argv[2])) throw OraError(932, epoch ? "expected NUMBER got DATE" : "expected DATE got NUMBER");
  if (epoch) {
    if (!ds) throw OraError(932, "expected INTERVAL DAY TO SECOND got INTERVAL YEAR TO MONTH");
    int64_t at = intOf(argv[0]), from = intOf(argv[2]);
    __int128 step = stride / kNanosPerSecond;
    if (step <= 0 || stride % kNanosPerSecond != 0) throw OraError(1867);
    __int128 start = from + floorDiv(at - from, step) * step + (end ? step : 0);
    sqlite3_result_int64(ctx, static_cast<int64_t>(start));
    return;
  }
  DateTime at = dateOf(ctx, argv[0]), from = dateOf(ctx, argv[2]);
  DateTime r;
  if (ds) {
    __int128 n = floorDiv(nanosOf(at) - nanosOf(from), stride);
    r = fromNanos(nanosOf(from) + (n + (end ? 1 : 0)) * stride);
  } else {
    // whole months from origin, one less when datetime stands earlier in its month than origin
    int64_t months = monthIndex(at) - monthIndex(from);
    DateTime probe = addMonths(from, months);
    if (nanosOf(probe) > nanosOf(at)) --months;
    int64_t n = static_cast<int64_t>(floorDiv(months, stride));
    r = addMonths(from, (n + (end ? 1 : 0)) * static_cast<int64_t>(stride));
  }
  if (r.year < 1 || r.year > 9999) throw OraError(1841);
  resultText(ctx, storedTimestamp(r));
}

} // namespace

const std::vector<Def>& timeBucketDefs() {
  static const std::vector<Def> defs = {{"TIME_BUCKET", 3, 4, guarded<fnTimeBucket>, 0}};
  return defs;
}

} // namespace ora::fn
