// What the call interface's files share: the side tables keyed by the client's data areas, the
// locks, and the guard every entry point runs its body in.
#pragma once
#include "ociw32.h"

#include "OraError.h"
#include "OraValues.h"
#include "Plsql.h"
#include "Session.h"
#include "SharingShape.h"
#include "SqlTranslate.h"

#include <cstdint>
#include <deque>
#include <exception>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <sqlite3.h>
#include <string>
#include <unordered_map>
#include <vector>

namespace ora::oci {

struct Cursor;

// A statement shared by every text that differs from it only in literals.
struct Shared {
  Translation tr;
  std::vector<std::pair<int, std::string>> pinned; // literals its translation depends on
  sqlite3_stmt* idle = nullptr;                    // prepared and free for the next cursor
  int generation = 0;
};

struct Logon {
  std::mutex m; // held for every call on this logon or its cursors
  std::unique_ptr<Session> s;
  std::vector<Cursor*> cursors;
  std::unordered_map<std::string, Shared> shared;
  // "TABLE\x1fCOLUMN" -> may hold NULL, for describes; kept as long as the shared statements
  std::unordered_map<std::string, bool> nullable;
  int ddlSeen = 0;
  int64_t schemaSeen = -1;
  int generation = 0; // entries of an older generation were made for an older schema
  sqlite3_stmt* schemaVersion = nullptr;

  void dropShared() {
    for (auto& [k, e] : shared)
      if (e.idle) sqlite3_finalize(e.idle);
    shared.clear();
    nullable.clear();
    ++generation;
  }
  // Shared statements were translated against the schema as it was; any change drops them.
  void checkShared() {
    if (!schemaVersion) sqlite3_prepare_v2(s->db, "PRAGMA schema_version", -1, &schemaVersion, nullptr);
    int64_t v = -1;
    if (schemaVersion && sqlite3_step(schemaVersion) == SQLITE_ROW) v = sqlite3_column_int64(schemaVersion, 0);
    if (schemaVersion) sqlite3_reset(schemaVersion);
    if (v != schemaSeen || s->ddlCount != ddlSeen || shared.size() > 500) {
      s->syncTemporaryTables(false, v);
      dropShared();
      schemaSeen = v;
      ddlSeen = s->ddlCount;
    }
  }
  // Open queries keep the data as of their start: before this logon writes, they read the rest
  // of their rows ahead.
  void protectReaders(const Cursor* except);
  // The transaction ended: its row locks are gone, so a FOR UPDATE query can fetch no further.
  void transactionEnded();
  ~Logon() {
    dropShared();
    sqlite3_finalize(schemaVersion);
  }
};

struct Column {
  std::string name;
  ColType type;
  bool nullable = true;
};

struct Define {
  unsigned char* buf = nullptr;
  int bufl = 0;
  int ftype = 0;
  short* ind = nullptr;
  unsigned short* rlen = nullptr;
  unsigned short* rcode = nullptr;
  bool bound = false;
};

// One value of a row read ahead of the fetch.
struct Saved {
  int type = SQLITE_NULL;
  std::string bytes; // TEXT, BLOB
  int64_t i = 0;
  double d = 0;
};

// One value of the current row, from the live statement or from the rows read ahead.
struct Val {
  int type = SQLITE_NULL;
  const char* p = nullptr;
  int n = 0;
  int64_t i = 0;
  double d = 0;
};

struct Cursor {
  unsigned char* lda = nullptr; // the logon area it was opened on
  Logon* logon = nullptr;       // none once that logon is gone
  sqlite3_stmt* stmt = nullptr;
  std::string sharedKey;        // the shared statement `stmt` belongs to, if any
  std::vector<Literal> lits;    // the literals of the text parsed last: `stmt` is bound to them
  std::vector<Literal> spareLits; // those of the text being parsed
  TextShape shape;              // that text, for the sharing key of the next
  int sharedGeneration = 0;
  bool parsed = false;
  // A deferred parse that failed: the error waits for the describe, define or execute.
  bool deferredError = false;
  OraError deferredFailure{0};
  Translation tr;
  // a DDL statement or an INSERT as written: its execution may find a name or a value at fault
  std::string writtenText;
  int queryAt = 0;     // where the query block that gives the rows starts: run-time errors point there
  std::vector<Column> cols;
  std::vector<Define> defs;
  bool executed = false;
  bool haveRow = false; // the statement stands on a row not yet delivered
  bool done = false;
  uint32_t rows = 0;
  std::vector<std::string> longs; // LONG values of the last delivered row
  bool longsValid = false;
  // Rows read ahead (the current one first) once the statement had to let go of its data.
  StatementTime now;  // the statement's SYSDATE, the same for every row of one execution
  bool ahead = false;
  std::deque<std::vector<Saved>> rowsAhead;
  // tessel_bind_cursor: the block's placeholders (upper case, no ":") and the areas receiving them
  std::vector<std::pair<std::string, unsigned char*>> cursorBinds;
  std::vector<HostValue> valueBinds; // tessel_bind_value: given before, read back after the run
  std::map<int, std::vector<std::string>> nested; // a cursor column's handles in the last fetched rows
  bool aheadError = false; // reading ahead ended on an error, raised when the fetch reaches it
  OraError aheadFailure{0};

  void finalize() {
    // a shared statement goes back to its entry for the next cursor
    if (stmt && logon && !sharedKey.empty()) {
      auto it = logon->shared.find(sharedKey);
      if (it != logon->shared.end() && !it->second.idle && it->second.generation == sharedGeneration) {
        sqlite3_reset(stmt);
        sqlite3_clear_bindings(stmt);
        it->second.idle = stmt;
        stmt = nullptr;
      }
    }
    if (stmt) sqlite3_finalize(stmt);
    stmt = nullptr;
    sharedKey.clear();
    parsed = executed = haveRow = done = longsValid = deferredError = false;
    cursorBinds.clear();
    valueBinds.clear();
    cols.clear();
    defs.clear();
    rows = 0;
    dropAhead();
  }
  void dropAhead() {
    ahead = aheadError = false;
    rowsAhead.clear();
  }
};

// The side tables. Never destroyed: nothing may commit, roll back or close at process exit
// behind the client's back; a logon that was never ended simply never commits.
struct Registry {
  std::mutex m;
  std::unordered_map<unsigned char*, std::shared_ptr<Logon>> logons;
  std::unordered_map<unsigned char*, std::unique_ptr<Cursor>> cursors;
  // Last error text per logon area, so oerhms can give the details of the last failure.
  std::unordered_map<unsigned char*, std::pair<int, std::string>> lastError;
};
Registry& reg();

void put16(unsigned char* a, int off, unsigned v);
void put32(unsigned char* a, int off, uint32_t v);
int areaCode(const unsigned char* a);
int succeed(unsigned char* area, int fc = -1);
int failWith(unsigned char* area, unsigned char* lda, const OraError& e, int fc = -1) noexcept;

// One guard per entry point: whatever the body throws becomes the call's Oracle error.
template <class F>
int guarded(unsigned char* area, unsigned char* lda, int fc, int fileErrorCode, F&& body) noexcept {
  try {
    return body();
  } catch (const OraError& e) {
    return failWith(area, lda, e, fc);
  } catch (const std::bad_alloc&) {
    return failWith(area, lda, OraError(4030), fc);
  } catch (const std::filesystem::filesystem_error& e) {
    try {
      return failWith(area, lda, OraError(fileErrorCode, e.what()), fc);
    } catch (...) {
      return failWith(area, nullptr, OraError(fileErrorCode), fc);
    }
  } catch (const std::exception& e) {
    try {
      return failWith(area, lda, OraError(600, e.what()), fc);
    } catch (...) {
    }
  } catch (...) {
  }
  put16(area, ociw32::kOffReturnCode, 600);
  return 600;
}

std::string text(const char* p, int len);

// Reports the error of a failed deferred parse on the call that reaches it, once: afterwards
// nothing is parsed. Returns 0 when there is none.
inline int deferredParseError(Cursor& c, unsigned char* cda, int fc) {
  if (!c.deferredError) return 0;
  c.deferredError = false;
  return failWith(cda, c.lda, c.deferredFailure, fc);
}

// Ends a logon whose lock the caller holds; `commit` for a normal logoff. Returns the commit's
// failure, if any (the logon ends either way and its session rolls back what is left).
int endLogon(unsigned char* lda, const std::shared_ptr<Logon>& l, bool commit);
// The logon of an area, locked; null with the error set when there is none.
std::shared_ptr<Logon> lockLogon(unsigned char* lda, std::unique_lock<std::mutex>& lk, unsigned char* area, int fc);
// A cursor with its logon locked; null with the error set when either is missing.
Cursor* lockCursor(unsigned char* cda, int fc, std::shared_ptr<Logon>& keep, std::unique_lock<std::mutex>& lk);

// A step failed: the error, and whether SQLite took the whole transaction with it.
OraError stepFailure(Session& s, int rc, const std::string& msg, const Translation& t, sqlite3_stmt* st = nullptr);
// Steps to the next row when the cursor does not stand on one. False at the end.
bool advance(Cursor& c);
// Reads the rest of an open query's rows so that nothing this logon writes can show in them.
void readAhead(Cursor& c);
// ofetch and ofen: up to `nrows` rows into the defines.
int fetchInto(unsigned char* cda, int nrows);
// Runs the block parsed on `c`, handing the cursor variables bound to it to their areas.
void runBoundBlock(Cursor& c);

} // namespace ora::oci
