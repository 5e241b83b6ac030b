// Oracle's statements that write several ways at once: MERGE, INSERT ALL / FIRST.
#pragma once
#include "SqlTranslate.h"

#include <string>

namespace ora {

// When `text` is a MERGE: its translation, the statements it runs in order, in `out`.
bool mergeStatement(const std::string& text, Catalog& cat, Translation& out);
// When `text` is INSERT ALL or INSERT FIRST: its translation, one insert per INTO, in `out`.
bool multiInsert(const std::string& text, Catalog& cat, Translation& out);

} // namespace ora
