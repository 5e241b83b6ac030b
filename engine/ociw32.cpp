// The call interface: its side tables, locks and logon calls (the cursor calls are in OciCursor
// and OciFetch). The engine's own state lives in side tables keyed by the address of the
// client's data area; the areas themselves only carry the fields the client reads.
//
// Locking: a short registry lock guards the side tables only; each logon has a lock of its own,
// held for the whole of a call on it or its cursors. A logon that waits for SQLite (a busy
// database) so holds up nobody else.
#include "OciImpl.h"

#include "Database.h"
#include "OraError.h"
#include "Session.h"

#include <algorithm>
#include <cstring>

using namespace ora;
using namespace ora::oci;

namespace ora::oci {

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

int succeed(unsigned char* area, int fc) {
  put16(area, ociw32::kOffReturnCode, 0);
  put16(area, ociw32::kOffParseErrorOffset, 0);
  if (area && fc >= 0) area[ociw32::kOffFunctionCode] = static_cast<unsigned char>(fc);
  return 0;
}

int failWith(unsigned char* area, unsigned char* lda, const OraError& e, int fc) noexcept {
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

} // namespace ora::oci

OCIW32_API int olog(unsigned char* lda, unsigned char*, const char* uid, int uidl,
                    const char* pswd, int pswdl, const char* conn, int connl, unsigned int) {
  if (!lda) return 1012;
  return guarded(lda, lda, -1, 12154, [&] {
    // names and passwords hold no NUL: a length past the text's end reads no further
    auto field = [](const char* p, int len) {
      return p ? std::string(p, strnlen(p, len < 0 ? SIZE_MAX : static_cast<size_t>(len))) : std::string();
    };
    std::string user = field(uid, uidl), pass = field(pswd, pswdl), host = field(conn, connl);
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
    l->transactionEnded();
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
    l->transactionEnded();
    return succeed(lda);
  });
}

OCIW32_API int tessel_output_enable(unsigned char* lda, int on) {
  if (!lda) return 1012;
  return guarded(lda, lda, -1, 3113, [&] {
    std::unique_lock<std::mutex> lk;
    auto l = lockLogon(lda, lk, lda, -1);
    if (!l) return areaCode(lda);
    Session& s = *l->s;
    if (!on) {
      s.outputLines.clear();
      s.outputPartial.clear();
    }
    s.outputOn = on != 0;
    return succeed(lda);
  });
}

OCIW32_API int tessel_output_get_line(unsigned char* lda, char* buf, int bufl, int* len, int* status) {
  if (!lda) return 1012;
  if (!buf || bufl < 0 || !len || !status) return 1007;
  return guarded(lda, lda, -1, 3113, [&] {
    std::unique_lock<std::mutex> lk;
    auto l = lockLogon(lda, lk, lda, -1);
    if (!l) return areaCode(lda);
    Session& s = *l->s;
    *len = 0;
    *status = 1;
    if (!s.outputLines.empty()) {
      const std::string& line = s.outputLines.front();
      size_t n = std::min(line.size(), static_cast<size_t>(bufl));
      std::memcpy(buf, line.data(), n);
      *len = static_cast<int>(n);
      *status = 0;
      s.outputLines.erase(s.outputLines.begin());
    }
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
    return static_cast<int>(n); // the length of the text, as the real library answers
  } catch (...) {
    buf[0] = 0;
  }
  return 0;
}
