// Exact decimal numbers as Oracle's NUMBER computes them: a signed integer mantissa of at most
// 38 digits and a power of ten. Results are rounded half away from zero to 38 significant digits.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

struct sqlite3_value;
struct sqlite3_context;

namespace ora {

struct Num {
  __int128 m = 0; // |m| < 10^38; no trailing zero digits (canonical), 0 for zero
  int e = 0;      // value = m * 10^e

  bool zero() const { return m == 0; }
  bool negative() const { return m < 0; }
};

// Text in SQL's number syntax ("12", "-.5", "1.5e3", " 7 "); false when it is none.
bool parseNum(std::string_view text, Num& out);
Num numFromInt(int64_t v);
// The shortest decimal that reads back as the same double: what the value was written as.
Num numFromDouble(double v);
// The whole value behind a double that a computation of this thread rounded it to, if known.
bool exactBehind(double v, Num& out);
// A value as stored or computed: INTEGER, REAL or number text; false for NULL. Throws
// ORA-01722 for text that is no number and ORA-00932 for a BLOB.
bool numOf(sqlite3_value* v, Num& out);

Num add(const Num& a, const Num& b);
Num sub(const Num& a, const Num& b);
Num mul(const Num& a, const Num& b);
Num div(const Num& a, const Num& b); // throws ORA-01476 for a zero divisor
Num neg(Num a);
int compare(const Num& a, const Num& b);
// Rounds half away from zero to `scale` decimals (negative: left of the point).
Num roundNum(const Num& a, int scale);
// The square root rounded to 38 digits; the argument is not negative.
Num sqrtNum(const Num& a);
// base^n by repeated squaring, each product rounded to 38 digits; ORA-01426 past the range.
Num powNum(const Num& base, int64_t n);

// strtod and printf's %.*e / %.*g with '.' as the decimal point whatever the host process set
// LC_NUMERIC to (a GUI toolkit takes the user's locale, and "1.5" must not read as 1).
double cStrtod(const char* s, char** end = nullptr);
std::string cFormat(double x, char conversion, int precision);

// Oracle's text of a number: "1430", ".5", "-.25", and 1.5E+125 style beyond 64 characters.
std::string numText(const Num& a);
// The double nearest to the value.
double numDouble(const Num& a);
// As SQL result: INTEGER when integral and in range, else REAL.
void resultNum(sqlite3_context* ctx, const Num& a);
// For a caller that reads numbers exactly (our own functions, the fetch): as resultNum while a
// double holds the value, its decimal text beyond 15 significant digits.
void resultNumExact(sqlite3_context* ctx, const Num& a);

} // namespace ora
