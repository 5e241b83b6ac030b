// A statement's tokens with the look-ups the engine's statement rewriters share: words,
// operators and names at an index, the ")" that closes a "(", a range of tokens as written.
#pragma once
#include "OraError.h"
#include "SqlLexer.h"

#include <cctype>
#include <set>
#include <string>
#include <vector>

namespace ora::sql {

struct TokenList {
  const std::string& text;
  std::vector<Token> t;
  bool ok = false; // false when the text does not tokenize

  explicit TokenList(const std::string& s) : text(s) {
    try {
      t = lex(s);
      ok = true;
    } catch (const OraError&) {
    }
  }
  bool op(size_t i, const char* o) const { return i < t.size() && t[i].kind == Tok::Op && t[i].text == o; }
  bool word(size_t i, const char* w) const { return i < t.size() && t[i].kind == Tok::Ident && t[i].text == w; }
  bool name(size_t i) const { return i < t.size() && (t[i].kind == Tok::Ident || t[i].kind == Tok::QIdent); }
  // The index of the ")" closing the "(" at `open` (ORA-00907 when there is none).
  size_t close(size_t open) const {
    int d = 0;
    for (size_t k = open; k < t.size(); ++k) {
      if (op(k, "(")) ++d;
      if (op(k, ")") && --d == 0) return k;
    }
    throw OraError(907);
  }
  // The "(" that the ")" at `closing` closes.
  size_t opening(size_t closing) const {
    int d = 0;
    for (size_t k = closing + 1; k-- > 0;) {
      if (op(k, ")")) ++d;
      if (op(k, "(") && --d == 0) return k;
    }
    return closing;
  }
  // Tokens [b, e) as written.
  std::string slice(size_t b, size_t e) const {
    return b < e ? text.substr(t[b].pos, t[e - 1].end - t[b].pos) : std::string();
  }
};

// A name as the schema keeps it: upper case unless quoted.
inline std::string upperName(const Token& t) {
  if (t.kind == Tok::QIdent) return t.text;
  std::string s = t.text;
  for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// Whether the token at i ends a table reference of a FROM clause (or of an UPDATE or DELETE).
inline bool endsTableReference(const TokenList& l, size_t i) {
  static const std::set<std::string> words = {
      "WHERE", "GROUP", "ORDER", "HAVING", "CONNECT", "START", "UNION", "INTERSECT", "MINUS", "EXCEPT",
      "JOIN",  "INNER", "LEFT",  "RIGHT",  "FULL",    "CROSS", "NATURAL", "ON",      "USING", "FETCH",
      "OFFSET", "FOR",  "MODEL", "PIVOT",  "UNPIVOT", "WINDOW", "OUTER",  "PARTITION", "MATCH_RECOGNIZE",
      "VERSIONS", "AS", "SAMPLE", "SET", "RETURNING", "LOG"};
  return i >= l.t.size() || l.t[i].kind == Tok::End || l.op(i, ",") || l.op(i, ")") || l.op(i, ";") ||
         (l.t[i].kind == Tok::Ident && words.count(l.t[i].text));
}

} // namespace ora::sql
