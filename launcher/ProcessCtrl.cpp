#include "ProcessCtrl.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace {

// Terminals that take "-e PROGRAM ARG..." with the arguments kept apart.
const char* const CommonTerminals[] = {"xterm", "konsole", "alacritty", "urxvt", "st"};

QString FindProgram(const QString& name) {
  if (name.isEmpty())
    return {};
  if (name.contains(u'/')) {
    const QFileInfo info(name);
    return info.isFile() && info.isExecutable() ? info.absoluteFilePath() : QString();
  }
  return QStandardPaths::findExecutable(name);
}

} // namespace

void TProcessCtrl::SetExecFileName(const QString& value) {
  if (!value.isEmpty())
    FExecFileName = value;
}

QString TProcessCtrl::Terminal() {
  const QString chosen = qEnvironmentVariable("TERMINAL");
  if (!chosen.isEmpty())
    return FindProgram(chosen);
  if (QString found = FindProgram(QStringLiteral("x-terminal-emulator")); !found.isEmpty())
    return found;
  for (const char* name : CommonTerminals)
    if (QString found = FindProgram(QString::fromLatin1(name)); !found.isEmpty())
      return found;
  return {};
}

bool TProcessCtrl::Execute() {
  FStarted = false;
  FProcessId = 0;
  // A missing program is a failed start here, not a terminal that opens only to say so.
  const QString program = FindProgram(FExecFileName);
  const QString terminal = Terminal();
  if (program.isEmpty() || terminal.isEmpty())
    return false;
  QProcess process;
  process.setProgram(terminal);
  process.setArguments(QStringList{QStringLiteral("-e"), program} + Arguments);
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(Environment);
  process.setProcessEnvironment(env);
  if (Wait) {
    process.start();
    if (!process.waitForStarted(-1))
      return false;
    FStarted = true;
    FProcessId = process.processId();
    process.waitForFinished(-1);
    return true;
  }
  qint64 pid = 0;
  if (!process.startDetached(&pid))
    return false;
  FStarted = true;
  FProcessId = pid;
  return true;
}

TLaunchCommand SqlPlusCommand(const QString& path, const QString& userField,
                              const QString& password, const QString& host) {
  QString user = userField, pass = password, at = host;
  if (const qsizetype a = user.indexOf(u'@'); a >= 0) {
    if (at.isEmpty())
      at = user.mid(a + 1);
    user.truncate(a);
  }
  if (const qsizetype s = user.indexOf(u'/'); s >= 0) {
    pass = user.mid(s + 1);
    user.truncate(s);
  }
  TLaunchCommand cmd;
  cmd.Program = path;
  // Our own shell takes the password from its environment: a command line is readable by every
  // user of the machine.
  if (QFileInfo(path).completeBaseName() == QLatin1String("tessel-sql")) {
    cmd.Arguments << (at.isEmpty() ? user : user + u'@' + at);
    if (!pass.isEmpty())
      cmd.Environment.insert(QStringLiteral("TESSEL_PASSWORD"), pass);
  } else {
    cmd.Arguments << user + u'/' + pass + (at.isEmpty() ? QString() : u'@' + at);
  }
  cmd.Cmdline = path + u' ' + cmd.Arguments.join(u' ');
  return cmd;
}
