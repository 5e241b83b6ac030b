// Oracle's PIVOT and UNPIVOT clauses.
#pragma once
#include "SqlTranslate.h"

#include <string>

namespace ora {

// When `text` pivots a source in FROM: the same statement with a grouped query in its place.
bool pivotClause(const std::string& text, Catalog& cat, std::string& out);
// When `text` unpivots a source in FROM: the same statement with a union of its columns in its place.
bool unpivotClause(const std::string& text, Catalog& cat, std::string& out);

} // namespace ora
