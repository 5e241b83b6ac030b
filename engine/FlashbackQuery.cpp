// Flashback queries: table AS OF {TIMESTAMP | SCN} expr, and table VERSIONS BETWEEN
// {TIMESTAMP | SCN} {expr | MINVALUE} AND {expr | MAXVALUE}. The table becomes a query of its rows
// guarded by ora_flashback, which lets them through only when they are the rows of that point
// (RowScn.cpp); a versions query gives each row as one version that has stood since before the range.
// AS OF PERIOD FOR and VERSIONS PERIOD FOR read the rows whose valid-time period holds then.
#include "FlashbackQuery.h"

#include "DeferredConstraints.h"
#include "FunctionUtil.h"
#include "InvisibleColumns.h"
#include "OraError.h"
#include "SqlText.h"
#include "SqlTranslate.h"
#include "SqlTokens.h"
#include "SessionRows.h"
#include "ValidPeriods.h"

#include <cctype>
#include <set>

namespace ora {

namespace {

using sql::Tok;


// Where the expression that starts at b ends: at the end of the table reference, at `stop` (a
// word such as AND) or at the alias after it.
size_t expressionEnd(const sql::TokenList& l, size_t b, const char* stop) {
  static const std::set<std::string> fields = {"YEAR", "MONTH", "DAY", "HOUR", "MINUTE", "SECOND", "TO"};
  int d = 0;
  for (size_t k = b; k < l.t.size(); ++k) {
    if (l.op(k, "(")) { ++d; continue; }
    if (l.op(k, ")")) {
      if (d == 0) return k;
      --d;
      continue;
    }
    if (d > 0) continue;
    if (k > b && (sql::endsTableReference(l, k) || (stop && l.word(k, stop)))) return k;
    if (l.t[k].kind == Tok::End) return k;
    // an alias: a name right after an operand
    if (k > b && l.name(k) && !(l.t[k].kind == Tok::Ident && fields.count(l.t[k].text))) {
      const auto& p = l.t[k - 1];
      bool operand = p.kind == Tok::Str || p.kind == Tok::Num || p.kind == Tok::QIdent ||
                     (p.kind == Tok::Op && p.text == ")") ||
                     (p.kind == Tok::Ident && p.text != "INTERVAL" && p.text != "TIMESTAMP" && p.text != "DATE" &&
                      p.text != "PRIOR" && p.text != "NOT");
      if (operand) return k;
    }
  }
  return l.t.size();
}


// A valid-time query: the table's rows whose period holds at a point (AS OF PERIOD FOR) or at
// some time between two (VERSIONS PERIOD FOR); a NULL start or end is open.
size_t periodClause(const sql::TokenList& l, size_t b, size_t i, sqlite3* db, std::string& res) {
  const bool asOf = l.word(i, "AS");
  size_t nameAt = asOf ? i + 4 : i + 3;
  if (!l.name(nameAt)) throw OraError(904).at(static_cast<int>(l.t[std::min(nameAt, l.t.size() - 1)].pos));
  const std::string table = sql::upperName(l.t[i - 1]), period = sql::upperName(l.t[nameAt]);
  ValidPeriod found;
  for (auto& p : validPeriods(db, table))
    if (p.name == period) found = p;
  if (found.name.empty()) throw OraError(904, "\"" + period + "\"").at(static_cast<int>(l.t[nameAt].pos));
  const std::string ref = l.slice(b, i), start = ref + "." + quoteIdent(found.start), end = ref + "." + quoteIdent(found.end);
  auto point = [&](size_t s, size_t e) {
    std::string v = l.slice(s, e);
    if (v.empty()) throw OraError(936).at(static_cast<int>(l.t[std::min(s, l.t.size() - 1)].pos));
    return "(" + v + ")";
  };
  std::vector<std::string> conds;
  size_t e;
  if (asOf) {
    e = expressionEnd(l, nameAt + 1, nullptr);
    conds.push_back(periodHoldsAt(ref + ".", found, point(nameAt + 1, e)));
  } else {
    if (!l.word(nameAt + 1, "BETWEEN")) throw OraError(905).at(static_cast<int>(l.t[std::min(nameAt + 1, l.t.size() - 1)].pos));
    size_t lo = nameAt + 2;
    size_t loEnd = l.word(lo, "MINVALUE") ? lo + 1 : expressionEnd(l, lo, "AND");
    if (!l.word(loEnd, "AND")) throw OraError(905).at(static_cast<int>(l.t[std::min(loEnd, l.t.size() - 1)].pos));
    size_t hi = loEnd + 1;
    e = l.word(hi, "MAXVALUE") ? hi + 1 : expressionEnd(l, hi, nullptr);
    if (!l.word(hi, "MAXVALUE")) conds.push_back("(" + start + " IS NULL OR " + start + " <= " + point(hi, e) + ")");
    if (!l.word(lo, "MINVALUE")) conds.push_back("(" + end + " IS NULL OR " + end + " > " + point(lo, loEnd) + ")");
  }
  // columns the period made are invisible: the query gives them when the statement names them
  std::string cols = ref + ".*";
  const auto invisible = tx::invisibleColumns(tableDefinition(db, table));
  for (const std::string* c : {&found.start, &found.end}) {
    if (!invisible.count(*c)) continue; // "*" gives it
    for (auto& k : l.t)
      if ((k.kind == Tok::Ident || k.kind == Tok::QIdent) && sql::upperName(k) == *c) {
        cols += ", " + ref + "." + quoteIdent(*c);
        break;
      }
  }
  std::string where;
  for (auto& c : conds) where += (where.empty() ? " WHERE " : " AND ") + c;
  res += "(SELECT " + cols + " FROM " + ref + where + ")";
  if (sql::endsTableReference(l, e) || l.t[e].kind == Tok::Op) res += " " + quoteIdent(table);
  res += " ";
  return e;
}

} // namespace

bool flashbackClause(const std::string& written, Catalog& cat, bool sessionRows, std::string& out) {
  sqlite3* db = cat.db();
  std::string seen;
  // the rows the session sees of tables with valid-time periods or archived rows
  const bool narrowed = sessionRows && sessionFilters(written, cat, seen);
  const std::string& text = narrowed ? seen : written;
  auto unchanged = [&] {
    if (narrowed) out = text;
    return narrowed;
  };
  // most statements have neither clause: no tokens for them
  if (!containsWord(text, "OF") && !containsWord(text, "VERSIONS")) return unchanged();
  sql::TokenList l(text);
  if (!l.ok) return unchanged();
  bool versionsColumns = false;
  for (const auto& k : l.t)
    if (k.kind == Tok::Ident && k.text.rfind("VERSIONS_", 0) == 0) versionsColumns = true;
  std::string res;
  size_t copied = 0;
  bool any = false;
  for (size_t i = 1; i + 2 < l.t.size(); ++i) {
    bool asOf = l.word(i, "AS") && l.word(i + 1, "OF") && (l.word(i + 2, "TIMESTAMP") || l.word(i + 2, "SCN"));
    bool versions = l.word(i, "VERSIONS") && l.word(i + 1, "BETWEEN") && (l.word(i + 2, "TIMESTAMP") || l.word(i + 2, "SCN"));
    bool period = (l.word(i, "AS") && l.word(i + 1, "OF") && l.word(i + 2, "PERIOD") && l.word(i + 3, "FOR")) ||
                  (l.word(i, "VERSIONS") && l.word(i + 1, "PERIOD") && l.word(i + 2, "FOR"));
    if (!(asOf || versions || period) || !l.name(i - 1)) continue;
    size_t b = i - 1;
    if (b >= 2 && l.op(b - 1, ".") && l.name(b - 2)) b -= 2;
    if (b == 0 || !(l.word(b - 1, "FROM") || l.op(b - 1, ",") || l.word(b - 1, "JOIN") || l.word(b - 1, "INTO")))
      continue;
    if (period) {
      res += text.substr(copied, l.t[b].pos - copied);
      size_t e = periodClause(l, b, i, db, res);
      copied = e < l.t.size() ? l.t[e].pos : text.size();
      any = true;
      i = e;
      continue;
    }
    const bool scn = l.word(i + 2, "SCN");
    const std::string table = sql::upperName(l.t[i - 1]);
    auto point = [&](size_t s, size_t e) {
      std::string v = l.slice(s, e);
      if (v.empty()) throw OraError(936).at(static_cast<int>(l.t[std::min(s, l.t.size() - 1)].pos));
      return scn ? "(" + v + ")" : "CAST((" + v + ") AS TIMESTAMP)";
    };
    std::string guard;
    size_t e;
    if (asOf) {
      e = expressionEnd(l, i + 3, nullptr);
      guard = "ORA_FLASHBACK(" + quoteString(table) + ", '" + (scn ? "S" : "T") + "', " + point(i + 3, e) + ") = 1";
    } else {
      size_t lo = i + 3;
      size_t loEnd = l.word(lo, "MINVALUE") ? lo + 1 : expressionEnd(l, lo, "AND");
      if (!l.word(loEnd, "AND")) throw OraError(905).at(static_cast<int>(l.t[std::min(loEnd, l.t.size() - 1)].pos));
      size_t hi = loEnd + 1;
      e = l.word(hi, "MAXVALUE") ? hi + 1 : expressionEnd(l, hi, nullptr);
      if (l.word(lo, "MINVALUE")) guard = "ORA_FLASHBACK(" + quoteString(table) + ", 'M', NULL) = 1";
      else guard = "ORA_FLASHBACK(" + quoteString(table) + ", '" + (scn ? "S" : "T") + "', " + point(lo, loEnd) + ") = 1";
      // the upper end must be a point the table had already reached
      if (!l.word(hi, "MAXVALUE"))
        guard += " AND ORA_FLASHBACK(" + quoteString(table) + ", '" + (scn ? "S" : "T") + "', " + point(hi, e) + ") = 1";
    }
    std::string cols = l.slice(b, i) + ".*";
    if (versions && versionsColumns)
      cols += ", CAST(NULL AS NUMBER) VERSIONS_STARTSCN, CAST(NULL AS TIMESTAMP) VERSIONS_STARTTIME,"
              " CAST(NULL AS NUMBER) VERSIONS_ENDSCN, CAST(NULL AS TIMESTAMP) VERSIONS_ENDTIME,"
              " CAST(NULL AS RAW(8)) VERSIONS_XID, CAST(NULL AS VARCHAR2(1)) VERSIONS_OPERATION";
    res += text.substr(copied, l.t[b].pos - copied);
    // the guard is a row of its own, read first, so that it runs even when the table has no rows
    res += "(SELECT " + cols + " FROM (SELECT MAX(" + guard + ") \"FLASHBACK$\" FROM DUAL) \"FLASHBACK$\" LEFT JOIN " +
           l.slice(b, i) + " ON \"FLASHBACK$\".\"FLASHBACK$\" = 1 WHERE " + l.slice(b, i) + ".ROWID IS NOT NULL)";
    // the table's own name stays the name of its columns when no alias follows
    if (sql::endsTableReference(l, e) || l.t[e].kind == Tok::Op) res += " " + quoteIdent(table);
    res += " ";
    copied = e < l.t.size() ? l.t[e].pos : text.size();
    any = true;
    i = e;
  }
  if (!any) return unchanged();
  out = res + text.substr(copied);
  return true;
}

} // namespace ora
