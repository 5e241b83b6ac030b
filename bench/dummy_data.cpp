// The dummy data tool against the CSV import of the same rows, offscreen, through the tools the
// main window's commands call. Both make one INSERT text per row and run it on the same cursor:
//   dummy data for n rows of EMP's shape (EMPNO and MGR widened to NUMBER(6) so that sequence
//   values fit), then that table exported to CSV and imported (追加（エラー無視）) into an empty
//   table of the same shape.
// dummy_data [rows...]   (default 100,000)
#include "BenchTable.h"
#include "CtrlGrid.h"
#include "SGrid.h"
#include "uCrtDummy.h"
#include "uCsvExport.h"
#include "uCsvImport.h"
#include "uDummyData.h"
#include "uLOG.h"
#include "uMainMDI.h"
#include "uMsg.h"

#include <QApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

const char* const Shape = " (EMPNO NUMBER(6), ENAME VARCHAR2(10), JOB VARCHAR2(9), MGR NUMBER(6), "
                          "HIREDATE DATE, SAL NUMBER(7,2), COMM NUMBER(7,2), DEPTNO NUMBER(2))";

constexpr int Rounds = 3;

bool Run(TOraSession& s, const std::string& sql) {
  TOraCursor c;
  c.SetSession(&s);
  c.SetSQL({sql});
  const bool ok = c.Open() && c.Parse() && c.Exec();
  c.Close();
  return ok;
}

int RunOne(long rows, int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  TBenchTable home; // a fresh database folder of its own
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
  TfCrtDummy dlg;
  TDataToolEnv env = form.ToolEnv();
  // Rounds on fresh tables, the two tools taking turns; the best time of each counts, as the
  // machine may be busy with other work in between.
  double dummySeconds = 1e9, importSeconds = 1e9;
  for (int round = 1; round <= Rounds; ++round) {
    const QString made = QStringLiteral("BENCH_EMP%1").arg(round);
    const QString loaded = QStringLiteral("BENCH_IN%1").arg(round);
    if (!Run(form.OraMainSes, "CREATE TABLE " + made.toStdString() + Shape) ||
        !Run(form.OraMainSes, "CREATE TABLE " + loaded.toStdString() + Shape))
      return 1;
    TDummyData dummy(env, form.OraCursorField, dlg, log);
    if (!dummy.LoadFields(made))
      return 1;
    // JOB, SAL, COMM and DEPTNO fixed; the other columns numbered; HIREDATE SYSDATE.
    const struct {
      int col;
      const char* value;
    } fixed[] = {{3, "CLERK"}, {6, "1500"}, {7, "300"}, {8, "10"}};
    for (const auto& f : fixed) {
      dlg.cgrFields->SetCells(f.col, TfCrtDummy::rowFixed, QString::fromUtf8(f.value));
      dlg.cgrFields->SetCells(f.col, TfCrtDummy::rowCondition, QStringLiteral("固定値"));
    }
    auto t0 = Clock::now();
    const bool generated = dummy.Generate(made, static_cast<int>(rows));
    dummySeconds = std::min(dummySeconds, Seconds(t0));
    if (!generated || dummy.Added() != rows) {
      std::fprintf(stderr, "dummy data: %d rows in, %d failed; %s\n", dummy.Added(),
                   dummy.NotAdded(), messages.Last().toUtf8().constData());
      return 1;
    }

    const QString csv = work.filePath(made + QStringLiteral(".CSV"));
    TCsvExport exporter(env);
    if (!exporter.ExportTableTo(made, csv))
      return 1;
    TCsvImport importer(env, *form.sGridCSV, log);
    t0 = Clock::now();
    const bool imported = importer.ImportTableFrom(TImportMode::AddIgnoringErrors, loaded, csv);
    importSeconds = std::min(importSeconds, Seconds(t0));
    if (!imported || importer.Inserted() != rows) {
      std::fprintf(stderr, "import: %d rows in, %d failed; %s\n", importer.Inserted(),
                   importer.Failed(), messages.Last().toUtf8().constData());
      return 1;
    }
  }

  std::printf("%ld rows of EMP's shape\n", rows);
  std::printf("  dummy data (ダミーデータ作成's tool): %.3f s  (best of %d)\n", dummySeconds,
              Rounds);
  std::printf("  CSV import of the same rows:          %.3f s  (best of %d)\n", importSeconds,
              Rounds);
  std::printf("  ratio dummy data / import: %.2f (goal: at most 1.2)\n",
              dummySeconds / importSeconds);
  std::printf("  messages shown: %d\n", messages.Count());
  return 0;
}

} // namespace

int main(int argc, char** argv) { return RunEachSize(argc, argv, {100000}, RunOne); }
