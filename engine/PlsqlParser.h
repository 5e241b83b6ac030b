// The PL/SQL block parser, shared by the files that read declarations and statements.
#pragma once
#include "OraError.h"
#include "PlsqlImpl.h"

#include <map>
#include <set>

namespace ora::pl::parse {

struct Parser {
  Unit& u;
  const std::vector<Tok>& t;
  size_t i = 0;
  bool unsized = false; // a parameter's type has no length
  std::set<std::string> typeNames; // the TYPEs declared so far
  std::set<std::string> cursorTypes; // of those, the REF CURSOR types
  std::vector<std::string> loopIndexes; // the enclosing FOR loops' indexes, which take no assignment
  std::vector<std::string> loopLabels;  // the enclosing loops' labels (empty for none): EXIT's targets
  std::vector<std::map<std::string, bool>> declared; // each open block's variables: constant or not
  std::map<std::string, TypeSpec> subtypes; // SUBTYPE name IS ...: the type it stands for
  bool routine = false; // the next block is a routine's own (it may be autonomous)
  explicit Parser(Unit& unit) : u(unit), t(unit.toks) {}

  bool is(size_t k, const char* w) const {
    return k < t.size() && (t[k].kind == T::Word || t[k].kind == T::Op) && t[k].text == w;
  }
  bool at(const char* w) const { return is(i, w); }
  [[noreturn]] void fail(size_t k) const {
    const Tok& x = t[k < t.size() ? k : t.size() - 1];
    std::string sym = x.kind == T::End                         ? "end-of-file"
                      : x.kind == T::Str || x.kind == T::Word ? x.text // a keyword or name in upper case
                                                              : u.src.substr(x.pos, x.end - x.pos);
    // the end of the text is met at its last character
    size_t pos = x.pos;
    if (x.kind == T::End)
      if (size_t last = u.src.find_last_not_of(" \t\r\n"); last != std::string::npos && last < pos) pos = last;
    OraError e(6550);
    e.text = "ORA-06550: " + where(u.src, pos) + ":\nPLS-00103: Encountered the symbol \"" + sym + "\"";
    e.pos = static_cast<int>(pos);
    throw e;
  }
  void expect(const char* w) {
    if (!at(w)) fail(i);
    ++i;
  }
  std::string name() {
    if (t[i].kind != T::Word && t[i].kind != T::QWord) fail(i);
    return t[i++].text;
  }
  // Tokens up to (not including) one of the words at depth 0.
  Range until(std::initializer_list<const char*> stops);
  Range expression(std::initializer_list<const char*> stops) {
    Range r = until(stops);
    if (r.empty()) fail(i);
    operands(r);
    return r;
  }
  // An operator with no operand after it ("p + ;", "x * )") is PLS-00103 at what follows it.
  void operands(Range r) const;

  TypeSpec type();
  TypeSpec datetimeType(const std::string& w);

  // PROCEDURE or FUNCTION name (parameters) [RETURN type], up to IS, AS or ";".
  std::shared_ptr<Sub> subHeader();
  // ACCESSIBLE BY (...), DEFAULT COLLATION ..., SHARING = ...: accepted and passed over
  bool accessClause();

  // TYPE name IS RECORD | TABLE OF | VARRAY; false for a kind not run here (REF CURSOR, ...)
  bool typeDecl(Decl& d);

  void declarations(Block& b, bool ownBlock = false);
  // SUBTYPE name IS type [RANGE lo..hi] [NOT NULL] (PlsqlSubtypes.cpp)
  void subtypeDecl();
  // A subtype's type, with the size or precision a declaration may add to an unconstrained one.
  TypeSpec subtypeUse(const std::string& name);

  std::shared_ptr<Block> block(bool declare);

  Stmts statements(std::initializer_list<const char*> stops);
  // A FOR loop's list of iteration controls (PlsqlIterate.cpp); false for one plain range or a
  // cursor, which the loop reads itself.
  bool iterationControls(Stmt& s);

  Stmts loopBody(std::unique_ptr<Stmt>& s);

  std::unique_ptr<Stmt> statement();

  // RETURNING expressions INTO variables at the end of a DML statement: the clause in `target`,
  // its expressions in `hi`, the variables in `conds`.
  void returning(Stmt& s);

  // name, or pkg.name
  std::string dotted() {
    std::string n = name();
    if (at(".")) {
      ++i;
      n += "." + name();
    }
    return n;
  }

  void cursorCall(Stmt& s);

  // USING [IN | OUT | IN OUT] argument, ...
  void usingList(Stmt& s);

  void intoList(Stmt& s);
};

} // namespace ora::pl::parse
