// Arithmetic and conversions of BINARY_FLOAT and BINARY_DOUBLE: IEEE results, with infinities and
// NaN where NUMBER would fail.
#include "BinaryFloats.h"

#include "FunctionUtil.h"
#include "Number.h"
#include "OraError.h"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <sqlite3.h>

namespace ora {

namespace {

bool sameWord(const std::string& a, const char* b) {
  if (a.size() != std::strlen(b)) return false;
  for (size_t k = 0; k < a.size(); ++k)
    if ((a[k] | 0x20) != (b[k] | 0x20)) return false;
  return true;
}

// ora_fp(op, kind, a, b): a op b in the binary type `kind`.
void fnFp(sqlite3_context* ctx, int, sqlite3_value** argv) {
  double a, b;
  if (!fpOf(argv[2], a) || !fpOf(argv[3], b)) { sqlite3_result_null(ctx); return; }
  int kind = sqlite3_value_int(argv[1]);
  const char* op = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
  char o = op ? op[0] : '+';
  double r;
  if (kind == kBinaryFloat) {
    float x = static_cast<float>(a), y = static_cast<float>(b);
    r = o == '+' ? x + y : o == '-' ? x - y : o == '*' ? x * y : x / y;
  } else {
    r = o == '+' ? a + b : o == '-' ? a - b : o == '*' ? a * b : a / b;
  }
  resultFp(ctx, kind, r);
}

// ora_fp_read(x): the value TO_BINARY_DOUBLE and TO_BINARY_FLOAT convert, 'NaN' and 'Inf' included.
void fnFpRead(sqlite3_context* ctx, int, sqlite3_value** argv) {
  sqlite3_value* v = argv[0];
  int type = sqlite3_value_type(v);
  if (type == SQLITE_NULL) { sqlite3_result_null(ctx); return; }
  if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) { sqlite3_result_value(ctx, v); return; }
  double d;
  fpOf(v, d);
  if (std::isnan(d) || std::isinf(d)) resultFp(ctx, kBinaryDouble, d);
  else sqlite3_result_value(ctx, v); // a number's text: read as TO_NUMBER reads it
}

// ora_fp_char(kind, x): TO_CHAR without a model.
void fnFpChar(sqlite3_context* ctx, int, sqlite3_value** argv) {
  double x;
  if (!fpOf(argv[1], x)) { sqlite3_result_null(ctx); return; }
  std::string s = fpText(sqlite3_value_int(argv[0]), x);
  sqlite3_result_text(ctx, s.c_str(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

// ora_fp_cast(kind, x): x converted to the binary type.
void fnFpCast(sqlite3_context* ctx, int, sqlite3_value** argv) {
  double x;
  if (!fpOf(argv[1], x)) { sqlite3_result_null(ctx); return; }
  resultFp(ctx, sqlite3_value_int(argv[0]), x);
}

// ora_fp_is(what, x): 1 when x is NaN (what 0) or infinite (what 1); NULL for NULL.
void fnFpIs(sqlite3_context* ctx, int, sqlite3_value** argv) {
  double x;
  if (!fpOf(argv[1], x)) { sqlite3_result_null(ctx); return; }
  sqlite3_result_int(ctx, sqlite3_value_int(argv[0]) == 0 ? std::isnan(x) : std::isinf(x));
}

// ora_fp_fn(name, kind, x [, y]): a math function of a binary value, as IEEE arithmetic has it
// (SQRT(-1) is NaN, LN(0) -Inf, EXP(1000) Inf): SQRT keeps the argument's type, the others
// give BINARY_DOUBLE.
void fnFpFn(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (argc < 3 || argc > 4) throw OraError(909);
  double x, y = 0;
  if (!fpOf(argv[2], x) || (argc == 4 && !fpOf(argv[3], y))) { sqlite3_result_null(ctx); return; }
  const char* p = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
  const std::string f = p ? p : "";
  int kind = sqlite3_value_int(argv[1]);
  double r;
  if (f == "SQRT") r = std::sqrt(x);
  else if (f == "EXP") r = std::exp(x);
  else if (f == "LN") r = std::log(x);
  else if (f == "LOG") r = std::log(y) / std::log(x);
  else if (f == "POWER") r = std::pow(x, y);
  else if (f == "SIN") r = std::sin(x);
  else if (f == "COS") r = std::cos(x);
  else if (f == "TAN") r = std::tan(x);
  else if (f == "ASIN") r = std::asin(x);
  else if (f == "ACOS") r = std::acos(x);
  else if (f == "ATAN") r = std::atan(x);
  else if (f == "ATAN2") r = std::atan2(x, y);
  else if (f == "SINH") r = std::sinh(x);
  else if (f == "COSH") r = std::cosh(x);
  else if (f == "TANH") r = std::tanh(x);
  else throw OraError(904, f);
  resultFp(ctx, f == "SQRT" ? kind : kBinaryDouble, r);
}

} // namespace

bool fpMathFunction(const std::string& name) {
  static const char* const names[] = {"SQRT", "EXP", "LN", "LOG", "POWER", "SIN", "COS", "TAN",
                                      "ASIN", "ACOS", "ATAN", "ATAN2", "SINH", "COSH", "TANH"};
  for (const char* n : names)
    if (name == n) return true;
  return false;
}

bool fpOf(sqlite3_value* v, double& out) {
  switch (sqlite3_value_type(v)) {
  case SQLITE_NULL: return false;
  case SQLITE_INTEGER:
  case SQLITE_FLOAT: out = sqlite3_value_double(v); return true;
  default: break;
  }
  const char* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
  std::string s = p ? p : "";
  size_t b = s.find_first_not_of(' '), e = s.find_last_not_of(' ');
  s = b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
  if (sameWord(s, "NAN")) { out = std::numeric_limits<double>::quiet_NaN(); return true; }
  if (sameWord(s, "INF") || sameWord(s, "+INF") || sameWord(s, "INFINITY")) { out = HUGE_VAL; return true; }
  if (sameWord(s, "-INF") || sameWord(s, "-INFINITY")) { out = -HUGE_VAL; return true; }
  // read as a double first: its range is wider than NUMBER's (1e300, 1e-300)
  if (!s.empty() && s[0] != '+' && (s.back() == '.' || std::isdigit(static_cast<unsigned char>(s.back())))) {
    char* end = nullptr;
    double d = cStrtod(s.c_str(), &end);
    if (end == s.c_str() + s.size() && std::isfinite(d) && s.find_first_of("xXpPnNiI") == std::string::npos) {
      out = d;
      return true;
    }
  }
  Num n;
  if (!parseNum(s, n)) throw OraError(1722);
  out = numDouble(n);
  return true;
}

double asBinaryFloat(double x) {
  auto f = static_cast<float>(x);
  if (!std::isfinite(f)) return f;
  for (int digits = 1; digits <= 9; ++digits) {
    std::string text = cFormat(static_cast<double>(f), 'g', digits);
    if (static_cast<float>(cStrtod(text.c_str())) == f) return cStrtod(text.c_str());
  }
  return f;
}

void resultFp(sqlite3_context* ctx, int kind, double x) {
  if (std::isnan(x)) { sqlite3_result_text(ctx, "Nan", 3, SQLITE_STATIC); return; }
  sqlite3_result_double(ctx, kind == kBinaryFloat ? asBinaryFloat(x) : x);
}

std::string fpText(int kind, double x) {
  if (std::isnan(x)) return "Nan";
  if (std::isinf(x)) return x > 0 ? "Inf" : "-Inf";
  if (x == 0) return std::signbit(x) ? "-0" : "0";
  // the type's decimal digits, trailing zeros dropped, one kept after the point
  std::string s = cFormat(x, 'e', kind == kBinaryFloat ? 8 : 14);
  size_t ep = s.find('e');
  std::string m = s.substr(0, ep), ex = s.substr(ep + 1);
  while (m.size() > 3 && m.back() == '0' && m[m.size() - 2] != '.') m.pop_back();
  if (m.back() == '0' && m[m.size() - 2] != '.') m.pop_back();
  char sign = ex[0];
  std::string digits = ex.substr(1);
  while (digits.size() > 1 && digits[0] == '0') digits.erase(0, 1);
  while (digits.size() < 3) digits.insert(0, "0");
  return m + "E" + sign + digits;
}

std::vector<int> fpBytes(int kind, double x) {
  std::vector<int> out;
  if (kind == kBinaryFloat) {
    float f = static_cast<float>(x);
    uint32_t u;
    std::memcpy(&u, &f, 4);
    u = (u & 0x80000000u) ? ~u : u | 0x80000000u;
    for (int k = 3; k >= 0; --k) out.push_back(static_cast<int>((u >> (8 * k)) & 0xFF));
  } else {
    uint64_t u;
    std::memcpy(&u, &x, 8);
    u = (u & 0x8000000000000000ull) ? ~u : u | 0x8000000000000000ull;
    for (int k = 7; k >= 0; --k) out.push_back(static_cast<int>((u >> (8 * k)) & 0xFF));
  }
  return out;
}

void registerBinaryFloats(sqlite3* db) {
  int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
  sqlite3_create_function(db, "ora_fp", 4, flags, nullptr, fn::guarded<fnFp>, nullptr, nullptr);
  sqlite3_create_function(db, "ora_fp_read", 1, flags, nullptr, fn::guarded<fnFpRead>, nullptr, nullptr);
  sqlite3_create_function(db, "ora_fp_char", 2, flags, nullptr, fn::guarded<fnFpChar>, nullptr, nullptr);
  sqlite3_create_function(db, "ora_fp_cast", 2, flags, nullptr, fn::guarded<fnFpCast>, nullptr, nullptr);
  sqlite3_create_function(db, "ora_fp_is", 2, flags, nullptr, fn::guarded<fnFpIs>, nullptr, nullptr);
  sqlite3_create_function(db, "ora_fp_fn", -1, flags, nullptr, fn::guarded<fnFpFn>, nullptr, nullptr);
}

} // namespace ora
