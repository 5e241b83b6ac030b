// The CSV export and import on the benchmark table, offscreen, through the data tools the main
// window's commands call:
//   export of BENCH to a file  against  sqlite3 -csv of the same table to a file
//   import of that file (mode 追加（エラー無視）) into an empty table  against  sqlite3 .import
// with the process's peak memory during each. Every size runs in a fresh process, so the peaks
// are its own.
// csv_files [rows...]   (default 100,000 and 1,000,000)
#include "BenchTable.h"
#include "SGrid.h"
#include "uCsvExport.h"
#include "uCsvImport.h"
#include "uLOG.h"
#include "uMainMDI.h"
#include "uMsg.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

long StatusKiB(const char* key) {
  QFile f(QStringLiteral("/proc/self/status"));
  if (!f.open(QIODevice::ReadOnly))
    return -1;
  for (const QByteArray& line : f.readAll().split('\n'))
    if (line.startsWith(key))
      return line.mid(static_cast<int>(std::strlen(key))).trimmed().split(' ').first().toLong();
  return -1;
}

// From here on the peak resident size counts anew (Linux 4.0 and later).
void ResetPeak() {
  if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
    std::fputs("5", f);
    std::fclose(f);
  }
}

double Shell(const std::string& cmd) {
  const auto t0 = Clock::now();
  if (std::system(cmd.c_str()) != 0) {
    std::fprintf(stderr,
                 "failed: %s\n(the sqlite3 shell is the reference: Debian package "
                 "sqlite3)\n",
                 cmd.c_str());
    std::exit(1);
  }
  return Seconds(t0);
}

const char* const InTable = "CREATE TABLE BENCH_IN (ID NUMBER(10) PRIMARY KEY, NAME VARCHAR2(30), "
                            "AMOUNT NUMBER(12,2), CREATED DATE, NOTE VARCHAR2(100))";

int RunOne(long rows, int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  TBenchTable table;
  if (!table.Build(rows))
    return 1;
  QTemporaryDir work;
  setenv("XDG_CONFIG_HOME", work.path().toUtf8().constData(), 1);
  QApplication app(argc, argv);
  Msg::TMsgCapture messages; // no box may wait for a user

  TfMainForm form;
  form.show();
  form.OraMainSes.UserName = "DEMO";
  form.OraMainSes.UserPass = "DEMO";
  form.OraMainSes.AutoLogon = true;
  if (!form.ConnectSession())
    return 1;
  TfLOG log;
  TDataToolEnv env = form.ToolEnv();
  const std::string db = (table.Home() / "tessel3/default/DEMO.db").string();
  const QString csv = work.filePath(QStringLiteral("BENCH.CSV"));
  const std::string reference = work.filePath(QStringLiteral("reference.csv")).toStdString();

  // Export. The reference runs first once, so both read a warm page cache.
  const std::string sqliteCsv =
      "sqlite3 -csv '" + db + "' 'SELECT * FROM BENCH' > '" + reference + "'";
  Shell(sqliteCsv);
  TCsvExport exporter(env);
  const long rssBefore = StatusKiB("VmRSS:");
  ResetPeak();
  auto t0 = Clock::now();
  const bool exported = exporter.ExportTableTo(QStringLiteral("BENCH"), csv);
  const double exportSeconds = Seconds(t0);
  const QString exportStatus = form.StatusText();
  const long exportPeak = StatusKiB("VmHWM:");
  const double sqliteExport = Shell(sqliteCsv);
  const double csvMiB = QFile(csv).size() / 1048576.0;
  if (!exported) {
    std::fprintf(stderr, "export failed: %s\n", messages.Last().toUtf8().constData());
    return 1;
  }

  // Import into an empty table of the same shape.
  {
    TOraCursor c;
    c.SetSession(&form.OraMainSes);
    c.SetSQL({InTable});
    if (!c.Open() || !c.Parse() || !c.Exec())
      return 1;
    c.Close();
  }
  TCsvImport importer(env, *form.sGridCSV, log);
  const long rssBeforeImport = StatusKiB("VmRSS:");
  ResetPeak();
  t0 = Clock::now();
  const bool imported =
      importer.ImportTableFrom(TImportMode::AddIgnoringErrors, QStringLiteral("BENCH_IN"), csv);
  const double importSeconds = Seconds(t0);
  const long importPeak = StatusKiB("VmHWM:");
  if (!imported || importer.Inserted() != rows) {
    std::fprintf(stderr, "import: %d rows in, %d failed; %s\n", importer.Inserted(),
                 importer.Failed(), messages.Last().toUtf8().constData());
    return 1;
  }
  const std::string refDb = work.filePath(QStringLiteral("import.db")).toStdString();
  Shell("sqlite3 '" + refDb + "' 'PRAGMA journal_mode=WAL; " + InTable + "' > /dev/null");
  const double sqliteImport =
      Shell("sqlite3 -cmd 'PRAGMA synchronous=NORMAL' '" + refDb + "' '.import --csv --skip 1 " +
            csv.toStdString() + " BENCH_IN'");

  std::printf("%ld rows (table built in %.2f s); the file: %.1f MiB\n", rows, table.BuildSeconds(),
              csvMiB);
  std::printf("  export, CSV出力's tool:       %.3f s  (%s)\n", exportSeconds,
              exportStatus.toUtf8().constData());
  std::printf("  sqlite3 -csv to a file:       %.3f s\n", sqliteExport);
  std::printf("  ratio export / sqlite3: %.2f (goal: at most 1.5)\n", exportSeconds / sqliteExport);
  std::printf("  peak resident during export: %.1f MiB (%.1f MiB before it; goal: flat in the "
              "row count)\n",
              exportPeak / 1024.0, rssBefore / 1024.0);
  std::printf("  import 追加（エラー無視）:      %.3f s  (%d rows in)\n", importSeconds,
              importer.Inserted());
  std::printf("  sqlite3 .import:              %.3f s\n", sqliteImport);
  std::printf("  ratio import / sqlite3: %.2f (goal: at most 2.5)\n", importSeconds / sqliteImport);
  std::printf("  peak resident during import: %.1f MiB, %.1f MiB above the %.1f MiB before it; "
              "growth / file size: %.2f (goal: at most 2)\n",
              importPeak / 1024.0, (importPeak - rssBeforeImport) / 1024.0,
              rssBeforeImport / 1024.0, (importPeak - rssBeforeImport) / 1024.0 / csvMiB);
  std::printf("  messages shown: %d\n", messages.Count());
  return 0;
}

} // namespace

int main(int argc, char** argv) { return RunEachSize(argc, argv, {100000, 1000000}, RunOne); }
