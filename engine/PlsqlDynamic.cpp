// Dynamic SQL (EXECUTE IMMEDIATE, OPEN ... FOR a text) and cursor variables. A dynamic
// statement's placeholders become SQLite parameters bound to the USING values: the values never
// enter its text.
#include "OciImpl.h"
#include "OraValues.h"
#include "Plsql.h"
#include "PlsqlRun.h"
#include "Session.h"
#include "SqlLexer.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <sqlite3.h>

namespace ora::pl {

namespace {

struct Placeholder {
  int token = 0;        // ordinal among the text's tokens
  size_t pos = 0;       // byte offset of its ":"
  std::string name;     // upper case, without the ":"
};

std::vector<Placeholder> placeholders(const std::vector<sql::Token>& toks, size_t upTo) {
  std::vector<Placeholder> out;
  for (size_t i = 0; i < toks.size() && toks[i].pos < upTo; ++i) {
    if (toks[i].kind != sql::Tok::Bind) continue;
    Placeholder p;
    p.token = static_cast<int>(i);
    p.pos = toks[i].pos;
    p.name = toks[i].text.substr(1);
    for (auto& ch : p.name)
      if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 32);
    out.push_back(std::move(p));
  }
  return out;
}

bool isWord(const sql::Token& t, const char* w) { return t.kind == sql::Tok::Ident && t.text == w; }

void bindValue(sqlite3_stmt* st, int n, const Val& v) {
  if (v.k == Val::Null) {
    sqlite3_bind_null(st, n);
  } else if (v.k == Val::Num) {
    int64_t i = 0;
    auto [end, ec] = std::from_chars(v.s.data(), v.s.data() + v.s.size(), i);
    if (ec == std::errc() && end == v.s.data() + v.s.size()) sqlite3_bind_int64(st, n, i);
    else sqlite3_bind_double(st, n, std::strtod(v.s.c_str(), nullptr));
  } else {
    // text, and a date in the form the engine stores
    sqlite3_bind_text(st, n, v.s.data(), static_cast<int>(v.s.size()), SQLITE_TRANSIENT);
  }
}

OraError compileError(const Run& r, size_t at, const std::string& pls) {
  OraError e(6550);
  e.text = "ORA-06550: " + where(r.u.src, r.u.toks[at].pos) + ":\n" + pls;
  return e;
}

// The statement text an EXECUTE IMMEDIATE or OPEN FOR runs.
std::string dynamicText(Run& r, Range expr) {
  Val v = r.eval(expr);
  if (v.k == Val::Bool || v.cur) throw compileError(r, expr.b, "PLS-00382: expression is of wrong type");
  if (v.k == Val::Num || v.k == Val::Date) v = r.evalText("TO_CHAR(" + literal(v) + ")");
  std::string s = v.k == Val::Null ? std::string() : v.s;
  size_t b = s.find_first_not_of(" \t\r\n"), e = s.find_last_not_of(" \t\r\n");
  s = b == std::string::npos ? std::string() : s.substr(b, e + 1 - b);
  if (s.empty()) {
    OraError x(6535);
    x.text = "ORA-06535: statement string in EXECUTE IMMEDIATE is NULL or 0 length";
    throw x;
  }
  return s;
}

// The value a USING argument passes in.
Val usingValue(Run& r, const Stmt& s, size_t k) {
  if (s.bindModes[k] == 2) return Val{};
  Val v = r.eval(s.binds[k]);
  if (v.k == Val::Bool) throw compileError(r, s.binds[k].b, "PLS-00457: expressions have to be of SQL types");
  return v;
}

// Translates a dynamic statement with its placeholders as parameters; kept for the run.
Prepared& prepared(Run& r, const std::string& sql) {
  const std::string key = "\x03" + sql;
  if (auto it = r.cache.find(key); it != r.cache.end()) return it->second;
  if (r.cache.size() > 300) {
    // texts built in a loop share nothing: they would pile up
    for (auto& [k, p] : r.cache) sqlite3_finalize(p.st);
    r.cache.clear();
  }
  Catalog cat(r.ses.db, r.ses.user, &r.ses);
  Translation tr;
  {
    HostBinds binds;
    tr = translate(sql, cat, false);
  }
  if (tr.kind != StmtKind::Query && tr.kind != StmtKind::Dml) {
    Prepared& p = r.cache["\x04" + sql]; // run once, not kept as a statement
    p.tr = std::move(tr);
    return p;
  }
  if (!tr.moreSql.empty() && !tr.params.empty()) throw OraError(3001); // a statement of several parts takes no binds
  sqlite3_stmt* st = nullptr;
  if (int rc = sqlite3_prepare_v2(r.ses.db, tr.sql.c_str(), -1, &st, nullptr); rc != SQLITE_OK) {
    OraError e = fromSqlite(rc, sqlite3_errmsg(r.ses.db), tr.verb);
    sqlite3_finalize(st);
    throw e;
  }
  Prepared& p = r.cache[key];
  p.tr = std::move(tr);
  p.st = st;
  return p;
}

void bindAll(const Prepared& p, const std::vector<Placeholder>& ph, const std::vector<Val>& vals) {
  sqlite3_reset(p.st);
  sqlite3_clear_bindings(p.st);
  for (size_t k = 0; k < p.tr.params.size(); ++k) {
    size_t j = 0;
    while (j < ph.size() && ph[j].token != p.tr.params[k]) ++j;
    if (j >= ph.size() || j >= vals.size()) throw OraError(1008);
    bindValue(p.st, static_cast<int>(k + 1), vals[j]);
  }
}

// A dynamic query's rows, its placeholders bound to `vals` in the order they appear.
Rows boundRows(Run& r, const std::string& sql, const std::vector<Val>& vals, size_t maxRows) {
  std::vector<Placeholder> ph = placeholders(sql::lex(sql), sql.size());
  checkMutating(r.ses, sql);
  Prepared& p = prepared(r, sql);
  if (p.tr.kind != StmtKind::Query) throw OraError(900);
  for (auto& v : p.tr.dictionary) r.ses.refreshDictionary(v);
  bindAll(p, ph, vals);
  Rows out;
  int n = sqlite3_column_count(p.st);
  for (int i = 0; i < n; ++i) {
    out.names.push_back(sqlite3_column_name(p.st, i));
    out.types.push_back(resultType(p.st, i, p.tr));
  }
  while (out.rows.size() < maxRows) {
    int rc = sqlite3_step(p.st);
    if (rc == SQLITE_DONE) break;
    if (rc != SQLITE_ROW) {
      std::string msg = sqlite3_errmsg(r.ses.db);
      sqlite3_reset(p.st);
      throw oci::stepFailure(r.ses, rc, msg, p.tr, p.st);
    }
    std::vector<Val> row;
    row.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) row.push_back(columnValue(p.st, i, p.tr));
    out.rows.push_back(std::move(row));
  }
  sqlite3_reset(p.st);
  return out;
}

int64_t boundDml(Run& r, const std::string& sql, const std::vector<Val>& vals) {
  std::vector<Placeholder> ph = placeholders(sql::lex(sql), sql.size());
  checkMutating(r.ses, sql);
  Prepared& p = prepared(r, sql);
  if (sqlCallDepth > 0) throw OraError(14551);
  r.ses.beginIfNeeded(p.tr.verb);
  for (auto& v : p.tr.dictionary) r.ses.refreshDictionary(v);
  bindAll(p, ph, vals);
  return runTriggeredDml(r.ses, p.tr, [&]() -> int64_t {
    if (!p.tr.moreSql.empty() || p.tr.verb == "MERGE" || p.tr.selfRun) return r.ses.runParts(p.st, p.tr);
    int rc = sqlite3_step(p.st);
    std::string msg = sqlite3_errmsg(r.ses.db);
    sqlite3_reset(p.st);
    if (rc != SQLITE_DONE) throw oci::stepFailure(r.ses, rc, msg, p.tr, p.st);
    return sqlite3_changes(r.ses.db);
  });
}

// After DDL the run's statements were translated for a schema that is gone.
void forgetStatements(Run& r) {
  for (auto& [k, p] : r.cache) sqlite3_finalize(p.st);
  r.cache.clear();
  r.columnsOf.clear();
  r.storedFunctions.clear();
}

// A block run as dynamic SQL: its binds are the variables of `host`; it counts its steps with
// its caller and may end the caller's transaction.
void runDynamicBlock(Run& r, const Unit& unit, Scope& host) {
  Run inner(r.ses, unit);
  inner.transactionEnded = r.transactionEnded;
  inner.steps = r.steps;
  inner.started = r.started;
  inner.scopes.push_back(&host);
  try {
    inner.block(*unit.block);
  } catch (OraError& e) {
    r.steps = inner.steps;
    r.ended = r.ended || inner.ended;
    addFrame(e, inner);
    throw;
  }
  r.steps = inner.steps;
  r.ended = r.ended || inner.ended;
  if (inner.ended) forgetStatements(r);
}

// An anonymous block given as text: its placeholders are one bind each, however often named.
void dynamicBlock(Run& r, const Stmt& s, const std::string& text) {
  std::shared_ptr<Unit> unit = parseBlock(text);
  std::vector<std::string> names;
  for (const Tok& t : unit->toks)
    if (t.kind == T::Word && t.text[0] == ':' && std::find(names.begin(), names.end(), t.text) == names.end())
      names.push_back(t.text);
  if (s.binds.size() < names.size()) throw OraError(1008);
  if (s.binds.size() > names.size()) throw OraError(1006);
  Scope host;
  for (size_t k = 0; k < names.size(); ++k) {
    Var v;
    Range a = s.binds[k];
    if (a.e == a.b + 1)
      if (Var* o = r.find(r.u.toks[a.b].text); o && o->type.kind == TypeSpec::Cursor) v.type.kind = TypeSpec::Cursor;
    if (v.type.kind == TypeSpec::Cursor) v.v = s.bindModes[k] == 2 ? Val{} : r.eval(a);
    else v.v = usingValue(r, s, k);
    host.vars[names[k]] = std::move(v);
  }
  runDynamicBlock(r, *unit, host);
  for (size_t k = 0; k < names.size(); ++k)
    if (s.bindModes[k] & 2) r.assign(s.binds[k], host.vars[names[k]].v);
}

// DDL commits, as the same statement run on its own does.
void dynamicDdl(Run& r, const Translation& t) {
  if (sqlCallDepth > 0) throw OraError(14552);
  if (triggerDepth > 0) throw OraError(4092);
  r.ended = true;
  try {
    r.ses.runDdl(t);
  } catch (...) {
    forgetStatements(r);
    if (r.transactionEnded) r.transactionEnded();
    throw;
  }
  forgetStatements(r);
  if (r.transactionEnded) r.transactionEnded();
}

// CREATE of a procedure, function, package, trigger or type: its text is PL/SQL source, whose
// semicolons and :NEW are its own, with no placeholders of the dynamic statement's.
bool unitSource(const std::string& sql) {
  std::vector<std::string> words;
  for (size_t i = 0; i < sql.size() && words.size() < 5;) {
    if (std::isspace(static_cast<unsigned char>(sql[i]))) { ++i; continue; }
    size_t e = i;
    while (e < sql.size() && (std::isalnum(static_cast<unsigned char>(sql[e])) || sql[e] == '_')) ++e;
    if (e == i) break;
    std::string w = sql.substr(i, e - i);
    for (auto& ch : w) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    words.push_back(w);
    i = e;
  }
  if (words.empty() || words[0] != "CREATE") return false;
  for (size_t k = 1; k < words.size(); ++k) {
    const std::string& w = words[k];
    if (w == "PROCEDURE" || w == "FUNCTION" || w == "PACKAGE" || w == "TRIGGER" || w == "TYPE") return true;
    if (w != "OR" && w != "REPLACE" && w != "EDITIONABLE" && w != "NONEDITIONABLE") return false;
  }
  return false;
}

} // namespace

Flow Run::executeImmediate(const Stmt& s) {
  const std::string sql = dynamicText(*this, s.expr);
  if (startsWithWord(sql, "BEGIN") || startsWithWord(sql, "DECLARE")) {
    dynamicBlock(*this, s, sql);
    return Flow::Next;
  }
  if (unitSource(sql)) {
    if (!s.binds.empty()) throw OraError(1027);
    Catalog cat(ses.db, ses.user, &ses);
    dynamicDdl(*this, translate(sql, cat));
    return Flow::Next;
  }
  std::vector<sql::Token> toks = sql::lex(sql);
  // RETURNING ... INTO :a, ... at the top level of a DML statement
  size_t ret = toks.size() - 1, into = ret;
  int depth = 0;
  for (size_t k = 0; k + 1 < toks.size(); ++k) {
    if (toks[k].kind == sql::Tok::Op && toks[k].text == "(") ++depth;
    else if (toks[k].kind == sql::Tok::Op && toks[k].text == ")") --depth;
    else if (depth == 0 && ret == toks.size() - 1 && (isWord(toks[k], "RETURNING") || isWord(toks[k], "RETURN"))) ret = k;
    else if (depth == 0 && ret < k && isWord(toks[k], "INTO")) { into = k; break; }
  }
  if (into == toks.size() - 1) ret = into;
  const size_t cut = toks[ret].pos;
  const std::string main = sql.substr(0, cut);
  std::vector<Placeholder> ph = placeholders(toks, cut);
  std::vector<Placeholder> retPh;
  for (size_t k = into + 1; k + 1 < toks.size(); ++k)
    if (toks[k].kind == sql::Tok::Bind) retPh.push_back(Placeholder{static_cast<int>(k), toks[k].pos, toks[k].text});
  const size_t outs = ret < into && s.returnInto.empty() ? retPh.size() : 0;
  if (s.binds.size() < ph.size() + outs) throw OraError(1008);
  if (s.binds.size() > ph.size() + outs) throw OraError(1006);
  std::vector<Val> vals;
  for (size_t k = 0; k < ph.size(); ++k) vals.push_back(usingValue(*this, s, k));

  const Translation* tr = &prepared(*this, main).tr;
  switch (tr->kind) {
  case StmtKind::Query: {
    if (s.conds.empty()) {
      boundRows(*this, main, vals, 0); // a query without INTO is run, not fetched
      sqlRowcount = 0;
      sqlFound = 0;
      return Flow::Next;
    }
    Rows rows = boundRows(*this, main, vals, s.bulk ? SIZE_MAX : 2);
    sqlRowcount = static_cast<int64_t>(rows.rows.size());
    sqlFound = rows.rows.empty() ? 0 : 1;
    if (s.bulk) {
      bulkInto(s.conds, rows.names, std::move(rows.rows), s.at);
      return Flow::Next;
    }
    if (rows.rows.empty()) throw OraError(1403);
    if (rows.rows.size() > 1) throw OraError(1422);
    intoTargets(*this, s.conds, rows.names, rows.rows[0], s.at);
    return Flow::Next;
  }
  case StmtKind::Dml: {
    if (ret == into) {
      sqlRowcount = boundDml(*this, main, vals);
      sqlFound = sqlRowcount > 0 ? 1 : 0;
      return Flow::Next;
    }
    std::vector<Range> targets = s.returnInto;
    for (size_t k = ph.size(); k < s.binds.size(); ++k) targets.push_back(s.binds[k]);
    if (targets.size() != retPh.size()) throw OraError(targets.size() < retPh.size() ? 1008 : 1006);
    sqlRowcount = 0;
    // the rows it changes, read by ROWID as the static statement's are
    const std::string verb = toks[0].text;
    size_t tb = 1, te, where = ret;
    if (verb == "INSERT" || (verb == "DELETE" && tb < ret && isWord(toks[tb], "FROM"))) ++tb;
    depth = 0;
    for (size_t k = tb; k < ret; ++k) {
      if (toks[k].kind == sql::Tok::Op && toks[k].text == "(") ++depth;
      else if (toks[k].kind == sql::Tok::Op && toks[k].text == ")") --depth;
      else if (depth == 0 && isWord(toks[k], "WHERE")) { where = k; break; }
    }
    te = verb == "INSERT" ? tb + (tb + 2 < ret && toks[tb + 1].text == "." ? 3 : 1) : where;
    if (verb == "UPDATE")
      for (te = tb; te < ret && !isWord(toks[te], "SET"); ++te) {}
    if (tb >= te || te > ret) throw OraError(903);
    const std::string table = sql.substr(toks[tb].pos, toks[te - 1].end - toks[tb].pos);
    const std::string exprs = sql.substr(toks[ret + 1].pos, toks[into].pos - toks[ret + 1].pos);
    std::string cond;
    std::vector<Val> condVals;
    if (where < ret) {
      cond = " WHERE " + sql.substr(toks[where + 1].pos, cut - toks[where + 1].pos);
      for (size_t k = 0; k < ph.size(); ++k)
        if (ph[k].pos > toks[where].pos) condVals.push_back(vals[k]);
    }
    auto rowOf = [&](const std::string& rowid) {
      return boundRows(*this, "SELECT " + exprs + " FROM " + table + " WHERE ROWID = :R", {Val{Val::Str, rowid, false}}, 1);
    };
    Rows got = boundRows(*this, "SELECT " + exprs + " FROM " + table + " WHERE 1 = 0", {}, 0);
    Rows ids;
    if (verb != "INSERT") ids = boundRows(*this, "SELECT ROWID FROM " + table + cond, condVals, s.returnBulk ? SIZE_MAX : 2);
    if (!s.returnBulk && ids.rows.size() > 1) throw OraError(1422);
    auto collect = [&] {
      for (auto& id : ids.rows)
        for (auto& row : rowOf(id[0].s).rows) got.rows.push_back(std::move(row));
    };
    if (verb == "DELETE") collect();
    sqlRowcount = boundDml(*this, main, vals);
    sqlFound = sqlRowcount > 0 ? 1 : 0;
    if (verb == "UPDATE") collect();
    if (verb == "INSERT" && sqlRowcount == 1) {
      Catalog cat(ses.db, ses.user, &ses);
      std::string name = toks[te - 1].text;
      for (auto& row : rowOf(encodeRowid(cat.objectNumber(name), insertedRowid(ses))).rows) got.rows.push_back(std::move(row));
    }
    if (s.returnBulk) {
      bulkInto(targets, got.names, std::move(got.rows), s.at);
      return Flow::Next;
    }
    std::vector<Val> row = got.rows.empty() ? std::vector<Val>(got.names.size()) : got.rows[0];
    if (row.size() != targets.size()) throw OraError(row.size() < targets.size() ? 1008 : 1006);
    for (size_t k = 0; k < row.size(); ++k) assign(targets[k], row[k]);
    return Flow::Next;
  }
  case StmtKind::Ddl: {
    Translation t = *tr;
    cache.erase("\x04" + main);
    if (!ph.empty()) throw OraError(1027);
    dynamicDdl(*this, t);
    return Flow::Next;
  }
  default: {
    cache.erase("\x04" + main);
    if (!ph.empty()) throw OraError(1006);
    execute(main); // COMMIT, ROLLBACK, SAVEPOINT, ALTER SESSION: as the static statement runs
    return Flow::Next;
  }
  }
}

void Run::openFor(const Stmt& s) {
  CursorState* c = cursor(s.name);
  if (!c) undeclared(s.at + 1, s.name);
  if (c->decl) throw compileError(*this, s.at + 1, "PLS-00382: expression is of wrong type");
  Rows rows;
  if (!s.dynamic) {
    rows = query(subst(s.expr, &columns(&s, s.expr)), SIZE_MAX);
  } else {
    const std::string sql = dynamicText(*this, s.expr);
    std::vector<Placeholder> ph = placeholders(sql::lex(sql), sql.size());
    if (s.binds.size() < ph.size()) throw OraError(1008);
    if (s.binds.size() > ph.size()) throw OraError(1006);
    std::vector<Val> vals;
    for (size_t k = 0; k < ph.size(); ++k) vals.push_back(usingValue(*this, s, k));
    rows = boundRows(*this, sql, vals, SIZE_MAX);
  }
  // a cursor variable opened again leaves its earlier query without a close
  c->cols = std::move(rows.names);
  c->types = std::move(rows.types);
  c->rows = std::move(rows.rows);
  c->next = 0;
  c->rowcount = 0;
  c->found = -1;
  c->open = true;
}

Val Run::cursorOf(Range expr) {
  const auto& t = u.toks;
  while (expr.e > expr.b + 2 && isOp(t, expr.b, "(") && closing(t, expr.b) + 1 == expr.e) expr = {expr.b + 1, expr.e - 1};
  if (expr.e == expr.b + 1)
    if (Var* v = find(t[expr.b].text)) {
      if (v->type.kind != TypeSpec::Cursor && v->v.k != Val::Null)
        throw compileError(*this, expr.b, "PLS-00382: expression is of wrong type");
      return v->v;
    }
  // a function's cursor is no SQL value: the call leaves it aside
  lastCursor.reset();
  Val x = eval(expr);
  x.cur = std::move(lastCursor);
  lastCursor.reset();
  if (x.k != Val::Null) throw compileError(*this, expr.b, "PLS-00382: expression is of wrong type");
  return x;
}

bool Run::cursorValue(Range target, Range expr) {
  if (target.e != target.b + 1) return false;
  Var* v = find(u.toks[target.b].text);
  if (!v || v->type.kind != TypeSpec::Cursor) return false;
  if (v->constant) return false; // refused as any constant's assignment
  v->v = cursorOf(expr);
  return true;
}

} // namespace ora::pl

namespace ora::pl {

std::vector<std::string> placeholderNames(const std::string& sql) {
  std::vector<std::string> out;
  for (auto& p : placeholders(sql::lex(sql), sql.size())) out.push_back(p.name);
  return out;
}

StmtKind dynamicKind(Run& r, const std::string& sql, bool& block) {
  block = startsWithWord(sql, "BEGIN") || startsWithWord(sql, "DECLARE");
  if (block) {
    parseBlock(sql); // its errors are the parse's
    return StmtKind::Session;
  }
  if (unitSource(sql)) return StmtKind::Ddl;
  StmtKind k = prepared(r, sql).tr.kind;
  if (k != StmtKind::Query && k != StmtKind::Dml) r.cache.erase("\x04" + sql);
  return k;
}

Rows dynamicRows(Run& r, const std::string& sql, const std::vector<Val>& vals, size_t maxRows) {
  return boundRows(r, sql, vals, maxRows);
}

int64_t dynamicDml(Run& r, const std::string& sql, const std::vector<Val>& vals) { return boundDml(r, sql, vals); }

void dynamicDdlText(Run& r, const std::string& sql) {
  Catalog cat(r.ses.db, r.ses.user, &r.ses);
  dynamicDdl(r, translate(sql, cat));
}

void dynamicBlockText(Run& r, const std::string& text, std::map<std::string, Val>& binds) {
  std::shared_ptr<Unit> unit = parseBlock(text);
  Scope host;
  for (const Tok& t : unit->toks)
    if (t.kind == T::Word && t.text[0] == ':' && !host.vars.count(t.text)) {
      auto b = binds.find(t.text.substr(1));
      if (b == binds.end()) throw OraError(1008);
      Var v;
      if (b->second.cur) v.type.kind = TypeSpec::Cursor;
      v.v = b->second;
      host.vars[t.text] = std::move(v);
    }
  runDynamicBlock(r, *unit, host);
  for (auto& [name, var] : host.vars) binds[name.substr(1)] = var.v;
}

} // namespace ora::pl
