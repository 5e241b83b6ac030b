// Sessions: CONNECT, DISCONNECT, PASSWORD, EXIT and WHENEVER.
#include "SqlShell.h"

#include "CType.h"
#include "OciCompo.h"
#include "OciIntr.h"
#include "ShellWords.h"
#include "SqlQuote.h"

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
  FDecimal = '.'; // a new session starts from the default numeric characters
  if (ok)
    FOut << "Connected.\n";
  else
    FOut << "ERROR:\n" << FSession.GetErrorMessage(FSession.ReturnCode()) << "\n\n\n" << lost;
}

namespace {

// A user name or password as a logon reads it: as written in double quotes, else in upper case.
std::string LogonForm(const std::string& typed) {
  if (typed.size() >= 2 && typed.front() == '"' && typed.back() == '"')
    return typed.substr(1, typed.size() - 2);
  return Upper(typed);
}

} // namespace

void TSqlShell::Password(const std::string& args) {
  if (!RequireConnection())
    return;
  const std::vector<std::string> w = SplitWords(args);
  const std::string user = LogonForm(w.empty() ? FSession.LogonUser() : w[0]);
  const bool own = user == LogonForm(FSession.LogonUser());
  FOut << "Changing password for " << user << "\n";
  FOut.flush();
  const std::string old = own ? Ask("Old password: ", false) : std::string();
  const std::string typed = Ask("New password: ", false);
  if (Ask("Retype new password: ", false) != typed) {
    FOut << "SP2-0650: New passwords do not match\nPassword unchanged\n";
    return;
  }
  const std::string password = LogonForm(typed);
  auto unchanged = [&](const std::string& error) {
    FOut << "ERROR:\n" << error << "\n\n\nPassword unchanged\n";
  };
  if (password.empty()) {
    FOut << "Password unchanged\n";
    return;
  }
  if (password.find('"') != std::string::npos) {
    unchanged("ORA-00988: missing or invalid password(s)");
    return;
  }
  // The change runs on a logon of its own: the old password is checked by logging on with it,
  // and the open transaction of this one is neither committed nor rolled back.
  TOraSession other;
  other.UserName = own ? user : FSession.LogonUser();
  other.UserPass = own ? old : FSession.UserPass;
  other.UserHost = FSession.UserHost;
  other.AutoLogon = true;
  if (!other.Connect()) {
    const int code = other.ReturnCode();
    unchanged(own && code == 1017 ? "ORA-28008: invalid old password"
                                  : other.GetErrorMessage(code));
    return;
  }
  TOraCursor c;
  c.SetSession(&other);
  c.SetSQL({"ALTER USER " + OraName(user) + " IDENTIFIED BY " + OraName(password)});
  c.OnError = [](TOraCursor&, const std::string&) {};
  const bool changed = c.Open() && c.Parse() && c.Exec();
  const std::string err = changed ? std::string() : other.GetErrorMessage(c.ReturnCode());
  c.OnError = nullptr;
  if (c.Opened())
    c.Close();
  other.Disconnect();
  if (!changed) {
    unchanged(err);
    return;
  }
  if (own)
    FSession.UserPass = typed;
  FOut << "Password changed\n";
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
  bool rollback = !Settings.ExitCommit;
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
  s.ErrorExitCommit = false;
  for (size_t i = 2; i < w.size(); ++i) {
    long long n = 0;
    if (w[i] == "COMMIT") {
      s.ErrorExitRollback = false;
      s.ErrorExitCommit = true;
    } else if (w[i] == "ROLLBACK")
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
    Settings.OsErrorExitCommit = s.ErrorExitCommit;
  } else {
    Settings = s;
  }
  return true;
}
