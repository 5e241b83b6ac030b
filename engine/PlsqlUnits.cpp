// Procedures and functions: stored ones, those declared in a block and those of packages, called
// from PL/SQL and, for functions, from SQL statements.
#include "ObjectTypes.h"
#include "OraValues.h"
#include "Plsql.h"
#include "PlsqlCompile.h"
#include "PlsqlRun.h"
#include "Session.h"
#include "SqlText.h"
#include "SqlTranslate.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <sqlite3.h>

namespace ora::pl {

thread_local int sqlCallDepth = 0;

// A package's state in the session: its variables and cursors live as long as the session, or
// until the package is made again.
struct Package {
  std::string name, decls, body; // the sources it was built from
  std::shared_ptr<Unit> unit;
  Scope publicScope, bodyScope;
  bool hasBody = false, bodyValid = true;

  // A public item by its qualified name; the package's own code also reaches its private ones so.
  template <class Member> static auto* item(Member Scope::*list, Package& p, const std::string& name, bool inside) {
    auto it = (p.publicScope.*list).find(name);
    if (it != (p.publicScope.*list).end()) return &it->second;
    if (inside)
      if (auto own = (p.bodyScope.*list).find(name); own != (p.bodyScope.*list).end()) return &own->second;
    return static_cast<decltype(&it->second)>(nullptr);
  }
};

std::shared_ptr<Unit> parseStatementUnit(const std::string& decls) {
  return parseBlock("DECLARE\n" + decls + "\nBEGIN\n  NULL;\nEND;");
}

void endServerCall(Session& ses) {
  if (!ses.plsqlPackages) return;
  // a SERIALLY_REUSABLE package's state lasts one call from the client: built anew the next time
  auto& pk = units(ses).packages;
  auto reusable = [](const std::string& src) {
    for (const Tok& k : tokens(src))
      if (k.kind == T::Word && k.text == "SERIALLY_REUSABLE") return true;
    return false;
  };
  for (auto it = pk.begin(); it != pk.end();) {
    bool drop = false;
    try {
      drop = it->second && (reusable(it->second->decls) || reusable(it->second->body));
    } catch (...) {
    }
    it = drop ? pk.erase(it) : std::next(it);
  }
}

SessionUnits& units(Session& ses) {
  if (!ses.plsqlPackages) ses.plsqlPackages = std::make_shared<SessionUnits>();
  return *std::static_pointer_cast<SessionUnits>(ses.plsqlPackages);
}

namespace {

// A name, then fields (.name) and elements (...): what an OUT argument may be.
bool assignable(const std::vector<Tok>& t, Range r) {
  if (r.empty() || (t[r.b].kind != T::Word && t[r.b].kind != T::QWord)) return false;
  for (size_t k = r.b + 1; k < r.e;) {
    if (isOp(t, k, ".") && k + 1 < r.e && isName(t, k + 1)) k += 2;
    else if (isOp(t, k, "(") && closing(t, k) < r.e) k = closing(t, k) + 1;
    else return false;
  }
  return true;
}

// One text of the schema's tables by a name: "" when there is none.
std::string textBy(Session& ses, const char* sql, const std::string& name, const char* type) {
  sqlite3_stmt* st = ses.cachedStatement(sql);
  if (!st) return {};
  sqlite3_bind_text(st, 1, name.c_str(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
  if (type) sqlite3_bind_text(st, 2, type, -1, SQLITE_STATIC);
  std::string out;
  if (sqlite3_step(st) == SQLITE_ROW && sqlite3_column_text(st, 0)) out = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
  sqlite3_reset(st);
  sqlite3_clear_bindings(st);
  return out;
}

// The source of a unit of the schema; empty when there is none.
std::string unitSource(Session& ses, const std::string& name, const char* type) {
  static const char* const kSource = "SELECT TEXT FROM \"TESSEL$SOURCE\" WHERE NAME = ?1 AND TYPE = ?2";
  std::string src = textBy(ses, kSource, name, type);
  if (src.empty() && !std::strcmp(type, "TYPE")) src = builtinTypeSource(name);
  // a standalone procedure or function may be called by a synonym's name (one step: a chain of
  // synonyms leads nowhere)
  if (src.empty() && (!std::strcmp(type, "FUNCTION") || !std::strcmp(type, "PROCEDURE"))) {
    std::string target = textBy(ses, "SELECT TABLE_NAME FROM \"TESSEL$SYNONYMS\" WHERE NAME = ?1", name, nullptr);
    if (!target.empty()) src = textBy(ses, kSource, target, type);
  }
  return src;
}

OraError pls(const Run& r, size_t tok, const std::string& msg) {
  OraError e(6550);
  e.text = "ORA-06550: " + where(r.u.src, r.u.toks[std::min(tok, r.u.toks.size() - 1)].pos) + ":\n" + msg;
  return e;
}

OraError invalid(const Run& r, size_t at, Session& ses, const std::string& name) {
  OraError e = pls(r, at, "PLS-00905: object " + ses.user + "." + name + " is invalid");
  e.text += "\n" + pls(r, at, "PL/SQL: Statement ignored").text;
  e.detail = "invalid:" + name; // from SQL: ORA-06575
  return e;
}

// A stored procedure or function; null when there is none. One stored with errors is PLS-00905.
std::shared_ptr<Unit> storedUnit(Run& r, const std::string& name, size_t at) {
  std::string src = unitSource(r.ses, name, "FUNCTION");
  if (src.empty()) src = unitSource(r.ses, name, "PROCEDURE");
  if (src.empty()) return nullptr;
  // a table or column its SQL names has gone: it no longer compiles
  if (!unitCompiles(r.ses, name, src)) throw invalid(r, at, r.ses, name);
  auto& cache = units(r.ses).stored;
  auto it = cache.find(name);
  if (it != cache.end() && it->second.first == src) return it->second.second;
  std::shared_ptr<Unit> u;
  try {
    u = parseProcedure(src);
  } catch (const OraError&) {
    throw invalid(r, at, r.ses, name);
  }
  for (const std::string& t : u->schemaTypes)
    if (unitSource(r.ses, t, "TYPE").empty()) throw invalid(r, at, r.ses, name);
  cache[name] = {src, u};
  return u;
}

void runHandled(Run& r, const Block& b) {
  try {
    r.stmts(b.body);
  } catch (OraError& e) {
    for (const Handler& h : b.handlers)
      if (r.handles(h, e)) {
        r.handling.push_back(withoutFrames(e));
        r.raisedAt.push_back(r.lastAt);
        r.raisedIn.push_back(framesOf(e));
        struct Done {
          Run& r;
          ~Done() {
            r.handling.pop_back();
            r.raisedAt.pop_back();
            r.raisedIn.pop_back();
          }
        } done{r};
        r.stmts(h.body);
        return;
      }
    throw;
  }
}

// The package's state, made and initialised on first use; null when there is no such package.
std::shared_ptr<Package> loadPackage(Run& caller, const std::string& name, size_t at) {
  Session& ses = caller.ses;
  // the functions a query declares: a block's subprograms, all of them callable
  bool statement = name.rfind(kStatementPrefix, 0) == 0 && units(ses).statement.count(name);
  std::string decls = statement ? units(ses).statement[name] : unitSource(ses, name, "PACKAGE");
  std::string body;
  // an object type's methods
  bool methods = decls.empty() && name.rfind(kTypePackagePrefix, 0) == 0 &&
                 objectTypePackage(ses.db, name.substr(std::strlen(kTypePackagePrefix)), decls, body);
  bool supplied = decls.empty() && name == "DBMS_SQL"; // its subprograms are the engine's
  if (supplied) decls = kDbmsSqlSpec;
  if (decls.empty()) return nullptr;
  if (!statement && !methods && !supplied) body = unitSource(ses, name, "PACKAGE BODY");
  auto& all = units(ses).packages;
  auto it = all.find(name);
  if (it != all.end() && it->second->decls == decls && it->second->body == body) return it->second;
  auto p = std::make_shared<Package>();
  p->name = name;
  p->decls = decls;
  p->body = body;
  try {
    if (statement) {
      p->unit = parseStatementUnit(decls);
      p->unit->body = p->unit->block;
      p->hasBody = true;
    } else {
      p->unit = parsePackage(decls, body);
      p->hasBody = !body.empty();
    }
  } catch (const OraError&) {
    if (statement) throw;
    try {
      p->unit = parsePackage(decls, {});
    } catch (const OraError&) {
      throw invalid(caller, at, ses, name);
    }
    p->hasBody = true;
    p->bodyValid = false;
  }
  all[name] = p;
  try {
    Run r(ses, *p->unit);
    r.transactionEnded = caller.transactionEnded;
    r.steps = caller.steps;
    r.started = caller.started;
    r.scopes.push_back(&p->publicScope);
    for (const Decl& d : p->unit->publicDecls) r.declare(p->publicScope, d);
    if (p->unit->body) {
      r.scopes.push_back(&p->bodyScope);
      for (const Decl& d : p->unit->body->decls) r.declare(p->bodyScope, d);
      // a cursor the package declares and its body defines: one cursor, the body's query
      for (auto it = p->bodyScope.cursors.begin(); it != p->bodyScope.cursors.end();) {
        auto pub = p->publicScope.cursors.find(it->first);
        if (pub == p->publicScope.cursors.end() || !pub->second.decl || !pub->second.decl->init.empty()) {
          ++it;
          continue;
        }
        pub->second = it->second;
        it = p->bodyScope.cursors.erase(it);
      }
      // the public subprograms are the body's of the same heading
      for (auto& [n, list] : p->publicScope.subs) {
        auto own = p->bodyScope.subs.find(n);
        for (const Sub*& s : list)
          if (own != p->bodyScope.subs.end())
            for (const Sub* b : own->second)
              if (b->block && b->sameHeading(*s)) s = b;
      }
      runHandled(r, *p->unit->body);
      if (statement) p->publicScope.subs = p->bodyScope.subs;
    }
    caller.steps = r.steps;
  } catch (...) {
    all.erase(name);
    throw;
  }
  return p;
}

// The same for the whole run: no DDL runs inside PL/SQL.
std::shared_ptr<Package> package(Run& caller, const std::string& name, size_t at) {
  auto it = caller.packagesSeen.find(name);
  if (it != caller.packagesSeen.end()) return it->second;
  auto p = loadPackage(caller, name, at);
  caller.packagesSeen[name] = p;
  return p;
}

// The arguments of a call whose "(" is token `open`; the token after its ")".
size_t callArguments(const Run& r, size_t open, std::vector<Range>& args, std::vector<std::string>& names) {
  const auto& t = r.u.toks;
  size_t k = open + 1;
  if (isOp(t, k, ")")) return k + 1;
  for (;;) {
    std::string argName;
    if (t[k].kind == T::Word && isOp(t, k + 1, "=>")) {
      argName = t[k].text;
      k += 2;
    }
    Range a{k, k};
    int depth = 0;
    for (; k < t.size() && t[k].kind != T::End; ++k) {
      if (isOp(t, k, "(")) ++depth;
      else if (isOp(t, k, ")")) {
        if (depth == 0) break;
        --depth;
      } else if (depth == 0 && isOp(t, k, ",")) break;
    }
    a.e = k;
    if (a.empty() || k >= t.size() || t[k].kind == T::End) throw pls(r, k, "PLS-00103: Encountered the symbol \")\"");
    args.push_back(a);
    names.push_back(argName);
    if (isOp(t, k, ",")) { ++k; continue; }
    return k + 1;
  }
}

} // namespace

// A DATE column's value as SQL hands it over, for a DATE parameter.
Val asValue(const Val& v, const TypeSpec& type) {
  if (type.kind == TypeSpec::Date && v.k == Val::Str && v.s.size() == 19 && v.s[4] == '-' && v.s[10] == ' ')
    return Val{Val::Date, v.s, false};
  return v;
}

bool Run::resolve(const std::string& dotted, size_t at, Callee& out) {
  std::vector<std::string> parts;
  for (size_t b = 0;;) {
    size_t d = dotted.find('.', b);
    parts.push_back(dotted.substr(b, d == std::string::npos ? std::string::npos : d - b));
    if (d == std::string::npos) break;
    b = d + 1;
  }
  if (parts.size() > 1 && parts[0] == ses.user && !find(parts[0])) parts.erase(parts.begin());
  out.shown = parts.back();
  if (parts.size() == 1) {
    // declared in an enclosing block first
    for (size_t k = scopes.size(); k-- > 0;) {
      auto it = scopes[k]->subs.find(parts[0]);
      if (it == scopes[k]->subs.end()) continue;
      out.unit = &u;
      out.subs = it->second;
      out.base.assign(scopes.begin(), scopes.begin() + static_cast<std::ptrdiff_t>(k) + 1);
      return true;
    }
    auto unit = storedUnit(*this, parts[0], at);
    if (!unit) return false;
    out.keep = unit;
    out.unit = unit.get();
    out.subs = {unit->sub.get()};
    return true;
  }
  if (parts.size() != 2) return false;
  auto pkg = package(*this, parts[0], at);
  if (!pkg) return false;
  auto* subs = Package::item(&Scope::subs, *pkg, parts[1], pkg->unit.get() == &u);
  if (!subs)
    throw pls(*this, at, "PLS-00302: component '" + parts[1] + "' must be declared");
  if (!pkg->hasBody) {
    OraError e(4067);
    e.text = "ORA-04067: not executed, package body \"" + ses.user + "." + parts[0] + "\" does not exist" +
             "\nORA-06508: PL/SQL: could not find program unit being called: \"" + ses.user + "." + parts[0] + "\"";
    throw e;
  }
  if (!pkg->bodyValid || (!pkg->body.empty() && !unitCompiles(ses, "PACKAGE BODY/" + parts[0], pkg->body))) {
    OraError e(4063);
    e.text = "ORA-04063: package body \"" + ses.user + "." + parts[0] + "\" has errors" +
             "\nORA-06508: PL/SQL: could not find program unit being called: \"" + ses.user + "." + parts[0] + "\"";
    throw e;
  }
  out.pkg = pkg;
  out.unit = pkg->unit.get();
  out.subs = *subs;
  out.base = {&pkg->publicScope, &pkg->bodyScope};
  return true;
}

// The overload the arguments fit: by their number and names.
// What an argument surely is, to tell overloads apart: a literal, a variable or a concatenation.
int Run::argumentKind(Range r) {
  const auto& t = u.toks;
  if (r.e == r.b + 1) {
    if (t[r.b].kind == T::Str) return TypeSpec::Text;
    if (t[r.b].kind == T::Num) {
      // 1f and 1d: BINARY_FLOAT and BINARY_DOUBLE, told apart in the bits above the kind
      char last = static_cast<char>(std::toupper(static_cast<unsigned char>(t[r.b].text.back())));
      return TypeSpec::Number | (last == 'F' ? 1 << 8 : last == 'D' ? 2 << 8 : 0);
    }
    if (t[r.b].kind == T::Word && (t[r.b].text == "TRUE" || t[r.b].text == "FALSE")) return TypeSpec::Bool;
    if (Var* v = find(t[r.b].text); v && !v->record) {
      if (v->type.kind == TypeSpec::Number && v->type.binary)
        return TypeSpec::Number | (v->type.binary == kBinaryFloat ? 1 << 8 : 2 << 8);
      if (v->type.kind != TypeSpec::Unknown) return v->type.kind;
      return v->v.k == Val::Num ? TypeSpec::Number : v->v.k == Val::Str ? TypeSpec::Text
                                                   : v->v.k == Val::Date ? TypeSpec::Date : TypeSpec::Unknown;
    }
  }
  // a datetime literal, or a call whose result's type its name tells
  if (r.e == r.b + 2 && t[r.b].kind == T::Word && (t[r.b].text == "DATE" || t[r.b].text == "TIMESTAMP") &&
      t[r.b + 1].kind == T::Str)
    return TypeSpec::Date;
  if (t[r.b].kind == T::Word && !find(t[r.b].text) &&
      ((r.e == r.b + 1 && (t[r.b].text == "SYSDATE" || t[r.b].text == "SYSTIMESTAMP")) ||
       (r.e > r.b + 2 && isOp(t, r.b + 1, "(") && closing(t, r.b + 1) == r.e - 1))) {
    static const char* const dates[] = {"SYSDATE", "SYSTIMESTAMP", "TO_DATE", "ADD_MONTHS", "LAST_DAY", "NEXT_DAY", "TO_TIMESTAMP"};
    static const char* const texts[] = {"TO_CHAR", "UPPER", "LOWER", "SUBSTR", "INITCAP", "LPAD", "RPAD", "TRIM", "REPLACE"};
    static const char* const numbers[] = {"TO_NUMBER", "LENGTH", "INSTR", "ABS", "MOD", "POWER", "SQRT"};
    const std::string& f = t[r.b].text;
    for (const char* n : dates) if (f == n) return TypeSpec::Date;
    for (const char* n : texts) if (f == n) return TypeSpec::Text;
    for (const char* n : numbers) if (f == n) return TypeSpec::Number;
  }
  for (size_t k = r.b; k < r.e; ++k)
    if (t[k].kind == T::Op && t[k].text == "||") return TypeSpec::Text;
  return TypeSpec::Unknown;
}

namespace {

// Whether two overloads take the arguments given by position or name as parameters of one type:
// then no call that leaves the rest to their defaults tells them apart.
bool sameGivenTypes(const Sub& a, const Sub& b, const std::vector<std::string>& argNames) {
  auto param = [&](const Sub& s, size_t arg) -> const Param* {
    for (size_t k = 0; k < s.params.size(); ++k)
      if ((argNames[arg].empty() && arg == k) || argNames[arg] == s.params[k].name) return &s.params[k];
    return nullptr;
  };
  for (size_t x = 0; x < argNames.size(); ++x) {
    const Param* p = param(a, x);
    const Param* q = param(b, x);
    if (!p || !q) return false;
    const TypeSpec &s = p->type, &t = q->type;
    if (s.kind != t.kind || s.binary != t.binary || s.range != t.range || s.integer != t.integer || s.named != t.named)
      return false;
  }
  return true;
}

} // namespace

const Sub* Run::choose(const Callee& c, const std::vector<std::string>& argNames, size_t at,
                       const std::vector<int>& kinds) {
  const Sub* best = nullptr;
  const Sub* ambiguous = nullptr; // another overload the call fits as well, its types no different
  int bestScore = 0;
  for (const Sub* s : c.subs) {
    if (argNames.size() > s->params.size()) continue;
    bool fits = true;
    for (size_t k = 0; k < s->params.size() && fits; ++k) {
      bool given = false;
      for (size_t a = 0; a < argNames.size(); ++a)
        given = given || (argNames[a].empty() && a == k) || argNames[a] == s->params[k].name;
      if (!given && (s->params[k].out || s->params[k].dflt.empty())) fits = false;
    }
    for (const std::string& n : argNames) {
      if (n.empty()) continue;
      bool known = false;
      for (const Param& p : s->params) known = known || p.name == n;
      fits = fits && known;
    }
    if (!fits) continue;
    // overloads of one number of parameters: the one whose types the arguments match best
    int score = 0;
    for (size_t a = 0; a < kinds.size() && a < argNames.size(); ++a) {
      const Param* p = nullptr;
      for (size_t k = 0; k < s->params.size(); ++k)
        if ((argNames[a].empty() && a == k) || argNames[a] == s->params[k].name) p = &s->params[k];
      int kind = kinds[a] & 0xff, binary = kinds[a] >> 8;
      if (!p || kind == TypeSpec::Unknown || p->type.kind == TypeSpec::Unknown) continue;
      score += p->type.kind == kind ? 1 : -1;
      // a number's own type: NUMBER, BINARY_FLOAT or BINARY_DOUBLE, as its literal or variable says
      if (kind == TypeSpec::Number && p->type.kind == kind && !p->type.integer)
        score += (binary == 1 ? p->type.binary == kBinaryFloat : binary == 2 ? p->type.binary == kBinaryDouble
                                                                            : p->type.binary == 0) ? 1 : 0;
    }
    if (best && score == bestScore && sameGivenTypes(*best, *s, argNames)) ambiguous = s;
    if (best && score <= bestScore) continue;
    best = s;
    bestScore = score;
  }
  if (best && ambiguous && ambiguous != best && sameGivenTypes(*best, *ambiguous, argNames)) {
    OraError e = pls(*this, at, "PLS-00307: too many declarations of '" + c.shown + "' match this call");
    e.text += "\n" + pls(*this, lastAt, "PL/SQL: Statement ignored").text;
    throw e;
  }
  if (!best) {
    OraError e = pls(*this, at, "PLS-00306: wrong number or types of arguments in call to '" + c.shown + "'");
    e.text += "\n" + pls(*this, lastAt, "PL/SQL: Statement ignored").text;
    throw e;
  }
  if (!best->block)
    throw pls(*this, at,
              "PLS-00328: A subprogram body must be defined for the forward declaration of " + best->name + ".");
  return best;
}

std::vector<Bound> Run::bind(const Sub& sub, const std::vector<Range>& args, const std::vector<std::string>& argNames,
                             size_t at) {
  std::vector<Bound> out(sub.params.size());
  for (size_t k = 0; k < sub.params.size(); ++k) {
    const Param& p = sub.params[k];
    for (size_t a = 0; a < args.size(); ++a) {
      if (!((argNames[a].empty() && a == k) || argNames[a] == p.name)) continue;
      Range arg = args[a];
      out[k].given = true;
      if (p.out) {
        // only a variable, a field or an element can take a value back
        if (!assignable(u.toks, arg) || (isOp(u.toks, arg.b + 1, "(") && !find(u.toks[arg.b].text))) {
          OraError e = pls(*this, arg.b, "PLS-00363: expression '" + u.text(arg) + "' cannot be used as an assignment target");
          e.text += "\n" + pls(*this, at, "PL/SQL: Statement ignored").text;
          throw e;
        }
        out[k].target = arg;
      }
      Var* given = arg.e == arg.b + 1 ? find(u.toks[arg.b].text) : nullptr;
      if (given && given->type.kind == TypeSpec::Cursor && p.type.kind == TypeSpec::Named) {
        // a cursor variable of a REF CURSOR type named elsewhere: its work area is passed
        out[k].cursor = true;
        if (p.in) out[k].v = given->v;
      } else if ((p.type.kind == TypeSpec::Named && !objectSpec(p.type)) || p.type.rowtype) {
        // a record or collection is passed whole
        out[k].whole = std::make_shared<Var>();
        if (p.in) assignWhole(*out[k].whole, arg);
      } else if (p.in) {
        if (p.type.kind == TypeSpec::Bool) {
          int c = cond(arg);
          out[k].v = c < 0 ? Val{} : Val{Val::Bool, "", c == 1};
        } else {
          out[k].v = eval(arg);
        }
      }
    }
  }
  return out;
}

Val Run::invoke(const Unit& unit, const Sub& sub, const std::vector<Scope*>& base, std::vector<Bound>& args) {
  Scope params;
  params.label = sub.name;
  params.bodyFollows = true;
  for (size_t k = 0; k < sub.params.size(); ++k) {
    const Param& p = sub.params[k];
    Var v;
    v.type = p.type;
    if (p.in && args[k].given) store(v, asValue(args[k].v, p.type), 0);
    params.vars[p.name] = std::move(v);
  }
  // a subprogram of this unit runs here, seeing the scopes it was declared in; another unit's
  // runs on its own
  std::unique_ptr<Run> own;
  Run* r = this;
  std::vector<Scope*> saved;
  if (&unit == &u) {
    saved.swap(scopes);
    scopes = base;
    callerAts.emplace_back(lastAt, current);
  } else {
    own = std::make_unique<Run>(ses, unit);
    r = own.get();
    r->caller = this;
    r->transactionEnded = transactionEnded;
    r->steps = steps;
    r->started = started;
    r->scopes = base;
  }
  struct Back {
    Run& caller;
    Run& r;
    std::vector<Scope*>& saved;
    const Sub* current;
    size_t at;
    ~Back() {
      r.current = current;
      if (&r == &caller) {
        caller.scopes.swap(saved);
        caller.lastAt = at;
        caller.callerAts.pop_back();
      } else {
        caller.steps = r.steps;
        caller.ended = caller.ended || r.ended;
        // SQL% attributes tell of the last statement run, in whichever unit it ran
        if (r.sqlFound >= 0) {
          caller.sqlFound = r.sqlFound;
          caller.sqlRowcount = r.sqlRowcount;
        }
      }
    }
  } back{*this, *r, saved, r->current, lastAt};
  r->scopes.push_back(&params);
  for (size_t k = 0; k < sub.params.size(); ++k) {
    const Param& p = sub.params[k];
    if (args[k].cursor) {
      params.vars[p.name].type.kind = TypeSpec::Cursor;
      continue;
    }
    if ((p.type.kind == TypeSpec::Named && !r->objectSpec(p.type)) || p.type.rowtype) {
      Var& v = params.vars[p.name];
      r->typed(v, p.type, sub.at);
      const Var* w = args[k].whole.get();
      if (w && p.in) {
        if (v.isColl() && w->isColl() && w->def == v.def) v.coll = w->coll;
        else if (v.record && w->record && w->fields.size() == v.fields.size()) {
          v.fields = w->fields;
          if (w->parts.p || v.parts.p) v.parts = w->parts;
        }
        else throw pls(*this, sub.at, "PLS-00306: wrong number or types of arguments in call to '" + sub.name + "'");
      }
      continue;
    }
    if (!args[k].given && p.in && !p.dflt.empty()) r->store(params.vars[p.name], r->eval(p.dflt), p.dflt.b);
  }
  r->current = &sub;
  r->retVal = Val{};
  r->retWhole.reset();
  Flow f;
  try {
    f = r->block(*sub.block);
    r->gotoEscaped(f);
  } catch (OraError& e) {
    addFrame(e, *r);
    suppliedFailed = suppliedFailed || r->suppliedFailed;
    throw;
  }
  if (sub.function && sub.pipelined && !r->retWhole) r->pipeRow(Stmt{}); // no rows piped
  if (sub.function && f != Flow::Return && !sub.pipelined) {
    // the stack names the function's END, where it ran out
    OraError e(6503);
    r->lastAt = sub.block->endAt;
    addFrame(e, *r);
    throw e;
  }
  Val ret = r->retVal;
  lastWhole = r->retWhole;
  for (size_t k = 0; k < sub.params.size(); ++k)
    if (sub.params[k].out) {
      Var& v = params.vars[sub.params[k].name];
      if (args[k].whole) *args[k].whole = v;
      else args[k].v = v.v;
    }
  return ret;
}

Flow Run::returnValue(const Stmt& s) {
  bool function = current && current->function;
  if (s.name == "PIPE ROW" || (function && current->pipelined)) return pipeRow(s);
  if (!s.expr.empty() && !function)
    throw pls(*this, s.at, "PLS-00372: In a procedure, RETURN statement cannot contain an expression");
  if (s.expr.empty() && function)
    throw pls(*this, s.at, "PLS-00503: RETURN <value> statement required for this return from function");
  if (function && ((current->ret.kind == TypeSpec::Named && !objectSpec(current->ret)) || current->ret.rowtype)) {
    auto v = std::make_shared<Var>();
    typed(*v, current->ret, s.at);
    if (v->type.kind == TypeSpec::Cursor) {
      retVal = cursorOf(s.expr);
      return Flow::Return;
    }
    assignWhole(*v, s.expr);
    retWhole = v;
    return Flow::Return;
  }
  if (function && current->ret.kind == TypeSpec::Cursor) {
    retVal = cursorOf(s.expr);
    return Flow::Return;
  }
  if (function) {
    Var v;
    v.type = current->ret;
    Val x;
    if (v.type.kind == TypeSpec::Bool) {
      int c = cond(s.expr);
      x = c < 0 ? Val{} : Val{Val::Bool, "", c == 1};
    } else {
      x = eval(s.expr);
    }
    store(v, x, s.expr.b);
    retVal = v.v;
  }
  return Flow::Return;
}

void Run::callProcedure(const Stmt& s) {
  Callee c;
  if (!resolve(s.name, s.at, c)) {
    // a member DBMS_OUTPUT does not have (its members are all served above)
    if (s.name.rfind("DBMS_OUTPUT.", 0) == 0 && s.name.find('.', 12) == std::string::npos && s.at + 2 < u.toks.size()) {
      OraError e = pls(*this, s.at + 2, "PLS-00302: component '" + s.name.substr(12) + "' must be declared");
      e.text += "\n" + pls(*this, s.at, "PL/SQL: Statement ignored").text;
      throw e;
    }
    undeclared(s.at, s.name);
  }
  std::vector<int> kinds;
  for (Range a : s.conds) kinds.push_back(argumentKind(a));
  const Sub* sub = choose(c, s.argNames, s.at, kinds);
  if (sub->function)
    throw pls(*this, s.at, "PLS-00221: '" + c.shown + "' is not a procedure or is undefined");
  std::vector<Bound> args = bind(*sub, s.conds, s.argNames, s.at);
  invoke(*c.unit, *sub, c.base, args);
  for (size_t k = 0; k < sub->params.size(); ++k) {
    if (!sub->params[k].out) continue;
    if (args[k].whole) storeWhole(args[k].target, *args[k].whole);
    else assign(args[k].target, args[k].v);
  }
}

// A function call (or a package's variable) at token k of an expression: its value as SQL text.
bool Run::callInExpression(size_t k, size_t e, bool inSql, std::string& rep, size_t& end) {
  const auto& t = u.toks;
  if (!isName(t, k) || find(t[k].text) || cursor(t[k].text)) return false;
  std::string name = t[k].text;
  size_t next = k + 1;
  if (isOp(t, next, ".") && next + 1 < e && isName(t, next + 1)) {
    // pkg.member, or the schema's name before either
    std::string first = name;
    if (first == ses.user && isOp(t, next + 2, ".") && isName(t, next + 3)) {
      name = t[next + 1].text;
      next += 2;
    }
    if (isOp(t, next, ".")) {
      auto pkg = package(*this, name, k);
      if (!pkg) return false;
      const std::string& member = t[next + 1].text;
      if (auto* v = Package::item(&Scope::vars, *pkg, member, pkg->unit.get() == &u); v && !v->record) {
        const Val& x = v->v;
        rep = v->type.kind == TypeSpec::Bool && x.k == Val::Null ? "(1=NULL)" : literal(x);
        end = next + 2;
        return true;
      }
      if (inSql) return false; // the statement calls it for each row
      name += "." + member;
      next += 2;
    }
  } else {
    bool local = false;
    for (auto it = scopes.rbegin(); it != scopes.rend() && !local; ++it) local = (*it)->subs.count(name) > 0;
    if (!local) {
      if (inSql || t[k].kind != T::Word) return false;
      if (isOp(t, next, "(") && functionAllowed(name.c_str(), false)) return false; // Oracle's own come first
      if (!storedFunction(name)) return false;
    } else if (inSql) {
      throw pls(*this, k, "PLS-00231: function '" + name + "' may not be used in SQL");
    }
  }
  std::vector<Range> args;
  std::vector<std::string> names;
  if (isOp(t, next, "(")) next = callArguments(*this, next, args, names);
  if (next > e) return false;
  Callee c;
  if (!resolve(name, k, c)) return false;
  std::vector<int> kinds;
  for (Range a : args) kinds.push_back(argumentKind(a));
  const Sub* sub = choose(c, names, k, kinds);
  if (!sub->function)
    throw pls(*this, k, "PLS-00222: no function with name '" + c.shown + "' exists in this scope");
  if (sub->pipelined && !inSql) {
    // its rows are for SQL's TABLE(...) only
    OraError e = pls(*this, k, "PLS-00653: aggregate/table functions are not allowed in PL/SQL scope");
    e.text += "\n" + pls(*this, lastAt, "PL/SQL: Statement ignored").text;
    throw e;
  }
  std::vector<Bound> bound = bind(*sub, args, names, k);
  Val x = invoke(*c.unit, *sub, c.base, bound);
  for (size_t a = 0; a < sub->params.size(); ++a)
    if (sub->params[a].out) assign(bound[a].target, bound[a].v);
  lastCursor = x.cur; // a cursor variable is no SQL value: the assignment takes it from here
  rep = sub->ret.kind == TypeSpec::Bool && x.k == Val::Null ? "(1=NULL)" : literal(x);
  end = next;
  // f(x).field, f(x)(i), f(x).COUNT, f(x).attribute: a part of the record, collection or object it returns
  if (auto whole = lastWhole; whole && (whole->record || whole->isColl()) && (isOp(t, next, ".") || isOp(t, next, "("))) {
    std::string part;
    size_t used = 0;
    if (whole->record && isOp(t, next, ".") && next + 1 < e && isName(t, next + 1) &&
        std::find(whole->fieldNames.begin(), whole->fieldNames.end(), t[next + 1].text) == whole->fieldNames.end())
      throw pls(*this, next + 1, "PLS-00302: component '" + t[next + 1].text + "' must be declared");
    if (compositeSteps(whole.get(), k, next, e, part, used) && k + used > next) {
      rep = part;
      end = k + used;
    }
  } else if (!whole && isOp(t, next, ".") && next + 1 < e && isName(t, next + 1) && x.k == Val::Str && isObjectText(x.s)) {
    size_t p = next;
    Val v = objectSteps(x, p, e, {});
    if (p > next) {
      rep = literal(v);
      end = p;
    }
  }
  return true;
}

bool Run::storedFunction(const std::string& name) {
  auto known = storedFunctions.find(name);
  if (known == storedFunctions.end())
    known = storedFunctions.emplace(name, !unitSource(ses, name, "FUNCTION").empty()).first;
  return known->second;
}

bool Run::packageNamed(const std::string& name, size_t at) { return package(*this, name, at) != nullptr; }

// pkg.variable: read into `read`, or given `write`; false when the name is no package's.
bool Run::packageVariable(Range target, Val* read, const Val* write) {
  const auto& t = u.toks;
  if (target.e != target.b + 3 || !isOp(t, target.b + 1, ".")) return false;
  auto pkg = package(*this, t[target.b].text, target.b);
  if (!pkg) return false;
  const std::string& member = t[target.b + 2].text;
  auto* v = Package::item(&Scope::vars, *pkg, member, pkg->unit.get() == &u);
  if (!v)
    throw pls(*this, target.b + 2, "PLS-00302: component '" + member + "' must be declared");
  if (read) *read = v->v;
  if (write) {
    if (v->constant) {
      OraError e = pls(*this, target.b, "PLS-00363: expression '" + t[target.b].text + "." + member +
                                            "' cannot be used as an assignment target");
      e.text += "\n" + pls(*this, lastAt, "PL/SQL: Statement ignored").text;
      throw e;
    }
    store(*v, *write, target.b);
  }
  return true;
}

bool Run::packageVariableType(Range name, TypeSpec& out) {
  const auto& t = u.toks;
  auto pkg = package(*this, t[name.b].text, name.b);
  if (!pkg) return false;
  auto* v = Package::item(&Scope::vars, *pkg, t[name.b + 2].text, pkg->unit.get() == &u);
  if (!v || v->record) return false;
  out = v->type;
  return true;
}

std::shared_ptr<const TypeDef> Run::schemaType(const std::string& name) {
  auto seen = schemaTypes.find(name);
  if (seen != schemaTypes.end()) return seen->second;
  std::shared_ptr<const TypeDef> def;
  std::string src = unitSource(ses, name, "TYPE");
  if (!src.empty()) {
    auto& cache = units(ses).types;
    auto it = cache.find(name);
    if (it != cache.end() && it->second.src == src) {
      def = it->second.def;
    } else {
      // a type of the schema's types: each made once, a type naming itself is not
      static thread_local int making = 0;
      if (making > 20) return nullptr;
      ++making;
      struct Done {
        ~Done() { --making; }
      } done;
      std::shared_ptr<Unit> tu;
      try {
        tu = parseTypeSource(src);
      } catch (const OraError&) {
        tu = nullptr; // an object type, or one with errors
      }
      if (tu) {
        Run r(ses, *tu);
        Scope sc;
        r.scopes.push_back(&sc);
        r.declareType(sc, tu->publicDecls[0]);
        def = sc.types[tu->publicDecls[0].name];
        cache[name] = {src, tu, def};
      }
    }
  }
  schemaTypes[name] = def;
  return def;
}

Scope* Run::packageScope(const std::string& name, size_t at) {
  auto pkg = package(*this, name, at);
  return pkg ? &pkg->publicScope : nullptr;
}

CursorState* Run::packageCursor(const std::string& pkgName, const std::string& name) {
  auto pkg = package(*this, pkgName, 0);
  if (!pkg) return nullptr;
  auto c = pkg->publicScope.cursors.find(name);
  return c == pkg->publicScope.cursors.end() ? nullptr : &c->second;
}

} // namespace ora::pl
