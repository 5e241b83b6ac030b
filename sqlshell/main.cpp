// tessel-sql [user[/password][@host] | /nolog] [@script]
// tessel-sql --create-database FOLDER [--charset JA16SJIS|AL32UTF8]
#include "CType.h"
#include "OciCompo.h"
#include "OciIntr.h"
#include "SqlShell.h"
#include "SqlSplitter.h"

#include <editline/readline.h>

#include <cctype>
#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <termios.h>
#include <unistd.h>

namespace {

std::string Ask(const std::string& prompt, bool echo) {
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
  if (!s.empty() && s.back() == '\r')
    s.pop_back();
  if (tty && !echo) {
    tcsetattr(STDIN_FILENO, TCSANOW, &old);
    std::cout << "\n";
  }
  return s;
}

void Usage() {
  std::cerr << "usage: tessel-sql [-s] [-m \"HTML ON [option ...]\"] [user[/password][@host] | "
               "/nolog]\n"
               "                  [@script [argument ...]]\n"
               "       tessel-sql --create-database FOLDER [--charset JA16SJIS|AL32UTF8]\n";
}

int CreateDatabase(const std::string& folder, std::string charset) {
  namespace fs = std::filesystem;
  for (auto& c : charset)
    c = static_cast<char>(ora::upperC(static_cast<unsigned char>(c)));
  if (charset != "JA16SJIS" && charset != "AL32UTF8") {
    std::cerr << "tessel-sql: unknown character set \"" << charset
              << "\"; use JA16SJIS or AL32UTF8.\n";
    return 1;
  }
  std::error_code ec;
  if (fs::exists(folder, ec) && (!fs::is_directory(folder, ec) || !fs::is_empty(folder, ec))) {
    std::cerr << "tessel-sql: \"" << folder
              << "\" already exists and is not an empty folder; give a new or empty folder.\n";
    return 1;
  }
  try {
    // the default set needs only the older entry point
    if (charset == "JA16SJIS" ? !OciIntr::CreateDatabaseAvailable()
                              : !OciIntr::CreateDatabaseCharsetAvailable()) {
      std::cerr << "tessel-sql: the call library " << OciIntr::LibraryFileName()
                << " cannot create databases.\n";
      return 1;
    }
  } catch (const DLLAddressErr& e) {
    std::cerr << "tessel-sql: " << e.what() << "\n";
    return 1;
  }
  std::string pw = Ask("Enter the new SYSTEM password: ", false);
  std::string again = Ask("Enter it again: ", false);
  if (pw.empty()) {
    std::cerr << "tessel-sql: the password must not be empty; nothing was created.\n";
    return 1;
  }
  if (pw != again) {
    std::cerr << "tessel-sql: the two passwords differ; nothing was created.\n";
    return 1;
  }
  int rc = OciIntr::CreateDatabaseCharsetAvailable()
               ? OciIntr::tessel_create_database_cs(folder.c_str(), pw.c_str(), charset.c_str())
               : OciIntr::tessel_create_database(folder.c_str(), pw.c_str());
  if (rc != 0) {
    TOraSession ses; // only for the error text
    std::cerr << "tessel-sql: the database was not created: " << ses.GetErrorMessage(rc) << "\n";
    return 1;
  }
  std::cout << "Database created in " << folder << " (character set " << charset
            << ").\nLog on with: tessel-sql SYSTEM@" << folder << "\n";
  return 0;
}

// Ctrl-C: set by the signal, read and cleared by the shell.
volatile std::sig_atomic_t g_interrupt = 0;

void OnInterrupt(int) { g_interrupt = 1; }

// Ctrl-C cancels the line being typed or the query being shown; it never ends the program.
void CatchInterrupt() {
  struct sigaction sa {};
  sa.sa_handler = OnInterrupt;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = 0; // no restart: a read at the prompt returns at once
  sigaction(SIGINT, &sa, nullptr);
}

// The line editor's reads: Ctrl-C ends the line being typed at once, whether it came while the
// editor waited for a key or just before (the caller then drops the line).
int ReadKey(FILE* in) {
  for (;;) {
    if (g_interrupt)
      return '\n';
    unsigned char c = 0;
    const ssize_t n = read(fileno(in), &c, 1);
    if (n == 1)
      return c;
    if (n < 0 && errno == EINTR)
      continue;
    return EOF;
  }
}

std::string HistoryFile() {
  const char* home = std::getenv("HOME");
  return home && *home ? std::string(home) + "/.tessel-sql_history" : std::string();
}

} // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  // Character classes and wide output follow the user, numbers never: "1.5" is one and a half.
  std::setlocale(LC_NUMERIC, "C");
  std::string logon, script;
  bool noLog = false;
  bool silent = false; // -s: no "Connected." and no prompts
  std::string markup;  // -m "HTML ON ...": the whole output is an HTML page
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--create-database") {
      bool withSet = argc == 5 && i == 1 && std::string(argv[3]) == "--charset";
      if (i + 1 >= argc || (argc != 3 && !withSet)) {
        Usage();
        return 2;
      }
      return CreateDatabase(argv[i + 1], withSet ? argv[4] : "JA16SJIS");
    }
    if (a == "-h" || a == "--help") {
      Usage();
      return 0;
    }
    if (a == "-s" || a == "-S" || a == "-silent" || a == "-SILENT")
      silent = true;
    else if (a == "-l" || a == "-L")
      ; // one logon attempt is what a script run gets anyway
    else if (!script.empty()) {
      // the script's arguments; one that holds blanks stays one
      script += a.find_first_of(" \t") == std::string::npos || a.find('"') != std::string::npos
                    ? " " + a
                    : " \"" + a + "\"";
    } else if ((a == "-m" || a == "-M" || a == "-markup" || a == "-MARKUP") && i + 1 < argc)
      markup = argv[++i];
    else if (a[0] == '@' && script.empty())
      script = a.substr(1);
    else if (a == "/nolog" || a == "/NOLOG")
      noLog = true;
    else if (logon.empty())
      logon = a;
    else {
      Usage();
      return 2;
    }
  }
  TLogonArgs args = ParseLogonArg(logon);
  // A launcher hands the password over here, out of sight of every process list; no program
  // this shell starts inherits it.
  if (const char* pw = std::getenv("TESSEL_PASSWORD")) {
    if (!args.user.empty() && !args.hasPassword) {
      args.password = pw;
      args.hasPassword = true;
    }
    unsetenv("TESSEL_PASSWORD");
  }
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
    if (++tries > 3)
      return false;
    bool retry = session.ReturnCode() != 0; // the last attempt was refused: ask afresh
    if (user.empty() || retry) {
      pass.clear();
      TLogonArgs a = ParseLogonArg(Ask("Enter user-name: ", true));
      user = a.user;
      pass = a.password;
      if (!a.host.empty())
        host = a.host;
      if (a.hasPassword)
        return !user.empty();
    }
    if (pass.empty())
      pass = Ask("Enter password: ", false);
    return !user.empty();
  };
  session.OnError = [](TOraSession&, const std::string& msg) { std::cerr << msg << "\n\n"; };
  try {
    while (!noLog && !session.Connected()) {
      if (session.Connect())
        break;
      if (tries >= 3 || std::cin.eof())
        return 1;
    }
  } catch (const std::exception& e) {
    std::cerr << e.what() << "\n";
    return 1;
  }
  if (session.Connected() && !silent)
    std::cout << "Connected.\n";
  session.LogonPrompt = nullptr;
  session.OnError = nullptr; // from here the shell reports failures itself

  TSqlShell shell(session, std::cin, std::cout, interactive);
  if (!markup.empty() && !shell.StartMarkup(markup))
    return 1;
  shell.Ask = Ask;
  shell.ErrOut = &std::cerr;
  std::string history = HistoryFile();
  THistoryFilter historyFilter;
  if (interactive) {
    // Line editing and history only at a terminal; piped input is read as it is.
    CatchInterrupt();
    rl_catch_signals = 0;
    rl_getc_function = ReadKey;
    using_history();
    if (!history.empty())
      read_history(history.c_str());
    shell.ReadLine = [&](const std::string& prompt, std::string& line) {
      for (;;) {
        g_interrupt = 0;
        char* l = readline(silent ? "" : prompt.c_str());
        if (g_interrupt) {
          // Ctrl-C at the prompt: the line (and the statement being entered) is dropped
          std::free(l);
          std::cout << "\n";
          shell.CancelEntry();
          line.clear();
          return true;
        }
        if (!l) {
          std::cout << "\n";
          return false;
        }
        line = l;
        if (*l && historyFilter.Keep(line))
          add_history(l);
        std::free(l);
        return true;
      }
    };
    shell.Interrupted = [] { return g_interrupt != 0; };
  }
  int rc = 0;
  try {
    bool go = script.empty() || shell.RunStartScript(script);
    rc = go ? shell.Run() : shell.ExitCode();
  } catch (const std::exception& e) {
    std::cerr << e.what() << "\n";
    rc = 1;
  }
  shell.EndMarkup();
  if (interactive && !history.empty())
    write_history(history.c_str());
  if (session.Connected())
    session.Disconnect();
  return rc;
}
