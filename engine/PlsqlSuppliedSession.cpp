// Supplied packages' procedures about the session: DBMS_RANDOM's seeding, DBMS_APPLICATION_INFO,
// and DBMS_UTILITY.FORMAT_CALL_STACK.
#include "FunctionUtil.h"
#include "PlsqlRun.h"
#include "PlsqlSuppliedMore.h"
#include "Session.h"
#include "SuppliedPackages.h"

#include <algorithm>
#include <cstdio>

namespace ora::pl {

namespace {

[[noreturn]] void wrongCall(const Run& r, const Stmt& s) {
  OraError e(6550);
  e.text = "ORA-06550: " + where(r.u.src, r.u.toks[s.at].pos) +
           ":\nPLS-00306: wrong number or types of arguments in call to '" + s.name.substr(s.name.find('.') + 1) + "'";
  throw e;
}

const Range* arg(const Stmt& s, const char* name, size_t position) {
  for (size_t a = 0; a < s.conds.size(); ++a)
    if (s.argNames[a].empty() ? a == position : s.argNames[a] == name) return &s.conds[a];
  return nullptr;
}

// The names a call may give, each once at most.
void only(const Run& r, const Stmt& s, std::initializer_list<const char*> names) {
  if (s.conds.size() > names.size()) wrongCall(r, s);
  for (auto& n : s.argNames) {
    if (n.empty()) continue;
    bool known = false;
    for (const char* k : names) known = known || n == k;
    if (!known) wrongCall(r, s);
  }
}

std::string text(Run& r, const Range* a) {
  if (!a) return {};
  Val v = r.eval(*a);
  if (v.k == Val::Null) return {};
  if (v.k == Val::Bool) throw OraError(6502);
  if (v.k != Val::Str) v = r.evalText("TO_CHAR(" + literal(v) + ")");
  return v.s;
}

// Text cut to at most `bytes` bytes, not inside a character.
std::string cut(std::string s, size_t bytes) {
  if (s.size() <= bytes) return s;
  size_t n = bytes;
  while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
  return s.substr(0, n);
}

void applicationInfo(Run& r, const Stmt& s, const std::string& proc) {
  Nls& n = sessionNls(r.ses.db);
  auto out = [&](const char* name, size_t position, const std::string& value) {
    const Range* a = arg(s, name, position);
    if (!a) wrongCall(r, s);
    r.assign(*a, value.empty() ? Val{} : Val{Val::Str, value, false});
  };
  // the lengths V$SESSION keeps of each
  if (proc == "SET_MODULE") {
    only(r, s, {"MODULE_NAME", "ACTION_NAME"});
    if (s.conds.size() != 2) wrongCall(r, s);
    n.module = cut(text(r, arg(s, "MODULE_NAME", 0)), 64);
    n.action = cut(text(r, arg(s, "ACTION_NAME", 1)), 64);
  } else if (proc == "SET_ACTION") {
    only(r, s, {"ACTION_NAME"});
    if (s.conds.size() != 1) wrongCall(r, s);
    n.action = cut(text(r, arg(s, "ACTION_NAME", 0)), 64);
  } else if (proc == "SET_CLIENT_INFO") {
    only(r, s, {"CLIENT_INFO"});
    if (s.conds.size() != 1) wrongCall(r, s);
    n.clientInfo = cut(text(r, arg(s, "CLIENT_INFO", 0)), 64);
  } else if (proc == "READ_MODULE") {
    only(r, s, {"MODULE_NAME", "ACTION_NAME"});
    out("MODULE_NAME", 0, n.module);
    out("ACTION_NAME", 1, n.action);
  } else if (proc == "READ_CLIENT_INFO") {
    only(r, s, {"CLIENT_INFO"});
    out("CLIENT_INFO", 0, n.clientInfo);
  } else {
    OraError e(6550);
    e.text = "ORA-06550: " + where(r.u.src, r.u.toks[s.at].pos) + ":\nPLS-00302: component '" + proc + "' must be declared";
    throw e;
  }
}

} // namespace

bool sessionPackageCall(Run& r, const Stmt& s) {
  const std::string& n = s.name;
  if (n == "DBMS_RANDOM.SEED" || n == "DBMS_RANDOM.INITIALIZE") {
    only(r, s, {"VAL"});
    if (s.conds.size() != 1) wrongCall(r, s);
    Val v = r.eval(s.conds[0]);
    if (v.k == Val::Bool) wrongCall(r, s);
    // a number and its text seed alike
    fn::seedRandom(v.k == Val::Null ? std::string() : v.s);
  } else if (n == "DBMS_RANDOM.TERMINATE") {
    if (!s.conds.empty()) wrongCall(r, s);
  } else if (n.rfind("DBMS_APPLICATION_INFO.", 0) == 0) {
    applicationInfo(r, s, n.substr(22));
  } else {
    return false;
  }
  return true;
}

bool sessionPackageValue(Run& r, size_t k, size_t end, std::string& sql, size_t& used) {
  const auto& t = r.u.toks;
  if (k + 2 >= end || t[k].text != "DBMS_UTILITY" || t[k + 2].text != "FORMAT_CALL_STACK") return false;
  used = 3;
  if (k + 4 < end && t[k + 3].kind == T::Op && t[k + 3].text == "(" && t[k + 4].kind == T::Op && t[k + 4].text == ")")
    used = 5;
  // the running unit's frame, at the line of the statement being run
  size_t line = 1;
  const size_t pos = r.u.toks[std::min(r.lastAt, r.u.toks.size() - 1)].pos;
  for (size_t p = r.u.bodyFrom && pos >= r.u.bodyFrom ? r.u.bodyFrom : 0; p < pos && p < r.u.src.size(); ++p)
    if (r.u.src[p] == '\n') ++line;
  std::string kind = r.u.bodyFrom ? "package body" : r.current && r.current->function ? "function" : "procedure";
  std::string name = r.u.name.empty() ? "anonymous block" : kind + " " + r.ses.user + "." + r.u.name;
  char frame[160];
  std::snprintf(frame, sizeof frame, "0x%-14llx%6zu  %s\n",
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(&r.u) & 0xffffffffffULL), line, name.c_str());
  sql = literal(Val{Val::Str,
                    "----- PL/SQL Call Stack -----\n  object      line  object\n  handle    number  name\n" +
                        std::string(frame),
                    false});
  return true;
}

} // namespace ora::pl
