// System change numbers: each commit that changed rows takes the next one, and the rows it
// inserted or updated remember it (ORA_ROWSCN).
#pragma once
#include "FunctionUtil.h"

#include <cstdint>
#include <string>
#include <vector>

struct sqlite3;

namespace ora {

// The tables of the numbers and of the rows' ranges that took them.
void ensureScnTables(sqlite3* db);
// Notes the rows a session's connection inserts or updates, until its commit or rollback.
void watchRowChanges(sqlite3* db);
// Before COMMIT: the next number, and the rows changed since the last commit marked with it.
void stampCommit(sqlite3* db);
// The number of the last commit that changed rows.
int64_t currentScnOf(sqlite3* db);
// After a rollback (or when the connection closes) the noted rows are forgotten.
void forgetRowChanges(sqlite3* db, bool closing);

namespace fn {
// ora_rowscn(object, rowid), ora_current_scn(), SCN_TO_TIMESTAMP, TIMESTAMP_TO_SCN.
const std::vector<Def>& scnFunctionDefs();
}

} // namespace ora
