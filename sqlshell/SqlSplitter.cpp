#include "SqlSplitter.h"

#include "CType.h"

#include <cctype>
#include <vector>

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

bool IsIdentChar(char c) {
  return ora::alnumC(static_cast<unsigned char>(c)) || c == '_' || c == '$' || c == '#' ||
         static_cast<unsigned char>(c) >= 0x80;
}

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && IsSpace(s[b]))
    ++b;
  while (e > b && IsSpace(s[e - 1]))
    --e;
  return s.substr(b, e - b);
}

std::string TrimRight(const std::string& s) {
  size_t e = s.size();
  while (e > 0 && IsSpace(s[e - 1]))
    --e;
  return s.substr(0, e);
}

std::string Upper(std::string s) {
  for (auto& c : s)
    c = static_cast<char>(ora::upperC(static_cast<unsigned char>(c)));
  return s;
}

// Words of a text outside comments, upper case, up to the first character that is neither.
std::vector<std::string> Words(const std::string& s, int count) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < s.size() && static_cast<int>(out.size()) < count) {
    char c = s[i];
    if (IsSpace(c)) {
      ++i;
      continue;
    }
    if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
      size_t nl = s.find('\n', i);
      if (nl == std::string::npos)
        break;
      i = nl + 1;
      continue;
    }
    if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
      size_t end = s.find("*/", i + 2);
      if (end == std::string::npos)
        break;
      i = end + 2;
      continue;
    }
    // a block's label comes before its DECLARE or BEGIN
    if (out.empty() && c == '<' && s.compare(i, 2, "<<") == 0) {
      size_t end = s.find(">>", i + 2);
      if (end == std::string::npos)
        break;
      i = end + 2;
      continue;
    }
    if (!IsIdentChar(c))
      break;
    size_t b = i;
    while (i < s.size() && IsIdentChar(s[i]))
      ++i;
    out.push_back(Upper(s.substr(b, i - b)));
  }
  return out;
}

// `word` is `full` or an abbreviation of it at least `minLen` long.
bool Abbrev(const std::string& word, const char* full, size_t minLen) {
  std::string f = full;
  return word.size() >= minLen && word.size() <= f.size() && f.compare(0, word.size(), word) == 0;
}

} // namespace

bool TSqlSplitter::IsPlSql(const std::string& text) {
  auto w = Words(text, 6);
  if (w.empty())
    return false;
  if (w[0] == "DECLARE" || w[0] == "BEGIN")
    return true;
  // a query after PL/SQL functions declared for it
  if (w[0] == "WITH" && w.size() > 1 && (w[1] == "FUNCTION" || w[1] == "PROCEDURE"))
    return true;
  if (w[0] != "CREATE")
    return false;
  size_t i = 1;
  if (i + 1 < w.size() && w[i] == "OR" && w[i + 1] == "REPLACE")
    i += 2;
  if (i < w.size() && (w[i] == "EDITIONABLE" || w[i] == "NONEDITIONABLE"))
    ++i;
  if (i >= w.size())
    return false;
  const std::string& k = w[i];
  return k == "PACKAGE" || k == "PROCEDURE" || k == "FUNCTION" || k == "TRIGGER" || k == "TYPE" ||
         k == "LIBRARY";
}

bool TSqlSplitter::HasContent(const std::string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (IsSpace(c))
      continue;
    if (c == '-' && i + 1 < text.size() && text[i + 1] == '-') {
      size_t nl = text.find('\n', i);
      if (nl == std::string::npos)
        return false;
      i = nl;
      continue;
    }
    if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
      size_t end = text.find("*/", i + 2);
      if (end == std::string::npos)
        return false;
      i = end + 1;
      continue;
    }
    return true;
  }
  return false;
}

std::string TSqlSplitter::LeadingWords(const std::string& text, int count) {
  std::string r;
  for (auto& w : Words(text, count)) {
    if (!r.empty())
      r += ' ';
    r += w;
  }
  return r;
}

bool TSqlSplitter::IsShellCommand(const std::string& line) {
  std::string t = Trim(line);
  if (t.empty())
    return false;
  if (t[0] == '@' || t[0] == '!' || t[0] == '$')
    return true;
  auto w = Words(t, 2);
  if (w.empty()) {
    // Only a query in parentheses, a block label, a comment or a lone ";" is not a command here.
    return !(t[0] == '(' || t[0] == ';' || t.compare(0, 2, "<<") == 0 ||
             t.compare(0, 2, "--") == 0 || t.compare(0, 2, "/*") == 0);
  }
  const std::string& k = w[0];
  if (k == "SET") {
    // SET TRANSACTION and SET ROLE are SQL.
    std::string next = w.size() > 1 ? w[1] : std::string();
    return next != "TRANSACTION" && next != "ROLE" && next != "CONSTRAINT" && next != "CONSTRAINTS";
  }
  // Commands of classic tools that this shell does not have: still taken as one line each, so
  // they never swallow the statement after them.
  static const char* const others[] = {
      "ACCEPT",  "APPEND",    "ARCHIVE",   "ATTRIBUTE", "BREAK",    "BTITLE", "CHANGE",
      "CLEAR",   "COLUMN",    "COMPUTE",   "COPY",      "DEFINE",   "DEL",    "EDIT",
      "GET",     "HELP",      "HOST",      "INPUT",     "PASSWORD", "PAUSE",  "PRINT",
      "RECOVER", "REPFOOTER", "REPHEADER", "SAVE",      "SHUTDOWN", "SPOOL",  "STARTUP",
      "STORE",   "TIMING",    "TTITLE",    "UNDEFINE",  "VARIABLE", "XQUERY"};
  for (const char* o : others)
    if (k == o)
      return true;
  if (k == "VAR" || k == "ED" || Abbrev(k, "COLUMN", 3) || Abbrev(k, "DEFINE", 3) ||
      Abbrev(k, "UNDEFINE", 5) || Abbrev(k, "SPOOL", 3) || Abbrev(k, "HOST", 2) ||
      Abbrev(k, "CLEAR", 2) || Abbrev(k, "BREAK", 3) || Abbrev(k, "COMPUTE", 4) ||
      Abbrev(k, "CHANGE", 1) || Abbrev(k, "ACCEPT", 3) || Abbrev(k, "SAVE", 3) ||
      Abbrev(k, "APPEND", 1) || Abbrev(k, "INPUT", 1) || Abbrev(k, "TTITLE", 3) ||
      Abbrev(k, "BTITLE", 3) || Abbrev(k, "REPHEADER", 4) || Abbrev(k, "REPFOOTER", 4) ||
      Abbrev(k, "VARIABLE", 3) || Abbrev(k, "PRINT", 3) ||
      ora::digitC(static_cast<unsigned char>(k[0])))
    return true;
  // Any other first word is a shell command too (an unknown one) unless it starts SQL or a block.
  static const char* const sql[] = {"ADMINISTER", "ALTER",  "ANALYZE",      "ASSOCIATE", "AUDIT",
                                    "BEGIN",      "CALL",   "COMMENT",      "COMMIT",    "CREATE",
                                    "DECLARE",    "DELETE", "DISASSOCIATE", "DROP",      "EXPLAIN",
                                    "FLASHBACK",  "GRANT",  "INSERT",       "LOCK",      "MERGE",
                                    "NOAUDIT",    "PURGE",  "RENAME",       "REVOKE",    "ROLLBACK",
                                    "SAVEPOINT",  "SELECT", "TRUNCATE",     "UPDATE",    "WITH"};
  for (const char* s : sql)
    if (k == s)
      return false;
  return true;
}

bool TSqlSplitter::IsRemark(const std::string& line) {
  auto w = Words(line, 1);
  return !w.empty() && Abbrev(w[0], "REMARK", 3);
}

const char* TSqlSplitter::OpenText() const {
  if (FBlockComment)
    return "a comment";
  if (FQuote == '"')
    return "a quoted name";
  if (FQuote)
    return "a quoted string";
  return nullptr;
}

std::string TSqlSplitter::CutOpenString(std::vector<std::string>& rest) const {
  rest.clear();
  if ((FQuote != '\'' && FQuote != '"') || FQQuote || !Terminator || IsPlSql(FPending))
    return {};
  size_t start = 0;
  while (start < FPending.size()) {
    size_t nl = FPending.find('\n', start);
    if (nl == std::string::npos)
      nl = FPending.size();
    std::string line = TrimRight(FPending.substr(start, nl - start));
    if (!line.empty() && line.back() == Terminator) {
      std::string statement = TrimRight(FPending.substr(0, start + line.size() - 1));
      for (size_t b = nl + 1; b < FPending.size();) {
        size_t e = FPending.find('\n', b);
        if (e == std::string::npos)
          e = FPending.size();
        rest.push_back(FPending.substr(b, e - b));
        b = e + 1;
      }
      return statement;
    }
    start = nl + 1;
  }
  return {};
}

void TSqlSplitter::Reset() {
  FPending.clear();
  FCommand.clear();
  FLines = 0;
  FQuote = 0;
  FQQuote = false;
  FBlockComment = false;
}

size_t TSqlSplitter::Scan(const std::string& line) {
  size_t semi = std::string::npos;
  const size_t n = line.size();
  for (size_t i = 0; i < n; ++i) {
    char c = line[i];
    char next = i + 1 < n ? line[i + 1] : '\0';
    if (FBlockComment) {
      if (c == '*' && next == '/') {
        FBlockComment = false;
        ++i;
      }
      continue;
    }
    if (FQuote) {
      if (FQQuote) {
        if (line.compare(i, FQClose.size(), FQClose) == 0 && i + FQClose.size() < n &&
            line[i + FQClose.size()] == '\'') {
          FQuote = 0;
          FQQuote = false;
          i += FQClose.size();
        }
      } else if (c == FQuote) {
        FQuote = 0; // a doubled quote simply opens it again
      }
      continue;
    }
    if (c == '-' && next == '-')
      break;
    if (c == '/' && next == '*') {
      FBlockComment = true;
      ++i;
      continue;
    }
    if ((c == 'q' || c == 'Q') && next == '\'' && i + 2 < n && !IsSpace(line[i + 2])) {
      bool wordStart =
          i == 0 || !IsIdentChar(line[i - 1]) ||
          ((line[i - 1] == 'n' || line[i - 1] == 'N') && (i == 1 || !IsIdentChar(line[i - 2])));
      if (wordStart) {
        char d = line[i + 2];
        size_t len = 1;
        while (static_cast<unsigned char>(d) >= 0xC0 && i + 2 + len < n &&
               (static_cast<unsigned char>(line[i + 2 + len]) & 0xC0) == 0x80)
          ++len;
        FQuote = d == '[' ? ']' : d == '(' ? ')' : d == '{' ? '}' : d == '<' ? '>' : d;
        FQClose = len > 1 ? line.substr(i + 2, len) : std::string(1, FQuote);
        FQQuote = true;
        i += 1 + len;
        semi = std::string::npos;
        continue;
      }
    }
    if (c == '\'' || c == '"') {
      FQuote = c;
      semi = std::string::npos;
      continue;
    }
    if (c == Terminator && c) {
      semi = i;
      continue;
    }
    if (!IsSpace(c))
      semi = std::string::npos;
  }
  return semi;
}

TSplitEvent TSqlSplitter::Feed(const std::string& rawLine) {
  std::string line = rawLine;
  if (!line.empty() && line.back() == '\r')
    line.pop_back();
  const std::string t = Trim(line);
  TSplitEvent ev;

  auto command = [&](const std::string& text) {
    // A trailing "-" continues a shell command on the next line.
    if (text.size() > 1 && text.back() == '-' && IsSpace(text[text.size() - 2])) {
      FCommand += text.substr(0, text.size() - 1);
      return ev;
    }
    ev.Kind = TSplitEvent::Command;
    ev.Text = Trim(FCommand + text);
    FCommand.clear();
    return ev;
  };

  if (!FCommand.empty())
    return command(t);
  const bool blockEnd = BlockTerminator && t.size() == 1 && t[0] == BlockTerminator;
  if (FPending.empty()) {
    if (t.empty() || blockEnd)
      return ev;
    if (t == "/") {
      ev.Kind = TSplitEvent::RunBuffer;
      return ev;
    }
    if (IsShellCommand(t))
      return command(t);
  } else if (!InsideText()) {
    if (Prefix && t.size() > 1 && t[0] == Prefix) // the entry goes on after the command
      return command(Trim(t.substr(1)));
    bool end = t == "/" || blockEnd;
    if (t.empty() && !BlankLinesInSql && !IsPlSql(FPending))
      end = true;
    if (end) {
      ev.Text = TrimRight(FPending);
      ev.PlSql = IsPlSql(ev.Text);
      Reset();
      if (HasContent(ev.Text))
        ev.Kind = t == "/" ? TSplitEvent::Statement : TSplitEvent::Stored;
      return ev;
    }
  }

  size_t semi = Scan(line);
  size_t lineStart = FPending.size();
  FPending += line;
  FPending += '\n';
  ++FLines;
  if (InsideText())
    return ev;
  if (semi != std::string::npos && !IsPlSql(FPending)) {
    ev.Text = TrimRight(FPending.substr(0, lineStart + semi));
    Reset();
    if (HasContent(ev.Text))
      ev.Kind = TSplitEvent::Statement;
    return ev;
  }
  // Comments before a statement are dropped, so the line after them may still be a command.
  if (!HasContent(FPending))
    Reset();
  return ev;
}

bool THistoryFilter::Keep(const std::string& line) {
  std::vector<std::string> words;
  std::string w;
  for (char c : line) {
    if (IsSpace(c) || c == ';' || c == ',') {
      if (!w.empty())
        words.push_back(Upper(w));
      w.clear();
    } else {
      w += c;
    }
  }
  if (!w.empty())
    words.push_back(Upper(w));
  bool drop = false;
  if (!words.empty() && Abbrev(words[0], "CONNECT", 4) && line.find('/') != std::string::npos)
    drop = true;
  for (const auto& word : words) {
    if (FState == 2) {
      drop = true;
      FState = 0;
    } else if (FState == 1) {
      FState = word == "BY" ? 2 : 0;
      drop = drop || FState == 2;
    } else if (word == "IDENTIFIED") {
      FState = 1;
      drop = true;
    }
  }
  // the line ends before the password: the next one holds it
  return !drop && FState == 0;
}
