// The terminal SQL shell: reads statements ended by ";" and runs them through the access layer.
#pragma once
#include <iosfwd>
#include <string>

class TOraSession;

struct TLogonArgs {
  std::string user, password, host;
  bool hasPassword = false;
};

// "user[/password][@host]"
TLogonArgs ParseLogonArg(const std::string& arg);

class TSqlShell {
public:
  TSqlShell(TOraSession& session, std::istream& in, std::ostream& out, bool interactive);
  // Runs until EXIT or the end of input; the result is the process exit code.
  int Run();
  // Runs one complete statement or command (without its ";"). False when it asks to exit.
  bool Execute(const std::string& statement);

private:
  void RunQuery(class TOraCursor& cursor);
  void ShowError(const std::string& text);

  TOraSession& FSession;
  std::istream& FIn;
  std::ostream& FOut;
  bool FInteractive;
};
