// The program's version text and the system information lines of the version dialog.
#pragma once
#include <QString>

// The file version compiled into the program; false when the build carries none.
bool GetFileVersion(QString& version);

struct TSysInfo {
  QString PlatformName;    // "Debian GNU/Linux", "Windows"
  QString PlatformVersion; // "12 (bookworm)", "10"
  qulonglong TotalMemoryKB = 0;
  QString Organization; // empty where the platform keeps none
  QString Owner;        // the user's full name, else the login name
};

TSysInfo GetSysInfo();
