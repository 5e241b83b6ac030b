// The dictionary's views of partitioned tables: USER_PART_TABLES, USER_TAB_PARTITIONS and
// USER_PART_KEY_COLUMNS, from what CREATE TABLE and ALTER TABLE recorded.
#include "DictionaryImpl.h"

#include <set>
#include <sqlite3.h>

namespace ora::dict {

namespace {
// Tables recorded as partitioned that are still there.
std::set<std::string> partitionedTables(sqlite3* db) {
  std::set<std::string> out;
  auto tables = tablesOf(db, "table");
  std::set<std::string> present(tables.begin(), tables.end());
  eachRow(db, "SELECT TABLE_NAME FROM \"TESSEL$PART_TABLES\"", [&](sqlite3_stmt* st) {
    if (present.count(col(st, 0))) out.insert(col(st, 0));
  }, {}, true);
  return out;
}
} // namespace

std::vector<const char*> partitionTables() {
  return {
      // partitioned tables: the method and key columns, then each partition's bounds in order
      "CREATE TABLE IF NOT EXISTS \"TESSEL$PART_TABLES\" (TABLE_NAME TEXT PRIMARY KEY, TYPE TEXT NOT NULL,"
      " SUBTYPE TEXT NOT NULL, KEYS TEXT NOT NULL, SUBKEYS TEXT NOT NULL, KEYTYPES TEXT NOT NULL, INTERVAL TEXT,"
      " DEF_SUBPARTS INTEGER NOT NULL, ROW_MOVEMENT INTEGER NOT NULL DEFAULT 0)",
      "CREATE TABLE IF NOT EXISTS \"TESSEL$PARTITIONS\" (TABLE_NAME TEXT NOT NULL, NAME TEXT NOT NULL,"
      " POSITION INTEGER NOT NULL, HIGH_VALUE TEXT, BOUND TEXT NOT NULL, SUBPARTS INTEGER NOT NULL, TABLESPACE TEXT,"
      " PRIMARY KEY (TABLE_NAME, NAME))"};
}

bool isPartitioned(sqlite3* db, const std::string& table) { return partitionedTables(db).count(table) > 0; }

void fillPartTables(const Source& src, Inserter& ins) {
  auto tables = partitionedTables(src.db);
  eachRow(src.db,
          "SELECT t.TABLE_NAME, t.TYPE, t.SUBTYPE, (SELECT COUNT(*) FROM \"TESSEL$PARTITIONS\" p WHERE p.TABLE_NAME ="
          " t.TABLE_NAME), t.DEF_SUBPARTS, t.KEYS, t.SUBKEYS, t.INTERVAL FROM \"TESSEL$PART_TABLES\" t ORDER BY 1",
          [&](sqlite3_stmt* st) {
            if (!tables.count(col(st, 0))) return;
            bool interval = sqlite3_column_type(st, 7) != SQLITE_NULL;
            std::string sub = col(st, 2);
            ins.text(col(st, 0)).text(col(st, 1)).text(sub.empty() ? "NONE" : sub);
            // an interval-partitioned table counts the partitions it may ever have, as Oracle does
            ins.num(interval ? 1048575 : sqlite3_column_int64(st, 3));
            ins.num(sub.empty() ? 0 : std::max<int64_t>(sqlite3_column_int64(st, 4), 1));
            ins.num(static_cast<int64_t>(splitTabs(col(st, 5)).size()));
            ins.num(static_cast<int64_t>(splitTabs(col(st, 6)).size()));
            ins.text("VALID").text("USERS").textOrNull(col(st, 7)).row();
          }, {}, true);
}

void fillTabPartitions(const Source& src, Inserter& ins) {
  auto tables = partitionedTables(src.db);
  eachRow(src.db,
          "SELECT p.TABLE_NAME, t.SUBTYPE, p.NAME, p.SUBPARTS, p.HIGH_VALUE, p.POSITION, p.TABLESPACE FROM"
          " \"TESSEL$PARTITIONS\" p JOIN \"TESSEL$PART_TABLES\" t ON t.TABLE_NAME = p.TABLE_NAME ORDER BY 1, 6",
          [&](sqlite3_stmt* st) {
            if (!tables.count(col(st, 0))) return;
            bool composite = !col(st, 1).empty();
            std::string high = col(st, 4);
            ins.text(col(st, 0)).text(composite ? "YES" : "NO").text(col(st, 2)).num(sqlite3_column_int64(st, 3));
            ins.textOrNull(high).num(static_cast<int64_t>(high.size())).num(sqlite3_column_int64(st, 5));
            std::string ts = col(st, 6);
            ins.text(ts.empty() ? "USERS" : ts).text(composite ? "NONE" : "YES").text(composite ? "NONE" : "DISABLED");
            ins.null().text("NO").row();
          }, {}, true);
}

void fillPartKeyColumns(const Source& src, Inserter& ins) {
  auto tables = partitionedTables(src.db);
  eachRow(src.db, "SELECT TABLE_NAME, KEYS FROM \"TESSEL$PART_TABLES\" ORDER BY 1", [&](sqlite3_stmt* st) {
    if (!tables.count(col(st, 0))) return;
    int64_t k = 0;
    for (auto& c : splitTabs(col(st, 1))) ins.text(col(st, 0)).text("TABLE").text(c).num(++k).row();
  }, {}, true);
}

} // namespace ora::dict
