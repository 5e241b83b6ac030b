// The calls that describe a query's columns, define where its values go, fetch its rows and
// read LONG values; and the rows a query reads ahead before its own logon writes.
#include "OciImpl.h"

#include "ConstraintErrors.h"
#include "FunctionUtil.h"
#include "Number.h"
#include "OraValues.h"
#include "Session.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <sqlite3.h>

using namespace ora;
using namespace ora::oci;

namespace {

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
      x = cStrtod(s.c_str(), &end);
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

// The current row was delivered.
void consumed(Cursor& c) {
  c.haveRow = false;
  if (c.ahead && !c.rowsAhead.empty()) c.rowsAhead.pop_front();
}

} // namespace

namespace ora::oci {

// A step failed: the error, and whether SQLite took the whole transaction with it.
OraError stepFailure(Session& s, int rc, const std::string& msg, const Translation& t, sqlite3_stmt* st) {
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
    } catch (OraError& e) {
      if (e.pos < 0) e.pos = c->queryAt;
      return failWith(cda, c->lda, e, ociw32::kFcFetch);
    }
  });
}

} // namespace ora::oci

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
      // a short buffer gets whole characters only, never half of one
      while (n > 0 && n < static_cast<int>(col.name.size()) && (static_cast<unsigned char>(col.name[n]) & 0xC0) == 0x80) --n;
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
