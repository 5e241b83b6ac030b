// The syntax of the XML generation functions: element and attribute names, AS aliases, ORDER BY
// and the XMLSERIALIZE and XMLROOT options are words inside the call, not arguments.
#include "SqlParser.h"

namespace ora::sql {

namespace {
const char* const kXmlFunctions[] = {"XMLELEMENT", "XMLFOREST", "XMLCONCAT",   "XMLAGG",  "XMLCOMMENT",   "XMLPI",
                                     "XMLCDATA",   "XMLSERIALIZE", "XMLROOT", "XMLCOLATTVAL", "XMLPARSE",
                                     "SYS_XMLGEN", "SYS_XMLAGG"};
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
    // EVALNAME expr: the name is the expression's value
    if (acceptWord("EVALNAME")) n->kids.push_back(value(expr()));
    else xmlName();
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
  } else if (f == "XMLFOREST" || f == "XMLCOLATTVAL") {
    do {
      n->kids.push_back(value(expr()));
      if (acceptWord("AS")) xmlName();
    } while (acceptOp(","));
  } else if (f == "SYS_XMLGEN" || f == "SYS_XMLAGG") {
    // the value, and an XMLFormat naming the element
    n->kids.push_back(value(expr()));
    if (acceptOp(",")) n->kids.push_back(value(expr()));
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
  } else if (f == "XMLPARSE") {
    if (!acceptWord("CONTENT") && !acceptWord("DOCUMENT")) fail(905);
    n->kids.push_back(value(expr()));
    acceptWord("WELLFORMED");
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
  return xmlMethods(n);
}

} // namespace ora::sql

namespace ora::sql {

bool xmlReadFunction(const std::string& w) { return w == "XMLQUERY" || w == "XMLEXISTS" || w == "XMLCAST"; }

namespace {
const char* const kXmlMethods[] = {"GETSTRINGVAL", "GETCLOBVAL", "GETNUMBERVAL", "EXTRACT", "EXISTSNODE"};
} // namespace

// The XMLType's methods after a value: x.getStringVal(), x.extract('/a').getNumberVal(), ...
Node* Parser::xmlMethods(Node* n) {
  for (;;) {
    if (!isOp(".") || !isOp("(", 2) || peek(1).kind != Tok::Ident) return objectSteps(n);
    bool method = false;
    for (const char* m : kXmlMethods) method = method || peek(1).text == m;
    if (!method) return objectSteps(n);
    DepthGuard g(exprDepth_, kMaxExprDepth, cur().pos);
    Node* m = tree_.make(N::Call, n->pos);
    m->text = peek(1).text;
    m->kids.push_back(n);
    i_ += 3;
    if (!acceptOp(")")) {
      do m->kids.push_back(value(expr()));
      while (acceptOp(","));
      expectOp(")", 907);
    }
    n = finish(m);
  }
}

// PASSING [BY VALUE] expr [AS name], expr AS name, ...
void Parser::xmlPassing(Node* n) {
  if (!acceptWord("PASSING")) return;
  if (acceptWord("BY")) expectWord("VALUE", 905);
  do {
    n->kids.push_back(value(expr()));
    if (acceptWord("AS")) name(904);
  } while (acceptOp(","));
}

// XMLQUERY('path' PASSING ... RETURNING CONTENT [NULL ON EMPTY]), XMLEXISTS('path' PASSING ...),
// XMLCAST(value AS type).
Node* Parser::xmlReadCall() {
  DepthGuard g(exprDepth_, kMaxExprDepth, cur().pos);
  Node* n = make(N::Call);
  const std::string f = cur().text;
  n->text = f;
  i_ += 2;
  if (f == "XMLCAST") {
    n->kids.push_back(value(expr()));
    expectWord("AS", 905);
    n->kids.push_back(castTypeSpec());
    expectOp(")", 907);
    return finish(n);
  }
  if (cur().kind != Tok::Str) fail(19102); // the query is a literal
  n->kids.push_back(primary());
  xmlPassing(n);
  if (f == "XMLQUERY" && acceptWord("RETURNING")) {
    if (!acceptWord("CONTENT")) expectWord("SEQUENCE", 905);
    if (acceptWord("NULL")) {
      expectWord("ON", 905);
      expectWord("EMPTY", 905);
    }
  }
  expectOp(")", 907);
  finish(n);
  return f == "XMLQUERY" ? xmlMethods(n) : n;
}

// XMLTABLE([XMLNAMESPACES(...),] 'path' [PASSING ...] [COLUMNS column, ...]) in FROM.
Node* Parser::xmlTable() {
  DepthGuard g(exprDepth_, kMaxExprDepth, cur().pos);
  Node* n = make(N::Table);
  Node* table = make(N::Name);
  table->text = n->text = "XMLTABLE";
  n->kids.push_back(finish(table));
  i_ += 2;
  if (isWord("XMLNAMESPACES") && isOp("(", 1)) {
    i_ += 2;
    do {
      if (acceptWord("DEFAULT")) {
        if (cur().kind != Tok::Str) fail(19102);
        ++i_;
        continue;
      }
      if (cur().kind != Tok::Str) fail(19102);
      ++i_;
      expectWord("AS", 905);
      name(904);
    } while (acceptOp(","));
    expectOp(")", 907);
    expectOp(",", 907);
  }
  if (cur().kind != Tok::Str) fail(19102);
  ++i_;
  xmlPassing(n);
  if (acceptWord("RETURNING")) {
    expectWord("SEQUENCE", 905);
    expectWord("BY", 905);
    expectWord("REF", 905);
  }
  if (acceptWord("COLUMNS")) {
    do {
      name(904);
      if (acceptWord("FOR")) {
        expectWord("ORDINALITY", 907);
        continue;
      }
      if (acceptWord("XMLTYPE")) {
        if (acceptOp("(")) {
          expectWord("SEQUENCE", 905);
          expectOp(")", 907);
          expectWord("BY", 905);
          expectWord("REF", 905);
        }
      } else {
        castTypeSpec();
      }
      if (acceptWord("PATH")) {
        if (cur().kind != Tok::Str) fail(19102);
        ++i_;
      }
      if (acceptWord("DEFAULT")) value(expr());
    } while (acceptOp(","));
  }
  expectOp(")", 907);
  return finish(n);
}

} // namespace ora::sql
