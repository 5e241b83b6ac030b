// CURSOR (subquery): the rows of the subquery for the current row of the statement, packed by a
// subquery SQLite evaluates there and opened as a nested cursor by ora_cursor (NestedCursors.cpp).
#include "TranslateImpl.h"

#include "SqlText.h"

namespace ora::tx {

namespace {

std::string typeText(const ColType& t) {
  return std::to_string(t.code) + ":" + std::to_string(t.size) + ":" + std::to_string(t.precision) + ":" +
         std::to_string(t.hasScale || isTimestamp(t.code) || isInterval(t.code) ? t.scale : -1000); // a fraction's digits
}

} // namespace

// Where Oracle takes a nested cursor: an argument of a function, or an item of a query's select
// list; elsewhere (a WHERE clause, the values of DML, a view) it is ORA-22902.
bool Translator::cursorAllowed(size_t i, size_t close) {
  int d = t_[i].depth;
  bool argument = i > 0 && (is(t_[i - 1], "(") || is(t_[i - 1], ",")) && (is(at(close + 1), ")") || is(at(close + 1), ","));
  if (argument) {
    size_t j = i;
    while (j > 0 && !(is(t_[j - 1], "(") && t_[j - 1].depth == d - 1)) --j;
    if (j >= 2 && (t_[j - 2].kind == Token::Ident || t_[j - 2].kind == Token::QIdent) && !keywordAt(t_, j - 2)) return true;
  }
  if (ViewStars::depth || (tr_.verb != "SELECT" && tr_.verb != "WITH" && tr_.verb != "(")) return false;
  for (size_t j = i; j-- > 0;) {
    if (t_[j].depth < d) return false;
    if (t_[j].depth != d) continue;
    if (is(t_[j], "SELECT")) return true;
    if (is(t_[j], "FROM") || is(t_[j], "WHERE") || is(t_[j], "BY") || is(t_[j], "HAVING") || is(t_[j], "ON")) return false;
  }
  return false;
}

std::string Translator::cursorExpression(size_t i, size_t& close) {
  size_t open = i + 1;
  close = matching(open);
  if (!cursorAllowed(i, close)) throw OraError(22902).at(static_cast<int>(t_[i].pos));
  std::vector<std::string> names = lateralColumns(open, close);
  std::string cols;
  for (size_t k = 0; k < names.size(); ++k) cols += (k ? ", " : "") + quoteIdent("C$" + std::to_string(k + 1));
  std::string inner = emit(open + 1, close);
  // the items' types as the subquery's first block gave them; a "*" leaves the columns' own
  size_t first = open + 1;
  while (first < close && !(t_[first].depth == t_[open].depth + 1 && is(t_[first], "SELECT"))) ++first;
  auto typed = selectTypes_.find(first);
  std::string call = "ora_cursor((WITH \"K$\"(" + cols + ") AS (" + inner + ") SELECT ora_rows(" + cols + ") FROM \"K$\")";
  for (size_t k = 0; k < names.size(); ++k) {
    ColType t;
    if (typed != selectTypes_.end() && typed->second.size() == names.size()) t = typed->second[k];
    else if (auto it = tr_.inferred.find(names[k]); it != tr_.inferred.end()) t = it->second;
    call += ", " + quoteString(names[k]) + ", " + quoteString(typeText(t));
  }
  return call + ")";
}

} // namespace ora::tx
