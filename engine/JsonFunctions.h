// The SQL/JSON functions' runtime: JSON_VALUE, JSON_QUERY, JSON_EXISTS, IS JSON and the
// generation functions, as the SQLite functions translated statements call.
#pragma once
#include "OraError.h"

#include <string>

struct sqlite3;

namespace ora {

void registerJsonFunctions(sqlite3* db);
// One of the SQL/JSON errors (ORA-404nn, ORA-40597) with Oracle's text.
OraError jsonError(int code, const std::string& detail = {});

} // namespace ora
