// The syntax of the object type conditions and expressions that are not calls: TREAT(expr AS
// type) with the attributes and method after it, and IS [NOT] OF [TYPE] (...).
#include "SqlParser.h"

namespace ora::sql {

// TREAT(expr AS [REF] [schema.]type), then perhaps .attribute ... or .method(...)
Node* Parser::treatCall() {
  DepthGuard g(exprDepth_, kMaxExprDepth, cur().pos);
  Node* n = make(N::Call);
  n->text = "TREAT";
  i_ += 2;
  n->kids.push_back(expr());
  expectWord("AS", 905);
  acceptWord("REF");
  Node* ty = make(N::TypeSpec);
  ty->text = name(902);
  if (acceptOp(".")) ty->text = name(902);
  n->kids.push_back(finish(ty));
  expectOp(")", 907);
  while (isOp(".") && (peek(1).kind == Tok::Ident || peek(1).kind == Tok::QIdent)) {
    i_ += 2;
    if (isOp("(")) {
      ++i_;
      if (!acceptOp(")")) {
        do n->kids.push_back(value(expr()));
        while (acceptOp(","));
        expectOp(")", 907);
      }
      break;
    }
  }
  return finish(n);
}

// expr IS [NOT] OF [TYPE] ([ONLY] type, ...), after IS [NOT]: the object's place in its type
// hierarchy
Node* Parser::isOfType(Node* n) {
  n->text = "OF";
  i_ += isOp("(", 1) ? 2 : 3;
  do {
    acceptWord("ONLY");
    Node* ty = make(N::TypeSpec);
    ty->text = name(902);
    if (acceptOp(".")) ty->text = name(902);
    n->kids.push_back(finish(ty));
  } while (acceptOp(","));
  expectOp(")", 907);
  return finish(n);
}

} // namespace ora::sql
