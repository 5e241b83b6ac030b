// What the partitioning files share: a partitioned table as recorded, and reading its clauses.
#pragma once
#include "TranslateImpl.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct sqlite3;

namespace ora::tx::part {

// A bound value as recorded: N<number text>, T<stored text>, M (MAXVALUE), 0 (NULL), D (DEFAULT).
struct PartDef {
  std::string name, high, tablespace;
  std::vector<std::string> values;
  int subparts = 0;
};

struct PartTable {
  std::string type, subtype, interval;
  std::vector<std::string> keys, subkeys;
  std::vector<ColType> keyTypes;
  int defSub = 0;
  bool rowMovement = false; // ENABLE ROW MOVEMENT: an update may move a row to another partition
  std::vector<PartDef> parts;
};

bool loadPartitions(sqlite3* db, const std::string& table, PartTable& pt);
// Two recorded values of one key: numbers by value, other values by their stored text.
int compareValues(const std::string& a, const std::string& b, bool number);
// Whether the bound tuple a is below b; MAXVALUE is above every value.
bool boundBelow(const std::vector<std::string>& a, const std::vector<std::string>& b, const std::vector<ColType>& types);
// The condition, in Oracle's SQL, that a row's keys (given as expressions) fall in partition p.
std::string partitionCondition(const PartTable& pt, size_t p, const std::vector<std::string>& keys);
std::vector<std::string> keyColumns(const PartTable& pt);
// Statements that record a table's partitions as they now are, and guard its rows.
std::vector<std::string> recordStatements(const PartTable& pt, const std::string& table);
// The number after which the engine names partitions SYS_Pn.
int64_t systemNameBase(sqlite3* db);

size_t closing(const std::vector<Token>& t, size_t open);
std::string sourceOf(const std::string& src, const std::vector<Token>& t, size_t b, size_t e);
// The parenthesized list at open split at its top-level commas: [begin, end) of each item.
std::vector<std::pair<size_t, size_t>> items(const std::vector<Token>& t, size_t open);

// The partition that PARTITION (name) or PARTITION FOR (values) at token k names; close is
// the closing parenthesis. ORA-02149 when there is none.
size_t partitionNamed(const std::vector<Token>& t, size_t k, const std::string& text, Catalog& cat, const PartTable& pt,
                      size_t& close);
// The SQL of the partition (0-based) a row's keys (row: NEW, OLD or a table's name) fall in.
std::string positionOf(const PartTable& pt, const std::string& row);

// Reads partition descriptions into pt.
struct PartReader {
  const std::vector<Token>& t;
  const std::string& src;
  Catalog& cat;
  PartTable& pt;
  int64_t& sysName;

  std::string systemName() { return "SYS_P" + std::to_string(++sysName); }
  // VALUES LESS THAN (...) / VALUES (...) of one partition at i; returns the index after it.
  size_t bounds(size_t i, PartDef& d);
  // What follows a partition's bounds up to `end`: its storage and its subpartitions.
  void description(size_t i, size_t end, PartDef& d);
  // The parenthesized partition list at open.
  void partitionList(size_t open);
};

} // namespace ora::tx::part
