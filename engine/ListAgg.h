// The ordered string aggregate behind LISTAGG.
#pragma once

struct sqlite3;

namespace ora {
void registerListAgg(sqlite3* db);
} // namespace ora
