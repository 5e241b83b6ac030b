// Application contexts: CREATE CONTEXT, DROP CONTEXT and the package trusted with each.
#pragma once
#include "SqlTranslate.h"

#include <string>

namespace ora {

// Translates CREATE [OR REPLACE] CONTEXT and DROP CONTEXT; false when the text is neither.
bool contextStatement(const std::string& text, Catalog& cat, Translation& out);

// The package that may set a namespace's attributes, as SCHEMA.PACKAGE; empty when the
// database has no such context.
std::string contextPackage(const std::string& folder, const std::string& ns);

} // namespace ora
