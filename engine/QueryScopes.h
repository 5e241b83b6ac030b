// Checks of a parsed statement's names across query blocks.
#pragma once
#include "SqlAst.h"
#include "OraError.h"
#include "SqlTranslate.h"

#include <string>
#include <string_view>
#include <vector>

namespace ora::sql {

// A column name that two result columns of an inline view or WITH query share cannot be used
// from outside it, nor can "*" take them all (ORA-00918).
void ambiguousDerivedColumns(const Node* root, std::string_view text, Catalog& cat);

// A column a NATURAL join shares belongs to neither table: "E.DEPTNO" is ORA-25155.
void naturalQualified(const Node* root, Catalog& cat, std::string_view text);

// An ANSI join's ON condition names only the tables of that join: a table of the FROM clause
// joined later or by a comma is ORA-00904 there.
void joinScopes(const Node* root);

// The names of a query's result columns as an outer query sees them. A "*" stands for the
// columns of its tables when a catalog is given and they are plain tables; otherwise it gives
// one empty name.
std::vector<std::string> resultNames(const Node* query, std::string_view text, Catalog* cat = nullptr);

// Oracle takes a query block's HAVING before its GROUP BY, SQLite only after it: the text with
// the first such pair of clauses changed round; false when there is none.
bool havingFirst(const Node* root, const std::string& text, std::string& out);

} // namespace ora::sql
