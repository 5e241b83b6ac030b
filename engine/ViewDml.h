// DML through simple views, as Oracle allows it on a view of one table.
#pragma once
#include "SqlLexer.h"
#include "SqlTranslate.h"

#include <string>
#include <vector>

namespace ora {

// When `text` inserts into, updates or deletes from a view of one table: the same statement
// against that table, in `out`. ORA-01732 for a view DML cannot go through, ORA-01733 for a
// column the view computes, ORA-42399 for a read-only view. For a view WITH CHECK OPTION,
// `check` is a query that finds a row the statement would write outside the view.
bool viewDml(const std::string& text, Catalog& cat, std::string& out, std::string& check);

// The same for a view (or subquery) `query` that joins tables, its tokens `t` from `after` on
// what follows the view's name: the statement on its one key-preserved table, in `out`; false
// when the query is no join of plain tables. ORA-01779, ORA-01776 and ORA-01752 when Oracle
// would not let it through.
bool joinViewDml(const std::string& text, const std::vector<sql::Token>& t, size_t after, const std::string& view,
                 const std::string& alias, const std::string& query, std::vector<std::string> names, Catalog& cat,
                 std::string& out);

} // namespace ora
