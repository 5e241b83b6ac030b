// ALTER statements: USER, SESSION, SEQUENCE, INDEX, VIEW and TABLE.
#include "SqlParser.h"

namespace ora::sql {

// name IDENTIFIED BY password, as CREATE USER and ALTER USER write it: the two as kids of u,
// a quoted password marked by the alias '"'.
void Parser::userAndPassword(Node* u) {
  if (cur().kind != Tok::Ident && cur().kind != Tok::QIdent) fail(922);
  Node* nm = make(N::Name);
  nm->text = t_[i_++].text;
  u->kids.push_back(finish(nm));
  expectWord("IDENTIFIED", 922);
  expectWord("BY", 922);
  if (cur().kind != Tok::Ident && cur().kind != Tok::QIdent) fail(988);
  Node* pw = make(N::Name);
  pw->text = cur().text;
  pw->alias = cur().kind == Tok::QIdent ? "\"" : "";
  ++i_;
  u->kids.push_back(finish(pw));
}

// The user's storage and profile: DEFAULT | TEMPORARY TABLESPACE t, QUOTA n [K | M | G | T] |
// UNLIMITED ON t, PROFILE DEFAULT, DEFAULT ROLE ALL, ACCOUNT UNLOCK. This engine has one kind of
// storage, one profile, no locked accounts and every granted role enabled at logon, so these
// only need to be well formed and name what the dictionary shows.
void Parser::userStorage() {
  // the tablespaces the dictionary shows
  auto tablespace = [&](bool temporary) {
    if (cur().kind != Tok::Ident && cur().kind != Tok::QIdent) fail(922);
    const std::string& n = cur().text;
    bool permanent = n == "USERS" || n == "SYSTEM" || n == "SYSAUX";
    if (temporary && permanent) fail(12911);
    if (temporary ? n != "TEMP" : !permanent) fail(959, n);
    ++i_;
  };
  while (!atEnd()) {
    if (acceptWord("DEFAULT")) {
      if (acceptWord("TABLESPACE")) {
        tablespace(false);
      } else if (acceptWord("ROLE")) {
        // every granted role is a default one here
        if (!acceptWord("ALL") || isWord("EXCEPT")) fail(1031, "DEFAULT ROLE other than ALL is not supported by this engine");
      } else {
        fail(922);
      }
    } else if (acceptWord("TEMPORARY")) {
      expectWord("TABLESPACE", 922);
      tablespace(true);
    } else if (acceptWord("QUOTA")) {
      if (!acceptWord("UNLIMITED")) {
        if (cur().kind != Tok::Num) fail(922);
        ++i_;
        if (isWord("K") || isWord("M") || isWord("G") || isWord("T") || isWord("P") || isWord("E")) ++i_;
      }
      expectWord("ON", 922);
      tablespace(false);
    } else if (acceptWord("PROFILE")) {
      if (!isWord("DEFAULT")) fail(2380, cur().text);
      ++i_;
    } else if (acceptWord("ACCOUNT")) {
      expectWord("UNLOCK", 922);
    } else if (isWord("IDENTIFIED")) {
      ++i_;
      expectWord("BY", 922);
      if (cur().kind != Tok::Ident && cur().kind != Tok::QIdent) fail(988);
      ++i_;
    } else {
      fail(922);
    }
  }
}

Node* Parser::alter() {
  uint32_t at = cur().pos;
  ++i_;
  if (acceptWord("USER")) {
    Node* u = tree_.make(N::AlterUser, at);
    if (isWord("IDENTIFIED", 1)) {
      userAndPassword(u);
    } else {
      if (cur().kind != Tok::Ident && cur().kind != Tok::QIdent) fail(922);
      Node* nm = make(N::Name);
      nm->text = t_[i_++].text;
      u->kids.push_back(finish(nm));
      if (atEnd()) fail(922);
    }
    userStorage();
    return finish(u);
  }
  if (acceptWord("SESSION")) {
    // SET name = value ...; the names and values are checked where the statement is translated
    Node* s = tree_.make(N::Option, at);
    s->text = "SESSION";
    // parallel execution and resumable space allocation: one serial writer never waits on them
    if (isWord("ENABLE") || isWord("DISABLE") || isWord("FORCE")) {
      const bool force = isWord("FORCE");
      auto acceptNumber = [&] { return cur().kind == Tok::Num && ++i_; };
      ++i_;
      // commits in procedures are always allowed: only ENABLE, the default, is taken
      if (t_[i_ - 1].text == "ENABLE" && acceptWord("COMMIT")) {
        expectWord("IN", 922);
        expectWord("PROCEDURE", 922);
      } else if (acceptWord("PARALLEL")) {
        if (!acceptWord("DML") && !acceptWord("DDL") && !acceptWord("QUERY")) fail(922);
        if (force && acceptWord("PARALLEL") && !acceptNumber()) fail(922);
      } else if (!force && acceptWord("RESUMABLE")) {
        if (acceptWord("TIMEOUT") && !acceptNumber()) fail(922);
        if (acceptWord("NAME")) {
          if (cur().kind != Tok::Str) fail(922);
          ++i_;
        }
      } else
        fail(922);
      return finish(s);
    }
    // ADVISE for the in-doubt transactions of a distributed commit, CLOSE for a link's session
    if (acceptWord("ADVISE")) {
      if (!acceptWord("COMMIT") && !acceptWord("ROLLBACK") && !acceptWord("NOTHING")) fail(922);
      return finish(s);
    }
    if (acceptWord("CLOSE")) {
      expectWord("DATABASE", 922);
      expectWord("LINK", 922);
      if (cur().kind != Tok::Ident && cur().kind != Tok::QIdent) fail(922);
      ++i_;
      while (acceptOp(".")) {
        if (cur().kind != Tok::Ident && cur().kind != Tok::QIdent) fail(922);
        ++i_;
      }
      return finish(s);
    }
    expectWord("SET", 922);
    do {
      // a name, or an underscore parameter in quotes
      if (cur().kind != Tok::Ident && !(cur().kind == Tok::QIdent && cur().text.rfind('_', 0) == 0)) fail(922);
      Node* o = make(N::Option);
      o->text = t_[i_++].text;
      if (o->text == "ROW" && isWord("ARCHIVAL") && isWord("VISIBILITY", 1)) i_ += 2;
      if (o->text == "EVENTS" && cur().kind == Tok::Str) { // the event text follows without an equal sign
        ++i_;
        s->kids.push_back(finish(o));
        continue;
      }
      expectOp("=", 927);
      if (cur().kind != Tok::Str && cur().kind != Tok::Ident && cur().kind != Tok::QIdent && cur().kind != Tok::Num)
        fail(922);
      ++i_;
      s->kids.push_back(finish(o));
    } while (cur().kind == Tok::Ident);
    return finish(s);
  }
  if (acceptWord("SEQUENCE")) {
    // the options are checked where the statement is translated
    Node* s = tree_.make(N::Option, at);
    s->text = "SEQUENCE";
    s->kids.push_back(objectName(2277));
    while (cur().kind == Tok::Ident || cur().kind == Tok::Num || isOp("-")) ++i_;
    return finish(s);
  }
  if (acceptWord("INDEX")) {
    // the options are checked where the statement is translated
    Node* x = tree_.make(N::Option, at);
    x->text = "INDEX";
    x->kids.push_back(objectName(953));
    while (cur().kind == Tok::Ident || cur().kind == Tok::Num || cur().kind == Tok::QIdent || isOp(".") || isOp("("))
      if (isOp("(")) skipParens(); // STORAGE (...), ALLOCATE EXTENT (...)
      else ++i_;
    return finish(x);
  }
  if (acceptWord("VIEW")) {
    Node* v = tree_.make(N::Option, at);
    v->text = "VIEW";
    v->kids.push_back(objectName(903));
    expectWord("COMPILE", 940);
    return finish(v);
  }
  expectWord("TABLE", 940);
  Node* a = tree_.make(N::AlterTable, at);
  a->kids.push_back(objectName(903));
  Node* act = make(N::Option);
  if (cur().kind != Tok::Ident) fail(1735);
  act->text = t_[i_++].text;
  if (act->text == "ADD") {
    if (acceptOp("(")) {
      do {
        act->kids.push_back(tableElement(true));
      } while (acceptOp(","));
      expectOp(")", 907);
    } else {
      act->kids.push_back(tableElement(true));
    }
  } else if (act->text == "MODIFY" && (isWord("CONSTRAINT") || (isWord("PRIMARY") && isWord("KEY", 1)))) {
    // MODIFY CONSTRAINT name | PRIMARY KEY, then the constraint's new state
    Node* what = make(N::Option);
    constraintTarget(what);
    act->kids.push_back(finish(what));
    while (cur().kind == Tok::Ident) ++i_;
  } else if (act->text == "MODIFY") {
    if (acceptOp("(")) {
      do {
        act->kids.push_back(columnDef(true));
      } while (acceptOp(","));
      expectOp(")", 907);
    } else {
      act->kids.push_back(columnDef(true));
    }
  } else if (act->text == "DROP" || act->text == "SET") {
    Node* what = make(N::Option);
    if (act->text == "SET") expectWord("UNUSED", 1735);
    if (act->text == "DROP" && acceptWord("UNUSED")) {
      expectWord("COLUMNS", 905);
      what->text = "UNUSED";
    } else if (acceptWord("COLUMN")) {
      what->text = "COLUMN";
      Node* c = make(N::Name);
      c->text = name(904);
      what->kids.push_back(finish(c));
    } else if (acceptOp("(")) {
      what->text = "COLUMN";
      what->kids = nameList()->kids;
    } else if (act->text == "SET") {
      fail(904);
    } else {
      constraintTarget(what);
    }
    if (acceptWord("CASCADE")) acceptWord("CONSTRAINTS");
    act->kids.push_back(finish(what));
  } else if (act->text == "ENABLE" || act->text == "DISABLE") {
    acceptWord("VALIDATE") || acceptWord("NOVALIDATE");
    Node* what = make(N::Option);
    constraintTarget(what);
    acceptWord("CASCADE");
    if (act->text == "ENABLE" && acceptWord("EXCEPTIONS")) { // the table its rows in the way are listed in
      expectWord("INTO", 905);
      objectName(903);
    }
    act->kids.push_back(finish(what));
  } else if (act->text == "RENAME") {
    if (isWord("COLUMN") || isWord("CONSTRAINT")) {
      act->text = isWord("COLUMN") ? "RENAME COLUMN" : "RENAME CONSTRAINT";
      ++i_;
      Node* from = make(N::Name);
      from->text = name(904);
      act->kids.push_back(finish(from));
      expectWord("TO", 905);
    } else {
      expectWord("TO", 905);
    }
    Node* to = make(N::Name);
    to->text = name(act->text == "RENAME" ? 903 : 904);
    act->kids.push_back(finish(to));
  } else if (act->text == "READ") {
    if (!acceptWord("ONLY")) expectWord("WRITE", 1735);
  } else if (act->text == "SHRINK") {
    expectWord("SPACE", 1735);
    acceptWord("COMPACT");
    acceptWord("CASCADE");
  } else if (act->text == "ALLOCATE" || act->text == "DEALLOCATE") {
    // extents: the engine's storage grows and shrinks by itself
    if (act->text == "ALLOCATE") {
      expectWord("EXTENT", 1735);
      if (isOp("(")) skipParens();
    } else {
      expectWord("UNUSED", 1735);
      if (acceptWord("KEEP")) {
        if (cur().kind != Tok::Num) fail(2017);
        ++i_;
        if (isWord("K") || isWord("M") || isWord("G") || isWord("T")) ++i_;
      }
    }
  } else if (act->text == "MOVE" || (physicalWord(act->text) && act->text != "TABLESPACE")) {
    // storage attributes, or MOVE to another tablespace: the engine keeps its own storage
    if (act->text != "MOVE") --i_;
    physical();
    if (act->text == "MOVE") {
      acceptWord("ONLINE");
      if (acceptWord("UPDATE")) {
        acceptWord("GLOBAL");
        expectWord("INDEXES", 905);
      }
    }
  } else {
    failAt(1735, act->pos);
  }
  a->kids.push_back(finish(act));
  return finish(a);
}

} // namespace ora::sql
