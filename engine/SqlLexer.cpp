#include "SqlLexer.h"

#include "OraError.h"

#include <algorithm>
#include <cstring>

namespace ora::sql {

namespace {

bool identStart(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 0x80; }
bool identChar(unsigned char c) {
  return identStart(c) || (c >= '0' && c <= '9') || c == '_' || c == '$' || c == '#';
}
bool digit(unsigned char c) { return c >= '0' && c <= '9'; }

// The length of a wide space or punctuation mark at `i` (a full-width space, comma or
// parenthesis, a typographic quote or dash): no part of a name, so a stray character in SQL.
size_t widePunctuation(std::string_view s, size_t i) {
  auto byte = [&](size_t k) { return k < s.size() ? static_cast<unsigned char>(s[k]) : 0u; };
  unsigned c = byte(i);
  if (c < 0xC2 || c >= 0xF0) return 0;
  if (c < 0xE0) return c == 0xC2 && byte(i + 1) == 0xA0 ? 2 : 0; // no-break space
  if ((byte(i + 1) & 0xC0) != 0x80 || (byte(i + 2) & 0xC0) != 0x80) return 0;
  unsigned u = ((c & 0x0F) << 12) | ((byte(i + 1) & 0x3F) << 6) | (byte(i + 2) & 0x3F);
  bool wide = (u >= 0x2000 && u <= 0x206F) ||                  // general punctuation
              (u >= 0x3000 && u <= 0x303F && (u < 0x3005 || u > 0x3007)) || // 々〆〇 are letters
              (u >= 0xFF01 && u <= 0xFF0F) || (u >= 0xFF1A && u <= 0xFF20) ||
              (u >= 0xFF3B && u <= 0xFF40) || (u >= 0xFF5B && u <= 0xFF65);
  return wide ? 3 : 0;
}

OraError errorAt(int code, size_t pos) {
  OraError e(code);
  e.pos = static_cast<int>(pos);
  return e;
}

bool operandEnd(const Token& t) {
  return t.kind == Tok::Ident || t.kind == Tok::QIdent || t.kind == Tok::Str || t.kind == Tok::Num ||
         t.kind == Tok::Bind || (t.kind == Tok::Op && t.text == ")");
}

} // namespace

size_t numberEnd(std::string_view s, size_t i) {
  size_t n = s.size();
  if (!(i < n && (digit(static_cast<unsigned char>(s[i])) || (s[i] == '.' && i + 1 < n && digit(static_cast<unsigned char>(s[i + 1]))))))
    return i;
  while (i < n && digit(static_cast<unsigned char>(s[i]))) ++i;
  if (i < n && s[i] == '.' && !(i + 1 < n && s[i + 1] == '.')) {
    ++i;
    while (i < n && digit(static_cast<unsigned char>(s[i]))) ++i;
  }
  if (i < n && (s[i] == 'e' || s[i] == 'E')) {
    size_t k = i + 1;
    if (k < n && (s[k] == '+' || s[k] == '-')) ++k;
    if (k < n && digit(static_cast<unsigned char>(s[k]))) {
      i = k;
      while (i < n && digit(static_cast<unsigned char>(s[i]))) ++i;
    }
  }
  return i;
}

size_t numberSuffix(std::string_view s, size_t i) {
  if (i >= s.size() || !(s[i] == 'f' || s[i] == 'F' || s[i] == 'd' || s[i] == 'D')) return 0;
  return i + 1 < s.size() && identChar(static_cast<unsigned char>(s[i + 1])) ? 0 : 1;
}

// LIKEC, LIKE2 and LIKE4 differ from LIKE only in how they count characters, which for text
// kept as ours comes to the same.
bool likeVariant(std::string_view word, std::string_view s, size_t i, bool afterOperand) {
  if (!afterOperand || !(word == "LIKEC" || word == "LIKE2" || word == "LIKE4")) return false;
  size_t n = s.size();
  while (i < n && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r')) ++i;
  char d = i < n ? s[i] : '\0';
  bool prefix = (d == 'n' || d == 'N' || d == 'q' || d == 'Q') && i + 1 < n && s[i + 1] == '\'';
  return d == '\'' || d == ':' || d == '(' || prefix || digit(static_cast<unsigned char>(d));
}

bool readLiteral(std::string_view s, size_t& i, std::string& text) {
  size_t b = i, k = i, n = s.size();
  if (k < n && (s[k] == 'n' || s[k] == 'N') && k + 1 < n && (s[k + 1] == '\'' || s[k + 1] == 'q' || s[k + 1] == 'Q')) ++k;
  bool alt = k + 1 < n && (s[k] == 'q' || s[k] == 'Q') && s[k + 1] == '\'';
  if (alt) {
    ++k;
  } else if (k >= n || s[k] != '\'') {
    return false;
  }
  text.clear();
  if (alt) {
    char open = k + 1 < n ? s[k + 1] : ' ';
    if (open == ' ' || open == '\t' || open == '\n' || open == '\r') throw errorAt(1756, b);
    char close = open == '[' ? ']' : open == '{' ? '}' : open == '(' ? ')' : open == '<' ? '>' : open;
    // The delimiter is one character, which in UTF-8 may take several bytes.
    size_t len = 1;
    while (static_cast<unsigned char>(open) >= 0xC0 && k + 1 + len < n && (static_cast<unsigned char>(s[k + 1 + len]) & 0xC0) == 0x80) ++len;
    std::string_view closing = len > 1 ? s.substr(k + 1, len) : std::string_view(&close, 1);
    for (size_t q = k + 1 + len; q + len < n; ++q)
      if (s.compare(q, len, closing) == 0 && s[q + len] == '\'') {
        text.assign(s.substr(k + 1 + len, q - k - 1 - len));
        i = q + len + 1;
        return true;
      }
    throw errorAt(1756, b);
  }
  ++k;
  for (;;) {
    size_t q = s.find('\'', k);
    if (q == std::string_view::npos) throw errorAt(1756, b);
    text.append(s.substr(k, q - k));
    if (q + 1 < n && s[q + 1] == '\'') { text += '\''; k = q + 2; continue; }
    i = q + 1;
    return true;
  }
}

namespace {
std::vector<Token> lexAll(std::string_view s) {
  std::vector<Token> out;
  out.reserve(s.size() / 4 + 4);
  size_t i = 0, n = s.size();
  while (i < n) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') { ++i; continue; }
    if (c == '-' && i + 1 < n && s[i + 1] == '-') {
      while (i < n && s[i] != '\n') ++i;
      continue;
    }
    if (c == '/' && i + 1 < n && s[i + 1] == '*') {
      size_t e = s.find("*/", i + 2);
      if (e == std::string_view::npos) throw errorAt(1742, i);
      i = e + 2;
      continue;
    }
    Token t;
    t.pos = static_cast<uint32_t>(i);
    if (readLiteral(s, i, t.text)) {
      t.kind = Tok::Str;
    } else if (c == '"') {
      size_t e = s.find('"', i + 1);
      if (e == std::string_view::npos) throw errorAt(1740, i);
      if (e == i + 1) throw errorAt(1741, i);
      t.text = std::string(s.substr(i + 1, e - i - 1));
      i = e + 1;
      t.kind = Tok::QIdent;
    } else if (size_t e = numberEnd(s, i); e > i) {
      i = e;
      t.kind = Tok::Num;
      t.text = std::string(s.substr(t.pos, i - t.pos));
      // 1.5f and 1.5d name BINARY_FLOAT and BINARY_DOUBLE values, which we keep as numbers
      i += numberSuffix(s, i);
    } else if (identStart(c) && (c < 0x80 || !widePunctuation(s, i))) {
      for (; i < n; ++i) {
        unsigned char d = static_cast<unsigned char>(s[i]);
        if (!identChar(d) || (d >= 0x80 && widePunctuation(s, i))) break;
      }
      t.kind = Tok::Ident;
      t.text = std::string(s.substr(t.pos, i - t.pos));
      for (auto& ch : t.text)
        if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 32);
      if (t.text == "CURRENT_DATE") t.text = "SYSDATE"; // the session's zone is the database's
      if (!out.empty() && likeVariant(t.text, s, i, operandEnd(out.back()))) t.text = "LIKE";
    } else if (c == ':' && i + 1 < n && (identStart(static_cast<unsigned char>(s[i + 1])) || digit(static_cast<unsigned char>(s[i + 1])))) {
      ++i;
      while (i < n && identChar(static_cast<unsigned char>(s[i]))) ++i;
      t.kind = Tok::Bind;
      t.text = std::string(s.substr(t.pos, i - t.pos));
    } else {
      t.kind = Tok::Op;
      char next = i + 1 < n ? s[i + 1] : '\0';
      bool pair = (c == '|' && next == '|') || (next == '=' && c != 0 && std::strchr("<>!^~", static_cast<char>(c))) ||
                  (c == '<' && next == '>');
      t.text.assign(s.substr(i, pair ? 2 : 1));
      // A NUL byte, a ";" and anything else SQL has no use for are stray characters.
      // ':' on its own parts a key from its value in JSON_OBJECT
      // '[' and ']' are a JSON dot-notation's array steps
      bool ok = t.text.size() == 2 || (c != 0 && std::strchr("()+-*/,.=<>@:[]", static_cast<char>(c)));
      if (c == '|' && !ok) throw errorAt(996, i); // concatenation is ||
      if (!ok) throw errorAt(911, i);
      i += t.text.size();
    }
    t.end = static_cast<uint32_t>(i);
    out.push_back(std::move(t));
  }
  Token end;
  end.pos = end.end = static_cast<uint32_t>(n);
  out.push_back(std::move(end));
  return out;
}
} // namespace

std::vector<Token> lex(std::string_view s) {
  // The key of the shared statements, the rewritings before translation and the parser each
  // split the same text: the last short text's tokens are kept for the next to ask.
  struct Last {
    std::string text;
    std::vector<Token> tokens;
  };
  thread_local Last last;
  if (s.size() > 4096) return lexAll(s);
  if (!last.tokens.empty() && s == last.text) return last.tokens;
  std::vector<Token> out = lexAll(s); // a text that does not split is not kept
  last.text.assign(s);
  last.tokens = out;
  return out;
}

bool reservedWord(std::string_view w) {
  static constexpr std::string_view words[] = {
      "ACCESS", "ADD", "ALL", "ALTER", "AND", "ANY", "AS", "ASC", "AUDIT", "BETWEEN", "BY", "CHAR",
      "CHECK", "CLUSTER", "COLUMN", "COMMENT", "COMPRESS", "CONNECT", "CREATE", "CURRENT", "DATE",
      "DECIMAL", "DEFAULT", "DELETE", "DESC", "DISTINCT", "DROP", "ELSE", "EXCLUSIVE", "EXISTS",
      "FILE", "FLOAT", "FOR", "FROM", "GRANT", "GROUP", "HAVING", "IDENTIFIED", "IMMEDIATE", "IN",
      "INCREMENT", "INDEX", "INITIAL", "INSERT", "INTEGER", "INTERSECT", "INTO", "IS", "LEVEL",
      "LIKE", "LOCK", "LONG", "MAXEXTENTS", "MINUS", "MLSLABEL", "MODE", "MODIFY", "NOAUDIT",
      "NOCOMPRESS", "NOT", "NOWAIT", "NULL", "NUMBER", "OF", "OFFLINE", "ON", "ONLINE", "OPTION",
      "OR", "ORDER", "PCTFREE", "PRIOR", "PRIVILEGES", "PUBLIC", "RAW", "RENAME", "RESOURCE",
      "REVOKE", "ROW", "ROWID", "ROWNUM", "ROWS", "SELECT", "SESSION", "SET", "SHARE", "SIZE",
      "SMALLINT", "START", "SUCCESSFUL", "SYNONYM", "SYSDATE", "TABLE", "THEN", "TO", "TRIGGER",
      "UID", "UNION", "UNIQUE", "UPDATE", "USER", "VALIDATE", "VALUES", "VARCHAR", "VARCHAR2",
      "VIEW", "WHENEVER", "WHERE", "WITH"};
  return std::binary_search(std::begin(words), std::end(words), w);
}

} // namespace ora::sql
