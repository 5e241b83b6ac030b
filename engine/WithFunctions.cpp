// WITH FUNCTION / PROCEDURE ... SELECT: the PL/SQL declarations live in the session as a unit of
// their own, and the query calls its functions by that unit's name.
#include "Plsql.h"
#include "Session.h"
#include "SqlTranslate.h"

#include <cctype>
#include <string>
#include <vector>

namespace ora {

namespace {

bool wordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$' || c == '#' || (c & 0x80); }

// Steps over blanks and comments from i.
size_t blanks(const std::string& s, size_t i) {
  for (;;) {
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    if (s.compare(i, 2, "--") == 0) {
      i = s.find('\n', i);
      if (i == std::string::npos) return s.size();
    } else if (s.compare(i, 2, "/*") == 0) {
      i = s.find("*/", i + 2);
      if (i == std::string::npos) return s.size();
      i += 2;
    } else {
      return i;
    }
  }
}

// The words, quoted names, literals and other characters of a text, each with where it starts.
struct Piece {
  size_t b, e;
  std::string word; // an unquoted word in upper case; empty for anything else
  bool quoted = false;
};

std::vector<Piece> pieces(const std::string& s) {
  std::vector<Piece> out;
  for (size_t i = blanks(s, 0); i < s.size(); i = blanks(s, i)) {
    Piece p{i, i + 1, {}};
    char c = s[i];
    if (c == '\'' || c == '"') {
      size_t e = i + 1;
      for (; e < s.size(); ++e)
        if (s[e] == c) {
          if (c == '\'' && e + 1 < s.size() && s[e + 1] == '\'') ++e;
          else break;
        }
      p.e = std::min(s.size(), e + 1);
      if (c == '"') {
        p.quoted = true;
        p.word = s.substr(i + 1, e - i - 1);
      }
    } else if (wordChar(c)) {
      size_t e = i;
      while (e < s.size() && wordChar(s[e])) ++e;
      p.e = e;
      for (size_t k = i; k < e; ++k) p.word += static_cast<char>(std::toupper(static_cast<unsigned char>(s[k])));
    }
    out.push_back(p);
    i = p.e;
  }
  return out;
}

bool word(const std::vector<Piece>& p, size_t k, const char* w) { return k < p.size() && !p[k].quoted && p[k].word == w; }

} // namespace

bool withFunctions(const std::string& text, Catalog& cat, std::string& query) {
  if (!startsWithWord(text, "WITH") || (!containsWord(text, "FUNCTION") && !containsWord(text, "PROCEDURE"))) return false;
  std::vector<Piece> p = pieces(text);
  if (!word(p, 0, "WITH") || !(word(p, 1, "FUNCTION") || word(p, 1, "PROCEDURE"))) return false;
  // each declaration ends with the END that closes its BEGIN; IF and LOOP end with END IF / LOOP
  size_t k = 1;
  while (word(p, k, "FUNCTION") || word(p, k, "PROCEDURE")) {
    int depth = 0;
    bool body = false;
    for (++k; k < p.size(); ++k) {
      if (word(p, k, "BEGIN") || word(p, k, "CASE")) {
        ++depth;
        body = true;
      } else if (word(p, k, "END") && !word(p, k + 1, "IF") && !word(p, k + 1, "LOOP")) {
        if (--depth == 0 && body) break;
      }
    }
    if (k >= p.size()) throw OraError(6550);
    ++k;
    if (k + 1 < p.size() && !p[k].word.empty() && text[p[k + 1].b] == ';') ++k; // END name;
    if (k >= p.size() || text[p[k].b] != ';') throw OraError(6550);
    ++k;
  }
  if (k >= p.size()) throw OraError(928);
  Session* ses = cat.session();
  if (!ses) throw OraError(6550);
  std::string decls = text.substr(p[1].b, p[k].b - p[1].b);
  std::vector<std::string> functions;
  std::string unit = statementUnit(*ses, decls, functions);
  cat.withUnit = unit;
  // the query, its calls of the declared functions by the unit's name
  std::string rest;
  size_t from = p[k].b, end = text.size();
  if (size_t last = p.size() - 1; text[p[last].b] == ';' && p[last].e == p[last].b + 1) end = p[last].b;
  if (!word(p, k, "SELECT") && text[p[k].b] != '(') rest = "WITH ";
  size_t copied = from;
  for (size_t m = k; m < p.size() && p[m].b < end; ++m) {
    if (p[m].word.empty()) continue;
    bool dotted = m > 0 && text[p[m - 1].b] == '.' && p[m - 1].e == p[m - 1].b + 1;
    bool call = m + 1 < p.size() && text[p[m + 1].b] == '(';
    if (dotted || !call) continue;
    for (const auto& f : functions)
      if (f == p[m].word) {
        rest += text.substr(copied, p[m].b - copied) + unit + "." + f;
        copied = p[m].e;
        break;
      }
  }
  rest += text.substr(copied, end - copied);
  query = rest;
  return true;
}

} // namespace ora
