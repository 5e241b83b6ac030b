// Hierarchical queries whose FROM clause joins several tables.
#pragma once
#include "SqlTranslate.h"

#include <string>

namespace ora {

// When a query block walks a hierarchy over a join: the same statement with the join as an
// inline view the walk reads.
bool hierarchyJoin(const std::string& text, Catalog& cat, std::string& out);

} // namespace ora
