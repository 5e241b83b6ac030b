// BINARY_FLOAT and BINARY_DOUBLE in SQL text: literals with an f or d suffix, the named constants,
// the conversions to the types and their arithmetic.
#include "TranslateImpl.h"

#include "BinaryFloats.h"
#include "Number.h"

#include <algorithm>
#include <cfloat>
#include <cstring>

namespace ora::tx {

namespace {

struct FpConstant {
  const char* name;
  int kind;
  const char* sql;
};

// Inf as SQLite reads a literal beyond a double's range; NaN as our text for it
constexpr FpConstant kConstants[] = {
    {"BINARY_FLOAT_NAN", kBinaryFloat, "'Nan'"},
    {"BINARY_FLOAT_INFINITY", kBinaryFloat, "9e999"},
    {"BINARY_FLOAT_MAX_NORMAL", kBinaryFloat, "3.4028235e38"},
    {"BINARY_FLOAT_MIN_NORMAL", kBinaryFloat, "1.1754944e-38"},
    {"BINARY_FLOAT_MAX_SUBNORMAL", kBinaryFloat, "1.1754942e-38"},
    {"BINARY_FLOAT_MIN_SUBNORMAL", kBinaryFloat, "1e-45"},
    {"BINARY_DOUBLE_NAN", kBinaryDouble, "'Nan'"},
    {"BINARY_DOUBLE_INFINITY", kBinaryDouble, "9e999"},
    {"BINARY_DOUBLE_MAX_NORMAL", kBinaryDouble, "1.7976931348623157e308"},
    {"BINARY_DOUBLE_MIN_NORMAL", kBinaryDouble, "2.2250738585072014e-308"},
    {"BINARY_DOUBLE_MAX_SUBNORMAL", kBinaryDouble, "2.2250738585072009e-308"},
    {"BINARY_DOUBLE_MIN_SUBNORMAL", kBinaryDouble, "4.9406564584124654e-324"},
};

const FpConstant* constantNamed(const std::string& name) {
  if (name.rfind("BINARY_", 0) != 0) return nullptr;
  for (auto& c : kConstants)
    if (name == c.name) return &c;
  return nullptr;
}

// 1.5f is a BINARY_FLOAT, 2d a BINARY_DOUBLE
int literalKind(const Token& t) {
  if (t.kind != Token::Num || t.raw.empty()) return 0;
  char c = t.raw.back();
  return c == 'f' || c == 'F' ? kBinaryFloat : c == 'd' || c == 'D' ? kBinaryDouble : 0;
}

} // namespace

// Whether the statement writes a BINARY_FLOAT or BINARY_DOUBLE value: a literal, a constant, a
// conversion or a CAST to one.
bool Translator::binaryWritten() const {
  if (!binary_.empty()) return true;
  for (const Token& k : t_)
    if (literalKind(k) || (k.kind == Token::Ident && (k.text.rfind("BINARY_", 0) == 0 || k.text.rfind("TO_BINARY_", 0) == 0)))
      return true;
  return false;
}

bool Translator::binaryConstant(size_t i, std::string& sql) const {
  const Token& k = t_[i];
  if (k.kind != Token::Ident || is(at(i + 1), "(") || (i > 0 && is(t_[i - 1], "."))) return false;
  const FpConstant* c = constantNamed(k.text);
  if (!c) return false;
  sql = c->sql;
  return true;
}

bool Translator::binaryFloatType(size_t b, size_t e, ColType& t) {
  auto set = [&](int kind) {
    t = ColType{};
    t.code = kNumber;
    t.binary = kind;
    return true;
  };
  const Token& f = t_[b];
  if (e == b + 1) {
    if (int kind = literalKind(f)) return set(kind);
    if (f.kind == Token::Ident && !(b > 0 && is(t_[b - 1], ".")))
      if (const FpConstant* c = constantNamed(f.text)) return set(c->kind);
    return false;
  }
  if ((is(f, "-") || is(f, "+")) && f.kind == Token::Op) {
    ColType x = exprType(b + 1, e);
    return x.code == kNumber && x.binary && set(x.binary);
  }
  bool call = f.kind == Token::Ident && is(at(b + 1), "(") && matching(b + 1) + 1 == e;
  if (call)
    if (auto bin = binary_.find(b); bin != binary_.end()) return set(bin->second == 1 ? kBinaryDouble : kBinaryFloat);
  if (call && fpMathFunction(f.text) && f.text != "SQRT") {
    // of a binary argument, a BINARY_DOUBLE
    int kind = fpMathKind(b);
    return kind && set(kBinaryDouble);
  }
  if (call && (f.text == "NANVL" || f.text == "ABS" || f.text == "SQRT" || f.text == "SUM" || f.text == "AVG" ||
               f.text == "MIN" || f.text == "MAX")) {
    size_t m = b + 2;
    while (m < e - 1 && !(t_[m].depth == f.depth + 1 && is(t_[m], ","))) ++m;
    ColType a = exprType(b + 2, m);
    return a.code == kNumber && a.binary && set(a.binary);
  }
  // a product or quotient: of the widest binary type among its factors
  int d = f.depth, kind = 0;
  size_t fb = b;
  bool product = false;
  for (size_t k = b + 1; k <= e; ++k) {
    bool cut = k == e || (t_[k].depth == d && t_[k].kind == Token::Op && (is(t_[k], "*") || is(t_[k], "/")) &&
                          !is(t_[k - 1], "."));
    if (!cut) continue;
    if (k == e && !product) return false;
    product = true;
    if (k == fb) return false;
    ColType x = exprType(fb, k);
    if (x.code == kNumber) kind = std::max(kind, x.binary);
    fb = k + 1;
  }
  return kind && set(kind);
}

// The widest binary type among the arguments of the math function called at i; 0 when none is.
int Translator::fpMathKind(size_t i) {
  int kind = 0;
  for (auto [ab, ae] : callArgs(i)) {
    if (ab >= ae) continue;
    ColType x = exprType(ab, ae);
    if (x.code == kNumber && x.binary == kBinaryDouble) kind = kBinaryDouble;
    else if (x.code == kNumber && x.binary && !kind) kind = x.binary;
  }
  return kind;
}

// SQRT(x), LN(x), POWER(x, y) and the like of a binary value at i: IEEE's answer rather than
// NUMBER's error.
bool Translator::fpMathCall(size_t i, std::string& out, size_t& last) {
  const Token& k = t_[i];
  if (k.kind != Token::Ident || !is(at(i + 1), "(") || (i > 0 && is(t_[i - 1], ".")) || !fpMathFunction(k.text))
    return false;
  int kind = fpMathKind(i);
  if (!kind) return false;
  out = "ora_fp_fn(" + quoteString(k.text) + ", " + std::to_string(kind);
  for (auto [ab, ae] : callArgs(i))
    if (ab < ae) out += ", " + emit(ab, ae);
  out += ")";
  last = matching(i + 1);
  return true;
}

std::string Translator::fpPair(const char* f, const std::string& a, const std::string& b) const {
  const char* op = std::strcmp(f, "ora_add") == 0 ? "'+'" : std::strcmp(f, "ora_sub") == 0 ? "'-'"
                   : std::strcmp(f, "ora_mul") == 0 ? "'*'" : "'/'";
  return std::string("ora_fp(") + op + ", " + std::to_string(fpChain_) + ", " + a + ", " + b + ")";
}

} // namespace ora::tx
