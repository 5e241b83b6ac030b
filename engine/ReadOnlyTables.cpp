// ALTER TABLE ... READ ONLY | READ WRITE: a read-only table refuses DML and TRUNCATE.
#include "DdlImpl.h"
#include "OraError.h"
#include "SqlText.h"

#include <sqlite3.h>

namespace ora::tx {

bool readOnlyTable(sqlite3* db, const std::string& table) {
  sqlite3_stmt* st = nullptr;
  // a schema file older than the record has no read-only tables
  if (sqlite3_prepare_v2(db, "SELECT 1 FROM \"TESSEL$READ_ONLY\" WHERE TABLE_NAME = ?1", -1, &st, nullptr) != SQLITE_OK) {
    sqlite3_finalize(st);
    return false;
  }
  sqlite3_bind_text(st, 1, table.c_str(), -1, SQLITE_TRANSIENT);
  bool found = sqlite3_step(st) == SQLITE_ROW;
  sqlite3_finalize(st);
  return found;
}

void checkWritable(sqlite3* db, const std::string& owner, const std::string& table, int pos) {
  if (readOnlyTable(db, table)) throw OraError(12081, "\"" + owner + "\".\"" + table + "\"").at(pos);
}

std::string readOnlyRecord(const std::string& table, bool readOnly) {
  return readOnly ? "INSERT OR IGNORE INTO \"TESSEL$READ_ONLY\" VALUES (" + quoteString(table) + ")"
                  : "DELETE FROM \"TESSEL$READ_ONLY\" WHERE TABLE_NAME = " + quoteString(table);
}

} // namespace ora::tx
