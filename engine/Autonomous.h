// Routines with PRAGMA AUTONOMOUS_TRANSACTION: a transaction of their own on the session's one
// connection.
//
// When the caller holds no open transaction, the routine's COMMIT is a plain commit. Otherwise
// its changes ride inside the caller's SQLite transaction: the rows it touches are recorded
// (with their images from before it) while it runs, its ROLLBACK writes those images back, and
// its COMMIT writes the rows' new state to a journal file next to the schema and marks the
// commit in TESSEL$AUTONOMOUS within the caller's transaction. Whenever a rollback of the caller
// took away a mark, the changes are written again from the journal; a caller's COMMIT carries
// them, and a logon applies what a crashed session left in the journal.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

namespace ora {

class Session;
struct AutonomousState;

// One run of an autonomous routine; the caller's transaction waits while it lives.
class AutonomousUnit {
public:
  explicit AutonomousUnit(Session& ses);
  // The routine returned: ORA-06519 when it left changes neither committed nor rolled back
  // (they are rolled back).
  void finish();
  // Left by an exception: what it did not commit is rolled back.
  ~AutonomousUnit();
  AutonomousUnit(const AutonomousUnit&) = delete;
  AutonomousUnit& operator=(const AutonomousUnit&) = delete;

private:
  void leave(bool normal);
  Session& ses_;
  bool done_ = false;
};

// Whether an autonomous routine is running: its COMMIT or ROLLBACK ends no transaction of the caller.
bool inAutonomousUnit(Session& ses);
// Whether the running routine's transaction lives inside an open transaction of its caller's.
bool autonomousWithinCaller(Session& ses);

// The session's transaction statements ask first. True: it was the running routine's own and is done.
bool autonomousCommit(Session& ses);
bool autonomousRollback(Session& ses);
// After the session's COMMIT, ROLLBACK or ROLLBACK TO: what the routines committed is kept.
void autonomousCommitted(Session& ses);
void autonomousRolledBack(Session& ses);
void autonomousRolledBackTo(Session& ses);
// At logon: the journal a session left behind is settled.
void recoverAutonomous(Session& ses);

} // namespace ora
