// Anonymous PL/SQL blocks: read when the statement is parsed, run when it is executed.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct sqlite3;

namespace ora {

class Session;
class Catalog;

// ora_plsql(name, arguments...): stored and package functions called from SQL.
void registerPlsqlFunctions(sqlite3* db, Session* ses);
// Drops what the session keeps of a unit: a package's variables and cursors.
void forgetPlsqlState(Session& ses, const std::string& name);
// The type code a stored function (or a package's) returns; 0 when there is no such function.
int storedFunctionType(Catalog& cat, const std::string& pkg, const std::string& name);
// The PL/SQL declarations of a query's WITH clause, kept in the session under the name returned
// (a package's, for the query to call them by); `functions` gets the functions' names.
std::string statementUnit(Session& ses, const std::string& decls, std::vector<std::string>& functions);

// The block's tree; throws ORA-06550 for what does not parse.
std::shared_ptr<const void> checkPlsqlBlock(const std::string& text);
// Runs a block parsed by checkPlsqlBlock. `transactionEnded` is called after a COMMIT or
// ROLLBACK inside it. Throws OraError for what the block does not handle.
void runPlsqlBlock(Session& ses, const std::shared_ptr<const void>& parsed, const std::function<void()>& transactionEnded);

} // namespace ora
