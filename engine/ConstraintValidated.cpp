// A check or foreign key enabled NOVALIDATE: the rows it found stay unchecked, and the
// dictionary says NOT VALIDATED until it is enabled with VALIDATE.
#include "DdlImpl.h"
#include "DictionaryImpl.h"
#include "SqlText.h"

namespace ora::tx {

std::string noValidateRecord(const std::string& table, const std::string& name, bool unchecked) {
  return unchecked ? "INSERT OR REPLACE INTO \"TESSEL$NOVALIDATED\" (NAME, TABLE_NAME) VALUES (" + quoteString(name) +
                         ", " + quoteString(table) + ")"
                   : "DELETE FROM \"TESSEL$NOVALIDATED\" WHERE NAME = " + quoteString(name) +
                         " AND TABLE_NAME = " + quoteString(table);
}

bool checkOrForeignKey(sqlite3* db, const std::string& table, const std::string& name) {
  for (auto& c : dict::tableConstraints(db, table))
    if (c.name == name) return c.type == "C" || c.type == "R";
  return false;
}

} // namespace ora::tx
