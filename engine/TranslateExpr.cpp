// Expressions: Oracle's operators, literals, pseudo-columns and calls written as SQLite's.
#include "TranslateImpl.h"
#include "TranslateBoolean.h"

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
#include <functional>
#include <set>
#include <sqlite3.h>

namespace ora::tx {

// ORA_ROWSCN: the commit number of the row whose ROWID expression is given (the one row of DUAL
// has the current one).
static std::string rowScnOf(const std::function<std::string()>& rowidOf) {
  std::string rowid;
  try {
    rowid = rowidOf();
  } catch (OraError& e) {
    if (e.code == 904) e = OraError(904, "ORA_ROWSCN"); // of a view or a dictionary view: no rows of a table
    throw;
  }
  if (rowid.rfind("ora_rowid(", 0) == 0) return "ora_rowscn(" + rowid.substr(10);
  return "ora_dbms_flashback_get_system_change_number()";
}

// An arithmetic call that another of ours consumes passes its value as exact decimal text
// where a double would round it (1/3 inside TO_CHAR or a longer sum).
std::string exactCall(std::string call) {
  static const char* const names[] = {"ora_add", "ora_sub", "ora_mul", "ora_div", "ora_neg", "ora_avg", "ora_sum",
                                      "ROUND", "TRUNC", "MOD", "ABS", "CEIL", "FLOOR", "TO_NUMBER", "POWER", "SQRT", "EXP", "LN", "LOG", "SINH", "SIN",
                                      "COSH", "COS", "TANH", "TAN", "ASIN", "ACOS", "ATAN2", "ATAN", "VARIANCE",
                                      "STDDEV", "VAR_POP", "VAR_SAMP", "STDDEV_POP", "STDDEV_SAMP", "COVAR_POP",
                                      "COVAR_SAMP", "CORR", "REGR_SLOPE", "REGR_INTERCEPT", "REGR_R2", "REGR_AVGX",
                                      "REGR_AVGY", "REGR_SXX", "REGR_SYY", "REGR_SXY",
                                      "ora_plsql", "ora_obj_call", "ora_obj_static"};
  if (call.rfind("MONTHS_BETWEEN", 0) == 0 && call.find_first_not_of(' ', 14) != std::string::npos &&
      call[call.find_first_not_of(' ', 14)] == '(')
    return "ora_months_between_x" + call.substr(14);
  for (const char* n : names) {
    size_t len = std::strlen(n);
    if (call.rfind(n, 0) != 0) continue;
    size_t k = len;
    while (k < call.size() && call[k] == ' ') ++k;
    if (k < call.size() && call[k] == '(') return call.insert(len, "_x");
  }
  return call;
}

// The rows of `table` as a row subquery: a second row is ORA-01427, not a comparison with the first.
std::string Translator::oneRow(const std::string& table) {
  return "(SELECT * FROM " + table + " WHERE CASE WHEN (SELECT COUNT(*) FROM (SELECT 1 FROM " + table +
         " LIMIT 2)) > 1 THEN ora_raise(1427) ELSE 1 END)";
}

std::string Translator::emit(size_t b, size_t e) {
  rewriteChains(b, e);
  std::string out;
  auto add = [&](const std::string& s) {
    if (!out.empty()) out += ' ';
    out += s;
  };
  for (size_t i = b; i < e; ++i) {
    if (skip_[i]) continue;
    std::string shifted;
    size_t next = 0;
    if (zoneShift(i, e, shifted, next)) {
      add(shifted);
      i = next - 1;
      continue;
    }
    if (auto big = bigChains.find(t_[i].pos); big != bigChains.end() && replace_[i].empty()) {
      // a long run of AND or OR: one call per hundred conditions, not a thousand-deep tree;
      // its first condition starts where it does, so it is out of the table while they are written
      auto chain = std::move(big->second);
      bigChains.erase(big);
      std::vector<std::string> parts;
      size_t last = i;
      for (auto [pb, pe] : chain.second) {
        size_t kb = tokenAt(pb), ke = tokenAt(pe);
        parts.push_back("(" + emit(kb, ke) + ")");
        last = ke;
      }
      size_t pos = t_[i].pos;
      std::string f = chain.first;
      bigChains.emplace(pos, std::move(chain));
      if (last <= e) {
        add(groupedCall(f, parts));
        i = last - 1;
        continue;
      }
    }
    // a computed left operand written as a call still starts the comparison, when the call ends before its operator
    if (auto q = quantAt.find(t_[i].pos);
        q != quantAt.end() && (replace_[i].empty() || !skip_[tokenAt(q->second.left.second)]) && tokenAt(q->second.end) <= e) {
      add(quantified(q->second));
      i = tokenAt(q->second.end) - 1;
      continue;
    }
    if (!replace_[i].empty()) { add(replace_[i]); continue; }
    if (!xmlCasts_.empty())
      if (auto x = xmlCasts_.find(i); x != xmlCasts_.end() && x->second <= e && !xmlCastOpen_.count(i)) {
        xmlCastOpen_.insert(i);
        std::string v = emit(i, x->second);
        xmlCastOpen_.erase(i);
        add("ora_xml_text(" + v + ")");
        i = x->second - 1;
        continue;
      }
    if (!xmlReads_.empty())
      if (const XmlRead* x = xmlReadAt(i, e)) {
        add(xmlReadCall(*x));
        i = x->end - 1;
        continue;
      }
    if (!jsonCalls_.empty())
      if (auto j = jsonCalls_.find(i); j != jsonCalls_.end() && j->second.end <= e) {
        add(jsonCall(j->second));
        i = j->second.end - 1;
        continue;
      }
    if (auto bin = binary_.find(i); bin != binary_.end() && !binaryOpen_.count(i)) {
      size_t close = matching(i + 1);
      binaryOpen_.insert(i);
      // one argument: 'NaN' and 'Inf' are read too
      bool one = true;
      for (size_t m = i + 2; m < close && one; ++m)
        one = !(t_[m].depth == t_[i].depth + 1 && (is(t_[m], ",") || is(t_[m], "DEFAULT")));
      std::string call = one ? "ora_fp_read(" + emit(i + 2, close) + ")" : emit(i, close + 1);
      binaryOpen_.erase(i);
      add("ora_binary(" + std::to_string(bin->second) + ", " + call + ")");
      i = close;
      continue;
    }
    const Token& k = t_[i];
    if (std::string fp; k.kind == Token::Ident && is(at(i + 1), "(") && fpMathCall(i, fp, i)) {
      add(fp);
      continue;
    }
    if ((k.kind == Token::Ident || k.kind == Token::QIdent) && (is(at(i + 1), "(") || is(at(i + 1), "."))) {
      std::string obj;
      size_t last = i;
      if (objectTerm(i, b, obj, last) || jsonDot(i, b, obj, last)) {
        // a method's NUMBER is exact where an arithmetic result would be, and sorts by value
        if (obj.rfind("ora_obj_call(", 0) == 0 || obj.rfind("ora_obj_static(", 0) == 0) {
          try {
            if (exprType(i, last + 1).code == kNumber) obj = chainCall(i, last + 1, obj);
          } catch (const OraError&) {
          }
        }
        add(obj);
        i = last;
        continue;
      }
    }
    if (qualifierCaseMismatch(i))
      throw OraError(904, k.text + "." + at(i + 2).text).at(static_cast<int>(k.pos));
    if (lobPackageCall(i) && !(i > b && is(at(i - 1), "."))) {
      add(lobFunctionName(i));
      i += 2;
      continue;
    }
    if (suppliedPackageCall(i) && !(i > b && is(at(i - 1), "."))) {
      // DBMS_RANDOM.VALUE and the like may be written without parentheses
      add(suppliedFunctionName(i) + (is(at(i + 3), "(") ? "" : "()"));
      i += 2;
      continue;
    }
    if (k.kind == Token::Ident && is(at(i + 1), ".") && at(i + 2).kind == Token::Ident && !is(at(i + 3), ".") &&
        !(i > b && is(at(i - 1), ".")) && i + 2 < e && storedFunctionType(cat_, k.text, at(i + 2).text) > 0) {
      // a package's function, its arguments in parentheses or none
      if (is(at(i + 3), "(")) {
        std::string call = plsqlCall(k.text + "." + at(i + 2).text, i + 2);
        size_t close = matching(i + 3);
        add(storedFunctionType(cat_, k.text, at(i + 2).text) == kNumber ? chainCall(i, close + 1, call) : call);
        i = close;
      } else {
        add("ora_plsql(" + quoteString(k.text + "." + at(i + 2).text) + ")");
        i += 2;
      }
      continue;
    }
    if (k.kind == Token::Ident && k.text == cat_.user() && is(at(i + 1), ".") && at(i + 2).kind == Token::Ident &&
        !is(at(i + 3), "(") && !(i > b && is(at(i - 1), ".")) && !qualifierInScope(k.text)) {
      // the user's own schema.function and schema.package.function named without parentheses,
      // and schema.package.function(...)
      const std::string& name = at(i + 2).text;
      if (!is(at(i + 3), ".") && storedFunctionType(cat_, {}, name) > 0) {
        add("ora_plsql(" + quoteString(name) + ")");
        i += 2;
        continue;
      }
      if (is(at(i + 3), ".") && at(i + 4).kind == Token::Ident && !is(at(i + 5), ".") &&
          storedFunctionType(cat_, name, at(i + 4).text) > 0) {
        const std::string member = name + "." + at(i + 4).text;
        if (is(at(i + 5), "(")) {
          add(plsqlCall(member, i + 4));
          i = matching(i + 5);
        } else {
          add("ora_plsql(" + quoteString(member) + ")");
          i += 4;
        }
        continue;
      }
    }
    if (k.kind == Token::Ident && k.text == cat_.user() && is(at(i + 1), ".") && at(i + 2).kind == Token::Ident &&
        is(at(i + 3), "(") && !(i > b && is(at(i - 1), ".")) && storedFunctionType(cat_, {}, at(i + 2).text) > 0) {
      add(plsqlCall(at(i + 2).text, i + 2)); // the user's own schema.function(...)
      i = matching(i + 3);
      continue;
    }
    if ((k.kind == Token::Ident || k.kind == Token::QIdent) && is(at(i + 1), ".")) {
      // [schema.]sequence.NEXTVAL / CURRVAL
      size_t q = i;
      if (k.text == cat_.user() && is(at(i + 3), ".") && (is(at(i + 4), "NEXTVAL") || is(at(i + 4), "CURRVAL"))) q = i + 2;
      if (is(at(q + 2), "NEXTVAL") || is(at(q + 2), "CURRVAL")) {
        const std::string& seq = at(q).text;
        if (!cat_.sequenceExists(seq)) throw OraError(2289, seq);
        // NEXTVAL moves a sequence once per row, however often the statement names it: the
        // first mention (the one SQLite evaluates first) moves it, the others read it
        bool next = is(at(q + 2), "NEXTVAL");
        auto first = firstNextval_.find(seq);
        if (first != firstNextval_.end()) next = first->second == q + 2;
        else if (next) firstNextval_.emplace(seq, q + 2);
        add(std::string(next ? "ora_nextval(" : "ora_currval(") + quoteString(seq) + ")");
        i = q + 2;
        continue;
      }
      // schema.table.column of the user's own schema: the table is named without it
      auto name = [&](size_t x) { return at(x).kind == Token::Ident || at(x).kind == Token::QIdent; };
      if (k.text == cat_.user() && !(i > 0 && is(t_[i - 1], ".")) && name(i + 2) && is(at(i + 3), ".") &&
          name(i + 4) && !is(at(i + 5), "(") && !is(at(i + 5), ".") && i + 4 < e) {
        ++i; // the loop steps over the "." as well
        continue;
      }
      // NEW.column in a trigger's WHEN clause
      if (k.kind == Token::Ident && rowRefs.count(k.text) && at(i + 2).kind != Token::Op) {
        const ColumnInfo& col = findColumn(cat_.columns(sharedWithTrigger), at(i + 2).text);
        const std::string& row = rowRefs.at(k.text);
        // a NUMBER kept as decimal text compares as a number by its column's text affinity and
        // collation, neither of which a trigger's row reference carries
        if (row != "NULL" && col.type.textStored)
          add("(CAST(" + row + "." + quoteIdent(at(i + 2).text) + " AS TEXT) COLLATE ORA_NUMBER)");
        else
          add(row == "NULL" ? row : row + "." + quoteIdent(at(i + 2).text));
        i += 2;
        continue;
      }
    }
    if ((k.kind == Token::Ident || k.kind == Token::QIdent) && is(at(i + 1), ".") &&
        is(at(i + 2), "ROWID")) {
      size_t next;
      add(rowidExpr(k.text, i + 2, next));
      i = next - 1;
      continue;
    }
    if (k.kind == Token::Ident && (k.text == "START" || k.text == "END") && i > b && is(t_[i - 1], ",") &&
        is(at(i + 1), ")")) {
      // TIME_BUCKET's last argument names the edge of the bucket
      size_t open = i;
      while (open > b && !(is(t_[open], "(") && matching(open) == i + 1)) --open;
      if (open > b && is(t_[open - 1], "TIME_BUCKET")) {
        add(quoteString(k.text));
        continue;
      }
    }
    if ((k.kind == Token::Ident || k.kind == Token::QIdent) && is(at(i + 1), ".") && is(at(i + 2), "ORA_ROWSCN")) {
      size_t next;
      add(rowScnOf([&] { return rowidExpr(k.text, i + 2, next); }));
      i = next - 1;
      continue;
    }
    switch (k.kind) {
    case Token::Str:
    case Token::Num:
      if (k.kind == Token::Num && significantDigits(k.text) > 15) {
        // more digits than a double keeps: the number's text, which the engine's arithmetic and
        // a NUMBER column read exactly (and which stays in the sharing key)
        pin_[i] = 1;
        Num n;
        add(quoteString(parseNum(k.text, n) ? numText(n) : k.text));
        break;
      }
      if (share_ && !pin_[i]) {
        tr_.params.push_back(static_cast<int>(i));
        add("?" + std::to_string(tr_.params.size()));
      } else if (k.kind == Token::Num) {
        add(k.text);
      } else {
        add(k.text.empty() ? "NULL" : quoteString(k.text));
      }
      break;
    case Token::Bind: {
      // :NEW.column and :OLD.column in a trigger body
      std::string ref = k.text;
      for (auto& ch : ref) ch = static_cast<char>(ora::upperC(static_cast<unsigned char>(ch)));
      if (rowRefs.count(ref) && is(at(i + 1), ".") &&
          (at(i + 2).kind == Token::Ident || at(i + 2).kind == Token::QIdent)) {
        findColumn(cat_.columns(sharedWithTrigger), at(i + 2).text);
        const std::string& row = rowRefs.at(ref);
        add(row == "NULL" ? row : row + "." + quoteIdent(at(i + 2).text)); // no such row for this event
        i += 2;
        break;
      }
      if (HostBinds::depth > 0) {
        tr_.params.push_back(static_cast<int>(i));
        add("?" + std::to_string(tr_.params.size()));
        break;
      }
      throw OraError(1008, k.text);
    }
    case Token::QIdent:
      if (is(at(i + 1), "(") && !outerMark(i + 1) && !referencedTable(i) &&
          !functionAllowed(k.text.c_str(), false))
        throw OraError(904, "\"" + k.text + "\"");
      if (quotedCaseMismatch(i)) {
        bool qualified = i >= 2 && is(t_[i - 1], ".");
        throw OraError(904, qualified ? t_[i - 2].text + "." + k.text : k.text)
            .at(static_cast<int>(qualified ? t_[i - 2].pos : k.pos));
      }
      add(quoteIdent(k.text));
      break;
    case Token::Op:
      // brackets are only a JSON dot-notation's array steps, read with it
      if (k.text == "[" || k.text == "]") throw OraError(911).at(static_cast<int>(k.pos));
      if (eq(k.text, "(") && setMember(i) && multisetCompound(i, e)) {
        size_t next;
        add(multisetRows(i, e, next));
        i = next - 1;
        break;
      }
      if (eq(k.text, "(") && setMember(i)) {
        // a compound query's member in parentheses: SQLite takes a query of it instead
        size_t close = matching(i);
        add("SELECT * FROM (" + emit(i + 1, close) + ")");
        i = close;
        break;
      }
      if (eq(k.text, "(") && hoistAt.count(at(i + 1).pos) && !hoistOff_) {
        // SQLite's parser takes only a few levels of nesting: deep subqueries become common
        // table expressions, each written at the top level.
        size_t close = matching(i);
        std::string name = "Q$" + std::to_string(++cteCount_);
        bool scalar = scalarAt.count(k.pos) > 0;
        std::string inner = emit(i + 1, close);
        ctes_.push_back(quoteIdent(name) + (scalar ? "(\"V\")" : "") + " AS (" + inner + ")");
        if (derivedAt.count(at(i + 1).pos)) add(quoteIdent(name));
        else if (scalar) add("(SELECT ora_single(\"V\") FROM (SELECT \"V\" FROM " + quoteIdent(name) + " LIMIT 2))");
        else if (rowAt_.count(k.pos)) add(oneRow(quoteIdent(name)));
        else add("(SELECT * FROM " + quoteIdent(name) + ")");
        i = close;
        break;
      }
      if (eq(k.text, "(") && is(at(i + 1), "SELECT") && scalarAt.count(k.pos)) {
        // a single value: more than one row is ORA-01427, not the first of them
        size_t close = matching(i);
        add("(WITH \"S$\"(\"V\") AS (" + emit(i + 1, close) +
            ") SELECT ora_single(\"V\") FROM (SELECT \"V\" FROM \"S$\" LIMIT 2))");
        i = close;
        break;
      }
      if (eq(k.text, "(") && is(at(i + 1), "SELECT") && rowAt_.count(k.pos)) {
        size_t close = matching(i);
        add("(WITH \"S$\" AS (" + emit(i + 1, close) + ") " + oneRow("\"S$\"").substr(1));
        i = close;
        break;
      }
      if (eq(k.text, "!=") || eq(k.text, "^=") || eq(k.text, "~=")) add("<>");
      else if (eq(k.text, "/")) add("* 1.0 /"); // SQLite divides integers as integers; Oracle never does
      else add(k.text);
      break;
    case Token::Ident: {
      if ((eq(k.text, "TRUE") || eq(k.text, "FALSE")) && !(i > 0 && is(t_[i - 1], ".")) && !is(at(i + 1), ".") &&
          !is(at(i + 1), "(")) {
        // SQLite's own words after IS; elsewhere the integers a BOOLEAN keeps
        bool afterIs = i > 0 && (is(t_[i - 1], "IS") || (i > 1 && is(t_[i - 1], "NOT") && is(t_[i - 2], "IS")));
        add(afterIs ? k.text : eq(k.text, "TRUE") ? "1" : "0");
        break;
      }
      if (const char* agg = truthAggregate(k.text); *agg && is(at(i + 1), "(") && !(i > 0 && is(t_[i - 1], "."))) {
        add(agg);
        break;
      }
      if (size_t xmlEnd = xmlCallEnd(i); xmlEnd && xmlEnd <= e) {
        size_t after;
        add(xmlCall(i, after));
        i = after - 1;
        break;
      }
      if (k.text == cat_.user() && is(at(i + 1), ".") && is(at(i + 3), ".") && !(i > 0 && is(t_[i - 1], ".")) &&
          (at(i + 2).kind == Token::Ident || at(i + 2).kind == Token::QIdent) &&
          (at(i + 4).kind == Token::Ident || at(i + 4).kind == Token::QIdent || is(at(i + 4), "*"))) {
        ++i; // schema.table.column: the table is the schema's own
        break;
      }
      if ((eq(k.text, "OFFSET") || eq(k.text, "FETCH")) && keywordAt(t_, i)) {
        size_t after;
        add(rowLimit(i, e, after));
        i = after - 1;
        break;
      }
      if (eq(k.text, "RATIO_TO_REPORT") && analyticAt(i)) {
        // a value's share of its window's total (NULL where the total is 0)
        size_t close = matching(i + 1);
        std::string x = "(" + emit(i + 2, close) + ")";
        analyticWindow(close + 1);
        std::string window = emit(close + 2, matching(close + 2) + 1);
        add("ora_div(" + x + ", NULLIF(ora_sum_x(" + x + ") OVER " + window + ", 0))");
        i = matching(close + 2);
        break;
      }
      if ((eq(k.text, "PERCENT_RANK") || eq(k.text, "CUME_DIST")) && is(at(i + 2), ")") && analyticAt(i)) {
        // exact fractions, as Oracle's NUMBER gives them: (rank - 1) / (rows - 1), and the share of
        // the partition's rows that sort up to the current one and its peers
        size_t close = i + 2, open = close + 2, wclose = matching(open), orderAt = wclose;
        analyticWindow(close + 1);
        for (size_t m = open + 1; m < wclose && orderAt == wclose; ++m)
          if (t_[m].depth == t_[open].depth + 1 && is(t_[m], "ORDER")) orderAt = m;
        std::string window = emit(open, wclose) + ")"; // an ORDER BY key's NULLS goes after the whole call
        std::string rows = "COUNT(*) OVER (" + (orderAt > open + 1 ? emit(open + 1, orderAt) : std::string()) + ")";
        add(eq(k.text, "CUME_DIST") ? "ora_div(COUNT(*) OVER " + window + ", " + rows + ")"
                                    : "ora_div(RANK() OVER " + window + " - 1, MAX(" + rows + " - 1, 1))");
        if (!replace_[wclose].empty() && replace_[wclose] != ")") add(replace_[wclose].substr(1));
        i = wclose;
        break;
      }
      if (is(at(i + 1), "(") && is(at(matching(i + 1) + 1), "KEEP") && is(at(matching(i + 1) + 2), "(")) {
        size_t after;
        add(keepRows(i, after));
        i = after - 1;
        break;
      }
      if ((eq(k.text, "NTILE") || eq(k.text, "NTH_VALUE")) && is(at(i + 1), "(")) positiveCount(i);
      if ((eq(k.text, "FIRST_VALUE") || eq(k.text, "LAST_VALUE") || eq(k.text, "NTH_VALUE") || eq(k.text, "LAG") ||
           eq(k.text, "LEAD")) && is(at(i + 1), "(")) {
        size_t after;
        if (std::string v = frameValue(i, after); !v.empty()) {
          add(v);
          i = after - 1;
          break;
        }
      }
      if ((eq(k.text, "COUNT") || eq(k.text, "SUM") || eq(k.text, "AVG") || eq(k.text, "MIN") || eq(k.text, "MAX")) &&
          is(at(i + 1), "(") && (is(at(i + 2), "DISTINCT") || is(at(i + 2), "UNIQUE")) && analyticAt(i)) {
        // an analytic function over the distinct values of its window
        size_t close = matching(i + 1);
        if (eq(k.text, "MIN") || eq(k.text, "MAX")) {
          add(k.text + "(" + emit(i + 3, close) + ")");
        } else {
          const char* fn = eq(k.text, "COUNT") ? "0" : eq(k.text, "SUM") ? "1" : "2";
          add(std::string("ora_distinct(") + fn + ", " + emit(i + 3, close) + ")");
        }
        i = close;
        break;
      }
      if ((eq(k.text, "APPROX_COUNT_DISTINCT") || eq(k.text, "ANY_VALUE")) && is(at(i + 1), "(")) {
        // exact answers serve for the approximate count; any value of the group may be the one
        add(eq(k.text, "ANY_VALUE") ? "MIN(" : "COUNT(DISTINCT ");
        ++i;
        break;
      }
      if (hypotheticalAt(i)) {
        size_t after;
        add(hypothetical(i, after));
        i = after - 1;
        break;
      }
      if ((eq(k.text, "PERCENTILE_CONT") || eq(k.text, "PERCENTILE_DISC") || eq(k.text, "MEDIAN")) &&
          is(at(i + 1), "(")) {
        size_t after;
        add(percentile(i, after));
        i = after - 1;
        break;
      }
      if (eq(k.text, "LISTAGG") && is(at(i + 1), "(")) {
        size_t after;
        add(listAgg(i, after));
        i = after - 1;
        break;
      }
      if (eq(k.text, "CURSOR") && is(at(i + 1), "(") && (is(at(i + 2), "SELECT") || is(at(i + 2), "WITH"))) {
        size_t close;
        add(cursorExpression(i, close));
        i = close;
        break;
      }
      if (eq(k.text, "SELECT")) {
        size_t next;
        add(multisetCompound(i, e) ? multisetRows(i, e, next) : emitSelect(i, e, next));
        i = next - 1;
        break;
      }
      if (eq(k.text, "MINUS")) { add("EXCEPT"); break; }
      if (eq(k.text, "INTERVAL") && at(i + 1).kind == Token::Str) {
        size_t after;
        add(intervalLiteral(i, after));
        i = after - 1;
        break;
      }
      if (eq(k.text, "DATE") && at(i + 1).kind == Token::Str) {
        pin_[i + 1] = 1;
        add(quoteString(ansiDate(at(i + 1).text)));
        ++i;
        break;
      }
      if (eq(k.text, "TIMESTAMP") && at(i + 1).kind == Token::Str) {
        pin_[i + 1] = 1;
        std::string ts = ansiTimestamp(at(i + 1).text);
        // a zoned value compares by its instant
        add(ts.find(' ', 11) == std::string::npos ? quoteString(ts) : "(" + quoteString(ts) + " COLLATE ORA_TSTZ)");
        ++i;
        break;
      }
      // UNIQUE in an aggregate's parentheses is DISTINCT
      if (eq(k.text, "UNIQUE") && i >= 2 && is(t_[i - 1], "(") && t_[i - 2].kind == Token::Ident) { add("DISTINCT"); break; }
      if (keywordAt(t_, i)) { add(k.text); break; }
      if (eq(k.text, "EXTRACT") && is(at(i + 1), "(") && is(at(i + 3), "FROM")) {
        size_t close = matching(i + 1);
        int code = exprType(i + 4, close).code;
        if (isInterval(code)) {
          add("ora_iv_extract(" + quoteString(at(i + 2).text) + ", " + emit(i + 4, close) + ")");
          i = close;
          break;
        }
        if (at(i + 2).text.rfind("TIMEZONE_", 0) == 0 && code == kTimestampTz) {
          add("ora_tz_extract(" + quoteString(at(i + 2).text) + ", " + emit(i + 4, close) + ")");
          i = close;
          break;
        }
        // the fields of a zoned value are its UTC time's
        add("EXTRACT(" + quoteString(at(i + 2).text) + ", " +
            (code == kTimestampTz ? "SYS_EXTRACT_UTC(" + emit(i + 4, close) + ")" : emit(i + 4, close)) +
            (code == kTimestamp ? ", 1)" : code == kTimestampTz ? ", 2)" : ")"));
        i = close;
        break;
      }
      if ((eq(k.text, "DUMP") || eq(k.text, "STANDARD_HASH") || eq(k.text, "ORA_HASH") || eq(k.text, "COLLATION")) &&
          is(at(i + 1), "(") &&
          replace_[i + 1].empty()) {
        // the value's type as the statement gives it goes first: a text literal is CHAR, a
        // stored DATE has another inside than a computed one
        size_t close = matching(i + 1), a = i + 2, m = a;
        if (a >= close) throw OraError(909);
        while (m < close && !(t_[m].depth == k.depth + 1 && is(t_[m], ","))) ++m;
        ColType dumped = exprType(a, m);
        int code = dumped.code == kTimestampTz && dumped.localZone ? 231 : dumped.code == kNumber && dumped.binary ? dumped.binary : dumped.code;
        bool column = (m == a + 1 && (t_[a].kind == Token::QIdent || (t_[a].kind == Token::Ident && t_[a].text != "SYSDATE"))) ||
                      (m == a + 3 && is(t_[a + 1], "."));
        if (code == kDate && !column) code = 13;
        replace_[i + 1] = "(" + std::to_string(code) + ",";
      }
      if (eq(k.text, "TRIM") && is(at(i + 1), "(")) {
        // TRIM([LEADING|TRAILING|BOTH] [c] FROM s)
        size_t close = matching(i + 1), fromAt = 0;
        for (size_t m = i + 2; m < close; ++m)
          if (t_[m].depth == k.depth + 1 && is(t_[m], "FROM")) { fromAt = m; break; }
        if (fromAt) {
          size_t m = i + 2;
          std::string mode = "BOTH";
          if (is(at(m), "LEADING") || is(at(m), "TRAILING") || is(at(m), "BOTH")) mode = at(m++).text;
          std::string set = m < fromAt ? emit(m, fromAt) : "' '";
          add("ora_trim('" + mode + "', " + set + ", " + emit(fromAt + 1, close) + ")");
          i = close;
          break;
        }
      }
      if (std::string call; is(at(i + 1), "(") && !(i > b && is(at(i - 1), ".")) && datesAsText(i, call)) {
        add(call);
        i = matching(i + 1);
        break;
      }
      if (std::string call; is(at(i + 1), "(") && !(i > b && is(at(i - 1), ".")) && longCall(i, call)) {
        add(call);
        i = matching(i + 1);
        break;
      }
      if (std::string call; is(at(i + 1), "(") && !(i > b && is(at(i - 1), ".")) && conversionOr(i, call)) {
        add(call);
        i = matching(i + 1);
        break;
      }
      if ((eq(k.text, "TO_CHAR") || eq(k.text, "TO_NCHAR")) && is(at(i + 1), "(") && !(i > b && is(at(i - 1), "."))) {
        // a TIMESTAMP's type gives FF its digits
        size_t close = matching(i + 1), m = i + 2;
        while (m < close && !(t_[m].depth == k.depth + 1 && is(t_[m], ","))) ++m;
        ColType x = m > i + 2 ? exprType(i + 2, m) : ColType{};
        if (x.code == kBoolean && m == close) {
          add("ora_bool_text(" + emit(i + 2, m) + ")");
          i = close;
          break;
        }
        if (x.code == kNumber && x.binary && m == close) {
          add("ora_fp_char(" + std::to_string(x.binary) + ", " + emit(i + 2, m) + ")");
          i = close;
          break;
        }
        if (isInterval(x.code)) {
          add("ora_iv_char(" + emit(i + 2, m) + ", " + std::to_string(x.precision) + ", " + std::to_string(x.scale) +
              (m < close ? ", " + emit(m + 1, close) : std::string()) + ")");
          i = close;
          break;
        }
        if (isTimestamp(x.code)) {
          add("ora_ts_char(" + emit(i + 2, m) + ", " + std::to_string(x.scale) + ", " +
              (x.code == kTimestampTz ? (x.localZone ? "2" : "1") : "0") + (m < close ? ", " + emit(m + 1, close) : std::string()) + ")");
          i = close;
          break;
        }
        if (x.code == kNumber && !x.binary && m == close && sessionNls(cat_.db()).numbers.decimal != ".") {
          add("ora_num_char(" + emit(i + 2, m) + ")"); // in the session's decimal character
          i = close;
          break;
        }
        // a DATE's model may not ask for a fraction or a zone it does not have; PL/SQL hands its
        // DATE and TIMESTAMP values alike to SQL as TO_DATE, so a value read by one is left be
        if (x.code == kDate && m < close && std::none_of(t_.begin() + i + 2, t_.begin() + m, [](const Token& t) {
              return t.kind == Token::Bind || (t.kind == Token::Ident && t.text == "TO_DATE");
            })) {
          add("ora_date_char(" + emit(i + 2, m) + ", " + emit(m + 1, close) + ")");
          i = close;
          break;
        }
      }
      if ((k.text == "CAST" || k.text == "NVL" || k.text == "VSIZE" || k.text == "COALESCE" || k.text == "NULLIF") &&
          is(at(i + 1), "(")) {
        size_t close = matching(i + 1);
        std::vector<std::pair<size_t, size_t>> args;
        size_t a = i + 2, as = 0;
        for (size_t m = a; m <= close; ++m) {
          if (m < close && t_[m].depth == k.depth + 1 && is(t_[m], "AS") && eq(k.text, "CAST")) as = m;
          if (m == close || (t_[m].depth == k.depth + 1 && is(t_[m], ","))) {
            args.emplace_back(a, m);
            a = m + 1;
          }
        }
        std::string conv;
        if (k.text == "COALESCE" || k.text == "NULLIF") {
          // the first argument of NULLIF gives the result its type: a bare NULL has none
          if (k.text == "NULLIF" && !args.empty() && args[0].second == args[0].first + 1 && is(t_[args[0].first], "NULL") &&
              t_[args[0].first].kind == Token::Ident)
            throw OraError(932, "expected - got CHAR").at(static_cast<int>(t_[args[0].first].pos));
          oneTypeGroup(args);
          // NULLIF(c, 'ab') compares as '=' does; only the literal, never returned, is padded
          if (k.text == "NULLIF" && args.size() == 2 && args[1].second == args[1].first + 1 &&
              t_[args[1].first].kind == Token::Str)
            charPadded(args[0].first, args[0].second, args[1].first, args[1].second, false, true);
          // NULLIF('ab', c) returns the literal as written: the column is trimmed to the literal's
          // trailing blanks instead, so the two are equal exactly when they are blank-padded
          if (k.text == "NULLIF" && args.size() == 2 && args[0].second == args[0].first + 1 &&
              t_[args[0].first].kind == Token::Str && !t_[args[0].first].text.empty() &&
              plainCharColumn(args[1].first, args[1].second))
            charTrimmedTo(args[0].first, args[1].first, args[1].second);
          if (k.text == "COALESCE" && args.size() > 100) conv = nestedCoalesce(args);
        } else if (k.text == "CAST" && args.size() == 1 && as > args[0].first) {
          // CAST converts as Oracle does: to a DATE from text, to text from a date in the session's format
          ColType to = castType(as + 1, close), from = exprType(args[0].first, as);
          std::string v = emit(args[0].first, as);
          if (to.xml) {
            // an XML value stays itself, NULL is a NULL XMLType and text must be a document
            const bool null = as == args[0].first + 1 && is(t_[args[0].first], "NULL") && t_[args[0].first].kind == Token::Ident;
            if (!null && !from.xml && from.code != 0 && from.code != kVarchar2 && from.code != kChar && from.code != kLong)
              throw OraError(932, std::string("expected - got ") + typeWordFor(from.code));
            add(null ? std::string("NULL") : from.xml ? "ora_xmlmark(" + v + ")" : "XMLTYPE(" + v + ")");
            i = close;
            break;
          }
          if (from.code == kBoolean && (to.code == kVarchar2 || to.code == kChar)) v = "ora_bool_text(" + v + ")";
          if (to.code == kBoolean && (from.code == kDate || isTimestamp(from.code) || isInterval(from.code) || from.code == kRaw))
            throw OraError(932, std::string("expected BOOLEAN got ") + typeWordFor(from.code));
          if (to.code == kBoolean) conv = "ora_conv(" + v + ", " + std::to_string(kBoolean) + ", 0, 0, 0, 0, 'CAST')";
          // no conversion between a date and a number
          if (from.code == kDate && to.code == kNumber) throw OraError(932, "expected NUMBER got DATE");
          if (from.code == kNumber && to.code == kDate) throw OraError(932, "expected DATE got NUMBER");
          // RAW and ROWID become text (or themselves), never a number or a date
          if ((from.code == kRaw || from.code == kRowid) && (to.code == kNumber || to.code == kDate))
            throw OraError(932, std::string("expected ") + (to.code == kNumber ? "NUMBER" : "DATE") + " got " +
                                    (from.code == kRaw ? "BINARY" : "ROWID"));
          if (isTimestamp(to.code) && (from.code == kNumber || from.code == kRaw || from.code == kRowid))
            throw OraError(932, std::string("expected TIMESTAMP got ") + (from.code == kNumber ? "NUMBER" : "BINARY"));
          if (isTimestamp(from.code) && to.code == kNumber) throw OraError(932, "expected NUMBER got TIMESTAMP");
          if (from.code == kDate && (to.code == kVarchar2 || to.code == kChar)) v = "TO_CHAR(" + v + ")";
          if (from.code == kNumber && from.binary && (to.code == kVarchar2 || to.code == kChar))
            v = "ora_fp_char(" + std::to_string(from.binary) + ", " + v + ")";
          if (isTimestamp(from.code) && (to.code == kVarchar2 || to.code == kChar))
            v = "ora_ts_char(" + v + ", " + std::to_string(from.scale) + ", " + (from.code == kTimestampTz ? "1" : "0") + ")";
          if (isTimestamp(to.code))
            conv = "ora_conv(" + v + ", " + std::to_string(to.code) + ", 0, 0, " + std::to_string(to.scale) + ", 0, 'CAST')";
          // intervals: from text or their own kind, to text in Oracle's form
          if (isInterval(from.code) && (to.code == kVarchar2 || to.code == kChar))
            v = "ora_iv_char(" + v + ", " + std::to_string(from.precision) + ", " + std::to_string(from.scale) + ")";
          else if (isInterval(from.code) != isInterval(to.code) && (isInterval(from.code) || (from.code != kVarchar2 && from.code != kChar)))
            throw OraError(932, std::string("expected ") + typeWordFor(to.code) + " got " + typeWordFor(from.code));
          if (isInterval(to.code))
            conv = "ora_conv(" + v + ", " + std::to_string(to.code) + ", 0, " + std::to_string(to.precision) + ", " +
                   std::to_string(to.scale) + ", 1, 'CAST')";
          // text is cut to the length named; a number or a date that does not fit is an error
          bool whole = (from.code == kNumber || from.code == kDate || isTimestamp(from.code) || from.code == kRaw || from.code == kRowid) &&
                       (to.code == kVarchar2 || to.code == kChar);
          if (to.code == kDate || to.code == kNumber || to.code == kVarchar2 || to.code == kChar)
            conv = "ora_conv(" + v + ", " + std::to_string(to.code) + ", " + std::to_string(convLimit(to)) + ", " +
                   std::to_string(to.precision) + ", " + std::to_string(to.scale) + ", " + (to.hasScale ? "1" : "0") +
                   (whole ? ", 'CAST VALUE')" : ", 'CAST')");
          if (to.code == kNumber && to.binary) conv = "ora_fp_cast(" + std::to_string(to.binary) + ", " + v + ")";
          // text becomes RAW as hexadecimal digits and a ROWID as CHARTOROWID reads it; a number
          // or a date becomes neither
          if ((to.code == kRaw || to.code == kRowid) && (from.code == kNumber || from.code == kDate))
            throw OraError(932, std::string("expected ") + (to.code == kRaw ? "BINARY" : "ROWID") + " got " +
                                    (from.code == kNumber ? "NUMBER" : "DATE"));
          if (to.code == kRaw)
            conv = "ora_conv(" + v + ", " + std::to_string(kRaw) + ", " + std::to_string(to.size) + ", 0, 0, 0, 'CAST VALUE')";
          if (to.code == kRowid) conv = from.code == kRowid ? v : "CHARTOROWID(" + v + ")";
        } else if (eq(k.text, "VSIZE")) {
          // the size depends on the Oracle type, which the stored value alone does not tell
          if (args.size() != 1 || args[0].first >= args[0].second) throw OraError(909);
          conv = "ora_vsize(" + emit(args[0].first, args[0].second) + ", " +
                 std::to_string(exprType(args[0].first, args[0].second).code) + ")";
        } else if (k.text == "NVL") {
          if (args.size() != 2 || args[0].first >= args[0].second || args[1].first >= args[1].second) throw OraError(909);
          // the second argument takes the first one's type
          ColType t1 = exprType(args[0].first, args[0].second), t2 = exprType(args[1].first, args[1].second);
          bool text2 = t2.code == kVarchar2 || t2.code == kChar;
          if (t1.code == kNumber && args[1].second == args[1].first + 1 && t_[args[1].first].kind == Token::Str &&
              !t_[args[1].first].text.empty()) {
            // a text literal that is no number fails once, before any row, as Oracle converts constants
            Num n;
            bool number = false;
            try {
              number = parseNum(t_[args[1].first].text, n);
            } catch (const OraError&) {
            }
            pin_[args[1].first] = 1;
            if (!number) throw OraError(1722).at(static_cast<int>(t_[args[1].first].pos));
          }
          std::string v2 = emit(args[1].first, args[1].second);
          if (t1.code == kNumber && text2) v2 = "ora_num(" + v2 + ")";
          else if (t1.code == kDate && text2) v2 = "ora_conv(" + v2 + ", " + std::to_string(kDate) + ", 0, 0, 0, 0, 'date')";
          conv = "IFNULL(" + emit(args[0].first, args[0].second) + ", " + v2 + ")";
        }
        if (!conv.empty()) {
          add(conv);
          i = close;
          break;
        }
      }
      if (eq(k.text, "OVER") && i > b &&
          (is(t_[i - 1], ")") || (is(t_[i - 1], "NULLS") && skip_[i - 1]) ||
           (i > 1 && is(t_[i - 2], "NTH$FROM") && skip_[i - 1])) &&
          is(at(i + 1), "(")) {
        analyticWindow(i);
        add("OVER");
        break;
      }
      if (is(at(i + 1), "(") && cteNames_.count(k.text)) { add(quoteIdent(k.text)); break; } // WITH name(columns)
      if ((eq(k.text, "GREATEST") || eq(k.text, "LEAST")) && is(at(i + 1), "(") && !ctx_.empty() && extremeOfWide(i)) {
        add(k.text + "_x");
        break;
      }
      if (!(i > b && is(at(i - 1), ".")) && (eq(k.text, "SYSTIMESTAMP") || eq(k.text, "CURRENT_TIMESTAMP") || eq(k.text, "LOCALTIMESTAMP"))) {
        // LOCALTIMESTAMP(p): the clock to p digits; each in its zone
        std::string now = eq(k.text, "SYSTIMESTAMP") ? "ora_tz_now(0)" : eq(k.text, "CURRENT_TIMESTAMP") ? "ora_tz_now(1)" : "ora_tz_now(2)";
        if (is(at(i + 1), "(") && at(i + 2).kind == Token::Num && is(at(i + 3), ")")) {
          if (at(i + 2).text.size() > 1 || at(i + 2).text[0] < '0' || at(i + 2).text[0] > '9')
            throw OraError(30088).at(static_cast<int>(at(i + 2).pos));
          add("ora_conv(" + now + ", " + std::to_string(eq(k.text, "LOCALTIMESTAMP") ? kTimestamp : kTimestampTz) +
              ", 0, 0, " + std::to_string(std::atoi(at(i + 2).text.c_str())) + ", 0, 'CAST')");
          i += 3;
          break;
        }
        add(now);
        break;
      }
      if (std::string coll; is(at(i + 1), "(") && !(i > b && is(at(i - 1), ".")) && collectionCall(i, coll)) {
        add(coll);
        break;
      }
      if (is(at(i + 1), "(") && !outerMark(i + 1) && !referencedTable(i)) {
        // only Oracle's functions are callable, then the schema's; SQLite's own stay out of reach
        // the interpreter's values: an element that is not there fails where it is evaluated
        const bool raise = ValueQueries::depth > 0 && eq(k.text, "ORA_RAISE");
        if (!functionAllowed(k.text.c_str(), false) && k.text != "CAST" && !raise) {
          if (int type = i > b && is(at(i - 1), ".") ? 0 : calledFunctionType(cat_, k.text); type > 0) {
            std::string call = plsqlCall(k.text, i);
            size_t close = matching(i + 1);
            add(type == kNumber ? chainCall(i, close + 1, call) : call);
            i = close;
            break;
          }
          throw OraError(904, k.text);
        }
        // the whole number argument of a reader of decimal text gives it exactly
        std::string f = eq(k.text, "SUM") ? "ora_sum" : eq(k.text, "AVG") ? "ora_avg" : k.text;
        // BINARY_FLOAT and BINARY_DOUBLE sum in double arithmetic: infinities stay infinite
        if ((eq(k.text, "SUM") || eq(k.text, "AVG")) && !is(at(i + 2), "DISTINCT") && !is(at(i + 2), "UNIQUE"))
          if (ColType x = exprType(i + 2, matching(i + 1)); x.code == kNumber && x.binary) {
            add(k.text);
            break;
          }
        if (ColType it; (eq(k.text, "SUM") || eq(k.text, "AVG")) && intervalType(i, analyticAt(i) ? analyticAt(i) : matching(i + 1) + 1, it)) {
          add(eq(k.text, "SUM") ? "ora_iv_sum" : "ora_iv_avg");
          break;
        }
        if (std::string x = exactCall(f + "("); x != f + "(") {
          add(exactArgument(i, matching(i + 1) + 1) ? x.substr(0, x.size() - 1) : f);
          break;
        }
        add(eq(k.text, "NVL") ? "IFNULL" : k.text);
        break;
      }
      bool qualified = i > b && is(at(i - 1), ".");
      if (!qualified && eq(k.text, "SYSDATE")) { add("ora_sysdate()"); break; }
      if (!qualified && (eq(k.text, "SESSIONTIMEZONE") || eq(k.text, "DBTIMEZONE"))) {
        add(eq(k.text, "DBTIMEZONE") ? "ora_tz_db()" : "ora_tz_session()");
        break;
      }
      if (!qualified && eq(k.text, "USER")) { add("ora_user()"); break; }
      if (!qualified && eq(k.text, "ROWNUM")) { add("row_number() OVER ()"); break; }
      if (!qualified && eq(k.text, "UID")) { add("ora_uid()"); break; }
      if (!qualified && eq(k.text, "ORA_ROWSCN")) {
        size_t next;
        add(rowScnOf([&] { return rowidExpr("", i, next); }));
        i = next - 1;
        break;
      }
      if (std::string fp; binaryConstant(i, fp)) { add(fp); break; }
      if (!qualified && eq(k.text, "ROWID")) {
        size_t next;
        add(rowidExpr("", i, next));
        i = next - 1;
        break;
      }
      if (!qualified && parameterlessFunction(i)) {
        add("ora_plsql(" + quoteString(bareFunction(k.text)) + ")");
        break;
      }
      add(quoteIdent(k.text));
      break;
    }
    }
  }
  return out;
}

} // namespace ora::tx
