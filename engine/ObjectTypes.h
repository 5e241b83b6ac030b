// Object types (CREATE TYPE ... AS OBJECT): what a type declares, and the text form its values
// take in storage, in SQL expressions and in the interpreter.
#pragma once
#include "OraValues.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_value;
struct sqlite3_context;

namespace ora {

class Session;
class Catalog;

struct ObjAttr {
  std::string name;
  std::string typeText; // as declared
  ColType type;         // an object attribute: code kVarchar2 and `object` its type
};

struct ObjMethod {
  std::string name;
  bool function = false, member = true, constructor = false, map = false, order = false;
  bool instantiable = true; // NOT INSTANTIABLE: declared without a body, for subtypes to override
  std::string heading; // its heading as declared
};

struct ObjType {
  std::string name, super; // UNDER super
  std::vector<ObjAttr> attrs; // the supertype's first
  std::vector<ObjMethod> methods; // its own
  bool final = true, instantiable = true;
  std::string mapMethod, orderMethod; // its own or inherited
  int ownAttrs = 0;
  int attrIndex(const std::string& n) const {
    for (size_t k = 0; k < attrs.size(); ++k)
      if (attrs[k].name == n) return static_cast<int>(k);
    return -1;
  }
  const ObjMethod* method(const std::string& n) const {
    for (const auto& m : methods)
      if (m.name == n) return &m;
    return nullptr;
  }
};

// The schema's object type of that name; null when there is none (or it is a collection type).
std::shared_ptr<const ObjType> objectType(sqlite3* db, const std::string& name);
// Whether `sub` is `type` or one of its subtypes.
bool objectIsA(sqlite3* db, const std::string& sub, const std::string& type);
// The type that declares or last overrides a method for values of `type`; empty when none does.
std::string methodOwner(sqlite3* db, const std::string& type, const std::string& method);

// A value: one attribute of an object.
struct ObjAttrVal {
  char k = 0; // 0 NULL, 'N' number (decimal text), 'S' text, 'D' stored date, 'O' an object's text
  std::string s;
};
struct ObjValue {
  std::string type;
  std::vector<ObjAttrVal> attrs;
};

// An object's text starts with this mark; an atomically null object is SQL's NULL.
constexpr char kObjMark = '\x1e';
inline bool isObjectText(std::string_view s) { return !s.empty() && s[0] == kObjMark; }
// A REF: the mark, this tag, then the object identifier of the row it points to.
constexpr char kRefTag = '&';
bool isRefText(std::string_view s);
// A REF as the client shows it: an opaque string of hexadecimal digits.
std::string refDisplay(std::string_view s);
// The object a REF points to; false when its row is gone (the REF dangles).
bool derefObject(sqlite3* db, std::string_view ref, std::string& out);
std::string encodeObject(const ObjValue& v);
bool decodeObject(std::string_view s, ObjValue& out);
// The object as Oracle's client shows it: ADDR_T('x', 'y'), dates in the session's format.
std::string objectDisplay(sqlite3* db, std::string_view s);

// A SQL value as an attribute of declared type `a`; throws the conversion's error.
ObjAttrVal attrFromSql(sqlite3* db, sqlite3_value* v, const ObjAttr& a);
// The same for a value given as text: kind 0 NULL, 'N' number, 'S' text (a date as text too).
ObjAttrVal attrFromValue(sqlite3* db, char kind, const std::string& text, const ObjAttr& a);

// An attribute as a SQL function's result.
void attrResult(sqlite3_context* ctx, const ObjAttrVal& a);

// The package the interpreter runs a type's methods as ("TYPE$NAME"): its public part and body.
// False when there is no such object type.
bool objectTypePackage(sqlite3* db, const std::string& type, std::string& decls, std::string& body);
constexpr const char* kTypePackagePrefix = "TYPE$";
// Whether a table, an object table or another type uses the type (ORA-02303 to drop or replace it).
bool objectTypeInUse(sqlite3* db, const std::string& type);
// Whether an object type (or its body, which must define every method) compiles.
bool objectTypeValid(sqlite3* db, const std::string& type, bool body);

// SQL functions ora_obj_new, ora_obj_attr, ora_obj_set, ora_obj_call, ora_obj_static,
// ora_obj_check, and the ORA_OBJECT collation that orders by MAP or ORDER methods.
void registerObjectFunctions(sqlite3* db, Session* ses);
// ora_obj_row, ora_obj_keep, ora_obj_kept, ora_obj_ref, ora_obj_deref, ora_ref_dangling, ora_obj_treat
void registerObjectRowFunctions(sqlite3* db, Session* ses);
// ora_obj_newoid(): a row's new object identifier
void registerObjectIdFunction(sqlite3* db);
// Object columns (or object tables, COLUMN_NAME empty) that hold their type's instances only.
constexpr const char* kNotSubstitutableDdl =
    "CREATE TABLE IF NOT EXISTS \"TESSEL$NOT_SUBSTITUTABLE\" (TABLE_NAME TEXT NOT NULL, COLUMN_NAME TEXT NOT NULL,"
    " PRIMARY KEY (TABLE_NAME, COLUMN_NAME))";
bool notSubstitutable(sqlite3* db, const std::string& table, const std::string& column);
// The side table of object tables' rows: each row's object identifier and a subtype's attributes.
constexpr const char* kObjectRowsDdl =
    "CREATE TABLE IF NOT EXISTS \"TESSEL$OBJECT_ROWS\" (TABLE_NAME TEXT NOT NULL, RID INTEGER NOT NULL,"
    " OID TEXT NOT NULL UNIQUE, VAL TEXT, PRIMARY KEY (TABLE_NAME, RID))";

} // namespace ora
