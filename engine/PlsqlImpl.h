// The PL/SQL interpreter's pieces: the tokens of a block and the tree its parser makes.
#pragma once
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace ora::pl {

enum class T { End, Word, QWord, Str, Num, Op };

struct Tok {
  T kind = T::End;
  std::string text; // Word: upper case
  size_t pos = 0, end = 0;
};

std::vector<Tok> tokens(const std::string& src);
// A block's placeholders, :name or :1, each made one name (":NAME"): the variable its caller
// binds to it.
void joinPlaceholders(std::vector<Tok>& toks);
bool isOp(const std::vector<Tok>& t, size_t k, const char* s);
bool isName(const std::vector<Tok>& t, size_t k);
// The ")" that closes the "(" at token open; the last token when none does.
size_t closing(const std::vector<Tok>& t, size_t open);

// A range of tokens [b, e) of the block's text.
struct Range {
  size_t b = 0, e = 0;
  bool empty() const { return b >= e; }
};

struct TypeSpec {
  enum K { Number, Text, Date, Bool, Record, Unknown, Named, Cursor } kind = Unknown; // Named: a declared TYPE;
                                                                            // Cursor: a REF CURSOR
  int size = 0, precision = 0, scale = 0;
  bool hasScale = false, integer = false;
  Range anchor; // %TYPE or %ROWTYPE: the name before it; Named: the type's name
  std::string named; // Named: the type's name as text (pkg.type for a package's)
  bool rowtype = false, ofType = false;
  bool bytes = false; // RAW or BLOB: the value is hexadecimal digits
  // PLS_INTEGER and its subtypes: the range a value must be in; SIMPLE_INTEGER wraps instead
  enum IntRange : unsigned char { AnyInt, Pls, Natural, Positive, Sign, Simple } range = AnyInt;
  bool notNull = false; // NATURALN, POSITIVEN, SIMPLE_INTEGER
  bool fixed = false;   // CHAR, NCHAR: blank-padded to its length
  bool chars = false;   // the length counts characters: n CHAR, NCHAR, NVARCHAR2
  bool byteUnit = false; // n BYTE: the length counts the database's bytes whatever the session's semantics
  bool ranged = false;  // a subtype's RANGE lo..hi
  long long lo = 0, hi = 0;
  bool xml = false;     // XMLTYPE: the document's text
  int binary = 0;       // BINARY_FLOAT, BINARY_DOUBLE and their SIMPLE_ forms: kBinaryFloat, kBinaryDouble
  int floatBits = 0;    // FLOAT(bits), REAL, DOUBLE PRECISION: a NUMBER of so many binary digits
  // Date: 0 a DATE, else kTimestamp, kTimestampTz, kIntervalYm or kIntervalDs. A timestamp's
  // fraction digits are in `precision`; an interval's leading digits in `precision` and its
  // fraction's in `scale`. A parameter's precision is -1: it keeps its argument's.
  int dt = 0;
  bool localZone = false; // TIMESTAMP WITH LOCAL TIME ZONE
};
// The size of a CLOB or BLOB variable: no string's limit.
inline constexpr int kLobSize = 1 << 30;

struct Block;
struct Stmt;
using Stmts = std::vector<std::unique_ptr<Stmt>>;

struct Param {
  std::string name;
  bool in = true, out = false;
  TypeSpec type;
  Range dflt;
};

// A procedure or function: stored, declared in a block, or a package's.
struct Sub {
  std::string name;
  bool function = false;
  std::vector<Param> params;
  TypeSpec ret;
  std::shared_ptr<Block> block; // none when only declared (forward, or by CREATE PACKAGE)
  size_t at = 0;
  bool deterministic = false, currentUser = false; // DETERMINISTIC, AUTHID CURRENT_USER
  bool pipelined = false; // its rows come by PIPE ROW

  // The same heading: a declaration and the body that defines it.
  bool sameHeading(const Sub& o) const {
    if (function != o.function || params.size() != o.params.size()) return false;
    for (size_t k = 0; k < params.size(); ++k)
      if (params[k].name != o.params[k].name || params[k].type.kind != o.params[k].type.kind ||
          params[k].type.binary != o.params[k].type.binary || params[k].type.range != o.params[k].type.range)
        return false;
    return true;
  }
};

// TYPE name IS RECORD (...) | TABLE OF x [INDEX BY ...] | VARRAY(n) OF x
struct TypeDecl {
  enum K { Record, Assoc, Nested, Varray } kind = Record;
  struct Field {
    std::string name;
    TypeSpec type;
    Range init;
    bool notNull = false;
  };
  std::vector<Field> fields;
  TypeSpec elem;
  TypeSpec key;         // INDEX BY's
  long long limit = 0;  // VARRAY's
  bool refCursor = false; // REF CURSOR [RETURN ...]: no fields, a cursor variable's type
};

struct Decl {
  enum K { Var, Cursor, Exception, Pragma, Subprogram, Type } kind = Var;
  std::string name;
  TypeSpec type;
  bool constant = false, notNull = false;
  Range init;                            // default value, or the cursor's query
  std::vector<std::string> params;       // a cursor's parameters
  std::vector<TypeSpec> paramTypes;
  std::vector<Range> paramDefaults;
  int code = 0;                          // PRAGMA EXCEPTION_INIT
  std::shared_ptr<Sub> sub;              // a procedure or function
  std::shared_ptr<TypeDecl> typeDecl;    // a TYPE
  size_t at = 0;
};

struct Handler {
  std::vector<std::string> names; // OTHERS for all
  Stmts body;
};

// One iteration control of a FOR loop: lo[..hi [BY step]] or REPEAT lo, then [WHILE c] [WHEN c].
struct IterControl {
  Range lo, hi, step, whileCond, whenCond;
  bool reverse = false, repeat = false;
  int of = 0; // INDICES OF (1) or VALUES OF (2) the collection in `lo`
};

struct Stmt {
  enum K {
    Null, Assign, If, Case, Loop, While, ForNum, ForCursor, Exit, Continue, Open, Fetch, Close,
    Sql, SelectInto, Return, Raise, Call, Block, Goto, Forall, Execute
  } kind = Null;
  size_t at = 0;                 // token where it starts
  std::string label, name;       // loop label; loop variable, cursor, exception or called name
  Range target, expr, lo, hi;    // assignment target and value; FOR bounds; SQL text
  std::vector<Range> conds;      // IF/ELSIF conditions, CASE choices, call arguments, INTO targets
  std::vector<std::string> argNames; // call arguments given by name
  std::vector<Stmts> bodies;     // one per condition, then ELSE
  bool hasElse = false, reverse = false, when = false;
  bool bulk = false;   // BULK COLLECT INTO; FETCH's LIMIT in `expr`
  int forallOf = 0;    // FORALL: 0 lo..hi, 1 INDICES OF, 2 VALUES OF the collection in `target`;
                       // SAVE EXCEPTIONS in `when`
  Stmts body;
  std::shared_ptr<pl::Block> block;
  // EXECUTE IMMEDIATE and OPEN ... FOR: the USING arguments (mode 1 IN, 2 OUT, 3 IN OUT) and the
  // RETURNING INTO targets; `openFor` with the query or its text in `expr`, `dynamic` for a text
  std::vector<Range> binds;
  std::vector<int> bindModes;
  std::vector<Range> returnInto;
  bool openFor = false, dynamic = false, returnBulk = false;
  // FOR: the iteration controls beyond one plain range, and the iterand's declared type
  std::vector<IterControl> controls;
  TypeSpec iterType;
  bool typedIterand = false, mutableIterand = false;
};

struct Block {
  std::vector<Decl> decls;
  Stmts body;
  std::vector<Handler> handlers;
  std::string label;
  bool autonomous = false; // PRAGMA AUTONOMOUS_TRANSACTION
  size_t endAt = 0;         // its END, where a function's control runs out
};

struct Unit {
  std::string name;            // a stored procedure's or function's
  std::vector<Param> params;
  std::string src;
  std::vector<Tok> toks;
  std::shared_ptr<Block> block;
  std::shared_ptr<Sub> sub;     // a stored procedure or function as a subprogram
  std::vector<Decl> publicDecls; // a package: what CREATE PACKAGE declares
  std::shared_ptr<Block> body;  // a package body: declarations and initialisation
  size_t bodyFrom = 0;          // a package: where the body's text begins in src
  bool sqlCall = false;         // the block made for a CALL statement
  std::vector<std::string> schemaTypes; // type names it does not declare: CREATE TYPE's
  std::string text(Range r) const {
    if (r.empty()) return {};
    return src.substr(toks[r.b].pos, toks[r.e - 1].end - toks[r.b].pos);
  }
};

// The release DBMS_DB_VERSION describes.
inline constexpr int kDbVersion = 21, kDbRelease = 0;
// A unit's text with conditional compilation applied (PlsqlConditional.cpp): the text its $IF
// directives leave out, and the directives themselves, as blanks; inquiry directives as their
// values. `unit` is the unit's name ($$PLSQL_UNIT), empty for an anonymous block. ORA-06550 with
// PLS-00179 for a $ERROR directive reached.
std::string conditionalText(const std::string& src, const std::string& unit);
// DBMS_DB_VERSION's constant of that name as SQL (a number, or a condition for a BOOLEAN).
bool dbVersionConstant(const std::string& name, std::string& sql);

// Parses an anonymous block; throws ORA-06550 with a PLS-00103 line for what it cannot read.
std::shared_ptr<Unit> parseBlock(const std::string& src);

// Parses a stored procedure's or function's source ("PROCEDURE name (...) IS ... END;").
std::shared_ptr<Unit> parseProcedure(const std::string& src);
// The same, null for a source that does not parse (its syntax errors are reported elsewhere).
std::shared_ptr<Unit> parsedProcedure(const std::string& src);
// Parses a schema's TYPE (from its CREATE TYPE: "TYPE name AS TABLE OF ...") as a unit of one TYPE
// declaration; throws ORA-06550 for other kinds of type.
std::shared_ptr<Unit> parseTypeSource(const std::string& src);
// Parses a package's public part and its body (which may be empty) as one unit.
std::shared_ptr<Unit> parsePackage(const std::string& decls, const std::string& body);
// Whether stored PL/SQL source of a type (PROCEDURE, FUNCTION, PACKAGE, ...) compiles.
// Type names not declared in it must be among the schema's types.
bool plsqlSourceParses(const std::string& type, const std::string& src, const std::string& decls = {},
                       const std::set<std::string>& schemaTypes = {});

// "line L, column C" of a byte offset.
std::string where(const std::string& src, size_t pos);

} // namespace ora::pl
