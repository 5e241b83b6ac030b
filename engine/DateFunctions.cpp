// Oracle's date functions (ADD_MONTHS, MONTHS_BETWEEN, NEXT_DAY, ...), date arithmetic and
// ROUND and TRUNC of a date.
#include "FunctionUtil.h"
#include "Number.h"
#include "OraError.h"
#include "OraValues.h"

#include <cmath>
#include <initializer_list>
#include <string>

namespace ora::fn {

DateTime roundDate(const DateTime& d, const std::string& fmtIn, bool round, int dateFlags) {
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
    // weeks start on the territory's first day (D), Monday (IW), or the weekday of the year's (WW)
    // or month's (W) first day
    int64_t first = f == "WW" ? daysFromCivil(d.year, 1, 1) : daysFromCivil(d.year, d.month, 1);
    int back = f == "IW"                 ? (weekday(d) + 6) % 7
               : f == "WW" || f == "W" ? static_cast<int>((day - first) % 7)
                                         : (weekday(d) + (dateFlags & kMondayFirst ? 6 : 0)) % 7;
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
  // a date element that is no unit to round to (SS, AM, ...) is a bad precision
  std::vector<FmtElem> elems;
  try {
    elems = parseDateFormat(f);
  } catch (const OraError&) {
    throw OraError(1821);
  }
  for (const FmtElem& e : elems)
    if (e.kind != Fe::Lit && e.kind != Fe::Fm && e.kind != Fe::Fx) throw OraError(1899);
  throw OraError(1821);
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

// A year-to-month interval keeps the day of month, unlike ADD_MONTHS: a day the month lacks is an error.
void fnDateAddMonths(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  DateTime d = dateOf(ctx, argv[0]);
  int64_t total = static_cast<int64_t>(d.year) * 12 + (d.month - 1) + intOf(argv[1]);
  if (total < 12 || total >= 120000) throw OraError(1841);
  DateTime r = d;
  r.year = static_cast<int>(total / 12);
  r.month = static_cast<int>(total % 12) + 1;
  if (r.day > daysInMonth(r.year, r.month)) throw OraError(1839);
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
  // in exact decimal, so the fraction is the nearest one to its 31sts
  Num r = add(numFromInt(months), div(numFromInt(secs), numFromInt(31 * 86400)));
  // a result column takes every digit; inside an expression a double will do
  if (sqlite3_user_data(ctx)) resultNumExact(ctx, r);
  else resultNum(ctx, r);
}

void fnLastDay(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  DateTime d = dateOf(ctx, argv[0]);
  d.day = daysInMonth(d.year, d.month);
  resultDate(ctx, d);
}

// The session language's names and abbreviations; English names by at least their three-letter
// abbreviation, any case, whatever follows it ('THURS'); Japanese 日..土 with an optional 曜 or 曜日.
int parseDayName(std::string name, int lang) {
  name = trimChars(name, {' '}, true, true);
  if (int k = dayNamed(name, lang); k >= 0) return k;
  static const char* const en[] = {"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"};
  std::string up = mapChars(name, upperChar);
  for (int k = 0; k < 7; ++k)
    if (up.compare(0, 3, en[k], 3) == 0 && up.size() >= 3) return k;
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
  int want = parseDayName(textOf(argv[1]), sessionNls(sqlite3_context_db_handle(ctx)).dateLanguage);
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

} // namespace ora::fn
