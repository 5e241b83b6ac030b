#include "UniqueNulls.h"

#include "Dictionary.h"
#include "DictionaryImpl.h"
#include "OraError.h"
#include "SqlText.h"

#include <sqlite3.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace ora {

namespace {

constexpr const char* kPrefix = "TESSEL$UQ";

struct Key {
  std::string table, index;
  bool constraint = false; // from a UNIQUE constraint, not a CREATE UNIQUE INDEX
  std::vector<std::string> columns;
};

// The unique keys of several plain columns of one table.
std::vector<Key> keysOfSeveralColumns(sqlite3* db, const std::string& table) {
  std::vector<Key> keys;
  dict::eachRow(
      db,
      "SELECT name, origin FROM pragma_index_list(?1, 'main') WHERE \"unique\" = 1 AND partial = 0"
      " AND origin IN ('u', 'c') ORDER BY 1",
      [&](sqlite3_stmt* st) { keys.push_back({table, dict::col(st, 0), dict::col(st, 1) == "u", {}}); }, table);
  std::vector<Key> out;
  for (auto& k : keys) {
    bool plain = true;
    dict::eachRow(
        db, "SELECT cid, name FROM pragma_index_info(?1, 'main') ORDER BY seqno",
        [&](sqlite3_stmt* st) {
          if (sqlite3_column_int(st, 0) < 0) plain = false; // an expression: Oracle keys those by value too
          else k.columns.push_back(dict::col(st, 1));
        },
        k.index);
    if (plain && k.columns.size() > 1) out.push_back(std::move(k));
  }
  return out;
}

// Per table, the text of its definition, indexes and guards: a table whose text is as last seen
// needs no look at its keys.
std::map<std::string, std::string> signatures(sqlite3* db) {
  std::map<std::string, std::string> out;
  dict::eachRow(db,
                "SELECT tbl_name, sql FROM main.sqlite_schema WHERE sql IS NOT NULL AND (type IN ('table', 'index')"
                " OR (type = 'trigger' AND name GLOB 'TESSEL$UQ*')) ORDER BY tbl_name, type, name",
                [&](sqlite3_stmt* st) { out[dict::col(st, 0)] += dict::col(st, 1) + '\n'; });
  return out;
}

// "some key column is NULL, not all of them", over the given row prefix ("NEW." or "")
std::string partlyNull(const Key& k, const std::string& row) {
  std::string any, all;
  for (auto& c : k.columns) {
    any += (any.empty() ? "" : " OR ") + row + quoteIdent(c) + " IS NULL";
    all += (all.empty() ? "" : " AND ") + row + quoteIdent(c) + " IS NULL";
  }
  return "(" + any + ") AND NOT (" + all + ")";
}

// The guard triggers of a key, by name: one after INSERT, one after UPDATE of its columns.
std::map<std::string, std::string> guardsOf(const Key& k) {
  std::string message = "UNIQUE constraint failed: ", same, cols;
  for (auto& c : k.columns) {
    message += (cols.empty() ? "" : ", ") + k.table + "." + c;
    cols += (cols.empty() ? "" : ", ") + quoteIdent(c);
    same += (same.empty() ? "" : " AND ") + quoteIdent(c) + " IS NEW." + quoteIdent(c);
  }
  std::string body = " WHEN " + partlyNull(k, "NEW.") + " BEGIN SELECT RAISE(ABORT, " + quoteString(message) +
                     ") WHERE (SELECT count(*) FROM " + quoteIdent(k.table) + " WHERE " + same + ") > 1; END";
  std::map<std::string, std::string> out;
  std::string insert = std::string(kPrefix) + "I$" + k.index, update = std::string(kPrefix) + "U$" + k.index;
  out[insert] = "CREATE TRIGGER " + quoteIdent(insert) + " AFTER INSERT ON " + quoteIdent(k.table) + body;
  out[update] = "CREATE TRIGGER " + quoteIdent(update) + " AFTER UPDATE OF " + cols + " ON " + quoteIdent(k.table) + body;
  return out;
}

void run(sqlite3* db, const std::string& sql) {
  if (int rc = execOne(db, sql); rc != SQLITE_OK) throw fromSqlite(rc, sqlite3_errmsg(db), "DDL");
}

// The name the dictionary shows for the key: the constraint's, else the index's.
std::string keyName(sqlite3* db, const Key& k) {
  for (auto& c : recordedConstraints(db, k.table))
    if (c.type == "U" && c.columns == k.columns) return c.name;
  for (auto& i : allIndexes(db))
    if (i.btree == k.index) return i.name;
  return k.index;
}

} // namespace

bool uniqueGuardName(const char* name) { return std::strncmp(name, kPrefix, std::strlen(kPrefix)) == 0; }

void syncUniqueGuards(sqlite3* db, const std::string& user, std::map<std::string, std::string>& seen,
                      bool checkRows) {
  std::map<std::string, std::string> now = signatures(db);
  std::vector<std::string> changed;
  for (auto& [table, text] : now) {
    auto it = seen.find(table);
    if (it == seen.end() || it->second != text) changed.push_back(table);
  }
  bool gone = false;
  for (auto it = seen.begin(); it != seen.end() && !gone; ++it) gone = !now.count(it->first);
  if (changed.empty()) {
    if (gone) seen = std::move(now);
    return;
  }
  std::map<std::string, std::string> have, want;
  std::vector<Key> keys;
  for (auto& table : changed) {
    dict::eachRow(
        db, "SELECT name, sql FROM main.sqlite_schema WHERE type = 'trigger' AND tbl_name = ?1 AND name GLOB 'TESSEL$UQ*'",
        [&](sqlite3_stmt* st) { have[dict::col(st, 0)] = dict::col(st, 1); }, table);
    // the engine's own tables (a table in the recycle bin among them) keep no guards
    if (table.rfind("TESSEL$", 0) == 0 || table.rfind("sqlite", 0) == 0) continue;
    for (auto& k : keysOfSeveralColumns(db, table)) keys.push_back(std::move(k));
  }
  std::vector<const Key*> fresh;
  for (auto& k : keys) {
    bool isNew = false;
    for (auto& [name, sql] : guardsOf(k)) {
      want[name] = sql;
      isNew = isNew || !have.count(name);
    }
    if (isNew && checkRows) fresh.push_back(&k);
  }
  std::vector<std::string> work;
  for (auto& [name, sql] : have)
    if (!want.count(name) || want[name] != sql) work.push_back("DROP TRIGGER main." + quoteIdent(name));
  for (auto& [name, sql] : want)
    if (!have.count(name) || have[name] != sql) work.push_back(sql);
  if (work.empty()) {
    seen = std::move(now);
    return;
  }
  bool own = sqlite3_get_autocommit(db) != 0;
  if (own) run(db, "BEGIN IMMEDIATE");
  try {
    // rows already there that the key refuses: the key cannot be made, as in Oracle
    for (const Key* k : fresh) {
      std::string cols;
      for (auto& c : k->columns) cols += (cols.empty() ? "" : ", ") + quoteIdent(c);
      sqlite3_stmt* st = nullptr;
      std::string sql = "SELECT 1 FROM main." + quoteIdent(k->table) + " WHERE " + partlyNull(*k, "") +
                        " GROUP BY " + cols + " HAVING count(*) > 1 LIMIT 1";
      if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
        sqlite3_finalize(st);
        continue;
      }
      bool duplicates = sqlite3_step(st) == SQLITE_ROW;
      sqlite3_finalize(st);
      if (duplicates) {
        if (!k->constraint) throw OraError(1452);
        throw OraError(2299, user + "." + keyName(db, *k));
      }
    }
    for (auto& sql : work) run(db, sql);
    if (own) run(db, "COMMIT");
  } catch (...) {
    if (own) execOne(db, "ROLLBACK");
    throw;
  }
  // a transaction of the caller's that is rolled back leaves other texts: those tables are looked at again
  seen = signatures(db);
}

} // namespace ora
