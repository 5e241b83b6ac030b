// DROP, RENAME, TRUNCATE, COMMENT and GRANT.
#include "SqlParser.h"

namespace ora::sql {

Node* Parser::drop() {
  Node* d = make(N::Drop);
  ++i_;
  if (cur().kind != Tok::Ident) fail(950);
  uint32_t what = cur().pos;
  d->text = t_[i_++].text;
  if ((d->text == "PACKAGE" || d->text == "TYPE") && acceptWord("BODY")) d->text += " BODY";
  if (d->text == "PUBLIC" && isWord("SYNONYM")) d->text = t_[i_++].text;
  static const char* const kinds[] = {"TABLE", "INDEX", "VIEW", "SEQUENCE", "TRIGGER", "PROCEDURE",
                                      "FUNCTION", "PACKAGE", "PACKAGE BODY", "USER", "SYNONYM", "TYPE",
                                      "TYPE BODY"};
  bool known = false;
  for (const char* k : kinds) known = known || d->text == k;
  if (!known) failAt(950, what);
  if (d->text == "USER") {
    if (cur().kind != Tok::Ident && cur().kind != Tok::QIdent) fail(922);
    Node* nm = make(N::Name);
    nm->text = t_[i_++].text;
    d->kids.push_back(finish(nm));
    if (acceptWord("CASCADE")) d->alias = "CASCADE";
    return finish(d);
  }
  d->kids.push_back(objectName(d->text == "INDEX" ? 953 : 903));
  if (d->text == "TABLE") {
    if (acceptWord("CASCADE")) expectWord("CONSTRAINTS", 905);
    acceptWord("PURGE");
  }
  if (d->text == "TYPE" && !acceptWord("FORCE")) acceptWord("VALIDATE");
  return finish(d);
}

Node* Parser::simpleDdl() {
  uint32_t at = cur().pos;
  std::string verb = t_[i_++].text;
  if (verb == "RENAME") {
    Node* r = tree_.make(N::Rename, at);
    r->kids.push_back(objectName(903));
    expectWord("TO", 946);
    r->kids.push_back(objectName(903));
    return finish(r);
  }
  if (verb == "TRUNCATE") {
    Node* t = tree_.make(N::Truncate, at);
    expectWord("TABLE", 3290);
    t->kids.push_back(objectName(903));
    if (acceptWord("DROP") || acceptWord("REUSE")) expectWord("STORAGE", 905);
    return finish(t);
  }
  if (verb == "COMMENT") {
    Node* c = tree_.make(N::Comment, at);
    expectWord("ON", 969);
    if (acceptWord("TABLE")) {
      c->text = "TABLE";
      c->kids.push_back(objectName(903));
    } else if (acceptWord("COLUMN")) {
      c->text = "COLUMN";
      c->kids.push_back(nameExpr());
      if (c->kids[0]->kind != N::Name || c->kids[0]->kids.empty()) failAt(904, c->kids[0]->pos);
    } else {
      fail(905);
    }
    expectWord("IS", 905);
    if (cur().kind != Tok::Str) fail(1780);
    Node* s = make(N::Str);
    s->text = t_[i_++].text;
    c->kids.push_back(finish(s));
    return finish(c);
  }
  // GRANT privilege [, privilege] [ON object] TO grantee [WITH ADMIN OPTION]
  Node* g = tree_.make(N::Grant, at);
  Node* privs = make(N::List);
  Node* priv = nullptr;
  while (!atEnd() && !isWord("TO") && !isWord("ON")) {
    if (acceptOp(",")) {
      if (!priv) fail(990);
      priv = nullptr;
      continue;
    }
    if (cur().kind != Tok::Ident) fail(990);
    if (!priv) {
      priv = make(N::Option);
      privs->kids.push_back(priv);
    }
    priv->text += (priv->text.empty() ? "" : " ") + t_[i_++].text;
  }
  if (privs->kids.empty()) fail(990);
  g->kids.push_back(finish(privs));
  if (acceptWord("ON")) {
    Node* on = objectName(903);
    on->alias = "ON";
    g->kids.push_back(on);
  } else {
    g->kids.push_back(nullptr);
  }
  expectWord("TO", 905);
  if (cur().kind != Tok::Ident && cur().kind != Tok::QIdent) fail(987);
  Node* to = make(N::Name);
  to->text = t_[i_++].text;
  g->kids.push_back(finish(to));
  // TO user IDENTIFIED BY password: the user's password, the user made when it is new
  if (acceptWord("IDENTIFIED")) {
    expectWord("BY", 905);
    if (cur().kind != Tok::Ident && cur().kind != Tok::QIdent) fail(988);
    ++i_;
  }
  if (acceptWord("WITH")) {
    expectWord("ADMIN", 905);
    expectWord("OPTION", 905);
  }
  return finish(g);
}

} // namespace ora::sql
