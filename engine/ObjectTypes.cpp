// Object types: their declarations read from the stored CREATE TYPE text, and the text form of
// their values.
#include "ObjectTypes.h"

#include "CType.h"
#include "FunctionUtil.h"
#include "Number.h"
#include "OraError.h"
#include "PlsqlImpl.h"

#include <deque>
#include <map>
#include <mutex>
#include <sqlite3.h>

namespace ora {

namespace {

std::mutex namesLock;
std::deque<std::string>& typeNames() {
  static std::deque<std::string> names(1); // a deque: a name once given stays where it is
  return names;
}

} // namespace

TypeName& TypeName::operator=(const std::string& name) {
  if (name.empty()) {
    id_ = 0;
    return *this;
  }
  std::lock_guard lock(namesLock);
  auto& names = typeNames();
  for (size_t k = 1; k < names.size(); ++k)
    if (names[k] == name) {
      id_ = static_cast<int>(k);
      return *this;
    }
  names.push_back(name);
  id_ = static_cast<int>(names.size() - 1);
  return *this;
}

const std::string& TypeName::str() const {
  std::lock_guard lock(namesLock);
  return typeNames()[static_cast<size_t>(id_)];
}

namespace {

std::string storedSource(sqlite3* db, const std::string& name, const char* type) {
  sqlite3_stmt* st = nullptr;
  std::string src;
  if (sqlite3_prepare_v2(db, "SELECT TEXT FROM \"TESSEL$SOURCE\" WHERE NAME = ?1 AND TYPE = ?2", -1, &st, nullptr) ==
      SQLITE_OK) {
    sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 2, type, -1, SQLITE_STATIC);
    if (sqlite3_step(st) == SQLITE_ROW)
      if (const unsigned char* t = sqlite3_column_text(st, 0)) src = reinterpret_cast<const char*>(t);
  }
  sqlite3_finalize(st);
  return src;
}

ColType attrType(const std::string& text, std::string& objectName) {
  std::string u = text;
  for (auto& c : u) c = static_cast<char>(upperC(static_cast<unsigned char>(c)));
  if (u.rfind("VARCHAR(", 0) == 0) u = "VARCHAR2" + u.substr(7);
  if (u == "INTEGER" || u == "INT" || u == "SMALLINT") u = "NUMBER(38,0)";
  if (u == "FLOAT" || u == "REAL" || u == "DOUBLE PRECISION") u = "NUMBER";
  if (u.rfind("NUMBER", 0) == 0 && u.find("(*") != std::string::npos) u = "NUMBER";
  ColType t = parseDeclType(u);
  if (t.code == 0 && u.find('(') == std::string::npos) {
    objectName = u;
    t.code = kVarchar2;
    t.size = 4000;
    t.object = u;
  }
  return t;
}

using pl::T;
using pl::Tok;

std::string slice(const std::string& src, const std::vector<Tok>& t, size_t b, size_t e) {
  if (b >= e) return {};
  return src.substr(t[b].pos, t[e - 1].end - t[b].pos);
}

std::shared_ptr<ObjType> parseObjectSource(sqlite3* db, const std::string& src, int depth) {
  auto t = pl::tokens(src);
  auto is = [&](size_t k, const char* w) { return k < t.size() && t[k].kind != T::Str && t[k].text == w; };
  size_t k = 0;
  if (!is(k, "TYPE") || t.size() < 6) return nullptr;
  k = 2;
  if (is(k, ".")) k += 2;
  auto ty = std::make_shared<ObjType>();
  ty->name = t[k - 1].text;
  while (is(k, "FORCE") || is(k, "AUTHID")) k += is(k, "AUTHID") ? 2 : 1;
  if (is(k, "UNDER")) {
    if (k + 1 >= t.size()) return nullptr;
    ty->super = t[k + 1].text;
    k += 2;
    if (depth > 20) return nullptr;
    std::string superSrc = storedSource(db, ty->super, "TYPE");
    auto sup = superSrc.empty() ? nullptr : parseObjectSource(db, superSrc, depth + 1);
    if (!sup) return nullptr;
    ty->attrs = sup->attrs;
    ty->mapMethod = sup->mapMethod;
    ty->orderMethod = sup->orderMethod;
  } else {
    if (!(is(k, "AS") || is(k, "IS")) || !is(k + 1, "OBJECT")) return nullptr;
    k += 2;
  }
  if (!is(k, "(")) return nullptr;
  size_t close = pl::closing(t, k);
  size_t b = k + 1;
  for (size_t j = b; j <= close; ++j) {
    if (j < close && !(t[j].kind == T::Op && (t[j].text == "," ) && [&] {
          int d = 0;
          for (size_t x = k + 1; x < j; ++x) {
            if (t[x].kind == T::Op && t[x].text == "(") ++d;
            if (t[x].kind == T::Op && t[x].text == ")") --d;
          }
          return d == 0;
        }()))
      continue;
    size_t e = j;
    if (b < e) {
      static const char* const starts[] = {"MEMBER", "STATIC", "CONSTRUCTOR", "MAP", "ORDER", "OVERRIDING",
                                           "FINAL", "NOT", "INSTANTIABLE"};
      bool method = false;
      for (const char* s : starts) method = method || is(b, s);
      if (is(b, "PRAGMA")) {
      } else if (method) {
        ObjMethod m;
        m.heading = slice(src, t, b, e);
        size_t x = b;
        for (; x < e && !is(x, "FUNCTION") && !is(x, "PROCEDURE"); ++x) {
          if (is(x, "STATIC")) m.member = false;
          if (is(x, "CONSTRUCTOR")) m.constructor = true, m.member = false;
          if (is(x, "MAP")) m.map = true;
          if (is(x, "ORDER")) m.order = true;
          if (is(x, "NOT") && is(x + 1, "INSTANTIABLE")) m.instantiable = false;
        }
        m.function = is(x, "FUNCTION");
        if (x + 1 >= e || !(m.function || is(x, "PROCEDURE")) || t[x + 1].kind != T::Word) return nullptr;
        m.name = t[x + 1].text;
        if (m.map) ty->mapMethod = m.name;
        if (m.order) ty->orderMethod = m.name;
        ty->methods.push_back(std::move(m));
      } else {
        ObjAttr a;
        a.name = t[b].text;
        a.typeText = slice(src, t, b + 1, e);
        std::string obj;
        a.type = attrType(a.typeText, obj);
        if (a.type.code == 0) return nullptr;
        ty->attrs.push_back(std::move(a));
        ++ty->ownAttrs;
      }
    }
    b = j + 1;
  }
  for (size_t x = close + 1; x < t.size(); ++x) {
    if (is(x, "NOT") && is(x + 1, "FINAL")) ty->final = false;
    if (is(x, "NOT") && is(x + 1, "INSTANTIABLE")) ty->instantiable = false;
  }
  return ty;
}

} // namespace

std::shared_ptr<const ObjType> objectType(sqlite3* db, const std::string& name) {
  if (name.empty()) return nullptr;
  std::string src = storedSource(db, name, "TYPE");
  if (src.empty()) return nullptr;
  // parsed once per text (and its supertypes' texts as they were then)
  thread_local std::map<std::string, std::pair<std::string, std::shared_ptr<const ObjType>>> seen;
  auto it = seen.find(name);
  if (it != seen.end() && it->second.first == src) {
    const auto& ty = it->second.second;
    bool current = true;
    for (auto s = ty ? ty->super : std::string(); current && !s.empty();) {
      auto sup = seen.find(s);
      current = sup != seen.end() && sup->second.first == storedSource(db, s, "TYPE");
      s = current && sup->second.second ? sup->second.second->super : std::string();
    }
    if (current) return ty;
  }
  if (seen.size() > 256) seen.clear();
  std::shared_ptr<const ObjType> ty;
  try {
    ty = parseObjectSource(db, src, 0);
  } catch (const OraError&) {
    ty = nullptr;
  }
  seen[name] = {src, ty};
  if (ty && !ty->super.empty()) objectType(db, ty->super); // remembered for the check above
  return ty;
}

bool objectIsA(sqlite3* db, const std::string& sub, const std::string& type) {
  std::string s = sub;
  for (int n = 0; n < 32 && !s.empty(); ++n) {
    if (s == type) return true;
    auto ty = objectType(db, s);
    s = ty ? ty->super : std::string();
  }
  return false;
}

std::string methodOwner(sqlite3* db, const std::string& type, const std::string& method) {
  std::string s = type;
  for (int n = 0; n < 32 && !s.empty(); ++n) {
    auto ty = objectType(db, s);
    if (!ty) return {};
    if (ty->method(method)) return s;
    s = ty->super;
  }
  return {};
}

std::string encodeObject(const ObjValue& v) {
  std::string out(1, kObjMark);
  out += v.type;
  out += '(';
  for (size_t k = 0; k < v.attrs.size(); ++k) {
    if (k) out += ',';
    const ObjAttrVal& a = v.attrs[k];
    switch (a.k) {
    case 'N': out += '#' + a.s; break;
    case 'D': out += '@' + a.s; break;
    case 'O': out += a.s; break;
    case 'S':
      out += '\'';
      for (char c : a.s) {
        if (c == '\'') out += '\'';
        out += c;
      }
      out += '\'';
      break;
    default: out += '~';
    }
  }
  out += ')';
  return out;
}

namespace {

bool decodeAt(std::string_view s, size_t& i, ObjValue& out) {
  if (i >= s.size() || s[i] != kObjMark) return false;
  size_t open = s.find('(', i);
  if (open == std::string_view::npos) return false;
  out.type = std::string(s.substr(i + 1, open - i - 1));
  out.attrs.clear();
  i = open + 1;
  if (i < s.size() && s[i] == ')') {
    ++i;
    return true;
  }
  for (;;) {
    if (i >= s.size()) return false;
    ObjAttrVal a;
    char c = s[i];
    if (c == '~') {
      ++i;
    } else if (c == '#' || c == '@') {
      size_t e = s.find_first_of(",)", i + 1);
      if (e == std::string_view::npos) return false;
      a.k = c == '#' ? 'N' : 'D';
      a.s = std::string(s.substr(i + 1, e - i - 1));
      i = e;
    } else if (c == '\'') {
      a.k = 'S';
      for (++i;; ++i) {
        if (i >= s.size()) return false;
        if (s[i] == '\'') {
          if (i + 1 < s.size() && s[i + 1] == '\'') {
            a.s += '\'';
            ++i;
            continue;
          }
          ++i;
          break;
        }
        a.s += s[i];
      }
    } else if (c == kObjMark) {
      size_t from = i;
      ObjValue inner;
      if (!decodeAt(s, i, inner)) return false;
      a.k = 'O';
      a.s = std::string(s.substr(from, i - from));
    } else {
      return false;
    }
    out.attrs.push_back(std::move(a));
    if (i >= s.size()) return false;
    if (s[i] == ')') {
      ++i;
      return true;
    }
    if (s[i] != ',') return false;
    ++i;
  }
}

void display(sqlite3* db, std::string_view s, std::string& out) {
  if (isRefText(s)) {
    out += refDisplay(s);
    return;
  }
  ObjValue v;
  size_t i = 0;
  if (!decodeAt(s, i, v)) {
    out += s;
    return;
  }
  out += v.type + "(";
  for (size_t k = 0; k < v.attrs.size(); ++k) {
    if (k) out += ", ";
    const ObjAttrVal& a = v.attrs[k];
    switch (a.k) {
    case 'N': out += a.s; break;
    case 'O': display(db, a.s, out); break;
    case 'D': {
      DateTime d;
      out += '\'';
      if (parseStoredDate(reinterpret_cast<const unsigned char*>(a.s.data()), static_cast<int>(a.s.size()), d))
        out += sessionDateText(db, d);
      else
        out += a.s;
      out += '\'';
      break;
    }
    case 'S': out += "'" + a.s + "'"; break;
    default: out += "NULL";
    }
  }
  out += ")";
}

} // namespace

bool decodeObject(std::string_view s, ObjValue& out) {
  size_t i = 0;
  return decodeAt(s, i, out) && i == s.size();
}

std::string objectDisplay(sqlite3* db, std::string_view s) {
  std::string out;
  display(db, s, out);
  return out;
}

ObjAttrVal attrFromValue(sqlite3* db, char kind, const std::string& text, const ObjAttr& a) {
  ObjAttrVal out;
  if (kind == 0 || (kind != 'N' && text.empty())) return out;
  if (!a.type.object.empty()) {
    ObjValue inner;
    if (!isObjectText(text) || !decodeObject(text, inner) || !objectIsA(db, inner.type, a.type.object))
      throw OraError(932, "expected " + a.type.object.str() + " got " +
                              (isObjectText(text) ? inner.type : kind == 'N' ? std::string("NUMBER") : std::string("CHAR")));
    out.k = 'O';
    out.s = text;
    return out;
  }
  if (isObjectText(text)) throw OraError(932, "expected " + a.typeText + " got " + text.substr(1, text.find('(') - 1));
  switch (a.type.code) {
  case kNumber: {
    Num n;
    if (!parseNum(text, n)) throw OraError(1722);
    if (a.type.hasScale && a.type.scale >= 0 && a.type.scale != kFloatScale) n = roundNum(n, a.type.scale);
    out.k = 'N';
    out.s = numText(n);
    return out;
  }
  case kDate:
  case kTimestamp:
  case kTimestampTz: {
    DateTime d;
    if (kind == 'N') throw OraError(932, "expected DATE got NUMBER");
    if (!parseStoredDate(reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()), d))
      if (int err = parseDate(text, d)) throw OraError(err);
    out.k = 'D';
    out.s = storedDate(d);
    return out;
  }
  default:
    out.k = 'S';
    out.s = text;
    // a value longer than the attribute holds
    if (a.type.size > 0 && a.type.chars == 0 && static_cast<int>(out.s.size()) > a.type.size)
      throw OraError(6502, "character string buffer too small");
    if (a.type.code == kChar && static_cast<int>(out.s.size()) < a.type.size)
      out.s.append(static_cast<size_t>(a.type.size) - out.s.size(), ' ');
    return out;
  }
}

ObjAttrVal attrFromSql(sqlite3* db, sqlite3_value* v, const ObjAttr& a) {
  int ty = sqlite3_value_type(v);
  if (ty == SQLITE_NULL) return {};
  if (ty == SQLITE_INTEGER || ty == SQLITE_FLOAT) return attrFromValue(db, 'N', numberText(v), a);
  std::string text(reinterpret_cast<const char*>(sqlite3_value_text(v)), static_cast<size_t>(sqlite3_value_bytes(v)));
  return attrFromValue(db, 'S', text, a);
}

} // namespace ora
