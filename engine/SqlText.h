// The one way the engine puts names and values into SQL text of its own, and the one way it runs
// such text: a statement at a time, never a text that could hold more.
#pragma once
#include <string>

struct sqlite3;

namespace ora {

// "name" with embedded quotes doubled.
std::string quoteIdent(const std::string& s);
// 'text' with embedded quotes doubled.
std::string quoteString(const std::string& s);

// Prepares and runs exactly one statement; text after it (other than blanks) is refused with
// SQLITE_MISUSE before anything runs. Returns the SQLite result code (SQLITE_OK on success).
int execOne(sqlite3* db, const std::string& sql);

// Whether a function name (any case) may be called from SQL: Oracle's functions and the
// engine's own helpers. Everything else SQLite offers stays out of reach.
bool functionAllowed(const char* name, bool engineHelpers);
// Installs the authorizer that refuses every other function, ATTACH and DETACH.
void installAuthorizer(sqlite3* db);

} // namespace ora
