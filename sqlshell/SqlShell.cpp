#include "SqlShell.h"

#include "DisplayWidth.h"
#include "OciCompo.h"
#include "SqlSplitter.h"

#include "NumberText.h"
#include "ShellBreaks.h"
#include "ShellWords.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <vector>

namespace fs = std::filesystem;
using namespace shellwords;

namespace {

constexpr int MaxScriptDepth = 20;

std::string StripSemicolons(std::string s) {
  while (!s.empty() && (s.back() == ';' || s.back() == ' ' || s.back() == '\t'))
    s.pop_back();
  return s;
}

std::string Hex(const unsigned char* p, size_t n) {
  static const char* hx = "0123456789ABCDEF";
  std::string r;
  for (size_t i = 0; i < n; ++i) {
    r += hx[p[i] >> 4];
    r += hx[p[i] & 15];
  }
  return r;
}

size_t Utf8Length(unsigned char b) {
  return b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 1;
}

// Drops an incomplete UTF-8 sequence at the end (a LONG value cut at a byte count).
void TrimPartialUtf8(std::string& s) {
  size_t i = s.size();
  size_t back = 0;
  while (i > 0 && back < 4 && (static_cast<unsigned char>(s[i - 1]) & 0xC0) == 0x80) {
    --i;
    ++back;
  }
  if (i == 0)
    return;
  auto lead = static_cast<unsigned char>(s[i - 1]);
  if (lead >= 0xC0 && Utf8Length(lead) > back + 1)
    s.resize(i - 1);
}

// Pieces of a cell that fit `width` columns: the value wraps inside its column; `words` moves
// a word that does not fit to the next line and drops the blanks at the break.
std::vector<std::string> Chunks(const std::string& s, int width, bool words = false) {
  std::vector<std::string> out;
  std::string cur;
  int cw = 0;
  for (size_t i = 0; i < s.size();) {
    if (s[i] == '\n') {
      out.push_back(cur);
      cur.clear();
      cw = 0;
      ++i;
      continue;
    }
    size_t n = std::min(Utf8Length(static_cast<unsigned char>(s[i])), s.size() - i);
    std::string ch = s.substr(i, n);
    int w = DisplayWidth(ch);
    if (words && cw == 0 && ch == " " && !out.empty()) {
      ++i; // blanks after a break
      continue;
    }
    if (cw + w > width && !cur.empty()) {
      size_t blank = words && ch != " " ? cur.rfind(' ') : std::string::npos;
      if (blank != std::string::npos && blank > 0) {
        // The word so far goes to the next line with the rest of it.
        std::string word = cur.substr(blank + 1);
        cur.erase(cur.find_last_not_of(' ', blank) + 1);
        out.push_back(cur);
        cur = word;
        cw = DisplayWidth(cur);
      } else {
        out.push_back(cur);
        cur.clear();
        cw = 0;
        if (words && ch == " ") {
          ++i;
          continue;
        }
      }
    }
    cur += ch;
    cw += w;
    i += n;
  }
  out.push_back(cur);
  return out;
}

bool IsLong(const TCustomOraField* f) {
  return f->FieldKind() == fkLong || f->FieldKind() == fkLongRaw;
}

std::string LongText(TOraCursor& c, TCustomOraField* f, int limit) {
  auto* lf = static_cast<TOraCustomLongField*>(f);
  std::string r;
  while (static_cast<int>(r.size()) < limit) {
    if (!c.FetchLong(f, static_cast<int>(r.size())))
      break;
    uint32_t n = lf->LongLength();
    if (n == 0)
      break;
    // A piece of text ends on a character boundary, so a short one is not yet the end:
    // only an empty piece is.
    r.append(reinterpret_cast<const char*>(f->Buffer()), n);
  }
  if (static_cast<int>(r.size()) > limit)
    r.resize(static_cast<size_t>(limit));
  if (f->FieldKind() == fkLongRaw)
    return Hex(reinterpret_cast<const unsigned char*>(r.data()), r.size());
  TrimPartialUtf8(r);
  return r;
}

std::string CellText(TOraCursor& c, TCustomOraField* f, int row, int longLimit) {
  if (f->IsNull(row))
    return {};
  switch (f->FieldKind()) {
  case fkRaw:
    return Hex(f->Buffer() + static_cast<size_t>(row) * f->Width(), f->ReturnLengths()[row]);
  case fkLong:
  case fkLongRaw:
    return LongText(c, f, f->FieldKind() == fkLongRaw ? (longLimit + 1) / 2 : longLimit);
  default:
    return f->GetAsString(row);
  }
}

// The Oracle type of a described column, as DESCRIBE shows it.
std::string TypeText(TCustomOraField* cf) {
  auto* f = static_cast<TOraField*>(cf);
  switch (f->FieldKind()) {
  case fkString:
    // ROWID is described with a wider buffer than its display size; VARCHAR2 with one more.
    if (f->Width() == f->DisplaySize() + 2)
      return "ROWID";
    return "VARCHAR2(" + std::to_string(f->DisplaySize()) + ")";
  case fkNumber: {
    auto* n = static_cast<TOraNumberField*>(f);
    if (n->Precision() <= 0)
      return "NUMBER";
    if (n->Scale() == 0)
      return "NUMBER(" + std::to_string(n->Precision()) + ")";
    return "NUMBER(" + std::to_string(n->Precision()) + "," + std::to_string(n->Scale()) + ")";
  }
  case fkDate:
    return "DATE";
  case fkChar:
    return "CHAR(" + std::to_string(f->DisplaySize()) + ")";
  case fkRaw:
    return "RAW(" + std::to_string(f->DisplaySize() / 2) + ")";
  case fkLong:
    return "LONG";
  case fkLongRaw:
    return "LONG RAW";
  default:
    return "UNDEFINED";
  }
}

// "[schema.]name", each part a plain or double-quoted identifier.
bool ValidObjectName(const std::string& s) {
  if (s.empty())
    return false;
  size_t i = 0;
  for (;;) {
    if (i < s.size() && s[i] == '"') {
      size_t end = s.find('"', i + 1);
      if (end == std::string::npos || end == i + 1)
        return false;
      i = end + 1;
    } else {
      size_t b = i;
      while (i < s.size() &&
             (std::isalnum(static_cast<unsigned char>(s[i])) || s[i] == '_' || s[i] == '$' ||
              s[i] == '#' || static_cast<unsigned char>(s[i]) >= 0x80))
        ++i;
      if (i == b)
        return false;
    }
    if (i == s.size())
      return true;
    if (s[i] != '.')
      return false;
    ++i;
  }
}

std::string RowsText(uint32_t n, const char* verb) {
  return (n == 1 ? std::string("1 row ") : std::to_string(n) + " rows ") + verb + ".";
}

// The classic message after a statement that is not a query.
std::string FeedbackText(const std::string& text, bool plsql, uint32_t rows) {
  std::vector<std::string> w = SplitWords(TSqlSplitter::LeadingWords(text, 8));
  if (w.empty())
    return "Statement processed.";
  const std::string& v = w[0];
  if (v == "INSERT")
    return RowsText(rows, "created");
  if (v == "UPDATE")
    return RowsText(rows, "updated");
  if (v == "DELETE")
    return RowsText(rows, "deleted");
  if (v == "MERGE")
    return RowsText(rows, "merged");
  if (plsql && (v == "DECLARE" || v == "BEGIN"))
    return "PL/SQL procedure successfully completed.";
  if (v == "CREATE" || v == "DROP" || v == "ALTER") {
    size_t i = 1;
    static const char* const skip[] = {
        "OR",     "REPLACE", "UNIQUE",  "BITMAP",      "GLOBAL",         "PRIVATE", "TEMPORARY",
        "PUBLIC", "FORCE",   "NOFORCE", "EDITIONABLE", "NONEDITIONABLE", "NO"};
    while (i < w.size() && std::find(std::begin(skip), std::end(skip), w[i]) != std::end(skip))
      ++i;
    std::string obj = i < w.size() ? w[i] : std::string("OBJECT");
    std::string next = i + 1 < w.size() ? w[i + 1] : std::string();
    if ((obj == "PACKAGE" || obj == "TYPE") && next == "BODY")
      obj += " BODY";
    else if (obj == "MATERIALIZED" && next == "VIEW")
      obj = "MATERIALIZED VIEW";
    else if (obj == "DATABASE" && next == "LINK")
      obj = "DATABASE LINK";
    std::string name = obj.substr(0, 1) + [&] {
      std::string rest = obj.substr(1);
      for (auto& c : rest)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      return rest;
    }();
    return name + (v == "CREATE" ? " created." : v == "DROP" ? " dropped." : " altered.");
  }
  if (v == "TRUNCATE")
    return "Table truncated.";
  if (v == "RENAME")
    return "Table renamed.";
  if (v == "GRANT")
    return "Grant succeeded.";
  if (v == "REVOKE")
    return "Revoke succeeded.";
  if (v == "COMMENT")
    return "Comment created.";
  if (v == "COMMIT")
    return "Commit complete.";
  if (v == "ROLLBACK")
    return "Rollback complete.";
  if (v == "SAVEPOINT")
    return "Savepoint created.";
  if (v == "LOCK")
    return "Table(s) locked.";
  if (v == "ANALYZE")
    return "Table analyzed.";
  if (v == "SET" && w.size() > 1 && w[1] == "TRANSACTION")
    return "Transaction set.";
  return "Statement processed.";
}

} // namespace

TLogonArgs ParseLogonArg(const std::string& arg) {
  TLogonArgs a;
  std::string s = arg;
  if (auto at = s.find('@'); at != std::string::npos) {
    a.host = s.substr(at + 1);
    s.erase(at);
  }
  if (auto slash = s.find('/'); slash != std::string::npos) {
    a.password = s.substr(slash + 1);
    a.hasPassword = true;
    s.erase(slash);
  }
  a.user = s;
  return a;
}

struct TSqlShell::TSource {
  std::istream* In = nullptr;
  bool Top = false;
  std::string Dir;   // folder of the script, for "@@"
  std::string Name;  // for messages: the script's path, or "the input"
  int Line = 0;      // lines read so far
  int EntryLine = 0; // line where the unfinished entry began
};

TSqlShell::TSqlShell(TOraSession& session, std::istream& in, std::ostream& out, bool interactive)
    : FSession(session), FIn(in), FTee(out.rdbuf()), FOut(&FTee), FInteractive(interactive) {
  ReadLine = [this](const std::string& prompt, std::string& line) {
    if (FInteractive)
      FOut << prompt << std::flush;
    return static_cast<bool>(std::getline(FIn, line));
  };
  Ask = [this](const std::string& prompt, bool) {
    if (FInteractive)
      FOut << prompt << std::flush;
    std::string s;
    std::getline(FIn, s);
    if (!s.empty() && s.back() == '\r')
      s.pop_back();
    return s;
  };
}

TSqlShell::~TSqlShell() { StopSpool(); }

void TSqlShell::ShowError(const std::string& text) {
  // The cursor's text ends with the call it came from; the user only needs the message.
  FOut << text.substr(0, text.find('\r')) << "\n\n\n";
}

// As SQL*Plus does: the line the error is about, a "*" under the offending token, its number.
void TSqlShell::ShowErrorLine(const std::string& text, size_t offset) {
  // An error at the end of the statement is marked after its last word, not on a blank line.
  std::string statement = text.substr(0, text.find_last_not_of(" \t\r\n") + 1);
  offset = std::min(offset, statement.size());
  size_t newline = offset == 0 ? std::string::npos : statement.rfind('\n', offset - 1);
  size_t begin = newline == std::string::npos ? 0 : newline + 1;
  size_t end = statement.find('\n', begin);
  std::string line =
      statement.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
  line.erase(line.find_last_not_of(" \r") + 1);
  int lineNo = 1 + static_cast<int>(std::count(statement.begin(),
                                               statement.begin() + static_cast<long>(begin), '\n'));
  int column = DisplayWidth(statement.substr(begin, offset - begin));
  FOut << line << "\n"
       << std::string(static_cast<size_t>(column), ' ') << "*\nERROR at line " << lineNo << ":\n";
}

bool TSqlShell::Failed(const std::string& text, int code) {
  ShowError(text);
  FLastError = code;
  if (!Settings.ErrorExit)
    return true;
  if (Settings.ErrorExitRollback && FSession.Connected())
    FSession.Rollback();
  FExitCode = Settings.ErrorExitSqlCode ? code : Settings.ErrorExitCode;
  return false;
}

std::string TSqlShell::Prompt(const TSqlSplitter& splitter) const {
  if (splitter.Empty())
    return Settings.SqlPrompt;
  std::string n = std::to_string(splitter.LineCount() + 1);
  return std::string(n.size() < 3 ? 3 - n.size() : 0, ' ') + n + "  ";
}

int TSqlShell::Run() {
  TSource src;
  src.In = &FIn;
  src.Top = true;
  src.Name = "the input";
  RunSource(src);
  return FExitCode;
}

bool TSqlShell::RunStartScript(const std::string& file) {
  TSource top;
  top.In = &FIn;
  top.Top = true;
  return RunScript(top, file, false);
}

bool TSqlShell::RunSource(TSource& src) {
  TSqlSplitter splitter;
  for (;;) {
    std::string line;
    if (splitter.Empty())
      src.EntryLine = src.Line + 1;
    if (src.Top) {
      FCancelEntry = false;
      if (!ReadLine(Prompt(splitter), line))
        break;
      if (FCancelEntry) {
        splitter.Reset();
        continue;
      }
    } else {
      if (!std::getline(*src.In, line))
        break;
      if (Settings.Echo)
        FOut << Prompt(splitter) << line << "\n";
    }
    ++src.Line;
    splitter.BlankLinesInSql = Settings.SqlBlankLines;
    FTee.Mute = !src.Top && !Settings.TermOut;
    bool go = HandleLine(src, splitter, line);
    FTee.Mute = false;
    if (!go)
      return false;
  }
  return UnfinishedAtEnd(src, splitter);
}

bool TSqlShell::UnfinishedAtEnd(const TSource& src, const TSqlSplitter& splitter) {
  if (Trim(splitter.Pending()).empty())
    return true;
  // It stays in the buffer, as an entry ended by a blank line would; it does not run.
  FBuffer = Trim(splitter.Pending());
  FCurrent = 0;
  FBufferPlSql = TSqlSplitter::IsPlSql(FBuffer);
  std::string what;
  if (const char* open = splitter.OpenText())
    what = open;
  else if (FBufferPlSql)
    what = "a PL/SQL unit that has no \"/\" line after it";
  else
    what = "a statement that has no \";\" or \"/\" after it";
  std::ostream& err = ErrOut ? *ErrOut : FOut;
  err << "Error: " << (src.Name.empty() ? std::string("the input") : src.Name) << " ends inside "
      << what << "; nothing from line " << src.EntryLine << " on was run.\n";
  if (!ErrOut)
    err << "\n";
  err.flush();
  if (FExitCode == 0)
    FExitCode = 1;
  // A script that ends broken stops a run from files; at the prompt the user carries on.
  return src.Top || FInteractive;
}

bool TSqlShell::HandleLine(TSource& src, TSqlSplitter& splitter, const std::string& line) {
  TSplitEvent ev = splitter.Feed(line);
  try {
    return HandleEvent(src, ev);
  } catch (const std::exception& e) {
    // Misuse reported by the access layer ends the statement, not the shell.
    FOut << e.what() << "\n\n";
    return true;
  }
}

bool TSqlShell::HandleEvent(TSource& src, const TSplitEvent& ev) {
  switch (ev.Kind) {
  case TSplitEvent::None:
    return true;
  case TSplitEvent::Command:
    return RunCommand(src, ev.Text);
  case TSplitEvent::Statement:
    FBuffer = ev.Text;
    FCurrent = 0;
    FBufferPlSql = ev.PlSql;
    return RunStatement(FBuffer, FBufferPlSql);
  case TSplitEvent::RunBuffer:
    if (FBuffer.empty()) {
      FOut << "SP2-0103: Nothing in SQL buffer to run.\n";
      return true;
    }
    return RunStatement(FBuffer, FBufferPlSql);
  case TSplitEvent::Stored:
    FBuffer = ev.Text;
    FCurrent = 0;
    FBufferPlSql = ev.PlSql;
    return true;
  }
  return true;
}

bool TSqlShell::Execute(const std::string& statement) {
  std::string s = Trim(statement);
  if (s.empty())
    return true;
  TSource top;
  top.In = &FIn;
  top.Top = true;
  if (TSqlSplitter::IsShellCommand(s))
    return RunCommand(top, s);
  FBuffer = s;
  FCurrent = 0;
  FBufferPlSql = TSqlSplitter::IsPlSql(s);
  return RunStatement(FBuffer, FBufferPlSql);
}

bool TSqlShell::RunCommand(TSource& src, const std::string& rawText) {
  std::string text = rawText;
  if (!TSqlSplitter::IsRemark(text))
    text = Substitute(text, false);
  if (text.empty())
    return true;
  if (text[0] == '!' || text[0] == '$') {
    FOut << "SP2-0738: host commands are not available in this shell; nothing was run.\n\n";
    return true;
  }
  if (text.compare(0, 2, "@@") == 0)
    return RunScript(src, Trim(text.substr(2)), true);
  if (text[0] == '@')
    return RunScript(src, Trim(text.substr(1)), false);
  size_t e = 0;
  while (e < text.size() && std::isalpha(static_cast<unsigned char>(text[e])))
    ++e;
  std::string word = Upper(text.substr(0, e));
  std::string raw = Trim(text.substr(e));
  std::string args = StripSemicolons(raw);

  if (Abbrev(word, "REMARK", 3))
    return true;
  if (Abbrev(word, "HOST", 2)) {
    FOut << "SP2-0738: host commands are not available in this shell; nothing was run.\n\n";
    return true;
  }
  if (Abbrev(word, "DEFINE", 3)) {
    DefineCommand(raw);
    return true;
  }
  if (Abbrev(word, "ACCEPT", 3)) {
    AcceptCommand(raw);
    return true;
  }
  if (Abbrev(word, "UNDEFINE", 5)) {
    UndefineCommand(args);
    return true;
  }
  if (Abbrev(word, "COLUMN", 3)) {
    ColumnCommand(raw);
    return true;
  }
  if (Abbrev(word, "BREAK", 3)) {
    BreakCommand(args);
    return true;
  }
  if (Abbrev(word, "COMPUTE", 4)) {
    ComputeCommand(args);
    return true;
  }
  if (Abbrev(word, "CLEAR", 2)) {
    ClearCommand(args);
    return true;
  }
  if (Abbrev(word, "SPOOL", 3)) {
    SpoolCommand(args);
    return true;
  }
  if (Abbrev(word, "PROMPT", 3)) {
    FOut << raw << "\n";
    return true;
  }
  if (Abbrev(word, "START", 3))
    return RunScript(src, args, false);
  if (Abbrev(word, "DESCRIBE", 4)) {
    if (RequireConnection())
      Describe(args);
    return true;
  }
  if (word == "SET") {
    SetCommand(args);
    return true;
  }
  if (Abbrev(word, "SHOW", 3)) {
    ShowCommand(args);
    return true;
  }
  if (Abbrev(word, "CONNECT", 4)) {
    Connect(args);
    return true;
  }
  if (Abbrev(word, "DISCONNECT", 4)) {
    Disconnect();
    return true;
  }
  if (word == "EXIT" || word == "QUIT")
    return Exit(args);
  if (word == "WHENEVER")
    return Whenever(args);
  if (Abbrev(word, "LIST", 1)) {
    ListBuffer(args);
    return true;
  }
  if (e == 0 && !text.empty() && std::isdigit(static_cast<unsigned char>(text[0]))) {
    LineNumberCommand(text);
    return true;
  }
  // The text after the command word and one blank, as typed.
  std::string typed = text.substr(e);
  if (!typed.empty() && (typed[0] == ' ' || typed[0] == '\t'))
    typed.erase(0, 1);
  if (Abbrev(word, "CHANGE", 1)) {
    ChangeCommand(Trim(text.substr(e)));
    return true;
  }
  if (Abbrev(word, "APPEND", 1)) {
    AppendCommand(typed);
    return true;
  }
  if (Abbrev(word, "INPUT", 1)) {
    InputCommand(typed);
    return true;
  }
  if (Abbrev(word, "SAVE", 3)) {
    SaveCommand(args);
    return true;
  }
  if (word == "GET") {
    GetCommand(args);
    return true;
  }
  if (word == "DEL") {
    DelCommand(args);
    return true;
  }
  if (Abbrev(word, "RUN", 1)) {
    ListBuffer();
    return FBuffer.empty() || RunStatement(FBuffer, FBufferPlSql);
  }
  if (Abbrev(word, "EXECUTE", 4)) {
    if (args.empty())
      return true;
    return RunStatement("BEGIN " + args + "; END;", true);
  }
  FOut << "SP2-0042: \"" << (word.empty() ? text.substr(0, 1) : word)
       << "\" is not a command of this shell; the line was ignored.\n\n";
  return true;
}

bool TSqlShell::RunScript(TSource& from, const std::string& spec, bool relative) {
  std::string name = spec;
  std::string rest;
  if (!name.empty() && name[0] == '"') {
    size_t end = name.find('"', 1);
    name = name.substr(1, end == std::string::npos ? std::string::npos : end - 1);
    rest = end == std::string::npos ? std::string() : spec.substr(end + 1);
  } else {
    size_t blank = name.find_first_of(" \t");
    rest = blank == std::string::npos ? std::string() : name.substr(blank);
    name = name.substr(0, blank);
  }
  name = StripSemicolons(name);
  // The words after the name are the script's arguments, &1, &2, ...
  std::vector<std::string> arguments = SplitWords(StripSemicolons(rest));
  if (name.empty()) {
    FOut << "SP2-1506: START, @ and @@ need the name of a script file.\n\n";
    return true;
  }
  if (FDepth >= MaxScriptDepth) {
    FOut << "SP2-0309: scripts are nested more than " << MaxScriptDepth << " deep; \"" << name
         << "\" was not run.\n\n";
    return true;
  }
  fs::path p(name);
  bool defaultExt = !p.has_extension();
  if (defaultExt)
    p += ".sql";
  if (relative && !from.Dir.empty() && p.is_relative())
    p = fs::path(from.Dir) / p;
  std::ifstream file(p, std::ios::binary);
  if (!file && defaultExt) {
    // The client's DDL tool names its scripts TABLE.SQL.
    fs::path upper = p;
    upper.replace_extension(".SQL");
    file.open(upper, std::ios::binary);
    if (file)
      p = upper;
  }
  if (!file) {
    FOut << "SP2-0310: unable to open file \"" << p.string() << "\"\n";
    if (!Settings.OsErrorExit)
      return true;
    if (Settings.OsErrorExitRollback && FSession.Connected())
      FSession.Rollback();
    FExitCode = Settings.OsErrorExitCode;
    return false;
  }
  std::ostringstream bytes;
  bytes << file.rdbuf();
  std::istringstream text(DecodeScriptText(bytes.str()));
  for (size_t k = 0; k < arguments.size(); ++k) {
    std::string value = arguments[k];
    if (value.size() >= 2 && (value[0] == '\'' || value[0] == '"') && value.back() == value[0])
      value = value.substr(1, value.size() - 2);
    std::string key = std::to_string(k + 1);
    auto it = std::find_if(FDefines.begin(), FDefines.end(),
                           [&](const auto& d) { return d.first == key; });
    if (it != FDefines.end())
      it->second = value;
    else
      FDefines.emplace_back(key, value);
  }
  TSource src;
  src.In = &text;
  src.Dir = p.parent_path().string();
  src.Name = p.string();
  ++FDepth;
  bool go = RunSource(src);
  --FDepth;
  return go;
}

bool TSqlShell::RequireConnection() {
  if (FSession.Connected())
    return true;
  FOut << "SP2-0640: Not connected\n";
  return false;
}

bool TSqlShell::RunStatement(const std::string& entered, bool plsql) {
  if (!RequireConnection())
    return true;
  const std::string text = Substitute(entered, true);
  const auto started = std::chrono::steady_clock::now();
  bool go = RunStatementText(text, plsql);
  if (Settings.Timing) {
    auto cs = std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now() - started)
                  .count() /
              10;
    char buf[40];
    std::snprintf(buf, sizeof buf, "Elapsed: %02lld:%02lld:%02lld.%02lld",
                  static_cast<long long>(cs / 360000), static_cast<long long>(cs / 6000 % 60),
                  static_cast<long long>(cs / 100 % 60), static_cast<long long>(cs % 100));
    FOut << buf << "\n";
  }
  return go;
}

bool TSqlShell::RunStatementText(const std::string& text, bool plsql) {
  std::string lead = TSqlSplitter::LeadingWords(text, 3);
  if (lead == "COMMIT" || lead == "COMMIT WORK" || lead == "ROLLBACK" || lead == "ROLLBACK WORK") {
    bool commit = lead[0] == 'C';
    if (!(commit ? FSession.Commit() : FSession.Rollback()))
      return Failed(FSession.GetErrorMessage(FSession.ReturnCode()), FSession.ReturnCode());
    if (Settings.Feedback > 0)
      FOut << (commit ? "\nCommit complete.\n\n" : "\nRollback complete.\n\n");
    return true;
  }

  TOraCursor c;
  c.SetSession(&FSession);
  c.SetNumberOfRows(TOraCursor::MaxRows);
  c.SetDatesAsText(true); // shown in the session's date format, as SQL*Plus shows them
  std::vector<std::string> lines;
  std::istringstream split(text);
  for (std::string line; std::getline(split, line);)
    lines.push_back(line);
  c.SetSQL(lines);
  std::string err;
  c.OnError = [&](TOraCursor&, const std::string& msg) { err = msg; };
  bool go = true;
  if (!c.Open())
    return Failed(err, c.ReturnCode());
  if (!c.Parse() || !c.DescribeFields() || !c.Exec()) {
    ShowErrorLine(c.StatementText(), c.ErrorOffset());
    go = Failed(err, c.ReturnCode());
  } else if (c.StatementType() == 4) {
    c.OnError = nullptr;
    if (!RunQuery(c, err)) {
      // An error while fetching has no statement line to point at.
      FOut << "ERROR:\n";
      go = Failed(err, err.rfind("ORA-01013", 0) == 0 ? 1013 : c.ReturnCode());
    }
  } else {
    if (plsql)
      NoteCreatedUnit(text);
    if (Settings.Feedback > 0)
      FOut << "\n" << FeedbackText(text, plsql, c.RowsProcessed()) << "\n\n";
    const std::string verb = TSqlSplitter::LeadingWords(text, 1);
    if (Settings.AutoCommit &&
        (verb == "INSERT" || verb == "UPDATE" || verb == "DELETE" || verb == "MERGE")) {
      if (!FSession.Commit())
        go = Failed(FSession.GetErrorMessage(FSession.ReturnCode()), FSession.ReturnCode());
      else if (Settings.Feedback > 0)
        FOut << "Commit complete.\n\n";
    }
  }
  c.OnError = nullptr;
  if (FSession.Connected())
    c.Close();
  return go;
}

bool TSqlShell::RunQuery(TOraCursor& c, std::string& error) {
  const int n = c.FieldCount();
  bool hasLong = false;
  for (int i = 0; i < n; ++i)
    hasLong = hasLong || IsLong(c.Fields(i));
  const int lineSize = std::max(1, Settings.LineSize);

  // Column widths from the described sizes and the headings; the first batch of rows may widen
  // them (full-width text), never past the line.
  std::vector<int> widths(n);
  std::vector<bool> right(n);
  std::vector<bool> fixedWidth(n);             // FORMAT An: the width is the user's
  std::vector<std::string> models(n);          // number format models
  std::vector<const TColumnSettings*> cols(n); // COLUMN settings, if any
  std::vector<std::vector<std::string>> heads(n);
  for (int i = 0; i < n; ++i) {
    auto* f = static_cast<TOraField*>(c.Fields(i));
    right[i] = f->FieldKind() == fkNumber;
    cols[i] = Column(f->Name());
    // Only a heading the user set splits at '|': a column's own name may hold "||".
    const bool userHeading = cols[i] && cols[i]->HasHeading;
    std::string heading = userHeading ? cols[i]->Heading : f->Name();
    for (size_t from = 0;;) {
      size_t bar = userHeading ? heading.find('|', from) : std::string::npos;
      heads[i].push_back(heading.substr(from, bar == std::string::npos ? bar : bar - from));
      if (bar == std::string::npos)
        break;
      from = bar + 1;
    }
    const std::string format = cols[i] ? cols[i]->Format : std::string();
    int w = 0;
    switch (f->FieldKind()) {
    case fkNumber:
      // Every NUMBER column takes NUMWIDTH, whatever its precision, unless a model is set.
      if (IsNumberModel(format))
        models[i] = format;
      else if (format.empty() && IsNumberModel(Settings.NumFormat))
        models[i] = Settings.NumFormat;
      w = models[i].empty() ? Settings.NumWidth : NumberModelWidth(models[i]);
      break;
    case fkDate: {
      std::string fmt = c.DateFormat();
      w = DisplayWidth(FormatOraDateTime(fmt.empty() ? ShortDateFormat : fmt, 0));
      break;
    }
    case fkLong:
    case fkLongRaw:
      w = Settings.Long;
      break;
    default:
      // A date comes as the engine's text in the session's date format: its width is that of
      // the values, which the first rows give.
      w = f->DbType() == 12 ? 1 : std::max(1, f->DisplaySize());
      break;
    }
    long long given = 0;
    if (f->FieldKind() != fkNumber && format.size() > 1 && format[0] == 'A' &&
        ParseInt(format.substr(1), given)) {
      w = static_cast<int>(given);
      fixedWidth[i] = true;
    }
    // A number column widens to its heading; any other column cuts its heading to its width.
    int headWidth = 0;
    for (auto& h : heads[i])
      headWidth = std::max(headWidth, DisplayWidth(h));
    widths[i] = right[i] ? std::max(w, headWidth) : w;
  }

  std::vector<std::vector<int>> groups; // columns of each physical line of a record
  const int sepWidth = DisplayWidth(Settings.ColSep);
  int headingLines = 0;
  int linesOnPage = 0;
  bool pageStarted = false;
  std::vector<std::vector<std::string>> batch;
  std::vector<std::vector<std::string>> raws; // the batch's values as the engine gave them
  uint32_t total = 0;
  bool laidOut = false;

  auto layOut = [&] {
    for (auto& row : batch)
      for (int i = 0; i < n; ++i)
        if (!fixedWidth[i] && !right[i])
          for (auto& piece : Chunks(row[i], 1 << 30))
            widths[i] = std::max(widths[i], DisplayWidth(piece));
    // Dates that are all NULL so far: the width of a date in the session's format.
    for (int i = 0; i < n; ++i)
      if (!fixedWidth[i] && static_cast<TOraField*>(c.Fields(i))->DbType() == 12 &&
          std::all_of(raws.begin(), raws.end(), [&](auto& raw) { return raw[i].empty(); }))
        widths[i] = std::max(widths[i], SessionDateWidth());
    int used = 0;
    for (int i = 0; i < n; ++i) {
      if (cols[i] && cols[i]->NoPrint)
        continue;
      widths[i] = std::min(widths[i], lineSize);
      int need = groups.empty() || groups.back().empty() ? widths[i] : used + sepWidth + widths[i];
      if (groups.empty() || need > lineSize) {
        groups.emplace_back();
        need = widths[i];
      }
      groups.back().push_back(i);
      used = need;
    }
    headingLines = 0;
    for (auto& g : groups) {
      size_t lines = 1;
      for (int i : g)
        lines = std::max(lines, heads[i].size());
      headingLines += Settings.Heading ? static_cast<int>(lines) + (Settings.Underline ? 1 : 0) : 0;
    }
    laidOut = true;
  };
  auto emit = [&](std::string line) {
    line.erase(line.find_last_not_of(' ') + 1);
    FOut << line << "\n";
  };
  const int topLines = std::max(Settings.NewPage, 0);
  auto newPage = [&] {
    if (Settings.NewPage == 0)
      FOut << "\f";
    else if (Settings.NewPage > 0)
      FOut << std::string(static_cast<size_t>(Settings.NewPage), '\n');
    linesOnPage = topLines + headingLines;
    pageStarted = true;
    if (!Settings.Heading)
      return;
    for (auto& g : groups) {
      size_t lines = 1;
      for (int i : g)
        lines = std::max(lines, heads[i].size());
      for (size_t k = 0; k < lines; ++k) {
        std::string head;
        for (size_t j = 0; j < g.size(); ++j) {
          int i = g[j];
          if (j)
            head += Settings.ColSep;
          std::string name = k < heads[i].size() ? Chunks(heads[i][k], widths[i])[0] : "";
          const char justify = cols[i] ? cols[i]->Justify : 0;
          if (justify == 'C') {
            int room = widths[i] - DisplayWidth(name);
            head += std::string(static_cast<size_t>(std::max(room, 0) / 2), ' ');
            head += PadDisplay(name, widths[i] - std::max(room, 0) / 2);
          } else {
            head += PadDisplay(name, widths[i], justify ? justify == 'R' : right[i]);
          }
        }
        emit(head);
      }
      if (Settings.Underline) {
        std::string rule;
        for (size_t j = 0; j < g.size(); ++j) {
          if (j)
            rule += Settings.ColSep;
          rule += std::string(static_cast<size_t>(widths[g[j]]), Settings.Underline);
        }
        emit(rule);
      }
    }
  };
  // The lines of one record; a record that took more than one line is set off by a blank
  // line after it. `full` is the record with the values BREAK leaves out, for a page's first row.
  auto put = [&](const std::vector<std::string>& row, const std::vector<std::string>& full,
                 bool data, int labelCol = -1) {
    auto render = [&](const std::vector<std::string>& values) {
      std::vector<std::string> out;
      for (auto& g : groups) {
        std::vector<std::vector<std::string>> cells;
        size_t height = 1;
        for (int i : g) {
          cells.push_back(Chunks(values[i], widths[i], cols[i] && cols[i]->WordWrapped));
          if ((cols[i] && cols[i]->Truncated) || !Settings.Wrap)
            cells.back().resize(1);
          height = std::max(height, cells.back().size());
        }
        for (size_t k = 0; k < height; ++k) {
          std::string line;
          for (size_t j = 0; j < g.size(); ++j) {
            if (j)
              line += Settings.ColSep;
            int i = g[j];
            line += PadDisplay(k < cells[j].size() ? cells[j][k] : std::string(), widths[i],
                               right[i] && i != labelCol);
          }
          out.push_back(line);
        }
      }
      return out;
    };
    std::vector<std::string> out = render(row);
    bool separate = data && (Settings.RecSep == 'E' || (Settings.RecSep == 'W' && out.size() > 1));
    if (Settings.PageSize > 0) {
      int lines = static_cast<int>(out.size());
      if (!pageStarted ||
          (linesOnPage + lines > Settings.PageSize && linesOnPage > topLines + headingLines)) {
        newPage();
        if (data && &row != &full) {
          out = render(full);
          separate = Settings.RecSep == 'E' || (Settings.RecSep == 'W' && out.size() > 1);
        }
      }
      linesOnPage += static_cast<int>(out.size()) + (separate ? 1 : 0);
    }
    for (auto& l : out)
      emit(l);
    if (separate)
      FOut << "\n";
  };

  // BREAK columns of this query, outermost first, then REPORT; each with its COMPUTE lines.
  struct TSummary {
    std::string Label;
    std::vector<int> Cols;
    std::vector<TAccumulator> Acc;
  };
  struct TLevel {
    int Col = -1; // -1: REPORT
    const TBreakSettings* Spec = nullptr;
    std::vector<TSummary> Lines;
  };
  auto columnIndex = [&](const std::string& name) {
    for (int i = 0; i < n; ++i)
      if (Upper(c.Fields(i)->Name()) == name)
        return i;
    return -1;
  };
  std::vector<TLevel> levels;
  for (auto& b : FBreaks)
    if (int ci = columnIndex(b.Column); ci >= 0 && b.Column != "REPORT")
      levels.push_back({ci, &b, {}});
  const size_t columnLevels = levels.size();
  for (auto& b : FBreaks)
    if (b.Column == "REPORT")
      levels.push_back({-1, &b, {}});
  for (auto& cs : FComputes)
    for (auto& lv : levels) {
      if (cs.On != (lv.Col < 0 ? std::string("REPORT") : lv.Spec->Column))
        continue;
      for (size_t k = 0; k < cs.Functions.size(); ++k) {
        TSummary sum;
        sum.Label = cs.Labels[k];
        for (auto& of : cs.Of)
          if (int ci = columnIndex(of); ci >= 0) {
            sum.Cols.push_back(ci);
            sum.Acc.emplace_back(cs.Functions[k]);
          }
        if (!sum.Cols.empty())
          lv.Lines.push_back(std::move(sum));
      }
    }
  std::vector<std::string> lastKeys; // break column values of the row before
  auto summarize = [&](TLevel& lv) {
    if (lv.Lines.empty())
      return;
    std::vector<std::string> rule(n);
    if (lv.Col >= 0)
      rule[lv.Col] = std::string(static_cast<size_t>(widths[lv.Col]), '*');
    for (auto& sum : lv.Lines)
      for (int ci : sum.Cols)
        rule[ci] = std::string(static_cast<size_t>(widths[ci]), '-');
    put(rule, rule, false);
    for (auto& sum : lv.Lines) {
      std::vector<std::string> line(n);
      int at = lv.Col >= 0 ? lv.Col : 0;
      line[at] = Chunks(sum.Label, widths[at])[0];
      for (size_t j = 0; j < sum.Cols.size(); ++j) {
        int ci = sum.Cols[j];
        std::string v = sum.Acc[j].Result();
        if (!v.empty() && right[ci])
          v = models[ci].empty() ? NumberInWidth(v, Settings.NumWidth)
                                 : FormatNumber(v, models[ci]);
        line[ci] = v;
        sum.Acc[j].Reset();
      }
      put(line, line, false, at); // a label starts at the left, even over numbers
    }
  };
  // The groups from the innermost break up to `level` end.
  auto endGroups = [&](size_t level) {
    for (size_t k = columnLevels; k-- > level;)
      summarize(levels[k]);
  };
  auto flush = [&] {
    if (!laidOut)
      layOut();
    for (size_t r = 0; r < batch.size(); ++r) {
      const std::vector<std::string>& row = batch[r];
      size_t level = columnLevels; // the outermost break whose value changed
      if (!lastKeys.empty())
        for (size_t k = 0; k < columnLevels && level == columnLevels; ++k)
          if (row[levels[k].Col] != lastKeys[k])
            level = k;
      if (!lastKeys.empty() && level < columnLevels) {
        endGroups(level);
        int skip = 0;
        bool page = false;
        for (size_t k = level; k < columnLevels; ++k) {
          skip = std::max(skip, levels[k].Spec->Skip);
          page = page || levels[k].Spec->SkipPage;
        }
        if (page && Settings.PageSize > 0) {
          newPage();
        } else {
          for (int k = 0; k < skip; ++k)
            FOut << "\n";
          linesOnPage += skip;
        }
      }
      std::vector<std::string> shown = row;
      for (size_t k = 0; k < columnLevels && !lastKeys.empty(); ++k)
        if (k < level && !levels[k].Spec->Duplicates)
          shown[levels[k].Col].clear();
      if (columnLevels == 0)
        put(row, row, true);
      else
        put(shown, row, true);
      for (auto& lv : levels)
        for (auto& sum : lv.Lines)
          for (size_t j = 0; j < sum.Cols.size(); ++j)
            sum.Acc[j].Add(raws[r][sum.Cols[j]], right[sum.Cols[j]]);
      lastKeys.clear();
      for (size_t k = 0; k < columnLevels; ++k)
        lastKeys.push_back(row[levels[k].Col]);
    }
    batch.clear();
    raws.clear();
  };

  const int longLimit = std::max(1, Settings.Long);
  // The engine's exact text of a number, not the access layer's general format.
  auto rawNumber = [&](int i, int r) {
    TCustomOraField* f = c.Fields(i);
    const char* p =
        reinterpret_cast<const char*>(f->Buffer()) + static_cast<size_t>(r) * f->Width();
    return std::string(p, strnlen(p, static_cast<size_t>(f->Width())));
  };
  auto cell = [&](int i, int r) -> std::string {
    TCustomOraField* f = c.Fields(i);
    if (f->IsNull(r))
      return cols[i] && cols[i]->HasNullText ? cols[i]->NullText : Settings.NullText;
    if (!right[i])
      return CellText(c, f, r, longLimit);
    const std::string raw = rawNumber(i, r);
    return models[i].empty() ? NumberInWidth(raw, Settings.NumWidth) : FormatNumber(raw, models[i]);
  };
  // A row's cells and, for COMPUTE, its values: a number's engine text, NULL as empty.
  auto addRow = [&](int r) {
    std::vector<std::string> row(n), raw(n);
    for (int i = 0; i < n; ++i) {
      row[i] = cell(i, r);
      if (!c.Fields(i)->IsNull(r))
        raw[i] = right[i] ? rawNumber(i, r) : row[i];
    }
    batch.push_back(std::move(row));
    raws.push_back(std::move(raw));
  };
  bool cancelled = false;
  auto stopped = [&] { return cancelled = cancelled || (Interrupted && Interrupted()); };
  if (hasLong) {
    // Long fields hold one row: fetch them one at a time.
    while (!stopped() && c.Fetch()) {
      addRow(0);
      ++total;
      if (batch.size() >= TOraCursor::MaxRows)
        flush();
    }
  } else {
    uint32_t prev = 0;
    for (;;) {
      bool ok = c.FetchRowsQuiet();
      uint32_t now = c.RowsProcessed();
      for (uint32_t r = 0; r < now - prev; ++r)
        addRow(static_cast<int>(r));
      total = now;
      if (batch.size() >= TOraCursor::MaxRows || !ok || now == prev)
        flush();
      if (!ok || now == prev || stopped())
        break;
      prev = now;
    }
  }
  if (cancelled) {
    if (!batch.empty())
      flush();
    error = "ORA-01013: user requested cancel of current operation";
    FOut << "\n";
    return false;
  }
  if (c.ReturnCode() != 0 && c.ReturnCode() != 1403) {
    if (!batch.empty())
      flush();
    error = c.ErrorText();
    if (total)
      FOut << "\n";
    return false;
  }
  if (!batch.empty())
    flush();
  if (total > 0) {
    endGroups(0);
    for (size_t k = columnLevels; k < levels.size(); ++k)
      summarize(levels[k]);
  }
  if (total == 0) {
    if (Settings.Feedback > 0)
      FOut << "\nno rows selected\n\n";
  } else if (Settings.Feedback > 0 && total >= static_cast<uint32_t>(Settings.Feedback)) {
    FOut << "\n" << total << (total == 1 ? " row selected.\n\n" : " rows selected.\n\n");
  } else {
    FOut << "\n";
  }
  return true;
}

int TSqlShell::SessionDateWidth() {
  TOraCursor c;
  c.SetSession(&FSession);
  c.SetNumberOfRows(1);
  c.SetDatesAsText(true);
  c.SetSQL({"SELECT SYSDATE FROM DUAL"});
  int width = 9;
  if (c.Open() && c.Parse() && c.DescribeFields() && c.Exec() &&
      (c.FetchRowsQuiet() || c.ReturnCode() == 1403) && c.RowsProcessed() > 0)
    width = DisplayWidth(c.Fields(0)->GetAsString(0));
  if (FSession.Connected() && c.Opened())
    c.Close();
  return width;
}

void TSqlShell::Describe(const std::string& name) {
  if (name.empty()) {
    FOut << "SP2-0730: DESCRIBE needs the name of a table or view.\n\n";
    return;
  }
  auto missing = [&] { FOut << "ERROR:\nORA-04043: object " << name << " does not exist\n\n\n"; };
  // Only a name goes into the statement text, so DESCRIBE can run nothing else.
  if (!ValidObjectName(name)) {
    missing();
    return;
  }
  TOraCursor c;
  c.SetSession(&FSession);
  c.SetNumberOfRows(1);
  c.SetSQL({"SELECT * FROM " + name + " WHERE 1=0"});
  std::string err;
  c.OnError = [&](TOraCursor&, const std::string& msg) { err = msg; };
  if (!c.Open()) {
    ShowError(err);
    return;
  }
  bool ok = c.Parse() && c.DescribeFields();
  c.OnError = nullptr;
  if (!ok) {
    int code = c.ReturnCode();
    // Only a lost logon or the like is worth its own message; anything else means no such object.
    if (code == 1012 || code == 3113 || code == 3114)
      ShowError(err);
    else
      missing();
    if (FSession.Connected())
      c.Close();
    return;
  }
  int longest = 4;
  for (int i = 0; i < c.FieldCount(); ++i)
    longest = std::max(longest, DisplayWidth(c.Fields(i)->Name()));
  const int typeWidth = 28;
  int nameWidth = std::max(longest, Settings.LineSize - 1 - 1 - 8 - 1 - typeWidth);
  auto line = [&](const std::string& a, const std::string& b, const std::string& t) {
    std::string s = " " + PadDisplay(a, nameWidth) + " " + PadDisplay(b, 8) + " " + t;
    s.erase(s.find_last_not_of(' ') + 1);
    FOut << s << "\n";
  };
  line("Name", "Null?", "Type");
  line(std::string(static_cast<size_t>(nameWidth), '-'), std::string(8, '-'),
       std::string(typeWidth, '-'));
  for (int i = 0; i < c.FieldCount(); ++i) {
    auto* f = static_cast<TOraField*>(c.Fields(i));
    line(f->Name(), f->Nullable() ? "" : "NOT NULL", TypeText(f));
  }
  FOut << "\n";
  c.Close();
}

void TSqlShell::SetCommand(const std::string& args) {
  std::vector<std::string> w = SplitWords(args);
  if (w.empty()) {
    FOut << "SP2-0265: SET needs an option and a value.\n\n";
    return;
  }
  if (Abbrev(Upper(w[0]), "COLSEP", 4)) {
    std::string text = Trim(Trim(args).substr(w[0].size()));
    if (text.size() >= 2 && (text[0] == '\'' || text[0] == '"') && text.back() == text[0])
      text = text.substr(1, text.size() - 2);
    Settings.ColSep = text.empty() ? std::string(" ") : text;
    return;
  }
  if (Abbrev(Upper(w[0]), "SQLPROMPT", 4)) {
    std::string text = Trim(Trim(args).substr(w[0].size()));
    if (text.size() >= 2 && (text[0] == '\'' || text[0] == '"') && text.back() == text[0])
      text = text.substr(1, text.size() - 2);
    Settings.SqlPrompt = text;
    return;
  }
  if (Upper(w[0]) == "NULL") {
    // The rest of the line, blanks and all; quotes around it are not part of it.
    std::string text = Trim(Trim(args).substr(4));
    if (text.size() >= 2 && (text[0] == '\'' || text[0] == '"') && text.back() == text[0])
      text = text.substr(1, text.size() - 2);
    Settings.NullText = text;
    return;
  }
  for (size_t i = 0; i < w.size(); i += 2) {
    std::string opt = Upper(w[i]);
    bool known =
        Abbrev(opt, "LINESIZE", 3) || Abbrev(opt, "PAGESIZE", 5) || Abbrev(opt, "FEEDBACK", 4) ||
        opt == "ECHO" || Abbrev(opt, "HEADING", 3) || Abbrev(opt, "NUMWIDTH", 3) || opt == "LONG" ||
        Abbrev(opt, "SQLBLANKLINES", 5) || Abbrev(opt, "VERIFY", 3) || Abbrev(opt, "DEFINE", 3) ||
        Abbrev(opt, "TIMING", 3) || Abbrev(opt, "SERVEROUTPUT", 9) || opt == "RECSEP" ||
        Abbrev(opt, "NUMFORMAT", 4) || Abbrev(opt, "UNDERLINE", 3) || Abbrev(opt, "WRAP", 3) ||
        Abbrev(opt, "TERMOUT", 4) || Abbrev(opt, "AUTOCOMMIT", 4) || Abbrev(opt, "TRIMSPOOL", 5) ||
        Abbrev(opt, "TRIMOUT", 5) || opt == "TAB" || Abbrev(opt, "NEWPAGE", 4) ||
        Abbrev(opt, "ARRAYSIZE", 5) || Abbrev(opt, "FLUSH", 3) || opt == "PAUSE" ||
        Abbrev(opt, "SHOWMODE", 4) || Abbrev(opt, "EMBEDDED", 3) || opt == "SCAN";
    if (!known) {
      FOut << "SP2-0158: unknown SET option \"" << w[i] << "\"\n\n";
      return;
    }
    if (i + 1 >= w.size()) {
      FOut << "SP2-0265: SET " << opt << " needs a value.\n\n";
      return;
    }
    std::string val = Upper(w[i + 1]);
    long long num = 0;
    bool isNum = ParseInt(val, num);
    auto onOff = [&](bool& target) {
      if (val == "ON" || val == "OFF") {
        target = val == "ON";
        return true;
      }
      FOut << "SP2-0265: " << opt << " must be set ON or OFF\n\n";
      return false;
    };
    auto range = [&](int& target, long long lo, long long hi) {
      if (isNum && num >= lo && num <= hi) {
        target = static_cast<int>(num);
        return true;
      }
      FOut << "SP2-0267: " << opt << " option " << w[i + 1] << " out of range (" << lo
           << " through " << hi << ")\n\n";
      return false;
    };
    bool ok;
    if (Abbrev(opt, "LINESIZE", 3))
      ok = range(Settings.LineSize, 1, 32767);
    else if (Abbrev(opt, "PAGESIZE", 5))
      ok = range(Settings.PageSize, 0, 50000);
    else if (Abbrev(opt, "NUMWIDTH", 3))
      ok = range(Settings.NumWidth, 2, 50);
    else if (opt == "LONG")
      ok = range(Settings.Long, 1, 2000000000);
    else if (opt == "ECHO")
      ok = onOff(Settings.Echo);
    else if (Abbrev(opt, "HEADING", 3))
      ok = onOff(Settings.Heading);
    else if (Abbrev(opt, "SQLBLANKLINES", 5))
      ok = onOff(Settings.SqlBlankLines);
    else if (Abbrev(opt, "VERIFY", 3))
      ok = onOff(Settings.Verify);
    else if (Abbrev(opt, "TIMING", 3))
      ok = onOff(Settings.Timing);
    else if (Abbrev(opt, "NEWPAGE", 4)) {
      if (val == "NONE")
        Settings.NewPage = -1;
      ok = val == "NONE" || range(Settings.NewPage, 0, 999);
    } else if (Abbrev(opt, "ARRAYSIZE", 5)) {
      int rows = 15; // rows come in the access layer's own batches
      ok = range(rows, 1, 5000);
    } else if (Abbrev(opt, "FLUSH", 3) || opt == "PAUSE" || Abbrev(opt, "SHOWMODE", 4) ||
               Abbrev(opt, "EMBEDDED", 3)) {
      bool ignored = false; // output is never held back, paused or embedded in a page
      ok = onOff(ignored);
    } else if (opt == "SCAN")
      ok = onOff(Settings.DefineOn);
    else if (Abbrev(opt, "WRAP", 3))
      ok = onOff(Settings.Wrap);
    else if (Abbrev(opt, "TERMOUT", 4))
      ok = onOff(Settings.TermOut);
    else if (Abbrev(opt, "AUTOCOMMIT", 4))
      ok = onOff(Settings.AutoCommit);
    else if (Abbrev(opt, "TRIMSPOOL", 5) || Abbrev(opt, "TRIMOUT", 5) || opt == "TAB") {
      bool ignored = false; // trailing blanks are always trimmed; no tabs are written
      ok = onOff(ignored);
    } else if (Abbrev(opt, "UNDERLINE", 3)) {
      std::string v = w[i + 1];
      if (v.size() == 3 && (v[0] == '\'' || v[0] == '"') && v[2] == v[0])
        v = v.substr(1, 1);
      ok = val == "ON" || val == "OFF" || (v.size() == 1 && v[0] != ' ');
      if (!ok)
        FOut << "SP2-0265: underline must be set to a character, ON or OFF\n\n";
      else
        Settings.Underline = val == "ON" ? '-' : val == "OFF" ? '\0' : v[0];
    } else if (Abbrev(opt, "NUMFORMAT", 4)) {
      std::string model = w[i + 1];
      if (model.size() >= 2 && (model[0] == '\'' || model[0] == '"') && model.back() == model[0])
        model = model.substr(1, model.size() - 2);
      ok = model.empty() || IsNumberModel(Upper(model));
      if (ok)
        Settings.NumFormat = Upper(model);
      else
        FOut << "SP2-0246: Illegal FORMAT string \"" << model << "\"\n\n";
    } else if (opt == "RECSEP") {
      ok = Abbrev(val, "WRAPPED", 2) || Abbrev(val, "EACH", 2) || val == "OFF";
      if (ok)
        Settings.RecSep = val[0];
      else
        FOut << "SP2-0265: RECSEP must be set WRAPPED, EACH or OFF\n\n";
    } else if (Abbrev(opt, "SERVEROUTPUT", 9)) {
      // ON [SIZE {n|UNLIMITED}] [FOR[MAT] ...] | OFF; the engine runs no PL/SQL, so no
      // DBMS_OUTPUT lines ever come: the setting is kept and shown, nothing more.
      const bool was = Settings.ServerOutput;
      ok = onOff(Settings.ServerOutput);
      size_t k = i + 2;
      long long size = Settings.ServerOutputSize;
      for (; ok && k < w.size(); ++k) {
        std::string word = Upper(w[k]);
        if (word == "SIZE" && k + 1 < w.size()) {
          std::string v = Upper(w[++k]);
          if (v == "UNLIMITED")
            size = 0;
          else if (!ParseInt(v, size) || size < 2000 || size > 1000000) {
            FOut << "SP2-0547: SIZE option " << w[k] << " out of range (2000 through 1000000)\n\n";
            Settings.ServerOutput = was;
            return;
          }
        } else if (Abbrev(word, "FORMAT", 3) && k + 1 < w.size()) {
          ++k;
        } else {
          FOut << "SP2-0158: unknown SET SERVEROUTPUT option \"" << w[k] << "\"\n\n";
          Settings.ServerOutput = was;
          return;
        }
      }
      Settings.ServerOutputSize = size;
      i = k - 2;
    } else if (Abbrev(opt, "DEFINE", 3)) {
      std::string v = w[i + 1];
      if (v.size() == 3 && (v[0] == '\'' || v[0] == '"') && v[2] == v[0])
        v = v.substr(1, 1);
      if (val == "ON" || val == "OFF") {
        Settings.DefineOn = val == "ON";
        if (Settings.DefineOn)
          Settings.DefineChar = '&'; // ON brings back the default prefix
        ok = true;
      } else if (v.size() == 1 && !std::isalnum(static_cast<unsigned char>(v[0])) && v[0] != ' ' &&
                 v[0] != '\'' && v[0] != '"') {
        Settings.DefineChar = v[0];
        Settings.DefineOn = true;
        ok = true;
      } else {
        FOut << "SP2-0268: define option not a valid character or ON/OFF: " << w[i + 1] << "\n\n";
        ok = false;
      }
    } else {
      if (val == "ON") {
        Settings.Feedback = 1;
        ok = true;
      } else if (val == "OFF") {
        Settings.Feedback = 0;
        ok = true;
      } else
        ok = range(Settings.Feedback, 0, 50000);
    }
    if (!ok)
      return;
  }
}

void TSqlShell::ShowCommand(const std::string& args) {
  std::string what = Upper(Trim(args));
  auto onOff = [](bool b) { return b ? "ON" : "OFF"; };
  auto show = [&](const std::string& key) {
    if (key == "USER") {
      FOut << "USER is \"" << (FSession.Connected() ? Upper(FSession.UserName) : std::string())
           << "\"\n";
    } else if (key == "LINESIZE") {
      FOut << "linesize " << Settings.LineSize << "\n";
    } else if (key == "PAGESIZE") {
      FOut << "pagesize " << Settings.PageSize << "\n";
    } else if (key == "FEEDBACK") {
      if (Settings.Feedback > 0)
        FOut << "FEEDBACK ON for " << Settings.Feedback << " or more rows\n";
      else
        FOut << "feedback OFF\n";
    } else if (key == "ECHO") {
      FOut << "echo " << onOff(Settings.Echo) << "\n";
    } else if (key == "HEADING") {
      FOut << "heading " << onOff(Settings.Heading) << "\n";
    } else if (key == "NUMWIDTH") {
      FOut << "numwidth " << Settings.NumWidth << "\n";
    } else if (key == "LONG") {
      FOut << "long " << Settings.Long << "\n";
    } else if (key == "SQLBLANKLINES") {
      FOut << "sqlblanklines " << onOff(Settings.SqlBlankLines) << "\n";
    } else if (key == "VERIFY") {
      FOut << "verify " << onOff(Settings.Verify) << "\n";
    } else if (key == "TIMING") {
      FOut << "timing " << onOff(Settings.Timing) << "\n";
    } else if (key == "DEFINE") {
      if (Settings.DefineOn) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%x", static_cast<unsigned char>(Settings.DefineChar));
        FOut << "define \"" << Settings.DefineChar << "\" (hex " << hex << ")\n";
      } else {
        FOut << "define OFF\n";
      }
    } else if (key == "SERVEROUTPUT") {
      if (!Settings.ServerOutput)
        FOut << "serveroutput OFF\n";
      else if (Settings.ServerOutputSize == 0)
        FOut << "serveroutput ON SIZE UNLIMITED FORMAT WORD_WRAPPED\n";
      else
        FOut << "serveroutput ON SIZE " << Settings.ServerOutputSize << " FORMAT WORD_WRAPPED\n";
    } else if (key == "NULL") {
      if (Settings.NullText.empty())
        FOut << "null OFF\n";
      else
        FOut << "null \"" << Settings.NullText << "\"\n";
    } else if (key == "COLSEP") {
      FOut << "colsep \"" << Settings.ColSep << "\"\n";
    } else if (key == "UNDERLINE") {
      if (Settings.Underline)
        FOut << "underline \"" << Settings.Underline << "\"\n";
      else
        FOut << "underline OFF\n";
    } else if (key == "WRAP") {
      FOut << (Settings.Wrap ? "wrap : lines will be wrapped\n"
                             : "wrap : lines will be truncated\n");
    } else if (key == "AUTOCOMMIT") {
      FOut << "autocommit " << onOff(Settings.AutoCommit) << "\n";
    } else if (key == "NUMFORMAT") {
      FOut << "numformat \"" << Settings.NumFormat << "\"\n";
    } else if (key == "RECSEP") {
      FOut << "recsep "
           << (Settings.RecSep == 'W'   ? "WRAP"
               : Settings.RecSep == 'E' ? "EACH"
                                        : "OFF")
           << "\n";
    } else if (key == "SPOOL") {
      if (FSpool)
        FOut << "currently spooling to " << FSpoolName << "\n";
      else
        FOut << "not spooling currently\n";
    }
  };
  static const char* const all[] = {
      "AUTOCOMMIT", "COLSEP",       "DEFINE", "ECHO",          "FEEDBACK", "HEADING",
      "LINESIZE",   "LONG",         "NULL",   "NUMFORMAT",     "NUMWIDTH", "PAGESIZE",
      "RECSEP",     "SERVEROUTPUT", "SPOOL",  "SQLBLANKLINES", "TIMING",   "UNDERLINE",
      "USER",       "VERIFY",       "WRAP"};
  if (Abbrev(SplitWords(what).empty() ? std::string() : SplitWords(what)[0], "ERRORS", 3)) {
    std::string rest = Trim(args);
    size_t sp = rest.find_first_of(" \t");
    ShowErrors(sp == std::string::npos ? std::string() : Trim(rest.substr(sp)));
    return;
  }
  if (what == "ALL") {
    for (const char* k : all)
      show(k);
  } else if (what == "USER")
    show("USER");
  else if (Abbrev(what, "LINESIZE", 3))
    show("LINESIZE");
  else if (Abbrev(what, "PAGESIZE", 5))
    show("PAGESIZE");
  else if (Abbrev(what, "FEEDBACK", 4))
    show("FEEDBACK");
  else if (what == "ECHO")
    show("ECHO");
  else if (Abbrev(what, "HEADING", 3))
    show("HEADING");
  else if (Abbrev(what, "NUMWIDTH", 3))
    show("NUMWIDTH");
  else if (what == "LONG")
    show("LONG");
  else if (Abbrev(what, "SQLBLANKLINES", 5))
    show("SQLBLANKLINES");
  else if (Abbrev(what, "VERIFY", 3))
    show("VERIFY");
  else if (Abbrev(what, "TIMING", 3))
    show("TIMING");
  else if (Abbrev(what, "DEFINE", 3))
    show("DEFINE");
  else if (Abbrev(what, "SERVEROUTPUT", 9))
    show("SERVEROUTPUT");
  else if (Abbrev(what, "SPOOL", 3))
    show("SPOOL");
  else if (Abbrev(what, "NUMFORMAT", 4))
    show("NUMFORMAT");
  else if (Abbrev(what, "COLSEP", 4))
    show("COLSEP");
  else if (Abbrev(what, "UNDERLINE", 3))
    show("UNDERLINE");
  else if (Abbrev(what, "WRAP", 3))
    show("WRAP");
  else if (Abbrev(what, "AUTOCOMMIT", 4))
    show("AUTOCOMMIT");
  else if (what == "NULL" || what == "RECSEP")
    show(what);
  else
    FOut << "SP2-0158: unknown SHOW option \"" << Trim(args) << "\"\n\n";
}

void TSqlShell::Connect(const std::string& args) {
  TLogonArgs a = ParseLogonArg(args);
  if (a.user.empty() && !a.hasPassword)
    a = ParseLogonArg(Ask("Enter user-name: ", true));
  if (a.user.empty()) {
    FOut << "SP2-0306: CONNECT needs a user name.\n\n";
    return;
  }
  if (!a.hasPassword)
    a.password = Ask("Enter password: ", false);
  // The old connection ends first, even when the new one then fails.
  if (FSession.Connected())
    FSession.Disconnect();
  if (a.password.empty()) {
    FOut << "ORA-01005: no password given; logon denied\n\n";
    return;
  }
  FSession.UserName = a.user;
  FSession.UserPass = a.password;
  FSession.UserHost = a.host;
  FSession.AutoLogon = true;
  // The shell reports the failure itself; no second prompt and no second message.
  auto prompt = std::move(FSession.LogonPrompt);
  auto onError = std::move(FSession.OnError);
  FSession.LogonPrompt = nullptr;
  FSession.OnError = nullptr;
  bool ok = FSession.Connect();
  FSession.LogonPrompt = std::move(prompt);
  FSession.OnError = std::move(onError);
  if (ok)
    FOut << "Connected.\n";
  else
    FOut << "ERROR:\n" << FSession.GetErrorMessage(FSession.ReturnCode()) << "\n\n\n";
}

void TSqlShell::Disconnect() {
  if (!FSession.Connected())
    return;
  if (FSession.Disconnect())
    FOut << "Disconnected.\n";
  else
    FOut << FSession.GetErrorMessage(FSession.ReturnCode()) << "\n\n";
}

bool TSqlShell::Exit(const std::string& args) {
  int code = 0;
  bool rollback = false;
  for (auto& word : SplitWords(args)) {
    std::string w = Upper(word);
    long long n = 0;
    if (w == "COMMIT")
      rollback = false;
    else if (w == "ROLLBACK")
      rollback = true;
    else if (w == "SUCCESS")
      code = 0;
    else if (w == "FAILURE")
      code = 1;
    else if (w == "WARNING")
      code = 2;
    else if (w == "SQL.SQLCODE")
      code = FLastError;
    else if (ParseInt(w, n))
      code = static_cast<int>(n);
    else {
      FOut << "SP2-0584: EXIT takes a number, SUCCESS, FAILURE, WARNING, SQL.SQLCODE, COMMIT or "
              "ROLLBACK, not \""
           << word << "\"\n\n";
      return true;
    }
  }
  if (rollback && FSession.Connected())
    FSession.Rollback();
  FExitCode = code;
  return false;
}

bool TSqlShell::Whenever(const std::string& args) {
  std::vector<std::string> w = SplitWords(Upper(args));
  auto usage = [&] {
    FOut << "SP2-0591: use WHENEVER SQLERROR|OSERROR EXIT [SUCCESS|FAILURE|WARNING|n|"
            "SQL.SQLCODE] [COMMIT|ROLLBACK] or WHENEVER SQLERROR|OSERROR CONTINUE\n\n";
    return true;
  };
  if (w.size() < 2 || (w[0] != "SQLERROR" && w[0] != "OSERROR"))
    return usage();
  const bool os = w[0] == "OSERROR";
  if (w[1] == "CONTINUE") {
    // CONTINUE [COMMIT|ROLLBACK|NONE]: the failure leaves the transaction as it is here
    (os ? Settings.OsErrorExit : Settings.ErrorExit) = false;
    return true;
  }
  if (w[1] != "EXIT")
    return usage();
  TShellSettings s = Settings;
  s.ErrorExit = true;
  s.ErrorExitCode = 1;
  s.ErrorExitSqlCode = false;
  s.ErrorExitRollback = false;
  for (size_t i = 2; i < w.size(); ++i) {
    long long n = 0;
    if (w[i] == "COMMIT")
      s.ErrorExitRollback = false;
    else if (w[i] == "ROLLBACK")
      s.ErrorExitRollback = true;
    else if (w[i] == "SUCCESS")
      s.ErrorExitCode = 0;
    else if (w[i] == "FAILURE")
      s.ErrorExitCode = 1;
    else if (w[i] == "WARNING")
      s.ErrorExitCode = 2;
    else if (w[i] == "SQL.SQLCODE" && !os)
      s.ErrorExitSqlCode = true;
    else if (ParseInt(w[i], n))
      s.ErrorExitCode = static_cast<int>(n);
    else
      return usage();
  }
  if (os) {
    Settings.OsErrorExit = true;
    Settings.OsErrorExitCode = s.ErrorExitCode;
    Settings.OsErrorExitRollback = s.ErrorExitRollback;
  } else {
    Settings = s;
  }
  return true;
}
