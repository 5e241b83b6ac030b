// The XML generation functions' runtime, as the SQLite functions translated statements call.
#pragma once

struct sqlite3;

namespace ora {
void registerXmlFunctions(sqlite3* db);
} // namespace ora
