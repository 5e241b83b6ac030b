// An object type's methods as the interpreter runs them: the type's declaration and body made
// into a package whose member subprograms take SELF first, and the calls into it.
#include "ObjectTypes.h"
#include "OraError.h"
#include "PlsqlRun.h"
#include "Session.h"

#include <set>
#include <sqlite3.h>

namespace ora {

namespace {

using pl::T;
using pl::Tok;

std::string bodySource(sqlite3* db, const std::string& name) {
  sqlite3_stmt* st = nullptr;
  std::string src;
  if (sqlite3_prepare_v2(db, "SELECT TEXT FROM \"TESSEL$SOURCE\" WHERE NAME = ?1 AND TYPE = 'TYPE BODY'", -1, &st,
                         nullptr) == SQLITE_OK) {
    sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(st) == SQLITE_ROW)
      if (const unsigned char* t = sqlite3_column_text(st, 0)) src = reinterpret_cast<const char*>(t);
  }
  sqlite3_finalize(st);
  return src;
}

bool word(const std::vector<Tok>& t, size_t k, const char* w) {
  return k < t.size() && t[k].kind == T::Word && t[k].text == w;
}

// Where a method's heading starts at token k: its modifiers, then FUNCTION or PROCEDURE.
bool headingAt(const std::vector<Tok>& t, size_t k) {
  static const char* const mods[] = {"MEMBER", "STATIC", "CONSTRUCTOR", "MAP", "ORDER", "OVERRIDING", "FINAL",
                                     "INSTANTIABLE", "NOT"};
  if (k > 0 && t[k - 1].kind == T::Word && (t[k - 1].text == "NOT" || t[k - 1].text == "OVERRIDING" ||
                                            t[k - 1].text == "FINAL" || t[k - 1].text == "MAP" ||
                                            t[k - 1].text == "ORDER" || t[k - 1].text == "INSTANTIABLE"))
    return false;
  size_t x = k;
  bool any = false;
  for (; x < t.size() && t[x].kind == T::Word; ++x) {
    bool mod = false;
    for (const char* m : mods) mod = mod || t[x].text == m;
    if (!mod) break;
    any = true;
  }
  return any && (word(t, x, "FUNCTION") || word(t, x, "PROCEDURE")) &&
         (word(t, x - 1, "MEMBER") || word(t, x - 1, "STATIC") || word(t, x - 1, "CONSTRUCTOR"));
}

struct Heading {
  std::string text;                // as the package declares it
  std::string name;
  std::set<std::string> params;    // its parameters' names
  bool member = false;
  size_t end = 0;                  // the token after it (IS or AS in a body)
};

// Reads the heading at k of a type `type`'s method as a package subprogram's heading.
Heading readHeading(const std::string& src, const std::vector<Tok>& t, size_t k, const std::string& type) {
  Heading h;
  bool statik = false, ctor = false;
  size_t x = k;
  while (x < t.size() && !word(t, x, "FUNCTION") && !word(t, x, "PROCEDURE")) {
    statik = statik || word(t, x, "STATIC");
    ctor = ctor || word(t, x, "CONSTRUCTOR");
    ++x;
  }
  if (x + 1 >= t.size() || t[x + 1].kind != T::Word) {
    h.end = t.size();
    return h; // no heading: the declaration does not compile
  }
  bool function = word(t, x, "FUNCTION") && !ctor;
  h.name = t[x + 1].text;
  h.member = !statik && !ctor;
  size_t y = x + 2;
  std::string params;
  bool explicitSelf = false;
  if (y < t.size() && t[y].kind == T::Op && t[y].text == "(") {
    size_t close = pl::closing(t, y);
    params = src.substr(t[y + 1].pos, t[close].pos - t[y + 1].pos);
    explicitSelf = word(t, y + 1, "SELF");
    int depth = 0;
    bool first = true;
    for (size_t p = y + 1; p < close; ++p) {
      if (t[p].kind == T::Op && t[p].text == "(") ++depth;
      if (t[p].kind == T::Op && t[p].text == ")") --depth;
      if (first && t[p].kind == T::Word) h.params.insert(t[p].text);
      first = depth == 0 && t[p].kind == T::Op && t[p].text == ",";
    }
    y = close + 1;
  }
  std::string ret;
  if (word(t, y, "RETURN")) {
    if (word(t, y + 1, "SELF") && word(t, y + 2, "AS") && word(t, y + 3, "RESULT")) {
      y += 4;
    } else {
      size_t z = y + 1;
      while (z < t.size() && !word(t, z, "IS") && !word(t, z, "AS") && !(t[z].kind == T::Op && (t[z].text == "," || t[z].text == ";")) &&
             !word(t, z, "DETERMINISTIC") && !word(t, z, "PARALLEL_ENABLE") && !word(t, z, "RESULT_CACHE") &&
             !word(t, z, "PIPELINED") && !(t[z].kind == T::Op && t[z].text == ")"))
        ++z;
      ret = src.substr(t[y + 1].pos, t[z - 1].end - t[y + 1].pos);
      y = z;
    }
  }
  while (word(t, y, "DETERMINISTIC") || word(t, y, "PARALLEL_ENABLE") || word(t, y, "RESULT_CACHE")) ++y;
  h.end = y;
  std::string self;
  if ((h.member || ctor) && !explicitSelf)
    self = std::string("SELF IN ") + (function ? "" : "OUT ") + type + (params.empty() ? "" : ", ");
  if (explicitSelf) h.params.insert("SELF");
  std::string all = self + params;
  h.text = std::string(function ? "FUNCTION " : "PROCEDURE ") + (ctor ? type : h.name) +
           (all.empty() ? "" : "(" + all + ")") + (function ? " RETURN " + ret : "");
  if (ctor) h.name = type;
  return h;
}

// A method's body: attributes and member methods named alone are SELF's, except where a SQL
// statement's table has a column of the name (in SQL the column comes first).
std::string bodyText(sqlite3* db, const std::string& src, const std::vector<Tok>& t, size_t b, size_t e,
                     const Heading& h, const std::set<std::string>& selfNames) {
  std::string out;
  size_t prev = t[b].pos;
  // the tables of the SQL statement each token stands in (none outside one)
  std::vector<std::vector<std::string>> tablesAt(e - b);
  static const std::set<std::string> sqlVerbs = {"SELECT", "INSERT", "UPDATE", "DELETE", "MERGE", "WITH"};
  for (size_t k = b; k < e;) {
    bool starts = t[k].kind == T::Word && sqlVerbs.count(t[k].text) &&
                  (k == b || (t[k - 1].kind == T::Op && (t[k - 1].text == ";" || t[k - 1].text == "(")) ||
                   (t[k - 1].kind == T::Word && (t[k - 1].text == "BEGIN" || t[k - 1].text == "THEN" ||
                                                 t[k - 1].text == "ELSE" || t[k - 1].text == "LOOP" || t[k - 1].text == "IN")));
    if (!starts) {
      ++k;
      continue;
    }
    size_t end = k;
    while (end < e && !(t[end].kind == T::Op && t[end].text == ";")) ++end;
    std::vector<std::string> tables;
    for (size_t m = k; m < end; ++m)
      if (t[m].kind == T::Word && sqlite3_table_column_metadata(db, nullptr, t[m].text.c_str(), "ROWID", nullptr, nullptr,
                                                                nullptr, nullptr, nullptr) == SQLITE_OK)
        tables.push_back(t[m].text);
    for (size_t m = k; m < end; ++m) {
      // an INSERT's VALUES list names no columns
      if (t[m].kind == T::Word && t[m].text == "VALUES" && t[k].text == "INSERT") {
        while (m < end && !(t[m].kind == T::Op && t[m].text == ";")) ++m;
        break;
      }
      tablesAt[m - b] = tables;
    }
    k = end;
  }
  auto column = [&](size_t k, const std::string& name) {
    for (const auto& table : tablesAt[k - b])
      if (sqlite3_table_column_metadata(db, nullptr, table.c_str(), name.c_str(), nullptr, nullptr, nullptr, nullptr,
                                        nullptr) == SQLITE_OK)
        return true;
    return false;
  };
  for (size_t k = b; k < e; ++k) {
    const Tok& w = t[k];
    bool dotted = k > 0 && t[k - 1].kind == T::Op && t[k - 1].text == ".";
    bool named = (k + 1 < t.size() && t[k + 1].kind == T::Op && t[k + 1].text == "=>") ||
                 (k > 0 && t[k - 1].kind == T::Word && t[k - 1].text == "END"); // END name;
    if (w.kind == T::Word && !dotted && !named && selfNames.count(w.text) && !h.params.count(w.text) &&
        !column(k, w.text)) {
      out += src.substr(prev, w.pos - prev) + "SELF." + src.substr(w.pos, w.end - w.pos);
      prev = w.end;
    }
  }
  out += src.substr(prev, (e < t.size() ? t[e].pos : src.size()) - prev);
  return out;
}

} // namespace

bool objectTypePackage(sqlite3* db, const std::string& type, std::string& decls, std::string& body) {
  auto ty = objectType(db, type);
  if (!ty) return false;
  std::set<std::string> selfNames;
  for (const auto& a : ty->attrs) selfNames.insert(a.name);
  // the methods of the type and those it inherits, each name from the nearest type declaring it
  std::vector<std::pair<std::string, std::shared_ptr<const ObjType>>> chain;
  std::set<std::string> taken;
  for (auto s = ty; s && chain.size() < 32; s = s->super.empty() ? nullptr : objectType(db, s->super)) {
    chain.emplace_back(s->name, s);
    for (const auto& m : s->methods)
      if (m.member) selfNames.insert(m.name);
  }
  decls = "PACKAGE " + std::string(kTypePackagePrefix) + type + " AS\n";
  body = "PACKAGE BODY " + std::string(kTypePackagePrefix) + type + " AS\n";
  bool anyBody = false;
  for (auto& [owner, s] : chain) {
    std::set<std::string> own;
    for (const auto& m : s->methods) {
      if (m.constructor && owner != type) continue;
      if (taken.count(m.name)) continue;
      own.insert(m.name);
      auto mt = pl::tokens(m.heading);
      Heading h = readHeading(m.heading, mt, 0, type);
      if (h.text.empty()) {
        decls.clear();
        body.clear();
        return false;
      }
      decls += "  " + h.text + ";\n";
    }
    std::string src = bodySource(db, owner);
    if (!src.empty()) {
      auto t = pl::tokens(src);
      std::vector<size_t> starts;
      for (size_t k = 0; k < t.size(); ++k)
        if (t[k].kind == T::Word && headingAt(t, k)) starts.push_back(k);
      // the body's own END closes it
      size_t last = t.size();
      while (last > 0 && !word(t, last - 1, "END")) --last;
      if (last > 0) --last;
      for (size_t i = 0; i < starts.size(); ++i) {
        size_t e = i + 1 < starts.size() ? starts[i + 1] : last;
        Heading h = readHeading(src, t, starts[i], type);
        if (h.text.empty() || !own.count(h.name)) continue;
        body += "  " + h.text + " " + bodyText(db, src, t, h.end, e, h, selfNames) + "\n";
        anyBody = true;
      }
    }
    for (const auto& n : own) taken.insert(n);
  }
  decls += "END;";
  body += "END;";
  if (!anyBody) body.clear();
  return true;
}

bool objectTypeValid(sqlite3* db, const std::string& type, bool body) {
  auto ty = objectType(db, type);
  if (!ty) return false;
  // a subtype of a FINAL type does not compile (PLS-00590)
  for (auto s = ty; s && !s->super.empty(); s = objectType(db, s->super)) {
    auto sup = objectType(db, s->super);
    if (!sup || sup->final) return false;
  }
  std::string decls, text;
  if (!objectTypePackage(db, type, decls, text)) return false;
  try {
    auto u = pl::parsePackage(decls, body ? text : std::string());
    if (!body) return true;
    if (!u->body) return false;
    // every method the type declares has its body
    size_t defined = 0;
    for (const pl::Decl& d : u->body->decls)
      if (d.kind == pl::Decl::Subprogram && d.sub->block) ++defined;
    size_t declared = 0;
    for (const pl::Decl& d : u->publicDecls) {
      if (d.kind != pl::Decl::Subprogram) continue;
      // a NOT INSTANTIABLE method has no body to define
      auto owner = objectType(db, methodOwner(db, type, d.sub->name));
      const ObjMethod* m = owner ? owner->method(d.sub->name) : nullptr;
      if (!m || m->instantiable) ++declared;
    }
    return defined >= declared;
  } catch (const OraError&) {
    return false;
  }
}

} // namespace ora
