// INSERT, UPDATE and DELETE with RETURNING ... INTO in PL/SQL: the statement runs without the
// clause, and its one row is read by its ROWID (before a DELETE, after an INSERT or UPDATE).
#include "OraValues.h"
#include "Plsql.h"
#include "PlsqlRun.h"
#include "Session.h"

#include <sqlite3.h>

namespace ora::pl {

namespace {

bool word(const std::vector<Tok>& t, size_t k, const char* w) {
  return k < t.size() && t[k].kind == T::Word && t[k].text == w;
}

// The first token in [b, e) at parenthesis depth 0 that is the word w; e when there is none.
size_t topLevel(const std::vector<Tok>& t, size_t b, size_t e, const char* w) {
  int depth = 0;
  for (size_t k = b; k < e; ++k) {
    if (t[k].kind == T::Op && t[k].text == "(") ++depth;
    else if (t[k].kind == T::Op && t[k].text == ")") --depth;
    else if (depth == 0 && word(t, k, w)) return k;
  }
  return e;
}

} // namespace

int64_t Run::returningDml(const Stmt& s) {
  const auto& t = u.toks;
  const std::set<std::string>* cols = &columns(&s, s.expr);
  Range dml{s.expr.b, s.target.b};
  const std::string verb = t[dml.b].text;
  // the table, with its alias, and the statement's WHERE condition
  Range table, cond;
  if (verb == "INSERT") {
    size_t b = dml.b + 1;
    if (word(t, b, "INTO")) ++b;
    size_t e = b + 1;
    if (e + 1 < dml.e && t[e].kind == T::Op && t[e].text == ".") e += 2;
    table = {b, e};
  } else {
    size_t b = dml.b + 1;
    if (verb == "DELETE" && word(t, b, "FROM")) ++b;
    size_t w = topLevel(t, b, dml.e, "WHERE");
    table = {b, verb == "UPDATE" ? topLevel(t, b, dml.e, "SET") : w};
    if (w < dml.e) cond = {w + 1, dml.e};
  }
  if (table.empty()) throw OraError(903);
  const std::string from = " FROM " + u.text(table);
  auto rowOf = [&](const std::string& rowid) {
    return query("SELECT " + subst(s.hi, cols) + from + " WHERE ROWID = " + literal(Val{Val::Str, rowid, false}), 1);
  };
  auto noRow = [&] { return query("SELECT " + subst(s.hi, cols) + from + " WHERE 1 = 0", 0); }; // the names only
  Rows row;
  int64_t n = 0;
  if (s.bulk && verb != "INSERT") {
    // RETURNING ... BULK COLLECT INTO: every row the statement changes
    Rows ids = query("SELECT ROWID" + from + (cond.empty() ? std::string() : " WHERE " + subst(cond, cols)), SIZE_MAX);
    auto valuesOf = [&] {
      Rows all = noRow();
      for (auto& id : ids.rows)
        for (auto& r : rowOf(id[0].s).rows) all.rows.push_back(std::move(r));
      return all;
    };
    if (verb == "DELETE") row = valuesOf();
    n = execute(subst(dml, cols));
    if (verb == "UPDATE") row = valuesOf();
    bulkInto(s.conds, row.names, std::move(row.rows), s.at);
    return n;
  }
  if (verb == "INSERT") {
    n = execute(subst(dml, cols));
    if (n == 1) {
      Catalog cat(ses.db, ses.user, &ses);
      std::string name = t[table.e - 1].text;
      row = rowOf(encodeRowid(cat.objectNumber(name), insertedRowid(ses)));
    }
  } else {
    // the one row it changes: more is ORA-01422, as a SELECT INTO of them would be
    Rows ids = query("SELECT ROWID" + from + (cond.empty() ? std::string() : " WHERE " + subst(cond, cols)), 2);
    if (ids.rows.size() > 1) throw OraError(1422);
    if (verb == "DELETE" && !ids.rows.empty()) row = rowOf(ids.rows[0][0].s);
    n = execute(subst(dml, cols));
    if (verb == "UPDATE" && !ids.rows.empty()) row = rowOf(ids.rows[0][0].s);
  }
  if (s.bulk) {
    if (row.names.empty()) row = noRow();
    bulkInto(s.conds, row.names, std::move(row.rows), s.at);
    return n;
  }
  std::vector<Val> values = row.rows.empty() ? std::vector<Val>(s.conds.size()) : row.rows[0];
  if (values.size() != s.conds.size()) {
    OraError e(6550);
    e.text = "ORA-06550: " + where(u.src, t[s.at].pos) + ":\nPL/SQL: ORA-" +
             (values.size() < s.conds.size() ? "00947: not enough values" : "00913: too many values");
    throw e;
  }
  for (size_t k = 0; k < values.size(); ++k) assign(s.conds[k], values[k]);
  return n;
}

} // namespace ora::pl
