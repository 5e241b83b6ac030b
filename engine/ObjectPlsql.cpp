// Object types in PL/SQL: variables holding an object's text (NULL while atomically null),
// constructors, attributes read and written, and method calls.
#include "ObjectTypes.h"
#include "PlsqlRun.h"
#include "Session.h"
#include "SqlText.h"

namespace ora::pl {

Val objectMethod(Run& r, const std::string& type, const std::string& method, Val* self, const std::vector<Val>& args,
                 size_t at);
Val constructObject(Run& r, const std::string& type, const std::vector<Val>& args, size_t at, bool defaultOnly);

namespace {

OraError plsError(const Run& r, size_t tok, const std::string& msg) {
  OraError e(6550);
  e.text = "ORA-06550: " + where(r.u.src, r.u.toks[std::min(tok, r.u.toks.size() - 1)].pos) + ":\n" + msg;
  return e;
}

// The arguments between the parentheses at open, with the names given to them (empty when not).
size_t splitArgs(const std::vector<Tok>& t, size_t open, std::vector<Range>& args, std::vector<std::string>& names) {
  size_t close = closing(t, open);
  if (close == open + 1) return close;
  int depth = 0;
  size_t b = open + 1;
  for (size_t k = open + 1; k <= close; ++k) {
    if (k < close && isOp(t, k, "(")) ++depth;
    else if (k < close && isOp(t, k, ")")) --depth;
    else if (k == close || (depth == 0 && isOp(t, k, ","))) {
      std::string name;
      if (k > b + 2 && t[b].kind == T::Word && isOp(t, b + 1, "=>")) {
        name = t[b].text;
        b += 2;
      }
      args.push_back({b, k});
      names.push_back(name);
      b = k + 1;
    }
  }
  return close;
}

Val attrVal(const ObjAttrVal& a) {
  switch (a.k) {
  case 'N': return Val{Val::Num, a.s, false};
  case 'D': return Val{Val::Date, a.s, false};
  case 'S':
  case 'O': return Val{Val::Str, a.s, false};
  default: return Val{};
  }
}

std::string setAttr(Run& r, const std::string& obj, const std::vector<std::string>& path, size_t i, const Val& x,
                    size_t at) {
  ObjValue v;
  if (!decodeObject(obj, v)) throw OraError(6530);
  auto ty = objectType(r.ses.db, v.type);
  int a = ty ? ty->attrIndex(path[i]) : -1;
  if (a < 0 || static_cast<size_t>(a) >= v.attrs.size())
    throw plsError(r, at, "PLS-00302: component '" + path[i] + "' must be declared");
  ObjAttrVal& slot = v.attrs[static_cast<size_t>(a)];
  if (i + 1 < path.size()) {
    if (slot.k == 0) throw OraError(6530);
    slot.s = setAttr(r, slot.s, path, i + 1, x, at);
  } else {
    if (x.k == Val::Bool) throw valueError("");
    std::string text = x.s;
    // a date goes in as the stored form
    slot = attrFromValue(r.ses.db, x.k == Val::Null ? 0 : x.k == Val::Num ? 'N' : 'S', text,
                         ty->attrs[static_cast<size_t>(a)]);
  }
  return encodeObject(v);
}

} // namespace

bool Run::objectTypeName(const std::string& name) {
  if (name.empty() || functionAllowed(name.c_str(), false)) return false;
  auto seen = objectSpecs.find(name);
  if (seen != objectSpecs.end()) return seen->second;
  bool is = objectType(ses.db, name) != nullptr;
  objectSpecs[name] = is;
  return is;
}

bool Run::objectSpec(const TypeSpec& ts) {
  if (ts.kind != TypeSpec::Named || ts.named.empty() || ts.named.find('.') != std::string::npos) return false;
  for (auto it = scopes.rbegin(); it != scopes.rend(); ++it)
    if ((*it)->types.count(ts.named)) return false;
  return objectTypeName(ts.named);
}

// The variable (or collection element) at k holding an object; null for others.
Var* Run::objectVar(size_t k, size_t e, size_t& next) {
  const auto& t = u.toks;
  if (!isName(t, k)) return nullptr;
  Var* v = find(t[k].text);
  next = k + 1;
  if (!v && isOp(t, k + 1, ".") && k + 2 < e && isName(t, k + 2) && !cursor(t[k].text)) {
    // pkg.variable
    if (Scope* ps = packageScope(t[k].text, k)) {
      auto it = ps->vars.find(t[k + 2].text);
      if (it != ps->vars.end()) v = &it->second, next = k + 3;
    }
  }
  if (!v) return nullptr;
  while (v->isColl() && isOp(t, next, "(") && next < e) {
    // only a collection of objects: its element is found (and its subscript read) once
    const Var& proto = v->def->proto;
    if (proto.record || (!proto.isColl() && !objectSpec(proto.type))) return nullptr;
    v = element(*v, next, next, false);
  }
  if (v->record || v->isColl() || !objectSpec(v->type)) return nullptr;
  return v;
}

// A method's argument values when its "(" is at `at`, which then moves past the ")".
std::vector<Val> Run::methodArgs(size_t& at) {
  std::vector<Val> vals;
  if (!isOp(u.toks, at, "(")) return vals;
  std::vector<Range> args;
  std::vector<std::string> names;
  at = splitArgs(u.toks, at, args, names) + 1;
  for (Range r : args) vals.push_back(eval(r));
  return vals;
}

// The .attribute and .method(...) steps from token p after an object value; p ends after them.
// `declared` is the type of an atomically null object, when its declaration says it.
Val Run::objectSteps(Val cur, size_t& p, size_t e, const std::string& declared) {
  const auto& t = u.toks;
  const size_t first = p;
  while (isOp(t, p, ".") && p + 1 < e && isName(t, p + 1)) {
    const std::string& name = t[p + 1].text;
    ObjValue ov;
    bool isObj = cur.k == Val::Str && decodeObject(cur.s, ov);
    if (cur.k != Val::Null && !isObj) break;
    std::string type = isObj ? ov.type : std::string();
    if (type.empty() && p == first) type = declared;
    auto ty = objectType(ses.db, type);
    if (!ty) break;
    int a = ty->attrIndex(name);
    if (a >= 0 && !isOp(t, p + 2, "(")) {
      cur = isObj && static_cast<size_t>(a) < ov.attrs.size() ? attrVal(ov.attrs[static_cast<size_t>(a)]) : Val{};
      p += 2;
      continue;
    }
    if (methodOwner(ses.db, type, name).empty())
      throw plsError(*this, p + 1, "PLS-00302: component '" + name + "' must be declared");
    size_t after = p + 2;
    std::vector<Val> vals = methodArgs(after);
    if (cur.k == Val::Null) throw OraError(30625);
    Val self = cur;
    cur = objectMethod(*this, type, name, &self, vals, p + 1);
    p = after;
  }
  return cur;
}

bool Run::objectRef(size_t k, size_t e, std::string& rep, size_t& used, bool inSql) {
  const auto& t = u.toks;
  if (isOp(t, k, "(")) {
    // (object AS supertype).method(...): the supertype's own method, run on the object (not
    // TREAT's parentheses)
    if (k > 0 && t[k - 1].kind == T::Word && t[k - 1].text == "TREAT") return false;
    if (!(k + 6 < e && isName(t, k + 1) && t[k + 2].kind == T::Word && t[k + 2].text == "AS" && isName(t, k + 3) &&
          isOp(t, k + 4, ")") && isOp(t, k + 5, ".") && isName(t, k + 6)))
      return false;
    Var* v = objectVar(k + 1, e, used);
    const std::string& type = t[k + 3].text;
    const std::string& method = t[k + 6].text;
    if (!v || used != k + 2 || !objectTypeName(type)) return false;
    ObjValue ov;
    if (v->v.k == Val::Null) throw OraError(30625);
    if (!decodeObject(v->v.s, ov) || !objectIsA(ses.db, ov.type, type))
      throw plsError(*this, k + 3, "PLS-00382: expression is of wrong type");
    if (methodOwner(ses.db, type, method).empty())
      throw plsError(*this, k + 6, "PLS-00302: component '" + method + "' must be declared");
    size_t after = k + 7;
    std::vector<Val> vals = methodArgs(after);
    Val self = v->v;
    rep = literal(objectMethod(*this, type, method, &self, vals, k + 6));
    used = after - k;
    return true;
  }
  if (!isName(t, k)) return false;
  Val cur;
  size_t p = k + 1;
  Var* v = find(t[k].text);
  if (!v && isOp(t, k + 1, "(") && t[k].kind == T::Word && objectTypeName(t[k].text)) {
    if (inSql) return false; // SQL makes it, of the row's columns
    // a constructor, by position or by name
    std::vector<Range> args;
    std::vector<std::string> names;
    size_t close = splitArgs(t, k + 1, args, names);
    auto ty = objectType(ses.db, t[k].text);
    if (!ty) return false;
    std::vector<Val> vals(args.size());
    bool named = false;
    for (const auto& n : names) named = named || !n.empty();
    if (named) {
      vals.assign(ty->attrs.size(), Val{});
      if (args.size() != ty->attrs.size())
        throw plsError(*this, k, "PLS-00306: wrong number or types of arguments in call to '" + t[k].text + "'");
      for (size_t a = 0; a < args.size(); ++a) {
        int i = names[a].empty() ? static_cast<int>(a) : ty->attrIndex(names[a]);
        if (i < 0) throw plsError(*this, k, "PLS-00306: wrong number or types of arguments in call to '" + t[k].text + "'");
        vals[static_cast<size_t>(i)] = eval(args[a]);
      }
    } else {
      for (size_t a = 0; a < args.size(); ++a) vals[a] = eval(args[a]);
    }
    try {
      cur = constructObject(*this, t[k].text, vals, k, false);
    } catch (const OraError& e) {
      if (e.code != 2315) throw;
      throw plsError(*this, k, "PLS-00306: wrong number or types of arguments in call to '" + t[k].text + "'");
    }
    p = close + 1;
  } else {
    v = objectVar(k, e, p);
    if (!v || !isOp(t, p, ".") || p + 1 >= e || !isName(t, p + 1)) return false;
    cur = v->v;
  }
  cur = objectSteps(cur, p, e, v && p == k + 1 ? v->type.named : std::string());
  if (p == k + 1) return false;
  used = p - k;
  rep = literal(cur);
  return true;
}

// The object variable and the attribute path an assignment target names (obj.a.b); null when it
// names none.
Var* Run::objectTarget(Range target, std::vector<std::string>& path) {
  const auto& t = u.toks;
  size_t p;
  Var* v = objectVar(target.b, target.e, p);
  if (!v || p >= target.e || !isOp(t, p, ".")) return nullptr;
  path.clear();
  for (; p + 1 < target.e && isOp(t, p, "."); p += 2) path.push_back(t[p + 1].text);
  return p == target.e ? v : nullptr;
}

bool Run::objectAssign(Range target, Range expr) {
  std::vector<std::string> path;
  Var* v = objectTarget(target, path);
  if (!v) return false;
  Val x = eval(expr);
  if (v->v.k == Val::Null) throw OraError(6530);
  v->v.s = setAttr(*this, v->v.s, path, 0, x, target.b);
  return true;
}

bool Run::objectAssignValue(Range target, const Val& x) {
  std::vector<std::string> path;
  Var* v = objectTarget(target, path);
  if (!v) return false;
  if (v->v.k == Val::Null) throw OraError(6530);
  v->v.s = setAttr(*this, v->v.s, path, 0, x, target.b);
  return true;
}

bool Run::objectCall(const Stmt& s) {
  size_t dot = s.name.rfind('.');
  if (dot == std::string::npos) return false;
  std::string head = s.name.substr(0, dot), method = s.name.substr(dot + 1);
  if (head.find('.') != std::string::npos) return false;
  std::vector<Val> args;
  Var* v = find(head);
  if (v && !v->record && !v->isColl() && objectSpec(v->type)) {
    for (Range r : s.conds) args.push_back(eval(r));
    if (v->v.k == Val::Null) throw OraError(30625);
    ObjValue ov;
    if (!decodeObject(v->v.s, ov)) return false;
    if (methodOwner(ses.db, ov.type, method).empty())
      throw plsError(*this, s.at, "PLS-00302: component '" + method + "' must be declared");
    Val self = v->v;
    objectMethod(*this, ov.type, method, &self, args, s.at);
    v->v = self;
    return true;
  }
  if (v || !objectTypeName(head)) return false;
  for (Range r : s.conds) args.push_back(eval(r));
  objectMethod(*this, head, method, nullptr, args, s.at);
  return true;
}

} // namespace ora::pl
