// INSERT, UPDATE and DELETE through a view that joins tables: the statement goes to the one
// table whose rows the view shows at most once (a key-preserved table), found by the view's
// equality conditions against the other tables' primary and unique keys.
#include "ViewDml.h"

#include "Dictionary.h"
#include "SqlParser.h"
#include "SqlText.h"

#include <map>
#include <set>

namespace ora {

namespace {

using sql::N;
using sql::Node;
using sql::Tok;

struct JoinTable {
  std::string table, alias; // alias: the name the view gives it (its own name when none)
};

struct JoinShape {
  std::vector<JoinTable> tables;
  std::string from, where;                 // as the view writes them
  std::vector<std::string> columns;        // the view's columns in order
  std::map<std::string, std::pair<size_t, std::string>> column; // view column -> table, column
  std::map<std::string, std::string> expression;                // view column -> its text
  std::vector<bool> keyPreserved;
};

// The tables of a FROM list of plain tables and inner joins; their ON conditions to `conds`.
bool collectTables(const Node* n, JoinShape& js, std::vector<const Node*>& conds) {
  if (!n) return false;
  if (n->kind == N::Table) {
    if (n->kids.empty() || !n->kids[0]->kids.empty()) return false; // another schema's table
    js.tables.push_back({n->text, n->alias.empty() ? n->text : n->alias});
    return true;
  }
  if (n->kind == N::Join && n->text == "INNER" && n->alias != "USING") {
    if (!collectTables(n->kid(0), js, conds) || !collectTables(n->kid(1), js, conds)) return false;
    if (n->kid(2)) conds.push_back(n->kid(2));
    return true;
  }
  return false;
}

void equalities(const Node* n, std::vector<std::pair<const Node*, const Node*>>& out) {
  if (!n) return;
  if (n->kind == N::And)
    for (const Node* k : n->kids) equalities(k, out);
  if (n->kind == N::Compare && n->text == "=" && n->kids.size() == 2 && n->kids[0]->kind == N::Name &&
      n->kids[1]->kind == N::Name)
    out.emplace_back(n->kids[0], n->kids[1]);
}

} // namespace

bool joinViewDml(const std::string& text, const std::vector<sql::Token>& t, size_t after, const std::string& view,
                 const std::string& alias, const std::string& query, std::vector<std::string> names, Catalog& cat,
                 std::string& out) {
  sql::Tree tree;
  const Node* q = sql::parse(query, tree);
  const Node* s = q && q->kind == N::Query ? q->kid(sql::slot::Body) : nullptr;
  if (!s || s->kind != N::Select || s->has(sql::kDistinct) || q->kid(sql::slot::With) || s->kid(sql::slot::GroupBy) ||
      s->kid(sql::slot::Having) || s->kid(sql::slot::ConnectBy) || !s->kid(sql::slot::From))
    return false;
  JoinShape js;
  std::vector<const Node*> conds;
  const Node* from = s->kid(sql::slot::From);
  for (const Node* k : from->kids)
    if (!collectTables(k, js, conds)) return false;
  if (js.tables.size() < 2 || from->kids.empty()) return false;
  js.from = query.substr(from->kids.front()->pos, from->kids.back()->end - from->kids.front()->pos);
  if (const Node* w = s->kid(sql::slot::Where)) {
    js.where = query.substr(w->pos, w->end - w->pos);
    conds.push_back(w);
  }
  std::vector<std::vector<ColumnInfo>> tableColumns;
  for (auto& jt : js.tables) tableColumns.push_back(cat.columns(jt.table));
  // a column reference of the view's query: its table and column
  auto resolve = [&](const Node* n, size_t& table, std::string& column) {
    column = n->text;
    for (size_t k = 0; k < js.tables.size(); ++k) {
      if (!n->kids.empty() && n->kids[0]->text != js.tables[k].alias) continue;
      for (auto& c : tableColumns[k])
        if (c.name == column) {
          table = k;
          return true;
        }
    }
    return false;
  };
  // which columns of each table the conditions equate with a column of another
  std::vector<std::map<size_t, std::set<std::string>>> joined(js.tables.size());
  std::vector<std::pair<const Node*, const Node*>> eq;
  for (const Node* c : conds) equalities(c, eq);
  for (auto& [l, r] : eq) {
    size_t lt = 0, rt = 0;
    std::string lc, rc;
    if (!resolve(l, lt, lc) || !resolve(r, rt, rc) || lt == rt) continue;
    joined[lt][rt].insert(lc); // table lt's column lc is fixed by a row of rt
    joined[rt][lt].insert(rc);
  }
  // a table is key-preserved when every other table's rows are fixed by one of its keys
  for (size_t k = 0; k < js.tables.size(); ++k) {
    bool preserved = true;
    for (size_t u = 0; u < js.tables.size() && preserved; ++u) {
      if (u == k) continue;
      bool keyed = false;
      for (auto& key : recordedConstraints(cat.db(), js.tables[u].table)) {
        bool all = !key.columns.empty();
        for (auto& c : key.columns)
          if (!joined[u][k].count(c)) all = false;
        if (all) keyed = true;
      }
      preserved = keyed;
    }
    js.keyPreserved.push_back(preserved);
  }
  // the view's columns
  std::vector<std::pair<size_t, std::string>> itemColumns; // per view column: table, column (table = npos: expression)
  std::vector<std::string> itemText;
  for (const Node* it : s->kid(sql::slot::Items)->kids) {
    const Node* e = it->kid(0);
    if (e && e->kind == N::Star) {
      for (size_t k = 0; k < js.tables.size(); ++k) {
        if (!e->kids.empty() && e->kids[0]->text != js.tables[k].alias) continue;
        for (auto& c : tableColumns[k]) {
          itemColumns.emplace_back(k, c.name);
          itemText.push_back(c.name);
        }
      }
      continue;
    }
    size_t table = 0;
    std::string column;
    if (e && e->kind == N::Name && resolve(e, table, column)) itemColumns.emplace_back(table, column);
    else itemColumns.emplace_back(std::string::npos, "(" + query.substr(e->pos, e->end - e->pos) + ")");
    itemText.push_back(!it->alias.empty() ? it->alias : e && e->kind == N::Name ? e->text : std::string());
  }
  if (names.empty()) names = itemText;
  for (size_t k = 0; k < names.size() && k < itemColumns.size(); ++k) {
    if (itemColumns[k].first == std::string::npos) js.expression[names[k]] = itemColumns[k].second;
    else js.column[names[k]] = itemColumns[k];
  }

  auto word = [&](size_t i, const char* w) { return i < t.size() && t[i].kind == Tok::Ident && t[i].text == w; };
  auto op = [&](size_t i, const char* o) { return i < t.size() && t[i].kind == Tok::Op && t[i].text == o; };
  auto nameTok = [&](size_t i) { return i < t.size() && (t[i].kind == Tok::Ident || t[i].kind == Tok::QIdent); };
  auto qualified = [&](size_t table, const std::string& column) {
    return quoteIdent(js.tables[table].alias) + "." + quoteIdent(column);
  };
  // the statement's text from token b on, the view's columns written as the tables' columns
  auto rewrite = [&](size_t b, size_t e) {
    std::string sql;
    size_t copied = b < t.size() ? t[b].pos : text.size();
    size_t end = e < t.size() ? t[e].pos : text.size();
    for (size_t i = b; i < e && t[i].kind != Tok::End; ++i) {
      if (!nameTok(i) || op(i + 1, "(")) continue;
      if (op(i + 1, ".")) {
        if ((!view.empty() && t[i].text == view) || (!alias.empty() && t[i].text == alias)) {
          sql += text.substr(copied, t[i].pos - copied);
          copied = t[i + 1].end;
        }
        continue;
      }
      if (i > 0 && op(i - 1, ".") && !(i >= 2 && ((!view.empty() && t[i - 2].text == view) || t[i - 2].text == alias)))
        continue;
      std::string replacement;
      if (auto c = js.column.find(t[i].text); c != js.column.end())
        replacement = qualified(c->second.first, c->second.second);
      else if (auto x = js.expression.find(t[i].text); x != js.expression.end())
        replacement = x->second;
      else
        continue;
      sql += text.substr(copied, t[i].pos - copied) + replacement;
      copied = t[i].end;
    }
    return sql + text.substr(copied, end - copied);
  };
  // the one table a set of view columns lives in
  auto tableOf = [&](const std::vector<std::pair<std::string, size_t>>& cols) {
    size_t table = std::string::npos;
    for (auto& [c, at] : cols) {
      if (js.expression.count(c)) throw OraError(1733).at(static_cast<int>(t[at].pos));
      auto it = js.column.find(c);
      if (it == js.column.end()) throw OraError(904, "\"" + c + "\"").at(static_cast<int>(t[at].pos));
      if (table != std::string::npos && table != it->second.first) throw OraError(1776);
      table = it->second.first;
      if (!js.keyPreserved[table]) throw OraError(1779).at(static_cast<int>(t[at].pos));
    }
    return table;
  };
  auto rows = [&](size_t table, const std::string& stmtWhere) {
    std::string cond = js.where.empty() ? std::string() : "(" + js.where + ")";
    if (!stmtWhere.empty()) cond += (cond.empty() ? "(" : " AND (") + stmtWhere + ")";
    return "ROWID IN (SELECT " + quoteIdent(js.tables[table].alias) + ".ROWID FROM " + js.from +
           (cond.empty() ? "" : " WHERE " + cond) + ")";
  };
  auto target = [&](size_t table) {
    return quoteIdent(js.tables[table].table) + " " + quoteIdent(js.tables[table].alias);
  };

  if (word(0, "DELETE")) {
    size_t table = std::string::npos;
    for (size_t k = 0; k < js.tables.size() && table == std::string::npos; ++k)
      if (js.keyPreserved[k]) table = k;
    if (table == std::string::npos) throw OraError(1752);
    std::string stmtWhere;
    if (word(after, "WHERE")) stmtWhere = rewrite(after + 1, t.size());
    else if (t[after].kind != Tok::End) return false;
    out = "DELETE FROM " + target(table) + " WHERE " + rows(table, stmtWhere);
    return true;
  }
  if (word(0, "UPDATE")) {
    if (!word(after, "SET")) return false;
    size_t whereAt = t.size() - 1;
    int d = 0;
    std::vector<std::pair<std::string, size_t>> setCols;
    bool expectColumn = true;
    for (size_t i = after + 1; i < t.size() && t[i].kind != Tok::End; ++i) {
      if (op(i, "(")) ++d;
      if (op(i, ")")) --d;
      if (d == 0 && word(i, "WHERE")) {
        whereAt = i;
        break;
      }
      if (d == 0 && op(i, ",")) expectColumn = true;
      else if (expectColumn && nameTok(i)) {
        size_t c = op(i + 1, ".") ? i + 2 : i;
        setCols.emplace_back(t[c].text, c);
        expectColumn = false;
        i = c;
      }
    }
    size_t table = tableOf(setCols);
    if (table == std::string::npos) return false;
    std::string sets = rewrite(after + 1, whereAt);
    std::string stmtWhere = whereAt < t.size() - 1 ? rewrite(whereAt + 1, t.size()) : std::string();
    out = "UPDATE " + target(table) + " SET " + sets + " WHERE " + rows(table, stmtWhere);
    return true;
  }
  // INSERT INTO view [(columns)] VALUES (...) | query
  std::vector<std::pair<std::string, size_t>> cols;
  size_t rest = after;
  if (op(after, "(") && !word(after + 1, "SELECT")) {
    size_t i = after + 1;
    for (; i < t.size() && !op(i, ")"); ++i)
      if (nameTok(i)) cols.emplace_back(t[i].text, i);
    rest = i + 1;
  } else {
    for (auto& c : names) cols.emplace_back(c, after);
  }
  size_t table = tableOf(cols);
  if (table == std::string::npos) return false;
  std::string list;
  for (auto& [c, at] : cols) list += (list.empty() ? "" : ", ") + quoteIdent(js.column[c].second);
  out = "INSERT INTO " + quoteIdent(js.tables[table].table) + " (" + list + ") " + text.substr(t[rest].pos);
  return true;
}

} // namespace ora
