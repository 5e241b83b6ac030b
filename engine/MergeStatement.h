// Oracle's statements that write several ways at once: MERGE, INSERT ALL / FIRST.
#pragma once
#include "SqlTranslate.h"

#include <string>
#include <vector>

namespace ora {

// When `text` is a MERGE: its translation, the statements it runs in order, in `out`.
bool mergeStatement(const std::string& text, Catalog& cat, Translation& out);
// When `text` is INSERT ALL or INSERT FIRST: its translation, one insert per INTO, in `out`.
bool multiInsert(const std::string& text, Catalog& cat, Translation& out);
// Statements run in order as one: the first translated as usual, the others after it.
Translation translateParts(const std::vector<std::string>& pieces, Catalog& cat, const char* verb);

} // namespace ora
