// Small text helpers shared by the shell's command parsers.
#pragma once
#include "CType.h"

#include <cctype>
#include <charconv>
#include <sstream>
#include <string>
#include <vector>

namespace shellwords {

inline std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos)
    return {};
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

inline std::string Upper(std::string s) {
  for (auto& c : s)
    c = static_cast<char>(ora::upperC(static_cast<unsigned char>(c)));
  return s;
}

struct TQuotedWord {
  std::string Text;
  bool Quoted = false;
};

// Words and quoted texts ('...' or "...", a doubled quote inside stands for one).
inline std::vector<TQuotedWord> QuotedWords(const std::string& s) {
  std::vector<TQuotedWord> out;
  for (size_t i = 0; i < s.size();) {
    char c = s[i];
    if (c == ' ' || c == '\t') {
      ++i;
      continue;
    }
    TQuotedWord t;
    if (c == '\'' || c == '"') {
      t.Quoted = true;
      for (++i; i < s.size(); ++i) {
        if (s[i] == c) {
          if (i + 1 < s.size() && s[i + 1] == c) {
            t.Text += c;
            ++i;
            continue;
          }
          ++i;
          break;
        }
        t.Text += s[i];
      }
    } else {
      while (i < s.size() && s[i] != ' ' && s[i] != '\t')
        t.Text += s[i++];
    }
    out.push_back(t);
  }
  return out;
}

// Splits `s` at `sep` outside parentheses and quotes.
inline std::vector<std::string> SplitTop(const std::string& s, char sep) {
  std::vector<std::string> out(1);
  int depth = 0;
  bool quoted = false;
  for (char c : s) {
    if (c == '\'')
      quoted = !quoted;
    if (!quoted && c == '(')
      ++depth;
    if (!quoted && c == ')')
      --depth;
    if (!quoted && depth == 0 && c == sep)
      out.emplace_back();
    else
      out.back() += c;
  }
  return out;
}

inline std::vector<std::string> SplitWords(const std::string& s) {
  std::vector<std::string> v;
  std::istringstream in(s);
  for (std::string w; in >> w;)
    v.push_back(w);
  return v;
}

// `word` (upper case) is `full` or an abbreviation of it at least `minLen` long.
inline bool Abbrev(const std::string& word, const char* full, size_t minLen) {
  std::string f = full;
  return word.size() >= minLen && word.size() <= f.size() && f.compare(0, word.size(), word) == 0;
}

inline bool ParseInt(const std::string& s, long long& v) {
  auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

} // namespace shellwords
