// CURSOR (subquery): the rows of the subquery for the current row of the statement, packed by a
// subquery SQLite evaluates there and opened as a nested cursor by ora_cursor (NestedCursors.cpp).
#include "TranslateImpl.h"

#include "SqlText.h"

namespace ora::tx {

namespace {

std::string typeText(const ColType& t) {
  return std::to_string(t.code) + ":" + std::to_string(t.size) + ":" + std::to_string(t.precision) + ":" +
         std::to_string(t.hasScale ? t.scale : -1000);
}

} // namespace

std::string Translator::cursorExpression(size_t i, size_t& close) {
  size_t open = i + 1;
  close = matching(open);
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
