// The interpreter's SQL: every expression and statement of a block runs as the engine's own SQL,
// its variables written in as literals, which the statement cache turns back into parameters.
#include "Booleans.h"
#include "Charset.h"
#include "FunctionUtil.h"
#include "OciImpl.h"
#include "Autonomous.h"
#include "Plsql.h"
#include "PlsqlRun.h"
#include "Collections.h"
#include "Session.h"
#include "SqlText.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <sqlite3.h>

namespace ora::pl {

std::string literal(const Val& v) {
  switch (v.k) {
  case Val::Null: return "NULL";
  case Val::Num:
    if (v.fp) return fpLiteral(v);
    return v.s.empty() || v.s[0] != '-' ? v.s : "(" + v.s + ")";
  case Val::Str: return quoteString(v.s);
  case Val::Date:
    if (v.dt) return datetimeLiteral(v);
    return "TO_DATE(" + quoteString(v.s) + ", 'YYYY-MM-DD HH24:MI:SS')";
  case Val::Bool: return v.b ? "(1=1)" : "(1=0)";
  }
  return "NULL";
}

OraError valueError(const std::string& what) {
  OraError e(6502);
  if (!what.empty()) e.text += ": " + what;
  return e;
}

Run::~Run() {
  for (auto& [k, p] : cache) sqlite3_finalize(p.st);
}

// A TIMESTAMP as SQL hands it over ("YYYY-MM-DD HH:MM:SS.fraction", a zone after it): a DATE
// variable takes its date and time of day, as Oracle converts it.
static bool storedTimestampText(const std::string& s) {
  auto digits = [&](size_t b, size_t n) {
    for (size_t k = b; k < b + n; ++k)
      if (s[k] < '0' || s[k] > '9') return false;
    return true;
  };
  return s.size() > 20 && digits(0, 4) && s[4] == '-' && digits(5, 2) && s[7] == '-' && digits(8, 2) && s[10] == ' ' &&
         digits(11, 2) && s[13] == ':' && digits(14, 2) && s[16] == ':' && digits(17, 2) && (s[19] == '.' || s[19] == ' ');
}

Val columnValue(sqlite3_stmt* st, int i, const Translation& tr) {
  Val v;
  int ty = sqlite3_column_type(st, i);
  if (ty == SQLITE_NULL) return v;
  ColType ct = resultType(st, i, tr);
  if (ct.code == kNumber && ct.binary) return fpValue(sqlite3_column_value(st, i), ct.binary);
  if (ct.code == kDate) {
    v.k = Val::Date;
    v.s = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
  } else if (isTimestamp(ct.code) || isInterval(ct.code)) {
    v = datetimeValue(reinterpret_cast<const char*>(sqlite3_column_text(st, i)), ct);
  } else if (ct.code == kNumber || ty == SQLITE_INTEGER || ty == SQLITE_FLOAT) {
    v.k = Val::Num;
    v.s = numberText(sqlite3_column_value(st, i));
  } else if (ty == SQLITE_BLOB && isCollectionBlob(sqlite3_column_blob(st, i), sqlite3_column_bytes(st, i))) {
    // a collection stays in its stored form until a collection variable takes it
    v.k = Val::Str;
    v.s.assign(static_cast<const char*>(sqlite3_column_blob(st, i)), static_cast<size_t>(sqlite3_column_bytes(st, i)));
  } else if (ty == SQLITE_BLOB) {
    v.k = Val::Str;
    v.s = hexText(static_cast<const unsigned char*>(sqlite3_column_blob(st, i)), sqlite3_column_bytes(st, i));
  } else {
    v.k = Val::Str;
    v.s.assign(reinterpret_cast<const char*>(sqlite3_column_text(st, i)), static_cast<size_t>(sqlite3_column_bytes(st, i)));
  }
  if (v.s.empty()) v.k = Val::Null;
  return v;
}

namespace {

const Literal* literalAt(const std::vector<Literal>& lits, int token) {
  for (const Literal& l : lits)
    if (l.token == token) return &l;
  return nullptr;
}

void bindLiterals(sqlite3_stmt* st, const Translation& tr, const std::vector<Literal>& lits) {
  sqlite3_reset(st);
  sqlite3_clear_bindings(st);
  for (size_t p = 0; p < tr.params.size(); ++p) {
    const Literal* l = literalAt(lits, tr.params[p]);
    int n = static_cast<int>(p + 1);
    if (!l || (l->text && l->value.empty())) { sqlite3_bind_null(st, n); continue; }
    if (l->text) { sqlite3_bind_text(st, n, l->value.data(), static_cast<int>(l->value.size()), SQLITE_TRANSIENT); continue; }
    int64_t i = 0;
    auto [end, ec] = std::from_chars(l->value.data(), l->value.data() + l->value.size(), i);
    if (ec == std::errc() && end == l->value.data() + l->value.size()) sqlite3_bind_int64(st, n, i);
    else sqlite3_bind_double(st, n, std::strtod(l->value.c_str(), nullptr));
  }
}

// Prepared once per shape for the whole run of the block.
Prepared& prepare(Run& r, const std::string& sql) {
  std::vector<Literal> lits;
  std::string key = sharingKey(sql, lits);
  if (key.empty()) key = "\x02" + sql;
  auto it = r.cache.find(key);
  if (it != r.cache.end()) {
    bool same = true;
    for (auto& [tok, value] : it->second.pinned) {
      const Literal* l = literalAt(lits, tok);
      same = same && l && l->value == value;
    }
    if (same && (it->second.tr.unshared ? key == "\x02" + sql || it->first == key : true)) {
      if (it->second.st) bindLiterals(it->second.st, it->second.tr, lits);
      if (!it->second.tr.unshared) return it->second;
    }
    sqlite3_finalize(it->second.st);
    r.cache.erase(it);
  }
  if (r.cache.size() > 300) {
    // texts that share nothing would otherwise pile up in a long loop
    for (auto& [k, p] : r.cache) sqlite3_finalize(p.st);
    r.cache.clear();
  }
  Catalog cat(r.ses.db, r.ses.user, &r.ses);
  bool share = key[0] != '\x02';
  Translation tr = translate(sql, cat, share);
  if (tr.unshared) key = "\x02" + sql;
  Prepared& p = r.cache[key];
  p.tr = std::move(tr);
  for (int tok : p.tr.pinned)
    if (const Literal* l = literalAt(lits, tok)) p.pinned.emplace_back(tok, l->value);
  if (p.tr.kind == StmtKind::Query || p.tr.kind == StmtKind::Dml) {
    if (int rc = sqlite3_prepare_v2(r.ses.db, p.tr.sql.c_str(), -1, &p.st, nullptr); rc != SQLITE_OK) {
      OraError e = fromSqlite(rc, sqlite3_errmsg(r.ses.db), p.tr.verb);
      prepareError(r.ses, p.tr, e);
      sqlite3_finalize(p.st);
      r.cache.erase(key);
      throw e;
    }
    if (share) bindLiterals(p.st, p.tr, lits);
  }
  return p;
}
} // namespace

Rows Run::query(const std::string& sql, size_t maxRows) {
  checkMutating(ses, sql);
  Prepared& p = prepare(*this, sql);
  if (p.tr.kind != StmtKind::Query) throw OraError(6550, "not a query");
  for (auto& v : p.tr.dictionary) ses.refreshDictionary(v);
  Rows out;
  int n = sqlite3_column_count(p.st);
  for (int i = 0; i < n; ++i) {
    out.names.push_back(sqlite3_column_name(p.st, i));
    out.types.push_back(resultType(p.st, i, p.tr));
  }
  while (maxRows > 0) {
    int rc = sqlite3_step(p.st);
    if (rc == SQLITE_DONE) break;
    if (rc != SQLITE_ROW) {
      std::string msg = sqlite3_errmsg(ses.db);
      sqlite3_reset(p.st);
      throw oci::stepFailure(ses, rc, msg, p.tr, p.st);
    }
    std::vector<Val> row;
    row.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) row.push_back(columnValue(p.st, i, p.tr));
    out.rows.push_back(std::move(row));
    if (out.rows.size() >= maxRows) break;
  }
  sqlite3_reset(p.st);
  return out;
}

int64_t Run::execute(const std::string& sql) {
  checkMutating(ses, sql);
  Prepared& p = prepare(*this, sql);
  if (sqlCallDepth > 0 && p.tr.kind == StmtKind::Dml) throw OraError(14551);
  if (sqlCallDepth > 0 && (p.tr.kind == StmtKind::Commit || p.tr.kind == StmtKind::Rollback)) throw OraError(14552);
  if (triggerDepth > 0 && (p.tr.kind == StmtKind::Commit || p.tr.kind == StmtKind::Rollback)) throw OraError(4092);
  switch (p.tr.kind) {
  case StmtKind::Dml: {
    ses.beginIfNeeded(p.tr.verb);
    for (auto& v : p.tr.dictionary) ses.refreshDictionary(v);
    return runTriggeredDml(ses, p.tr, [&]() -> int64_t {
      if (!p.tr.moreSql.empty() || p.tr.verb == "MERGE" || p.tr.selfRun) return ses.runParts(p.st, p.tr);
      int rc = sqlite3_step(p.st);
      std::string msg = sqlite3_errmsg(ses.db);
      sqlite3_reset(p.st);
      if (rc != SQLITE_DONE) throw oci::stepFailure(ses, rc, msg, p.tr, p.st);
      return sqlite3_changes(ses.db);
    });
  }
  case StmtKind::Commit:
    if (inAutonomousUnit(ses)) { // the routine's own transaction ends, not the caller's
      ses.commit();
      return 0;
    }
    ses.commit();
    locksReleased();
    ended = true;
    if (transactionEnded) transactionEnded();
    return 0;
  case StmtKind::Rollback:
    if (p.tr.savepoint.empty() && inAutonomousUnit(ses)) {
      ses.rollback();
    } else if (p.tr.savepoint.empty()) {
      ses.rollback();
      locksReleased();
      ended = true;
      if (transactionEnded) transactionEnded();
    } else {
      ses.rollbackTo(p.tr.savepoint);
    }
    return 0;
  case StmtKind::Savepoint: ses.savepoint(p.tr.savepoint); return 0;
  case StmtKind::Session:
    for (auto& a : p.tr.actions) a(ses);
    return 0;
  default: throw OraError(6550, "DDL is not allowed in PL/SQL");
  }
}

namespace {
// The columns the queries inside a statement name (a derived table's or a WITH query's select
// list aliases, a WITH query's column list): SQL's names, which columns of the statement's own
// tables are too, and which no variable of the block stands for.
void innerAliases(const std::vector<Tok>& t, Range r, std::set<std::string>& out) {
  auto op = [&](size_t k, const char* s) { return k < r.e && t[k].kind == T::Op && t[k].text == s; };
  auto word = [&](size_t k, const char* s) { return k < r.e && t[k].kind == T::Word && t[k].text == s; };
  auto name = [&](size_t k) { return k < r.e && (t[k].kind == T::Word || t[k].kind == T::QWord); };
  static const std::set<std::string> leads{"SELECT", "DISTINCT", "UNIQUE", "ALL", "PRIOR", "CONNECT_BY_ROOT", "NOT",
                                           "AND", "OR", "ELSE", "THEN", "WHEN", "IS", "IN", "LIKE", "BETWEEN",
                                           "CASE", "NEW", "ESCAPE", "AS"};
  std::vector<bool> selectList{false};
  for (size_t k = r.b; k < r.e; ++k) {
    if (op(k, "(")) {
      // WITH name (a, b) AS (...)
      if (k > r.b && name(k - 1)) {
        size_t m = k + 1;
        while (name(m) && (op(m + 1, ",") || op(m + 1, ")"))) m += 2;
        if (m > k + 1 && op(m - 1, ")") && word(m, "AS") && op(m + 1, "("))
          for (size_t c = k + 1; c < m; c += 2) out.insert(t[c].text);
      }
      selectList.push_back(false);
      continue;
    }
    if (op(k, ")")) {
      if (selectList.size() > 1) selectList.pop_back();
      continue;
    }
    if (word(k, "SELECT")) selectList.back() = true;
    else if (word(k, "FROM")) selectList.back() = false;
    if (selectList.size() < 2 || !selectList.back() || !name(k) || k == r.b || op(k - 1, ".")) continue;
    const Tok& p = t[k - 1];
    bool afterAs = word(k - 1, "AS") && !op(k + 1, "(");
    bool implicit = (op(k + 1, ",") || word(k + 1, "FROM")) &&
                    (op(k - 1, ")") || p.kind == T::Str || p.kind == T::Num || p.kind == T::QWord ||
                     (p.kind == T::Word && !leads.count(p.text)));
    if (afterAs || implicit) out.insert(t[k].text);
  }
}
} // namespace

const std::set<std::string>& Run::columns(const void* key, Range r) {
  auto it = columnsOf.find(key);
  if (it != columnsOf.end()) return it->second;
  std::set<std::string> out;
  Catalog cat(ses.db, ses.user, &ses);
  std::set<std::string> seen;
  for (size_t k = r.b; k < r.e; ++k) {
    const Tok& t = u.toks[k];
    if (t.kind == T::Word && (t.text == "XMLTABLE" || t.text == "JSON_TABLE")) tableFunctionColumns(k, r.e, out);
    if ((t.kind != T::Word && t.kind != T::QWord) || !seen.insert(t.text).second || find(t.text)) continue;
    std::string table = t.text;
    if (!cat.tableExists(table)) {
      table = cat.synonymTarget(t.text);
      if (table.empty() || !cat.tableExists(table)) continue;
    }
    for (const ColumnInfo& c : cat.columns(table)) out.insert(c.name);
  }
  innerAliases(u.toks, r, out);
  return columnsOf[key] = std::move(out);
}

// The columns XMLTABLE or JSON_TABLE at k declares: names of the statement's own, which no variable
// of the block stands for.
void Run::tableFunctionColumns(size_t k, size_t e, std::set<std::string>& out) const {
  const auto& t = u.toks;
  auto isOp = [&](size_t m, const char* s) { return m < e && t[m].kind == T::Op && t[m].text == s; };
  int depth = 0, names = -1;
  bool expect = false;
  for (size_t m = k + 1; m < e; ++m) {
    if (isOp(m, "(")) {
      ++depth;
      continue;
    }
    if (isOp(m, ")")) {
      if (--depth <= 0) return;
      continue;
    }
    if (t[m].kind == T::Word && t[m].text == "COLUMNS" && names < 0) {
      names = isOp(m + 1, "(") ? depth + 1 : depth;
      expect = true;
    } else if (depth == names && isOp(m, ",")) {
      expect = true;
    } else if (depth == names && expect && (t[m].kind == T::Word || t[m].kind == T::QWord)) {
      out.insert(t[m].text);
      expect = false;
    }
  }
}

namespace {

// What a name in a SQL statement can be, by where it stands: an alias or a table's name is never
// a variable; in an INSERT's VALUES list no column is in scope, so a name there is the variable.
enum class NameRole : char { Either, Variable, Sql };

std::vector<NameRole> nameRoles(const std::vector<Tok>& t, Range r) {
  std::vector<NameRole> role(r.e - r.b, NameRole::Either);
  enum Clause : char { None, SelectList, From, Other };
  std::vector<Clause> clause{None};
  std::vector<bool> noColumns{false};
  auto op = [&](size_t k, const char* s) { return k < r.e && t[k].kind == T::Op && t[k].text == s; };
  auto word = [&](size_t k, const char* s) { return k < r.e && t[k].kind == T::Word && t[k].text == s; };
  bool insert = word(r.b, "INSERT") && word(r.b + 1, "INTO");
  bool merge = word(r.b, "MERGE");
  if (word(r.b, "UPDATE") || word(r.b, "DELETE") || insert || merge) clause[0] = From;
  for (size_t k = r.b; k < r.e; ++k) {
    const Tok& w = t[k];
    size_t d = clause.size() - 1;
    if (w.kind == T::Op) {
      if (w.text == "(") {
        bool query = word(k + 1, "SELECT") || word(k + 1, "WITH");
        clause.push_back(None);
        noColumns.push_back(!query && (noColumns[d] || (insert && d == 0 && k > r.b && word(k - 1, "VALUES"))));
      } else if (w.text == ")" && d > 0) {
        clause.pop_back();
        noColumns.pop_back();
      }
      continue;
    }
    if (w.kind != T::Word && w.kind != T::QWord) continue;
    const std::string& x = w.text;
    bool qualified = k > r.b && op(k - 1, ".");
    if (w.kind == T::Word && !qualified) {
      if (x == "SELECT") { clause[d] = SelectList; continue; }
      if (x == "FROM" && (clause[d] == SelectList || (d == 0 && word(r.b, "DELETE")))) { clause[d] = From; continue; }
      if ((x == "JOIN" && clause[d] != None) || (x == "USING" && merge && d == 0)) { clause[d] = From; continue; }
      if (x == "WHERE" || x == "GROUP" || x == "ORDER" || x == "HAVING" || x == "CONNECT" || x == "START" ||
          x == "ON" || x == "UNION" || x == "INTERSECT" || x == "MINUS" || x == "FETCH" || x == "OFFSET" ||
          x == "SET" || x == "VALUES" || x == "OF" || x == "USING" || x == "MODEL" || x == "RETURNING" ||
          x == "RETURN" || x == "LOG") {
        if (clause[d] != None) clause[d] = Other;
        continue;
      }
    }
    NameRole& me = role[k - r.b];
    if (noColumns[d]) me = NameRole::Variable;
    if (k > r.b && word(k - 1, "AS")) me = NameRole::Sql;
    else if (clause[d] == From && !qualified) me = NameRole::Sql;
    else if (clause[d] == SelectList && !qualified && k > r.b &&
             (op(k + 1, ",") || word(k + 1, "FROM") || word(k + 1, "INTO"))) {
      // an alias follows a whole expression: a name, a literal or a closing parenthesis
      const Tok& p = t[k - 1];
      static const std::set<std::string> leads{"SELECT", "DISTINCT", "UNIQUE", "ALL", "PRIOR", "CONNECT_BY_ROOT",
                                               "NOT", "AND", "OR", "ELSE", "THEN", "WHEN", "IS", "IN", "LIKE",
                                               "BETWEEN", "CASE", "NEW", "ESCAPE"};
      if (op(k - 1, ")") || p.kind == T::Str || p.kind == T::Num || p.kind == T::QWord ||
          (p.kind == T::Word && !leads.count(p.text)))
        me = NameRole::Sql;
    }
  }
  return role;
}
} // namespace

std::string Run::subst(Range r, const std::set<std::string>* cols, Range skip) {
  const auto& t = u.toks;
  std::string out;
  size_t prev = t[r.b].pos;
  auto isOp = [&](size_t k, const char* s) { return k < t.size() && t[k].kind == T::Op && t[k].text == s; };
  std::vector<NameRole> roles;
  if (cols) roles = nameRoles(t, r);
  // a procedural expression's MOD operators, written as calls
  std::map<size_t, std::string> before;
  std::multimap<size_t, size_t> after; // where a call closes, and where it opened
  std::set<size_t> commas, started;
  if (!cols)
    for (const ModOperator& m : modOperators(t, r)) {
      before[m.left] += "MOD(";
      after.emplace(m.right - 1, m.left);
      commas.insert(m.op);
    }
  // and its ** operators (exponentiation), as POWER calls
  if (!cols)
    for (const ModOperator& m : powerOperators(t, r)) {
      before[m.left] += "POWER(";
      after.emplace(m.right - 1, m.left);
      commas.insert(m.op);
    }
  for (size_t k = r.b; k < r.e;) {
    started.insert(k);
    if (auto b = before.find(k); b != before.end() && k > r.b) {
      out += u.src.substr(prev, t[k].pos - prev) + b->second;
      prev = t[k].pos;
    } else if (b != before.end()) {
      out += b->second;
    }
    if (!skip.empty() && k == skip.b) {
      out += u.src.substr(prev, t[k].pos - prev);
      k = skip.e;
      prev = k < t.size() ? t[k].pos : u.src.size();
      out += ' ';
      continue;
    }
    out += u.src.substr(prev, t[k].pos - prev);
    const Tok& w = t[k];
    size_t used = 1;
    std::string rep;
    bool replaced = false;
    bool qualified = k > r.b && isOp(k - 1, ".");
    // IS [NOT] A SET: the A is the operator's, not a name
    if (w.kind == T::Word && w.text == "A" && k + 1 < r.e && t[k + 1].kind == T::Word && t[k + 1].text == "SET" && k > r.b &&
        t[k - 1].kind == T::Word && (t[k - 1].text == "IS" || (t[k - 1].text == "NOT" && k - 1 > r.b && t[k - 2].text == "IS")))
      qualified = true;
    NameRole role = roles.empty() ? NameRole::Either : roles[k - r.b];
    if (!cols && !qualified && lazyCase(k, r.e, rep, used)) {
      replaced = true;
    } else if (cols && w.kind == T::Word && w.text == "CURRENT" && k > r.b && t[k - 1].kind == T::Word &&
               t[k - 1].text == "WHERE" && k + 2 < r.e && t[k + 1].kind == T::Word && t[k + 1].text == "OF") {
      // WHERE CURRENT OF cursor: the row it fetched last
      rep = currentOf(k + 2, r.e, used);
      used += 2;
      replaced = true;
    } else if (isOp(k, "(") && objectRef(k, r.e, rep, used)) {
      replaced = true; // (SELF AS supertype).method
    } else if ((w.kind == T::Word || w.kind == T::QWord) && !qualified && role != NameRole::Sql) {
      // cursor%ATTRIBUTE, or pkg.cursor%ATTRIBUTE
      size_t pct = isOp(k + 1, ".") && k + 2 < r.e && t[k + 2].kind == T::Word && isOp(k + 3, "%") ? k + 3 : k + 1;
      std::string cursorName = pct == k + 3 ? w.text + "." + t[k + 2].text : w.text;
      if (w.text == "SQL" && bulkAttribute(k, r.e, rep, used)) {
        replaced = true;
      } else if (w.text == "ROW" && k > r.b && t[k - 1].text == "SET" && isOp(k + 1, "=") && t[r.b].text == "UPDATE") {
        rep = rowSet(k, r.e, r, used);
        replaced = true;
      } else if (w.text == "SQLERRM" && isOp(k + 1, "(") && !find(w.text)) {
        // SQLERRM(code): the message of that error number
        size_t close = k + 1;
        for (int depth = 0; close < r.e; ++close) {
          if (isOp(close, "(")) ++depth;
          else if (isOp(close, ")") && --depth == 0) break;
        }
        Val n = eval({k + 2, close});
        long long code = n.k == Val::Num ? std::llround(std::stod(n.s)) : 0;
        std::string text = code == 0   ? "ORA-0000: normal, successful completion"
                           : code == 1 ? "User-Defined Exception"
                           : code == 100 ? errorText(1403)
                           : code > 0  ? "-" + std::to_string(code) + ": non-ORACLE exception "
                                       : unfilledErrorText(static_cast<int>(-code));
        // the error being handled: its own message, RAISE_APPLICATION_ERROR's text too
        if (code < 0 && !handling.empty() && handling.back().code == -code &&
            handling.back().detail.rfind(kUserMark, 0) != 0)
          text = handling.back().text;
        rep = literal(Val{Val::Str, text, false});
        replaced = true;
        used = close + 1 - k;
      } else if (objectRef(k, r.e, rep, used, cols != nullptr)) {
        replaced = true;
      } else if (compositeElement(k, r.e, cols == nullptr, rep, used)) {
        replaced = true;
      } else if (isOp(pct, "%") && pct + 1 < r.e && t[pct + 1].kind == T::Word) {
        const std::string& a = t[pct + 1].text;
        if (a == "FOUND" || a == "NOTFOUND" || a == "ROWCOUNT" || a == "ISOPEN") {
          Val v;
          int found = -1;
          bool open = false;
          int64_t count = 0;
          if (w.text == "SQL") {
            found = sqlFound;
            count = sqlRowcount;
          } else if (CursorState* c = cursor(cursorName)) {
            open = c->open;
            if (!open && a != "ISOPEN") throw OraError(1001);
            found = c->found;
            count = c->rowcount;
          } else {
            undeclared(k, cursorName);
          }
          if (a == "ROWCOUNT") {
            if (w.text == "SQL" && sqlFound < 0) v = Val{};
            else v = Val{Val::Num, std::to_string(count), false};
          } else if (a == "ISOPEN") {
            v = Val{Val::Bool, "", open};
          } else if (found >= 0) {
            v = Val{Val::Bool, "", a == "FOUND" ? found == 1 : found == 0};
          }
          rep = v.k == Val::Null && a != "ROWCOUNT" ? "(1=NULL)" : literal(v);
          replaced = true;
          used = pct + 2 - k;
        }
      }
      // UPDATING('COL') in a trigger's body
      if (!replaced && trigger && w.text == "UPDATING" && isOp(k + 1, "(") && k + 3 < r.e && t[k + 2].kind == T::Str &&
          isOp(k + 3, ")")) {
        std::string col = t[k + 2].text;
        for (auto& ch : col) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        bool on = trigger->updating && (trigger->allColumns || trigger->columns.count(col));
        rep = on ? "(1=1)" : "(1=0)";
        replaced = true;
        used = 4;
      }
      if (!replaced && w.text == "DBMS_SQL" && isOp(k + 1, ".") && dbmsSqlValue(*this, k, r.e, rep, used))
        replaced = true;
      if (!replaced) {
        size_t end = k;
        if (callInExpression(k, r.e, cols != nullptr, rep, end)) {
          replaced = true;
          used = end - k;
        }
      }
      if (!replaced && !isOp(k + 1, "(")) {
        Var* v = find(w.text);
        if (v && v->record && isOp(k + 1, ".") && k + 2 < r.e) {
          const std::string& f = t[k + 2].text;
          size_t i = 0;
          while (i < v->fieldNames.size() && v->fieldNames[i] != f) ++i;
          if (i == v->fieldNames.size()) {
            OraError e(6550);
            e.text = "ORA-06550: " + where(u.src, t[k + 2].pos) + ":\nPLS-00302: component '" + f +
                     "' must be declared\nORA-06550: " + where(u.src, t[lastAt].pos) + ":\nPL/SQL: Statement ignored";
            throw e;
          }
          rep = literal(v->fields[i]);
          replaced = true;
          used = 3;
        } else if (v && v->type.xml && isOp(k + 1, ".") && k + 2 < r.e) {
          // an XMLTYPE's method: called on the document the variable holds
          if (v->v.k == Val::Null) throw OraError(30625);
          rep = "XMLTYPE(" + literal(v->v) + ")";
          replaced = true;
        } else if (v && v->isColl()) {
          // a whole collection is no value; in a statement the name is SQL's (a table of that name)
          if (!cols) {
            OraError e(6550);
            e.text = "ORA-06550: " + where(u.src, w.pos) + ":\nPLS-00382: expression is of wrong type";
            throw e;
          }
        } else if (v && !v->record && !isOp(k + 1, ".") &&
                   !(cols && role != NameRole::Variable && cols->count(w.text))) {
          rep = v->v.k == Val::Bool || v->type.kind == TypeSpec::Bool
                    ? (v->v.k == Val::Null ? "(1=NULL)" : literal(v->v))
                    : literal(v->v);
          if (v->type.bytes && v->v.k == Val::Str) rep = "HEXTORAW(" + rep + ")"; // a RAW's bytes, not its digits
          // a CLOB's text stays a CLOB: SQL's 4000-byte limit on text is not its
          else if (v->type.kind == TypeSpec::Text && v->type.size == kLobSize && !v->type.xml && v->v.k == Val::Str)
            rep = "TO_CLOB(" + rep + ")";
          replaced = true;
        } else if (!v && w.kind == T::Word && (w.text == "TRUE" || w.text == "FALSE")) {
          rep = w.text == "TRUE" ? "(1=1)" : "(1=0)";
          replaced = true;
        } else if (Var* q = !v && isOp(k + 1, ".") && k + 2 < r.e && t[k + 2].kind != T::Op
                                ? findIn(w.text, t[k + 2].text)
                                : nullptr;
                   q && !q->record && !q->isColl() && !isOp(k + 3, ".")) {
          // block_label.name, subprogram.parameter: always the variable
          rep = q->v.k == Val::Null && q->type.kind == TypeSpec::Bool ? "(1=NULL)" : literal(q->v);
          replaced = true;
          used = 3;
        } else if (Var* q = !v && isOp(k + 1, ".") && k + 4 < r.e && t[k + 2].kind != T::Op && isOp(k + 3, ".")
                                ? findIn(w.text, t[k + 2].text)
                                : nullptr;
                   q && q->record && !isOp(k + 5, ".") &&
                   std::find(q->fieldNames.begin(), q->fieldNames.end(), t[k + 4].text) != q->fieldNames.end()) {
          // label.record.field: a loop's record by its label
          size_t f = std::find(q->fieldNames.begin(), q->fieldNames.end(), t[k + 4].text) - q->fieldNames.begin();
          rep = literal(q->fields[f]);
          replaced = true;
          used = 5;
        } else if (!v && w.kind == T::Word && isOp(k + 1, ".") && suppliedValue(*this, k, r.e, rep, used)) {
          replaced = true;
        } else if (!v && w.kind == T::Word && (w.text == "SQLCODE" || w.text == "SQLERRM")) {
          Val x;
          if (w.text == "SQLCODE") {
            int code = handling.empty() ? 0 : handling.back().code;
            bool user = !handling.empty() && handling.back().detail.rfind(kUserMark, 0) == 0;
            x = Val{Val::Num, std::to_string(user ? 1 : code == 1403 ? 100 : -code), false};
          } else {
            std::string text = handling.empty() ? "ORA-0000: normal, successful completion" : handling.back().text;
            if (!handling.empty() && handling.back().detail.rfind(kUserMark, 0) == 0) text = "User-Defined Exception";
            x = Val{Val::Str, text, false};
          }
          rep = literal(x);
          replaced = true;
        }
      }
    }
    if (!replaced) rep = u.src.substr(w.pos, w.end - w.pos);
    if (commas.count(k)) rep = ",";
    out += rep;
    // one inside what was replaced as a whole (a call's arguments) was neither opened nor closed here
    for (size_t x = k; x < k + used; ++x)
      for (auto [a, end] = after.equal_range(x); a != end; ++a)
        if (started.count(a->second)) out += ")";
    k += used;
    prev = t[k - 1].end;
  }
  return out;
}

namespace {
// An error of the engine's SQL about a name in an expression: PL/SQL reports it at compile time.
OraError expressionError(const Run& r, OraError e, Range range) {
  // text that is no number: INVALID_NUMBER in SQL, VALUE_ERROR in a procedural statement (unless
  // a unit the expression called raised it)
  if (e.code == 1722 && e.text.find("ORA-06512") == std::string::npos) return valueError("character to number conversion error");
  if (e.code != 904) return e;
  std::string name = e.detail;
  if (name.size() > 2 && name.front() == '"') name = name.substr(1, name.size() - 2);
  for (size_t k = range.b; k < range.e; ++k)
    if (r.u.toks[k].text == name) {
      OraError p(6550);
      p.text = "ORA-06550: " + where(r.u.src, r.u.toks[k].pos) + ":\nPLS-00201: identifier '" + name + "' must be declared" +
               "\nORA-06550: " + where(r.u.src, r.u.toks[std::min(r.lastAt, r.u.toks.size() - 1)].pos) +
               ":\nPL/SQL: Statement ignored";
      return p;
    }
  return e;
}
} // namespace

Val Run::evalText(const std::string& sqlExpr) {
  ValueQueries values;
  Rows rows = query("SELECT " + sqlExpr + " FROM DUAL", 1);
  if (rows.rows.empty() || rows.rows[0].empty()) return Val{};
  return rows.rows[0][0];
}

Val Run::eval(Range r) {
  const auto& t = u.toks;
  // a lone variable or number needs no SQL
  if (r.e == r.b + 1) {
    if (t[r.b].kind == T::Word) {
      if (Var* v = find(t[r.b].text); v && !v->record && !v->isColl()) return v->v;
      if (t[r.b].text == "NULL") return Val{};
      if (t[r.b].text == "TRUE" || t[r.b].text == "FALSE") return Val{Val::Bool, "", t[r.b].text == "TRUE"};
    }
    if (t[r.b].kind == T::Str) return t[r.b].text.empty() ? Val{} : Val{Val::Str, t[r.b].text, false};
  }
  if (isCondition(r)) {
    int c = cond(r);
    return c < 0 ? Val{} : Val{Val::Bool, "", c == 1};
  }
  std::string text = subst(r, nullptr);
  Val x;
  try {
    x = evalText(text);
  } catch (const OraError& e) {
    throw expressionError(*this, e, r);
  }
  integerArithmetic(r, x);
  return x;
}

// Whether an expression is a condition: a comparison, a logical operator or a BOOLEAN operand at
// its top level (a CASE expression's own conditions aside).
bool Run::isCondition(Range r) {
  const auto& t = u.toks;
  int depth = 0, cases = 0;
  for (size_t k = r.b; k < r.e; ++k) {
    const Tok& w = t[k];
    if (w.kind == T::Op) {
      if (w.text == "(") ++depth;
      else if (w.text == ")") --depth;
      else if (depth == 0 && cases == 0 &&
               (w.text == "=" || w.text == "<" || w.text == ">" || w.text == "<=" || w.text == ">=" ||
                w.text == "<>" || w.text == "!=" || w.text == "^=" || w.text == "~="))
        return true;
      else if (w.text == "%" && depth == 0 && cases == 0 && k + 1 < r.e &&
               (t[k + 1].text == "FOUND" || t[k + 1].text == "NOTFOUND" || t[k + 1].text == "ISOPEN"))
        return true;
      continue;
    }
    if (w.kind != T::Word || depth != 0) continue;
    if (w.text == "CASE") ++cases;
    else if (w.text == "END" && cases > 0) --cases;
    else if (cases == 0 && (w.text == "AND" || w.text == "OR" || w.text == "NOT" || w.text == "IS" || w.text == "LIKE" ||
                            w.text == "BETWEEN" || w.text == "IN" || w.text == "EXISTS" || w.text == "TRUE" ||
                            w.text == "FALSE"))
      return true;
    else if (cases == 0 && !(k > r.b && t[k - 1].text == ".")) {
      if (compositeCondition(k, r.e)) return true;
      Var* v = find(w.text);
      if (v && !v->record && (v->type.kind == TypeSpec::Bool || v->v.k == Val::Bool)) return true;
    }
  }
  return false;
}

int Run::cond(Range r) {
  const auto& t = u.toks;
  if (r.e == r.b + 1 && t[r.b].kind == T::Word) {
    if (Var* v = find(t[r.b].text); v && v->v.k == Val::Bool) return v->v.b ? 1 : 0;
    if (t[r.b].text == "TRUE") return 1;
    if (t[r.b].text == "FALSE") return 0;
    if (t[r.b].text == "NULL" && !find("NULL")) return -1;
  }
  if (int c = 0; lazyCondition(r, c)) return c;
  std::string text = subst(r, nullptr);
  Val v;
  try {
    v = evalText("CASE WHEN " + text + " THEN 1 WHEN NOT (" + text + ") THEN 0 END");
  } catch (const OraError& e) {
    throw expressionError(*this, e, r);
  }
  return v.k == Val::Null ? -1 : v.s == "1" ? 1 : 0;
}

void Run::store(Var& v, Val x, size_t at) {
  if (v.isColl() && collectionFromSql(v, x)) return;
  if (x.k == Val::Null) {
    if (v.notNull) throw valueError("");
    v.v = x;
    return;
  }
  const TypeSpec& ty = v.type;
  switch (ty.kind) {
  case TypeSpec::Number: {
    if (x.k == Val::Bool || x.k == Val::Date) throw valueError("");
    if (ty.binary || x.fp) {
      x = binaryStored(*this, x, ty.binary);
      if (ty.binary) break;
    }
    if (x.k == Val::Str) {
      try {
        x = evalText("TO_NUMBER(" + literal(x) + ")");
      } catch (const OraError&) {
        throw valueError("character to number conversion error");
      }
    }
    if (ty.integer) {
      x = intInRange(ty, evalText("ROUND(" + literal(x) + ")"));
    } else if (ty.floatBits > 0 && floatDigits(ty.floatBits) <= 15) {
      // a FLOAT of more digits keeps the value whole, as a NUMBER does
      x = evalText("CAST(" + literal(x) + " AS FLOAT(" + std::to_string(ty.floatBits) + "))");
    } else if (ty.precision > 0) {
      try {
        x = evalText("CAST(" + literal(x) + " AS NUMBER(" + std::to_string(ty.precision) + "," +
                     std::to_string(ty.hasScale ? ty.scale : 0) + "))");
      } catch (const OraError&) {
        throw valueError("number precision too large");
      }
    }
    break;
  }
  case TypeSpec::Text:
    if (x.k == Val::Bool) throw valueError("");
    if (x.k != Val::Str) x = evalText("TO_CHAR(" + literal(x) + ")");
    if (ty.bytes) {
      // a RAW holds bytes, written as two hexadecimal digits each
      for (auto& c : x.s) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) throw valueError("hex to raw conversion error");
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      }
      if (x.s.size() % 2) x.s.insert(0, "0");
      if (static_cast<int>(x.s.size()) > ty.size) throw valueError("raw variable length too long");
    }
    if (ty.size < kLobSize && !ty.bytes) {
      // the length in the database's bytes, or in characters (n CHAR, NCHAR, or the session's
      // NLS_LENGTH_SEMANTICS CHAR where the declaration says neither)
      const bool inChars = ty.chars || (!ty.byteUnit && sessionNls(ses.db).charSemantics);
      int64_t length = 0;
      if (inChars)
        for (unsigned char c : x.s) length += (c & 0xC0) != 0x80;
      else
        length = byteLength(x.s, ses.charset);
      if (length > ty.size) throw valueError("character string buffer too small");
      if (ty.fixed && length < ty.size) x.s.append(static_cast<size_t>(ty.size - length), ' ');
    } else if (static_cast<int>(x.s.size()) > ty.size) {
      throw valueError("character string buffer too small");
    }
    break;
  case TypeSpec::Date:
    if (ty.dt) {
      storeDatetime(*this, ty, x);
      break;
    }
    if (x.k == Val::Bool || x.k == Val::Num) throw valueError("");
    if (x.k == Val::Date && x.dt) x = evalText("CAST(" + literal(x) + " AS DATE)");
    else if (x.k == Val::Str && storedTimestampText(x.s)) x = Val{Val::Date, x.s.substr(0, 19), false};
    else if (x.k == Val::Str) x = evalText("TO_DATE(" + literal(x) + ")");
    break;
  case TypeSpec::Bool:
    // a SQL BOOLEAN arrives as the number 1 or 0
    if (x.k == Val::Num) {
      x = Val{Val::Bool, "", x.s != "0"};
    } else if (x.k == Val::Str && booleanOfText(x.s) >= 0) {
      x = Val{Val::Bool, "", booleanOfText(x.s) == 1};
    }
    if (x.k != Val::Bool) throw valueError("");
    break;
  case TypeSpec::Cursor: {
    if (x.k == Val::Str && isCursorHandle(x.s)) {
      // a nested cursor a query fetched
      v.v = Val{};
      v.v.cur = handleCursor(ses, x.s);
      if (!v.v.cur) throw OraError(1001);
      return;
    }
    // only another cursor variable (or NULL) goes into one
    OraError e(6550);
    e.text = "ORA-06550: " + where(u.src, u.toks[std::min(at, u.toks.size() - 1)].pos) +
             ":\nPLS-00382: expression is of wrong type";
    throw e;
  }
  default: break;
  }
  v.v = x;
}

void Run::assign(Range target, Val x) {
  const auto& t = u.toks;
  const std::string& name = t[target.b].text;
  if (target.e > target.b + 1 && assignPart(target, x)) return;
  Var* v = find(name);
  // label.name: a variable of an enclosing block, or a subprogram's parameter
  if (!v && target.e == target.b + 3 && t[target.b + 1].text == "." && t[target.b + 2].kind == T::Word) {
    if (Var* q = findIn(name, t[target.b + 2].text); q && !q->record && !q->isColl()) {
      if (q->constant) {
        OraError e(6550);
        e.text = "ORA-06550: " + where(u.src, t[target.b].pos) + ":\nPLS-00363: expression '" + u.text(target) +
                 "' cannot be used as an assignment target";
        throw e;
      }
      return store(*q, std::move(x), target.b);
    }
  }
  if (!v) {
    if (t[target.b].kind == T::Word && (name == "SQLCODE" || name == "SQLERRM")) undeclared(target.b, name);
    undeclared(target.b, name);
  }
  if (v->constant) {
    OraError e(6550);
    e.text = "ORA-06550: " + where(u.src, t[target.b].pos) + ":\nPLS-00363: expression '" + name +
             "' cannot be used as an assignment target";
    throw e;
  }
  if (target.e == target.b + 3 && v->record) {
    const std::string& f = t[target.b + 2].text;
    for (size_t i = 0; i < v->fieldNames.size(); ++i)
      if (v->fieldNames[i] == f) { v->fields[i] = x; return; }
    OraError e(6550);
    e.text = "ORA-06550: " + where(u.src, t[target.b + 2].pos) + ":\nPLS-00302: component '" + f +
             "' must be declared\nORA-06550: " + where(u.src, t[lastAt].pos) + ":\nPL/SQL: Statement ignored";
    throw e;
  }
  if (target.e > target.b + 1 && objectAssignValue(target, x)) return; // SELECT ... INTO self.attribute
  if (target.e != target.b + 1 || v->record) throw OraError(6550, "this assignment target is not supported");
  store(*v, std::move(x), target.b);
}

} // namespace ora::pl
