// SET CONSTRAINTS, and the commit that finds a deferred foreign key broken.
#pragma once
#include "SqlTranslate.h"

#include <string>

struct sqlite3;

namespace ora {

class Session;

// SET CONSTRAINT[S] {ALL | name, ...} {IMMEDIATE | DEFERRED}: its translation in `out`.
bool setConstraints(const std::string& text, Translation& out);
// The CREATE TABLE text SQLite keeps for the table.
std::string tableDefinition(sqlite3* db, const std::string& table);
// How that text declares the named constraint: "DEFERRED" or "IMMEDIATE" (initially) when
// DEFERRABLE, empty when not deferrable.
std::string declaredDeferral(const std::string& definition, const std::string& name);
// The error of a commit that broke a deferred foreign key (ORA-02091 and the key's ORA-02291),
// read before the transaction is rolled back.
OraError deferredFailure(Session& ses);

} // namespace ora
