// Materialized views: a table that holds its query's rows as of its last refresh.
#pragma once
#include "TranslateImpl.h"

#include <string>
#include <vector>

namespace ora {

// While one lives, statements may write a materialized view's table and drop it (a refresh, DROP
// MATERIALIZED VIEW); any other DML on it is ORA-01732.
using MviewWrites = TranslationScope<3>;

// Runs the query of a materialized view again and puts its rows in place of the old ones, in the
// session's open transaction. Throws OraError.
void refreshMview(Session& s, const std::string& name);
// Refreshes the materialized views that refresh ON COMMIT, in the transaction about to commit.
void refreshOnCommit(Session& s);

namespace tx {
// CREATE MATERIALIZED VIEW [LOG ON] ...
void createMaterializedView(const std::string& src, const std::vector<Token>& t, Catalog& cat, Translation& tr);
// DROP MATERIALIZED VIEW [LOG ON] ...
void dropMaterializedView(const std::vector<Token>& t, Catalog& cat, Translation& tr);
} // namespace tx

} // namespace ora
