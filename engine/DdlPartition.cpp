// The table clauses of CREATE TABLE beyond its columns: physical attributes the engine's storage
// has no use for, and the partitioning, which is recorded. The rows of every partition stay in
// the one table.
#include "DdlPartition.h"
#include "DdlImpl.h"

#include "OraError.h"
#include "ObjectTypes.h"
#include "PartitionImpl.h"
#include "SqlText.h"

#include <algorithm>
#include <sqlite3.h>

namespace ora::tx {

using namespace part;

std::vector<std::string> forgetPartitions(const std::string& table) {
  return {"DELETE FROM \"TESSEL$PART_TABLES\" WHERE TABLE_NAME = " + quoteString(table),
          "DELETE FROM \"TESSEL$PARTITIONS\" WHERE TABLE_NAME = " + quoteString(table)};
}

size_t indexPartitioning(const std::vector<Token>& t, size_t i) {
  if (!is(tokenAt(t, i), "LOCAL") && !is(tokenAt(t, i), "GLOBAL")) return i;
  ++i;
  // GLOBAL PARTITION BY RANGE|HASH (cols) (...) | PARTITIONS n
  if (is(tokenAt(t, i), "PARTITION") && is(tokenAt(t, i + 1), "BY")) {
    i += 3;
    if (is(tokenAt(t, i), "(")) i = closing(t, i) + 1;
    if (is(tokenAt(t, i), "PARTITIONS")) i += 2;
  }
  while (i < t.size() && (is(t[i], "STORE") || is(t[i], "IN"))) ++i;
  if (is(tokenAt(t, i), "(")) i = closing(t, i) + 1;
  return i;
}

size_t tableProperties(const std::vector<Token>& t, size_t i, size_t end, const std::string& src, Catalog& cat,
                       const std::string& table, const std::vector<std::pair<std::string, ColType>>& cols,
                       bool hasPrimaryKey, std::vector<std::string>& after) {
  const size_t from = i;
  auto word = [&](size_t k, const char* w) { return k < end && is(t[k], w); };
  auto skipParens = [&](size_t k) { return word(k, "(") ? closing(t, k) + 1 : k; };
  auto columnType = [&](const Token& name) {
    for (auto& [n, type] : cols)
      if (n == name.text) return type;
    throw OraError(904, "\"" + name.text + "\"").at(static_cast<int>(name.pos));
  };
  PartTable pt;
  bool partitioned = false, movement = false;
  std::vector<std::string> exactColumns;
  while (i < end) {
    // PARALLEL n, the word read by skipPhysical
    if (t[i].kind == Token::Num && i > 0 && is(t[i - 1], "PARALLEL")) {
      ++i;
      continue;
    }
    if (t[i].kind != Token::Ident) break;
    bool compressed = i > 0 && is(t[i - 1], "COMPRESS"); // skipPhysical read the word itself
    if (compressed || word(i, "COMPRESS") ||
        ((word(i, "ROW") || word(i, "COLUMN")) && word(i + 1, "STORE") && word(i + 2, "COMPRESS"))) {
      // COMPRESS [BASIC | n | FOR OLTP | FOR QUERY LOW ...]: the engine's storage is its own
      size_t from = i;
      if (!compressed) i = word(i, "COMPRESS") ? i + 1 : i + 3;
      if (word(i, "BASIC") || word(i, "ADVANCED") || (i < end && t[i].kind == Token::Num)) ++i;
      else if (word(i, "FOR")) {
        i += 2;
        while (word(i, "LOW") || word(i, "HIGH") || word(i, "OPERATIONS")) ++i;
      }
      if (i != from) continue;
    }
    if (word(i, "PARALLEL")) {
      ++i;
      if (i < end && t[i].kind == Token::Num) ++i;
      i = skipParens(i);
      continue;
    }
    size_t j = skipPhysical(t, i);
    if (j != i) {
      i = j;
      continue;
    }
    if (word(i, "ORGANIZATION")) {
      if (word(i + 1, "HEAP")) {
        i += 2;
      } else if (word(i + 1, "INDEX")) {
        // an index-organized table is kept in its primary key's order, which it must have
        if (!hasPrimaryKey) throw OraError(25175).at(static_cast<int>(t[i].pos));
        i += 2;
      } else if (word(i + 1, "EXTERNAL")) {
        throw OraError(30657).at(static_cast<int>(t[i + 1].pos));
      } else {
        throw OraError(922).at(static_cast<int>(tokenAt(t, i + 1).pos));
      }
    } else if (word(i, "PCTTHRESHOLD") || word(i, "INCLUDING")) {
      i += 2;
    } else if (word(i, "OVERFLOW") || word(i, "NOMAPPING") || word(i, "MONITORING") || word(i, "NOMONITORING") ||
               word(i, "ROWDEPENDENCIES") || word(i, "NOROWDEPENDENCIES") || word(i, "INMEMORY")) {
      ++i;
    } else if (word(i, "MAPPING") && word(i + 1, "TABLE")) {
      i += 2;
    } else if (word(i, "NO") && word(i + 1, "INMEMORY")) {
      i += 2;
    } else if ((word(i, "NESTED") && word(i + 1, "TABLE")) || word(i, "VARRAY")) {
      // NESTED TABLE col STORE AS name [RETURN AS LOCATOR | VALUE]; VARRAY col STORE AS [..] LOB [name]:
      // the engine keeps the elements in the row itself
      bool nested = word(i, "NESTED");
      size_t c = i + (nested ? 2 : 1);
      if (c >= end || (t[c].kind != Token::Ident && t[c].kind != Token::QIdent)) throw OraError(904).at(static_cast<int>(tokenAt(t, c).pos));
      if (columnType(t[c]).code != 108) throw OraError(22912).at(static_cast<int>(t[c].pos));
      i = c + 1;
      if (!word(i, "STORE") || !word(i + 1, "AS")) throw OraError(905).at(static_cast<int>(tokenAt(t, i).pos));
      i += 2;
      while (word(i, "SECUREFILE") || word(i, "BASICFILE") || word(i, "LOB")) ++i;
      if (i < end && (t[i].kind == Token::QIdent || (t[i].kind == Token::Ident && !keywordAt(t, i) && skipPhysical(t, i) == i &&
                                                     !word(i, "NESTED") && !word(i, "VARRAY") && !word(i, "RETURN"))))
        ++i;
      i = skipParens(i);
      if (word(i, "RETURN") && word(i + 1, "AS") && (word(i + 2, "LOCATOR") || word(i + 2, "VALUE"))) i += 3;
    } else if (word(i, "COLUMN") && (word(i + 2, "NOT") || word(i + 2, "SUBSTITUTABLE"))) {
      // COLUMN c [NOT] SUBSTITUTABLE AT ALL LEVELS: whether c holds its type's subtypes too
      if (i + 1 >= end || (t[i + 1].kind != Token::Ident && t[i + 1].kind != Token::QIdent))
        throw OraError(904).at(static_cast<int>(tokenAt(t, i + 1).pos));
      ColType ct = columnType(t[i + 1]);
      bool exact = word(i + 2, "NOT");
      size_t k = i + (exact ? 3 : 2);
      if (!word(k, "SUBSTITUTABLE")) throw OraError(922).at(static_cast<int>(tokenAt(t, k).pos));
      if (!word(k + 1, "AT") || !word(k + 2, "ALL") || !word(k + 3, "LEVELS"))
        throw OraError(905).at(static_cast<int>(tokenAt(t, k + 1).pos));
      if (ct.object.empty()) throw OraError(22806).at(static_cast<int>(t[i + 1].pos));
      if (exact) {
        exactColumns.push_back("INSERT OR REPLACE INTO \"TESSEL$NOT_SUBSTITUTABLE\" (TABLE_NAME, COLUMN_NAME) VALUES (" +
                        quoteString(table) + ", " + quoteString(t[i + 1].text) + ")");
      }
      i = k + 4;
    } else if (word(i, "LOB") && word(i + 1, "(")) {
      // LOB (col, ...) STORE AS [SECUREFILE | BASICFILE] [segment] [(storage)]
      size_t close = closing(t, i + 1);
      for (size_t k = i + 2; k < close; ++k)
        if (t[k].kind == Token::Ident || t[k].kind == Token::QIdent) columnType(t[k]);
      i = close + 1;
      if (!word(i, "STORE") || !word(i + 1, "AS")) throw OraError(905).at(static_cast<int>(tokenAt(t, i).pos));
      i += 2;
      if (word(i, "SECUREFILE") || word(i, "BASICFILE")) ++i;
      if (i < end && (t[i].kind == Token::QIdent || (t[i].kind == Token::Ident && !keywordAt(t, i) &&
                                                     skipPhysical(t, i) == i && !word(i, "LOB") && !word(i, "PARTITION"))))
        ++i;
      i = skipParens(i);
    } else if ((word(i, "ENABLE") || word(i, "DISABLE")) && word(i + 1, "ROW") && word(i + 2, "MOVEMENT")) {
      movement = word(i, "ENABLE");
      i += 3;
    } else if (word(i, "SEGMENT") && word(i + 1, "CREATION") && (word(i + 2, "IMMEDIATE") || word(i + 2, "DEFERRED"))) {
      i += 3;
    } else if (word(i, "RESULT_CACHE")) {
      i = skipParens(i + 1);
    } else if (word(i, "PARTITION") && word(i + 1, "BY")) {
      if (partitioned) throw OraError(922).at(static_cast<int>(t[i].pos));
      partitioned = true;
      i += 2;
      if (!word(i, "RANGE") && !word(i, "LIST") && !word(i, "HASH")) throw OraError(922).at(static_cast<int>(tokenAt(t, i).pos));
      pt.type = t[i].text;
      ++i;
      if (!word(i, "(")) throw OraError(906).at(static_cast<int>(tokenAt(t, i).pos));
      for (auto [b, e] : items(t, i)) {
        if (e != b + 1 || (t[b].kind != Token::Ident && t[b].kind != Token::QIdent)) throw OraError(904).at(static_cast<int>(t[b].pos));
        pt.keyTypes.push_back(columnType(t[b]));
        pt.keys.push_back(t[b].text);
      }
      // a list is of one column
      if (pt.type == "LIST" && pt.keys.size() > 1) throw OraError(14304).at(static_cast<int>(t[i].pos));
      i = closing(t, i) + 1;
      if (word(i, "INTERVAL")) {
        if (pt.type != "RANGE" || pt.keys.size() != 1) throw OraError(14750).at(static_cast<int>(t[i].pos));
        if (!word(i + 1, "(")) throw OraError(906).at(static_cast<int>(tokenAt(t, i + 1).pos));
        size_t close = closing(t, i + 1);
        pt.interval = sourceOf(src, t, i + 2, close);
        i = close + 1;
        if (word(i, "STORE") && word(i + 1, "IN")) i = skipParens(i + 2);
      }
      if (word(i, "SUBPARTITION") && word(i + 1, "BY")) {
        i += 2;
        if (!word(i, "RANGE") && !word(i, "LIST") && !word(i, "HASH")) throw OraError(922).at(static_cast<int>(tokenAt(t, i).pos));
        pt.subtype = t[i].text;
        ++i;
        if (!word(i, "(")) throw OraError(906).at(static_cast<int>(tokenAt(t, i).pos));
        for (auto [b, e] : items(t, i)) {
          columnType(t[b]);
          pt.subkeys.push_back(t[b].text);
        }
        i = closing(t, i) + 1;
        if (word(i, "SUBPARTITIONS") && i + 1 < end && t[i + 1].kind == Token::Num) {
          pt.defSub = std::atoi(t[i + 1].text.c_str());
          i += 2;
          if (word(i, "STORE") && word(i + 1, "IN")) i = skipParens(i + 2);
        }
        if (word(i, "SUBPARTITION") && word(i + 1, "TEMPLATE")) {
          i += 2;
          if (i < end && t[i].kind == Token::Num) {
            pt.defSub = std::atoi(t[i].text.c_str());
            ++i;
          } else if (word(i, "(")) {
            size_t close = closing(t, i);
            pt.defSub = 0;
            for (size_t k = i + 1; k < close; ++k)
              if (t[k].depth == t[i].depth + 1 && is(t[k], "SUBPARTITION")) ++pt.defSub;
            i = close + 1;
          }
        }
      }
      int64_t sysName = systemNameBase(cat.db());
      PartReader reader{t, src, cat, pt, sysName};
      if (pt.type == "HASH" && word(i, "PARTITIONS")) {
        if (i + 1 >= end || t[i + 1].kind != Token::Num) throw OraError(922).at(static_cast<int>(tokenAt(t, i + 1).pos));
        int n = std::atoi(t[i + 1].text.c_str());
        if (n < 1 || n > 1048575) throw OraError(922).at(static_cast<int>(t[i + 1].pos));
        for (int k = 0; k < n; ++k) {
          PartDef d;
          d.name = reader.systemName();
          d.subparts = pt.subtype.empty() ? 0 : std::max(pt.defSub, 1);
          pt.parts.push_back(d);
        }
        i += 2;
        if (word(i, "STORE") && word(i + 1, "IN")) i = skipParens(i + 2);
      } else {
        if (!word(i, "(")) throw OraError(906).at(static_cast<int>(tokenAt(t, i).pos));
        reader.partitionList(i);
        i = closing(t, i) + 1;
      }
    } else {
      break;
    }
  }
  pt.rowMovement = movement;
  for (auto& s : tableOptionRecords(t, from, i, table)) after.push_back(s);
  if (partitioned)
    for (auto& s : recordStatements(pt, table)) after.push_back(s);
  // what an earlier table of the name said of its columns' substitutability goes
  bool kept = false;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(cat.db(), "SELECT 1 FROM sqlite_schema WHERE name = 'TESSEL$NOT_SUBSTITUTABLE'", -1, &st,
                         nullptr) == SQLITE_OK)
    kept = sqlite3_step(st) == SQLITE_ROW;
  sqlite3_finalize(st);
  if (!kept && exactColumns.empty()) return i;
  if (!partitioned) after = forgetPartitions(table);
  after.push_back(kNotSubstitutableDdl);
  after.push_back("DELETE FROM \"TESSEL$NOT_SUBSTITUTABLE\" WHERE TABLE_NAME = " + quoteString(table));
  for (auto& s : exactColumns) after.push_back(s);
  return i;
}

} // namespace ora::tx
