// The rows a session sees of tables whose rows come and go without being deleted: those with
// valid-time periods under DBMS_FLASHBACK_ARCHIVE.ENABLE_AT_VALID_TIME, and those with ROW
// ARCHIVAL, whose archived rows stay hidden unless ROW ARCHIVAL VISIBILITY = ALL.
#pragma once
#include <string>

namespace ora {

class Catalog;

// The hidden column of a table with ROW ARCHIVAL: '0' for an active row.
inline constexpr const char* kArchiveState = "ORA_ARCHIVE_STATE";

// The statement with the tables it reads, updates or deletes from narrowed to the rows the
// session sees; false when nothing is narrowed.
bool sessionFilters(const std::string& text, Catalog& cat, std::string& out);

// CREATE TABLE ... ROW ARCHIVAL and ALTER TABLE ... [NO] ROW ARCHIVAL, written as the hidden
// column they add or drop; false when the text has no such clause.
bool rowArchivalDdl(const std::string& text, std::string& out);

} // namespace ora
