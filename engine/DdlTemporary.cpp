// Global temporary tables: a table as any other, with the rows a commit or the session's end
// takes away.
#include "InvisibleColumns.h"
#include "OraError.h"
#include "TranslateImpl.h"

namespace ora::tx {

// CREATE GLOBAL TEMPORARY TABLE ... [ON COMMIT DELETE | PRESERVE ROWS]: a table as any other,
// recorded so that a commit (DELETE ROWS, the default) or the end of the session empties it.
void Translator::createTemporaryTable() {
  std::string plain = src_.substr(0, t_[1].pos);
  size_t copied = t_[3].pos;
  std::string duration = "SYS$TRANSACTION";
  for (size_t i = 4; i + 3 < size(); ++i) {
    if (t_[i].depth != 0 || !is(t_[i], "ON") || !is(at(i + 1), "COMMIT") || !is(at(i + 3), "ROWS")) continue;
    if (is(at(i + 2), "PRESERVE")) duration = "SYS$SESSION";
    else if (!is(at(i + 2), "DELETE")) unexpected(i + 2);
    plain += src_.substr(copied, t_[i].pos - copied);
    copied = t_[i + 3].end;
    break;
  }
  plain += src_.substr(copied);
  std::string table;
  objectName(4, table);
  Translation tr = translate(plain, cat_, false, false);
  for (auto& sql : tr.ddl)
    if (sql.starts_with("CREATE TABLE") && !invisibleColumns(sql).empty()) throw OraError(54042);
  tr.ddl.push_back("INSERT OR REPLACE INTO \"TESSEL$TEMPORARY\" (TABLE_NAME, DURATION) VALUES (" +
                   quoteString(table) + ", " + quoteString(duration) + ")");
  tr_ = std::move(tr);
}

} // namespace ora::tx
