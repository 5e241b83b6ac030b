// A table's foreign key to itself: the key it refers to may be declared in the same statement.
#include "DdlImpl.h"

#include <algorithm>

namespace ora::tx {

namespace {
// The column whose definition holds token k: the name after the "," or "(" that opens it.
std::string owningColumn(const std::vector<Token>& t, size_t b, size_t k) {
  size_t m = k;
  while (m > b && !(t[m - 1].text == "," && t[m - 1].depth == t[k].depth) &&
         !(t[m - 1].text == "(" && t[m - 1].depth + 1 == t[k].depth))
    --m;
  return t[m].text;
}
} // namespace

bool selfKeyDeclared(const std::vector<Token>& t, size_t b, size_t e, const std::vector<std::string>& columns) {
  for (size_t k = b; k < e && k < t.size(); ++k) {
    bool primary = is(t[k], "PRIMARY") && k + 1 < e && is(t[k + 1], "KEY");
    if (!primary && !is(t[k], "UNIQUE")) continue;
    if (columns.empty() && !primary) continue;
    size_t after = primary ? k + 2 : k + 1;
    std::vector<std::string> key;
    if (after < e && t[after].text == "(") key = nameList(t, after, e);
    else key.push_back(owningColumn(t, b, k));
    if (columns.empty() ||
        std::is_permutation(columns.begin(), columns.end(), key.begin(), key.end()))
      return true;
  }
  return false;
}

} // namespace ora::tx
