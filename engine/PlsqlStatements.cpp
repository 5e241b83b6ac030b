// PL/SQL statements: what the block parser reads between BEGIN and END.
#include "OraError.h"
#include "PlsqlParser.h"

#include <algorithm>
#include <cstring>

namespace ora::pl::parse {

Stmts Parser::statements(std::initializer_list<const char*> stops) {
  Stmts out;
  for (;;) {
    if (t[i].kind == T::End) fail(i);
    bool stop = false;
    for (const char* s : stops) stop = stop || at(s);
    if (stop) return out;
    out.push_back(statement());
  }
}

Stmts Parser::loopBody(std::unique_ptr<Stmt>& s) {
  expect("LOOP");
  loopLabels.push_back(s->label);
  Stmts b = statements({"END"});
  loopLabels.pop_back();
  expect("END");
  expect("LOOP");
  if (t[i].kind == T::Word) {
    if (t[i].text != s->label) fail(i);
    ++i;
  }
  return b;
}

std::unique_ptr<Stmt> Parser::statement() {
  auto s = std::make_unique<Stmt>();
  if (at("<<")) {
    ++i;
    s->label = name();
    expect(">>");
    // a label stands before a statement, never at the end of a sequence
    if (at("END") || at("EXCEPTION") || at("ELSE") || at("ELSIF") || at("WHEN")) fail(i);
  }
  s->at = i;
  const std::string w = t[i].kind == T::Word ? t[i].text : std::string();
  if (w == "NULL" && is(i + 1, ";")) {
    ++i;
  } else if (w == "PRAGMA" && is(i + 1, "INLINE")) {
    // advice to the compiler: nothing to run
    i += 2;
    expect("(");
    until({});
    expect(")");
  } else if (w == "DECLARE" || w == "BEGIN") {
    s->kind = Stmt::Block;
    if (w == "DECLARE") ++i;
    s->block = block(w == "DECLARE");
    s->block->label = s->label;
  } else if (w == "IF") {
    s->kind = Stmt::If;
    ++i;
    for (;;) {
      s->conds.push_back(expression({"THEN"}));
      expect("THEN");
      s->bodies.push_back(statements({"ELSIF", "ELSE", "END"}));
      if (at("ELSIF")) { ++i; continue; }
      break;
    }
    if (at("ELSE")) {
      ++i;
      s->hasElse = true;
      s->bodies.push_back(statements({"END"}));
    }
    expect("END");
    expect("IF");
  } else if (w == "CASE") {
    s->kind = Stmt::Case;
    ++i;
    if (!at("WHEN")) s->expr = expression({"WHEN"});
    while (at("WHEN")) {
      ++i;
      s->conds.push_back(expression({"THEN"}));
      expect("THEN");
      s->bodies.push_back(statements({"WHEN", "ELSE", "END"}));
    }
    if (s->conds.empty()) fail(i);
    if (at("ELSE")) {
      ++i;
      s->hasElse = true;
      s->bodies.push_back(statements({"END"}));
    }
    expect("END");
    expect("CASE");
  } else if (w == "LOOP") {
    s->kind = Stmt::Loop;
    s->body = loopBody(s);
  } else if (w == "WHILE") {
    s->kind = Stmt::While;
    ++i;
    s->expr = expression({"LOOP"});
    s->body = loopBody(s);
  } else if (w == "FOR") {
    ++i;
    s->name = name();
    if (at("MUTABLE") || at("IMMUTABLE")) s->mutableIterand = t[i++].text == "MUTABLE";
    if (!at("IN")) {
      s->iterType = type();
      s->typedIterand = true;
    }
    expect("IN");
    if (at("REVERSE")) { ++i; s->reverse = true; }
    if (iterationControls(*s)) {
    } else if (at("(")) {
      s->kind = Stmt::ForCursor;
      ++i;
      s->expr = expression({});
      expect(")");
    } else {
      size_t save = i;
      Range lo = until({"..", "LOOP"});
      if (at("..")) {
        s->kind = Stmt::ForNum;
        s->lo = lo;
        if (lo.empty()) fail(i);
        ++i;
        s->hi = expression({"LOOP"});
      } else {
        i = save;
        s->kind = Stmt::ForCursor;
        s->target = {i, is(i + 1, ".") ? i + 3 : i + 1};
        std::string loopVar = s->name;
        cursorCall(*s);
        s->name = loopVar;
      }
    }
    if (!s->mutableIterand) loopIndexes.push_back(s->name);
    s->body = loopBody(s);
    if (!s->mutableIterand) loopIndexes.pop_back();
  } else if (w == "EXIT" || w == "CONTINUE") {
    s->kind = w == "EXIT" ? Stmt::Exit : Stmt::Continue;
    ++i;
    if (t[i].kind == T::Word && !at("WHEN")) s->name = t[i++].text;
    auto compileError = [&](size_t at, const std::string& msg) {
      OraError e(6550);
      e.text = "ORA-06550: " + where(u.src, t[at].pos) + ":\n" + msg;
      e.pos = static_cast<int>(t[at].pos);
      return e;
    };
    if (loopLabels.empty())
      throw compileError(s->at, "PLS-00376: illegal EXIT/CONTINUE statement; it must appear inside a loop");
    if (!s->name.empty() && std::find(loopLabels.begin(), loopLabels.end(), s->name) == loopLabels.end())
      throw compileError(i - 1, "PLS-00373: " + w + " label '" + s->name + "' must label a LOOP statement");
    if (at("WHEN")) { ++i; s->when = true; s->expr = expression({";"}); }
  } else if (w == "OPEN") {
    s->kind = Stmt::Open;
    ++i;
    cursorCall(*s);
    if (at("FOR")) {
      // a cursor variable: a query, or a text to run as one
      ++i;
      s->openFor = true;
      s->dynamic = !at("SELECT") && !at("WITH") && !at("(");
      s->expr = expression({"USING", ";"});
      if (at("USING")) usingList(*s);
    }
  } else if (w == "EXECUTE" && is(i + 1, "IMMEDIATE")) {
    s->kind = Stmt::Execute;
    i += 2;
    s->expr = expression({"INTO", "BULK", "USING", "RETURNING", "RETURN", ";"});
    if (at("BULK")) {
      ++i;
      expect("COLLECT");
      s->bulk = true;
      if (!at("INTO")) fail(i);
    }
    if (at("INTO")) {
      ++i;
      intoList(*s);
    }
    if (at("USING")) usingList(*s);
    if (at("RETURNING") || at("RETURN")) {
      ++i;
      if (at("BULK")) {
        ++i;
        expect("COLLECT");
        s->returnBulk = true;
      }
      expect("INTO");
      std::vector<Range> into = std::move(s->conds);
      Range lo = s->lo;
      intoList(*s);
      s->returnInto = std::move(s->conds);
      s->conds = std::move(into);
      s->lo = lo;
    }
  } else if (w == "FETCH") {
    s->kind = Stmt::Fetch;
    ++i;
    s->name = dotted();
    if (at("BULK")) {
      ++i;
      expect("COLLECT");
      s->bulk = true;
    }
    expect("INTO");
    intoList(*s);
    if (s->bulk && at("LIMIT")) {
      ++i;
      s->expr = expression({";"});
    }
  } else if (w == "FORALL") {
    s->kind = Stmt::Forall;
    ++i;
    s->name = name();
    expect("IN");
    if (at("INDICES") || at("VALUES")) {
      s->forallOf = at("INDICES") ? 1 : 2;
      ++i;
      expect("OF");
      size_t b = i;
      dotted();
      s->target = {b, i};
      if (s->forallOf == 1 && at("BETWEEN")) {
        ++i;
        s->lo = expression({"AND"});
        expect("AND");
        s->hi = expression({"SAVE", "INSERT", "UPDATE", "DELETE", "MERGE"});
      }
    } else {
      s->lo = expression({".."});
      expect("..");
      s->hi = expression({"SAVE", "INSERT", "UPDATE", "DELETE", "MERGE"});
    }
    if (at("SAVE")) {
      ++i;
      expect("EXCEPTIONS");
      s->when = true;
    }
    if (!at("INSERT") && !at("UPDATE") && !at("DELETE") && !at("MERGE")) fail(i);
    s->body.push_back(statement());
    return s;
  } else if (w == "CLOSE") {
    s->kind = Stmt::Close;
    ++i;
    s->name = dotted();
  } else if (w == "PIPE" && is(i + 1, "ROW")) {
    // PIPE ROW (value): a RETURN that gives one row and goes on
    s->kind = Stmt::Return;
    s->name = "PIPE ROW";
    i += 2;
    s->expr = expression({";"});
  } else if (w == "RETURN") {
    s->kind = Stmt::Return;
    ++i;
    if (!at(";")) s->expr = expression({";"});
  } else if (w == "RAISE") {
    s->kind = Stmt::Raise;
    ++i;
    if (!at(";")) {
      s->name = name();
      while (at(".")) { ++i; s->name += "." + name(); }
    }
  } else if (w == "GOTO") {
    s->kind = Stmt::Goto;
    ++i;
    s->name = name();
  } else if (w == "SELECT" || w == "WITH") {
    s->kind = Stmt::SelectInto;
    s->expr = expression({";"});
    // the INTO list at the top level of the outer select
    int depth = 0;
    size_t into = 0;
    for (size_t k = s->expr.b; k < s->expr.e; ++k) {
      if (t[k].kind == T::Op && t[k].text == "(") ++depth;
      else if (t[k].kind == T::Op && t[k].text == ")") --depth;
      else if (depth == 0 && t[k].kind == T::Word && (t[k].text == "INTO" || t[k].text == "BULK")) { into = k; break; }
    }
    if (!into) {
      OraError e(6550);
      e.text = "ORA-06550: " + where(u.src, t[s->at].pos) + ":\nPLS-00428: an INTO clause is expected in this SELECT statement";
      throw e;
    }
    size_t save = i;
    i = into + 1;
    if (t[into].text == "BULK") {
      expect("COLLECT");
      expect("INTO");
      s->bulk = true;
    }
    intoList(*s);
    s->target = {into, i};
    i = save;
  } else if (w == "INSERT" || w == "UPDATE" || w == "DELETE" || w == "MERGE" || w == "COMMIT" || w == "ROLLBACK" ||
             w == "SAVEPOINT" || w == "LOCK" || (w == "SET" && is(i + 1, "TRANSACTION"))) {
    s->kind = Stmt::Sql;
    s->expr = expression({";"});
    if (w == "INSERT" || w == "UPDATE" || w == "DELETE") returning(*s);
  } else if (t[i].kind == T::Word || t[i].kind == T::QWord) {
    // an assignment or a procedure call
    size_t b = i;
    name();
    while (at(".") || at("(") || at("%")) {
      if (at("(")) {
        ++i;
        until({});
        expect(")");
      } else {
        ++i;
        name();
      }
    }
    if (at(":=")) {
      bool constant = false; // the innermost declaration of the name says
      for (auto it = declared.rbegin(); i == b + 1 && it != declared.rend(); ++it)
        if (auto d = it->find(t[b].text); d != it->end()) {
          constant = d->second;
          break;
        }
      if (i == b + 1 && (constant || std::find(loopIndexes.begin(), loopIndexes.end(), t[b].text) != loopIndexes.end())) {
        // a FOR loop's index is a constant inside the loop, as a CONSTANT is
        std::string at = where(u.src, t[b].pos);
        OraError e(6550);
        e.text = "ORA-06550: " + at + ":\nPLS-00363: expression '" + t[b].text +
                 "' cannot be used as an assignment target\nORA-06550: " + at + ":\nPL/SQL: Statement ignored";
        e.pos = static_cast<int>(t[b].pos);
        throw e;
      }
      s->kind = Stmt::Assign;
      s->target = {b, i};
      ++i;
      s->expr = expression({";"});
    } else {
      s->kind = Stmt::Call;
      i = b;
      s->name = name();
      while (at(".")) { ++i; s->name += "." + name(); }
      // a method of a collection's element: c(i).EXTEND, c(i)(j).DELETE(k)
      if (at("(") && (is(closing(t, i) + 1, ".") || is(closing(t, i) + 1, "("))) {
        while (at("(")) i = closing(t, i) + 1;
        expect(".");
        s->name += "." + name();
        // ... of a field of the element: c(i).field.EXTEND
        while (at(".")) { ++i; s->name += "." + name(); }
      }
      if (at("(")) {
        ++i;
        if (!at(")")) {
          for (;;) {
            std::string argName;
            if ((t[i].kind == T::Word) && is(i + 1, "=>")) { argName = t[i].text; i += 2; }
            s->argNames.push_back(argName);
            s->conds.push_back(expression({","}));
            if (at(",")) { ++i; continue; }
            break;
          }
        }
        expect(")");
      }
    }
  } else {
    fail(i);
  }
  expect(";");
  return s;
}

void Parser::returning(Stmt& s) {
  int depth = 0;
  for (size_t k = s.expr.b; k < s.expr.e; ++k) {
    if (t[k].kind == T::Op && t[k].text == "(") ++depth;
    else if (t[k].kind == T::Op && t[k].text == ")") --depth;
    else if (depth == 0 && t[k].kind == T::Word && (t[k].text == "RETURNING" || t[k].text == "RETURN")) {
      size_t save = i;
      i = k + 1;
      s.hi = expression({"INTO", "BULK"});
      if (at("BULK")) {
        ++i;
        expect("COLLECT");
        s.bulk = true;
        if (!at("INTO")) fail(i);
      }
      if (!at("INTO")) fail(i);
      ++i;
      intoList(s);
      if (i != s.expr.e) fail(i);
      s.target = {k, s.expr.e};
      i = save;
      return;
    }
  }
}

void Parser::cursorCall(Stmt& s) {
  s.name = dotted();
  if (at("(")) {
    ++i;
    for (;;) {
      std::string argName;
      if ((t[i].kind == T::Word) && is(i + 1, "=>")) { argName = t[i].text; i += 2; }
      s.argNames.push_back(argName);
      s.conds.push_back(expression({","}));
      if (at(",")) { ++i; continue; }
      break;
    }
    expect(")");
  }
}

void Parser::usingList(Stmt& s) {
  ++i;
  for (;;) {
    int mode = 1;
    if (at("IN")) {
      ++i;
      if (at("OUT")) { ++i; mode = 3; }
    } else if (at("OUT")) {
      ++i;
      mode = 2;
    }
    Range r = expression({",", ";", "RETURNING", "RETURN"});
    if (r.e == r.b + 1 && is(r.b, "NULL")) {
      // a bare NULL has no SQL type to bind as
      OraError e(6550);
      e.text = "ORA-06550: " + where(u.src, t[r.b].pos) + ":\nPLS-00457: expressions have to be of SQL types\nORA-06550: " +
               where(u.src, t[s.at].pos) + ":\nPL/SQL: Statement ignored";
      e.pos = static_cast<int>(t[r.b].pos);
      throw e;
    }
    s.binds.push_back(r);
    s.bindModes.push_back(mode);
    if (at(",")) { ++i; continue; }
    break;
  }
}

void Parser::intoList(Stmt& s) {
  s.bodies.clear();
  std::vector<Range> targets;
  for (;;) {
    size_t b = i;
    name();
    while (at(".") || at("(")) {
      if (at("(")) {
        ++i;
        until({});
        expect(")");
      } else {
        ++i;
        name();
      }
    }
    targets.push_back({b, i});
    if (at(",")) { ++i; continue; }
    break;
  }
  // kept apart from the arguments of an OPEN
  s.lo = {targets.front().b, targets.back().e};
  s.conds = targets;
}

} // namespace ora::pl::parse
