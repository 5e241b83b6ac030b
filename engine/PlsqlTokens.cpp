// Splits a PL/SQL unit's text into tokens, and says where in it a token stands.
#include "PlsqlImpl.h"

#include "CType.h"
#include "OraError.h"
#include "SqlLexer.h"

namespace ora::pl {

std::vector<Tok> tokens(const std::string& s) {
  std::vector<Tok> out;
  size_t i = 0, n = s.size();
  while (i < n) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (ora::spaceC(c)) { ++i; continue; }
    if (s.compare(i, 2, "--") == 0) {
      while (i < n && s[i] != '\n') ++i;
      continue;
    }
    if (s.compare(i, 2, "/*") == 0) {
      size_t e = s.find("*/", i + 2);
      if (e == std::string::npos) throw OraError(1742).at(static_cast<int>(i));
      i = e + 2;
      continue;
    }
    Tok t;
    t.pos = i;
    std::string lit;
    if (sql::readLiteral(s, i, lit)) {
      t.kind = T::Str;
      t.text = lit;
    } else if (c == '"') {
      size_t e = s.find('"', i + 1);
      if (e == std::string::npos) throw OraError(1740).at(static_cast<int>(i));
      t.kind = T::QWord;
      t.text = s.substr(i + 1, e - i - 1);
      i = e + 1;
    } else if (ora::digitC(c) || (c == '.' && i + 1 < n && ora::digitC(static_cast<unsigned char>(s[i + 1])))) {
      while (i < n && ora::digitC(static_cast<unsigned char>(s[i]))) ++i;
      if (i < n && s[i] == '.' && !(i + 1 < n && s[i + 1] == '.')) {
        ++i;
        while (i < n && ora::digitC(static_cast<unsigned char>(s[i]))) ++i;
      }
      if (i < n && (s[i] == 'e' || s[i] == 'E')) {
        size_t k = i + 1;
        if (k < n && (s[k] == '+' || s[k] == '-')) ++k;
        if (k < n && ora::digitC(static_cast<unsigned char>(s[k]))) {
          i = k;
          while (i < n && ora::digitC(static_cast<unsigned char>(s[i]))) ++i;
        }
      }
      // 0f, 1.5d: BINARY_FLOAT and BINARY_DOUBLE literals, no name after a number
      if (i < n && (s[i] == 'f' || s[i] == 'F' || s[i] == 'd' || s[i] == 'D')) ++i;
      t.kind = T::Num;
      t.text = s.substr(t.pos, i - t.pos);
    } else if (ora::alphaC(c) || c >= 0x80) {
      while (i < n && (ora::alnumC(static_cast<unsigned char>(s[i])) || s[i] == '_' || s[i] == '$' || s[i] == '#' ||
                       static_cast<unsigned char>(s[i]) >= 0x80))
        ++i;
      t.kind = T::Word;
      t.text = s.substr(t.pos, i - t.pos);
      for (auto& ch : t.text) ch = static_cast<char>(ora::upperC(static_cast<unsigned char>(ch)));
    } else {
      static const char* pairs[] = {":=", "..", "=>", "||", "<=", ">=", "<>", "!=", "^=", "~=", "**", "<<", ">>"};
      t.kind = T::Op;
      t.text = std::string(1, static_cast<char>(c));
      for (const char* p : pairs)
        if (s.compare(i, 2, p) == 0) t.text = p;
      i += t.text.size();
    }
    t.end = i;
    out.push_back(std::move(t));
  }
  Tok end;
  end.pos = end.end = n;
  out.push_back(end);
  return out;
}

void joinPlaceholders(std::vector<Tok>& toks) {
  std::vector<Tok> out;
  out.reserve(toks.size());
  for (size_t k = 0; k < toks.size(); ++k) {
    const Tok& t = toks[k];
    if (t.kind == T::Op && t.text == ":" && k + 1 < toks.size() && toks[k + 1].pos == t.end &&
        (toks[k + 1].kind == T::Word || toks[k + 1].kind == T::Num)) {
      Tok n = toks[++k];
      n.kind = T::Word;
      n.text = ":" + n.text;
      n.pos = t.pos;
      out.push_back(std::move(n));
      continue;
    }
    out.push_back(t);
  }
  toks = std::move(out);
}

std::string where(const std::string& src, size_t pos) {
  int line = 1, col = 1;
  for (size_t i = 0; i < pos && i < src.size(); ++i) {
    if (src[i] == '\n') { ++line; col = 1; }
    else ++col;
  }
  return "line " + std::to_string(line) + ", column " + std::to_string(col);
}

bool isOp(const std::vector<Tok>& t, size_t k, const char* s) {
  return k < t.size() && t[k].kind == T::Op && t[k].text == s;
}

bool isName(const std::vector<Tok>& t, size_t k) {
  return k < t.size() && (t[k].kind == T::Word || t[k].kind == T::QWord);
}

size_t closing(const std::vector<Tok>& t, size_t open) {
  int depth = 0;
  for (size_t k = open; k < t.size() && t[k].kind != T::End; ++k) {
    if (isOp(t, k, "(")) ++depth;
    else if (isOp(t, k, ")") && --depth == 0) return k;
  }
  return t.size() - 1;
}

} // namespace ora::pl
