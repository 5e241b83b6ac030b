// Tables whose rows the session sees only in part. A table reference a statement reads becomes a
// query of the rows the session sees; an UPDATE's or DELETE's own table gets the same condition
// in its WHERE clause.
#include "SessionRows.h"

#include "FunctionUtil.h"
#include "OraError.h"
#include "SqlText.h"
#include "SqlTokens.h"
#include "SqlTranslate.h"
#include "ValidPeriods.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>
#include <set>
#include <vector>

namespace ora {

namespace {

using sql::Tok;


bool archivalTable(Catalog& cat, const std::string& table) {
  if (!cat.tableExists(table) || cat.viewExists(table)) return false;
  for (const auto& c : cat.columns(table))
    if (c.name == kArchiveState && c.invisible) return true;
  return false;
}

struct Seen {
  std::string validAt; // the session's valid time, empty when it has none
  bool active = false; // archived rows are hidden
};

// What narrows the rows of a table to those the session sees, of its columns named after `ref`
// ("T." or empty); the hidden columns the narrowing reads in `hidden`.
std::string narrowing(Catalog& cat, const Seen& seen, const std::string& table, const std::string& ref,
                      std::vector<std::string>& hidden) {
  std::string cond;
  if (!seen.validAt.empty()) {
    auto periods = validPeriods(cat.db(), table);
    if (!periods.empty()) {
      cond = periodHoldsAt(ref, periods[0], "(" + seen.validAt + ")");
      hidden.push_back(periods[0].start);
      hidden.push_back(periods[0].end);
    }
  }
  if (seen.active && archivalTable(cat, table)) {
    cond += (cond.empty() ? "" : " AND ") + ref + quoteIdent(kArchiveState) + " = '0'";
    hidden.push_back(kArchiveState);
  }
  return cond;
}

// An UPDATE's or DELETE's own table keeps the rows the session does not see out of its reach.
std::string narrowedTarget(const sql::TokenList& l, Catalog& cat, const Seen& seen) {
  size_t t = l.word(0, "DELETE") && l.word(1, "FROM") ? 2 : 1;
  if (l.name(t) && l.op(t + 1, ".") && l.name(t + 2)) t += 2;
  if (!l.name(t)) return l.text;
  std::vector<std::string> hidden;
  std::string cond = narrowing(cat, seen, sql::upperName(l.t[t]), "", hidden);
  if (cond.empty()) return l.text;
  size_t where = std::string::npos, end = l.t.size();
  int depth = 0;
  for (size_t k = t + 1; k < l.t.size(); ++k) {
    if (l.op(k, "(")) ++depth;
    if (l.op(k, ")")) --depth;
    if (depth != 0) continue;
    if (l.word(k, "WHERE") && where == std::string::npos) where = k;
    if (l.word(k, "RETURNING") || l.word(k, "RETURN") || l.word(k, "LOG") || l.op(k, ";") || l.t[k].kind == Tok::End) {
      end = k;
      break;
    }
  }
  size_t tail = end < l.t.size() ? l.t[end].pos : l.text.size();
  if (where == std::string::npos) return l.text.substr(0, tail) + " WHERE " + cond + " " + l.text.substr(tail);
  size_t from = l.t[where].end;
  return l.text.substr(0, from) + " (" + l.text.substr(from, tail - from) + ") AND " + cond + " " + l.text.substr(tail);
}


} // namespace

bool sessionFilters(const std::string& text, Catalog& cat, std::string& out) {
  Seen seen;
  const Nls& nls = sessionNls(cat.db());
  seen.validAt = nls.validTimeAt;
  seen.active = !nls.archivedRowsSeen && cat.anyRowArchival();
  if (seen.validAt.empty() && !seen.active) return false;
  sql::TokenList first(text);
  if (!first.ok || first.t.empty()) return false;
  // queries and DML only: what DDL keeps (a view's query) is narrowed where it is read
  if (!(first.word(0, "SELECT") || first.word(0, "WITH") || first.word(0, "INSERT") || first.word(0, "UPDATE") ||
        first.word(0, "DELETE") || first.word(0, "MERGE") || first.op(0, "(")))
    return false;
  std::string targeted = first.word(0, "UPDATE") || first.word(0, "DELETE") ? narrowedTarget(first, cat, seen) : text;
  // the tokens again only when the target's narrowing changed the text
  std::optional<sql::TokenList> again;
  const sql::TokenList& l = targeted == text ? first : again.emplace(targeted);
  if (!l.ok) return false;
  // a DELETE's or UPDATE's own table is narrowed in its WHERE clause
  size_t target = l.word(0, "DELETE") ? (l.word(1, "FROM") ? 2 : 1) : std::string::npos;
  static const std::set<std::string> clauseEnds = {"WHERE", "GROUP", "ORDER", "HAVING", "CONNECT", "START", "UNION",
                                                   "INTERSECT", "MINUS", "EXCEPT", "FETCH", "OFFSET", "MODEL", "WINDOW",
                                                   "FOR", "SET", "VALUES", "RETURNING"};
  std::vector<bool> inFrom{false};
  // edits of the text: insertions at a place (from == to) or a table reference replaced
  struct Edit {
    size_t from, to;
    std::string with;
  };
  std::vector<Edit> edits;
  std::map<size_t, std::string> whereAdds, whereOpens; // conditions before a clause's end / after WHERE
  std::set<size_t> whereCloses;
  for (size_t i = 0; i < l.t.size(); ++i) {
    if (l.op(i, "(")) { inFrom.push_back(false); continue; }
    if (l.op(i, ")")) {
      if (inFrom.size() > 1) inFrom.pop_back();
      continue;
    }
    if (l.word(i, "FROM") || l.word(i, "JOIN") || l.word(i, "USING")) inFrom.back() = true;
    else if (l.t[i].kind == Tok::Ident && clauseEnds.count(l.t[i].text)) inFrom.back() = false;
    if (i == 0 || i == target || !l.name(i) || !inFrom.back()) continue;
    if (!(l.word(i - 1, "FROM") || l.word(i - 1, "JOIN") || l.op(i - 1, ","))) continue;
    size_t last = i;
    if (l.op(i + 1, ".") && l.name(i + 2)) last = i + 2;
    if (l.op(last + 1, "(") || l.op(last + 1, "@") || l.word(last + 1, "VERSIONS") ||
        (l.word(last + 1, "AS") && l.word(last + 2, "OF")))
      continue;
    const std::string table = sql::upperName(l.t[last]), ref = l.slice(i, last + 1);
    const bool aliased = !sql::endsTableReference(l, last + 1) && l.name(last + 1);
    std::vector<std::string> hidden;
    // a table the block reads on its own (FROM t, or t after a comma) keeps its rows, ROWID and
    // all: the condition goes into the block's WHERE clause
    if (!l.word(i - 1, "JOIN")) {
      // the block's clauses after its FROM, at its own depth
      size_t where = std::string::npos, start = std::string::npos, connect = std::string::npos, end = l.t.size();
      bool plain = true;
      std::vector<size_t> marks; // where each clause starts, and the block's end
      int depth = 0;
      for (size_t k = last + 1; k < l.t.size(); ++k) {
        if (l.op(k, "(")) ++depth;
        if (l.op(k, ")") && --depth < 0) { end = k; break; }
        if (depth != 0) continue;
        if (l.word(k, "WHERE") && where == std::string::npos) where = k, marks.push_back(k);
        if (l.word(k, "START") && l.word(k + 1, "WITH")) start = k, marks.push_back(k);
        if (l.word(k, "CONNECT") && l.word(k + 1, "BY")) connect = k, marks.push_back(k);
        // a pivot or a model reads the rows before WHERE does
        if (l.word(k, "PIVOT") || l.word(k, "UNPIVOT") || l.word(k, "MATCH_RECOGNIZE") || l.word(k, "MODEL")) plain = false;
        static const std::set<std::string> ends = {"GROUP", "ORDER", "HAVING", "UNION", "INTERSECT", "MINUS", "EXCEPT",
                                                   "FETCH", "OFFSET", "FOR", "WINDOW", "RETURNING", "LOG"};
        if ((l.t[k].kind == Tok::Ident && ends.count(l.t[k].text)) || l.op(k, ";") || l.t[k].kind == Tok::End) {
          end = k;
          break;
        }
      }
      marks.push_back(end);
      auto placeOf = [&](size_t k) { return k < l.t.size() ? l.t[k].pos : targeted.size(); };
      // where the clause that starts at k ends: at the next clause or the block's end
      auto clauseEnd = [&](size_t k) {
        size_t e = end;
        for (size_t m : marks)
          if (m > k && m < e) e = m;
        return placeOf(e);
      };
      if (plain) {
        std::string cond = narrowing(cat, seen, table, (aliased ? l.t[last + 1].text : ref) + ".", hidden);
        if (cond.empty()) continue;
        if (connect != std::string::npos) {
          // a hierarchy is built of the rows the session sees: its roots and each row it connects
          if (start == std::string::npos) {
            whereAdds[placeOf(connect)] += " START WITH " + cond + " ";
          } else {
            whereOpens[l.t[start + 1].end] += " " + cond + " AND";
            whereCloses.insert(clauseEnd(start));
          }
          size_t by = connect + 1 + (l.word(connect + 2, "NOCYCLE") ? 1 : 0);
          whereOpens[l.t[by].end] += " " + cond + " AND";
          whereCloses.insert(clauseEnd(connect));
        } else if (where == std::string::npos) {
          std::string& add = whereAdds[placeOf(end)];
          add += (add.empty() ? " WHERE " : " AND ") + cond;
        } else {
          whereOpens[l.t[where].end] += " " + cond + " AND";
          whereCloses.insert(clauseEnd(where));
        }
        i = last;
        continue;
      }
    }
    std::string cond = narrowing(cat, seen, table, ref + ".", hidden);
    if (cond.empty()) continue;
    // a joined table: a query of the rows the session sees, in its place
    std::string cols = ref + ".*";
    std::set<std::string> given;
    for (const auto& c : cat.columns(table))
      if (!c.invisible) given.insert(c.name); // "*" gives them
    for (const auto& h : hidden)
      for (auto& k : l.t)
        if ((k.kind == Tok::Ident || k.kind == Tok::QIdent) && sql::upperName(k) == h && given.insert(h).second) {
          cols += ", " + ref + "." + quoteIdent(h);
          break;
        }
    std::string with = "(SELECT " + cols + " FROM " + ref + " WHERE " + cond + ")";
    // the table's own name stays the name of its columns when no alias follows
    if (sql::endsTableReference(l, last + 1) || l.t[last + 1].kind == Tok::Op) with += " " + quoteIdent(table);
    edits.push_back({l.t[i].pos, l.t[last].end, with});
    i = last;
  }
  for (auto& [at, add] : whereAdds) edits.push_back({at, at, add + " "});
  for (auto& [at, open] : whereOpens) edits.push_back({at, at, open + " ("});
  for (size_t at : whereCloses) edits.push_back({at, at, ") "});
  // in the text's order; at one place, what closes a WHERE before what starts another
  std::stable_sort(edits.begin(), edits.end(), [](const Edit& x, const Edit& y) { return x.from < y.from; });
  std::string res;
  size_t copied = 0;
  for (const Edit& e : edits) {
    res += targeted.substr(copied, e.from - copied) + e.with;
    copied = e.to;
  }
  out = edits.empty() ? targeted : res + targeted.substr(copied);
  return out != text;
}

bool rowArchivalDdl(const std::string& text, std::string& out) {
  if (!containsWord(text, "ARCHIVAL")) return false;
  sql::TokenList l(text);
  if (!l.ok || l.t.size() < 4 || !l.word(1, "TABLE")) return false;
  size_t i = 2;
  if (l.name(i) && l.op(i + 1, ".") && l.name(i + 2)) i += 2;
  if (!l.name(i)) return false;
  const std::string column = quoteIdent(kArchiveState) + " VARCHAR2(4000) INVISIBLE DEFAULT '0'";
  if (l.word(0, "ALTER")) {
    const std::string head = "ALTER TABLE " + l.slice(2, i + 1);
    size_t k = i + 1;
    bool no = l.word(k, "NO");
    if (no) ++k;
    if (!(l.word(k, "ROW") && l.word(k + 1, "ARCHIVAL"))) return false;
    if (k + 2 < l.t.size() && l.t[k + 2].kind != Tok::End && !l.op(k + 2, ";")) throw OraError(933).at(static_cast<int>(l.t[k + 2].pos));
    out = no ? head + " DROP (" + quoteIdent(kArchiveState) + ")" : head + " ADD (" + column + ")";
    return true;
  }
  if (!l.word(0, "CREATE") || !l.op(i + 1, "(")) return false;
  size_t close = l.close(i + 1);
  for (size_t k = close + 1; k + 1 < l.t.size(); ++k) {
    if (l.op(k, "(")) k = l.close(k);
    if (l.word(k, "AS")) break; // the query of CREATE TABLE ... AS
    if (!(l.word(k, "ROW") && l.word(k + 1, "ARCHIVAL"))) continue;
    // the column goes last among the others; the words become blanks, keeping later places
    out = text.substr(0, l.t[close].pos) + ", " + column + text.substr(l.t[close].pos, l.t[k].pos - l.t[close].pos) +
          std::string(l.t[k + 1].end - l.t[k].pos, ' ') + text.substr(l.t[k + 1].end);
    return true;
  }
  return false;
}

} // namespace ora
