// INSERT INTO, UPDATE and DELETE of TABLE(SELECT nested_table_column FROM t WHERE ...): the
// elements of one row's collection are changed by writing the collection anew, with an UPDATE
// of that row, while the statement counts the elements it inserted, updated or deleted.
#include "CollectionDml.h"

#include "Collections.h"
#include "ConstraintErrors.h"
#include "ObjectTypes.h"
#include "Session.h"
#include "SqlText.h"
#include "SqlTokens.h"

#include <cstring>
#include <sqlite3.h>

namespace ora {

namespace {

using sql::Tok;
using sql::Token;

struct Plan {
  std::string verb;
  std::string check;  // one row, the collection not NULL: COUNT(*), COUNT(column)
  std::string count;  // the elements the statement works on; empty: one
  Translation update; // the row's collection written anew
  bool mustExist = false; // INSERT: a missing row or a NULL collection is an error
};

// A query of the engine's own rewriting that gives one row of numbers.
std::vector<int64_t> numbers(Session& ses, const std::string& text) {
  Catalog cat(ses.db, ses.user, &ses);
  Translation tr = translate(text, cat, false);
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(ses.db, tr.sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
    OraError e = fromSqlite(sqlite3_errcode(ses.db), sqlite3_errmsg(ses.db), "SELECT");
    sqlite3_finalize(st);
    throw e;
  }
  std::vector<int64_t> out;
  int rc = sqlite3_step(st);
  if (rc == SQLITE_ROW)
    for (int c = 0; c < sqlite3_column_count(st); ++c) out.push_back(sqlite3_column_int64(st, c));
  else if (rc != SQLITE_DONE) {
    OraError e = fromSqlite(rc, sqlite3_errmsg(ses.db), "SELECT");
    sqlite3_finalize(st);
    throw e;
  }
  sqlite3_finalize(st);
  return out;
}

int64_t run(Session& ses, const Plan& p) {
  std::vector<int64_t> rows = numbers(ses, p.check);
  if (rows.size() < 2) throw OraError(22908);
  if (rows[0] > 1) throw OraError(1427);
  if (rows[0] == 0 || rows[1] == 0) {
    if (p.mustExist) throw OraError(22908);
    return 0;
  }
  int64_t n = 1;
  if (!p.count.empty()) {
    std::vector<int64_t> c = numbers(ses, p.count);
    n = c.empty() ? 0 : c[0];
  }
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(ses.db, p.update.sql.c_str(), -1, &st, nullptr);
  if (rc == SQLITE_OK) {
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {}
    if (rc == SQLITE_DONE) rc = SQLITE_OK;
  }
  if (rc != SQLITE_OK) {
    std::string msg = sqlite3_errmsg(ses.db);
    OraError e = (rc & 0xff) == SQLITE_CONSTRAINT ? constraintError(ses.db, ses.user, p.update, msg, st)
                                                  : fromSqlite(rc, msg, p.verb);
    sqlite3_finalize(st);
    throw e;
  }
  sqlite3_finalize(st);
  return n;
}

// The depth-0 comma-separated ranges of tokens [b, e).
std::vector<std::pair<size_t, size_t>> items(const sql::TokenList& tl, size_t b, size_t e) {
  std::vector<std::pair<size_t, size_t>> out;
  int d = 0;
  size_t from = b;
  for (size_t k = b; k <= e; ++k) {
    if (k < e && tl.op(k, "(")) ++d;
    if (k < e && tl.op(k, ")")) --d;
    if (k == e || (d == 0 && tl.op(k, ","))) {
      out.emplace_back(from, k);
      from = k + 1;
    }
  }
  return out;
}

// The first depth-0 token in [b, e) that is the word; e when none is.
size_t find(const sql::TokenList& tl, size_t b, size_t e, const char* word) {
  int d = 0;
  for (size_t k = b; k < e; ++k) {
    if (tl.op(k, "(")) ++d;
    if (tl.op(k, ")")) --d;
    if (d == 0 && tl.word(k, word)) return k;
  }
  return e;
}

// A name for the rewritten text: as it is when it needs no quotes (a type's constructor is
// called by its plain name).
std::string plain(const std::string& name) {
  bool simple = !name.empty() && name[0] >= 'A' && name[0] <= 'Z';
  for (char c : name) simple = simple && ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$' || c == '#');
  return simple ? name : quoteIdent(name);
}

} // namespace

bool collectionElementDml(const std::string& text, Catalog& cat, Translation& out) {
  const bool insert = startsWithWord(text, "INSERT"), update = startsWithWord(text, "UPDATE"),
             remove = startsWithWord(text, "DELETE");
  if ((!insert && !update && !remove) || !(containsWord(text, "TABLE") || containsWord(text, "THE"))) return false;
  sql::TokenList tl(text);
  if (!tl.ok) return false;
  const std::vector<Token>& t = tl.t;
  size_t i = 1;
  if ((insert && tl.word(1, "INTO")) || (remove && tl.word(1, "FROM"))) i = 2;
  if (!(tl.word(i, "TABLE") || tl.word(i, "THE")) || !tl.op(i + 1, "(") || !tl.word(i + 2, "SELECT")) return false;
  for (const Token& k : t)
    if (k.kind == Tok::Bind) return false; // the rewriting runs its own statements, which take no binds
  auto fail = [&](size_t k, int code) {
    return OraError(code).at(static_cast<int>(t[std::min(k, t.size() - 1)].pos));
  };
  const size_t close = tl.close(i + 1), end = t.size() - 1;
  // the subquery: SELECT [q.]column FROM table [alias] [WHERE ...]
  const size_t sb = i + 2, from = find(tl, sb + 1, close, "FROM");
  std::string q, column;
  if (from == sb + 2 && tl.name(sb + 1)) column = t[sb + 1].text;
  else if (from == sb + 4 && tl.name(sb + 1) && tl.op(sb + 2, ".") && tl.name(sb + 3))
    q = t[sb + 1].text, column = t[sb + 3].text;
  if (column.empty() || from + 1 >= close || !tl.name(from + 1)) throw fail(sb, 22905);
  const std::string table = t[from + 1].text;
  size_t k = from + 2;
  std::string parent; // the table's alias in the subquery
  if (k < close && tl.name(k) && !tl.word(k, "WHERE")) parent = t[k++].text;
  if (k < close && !tl.word(k, "WHERE")) throw fail(k, 933);
  const std::string filter = k < close ? tl.slice(k + 1, close) : std::string("1 = 1");
  if (!q.empty() && q != table && q != parent) throw OraError(904, q + "." + column).at(static_cast<int>(t[sb + 1].pos));
  bool exists = false;
  const std::string typeName = columnCollectionType(cat.db(), table, column, &exists);
  if (!exists) return false; // not a table's column: the statement's own error comes from the usual way
  if (typeName.empty()) throw fail(sb, 22905);
  CollType ct;
  if (!collectionType(cat, typeName, ct)) throw fail(sb, 22905);
  auto ot = ct.elemType.object.empty() ? nullptr : objectType(cat.db(), ct.elemType.object);

  const std::string p = parent.empty() ? quoteIdent(table) : quoteIdent(parent);
  const std::string source = quoteIdent(table) + (parent.empty() ? "" : " " + p);
  const std::string col = p + "." + quoteIdent(column);
  const std::string type = plain(ct.name);
  // the element's alias, as written or one of ours
  k = close + 1;
  std::string alias = "NT$E";
  if (tl.name(k) && !tl.word(k, "SET") && !tl.word(k, "WHERE") && !tl.word(k, "VALUES") && !tl.word(k, "SELECT"))
    alias = t[k++].text;
  const std::string e = quoteIdent(alias);
  const std::string elems = " FROM TABLE(" + col + ") " + e;
  const std::string whole = ot ? "VALUE(" + e + ")" : e + ".COLUMN_VALUE";

  Plan plan;
  plan.check = "SELECT COUNT(*), COUNT(" + col + ") FROM " + source + " WHERE " + filter;
  std::string value;
  if (insert) {
    plan.verb = "INSERT";
    plan.mustExist = true;
    std::vector<std::string> names;
    if (tl.op(k, "(") && !tl.word(k + 1, "SELECT")) {
      size_t c = tl.close(k);
      for (auto [b, x] : items(tl, k + 1, c)) {
        if (x != b + 1 || !tl.name(b)) throw fail(b, 904);
        names.push_back(t[b].text);
      }
      k = c + 1;
    }
    if (tl.word(k, "VALUES") && tl.op(k + 1, "(")) {
      size_t c = tl.close(k + 1);
      if (c + 1 != end) throw fail(c + 1, 933);
      std::vector<std::string> values;
      for (auto [b, x] : items(tl, k + 2, c)) {
        if (b == x) throw fail(b, 936);
        values.push_back(tl.slice(b, x));
      }
      std::string element;
      if (!names.empty()) {
        if (values.size() != names.size()) throw fail(k, values.size() < names.size() ? 947 : 913);
        if (!ot) {
          if (names.size() != 1 || names[0] != "COLUMN_VALUE") throw fail(k, 904);
          element = values[0];
        } else {
          for (const std::string& n : names)
            if (ot->attrIndex(n) < 0) throw OraError(904, n);
          for (size_t a = 0; a < ot->attrs.size(); ++a) {
            std::string v = "NULL";
            for (size_t m = 0; m < names.size(); ++m)
              if (names[m] == ot->attrs[a].name) v = values[m];
            element += (a ? ", " : "") + v;
          }
          element = plain(ot->name) + "(" + element + ")";
        }
      } else if (ot && values.size() == ot->attrs.size() && values.size() > 1) {
        element = plain(ot->name) + "(";
        for (size_t a = 0; a < values.size(); ++a) element += (a ? ", " : "") + values[a];
        element += ")";
      } else if (values.size() == 1) {
        element = values[0]; // the element itself: a value, or an object
      } else {
        throw fail(k, !ot || values.size() > ot->attrs.size() ? 913 : 947);
      }
      value = col + " MULTISET UNION ALL " + type + "(" + element + ")";
    } else if (tl.word(k, "SELECT") || (tl.op(k, "(") && tl.word(k + 1, "SELECT"))) {
      if (!names.empty()) throw fail(k, 913);
      const std::string rows = tl.slice(k, end);
      value = col + " MULTISET UNION ALL CAST(MULTISET(" + rows + ") AS " + type + ")";
      plan.count = "SELECT COUNT(*) FROM (" + rows + ")";
    } else {
      throw fail(k, 926);
    }
  } else {
    std::string cond = "1 = 1";
    size_t w = find(tl, k, end, "WHERE");
    if (w < end) {
      if (w + 1 == end) throw fail(end, 936);
      cond = tl.slice(w + 1, end);
    }
    plan.count = "SELECT COUNT(*) FROM TABLE(" + tl.slice(sb, close) + ") " + e + " WHERE " + cond;
    if (update) {
      plan.verb = "UPDATE";
      if (!tl.word(k, "SET")) throw fail(k, 971);
      if (k + 1 >= w) throw fail(k + 1, 927);
      std::vector<std::string> attrs = ot ? std::vector<std::string>(ot->attrs.size()) : std::vector<std::string>{};
      std::string element;
      for (auto [b, x] : items(tl, k + 1, w)) {
        size_t eq = b;
        while (eq < x && !tl.op(eq, "=")) ++eq;
        if (eq == b || eq + 1 >= x) throw fail(eq + 1 >= x ? x : b, eq == x ? 927 : 936);
        const std::string v = "CASE WHEN (" + cond + ") THEN " + tl.slice(eq + 1, x) + " ELSE ";
        // the target: VALUE(alias), [alias.]attribute, [alias.]COLUMN_VALUE
        if (tl.word(b, "VALUE") && tl.op(b + 1, "(") && eq == b + 4) {
          element = v + whole + " END";
          continue;
        }
        size_t nb = b;
        if (eq == b + 3 && tl.op(b + 1, ".")) {
          if (t[b].text != alias) throw OraError(904, t[b].text + "." + t[b + 2].text).at(static_cast<int>(t[b].pos));
          nb = b + 2;
        } else if (eq != b + 1) {
          throw fail(b, 904);
        }
        const std::string& name = t[nb].text;
        if (!ot && name == "COLUMN_VALUE") {
          element = v + whole + " END";
        } else if (ot && ot->attrIndex(name) >= 0) {
          attrs[static_cast<size_t>(ot->attrIndex(name))] = v + e + "." + quoteIdent(name) + " END";
        } else {
          throw OraError(904, name).at(static_cast<int>(t[nb].pos));
        }
      }
      if (element.empty() && ot) {
        element = plain(ot->name) + "(";
        for (size_t a = 0; a < attrs.size(); ++a)
          element += (a ? ", " : "") + (attrs[a].empty() ? e + "." + quoteIdent(ot->attrs[a].name) : attrs[a]);
        element += ")";
      }
      value = "CAST(MULTISET(SELECT " + element + elems + ") AS " + type + ")";
    } else {
      plan.verb = "DELETE";
      if (k != w && k != end) throw fail(k, 933);
      value = "CAST(MULTISET(SELECT " + whole + elems + " WHERE CASE WHEN (" + cond + ") THEN 0 ELSE 1 END = 1) AS " +
              type + ")";
    }
  }
  const std::string rewritten = "UPDATE " + source + " SET " + col + " = " + value + " WHERE " + filter;
  try {
    plan.update = translate(rewritten, cat, false);
  } catch (OraError& x) {
    x.pos = -1; // an offset in the rewritten text; the name at fault is found in the statement
    throw;
  }
  out = plan.update;
  out.verb = plan.verb;
  out.function = insert ? 3 : update ? 5 : 9;
  out.unshared = true;
  out.selfRun = [plan](Session& ses) { return run(ses, plan); };
  return true;
}

} // namespace ora
