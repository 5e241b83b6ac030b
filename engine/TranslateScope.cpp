// What a query block may name where: aliases out of their scope, grouped columns, aggregates
// and analytic calls, and where NULLs sort.
#include "TranslateImpl.h"

#include "Dictionary.h"
#include "FunctionUtil.h"
#include "Number.h"
#include "OraFunctions.h"
#include "Session.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <set>
#include <sqlite3.h>

namespace ora::tx {

// A select list's aliases name its result, which WHERE and GROUP BY come before: there they
// are columns of the tables or nothing at all (SQLite would take the alias).
void Translator::aliasesOutOfScope(size_t from, size_t fromEnd, size_t end, const std::vector<std::string>& aliases) {
  if (aliases.empty() || ctx_.empty()) return;
  int d = t_[from].depth;
  for (size_t i = from + 1; i < fromEnd; ++i)
    if (is(t_[i], "SELECT") || is(t_[i], "PIVOT") || is(t_[i], "UNPIVOT") || is(t_[i], "TABLE")) return;
  std::set<std::string> columns;
  if (!columnsInScope(columns)) return;
  bool inScope = false; // WHERE, GROUP BY and HAVING; not ORDER BY
  for (size_t i = fromEnd; i < end; ++i) {
    const Token& k = t_[i];
    if (is(k, "(") && is(at(i + 1), "SELECT")) { i = matching(i); continue; } // its own block
    if (k.depth == d && k.kind == Token::Ident && i + 1 < end) {
      if (is(k, "WHERE") || is(k, "HAVING") || (is(k, "GROUP") && is(t_[i + 1], "BY"))) inScope = true;
      if ((is(k, "ORDER") || is(k, "CONNECT") || is(k, "START")) &&
          (is(t_[i + 1], "BY") || is(t_[i + 1], "WITH") || is(t_[i + 1], "SIBLINGS")))
        inScope = false;
    }
    if (!inScope || k.depth < d || skip_[i] || !replace_[i].empty()) continue;
    if (k.kind != Token::Ident && k.kind != Token::QIdent) continue;
    if ((i > 0 && is(t_[i - 1], ".")) || is(at(i + 1), "(") || is(at(i + 1), ".")) continue;
    if (std::find(aliases.begin(), aliases.end(), k.text) != aliases.end() && !columns.count(k.text) &&
        !parameterlessFunction(i))
      throw OraError(904, k.text).at(static_cast<int>(k.pos));
  }
}

namespace {

// A name in capitals, as an unquoted name is read.
std::string capitals(std::string s) {
  for (auto& ch : s)
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 32);
  return s;
}

} // namespace

// An ORDER BY key named alone is an alias or a column by its exact name: an alias "Name" is not
// NAME, nor is an alias NAME "Name" (SQLite would take either, its names knowing no case).
void Translator::orderNameCase(size_t orderFrom, size_t end, int d, const std::vector<std::string>& aliases) {
  if (aliases.empty()) return;
  size_t ob = orderFrom;
  while (ob + 1 < end && !(t_[ob].depth == d && is(t_[ob], "ORDER") && is(t_[ob + 1], "BY"))) ++ob;
  if (ob + 1 >= end) return;
  std::set<std::string> columns;
  bool known = false;
  for (size_t i = ob + 2; i < end; ++i) {
    const Token& k = t_[i];
    if (k.depth != d || (k.kind != Token::Ident && k.kind != Token::QIdent)) continue;
    bool alone = (is(t_[i - 1], ",") || i == ob + 2) &&
                 (i + 1 >= end || is(t_[i + 1], ",") || is(t_[i + 1], "ASC") || is(t_[i + 1], "DESC") ||
                  is(t_[i + 1], "NULLS") || is(t_[i + 1], "OFFSET") || is(t_[i + 1], "FETCH"));
    if (!alone || (k.kind == Token::Ident && keywordAt(t_, i))) continue;
    if (std::find(aliases.begin(), aliases.end(), k.text) != aliases.end()) continue;
    bool other = false;
    for (const auto& a : aliases) other = other || capitals(a) == capitals(k.text);
    if (!other) continue;
    if (!known && !columnsInScope(columns)) return;
    known = true;
    if (!columns.count(k.text)) throw OraError(904, k.text).at(static_cast<int>(k.pos));
  }
}

// A column of a subquery in FROM or of a WITH query named in another case than the subquery
// gave it: "Name" is neither NAME nor "name", though SQLite would take either. Checked where the
// query block stands alone and every source's columns are known.
void Translator::derivedNameCase(size_t listBegin, size_t from, size_t fromEnd, size_t end,
                                 const std::vector<std::string>& aliases) {
  if (ctx_.size() != 1) return;
  const Context& c = ctx_.back();
  bool cte = false;
  for (const auto& r : c.tables) cte = cte || cteNames_.count(r.name) > 0;
  if (c.derived.empty() && !cte) return;
  int d = t_[from].depth;
  for (size_t i = from + 1; i < fromEnd; ++i)
    if (t_[i].depth == d && t_[i].kind == Token::Ident &&
        (is(t_[i], "TABLE") || is(t_[i], "PIVOT") || is(t_[i], "UNPIVOT") || is(t_[i], "LATERAL") ||
         is(t_[i], "APPLY") || is(t_[i], "JSON_TABLE") || is(t_[i], "XMLTABLE") || is(t_[i], "MATCH_RECOGNIZE") ||
         is(t_[i], "MODEL")))
      return;
  std::set<std::string> exact(aliases.begin(), aliases.end());
  std::map<std::string, std::string> folded; // a name not in capitals, by its capitals
  auto add = [&](const std::string& n) {
    exact.insert(n);
    if (capitals(n) != n) folded.emplace(capitals(n), n);
  };
  try {
    for (const auto& [open, alias] : c.derived)
      for (const auto& n : lateralColumns(open, matching(open))) add(n);
    for (const auto& r : c.tables) {
      if (r.name == "DUAL") {
        add("DUMMY");
      } else if (cteNames_.count(r.name)) {
        for (const auto& n : withColumns(r.name)) add(n);
      } else if (!r.dictionary.empty() || !cat_.tableExists(r.name)) {
        return;
      } else {
        for (const auto& col : cat_.columns(r.name)) add(col.name);
      }
    }
  } catch (const OraError&) {
    return; // a source the statement reports on its own
  }
  if (folded.empty()) return;
  for (size_t i = listBegin; i < end; ++i) {
    if (i == from) {
      i = fromEnd - 1;
      continue;
    }
    if (is(t_[i], "(") && (is(at(i + 1), "SELECT") || is(at(i + 1), "WITH"))) {
      i = matching(i); // a block of its own
      continue;
    }
    const Token& k = t_[i];
    if (k.kind != Token::Ident && k.kind != Token::QIdent) continue;
    if (is(at(i + 1), "(") || is(at(i + 1), ".") || (k.kind == Token::Ident && keywordAt(t_, i))) continue;
    if (exact.count(k.text) || !folded.count(capitals(k.text))) continue;
    bool qualified = i >= 2 && is(t_[i - 1], ".");
    if (qualified && i >= 3 && is(t_[i - 3], ".")) continue; // a step of a longer path (JSON, an object's)
    throw OraError(904, qualified ? t_[i - 2].text + "." + k.text : k.text)
        .at(static_cast<int>(qualified ? t_[i - 2].pos : k.pos));
  }
}

bool Translator::qualifierInScope(const std::string& q) const {
  for (auto& c : ctx_)
    for (auto& r : c.tables)
      if ((r.alias.empty() ? r.name : r.alias) == q) return true;
  return false;
}

bool Translator::columnsInScope(std::set<std::string>& columns) const {
  for (auto& c : ctx_) {
    if (c.opaque) return false;
    for (auto& r : c.tables) {
      if (r.name == "DUAL") { columns.insert("DUMMY"); continue; }
      if (cteNames_.count(r.name) || !r.dictionary.empty() || !cat_.tableExists(r.name)) return false;
      for (auto& col : cat_.columns(r.name)) columns.insert(col.name);
    }
  }
  return !ctx_.empty();
}

bool Translator::isAggregate(size_t i) const {
  if (hypotheticalAt(i)) return true;
  return t_[i].kind == Token::Ident && aggregateFunction(t_[i].text) && is(at(i + 1), "(") && !analyticAt(i);
}

// A function call at i that has an OVER clause: its end (after the window), or 0.
size_t Translator::analyticAt(size_t i) const {
  if (!is(at(i + 1), "(")) return 0;
  size_t close = matching(i + 1);
  if (is(at(close + 1), "KEEP") && is(at(close + 2), "(")) close = matching(close + 2);
  if (is(at(close + 1), "NTH$FROM")) close += 2;
  if ((is(at(close + 1), "IGNORE") || is(at(close + 1), "RESPECT")) && is(at(close + 2), "NULLS")) close += 2;
  if (is(at(close + 1), "WITHIN") && is(at(close + 2), "GROUP") && is(at(close + 3), "(")) close = matching(close + 3);
  if (!is(at(close + 1), "OVER") || !is(at(close + 2), "(")) return 0;
  return matching(close + 2) + 1;
}

// A word of the type after AS in CAST, XMLCAST, TREAT or VALIDATE_CONVERSION at i.
bool Translator::castTypeWord(size_t i) const {
  int depth = 0;
  bool as = false;
  for (size_t k = i; k-- > 0;) {
    if (is(t_[k], ")")) ++depth;
    else if (is(t_[k], "(") && depth-- == 0)
      return as && k > 0 && (is(t_[k - 1], "CAST") || is(t_[k - 1], "TREAT") || is(t_[k - 1], "VALIDATE_CONVERSION"));
    else if (depth == 0 && is(t_[k], "AS")) as = true;
    else if (depth == 0 && !as && t_[k].kind != Token::Ident) return false; // only words between AS and the type's word
  }
  return false;
}

// In a grouped query every column outside an aggregate must be grouped (or stand inside a
// grouped expression); SQLite would silently pick a value from any row of the group.
void Translator::checkGrouped(size_t b, size_t e, const std::vector<std::pair<size_t, size_t>>& groups,
                              bool byClause, bool seeRewrites) {
  static const std::set<std::string> pseudo = {"SYSDATE", "USER", "UID", "ROWNUM", "NULL", "LEVEL", "SYSTIMESTAMP",
                                               "CURRENT_TIMESTAMP", "LOCALTIMESTAMP", "SESSIONTIMEZONE", "DBTIMEZONE"};
  static const std::set<std::string> fieldWords = {"YEAR", "MONTH", "DAY", "HOUR", "MINUTE", "SECOND",
                                                   "LEADING", "TRAILING", "BOTH"};
  // A name no table in scope has is an invalid identifier, before any question of grouping.
  std::set<std::string> columns;
  bool known = columnsInScope(columns);
  auto unknown = [&](size_t i) {
    const Token& k = t_[i];
    if (!known || (k.kind != Token::Ident && k.kind != Token::QIdent) || columns.count(k.text)) return false;
    if (k.kind == Token::Ident && (keywordAt(t_, i) || pseudo.count(k.text) || fieldWords.count(k.text))) return false;
    if (k.kind == Token::Ident && (k.text == "ROWID" || k.text == "ORA_ROWSCN")) return false; // a pseudocolumn, grouped or not
    if ((is(k, "DATE") || is(k, "TIMESTAMP") || is(k, "INTERVAL")) && at(i + 1).kind == Token::Str) return false; // a literal
    // not a function, a qualifier, a qualified name or a word of EXTRACT, CAST or INTERVAL
    if (i > 0 && (is(t_[i - 1], ".") || is(t_[i - 1], "AS") || t_[i - 1].kind == Token::Str)) return false;
    return !is(at(i + 1), "(") && !is(at(i + 1), ".") && !is(at(i + 1), "FROM") && !is(at(i + 1), "TO") &&
           !parameterlessFunction(i);
  };
  for (auto [gb, ge] : groups)
    for (size_t i = gb; i < ge; ++i)
      if (!(seeRewrites && (skip_[i] || !replace_[i].empty())) && unknown(i)) throw OraError(904, t_[i].text);
  std::vector<char> covered(e - b, 0);
  auto same = [&](size_t x, size_t y) { return t_[x].kind == t_[y].kind && t_[x].text == t_[y].text; };
  for (auto [gb, ge] : groups) {
    size_t n = ge - gb;
    if (n == 0) continue;
    for (size_t i = b; i + n <= e; ++i) {
      bool match = true;
      for (size_t k = 0; k < n && match; ++k) match = same(i + k, gb + k);
      if (match)
        for (size_t k = 0; k < n; ++k) covered[i + k - b] = 1;
    }
    // a grouped column matches its qualified or unqualified mention
    if (n == 1 || (n == 3 && is(t_[gb + 1], "."))) {
      const std::string& name = t_[ge - 1].text;
      for (size_t i = b; i < e; ++i)
        if ((t_[i].kind == Token::Ident || t_[i].kind == Token::QIdent) && t_[i].text == name &&
            !is(at(i + 1), "(") && !is(at(i + 1), "."))
          covered[i - b] = 1;
    }
  }
  static const std::set<std::string> windowWords = {"OVER", "PARTITION", "BY", "ORDER", "ROWS", "RANGE", "BETWEEN",
      "UNBOUNDED", "PRECEDING", "FOLLOWING", "CURRENT", "ROW", "AND", "ASC", "DESC", "NULLS", "FIRST", "LAST",
      "WITHIN", "GROUP", "KEEP", "DENSE_RANK", "IGNORE", "RESPECT", "NTH$FROM"};
  size_t analyticEnd = 0;
  for (size_t i = b; i < e; ++i) {
    if (is(t_[i], "(") && is(at(i + 1), "SELECT")) { i = matching(i); continue; }
    if (isAggregate(i)) {
      i = matching(i + 1);
      if (is(at(i + 1), "KEEP") && is(at(i + 2), "(")) i = matching(i + 2);
      if (is(at(i + 1), "WITHIN") && is(at(i + 3), "(")) i = matching(i + 3);
      continue;
    }
    // an analytic function of a grouped query reads the groups: its columns are checked too
    if (size_t end = t_[i].kind == Token::Ident ? analyticAt(i) : 0) analyticEnd = std::max(analyticEnd, end);
    if (i < analyticEnd && windowWords.count(t_[i].text)) continue;
    // written otherwise (a total's NULL, GROUPING's value); the walk's own level is still per row
    bool walkLevel = replace_[i].size() > 5 && replace_[i].compare(replace_[i].size() - 5, 5, ".\"L$\"") == 0;
    if (seeRewrites && (skip_[i] || !replace_[i].empty()) && !walkLevel) continue;
    const Token& k = t_[i];
    if (covered[i - b] || (k.kind != Token::Ident && k.kind != Token::QIdent)) continue;
    // ROWNUM and LEVEL differ from row to row: a group has none of its own
    bool perRow = (is(k, "ROWNUM") || is(k, "LEVEL")) && !(i > 0 && is(t_[i - 1], "."));
    if (k.kind == Token::Ident && !perRow && (keywordAt(t_, i) || pseudo.count(k.text))) continue;
    if (is(at(i + 1), "(") || is(at(i + 1), ".")) continue; // a function, or a qualifier
    if (is(k, "NEXTVAL") || is(k, "CURRVAL")) continue;
    if (castTypeWord(i)) continue; // CAST(x AS NUMBER): a type, not a column
    // DEFAULT v ON CONVERSION ERROR of a conversion
    if ((is(k, "CONVERSION") && i > 0 && is(t_[i - 1], "ON") && is(at(i + 1), "ERROR")) ||
        (is(k, "ERROR") && i > 1 && is(t_[i - 1], "CONVERSION") && is(t_[i - 2], "ON")))
      continue;
    if ((is(k, "DATE") || is(k, "TIMESTAMP") || is(k, "INTERVAL")) && at(i + 1).kind == Token::Str) continue; // a literal
    if (i > b && is(t_[i - 1], ".") && i >= b + 2 && covered[i - 2 - b]) continue;
    if (fieldWords.count(k.text) && (is(at(i + 1), "FROM") || is(at(i + 1), "TO") || (i > 0 && t_[i - 1].kind == Token::Str)))
      continue; // EXTRACT(YEAR FROM ...), INTERVAL '1' DAY
    if (parameterlessFunction(i)) continue; // the schema's function, the same for every group
    if (i >= b + 2 && is(t_[i - 1], ".") && suppliedPackageCall(i - 2)) continue; // DBMS_RANDOM.VALUE and the like
    if (unknown(i)) throw OraError(904, k.text).at(static_cast<int>(k.pos));
    throw OraError(byClause ? 979 : 937, k.text).at(static_cast<int>(k.pos));
  }
}

// Oracle sorts NULL as the largest value (last going up, first going down); SQLite as the
// smallest.
void Translator::nullsOrder(size_t b, size_t e, int d, size_t listB, size_t listE) {
  size_t ib = b;
  for (size_t i = b; i <= e; ++i) {
    if (i < e && !(t_[i].depth == d && is(t_[i], ","))) continue;
    size_t last = i - 1;
    bool explicitNulls = false;
    for (size_t m = ib; m < i; ++m)
      if (t_[m].depth == d && is(t_[m], "NULLS")) explicitNulls = true;
    size_t kb = ib;
    ib = i + 1;
    // a text key that is no column of its own sorts as a column does: by the set's bytes
    size_t ke = kb;
    while (ke < i && !(t_[ke].depth == d && (is(t_[ke], "ASC") || is(t_[ke], "DESC") || is(t_[ke], "NULLS")))) ++ke;
    std::string collate = ke > kb && linguisticKey(kb, ke) ? " COLLATE ORA_LING"
                          : ke > kb && sjisKey(kb, ke) ? " COLLATE ORA_SJIS"
                                                       : "";
    if (collate.empty() && ke == kb + 1 && listE > listB && linguisticItem(kb, listB, listE, d)) collate = " COLLATE ORA_LING";
    if (!collate.empty() && ke - 1 != last) {
      replace_[ke - 1] = keyTokenText(ke - 1) + collate;
      collate.clear();
    }
    if (explicitNulls || last >= e || !replace_[last].empty() || skip_[last]) continue;
    const Token& k = t_[last];
    std::string text;
    if (is(k, "DESC")) text = "DESC NULLS FIRST";
    else if (is(k, "ASC")) text = "ASC NULLS LAST";
    else if (k.kind == Token::Num || is(k, ")") || is(k, "END")) text = k.text + " NULLS LAST";
    else if (k.kind == Token::QIdent || (k.kind == Token::Ident && !keywordAt(t_, last) && k.text != "ROWID" &&
                                          k.text != "ORA_ROWSCN" && k.text != "ROWNUM" && k.text != "SYSDATE" && k.text != "USER" && k.text != "UID"))
      text = quoteIdent(k.text) + " NULLS LAST";
    else continue;
    if (!collate.empty()) text = keyTokenText(last) + collate + " NULLS LAST";
    replace_[last] = text;
  }
}

// Whether the sort key [b, e) is text and ends in a token keyTokenText can write.
bool Translator::writableTextKey(size_t b, size_t e) {
  const Token& k = t_[e - 1];
  if (!replace_[e - 1].empty() || skip_[e - 1]) return false;
  if (!is(k, ")") && !is(k, "END") && k.kind != Token::QIdent &&
      !(k.kind == Token::Ident && !keywordAt(t_, e - 1) && k.text != "ROWID" && k.text != "ORA_ROWSCN" && k.text != "ROWNUM" &&
        k.text != "SYSDATE" && k.text != "USER" && k.text != "UID"))
    return false;
  try {
    int code = exprType(b, e).code;
    return code == kVarchar2 || code == kChar;
  } catch (const OraError&) {
    return false; // an alias, or a key the query's own checks report
  }
}

// Whether the sort key [b, e) is text computed in a JA16SJIS database (a column sorts by its
// own collation already).
bool Translator::sjisKey(size_t b, size_t e) {
  if (charset() != Charset::JA16SJIS) return false;
  const Token& k = t_[e - 1];
  bool plainName = (e == b + 1 && (k.kind == Token::Ident || k.kind == Token::QIdent)) ||
                   (e == b + 3 && is(t_[b + 1], "."));
  return !plainName && k.kind != Token::Num && writableTextKey(b, e);
}

// The session settings that order and compare text, or nullptr when its sort is BINARY or the
// SQL is kept (a view's query, a constraint): kept SQL must not depend on a session's collation.
const Nls* Translator::linguisticSession() const {
  if (ViewStars::depth > 0 || (!t_.empty() && (is(t_[0], "CREATE") || is(t_[0], "ALTER")))) return nullptr;
  const Nls& n = sessionNls(cat_.db());
  return n.sort == "BINARY" ? nullptr : &n;
}

// Whether the sort key [b, e) is text to order by the session's NLS_SORT.
bool Translator::linguisticKey(size_t b, size_t e) {
  return linguisticSession() && writableTextKey(b, e);
}

// Text compared under NLS_COMP LINGUISTIC (or ANSI) by the session's NLS_SORT: the left side
// takes the collation that orders by it.
bool Translator::linguisticComparison(size_t lb, size_t le, size_t op, size_t re) {
  size_t rb = op + 1;
  if (le <= lb || re <= rb || op != le) return false;
  const Nls* n = linguisticSession();
  if (!n || n->comp == "BINARY") return false;
  static const std::set<std::string> ops = {"=", "<>", "!=", "^=", "~=", "<", ">", "<=", ">="};
  if (!ops.count(t_[op].text) || skip_[lb] || skip_[rb] || skip_[op]) return false;
  if (quantAt.count(t_[lb].pos) || is(t_[rb], "ANY") || is(t_[rb], "SOME") || is(t_[rb], "ALL")) return false;
  bool padded = true; // CHAR on both sides: blanks at the end make no difference, as Oracle pads the shorter
  try {
    for (auto [b, e] : {std::pair{lb, le}, std::pair{rb, re}}) {
      if (rowAt(b, e)) return false;
      int code = exprType(b, e).code;
      if (code != kVarchar2 && code != kChar) return false;
      padded = padded && code == kChar;
    }
  } catch (const OraError&) {
    return false;
  }
  std::string o = t_[op].text == "!=" || t_[op].text == "^=" || t_[op].text == "~=" ? "<>" : t_[op].text;
  const char* trim = padded ? "RTRIM" : "";
  replace_[lb] = "(" + std::string(trim) + "(" + emit(lb, le) + ") COLLATE ORA_LING " + o + " " + trim + "(" + emit(rb, re) + "))";
  for (size_t m = lb + 1; m < re; ++m) skip_[m] = 1;
  return true;
}

// The text before [NOT] IN or [NOT] BETWEEN under NLS_COMP LINGUISTIC (or ANSI): its collation
// orders by the session's NLS_SORT, and SQLite compares the values beside it by that.
void Translator::linguisticOperand(size_t lb, size_t le) {
  const Nls* n = linguisticSession();
  if (!n || n->comp == "BINARY" || skip_[lb] || !replace_[lb].empty()) return;
  try {
    if (rowAt(lb, le)) return;
    if (int code = exprType(lb, le).code; code != kVarchar2 && code != kChar) return;
  } catch (const OraError&) {
    return;
  }
  replace_[lb] = "(" + emit(lb, le) + ") COLLATE ORA_LING";
  for (size_t m = lb + 1; m < le; ++m) skip_[m] = 1;
}

// x [NOT] LIKE pattern under NLS_COMP LINGUISTIC and a sort that ignores case (or accents too):
// both sides folded as the sort folds them. Other sorts match characters as they are.
void Translator::foldedLike(size_t op, size_t lb, size_t le, size_t e) {
  std::vector<std::pair<size_t, size_t>> terms;
  std::vector<std::string> ops;
  size_t rb = op + 1;
  if (rb >= e || !chainAt(rb, e, terms, ops)) return;
  size_t re = terms.back().second;
  if (re + 1 < e && is(t_[re], "COLLATE") && !replace_[re].empty()) re += 2;
  // the collation an operand's COLLATE names decides, else the session's under NLS_COMP LINGUISTIC
  auto collated = [&](size_t b, size_t x) {
    return x >= b + 3 && is(t_[x - 2], "COLLATE") && !replace_[x - 2].empty() ? t_[x - 1].text : std::string();
  };
  std::string sort = collated(lb, le);
  if (sort.empty()) sort = collated(rb, re);
  if (sort.empty()) {
    const Nls* n = linguisticSession();
    if (!n || n->comp != "LINGUISTIC") return;
    sort = n->sort;
  }
  for (auto& c : sort) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (sort.size() < 3) return;
  std::string suffix = sort.substr(sort.size() - 3);
  if (suffix != "_CI" && suffix != "_AI") return;
  if (skip_[lb] || skip_[rb] || !replace_[rb].empty()) return;
  try {
    for (auto [b, x] : {std::pair{lb, le}, std::pair{rb, re}})
      if (int code = exprType(b, x).code; code != kVarchar2 && code != kChar) return;
  } catch (const OraError&) {
    return;
  }
  std::string how = quoteString(suffix == "_AI" ? "BINARY_AI" : "BINARY_CI");
  replace_[lb] = "ora_fold(" + emit(lb, le) + ", " + how + ")";
  for (size_t m = lb + 1; m < le; ++m) skip_[m] = 1;
  replace_[rb] = "ora_fold(" + emit(rb, re) + ", " + how + ")";
  for (size_t m = rb + 1; m < re; ++m) skip_[m] = 1;
}

// A sort key's last token as emitted without a rewrite.
std::string Translator::keyTokenText(size_t k) const {
  const Token& t = t_[k];
  return is(t, ")") || is(t, "END") || t.kind == Token::Num ? t.text : quoteIdent(t.text);
}

// Whether the ORDER BY key at `key`, a position or an alias of the select list [listB, listE),
// names a text item the session's NLS_SORT orders.
bool Translator::linguisticItem(size_t key, size_t listB, size_t listE, int d) {
  const Token& k = t_[key];
  if (!replace_[key].empty() || skip_[key] || !linguisticSession()) return false;
  bool position = k.kind == Token::Num && k.text.find_first_not_of("0123456789") == std::string::npos;
  if (!position && k.kind != Token::Ident && k.kind != Token::QIdent) return false;
  size_t wanted = position ? static_cast<size_t>(std::atoll(k.text.c_str())) : 0, n = 0;
  for (size_t ib = listB, m = listB; m <= listE; ++m) {
    if (m < listE && !(t_[m].depth == d && is(t_[m], ","))) continue;
    size_t ie = m;
    ++n;
    // the item's alias: its last name, after AS or after a value
    size_t last = ie - 1;
    bool aliased = ie > ib + 1 && (t_[last].kind == Token::Ident || t_[last].kind == Token::QIdent) && !is(t_[last - 1], ".") &&
                   (is(t_[last - 1], "AS") || is(t_[last - 1], ")") || t_[last - 1].kind == Token::Ident ||
                    t_[last - 1].kind == Token::QIdent || t_[last - 1].kind == Token::Str || t_[last - 1].kind == Token::Num);
    size_t ee = aliased ? (is(t_[last - 1], "AS") ? last - 1 : last) : ie;
    if (position ? n == wanted : aliased && t_[last].text == k.text) {
      try {
        int code = ee > ib ? exprType(ib, ee).code : 0;
        return code == kVarchar2 || code == kChar;
      } catch (const OraError&) {
        return false;
      }
    }
    ib = m + 1;
  }
  return false;
}

} // namespace ora::tx
