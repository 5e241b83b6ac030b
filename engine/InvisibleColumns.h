// Invisible columns: kept as a mark in the column's stored definition, so that every copy,
// rename and rebuild of the table keeps it.
#pragma once
#include <set>
#include <string>
#include <vector>

struct sqlite3;

namespace ora {
struct ColumnInfo;
namespace tx {

namespace rb {
struct DefPiece;
}

// The mark right after the column's quoted name in its stored definition.
inline constexpr const char* kInvisibleMark = "/*INVISIBLE*/";

// Whether a column's stored definition ("NAME" ...) carries the mark.
bool invisibleDef(const std::string& def);
// The definition with the mark put in or taken out.
std::string markInvisible(const std::string& def, bool invisible);
// The columns a table's stored CREATE TABLE marks invisible.
std::set<std::string> invisibleColumns(const std::string& createSql);
// ALTER TABLE ... MODIFY: the [IN]VISIBLE of each column named in `changes`; a column made
// visible again goes after the others, as it comes last in the column order. Throws ORA-54039
// when no visible column would be left.
void changeVisibility(std::vector<rb::DefPiece>& pieces, const std::vector<std::pair<std::string, bool>>& changes);
// A table must keep a visible column.
void checkSomeVisible(const std::vector<rb::DefPiece>& pieces);
// A temporary table has no invisible columns (ORA-54042).
void checkInvisibleAllowed(sqlite3* db, const std::string& table, const std::vector<rb::DefPiece>& pieces);

} // namespace tx
} // namespace ora
