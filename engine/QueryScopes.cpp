// Name checks over a whole statement's tree that need to see a query and the queries in its
// FROM clause together.
#include "QueryScopes.h"

#include "CType.h"

#include <cctype>
#include <cstring>
#include <map>
#include <set>
#include <strings.h>

namespace ora::sql {

namespace {

// The query block whose select list names a query's columns (the first member of a compound).
const Node* firstBlock(const Node* q) {
  while (q) {
    if (q->kind == N::Select) return q;
    if (q->kind == N::Query) q = q->kid(slot::Body);
    else if (q->kind == N::SetOp) q = q->kid(0);
    else return nullptr;
  }
  return nullptr;
}

// A select item's column name as an outer query sees it; empty for a "*".
std::string itemName(const Node* item, std::string_view text) {
  if (!item->alias.empty()) return item->alias;
  const Node* e = item->kid(0);
  if (!e || e->kind == N::Star) return {};
  if (e->kind == N::Name && (e->kids.empty() || (e->kids[0] && e->kids[0]->kind == N::Name))) return e->text;
  // an expression is named by its text, in upper case and without blanks outside quotes
  std::string name;
  bool quoted = false;
  for (size_t k = e->pos; k < e->end && k < text.size(); ++k) {
    char c = text[k];
    if (c == '\'') quoted = !quoted;
    if (!quoted && ora::spaceC(static_cast<unsigned char>(c))) continue;
    name += quoted ? c : static_cast<char>(ora::upperC(static_cast<unsigned char>(c)));
  }
  return name;
}

// The names that more than one result column of a query (or a WITH query) carries.
std::set<std::string> duplicateNames(const Node* query, const Node* cte, std::string_view text, Catalog& cat) {
  std::vector<std::string> names;
  if (cte && cte->kid(0)) {
    for (const Node* n : cte->kid(0)->kids)
      if (n) names.push_back(n->text);
  } else {
    names = resultNames(query, text, &cat);
  }
  std::set<std::string> seen, twice;
  for (const std::string& n : names)
    if (!n.empty() && !seen.insert(n).second) twice.insert(n);
  return twice;
}

struct Source {
  std::string exposed; // alias, or the WITH query's name; empty: reachable only unqualified
  std::set<std::string> dups;
};

void fromSources(const Node* n, const std::map<std::string, const Node*>& ctes, std::string_view text, Catalog& cat,
                 std::vector<Source>& out, std::vector<const Node*>& onConditions) {
  if (!n) return;
  switch (n->kind) {
  case N::List:
  case N::Join:
    for (size_t k = 0; k < n->kids.size(); ++k) {
      const Node* kid = n->kids[k];
      if (n->kind == N::Join && k >= 2) {
        if (kid && n->alias != "USING") onConditions.push_back(kid);
      } else {
        fromSources(kid, ctes, text, cat, out, onConditions);
      }
    }
    break;
  case N::Derived:
    if (auto d = duplicateNames(n->kid(0), nullptr, text, cat); !d.empty()) out.push_back({n->alias, std::move(d)});
    break;
  case N::Table: {
    const Node* name = n->kid(0);
    if (!name || !name->kids.empty()) break;
    auto c = ctes.find(n->text);
    if (c == ctes.end()) break;
    if (auto d = duplicateNames(c->second->kid(1), c->second, text, cat); !d.empty())
      out.push_back({n->alias.empty() ? n->text : n->alias, std::move(d)});
    break;
  }
  default: break;
  }
}

[[noreturn]] void ambiguous(const Node* at, const std::string& name) {
  OraError e(918, name);
  e.pos = static_cast<int>(at->end >= name.size() && at->kind == N::Name ? at->end - name.size() : at->pos);
  throw e;
}

// A column of `src` that names two of its columns, used by the block outside of its subqueries.
void checkUses(const Node* n, const Source& src) {
  std::vector<const Node*> todo{n};
  while (!todo.empty()) {
    const Node* k = todo.back();
    todo.pop_back();
    if (!k || k->kind == N::Subquery || k->kind == N::Query || k->kind == N::Derived) continue;
    if (k->kind == N::Star) {
      const Node* q = k->kid(0);
      if (!q || (q->kids.empty() && q->text == src.exposed)) {
        OraError e(918);
        e.pos = static_cast<int>(k->pos);
        throw e;
      }
      continue;
    }
    if (k->kind == N::Name) {
      const Node* q = k->kids.empty() ? nullptr : k->kids[0];
      if (src.dups.count(k->text) && (!q || (q->kids.empty() && q->text == src.exposed))) ambiguous(k, k->text);
      continue;
    }
    for (const Node* c : k->kids) todo.push_back(c);
  }
}

} // namespace

namespace {
// The tables of a FROM clause with their columns, in order; false where one is not a plain
// table joined by ON or a comma (the shared columns of USING and NATURAL appear once).
bool plainTables(const Node* n, Catalog& cat, std::vector<std::pair<std::string, std::vector<std::string>>>& out) {
  if (!n) return false;
  if (n->kind == N::List) {
    for (const Node* k : n->kids)
      if (!plainTables(k, cat, out)) return false;
    return true;
  }
  if (n->kind == N::Join)
    return n->alias != "USING" && n->text.rfind("NATURAL", 0) != 0 && plainTables(n->kid(0), cat, out) &&
           plainTables(n->kid(1), cat, out);
  if (n->kind != N::Table || !n->kid(0) || !n->kid(0)->kids.empty() || !cat.tableExists(n->text)) return false;
  std::vector<std::string> cols;
  for (const ColumnInfo& c : cat.columns(n->text))
    if (!c.invisible) cols.push_back(c.name); // what "*" stands for
  out.emplace_back(n->alias.empty() ? n->text : n->alias, std::move(cols));
  return true;
}
} // namespace

std::vector<std::string> resultNames(const Node* query, std::string_view text, Catalog* cat) {
  std::vector<std::string> names;
  const Node* block = firstBlock(query);
  if (!block || !block->kid(slot::Items)) return names;
  std::vector<std::pair<std::string, std::vector<std::string>>> tables;
  bool known = cat && plainTables(block->kid(slot::From), *cat, tables);
  for (const Node* item : block->kid(slot::Items)->kids) {
    if (!item) continue;
    const Node* e = item->kid(0);
    if (known && e && e->kind == N::Star) {
      // "*" and "t.*" stand for the tables' columns
      const Node* q = e->kid(0);
      for (auto& [exposed, cols] : tables)
        if (!q || (q->kids.empty() && q->text == exposed)) names.insert(names.end(), cols.begin(), cols.end());
      continue;
    }
    names.push_back(itemName(item, text));
  }
  return names;
}

void ambiguousDerivedColumns(const Node* root, std::string_view text, Catalog& cat) {
  std::map<std::string, const Node*> ctes;
  std::vector<const Node*> blocks, todo{root};
  while (!todo.empty()) {
    const Node* n = todo.back();
    todo.pop_back();
    if (!n) continue;
    if (n->kind == N::Cte) ctes.emplace(n->text, n);
    if (n->kind == N::Select) blocks.push_back(n);
    for (const Node* k : n->kids) todo.push_back(k);
  }
  for (const Node* s : blocks) {
    std::vector<Source> sources;
    std::vector<const Node*> on;
    fromSources(s->kid(slot::From), ctes, text, cat, sources, on);
    for (const Source& src : sources) {
      for (size_t k = 0; k < s->kids.size(); ++k)
        if (k != slot::From) checkUses(s->kids[k], src);
      for (const Node* c : on) checkUses(c, src);
    }
  }
}

namespace {

// The exposed names and columns of the tables on one side of a join.
void sideColumns(const Node* n, Catalog& cat, std::string_view text, std::set<std::string>& names,
                 std::set<std::string>& columns) {
  if (!n) return;
  if (n->kind == N::Join) {
    sideColumns(n->kid(0), cat, text, names, columns);
    sideColumns(n->kid(1), cat, text, names, columns);
  } else if (n->kind == N::Table && n->kid(0) && n->kid(0)->kids.empty() && cat.tableExists(n->text)) {
    names.insert(n->alias.empty() ? n->text : n->alias);
    for (const ColumnInfo& c : cat.columns(n->text)) columns.insert(c.name);
  } else if (n->kind == N::Derived && !n->alias.empty()) {
    names.insert(n->alias);
    for (const std::string& c : resultNames(n->kid(0), text, &cat))
      if (!c.empty()) columns.insert(c);
  }
}

} // namespace

void naturalQualified(const Node* root, Catalog& cat, std::string_view text) {
  std::vector<const Node*> todo{root}, blocks;
  while (!todo.empty()) {
    const Node* n = todo.back();
    todo.pop_back();
    if (!n) continue;
    if (n->kind == N::Select) blocks.push_back(n);
    for (const Node* k : n->kids) todo.push_back(k);
  }
  for (const Node* s : blocks) {
    std::set<std::string> tables, shared;
    std::vector<const Node*> joins{s->kid(slot::From)};
    while (!joins.empty()) {
      const Node* j = joins.back();
      joins.pop_back();
      if (!j || (j->kind != N::Join && j->kind != N::List)) continue;
      if (j->kind == N::Join && j->text.rfind("NATURAL", 0) == 0) {
        std::set<std::string> ln, lc, rn, rc;
        sideColumns(j->kid(0), cat, text, ln, lc);
        sideColumns(j->kid(1), cat, text, rn, rc);
        for (const std::string& c : lc)
          if (rc.count(c)) shared.insert(c);
        tables.insert(ln.begin(), ln.end());
        tables.insert(rn.begin(), rn.end());
      }
      joins.push_back(j->kid(0));
      if (j->kind == N::List)
        for (const Node* k : j->kids) joins.push_back(k);
      else
        joins.push_back(j->kid(1));
    }
    if (shared.empty()) continue;
    for (size_t k = 0; k < s->kids.size(); ++k) {
      if (k == slot::From) continue;
      todo.assign(1, s->kids[k]);
      while (!todo.empty()) {
        const Node* n = todo.back();
        todo.pop_back();
        if (!n || n->kind == N::Subquery || n->kind == N::Query || n->kind == N::Derived) continue;
        if (n->kind == N::Name && !n->kids.empty() && n->kids[0] && n->kids[0]->kind == N::Name &&
            n->kids[0]->kids.empty() && tables.count(n->kids[0]->text) && shared.count(n->text)) {
          OraError e(25155);
          e.pos = static_cast<int>(n->kids[0]->pos);
          throw e;
        }
        for (const Node* c : n->kids) todo.push_back(c);
      }
    }
  }
}

namespace {

void exposedNames(const Node* n, std::set<std::string>& out) {
  if (!n) return;
  if (n->kind == N::Table) out.insert(n->alias.empty() ? n->text : n->alias);
  else if (n->kind == N::Derived && !n->alias.empty()) out.insert(n->alias);
  else if (n->kind == N::Join || n->kind == N::List) {
    exposedNames(n->kid(0), out);
    exposedNames(n->kid(1), out);
    if (n->kind == N::List)
      for (size_t k = 2; k < n->kids.size(); ++k) exposedNames(n->kids[k], out);
  }
}

// Each ON condition under n sees only the tables of its own join.
void joinConditions(const Node* n, const std::set<std::string>& block) {
  if (!n) return;
  if (n->kind == N::List) {
    for (const Node* k : n->kids) joinConditions(k, block);
    return;
  }
  if (n->kind != N::Join) return;
  joinConditions(n->kid(0), block);
  joinConditions(n->kid(1), block);
  if (n->alias == "USING" || n->kids.size() < 3) return;
  std::set<std::string> visible;
  exposedNames(n->kid(0), visible);
  exposedNames(n->kid(1), visible);
  std::vector<const Node*> todo{n->kids[2]};
  while (!todo.empty()) {
    const Node* k = todo.back();
    todo.pop_back();
    if (!k || k->kind == N::Subquery || k->kind == N::Query) continue;
    if (k->kind == N::Name) {
      const Node* q = k->kids.empty() ? nullptr : k->kids[0];
      if (q && q->kind == N::Name && q->kids.empty() && block.count(q->text) && !visible.count(q->text)) {
        OraError e(904, q->text + "." + k->text);
        e.pos = static_cast<int>(q->pos);
        throw e;
      }
      continue;
    }
    for (const Node* c : k->kids) todo.push_back(c);
  }
}

} // namespace

void joinScopes(const Node* root) {
  std::vector<const Node*> todo{root};
  while (!todo.empty()) {
    const Node* n = todo.back();
    todo.pop_back();
    if (!n) continue;
    if (n->kind == N::Select && n->kid(slot::From)) {
      std::set<std::string> block;
      exposedNames(n->kid(slot::From), block);
      joinConditions(n->kid(slot::From), block);
    }
    for (const Node* k : n->kids) todo.push_back(k);
  }
}

bool havingFirst(const Node* root, const std::string& text, std::string& out) {
  std::vector<const Node*> todo{root};
  while (!todo.empty()) {
    const Node* n = todo.back();
    todo.pop_back();
    if (!n) continue;
    for (const Node* k : n->kids) todo.push_back(k);
    if (n->kind != N::Select) continue;
    const Node* having = n->kid(slot::Having);
    const Node* group = n->kid(slot::GroupBy);
    if (!having || !group || having->pos > group->pos) continue;
    auto keyword = [&](const char* w, size_t before) {
      size_t len = std::strlen(w);
      for (size_t k = before; k-- > 0;)
        if (k + len <= before && ora::strncaseC(text.c_str() + k, w, len) == 0) return k;
      return std::string::npos;
    };
    size_t hk = keyword("HAVING", having->pos), gk = keyword("GROUP", group->pos);
    if (hk == std::string::npos || gk == std::string::npos || gk < having->end) continue;
    out = text.substr(0, hk) + text.substr(gk, group->end - gk) + " " + text.substr(hk, gk - hk) +
          text.substr(group->end);
    return true;
  }
  return false;
}

} // namespace ora::sql
