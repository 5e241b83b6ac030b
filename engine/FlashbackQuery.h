// Flashback queries: AS OF TIMESTAMP / SCN and VERSIONS BETWEEN after a table in FROM, and the
// valid-time forms AS OF PERIOD FOR / VERSIONS PERIOD FOR.
#pragma once
#include <string>

namespace ora {

class Catalog;

// The statement with each flashback table reference written as a query of the table's rows at
// that point; false when it has none. With `sessionRows`, tables with valid-time periods or
// archived rows are read as the session sees them (SessionRows.h).
bool flashbackClause(const std::string& text, Catalog& cat, bool sessionRows, std::string& out);

} // namespace ora
