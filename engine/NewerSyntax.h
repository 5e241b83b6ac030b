// Later conveniences of Oracle's SQL written as the older forms the translator reads: a query
// without FROM, VALUES rows as a table, UPDATE and DELETE joined to other tables, and
// CREATE ... IF NOT EXISTS, DROP / ALTER ... IF EXISTS.
#pragma once
#include <string>
#include <vector>

struct sqlite3;

namespace ora {

class Catalog;
struct Translation;

// Bytes [from, to) of a text written as `length` others.
struct TextEdit {
  size_t from, to, length;
};
using TextEdits = std::vector<std::vector<TextEdit>>; // one list for each rewriting, in order

// The statement in the older forms; false when it uses none of the newer ones. `edits` gets
// what changed, to give error positions back in the text as written.
bool newerSyntax(const std::string& text, Catalog& cat, std::string& out, TextEdits& edits);
// Where a byte of the rewritten text stood in the text as written.
int writtenPosition(int pos, const TextEdits& edits);

// ALTER SESSION SET GROUP_BY_POSITION_ENABLED: a number in GROUP BY names a select list item
// rather than a constant; off for a new connection.
void setGroupByPosition(sqlite3* db, bool on);
bool groupByPosition(sqlite3* db);

// CREATE ... IF NOT EXISTS, DROP / ALTER ... IF EXISTS: `out` is the statement's translation, a
// statement that does nothing when the object already is / is not there; false when the text
// has no such clause.
bool existenceClause(const std::string& text, Catalog& cat, bool deferDdlErrors, Translation& out);

} // namespace ora
