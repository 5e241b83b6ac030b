// The rows of a correlated inline view (LATERAL, CROSS APPLY, OUTER APPLY): SQLite reads no
// earlier table from a subquery in FROM, but it passes their columns to a table-valued function.
// The view's rows are packed by the aggregate ora_rows and read back by a module of its columns.
#pragma once
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_value;

namespace ora {

void registerLateralRows(sqlite3* db);
// Appends one value to packed rows as ora_rows packs it (nullptr is NULL).
void packValue(std::string& out, sqlite3_value* v);
// The table-valued function name(packed rows) with these columns, registered on the connection
// when it is not yet.
std::string lateralModule(sqlite3* db, const std::vector<std::string>& columns);

} // namespace ora
