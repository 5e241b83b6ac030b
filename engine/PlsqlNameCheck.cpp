// Names a stored procedure or function assigns to or calls that nothing declares: PLS-00201 at
// compile time, as Oracle reports them, instead of a unit that compiles and fails when it runs.
// Only the two plainest places are checked, an assignment's target and a called procedure's
// name, against every name the unit declares anywhere and the schema's objects, so that a name
// some scope does declare is never reported.
#include "PlsqlCompile.h"

#include "PlsqlImpl.h"

#include <sqlite3.h>

namespace ora::pl {

namespace {

void declaredNames(const Block& b, std::set<std::string>& out);

void declaredNames(const Stmts& list, std::set<std::string>& out) {
  for (const auto& s : list) {
    if (s->kind == Stmt::ForNum || s->kind == Stmt::ForCursor || s->kind == Stmt::Forall) out.insert(s->name);
    if (!s->label.empty()) out.insert(s->label);
    if (s->block) declaredNames(*s->block, out);
    declaredNames(s->body, out);
    for (const Stmts& b : s->bodies) declaredNames(b, out);
  }
}

void declaredNames(const Block& b, std::set<std::string>& out) {
  if (!b.label.empty()) out.insert(b.label);
  for (const Decl& d : b.decls) {
    out.insert(d.name);
    if (!d.sub) continue;
    out.insert(d.sub->name);
    for (const Param& p : d.sub->params) out.insert(p.name);
    if (d.sub->block) declaredNames(*d.sub->block, out);
  }
  declaredNames(b.body, out);
  for (const Handler& h : b.handlers) declaredNames(h.body, out);
}

struct Finder {
  const Unit& u;
  const std::set<std::string>& declared;
  sqlite3* db;
  std::vector<std::pair<size_t, size_t>> found; // statement's token, the name's token

  bool schemaObject(const std::string& name) {
    sqlite3_stmt* st = nullptr;
    bool known = true; // when the dictionary cannot say, the name is not reported
    if (sqlite3_prepare_v2(db, "SELECT 1 FROM \"TESSEL$OBJECTS\" WHERE NAME = ?1", -1, &st, nullptr) == SQLITE_OK) {
      sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
      known = sqlite3_step(st) == SQLITE_ROW;
    }
    sqlite3_finalize(st);
    return known;
  }

  void walk(const Stmts& list) {
    const auto& t = u.toks;
    for (const auto& s : list) {
      if (s->kind == Stmt::Assign && s->target.e == s->target.b + 1 && t[s->target.b].kind == T::Word &&
          t[s->target.b].text[0] != ':' && !declared.count(t[s->target.b].text))
        found.emplace_back(s->at, s->target.b);
      if (s->kind == Stmt::Call && s->name.find('.') == std::string::npos && s->at < t.size() &&
          t[s->at].kind == T::Word && s->name != "RAISE_APPLICATION_ERROR" && s->name != "PIPE" &&
          !declared.count(s->name) && !schemaObject(s->name))
        found.emplace_back(s->at, s->at);
      if (s->block) walk(*s->block);
      walk(s->body);
      for (const Stmts& b : s->bodies) walk(b);
    }
  }
  void walk(const Block& b) {
    for (const Decl& d : b.decls)
      if (d.sub && d.sub->block) walk(*d.sub->block);
    walk(b.body);
    for (const Handler& h : b.handlers) walk(h.body);
  }
};

} // namespace

std::vector<CompileError> undeclaredErrors(sqlite3* db, const std::string& src) {
  std::vector<CompileError> out;
  std::shared_ptr<Unit> u = parsedProcedure(src);
  if (!u || !u->block) return out;
  std::set<std::string> declared;
  for (const Param& p : u->params) declared.insert(p.name);
  declared.insert(u->name);
  declaredNames(*u->block, declared);
  Finder f{*u, declared, db, {}};
  f.walk(*u->block);
  auto at = [&](size_t tok, int number, const std::string& text) { out.push_back(errorAt(src, u->toks[tok].pos, number, text)); };
  for (auto [statement, name] : f.found) {
    at(statement, 0, "PL/SQL: Statement ignored");
    at(name, 201, "PLS-00201: identifier '" + u->toks[name].text + "' must be declared");
  }
  return out;
}

} // namespace ora::pl
