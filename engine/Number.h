// Exact decimal numbers as Oracle's NUMBER computes them: an integer mantissa of up to 20 base-100
// digits aligned on the decimal point (39 or 40 decimal digits) and a power of ten. Results are
// rounded half away from zero to that many digits.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

struct sqlite3_value;
struct sqlite3_context;

namespace ora {

struct Num {
  // |mantissa| = top·2^128 + hi·2^64 + lo, below 10^40; no trailing zero digits (canonical)
  uint64_t lo = 0, hi = 0;
  uint32_t top = 0;
  int32_t e = 0; // value = ±mantissa · 10^e
  bool neg = false;

  constexpr Num() = default;
  // A small mantissa and its power of ten, as written (not made canonical).
  constexpr Num(int64_t m, int exponent)
      : lo(m < 0 ? 0 - static_cast<uint64_t>(m) : static_cast<uint64_t>(m)), e(exponent), neg(m < 0) {}

  bool zero() const { return !(lo | hi | top); }
  bool negative() const { return neg; }
  // The mantissa fits 64 bits.
  bool narrow() const { return !(hi | top); }
  friend bool operator==(const Num&, const Num&) = default;
};

// Text in SQL's number syntax ("12", "-.5", "1.5e3", " 7 "); false when it is none.
bool parseNum(std::string_view text, Num& out);
Num numFromInt(int64_t v);
// ±m · 10^e in canonical form, rounded to NUMBER's digits.
Num numFromI128(__int128 m, int e);
// The shortest decimal that reads back as the same double: what the value was written as.
Num numFromDouble(double v);
// The whole value behind a double that a computation of this thread rounded it to, if known.
bool exactBehind(double v, Num& out);
// A value as stored or computed: INTEGER, REAL or number text; false for NULL. Throws
// ORA-01722 for text that is no number and ORA-00932 for a BLOB.
bool numOf(sqlite3_value* v, Num& out);
// The value cut toward zero to a whole number, when that fits 64 (128) bits.
bool int64Of(const Num& a, int64_t& out);
bool int128Of(const Num& a, __int128& out);

Num add(const Num& a, const Num& b);
Num sub(const Num& a, const Num& b);
Num mul(const Num& a, const Num& b);
Num div(const Num& a, const Num& b); // throws ORA-01476 for a zero divisor
Num neg(Num a);
int compare(const Num& a, const Num& b);
// Rounds half away from zero to `scale` decimals (negative: left of the point).
Num roundNum(const Num& a, int scale);
// Cuts toward zero to `scale` decimals.
Num truncNum(const Num& a, int scale);
// The square root rounded to NUMBER's digits; the argument is not negative.
Num sqrtNum(const Num& a);
// base^n by repeated squaring, each product rounded to NUMBER's digits; ORA-01426 past the range.
Num powNum(const Num& base, int64_t n);

// strtod and printf's %.*e / %.*g with '.' as the decimal point whatever the host process set
// LC_NUMERIC to (a GUI toolkit takes the user's locale, and "1.5" must not read as 1).
double cStrtod(const char* s, char** end = nullptr);
std::string cFormat(double x, char conversion, int precision);

// Oracle's text of a number: "1430", ".5", "-.25", and 1.5E+125 style beyond 64 characters.
std::string numText(const Num& a);
// The mantissa's decimal digits, without sign or point, and how many there are.
int digitCount(const Num& a);
std::string numDigits(const Num& a);
// Oracle's internal form of the value: an exponent byte, then base-100 digits each plus one
// (101 minus the digit when negative, and a closing 102 when fewer than 20); 1 to 21 bytes.
int numBytes(const Num& a, unsigned char out[21]);
// The double nearest to the value.
double numDouble(const Num& a);
// As SQL result: INTEGER when integral and in range, else REAL.
void resultNum(sqlite3_context* ctx, const Num& a);
// For a caller that reads numbers exactly (our own functions, the fetch): as resultNum while a
// double holds the value, its decimal text beyond 15 significant digits.
void resultNumExact(sqlite3_context* ctx, const Num& a);

} // namespace ora
