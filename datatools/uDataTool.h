// What the data tools (export, import, dummy data, DDL script) share: what they need of the
// main window, the table check, the wait cursor and the connection on demand.
#pragma once
#include "uMainHost.h"

#include <QElapsedTimer>
#include <QString>
#include <functional>

class QWidget;
class TOraCursor;

// Filled by the main window's handlers; tests fill it themselves.
struct TDataToolEnv {
  TMainHost& Host;             // session, selected tree node, status text
  TOraCursor& Cursor;          // the data tools' cursor; its error event sets CursorError
  bool& CursorError;           //
  std::function<void()> Logon; // the stored logon, run when the session is not connected
  QWidget* Window = nullptr;   // parent of the dialogs
};

namespace DataTool {

extern const char* const ErrorPrefix; // "エラーが発生しました。 ORA_ERR:"

// The selected table: a node whose parent is "TABLES". Otherwise the notice
// "テーブルを選択してください" is shown and the result is false.
bool SelectedTable(TMainHost& host, QString& table);

// Status "Oracleに接続中" and the stored logon when the session is not connected; the tool goes
// on either way (a failed logon shows as the statement's error).
void ConnectOnDemand(TDataToolEnv& env);

// Only one data tool runs at a time: their loops let window messages through, and a second
// command would share the running one's cursor.
class TRun {
public:
  TRun();
  ~TRun();
  TRun(const TRun&) = delete;
  TRun& operator=(const TRun&) = delete;
  // False when another tool was running already; the command then does nothing.
  bool Acquired() const { return FAcquired; }
  static bool Busy();

private:
  bool FAcquired;
};

// The loops' message pumping: windows repaint and timers run, but what the user types or clicks
// waits for the end of the tool. A query window run in between would commit the shared session
// in the middle of an import that may still have to roll back.
void LetPaintThrough();

// Progress shown at a readable rate: a repaint of the windows costs as much as hundreds of rows,
// so the loops let messages through every 100 rows but change what is shown only when Due.
class TPacer {
public:
  TPacer() { FTimer.start(); }
  // True at the first call and then once every interval.
  bool Due() {
    if (FFirst || FTimer.elapsed() >= IntervalMs) {
      FFirst = false;
      FTimer.restart();
      return true;
    }
    return false;
  }
  static constexpr int IntervalMs = 100;

private:
  QElapsedTimer FTimer;
  bool FFirst = true;
};

// The database-wait mouse cursor while it lives.
class TWaitCursor {
public:
  TWaitCursor();
  ~TWaitCursor();
  TWaitCursor(const TWaitCursor&) = delete;
  TWaitCursor& operator=(const TWaitCursor&) = delete;
  // The default cursor again before the scope ends (for a message or a question), and back.
  void Restore();
  void Set();

private:
  bool FSet;
};

} // namespace DataTool
