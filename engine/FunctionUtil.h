// What the files of SQL functions share: argument readers, result writers, character and
// calendar helpers, the date and number format models and the registration table.
#pragma once
#include "OraError.h"
#include "OraValues.h"

#include <cstdint>
#include <map>
#include <new>
#include <sqlite3.h>
#include <string>
#include <string_view>
#include <vector>

namespace ora {
struct Num;
struct Zone;
}

namespace ora::fn {

using Ctx = sqlite3_context;
using Val = sqlite3_value;
using Fn = void (*)(Ctx*, int, Val**);

// Runs a SQL function's body: an OraError it throws becomes the statement's error, and nothing
// unwinds through SQLite's C frames.
template <class F> void guardedCall(Ctx* ctx, F&& f) {
  try {
    f();
  } catch (const OraError& e) {
    sqlite3_result_error(ctx, e.text.c_str(), -1);
  } catch (const std::bad_alloc&) {
    sqlite3_result_error_nomem(ctx);
  } catch (...) {
    sqlite3_result_error(ctx, "ORA-00600: internal error in a function", -1);
  }
}

// The registered wrapper of a function body.
template <void (*F)(Ctx*, int, Val**)>
void guarded(Ctx* ctx, int argc, Val** argv) {
  guardedCall(ctx, [&] { F(ctx, argc, argv); });
}

struct Def {
  const char* name;
  int minArgs, maxArgs; // maxArgs -1: any number from minArgs
  Fn fn;
  int type;             // functionResultType
  bool volatileFn = false;
};

// The tables of the other function files.
const std::vector<Def>& scalarFunctionDefs();
const std::vector<Def>& sessionFunctionDefs();
const std::vector<Def>& zoneFunctionDefs();
const std::vector<Def>& hashFunctionDefs();
const std::vector<Def>& normalizeFunctionDefs();
const std::vector<Def>& intervalFunctionDefs();
const std::vector<Def>& lobFunctionDefs();

// The longest text a function builds, as Oracle's VARCHAR2 limit in SQL.
constexpr int kMaxText = 4000;
// The same while a PL/SQL expression is evaluated, where VARCHAR2 holds up to 32767 bytes.
int maxText();

bool isNull(Val* v);
bool anyNull(int argc, Val** argv);
std::string textOf(Val* v); // as Oracle's implicit conversion to character gives it
void resultText(Ctx* ctx, const std::string& s); // the empty string is NULL
Decimal decimalOf(Val* v);
double doubleOf(Val* v);
int64_t intOf(Val* v);
bool isNumber(Val* v);
void resultDouble(Ctx* ctx, double x);
// A computed number: as decimal text beyond a double's digits when an _X twin's caller reads it.
void resultExact(Ctx* ctx, const Num& n);

void truncTo(Decimal& d, int scale);
bool sameDecimal(const Decimal& a, const Decimal& b);
void bumpMagnitude(Decimal& d, bool neg); // one unit more magnitude of an integral decimal
int compareDecimal(const Decimal& a, const Decimal& b);
bool scaledInt(const Decimal& d, int scale, int64_t& out); // d * 10^scale when it fits in 64 bits
int fractionDigits(const Decimal& d);

uint32_t nextChar(std::string_view s, size_t& i);
void appendChar(std::string& out, uint32_t c);
std::vector<uint32_t> decode(std::string_view s);
uint32_t upperChar(uint32_t c);
uint32_t lowerChar(uint32_t c);
bool isWordChar(uint32_t c);
std::string mapChars(std::string_view s, uint32_t (*f)(uint32_t));
std::string trimChars(const std::string& s, const std::vector<uint32_t>& set, bool left, bool right);
std::vector<size_t> charStarts(std::string_view s); // byte offsets of each character, plus the end
// Oracle's start position: 0 is 1, negative counts from the end; 0 when outside the text.
int64_t startPosition(int64_t pos, int64_t count);

int64_t daysFromCivil(int y, int m, int d);
int64_t dayNumber(const DateTime& d);
int64_t secondsOf(const DateTime& d);
DateTime fromSeconds(int64_t s);
bool isDate(Val* v, DateTime& out);
DateTime dateOf(Ctx* ctx, Val* v); // the stored form, or text in the session's date format
void resultDate(Ctx* ctx, const DateTime& d);

bool leapYear(int y);
int daysInMonth(int y, int m);
void civilFromDays(int64_t z, int& y, int& m, int& d);
DateTime fromDays(int64_t days);
int weekday(const DateTime& d); // 0 = Sunday
int dayOfYear(const DateTime& d);
int64_t isoYearStart(int y); // Monday of ISO week 1
int isoWeek(const DateTime& d);
int isoYear(const DateTime& d);
// ROUND and TRUNC of a date by a format model.
DateTime roundDate(const DateTime& d, const std::string& fmtIn, bool round, int dateFlags = 0);

// The weekday (0 = Sunday) a date language's day name or its abbreviation names, in any case; -1
// when none.
int dayNamed(std::string_view text, int lang);

// Date format models (DateFormat.cpp).
enum class Fe {
  Lit, Fm, Fx, Yyyy, Syyyy, YComma, Yyy, Yy, Y, Iyyy, Iyy, Iy, I, Rrrr, Rr, Year, Syear, Mm, Rm, Mon,
  Month, Dd, Ddd, D, Dy, Day, Hh, Hh24, Mi, Ss, Sssss, Am, AmDots, Ad, AdDots, J, Q, Ww, W, Iw, Cc, Scc,
  Era, EraFull, // E and EE: the era of the Japanese Imperial calendar
  Ff,           // FF, FF1..FF9: fractional seconds
  Tzr, Tzh, Tzm, Tzd // the value's zone: its region or +hh:mm, +hh, mm, its abbreviation
};

struct FmtElem {
  Fe kind;
  std::string lit;
  int caseMode = 0;   // 0 upper, 1 initial capital, 2 lower
  bool spell = false; // SP: the number in words
  int th = -1;        // TH: an ordinal, its suffix in this case mode; -1 without
  int digits = -1;    // FFn: n; FF: -1, the value's own precision
};

std::vector<FmtElem> parseDateFormat(std::string_view f);
// FF without digits shows a TIMESTAMP's fraction at the precision of its type.
void fractionDigits(std::vector<FmtElem>& fmt, int precision);
// A zone shows in TZR, TZH, TZM and TZD; without one they give the machine's offset.
std::string formatDate(const DateTime& d, const std::vector<FmtElem>& fmt, int lang, const Zone* zone = nullptr);
DateTime parseByFormat(std::string_view s, const std::vector<FmtElem>& fmt, int lang);
std::string caseAs(std::string word, int mode); // 0 upper, 1 initial capital, 2 lower
int spelledWidth(Fe kind, bool ordinal);

// Number format models (NumberFormat.cpp).
struct NumFmt {
  bool fm = false, signLead = false, signTrail = false, mi = false, pr = false, dollar = false, point = false;
  bool blank = false; // B: blanks for a zero integer part
  bool sci = false;   // EEEE
  int roman = 0;      // RN: 1, rn: 2
  int shift = 0;      // V: digits after it, the power of ten the value is multiplied by
  std::string currency; // L or C: the currency text, before the digits or after them
  bool currencyTrail = false;
  std::string intPat; // '9', '0' and ',' left of the decimal point
  int nInt = 0, firstZero = -1, nFrac = 0;
  std::string fracPat;
  bool pointD = false; // D, the NLS decimal character, rather than '.'
  int hex = 0;         // X: hexadecimal digits (leading 0s included)
  bool hexLower = false, hexZero = false;
  int tm = 0;          // TM or TM9: 1, TME: 2
};

// The number settings an NLS parameter argument of TO_CHAR and TO_NUMBER may give.
struct NumNls {
  std::string decimal = ".", group = ",";
  std::string currency = "\xEF\xBF\xA5", iso = "JPY"; // the territory JAPAN's
  std::string dual; // NLS_DUAL_CURRENCY when it is not the local one
};
NumNls numberNlsParam(std::string_view params, NumNls base = NumNls());

NumFmt parseNumberFormat(std::string_view f);
std::string formatNumber(Decimal d, const NumFmt& m, const NumNls& nls = NumNls());
Decimal parseByNumberFormat(std::string_view s, const NumFmt& m, const NumNls& nls = NumNls());

// A value's bytes as Oracle stores it, by the type code the statement gives it (DUMP's hint);
// `typ` becomes DUMP's Typ= number.
std::vector<int> storedBytes(int hint, Val* v, Charset cs, int& typ, sqlite3* db = nullptr);

// DUMP, registered again with the database character set as its user data.
void fnDump(Ctx* ctx, int argc, Val** argv);

// The functions of the registration table that live in TextFunctions.cpp and DateFunctions.cpp.
void fnSubstr(Ctx* ctx, int argc, Val** argv);
void fnInstr(Ctx* ctx, int argc, Val** argv);
void fnLength(Ctx* ctx, int, Val** argv);
void fnUpper(Ctx* ctx, int, Val** argv);
void fnLower(Ctx* ctx, int, Val** argv);
void fnInitcap(Ctx* ctx, int, Val** argv);
void fnReverse(Ctx* ctx, int, Val** argv);
void fnTrim(Ctx* ctx, int, Val** argv);
void fnLtrim(Ctx* ctx, int argc, Val** argv);
void fnRtrim(Ctx* ctx, int argc, Val** argv);
void fnOraTrim(Ctx* ctx, int, Val** argv);
void fnLpad(Ctx* ctx, int argc, Val** argv);
void fnRpad(Ctx* ctx, int argc, Val** argv);
void fnReplace(Ctx* ctx, int argc, Val** argv);
void fnConcat(Ctx* ctx, int argc, Val** argv);
void fnChr(Ctx* ctx, int, Val** argv);
void fnAscii(Ctx* ctx, int, Val** argv);
void fnLike(Ctx* ctx, int argc, Val** argv);
void fnAddMonths(Ctx* ctx, int argc, Val** argv);
void fnMonthsBetween(Ctx* ctx, int argc, Val** argv);
void fnLastDay(Ctx* ctx, int, Val** argv);
void fnNextDay(Ctx* ctx, int argc, Val** argv);
void fnDateAdd(Ctx* ctx, int argc, Val** argv);
void fnDateAddMonths(Ctx* ctx, int argc, Val** argv);
void fnDateDiff(Ctx* ctx, int argc, Val** argv);

// Languages of month and day names (NLS_DATE_LANGUAGE).
enum DateLanguage : int { kAmerican = 0, kJapanese = 1, kFrench = 2, kGerman = 3 };
// Added to a date language: years are counted in the eras of the Japanese Imperial calendar.
constexpr int kImperial = 0x10;
// Added to a date language: the territory's weeks start on Monday (D, and TRUNC and ROUND by D).
constexpr int kMondayFirst = 0x20;
// Added to a date language: X, the radix character, is the session's decimal comma.
constexpr int kCommaRadix = 0x40;
constexpr int kLanguageBits = 0x0F;
// An NLS_CALENDAR value: 0 Gregorian, kImperial, or -1 for a calendar this engine does not keep.
int calendarNamed(std::string_view name);
// The language an NLS_DATE_LANGUAGE value names; -1 when none we know.
int dateLanguageNamed(std::string_view name);
std::string languageName(int language); // AMERICAN, JAPANESE, FRENCH or GERMAN
// NLS parameters of TO_CHAR and TO_DATE ("NLS_DATE_LANGUAGE = American"): the language they
// name, or `dflt` when they name none; ORA-12702 when the text is not such a parameter.
int dateLanguageParam(std::string_view nlsParams, int dflt);

// An aggregate's state kept behind a pointer in SQLite's aggregate context: made on the first
// row (`make`), null when no row came; dropState frees it at the end.
template <class T>
T* stateOf(sqlite3_context* ctx, bool make) {
  auto** slot = static_cast<T**>(sqlite3_aggregate_context(ctx, make ? sizeof(T*) : 0));
  if (!slot) return nullptr;
  if (!*slot && make) *slot = new (std::nothrow) T;
  return *slot;
}

template <class T>
void dropState(sqlite3_context* ctx) {
  auto** slot = static_cast<T**>(sqlite3_aggregate_context(ctx, 0));
  if (slot) {
    delete *slot;
    *slot = nullptr;
  }
}

} // namespace ora::fn

namespace ora {

class Session;

// The settings of the session on one connection (ALTER SESSION SET NLS_...).
struct Nls {
  std::string dateFormat; // NLS_DATE_FORMAT; empty for the default 'RR-MM-DD'
  int dateLanguage = fn::kAmerican;
  int language = fn::kAmerican; // NLS_LANGUAGE
  int calendar = 0;             // NLS_CALENDAR: 0 Gregorian or fn::kImperial
  bool mondayFirst = false;     // the territory's weeks start on Monday
  std::string sort = "BINARY"; // NLS_SORT: the order of text in ORDER BY, and with NLS_COMP in comparisons
  std::string comp = "BINARY"; // NLS_COMP: BINARY, LINGUISTIC or ANSI
  bool recycleBin = true;      // RECYCLEBIN: a dropped table is kept to bring back
  bool charSemantics = false;  // NLS_LENGTH_SEMANTICS CHAR: a column's length without BYTE or CHAR counts characters
  std::string timeFormat, timeTzFormat; // NLS_TIME_FORMAT, NLS_TIME_TZ_FORMAT as set; empty: the territory's
  int dateFlags() const {
    return dateLanguage | calendar | (mondayFirst ? fn::kMondayFirst : 0) | (numbers.decimal == "," ? fn::kCommaRadix : 0);
  }
  std::string territory = "JAPAN"; // NLS_TERRITORY
  fn::NumNls numbers;              // NLS_NUMERIC_CHARACTERS, NLS_CURRENCY, NLS_ISO_CURRENCY
  std::string user;
  int64_t sessionId = 0;
  std::string module, action, clientInfo; // DBMS_APPLICATION_INFO's
  std::string clientIdentifier;           // DBMS_SESSION.SET_IDENTIFIER's
  // DBMS_FLASHBACK_ARCHIVE.ENABLE_AT_VALID_TIME: the point at which the rows of tables with
  // valid-time periods are seen, as SQL text; empty: all rows
  std::string validTimeAt;
  // ALTER SESSION SET ROW ARCHIVAL VISIBILITY = ALL: archived rows are seen too (ACTIVE: not)
  bool archivedRowsSeen = false;
  // DBMS_SESSION.SET_CONTEXT: namespace -> attribute -> value, all names in upper case
  std::map<std::string, std::map<std::string, std::string>> contexts;
  // DBMS_METADATA.SET_TRANSFORM_PARAM: "OBJECT_TYPE.NAME" (no type: every type) -> TRUE or FALSE
  std::map<std::string, std::string> metadataTransform;
  Session* session = nullptr; // the logon this connection belongs to, when it is one
  std::string timeZone; // ALTER SESSION SET TIME_ZONE; empty: the machine's offset
  // NLS_TIMESTAMP_FORMAT, NLS_TIMESTAMP_TZ_FORMAT; empty for the defaults (timestampModel)
  std::string timestampFormat, timestampTzFormat;
  std::string_view timestampModel(bool zoned) const {
    if (zoned) return timestampTzFormat.empty() ? "RR-MM-DD HH24:MI:SSXFF TZR" : std::string_view(timestampTzFormat);
    return timestampFormat.empty() ? "RR-MM-DD HH24:MI:SSXFF" : std::string_view(timestampFormat);
  }
};
// Creates the settings of a new connection; they go when it closes.
void attachNls(sqlite3* db, const std::string& user);
Nls& sessionNls(sqlite3* db);

// A date as text by a format model, and text read by one; throw OraError (ORA-01821 for a
// model that is none).
std::string formatDateText(const DateTime& d, std::string_view model, int language);
DateTime parseDateText(std::string_view text, std::string_view model, int language);
// Whether a model is a valid date format (ORA-01821 otherwise).
void checkDateFormat(std::string_view model);

// The session's default text of a date, and its reading of text as a date: by its
// NLS_DATE_FORMAT, or the usual forms. The parser returns 0 or the Oracle error number.
std::string sessionDateText(sqlite3* db, const DateTime& d);
int sessionParseDate(sqlite3* db, std::string_view text, DateTime& out);
// A TIMESTAMP in the session's default timestamp format, FF at the type's precision.
std::string sessionTimestampText(sqlite3* db, const DateTime& d, int precision, bool zoned);
std::string sessionZonedText(sqlite3* db, const DateTime& d, int precision, const Zone& zone);

// The plan of a table-valued function whose hidden argument columns first .. first + count - 1
// must all be given as equalities: they become its xFilter's arguments, in order. A plan
// without them is refused.
inline int argumentPlan(sqlite3_index_info* info, int first, int count, double rows = 10) {
  int at[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
  if (count > 8) return SQLITE_ERROR;
  for (int k = 0; k < info->nConstraint; ++k) {
    const auto& c = info->aConstraint[k];
    if (c.op != SQLITE_INDEX_CONSTRAINT_EQ || c.iColumn < first || c.iColumn >= first + count) continue;
    if (!c.usable) return SQLITE_CONSTRAINT;
    at[c.iColumn - first] = k;
  }
  for (int x = 0; x < count; ++x) {
    if (at[x] < 0) return SQLITE_CONSTRAINT;
    info->aConstraintUsage[at[x]].argvIndex = x + 1;
    info->aConstraintUsage[at[x]].omit = 1;
  }
  info->estimatedCost = rows;
  info->estimatedRows = static_cast<sqlite3_int64>(rows);
  return SQLITE_OK;
}

// The parts every table-valued function here shares: its table and cursor objects are deleted
// as SQLite lets them go, and the cursor walks its rows by `at`, which is also the row's id.
template <class Table, class Cursor> struct RowsParts {
  static int disconnect(sqlite3_vtab* v) {
    delete reinterpret_cast<Table*>(v);
    return SQLITE_OK;
  }
  static int close(sqlite3_vtab_cursor* c) {
    delete reinterpret_cast<Cursor*>(c);
    return SQLITE_OK;
  }
  static int next(sqlite3_vtab_cursor* c) {
    ++reinterpret_cast<Cursor*>(c)->at;
    return SQLITE_OK;
  }
  static int rowid(sqlite3_vtab_cursor* c, sqlite3_int64* out) {
    *out = static_cast<sqlite3_int64>(reinterpret_cast<Cursor*>(c)->at) + 1;
    return SQLITE_OK;
  }
};

// An eponymous-only module: used as a table-valued function, never created as a table.
inline sqlite3_module tableFunctionModule(decltype(sqlite3_module::xConnect) connect,
                                          decltype(sqlite3_module::xBestIndex) bestIndex,
                                          decltype(sqlite3_module::xDisconnect) disconnect,
                                          decltype(sqlite3_module::xOpen) open, decltype(sqlite3_module::xClose) close,
                                          decltype(sqlite3_module::xFilter) filter, decltype(sqlite3_module::xNext) next,
                                          decltype(sqlite3_module::xEof) eof, decltype(sqlite3_module::xColumn) column,
                                          decltype(sqlite3_module::xRowid) rowid) {
  sqlite3_module m{};
  m.iVersion = 1;
  m.xConnect = connect;
  m.xBestIndex = bestIndex;
  m.xDisconnect = disconnect;
  m.xDestroy = disconnect;
  m.xOpen = open;
  m.xClose = close;
  m.xFilter = filter;
  m.xNext = next;
  m.xEof = eof;
  m.xColumn = column;
  m.xRowid = rowid;
  return m;
}

template <class Table, class Cursor>
sqlite3_module rowsModule(decltype(sqlite3_module::xConnect) connect, decltype(sqlite3_module::xBestIndex) bestIndex,
                          decltype(sqlite3_module::xOpen) open, decltype(sqlite3_module::xFilter) filter,
                          decltype(sqlite3_module::xEof) eof, decltype(sqlite3_module::xColumn) column) {
  using P = RowsParts<Table, Cursor>;
  return tableFunctionModule(connect, bestIndex, P::disconnect, open, P::close, filter, P::next, eof, column, P::rowid);
}

} // namespace ora
