#include "VerInfo.h"

#include <QFile>
#include <QSysInfo>
#include <QTextStream>

#ifdef Q_OS_WIN
#include <QSettings>
#include <windows.h>
#else
#include <pwd.h>
#include <unistd.h>
#endif

#ifndef TESSEL_FILE_VERSION
#define TESSEL_FILE_VERSION ""
#endif

bool GetFileVersion(QString& version) {
  version = QStringLiteral(TESSEL_FILE_VERSION).trimmed();
  return !version.isEmpty();
}

namespace {

#ifndef Q_OS_WIN
// NAME and VERSION of /etc/os-release, unquoted.
void ReadOsRelease(QString& name, QString& version) {
  QFile f(QStringLiteral("/etc/os-release"));
  if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
    return;
  QTextStream in(&f);
  while (!in.atEnd()) {
    const QString line = in.readLine();
    const int eq = line.indexOf(u'=');
    if (eq < 0)
      continue;
    QString value = line.mid(eq + 1).trimmed();
    if (value.size() >= 2 && (value.startsWith(u'"') || value.startsWith(u'\'')))
      value = value.mid(1, value.size() - 2);
    const QString key = line.left(eq);
    if (key == u"NAME")
      name = value;
    else if (key == u"VERSION")
      version = value;
  }
}
#endif

} // namespace

TSysInfo GetSysInfo() {
  TSysInfo info;
#ifdef Q_OS_WIN
  info.PlatformName = QStringLiteral("Windows");
  info.PlatformVersion = QSysInfo::productVersion();
  MEMORYSTATUSEX mem{};
  mem.dwLength = sizeof(mem);
  if (GlobalMemoryStatusEx(&mem))
    info.TotalMemoryKB = mem.ullTotalPhys / 1024;
  QSettings nt(
      QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion"),
      QSettings::NativeFormat);
  info.Organization = nt.value(QStringLiteral("RegisteredOrganization")).toString();
  info.Owner = nt.value(QStringLiteral("RegisteredOwner")).toString();
  if (info.Owner.isEmpty())
    info.Owner = qEnvironmentVariable("USERNAME");
#else
  ReadOsRelease(info.PlatformName, info.PlatformVersion);
  if (info.PlatformName.isEmpty()) {
    info.PlatformName = QSysInfo::kernelType();
    info.PlatformVersion = QSysInfo::kernelVersion();
  }
  const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
  if (pages > 0 && pageSize > 0)
    info.TotalMemoryKB = qulonglong(pages) * qulonglong(pageSize) / 1024;
  if (const passwd* pw = getpwuid(getuid())) {
    // The full name is the first comma-separated part of the comment field.
    info.Owner =
        QString::fromLocal8Bit(pw->pw_gecos ? pw->pw_gecos : "").section(u',', 0, 0).trimmed();
    if (info.Owner.isEmpty())
      info.Owner = QString::fromLocal8Bit(pw->pw_name);
  }
#endif
  return info;
}
