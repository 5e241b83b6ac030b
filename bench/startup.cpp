// Start-up benchmark: time from process start to the main window shown (offscreen), without the
// one-second splash wait, and the resident memory at that moment. Each run is a fresh process.
#include "Startup.h"
#include "uMainMDI.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

namespace {

long long MonotonicNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

long long ResidentKB() {
  QFile f(QStringLiteral("/proc/self/status"));
  if (!f.open(QIODevice::ReadOnly))
    return -1;
  for (const QByteArray& line : f.readAll().split('\n'))
    if (line.startsWith("VmRSS:"))
      return line.mid(6).trimmed().split(' ').first().toLongLong();
  return -1;
}

// The child: start the program, report when its main window is up.
int Once(int argc, char** argv) {
  TStartupProbe probe;
  probe.OnMainShown = [&probe](TfMainForm& form) {
    QCoreApplication::processEvents();
    std::printf("shown %lld wait %lld rss %lld\n", MonotonicNs(), probe.SplashWaitMs * 1000000LL,
                ResidentKB());
    std::fflush(stdout);
    form.close();
  };
  return TesselMain(argc, argv, &probe);
}

} // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--once") == 0)
    return Once(argc, argv);

  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  QTemporaryDir home;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  env.insert("XDG_CONFIG_HOME", home.filePath("config"));
  env.insert("XDG_DATA_HOME", home.filePath("data"));

  std::vector<double> ms, mb;
  for (int i = 0; i < runs; ++i) {
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::SeparateChannels);
    const long long start = MonotonicNs();
    child.start(QString::fromLocal8Bit(argv[0]), {"--once"});
    if (!child.waitForFinished(60000)) {
      std::fprintf(stderr, "run %d did not finish\n", i + 1);
      return 1;
    }
    long long shown = 0, wait = 0, rss = 0;
    const QByteArray out = child.readAllStandardOutput();
    if (std::sscanf(out.constData(), "shown %lld wait %lld rss %lld", &shown, &wait, &rss) != 3) {
      std::fprintf(stderr, "run %d: no report (%s)\n", i + 1, out.constData());
      return 1;
    }
    ms.push_back((shown - start - wait) / 1e6);
    mb.push_back(rss / 1024.0);
    std::printf(
        "run %d: %.1f ms to the main window (splash wait %.0f ms left out), %.1f MB resident\n",
        i + 1, ms.back(), wait / 1e6, mb.back());
  }
  std::sort(ms.begin(), ms.end());
  std::sort(mb.begin(), mb.end());
  std::printf("median: %.1f ms (goal < 300 ms), %.1f MB resident (goal < 80 MB)\n",
              ms[ms.size() / 2], mb[mb.size() / 2]);
  return 0;
}
