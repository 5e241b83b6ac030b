// The recycle bin: DROP TABLE keeps the table under a BIN$ name until FLASHBACK TABLE brings it
// back or PURGE removes it for good.
#pragma once
#include "TranslateImpl.h"

#include <string>
#include <vector>

namespace ora::tx {

// DROP TABLE without PURGE: after the foreign keys of `children` (other tables') are dropped, the
// table goes to the recycle bin.
void dropToRecycleBin(const std::string& table, const std::vector<std::string>& children, Translation& tr);
// FLASHBACK TABLE t TO BEFORE DROP [RENAME TO n] | TO TIMESTAMP ... | TO SCN ...
void flashbackTable(const std::vector<Token>& t, Catalog& cat, Translation& tr);
// PURGE TABLE t | INDEX i | RECYCLEBIN | USER_RECYCLEBIN | DBA_RECYCLEBIN | TABLESPACE ts
void purgeStatement(const std::vector<Token>& t, Catalog& cat, Translation& tr);
// Whether a name is one the recycle bin gave an object it holds.
bool inRecycleBin(sqlite3* db, const std::string& name);

} // namespace ora::tx
