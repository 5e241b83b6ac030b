// Where in a statement's text an error that SQLite or a late check found belongs: Oracle marks
// the token at fault, and the shell draws its "*" there.
#include "SqlTranslate.h"
#include "OraError.h"
#include "SqlLexer.h"

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace ora {

namespace {
// The statement's tokens; false when it does not even lex (its error is placed already).
bool lexed(const std::string& text, std::vector<sql::Token>& t) {
  try {
    t = sql::lex(text);
    return true;
  } catch (const OraError&) {
    return false;
  }
}

// The n-th term (n from the error's detail) of the outermost ORDER BY whose n-th term is a number
void locateOrderTerm(OraError& e, const std::string& text) {
  size_t n = static_cast<size_t>(std::atoi(e.detail.c_str()));
  std::vector<sql::Token> t;
  if (!lexed(text, t)) return;
  std::vector<int> depth(t.size() + 1, 0);
  for (size_t k = 0; k < t.size(); ++k) {
    bool op = t[k].kind == sql::Tok::Op;
    depth[k + 1] = depth[k] + (op && t[k].text == "(") - (op && t[k].text == ")");
    if (op && t[k].text == ")") depth[k] = depth[k + 1];
  }
  int best = -1, bestDepth = 0;
  for (size_t k = 0; k + 1 < t.size(); ++k) {
    if (!(t[k].kind == sql::Tok::Ident && t[k].text == "ORDER" && t[k + 1].kind == sql::Tok::Ident && t[k + 1].text == "BY"))
      continue;
    size_t term = 1, b = k + 2;
    for (size_t i = b; i < t.size() && depth[i] >= depth[k] && term <= n; ++i) {
      if (depth[i] != depth[k] || !(t[i].kind == sql::Tok::Op && t[i].text == ",")) continue;
      if (++term == n) b = i + 1;
    }
    if (term < n || b >= t.size() || t[b].kind != sql::Tok::Num) continue;
    if (best < 0 || depth[k] <= bestDepth) best = static_cast<int>(t[b].pos), bestDepth = depth[k];
  }
  if (best >= 0) e.pos = best;
}
// The comma of the first parenthesised list that stands where one value belongs: not a call's
// arguments, an IN list, VALUES, or a row compared with another.
void locateRowValue(OraError& e, const std::string& text) {
  std::vector<sql::Token> t;
  if (!lexed(text, t)) return;
  auto op = [&](size_t k, const char* o) { return k < t.size() && t[k].kind == sql::Tok::Op && t[k].text == o; };
  auto word = [&](size_t k, const char* w) { return k < t.size() && t[k].kind == sql::Tok::Ident && t[k].text == w; };
  auto compares = [&](size_t k) {
    static const std::set<std::string> ops = {"=", "<>", "!=", "^=", "<", ">", "<=", ">="};
    return k < t.size() && ((t[k].kind == sql::Tok::Op && ops.count(t[k].text)) || word(k, "IN") || word(k, "NOT"));
  };
  static const std::set<std::string> before = {"SELECT", "WHERE", "AND", "OR", "THEN", "ELSE", "WHEN", "SET", "RETURN"};
  for (size_t k = 0; k < t.size(); ++k) {
    if (!op(k, "(")) continue;
    bool valuePlace = k > 0 && ((t[k - 1].kind == sql::Tok::Op && !op(k - 1, ")") && !compares(k - 1)) ||
                                (t[k - 1].kind == sql::Tok::Ident && before.count(t[k - 1].text)));
    if (!valuePlace) continue;
    int depth = 0;
    size_t comma = 0, close = k;
    for (size_t m = k; m < t.size(); ++m) {
      depth += op(m, "(") - op(m, ")");
      if (depth == 1 && op(m, ",") && !comma) comma = m;
      if (depth == 0) {
        close = m;
        break;
      }
    }
    if (!comma || close == k || compares(close + 1)) continue;
    e.pos = static_cast<int>(t[comma].pos);
    return;
  }
}
} // namespace

void locateError(OraError& e, const std::string& text) {
  if (e.code == 947 || e.code == 913) {
    // an INSERT whose values do not match its columns is marked at the table's name
    try {
      std::vector<sql::Token> t = sql::lex(text);
      auto word = [&](size_t k, const char* w) { return k < t.size() && t[k].kind == sql::Tok::Ident && t[k].text == w; };
      if (word(0, "INSERT") && word(1, "INTO") && t.size() > 2) e.pos = static_cast<int>(t[2].pos);
    } catch (const OraError&) {
    }
    return;
  }
  if (e.code == 1785) {
    locateOrderTerm(e, text);
    return;
  }
  if (e.code == 907 && e.detail == "row") {
    locateRowValue(e, text);
    return;
  }
  static const std::set<int> named = {904, 909, 918, 937, 942, 979, 2289, 2443, 4043};
  if (!named.count(e.code)) return;
  std::string name = e.detail;
  if (e.code == 909 && name.ends_with("()")) name.resize(name.size() - 2); // the function's name
  if (auto colon = name.rfind(": "); colon != std::string::npos) name = name.substr(colon + 2);
  // the parts of a dotted name, each without its quotes
  std::vector<std::string> parts;
  for (size_t b = 0; b <= name.size();) {
    size_t dot = name.find('.', name[b] == '"' ? name.find('"', b + 1) : b);
    std::string part = name.substr(b, dot == std::string::npos ? std::string::npos : dot - b);
    if (part.size() >= 2 && part.front() == '"' && part.back() == '"') part = part.substr(1, part.size() - 2);
    parts.push_back(part);
    if (dot == std::string::npos) break;
    b = dot + 1;
  }
  if (parts.empty() || parts.back().empty()) return;
  std::vector<sql::Token> t;
  if (!lexed(text, t)) return;
  auto isName = [&](size_t k, const std::string& part) {
    return k < t.size() && (t[k].kind == sql::Tok::Ident || t[k].kind == sql::Tok::QIdent) && t[k].text == part;
  };
  auto isDot = [&](size_t k) { return k < t.size() && t[k].kind == sql::Tok::Op && t[k].text == "."; };
  // Oracle marks where the name as written begins: the whole dotted name first, else its last part
  // on its own (a qualifier the engine added), preferring a name that is not itself qualified.
  for (size_t want : {parts.size(), size_t(1)}) {
    size_t first = parts.size() - want;
    int fallback = -1;
    for (size_t k = 0; k < t.size(); ++k) {
      bool match = true;
      for (size_t p = first; p < parts.size() && match; ++p) {
        size_t at = k + 2 * (p - first);
        match = isName(at, parts[p]) && (p + 1 == parts.size() || isDot(at + 1));
      }
      if (!match) continue;
      bool qualified = k > 0 && isDot(k - 1);
      if (!qualified) {
        e.pos = static_cast<int>(t[k].pos);
        return;
      }
      if (fallback < 0) fallback = static_cast<int>(k > 1 ? t[k - 2].pos : t[k].pos);
    }
    if (fallback >= 0) {
      e.pos = fallback;
      return;
    }
  }
}

} // namespace ora
