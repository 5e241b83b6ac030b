// BOOLEAN expressions in the translator: which token ranges give a truth value.
#include "TranslateBoolean.h"

namespace ora::tx {

namespace {

bool compareOp(const Token& k) {
  if (k.kind != Token::Op) return false;
  const std::string& s = k.text;
  return s == "=" || s == "<>" || s == "!=" || s == "^=" || s == "~=" || s == "<" || s == ">" || s == "<=" || s == ">=";
}

// The ")" closing the "(" at `open`, or `e` when it is not closed before e.
size_t closing(const std::vector<Token>& t, size_t open, size_t e) {
  for (size_t k = open + 1; k < e; ++k)
    if (is(t[k], ")") && t[k].depth == t[open].depth) return k;
  return e;
}

} // namespace

const char* truthAggregate(const std::string& name) {
  if (name == "BOOL_AND" || name == "EVERY") return "MIN";
  if (name == "BOOL_OR") return "MAX";
  return "";
}

bool conditionCall(const std::vector<Token>& t, size_t b, size_t e) {
  if (e <= b + 2 || e > t.size()) return false;
  const Token& f = t[b];
  return f.kind == Token::Ident && is(t[b + 1], "(") && closing(t, b + 1, e) == e - 1 &&
         (f.text == "REGEXP_LIKE" || f.text == "JSON_EXISTS" || f.text == "XMLEXISTS" || f.text == "LNNVL" ||
          f.text == "JSON_EQUAL");
}

bool booleanTokens(const std::vector<Token>& t, size_t b, size_t e) {
  if (e <= b || e > t.size()) return false;
  if (conditionCall(t, b, e)) return true;
  const Token& f = t[b];
  // (x): x, a subquery aside
  if (is(f, "(") && closing(t, b, e) == e - 1) return b + 1 < e - 1 && !is(t[b + 1], "SELECT") && booleanTokens(t, b + 1, e - 1);
  if (e == b + 1) return f.kind == Token::Ident && (f.text == "TRUE" || f.text == "FALSE");
  if (f.kind == Token::Ident && (f.text == "NOT" || f.text == "EXISTS")) return true;
  if (f.kind == Token::Ident && is(t[b + 1], "(") && closing(t, b + 1, e) == e - 1 &&
      (f.text == "TO_BOOLEAN" || *truthAggregate(f.text)))
    return true;
  int cases = 0;
  for (size_t k = b; k < e; ++k) {
    const Token& w = t[k];
    if (w.depth != f.depth) continue;
    if (w.kind == Token::Op) {
      if (cases == 0 && compareOp(w)) return true;
      continue;
    }
    if (w.kind != Token::Ident) continue;
    if (w.text == "CASE") ++cases;
    else if (w.text == "END" && cases > 0) --cases;
    else if (cases == 0 && (w.text == "AND" || w.text == "OR" || w.text == "IS" || w.text == "LIKE" || w.text == "BETWEEN" ||
                            w.text == "IN"))
      return true;
  }
  return false;
}

} // namespace ora::tx
