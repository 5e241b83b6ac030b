// DML on the elements of a nested table column: INSERT INTO / UPDATE / DELETE TABLE(subquery).
#pragma once
#include "SqlTranslate.h"

#include <string>

namespace ora {

// When `text` is DML on TABLE(SELECT column FROM table WHERE ...): the statement that runs it,
// in `out`.
bool collectionElementDml(const std::string& text, Catalog& cat, Translation& out);

} // namespace ora
