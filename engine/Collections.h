// Values of the schema's collection types (nested tables and varrays) in SQL: one SQLite blob
// that carries the type's name and the elements, each with its own tag so that elements of
// other kinds can join them later.
#pragma once
#include "OraValues.h"

#include <cstdint>
#include <string>
#include <vector>

struct sqlite3;

namespace ora {

class Catalog;

// Oracle's type code for a value of a named type, as a describe reports it.
inline constexpr int kNamedType = 108;

struct CollElem {
  enum Tag : unsigned char { Null, Int, Real, Text, Blob } tag = Null;
  int64_t i = 0;
  double d = 0;
  std::string s;
};

struct CollValue {
  std::string type;   // the collection type's name
  char kind = 'N';    // 'N' nested table, 'V' varray
  char elem = 'S';    // 'N' number, 'S' text, 'D' date, 'X' other
  std::vector<CollElem> items;
};

std::string encodeCollection(const CollValue& c);
// False when the bytes are no collection value.
bool decodeCollection(const void* p, int n, CollValue& out);
bool isCollectionBlob(const void* p, int n);

// A CREATE TYPE ... AS TABLE OF / VARRAY(n) OF of the schema, as SQL uses it.
struct CollType {
  std::string name;
  char kind = 'N';
  char elem = 'S';
  long long limit = 0; // a varray's
  ColType elemType;    // the elements' Oracle type
  std::string elemDecl; // ... as a column declares it
};
// False when the schema has no collection type of the name.
bool collectionType(Catalog& cat, const std::string& name, CollType& out);
// The collection type a table's column is declared of; empty when it is of none. `exists` tells
// whether the table has the column at all.
std::string columnCollectionType(sqlite3* db, const std::string& table, const std::string& column,
                                 bool* exists = nullptr);

// The collection type a stored function (or a package's) returns; empty for any other.
std::string storedCollectionType(Catalog& cat, const std::string& pkg, const std::string& name);
std::string storedNamedResult(Catalog& cat, const std::string& pkg, const std::string& name);
// The multiset conditions and operators of a statement written as the engine's functions;
// false when it has none.
bool collectionOperators(const std::string& text, Catalog& cat, std::string& out);

// The value as Oracle's client shows it: NUM_T(1, 2, 3), dates in the session's format.
std::string collectionText(sqlite3* db, const CollValue& c);

// The SQL functions of collections and the table function that reads one's elements.
void registerCollectionFunctions(sqlite3* db);
// The table function "name(collection)" whose COLUMN_VALUE is declared `decl` (empty: no type);
// with `objectType`, its columns are that type's attributes.
// `fields`: the columns of a record element type's fields (name, declaration), objectType its name.
std::string collectionRowsModule(sqlite3* db, const std::string& decl, const std::string& objectType = {},
                                 const std::vector<std::pair<std::string, std::string>>* fields = nullptr);

} // namespace ora
