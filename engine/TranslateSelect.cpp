// Query blocks: FROM, WHERE, GROUP BY and ORDER BY as Oracle means them, outer joins, ROWNUM.
#include "TranslateImpl.h"
#include "Booleans.h"

#include "Dictionary.h"
#include "ModelClause.h"
#include "Number.h"
#include "OraFunctions.h"
#include "Session.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <sqlite3.h>

namespace ora::tx {

namespace {

// Whether a name after tok would be its operand rather than an alias: an operator; the marked
// words closing IS [NOT] JSON [STRICT|LAX] [WITH UNIQUE KEYS] end a condition; PRIOR and
// CONNECT_BY_ROOT, reserved words, always take the name after them.
bool operandWanted(const Token& tok) {
  if (is(tok, "PRIOR") || is(tok, "CONNECT_BY_ROOT")) return true;
  if (tok.kind != Token::Op || tok.text == ")") return false;
  return !(is(tok, "JSON") || is(tok, "STRICT") || is(tok, "LAX") || is(tok, "KEYS"));
}

} // namespace

size_t Translator::clauseEnd(size_t i, size_t e, int depth, const std::set<std::string>& stops) {
  for (; i < e; ++i) {
    const Token& k = t_[i];
    if (k.depth < depth) return i;
    if (k.depth == depth && k.kind == Token::Ident && stops.count(k.text)) return i;
  }
  return e;
}

size_t Translator::clauseEnd(size_t i, size_t e, int depth, std::initializer_list<const char*> stops) {
  for (; i < e; ++i) {
    const Token& k = t_[i];
    if (k.depth < depth) return i;
    if (k.depth == depth && k.kind == Token::Ident)
      for (const char* w : stops)
        if (k.text == w) return i;
  }
  return e;
}

std::string Translator::rowidExpr(const std::string& qualifier, size_t i, size_t& next) {
  if (ctx_.empty()) throw OraError(904, "ROWID");
  const TableRef* ref = nullptr;
  for (auto it = ctx_.rbegin(); it != ctx_.rend() && !ref; ++it)
    for (auto& r : it->tables)
      if (qualifier.empty() ? true : (r.alias == qualifier || (r.alias.empty() && r.name == qualifier))) {
        ref = &r;
        break;
      }
  if (ref && ref->name == "DUAL" && ref->dictionary.empty()) {
    // DUAL's one row has a ROWID of its own, of no table a user has
    next = i + 1;
    return quoteString(encodeRowid(0, 1));
  }
  if (!ref || ref->name == "DUAL" || !ref->dictionary.empty() || cat_.viewExists(ref->name))
    throw OraError(904, "ROWID");
  auto& r = const_cast<TableRef&>(*ref);
  if (!r.obj) r.obj = cat_.objectNumber(r.name);
  std::string q = quoteIdent(r.alias.empty() ? r.name : r.alias);
  next = i + 1;
  // ROWID = 'literal' goes straight to the row instead of scanning the table.
  if (is(at(i + 1), "=") && at(i + 2).kind == Token::Str) {
    int64_t obj, rowid;
    if (!decodeRowid(at(i + 2).text, obj, rowid)) throw OraError(1410);
    next = i + 3;
    if (share_) {
      // the literal stays a parameter; the function decodes it, NULL for another table's ROWID
      tr_.params.push_back(static_cast<int>(i + 2));
      return "(" + q + ".rowid = ora_rowid_num(?" + std::to_string(tr_.params.size()) + ", " +
             std::to_string(r.obj) + "))";
    }
    if (obj != r.obj) return "(0 = 1)";
    return "(" + q + ".rowid = " + std::to_string(rowid) + ")";
  }
  return "ora_rowid(" + std::to_string(r.obj) + ", " + q + ".rowid)";
}


std::string Translator::emitSelect(size_t s, size_t e, size_t& next) {
  if (!expandingGroups_)
    if (std::string sets = groupingSets(s, e, next); !sets.empty()) return sets;
  if (!nestedDone_.count(s))
    if (std::string nested = nestedAggregates(s, e, next); !nested.empty()) return nested;
  int d = t_[s].depth;
  // this block is one grouping set of ROLLUP, CUBE or GROUPING SETS (a subquery of it has its own groups)
  bool expanding = expandingGroups_ && s == groupsBlock_;
  static const std::set<std::string> fromStops = {"WHERE", "GROUP", "ORDER", "HAVING", "UNION",
      "INTERSECT", "MINUS", "EXCEPT", "CONNECT", "START", "FOR"};
  static const std::set<std::string> setOps = {"UNION", "INTERSECT", "MINUS", "EXCEPT"};
  size_t listBegin = s + 1;
  std::string head = "SELECT";
  if (is(at(listBegin), "DISTINCT") || is(at(listBegin), "UNIQUE")) { head += " DISTINCT"; ++listBegin; }
  else if (is(at(listBegin), "ALL")) ++listBegin;
  size_t from = clauseEnd(listBegin, e, d, {"FROM"});
  if (from >= e || !is(at(from), "FROM")) throw OraError(923);
  size_t fromEnd = clauseEnd(from + 1, e, d, fromStops);
  for (size_t i = from + 1; i < fromEnd; ++i) // a row limit straight after FROM
    if (t_[i].depth == d && (is(t_[i], "FETCH") || is(t_[i], "OFFSET")) && keywordAt(t_, i)) fromEnd = i;
  size_t end = clauseEnd(fromEnd, e, d, setOps);
  std::string walk = hierarchy(from, fromEnd, end, d);
  Context c;
  parseFrom(from + 1, fromEnd, c);
  ctx_.push_back(c);
  partitionedKeys(listBegin, from, fromEnd, end, d);
  size_t whereEnd = fromEnd;
  if (is(at(fromEnd), "WHERE"))
    whereEnd = clauseEnd(fromEnd + 1, end, d, {"GROUP", "ORDER", "HAVING", "CONNECT", "START", "FOR"});
  // a lone column as the condition is a BOOLEAN one; any other wants a relational operator
  if (size_t wb = fromEnd + 1; is(at(fromEnd), "WHERE") && (whereEnd == wb + 1 || (whereEnd == wb + 3 && is(t_[wb + 1], "."))) &&
                               (t_[whereEnd - 1].kind == Token::Ident || t_[whereEnd - 1].kind == Token::QIdent)) {
    ColType ct;
    if (sourceColumnType(ctx_.back(), whereEnd == wb + 3 ? t_[wb].text : std::string(), t_[whereEnd - 1].text, ct) &&
        ct.code != kBoolean)
      throw OraError(920).at(static_cast<int>(at(whereEnd).pos));
  }
  int64_t limit = rownumLimit(fromEnd, whereEnd, d);
  // Literals that shape the result (its headings and types) or name an ORDER BY position are
  // part of what a shared statement is.
  if (!ValueQueries::depth)
    for (size_t i = listBegin; i < from; ++i)
      if (t_[i].kind == Token::Str || t_[i].kind == Token::Num) pin_[i] = 1;
  rejectLobOrder(whereEnd, end, d);
  for (size_t i = whereEnd; i + 1 < end; ++i)
    if (t_[i].depth == d && is(t_[i], "ORDER") && is(t_[i + 1], "BY")) {
      size_t orderEnd = i + 2;
      while (orderEnd < end && !(t_[orderEnd].depth == d && (is(t_[orderEnd], "OFFSET") || is(t_[orderEnd], "FETCH")) &&
                                 keywordAt(t_, orderEnd)))
        ++orderEnd;
      for (size_t m = i + 2; m < orderEnd; ++m)
        if (t_[m].kind == Token::Num) pin_[m] = 1;
      nullsOrder(i + 2, orderEnd, d, listBegin, from);
    }

  rejectAggregates(fromEnd, whereEnd);
  rejectNestedWindows(listBegin, from);
  // GROUP BY expressions, for the check that every selected column is grouped
  std::vector<std::pair<size_t, size_t>> groups;
  bool grouped = false;
  for (size_t i = fromEnd; i + 1 < end; ++i)
    if (t_[i].depth == d && is(t_[i], "GROUP") && is(t_[i + 1], "BY")) {
      grouped = true;
      size_t ge = clauseEnd(i + 2, end, d, {"HAVING", "ORDER", "UNION", "INTERSECT", "MINUS", "EXCEPT"});
      auto limited = [&](size_t b, size_t e) { // up to a row limit: GROUP BY DEPTNO FETCH FIRST 1 ROW ONLY
        for (size_t m = b; m < e; ++m)
          if (t_[m].depth == d && (is(t_[m], "FETCH") || is(t_[m], "OFFSET")) && keywordAt(t_, m)) return m;
        return e;
      };
      ge = limited(i + 2, ge);
      size_t gb = i + 2;
      rejectAggregates(gb, ge);
      if (is(at(ge), "HAVING")) rejectAggregates(ge + 1, limited(ge + 1, clauseEnd(ge + 1, end, d, {"ORDER"})), false);
      for (size_t m = gb; m <= ge; ++m)
        if (m == ge || (t_[m].depth == d && is(t_[m], ","))) { groups.emplace_back(gb, m); gb = m + 1; }
      break;
    }
  for (size_t i = listBegin; i < from && !grouped; ++i)
    if (t_[i].depth == d && isAggregate(i)) grouped = true;
  // HAVING without GROUP BY makes all the rows one group, also when only HAVING aggregates: the
  // first select item then carries an aggregate that changes nothing, so SQLite groups too
  bool havingOnly = false;
  bool emptySets = !groups.empty() && std::all_of(groups.begin(), groups.end(), [&](std::pair<size_t, size_t> g) {
    return g.second == g.first + 2 && is(t_[g.first], "(") && is(t_[g.first + 1], ")");
  });
  if (groups.empty() || emptySets) {
    havingOnly = emptySets; // GROUP BY () is one group, even of no rows
    for (size_t i = whereEnd; i < end && !havingOnly; ++i) havingOnly = t_[i].depth == d && is(t_[i], "HAVING");
    // so does an aggregate in ORDER BY: SELECT ENAME FROM EMP ORDER BY MAX(SAL) is not one group
    bool compoundBlock = false;
    for (size_t i = 0; i < size() && !compoundBlock; ++i)
      compoundBlock = t_[i].depth == d && (is(t_[i], "UNION") || is(t_[i], "INTERSECT") || is(t_[i], "MINUS") ||
                                           is(t_[i], "EXCEPT"));
    for (size_t i = whereEnd; i + 1 < end && !havingOnly && !compoundBlock; ++i) {
      if (!(t_[i].depth == d && is(t_[i], "ORDER") && is(t_[i + 1], "BY"))) continue;
      for (size_t m = i + 2; m < end && !havingOnly; ++m) {
        if (is(t_[m], "(") && (is(at(m + 1), "SELECT") || is(at(m + 1), "WITH"))) m = matching(m);
        else havingOnly = isAggregate(m) && !analyticAt(m);
      }
      break;
    }
    for (size_t i = listBegin; i < from && havingOnly; ++i) {
      if (is(t_[i], "(") && (is(at(i + 1), "SELECT") || is(at(i + 1), "WITH"))) i = matching(i);
      else if (isAggregate(i) && !analyticAt(i)) havingOnly = false;
    }
    grouped = grouped || havingOnly;
  }
  rownumInAggregates(listBegin, from, fromEnd, whereEnd, end, d, grouped);
  for (const auto& g : groups) rejectLob(g.first, g.second);

  if (listBegin + 1 == from && is(t_[listBegin], "*") && replace_[listBegin].empty()) joinedStar(listBegin, from, fromEnd);
  std::vector<std::pair<std::string, size_t>> orderNames;
  bool exactOut = exactResults(s, listBegin, from, whereEnd, end, limit >= 0 || !walk.empty() || head != "SELECT", orderNames);
  // SELECT DISTINCT and a limited result give their numbers as they are, but what ORDER BY names
  // of them is found too
  if (!exactOut && cat_.wideColumns()) exactResults(s, listBegin, from, whereEnd, end, true, orderNames, true);
  int position = 0;
  {
    std::vector<std::string> named;
    for (size_t i = listBegin; i < from;) {
      size_t ie = i;
      while (ie < from && !(t_[ie].depth == d && is(t_[ie], ","))) ++ie;
      if (ie - i >= 2 && aliasToken(ie - 1) && !is(t_[ie - 1], "*") &&
          (is(t_[ie - 2], "AS") || !operandWanted(t_[ie - 2])))
        named.push_back(t_[ie - 1].text);
      i = ie + 1;
    }
    aliasesOutOfScope(from, fromEnd, end, named);
    orderNameCase(whereEnd, end, d, named);
    derivedNameCase(listBegin, from, fromEnd, end, named);
  }
  // a later member of UNION / INTERSECT / MINUS: its text columns may widen the first member's
  auto setOpAt = [&](size_t k) {
    return k < size() && (is(t_[k], "UNION") || is(t_[k], "INTERSECT") || is(t_[k], "MINUS") || is(t_[k], "EXCEPT"));
  };
  auto follows = [&](size_t k) { return k > 0 && (setOpAt(k - 1) || (is(t_[k - 1], "ALL") && k > 1 && setOpAt(k - 2))); };
  bool laterMember = follows(s) || (s > 0 && is(t_[s - 1], "(") && follows(s - 1));
  // a member in parentheses belongs to the compound one level out: (SELECT ...) UNION (SELECT ...)
  bool parenthesized = s > 0 && is(t_[s - 1], "(");
  bool firstInParens = parenthesized && !laterMember && setOpAt(matching(s - 1) + 1);
  int memberDepth = parenthesized && (laterMember || firstInParens) ? d - 1 : d;
  if (!laterMember) compoundFirst_[memberDepth].clear();
  bool compound = laterMember;
  for (size_t k = end; k < size() && !compound; ++k)
    compound = t_[k].depth <= d && setOpAt(k);
  size_t column = 0;
  std::vector<ColType> itemTypes;
  std::string out = head;
  size_t i = listBegin;
  bool first = true;
  std::vector<std::string> aliases; // the select list's names, which ORDER BY may use
  std::vector<std::string> outNames; // every result column's name
  bool anyStar = false;
  while (i < from) {
    size_t ie = i;
    while (ie < from && !(t_[ie].depth == d && is(t_[ie], ","))) ++ie;
    if (ie == i) throw OraError(936);
    size_t exprEnd = ie;
    std::string alias;
    bool star = is(t_[ie - 1], "*") && (ie - 1 == i || is(t_[ie - 2], "."));
    // an interval literal's last unit is no alias: HIREDATE + INTERVAL '1' MONTH
    bool unitLast = false;
    for (size_t k = i; k + 1 < ie && !unitLast; ++k)
      unitLast = t_[k].depth == d && is(t_[k], "INTERVAL") && t_[k + 1].kind == Token::Str && intervalEnd(k) == ie;
    if (!star && !unitLast && ie - i >= 2 && aliasToken(ie - 1)) {
      const Token& prev = t_[ie - 2];
      if (is(prev, "AS")) { alias = t_[ie - 1].text; exprEnd = ie - 2; }
      else if (!operandWanted(prev)) { alias = t_[ie - 1].text; exprEnd = ie - 1; }
    }
    if (exprEnd == i) throw OraError(936);
    if (grouped) checkGrouped(i, exprEnd, expanding ? partGroups_ : groups, !groups.empty());
    if (grouped && star && !expanding) checkGroupedStar(i, ie, groups);
    out += first ? " " : ", ";
    first = false;
    derivedWidened_ = false;
    ColType ty = star ? ColType{} : exprType(i, exprEnd); // before emitting rewrites the tokens
    if (ty.lob && (head != "SELECT" || sortingSetOp(d))) throw OraError(932, lobTypeError(ty)).at(static_cast<int>(t_[i].pos));
    // a column of a set operation in FROM: SQLite declares it as one member's
    bool widerColumn = derivedWidened_ && !star &&
                       ((exprEnd == i + 1 && (t_[i].kind == Token::Ident || t_[i].kind == Token::QIdent)) ||
                        (exprEnd == i + 3 && is(t_[i + 1], ".")));
    if (star && memberDepth == 0 && !laterMember) starOverSets(ie == i + 3 ? t_[i].text : std::string());
    // what a set operator must match: a type only where it is known for sure
    bool emptyText = exprEnd == i + 1 && t_[i].kind == Token::Str && t_[i].text.empty();
    bool nullText = ty.code == kVarchar2 && (ty.size == 4000 || ty.size == 0);
    bool known = !star && ty.code != 0 && !nullText && !emptyText;
    blockTypes_[s].emplace_back(known ? ty.code : 0, static_cast<size_t>(i));
    // a number read from a wide column goes on as a number where it is sorted or matched as
    // one: the column's own collation stays behind in an expression or a set operation
    // A computed one inside the statement stays a double (its digits remembered): exact text for the
    // longer values would sort and compare apart from the doubles, as SQLite puts text after numbers.
    bool inner = d != 0 || InnerQueries::depth || !nestedDone_.empty();
    // In a set operation a computed one goes as a double too: SQLite sorts the members' rows
    // itself, and would put the longer values, as text, after all the others.
    bool bareItem = exprEnd == i + 1 || (exprEnd == i + 3 && is(t_[i + 1], "."));
    // UNION, INTERSECT and MINUS tell numbers apart by their exact value: every member's number
    // goes as its decimal text in the collation of NUMBER order, which also sorts the result.
    // Beside a binary float the members' values are doubles (Oracle converts NUMBER to it).
    bool exactSet = !star && compound && ty.code == kNumber && !ty.binary && !binaryWritten();
    if (!star && ty.code == kNumber && !(inner && !compound) && !exactSet)
      wideAsNumber(i, exprEnd, compound && !bareItem ? "ora_num" : "ora_add_x", compound);
    if (star && ViewStars::depth) {
      std::vector<std::string> names;
      if (replace_[ie - 1].empty() && viewStar(i, ie, names) && d == 0)
        tr_.stars.push_back({{t_[i].pos, t_[ie - 1].end}, names});
    }
    if (star && replace_[ie - 1].empty()) visibleStar(i, ie);
    // a value an analytic function hands on goes out with all its digits
    bool exactTop = !star && ty.code == kNumber && exactOut && replace_[i].empty();
    auto outerTop = exactTop_;
    if (exactTop) exactTop_ = {i, exprEnd};
    exactTopUsed_ = false;
    std::string item = emit(i, exprEnd);
    exactTop_ = outerTop;
    if (exactTop && exactTopUsed_) item = "ora_add_x(" + item + ")";
    if (exactItems_.count(i) && ty.code == kNumber && !ty.binary) item = exactCall(item);
    if (exactSet) item = "CAST(" + exactCall(item) + " AS TEXT) COLLATE ORA_NUMBER";
    if (havingOnly && position == 0) item = "COALESCE(" + item + ", MIN(NULL))";
    // computed text sorts and compares as a text column of the database's set does, also where
    // ORDER BY names it or an outer query reads it
    bool columnName = (exprEnd - i) % 2 == 1;
    for (size_t m = i; m < exprEnd && columnName; ++m)
      columnName = (m - i) % 2 ? is(t_[m], ".") : t_[m].kind == Token::Ident || t_[m].kind == Token::QIdent;
    if (!star && !columnName && (ty.code == kVarchar2 || ty.code == kChar) && charset() == Charset::JA16SJIS)
      item = "(" + item + ") COLLATE ORA_SJIS";
    ++position;
    // The statement's own result columns carry every digit; an ORDER BY naming one sorts on
    // its value as a number instead.
    if (!star && ty.code == kNumber && (exactOut || !orderNames.empty()))
      item = exactItem(std::move(item), alias.empty() ? heading(i, exprEnd) : alias, position, orderNames, exactOut);
    out += item;
    if (auto named = star ? starNames_.find(i) : starNames_.end(); named != starNames_.end())
      outNames.insert(outNames.end(), named->second.begin(), named->second.end());
    else
      anyStar = anyStar || star;
    if (!star) {
      if (!alias.empty()) aliases.push_back(alias);
      if (alias.empty()) alias = heading(i, exprEnd);
      itemTypes.push_back(ty);
      if (widerColumn && memberDepth == 0 && !laterMember) tr_.widened[alias] = ty;
      auto& firstCols = compoundFirst_[memberDepth];
      auto text = [](const ColType& t) { return t.code == kVarchar2 || t.code == kChar; };
      if (!laterMember) {
        firstCols.emplace_back(alias, ty);
      } else if (column < firstCols.size() && firstCols[column].second.code == kVarchar2 &&
                 firstCols[column].second.size == 0 && (ty.code == kNumber || ty.code == kDate)) {
        // a NULL in the first member takes the type a later member gives
        firstCols[column].second = ty;
        if (memberDepth == 0) tr_.widened[firstCols[column].first] = ty;
      } else if (column < firstCols.size() && firstCols[column].second.code == kNumber && ty.code == kNumber &&
                 !numberHolds(firstCols[column].second, ty, exprEnd == i + 1 ? &t_[i] : nullptr)) {
        // numbers the first member's precision does not hold: a NUMBER of any size
        ColType& w = firstCols[column].second;
        w = ColType{};
        w.code = kNumber;
        if (memberDepth == 0) tr_.widened[firstCols[column].first] = w;
      } else if (column < firstCols.size() && text(firstCols[column].second) && text(ty) &&
                 (ty.size < 4000 || firstCols[column].second.size == 0) &&
                 (ty.size != firstCols[column].second.size || ty.code != firstCols[column].second.code)) {
        // the longer of the two; CHAR only where both are CHAR of one length
        ColType& w = firstCols[column].second;
        w.size = std::max(w.size, ty.size);
        w.code = kVarchar2;
        if (memberDepth == 0) tr_.widened[firstCols[column].first] = w; // the statement's own result
      }
      ++column;
      outNames.push_back(alias);
      out += " AS " + quoteIdent(alias);
      auto it = tr_.inferred.find(alias);
      // a column passed on from an inline view keeps the type the view's own item gave it
      bool plainColumn = (exprEnd - i == 1 && (t_[i].kind == Token::Ident || t_[i].kind == Token::QIdent)) ||
                         (exprEnd - i == 3 && is(t_[i + 1], "."));
      auto unknown = [](const ColType& t) { return t.code == 0 || (t.code == kVarchar2 && t.size == 4000); };
      if (it == tr_.inferred.end() || !plainColumn || (unknown(it->second) && !unknown(ty))) tr_.inferred[alias] = ty;
    }
    i = ie < from ? ie + 1 : ie;
  }
  if (!anyStar) selectTypes_[s] = itemTypes;
  // the first block of WITH name (c1, c2, ...) AS (...): the names take its columns' types
  if (s >= 4 && is(t_[s - 1], "(") && is(t_[s - 2], "AS") && is(t_[s - 3], ")") && !anyStar) {
    size_t open = s - 3;
    while (open > 0 && !(is(t_[open], "(") && matching(open) == s - 3)) --open;
    if (open > 0 && cteNames_.count(t_[open - 1].text)) {
      size_t named = 0;
      for (size_t m = open + 1; m < s - 3; ++m) named += t_[m].kind == Token::Ident || t_[m].kind == Token::QIdent;
      if (named != itemTypes.size()) throw OraError(32038).at(static_cast<int>(t_[open - 1].pos));
      size_t k = 0;
      for (size_t m = open + 1; m < s - 3 && k < itemTypes.size(); ++m) {
        if (t_[m].kind != Token::Ident && t_[m].kind != Token::QIdent) continue;
        const ColType& ty = itemTypes[k++];
        if (ty.code != 0 && !(ty.code == kVarchar2 && ty.size == 4000)) tr_.inferred[t_[m].text] = ty;
      }
    }
  }
  // ORDER BY naming an alias given to two columns cannot tell which
  for (size_t k = whereEnd; k + 1 < end; ++k) {
    if (t_[k].depth != d || !is(t_[k], "ORDER") || !is(t_[k + 1], "BY")) continue;
    for (size_t m = k + 2; m < end && t_[m].depth >= d; ++m) {
      if (t_[m].depth != d || !(t_[m].kind == Token::Ident || t_[m].kind == Token::QIdent)) continue;
      if ((m > 0 && is(t_[m - 1], ".")) || is(at(m + 1), ".") || is(at(m + 1), "(")) continue;
      if (std::count(aliases.begin(), aliases.end(), t_[m].text) > 1)
        throw OraError(960).at(static_cast<int>(t_[m].pos));
    }
    break;
  }
  if (cat_.wideColumns()) wideOrderKeys(whereEnd, end, d);
  if (grouped && !expanding) checkGroupedClauses(s, fromEnd, end, groups, aliases);
  std::string joined = outerJoins(from + 1, fromEnd, fromEnd, whereEnd, d);
  if (joined.empty()) joined = partitionedFrom(from + 1, fromEnd, d);
  // a walk in depth-first order takes its row limit after that order
  std::string walkLimit;
  if (!walk.empty()) {
    bool sorted = false;
    size_t limitAt = 0;
    for (size_t i = fromEnd; i + 1 < end; ++i) {
      if (t_[i].depth != d) continue;
      if (is(t_[i], "ORDER") && is(t_[i + 1], "BY") && !skip_[i]) sorted = true;
      if (!limitAt && (is(t_[i], "FETCH") || is(t_[i], "OFFSET")) && keywordAt(t_, i) && !skip_[i]) limitAt = i;
    }
    if (limitAt && !sorted) {
      walkLimit = " " + emit(limitAt, end);
      for (size_t i = limitAt; i < end; ++i) skip_[i] = 1;
    }
  }
  if (whereEnd > fromEnd) rownumPerRowWhere(fromEnd, whereEnd);
  if (limit >= 0) {
    out = rownumRows(out, head, listBegin, from, fromEnd, whereEnd, end, d, limit, joined, walk);
  } else if (size_t tiesOrder = 0, tiesFetch = withTies(whereEnd, end, aliases, tiesOrder);
             tiesFetch && !anyStar && walk.empty() && !head.ends_with("DISTINCT")) {
    // FETCH FIRST n [PERCENT] ROWS WITH TIES / ONLY: the rows ranked (numbered) within the
    // first n, or the first n percent rounded up, by the ORDER BY
    size_t skipAt = tiesFetch; // OFFSET n ROWS before the FETCH
    for (size_t m = tiesOrder ? tiesOrder : whereEnd; m < tiesFetch; ++m)
      if (t_[m].depth == d && is(t_[m], "OFFSET") && keywordAt(t_, m)) skipAt = m;
    std::string skipped = "0";
    if (skipAt < tiesFetch) {
      size_t r = skipAt + 1;
      while (r < tiesFetch && !(is(t_[r], "ROW") || is(t_[r], "ROWS"))) ++r;
      skipped = "MAX(0, CAST(" + emit(skipAt + 1, r) + " AS INTEGER))";
    }
    size_t cut = tiesOrder ? tiesOrder : skipAt;
    std::string over = tiesOrder ? "OVER (ORDER BY " + emit(tiesOrder + 2, skipAt) + ")" : "OVER ()";
    size_t x = tiesFetch + 2;
    while (x < end && !(t_[x].depth == d && (is(t_[x], "ROW") || is(t_[x], "ROWS") || is(t_[x], "PERCENT")))) ++x;
    bool percent = is(at(x), "PERCENT");
    bool ties = false;
    for (size_t m = x; m + 1 < end; ++m) ties = ties || (is(t_[m], "WITH") && is(t_[m + 1], "TIES"));
    std::string count = x > tiesFetch + 2 ? emit(tiesFetch + 2, x) : "1";
    out += ", RANK() " + over + " AS \"T$R\", ROW_NUMBER() " + over + " AS \"T$N\"" +
           (percent ? ", COUNT(*) OVER () AS \"T$C\" " : " ");
    out += joined.empty() ? emit(from, cut) : "FROM " + joined + " " + emit(fromEnd, cut);
    std::string cols;
    for (auto& n : outNames) cols += (cols.empty() ? "" : ", ") + quoteIdent(n);
    std::string place = ties ? "\"T$R\"" : "\"T$N\"";
    // rows after the skipped ones, up to n of them (and the rows tied with the last)
    std::string within = "\"T$N\" > " + skipped + " AND " +
                         (percent ? "(" + place + " - " + skipped + " - 1) * 100 < \"T$C\" * (" + count + ")"
                                  : place + " <= " + skipped + " + CAST(" + count + " AS INTEGER)");
    out = "SELECT " + cols + " FROM (" + out + ") WHERE " + within + " ORDER BY \"T$N\"";
  } else if (std::string keys; !anyStar && walk.empty() && outputTies(whereEnd, end, aliases, outNames, keys)) {
    // the same by result columns: ranked over the block's rows
    size_t orderAt = outputTies(whereEnd, end, aliases, outNames, keys);
    out += joined.empty() ? " " + emit(from, orderAt) : " FROM " + joined + " " + emit(fromEnd, orderAt);
    out = rankedRows(out, orderAt, end, keys, outNames);
  } else if (!joined.empty()) {
    out += " FROM " + joined + " " + emit(fromEnd, end);
  } else {
    out += " " + emit(from, end);
  }
  ctx_.pop_back();
  next = end;
  lastNames_ = anyStar ? std::vector<std::string>{} : outNames;
  if (!walk.empty()) {
    // depth first, unless the query sorts otherwise
    bool sorted = false;
    for (size_t i = fromEnd; i + 1 < end; ++i)
      if (t_[i].depth == d && is(t_[i], "ORDER") && is(t_[i + 1], "BY") && !skip_[i]) sorted = true;
    out = "SELECT * FROM (" + walk + out + (sorted ? "" : " ORDER BY \"H$\".\"K$\"" + walkLimit) + ")";
  }
  return out;
}

size_t Translator::tokenAt(size_t pos) const {
  auto it = std::lower_bound(t_.begin(), t_.end(), pos, [](const Token& t, size_t p) { return t.pos < p; });
  return static_cast<size_t>(it - t_.begin());
}

std::string Translator::exactItem(std::string item, const std::string& name, int position,
                                  const std::vector<std::pair<std::string, size_t>>& orderNames, bool exactOut) {
  std::string exact = exactOut ? exactCall(item) : item;
  // the key stands alone, so the NULLS LAST of Oracle's ascending order goes with it
  auto nulls = [&](size_t k) {
    return is(at(k + 1), "ASC") || is(at(k + 1), "DESC") || is(at(k + 1), "NULLS") ? "" : " NULLS LAST";
  };
  if (exact == item) {
    // a number read from a wide column, or a stored function's or a method's, already goes out
    // exact, as a double or as text when longer: SQLite would sort all the doubles before all
    // the texts
    if (item.rfind("ora_add_x(", 0) != 0 && item.rfind("ora_plsql(", 0) != 0 && item.rfind("ora_obj_call(", 0) != 0)
      return item;
    for (auto& [key, at] : orderNames)
      if (key == name || key == "#" + std::to_string(position)) replace_[at] = "CAST(" + item + " AS TEXT) COLLATE ORA_NUMBER" + nulls(at);
    return item;
  }
  for (auto& [key, at] : orderNames)
    if (key == name || key == "#" + std::to_string(position)) replace_[at] = item + nulls(at);
  return exact;
}

// Whether the query block at s gives the statement's result columns as they are, so that a number
// in them may go out as exact decimal text: not inside another statement, a set operation or a
// row limit that compares them. orderNames gets what ORDER BY names: "#n" for a position.
bool Translator::exactResults(size_t s, size_t listBegin, size_t from, size_t whereEnd, size_t end, bool wrapped,
                              std::vector<std::pair<std::string, size_t>>& orderNames, bool namesOnly) const {
  int d = t_[s].depth;
  if ((wrapped && !namesOnly) || d != 0 || expandingGroups_ || !nestedDone_.empty() || t_.empty() || InnerQueries::depth)
    return false;
  // a query, or the rows of INSERT INTO t [(...)] SELECT: a wide column takes every digit
  bool inserted = is(t_[0], "INSERT") && t_.size() > 1 && is(t_[1], "INTO") && is(t_[s], "SELECT");
  if (!is(t_[0], "SELECT") && !is(t_[0], "WITH") && !inserted) return false;
  for (const Token& k : t_)
    if (k.depth == 0 && (is(k, "UNION") || is(k, "INTERSECT") || is(k, "MINUS") || is(k, "EXCEPT") ||
                         (!namesOnly && (is(k, "FETCH") || is(k, "OFFSET")))))
      return false;
  // positions would not be the list's where * or T.* stands for columns (a product is no star)
  for (size_t i = listBegin; i < from; ++i)
    if (is(t_[i], "*") && t_[i].depth == d && (i == listBegin || is(t_[i - 1], ",") || is(t_[i - 1], ".")))
      return false;
  for (size_t i = whereEnd; i + 1 < end; ++i) {
    if (!(t_[i].depth == d && is(t_[i], "ORDER") && is(t_[i + 1], "BY"))) continue;
    size_t kb = i + 2;
    for (size_t k = kb; k <= end; ++k) {
      if (k < end && !(t_[k].depth == d && is(t_[k], ","))) continue;
      // a key of one token, before ASC/DESC/NULLS: a position or a name
      size_t ke = kb + 1;
      bool single = ke == k || (ke < k && (is(t_[ke], "ASC") || is(t_[ke], "DESC") || is(t_[ke], "NULLS") ||
                                           ((is(t_[ke], "FETCH") || is(t_[ke], "OFFSET")) && keywordAt(t_, ke))));
      const Token& key = t_[kb];
      if (kb < end && single && key.kind == Token::Num) orderNames.emplace_back("#" + key.text, kb);
      else if (kb < end && single && (key.kind == Token::Ident || key.kind == Token::QIdent))
        orderNames.emplace_back(key.text, kb);
      kb = k + 1;
    }
    break;
  }
  return true;
}

// f(a, b, ...) over any number of arguments, in calls of at most 100 arguments nested as a
// shallow tree.
std::string Translator::groupedCall(const std::string& f, std::vector<std::string> parts) {
  while (parts.size() > 100) {
    std::vector<std::string> next;
    for (size_t k = 0; k < parts.size(); k += 100) {
      std::string call = f + "(";
      for (size_t m = k; m < std::min(parts.size(), k + 100); ++m) call += (m > k ? ", " : "") + parts[m];
      next.push_back(call + ")");
    }
    parts = std::move(next);
  }
  if (parts.size() == 1) return parts[0];
  std::string call = f + "(";
  for (size_t m = 0; m < parts.size(); ++m) call += (m ? ", " : "") + parts[m];
  return call + ")";
}

// The query blocks on both sides of a set operator give columns of one type family each, or
// the statement is ORA-01790, marked at the first block's column.
void Translator::checkSetTypes() const {
  auto family = [](int code) {
    switch (code) {
    case kNumber: return 1;
    case kVarchar2: case kChar: case kLong: return 2;
    case kDate: return 3;
    case kRaw: case kLongRaw: return 4;
    default: return 0;
    }
  };
  static const std::set<std::string> setOps = {"UNION", "INTERSECT", "MINUS", "EXCEPT"};
  for (size_t i = 1; i + 1 < size(); ++i) {
    if (t_[i].kind != Token::Ident || !setOps.count(t_[i].text)) continue;
    int d = t_[i].depth;
    size_t left = i, right = is(t_[i + 1], "ALL") ? i + 2 : i + 1;
    while (left > 0 && !(t_[left - 1].depth == d && is(t_[left - 1], "SELECT"))) --left;
    if (left == 0 || right >= size() || !is(t_[right], "SELECT")) continue;
    auto l = blockTypes_.find(left - 1), r = blockTypes_.find(right);
    if (l == blockTypes_.end() || r == blockTypes_.end()) continue;
    for (size_t k = 0; k < l->second.size() && k < r->second.size(); ++k) {
      int a = family(l->second[k].first), b = family(r->second[k].first);
      if (a && b && a != b) throw OraError(1790).at(static_cast<int>(t_[l->second[k].second].pos));
    }
  }
}

// The statement's text with the subqueries that were written out as common table expressions.
std::string Translator::withHoisted(const std::string& sql) const {
  if (ctes_.empty()) return sql;
  std::string out = "WITH ";
  for (size_t k = 0; k < ctes_.size(); ++k) out += (k ? ", " : "") + ctes_[k];
  return out + " " + sql;
}

void Translator::query() {
  tr_.kind = StmtKind::Query;
  tr_.function = 4;
  // FOR UPDATE locks rows in Oracle; here writers lock whole schemas, so it is dropped.
  size_t e = size();
  for (size_t i = 0; i < size(); ++i)
    if (t_[i].depth == 0 && is(t_[i], "FOR") && is(at(i + 1), "UPDATE")) { e = i; break; }
  // rows to lock must be rows of a table, not of a set, a group or a DISTINCT
  for (size_t i = 0; e < size() && i < e; ++i)
    if (t_[i].depth == 0 && t_[i].kind == Token::Ident &&
        (is(t_[i], "UNION") || is(t_[i], "INTERSECT") || is(t_[i], "MINUS") ||
         (is(t_[i], "GROUP") && is(at(i + 1), "BY")) ||
         ((is(t_[i], "DISTINCT") || is(t_[i], "UNIQUE")) && i > 0 && is(t_[i - 1], "SELECT")) ||
         isAggregate(i)))
      throw OraError(1786);
  if (e < size()) {
    tr_.forUpdate = true;
    forUpdateSources(e);
    forUpdateColumns(e);
  }
  // an ORDER BY after a compound's last member in parentheses belongs to no block: its
  // positions stay positions (also in an inline view or a subquery)
  for (size_t i = 1; i + 1 < e; ++i)
    if (is(t_[i], "ORDER") && is(t_[i + 1], "BY") && is(t_[i - 1], ")"))
      for (size_t m = i + 2; m < e && t_[m].depth >= t_[i].depth &&
                             !(t_[m].depth == t_[i].depth && (is(t_[m], "OFFSET") || is(t_[m], "FETCH")));
           ++m)
        if (t_[m].kind == Token::Num && t_[m].depth == t_[i].depth) pin_[m] = 1;
  tr_.sql = withHoisted(emit(0, e));
  // UNION, INTERSECT and MINUS give their rows sorted, NULLs last as Oracle sorts them; SQLite
  // puts NULLs first
  size_t lastSet = 0;
  bool ordered = false;
  for (size_t i = 0; i < e; ++i) {
    if (t_[i].depth != 0 || t_[i].kind != Token::Ident) continue;
    if (is(t_[i], "UNION") || is(t_[i], "INTERSECT") || is(t_[i], "MINUS") || is(t_[i], "EXCEPT")) lastSet = i;
    if (is(t_[i], "ORDER") && is(at(i + 1), "BY")) ordered = true;
    if ((is(t_[i], "OFFSET") || is(t_[i], "FETCH")) && keywordAt(t_, i)) ordered = true;
  }
  const auto& cols = compoundFirst_[0];
  if (lastSet && !ordered && !is(at(lastSet + 1), "ALL") && !cols.empty() && blockTypes_.size() >= 2) {
    std::string keys;
    for (size_t k = 1; k <= cols.size(); ++k) keys += (k > 1 ? ", " : " ORDER BY ") + std::to_string(k) + " NULLS LAST";
    tr_.sql += keys;
  }
}

// The inline views a FOR UPDATE reads must have rows of a table to lock (ORA-02014).
void Translator::forUpdateSources(size_t e) const {
  size_t from = 0;
  for (size_t i = 0; i < e && !from; ++i)
    if (t_[i].depth == 0 && is(t_[i], "FROM")) from = i;
  for (size_t i = from; from && i < e; ++i) {
    if (t_[i].depth != 0 || !is(t_[i], "(") || !is(at(i + 1), "SELECT")) continue;
    size_t close = matching(i);
    for (size_t k = i + 2; k < close; ++k)
      if (t_[k].depth == 1 && t_[k].kind == Token::Ident &&
          (is(t_[k], "UNION") || is(t_[k], "INTERSECT") || is(t_[k], "MINUS") ||
           (is(t_[k], "GROUP") && is(at(k + 1), "BY")) || (k == i + 2 && (is(t_[k], "DISTINCT") || is(t_[k], "UNIQUE"))) ||
           isAggregate(k)))
        throw OraError(2014);
    i = close;
  }
}

// FOR UPDATE OF names columns of the tables the query reads: checked as a select list over the
// same FROM clause, its errors placed back on the names.
void Translator::forUpdateColumns(size_t e) const {
  if (!is(at(e + 2), "OF")) return;
  size_t from = 0, last = e + 3;
  for (size_t i = 0; i < e && !from; ++i)
    if (t_[i].depth == 0 && is(t_[i], "FROM")) from = i;
  while (last + 1 < size() && !is(at(last + 1), "NOWAIT") && !is(at(last + 1), "WAIT") && !is(at(last + 1), "SKIP"))
    ++last;
  if (!from || last >= size()) return;
  const std::string head = "SELECT ";
  const size_t b = t_[e + 3].pos, n = t_[last].end - b;
  std::string probe = head + src_.substr(b, n) + " " + src_.substr(t_[from].pos, t_[e].pos - t_[from].pos);
  OraError err(0);
  try {
    Translation t = translate(probe, cat_);
    // a column that is not there shows only when SQLite prepares the statement
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(cat_.db(), t.sql.c_str(), -1, &st, nullptr);
    std::string msg = rc == SQLITE_OK ? "" : sqlite3_errmsg(cat_.db());
    sqlite3_finalize(st);
    if (rc == SQLITE_OK) return;
    err = fromSqlite(rc, msg, "SELECT");
    locateError(err, probe);
  } catch (const OraError& x) {
    err = x;
  }
  if (err.code != 904 && err.code != 918) return; // the query itself reports the rest
  if (err.pos >= static_cast<int>(head.size()) && err.pos < static_cast<int>(head.size() + n))
    err.pos = err.pos - static_cast<int>(head.size()) + static_cast<int>(b);
  else err.pos = static_cast<int>(b);
  throw err;
}

// SELECT * over a join with USING or NATURAL: the shared columns first and once, then the rest
// of each table's, as Oracle lists them.
void Translator::joinedStar(size_t star, size_t from, size_t fromEnd) {
  int d = t_[star].depth;
  size_t joinAt = 0, usingAt = 0;
  bool natural = false;
  for (size_t i = from + 1; i < fromEnd; ++i) {
    if (t_[i].depth != d) continue;
    if (is(t_[i], "JOIN")) {
      if (joinAt) return; // more than two tables
      joinAt = i;
    }
    if (is(t_[i], "NATURAL")) natural = true;
    if (is(t_[i], "USING") && is(at(i + 1), "(")) usingAt = i;
    if (is(t_[i], ",")) return;
  }
  if (!joinAt || (!natural && !usingAt) || ctx_.empty() || ctx_.back().tables.size() != 2) return;
  const TableRef& l = ctx_.back().tables[0];
  const TableRef& r = ctx_.back().tables[1];
  if (!l.dictionary.empty() || !r.dictionary.empty() || l.name == "DUAL" || r.name == "DUAL") return;
  auto lc = cat_.columns(l.name), rc = cat_.columns(r.name);
  std::vector<std::string> shared;
  if (usingAt) {
    for (size_t i = usingAt + 2; i < matching(usingAt + 1); ++i)
      if (t_[i].kind == Token::Ident || t_[i].kind == Token::QIdent) shared.push_back(t_[i].text);
  } else {
    for (auto& c : lc)
      if (std::any_of(rc.begin(), rc.end(), [&](const ColumnInfo& x) { return x.name == c.name; }))
        shared.push_back(c.name);
  }
  auto isShared = [&](const std::string& n) { return std::find(shared.begin(), shared.end(), n) != shared.end(); };
  std::string list;
  for (auto& n : shared) list += (list.empty() ? "" : ", ") + quoteIdent(n);
  for (auto* side : {&l, &r}) {
    std::string q = quoteIdent(side->alias.empty() ? side->name : side->alias);
    for (auto& c : side == &l ? lc : rc)
      if (!isShared(c.name) && !c.invisible) list += (list.empty() ? "" : ", ") + q + "." + quoteIdent(c.name) + " AS " + quoteIdent(c.name);
  }
  if (!list.empty()) replace_[star] = list;
}

// A "*" or "t.*" of a view's query as the columns of the named tables it stands for.
bool Translator::viewStar(size_t i, size_t ie, std::vector<std::string>& names) {
  if (ctx_.empty() || ctx_.back().opaque || (ie != i + 1 && ie != i + 3)) return false;
  std::string qualifier = ie == i + 3 ? t_[i].text : std::string();
  std::string list;
  for (const TableRef& r : ctx_.back().tables) {
    const std::string& exposed = r.alias.empty() ? r.name : r.alias;
    if (!qualifier.empty() && exposed != qualifier) continue;
    if (!r.dictionary.empty() || r.name == "DUAL") return false;
    auto cols = cat_.columns(r.name);
    if (cols.empty()) return false;
    for (auto& c : cols) {
      if (c.invisible) continue;
      list += (list.empty() ? "" : ", ") + quoteIdent(exposed) + "." + quoteIdent(c.name) + " AS " + quoteIdent(c.name);
      names.push_back(c.name);
    }
  }
  if (list.empty()) return false;
  if (ie == i + 3) skip_[i] = skip_[i + 1] = 1;
  replace_[ie - 1] = list;
  return true;
}

} // namespace ora::tx
