// Nested cursors as SQL values: CURSOR (subquery) opens one over the rows ora_rows packed for the
// current row; a PL/SQL function's SYS_REFCURSOR result and argument travel as the same handle.
#include "OraValues.h"
#include "Plsql.h"
#include "PlsqlRun.h"
#include "Session.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <sqlite3.h>

namespace ora::pl {

namespace {

// A handle: this prefix, the session's number for it and a check of the session it belongs to.
constexpr char kMark[] = "\x1B" "CURSOR#";
// Cursors a session keeps before the oldest are dropped (Oracle's OPEN_CURSORS is of this order).
constexpr size_t kMaxNested = 4096;

std::string sessionTag(const Session& ses) {
  return std::to_string(reinterpret_cast<uintptr_t>(&ses) % 1000003u);
}

// ora_rows' packed values, row after row of `width` values.
bool unpack(const unsigned char* p, size_t n, size_t width, std::vector<std::vector<Val>>& rows) {
  size_t at = 0;
  std::vector<Val> row;
  while (at < n) {
    unsigned char ty = p[at++];
    Val v;
    if (ty == 1 || ty == 2) {
      if (n - at < 8) return false;
      if (ty == 1) {
        int64_t i;
        std::memcpy(&i, p + at, 8);
        v = Val{Val::Num, integerText(i), false};
      } else {
        double d;
        std::memcpy(&d, p + at, 8);
        v = Val{Val::Num, realText(d), false};
      }
      at += 8;
    } else if (ty == 3 || ty == 4) {
      if (n - at < 8) return false;
      uint64_t len;
      std::memcpy(&len, p + at, 8);
      at += 8;
      if (n - at < len) return false;
      if (len) {
        if (ty == 3) v = Val{Val::Str, std::string(reinterpret_cast<const char*>(p + at), len), false};
        else v = Val{Val::Str, hexText(p + at, static_cast<int>(len)), false};
      }
      at += len;
    } else if (ty != 0) {
      return false;
    }
    row.push_back(std::move(v));
    if (row.size() == width) rows.push_back(std::move(row)), row.clear();
  }
  return row.empty();
}

ColType parseType(const std::string& s) {
  ColType t;
  int part[4] = {0, 0, 0, -1000};
  size_t at = 0;
  for (int k = 0; k < 4 && at <= s.size(); ++k) {
    part[k] = std::atoi(s.c_str() + at);
    size_t c = s.find(':', at);
    if (c == std::string::npos) break;
    at = c + 1;
  }
  t.code = part[0];
  t.size = part[1];
  t.precision = part[2];
  t.hasScale = part[3] != -1000;
  t.scale = t.hasScale ? part[3] : 0;
  return t;
}

bool dateText(const std::string& s) {
  if (s.size() != 19) return false;
  for (size_t k = 0; k < 19; ++k) {
    char c = s[k];
    bool sep = k == 4 || k == 7 || k == 10 || k == 13 || k == 16;
    if (sep ? c != (k < 10 ? '-' : k == 10 ? ' ' : ':') : !(c >= '0' && c <= '9')) return false;
  }
  return true;
}

// A column whose type the statement did not tell: what its values are.
ColType typeOfValues(const std::vector<std::vector<Val>>& rows, size_t col) {
  bool num = true, date = true, any = false;
  int width = 1;
  for (const auto& r : rows) {
    const Val& v = r[col];
    if (v.k == Val::Null) continue;
    any = true;
    num = num && v.k == Val::Num;
    date = date && v.k == Val::Str && dateText(v.s);
    width = std::max(width, static_cast<int>(v.s.size()));
  }
  ColType t;
  t.code = any && num ? kNumber : any && date ? kDate : kVarchar2;
  if (t.code == kVarchar2) t.size = std::min(width, 4000);
  return t;
}

// ora_cursor(packed rows, name1, type1, name2, type2, ...): the nested cursor of CURSOR (subquery).
void openNested(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  Session& ses = *static_cast<Session*>(sqlite3_user_data(ctx));
  try {
    auto c = std::make_shared<CursorState>();
    size_t width = static_cast<size_t>(argc - 1) / 2;
    for (size_t k = 0; k < width; ++k) {
      const unsigned char* n = sqlite3_value_text(argv[1 + 2 * k]);
      const unsigned char* t = sqlite3_value_text(argv[2 + 2 * k]);
      c->cols.push_back(n ? reinterpret_cast<const char*>(n) : "");
      c->types.push_back(parseType(t ? reinterpret_cast<const char*>(t) : ""));
    }
    if (sqlite3_value_type(argv[0]) == SQLITE_BLOB) {
      const auto* p = static_cast<const unsigned char*>(sqlite3_value_blob(argv[0]));
      if (!unpack(p, static_cast<size_t>(sqlite3_value_bytes(argv[0])), width, c->rows)) throw OraError(600);
    }
    for (size_t k = 0; k < width; ++k) {
      if (c->types[k].code == 0 || (c->types[k].code == kVarchar2 && c->types[k].size == 4000))
        c->types[k] = typeOfValues(c->rows, k);
      if (c->types[k].code == kDate)
        for (auto& r : c->rows)
          if (r[k].k == Val::Str) r[k].k = Val::Date;
      if (isTimestamp(c->types[k].code) || isInterval(c->types[k].code))
        for (auto& r : c->rows)
          if (r[k].k == Val::Str) r[k] = datetimeValue(r[k].s, c->types[k]);
    }
    c->open = true;
    std::string h = cursorHandle(ses, std::move(c));
    sqlite3_result_text(ctx, h.c_str(), static_cast<int>(h.size()), SQLITE_TRANSIENT);
  } catch (const OraError& e) {
    sqlite3_result_error(ctx, e.text.c_str(), -1);
  } catch (const std::bad_alloc&) {
    sqlite3_result_error_nomem(ctx);
  } catch (...) {
    sqlite3_result_error(ctx, "ORA-00600: internal error in a nested cursor", -1);
  }
}

} // namespace

std::string cursorHandle(Session& ses, std::shared_ptr<CursorState> c) {
  SessionUnits& u = units(ses);
  while (u.nested.size() >= kMaxNested) u.nested.erase(u.nested.begin());
  long long id = ++u.nestedSeq;
  u.nested[id] = std::move(c);
  return kMark + std::to_string(id) + "." + sessionTag(ses);
}

bool isCursorHandle(const std::string& text) { return text.rfind(kMark, 0) == 0; }

std::shared_ptr<CursorState> handleCursor(Session& ses, const std::string& text) {
  if (!isCursorHandle(text)) return nullptr;
  size_t dot = text.find('.');
  if (dot == std::string::npos || text.substr(dot + 1) != sessionTag(ses)) return nullptr;
  long long id = std::atoll(text.c_str() + std::strlen(kMark));
  auto& all = units(ses).nested;
  auto it = all.find(id);
  return it == all.end() ? nullptr : it->second;
}

void registerNestedCursors(sqlite3* db, Session* ses) {
  sqlite3_create_function(db, "ora_cursor", -1, SQLITE_UTF8, ses, openNested, nullptr, nullptr);
}

} // namespace ora::pl
