// One logon's connection to its schema, with what the engine keeps per session: sequences,
// the data dictionary and the statements shared between cursors.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "Charset.h"

struct sqlite3;
struct sqlite3_stmt;

namespace ora {

struct Translation;
struct SchemaMemo;
struct AutonomousState;

class Session {
public:
  // Opens the schema of `user` in `folder`. Throws OraError when its file cannot be used.
  static std::unique_ptr<Session> open(const std::string& folder, const std::string& user);
  // Rolls back what was not committed: only a normal logoff commits, by calling commit() first.
  ~Session();
  // Whether this process has a session open on that user's schema.
  static bool isOpen(const std::string& folder, const std::string& user);
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  std::string folder, user;
  sqlite3* db = nullptr;
  Charset charset{}; // the database's, read at logon
  bool inTxn = false;
  bool readOnlyTxn = false; // SET TRANSACTION READ ONLY, to the end of the transaction
  // Savepoints of the open transaction, oldest first; those set before its first change stand
  // for its start.
  std::vector<std::string> savepoints, startSavepoints;
  // SET ROLE: the roles the session uses; none set, the user's default roles
  std::optional<std::set<std::string>> roles;
  int ddlCount = 0; // DDL run by this session; the dictionary refreshes after each
  std::map<std::string, std::string> uniqueGuards; // tables' texts as the last guard sync saw them

  // Sequences live in a file of their own so that NEXTVAL is not undone by a rollback and
  // never waits for this session's own write transaction.
  sqlite3* sequences();
  bool sequenceExists(const std::string& name);
  // One statement on the sequence file with text parameters ?1, ?2, ...; throws OraError.
  void sequenceWrite(const char* sql, const std::vector<std::string>& params);
  // TESSEL$OBJECTS number of an object; throws OraError when there is none.
  int64_t objectNumber(const std::string& name, const char* type);
  // A sequence lives in two files: its row in the sequence file and its object row in the
  // schema. DDL writes the sequence file inside the schema's transaction, whose commit decides;
  // what a crash left one-sided (also by earlier versions) is settled here, at logon, when no
  // one is writing: the schema's name wins, a row without its other half goes.
  void repairSequences();
  int64_t nextval(const std::string& name); // throws OraError
  int64_t currval(const std::string& name); // throws OraError
  std::map<std::string, int64_t> currvals;

  // Data dictionary tables, refreshed when the schema changed since they were last filled.
  void refreshDictionary(const std::string& view);
  void dictionaryStale() { dictStamp_.clear(); }

  // Runs a DDL translation: its statements in one implicit-commit unit, then its actions.
  void runDdl(const Translation& t);
  // Runs one Oracle statement to completion (set-up scripts). Throws OraError.
  void execOracle(const std::string& sql);

  void beginIfNeeded(const std::string& verb);
  void commit();
  void emptyTemporaryTables(const char* duration);
  // The global temporary tables that keep rows to the session's end get a private copy in
  // the connection's temp schema, which their name finds first: no other session sees or
  // clears those rows. Brought up to date when the schema changed, outside transactions.
  // adopt: the new ones' rows are this session's; stamp: the main schema cookie, when known
  void syncTemporaryTables(bool adopt = false, int64_t stamp = -1);
  void rollback();
  // A DML statement of several parts (MERGE): all of them or, on an error, none. Returns the
  // rows they changed.
  int64_t runParts(sqlite3_stmt* first, const Translation& t);
  // SAVEPOINT name; ROLLBACK TO name (ORA-01086 for a name not set in this transaction).
  void savepoint(const std::string& name);
  void rollbackTo(const std::string& name);

  // After a failed statement: whether SQLite rolled the open transaction back by itself (disk
  // full, I/O error, out of memory). The session then knows it has none, and the next
  // statement is told (checkLost) instead of running as if the earlier work were still there.
  bool noteFailure();
  void checkLost(); // throws ORA-02091 once after such a loss
  bool lostTxn = false;

  // A statement of the engine's own, prepared on first use and kept for the session; the caller
  // resets it after use. `sql` is a string literal (its address is the key).
  sqlite3_stmt* cachedStatement(const char* sql);

  // What translations learned of the schema, kept between statements while it stays the same:
  // emptied when this session runs DDL or rolls back, or the schema cookie of main or temp
  // moved (DDL by any connection, in this process or another). Read it inside the statement's
  // read transaction, so that what it holds and the cookie come from one snapshot.
  // A translation keeps the one it was given even when the session moves on to a new one.
  std::shared_ptr<SchemaMemo> schemaMemo();
  std::map<std::string, std::string> shadows_; // temporary table -> the definition copied
  int64_t shadowStamp_ = -1;
  int shadowDdl_ = -1;
  void forgetSchema();

  // DBMS_OUTPUT: whether it collects, the lines not yet read and the line being PUT
  bool outputOn = false;
  std::vector<std::string> outputLines;
  std::string outputPartial;
  // PL/SQL packages' state (variables, cursors) kept for the session
  std::shared_ptr<void> plsqlPackages;

  // Autonomous routines running and what they committed inside the open transaction; none
  // until the first one runs.
  std::shared_ptr<AutonomousState> autonomous;

  // Private temporary tables: name, SQLite definition, whether it outlives the transaction
  struct PrivateTable {
    std::string name, ddl;
    bool preserve = false;
  };
  std::vector<PrivateTable> privateTables;

  // Called before the session writes in a way its own open queries could see.
  std::function<void()> beforeWrite;

private:
  Session() = default;
  std::shared_ptr<SchemaMemo> memo_;
  int64_t memoMain_ = -1, memoTemp_ = -1;
  int memoDdl_ = -1;
  sqlite3* seq_ = nullptr;
  std::map<std::string, std::string> dictStamp_;
  std::unordered_map<const char*, sqlite3_stmt*> cached_;
};

std::string sequencePath(const std::string& folder, const std::string& user);

} // namespace ora
