// Internals shared by the dictionary's fill functions.
#pragma once
#include "Charset.h"
#include "Dictionary.h"
#include "OraValues.h"
#include "PlsqlCompile.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace ora {

class Session;

namespace dict {

// Where a fill reads: one schema connection and its owner.
struct Source {
  sqlite3* db;
  std::string owner;
  Session* session; // the logon's own session when db is its schema, else nullptr
  Charset charset;  // the database's, in which text lengths count
};

// Table name to the row count ANALYZE left in SQLite's statistics.
std::map<std::string, int64_t> analyzedRowCounts(sqlite3* db);

// Runs a query and calls `row` for each of its rows; `arg` is bound to ?1. Throws OraError
// unless `tolerant`.
void eachRow(sqlite3* db, const std::string& sql, const std::function<void(sqlite3_stmt*)>& row,
             const std::string& arg = {}, bool tolerant = false);
std::string col(sqlite3_stmt* st, int i);
std::vector<std::string> tablesOf(sqlite3* db, const char* type);
std::vector<std::string> splitTabs(const std::string& s);

// An INSERT into a dictionary table, values bound in order; with an owner, that comes first
// in every row.
class Inserter {
public:
  // `view`: the dictionary view whose table the rows go to; `n` values besides the owner
  Inserter(sqlite3* db, const std::string& view, int n, std::string owner = {});
  ~Inserter();
  Inserter(const Inserter&) = delete;
  Inserter& operator=(const Inserter&) = delete;
  Inserter& text(const std::string& v);
  Inserter& textOrNull(const std::string& v) { return v.empty() ? null() : text(v); }
  Inserter& num(int64_t v);
  Inserter& real(double v);
  Inserter& bytes(const std::string& v); // a RAW value
  // the bytes DUMP(..., 16) lists ("Typ=2 Len=3: c2,4a,46"), as a RAW value; NULL when none
  Inserter& dumped(const std::string& dump);
  Inserter& null();
  void row();

private:
  sqlite3* db_;
  sqlite3_stmt* st_ = nullptr;
  std::string owner_;
  int i_ = 0;
};

// Constraints of a table as its definition holds them: P, U, R and C (NOT NULL and CHECK).
struct Constraint {
  std::string name, type, table, condition, rTable, deleteRule;
  std::string expression; // a check's condition as SQLite holds it (and names it when it fails)
  std::vector<std::string> columns, rColumns;
  bool generated = false;
  // where the table's stored definition says it: byte range, and whether it is a whole item
  // of the column list (a table constraint) rather than part of a column's definition
  size_t from = 0, to = 0;
  bool whole = false;
};
std::vector<Constraint> tableConstraints(sqlite3* db, const std::string& table);

struct UserRow {
  std::string name, created; // created: stored date text, empty when unknown
  int64_t id = 0;
};
// The users of a database folder, in the order they were made.
std::vector<UserRow> listUsers(const std::string& folder);

void fillTab(const Source& src, Inserter& ins);
// USER_INDEXES, USER_IND_COLUMNS and USER_IND_EXPRESSIONS.
void fillIndexes(const Source& src, Inserter& ins);
void fillIndexColumns(const Source& src, Inserter& ins);
void fillIndexExpressions(const Source& src, Inserter& ins);
// Column statistics as last gathered, by table and column.
struct ColumnStats {
  int64_t distinct = 0, nulls = 0, sample = 0;
  std::string low, high, analyzed; // low, high: as DUMP(..., 16) lists them
};
std::map<std::pair<std::string, std::string>, ColumnStats> columnStatistics(sqlite3* db);
// NUM_DISTINCT, LOW_VALUE, HIGH_VALUE, DENSITY, NUM_NULLS, NUM_BUCKETS, LAST_ANALYZED, SAMPLE_SIZE.
void addColumnStatistics(Inserter& ins, const ColumnStats& s);
// USER_TAB_STATISTICS and USER_TAB_COL_STATISTICS.
void fillTableStatistics(const Source& src, Inserter& ins);
void fillColumnStatistics(const Source& src, Inserter& ins);
// USER_CLUSTERS and USER_CLU_COLUMNS.
void fillClusters(const Source& src, Inserter& ins);
void fillClusterColumns(const Source& src, Inserter& ins);
// The DATA_LENGTH of a column of the type.
int dataLength(const ColType& t);
void fillSource(const Source& src, Inserter& ins);     // DictionaryUnits.cpp
void fillErrors(const Source& src, Inserter& ins);     // DictionaryUnits.cpp
// The compile errors of each stored unit of the schema by "TYPE/NAME"; none when it is valid.
std::map<std::string, std::vector<pl::CompileError>> unitErrors(const Source& src); // DictionaryUnits.cpp
void fillProcedures(const Source& src, Inserter& ins); // DictionaryUnits.cpp
void fillArguments(const Source& src, Inserter& ins);  // DictionaryUnits.cpp
void fillTypes(const Source& src, Inserter& ins);      // DictionaryTypes.cpp
void fillTypeAttrs(const Source& src, Inserter& ins);
void fillDependencies(const Source& src, Inserter& ins);
// The (owner or "", name) pairs a query's FROM clauses name, in order.
std::vector<std::pair<std::string, std::string>> namesRead(const std::string& text);
void fillCatalog(const Source& src, Inserter& ins);
void fillDictionaryList(const std::string& user, Inserter& ins);
void fillUserList(const std::string& folder, const std::string& view, Inserter& ins);
void fillNlsParameters(Charset cs, Inserter& ins);
// What ALTER SESSION set, or the defaults of a Japanese territory with American messages.
void fillSessionNls(sqlite3* db, const char* charset, Inserter& ins);
// V$VERSION: what this database is; GLOBAL_NAME: the name of its folder.
void fillDatabaseNames(const std::string& view, const std::string& folder, Inserter& ins);
// The database's name: its folder's, in capitals.
std::string databaseName(const std::string& folder);
void fillInstanceViews(const std::string& view, sqlite3* db, const std::string& user, const std::string& dbName,
                       Inserter& ins);
void fillConstraints(const Source& src, Inserter& ins);
// USER_JOBS, USER_SCHEDULER_JOBS, USER_SCHEDULER_JOB_RUN_DETAILS (SuppliedJobs.cpp)
void fillJobViews(const std::string& view, const Source& src, Inserter& ins);
void fillConsColumns(const Source& src, Inserter& ins);
// Which columns of each table and view INSERT, UPDATE and DELETE can change.
void fillUpdatableColumns(const Source& src, Inserter& ins);
void fillRecycleBin(const Source& src, Inserter& ins);
void fillMviews(const Source& src, Inserter& ins);
// Partitioned tables, their partitions and their partitioning keys; the tables that record them.
std::vector<const char*> partitionTables();
bool isPartitioned(sqlite3* db, const std::string& table);
void fillPartTables(const Source& src, Inserter& ins);
void fillTabPartitions(const Source& src, Inserter& ins);
void fillPartKeyColumns(const Source& src, Inserter& ins);
void fillLobs(const Source& src, Inserter& ins); // DictionaryLobs.cpp
// USER_DOMAINS, USER_DOMAIN_COLS, USER_DOMAIN_CONSTRAINTS, USER_ANNOTATIONS_USAGE (DictionaryDomains.cpp)
void fillDomainViews(const std::string& base, const Source& src, Inserter& ins);

// A USER_ view that ALL_ and DBA_ repeat for each owner, and whether they add an OWNER column in front.
struct OwnedDef {
  const char* base;
  bool addOwner;
  const char* what;
  const char* ownerColumn = "OWNER";
};

struct View {
  std::string name, columns, comment;
  const OwnedDef* owned = nullptr; // ALL_ and DBA_ views
};

struct SynonymDef {
  const char* name;
  const char* view;
};

// Every view of the dictionary, and the one of a name (nullptr when there is none).
const std::vector<View>& allViews();
const View* findView(const std::string& name);
// The public synonyms of dictionary views (COLS, DICT, ...).
const std::vector<SynonymDef>& dictionarySynonyms();

} // namespace dict
} // namespace ora
