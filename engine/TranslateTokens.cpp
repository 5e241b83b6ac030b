// The translator's tokens: splitting a statement, its keywords, names.
#include "TranslateImpl.h"

#include "CType.h"
#include "Dictionary.h"
#include "Number.h"
#include "OraFunctions.h"
#include "Session.h"
#include "SqlLexer.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <sqlite3.h>
#include <unordered_set>

namespace ora::tx {

bool identStart(unsigned char c) { return ora::alphaC(c) || c >= 0x80; }
bool identChar(unsigned char c) { return ora::alnumC(c) || c == '_' || c == '$' || c == '#' || c >= 0x80; }

std::vector<Token> tokenize(const std::string& s) {
  // A NUL byte would end the text SQLite reads: it is a stray character like any other.
  if (s.find('\0') != std::string::npos) throw OraError(911);
  std::vector<Token> out;
  out.reserve(s.size() / 4 + 4);
  size_t i = 0, n = s.size();
  int depth = 0;
  while (i < n) {
    unsigned char c = s[i];
    if (ora::spaceC(c)) { ++i; continue; }
    if (c == '-' && i + 1 < n && s[i + 1] == '-') {
      while (i < n && s[i] != '\n') ++i;
      continue;
    }
    if (c == '/' && i + 1 < n && s[i + 1] == '*') {
      auto e = s.find("*/", i + 2);
      if (e == std::string::npos) throw OraError(921);
      i = e + 2;
      continue;
    }
    Token t;
    t.depth = depth;
    size_t b = i;
    if (sql::readLiteral(s, i, t.text)) {
      t.kind = Token::Str;
    } else if (c == '"') {
      auto e = s.find('"', i + 1);
      if (e == std::string::npos) throw OraError(1740);
      t.text = s.substr(i + 1, e - i - 1);
      if (t.text.empty()) throw OraError(1741);
      i = e + 1;
      t.kind = Token::QIdent;
    } else if (ora::digitC(c) || (c == '.' && i + 1 < n && ora::digitC(static_cast<unsigned char>(s[i + 1])))) {
      while (i < n && ora::digitC(static_cast<unsigned char>(s[i]))) ++i;
      if (i < n && s[i] == '.') { ++i; while (i < n && ora::digitC(static_cast<unsigned char>(s[i]))) ++i; }
      if (i < n && (s[i] == 'e' || s[i] == 'E')) {
        size_t k = i + 1;
        if (k < n && (s[k] == '+' || s[k] == '-')) ++k;
        if (k < n && ora::digitC(static_cast<unsigned char>(s[k]))) {
          i = k;
          while (i < n && ora::digitC(static_cast<unsigned char>(s[i]))) ++i;
        }
      }
      t.kind = Token::Num;
      t.text = s.substr(b, i - b);
      i += sql::numberSuffix(s, i); // 1.5f, 2d: kept as numbers
    } else if (identStart(c)) {
      while (i < n && identChar(static_cast<unsigned char>(s[i]))) ++i;
      t.kind = Token::Ident;
      t.text = s.substr(b, i - b);
      for (auto& ch : t.text) ch = static_cast<char>(ora::upperC(static_cast<unsigned char>(ch)));
      if (t.text == "CURRENT_DATE") t.text = "SYSDATE"; // the session's zone is the database's
      if (!out.empty()) {
        const Token& p = out.back();
        bool operand = p.kind == Token::Ident || p.kind == Token::QIdent || p.kind == Token::Str ||
                       p.kind == Token::Num || p.kind == Token::Bind || (p.kind == Token::Op && p.text == ")");
        if (sql::likeVariant(t.text, s, i, operand)) t.text = "LIKE";
      }
    } else if (c == ':' && i + 1 < n && (identStart(s[i + 1]) || ora::digitC(static_cast<unsigned char>(s[i + 1])))) {
      ++i;
      while (i < n && identChar(static_cast<unsigned char>(s[i]))) ++i;
      t.kind = Token::Bind;
      t.text = s.substr(b, i - b);
    } else {
      static const char* two[] = {"||", "<=", ">=", "<>", "!=", "^=", "~="};
      t.kind = Token::Op;
      t.text = std::string(1, static_cast<char>(c));
      for (auto* p : two)
        if (i + 1 < n && s[i] == p[0] && s[i + 1] == p[1]) t.text = p;
      i += t.text.size();
      if (t.text == ";") throw OraError(911);
      if (!std::strchr("()+-*/,.=<>|!^~:[]", t.text[0]) || t.text == "|" || t.text == "!" || t.text == "^" || t.text == "~")
        throw OraError(911);
      if ((t.text == "(" || t.text == "[") && ++depth > kMaxNesting) throw OraError(935);
      if (t.text == ")" || t.text == "]") {
        if (depth == 0) throw OraError(933);
        t.depth = --depth;
      }
    }
    t.raw = s.substr(b, i - b);
    t.pos = b;
    t.end = i;
    out.push_back(std::move(t));
  }
  if (depth != 0) throw OraError(907);
  return out;
}

namespace {
const std::unordered_set<std::string>& keywords() {
  static const std::unordered_set<std::string> k = {
      "SELECT", "FROM", "WHERE", "AND", "OR", "NOT", "NULL", "IS", "IN", "EXISTS", "BETWEEN",
      "LIKE", "ESCAPE", "AS", "DISTINCT", "ALL", "ORDER", "BY", "GROUP", "HAVING", "ASC", "DESC",
      "NULLS", "FIRST", "LAST", "UNION", "INTERSECT", "MINUS", "EXCEPT", "CASE", "WHEN", "THEN",
      "ELSE", "END", "INSERT", "INTO", "VALUES", "UPDATE", "SET", "DELETE", "CREATE", "TABLE",
      "DROP", "INDEX", "ON", "PRIMARY", "KEY", "FOREIGN", "REFERENCES", "CONSTRAINT", "CHECK",
      "DEFAULT", "CASCADE", "JOIN", "INNER", "LEFT", "RIGHT", "FULL", "OUTER", "CROSS",
      "NATURAL", "USING", "WITH", "UNIQUE", "PRIOR", "CONNECT", "START", "FOR", "OF", "ANY", "SOME", "OFFSET", "FETCH", "NEXT",
      "NAN", "INFINITE", "TRUE", "FALSE"};
  return k;
}
} // namespace

// Words Oracle does not reserve are keywords only where they stand in their clause, so that a
// column may be called KEY or FIRST.
bool keywordAt(const std::vector<Token>& t, size_t i) {
  if (i >= t.size() || t[i].kind != Token::Ident || !keywords().count(t[i].text)) return false;
  const std::string& w = t[i].text;
  auto prev = [&](const char* x) { return i > 0 && is(t[i - 1], x); };
  auto next = [&](const char* x) { return i + 1 < t.size() && is(t[i + 1], x); };
  if (eq(w, "KEY")) return prev("PRIMARY") || prev("FOREIGN");
  // CONSTRAINT is no reserved word: it starts a constraint only where a name follows it
  if (eq(w, "CONSTRAINT"))
    return !prev(".") && i + 1 < t.size() && (t[i + 1].kind == Token::QIdent || t[i + 1].kind == Token::Ident) &&
           !sql::reservedWord(t[i + 1].text) && !(t[i + 1].kind == Token::Ident && keywords().count(t[i + 1].text));
  if (eq(w, "FIRST") || eq(w, "LAST")) return prev("NULLS") || prev("FETCH");
  if (eq(w, "NEXT")) return prev("FETCH"); // FETCH NEXT -1 ROWS: no subtraction
  if (eq(w, "NULLS")) return next("FIRST") || next("LAST");
  if (eq(w, "LEFT") || eq(w, "RIGHT") || eq(w, "FULL") || eq(w, "INNER") || eq(w, "CROSS"))
    return next("JOIN") || next("OUTER");
  // NATURAL LEFT JOIN: not an alias of the table before it
  if (eq(w, "NATURAL"))
    return next("JOIN") || next("INNER") || next("LEFT") || next("RIGHT") || next("FULL");
  if (eq(w, "OUTER")) return next("JOIN");
  if (eq(w, "USING")) return next("(");
  if (eq(w, "FETCH")) return next("FIRST") || next("NEXT");
  if (eq(w, "NAN") || eq(w, "INFINITE")) return prev("IS") || (prev("NOT") && i > 1 && is(t[i - 2], "IS"));
  if (eq(w, "OFFSET")) {
    size_t n = i + 1 < t.size() && (is(t[i + 1], "-") || is(t[i + 1], "+")) ? i + 2 : i + 1; // a signed count
    if (n < t.size() && (t[n].kind == Token::Num || t[n].kind == Token::Bind)) return true;
    // OFFSET NULL ROWS, OFFSET (expr) ROWS: not a column after ORDER BY or in a list
    return n < t.size() && (is(t[n], "NULL") || is(t[n], "(")) && !prev("BY") && !prev(",") && !prev("SELECT");
  }
  return true;
}


void checkName(const std::string& name, Charset cs) {
  // 30 bytes in the database's own set: fifteen kanji in Shift-JIS
  if (byteLength(name, cs) > 30) throw OraError(972, name);
  std::string u = name;
  for (auto& c : u) c = static_cast<char>(ora::upperC(static_cast<unsigned char>(c)));
  if (u.rfind("TESSEL$", 0) == 0 || u.rfind("SQLITE_", 0) == 0) throw OraError(942, name);
}

const ColumnInfo& findColumn(const std::vector<ColumnInfo>& cols, const std::string& name) {
  for (auto& c : cols)
    if (c.name == name) return c;
  throw OraError(904, "\"" + name + "\"");
}

} // namespace ora::tx
