// NUMBER values compared by their exact decimal value where a side is computed: SQLite's operators
// would compare the doubles that carry them (1/3*3 rounds to 1 there). A column or literal on both
// sides keeps SQLite's own comparison, and with it the use of an index.
#include "TranslateImpl.h"

namespace ora::tx {

namespace {

const char* exactOperator(const std::string& op) {
  if (op == "=") return "=";
  if (op == "<>" || op == "!=" || op == "^=" || op == "~=") return "<>";
  if (op == "<") return "<";
  if (op == ">") return ">";
  if (op == "<=") return "<=";
  if (op == ">=") return ">=";
  return nullptr;
}

} // namespace

bool Translator::exactComparison(size_t lb, size_t le, size_t op, size_t re) {
  size_t rb = op + 1;
  if (le <= lb || re <= rb || op != le || ctx_.empty()) return false;
  const char* cmp = exactOperator(t_[op].text);
  if (!cmp || skip_[lb] || skip_[rb] || skip_[op]) return false;
  // ANY / SOME / ALL go through their own rewriting
  if (quantAt.count(t_[lb].pos) || is(t_[rb], "ANY") || is(t_[rb], "SOME") || is(t_[rb], "ALL")) return false;
  auto plain = [&](size_t b, size_t e) {
    if (e == b + 1) return true;
    if (e == b + 2 && (is(t_[b], "-") || is(t_[b], "+")) && t_[b + 1].kind == Token::Num) return true;
    for (size_t m = b; m < e; ++m) // a qualified column
      if ((m - b) % 2 ? !is(t_[m], ".") : !(t_[m].kind == Token::Ident || t_[m].kind == Token::QIdent)) return false;
    return (e - b) % 2 == 1;
  };
  if (plain(lb, le) && plain(rb, re)) return false;
  if (rowAt(lb, le) || rowAt(rb, re)) return false;
  try {
    if (exprType(lb, le).code != kNumber || exprType(rb, re).code != kNumber) return false;
  } catch (const OraError&) {
    return false;
  }
  std::string l = exactCall(emit(lb, le)), r = exactCall(emit(rb, re));
  replace_[lb] = "(ora_ncmp(" + l + ", " + r + ") " + cmp + " 0)";
  for (size_t m = lb + 1; m < re; ++m) skip_[m] = 1;
  return true;
}

} // namespace ora::tx
