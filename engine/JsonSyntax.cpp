// The syntax of the SQL/JSON functions and of IS [NOT] JSON: their clauses are words inside the
// call's parentheses, not arguments, so they are read here rather than by the general call.
#include "SqlParser.h"

#include "JsonFunctions.h"

#include <cstring>

namespace ora::sql {

namespace {
const char* const kJsonFunctions[] = {"JSON_VALUE", "JSON_QUERY", "JSON_EXISTS", "JSON_OBJECT",
                                      "JSON_ARRAY", "JSON_OBJECTAGG", "JSON_ARRAYAGG", "JSON_SERIALIZE",
                                      "JSON_SCALAR", "JSON_MERGEPATCH", "JSON_TRANSFORM", "JSON", "JSON_EQUAL"};
const char* const kTransformOps[] = {"REMOVE", "KEEP", "RENAME", "SET", "INSERT", "REPLACE", "APPEND"};
} // namespace

bool jsonFunction(const std::string& w) {
  for (const char* f : kJsonFunctions)
    if (w == f) return true;
  return false;
}

// RETURNING type: VARCHAR2[(n [BYTE|CHAR])], NUMBER[(p[,s])], DATE, CLOB.
void Parser::jsonReturning() {
  if (acceptWord("VARCHAR2") || acceptWord("NUMBER")) {
    if (acceptOp("(")) {
      if (cur().kind != Tok::Num) fail(910);
      ++i_;
      if (acceptOp(",")) {
        acceptOp("-"); // a negative scale rounds left of the point
        if (cur().kind != Tok::Num) fail(910);
        ++i_;
      }
      if (!acceptWord("BYTE")) acceptWord("CHAR");
      expectOp(")", 907);
    }
  } else if (acceptWord("BINARY_DOUBLE") || acceptWord("BINARY_FLOAT")) {
  } else if (acceptWord("TIMESTAMP")) {
    if (acceptOp("(")) {
      if (cur().kind != Tok::Num) fail(910);
      ++i_;
      expectOp(")", 907);
    }
  } else if (!acceptWord("DATE") && !acceptWord("CLOB") && !acceptWord("JSON")) {
    fail(902); // invalid datatype
  }
  acceptWord("TRUNCATE");
}

// ON ERROR / ON EMPTY / ON NULL and the other trailing clauses; false when none starts here.
bool Parser::jsonClause(const std::string& f) {
  auto onWhat = [&](bool nullToo) {
    expectWord("ON", 907);
    if (acceptWord("ERROR") || acceptWord("EMPTY") || (nullToo && acceptWord("NULL"))) return;
    fail(907);
  };
  const bool generation = f == "JSON_OBJECT" || f == "JSON_ARRAY" || f == "JSON_OBJECTAGG" || f == "JSON_ARRAYAGG";
  if (acceptWord("RETURNING")) {
    jsonReturning();
    return true;
  }
  if ((isWord("NULL") || isWord("ERROR") || isWord("TRUE") || isWord("FALSE") || isWord("ABSENT")) && isWord("ON", 1)) {
    ++i_;
    onWhat(generation);
    return true;
  }
  if (isWord("EMPTY") && (isWord("ON", 1) || isWord("ARRAY", 1) || isWord("OBJECT", 1))) {
    ++i_;
    if (!acceptWord("ARRAY")) acceptWord("OBJECT");
    onWhat(false);
    return true;
  }
  if (!generation && acceptWord("DEFAULT")) {
    expr();
    onWhat(false);
    return true;
  }
  if (isWord("WITH") || isWord("WITHOUT")) {
    ++i_;
    if (acceptWord("UNIQUE")) {
      expectWord("KEYS", 907);
      return true;
    }
    if (f != "JSON_QUERY") fail(907); // only JSON_QUERY wraps its result
    if (!acceptWord("CONDITIONAL")) acceptWord("UNCONDITIONAL");
    acceptWord("ARRAY");
    expectWord("WRAPPER", 907);
    return true;
  }
  return acceptWord("PRETTY") || acceptWord("ASCII") || acceptWord("STRICT") || acceptWord("LAX") ||
         acceptWord("ORDERED") || acceptWord("TRUNCATE");
}

// JSON_TRANSFORM's operations: op 'path' [= value [FORMAT JSON]] [handler ON MISSING|EXISTING...],
// KEEP naming one path or more.
void Parser::jsonTransformOps(Node* n) {
  while (acceptOp(",")) {
    bool known = false;
    for (const char* w : kTransformOps) known = known || isWord(w);
    if (!known) {
      if (jsonClause("JSON_TRANSFORM")) break;
      fail(907);
    }
    const bool keep = isWord("KEEP"), valued = !keep && !isWord("REMOVE");
    ++i_;
    do {
      if (cur().kind != Tok::Str) throw jsonError(40454).at(static_cast<int>(cur().pos));
      n->kids.push_back(primary());
    } while (keep && isOp(",") && peek(1).kind == Tok::Str && acceptOp(","));
    if (valued) {
      expectOp("=", 907);
      n->kids.push_back(jsonValueExpr());
    }
    while ((isWord("ERROR") || isWord("IGNORE") || isWord("CREATE") || isWord("REPLACE") || isWord("NULL")) &&
           isWord("ON", 1)) {
      i_ += 2;
      if (!acceptWord("MISSING") && !acceptWord("EXISTING")) fail(907);
    }
  }
}

// A value of the generation functions, with FORMAT JSON after it when it is JSON text.
Node* Parser::jsonValueExpr() {
  Node* v = value(expr());
  if (acceptWord("FORMAT")) expectWord("JSON", 907);
  return v;
}

Node* Parser::jsonCall() {
  DepthGuard g(exprDepth_, kMaxExprDepth, cur().pos);
  Node* n = make(N::Call);
  const std::string f = cur().text;
  n->text = f;
  i_ += 2;
  if (f == "JSON_VALUE" || f == "JSON_QUERY" || f == "JSON_EXISTS") {
    n->kids.push_back(jsonValueExpr());
    expectOp(",", 907);
    if (cur().kind != Tok::Str) throw jsonError(40454).at(static_cast<int>(cur().pos)); // the path is a literal
    n->kids.push_back(primary());
    // the path is the literal alone, not an expression that starts with one
    if (cur().kind == Tok::Op && !isOp(",") && !isOp(")"))
      throw jsonError(40454).at(static_cast<int>(n->kids.back()->pos));
    if (acceptWord("PASSING")) {
      // values for the path's $names
      do {
        n->kids.push_back(expr());
        expectWord("AS", 907);
        name(904);
      } while (acceptOp(","));
    }
  } else if (f == "JSON") {
    n->kids.push_back(jsonValueExpr());
  } else if (f == "JSON_EQUAL") {
    n->kids.push_back(jsonValueExpr());
    expectOp(",", 907);
    n->kids.push_back(jsonValueExpr());
  } else if (f == "JSON_SERIALIZE" || f == "JSON_SCALAR" || f == "JSON_MERGEPATCH" || f == "JSON_TRANSFORM") {
    n->kids.push_back(jsonValueExpr());
    if (f == "JSON_MERGEPATCH") {
      expectOp(",", 907);
      n->kids.push_back(jsonValueExpr());
    } else if (f == "JSON_TRANSFORM") {
      jsonTransformOps(n);
    }
  } else if (f == "JSON_OBJECT" && (isOp("*") || (isOp(".", 1) && isOp("*", 2))) ) {
    i_ += isOp("*") ? 1 : 3; // every column of the rows, or of one table's
  } else if (f == "JSON_OBJECT" || f == "JSON_OBJECTAGG") {
    while (!isOp(")")) {
      if (isWord("KEY") && !isWord("VALUE", 1) && !isOp(",", 1) && !isOp(")", 1)) ++i_;
      n->kids.push_back(value(expr()));
      if (acceptWord("VALUE") || acceptOp(":")) n->kids.push_back(jsonValueExpr());
      else if (f == "JSON_OBJECTAGG") fail(907);
      while (jsonClause(f)) {
      }
      if (f == "JSON_OBJECTAGG" || !acceptOp(",")) break;
    }
  } else if (f == "JSON_ARRAY" && isWord("SELECT")) {
    n->kids.push_back(query(true)); // an element for each row of the query
  } else { // JSON_ARRAY, JSON_ARRAYAGG
    while (!isOp(")")) {
      n->kids.push_back(jsonValueExpr());
      if (f == "JSON_ARRAYAGG" && isWord("ORDER")) n->kids.push_back(orderBy());
      while (jsonClause(f)) {
      }
      if (f == "JSON_ARRAYAGG" || !acceptOp(",")) break;
    }
    if (f == "JSON_ARRAYAGG" && n->kids.empty()) fail(936);
  }
  while (jsonClause(f)) {
  }
  expectOp(")", 907);
  return finish(n);
}

// JSON_TABLE(expr, 'path' [ON ERROR] COLUMNS (column, ...)) in FROM, as a table of that name.
Node* Parser::jsonTable() {
  DepthGuard g(exprDepth_, kMaxExprDepth, cur().pos);
  Node* n = make(N::Table);
  Node* table = make(N::Name);
  table->text = n->text = "JSON_TABLE";
  n->kids.push_back(finish(table));
  i_ += 2;
  value(expr());
  if (acceptWord("FORMAT")) expectWord("JSON", 907);
  expectOp(",", 907);
  if (cur().kind != Tok::Str) throw jsonError(40454).at(static_cast<int>(cur().pos));
  ++i_;
  while (jsonClause("JSON_QUERY")) {
  }
  jsonColumns();
  expectOp(")", 907);
  return finish(n);
}

// COLUMNS (column, ...): each a name with FOR ORDINALITY, or a type, FORMAT JSON, a wrapper,
// EXISTS, PATH and ON ERROR/EMPTY clauses; or NESTED [PATH] 'path' COLUMNS (...).
void Parser::jsonColumns() {
  DepthGuard g(exprDepth_, kMaxExprDepth, cur().pos);
  expectWord("COLUMNS", 907);
  expectOp("(", 906);
  do {
    if (acceptWord("NESTED")) {
      acceptWord("PATH");
      if (cur().kind != Tok::Str) throw jsonError(40454).at(static_cast<int>(cur().pos));
      ++i_;
      jsonColumns();
      continue;
    }
    name(904);
    if (acceptWord("FOR")) {
      expectWord("ORDINALITY", 907);
      continue;
    }
    if (isWord("VARCHAR2") || isWord("NUMBER") || isWord("DATE") || isWord("CLOB") || isWord("TIMESTAMP")) jsonReturning();
    for (;;) {
      if (acceptWord("FORMAT")) {
        expectWord("JSON", 907);
      } else if (acceptWord("EXISTS")) {
      } else if (acceptWord("PATH")) {
        if (cur().kind != Tok::Str) throw jsonError(40454).at(static_cast<int>(cur().pos));
        ++i_;
      } else if (!jsonClause("JSON_QUERY")) {
        break;
      }
    }
  } while (acceptOp(","));
  expectOp(")", 907);
}

// expr IS [NOT] JSON [STRICT|LAX] [WITH|WITHOUT UNIQUE KEYS], after IS.
Node* Parser::isJson(Node* n) {
  n->kind = N::IsNull;
  n->text = "JSON";
  if (acceptWord("NOT")) n->flags |= kNegated;
  expectWord("JSON", 908);
  // the kind of JSON: VALUE, OBJECT, ARRAY, SCALAR, or several in parentheses
  auto kind = [&] { return acceptWord("VALUE") || acceptWord("OBJECT") || acceptWord("ARRAY") || acceptWord("SCALAR"); };
  if (isOp("(") && (isWord("VALUE", 1) || isWord("OBJECT", 1) || isWord("ARRAY", 1) || isWord("SCALAR", 1))) {
    ++i_;
    while (kind()) acceptOp(",");
    expectOp(")", 907);
  } else {
    kind();
  }
  if (acceptWord("FORMAT")) expectWord("JSON", 907);
  if (!acceptWord("STRICT")) acceptWord("LAX");
  if ((isWord("ALLOW") || isWord("DISALLOW")) && isWord("SCALARS", 1)) i_ += 2;
  if (isWord("WITH") || isWord("WITHOUT")) {
    ++i_;
    expectWord("UNIQUE", 907);
    expectWord("KEYS", 907);
  }
  return finish(n);
}

} // namespace ora::sql
