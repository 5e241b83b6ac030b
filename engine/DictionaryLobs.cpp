// USER_LOBS: a row for each CLOB, NCLOB and BLOB column, its segment and index named as Oracle
// names them after the table's object number and the column's position.
#include "DictionaryImpl.h"
#include "OraValues.h"

#include <cstdio>
#include <sqlite3.h>

namespace ora::dict {

void fillLobs(const Source& src, Inserter& ins) {
  for (const auto& t : tablesOf(src.db, "table")) {
    int64_t obj = 0;
    eachRow(src.db, "SELECT OBJ FROM \"TESSEL$OBJECTS\" WHERE TYPE = 'TABLE' AND NAME = ?1",
            [&](sqlite3_stmt* st) { obj = sqlite3_column_int64(st, 0); }, t, true);
    eachRow(src.db, "SELECT name, type, cid FROM pragma_table_info(?1) ORDER BY cid",
            [&](sqlite3_stmt* st) {
              if (!parseDeclType(col(st, 1)).lob) return;
              char tail[40];
              std::snprintf(tail, sizeof tail, "%010lldC%05d$$", static_cast<long long>(obj),
                            sqlite3_column_int(st, 2) + 1);
              ins.text(t).text(col(st, 0)).text(std::string("SYS_LOB") + tail).text("USERS");
              ins.text(std::string("SYS_IL") + tail).num(8192).text("NO").text("YES").text("YES").text("NO");
              ins.text("YES").row();
            }, t);
  }
}

} // namespace ora::dict
