// A sampled table becomes a query of the rows the chance keeps: a random draw for each row, or,
// with SEED, a hash of the row's address and the seed, so the same seed keeps the same rows.
// A block sample draws rows as the row sample does.
#include "SampleClause.h"

#include "OraError.h"
#include "SqlText.h"
#include "SqlTranslate.h"
#include "SqlTokens.h"

#include <cstdlib>
#include <set>

namespace ora {

namespace {

// Words that end a table reference where an alias would otherwise follow.
bool clauseWord(const sql::TokenList& l, size_t i) {
  static const std::set<std::string> words = {
      "WHERE", "GROUP", "ORDER", "HAVING", "CONNECT", "START", "UNION", "INTERSECT", "MINUS", "EXCEPT",
      "JOIN", "INNER", "LEFT", "RIGHT", "FULL", "CROSS", "NATURAL", "ON", "USING", "FETCH", "OFFSET",
      "FOR", "MODEL", "PIVOT", "UNPIVOT", "WINDOW", "OUTER", "PARTITION", "AS", "MATCH_RECOGNIZE"};
  return i >= l.t.size() || l.t[i].kind != sql::Tok::Ident || words.count(l.t[i].text) > 0;
}

// The percentage in SAMPLE (p): from 0.000001 up to, not including, 100.
std::string percent(const sql::TokenList& l, size_t open) {
  if (!l.op(open, "(")) throw OraError(906).at(static_cast<int>(l.t[open].pos));
  const sql::Token& n = l.t[open + 1];
  if (n.kind != sql::Tok::Num) throw OraError(30562).at(static_cast<int>(n.pos));
  double p = std::strtod(n.text.c_str(), nullptr);
  if (p < 0.000001 || p >= 100) throw OraError(30562).at(static_cast<int>(n.pos));
  if (!l.op(open + 2, ")")) throw OraError(907).at(static_cast<int>(l.t[open + 2].pos));
  return n.text;
}

} // namespace

bool sampleClause(const std::string& text, std::string& out) {
  if (!containsWord(text, "SAMPLE")) return false;
  sql::TokenList l(text);
  if (!l.ok) return false;
  std::string res;
  size_t copied = 0;
  bool any = false;
  for (size_t i = 1; i + 1 < l.t.size(); ++i) {
    if (!l.word(i, "SAMPLE") || !l.name(i - 1)) continue;
    size_t open = l.word(i + 1, "BLOCK") ? i + 2 : i + 1;
    if (!l.op(open, "(")) continue;
    // the table: [schema .] name, right after FROM, a comma or JOIN
    size_t b = i - 1;
    if (b >= 2 && l.op(b - 1, ".") && l.name(b - 2)) b -= 2;
    if (b == 0 || !(l.word(b - 1, "FROM") || l.op(b - 1, ",") || l.word(b - 1, "JOIN"))) continue;
    std::string p = percent(l, open);
    size_t e = open + 3;
    std::string keep = "DBMS_RANDOM.VALUE * 100 < " + p;
    if (l.word(e, "SEED")) {
      if (!l.op(e + 1, "(")) throw OraError(906).at(static_cast<int>(l.t[e + 1].pos));
      const sql::Token& s = l.t[e + 2];
      if (s.kind != sql::Tok::Num || s.text.find_first_of(".eE") != std::string::npos)
        throw OraError(933).at(static_cast<int>(s.pos));
      if (!l.op(e + 3, ")")) throw OraError(907).at(static_cast<int>(l.t[e + 3].pos));
      keep = "ORA_HASH(ROWID, 999999, " + s.text + ") < " + p + " * 10000";
      e += 4;
    }
    res += text.substr(copied, l.t[b].pos - copied);
    res += "(SELECT * FROM " + l.slice(b, i) + " WHERE " + keep + ")";
    // the table's own name stays the name of its columns when no alias follows
    if (clauseWord(l, e) || l.t[e].kind == sql::Tok::Op)
      res += " " + quoteIdent(l.t[i - 1].text);
    res += " ";
    copied = e < l.t.size() ? l.t[e].pos : text.size();
    any = true;
    i = e;
  }
  if (!any) return false;
  out = res + text.substr(copied);
  return true;
}

} // namespace ora
