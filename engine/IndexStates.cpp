// ALTER INDEX ... UNUSABLE until the next REBUILD: the engine keeps the index up to date all the
// same, but USER_INDEXES shows the state Oracle would.
#include "DdlImpl.h"
#include "SqlText.h"

namespace ora::tx {

std::string unusableRecord(const std::string& index, bool unusable) {
  return unusable ? "INSERT OR IGNORE INTO \"TESSEL$UNUSABLE\" VALUES (" + quoteString(index) + ")"
                  : "DELETE FROM \"TESSEL$UNUSABLE\" WHERE NAME = " + quoteString(index);
}

} // namespace ora::tx
