// Flashback queries: AS OF TIMESTAMP / SCN and VERSIONS BETWEEN after a table in FROM.
#pragma once
#include <string>

namespace ora {

// The statement with each flashback table reference written as a query of the table's rows at
// that point; false when it has none.
bool flashbackClause(const std::string& text, std::string& out);

} // namespace ora
