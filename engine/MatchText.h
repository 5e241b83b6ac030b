// Reading a MATCH_RECOGNIZE clause's text (MatchText.cpp).
#pragma once
#include "MatchRecognize.h"

#include <string>
#include <vector>

namespace ora::mr {

struct Tok {
  enum Kind { Ident, QIdent, Str, Num, Op } kind = Op;
  std::string text; // Ident: upper case; QIdent, Str: content
  size_t pos = 0, end = 0;
};

// The clause's tokens; the pattern's operators ({- -} ^ $ |) are tokens too.
std::vector<Tok> lexClause(const std::string& text);
// PATTERN's contents, tokens [b, e); `vars` gets its variables in order of appearance.
Pattern readPattern(const std::vector<Tok>& t, size_t b, size_t e, std::vector<std::string>& vars);

} // namespace ora::mr
