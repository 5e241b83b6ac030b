// PLS_INTEGER and its subtypes: the range of a value stored in one, and arithmetic done on them.
#include "PlsqlRun.h"

#include <cstdlib>
#include <string>

namespace ora::pl {

namespace {

constexpr long long kPlsMin = -2147483648LL, kPlsMax = 2147483647LL;

// A whole number's decimal text; false when it is beyond 18 digits.
bool wholeValue(const std::string& s, long long& out) {
  size_t digits = 0;
  for (char c : s) {
    if (c >= '0' && c <= '9') ++digits;
    else if (!(c == '-' || c == '+')) return false;
  }
  if (digits == 0 || digits > 18) return false;
  out = std::strtoll(s.c_str(), nullptr, 10);
  return true;
}

bool plsOperand(const Var* v) {
  return v && !v->record && !v->isColl() && v->type.kind == TypeSpec::Number && v->type.range != TypeSpec::AnyInt;
}

} // namespace

Val intInRange(const TypeSpec& ty, Val x) {
  if (ty.range == TypeSpec::AnyInt || x.k != Val::Num) return x;
  long long n = 0;
  if (!wholeValue(x.s, n)) throw OraError(1426);
  if (ty.range == TypeSpec::Simple) {
    // SIMPLE_INTEGER wraps around rather than overflowing
    unsigned long long u = static_cast<unsigned long long>(n) & 0xFFFFFFFFULL;
    n = u > static_cast<unsigned long long>(kPlsMax) ? static_cast<long long>(u) - 4294967296LL : static_cast<long long>(u);
    return Val{Val::Num, std::to_string(n), false};
  }
  if (n < kPlsMin || n > kPlsMax) throw OraError(1426);
  if ((ty.range == TypeSpec::Natural && n < 0) || (ty.range == TypeSpec::Positive && n < 1) ||
      (ty.range == TypeSpec::Sign && (n < -1 || n > 1)) || (ty.ranged && (n < ty.lo || n > ty.hi)))
    throw valueError("");
  return x;
}

long long plsBound(const Val& v) {
  long long n = 0;
  if (!wholeValue(v.s, n) || n < kPlsMin || n > kPlsMax) throw OraError(1426);
  return n;
}

// Arithmetic whose operands are all PLS_INTEGER is done in its 32 bits: beyond them it overflows,
// even when the result goes to a NUMBER; SIMPLE_INTEGER operands wrap around.
void Run::integerArithmetic(Range r, Val& x) {
  if (x.k != Val::Num) return;
  const auto& t = u.toks;
  bool op = false, simple = true;
  int operands = 0;
  for (size_t k = r.b; k < r.e; ++k) {
    if (t[k].kind == T::Op) {
      const std::string& o = t[k].text;
      if (o == "+" || o == "-" || o == "*") op = true;
      else if (o != "(" && o != ")") return;
      continue;
    }
    if (t[k].kind != T::Word) return;
    Var* v = find(t[k].text);
    if (!plsOperand(v)) return;
    simple = simple && v->type.range == TypeSpec::Simple;
    ++operands;
  }
  if (!op || operands < 2) return;
  TypeSpec ty;
  ty.range = simple ? TypeSpec::Simple : TypeSpec::Pls;
  long long n = 0;
  if (!wholeValue(x.s, n)) throw OraError(1426);
  x = intInRange(ty, x);
}

} // namespace ora::pl

namespace ora::pl {

namespace {

bool word(const Tok& k, const char* w) { return k.kind == T::Word && k.text == w; }
bool op(const Tok& k, const char* o) { return k.kind == T::Op && k.text == o; }

// Whether a token ends an operand (a name, literal or closing parenthesis).
bool operandEnd(const Tok& k) {
  if (k.kind == T::Num || k.kind == T::Str || k.kind == T::QWord || op(k, ")")) return true;
  if (k.kind != T::Word) return false;
  static const char* const keywords[] = {"AND", "OR", "NOT", "THEN", "ELSE", "WHEN", "IS", "IN", "LIKE",
                                         "BETWEEN", "CASE", "RETURN", "MOD", "NULL"};
  for (const char* w : keywords)
    if (k.text == w) return std::string(w) == "NULL";
  return true;
}

// The end of the operand at k, after its signs: a parenthesis, or a [qualified] name or literal
// with its arguments.
size_t operandAfter(const std::vector<Tok>& t, size_t k, size_t e) {
  while (k < e && (op(t[k], "-") || op(t[k], "+"))) ++k;
  if (k < e && op(t[k], "(")) return closing(t, k) + 1;
  ++k;
  while (k + 1 < e && op(t[k], ".") && t[k + 1].kind == T::Word) k += 2;
  if (k < e && op(t[k], "(")) k = closing(t, k) + 1;
  return k;
}

} // namespace

// PL/SQL's infix MOD (as in "n MOD j = 0"): the operands of each, as SQL's MOD(a, b) takes them.
// MOD binds as * and / do, from the left.
std::vector<ModOperator> modOperators(const std::vector<Tok>& t, Range r) {
  std::vector<ModOperator> out;
  for (size_t m = r.b + 1; m + 1 < r.e; ++m) {
    if (!word(t[m], "MOD") || op(t[m + 1], "(") || !operandEnd(t[m - 1])) continue;
    // the left operand: back over a term of *, / and MOD
    size_t left = m;
    for (int depth = 0; left > r.b; --left) {
      const Tok& k = t[left - 1];
      if (op(k, ")")) ++depth;
      else if (op(k, "(")) {
        if (depth == 0) break;
        --depth;
      } else if (depth == 0 && (k.kind == T::Op ? !(op(k, "*") || op(k, "/") || op(k, ".") || op(k, "%") || op(k, "**"))
                                                : k.kind == T::Word && !operandEnd(k) && !word(k, "MOD")))
        break;
    }
    // the right operand: one factor, a sign, a name with its arguments or a parenthesis, and
    // what ** raises it to
    size_t right = m;
    do {
      right = operandAfter(t, right + 1, r.e);
    } while (right < r.e && op(t[right], "**"));
    if (left >= m || right > r.e) continue;
    out.push_back({left, m, right});
  }
  return out;
}

std::vector<ModOperator> powerOperators(const std::vector<Tok>& t, Range r) {
  std::vector<ModOperator> out;
  // one operand: a literal, a [qualified] name with its arguments, or a parenthesis
  auto leftStart = [&](size_t k) {
    if (op(t[k], ")")) {
      size_t depth = 0;
      for (; k > r.b; --k) {
        if (op(t[k], ")")) ++depth;
        else if (op(t[k], "(") && --depth == 0) break;
      }
      if (k > r.b && t[k - 1].kind == T::Word) --k;
    }
    while (k >= r.b + 2 && op(t[k - 1], ".") && (t[k - 2].kind == T::Word || t[k - 2].kind == T::QWord)) k -= 2;
    return k;
  };
  for (size_t m = r.b + 1; m + 1 < r.e; ++m) {
    if (!op(t[m], "**") || !operandEnd(t[m - 1])) continue;
    size_t left = leftStart(m - 1);
    // a ** b ** c is (a ** b) ** c: the power just read is this one's base
    if (!out.empty() && out.back().right == m) left = out.back().left;
    size_t right = operandAfter(t, m + 1, r.e);
    if (left >= m || right > r.e) continue;
    out.push_back({left, m, right});
  }
  return out;
}

} // namespace ora::pl
