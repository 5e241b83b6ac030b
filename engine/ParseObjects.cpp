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
  steps(n);
  return finish(n);
}

// .attribute and .method(...) steps after an object value; the methods' arguments become n's kids.
void Parser::steps(Node* n) {
  while (isOp(".") && (peek(1).kind == Tok::Ident || peek(1).kind == Tok::QIdent)) {
    i_ += 2;
    if (isOp("(")) {
      ++i_;
      if (!acceptOp(")")) {
        do n->kids.push_back(value(expr()));
        while (acceptOp(","));
        expectOp(")", 907);
      }
    }
  }
}

// A call's value with steps after it (a constructor's, a static method's, a function's object):
// one node over the call, so the call's own arguments stay its own.
Node* Parser::objectSteps(Node* call) {
  if (!isOp(".") || (peek(1).kind != Tok::Ident && peek(1).kind != Tok::QIdent)) return call;
  DepthGuard g(exprDepth_, kMaxExprDepth, cur().pos);
  Node* n = tree_.make(N::Call, call->pos);
  n->text = ".";
  n->kids.push_back(call);
  steps(n);
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
