#include "uDataTool.h"

#include "OciCompo.h"
#include "uMsg.h"

#include <QApplication>
#include <QCoreApplication>

namespace DataTool {

void LetPaintThrough() { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); }

const char* const ErrorPrefix = "エラーが発生しました。 ORA_ERR:";

namespace {
bool Running = false;
}

bool SelectedTable(TMainHost& host, QString& table) {
  const TSchemaNode node = host.SelectedObject();
  if (!node.Valid || node.Parent != QLatin1String("TABLES")) {
    Msg::Show(QStringLiteral("テーブルを選択してください"));
    return false;
  }
  table = node.Text;
  return true;
}

void ConnectOnDemand(TDataToolEnv& env) {
  if (env.Host.Session().Connected())
    return;
  env.Host.SetStatusText(QStringLiteral("Oracleに接続中"));
  if (env.Logon)
    env.Logon();
}

TRun::TRun() : FAcquired(!Running) { Running = true; }

TRun::~TRun() {
  if (FAcquired)
    Running = false;
}

bool TRun::Busy() { return Running; }

TWaitCursor::TWaitCursor() : FSet(false) { Set(); }

void TWaitCursor::Set() {
  if (!FSet)
    QApplication::setOverrideCursor(Qt::BusyCursor);
  FSet = true;
}

TWaitCursor::~TWaitCursor() { Restore(); }

void TWaitCursor::Restore() {
  if (FSet)
    QApplication::restoreOverrideCursor();
  FSet = false;
}

} // namespace DataTool
