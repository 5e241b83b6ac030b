// Object values in SQL: constructors, attributes, method calls, and their order.
#include "FunctionUtil.h"
#include "Number.h"
#include "ObjectTypes.h"
#include "PlsqlRun.h"
#include "Session.h"

#include <cstring>
#include <sqlite3.h>

namespace ora {

namespace pl {

namespace {
const Unit& objectCaller() {
  static const std::shared_ptr<Unit> u = parseBlock("BEGIN NULL; END;");
  return *u;
}
} // namespace

// Runs method `method` of the type's package. `self` (a member's object, a constructor's new
// one) comes back as the method left it.
Val objectMethod(Run& r, const std::string& type, const std::string& method, Val* self, const std::vector<Val>& args,
                 size_t at) {
  Callee c;
  try {
    if (!r.resolve(std::string(kTypePackagePrefix) + type + "." + method, at, c)) throw OraError(904, method);
  } catch (OraError& e) {
    // the type's body, not the package the interpreter makes of it
    for (const char* from : {"package body \"", "package \""}) {
      size_t p = e.text.find(from);
      if (p != std::string::npos) e.text.replace(p, std::strlen(from), "type body \"");
    }
    for (size_t p; (p = e.text.find(kTypePackagePrefix)) != std::string::npos;)
      e.text.erase(p, std::strlen(kTypePackagePrefix));
    throw;
  }
  c.shown = method;
  size_t n = args.size() + (self ? 1 : 0);
  std::vector<std::string> names(n);
  const Sub* sub = r.choose(c, names, at);
  std::vector<Bound> bound(sub->params.size());
  for (size_t k = 0; k < n && k < bound.size(); ++k) {
    bound[k].given = true;
    bound[k].v = self ? (k == 0 ? *self : args[k - 1]) : args[k];
  }
  Val ret = r.invoke(*c.unit, *sub, c.base, bound);
  if (self && !bound.empty() && sub->params[0].out) *self = bound[0].v;
  return ret;
}

// The object's type and its SELF-less default: every attribute NULL.
std::string emptyObject(sqlite3* db, const std::string& type) {
  auto ty = objectType(db, type);
  ObjValue v;
  v.type = type;
  if (ty) v.attrs.resize(ty->attrs.size());
  return encodeObject(v);
}

// A constructor call: the type's own constructor of that many arguments, else the default one.
Val constructObject(Run& r, const std::string& type, const std::vector<Val>& args, size_t at, bool defaultOnly) {
  auto ty = objectType(r.ses.db, type);
  if (!ty) throw OraError(904, type);
  if (!ty->instantiable) {
    OraError e(22826);
    e.text = "ORA-22826: cannot construct an instance of a non instantiable type";
    throw e;
  }
  size_t own = 0;
  for (const auto& m : ty->methods)
    if (m.constructor) ++own;
  if (own > 0 && !defaultOnly) {
    Callee c;
    if (r.resolve(std::string(kTypePackagePrefix) + type + "." + type, at, c)) {
      bool fits = false;
      for (const Sub* s : c.subs) fits = fits || s->params.size() == args.size() + 1;
      if (fits) {
        Val self{Val::Str, emptyObject(r.ses.db, type), false};
        objectMethod(r, type, type, &self, args, at);
        return self;
      }
    }
  }
  if (args.size() != ty->attrs.size()) throw OraError(2315);
  ObjValue v;
  v.type = type;
  for (size_t k = 0; k < args.size(); ++k) {
    const Val& a = args[k];
    if (a.k == Val::Bool) throw OraError(932, "expected " + ty->attrs[k].typeText + " got BOOLEAN");
    char kind = a.k == Val::Null ? 0 : a.k == Val::Num ? 'N' : 'S';
    v.attrs.push_back(attrFromValue(r.ses.db, kind, a.s, ty->attrs[k]));
  }
  return Val{Val::Str, encodeObject(v), false};
}

} // namespace pl

namespace {

pl::Val sqlVal(sqlite3_value* v) {
  pl::Val x;
  switch (sqlite3_value_type(v)) {
  case SQLITE_NULL: return x;
  case SQLITE_INTEGER:
  case SQLITE_FLOAT:
    x.k = pl::Val::Num;
    x.s = numberText(v);
    return x;
  default:
    x.k = pl::Val::Str;
    x.s.assign(reinterpret_cast<const char*>(sqlite3_value_text(v)), static_cast<size_t>(sqlite3_value_bytes(v)));
    if (x.s.empty()) x.k = pl::Val::Null;
    return x;
  }
}

std::string textArg(sqlite3_value* v) {
  const unsigned char* p = sqlite3_value_text(v);
  return p ? std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(sqlite3_value_bytes(v))) : std::string();
}


struct SqlCall {
  Session& ses;
  pl::Run r;
  explicit SqlCall(Session& s) : ses(s), r(s, pl::objectCaller()) { ++pl::sqlCallDepth; }
  ~SqlCall() { --pl::sqlCallDepth; }
  SqlCall(const SqlCall&) = delete;
  SqlCall& operator=(const SqlCall&) = delete;
};

// ora_obj_new('TYPE', arguments...)
void objNew(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  fn::guardedCall(ctx, [&] {
    Session& ses = *static_cast<Session*>(sqlite3_user_data(ctx));
    SqlCall call(ses);
    std::vector<pl::Val> args;
    for (int a = 1; a < argc; ++a) args.push_back(sqlVal(argv[a]));
    pl::sqlResult(ctx, pl::constructObject(call.r, textArg(argv[0]), args, 0, false));
  });
}

// ora_obj_make('TYPE', attributes...): an object table's row as its object
void objMake(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  fn::guardedCall(ctx, [&] {
    Session& ses = *static_cast<Session*>(sqlite3_user_data(ctx));
    auto ty = objectType(ses.db, textArg(argv[0]));
    if (!ty || static_cast<size_t>(argc - 1) != ty->attrs.size()) throw OraError(2315);
    ObjValue v;
    v.type = ty->name;
    for (int a = 1; a < argc; ++a) v.attrs.push_back(attrFromSql(ses.db, argv[a], ty->attrs[static_cast<size_t>(a - 1)]));
    std::string out = encodeObject(v);
    sqlite3_result_text(ctx, out.c_str(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
  });
}

// Follows attribute names path[0..n) into an object's text; false when a step is NULL.
bool attrPath(sqlite3* db, std::string& obj, sqlite3_value** path, int n, ObjAttrVal& out) {
  ObjAttrVal cur{'O', obj};
  for (int k = 0; k < n; ++k) {
    if (cur.k == 0) return false;
    ObjValue v;
    if (cur.k != 'O' || !decodeObject(cur.s, v)) throw OraError(932, "expected an object");
    auto ty = objectType(db, v.type);
    std::string name = textArg(path[k]);
    int i = ty ? ty->attrIndex(name) : -1;
    if (i < 0 || static_cast<size_t>(i) >= v.attrs.size()) throw OraError(904, name);
    cur = v.attrs[static_cast<size_t>(i)];
  }
  out = cur;
  return true;
}


// ora_obj_attr(object, 'ATTR', ...)
void objAttr(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  fn::guardedCall(ctx, [&] {
    Session& ses = *static_cast<Session*>(sqlite3_user_data(ctx));
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
    std::string obj = textArg(argv[0]);
    // a REF's attributes are those of the object it points to
    if (isRefText(obj) && !derefObject(ses.db, std::string(obj), obj)) return sqlite3_result_null(ctx);
    ObjAttrVal a;
    if (!attrPath(ses.db, obj, argv + 1, argc - 1, a)) return sqlite3_result_null(ctx);
    attrResult(ctx, a);
  });
}

// Sets the attribute at the end of path[0..n) of `obj` to `value`; ORA-06530 at a NULL object.
std::string setPath(sqlite3* db, const std::string& obj, sqlite3_value* value, sqlite3_value** path, int n) {
  ObjValue v;
  if (!decodeObject(obj, v)) throw OraError(6530);
  auto ty = objectType(db, v.type);
  std::string name = textArg(path[0]);
  int i = ty ? ty->attrIndex(name) : -1;
  if (i < 0 || static_cast<size_t>(i) >= v.attrs.size()) throw OraError(904, name);
  ObjAttrVal& slot = v.attrs[static_cast<size_t>(i)];
  if (n == 1) slot = attrFromSql(db, value, ty->attrs[static_cast<size_t>(i)]);
  else if (slot.k == 0) throw OraError(6530);
  else slot.s = setPath(db, slot.s, value, path + 1, n - 1);
  return encodeObject(v);
}

// ora_obj_set(object, value, 'ATTR', ...): the object with that attribute changed
void objSet(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  fn::guardedCall(ctx, [&] {
    Session& ses = *static_cast<Session*>(sqlite3_user_data(ctx));
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) throw OraError(6530);
    std::string out = setPath(ses.db, textArg(argv[0]), argv[1], argv + 2, argc - 2);
    sqlite3_result_text(ctx, out.c_str(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
  });
}

// ora_obj_call(object, 'METHOD', arguments...): a member function of the object's own type
void objCall(sqlite3_context* ctx, int argc, sqlite3_value** argv, bool exact) {
  fn::guardedCall(ctx, [&] {
    Session& ses = *static_cast<Session*>(sqlite3_user_data(ctx));
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
    pl::Val self = sqlVal(argv[0]);
    if (isRefText(self.s) && !derefObject(ses.db, std::string(self.s), self.s)) return sqlite3_result_null(ctx);
    ObjValue v;
    if (!decodeObject(self.s, v)) throw OraError(932, "expected an object");
    SqlCall call(ses);
    std::vector<pl::Val> args;
    for (int a = 2; a < argc; ++a) args.push_back(sqlVal(argv[a]));
    pl::sqlResult(ctx, pl::objectMethod(call.r, v.type, textArg(argv[1]), &self, args, 0), exact);
  });
}

// ora_obj_static('TYPE', 'METHOD', arguments...)
void objStatic(sqlite3_context* ctx, int argc, sqlite3_value** argv, bool exact) {
  fn::guardedCall(ctx, [&] {
    Session& ses = *static_cast<Session*>(sqlite3_user_data(ctx));
    SqlCall call(ses);
    std::vector<pl::Val> args;
    for (int a = 2; a < argc; ++a) args.push_back(sqlVal(argv[a]));
    pl::sqlResult(ctx, pl::objectMethod(call.r, textArg(argv[0]), textArg(argv[1]), nullptr, args, 0), exact);
  });
}

// ora_obj_check(value, 'TYPE'): a value written to a column or attribute of that type
void objCheck(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  fn::guardedCall(ctx, [&] {
    Session& ses = *static_cast<Session*>(sqlite3_user_data(ctx));
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
    std::string type = textArg(argv[1]);
    std::string given = textArg(argv[0]);
    if (type.rfind("REF ", 0) == 0) {
      // a REF column holds REFs to objects of its type
      std::string obj;
      ObjValue o;
      if (!isRefText(given))
        throw OraError(932, "expected REF " + ses.user + "." + type.substr(4) + " got " +
                                (isObjectText(given) ? ses.user + "." + given.substr(1, given.find('(') - 1)
                                                     : std::string(sqlite3_value_type(argv[0]) == SQLITE_TEXT ? "CHAR" : "NUMBER")));
      if (derefObject(ses.db, given, obj) && decodeObject(obj, o) && !objectIsA(ses.db, o.type, type.substr(4)))
        throw OraError(932, "expected REF " + ses.user + "." + type.substr(4) + " got REF " + ses.user + "." + o.type);
      return sqlite3_result_value(ctx, argv[0]);
    }
    ObjValue o;
    // NOT SUBSTITUTABLE: the column's own type and none of its subtypes
    if (argc > 2 && sqlite3_value_int(argv[2]) && decodeObject(given, o) && o.type != type)
      throw OraError(932, "expected " + ses.user + "." + type + " got " + ses.user + "." + o.type);
    ObjAttr a;
    a.type.object = type;
    a.typeText = a.type.object;
    ObjAttrVal v;
    try {
      v = attrFromSql(ses.db, argv[0], a);
    } catch (const OraError& e) {
      // Oracle names the column's type with its schema
      if (e.code != 932) throw;
      std::string got = e.detail.substr(e.detail.rfind(' ') + 1);
      if (got != "CHAR" && got != "NUMBER") got = ses.user + "." + got;
      throw OraError(932, "expected " + ses.user + "." + a.type.object.str() + " got " + got);
    }
    sqlite3_result_text(ctx, v.s.c_str(), static_cast<int>(v.s.size()), SQLITE_TRANSIENT);
  });
}

// ora_obj_is_of(object, 'TYPE', ...): IS OF (TYPE, ...)
void objIsOf(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  fn::guardedCall(ctx, [&] {
    Session& ses = *static_cast<Session*>(sqlite3_user_data(ctx));
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
    ObjValue v;
    if (!decodeObject(textArg(argv[0]), v)) throw OraError(932, "expected an object");
    for (int a = 1; a < argc; ++a) {
      std::string t = textArg(argv[a]);
      // "=TYPE": IS OF (ONLY TYPE), that type and none of its subtypes
      if (!t.empty() && t[0] == '=' ? v.type == t.substr(1) : objectIsA(ses.db, v.type, t))
        return sqlite3_result_int(ctx, 1);
    }
    sqlite3_result_int(ctx, 0);
  });
}

int compareVals(const pl::Val& a, const pl::Val& b) {
  if (a.k == pl::Val::Null || b.k == pl::Val::Null) return a.k == b.k ? 0 : a.k == pl::Val::Null ? 1 : -1;
  if (a.k == pl::Val::Num && b.k == pl::Val::Num) {
    Num x, y;
    if (parseNum(a.s, x) && parseNum(b.s, y)) return compare(x, y);
  }
  int c = a.s.compare(b.s);
  return c < 0 ? -1 : c > 0;
}

// Objects compare by their type's MAP method's values, or by its ORDER method; others by their text.
int objectCollate(void* arg, int n1, const void* p1, int n2, const void* p2) {
  auto bytes = [&] {
    int c = std::memcmp(p1, p2, static_cast<size_t>(std::min(n1, n2)));
    return c != 0 ? c : n1 - n2;
  };
  if (!arg) return bytes();
  try {
    Session& ses = *static_cast<Session*>(arg);
    std::string a(static_cast<const char*>(p1), static_cast<size_t>(n1));
    std::string b(static_cast<const char*>(p2), static_cast<size_t>(n2));
    ObjValue va, vb;
    if (!decodeObject(a, va) || !decodeObject(b, vb)) return bytes();
    auto ta = objectType(ses.db, va.type);
    if (!ta) return bytes();
    SqlCall call(ses);
    pl::Val sa{pl::Val::Str, a, false}, sb{pl::Val::Str, b, false};
    if (!ta->mapMethod.empty()) {
      pl::Val ma = pl::objectMethod(call.r, va.type, ta->mapMethod, &sa, {}, 0);
      pl::Val mb = pl::objectMethod(call.r, vb.type, ta->mapMethod, &sb, {}, 0);
      return compareVals(ma, mb);
    }
    if (!ta->orderMethod.empty()) {
      pl::Val o = pl::objectMethod(call.r, va.type, ta->orderMethod, &sa, {sb}, 0);
      if (o.k != pl::Val::Num) return 0;
      return o.s[0] == '-' ? -1 : o.s == "0" ? 0 : 1;
    }
  } catch (...) {
    // a failing method leaves the order to the texts: a collation cannot fail
  }
  return bytes();
}

} // namespace

void registerObjectFunctions(sqlite3* db, Session* ses) {
  sqlite3_create_collation(db, "ORA_OBJECT", SQLITE_UTF8, ses, objectCollate);
  // an object table's insertion trigger calls it on any connection
  registerObjectIdFunction(db);
  if (!ses) return;
  sqlite3_create_function(db, "ora_obj_new", -1, SQLITE_UTF8, ses, objNew, nullptr, nullptr);
  sqlite3_create_function(db, "ora_obj_make", -1, SQLITE_UTF8, ses, objMake, nullptr, nullptr);
  sqlite3_create_function(db, "ora_obj_attr", -1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, ses, objAttr, nullptr, nullptr);
  sqlite3_create_function(db, "ora_obj_set", -1, SQLITE_UTF8, ses, objSet, nullptr, nullptr);
  // each with its exact twin, as ora_plsql has
  using Fn = void (*)(sqlite3_context*, int, sqlite3_value**);
  Fn call = [](sqlite3_context* c, int n, sqlite3_value** v) { objCall(c, n, v, false); };
  Fn callExact = [](sqlite3_context* c, int n, sqlite3_value** v) { objCall(c, n, v, true); };
  Fn stat = [](sqlite3_context* c, int n, sqlite3_value** v) { objStatic(c, n, v, false); };
  Fn statExact = [](sqlite3_context* c, int n, sqlite3_value** v) { objStatic(c, n, v, true); };
  sqlite3_create_function(db, "ora_obj_call", -1, SQLITE_UTF8, ses, call, nullptr, nullptr);
  sqlite3_create_function(db, "ora_obj_call_x", -1, SQLITE_UTF8, ses, callExact, nullptr, nullptr);
  sqlite3_create_function(db, "ora_obj_static", -1, SQLITE_UTF8, ses, stat, nullptr, nullptr);
  sqlite3_create_function(db, "ora_obj_static_x", -1, SQLITE_UTF8, ses, statExact, nullptr, nullptr);
  sqlite3_create_function(db, "ora_obj_check", 2, SQLITE_UTF8, ses, objCheck, nullptr, nullptr);
  sqlite3_create_function(db, "ora_obj_check", 3, SQLITE_UTF8, ses, objCheck, nullptr, nullptr);
  registerObjectRowFunctions(db, ses);
  sqlite3_create_function(db, "ora_obj_is_of", -1, SQLITE_UTF8, ses, objIsOf, nullptr, nullptr);
}

void attrResult(sqlite3_context* ctx, const ObjAttrVal& a) {
  switch (a.k) {
  case 0: sqlite3_result_null(ctx); return;
  case 'N': pl::sqlResult(ctx, pl::Val{pl::Val::Num, a.s, false}); return;
  default: sqlite3_result_text(ctx, a.s.c_str(), static_cast<int>(a.s.size()), SQLITE_TRANSIENT);
  }
}

} // namespace ora
