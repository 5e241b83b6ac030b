// The terminal SQL shell: reads SQL statements and shell commands (SET, SHOW, DESCRIBE,
// CONNECT, @script, ...) and runs them through the access layer.
#pragma once
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

class TOraSession;
class TOraCursor;
class TSqlSplitter;
struct TSplitEvent;

struct TLogonArgs {
  std::string user, password, host;
  bool hasPassword = false;
};

// "user[/password][@host]"
TLogonArgs ParseLogonArg(const std::string& arg);

// Script file bytes as UTF-8: a UTF-8 BOM or valid UTF-8 is kept, anything else is CP932.
std::string DecodeScriptText(const std::string& bytes);

struct TShellSettings {
  int LineSize = 80;
  int PageSize = 14; // lines per page; 0 = no headings and no page breaks
  int Feedback = 1;  // show "n rows selected." from this many rows on; 0 = off
  bool Echo = false; // echo the lines of scripts
  bool Heading = true;
  int NumWidth = 10; // width of NUMBER columns without a precision
  int Long = 80;     // shown part of LONG values
  bool SqlBlankLines = false;
  // WHENEVER SQLERROR EXIT [code|SQL.SQLCODE] [COMMIT|ROLLBACK]
  bool ErrorExit = false;
  int ErrorExitCode = 0;
  bool ErrorExitSqlCode = false; // exit with the Oracle error number
  bool ErrorExitRollback = false;
};

class TSqlShell {
public:
  TSqlShell(TOraSession& session, std::istream& in, std::ostream& out, bool interactive);
  ~TSqlShell();

  // Runs until EXIT or the end of input; the result is the process exit code.
  int Run();
  // Runs a script file first (as "@file" does). False when it asked to exit.
  bool RunStartScript(const std::string& file);
  // Runs one complete statement or command (SQL without its ";"). False when it asks to exit.
  bool Execute(const std::string& statement);
  int ExitCode() const { return FExitCode; }

  TShellSettings Settings;

  // Reads one line of the top-level input; false at its end. The default prints the prompt
  // (interactive only) and reads `in`. The program installs a line editor here.
  std::function<bool(const std::string& prompt, std::string& line)> ReadLine;
  // Asks for a value (user name, password); `echo` false hides the typing. The default
  // reads a line of the top-level input.
  std::function<std::string(const std::string& prompt, bool echo)> Ask;
  // Polled while a query's rows are fetched: true when the user asked to stop (Ctrl-C).
  std::function<bool()> Interrupted;
  // Drops the statement being entered at the prompt (Ctrl-C while typing).
  void CancelEntry() { FCancelEntry = true; }

private:
  struct TSource;
  // Feeds lines of one source until its end or EXIT. False when the shell is to exit.
  bool RunSource(TSource& src);
  bool HandleLine(TSource& src, TSqlSplitter& splitter, const std::string& line);
  bool HandleEvent(TSource& src, const TSplitEvent& ev);
  bool RunCommand(TSource& src, const std::string& text);
  bool RunStatement(const std::string& text, bool plsql);
  bool RunScript(TSource& from, const std::string& name, bool relative);
  // Prints a query's rows; false with `error` set when the fetch failed.
  bool RunQuery(TOraCursor& cursor, std::string& error);
  void Describe(const std::string& name);
  void SetCommand(const std::string& args);
  void ShowCommand(const std::string& args);
  void Connect(const std::string& args);
  void Disconnect();
  bool Exit(const std::string& args);
  bool Whenever(const std::string& args);
  bool RequireConnection();
  // A failed statement: prints the message; false when WHENEVER SQLERROR says exit.
  bool Failed(const std::string& text, int code);
  void ShowError(const std::string& text);
  void ShowErrorLine(const std::string& statement, size_t offset);
  void ListBuffer();
  std::string Prompt(const TSqlSplitter& splitter) const;

  TOraSession& FSession;
  std::istream& FIn;
  std::ostream& FOut;
  bool FInteractive;
  std::string FBuffer; // the last statement entered
  bool FBufferPlSql = false;
  int FDepth = 0; // script nesting
  int FExitCode = 0;
  int FLastError = 0; // Oracle error number of the last failed statement
  bool FCancelEntry = false;
};
