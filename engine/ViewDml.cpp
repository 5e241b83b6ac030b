// INSERT, UPDATE and DELETE through a view over one table: the statement is written again
// against the table, its columns renamed as the view names them, the view's WHERE added.
#include "ViewDml.h"

#include "SqlParser.h"
#include "SqlText.h"

#include <map>
#include <sqlite3.h>

namespace ora {

namespace {

using sql::N;
using sql::Node;
using sql::Tok;

struct ViewShape {
  char option = 0;              // 'O' WITH READ ONLY, 'V' WITH CHECK OPTION
  std::string table, alias;     // the one table it reads
  std::string where;            // its WHERE condition, as written
  std::vector<std::string> columns;              // the view's columns in order
  std::map<std::string, std::string> column;     // view column -> table column
  std::map<std::string, std::string> expression; // view column -> its text, when no plain column
};

bool hasCall(const Node* n, const char* const* names) {
  if (!n) return false;
  if (n->kind == N::Call)
    for (const char* const* p = names; *p; ++p)
      if (n->text == *p) return true;
  for (const Node* k : n->kids)
    if (hasCall(k, names)) return true;
  return false;
}

ViewShape shapeOfQuery(const std::string& text, std::vector<std::string> names, char option, Catalog& cat);

bool insteadOfTrigger(Catalog& cat, const std::string& view, const std::string& verb) {
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(cat.db(), "SELECT 1 FROM sqlite_schema WHERE type = 'trigger' AND tbl_name = ?1 AND sql LIKE ?2",
                     -1, &st, nullptr);
  std::string pattern = "% INSTEAD OF " + verb + " %";
  sqlite3_bind_text(st, 1, view.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(st, 2, pattern.c_str(), -1, SQLITE_TRANSIENT);
  bool found = sqlite3_step(st) == SQLITE_ROW;
  sqlite3_finalize(st);
  return found;
}

struct ViewSource {
  std::string text;
  std::vector<std::string> names;
  char option = 0;
};

// A view's query, its columns' names and its restriction (O read only, V check option).
ViewSource loadView(const std::string& view, Catalog& cat) {
  std::string text;
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(cat.db(), "SELECT TEXT FROM \"TESSEL$VIEWS\" WHERE NAME = ?1", -1, &st, nullptr);
  sqlite3_bind_text(st, 1, view.c_str(), -1, SQLITE_TRANSIENT);
  if (sqlite3_step(st) == SQLITE_ROW) text = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
  sqlite3_finalize(st);
  if (text.empty()) throw OraError(942, view);
  char option = 0;
  sqlite3_prepare_v2(cat.db(), "SELECT TYPE FROM \"TESSEL$CONSTRAINTS\" WHERE TABLE_NAME = ?1 AND TYPE IN ('O', 'V')",
                     -1, &st, nullptr);
  sqlite3_bind_text(st, 1, view.c_str(), -1, SQLITE_TRANSIENT);
  if (sqlite3_step(st) == SQLITE_ROW) option = reinterpret_cast<const char*>(sqlite3_column_text(st, 0))[0];
  sqlite3_finalize(st);
  std::vector<std::string> names;
  for (auto& c : cat.columns(view)) names.push_back(c.name);
  return {text, names, option};
}

// A view's query (or a subquery written in the statement's place of a table), its column names
// (none: the query's own) and its restriction, when DML can go through it.
ViewShape shapeOfQuery(const std::string& text, std::vector<std::string> names, char option, Catalog& cat) {
  sql::Tree tree;
  const Node* q = sql::parse(text, tree);
  const Node* s = q && q->kind == N::Query ? q->kid(sql::slot::Body) : nullptr;
  static const char* const aggregates[] = {"COUNT", "SUM", "AVG", "MIN", "MAX", "STDDEV", "VARIANCE", nullptr};
  bool simple = s && s->kind == N::Select && !s->has(sql::kDistinct) && !q->kid(sql::slot::With) &&
                !s->kid(sql::slot::GroupBy) && !s->kid(sql::slot::Having) && !s->kid(sql::slot::ConnectBy) &&
                s->kid(sql::slot::From) && s->kid(sql::slot::From)->kids.size() == 1 &&
                s->kid(sql::slot::From)->kids[0]->kind == N::Table && !hasCall(s->kid(sql::slot::Items), aggregates);
  if (!simple) throw OraError(1732);
  ViewShape v;
  v.option = option;
  if (v.option == 'O') throw OraError(42399);
  const Node* t = s->kid(sql::slot::From)->kids[0];
  v.table = t->text;
  v.alias = t->alias;
  if (const Node* w = s->kid(sql::slot::Where)) v.where = text.substr(w->pos, w->end - w->pos);
  if (names.empty())
    for (const Node* it : s->kid(sql::slot::Items)->kids) {
      const Node* e = it->kid(0);
      if (e && e->kind == N::Star) {
        for (auto& c : cat.columns(t->text)) names.push_back(c.name);
        continue;
      }
      names.push_back(!it->alias.empty() ? it->alias : e && e->kind == N::Name ? e->text : std::string());
    }
  v.columns = names;
  size_t k = 0;
  for (const Node* it : s->kid(sql::slot::Items)->kids) {
    const Node* e = it->kid(0);
    if (e && e->kind == N::Star) {
      for (auto& c : cat.columns(v.table)) {
        v.column[c.name] = c.name;
        ++k;
      }
      continue;
    }
    if (k >= v.columns.size()) break;
    const std::string& name = v.columns[k++];
    if (e && e->kind == N::Name && e->text != "ROWID" && e->text != "ROWNUM") v.column[name] = e->text;
    else if (e) v.expression[name] = "(" + text.substr(e->pos, e->end - e->pos) + ")";
  }
  return v;
}

// Splits [b, e) of the tokens at depth-0 commas into text ranges.
std::vector<std::string> listItems(const std::string& text, const std::vector<sql::Token>& t, size_t b, size_t e) {
  std::vector<std::string> out;
  int d = 0;
  size_t from = b;
  for (size_t i = b; i <= e; ++i) {
    bool end = i == e || (d == 0 && t[i].kind == Tok::Op && t[i].text == ",");
    if (i < e && t[i].kind == Tok::Op && t[i].text == "(") ++d;
    if (i < e && t[i].kind == Tok::Op && t[i].text == ")") --d;
    if (!end) continue;
    if (i > from) out.push_back(text.substr(t[from].pos, t[i - 1].end - t[from].pos));
    from = i + 1;
  }
  return out;
}

// WITH CHECK OPTION: a query that finds a row the statement (`sql`, already on the table) would
// write outside the view, as "SELECT 1 V$CHECK ..."; empty when it cannot be told beforehand.
std::string checkOption(const std::string& sql, const ViewShape& v, Catalog& cat) {
  std::vector<sql::Token> t = sql::lex(sql);
  auto op = [&](size_t i, const char* o) { return i < t.size() && t[i].kind == Tok::Op && t[i].text == o; };
  auto word = [&](size_t i, const char* w) { return i < t.size() && t[i].kind == Tok::Ident && t[i].text == w; };
  auto close = [&](size_t open) {
    int d = 0;
    for (size_t k = open; k < t.size(); ++k) {
      if (op(k, "(")) ++d;
      if (op(k, ")") && --d == 0) return k;
    }
    return t.size() - 1;
  };
  const std::string self = v.alias.empty() ? quoteIdent(v.table) : quoteIdent(v.alias);
  const std::string outside = "CASE WHEN (" + v.where + ") THEN 0 ELSE 1 END = 1";
  if (word(0, "INSERT")) {
    size_t i = 0;
    while (i < t.size() && !op(i, "(")) ++i;
    size_t ce = close(i);
    std::vector<std::string> cols = listItems(sql, t, i + 1, ce);
    if (!word(ce + 1, "VALUES")) {
      // INSERT ... query: its rows, named by position, against the view's condition
      if (ce + 1 >= t.size() || t[ce + 1].kind == Tok::End || word(ce + 1, "WITH")) return {};
      std::string names, row;
      for (size_t k = 0; k < cols.size(); ++k) names += (k ? ", " : "") + std::string("CHECK$C") + std::to_string(k + 1);
      for (auto& c : cat.columns(v.table)) {
        std::string value = "NULL";
        for (size_t k = 0; k < cols.size(); ++k)
          if (cols[k] == quoteIdent(c.name) || cols[k] == c.name) value = "CHECK$C" + std::to_string(k + 1);
        row += (row.empty() ? "" : ", ") + value + " " + quoteIdent(c.name);
      }
      return "WITH CHECK$ROWS (" + names + ") AS (" + sql.substr(t[ce + 1].pos) + ") SELECT 1 V$CHECK FROM (SELECT " +
             row + " FROM CHECK$ROWS) " + self + " WHERE " + outside;
    }
    if (!op(ce + 2, "(")) return {};
    std::vector<std::string> vals = listItems(sql, t, ce + 3, close(ce + 2));
    if (vals.size() != cols.size()) return {};
    std::string row;
    for (auto& c : cat.columns(v.table)) {
      std::string value = "NULL";
      for (size_t k = 0; k < cols.size(); ++k)
        if (cols[k] == quoteIdent(c.name) || cols[k] == c.name) value = vals[k];
      row += (row.empty() ? "" : ", ") + value + " " + quoteIdent(c.name);
    }
    return "SELECT 1 V$CHECK FROM (SELECT " + row + " FROM DUAL) " + self + " WHERE " + outside;
  }
  // UPDATE base [alias] SET c = e, ... WHERE w: the view's condition on the values written
  size_t set = 0, where = t.size() - 1;
  int d = 0;
  for (size_t i = 0; i < t.size(); ++i) {
    if (op(i, "(")) ++d;
    if (op(i, ")")) --d;
    if (d == 0 && word(i, "SET") && !set) set = i;
    if (d == 0 && word(i, "WHERE")) where = i;
  }
  if (!set) return {};
  std::map<std::string, std::string> values; // column -> the expression it gets
  for (const std::string& item : listItems(sql, t, set + 1, where)) {
    std::vector<sql::Token> it = sql::lex(item);
    size_t eq = 0;
    while (eq < it.size() && !(it[eq].kind == Tok::Op && it[eq].text == "=")) ++eq;
    if (eq == 0 || eq >= it.size()) return {};
    values[it[eq - 1].text] = "(" + item.substr(it[eq].end) + ")";
  }
  std::vector<sql::Token> w = sql::lex(v.where);
  std::string cond;
  size_t copied = 0;
  for (size_t i = 0; i < w.size() && w[i].kind != Tok::End; ++i) {
    if (w[i].kind != Tok::Ident && w[i].kind != Tok::QIdent) continue;
    if (i + 1 < w.size() && w[i + 1].kind == Tok::Op && (w[i + 1].text == "(" || w[i + 1].text == ".")) continue;
    auto it = values.find(w[i].text);
    if (it == values.end()) continue;
    size_t from = w[i].pos;
    if (i >= 2 && w[i - 1].kind == Tok::Op && w[i - 1].text == ".") from = w[i - 2].pos;
    cond += v.where.substr(copied, from - copied) + it->second;
    copied = w[i].end;
  }
  cond += v.where.substr(copied);
  std::string rows = where < t.size() - 1 ? " " + sql.substr(t[where].pos) + " AND " : " WHERE ";
  std::string base = v.alias.empty() ? quoteIdent(v.table) : quoteIdent(v.table) + " " + quoteIdent(v.alias);
  return "SELECT 1 V$CHECK FROM " + base + rows + "CASE WHEN (" + cond + ") THEN 0 ELSE 1 END = 1";
}

} // namespace

bool viewDml(const std::string& text, Catalog& cat, std::string& out, std::string& check) {
  check.clear();
  std::vector<sql::Token> t;
  if (!startsWithWord(text, "INSERT") && !startsWithWord(text, "UPDATE") && !startsWithWord(text, "DELETE")) return false;
  try {
    t = sql::lex(text);
  } catch (const OraError&) {
    return false;
  }
  auto word = [&](size_t i, const char* w) { return i < t.size() && t[i].kind == Tok::Ident && t[i].text == w; };
  auto name = [&](size_t i) { return i < t.size() && (t[i].kind == Tok::Ident || t[i].kind == Tok::QIdent); };
  size_t target;
  if (word(0, "UPDATE")) target = 1;
  else if (word(0, "DELETE")) target = word(1, "FROM") ? 2 : 1;
  else if (word(0, "INSERT") && word(1, "INTO")) target = 2;
  else return false;
  size_t first = target; // of a [schema.]name
  std::string view;
  ViewSource src;
  size_t after = target + 1;
  if (t[target].kind == Tok::Op && t[target].text == "(") {
    // a subquery in place of the table: [WITH READ ONLY | WITH CHECK OPTION] at its end
    int d = 0;
    size_t close = target;
    for (; close < t.size() && t[close].kind != Tok::End; ++close) {
      if (t[close].kind == Tok::Op && t[close].text == "(") ++d;
      if (t[close].kind == Tok::Op && t[close].text == ")" && --d == 0) break;
    }
    if (t[close].kind == Tok::End || !word(target + 1, "SELECT")) return false;
    size_t end = close;
    char option = 0;
    if (close >= target + 4 && word(close - 3, "WITH") && word(close - 2, "CHECK") && word(close - 1, "OPTION")) {
      option = 'V';
      end = close - 3;
    } else if (close >= target + 4 && word(close - 3, "WITH") && word(close - 2, "READ") && word(close - 1, "ONLY")) {
      option = 'O';
      end = close - 3;
    }
    src.text = text.substr(t[target + 1].pos, t[end - 1].end - t[target + 1].pos);
    src.option = option;
    after = close + 1;
  } else {
    if (name(target) && t[target + 1].kind == Tok::Op && t[target + 1].text == "." && name(target + 2)) {
      if (t[target].text != cat.user()) return false;
      target += 2;
    }
    if (!name(target) || !cat.viewExists(t[target].text)) return false;
    view = t[target].text;
    // one whose tables or columns have gone does not compile
    if (cat.columns(view).empty() && recompiledView(cat, view).sql.empty())
      throw OraError(4063, "\"" + cat.user() + "." + view + "\"").at(static_cast<int>(t[target].pos));
    // an INSTEAD OF trigger for the statement takes its rows in place of the view's tables
    if (insteadOfTrigger(cat, view, t[0].text)) return false;
    src = loadView(view, cat);
  }

  // what the statement calls the view: its name, or the alias it gives it
  std::string alias;
  if (!word(0, "INSERT") && t[after].kind == Tok::Ident && !word(after, "SET") && !word(after, "WHERE")) {
    alias = t[after].text;
    ++after;
  }
  if (src.option == 'O') throw OraError(42399);
  if (joinViewDml(text, t, after, view, alias, src.text, src.names, cat, out)) return true;
  ViewShape v = shapeOfQuery(src.text, src.names, src.option, cat);
  const std::string base = v.alias.empty() ? quoteIdent(v.table) : quoteIdent(v.table) + " " + quoteIdent(v.alias);
  std::string sql = text.substr(0, t[first].pos) + base;
  bool insert = word(0, "INSERT");
  size_t whereAt = 0;
  int depth = 0;
  bool listed = false; // INSERT's own column list
  size_t copied = t[after].pos;
  for (size_t i = after; i < t.size() && t[i].kind != Tok::End; ++i) {
    const sql::Token& k = t[i];
    if (k.kind == Tok::Op && k.text == "(") {
      if (insert && i == after) listed = true;
      ++depth;
    }
    if (k.kind == Tok::Op && k.text == ")") --depth;
    // an INSERT names the view's columns only in its column list: its query's names are its own
    if (insert && (!listed || (depth == 0 && i > after))) break;
    if (depth == 0 && word(i, "WHERE") && !insert) whereAt = i;
    if (!name(i) || (i + 1 < t.size() && t[i + 1].kind == Tok::Op && t[i + 1].text == "(")) continue;
    // a qualifier naming the view goes; a column of the view becomes the table's
    bool qualifier = i + 1 < t.size() && t[i + 1].kind == Tok::Op && t[i + 1].text == ".";
    if (qualifier) {
      if ((!view.empty() && k.text == view) || k.text == alias) {
        sql += text.substr(copied, k.pos - copied);
        copied = t[i + 1].end;
      }
      continue;
    }
    bool settable = !insert ? (i + 1 < t.size() && t[i + 1].kind == Tok::Op && t[i + 1].text == "=" && depth == 0 &&
                               whereAt == 0)
                            : (listed && depth == 1);
    std::string replacement;
    if (auto c = v.column.find(k.text); c != v.column.end()) replacement = quoteIdent(c->second);
    else if (auto x = v.expression.find(k.text); x != v.expression.end()) {
      if (settable) throw OraError(1733).at(static_cast<int>(k.pos));
      replacement = x->second;
    } else if (settable) {
      // a column the view does not show cannot be written through it
      throw OraError(904, k.text).at(static_cast<int>(k.pos));
    } else continue;
    sql += text.substr(copied, k.pos - copied) + replacement;
    copied = k.end;
  }
  std::string rest = text.substr(copied);
  if (insert && !listed) {
    // the view's columns, named as the table has them
    std::string cols;
    for (auto& c : v.columns) {
      auto it = v.column.find(c);
      if (it == v.column.end()) throw OraError(1733);
      cols += (cols.empty() ? "" : ", ") + quoteIdent(it->second);
    }
    sql += " (" + cols + ")";
  }
  sql += rest;
  if (!insert && !v.where.empty()) {
    // the rows the view shows, and of them those the statement names
    size_t at = sql.size();
    if (whereAt) {
      // the statement's WHERE moved by the renames: find it again in what was written
      std::vector<sql::Token> w = sql::lex(sql);
      int d = 0;
      for (auto& x : w) {
        if (x.kind == Tok::Op && x.text == "(") ++d;
        if (x.kind == Tok::Op && x.text == ")") --d;
        if (d == 0 && x.kind == Tok::Ident && x.text == "WHERE") at = x.end;
      }
      sql = sql.substr(0, at) + " (" + v.where + ") AND (" + sql.substr(at) + ")";
    } else {
      sql += " WHERE " + v.where;
    }
  }
  out = sql;
  if (v.option == 'V' && !v.where.empty()) check = checkOption(sql, v, cat);
  return true;
}

} // namespace ora
