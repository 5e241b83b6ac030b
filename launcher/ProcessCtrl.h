// Starts an external program in a console window of its own and lets it run: on this platform
// inside the user's terminal emulator, as "TERMINAL -e PROGRAM ARG...".
#pragma once
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <functional>

class TProcessCtrl {
public:
  // Setting an empty name keeps the previous one.
  const QString& ExecFileName() const { return FExecFileName; }
  void SetExecFileName(const QString& value);
  // The command line as it reads to a user: the program followed by its arguments.
  QString Cmdline;
  // What the program gets, one item per argument, so a path with blanks stays one argument.
  QStringList Arguments;
  // Variables added to the program's environment.
  QProcessEnvironment Environment;
  bool Wait = false;
  // Handles are never inherited here; kept for callers that set it.
  bool Inherit = false;

  // True when the process was created.
  bool Execute();
  bool Started() const { return FStarted; }
  qint64 ProcessId() const { return FProcessId; }

  // The terminal emulator that runs programs: $TERMINAL, else x-terminal-emulator, else the
  // first of a few common ones found on the path. Empty when there is none.
  static QString Terminal();

private:
  QString FExecFileName;
  bool FStarted = false;
  qint64 FProcessId = 0;
};

// The program and arguments that log the SQL shell (or SQL*Plus) at path on as a user.
struct TLaunchCommand {
  QString Program;
  QStringList Arguments;
  QString Cmdline;
  QProcessEnvironment Environment;
};

// The logon of a session: user, password and host string; a user field holding
// "user/password@host" is taken apart.
TLaunchCommand SqlPlusCommand(const QString& path, const QString& userField,
                              const QString& password, const QString& host);
