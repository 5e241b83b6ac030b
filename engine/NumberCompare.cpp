// Comparison of NUMBER values by their exact decimal value: a computed value that a double holds
// rounded (1/3*3 is .999...9, not 1) compares as Oracle compares it.
#include "FunctionUtil.h"
#include "Number.h"
#include "OraError.h"
#include "OraFunctions.h"

#include <sqlite3.h>

namespace ora {

namespace {

// ora_ncmp(a, b): -1, 0 or 1; NULL when either is NULL.
void numCompare(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Num a, b;
  if (!numOf(argv[0], a) || !numOf(argv[1], b)) {
    sqlite3_result_null(ctx);
    return;
  }
  int c = compare(a, b);
  sqlite3_result_int(ctx, c < 0 ? -1 : c > 0 ? 1 : 0);
}

} // namespace

void registerNumberCompare(sqlite3* db) {
  sqlite3_create_function(db, "ora_ncmp", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, fn::guarded<numCompare>, nullptr, nullptr);
}

} // namespace ora
