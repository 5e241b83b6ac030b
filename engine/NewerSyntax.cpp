// Each form becomes text the translator already reads:
//   SELECT 1 + 1                          -> SELECT 1 + 1 FROM DUAL
//   (VALUES (1, 'a'), (2, 'b')) v (x, y)  -> (SELECT 1 "X", 'a' "Y" FROM DUAL UNION ALL ...) v
//   UPDATE t a SET c = e FROM s WHERE w   -> UPDATE t a SET c = (SELECT e FROM s WHERE w AND
//                                            ROWNUM = 1) WHERE EXISTS (SELECT 1 FROM s WHERE w)
//   DELETE t a FROM s WHERE w             -> DELETE FROM t a WHERE EXISTS (SELECT 1 FROM s WHERE w)
// so a target row joined to several source rows is still changed once.
#include "NewerSyntax.h"

#include "Database.h"
#include "OraError.h"
#include "Session.h"
#include "SqlText.h"
#include "SqlTranslate.h"
#include "SqlTokens.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sqlite3.h>

namespace ora {

namespace {

using sql::TokenList;

struct Edit {
  size_t from, to; // byte range replaced
  std::string with;
};

thread_local TextEdits* recorded = nullptr; // the rewriting under way keeps its edits here

std::string applied(const std::string& text, const std::vector<Edit>& edits) {
  if (recorded) {
    recorded->emplace_back();
    for (const Edit& e : edits) recorded->back().push_back({e.from, e.to, e.with.size()});
  }
  std::string out;
  size_t copied = 0;
  for (const Edit& e : edits) {
    out += text.substr(copied, e.from - copied) + e.with;
    copied = e.to;
  }
  return out + text.substr(copied);
}

bool endsTableRef(const TokenList& l, size_t i) {
  static const std::set<std::string> words = {
      "WHERE", "GROUP", "ORDER", "HAVING", "CONNECT", "START", "UNION", "INTERSECT", "MINUS", "EXCEPT",
      "JOIN", "INNER", "LEFT", "RIGHT", "FULL", "CROSS", "NATURAL", "ON", "USING", "FETCH", "OFFSET",
      "FOR", "MODEL", "PIVOT", "UNPIVOT", "WINDOW", "OUTER", "PARTITION", "MATCH_RECOGNIZE", "SET",
      "WHEN", "SEARCH", "CYCLE", "RETURNING", "LOG"};
  return i >= l.t.size() || l.t[i].kind != sql::Tok::Ident || words.count(l.t[i].text) > 0;
}

// Top-level pieces of tokens [b, e) split at commas.
std::vector<std::pair<size_t, size_t>> commaList(const TokenList& l, size_t b, size_t e) {
  std::vector<std::pair<size_t, size_t>> out;
  int d = 0;
  size_t start = b;
  for (size_t k = b; k < e; ++k) {
    if (l.op(k, "(")) ++d;
    else if (l.op(k, ")")) --d;
    else if (d == 0 && l.op(k, ",")) {
      out.emplace_back(start, k);
      start = k + 1;
    }
  }
  out.emplace_back(start, e);
  return out;
}

// (VALUES (...), (...)) [AS] alias [(names)]: a query of its rows, one SELECT FROM DUAL each.
bool valueTables(const TokenList& l, std::string& out) {
  const std::string& text = l.text;
  if (!l.ok) return false;
  std::vector<Edit> edits;
  for (size_t i = 0; i + 2 < l.t.size(); ++i) {
    if (!l.op(i, "(") || !l.word(i + 1, "VALUES") || !l.op(i + 2, "(")) continue;
    size_t c = l.close(i);
    std::vector<std::vector<std::string>> rows;
    for (size_t k = i + 2; k < c;) {
      if (!l.op(k, "(")) throw OraError(906).at(static_cast<int>(l.t[k].pos));
      size_t rc = l.close(k);
      if (rc == k + 1) throw OraError(936).at(static_cast<int>(l.t[rc].pos));
      std::vector<std::string> row;
      for (auto [b, e] : commaList(l, k + 1, rc)) {
        if (b == e) throw OraError(936).at(static_cast<int>(l.t[e].pos));
        row.push_back(l.slice(b, e));
      }
      if (!rows.empty() && row.size() != rows[0].size())
        throw OraError(rows[0].size() < row.size() ? 913 : 947).at(static_cast<int>(l.t[k].pos));
      rows.push_back(std::move(row));
      k = rc + 1;
      if (k < c && !l.op(k, ",")) throw OraError(907).at(static_cast<int>(l.t[k].pos));
      if (k < c) ++k;
    }
    // the alias and the names of its columns
    size_t k = c + 1, end = c + 1;
    std::string alias;
    std::vector<std::string> names;
    if (l.word(k, "AS")) ++k;
    if (l.name(k) && !endsTableRef(l, k) && !l.word(k, "AS")) {
      alias = " " + l.slice(k, k + 1);
      end = ++k;
      if (l.op(k, "(")) {
        size_t nc = l.close(k);
        for (auto [b, e] : commaList(l, k + 1, nc)) {
          if (e != b + 1 || !l.name(b)) throw OraError(904).at(static_cast<int>(l.t[b].pos));
          names.push_back(l.slice(b, e));
        }
        if (names.size() != rows[0].size()) throw OraError(names.size() < rows[0].size() ? 947 : 913).at(static_cast<int>(l.t[k].pos));
        end = nc + 1;
      }
    }
    std::string q = "(";
    for (size_t r = 0; r < rows.size(); ++r) {
      q += r ? " UNION ALL SELECT " : "SELECT ";
      for (size_t v = 0; v < rows[r].size(); ++v) {
        q += (v ? ", " : "") + rows[r][v];
        if (r == 0 && v < names.size()) q += " " + names[v];
      }
      q += " FROM DUAL";
    }
    q += ")" + alias;
    edits.push_back({l.t[i].pos, end < l.t.size() ? l.t[end - 1].end : text.size(), q});
    i = end - 1;
  }
  if (edits.empty()) return false;
  out = applied(text, edits);
  return true;
}

// The heading Oracle gives the select list item (...) at [open, close] when it stands alone,
// without an alias, in the select list of an outer query; empty otherwise.
std::string subqueryHeading(const TokenList& l, size_t open, size_t close) {
  static const std::set<std::string> after = {"FROM", "UNION", "INTERSECT", "MINUS", "WHERE", "GROUP", "ORDER"};
  const sql::Token& next = l.t[close + 1];
  if (!(l.op(close + 1, ",") || l.op(close + 1, ";") || next.kind == sql::Tok::End ||
        (next.kind == sql::Tok::Ident && after.count(next.text))))
    return std::string();
  size_t b = open - 1;
  if (!l.op(b, ",") && !l.word(b, "SELECT") && !l.word(b, "DISTINCT") && !l.word(b, "UNIQUE")) return std::string();
  // back over the items before it to the SELECT they belong to
  for (size_t k = open; k-- > 0;) {
    if (l.op(k, ")")) k = l.opening(k);
    else if (l.op(k, "(") || l.word(k, "FROM") || l.word(k, "WHERE")) return std::string();
    else if (l.word(k, "SELECT")) break;
    if (k == 0) return std::string();
  }
  std::string h;
  for (size_t k = open; k <= close; ++k) {
    std::string r = l.text.substr(l.t[k].pos, l.t[k].end - l.t[k].pos);
    for (auto& c : r) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (l.t[k].kind == sql::Tok::Str) r.erase(std::remove(r.begin(), r.end(), ' '), r.end());
    h += r;
  }
  return h.find('"') == std::string::npos && h.size() <= 128 ? h : std::string();
}

// A SELECT whose select list runs into the end of its query without a FROM reads DUAL.
bool fromlessSelects(const TokenList& l, std::string& out) {
  const std::string& text = l.text;
  if (!l.ok) return false;
  // reserved words only: others may be the names of columns in the select list
  static const std::set<std::string> ends = {"UNION", "INTERSECT", "MINUS", "WHERE", "GROUP",
                                             "HAVING", "ORDER", "FOR", "CONNECT", "START"};
  std::vector<Edit> edits;
  for (size_t i = 0; i + 1 < l.t.size(); ++i) {
    if (!l.word(i, "SELECT") || l.op(i + 1, "*")) continue;
    if (l.word(0, "GRANT") || l.word(0, "REVOKE") || l.word(0, "AUDIT") || l.word(0, "NOAUDIT")) break;
    int d = 0;
    size_t j = i + 1;
    bool from = false;
    for (; j < l.t.size(); ++j) {
      const sql::Token& k = l.t[j];
      if (k.kind == sql::Tok::End) break;
      if (l.op(j, "(")) ++d;
      else if (l.op(j, ")") && d-- == 0) break;
      if (d != 0) continue;
      if (l.op(j, ";")) break;
      if (l.word(j, "FROM")) { from = true; break; }
      if (l.word(j - 1, "MULTISET") || (l.word(j, "GROUP") && l.word(j - 1, "WITHIN"))) continue;
      if (k.kind == sql::Tok::Ident && ends.count(k.text)) break;
      if (l.word(j, "EXCEPT") && (l.word(j + 1, "SELECT") || l.word(j + 1, "ALL") || l.op(j + 1, "("))) break;
    }
    if (from || j == i + 1) continue;
    edits.push_back({l.t[j - 1].end, l.t[j - 1].end, " FROM DUAL"});
    // a subquery that is a whole item of an outer select list keeps its heading as written
    if (i > 0 && l.op(i - 1, "(") && l.op(j, ")")) {
      std::string h = subqueryHeading(l, i - 1, j);
      if (!h.empty()) edits.push_back({l.t[j].end, l.t[j].end, " \"" + h + "\""});
    }
  }
  if (edits.empty()) return false;
  // at one place a subquery's heading comes before its outer query's FROM DUAL
  auto heading = [](const Edit& e) { return e.with.compare(0, 2, " \"") == 0; };
  std::stable_sort(edits.begin(), edits.end(), [&](const Edit& a, const Edit& b) {
    return a.from < b.from || (a.from == b.from && heading(a) && !heading(b));
  });
  out = applied(text, edits);
  return true;
}

// UPDATE / DELETE with FROM (or, for DELETE, USING) tables joined to the target.
bool joinedDml(const TokenList& l, std::string& out) {
  const std::string& text = l.text;
  if (!l.ok || l.t.size() < 4) return false;
  bool update = l.word(0, "UPDATE");
  if (!update && !l.word(0, "DELETE")) return false;
  // the depth-0 words after the target
  auto atTop = [&](size_t from, std::initializer_list<const char*> words) {
    int d = 0;
    for (size_t k = from; k < l.t.size(); ++k) {
      if (l.op(k, "(")) ++d;
      else if (l.op(k, ")")) --d;
      else if (d == 0)
        for (const char* w : words)
          if (l.word(k, w)) return k;
    }
    return l.t.size() - 1;
  };
  size_t target = update ? 1 : (l.word(1, "FROM") ? 2 : 1);
  size_t k = target;
  if (!l.name(k)) return false;
  if (l.op(k + 1, ".") && l.name(k + 2)) k += 2;
  ++k;
  size_t joinAt;
  if (update) {
    size_t set = atTop(k, {"SET"});
    joinAt = atTop(set, {"FROM"});
    if (!l.word(set, "SET") || !l.word(joinAt, "FROM")) return false;
  } else {
    if (l.name(k) && !l.word(k, "FROM") && !l.word(k, "USING") && !endsTableRef(l, k)) ++k; // the alias
    if (!l.word(k, "FROM") && !l.word(k, "USING")) return false;
    joinAt = k;
  }
  size_t where = atTop(joinAt + 1, {"WHERE", "RETURNING", "LOG"});
  size_t tail = l.word(where, "WHERE") ? atTop(where + 1, {"RETURNING", "LOG"}) : where;
  if (where == joinAt + 1) throw OraError(903).at(static_cast<int>(l.t[where].pos));
  std::string joined = " FROM " + l.slice(joinAt + 1, where);
  std::string cond = l.word(where, "WHERE") ? l.slice(where + 1, tail) : std::string();
  std::string exists = "EXISTS (SELECT 1" + joined + (cond.empty() ? "" : " WHERE " + cond) + ")";
  std::string rest = l.t[tail].kind == sql::Tok::End ? std::string() : " " + text.substr(l.t[tail].pos);
  if (!update) {
    out = "DELETE FROM " + l.slice(target, joinAt) + " WHERE " + exists + rest;
    return true;
  }
  size_t set = atTop(k, {"SET"});
  std::string sets;
  for (auto [b, e] : commaList(l, set + 1, joinAt)) {
    int d = 0;
    size_t eq = b;
    for (; eq < e; ++eq) {
      if (l.op(eq, "(")) ++d;
      else if (l.op(eq, ")")) --d;
      else if (d == 0 && l.op(eq, "=")) break;
    }
    if (eq == e || eq + 1 == e) throw OraError(927).at(static_cast<int>(l.t[eq < e ? eq : b].pos));
    std::string value = l.slice(eq + 1, e);
    // a list of columns takes its query's row, a single column the value of the joined row
    if (!l.op(b, "(") && !(eq + 2 == e && l.word(eq + 1, "DEFAULT")))
      value = "(SELECT " + value + joined + " WHERE " + (cond.empty() ? "" : "(" + cond + ") AND ") + "ROWNUM = 1)";
    sets += (sets.empty() ? "" : ", ") + l.slice(b, eq) + " = " + value;
  }
  out = "UPDATE " + l.slice(1, set) + " SET " + sets + " WHERE " + exists + rest;
  return true;
}

// The end of the clause that starts at `from`: the next of `words` at its depth, a ")" closing
// its query, or the end.
size_t clauseEnd(const TokenList& l, size_t from, std::initializer_list<const char*> words) {
  int d = 0;
  for (size_t k = from; k < l.t.size(); ++k) {
    if (l.t[k].kind == sql::Tok::End || l.op(k, ";")) return k;
    if (l.op(k, "(")) ++d;
    else if (l.op(k, ")") && d-- == 0) return k;
    if (d != 0) continue;
    for (const char* w : words)
      if (l.word(k, w) && !(l.word(k, "GROUP") && l.word(k - 1, "WITHIN"))) return k;
  }
  return l.t.size() - 1;
}

// GROUP BY and HAVING naming a select list item by its alias (a column of the same name comes
// first) or, with GROUP_BY_POSITION_ENABLED, GROUP BY naming one by its position.
bool groupAliases(const TokenList& l, Catalog& cat, std::string& out) {
  const std::string& text = l.text;
  if (!l.ok) return false;
  // most statements have neither clause
  bool grouped = false;
  for (size_t i = 0; i < l.t.size() && !grouped; ++i) grouped = l.word(i, "GROUP") || l.word(i, "HAVING");
  if (!grouped) return false;
  std::vector<Edit> edits;
  for (size_t i = 0; i + 1 < l.t.size(); ++i) {
    if (!l.word(i, "SELECT")) continue;
    size_t from = clauseEnd(l, i + 1, {"FROM"});
    if (!l.word(from, "FROM")) continue;
    size_t fromEnd = clauseEnd(l, from + 1, {"WHERE", "GROUP", "HAVING", "ORDER", "CONNECT", "START", "UNION",
                                             "INTERSECT", "MINUS", "EXCEPT", "FETCH", "OFFSET", "MODEL", "WINDOW"});
    size_t blockEnd = clauseEnd(l, from + 1, {"UNION", "INTERSECT", "MINUS", "EXCEPT"});
    auto clause = [&](const char* w1, const char* w2) -> std::pair<size_t, size_t> {
      for (size_t k = clauseEnd(l, fromEnd, {w1}); k < blockEnd && l.word(k, w1); k = clauseEnd(l, k + 1, {w1}))
        if (!w2 || l.word(k + 1, w2)) {
          size_t b = k + (w2 ? 2 : 1);
          return {b, clauseEnd(l, b, {"GROUP", "HAVING", "ORDER", "UNION", "INTERSECT", "MINUS", "EXCEPT", "FETCH",
                                      "OFFSET", "MODEL", "WINDOW"})};
        }
      return {0, 0};
    };
    auto group = clause("GROUP", "BY"), having = clause("HAVING", nullptr);
    if (!group.first && !having.first) continue;
    // the select list's items and their aliases
    size_t b0 = i + 1;
    if (l.word(b0, "DISTINCT") || l.word(b0, "UNIQUE") || l.word(b0, "ALL")) ++b0;
    auto items = commaList(l, b0, from);
    std::map<std::string, std::pair<size_t, size_t>> aliases;
    for (auto [b, e] : items) {
      if (e < b + 2 || !l.name(e - 1)) continue;
      if (l.word(e - 2, "AS")) aliases.emplace(l.t[e - 1].text, std::make_pair(b, e - 2));
      else if (l.t[e - 2].kind != sql::Tok::Op || l.op(e - 2, ")"))
        aliases.emplace(l.t[e - 1].text, std::make_pair(b, e - 1));
    }
    // the columns of the tables read; a query or WITH name read hides its columns
    std::set<std::string> columns;
    bool hidden = false;
    for (size_t k = from + 1; k < fromEnd; ++k) {
      if (!(l.word(k - 1, "FROM") || l.op(k - 1, ",") || l.word(k - 1, "JOIN"))) continue;
      if (!l.name(k)) { hidden = true; continue; }
      std::string table = l.t[k].text;
      if (l.op(k + 1, ".") && l.name(k + 2)) table = l.t[k + 2].text;
      if (!cat.tableExists(table)) table = cat.synonymTarget(table);
      if (table.empty() || !cat.tableExists(table)) { hidden = true; continue; }
      for (const auto& c : cat.columns(table)) columns.insert(c.name);
    }
    auto isColumn = [&](const std::string& n) {
      if (columns.count(n)) return true;
      if (!hidden) return false;
      // a name met outside this query's select list and groups may be a column it reads
      for (size_t k = 0; k < l.t.size(); ++k) {
        bool own = (k > i && k < from) || (k >= group.first && k < group.second) ||
                   (k >= having.first && k < having.second);
        if (!own && l.name(k) && l.t[k].text == n && (k < i || k >= blockEnd || (k > from && k < fromEnd))) return true;
      }
      return false;
    };
    auto replace = [&](std::pair<size_t, size_t> range, bool grouping) {
      for (size_t k = range.first; k < range.second; ++k) {
        bool whole = grouping && (l.op(k - 1, ",") || k == range.first) && (l.op(k + 1, ",") || k + 1 == range.second);
        // alone in its place (ROLLUP (d), a grouping set (d)): written as the item is
        bool bare = (l.op(k - 1, ",") || l.op(k - 1, "(") || k == range.first) &&
                    (l.op(k + 1, ",") || l.op(k + 1, ")") || k + 1 == range.second);
        if (whole && grouping && l.t[k].kind == sql::Tok::Num && groupByPosition(cat.db())) {
          size_t n = std::strtoul(l.t[k].text.c_str(), nullptr, 10);
          if (l.t[k].text.find_first_not_of("0123456789") != std::string::npos || n < 1 || n > items.size()) continue;
          auto [b, e] = items[n - 1];
          if (e >= b + 2 && l.name(e - 1) && aliases.count(l.t[e - 1].text) && aliases[l.t[e - 1].text].first == b)
            e = aliases[l.t[e - 1].text].second;
          edits.push_back({l.t[k].pos, l.t[k].end, l.slice(b, e)});
          continue;
        }
        if (!l.name(k) || l.op(k - 1, ".") || l.op(k + 1, ".") || l.op(k + 1, "(")) continue;
        auto a = aliases.find(l.t[k].text);
        if (a == aliases.end() || isColumn(a->first)) continue;
        std::string expr = l.slice(a->second.first, a->second.second);
        edits.push_back({l.t[k].pos, l.t[k].end, bare ? expr : "(" + expr + ")"});
      }
    };
    if (group.first) replace(group, true);
    if (having.first) replace(having, false);
  }
  if (edits.empty()) return false;
  std::sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) { return a.from < b.from; });
  out = applied(text, edits);
  return true;
}

// Whether the schema has an object of this kind (TABLE, PACKAGE BODY, ...) under the name.
bool objectThere(Catalog& cat, const std::string& kind, const std::string& name) {
  if (kind == "TABLE") return cat.tableExists(name) && !cat.viewExists(name);
  if (kind == "VIEW") return cat.viewExists(name) && cat.objectTypeOf(name, "MATERIALIZED VIEW").empty();
  if (kind == "INDEX") return cat.indexExists(name);
  if (kind == "SEQUENCE") return cat.sequenceExists(name);
  if (kind == "SYNONYM") return !cat.synonymTarget(name).empty();
  if (kind == "USER") return cat.session() && userExists(cat.session()->folder, name);
  return !cat.objectTypeOf(name, kind).empty();
}


// WINDOW w AS (...) after a query's FROM ... HAVING: each OVER w and OVER (w more) takes the
// window's definition in its place, and the clause goes.
bool windowClauses(const TokenList& l, std::string& out) {
  if (!l.ok || !containsWord(l.text, "WINDOW")) return false;
  std::map<std::string, std::pair<size_t, size_t>> defs; // name -> the tokens inside its parentheses
  std::vector<Edit> edits;
  std::vector<std::pair<size_t, size_t>> clauses; // token ranges of the clauses
  for (size_t i = 1; i + 3 < l.t.size(); ++i) {
    if (!l.word(i, "WINDOW") || !l.name(i + 1) || !l.word(i + 2, "AS") || !l.op(i + 3, "(")) continue;
    size_t k = i;
    for (;;) {
      if (!l.name(k + 1) || !l.word(k + 2, "AS") || !l.op(k + 3, "(")) throw OraError(907).at(static_cast<int>(l.t[k + 1].pos));
      size_t c = l.close(k + 3);
      defs[l.t[k + 1].text] = {k + 4, c};
      k = c + 1;
      if (!l.op(k, ",")) break;
    }
    clauses.emplace_back(i, k);
    i = k - 1;
  }
  if (defs.empty()) return false;
  // a window's definition as text, the window it builds on written out first
  std::function<std::string(size_t, size_t, int)> spec = [&](size_t b, size_t e, int depth) -> std::string {
    if (b < e && l.t[b].kind == sql::Tok::Ident && defs.count(l.t[b].text) && depth < 16) {
      auto [db, de] = defs[l.t[b].text];
      std::string inner = spec(db, de, depth + 1);
      return inner + (b + 1 < e ? " " + l.slice(b + 1, e) : std::string());
    }
    return l.slice(b, e);
  };
  auto inClause = [&](size_t k) {
    for (auto [b, e] : clauses)
      if (k >= b && k < e) return true;
    return false;
  };
  for (size_t k = 0; k + 1 < l.t.size(); ++k) {
    if (inClause(k)) continue;
    if (!l.word(k, "OVER")) continue;
    if (l.name(k + 1) && defs.count(l.t[k + 1].text)) {
      auto [db, de] = defs[l.t[k + 1].text];
      edits.push_back({l.t[k + 1].pos, l.t[k + 1].end, "(" + spec(db, de, 0) + ")"});
    } else if (l.op(k + 1, "(") && l.t[k + 2].kind == sql::Tok::Ident && defs.count(l.t[k + 2].text)) {
      size_t c = l.close(k + 1);
      edits.push_back({l.t[k + 2].pos, l.t[c - 1].end, spec(k + 2, c, 0)});
    }
  }
  for (auto [b, e] : clauses) edits.push_back({l.t[b].pos, l.t[e - 1].end, ""});
  std::sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) { return a.from < b.from; });
  out = applied(l.text, edits);
  return true;
}

} // namespace

bool existenceClause(const std::string& text, Catalog& cat, bool deferDdlErrors, Translation& out) {
  // a stored unit's body is no SQL to split into tokens: its first words are enough
  if (!containsWord(text, "EXISTS")) return false;
  std::string head = text.substr(0, text.find(';'));
  TokenList l(head);
  if (!l.ok || l.t.size() < 5) return false;
  bool create = l.word(0, "CREATE");
  if (!create && !l.word(0, "DROP") && !l.word(0, "ALTER")) return false;
  // the clause comes right after the kind of object, within the statement's first words
  size_t at = 1;
  while (at < 8 && !l.word(at, "IF")) {
    if (!l.name(at)) return false;
    ++at;
  }
  size_t name = create ? at + 3 : at + 2;
  if (at == 1 || at == 8 || !l.word(name - 1, "EXISTS") || (create && !l.word(at + 1, "NOT"))) return false;
  if (!l.name(name)) return false;
  std::string kind = l.t[at - 1].text;
  if ((kind == "VIEW" && l.word(at - 2, "MATERIALIZED")) || (kind == "BODY" && at >= 2))
    kind = l.t[at - 2].text + " " + kind;
  if (create && l.word(1, "OR") && l.word(2, "REPLACE")) throw OraError(11541).at(static_cast<int>(l.t[2].pos));
  std::string object = l.t[name].text;
  bool elsewhere = false; // another schema's: left to the statement itself
  if (l.op(name + 1, ".") && l.name(name + 2)) {
    elsewhere = object != cat.user();
    object = l.t[name + 2].text;
  }
  // a stored unit keeps its text as written after the kind; other statements keep their
  // error positions with the clause blanked out
  static const std::set<std::string> units = {"PROCEDURE", "FUNCTION", "PACKAGE", "PACKAGE BODY",
                                              "TYPE",      "TYPE BODY", "TRIGGER"};
  std::string plain = text;
  if (units.count(kind)) plain.erase(l.t[at].pos, l.t[name].pos - l.t[at].pos);
  else plain.replace(l.t[at].pos, l.t[name - 1].end - l.t[at].pos, l.t[name - 1].end - l.t[at].pos, ' ');
  bool there = objectThere(cat, kind, object);
  if (elsewhere || create != there) {
    out = translate(plain, cat, false, deferDdlErrors);
    out.unshared = true;
    return true;
  }
  // nothing to do; the rest of the statement must still be well formed
  try {
    out = translate(plain, cat, false, true);
  } catch (const OraError& e) {
    static const std::set<int> missingOrThere = {942, 955, 1418, 1432, 1434, 1918, 1920, 2289, 4043, 4080};
    if (!missingOrThere.count(e.code)) throw;
    out = Translation();
    out.verb = l.t[0].text;
  }
  out.kind = StmtKind::Ddl;
  out.ddl.clear();
  out.actions.clear();
  out.beforeCommit.clear();
  out.retryText.clear();
  out.dictionary.clear();
  out.plsql.reset();
  out.unshared = true;
  return true;
}

int writtenPosition(int pos, const TextEdits& edits) {
  for (size_t k = edits.size(); k-- > 0;) {
    long delta = 0;
    long p = pos;
    for (const TextEdit& e : edits[k]) {
      long from = static_cast<long>(e.from) + delta;
      if (p < from) break;
      if (p < from + static_cast<long>(e.length)) {
        p = static_cast<long>(e.from) - delta;
        break;
      }
      delta += static_cast<long>(e.length) - static_cast<long>(e.to - e.from);
    }
    pos = static_cast<int>(p - delta);
  }
  return pos;
}

bool newerSyntax(const std::string& text, Catalog& cat, std::string& out, TextEdits& edits) {
  struct Record {
    Record(TextEdits* e) { recorded = e; }
    ~Record() { recorded = nullptr; }
  } record(&edits);
  // the text is split into tokens again only when a rewriting changed it
  std::string cur = text, next;
  auto tokens = std::make_unique<TokenList>(cur);
  bool any = false;
  auto took = [&](bool changed) {
    if (!changed) return;
    cur.swap(next);
    tokens = std::make_unique<TokenList>(cur);
    any = true;
  };
  took(valueTables(*tokens, next));
  took(fromlessSelects(*tokens, next));
  if (joinedDml(*tokens, next)) {
    edits.push_back({{0, cur.size(), next.size()}}); // a statement of another shape
    took(true);
  }
  took(groupAliases(*tokens, cat, next));
  took(windowClauses(*tokens, next));
  if (any) out = cur;
  return any;
}

namespace {
struct PositionRegistry {
  std::mutex m;
  std::set<sqlite3*> on;
};
PositionRegistry& positions() {
  static PositionRegistry r;
  return r;
}
void noop(sqlite3_context*, int, sqlite3_value**) {}
// The setting goes with its connection.
void forget(void* db) {
  PositionRegistry& r = positions();
  std::lock_guard lock(r.m);
  r.on.erase(static_cast<sqlite3*>(db));
}
} // namespace

void setGroupByPosition(sqlite3* db, bool on) {
  if (on)
    sqlite3_create_function_v2(db, "ORA$GROUP_BY_POSITION", 0, SQLITE_UTF8, db, noop, nullptr, nullptr, forget);
  PositionRegistry& r = positions();
  std::lock_guard lock(r.m);
  if (on) r.on.insert(db);
  else r.on.erase(db);
}

bool groupByPosition(sqlite3* db) {
  PositionRegistry& r = positions();
  std::lock_guard lock(r.m);
  return r.on.count(db) > 0;
}

} // namespace ora
