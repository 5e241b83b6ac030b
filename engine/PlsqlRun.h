// The interpreter's state while a block runs, shared by its statement and SQL halves.
#pragma once
#include "OraError.h"
#include "PlsqlImpl.h"
#include "SqlTranslate.h"

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_context;
struct sqlite3_value;

namespace ora::pl {

struct CursorState;

struct Val {
  enum K { Null, Num, Str, Date, Bool } k = Null;
  std::string s; // Num: decimal text; Date: "YYYY-MM-DD HH:MM:SS"
  bool b = false;
  int fp = 0; // Num of BINARY_FLOAT or BINARY_DOUBLE (kBinaryFloat, kBinaryDouble): s may be "Nan", "Inf", "-Inf"
  std::shared_ptr<CursorState> cur;
  // Date: 0 a DATE; else the SQL type code of a TIMESTAMP (s its stored form, a zone after it
  // for kTimestampTz) or of an INTERVAL (s its stored form), with the digits its type keeps
  int dt = 0;
  signed char lead = 2, frac = 6;
  bool ltz = false; // a TIMESTAMP WITH LOCAL TIME ZONE
  Val() = default;
  Val(K kind, std::string text, bool truth) : k(kind), s(std::move(text)), b(truth) {} // a cursor variable's work area (k stays Null: no SQL value)
};

struct Coll;
struct TypeDef;

// A collection's elements, copied with the variable that holds them.
struct CollBox {
  std::unique_ptr<Coll> p;
  CollBox() = default;
  CollBox(const CollBox& o);
  CollBox& operator=(const CollBox& o);
  CollBox(CollBox&&) noexcept = default;
  CollBox& operator=(CollBox&&) noexcept = default;
  ~CollBox();
};

struct Var {
  TypeSpec type;
  Val v;
  bool constant = false, notNull = false, record = false;
  std::vector<std::string> fieldNames;
  std::vector<Val> fields;
  std::vector<TypeSpec> fieldTypes;    // a record's, where known
  std::shared_ptr<const TypeDef> def;  // a declared TYPE's record or collection
  CollBox coll;                        // a collection's elements; none while it is NULL
  // a record's fields of collection types, by field name in parts.p->str ("INNER.FIELD" for a
  // nested record's); their slots in `fields` stay NULL
  CollBox parts;
  bool isColl() const;
};

// A declared TYPE: a record's fields (in `proto`), or a collection and its element's prototype.
struct TypeDef {
  TypeDecl::K kind = TypeDecl::Record;
  std::string name;
  Var proto;
  bool strKeys = false;
  int keySize = 0;
  long long limit = 0;
  bool refCursor = false;
};

struct Coll {
  std::map<long long, Var> num;
  std::map<std::string, Var> str;
  long long size = 0; // a nested table's or varray's slots, deleted ones included
};

inline CollBox::CollBox(const CollBox& o) : p(o.p ? std::make_unique<Coll>(*o.p) : nullptr) {}
inline CollBox& CollBox::operator=(const CollBox& o) {
  if (this != &o) p = o.p ? std::make_unique<Coll>(*o.p) : nullptr;
  return *this;
}
inline CollBox::~CollBox() = default;
inline bool Var::isColl() const { return def && def->kind != TypeDecl::Record; }

struct Scope;

struct CursorState {
  const Decl* decl = nullptr;
  const Unit* unit = nullptr;  // where it is declared: a package's cursor opens in its own
  std::vector<Scope*> home;    // the scopes its query sees there
  bool open = false;
  std::vector<std::string> cols;
  std::vector<ColType> types; // a cursor variable's columns, for a client that fetches them
  std::vector<std::vector<Val>> rows;
  size_t next = 0;
  int64_t rowcount = 0;
  int found = -1; // -1: no fetch yet
  bool forUpdate = false; // its query locks its rows: a COMMIT or ROLLBACK ends its fetches
  bool outOfSequence = false;
  std::vector<std::string> rowids; // a FOR UPDATE query's rows' ROWIDs, for WHERE CURRENT OF
};

struct Scope {
  std::map<std::string, Var> vars;
  std::map<std::string, CursorState> cursors;
  std::map<std::string, int> exceptions; // user exceptions: 0, or the code PRAGMA EXCEPTION_INIT gave
  std::map<std::string, std::vector<const Sub*>> subs; // procedures and functions, overloads in order
  std::map<std::string, std::shared_ptr<const TypeDef>> types;
  std::string label;       // the block's label, or the subprogram's name for its parameters
  bool bodyFollows = false; // a subprogram's parameters: its own declarations are the next scope
};

// One argument of a call, bound to its parameter: the value passed in (and an OUT one's value
// coming back) and, for OUT, the caller's variable.
struct Bound {
  bool given = false;
  Val v;
  Range target;
  std::shared_ptr<Var> whole; // a record or collection passed whole
  bool cursor = false;        // a cursor variable, passed as its work area
};

struct Package;

// What a name in a call stands for: subprograms of one unit and the scopes they see.
struct Callee {
  std::shared_ptr<const Unit> keep; // holds a stored unit while it runs
  std::shared_ptr<Package> pkg;
  const Unit* unit = nullptr;
  std::vector<const Sub*> subs;
  std::vector<Scope*> base;
  std::string shown; // the name in messages
};

// Calls from SQL statements: how deep, where DML is not allowed (ORA-14551).
extern thread_local int sqlCallDepth;

// The units of queries' WITH clauses go by this prefix and a hash of their declarations.
inline constexpr const char* kStatementPrefix = "WITH$";
// Declarations of a query's WITH clause as a block whose subprograms SQL can call.
std::shared_ptr<Unit> parseStatementUnit(const std::string& decls);

// While a trigger's body runs: how many are open (no COMMIT in them, ORA-04092) and the tables
// their row events are changing, which their SQL may not read or write (ORA-04091).
extern thread_local int triggerDepth;
extern thread_local std::vector<std::string> mutatingTables;
// Throws ORA-04091 when SQL run by a row trigger names a table being changed.
void checkMutating(Session& ses, const std::string& sql);

// What a trigger's body asks of its event: UPDATING('COL') is true for the columns it changes.
struct TriggerEvent {
  bool updating = false, allColumns = false;
  std::set<std::string> columns;
};

// What the session keeps of PL/SQL units: packages' state, stored units and triggers as parsed.
struct Package;
struct SchemaType {
  std::string src;
  std::shared_ptr<Unit> unit;
  std::shared_ptr<const TypeDef> def;
};
struct SessionUnits {
  std::map<std::string, std::shared_ptr<Package>> packages;
  std::map<std::string, SchemaType> types;
  std::map<std::string, std::string> statement; // WITH FUNCTION declarations, by the name they go by
  std::map<std::string, std::pair<std::string, std::shared_ptr<Unit>>> stored; // source, parsed
  std::shared_ptr<void> triggers;
  // nested cursors handed out as SQL values (CURSOR expressions, functions' cursor variables)
  std::map<long long, std::shared_ptr<CursorState>> nested;
  long long nestedSeq = 0;
  std::shared_ptr<void> dbmsSql; // DBMS_SQL's cursors
};
SessionUnits& units(Session& ses);
// The end of a call from the client: SERIALLY_REUSABLE packages lose their state.
void endServerCall(Session& ses);

struct Rows {
  std::vector<std::string> names;
  std::vector<ColType> types;
  std::vector<std::vector<Val>> rows;
};

enum class Flow { Next, Exit, Continue, Return, Goto }; // Goto: to the label in Run::flowLabel

// A block runs at most this long (ORA-01013 after it).
inline constexpr auto kMaxBlockTime = std::chrono::seconds(60);

// A user-defined exception travels as ORA-06510 with its name in the detail.
inline const char* kUserMark = "\x01";
// An error RAISE_APPLICATION_ERROR put on top of the stack (keep_errors TRUE) carries the errors
// under it in its detail, after this mark, until the block's caller sees the whole stack.
inline const char* kKeptMark = "\x02";

struct Prepared {
  Translation tr;
  sqlite3_stmt* st = nullptr;
  std::vector<std::pair<int, std::string>> pinned;
};

struct Run {
  Session& ses;
  const Unit& u;
  std::function<void()> transactionEnded;
  std::vector<Scope*> scopes;
  std::map<std::string, Prepared> cache;
  std::map<const void*, std::set<std::string>> columnsOf; // a SQL text's tables' columns
  std::vector<OraError> handling; // the exceptions whose handlers run (SQLCODE, SQLERRM)
  std::vector<size_t> raisedAt;   // for each, the token of the statement that raised it
  std::vector<std::string> raisedIn; // and the ORA-06512 lines of the units it came out of
  size_t lastAt = 0;              // the token of the statement last begun
  // FORMAT_CALL_STACK's frames: the statements that called this unit's running subprograms, and
  // the run of the unit that called this one
  std::vector<std::pair<size_t, const Sub*>> callerAts;
  const Run* caller = nullptr;
  int64_t sqlRowcount = 0;
  int sqlFound = -1;
  int64_t steps = 0;
  const Sub* current = nullptr; // the procedure or function running
  const TriggerEvent* trigger = nullptr; // the trigger whose body this is
  Val retVal;                   // what its RETURN gave
  std::shared_ptr<Var> retWhole;  // ... when that is a record or collection
  std::shared_ptr<Var> lastWhole; // the record or collection the function last called here gave
  std::map<std::string, bool> storedFunctions; // names looked up in the schema
  std::map<std::string, std::shared_ptr<Package>> packagesSeen; // null: no such package
  bool ended = false; // a COMMIT or ROLLBACK ran
  const Block* autonomousNext = nullptr; // the autonomous block whose transaction has just begun
  std::string flowLabel;
  size_t gotoAt = 0; // the GOTO on its way to its label
  void gotoEscaped(Flow f); // a GOTO whose label no enclosing statement has: PLS-00375
  Flow forControls(const Stmt& s); // a FOR loop of iteration controls (PlsqlIterate.cpp)
  bool suppliedFailed = false; // the error leaving is a supplied package's: its own lines are not ours to show
  std::map<long long, int64_t> bulkRowcount;                // SQL%BULK_ROWCOUNT of the last FORALL
  std::vector<std::pair<long long, int>> bulkExceptions;    // SQL%BULK_EXCEPTIONS: index, error
  std::shared_ptr<CursorState> lastCursor; // the cursor variable the function last called here gave

  std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();

  Run(Session& s, const Unit& unit) : ses(s), u(unit) {}
  void step(); // counts a statement; ends a runaway block
  ~Run();

  // SQL half (PlsqlSql.cpp)
  Rows query(const std::string& sql, size_t maxRows);
  // A FOR UPDATE query's rows, with the ROWID of each in `rowids` when it reads one table
  // (PlsqlCurrentOf.cpp).
  Rows lockedRows(const std::string& sql, std::vector<std::string>& rowids);
  // "CURRENT OF cursor" at k, as the condition on the ROWID of the row it fetched last.
  std::string currentOf(size_t k, size_t e, size_t& used);
  int64_t execute(const std::string& sql);
  std::string subst(Range r, const std::set<std::string>* columns, Range skip = {});
  const std::set<std::string>& columns(const void* key, Range r);
  void tableFunctionColumns(size_t k, size_t e, std::set<std::string>& out) const;
  Val eval(Range r);
  void integerArithmetic(Range r, Val& x); // PlsqlIntegers.cpp
  int cond(Range r); // 1 true, 0 false, -1 NULL
  // Short-circuit forms, taken only where the expression calls the program's own functions.
  bool userCallIn(Range r);
  bool lazyCase(size_t k, size_t e, std::string& rep, size_t& used);
  bool lazyCondition(Range r, int& result);
  bool storedFunction(const std::string& name);
  bool packageNamed(const std::string& name, size_t at);
  bool isCondition(Range r);
  Val evalText(const std::string& sqlExpr);
  Var* find(const std::string& name);
  void locksReleased(); // after COMMIT or ROLLBACK
  Var* findIn(const std::string& label, const std::string& name); // label.name
  CursorState* cursor(const std::string& name);
  void store(Var& v, Val x, size_t at);
  void assign(Range target, Val x);
  [[noreturn]] void undeclared(size_t tok, const std::string& name) const;

  // statement half (PlsqlRun.cpp)
  Flow block(const Block& b);
  Flow stmts(const Stmts& list);
  Flow stmt(const Stmt& s);
  void declare(Scope& sc, const Decl& d);
  void call(const Stmt& s);
  void callProcedure(const Stmt& s);

  // records and collections (PlsqlCollections.cpp, PlsqlBulk.cpp)
  void declareType(Scope& sc, const Decl& d);
  std::shared_ptr<const TypeDef> typeNamed(Range name);
  std::shared_ptr<const TypeDef> schemaType(const std::string& name); // CREATE TYPE's; null when none
  std::map<std::string, std::shared_ptr<const TypeDef>> schemaTypes;
  void typed(Var& v, const TypeSpec& ts, size_t at); // a variable of a %TYPE, %ROWTYPE or declared type
  Var* wholeVar(size_t k, size_t e, size_t& next);   // name or pkg.name of a record or collection
  // rec.field[.field...] from next naming a record's field of a collection type: that collection
  Var* fieldCollection(Var* v, size_t& next, size_t e);
  // A record or collection an OUT parameter gives back, written to its argument (a variable, an
  // element, a field that is a nested record)
  void storeWhole(Range target, const Var& w);
  Var* element(Var& c, size_t open, size_t& next, bool create);
  bool compositeRef(size_t k, size_t e, std::string& rep, size_t& used);
  // compositeRef, where a missing element of an expression fails only when SQL evaluates it (a
  // CASE branch not taken does not) (PlsqlIterate.cpp)
  bool compositeElement(size_t k, size_t e, bool expression, std::string& rep, size_t& used);
  bool compositeCondition(size_t k, size_t e);
  bool assignComposite(Range target, Range expr);
  Var* targetVar(Range target); // a variable, pkg.variable or element written to; null for others
  bool assignPart(Range target, const Val& x); // a field or element given a value
  void assignWhole(Var& dst, Range expr);
  bool collectionMethod(const Stmt& s);
  void bulkInto(const std::vector<Range>& targets, const std::vector<std::string>& names,
                std::vector<std::vector<Val>>&& rows, size_t at);
  Flow forall(const Stmt& s);
  bool bulkAttribute(size_t k, size_t e, std::string& rep, size_t& used);
  std::string rowSet(size_t k, size_t e, Range stmt, size_t& used);

  // collections as SQL values (PlsqlCollSql.cpp)
  std::string collectionSql(const Var& v);          // a whole collection written into SQL
  bool collectionFromSql(Var& dst, const Val& x);   // x a collection's stored form; false for others
  Flow pipeRow(const Stmt& s);                      // PIPE ROW, and a pipelined function's RETURN

  // subprograms (PlsqlUnits.cpp)
  bool resolve(const std::string& dotted, size_t at, Callee& out);
  const Sub* choose(const Callee& c, const std::vector<std::string>& argNames, size_t at,
                    const std::vector<int>& kinds = {});
  int argumentKind(Range r);
  std::vector<Bound> bind(const Sub& sub, const std::vector<Range>& args, const std::vector<std::string>& argNames,
                          size_t at);
  Val invoke(const Unit& unit, const Sub& sub, const std::vector<Scope*>& base, std::vector<Bound>& args);
  bool callInExpression(size_t k, size_t e, bool inSql, std::string& rep, size_t& end);
  bool packageVariable(Range target, Val* read, const Val* write);
  bool packageVariableType(Range name, TypeSpec& out);
  CursorState* packageCursor(const std::string& pkg, const std::string& name);
  Scope* packageScope(const std::string& pkg, size_t at); // its public part; null when no package
  Flow returnValue(const Stmt& s);
  int64_t returningDml(const Stmt& s); // PlsqlReturning.cpp
  bool handles(const Handler& h, const OraError& e);

  // object types (ObjectPlsql.cpp)
  std::map<std::string, bool> objectSpecs; // names looked up as the schema's object types
  bool objectTypeName(const std::string& name);
  bool objectSpec(const TypeSpec& ts); // a variable of it holds an object's text
  Var* objectVar(size_t k, size_t e, size_t& next);
  // a constructor (not in a SQL statement, whose columns its arguments may name), obj.attr, obj.method(...)
  bool objectRef(size_t k, size_t e, std::string& rep, size_t& used, bool inSql = false);
  Val objectSteps(Val cur, size_t& p, size_t e, const std::string& declared);
  std::vector<Val> methodArgs(size_t& at);
  bool compositeSteps(Var* cur, size_t k, size_t p, size_t e, std::string& rep, size_t& used);
  bool objectAssign(Range target, Range expr);                          // obj.attr := value
  Var* objectTarget(Range target, std::vector<std::string>& path);
  bool objectAssignValue(Range target, const Val& x); // INTO obj.attribute
  bool objectCall(const Stmt& s);                                       // obj.procedure(...); type.procedure(...);
  void openCursor(CursorState& c, const Stmt* s);

  // dynamic SQL and cursor variables (PlsqlDynamic.cpp)
  Flow executeImmediate(const Stmt& s);
  void openFor(const Stmt& s);
  bool cursorValue(Range target, Range expr); // cv := function returning a cursor
  Val cursorOf(Range expr); // the work area a cursor expression (variable or function call) gives
};

// Dynamic statements for DBMS_SQL (PlsqlDynamic.cpp): the placeholders' names in text order,
// what kind of statement a text is (Session for an anonymous block), a query's rows and a DML
// statement's count with the placeholders bound to `vals` in that order, DDL, and a block
// whose placeholders are `binds` by name (written back when it ends).
std::vector<std::string> placeholderNames(const std::string& sql);
StmtKind dynamicKind(Run& r, const std::string& sql, bool& block);
Rows dynamicRows(Run& r, const std::string& sql, const std::vector<Val>& vals, size_t maxRows);
int64_t dynamicDml(Run& r, const std::string& sql, const std::vector<Val>& vals);
void dynamicDdlText(Run& r, const std::string& sql);
void dynamicBlockText(Run& r, const std::string& text, std::map<std::string, Val>& binds);
// DBMS_SQL (PlsqlDbmsSql.cpp): its procedures, false for other names; its functions read at
// token k of an expression, as suppliedValue.
bool dbmsSqlCall(Run& r, const Stmt& s);
bool dbmsSqlValue(Run& r, size_t k, size_t end, std::string& sql, size_t& used);
// The package's types and constants, as the source of a package without a body.
extern const char* const kDbmsSqlSpec;

// The supplied packages' procedures (DBMS_STATS, DBMS_LOCK, DBMS_MVIEW, ...); false when the
// call names none of them.
bool suppliedCall(Run& r, const Stmt& s);
// A supplied package's function without arguments read at token k of an expression
// (DBMS_UTILITY.GET_TIME, ...): its value as SQL text and the tokens it took; false when none.
bool suppliedValue(Run& r, size_t k, size_t end, std::string& sql, size_t& used);

// An error leaving a unit: the line it was raised at, as an ORA-06512 line of its text.
void addFrame(OraError& e, const Run& r);
std::string frameLine(const Run& r, size_t at);
// The ORA-06512 lines an error has gathered, one per line.
std::string framesOf(const OraError& e);
// The error as a handler sees it: without those lines.
OraError withoutFrames(OraError e);

// Moves a row into INTO targets: one record, or one variable per column.
void intoTargets(Run& r, const std::vector<Range>& targets, const std::vector<std::string>& names,
                 const std::vector<Val>& row, size_t at);
// Column i of a prepared statement's current row as a PL/SQL value.
Val columnValue(sqlite3_stmt* st, int i, const Translation& tr);

std::string literal(const Val& v);
// TIMESTAMP and INTERVAL values (PlsqlDatetime.cpp): the SQL type of the digits given, a value
// as a literal of its type, a column's stored value of such a type, and a value converted for
// a variable of type `ty` (kind Date, dt not 0).
std::string datetimeSqlType(int dt, int lead, int frac, bool ltz);
std::string datetimeLiteral(const Val& v);
Val datetimeValue(std::string stored, const ColType& ct);
void storeDatetime(Run& r, const TypeSpec& ty, Val& x);
// A binary float or double as SQL text typed so (PlsqlBinary.cpp).
std::string fpLiteral(const Val& v);
// A SQL value of binary type `kind` as a PL/SQL value; its text keeps every bit.
Val fpValue(sqlite3_value* v, int kind);
// x as a variable of binary type `kind` keeps it, or, kind 0, a binary x as a NUMBER (ORA-06502
// for NaN and infinities).
Val binaryStored(Run& r, Val x, int kind);
Val asValue(const Val& v, const TypeSpec& type);
OraError valueError(const std::string& what);
// A whole number stored in a PLS_INTEGER or one of its subtypes (PlsqlIntegers.cpp): ORA-01426
// beyond its 32 bits, ORA-06502 outside a subtype's range; SIMPLE_INTEGER's wraps around.
Val intInRange(const TypeSpec& ty, Val x);
// Infix MOD in an expression: its left operand from token `left`, the operator at `op`, the
// right operand up to `right`.
struct ModOperator {
  size_t left, op, right;
};
std::vector<ModOperator> modOperators(const std::vector<Tok>& t, Range r);
// The same for the exponentiation operator **, which binds tighter than any other.
std::vector<ModOperator> powerOperators(const std::vector<Tok>& t, Range r);
// A FOR loop's bound as a PLS_INTEGER.
long long plsBound(const Val& v);

// A cursor variable's work area as a SQL value, and back (NestedCursors.cpp). The value is a
// handle of the session's; another session's handle, or any other value, gives null.
std::string cursorHandle(Session& ses, std::shared_ptr<CursorState> c);
std::shared_ptr<CursorState> handleCursor(Session& ses, const std::string& text);
bool isCursorHandle(const std::string& text);
void registerNestedCursors(sqlite3* db, Session* ses);

// A value as the result of a SQL function; a number as the engine's arithmetic gives one, its
// exact form (decimal text beyond a double's digits) when `exact`.
void sqlResult(sqlite3_context* ctx, const Val& v, bool exact = true);
// A collection as the result of a SQL function.
void collectionResult(sqlite3_context* ctx, const Var& v);

} // namespace ora::pl
