// Column statistics as ANALYZE ... COMPUTE STATISTICS and DBMS_STATS gather them: distinct
// values, nulls, and the lowest and highest value in Oracle's internal form.
#include "DdlImpl.h"
#include "OraError.h"
#include "SqlText.h"

#include <sqlite3.h>

namespace ora::tx {

void gatherColumnStatistics(sqlite3* db, const std::string& table) {
  struct Column {
    std::string name;
    int dumpType; // DUMP's type hint; 0: no low and high value kept
  };
  std::vector<Column> cols;
  {
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT name, type FROM pragma_table_info(?1) ORDER BY cid", -1, &st, nullptr);
    sqlite3_bind_text(st, 1, table.c_str(), -1, SQLITE_TRANSIENT);
    while (sqlite3_step(st) == SQLITE_ROW) {
      std::string name = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
      const unsigned char* decl = sqlite3_column_text(st, 1);
      ColType t = parseDeclType(decl ? reinterpret_cast<const char*>(decl) : "");
      if (t.lob || t.code == kLong || t.code == kLongRaw || !t.object.empty()) continue; // not gathered
      int hint = t.code == kNumber && !t.binary ? 2 : t.code == kDate ? 12 : t.code == kChar ? 96
                 : t.code == kVarchar2 ? 1 : 0;
      cols.push_back({name, hint});
    }
    sqlite3_finalize(st);
  }
  const std::string q = quoteString(table);
  execOne(db, "DELETE FROM \"TESSEL$COL_STATS\" WHERE TABLE_NAME = " + q);
  for (auto& c : cols) {
    const std::string v = quoteIdent(c.name), h = std::to_string(c.dumpType);
    auto extreme = [&](const char* f) {
      return c.dumpType ? "DUMP(" + h + ", " + f + "(" + v + "), 16)" : std::string("NULL");
    };
    std::string sql = "INSERT INTO \"TESSEL$COL_STATS\" (TABLE_NAME, COLUMN_NAME, NUM_DISTINCT, NUM_NULLS, LOW_VALUE,"
                      " HIGH_VALUE, SAMPLE_SIZE, ANALYZED) SELECT " + q + ", " + quoteString(c.name) +
                      ", COUNT(DISTINCT " + v + "), COUNT(*) - COUNT(" + v + "), " + extreme("MIN") + ", " +
                      extreme("MAX") + ", COUNT(" + v + "), ora_sysdate() FROM " + quoteIdent(table);
    if (int rc = execOne(db, sql); rc != SQLITE_OK) throw fromSqlite(rc, sqlite3_errmsg(db), "ANALYZE");
  }
}

} // namespace ora::tx
