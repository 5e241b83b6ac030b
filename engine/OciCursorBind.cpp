// REF CURSOR binds: a block's cursor variable handed to a cursor area of the client's, which
// then serves its rows as an executed query's.
#include "OciImpl.h"
#include "Plsql.h"
#include "PlsqlRun.h"
#include "TranslateImpl.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <cstdlib>

namespace ora::oci {

namespace {

Saved savedValue(const std::pair<char, std::string>& v) {
  Saved s;
  if (v.first == 0) return s;
  if (v.first == 'N') {
    int64_t i = 0;
    auto [end, ec] = std::from_chars(v.second.data(), v.second.data() + v.second.size(), i);
    if (ec == std::errc() && end == v.second.data() + v.second.size()) {
      s.type = SQLITE_INTEGER;
      s.i = i;
      s.d = static_cast<double>(i);
      return s;
    }
    if (tx::significantDigits(v.second) <= 15) {
      s.type = SQLITE_FLOAT;
      s.d = std::strtod(v.second.c_str(), nullptr);
      return s;
    }
  }
  s.type = SQLITE_TEXT;
  s.bytes = v.second;
  return s;
}

// The cursor area `cda` of logon `l`, or null.
Cursor* cursorOf(unsigned char* cda, const Logon* l) {
  std::lock_guard g(reg().m);
  auto it = reg().cursors.find(cda);
  return it != reg().cursors.end() && it->second->logon == l ? it->second.get() : nullptr;
}

// `t` serves the rows of a cursor variable as an executed query's.
void serveRows(Cursor* t, const HostCursor& h) {
  t->finalize();
  if (!h.open) return;
  t->tr = Translation{};
  t->tr.kind = StmtKind::Query;
  t->tr.verb = "SELECT";
  t->cols.resize(h.names.size());
  for (size_t i = 0; i < h.names.size(); ++i) {
    t->cols[i].name = h.names[i];
    t->cols[i].type = h.types[i];
    if (t->cols[i].type.code == 0) {
      t->cols[i].type.code = kVarchar2;
      t->cols[i].type.size = 4000;
    }
  }
  t->defs.assign(h.names.size(), Define{});
  t->longs.assign(h.names.size(), {});
  t->nested.clear();
  for (auto& row : h.rows) {
    std::vector<Saved> saved;
    saved.reserve(row.size());
    for (auto& v : row) saved.push_back(savedValue(v));
    t->rowsAhead.push_back(std::move(saved));
  }
  t->parsed = t->executed = t->ahead = true;
}

} // namespace

void runBoundBlock(Cursor& c) {
  Logon& lo = *c.logon;
  std::vector<HostCursor> hosts;
  for (auto& [name, area] : c.cursorBinds) {
    HostCursor h;
    h.name = name;
    hosts.push_back(std::move(h));
  }
  runPlsqlBlock(*lo.s, c.tr.plsql, [&] { lo.transactionEnded(); }, hosts.empty() ? nullptr : &hosts,
                c.valueBinds.empty() ? nullptr : &c.valueBinds);
  for (size_t k = 0; k < hosts.size(); ++k) {
    Cursor* t = cursorOf(c.cursorBinds[k].second, &lo);
    if (!t || t == &c) continue; // closed since the bind: nothing receives the rows
    serveRows(t, hosts[k]);
  }
}

} // namespace ora::oci

using namespace ora;
using namespace ora::oci;

namespace {

std::string placeholderName(const char* name, int namel) {
  std::string n = name ? (namel < 0 ? std::string(name) : std::string(name, static_cast<size_t>(namel))) : std::string();
  if (!n.empty() && n[0] == ':') n.erase(0, 1);
  for (auto& ch : n)
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 32);
  return n;
}

bool decimalText(const std::string& s) {
  size_t k = s[0] == '-' ? 1 : 0, digits = 0, points = 0;
  for (; k < s.size(); ++k) {
    if (s[k] >= '0' && s[k] <= '9') ++digits;
    else if (s[k] == '.' && ++points == 1) continue;
    else return false;
  }
  return digits > 0;
}

// Runs `f` on the cursor of `cda` holding a parsed block, with the placeholder `name` (upper
// case, no ":"), inside the guard every entry point has; ORA-01003 when no block is parsed,
// ORA-01036 for a name the block does not have (only when `mustName`).
template <class F> int onBlock(unsigned char* cda, const char* name, int namel, bool mustName, F f) {
  if (!cda) return 1001;
  std::shared_ptr<Logon> keep;
  std::unique_lock<std::mutex> lk;
  return guarded(cda, nullptr, ociw32::kFcBindCursor, 3113, [&] {
    Cursor* c = lockCursor(cda, ociw32::kFcBindCursor, keep, lk);
    if (!c) return areaCode(cda);
    if (!c->parsed || !c->tr.plsql) return failWith(cda, c->lda, OraError(1003), ociw32::kFcBindCursor);
    std::string n = placeholderName(name, namel);
    if (mustName && (n.empty() || !blockNamesPlaceholder(c->tr.plsql, n)))
      return failWith(cda, c->lda, OraError(1036), ociw32::kFcBindCursor);
    return f(*c, n, keep.get());
  });
}

} // namespace

OCIW32_API int tessel_bind_cursor(unsigned char* cda, const char* name, int namel, unsigned char* target) {
  return onBlock(cda, name, namel, true, [&](Cursor& cur, const std::string& n, Logon* logon) {
    Cursor* c = &cur;
    if (!target || target == cda || !cursorOf(target, logon))
      return failWith(cda, c->lda, OraError(1001), ociw32::kFcBindCursor);
    for (auto& b : c->cursorBinds)
      if (b.first == n) {
        b.second = target;
        return succeed(cda, ociw32::kFcBindCursor);
      }
    c->cursorBinds.emplace_back(n, target);
    return succeed(cda, ociw32::kFcBindCursor);
  });
}

OCIW32_API int tessel_bind_value(unsigned char* cda, const char* name, int namel, int number, const char* value,
                                 int valuel) {
  return onBlock(cda, name, namel, true, [&](Cursor& cur, const std::string& n, Logon*) {
    Cursor* c = &cur;
    HostValue h;
    h.name = n;
    h.number = number != 0;
    if (value) {
      h.value = valuel < 0 ? std::string(value) : std::string(value, static_cast<size_t>(valuel));
      h.null = h.value.empty(); // an empty text is NULL, as everywhere
      if (!h.null && h.number && !decimalText(h.value)) return failWith(cda, c->lda, OraError(1722), ociw32::kFcBindCursor);
    }
    for (auto& b : c->valueBinds)
      if (b.name == n) {
        b = std::move(h);
        return succeed(cda, ociw32::kFcBindCursor);
      }
    c->valueBinds.push_back(std::move(h));
    return succeed(cda, ociw32::kFcBindCursor);
  });
}

OCIW32_API int tessel_bound_value(unsigned char* cda, const char* name, int namel, char* buf, int bufl, int* len,
                                  int* isnull) {
  return onBlock(cda, name, namel, false, [&](Cursor& cur, const std::string& n, Logon*) {
    Cursor* c = &cur;
    for (const HostValue& b : c->valueBinds) {
      if (b.name != n) continue;
      if (isnull) *isnull = b.null ? 1 : 0;
      if (len) *len = static_cast<int>(b.value.size());
      size_t room = bufl > 0 ? static_cast<size_t>(bufl) : 0;
      if (buf && room) std::memcpy(buf, b.value.data(), std::min(room, b.value.size()));
      if (b.value.size() > room) return failWith(cda, c->lda, OraError(1406), ociw32::kFcBindCursor);
      return succeed(cda, ociw32::kFcBindCursor);
    }
    return failWith(cda, c->lda, OraError(1036), ociw32::kFcBindCursor);
  });
}

OCIW32_API int tessel_column_cursor(unsigned char* cda, int pos, int row, unsigned char* target) {
  if (!cda) return 1001;
  std::shared_ptr<Logon> keep;
  std::unique_lock<std::mutex> lk;
  return guarded(cda, nullptr, ociw32::kFcBindCursor, 3113, [&] {
    Cursor* c = lockCursor(cda, ociw32::kFcBindCursor, keep, lk);
    if (!c) return areaCode(cda);
    if (pos < 1 || pos > static_cast<int>(c->cols.size())) return failWith(cda, c->lda, OraError(1007), ociw32::kFcBindCursor);
    if (c->cols[static_cast<size_t>(pos - 1)].type.code != kCursorType)
      return failWith(cda, c->lda, OraError(932, "expected CURSOR"), ociw32::kFcBindCursor);
    auto it = c->nested.find(pos - 1);
    if (it == c->nested.end() || row < 0 || static_cast<size_t>(row) >= it->second.size())
      return failWith(cda, c->lda, OraError(1002), ociw32::kFcBindCursor);
    Cursor* t = target && target != cda ? cursorOf(target, keep.get()) : nullptr;
    if (!t) return failWith(cda, c->lda, OraError(1001), ociw32::kFcBindCursor);
    HostCursor h;
    auto cur = pl::handleCursor(*keep->s, it->second[static_cast<size_t>(row)]);
    h.open = cur && cur->open;
    if (h.open) {
      h.names = cur->cols;
      h.types = cur->types;
      h.types.resize(h.names.size());
      for (size_t r = cur->next; r < cur->rows.size(); ++r) {
        std::vector<std::pair<char, std::string>> vals;
        for (const pl::Val& v : cur->rows[r])
          vals.emplace_back(v.k == pl::Val::Num ? 'N' : v.k == pl::Val::Str ? 'S' : v.k == pl::Val::Date ? 'D' : 0, v.s);
        h.rows.push_back(std::move(vals));
      }
    }
    serveRows(t, h);
    return succeed(cda, ociw32::kFcBindCursor);
  });
}
