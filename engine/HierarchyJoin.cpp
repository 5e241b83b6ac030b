// A hierarchical query over several tables: the tables are joined first, the hierarchy is
// walked over the joined rows, and the WHERE clause's other conditions then filter the walk.
// The statement is written again with the join as an inline view, which the walk takes as its
// one source.
#include "HierarchyJoin.h"
#include "CType.h"
#include "QueryScopes.h"
#include "SqlParser.h"
#include "SqlText.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>

namespace ora {

namespace {

using sql::N;
using sql::Node;

struct Source {
  std::string exposed;              // alias, or the table's name
  std::vector<std::string> columns; // in order
  size_t first = 0;                 // number of its first column in the join's view
};

struct Edit {
  size_t pos, end;
  std::string text;
};

// The tables of a FROM clause; false when one is not a plain table or named subquery, or the
// join shares columns by name (NATURAL, USING).
bool fromSources(const Node* n, Catalog& cat, std::string_view text, std::vector<Source>& out) {
  if (!n) return false;
  switch (n->kind) {
  case N::List:
    for (const Node* k : n->kids)
      if (!fromSources(k, cat, text, out)) return false;
    return true;
  case N::Join:
    if (n->alias == "USING" || n->text.rfind("NATURAL", 0) == 0) return false;
    return fromSources(n->kid(0), cat, text, out) && fromSources(n->kid(1), cat, text, out);
  case N::Table: {
    const Node* name = n->kid(0);
    if (!name || !name->kids.empty() || !cat.tableExists(n->text)) return false;
    Source s{n->alias.empty() ? n->text : n->alias, {}, 0};
    for (const ColumnInfo& c : cat.columns(n->text)) s.columns.push_back(c.name);
    out.push_back(std::move(s));
    return true;
  }
  case N::Derived: {
    if (n->alias.empty()) return false;
    Source s{n->alias, sql::resultNames(n->kid(0), text), 0};
    if (s.columns.empty() || std::count(s.columns.begin(), s.columns.end(), std::string()) > 0) return false;
    out.push_back(std::move(s));
    return true;
  }
  default: return false;
  }
}

void conjuncts(const Node* n, std::vector<const Node*>& out) {
  if (n && n->kind == N::And) {
    for (const Node* k : n->kids) conjuncts(k, out);
  } else if (n) {
    out.push_back(n);
  }
}

// The heading Oracle gives a select item without an alias: a column's name, or the
// expression's text in upper case without blanks.
std::string heading(const std::vector<sql::Token>& toks, std::string_view text, size_t pos, size_t end) {
  std::vector<const sql::Token*> in;
  for (const sql::Token& t : toks)
    if (t.kind != sql::Tok::End && t.pos >= pos && t.end <= end) in.push_back(&t);
  if (in.size() == 1 && in[0]->kind == sql::Tok::QIdent) return in[0]->text;
  if (in.size() == 3 && in[1]->text == "." && (in[2]->kind == sql::Tok::Ident || in[2]->kind == sql::Tok::QIdent))
    return in[2]->text;
  std::string h;
  for (const sql::Token* t : in) {
    std::string r(text.substr(t->pos, t->end - t->pos));
    for (auto& c : r) c = static_cast<char>(ora::upperC(static_cast<unsigned char>(c)));
    if (t->kind == sql::Tok::Str) r.erase(std::remove(r.begin(), r.end(), ' '), r.end());
    h += r;
  }
  return h;
}

class Rewriter {
public:
  Rewriter(std::string_view text, std::vector<Source>& sources) : text_(text), sources_(sources) {}

  // The view column a name stands for, or empty when it names no column of the join.
  std::string column(const Node* n) const {
    const Node* q = n->kids.empty() ? nullptr : n->kids[0];
    if (q && (q->kind != N::Name || !q->kids.empty())) return {};
    std::string found;
    for (const Source& s : sources_) {
      if (q && q->text != s.exposed) continue;
      for (size_t c = 0; c < s.columns.size(); ++c) {
        if (s.columns[c] != n->text) continue;
        if (!found.empty()) {
          OraError e(918, n->text);
          e.pos = static_cast<int>(n->pos);
          throw e;
        }
        found = viewName(s.first + c);
      }
    }
    return found;
  }
  static std::string viewName(size_t k) { return "\"J$" + std::to_string(k) + "\""; }

  // Edits that point the names under n at the view's columns; `aliases` are the select list's
  // names, which ORDER BY may use unqualified.
  void names(const Node* n, std::vector<Edit>& out, const std::set<std::string>* aliases = nullptr) const {
    std::vector<const Node*> todo{n};
    while (!todo.empty()) {
      const Node* k = todo.back();
      todo.pop_back();
      if (!k || k->kind == N::Subquery || k->kind == N::Query || k->kind == N::Derived) continue;
      if (k->kind == N::Name) {
        if (aliases && k->kids.empty() && aliases->count(k->text)) continue;
        if (std::string c = column(k); !c.empty()) out.push_back({k->pos, k->end, c});
        continue;
      }
      for (const Node* c : k->kids) todo.push_back(c);
    }
  }

  std::string apply(size_t pos, size_t end, std::vector<Edit> edits) const {
    std::sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) {
      return a.pos != b.pos ? a.pos < b.pos : a.end < b.end;
    });
    std::string out;
    size_t at = pos;
    for (const Edit& e : edits) {
      if (e.pos < at || e.end > end) continue;
      out.append(text_.substr(at, e.pos - at));
      out += e.text;
      at = e.end;
    }
    out.append(text_.substr(at, end - at));
    return out;
  }

  // Whether a condition names columns of two tables or more: a join condition.
  bool joins(const Node* n) const {
    std::set<size_t> tables;
    std::vector<const Node*> todo{n};
    while (!todo.empty()) {
      const Node* k = todo.back();
      todo.pop_back();
      if (!k || k->kind == N::Subquery || k->kind == N::Query) continue;
      if (k->kind == N::Name && k->has(sql::kOuterMark)) return true;
      if (k->kind == N::Name) {
        const Node* q = k->kids.empty() ? nullptr : k->kids[0];
        for (size_t s = 0; s < sources_.size(); ++s) {
          if (q && (q->kind != N::Name || !q->kids.empty() || q->text != sources_[s].exposed)) continue;
          if (std::find(sources_[s].columns.begin(), sources_[s].columns.end(), k->text) != sources_[s].columns.end())
            tables.insert(s);
        }
        continue;
      }
      for (const Node* c : k->kids) todo.push_back(c);
    }
    return tables.size() > 1;
  }

private:
  std::string_view text_;
  std::vector<Source>& sources_;
};

// The first query block with CONNECT BY over more than one table, and the query it is the body of.
const Node* joinedWalk(const Node* root, const Node*& owner) {
  std::vector<std::pair<const Node*, const Node*>> todo{{root, nullptr}};
  while (!todo.empty()) {
    auto [n, parent] = todo.back();
    todo.pop_back();
    if (!n) continue;
    if (n->kind == N::Select && n->kid(sql::slot::ConnectBy)) {
      const Node* from = n->kid(sql::slot::From);
      if (from && (from->kids.size() > 1 || (from->kids.size() == 1 && from->kids[0] && from->kids[0]->kind == N::Join))) {
        owner = parent && parent->kind == N::Query && parent->kid(sql::slot::Body) == n ? parent : nullptr;
        return n;
      }
    }
    for (const Node* k : n->kids) todo.emplace_back(k, n);
  }
  return nullptr;
}

} // namespace

bool hierarchyJoin(const std::string& text, Catalog& cat, std::string& out) {
  if (text.size() < 7) return false;
  {
    std::string upper(text);
    for (auto& c : upper) c = static_cast<char>(ora::upperC(static_cast<unsigned char>(c)));
    if (upper.find("CONNECT") == std::string::npos) return false;
  }
  auto toks = sql::lex(text);
  if (!sql::parsedKind(toks)) return false;
  sql::Tree tree;
  const Node* root = sql::Parser(text, toks, tree).statement();
  const Node* owner = nullptr;
  const Node* s = joinedWalk(root, owner);
  if (!s) return false;
  std::vector<Source> sources;
  if (!fromSources(s->kid(sql::slot::From), cat, text, sources)) return false;
  size_t count = 0;
  for (Source& src : sources) {
    src.first = count;
    count += src.columns.size();
  }
  Rewriter rw(text, sources);
  const Node* from = s->kid(sql::slot::From);
  const Node* where = s->kid(sql::slot::Where);
  const Node* items = s->kid(sql::slot::Items);
  size_t clauseEnd = where ? where->end : from->end;
  for (size_t k : {sql::slot::StartWith, sql::slot::ConnectBy, sql::slot::GroupBy, sql::slot::Having})
    if (s->kid(k) && s->kid(k)->pos < clauseEnd) return false; // written before WHERE

  // the join's view: every column of every table, with the WHERE clause's join conditions
  std::string view = "(SELECT ";
  for (const Source& src : sources)
    for (size_t c = 0; c < src.columns.size(); ++c)
      view += (src.first + c ? ", " : "") + quoteIdent(src.exposed) + "." + quoteIdent(src.columns[c]) + " " +
              Rewriter::viewName(src.first + c);
  view += " FROM " + std::string(text.substr(from->pos, from->end - from->pos));
  std::vector<const Node*> conds, joined, rest;
  conjuncts(where, conds);
  for (const Node* c : conds) (rw.joins(c) ? joined : rest).push_back(c);
  // a conjunct of OR keeps its parentheses
  auto part = [](const Node* c, const std::string& t) { return c->kind == N::Or ? "(" + t + ")" : t; };
  for (size_t k = 0; k < joined.size(); ++k)
    view += (k ? " AND " : " WHERE ") + part(joined[k], text.substr(joined[k]->pos, joined[k]->end - joined[k]->pos));
  view += ") \"J$\"";
  std::string filter;
  for (size_t k = 0; k < rest.size(); ++k) {
    std::vector<Edit> e;
    rw.names(rest[k], e);
    filter += (k ? " AND " : " WHERE ") + part(rest[k], rw.apply(rest[k]->pos, rest[k]->end, e));
  }

  std::vector<Edit> edits;
  std::set<std::string> aliases;
  for (const Node* it : items ? items->kids : std::vector<Node*>{}) {
    const Node* x = it->kid(0);
    if (!it->alias.empty()) aliases.insert(it->alias);
    if (x && x->kind == N::Star) {
      // every column of the tables, or of the one named, under its own name
      const Node* q = x->kid(0);
      std::string all;
      for (const Source& src : sources)
        if (!q || q->text == src.exposed)
          for (size_t c = 0; c < src.columns.size(); ++c)
            all += (all.empty() ? "" : ", ") + Rewriter::viewName(src.first + c) + " " + quoteIdent(src.columns[c]);
      if (all.empty()) return false;
      edits.push_back({x->pos, x->end, all});
      continue;
    }
    size_t before = edits.size();
    rw.names(x, edits);
    if (it->alias.empty() && edits.size() > before) {
      std::string h = heading(toks, text, x->pos, x->end);
      if (h.find('"') == std::string::npos) edits.push_back({it->end, it->end, " \"" + h + "\""});
    }
  }
  for (size_t k = 0; k < s->kids.size(); ++k)
    if (k != sql::slot::Items && k != sql::slot::From && k != sql::slot::Where) rw.names(s->kid(k), edits);
  edits.push_back({from->pos, clauseEnd, view + filter});
  size_t end = s->end;
  if (owner && owner->kid(sql::slot::OrderBy)) {
    rw.names(owner->kid(sql::slot::OrderBy), edits, &aliases);
    end = std::max<size_t>(end, owner->kid(sql::slot::OrderBy)->end);
  }
  out = text.substr(0, s->pos) + rw.apply(s->pos, end, edits) + text.substr(end);
  return true;
}

} // namespace ora
