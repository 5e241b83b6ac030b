// The 14 entry points. The engine's own state lives in side tables keyed by the address of the
// client's data area; the areas themselves only carry the fields the client reads.
#include "ociw32.h"

#include "Database.h"
#include "OraError.h"
#include "OraValues.h"
#include "Session.h"
#include "SqlTranslate.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <memory>
#include <mutex>
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
  }
};

std::mutex g_mutex;
std::unordered_map<unsigned char*, std::unique_ptr<Logon>> g_logons;
std::unordered_map<unsigned char*, std::unique_ptr<Cursor>> g_cursors;
// Last error text per logon area, so oerhms can give the details of the last failure.
std::unordered_map<unsigned char*, std::pair<int, std::string>> g_lastError;

void put16(unsigned char* a, int off, unsigned v) {
  uint16_t x = static_cast<uint16_t>(v);
  std::memcpy(a + off, &x, 2);
}
void put32(unsigned char* a, int off, uint32_t v) { std::memcpy(a + off, &v, 4); }
int areaCode(const unsigned char* a) {
  uint16_t x;
  std::memcpy(&x, a + ociw32::kOffReturnCode, 2);
  return x;
}

int succeed(unsigned char* area, int fc = -1) {
  put16(area, ociw32::kOffReturnCode, 0);
  if (fc >= 0) area[ociw32::kOffFunctionCode] = static_cast<unsigned char>(fc);
  return 0;
}

int failWith(unsigned char* area, unsigned char* lda, const OraError& e, int fc = -1) {
  put16(area, ociw32::kOffReturnCode, static_cast<unsigned>(e.code));
  if (fc >= 0) area[ociw32::kOffFunctionCode] = static_cast<unsigned char>(fc);
  if (lda) g_lastError[lda] = {e.code, e.text};
  return e.code;
}

std::string text(const char* p, int len) {
  if (!p) return {};
  return len < 0 ? std::string(p) : std::string(p, static_cast<size_t>(len));
}

void endLogon(unsigned char* lda, Logon& l) {
  for (Cursor* c : l.cursors) {
    c->finalize();
    c->logon = nullptr;
  }
  l.dropShared();
  l.s.reset(); // a normal logoff commits
  g_logons.erase(lda);
}

Cursor* cursorOf(unsigned char* cda) {
  auto it = g_cursors.find(cda);
  return it == g_cursors.end() ? nullptr : it->second.get();
}

// The cursor must exist and its logon must still be there; otherwise the error is set.
Cursor* liveCursor(unsigned char* cda, int fc) {
  Cursor* c = cursorOf(cda);
  if (!c) { failWith(cda, nullptr, OraError(1001), fc); return nullptr; }
  if (!c->logon) { failWith(cda, c->lda, OraError(1012), fc); return nullptr; }
  return c;
}

// Cursor for a call on select-list position `pos` of a parsed statement; none when the error
// is already set.
Cursor* columnCursor(unsigned char* cda, int pos, int fc) {
  Cursor* c = liveCursor(cda, fc);
  if (!c) return nullptr;
  if (!c->parsed) { failWith(cda, c->lda, OraError(1003), fc); return nullptr; }
  if (pos < 1 || pos > static_cast<int>(c->cols.size())) {
    failWith(cda, c->lda, OraError(1007), fc);
    return nullptr;
  }
  return c;
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

// Converts column i of the current row into element r of its define. Throws OraError.
void deliver(Cursor& c, int i, int r) {
  const Define& d = c.defs[i];
  const Column& col = c.cols[i];
  sqlite3_stmt* st = c.stmt;
  int type = sqlite3_column_type(st, i);
  if (col.type.code == kLong || col.type.code == kLongRaw) {
    if (type == SQLITE_NULL) c.longs[i].clear();
    else
      c.longs[i].assign(static_cast<const char*>(type == SQLITE_BLOB ? sqlite3_column_blob(st, i)
                                                                     : static_cast<const void*>(sqlite3_column_text(st, i))),
                        sqlite3_column_bytes(st, i));
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
      auto s = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
      int len = sqlite3_column_bytes(st, i);
      DateTime dt;
      if (col.type.code == kDate && parseStoredDate(reinterpret_cast<const unsigned char*>(s), len, dt)) {
        std::string t = defaultDateText(dt);
        putText(d, r, t.data(), static_cast<int>(t.size()), pad);
      } else {
        putText(d, r, s, len, pad);
      }
    } else if (type == SQLITE_INTEGER) {
      char buf[32];
      auto res = std::to_chars(buf, buf + sizeof buf, static_cast<int64_t>(sqlite3_column_int64(st, i)));
      putText(d, r, buf, static_cast<int>(res.ptr - buf), pad);
    } else if (type == SQLITE_FLOAT) {
      std::string t = realText(sqlite3_column_double(st, i));
      putText(d, r, t.data(), static_cast<int>(t.size()), pad);
    } else {
      std::string t = hexText(static_cast<const unsigned char*>(sqlite3_column_blob(st, i)),
                              sqlite3_column_bytes(st, i));
      putText(d, r, t.data(), static_cast<int>(t.size()), pad);
    }
    return;
  }
  case ociw32::kExtFloat: {
    double v;
    if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) v = sqlite3_column_double(st, i);
    else if (type == SQLITE_TEXT) {
      const char* s = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
      char* end = nullptr;
      v = std::strtod(s, &end);
      while (end && *end == ' ') ++end;
      if (!end || *end || end == s) throw OraError(1722);
    } else throw OraError(932, "RAW value into a number");
    std::memcpy(d.buf + static_cast<size_t>(r) * d.bufl, &v, 8);
    if (d.rlen) d.rlen[r] = 8;
    if (d.ind) d.ind[r] = 0;
    if (d.rcode) d.rcode[r] = 0;
    return;
  }
  case ociw32::kExtDate: {
    if (type != SQLITE_TEXT) throw OraError(932, "expected DATE");
    auto s = sqlite3_column_text(st, i);
    int len = sqlite3_column_bytes(st, i);
    DateTime dt;
    if (!parseStoredDate(s, len, dt)) {
      if (int err = parseDate(std::string_view(reinterpret_cast<const char*>(s), len), dt)) throw OraError(err);
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
  case ociw32::kExtLongRaw: {
    const void* p = type == SQLITE_BLOB ? sqlite3_column_blob(st, i)
                                        : static_cast<const void*>(sqlite3_column_text(st, i));
    putBytes(d, r, p, sqlite3_column_bytes(st, i));
    return;
  }
  }
}

// Steps to the next row when the statement does not stand on one. False at the end.
bool advance(Cursor& c) {
  if (c.haveRow) return true;
  if (c.done) return false;
  int rc = sqlite3_step(c.stmt);
  if (rc == SQLITE_ROW) { c.haveRow = true; return true; }
  std::string msg = sqlite3_errmsg(c.logon->s->db);
  sqlite3_reset(c.stmt);
  c.done = true;
  if (rc == SQLITE_DONE) return false;
  throw fromSqlite(rc, msg, c.tr.verb);
}

int fetchInto(unsigned char* cda, int nrows) {
  std::lock_guard lock(g_mutex);
  Cursor* c = liveCursor(cda, ociw32::kFcFetch);
  if (!c) return areaCode(cda);
  try {
    if (!c->parsed || c->tr.kind != StmtKind::Query || !c->executed) throw OraError(1002);
    if (nrows <= 0) throw OraError(24333);
    int delivered = 0;
    c->longsValid = false;
    while (delivered < nrows) {
      if (!advance(*c)) break;
      for (size_t i = 0; i < c->cols.size(); ++i) deliver(*c, static_cast<int>(i), delivered);
      c->haveRow = false;
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
}

} // namespace

OCIW32_API int olog(unsigned char* lda, unsigned char*, const char* uid, int uidl,
                    const char* pswd, int pswdl, const char* conn, int connl, unsigned int) {
  std::lock_guard lock(g_mutex);
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
  if (auto it = g_logons.find(lda); it != g_logons.end()) endLogon(lda, *it->second);
  std::string folder;
  if (int rc = resolveDatabase(host, folder)) return failWith(lda, lda, OraError(rc));
  user = normalizeName(user);
  if (user.empty() || verifyUser(folder, user, pass) != 0) return failWith(lda, lda, OraError(1017));
  auto l = std::make_unique<Logon>();
  l->s = Session::open(folder, user);
  if (!l->s) return failWith(lda, lda, OraError(3113, "schema file missing"));
  g_logons[lda] = std::move(l);
  return succeed(lda);
}

OCIW32_API int ologof(unsigned char* lda) {
  std::lock_guard lock(g_mutex);
  auto it = g_logons.find(lda);
  if (it == g_logons.end()) return failWith(lda, lda, OraError(1012));
  endLogon(lda, *it->second);
  return succeed(lda);
}

OCIW32_API int ocom(unsigned char* lda) {
  std::lock_guard lock(g_mutex);
  auto it = g_logons.find(lda);
  if (it == g_logons.end()) return failWith(lda, lda, OraError(1012));
  try {
    it->second->s->commit();
  } catch (const OraError& e) {
    return failWith(lda, lda, e);
  }
  return succeed(lda);
}

OCIW32_API int orol(unsigned char* lda) {
  std::lock_guard lock(g_mutex);
  auto it = g_logons.find(lda);
  if (it == g_logons.end()) return failWith(lda, lda, OraError(1012));
  it->second->s->rollback();
  return succeed(lda);
}

OCIW32_API int oerhms(unsigned char* lda, short rcode, char* buf, int bufsiz) {
  std::lock_guard lock(g_mutex);
  if (!buf || bufsiz <= 0) return 0;
  int code = static_cast<unsigned short>(rcode);
  std::string t;
  auto it = g_lastError.find(lda);
  if (it != g_lastError.end() && it->second.first == code) t = it->second.second;
  else t = errorText(code);
  size_t n = std::min<size_t>(t.size(), static_cast<size_t>(bufsiz - 1));
  std::memcpy(buf, t.data(), n);
  buf[n] = 0;
  return 0;
}

OCIW32_API int oopen(unsigned char* cda, unsigned char* lda, const char*, int, int, const char*, int) {
  std::lock_guard lock(g_mutex);
  auto it = g_logons.find(lda);
  if (it == g_logons.end()) return failWith(cda, lda, OraError(1012), ociw32::kFcOpen);
  if (Cursor* old = cursorOf(cda)) {
    old->finalize();
    if (old->logon) std::erase(old->logon->cursors, old);
    g_cursors.erase(cda);
  }
  auto c = std::make_unique<Cursor>();
  c->lda = lda;
  c->logon = it->second.get();
  c->logon->cursors.push_back(c.get());
  g_cursors[cda] = std::move(c);
  put32(cda, ociw32::kOffRowsProcessed, 0);
  return succeed(cda, ociw32::kFcOpen);
}

OCIW32_API int oclose(unsigned char* cda) {
  std::lock_guard lock(g_mutex);
  Cursor* c = cursorOf(cda);
  if (!c) return failWith(cda, nullptr, OraError(1001), ociw32::kFcClose);
  c->finalize();
  if (c->logon) std::erase(c->logon->cursors, c);
  g_cursors.erase(cda);
  return succeed(cda, ociw32::kFcClose);
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

OCIW32_API int oparse(unsigned char* cda, const char* sqlstm, int sqllen, int, unsigned int) {
  std::lock_guard lock(g_mutex);
  Cursor* c = liveCursor(cda, ociw32::kFcParse);
  if (!c) return areaCode(cda);
  put32(cda, ociw32::kOffRowsProcessed, 0);
  put16(cda, ociw32::kOffFunctionType, 0);
  try {
    Logon& l = *c->logon;
    Session& ses = *l.s;
    std::string sql = text(sqlstm, sqllen);
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
      sqlite3_stmt* keep = c->stmt;
      c->stmt = nullptr;
      c->finalize();
      c->stmt = keep;
      c->sharedKey = key;
      sqlite3_reset(keep);
      sqlite3_clear_bindings(keep);
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
          if (!key.empty()) {
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
  } catch (const OraError& e) {
    return failWith(cda, c->lda, e, ociw32::kFcParse);
  }
  c->parsed = true;
  put16(cda, ociw32::kOffFunctionType, static_cast<unsigned>(c->tr.function));
  return succeed(cda, ociw32::kFcParse);
}

OCIW32_API int odescr(unsigned char* cda, int pos, int* dbsize, short* dbtype, char* cbuf,
                      int* cbufl, int* dsize, short* prec, short* scale, short* nullok) {
  std::lock_guard lock(g_mutex);
  Cursor* c = columnCursor(cda, pos, ociw32::kFcDescribe);
  if (!c) return areaCode(cda);
  const Column& col = c->cols[pos - 1];
  if (dbsize) *dbsize = describeSize(col.type);
  if (dbtype) *dbtype = static_cast<short>(col.type.code);
  if (cbuf && cbufl) {
    int n = std::min<int>(static_cast<int>(col.name.size()), *cbufl);
    std::memcpy(cbuf, col.name.data(), n);
    *cbufl = n;
  }
  if (dsize) *dsize = displaySize(col.type);
  if (prec) *prec = static_cast<short>(col.type.precision);
  if (scale) *scale = static_cast<short>(col.type.scale);
  if (nullok) *nullok = col.nullable ? 1 : 0;
  return succeed(cda, ociw32::kFcDescribe);
}

OCIW32_API int odefin(unsigned char* cda, int pos, unsigned char* buf, int bufl, int ftype, int,
                      short* indp, const char*, int, int, unsigned short* rlen, unsigned short* rcode) {
  std::lock_guard lock(g_mutex);
  Cursor* c = columnCursor(cda, pos, ociw32::kFcDefine);
  if (!c) return areaCode(cda);
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
}

OCIW32_API int oexec(unsigned char* cda) {
  std::lock_guard lock(g_mutex);
  Cursor* c = liveCursor(cda, ociw32::kFcExec);
  if (!c) return areaCode(cda);
  if (!c->parsed) return failWith(cda, c->lda, OraError(1003), ociw32::kFcExec);
  Session& l = *c->logon->s;
  c->rows = 0;
  put32(cda, ociw32::kOffRowsProcessed, 0);
  try {
    switch (c->tr.kind) {
    case StmtKind::Query:
      for (auto& v : c->tr.dictionary) l.refreshDictionary(v);
      sqlite3_reset(c->stmt);
      c->executed = true;
      c->haveRow = c->done = c->longsValid = false;
      advance(*c); // surfaces errors such as a busy database at execute time
      break;
    case StmtKind::Dml: {
      l.beginIfNeeded(c->tr.verb);
      sqlite3_reset(c->stmt);
      int rc = sqlite3_step(c->stmt);
      std::string msg = sqlite3_errmsg(l.db);
      sqlite3_reset(c->stmt);
      if (rc != SQLITE_DONE) throw fromSqlite(rc, msg, c->tr.verb);
      c->rows = static_cast<uint32_t>(sqlite3_changes(l.db));
      break;
    }
    case StmtKind::Ddl:
      l.runDdl(c->tr);
      break;
    case StmtKind::Commit:
      l.commit();
      break;
    case StmtKind::Rollback:
      l.rollback();
      break;
    }
  } catch (const OraError& e) {
    return failWith(cda, c->lda, e, ociw32::kFcExec);
  }
  put32(cda, ociw32::kOffRowsProcessed, c->rows);
  return succeed(cda, ociw32::kFcExec);
}

OCIW32_API int ofetch(unsigned char* cda) { return fetchInto(cda, 1); }

OCIW32_API int ofen(unsigned char* cda, int nrows) { return fetchInto(cda, nrows); }

OCIW32_API int oflng(unsigned char* cda, int pos, unsigned char* buf, int bufl, int dtype,
                     unsigned int* retl, int offset) {
  std::lock_guard lock(g_mutex);
  Cursor* c = liveCursor(cda, ociw32::kFcFetchLong);
  if (!c) return areaCode(cda);
  if (!c->executed || !c->longsValid) return failWith(cda, c->lda, OraError(1002), ociw32::kFcFetchLong);
  if (pos < 1 || pos > static_cast<int>(c->cols.size()))
    return failWith(cda, c->lda, OraError(1007), ociw32::kFcFetchLong);
  int code = c->cols[pos - 1].type.code;
  if (code != kLong && code != kLongRaw)
    return failWith(cda, c->lda, OraError(932, "not a LONG column"), ociw32::kFcFetchLong);
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
}
