// TTITLE and BTITLE: the lines at the top and the bottom of each page of query output.
#include "DisplayWidth.h"
#include "NumberText.h"
#include "OciCompo.h"
#include "ShellWords.h"
#include "SqlShell.h"

#include <algorithm>
#include <ctime>

using namespace shellwords;

namespace {

using TTitleToken = TQuotedWord;

std::vector<TTitleToken> TitleTokens(const std::string& s) { return QuotedWords(s); }

bool IsClause(const std::string& w) {
  return Abbrev(w, "LEFT", 2) || Abbrev(w, "CENTER", 2) || Abbrev(w, "CENTRE", 2) ||
         Abbrev(w, "RIGHT", 1) || w == "COL" || Abbrev(w, "SKIP", 1) || w == "TAB" || w == "BOLD" ||
         Abbrev(w, "FORMAT", 3);
}

// One line being built: text placed at columns of a line `width` wide.
struct TTitleLine {
  std::string Text;
  void Place(const std::string& piece, int col) {
    int have = DisplayWidth(Text);
    if (col > have)
      Text += std::string(static_cast<size_t>(col - have), ' ');
    else if (col < have) {
      // overwrite: keep what lies before the column, drop the rest
      std::string kept;
      int w = 0;
      for (size_t i = 0; i < Text.size();) {
        auto b = static_cast<unsigned char>(Text[i]);
        size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : 4;
        std::string ch = Text.substr(i, n);
        int cw = DisplayWidth(ch);
        if (w + cw > col)
          break;
        kept += ch;
        w += cw;
        i += n;
      }
      Text = kept + std::string(static_cast<size_t>(col - w), ' ');
    }
    Text += piece;
  }
};

} // namespace

void TSqlShell::TitleCommand(int kind, const std::string& args) {
  TTitle& t = FTitles[kind];
  std::string a = Trim(args);
  while (!a.empty() && a.back() == ';')
    a.pop_back();
  const std::string word = Upper(a);
  if (a.empty()) {
    FOut << TitleText(kind) << "\n";
    return;
  }
  if (word == "ON" || word == "OFF") {
    t.On = word == "ON" && !t.Spec.empty();
    return;
  }
  t.Page = false;
  if (kind >= ReportHeader && (word == "PAGE" || word.compare(0, 5, "PAGE ") == 0)) {
    t.Page = true;
    a = Trim(a.substr(4));
  }
  t.Spec = a;
  t.On = true;
}

std::vector<std::string> TSqlShell::TitleLines(int kind, int page) {
  const std::string& spec = FTitles[kind].Spec;
  const bool top = kind == TopTitle;
  const int width = std::max(1, Settings.LineSize);
  std::vector<std::string> lines;
  std::vector<TTitleToken> tokens = TitleTokens(spec);
  if (tokens.empty())
    return lines;
  auto centred = [&](const std::string& s) {
    int room = std::max(0, width - DisplayWidth(s));
    return std::string(static_cast<size_t>(room / 2), ' ') + s;
  };
  if (!IsClause(Upper(tokens[0].Text))) {
    // The old form: the text centred; a top title has the date and page number above it and a
    // blank line under it.
    std::string text;
    for (size_t k = 0; k < tokens.size(); ++k)
      text += (k ? " " : "") + tokens[k].Text;
    if (top) {
      char date[32];
      std::time_t now = std::time(nullptr);
      std::strftime(date, sizeof date, "%a %b %d", std::localtime(&now));
      std::string pageNo = std::to_string(page);
      pageNo.insert(0, pageNo.size() < 4 ? 4 - pageNo.size() : 0, ' ');
      std::string right = "page " + pageNo;
      int gap = std::max(1, width - DisplayWidth(date) - DisplayWidth(right));
      lines.push_back(date + std::string(static_cast<size_t>(gap), ' ') + right);
    }
    for (size_t from = 0;;) {
      size_t bar = Settings.HeadSep ? text.find(Settings.HeadSep, from) : std::string::npos;
      lines.push_back(centred(text.substr(from, bar == std::string::npos ? bar : bar - from)));
      if (bar == std::string::npos)
        break;
      from = bar + 1;
    }
    if (top)
      lines.emplace_back();
    return lines;
  }
  // The new form: texts and values placed LEFT, CENTER or RIGHT, at COL n, SKIP n lines.
  TTitleLine line;
  char align = 'L';
  int col = 0;
  std::string group; // the texts since the last placing clause
  std::string format;
  bool started = false;
  auto place = [&] {
    if (group.empty())
      return;
    int w = DisplayWidth(group);
    if (align == 'C')
      line.Place(group, std::max(0, (width - w) / 2));
    else if (align == 'R')
      line.Place(group, std::max(0, width - w));
    else {
      line.Place(group, col);
      col += w;
    }
    group.clear();
  };
  auto padded = [&](const std::string& v) {
    if (!format.empty())
      return FormatNumber(v, format);
    std::string s = NumberInWidth(v, Settings.NumWidth);
    int pad = Settings.NumWidth - DisplayWidth(s);
    return std::string(static_cast<size_t>(std::max(pad, 0)), ' ') + s;
  };
  for (size_t k = 0; k < tokens.size(); ++k) {
    const TTitleToken& t = tokens[k];
    const std::string w = Upper(t.Text);
    const bool hasArg = k + 1 < tokens.size();
    long long n = 0;
    if (t.Quoted) {
      group += t.Text;
      started = true;
      continue;
    }
    if (Abbrev(w, "LEFT", 2) || Abbrev(w, "CENTER", 2) || Abbrev(w, "CENTRE", 2) ||
        Abbrev(w, "RIGHT", 1)) {
      place();
      align = w[0] == 'L' ? 'L' : w[0] == 'C' ? 'C' : 'R';
      if (align == 'L')
        col = DisplayWidth(line.Text);
    } else if (w == "COL" && hasArg && ParseInt(tokens[k + 1].Text, n)) {
      place();
      ++k;
      align = 'L';
      col = static_cast<int>(std::clamp(n - 1, 0LL, 32766LL));
    } else if (w == "TAB" && hasArg && ParseInt(tokens[k + 1].Text, n)) {
      place();
      ++k;
      align = 'L';
      col = static_cast<int>(std::clamp(col + n, 0LL, 32766LL));
    } else if (Abbrev(w, "SKIP", 1)) {
      place();
      long long count = 1;
      if (hasArg && ParseInt(tokens[k + 1].Text, count))
        ++k;
      count = std::clamp(count, 0LL, 1000LL);
      if (count == 0) { // back to the start of the same line
        col = 0;
        align = 'L';
        continue;
      }
      std::string done = line.Text;
      done.erase(done.find_last_not_of(' ') + 1);
      lines.push_back(done);
      for (long long b = 1; b < count; ++b)
        lines.emplace_back();
      line = TTitleLine();
      col = 0;
      align = 'L';
      started = false;
    } else if (w == "BOLD") {
      // a terminal has no bold print
    } else if (Abbrev(w, "FORMAT", 3) && hasArg) {
      format = Upper(tokens[++k].Text);
      if (!IsNumberModel(format))
        format.clear();
    } else if (w == "SQL.PNO") {
      group += padded(std::to_string(page));
      started = true;
    } else if (w == "SQL.LNO") {
      group += padded(std::to_string(FTitleLineNo + static_cast<int>(lines.size())));
      started = true;
    } else if (w == "SQL.SQLCODE") {
      group += padded(std::to_string(FLastError));
      started = true;
    } else if (w == "SQL.USER") {
      group += FSession.Connected() ? Upper(FSession.UserName) : std::string();
      started = true;
    } else if (w == "SQL.RELEASE") {
      group += "0703000000";
      started = true;
    } else {
      std::string value;
      if (Variable(t.Text, value))
        group += FNumberDefines.count(Upper(t.Text)) ? padded(value) : value;
      else
        group += t.Text;
      started = true;
    }
  }
  place();
  if (started || !line.Text.empty()) {
    std::string done = line.Text;
    done.erase(done.find_last_not_of(' ') + 1);
    lines.push_back(done);
  }
  return lines;
}
