// FROM source MATCH_RECOGNIZE ('clause'): the source's rows, read by a query of their own, given
// to the module that matches the clause's pattern over them (MatchRecognize.h).
#include "TranslateImpl.h"

#include "MatchRecognize.h"

namespace ora::tx {

size_t Translator::matchRecognize(size_t i, Context& c) {
  size_t e;
  if (is(t_[i], "(")) {
    e = matching(i) + 1;
  } else if (t_[i].kind == Token::Ident || t_[i].kind == Token::QIdent) {
    e = i + 1;
    if (is(at(e), ".") && (at(e + 1).kind == Token::Ident || at(e + 1).kind == Token::QIdent)) e += 2;
  } else {
    return 0;
  }
  if (!is(at(e), "MATCH_RECOGNIZE") || !is(at(e + 1), "(") || at(e + 2).kind != Token::Str || !is(at(e + 3), ")"))
    return 0;
  const std::string source = src_.substr(t_[i].pos, t_[e - 1].end - t_[i].pos);
  try {
    replace_[i] = matchRecognizeSource(source, at(e + 2).text, cat_, tr_.inferred);
  } catch (OraError& err) {
    err.pos = -1; // found in a text of its own
    throw;
  }
  for (size_t x = i + 1; x <= e + 3; ++x) skip_[x] = 1;
  c.opaque = true;
  return e + 3;
}

} // namespace ora::tx
