// CEIL, FLOOR, ROUND and TRUNC of INTERVAL values: to whole years of a year-to-month value, to
// whole days, hours or minutes of a day-to-second one, as the format model names the unit.
#include "IntervalRounding.h"

#include "CType.h"
#include "Intervals.h"

#include <string>

namespace ora::fn {

namespace {

// The unit of the format model in months or nanoseconds; ORA-01821 for a unit the kind has not.
__int128 unitOf(bool ds, Ctx*, int argc, Val** argv) {
  std::string f = argc > 1 ? textOf(argv[1]) : std::string();
  for (auto& c : f) c = static_cast<char>(ora::upperC(static_cast<unsigned char>(c)));
  if (!ds) {
    static const char* const years[] = {"YEAR", "SYEAR", "YYYY", "SYYYY", "YYY", "YY", "Y"};
    if (f.empty()) return 12;
    for (const char* y : years)
      if (f == y) return 12;
    throw OraError(1821);
  }
  if (f.empty() || f == "DD" || f == "DDD" || f == "J") return kNanosPerDay;
  if (f == "HH" || f == "HH12" || f == "HH24") return kNanosPerSecond * 3600;
  if (f == "MI") return kNanosPerSecond * 60;
  throw OraError(1821);
}

__int128 floorDiv(__int128 a, __int128 b) {
  __int128 q = a / b;
  if (a % b != 0 && (a < 0) != (b < 0)) --q;
  return q;
}

} // namespace

bool roundInterval(Ctx* ctx, int argc, Val** argv, IntervalRound how) {
  if (sqlite3_value_type(argv[0]) != SQLITE_TEXT) return false;
  bool ds;
  __int128 v;
  if (!parseStoredInterval(textOf(argv[0]), ds, v)) return false;
  if (argc > 1 && isNull(argv[1])) {
    sqlite3_result_null(ctx);
    return true;
  }
  __int128 unit = unitOf(ds, ctx, argc, argv), r = 0;
  switch (how) {
  case IntervalRound::Trunc: r = v / unit * unit; break;
  case IntervalRound::Floor: r = floorDiv(v, unit) * unit; break;
  case IntervalRound::Ceil: r = -floorDiv(-v, unit) * unit; break;
  case IntervalRound::Round: {
    // halves go away from zero: 6 months make a year, 12 hours a day, 30 minutes or seconds the next
    __int128 m = v < 0 ? -v : v;
    m = (m + unit / 2) / unit * unit;
    r = v < 0 ? -m : m;
    break;
  }
  }
  // nine digits of years or days are the most an interval has
  if (!leadFits(ds, r, 9)) throw OraError(1873);
  resultText(ctx, storedInterval(ds, r));
  return true;
}

} // namespace ora::fn
