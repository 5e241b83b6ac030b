#include "OraFunctions.h"
#include "TimeZones.h"

#include "Charset.h"

#include "FunctionUtil.h"
#include "TerritoryFormats.h"
#include "ConvertOr.h"
#include "Number.h"
#include "NumberMath.h"
#include "OraError.h"
#include "OraValues.h"
#include "IntervalRounding.h"
#include "RowScn.h"
#include "TimeBucket.h"
#include "SuppliedPackages.h"
#include "DbmsMetadata.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <new>
#include <set>
#include <sqlite3.h>
#include <vector>

namespace ora {

namespace fn {

// ---- general ----

// v as the kind of `model`: text becomes a number when the model is one.
void resultLike(Ctx* ctx, Val* model, Val* v) {
  if (isNumber(model) && sqlite3_value_type(v) == SQLITE_TEXT) resultDecimal(ctx, decimalOf(v));
  else sqlite3_result_value(ctx, v);
}

// The _X twins of the number functions serve a caller that reads decimal text (a result column,
// a wide NUMBER column): beyond what a double holds they give the value's text.
char kExactResult;

void resultNumber(Ctx* ctx, const Decimal& given) {
  Decimal d = given;
  if (!numberInRange(d)) throw OraError(1426);
  int n = static_cast<int>(d.digits.size());
  bool fits = n <= 15 || (d.point >= n && d.point <= 18);
  if (sqlite3_user_data(ctx) != &kExactResult || d.zero() || fits) { resultDecimal(ctx, d); return; }
  Num x;
  if (!parseNum(plainText(d), x)) { resultDecimal(ctx, d); return; }
  std::string t = numText(x);
  sqlite3_result_text(ctx, t.data(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
}

// A Num for the caller: exact decimal text for an _X twin's reader.
void resultExact(Ctx* ctx, const Num& n) {
  if (sqlite3_user_data(ctx) == &kExactResult) resultNumExact(ctx, n);
  else resultNum(ctx, n);
}

void fnNvl(Ctx* ctx, int, Val** argv) {
  sqlite3_result_value(ctx, isNull(argv[0]) ? argv[1] : argv[0]);
}

void fnNvl2(Ctx* ctx, int, Val** argv) {
  if (!isNull(argv[0])) sqlite3_result_value(ctx, argv[1]);
  else resultLike(ctx, argv[1], argv[2]);
}

// Search values compare as the first one's kind: numbers as numbers, else as text; a result
// takes the first result's type. n values from `from`: search/result pairs, perhaps a default.
void decodeFrom(Ctx* ctx, Val* e, Val* firstSearch, Val* firstResult, Val** from, int n) {
  bool numeric = isNumber(firstSearch);
  for (int k = 0; k + 1 < n; k += 2) {
    Val* s = from[k];
    bool match;
    if (isNull(e) || isNull(s)) match = isNull(e) && isNull(s);
    else if (numeric) match = compareDecimal(decimalOf(e), decimalOf(s)) == 0;
    else match = textOf(e) == textOf(s);
    if (match) { resultLike(ctx, firstResult, from[k + 1]); return; }
  }
  if (n % 2) resultLike(ctx, firstResult, from[n - 1]);
  else sqlite3_result_null(ctx);
}

void fnDecode(Ctx* ctx, int argc, Val** argv) { decodeFrom(ctx, argv[0], argv[1], argv[2], argv + 1, argc - 1); }

// ora_decode_rest(first search, first result, expr, pairs... [, default]): the pairs of a DECODE
// past the most arguments one SQLite call takes, typed by the call's first pair
void fnDecodeRest(Ctx* ctx, int argc, Val** argv) { decodeFrom(ctx, argv[2], argv[0], argv[1], argv + 3, argc - 3); }

// GREATEST and LEAST compare as the first argument's kind: number, date or text.
void extreme(Ctx* ctx, int argc, Val** argv, bool greatest) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  auto better = [&](int c) { return greatest ? c > 0 : c < 0; };
  DateTime d0;
  // the _X twin: the first argument is a number kept as decimal text
  if (isNumber(argv[0]) || sqlite3_user_data(ctx) == &kExactResult) {
    Decimal best = decimalOf(argv[0]);
    for (int i = 1; i < argc; ++i) {
      Decimal x = decimalOf(argv[i]);
      if (better(compareDecimal(x, best))) best = x;
    }
    resultNumber(ctx, best);
  } else if (isDate(argv[0], d0)) {
    DateTime best = d0;
    for (int i = 1; i < argc; ++i) {
      DateTime x = dateOf(ctx, argv[i]);
      int64_t a = secondsOf(x), b = secondsOf(best);
      if (better(a != b ? (a < b ? -1 : 1) : x.nanos - best.nanos)) best = x;
    }
    // a TIMESTAMP keeps its fraction; a DATE has none
    if (best.nanos > 0) resultText(ctx, storedTimestamp(best));
    else resultDate(ctx, best);
  } else {
    const Charset cs = connectionCharset(sqlite3_context_db_handle(ctx));
    std::string best = textOf(argv[0]);
    for (int i = 1; i < argc; ++i) {
      std::string x = textOf(argv[i]);
      if (better(compareText(x, best, cs))) best = std::move(x);
    }
    resultText(ctx, best);
  }
}

void fnGreatest(Ctx* ctx, int argc, Val** argv) { extreme(ctx, argc, argv, true); }
void fnLeast(Ctx* ctx, int argc, Val** argv) { extreme(ctx, argc, argv, false); }

// ---- conversion ----

void fnToChar(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  Val* v = argv[0];
  DateTime d;
  bool date = isDate(v, d);
  sqlite3* db = sqlite3_context_db_handle(ctx);
  if (argc == 1) {
    std::string text = date ? sessionDateText(db, d) : textOf(v);
    // a number shows the session's decimal character
    if (const std::string& radix = sessionNls(db).numbers.decimal; !date && radix != "." && isNumber(v))
      if (size_t at = text.find('.'); at != std::string::npos) text.replace(at, 1, radix);
    resultText(ctx, text);
    return;
  }
  std::string fmt = textOf(argv[1]);
  if (date) {
    int lang = argc > 2 ? dateLanguageParam(textOf(argv[2]), sessionNls(db).dateFlags()) : sessionNls(db).dateFlags();
    // a DATE keeps no fraction for TS to show
    resultText(ctx, formatDate(d, parseDateFormat(territoryModel(fmt, sessionNls(db).territory, d.nanos > 0)), lang));
    return;
  }
  NumFmt m = parseNumberFormat(fmt);
  const NumNls& session = sessionNls(db).numbers;
  NumNls nls = argc > 2 ? numberNlsParam(textOf(argv[2]), session) : session;
  if (m.tm == 1) resultText(ctx, textOf(v));
  else resultText(ctx, formatNumber(decimalOf(v), m, nls));
}

// A DATE has no fractional seconds and no time zone for a model to name.
void checkDateModel(const std::vector<FmtElem>& fmt) {
  for (const auto& e : fmt)
    if (e.kind == Fe::Ff || e.kind == Fe::Tzr || e.kind == Fe::Tzh || e.kind == Fe::Tzm || e.kind == Fe::Tzd)
      throw OraError(1821);
}

// TO_CHAR of a value the statement types as DATE, with a model.
void fnDateChar(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  checkDateModel(parseDateFormat(territoryModel(textOf(argv[1]), sessionNls(sqlite3_context_db_handle(ctx)).territory, false)));
  fnToChar(ctx, argc, argv);
}

void fnToDate(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  DateTime d;
  if (isDate(argv[0], d)) {
    // a TIMESTAMP loses its fraction
    d.nanos = 0;
    resultDate(ctx, d);
    return;
  }
  std::string s = textOf(argv[0]);
  sqlite3* db = sqlite3_context_db_handle(ctx);
  if (argc == 1) {
    if (int err = sessionParseDate(db, s, d)) throw OraError(err);
  } else {
    int lang = argc > 2 ? dateLanguageParam(textOf(argv[2]), sessionNls(db).dateLanguage) : sessionNls(db).dateLanguage;
    std::vector<FmtElem> fmt = parseDateFormat(territoryModel(textOf(argv[1]), sessionNls(db).territory, false));
    checkDateModel(fmt);
    d = parseByFormat(s, fmt, lang);
  }
  resultDate(ctx, d);
}

// TO_TIMESTAMP(text[, model[, nls]])
void fnToTimestamp(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  std::string s = textOf(argv[0]);
  sqlite3* db = sqlite3_context_db_handle(ctx);
  DateTime d;
  if (argc == 1) {
    if (int err = parseTimestampText(db, s, d)) throw OraError(err);
  } else {
    int lang = argc > 2 ? dateLanguageParam(textOf(argv[2]), sessionNls(db).dateLanguage) : sessionNls(db).dateLanguage;
    d = parseByFormat(s, parseDateFormat(textOf(argv[1])), lang);
  }
  if (d.year < 1 || d.year > 9999) throw OraError(1841);
  resultText(ctx, storedTimestamp(d));
}

// ora_ts_char(value, precision, zoned[, model[, nls]]): TO_CHAR of a TIMESTAMP, whose type
// gives FF its digits; without a model in the session's timestamp format.
void fnTsChar(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  sqlite3* db = sqlite3_context_db_handle(ctx);
  std::string_view v(reinterpret_cast<const char*>(sqlite3_value_text(argv[0])), sqlite3_value_bytes(argv[0]));
  DateTime d;
  Zone zone;
  bool zoned = sqlite3_value_int(argv[2]) != 0;
  if (int err = zoned ? parseZonedText(db, v, d, zone) : parseTimestampText(db, v, d)) throw OraError(err);
  if (sqlite3_value_int(argv[2]) == 2) {
    // WITH LOCAL TIME ZONE: in the session's zone
    Zone to = sessionZone(db);
    d = shiftZone(d, zone, to);
    zone = to;
  }
  int precision = sqlite3_value_int(argv[1]);
  int lang = argc > 4 ? dateLanguageParam(textOf(argv[4]), sessionNls(db).dateFlags()) : sessionNls(db).dateFlags();
  std::vector<FmtElem> fmt =
      parseDateFormat(argc > 3 ? territoryModel(textOf(argv[3]), sessionNls(db).territory, true) : sessionNls(db).timestampModel(zoned && sqlite3_value_int(argv[2]) == 1));
  fractionDigits(fmt, precision);
  resultText(ctx, formatDate(d, fmt, lang, zoned ? &zone : nullptr));
}

void fnToNumber(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  const NumNls& session = sessionNls(sqlite3_context_db_handle(ctx)).numbers;
  if (argc == 1) {
    if (isNumber(argv[0])) {
      sqlite3_result_value(ctx, argv[0]);
      return;
    }
    // text in the session's decimal character ('1,5' where it is a comma); a point still reads,
    // as the client writes its numbers that way
    if (session.decimal != "." && sqlite3_value_type(argv[0]) == SQLITE_TEXT) {
      std::string t = textOf(argv[0]);
      size_t at = t.find(session.decimal);
      Decimal d;
      if (at != std::string::npos && t.find('.') == std::string::npos && t.find(session.decimal, at + 1) == std::string::npos) {
        t.replace(at, session.decimal.size(), ".");
        if (!parseDecimal(t, d)) throw OraError(1722);
        if (!numberInRange(d)) throw OraError(1426);
        resultNumber(ctx, d);
        return;
      }
    }
    resultNumber(ctx, decimalOf(argv[0]));
    return;
  }
  NumNls nls = argc > 2 ? numberNlsParam(textOf(argv[2]), session) : session;
  resultNumber(ctx, parseByNumberFormat(textOf(argv[0]), parseNumberFormat(textOf(argv[1])), nls));
}


// ora_convert_or(kind, value, fallback[, model[, nls]]): TO_NUMBER (kind 0) or TO_DATE (1) of the
// value, or of the fallback when the value does not convert. A bad model is no conversion error.
void fnConvertOr(Ctx* ctx, int argc, Val** argv) {
  auto convert = sqlite3_value_int(argv[0]) == 1 ? fnToDate : fnToNumber;
  std::vector<Val*> args(argv + 1, argv + argc);
  Val* fallback = args[1];
  args.erase(args.begin() + 1);
  try {
    convert(ctx, static_cast<int>(args.size()), args.data());
    return;
  } catch (const OraError& e) {
    if (badModelError(e.code)) throw;
  }
  args[0] = fallback;
  convert(ctx, static_cast<int>(args.size()), args.data());
}

// ora_validate(kind, value[, model[, nls]]): 1 when the value converts to a number (kind 0) or a
// date (1), or is NULL; other types take any value.
void fnValidate(Ctx* ctx, int argc, Val** argv) {
  int kind = sqlite3_value_int(argv[0]);
  bool ok = true;
  if (kind < 2 && !isNull(argv[1])) {
    try {
      (kind == 1 ? fnToDate : fnToNumber)(ctx, argc - 1, argv + 1);
    } catch (const OraError& e) {
      if (e.code == 1821 || e.code == 1481) throw;
      ok = false;
    }
  }
  sqlite3_result_int(ctx, ok ? 1 : 0);
}

// ---- numbers ----

void roundOrTrunc(Ctx* ctx, int argc, Val** argv, bool round) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  if (roundInterval(ctx, argc, argv, round ? IntervalRound::Round : IntervalRound::Trunc)) return;
  DateTime d;
  // a zoned TIMESTAMP by its local date and time; text with a ':' is never a number
  bool zoned = !isDate(argv[0], d) && sqlite3_value_type(argv[0]) == SQLITE_TEXT &&
               textOf(argv[0]).find(':') != std::string::npos &&
               parseTimestampText(sqlite3_context_db_handle(ctx), textOf(argv[0]), d) == 0;
  if (zoned || isDate(argv[0], d)) {
    resultDate(ctx, roundDate(d, argc > 1 ? textOf(argv[1]) : std::string("DD"), round,
                              sessionNls(sqlite3_context_db_handle(ctx)).dateFlags()));
    return;
  }
  int places = argc > 1 ? static_cast<int>(std::clamp<int64_t>(intOf(argv[1]), -400, 400)) : 0;
  if (sqlite3_value_type(argv[0]) == SQLITE_INTEGER && places >= 0) {
    sqlite3_result_value(ctx, argv[0]);
    return;
  }
  Decimal x = decimalOf(argv[0]);
  if (round) roundTo(x, places);
  else truncTo(x, places);
  resultNumber(ctx, x);
}

void fnRound(Ctx* ctx, int argc, Val** argv) { roundOrTrunc(ctx, argc, argv, true); }
void fnTrunc(Ctx* ctx, int argc, Val** argv) { roundOrTrunc(ctx, argc, argv, false); }

// MOD(a, 0) is a; the result has the dividend's sign. Exact in decimal where it fits.
void fnMod(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  Decimal a = decimalOf(argv[0]), b = decimalOf(argv[1]);
  if (b.zero()) { resultNumber(ctx, a); return; }
  int k = std::max(fractionDigits(a), fractionDigits(b));
  int64_t ai, bi;
  if (scaledInt(a, k, ai) && scaledInt(b, k, bi)) {
    Decimal r = fromInteger(bi == -1 ? 0 : ai % bi);
    if (!r.zero()) r.point -= k;
    resultNumber(ctx, r);
    return;
  }
  // beyond 64 bits: a - b * TRUNC(a / b) in NUMBER's digits, the quotient mended where rounding
  // it crossed a whole number
  Num x, y;
  numOf(argv[0], x);
  numOf(argv[1], y);
  Num q = truncNum(div(x, y), 0);
  Num r = sub(x, mul(y, q));
  Num ay = y.negative() ? neg(y) : y;
  if (!r.zero() && r.negative() != x.negative()) r = x.negative() ? sub(r, ay) : add(r, ay);
  resultExact(ctx, r);
}

void fnAbs(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  Decimal x = decimalOf(argv[0]);
  x.neg = false;
  resultNumber(ctx, x);
}

void fnSign(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  Decimal x = decimalOf(argv[0]);
  sqlite3_result_int64(ctx, x.zero() ? 0 : x.neg ? -1 : 1);
}

void ceilOrFloor(Ctx* ctx, Val* v, bool ceil) {
  if (isNull(v)) { sqlite3_result_null(ctx); return; }
  if (sqlite3_value_type(v) == SQLITE_INTEGER) { sqlite3_result_value(ctx, v); return; }
  Decimal x = decimalOf(v), t = x;
  truncTo(t, 0);
  if (!sameDecimal(t, x) && x.neg != ceil) bumpMagnitude(t, x.neg);
  resultNumber(ctx, t);
}

// An interval to a unit of the format model; a number to a whole one (and no format model).
void fnCeil(Ctx* ctx, int argc, Val** argv) {
  if (!isNull(argv[0]) && roundInterval(ctx, argc, argv, IntervalRound::Ceil)) return;
  if (argc > 1) throw OraError(909);
  ceilOrFloor(ctx, argv[0], true);
}
void fnFloor(Ctx* ctx, int argc, Val** argv) {
  if (!isNull(argv[0]) && roundInterval(ctx, argc, argv, IntervalRound::Floor)) return;
  if (argc > 1) throw OraError(909);
  ceilOrFloor(ctx, argv[0], false);
}

// An integral exponent multiplies exactly (POWER(2, 100) has all its 31 digits); a negative
// base needs one.
void fnPower(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  Num a, b;
  numOf(argv[0], a);
  numOf(argv[1], b);
  resultExact(ctx, powReal(a, b));
}

void fnSqrt(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  Num x;
  numOf(argv[0], x);
  if (x.negative()) throw OraError(1428, numText(x));
  resultExact(ctx, sqrtNum(x));
}

void fnExp(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  Num x;
  numOf(argv[0], x);
  resultExact(ctx, expNum(x));
}

void fnLn(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  Num x;
  numOf(argv[0], x);
  resultExact(ctx, lnNum(x));
}

void fnLog(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  Num b, x;
  numOf(argv[0], b);
  numOf(argv[1], x);
  resultExact(ctx, logNum(b, x));
}

// ---- session ----

void fnUser(Ctx* ctx, int, Val**) {
  resultText(ctx, *static_cast<const std::string*>(sqlite3_user_data(ctx)));
}

// The user's number, kept in the schema file's user_version.
void fnUid(Ctx* ctx, int, Val**) {
  sqlite3_stmt* st = nullptr;
  int64_t uid = 0;
  if (sqlite3_prepare_v2(sqlite3_context_db_handle(ctx), "PRAGMA user_version", -1, &st, nullptr) ==
          SQLITE_OK &&
      sqlite3_step(st) == SQLITE_ROW)
    uid = sqlite3_column_int64(st, 0);
  sqlite3_finalize(st);
  sqlite3_result_int64(ctx, uid);
}

// Arities SQLite's own functions accept but Oracle's do not.
void fnBadArity(Ctx*, int, Val**) { throw OraError(909); }

// ---- registration ----

const Def kDefs[] = {
    {"NVL", 2, 2, guarded<fnNvl>, 0},
    {"NVL2", 3, 3, guarded<fnNvl2>, 0},
    {"DECODE", 3, -1, guarded<fnDecode>, 0},
    {"ora_decode_rest", 4, -1, guarded<fnDecodeRest>, 0},
    {"GREATEST", 1, -1, guarded<fnGreatest>, 0},
    {"LEAST", 1, -1, guarded<fnLeast>, 0},
    {"TO_CHAR", 1, 3, guarded<fnToChar>, kVarchar2},
    {"TO_NCHAR", 1, 3, guarded<fnToChar>, kVarchar2}, // national text is Unicode like the rest
    {"TO_DATE", 1, 3, guarded<fnToDate>, kDate, true},
    {"TO_NUMBER", 1, 3, guarded<fnToNumber>, kNumber},
    {"TO_TIMESTAMP", 1, 3, guarded<fnToTimestamp>, kTimestamp, true},
    {"ora_to_timestamp_or", 2, 4, guarded<convertOr<fnToTimestamp>>, kTimestamp, true},
    {"ora_validate_timestamp", 1, 3, guarded<converts<fnToTimestamp>>, kNumber, true},
    {"ora_ts_char", 3, 5, guarded<fnTsChar>, kVarchar2},
    {"ora_date_char", 2, 3, guarded<fnDateChar>, kVarchar2},
    {"SUBSTR", 2, 3, guarded<fnSubstr>, kVarchar2},
    {"INSTR", 2, 4, guarded<fnInstr>, kNumber},
    {"LENGTH", 1, 1, guarded<fnLength>, kNumber},
    // UCS-4 code points, which are the characters LENGTH counts; C counts complete characters,
    // the same for text of precomposed characters
    {"SUBSTR4", 2, 3, guarded<fnSubstr>, kVarchar2},
    {"INSTR4", 2, 4, guarded<fnInstr>, kNumber},
    {"LENGTH4", 1, 1, guarded<fnLength>, kNumber},
    {"SUBSTRC", 2, 3, guarded<fnSubstr>, kVarchar2},
    {"INSTRC", 2, 4, guarded<fnInstr>, kNumber},
    {"LENGTHC", 1, 1, guarded<fnLength>, kNumber},
    {"UPPER", 1, 1, guarded<fnUpper>, kVarchar2},
    {"LOWER", 1, 1, guarded<fnLower>, kVarchar2},
    {"INITCAP", 1, 1, guarded<fnInitcap>, kVarchar2},
    {"REVERSE", 1, 1, guarded<fnReverse>, kVarchar2},
    {"TRIM", 1, 1, guarded<fnTrim>, kVarchar2},
    {"LTRIM", 1, 2, guarded<fnLtrim>, kVarchar2},
    {"RTRIM", 1, 2, guarded<fnRtrim>, kVarchar2},
    {"ORA_TRIM", 3, 3, guarded<fnOraTrim>, kVarchar2},
    {"LPAD", 2, 3, guarded<fnLpad>, kVarchar2},
    {"RPAD", 2, 3, guarded<fnRpad>, kVarchar2},
    {"REPLACE", 2, 3, guarded<fnReplace>, kVarchar2},
    {"CONCAT", 2, 2, guarded<fnConcat>, kVarchar2},
    {"ORA_CONCAT", 1, -1, guarded<fnConcat>, kVarchar2},
    {"CHR", 1, 1, guarded<fnChr>, kVarchar2},
    {"ASCII", 1, 1, guarded<fnAscii>, kNumber},
    {"ROUND", 1, 2, guarded<fnRound>, 0},
    {"TRUNC", 1, 2, guarded<fnTrunc>, 0},
    {"MOD", 2, 2, guarded<fnMod>, kNumber},
    {"ABS", 1, 1, guarded<fnAbs>, kNumber},
    {"SIGN", 1, 1, guarded<fnSign>, kNumber},
    {"CEIL", 1, 2, guarded<fnCeil>, kNumber},
    {"FLOOR", 1, 2, guarded<fnFloor>, kNumber},
    {"POWER", 2, 2, guarded<fnPower>, kNumber},
    {"SQRT", 1, 1, guarded<fnSqrt>, kNumber},
    {"EXP", 1, 1, guarded<fnExp>, kNumber},
    {"LN", 1, 1, guarded<fnLn>, kNumber},
    {"LOG", 2, 2, guarded<fnLog>, kNumber},
    {"ADD_MONTHS", 2, 2, guarded<fnAddMonths>, kDate},
    {"MONTHS_BETWEEN", 2, 2, guarded<fnMonthsBetween>, kNumber},
    {"LAST_DAY", 1, 1, guarded<fnLastDay>, kDate},
    {"NEXT_DAY", 2, 2, guarded<fnNextDay>, kDate},
    {"ORA_DATE_ADD", 2, 2, guarded<fnDateAdd>, kDate},
    {"ORA_DATE_ADD_YM", 2, 2, guarded<fnDateAddMonths>, kDate},
    {"ORA_DATE_DIFF", 2, 2, guarded<fnDateDiff>, kNumber},
    {"ORA_USER", 0, 0, guarded<fnUser>, kVarchar2, true},
    {"ORA_UID", 0, 0, guarded<fnUid>, kNumber, true},
    {"LIKE", 2, 3, guarded<fnLike>, -1},
};

// Every function this file and its companions define.
const std::vector<Def>& allDefs() {
  static const std::vector<Def> all = [] {
    std::vector<Def> v(std::begin(kDefs), std::end(kDefs));
    for (auto* more : {&scalarFunctionDefs, &sessionFunctionDefs, &hashFunctionDefs, &normalizeFunctionDefs, &intervalFunctionDefs,
                       &lobFunctionDefs, &suppliedFunctionDefs, &checkFunctionDefs, &zoneFunctionDefs, &scnFunctionDefs, &timeBucketDefs,
                       &metadataFunctionDefs})
      for (const Def& d : more()) v.push_back(d);
    return v;
  }();
  return all;
}

} // namespace fn

using namespace fn;

bool exactTwin(const char* name) {
  static const std::set<std::string> twins = {"ROUND", "TRUNC", "MOD", "ABS", "CEIL", "FLOOR", "TO_NUMBER",
                                                 "GREATEST", "LEAST", "POWER", "SQRT", "EXP", "LN", "LOG", "SIN", "COS", "TAN",
                                                 "SINH", "COSH", "TANH", "ASIN", "ACOS", "ATAN", "ATAN2"};
  return twins.count(name) > 0;
}

void registerOraFunctions(sqlite3* db, const std::string& user) {
  attachNls(db, user);
  int limit = std::min(sqlite3_limit(db, SQLITE_LIMIT_FUNCTION_ARG, -1), 127);
  for (const Def& d : allDefs()) {
    int flags = SQLITE_UTF8 | (d.volatileFn ? 0 : SQLITE_DETERMINISTIC);
    int maxArgs = d.maxArgs < 0 ? limit : d.maxArgs;
    // Each arity on its own, so a wrong argument count fails when the statement is prepared.
    for (int n = d.minArgs; n <= maxArgs; ++n) {
      if (d.fn == guarded<fnUser>) {
        sqlite3_create_function_v2(db, d.name, n, flags, new std::string(user), d.fn, nullptr,
                                   nullptr, [](void* p) { delete static_cast<std::string*>(p); });
      } else {
        sqlite3_create_function(db, d.name, n, flags, nullptr, d.fn, nullptr, nullptr);
        if (exactTwin(d.name))
          sqlite3_create_function(db, (std::string(d.name) + "_X").c_str(), n, flags, &kExactResult, d.fn, nullptr,
                                  nullptr);
      }
    }
  }
  for (int n = 3; n <= 5; ++n)
    sqlite3_create_function(db, "ora_convert_or", n, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                            guarded<fnConvertOr>, nullptr, nullptr);
  for (int n = 2; n <= 4; ++n)
    sqlite3_create_function(db, "ora_validate", n, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                            guarded<fnValidate>, nullptr, nullptr);
  static int exact = 1;
  sqlite3_create_function(db, "ora_months_between_x", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, &exact,
                          guarded<fnMonthsBetween>, nullptr, nullptr);
  sqlite3_create_function(db, "TRIM", 2, SQLITE_UTF8, nullptr, guarded<fnBadArity>, nullptr, nullptr);
  sqlite3_create_function(db, "LOG", 1, SQLITE_UTF8, nullptr, guarded<fnBadArity>, nullptr, nullptr);
  registerZoneFunctions(db);
}

std::vector<std::string> oraFunctionNames() {
  std::vector<std::string> out;
  // the engine's own helpers (lower-case ora_ names) are no function a statement may name
  for (const Def& d : allDefs())
    if (std::strncmp(d.name, "ora_", 4) != 0) out.emplace_back(d.name);
  return out;
}

int functionResultType(std::string_view upperName) {
  static const std::map<std::string_view, int> types = [] {
    std::map<std::string_view, int> m;
    for (const Def& d : allDefs())
      if (d.type >= 0) m[d.name] = d.type;
    return m;
  }();
  auto it = types.find(upperName);
  return it == types.end() ? -1 : it->second;
}

} // namespace ora
