// The functions of TIMESTAMP WITH TIME ZONE: FROM_TZ, SYS_EXTRACT_UTC, TZ_OFFSET,
// TO_TIMESTAMP_TZ, AT TIME ZONE, the session's and the database's zones, and the ORA_TSTZ
// collation, which orders zoned values by their instant.
#include "CType.h"
#include "FunctionUtil.h"
#include "TerritoryFormats.h"
#include "ConvertOr.h"
#include "OraFunctions.h"
#include "TimeZones.h"

#include <algorithm>
#include <cstring>

namespace ora {

namespace fn {

namespace {

sqlite3* dbOf(Ctx* ctx) { return sqlite3_context_db_handle(ctx); }

void zoned(Ctx* ctx, Val* v, DateTime& d, Zone& z) {
  if (sqlite3_value_type(v) != SQLITE_TEXT) throw OraError(932, "expected TIMESTAMP WITH TIME ZONE got NUMBER");
  if (int err = parseZonedText(dbOf(ctx), textOf(v), d, z)) throw OraError(err);
}

Zone zoneArg(Val* v) {
  Zone z;
  if (int err = parseZone(textOf(v), z)) throw OraError(err);
  return z;
}

// A local time the zone's clocks skip has no instant.
void checkLocal(const DateTime& d, const Zone& z) {
  int err = 0;
  utcOfLocal(z, secondsOf(d), err);
  if (err) throw OraError(err);
}

// FROM_TZ(timestamp, zone): the local time in that zone.
void fnFromTz(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  DateTime d;
  if (int err = parseTimestampText(dbOf(ctx), textOf(argv[0]), d)) throw OraError(err);
  Zone z = zoneArg(argv[1]);
  checkLocal(d, z);
  resultText(ctx, zonedText(d, z));
}

// SYS_EXTRACT_UTC(value): its instant as a TIMESTAMP in UTC.
void fnSysExtractUtc(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  DateTime d;
  Zone z;
  zoned(ctx, argv[0], d, z);
  DateTime u = fromSeconds(instantOf(d, z));
  u.nanos = d.nanos;
  resultText(ctx, storedTimestamp(u));
}

// TZ_OFFSET(zone): its offset from UTC now, '+hh:mi'.
void fnTzOffset(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  Zone z = zoneArg(argv[0]);
  resultText(ctx, offsetText(offsetAtUtc(z, secondsOf(statementNow()) - int64_t{localOffsetMinutes()} * 60)));
}

// ora_tz_at(value, zone): the same instant in another zone; NULL for the session's (AT LOCAL).
void fnAtZone(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  DateTime d;
  Zone from;
  zoned(ctx, argv[0], d, from);
  Zone to = isNull(argv[1]) ? sessionZone(dbOf(ctx)) : zoneArg(argv[1]);
  resultText(ctx, zonedText(shiftZone(d, from, to), zoneAt(to, instantOf(d, from))));
}

// ora_tz_now(kind): the statement's clock; 0 SYSTIMESTAMP in the database's zone,
// 1 CURRENT_TIMESTAMP in the session's, 2 LOCALTIMESTAMP its local time without a zone.
void fnNow(Ctx* ctx, int, Val** argv) {
  int kind = sqlite3_value_int(argv[0]);
  DateTime now = statementNow();
  int64_t utc = secondsOf(now) - int64_t{localOffsetMinutes()} * 60;
  Zone z = kind == 0 ? databaseZone() : sessionZone(dbOf(ctx));
  DateTime local = fromSeconds(utc + int64_t{offsetAtUtc(z, utc)} * 60);
  local.nanos = now.nanos;
  resultText(ctx, kind == 2 ? storedTimestamp(local) : zonedText(local, zoneAt(z, utc)));
}

void fnSessionZone(Ctx* ctx, int, Val**) { resultText(ctx, zoneName(sessionZone(dbOf(ctx)))); }
void fnDbZone(Ctx* ctx, int, Val**) { resultText(ctx, zoneName(databaseZone())); }

// TO_TIMESTAMP_TZ(text[, model[, nls]]): the zone elements of the model (TZH, TZM, TZR, TZD)
// read the text's last words.
void fnToTimestampTz(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  std::string s = textOf(argv[0]);
  DateTime d;
  Zone z;
  if (argc == 1) {
    if (int err = parseZonedText(dbOf(ctx), s, d, z)) throw OraError(err);
    resultText(ctx, zonedText(d, z));
    return;
  }
  std::vector<FmtElem> fmt = parseDateFormat(textOf(argv[1]));
  size_t first = fmt.size();
  for (size_t k = 0; k < fmt.size(); ++k)
    if (fmt[k].kind == Fe::Tzr || fmt[k].kind == Fe::Tzh || fmt[k].kind == Fe::Tzm || fmt[k].kind == Fe::Tzd) {
      first = k;
      break;
    }
  int words = 0;
  if (first < fmt.size()) {
    // the zone's words: one, and one more after each space among its elements
    words = 1;
    for (size_t k = first; k < fmt.size(); ++k)
      if (fmt[k].kind == Fe::Lit && fmt[k].lit.find(' ') != std::string::npos) ++words;
    while (first > 0 && fmt[first - 1].kind == Fe::Lit && fmt[first - 1].lit == " ") --first;
    fmt.resize(first);
  }
  size_t cut = s.size();
  while (cut > 0 && s[cut - 1] == ' ') --cut;
  std::string zoneText;
  for (int w = 0; w < words; ++w) {
    size_t sp = cut == 0 ? std::string::npos : s.find_last_of(' ', cut - 1);
    if (sp == std::string::npos) throw OraError(1861);
    cut = sp;
    while (cut > 0 && s[cut - 1] == ' ') --cut;
    zoneText = s.substr(sp + 1);
  }
  int lang = argc > 2 ? dateLanguageParam(textOf(argv[2]), sessionNls(dbOf(ctx)).dateLanguage) : sessionNls(dbOf(ctx)).dateLanguage;
  d = parseByFormat(s.substr(0, cut), fmt, lang);
  if (d.year < 1 || d.year > 9999) throw OraError(1841);
  if (!words) z = sessionZone(dbOf(ctx));
  else if (int err = parseZone(zoneText, z)) throw OraError(err);
  checkLocal(d, z);
  resultText(ctx, zonedText(d, z));
}

// ora_tz_extract(field, value): TIMEZONE_HOUR, _MINUTE, _REGION and _ABBR of a zoned value.
void fnTzExtract(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[1])) { sqlite3_result_null(ctx); return; }
  std::string field = textOf(argv[0]);
  for (auto& c : field) c = static_cast<char>(ora::upperC(static_cast<unsigned char>(c)));
  DateTime d;
  Zone z;
  zoned(ctx, argv[1], d, z);
  std::string abbr;
  int off = offsetAtUtc(z, instantOf(d, z), &abbr);
  if (field == "TIMEZONE_HOUR") sqlite3_result_int(ctx, off / 60);
  else if (field == "TIMEZONE_MINUTE") sqlite3_result_int(ctx, off % 60);
  else if (field == "TIMEZONE_REGION") resultText(ctx, z.region.empty() ? std::string("UNKNOWN") : caseAs(z.region, 0));
  else if (field == "TIMEZONE_ABBR") z.region.empty() ? resultText(ctx, "UNK") : resultText(ctx, abbr);
  else throw OraError(30076);
}

// ora_tz_char(value, precision[, model[, nls]]): TO_CHAR of a zoned value, in its own zone.
void fnTzChar(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  DateTime d;
  Zone z;
  zoned(ctx, argv[0], d, z);
  sqlite3* db = dbOf(ctx);
  int lang = argc > 3 ? dateLanguageParam(textOf(argv[3]), sessionNls(db).dateFlags()) : sessionNls(db).dateFlags();
  std::vector<FmtElem> fmt = parseDateFormat(argc > 2 ? territoryModel(textOf(argv[2]), sessionNls(db).territory, true) : std::string(sessionNls(db).timestampModel(true)));
  fractionDigits(fmt, sqlite3_value_int(argv[1]));
  resultText(ctx, formatDate(d, fmt, lang, &z));
}

// Zoned values by their instant, then their fraction; text that is none by its bytes.
int compareZoned(void* db, int n1, const void* p1, int n2, const void* p2) {
  try {
    DateTime a, b;
    Zone za, zb;
    auto db3 = static_cast<sqlite3*>(db);
    if (parseZonedText(db3, std::string_view(static_cast<const char*>(p1), n1), a, za) == 0 &&
        parseZonedText(db3, std::string_view(static_cast<const char*>(p2), n2), b, zb) == 0) {
      int64_t x = instantOf(a, za), y = instantOf(b, zb);
      if (x != y) return x < y ? -1 : 1;
      return a.nanos < b.nanos ? -1 : a.nanos > b.nanos ? 1 : 0;
    }
  } catch (...) {
    // no exception leaves a collation: the bytes decide
  }
  int c = std::memcmp(p1, p2, static_cast<size_t>(std::min(n1, n2)));
  return c ? c : n1 - n2;
}

} // namespace

const std::vector<Def>& zoneFunctionDefs() {
  static const std::vector<Def> defs = {
      {"FROM_TZ", 2, 2, guarded<fnFromTz>, kTimestampTz},
      {"SYS_EXTRACT_UTC", 1, 1, guarded<fnSysExtractUtc>, kTimestamp, true},
      {"TZ_OFFSET", 1, 1, guarded<fnTzOffset>, kVarchar2, true},
      {"TO_TIMESTAMP_TZ", 1, 3, guarded<fnToTimestampTz>, kTimestampTz, true},
      {"ora_to_timestamp_tz_or", 2, 4, guarded<convertOr<fnToTimestampTz>>, kTimestampTz, true},
      {"ora_validate_timestamp_tz", 1, 3, guarded<converts<fnToTimestampTz>>, kNumber, true},
      {"ora_tz_at", 2, 2, guarded<fnAtZone>, kTimestampTz, true},
      {"ora_tz_now", 1, 1, guarded<fnNow>, kTimestampTz, true},
      {"ora_tz_session", 0, 0, guarded<fnSessionZone>, kVarchar2, true},
      {"ora_tz_db", 0, 0, guarded<fnDbZone>, kVarchar2, true},
      {"ora_tz_extract", 2, 2, guarded<fnTzExtract>, kNumber, true},
      {"ora_tz_char", 2, 4, guarded<fnTzChar>, kVarchar2, true},
  };
  return defs;
}

} // namespace fn

void registerZoneFunctions(sqlite3* db) {
  sqlite3_create_collation(db, "ORA_TSTZ", SQLITE_UTF8, db, fn::compareZoned);
}

} // namespace ora
