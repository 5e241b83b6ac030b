// Statements: DML, DDL, transaction control.
#include <cstring>
#include "SqlParser.h"

#include <set>
#include <string>

namespace ora::sql {

// A word of a segment's physical attributes (TABLESPACE, PCTFREE, STORAGE, ...).
bool physicalWord(const std::string& w) {
  return w == "TABLESPACE" || w == "PCTFREE" || w == "PCTUSED" || w == "INITRANS" || w == "MAXTRANS" ||
         w == "STORAGE" || w == "LOGGING" || w == "NOLOGGING" || w == "COMPRESS" || w == "NOCOMPRESS" ||
         w == "CACHE" || w == "NOCACHE" || w == "PARALLEL" || w == "NOPARALLEL";
}

namespace {
bool constraintWord(const std::string& w) {
  return w == "CONSTRAINT" || w == "PRIMARY" || w == "UNIQUE" || w == "FOREIGN" || w == "CHECK";
}

// Words that stand for a value without any row to read it from.
bool rowFreeName(const std::string& w) {
  static const char* const words[] = {"SYSDATE", "SYSTIMESTAMP", "CURRENT_DATE", "CURRENT_TIMESTAMP",
                                      "LOCALTIMESTAMP", "USER", "UID", "DBTIMEZONE", "SESSIONTIMEZONE",
                                      "ROWNUM", "LEVEL", "ROWID", "DEFAULT", "TRUE", "FALSE"};
  for (const char* k : words)
    if (w == k) return true;
  // the named BINARY_FLOAT and BINARY_DOUBLE constants
  for (const char* p : {"BINARY_FLOAT_", "BINARY_DOUBLE_"})
    if (w.rfind(p, 0) == 0)
      for (const char* c : {"NAN", "INFINITY", "MAX_NORMAL", "MIN_NORMAL", "MAX_SUBNORMAL", "MIN_SUBNORMAL"})
        if (w.compare(std::strlen(p), std::string::npos, c) == 0) return true;
  return false;
}

// The first column a value names where there is no row to take it from (VALUES, DEFAULT):
// Oracle's ORA-00984. Subqueries have rows of their own; sequences and :NEW.x are not columns.
const Node* columnIn(const Node* n, const Parser::FunctionTest& function) {
  if (!n || n->kind == N::Subquery) return nullptr;
  if (n->kind == N::Name) {
    if (n->kids.empty()) return rowFreeName(n->text) || (function && function({}, n->text)) ? nullptr : n;
    if (n->kids[0] && n->kids[0]->kind == N::Name && n->kids[0]->kids.empty() && function &&
        function(n->kids[0]->text, n->text))
      return nullptr;
    if (n->kids[0] && n->kids[0]->kind == N::Bind) return nullptr;
    if (n->kids[0] && n->kids[0]->kind == N::Name && n->kids[0]->text == "DBMS_RANDOM" &&
        (n->text == "VALUE" || n->text == "NORMAL" || n->text == "RANDOM"))
      return nullptr; // a function named without parentheses
    return n->text == "NEXTVAL" || n->text == "CURRVAL" ? nullptr : n;
  }
  for (const Node* k : n->kids)
    if (const Node* c = columnIn(k, function)) return c;
  return nullptr;
}
} // namespace

bool parsedKind(const std::vector<Token>& t) {
  if (t.empty() || (t[0].kind != Tok::Ident && !(t[0].kind == Tok::Op && t[0].text == "("))) return false;
  const std::string& w = t[0].text;
  auto word = [&](size_t k) { return k < t.size() && t[k].kind == Tok::Ident ? t[k].text : std::string(); };
  if (w == "CREATE") {
    // stored PL/SQL units and triggers have readers of their own
    size_t k = word(1) == "OR" && word(2) == "REPLACE" ? 3 : 1;
    std::string what = word(k);
    return what != "TRIGGER" && what != "PROCEDURE" && what != "FUNCTION" && what != "PACKAGE" && what != "TYPE" &&
           what != "MATERIALIZED";
  }
  if (w == "ALTER") return true;
  if (w == "DROP" && word(1) == "MATERIALIZED") return false; // read where it is translated
  return w == "(" || w == "SELECT" || w == "WITH" || w == "INSERT" || w == "UPDATE" || w == "DELETE" ||
         w == "DROP" || w == "RENAME" || w == "COMMENT" || w == "GRANT" || w == "TRUNCATE" || w == "COMMIT" ||
         w == "ROLLBACK" || w == "SAVEPOINT";
}

Node* parse(std::string_view text, Tree& tree) {
  Parser p(text, lex(text), tree);
  tree.root = p.statement();
  return tree.root;
}

Node* Parser::statement() {
  if (atEnd()) fail(900);
  // no Oracle release takes a name longer than this, whatever the statement
  for (const Token& t : t_)
    if ((t.kind == Tok::Ident || t.kind == Tok::QIdent) && t.text.size() > kMaxNameBytes) failAt(972, t.pos);
  Node* s = nullptr;
  if (isWord("SELECT") || isWord("WITH") || isOp("(")) s = query(true);
  else if (isWord("INSERT")) s = insert();
  else if (isWord("UPDATE")) s = update();
  else if (isWord("DELETE")) s = del();
  else if (isWord("CREATE")) s = create();
  else if (isWord("ALTER")) s = alter();
  else if (isWord("DROP")) s = drop();
  else if (isWord("COMMIT") || isWord("ROLLBACK")) {
    s = make(isWord("COMMIT") ? N::Commit : N::Rollback);
    ++i_;
    acceptWord("WORK");
    if (acceptWord("FORCE")) {
      // 'transaction id' [, system change number]; checked where it is translated
      if (cur().kind != Tok::Str) fail(1780);
      ++i_;
      if (s->kind == N::Commit && acceptOp(",")) {
        if (cur().kind != Tok::Num) fail(933);
        ++i_;
      }
    } else if (s->kind == N::Commit && acceptWord("COMMENT")) {
      if (cur().kind != Tok::Str) fail(1780);
      ++i_;
    }
    if (s->kind == N::Commit && acceptWord("WRITE")) {
      // either order is taken, as the server takes it
      bool wait = false, how = false;
      for (int k = 0; k < 2; ++k) {
        if (!wait && (acceptWord("WAIT") || acceptWord("NOWAIT"))) wait = true;
        else if (!how && (acceptWord("IMMEDIATE") || acceptWord("BATCH"))) how = true;
      }
    }
    if (s->kind == N::Rollback && acceptWord("TO")) {
      acceptWord("SAVEPOINT");
      s->text = name(933);
    }
    finish(s);
  } else if (isWord("SAVEPOINT")) {
    s = make(N::Savepoint);
    ++i_;
    s->text = name(933);
    finish(s);
  } else if (isWord("RENAME") || isWord("COMMENT") || isWord("GRANT") || isWord("TRUNCATE")) {
    s = simpleDdl();
  } else {
    fail(900);
  }
  if (!atEnd()) fail(933);
  return s;
}

Node* Parser::insert() {
  Node* n = make(N::Insert);
  ++i_;
  expectWord("INTO", 925);
  Node* t = make(N::Table);
  t->kids.push_back(objectName(903));
  t->text = t->kids[0]->text;
  if (tableAliasAt() && !isWord("VALUES")) t->alias = t_[i_++].text;
  n->kids.push_back(finish(t));
  if (isOp("(") && !isWord("SELECT", 1) && !isWord("WITH", 1)) {
    ++i_;
    Node* cols = make(N::List);
    for (;;) {
      if (!nameAt()) fail(904);
      Node* col = nameExpr();
      for (const Node* seen : cols->kids)
        if (seen->text == col->text) failAt(957, col->pos);
      cols->kids.push_back(col);
      if (acceptOp(")")) break;
      if (!acceptOp(",")) fail(917);
    }
    n->kids.push_back(finish(cols));
  } else {
    n->kids.push_back(nullptr);
  }
  if (acceptWord("VALUES")) {
    // VALUES (...), (...): one list of values for each row, the later rows after the first
    do {
      if (!acceptOp("(")) fail(906);
      Node* l = tree_.make(N::List, t_[i_ - 1].pos);
      do {
        l->kids.push_back(defaultOr());
      } while (acceptOp(","));
      expectOp(")", 917); // the values are a comma list: anything else after a value wants a comma
      if (const Node* c = columnIn(l, schemaFunction)) failAt(984, c->pos);
      n->kids.push_back(finish(l));
    } while (acceptOp(","));
  } else if (isWord("SELECT") || isWord("WITH") || isOp("(")) {
    n->kids.push_back(query(true));
  } else {
    fail(926);
  }
  return finish(n);
}

// A value to store, or DEFAULT for the column's default.
Node* Parser::defaultOr() {
  if (isWord("DEFAULT") && (isOp(",", 1) || isOp(")", 1) || isWord("WHERE", 1) || peek(1).kind == Tok::End)) {
    Node* d = make(N::Name);
    d->text = t_[i_++].text;
    return finish(d);
  }
  return expr();
}

// CONSTRAINT name or PRIMARY KEY, as DROP, ENABLE and DISABLE name a constraint.
void Parser::constraintTarget(Node* what) {
  if (acceptWord("CONSTRAINT")) {
    what->text = "CONSTRAINT";
    Node* c = make(N::Name);
    c->text = name(904);
    what->kids.push_back(finish(c));
  } else if (acceptWord("PRIMARY")) {
    expectWord("KEY", 905);
    what->text = "PRIMARY KEY";
  } else if (acceptWord("UNIQUE")) {
    what->text = "UNIQUE";
    if (!acceptOp("(")) fail(906);
    what->kids = nameList()->kids;
  } else {
    fail(905);
  }
}

Node* Parser::update() {
  Node* n = make(N::Update);
  ++i_;
  Node* t = make(N::Table);
  t->kids.push_back(objectName(903));
  t->text = t->kids[0]->text;
  if (tableAliasAt() && !isWord("SET")) t->alias = t_[i_++].text;
  n->kids.push_back(finish(t));
  expectWord("SET", 971);
  Node* sets = make(N::List);
  do {
    Node* a = make(N::Assign);
    if (acceptOp("(")) {
      Node* cols = make(N::List);
      do {
        if (!nameAt()) fail(904);
        cols->kids.push_back(nameExpr());
      } while (acceptOp(","));
      expectOp(")", 907);
      a->kids.push_back(finish(cols));
      expectOp("=", 927);
      if (!isOp("(") || !(isWord("SELECT", 1) || isWord("WITH", 1))) fail(1767);
      a->kids.push_back(primary());
    } else {
      if (!nameAt()) fail(904);
      a->kids.push_back(nameExpr());
      expectOp("=", 927);
      a->kids.push_back(defaultOr());
    }
    sets->kids.push_back(finish(a));
  } while (acceptOp(","));
  n->kids.push_back(finish(sets));
  n->kids.push_back(acceptWord("WHERE") ? condition() : nullptr);
  return finish(n);
}

Node* Parser::del() {
  Node* n = make(N::Delete);
  ++i_;
  acceptWord("FROM");
  Node* t = make(N::Table);
  t->kids.push_back(objectName(903));
  t->text = t->kids[0]->text;
  if (tableAliasAt()) t->alias = t_[i_++].text;
  n->kids.push_back(finish(t));
  n->kids.push_back(acceptWord("WHERE") ? condition() : nullptr);
  return finish(n);
}

// "( a, b )" after the "(".
// distinct: a name given twice is ORA-00957, marked at the second
Node* Parser::nameList(bool distinct) {
  Node* l = tree_.make(N::List, t_[i_ - 1].pos);
  do {
    Node* n = make(N::Name);
    n->text = name(904);
    if (distinct)
      for (const Node* k : l->kids)
        if (k->text == n->text) failAt(957, n->pos);
    l->kids.push_back(finish(n));
  } while (acceptOp(","));
  expectOp(")", 907);
  return finish(l);
}

// Storage attributes Oracle accepts after a table or index; the engine's storage is its own.
// From an opening parenthesis past its match.
void Parser::skipParens() {
  expectOp("(", 906);
  int depth = 1;
  while (!atEnd() && depth > 0) {
    if (isOp("(")) ++depth;
    if (isOp(")")) --depth;
    ++i_;
  }
  if (depth) fail(907);
}

void Parser::physical() {
  while (cur().kind == Tok::Ident && physicalWord(cur().text)) {
    std::string w = t_[i_++].text;
    if (w == "STORAGE") {
      if (!isOp("(")) fail(906);
      skipParens();
    } else if (w == "TABLESPACE") {
      name(922);
    } else if (w == "PARALLEL") {
      if (cur().kind == Tok::Num) ++i_;
      else if (isOp("(")) skipParens(); // the older (DEGREE n INSTANCES n)
    } else if (w != "LOGGING" && w != "NOLOGGING" && w != "COMPRESS" && w != "NOCOMPRESS" && w != "CACHE" &&
               w != "NOCACHE" && w != "NOPARALLEL") {
      if (cur().kind != Tok::Num) fail(922);
      ++i_;
    }
  }
}

Node* Parser::create() {
  uint32_t at = cur().pos;
  ++i_;
  bool replace = false;
  if (acceptWord("OR")) {
    expectWord("REPLACE", 922);
    replace = true;
  }
  if (acceptWord("FORCE") || acceptWord("NOFORCE")) {
    if (!isWord("VIEW")) fail(922);
  }
  if (!replace && isWord("GLOBAL") && isWord("TEMPORARY", 1) && isWord("TABLE", 2)) i_ += 2;
  if (isWord("SYNONYM") || (isWord("PUBLIC") && isWord("SYNONYM", 1))) {
    // CREATE [OR REPLACE] [PUBLIC] SYNONYM name FOR [schema.]object
    Node* n = tree_.make(N::Option, at);
    n->text = "SYNONYM";
    i_ += isWord("PUBLIC") ? 2 : 1;
    n->kids.push_back(objectName(903));
    expectWord("FOR", 905);
    n->kids.push_back(objectName(903));
    if (acceptOp("@")) name(903);
    return finish(n);
  }
  if (acceptWord("VIEW")) {
    Node* v = tree_.make(N::CreateView, at);
    if (replace) v->flags |= kOrReplace;
    v->kids.push_back(objectName(999));
    if (acceptWord("OF")) {
      // an object view: OF type [WITH OBJECT IDENTIFIER {DEFAULT | (attributes)}]
      name(902);
      if (isWord("WITH") && isWord("OBJECT", 1)) {
        i_ += 2;
        if (!acceptWord("IDENTIFIER") && !acceptWord("ID") && !acceptWord("OID")) fail(905);
        if (!acceptWord("DEFAULT")) {
          expectOp("(", 906);
          nameList(true);
        }
      }
      v->kids.push_back(nullptr);
    } else {
      v->kids.push_back(acceptOp("(") ? nameList(true) : nullptr);
    }
    expectWord("AS", 905);
    if (!isWord("SELECT") && !isWord("WITH") && !isOp("(")) fail(928);
    v->kids.push_back(query(true));
    if (acceptWord("WITH")) {
      if (acceptWord("READ")) {
        expectWord("ONLY", 922);
      } else {
        expectWord("CHECK", 922);
        expectWord("OPTION", 922);
      }
      if (acceptWord("CONSTRAINT")) name(922);
    }
    return finish(v);
  }
  if (replace) fail(922);
  if (isWord("TABLE")) return createTable();
  bool unique = acceptWord("UNIQUE");
  if (!unique && isWord("BITMAP") && isWord("INDEX", 1)) ++i_; // a storage choice
  if (acceptWord("INDEX")) {
    Node* x = tree_.make(N::CreateIndex, at);
    if (unique) x->flags |= kUnique;
    x->kids.push_back(objectName(953));
    expectWord("ON", 969);
    x->kids.push_back(objectName(903));
    expectOp("(", 906);
    Node* cols = make(N::List);
    do {
      Node* o = make(N::Order);
      o->kids.push_back(expr());
      if (acceptWord("DESC")) o->flags |= kDesc;
      else acceptWord("ASC");
      cols->kids.push_back(finish(o));
    } while (acceptOp(","));
    expectOp(")", 907);
    x->kids.push_back(finish(cols));
    // how the index is built and kept: the engine's are always complete and in order
    for (;;) {
      if (isWord("COMPRESS")) {
        ++i_;
        if (cur().kind == Tok::Num) ++i_;
        continue;
      }
      if (cur().kind == Tok::Num && i_ > 0 && t_[i_ - 1].kind == Tok::Ident && t_[i_ - 1].text == "COMPRESS") {
        ++i_; // the prefix length after a COMPRESS read with the storage words
        continue;
      }
      size_t was = i_;
      physical();
      if (acceptWord("COMPUTE")) expectWord("STATISTICS", 905);
      else if (!(acceptWord("ONLINE") || acceptWord("REVERSE") || acceptWord("NOREVERSE") || acceptWord("SORT") ||
                 acceptWord("NOSORT") || acceptWord("VISIBLE") || acceptWord("INVISIBLE")) &&
               i_ == was)
        break;
    }
    // LOCAL / GLOBAL partitioning of the index: read with the index's translation
    if (isWord("LOCAL") || isWord("GLOBAL"))
      while (!atEnd()) ++i_;
    return finish(x);
  }
  if (unique) fail(968); // UNIQUE makes an index
  if (acceptWord("SEQUENCE")) {
    Node* s = tree_.make(N::CreateSequence, at);
    s->kids.push_back(objectName(903));
    while (cur().kind == Tok::Ident) {
      Node* o = make(N::Option);
      o->text = t_[i_++].text;
      if ((o->text == "START" || o->text == "INCREMENT")) {
        expectWord(o->text == "START" ? "WITH" : "BY", 922);
      }
      if (o->text == "START" || o->text == "INCREMENT" || o->text == "MINVALUE" || o->text == "MAXVALUE" ||
          o->text == "CACHE") {
        Node* v = make(N::Num);
        if (acceptOp("-")) v->text = "-";
        else acceptOp("+");
        if (cur().kind != Tok::Num) fail(o->text == "START" || o->text == "INCREMENT" ? 4002 : 922);
        v->text += t_[i_++].text;
        o->kids.push_back(finish(v));
      } else if (o->text != "NOMINVALUE" && o->text != "NOMAXVALUE" && o->text != "CYCLE" &&
                 o->text != "NOCYCLE" && o->text != "NOCACHE" && o->text != "ORDER" && o->text != "NOORDER" &&
                 o->text != "KEEP" && o->text != "NOKEEP" && o->text != "NOSCALE" && o->text != "NOSHARD" &&
                 o->text != "GLOBAL") {
        failAt(933, o->pos);
      }
      s->kids.push_back(finish(o));
    }
    return finish(s);
  }
  if (acceptWord("USER")) {
    Node* u = tree_.make(N::CreateUser, at);
    userAndPassword(u);
    // DEFAULT TABLESPACE, QUOTA and the like name storage this engine does not have
    while (!atEnd()) ++i_;
    return finish(u);
  }
  fail(901);
}

Node* Parser::createTable() {
  static const std::set<std::string> properties = {
      "PARTITION", "ORGANIZATION", "LOB", "ENABLE", "DISABLE", "ROW", "COLUMN", "SEGMENT", "RESULT_CACHE",
      "MONITORING", "NOMONITORING", "ROWDEPENDENCIES", "NOROWDEPENDENCIES", "INMEMORY", "NO", "PARALLEL",
      "COMPRESS", "NOCOMPRESS", "CACHE", "NOCACHE", "LOGGING", "NOLOGGING", "TABLESPACE", "PCTFREE", "PCTUSED",
      "INITRANS", "MAXTRANS", "STORAGE", "NOPARALLEL", "NESTED", "VARRAY"};
  Node* n = tree_.make(N::CreateTable, t_[i_ - 1].pos);
  ++i_; // TABLE
  n->kids.push_back(objectName(903));
  Node* elems = nullptr;
  if (acceptWord("OF")) {
    // an object table: its columns are the type's attributes
    name(902);
    if (acceptWord("NOT")) {
      expectWord("SUBSTITUTABLE", 922);
      expectWord("AT", 905);
      expectWord("ALL", 905);
      expectWord("LEVELS", 905);
    }
    n->kids.push_back(nullptr);
    return finish(n);
  }
  if (acceptOp("(")) {
    elems = make(N::List);
    // CREATE TABLE t (a, b) AS SELECT ...: names only
    bool namesOnly = nameAt() && (isOp(",", 1) || isOp(")", 1));
    uint32_t afterName = peek(1).pos;
    do {
      if (namesOnly) {
        Node* c = make(N::Name);
        c->text = name(904);
        elems->kids.push_back(finish(c));
      } else {
        elems->kids.push_back(tableElement(false));
      }
    } while (acceptOp(","));
    expectOp(")", 907);
    finish(elems);
    if (namesOnly && !isWord("AS") && !(cur().kind == Tok::Ident && properties.count(cur().text)))
      failAt(902, afterName);
  }
  n->kids.push_back(elems);
  if (acceptWord("ON")) {
    // a temporary table's rows: to the end of the transaction or of the session
    expectWord("COMMIT", 905);
    if (!acceptWord("DELETE")) expectWord("PRESERVE", 905);
    expectWord("ROWS", 905);
  }
  physical();
  // partitioning, organization, LOB storage and the like, read with the table's translation; a
  // query may follow them
  // COMPRESS FOR OLTP, COMPRESS BASIC: the kind of compression after the word physical() read
  if (cur().kind == Tok::Ident && (properties.count(cur().text) || t_[i_ - 1].text == "COMPRESS"))
    while (!atEnd() && !(isWord("AS") && t_[i_ - 1].text != "STORE")) ++i_;
  if (acceptWord("AS")) {
    if (!isWord("SELECT") && !isWord("WITH") && !isOp("(")) fail(928);
    n->kids.push_back(query(true));
  } else {
    if (!elems) fail(906);
    n->kids.push_back(nullptr);
    if (!atEnd()) fail(922); // what follows the columns can only be an option of the table
  }
  return finish(n);
}

// A column definition or a table constraint.
Node* Parser::tableElement(bool inAlter) {
  (void)inAlter;
  // CONSTRAINT is no reserved word: "constraint VARCHAR2(30)" is a column
  bool column = isWord("CONSTRAINT") && peek(1).kind == Tok::Ident &&
                (reservedWord(peek(1).text) || !(peek(2).kind == Tok::Ident && constraintWord(peek(2).text)));
  if (cur().kind == Tok::Ident && constraintWord(cur().text) && !column) return constraint(false);
  return columnDef(false);
}

Node* Parser::columnDef(bool modify) {
  Node* c = make(N::ColumnDef);
  if (!nameAt()) fail(904);
  c->text = t_[i_++].text;
  // [IN]VISIBLE: after the type, or after the name when there is none (MODIFY, a virtual column)
  bool shown = acceptWord("VISIBLE") || acceptWord("INVISIBLE");
  // MODIFY may leave the type out
  // a virtual column may leave its type to its expression
  bool computed = isWord("AS") || (isWord("GENERATED") && isWord("ALWAYS", 1) && isWord("AS", 2) && isOp("(", 3));
  bool typeHere = !computed && (!modify || (cur().kind == Tok::Ident && !constraintWord(cur().text) && cur().text != "DEFAULT" &&
                              cur().text != "NOT" && cur().text != "NULL"));
  if (typeHere && cur().kind == Tok::Ident && !builtinTypeAt() && !isOp("(", 1) && !isOp(".", 1)) {
    // a type of the schema's (CREATE TYPE): the translator knows whether there is one
    Node* ty = make(N::TypeSpec);
    ty->text = t_[i_++].text;
    // REF type [SCOPE IS table]
    if (ty->text == "REF" && nameAt()) {
      ty->text = t_[i_++].text;
      if (acceptWord("SCOPE")) {
        expectWord("IS", 905);
        objectName(903);
      }
    }
    c->kids.push_back(finish(ty));
  } else {
    c->kids.push_back(typeHere ? typeSpec() : nullptr);
  }
  if (!shown && !acceptWord("VISIBLE")) acceptWord("INVISIBLE");
  Node* def = nullptr;
  Node* cons = make(N::List);
  for (;;) {
    // the default comes once, before the constraints
    if ((isWord("DEFAULT") || isWord("GENERATED")) && (def || !cons->kids.empty() || (c->flags & kIdentity))) fail(907);
    if (acceptWord("DEFAULT")) {
      if (isWord("ON") && isWord("NULL", 1)) i_ += 2;
      def = expr();
      if (const Node* sub = subqueryIn(def)) failAt(22818, sub->pos);
      if (const Node* col = columnIn(def, {})) failAt(984, col->pos);
    } else if (!def && (isWord("AS") || (isWord("GENERATED") && isWord("ALWAYS", 1) && isWord("AS", 2))) &&
               isOp("(", isWord("AS") ? 1 : 3)) {
      // [GENERATED ALWAYS] AS (expression) [VIRTUAL]
      i_ += isWord("AS") ? 2 : 4;
      def = expr();
      if (const Node* sub = subqueryIn(def)) failAt(22818, sub->pos);
      expectOp(")", 907);
      acceptWord("VIRTUAL");
    } else if (acceptWord("GENERATED")) {
      // GENERATED [ALWAYS | BY DEFAULT [ON NULL]] AS IDENTITY [(sequence options)]
      if (acceptWord("BY")) {
        expectWord("DEFAULT", 905);
        if (acceptWord("ON")) expectWord("NULL", 905);
      } else {
        acceptWord("ALWAYS");
      }
      expectWord("AS", 905);
      expectWord("IDENTITY", 905);
      if (acceptOp("(")) {
        while (!atEnd() && !isOp(")")) ++i_;
        expectOp(")", 907);
      }
      c->flags |= kIdentity;
    } else if (cur().kind == Tok::Ident && (constraintWord(cur().text) || cur().text == "NOT" || cur().text == "NULL" ||
                                            cur().text == "REFERENCES")) {
      cons->kids.push_back(constraint(true));
    } else {
      break;
    }
  }
  c->kids.push_back(def);
  c->kids.push_back(finish(cons));
  return finish(c);
}

// A CHECK condition holds for a row whenever it is read: no value of the moment (the date, the
// user) and no sequence number.
void Parser::checkConstant(const Node* n) {
  static const std::set<std::string> moment = {"SYSDATE", "SYSTIMESTAMP", "CURRENT_DATE", "CURRENT_TIMESTAMP",
                                               "LOCALTIMESTAMP", "UID", "USER"};
  std::vector<const Node*> todo{n};
  while (!todo.empty()) {
    const Node* k = todo.back();
    todo.pop_back();
    if (!k) continue;
    if (k->kind == N::Name && !k->kids.empty() && (k->text == "NEXTVAL" || k->text == "CURRVAL")) failAt(2287, k->pos);
    if ((k->kind == N::Name && k->kids.empty() && moment.count(k->text)) ||
        (k->kind == N::Call && k->alias.empty() && (k->text == "USERENV" || moment.count(k->text))))
      failAt(2436, k->pos);
    for (const Node* c : k->kids) todo.push_back(c);
  }
}

Node* Parser::constraint(bool columnLevel) {
  Node* k = make(N::Constraint);
  if (acceptWord("CONSTRAINT")) k->alias = name(904);
  if (acceptWord("NOT")) {
    if (!columnLevel) fail(904);
    expectWord("NULL", 908);
    k->text = "NOT NULL";
  } else if (acceptWord("NULL")) {
    if (!columnLevel) fail(904);
    k->text = "NULL";
  } else if (acceptWord("PRIMARY")) {
    expectWord("KEY", 905);
    k->text = "PRIMARY KEY";
    if (!columnLevel) {
      expectOp("(", 906);
      k->kids.push_back(nameList(true));
    }
  } else if (acceptWord("UNIQUE")) {
    k->text = "UNIQUE";
    if (!columnLevel) {
      expectOp("(", 906);
      k->kids.push_back(nameList(true));
    }
  } else if (acceptWord("CHECK")) {
    k->text = "CHECK";
    expectOp("(", 906);
    k->kids.push_back(condition());
    if (const Node* sub = subqueryIn(k->kids.back())) failAt(2251, sub->pos);
    checkConstant(k->kids.back());
    expectOp(")", 907);
  } else if (isWord("FOREIGN") || isWord("REFERENCES")) {
    k->text = "FOREIGN KEY";
    if (acceptWord("FOREIGN")) {
      if (columnLevel) fail(907);
      expectWord("KEY", 905);
      expectOp("(", 906);
      k->kids.push_back(nameList(true));
    } else {
      k->kids.push_back(nullptr);
    }
    expectWord("REFERENCES", 905);
    k->kids.push_back(objectName(903));
    k->kids.push_back(acceptOp("(") ? nameList() : nullptr);
    Node* rule = nullptr;
    if (acceptWord("ON")) {
      expectWord("DELETE", 905);
      rule = make(N::Option);
      if (acceptWord("CASCADE")) rule->text = "CASCADE";
      else if (acceptWord("SET")) {
        expectWord("NULL", 908);
        rule->text = "SET NULL";
      } else {
        fail(905);
      }
      finish(rule);
    }
    k->kids.push_back(rule); // ON DELETE rule
  } else {
    fail(columnLevel ? 907 : 904);
  }
  while (acceptWord("ENABLE") || acceptWord("DISABLE") || acceptWord("DEFERRABLE") || acceptWord("INITIALLY") ||
         acceptWord("IMMEDIATE") || acceptWord("DEFERRED") || acceptWord("VALIDATE") || acceptWord("NOVALIDATE") ||
         acceptWord("RELY") || acceptWord("NORELY") || (isWord("USING") && peek(1).text == "INDEX") ||
         (isWord("NOT") && peek(1).text == "DEFERRABLE" && (i_ += 2, true))) {
    if (acceptWord("USING")) {
      ++i_;
      // the index's physical attributes
      for (;;) {
        if (isOp("(")) skipParens(); // STORAGE (...)
        else if (isWord("TABLESPACE") && peek(1).kind == Tok::QIdent)
          i_ += 2;
        else if (cur().kind == Tok::Ident && !isWord("ENABLE") && !isWord("DISABLE") && !isWord("CONSTRAINT") &&
                 !isWord("PRIMARY") && !isWord("UNIQUE") && !isWord("CHECK") && !isWord("FOREIGN") &&
                 !isWord("VALIDATE") && !isWord("NOVALIDATE"))
          i_ += peek(1).kind == Tok::Num ? 2 : 1;
        else
          break;
      }
    }
  }
  return finish(k);
}

} // namespace ora::sql
