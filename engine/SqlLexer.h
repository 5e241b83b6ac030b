// Tokens of Oracle SQL text, each with its byte range, for the parser and for error positions.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ora::sql {

enum class Tok : uint8_t { End, Ident, QIdent, Str, Num, Bind, Op };

struct Token {
  Tok kind = Tok::End;
  uint32_t pos = 0, end = 0; // byte range in the text
  std::string text;          // Ident: upper case; QIdent, Str: content; Num, Op, Bind: as written
};

// Splits a statement into tokens; the last one is End at the text's length. Throws OraError
// with the position of a character or quote that cannot start a token.
std::vector<Token> lex(std::string_view text);

// A character literal at i in any of Oracle's forms: '...' with '' for a quote, N'...',
// q'[...]' (the delimiter pairs [] {} () <> or repeats itself) and Nq'...'. Moves i past it;
// false when none starts at i. Throws ORA-01756 (at its start) when it does not end.
bool readLiteral(std::string_view s, size_t& i, std::string& text);
// The end of a numeric literal starting at i (its suffix not included); i when none starts there.
size_t numberEnd(std::string_view s, size_t i);
// After a numeric literal ending at i: the length of an f/F/d/D suffix (1.5f, 2D), or 0.
size_t numberSuffix(std::string_view s, size_t i);
// Whether the word that ends at i, LIKEC/LIKE2/LIKE4, is the operator: after an operand and
// before a pattern.
bool likeVariant(std::string_view word, std::string_view s, size_t i, bool afterOperand);

// Oracle's reserved words: as names they only work in double quotes.
bool reservedWord(std::string_view upper);

} // namespace ora::sql
