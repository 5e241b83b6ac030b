// Rebuilding a table under a new definition, and reading its stored definition: what ALTER
// TABLE needs beyond the statement itself.
#pragma once
#include "TranslateImpl.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct sqlite3;

namespace ora {
class Session;
namespace tx::rb {

// A table's definition as stored: one piece per column or table constraint.
struct DefPiece {
  std::string column; // empty for a table constraint
  std::string text;
};

// A constraint being added, for the error that says the rows do not satisfy it.
struct Added {
  std::string type; // P, U, C, R; empty when no constraint is added
  std::string name; // OWNER.NAME, empty when the engine names it
  bool novalidate = false; // ENABLE NOVALIDATE: the rows already there are not checked
  std::string check;       // an added check's condition, to validate the rows against
  std::map<std::string, std::string> convert; // a column's new value from the old row, when not itself
  std::map<std::string, std::string> fill;    // a new column's value for the rows already there
};

std::string storedSql(sqlite3* db, const char* type, const std::string& name);
std::vector<DefPiece> tablePieces(const std::string& sql);
// Scalar of a query; -1 on failure.
int64_t scalar(sqlite3* db, const std::string& sql);
// The text of a piece without the tokens `drop` marks.
std::string joinExcept(const std::string& text, const std::vector<Token>& t, const std::vector<char>& drop);
bool constraintStart(const Token& k);
// Takes a constraint the engine named (no CONSTRAINT clause in the definition) out of the
// pieces, by where the stored definition says it. Its text goes to `removed`, the column it
// belonged to (empty for a table constraint) to `column`.
bool cutNamedByEngine(sqlite3* db, const std::string& table, const std::string& cname, bool pk,
                      std::vector<DefPiece>& pieces, std::string& removed, std::string& column);
bool disabledConstraint(sqlite3* db, const std::string& table, const std::string& name);
// Whether a constraint of the schema, enabled or disabled, has this name.
bool constraintNameTaken(sqlite3* db, const std::string& name);
// Whether `parent` has an enabled key a foreign key may refer to: its primary key when `columns`
// is empty, else a primary or unique key of those columns.
bool enabledKeyFor(sqlite3* db, const std::string& parent, const std::vector<std::string>& columns);
// The condition of the CHECK in a constraint's definition; empty when it has none.
std::string checkCondition(const std::string& def);
// Rebuilds a table under a new definition, keeping its rows (and their ROWIDs), indexes and
// triggers; foreign keys are checked once at the end.
void rebuildTable(Session& s, const std::string& table, const std::vector<DefPiece>& pieces,
                  const std::vector<std::string>& keep, const std::vector<std::string>& after,
                  const Added& added = {});

} // namespace tx::rb
} // namespace ora
