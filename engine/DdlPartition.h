// Partitioned tables and the table clauses of CREATE TABLE that name storage the engine keeps
// its own way: the rows of every partition stay in the one table.
#pragma once
#include "TranslateImpl.h"

#include <string>
#include <utility>
#include <vector>

struct sqlite3;

namespace ora::tx {

// Reads the table properties of CREATE TABLE from i up to `end` (physical attributes,
// ORGANIZATION, LOB storage, partitioning, ROW MOVEMENT, ...); returns where they stop. The
// statements that record the partitions go to `after`, to run once the table is there.
size_t tableProperties(const std::vector<Token>& t, size_t i, size_t end, const std::string& src, Catalog& cat,
                       const std::string& table, const std::vector<std::pair<std::string, ColType>>& cols,
                       bool hasPrimaryKey, std::vector<std::string>& after);
// LOCAL or GLOBAL [PARTITION BY ...] [(PARTITION ...)] after CREATE INDEX's columns: where it ends.
size_t indexPartitioning(const std::vector<Token>& t, size_t i);
// Statements that forget a table's partitions (a table made again under its name).
std::vector<std::string> forgetPartitions(const std::string& table);

// A table renamed: what the engine records of it under its name (constraints, triggers,
// comments, identity columns) and its partitions, with their guard, go under the new one.
std::vector<std::string> renamedRecords(Catalog& cat, const std::string& from, const std::string& to);
std::vector<std::string> renamePartitions(Catalog& cat, const std::string& from, const std::string& to);

// SELECT ... FROM t PARTITION (p) / PARTITION FOR (value): t read as the rows of that partition.
bool partitionExtension(const std::string& text, Catalog& cat, std::string& out);
// INSERT INTO t PARTITION (p) ..., UPDATE t PARTITION (p) ..., DELETE [FROM] t PARTITION (p) ...
bool partitionDml(const std::string& text, Catalog& cat, Translation& out);
// ALTER TABLE t ADD | DROP | TRUNCATE | RENAME PARTITION, and ENABLE | DISABLE ROW MOVEMENT.
bool alterPartitions(const std::string& text, Catalog& cat, Translation& out);

} // namespace ora::tx

namespace ora {
// ora_part_key(mode, types, keys..., bounds...): whether a row's key is below a range bound
// (mode 'R') or one of a list's values (mode 'L').
void registerPartitionFunctions(sqlite3* db);
} // namespace ora
