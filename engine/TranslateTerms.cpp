// What the expression emitter asks of a token range: the functions a name calls, a column's
// heading, matching parentheses, where a term ends, and the names Oracle reads exactly.
#include "TranslateImpl.h"

#include "CType.h"
#include "Dictionary.h"
#include "FunctionUtil.h"
#include "Intervals.h"
#include "Number.h"
#include "OraFunctions.h"
#include "Plsql.h"
#include "Session.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <sqlite3.h>

namespace ora::tx {

// A stored function's call: the interpreter runs it for each row (named by token i).
std::string Translator::plsqlCall(const std::string& name, size_t i) {
  std::string values, names;
  bool named = false;
  auto args = callArgs(i);
  for (auto [ab, ae] : args) {
    if (ab >= ae && args.size() == 1) break;
    if (ab >= ae) throw OraError(936).at(static_cast<int>(t_[ae].pos));
    // name => value: the names go after the function's, "F=>,P_POST" for f(1, p_post => 2)
    bool arrow = ab + 3 < ae && (t_[ab].kind == Token::Ident || t_[ab].kind == Token::QIdent) && is(t_[ab + 1], "=") &&
                 is(t_[ab + 2], ">") && t_[ab + 1].end == t_[ab + 2].pos;
    if (!values.empty()) names += ",";
    if (arrow) {
      names += t_[ab].text;
      named = true;
      ab += 3;
    }
    values += ", " + emit(ab, ae);
  }
  return "ora_plsql(" + quoteString(named ? name + "=>" + names : name) + values + ")";
}

// A name at i that no table in scope has as a column but the schema has as a function.
bool Translator::parameterlessFunction(size_t i) const {
  const Token& k = t_[i];
  if (k.kind != Token::Ident || is(at(i + 1), ".") || is(at(i + 1), "(") || keywordAt(t_, i)) return false;
  // the schema's functions are few: look for one of the name before gathering the columns
  if (storedFunctionType(cat_, {}, k.text) <= 0 &&
      (cat_.withUnit.empty() || storedFunctionType(cat_, cat_.withUnit, k.text) <= 0))
    return false;
  std::set<std::string> columns;
  return columnsInScope(columns) && !columns.count(k.text);
}

// The function a name without parentheses calls: the WITH clause's before the schema's.
std::string Translator::bareFunction(const std::string& name) const {
  if (!cat_.withUnit.empty() && storedFunctionType(cat_, cat_.withUnit, name) > 0) return cat_.withUnit + "." + name;
  return name;
}

std::string Translator::heading(size_t b, size_t e) {
  if (e - b == 1 && t_[b].kind == Token::QIdent) return t_[b].text;
  // the user's schema.function and schema.package.function keep their whole text
  const bool ownFunction = t_[b].kind == Token::Ident && t_[b].text == cat_.user() && !qualifierInScope(t_[b].text) &&
                           ((e - b == 3 && storedFunctionType(cat_, {}, t_[b + 2].text) > 0) ||
                            (e - b == 5 && storedFunctionType(cat_, t_[b + 2].text, t_[b + 4].text) > 0));
  if (e - b == 3 && is(t_[b + 1], ".") && (t_[b + 2].kind == Token::Ident || t_[b + 2].kind == Token::QIdent) &&
      !(t_[b].kind == Token::Ident && storedFunctionType(cat_, t_[b].text, t_[b + 2].text) > 0) && !ownFunction)
    return t_[b + 2].text;
  if (e - b == 5 && is(t_[b + 1], ".") && is(t_[b + 3], ".") &&
      (t_[b + 4].kind == Token::Ident || t_[b + 4].kind == Token::QIdent) && !ownFunction)
    return t_[b + 4].text; // schema.table.column
  std::string h;
  for (size_t i = b; i < e; ++i) {
    // a function of the query's WITH clause is called through the statement's own unit
    if (t_[i].kind == Token::Ident && t_[i].text.rfind("WITH$", 0) == 0 && i + 1 < e && is(t_[i + 1], ".")) {
      ++i;
      continue;
    }
    std::string r = t_[i].raw;
    for (auto& c : r) c = static_cast<char>(ora::upperC(static_cast<unsigned char>(c)));
    // Oracle drops the blanks of an expression's text, those inside its literals too
    if (t_[i].kind == Token::Str) r.erase(std::remove(r.begin(), r.end(), ' '), r.end());
    h += r;
  }
  return h;
}

size_t Translator::matching(size_t open) const {
  size_t j = open + 1;
  while (j < size() && !(t_[j].depth == t_[open].depth && is(t_[j], ")"))) ++j;
  return j;
}

// End of one term of an additive chain starting at j: signs, then primaries joined by * and /.
// ROWS or RANGE opening a window frame: ROWS -1 PRECEDING is no subtraction.
bool Translator::frameUnit(size_t k) const {
  if (!is(t_[k], "ROWS") && !is(t_[k], "RANGE")) return false;
  size_t open = k;
  while (open > 0 && !(t_[open].depth < t_[k].depth && is(t_[open], "("))) --open;
  return open > 0 && is(t_[open], "(") && is(t_[open - 1], "OVER");
}

size_t Translator::termEnd(size_t j, size_t e, int d) const {
  size_t k = j;
  for (;;) {
    while (k < e && t_[k].depth == d && (is(t_[k], "+") || is(t_[k], "-"))) ++k;
    if (k >= e || skip_[k] || (!replace_[k].empty() && !walkValue(k))) return j;
    const Token& t = t_[k];
    if (walkValue(k)) {
      // a value of the hierarchical walk, already written: its arguments were taken with it
      for (++k; k < e && skip_[k]; ++k) {
      }
    } else if (const XmlRead* x = xmlReads_.empty() ? nullptr : xmlReadAt(k, e)) {
      k = x->end; // an XML call with its methods
    } else if (is(t, "(")) {
      k = matching(k) + 1;
    } else if (t.kind == Token::Ident && t.text == "CASE") {
      int nest = 0;
      for (; k < e; ++k) {
        if (is(t_[k], "CASE") && t_[k].depth == d) ++nest;
        if (is(t_[k], "END") && t_[k].depth == d && --nest == 0) break;
      }
      if (k >= e) return j;
      ++k;
    } else if (t.kind == Token::Ident && t.text == "INTERVAL" && k + 1 < e && t_[k + 1].kind == Token::Str) {
      k = intervalEnd(k);
    } else if (t.kind == Token::Ident && (t.text == "DATE" || t.text == "TIMESTAMP") && k + 1 < e &&
               t_[k + 1].kind == Token::Str) {
      k += 2; // DATE 'YYYY-MM-DD'
    } else if ((t.kind == Token::Ident && (!keywordAt(t_, k) || t.text == "NULL") && !frameUnit(k)) ||
               t.kind == Token::QIdent || t.kind == Token::Bind) {
      ++k;
      // a JSON dot notation's array steps are part of the name
      while (k + 1 < e && ((is(t_[k], ".") && (t_[k + 1].kind == Token::Ident || t_[k + 1].kind == Token::QIdent ||
                                                is(t_[k + 1], "*"))) ||
                           is(t_[k], "["))) {
        if (is(t_[k], "[")) {
          size_t close = k + 1;
          while (close < e && !(t_[close].depth == t_[k].depth && is(t_[close], "]"))) ++close;
          k = close + 1;
        } else {
          k += 2;
        }
      }
      if (k < e && is(t_[k], "(") && !outerMark(k)) {
        k = matching(k) + 1;
        // the attributes and methods of the object a call gives: TREAT(x AS t).a, make_pt(1).dist()
        while (k + 1 < e && is(t_[k], ".") && (t_[k + 1].kind == Token::Ident || t_[k + 1].kind == Token::QIdent)) {
          k += 2;
          if (k < e && is(t_[k], "(")) k = matching(k) + 1;
        }
      }
      // an analytic call's window, and LISTAGG's order, belong to the term
      if (k + 1 < e && (is(t_[k], "OVER") || (is(t_[k], "WITHIN") && k + 2 < e && is(t_[k + 1], "GROUP"))) &&
          (is(t_[k + 1], "(") || is(t_[k + 2], "(")))
        k = matching(is(t_[k + 1], "(") ? k + 1 : k + 2) + 1;
      if (k + 1 < e && is(t_[k], "KEEP") && is(t_[k + 1], "(")) k = matching(k + 1) + 1;
      if (k + 1 < e && is(t_[k], "NTH$FROM")) k += 2; // NTH_VALUE (...) FROM LAST
      if (k + 1 < e && (is(t_[k], "IGNORE") || is(t_[k], "RESPECT")) && is(t_[k + 1], "NULLS")) k += 2;
      if (k + 1 < e && (is(t_[k], "WITHIN") && k + 2 < e && is(t_[k + 1], "GROUP")) && is(t_[k + 2], "("))
        k = matching(k + 2) + 1;
      if (k + 1 < e && is(t_[k], "OVER") && is(t_[k + 1], "(")) k = matching(k + 1) + 1;
      if (outerMark(k)) k += 3;
    } else if (t.kind == Token::Num || t.kind == Token::Str) {
      ++k;
    } else {
      return j;
    }
    // value AT TIME ZONE zone, value AT LOCAL
    while (k + 1 < e && is(t_[k], "AT") && (is(t_[k + 1], "LOCAL") || (is(t_[k + 1], "TIME") && is(at(k + 2), "ZONE"))))
      k = is(t_[k + 1], "LOCAL") ? k + 2 : primaryEnd(k + 3);
    if (k > e) return j;
    if (k < e && t_[k].depth == d && (is(t_[k], "*") || is(t_[k], "/"))) { ++k; continue; }
    return k;
  }
}

// Whether [b, e) is a parenthesized list of values or a query of more than one column.
bool Translator::rowAt(size_t b, size_t e) const {
  if (b >= e || !is(t_[b], "(") || matching(b) + 1 != e) return false;
  for (size_t k = b + 1; k + 1 < e; ++k)
    if (t_[k].depth == t_[b].depth + 1 && is(t_[k], ",")) return true;
  return false;
}

// Whether the parenthesis at i holds a query that is one side of UNION, INTERSECT or MINUS.
bool Translator::setMember(size_t i) const {
  static const std::set<std::string> ops = {"UNION", "INTERSECT", "MINUS", "EXCEPT"};
  size_t inner = i + 1;
  while (is(at(inner), "(")) ++inner;
  if (!is(at(inner), "SELECT") && !is(at(inner), "WITH")) return false;
  auto setOp = [&](size_t k) { return k < size() && t_[k].kind == Token::Ident && ops.count(t_[k].text); };
  if (i > 0 && (setOp(i - 1) || (is(t_[i - 1], "ALL") && i > 1 && setOp(i - 2)))) return true;
  // the first member starts the query (a subquery in FROM is a table, not a member)
  return (i == 0 || is(t_[i - 1], "(")) && setOp(matching(i) + 1);
}

// LEVEL, PRIOR x, SYS_CONNECT_BY_PATH(...) and the like once the hierarchical walk has written them.
bool Translator::walkValue(size_t k) const {
  static const std::set<std::string> values = {"LEVEL", "PRIOR", "SYS_CONNECT_BY_PATH", "CONNECT_BY_ROOT",
                                               "CONNECT_BY_ISLEAF", "CONNECT_BY_ISCYCLE"};
  return k < size() && !replace_[k].empty() && t_[k].kind == Token::Ident && values.count(t_[k].text) &&
         !(k > 0 && is(t_[k - 1], "."));
}

// A quoted name is exact: "ename" is not the column ENAME, though SQLite would take it for it.
// Only a name that is no alias (it is written once) and differs from a column in scope only in
// case is refused.
bool Translator::quotedCaseMismatch(size_t i) const {
  const std::string& name = t_[i].text;
  std::string upper = name;
  for (auto& ch : upper)
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 32);
  if (upper == name || is(at(i + 1), "(") || is(at(i + 1), ".")) return false;
  for (size_t k = 0; k < size(); ++k)
    if (k != i && t_[k].kind == Token::QIdent && t_[k].text == name) return false;
  std::set<std::string> columns;
  return columnsInScope(columns) && !columns.count(name) && columns.count(upper);
}

// A qualifier is exact too: "d".DEPTNO names no table aliased D, and D.DEPTNO none aliased "d".
// Refused only when a table in scope goes by the name in another case and none by this one.
bool Translator::qualifierCaseMismatch(size_t i) const {
  const Token& k = t_[i];
  if ((k.kind != Token::Ident && k.kind != Token::QIdent) || !is(at(i + 1), ".") ||
      (at(i + 2).kind != Token::Ident && at(i + 2).kind != Token::QIdent) || is(at(i + 3), ".") ||
      is(at(i + 3), "(") || (i > 0 && is(t_[i - 1], ".")))
    return false;
  auto upper = [](std::string s) {
    for (auto& ch : s)
      if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 32);
    return s;
  };
  bool other = false;
  for (auto& c : ctx_) {
    if (c.opaque) return false;
    for (auto& r : c.tables) {
      const std::string& name = r.alias.empty() ? r.name : r.alias;
      if (name == k.text) return false;
      other = other || upper(name) == upper(k.text);
    }
  }
  return other;
}

// Source text of tokens [b, e).
std::string Translator::source(size_t b, size_t e) const {
  if (b >= e || b >= size()) return {};
  return src_.substr(t_[b].pos, t_[std::min(e, size()) - 1].end - t_[b].pos);
}

int significantDigits(const std::string& literal) {
  int n = 0;
  bool leading = true;
  for (char c : literal) {
    if (c == 'e' || c == 'E') break;
    if (c < '0' || c > '9') continue;
    if (leading && c == '0') continue;
    leading = false;
    ++n;
  }
  return n;
}

} // namespace ora::tx
