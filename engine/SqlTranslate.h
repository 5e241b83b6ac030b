// Turns one Oracle SQL statement into the SQLite statement(s) that do the same on our storage.
#pragma once
#include "OraValues.h"

#include <map>
#include <string>
#include <vector>

struct sqlite3;

namespace ora {

struct ColumnInfo {
  std::string name;
  ColType type;
  bool notNull = false;
};

// What the translator needs to know of the user's schema.
class Catalog {
public:
  Catalog(sqlite3* db, std::string user) : db_(db), user_(std::move(user)) {}
  const std::string& user() const { return user_; }
  sqlite3* db() const { return db_; }
  bool tableExists(const std::string& name);
  std::vector<ColumnInfo> columns(const std::string& table);
  int64_t objectNumber(const std::string& table); // 0 when unknown
  bool indexExists(const std::string& name);

private:
  bool schemaHas(const char* type, const std::string& name);
  sqlite3* db_;
  std::string user_;
};

enum class StmtKind { Query, Dml, Ddl, Commit, Rollback };

struct Translation {
  StmtKind kind = StmtKind::Query;
  int function = 0;      // Oracle SQL function code, left in the cursor area after parse
  std::string verb;      // leading keyword
  std::string sql;       // Query and Dml: one SQLite statement
  std::vector<std::string> ddl;      // Ddl: run in order, in one transaction
  std::map<std::string, ColType> inferred; // result column name -> type of an expression
};

// Throws OraError for what Oracle would refuse or what the engine cannot run.
Translation translate(const std::string& text, Catalog& cat);

} // namespace ora
