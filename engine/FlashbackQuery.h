// Flashback queries: AS OF TIMESTAMP / SCN and VERSIONS BETWEEN after a table in FROM, and the
// valid-time forms AS OF PERIOD FOR / VERSIONS PERIOD FOR.
#pragma once
#include <string>

struct sqlite3;

namespace ora {

// The statement with each flashback table reference written as a query of the table's rows at
// that point; false when it has none. With `sessionTime`, the tables with valid-time periods are
// read as the session's ENABLE_AT_VALID_TIME sees them.
bool flashbackClause(const std::string& text, sqlite3* db, bool sessionTime, std::string& out);

} // namespace ora
