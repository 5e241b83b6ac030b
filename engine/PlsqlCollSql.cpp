// PL/SQL collections meeting SQL: a variable written into a statement, a collection a query
// gives back, a function's collection as a SQL value, and the rows of a pipelined function.
#include "Collections.h"
#include "ObjectTypes.h"
#include "PlsqlRun.h"

#include <sqlite3.h>

namespace ora::pl {

namespace {

char elemKind(const TypeDef& d) {
  switch (d.proto.type.kind) {
  case TypeSpec::Number: return 'N';
  case TypeSpec::Date: return d.proto.type.dt ? 'S' : 'D'; // a TIMESTAMP or INTERVAL as its stored text
  case TypeSpec::Text: return 'S';
  default: return 'X';
  }
}

OraError plsError(const Run& r, size_t tok, const std::string& msg) {
  OraError e(6550);
  e.text = "ORA-06550: " + where(r.u.src, r.u.toks[std::min(tok, r.u.toks.size() - 1)].pos) + ":\n" + msg;
  return e;
}

} // namespace

std::string Run::collectionSql(const Var& v) {
  const TypeDef& d = *v.def;
  if (!v.coll.p) return "NULL";
  std::string out = "ORA_COLL_MAKE(" + literal(Val{Val::Str, d.name, false}) + ", '" + (d.kind == TypeDecl::Varray ? "V" : "N") +
                    "', '" + elemKind(d) + "', " + std::to_string(d.limit);
  for (const auto& [k, el] : v.coll.p->num) {
    (void)k;
    if (el.record || el.isColl()) throw OraError(932, "expected - got -"); // elements of scalar types only
    out += ", " + (el.v.k == Val::Bool ? std::string(el.v.b ? "1" : "0") : literal(el.v));
  }
  return out + ")";
}

bool Run::collectionFromSql(Var& dst, const Val& x) {
  if (x.k != Val::Str || !isCollectionBlob(x.s.data(), static_cast<int>(x.s.size()))) return false;
  CollValue cv;
  if (!decodeCollection(x.s.data(), static_cast<int>(x.s.size()), cv)) return false;
  const TypeDef& d = *dst.def;
  // COLLECT's own type takes any collection's name
  if (cv.type != d.name && cv.type != "SYSTPCOLLECT") throw OraError(932, "expected " + d.name + " got " + cv.type);
  auto cl = std::make_unique<Coll>();
  for (const CollElem& e : cv.items) {
    Val ev;
    switch (e.tag) {
    case CollElem::Int: ev = Val{Val::Num, integerText(e.i), false}; break;
    case CollElem::Real: ev = Val{Val::Num, realText(e.d), false}; break;
    case CollElem::Text:
      ev = Val{cv.elem == 'D' && !d.proto.type.dt ? Val::Date : cv.elem == 'N' ? Val::Num : Val::Str, e.s, false};
      break;
    default: break;
    }
    Var el = d.proto;
    store(el, ev, 0);
    cl->num.emplace(++cl->size, std::move(el));
  }
  if (d.kind == TypeDecl::Varray && cl->size > d.limit) throw OraError(6532);
  dst.coll.p = std::move(cl);
  return true;
}

Flow Run::pipeRow(const Stmt& s) {
  bool piping = s.name == "PIPE ROW";
  if (!current || !current->function || !current->pipelined)
    throw plsError(*this, s.at, "PLS-00629: PIPE statement cannot be used in non-pipelined functions");
  if (!retWhole) {
    auto v = std::make_shared<Var>();
    typed(*v, current->ret, s.at);
    if (!v->isColl()) throw plsError(*this, s.at, "PLS-00630: pipelined functions must have a supported collection return type");
    v->coll.p = std::make_unique<Coll>();
    retWhole = v;
  }
  if (!piping) {
    if (!s.expr.empty())
      throw plsError(*this, s.at, "PLS-00633: RETURN statement in a pipelined function cannot contain an expression");
    return Flow::Return;
  }
  Var el = retWhole->def->proto;
  Range whole = s.expr;
  // PIPE ROW (r): the record inside the parentheses
  while (whole.e > whole.b + 2 && isOp(u.toks, whole.b, "(") && closing(u.toks, whole.b) == whole.e - 1) whole = {whole.b + 1, whole.e - 1};
  if (el.record || el.isColl()) assignWhole(el, whole);
  else store(el, eval(s.expr), s.expr.b);
  Coll& cl = *retWhole->coll.p;
  cl.num.emplace(++cl.size, std::move(el));
  return Flow::Next;
}

void collectionResult(sqlite3_context* ctx, const Var& v) {
  if (!v.coll.p) return sqlite3_result_null(ctx);
  const TypeDef& d = *v.def;
  CollValue cv;
  cv.type = d.name;
  cv.kind = d.kind == TypeDecl::Varray ? 'V' : 'N';
  cv.elem = elemKind(d);
  for (const auto& [k, el] : v.coll.p->num) {
    (void)k;
    CollElem e;
    const Val& x = el.v;
    if (el.record) {
      // a record: its fields as an object's attributes, the columns TABLE() gives
      ObjValue o;
      o.type = d.name;
      for (const Val& f : el.fields) {
        ObjAttrVal a;
        if (f.k == Val::Num) a = {'N', f.s};
        else if (f.k == Val::Bool) a = {'N', f.b ? "1" : "0"};
        else if (f.k == Val::Date && !f.dt) a = {'D', f.s};
        else if (f.k != Val::Null) a = {isObjectText(f.s) ? 'O' : 'S', f.s};
        o.attrs.push_back(std::move(a));
      }
      e.tag = CollElem::Text;
      e.s = encodeObject(o);
      cv.items.push_back(std::move(e));
      continue;
    }
    if (x.k == Val::Num) {
      e.tag = CollElem::Text;
      e.s = x.s;
      int64_t i = 0;
      size_t used = 0;
      try {
        i = std::stoll(x.s, &used);
      } catch (...) {
        used = 0;
      }
      if (used == x.s.size() && !x.s.empty()) e = CollElem{CollElem::Int, i, 0, {}};
      else if (x.s.size() <= 15) e = CollElem{CollElem::Real, 0, std::strtod(x.s.c_str(), nullptr), {}};
    } else if (x.k == Val::Bool) {
      e = CollElem{CollElem::Int, x.b ? 1 : 0, 0, {}};
    } else if (x.k != Val::Null) {
      e.tag = CollElem::Text;
      e.s = x.s;
    }
    cv.items.push_back(std::move(e));
  }
  std::string b = encodeCollection(cv);
  sqlite3_result_blob64(ctx, b.data(), b.size(), SQLITE_TRANSIENT);
}

} // namespace ora::pl
