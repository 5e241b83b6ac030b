// What the files of SQL functions share: argument readers, result writers, character and
// calendar helpers, date format models and the registration table.
#pragma once
#include "OraError.h"
#include "OraValues.h"

#include <cstdint>
#include <new>
#include <sqlite3.h>
#include <string>
#include <string_view>
#include <vector>

namespace ora::fn {

using Ctx = sqlite3_context;
using Val = sqlite3_value;
using Fn = void (*)(Ctx*, int, Val**);

// Function bodies throw OraError; the registered wrapper turns it into the SQL error.
template <void (*F)(Ctx*, int, Val**)>
void guarded(Ctx* ctx, int argc, Val** argv) {
  try {
    F(ctx, argc, argv);
  } catch (const OraError& e) {
    sqlite3_result_error(ctx, e.text.c_str(), -1);
  } catch (const std::bad_alloc&) {
    sqlite3_result_error_nomem(ctx);
  } catch (...) {
    // nothing may unwind through SQLite's C frames
    sqlite3_result_error(ctx, "ORA-00600: internal error in a function", -1);
  }
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

// The longest text a function builds, as Oracle's VARCHAR2 limit in SQL.
constexpr int kMaxText = 4000;

bool isNull(Val* v);
bool anyNull(int argc, Val** argv);
std::string textOf(Val* v); // as Oracle's implicit conversion to character gives it
void resultText(Ctx* ctx, const std::string& s); // the empty string is NULL
Decimal decimalOf(Val* v);
double doubleOf(Val* v);
int64_t intOf(Val* v);
bool isNumber(Val* v);
void resultDouble(Ctx* ctx, double x);

uint32_t nextChar(std::string_view s, size_t& i);
void appendChar(std::string& out, uint32_t c);
std::vector<uint32_t> decode(std::string_view s);
uint32_t upperChar(uint32_t c);
uint32_t lowerChar(uint32_t c);
bool isWordChar(uint32_t c);
std::string mapChars(std::string_view s, uint32_t (*f)(uint32_t));
std::string trimChars(const std::string& s, const std::vector<uint32_t>& set, bool left, bool right);

int64_t daysFromCivil(int y, int m, int d);
int64_t dayNumber(const DateTime& d);
int64_t secondsOf(const DateTime& d);
DateTime fromSeconds(int64_t s);
bool isDate(Val* v, DateTime& out);
DateTime dateOf(Ctx* ctx, Val* v); // the stored form, or text in the session's date format
void resultDate(Ctx* ctx, const DateTime& d);

// Languages of month and day names (NLS_DATE_LANGUAGE).
enum DateLanguage : int { kAmerican = 0, kJapanese = 1 };
// The language an NLS_DATE_LANGUAGE value names; -1 when none we know.
int dateLanguageNamed(std::string_view name);
// NLS parameters of TO_CHAR and TO_DATE ("NLS_DATE_LANGUAGE = American"): the language they
// name, or `dflt` when they name none; ORA-12702 when the text is not such a parameter.
int dateLanguageParam(std::string_view nlsParams, int dflt);

} // namespace ora::fn

namespace ora {

// The settings of the session on one connection (ALTER SESSION SET NLS_...).
struct Nls {
  std::string dateFormat; // NLS_DATE_FORMAT; empty for the default 'RR-MM-DD'
  int dateLanguage = fn::kAmerican;
  int language = fn::kAmerican; // NLS_LANGUAGE
  std::string user;
  int64_t sessionId = 0;
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

} // namespace ora
