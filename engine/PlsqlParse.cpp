// Reads an anonymous PL/SQL block into the tree the interpreter runs.
#include "PlsqlImpl.h"

#include "OraError.h"

#include <cstring>
#include <set>

namespace ora::pl {

namespace {

struct Parser {
  Unit& u;
  const std::vector<Tok>& t;
  size_t i = 0;
  bool unsized = false; // a parameter's type has no length
  std::set<std::string> typeNames; // the TYPEs declared so far
  std::set<std::string> cursorTypes; // of those, the REF CURSOR types
  explicit Parser(Unit& unit) : u(unit), t(unit.toks) {}

  bool is(size_t k, const char* w) const {
    return k < t.size() && (t[k].kind == T::Word || t[k].kind == T::Op) && t[k].text == w;
  }
  bool at(const char* w) const { return is(i, w); }
  [[noreturn]] void fail(size_t k) const {
    const Tok& x = t[k < t.size() ? k : t.size() - 1];
    std::string sym = x.kind == T::End ? "end-of-file" : x.kind == T::Str ? x.text : u.src.substr(x.pos, x.end - x.pos);
    OraError e(6550);
    e.text = "ORA-06550: " + where(u.src, x.pos) + ":\nPLS-00103: Encountered the symbol \"" + sym + "\"";
    e.pos = static_cast<int>(x.pos);
    throw e;
  }
  void expect(const char* w) {
    if (!at(w)) fail(i);
    ++i;
  }
  std::string name() {
    if (t[i].kind != T::Word && t[i].kind != T::QWord) fail(i);
    return t[i++].text;
  }
  // Tokens up to (not including) one of the words at depth 0.
  Range until(std::initializer_list<const char*> stops) {
    Range r{i, i};
    int depth = 0;
    for (; i < t.size() && t[i].kind != T::End; ++i) {
      if (t[i].kind == T::Op && t[i].text == "(") ++depth;
      else if (t[i].kind == T::Op && t[i].text == ")") {
        if (depth == 0) break;
        --depth;
      } else if (depth == 0 && t[i].kind != T::Str && t[i].kind != T::QWord) {
        bool stop = false;
        for (const char* s : stops) stop = stop || t[i].text == s;
        if (stop) break;
      }
    }
    r.e = i;
    return r;
  }
  Range expression(std::initializer_list<const char*> stops) {
    Range r = until(stops);
    if (r.empty()) fail(i);
    return r;
  }

  TypeSpec type() {
    TypeSpec ts;
    size_t b = i;
    std::string w = name();
    if ((w == "SYS_REFCURSOR" || cursorTypes.count(w)) && !at(".") && !at("%")) {
      ts.kind = TypeSpec::Cursor;
      return ts;
    }
    // a name with %TYPE or %ROWTYPE
    if (at(".") || at("%")) {
      while (at(".")) { ++i; name(); }
      if (at("%")) {
        ++i;
        std::string a = name();
        ts.anchor = {b, i - 2};
        if (a == "ROWTYPE") { ts.rowtype = true; ts.kind = TypeSpec::Record; }
        else if (a == "TYPE") ts.ofType = true;
        else fail(i - 1);
        return ts;
      }
      // a package's type
      ts.kind = TypeSpec::Named;
      ts.anchor = {b, i};
      for (size_t x = b; x < i; ++x) ts.named += t[x].text;
      return ts;
    }
    static const char* builtin[] = {"NUMBER", "NUMERIC", "DECIMAL", "DEC", "FLOAT", "REAL", "INTEGER", "INT", "SMALLINT",
                                    "PLS_INTEGER", "BINARY_INTEGER", "NATURAL", "POSITIVE", "SIMPLE_INTEGER", "VARCHAR2",
                                    "VARCHAR", "CHAR", "NVARCHAR2", "NCHAR", "STRING", "LONG", "CLOB", "NCLOB", "DATE", "TIMESTAMP",
                                    "BOOLEAN"};
    bool known = false;
    for (const char* k : builtin) known = known || w == k;
    // a TYPE of this unit, or one of the schema's (CREATE TYPE), found when it runs
    if (typeNames.count(w) || (!known && t[b].kind == T::Word && !at("("))) {
      if (!typeNames.count(w)) u.schemaTypes.push_back(w);
      ts.kind = TypeSpec::Named;
      ts.anchor = {b, i};
      ts.named = w;
      return ts;
    }
    if (w == "NUMBER" || w == "NUMERIC" || w == "DECIMAL" || w == "DEC" || w == "FLOAT" || w == "REAL") ts.kind = TypeSpec::Number;
    else if (w == "INTEGER" || w == "INT" || w == "SMALLINT" || w == "PLS_INTEGER" || w == "BINARY_INTEGER" ||
             w == "NATURAL" || w == "POSITIVE" || w == "SIMPLE_INTEGER") { ts.kind = TypeSpec::Number; ts.integer = true; }
    else if (w == "VARCHAR2" || w == "VARCHAR" || w == "CHAR" || w == "NVARCHAR2" || w == "NCHAR" || w == "STRING" ||
             w == "LONG" || w == "CLOB" || w == "NCLOB") ts.kind = TypeSpec::Text;
    else if (w == "DATE" || w == "TIMESTAMP") ts.kind = TypeSpec::Date;
    else if (w == "BOOLEAN") ts.kind = TypeSpec::Bool;
    else {
      OraError e(6550);
      e.text = "ORA-06550: " + where(u.src, t[b].pos) + ":\nPLS-00201: identifier '" + w + "' must be declared";
      throw e;
    }
    if (at("(")) {
      ++i;
      if (t[i].kind == T::Num) ts.precision = ts.size = std::atoi(t[i++].text.c_str());
      else if (at("*")) ++i;
      if (at(",")) {
        ++i;
        bool neg = at("-");
        if (neg) ++i;
        if (t[i].kind != T::Num) fail(i);
        ts.scale = std::atoi(t[i++].text.c_str()) * (neg ? -1 : 1);
        ts.hasScale = true;
      }
      if (at("BYTE") || at("CHAR")) ++i;
      expect(")");
    }
    if (ts.kind == TypeSpec::Text && ts.size == 0 && !unsized && w != "LONG" && w != "CLOB" && w != "NCLOB" && w != "STRING" && w != "CHAR" && w != "NCHAR") {
      OraError e(6550);
      e.text = "ORA-06550: " + where(u.src, t[b].pos) + ":\nPLS-00215: String length constraints must be in range (1 .. 32767)";
      throw e;
    }
    if (ts.kind == TypeSpec::Text && ts.size == 0) ts.size = (w == "CHAR" || w == "NCHAR") && !unsized ? 1 : 32767;
    if (w == "CHAR" && false) {}
    return ts;
  }

  // PROCEDURE or FUNCTION name (parameters) [RETURN type], up to IS, AS or ";".
  std::shared_ptr<Sub> subHeader() {
    auto sub = std::make_shared<Sub>();
    sub->at = i;
    sub->function = at("FUNCTION");
    ++i;
    sub->name = name();
    if (at(".")) { ++i; sub->name = name(); }
    if (at("(")) {
      ++i;
      for (;;) {
        Param prm;
        prm.name = name();
        if (at("IN")) ++i;
        if (at("OUT")) { ++i; prm.out = true; prm.in = is(i - 2, "IN"); }
        if (at("NOCOPY")) ++i;
        unsized = true;
        prm.type = type();
        unsized = false;
        if (at(":=") || at("DEFAULT")) { ++i; prm.dflt = expression({",", ")"}); }
        sub->params.push_back(prm);
        if (at(",")) { ++i; continue; }
        break;
      }
      expect(")");
    }
    if (sub->function) {
      expect("RETURN");
      unsized = true;
      sub->ret = type();
      unsized = false;
    }
    for (;;) {
      if (at("AUTHID")) {
        sub->currentUser = is(i + 1, "CURRENT_USER");
        i += 2;
      } else if (at("DETERMINISTIC") || at("PIPELINED") || at("PARALLEL_ENABLE") || at("RESULT_CACHE")) {
        sub->deterministic = sub->deterministic || at("DETERMINISTIC");
        sub->pipelined = sub->pipelined || at("PIPELINED");
        ++i;
      } else {
        break;
      }
    }
    return sub;
  }

  // TYPE name IS RECORD | TABLE OF | VARRAY; false for a kind not run here (REF CURSOR, ...)
  bool typeDecl(Decl& d) {
    size_t save = i;
    ++i;
    d.name = name();
    if (!at("IS") && !at("AS")) fail(i);
    ++i;
    auto td = std::make_shared<TypeDecl>();
    if (at("RECORD")) {
      ++i;
      expect("(");
      for (;;) {
        TypeDecl::Field f;
        f.name = name();
        f.type = type();
        if (at("NOT")) { ++i; expect("NULL"); f.notNull = true; }
        if (at(":=") || at("DEFAULT")) { ++i; f.init = expression({",", ")"}); }
        td->fields.push_back(std::move(f));
        if (at(",")) { ++i; continue; }
        break;
      }
      expect(")");
    } else if (at("TABLE")) {
      ++i;
      expect("OF");
      td->kind = TypeDecl::Nested;
      td->elem = type();
      if (at("NOT")) { ++i; expect("NULL"); }
      if (at("INDEX")) {
        ++i;
        expect("BY");
        td->kind = TypeDecl::Assoc;
        unsized = true;
        td->key = type();
        unsized = false;
      }
    } else if (at("VARRAY") || at("VARYING")) {
      if (at("VARYING")) { ++i; expect("ARRAY"); }
      else ++i;
      expect("(");
      if (t[i].kind != T::Num) fail(i);
      td->limit = std::atoll(t[i++].text.c_str());
      expect(")");
      expect("OF");
      td->kind = TypeDecl::Varray;
      td->elem = type();
      if (at("NOT")) { ++i; expect("NULL"); }
    } else if (at("REF")) {
      ++i;
      expect("CURSOR");
      if (at("RETURN")) {
        ++i;
        type();
      }
      td->refCursor = true;
      cursorTypes.insert(d.name);
    } else {
      i = save;
      return false;
    }
    d.kind = Decl::Type;
    d.typeDecl = td;
    typeNames.insert(d.name);
    return true;
  }

  void declarations(Block& b) {
    while (!at("BEGIN") && !at("END") && t[i].kind != T::End) {
      Decl d;
      d.at = i;
      if (at("CURSOR")) {
        ++i;
        d.kind = Decl::Cursor;
        d.name = name();
        if (at("(")) {
          ++i;
          for (;;) {
            d.params.push_back(name());
            if (at("IN")) ++i;
            d.paramTypes.push_back(type());
            Range def;
            if (at(":=") || at("DEFAULT")) { ++i; def = expression({",", ")"}); }
            d.paramDefaults.push_back(def);
            if (at(",")) { ++i; continue; }
            break;
          }
          expect(")");
        }
        if (at("RETURN")) { ++i; type(); }
        expect("IS");
        d.init = expression({";"});
      } else if (at("PRAGMA")) {
        ++i;
        if (name() != "EXCEPTION_INIT") fail(i - 1);
        expect("(");
        d.kind = Decl::Pragma;
        d.name = name();
        expect(",");
        bool neg = at("-");
        if (neg) ++i;
        if (t[i].kind != T::Num) fail(i);
        d.code = std::atoi(t[i++].text.c_str()) * (neg ? -1 : 1);
        expect(")");
      } else if (at("PROCEDURE") || at("FUNCTION")) {
        d.kind = Decl::Subprogram;
        d.sub = subHeader();
        d.name = d.sub->name;
        if (!at(";")) {
          if (!at("IS") && !at("AS")) fail(i);
          ++i;
          d.sub->block = block(true);
        }
      } else if (at("TYPE") && typeDecl(d)) {
      } else if (at("TYPE")) {
        OraError e(6550);
        e.text = "ORA-06550: " + where(u.src, t[i].pos) + ":\nPLS-00999: implementation restriction (may be temporary) " +
                 t[i].text + " declarations are not run by this engine";
        throw e;
      } else {
        d.name = name();
        if (at("EXCEPTION")) {
          ++i;
          d.kind = Decl::Exception;
        } else {
          if (at("CONSTANT")) { ++i; d.constant = true; }
          d.type = type();
          if (at("NOT")) { ++i; expect("NULL"); d.notNull = true; }
          if (at(":=") || at("DEFAULT")) { ++i; d.init = expression({";"}); }
          else if (d.constant || d.notNull) {
            OraError e(6550);
            e.text = "ORA-06550: " + where(u.src, t[d.at].pos) + ":\nPLS-00218: a variable declared NOT NULL must have an initialization assignment";
            throw e;
          }
        }
      }
      expect(";");
      b.decls.push_back(std::move(d));
    }
  }

  std::shared_ptr<Block> block(bool declare) {
    auto b = std::make_shared<Block>();
    if (declare) declarations(*b);
    expect("BEGIN");
    b->body = statements({"EXCEPTION", "END"});
    if (b->body.empty()) fail(i);
    if (at("EXCEPTION")) {
      ++i;
      while (at("WHEN")) {
        ++i;
        Handler h;
        h.names.push_back(name());
        while (at("OR")) { ++i; h.names.push_back(name()); }
        expect("THEN");
        h.body = statements({"WHEN", "END"});
        b->handlers.push_back(std::move(h));
      }
      if (b->handlers.empty()) fail(i);
    }
    expect("END");
    if (t[i].kind == T::Word && !at(";")) ++i; // END name
    return b;
  }

  Stmts statements(std::initializer_list<const char*> stops) {
    Stmts out;
    for (;;) {
      if (t[i].kind == T::End) fail(i);
      bool stop = false;
      for (const char* s : stops) stop = stop || at(s);
      if (stop) return out;
      out.push_back(statement());
    }
  }

  Stmts loopBody(std::unique_ptr<Stmt>& s) {
    expect("LOOP");
    Stmts b = statements({"END"});
    expect("END");
    expect("LOOP");
    if (t[i].kind == T::Word) {
      if (t[i].text != s->label) fail(i);
      ++i;
    }
    return b;
  }

  std::unique_ptr<Stmt> statement() {
    auto s = std::make_unique<Stmt>();
    if (at("<<")) {
      ++i;
      s->label = name();
      expect(">>");
    }
    s->at = i;
    const std::string w = t[i].kind == T::Word ? t[i].text : std::string();
    if (w == "NULL" && is(i + 1, ";")) {
      ++i;
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
      expect("IN");
      if (at("REVERSE")) { ++i; s->reverse = true; }
      if (at("(")) {
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
      s->body = loopBody(s);
    } else if (w == "EXIT" || w == "CONTINUE") {
      s->kind = w == "EXIT" ? Stmt::Exit : Stmt::Continue;
      ++i;
      if (t[i].kind == T::Word && !at("WHEN")) s->name = t[i++].text;
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
      fail(i);
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
        s->kind = Stmt::Assign;
        s->target = {b, i};
        ++i;
        s->expr = expression({";"});
      } else {
        s->kind = Stmt::Call;
        i = b;
        s->name = name();
        while (at(".")) { ++i; s->name += "." + name(); }
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

  // RETURNING expressions INTO variables at the end of a DML statement: the clause in `target`,
  // its expressions in `hi`, the variables in `conds`.
  void returning(Stmt& s) {
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

  // name, or pkg.name
  std::string dotted() {
    std::string n = name();
    if (at(".")) {
      ++i;
      n += "." + name();
    }
    return n;
  }

  void cursorCall(Stmt& s) {
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

  // USING [IN | OUT | IN OUT] argument, ...
  void usingList(Stmt& s) {
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
      s.binds.push_back(expression({",", ";", "RETURNING", "RETURN"}));
      s.bindModes.push_back(mode);
      if (at(",")) { ++i; continue; }
      break;
    }
  }

  void intoList(Stmt& s) {
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
};

} // namespace

std::shared_ptr<Unit> parseProcedure(const std::string& src) {
  auto u = std::make_shared<Unit>();
  u->src = src;
  u->toks = tokens(src);
  Parser p(*u);
  if (!p.at("PROCEDURE") && !p.at("FUNCTION")) p.fail(p.i);
  u->sub = p.subHeader();
  u->name = u->sub->name;
  u->params = u->sub->params;
  if (!p.at("IS") && !p.at("AS")) p.fail(p.i);
  ++p.i;
  u->block = u->sub->block = p.block(true);
  if (p.at(";")) ++p.i;
  if (p.t[p.i].kind != T::End) p.fail(p.i);
  return u;
}

std::shared_ptr<Unit> parsePackage(const std::string& decls, const std::string& body) {
  auto u = std::make_shared<Unit>();
  // one text, so that the body's code can use the public part's cursors and types
  u->src = decls + "\n" + body;
  u->bodyFrom = decls.size() + 1;
  u->toks = tokens(u->src);
  Parser p(*u);
  auto head = [&](bool isBody) {
    p.expect("PACKAGE");
    if (isBody) p.expect("BODY");
    std::string name = p.name();
    if (p.at(".")) { ++p.i; name = p.name(); }
    if (p.at("AUTHID")) p.i += 2;
    if (!p.at("IS") && !p.at("AS")) p.fail(p.i);
    ++p.i;
    return name;
  };
  auto tail = [&] {
    p.expect("END");
    if (p.t[p.i].kind == T::Word) ++p.i;
    if (p.at(";")) ++p.i;
  };
  u->name = head(false);
  Block publicBlock;
  p.declarations(publicBlock);
  for (const Decl& d : publicBlock.decls)
    if (d.kind == Decl::Subprogram && d.sub->block) p.fail(d.sub->at); // bodies belong in the body
  u->publicDecls = std::move(publicBlock.decls);
  tail();
  if (p.t[p.i].kind == T::End) return u;
  head(true);
  u->body = std::make_shared<Block>();
  p.declarations(*u->body);
  if (p.at("BEGIN")) {
    ++p.i;
    u->body->body = p.statements({"EXCEPTION", "END"});
    if (p.at("EXCEPTION")) {
      ++p.i;
      while (p.at("WHEN")) {
        ++p.i;
        Handler h;
        h.names.push_back(p.name());
        while (p.at("OR")) { ++p.i; h.names.push_back(p.name()); }
        p.expect("THEN");
        h.body = p.statements({"WHEN", "END"});
        u->body->handlers.push_back(std::move(h));
      }
    }
  }
  tail();
  if (p.t[p.i].kind != T::End) p.fail(p.i);
  return u;
}

std::shared_ptr<Unit> parseTypeSource(const std::string& src) {
  auto u = std::make_shared<Unit>();
  u->src = src;
  u->toks = tokens(src);
  Parser p(*u);
  Decl d;
  d.at = 0;
  if (!p.at("TYPE")) p.fail(0);
  // TYPE name [FORCE] [AUTHID ...] IS|AS ...: what a block's TYPE declaration says
  size_t name = 1;
  size_t k = 2;
  if (p.is(k, ".")) { name = 3; k = 4; }
  while (p.is(k, "FORCE") || p.is(k, "AUTHID")) k += p.is(k, "AUTHID") ? 2 : 1;
  std::vector<Tok> toks;
  toks.push_back(u->toks[0]);
  toks.push_back(u->toks[name]);
  for (size_t x = k; x < u->toks.size(); ++x) toks.push_back(u->toks[x]);
  u->toks = toks;
  Parser q(*u);
  if (!q.typeDecl(d)) q.fail(q.i);
  if (q.at(";")) ++q.i;
  if (q.t[q.i].kind != T::End) q.fail(q.i);
  u->name = d.name;
  u->publicDecls.push_back(std::move(d));
  return u;
}

bool plsqlSourceParses(const std::string& type, const std::string& src, const std::string& decls,
                       const std::set<std::string>& schemaTypes) {
  try {
    std::shared_ptr<Unit> u;
    if (type == "PROCEDURE" || type == "FUNCTION") u = parseProcedure(src);
    else if (type == "PACKAGE") u = parsePackage(src, {});
    else if (type == "PACKAGE BODY") u = parsePackage(decls, src);
    else if (type == "TYPE") u = parseTypeSource(src); // a collection type; an object type is kept as source only
    else return false;
    for (const std::string& n : u->schemaTypes)
      if (!schemaTypes.count(n)) return false;
    return true;
  } catch (const OraError&) {
    return false;
  }
}

std::shared_ptr<Unit> parseBlock(const std::string& src) {
  auto u = std::make_shared<Unit>();
  u->src = src;
  u->toks = tokens(src);
  joinPlaceholders(u->toks);
  Parser p(*u);
  bool declare = p.at("DECLARE");
  if (declare) ++p.i;
  u->block = p.block(declare);
  if (p.at(";")) ++p.i;
  if (p.at("/")) ++p.i;
  if (p.t[p.i].kind != T::End) p.fail(p.i);
  return u;
}

} // namespace ora::pl
