// Records and collections in PL/SQL: declared TYPEs, element access, the collection methods and
// whole-record and whole-collection assignment.
#include "PlsqlRun.h"
#include "Charset.h"
#include "ObjectTypes.h"
#include "Session.h"
#include "PlsqlSuppliedMore.h"

#include <algorithm>
#include <cmath>

namespace ora::pl {

namespace {

// The expressions between the parentheses at open and close, split at their top-level commas.
std::vector<Range> arguments(const std::vector<Tok>& t, size_t open, size_t close) {
  std::vector<Range> out;
  if (close == open + 1) return out;
  int depth = 0;
  size_t b = open + 1;
  for (size_t k = open + 1; k < close; ++k) {
    if (isOp(t, k, "(")) ++depth;
    else if (isOp(t, k, ")")) --depth;
    else if (depth == 0 && isOp(t, k, ",")) {
      out.push_back({b, k});
      b = k + 1;
    }
  }
  out.push_back({b, close});
  return out;
}

OraError compileError(const Run& r, size_t tok, const std::string& msg) {
  OraError e(6550);
  e.text = "ORA-06550: " + where(r.u.src, r.u.toks[std::min(tok, r.u.toks.size() - 1)].pos) + ":\n" + msg;
  return e;
}

// PLS-00302 for a component that is not there, and the statement it stops.
OraError componentError(const Run& r, size_t tok, const std::string& name) {
  OraError e = compileError(r, tok, "PLS-00302: component '" + name + "' must be declared");
  e.text += "\n" + compileError(r, r.lastAt, "PL/SQL: Statement ignored").text;
  return e;
}

bool methodName(const std::string& w) {
  return w == "COUNT" || w == "FIRST" || w == "LAST" || w == "LIMIT" || w == "NEXT" || w == "PRIOR" || w == "EXISTS";
}

// An integer subscript; NULL and what is not a number are VALUE_ERROR.
long long numberKey(Run& r, Val k) {
  if (k.k == Val::Str) {
    try {
      k = r.evalText("TO_NUMBER(" + literal(k) + ")");
    } catch (const OraError&) {
      throw valueError("character to number conversion error");
    }
  }
  if (k.k != Val::Num) throw valueError(k.k == Val::Null ? "NULL index table key value" : "");
  return std::llround(std::stod(k.s));
}

std::string textKey(Run& r, Val k) {
  if (k.k == Val::Null) throw valueError("NULL index table key value");
  if (k.k == Val::Num || k.k == Val::Date) k = r.evalText("TO_CHAR(" + literal(k) + ")");
  if (k.k == Val::Bool) throw valueError("");
  return k.s;
}

Val num(long long n) { return Val{Val::Num, std::to_string(n), false}; }

} // namespace

// A record's fields hold a nested record's fields as "INNER.FIELD": the field that "." at p and
// the names after it reach, and the token after them; npos when none, next then the name at fault.
static size_t recordField(const Var& rec, const std::vector<Tok>& t, size_t p, size_t e, size_t& next) {
  next = p + 1;
  if (!isOp(t, p, ".") || p + 1 >= e || !isName(t, p + 1)) return std::string::npos;
  std::string f = t[p + 1].text;
  for (size_t q = p + 2;; q += 2) {
    auto it = std::find(rec.fieldNames.begin(), rec.fieldNames.end(), f);
    if (it != rec.fieldNames.end()) {
      next = q;
      return static_cast<size_t>(it - rec.fieldNames.begin());
    }
    bool inner = std::any_of(rec.fieldNames.begin(), rec.fieldNames.end(),
                             [&](const std::string& n) { return n.size() > f.size() && n.compare(0, f.size() + 1, f + ".") == 0; });
    next = q - 1;
    if (!inner || !isOp(t, q, ".") || q + 1 >= e || !isName(t, q + 1)) return std::string::npos;
    f += "." + t[q + 1].text;
  }
}

// The nested record that ".name[.name...]" from p up to e names in rec ("NAME"); empty when
// the names reach no nested record.
static std::string recordPrefix(const Var& rec, const std::vector<Tok>& t, size_t p, size_t e) {
  std::string f;
  for (; p + 1 < e && isOp(t, p, ".") && isName(t, p + 1); p += 2) f += (f.empty() ? "" : ".") + t[p + 1].text;
  if (p != e || f.empty()) return {};
  for (const std::string& n : rec.fieldNames)
    if (n.size() > f.size() && n.compare(0, f.size() + 1, f + ".") == 0) return f;
  return {};
}

// A nested record's fields as a record of their own, and where they are in rec.
static Var recordPart(const Var& rec, const std::string& prefix, std::vector<size_t>& at) {
  Var part;
  part.record = true;
  const std::string lead = prefix + ".";
  for (size_t i = 0; i < rec.fieldNames.size() && i < rec.fields.size(); ++i)
    if (rec.fieldNames[i].compare(0, lead.size(), lead) == 0) {
      part.fieldNames.push_back(rec.fieldNames[i].substr(lead.size()));
      part.fieldTypes.push_back(i < rec.fieldTypes.size() ? rec.fieldTypes[i] : TypeSpec{});
      part.fields.push_back(rec.fields[i]);
      at.push_back(i);
    }
  if (rec.parts.p)
    for (const auto& [name, coll] : rec.parts.p->str)
      if (name.compare(0, lead.size(), lead) == 0) {
        if (!part.parts.p) part.parts.p = std::make_unique<Coll>();
        part.parts.p->str[name.substr(lead.size())] = coll;
      }
  return part;
}

void Run::declareType(Scope& sc, const Decl& d) {
  auto def = std::make_shared<TypeDef>();
  const TypeDecl& td = *d.typeDecl;
  def->kind = td.kind;
  def->name = d.name;
  if (td.kind == TypeDecl::Assoc) {
    // INDEX BY VARCHAR2(n), or a %TYPE of one
    Var key;
    key.type = td.key;
    typed(key, td.key, d.at);
    def->strKeys = key.type.kind == TypeSpec::Text;
    def->keySize = def->strKeys ? key.type.size : 0;
  }
  def->limit = td.limit;
  def->refCursor = td.refCursor;
  Var& p = def->proto;
  if (td.kind == TypeDecl::Record) {
    p.record = true;
    for (const TypeDecl::Field& f : td.fields) {
      Var fv;
      fv.type = f.type;
      typed(fv, f.type, d.at);
      if (fv.isColl()) {
        // the collection itself is kept beside the fields
        if (!f.init.empty()) assignWhole(fv, f.init);
        if (!p.parts.p) p.parts.p = std::make_unique<Coll>();
        p.parts.p->str[f.name] = fv;
        p.fieldNames.push_back(f.name);
        p.fieldTypes.push_back(f.type);
        p.fields.push_back(Val{});
        continue;
      }
      if (fv.record) {
        // a nested record's fields, reached as field.inner
        for (size_t j = 0; j < fv.fieldNames.size(); ++j) {
          p.fieldNames.push_back(f.name + "." + fv.fieldNames[j]);
          p.fieldTypes.push_back(j < fv.fieldTypes.size() ? fv.fieldTypes[j] : TypeSpec{});
          p.fields.push_back(j < fv.fields.size() ? fv.fields[j] : Val{});
        }
        if (fv.parts.p) {
          if (!p.parts.p) p.parts.p = std::make_unique<Coll>();
          for (const auto& [name, coll] : fv.parts.p->str) p.parts.p->str[f.name + "." + name] = coll;
        }
        continue;
      }
      fv.notNull = f.notNull;
      if (!f.init.empty()) {
        Val x = fv.type.kind == TypeSpec::Bool ? [&] { int c = cond(f.init); return c < 0 ? Val{} : Val{Val::Bool, "", c == 1}; }()
                                                : eval(f.init);
        store(fv, x, f.init.b);
      }
      p.fieldNames.push_back(f.name);
      p.fieldTypes.push_back(fv.type);
      p.fields.push_back(fv.v);
    }
  } else {
    p.type = td.elem;
    typed(p, td.elem, d.at);
  }
  sc.types[d.name] = def;
}

std::shared_ptr<const TypeDef> Run::typeNamed(Range name) {
  const auto& t = u.toks;
  if (name.e == name.b + 1) {
    for (auto it = scopes.rbegin(); it != scopes.rend(); ++it)
      if (auto x = (*it)->types.find(t[name.b].text); x != (*it)->types.end()) return x->second;
    if (auto def = schemaType(t[name.b].text)) return def;
  } else if (name.e == name.b + 3) {
    if (Scope* ps = packageScope(t[name.b].text, name.b))
      if (auto x = ps->types.find(t[name.b + 2].text); x != ps->types.end()) return x->second;
  }
  if (name.e == name.b + 3)
    if (auto def = suppliedTypeDef(t[name.b].text, t[name.b + 2].text)) return def;
  std::string shown;
  for (size_t k = name.b; k < name.e; ++k) shown += t[k].text;
  undeclared(name.b, shown);
}

Var* Run::wholeVar(size_t k, size_t e, size_t& next) {
  const auto& t = u.toks;
  if (!isName(t, k)) return nullptr;
  if (Var* v = find(t[k].text)) {
    next = k + 1;
    return fieldCollection(v, next, e);
  }
  if (isOp(t, k + 1, ".") && k + 2 < e && isName(t, k + 2) && !cursor(t[k].text)) {
    if (Scope* ps = packageScope(t[k].text, k)) {
      auto it = ps->vars.find(t[k + 2].text);
      if (it != ps->vars.end() && (it->second.record || it->second.isColl())) {
        next = k + 3;
        return fieldCollection(&it->second, next, e);
      }
    }
  }
  return nullptr;
}

Var* Run::fieldCollection(Var* v, size_t& next, size_t e) {
  const auto& t = u.toks;
  while (v && v->record && v->parts.p) {
    std::string f;
    Var* hit = nullptr;
    size_t q = next;
    for (; !hit && isOp(t, q, ".") && q + 1 < e && isName(t, q + 1); q += 2) {
      f += (f.empty() ? "" : ".") + t[q + 1].text;
      if (auto it = v->parts.p->str.find(f); it != v->parts.p->str.end()) hit = &it->second;
    }
    if (!hit) break;
    v = hit;
    next = q;
  }
  return v;
}

void Run::storeWhole(Range target, const Var& w) {
  const auto& t = u.toks;
  size_t p;
  Var* dst = wholeVar(target.b, target.e, p);
  while (dst && p < target.e && dst->isColl() && isOp(t, p, "(")) dst = fieldCollection(element(*dst, p, p, true), p, target.e);
  if (!dst) return;
  if (p == target.e) {
    if (dst->isColl()) {
      dst->coll = w.coll;
    } else if (dst->record && w.fields.size() == dst->fields.size()) {
      dst->fields = w.fields;
      dst->parts = w.parts;
    }
    return;
  }
  // a nested record: its fields in the outer one's
  std::string prefix = dst->record ? recordPrefix(*dst, t, p, target.e) : std::string();
  if (prefix.empty()) return;
  std::vector<size_t> at;
  Var part = recordPart(*dst, prefix, at);
  if (at.size() != w.fields.size()) return;
  for (size_t i = 0; i < at.size(); ++i) dst->fields[at[i]] = w.fields[i];
  if (w.parts.p && dst->parts.p)
    for (const auto& [name, coll] : w.parts.p->str) dst->parts.p->str[prefix + "." + name] = coll;
}

Var* Run::element(Var& c, size_t open, size_t& next, bool create) {
  const auto& t = u.toks;
  size_t close = closing(t, open);
  next = close + 1;
  std::vector<Range> args = arguments(t, open, close);
  if (args.size() != 1) throw compileError(*this, open, "PLS-00306: wrong number or types of arguments in call to '" + c.def->name + "'");
  Val key = eval(args[0]);
  const TypeDef& d = *c.def;
  if (!c.coll.p) throw OraError(6531);
  Coll& cl = *c.coll.p;
  if (d.strKeys) {
    std::string k = textKey(*this, key);
    if (d.keySize > 0 && byteLength(k, ses.charset) > d.keySize) throw valueError("character string buffer too small");
    auto it = cl.str.find(k);
    if (it == cl.str.end()) {
      if (!create) throw OraError(1403);
      it = cl.str.emplace(k, d.proto).first;
    }
    return &it->second;
  }
  long long n = numberKey(*this, key);
  if (d.kind != TypeDecl::Assoc) {
    if (n < 1 || (d.kind == TypeDecl::Varray && n > d.limit)) throw OraError(6532);
    if (n > cl.size) throw OraError(6533);
  }
  auto it = cl.num.find(n);
  if (it == cl.num.end()) {
    if (!create) throw OraError(1403);
    it = cl.num.emplace(n, d.proto).first;
  }
  return &it->second;
}

// A record's field, a collection's element or method, or a whole record after VALUES, at token k
// of an expression: its value as SQL text.
bool Run::compositeRef(size_t k, size_t e, std::string& rep, size_t& used) {
  size_t p;
  Var* cur = wholeVar(k, e, p);
  if (!cur || !(cur->record || cur->isColl())) return false;
  return compositeSteps(cur, k, p, e, rep, used);
}

// The elements, fields and methods from token p after the record or collection cur (named at
// token k, or a call's result there).
bool Run::compositeSteps(Var* cur, size_t k, size_t p, size_t e, std::string& rep, size_t& used) {
  const auto& t = u.toks;
  const Var* start = cur;
  const size_t named = p;
  for (;;) {
    if (cur->isColl() && isOp(t, p, "(") && p < e) {
      cur = fieldCollection(element(*cur, p, p, false), p, e);
      continue;
    }
    if (cur->isColl() && isOp(t, p, ".") && p + 1 < e && t[p + 1].kind == T::Word && methodName(t[p + 1].text)) {
      const std::string& m = t[p + 1].text;
      size_t after = p + 2;
      Val arg;
      bool hasArg = m == "NEXT" || m == "PRIOR" || m == "EXISTS";
      if (hasArg) {
        if (!isOp(t, after, "(")) throw compileError(*this, after, "PLS-00306: wrong number or types of arguments in call to '" + m + "'");
        size_t close = closing(t, after);
        arg = eval({after + 1, close});
        after = close + 1;
      } else if (isOp(t, after, "(") && isOp(t, after + 1, ")")) {
        after += 2; // COUNT() and the like
      }
      used = after - k;
      const TypeDef& d = *cur->def;
      if (m == "EXISTS") {
        bool has = false;
        if (cur->coll.p && arg.k != Val::Null) {
          if (d.strKeys) has = cur->coll.p->str.count(textKey(*this, arg)) > 0;
          else has = cur->coll.p->num.count(numberKey(*this, arg)) > 0;
        }
        rep = has ? "(1=1)" : "(1=0)";
        return true;
      }
      if (m == "LIMIT") {
        rep = d.kind == TypeDecl::Varray ? num(d.limit).s : "NULL";
        if (!cur->coll.p) throw OraError(6531);
        return true;
      }
      if (!cur->coll.p) throw OraError(6531);
      const Coll& cl = *cur->coll.p;
      Val x;
      if (m == "COUNT") {
        x = num(static_cast<long long>(d.strKeys ? cl.str.size() : cl.num.size()));
      } else if (d.strKeys) {
        auto key = [](const std::string& s) { return Val{Val::Str, s, false}; };
        if (m == "FIRST" && !cl.str.empty()) x = key(cl.str.begin()->first);
        else if (m == "LAST" && !cl.str.empty()) x = key(cl.str.rbegin()->first);
        else if ((m == "NEXT" || m == "PRIOR") && arg.k != Val::Null) {
          std::string a = textKey(*this, arg);
          if (m == "NEXT") {
            auto it = cl.str.upper_bound(a);
            if (it != cl.str.end()) x = key(it->first);
          } else {
            auto it = cl.str.lower_bound(a);
            if (it != cl.str.begin()) x = key(std::prev(it)->first);
          }
        }
      } else {
        if (m == "FIRST" && !cl.num.empty()) x = num(cl.num.begin()->first);
        else if (m == "LAST" && !cl.num.empty()) x = num(cl.num.rbegin()->first);
        else if ((m == "NEXT" || m == "PRIOR") && arg.k != Val::Null) {
          long long a = numberKey(*this, arg);
          if (m == "NEXT") {
            auto it = cl.num.upper_bound(a);
            if (it != cl.num.end()) x = num(it->first);
          } else {
            auto it = cl.num.lower_bound(a);
            if (it != cl.num.begin()) x = num(std::prev(it)->first);
          }
        }
      }
      rep = literal(x);
      return true;
    }
    if (cur->record && isOp(t, p, ".") && p + 1 < e && isName(t, p + 1)) {
      size_t next = 0, i = recordField(*cur, t, p, e, next);
      if (i == std::string::npos) throw componentError(*this, next, t[next].text);
      const Val& x = cur->fields[i];
      if (isOp(t, next, ".") && next + 1 < e && isName(t, next + 1) && (x.k == Val::Null || (x.k == Val::Str && isObjectText(x.s)))) {
        // r.obj.attribute: the record's object field
        size_t q = next;
        Val y = objectSteps(x, q, e, i < cur->fieldTypes.size() ? cur->fieldTypes[i].named : std::string());
        if (q > next) {
          rep = literal(y);
          used = q - k;
          return true;
        }
      }
      bool boolean = i < cur->fieldTypes.size() && cur->fieldTypes[i].kind == TypeSpec::Bool;
      rep = (boolean || x.k == Val::Bool) && x.k == Val::Null ? "(1=NULL)" : literal(x);
      used = next - k;
      return true;
    }
    break;
  }
  // an object element's attributes and methods: f()(2).ename
  if (cur != start && !cur->record && !cur->isColl() && isOp(u.toks, p, ".") && p + 1 < e && isName(u.toks, p + 1) &&
      objectSpec(cur->type)) {
    size_t q = p;
    Val x = objectSteps(cur->v, q, e, cur->type.named);
    if (q > p) {
      rep = literal(x);
      used = q - k;
      return true;
    }
  }
  used = p - k;
  bool afterValues = k > 0 && t[k - 1].kind == T::Word && t[k - 1].text == "VALUES";
  bool nullTest = p + 1 < t.size() && t[p].kind == T::Word && t[p].text == "IS" &&
                  (t[p + 1].text == "NULL" || (t[p + 1].text == "NOT" && p + 2 < t.size() && t[p + 2].text == "NULL"));
  // (after FROM a name is a table's, whatever variable has it)
  bool tableName = k > 0 && t[k - 1].kind == T::Word && (t[k - 1].text == "FROM" || t[k - 1].text == "JOIN");
  if (cur->isColl() && !nullTest && !tableName && cur == start && p == named && cur->def->kind != TypeDecl::Assoc) {
    rep = collectionSql(*cur); // the collection's value, for SQL's collection operators
    return true;
  }
  if ((cur->record && !afterValues) || (cur->isColl() && !nullTest)) {
    // a table of the same name as the variable, or a misuse the statement itself reports
    if (cur != start || p != named) throw compileError(*this, k, "PLS-00382: expression is of wrong type");
    return false;
  }
  if (cur->record) {
    // INSERT ... VALUES rec: the record's fields in order
    rep = "(";
    for (size_t i = 0; i < cur->fields.size(); ++i) rep += (i ? ", " : "") + literal(cur->fields[i]);
    rep += ")";
  } else if (cur->isColl()) {
    rep = cur->coll.p ? "1" : "NULL"; // only IS [NOT] NULL asks for a collection itself
  } else {
    rep = (cur->type.kind == TypeSpec::Bool || cur->v.k == Val::Bool) && cur->v.k == Val::Null ? "(1=NULL)" : literal(cur->v);
  }
  return true;
}

// Whether the expression at k is coll.EXISTS(...) or a BOOLEAN element.
bool Run::compositeCondition(size_t k, size_t e) {
  const auto& t = u.toks;
  size_t p;
  Var* v = wholeVar(k, e, p);
  if (!v || !v->isColl()) return false;
  if (isOp(t, p, ".") && p + 1 < e && t[p + 1].text == "EXISTS") return true;
  return isOp(t, p, "(") && v->def->proto.type.kind == TypeSpec::Bool;
}

bool Run::assignComposite(Range target, Range expr) {
  const auto& t = u.toks;
  size_t p;
  Var* v = wholeVar(target.b, target.e, p);
  if (!v || !(v->record || v->isColl())) return false;
  if (v->constant)
    throw compileError(*this, target.b, "PLS-00363: expression '" + u.text(target) + "' cannot be used as an assignment target");
  // what the target is, from the types alone: the value is worked out before an element is made
  const Var* shape = v;
  int field = -1;
  std::string part; // a nested record as a whole
  for (size_t q = p; q < target.e;) {
    if (shape->record && shape->parts.p) {
      size_t after = q;
      if (const Var* c = fieldCollection(const_cast<Var*>(shape), after, target.e); c != shape) {
        shape = c; // a field of a collection type
        q = after;
        continue;
      }
    }
    if (shape->record && !(part = recordPrefix(*shape, t, q, target.e)).empty()) break;
    if (shape->isColl() && isOp(t, q, "(")) {
      shape = &shape->def->proto;
      q = closing(t, q) + 1;
    } else if (size_t next = 0, i = shape->record ? recordField(*shape, t, q, target.e, next) : std::string::npos;
               shape->record && isOp(t, q, ".") && q + 1 < target.e && (i == std::string::npos || next == target.e)) {
      if (i == std::string::npos) throw componentError(*this, next, t[next].text);
      field = static_cast<int>(i);
      q = next;
    } else {
      throw compileError(*this, q, "PLS-00103: Encountered the symbol \"" + t[q].text + "\"");
    }
  }
  auto value = [&](TypeSpec::K kind) {
    if (kind == TypeSpec::Bool) {
      int c = cond(expr);
      return c < 0 ? Val{} : Val{Val::Bool, "", c == 1};
    }
    return eval(expr);
  };
  if (!part.empty()) {
    Var* cur = v;
    while (p < target.e && isOp(t, p, "(")) cur = fieldCollection(element(*cur, p, p, true), p, target.e);
    std::vector<size_t> at;
    Var whole = recordPart(*cur, part, at);
    assignWhole(whole, expr);
    for (size_t i = 0; i < at.size(); ++i) cur->fields[at[i]] = whole.fields[i];
    if (whole.parts.p && cur->parts.p)
      for (const auto& [name, coll] : whole.parts.p->str) cur->parts.p->str[part + "." + name] = coll;
    return true;
  }
  if (field < 0 && (shape->record || shape->isColl())) {
    Var* cur = v;
    while (p < target.e) cur = fieldCollection(element(*cur, p, p, true), p, target.e);
    assignWhole(*cur, expr);
    return true;
  }
  TypeSpec ty = field >= 0 ? (static_cast<size_t>(field) < shape->fieldTypes.size() ? shape->fieldTypes[field] : TypeSpec{})
                           : shape->type;
  Val x = value(ty.kind);
  Var* cur = v;
  while (p < target.e && isOp(t, p, "(")) cur = fieldCollection(element(*cur, p, p, true), p, target.e);
  if (field < 0) {
    store(*cur, x, expr.b);
    return true;
  }
  Var tmp;
  tmp.type = ty;
  if (ty.kind != TypeSpec::Unknown) store(tmp, x, expr.b);
  else tmp.v = x;
  cur->fields[static_cast<size_t>(field)] = tmp.v;
  return true;
}

void Run::assignWhole(Var& dst, Range expr) {
  const auto& t = u.toks;
  auto wrong = [&] { return compileError(*this, expr.b, "PLS-00382: expression is of wrong type"); };
  if (expr.e == expr.b + 1 && t[expr.b].kind == T::Word && t[expr.b].text == "NULL") {
    if (dst.isColl()) {
      if (dst.def->kind == TypeDecl::Assoc) throw wrong();
      dst.coll.p.reset();
    } else {
      for (Val& f : dst.fields) f = Val{};
    }
    return;
  }
  // a collection type's constructor: name(elements...)
  if (isName(t, expr.b)) {
    size_t open = expr.b + 1;
    if (isOp(t, open, ".") && isName(t, expr.b + 2)) open = expr.b + 3;
    if (isOp(t, open, "(") && closing(t, open) + 1 == expr.e && !find(t[expr.b].text)) {
      std::shared_ptr<const TypeDef> def;
      if (open == expr.b + 1) {
        for (auto it = scopes.rbegin(); it != scopes.rend() && !def; ++it)
          if (auto x = (*it)->types.find(t[expr.b].text); x != (*it)->types.end()) def = x->second;
        if (!def) def = schemaType(t[expr.b].text);
      } else if (Scope* ps = packageScope(t[expr.b].text, expr.b)) {
        if (auto x = ps->types.find(t[expr.b + 2].text); x != ps->types.end()) def = x->second;
      }
      // an element's or field's value
      auto fill = [&](Var& el, Range a) {
        if (el.record || el.isColl()) assignWhole(el, a);
        else if (el.type.kind == TypeSpec::Bool) {
          int c = cond(a);
          store(el, c < 0 ? Val{} : Val{Val::Bool, "", c == 1}, a.b);
        } else if (el.type.kind == TypeSpec::Unknown) {
          el.v = eval(a);
        } else {
          store(el, eval(a), a.b);
        }
      };
      // name => value, or a value alone
      auto arrow = [&](Range a) {
        size_t k = a.b;
        while (k < a.e && !isOp(t, k, "=>")) k = isOp(t, k, "(") ? closing(t, k) + 1 : k + 1;
        return k < a.e ? k : 0;
      };
      if (def && def->kind == TypeDecl::Record && (dst.record || dst.def) && !(dst.def && dst.def != def)) {
        // a record type's qualified expression: its fields by position or by name
        Var rec = def->proto;
        size_t pos = 0;
        for (Range a : arguments(t, open, closing(t, open))) {
          size_t f = pos++;
          if (size_t ar = arrow(a)) {
            if (ar != a.b + 1) throw wrong();
            f = 0;
            while (f < rec.fieldNames.size() && rec.fieldNames[f] != t[a.b].text) ++f;
            if (f == rec.fieldNames.size())
              throw componentError(*this, a.b, t[a.b].text);
            a.b = ar + 1;
          }
          if (f >= rec.fields.size()) throw wrong();
          if (rec.parts.p)
            if (auto it = rec.parts.p->str.find(rec.fieldNames[f]); it != rec.parts.p->str.end()) {
              assignWhole(it->second, a); // a field of a collection type
              continue;
            }
          Var el;
          el.type = f < rec.fieldTypes.size() ? rec.fieldTypes[f] : TypeSpec{};
          fill(el, a);
          rec.fields[f] = el.v;
        }
        dst.fields = std::move(rec.fields);
        dst.parts = std::move(rec.parts);
        return;
      }
      if (def && def->kind == TypeDecl::Assoc) {
        // an associative array's qualified expression: key => value, each
        if (dst.def && dst.def != def) throw wrong();
        auto cl = std::make_unique<Coll>();
        for (Range a : arguments(t, open, closing(t, open))) {
          size_t ar = arrow(a);
          if (!ar) throw compileError(*this, a.b, "PLS-00222: no function with name '" + def->name + "' exists in this scope");
          Var el = def->proto;
          fill(el, {ar + 1, a.e});
          Val key = eval({a.b, ar});
          if (def->strKeys) {
            std::string k = textKey(*this, key);
            if (def->keySize > 0 && byteLength(k, ses.charset) > def->keySize)
              throw valueError("character string buffer too small");
            cl->str.insert_or_assign(k, std::move(el));
          } else {
            cl->num.insert_or_assign(numberKey(*this, key), std::move(el));
          }
        }
        if (!dst.def) dst.def = def;
        dst.coll.p = std::move(cl);
        return;
      }
      if (def && def->kind != TypeDecl::Record) {
        if (dst.def && dst.def != def) throw wrong();
        auto cl = std::make_unique<Coll>();
        for (Range a : arguments(t, open, closing(t, open))) {
          Var el = def->proto;
          fill(el, a);
          cl->num.emplace(++cl->size, std::move(el));
        }
        if (def->kind == TypeDecl::Varray && cl->size > def->limit) throw OraError(6532);
        if (!dst.def) dst.def = def;
        dst.coll.p = std::move(cl);
        return;
      }
    }
  }
  // another record or collection, or an element that is one
  size_t p;
  Var* src = wholeVar(expr.b, expr.e, p);
  std::shared_ptr<Var> given;
  if (!src) {
    // a function returning one
    std::string rep;
    size_t end = expr.b;
    lastWhole.reset();
    if (!callInExpression(expr.b, expr.e, false, rep, end) || end != expr.e || !lastWhole) {
      // a SQL expression of collections: MULTISET UNION, SET(...), CAST(...)
      if (dst.isColl() && collectionFromSql(dst, eval(expr))) return;
      throw wrong();
    }
    given = std::move(lastWhole);
    src = given.get();
    p = expr.e;
  }
  while (p < expr.e && src->isColl() && isOp(t, p, "(")) src = fieldCollection(element(*src, p, p, false), p, expr.e);
  Var part;
  if (p != expr.e && src->record) {
    // a nested record read as a whole
    if (std::string prefix = recordPrefix(*src, t, p, expr.e); !prefix.empty()) {
      std::vector<size_t> at;
      part = recordPart(*src, prefix, at);
      src = &part;
      p = expr.e;
    }
  }
  if (p != expr.e) {
    if (dst.isColl() && !given && collectionFromSql(dst, eval(expr))) return;
    throw wrong();
  }
  if (dst.isColl() || (!dst.record && src->isColl())) {
    if (!src->isColl() || (dst.def && src->def != dst.def)) throw wrong();
    dst.def = src->def;
    dst.coll = src->coll;
    return;
  }
  if (!src->record) throw wrong();
  if (!dst.record && !dst.def) {
    dst = *src;
    dst.constant = false;
    return;
  }
  if (src->fields.size() != dst.fields.size()) throw wrong();
  if (src->parts.p || dst.parts.p) dst.parts = src->parts;
  for (size_t i = 0; i < src->fields.size(); ++i) {
    if (i < dst.fieldTypes.size() && dst.fieldTypes[i].kind != TypeSpec::Unknown) {
      Var tmp;
      tmp.type = dst.fieldTypes[i];
      store(tmp, src->fields[i], expr.b);
      dst.fields[i] = tmp.v;
    } else {
      dst.fields[i] = src->fields[i];
    }
  }
}

// coll.EXTEND, coll.TRIM and coll.DELETE as statements.
bool Run::collectionMethod(const Stmt& s) {
  const auto& t = u.toks;
  size_t p;
  Var* v = wholeVar(s.at, t.size(), p);
  while (v && v->isColl() && isOp(t, p, "(")) v = fieldCollection(element(*v, p, p, false), p, t.size()); // an element that is a collection
  if (!v || !v->isColl() || !isOp(t, p, ".") || !isName(t, p + 1)) return false;
  const std::string& m = t[p + 1].text;
  const TypeDef& d = *v->def;
  auto wrongArgs = [&] {
    return compileError(*this, s.at, "PLS-00306: wrong number or types of arguments in call to '" + m + "'");
  };
  std::vector<Val> args;
  for (Range a : s.conds) args.push_back(eval(a));
  if (m != "EXTEND" && m != "TRIM" && m != "DELETE")
    throw compileError(*this, p + 1, "PLS-00302: component '" + m + "' must be declared");
  if (!v->coll.p) throw OraError(6531);
  Coll& cl = *v->coll.p;
  if (m == "DELETE") {
    if (args.empty()) {
      cl = Coll{};
      return true;
    }
    if (args.size() > 2 || d.kind == TypeDecl::Varray) throw wrongArgs();
    if (args[0].k == Val::Null || args.back().k == Val::Null) return true;
    if (d.strKeys) {
      std::string a = textKey(*this, args[0]), b = textKey(*this, args.back());
      if (a <= b) cl.str.erase(cl.str.lower_bound(a), cl.str.upper_bound(b));
    } else {
      long long a = numberKey(*this, args[0]), b = numberKey(*this, args.back());
      if (a <= b) cl.num.erase(cl.num.lower_bound(a), cl.num.upper_bound(b));
    }
    return true;
  }
  if (d.kind == TypeDecl::Assoc || args.size() > (m == "EXTEND" ? 2u : 1u)) throw wrongArgs();
  long long n = args.empty() ? 1 : numberKey(*this, args[0]);
  if (n < 0) throw valueError("");
  if (m == "TRIM") {
    if (n > cl.size) throw OraError(6533);
    for (long long k = 0; k < n; ++k) cl.num.erase(cl.size--);
    return true;
  }
  if (d.kind == TypeDecl::Varray && cl.size + n > d.limit) throw OraError(6532);
  Var el = d.proto;
  if (args.size() == 2) {
    auto it = cl.num.find(numberKey(*this, args[1]));
    if (it == cl.num.end()) throw OraError(6533);
    el = it->second;
  }
  for (long long k = 0; k < n; ++k) {
    step(); // a runaway EXTEND ends as a runaway loop does
    cl.num[++cl.size] = el;
  }
  return true;
}

Var* Run::targetVar(Range target) {
  const auto& t = u.toks;
  size_t p;
  Var* v = wholeVar(target.b, target.e, p);
  if (!v) return nullptr;
  while (p < target.e && v->isColl() && isOp(t, p, "(")) v = fieldCollection(element(*v, p, p, true), p, target.e);
  return p == target.e ? v : nullptr;
}

bool Run::assignPart(Range target, const Val& x) {
  const auto& t = u.toks;
  size_t p;
  Var* v = wholeVar(target.b, target.e, p);
  if (!v || !(v->record || v->isColl())) return false;
  while (p < target.e && v->isColl() && isOp(t, p, "(")) v = fieldCollection(element(*v, p, p, true), p, target.e);
  if (p == target.e && !v->record && !v->isColl()) {
    store(*v, x, target.b);
    return true;
  }
  if (!v->record || !isOp(t, p, ".")) return false;
  size_t next = 0, i = recordField(*v, t, p, target.e, next);
  if (i == std::string::npos) {
    if (next + 1 != target.e) return false;
    throw componentError(*this, next, t[next].text);
  }
  if (next != target.e) return false;
  Var tmp;
  tmp.type = i < v->fieldTypes.size() ? v->fieldTypes[i] : TypeSpec{};
  if (tmp.type.kind != TypeSpec::Unknown) store(tmp, asValue(x, tmp.type), target.b);
  else tmp.v = x;
  v->fields[i] = tmp.v;
  return true;
}

} // namespace ora::pl
