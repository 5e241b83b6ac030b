// The declarations of a PL/SQL block: each variable, cursor, exception and subprogram entered
// in its scope, and the type a variable takes from a record, a cursor's row or a table column.
#include "PlsqlRun.h"

#include "Plsql.h"
#include "Session.h"
#include "SqlText.h"

namespace ora::pl {

namespace {

TypeSpec fromColumn(const ColType& c) {
  TypeSpec t;
  if (c.code == kNumber) {
    t.kind = TypeSpec::Number;
    if (!c.isFloat()) {
      t.precision = c.precision;
      t.scale = c.scale;
      t.hasScale = c.hasScale;
    }
  } else if (c.code == kDate) {
    t.kind = TypeSpec::Date;
  } else if (isTimestamp(c.code) || isInterval(c.code)) {
    t.kind = TypeSpec::Date;
    t.dt = c.code;
    t.localZone = c.localZone;
    t.precision = c.code == kIntervalYm || c.code == kIntervalDs ? c.precision : c.scale;
    t.scale = c.scale;
  } else if (c.code == kVarchar2 || c.code == kChar || c.code == kLong) {
    t.kind = TypeSpec::Text;
    t.size = c.code == kLong ? 32767 : c.size;
    t.byteUnit = true; // the column's limit in bytes, whatever the session's semantics
    t.fixed = c.code == kChar;
  }
  return t;
}

} // namespace

void Run::typed(Var& v, const TypeSpec& ts, size_t at) {
  const auto& t = u.toks;
  (void)at;
  if (ts.kind == TypeSpec::Named && objectSpec(ts)) {
    v = Var{}; // an object: NULL until constructed
    v.type = ts;
    return;
  }
  if (ts.kind == TypeSpec::Named) {
    auto def = typeNamed(ts.anchor);
    if (def->refCursor) {
      v = Var{};
      v.type = ts;
      v.type.kind = TypeSpec::Cursor;
      return;
    }
    if (def->kind == TypeDecl::Record) {
      v = def->proto;
    } else {
      v = Var{};
      v.def = def;
      if (def->kind == TypeDecl::Assoc) v.coll.p = std::make_unique<Coll>();
    }
    v.type = ts;
    return;
  }
  if (ts.ofType || ts.rowtype) {
    Range a = ts.anchor;
    std::string first = t[a.b].text;
    if (Var* o = a.e == a.b + 1 ? find(first) : nullptr) {
      v.type = o->type;
      v.record = o->record;
      v.fieldNames = o->fieldNames;
      v.fieldTypes = o->fieldTypes;
      v.fields.assign(o->fields.size(), Val{});
      v.def = o->def;
      if (v.isColl() && v.def->kind == TypeDecl::Assoc) v.coll.p = std::make_unique<Coll>();
    } else if (CursorState* c = a.e == a.b + 1 ? cursor(first) : nullptr; c && c->decl && ts.rowtype) {
      // the cursor's columns, as its query gives them
      // its parameters stand as NULL: only the shape of its rows is wanted
      Scope params;
      params.label = c->decl->name;
      for (const std::string& p : c->decl->params) params.vars[p] = Var{};
      scopes.push_back(&params);
      Rows shape;
      try {
        shape = query(subst(c->decl->init, &columns(c->decl, c->decl->init)), 0);
      } catch (...) {
        scopes.pop_back();
        throw;
      }
      scopes.pop_back();
      v.record = true;
      v.fieldNames = shape.names;
      v.fields.assign(shape.names.size(), Val{});
    } else {
      Catalog cat(ses.db, ses.user, &ses);
      std::string table = first;
      if (a.e == a.b + 3 && t[a.b + 1].text == "." && !ts.rowtype && !cat.tableExists(table)) {
        if (!packageVariableType(a, v.type)) undeclared(a.b, first); // pkg.variable%TYPE
      } else if (a.e == a.b + 3 && t[a.b + 1].text == "." && !ts.rowtype) {
        const std::string& col = t[a.b + 2].text;
        bool found = false;
        for (const ColumnInfo& ci : cat.columns(table))
          if (ci.name == col) { v.type = fromColumn(ci.type); found = true; }
        if (!found) {
          OraError e(6550);
          e.text = "ORA-06550: " + where(u.src, t[a.b + 2].pos) + ":\nPLS-00302: component '" + col + "' must be declared";
          throw e;
        }
      } else if (a.e == a.b + 1 && ts.rowtype && cat.tableExists(table)) {
        v.record = true;
        for (const ColumnInfo& ci : cat.columns(table)) {
          if (ci.invisible) continue; // a row as "*" reads it
          v.fieldNames.push_back(ci.name);
          v.fieldTypes.push_back(fromColumn(ci.type));
          v.fields.emplace_back();
        }
      } else {
        undeclared(a.b, first);
      }
    }
  }
}

void Run::declare(Scope& sc, const Decl& d) {
  lastAt = d.at;
  switch (d.kind) {
  case Decl::Exception: sc.exceptions[d.name] = 0; return;
  case Decl::Pragma:
    for (auto it = scopes.rbegin(); it != scopes.rend(); ++it)
      if (auto e = (*it)->exceptions.find(d.name); e != (*it)->exceptions.end()) {
        e->second = -d.code;
        return;
      }
    undeclared(d.at, d.name);
  case Decl::Subprogram: {
    // a body takes the place of its forward declaration
    auto& list = sc.subs[d.name];
    for (const Sub*& x : list)
      if (!x->block && x->sameHeading(*d.sub)) {
        x = d.sub.get();
        return;
      }
    list.push_back(d.sub.get());
    return;
  }
  case Decl::Cursor: {
    CursorState c;
    c.decl = &d;
    c.unit = &u;
    c.home = scopes;
    sc.cursors[d.name] = c;
    return;
  }
  case Decl::Type: declareType(sc, d); return;
  case Decl::Var: break;
  }
  Var v;
  v.type = d.type;
  typed(v, d.type, d.at);
  v.constant = d.constant;
  v.notNull = d.notNull;
  if (v.record || v.isColl()) {
    if (!d.init.empty()) assignWhole(v, d.init);
    sc.vars[d.name] = std::move(v);
    return;
  }
  if (!d.init.empty()) {
    Val x = v.type.kind == TypeSpec::Bool ? [&] { int c = cond(d.init); return c < 0 ? Val{} : Val{Val::Bool, "", c == 1}; }()
                                           : eval(d.init);
    store(v, x, d.init.b);
  }
  sc.vars[d.name] = std::move(v);
}

} // namespace ora::pl
