// The data dictionary views a logon sees (USER_TABLES, ALL_OBJECTS, DBA_USERS, DICT, ...), kept as temporary tables of
// the connection with Oracle's column types, filled from the schema when a query reads them.
#pragma once
#include <string>
#include <utility>
#include <vector>

struct sqlite3;

namespace ora {

class Session;

// The dictionary view a name denotes for a user ("COLS" is USER_TAB_COLUMNS); empty when none
// or when the user may not read it (the DBA_ views are SYSTEM's).
std::string dictionaryView(const std::string& name, const std::string& user);
// The views and synonyms a user may read, with their comments, as DICTIONARY lists them.
std::vector<std::pair<std::string, std::string>> dictionaryNames(const std::string& user);
// Whether a view shows what the schema's own version stamps do not cover (other users' files,
// the user list, the sequence file), so that it is filled again for every statement.
bool dictionaryReadsElsewhere(const std::string& view);
// The temporary table behind a dictionary view.
std::string dictionaryTable(const std::string& view);

// Creates the engine's own tables of a schema file when they are missing.
void ensureSchemaTables(sqlite3* db);
// Creates the connection's (empty) dictionary tables.
void createDictionaryTables(sqlite3* db);
// Refills one dictionary table from the schema. Throws OraError.
void fillDictionary(Session& s, const std::string& view);

// Constraint names the engine records for PRIMARY KEY and UNIQUE constraints; their indexes carry
// these names in the dictionary.
struct ConstraintInfo {
  std::string name, table, type; // type: P, U
  std::vector<std::string> columns;
};
std::vector<ConstraintInfo> recordedConstraints(sqlite3* db, const std::string& table);

// Every index of a schema under the name the dictionary shows (a key's index carries the key's
// name), with SQLite's own name of its b-tree.
struct IndexInfo {
  std::string name, table;
  std::string btree;
  bool unique = false;
  std::vector<std::string> columns; // empty: an expression
  std::vector<bool> descending;
};
std::vector<IndexInfo> allIndexes(sqlite3* db);

// A column default as stored: the SQLite expression, preceded by a comment that keeps the text
// the user wrote, which USER_TAB_COLUMNS.DATA_DEFAULT shows.
std::string storedDefault(const std::string& written, const std::string& expression);
// The written text of a stored default; empty when it was not kept.
std::string writtenDefault(const std::string& stored);
// DEFAULT ON NULL: the stored default marked, and whether a stored default is so marked.
std::string markOnNull(const std::string& stored);
bool defaultOnNull(const std::string& stored);

} // namespace ora
