// What the DDL files of the translator share.
#pragma once
#include "TranslateImpl.h"

#include <string>
#include <utility>
#include <vector>

namespace ora::tx {

// Names for the PRIMARY KEY and UNIQUE constraints of a table, recorded with their columns.
void recordConstraints(Translation& tr, Catalog& cat, const std::string& table,
                       const std::vector<std::pair<std::string, std::vector<std::string>>>& cons,
                       const std::vector<std::string>& types);
// Columns of a parenthesised name list starting at i ("(" ... ")").
std::vector<std::string> nameList(const std::vector<Token>& t, size_t i, size_t e);
// The names a column's CHECK conditions in [b, e) use (function names left out).
std::vector<std::string> checkNames(const std::vector<Token>& t, size_t b, size_t e);
// READ ONLY tables: whether one is, ORA-12081 when it is, and the statement that records the state.
bool readOnlyTable(sqlite3* db, const std::string& table);
void checkWritable(sqlite3* db, const std::string& owner, const std::string& table, int pos);
std::string readOnlyRecord(const std::string& table, bool readOnly);
// The statement that records (or forgets) that a constraint was enabled NOVALIDATE.
std::string noValidateRecord(const std::string& table, const std::string& name, bool unchecked);
// A key expression as Oracle reads it back: "SAL"*12, UPPER("ENAME").
std::string keyExpressionText(const std::vector<Token>& t, size_t b, size_t e, const std::vector<ColumnInfo>& cols);
// The key expressions of one of SQLite's b-trees, as SQL over its table.
std::vector<std::string> btreeKeys(sqlite3* db, const std::string& btree);
// Records NUM_ROWS, DISTINCT_KEYS and the like of a table's indexes (`only`: of that one).
void gatherIndexStatistics(sqlite3* db, const std::string& table, const std::string& only = {});
// The statements that record LOGGING, CACHE, PARALLEL, ROW MOVEMENT and ORGANIZATION INDEX as
// tokens [b, e) of CREATE or ALTER TABLE give them.
std::vector<std::string> tableOptionRecords(const std::vector<Token>& t, size_t b, size_t e, const std::string& table);
// Records each column's distinct values, nulls, low and high value, as ANALYZE gathers them.
void gatherColumnStatistics(sqlite3* db, const std::string& table);
// The statement that marks an index UNUSABLE, or usable again.
std::string unusableRecord(const std::string& index, bool unusable);
bool checkOrForeignKey(sqlite3* db, const std::string& table, const std::string& name);
// Whether [b, e) declares a primary key (columns empty) or a unique or primary key on columns.
bool selfKeyDeclared(const std::vector<Token>& t, size_t b, size_t e, const std::vector<std::string>& columns);

} // namespace ora::tx
