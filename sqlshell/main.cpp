// tessel-sql [user[/password][@host]]
#include "OciCompo.h"
#include "OciIntr.h"
#include "SqlShell.h"

#include <clocale>
#include <iostream>
#include <termios.h>
#include <unistd.h>

namespace {

std::string Ask(const char* prompt, bool echo) {
  std::cout << prompt << std::flush;
  termios old{};
  bool tty = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &old) == 0;
  if (tty && !echo) {
    termios quiet = old;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
  }
  std::string s;
  std::getline(std::cin, s);
  if (tty && !echo) {
    tcsetattr(STDIN_FILENO, TCSANOW, &old);
    std::cout << "\n";
  }
  return s;
}

} // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  TLogonArgs args;
  if (argc > 1) args = ParseLogonArg(argv[1]);
  bool interactive = isatty(STDIN_FILENO);

  TOraSession session;
  session.DateFormatString = "YYYY/MM/DD";
  session.UserName = args.user;
  session.UserPass = args.password;
  session.UserHost = args.host;
  session.AutoLogon = true;
  // Asks for what the command line left out; up to three tries, as a terminal client does.
  int tries = 0;
  session.LogonPrompt = [&](std::string& user, std::string& pass, std::string& host) {
    if (++tries > 3) return false;
    bool retry = session.ReturnCode() != 0; // the last attempt was refused: ask afresh
    if (user.empty() || retry) {
      pass.clear();
      TLogonArgs a = ParseLogonArg(Ask("Enter user-name: ", true));
      user = a.user;
      pass = a.password;
      if (!a.host.empty()) host = a.host;
      if (a.hasPassword) return !user.empty();
    }
    if (pass.empty()) pass = Ask("Enter password: ", false);
    return !user.empty();
  };
  session.OnError = [](TOraSession&, const std::string& msg) { std::cerr << msg << "\n\n"; };
  try {
    while (!session.Connected()) {
      if (session.Connect()) break;
      if (tries >= 3 || std::cin.eof()) return 1;
    }
  } catch (const std::exception& e) {
    std::cerr << e.what() << "\n";
    return 1;
  }
  std::cout << "Connected.\n\n";
  TSqlShell shell(session, std::cin, std::cout, interactive);
  int rc = shell.Run();
  session.Disconnect();
  return rc;
}
