// The calls that describe a query's columns, define where its values go, fetch its rows and
// read LONG values; and the rows a query reads ahead before its own logon writes.
#include "Booleans.h"
#include "OciImpl.h"
#include "TimeZones.h"
#include "Collections.h"

#include "ConstraintErrors.h"
#include "FunctionUtil.h"
#include "Intervals.h"
#include "Number.h"
#include "ObjectTypes.h"
#include "OraValues.h"
#include "Session.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sqlite3.h>

using namespace ora;
using namespace ora::oci;

namespace {

// How a column fared in a fetch: Oracle's column return code, which the call reports too.
enum Fate { kWhole = 0, kNullNoIndicator = 1405, kTruncated = 1406 };

// A timestamp shows in the session's format: as wide as a late date and time in it.
int shownSize(sqlite3* db, const ColType& t) {
  if (!isTimestamp(t.code)) return displaySize(t);
  const Nls& n = sessionNls(db);
  bool zoned = t.code == kTimestampTz && !t.localZone;
  if ((zoned ? n.timestampTzFormat : n.timestampFormat).empty()) return displaySize(t);
  DateTime d;
  d.year = 2000, d.month = 12, d.day = 28, d.hour = 23, d.minute = 59, d.second = 59;
  std::string text = zoned ? sessionZonedText(db, d, t.scale, Zone{}) : sessionTimestampText(db, d, t.scale, false);
  return static_cast<int>(text.size());
}

void mark(const Define& d, int r, int len, int returned, bool cut) {
  if (d.rlen) d.rlen[r] = static_cast<unsigned short>(returned);
  if (d.ind) d.ind[r] = cut ? static_cast<short>(len > 32767 ? 32767 : len) : 0;
  if (d.rcode) d.rcode[r] = cut ? kTruncated : 0;
}

// Puts text into a define element, cutting it to the buffer on a character boundary: NUL-ended
// for STRING and CHARZ (CHARZ blank-padded), bare for VARCHAR2 and LONG, blank-padded to the
// whole buffer for CHAR.
int putText(const Define& d, int r, const char* s, int len) {
  unsigned char* el = d.buf + static_cast<size_t>(r) * d.bufl;
  bool ended = d.ftype == ociw32::kExtString || d.ftype == ociw32::kExtCharz;
  bool pad = d.ftype == ociw32::kExtCharz || d.ftype == ociw32::kExtChar;
  int room = ended ? (d.bufl > 0 ? d.bufl - 1 : 0) : d.bufl;
  int n = utf8Prefix(s, len, room);
  if (n) std::memcpy(el, s, n);
  int total = n;
  if (pad && n < room) {
    std::memset(el + n, ' ', room - n);
    total = room;
  }
  if (ended && d.bufl > 0) el[total] = 0;
  mark(d, r, len, total, n < len);
  return n < len ? kTruncated : kWhole;
}

int putBytes(const Define& d, int r, const void* p, int len) {
  unsigned char* el = d.buf + static_cast<size_t>(r) * d.bufl;
  int n = len < d.bufl ? len : d.bufl;
  if (n > 0) std::memcpy(el, p, n);
  mark(d, r, len, n, n < len);
  return n < len ? kTruncated : kWhole;
}

bool textType(int ftype) {
  return ftype == ociw32::kExtString || ftype == ociw32::kExtCharz || ftype == ociw32::kExtVarchar2 ||
         ftype == ociw32::kExtLong || ftype == ociw32::kExtChar;
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

// Converts column i of the current row into element r of its define. Returns the column's
// fate; throws OraError when the value cannot become the define's type.
int deliver(Cursor& c, int i, int r) {
  const Define& d = c.defs[i];
  const Column& col = c.cols[i];
  Val v = cellOf(c, i);
  int type = v.type;
  if (col.type.code == kLong || col.type.code == kLongRaw) {
    if (type == SQLITE_NULL) c.longs[i].clear();
    else c.longs[i].assign(v.p, static_cast<size_t>(v.n));
  }
  if (col.type.code == kCursorType) {
    // the nested cursor stays here for tessel_column_cursor; the value itself is the text a
    // client shows for it
    auto& h = c.nested[i];
    if (h.size() <= static_cast<size_t>(r)) h.resize(static_cast<size_t>(r) + 1);
    h[static_cast<size_t>(r)] = type == SQLITE_TEXT ? std::string(v.p, static_cast<size_t>(v.n)) : std::string();
    if (!d.bound) return kWhole;
    if (type == SQLITE_NULL) {
      if (d.ind) d.ind[r] = -1;
      if (d.rlen) d.rlen[r] = 0;
      if (d.rcode) d.rcode[r] = kNullNoIndicator;
      return d.ind ? kWhole : kNullNoIndicator;
    }
    if (!textType(d.ftype)) throw OraError(932, "expected NUMBER got CURSOR");
    std::string t = "CURSOR STATEMENT : " + std::to_string(i + 1);
    return putText(d, r, t.data(), static_cast<int>(t.size()));
  }
  if (!d.bound) return kWhole;
  if (type == SQLITE_NULL) {
    if (d.ind) d.ind[r] = -1;
    if (d.rlen) d.rlen[r] = 0;
    if (d.rcode) d.rcode[r] = kNullNoIndicator;
    return d.ind ? kWhole : kNullNoIndicator;
  }
  int code = col.type.code;
  bool number = code == kNumber, date = code == kDate || isTimestamp(code), raw = code == kRaw || code == kLongRaw;
  if (textType(d.ftype) && type == SQLITE_BLOB && isCollectionBlob(v.p, v.n)) {
    CollValue cv;
    if (decodeCollection(v.p, v.n, cv)) {
      std::string t = collectionText(c.logon->s->db, cv);
      return putText(d, r, t.data(), static_cast<int>(t.size()));
    }
  }
  if (textType(d.ftype)) {
    if (type == SQLITE_TEXT) {
      if (isObjectText(std::string_view(v.p, static_cast<size_t>(v.n)))) {
        std::string t = objectDisplay(c.logon->s->db, std::string_view(v.p, static_cast<size_t>(v.n)));
        return putText(d, r, t.data(), static_cast<int>(t.size()));
      }
      DateTime dt;
      if (code == kDate && parseStoredDate(reinterpret_cast<const unsigned char*>(v.p), v.n, dt)) {
        std::string t = sessionDateText(c.logon->s->db, dt);
        return putText(d, r, t.data(), static_cast<int>(t.size()));
      }
      if (isInterval(code)) {
        bool ds;
        __int128 x;
        if (parseStoredInterval(std::string_view(v.p, static_cast<size_t>(v.n)), ds, x)) {
          std::string t = intervalText(ds, x, col.type.precision, col.type.scale);
          return putText(d, r, t.data(), static_cast<int>(t.size()));
        }
      }
      if (code == kTimestampTz) {
        Zone z;
        if (parseZonedText(c.logon->s->db, std::string_view(v.p, static_cast<size_t>(v.n)), dt, z) == 0) {
          // WITH LOCAL TIME ZONE: the instant in the session's zone, as a TIMESTAMP shows
          std::string t = col.type.localZone
                              ? sessionTimestampText(c.logon->s->db, shiftZone(dt, z, sessionZone(c.logon->s->db)), col.type.scale, false)
                              : sessionZonedText(c.logon->s->db, dt, col.type.scale, z);
          return putText(d, r, t.data(), static_cast<int>(t.size()));
        }
      }
      if (isTimestamp(code) && parseStoredDate(reinterpret_cast<const unsigned char*>(v.p), v.n, dt)) {
        std::string t = sessionTimestampText(c.logon->s->db, dt, col.type.scale, code == kTimestampTz);
        return putText(d, r, t.data(), static_cast<int>(t.size()));
      }
      return putText(d, r, v.p, v.n);
    }
    if (code == kBoolean && (type == SQLITE_INTEGER || type == SQLITE_FLOAT)) {
      const bool truth = type == SQLITE_INTEGER ? v.i != 0 : v.d != 0;
      return putText(d, r, truth ? "TRUE" : "FALSE", truth ? 4 : 5);
    }
    if (type == SQLITE_INTEGER) {
      char buf[32];
      auto res = std::to_chars(buf, buf + sizeof buf, v.i);
      return putText(d, r, buf, static_cast<int>(res.ptr - buf));
    }
    std::string t = type == SQLITE_FLOAT ? realText(v.d) : hexText(reinterpret_cast<const unsigned char*>(v.p), v.n);
    return putText(d, r, t.data(), static_cast<int>(t.size()));
  }
  switch (d.ftype) {
  case ociw32::kExtFloat: {
    // a DATE or RAW value has no number to give
    if (date || raw || type == SQLITE_BLOB) throw OraError(932, "expected NUMBER");
    double x;
    if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) x = v.d;
    else {
      std::string s(v.p, static_cast<size_t>(v.n));
      char* end = nullptr;
      x = cStrtod(s.c_str(), &end);
      while (end && *end == ' ') ++end;
      if (!end || *end || end == s.c_str()) throw OraError(1722);
    }
    unsigned char* el = d.buf + static_cast<size_t>(r) * d.bufl;
    if (d.bufl >= 8) std::memcpy(el, &x, 8);
    else {
      float f = static_cast<float>(x);
      std::memcpy(el, &f, 4);
    }
    mark(d, r, 0, d.bufl >= 8 ? 8 : 4, false);
    return kWhole;
  }
  case ociw32::kExtNumber:
  case ociw32::kExtVarnum: {
    if (date || raw || type == SQLITE_BLOB) throw OraError(932, "expected NUMBER");
    Num n;
    if (type == SQLITE_INTEGER) n = numFromInt(v.i);
    else if (type == SQLITE_FLOAT) n = numFromDouble(v.d);
    else if (!parseNum(std::string_view(v.p, static_cast<size_t>(v.n)), n)) throw OraError(1722);
    unsigned char bytes[22];
    bool varnum = d.ftype == ociw32::kExtVarnum;
    int len = numBytes(n, bytes + 1);
    bytes[0] = static_cast<unsigned char>(len);
    return putBytes(d, r, varnum ? bytes : bytes + 1, varnum ? len + 1 : len);
  }
  case ociw32::kExtInteger:
  case ociw32::kExtUnsigned: {
    if (date || raw || type == SQLITE_BLOB) throw OraError(932, "expected NUMBER");
    // the fraction is dropped, as C's own conversion drops it; a value the integer cannot
    // hold is an overflow
    bool isUnsigned = d.ftype == ociw32::kExtUnsigned;
    int64_t n = 0;
    bool fits = true;
    if (type == SQLITE_INTEGER) n = v.i;
    else {
      double x = v.d;
      if (type == SQLITE_TEXT) {
        std::string s(v.p, static_cast<size_t>(v.n));
        char* end = nullptr;
        x = cStrtod(s.c_str(), &end);
        while (end && *end == ' ') ++end;
        if (!end || *end || end == s.c_str()) throw OraError(1722);
      }
      x = std::trunc(x);
      fits = x >= -9223372036854775808.0 && x < 9223372036854775808.0;
      if (fits) n = static_cast<int64_t>(x);
    }
    int bits = d.bufl * 8;
    if (isUnsigned) fits = fits && n >= 0 && (bits == 64 || n < (int64_t{1} << bits));
    else if (bits < 64) fits = fits && n >= -(int64_t{1} << (bits - 1)) && n < (int64_t{1} << (bits - 1));
    if (!fits) throw OraError(1455);
    unsigned char* el = d.buf + static_cast<size_t>(r) * d.bufl;
    if (d.bufl == 1) { int8_t t = static_cast<int8_t>(n); std::memcpy(el, &t, 1); }
    else if (d.bufl == 2) { int16_t t = static_cast<int16_t>(n); std::memcpy(el, &t, 2); }
    else if (d.bufl == 4) { int32_t t = static_cast<int32_t>(n); std::memcpy(el, &t, 4); }
    else std::memcpy(el, &n, 8);
    mark(d, r, 0, d.bufl, false);
    return kWhole;
  }
  case ociw32::kExtDate: {
    if (number || raw || type != SQLITE_TEXT) throw OraError(932, "expected DATE");
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
    mark(d, r, 0, 7, false);
    return kWhole;
  }
  case ociw32::kExtRaw:
  case ociw32::kExtLongRaw:
    // text goes over byte for byte; a NUMBER or DATE has no raw form
    if (number || date || code == kRowid) throw OraError(932, "expected BINARY");
    return putBytes(d, r, v.p, v.n);
  }
  return kWhole;
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
  StatementClock clock(c.now);
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
  StatementClock clock(c.now);
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

void Logon::transactionEnded() {
  for (Cursor* c : cursors)
    if (c->executed && c->tr.kind == StmtKind::Query && c->tr.forUpdate) c->executed = false;
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
      int fate = kWhole; // the worst column fate of the rows delivered
      c->longsValid = false;
      while (delivered < nrows) {
        bool more;
        try {
          more = advance(*c);
        } catch (const OraError&) {
          c->executed = false; // the query broke off: a further fetch is out of sequence
          throw;
        }
        if (!more) break;
        try {
          for (size_t i = 0; i < c->cols.size(); ++i) {
            int f = deliver(*c, static_cast<int>(i), delivered);
            if (f == kNullNoIndicator || (f == kTruncated && fate == kWhole)) fate = f;
          }
        } catch (const OraError&) {
          consumed(*c); // a row that cannot be converted is passed over, not offered again
          throw;
        }
        consumed(*c);
        c->longsValid = true;
        ++delivered;
        ++c->rows;
        put32(cda, ociw32::kOffRowsProcessed, c->rows);
      }
      // the end of the rows matters most to a fetch loop; then a NULL that had nowhere to go,
      // then a value that did not fit (the rows were delivered all the same)
      if (delivered < nrows) return failWith(cda, c->lda, OraError(1403), ociw32::kFcFetch);
      if (fate != kWhole) return failWith(cda, c->lda, OraError(fate), ociw32::kFcFetch);
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
    if (int rc = deferredParseError(*c, cda, ociw32::kFcDescribe)) return rc;
    if (!c->parsed) return failWith(cda, c->lda, OraError(1003), ociw32::kFcDescribe);
    if (pos < 1 || pos > static_cast<int>(c->cols.size())) return failWith(cda, c->lda, OraError(1007), ociw32::kFcDescribe);
    if (cbuf && cbufl && *cbufl < 0)
      return failWith(cda, c->lda, OraError(1010, "negative name buffer length"), ociw32::kFcDescribe);
    const Column& col = c->cols[pos - 1];
    if (dbsize) *dbsize = describeSize(col.type);
    if (dbtype) *dbtype = static_cast<short>(col.type.binary ? col.type.binary : col.type.code);
    if (cbuf && cbufl) {
      int n = std::min<int>(static_cast<int>(col.name.size()), *cbufl);
      // a short buffer gets whole characters only, never half of one
      while (n > 0 && n < static_cast<int>(col.name.size()) && (static_cast<unsigned char>(col.name[n]) & 0xC0) == 0x80) --n;
      std::memcpy(cbuf, col.name.data(), static_cast<size_t>(n));
      *cbufl = n;
    }
    if (dsize) *dsize = shownSize(c->logon->s->db, col.type);
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
    if (int rc = deferredParseError(*c, cda, ociw32::kFcDefine)) return rc;
    if (!c->parsed) return failWith(cda, c->lda, OraError(1003), ociw32::kFcDefine);
    if (pos < 1 || pos > static_cast<int>(c->cols.size())) return failWith(cda, c->lda, OraError(1007), ociw32::kFcDefine);
    bool known = textType(ftype) || ftype == ociw32::kExtRaw || ftype == ociw32::kExtLongRaw ||
                 ftype == ociw32::kExtNumber || ftype == ociw32::kExtVarnum ||
                 (ftype == ociw32::kExtFloat && (bufl == 4 || bufl >= 8)) ||
                 ((ftype == ociw32::kExtInteger || ftype == ociw32::kExtUnsigned) &&
                  (bufl == 1 || bufl == 2 || bufl == 4 || bufl == 8)) ||
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
    bool asText = textType(dtype);
    if (!asText && dtype != ociw32::kExtRaw && dtype != ociw32::kExtLongRaw)
      return failWith(cda, c->lda, OraError(932, "expected LONG"), ociw32::kFcFetchLong);
    if (bufl > 0 && !buf) return failWith(cda, c->lda, OraError(1010, "no buffer"), ociw32::kFcFetchLong);
    // LONG RAW read as text is its hex digits, and the offset counts in them
    std::string hex;
    if (asText && code == kLongRaw) {
      const std::string& bytes = c->longs[pos - 1];
      hex = hexText(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
    }
    const std::string& v = asText && code == kLongRaw ? hex : c->longs[pos - 1];
    bool ended = dtype == ociw32::kExtString || dtype == ociw32::kExtCharz;
    // the offset is unsigned, as the real library takes it: a negative one lies past any value
    size_t off = static_cast<uint32_t>(offset);
    size_t room = bufl <= 0 ? 0 : static_cast<size_t>(ended ? bufl - 1 : bufl);
    size_t left = off >= v.size() ? 0 : v.size() - off;
    size_t n = std::min(room, left);
    if (asText && code == kLong && n < left)
      n = static_cast<size_t>(utf8Prefix(v.data() + off, static_cast<int>(left), static_cast<int>(n)));
    if (n) std::memcpy(buf, v.data() + off, n);
    if (ended && bufl > 0) buf[n] = 0;
    if (retl) *retl = static_cast<unsigned int>(n);
    return succeed(cda, ociw32::kFcFetchLong);
  });
}
