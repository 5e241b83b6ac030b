// The syntax of the XML generation functions: element and attribute names, AS aliases, ORDER BY
// and the XMLSERIALIZE and XMLROOT options are words inside the call, not arguments.
#include "SqlParser.h"

namespace ora::sql {

namespace {
const char* const kXmlFunctions[] = {"XMLELEMENT", "XMLFOREST", "XMLCONCAT", "XMLAGG",  "XMLCOMMENT",
                                     "XMLPI",      "XMLCDATA",  "XMLSERIALIZE", "XMLROOT"};
} // namespace

bool xmlFunction(const std::string& w) {
  for (const char* f : kXmlFunctions)
    if (w == f) return true;
  return false;
}

// An element, attribute or instruction name: an identifier, quoted to keep its case.
void Parser::xmlName() {
  if (cur().kind != Tok::Ident && cur().kind != Tok::QIdent) fail(931);
  ++i_;
}

Node* Parser::xmlCall() {
  DepthGuard g(exprDepth_, kMaxExprDepth, cur().pos);
  Node* n = make(N::Call);
  const std::string f = cur().text;
  n->text = f;
  i_ += 2;
  if (f == "XMLELEMENT" || f == "XMLPI") {
    if (isWord("NAME") && (peek(1).kind == Tok::Ident || peek(1).kind == Tok::QIdent)) ++i_;
    else if (isWord("EVALNAME")) fail(905);
    xmlName();
    while (acceptOp(",")) {
      if (f == "XMLELEMENT" && isWord("XMLATTRIBUTES") && isOp("(", 1)) {
        i_ += 2;
        do {
          n->kids.push_back(value(expr()));
          if (acceptWord("AS")) xmlName();
        } while (acceptOp(","));
        expectOp(")", 907);
        continue;
      }
      n->kids.push_back(value(expr()));
      if (f == "XMLPI") break;
    }
  } else if (f == "XMLFOREST") {
    do {
      n->kids.push_back(value(expr()));
      if (acceptWord("AS")) xmlName();
    } while (acceptOp(","));
  } else if (f == "XMLAGG") {
    n->kids.push_back(value(expr()));
    if (isWord("ORDER")) n->kids.push_back(orderBy());
  } else if (f == "XMLSERIALIZE") {
    if (!acceptWord("CONTENT") && !acceptWord("DOCUMENT")) fail(905);
    n->kids.push_back(value(expr()));
    if (acceptWord("AS")) {
      if (acceptWord("CLOB")) {
      } else if (acceptWord("VARCHAR2")) {
        if (acceptOp("(")) {
          if (cur().kind != Tok::Num) fail(910);
          ++i_;
          expectOp(")", 907);
        }
      } else {
        fail(902);
      }
    }
    if (acceptWord("VERSION")) {
      if (cur().kind != Tok::Str) fail(905);
      ++i_;
    }
    if (acceptWord("NO")) expectWord("INDENT", 905);
    else if (acceptWord("INDENT") && acceptWord("SIZE")) {
      expectOp("=", 905);
      if (cur().kind != Tok::Num) fail(905);
      ++i_;
    }
    if (acceptWord("HIDE") || acceptWord("SHOW")) expectWord("DEFAULTS", 905);
  } else if (f == "XMLROOT") {
    n->kids.push_back(value(expr()));
    expectOp(",", 907);
    expectWord("VERSION", 905);
    if (acceptWord("NO")) expectWord("VALUE", 905);
    else n->kids.push_back(value(expr()));
    if (acceptOp(",")) {
      expectWord("STANDALONE", 905);
      if (acceptWord("NO")) acceptWord("VALUE");
      else expectWord("YES", 905);
    }
  } else { // XMLCONCAT, XMLCOMMENT, XMLCDATA
    do n->kids.push_back(value(expr()));
    while (f == "XMLCONCAT" && acceptOp(","));
  }
  expectOp(")", 907);
  finish(n);
  // the XMLType's methods that give its text
  if (isOp(".") && (isWord("GETSTRINGVAL", 1) || isWord("GETCLOBVAL", 1)) && isOp("(", 2) && isOp(")", 3)) {
    i_ += 4;
    finish(n);
  }
  return n;
}

} // namespace ora::sql
