// COLUMN and CLEAR: how the columns of query output are formatted and headed.
#include "CType.h"
#include "NumberText.h"
#include "ShellWords.h"
#include "SqlShell.h"

#include <algorithm>
#include <cctype>
#include <charconv>

using namespace shellwords;

namespace {

using TToken = TQuotedWord;

// The words of a command; a ";" ending it is not part of its last word.
std::vector<TToken> Tokens(const std::string& s) {
  std::vector<TToken> out = QuotedWords(s);
  if (!out.empty() && !out.back().Quoted) {
    std::string& last = out.back().Text;
    while (!last.empty() && last.back() == ';')
      last.pop_back();
    if (last.empty())
      out.pop_back();
  }
  return out;
}

bool ValidFormat(const std::string& f) {
  if (f.size() > 1 && f[0] == 'A') {
    int n = 0;
    auto r = std::from_chars(f.data() + 1, f.data() + f.size(), n);
    return r.ec == std::errc() && r.ptr == f.data() + f.size() && n >= 1 && n <= 32767;
  }
  return IsNumberModel(f);
}

std::string Quoted(const std::string& s) {
  std::string r = "'";
  for (char c : s)
    r += c == '\'' ? std::string("''") : std::string(1, c);
  return r + "'";
}

} // namespace

const TColumnSettings* TSqlShell::Column(const std::string& name) const {
  auto it = FColumns.find(Upper(name));
  return it == FColumns.end() || it->second.Off ? nullptr : &it->second;
}

void TSqlShell::ListColumn(const TColumnSettings& col) {
  FOut << "COLUMN   " << col.Name << (col.Off ? " OFF\n" : " ON\n");
  if (!col.Alias.empty())
    FOut << "ALIAS    " << col.Alias << "\n";
  if (col.HasHeading)
    FOut << "HEADING  " << Quoted(col.Heading) << " headsep '"
         << (col.HeadSep ? std::string(1, col.HeadSep) : std::string()) << "'\n";
  if (!col.Format.empty())
    FOut << "FORMAT   " << col.Format << "\n";
  if (col.HasNullText)
    FOut << "NULL     " << Quoted(col.NullText) << "\n";
  if (col.NoPrint)
    FOut << "noprint\n";
  if (col.FoldBefore)
    FOut << "fold_before\n";
  if (col.FoldAfter)
    FOut << "fold_after\n";
  if (!col.NewValue.empty())
    FOut << "NEW_VALUE " << col.NewValue << "\n";
  if (!col.OldValue.empty())
    FOut << "OLD_VALUE " << col.OldValue << "\n";
  if (col.Justify)
    FOut << "justify  "
         << (col.Justify == 'L'   ? "left"
             : col.Justify == 'C' ? "center"
                                  : "right")
         << "\n";
  // WRAPPED is the default and is not listed.
  if (col.Truncated || col.WordWrapped)
    FOut << (col.Truncated ? "truncate\n" : "word_wrap\n");
}

void TSqlShell::ColumnCommand(const std::string& args) {
  std::vector<TToken> t = Tokens(args);
  if (t.empty()) {
    for (auto& [key, col] : FColumns) {
      ListColumn(col);
      FOut << "\n";
    }
    return;
  }
  std::string key = Upper(t[0].Text);
  auto it = FColumns.find(key);
  bool byAlias = false;
  if (it == FColumns.end()) { // an ALIAS stands for its column
    it = std::find_if(FColumns.begin(), FColumns.end(),
                      [&](const auto& kv) { return Upper(kv.second.Alias) == key; });
    byAlias = it != FColumns.end();
    if (byAlias)
      key = it->first;
  }
  if (t.size() == 1) {
    if (it == FColumns.end())
      FOut << "SP2-0046: COLUMN '" << t[0].Text << "' not defined\n";
    else
      ListColumn(it->second);
    return;
  }
  TColumnSettings col = it == FColumns.end() ? TColumnSettings() : it->second;
  if (!byAlias)
    col.Name = t[0].Text;
  for (size_t i = 1; i < t.size(); ++i) {
    std::string opt = Upper(t[i].Text);
    bool hasValue = i + 1 < t.size();
    if (Abbrev(opt, "CLEAR", 3)) {
      FColumns.erase(key);
      return;
    }
    if (Abbrev(opt, "FORMAT", 3) && hasValue) {
      std::string f = Upper(t[++i].Text);
      if (!ValidFormat(f)) {
        FOut << "SP2-0246: Illegal FORMAT string \"" << t[i].Text << "\"\n";
        return;
      }
      col.Format = f;
    } else if (Abbrev(opt, "HEADING", 3) && hasValue) {
      col.Heading = t[++i].Text;
      col.HasHeading = true;
      col.HeadSep = Settings.HeadSep;
    } else if (Abbrev(opt, "NULL", 3) && hasValue) {
      col.NullText = t[++i].Text;
      col.HasNullText = true;
    } else if (Abbrev(opt, "WRAPPED", 3) || Abbrev(opt, "WORD_WRAPPED", 3)) {
      col.Truncated = false;
      col.WordWrapped = opt[1] == 'O';
      col.Wrapped = true;
    } else if (Abbrev(opt, "NOPRINT", 3) || Abbrev(opt, "PRINT", 2)) {
      col.NoPrint = opt[0] == 'N';
    } else if (Abbrev(opt, "JUSTIFY", 3) && hasValue) {
      std::string side = Upper(t[++i].Text);
      if (Abbrev(side, "LEFT", 1) || Abbrev(side, "CENTER", 1) || Abbrev(side, "CENTRE", 1) ||
          Abbrev(side, "RIGHT", 1))
        col.Justify = side[0];
      else {
        FOut << "SP2-0158: unknown COLUMN JUSTIFY option \"" << t[i].Text << "\"\n";
        return;
      }
    } else if ((Abbrev(opt, "NEW_VALUE", 5) || Abbrev(opt, "OLD_VALUE", 5)) && hasValue) {
      std::string var = t[++i].Text;
      if (var.empty() || !std::all_of(var.begin(), var.end(), [](char c) {
            return ora::alnumC(static_cast<unsigned char>(c)) || c == '_' || c == '$' || c == '#';
          })) {
        FOut << "SP2-0136: " << opt << " requires a variable name, not \"" << var << "\"\n";
        return;
      }
      (opt[0] == 'N' ? col.NewValue : col.OldValue) = var;
    } else if (Abbrev(opt, "FOLD_AFTER", 6) || Abbrev(opt, "FOLD_BEFORE", 6) ||
               Abbrev(opt, "NEWLINE", 3)) {
      (Abbrev(opt, "FOLD_AFTER", 6) ? col.FoldAfter : col.FoldBefore) = true;
      long long lines = 0;
      if (i + 1 < t.size() && ParseInt(t[i + 1].Text, lines))
        ++i; // a number of lines to skip; one new line is all this shell starts
    } else if (Abbrev(opt, "ENTMAP", 3) && hasValue) {
      const std::string v = Upper(t[++i].Text);
      if (v != "ON" && v != "OFF") {
        FOut << "SP2-0265: entmap must be set ON or OFF\n";
        return;
      }
      col.Entmap = v == "ON" ? 'Y' : 'N';
    } else if (opt == "ON" || opt == "OFF") {
      col.Off = opt == "OFF"; // OFF keeps the settings for a later ON
    } else if (Abbrev(opt, "LIKE", 3) && hasValue) {
      const TColumnSettings* like = Column(t[++i].Text);
      if (!like) {
        const std::string other = Upper(t[i].Text);
        for (auto& [k, c] : FColumns)
          if (!c.Off && Upper(c.Alias) == other)
            like = &c;
      }
      if (!like) {
        FOut << "SP2-0046: COLUMN '" << t[i].Text << "' not defined\n";
        return;
      }
      std::string name = col.Name, alias = col.Alias;
      col = *like;
      col.Name = name;
      col.Alias = alias;
    } else if (Abbrev(opt, "ALIAS", 3) && hasValue) {
      col.Alias = t[++i].Text;
    } else if (Abbrev(opt, "TRUNCATED", 3)) {
      col.Truncated = true;
      col.WordWrapped = false;
      col.Wrapped = false;
    } else {
      FOut << "SP2-0158: unknown COLUMN option \"" << t[i].Text << "\"\n";
      return;
    }
  }
  FColumns[key] = col;
}

void TSqlShell::ClearCommand(const std::string& args) {
  std::string what = Upper(args);
  if (Abbrev(what, "COLUMNS", 3)) {
    FColumns.clear();
    FOut << "columns cleared\n";
  } else if (Abbrev(what, "BUFFER", 4) || what == "SQL") {
    FBuffer.clear();
    FCurrent = 0;
    FOut << (what == "SQL" ? "sql" : "buffer") << " cleared\n";
  } else if (Abbrev(what, "BREAKS", 3)) {
    FBreaks.clear();
    FOut << "breaks cleared\n";
  } else if (Abbrev(what, "COMPUTES", 4)) {
    FComputes.clear();
    FOut << "computes cleared\n";
  } else if (Abbrev(what, "TIMING", 4)) {
    // each timer stops as TIMING STOP stops it, the latest first
    while (!FTimers.empty())
      TimingCommand("STOP");
  } else if (Abbrev(what, "SCREEN", 3)) {
    // nothing to clear on a stream
  } else {
    FOut << "SP2-0158: unknown CLEAR option \"" << args << "\"\n";
  }
}
