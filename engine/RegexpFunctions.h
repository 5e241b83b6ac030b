// Oracle's regular expression functions.
#pragma once

struct sqlite3;

namespace ora {

extern const char* const kRegexpFunctions[]; // their names, ending with nullptr
void registerRegexpFunctions(sqlite3* db);

} // namespace ora
