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

} // namespace ora
