// Anonymous PL/SQL blocks: read when the statement is parsed, run when it is executed.
#pragma once
#include "OraValues.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct sqlite3;

namespace ora {

class Session;
class Catalog;
struct OraError;
struct Translation;

// ora_plsql(name, arguments...): stored and package functions called from SQL.
void registerPlsqlFunctions(sqlite3* db, Session* ses);
// Drops what the session keeps of a unit: a package's variables and cursors.
void forgetPlsqlState(Session& ses, const std::string& name);
// The type code a stored function (or a package's) returns; 0 when there is no such function.
int storedFunctionType(Catalog& cat, const std::string& pkg, const std::string& name);
// As storedFunctionType for a name called with arguments, which may be a synonym's.
int calledFunctionType(Catalog& cat, const std::string& name);
// Whether that function is declared DETERMINISTIC.
bool storedFunctionDeterministic(Catalog& cat, const std::string& pkg, const std::string& name);
// The PL/SQL declarations of a query's WITH clause, kept in the session under the name returned
// (a package's, for the query to call them by); `functions` gets the functions' names.
std::string statementUnit(Session& ses, const std::string& decls, std::vector<std::string>& functions);

// The block's tree; throws ORA-06550 for what does not parse.
std::shared_ptr<const void> checkPlsqlBlock(const std::string& text);
// The same for the block "BEGIN call; END;" that runs a CALL statement: an error shows no line of it.
std::shared_ptr<const void> checkPlsqlCall(const std::string& call);
// A cursor variable of the client's, bound to a placeholder (:name) of a block: what the block
// left open in it, the rows not yet fetched there.
struct HostCursor {
  std::string name; // upper case, without the ":"
  bool open = false;
  std::vector<std::string> names;
  std::vector<ColType> types;
  // each value: its kind ('N' number as decimal text, 'S' text, 'D' date as stored; 0 NULL)
  std::vector<std::vector<std::pair<char, std::string>>> rows;
};

// A scalar placeholder of a block that the client gives a value and reads back afterwards.
struct HostValue {
  std::string name; // upper case, without the ":"
  bool number = false;
  bool null = true;
  std::string value; // a number as decimal text
};

// Whether the block parsed by checkPlsqlBlock names the placeholder :name (upper case).
bool blockNamesPlaceholder(const std::shared_ptr<const void>& parsed, const std::string& name);
// Runs a block parsed by checkPlsqlBlock. `transactionEnded` is called after a COMMIT or
// ROLLBACK inside it. Throws OraError for what the block does not handle. `cursors`: the
// client's cursor variables it names, filled when it succeeds; `values`: its scalar placeholders,
// given before and read back when it succeeds.
void runPlsqlBlock(Session& ses, const std::shared_ptr<const void>& parsed, const std::function<void()>& transactionEnded,
                   std::vector<HostCursor>* cursors = nullptr, std::vector<HostValue>* values = nullptr);

// Triggers whose bodies the interpreter runs: ora_trigger(...) fires a row trigger's body from
// the SQLite trigger made for it, ora_trigger_new(name, i) gives back the :NEW values it set.
void registerTriggerFunctions(sqlite3* db, Session* ses);
// A trigger's body as the interpreter reads it: :NEW and :OLD (or the names REFERENCING gives
// them) become records of the row's columns, the text keeping its length.
std::string triggerBlockText(const std::string& body, const std::string& newName, const std::string& oldName);
// Throws OraError when the body does not compile for a trigger on a table of `columns` (upper
// case; empty for a statement trigger). `assigned` gets the :NEW columns it sets.
void checkTriggerBody(const std::string& body, const std::string& newName, const std::string& oldName,
                      const std::vector<std::string>& columns, bool before, std::vector<std::string>& assigned);
// A compound trigger's body ("COMPOUND TRIGGER ... END;") as one block: its declarations, then
// its BEFORE STATEMENT, BEFORE EACH ROW, AFTER EACH ROW, AFTER STATEMENT and INSTEAD OF EACH ROW
// parts as five blocks (NULL for those it has not). `rowSections` tells whether it has the
// BEFORE, AFTER and INSTEAD OF row parts; `parts` gets the five, empty for those it has not.
std::string compoundBlockText(const std::string& body, bool rowSections[3], std::vector<std::string>* parts = nullptr);
// Runs a DML statement through `run` (which returns the rows it changed) as one statement with
// the table's triggers: the statement triggers before and after it, and all of it undone when
// any part fails.
int64_t runTriggeredDml(Session& ses, const Translation& t, const std::function<int64_t()>& run);
// A statement SQLite could not prepare: Oracle's error for it in `e`. A DML statement failing
// for a table or column that has gone, which a trigger of its table names, has an invalid
// trigger (ORA-04098); pkg.name that is no function of the package is PLS-221.
void prepareError(Session& ses, const Translation& t, OraError& e);
// The ROWID of the row the last INSERT wrote, also when a BEFORE trigger wrote it in its place.
int64_t insertedRowid(Session& ses);

} // namespace ora
