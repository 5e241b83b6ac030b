// FROM ... PIVOT (agg(x) FOR col IN (v [AS name], ...)), or FOR (col, ...) IN ((v, ...) [AS name],
// ...): written again as a grouped query with
// one conditional aggregate per value, grouped by the source's other columns.
#include "PivotClause.h"

#include "SqlTokens.h"
#include "SqlParser.h"
#include "SqlText.h"
#include "SqlTranslate.h"

#include <algorithm>
#include <set>
#include <sqlite3.h>

namespace ora {

namespace {

using sql::Tok;
using sql::Token;

struct Aggregate {
  std::string function, quantifier, argument, alias; // argument empty for COUNT(*); DISTINCT or ALL
};

} // namespace

namespace {

// The columns of a FROM source: a parenthesized query's select list, or a table's columns.
std::vector<std::string> sourceColumns(const std::string& text, const std::vector<Token>& t, size_t sb, size_t se,
                                       Catalog& cat) {
  std::vector<std::string> columns;
  if (t[sb].kind == Tok::Op && t[sb].text == "(") {
    sql::Tree tree;
    const std::string inner = text.substr(t[sb + 1].pos, t[se - 2].end - t[sb + 1].pos);
    const sql::Node* q = sql::parse(inner, tree);
    const sql::Node* s = q ? q->kid(sql::slot::Body) : nullptr;
    if (!s || s->kind != sql::N::Select) throw OraError(906);
    bool named = true;
    for (const sql::Node* it : s->kid(sql::slot::Items)->kids) {
      const sql::Node* e = it->kid(0);
      if (!it->alias.empty()) columns.push_back(it->alias);
      else if (e && e->kind == sql::N::Name) columns.push_back(e->text);
      else named = false;
    }
    if (!named) {
      // a "*", or a query of its own PIVOT: the columns its translation gives
      columns.clear();
      Translation tr = translate(inner, cat);
      sqlite3_stmt* st = nullptr;
      if (tr.kind != StmtKind::Query || sqlite3_prepare_v2(cat.db(), tr.sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
        throw OraError(904, "a PIVOT source column needs a name");
      for (int c = 0; c < sqlite3_column_count(st); ++c) columns.push_back(sqlite3_column_name(st, c));
      sqlite3_finalize(st);
    }
  } else {
    for (auto& c : cat.columns(t[se - 1].text)) columns.push_back(c.name);
    if (columns.empty()) throw OraError(942, t[se - 1].text);
  }
  return columns;
}

// Where the source before PIVOT/UNPIVOT at `at` starts: its "(" or its [schema.]table name.
size_t sourceStart(const sql::TokenList& tl, size_t at) {
  size_t sb = at - 1;
  if (tl.op(sb, ")")) return tl.opening(sb);
  if (sb >= 2 && tl.op(sb - 1, ".")) return sb - 2;
  return sb;
}
} // namespace

// FROM ... UNPIVOT [INCLUDE|EXCLUDE NULLS] (v FOR n IN (c1 [AS 'a'], ...)): one row per source row
// and listed column, the column's label in n and its value in v; (v1, v2) FOR n IN ((c1, c2) AS
// 'a', ...) unpivots columns in pairs.
bool unpivotClause(const std::string& text, Catalog& cat, std::string& out) {
  if (text.find("UNPIVOT") == std::string::npos && text.find("unpivot") == std::string::npos) return false;
  sql::TokenList tl(text);
  if (!tl.ok) return false;
  const std::vector<Token>& t = tl.t;
  size_t at = 0;
  for (size_t i = 1; i + 1 < t.size() && !at; ++i)
    if (tl.word(i, "UNPIVOT") && (tl.op(i - 1, ")") || tl.name(i - 1))) at = i;
  if (!at) return false;
  size_t sb = sourceStart(tl, at);
  std::vector<std::string> columns = sourceColumns(text, t, sb, at, cat);
  size_t i = at + 1;
  bool includeNulls = false;
  if (tl.word(i, "INCLUDE") || tl.word(i, "EXCLUDE")) {
    includeNulls = tl.word(i, "INCLUDE");
    if (!tl.word(i + 1, "NULLS")) throw OraError(905);
    i += 2;
  }
  if (!tl.op(i, "(")) throw OraError(56901);
  size_t pe = tl.close(i);
  // a name, or (name, ...): the value and label columns, and each IN entry's columns
  auto names = [&](size_t& k) {
    std::vector<std::string> out;
    if (tl.op(k, "(")) {
      size_t ce = tl.close(k);
      for (size_t m = k + 1; m < ce; m += 2) {
        if (!tl.name(m) || !(tl.op(m + 1, ",") || m + 1 == ce)) throw OraError(56901);
        out.push_back(t[m].text);
      }
      k = ce + 1;
    } else if (tl.name(k)) {
      out.push_back(t[k++].text);
    }
    if (out.empty()) throw OraError(56901);
    return out;
  };
  size_t k = i + 1;
  const std::vector<std::string> values = names(k);
  if (!tl.word(k, "FOR")) throw OraError(905).at(static_cast<int>(t[k].pos));
  ++k;
  const std::vector<std::string> labels = names(k);
  if (!tl.word(k, "IN")) throw OraError(905).at(static_cast<int>(t[k].pos));
  if (!tl.op(k + 1, "(")) throw OraError(906).at(static_cast<int>(t[k + 1].pos));
  struct Entry {
    std::vector<std::string> columns, literals;
  };
  std::vector<Entry> listed;
  for (size_t e = tl.close(k + 1), m = k + 2; m < e;) {
    Entry en;
    en.columns = names(m);
    if (en.columns.size() != values.size()) throw OraError(56901);
    if (tl.word(m, "AS")) {
      if (m + 1 >= e) throw OraError(936);
      ++m;
      if (tl.op(m, "(")) {
        for (size_t x = m + 1, ce = tl.close(m); x < ce; x += 2) en.literals.push_back(tl.slice(x, x + 1));
        m = tl.close(m) + 1;
      } else {
        en.literals.push_back(tl.slice(m, m + 1));
        ++m;
      }
    } else {
      // unnamed: the columns' names joined with '_'
      std::string joined;
      for (auto& c : en.columns) joined += (joined.empty() ? "" : "_") + c;
      en.literals.push_back(quoteString(joined));
    }
    if (en.literals.size() != labels.size()) throw OraError(56901);
    listed.push_back(en);
    if (tl.op(m, ",")) ++m;
    else if (m < e) throw OraError(907);
  }
  if (listed.empty()) throw OraError(56901);
  std::string keep;
  for (auto& c : columns)
    if (std::none_of(listed.begin(), listed.end(),
                     [&](auto& l) { return std::find(l.columns.begin(), l.columns.end(), c) != l.columns.end(); }))
      keep += quoteIdent(c) + ", ";
  const std::string src = text.substr(t[sb].pos, t[at - 1].end - t[sb].pos);
  std::string derived;
  for (auto& en : listed) {
    std::string sel = keep, present;
    for (size_t n = 0; n < labels.size(); ++n) sel += en.literals[n] + " " + quoteIdent(labels[n]) + ", ";
    for (size_t n = 0; n < values.size(); ++n) {
      sel += quoteIdent(en.columns[n]) + " " + quoteIdent(values[n]) + (n + 1 < values.size() ? ", " : "");
      present += (n ? " OR " : "") + quoteIdent(en.columns[n]) + " IS NOT NULL";
    }
    // EXCLUDE NULLS leaves out the rows whose values are all NULL
    derived += (derived.empty() ? "(" : " UNION ALL ") + std::string("SELECT ") + sel + " FROM " + src +
               (includeNulls ? "" : " WHERE " + present);
  }
  derived += ")";
  size_t after = pe + 1;
  std::string alias = " \"UNPIVOT$\"";
  if (tl.name(after) && !sql::reservedWord(t[after].text) && !tl.word(after, "WHERE") && !tl.word(after, "ORDER") &&
      !tl.word(after, "GROUP")) {
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
  sql::TokenList tl(text);
  if (!tl.ok) return false;
  const std::vector<Token>& t = tl.t;
  size_t at = 0;
  for (size_t i = 1; i + 1 < t.size() && !at; ++i)
    if (tl.word(i, "PIVOT") && tl.op(i + 1, "(") && (tl.op(i - 1, ")") || tl.name(i - 1))) at = i;
  if (!at) return false;

  // the source: (subquery) or [schema.]table, and its columns
  size_t sb = sourceStart(tl, at);
  std::vector<std::string> columns = sourceColumns(text, t, sb, at, cat);

  // PIVOT ( agg(x) [AS a], ... FOR col IN (v [AS name], ...) )
  size_t pe = tl.close(at + 1), i = at + 2;
  std::vector<Aggregate> aggs;
  std::set<std::string> used;
  while (i < pe && !tl.word(i, "FOR")) {
    Aggregate a;
    if (!tl.name(i) || !tl.op(i + 1, "(")) throw OraError(56902); // expect aggregate function inside pivot operation
    a.function = t[i].text;
    size_t ae = tl.close(i + 1);
    size_t ab = i + 2;
    if (tl.word(ab, "DISTINCT") || tl.word(ab, "UNIQUE") || tl.word(ab, "ALL")) a.quantifier = t[ab++].text + " ";
    if (ab >= ae) throw OraError(936);
    if (!(tl.op(ab, "*") && ae == ab + 1)) a.argument = tl.slice(ab, ae);
    for (size_t k = i + 2; k < ae; ++k)
      if (tl.name(k)) used.insert(t[k].text);
    i = ae + 1;
    if (tl.word(i, "AS")) ++i;
    if (tl.name(i) && !tl.word(i, "FOR")) a.alias = t[i++].text;
    aggs.push_back(a);
    if (tl.op(i, ",")) ++i;
  }
  if (aggs.empty()) throw OraError(56902);
  if (!tl.word(i, "FOR")) throw OraError(905).at(static_cast<int>(t[i].pos));
  // FOR col, or FOR (col, ...) with a tuple of values each
  std::vector<std::string> pivoted;
  ++i;
  if (tl.op(i, "(")) {
    size_t ce = tl.close(i);
    for (size_t k = i + 1; k < ce; k += 2) {
      if (!tl.name(k) || !(tl.op(k + 1, ",") || k + 1 == ce)) throw OraError(56901);
      pivoted.push_back(t[k].text);
    }
    i = ce + 1;
  } else if (tl.name(i)) {
    pivoted.push_back(t[i++].text);
  }
  if (pivoted.empty()) throw OraError(56901);
  if (!tl.word(i, "IN")) throw OraError(905).at(static_cast<int>(t[i].pos));
  if (!tl.op(i + 1, "(")) throw OraError(906).at(static_cast<int>(t[i + 1].pos));
  for (auto& c : pivoted) used.insert(c);
  i -= 2; // as if the IN list opened at i + 3
  size_t ve = tl.close(i + 3);
  // the values split at the commas outside parentheses
  auto split = [&](size_t b, size_t e) {
    std::vector<std::pair<size_t, size_t>> parts;
    for (size_t k = b, pb = b; k <= e; ++k) {
      if (k < e && tl.op(k, "(")) k = tl.close(k);
      if (k < e && !tl.op(k, ",")) continue;
      parts.emplace_back(pb, k);
      pb = k + 1;
    }
    return parts;
  };
  std::vector<std::pair<std::string, std::string>> values; // condition, column name
  for (auto [vb, e] : split(i + 4, ve)) {
    std::string label;
    if (e - vb >= 2 && tl.name(e - 1) && (t[e - 2].kind != Tok::Op || tl.op(e - 2, ")"))) {
      label = t[e - 1].text;
      e -= tl.word(e - 2, "AS") ? 2 : 1;
    }
    std::vector<std::pair<size_t, size_t>> parts{{vb, e}};
    if (pivoted.size() > 1) {
      if (!tl.op(vb, "(") || tl.close(vb) + 1 != e) throw OraError(56901);
      parts = split(vb + 1, e - 1);
    }
    if (parts.size() != pivoted.size()) throw OraError(56901);
    std::string when, name;
    for (size_t n = 0; n < parts.size(); ++n) {
      auto [b, pe2] = parts[n];
      // the values are constants: a column's name is none
      bool column = (pe2 == b + 1 && tl.name(b) && !tl.word(b, "NULL")) ||
                    (pe2 == b + 3 && tl.name(b) && tl.op(b + 1, ".") && tl.name(b + 2));
      if (pe2 <= b || column) throw OraError(56901);
      std::string v = tl.slice(b, pe2);
      when += (n ? " AND " : "") + quoteIdent(pivoted[n]) + " = " + v;
      name += (n ? "_" : "") + v;
    }
    values.emplace_back(when, label.empty() ? name : label);
  }
  if (pe + 1 >= t.size()) throw OraError(907);

  std::string groups;
  for (auto& c : columns)
    if (!used.count(c)) groups += (groups.empty() ? "" : ", ") + quoteIdent(c);
  std::string sel = groups;
  for (auto& [v, label] : values)
    for (auto& a : aggs) {
      std::string when = "CASE WHEN " + v + " THEN " +
                         (a.argument.empty() ? std::string("1") : "(" + a.argument + ")") + " END";
      std::string nm = aggs.size() > 1 || !a.alias.empty() ? label + (a.alias.empty() ? "" : "_" + a.alias) : label;
      sel += (sel.empty() ? "" : ", ") + a.function + "(" + a.quantifier + when + ") " + quoteIdent(nm);
    }
  std::string derived = "(SELECT " + sel + " FROM " + tl.slice(sb, at) + (groups.empty() ? "" : " GROUP BY " + groups) + ")";
  size_t after = pe + 1;
  std::string alias = " \"PIVOT$\"";
  if (tl.name(after) && !sql::reservedWord(t[after].text) && !tl.word(after, "WHERE") && !tl.word(after, "ORDER") &&
      !tl.word(after, "GROUP") && !tl.word(after, "UNPIVOT")) {
    alias = " " + tl.slice(after, after + 1);
    ++after;
  }
  out = text.substr(0, t[sb].pos) + derived + alias + " " + (after < t.size() ? text.substr(t[after].pos) : "");
  return true;
}

} // namespace ora
