// The inline view that stands for a query with a MODEL clause (ModelClause.h): its rows go
// through ora_model, and the table-valued function of its columns reads back what it packed.
#include "TranslateImpl.h"

#include "LateralRows.h"
#include "ModelClause.h"

namespace ora::tx {

size_t Translator::modelView(size_t open, Context& c) {
  size_t close = matching(open);
  std::vector<std::string> names = lateralColumns(open, close);
  // the clause's text is the aggregate's argument, not one of the view's columns
  names.erase(names.begin());
  std::string cols;
  for (size_t k = 0; k < names.size(); ++k) cols += ", " + quoteIdent("C$" + std::to_string(k + 1));
  std::string module = lateralModule(cat_.db(), names);
  replace_[open] = "(SELECT * FROM " + module + "((WITH \"L$\"(\"C$0\"" + cols + ") AS (";
  replace_[close] = ") SELECT ora_model(" + quoteString(at(open + 2).text) + cols + ") FROM \"L$\")))";
  c.derived.emplace_back(open, aliasToken(close + 1) ? at(close + 1).text : std::string());
  return close;
}

} // namespace ora::tx
