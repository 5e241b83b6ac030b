// The session's NLS settings and the functions that read the session or a value's inside:
// USERENV, SYS_CONTEXT, DUMP, EXTRACT and NEW_TIME.
#include "BinaryFloats.h"
#include "Booleans.h"
#include "Charset.h"
#include "CType.h"
#include "FunctionUtil.h"
#include "LinguisticSort.h"
#include "Number.h"
#include "OraFunctions.h"
#include "TimeZones.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <unistd.h>

namespace ora {

namespace {

struct Registry {
  std::mutex m;
  std::map<sqlite3*, std::unique_ptr<Nls>> byDb;
};

// Kept for the whole process: connections may close after other statics are gone.
Registry& registry() {
  static auto* r = new Registry;
  return *r;
}

std::atomic<int64_t> g_sessions{0};

void forget(void* db) {
  Registry& r = registry();
  std::lock_guard lock(r.m);
  r.byDb.erase(static_cast<sqlite3*>(db));
}

void noop(sqlite3_context*, int, sqlite3_value**) {}

std::string upperAscii(std::string_view s) {
  std::string u(s);
  for (auto& c : u) c = static_cast<char>(ora::upperC(static_cast<unsigned char>(c)));
  return u;
}

std::string trimmed(std::string_view s) {
  size_t b = s.find_first_not_of(" \t\r\n"), e = s.find_last_not_of(" \t\r\n");
  return b == std::string_view::npos ? std::string() : std::string(s.substr(b, e - b + 1));
}

} // namespace

void attachNls(sqlite3* db, const std::string& user) {
  auto n = std::make_unique<Nls>();
  n->user = user;
  n->sessionId = ++g_sessions;
  {
    Registry& r = registry();
    std::lock_guard lock(r.m);
    r.byDb[db] = std::move(n);
  }
  fn::registerLinguisticCollation(db); // it reads these settings
  // Never called: it only ties the settings' lifetime to the connection's.
  sqlite3_create_function_v2(db, "ORA$NLS", 0, SQLITE_UTF8, db, noop, nullptr, nullptr, forget);
}

Nls& sessionNls(sqlite3* db) {
  Registry& r = registry();
  std::lock_guard lock(r.m);
  auto& slot = r.byDb[db];
  if (!slot) slot = std::make_unique<Nls>();
  return *slot;
}

std::string sessionDateText(sqlite3* db, const DateTime& d) {
  const Nls& n = sessionNls(db);
  if (n.dateFormat.empty() && !n.calendar) return defaultDateText(d);
  return formatDateText(d, n.dateFormat.empty() ? std::string_view("RR-MM-DD") : n.dateFormat, n.dateFlags());
}

std::string sessionTimestampText(sqlite3* db, const DateTime& d, int precision, bool zoned) {
  std::vector<fn::FmtElem> fmt = fn::parseDateFormat(sessionNls(db).timestampModel(zoned));
  fn::fractionDigits(fmt, precision);
  return fn::formatDate(d, fmt, sessionNls(db).dateFlags());
}

std::string sessionZonedText(sqlite3* db, const DateTime& d, int precision, const Zone& zone) {
  std::vector<fn::FmtElem> fmt = fn::parseDateFormat(sessionNls(db).timestampModel(true));
  fn::fractionDigits(fmt, precision);
  return fn::formatDate(d, fmt, sessionNls(db).dateFlags(), &zone);
}

int sessionParseDate(sqlite3* db, std::string_view text, DateTime& out) {
  const Nls& n = sessionNls(db);
  if (n.dateFormat.empty()) {
    int code = parseDate(text, out);
    if (code == 0) return 0;
    // the default format read as Oracle reads any: a month's name for MM, other punctuation
    try {
      out = parseDateText(text, "RR-MM-DD", n.dateLanguage);
      return 0;
    } catch (const OraError& e) {
      // the error of the session's format, as Oracle reports it (ORA-01858 for 'tomorrow')
      return e.code;
    }
  }
  try {
    out = parseDateText(text, n.dateFormat, n.dateLanguage);
    return 0;
  } catch (const OraError& e) {
    // the engine's usual forms with a four-digit year ('YYYY-MM-DD', 'YYYY/MM/DD') are still
    // read; the default 'RR-MM-DD' is not, as the session chose another format
    std::string_view t = text.substr(std::min(text.find_first_not_of(' '), text.size()));
    bool fullYear = t.size() > 4 && std::all_of(t.begin(), t.begin() + 4, [](char c) { return c >= '0' && c <= '9'; });
    DateTime d;
    if (fullYear && parseDate(text, d) == 0) {
      out = d;
      return 0;
    }
    return e.code;
  }
}

namespace fn {

int dateLanguageNamed(std::string_view name) {
  std::string u = upperAscii(trimmed(name));
  if (u.size() >= 2 && (u.front() == '\'' || u.front() == '"') && u.back() == u.front()) u = trimmed(u.substr(1, u.size() - 2));
  if (u == "AMERICAN" || u == "ENGLISH") return kAmerican;
  if (u == "JAPANESE") return kJapanese;
  if (u == "FRENCH") return kFrench;
  if (u == "GERMAN") return kGerman;
  return -1;
}

std::string languageName(int language) {
  static const char* const names[] = {"AMERICAN", "JAPANESE", "FRENCH", "GERMAN"};
  return names[language & 3];
}

int dateLanguageParam(std::string_view params, int dflt) {
  std::string p = trimmed(params);
  size_t eq = p.find('=');
  if (eq == std::string::npos) throw OraError(12702);
  std::string name = upperAscii(trimmed(std::string_view(p).substr(0, eq)));
  std::string value = trimmed(std::string_view(p).substr(eq + 1));
  if (name == "NLS_DATE_LANGUAGE") {
    int lang = dateLanguageNamed(value);
    if (lang < 0) throw OraError(12702);
    return lang | (dflt & ~kLanguageBits);
  }
  if (name == "NLS_CALENDAR") {
    int calendar = calendarNamed(value);
    if (calendar < 0) throw OraError(12702);
    return (dflt & ~kImperial) | calendar;
  }
  static const char* const others[] = {"NLS_NUMERIC_CHARACTERS", "NLS_CURRENCY", "NLS_ISO_CURRENCY", "NLS_SORT"};
  for (const char* o : others)
    if (name == o) return dflt;
  throw OraError(12702);
}

namespace {

// The database's character set and the session's language and territory.
constexpr const char* kCharset = "JA16SJIS";


std::string dbName(sqlite3* db) {
  const char* path = sqlite3_db_filename(db, "main");
  std::string p = path ? path : "";
  size_t slash = p.find_last_of('/');
  std::string folder = slash == std::string::npos ? std::string() : p.substr(0, slash);
  size_t prev = folder.find_last_of('/');
  std::string name = prev == std::string::npos ? folder : folder.substr(prev + 1);
  return name.empty() ? std::string("TESSEL") : upperAscii(name);
}

std::string terminalName() {
  const char* t = isatty(0) ? ttyname(0) : nullptr;
  if (!t) return "UNKNOWN";
  std::string s = t;
  if (s.rfind("/dev/", 0) == 0) s = s.substr(5);
  return s;
}

// One USERENV or SYS_CONTEXT('USERENV', ...) value; false when the name is none of them.
bool userenvValue(Ctx* ctx, const std::string& name, bool context) {
  sqlite3* db = sqlite3_context_db_handle(ctx);
  const Nls& n = sessionNls(db);
  auto text = [&](const std::string& s) { resultText(ctx, s); return true; };
  if (name == "LANGUAGE") return text(languageName(n.language) + "_" + n.territory + "." + kCharset);
  if (name == "LANG") return text(n.language == kJapanese ? "JA" : n.language == kFrench ? "F" : n.language == kGerman ? "D" : "US");
  if (name == "TERMINAL") return text(terminalName());
  if (name == "SESSIONID") { sqlite3_result_int64(ctx, n.sessionId); return true; }
  if (name == "ENTRYID") { sqlite3_result_int64(ctx, 0); return true; }
  if (name == "ISDBA") return text(n.user == "SYSTEM" ? "TRUE" : "FALSE");
  if (name == "INSTANCE") { sqlite3_result_int64(ctx, 1); return true; }
  if (name == "CLIENT_INFO") return n.clientInfo.empty() ? (sqlite3_result_null(ctx), true) : text(n.clientInfo);
  if (name == "SID") { sqlite3_result_int64(ctx, n.sessionId); return true; }
  if (!context) return false;
  if (name == "SESSION_USERID" || name == "CURRENT_USERID" || name == "CURRENT_SCHEMAID") {
    sqlite3_stmt* st = nullptr;
    int64_t uid = 0;
    if (sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
      uid = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    return text(std::to_string(uid));
  }
  // a local session of a database that is its own instance and service, with no client settings
  if (name == "DB_UNIQUE_NAME" || name == "INSTANCE_NAME" || name == "SERVICE_NAME" || name == "CON_NAME")
    return text(dbName(db));
  if (name == "CON_ID") return text("0");
  if (name == "AUTHENTICATION_METHOD") return text("PASSWORD");
  if (name == "DATABASE_ROLE") return text("PRIMARY");
  if (name == "CURRENT_EDITION_NAME") return text("ORA$BASE");
  if (name == "MODULE" && !n.module.empty()) return text(n.module);
  if (name == "ACTION" && !n.action.empty()) return text(n.action);
  if (name == "CLIENT_IDENTIFIER" && !n.clientIdentifier.empty()) return text(n.clientIdentifier);
  if (name == "MODULE" || name == "ACTION" || name == "CLIENT_IDENTIFIER" || name == "IP_ADDRESS" ||
      name == "PROXY_USER" || name == "PROXY_USERID" || name == "NETWORK_PROTOCOL") {
    sqlite3_result_null(ctx);
    return true;
  }
  if (name == "SESSION_USER" || name == "CURRENT_USER" || name == "CURRENT_SCHEMA") return text(n.user);
  if (name == "DB_NAME") return text(dbName(db));
  if (name == "DB_DOMAIN") { sqlite3_result_null(ctx); return true; }
  if (name == "NLS_DATE_FORMAT") return text(n.dateFormat.empty() ? "RR-MM-DD" : n.dateFormat);
  if (name == "NLS_DATE_LANGUAGE") return text(languageName(n.dateLanguage));
  if (name == "NLS_TERRITORY") return text(n.territory);
  if (name == "NLS_CURRENCY") return text(n.numbers.currency);
  if (name == "NLS_CALENDAR") return text(n.calendar ? "JAPANESE IMPERIAL" : "GREGORIAN");
  if (name == "NLS_SORT") return text(n.sort);
  if (name == "NLS_CURRENCY") return text("￥");
  if (name == "HOST" || name == "SERVER_HOST") {
    char buf[256] = {};
    gethostname(buf, sizeof buf - 1);
    return text(buf);
  }
  if (name == "OS_USER") {
    const char* u = std::getenv("USER");
    return text(u ? u : "");
  }
  if (name == "AUTHENTICATION_TYPE") return text("DATABASE");
  return false;
}

void fnUserenv(Ctx* ctx, int, Val** argv) {
  std::string name = upperAscii(trimmed(textOf(argv[0])));
  if (isNull(argv[0]) || !userenvValue(ctx, name, false)) throw OraError(2003);
}

void fnSysContext(Ctx* ctx, int argc, Val** argv) {
  if (isNull(argv[0]) || isNull(argv[1])) { sqlite3_result_null(ctx); return; }
  std::string space = upperAscii(trimmed(textOf(argv[0]))), name = upperAscii(trimmed(textOf(argv[1])));
  if (argc > 2 && !isNull(argv[2])) {
    int64_t len = intOf(argv[2]);
    if (len < 1 || len > 4000) throw OraError(2003);
  }
  if (space != "USERENV") {
    // an application context's attribute, as its package set it; NULL when it is not set
    const auto& all = sessionNls(sqlite3_context_db_handle(ctx)).contexts;
    auto ns = all.find(space);
    if (ns == all.end()) { sqlite3_result_null(ctx); return; }
    auto value = ns->second.find(name);
    if (value == ns->second.end()) { sqlite3_result_null(ctx); return; }
    int64_t len = argc > 2 && !isNull(argv[2]) ? intOf(argv[2]) : 256;
    std::string v = value->second;
    if (static_cast<int64_t>(v.size()) > len) {
      size_t n = static_cast<size_t>(len);
      while (n > 0 && (static_cast<unsigned char>(v[n]) & 0xC0) == 0x80) --n;
      v.resize(n);
    }
    resultText(ctx, v);
    return;
  }
  if (!userenvValue(ctx, name, true)) throw OraError(2003);
}

// ---- DUMP ----

// Oracle's internal NUMBER bytes: an exponent byte, then base-100 digits.
std::vector<int> numberBytes(const Decimal& d) {
  if (d.zero()) return {128};
  std::string digits = d.digits;
  int point = d.point;
  if (point % 2) {
    digits.insert(digits.begin(), '0');
    ++point;
  }
  if (digits.size() % 2) digits += '0';
  int exp = point / 2 - 1; // of the first base-100 digit
  std::vector<int> out{d.neg ? 62 - exp : 193 + exp};
  for (size_t k = 0; k < digits.size(); k += 2) {
    int g = (digits[k] - '0') * 10 + (digits[k + 1] - '0');
    out.push_back(d.neg ? 101 - g : g + 1);
  }
  if (d.neg && out.size() < 21) out.push_back(102);
  return out;
}

} // namespace

namespace {

// Oracle's inside of a value with an offset: its UTC time as a DATE's seven bytes, the fraction's
// four, then the hour + 20 and minute + 60 of the offset; WITH LOCAL TIME ZONE the database
// zone's time and no zone. A region's number is the zone file's own: not shown.
bool zonedBytes(sqlite3* db, Val* v, bool local, std::vector<int>& out) {
  DateTime d;
  Zone z;
  if (sqlite3_value_type(v) != SQLITE_TEXT || parseZonedText(db, textOf(v), d, z) != 0) return false;
  if (!local && !z.region.empty()) return false;
  DateTime u = local ? shiftZone(d, z, databaseZone()) : fromSeconds(instantOf(d, z));
  u.nanos = d.nanos;
  out = {u.year / 100 + 100, u.year % 100 + 100, u.month, u.day, u.hour + 1, u.minute + 1, u.second + 1};
  if (!local || u.nanos)
    for (int s = 24; s >= 0; s -= 8) out.push_back((u.nanos >> s) & 255);
  if (!local) {
    int off = offsetAtUtc(z, 0);
    out.push_back(off / 60 + 20);
    out.push_back(off % 60 + 60);
  }
  return true;
}

} // namespace

// DUMP(type, expr[, format[, start[, length]]]), `type` put first by the translator: it is the type code the statement gives
// the expression (12 for a stored DATE, 13 for a computed one, 96 for CHAR), 0 when unknown.
// Text shows in the bytes of the database character set, the function's user data.
std::vector<int> storedBytes(int hint, Val* v, ora::Charset cs, int& typ, sqlite3* db) {
  std::vector<int> bytes;
  typ = 1;
  DateTime d;
  ora::Decimal wide;
  double fp;
  if ((hint == ora::kBinaryFloat || hint == ora::kBinaryDouble) && ora::fpOf(v, fp)) {
    typ = hint;
    return ora::fpBytes(hint, fp);
  }
  if (hint == kBoolean && isNumber(v)) {
    typ = kBoolean; // one byte: 1 for TRUE, 0 for FALSE
    bytes = {sqlite3_value_double(v) != 0 ? 1 : 0};
  } else if (isNumber(v) || (hint == kNumber && sqlite3_value_type(v) == SQLITE_TEXT && ora::parseDecimal(textOf(v), wide))) {
    typ = 2;
    bytes = numberBytes(isNumber(v) ? decimalOf(v) : wide);
  } else if (sqlite3_value_type(v) == SQLITE_BLOB) {
    typ = 23;
    auto p = static_cast<const unsigned char*>(sqlite3_value_blob(v));
    bytes.assign(p, p + sqlite3_value_bytes(v));
  } else if ((hint == 12 || hint == 13) && isDate(v, d)) {
    typ = hint;
    if (typ == 12)
      bytes = {d.year / 100 + 100, d.year % 100 + 100, d.month, d.day, d.hour + 1, d.minute + 1, d.second + 1};
    else
      bytes = {d.year & 255, d.year >> 8, d.month, d.day, d.hour, d.minute, d.second, 0};
  } else if (std::vector<int> z; db && (hint == kTimestampTz || hint == 231) && zonedBytes(db, v, hint == 231, z)) {
    typ = hint;
    bytes = z;
  } else {
    typ = hint == kChar ? 96 : hint == kRowid ? 69 : 1;
    std::string s = charsetBytes(textOf(v), cs);
    bytes.assign(s.begin(), s.end());
    for (auto& b : bytes) b &= 0xFF;
  }
  return bytes;
}

void fnDump(Ctx* ctx, int argc, Val** argv) {
  auto set = static_cast<const ora::Charset*>(sqlite3_user_data(ctx));
  ora::Charset cs = set ? *set : ora::Charset::JA16SJIS;
  int hint = static_cast<int>(sqlite3_value_int64(argv[0]));
  Val* v = argv[1];
  if (isNull(v)) { resultText(ctx, "NULL"); return; }
  int fmt = argc > 2 && !isNull(argv[2]) ? static_cast<int>(intOf(argv[2])) : 10;
  int typ = 1;
  std::vector<int> bytes = storedBytes(hint, v, cs, typ, sqlite3_context_db_handle(ctx));
  int64_t len = static_cast<int64_t>(bytes.size());
  int64_t start = argc > 3 && !isNull(argv[3]) ? intOf(argv[3]) : 1;
  int64_t count = argc > 4 && !isNull(argv[4]) ? intOf(argv[4]) : len;
  if (start == 0) start = 1;
  if (start < 0) start = std::max<int64_t>(1, len + start + 1);
  std::string out = "Typ=" + std::to_string(typ) + " Len=" + std::to_string(len);
  if (fmt >= 1000 && typ != 2 && typ != 12 && typ != 13 && typ != 23 && typ != kBoolean) out += std::string(" CharacterSet=") + charsetName(cs);
  out += ": ";
  int base = fmt % 1000;
  bool first = true;
  for (int64_t k = start - 1; k < len && k < start - 1 + count; ++k) {
    if (!first) out += ',';
    first = false;
    int b = bytes[static_cast<size_t>(k)];
    char buf[16];
    if (base == 8) std::snprintf(buf, sizeof buf, "%o", b);
    else if (base == 16) std::snprintf(buf, sizeof buf, "%x", b);
    else if (base == 17 && b >= 0x20 && b < 0x7F) std::snprintf(buf, sizeof buf, "%c", b);
    else if (base == 17 && b < 0x20) std::snprintf(buf, sizeof buf, "^%c", b + 0x40); // control characters as ^J
    else std::snprintf(buf, sizeof buf, "%d", b);
    out += buf;
  }
  resultText(ctx, out);
}

namespace {

// ---- dates ----

// EXTRACT(field, date): what EXTRACT(field FROM date) becomes. A DATE has no time zone, and
// its time fields belong to timestamps only.
void fnExtract(Ctx* ctx, int argc, Val** argv) {
  if (isNull(argv[1])) { sqlite3_result_null(ctx); return; }
  std::string field = upperAscii(textOf(argv[0]));
  DateTime d = dateOf(ctx, argv[1]);
  // the third argument: 1 for a TIMESTAMP, 2 for one with a time zone, which have a time of day
  int kind = argc > 2 ? sqlite3_value_int(argv[2]) : 0;
  if (field == "YEAR") sqlite3_result_int64(ctx, d.year);
  else if (field == "MONTH") sqlite3_result_int64(ctx, d.month);
  else if (field == "DAY") sqlite3_result_int64(ctx, d.day);
  else if (kind && field == "HOUR") sqlite3_result_int64(ctx, d.hour);
  else if (kind && field == "MINUTE") sqlite3_result_int64(ctx, d.minute);
  else if (kind && field == "SECOND") {
    if (d.nanos == 0) sqlite3_result_int64(ctx, d.second);
    else sqlite3_result_double(ctx, d.second + d.nanos / 1e9); // 11 digits at most: a double holds them
  } else if (kind == 2 && (field == "TIMEZONE_HOUR" || field == "TIMEZONE_MINUTE")) {
    int off = localOffsetMinutes();
    sqlite3_result_int64(ctx, field == "TIMEZONE_HOUR" ? off / 60 : off % 60);
  } else throw OraError(30076);
}

// Hours from GMT of the zones NEW_TIME knows.
bool zoneOffset(const std::string& z, double& hours) {
  static const std::map<std::string, double> zones = {
      {"AST", -4}, {"ADT", -3}, {"BST", -11}, {"BDT", -10}, {"CST", -6}, {"CDT", -5}, {"EST", -5},
      {"EDT", -4}, {"GMT", 0},  {"HST", -10}, {"HDT", -9},  {"MST", -7}, {"MDT", -6}, {"NST", -3.5},
      {"PST", -8}, {"PDT", -7}, {"YST", -9},  {"YDT", -8}};
  auto it = zones.find(z);
  if (it == zones.end()) return false;
  hours = it->second;
  return true;
}

void fnNewTime(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  DateTime d = dateOf(ctx, argv[0]);
  double from, to;
  if (!zoneOffset(upperAscii(trimmed(textOf(argv[1]))), from) || !zoneOffset(upperAscii(trimmed(textOf(argv[2]))), to))
    throw OraError(1857);
  resultDate(ctx, fromSeconds(secondsOf(d) + static_cast<int64_t>((to - from) * 3600)));
}

// ---- character sets ----

struct Charset {
  const char* name;
  int id;
  int fixedWidth; // bytes per character of a fixed-width set, else 0
};

const Charset kCharsets[] = {{"US7ASCII", 1, 1},     {"WE8DEC", 2, 1},        {"WE8ISO8859P1", 31, 1},
                             {"WE8PC850", 10, 1},    {"WE8MSWIN1252", 178, 1}, {"JA16EUC", 830, 0},
                             {"JA16SJIS", 832, 0},   {"JA16EUCTILDE", 837, 0}, {"JA16SJISTILDE", 838, 0},
                             {"UTF8", 871, 0},       {"AL32UTF8", 873, 0},     {"JA16EUCFIXED", 1830, 2},
                             {"JA16SJISFIXED", 1832, 2}, {"AL16UTF16", 2000, 2}};

const Charset* charsetNamed(const std::string& name) {
  std::string u = upperAscii(trimmed(name));
  if (u == "CHAR_CS") u = kCharset;
  if (u == "NCHAR_CS") u = "AL16UTF16";
  for (const Charset& c : kCharsets)
    if (u == c.name) return &c;
  return nullptr;
}

const Charset* charsetNumbered(int64_t id) {
  for (const Charset& c : kCharsets)
    if (c.id == id) return &c;
  return nullptr;
}

void fnCharsetId(Ctx* ctx, int, Val** argv) {
  const Charset* c = isNull(argv[0]) ? nullptr : charsetNamed(textOf(argv[0]));
  if (c) sqlite3_result_int64(ctx, c->id);
  else sqlite3_result_null(ctx);
}

void fnCharsetName(Ctx* ctx, int, Val** argv) {
  const Charset* c = isNull(argv[0]) ? nullptr : charsetNumbered(intOf(argv[0]));
  if (c) resultText(ctx, c->name);
  else sqlite3_result_null(ctx);
}

// NLS_CHARSET_DECL_LEN(bytes, id): the width in characters of a column of that many bytes.
void fnCharsetDeclLen(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  int64_t bytes = intOf(argv[0]);
  const Charset* c = charsetNumbered(intOf(argv[1]));
  if (!c) { sqlite3_result_null(ctx); return; }
  sqlite3_result_int64(ctx, c->fixedWidth ? bytes / c->fixedWidth : bytes);
}

// The binary collations' IDs: BINARY, with _AI or _CI one bit more each.
struct CollationId {
  const char* name;
  int64_t id;
};
constexpr CollationId kCollations[] = {{"BINARY", 16383}, {"BINARY_AI", 81919}, {"BINARY_CI", 147455}};

void fnCollationId(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  std::string name = upperAscii(trimmed(textOf(argv[0])));
  for (const CollationId& c : kCollations)
    if (name == c.name) { sqlite3_result_int64(ctx, c.id); return; }
  sqlite3_result_null(ctx); // no collation of that name
}

void fnCollationName(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  if (argc > 1) {
    std::string flag = upperAscii(trimmed(textOf(argv[1])));
    if (flag != "S" && flag != "L") throw OraError(12702);
  }
  int64_t id = intOf(argv[0]);
  for (const CollationId& c : kCollations)
    if (id == c.id) { resultText(ctx, c.name); return; }
  sqlite3_result_null(ctx);
}

// COLLATION(hint, expr): text compares by the session's NLS_COMP; other types have no collation.
void fnCollation(Ctx* ctx, int, Val** argv) {
  int hint = static_cast<int>(sqlite3_value_int64(argv[0]));
  if (hint == kVarchar2 || hint == kChar || hint == kLong) resultText(ctx, "USING_NLS_COMP");
  else sqlite3_result_null(ctx);
}

// SYS_GUID: 16 random bytes as RAW.
void fnSysGuid(Ctx* ctx, int, Val**) {
  unsigned char b[16];
  sqlite3_randomness(sizeof b, b);
  sqlite3_result_blob(ctx, b, sizeof b, SQLITE_TRANSIENT);
}

} // namespace

const std::vector<Def>& sessionFunctionDefs() {
  static const std::vector<Def> defs = {
      {"USERENV", 1, 1, guarded<fnUserenv>, kVarchar2, true},
      {"SYS_CONTEXT", 2, 3, guarded<fnSysContext>, kVarchar2, true},
      {"DUMP", 2, 5, guarded<fnDump>, kVarchar2},
      {"EXTRACT", 2, 3, guarded<fnExtract>, kNumber},
      {"NEW_TIME", 3, 3, guarded<fnNewTime>, kDate},
      {"NLS_CHARSET_ID", 1, 1, guarded<fnCharsetId>, kNumber},
      {"NLS_CHARSET_NAME", 1, 1, guarded<fnCharsetName>, kVarchar2},
      {"NLS_CHARSET_DECL_LEN", 2, 2, guarded<fnCharsetDeclLen>, kNumber},
      {"SYS_GUID", 0, 0, guarded<fnSysGuid>, kRaw, true},
      {"NLS_COLLATION_ID", 1, 1, guarded<fnCollationId>, kNumber},
      {"NLS_COLLATION_NAME", 1, 2, guarded<fnCollationName>, kVarchar2},
      {"COLLATION", 2, 2, guarded<fnCollation>, kVarchar2},
  };
  return defs;
}

} // namespace fn

} // namespace ora
