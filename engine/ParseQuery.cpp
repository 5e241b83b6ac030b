// Queries: WITH, query blocks, set operators, joins, ORDER BY, FOR UPDATE.
#include "SqlParser.h"
#include "OraFunctions.h"

#include <algorithm>

namespace ora::sql {

namespace {
bool joinWord(const std::string& w) {
  return w == "JOIN" || w == "INNER" || w == "LEFT" || w == "RIGHT" || w == "FULL" || w == "CROSS" ||
         w == "NATURAL";
}
bool setWord(const std::string& w) { return w == "UNION" || w == "INTERSECT" || w == "MINUS" || w == "EXCEPT"; }

// The places where a query names the table or WITH query "name" (without a schema).
std::vector<const Node*> tableUses(const Node* q, const std::string& name) {
  std::vector<const Node*> out, todo{q};
  while (!todo.empty()) {
    const Node* n = todo.back();
    todo.pop_back();
    if (!n) continue;
    if (n->kind == N::Table && n->text == name && n->kid(0) && n->kid(0)->kids.empty()) out.push_back(n);
    for (const Node* k : n->kids) todo.push_back(k);
  }
  std::sort(out.begin(), out.end(), [](const Node* a, const Node* b) { return a->pos < b->pos; });
  return out;
}
} // namespace

const Node* subqueryIn(const Node* n) {
  std::vector<const Node*> todo{n};
  while (!todo.empty()) {
    const Node* k = todo.back();
    todo.pop_back();
    if (!k) continue;
    if (k->kind == N::Subquery || k->kind == N::Exists) return k;
    for (const Node* c : k->kids) todo.push_back(c);
  }
  return nullptr;
}

Node* Parser::query(bool orderBy) {
  DepthGuard g(queryDepth_, kMaxSubqueryDepth, cur().pos);
  Node* q = make(N::Query);
  q->kids.assign(4, nullptr);
  if (isWord("WITH")) {
    Node* w = make(N::With);
    ++i_;
    do {
      Node* c = make(N::Cte);
      c->text = name(903);
      if (acceptOp("(")) {
        c->kids.push_back(nameList());
        const auto& cols = c->kids.back()->kids;
        for (size_t k = 1; k < cols.size(); ++k)
          for (size_t m = 0; m < k; ++m)
            if (cols[m]->text == cols[k]->text) failAt(32049, cols[k]->pos);
      } else {
        c->kids.push_back(nullptr);
      }
      expectWord("AS", 905);
      expectOp("(", 906);
      c->kids.push_back(query(true));
      expectOp(")", 907);
      searchCycle(c);
      w->kids.push_back(finish(c));
    } while (acceptOp(","));
    q->kids[slot::With] = finish(w);
    withReferences(w);
    if (!isWord("SELECT") && !isOp("(")) fail(928);
  }
  q->kids[slot::Body] = setExpr();
  // a subquery may sort only to keep its first rows: ORDER BY ... FETCH FIRST n ROWS ONLY
  bool limited = orderBy || limitAhead();
  if (limited && isWord("ORDER")) {
    q->kids[slot::OrderBy] = this->orderBy();
    outerMarkIn(q->kids[slot::OrderBy], 30563);
    if (q->kids[slot::Body] && q->kids[slot::Body]->kind == N::Select)
      usingQualified(q->kids[slot::Body], q->kids[slot::OrderBy]);
  }
  if (limited) rowLimit(q);
  if (orderBy && isWord("FOR") && isWord("UPDATE", 1)) {
    Node* f = make(N::List);
    i_ += 2;
    if (acceptWord("OF")) {
      do {
        f->kids.push_back(nameExpr());
      } while (acceptOp(","));
    }
    if (!acceptWord("NOWAIT") && acceptWord("WAIT")) {
      if (cur().kind != Tok::Num) fail(30005);
      ++i_;
    } else if (isWord("SKIP") && isWord("LOCKED", 1)) {
      i_ += 2;
    }
    q->kids[slot::ForUpdate] = finish(f);
  }
  return finish(q);
}

// Whether OFFSET or FETCH follows before the subquery's closing parenthesis.
bool Parser::limitAhead() const {
  int depth = 0;
  for (size_t k = i_; k < t_.size() && t_[k].kind != Tok::End; ++k) {
    const Token& t = t_[k];
    if (t.kind == Tok::Op && t.text == "(") ++depth;
    else if (t.kind == Tok::Op && t.text == ")" && --depth < 0) return false;
    else if (depth == 0 && t.kind == Tok::Ident && (t.text == "FETCH" || t.text == "OFFSET") &&
             k + 1 < t_.size() && (t_[k + 1].kind == Tok::Num || t_[k + 1].kind == Tok::Bind ||
                                   (t_[k + 1].kind == Tok::Ident && (t_[k + 1].text == "FIRST" || t_[k + 1].text == "NEXT"))))
      return true;
  }
  return false;
}

// A recursive WITH query's SEARCH {DEPTH|BREADTH} FIRST BY ... SET c and CYCLE ... SET c TO v
// DEFAULT w. They order and mark the WITH query's own columns and add columns of new names.
void Parser::searchCycle(const Node* cte) {
  const Node* cols = cte->kid(0);
  auto listed = [&](const std::string& n) {
    if (cols)
      for (const Node* k : cols->kids)
        if (k->text == n) return true;
    return false;
  };
  bool recursive = !tableUses(cte->kid(1), cte->text).empty();
  std::string sequence;
  if (isWord("SEARCH")) {
    if (!recursive) fail(32480);
    ++i_;
    if (!acceptWord("DEPTH")) expectWord("BREADTH", 905);
    expectWord("FIRST", 905);
    expectWord("BY", 905);
    std::vector<std::string> keys;
    do {
      uint32_t at = cur().pos;
      std::string key = name(904);
      if (cols && !listed(key)) failAt(32489, at);
      if (std::find(keys.begin(), keys.end(), key) != keys.end()) failAt(32483, at);
      keys.push_back(key);
      if (!acceptWord("ASC")) acceptWord("DESC");
      if (acceptWord("NULLS") && !acceptWord("FIRST")) expectWord("LAST", 905);
    } while (acceptOp(","));
    expectWord("SET", 905);
    uint32_t at = cur().pos;
    sequence = name(904);
    if (listed(sequence)) failAt(32046, at);
  }
  if (isWord("CYCLE")) {
    if (!recursive) fail(32480);
    ++i_;
    std::vector<std::string> keys;
    do {
      uint32_t at = cur().pos;
      std::string key = name(904);
      if (cols && !listed(key)) failAt(32485, at);
      if (std::find(keys.begin(), keys.end(), key) != keys.end()) failAt(32484, at);
      keys.push_back(key);
    } while (acceptOp(","));
    expectWord("SET", 905);
    uint32_t at = cur().pos;
    std::string mark = name(904);
    if (listed(mark)) failAt(32048, at);
    if (mark == sequence) failAt(32482, at);
    expectWord("TO", 905);
    const Node* yes = expr();
    expectWord("DEFAULT", 905);
    const Node* no = expr();
    // the marks are one-byte strings: 'Y' and 'N'
    for (const Node* v : {yes, no})
      if (v->kind != N::Str || v->text.size() != 1) failAt(32047, v->pos);
    if (yes->text == no->text) failAt(32481, no->pos);
  }
}

// A WITH query sees only the WITH queries before it (ORA-32031), and its recursive branch
// reads itself once, without grouping, DISTINCT or aggregates (ORA-32490, ORA-32486).
void Parser::withReferences(const Node* with) const {
  for (size_t k = 0; k < with->kids.size(); ++k) {
    const Node* cte = with->kids[k];
    for (size_t m = k + 1; m < with->kids.size(); ++m)
      if (auto uses = tableUses(cte->kid(1), with->kids[m]->text); !uses.empty()) failAt(32031, uses[0]->pos);
    const Node* body = cte->kid(1) ? cte->kid(1)->kid(slot::Body) : nullptr;
    if (!body || body->kind != N::SetOp || body->text != "UNION ALL") continue;
    const Node* step = body->kid(1);
    auto uses = tableUses(step, cte->text);
    if (uses.empty()) continue;
    if (uses.size() > 1) failAt(32490, uses[1]->pos);
    if (!step || step->kind != N::Select) continue;
    if (step->has(kDistinct)) failAt(32486, step->pos);
    for (size_t slotAt : {slot::GroupBy, slot::Having, slot::ConnectBy})
      if (step->kid(slotAt)) failAt(32486, step->kid(slotAt)->pos);
    std::vector<const Node*> todo{step->kid(slot::Items)};
    while (!todo.empty()) {
      const Node* n = todo.back();
      todo.pop_back();
      if (!n || n->kind == N::Subquery || n->kind == N::Exists) continue;
      if (n->kind == N::Call && (n->has(kOver) || aggregateFunction(n->text))) failAt(32486, n->pos);
      for (const Node* c : n->kids) todo.push_back(c);
    }
  }
}

// OFFSET n ROWS and FETCH FIRST n ROWS ONLY after the ORDER BY.
void Parser::rowLimit(Node* q) {
  bool offset = isWord("OFFSET") && !isOp(",", 1) && !(peek(1).kind == Tok::End);
  if (offset) {
    ++i_;
    q->kids.push_back(expr());
    if (!acceptWord("ROWS")) expectWord("ROW", 905);
  }
  if (!acceptWord("FETCH")) return;
  if (!acceptWord("FIRST")) expectWord("NEXT", 905);
  if (!isWord("ROW") && !isWord("ROWS")) q->kids.push_back(expr());
  acceptWord("PERCENT");
  if (!acceptWord("ROWS")) expectWord("ROW", 905);
  if (acceptWord("WITH")) expectWord("TIES", 905);
  else expectWord("ONLY", 905);
}

bool Parser::parenQueryAhead(size_t k) const {
  size_t at = i_ + k, m = at;
  if (!isOp("(", k)) return false;
  while (m < t_.size() && t_[m].kind == Tok::Op && t_[m].text == "(") ++m;
  if (m >= t_.size() || t_[m].kind != Tok::Ident || (t_[m].text != "SELECT" && t_[m].text != "WITH")) return false;
  int depth = 0;
  for (m = at; m < t_.size() && t_[m].kind != Tok::End; ++m) {
    if (t_[m].kind != Tok::Op) continue;
    if (t_[m].text == "(") ++depth;
    else if (t_[m].text == ")" && --depth == 0) break;
  }
  return m + 1 < t_.size() && t_[m + 1].kind == Tok::Ident && setWord(t_[m + 1].text);
}

Node* Parser::setExpr() {
  auto term = [&]() -> Node* {
    if (isOp("(")) {
      uint32_t open = cur().pos;
      ++i_;
      if (!isWord("SELECT") && !isWord("WITH") && !isOp("(")) fail(928);
      Node* inner = query(true);
      expectOp(")", 907);
      inner->pos = open;
      inner->flags |= kParens;
      return finish(inner);
    }
    if (!isWord("SELECT")) fail(928);
    return selectBlock();
  };
  Node* left = term();
  while (cur().kind == Tok::Ident && setWord(cur().text)) {
    Node* n = tree_.make(N::SetOp, left->pos);
    n->text = cur().text == "EXCEPT" ? "MINUS" : cur().text;
    ++i_;
    if (acceptWord("ALL")) n->text += " ALL";
    n->kids.push_back(left);
    n->kids.push_back(term());
    left = finish(n);
  }
  return left;
}

Node* Parser::selectBlock() {
  Node* s = make(N::Select);
  s->kids.assign(7, nullptr);
  ++i_; // SELECT
  if (acceptWord("DISTINCT") || acceptWord("UNIQUE")) s->flags |= kDistinct;
  else acceptWord("ALL");
  Node* items = make(N::List);
  for (;;) {
    Node* it = make(N::Item);
    if (isOp("*")) {
      // a bare "*" stands alone in the list
      if (!items->kids.empty()) fail(936);
      Node* star = make(N::Star);
      ++i_;
      it->kids.push_back(finish(star));
      if (isOp(",")) fail(923);
    } else {
      // a select item is a value, a condition's among them: "SAL > 1000" is a BOOLEAN
      Node* e = binary(1);
      // a condition written as a call is a BOOLEAN item too; LNNVL stays a WHERE condition only
      if (e->kind != N::Call || e->text == "LNNVL") value(e);
      it->kids.push_back(e);
      if (e->kind != N::Star) {
        if (acceptWord("AS")) {
          if (!nameAt()) fail(isWord("FROM") ? 936 : 923);
          it->alias = t_[i_++].text;
        } else if (nameAt()) {
          it->alias = t_[i_++].text;
        }
      }
    }
    items->kids.push_back(finish(it));
    if (!acceptOp(",")) break;
  }
  s->kids[slot::Items] = finish(items);
  if (!acceptWord("FROM")) fail(923);
  Node* from = make(N::List);
  do {
    from->kids.push_back(fromItem());
  } while (acceptOp(","));
  s->kids[slot::From] = finish(from);
  for (;;) {
    if (!s->kids[slot::Where] && acceptWord("WHERE")) {
      s->kids[slot::Where] = condition();
    } else if (isWord("START") && !s->kids[slot::StartWith]) {
      ++i_;
      expectWord("WITH", 905);
      s->kids[slot::StartWith] = condition();
    } else if (isWord("CONNECT") && !s->kids[slot::ConnectBy]) {
      ++i_;
      expectWord("BY", 924);
      acceptWord("NOCYCLE");
      s->kids[slot::ConnectBy] = condition();
    } else if (isWord("GROUP") && !s->kids[slot::GroupBy]) {
      ++i_;
      expectWord("BY", 924);
      Node* g = make(N::List);
      do {
        if (isWord("GROUPING") && isWord("SETS", 1)) {
          // GROUPING SETS ((a, b), a, ()): each set a list, its columns inside
          Node* sets = make(N::List);
          i_ += 2;
          expectOp("(", 906);
          do {
            if (isOp("(") && isOp(")", 1)) {
              sets->kids.push_back(finish(make(N::List)));
              i_ += 2;
            } else {
              sets->kids.push_back(expr());
            }
          } while (acceptOp(","));
          expectOp(")", 907);
          g->kids.push_back(finish(sets));
        } else if (isOp("(") && isOp(")", 1)) {
          g->kids.push_back(finish(make(N::List))); // (): all rows in one group
          i_ += 2;
        } else {
          g->kids.push_back(expr());
        }
      } while (acceptOp(","));
      // GROUP BY (SELECT ...) is ORA-22818
      if (const Node* sub = subqueryIn(g)) failAt(22818, sub->pos);
      s->kids[slot::GroupBy] = finish(g);
    } else if (isWord("HAVING") && !s->kids[slot::Having]) {
      ++i_;
      s->kids[slot::Having] = condition();
    } else {
      break;
    }
  }
  for (size_t k : {slot::Items, slot::StartWith, slot::ConnectBy}) outerMarkIn(s->kids[k], 30563);
  usingQualified(s);
  return finish(s);
}

// A column a join shares through USING has no table any more: "E.DEPTNO" is ORA-25154.
void Parser::usingQualified(const Node* block, const Node* orderBy) const {
  std::vector<const std::string*> shared;
  std::vector<const Node*> todo{block->kid(slot::From)};
  while (!todo.empty()) {
    const Node* n = todo.back();
    todo.pop_back();
    if (!n) continue;
    if (n->kind == N::Join && n->alias == "USING")
      for (const Node* c : n->kids.back()->kids) shared.push_back(&c->text);
    if (n->kind == N::Join || n->kind == N::List)
      for (const Node* k : n->kids) todo.push_back(k);
  }
  if (shared.empty()) return;
  std::vector<const Node*> tops(block->kids.begin(), block->kids.end());
  tops.push_back(orderBy); // the query's ORDER BY sees the same columns
  for (const Node* top : tops) {
    if (!top || top == block->kid(slot::From)) continue;
    todo.assign(1, top);
    while (!todo.empty()) {
      const Node* n = todo.back();
      todo.pop_back();
      if (!n || n->kind == N::Subquery || n->kind == N::Query) continue;
      if (n->kind == N::Name && !n->kids.empty() && n->kids[0] && n->kids[0]->kind == N::Name)
        for (const std::string* c : shared)
          if (*c == n->text) failAt(25154, n->kids[0]->pos);
      for (const Node* k : n->kids) todo.push_back(k);
    }
  }
}

// An ANSI join's condition cannot also use the old (+) outer join mark (ORA-25156); nor can the
// select list, ORDER BY, START WITH or CONNECT BY (ORA-30563).
void Parser::outerMarkIn(const Node* on, int code) const {
  std::vector<const Node*> todo{on};
  while (!todo.empty()) {
    const Node* n = todo.back();
    todo.pop_back();
    if (!n || n->kind == N::Subquery || n->kind == N::Query) continue;
    if (n->has(kOuterMark) && (n->kind == N::Name)) failAt(code, n->pos);
    for (const Node* k : n->kids) todo.push_back(k);
  }
}

// A table alias: a name that does not start the next clause or a join.
bool Parser::tableAliasAt() const {
  if (!nameAt()) return false;
  const Token& t = cur();
  if (t.kind == Tok::QIdent) return true;
  if (t.text == "JOIN") return false;
  if ((t.text == "CROSS" || t.text == "OUTER") && isWord("APPLY", 1)) return false;
  if (joinWord(t.text) || t.text == "OUTER")
    return !(isWord("JOIN", 1) || isWord("OUTER", 1) || (t.text == "NATURAL" && (isWord("INNER", 1) || isWord("LEFT", 1) || isWord("RIGHT", 1) || isWord("FULL", 1))));
  return !setWord(t.text) && t.text != "PARTITION" && t.text != "USING" && t.text != "FETCH" &&
         !(t.text == "OFFSET" && (peek(1).kind == Tok::Num || peek(1).kind == Tok::Bind));
}

Node* Parser::tableRef() {
  Node* n;
  if (isWord("LATERAL") && isOp("(", 1) && (isWord("SELECT", 2) || isWord("WITH", 2))) {
    ++i_;
    n = tableRef();
    n->flags |= kLateral;
    return n;
  }
  if (isOp("(")) {
    uint32_t open = cur().pos;
    ++i_;
    if (isWord("SELECT") || isWord("WITH") || parenQueryAhead()) {
      n = tree_.make(N::Derived, open);
      n->kids.push_back(query(true));
      expectOp(")", 907);
    } else {
      n = fromItem();
      expectOp(")", 907);
      n->flags |= kParens;
      return n;
    }
  } else if (isWord("JSON_TABLE") && isOp("(", 1)) {
    n = jsonTable();
  } else if (isWord("XMLTABLE") && isOp("(", 1)) {
    n = xmlTable();
  } else if ((isWord("TABLE") && isOp("(", 1)) || (isWord("THE") && isOp("(", 1) && isWord("SELECT", 2))) {
    // TABLE(collection): the rows of its elements; THE(subquery) is its older name
    n = make(N::Table);
    Node* table = make(N::Name);
    table->text = n->text = "TABLE";
    n->kids.push_back(finish(table));
    i_ += 2;
    if (isWord("SELECT") || isWord("WITH")) {
      Node* q = tree_.make(N::Subquery, cur().pos);
      q->kids.push_back(query(true));
      n->kids.push_back(q);
    } else {
      value(expr());
    }
    expectOp(")", 907);
    if (isOp("(") && isOp("+", 1) && isOp(")", 2)) i_ += 3; // outer: rows before it stay when it has none
  } else if (nameAt() && (isOp("(", 1) || (isOp(".", 1) && isOp("(", 3)))) {
    // a table function called without TABLE
    n = make(N::Table);
    Node* table = make(N::Name);
    table->text = n->text = "TABLE";
    n->kids.push_back(finish(table));
    value(expr());
  } else {
    if (atEnd() || !nameAt()) fail(903);
    n = make(N::Table);
    n->kids.push_back(objectName(903));
    n->text = n->kids[0]->text;
    if (acceptOp("@")) name(903);
  }
  if (isWord("MATCH_RECOGNIZE") && isOp("(", 1) && peek(2).kind == Tok::Str && isOp(")", 3)) {
    // its clause, quoted whole, is read where it is translated: here a source of no known columns
    Node* m = tree_.make(N::Table, n->pos);
    Node* name = make(N::Name);
    Node* rows = make(N::Name);
    rows->text = "ROWS";
    name->text = m->text = "MATCH_RECOGNIZE";
    name->kids.push_back(finish(rows));
    m->kids.push_back(finish(name));
    i_ += 4;
    n = m;
  }
  if (isWord("AS") && (peek(1).kind == Tok::QIdent || (peek(1).kind == Tok::Ident && !reservedWord(peek(1).text)))) ++i_;
  if (tableAliasAt()) n->alias = t_[i_++].text;
  return finish(n);
}

Node* Parser::fromItem() {
  // PARTITION BY of a partitioned outer join, after the table on either side of the join
  auto partition = [&]() -> Node* {
    if (!isWord("PARTITION") || !isWord("BY", 1)) return nullptr;
    i_ += 2;
    Node* list = make(N::List);
    bool open = acceptOp("(");
    do {
      list->kids.push_back(value(expr()));
    } while (acceptOp(","));
    if (open) expectOp(")", 907);
    return finish(list);
  };
  Node* left = tableRef();
  Node* leftPartition = partition();
  for (;;) {
    bool join = isWord("JOIN") || isWord("INNER") || isWord("CROSS") || isWord("NATURAL") ||
                ((isWord("LEFT") || isWord("RIGHT") || isWord("FULL")) && (isWord("JOIN", 1) || isWord("OUTER", 1)));
    bool apply = (isWord("CROSS") || isWord("OUTER")) && isWord("APPLY", 1);
    if (!join && !apply) {
      if (leftPartition) failAt(933, leftPartition->pos); // no outer join to partition
      break;
    }
    if (apply && leftPartition) failAt(933, leftPartition->pos);
    Node* j = tree_.make(N::Join, left->pos);
    if (apply) {
      // the right side may name the columns of the tables before it; it has no condition
      j->text = t_[i_].text + " APPLY";
      i_ += 2;
      j->kids.push_back(left);
      j->kids.push_back(tableRef());
      j->kids.back()->flags |= kLateral;
      left = finish(j);
      continue;
    }
    bool natural = acceptWord("NATURAL");
    std::string type = "INNER";
    if (acceptWord("INNER")) type = "INNER";
    else if (acceptWord("CROSS")) type = "CROSS";
    else if (isWord("LEFT") || isWord("RIGHT") || isWord("FULL")) {
      type = t_[i_++].text;
      acceptWord("OUTER");
    }
    expectWord("JOIN", 905);
    j->text = (natural ? "NATURAL " : "") + type;
    j->kids.push_back(left);
    j->kids.push_back(tableRef());
    Node* rightPartition = partition();
    Node* partitioned = leftPartition ? leftPartition : rightPartition;
    if (partitioned && (natural || type == "INNER" || type == "CROSS" || (leftPartition && rightPartition)))
      failAt(933, partitioned->pos);
    if (partitioned && type == "FULL") failAt(39754, partitioned->pos);
    leftPartition = nullptr;
    if (type != "CROSS" && !natural) {
      if (acceptWord("ON")) {
        j->kids.push_back(condition());
        outerMarkIn(j->kids.back());
      } else if (acceptWord("USING")) {
        expectOp("(", 906);
        j->alias = "USING";
        for (size_t k = 0; isOp(".", k + 1) || isOp(",", k + 1); k += 2)
          if (isOp(".", k + 1)) failAt(1748, peek(k).pos); // USING (E.DEPTNO)
        j->kids.push_back(nameList());
      } else {
        fail(905);
      }
    }
    if (partitioned) j->kids.push_back(partitioned);
    left = finish(j);
  }
  return left;
}

Node* Parser::orderBy() {
  Node* l = make(N::List);
  ++i_; // ORDER
  acceptWord("SIBLINGS"); // of a hierarchical query
  expectWord("BY", 924);
  do {
    Node* o = make(N::Order);
    o->kids.push_back(expr());
    if (acceptWord("DESC")) o->flags |= kDesc;
    else acceptWord("ASC");
    if (acceptWord("NULLS")) {
      if (acceptWord("FIRST")) o->flags |= kNullsFirst;
      else if (acceptWord("LAST")) o->flags |= kNullsLast;
      else fail(905);
    }
    l->kids.push_back(finish(o));
  } while (acceptOp(","));
  return finish(l);
}

} // namespace ora::sql
