// Oracle's text for a statement that broke a constraint: the constraint's owner and name, or the
// column, where SQLite tells only the columns or nothing at all.
#pragma once
#include "OraError.h"
#include "SqlTranslate.h"

#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace ora {

// `msg` is SQLite's message for a constraint failure of `t` (a DML statement). With `st`, the
// failed statement, a foreign key that the target table alone does not decide is found by
// running it again with the keys deferred, inside a savepoint that is then undone.
OraError constraintError(sqlite3* db, const std::string& user, const Translation& t,
                         const std::string& msg, sqlite3_stmt* st);

// The column ("OWNER"."TABLE"."COLUMN") whose value the conversion to a column's type last refused
// on this thread, and forgets it; empty when none.
std::string takeRefusedColumn();

// Oracle marks a value that an INSERT ... VALUES gives a column and the column refuses (too large,
// no number, NULL where NOT NULL) at the value itself. `refused` names the column when the
// conversion to its type refused it ("OWNER"."TABLE"."COLUMN"); otherwise the error's text does.
void locateInsertValue(OraError& e, const std::string& text, const std::string& refused, Catalog& cat,
                       const std::string& table);

} // namespace ora
