// Expressions and conditions, by precedence climbing: OR, AND, NOT, predicates, + - ||, * /,
// signs. Chains of one operator become one node with all their operands, so a thousand-term sum
// is a flat node, not a thousand-deep tree.
#include "LinguisticSort.h"
#include "SqlParser.h"
#include "OraFunctions.h"
#include "OraValues.h"
#include "SqlText.h"

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

namespace ora::sql {

namespace {

// Reserved words that still stand for a value.
bool pseudoColumn(const std::string& w) {
  return w == "ROWID" || w == "ROWNUM" || w == "SYSDATE" || w == "USER" || w == "UID" || w == "LEVEL";
}

bool compareOp(const Token& t) {
  if (t.kind != Tok::Op) return false;
  const std::string& s = t.text;
  return s == "=" || s == "<>" || s == "!=" || s == "^=" || s == "~=" || s == "<" || s == ">" || s == "<=" ||
         s == ">=";
}

bool isCondition(const Node* n) {
  switch (n->kind) {
  case N::Compare: case N::IsNull: case N::Like: case N::Between: case N::In: case N::Exists:
  case N::And: case N::Or: case N::Not:
  // a BOOLEAN value: a column, TRUE or FALSE, a bind, a choice or conversion of truths
  case N::Name: case N::Bind: case N::Case: case N::Cast:
    return true;
  case N::Call:
    // a condition written as a call, or a call of the schema's that may return a BOOLEAN
    return n->text == "REGEXP_LIKE" || n->text == "LNNVL" || n->text == "JSON_EXISTS" || n->text == "XMLEXISTS" || n->text == "JSON_EQUAL" ||
           n->text == "TO_BOOLEAN" || !n->alias.empty() || !functionAllowed(n->text.c_str(), false);
  default:
    return false;
  }
}

} // namespace

bool Parser::nameAt(size_t k) const {
  const Token& t = peek(k);
  return t.kind == Tok::QIdent || (t.kind == Tok::Ident && !reservedWord(t.text));
}

std::string Parser::name(int code) {
  if (!nameAt()) fail(code);
  return t_[i_++].text;
}

Node* Parser::objectName(int code) {
  Node* n = make(N::Name);
  n->text = name(code);
  if (isOp(".") && (peek(1).kind == Tok::Ident || peek(1).kind == Tok::QIdent)) {
    ++i_;
    Node* q = tree_.make(N::Name, n->pos);
    q->text = n->text;
    n->kids.push_back(q);
    n->text = name(code);
  }
  return finish(n);
}

Node* Parser::expr() { return binary(1); }

Node* Parser::value(Node* e) {
  if (e->kind == N::Call && e->alias.empty() && (e->text == "REGEXP_LIKE" || e->text == "LNNVL" || e->text == "JSON_EXISTS" ||
                                                  e->text == "XMLEXISTS" || e->text == "JSON_EQUAL"))
    failAt(904, e->pos, e->text);
  return e;
}

Node* Parser::condition() {
  Node* c = expr();
  // a value straight after a lone name wants an operator between them
  if (!isCondition(c) || (c->kind == N::Name && (cur().kind == Tok::Num || cur().kind == Tok::Str))) fail(920);
  return c;
}

Node* Parser::binary(int minPrec) {
  Node* left;
  if (isWord("NOT") && minPrec <= 3) {
    DepthGuard g(exprDepth_, kMaxExprDepth, cur().pos);
    Node* n = make(N::Not);
    ++i_;
    Node* operand = binary(3);
    n->kids.push_back(operand);
    left = finish(n);
  } else {
    left = unary();
  }
  bool predicated = false;
  for (;;) {
    const Token& t = cur();
    if (t.kind == Tok::Ident && t.text == "OR" && minPrec <= 1) {
      Node* n = tree_.make(N::Or, left->pos);
      n->kids.push_back(left);
      while (acceptWord("OR")) n->kids.push_back(binary(2));
      left = finish(n);
    } else if (t.kind == Tok::Ident && t.text == "AND" && minPrec <= 2) {
      Node* n = tree_.make(N::And, left->pos);
      n->kids.push_back(left);
      while (acceptWord("AND")) n->kids.push_back(binary(3));
      left = finish(n);
    } else if (minPrec <= 4 && !predicated &&
               (compareOp(t) || isWord("LIKE") || isWord("BETWEEN") || isWord("IN") || isWord("IS") ||
                (isWord("NOT") && (isWord("LIKE", 1) || isWord("BETWEEN", 1) || isWord("IN", 1))))) {
      left = predicate(left);
      predicated = true;
    } else if (minPrec <= 5 && t.kind == Tok::Op && (t.text == "+" || t.text == "-" || t.text == "||")) {
      // one node per run of the same kind: || on its own, + and - together
      bool concat = t.text == "||";
      Node* n = tree_.make(concat ? N::Concat : N::Arith, left->pos);
      n->kids.push_back(value(left));
      while (cur().kind == Tok::Op && (concat ? cur().text == "||" : (cur().text == "+" || cur().text == "-"))) {
        if (!concat) n->text += cur().text;
        ++i_;
        n->kids.push_back(value(binary(6)));
      }
      left = finish(n);
    } else if (minPrec <= 6 && t.kind == Tok::Op && (t.text == "*" || t.text == "/")) {
      Node* n = tree_.make(N::Arith, left->pos);
      n->kids.push_back(value(left));
      while (cur().kind == Tok::Op && (cur().text == "*" || cur().text == "/")) {
        n->text += cur().text;
        ++i_;
        n->kids.push_back(value(unary()));
      }
      left = finish(n);
    } else {
      break;
    }
  }
  return left;
}

Node* Parser::predicate(Node* left) {
  bool negated = false;
  Node* n = tree_.make(N::Compare, left->pos);
  n->kids.push_back(value(left));
  if (compareOp(cur())) {
    std::string op = cur().text;
    if (op == "!=" || op == "^=" || op == "~=") op = "<>";
    n->text = op;
    ++i_;
    if (acceptWord("ANY") || acceptWord("SOME")) n->flags |= kAny;
    else if (acceptWord("ALL")) n->flags |= kAll;
    if (n->flags & (kAny | kAll)) {
      if (atEnd()) fail(936); // the list or subquery is missing altogether
      expectOp("(", 906);
      if (isWord("SELECT") || isWord("WITH") || parenQueryAhead()) {
        Node* s = make(N::Subquery);
        s->kids.push_back(query(false));
        expectOp(")", 907);
        n->kids.push_back(finish(s));
      } else {
        n->kids.push_back(valueList());
      }
    } else {
      n->kids.push_back(value(binary(5)));
    }
    return finish(n);
  }
  if (acceptWord("IS")) {
    if (isWord("JSON") || (isWord("NOT") && isWord("JSON", 1))) return isJson(n);
    n->kind = N::IsNull;
    if (acceptWord("NOT")) n->flags |= kNegated;
    if (isWord("OF") && (isOp("(", 1) || (isWord("TYPE", 1) && isOp("(", 2)))) return isOfType(n);
    // the floating-point conditions, IS [NOT] NAN and IS [NOT] INFINITE; a REF's IS [NOT] DANGLING
    if (!acceptWord("NAN") && !acceptWord("INFINITE") && !acceptWord("DANGLING") && !acceptWord("TRUE") &&
        !acceptWord("FALSE"))
      expectWord("NULL", 908);
    return finish(n);
  }
  if (acceptWord("NOT")) negated = true;
  if (acceptWord("LIKE")) {
    n->kind = N::Like;
    n->kids.push_back(binary(5));
    if (acceptWord("ESCAPE")) n->kids.push_back(binary(5));
  } else if (acceptWord("BETWEEN")) {
    n->kind = N::Between;
    n->kids.push_back(binary(5));
    expectWord("AND", 905);
    n->kids.push_back(binary(5));
  } else {
    expectWord("IN", 905);
    n->kind = N::In;
    if (!isOp("(")) fail(906);
    if (isWord("SELECT", 1) || isWord("WITH", 1) || parenQueryAhead(1)) {
      ++i_;
      Node* s = make(N::Subquery);
      s->kids.push_back(query(false));
      expectOp(")", 907);
      n->kids.push_back(finish(s));
    } else {
      ++i_;
      n->kids.push_back(valueList());
    }
  }
  if (negated) n->flags |= kNegated;
  return finish(n);
}

// The list of IN or = ANY, after "(": Oracle takes at most 1000 expressions.
Node* Parser::valueList() {
  Node* l = exprList(907);
  if (l->kids.size() > 1000) failAt(1795, l->kids[1000]->pos);
  return l;
}

// After "(": expressions up to the ")".
Node* Parser::exprList(int closeCode) {
  Node* l = tree_.make(N::List, t_[i_ - 1].pos);
  do {
    l->kids.push_back(expr());
  } while (acceptOp(","));
  expectOp(")", closeCode);
  return finish(l);
}

Node* Parser::unary() {
  const Token& t = cur();
  if (t.kind == Tok::Op && (t.text == "-" || t.text == "+")) {
    DepthGuard g(exprDepth_, kMaxExprDepth, t.pos);
    Node* n = make(t.text == "-" ? N::Neg : N::Plus);
    ++i_;
    n->kids.push_back(unary());
    return finish(n);
  }
  if (t.kind == Tok::Ident && (t.text == "PRIOR" || t.text == "CONNECT_BY_ROOT")) {
    DepthGuard g(exprDepth_, kMaxExprDepth, t.pos);
    Node* n = make(N::Prior);
    ++i_;
    n->kids.push_back(unary());
    return finish(n);
  }
  Node* v = primary();
  // value AT TIME ZONE zone | AT LOCAL: the same instant in another zone
  while (isWord("AT") && ((isWord("TIME", 1) && isWord("ZONE", 2)) || isWord("LOCAL", 1))) {
    Node* n = make(N::Call);
    n->text = "AT TIME ZONE";
    n->kids.push_back(v);
    bool local = isWord("LOCAL", 1);
    i_ += local ? 2 : 3;
    if (!local) n->kids.push_back(primary());
    v = finish(n);
  }
  // value COLLATE collation: the order and equality its comparisons use
  if (isWord("COLLATE") && (peek(1).kind == Tok::Ident || peek(1).kind == Tok::QIdent)) {
    ++i_;
    const Token& c = t_[i_++];
    if (!fn::knownCollation(c.text)) {
      OraError e(12746);
      e.text = "ORA-12746: unrecognized collation name \"" + c.text + "\"";
      throw e.at(static_cast<int>(c.pos));
    }
  }
  return v;
}

Node* Parser::primary() {
  const Token& t = cur();
  switch (t.kind) {
  case Tok::Num: {
    Node* n = make(N::Num);
    n->text = t.text;
    ++i_;
    return finish(n);
  }
  case Tok::Str: {
    Node* n = make(N::Str);
    n->text = t.text;
    ++i_;
    return finish(n);
  }
  case Tok::Bind: {
    Node* n = make(N::Bind);
    n->text = t.text;
    for (auto& c : n->text)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    ++i_;
    if (isOp(".") && (peek(1).kind == Tok::Ident || peek(1).kind == Tok::QIdent)) {
      // :NEW.column in a trigger body
      ++i_;
      Node* col = tree_.make(N::Name, n->pos);
      col->text = t_[i_++].text;
      col->kids.push_back(finish(n));
      return finish(col);
    }
    return finish(n);
  }
  case Tok::Op:
    if (t.text == "(") {
      DepthGuard g(exprDepth_, kMaxExprDepth, t.pos);
      uint32_t open = t.pos;
      ++i_;
      if (isWord("SELECT") || isWord("WITH") || parenQueryAhead()) {
        Node* s = tree_.make(N::Subquery, open);
        s->kids.push_back(query(false));
        expectOp(")", 907);
        return finish(s);
      }
      Node* e = expr();
      if (isOp(",")) {
        Node* row = tree_.make(N::Row, open);
        row->kids.push_back(e);
        while (acceptOp(",")) row->kids.push_back(expr());
        expectOp(")", 907);
        return finish(row);
      }
      expectOp(")", 907);
      e->flags |= kParens;
      e->pos = open; // the node's text takes its parentheses in
      return finish(e);
    }
    fail(936);
  case Tok::End:
    fail(936);
  case Tok::QIdent:
    return nameExpr();
  case Tok::Ident:
    break;
  }
  const std::string& w = t.text;
  if (w == "NULL") {
    Node* n = make(N::Null);
    ++i_;
    return finish(n);
  }
  if (w == "CASE") return caseExpr();
  if (w == "EXISTS" && isOp("(", 1)) {
    DepthGuard g(exprDepth_, kMaxExprDepth, t.pos);
    Node* n = make(N::Exists);
    i_ += 2;
    if (!isWord("SELECT") && !isWord("WITH")) fail(928);
    n->kids.push_back(query(false));
    expectOp(")", 907);
    return finish(n);
  }
  if (w == "CURSOR" && isOp("(", 1) && (peek(2).kind == Tok::Ident && (peek(2).text == "SELECT" || peek(2).text == "WITH"))) {
    // CURSOR (subquery): a nested cursor, its rows read by whoever receives it
    DepthGuard g(exprDepth_, kMaxExprDepth, t.pos);
    Node* n = make(N::Call);
    n->text = "CURSOR";
    ++i_;
    Node* s = tree_.make(N::Subquery, cur().pos);
    ++i_;
    s->kids.push_back(query(true));
    expectOp(")", 907);
    finish(s);
    n->kids.push_back(s);
    return finish(n);
  }
  if (w == "INTERVAL" && peek(1).kind == Tok::Str) {
    // INTERVAL '...' unit [(p)] [TO unit [(p)]]
    Node* n = make(N::DateLit);
    n->text = peek(1).text;
    n->alias = "INTERVAL";
    i_ += 2;
    auto unit = [&] {
      static const char* const units[] = {"YEAR", "MONTH", "DAY", "HOUR", "MINUTE", "SECOND"};
      bool ok = false;
      for (const char* u : units) ok = ok || isWord(u);
      if (!ok) fail(30089);
      ++i_;
      if (acceptOp("(")) {
        if (cur().kind != Tok::Num) fail(30088);
        ++i_;
        if (acceptOp(",")) ++i_;
        expectOp(")", 907);
      }
    };
    unit();
    if (acceptWord("TO")) unit();
    return finish(n);
  }
  if ((w == "DATE" || w == "TIMESTAMP") && peek(1).kind == Tok::Str) {
    Node* n = make(N::DateLit);
    n->text = peek(1).text;
    i_ += 2;
    return finish(n);
  }
  if (w == "EXTRACT" && isOp("(", 1)) {
    DepthGuard g(exprDepth_, kMaxExprDepth, t.pos);
    Node* n = make(N::Call);
    n->text = w;
    i_ += 2;
    static const char* const fields[] = {"YEAR", "MONTH", "DAY", "HOUR", "MINUTE", "SECOND",
                                         "TIMEZONE_HOUR", "TIMEZONE_MINUTE", "TIMEZONE_REGION", "TIMEZONE_ABBR"};
    bool field = false;
    for (const char* f : fields) field = field || (isWord(f) && !isOp(",", 1) && !isOp(".", 1));
    if (!field) {
      // EXTRACT(xml, path [, namespaces])
      do n->kids.push_back(value(expr()));
      while (acceptOp(","));
      expectOp(")", 907);
      if (n->kids.size() < 2) failAt(938, n->pos);
      if (n->kids.size() > 3) failAt(939, n->pos);
      return xmlMethods(finish(n));
    }
    Node* f = make(N::Str);
    f->text = t_[i_++].text;
    n->kids.push_back(finish(f));
    expectWord("FROM", 905);
    n->kids.push_back(expr());
    expectOp(")", 907);
    return finish(n);
  }
  if (w == "CAST" && isOp("(", 1)) {
    DepthGuard g(exprDepth_, kMaxExprDepth, t.pos);
    Node* n = make(N::Cast);
    i_ += 2;
    n->kids.push_back(expr());
    expectWord("AS", 905);
    n->kids.push_back(castTypeSpec());
    conversionDefault(n);
    while (acceptOp(",")) n->kids.push_back(expr()); // the model and the NLS settings
    expectOp(")", 907);
    return finish(n);
  }
  if (w == "TREAT" && isOp("(", 1)) return treatCall();
  if (w == "VALIDATE_CONVERSION" && isOp("(", 1)) {
    // VALIDATE_CONVERSION(expr AS type [, model [, nls]])
    DepthGuard g(exprDepth_, kMaxExprDepth, t.pos);
    Node* n = make(N::Call);
    n->text = w;
    i_ += 2;
    n->kids.push_back(expr());
    expectWord("AS", 905);
    n->kids.push_back(typeSpec());
    while (acceptOp(",")) n->kids.push_back(expr());
    expectOp(")", 907);
    return finish(n);
  }
  if (w == "TRIM" && isOp("(", 1)) {
    DepthGuard g(exprDepth_, kMaxExprDepth, t.pos);
    Node* n = make(N::Trim);
    i_ += 2;
    if (isWord("LEADING") || isWord("TRAILING") || isWord("BOTH")) n->text = t_[i_++].text;
    Node* first = isWord("FROM") ? nullptr : expr();
    if (acceptWord("FROM")) {
      if (n->text.empty()) n->text = "BOTH";
      n->kids.push_back(first);
      n->kids.push_back(expr());
    } else {
      if (!n->text.empty() || !first) fail(936);
      n->kids.push_back(nullptr);
      n->kids.push_back(first);
    }
    expectOp(")", 907);
    return finish(n);
  }
  if (isOp("(", 1) && jsonFunction(w)) return jsonCall();
  if (isOp("(", 1) && xmlFunction(w)) return xmlCall();
  if (isOp("(", 1) && xmlReadFunction(w)) return xmlReadCall();
  if (reservedWord(w) && !pseudoColumn(w)) fail(936);
  return nameExpr();
}

// A column, t.column, schema.t.column, t.*, sequence.NEXTVAL, or a function call.
Node* Parser::nameExpr() {
  Node* n = make(N::Name);
  n->text = t_[i_++].text;
  int parts = 1;
  while (isOp(".") || (parts >= 2 && isOp("["))) {
    if (jsonSteps(parts)) return finish(n);
    const Token& nx = peek(1);
    if (nx.kind == Tok::Op && nx.text == "*") {
      i_ += 2;
      n->kind = N::Star;
      Node* q = tree_.make(N::Name, n->pos);
      q->text = n->text;
      q->kids = std::move(n->kids);
      n->kids.assign(1, finish(q));
      n->text.clear();
      return finish(n);
    }
    if (nx.kind != Tok::Ident && nx.kind != Tok::QIdent) fail(nx.kind == Tok::End ? 936 : 904);
    if (nx.kind == Tok::Ident && reservedWord(nx.text) && nx.text != "ROWID") failAt(1747, nx.pos);
    Node* q = tree_.make(N::Name, n->pos);
    q->text = n->text;
    q->kids = std::move(n->kids);
    n->kids.assign(1, finish(q));
    n->text = nx.text;
    i_ += 2;
    ++parts;
  }
  if (isOp("(")) {
    // (+) after a column marks Oracle's outer join
    if (isOp("+", 1) && isOp(")", 2)) {
      i_ += 3;
      n->flags |= kOuterMark;
      return finish(n);
    }
    return xmlMethods(call(n));
  }
  return finish(n);
}

// After alias.column (or alias.column.field), a JSON dot notation's array steps ([0], [*], [1 to last]) and a
// trailing item method (.size(), .number()) are part of the name; the translator reads them.
bool Parser::jsonSteps(int parts) {
  if (parts < 2) return false;
  auto method = [&](size_t k) {
    const Token& m = t_[i_ + k];
    static const std::set<std::string> names = {"ABS", "AVG", "BOOLEAN", "CEILING", "COUNT", "DATE", "DOUBLE",
                                                "FLOAT", "FLOOR", "LENGTH", "LOWER", "MAXNUMBER", "MAXSTRING",
                                                "MINNUMBER", "MINSTRING", "NUMBER", "SIZE", "STRING", "SUM",
                                                "TIMESTAMP", "TYPE", "UPPER"};
    return (m.kind == Tok::Ident && names.count(m.text) && t_[i_ + k + 1].kind == Tok::Op && t_[i_ + k + 1].text == "(" &&
            t_[i_ + k + 2].kind == Tok::Op && t_[i_ + k + 2].text == ")");
  };
  if (!isOp("[") && !(parts >= 3 && isOp(".") && method(1))) return false;
  for (;;) {
    if (isOp("[")) {
      ++i_;
      while (!isOp("]")) {
        if (cur().kind == Tok::End) fail(907);
        ++i_;
      }
      ++i_;
    } else if (isOp(".") && method(1)) {
      i_ += 4; // an item method ends the chain
      return true;
    } else if (isOp(".") && (peek(1).kind == Tok::Ident || peek(1).kind == Tok::QIdent)) {
      i_ += 2;
    } else {
      return true;
    }
  }
}

// DEFAULT expr ON CONVERSION ERROR after the value of CAST, TO_NUMBER or TO_DATE.
void Parser::conversionDefault(Node* n) {
  if (!acceptWord("DEFAULT")) return;
  n->kids.push_back(expr());
  expectWord("ON", 905);
  expectWord("CONVERSION", 905);
  expectWord("ERROR", 905);
}

Node* Parser::caseExpr() {
  DepthGuard g(exprDepth_, kMaxExprDepth, cur().pos);
  Node* n = make(N::Case);
  ++i_;
  n->kids.push_back(isWord("WHEN") ? nullptr : expr()); // the operand of a simple CASE
  Node* els = nullptr;
  if (!isWord("WHEN")) fail(905);
  while (isWord("WHEN")) {
    Node* w = make(N::When);
    ++i_;
    w->kids.push_back(n->kids[0] ? expr() : condition());
    expectWord("THEN", 905);
    w->kids.push_back(expr());
    n->kids.push_back(finish(w));
  }
  if (acceptWord("ELSE")) els = expr();
  expectWord("END", 905);
  n->kids.push_back(els); // the last kid is ELSE, nullptr when absent
  return finish(n);
}

// CAST names no LONG type, and its lengths keep the limits of a column's
Node* Parser::castTypeSpec() {
  if (isWord("XMLTYPE") || (isWord("SYS") && isOp(".", 1) && isWord("XMLTYPE", 2))) {
    Node* x = make(N::TypeSpec);
    x->text = "XMLTYPE";
    i_ += isWord("SYS") ? 3 : 1;
    return finish(x);
  }
  Node* n = typeSpec();
  if (n->text == "LONG" || n->text == "LONG RAW") failAt(902, n->pos, n->text);
  if (n->kids.empty() || n->kids[0]->text == "*") return n;
  const Node* len = n->kids[0];
  const long a = std::atol(len->text.c_str());
  const std::string& tn = n->text;
  const bool text = tn == "VARCHAR2" || tn == "VARCHAR" || tn == "NVARCHAR2" || tn == "CHAR" || tn == "NCHAR";
  if ((text || tn == "RAW") && a == 0) failAt(1723, len->pos);
  if (text && a > (tn == "CHAR" || tn == "NCHAR" ? 2000 : 4000)) failAt(910, len->pos);
  if (tn == "RAW" && a > 2000) failAt(910, len->pos);
  if ((tn == "NUMBER" || tn == "NUMERIC" || tn == "DECIMAL" || tn == "DEC") && (a == 0 || a > 38))
    failAt(1727, len->pos);
  return n;
}

bool Parser::builtinType(const std::string& name) {
  static const char* const known[] = {"VARCHAR2", "VARCHAR", "NVARCHAR2", "CHAR", "NCHAR", "NUMBER", "NUMERIC",
                                      "DECIMAL", "DEC", "INTEGER", "INT", "SMALLINT", "FLOAT", "REAL",
                                      "DOUBLE PRECISION", "DATE", "RAW", "LONG", "LONG RAW", "ROWID",
                                      "BINARY_FLOAT", "BINARY_DOUBLE", "CLOB", "NCLOB", "BLOB", "TIMESTAMP", "INTERVAL",
                                      "BOOLEAN"};
  for (const char* k : known)
    if (name == k) return true;
  return false;
}

// Whether the type name at the current token is one of Oracle's own (of one or more words).
bool Parser::builtinTypeAt() {
  auto word = [&](size_t k) { return peek(k).kind == Tok::Ident ? peek(k).text : std::string(); };
  int used = 1;
  return builtinType(typeSynonym(cur().text, word(1), word(2), used));
}

Node* Parser::typeSpec() {
  if (cur().kind != Tok::Ident) fail(902);
  Node* n = make(N::TypeSpec);
  auto word = [&](size_t k) { return peek(k).kind == Tok::Ident ? peek(k).text : std::string(); };
  int used = 1;
  n->text = typeSynonym(cur().text, word(1), word(2), used);
  i_ += static_cast<size_t>(used);
  if (n->text == "TIMESTAMP") {
    // TIMESTAMP[(p)] [WITH [LOCAL] TIME ZONE]
    if (acceptOp("(")) {
      Node* a = make(N::Num);
      if (cur().kind != Tok::Num) fail(30088);
      a->text = cur().text;
      if (std::atol(a->text.c_str()) > 9 || a->text.find('.') != std::string::npos) fail(30088);
      ++i_;
      n->kids.push_back(finish(a));
      expectOp(")", 907);
    }
    if (acceptWord("WITH")) {
      acceptWord("LOCAL");
      if (!acceptWord("TIME")) fail(905);
      if (!acceptWord("ZONE")) fail(905);
      n->alias = "ZONE";
    }
    return finish(n);
  }
  if (n->text == "INTERVAL") {
    // INTERVAL YEAR[(p)] TO MONTH, INTERVAL DAY[(p)] TO SECOND[(s)]; the translator checks the digits
    bool ym = acceptWord("YEAR");
    if (!ym && !acceptWord("DAY")) fail(902);
    for (int part = 0; part < 2; ++part) {
      if (part == 1 && !acceptWord(ym ? "MONTH" : "SECOND")) fail(905);
      if ((part == 0 || !ym) && acceptOp("(")) {
        if (cur().kind != Tok::Num) fail(30088);
        ++i_;
        expectOp(")", 907);
      }
      if (part == 0 && !acceptWord("TO")) fail(905);
    }
    return finish(n);
  }
  if (!builtinType(n->text)) failAt(902, n->pos, n->text);
  // these have no default length
  bool sized = n->text == "VARCHAR2" || n->text == "VARCHAR" || n->text == "NVARCHAR2" || n->text == "RAW";
  if (sized && !isOp("(")) fail(906);
  if (acceptOp("(")) {
    Node* a = make(N::Num);
    if (!isOp("*") && cur().kind != Tok::Num) fail(902);
    a->text = cur().text;
    ++i_;
    n->kids.push_back(finish(a));
    if (isWord("BYTE") || isWord("CHAR")) n->alias = t_[i_++].text;
    if (acceptOp(",")) {
      Node* s = make(N::Num);
      bool neg = acceptOp("-");
      if (!neg) acceptOp("+");
      if (cur().kind != Tok::Num) fail(902);
      s->text = (neg ? "-" : "") + t_[i_++].text;
      n->kids.push_back(finish(s));
    }
    expectOp(")", 907);
  }
  return finish(n);
}

} // namespace ora::sql
