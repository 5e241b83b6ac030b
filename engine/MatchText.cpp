// The text of a MATCH_RECOGNIZE clause: found in the statement and quoted whole (its pattern has
// characters no SQL tokenizer takes), then split into tokens and its PATTERN read.
#include "MatchText.h"

#include "OraError.h"
#include "SqlText.h"

#include <algorithm>
#include <cstring>

namespace ora {

namespace {

bool wordChar(unsigned char c) { return std::isalnum(c) || c == '_' || c == '$' || c == '#' || c >= 0x80; }

// The end of a literal, quoted name or comment that starts at i; i itself when none does.
size_t skipQuoted(const std::string& s, size_t i) {
  const size_t n = s.size();
  if (s[i] == '\'' || s[i] == '"') {
    char q = s[i];
    for (size_t k = i + 1; k < n; ++k)
      if (s[k] == q) {
        if (q == '\'' && k + 1 < n && s[k + 1] == '\'') {
          ++k;
          continue;
        }
        return k + 1;
      }
    return n;
  }
  if (s.compare(i, 2, "--") == 0) {
    size_t e = s.find('\n', i);
    return e == std::string::npos ? n : e + 1;
  }
  if (s.compare(i, 2, "/*") == 0) {
    size_t e = s.find("*/", i + 2);
    return e == std::string::npos ? n : e + 2;
  }
  return i;
}

} // namespace

bool quoteMatchClauses(const std::string& text, std::string& out) {
  static const char kWord[] = "MATCH_RECOGNIZE";
  const size_t len = sizeof kWord - 1;
  bool any = false;
  std::string res;
  size_t copied = 0;
  for (size_t i = 0; i < text.size();) {
    if (size_t q = skipQuoted(text, i); q != i) {
      i = q;
      continue;
    }
    if (!wordChar(static_cast<unsigned char>(text[i]))) {
      ++i;
      continue;
    }
    size_t e = i;
    while (e < text.size() && wordChar(static_cast<unsigned char>(text[e]))) ++e;
    bool hit = e - i == len && std::equal(text.begin() + static_cast<long>(i), text.begin() + static_cast<long>(e), kWord,
                                          [](char a, char b) { return std::toupper(static_cast<unsigned char>(a)) == b; });
    i = e;
    if (!hit) continue;
    size_t open = i;
    while (open < text.size() && std::isspace(static_cast<unsigned char>(text[open]))) ++open;
    if (open >= text.size() || text[open] != '(') continue;
    // the clause up to its parenthesis
    size_t k = open + 1;
    int depth = 1;
    while (k < text.size() && depth > 0) {
      if (size_t q = skipQuoted(text, k); q != k) {
        k = q;
        continue;
      }
      if (text[k] == '(') ++depth;
      else if (text[k] == ')') --depth;
      ++k;
    }
    if (depth != 0) throw OraError(907);
    const std::string inner = text.substr(open + 1, k - 1 - (open + 1));
    // already quoted: one literal alone
    size_t b = inner.find_first_not_of(" \t\r\n");
    if (b != std::string::npos && inner[b] == '\'' && skipQuoted(inner, b) >= inner.find_last_not_of(" \t\r\n") + 1) {
      i = k;
      continue;
    }
    res += text.substr(copied, open + 1 - copied) + quoteString(inner) + ")";
    copied = k;
    i = k;
    any = true;
  }
  if (!any) return false;
  out = res + text.substr(copied);
  return true;
}

namespace mr {

std::vector<Tok> lexClause(const std::string& s) {
  std::vector<Tok> out;
  const size_t n = s.size();
  for (size_t i = 0; i < n;) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (std::isspace(c)) {
      ++i;
      continue;
    }
    if (s.compare(i, 2, "--") == 0 || s.compare(i, 2, "/*") == 0) {
      i = skipQuoted(s, i);
      continue;
    }
    Tok t;
    t.pos = i;
    if (c == '\'' || c == '"') {
      size_t e = skipQuoted(s, i);
      if (e > n || s[e - 1] != static_cast<char>(c) || e == i + 1) throw OraError(c == '"' ? 1740 : 1756);
      t.kind = c == '"' ? Tok::QIdent : Tok::Str;
      t.text = s.substr(i + 1, e - i - 2);
      i = e;
    } else if (std::isdigit(c) || (c == '.' && i + 1 < n && std::isdigit(static_cast<unsigned char>(s[i + 1])))) {
      size_t e = i;
      while (e < n && (std::isdigit(static_cast<unsigned char>(s[e])) || s[e] == '.')) ++e;
      t.kind = Tok::Num;
      t.text = s.substr(i, e - i);
      i = e;
    } else if (std::isalpha(c) || c >= 0x80) {
      size_t e = i;
      while (e < n && wordChar(static_cast<unsigned char>(s[e]))) ++e;
      t.kind = Tok::Ident;
      t.text = s.substr(i, e - i);
      for (auto& ch : t.text) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
      i = e;
    } else {
      static const char* two[] = {"{-", "-}", "||", "<=", ">=", "<>", "!=", "^=", "~="};
      t.kind = Tok::Op;
      t.text = std::string(1, static_cast<char>(c));
      for (auto* p : two)
        if (i + 1 < n && s[i] == p[0] && s[i + 1] == p[1]) t.text = p;
      i += t.text.size();
    }
    t.end = i;
    out.push_back(std::move(t));
  }
  return out;
}

namespace {

struct PatternReader {
  const std::vector<Tok>& t;
  size_t i, end;
  std::vector<std::string>& vars;
  int depth = 0;

  bool op(const char* o) const { return i < end && t[i].kind == Tok::Op && t[i].text == o; }
  [[noreturn]] void fail() const {
    if (i >= end) throw OraError(907);
    throw OraError(933).at(static_cast<int>(t[i].pos));
  }

  int64_t number() {
    if (i >= end || t[i].kind != Tok::Num || t[i].text.find('.') != std::string::npos) throw OraError(62501);
    if (t[i].text.size() > 9) throw OraError(62501);
    return std::stoll(t[i++].text);
  }

  // alternatives, each a concatenation
  Pattern alternation() {
    if (++depth > 100) throw OraError(62518);
    Pattern alt;
    alt.kind = Pattern::Alt;
    alt.kids.push_back(sequence());
    while (op("|")) {
      ++i;
      alt.kids.push_back(sequence());
    }
    --depth;
    if (alt.kids.size() == 1) return std::move(alt.kids[0]);
    return alt;
  }

  Pattern sequence() {
    Pattern seq;
    seq.kind = Pattern::Seq;
    while (i < end && !op("|") && !op(")") && !op("-}") && !op(",")) seq.kids.push_back(quantified());
    if (seq.kids.empty()) fail();
    if (seq.kids.size() == 1) return std::move(seq.kids[0]);
    return seq;
  }

  Pattern primary() {
    Pattern p;
    if (op("(")) {
      ++i;
      if (op(")")) { // () matches the empty sequence
        ++i;
        p.kind = Pattern::Seq;
        return p;
      }
      p = alternation();
      if (!op(")")) fail();
      ++i;
      if (p.min != 1 || p.max != 1 || p.reluctant || p.excluded) {
        Pattern g;
        g.kids.push_back(std::move(p));
        return g;
      }
      return p;
    }
    if (op("{-")) {
      ++i;
      Pattern g;
      g.kids.push_back(alternation());
      if (!op("-}")) fail();
      ++i;
      g.excluded = true;
      return g;
    }
    if (op("^") || op("$")) {
      p.kind = op("^") ? Pattern::Start : Pattern::End;
      ++i;
      return p;
    }
    if (i < end && t[i].kind == Tok::Ident && t[i].text == "PERMUTE" && i + 1 < end && t[i + 1].text == "(" &&
        t[i + 1].kind == Tok::Op) {
      i += 2;
      std::vector<Pattern> items;
      for (;;) {
        items.push_back(alternation());
        if (op(",")) {
          ++i;
          continue;
        }
        if (!op(")")) fail();
        ++i;
        break;
      }
      if (items.size() > 7) throw OraError(62518);
      // every order of the items, the order they were listed in first
      std::vector<size_t> order(items.size());
      for (size_t k = 0; k < order.size(); ++k) order[k] = k;
      p.kind = Pattern::Alt;
      do {
        Pattern seq;
        for (size_t k : order) seq.kids.push_back(items[k]);
        p.kids.push_back(std::move(seq));
      } while (std::next_permutation(order.begin(), order.end()));
      if (p.kids.size() == 1) return std::move(p.kids[0]);
      return p;
    }
    if (i < end && (t[i].kind == Tok::Ident || t[i].kind == Tok::QIdent)) {
      p.kind = Pattern::Var;
      const std::string& name = t[i].text;
      auto it = std::find(vars.begin(), vars.end(), name);
      p.var = static_cast<int>(it - vars.begin());
      if (it == vars.end()) vars.push_back(name);
      ++i;
      return p;
    }
    fail();
  }

  Pattern quantified() {
    Pattern p = primary();
    int64_t mn = 1, mx = 1;
    if (op("*")) mn = 0, mx = -1;
    else if (op("+")) mn = 1, mx = -1;
    else if (op("?")) mn = 0, mx = 1;
    else if (op("{")) {
      ++i;
      mn = 0;
      if (!op(",")) mn = number();
      if (op(",")) {
        ++i;
        mx = op("}") ? -1 : number();
      } else {
        mx = mn;
      }
      if (!op("}")) fail();
      if (mx == 0 || (mx >= 0 && mx < mn)) throw OraError(62501).at(static_cast<int>(t[i].pos));
      if (mn > 200 || mx > 200) throw OraError(62518);
    } else {
      return p;
    }
    ++i;
    bool reluctant = false;
    if (op("?")) {
      reluctant = true;
      ++i;
    }
    if (p.min != 1 || p.max != 1) { // a quantifier on a quantified item applies to it as a group
      Pattern g;
      g.kids.push_back(std::move(p));
      p = std::move(g);
    }
    p.min = mn;
    p.max = mx;
    p.reluctant = reluctant;
    return p;
  }
};

bool canBeEmpty(const Pattern& p) {
  if (p.min == 0) return true;
  switch (p.kind) {
  case Pattern::Var: return false;
  case Pattern::Start:
  case Pattern::End: return true;
  case Pattern::Alt:
    return std::any_of(p.kids.begin(), p.kids.end(), [](const Pattern& k) { return canBeEmpty(k); });
  default: return std::all_of(p.kids.begin(), p.kids.end(), [](const Pattern& k) { return canBeEmpty(k); });
  }
}

// A quantified group that could repeat without reading a row.
void checkQuantified(const Pattern& p) {
  if (p.kind != Pattern::Var && (p.min != 1 || p.max != 1)) {
    Pattern body = p;
    body.min = body.max = 1;
    if (canBeEmpty(body)) throw OraError(62513);
  }
  for (const Pattern& k : p.kids) checkQuantified(k);
}

} // namespace

Pattern readPattern(const std::vector<Tok>& t, size_t b, size_t e, std::vector<std::string>& vars) {
  PatternReader r{t, b, e, vars};
  if (b >= e) throw OraError(936);
  Pattern p = r.alternation();
  if (r.i != e) r.fail();
  checkQuantified(p);
  return p;
}

} // namespace mr

} // namespace ora
