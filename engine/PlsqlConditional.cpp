// Conditional compilation: $IF ... $THEN ... $ELSIF ... $ELSE ... $END, $ERROR ... $END and the
// inquiry directives ($$PLSQL_LINE, $$PLSQL_UNIT, ...), applied to a unit's text before it is
// read. What is left out becomes blanks, so lines and columns stay where they were.
#include "PlsqlImpl.h"

#include "CType.h"
#include "OraError.h"
#include "SqlLexer.h"

#include <cstdlib>
#include <vector>

namespace ora::pl {

namespace {

// A static expression's value.
struct CVal {
  enum K { Null, Bool, Num, Str } k = Null;
  bool b = false;
  double n = 0;
  std::string s;
};

// $$PLSQL_UNIT_TYPE: the kind of stored unit the text makes, ANONYMOUS BLOCK for a block.
std::string unitType(const std::string& src, const std::string& unit) {
  if (unit.empty()) return "ANONYMOUS BLOCK";
  std::vector<Tok> t;
  try {
    t = tokens(src.substr(0, src.find('$')));
  } catch (const OraError&) {
    return {};
  }
  size_t k = 0;
  while (k < t.size() && t[k].kind == T::Word &&
         (t[k].text == "CREATE" || t[k].text == "OR" || t[k].text == "REPLACE" || t[k].text == "EDITIONABLE" ||
          t[k].text == "NONEDITIONABLE"))
    ++k;
  if (k >= t.size() || t[k].kind != T::Word) return {};
  std::string type = t[k].text;
  if ((type == "PACKAGE" || type == "TYPE") && k + 1 < t.size() && t[k + 1].kind == T::Word && t[k + 1].text == "BODY")
    type += " BODY";
  return type;
}

// The DBMS_DB_VERSION constants of this release.
bool versionConstant(const std::string& name, CVal& out) {
  if (name == "VERSION" || name == "RELEASE") {
    out.k = CVal::Num;
    out.n = name == "VERSION" ? kDbVersion : kDbRelease;
    return true;
  }
  // VER_LE_v[_r]: this release is at most v.r
  if (name.rfind("VER_LE_", 0) != 0) return false;
  const char* p = name.c_str() + 7;
  char* end = nullptr;
  long v = std::strtol(p, &end, 10);
  if (end == p) return false;
  long r = -1;
  if (*end == '_') {
    const char* q = end + 1;
    r = std::strtol(q, &end, 10);
    if (end == q) return false;
  }
  if (*end) return false;
  out.k = CVal::Bool;
  out.b = kDbVersion < v || (kDbVersion == v && (r < 0 || kDbRelease <= r));
  return true;
}

struct Expr {
  const std::vector<Tok>& t;
  size_t i = 0;
  const std::string& unit;
  const std::string& src;
  int line(size_t pos) const {
    int l = 1;
    for (size_t k = 0; k < pos && k < src.size(); ++k) l += src[k] == '\n';
    return l;
  }
  [[noreturn]] void fail() const {
    const Tok& x = t[std::min(i, t.size() - 1)];
    OraError e(6550);
    e.text = "ORA-06550: " + where(src, x.pos) + ":\nPLS-00174: a static boolean expression must be used";
    throw e;
  }
  bool is(const char* w) const { return (t[i].kind == T::Word || t[i].kind == T::Op) && t[i].text == w; }

  CVal primary() {
    CVal v;
    const Tok& x = t[i];
    if (is("(")) {
      ++i;
      v = orExpr();
      if (!is(")")) fail();
      ++i;
      return v;
    }
    if (x.kind == T::Num) {
      ++i;
      v.k = CVal::Num;
      v.n = std::strtod(x.text.c_str(), nullptr);
      return v;
    }
    if (x.kind == T::Str) {
      ++i;
      if (!x.text.empty()) v.k = CVal::Str, v.s = x.text;
      return v;
    }
    if (x.kind == T::Word && (x.text == "TRUE" || x.text == "FALSE")) {
      ++i;
      v.k = CVal::Bool;
      v.b = x.text == "TRUE";
      return v;
    }
    if (x.kind == T::Word && x.text == "NULL") {
      ++i;
      return v;
    }
    if (x.kind == T::Word && x.text == "DBMS_DB_VERSION" && i + 2 < t.size() && t[i + 1].text == "." &&
        versionConstant(t[i + 2].text, v)) {
      i += 3;
      return v;
    }
    // an inquiry directive, written as $$ before its name
    if (is("$") && i + 2 < t.size() && t[i + 1].text == "$" && t[i + 2].kind == T::Word) {
      const std::string& name = t[i + 2].text;
      if (name == "PLSQL_LINE") v.k = CVal::Num, v.n = line(x.pos);
      else if (name == "PLSQL_UNIT" && !unit.empty()) v.k = CVal::Str, v.s = unit;
      else if (name == "PLSQL_UNIT_TYPE") v.k = CVal::Str, v.s = unitType(src, unit);
      i += 3;
      return v;
    }
    fail();
  }
  // a static character expression's ||
  CVal concat() {
    CVal a = primary();
    while (is("||")) {
      ++i;
      CVal b = primary();
      auto text = [](const CVal& v) {
        if (v.k == CVal::Num) {
          std::string s = std::to_string(v.n);
          s.erase(s.find_last_not_of('0') + 1);
          if (!s.empty() && s.back() == '.') s.pop_back();
          return s;
        }
        if (v.k == CVal::Bool) return std::string(); // no text for a BOOLEAN
        return v.s;
      };
      if (a.k == CVal::Bool || b.k == CVal::Bool) fail();
      CVal r;
      r.s = text(a) + text(b);
      if (!r.s.empty()) r.k = CVal::Str;
      a = r;
    }
    return a;
  }
  CVal comparison() {
    CVal a = concat();
    if (is("IS")) {
      ++i;
      bool negate = is("NOT");
      if (negate) ++i;
      if (!is("NULL")) fail();
      ++i;
      CVal r;
      r.k = CVal::Bool;
      r.b = (a.k == CVal::Null) != negate;
      return r;
    }
    static const char* const ops[] = {"=", "<>", "!=", "^=", "~=", "<", ">", "<=", ">="};
    for (const char* o : ops)
      if (is(o)) {
        ++i;
        CVal b = concat(), r;
        if (a.k == CVal::Null || b.k == CVal::Null) return r;
        if (a.k != b.k) fail();
        int c = a.k == CVal::Num ? (a.n < b.n ? -1 : a.n > b.n) : a.k == CVal::Str ? a.s.compare(b.s) : int(a.b) - int(b.b);
        std::string w = o;
        r.k = CVal::Bool;
        r.b = w == "=" ? c == 0 : w == "<" ? c < 0 : w == ">" ? c > 0 : w == "<=" ? c <= 0 : w == ">=" ? c >= 0 : c != 0;
        return r;
      }
    return a;
  }
  CVal notExpr() {
    if (!is("NOT")) return comparison();
    ++i;
    CVal v = notExpr();
    if (v.k == CVal::Bool) v.b = !v.b;
    else if (v.k != CVal::Null) fail();
    return v;
  }
  // three-valued AND and OR
  CVal logical(bool isAnd) {
    CVal a = isAnd ? notExpr() : logical(true);
    while (is(isAnd ? "AND" : "OR")) {
      ++i;
      CVal b = isAnd ? notExpr() : logical(true);
      if ((a.k != CVal::Bool && a.k != CVal::Null) || (b.k != CVal::Bool && b.k != CVal::Null)) fail();
      CVal r;
      if (a.k == CVal::Bool && a.b != isAnd) r = a;
      else if (b.k == CVal::Bool && b.b != isAnd) r = b;
      else if (a.k == CVal::Null || b.k == CVal::Null) r = CVal{};
      else r = a;
      a = r;
    }
    return a;
  }
  CVal orExpr() { return logical(false); }
};

} // namespace

bool dbVersionConstant(const std::string& name, std::string& sql) {
  CVal v;
  if (!versionConstant(name, v)) return false;
  sql = v.k == CVal::Num ? std::to_string(static_cast<int>(v.n)) : v.b ? "(1=1)" : "(1=0)";
  return true;
}

namespace {

void blank(std::string& s, size_t b, size_t e) {
  for (size_t k = b; k < e && k < s.size(); ++k)
    if (s[k] != '\n') s[k] = ' ';
}

} // namespace

std::string conditionalText(const std::string& src, const std::string& unit) {
  if (src.find('$') == std::string::npos) return src;
  std::string out = src;
  struct Frame {
    bool taken = false, anyTaken = false, outerActive = true;
  };
  std::vector<Frame> frames;
  auto active = [&] { return frames.empty() || (frames.back().outerActive && frames.back().taken); };
  size_t n = src.size();
  size_t inactiveFrom = std::string::npos; // where the text left out began
  auto directive = [&](size_t at) {
    // the word after $ (or $$)
    size_t b = at + 1;
    if (b < n && src[b] == '$') ++b;
    size_t e = b;
    while (e < n && (ora::alnumC(static_cast<unsigned char>(src[e])) || src[e] == '_' || src[e] == '#' || src[e] == '$')) ++e;
    std::string w = src.substr(b, e - b);
    for (auto& c : w) c = static_cast<char>(ora::upperC(static_cast<unsigned char>(c)));
    return std::make_pair(w, e);
  };
  // a static condition from `from` up to $THEN; returns where the directive text ends
  auto condition = [&](size_t from, bool& value) {
    size_t then = from;
    for (;;) {
      then = src.find('$', then);
      if (then == std::string::npos) {
        OraError e(6550);
        e.text = "ORA-06550: " + where(src, from) + ":\nPLS-00103: Encountered the symbol \"end-of-file\"";
        throw e;
      }
      if (directive(then).first == "THEN") break;
      if (then + 1 < n && src[then + 1] == '$') then += 2;
      else ++then;
    }
    std::string text(from, ' ');
    text += src.substr(from, then - from);
    auto toks = tokens(text);
    Expr x{toks, 0, unit, src};
    CVal v = x.orExpr();
    if (toks[x.i].kind != T::End || (v.k != CVal::Bool && v.k != CVal::Null)) x.fail();
    value = v.k == CVal::Bool && v.b;
    return directive(then).second;
  };
  for (size_t i = 0; i < n;) {
    char c = src[i];
    if (c == '\'' || ((c == 'q' || c == 'Q' || c == 'n' || c == 'N') && i + 1 < n && src[i + 1] == '\'') ||
        ((c == 'n' || c == 'N') && i + 2 < n && (src[i + 1] == 'q' || src[i + 1] == 'Q') && src[i + 2] == '\'')) {
      if (i > 0 && (ora::alnumC(static_cast<unsigned char>(src[i - 1])) || src[i - 1] == '_') && c != '\'') { ++i; continue; }
      std::string lit;
      size_t k = i;
      if (sql::readLiteral(src, k, lit)) { i = k; continue; }
      ++i;
      continue;
    }
    if (src.compare(i, 2, "--") == 0) {
      size_t e = src.find('\n', i);
      i = e == std::string::npos ? n : e;
      continue;
    }
    if (src.compare(i, 2, "/*") == 0) {
      size_t e = src.find("*/", i + 2);
      i = e == std::string::npos ? n : e + 2;
      continue;
    }
    if (c == '"') {
      size_t e = src.find('"', i + 1);
      i = e == std::string::npos ? n : e + 1;
      continue;
    }
    if (ora::alnumC(static_cast<unsigned char>(c)) || c == '_' || c == '#') {
      // a name may hold $ (SYS$X): not a directive
      while (i < n && (ora::alnumC(static_cast<unsigned char>(src[i])) || src[i] == '_' || src[i] == '#' || src[i] == '$')) ++i;
      continue;
    }
    if (c != '$') { ++i; continue; }
    auto [w, end] = directive(i);
    bool inquiry = i + 1 < n && src[i + 1] == '$';
    bool was = active();
    if (inquiry) {
      if (was) {
        // its value in the text's place
        std::string value = "NULL";
        if (w == "PLSQL_LINE") {
          int line = 1;
          for (size_t k = 0; k < i; ++k) line += src[k] == '\n';
          value = std::to_string(line);
        } else if (w == "PLSQL_UNIT" && !unit.empty()) {
          value = "'" + unit + "'";
        } else if (w == "PLSQL_UNIT_TYPE") {
          value = "'" + unitType(src, unit) + "'";
        }
        if (value.size() < end - i) value.resize(end - i, ' ');
        out.replace(i + (out.size() - n), end - i, value);
      }
      i = end;
      continue;
    }
    size_t shift = out.size() - n; // what replaced directives have added so far
    auto blankFrom = [&](size_t b, size_t e) { blank(out, b + shift, e + shift); };
    if (inactiveFrom != std::string::npos) blankFrom(inactiveFrom, i);
    if (w == "IF") {
      Frame f;
      f.outerActive = was;
      bool v = false;
      size_t stop = condition(end, v);
      if (!was) v = false;
      f.taken = v;
      f.anyTaken = v;
      frames.push_back(f);
      blankFrom(i, stop);
      i = stop;
    } else if (w == "ELSIF" || w == "ELSE" || w == "END") {
      if (frames.empty()) {
        OraError e(6550);
        e.text = "ORA-06550: " + where(src, i) + ":\nPLS-00103: Encountered the symbol \"$" + w + "\"";
        throw e;
      }
      Frame& f = frames.back();
      size_t stop = end;
      if (w == "ELSIF") {
        bool v = false;
        stop = condition(end, v);
        f.taken = f.outerActive && !f.anyTaken && v;
      } else if (w == "ELSE") {
        f.taken = f.outerActive && !f.anyTaken;
      }
      f.anyTaken = f.anyTaken || f.taken;
      if (w == "END") frames.pop_back();
      blankFrom(i, stop);
      i = stop;
    } else if (w == "ERROR") {
      size_t stop = src.find('$', end);
      while (stop != std::string::npos && directive(stop).first != "END") stop = src.find('$', stop + 1);
      if (stop == std::string::npos) stop = n;
      if (was) {
        std::string text(end, ' ');
        text += src.substr(end, stop - end);
        auto toks = tokens(text);
        Expr x{toks, 0, unit, src};
        CVal v = x.concat();
        std::string msg = v.k == CVal::Str ? v.s : v.k == CVal::Num ? std::to_string(static_cast<long long>(v.n)) : "";
        OraError e(6550);
        e.text = "ORA-06550: " + where(src, i) + ":\nPLS-00179: $ERROR: " + msg;
        throw e;
      }
      size_t after = stop < n ? directive(stop).second : n;
      blankFrom(i, after);
      i = after;
    } else {
      ++i; // a lone $: the parser reports it
      continue;
    }
    inactiveFrom = active() ? std::string::npos : i;
  }
  if (!frames.empty()) {
    OraError e(6550);
    e.text = "ORA-06550: " + where(src, n) + ":\nPLS-00103: Encountered the symbol \"end-of-file\"";
    throw e;
  }
  return out;
}

} // namespace ora::pl
