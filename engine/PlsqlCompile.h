// The errors a stored PL/SQL unit compiles with, as USER_ERRORS lists them.
#pragma once
#include <set>
#include <string>
#include <vector>

struct sqlite3;

namespace ora {
class Catalog;
class Session;
struct OraError;
} // namespace ora

namespace ora::pl {

struct CompileError {
  int line = 0, column = 0;
  std::string text; // "PLS-00103: ...", "PL/SQL: ORA-00942: ..."
  int number = 0;   // the message's number
};

// None when the unit of that type (PROCEDURE, FUNCTION, PACKAGE, PACKAGE BODY, TYPE) compiles.
// `decls` is a body's package spec; type names the unit does not declare must be among
// `schemaTypes`; with a catalog the tables and columns its SQL names must be there.
std::vector<CompileError> compileErrors(const std::string& type, const std::string& src, const std::string& decls,
                                        const std::set<std::string>& schemaTypes, Catalog* cat);

// The errors of a trigger's body (DECLARE or BEGIN ... END) that does not compile: its syntax,
// else the tables and columns its SQL names that are not there.
std::vector<CompileError> triggerErrors(const std::string& body, Catalog* cat);
// A row trigger's :NEW and :OLD references its table's columns do not back (PLS-00049).
std::vector<CompileError> rowReferenceErrors(const std::string& body, const std::string& newName,
                                             const std::string& oldName, const std::vector<std::string>& columns,
                                             bool before);

// A procedure's or function's calls of the schema's procedures and functions that their
// parameters no longer accept (PlsqlCallCheck.cpp).
std::vector<CompileError> callErrors(sqlite3* db, const std::string& src);
// Assignments to, calls of and values read from names that nothing declares (PLS-00201), in a
// stored procedure's or function's source.
std::vector<CompileError> undeclaredErrors(Catalog& cat, const std::string& src);

// A block's names that nothing declares, as the errors its compilation stops with (ORA-06550);
// false when there are none.
struct Unit;
bool blockNameError(Catalog& cat, const Unit& block, OraError& error);

// An error of `number` and `text` at byte `pos` of `src` (line and column in characters).
CompileError errorAt(const std::string& src, size_t pos, int number, const std::string& text);

// Whether every table and column the SQL of a PL/SQL text names is there.
bool sqlNamesPresent(const std::string& src, Catalog& cat);

// Whether the tables and columns the SQL of a parsed unit names are there; remembered until the
// schema changes.
bool unitCompiles(Session& ses, const std::string& name, const std::string& src);

// An anonymous block's SQL compiles with the block: ORA-06550 with "PL/SQL: ORA-00942" (or
// ORA-00904) and "PL/SQL: SQL Statement ignored" for a table or column that is not there.
void checkBlockSql(Session& ses, const std::string& src);
// ... and the names it reads, assigns and calls (ORA-06550 with PLS-00201 and the like).
void checkBlockNames(Session& ses, const Unit& block);

} // namespace ora::pl
