// Rows of object tables as objects: a subtype's own attributes kept beside the row, each row's
// object identifier, REFs to rows and their dereference, TREAT and IS OF.
#include "FunctionUtil.h"
#include "ObjectTypes.h"
#include "OraError.h"
#include "Session.h"
#include "SqlText.h"

#include <sqlite3.h>

namespace ora {

namespace {

std::string textArg(sqlite3_value* v) {
  const unsigned char* p = sqlite3_value_text(v);
  return p ? std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(sqlite3_value_bytes(v))) : std::string();
}

void textResult(sqlite3_context* ctx, const std::string& s) {
  sqlite3_result_text(ctx, s.c_str(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

// A statement on the side table; null when there is none yet (an object table made before it).
struct Stmt {
  sqlite3_stmt* st = nullptr;
  Stmt(sqlite3* db, const std::string& sql) {
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
      sqlite3_finalize(st);
      st = nullptr;
    }
  }
  ~Stmt() { sqlite3_finalize(st); }
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;
};

std::string columnText(sqlite3_stmt* st, int i) {
  const unsigned char* p = sqlite3_column_text(st, i);
  return p ? std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(sqlite3_column_bytes(st, i)))
           : std::string();
}

// The table's type as an object table's; empty when it is none.
std::string tableType(sqlite3* db, const std::string& table) {
  Stmt s(db, "SELECT TYPE_NAME FROM \"TESSEL$OBJECT_TABLES\" WHERE TABLE_NAME = ?1");
  if (!s.st) return {};
  sqlite3_bind_text(s.st, 1, table.c_str(), -1, SQLITE_TRANSIENT);
  return sqlite3_step(s.st) == SQLITE_ROW ? columnText(s.st, 0) : std::string();
}

// The object of row `rid` of an object table of `type`, from its columns' values and what its
// side row keeps of a subtype.
std::string rowObject(sqlite3* db, const std::string& table, sqlite3_int64 rid, const std::string& type,
                      const std::vector<ObjAttrVal>& cols) {
  ObjValue v;
  v.type = type;
  v.attrs = cols;
  Stmt s(db, "SELECT VAL FROM \"TESSEL$OBJECT_ROWS\" WHERE TABLE_NAME = ?1 AND RID = ?2");
  if (s.st) {
    sqlite3_bind_text(s.st, 1, table.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int64(s.st, 2, rid);
    ObjValue sub;
    if (sqlite3_step(s.st) == SQLITE_ROW && sqlite3_column_type(s.st, 0) != SQLITE_NULL &&
        decodeObject(columnText(s.st, 0), sub) && sub.attrs.size() >= cols.size()) {
      // the columns hold the inherited attributes as they are now; the rest are the subtype's
      v.type = sub.type;
      for (size_t k = cols.size(); k < sub.attrs.size(); ++k) v.attrs.push_back(sub.attrs[k]);
    }
  }
  return encodeObject(v);
}

// ora_obj_row('TABLE', rowid, columns...): an object table's row as its object
void objRow(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  fn::guardedCall(ctx, [&] {
    Session& ses = *static_cast<Session*>(sqlite3_user_data(ctx));
    std::string table = textArg(argv[0]);
    std::string type = tableType(ses.db, table);
    auto ty = objectType(ses.db, type);
    if (!ty || static_cast<size_t>(argc - 2) != ty->attrs.size()) throw OraError(2315);
    std::vector<ObjAttrVal> cols;
    for (int a = 2; a < argc; ++a) cols.push_back(attrFromSql(ses.db, argv[a], ty->attrs[static_cast<size_t>(a - 2)]));
    textResult(ctx, rowObject(ses.db, table, sqlite3_value_int64(argv[1]), type, cols));
  });
}

thread_local std::string kept; // the object a row of an object table is being inserted from

// ora_obj_keep(object): the object, kept for ora_obj_kept after the row is in
void objKeep(sqlite3_context* ctx, int, sqlite3_value** argv) {
  fn::guardedCall(ctx, [&] {
    kept = sqlite3_value_type(argv[0]) == SQLITE_NULL ? std::string() : textArg(argv[0]);
    sqlite3_result_value(ctx, argv[0]);
  });
}

// ora_obj_kept_value(): the object kept, for the row's other columns
void objKeptValue(sqlite3_context* ctx, int, sqlite3_value**) {
  fn::guardedCall(ctx, [&] {
    if (kept.empty()) return sqlite3_result_null(ctx);
    textResult(ctx, kept);
  });
}

// ora_obj_kept('TYPE'): the object kept, when it is of a proper subtype of the table's type
void objKept(sqlite3_context* ctx, int, sqlite3_value** argv) {
  fn::guardedCall(ctx, [&] {
    Session& ses = *static_cast<Session*>(sqlite3_user_data(ctx));
    std::string v;
    v.swap(kept);
    ObjValue o;
    std::string type = textArg(argv[0]);
    if (!decodeObject(v, o) || o.type == type || !objectIsA(ses.db, o.type, type)) return sqlite3_result_null(ctx);
    textResult(ctx, v);
  });
}

// ora_obj_ref('TABLE', rowid): a REF to the row; NULL when it has no identifier
void objRef(sqlite3_context* ctx, int, sqlite3_value** argv) {
  fn::guardedCall(ctx, [&] {
    Session& ses = *static_cast<Session*>(sqlite3_user_data(ctx));
    if (sqlite3_value_type(argv[1]) == SQLITE_NULL) return sqlite3_result_null(ctx);
    Stmt s(ses.db, "SELECT OID FROM \"TESSEL$OBJECT_ROWS\" WHERE TABLE_NAME = ?1 AND RID = ?2");
    if (!s.st) return sqlite3_result_null(ctx);
    std::string table = textArg(argv[0]);
    sqlite3_bind_text(s.st, 1, table.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int64(s.st, 2, sqlite3_value_int64(argv[1]));
    if (sqlite3_step(s.st) != SQLITE_ROW) return sqlite3_result_null(ctx);
    textResult(ctx, std::string(1, kObjMark) + kRefTag + columnText(s.st, 0));
  });
}

} // namespace

bool notSubstitutable(sqlite3* db, const std::string& table, const std::string& column) {
  Stmt s(db, "SELECT 1 FROM \"TESSEL$NOT_SUBSTITUTABLE\" WHERE TABLE_NAME = ?1 AND COLUMN_NAME = ?2");
  if (!s.st) return false;
  sqlite3_bind_text(s.st, 1, table.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(s.st, 2, column.c_str(), -1, SQLITE_TRANSIENT);
  return sqlite3_step(s.st) == SQLITE_ROW;
}

bool isRefText(std::string_view s) { return s.size() > 2 && s[0] == kObjMark && s[1] == kRefTag; }

std::string refDisplay(std::string_view s) {
  std::string out = "0000220208";
  for (char c : s.substr(2)) out += static_cast<char>(c >= 'a' && c <= 'f' ? c - 32 : c);
  return out;
}

// The object a REF points to; false when the row is gone (the REF dangles).
bool derefObject(sqlite3* db, std::string_view ref, std::string& out) {
  Stmt s(db, "SELECT TABLE_NAME, RID FROM \"TESSEL$OBJECT_ROWS\" WHERE OID = ?1");
  if (!s.st) return false;
  std::string oid(ref.substr(2));
  sqlite3_bind_text(s.st, 1, oid.c_str(), -1, SQLITE_TRANSIENT);
  if (sqlite3_step(s.st) != SQLITE_ROW) return false;
  std::string table = columnText(s.st, 0);
  sqlite3_int64 rid = sqlite3_column_int64(s.st, 1);
  std::string type = tableType(db, table);
  auto ty = objectType(db, type);
  if (!ty) return false;
  std::string sql = "SELECT ";
  for (size_t k = 0; k < ty->attrs.size(); ++k) sql += (k ? ", " : "") + quoteIdent(ty->attrs[k].name);
  sql += " FROM " + quoteIdent(table) + " WHERE rowid = ?1";
  Stmt row(db, sql);
  if (!row.st) return false;
  sqlite3_bind_int64(row.st, 1, rid);
  if (sqlite3_step(row.st) != SQLITE_ROW) return false;
  std::vector<ObjAttrVal> cols;
  for (size_t k = 0; k < ty->attrs.size(); ++k)
    cols.push_back(attrFromSql(db, sqlite3_column_value(row.st, static_cast<int>(k)), ty->attrs[k]));
  out = rowObject(db, table, rid, type, cols);
  return true;
}

namespace {

// ora_obj_deref(ref): the object it points to; NULL when it dangles
void objDeref(sqlite3_context* ctx, int, sqlite3_value** argv) {
  fn::guardedCall(ctx, [&] {
    Session& ses = *static_cast<Session*>(sqlite3_user_data(ctx));
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
    std::string ref = textArg(argv[0]);
    if (!isRefText(ref)) throw OraError(932, "expected REF got CHAR");
    std::string obj;
    if (!derefObject(ses.db, ref, obj)) return sqlite3_result_null(ctx);
    textResult(ctx, obj);
  });
}

// ora_ref_dangling(ref): 1 when the row it points to is gone
void refDangling(sqlite3_context* ctx, int, sqlite3_value** argv) {
  fn::guardedCall(ctx, [&] {
    Session& ses = *static_cast<Session*>(sqlite3_user_data(ctx));
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
    std::string ref = textArg(argv[0]);
    if (!isRefText(ref)) throw OraError(932, "expected REF got CHAR");
    std::string obj;
    sqlite3_result_int(ctx, derefObject(ses.db, ref, obj) ? 0 : 1);
  });
}

// ora_obj_treat(object, 'TYPE'): the object when it is of that type or a subtype, else NULL
void objTreat(sqlite3_context* ctx, int, sqlite3_value** argv) {
  fn::guardedCall(ctx, [&] {
    Session& ses = *static_cast<Session*>(sqlite3_user_data(ctx));
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
    std::string s = textArg(argv[0]);
    std::string type = textArg(argv[1]);
    bool ref = type.rfind("REF ", 0) == 0;
    if (ref) type.erase(0, 4);
    std::string obj = s;
    if (ref != isRefText(s)) throw OraError(932, std::string("expected ") + (ref ? "REF" : "an object"));
    if (ref && !derefObject(ses.db, s, obj)) return sqlite3_result_null(ctx);
    ObjValue v;
    if (!decodeObject(obj, v)) throw OraError(932, "expected an object");
    if (!objectType(ses.db, type)) throw OraError(902);
    if (!objectIsA(ses.db, v.type, type)) return sqlite3_result_null(ctx);
    sqlite3_result_value(ctx, argv[0]);
  });
}

// ora_obj_newoid(): a new object identifier, 16 random bytes in hexadecimal
void objNewOid(sqlite3_context* ctx, int, sqlite3_value**) {
  unsigned char b[16];
  sqlite3_randomness(sizeof b, b);
  static const char digits[] = "0123456789abcdef";
  char out[33];
  for (size_t k = 0; k < sizeof b; ++k) {
    out[2 * k] = digits[b[k] >> 4];
    out[2 * k + 1] = digits[b[k] & 15];
  }
  sqlite3_result_text(ctx, out, 32, SQLITE_TRANSIENT);
}

} // namespace

void registerObjectIdFunction(sqlite3* db) {
  sqlite3_create_function(db, "ora_obj_newoid", 0, SQLITE_UTF8, nullptr, objNewOid, nullptr, nullptr);
}

void registerObjectRowFunctions(sqlite3* db, Session* ses) {
  sqlite3_create_function(db, "ora_obj_row", -1, SQLITE_UTF8, ses, objRow, nullptr, nullptr);
  sqlite3_create_function(db, "ora_obj_keep", 1, SQLITE_UTF8, ses, objKeep, nullptr, nullptr);
  sqlite3_create_function(db, "ora_obj_kept_value", 0, SQLITE_UTF8, ses, objKeptValue, nullptr, nullptr);
  sqlite3_create_function(db, "ora_obj_kept", 1, SQLITE_UTF8, ses, objKept, nullptr, nullptr);
  sqlite3_create_function(db, "ora_obj_ref", 2, SQLITE_UTF8, ses, objRef, nullptr, nullptr);
  sqlite3_create_function(db, "ora_obj_deref", 1, SQLITE_UTF8, ses, objDeref, nullptr, nullptr);
  sqlite3_create_function(db, "ora_ref_dangling", 1, SQLITE_UTF8, ses, refDangling, nullptr, nullptr);
  sqlite3_create_function(db, "ora_obj_treat", 2, SQLITE_UTF8, ses, objTreat, nullptr, nullptr);
}

} // namespace ora
