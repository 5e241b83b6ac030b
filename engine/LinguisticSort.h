// Linguistic sorts (NLS_SORT): the keys NLSSORT gives, and the collation ORDER BY and comparisons
// use under a session's NLS_SORT and NLS_COMP.
#pragma once

#include <string>
#include <string_view>

struct sqlite3;

namespace ora::fn {

// A sort's name as NLS_SORT takes it (GERMAN, XDANISH, BINARY_CI, GENERIC_M_AI, ...), in upper
// case; false when the engine keeps no such sort.
bool knownSort(std::string_view name);

// The bytes that order text as the sort does (compared byte by byte, shorter first). BINARY: the
// text's own bytes and a closing zero.
std::string sortKey(std::string_view text, std::string_view sort);

// The collation ORA_LING: text in the order of the connection's NLS_SORT; and, as SQL names them,
// the collations of the COLLATE operator (collationName).
void registerLinguisticCollation(sqlite3* db);

// Whether the COLLATE operator takes the name: BINARY, a linguistic sort, or a pseudo-collation
// USING_NLS_COMP / USING_NLS_SORT[_CI | _AI | _CS].
bool knownCollation(std::string_view name);
// The SQLite collation that stands for one the COLLATE operator names.
std::string collationName(std::string_view name);

} // namespace ora::fn
