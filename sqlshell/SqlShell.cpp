#include "SqlShell.h"

#include "CType.h"
#include "DisplayWidth.h"
#include "OciCompo.h"
#include "OciIntr.h"
#include "SqlSplitter.h"

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
void TSqlShell::ShowErrorLine(const std::string& text, size_t offset, bool gap) {
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
       << (gap ? "\n" : "") << std::string(static_cast<size_t>(column), ' ') << "*\nERROR at line "
       << lineNo << ":\n";
  FErrorLine = lineNo;
}

size_t TSqlShell::BlockErrorOffset(const std::string& statement, const std::string& error) {
  int line = 0, column = 0;
  if (std::sscanf(error.c_str(), "ORA-06550: line %d, column %d", &line, &column) != 2 ||
      line < 1 || column < 1)
    return 0;
  size_t at = 0;
  for (int k = 1; k < line; ++k) {
    at = statement.find('\n', at);
    if (at == std::string::npos)
      return 0;
    ++at;
  }
  const size_t end = std::min(statement.find('\n', at), statement.size());
  return std::min(at + static_cast<size_t>(column - 1), end);
}

bool TSqlShell::Failed(const std::string& text, int code) {
  ShowError(text);
  FLastError = code;
  if (!Settings.ErrorExit) {
    ContinueAfterError(Settings.ErrorContinue);
    return true;
  }
  if ((Settings.ErrorExitRollback || (!Settings.ErrorExitCommit && !Settings.ExitCommit)) &&
      FSession.Connected())
    FSession.Rollback();
  FExitCode = Settings.ErrorExitSqlCode ? code : Settings.ErrorExitCode;
  return false;
}

void TSqlShell::ContinueAfterError(char action) {
  if (!action || !FSession.Connected())
    return;
  FChangesSinceCommit = 0;
  if (action == 'C')
    FSession.Commit();
  else
    FSession.Rollback();
}

int TSqlShell::Run() {
  TSource src;
  src.In = &FIn;
  src.Top = true;
  src.Name = "the input";
  // the end of the input leaves as EXIT does
  if (RunSource(src) && !Settings.ExitCommit && FSession.Connected())
    FSession.Rollback();
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
    splitter.Terminator = Settings.SqlTerminator;
    splitter.BlockTerminator = Settings.BlockTerminator;
    splitter.Prefix = Settings.SqlPrefix;
    FTee.Mute = !src.Top && !Settings.TermOut;
    bool go = HandleLine(src, splitter, line);
    FTee.Mute = false;
    if (!go)
      return false;
  }
  // A string or quoted name left open to the end is read as the classic shell reads it: its entry
  // ends at the first line ending in ";", fails there as unterminated, and the lines after it still
  // run.
  std::vector<std::string> rest;
  for (std::string cut = splitter.CutOpenString(rest); !cut.empty();
       cut = splitter.CutOpenString(rest)) {
    splitter.Reset();
    TSplitEvent ev;
    ev.Kind = TSplitEvent::Statement;
    ev.Text = cut;
    bool go = true;
    try {
      go = HandleEvent(src, ev);
    } catch (const std::exception& e) {
      FOut << e.what() << "\n\n";
    }
    for (size_t i = 0; go && i < rest.size(); ++i)
      go = HandleLine(src, splitter, rest[i]);
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
    return Settings.CmdSep ? RunCommands(src, ev.Text) : RunCommand(src, ev.Text);
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

bool TSqlShell::RunCommands(TSource& src, const std::string& line) {
  // SET CMDSEP: the line's commands one by one, the separator inside quotes kept
  std::vector<std::string> pieces(1);
  char quote = 0;
  for (char ch : line) {
    if (quote ? ch == quote : ch == '\'' || ch == '"')
      quote = quote ? 0 : ch;
    if (!quote && ch == Settings.CmdSep)
      pieces.emplace_back();
    else
      pieces.back() += ch;
  }
  for (const std::string& piece : pieces) {
    std::string command = Trim(piece);
    if (command.empty())
      continue;
    if (!TSqlSplitter::IsShellCommand(command)) {
      FOut << "SP2-0734: unknown command beginning \"" << command.substr(0, 10)
           << "...\" - rest of line ignored.\n";
      return true;
    }
    if (!RunCommand(src, command))
      return false;
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
    FOut << "SP2-0738: Restricted command \"" << text[0] << "\" not available\n";
    return true;
  }
  if (text.compare(0, 2, "@@") == 0)
    return RunScript(src, Trim(text.substr(2)), true);
  if (text[0] == '@')
    return RunScript(src, Trim(text.substr(1)), false);
  size_t e = 0;
  while (e < text.size() && ora::alphaC(static_cast<unsigned char>(text[e])))
    ++e;
  std::string word = Upper(text.substr(0, e));
  std::string raw = Trim(text.substr(e));
  std::string args = StripSemicolons(raw);

  if (Abbrev(word, "REMARK", 3))
    return true;
  if (word == "HELP" || text[0] == '?') {
    // no help text is installed, as when the classic tool's help tables are missing
    FOut << "SP2-0171: HELP system not available.\n";
    return true;
  }
  if (Abbrev(word, "HOST", 2)) {
    FOut << "SP2-0738: Restricted command \"" << text.substr(0, e) << "\" not available\n";
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
  if (Abbrev(word, "TIMING", 3)) {
    TimingCommand(args);
    return true;
  }
  if (word == "PAUSE") {
    // The text, then a wait for Enter (a line of the input).
    FOut << raw << "\n" << std::flush;
    Ask("", true);
    return true;
  }
  if (Abbrev(word, "VARIABLE", 3)) {
    VariableCommand(args);
    return true;
  }
  if (Abbrev(word, "PRINT", 3)) {
    PrintCommand(args);
    return true;
  }
  if (Abbrev(word, "TTITLE", 3) || Abbrev(word, "BTITLE", 3)) {
    TitleCommand(word[0] == 'T' ? TopTitle : BottomTitle, raw);
    return true;
  }
  if (Abbrev(word, "REPHEADER", 4) || Abbrev(word, "REPFOOTER", 4)) {
    TitleCommand(word[3] == 'H' ? ReportHeader : ReportFooter, raw);
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
  if (Abbrev(word, "PASSWORD", 5)) {
    Password(args);
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
  if (word == "ARCHIVE" && !args.empty() && Upper(SplitWords(args)[0]) == "LOG") {
    if (SplitWords(Upper(args)) == std::vector<std::string>{"LOG", "LIST"})
      ArchiveLogList();
    else // START, STOP, NEXT and the rest went with automatic archiving
      FOut << "SP2-0718: illegal ARCHIVE LOG option\n";
    return true;
  }
  if (word == "COPY") {
    // copying between databases needs connections to two of them; this shell has one
    FOut << "SP2-0738: Restricted command \"" << text.substr(0, e) << "\" not available\n";
    return true;
  }
  if (Abbrev(word, "LIST", 1)) {
    ListBuffer(args);
    return true;
  }
  if (e == 0 && !text.empty() && ora::digitC(static_cast<unsigned char>(text[0]))) {
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
    if (!Trim(typed).empty()) {
      InputCommand(typed);
      return true;
    }
    // INPUT alone takes the lines that follow, up to an empty line or ".".
    for (std::string line;;) {
      std::string n = std::to_string(BufferLines().size() + 1);
      std::string prompt = std::string(n.size() < 3 ? 3 - n.size() : 0, ' ') + n + "  ";
      if (src.Top ? !ReadLine(prompt, line) : !std::getline(*src.In, line))
        break;
      ++src.Line;
      if (!src.Top && Settings.Echo)
        FOut << prompt << line << "\n";
      if (!line.empty() && line.back() == '\r')
        line.pop_back();
      if (Trim(line).empty() || Trim(line) == ".")
        break;
      InputCommand(line);
    }
    return true;
  }
  if (Abbrev(word, "SAVE", 3)) {
    SaveCommand(args);
    return true;
  }
  if (Abbrev(word, "STORE", 3)) {
    StoreCommand(args);
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
    // EXECUTE's block ends in a line break, so its failing line shows with a blank one after
    FExecuting = true;
    const bool go = RunStatement("BEGIN " + args + "; END;", true);
    FExecuting = false;
    return go;
  }
  // A short line is quoted whole, a longer one by its first ten characters.
  std::string line = Trim(text);
  size_t tenth = 0; // bytes of the first ten characters, never half of one
  for (int n = 0; tenth < line.size() && n < 10; ++n)
    for (++tenth; tenth < line.size() && (static_cast<unsigned char>(line[tenth]) & 0xC0) == 0x80;)
      ++tenth;
  if (tenth >= line.size())
    FOut << "SP2-0042: unknown command \"" << line << "\" - rest of line ignored.\n";
  else
    FOut << "SP2-0734: unknown command beginning \"" << line.substr(0, tenth)
         << "...\" - rest of line ignored.\n";
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
  // The words after the name are the script's arguments, &1, &2, ...; a quoted one may hold blanks
  std::vector<TQuotedWord> arguments = QuotedWords(StripSemicolons(rest));
  if (name.empty()) {
    FOut << "SP2-1506: START, @ or @@ command has no arguments\n";
    return true;
  }
  if (FDepth >= MaxScriptDepth) {
    FOut << "SP2-0309: SQL*Plus command procedures may only be nested to a depth of "
         << MaxScriptDepth << ".\n";
    return true;
  }
  fs::path p(name);
  bool defaultExt = !p.has_extension() && !Settings.Suffix.empty();
  if (defaultExt)
    p += "." + Settings.Suffix;
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
    if (!Settings.OsErrorExit) {
      ContinueAfterError(Settings.OsErrorContinue);
      return true;
    }
    if ((Settings.OsErrorExitRollback || (!Settings.OsErrorExitCommit && !Settings.ExitCommit)) &&
        FSession.Connected())
      FSession.Rollback();
    FExitCode = Settings.OsErrorExitCode;
    return false;
  }
  std::ostringstream bytes;
  bytes << file.rdbuf();
  std::istringstream text(DecodeScriptText(bytes.str()));
  for (size_t k = 0; k < arguments.size(); ++k)
    SetVariable(std::to_string(k + 1), arguments[k].Text);
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
  std::string text = Substitute(entered, true);
  if (Settings.SqlCase != 'M') // SQLCASE changes the whole text, quoted parts too
    for (char& ch : text)
      ch = static_cast<char>(Settings.SqlCase == 'U' ? ora::upperC(static_cast<unsigned char>(ch))
                                                     : ora::lowerC(static_cast<unsigned char>(ch)));
  const auto started = std::chrono::steady_clock::now();
  bool go = true;
  bool handled = false;
  if (plsql) {
    go = BindAssignments(text, handled);
    if (const std::string name = handled ? std::string() : UndeclaredBind(text); !name.empty()) {
      FOut << "SP2-0552: Bind variable \"" << name << "\" not declared.\n";
      handled = true;
    }
  } else if (ReturningIntoBinds(text) && UndeclaredBind(text).empty()) {
    go = RunReturning(text);
    handled = true;
  } else {
    std::string undeclared;
    text = ReplaceBinds(text, undeclared, &FBound);
    FBoundRunning = !FBound.Values.empty();
    if (!undeclared.empty()) {
      FOut << "SP2-0552: Bind variable \"" << undeclared << "\" not declared.\n";
      handled = true;
    }
  }
  FErrorLine = 0;
  if (!handled)
    go = RunStatementText(text, plsql);
  FBoundRunning = false;
  // The buffer's line with the error becomes its current line, ready for CHANGE.
  if (FErrorLine > 0 && &entered == &FBuffer &&
      FErrorLine <= static_cast<int>(BufferLines().size()))
    FCurrent = FErrorLine;
  if (Settings.Timing) {
    FOut << ElapsedText(started) << "\n";
  }
  return go;
}

void TSqlShell::WriteServerLine(std::string line) {
  // each line fits LINESIZE: cut, wrapped, or wrapped between words without leading blanks
  if (Settings.ServerOutputFormat == 'W')
    line.erase(0, std::min(line.find_first_not_of(" \t"), line.size()));
  std::vector<std::string> pieces =
      Chunks(line, Settings.LineSize, Settings.ServerOutputFormat == 'W');
  if (Settings.ServerOutputFormat == 'T')
    pieces.resize(1);
  // the blanks where a line was cut do not end its pieces
  if (pieces.size() > 1 || pieces[0].size() < line.size())
    for (std::string& piece : pieces)
      piece.erase(piece.find_last_not_of(' ') + 1);
  for (const std::string& piece : pieces)
    FOut << piece << "\n";
}

void TSqlShell::ShowServerOutput() {
  if (!Settings.ServerOutput)
    return;
  std::vector<char> buf(32767);
  for (;;) {
    int len = 0, status = 1;
    if (OciIntr::tessel_output_get_line(FSession.LogonArea(), buf.data(),
                                        static_cast<int>(buf.size()), &len, &status) != 0 ||
        status != 0)
      break;
    WriteServerLine(std::string(buf.data(), static_cast<size_t>(len)));
  }
}

bool TSqlShell::RunStatementText(const std::string& text, bool plsql) {
  std::string lead = TSqlSplitter::LeadingWords(text, 3);
  if (lead == "COMMIT" || lead == "COMMIT WORK" || lead == "ROLLBACK" || lead == "ROLLBACK WORK") {
    bool commit = lead[0] == 'C';
    FChangesSinceCommit = 0;
    if (!(commit ? FSession.Commit() : FSession.Rollback()))
      return Failed(FSession.GetErrorMessage(FSession.ReturnCode()), FSession.ReturnCode());
    if (Settings.Feedback > 0)
      FOut << (commit ? "\nCommit complete.\n\n" : "\nRollback complete.\n\n");
    return true;
  }

  // DBMS_OUTPUT collects while SERVEROUTPUT is on; its lines are shown after each statement
  const bool output = FSession.Connected() && OciIntr::OutputAvailable();
  if (output)
    OciIntr::tessel_output_enable(FSession.LogonArea(), Settings.ServerOutput ? 1 : 0);
  TOraCursor c;
  c.SetSession(&FSession);
  c.SetNumberOfRows(TOraCursor::MaxRows);
  c.SetDatesAsText(true); // shown in the session's date format, as SQL*Plus shows them
  c.SetRawAsText(true);   // in hex, also past the 255 bytes a raw field holds
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
  const std::string first = TSqlSplitter::LeadingWords(text, 1);
  const bool block = plsql && (first == "BEGIN" || first == "DECLARE");
  const bool ran = c.Parse() &&
                   (!block || (BindCursors(c, text, err) && BindValues(c, text, err))) &&
                   c.DescribeFields() && c.Exec();
  CursorsRan(ran);
  if (ran && block && !ValuesRan(c, err)) {
    FOut << text << (FExecuting ? "\n\n" : "\n") << "*\nERROR at line 1:\n";
    go = Failed(err + "\nORA-06512: at line 1", 6502);
    c.OnError = nullptr;
    c.Close();
    return go;
  }
  if (!ran) {
    // what the block wrote before it failed comes first
    if (output)
      ShowServerOutput();
    // the line as written, with the names of its bind variables rather than their values
    std::string written;
    size_t place = 0;
    // a block's compile error is marked where "ORA-06550: line n, column m" puts it
    size_t offset = c.ErrorOffset();
    if (plsql && offset == 0)
      offset = BlockErrorOffset(c.StatementText(), err);
    if (!FReturning.empty()) {
      ShowErrorLine(FReturning, 0, FExecuting);
      err = StatementError(err);
    } else if (FBoundRunning && FBound.Locate(c.StatementText(), offset, written, place))
      ShowErrorLine(written, place);
    else
      ShowErrorLine(c.StatementText(), offset, FExecuting);
    go = Failed(err, c.ReturnCode());
  } else if (c.StatementType() == 4) {
    c.OnError = nullptr;
    // TRACEONLY EXPLAIN shows a query's plan without fetching its rows
    if (Settings.AutoTrace != 'T' && !RunQuery(c, err)) {
      // An error while fetching has no statement line to point at.
      FOut << "ERROR:\n";
      go = Failed(err, err.rfind("ORA-01013", 0) == 0 ? 1013 : c.ReturnCode());
    } else if (Settings.AutoTrace && !plsql)
      ShowAutotracePlan(text);
  } else {
    if (output)
      ShowServerOutput();
    if (plsql)
      NoteCreatedUnit(text);
    std::string unitErr;
    const std::string& unit = FLastUnitType;
    if (plsql &&
        (unit == "PROCEDURE" || unit == "FUNCTION" || unit == "PACKAGE" || unit == "PACKAGE BODY" ||
         unit == "TRIGGER" || unit == "TYPE" || unit == "TYPE BODY") &&
        TSqlSplitter::LeadingWords(text, 1) == "CREATE" &&
        ObjectStatus(FLastUnitName, FLastUnitType, unitErr) == "INVALID")
      FOut << "\nWarning: " << UnitTitle(unit) << " created with compilation errors.\n\n";
    else if (std::string title; !plsql && CompiledInvalid(text, title))
      FOut << "\nWarning: " << title << " "
           << (TSqlSplitter::LeadingWords(text, 1) == "ALTER" ? "altered" : "created")
           << " with compilation errors.\n\n";
    else if (Settings.Feedback > 0 && !FReturning.empty())
      FOut << "\n" << FeedbackText(FReturning, false, ReturnedRows()) << "\n\n";
    else if (Settings.Feedback > 0)
      FOut << "\n" << FeedbackText(text, plsql, c.RowsProcessed()) << "\n\n";
    if (block && Settings.AutoPrint)
      AutoPrint(FReturning.empty() ? text : FReturning);
    // NLS_NUMERIC_CHARACTERS or NLS_TERRITORY may have changed how numbers are written
    if (!plsql && TSqlSplitter::LeadingWords(text, 2) == "ALTER SESSION")
      FDecimal = SessionDecimal();
    const std::string verb = TSqlSplitter::LeadingWords(FReturning.empty() ? text : FReturning, 1);
    if (Settings.AutoTrace && !plsql &&
        (verb == "INSERT" || verb == "UPDATE" || verb == "DELETE" || verb == "MERGE"))
      ShowAutotracePlan(FReturning.empty() ? text : FReturning);
    if (Settings.AutoCommit > 0 &&
        (verb == "INSERT" || verb == "UPDATE" || verb == "DELETE" || verb == "MERGE") &&
        ++FChangesSinceCommit >= Settings.AutoCommit) {
      FChangesSinceCommit = 0;
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
