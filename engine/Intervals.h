// INTERVAL YEAR TO MONTH and INTERVAL DAY TO SECOND values: their stored text, Oracle's text of
// them, and the readers of interval literals, TO_YMINTERVAL and TO_DSINTERVAL.
//
// A year-to-month value is a number of months, a day-to-second one a number of nanoseconds.
// Stored, each is a kind letter (Y, D), a sign letter (M below zero, P otherwise) and a
// fixed count of digits, a negative value's digits nines-complemented: texts of one kind then
// sort and compare as the values do.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

struct sqlite3_context;
struct sqlite3_value;

namespace ora {

struct Num;

// The fields of an interval literal's qualifier, in order.
enum class IvField { Year, Month, Day, Hour, Minute, Second };

constexpr __int128 kNanosPerSecond = 1000000000;
constexpr __int128 kNanosPerDay = kNanosPerSecond * 86400;

std::string storedInterval(bool ds, __int128 v);
// Reads the stored form; false when the text is none.
bool parseStoredInterval(std::string_view s, bool& ds, __int128& v);
// Oracle's default text: '+01-02', '+04 05:12:10.222000', the leading field padded to `lead`
// digits, `frac` digits of the seconds' fraction.
std::string intervalText(bool ds, __int128 v, int lead, int frac);
// The value rounded to `frac` digits of a second.
__int128 roundNanos(__int128 v, int frac);
// Whether the leading field of the value fits `lead` digits.
bool leadFits(bool ds, __int128 v, int lead);

// The text of an INTERVAL literal with the qualifier `from` [TO `to`]; 0 or Oracle's error.
int parseIntervalLiteral(std::string_view text, IvField from, IvField to, int lead, int frac, __int128& out);
// TO_YMINTERVAL and TO_DSINTERVAL text: the SQL form or ISO 8601's P...; 0 or the error.
int parseYmText(std::string_view text, __int128& months);
int parseDsText(std::string_view text, __int128& nanos);

// A type's name in ORA-00932's "expected ... got ...".
const char* typeWordFor(int code);

// A number of units as an interval: NUMTOYMINTERVAL and NUMTODSINTERVAL.
__int128 numToInterval(const Num& n, IvField unit);

// ora_conv's write of a value into an INTERVAL of `lead` and `frac` digits: the stored form of
// the same kind, or text in the SQL or ISO form. ORA-01873 when the leading field does not fit.
void convertInterval(sqlite3_context* ctx, sqlite3_value* v, bool ds, int lead, int frac, const char* label);

} // namespace ora
