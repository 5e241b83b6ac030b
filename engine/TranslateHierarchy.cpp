// Hierarchical queries (START WITH ... CONNECT BY) become a recursive common table expression
// that walks the tree depth first; the query block itself then reads the rows it found.
#include "TranslateImpl.h"

namespace ora::tx {

namespace {
std::string pad(const std::string& n) { return "printf('%012d', " + n + ")"; }
} // namespace

// The column names of the WITH query `name`: its list of names, or its first query block's.
std::vector<std::string> Translator::withColumns(const std::string& name) const {
  std::vector<std::string> out;
  auto [open, names] = cteBodies_.at(name);
  if (names) {
    for (size_t k = names + 1; k < matching(names); ++k)
      if (t_[k].kind == Token::Ident || t_[k].kind == Token::QIdent) out.push_back(t_[k].text);
    return out;
  }
  size_t sel = open + 1;
  while (sel < matching(open) && !is(t_[sel], "SELECT")) ++sel;
  int d = t_[sel].depth;
  size_t from = sel + 1;
  while (from < matching(open) && !(t_[from].depth == d && is(t_[from], "FROM"))) ++from;
  for (size_t k = sel + 1, b = k; k <= from; ++k) {
    if (k < from && !(t_[k].depth == d && is(t_[k], ","))) continue;
    const Token& last = t_[k - 1];
    if (k == b + 1 && is(last, "*") && from + 1 < size() && cat_.tableExists(at(from + 1).text)) {
      for (auto& c : cat_.columns(at(from + 1).text)) // SELECT * FROM table
        if (!c.invisible) out.push_back(c.name);
      b = k + 1;
      continue;
    }
    if (k == b || !(last.kind == Token::Ident || last.kind == Token::QIdent))
      throw OraError(900, "CONNECT BY over this WITH query is not supported");
    out.push_back(last.text);
    b = k + 1;
  }
  return out;
}

// [b, e) holds a hierarchical clause at depth d: prepares the block's tokens and returns the
// common table expression; empty when the block has none.
std::string Translator::hierarchy(size_t from, size_t fromEnd, size_t end, int d) {
  size_t startAt = 0, connectAt = 0;
  for (size_t i = fromEnd; i + 1 < end; ++i) {
    if (t_[i].depth != d) continue;
    if (is(t_[i], "START") && is(t_[i + 1], "WITH")) startAt = i;
    if (is(t_[i], "CONNECT") && is(t_[i + 1], "BY")) connectAt = i;
  }
  if (!connectAt) {
    if (startAt) throw OraError(1788); // START WITH without CONNECT BY
    size_t blockBegin = from;
    while (blockBegin > 0 && !(t_[blockBegin].depth == d && is(t_[blockBegin], "SELECT"))) --blockBegin;
    for (size_t i = blockBegin; i < end; ++i) {
      if (t_[i].depth != d || t_[i].kind != Token::Ident || (i > 0 && is(t_[i - 1], "."))) continue;
      if (is(t_[i], "LEVEL") && !is(at(i + 1), "(")) throw OraError(1788).at(static_cast<int>(t_[i].pos));
      if (is(t_[i], "ORDER") && is(at(i + 1), "SIBLINGS")) throw OraError(30929).at(static_cast<int>(t_[i].pos));
    }
    return {};
  }
  static const std::set<std::string> stops = {"START", "CONNECT", "GROUP", "ORDER", "HAVING", "UNION",
                                              "INTERSECT", "MINUS", "EXCEPT", "FOR"};
  size_t startEnd = startAt ? clauseEnd(startAt + 2, end, d, stops) : 0;
  size_t condBegin = connectAt + 2;
  bool nocycle = is(at(condBegin), "NOCYCLE");
  if (nocycle) ++condBegin;
  size_t condEnd = clauseEnd(condBegin, end, d, stops);
  if (condEnd == condBegin) throw OraError(936);

  // one table, with or without an alias
  size_t tb = from + 1, te = fromEnd;
  if (te - tb == 0) throw OraError(903);
  size_t nameAt = tb;
  if (te - tb >= 3 && is(at(tb + 1), ".")) nameAt = tb + 2;
  // or a subquery: (SELECT ...) [alias]
  const bool inline_ = is(at(tb), "(") && is(at(tb + 1), "SELECT");
  size_t aliasAt = inline_ ? matching(tb) + 1 : nameAt + 1;
  if (aliasAt < te && is(at(aliasAt), "AS")) ++aliasAt;
  if (aliasAt + 1 < te || (aliasAt < te && !aliasToken(aliasAt)))
    throw OraError(900, "CONNECT BY over more than one table is not supported");
  const std::string table = inline_ ? std::string() : at(nameAt).text;
  bool dual = !inline_ && table == "DUAL" && (at(nameAt).kind == Token::Ident || !cat_.tableExists(table)) &&
              (nameAt == tb || at(tb).text == "SYS");
  const bool withQuery = !inline_ && nameAt == tb && cteBodies_.count(table);
  if (!inline_ && !dual && !withQuery && !cat_.tableExists(table)) throw OraError(942, table).at(static_cast<int>(at(nameAt).pos));
  const std::string alias = aliasAt < te ? at(aliasAt).text : inline_ ? "V$" : table;
  const std::string self = quoteIdent(alias), parent = "\"P$\"", cte = "\"H$\"";
  std::vector<std::string> sourceColumns; // in order
  if (dual) sourceColumns.push_back("DUMMY");
  else if (withQuery) sourceColumns = withColumns(table);
  else if (!inline_)
    for (auto& c : cat_.columns(table)) sourceColumns.push_back(c.name);
  else {
    // a subquery's columns: its aliases and column names, or the columns of its one table for *
    size_t close = matching(tb), b = tb + 2, subFrom = clauseEnd(b, close, d + 1, {"FROM"});
    for (size_t k = b; k <= subFrom; ++k) {
      if (k < subFrom && !(t_[k].depth == d + 1 && is(t_[k], ","))) continue;
      if (k == b + 1 && is(t_[b], "*") && subFrom + 1 < close && cat_.tableExists(at(subFrom + 1).text))
        for (auto& c : cat_.columns(at(subFrom + 1).text)) {
          if (!c.invisible) sourceColumns.push_back(c.name);
        }
      else if (k > b && (t_[k - 1].kind == Token::Ident || t_[k - 1].kind == Token::QIdent))
        sourceColumns.push_back(t_[k - 1].text);
      else
        throw OraError(900, "CONNECT BY over this subquery is not supported");
      b = k + 1;
    }
  }
  std::set<std::string> columns(sourceColumns.begin(), sourceColumns.end());
  // a view's or a subquery's rows have no rowid: they are numbered once, in a table of the
  // statement's own
  const bool view = inline_ || withQuery || (!dual && cat_.viewExists(table));
  const std::string row = dual ? "1" : view ? self + ".\"RID$\"" : self + ".rowid";
  const std::string parentRow = parent + (view ? ".\"RID$\"" : ".rowid");
  const std::string src = dual ? "(SELECT 'X' AS \"DUMMY\")" : view ? "\"S$\"" : quoteIdent(table);
  const std::string numbered =
      view ? "\"S$\" AS MATERIALIZED (SELECT *, row_number() OVER () AS \"RID$\" FROM " +
                 (inline_ ? "(" + emit(tb + 1, matching(tb)) + ")" : quoteIdent(table)) + "), "
           : "";
  {
    // SELECT * reads the table's columns, not the walk's
    size_t selectAt = from;
    while (selectAt > 0 && !(t_[selectAt].depth == d && is(t_[selectAt], "SELECT"))) --selectAt;
    std::string all;
    std::set<std::string> invisible;
    if (!dual && !withQuery && !inline_)
      for (auto& c : cat_.columns(table))
        if (c.invisible) invisible.insert(c.name);
    for (auto& c : sourceColumns)
      if (!invisible.count(c)) all += (all.empty() ? "" : ", ") + self + "." + quoteIdent(c);
    for (size_t i = selectAt + 1; i < from && !dual && !all.empty(); ++i)
      if (t_[i].depth == d && is(t_[i], "*") && (is(t_[i - 1], ",") || i == selectAt + 1 || is(t_[i - 1], "DISTINCT") ||
                                                  is(t_[i - 1], "UNIQUE") || is(t_[i - 1], "ALL")))
        replace_[i] = all;
  }
  bool prior = false;
  for (size_t i = condBegin; i < condEnd; ++i) prior = prior || is(t_[i], "PRIOR");

  // Unqualified columns name the table; beside its parent row they must say which one.
  auto qualify = [&](size_t b, size_t e) {
    for (size_t i = b; i < e; ++i) {
      const Token& k = t_[i];
      if ((k.kind == Token::Ident || k.kind == Token::QIdent) && columns.count(k.text) && replace_[i].empty() &&
          !skip_[i] && !(i > 0 && is(t_[i - 1], ".")) && !is(at(i + 1), "(") && !is(at(i + 1), ".") &&
          !(k.kind == Token::Ident && keywordAt(t_, i)))
        replace_[i] = self + "." + quoteIdent(k.text);
    }
  };
  auto isLevel = [&](size_t i) {
    return t_[i].kind == Token::Ident && t_[i].text == "LEVEL" && !(i > 0 && is(t_[i - 1], ".")) && !is(at(i + 1), "(");
  };
  // PRIOR and CONNECT_BY_ROOT take the expression right after them: a column, a call or one in
  // parentheses
  auto operandEnd = [&](size_t b) {
    if (is(at(b), "(")) return matching(b) + 1;
    size_t e = b + 1;
    if (is(at(b + 1), ".")) e = b + 3;
    if (is(at(e), "(") && !outerMark(e)) e = matching(e) + 1;
    return e;
  };
  // the columns of [b, e) read from the parent row (DUAL's one row is its own parent)
  auto ofParent = [&](size_t b, size_t e) {
    qualify(b, e);
    for (size_t m = b; m < e; ++m) {
      const Token& k = t_[m];
      if (!(k.kind == Token::Ident || k.kind == Token::QIdent)) continue;
      if (is(at(m + 1), ".") && m + 2 < e && columns.count(at(m + 2).text) && !is(at(m + 3), "(")) {
        skip_[m] = skip_[m + 1] = 1; // alias.column
        m += 2;
      } else if (replace_[m] != self + "." + quoteIdent(k.text)) {
        continue;
      }
      replace_[m] = dual ? std::string("'X'") : parent + "." + quoteIdent(t_[m].text);
    }
  };
  auto within = [&](size_t i, size_t b, size_t e) { return b && i >= b && i < e; };

  // columns of the walk: the row, its level, its place in depth-first order, the rows above it
  // and whether it closes a loop (it is on its own way up)
  // A loop is a row whose PRIOR values (taken as the parent's) repeat those of a row above it,
  // so PRIOR SYS_GUID() IS NOT NULL, which never repeats, lets each row be its own child.
  std::string loopKey;
  for (size_t i = condBegin; i < condEnd && prior; ++i) {
    if (!is(t_[i], "PRIOR")) continue;
    size_t b = i + 1, e = std::min(operandEnd(b), condEnd);
    bool plain = true;
    for (size_t m = b; m < e; ++m)
      plain = plain && !isLevel(m) && !is(t_[m], "ROWNUM") && !is(t_[m], "SELECT") && !is(t_[m], "PRIOR") &&
              t_[m].text.rfind("CONNECT_BY_", 0) != 0;
    if (!plain) {
      loopKey.clear();
      break;
    }
    const std::vector<std::string> written(replace_.begin() + b, replace_.begin() + e);
    const std::vector<char> skipped(skip_.begin() + b, skip_.begin() + e);
    qualify(b, e);
    std::string v = emit(b, e);
    std::copy(written.begin(), written.end(), replace_.begin() + b);
    std::copy(skipped.begin(), skipped.end(), skip_.begin() + b);
    loopKey += (loopKey.empty() ? "" : " || ") + std::string("char(1) || printf('%s', ") + v + ") || char(1)";
    i = e - 1;
  }
  if (loopKey.empty()) loopKey = row;
  const std::string looped = "instr(" + cte + ".\"V$\", '/' || " + loopKey + " || '/') > 0";
  const bool loopIsError = prior && !nocycle;
  // The row generator (DUAL, no PRIOR) walks one row per level: the level is its place in the
  // order, and no way up is kept, so a million levels cost no more than a million rows.
  const bool chain = dual && !prior;
  std::vector<std::string> names = {"\"R$\"", "\"L$\"", "\"K$\"", "\"V$\"", "\"C$\""};
  std::vector<std::string> anchor = {row, "1", chain ? "1" : pad(row), chain ? "NULL" : "'/' || " + loopKey + " || '/'",
                                     "0"};
  std::vector<std::string> step = {row, cte + ".\"L$\" + 1",
                                   chain ? cte + ".\"L$\" + 1" : cte + ".\"K$\" || " + pad(row),
                                   chain ? "NULL" : cte + ".\"V$\" || " + loopKey + " || '/'",
                                   loopIsError ? looped : "0"};
  std::vector<size_t> cycles; // CONNECT_BY_ISCYCLE, known once the condition is
  // SYS_CONNECT_BY_PATH(x, sep) and CONNECT_BY_ROOT x anywhere in the block
  size_t blockBegin = from;
  while (blockBegin > 0 && !(t_[blockBegin].depth == d && is(t_[blockBegin], "SELECT"))) --blockBegin;
  for (size_t i = blockBegin; i < end; ++i) {
    const Token& k = t_[i];
    if (k.kind != Token::Ident || skip_[i]) continue;
    const bool inStart = within(i, startAt, startEnd), inCondition = within(i, condBegin, condEnd);
    if (inStart || inCondition) {
      // the walk's own values are not known while it decides which rows it takes
      if (k.text == "SYS_CONNECT_BY_PATH" && is(at(i + 1), "(")) throw OraError(30002).at(static_cast<int>(k.pos));
      if (k.text == "CONNECT_BY_ROOT") throw OraError(30007).at(static_cast<int>(k.pos));
      if (((k.text == "CONNECT_BY_ISLEAF" || k.text == "CONNECT_BY_ISCYCLE") && !is(at(i + 1), "(")) ||
          (inStart && k.text == "PRIOR"))
        throw OraError(976).at(static_cast<int>(k.pos));
    }
    if (k.text == "SYS_CONNECT_BY_PATH" && is(at(i + 1), "(")) {
      size_t close = matching(i + 1), comma = i + 2;
      while (comma < close && !(t_[comma].depth == k.depth + 1 && is(t_[comma], ","))) ++comma;
      if (comma >= close) throw OraError(909);
      // a date in the session's date format
      bool date = exprType(i + 2, comma).code == kDate;
      if (size_t c = comma == i + 3 ? i + 2 : comma == i + 5 && is(at(i + 3), ".") ? i + 4 : 0; c && !dual) {
        ColType ct;
        if (inline_) date = date || (derivedColumnType(tb, t_[c].text, ct) && ct.code == kDate);
        else if (withQuery)
          date = date || (derivedColumnType(cteBodies_.at(table).first, t_[c].text, ct, cteBodies_.at(table).second) &&
                          ct.code == kDate);
        else
          for (auto& col : cat_.columns(table)) date = date || (col.name == t_[c].text && col.type.code == kDate);
      }
      qualify(i + 2, comma);
      std::string sep = emit(comma + 1, close);
      // A value holding the separator would make the path ambiguous. LEVEL is 1 in the walk's
      // first row and the child's level in each step; emitting rewrites tokens in place, so each
      // version starts from them as written.
      const std::vector<std::string> written(replace_.begin() + i + 2, replace_.begin() + comma);
      const std::vector<char> skipped(skip_.begin() + i + 2, skip_.begin() + comma);
      auto element = [&](const std::string& level) {
        std::copy(written.begin(), written.end(), replace_.begin() + i + 2);
        std::copy(skipped.begin(), skipped.end(), skip_.begin() + i + 2);
        for (size_t m = i + 2; m < comma; ++m)
          if (isLevel(m)) replace_[m] = level;
        std::string v = emit(i + 2, comma);
        if (date) v = "TO_CHAR(" + v + ")";
        return "CASE WHEN instr(" + v + ", " + sep + ") > 0 THEN ora_raise(30004) ELSE " + v + " END";
      };
      std::string first = element("1"), next = element("(" + cte + ".\"L$\" + 1)");
      std::string col = "\"P" + std::to_string(names.size()) + "$\"";
      names.push_back(col);
      anchor.push_back("(" + sep + ") || (" + first + ")");
      step.push_back(cte + "." + col + " || (" + sep + ") || (" + next + ")");
      replace_[i] = cte + "." + col;
      for (size_t m = i + 1; m <= close; ++m) skip_[m] = 1;
      i = close;
    } else if (k.text == "CONNECT_BY_ROOT") {
      size_t b = i + 1, e = operandEnd(b);
      qualify(b, e);
      std::string col = "\"T" + std::to_string(names.size()) + "$\"";
      names.push_back(col);
      anchor.push_back(emit(b, e));
      step.push_back(cte + "." + col);
      replace_[i] = cte + "." + col;
      for (size_t m = b; m < e; ++m) skip_[m] = 1;
      i = e - 1;
    } else if (k.text == "PRIOR" && !(i >= condBegin && i < condEnd) && k.depth == d) {
      // the parent row's value outside the condition: NULL on a root
      size_t b = i + 1, e = operandEnd(b);
      ofParent(b, e);
      std::string col = "\"Q" + std::to_string(names.size()) + "$\"";
      names.push_back(col);
      anchor.push_back("NULL");
      step.push_back(emit(b, e));
      replace_[i] = cte + "." + col;
      for (size_t m = b; m < e; ++m) skip_[m] = 1;
      i = e - 1;
    } else if (k.text == "CONNECT_BY_ISLEAF" && !is(at(i + 1), "(")) {
      // a leaf has no row of the walk one step below it
      if (chain) {
        replace_[i] = "(" + cte + ".\"L$\" = (SELECT max(\"L$\") FROM " + cte + "))";
        continue;
      }
      const std::string x = "\"X$\"", key = cte + ".\"K$\"";
      replace_[i] = "(NOT EXISTS (SELECT 1 FROM " + cte + " AS " + x + " WHERE length(" + x + ".\"K$\") = length(" +
                    key + ") + 12 AND substr(" + x + ".\"K$\", 1, length(" + key + ")) = " + key + "))";
    } else if (k.text == "CONNECT_BY_ISCYCLE" && !is(at(i + 1), "(")) {
      if (!nocycle) throw OraError(30930).at(static_cast<int>(k.pos));
      cycles.push_back(i);
    } else if (isLevel(i) && !(i >= condBegin && i < condEnd) && !(startAt && i >= startAt && i < startEnd) &&
               replace_[i].empty()) { // a super-aggregate row of ROLLUP(LEVEL) has none
      replace_[i] = cte + ".\"L$\"";
    }
  }

  // ORDER SIBLINGS BY: each row's rank in that order places it among its siblings
  std::string ranks;
  for (size_t i = fromEnd; i + 2 < end; ++i) {
    if (t_[i].depth != d || !is(t_[i], "ORDER") || !is(t_[i + 1], "SIBLINGS") || !is(t_[i + 2], "BY")) continue;
    size_t ob = i + 3, oe = clauseEnd(ob, end, d, stops);
    for (size_t m = ob; m < oe; ++m) // a row limit after the siblings' order
      if (t_[m].depth == d && (is(t_[m], "FETCH") || is(t_[m], "OFFSET")) && keywordAt(t_, m)) oe = m;
    // a key by position or by the select list's name for a column orders by that column; LEVEL
    // is the same for all siblings
    size_t selectAt = from;
    while (selectAt > 0 && !(t_[selectAt].depth == d && is(t_[selectAt], "SELECT"))) --selectAt;
    std::vector<std::pair<size_t, std::string>> items; // a column's token, the item's name
    for (size_t k = selectAt + 1, b = k; k <= from; ++k) {
      if (k < from && !(t_[k].depth == d && is(t_[k], ","))) continue;
      size_t e = k;
      std::string name;
      if (e - b >= 2 && aliasToken(e - 1) && (is(t_[e - 2], "AS") || t_[e - 2].kind != Token::Op)) {
        name = t_[e - 1].text;
        e -= is(t_[e - 2], "AS") ? 2 : 1;
      }
      size_t col = e == b + 1 ? b : e == b + 3 && is(t_[b + 1], ".") ? b + 2 : 0;
      bool plain = col && (t_[col].kind == Token::Ident || t_[col].kind == Token::QIdent) && columns.count(t_[col].text);
      items.emplace_back(plain ? col : 0, name.empty() && plain ? t_[col].text : name);
      b = k + 1;
    }
    for (size_t m = ob; m < oe; ++m) {
      bool single = t_[m].depth == d && (m == ob || is(t_[m - 1], ",")) &&
                    (m + 1 == oe || is(t_[m + 1], ",") || is(t_[m + 1], "ASC") || is(t_[m + 1], "DESC") || is(t_[m + 1], "NULLS"));
      if (!single) continue;
      if (isLevel(m)) {
        replace_[m] = "NULL";
      } else if (t_[m].kind == Token::Num) {
        size_t n = static_cast<size_t>(std::atoi(t_[m].text.c_str()));
        if (n < 1 || n > items.size()) throw OraError(1785).at(static_cast<int>(t_[m].pos));
        if (items[n - 1].first) replace_[m] = self + "." + quoteIdent(t_[items[n - 1].first].text);
      } else if (t_[m].kind == Token::Ident || t_[m].kind == Token::QIdent) {
        for (auto& [col, name] : items)
          if (col && name == t_[m].text && !columns.count(t_[m].text)) replace_[m] = self + "." + quoteIdent(t_[col].text);
      }
    }
    qualify(ob, oe);
    nullsOrder(ob, oe, d);
    if (!chain) { // one row per level has no siblings to order
      ranks = "\"O$\"(\"R\", \"N\") AS (SELECT " + row + ", row_number() OVER (ORDER BY " + emit(ob, oe) + ", " +
              row + ") FROM " + src + " AS " + self + "), ";
      std::string rank = pad("(SELECT \"N\" FROM \"O$\" WHERE \"R\" = " + row + ")");
      anchor[2] = rank;
      step[2] = cte + ".\"K$\" || " + rank;
    }
    for (size_t m = i; m < oe; ++m) skip_[m] = 1;
    break;
  }

  // the connecting condition: PRIOR marks the parent row's value, LEVEL is the child's
  auto inSubquery = [&](size_t i) {
    for (size_t m = condBegin + 1; m < i; ++m)
      if (is(t_[m], "SELECT") && is(t_[m - 1], "(") && matching(m - 1) > i) return true;
    return false;
  };
  qualify(condBegin, condEnd);
  for (size_t i = condBegin; i < condEnd; ++i) {
    if (is(t_[i], "PRIOR")) {
      size_t b = i + 1, e = operandEnd(b);
      if (e > condEnd) throw OraError(936).at(static_cast<int>(t_[i].pos));
      skip_[i] = 1;
      ofParent(b, e);
      for (size_t m = b; m < e; ++m)
        if (isLevel(m)) replace_[m] = cte + ".\"L$\""; // the parent's level
      i = e - 1;
    } else if (!dual && is(t_[i], "ROWNUM") && !(i > 0 && is(t_[i - 1], ".")) && !inSubquery(i)) {
      // it would count the rows of a depth-first walk as it goes, which ours is not
      throw OraError(900, "ROWNUM in CONNECT BY over a table is not supported").at(static_cast<int>(t_[i].pos));
    } else if (isLevel(i) || (dual && is(t_[i], "ROWNUM") && !(i > 0 && is(t_[i - 1], ".")))) {
      // on DUAL each level is one row, so ROWNUM counts the levels
      replace_[i] = "(" + cte + ".\"L$\" + 1)";
      // text compared with the level is read as a number: as text it would exceed every level,
      // and the walk would never end
      for (size_t lit : {i + 2, i - 2})
        if (lit < condEnd && lit >= condBegin && t_[lit].kind == Token::Str &&
            t_[(lit + i) / 2].kind == Token::Op && replace_[lit].empty()) {
          pin_[lit] = 1;
          replace_[lit] = "ora_num(" + quoteString(t_[lit].text) + ")";
        }
    }
  }
  std::string cond = emit(condBegin, condEnd);
  // a row closes a loop when one of its children is already on its way up
  for (size_t i : cycles)
    replace_[i] = dual ? std::string("0")
                       : "(EXISTS (SELECT 1 FROM " + src + " AS " + parent + " JOIN " + src + " AS " + self + " ON (" +
                             cond + ") WHERE " + parentRow + " = " + cte + ".\"R$\" AND " + looped + "))";
  std::string start;
  if (startAt) {
    for (size_t i = startAt + 2; i < startEnd; ++i)
      if (isLevel(i)) replace_[i] = "1";
    start = " WHERE " + emit(startAt + 2, startEnd);
  }
  for (size_t i = connectAt; i < condEnd; ++i) skip_[i] = 1;
  for (size_t i = startAt; startAt && i < startEnd; ++i) skip_[i] = 1;

  std::string sql = "WITH RECURSIVE " + numbered + ranks + cte + "(";
  for (size_t k = 0; k < names.size(); ++k) sql += (k ? ", " : "") + names[k];
  sql += ") AS (SELECT ";
  for (size_t k = 0; k < anchor.size(); ++k) sql += (k ? ", " : "") + anchor[k];
  sql += " FROM " + src + " AS " + self + start + " UNION ALL SELECT ";
  for (size_t k = 0; k < step.size(); ++k) sql += (k ? ", " : "") + step[k];
  // A row already on the way up closes a loop: NOCYCLE leaves it out, otherwise it is kept, not
  // followed, and reading it is ORA-01436. Without PRIOR (the row generator CONNECT BY LEVEL <= n)
  // rows repeat by design, and only the condition ends the walk.
  std::string loop = !prior ? "" : loopIsError ? " WHERE " + cte + ".\"C$\" = 0" : " AND NOT " + looped;
  sql += " FROM " + cte + (dual ? "" : " JOIN " + src + " AS " + parent + " ON " + parentRow + " = " + cte + ".\"R$\"") +
         " JOIN " + src + " AS " + self + " ON (" + cond + ")" + loop + ") ";

  // the block reads the walk joined to the table
  replace_[nameAt] = cte + " JOIN " + src + " AS " + self + " ON " + row + " = " + cte + ".\"R$\"" +
                     (loopIsError ? " AND (" + cte + ".\"C$\" = 0 OR ora_raise(1436))" : "");
  for (size_t i = tb; i < nameAt; ++i) skip_[i] = 1;
  for (size_t i = nameAt + 1; i < te; ++i) skip_[i] = 1;
  return sql;
}

} // namespace ora::tx
