// CREATE / DROP DATABASE LINK and what becomes of a statement that names object@link.
#pragma once
#include "SqlTranslate.h"

#include <string>
#include <vector>

struct sqlite3;

namespace ora {

// CREATE [SHARED] [PUBLIC] DATABASE LINK and DROP [PUBLIC] DATABASE LINK: the translation in `out`.
bool databaseLinkStatement(const std::string& text, Catalog& cat, Translation& out);

// Throws for a statement that names object@link: no link of that name (ORA-02019), or one whose
// address this engine cannot reach (ORA-12154). Returns for any other statement.
void remoteReference(const std::string& text, Catalog& cat);

// The rows of USER_DB_LINKS, or of ALL_ / DBA_DB_LINKS with their owner first.
std::vector<std::vector<std::string>> databaseLinkRows(sqlite3* db, const std::string& view, const std::string& user);

} // namespace ora
