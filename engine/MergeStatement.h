// Oracle's MERGE statement.
#pragma once
#include "SqlTranslate.h"

#include <string>

namespace ora {

// When `text` is a MERGE: its translation, the statements it runs in order, in `out`.
bool mergeStatement(const std::string& text, Catalog& cat, Translation& out);

} // namespace ora
