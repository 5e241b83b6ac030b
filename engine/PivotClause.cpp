// FROM ... PIVOT (agg(x) FOR col IN (v [AS name], ...)): written again as a grouped query with
// one conditional aggregate per value, grouped by the source's other columns.
#include "PivotClause.h"

#include "SqlLexer.h"
#include "SqlParser.h"
#include "SqlText.h"

#include <algorithm>
#include <set>

namespace ora {

namespace {

using sql::Tok;
using sql::Token;

struct Aggregate {
  std::string function, argument, alias; // argument empty for COUNT(*)
};

} // namespace

namespace {

// The columns of a FROM source: a parenthesized query's select list, or a table's columns.
std::vector<std::string> sourceColumns(const std::string& text, const std::vector<Token>& t, size_t sb, size_t se,
                                       Catalog& cat) {
  std::vector<std::string> columns;
  if (t[sb].kind == Tok::Op && t[sb].text == "(") {
    sql::Tree tree;
    const sql::Node* q = sql::parse(text.substr(t[sb + 1].pos, t[se - 2].end - t[sb + 1].pos), tree);
    const sql::Node* s = q ? q->kid(sql::slot::Body) : nullptr;
    if (!s || s->kind != sql::N::Select) throw OraError(906);
    for (const sql::Node* it : s->kid(sql::slot::Items)->kids) {
      const sql::Node* e = it->kid(0);
      if (!it->alias.empty()) columns.push_back(it->alias);
      else if (e && e->kind == sql::N::Name) columns.push_back(e->text);
      else throw OraError(904, "a PIVOT source column needs a name");
    }
  } else {
    for (auto& c : cat.columns(t[se - 1].text)) columns.push_back(c.name);
    if (columns.empty()) throw OraError(942, t[se - 1].text);
  }
  return columns;
}

} // namespace

// FROM ... UNPIVOT [INCLUDE|EXCLUDE NULLS] (v FOR n IN (c1 [AS 'a'], ...)): one row per source row
// and listed column, the column's label in n and its value in v.
bool unpivotClause(const std::string& text, Catalog& cat, std::string& out) {
  if (text.find("UNPIVOT") == std::string::npos && text.find("unpivot") == std::string::npos) return false;
  std::vector<Token> t;
  try {
    t = sql::lex(text);
  } catch (const OraError&) {
    return false;
  }
  auto op = [&](size_t i, const char* o) { return i < t.size() && t[i].kind == Tok::Op && t[i].text == o; };
  auto word = [&](size_t i, const char* w) { return i < t.size() && t[i].kind == Tok::Ident && t[i].text == w; };
  auto name = [&](size_t i) { return i < t.size() && (t[i].kind == Tok::Ident || t[i].kind == Tok::QIdent); };
  auto close = [&](size_t open) {
    int d = 0;
    for (size_t k = open; k < t.size(); ++k) {
      if (op(k, "(")) ++d;
      if (op(k, ")") && --d == 0) return k;
    }
    throw OraError(907);
  };
  size_t at = 0;
  for (size_t i = 1; i + 1 < t.size() && !at; ++i)
    if (word(i, "UNPIVOT") && (op(i - 1, ")") || name(i - 1))) at = i;
  if (!at) return false;
  size_t sb = at - 1;
  if (op(sb, ")")) {
    int d = 0;
    for (size_t k = sb + 1; k-- > 0;) {
      if (op(k, ")")) ++d;
      if (op(k, "(") && --d == 0) { sb = k; break; }
    }
  } else if (sb >= 2 && op(sb - 1, ".")) {
    sb -= 2;
  }
  std::vector<std::string> columns = sourceColumns(text, t, sb, at, cat);
  size_t i = at + 1;
  bool includeNulls = false;
  if (word(i, "INCLUDE") || word(i, "EXCLUDE")) {
    includeNulls = word(i, "INCLUDE");
    if (!word(i + 1, "NULLS")) throw OraError(905);
    i += 2;
  }
  if (!op(i, "(") || !name(i + 1) || !word(i + 2, "FOR") || !name(i + 3) || !word(i + 4, "IN") || !op(i + 5, "("))
    throw OraError(56901);
  size_t pe = close(i);
  const std::string value = t[i + 1].text, label = t[i + 3].text;
  std::vector<std::pair<std::string, std::string>> listed; // column, its label literal
  for (size_t k = i + 6, e = close(i + 5); k < e;) {
    if (!name(k)) throw OraError(904);
    std::string c = t[k].text, lit = quoteString(t[k].text);
    ++k;
    if (word(k, "AS")) {
      if (k + 1 >= e) throw OraError(936);
      lit = text.substr(t[k + 1].pos, t[k + 1].end - t[k + 1].pos);
      k += 2;
    }
    listed.emplace_back(c, lit);
    if (op(k, ",")) ++k;
  }
  if (listed.empty()) throw OraError(56901);
  std::string keep;
  for (auto& c : columns)
    if (std::none_of(listed.begin(), listed.end(), [&](auto& l) { return l.first == c; }))
      keep += quoteIdent(c) + ", ";
  const std::string src = text.substr(t[sb].pos, t[at - 1].end - t[sb].pos);
  std::string derived;
  for (auto& [c, lit] : listed)
    derived += (derived.empty() ? "(" : " UNION ALL ") + std::string("SELECT ") + keep + lit + " " + quoteIdent(label) +
               ", " + quoteIdent(c) + " " + quoteIdent(value) + " FROM " + src +
               (includeNulls ? "" : " WHERE " + quoteIdent(c) + " IS NOT NULL");
  derived += ")";
  size_t after = pe + 1;
  std::string alias = " \"UNPIVOT$\"";
  if (name(after) && !sql::reservedWord(t[after].text) && !word(after, "WHERE") && !word(after, "ORDER") &&
      !word(after, "GROUP")) {
    alias = " " + text.substr(t[after].pos, t[after].end - t[after].pos);
    ++after;
  }
  out = text.substr(0, t[sb].pos) + derived + alias + " " + (after < t.size() ? text.substr(t[after].pos) : "");
  return true;
}

bool pivotClause(const std::string& text, Catalog& cat, std::string& out) {
  if (text.find("PIVOT") == std::string::npos && text.find("pivot") == std::string::npos &&
      text.find("Pivot") == std::string::npos)
    return false;
  std::vector<Token> t;
  try {
    t = sql::lex(text);
  } catch (const OraError&) {
    return false;
  }
  auto op = [&](size_t i, const char* o) { return i < t.size() && t[i].kind == Tok::Op && t[i].text == o; };
  auto word = [&](size_t i, const char* w) { return i < t.size() && t[i].kind == Tok::Ident && t[i].text == w; };
  auto name = [&](size_t i) { return i < t.size() && (t[i].kind == Tok::Ident || t[i].kind == Tok::QIdent); };
  auto close = [&](size_t open) {
    int d = 0;
    for (size_t k = open; k < t.size(); ++k) {
      if (op(k, "(")) ++d;
      if (op(k, ")") && --d == 0) return k;
    }
    throw OraError(907);
  };
  auto slice = [&](size_t b, size_t e) { return b < e ? text.substr(t[b].pos, t[e - 1].end - t[b].pos) : std::string(); };
  size_t at = 0;
  for (size_t i = 1; i + 1 < t.size() && !at; ++i)
    if (word(i, "PIVOT") && op(i + 1, "(") && (op(i - 1, ")") || name(i - 1))) at = i;
  if (!at) return false;

  // the source: (subquery) or [schema.]table, and its columns
  size_t sb = at - 1;
  if (op(sb, ")")) {
    int d = 0;
    for (size_t k = sb + 1; k-- > 0;) {
      if (op(k, ")")) ++d;
      if (op(k, "(") && --d == 0) { sb = k; break; }
    }
  } else if (sb >= 2 && op(sb - 1, ".")) {
    sb -= 2;
  }
  std::vector<std::string> columns = sourceColumns(text, t, sb, at, cat);

  // PIVOT ( agg(x) [AS a], ... FOR col IN (v [AS name], ...) )
  size_t pe = close(at + 1), i = at + 2;
  std::vector<Aggregate> aggs;
  std::set<std::string> used;
  while (i < pe && !word(i, "FOR")) {
    Aggregate a;
    if (!name(i) || !op(i + 1, "(")) throw OraError(56902); // expect aggregate function inside pivot operation
    a.function = t[i].text;
    size_t ae = close(i + 1);
    if (!(op(i + 2, "*") && ae == i + 3)) a.argument = slice(i + 2, ae);
    for (size_t k = i + 2; k < ae; ++k)
      if (name(k)) used.insert(t[k].text);
    i = ae + 1;
    if (word(i, "AS")) ++i;
    if (name(i) && !word(i, "FOR")) a.alias = t[i++].text;
    aggs.push_back(a);
    if (op(i, ",")) ++i;
  }
  if (aggs.empty() || !word(i, "FOR") || !name(i + 1) || !word(i + 2, "IN") || !op(i + 3, "(")) throw OraError(56901);
  const std::string column = t[i + 1].text;
  used.insert(column);
  size_t ve = close(i + 3);
  std::vector<std::pair<std::string, std::string>> values; // value as written, column name
  for (size_t k = i + 4, vb = k; k <= ve; ++k) {
    if (k < ve && !op(k, ",")) continue;
    size_t e = k;
    std::string label;
    if (e - vb >= 2 && name(e - 1) && (word(e - 2, "AS") || e - vb == 2)) {
      label = t[e - 1].text;
      e -= word(e - 2, "AS") ? 2 : 1;
    }
    std::string v = slice(vb, e);
    if (label.empty()) label = v;
    values.emplace_back(v, label);
    vb = k + 1;
  }
  if (pe + 1 >= t.size()) throw OraError(907);

  std::string groups;
  for (auto& c : columns)
    if (!used.count(c)) groups += (groups.empty() ? "" : ", ") + quoteIdent(c);
  std::string sel = groups;
  for (auto& [v, label] : values)
    for (auto& a : aggs) {
      std::string when = "CASE WHEN " + quoteIdent(column) + " = " + v + " THEN " +
                         (a.argument.empty() ? std::string("1") : "(" + a.argument + ")") + " END";
      std::string nm = aggs.size() > 1 || !a.alias.empty() ? label + (a.alias.empty() ? "" : "_" + a.alias) : label;
      sel += (sel.empty() ? "" : ", ") + a.function + "(" + when + ") " + quoteIdent(nm);
    }
  std::string derived = "(SELECT " + sel + " FROM " + slice(sb, at) + (groups.empty() ? "" : " GROUP BY " + groups) + ")";
  size_t after = pe + 1;
  std::string alias = " \"PIVOT$\"";
  if (name(after) && !sql::reservedWord(t[after].text) && !word(after, "WHERE") && !word(after, "ORDER") &&
      !word(after, "GROUP") && !word(after, "UNPIVOT")) {
    alias = " " + slice(after, after + 1);
    ++after;
  }
  out = text.substr(0, t[sb].pos) + derived + alias + " " + (after < t.size() ? text.substr(t[after].pos) : "");
  return true;
}

} // namespace ora
