// The SQL buffer's line commands: LIST with a range, a line number, CHANGE, APPEND, INPUT, DEL;
// SAVE and GET.
#include "CType.h"
#include "ShellWords.h"
#include "SqlShell.h"
#include "SqlSplitter.h"

#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

using namespace shellwords;

namespace {

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);)
    lines.push_back(l);
  return lines;
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string s;
  for (size_t i = 0; i < lines.size(); ++i)
    s += (i ? "\n" : "") + lines[i];
  return s;
}

} // namespace

std::vector<std::string> TSqlShell::BufferLines() const { return SplitLines(FBuffer); }

void TSqlShell::SetBufferLines(const std::vector<std::string>& lines) {
  FBuffer = JoinLines(lines);
}

int TSqlShell::CurrentLine() const {
  int count = static_cast<int>(BufferLines().size());
  return FCurrent > 0 && FCurrent <= count ? FCurrent : count;
}

void TSqlShell::ShowLine(const std::vector<std::string>& lines, int n, bool current) {
  std::string num = std::to_string(n);
  FOut << std::string(num.size() < 3 ? 3 - num.size() : 0, ' ') << num << (current ? "* " : "  ")
       << lines[static_cast<size_t>(n - 1)] << "\n";
}

// A line reference of LIST and DEL: n, "*" (the current line) or LAST; 0 when it is none.
int TSqlShell::LineRef(const std::string& word, int count) const {
  std::string w = Upper(word);
  if (w == "*")
    return CurrentLine();
  if (Abbrev(w, "LAST", 1))
    return count;
  long long n = 0;
  return ParseInt(w, n) && n >= 1 && n <= count ? static_cast<int>(n) : 0;
}

// LIST [n | n m | * | LAST | n * | * n | n LAST]: the last line listed becomes the current one.
void TSqlShell::ListBuffer(const std::string& args) {
  std::vector<std::string> lines = BufferLines();
  const int count = static_cast<int>(lines.size());
  if (count == 0) {
    FOut << "SP2-0223: No lines in SQL buffer.\n";
    return;
  }
  std::vector<std::string> w = SplitWords(args);
  int from = 1, to = count;
  if (!w.empty()) {
    from = LineRef(w[0], count);
    to = w.size() > 1 ? LineRef(w[1], count) : from;
    if (from == 0 || to == 0 || w.size() > 2) {
      FOut << "SP2-0226: Invalid line number\n";
      return;
    }
    if (to < from) {
      FOut << "SP2-0225: Invalid ending line number\n";
      return;
    }
  }
  for (int n = from; n <= to; ++n)
    ShowLine(lines, n, n == to);
  FCurrent = to;
}

// "n" lists line n and makes it current; "n text" puts text in its place (after the last line
// when n is one more than the lines there are; before the first for 0).
void TSqlShell::LineNumberCommand(const std::string& text) {
  size_t e = 0;
  while (e < text.size() && ora::digitC(static_cast<unsigned char>(text[e])))
    ++e;
  long long n = 0;
  if (!ParseInt(text.substr(0, e), n))
    n = std::numeric_limits<long long>::max(); // past any line there is
  std::string rest = text.substr(e);
  if (!rest.empty() && (rest[0] == ' ' || rest[0] == '\t'))
    rest.erase(0, 1);
  std::vector<std::string> lines = BufferLines();
  const long long count = static_cast<long long>(lines.size());
  if (rest.empty()) {
    if (n < 1 || n > count) {
      FOut << "SP2-0226: Invalid line number\n";
      return;
    }
    FCurrent = static_cast<int>(n);
    ShowLine(lines, FCurrent, true);
    return;
  }
  if (n > count) {
    lines.push_back(rest);
    n = count + 1;
  } else if (n == 0) {
    lines.insert(lines.begin(), rest);
    n = 1;
  } else {
    lines[static_cast<size_t>(n - 1)] = rest;
  }
  SetBufferLines(lines);
  FBufferPlSql = TSqlSplitter::IsPlSql(FBuffer);
  FCurrent = static_cast<int>(n);
}

// C[HANGE] /old/new/ on the current line, which is then listed.
void TSqlShell::ChangeCommand(const std::string& args) {
  std::vector<std::string> lines = BufferLines();
  if (lines.empty()) {
    FOut << "SP2-0223: No lines in SQL buffer.\n";
    return;
  }
  std::string a = args;
  if (a.empty() || ora::alnumC(static_cast<unsigned char>(a[0]))) {
    FOut << "SP2-0024: Nothing to change.\n";
    return;
  }
  const char sep = a[0];
  size_t mid = a.find(sep, 1);
  std::string oldText = a.substr(1, mid == std::string::npos ? std::string::npos : mid - 1);
  std::string newText;
  if (mid != std::string::npos) {
    size_t end = a.find(sep, mid + 1);
    newText = a.substr(mid + 1, end == std::string::npos ? std::string::npos : end - mid - 1);
  }
  const int cur = CurrentLine();
  std::string& line = lines[static_cast<size_t>(cur - 1)];
  if (oldText.empty()) {
    line = newText + line; // an empty old text puts the new one in front
  } else {
    // The first occurrence, its letters' case aside. "..." in the old text stands for the rest
    // of the line before or after it, or for what lies between its two parts.
    const std::string upper = Upper(line), target = Upper(oldText);
    size_t at = std::string::npos, length = 0;
    const size_t dots = target.find("...");
    if (dots == std::string::npos || target == "...") {
      at = upper.find(target);
      length = target.size();
    } else {
      const std::string before = target.substr(0, dots), after = target.substr(dots + 3);
      if (before.empty()) {
        size_t end = upper.find(after);
        if (end != std::string::npos) {
          at = 0;
          length = end + after.size();
        }
      } else if ((at = upper.find(before)) != std::string::npos) {
        size_t end = after.empty() ? upper.size() : upper.find(after, at + before.size());
        if (end == std::string::npos)
          at = std::string::npos;
        else
          length = (after.empty() ? end : end + after.size()) - at;
      }
    }
    if (at == std::string::npos) {
      FOut << "SP2-0023: String not found.\n";
      return;
    }
    line.replace(at, length, newText);
  }
  SetBufferLines(lines);
  FBufferPlSql = TSqlSplitter::IsPlSql(FBuffer);
  FCurrent = cur;
  ShowLine(lines, cur, true);
}

// A[PPEND] text adds text at the end of the current line and lists it.
void TSqlShell::AppendCommand(const std::string& typed) {
  // a semicolon ends the command, as after any other: ";;" appends one
  std::string text = typed;
  if (!text.empty() && text.back() == ';')
    text.pop_back();
  if (text.empty()) {
    FOut << "SP2-0004: Nothing to append.\n";
    return;
  }
  std::vector<std::string> lines = BufferLines();
  if (lines.empty()) {
    FOut << "SP2-0223: No lines in SQL buffer.\n";
    return;
  }
  const int cur = CurrentLine();
  lines[static_cast<size_t>(cur - 1)] += text;
  SetBufferLines(lines);
  FBufferPlSql = TSqlSplitter::IsPlSql(FBuffer);
  FCurrent = cur;
  ShowLine(lines, cur, true);
}

// I[NPUT] text adds a line after the current one; it becomes the current line.
void TSqlShell::InputCommand(const std::string& text) {
  std::vector<std::string> lines = BufferLines();
  const int cur = lines.empty() ? 0 : CurrentLine();
  lines.insert(lines.begin() + cur, text);
  SetBufferLines(lines);
  FBufferPlSql = TSqlSplitter::IsPlSql(FBuffer);
  FCurrent = cur + 1;
}

// DEL [n | n m | * | LAST]: the line after the deleted ones becomes current.
void TSqlShell::DelCommand(const std::string& args) {
  std::vector<std::string> lines = BufferLines();
  const int count = static_cast<int>(lines.size());
  if (count == 0) {
    FOut << "SP2-0223: No lines in SQL buffer.\n";
    return;
  }
  std::vector<std::string> w = SplitWords(args);
  int from = w.empty() ? CurrentLine() : LineRef(w[0], count);
  int to = w.size() > 1 ? LineRef(w[1], count) : from;
  if (from == 0 || to == 0 || w.size() > 2) {
    FOut << "SP2-0226: Invalid line number\n";
    return;
  }
  if (to < from) {
    FOut << "SP2-0225: Invalid ending line number\n";
    return;
  }
  lines.erase(lines.begin() + (from - 1), lines.begin() + to);
  SetBufferLines(lines);
  FBufferPlSql = TSqlSplitter::IsPlSql(FBuffer);
  FCurrent = std::min(from, static_cast<int>(lines.size()));
}

namespace {

// A script name without an extension gets SET SUFFIX's.
std::filesystem::path ScriptPath(const std::string& name, const std::string& suffix) {
  std::filesystem::path p(name);
  if (!p.has_extension() && !suffix.empty())
    p += "." + suffix;
  return p;
}

} // namespace

// SAV[E] file [CRE[ATE]|REP[LACE]|APP[END]]: the buffer as a script that runs it with "/".
void TSqlShell::SaveCommand(const std::string& args) {
  std::vector<std::string> w = SplitWords(args);
  if (w.empty() || w.size() > 2) {
    FOut << "SP2-0540: use SAVE file [CREATE|REPLACE|APPEND]\n";
    return;
  }
  if (FBuffer.empty()) {
    FOut << "SP2-0107: Nothing to save.\n";
    return;
  }
  std::string mode = w.size() > 1 ? Upper(w[1]) : "CREATE";
  const bool replace = Abbrev(mode, "REPLACE", 3), append = Abbrev(mode, "APPEND", 3);
  if (!replace && !append && !Abbrev(mode, "CREATE", 3)) {
    FOut << "SP2-0540: use SAVE file [CREATE|REPLACE|APPEND]\n";
    return;
  }
  WriteScript(w[0], replace, append, FBuffer + "\n/\n", "SAVE");
}

// Writes `text` to the script `name` as SAVE and STORE SET do: CREATE refuses a file that is
// there, REPLACE writes it anew, APPEND adds to it; `command` is named in the refusal.
void TSqlShell::WriteScript(const std::string& name, bool replace, bool append,
                            const std::string& text, const char* command) {
  std::filesystem::path p = ScriptPath(name, Settings.Suffix);
  std::error_code ec;
  const bool exists = std::filesystem::exists(p, ec);
  if (exists && !replace && !append) {
    FOut << "SP2-0540: File \"" << p.string() << "\" already exists. Use \"" << command
         << " filename[.ext] REPLACE\".\n";
    return;
  }
  std::ofstream out(p, append ? std::ios::binary | std::ios::app : std::ios::binary);
  out << text;
  out.close();
  if (!out) {
    FOut << "SP2-0110: Cannot create save file \"" << p.string() << "\"\n";
    return;
  }
  if (append)
    FOut << "Appended file to " << p.string() << "\n";
  else if (exists)
    FOut << "Wrote file " << p.string() << "\n";
  else
    FOut << "Created file " << p.string() << "\n";
}

// GET file [LIST|NOLIST]: a script's text into the buffer, without its closing "/" line.
void TSqlShell::GetCommand(const std::string& args) {
  std::vector<std::string> w = SplitWords(args);
  if (w.empty()) {
    FOut << "SP2-0223: use GET file [LIST|NOLIST]\n";
    return;
  }
  std::filesystem::path p = ScriptPath(w[0], Settings.Suffix);
  std::ifstream in(p, std::ios::binary);
  if (!in) {
    FOut << "SP2-0160: Unable to open \"" << p.string() << "\"\n";
    return;
  }
  std::ostringstream bytes;
  bytes << in.rdbuf();
  std::vector<std::string> lines = SplitLines(DecodeScriptText(bytes.str()));
  for (auto& l : lines)
    if (!l.empty() && l.back() == '\r')
      l.pop_back();
  while (!lines.empty() && (Trim(lines.back()).empty() || Trim(lines.back()) == "/"))
    lines.pop_back();
  SetBufferLines(lines);
  FBufferPlSql = TSqlSplitter::IsPlSql(FBuffer);
  FCurrent = 0;
  if (w.size() > 1 && Abbrev(Upper(w[1]), "NOLIST", 3))
    return;
  for (size_t n = 1; n <= lines.size(); ++n)
    ShowLine(lines, static_cast<int>(n), n == lines.size());
}
