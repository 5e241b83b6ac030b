// DML through simple views, as Oracle allows it on a view of one table.
#pragma once
#include "SqlTranslate.h"

#include <string>

namespace ora {

// When `text` inserts into, updates or deletes from a view of one table: the same statement
// against that table, in `out`. ORA-01732 for a view DML cannot go through, ORA-01733 for a
// column the view computes, ORA-42399 for a read-only view. For a view WITH CHECK OPTION,
// `check` is a query that finds a row the statement would write outside the view.
bool viewDml(const std::string& text, Catalog& cat, std::string& out, std::string& check);

} // namespace ora
