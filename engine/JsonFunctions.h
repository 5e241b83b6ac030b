// The SQL/JSON functions' runtime: JSON_VALUE, JSON_QUERY, JSON_EXISTS, IS JSON and the
// generation functions, as the SQLite functions translated statements call.
#pragma once
#include "OraError.h"

#include <cstdint>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_context;

namespace ora {
namespace json {
struct Value;
}

void registerJsonFunctions(sqlite3* db);
// A JSON_TABLE's columns: each as JSON_VALUE (of a type), JSON_QUERY or JSON_EXISTS reads it from
// the row, or the row's number.
struct JsonTableColumn {
  enum Kind { Value, Query, Exists, Ordinality } kind = Value;
  std::string name, path;
  int type = 1;        // Value: kVarchar2, kNumber or kDate
  int64_t size = 4000; // the longest text
  bool wrapper = false;
};
struct JsonTableSpec {
  std::vector<JsonTableColumn> columns;
  bool errorOnError = false;
};
// The table-valued function name(document, row path) with those columns, registered on the
// connection when it is not yet.
std::string jsonTableModule(sqlite3* db, const JsonTableSpec& spec);

// A scalar found by JSON_VALUE as the result of the SQL type asked for (kVarchar2 of at most `size`
// bytes, kNumber, kDate); throws the error when it does not convert or fit.
void jsonScalarResult(sqlite3_context* ctx, const json::Value& v, int type, int64_t size);

// One of the SQL/JSON errors (ORA-404nn, ORA-40597) with Oracle's text.
OraError jsonError(int code, const std::string& detail = {});

} // namespace ora
