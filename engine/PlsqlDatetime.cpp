// TIMESTAMP and INTERVAL values in PL/SQL: each keeps SQL's stored form and the digits of its
// type, is written into SQL as a literal of that type and converted by SQL's own CAST.
#include "Intervals.h"
#include "PlsqlRun.h"
#include "SqlText.h"

namespace ora::pl {

std::string datetimeSqlType(int dt, int lead, int frac, bool ltz) {
  auto digits = [](int n) { return "(" + std::to_string(n < 0 ? 9 : n) + ")"; };
  switch (dt) {
  case kTimestamp: return "TIMESTAMP" + digits(frac);
  case kTimestampTz: return "TIMESTAMP" + digits(frac) + (ltz ? " WITH LOCAL TIME ZONE" : " WITH TIME ZONE");
  case kIntervalDs: return "INTERVAL DAY" + digits(lead) + " TO SECOND" + digits(frac);
  case kIntervalYm: return "INTERVAL YEAR" + digits(lead) + " TO MONTH";
  default: return "DATE";
  }
}

std::string datetimeLiteral(const Val& v) {
  std::string type = datetimeSqlType(v.dt, v.lead, v.frac, v.ltz);
  if (v.dt == kIntervalDs || v.dt == kIntervalYm) {
    bool ds = false;
    __int128 n = 0;
    if (!parseStoredInterval(v.s, ds, n)) return "NULL";
    std::string full = ds ? "INTERVAL " + quoteString(intervalText(true, n, 9, 9)) + " DAY(9) TO SECOND(9)"
                          : "INTERVAL " + quoteString(intervalText(false, n, 9, 0)) + " YEAR(9) TO MONTH";
    return "CAST(" + full + " AS " + type + ")";
  }
  return "CAST(TIMESTAMP " + quoteString(v.s) + " AS " + type + ")";
}

Val datetimeValue(std::string stored, const ColType& ct) {
  Val v{Val::Date, std::move(stored), false};
  v.dt = ct.code;
  v.ltz = ct.localZone;
  if (isInterval(ct.code)) {
    v.lead = static_cast<signed char>(ct.precision > 0 ? ct.precision : 9);
    v.frac = static_cast<signed char>(ct.code == kIntervalDs ? ct.scale : 0);
  } else {
    // a type that tells fewer digits than the value has keeps them all
    size_t dot = v.s.find('.'), end = v.s.find(' ', 11);
    size_t digits = dot == std::string::npos ? 0 : (end == std::string::npos ? v.s.size() : end) - dot - 1;
    v.frac = static_cast<signed char>(static_cast<int>(digits) > ct.scale ? 9 : ct.scale);
  }
  return v;
}

void storeDatetime(Run& r, const TypeSpec& ty, Val& x) {
  if (x.k == Val::Bool || x.k == Val::Num) throw valueError("");
  bool interval = ty.dt == kIntervalDs || ty.dt == kIntervalYm;
  int frac = ty.dt == kIntervalYm ? 0 : interval ? ty.scale : ty.precision;
  int lead = interval ? ty.precision : 0;
  if (x.k == Val::Date && x.dt == ty.dt && x.ltz == ty.localZone) {
    // a parameter takes its argument's digits; another variable keeps its own
    if (ty.precision < 0) return;
    if (x.frac == frac && (!interval || x.lead == lead)) return;
  }
  std::string type = datetimeSqlType(ty.dt, ty.precision < 0 ? 9 : lead, frac, ty.localZone);
  if (ty.precision < 0 && x.k == Val::Date && x.dt != 0 && x.dt != ty.dt)
    type = datetimeSqlType(ty.dt, 9, 9, ty.localZone);
  x = r.evalText("CAST(" + literal(x) + " AS " + type + ")");
}

} // namespace ora::pl
