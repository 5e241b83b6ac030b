// The data dictionary views a logon sees (USER_TABLES, COLS, ...), kept as temporary tables of
// the connection with Oracle's column types, filled from the schema when a query reads them.
#pragma once
#include <string>
#include <vector>

struct sqlite3;

namespace ora {

class Session;

// The dictionary view a name denotes ("COLS" is USER_TAB_COLUMNS); empty when none.
std::string dictionaryView(const std::string& name);
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

} // namespace ora
