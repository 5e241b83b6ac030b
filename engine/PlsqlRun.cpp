// Runs an anonymous PL/SQL block: its statements, cursors and exception handlers.
#include "PlsqlRun.h"
#include "PlsqlSuppliedMore.h"

#include "Autonomous.h"
#include "ObjectTypes.h"
#include "Plsql.h"
#include "PlsqlCompile.h"
#include "Session.h"
#include "SqlText.h"

#include <chrono>
#include <cmath>
#include <cstring>
#include <sqlite3.h>

namespace ora::pl {

namespace {

// A runaway loop ends with ORA-01013: after this many statements, or this long
constexpr int64_t kMaxSteps = 5'000'000;
constexpr int kMaxDepth = 200;
// blocks open on this thread: calls and SQL calling functions nest them
thread_local int openBlocks = 0;

// The predefined exceptions and their errors.
int predefined(const std::string& name) {
  static const std::map<std::string, int> names = {
      {"NO_DATA_FOUND", 1403},   {"TOO_MANY_ROWS", 1422},  {"ZERO_DIVIDE", 1476},   {"VALUE_ERROR", 6502},
      {"INVALID_NUMBER", 1722},  {"DUP_VAL_ON_INDEX", 1},  {"CURSOR_ALREADY_OPEN", 6511},
      {"INVALID_CURSOR", 1001},  {"CASE_NOT_FOUND", 6592}, {"PROGRAM_ERROR", 6501}, {"STORAGE_ERROR", 6500},
      {"ROWTYPE_MISMATCH", 6504}, {"TIMEOUT_ON_RESOURCE", 51}, {"LOGIN_DENIED", 1017}, {"NOT_LOGGED_ON", 1012},
      {"COLLECTION_IS_NULL", 6531}, {"SUBSCRIPT_OUTSIDE_LIMIT", 6532}, {"SUBSCRIPT_BEYOND_COUNT", 6533},
      {"NO_DATA_NEEDED", 6548}};
  auto it = names.find(name);
  return it == names.end() ? 0 : it->second;
}

OraError userError(const std::string& name) {
  OraError e(6510);
  e.detail = kUserMark + name;
  e.text = "ORA-06510: PL/SQL: unhandled user-defined exception";
  return e;
}

} // namespace

std::string frameLine(const Run& r, size_t at) {
  size_t pos = r.u.toks[std::min(at, r.u.toks.size() - 1)].pos;
  size_t from = r.u.bodyFrom && pos >= r.u.bodyFrom ? r.u.bodyFrom : 0;
  int line = 1;
  for (size_t i = from; i < pos && i < r.u.src.size(); ++i) line += r.u.src[i] == '\n';
  // a type's methods run as a package of the engine's own name: the stack names the type
  std::string name = r.u.name.rfind(kTypePackagePrefix, 0) == 0 ? r.u.name.substr(std::strlen(kTypePackagePrefix)) : r.u.name;
  std::string unit = name.empty() ? std::string() : "\"" + r.ses.user + "." + name + "\", ";
  return "ORA-06512: at " + unit + "line " + std::to_string(line);
}

void addFrame(OraError& e, const Run& r) {
  if (e.code == 6550 || (e.code == 1013 && e.detail == "runaway") || r.u.toks.empty() || r.suppliedFailed) return;
  e.text += "\n" + frameLine(r, r.lastAt);
}

std::string framesOf(const OraError& e) {
  size_t f = e.text.find("\nORA-06512: at ");
  return f == std::string::npos ? std::string() : e.text.substr(f + 1) + "\n";
}

OraError withoutFrames(OraError e) {
  size_t f = e.text.find("\nORA-06512: at ");
  if (f != std::string::npos) e.text.erase(f);
  return e;
}

bool Run::handles(const Handler& h, const OraError& e) {
  bool user = e.detail.rfind(kUserMark, 0) == 0;
  for (const std::string& n : h.names) {
    if (n == "OTHERS") return true;
    int code = -1;
    bool isUser = false;
    std::string own = n; // a package's exception goes by its own name inside the package too
    for (auto it = scopes.rbegin(); it != scopes.rend(); ++it)
      if (auto x = (*it)->exceptions.find(n); x != (*it)->exceptions.end()) {
        code = x->second;
        isUser = true;
        break;
      }
    if (size_t dot = n.find('.'); !isUser && dot != std::string::npos)
      if (Scope* ps = packageScope(n.substr(0, dot), lastAt))
        if (auto x = ps->exceptions.find(n.substr(dot + 1)); x != ps->exceptions.end()) {
          code = x->second;
          isUser = true;
          own = x->first;
        }
    if (isUser) {
      if (code == 0 && user && e.detail.substr(1) == own) return true;
      if (code != 0 && !user && e.code == code) return true;
      continue;
    }
    int p = predefined(n);
    if (p && !user && e.code == p) return true;
  }
  return false;
}

Flow Run::block(const Block& b) {
  if (b.autonomous && autonomousNext != &b) {
    autonomousNext = &b;
    AutonomousUnit own(ses);
    Flow f = block(b);
    own.finish();
    return f;
  }
  autonomousNext = nullptr;
  if (openBlocks + 1 > kMaxDepth) throw OraError(6500);
  ++openBlocks;
  Scope sc;
  sc.label = b.label;
  scopes.push_back(&sc);
  struct Pop {
    Run& r;
    ~Pop() {
      r.scopes.pop_back();
      --openBlocks;
    }
  } pop{*this};
  // what a declaration raises goes to the enclosing block: this block's handlers never see it
  for (const Decl& d : b.decls) declare(sc, d);
  try {
    Flow f = stmts(b.body);
    if (f == Flow::Exit && !flowLabel.empty() && flowLabel == b.label) {
      flowLabel.clear();
      return Flow::Next;
    }
    return f;
  } catch (OraError& e) {
    if (e.code == 1013 && e.detail == "runaway") throw;
    for (const Handler& h : b.handlers)
      if (handles(h, e)) {
        suppliedFailed = false;
        handling.push_back(withoutFrames(e));
        raisedAt.push_back(lastAt);
        raisedIn.push_back(framesOf(e));
        struct Done {
          Run& r;
          ~Done() {
            r.handling.pop_back();
            r.raisedAt.pop_back();
            r.raisedIn.pop_back();
          }
        } done{*this};
        return stmts(h.body);
      }
    throw;
  }
}

Flow Run::stmts(const Stmts& list) {
  for (size_t k = 0; k < list.size(); ++k) {
    Flow f = stmt(*list[k]);
    if (f == Flow::Goto) {
      // to a labelled statement of this sequence; otherwise on to the enclosing one
      size_t j = 0;
      while (j < list.size() && list[j]->label != flowLabel) ++j;
      if (j < list.size()) {
        flowLabel.clear();
        k = j - 1; // wraps to j with the loop's increment
        continue;
      }
    }
    if (f != Flow::Next) return f;
  }
  return Flow::Next;
}

void Run::openCursor(CursorState& c, const Stmt* s) {
  if (!c.decl) {
    // a cursor variable opens only FOR a query
    OraError e(6550);
    e.text = "ORA-06550: " + where(u.src, u.toks[s ? s->at : 0].pos) + ":\nPLS-00382: expression is of wrong type";
    throw e;
  }
  if (c.open) throw OraError(6511);
  const Decl& d = *c.decl;
  // the parameters are variables of the query, cursor.parameter too
  Scope params;
  params.label = d.name;
  for (size_t k = 0; k < d.params.size(); ++k) {
    Var v;
    v.type = d.paramTypes[k];
    Range arg;
    if (s) {
      for (size_t a = 0; a < s->conds.size(); ++a)
        if ((s->argNames[a].empty() && a == k) || s->argNames[a] == d.params[k]) arg = s->conds[a];
    }
    if (arg.empty()) arg = d.paramDefaults[k];
    if (arg.empty()) {
      OraError e(6550);
      e.text = "ORA-06550: " + where(u.src, u.toks[s ? s->at : d.at].pos) +
               ":\nPLS-00306: wrong number or types of arguments in call to '" + d.name + "'";
      throw e;
    }
    Val x = eval(arg);
    if (v.type.kind != TypeSpec::Unknown) {
      v.type.size = v.type.kind == TypeSpec::Text ? 32767 : v.type.size;
      store(v, x, arg.b);
    } else {
      v.v = x;
    }
    params.vars[d.params[k]] = std::move(v);
  }
  if (s && s->conds.size() > d.params.size()) {
    OraError e(6550);
    e.text = "ORA-06550: " + where(u.src, u.toks[s->at].pos) +
             ":\nPLS-00306: wrong number or types of arguments in call to '" + d.name + "'";
    throw e;
  }
  // a package's cursor: its query is the package's text, run where the package's names are seen
  std::unique_ptr<Run> own;
  Run* q = this;
  if (c.unit && c.unit != &u) {
    own = std::make_unique<Run>(ses, *c.unit);
    q = own.get();
    q->scopes = c.home;
    q->transactionEnded = transactionEnded;
  }
  q->scopes.push_back(&params);
  struct Pop {
    Run& r;
    ~Pop() { r.scopes.pop_back(); }
  } pop{*q};
  const auto& qt = (c.unit ? c.unit : &u)->toks;
  auto word = [&](size_t k, const char* w) { return k < qt.size() && qt[k].kind == T::Word && qt[k].text == w; };
  bool forUpdate = false;
  for (size_t k = d.init.b; k + 1 < d.init.e; ++k) forUpdate = forUpdate || (word(k, "FOR") && word(k + 1, "UPDATE"));
  std::string text = q->subst(d.init, &q->columns(&d, d.init));
  std::vector<std::string> rowids;
  Rows rows = forUpdate ? q->lockedRows(text, rowids) : q->query(text, SIZE_MAX);
  c.cols = std::move(rows.names);
  c.rows = std::move(rows.rows);
  c.rowids = std::move(rowids);
  c.next = 0;
  c.rowcount = 0;
  c.found = -1;
  c.open = true;
  c.outOfSequence = false;
  c.forUpdate = forUpdate;
}

// Moves a row into INTO targets: one record, or one variable per column.
void intoTargets(Run& r, const std::vector<Range>& targets, const std::vector<std::string>& names,
                 const std::vector<Val>& row, size_t at) {
  const auto& t = r.u.toks;
  if (targets.size() == 1) {
    if (Var* v = r.targetVar(targets[0]); v && v->record) {
      if (v->fieldNames.empty()) v->fieldNames = names;
      if (v->fieldNames.size() != row.size()) {
        OraError e(6550);
        e.text = "ORA-06550: " + where(r.u.src, t[at].pos) +
                 ":\nPLS-00394: wrong number of values in the INTO list of a FETCH statement";
        throw e;
      }
      v->fields = row;
      return;
    }
  }
  if (targets.size() != row.size()) {
    OraError e(6550);
    e.text = "ORA-06550: " + where(r.u.src, t[at].pos) + ":\nPL/SQL: ORA-00947: not enough values";
    if (targets.size() > row.size()) throw e;
    e.text = "ORA-06550: " + where(r.u.src, t[at].pos) + ":\nPL/SQL: ORA-00913: too many values";
    throw e;
  }
  for (size_t i = 0; i < row.size(); ++i) r.assign(targets[i], row[i]);
}

void Run::step() {
  if (++steps > kMaxSteps) throw OraError(1013, "runaway");
  if ((steps & 1023) == 0 && std::chrono::steady_clock::now() - started > kMaxBlockTime) throw OraError(1013, "runaway");
}

Flow Run::stmt(const Stmt& s) {
  step();
  lastAt = s.at;
  const auto& t = u.toks;
  auto loopEnd = [&](Flow f, bool& stop) {
    stop = false;
    if (f == Flow::Exit) {
      stop = true;
      if (!flowLabel.empty() && flowLabel != s.label) return f;
      flowLabel.clear();
      return Flow::Next;
    }
    if (f == Flow::Continue) {
      if (!flowLabel.empty() && flowLabel != s.label) { stop = true; return f; }
      flowLabel.clear();
      return Flow::Next;
    }
    if (f == Flow::Return || f == Flow::Goto) stop = true;
    return f;
  };
  switch (s.kind) {
  case Stmt::Null: return Flow::Next;
  case Stmt::Assign: {
    if (s.target.e > s.target.b + 2 && objectAssign(s.target, s.expr)) return Flow::Next;
    if (assignComposite(s.target, s.expr) || cursorValue(s.target, s.expr)) return Flow::Next;
    const std::string& name = t[s.target.b].text;
    Var* v = find(name);
    if (v && v->type.kind == TypeSpec::Bool && s.target.e == s.target.b + 1) {
      int c = cond(s.expr);
      assign(s.target, c < 0 ? Val{} : Val{Val::Bool, "", c == 1});
    } else {
      if (!v) {
        // pkg.variable := value
        Val x = eval(s.expr);
        if (packageVariable(s.target, nullptr, &x)) return Flow::Next;
        // label.variable
        if (s.target.e != s.target.b + 3 || !isOp(t, s.target.b + 1, ".") || !findIn(name, t[s.target.b + 2].text))
          undeclared(s.target.b, name);
        assign(s.target, std::move(x));
        return Flow::Next;
      }
      assign(s.target, eval(s.expr));
    }
    return Flow::Next;
  }
  case Stmt::If:
    for (size_t k = 0; k < s.conds.size(); ++k)
      if (cond(s.conds[k]) == 1) return stmts(s.bodies[k]);
    if (s.hasElse) return stmts(s.bodies.back());
    return Flow::Next;
  case Stmt::Case: {
    Val sel;
    if (!s.expr.empty()) sel = eval(s.expr);
    for (size_t k = 0; k < s.conds.size(); ++k) {
      bool hit;
      if (s.expr.empty()) {
        hit = cond(s.conds[k]) == 1;
      } else {
        Val w = eval(s.conds[k]);
        hit = sel.k != Val::Null && w.k != Val::Null &&
              evalText("CASE WHEN " + literal(sel) + " = " + literal(w) + " THEN 1 ELSE 0 END").s == "1";
      }
      if (hit) return stmts(s.bodies[k]);
    }
    if (s.hasElse) return stmts(s.bodies.back());
    throw OraError(6592);
  }
  case Stmt::Loop:
  case Stmt::While:
    for (;;) {
      if (s.kind == Stmt::While && cond(s.expr) != 1) return Flow::Next;
      step();
      bool stop;
      Flow f = loopEnd(stmts(s.body), stop);
      if (stop) return f;
    }
  case Stmt::ForNum: return forControls(s);
  case Stmt::ForCursor: {
    CursorState own;
    CursorState* c = &own;
    if (s.target.empty()) {
      Rows rows = query(subst(s.expr, &columns(&s, s.expr)), SIZE_MAX);
      own.cols = std::move(rows.names);
      own.rows = std::move(rows.rows);
      own.open = true;
      for (size_t k = s.expr.b; k + 1 < s.expr.e; ++k)
        own.forUpdate = own.forUpdate || (t[k].kind == T::Word && t[k].text == "FOR" && t[k + 1].kind == T::Word &&
                                          t[k + 1].text == "UPDATE");
    } else {
      std::string name = t[s.target.b].text;
      if (s.target.e == s.target.b + 3) name += "." + t[s.target.b + 2].text;
      c = cursor(name);
      if (!c) undeclared(s.target.b, name);
      openCursor(*c, &s);
    }
    Scope sc;
    sc.label = s.label;
    if (c == &own) c = &(sc.cursors[" FOR"] = std::move(own)); // seen by COMMIT and ROLLBACK
    Var& v = sc.vars[s.name];
    v.record = true;
    v.fieldNames = c->cols;
    scopes.push_back(&sc);
    struct Pop {
      Run& r;
      CursorState* c;
      ~Pop() {
        r.scopes.pop_back();
        c->open = false;
        c->rows.clear();
      }
    } pop{*this, c};
    while (c->next < c->rows.size()) {
      if (c->outOfSequence) throw OraError(1002);
      v.fields = std::move(c->rows[c->next++]);
      ++c->rowcount;
      c->found = 1;
      bool stop;
      Flow f = loopEnd(stmts(s.body), stop);
      if (stop) return f;
    }
    return Flow::Next;
  }
  case Stmt::Exit:
  case Stmt::Continue:
    if (s.when && cond(s.expr) != 1) return Flow::Next;
    flowLabel = s.name;
    return s.kind == Stmt::Exit ? Flow::Exit : Flow::Continue;
  case Stmt::Open: {
    if (s.openFor) {
      openFor(s);
      return Flow::Next;
    }
    CursorState* c = cursor(s.name);
    if (!c) undeclared(s.at + 1, s.name);
    openCursor(*c, &s);
    return Flow::Next;
  }
  case Stmt::Fetch: {
    CursorState* c = cursor(s.name);
    if (!c) undeclared(s.at + 1, s.name);
    if (!c->open) throw OraError(1001);
    if (c->outOfSequence) throw OraError(1002);
    if (s.bulk) {
      size_t remaining = c->rows.size() - c->next, limit = remaining;
      bool limited = !s.expr.empty();
      if (limited) {
        Val n = eval(s.expr);
        if (n.k != Val::Num || std::stod(n.s) < 0) throw valueError("");
        limit = static_cast<size_t>(std::llround(std::stod(n.s)));
      }
      size_t take = std::min(limit, remaining);
      std::vector<std::vector<Val>> rows(std::make_move_iterator(c->rows.begin() + static_cast<std::ptrdiff_t>(c->next)),
                                         std::make_move_iterator(c->rows.begin() + static_cast<std::ptrdiff_t>(c->next + take)));
      c->next += take;
      c->rowcount += static_cast<int64_t>(take);
      // %NOTFOUND: fewer rows than asked for
      c->found = limited ? (take == limit && take > 0 ? 1 : 0) : (take > 0 ? 1 : 0);
      bulkInto(s.conds, c->cols, std::move(rows), s.at);
      return Flow::Next;
    }
    if (c->next >= c->rows.size()) {
      c->found = 0;
      return Flow::Next;
    }
    c->found = 1;
    ++c->rowcount;
    try {
      intoTargets(*this, s.conds, c->cols, c->rows[c->next++], s.at);
    } catch (const OraError& e) {
      // a cursor variable's rows are known only when it runs: ROWTYPE_MISMATCH
      if (!c->decl && e.code == 6550 && e.text.find("PLS-00382") == std::string::npos) throw OraError(6504);
      throw;
    }
    return Flow::Next;
  }
  case Stmt::Close: {
    CursorState* c = cursor(s.name);
    if (!c) undeclared(s.at + 1, s.name);
    if (!c->open) throw OraError(1001);
    c->open = false;
    c->rows.clear();
    return Flow::Next;
  }
  case Stmt::Sql: {
    if (!s.target.empty()) {
      sqlRowcount = returningDml(s);
      sqlFound = sqlRowcount > 0 ? 1 : 0;
      return Flow::Next;
    }
    int64_t n = execute(subst(s.expr, &columns(&s, s.expr)));
    const std::string& verb = t[s.expr.b].text;
    if (verb == "INSERT" || verb == "UPDATE" || verb == "DELETE" || verb == "MERGE") {
      sqlRowcount = n;
      sqlFound = n > 0 ? 1 : 0;
    }
    return Flow::Next;
  }
  case Stmt::SelectInto: {
    if (s.bulk) {
      Rows all = query(subst(s.expr, &columns(&s, s.expr), s.target), SIZE_MAX);
      sqlRowcount = static_cast<int64_t>(all.rows.size());
      sqlFound = all.rows.empty() ? 0 : 1;
      bulkInto(s.conds, all.names, std::move(all.rows), s.at);
      return Flow::Next;
    }
    Rows rows = query(subst(s.expr, &columns(&s, s.expr), s.target), 2);
    if (rows.rows.empty()) {
      sqlRowcount = 0;
      sqlFound = 0;
      throw OraError(1403);
    }
    if (rows.rows.size() > 1) {
      sqlRowcount = 2;
      sqlFound = 1;
      throw OraError(1422);
    }
    sqlRowcount = 1;
    sqlFound = 1;
    intoTargets(*this, s.conds, rows.names, rows.rows[0], s.at);
    rememberLobRows(*this, s);
    return Flow::Next;
  }
  case Stmt::Return: return returnValue(s);
  case Stmt::Raise: {
    if (s.name.empty()) {
      if (handling.empty()) {
        OraError e(6550);
        e.text = "ORA-06550: " + where(u.src, t[s.at].pos) +
                 ":\nPLS-00367: a RAISE statement with no exception name must be inside an exception handler";
        throw e;
      }
      throw handling.back();
    }
    for (auto it = scopes.rbegin(); it != scopes.rend(); ++it)
      if (auto x = (*it)->exceptions.find(s.name); x != (*it)->exceptions.end()) {
        if (x->second == 0) throw userError(s.name);
        OraError e(x->second);
        if (x->second >= 20000 && x->second <= 20999) e.text = "ORA-" + std::to_string(x->second) + ": ";
        throw e;
      }
    if (size_t dot = s.name.find('.'); dot != std::string::npos)
      if (Scope* ps = packageScope(s.name.substr(0, dot), s.at + 1))
        if (auto x = ps->exceptions.find(s.name.substr(dot + 1)); x != ps->exceptions.end()) {
          if (x->second == 0) throw userError(x->first);
          throw OraError(x->second);
        }
    if (int p = predefined(s.name)) throw OraError(p);
    undeclared(s.at + 1, s.name);
  }
  case Stmt::Call: call(s); return Flow::Next;
  case Stmt::Block: return block(*s.block);
  case Stmt::Goto:
    flowLabel = s.name;
    gotoAt = s.at;
    return Flow::Goto;
  case Stmt::Forall: return forall(s);
  case Stmt::Execute: return executeImmediate(s);
  }
  return Flow::Next;
}

void Run::call(const Stmt& s) {
  const auto& t = u.toks;
  auto args = [&](size_t lo, size_t hi) {
    if (s.conds.size() < lo || s.conds.size() > hi) {
      OraError e(6550);
      e.text = "ORA-06550: " + where(u.src, t[s.at].pos) +
               ":\nPLS-00306: wrong number or types of arguments in call to '" + s.name.substr(s.name.find('.') + 1) + "'";
      throw e;
    }
  };
  auto text = [&](Range r) {
    Val v = eval(r);
    if (v.k == Val::Bool) {
      OraError e(6550);
      e.text = "ORA-06550: " + where(u.src, t[s.at].pos) +
               ":\nPLS-00306: wrong number or types of arguments in call to '" + s.name.substr(s.name.find('.') + 1) + "'";
      throw e;
    }
    if (v.k == Val::Num || v.k == Val::Date) v = evalText("TO_CHAR(" + literal(v) + ")");
    return v.s;
  };
  Session& o = ses;
  if (s.name.find('.') != std::string::npos && collectionMethod(s)) return;
  if (s.name.find('.') != std::string::npos && objectCall(s)) return;
  if (s.name == "DBMS_OUTPUT.PUT_LINE") {
    args(1, 1);
    std::string line = text(s.conds[0]);
    if (o.outputOn) {
      o.outputLines.push_back(o.outputPartial + line);
      o.outputPartial.clear();
    }
  } else if (s.name == "DBMS_OUTPUT.PUT") {
    args(1, 1);
    std::string piece = text(s.conds[0]);
    if (o.outputOn) o.outputPartial += piece;
  } else if (s.name == "DBMS_OUTPUT.NEW_LINE") {
    args(0, 0);
    if (o.outputOn) {
      o.outputLines.push_back(o.outputPartial);
      o.outputPartial.clear();
    }
  } else if (s.name == "DBMS_OUTPUT.ENABLE") {
    args(0, 1);
    o.outputOn = true;
  } else if (s.name == "DBMS_OUTPUT.DISABLE") {
    args(0, 0);
    o.outputOn = false;
    o.outputLines.clear();
    o.outputPartial.clear();
  } else if (s.name == "RAISE_APPLICATION_ERROR") {
    args(2, 3);
    Val n = eval(s.conds[0]);
    std::string msg = text(s.conds[1]);
    long long code = n.k == Val::Num ? std::llround(std::stod(n.s)) : 0;
    if (code < -20999 || code > -20000) {
      OraError e(21000);
      e.text = "ORA-21000: error number argument to raise_application_error of " + (n.k == Val::Num ? n.s : std::string()) +
               " is out of range";
      throw e;
    }
    OraError e(static_cast<int>(-code));
    e.text = "ORA-" + std::to_string(-code) + ": " + msg.substr(0, 2048);
    // keep_errors TRUE: the error being handled stays on the stack, under this one
    if (s.conds.size() == 3 && cond(s.conds[2]) == 1 && !handling.empty()) {
      const OraError& was = handling.back();
      std::string kept = was.detail.rfind(kUserMark, 0) == 0 ? "ORA-06510: PL/SQL: unhandled user-defined exception"
                                                              : was.text;
      kept += "\n" + raisedIn.back() + frameLine(*this, raisedAt.back()) + "\n";
      if (was.detail.rfind(kKeptMark, 0) == 0) kept += was.detail.substr(1) + "\n";
      while (!kept.empty() && kept.back() == '\n') kept.pop_back();
      e.detail = kKeptMark + kept;
    }
    throw e;
  } else {
    bool supplied;
    try {
      supplied = suppliedCall(*this, s);
    } catch (OraError&) {
      suppliedFailed = true;
      throw;
    }
    if (!supplied) callProcedure(s);
  }
}

} // namespace ora::pl

namespace ora {

std::shared_ptr<const void> checkPlsqlBlock(const std::string& text) {
  return pl::parseBlock(text);
}

std::shared_ptr<const void> checkPlsqlCall(const std::string& call) {
  auto u = pl::parseBlock("BEGIN " + call + "; END;");
  u->sqlCall = true;
  return u;
}

bool blockNamesPlaceholder(const std::shared_ptr<const void>& parsed, const std::string& name) {
  auto unit = std::static_pointer_cast<const pl::Unit>(parsed);
  for (const pl::Tok& t : unit->toks)
    if (t.kind == pl::T::Word && t.text.size() == name.size() + 1 && t.text[0] == ':' && t.text.compare(1, name.size(), name) == 0)
      return true;
  return false;
}

void runPlsqlBlock(Session& ses, const std::shared_ptr<const void>& parsed, const std::function<void()>& transactionEnded,
                   std::vector<HostCursor>* cursors, std::vector<HostValue>* values) {
  auto unit = std::static_pointer_cast<const pl::Unit>(parsed);
  static thread_local int calls = 0;
  struct ServerCall {
    Session& ses;
    ServerCall(Session& s) : ses(s) { ++calls; }
    ~ServerCall() {
      if (--calls == 0) pl::endServerCall(ses);
    }
  } call{ses};
  pl::LobState lobs; // what DBMS_LOB knows of this block's variables goes with it
  pl::Run run(ses, *unit);
  run.transactionEnded = transactionEnded;
  if (!unit->sqlCall) {
    pl::checkBlockSql(ses, unit->src);
    pl::checkBlockNames(ses, *unit);
  }
  pl::Scope host; // the client's cursor variables and values, as :NAME
  if (cursors)
    for (HostCursor& h : *cursors) host.vars[":" + h.name].type.kind = pl::TypeSpec::Cursor;
  if (values)
    for (const HostValue& h : *values) {
      pl::Var& v = host.vars[":" + h.name];
      v.type.kind = h.number ? pl::TypeSpec::Number : pl::TypeSpec::Text;
      v.type.size = 32767; // the client checks its own size on the way back
      if (!h.null) v.v = pl::Val{h.number ? pl::Val::Num : pl::Val::Str, h.value, false};
    }
  if (cursors || values) run.scopes.push_back(&host);
  // the block is one statement: an error it does not handle undoes its changes
  const std::string mark = "PLSQL$BLOCK";
  bool wasInTxn = ses.inTxn;
  if (wasInTxn) ses.savepoint(mark);
  try {
    run.gotoEscaped(run.block(*unit->block));
  } catch (OraError& e) {
    if (!run.ended) {
      if (wasInTxn) ses.rollbackTo(mark);
      else if (ses.inTxn) ses.rollback();
    }
    if (e.detail.rfind(pl::kUserMark, 0) == 0) e.detail.clear();

    if (e.code == 1013 && e.detail == "runaway") e.text = "ORA-01013: user requested cancel of current operation";
    if (!unit->sqlCall) addFrame(e, run);
    if (e.detail.rfind(pl::kKeptMark, 0) == 0) {
      e.text += "\n" + e.detail.substr(1);
      e.detail.clear();
    }
    // an error raised while the block runs points at no token of the block's text (a dynamic
    // statement's position is in that statement)
    if (e.code != 6550) e.pos = -1;
    throw;
  }
  if (values)
    for (HostValue& h : *values) {
      const pl::Val& v = host.vars[":" + h.name].v;
      h.null = v.k == pl::Val::Null;
      h.value = h.null ? std::string() : v.s;
    }
  if (cursors)
    for (HostCursor& h : *cursors) {
      const pl::CursorState* c = host.vars[":" + h.name].v.cur.get();
      h.open = c && c->open;
      if (!h.open) continue;
      h.names = c->cols;
      h.types = c->types;
      h.types.resize(h.names.size());
      for (size_t r = c->next; r < c->rows.size(); ++r) {
        std::vector<std::pair<char, std::string>> row;
        for (const pl::Val& v : c->rows[r])
          row.emplace_back(v.k == pl::Val::Num ? 'N' : v.k == pl::Val::Str ? 'S' : v.k == pl::Val::Date ? 'D' : 0, v.s);
        h.rows.push_back(std::move(row));
      }
    }
}

} // namespace ora
