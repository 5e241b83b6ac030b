// Object types in SQL: constructors, attributes and methods reached through a table's alias,
// VALUE of an object table's row, and the types these describe as.
#include "TranslateImpl.h"

#include "Collections.h"
#include "ObjectTypes.h"
#include "PlsqlImpl.h"
#include "Plsql.h"
#include "SqlText.h"

#include <sqlite3.h>

namespace ora::tx {

namespace {

// What a method's heading says it returns; code 0 for a procedure or an unknown type.
ColType methodReturn(const ObjMethod& m) {
  ColType t;
  auto toks = pl::tokens(m.heading);
  for (size_t k = 0; k + 1 < toks.size(); ++k) {
    if (toks[k].kind != pl::T::Word || toks[k].text != "RETURN") continue;
    const std::string& w = toks[k + 1].text;
    if (w == "SELF") {
      t.code = kVarchar2;
      t.size = 4000;
      return t;
    }
    if (w == "NUMBER" || w == "INTEGER" || w == "PLS_INTEGER" || w == "BINARY_INTEGER" || w == "FLOAT" || w == "INT" ||
        w == "REAL" || w == "DECIMAL" || w == "NUMERIC" || w == "SMALLINT" || w == "NATURAL" || w == "POSITIVE" ||
        w == "BINARY_DOUBLE" || w == "BINARY_FLOAT" || w == "DOUBLE")
      t.code = kNumber;
    else if (w == "DATE")
      t.code = kDate;
    else {
      t.code = kVarchar2;
      t.size = 4000;
      if (w != "VARCHAR2" && w != "VARCHAR" && w != "CHAR" && w != "CLOB") t.object = w;
    }
    return t;
  }
  return t;
}

} // namespace

std::string Translator::objectTableType(const std::string& table) {
  sqlite3_stmt* st = nullptr;
  std::string type;
  if (sqlite3_prepare_v2(cat_.db(), "SELECT TYPE_NAME FROM \"TESSEL$OBJECT_TABLES\" WHERE TABLE_NAME = ?1", -1, &st,
                         nullptr) == SQLITE_OK) {
    sqlite3_bind_text(st, 1, table.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(st) == SQLITE_ROW)
      if (const unsigned char* t = sqlite3_column_text(st, 0)) type = reinterpret_cast<const char*>(t);
  }
  sqlite3_finalize(st);
  if (type.empty() || !cat_.tableExists(table)) return {};
  // a row left by a table dropped and made again without OF
  auto ty = objectType(cat_.db(), type);
  const auto& cols = cat_.columns(table);
  if (!ty || cols.size() != ty->attrs.size()) return {};
  for (size_t k = 0; k < cols.size(); ++k)
    if (cols[k].name != ty->attrs[k].name) return {};
  return type;
}

// The table in scope that alias (or an unaliased table's name) at token i stands for.
const TableRef* Translator::objectAlias(size_t i) const {
  const Token& k = at(i);
  if (k.kind != Token::Ident && k.kind != Token::QIdent) return nullptr;
  for (auto c = ctx_.rbegin(); c != ctx_.rend(); ++c)
    for (const auto& r : c->tables)
      if (!r.alias.empty() && r.alias == k.text) return &r;
  return nullptr;
}

// alias.column.attribute... at i: the object column and the attribute names after it, and the
// token after them; a method's name ends the chain when "(" follows it.
bool Translator::objectChain(size_t i, std::string& column, std::string& type, std::vector<std::string>& path,
                             size_t& next, std::string& method) {
  if (!is(at(i + 1), ".") || (i > 0 && is(at(i - 1), "."))) return false;
  if (!is(at(i + 3), ".") && !is(at(i + 3), "(")) return false;
  const Token& alias = at(i);
  if (alias.kind != Token::Ident && alias.kind != Token::QIdent) return false;
  // the innermost query whose FROM has the alias: a table, a view, a subquery or a WITH query
  const Context* scope = nullptr;
  for (auto c = ctx_.rbegin(); c != ctx_.rend() && !scope; ++c) {
    for (const auto& r : c->tables)
      if (!r.alias.empty() && r.alias == alias.text) scope = &*c;
    for (const auto& d : c->derived)
      if (d.second == alias.text) scope = &*c;
  }
  const std::string& name = at(i + 2).text;
  ColType ct;
  if (!scope || !sourceColumnType(*scope, alias.text, name, ct) || ct.object.empty()) return false;
  column = quoteIdent(alias.text) + "." + quoteIdent(name);
  type = ct.object.str();
  // a REF column's attributes are those of the object it points to
  if (type.rfind("REF ", 0) == 0) type.erase(0, 4);
  size_t k = i + 3;
  std::string cur = type;
  std::string shown = "\"" + alias.text + "\".\"" + name + "\"";
  while (is(at(k), ".")) {
    const Token& n = at(k + 1);
    if (n.kind != Token::Ident && n.kind != Token::QIdent) throw OraError(904).at(static_cast<int>(n.pos));
    shown += ".\"" + n.text + "\"";
    auto ty = objectType(cat_.db(), cur);
    if (!ty) throw OraError(904, shown).at(static_cast<int>(n.pos));
    if (is(at(k + 2), "(")) {
      if (!methodOwner(cat_.db(), cur, n.text).empty()) {
        method = n.text;
        type = cur;
        next = k + 2;
        return true;
      }
      throw OraError(904, shown).at(static_cast<int>(n.pos));
    }
    int a = ty->attrIndex(n.text);
    if (a < 0) throw OraError(904, shown).at(static_cast<int>(n.pos));
    path.push_back(n.text);
    cur = ty->attrs[static_cast<size_t>(a)].type.object;
    type = cur;
    k += 2;
    if (cur.empty()) {
      type = ty->name;
      if (is(at(k), ".")) throw OraError(904, shown + ".\"" + at(k + 1).text + "\"").at(static_cast<int>(at(k + 1).pos));
      break;
    }
  }
  next = k;
  return true;
}

// An object table's row as its object: a subtype's own attributes are kept beside the row.
std::string Translator::objectRowValue(const TableRef& r, const std::string& type) {
  auto ty = objectType(cat_.db(), type);
  bool final = ty && ty->final;
  std::string out = final ? "ora_obj_make(" + quoteString(type)
                          : "ora_obj_row(" + quoteString(r.name) + ", " + quoteIdent(r.alias) + ".rowid";
  for (const auto& c : cat_.columns(r.name)) out += ", " + quoteIdent(r.alias) + "." + quoteIdent(c.name);
  return out + ")";
}

namespace {

ColType objectColType(const std::string& type) {
  ColType t;
  t.code = kVarchar2;
  t.size = 4000;
  t.object = type;
  return t;
}

} // namespace

// The arguments of the call whose "(" is at `open`, each after a comma, as the engine's SQL.
std::string Translator::argList(size_t open) {
  std::string s;
  for (auto [ab, ae] : callArgs(open - 1)) {
    if (ab >= ae) continue;
    s += ", " + emit(ab, ae);
  }
  return s;
}

// TREAT(expr AS [REF] type), REF(alias), DEREF(expr) and an object table alias's method call at
// i, with the attributes and the method that may follow TREAT: what it emits, its type and its
// last token.
bool Translator::objectCallTerm(size_t i, std::string& out, ColType& type, size_t& last) {
  const Token& k = t_[i];
  if (calledObjectSteps(i, out, type, last)) return true;
  if (auto ca = collAliases_.find(k.text); ca != collAliases_.end() && k.kind == Token::Ident && is(at(i + 1), ".") &&
                                            is(at(i + 3), "(") && !(i > 0 && is(at(i - 1), ".")) && !objectAlias(i)) {
    // alias.method(...) of TABLE(collection)'s object element
    type = objectColType(ca->second);
    objectSteps(quoteIdent(k.text) + ".\"COLUMN_VALUE\"", i + 1, out, type, last);
    return true;
  }
  if (k.kind == Token::Ident && is(at(i + 1), ".") && is(at(i + 3), "(") && !(i > 0 && is(at(i - 1), "."))) {
    // alias.method(...) of an object table's row
    const TableRef* r = objectAlias(i);
    std::string tt = r ? objectTableType(r->name) : std::string();
    if (tt.empty() || methodOwner(cat_.db(), tt, at(i + 2).text).empty()) return false;
    std::string owner = methodOwner(cat_.db(), tt, at(i + 2).text);
    auto ty = objectType(cat_.db(), owner);
    const ObjMethod* m = ty ? ty->method(at(i + 2).text) : nullptr;
    if (!m || !m->member) return false;
    out = "ora_obj_call(" + objectRowValue(*r, tt) + ", " + quoteString(m->name) + argList(i + 3) + ")";
    type = methodReturn(*m);
    last = matching(i + 3);
    return true;
  }
  if (k.kind != Token::Ident || !is(at(i + 1), "(")) return false;
  size_t close = matching(i + 1);
  if (is(k, "REF") && close == i + 3) {
    const TableRef* r = objectAlias(i + 2);
    std::string tt = r ? objectTableType(r->name) : std::string();
    if (tt.empty()) throw OraError(904, at(i + 2).text).at(static_cast<int>(at(i + 2).pos));
    out = "ora_obj_ref(" + quoteString(r->name) + ", " + quoteIdent(r->alias) + ".rowid)";
    type = objectColType("REF " + tt);
    last = close;
    return true;
  }
  if (is(k, "DEREF") && close > i + 2) {
    ColType given = exprType(i + 2, close);
    std::string inner = given.object.str();
    // a value of another known type is no REF; a bind or a text may hold one
    bool ref = inner.rfind("REF ", 0) == 0;
    if (!ref && (!inner.empty() || (given.code != 0 && given.code != kVarchar2 && given.code != kChar)))
      throw OraError(22806).at(static_cast<int>(at(i + 2).pos));
    out = "ora_obj_deref(" + emit(i + 2, close) + ")";
    if (ref) type = objectColType(inner.substr(4));
    else type.code = kVarchar2, type.size = 4000;
    last = close;
    return true;
  }
  if (!is(k, "TREAT")) return false;
  size_t as = i + 2;
  while (as < close && !(is(t_[as], "AS") && t_[as].depth == at(i + 1).depth + 1)) ++as;
  if (as >= close || as == i + 2) throw OraError(905).at(static_cast<int>(at(as).pos));
  bool ref = is(at(as + 1), "REF");
  size_t n = as + (ref ? 2 : 1);
  if (is(at(n + 1), ".")) n += 2;
  std::string tn = at(n).text;
  if (!objectType(cat_.db(), tn)) throw OraError(902).at(static_cast<int>(at(n).pos));
  std::string value = "ora_obj_treat(" + emit(i + 2, as) + ", " + quoteString((ref ? "REF " : "") + tn) + ")";
  type = objectColType((ref ? "REF " : "") + tn);
  objectSteps(value, close + 1, out, type, last);
  return true;
}

// A constructor's, a static method's or a function's object with .attribute or .method(...) after
// it: pt(3, 4).x, pt.origin().dist(), make_point(2).y.
bool Translator::calledObjectSteps(size_t i, std::string& out, ColType& type, size_t& last) {
  const Token& k = t_[i];
  if (k.kind != Token::Ident || (i > 0 && is(at(i - 1), ".")) || i == stepsFrom_ || is(k, "TREAT")) return false;
  size_t open = is(at(i + 1), "(") ? i + 1 : is(at(i + 1), ".") && is(at(i + 3), "(") ? i + 3 : 0;
  if (!open) return false;
  size_t close = matching(open);
  if (!is(at(close + 1), ".") || (at(close + 2).kind != Token::Ident && at(close + 2).kind != Token::QIdent)) return false;
  if (open == i + 3 && objectAlias(i)) return false; // alias.method(...) of a row
  size_t outer = stepsFrom_;
  stepsFrom_ = i;
  struct Restore {
    size_t& at;
    size_t was;
    ~Restore() { at = was; }
  } restore{stepsFrom_, outer};
  ColType given = exprType(i, close + 1);
  std::string tn = given.object.str();
  if (tn.empty()) {
    // a stored function's (or a package's) object
    tn = open == i + 1 ? storedNamedResult(cat_, {}, k.text) : storedNamedResult(cat_, k.text, at(i + 2).text);
    if (tn.empty() && open == i + 3 && k.text == cat_.user()) tn = storedNamedResult(cat_, {}, at(i + 2).text);
    given = objectColType(tn);
  }
  if (tn.empty() || tn.rfind("REF ", 0) == 0 || !objectType(cat_.db(), tn)) {
    static const std::set<std::string> xml = {"GETSTRINGVAL", "GETCLOBVAL", "GETNUMBERVAL", "EXTRACT", "EXISTSNODE"};
    if (tn.empty() && !xml.count(at(close + 2).text)) throw OraError(923).at(static_cast<int>(at(close + 1).pos));
    return false;
  }
  type = given;
  std::string value = emit(i, close + 1);
  stepsFrom_ = outer;
  objectSteps(value, close + 1, out, type, last);
  return true;
}

// The .attribute and .method(...) steps after an object value that ends before p: what they emit,
// their type and their last token (the value's own when none follows).
void Translator::objectSteps(const std::string& value, size_t p, std::string& out, ColType& type, size_t& last) {
  std::string cur = type.object.str();
  std::string v = value;
  while (is(at(p), ".") && (at(p + 1).kind == Token::Ident || at(p + 1).kind == Token::QIdent)) {
    const Token& a = at(p + 1);
    auto ty = cur.empty() ? nullptr : objectType(cat_.db(), cur);
    if (!ty) throw OraError(904, a.text).at(static_cast<int>(a.pos));
    if (is(at(p + 2), "(")) {
      std::string owner = methodOwner(cat_.db(), cur, a.text);
      auto oty = owner.empty() ? nullptr : objectType(cat_.db(), owner);
      const ObjMethod* m = oty ? oty->method(a.text) : nullptr;
      if (!m) throw OraError(904, a.text).at(static_cast<int>(a.pos));
      v = "ora_obj_call(" + v + ", " + quoteString(m->name) + argList(p + 2) + ")";
      type = methodReturn(*m);
      p = matching(p + 2) + 1; // a method's object has its own attributes and methods
    } else {
      int ai = ty->attrIndex(a.text);
      if (ai < 0) throw OraError(904, a.text).at(static_cast<int>(a.pos));
      v = "ora_obj_attr(" + v + ", " + quoteString(a.text) + ")";
      type = ty->attrs[static_cast<size_t>(ai)].type;
      p += 2;
    }
    cur = type.object.str();
  }
  out = v;
  last = p - 1;
}

bool Translator::objectTerm(size_t i, size_t b, std::string& out, size_t& last) {
  const Token& k = t_[i];
  bool qualified = i > b && is(at(i - 1), ".");
  if (qualified || (k.kind != Token::Ident && k.kind != Token::QIdent)) return false;
  ColType callType;
  if (objectCallTerm(i, out, callType, last)) return true;
  // a constructor: the type's name called
  if (is(at(i + 1), "(") && k.kind == Token::Ident && !functionAllowed(k.text.c_str(), false) &&
      objectType(cat_.db(), k.text)) {
    out = "ora_obj_new(" + quoteString(k.text) + argList(i + 1) + ")";
    last = matching(i + 1);
    return true;
  }
  // VALUE(alias) of an object table's row
  if (is(k, "VALUE") && is(at(i + 1), "(") && is(at(i + 3), ")")) {
    const TableRef* r = objectAlias(i + 2);
    if (!r && collAliases_.count(at(i + 2).text)) {
      // TABLE(collection)'s object element
      out = quoteIdent(at(i + 2).text) + ".\"COLUMN_VALUE\"";
      last = i + 3;
      return true;
    }
    if (!r && xmlAliases_.count(at(i + 2).text)) {
      // a row of XMLTABLE (and TABLE(XMLSEQUENCE(...))): its one XML value
      out = quoteIdent(at(i + 2).text) + ".\"COLUMN_VALUE\"";
      last = i + 3;
      return true;
    }
    std::string type = r ? objectTableType(r->name) : std::string();
    if (type.empty()) throw OraError(904, at(i + 2).text).at(static_cast<int>(at(i + 2).pos));
    out = objectRowValue(*r, type);
    last = i + 3;
    return true;
  }
  if (!is(at(i + 1), ".")) return false;
  // type.static_method(...)
  if (is(at(i + 3), "(") && k.kind == Token::Ident && !objectAlias(i)) {
    if (auto ty = objectType(cat_.db(), k.text)) {
      const ObjMethod* m = ty->method(at(i + 2).text);
      if (m && !m->member && !m->constructor) {
        out = "ora_obj_static(" + quoteString(k.text) + ", " + quoteString(m->name) + argList(i + 3) + ")";
        last = matching(i + 3);
        return true;
      }
    }
    return false;
  }
  std::string column, type, method;
  std::vector<std::string> path;
  size_t next = 0;
  if (!objectChain(i, column, type, path, next, method)) return false;
  std::string value = column;
  if (!path.empty()) {
    value = "ora_obj_attr(" + column;
    for (const auto& p : path) value += ", " + quoteString(p);
    value += ")";
  }
  if (!method.empty()) {
    out = "ora_obj_call(" + value + ", " + quoteString(method) + argList(next) + ")";
    last = matching(next);
    return true;
  }
  out = value;
  last = next - 1;
  return true;
}

bool Translator::objectExprType(size_t b, size_t e, ColType& t) {
  if (b >= e) return false;
  const Token& k = t_[b];
  if (k.kind != Token::Ident && k.kind != Token::QIdent) return false;
  bool call = (is(k, "TREAT") || is(k, "REF") || is(k, "DEREF")) && is(at(b + 1), "(");
  bool rowMethod = is(at(b + 1), ".") && is(at(b + 3), "(") && (objectAlias(b) || collAliases_.count(k.text));
  size_t open = is(at(b + 1), "(") ? b + 1 : is(at(b + 1), ".") && is(at(b + 3), "(") ? b + 3 : 0;
  bool chained = open && b != stepsFrom_ && is(at(matching(open) + 1), ".");
  if (call || rowMethod || chained) {
    // TREAT, REF and DEREF: their emission says their type too
    ColType ct;
    std::string ignored;
    size_t last = b;
    auto saved = replace_;
    auto savedSkip = skip_;
    bool known = objectCallTerm(b, ignored, ct, last);
    replace_ = std::move(saved);
    skip_ = std::move(savedSkip);
    if (known) {
      if (last + 1 != e || ct.code == 0) return false;
      t = ct;
      return true;
    }
  }
  if (is(at(b + 1), "(") && matching(b + 1) + 1 == e && !functionAllowed(k.text.c_str(), false)) {
    if (objectType(cat_.db(), k.text)) {
      t = ColType{};
      t.code = kVarchar2;
      t.size = 4000;
      t.object = k.text;
      return true;
    }
    if (!is(k, "VALUE")) return false;
  }
  if (is(k, "VALUE") && e == b + 4 && is(at(b + 1), "(")) {
    const TableRef* r = objectAlias(b + 2);
    std::string type = r ? objectTableType(r->name) : std::string();
    if (auto ca = collAliases_.find(at(b + 2).text); !r && ca != collAliases_.end()) type = ca->second;
    if (type.empty()) return false;
    t = ColType{};
    t.code = kVarchar2;
    t.size = 4000;
    t.object = type;
    return true;
  }
  if (!is(at(b + 1), ".")) return false;
  if (is(at(b + 3), "(") && matching(b + 3) + 1 == e && !objectAlias(b)) {
    auto ty = objectType(cat_.db(), k.text);
    const ObjMethod* m = ty ? ty->method(at(b + 2).text) : nullptr;
    if (!m) return false;
    t = methodReturn(*m);
    return t.code != 0;
  }
  std::string column, type, method;
  std::vector<std::string> path;
  size_t next = 0;
  if (!objectChain(b, column, type, path, next, method)) return false;
  if (!method.empty()) {
    if (matching(next) + 1 != e) return false;
    std::string owner = methodOwner(cat_.db(), type, method);
    auto ty = objectType(cat_.db(), owner);
    const ObjMethod* m = ty ? ty->method(method) : nullptr;
    if (!m) return false;
    t = methodReturn(*m);
    return t.code != 0;
  }
  if (next != e) return false;
  if (path.empty()) return false;
  auto ty = objectType(cat_.db(), type);
  int a = ty ? ty->attrIndex(path.back()) : -1;
  if (a < 0) return false;
  t = ty->attrs[static_cast<size_t>(a)].type;
  return true;
}

// INSERT INTO object_table SELECT type(...) FROM ...: the object type of the query's one column when
// the table's rows are of it (a final type, its attributes the target columns); empty otherwise.
std::string Translator::objectQueryRow(const std::string& table, size_t s, const std::vector<ColumnInfo>& target) {
  std::string type = objectTableType(table);
  if (type.empty() || !is(at(s), "SELECT")) return {};
  auto ty = objectType(cat_.db(), type);
  if (!ty || !ty->final || ty->attrs.size() != target.size() || target.size() < 2) return {};
  for (size_t k = 0; k < target.size(); ++k)
    if (ty->attrs[k].name != target[k].name) return {};
  int d = t_[s].depth;
  size_t from = clauseEnd(s + 1, size(), d, {"FROM"});
  for (size_t m = s + 1; m < from; ++m)
    if (t_[m].depth == d && is(t_[m], ",")) return {};
  size_t e = s;
  while (e < size() && t_[e].depth >= d) ++e;
  std::string given = subqueryType(s, e).object.str();
  return !given.empty() && objectIsA(cat_.db(), given, type) ? type : std::string();
}

// INSERT INTO object_table VALUES (type(...)): the object's attributes are the row's columns.
bool Translator::objectRow(const std::string& table, size_t b, size_t e, size_t columns, std::vector<std::string>& vals) {
  std::string type = objectTableType(table);
  if (type.empty() || columns < 1) return false;
  std::string given = exprType(b, e).object.str();
  ObjValue literal; // an object PL/SQL made and put in the statement as its text
  if (given.empty() && e == b + 1 && t_[b].kind == Token::Str && decodeObject(t_[b].text, literal)) given = literal.type;
  if (given.empty() || !objectIsA(cat_.db(), given, type)) return false;
  auto ty = objectType(cat_.db(), type);
  std::string v = emit(b, e);
  if (!ty->final) {
    // a subtype's own attributes go beside the row, once it has its identifier
    v = "ora_obj_keep(" + (notSubstitutable(cat_.db(), table, "") ? "ora_obj_check(" + v + ", " + quoteString(type) + ", 1)" : v) + ")";
    tr_.moreSql.push_back("UPDATE \"TESSEL$OBJECT_ROWS\" SET VAL = ora_obj_kept(" + quoteString(type) +
                          ") WHERE TABLE_NAME = " + quoteString(table) + " AND RID = last_insert_rowid()");
    tr_.uncounted.push_back(tr_.moreSql.size() - 1);
  }
  vals.clear();
  for (size_t k = 0; k < ty->attrs.size(); ++k)
    vals.push_back("ora_obj_attr(" + (k && !ty->final ? std::string("ora_obj_kept_value()") : v) + ", " +
                   quoteString(ty->attrs[k].name) + ")");
  return true;
}

// CREATE TABLE t OF type: the type's attributes as its columns.
bool Translator::createObjectTable(const std::string& table, size_t i) {
  if (!is(at(i), "OF")) return false;
  const Token& n = at(i + 1);
  auto ty = n.kind == Token::Ident || n.kind == Token::QIdent ? objectType(cat_.db(), n.text) : nullptr;
  if (!ty) throw OraError(902).at(static_cast<int>(n.pos));
  // NOT SUBSTITUTABLE AT ALL LEVELS: rows of the type itself, none of its subtypes
  bool exact = is(at(i + 2), "NOT") && is(at(i + 3), "SUBSTITUTABLE");
  size_t end = exact ? i + 7 : i + 2;
  if (exact && !(is(at(i + 4), "AT") && is(at(i + 5), "ALL") && is(at(i + 6), "LEVELS"))) unexpected(i + 4);
  if (end < size()) unexpected(end);
  std::string sql = "CREATE TABLE " + quoteIdent(table) + " (";
  for (size_t k = 0; k < ty->attrs.size(); ++k)
    sql += (k ? ", " : "") + quoteIdent(ty->attrs[k].name) + " " + ty->attrs[k].typeText;
  sql += ")";
  Translation inner = translate(sql, cat_, false);
  inner.ddl.push_back("CREATE TABLE IF NOT EXISTS \"TESSEL$OBJECT_TABLES\" (TABLE_NAME TEXT PRIMARY KEY,"
                      " TYPE_NAME TEXT NOT NULL)");
  inner.ddl.push_back("INSERT OR REPLACE INTO \"TESSEL$OBJECT_TABLES\" (TABLE_NAME, TYPE_NAME) VALUES (" +
                      quoteString(table) + ", " + quoteString(ty->name) + ")");
  // each row's object identifier, for REFs to it, from its insertion to its deletion
  inner.ddl.push_back(kObjectRowsDdl);
  inner.ddl.push_back("DELETE FROM \"TESSEL$OBJECT_ROWS\" WHERE TABLE_NAME = " + quoteString(table));
  inner.ddl.push_back("CREATE TRIGGER " + quoteIdent("TESSEL$OID$" + table) + " AFTER INSERT ON " + quoteIdent(table) +
                      " BEGIN INSERT OR REPLACE INTO \"TESSEL$OBJECT_ROWS\" (TABLE_NAME, RID, OID) VALUES (" +
                      quoteString(table) + ", new.rowid, ora_obj_newoid()); END");
  inner.ddl.push_back("CREATE TRIGGER " + quoteIdent("TESSEL$OIDD$" + table) + " AFTER DELETE ON " + quoteIdent(table) +
                      " BEGIN DELETE FROM \"TESSEL$OBJECT_ROWS\" WHERE TABLE_NAME = " + quoteString(table) +
                      " AND RID = old.rowid; END");
  inner.ddl.push_back(kNotSubstitutableDdl);
  inner.ddl.push_back("DELETE FROM \"TESSEL$NOT_SUBSTITUTABLE\" WHERE TABLE_NAME = " + quoteString(table));
  if (exact)
    inner.ddl.push_back("INSERT INTO \"TESSEL$NOT_SUBSTITUTABLE\" (TABLE_NAME, COLUMN_NAME) VALUES (" +
                        quoteString(table) + ", '')");
  tr_ = std::move(inner);
  return true;
}

// Objects compared: by their type's MAP or ORDER method, through the collation that calls it.
bool Translator::objectOperand(size_t lb, size_t le, size_t rb, size_t re) {
  if (le <= lb || re <= rb || skip_[lb] || (!replace_[lb].empty() && !(le == lb + 1 && t_[lb].kind == Token::Str)))
    return false;
  auto object = [&](size_t b, size_t e) {
    if (e == b + 1 && t_[b].kind == Token::Str) return isObjectText(t_[b].text);
    if (!(t_[b].kind == Token::Ident || t_[b].kind == Token::QIdent) || !(is(at(b + 1), "(") || is(at(b + 1), ".")))
      return false;
    try {
      return !exprType(b, e).object.empty();
    } catch (const OraError&) {
      return false;
    }
  };
  if (!object(lb, le) && !object(rb, re)) return false;
  replace_[lb] = "(" + emit(lb, le) + ") COLLATE ORA_OBJECT";
  for (size_t m = lb + 1; m < le; ++m) skip_[m] = 1;
  return true;
}

} // namespace ora::tx

namespace ora {

bool objectTypeInUse(sqlite3* db, const std::string& name) {
  bool used = false;
  sqlite3_stmt* st = nullptr;
  std::string decl = "%\"%\" OBJECT TEXT " + name + " COLLATE%";
  std::string ref = "%\"%\" OBJECT TEXT REF " + name + " COLLATE%"; // a column of REFs to it
  if (sqlite3_prepare_v2(db,
                         "SELECT 1 FROM sqlite_schema WHERE type = 'table' AND name NOT GLOB 'TESSEL$*'"
                         " AND (sql LIKE ?1 OR sql LIKE ?2)",
                         -1, &st, nullptr) == SQLITE_OK) {
    sqlite3_bind_text(st, 1, decl.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 2, ref.c_str(), -1, SQLITE_TRANSIENT);
    used = sqlite3_step(st) == SQLITE_ROW;
  }
  sqlite3_finalize(st);
  st = nullptr;
  if (!used && sqlite3_prepare_v2(db,
                                  "SELECT 1 FROM \"TESSEL$OBJECT_TABLES\" o JOIN sqlite_schema s ON s.name = o.TABLE_NAME"
                                  " WHERE o.TYPE_NAME = ?1 AND s.type = 'table'",
                                  -1, &st, nullptr) == SQLITE_OK) {
    sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    used = sqlite3_step(st) == SQLITE_ROW;
  }
  sqlite3_finalize(st);
  st = nullptr;
  if (!used && sqlite3_prepare_v2(db, "SELECT TEXT FROM \"TESSEL$SOURCE\" WHERE TYPE = 'TYPE' AND NAME <> ?1", -1, &st,
                                  nullptr) == SQLITE_OK) {
    sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    while (!used && sqlite3_step(st) == SQLITE_ROW) {
      auto toks = pl::tokens(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
      // its attributes, its supertype or its elements name the type
      for (size_t k = 3; k < toks.size() && !used; ++k)
        used = toks[k].kind == pl::T::Word && toks[k].text == name;
    }
  }
  sqlite3_finalize(st);
  return used;
}

} // namespace ora

namespace ora::tx {

// DROP TYPE name [FORCE | VALIDATE], DROP TYPE BODY name
void Translator::dropType() {
  bool body = is(at(2), "BODY");
  tr_.function = body ? 83 : 78;
  std::string name;
  size_t i = objectName(body ? 3 : 2, name);
  const char* type = body ? "TYPE BODY" : "TYPE";
  if (cat_.objectTypeOf(name, type).empty()) throw OraError(4043, name);
  bool force = !body && is(at(i), "FORCE");
  if (!body && (force || is(at(i), "VALIDATE"))) ++i;
  if (i < size()) unexpected(i);
  if (!body && !force && objectTypeInUse(cat_.db(), name)) throw OraError(2303);
  std::string types = body ? "('TYPE BODY')" : "('TYPE', 'TYPE BODY')";
  tr_.ddl.push_back("DELETE FROM \"TESSEL$SOURCE\" WHERE NAME = " + quoteString(name) + " AND TYPE IN " + types);
  tr_.ddl.push_back("DELETE FROM \"TESSEL$OBJECTS\" WHERE NAME = " + quoteString(name) + " AND TYPE IN " + types);
  std::string pkg = std::string(kTypePackagePrefix) + name;
  tr_.actions.push_back([pkg](Session& s) { forgetPlsqlState(s, pkg); });
}

} // namespace ora::tx
