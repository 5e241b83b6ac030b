// INSERT, UPDATE and DELETE.
#include "TranslateImpl.h"
#include "Booleans.h"
#include "DdlImpl.h"
#include "Collections.h"

#include "Dictionary.h"
#include "Intervals.h"
#include "MaterializedViews.h"
#include "Number.h"
#include "OraFunctions.h"
#include "ObjectTypes.h"
#include "Session.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <sqlite3.h>

namespace ora::tx {

std::string Translator::convWrap(const std::string& expr, const ColumnInfo& col, const std::string& table) {
  if (!col.type.object.empty())
    return "ora_obj_check(" + expr + ", " + quoteString(col.type.object) +
           (notSubstitutable(cat_.db(), table, col.name) ? ", 1)" : ")");
  std::string label = "\"" + cat_.user() + "\".\"" + table + "\".\"" + col.name + "\"";
  if (col.type.xml) return "XMLTYPE(" + expr + ")"; // text becomes a document, or fails as XMLTYPE() does
  if (col.type.json) return "ora_json_doc(" + expr + ")"; // text becomes compact JSON, or fails with ORA-40441
  // the nearest value of the binary type; NaN and the infinities kept
  if (col.type.code == kNumber && col.type.binary) return "ora_fp_cast(" + std::to_string(col.type.binary) + ", " + expr + ")";
  // a column that keeps more digits than a double takes the value as exact text
  return "ora_conv(" + (col.type.isWide() ? exactCall(expr) : expr) + ", " + std::to_string(col.type.code) + ", " +
         std::to_string(col.type.lob ? -1 : convLimit(col.type)) + ", " + // -1: a LOB, which may be empty
         std::to_string(col.type.textStored && col.type.precision == 0 ? -1 : col.type.precision) + ", " +
         std::to_string(col.type.scale) + ", " +
         (col.type.isFloat() && col.type.textStored ? "2" : col.type.hasScale ? "1" : "0") + ", " +
         quoteString(label) + ")";
}

std::string Translator::assignable(int from, std::string v, const ColumnInfo& col, const ColType* full) {
  int to = col.type.code;
  if (from == kNamedType && to != kNamedType) throw OraError(932, std::string("expected ") + typeWordFor(to) + " got UDT");
  if (isInterval(from) && (to == kVarchar2 || to == kChar || to == kLong))
    return "ora_iv_char(" + v + ", " + std::to_string(full ? full->precision : 9) + ", " +
           std::to_string(full ? full->scale : from == kIntervalDs ? 9 : 0) + ")";
  // an interval goes only into an interval of its kind, or text
  if ((isInterval(from) || isInterval(to)) && from != to && from && !(to == kVarchar2 || to == kChar || to == kLong) &&
      from != kVarchar2 && from != kChar && from != kLong)
    throw OraError(932, std::string("expected ") + typeWordFor(to) + " got " + typeWordFor(from));
  if (to == kNumber && from == kDate) throw OraError(932, "expected NUMBER got DATE");
  if (to == kDate && from == kNumber) throw OraError(932, "expected DATE got NUMBER");
  if (from == kDate && (to == kVarchar2 || to == kChar || to == kLong)) v = "TO_CHAR(" + v + ")";
  // a truth becomes its word in text; only numbers and text become a truth
  if (from == kBoolean && (to == kVarchar2 || to == kChar || to == kLong)) v = "ora_bool_text(" + v + ")";
  if (to == kBoolean && (from == kDate || isTimestamp(from) || isInterval(from) || from == kRaw))
    throw OraError(932, std::string("expected BOOLEAN got ") + typeWordFor(from));
  return v;
}

size_t Translator::dmlTarget(size_t i, const char* next, TableRef& r) {
  i = objectName(i, r.name);
  std::string synonym;
  if (!cat_.tableExists(r.name)) {
    std::string target = cat_.synonymTarget(r.name);
    if (target.empty()) throw OraError(942, r.name).at(static_cast<int>(at(i - 1).pos));
    if (!cat_.tableExists(target)) throw OraError(980).at(static_cast<int>(at(i - 1).pos));
    synonym = r.name;
    r.name = target;
  }
  // a materialized view changes only by its refresh
  if (MviewWrites::depth == 0 && !cat_.objectTypeOf(r.name, "MATERIALIZED VIEW").empty())
    throw OraError(1732).at(static_cast<int>(at(i - 1).pos));
  checkWritable(cat_.db(), cat_.user(), r.name, static_cast<int>(at(i - 1).pos));
  tr_.target = r.name;
  if (aliasToken(i) && !is(at(i), next)) { r.alias = at(i).text; ++i; }
  else if (!synonym.empty()) r.alias = synonym; // columns may be qualified by the synonym
  Context c;
  c.tables.push_back(r);
  ctx_.push_back(c);
  return i;
}

void Translator::insert() {
  tr_.kind = StmtKind::Dml;
  tr_.function = 3;
  expect(1, "INTO", 925);
  TableRef r;
  size_t i = dmlTarget(2, "VALUES", r);
  const std::string& table = r.name;
  auto cols = cat_.columns(table);
  std::vector<ColumnInfo> target;
  if (is(at(i), "(") && !is(at(i + 1), "SELECT")) {
    ++i;
    for (;;) {
      const Token& k = at(i);
      if (k.kind != Token::Ident && k.kind != Token::QIdent) throw OraError(904);
      std::string name = k.text;
      if (is(at(i + 1), ".")) { name = at(i + 2).text; i += 2; }
      target.push_back(findColumn(cols, name));
      ++i;
      if (is(at(i), ",")) { ++i; continue; }
      if (is(at(i), ")")) { ++i; break; }
      throw OraError(917);
    }
  } else {
    for (const auto& c : cols)
      if (!c.invisible) target.push_back(c);
  }
  // an identity column left out is numbered by its sequence
  std::vector<ColumnInfo> numbered;
  for (const auto& c : cols)
    if (!c.identity.empty() &&
        std::none_of(target.begin(), target.end(), [&](const ColumnInfo& t) { return t.name == c.name; }))
      numbered.push_back(c);
  std::string head = "INSERT INTO " + quoteIdent(table) + " (";
  for (size_t k = 0; k < target.size(); ++k) head += (k ? ", " : "") + quoteIdent(target[k].name);
  for (const auto& c : numbered) head += (target.empty() ? "" : ", ") + quoteIdent(c.name);
  head += ")";
  std::string extra;
  for (const auto& c : numbered) extra += ", " + defaultOf(c);
  if (is(at(i), "VALUES")) {
    tr_.sql = head + " VALUES ";
    // the one row of VALUES is the first: ROWNUM is 1 (a subquery numbers its own rows)
    for (size_t m = i + 1; m < size(); ++m)
      if (is(t_[m], "(") && (is(at(m + 1), "SELECT") || is(at(m + 1), "WITH"))) m = matching(m);
      else if (is(t_[m], "ROWNUM") && !is(at(m + 1), "(") && !is(t_[m - 1], ".") && replace_[m].empty()) replace_[m] = "1";
    // each row of a VALUES list moves a sequence once, as a statement of its own would
    bool first = true;
    for (bool more = true; more; first = false, firstNextval_.clear()) {
      ++i;
      expect(i, "(", 906);
      int d = at(i).depth;
      size_t close = i + 1;
      while (close < size() && !(t_[close].depth == d && is(t_[close], ")"))) ++close;
      more = is(at(close + 1), ",") && is(at(close + 2), "(");
      if (!more && close + 1 < size()) unexpected(close + 1);
      std::vector<std::string> vals;
      std::vector<char> byDefault; // the value is the keyword DEFAULT
      size_t b = i + 1;
      for (size_t k = b; k <= close; ++k) {
        if (k == close || (t_[k].depth == d + 1 && is(t_[k], ","))) {
          if (k == b) throw OraError(936);
          bool dflt = k == b + 1 && is(t_[b], "DEFAULT");
          byDefault.push_back(dflt);
          std::string v = dflt ? std::string() : emit(b, k);
          if (!dflt && vals.size() < target.size()) {
            ColType ft = exprType(b, k);
            v = assignable(ft.code, v, target[vals.size()], &ft);
          }
          vals.push_back(v);
          b = k + 1;
        }
      }
      if (vals.size() == 1 && !byDefault[0] && !target.empty() && objectRow(table, i + 1, close, target.size(), vals))
        byDefault.assign(vals.size(), 0);
      if (vals.size() < target.size()) throw OraError(947);
      if (vals.size() > target.size()) throw OraError(913);
      tr_.sql += first ? "(" : ", (";
      for (size_t k = 0; k < vals.size(); ++k) {
        if (!byDefault[k] && target[k].always) throw OraError(32795);
        std::string v = byDefault[k] ? defaultOf(target[k]) : convWrap(vals[k], target[k], table);
        if (!byDefault[k] && target[k].onNull) v = "coalesce(" + v + ", " + defaultOf(target[k]) + ")";
        tr_.sql += (k ? ", " : "") + v;
      }
      tr_.sql += extra + ")";
      i = close + 1;
    }
    tr_.sql = withHoisted(tr_.sql);
  } else if (is(at(i), "SELECT") || is(at(i), "(") || is(at(i), "WITH")) {
    // INSERT ... (SELECT ...): the parentheses go, SQLite takes the query bare
    bool wrapped = is(at(i), "(") && matching(i) + 1 == size();
    std::string src = withHoisted(wrapped ? emit(i + 1, size() - 1) : emit(i, size()));
    auto types = blockTypes_.find(wrapped ? i + 1 : i);
    if (std::string obj = objectQueryRow(table, wrapped ? i + 1 : i, target); !obj.empty()) {
      // an object table's rows from a query of its objects: each attribute into its column
      std::string sel = " SELECT ";
      for (size_t k = 0; k < target.size(); ++k)
        sel += (k ? ", " : "") + convWrap("ora_obj_attr(\"O$\", " + quoteString(target[k].name) + ")", target[k], table);
      tr_.sql = "WITH \"SRC$\"(\"O$\") AS (" + src + ") " + head + sel + extra + " FROM \"SRC$\"";
      ctx_.pop_back();
      return;
    }
    std::string cte = "WITH \"SRC$\"(";
    std::string sel = " SELECT ";
    for (size_t k = 0; k < target.size(); ++k) {
      if (target[k].always) throw OraError(32795);
      std::string cn = "\"C" + std::to_string(k + 1) + "\"";
      cte += (k ? ", " : "") + cn;
      int from = types != blockTypes_.end() && k < types->second.size() ? types->second[k].first : 0;
      std::string v = convWrap(assignable(from, cn, target[k]), target[k], table);
      if (target[k].onNull) v = "coalesce(" + v + ", " + defaultOf(target[k]) + ")";
      sel += (k ? ", " : "") + v;
    }
    tr_.sql = cte + ") AS (" + src + ") " + head + sel + extra + " FROM \"SRC$\"";
  } else {
    throw OraError(926);
  }
  ctx_.pop_back();
}

// DEFAULT in VALUES or SET: the column's own default, as the table stores it (our own DDL wrote it).
std::string Translator::defaultOf(const ColumnInfo& c) {
  if (!c.identity.empty()) return "ora_nextval(" + quoteString(c.identity) + ")";
  return c.dflt.empty() ? std::string("NULL") : "(" + c.dflt + ")";
}

void Translator::update() {
  tr_.kind = StmtKind::Dml;
  tr_.function = 5;
  TableRef r;
  size_t i = dmlTarget(1, "SET", r);
  const std::string& table = r.name;
  auto cols = cat_.columns(table);
  expect(i, "SET", 971);
  ++i;
  rejectAggregates(i, size()); // the rows are changed one by one: no groups to read
  std::string out = "UPDATE " + quoteIdent(table);
  if (!r.alias.empty()) out += " AS " + quoteIdent(r.alias);
  out += " SET ";
  size_t where = clauseEnd(i, size(), 0, {"WHERE"});
  for (size_t m = where; m < size(); ++m)
    if (t_[m].depth == 0 && is(t_[m], "ROWNUM") && !is(t_[m - 1], ".")) {
      // ROWNUM counts the rows as a query finds them: the rows go by the query's ROWIDs
      ctx_.pop_back();
      tr_ = translate("UPDATE " + source(1, where) + " WHERE ROWID IN (SELECT ROWID FROM " + source(1, i - 1) + " " +
                          source(where, size()) + ")",
                      cat_, false, false);
      tr_.unshared = true;
      return;
    }
  // ROWNUM in SET numbers the rows in the order they are updated
  std::string self = quoteIdent(r.alias.empty() ? table : r.alias);
  for (size_t m = i; m < where; ++m)
    if (t_[m].depth == 0 && is(t_[m], "ROWNUM") && !is(at(m + 1), "(") && !(m > 0 && is(t_[m - 1], ".")) &&
        replace_[m].empty()) {
      std::string cond = where < size() ? " " + emit(where, size()) : "";
      replace_[m] = "(SELECT \"N$\" FROM (SELECT " + self + ".rowid AS \"R$\", row_number() OVER (ORDER BY " +
                    self + ".rowid) AS \"N$\" FROM " + quoteIdent(table) + " AS " + self + cond +
                    ") WHERE \"R$\" = " + self + ".rowid)";
    }
  // A subquery of the statement that reads the table itself sees it as it was before the
  // statement, as in Oracle, not with the rows updated so far: it reads a copy taken first.
  bool snapshot = false;
  for (size_t m = i; m < size(); ++m) {
    if (t_[m].depth == 0 || t_[m].kind != Token::Ident || t_[m].text != table || !replace_[m].empty()) continue;
    if (!(is(t_[m - 1], "FROM") || is(t_[m - 1], ",") || is(t_[m - 1], "JOIN")) || is(at(m + 1), ".")) continue;
    bool aliased = m + 1 < size() && (t_[m + 1].kind == Token::Ident || t_[m + 1].kind == Token::QIdent) &&
                   !keywordAt(t_, m + 1);
    replace_[m] = aliased ? "\"SNAP$\"" : "\"SNAP$\" AS " + quoteIdent(table);
    snapshot = true;
  }
  if (snapshot) ctes_.insert(ctes_.begin(), "\"SNAP$\" AS MATERIALIZED (SELECT rowid AS \"ROWID\", * FROM " + quoteIdent(table) + ")");
  bool first = true;
  std::vector<std::string> assigned; // a column set twice is ORA-00957
  auto assign = [&](const std::string& column, size_t pos) {
    if (std::find(assigned.begin(), assigned.end(), column) != assigned.end())
      throw OraError(957).at(static_cast<int>(pos));
    assigned.push_back(column);
  };
  while (i < where) {
    const Token& k = at(i);
    if (is(k, "(")) {
      // SET (a, b) = (SELECT x, y ...): the row's values go through each column's own checks
      size_t close = matching(i);
      std::string names;
      std::vector<const ColumnInfo*> targets;
      for (size_t m = i + 1; m < close; ++m) {
        if (is(t_[m], ",") || is(t_[m], ".")) continue;
        if (is(at(m + 1), ".")) continue; // a qualifier
        if (t_[m].kind != Token::Ident && t_[m].kind != Token::QIdent) throw OraError(904);
        const ColumnInfo& c = findColumn(cols, t_[m].text);
        assign(c.name, t_[m].pos);
        targets.push_back(&c);
        names += (names.empty() ? "" : ", ") + quoteIdent(c.name);
      }
      expect(close + 1, "=", 927);
      if (!is(at(close + 2), "(") || !(is(at(close + 3), "SELECT") || is(at(close + 3), "WITH"))) throw OraError(1767);
      size_t e = matching(close + 2) + 1;
      std::string inner = emit(close + 3, e - 1);
      auto types = blockTypes_.find(close + 3);
      bool star = false; // a * names columns only the query knows
      for (size_t m = close + 3; m + 1 < e; ++m)
        if (is(t_[m], "*") && (is(t_[m - 1], "SELECT") || is(t_[m - 1], ",") || is(t_[m - 1], "."))) star = true;
      if (!star && types != blockTypes_.end() && types->second.size() != targets.size())
        throw OraError(types->second.size() < targets.size() ? 947 : 913);
      std::string cte = "(WITH \"SET$\"(", sel = " SELECT ";
      for (size_t k = 0; k < targets.size(); ++k) {
        std::string cn = "\"C" + std::to_string(k + 1) + "\"";
        int from = types != blockTypes_.end() && k < types->second.size() ? types->second[k].first : 0;
        cte += (k ? ", " : "") + cn;
        sel += (k ? ", " : "") + convWrap(assignable(from, cn, *targets[k]), *targets[k], table);
      }
      out += (first ? "" : ", ") + std::string("(") + names + ") = " + cte + ") AS (" + inner + ")" + sel +
             " FROM " + oneRow("\"SET$\"") + ")";
      first = false;
      i = e < where && is(at(e), ",") ? e + 1 : e;
      continue;
    }
    if (k.kind != Token::Ident && k.kind != Token::QIdent) throw OraError(904);
    std::string name = k.text;
    if (is(at(i + 1), ".")) {
      // a column is qualified by the table's alias, or by its name when it has none
      if (k.text != (r.alias.empty() ? table : r.alias))
        throw OraError(904, k.text + "." + at(i + 2).text).at(static_cast<int>(k.pos));
      name = at(i + 2).text;
      i += 2;
    }
    std::vector<std::string> path; // SET alias.object_column.attribute = ...
    while (is(at(i + 1), ".") && i > 0 && is(at(i - 1), ".")) {
      path.push_back(at(i + 2).text);
      i += 2;
    }
    const ColumnInfo* col = &findColumn(cols, name);
    if (col->always) throw OraError(32796).at(k.pos);
    assign(col->name, at(i).pos);
    expect(i + 1, "=", 927);
    size_t b = i + 2, e = b;
    while (e < where && !(t_[e].depth == 0 && is(t_[e], ","))) ++e;
    if (e == b) throw OraError(936);
    if (!path.empty()) {
      if (col->type.object.empty()) throw OraError(904, name + "." + path[0]).at(static_cast<int>(at(i).pos));
      std::string v = "ora_obj_set(" + quoteIdent(col->name) + ", " + emit(b, e);
      for (const auto& p : path) v += ", " + quoteString(p);
      out += (first ? "" : ", ") + quoteIdent(col->name) + " = " + v + ")";
      first = false;
      i = e < where ? e + 1 : e;
      continue;
    }
    ColType ft = e == b + 1 && is(t_[b], "DEFAULT") ? ColType{} : exprType(b, e);
    out += (first ? "" : ", ") + quoteIdent(col->name) + " = " +
           (e == b + 1 && is(t_[b], "DEFAULT") ? defaultOf(*col)
                                                : convWrap(assignable(ft.code, emit(b, e), *col, &ft), *col, table));
    first = false;
    i = e < where ? e + 1 : e;
  }
  if (first) throw OraError(927);
  if (where < size()) out += " " + emit(where, size());
  tr_.sql = withHoisted(out);
  ctx_.pop_back();
}

void Translator::del() {
  tr_.kind = StmtKind::Dml;
  tr_.function = 9;
  TableRef r;
  size_t from = is(at(1), "FROM") ? 2 : 1;
  size_t i = dmlTarget(from, "WHERE", r);
  std::string out = "DELETE FROM " + quoteIdent(r.name);
  if (!r.alias.empty()) out += " AS " + quoteIdent(r.alias);
  if (i < size()) {
    if (!is(at(i), "WHERE")) unexpected(i);
    rejectAggregates(i, size());
    bool rownum = false;
    for (size_t m = i; m < size(); ++m)
      if (t_[m].depth == 0 && is(t_[m], "ROWNUM") && !(m > 0 && is(t_[m - 1], "."))) rownum = true;
    if (rownum) {
      // ROWNUM counts the rows as a query finds them: the rows go by the query's ROWIDs
      ctx_.pop_back();
      tr_ = translate("DELETE FROM " + source(from, i) + " WHERE ROWID IN (SELECT ROWID FROM " +
                          source(from, size()) + ")",
                      cat_, false, false);
      tr_.unshared = true;
      return;
    } else {
      out += " " + emit(i, size());
    }
  } else {
    out += " WHERE 1"; // each row passes the change hook, which SQLite's emptying at once would skip
  }
  tr_.sql = withHoisted(out);
  ctx_.pop_back();
}

} // namespace ora::tx
