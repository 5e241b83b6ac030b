// JSON text in and out, and the evaluation of path expressions over it.
#include "JsonDoc.h"

#include "FunctionUtil.h"
#include "Number.h"
#include "OraError.h"

#include <algorithm>
#include <cstring>
#include <set>

namespace ora::json {

namespace {

// Deeper nesting than this is not read: the reader and writer recurse once per level.
constexpr int kMaxDepth = 1000;

bool space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool digit(char c) { return c >= '0' && c <= '9'; }
bool nameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || digit(c) || c == '_' || c == '$' ||
         static_cast<unsigned char>(c) >= 0x80;
}

class Reader {
public:
  Reader(std::string_view s, bool strict, bool unique) : s_(s), strict_(strict), unique_(unique) {}

  bool document(Value& out) {
    if (!value(out, 0)) return false;
    skip();
    return i_ == s_.size();
  }

private:
  std::string_view s_;
  size_t i_ = 0;
  bool strict_, unique_;

  void skip() {
    while (i_ < s_.size() && space(s_[i_])) ++i_;
  }
  bool word(const char* w) {
    size_t n = std::strlen(w);
    if (s_.size() - i_ < n) return false;
    for (size_t k = 0; k < n; ++k) {
      char c = s_[i_ + k];
      if (strict_ ? c != w[k] : (c | 0x20) != w[k]) return false;
    }
    if (i_ + n < s_.size() && nameChar(s_[i_ + n])) return false;
    i_ += n;
    return true;
  }

  bool hex4(uint32_t& c) {
    if (s_.size() - i_ < 4) return false;
    c = 0;
    for (int k = 0; k < 4; ++k) {
      char h = s_[i_++];
      c <<= 4;
      if (digit(h)) c |= static_cast<uint32_t>(h - '0');
      else if (h >= 'a' && h <= 'f') c |= static_cast<uint32_t>(h - 'a' + 10);
      else if (h >= 'A' && h <= 'F') c |= static_cast<uint32_t>(h - 'A' + 10);
      else return false;
    }
    return true;
  }

  bool string(std::string& out) {
    char q = s_[i_++];
    for (;;) {
      if (i_ >= s_.size()) return false;
      char c = s_[i_++];
      if (c == q) return true;
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (i_ >= s_.size()) return false;
      char e = s_[i_++];
      switch (e) {
      case '"': case '\\': case '/': out += e; break;
      case '\'': if (strict_) return false; out += e; break;
      case 'b': out += '\b'; break;
      case 'f': out += '\f'; break;
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case 'u': {
        uint32_t c1;
        if (!hex4(c1)) return false;
        if (c1 >= 0xD800 && c1 < 0xDC00 && s_.substr(i_, 2) == "\\u") {
          size_t back = i_;
          i_ += 2;
          uint32_t c2;
          if (hex4(c2) && c2 >= 0xDC00 && c2 < 0xE000) c1 = 0x10000 + ((c1 - 0xD800) << 10) + (c2 - 0xDC00);
          else i_ = back;
        }
        fn::appendChar(out, c1);
        break;
      }
      default:
        return false;
      }
    }
  }

  // A numeral; a lax one is written back in JSON's own syntax.
  bool number(Value& out) {
    size_t b = i_;
    std::string t;
    if (s_[i_] == '-' || (!strict_ && s_[i_] == '+')) {
      if (s_[i_] == '-') t += '-';
      ++i_;
    }
    size_t ib = i_;
    while (i_ < s_.size() && digit(s_[i_])) ++i_;
    size_t intDigits = i_ - ib;
    if (strict_ && (intDigits == 0 || (intDigits > 1 && s_[ib] == '0'))) return false;
    std::string whole(s_.substr(ib, intDigits));
    while (whole.size() > 1 && whole[0] == '0') whole.erase(0, 1);
    t += whole.empty() ? "0" : whole;
    if (i_ < s_.size() && s_[i_] == '.') {
      ++i_;
      size_t fb = i_;
      while (i_ < s_.size() && digit(s_[i_])) ++i_;
      if (i_ == fb && (strict_ || intDigits == 0)) return false;
      if (i_ > fb) t += "." + std::string(s_.substr(fb, i_ - fb));
    } else if (intDigits == 0) {
      return false;
    }
    if (i_ < s_.size() && (s_[i_] == 'e' || s_[i_] == 'E')) {
      t += s_[i_++];
      if (i_ < s_.size() && (s_[i_] == '+' || s_[i_] == '-')) t += s_[i_++];
      size_t eb = i_;
      while (i_ < s_.size() && digit(s_[i_])) ++i_;
      if (i_ == eb) return false;
      t += s_.substr(eb, i_ - eb);
    }
    if (i_ < s_.size() && nameChar(s_[i_])) return false;
    out.kind = Value::Number;
    out.text = strict_ ? std::string(s_.substr(b, i_ - b)) : t;
    return true;
  }

  bool value(Value& out, int depth) {
    if (depth > kMaxDepth) return false;
    skip();
    if (i_ >= s_.size()) return false;
    char c = s_[i_];
    if (c == '{') {
      ++i_;
      out.kind = Value::Object;
      skip();
      if (i_ < s_.size() && s_[i_] == '}') return ++i_, true;
      std::set<std::string> seen;
      for (;;) {
        skip();
        if (i_ >= s_.size()) return false;
        std::string key;
        if (s_[i_] == '"' || (!strict_ && s_[i_] == '\'')) {
          if (!string(key)) return false;
        } else if (!strict_ && nameChar(s_[i_]) && !digit(s_[i_])) {
          while (i_ < s_.size() && nameChar(s_[i_])) key += s_[i_++];
        } else {
          return false;
        }
        if (unique_ && !seen.insert(key).second) return false;
        skip();
        if (i_ >= s_.size() || s_[i_] != ':') return false;
        ++i_;
        out.keys.push_back(std::move(key));
        out.values.emplace_back();
        if (!value(out.values.back(), depth + 1)) return false;
        skip();
        if (i_ < s_.size() && s_[i_] == ',') { ++i_; continue; }
        if (i_ < s_.size() && s_[i_] == '}') return ++i_, true;
        return false;
      }
    }
    if (c == '[') {
      ++i_;
      out.kind = Value::Array;
      skip();
      if (i_ < s_.size() && s_[i_] == ']') return ++i_, true;
      for (;;) {
        out.items.emplace_back();
        if (!value(out.items.back(), depth + 1)) return false;
        skip();
        if (i_ < s_.size() && s_[i_] == ',') { ++i_; continue; }
        if (i_ < s_.size() && s_[i_] == ']') return ++i_, true;
        return false;
      }
    }
    if (c == '"' || (!strict_ && c == '\'')) {
      out.kind = Value::String;
      return string(out.text);
    }
    if (c == '-' || c == '+' || c == '.' || digit(c)) return number(out);
    if (word("true")) { out.kind = Value::True; return true; }
    if (word("false")) { out.kind = Value::False; return true; }
    if (word("null")) { out.kind = Value::Null; return true; }
    return false;
  }
};

void write(const Value& v, std::string& out, bool pretty, int indent) {
  auto line = [&](int level) {
    if (!pretty) return;
    out += '\n';
    out.append(static_cast<size_t>(level) * 2, ' ');
  };
  switch (v.kind) {
  case Value::Null: out += "null"; break;
  case Value::False: out += "false"; break;
  case Value::True: out += "true"; break;
  case Value::Number: out += v.text; break;
  case Value::String: out += quote(v.text); break;
  case Value::Array:
    out += '[';
    for (size_t k = 0; k < v.items.size(); ++k) {
      if (k) out += ',';
      line(indent + 1);
      write(v.items[k], out, pretty, indent + 1);
    }
    if (!v.items.empty()) line(indent);
    out += ']';
    break;
  case Value::Object:
    out += '{';
    for (size_t k = 0; k < v.keys.size(); ++k) {
      if (k) out += ',';
      line(indent + 1);
      out += quote(v.keys[k]);
      out += pretty ? " : " : ":";
      write(v.values[k], out, pretty, indent + 1);
    }
    if (!v.keys.empty()) line(indent);
    out += '}';
    break;
  }
}

[[noreturn]] void badPath(std::string_view text) { throw OraError(40597, std::string(text)); }

class PathReader {
public:
  explicit PathReader(std::string_view s) : s_(s) {}

  Path read() {
    Path p;
    skip();
    if (keyword("strict")) p.strict = true;
    else keyword("lax");
    skip();
    if (i_ >= s_.size() || s_[i_] != '$') badPath(s_);
    ++i_;
    steps(p.steps, false);
    return p;
  }

private:
  std::string_view s_;
  size_t i_ = 0;
  int depth_ = 0;

  void skip() {
    while (i_ < s_.size() && space(s_[i_])) ++i_;
  }
  void steps(std::vector<Step>& out, bool nested) {
    for (;;) {
      skip();
      if (i_ >= s_.size()) break;
      if (nested && s_[i_] != '.' && s_[i_] != '[' && s_[i_] != '?') break; // the end of an @ path
      if (!out.empty() && out.back().kind == Step::Method) badPath(s_); // a method ends the path
      Step st;
      if (s_.substr(i_, 2) == "..") {
        i_ += 2;
        st.kind = Step::Descendant;
        st.name = field();
      } else if (s_[i_] == '.') {
        ++i_;
        skip();
        if (i_ < s_.size() && s_[i_] == '*') {
          ++i_;
          st.kind = Step::AnyKey;
        } else {
          bool quoted = i_ < s_.size() && s_[i_] == '"';
          st.name = field();
          skip();
          if (!quoted && i_ < s_.size() && s_[i_] == '(') {
            ++i_;
            skip();
            if (i_ >= s_.size() || s_[i_] != ')') badPath(s_);
            ++i_;
            static const std::set<std::string> methods = {
                "abs",      "ceiling",   "floor",       "number",    "string",    "size",      "type",
                "length",   "lower",     "upper",       "boolean",   "count",     "sum",       "avg",
                "minNumber", "maxNumber", "minString",  "maxString", "date",      "timestamp", "double",
                "float",    "numberOnly", "stringOnly", "booleanOnly"};
            if (!methods.count(st.name)) badPath(s_);
            st.kind = Step::Method;
          }
        }
      } else if (s_[i_] == '[') {
        ++i_;
        st.kind = Step::Elements;
        skip();
        if (i_ < s_.size() && s_[i_] == '*') {
          ++i_;
        } else {
          for (;;) {
            Step::Range r;
            index(r.from, r.fromLast);
            r.to = r.from, r.toLast = r.fromLast;
            skip();
            if (keyword("to")) index(r.to, r.toLast);
            st.ranges.push_back(r);
            skip();
            if (i_ < s_.size() && s_[i_] == ',') { ++i_; continue; }
            break;
          }
        }
        skip();
        if (i_ >= s_.size() || s_[i_] != ']') badPath(s_);
        ++i_;
      } else if (s_[i_] == '?') {
        ++i_;
        skip();
        if (i_ >= s_.size() || s_[i_] != '(') badPath(s_);
        ++i_;
        st.kind = Step::Where;
        st.filter = std::make_shared<const Filter>(disjunction());
        skip();
        if (i_ >= s_.size() || s_[i_] != ')') badPath(s_);
        ++i_;
      } else {
        badPath(s_);
      }
      out.push_back(std::move(st));
    }
  }

  bool op(const char* o) {
    skip();
    size_t n = std::strlen(o);
    if (s_.substr(i_, n) != o) return false;
    i_ += n;
    return true;
  }
  Filter disjunction() {
    if (++depth_ > kMaxDepth) badPath(s_);
    Filter f = conjunction();
    while (op("||")) {
      if (f.kind != Filter::Or) {
        Filter g;
        g.kind = Filter::Or;
        g.kids.push_back(std::move(f));
        f = std::move(g);
      }
      f.kids.push_back(conjunction());
    }
    --depth_;
    return f;
  }
  Filter conjunction() {
    Filter f = unary();
    while (op("&&")) {
      if (f.kind != Filter::And) {
        Filter g;
        g.kind = Filter::And;
        g.kids.push_back(std::move(f));
        f = std::move(g);
      }
      f.kids.push_back(unary());
    }
    return f;
  }
  Filter unary() {
    skip();
    Filter f;
    if (op("!")) {
      f.kind = Filter::Not;
      if (!op("(")) badPath(s_);
      f.kids.push_back(disjunction());
      if (!op(")")) badPath(s_);
      return f;
    }
    if (op("(")) {
      f = disjunction();
      if (!op(")")) badPath(s_);
      return f;
    }
    if (keyword("exists")) {
      f.kind = Filter::Exists;
      if (!op("(") || !op("@")) badPath(s_);
      ++depth_;
      steps(f.left, true);
      --depth_;
      if (!op(")")) badPath(s_);
      return f;
    }
    f.kind = Filter::Compare;
    operand(f.left, f.leftLiteral, f.leftValue, &f.leftVar);
    skip();
    static const char* const ops[] = {"==", "!=", "<>", "<=", ">=", "<", ">"};
    for (const char* o : ops)
      if (op(o)) {
        f.op = std::strcmp(o, "<>") == 0 ? "!=" : o;
        break;
      }
    if (f.op.empty()) {
      // the string predicates
      skip();
      if (keyword("starts")) {
        skip();
        if (!keyword("with")) badPath(s_);
        f.op = "starts with";
      } else if (keyword("has")) {
        skip();
        if (!keyword("substring")) badPath(s_);
        f.op = "has substring";
      } else {
        for (const char* w : {"like_regex", "eq_regex", "like"})
          if (f.op.empty() && keyword(w)) f.op = w;
      }
    }
    if (f.op.empty()) badPath(s_);
    operand(f.right, f.rightLiteral, f.rightValue, &f.rightVar);
    skip();
    if (f.op.ends_with("_regex") && keyword("flag")) {
      // flag "i": the pattern ignores case
      Value flags;
      bool literal = false;
      std::vector<Step> none;
      operand(none, literal, flags);
      if (!literal || flags.kind != Value::String || flags.text.find_first_not_of("i") != std::string::npos) badPath(s_);
      if (!flags.text.empty()) f.op += "/i";
    }
    return f;
  }
  // @ and its steps, a $variable or a JSON literal
  void operand(std::vector<Step>& path, bool& literal, Value& v, std::string* var = nullptr) {
    skip();
    literal = !op("@");
    if (!literal) {
      steps(path, true);
      return;
    }
    if (i_ + 1 < s_.size() && s_[i_] == '$' && nameChar(s_[i_ + 1])) {
      ++i_;
      std::string name = field();
      if (var) *var = name;
      return;
    }
    size_t b = i_;
    if (i_ < s_.size() && s_[i_] == '"') {
      ++i_;
      while (i_ < s_.size() && s_[i_] != '"') i_ += s_[i_] == '\\' ? 2 : 1;
      ++i_;
    } else {
      while (i_ < s_.size() && (nameChar(s_[i_]) || s_[i_] == '.' || s_[i_] == '-' || s_[i_] == '+')) ++i_;
    }
    if (i_ > s_.size() || i_ == b || !parse(s_.substr(b, i_ - b), v, true) || !v.scalar()) badPath(s_);
  }

  bool keyword(const char* w) {
    size_t n = std::strlen(w);
    if (s_.substr(i_, n) != w || (i_ + n < s_.size() && nameChar(s_[i_ + n]))) return false;
    i_ += n;
    return true;
  }
  std::string field() {
    skip();
    std::string name;
    if (i_ < s_.size() && s_[i_] == '"') {
      size_t close = i_ + 1;
      while (close < s_.size() && s_[close] != '"') close += s_[close] == '\\' ? 2 : 1;
      if (close >= s_.size()) badPath(s_);
      Value v;
      if (!parse(s_.substr(i_, close + 1 - i_), v, true) || v.kind != Value::String) badPath(s_);
      i_ = close + 1;
      return v.text;
    }
    if (i_ >= s_.size() || !nameChar(s_[i_]) || digit(s_[i_])) badPath(s_);
    while (i_ < s_.size() && nameChar(s_[i_])) name += s_[i_++];
    return name;
  }
  void index(int64_t& n, bool& last) {
    skip();
    n = 0;
    last = keyword("last");
    skip();
    if (last) {
      if (i_ < s_.size() && s_[i_] == '-') {
        ++i_;
        skip();
      } else {
        return;
      }
    }
    if (i_ >= s_.size() || !digit(s_[i_])) badPath(s_);
    while (i_ < s_.size() && digit(s_[i_])) {
      if (n > 100000000) badPath(s_);
      n = n * 10 + (s_[i_++] - '0');
    }
  }
};

void descendants(const Value& v, const std::string& name, std::vector<Value>& out) {
  if (v.kind == Value::Object) {
    for (size_t k = 0; k < v.keys.size(); ++k) {
      if (v.keys[k] == name) out.push_back(v.values[k]);
      descendants(v.values[k], name, out);
    }
  } else if (v.kind == Value::Array) {
    for (const Value& m : v.items) descendants(m, name, out);
  }
}

bool test(const Filter& f, const Value& item, const Path& ctx);

// The values an operand of a comparison stands for; in lax mode an array stands for its elements.
std::vector<Value> operandValues(const std::vector<Step>& steps, bool literal, const Value& v, const std::string& var,
                                 const Value& item, const Path& ctx) {
  if (!var.empty()) {
    for (const auto& [name, value] : ctx.vars)
      if (name == var) return {value};
    return {};
  }
  if (literal) return {v};
  bool miss = false;
  std::vector<Value> found = evaluate(Path{ctx.strict, steps, ctx.vars}, item, miss), out;
  for (Value& x : found) {
    if (x.kind == Value::Array && !ctx.strict) out.insert(out.end(), x.items.begin(), x.items.end());
    else out.push_back(std::move(x));
  }
  return out;
}

bool compareValues(const Value& a, const Value& b, const std::string& op) {
  if (op.size() > 2) return textPredicate(op, a, b);
  int c;
  if (a.kind == Value::Number && b.kind == Value::Number) {
    Num x, y;
    if (!parseNum(a.text, x) || !parseNum(b.text, y)) return false;
    c = compare(x, y);
  } else if (a.kind == Value::String && b.kind == Value::String) {
    c = a.text.compare(b.text);
  } else if (a.scalar() && b.scalar() && (a.kind == b.kind || ((a.kind == Value::True || a.kind == Value::False) &&
                                                             (b.kind == Value::True || b.kind == Value::False)))) {
    // true, false and null are only equal or not
    if (op != "==" && op != "!=") return false;
    c = a.kind == b.kind ? 0 : 1;
  } else {
    return false; // values of different types do not compare
  }
  if (op == "==") return c == 0;
  if (op == "!=") return c != 0;
  if (op == "<") return c < 0;
  if (op == "<=") return c <= 0;
  if (op == ">") return c > 0;
  return c >= 0;
}

bool test(const Filter& f, const Value& item, const Path& ctx) {
  switch (f.kind) {
  case Filter::Or:
    return std::any_of(f.kids.begin(), f.kids.end(), [&](const Filter& k) { return test(k, item, ctx); });
  case Filter::And:
    return std::all_of(f.kids.begin(), f.kids.end(), [&](const Filter& k) { return test(k, item, ctx); });
  case Filter::Not:
    return !test(f.kids[0], item, ctx);
  case Filter::Exists: {
    bool miss = false;
    return !evaluate(Path{ctx.strict, f.left, ctx.vars}, item, miss).empty();
  }
  case Filter::Compare:
    break;
  }
  std::vector<Value> lefts = operandValues(f.left, f.leftLiteral, f.leftValue, f.leftVar, item, ctx);
  std::vector<Value> rights = operandValues(f.right, f.rightLiteral, f.rightValue, f.rightVar, item, ctx);
  for (const Value& a : lefts)
    for (const Value& b : rights)
      if (compareValues(a, b, f.op)) return true;
  return false;
}

} // namespace

bool parse(std::string_view text, Value& out, bool strict, bool uniqueKeys) {
  out = Value();
  return Reader(text, strict, uniqueKeys).document(out);
}

std::string quote(std::string_view s) {
  std::string out = "\"";
  for (char c : s) {
    switch (c) {
    case '"': out += "\\\""; break;
    case '\\': out += "\\\\"; break;
    case '\b': out += "\\b"; break;
    case '\f': out += "\\f"; break;
    case '\n': out += "\\n"; break;
    case '\r': out += "\\r"; break;
    case '\t': out += "\\t"; break;
    default:
      if (static_cast<unsigned char>(c) < 0x20) {
        static const char hex[] = "0123456789ABCDEF";
        out += "\\u00";
        out += hex[(c >> 4) & 0xF];
        out += hex[c & 0xF];
      } else {
        out += c;
      }
    }
  }
  return out + "\"";
}

std::string serialize(const Value& v, bool pretty) {
  std::string out;
  write(v, out, pretty, 0);
  return out;
}

Path compilePath(std::string_view text) { return PathReader(text).read(); }

std::vector<Value> evaluate(const Path& p, const Value& root, bool& error) {
  error = false;
  std::vector<Value> cur{root};
  for (const Step& st : p.steps) {
    std::vector<Value> next;
    for (const Value& v : cur) {
      switch (st.kind) {
      case Step::Key:
      case Step::AnyKey: {
        auto fields = [&](const Value& o) {
          for (size_t x = 0; x < o.keys.size(); ++x)
            if (st.kind == Step::AnyKey || o.keys[x] == st.name) {
              next.push_back(o.values[x]);
              if (st.kind == Step::Key) break;
            }
        };
        if (v.kind == Value::Object) {
          size_t before = next.size();
          fields(v);
          if (p.strict && next.size() == before) error = true;
        } else if (v.kind == Value::Array && !p.strict) {
          // lax: a field step applies to the objects an array holds
          for (const Value& e : v.items)
            if (e.kind == Value::Object) fields(e);
        } else if (p.strict) {
          error = true;
        }
        break;
      }
      case Step::Descendant:
        descendants(v, st.name, next);
        break;
      case Step::Elements: {
        if (v.kind != Value::Array && p.strict) {
          error = true;
          break;
        }
        // lax: a value that is no array is read as an array of itself
        std::vector<Value> wrapped;
        if (v.kind != Value::Array) wrapped.push_back(v);
        const std::vector<Value>& items = v.kind == Value::Array ? v.items : wrapped;
        int64_t size = static_cast<int64_t>(items.size());
        if (st.ranges.empty()) {
          next.insert(next.end(), items.begin(), items.end());
          break;
        }
        for (const Step::Range& r : st.ranges) {
          int64_t from = r.fromLast ? size - 1 - r.from : r.from, to = r.toLast ? size - 1 - r.to : r.to;
          if (from > to) std::swap(from, to);
          if (p.strict && (from < 0 || to >= size)) error = true;
          for (int64_t k = std::max<int64_t>(from, 0); k <= to && k < size; ++k) next.push_back(items[static_cast<size_t>(k)]);
        }
        break;
      }
      case Step::Where:
        // lax: the filter tests the elements of an array
        if (v.kind == Value::Array && !p.strict) {
          for (const Value& e : v.items)
            if (test(*st.filter, e, p)) next.push_back(e);
        } else if (test(*st.filter, v, p)) {
          next.push_back(v);
        }
        break;
      case Step::Method: {
        Value r;
        if (aggregateMethod(st.name)) {
          // all the values together, arrays unwrapped in lax mode
          if (v.kind == Value::Array && !p.strict) next.insert(next.end(), v.items.begin(), v.items.end());
          else next.push_back(v);
        } else if (v.kind == Value::Array && !p.strict && st.name != "size" && st.name != "type") {
          for (const Value& e : v.items)
            if (itemMethod(st.name, e, r)) next.push_back(r);
        } else if (itemMethod(st.name, v, r)) {
          next.push_back(r);
        } else if (p.strict) {
          error = true;
        }
        break;
      }
      }
    }
    if (st.kind == Step::Method && aggregateMethod(st.name)) {
      Value r;
      cur.clear();
      if (aggregate(st.name, next, r)) cur.push_back(std::move(r));
      continue;
    }
    cur = std::move(next);
  }
  return cur;
}

} // namespace ora::json
