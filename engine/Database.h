// Database folders, users and schema files.
#pragma once
#include <string>
#include <vector>

struct sqlite3;

namespace ora {

// $XDG_DATA_HOME/tessel3/default, or ~/.local/share/tessel3/default.
std::string defaultDatabaseFolder();

// Resolves a host string to a database folder, creating the default database on first use.
// Returns 0 or an Oracle error number (12154: not a database).
int resolveDatabase(const std::string& host, std::string& folder);

// 0 when the user exists and the password matches, else 1017.
int verifyUser(const std::string& folder, const std::string& user, const std::string& password);

// A user's files are named after the user, mapped so that no name leaves the folder or meets
// the engine's own files, on any file system: plain upper-case names stay as they are, every
// other byte becomes %XX, and names a file system reserves have their first character escaped.
std::string userFileStem(const std::string& user);
std::string schemaPath(const std::string& folder, const std::string& user);
std::string userFilePath(const std::string& folder, const std::string& user, const std::string& ext);
// Removes what an earlier version left of a CREATE USER that did not finish: a user without
// its schema file. Never waits for a busy user list.
void repairUsers(const std::string& folder);

// Opens a schema file of `user` with the engine's settings and SQL functions; nullptr on
// failure, with SQLite's result code in `rc`.
sqlite3* openSchema(const std::string& path, const std::string& user, int* rc = nullptr);



enum class Charset;

// Creates a new database folder with SYSTEM; `withDemo` adds DEMO/DEMO and its tables. The
// folder records its character set. Returns 0 or an Oracle error number.
int createDatabase(const std::string& folder, const std::string& systemPassword, bool withDemo, Charset cs);
int createUser(const std::string& folder, const std::string& user, const std::string& password);
// 0, or 1918 when the user does not exist.
int setPassword(const std::string& folder, const std::string& user, const std::string& password);
int dropUser(const std::string& folder, const std::string& user);
bool userExists(const std::string& folder, const std::string& user);

// A password's stored hash (empty on failure), and whether a password matches one.
std::string secretHash(const std::string& password);
bool secretMatches(const std::string& hash, const std::string& password);

// Upper case unless written in double quotes.
std::string normalizeName(const std::string& s);

} // namespace ora
