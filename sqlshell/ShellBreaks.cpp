// BREAK and COMPUTE: groups in query output and their summary lines.
#include "ShellBreaks.h"
#include "CType.h"
#include "ShellWords.h"
#include "SqlShell.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

using namespace shellwords;

void TAccumulator::Add(const std::string& raw, bool numeric, bool character) {
  ++FRows;
  if (!numeric)
    FText = true;
  if (raw.empty())
    return;
  if (!numeric) {
    // COUNT and NUMBER mean something for any text, MINIMUM and MAXIMUM for characters only
    FOrdered = FOrdered && character;
    FMinText = FCount == 0 ? raw : std::min(FMinText, raw);
    FMaxText = FCount == 0 ? raw : std::max(FMaxText, raw);
    ++FCount;
    return;
  }
  long double v = std::strtold(raw.c_str(), nullptr);
  FMin = FCount == 0 ? v : std::min(FMin, v);
  FMax = FCount == 0 ? v : std::max(FMax, v);
  FSum += v;
  FSquares += v * v;
  ++FCount;
}

std::string TAccumulator::Result() const {
  long double r = 0;
  if (FFunction == "NUMBER")
    r = FRows;
  else if (FFunction == "COUNT")
    r = FCount;
  else if (FCount == 0)
    return {};
  else if (FText)
    return !FOrdered                ? std::string()
           : FFunction == "MINIMUM" ? FMinText
           : FFunction == "MAXIMUM" ? FMaxText
                                    : std::string();
  else if (FFunction == "SUM")
    r = FSum;
  else if (FFunction == "AVG")
    r = FSum / FCount;
  else if (FFunction == "MINIMUM")
    r = FMin;
  else if (FFunction == "MAXIMUM")
    r = FMax;
  else {
    // sample variance, as Oracle's VARIANCE: 0 for a single value
    long double var =
        FCount < 2 ? 0 : std::max<long double>(0, (FSquares - FSum * FSum / FCount) / (FCount - 1));
    r = FFunction == "STD" ? std::sqrt(var) : var;
  }
  char buf[64];
  // 18 significant places: the long double's noise beyond them goes
  std::snprintf(buf, sizeof buf, "%.18Lg", r);
  return buf;
}

void TAccumulator::Reset() {
  FSum = FSquares = FMin = FMax = 0;
  FCount = FRows = 0;
  FText = false;
  FOrdered = true;
  FMinText.clear();
  FMaxText.clear();
}

namespace {

std::string FunctionName(const std::string& word) {
  if (word == "SUM" || word == "AVG" || word == "STD")
    return word;
  if (Abbrev(word, "COUNT", 3))
    return "COUNT";
  if (Abbrev(word, "NUMBER", 3))
    return "NUMBER";
  if (Abbrev(word, "MINIMUM", 3))
    return "MINIMUM";
  if (Abbrev(word, "MAXIMUM", 3))
    return "MAXIMUM";
  if (Abbrev(word, "VARIANCE", 3))
    return "VARIANCE";
  return {};
}

std::string Lower(std::string s) {
  for (auto& c : s)
    c = static_cast<char>(ora::lowerC(static_cast<unsigned char>(c)));
  return s;
}

std::string Unquote(const std::string& s) {
  if (s.size() >= 2 && (s[0] == '\'' || s[0] == '"') && s.back() == s[0])
    return s.substr(1, s.size() - 2);
  return s;
}

// Words, a quoted text with its blanks kept as one word.
std::vector<std::string> Words(const std::string& s) {
  std::vector<std::string> out;
  for (size_t i = 0; i < s.size();) {
    if (s[i] == ' ' || s[i] == '\t') {
      ++i;
      continue;
    }
    size_t b = i;
    if (s[i] == '\'' || s[i] == '"') {
      size_t e = s.find(s[i], i + 1);
      i = e == std::string::npos ? s.size() : e + 1;
    } else {
      while (i < s.size() && s[i] != ' ' && s[i] != '\t')
        ++i;
    }
    out.push_back(s.substr(b, i - b));
  }
  return out;
}

} // namespace

void TSqlShell::BreakCommand(const std::string& args) {
  std::vector<std::string> w = Words(args);
  if (w.empty()) {
    if (FBreaks.empty()) {
      FOut << "SP2-0045: * no break(s) defined\n";
      return;
    }
    for (auto& b : FBreaks) {
      FOut << "break on " << b.Column;
      if (b.SkipPage)
        FOut << " page";
      else if (b.Skip > 0)
        FOut << " skip " << b.Skip;
      FOut << (b.Duplicates ? " dup\n" : " nodup\n");
    }
    return;
  }
  if (const std::string first = Upper(w[0]); first != "ON" && first != "BY" && first != "ACROSS") {
    FOut << "SP2-0016: Break specification must start with ON/BY or ACROSS keyword\n";
    return;
  }
  std::vector<TBreakSettings> breaks;
  for (size_t i = 0; i < w.size(); ++i) {
    std::string word = Upper(w[i]);
    if (word == "ON" && i + 1 < w.size()) {
      TBreakSettings b;
      b.Column = Upper(Unquote(w[++i]));
      breaks.push_back(b);
    } else if (breaks.empty()) {
      break;
    } else if (Abbrev(word, "SKIP", 3) && i + 1 < w.size()) {
      std::string n = Upper(w[++i]);
      long long v = 0;
      if (n == "PAGE")
        breaks.back().SkipPage = true;
      else if (ParseInt(n, v) && v >= 0 && v <= 1000)
        breaks.back().Skip = static_cast<int>(v);
      else {
        FOut << "SP2-0044: SKIP needs a number of lines or PAGE, not \"" << w[i] << "\"\n";
        return;
      }
    } else if (Abbrev(word, "DUPLICATES", 3)) {
      breaks.back().Duplicates = true;
    } else if (Abbrev(word, "NODUPLICATES", 5)) {
      breaks.back().Duplicates = false;
    } else {
      breaks.clear();
      break;
    }
  }
  if (breaks.empty()) {
    FOut << "SP2-0158: unknown BREAK option \"" << args << "\"\n";
    return;
  }
  FBreaks = std::move(breaks);
}

void TSqlShell::ComputeCommand(const std::string& args) {
  std::vector<std::string> w = Words(args);
  if (w.empty()) {
    if (FComputes.empty())
      FOut << "SP2-0044: For a list of known columns use COLUMN and for breaks use BREAK\n";
    for (auto& c : FComputes) {
      FOut << "COMPUTE";
      for (size_t k = 0; k < c.Functions.size(); ++k)
        FOut << " " << Lower(c.Functions[k]) << " LABEL '" << c.Labels[k] << "'";
      FOut << " OF";
      for (auto& o : c.Of)
        FOut << " " << o;
      FOut << " ON " << c.On << "\n";
    }
    return;
  }
  TComputeSettings c;
  size_t i = 0;
  for (; i < w.size() && Upper(w[i]) != "OF"; ++i) {
    std::string word = Upper(w[i]);
    if (Abbrev(word, "LABEL", 3) && i + 1 < w.size() && !c.Labels.empty()) {
      c.Labels.back() = Unquote(w[++i]);
      continue;
    }
    std::string f = FunctionName(word);
    if (f.empty()) {
      FOut << "SP2-0158: unknown COMPUTE option \"" << w[i] << "\"\n";
      return;
    }
    c.Functions.push_back(f);
    c.Labels.push_back(Lower(f == "VARIANCE" ? std::string("variance") : f));
  }
  for (++i; i < w.size() && Upper(w[i]) != "ON"; ++i)
    c.Of.push_back(Upper(Unquote(w[i])));
  std::vector<std::string> on;
  for (++i; i < w.size(); ++i)
    on.push_back(Upper(Unquote(w[i])));
  if (c.Functions.empty() || c.Of.empty() || on.empty()) {
    FOut << "SP2-0083: use COMPUTE function [LABEL text] ... OF column ... ON column|REPORT\n";
    return;
  }
  for (auto& target : on) {
    TComputeSettings one = c;
    one.On = target;
    // A new COMPUTE of a column on the same break takes the place of the old one.
    for (auto& old : FComputes)
      if (old.On == one.On)
        std::erase_if(old.Of, [&](const std::string& col) {
          return std::find(one.Of.begin(), one.Of.end(), col) != one.Of.end();
        });
    std::erase_if(FComputes, [](const TComputeSettings& old) { return old.Of.empty(); });
    FComputes.push_back(one);
  }
}
