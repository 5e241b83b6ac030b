// WHERE CURRENT OF cursor: a cursor whose query is FOR UPDATE keeps each row's ROWID, and an
// UPDATE or DELETE names the row it fetched last by it.
#include "OraValues.h"
#include "PlsqlRun.h"

#include <set>

namespace ora::pl {

Rows Run::lockedRows(const std::string& sql, std::vector<std::string>& rowids) {
  rowids.clear();
  std::vector<Tok> t;
  try {
    t = tokens(sql);
  } catch (const OraError&) {
    return query(sql, SIZE_MAX);
  }
  auto word = [&](size_t k, const char* w) { return k < t.size() && t[k].kind == T::Word && t[k].text == w; };
  auto op = [&](size_t k, const char* o) { return k < t.size() && t[k].kind == T::Op && t[k].text == o; };
  auto name = [&](size_t k) { return k < t.size() && (t[k].kind == T::Word || t[k].kind == T::QWord); };
  if (!word(0, "SELECT") || t.size() < 2) return query(sql, SIZE_MAX);
  // the one table after the top-level FROM, and its alias
  size_t from = 0;
  for (size_t k = 1, depth = 0; k < t.size() && !from; ++k) {
    if (op(k, "(")) ++depth;
    else if (op(k, ")") && depth > 0) --depth;
    else if (depth == 0 && word(k, "FROM")) from = k;
  }
  if (!from || !name(from + 1)) return query(sql, SIZE_MAX);
  size_t last = op(from + 2, ".") && name(from + 3) ? from + 3 : from + 1;
  std::string table = sql.substr(t[from + 1].pos, t[last].end - t[from + 1].pos);
  static const std::set<std::string> clauses{"WHERE", "FOR", "ORDER", "GROUP", "HAVING", "CONNECT", "START",
                                             "UNION", "MINUS", "INTERSECT", "FETCH", "OFFSET"};
  size_t next = last + 1;
  if (name(next) && !(t[next].kind == T::Word && clauses.count(t[next].text))) {
    table = sql.substr(t[next].pos, t[next].end - t[next].pos);
    ++next;
  }
  // more than one table: the ROWID would not say whose row it is
  if (next < t.size() && !(t[next].kind == T::End) && !(t[next].kind == T::Word && clauses.count(t[next].text)))
    return query(sql, SIZE_MAX);
  std::string list = op(1, "*") ? table + ".*" + sql.substr(t[1].end) : sql.substr(t[1].pos);
  Rows rows;
  try {
    rows = query("SELECT " + table + ".ROWID, " + list, SIZE_MAX);
  } catch (const OraError&) {
    return query(sql, SIZE_MAX);
  }
  if (!rows.names.empty()) rows.names.erase(rows.names.begin());
  for (auto& r : rows.rows) {
    rowids.push_back(r.empty() ? std::string() : r.front().s);
    if (!r.empty()) r.erase(r.begin());
  }
  return rows;
}

std::string Run::currentOf(size_t k, size_t e, size_t& used) {
  const auto& t = u.toks;
  std::string name = t[k].text;
  used = 1;
  if (k + 2 < e && t[k + 1].kind == T::Op && t[k + 1].text == "." && t[k + 2].kind == T::Word) {
    name += "." + t[k + 2].text;
    used = 3;
  }
  CursorState* c = cursor(name);
  if (!c) undeclared(k, name);
  if (!c->open) throw OraError(1001);
  // no row fetched yet, or past the last one
  if (c->next == 0 || c->found != 1 || c->next > c->rowids.size()) throw OraError(1002);
  return "ROWID = " + literal(Val{Val::Str, c->rowids[c->next - 1], false});
}

} // namespace ora::pl
