// PL/SQL called from SQL: stored functions in statements, a query's WITH clause functions, and
// the function type a statement's translation asks for.
#include "Booleans.h"
#include "Number.h"
#include "ObjectTypes.h"
#include "OraValues.h"
#include "Plsql.h"
#include "PlsqlRun.h"
#include "Session.h"
#include "SqlText.h"
#include "SqlTranslate.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <sqlite3.h>

namespace ora {

namespace {

const pl::Unit& callerUnit() {
  static const std::shared_ptr<pl::Unit> u = pl::parseBlock("BEGIN NULL; END;");
  return *u;
}

pl::Val sqlValue(sqlite3_value* v) {
  pl::Val x;
  switch (sqlite3_value_type(v)) {
  case SQLITE_NULL: return x;
  case SQLITE_INTEGER:
  case SQLITE_FLOAT:
    x.k = pl::Val::Num;
    x.s = numberText(v);
    return x;
  case SQLITE_BLOB:
    x.k = pl::Val::Str;
    x.s = hexText(static_cast<const unsigned char*>(sqlite3_value_blob(v)), sqlite3_value_bytes(v));
    return x;
  default:
    x.k = pl::Val::Str;
    x.s.assign(reinterpret_cast<const char*>(sqlite3_value_text(v)), static_cast<size_t>(sqlite3_value_bytes(v)));
    if (x.s.empty()) x.k = pl::Val::Null;
    return x;
  }
}

// ora_plsql('NAME' or 'PKG.NAME', arguments...): a stored function called by a SQL statement.
void callFromSql(sqlite3_context* ctx, int argc, sqlite3_value** argv, bool exact) {
  Session& ses = *static_cast<Session*>(sqlite3_user_data(ctx));
  try {
    std::string name = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    // "F=>,P_POST": the arguments given by name, after the function's
    std::vector<std::string> names(static_cast<size_t>(argc - 1));
    if (size_t arrow = name.find("=>"); arrow != std::string::npos) {
      size_t a = 0;
      for (size_t from = arrow + 2; a < names.size(); ++a) {
        size_t comma = name.find(',', from);
        names[a] = name.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
        if (comma == std::string::npos) break;
        from = comma + 1;
      }
      name.erase(arrow);
    }
    pl::Run r(ses, callerUnit());
    pl::Callee c;
    if (!r.resolve(name, 0, c)) throw OraError(904, name);
    const pl::Sub* sub = nullptr;
    std::vector<int> kinds;
    for (int a = 1; a < argc; ++a) {
      int ty = sqlite3_value_type(argv[a]);
      pl::TypeSpec asDate;
      asDate.kind = pl::TypeSpec::Date;
      bool date = ty == SQLITE_TEXT && pl::asValue(sqlValue(argv[a]), asDate).k == pl::Val::Date;
      bool cursor = ty == SQLITE_TEXT && pl::isCursorHandle(reinterpret_cast<const char*>(sqlite3_value_text(argv[a])));
      kinds.push_back(ty == SQLITE_INTEGER || ty == SQLITE_FLOAT ? pl::TypeSpec::Number
                      : cursor                                ? pl::TypeSpec::Cursor
                      : date                                  ? pl::TypeSpec::Date
                      : ty == SQLITE_TEXT                     ? pl::TypeSpec::Text
                                                              : pl::TypeSpec::Unknown);
    }
    try {
      sub = r.choose(c, names, 0, kinds);
    } catch (const OraError&) {
      // a call SQL cannot make is reported as SQL reports PL/SQL's errors
      OraError e(6553);
      e.text = "ORA-06553: PLS-306: wrong number or types of arguments in call to '" + c.shown + "'";
      throw e;
    }
    if (!sub->function) throw OraError(904, name);
    std::vector<pl::Bound> args(sub->params.size());
    // the parameter each argument is given for: by position, or by name
    std::vector<int> given(sub->params.size(), 0);
    for (size_t a = 0; a < names.size(); ++a) {
      size_t k = a;
      if (!names[a].empty())
        for (k = 0; k < sub->params.size() && sub->params[k].name != names[a];) ++k;
      if (k >= sub->params.size() || given[k]) {
        OraError e(6553);
        e.text = "ORA-06553: PLS-306: wrong number or types of arguments in call to '" + c.shown + "'";
        throw e;
      }
      given[k] = static_cast<int>(a) + 1;
    }
    for (size_t k = 0; k < sub->params.size(); ++k) {
      if (sub->params[k].out) {
        OraError e(6572);
        e.text = "ORA-06572: Function " + c.shown + " has out arguments";
        throw e;
      }
      if (given[k]) {
        args[k].given = true;
        args[k].v = sqlValue(argv[given[k]]);
        if (args[k].v.k == pl::Val::Str && pl::isCursorHandle(args[k].v.s)) {
          // a CURSOR expression: the parameter takes its work area
          auto cur = pl::handleCursor(ses, args[k].v.s);
          if (!cur) throw OraError(1001);
          args[k].v = pl::Val{};
          args[k].v.cur = std::move(cur);
          args[k].cursor = sub->params[k].type.kind == pl::TypeSpec::Named;
        } else if (sub->params[k].type.kind == pl::TypeSpec::Cursor && args[k].v.k != pl::Val::Null) {
          OraError e(6553);
          e.text = "ORA-06553: PLS-306: wrong number or types of arguments in call to '" + c.shown + "'";
          throw e;
        }
      }
    }
    ++pl::sqlCallDepth;
    struct Down {
      ~Down() { --pl::sqlCallDepth; }
    } down;
    r.lastWhole.reset();
    pl::Val v = r.invoke(*c.unit, *sub, c.base, args);
    if (r.lastWhole && r.lastWhole->isColl()) {
      pl::collectionResult(ctx, *r.lastWhole);
    } else if (sub->ret.kind == pl::TypeSpec::Cursor || v.cur) {
      // the cursor variable it returns, as a nested cursor of the statement
      if (!v.cur) return sqlite3_result_null(ctx);
      std::string h = pl::cursorHandle(ses, v.cur);
      sqlite3_result_text(ctx, h.c_str(), static_cast<int>(h.size()), SQLITE_TRANSIENT);
    } else {
      pl::sqlResult(ctx, v, exact);
    }
  } catch (OraError& e) {
    // a query takes NO_DATA_FOUND from a function as the end of its data: the value is NULL
    if (e.code == 1403) {
      sqlite3_result_null(ctx);
      return;
    }
    if (e.detail.rfind("invalid:", 0) == 0)
      e.text = "ORA-06575: Package or function " + e.detail.substr(8) + " is in an invalid state";
    sqlite3_result_error(ctx, e.text.c_str(), -1);
  } catch (const std::bad_alloc&) {
    sqlite3_result_error_nomem(ctx);
  } catch (...) {
    sqlite3_result_error(ctx, "ORA-00600: internal error in a PL/SQL function", -1);
  }
}

} // namespace

// A PL/SQL value as a SQL function's result.
void pl::sqlResult(sqlite3_context* ctx, const pl::Val& v, bool exact) {
  switch (v.k) {
  case pl::Val::Null: sqlite3_result_null(ctx); return;
  case pl::Val::Bool: sqlite3_result_int(ctx, v.b ? 1 : 0); return;
  case pl::Val::Num: {
    int64_t i = 0;
    auto [end, ec] = std::from_chars(v.s.data(), v.s.data() + v.s.size(), i);
    if (ec == std::errc() && end == v.s.data() + v.s.size()) {
      sqlite3_result_int64(ctx, i);
      return;
    }
    // as the engine's arithmetic gives it: a double that carries the value's digits, or where
    // they are read exactly, the decimal text beyond a double's digits
    Num n;
    if (!parseNum(v.s, n)) {
      sqlite3_result_text(ctx, v.s.c_str(), static_cast<int>(v.s.size()), SQLITE_TRANSIENT);
    } else if (exact) {
      resultNumExact(ctx, n);
    } else {
      resultNum(ctx, n);
    }
    return;
  }
  default: sqlite3_result_text(ctx, v.s.c_str(), static_cast<int>(v.s.size()), SQLITE_TRANSIENT);
  }
}

void forgetPlsqlState(Session& ses, const std::string& name) {
  if (!ses.plsqlPackages) return;
  auto& u = *std::static_pointer_cast<pl::SessionUnits>(ses.plsqlPackages);
  u.packages.erase(name);
  u.stored.erase(name);
}

void registerPlsqlFunctions(sqlite3* db, Session* ses) {
  sqlite3_create_function(db, "ora_plsql", -1, SQLITE_UTF8, ses,
                          [](sqlite3_context* c, int n, sqlite3_value** v) { callFromSql(c, n, v, false); }, nullptr,
                          nullptr);
  // its exact twin, where the value is shown or kept with all its digits
  // a DETERMINISTIC function in an index's expression
  sqlite3_create_function(db, "ora_plsql_det", -1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, ses,
                          [](sqlite3_context* c, int n, sqlite3_value** v) { callFromSql(c, n, v, false); }, nullptr,
                          nullptr);
  sqlite3_create_function(db, "ora_plsql_x", -1, SQLITE_UTF8, ses,
                          [](sqlite3_context* c, int n, sqlite3_value** v) { callFromSql(c, n, v, true); }, nullptr,
                          nullptr);
  pl::registerNestedCursors(db, ses);
  registerObjectFunctions(db, ses);
  registerTriggerFunctions(db, ses);
}

std::string statementUnit(Session& ses, const std::string& decls, std::vector<std::string>& functions) {
  auto u = pl::parseStatementUnit(decls); // its errors are the statement's
  for (const pl::Decl& d : u->block->decls)
    if (d.kind == pl::Decl::Subprogram && d.sub->function) functions.push_back(d.name);
  uint64_t h = 1469598103934665603ull;
  for (unsigned char ch : decls) h = (h ^ ch) * 1099511628211ull;
  char name[40];
  std::snprintf(name, sizeof name, "%s%016llX", pl::kStatementPrefix, static_cast<unsigned long long>(h));
  auto& all = pl::units(ses).statement;
  if (all.size() >= 64 && !all.count(name)) {
    // the oldest statements' units go; one is made again when its statement is
    for (auto& [n, src] : all) pl::units(ses).packages.erase(n);
    all.clear();
  }
  all[name] = decls;
  return name;
}

namespace {
// The stored function (or the package's) of that name, parsed; null when there is none, or when
// its source does not parse (`parsed` false).
const pl::Sub* storedFunction(Catalog& cat, const std::string& pkg, const std::string& name,
                              std::shared_ptr<pl::Unit>& u, bool& parsed) {
  std::string src = cat.unitSource(pkg.empty() ? name : pkg, pkg.empty() ? "FUNCTION" : "PACKAGE");
  if (src.empty()) return nullptr;
  const pl::Sub* sub = nullptr;
  try {
    if (pkg.empty()) {
      u = pl::parseProcedure(src);
      sub = u->sub.get();
    } else {
      u = pl::parsePackage(src, {});
      for (const pl::Decl& d : u->publicDecls)
        if (d.kind == pl::Decl::Subprogram && d.name == name && d.sub->function) sub = d.sub.get();
    }
  } catch (const OraError&) {
    parsed = false;
    return nullptr;
  }
  return sub && sub->function ? sub : nullptr;
}
} // namespace

int calledFunctionType(Catalog& cat, const std::string& name) {
  if (int type = storedFunctionType(cat, {}, name)) return type;
  std::string target = cat.synonymTarget(name);
  return target.empty() || target == name ? 0 : storedFunctionType(cat, {}, target);
}

bool storedFunctionDeterministic(Catalog& cat, const std::string& pkg, const std::string& name) {
  bool parsed = true;
  std::shared_ptr<pl::Unit> u;
  const pl::Sub* sub = storedFunction(cat, pkg, name, u, parsed);
  return sub && sub->deterministic;
}

int storedFunctionType(Catalog& cat, const std::string& pkg, const std::string& name) {
  if (pkg.rfind(pl::kStatementPrefix, 0) == 0 && cat.session() && cat.session()->plsqlPackages) {
    auto& all = pl::units(*cat.session()).statement;
    auto it = all.find(pkg);
    if (it == all.end()) return 0;
    try {
      auto u = pl::parseStatementUnit(it->second);
      for (const pl::Decl& d : u->block->decls)
        if (d.kind == pl::Decl::Subprogram && d.sub->function && d.name == name)
          return d.sub->ret.kind == pl::TypeSpec::Number ? kNumber
                 : d.sub->ret.kind == pl::TypeSpec::Bool ? kBoolean
                 : d.sub->ret.kind == pl::TypeSpec::Date ? (d.sub->ret.dt ? d.sub->ret.dt : kDate)
                                                          : kVarchar2;
    } catch (const OraError&) {
    }
    return 0;
  }
  bool parsed = true;
  std::shared_ptr<pl::Unit> u;
  const pl::Sub* sub = storedFunction(cat, pkg, name, u, parsed);
  if (!parsed) return kVarchar2; // it fails when called
  if (!sub) return 0;
  switch (sub->ret.kind) {
  case pl::TypeSpec::Number: return kNumber;
  case pl::TypeSpec::Date: return sub->ret.dt ? sub->ret.dt : kDate;
  case pl::TypeSpec::Cursor: return kCursorType;
  case pl::TypeSpec::Bool: return kBoolean;
  default: return kVarchar2;
  }
}

} // namespace ora
