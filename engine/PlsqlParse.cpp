// Reads an anonymous PL/SQL block into the tree the interpreter runs.
#include "PlsqlCompile.h"
#include "PlsqlImpl.h"

#include "OraError.h"
#include "OraValues.h"
#include "PlsqlParser.h"

#include <cstring>
#include <utility>
#include <set>

namespace ora::pl {

namespace parse {

Range Parser::until(std::initializer_list<const char*> stops) {
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

void Parser::operands(Range r) const {
  static const std::set<std::string> infix{"*", "/", "**", "||", "=", "<", ">", "<=", ">=", "<>", "!=", "^=", "~="};
  // a SQL statement or query is checked as SQL when it runs
  static const std::set<std::string> sql{"SELECT", "WITH", "INSERT", "UPDATE", "DELETE", "MERGE", "COMMIT",
                                         "ROLLBACK", "SAVEPOINT", "LOCK", "SET", "VALUES"};
  for (size_t k = r.b; k < r.e; ++k)
    if (t[k].kind == T::Word && sql.count(t[k].text)) return;
  auto binary = [&](size_t k) {
    return (t[k].kind == T::Op && infix.count(t[k].text)) ||
           (t[k].kind == T::Word && (t[k].text == "AND" || t[k].text == "OR"));
  };
  int cases = 0;
  for (size_t k = r.b; k < r.e; ++k) {
    // an END that closes no CASE: the statement before it lacks its ";"
    if (t[k].kind == T::Word && t[k].text == "CASE") ++cases;
    if (t[k].kind == T::Word && t[k].text == "END" && cases-- == 0) fail(k);
    // two literals with no operator between them ("1 2", "'a' 'b'")
    bool literal = t[k].kind == T::Num || t[k].kind == T::Str;
    if ((literal || is(k, ")")) && k + 1 < r.e && (t[k + 1].kind == T::Num || t[k + 1].kind == T::Str)) fail(k + 1);
    bool sign = t[k].kind == T::Op && (t[k].text == "+" || t[k].text == "-");
    bool prefix = t[k].kind == T::Word && t[k].text == "NOT";
    if (!sign && !prefix && !binary(k)) continue;
    // COUNT(*) and t.* name no operand
    if (is(k, "*") && k > r.b && (is(k - 1, "(") || is(k - 1, ".") || is(k - 1, ","))) continue;
    size_t n = k + 1;
    if (n >= r.e || is(n, ")") || is(n, ",") || binary(n)) fail(n);
  }
}

TypeSpec Parser::type() {
  TypeSpec ts;
  // SYS.ODCINUMBERLIST and the other built-in list types: named as the schema's own
  if (is(i, "SYS") && is(i + 1, ".") && i + 2 < t.size() && t[i + 2].text.starts_with("ODCI") && t[i + 2].text.ends_with("LIST"))
    i += 2;
  size_t b = i;
  std::string w = name();
  if (subtypes.count(w) && !at(".") && !at("%")) return subtypeUse(w);
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
  // REF type: the REF's own opaque text
  if (w == "REF" && t[i].kind == T::Word && t[i].text != "CURSOR" && !at(".") && !at("%")) {
    name();
    ts.kind = TypeSpec::Text;
    ts.size = 32767;
    return ts;
  }
  static const char* builtin[] = {"NUMBER", "NUMERIC", "DECIMAL", "DEC", "FLOAT", "REAL", "INTEGER", "INT", "SMALLINT",
                                  "PLS_INTEGER", "BINARY_INTEGER", "NATURAL", "NATURALN", "POSITIVE", "POSITIVEN", "SIGNTYPE",
                                  "SIMPLE_INTEGER", "VARCHAR2",
                                  "VARCHAR", "CHAR", "NVARCHAR2", "NCHAR", "STRING", "LONG", "CLOB", "NCLOB", "DATE", "TIMESTAMP",
                                  "INTERVAL", "TIMESTAMP_UNCONSTRAINED", "TIMESTAMP_TZ_UNCONSTRAINED",
                                  "TIMESTAMP_LTZ_UNCONSTRAINED", "DSINTERVAL_UNCONSTRAINED", "YMINTERVAL_UNCONSTRAINED",
                                  "BOOLEAN", "RAW", "BLOB", "XMLTYPE", "BINARY_FLOAT", "BINARY_DOUBLE", "SIMPLE_FLOAT",
                                  "SIMPLE_DOUBLE"};
  bool known = false;
  for (const char* k : builtin) known = known || w == k;
  if (w == "DOUBLE" && at("PRECISION")) {
    ++i;
    w = "FLOAT";
    known = true;
  }
  // a TYPE of this unit, or one of the schema's (CREATE TYPE), found when it runs
  if (typeNames.count(w) || (!known && t[b].kind == T::Word && !at("("))) {
    if (!typeNames.count(w)) u.schemaTypes.push_back(w);
    ts.kind = TypeSpec::Named;
    ts.anchor = {b, i};
    ts.named = w;
    return ts;
  }
  if (w == "NUMBER" || w == "NUMERIC" || w == "DECIMAL" || w == "DEC" || w == "FLOAT" || w == "REAL") ts.kind = TypeSpec::Number;
  else if (w == "INTEGER" || w == "INT" || w == "SMALLINT") { ts.kind = TypeSpec::Number; ts.integer = true; }
  else if (w == "PLS_INTEGER" || w == "BINARY_INTEGER" || w == "NATURAL" || w == "NATURALN" || w == "POSITIVE" ||
           w == "POSITIVEN" || w == "SIGNTYPE" || w == "SIMPLE_INTEGER") {
    ts.kind = TypeSpec::Number;
    ts.integer = true;
    ts.range = w == "NATURAL" || w == "NATURALN" ? TypeSpec::Natural
               : w == "POSITIVE" || w == "POSITIVEN" ? TypeSpec::Positive
               : w == "SIGNTYPE" ? TypeSpec::Sign
               : w == "SIMPLE_INTEGER" ? TypeSpec::Simple : TypeSpec::Pls;
    ts.notNull = w == "NATURALN" || w == "POSITIVEN" || w == "SIMPLE_INTEGER";
  }
  else if (w == "BINARY_FLOAT" || w == "BINARY_DOUBLE" || w == "SIMPLE_FLOAT" || w == "SIMPLE_DOUBLE") {
    ts.kind = TypeSpec::Number;
    ts.binary = w.find("FLOAT") != std::string::npos ? kBinaryFloat : kBinaryDouble;
    ts.notNull = w.rfind("SIMPLE_", 0) == 0;
  }
  else if (w == "VARCHAR2" || w == "VARCHAR" || w == "CHAR" || w == "NVARCHAR2" || w == "NCHAR" || w == "STRING" ||
           w == "LONG" || w == "CLOB" || w == "NCLOB") ts.kind = TypeSpec::Text;
  else if (w == "RAW" || w == "BLOB") { ts.kind = TypeSpec::Text; ts.bytes = true; }
  else if (w == "DATE") ts.kind = TypeSpec::Date;
  else if (w == "TIMESTAMP" || w == "INTERVAL" || w.ends_with("_UNCONSTRAINED")) return datetimeType(w);
  else if (w == "BOOLEAN") ts.kind = TypeSpec::Bool;
  else if (w == "XMLTYPE") { ts.kind = TypeSpec::Text; ts.xml = true; ts.size = kLobSize; }
  else {
    OraError e(6550);
    e.text = "ORA-06550: " + where(u.src, t[b].pos) + ":\nPLS-00201: identifier '" + w + "' must be declared";
    throw e;
  }
  ts.fixed = (w == "CHAR" || w == "NCHAR") && (!unsized || at("("));
  ts.chars = w == "NCHAR" || w == "NVARCHAR2";
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
    if (at("BYTE") || at("CHAR")) {
      (at("CHAR") ? ts.chars : ts.byteUnit) = true;
      ++i;
    }
    expect(")");
  }
  if (w == "FLOAT" || w == "REAL") {
    // binary digits, not a NUMBER's decimal precision
    ts.floatBits = w == "REAL" ? 63 : ts.precision > 0 ? ts.precision : 126;
    ts.precision = ts.size = 0;
  }
  if (ts.kind == TypeSpec::Text && ts.size == 0 && !unsized && w != "LONG" && w != "CLOB" && w != "NCLOB" && w != "STRING" && w != "CHAR" && w != "NCHAR" && w != "BLOB") {
    OraError e(6550);
    e.text = "ORA-06550: " + where(u.src, t[b].pos) + ":\nPLS-00215: String length constraints must be in range (1 .. 32767)";
    throw e;
  }
  if (ts.kind == TypeSpec::Text && ts.size == 0) ts.size = (w == "CHAR" || w == "NCHAR") && !unsized ? 1 : 32767;
  if (w == "RAW") ts.size = std::min(2 * ts.size, 65534); // two digits a byte
  if (w == "CLOB" || w == "NCLOB" || w == "BLOB") ts.size = kLobSize; // a LOB is not held to a string's limit
  return ts;
}

// TIMESTAMP[(p)] [WITH [LOCAL] TIME ZONE], INTERVAL DAY[(p)] TO SECOND[(s)], INTERVAL YEAR[(p)]
// TO MONTH and their unconstrained subtypes, after the first word w.
TypeSpec Parser::datetimeType(const std::string& w) {
  TypeSpec ts;
  ts.kind = TypeSpec::Date;
  auto digits = [&](int dflt) {
    if (!at("(")) return unsized ? -1 : dflt;
    ++i;
    if (t[i].kind != T::Num) fail(i);
    int n = std::atoi(t[i++].text.c_str());
    if (n > 9) fail(i - 1);
    expect(")");
    return n;
  };
  if (w.ends_with("_UNCONSTRAINED")) {
    ts.dt = w[0] == 'T' ? (w == "TIMESTAMP_UNCONSTRAINED" ? kTimestamp : kTimestampTz) : w[0] == 'D' ? kIntervalDs : kIntervalYm;
    ts.localZone = w == "TIMESTAMP_LTZ_UNCONSTRAINED";
    ts.precision = 9;
    ts.scale = 9;
    return ts;
  }
  if (w == "TIMESTAMP") {
    ts.dt = kTimestamp;
    ts.precision = digits(6);
    if (at("WITH")) {
      ++i;
      if (at("LOCAL")) { ++i; ts.localZone = true; }
      expect("TIME");
      expect("ZONE");
      ts.dt = kTimestampTz;
    }
    return ts;
  }
  if (at("DAY")) {
    ++i;
    ts.dt = kIntervalDs;
    ts.precision = digits(2);
    expect("TO");
    expect("SECOND");
    ts.scale = digits(6);
    return ts;
  }
  expect("YEAR");
  ts.dt = kIntervalYm;
  ts.precision = digits(2);
  expect("TO");
  expect("MONTH");
  return ts;
}

bool Parser::accessClause() {
  if (at("ACCESSIBLE") && is(i + 1, "BY")) {
    // ACCESSIBLE BY ([unit kind] name, ...)
    i += 2;
    expect("(");
    until({});
    expect(")");
    return true;
  }
  if (at("DEFAULT") && is(i + 1, "COLLATION")) {
    i += 3;
    return true;
  }
  if (at("SHARING") && is(i + 1, "=")) {
    i += 3;
    return true;
  }
  return false;
}

std::shared_ptr<Sub> Parser::subHeader() {
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
      // RESULT_CACHE RELIES_ON (tables), PARALLEL_ENABLE (PARTITION ...): accepted as written
      if (at("RELIES_ON")) ++i;
      if (at("(")) {
        ++i;
        until({});
        expect(")");
      }
    } else if (!accessClause()) {
      break;
    }
  }
  return sub;
}

bool Parser::typeDecl(Decl& d) {
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

void Parser::declarations(Block& b, bool ownBlock) {
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
          unsized = true; // a parameter's type has no length
          d.paramTypes.push_back(type());
          unsized = false;
          Range def;
          if (at(":=") || at("DEFAULT")) { ++i; def = expression({",", ")"}); }
          d.paramDefaults.push_back(def);
          if (at(",")) { ++i; continue; }
          break;
        }
        expect(")");
      }
      bool returns = at("RETURN");
      if (returns) { ++i; type(); }
      // a package's CURSOR ... RETURN type; declares what its body's cursor of that name defines
      if (!returns || !at(";")) {
        expect("IS");
        d.init = expression({";"});
      }
    } else if (at("PRAGMA") && is(i + 1, "AUTONOMOUS_TRANSACTION")) {
      // only a routine's outermost block is a transaction of its own: not a nested block, a package
      if (!ownBlock) {
        OraError e(6550);
        e.text = "ORA-06550: " + where(u.src, t[i].pos) +
                 ":\nPLS-00710: Pragma AUTONOMOUS_TRANSACTION cannot be specified here";
        e.pos = static_cast<int>(t[i].pos);
        throw e;
      }
      i += 2;
      b.autonomous = true;
      expect(";");
      continue;
    } else if (at("PRAGMA") && (is(i + 1, "UDF") || is(i + 1, "SERIALLY_REUSABLE") || is(i + 1, "INLINE") ||
                                is(i + 1, "RESTRICT_REFERENCES") || is(i + 1, "DEPRECATE") || is(i + 1, "COVERAGE"))) {
      // advice to the compiler, which changes nothing here
      i += 2;
      if (at("(")) {
        ++i;
        until({});
        expect(")");
      }
      expect(";");
      continue;
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
        routine = true;
        // a subprogram's body is in no loop of the block that declares it
        auto labels = std::exchange(loopLabels, {});
        auto indexes = std::exchange(loopIndexes, {});
        d.sub->block = block(true);
        loopLabels = std::move(labels);
        loopIndexes = std::move(indexes);
      }
    } else if (at("SUBTYPE")) {
      subtypeDecl();
      continue;
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
        if (!declared.empty()) declared.back()[d.name] = d.constant;
        d.type = type();
        if (at("NOT")) { ++i; expect("NULL"); d.notNull = true; }
        d.notNull = d.notNull || d.type.notNull;
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

std::shared_ptr<Block> Parser::block(bool declare) {
  auto b = std::make_shared<Block>();
  bool own = std::exchange(routine, false);
  declared.emplace_back();
  struct Pop {
    Parser& p;
    ~Pop() { p.declared.pop_back(); }
  } pop{*this};
  if (declare) declarations(*b, own);
  expect("BEGIN");
  b->body = statements({"EXCEPTION", "END"});
  if (b->body.empty()) fail(i);
  if (at("EXCEPTION")) {
    ++i;
    while (at("WHEN")) {
      ++i;
      Handler h;
      h.names.push_back(dotted());
      while (at("OR")) { ++i; h.names.push_back(dotted()); }
      expect("THEN");
      h.body = statements({"WHEN", "END"});
      b->handlers.push_back(std::move(h));
    }
    if (b->handlers.empty()) fail(i);
  }
  b->endAt = i;
  expect("END");
  if (t[i].kind == T::Word && !at(";")) ++i; // END name
  return b;
}

} // namespace parse

using parse::Parser;

namespace {
// The name a stored unit's text gives it: the word after PROCEDURE, FUNCTION or PACKAGE [BODY].
std::string unitName(const std::string& src) {
  std::vector<Tok> t;
  try {
    t = tokens(src.substr(0, 300));
  } catch (const OraError&) {
    return {};
  }
  size_t k = 1;
  if (k < t.size() && t[k].kind == T::Word && t[k].text == "BODY") ++k;
  return k < t.size() && t[k].kind == T::Word ? t[k].text : std::string();
}
} // namespace

std::shared_ptr<Unit> parseProcedure(const std::string& text) {
  auto u = std::make_shared<Unit>();
  const std::string src = conditionalText(text, text.find('$') == std::string::npos ? std::string() : unitName(text));
  u->src = src;
  u->toks = tokens(src);
  Parser p(*u);
  if (!p.at("PROCEDURE") && !p.at("FUNCTION")) p.fail(p.i);
  u->sub = p.subHeader();
  u->name = u->sub->name;
  u->params = u->sub->params;
  if (!p.at("IS") && !p.at("AS")) p.fail(p.i);
  ++p.i;
  p.routine = true;
  u->block = u->sub->block = p.block(true);
  if (p.at(";")) ++p.i;
  if (p.t[p.i].kind != T::End) p.fail(p.i);
  return u;
}

std::shared_ptr<Unit> parsePackage(const std::string& decls, const std::string& body) {
  auto u = std::make_shared<Unit>();
  // one text, so that the body's code can use the public part's cursors and types
  const bool directives = (decls + body).find('$') != std::string::npos;
  const std::string name = directives ? unitName(decls) : std::string();
  u->src = conditionalText(decls, name) + "\n";
  u->bodyFrom = u->src.size();
  u->src += conditionalText(body, name);
  u->toks = tokens(u->src);
  Parser p(*u);
  auto head = [&](bool isBody) {
    p.expect("PACKAGE");
    if (isBody) p.expect("BODY");
    std::string name = p.name();
    if (p.at(".")) { ++p.i; name = p.name(); }
    for (;;) {
      if (p.at("AUTHID")) p.i += 2;
      else if (!p.accessClause()) break;
    }
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
  return (type == "PROCEDURE" || type == "FUNCTION" || type == "PACKAGE" || type == "PACKAGE BODY" || type == "TYPE") &&
         compileErrors(type, src, decls, schemaTypes, nullptr).empty();
}

std::shared_ptr<Unit> parseBlock(const std::string& text) {
  auto u = std::make_shared<Unit>();
  const std::string src = conditionalText(text, {});
  u->src = src;
  u->toks = tokens(src);
  joinPlaceholders(u->toks);
  Parser p(*u);
  std::string label;
  while (p.at("<<")) {
    ++p.i;
    label = p.name();
    p.expect(">>");
  }
  bool declare = p.at("DECLARE");
  if (declare) ++p.i;
  p.routine = true;
  u->block = p.block(declare);
  u->block->label = label;
  if (p.at(";")) ++p.i;
  if (p.at("/")) ++p.i;
  if (p.t[p.i].kind != T::End) p.fail(p.i);
  return u;
}

} // namespace ora::pl
