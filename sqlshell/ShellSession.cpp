// Sessions: CONNECT, DISCONNECT, EXIT and WHENEVER.
#include "SqlShell.h"

#include "CType.h"
#include "OciCompo.h"
#include "OciIntr.h"
#include "ShellWords.h"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

using namespace shellwords;

void TSqlShell::Connect(const std::string& args) {
  TLogonArgs a = ParseLogonArg(args);
  if (a.user.empty() && !a.hasPassword)
    a = ParseLogonArg(Ask("Enter user-name: ", true));
  if (a.user.empty()) {
    FOut << "SP2-0306: CONNECT needs a user name.\n";
    return;
  }
  if (!a.hasPassword)
    a.password = Ask("Enter password: ", false);
  // The old connection ends first, even when the new one then fails.
  const bool was = FSession.Connected();
  if (was)
    FSession.Disconnect();
  const char* lost = was ? "Warning: You are no longer connected to ORACLE.\n" : "";
  if (a.password.empty()) {
    FOut << "ORA-01005: no password given; logon denied\n\n" << lost;
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
    FOut << "ERROR:\n" << FSession.GetErrorMessage(FSession.ReturnCode()) << "\n\n\n" << lost;
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
    else if (const TBindVar* b = w.size() > 1 && w[0] == ':' ? FindBind(w.substr(1)) : nullptr;
             b && b->Number) {
      // a NUMBER bind variable: its value, without the decimals
      long long v = 0;
      std::string whole = b->Value.substr(0, b->Value.find('.'));
      code = !b->Null && ParseInt(whole.empty() || whole == "-" ? "0" : whole, v)
                 ? static_cast<int>(v)
                 : 0;
    } else {
      FOut << "SP2-0584: EXIT variable \"" << Upper(word) << "\" was non-numeric\n";
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
            "SQL.SQLCODE] [COMMIT|ROLLBACK] or WHENEVER SQLERROR|OSERROR CONTINUE\n";
    return true;
  };
  if (w.size() < 2 || (w[0] != "SQLERROR" && w[0] != "OSERROR"))
    return usage();
  const bool os = w[0] == "OSERROR";
  if (w[1] == "CONTINUE") {
    // CONTINUE [COMMIT|ROLLBACK|NONE]: what becomes of the transaction after a failure
    const std::string action = w.size() > 2 ? w[2] : "NONE";
    if (w.size() > 3 || (action != "COMMIT" && action != "ROLLBACK" && action != "NONE"))
      return usage();
    (os ? Settings.OsErrorExit : Settings.ErrorExit) = false;
    (os ? Settings.OsErrorContinue : Settings.ErrorContinue) = action == "NONE" ? 0 : action[0];
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
