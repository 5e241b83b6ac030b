// Names in the open scopes of a running block: variables, by label too, and cursors.
#include "PlsqlRun.h"

#include <algorithm>

namespace ora::pl {

void Run::locksReleased() {
  // a cursor FOR UPDATE fetches no more once its locks are gone (ORA-01002)
  for (Scope* sc : scopes)
    for (auto& [name, c] : sc->cursors)
      if (c.open && c.forUpdate) c.outOfSequence = true;
}

Var* Run::find(const std::string& name) {
  for (auto it = scopes.rbegin(); it != scopes.rend(); ++it) {
    auto v = (*it)->vars.find(name);
    if (v != (*it)->vars.end()) return &v->second;
  }
  return nullptr;
}

Var* Run::findIn(const std::string& label, const std::string& name) {
  for (size_t i = scopes.size(); i-- > 0;) {
    if (scopes[i]->label != label) continue;
    auto v = scopes[i]->vars.find(name);
    if (v != scopes[i]->vars.end()) return &v->second;
    if (scopes[i]->bodyFollows && i + 1 < scopes.size()) {
      v = scopes[i + 1]->vars.find(name);
      if (v != scopes[i + 1]->vars.end()) return &v->second;
    }
  }
  return nullptr;
}

CursorState* Run::cursor(const std::string& name) {
  if (size_t dot = name.find('.'); dot != std::string::npos) return packageCursor(name.substr(0, dot), name.substr(dot + 1));
  for (auto it = scopes.rbegin(); it != scopes.rend(); ++it) {
    auto c = (*it)->cursors.find(name);
    if (c != (*it)->cursors.end()) return &c->second;
    // a cursor variable: its work area is made on first use
    auto v = (*it)->vars.find(name);
    if (v != (*it)->vars.end()) {
      if (v->second.type.kind != TypeSpec::Cursor) return nullptr;
      if (!v->second.v.cur) v->second.v.cur = std::make_shared<CursorState>();
      return v->second.v.cur.get();
    }
  }
  return nullptr;
}

void Run::undeclared(size_t tok, const std::string& name) const {
  if (!name.empty() && name[0] == ':') throw OraError(1008); // a placeholder nothing was bound to
  OraError e(6550);
  e.text = "ORA-06550: " + where(u.src, u.toks[tok].pos) + ":\nPLS-00201: identifier '" + name + "' must be declared" +
           "\nORA-06550: " + where(u.src, u.toks[std::min(lastAt, u.toks.size() - 1)].pos) + ":\nPL/SQL: Statement ignored";
  throw e;
}

} // namespace ora::pl
