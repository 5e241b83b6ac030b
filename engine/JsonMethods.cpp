// The path language's item methods (.number(), .upper(), .date()...), its aggregate methods
// (.count(), .sum(), .avg(), .minNumber()...) and its string predicates (starts with, has
// substring, like, like_regex, eq_regex); JSON_EQUAL's comparison.
#include "JsonDoc.h"

#include "FunctionUtil.h"
#include "Number.h"
#include "OraError.h"
#include "RegexpFunctions.h"

#include <regex>

namespace ora::json {

namespace {

Value numberValue(const Num& n) {
  Value r;
  r.kind = Value::Number;
  r.text = numText(n);
  if (r.text.starts_with(".")) r.text.insert(0, "0");
  else if (r.text.starts_with("-.")) r.text.insert(1, "0");
  return r;
}

Value textValue(std::string s) {
  Value r;
  r.kind = Value::String;
  r.text = std::move(s);
  return r;
}

bool digits(const std::string& s, size_t b, size_t n) {
  if (s.size() < b + n) return false;
  for (size_t i = b; i < b + n; ++i)
    if (s[i] < '0' || s[i] > '9') return false;
  return true;
}

// An ISO 8601 date or date-time: YYYY-MM-DD, then THH:MI:SS[.fraction][zone] or the same after a space.
bool isoDateTime(const std::string& s, bool& withTime) {
  if (!digits(s, 0, 4) || s.size() < 10 || s[4] != '-' || !digits(s, 5, 2) || s[7] != '-' || !digits(s, 8, 2))
    return false;
  int month = std::stoi(s.substr(5, 2)), day = std::stoi(s.substr(8, 2));
  if (month < 1 || month > 12 || day < 1 || day > 31) return false;
  withTime = s.size() > 10;
  if (!withTime) return true;
  return (s[10] == 'T' || s[10] == ' ') && digits(s, 11, 2) && s.size() >= 19 && s[13] == ':' && digits(s, 14, 2) &&
         s[16] == ':' && digits(s, 17, 2);
}

// SQL LIKE with % and _, over whole characters.
bool likeMatch(const char* s, const char* p) {
  for (; *p; ++p) {
    if (*p == '%') {
      while (p[1] == '%') ++p;
      if (!p[1]) return true;
      for (const char* t = s; *t; ++t)
        if (likeMatch(t, p + 1)) return true;
      return false;
    }
    if (!*s) return false;
    if (*p == '_') {
      ++s;
      while ((static_cast<unsigned char>(*s) & 0xC0) == 0x80) ++s;
      continue;
    }
    if (*p != *s) return false;
    ++s;
  }
  return !*s;
}

} // namespace

bool aggregateMethod(const std::string& m) {
  return m == "count" || m == "sum" || m == "avg" || m == "minNumber" || m == "maxNumber" || m == "minString" ||
         m == "maxString";
}

bool itemMethod(const std::string& m, const Value& v, Value& out) {
  Num n;
  auto numberOf = [&](const Value& x) { return (x.kind == Value::Number || x.kind == Value::String) && parseNum(x.text, n); };
  if (m == "size") {
    out = numberValue(numFromInt(v.kind == Value::Array ? static_cast<int64_t>(v.items.size()) : 1));
    return true;
  }
  if (m == "type") {
    static const char* const names[] = {"null", "boolean", "boolean", "number", "string", "array", "object"};
    out = textValue(names[v.kind]);
    return true;
  }
  if (!v.scalar()) return false;
  if (m == "string" || m == "stringOnly") {
    if (v.kind == Value::Null || (m == "stringOnly" && v.kind != Value::String)) return false;
    out = textValue(v.kind == Value::String || v.kind == Value::Number ? v.text : v.kind == Value::True ? "true" : "false");
    return true;
  }
  if (m == "number" || m == "numberOnly" || m == "double" || m == "float" || m == "abs" || m == "ceiling" ||
      m == "floor") {
    if ((m == "numberOnly" && v.kind != Value::Number) || !numberOf(v)) return false;
    if (m == "abs" && n.negative()) n = neg(n);
    if (m == "ceiling" || m == "floor") {
      Num r = roundNum(n, 0);
      if (m == "floor" && compare(r, n) > 0) r = sub(r, numFromInt(1));
      if (m == "ceiling" && compare(r, n) < 0) r = add(r, numFromInt(1));
      n = r;
    }
    out = numberValue(n);
    return true;
  }
  if (m == "length") {
    if (v.kind != Value::String) return false;
    int64_t chars = 0;
    for (unsigned char c : v.text) chars += (c & 0xC0) != 0x80;
    out = numberValue(numFromInt(chars));
    return true;
  }
  if (m == "upper" || m == "lower") {
    if (v.kind != Value::String) return false;
    std::string s = v.text;
    for (auto& c : s)
      if (m == "upper" ? (c >= 'a' && c <= 'z') : (c >= 'A' && c <= 'Z')) c = static_cast<char>(c ^ 0x20);
    out = textValue(std::move(s));
    return true;
  }
  if (m == "boolean" || m == "booleanOnly") {
    if (v.kind == Value::True || v.kind == Value::False) return out = v, true;
    if (m == "boolean" && v.kind == Value::String && (v.text == "true" || v.text == "false")) {
      out = Value();
      out.kind = v.text == "true" ? Value::True : Value::False;
      return true;
    }
    return false;
  }
  if (m == "date" || m == "timestamp") {
    // an ISO 8601 string; date() keeps the day
    bool withTime = false;
    if (v.kind != Value::String || !isoDateTime(v.text, withTime)) return false;
    std::string s = v.text;
    if (m == "date") s.resize(10);
    else if (!withTime) s += "T00:00:00";
    if (s.size() > 10) s[10] = 'T';
    out = textValue(std::move(s));
    return true;
  }
  return false;
}

bool aggregate(const std::string& m, const std::vector<Value>& items, Value& out) {
  if (m == "count") {
    out = numberValue(numFromInt(static_cast<int64_t>(items.size())));
    return true;
  }
  const bool strings = m == "minString" || m == "maxString";
  Num total = numFromInt(0), best;
  const Value* bestText = nullptr;
  int64_t count = 0;
  for (const Value& v : items) {
    if (strings) {
      Value s;
      if (!itemMethod("string", v, s)) continue;
      if (!bestText || (m == "minString" ? s.text < bestText->text : s.text > bestText->text)) {
        out = std::move(s);
        bestText = &out;
      }
      continue;
    }
    Num n;
    if (v.kind != Value::Number || !parseNum(v.text, n)) continue; // numbers only
    if (count == 0 || (m == "minNumber" && compare(n, best) < 0) || (m == "maxNumber" && compare(n, best) > 0)) best = n;
    total = add(total, n);
    ++count;
  }
  if (strings) return bestText != nullptr;
  if (count == 0) return false;
  if (m == "sum") out = numberValue(total);
  else if (m == "avg") out = numberValue(div(total, numFromInt(count)));
  else out = numberValue(best);
  return true;
}

bool textPredicate(const std::string& op, const Value& a, const Value& b) {
  if (a.kind != Value::String || b.kind != Value::String) return false;
  if (op == "starts with") return a.text.starts_with(b.text);
  if (op == "has substring") return a.text.find(b.text) != std::string::npos;
  if (op == "like") return likeMatch(a.text.c_str(), b.text.c_str());
  if (a.text.size() > 32767 || b.text.size() > 32767) throw OraError(12733);
  bool found = false;
  auto run = [&] {
    try {
      std::regex re(b.text, op.ends_with("/i") ? std::regex::ECMAScript | std::regex::icase : std::regex::ECMAScript);
      found = op.starts_with("eq_regex") ? std::regex_match(a.text, re) : std::regex_search(a.text, re);
    } catch (const std::regex_error&) {
      throw OraError(12726);
    }
  };
  if (a.text.size() > 2000) onRegexStack(run);
  else run();
  return found;
}

bool equal(const Value& a, const Value& b) {
  if (a.kind != b.kind) return false;
  switch (a.kind) {
  case Value::Number: {
    Num x, y;
    return parseNum(a.text, x) && parseNum(b.text, y) ? compare(x, y) == 0 : a.text == b.text;
  }
  case Value::String:
    return a.text == b.text;
  case Value::Array:
    if (a.items.size() != b.items.size()) return false;
    for (size_t i = 0; i < a.items.size(); ++i)
      if (!equal(a.items[i], b.items[i])) return false;
    return true;
  case Value::Object:
    if (a.keys.size() != b.keys.size()) return false;
    for (size_t i = 0; i < a.keys.size(); ++i) {
      size_t j = 0;
      while (j < b.keys.size() && b.keys[j] != a.keys[i]) ++j;
      if (j == b.keys.size() || !equal(a.values[i], b.values[j])) return false;
    }
    return true;
  default:
    return true;
  }
}

} // namespace ora::json
