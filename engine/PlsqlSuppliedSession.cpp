// Supplied packages' procedures about the session: DBMS_RANDOM's seeding, DBMS_APPLICATION_INFO,
// DBMS_SESSION's identifier, NLS settings and contexts, DBMS_OUTPUT's reading of its buffer,
// DBMS_METADATA's transform parameters, DBMS_UTILITY's lists of names and the call stack
// (FORMAT_CALL_STACK, UTL_CALL_STACK).
#include "FunctionUtil.h"
#include "PlsqlRun.h"
#include "PlsqlSuppliedMore.h"
#include "Session.h"
#include "SuppliedPackages.h"
#include "DbmsMetadata.h"
#include "Contexts.h"

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

// DBMS_FLASHBACK_ARCHIVE.ENABLE_AT_VALID_TIME(level, query_time): the session's queries see the
// rows of tables with valid-time periods that hold now (CURRENT), at query_time (ASOF) or all of
// them (ALL), as DISABLE_ASOF_VALID_TIME does too.
void validTime(Run& r, const Stmt& s, bool disable) {
  std::string at;
  if (disable) {
    if (!s.conds.empty()) wrongArguments(r, s);
  } else {
    onlyArguments(r, s, {"LEVEL", "QUERY_TIME"});
    const Range* level = argument(s, "LEVEL", 0);
    if (!level || s.conds.size() > 2) wrongArguments(r, s);
    std::string l = text(r, level);
    for (auto& c : l) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (l == "CURRENT") {
      at = "SYSTIMESTAMP";
    } else if (l == "ASOF") {
      const Range* when = argument(s, "QUERY_TIME", 1);
      Val v = when ? r.eval(*when) : Val{};
      if (v.k == Val::Null || v.k == Val::Bool || v.k == Val::Num) throw OraError(55603);
      at = "CAST(" + literal(v) + " AS TIMESTAMP WITH TIME ZONE)";
    } else if (l != "ALL") {
      throw OraError(55603);
    }
  }
  Nls& n = sessionNls(r.ses.db);
  if (n.validTimeAt == at) return;
  n.validTimeAt = at;
  // statements shared so far were translated without it, or with another
  ++r.ses.ddlCount;
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

// DBMS_SESSION.SET_CONTEXT(namespace, attribute, value) and CLEAR_CONTEXT(namespace, client_id,
// attribute): only from within the package the context trusts (ORA-01031 otherwise).
void setContext(Run& r, const Stmt& s, bool clear) {
  if (clear) onlyArguments(r, s, {"NAMESPACE", "CLIENT_ID", "ATTRIBUTE"});
  else onlyArguments(r, s, {"NAMESPACE", "ATTRIBUTE", "VALUE", "USERNAME", "CLIENT_ID"});
  const Range* n = argument(s, "NAMESPACE", 0);
  const Range* a = argument(s, "ATTRIBUTE", clear ? 2 : 1);
  const Range* v = clear ? nullptr : argument(s, "VALUE", 2);
  if (!n || (!clear && (!a || !v))) wrongArguments(r, s);
  auto upper = [](std::string x) {
    for (auto& c : x) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return x;
  };
  std::string ns = upper(text(r, n));
  std::string trusted = contextPackage(r.ses.folder, ns);
  if (trusted.empty() || !r.u.bodyFrom || trusted != r.ses.user + "." + r.u.name) throw OraError(1031);
  auto& values = sessionNls(r.ses.db).contexts[ns];
  if (clear) {
    if (a) values.erase(upper(text(r, a)));
    else values.clear();
    return;
  }
  std::string value = text(r, v);
  if (value.size() > 4000) throw OraError(6502);
  if (value.empty()) values.erase(upper(text(r, a)));
  else values[upper(text(r, a))] = value;
}

// DBMS_OUTPUT.GET_LINE(line OUT, status OUT) and GET_LINES(lines OUT, numlines IN OUT): the
// buffered lines, oldest first, taken out of the buffer; status 1 when there is none.
void getLines(Run& r, const Stmt& s, bool many) {
  if (many) onlyArguments(r, s, {"LINES", "NUMLINES"});
  else onlyArguments(r, s, {"LINE", "STATUS"});
  const Range *a = argument(s, many ? "LINES" : "LINE", 0), *b = argument(s, many ? "NUMLINES" : "STATUS", 1);
  if (!a || !b || s.conds.size() != 2) wrongArguments(r, s);
  auto& lines = r.ses.outputLines;
  if (!many) {
    r.assign(*a, lines.empty() || lines.front().empty() ? Val{} : Val{Val::Str, lines.front(), false});
    r.assign(*b, Val{Val::Num, lines.empty() ? "1" : "0", false});
    if (!lines.empty()) lines.erase(lines.begin());
    return;
  }
  Var& tab = tableArgument(r, s, *a);
  Val want = r.eval(*b);
  if (want.k != Val::Num) wrongArguments(r, s);
  double asked = std::strtod(want.s.c_str(), nullptr);
  size_t n = asked <= 0 ? 0 : std::min(lines.size(), static_cast<size_t>(asked));
  auto coll = std::make_unique<Coll>();
  for (size_t k = 0; k < n; ++k) {
    Var el = tab.def->proto;
    if (!lines[k].empty()) el.v = Val{Val::Str, lines[k], false};
    coll->num.emplace(static_cast<long long>(k + 1), std::move(el));
  }
  coll->size = static_cast<long long>(n);
  tab.coll.p = std::move(coll);
  lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(n));
  r.assign(*b, Val{Val::Num, std::to_string(n), false});
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
  setTransformParam(r.ses.db, upper(text(r, argument(s, "OBJECT_TYPE", 3))), upper(text(r, n)), written);
}

// One frame of the call stack: a unit's run, the line of its statement running and the
// subprogram that statement is in (null: the unit's own block).
struct Frame {
  const Run* run;
  size_t line;
  const Sub* sub;
};

size_t lineOf(const Run& run, size_t at) {
  size_t line = 1;
  const size_t pos = run.u.toks[std::min(at, run.u.toks.size() - 1)].pos;
  for (size_t p = run.u.bodyFrom && pos >= run.u.bodyFrom ? run.u.bodyFrom : 0; p < pos && p < run.u.src.size(); ++p)
    if (run.u.src[p] == '\n') ++line;
  return line;
}

// Innermost first.
std::vector<Frame> frames(const Run& r) {
  std::vector<Frame> out;
  for (const Run* run = &r; run; run = run->caller) {
    out.push_back({run, lineOf(*run, run->lastAt), run->current});
    for (auto at = run->callerAts.rbegin(); at != run->callerAts.rend(); ++at)
      out.push_back({run, lineOf(*run, at->first), at->second});
  }
  return out;
}

// UTL_CALL_STACK.DYNAMIC_DEPTH, UNIT_LINE(n), OWNER(n) and CONCATENATE_SUBPROGRAM(SUBPROGRAM(n)).
bool callStackValue(Run& r, size_t k, size_t end, std::string& sql, size_t& used) {
  const auto& t = r.u.toks;
  auto op = [&](size_t i, const char* o) { return i < end && t[i].kind == T::Op && t[i].text == o; };
  auto closing = [&](size_t open) {
    size_t close = open + 1;
    for (int depth = 1; close < end; ++close) {
      if (op(close, "(")) ++depth;
      else if (op(close, ")") && --depth == 0) break;
    }
    return close;
  };
  const std::string& f = t[k + 2].text;
  std::vector<Frame> all = frames(r);
  if (f == "DYNAMIC_DEPTH") {
    used = op(k + 3, "(") && op(k + 4, ")") ? 5 : 3;
    sql = std::to_string(all.size());
    return true;
  }
  // the depth argument: the innermost frame is 1
  size_t from = k + 4;
  bool nested = f == "CONCATENATE_SUBPROGRAM";
  if (nested) {
    if (!op(k + 3, "(") || k + 6 >= end || t[k + 4].text != "UTL_CALL_STACK" || !op(k + 5, ".") ||
        t[k + 6].text != "SUBPROGRAM" || !op(k + 7, "("))
      return false;
    from = k + 8;
  } else if ((f != "UNIT_LINE" && f != "OWNER") || !op(k + 3, "(")) {
    return false;
  }
  size_t close = closing(from - 1);
  if (close >= end || (nested && !op(close + 1, ")"))) return false;
  Val depth = r.eval(Range{from, close});
  if (depth.k != Val::Num) throw OraError(64610);
  double n = std::strtod(depth.s.c_str(), nullptr);
  if (n < 1 || n > static_cast<double>(all.size())) throw OraError(64610);
  const Frame& fr = all[static_cast<size_t>(n) - 1];
  used = (nested ? close + 2 : close + 1) - k;
  Val v;
  if (f == "UNIT_LINE") {
    v = Val{Val::Num, std::to_string(fr.line), false};
  } else if (f == "OWNER") {
    if (!fr.run->u.name.empty()) v = Val{Val::Str, fr.run->ses.user, false};
  } else {
    // the unit, then the subprograms down to the one running
    std::string name = fr.run->u.name.empty() ? "__anonymous_block" : fr.run->u.name;
    if (fr.sub && fr.sub->name != fr.run->u.name) name += "." + fr.sub->name;
    v = Val{Val::Str, name, false};
  }
  sql = literal(v);
  return true;
}

} // namespace

std::shared_ptr<const TypeDef> suppliedTypeDef(const std::string& pkg, const std::string& name) {
  int size = 0;
  if (pkg == "DBMS_UTILITY") size = name == "UNCL_ARRAY" ? 227 : name == "LNAME_ARRAY" ? 4000 : name == "NAME_ARRAY" ? 30 : 0;
  else if (pkg == "DBMS_OUTPUT" && name == "CHARARR") size = 32767;
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
  } else if (n == "DBMS_SESSION.SET_CONTEXT" || n == "DBMS_SESSION.CLEAR_CONTEXT") {
    setContext(r, s, n.ends_with("CLEAR_CONTEXT"));
  } else if (n == "DBMS_OUTPUT.GET_LINE" || n == "DBMS_OUTPUT.GET_LINES") {
    getLines(r, s, n.ends_with("LINES"));
  } else if (n == "DBMS_SESSION.SET_NLS") {
    setNls(r, s);
  } else if (n == "DBMS_METADATA.SET_TRANSFORM_PARAM") {
    transformParam(r, s);
  } else if (n == "DBMS_FLASHBACK_ARCHIVE.ENABLE_AT_VALID_TIME" || n == "DBMS_FLASHBACK_ARCHIVE.DISABLE_ASOF_VALID_TIME") {
    validTime(r, s, n.ends_with("DISABLE_ASOF_VALID_TIME"));
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
  if (k + 2 < end && t[k].text == "UTL_CALL_STACK") return callStackValue(r, k, end, sql, used);
  if (k + 2 >= end || t[k].text != "DBMS_UTILITY" || t[k + 2].text != "FORMAT_CALL_STACK") return false;
  used = 3;
  if (k + 4 < end && t[k + 3].kind == T::Op && t[k + 3].text == "(" && t[k + 4].kind == T::Op && t[k + 4].text == ")")
    used = 5;
  std::string stack = "----- PL/SQL Call Stack -----\n  object      line  object\n  handle    number  name\n";
  for (const Frame& f : frames(r)) {
    std::string kind = f.run->u.bodyFrom ? "package body" : f.sub && f.sub->function ? "function" : "procedure";
    std::string name = f.run->u.name.empty() ? "anonymous block" : kind + " " + f.run->ses.user + "." + f.run->u.name;
    char text[160];
    std::snprintf(text, sizeof text, "0x%-14llx%6zu  %s\n",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(&f.run->u) & 0xffffffffffULL), f.line,
                  name.c_str());
    stack += text;
  }
  sql = literal(Val{Val::Str, stack, false});
  return true;
}

} // namespace ora::pl
