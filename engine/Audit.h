// AUDIT and NOAUDIT of a schema's own objects: the options are kept with the schema and shown
// in USER_OBJ_AUDIT_OPTS. The engine keeps no audit trail, so auditing of statements and
// privileges is refused rather than accepted without effect.
#pragma once
#include "SqlTranslate.h"

#include <string>
#include <vector>

namespace ora {

// When `text` is AUDIT or NOAUDIT: its translation in `out`.
bool auditStatement(const std::string& text, Catalog& cat, Translation& out);

// USER_OBJ_AUDIT_OPTS rows: object name, type and the option columns in the view's order.
std::vector<std::vector<std::string>> auditOptionRows(sqlite3* db);

} // namespace ora
