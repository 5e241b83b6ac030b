// The SQL/JSON functions' runtime: JSON_VALUE, JSON_QUERY, JSON_EXISTS, IS JSON and the
// generation functions, as the SQLite functions translated statements call.
#pragma once
#include "OraError.h"

#include "JsonDoc.h"

#include <cstdint>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_context;
struct sqlite3_value;

namespace ora {

void registerJsonFunctions(sqlite3* db);
// A JSON_TABLE's columns: each as JSON_VALUE (of a type), JSON_QUERY or JSON_EXISTS reads it from
// the row, or the row's number.
struct JsonTableColumn {
  enum Kind { Value, Query, Exists, Ordinality } kind = Value;
  std::string name, path;
  int type = 1;        // Value: kVarchar2, kNumber, kDate or kTimestamp
  int64_t size = 4000; // the longest text
  bool wrapper = false;
  int nest = 0; // the row path (0) or the NESTED PATH it is read under
  // ON ERROR and ON EMPTY: 0 NULL, 1 ERROR, 2 DEFAULT the literal; -1 for ON EMPTY: as ON ERROR
  int onError = 0, onEmpty = -1;
  json::Value errorDefault, emptyDefault;
};
// NESTED PATH: rows found under a parent's row, outer-joined to it; siblings' rows are
// unioned, each with the other's columns NULL.
struct JsonTableNest {
  std::string path;
  int parent = -1;
};
struct JsonTableSpec {
  std::vector<JsonTableColumn> columns;
  std::vector<JsonTableNest> nests{JsonTableNest{}}; // [0]: the row path's own rows
  bool errorOnError = false;
};
// The table-valued function name(document, row path) with those columns, registered on the
// connection when it is not yet.
std::string jsonTableModule(sqlite3* db, const JsonTableSpec& spec);

// A scalar found by JSON_VALUE as the result of the SQL type asked for (kVarchar2 of at most `size`
// bytes, kNumber, kDate); throws the error when it does not convert or fit. For kNumber a
// negative size is numberShape's NUMBER(p,s); for kVarchar2, -n cuts the text to n bytes (TRUNCATE).
inline int64_t numberShape(int precision, int scale) { return -(int64_t{precision} * 1000 + scale + 500); }
void jsonScalarResult(sqlite3_context* ctx, const json::Value& v, int type, int64_t size);

// The JSON text of a SQL value of the given kind (0 by its value, 1 JSON text, 2 NUMBER, 3 DATE,
// 4 TIMESTAMP); empty for NULL.
std::string jsonText(sqlite3_value* v, int kind);

// JSON_SERIALIZE, JSON_SCALAR, JSON_MERGEPATCH and JSON_TRANSFORM (JsonModify.cpp).
void registerJsonModifyFunctions(sqlite3* db);
// One JSON_TRANSFORM operation. The handlers: 0 the operation's default, then ERROR, IGNORE,
// CREATE, REPLACE, NULL.
struct JsonEdit {
  enum Op { Remove = 1, Keep, Rename, Set, Insert, Replace, Append, KeepMore }; // KeepMore: a further path of a KEEP
  enum Handler { Default = 0, Error, Ignore, Create, Overwrite, Null };
  int op = Set;
  std::string pathText, name; // name: RENAME's new field name
  json::Path path;
  json::Value value;
  bool isNull = false;
  int onMissing = Default, onExisting = Default;
};
json::Value jsonTransform(json::Value doc, const std::vector<JsonEdit>& edits);

// One of the SQL/JSON errors (ORA-404nn, ORA-40597) with Oracle's text.
OraError jsonError(int code, const std::string& detail = {});

} // namespace ora
