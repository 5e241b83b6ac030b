// Recursive-descent parser of the Oracle statements the engine runs. Every syntax error is
// Oracle's error number with the byte offset of the token at fault (OraError::pos). Nesting is
// counted as it is parsed, so no text can run the parser out of stack.
#pragma once
#include "OraError.h"
#include "SqlAst.h"
#include "SqlLexer.h"

#include <functional>
#include <string>
#include <string_view>

namespace ora::sql {

// A word of a segment's physical attributes (TABLESPACE, PCTFREE, STORAGE, ...).
bool physicalWord(const std::string& w);

// Subqueries nested deeper than Oracle allows, and expressions nested deeper than any real
// statement, are refused with ORA-00935 before the parser recurses further.
constexpr int kMaxSubqueryDepth = 256; // the statement's own query and 255 nested subqueries
constexpr int kMaxExprDepth = 1000;
// The longest identifier any statement may hold, in bytes.
constexpr size_t kMaxNameBytes = 128;

// Parses one statement into `tree` (tree.root). Throws OraError.
Node* parse(std::string_view text, Tree& tree);

// Whether `parse` knows the statement's kind from its first words; the engine's other readers
// (stored PL/SQL units, blocks) take the rest.
bool parsedKind(const std::vector<Token>& toks);

// Whether a name is one of the SQL/JSON functions, whose clauses JsonSyntax.cpp reads.
bool jsonFunction(const std::string& upperName);
// Whether a name is one of the XML generation functions, whose clauses XmlSyntax.cpp reads.
bool xmlFunction(const std::string& upperName);
// XMLQUERY, XMLEXISTS, XMLCAST (XmlSyntax.cpp)
bool xmlReadFunction(const std::string& upperName);

// The first subquery inside an expression, or nullptr.
const Node* subqueryIn(const Node* n);

class Parser {
public:
  Parser(std::string_view text, std::vector<Token> toks, Tree& tree)
      : src_(text), t_(std::move(toks)), tree_(tree) {}
  Node* statement();
  // Whether a name (pkg.name when `qualifier` is given) is the schema's function, which may be
  // named without parentheses where no column may stand.
  using FunctionTest = std::function<bool(const std::string& qualifier, const std::string& name)>;
  FunctionTest schemaFunction;

private:
  friend struct DepthGuard;
  std::string_view src_;
  std::vector<Token> t_;
  Tree& tree_;
  size_t i_ = 0;
  int exprDepth_ = 0, queryDepth_ = 0;

  // tokens
  const Token& cur() const { return t_[i_]; }
  const Token& peek(size_t k = 1) const { return t_[std::min(i_ + k, t_.size() - 1)]; }
  bool atEnd() const { return cur().kind == Tok::End; }
  bool isWord(const char* w, size_t k = 0) const {
    const Token& t = peek(k);
    return t.kind == Tok::Ident && t.text == w;
  }
  bool isOp(const char* op, size_t k = 0) const {
    const Token& t = peek(k);
    return t.kind == Tok::Op && t.text == op;
  }
  bool acceptWord(const char* w) {
    if (!isWord(w)) return false;
    ++i_;
    return true;
  }
  bool acceptOp(const char* op) {
    if (!isOp(op)) return false;
    ++i_;
    return true;
  }
  void expectWord(const char* w, int code) {
    if (!acceptWord(w)) fail(code);
  }
  void expectOp(const char* op, int code) {
    if (!acceptOp(op)) fail(code);
  }
  [[noreturn]] void fail(int code, const std::string& detail = {}) const { failAt(code, cur().pos, detail); }
  [[noreturn]] static void failAt(int code, uint32_t pos, const std::string& detail = {}) {
    OraError e(code, detail);
    e.pos = static_cast<int>(pos);
    throw e;
  }
  Node* make(N kind) { return tree_.make(kind, cur().pos); }
  Node* finish(Node* n) {
    n->end = i_ > 0 ? t_[i_ - 1].end : n->pos;
    return n;
  }
  // An identifier usable as a name here: not a reserved word unless quoted.
  bool nameAt(size_t k = 0) const;
  // Reads a name; fails with `code` when there is none.
  std::string name(int code);
  // [schema.]name as a Name node (qualifier parts as kids).
  Node* objectName(int code);

  // expressions (ParseExpr.cpp)
  Node* expr();
  Node* condition(); // an expression that must be a condition (ORA-00920 otherwise)
  // An operand: REGEXP_LIKE, LNNVL, JSON_EXISTS and XMLEXISTS are conditions, no function it can name (ORA-00904).
  static Node* value(Node* e);
  Node* binary(int minPrec);
  Node* defaultOr();
  void constraintTarget(Node* what);
  void usingQualified(const Node* block, const Node* orderBy = nullptr) const;
  void outerMarkIn(const Node* on, int code = 25156) const;
  bool limitAhead() const;
  Node* unary();
  Node* primary();
  Node* predicate(Node* left);
  Node* call(Node* fname);
  void conversionDefault(Node* n);
  Node* caseExpr();
  Node* nameExpr();
  bool jsonSteps(int parts);
  void jsonColumns();
  Node* exprList(int closeCode); // "( e, e, ... )" after the "("
  Node* valueList();             // of IN or = ANY
  Node* typeSpec();
  bool builtinType(const std::string& name);
  bool builtinTypeAt();
  Node* castTypeSpec();
  // the SQL/JSON functions and IS JSON (JsonSyntax.cpp)
  Node* jsonCall();
  Node* jsonValueExpr();
  bool jsonClause(const std::string& f);
  void jsonReturning();
  void jsonTransformOps(Node* n);
  Node* isJson(Node* n);
  Node* jsonTable();
  // TREAT and IS OF type (ParseObjects.cpp)
  Node* treatCall();
  void steps(Node* n);
  void userStorage();
  Node* objectSteps(Node* call);
  Node* isOfType(Node* n);
  // the XML generation functions (XmlSyntax.cpp)
  Node* xmlCall();
  void xmlName();
  Node* xmlMethods(Node* n);
  void xmlPassing(Node* n);
  Node* xmlReadCall();
  Node* xmlTable();

  // queries (ParseQuery.cpp)
  Node* query(bool orderBy);
  Node* setExpr();
  // Whether the "(" k tokens ahead opens the first, parenthesized member of a set operation:
  // ((SELECT ...) UNION (SELECT ...)) is a query, not a parenthesized join or expression.
  bool parenQueryAhead(size_t k = 0) const;
  Node* selectBlock();
  Node* fromItem();
  Node* tableRef();
  Node* orderBy();
  void rowLimit(Node* q);
  void searchCycle(const Node* cte);
  void withReferences(const Node* with) const;
  bool tableAliasAt() const;

  // statements (ParseStatement.cpp)
  Node* insert();
  Node* update();
  Node* del();
  Node* create();
  Node* createTable();
  Node* tableElement(bool inAlter);
  Node* columnDef(bool modify);
  Node* constraint(bool columnLevel);
  void checkConstant(const Node* n);
  Node* nameList(bool distinct = false);
  void physical();
  void skipParens();
  Node* alter();
  void userAndPassword(Node* u);
  Node* drop();
  Node* simpleDdl();
};

// Counts one level of nesting for as long as it lives; throws ORA-00935 past the limit.
struct DepthGuard {
  DepthGuard(int& depth, int limit, uint32_t pos) : d(depth) {
    if (++d > limit) {
      --d;
      OraError e(935);
      e.pos = static_cast<int>(pos);
      throw e;
    }
  }
  ~DepthGuard() { --d; }
  int& d;
};

} // namespace ora::sql
