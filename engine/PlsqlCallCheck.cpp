// Calls a stored unit makes to the schema's procedures and functions, checked against their
// headings as they are now: a unit whose callee was made again with other parameters no longer
// compiles (PLS-00306) until the callee accepts its calls again.
#include "PlsqlCompile.h"

#include "PlsqlImpl.h"
#include "SqlTranslate.h"

#include <map>
#include <sqlite3.h>

namespace ora::pl {

namespace {

void declaredIn(const Block& b, std::set<std::string>& out);

void declaredIn(const Stmts& list, std::set<std::string>& out) {
  for (const auto& s : list) {
    if (s->kind == Stmt::ForNum || s->kind == Stmt::ForCursor) out.insert(s->name);
    if (s->block) declaredIn(*s->block, out);
    declaredIn(s->body, out);
    for (const Stmts& b : s->bodies) declaredIn(b, out);
  }
}

// Every name the unit declares anywhere: such a name is not the schema's subprogram.
void declaredIn(const Block& b, std::set<std::string>& out) {
  for (const Decl& d : b.decls) {
    out.insert(d.name);
    if (!d.sub) continue;
    for (const Param& p : d.sub->params) out.insert(p.name);
    if (d.sub->block) declaredIn(*d.sub->block, out);
  }
  declaredIn(b.body, out);
  for (const Handler& h : b.handlers) declaredIn(h.body, out);
}

// Whether a call with `positional` arguments and the named ones fits the parameters.
bool fits(const std::vector<Param>& params, size_t positional, const std::vector<std::string>& named) {
  if (positional > params.size()) return false;
  std::vector<bool> given(params.size(), false);
  for (size_t i = 0; i < positional; ++i) given[i] = true;
  for (const std::string& n : named) {
    size_t i = 0;
    while (i < params.size() && params[i].name != n) ++i;
    if (i == params.size() || given[i]) return false;
    given[i] = true;
  }
  for (size_t i = 0; i < params.size(); ++i)
    if (!given[i] && params[i].dflt.empty()) return false;
  return true;
}

// The statement a token is in: the token after the last statement boundary before it.
size_t statementStart(const std::vector<Tok>& t, size_t k) {
  static const char* const starts[] = {"BEGIN", "THEN", "ELSE", "LOOP", "IS", "AS", "DECLARE", "EXCEPTION"};
  while (k > 0) {
    const Tok& p = t[k - 1];
    if (p.kind == T::Op && p.text == ";") break;
    bool start = false;
    if (p.kind == T::Word)
      for (const char* s : starts) start = start || p.text == s;
    if (start) break;
    --k;
  }
  return k;
}

} // namespace

std::shared_ptr<Unit> parsedProcedure(const std::string& src) {
  try {
    return parseProcedure(src);
  } catch (const OraError&) {
    return nullptr;
  }
}

std::vector<CompileError> callErrors(sqlite3* db, const std::string& src) {
  std::vector<CompileError> out;
  std::shared_ptr<Unit> u = parsedProcedure(src);
  if (!u) return out; // one that does not parse has its syntax errors
  // the schema's procedures and functions, this one aside
  std::map<std::string, std::string> stored;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT NAME, TEXT FROM \"TESSEL$SOURCE\" WHERE TYPE IN ('FUNCTION', 'PROCEDURE')", -1, &st,
                         nullptr) != SQLITE_OK) {
    sqlite3_finalize(st);
    return out;
  }
  while (sqlite3_step(st) == SQLITE_ROW) {
    std::string name = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    if (name != u->name) stored[name] = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
  }
  sqlite3_finalize(st);
  if (stored.empty()) return out;
  std::set<std::string> declared;
  for (const Param& p : u->params) declared.insert(p.name);
  declaredIn(*u->block, declared);
  const auto& t = u->toks;
  std::map<std::string, std::shared_ptr<Unit>> headings;
  for (size_t k = u->sub->at + 2; k + 1 < t.size(); ++k) {
    if (t[k].kind != T::Word || !isOp(t, k + 1, "(") || declared.count(t[k].text)) continue;
    if (k > 0 && (isOp(t, k - 1, ".") || isOp(t, k - 1, "%"))) continue;
    auto s = stored.find(t[k].text);
    if (s == stored.end()) continue;
    auto& callee = headings[s->first];
    if (!callee) {
      try {
        callee = parseProcedure(s->second);
      } catch (const OraError&) {
        continue; // one that does not compile has its own errors
      }
    }
    size_t close = closing(t, k + 1), positional = 0;
    std::vector<std::string> named;
    int depth = 0;
    bool empty = close == k + 2;
    for (size_t a = k + 2, m = a; !empty && m <= close; ++m) {
      if (isOp(t, m, "(")) ++depth;
      else if (isOp(t, m, ")") && m != close) --depth;
      if (m != close && !(depth == 0 && isOp(t, m, ","))) continue;
      if (a + 1 < m && t[a].kind == T::Word && isOp(t, a + 1, "=>")) named.push_back(t[a].text);
      else if (named.empty()) ++positional;
      else positional = SIZE_MAX; // a positional argument after a named one
      a = m + 1;
    }
    if (fits(callee->params, positional, named)) continue;
    auto at = [&](size_t tok, int number, const std::string& text) { out.push_back(errorAt(src, t[tok].pos, number, text)); };
    at(statementStart(t, k), 0, "PL/SQL: Statement ignored");
    at(k, 306, "PLS-00306: wrong number or types of arguments in call to '" + s->first + "'");
    break;
  }
  return out;
}

} // namespace ora::pl
