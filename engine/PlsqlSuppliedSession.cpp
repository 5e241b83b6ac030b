// Supplied packages' procedures about the session: DBMS_RANDOM's seeding, DBMS_APPLICATION_INFO,
// DBMS_UTILITY's lists of names and FORMAT_CALL_STACK.
#include "FunctionUtil.h"
#include "PlsqlRun.h"
#include "PlsqlSuppliedMore.h"
#include "Session.h"
#include "SuppliedPackages.h"
#include "DbmsMetadata.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace ora::pl {

namespace {

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
    const Range* a = argument(s, name, position);
    if (!a) wrongArguments(r, s);
    r.assign(*a, value.empty() ? Val{} : Val{Val::Str, value, false});
  };
  // the lengths V$SESSION keeps of each
  if (proc == "SET_MODULE") {
    onlyArguments(r, s, {"MODULE_NAME", "ACTION_NAME"});
    if (s.conds.size() != 2) wrongArguments(r, s);
    n.module = cut(text(r, argument(s, "MODULE_NAME", 0)), 64);
    n.action = cut(text(r, argument(s, "ACTION_NAME", 1)), 64);
  } else if (proc == "SET_ACTION") {
    onlyArguments(r, s, {"ACTION_NAME"});
    if (s.conds.size() != 1) wrongArguments(r, s);
    n.action = cut(text(r, argument(s, "ACTION_NAME", 0)), 64);
  } else if (proc == "SET_CLIENT_INFO") {
    onlyArguments(r, s, {"CLIENT_INFO"});
    if (s.conds.size() != 1) wrongArguments(r, s);
    n.clientInfo = cut(text(r, argument(s, "CLIENT_INFO", 0)), 64);
  } else if (proc == "READ_MODULE") {
    onlyArguments(r, s, {"MODULE_NAME", "ACTION_NAME"});
    out("MODULE_NAME", 0, n.module);
    out("ACTION_NAME", 1, n.action);
  } else if (proc == "READ_CLIENT_INFO") {
    onlyArguments(r, s, {"CLIENT_INFO"});
    out("CLIENT_INFO", 0, n.clientInfo);
  } else {
    OraError e(6550);
    e.text = "ORA-06550: " + where(r.u.src, r.u.toks[s.at].pos) + ":\nPLS-00302: component '" + proc + "' must be declared";
    throw e;
  }
}

// One name of a comma-separated list at s[k..]: a.b.c@link of plain or quoted names; where it
// ends, or npos when there is none.
size_t listName(const std::string& s, size_t k) {
  auto blank = [&](size_t x) { return x < s.size() && (s[x] == ' ' || s[x] == '\t' || s[x] == '\n'); };
  while (blank(k)) ++k;
  for (;;) {
    if (k >= s.size()) return std::string::npos;
    if (s[k] == '"') {
      size_t q = s.find('"', k + 1);
      if (q == std::string::npos || q == k + 1) return std::string::npos;
      k = q + 1;
    } else {
      unsigned char c = static_cast<unsigned char>(s[k]);
      if (!std::isalpha(c) && c < 0x80) return std::string::npos;
      while (k < s.size() && (std::isalnum(static_cast<unsigned char>(s[k])) || s[k] == '_' || s[k] == '$' ||
                              s[k] == '#' || static_cast<unsigned char>(s[k]) >= 0x80))
        ++k;
    }
    while (blank(k)) ++k;
    if (k < s.size() && (s[k] == '.' || s[k] == '@')) {
      ++k;
      while (blank(k)) ++k;
      continue;
    }
    return k;
  }
}

Var& tableArgument(Run& r, const Stmt& s, const Range& a) {
  Var* v = r.targetVar(a);
  if (!v || !v->isColl()) wrongArguments(r, s);
  return *v;
}

// COMMA_TO_TABLE(list, tablen OUT, tab OUT): the names in tab(1 .. tablen), then a NULL one.
void commaToTable(Run& r, const Stmt& s) {
  onlyArguments(r, s, {"LIST", "TABLEN", "TAB"});
  const Range *l = argument(s, "LIST", 0), *n = argument(s, "TABLEN", 1), *t = argument(s, "TAB", 2);
  if (!l || !n || !t) wrongArguments(r, s);
  std::string list = text(r, l);
  Var& tab = tableArgument(r, s, *t);
  std::vector<std::string> names;
  for (size_t k = 0;;) {
    size_t e = listName(list, k);
    if (e == std::string::npos || (e < list.size() && list[e] != ',')) {
      OraError err(20001);
      err.text = "ORA-20001: comma-separated list invalid near " + list.substr(k, 30);
      throw err;
    }
    names.push_back(list.substr(k, e - k));
    if (e == list.size()) break;
    k = e + 1;
  }
  auto coll = std::make_unique<Coll>();
  long long at = 1;
  for (const std::string& name : names) {
    Var el = tab.def->proto;
    el.v = Val{Val::Str, name, false};
    coll->num.emplace(at++, std::move(el));
  }
  coll->num.emplace(at, tab.def->proto);
  coll->size = at;
  tab.coll.p = std::move(coll);
  r.assign(*n, Val{Val::Num, std::to_string(names.size()), false});
}

// TABLE_TO_COMMA(tab, tablen OUT, list OUT): tab(1), tab(2), ... up to the first NULL, joined by commas.
void tableToComma(Run& r, const Stmt& s) {
  onlyArguments(r, s, {"TAB", "TABLEN", "LIST"});
  const Range *t = argument(s, "TAB", 0), *n = argument(s, "TABLEN", 1), *l = argument(s, "LIST", 2);
  if (!l || !n || !t) wrongArguments(r, s);
  Var& tab = tableArgument(r, s, *t);
  std::string list;
  long long count = 0;
  if (tab.coll.p)
    for (long long k = 1;; ++k) {
      auto it = tab.coll.p->num.find(k);
      if (it == tab.coll.p->num.end() || it->second.v.k == Val::Null) break;
      list += (count++ ? "," : "") + it->second.v.s;
    }
  r.assign(*n, Val{Val::Num, std::to_string(count), false});
  r.assign(*l, list.empty() ? Val{} : Val{Val::Str, list, false});
}

// DBMS_SESSION.SET_NLS(param, value): ALTER SESSION SET param = value, value written as SQL
// (a quoted text or a single word or number).
void setNls(Run& r, const Stmt& s) {
  onlyArguments(r, s, {"PARAM", "VALUE"});
  const Range *p = argument(s, "PARAM", 0), *v = argument(s, "VALUE", 1);
  if (!p || !v || s.conds.size() != 2) wrongArguments(r, s);
  std::string param = text(r, p), value = text(r, v);
  auto word = [](const std::string& w) {
    return !w.empty() && std::all_of(w.begin(), w.end(), [](char c) {
      return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == '-';
    });
  };
  bool quotedText = value.size() >= 2 && value.front() == '\'' && value.back() == '\'';
  for (size_t k = 1; quotedText && k + 1 < value.size(); ++k)
    if (value[k] == '\'') {
      if (k + 2 < value.size() && value[k + 1] == '\'') ++k;
      else quotedText = false;
    }
  if (!word(param) || std::isdigit(static_cast<unsigned char>(param[0]))) throw OraError(2248);
  if (!quotedText && !word(value)) throw OraError(922);
  Catalog cat(r.ses.db, r.ses.user, &r.ses);
  Translation t = translate("ALTER SESSION SET " + param + " = " + value, cat);
  if (t.kind != StmtKind::Session) throw OraError(2248);
  for (auto& a : t.actions) a(r.ses);
}

// DBMS_METADATA.SET_TRANSFORM_PARAM(SESSION_TRANSFORM, name, TRUE | FALSE [, object_type]).
void transformParam(Run& r, const Stmt& s) {
  onlyArguments(r, s, {"TRANSFORM_HANDLE", "NAME", "VALUE", "OBJECT_TYPE", "FLAGS"});
  const Range *h = argument(s, "TRANSFORM_HANDLE", 0), *n = argument(s, "NAME", 1), *v = argument(s, "VALUE", 2);
  if (!h || !n || !v) wrongArguments(r, s);
  Val handle = r.eval(*h);
  if (handle.k != Val::Num || std::strtod(handle.s.c_str(), nullptr) != -1)
    throw OraError(31600, "invalid input value " + (handle.k == Val::Null ? std::string("NULL") : handle.s) +
                              " for parameter HANDLE in function SET_TRANSFORM_PARAM");
  Val value = r.eval(*v);
  std::string written = value.k == Val::Bool ? (value.b ? "TRUE" : "FALSE") : value.k == Val::Null ? "NULL" : value.s;
  auto upper = [](std::string x) {
    for (auto& c : x) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return x;
  };
  setTransformParam(r.ses.db, upper(text(r, argument(s, "OBJECT_TYPE", 3))), upper(text(r, n)),
                    value.k == Val::Bool ? written : "'" + written + "'");
}

} // namespace

std::shared_ptr<const TypeDef> suppliedTypeDef(const std::string& pkg, const std::string& name) {
  if (pkg != "DBMS_UTILITY") return nullptr;
  int size = name == "UNCL_ARRAY" ? 227 : name == "LNAME_ARRAY" ? 4000 : name == "NAME_ARRAY" ? 30 : 0;
  if (!size) return nullptr;
  auto def = std::make_shared<TypeDef>();
  def->kind = TypeDecl::Assoc;
  def->name = name;
  def->proto.type.kind = TypeSpec::Text;
  def->proto.type.size = size;
  return def;
}

bool sessionPackageCall(Run& r, const Stmt& s) {
  const std::string& n = s.name;
  if (n == "DBMS_RANDOM.SEED" || n == "DBMS_RANDOM.INITIALIZE") {
    onlyArguments(r, s, {"VAL"});
    if (s.conds.size() != 1) wrongArguments(r, s);
    Val v = r.eval(s.conds[0]);
    if (v.k == Val::Bool) wrongArguments(r, s);
    // a number and its text seed alike
    fn::seedRandom(v.k == Val::Null ? std::string() : v.s);
  } else if (n == "DBMS_RANDOM.TERMINATE") {
    if (!s.conds.empty()) wrongArguments(r, s);
  } else if (n == "DBMS_UTILITY.COMMA_TO_TABLE") {
    commaToTable(r, s);
  } else if (n == "DBMS_UTILITY.TABLE_TO_COMMA") {
    tableToComma(r, s);
  } else if (n == "DBMS_SESSION.SET_IDENTIFIER" || n == "DBMS_SESSION.CLEAR_IDENTIFIER") {
    bool set = n.ends_with("SET_IDENTIFIER");
    onlyArguments(r, s, {"CLIENT_ID"});
    if (s.conds.size() != (set ? 1u : 0u)) wrongArguments(r, s);
    // V$SESSION keeps 64 bytes of it
    sessionNls(r.ses.db).clientIdentifier = set ? cut(text(r, argument(s, "CLIENT_ID", 0)), 64) : std::string();
  } else if (n == "DBMS_SESSION.SET_NLS") {
    setNls(r, s);
  } else if (n == "DBMS_METADATA.SET_TRANSFORM_PARAM") {
    transformParam(r, s);
  } else if (n.rfind("DBMS_APPLICATION_INFO.", 0) == 0) {
    applicationInfo(r, s, n.substr(22));
  } else {
    return false;
  }
  return true;
}

bool sessionPackageValue(Run& r, size_t k, size_t end, std::string& sql, size_t& used) {
  const auto& t = r.u.toks;
  if (k + 2 < end && t[k].text == "DBMS_METADATA" && t[k + 2].text == "SESSION_TRANSFORM") {
    sql = "-1";
    used = 3;
    return true;
  }
  if (k + 2 < end && t[k].text == "DBMS_CRYPTO") {
    static const char* const hashes[] = {"HASH_MD4", "HASH_MD5", "HASH_SH1", "HASH_SH256", "HASH_SH384", "HASH_SH512"};
    for (int h = 0; h < 6; ++h)
      if (t[k + 2].text == hashes[h]) {
        sql = std::to_string(h + 1);
        used = 3;
        return true;
      }
  }
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
