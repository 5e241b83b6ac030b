// The 14 entry points. The engine's own state lives in side tables keyed by the address of the
// client's data area; the areas themselves only carry the fields the client reads.
//
// Locking: a short registry lock guards the side tables only; each logon has a lock of its own,
// held for the whole of a call on it or its cursors. A logon that waits for SQLite (a busy
// database) so holds up nobody else.
#include "ociw32.h"

#include "Database.h"
#include "FunctionUtil.h"
#include "OraError.h"
#include "OraValues.h"
#include "ConstraintErrors.h"
#include "Session.h"
#include "SqlText.h"
#include "SqlTranslate.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <new>
#include <sqlite3.h>
#include <unordered_map>
#include <vector>

using namespace ora;

namespace {

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
  int ddlSeen = 0;
  int64_t schemaSeen = -1;
  int generation = 0; // entries of an older generation were made for an older schema
  sqlite3_stmt* schemaVersion = nullptr;

  void dropShared() {
    for (auto& [k, e] : shared)
      if (e.idle) sqlite3_finalize(e.idle);
    shared.clear();
    ++generation;
  }
  // Shared statements were translated against the schema as it was; any change drops them.
  void checkShared() {
    if (!schemaVersion) sqlite3_prepare_v2(s->db, "PRAGMA schema_version", -1, &schemaVersion, nullptr);
    int64_t v = -1;
    if (schemaVersion && sqlite3_step(schemaVersion) == SQLITE_ROW) v = sqlite3_column_int64(schemaVersion, 0);
    if (schemaVersion) sqlite3_reset(schemaVersion);
    if (v != schemaSeen || s->ddlCount != ddlSeen || shared.size() > 500) {
      dropShared();
      schemaSeen = v;
      ddlSeen = s->ddlCount;
    }
  }
  // Open queries keep the data as of their start: before this logon writes, they read the rest
  // of their rows ahead.
  void protectReaders(const Cursor* except);
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
  int sharedGeneration = 0;
  bool parsed = false;
  Translation tr;
  std::vector<Column> cols;
  std::vector<Define> defs;
  bool executed = false;
  bool haveRow = false; // the statement stands on a row not yet delivered
  bool done = false;
  uint32_t rows = 0;
  std::vector<std::string> longs; // LONG values of the last delivered row
  bool longsValid = false;
  // Rows read ahead (the current one first) once the statement had to let go of its data.
  bool ahead = false;
  std::deque<std::vector<Saved>> rowsAhead;
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
    parsed = executed = haveRow = done = longsValid = false;
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
Registry& reg() {
  static Registry* r = new Registry;
  return *r;
}

void put16(unsigned char* a, int off, unsigned v) {
  uint16_t x = static_cast<uint16_t>(v);
  if (a) std::memcpy(a + off, &x, 2);
}
void put32(unsigned char* a, int off, uint32_t v) {
  if (a) std::memcpy(a + off, &v, 4);
}
int areaCode(const unsigned char* a) {
  if (!a) return 1001;
  uint16_t x;
  std::memcpy(&x, a + ociw32::kOffReturnCode, 2);
  return x;
}

int succeed(unsigned char* area, int fc = -1) {
  put16(area, ociw32::kOffReturnCode, 0);
  put16(area, ociw32::kOffParseErrorOffset, 0);
  if (area && fc >= 0) area[ociw32::kOffFunctionCode] = static_cast<unsigned char>(fc);
  return 0;
}

int failWith(unsigned char* area, unsigned char* lda, const OraError& e, int fc = -1) noexcept {
  put16(area, ociw32::kOffReturnCode, static_cast<unsigned>(e.code));
  put16(area, ociw32::kOffParseErrorOffset, static_cast<unsigned>(std::clamp(e.pos, 0, 65535)));
  if (area && fc >= 0) area[ociw32::kOffFunctionCode] = static_cast<unsigned char>(fc);
  if (lda) {
    try {
      std::lock_guard g(reg().m);
      reg().lastError[lda] = {e.code, e.text};
    } catch (...) {
      // the number is in the area; only the detail of the text is lost
    }
  }
  return e.code;
}

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

std::string text(const char* p, int len) {
  if (!p) return {};
  return len < 0 ? std::string(p) : std::string(p, static_cast<size_t>(len));
}

// Ends a logon whose lock the caller holds; `commit` for a normal logoff. Returns the commit's
// failure, if any (the logon ends either way and its session rolls back what is left).
int endLogon(unsigned char* lda, const std::shared_ptr<Logon>& l, bool commit) {
  int rc = 0;
  if (commit && l->s) {
    try {
      l->s->commit();
    } catch (const OraError& e) {
      rc = failWith(lda, lda, e);
    }
  }
  for (Cursor* c : l->cursors) c->finalize();
  l->dropShared();
  {
    std::lock_guard g(reg().m);
    for (Cursor* c : l->cursors) c->logon = nullptr;
    auto it = reg().logons.find(lda);
    if (it != reg().logons.end() && it->second == l) reg().logons.erase(it);
  }
  l->cursors.clear();
  l->s.reset(); // rolls back whatever was not committed
  return rc;
}

// The logon of an area, locked; null with the error set when there is none.
std::shared_ptr<Logon> lockLogon(unsigned char* lda, std::unique_lock<std::mutex>& lk, unsigned char* area, int fc) {
  for (;;) {
    std::shared_ptr<Logon> l;
    {
      std::lock_guard g(reg().m);
      auto it = reg().logons.find(lda);
      if (it != reg().logons.end()) l = it->second;
    }
    if (!l) {
      failWith(area, lda, OraError(1012), fc);
      return nullptr;
    }
    lk = std::unique_lock(l->m);
    std::lock_guard g(reg().m);
    auto it = reg().logons.find(lda);
    if (it != reg().logons.end() && it->second == l) return l;
    lk.unlock(); // ended meanwhile: look again
  }
}

// A cursor with its logon locked; null with the error set when either is missing.
Cursor* lockCursor(unsigned char* cda, int fc, std::shared_ptr<Logon>& keep, std::unique_lock<std::mutex>& lk) {
  for (;;) {
    int err = 0;
    unsigned char* lda = nullptr;
    {
      std::lock_guard g(reg().m);
      auto it = reg().cursors.find(cda);
      if (it == reg().cursors.end()) err = 1001;
      else {
        lda = it->second->lda;
        if (!it->second->logon) err = 1012;
        else keep = reg().logons.at(lda);
      }
    }
    if (err) {
      failWith(cda, err == 1012 ? lda : nullptr, OraError(err), fc);
      return nullptr;
    }
    lk = std::unique_lock(keep->m);
    std::lock_guard g(reg().m);
    auto it = reg().cursors.find(cda);
    if (it != reg().cursors.end() && it->second->logon == keep.get()) return it->second.get();
    lk.unlock(); // closed or moved meanwhile: look again
    keep.reset();
  }
}

void describe(Cursor& c) {
  int n = sqlite3_column_count(c.stmt);
  c.cols.resize(n);
  c.defs.assign(n, Define{});
  c.longs.assign(n, {});
  for (int i = 0; i < n; ++i) {
    Column& col = c.cols[i];
    col.name = sqlite3_column_name(c.stmt, i);
    col.type = resultType(c.stmt, i, c.tr);
    const char* table = sqlite3_column_table_name(c.stmt, i);
    const char* origin = sqlite3_column_origin_name(c.stmt, i);
    if (table && origin) {
      int notNull = 0;
      if (sqlite3_table_column_metadata(c.logon->s->db, nullptr, table, origin, nullptr, nullptr,
                                        &notNull, nullptr, nullptr) == SQLITE_OK)
        col.nullable = !notNull;
    }
  }
}

// Puts text into a define element, cutting it to the buffer on a character boundary.
void putText(const Define& d, int r, const char* s, int len, bool pad) {
  unsigned char* el = d.buf + static_cast<size_t>(r) * d.bufl;
  int room = d.bufl > 0 ? d.bufl - 1 : 0;
  int n = utf8Prefix(s, len, room);
  if (n) std::memcpy(el, s, n);
  int total = n;
  if (pad && n < room) {
    std::memset(el + n, ' ', room - n);
    total = room;
  }
  if (d.bufl > 0) el[total] = 0;
  if (d.rlen) d.rlen[r] = static_cast<unsigned short>(total);
  if (n < len) {
    if (d.ind) d.ind[r] = static_cast<short>(len > 32767 ? 32767 : len);
    if (d.rcode) d.rcode[r] = 1406;
  } else {
    if (d.ind) d.ind[r] = 0;
    if (d.rcode) d.rcode[r] = 0;
  }
}

void putBytes(const Define& d, int r, const void* p, int len) {
  unsigned char* el = d.buf + static_cast<size_t>(r) * d.bufl;
  int n = len < d.bufl ? len : d.bufl;
  if (n > 0) std::memcpy(el, p, n);
  if (d.rlen) d.rlen[r] = static_cast<unsigned short>(n);
  if (d.ind) d.ind[r] = n < len ? static_cast<short>(len > 32767 ? 32767 : len) : 0;
  if (d.rcode) d.rcode[r] = n < len ? 1406 : 0;
}

Val cellOf(const Cursor& c, int i) {
  Val v;
  if (c.ahead) {
    const Saved& s = c.rowsAhead.front()[static_cast<size_t>(i)];
    v.type = s.type;
    v.p = s.bytes.data();
    v.n = static_cast<int>(s.bytes.size());
    v.i = s.i;
    v.d = s.d;
    return v;
  }
  sqlite3_stmt* st = c.stmt;
  v.type = sqlite3_column_type(st, i);
  switch (v.type) {
  case SQLITE_INTEGER: v.i = sqlite3_column_int64(st, i); v.d = static_cast<double>(v.i); break;
  case SQLITE_FLOAT: v.d = sqlite3_column_double(st, i); break;
  case SQLITE_TEXT: v.p = reinterpret_cast<const char*>(sqlite3_column_text(st, i)); v.n = sqlite3_column_bytes(st, i); break;
  case SQLITE_BLOB: v.p = static_cast<const char*>(sqlite3_column_blob(st, i)); v.n = sqlite3_column_bytes(st, i); break;
  }
  if (!v.p) v.p = "";
  return v;
}

// Converts column i of the current row into element r of its define. Throws OraError.
void deliver(Cursor& c, int i, int r) {
  const Define& d = c.defs[i];
  const Column& col = c.cols[i];
  Val v = cellOf(c, i);
  int type = v.type;
  if (col.type.code == kLong || col.type.code == kLongRaw) {
    if (type == SQLITE_NULL) c.longs[i].clear();
    else c.longs[i].assign(v.p, static_cast<size_t>(v.n));
  }
  if (!d.bound) return;
  if (type == SQLITE_NULL) {
    if (d.ind) d.ind[r] = -1;
    if (d.rlen) d.rlen[r] = 0;
    if (d.rcode) d.rcode[r] = 1405;
    return;
  }
  switch (d.ftype) {
  case ociw32::kExtString:
  case ociw32::kExtCharz: {
    bool pad = d.ftype == ociw32::kExtCharz;
    if (type == SQLITE_TEXT) {
      DateTime dt;
      if (col.type.code == kDate && parseStoredDate(reinterpret_cast<const unsigned char*>(v.p), v.n, dt)) {
        std::string t = sessionDateText(c.logon->s->db, dt);
        putText(d, r, t.data(), static_cast<int>(t.size()), pad);
      } else {
        putText(d, r, v.p, v.n, pad);
      }
    } else if (type == SQLITE_INTEGER) {
      char buf[32];
      auto res = std::to_chars(buf, buf + sizeof buf, v.i);
      putText(d, r, buf, static_cast<int>(res.ptr - buf), pad);
    } else if (type == SQLITE_FLOAT) {
      std::string t = realText(v.d);
      putText(d, r, t.data(), static_cast<int>(t.size()), pad);
    } else {
      std::string t = hexText(reinterpret_cast<const unsigned char*>(v.p), v.n);
      putText(d, r, t.data(), static_cast<int>(t.size()), pad);
    }
    return;
  }
  case ociw32::kExtFloat: {
    double x;
    if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) x = v.d;
    else if (type == SQLITE_TEXT) {
      std::string s(v.p, static_cast<size_t>(v.n));
      char* end = nullptr;
      x = std::strtod(s.c_str(), &end);
      while (end && *end == ' ') ++end;
      if (!end || *end || end == s.c_str()) throw OraError(1722);
    } else throw OraError(932, "RAW value into a number");
    std::memcpy(d.buf + static_cast<size_t>(r) * d.bufl, &x, 8);
    if (d.rlen) d.rlen[r] = 8;
    if (d.ind) d.ind[r] = 0;
    if (d.rcode) d.rcode[r] = 0;
    return;
  }
  case ociw32::kExtDate: {
    if (type != SQLITE_TEXT) throw OraError(932, "expected DATE");
    DateTime dt;
    if (!parseStoredDate(reinterpret_cast<const unsigned char*>(v.p), v.n, dt)) {
      if (int err = sessionParseDate(c.logon->s->db, std::string_view(v.p, static_cast<size_t>(v.n)), dt)) throw OraError(err);
    }
    unsigned char* el = d.buf + static_cast<size_t>(r) * d.bufl;
    el[0] = static_cast<unsigned char>(dt.year / 100 + 100);
    el[1] = static_cast<unsigned char>(dt.year % 100 + 100);
    el[2] = static_cast<unsigned char>(dt.month);
    el[3] = static_cast<unsigned char>(dt.day);
    el[4] = static_cast<unsigned char>(dt.hour + 1);
    el[5] = static_cast<unsigned char>(dt.minute + 1);
    el[6] = static_cast<unsigned char>(dt.second + 1);
    if (d.rlen) d.rlen[r] = 7;
    if (d.ind) d.ind[r] = 0;
    if (d.rcode) d.rcode[r] = 0;
    return;
  }
  case ociw32::kExtRaw:
  case ociw32::kExtLongRaw:
    putBytes(d, r, v.p, v.n);
    return;
  }
}

// A step failed: the error, and whether SQLite took the whole transaction with it.
OraError stepFailure(Session& s, int rc, const std::string& msg, const Translation& t,
                     sqlite3_stmt* st = nullptr) {
  OraError e = (rc & 0xff) == SQLITE_CONSTRAINT ? constraintError(s.db, s.user, t, msg, st)
                                                : fromSqlite(rc, msg, t.verb);
  if (s.noteFailure()) e.text += " (the transaction was rolled back)";
  return e;
}

// Steps to the next row when the cursor does not stand on one. False at the end.
bool advance(Cursor& c) {
  if (c.haveRow) return true;
  if (c.done) return false;
  if (c.ahead) {
    if (!c.rowsAhead.empty()) { c.haveRow = true; return true; }
    c.done = true;
    if (c.aheadError) throw c.aheadFailure;
    return false;
  }
  int rc = sqlite3_step(c.stmt);
  if (rc == SQLITE_ROW) { c.haveRow = true; return true; }
  std::string msg = sqlite3_errmsg(c.logon->s->db);
  sqlite3_reset(c.stmt);
  c.done = true;
  if (rc == SQLITE_DONE) return false;
  throw stepFailure(*c.logon->s, rc, msg, c.tr);
}

// The current row was delivered.
void consumed(Cursor& c) {
  c.haveRow = false;
  if (c.ahead && !c.rowsAhead.empty()) c.rowsAhead.pop_front();
}

// Reads the rest of an open query's rows so that nothing this logon writes can show in them.
void readAhead(Cursor& c) {
  if (!c.executed || c.done || c.ahead || !c.stmt || c.tr.kind != StmtKind::Query) return;
  int n = sqlite3_column_count(c.stmt);
  auto save = [&] {
    std::vector<Saved> row(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
      Saved& s = row[static_cast<size_t>(i)];
      s.type = sqlite3_column_type(c.stmt, i);
      if (s.type == SQLITE_INTEGER) s.i = sqlite3_column_int64(c.stmt, i), s.d = static_cast<double>(s.i);
      else if (s.type == SQLITE_FLOAT) s.d = sqlite3_column_double(c.stmt, i);
      else if (s.type == SQLITE_TEXT)
        s.bytes.assign(reinterpret_cast<const char*>(sqlite3_column_text(c.stmt, i)), sqlite3_column_bytes(c.stmt, i));
      else if (s.type == SQLITE_BLOB)
        s.bytes.assign(static_cast<const char*>(sqlite3_column_blob(c.stmt, i)), sqlite3_column_bytes(c.stmt, i));
    }
    c.rowsAhead.push_back(std::move(row));
  };
  if (c.haveRow) save();
  for (;;) {
    int rc = sqlite3_step(c.stmt);
    if (rc == SQLITE_ROW) { save(); continue; }
    if (rc != SQLITE_DONE) {
      c.aheadError = true;
      c.aheadFailure = stepFailure(*c.logon->s, rc, sqlite3_errmsg(c.logon->s->db), c.tr);
    }
    break;
  }
  sqlite3_reset(c.stmt);
  c.ahead = true;
  c.haveRow = false;
}

void Logon::protectReaders(const Cursor* except) {
  for (Cursor* c : cursors)
    if (c != except) readAhead(*c);
}

int fetchInto(unsigned char* cda, int nrows) {
  std::shared_ptr<Logon> keep;
  std::unique_lock<std::mutex> lk;
  return guarded(cda, nullptr, ociw32::kFcFetch, 3113, [&] {
    Cursor* c = lockCursor(cda, ociw32::kFcFetch, keep, lk);
    if (!c) return areaCode(cda);
    try {
      if (!c->parsed || c->tr.kind != StmtKind::Query || !c->executed) throw OraError(1002);
      if (nrows <= 0) throw OraError(24333);
      int delivered = 0;
      c->longsValid = false;
      while (delivered < nrows) {
        if (!advance(*c)) break;
        for (size_t i = 0; i < c->cols.size(); ++i) deliver(*c, static_cast<int>(i), delivered);
        consumed(*c);
        c->longsValid = true;
        ++delivered;
        ++c->rows;
        put32(cda, ociw32::kOffRowsProcessed, c->rows);
      }
      if (delivered < nrows) return failWith(cda, c->lda, OraError(1403), ociw32::kFcFetch);
      return succeed(cda, ociw32::kFcFetch);
    } catch (const OraError& e) {
      return failWith(cda, c->lda, e, ociw32::kFcFetch);
    }
  });
}

// The value of the literal at token ordinal `token`.
const Literal* literalAt(const std::vector<Literal>& lits, int token) {
  auto it = std::lower_bound(lits.begin(), lits.end(), token,
                             [](const Literal& l, int t) { return l.token < t; });
  return it != lits.end() && it->token == token ? &*it : nullptr;
}

// Binds a statement's literal parameters as SQLite would have read the literals.
void bindLiterals(sqlite3_stmt* st, const Translation& tr, const std::vector<Literal>& lits) {
  for (size_t p = 0; p < tr.params.size(); ++p) {
    const Literal* l = literalAt(lits, tr.params[p]);
    int n = static_cast<int>(p + 1);
    if (!l || (l->text && l->value.empty())) { sqlite3_bind_null(st, n); continue; } // '' is NULL
    if (l->text) { sqlite3_bind_text(st, n, l->value.data(), static_cast<int>(l->value.size()), SQLITE_TRANSIENT); continue; }
    const std::string& v = l->value;
    int64_t i = 0;
    auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), i);
    if (ec == std::errc() && end == v.data() + v.size()) sqlite3_bind_int64(st, n, i);
    else sqlite3_bind_double(st, n, std::strtod(v.c_str(), nullptr));
  }
}

bool pinnedMatch(const Shared& e, const std::vector<Literal>& lits) {
  for (auto& [tok, value] : e.pinned) {
    const Literal* l = literalAt(lits, tok);
    if (!l || l->value != value) return false;
  }
  return true;
}

} // namespace

OCIW32_API int olog(unsigned char* lda, unsigned char*, const char* uid, int uidl,
                    const char* pswd, int pswdl, const char* conn, int connl, unsigned int) {
  if (!lda) return 1012;
  return guarded(lda, lda, -1, 12154, [&] {
    std::string user = text(uid, uidl), pass = text(pswd, pswdl), host = text(conn, connl);
    // "user/password@host" in the user field, as the real library takes it
    if (auto at = user.find('@'); at != std::string::npos) {
      if (host.empty()) host = user.substr(at + 1);
      user.erase(at);
    }
    if (auto slash = user.find('/'); slash != std::string::npos) {
      if (pass.empty()) pass = user.substr(slash + 1);
      user.erase(slash);
    }
    {
      // The logon outlives its lock: ending it may free it.
      std::shared_ptr<Logon> old;
      std::unique_lock<std::mutex> lk;
      bool present;
      {
        std::lock_guard g(reg().m);
        present = reg().logons.count(lda) > 0;
      }
      if (present && (old = lockLogon(lda, lk, nullptr, -1))) endLogon(lda, old, true);
    }
    std::string folder;
    if (int rc = resolveDatabase(host, folder)) return failWith(lda, lda, OraError(rc));
    repairUsers(folder);
    user = normalizeName(user);
    if (user.empty()) return failWith(lda, lda, OraError(1017));
    if (int rc = verifyUser(folder, user, pass)) return failWith(lda, lda, OraError(rc));
    auto l = std::make_shared<Logon>();
    l->s = Session::open(folder, user); // throws OraError when the schema cannot be used
    l->s->beforeWrite = [raw = l.get()] { raw->protectReaders(nullptr); };
    {
      std::lock_guard g(reg().m);
      reg().logons[lda] = std::move(l);
    }
    return succeed(lda);
  });
}

OCIW32_API int ologof(unsigned char* lda) {
  if (!lda) return 1012;
  return guarded(lda, lda, -1, 3113, [&] {
    std::shared_ptr<Logon> l; // destroyed after the lock it holds is released
    std::unique_lock<std::mutex> lk;
    l = lockLogon(lda, lk, lda, -1);
    if (!l) return areaCode(lda);
    if (int rc = endLogon(lda, l, true)) return rc;
    return succeed(lda);
  });
}

OCIW32_API int ocom(unsigned char* lda) {
  if (!lda) return 1012;
  return guarded(lda, lda, -1, 3113, [&] {
    std::unique_lock<std::mutex> lk;
    auto l = lockLogon(lda, lk, lda, -1);
    if (!l) return areaCode(lda);
    l->s->checkLost();
    l->s->commit();
    return succeed(lda);
  });
}

OCIW32_API int orol(unsigned char* lda) {
  if (!lda) return 1012;
  return guarded(lda, lda, -1, 3113, [&] {
    std::unique_lock<std::mutex> lk;
    auto l = lockLogon(lda, lk, lda, -1);
    if (!l) return areaCode(lda);
    l->protectReaders(nullptr);
    l->s->rollback();
    return succeed(lda);
  });
}

OCIW32_API int oerhms(unsigned char* lda, short rcode, char* buf, int bufsiz) {
  if (!buf || bufsiz <= 0) return 0;
  try {
    int code = static_cast<unsigned short>(rcode);
    std::string t;
    {
      std::lock_guard g(reg().m);
      auto it = reg().lastError.find(lda);
      if (it != reg().lastError.end() && it->second.first == code) t = it->second.second;
    }
    if (t.empty()) t = errorText(code);
    size_t n = std::min<size_t>(t.size(), static_cast<size_t>(bufsiz - 1));
    std::memcpy(buf, t.data(), n);
    buf[n] = 0;
  } catch (...) {
    buf[0] = 0;
  }
  return 0;
}

namespace {
// Takes a cursor area out of the side table, finalizing its statement under its logon's lock.
void dropCursor(unsigned char* cda) {
  std::shared_ptr<Logon> keep;
  std::unique_lock<std::mutex> lk;
  for (;;) {
    {
      std::lock_guard g(reg().m);
      auto it = reg().cursors.find(cda);
      if (it == reg().cursors.end()) return;
      if (!it->second->logon) { reg().cursors.erase(it); return; }
      keep = reg().logons.at(it->second->lda);
    }
    lk = std::unique_lock(keep->m);
    std::unique_ptr<Cursor> gone;
    {
      std::lock_guard g(reg().m);
      auto it = reg().cursors.find(cda);
      if (it == reg().cursors.end()) return;
      if (it->second->logon != keep.get() && it->second->logon) { lk.unlock(); continue; }
      gone = std::move(it->second);
      reg().cursors.erase(it);
    }
    gone->finalize();
    if (gone->logon) std::erase(gone->logon->cursors, gone.get());
    return;
  }
}
} // namespace

OCIW32_API int oopen(unsigned char* cda, unsigned char* lda, const char*, int, int, const char*, int) {
  if (!cda) return 1001;
  return guarded(cda, lda, ociw32::kFcOpen, 3113, [&] {
    dropCursor(cda);
    std::unique_lock<std::mutex> lk;
    auto l = lockLogon(lda, lk, cda, ociw32::kFcOpen);
    if (!l) return areaCode(cda);
    auto c = std::make_unique<Cursor>();
    c->lda = lda;
    c->logon = l.get();
    l->cursors.push_back(c.get());
    {
      std::lock_guard g(reg().m);
      reg().cursors[cda] = std::move(c);
    }
    put32(cda, ociw32::kOffRowsProcessed, 0);
    return succeed(cda, ociw32::kFcOpen);
  });
}

OCIW32_API int oclose(unsigned char* cda) {
  if (!cda) return 1001;
  return guarded(cda, nullptr, ociw32::kFcClose, 3113, [&] {
    bool known;
    {
      std::lock_guard g(reg().m);
      known = reg().cursors.count(cda) > 0;
    }
    if (!known) return failWith(cda, nullptr, OraError(1001), ociw32::kFcClose);
    dropCursor(cda);
    return succeed(cda, ociw32::kFcClose);
  });
}

OCIW32_API int oparse(unsigned char* cda, const char* sqlstm, int sqllen, int, unsigned int) {
  if (!cda) return 1001;
  std::shared_ptr<Logon> keep;
  std::unique_lock<std::mutex> lk;
  return guarded(cda, nullptr, ociw32::kFcParse, 3113, [&] {
    Cursor* c = lockCursor(cda, ociw32::kFcParse, keep, lk);
    if (!c) return areaCode(cda);
    put32(cda, ociw32::kOffRowsProcessed, 0);
    put16(cda, ociw32::kOffFunctionType, 0);
    try {
      Logon& l = *c->logon;
      Session& ses = *l.s;
      std::string sql = text(sqlstm, sqllen);
      // a length that counts the terminator: the text ends there
      while (!sql.empty() && sql.back() == '\0' && sql.find('\0') == sql.size() - 1) sql.pop_back();
      std::vector<Literal> lits;
      std::string key = sharingKey(sql, lits);
      Shared* hit = nullptr;
      if (!key.empty()) {
        l.checkShared();
        auto it = l.shared.find(key);
        if (it != l.shared.end() && pinnedMatch(it->second, lits)) hit = &it->second;
      }
      if (hit && c->sharedKey == key && c->stmt && c->sharedGeneration == hit->generation) {
        // the same shape again on the same cursor: only the literals change
        sqlite3_stmt* kept = c->stmt;
        c->stmt = nullptr;
        c->finalize();
        c->stmt = kept;
        c->sharedKey = key;
        sqlite3_reset(kept);
        sqlite3_clear_bindings(kept);
      } else {
        c->finalize();
        if (hit) {
          c->tr = hit->tr;
          c->sharedGeneration = hit->generation;
          if (hit->idle) {
            c->stmt = hit->idle;
            hit->idle = nullptr;
          } else if (int rc = sqlite3_prepare_v2(ses.db, c->tr.sql.c_str(), -1, &c->stmt, nullptr); rc != SQLITE_OK) {
            OraError e = fromSqlite(rc, sqlite3_errmsg(ses.db), c->tr.verb);
            sqlite3_finalize(c->stmt);
            c->stmt = nullptr;
            throw e;
          }
          c->sharedKey = key;
        } else {
          // The schema is read once for the whole translation, not once per look-up: each read
          // outside a transaction takes and drops the file's locks.
          struct ReadOnce {
            sqlite3* db;
            bool began;
            explicit ReadOnce(sqlite3* d) : db(d), began(sqlite3_get_autocommit(d) && execOne(d, "BEGIN") == SQLITE_OK) {}
            ~ReadOnce() {
              if (began && !sqlite3_get_autocommit(db)) execOne(db, "COMMIT");
            }
          } once(ses.db);
          Catalog cat(ses.db, ses.user, &ses);
          c->tr = translate(sql, cat, !key.empty());
          if (c->tr.kind == StmtKind::Query || c->tr.kind == StmtKind::Dml) {
            int rc = sqlite3_prepare_v2(ses.db, c->tr.sql.c_str(), -1, &c->stmt, nullptr);
            if (rc != SQLITE_OK) {
              OraError e = fromSqlite(rc, sqlite3_errmsg(ses.db), c->tr.verb);
              sqlite3_finalize(c->stmt);
              c->stmt = nullptr;
              throw e;
            }
            if (!key.empty() && !c->tr.unshared) {
              Shared& e = l.shared[key];
              if (e.idle) sqlite3_finalize(e.idle);
              e = Shared{};
              e.tr = c->tr;
              e.generation = l.generation;
              c->sharedGeneration = l.generation;
              for (int tok : c->tr.pinned)
                if (const Literal* lit = literalAt(lits, tok)) e.pinned.emplace_back(tok, lit->value);
              c->sharedKey = key;
            }
          }
        }
      }
      if (c->stmt && !c->tr.params.empty()) bindLiterals(c->stmt, c->tr, lits);
      if (c->tr.kind == StmtKind::Query) describe(*c);
    } catch (OraError& e) {
      if (e.pos < 0) locateError(e, text(sqlstm, sqllen));
      return failWith(cda, c->lda, e, ociw32::kFcParse);
    }
    c->parsed = true;
    put16(cda, ociw32::kOffFunctionType, static_cast<unsigned>(c->tr.function));
    return succeed(cda, ociw32::kFcParse);
  });
}

OCIW32_API int odescr(unsigned char* cda, int pos, int* dbsize, short* dbtype, char* cbuf,
                      int* cbufl, int* dsize, short* prec, short* scale, short* nullok) {
  if (!cda) return 1001;
  std::shared_ptr<Logon> keep;
  std::unique_lock<std::mutex> lk;
  return guarded(cda, nullptr, ociw32::kFcDescribe, 3113, [&] {
    Cursor* c = lockCursor(cda, ociw32::kFcDescribe, keep, lk);
    if (!c) return areaCode(cda);
    if (!c->parsed) return failWith(cda, c->lda, OraError(1003), ociw32::kFcDescribe);
    if (pos < 1 || pos > static_cast<int>(c->cols.size())) return failWith(cda, c->lda, OraError(1007), ociw32::kFcDescribe);
    if (cbuf && cbufl && *cbufl < 0)
      return failWith(cda, c->lda, OraError(1010, "negative name buffer length"), ociw32::kFcDescribe);
    const Column& col = c->cols[pos - 1];
    if (dbsize) *dbsize = describeSize(col.type);
    if (dbtype) *dbtype = static_cast<short>(col.type.code);
    if (cbuf && cbufl) {
      int n = std::min<int>(static_cast<int>(col.name.size()), *cbufl);
      std::memcpy(cbuf, col.name.data(), static_cast<size_t>(n));
      *cbufl = n;
    }
    if (dsize) *dsize = displaySize(col.type);
    if (prec) *prec = static_cast<short>(col.type.precision);
    if (scale) *scale = static_cast<short>(col.type.scale);
    if (nullok) *nullok = col.nullable ? 1 : 0;
    return succeed(cda, ociw32::kFcDescribe);
  });
}

OCIW32_API int odefin(unsigned char* cda, int pos, unsigned char* buf, int bufl, int ftype, int,
                      short* indp, const char*, int, int, unsigned short* rlen, unsigned short* rcode) {
  if (!cda) return 1001;
  std::shared_ptr<Logon> keep;
  std::unique_lock<std::mutex> lk;
  return guarded(cda, nullptr, ociw32::kFcDefine, 3113, [&] {
    Cursor* c = lockCursor(cda, ociw32::kFcDefine, keep, lk);
    if (!c) return areaCode(cda);
    if (!c->parsed) return failWith(cda, c->lda, OraError(1003), ociw32::kFcDefine);
    if (pos < 1 || pos > static_cast<int>(c->cols.size())) return failWith(cda, c->lda, OraError(1007), ociw32::kFcDefine);
    bool known = ftype == ociw32::kExtString || ftype == ociw32::kExtCharz || ftype == ociw32::kExtRaw ||
                 ftype == ociw32::kExtLongRaw || (ftype == ociw32::kExtFloat && bufl >= 8) ||
                 (ftype == ociw32::kExtDate && bufl >= 7);
    if (!known || bufl < 0 || (bufl > 0 && !buf))
      return failWith(cda, c->lda, OraError(932, "unsupported external type or buffer"), ociw32::kFcDefine);
    Define& d = c->defs[pos - 1];
    d.buf = buf;
    d.bufl = bufl;
    d.ftype = ftype;
    d.ind = indp;
    d.rlen = rlen;
    d.rcode = rcode;
    d.bound = true;
    return succeed(cda, ociw32::kFcDefine);
  });
}

OCIW32_API int oexec(unsigned char* cda) {
  if (!cda) return 1001;
  std::shared_ptr<Logon> keep;
  std::unique_lock<std::mutex> lk;
  return guarded(cda, nullptr, ociw32::kFcExec, 3113, [&] {
    Cursor* c = lockCursor(cda, ociw32::kFcExec, keep, lk);
    if (!c) return areaCode(cda);
    if (!c->parsed) return failWith(cda, c->lda, OraError(1003), ociw32::kFcExec);
    Logon& lo = *c->logon;
    Session& l = *lo.s;
    c->rows = 0;
    put32(cda, ociw32::kOffRowsProcessed, 0);
    try {
      if (c->tr.kind != StmtKind::Rollback) l.checkLost();
      switch (c->tr.kind) {
      case StmtKind::Query:
        c->dropAhead();
        sqlite3_reset(c->stmt);
        c->executed = false;
        for (auto& v : c->tr.dictionary) l.refreshDictionary(v);
        c->executed = true;
        c->haveRow = c->done = c->longsValid = false;
        advance(*c); // surfaces errors such as a busy database at execute time
        break;
      case StmtKind::Dml: {
        lo.protectReaders(c);
        l.beginIfNeeded(c->tr.verb);
        sqlite3_reset(c->stmt);
        if (!c->tr.moreSql.empty() || c->tr.verb == "MERGE") {
          c->rows = static_cast<uint32_t>(l.runParts(c->stmt, c->tr));
          break;
        }
        int rc = sqlite3_step(c->stmt);
        std::string msg = sqlite3_errmsg(l.db);
        sqlite3_reset(c->stmt);
        if (rc != SQLITE_DONE) throw stepFailure(l, rc, msg, c->tr, c->stmt);
        c->rows = static_cast<uint32_t>(sqlite3_changes(l.db));
        break;
      }
      case StmtKind::Ddl:
        lo.protectReaders(c);
        l.runDdl(c->tr);
        break;
      case StmtKind::Commit:
        l.commit();
        break;
      case StmtKind::Rollback:
        lo.protectReaders(c);
        if (c->tr.savepoint.empty()) l.rollback();
        else l.rollbackTo(c->tr.savepoint);
        break;
      case StmtKind::Savepoint:
        l.savepoint(c->tr.savepoint);
        break;
      case StmtKind::Session:
        for (auto& a : c->tr.actions) a(l);
        break;
      }
    } catch (const OraError& e) {
      return failWith(cda, c->lda, e, ociw32::kFcExec);
    }
    put32(cda, ociw32::kOffRowsProcessed, c->rows);
    return succeed(cda, ociw32::kFcExec);
  });
}

OCIW32_API int ofetch(unsigned char* cda) { return cda ? fetchInto(cda, 1) : 1001; }

OCIW32_API int ofen(unsigned char* cda, int nrows) { return cda ? fetchInto(cda, nrows) : 1001; }

OCIW32_API int oflng(unsigned char* cda, int pos, unsigned char* buf, int bufl, int dtype,
                     unsigned int* retl, int offset) {
  if (!cda) return 1001;
  std::shared_ptr<Logon> keep;
  std::unique_lock<std::mutex> lk;
  return guarded(cda, nullptr, ociw32::kFcFetchLong, 3113, [&] {
    Cursor* c = lockCursor(cda, ociw32::kFcFetchLong, keep, lk);
    if (!c) return areaCode(cda);
    if (!c->executed || !c->longsValid) return failWith(cda, c->lda, OraError(1002), ociw32::kFcFetchLong);
    if (pos < 1 || pos > static_cast<int>(c->cols.size()))
      return failWith(cda, c->lda, OraError(1007), ociw32::kFcFetchLong);
    int code = c->cols[pos - 1].type.code;
    if (code != kLong && code != kLongRaw)
      return failWith(cda, c->lda, OraError(932, "not a LONG column"), ociw32::kFcFetchLong);
    if (bufl > 0 && !buf) return failWith(cda, c->lda, OraError(1010, "no buffer"), ociw32::kFcFetchLong);
    const std::string& v = c->longs[pos - 1];
    size_t off = offset < 0 ? 0 : static_cast<size_t>(offset);
    size_t room = bufl <= 0 ? 0 : static_cast<size_t>(dtype == ociw32::kExtString ? bufl - 1 : bufl);
    size_t n = off >= v.size() ? 0 : std::min(room, v.size() - off);
    if (dtype == ociw32::kExtString && n < v.size() - std::min(off, v.size()))
      n = static_cast<size_t>(utf8Prefix(v.data() + off, static_cast<int>(v.size() - off), static_cast<int>(n)));
    if (n) std::memcpy(buf, v.data() + off, n);
    if (dtype == ociw32::kExtString && bufl > 0) buf[n] = 0;
    if (retl) *retl = static_cast<unsigned int>(n);
    return succeed(cda, ociw32::kFcFetchLong);
  });
}
