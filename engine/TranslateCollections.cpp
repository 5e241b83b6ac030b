// Collections in SQL: the schema's collection types' constructors, TABLE(collection) in FROM,
// and the multiset conditions and operators, written as the engine's collection functions.
#include "Collections.h"
#include "CType.h"
#include "ObjectTypes.h"
#include "OraValues.h"
#include "Session.h"
#include "Plsql.h"
#include "PlsqlImpl.h"
#include "TranslateImpl.h"

#include <algorithm>
#include <cstring>
#include <sqlite3.h>

namespace ora {

namespace {

ColType elemColType(const pl::TypeSpec& s, std::string& decl, char& kind) {
  ColType t;
  switch (s.kind) {
  case pl::TypeSpec::Number:
    t.code = kNumber;
    t.precision = s.precision;
    t.scale = s.scale;
    t.hasScale = s.hasScale;
    kind = 'N';
    decl = "NUMBER";
    if (s.precision > 0)
      decl += "(" + std::to_string(s.precision) + (s.hasScale ? "," + std::to_string(s.scale) : std::string()) + ")";
    break;
  case pl::TypeSpec::Date:
    if (s.dt) {
      // TIMESTAMP and INTERVAL elements keep SQL's stored form, converted as a column's value is
      bool iv = isInterval(s.dt);
      t.code = s.dt;
      t.localZone = s.localZone;
      t.precision = iv ? (s.precision < 0 ? 9 : s.precision) : 0;
      t.scale = s.dt == kIntervalYm ? 0 : iv ? (s.scale < 0 ? 9 : s.scale) : (s.precision < 0 ? 9 : s.precision);
      kind = 'S';
      std::string lead = "(" + std::to_string(t.precision) + ")", frac = "(" + std::to_string(t.scale) + ")";
      decl = s.dt == kIntervalDs   ? "INTERVAL DAY" + lead + " TO SECOND" + frac
             : s.dt == kIntervalYm ? "INTERVAL YEAR" + lead + " TO MONTH"
             : s.dt == kTimestamp  ? "TIMESTAMP" + frac
                                   : "TIMESTAMP" + frac + (s.localZone ? " WITH LOCAL TIME ZONE" : " WITH TIME ZONE");
      break;
    }
    t.code = kDate;
    kind = 'D';
    decl = "DATE";
    break;
  case pl::TypeSpec::Text:
    t.code = kVarchar2;
    t.size = s.size > 0 ? s.size : 4000;
    kind = 'S';
    decl = "VARCHAR2(" + std::to_string(t.size) + ")";
    break;
  default:
    t.code = kVarchar2;
    t.size = 4000;
    kind = 'X';
    if (s.kind == pl::TypeSpec::Named && s.named.find('.') == std::string::npos) t.object = s.named; // maybe an object type
    break;
  }
  return t;
}

} // namespace

bool collectionType(Catalog& cat, const std::string& name, CollType& out) {
  if (name.empty()) return false;
  std::string src = cat.unitSource(name, "TYPE");
  if (src.empty()) return false;
  std::shared_ptr<pl::Unit> u;
  try {
    u = pl::parseTypeSource(src);
  } catch (const OraError&) {
    return false; // an object type
  }
  const pl::Decl& d = u->publicDecls.at(0);
  if (!d.typeDecl || (d.typeDecl->kind != pl::TypeDecl::Nested && d.typeDecl->kind != pl::TypeDecl::Varray)) return false;
  out = CollType{};
  out.name = name;
  out.kind = d.typeDecl->kind == pl::TypeDecl::Varray ? 'V' : 'N';
  out.limit = d.typeDecl->limit;
  out.elemType = elemColType(d.typeDecl->elem, out.elemDecl, out.elem);
  return true;
}

namespace {

// The collection type a package's function returns when the package declares it.
bool packageCollectionType(Catalog& cat, const std::string& pkg, const std::string& name, CollType& out,
                           std::vector<std::pair<std::string, ColType>>* fields = nullptr,
                           std::vector<std::pair<std::string, std::string>>* decls = nullptr) {
  std::string src = cat.unitSource(pkg, "PACKAGE");
  if (src.empty()) return false;
  try {
    std::shared_ptr<pl::Unit> u = pl::parsePackage(src, {});
    const pl::Sub* sub = nullptr;
    for (const pl::Decl& d : u->publicDecls)
      if (d.kind == pl::Decl::Subprogram && d.name == name && d.sub->function) sub = d.sub.get();
    if (!sub || sub->ret.kind != pl::TypeSpec::Named || sub->ret.anchor.e != sub->ret.anchor.b + 1) return false;
    const std::string& type = u->toks[sub->ret.anchor.b].text;
    for (const pl::Decl& d : u->publicDecls) {
      if (d.kind != pl::Decl::Type || d.name != type || !d.typeDecl) continue;
      if (d.typeDecl->kind != pl::TypeDecl::Nested && d.typeDecl->kind != pl::TypeDecl::Varray) return false;
      out = CollType{};
      out.name = type;
      out.kind = d.typeDecl->kind == pl::TypeDecl::Varray ? 'V' : 'N';
      out.limit = d.typeDecl->limit;
      out.elemType = elemColType(d.typeDecl->elem, out.elemDecl, out.elem);
      // elements of the package's record type: its fields are the rows' columns
      const pl::TypeSpec& el = d.typeDecl->elem;
      if (fields && decls && el.kind == pl::TypeSpec::Named && el.anchor.e == el.anchor.b + 1)
        for (const pl::Decl& r : u->publicDecls)
          if (r.kind == pl::Decl::Type && r.name == u->toks[el.anchor.b].text && r.typeDecl &&
              r.typeDecl->kind == pl::TypeDecl::Record)
            for (const auto& f : r.typeDecl->fields) {
              std::string decl;
              char kind = 'S';
              ColType ft = elemColType(f.type, decl, kind);
              const pl::Range a = f.type.anchor;
              if (f.type.kind == pl::TypeSpec::Unknown && !f.type.rowtype && a.e == a.b + 3 &&
                  u->toks[a.b + 1].text == ".") {
                // table.column%TYPE: the column's own type
                for (const auto& c : cat.columns(u->toks[a.b].text))
                  if (c.name == u->toks[a.b + 2].text) {
                    ft = c.type;
                    decl = declTypeText(c.type, cat.session() ? cat.session()->charset : Charset::AL32UTF8);
                  }
              }
              if (decl.empty()) decl = "VARCHAR2(4000)";
              fields->emplace_back(f.name, ft);
              decls->emplace_back(f.name, decl);
            }
      return true;
    }
  } catch (const OraError&) {
  }
  return false;
}

} // namespace

// The named type a stored function (or a package's) returns; empty for any other.
std::string storedNamedResult(Catalog& cat, const std::string& pkg, const std::string& name) {
  std::string src = cat.unitSource(pkg.empty() ? name : pkg, pkg.empty() ? "FUNCTION" : "PACKAGE");
  if (src.empty()) return {};
  try {
    std::shared_ptr<pl::Unit> u = pkg.empty() ? pl::parseProcedure(src) : pl::parsePackage(src, {});
    const pl::Sub* sub = pkg.empty() ? u->sub.get() : nullptr;
    if (!pkg.empty())
      for (const pl::Decl& d : u->publicDecls)
        if (d.kind == pl::Decl::Subprogram && d.name == name && d.sub->function) sub = d.sub.get();
    if (!sub || !sub->function || sub->ret.kind != pl::TypeSpec::Named || sub->ret.anchor.e != sub->ret.anchor.b + 1) return {};
    return u->toks[sub->ret.anchor.b].text;
  } catch (const OraError&) {
    return {};
  }
}

// The collection type a stored function (or a package's) returns; empty for any other.
std::string storedCollectionType(Catalog& cat, const std::string& pkg, const std::string& name) {
  std::string type = storedNamedResult(cat, pkg, name);
  CollType ct;
  return !type.empty() && collectionType(cat, type, ct) ? type : std::string();
}

namespace tx {

namespace {

size_t closeOf(const std::vector<Token>& t, size_t open) {
  size_t j = open + 1;
  while (j < t.size() && !(t[j].depth == t[open].depth && is(t[j], ")"))) ++j;
  return j;
}

size_t openOf(const std::vector<Token>& t, size_t close) {
  size_t j = close;
  while (j > 0) {
    --j;
    if (t[j].depth == t[close].depth && is(t[j], "(")) return j;
  }
  return close;
}

bool nameTok(const Token& k) { return k.kind == Token::Ident || k.kind == Token::QIdent; }

// The first token of the value that ends at token j: a literal, bind, [qualified] name, call or
// parenthesized expression, and those joined by arithmetic.
size_t operandStart(const std::vector<Token>& t, size_t j) {
  auto primary = [&](size_t k) {
    if (is(t[k], ")")) {
      size_t s = openOf(t, k);
      if (s > 0 && nameTok(t[s - 1]) && !keywordAt(t, s - 1)) {
        --s;
        while (s >= 2 && is(t[s - 1], ".") && nameTok(t[s - 2])) s -= 2;
      }
      return s;
    }
    size_t s = k;
    while (s >= 2 && is(t[s - 1], ".") && nameTok(t[s - 2])) s -= 2;
    return s;
  };
  size_t s = primary(j);
  while (s >= 2 && t[s - 1].kind == Token::Op &&
         (is(t[s - 1], "+") || is(t[s - 1], "-") || is(t[s - 1], "*") || is(t[s - 1], "/") || is(t[s - 1], "||")) &&
         (is(t[s - 2], ")") || (t[s - 2].kind != Token::Op && !keywordAt(t, s - 2))))
    s = primary(s - 2);
  return s;
}

// The token after the value that starts at j.
size_t operandEnd(const std::vector<Token>& t, size_t j) {
  if (j >= t.size()) return j;
  if (is(t[j], "-") || is(t[j], "+")) return operandEnd(t, j + 1);
  // unbalanced, the operand runs to the statement's end, never past it
  if (is(t[j], "(")) return std::min(closeOf(t, j) + 1, t.size());
  if (nameTok(t[j])) {
    size_t k = j;
    while (k + 2 < t.size() && is(t[k + 1], ".") && nameTok(t[k + 2])) k += 2;
    if (k + 1 < t.size() && is(t[k + 1], "(")) return std::min(closeOf(t, k + 1) + 1, t.size());
    return k + 1;
  }
  return j + 1;
}

// Whether a value can end at token j, and start at j: a column named MEMBER or EMPTY is none
// of these operators.
bool valueEnd(const std::vector<Token>& t, size_t j) {
  const Token& k = t[j];
  return is(k, ")") || is(k, "NULL") || k.kind == Token::Str || k.kind == Token::Num || k.kind == Token::Bind ||
         (nameTok(k) && !keywordAt(t, j));
}
bool valueStart(const std::vector<Token>& t, size_t j) {
  if (j >= t.size()) return false;
  const Token& k = t[j];
  return is(k, "(") || is(k, "-") || k.kind == Token::Str || k.kind == Token::Num || k.kind == Token::Bind ||
         (nameTok(k) && !keywordAt(t, j));
}

bool collectionHelperCall(const std::vector<Token>& t, size_t b) {
  static const char* const names[] = {"ORA_COLL_MAKE", "ORA_COLL_UNION", "ORA_COLL_INTERSECT", "ORA_COLL_EXCEPT", "ORA_COLL_SET", "ORA_COLL_CAST"};
  return t[b].kind == Token::Ident && b + 1 < t.size() && is(t[b + 1], "(") &&
         std::any_of(std::begin(names), std::end(names), [&](const char* n) { return t[b].text == n; });
}

// Whether the value [b, e) is a collection by its form alone: a constructor, a multiset
// operation's result, a CAST to a collection type.
bool collectionForm(const std::vector<Token>& t, size_t b, size_t e, Catalog& cat) {
  // an operand of unbalanced parentheses may end past the statement
  if (e <= b + 1 || e > t.size() || !is(t[e - 1], ")")) return false;
  size_t open = openOf(t, e - 1);
  if (open != b + 1 || t[b].kind != Token::Ident) return false;
  if (collectionHelperCall(t, b)) return true;
  CollType ct;
  return collectionType(cat, t[b].text, ct);
}

std::string quoted(const std::string& s) { return quoteString(s); }

std::string typeArgs(const CollType& ct) {
  return quoted(ct.name) + ", '" + std::string(1, ct.kind) + "', '" + std::string(1, ct.elem) + "'";
}

// One rewrite of the text, or false when nothing is left to rewrite.
bool rewriteOnce(const std::string& text, Catalog& cat, std::string& out) {
  std::vector<Token> t = tokenize(text);
  const size_t n = t.size();
  auto piece = [&](size_t b, size_t e) { return e > b ? text.substr(t[b].pos, t[e - 1].end - t[b].pos) : std::string(); };
  auto replace = [&](size_t b, size_t e, const std::string& with) {
    out = text.substr(0, t[b].pos) + with + (e < n ? text.substr(t[e - 1].end) : std::string());
    return true;
  };
  const bool update = n > 0 && (is(t[0], "UPDATE") || is(t[0], "MERGE"));
  bool whereSeen = false;
  for (size_t i = 0; i < n; ++i) {
    const Token& k = t[i];
    if (is(k, "WHERE") && k.depth == 0) whereSeen = true;
    // CAST(MULTISET(subquery) AS type), CAST(collection AS type)
    if (is(k, "CAST") && i + 1 < n && is(t[i + 1], "(")) {
      size_t close = closeOf(t, i + 1), as = i + 2;
      while (as < close && !(t[as].depth == k.depth + 1 && is(t[as], "AS"))) ++as;
      CollType ct;
      const bool multiset = is(t[i + 2], "MULTISET") && i + 3 < n && is(t[i + 3], "(");
      // the built-in list types may be named with their owner, SYS
      size_t tn = as + 1;
      if (tn + 2 < close && is(t[tn], "SYS") && is(t[tn + 1], ".") && t[tn + 2].text.starts_with("ODCI")) tn += 2;
      if (tn + 1 != close || !nameTok(t[tn]) || !collectionType(cat, t[tn].text, ct)) {
        // a MULTISET casts to a collection type only
        if (multiset && as + 1 < close) throw OraError(22907).at(static_cast<int>(t[as + 1].pos));
        continue;
      }
      if (is(t[i + 2], "MULTISET") && i + 3 < n && is(t[i + 3], "(") && closeOf(t, i + 3) + 1 == as) {
        size_t sb = i + 4, se = closeOf(t, i + 3);
        if (!is(t[sb], "SELECT") && !is(t[sb], "WITH")) throw OraError(936).at(static_cast<int>(t[sb].pos));
        // the subquery's one column, named so the gathering can read it
        size_t sel = sb;
        while (sel < se && !(is(t[sel], "SELECT") && t[sel].depth == t[sb].depth)) ++sel;
        size_t from = sel + 1;
        while (from < se && !(t[from].depth == t[sb].depth && is(t[from], "FROM"))) ++from;
        size_t itemB = sel + 1;
        if (is(t[itemB], "DISTINCT") || is(t[itemB], "UNIQUE") || is(t[itemB], "ALL")) ++itemB;
        std::vector<size_t> commas;
        for (size_t x = itemB; x < from; ++x)
          if (t[x].depth == t[sb].depth && is(t[x], ",")) commas.push_back(x);
        if (!commas.empty()) {
          // columns of an object type's attributes: each row one object of them
          const std::string& elem = ct.elemType.object.str();
          auto ty = elem.empty() ? nullptr : objectType(cat.db(), elem);
          if (!ty || ty->attrs.size() != commas.size() + 1) throw OraError(913).at(static_cast<int>(t[commas[0]].pos));
          std::string items;
          commas.push_back(from);
          for (size_t a = itemB, c = 0; c < commas.size(); a = commas[c++] + 1) {
            size_t b = commas[c];
            // without its alias
            if (b >= a + 2 && nameTok(t[b - 1]) && !keywordAt(t, b - 1) &&
                (is(t[b - 2], "AS") || t[b - 2].kind != Token::Op || is(t[b - 2], ")")))
              b -= is(t[b - 2], "AS") ? 2 : 1;
            items += (c ? ", " : "") + piece(a, b);
          }
          std::string sub = text.substr(t[sb].pos, t[itemB].pos - t[sb].pos) + elem + "(" + items + ") \"MS$V\"" +
                            text.substr(t[from - 1].end, t[se - 1].end - t[from - 1].end);
          std::string agg = "ora_coll_or_empty((SELECT ora_coll_agg(" + typeArgs(ct) + ", " + std::to_string(ct.limit) +
                            ", \"MS$V\", 0) FROM (" + sub + ")), " + typeArgs(ct) + ")";
          return replace(i, close + 1, agg);
        }
        std::string sub = piece(sb, se), column = "MS$V";
        bool aliased = from >= itemB + 2 && nameTok(t[from - 1]) && !keywordAt(t, from - 1) &&
                       (is(t[from - 2], "AS") || t[from - 2].kind != Token::Op || is(t[from - 2], ")"));
        if (from == itemB + 1 && nameTok(t[itemB])) column = t[itemB].text;
        else if (from == itemB + 3 && is(t[itemB + 1], ".") && nameTok(t[itemB + 2])) column = t[itemB + 2].text;
        else if (aliased) column = t[from - 1].text;
        else if (from > itemB && from < n)
          sub = text.substr(t[sb].pos, t[from - 1].end - t[sb].pos) + " \"MS$V\"" + text.substr(t[from - 1].end, t[se - 1].end - t[from - 1].end);
        if (from == itemB + 1 && is(t[itemB], "*")) throw OraError(913).at(static_cast<int>(t[itemB].pos));
        std::string agg = "ora_coll_or_empty((SELECT ora_coll_agg(" + typeArgs(ct) + ", " + std::to_string(ct.limit) + ", " +
                          quoteIdent(column) + ", 0) FROM (" + sub + ")), " + typeArgs(ct) + ")";
        return replace(i, close + 1, agg);
      }
      return replace(i, close + 1, "ora_coll_cast(" + piece(i + 2, as) + ", " + typeArgs(ct) + ", " + std::to_string(ct.limit) + ")");
    }
    // SET(nested table), where a value stands
    if (is(k, "SET") && i > 0 && i + 1 < n && is(t[i + 1], "(") &&
        ((t[i - 1].kind == Token::Op && !is(t[i - 1], ")")) ||
         (t[i - 1].kind == Token::Ident && keywordAt(t, i - 1) && !is(t[i - 1], "UPDATE")) || is(t[i - 1], "SELECT")))
      return replace(i, i + 1, "ora_coll_set");
    // a MULTISET UNION | INTERSECT | EXCEPT [ALL | DISTINCT] b
    if (is(k, "MULTISET") && i > 0 && i + 1 < n && (is(t[i + 1], "UNION") || is(t[i + 1], "INTERSECT") || is(t[i + 1], "EXCEPT"))) {
      size_t r = i + 2;
      bool distinct = false;
      if (r < n && (is(t[r], "ALL") || is(t[r], "DISTINCT"))) distinct = is(t[r++], "DISTINCT");
      if (!valueEnd(t, i - 1) || !valueStart(t, r)) continue;
      size_t lb = operandStart(t, i - 1), re = operandEnd(t, r);
      std::string f = is(t[i + 1], "UNION") ? "ora_coll_union" : is(t[i + 1], "INTERSECT") ? "ora_coll_intersect" : "ora_coll_except";
      return replace(lb, re, f + "(" + piece(lb, i) + ", " + piece(r, re) + ", " + (distinct ? "1" : "0") + ")");
    }
    // x [NOT] MEMBER [OF] c, a [NOT] SUBMULTISET [OF] b
    if ((is(k, "MEMBER") || is(k, "SUBMULTISET")) && i > 0) {
      size_t l = i - 1;
      bool negated = is(t[l], "NOT");
      if (negated) {
        if (l == 0) continue;
        --l;
      }
      size_t r = i + 1;
      if (r < n && is(t[r], "OF")) ++r;
      if (!valueEnd(t, l) || !valueStart(t, r)) continue;
      size_t lb = operandStart(t, l), re = operandEnd(t, r);
      std::string f = is(k, "MEMBER") ? "ora_coll_member" : "ora_coll_submultiset";
      return replace(lb, re, "(" + f + "(" + piece(lb, l + 1) + ", " + piece(r, re) + ") = " + (negated ? "0" : "1") + ")");
    }
    // c IS [NOT] A SET, c IS [NOT] EMPTY
    if (is(k, "IS") && i > 0) {
      size_t r = i + 1;
      bool negated = r < n && is(t[r], "NOT");
      if (negated) ++r;
      std::string f;
      size_t end = r;
      if (r + 1 < n && is(t[r], "A") && is(t[r + 1], "SET")) f = "ora_coll_isset", end = r + 2;
      else if (r < n && is(t[r], "EMPTY")) f = "ora_coll_isempty", end = r + 1;
      if (f.empty() || !valueEnd(t, i - 1)) continue;
      size_t lb = operandStart(t, i - 1);
      return replace(lb, end, "(" + f + "(" + piece(lb, i) + ") = " + (negated ? "0" : "1") + ")");
    }
    // a [NOT] IN (b, c, ...) of nested tables: equal to one of them
    if (is(k, "IN") && i > 0 && i + 2 < n && is(t[i + 1], "(") && !is(t[i + 2], "SELECT") && !is(t[i + 2], "WITH")) {
      size_t l = i - 1;
      bool negated = is(t[l], "NOT");
      if (negated && l == 0) continue;
      if (negated) --l;
      if (!valueEnd(t, l)) continue;
      size_t lb = operandStart(t, l), close = closeOf(t, i + 1);
      if (!collectionForm(t, lb, l + 1, cat) || close >= n) continue;
      std::string any, left = piece(lb, l + 1);
      for (size_t b = i + 2, x = i + 2; x <= close; ++x) {
        if (x != close && !(is(t[x], ",") && t[x].depth == t[i].depth + 1)) continue;
        any += (any.empty() ? "" : " OR ") + ("ora_coll_eq(" + left + ", " + piece(b, x) + ") = 1");
        b = x + 1;
      }
      return replace(lb, close + 1, std::string(negated ? "(NOT (" : "((") + any + "))");
    }
    // nested tables compared: equal when they hold the same elements
    if ((is(k, "=") || is(k, "<>") || is(k, "!=") || is(k, "^=")) && i > 0 && i + 1 < n && (!update || whereSeen)) {
      size_t lb = operandStart(t, i - 1), re = operandEnd(t, i + 1);
      if (lb > 0 && is(t[lb - 1], "SET")) continue;
      if (!collectionForm(t, lb, i, cat) && !collectionForm(t, i + 1, re, cat)) continue;
      return replace(lb, re, "(ora_coll_eq(" + piece(lb, i) + ", " + piece(i + 1, re) + ") = " + (is(k, "=") ? "1" : "0") + ")");
    }
  }
  return false;
}

} // namespace

// Select list items the rewrite changes keep the heading Oracle gives them as written: each
// such item without an alias gets its heading as one.
std::string withHeadings(const std::string& text, Catalog& cat) {
  std::vector<Token> t = tokenize(text);
  static const char* const operatorWords[] = {"OF", "UNION", "INTERSECT", "EXCEPT", "ALL", "DISTINCT", "IS", "NOT", "A",
                                              "MEMBER", "SUBMULTISET", "MULTISET", "AND", "OR", "THEN", "ELSE", "WHEN"};
  auto operatorWord = [&](const Token& k) {
    return std::any_of(std::begin(operatorWords), std::end(operatorWords), [&](const char* w) { return is(k, w); });
  };
  std::vector<std::pair<size_t, std::string>> inserts; // byte offset, alias
  for (size_t s = 0; s < t.size(); ++s) {
    if (!is(t[s], "SELECT")) continue;
    const int d = t[s].depth;
    size_t b = s + 1;
    if (b < t.size() && (is(t[b], "DISTINCT") || is(t[b], "UNIQUE") || is(t[b], "ALL"))) ++b;
    for (size_t k = b; k <= t.size(); ++k) {
      bool end = k == t.size() || t[k].depth < d || (t[k].depth == d && (is(t[k], ",") || is(t[k], "FROM") || is(t[k], "INTO")));
      if (!end) continue;
      size_t e = k;
      if (e > b) {
        bool aliased = (e >= b + 2 && is(t[e - 2], "AS")) ||
                       (e >= b + 2 && nameTok(t[e - 1]) && !keywordAt(t, e - 1) && !is(t[e - 1], "EMPTY") && !is(t[e - 1], "SET") &&
                        !is(t[e - 1], "END") && (is(t[e - 2], ")") || t[e - 2].kind == Token::Str || t[e - 2].kind == Token::Num ||
                                                 (nameTok(t[e - 2]) && !operatorWord(t[e - 2]))));
        std::string item = text.substr(t[b].pos, t[e - 1].end - t[b].pos), changed;
        if (!aliased && rewriteOnce(item, cat, changed)) {
          std::string h;
          for (size_t x = b; x < e; ++x) {
            std::string r = t[x].raw;
            for (auto& c : r) c = static_cast<char>(ora::upperC(static_cast<unsigned char>(c)));
            if (t[x].kind == Token::Str) r.erase(std::remove(r.begin(), r.end(), ' '), r.end());
            h += r;
          }
          if (h.find('"') == std::string::npos && h.size() <= 128) inserts.emplace_back(t[e - 1].end, " \"" + h + "\"");
        }
      }
      if (k == t.size() || t[k].depth < d || !is(t[k], ",")) break;
      b = k + 1;
    }
  }
  std::string out = text;
  for (auto it = inserts.rbegin(); it != inserts.rend(); ++it) out.insert(it->first, it->second);
  return out;
}

bool rewriteCollections(const std::string& text, Catalog& cat, std::string& out) {
  // cheap test first: most statements name none of these words
  static const char* const words[] = {"MEMBER", "SUBMULTISET", "MULTISET", "EMPTY", " SET", "CAST", "=", "SET(", "ORA_COLL_MAKE("};
  std::string up = text;
  for (char& c : up) c = static_cast<char>(ora::upperC(static_cast<unsigned char>(c)));
  bool maybe = false;
  for (const char* w : words) maybe = maybe || up.find(w) != std::string::npos;
  // without a type of the schema there is no collection to operate on (and a CAST of a MULTISET
  // names no collection type)
  if (!maybe || (!cat.anyUnit("TYPE") && up.find("ORA_COLL_MAKE(") == std::string::npos && up.find("MULTISET") == std::string::npos &&
                 up.find("ODCI") == std::string::npos))
    return false;
  std::string cur = text, next;
  if (!rewriteOnce(cur, cat, next)) {
    // a PL/SQL collection's value written in by the interpreter: translated as the engine's own
    if (up.find("ORA_COLL_MAKE(") == std::string::npos || CollectionCalls::depth > 0) return false;
    out = text;
    return true;
  }
  cur = withHeadings(text, cat);
  bool changed = false;
  for (int k = 0; k < 500 && rewriteOnce(cur, cat, next); ++k) {
    cur.swap(next);
    changed = true;
  }
  if (changed) out = cur;
  return changed;
}

// NAME(elements...) of a collection type at i: each element converted to the element type.
bool Translator::collectionConstructor(size_t i, std::string& call) {
  const Token& k = t_[i];
  if (k.kind != Token::Ident || !is(at(i + 1), "(") || (i > 0 && is(at(i - 1), "."))) return false;
  CollType ct;
  if (!collectionType(cat_, k.text, ct)) return false;
  call = "ora_coll(" + typeArgs(ct) + ", " + std::to_string(ct.limit);
  auto args = callArgs(i);
  for (auto [ab, ae] : args) {
    if (ab >= ae && args.size() == 1) break;
    if (ab >= ae) throw OraError(936).at(static_cast<int>(t_[ae].pos));
    std::string v = emit(ab, ae);
    const ColType& et = ct.elemType;
    if (ct.elem == 'D') v = "ora_conv(" + v + ", " + std::to_string(kDate) + ", 0, 0, 0, 0, 'date')";
    else if (ct.elem == 'N' || ct.elem == 'S')
      v = "ora_conv(" + v + ", " + std::to_string(et.code) + ", " + std::to_string(et.size) + ", " + std::to_string(et.precision) +
          ", " + std::to_string(et.scale) + ", " + (et.hasScale ? "1" : "0") + ", 'CAST VALUE')";
    call += ", " + v;
  }
  call += ")";
  return true;
}

bool Translator::collectionCall(size_t& i, std::string& call) {
  const Token& k = t_[i];
  if (collectionConstructor(i, call)) {
    i = matching(i + 1);
    return true;
  }
  if ((k.text.rfind("ORA_COLL_", 0) == 0 || k.text == "ORA_FLASHBACK") && CollectionCalls::depth > 0) {
    // the rewritten multiset operators' functions (and a flashback query's guard), named in lower
    // case as registered
    call = k.text;
    for (auto& ch : call) ch = static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch - 'A' + 'a' : ch);
    return true;
  }
  if (k.text == "COLLECT") {
    // COLLECT([DISTINCT | UNIQUE | ALL] x [ORDER BY keys]); flags bit 0: leave NULLs out, bit 1: DISTINCT
    size_t close = matching(i + 1), b = i + 2, e = close;
    int flags = 1;
    if (is(at(b), "DISTINCT") || is(at(b), "UNIQUE")) flags |= 2, ++b;
    else if (is(at(b), "ALL")) ++b;
    for (size_t m = b; m < close; ++m)
      if (t_[m].depth == k.depth + 1 && is(t_[m], "ORDER") && is(at(m + 1), "BY")) {
        e = m;
        break;
      }
    for (size_t m = b; m < e; ++m)
      if (t_[m].depth == k.depth + 1 && is(t_[m], ",")) throw OraError(909);
    if (b >= e) throw OraError(936).at(static_cast<int>(at(b).pos));
    ColType x = exprType(b, e);
    char kind = x.code == kNumber ? 'N' : x.code == kDate ? 'D' : 'S';
    size_t count = 0;
    std::string keys = e < close ? sortKeys(e + 2, close, k.depth + 1, count) : std::string();
    call = std::string("ora_coll_agg('SYSTPCOLLECT', 'N', '") + kind + "', 0, " + emit(b, e) + ", " +
           std::to_string(flags) + keys + ")";
    i = close;
    return true;
  }
  return false;
}

size_t Translator::collectionFrom(size_t i, Context& c) {
  const Token& k = t_[i];
  // THE(subquery): the older name of TABLE(subquery)
  if ((is(k, "TABLE") || (is(k, "THE") && is(at(i + 2), "SELECT"))) && is(at(i + 1), "(")) return collectionTable(i, c, false);
  if (k.kind != Token::Ident || keywordAt(t_, i)) return 0;
  // a table function called without TABLE
  if (is(at(i + 1), "(") && storedFunctionType(cat_, {}, k.text) > 0) return collectionTable(i, c, true);
  if (is(at(i + 1), ".") && at(i + 2).kind == Token::Ident && is(at(i + 3), "(") && storedFunctionType(cat_, k.text, at(i + 2).text) > 0)
    return collectionTable(i, c, true);
  return 0;
}

// The collection type of the value [b, e), when its form tells it; empty otherwise.
std::string Translator::collectionTypeOf(size_t b, size_t e) {
  if (e <= b) return {};
  const Token& f = t_[b];
  if (is(f, "SELECT")) {
    // a subquery of one collection column
    size_t from = b + 1;
    while (from < e && !(t_[from].depth == f.depth && is(t_[from], "FROM"))) ++from;
    size_t ie = from;
    if (ie > b + 2 && aliasToken(ie - 1) && (is(t_[ie - 2], ")") || is(t_[ie - 2], "AS"))) ie -= is(t_[ie - 2], "AS") ? 2 : 1;
    return collectionTypeOf(b + 1, ie);
  }
  bool call = f.kind == Token::Ident && is(at(b + 1), "(") && matching(b + 1) + 1 == e;
  CollType ct;
  if (call && collectionType(cat_, f.text, ct)) return f.text;
  if (call && collectionHelperCall(t_, b)) {
    auto args = callArgs(b);
    if (f.text == "ORA_COLL_CAST" && args.size() >= 2 && at(args[1].first).kind == Token::Str) {
      pin_[args[1].first] = 1;
      return at(args[1].first).text;
    }
    if (f.text == "ORA_COLL_MAKE" && !args.empty() && at(args[0].first).kind == Token::Str) {
      for (size_t a = 0; a < std::min<size_t>(4, args.size()); ++a) pin_[args[a].first] = 1;
      return at(args[0].first).text;
    }
    if (!args.empty()) return collectionTypeOf(args[0].first, args[0].second);
  }
  if (call && (f.text == "ORA_COLL_OR_EMPTY") && callArgs(b).size() == 4) return at(callArgs(b)[1].first).text;
  if (call && !(b > 0 && is(at(b - 1), "."))) return storedCollectionType(cat_, {}, f.text);
  if (f.kind == Token::Ident && is(at(b + 1), ".") && at(b + 2).kind == Token::Ident && is(at(b + 3), "(") && matching(b + 3) + 1 == e)
    return storedCollectionType(cat_, f.text, at(b + 2).text);
  if (f.kind == Token::Ident && is(at(b + 1), ".") && at(b + 2).kind == Token::Ident && e == b + 3) {
    std::string t = storedCollectionType(cat_, f.text, at(b + 2).text);
    if (t.empty() && f.text == cat_.user()) t = storedCollectionType(cat_, {}, at(b + 2).text); // schema.function
    if (!t.empty()) return t;
  }
  if (e == b + 1 && f.kind == Token::Ident && !is(at(b + 1), "(")) return storedCollectionType(cat_, {}, f.text);
  return {};
}

bool Translator::collectionExprType(size_t b, size_t e, ColType& out) {
  const Token& f = t_[b];
  if (f.kind != Token::Ident) return false;
  bool call = is(at(b + 1), "(") && matching(b + 1) + 1 == e;
  if (call && (f.text == "CARDINALITY" || f.text == "ORA_COLL_MEMBER" || f.text == "ORA_COLL_SUBMULTISET" ||
               f.text == "ORA_COLL_ISSET" || f.text == "ORA_COLL_ISEMPTY" || f.text == "ORA_COLL_EQ")) {
    out = ColType{};
    out.code = kNumber;
    return true;
  }
  if ((call && f.text == "COLLECT") || !collectionTypeOf(b, e).empty()) {
    out = ColType{};
    out.code = kNamedType;
    out.size = 4000;
    return true;
  }
  return false;
}

// The collection type of the nested table column that the subquery [b, e) selects alone
// (SELECT [t.]column FROM table [t] ...); empty when it is not one.
std::string Translator::subqueryCollectionColumn(size_t b, size_t e) {
  const int d = t_[b].depth;
  size_t from = b + 1;
  while (from < e && !(t_[from].depth == d && is(t_[from], "FROM"))) ++from;
  std::string q, col;
  if (from == b + 2 && t_[b + 1].kind == Token::Ident) col = t_[b + 1].text;
  else if (from == b + 4 && is(t_[b + 2], ".") && t_[b + 3].kind == Token::Ident) q = t_[b + 1].text, col = t_[b + 3].text;
  if (col.empty() || from + 1 >= e || t_[from + 1].kind != Token::Ident) return {};
  const std::string& table = t_[from + 1].text;
  std::string alias = aliasToken(from + 2) && !keywordAt(t_, from + 2) ? t_[from + 2].text : std::string();
  if (!q.empty() && q != table && q != alias) return {};
  return columnCollectionType(cat_.db(), table, col);
}

// TABLE(collection) in FROM at i (or, with `bare`, a function call standing for it): the rows
// of its elements, as the column COLUMN_VALUE. Returns the last token it took.
size_t Translator::collectionTable(size_t i, Context& c, bool bare) {
  size_t b = bare ? i : i + 2, close = bare ? i : matching(i + 1);
  if (bare) {
    close = i;
    while (!is(at(close), "(")) ++close;
    close = matching(close);
  }
  size_t e = bare ? close + 1 : close;
  if (e <= b) throw OraError(936).at(static_cast<int>(at(b).pos));
  std::string type = collectionTypeOf(b, e);
  if (type.empty()) {
    // a nested table column of a table before it: its declaration names the type
    std::string q, col;
    if (e == b + 1) col = t_[b].text;
    else if (e == b + 3 && is(t_[b + 1], ".")) q = t_[b].text, col = t_[b + 2].text;
    // ... or of an enclosing query's table, for a correlated TABLE(outer.column)
    auto lookIn = [&](const Context& in) {
      for (auto it = in.tables.rbegin(); it != in.tables.rend() && type.empty() && !col.empty(); ++it)
        if (q.empty() || q == (it->alias.empty() ? it->name : it->alias)) type = columnCollectionType(cat_.db(), it->name, col);
    };
    lookIn(c);
    for (auto it = ctx_.rbegin(); it != ctx_.rend() && type.empty() && !q.empty(); ++it) lookIn(*it);
    if (type.empty() && is(t_[b], "SELECT")) type = subqueryCollectionColumn(b, e);
  }
  CollType ct;
  bool typed = !type.empty() && collectionType(cat_, type, ct);
  std::vector<std::pair<std::string, ColType>> fields;
  std::vector<std::pair<std::string, std::string>> fieldDecls;
  // pkg.f(...) and pkg.f
  if (!typed && t_[b].kind == Token::Ident && is(at(b + 1), ".") && (is(at(b + 3), "(") || e == b + 3))
    typed = packageCollectionType(cat_, t_[b].text, at(b + 2).text, ct, &fields, &fieldDecls);
  if (!typed) {
    // a column may hold a collection whatever its view declares; what it holds is checked per row
    bool column = (e == b + 1 && (t_[b].kind == Token::Ident || t_[b].kind == Token::QIdent)) ||
                  (e == b + 3 && is(t_[b + 1], ".") && (t_[b + 2].kind == Token::Ident || t_[b + 2].kind == Token::QIdent));
    // ... and a function may return a package's collection type, known when it runs
    bool function = (is(at(b + 1), "(") && storedFunctionType(cat_, {}, t_[b].text) > 0) ||
                    (is(at(b + 1), ".") && is(at(b + 3), "(") && storedFunctionType(cat_, t_[b].text, at(b + 2).text) > 0);
    ColType x = column || function ? ColType{} : exprType(b, e);
    if (x.code != 0 && x.code != kNamedType && !(is(t_[b], "COLLECT"))) throw OraError(22905).at(static_cast<int>(t_[b].pos));
  }
  // the elements of an object type are rows of its attributes
  auto ot = typed && !ct.elemType.object.empty() ? objectType(cat_.db(), ct.elemType.object) : nullptr;
  std::string module = !fields.empty() ? collectionRowsModule(cat_.db(), {}, t_[b].text + "_" + ct.name, &fieldDecls)
                       : collectionRowsModule(cat_.db(), typed ? ct.elemDecl : std::string(), ot ? ot->name : std::string());
  if (ot)
    for (const ObjAttr& a : ot->attrs) tr_.inferred.emplace(a.name, a.type);
  for (const auto& [name, type] : fields) tr_.inferred.emplace(name, type);
  // TABLE(f) and TABLE(schema.f) call a function named without parentheses, unless a table
  // before it has a column of that name
  std::string called;
  if (!bare && t_[b].kind == Token::Ident && (e == b + 1 || (e == b + 3 && is(t_[b + 1], ".") && t_[b] .text == cat_.user() &&
                                                             t_[b + 2].kind == Token::Ident))) {
    const std::string& name = t_[e - 1].text;
    bool column = false;
    for (auto& tb : c.tables)
      column = column || (e == b + 1 && sqlite3_table_column_metadata(cat_.db(), nullptr, tb.name.c_str(), name.c_str(), nullptr,
                                                                     nullptr, nullptr, nullptr, nullptr) == SQLITE_OK);
    if (!column && storedFunctionType(cat_, {}, name) > 0)
      called = "ora_plsql(" + quoteString(e == b + 1 ? bareFunction(name) : name) + ")";
  }
  // TABLE(x) (+): the rows before it are kept when the collection is empty or NULL
  if (!bare && is(at(close + 1), "(") && is(at(close + 2), "+") && is(at(close + 3), ")") && i > 0 && is(t_[i - 1], ",")) {
    replace_[i - 1] = " LEFT JOIN";
    for (size_t x = close + 1; x <= close + 3; ++x) skip_[x] = 1;
    close += 3;
  }
  // a scalar subquery is read twice: the second reading finds the arguments written already
  if (replace_[i].rfind(module + "(", 0) != 0)
    replace_[i] = module + (is(t_[b], "SELECT") ? "((WITH \"S$\"(\"V\") AS (" + emit(b, e) +
                                                      ") SELECT ora_single(\"V\") FROM (SELECT \"V\" FROM \"S$\" LIMIT 2)))"
                                                : "(" + (called.empty() ? emit(b, e) : called) + ")");
  for (size_t x = i + 1; x <= close; ++x) skip_[x] = 1;
  ColType text;
  text.code = kVarchar2;
  text.size = 4000;
  ColType vt = typed ? ct.elemType : text;
  tr_.inferred.emplace("COLUMN_VALUE", vt);
  // their types, for the expressions of the query that read them
  std::string alias = aliasToken(close + 1) && !keywordAt(t_, close + 1) ? at(close + 1).text : std::string();
  if (ot)
    for (const ObjAttr& a : ot->attrs) c.collColumns.emplace_back(alias, a.name, a.type);
  if (ot && !alias.empty()) collAliases_[alias] = ot->name; // VALUE(alias), alias.method(...)
  for (const auto& [name, type] : fields) c.collColumns.emplace_back(alias, name, type);
  if (!ot && fields.empty() && typed) c.collColumns.emplace_back(alias, "COLUMN_VALUE", vt);
  c.opaque = true;
  return close;
}

} // namespace tx

bool collectionOperators(const std::string& text, Catalog& cat, std::string& out) {
  return tx::rewriteCollections(text, cat, out);
}

} // namespace ora
