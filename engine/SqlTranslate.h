// Turns one Oracle SQL statement into the SQLite statement(s) that do the same on our storage.
#pragma once
#include "OraError.h"
#include "OraValues.h"

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <array>
#include <string>
#include <unordered_map>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace ora {

class Session;

struct ColumnInfo {
  std::string name;
  ColType type;
  bool notNull = false;
  std::string dflt; // the stored default expression; empty when none
  std::string identity; // the sequence of an identity column
  bool always = false;  // GENERATED ALWAYS: no value may be given
  bool onNull = false;  // DEFAULT ON NULL / BY DEFAULT ON NULL: a NULL given takes the default
  bool invisible = false; // INVISIBLE: "*" and an INSERT without a column list leave it out
  // a view's column SQLite declares narrower than the view was described (a set operation's
  // wider member): what SQLite declares
  std::string narrowDecl;
};

// The schema's answers a session keeps between statements (Session::schemaMemo).
struct SchemaMemo {
  std::unordered_map<std::string, bool> has; // "type/name" -> present in sqlite_schema
  std::unordered_map<std::string, std::vector<ColumnInfo>> columns;
  int wide = -1; // whether a table keeps a NUMBER as decimal text; -1 not read yet
  // A table's PL/SQL triggers, read once per schema: its valid statement triggers (name,
  // type, events) and whether any row trigger calls the interpreter.
  struct Triggers {
    std::vector<std::array<std::string, 3>> statement;
    bool row = false;
  };
  std::unordered_map<std::string, Triggers> triggers;
  // stored units whose SQL's tables and columns were found: name -> the source checked
  std::unordered_map<std::string, std::string> compiledUnits;
  // The names of the schema's FUNCTION, PACKAGE and TYPE units, and the data version of the file
  // they were read at: another connection's CREATE moves it, this one's counts as DDL.
  struct Units {
    std::unordered_map<std::string, int> kinds; // name -> the unit types it has (bits)
    int any = 0;                                // the unit types the schema has
  };
  std::shared_ptr<const Units> unitNames;
  int64_t unitsAt = -1;
  int archival = -1; // whether any table has ROW ARCHIVAL; -1 not read yet
};

// What the translator needs to know of the user's schema. With a session, what changes only
// with the SQLite schema (which objects exist, their columns, a view's column types, written by
// the same DDL) is remembered across statements; the rest of the engine's own tables is read
// each time, as their rows change without the schema cookie moving.
// The source of a built-in type (ODCINUMBERLIST and the like, owner SYS or none); empty for others.
std::string builtinTypeSource(const std::string& name);

class Catalog {
public:
  Catalog(sqlite3* db, std::string user, Session* session = nullptr)
      : db_(db), user_(std::move(user)), session_(session) {}
  ~Catalog();
  Catalog(const Catalog&) = delete;
  Catalog& operator=(const Catalog&) = delete;
  const std::string& user() const { return user_; }
  sqlite3* db() const { return db_; }
  Session* session() const { return session_; }
  bool tableExists(const std::string& name); // tables and views
  // After DDL run during translation: what was remembered of the schema is read again.
  void schemaChanged() {
    memo_.reset();
    own_ = SchemaMemo{};
  }
  bool viewExists(const std::string& name);
  bool sequenceExists(const std::string& name);
  // TABLE, VIEW, SEQUENCE, PROCEDURE, ... of a name in the schema's object namespace; empty if free
  std::string objectType(const std::string& name);
  // `type` when the schema has an object of that type under the name (TRIGGER, PACKAGE BODY, ...)
  std::string objectTypeOf(const std::string& name, const std::string& type);
  // SQLite triggers that carry an Oracle trigger (one per triggering event).
  std::vector<std::string> sqliteTriggers(const std::string& name);
  // Valid while this catalog lives (DDL run through another catalog may change the schema).
  const std::vector<ColumnInfo>& columns(const std::string& table);
  int64_t objectNumber(const std::string& table); // 0 when unknown
  bool indexExists(const std::string& name);
  bool keyIndexExists(const std::string& name);
  // Whether some table of the schema has a NUMBER column kept as decimal text.
  bool wideColumns();
  // The table or view a private synonym stands for; empty when the name is none.
  std::string synonymTarget(const std::string& name);
  // The stored source of a FUNCTION or PACKAGE; empty when there is none.
  std::string unitSource(const std::string& name, const char* type);
  // Whether the schema has any FUNCTION, PACKAGE or TYPE unit of that type.
  bool anyUnit(const char* type);
  // Whether any table of the schema has ROW ARCHIVAL.
  bool anyRowArchival();

  // The unit holding the functions of the statement's WITH clause while its query is translated:
  // where a name that is no column may also be one of them.
  std::string withUnit;
  // The CHECK texts valid-time periods stand for, with their periods' names, while the
  // statement that makes them is translated.
  std::map<std::string, std::string> periodChecks;

private:
  bool schemaHas(const char* type, const std::string& name);
  sqlite3_stmt* prep(const char* sql);
  void done(sqlite3_stmt* st);
  SchemaMemo& memo();
  sqlite3* db_;
  std::string user_;
  Session* session_;
  std::shared_ptr<SchemaMemo> memo_; // the session's, checked on first use
  SchemaMemo own_;                   // without a session: this statement's alone
  std::shared_ptr<const SchemaMemo::Units> unitNames_; // read once for the statement, or kept
  std::vector<std::pair<const char*, sqlite3_stmt*>> own_statements_; // without a session
  std::deque<std::vector<ColumnInfo>> unremembered_; // columns of a read that failed midway
};

enum class StmtKind { Query, Dml, Ddl, Commit, Rollback, Savepoint, Session };

struct Translation {
  StmtKind kind = StmtKind::Query;
  int function = 0;      // Oracle SQL function code, left in the cursor area after parse
  std::string verb;      // leading keyword
  std::string target;    // DML: the table it writes
  std::string savepoint; // SAVEPOINT name; ROLLBACK TO name
  std::string sql;       // Query and Dml: one SQLite statement
  std::vector<std::string> ddl;      // Ddl: run in order, in one transaction
  std::map<std::string, ColType> inferred; // result column name -> type of an expression
  std::map<std::string, ColType> widened;  // a compound's text column wider in a later member
  // a column of a view read here: what SQLite declares it and the view's wider type
  std::map<std::string, std::pair<std::string, ColType>> viewWide;
  // a view's query (ViewStars): where each "*" of its own select lists stood (byte range of
  // the item) and the columns it stood for
  std::vector<std::pair<std::pair<size_t, size_t>, std::vector<std::string>>> stars;
  std::vector<std::function<void(Session&)>> actions; // Ddl: run after `ddl` has committed; Session: run
  // Ddl: run after `ddl` inside its transaction, before the commit; what they write elsewhere
  // becomes part of the statement only when that commit happens (see Session::repairSequences).
  std::vector<std::function<void(Session&)>> beforeCommit;
  // Ddl that parsed but cannot run (the name is in use, the object is missing, ...): as in
  // Oracle it still ends the open transaction; it is translated again after that commit and
  // fails with its error then.
  std::string retryText;
  std::shared_ptr<const void> plsql; // Session: an anonymous block's tree, run by the execute
  std::vector<std::string> dictionary; // dictionary views the statement reads
  // Literals sent as parameters instead of text, in parameter order (token ordinals), so that
  // statements differing only in them share one prepared statement.
  std::vector<int> params;
  std::vector<int> pinned; // literals the translation depends on (kept in the sharing key)
  bool unshared = false;   // written for this text alone (its literals inline)
  bool forUpdate = false;  // a query that locks its rows: not in a READ ONLY transaction
  std::vector<std::string> moreSql; // Dml: statements run after `sql`, as part of the same one
  // Dml that runs itself (a row at a time, with error logging) instead of `sql`: the rows it changed
  std::function<int64_t(Session&)> selfRun;
  std::vector<size_t> uncounted;    // those of moreSql whose rows the statement does not count
  // MERGE ... DELETE WHERE: the rows of `floorTable` up to the highest ROWID it had before
  // moreSql[floorBefore] ran are bound to :FLOOR in moreSql[floorIn], so that the rows the
  // statement inserted are not deleted
  std::string floorTable;
  size_t floorBefore = 0, floorIn = 0;
};

// The Oracle type of result column i of a prepared query.
ColType resultType(sqlite3_stmt* st, int i, const Translation& t);

// Throws OraError for what Oracle would refuse or what the engine cannot run. With `share`,
// literals become parameters (Translation::params) so the statement can serve every text that
// differs from it only in them.
Translation translate(const std::string& text, Catalog& cat, bool share = false, bool deferDdlErrors = true);

// The members of a supplied package that holds functions only (DBMS_RANDOM, UTL_RAW, ...), every
// one a query or a PL/SQL expression may name; nullptr for any other package.
const std::set<std::string>* functionPackageMembers(const std::string& package);

// The query of a view as it translates now (a view made before its tables, or one that reads the
// dictionary, is compiled where it is used); empty when it does not translate.
Translation recompiledView(Catalog& cat, const std::string& view);

// A translation mode in force on this thread while one of its scopes lives; scopes nest.
template <int Mode> struct TranslationScope {
  TranslationScope() { ++depth; }
  ~TranslationScope() { --depth; }
  TranslationScope(const TranslationScope&) = delete;
  TranslationScope& operator=(const TranslationScope&) = delete;
  static inline thread_local int depth = 0;
};

// Queries translate for use inside another statement (a view's query): their numbers stay
// numbers, never the exact decimal text a fetched result column may carry.
using InnerQueries = TranslationScope<0>;
// The queries translated are a view's: each "*" and "t.*" over named tables becomes the columns
// those tables have now, so the view keeps them when a table gains more.
using ViewStars = TranslationScope<1>;
// The values a PL/SQL block computes as queries: their select lists' literals become parameters
// like any other, since no one reads those queries' headings.
using ValueQueries = TranslationScope<2>;
// The statement is the engine's own rewriting of collection operators: their functions may be named.
using CollectionCalls = TranslationScope<4>;
// Placeholders (:name, :1) become parameters: Translation::params gets their token ordinals, in
// parameter order, for the caller to bind (PL/SQL's dynamic SQL).
using HostBinds = TranslationScope<5>;

struct Literal {
  int token;      // ordinal among the statement's tokens
  bool text;      // a quoted text rather than a number
  std::string value;
};
// Gives an error about a name that has no position the offset of the first token that names it
// (the part after the last "." of a dotted name), as Oracle marks it.
void locateError(OraError& e, const std::string& text);

// Whether the statement's first word is `word` (upper case), without tokenizing it all.
bool startsWithWord(const std::string& text, const char* word);
// Whether `word` (upper case) appears anywhere in the text, in any case: a cheap test before a
// rewriting splits the text into tokens.
bool containsWord(const std::string& text, const char* word);
// WITH FUNCTION / PROCEDURE declarations before a query: they are kept for the session, and
// `query` is the query that calls them; false when the text has none.
bool withFunctions(const std::string& text, Catalog& cat, std::string& query);

// The sharing key of a query or DML text (its tokens with the literals left out) and its literals;
// empty for statements that are not shared. `spans` gets where each literal stands in the text.
std::string sharingKey(const std::string& text, std::vector<Literal>& literals,
                       std::vector<std::pair<uint32_t, uint32_t>>* spans = nullptr);

} // namespace ora
