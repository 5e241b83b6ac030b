// The SQL/JSON functions and IS [NOT] JSON as calls of the engine's ora_json_* functions
// (JsonFunctions.cpp). Their clauses are read once, before the other passes: the clause words
// then stand as operators, so no pass takes RETURNING or VALUE for a column.
#include "TranslateImpl.h"

#include "JsonDoc.h"
#include "JsonFunctions.h"

#include <functional>
#include <set>

namespace ora::tx {

namespace {

bool jsonFn(const std::string& w) {
  // asked of every word of a statement: most do not start with JSON
  if (w.size() < 4 || w.compare(0, 4, "JSON") != 0) return false;
  return w == "JSON_VALUE" || w == "JSON_QUERY" || w == "JSON_EXISTS" || w == "JSON_OBJECT" || w == "JSON_ARRAY" ||
         w == "JSON_OBJECTAGG" || w == "JSON_ARRAYAGG" || w == "JSON_SERIALIZE" || w == "JSON_SCALAR" ||
         w == "JSON_MERGEPATCH" || w == "JSON_TRANSFORM" || w == "JSON" || w == "JSON_EQUAL";
}

bool modifying(const std::string& f) {
  return f == "JSON_SERIALIZE" || f == "JSON_SCALAR" || f == "JSON_MERGEPATCH" || f == "JSON_TRANSFORM";
}

bool generation(const std::string& f) {
  return f == "JSON_OBJECT" || f == "JSON_ARRAY" || f == "JSON_OBJECTAGG" || f == "JSON_ARRAYAGG";
}

// JSON_VALUE without RETURNING: a path ending in a number or date item method returns that type.
int valueType(const JsonCall& c, const std::vector<Token>& t) {
  if (c.returnType || c.args.size() < 2) return c.returnType ? c.returnType : kVarchar2;
  const std::string& p = t[c.args[1].first].text;
  auto dot = p.rfind('.');
  if (dot == std::string::npos || !p.ends_with("()")) return kVarchar2;
  const std::string m = p.substr(dot + 1, p.size() - dot - 3);
  static const std::set<std::string> numeric = {"number", "numberOnly", "double", "float", "abs", "ceiling", "floor",
                                                "size", "count", "length", "sum", "avg", "minNumber", "maxNumber"};
  return numeric.count(m) ? kNumber : m == "date" ? kDate : m == "timestamp" ? kTimestamp : kVarchar2;
}

} // namespace

// The trailing clauses of a call from k; returns where they end. Each word read becomes an
// operator token.
size_t Translator::jsonClauses(JsonCall& c, size_t k, size_t close, int d) {
  auto word = [&](size_t m, const char* w) { return m < close && t_[m].depth == d && t_[m].kind == Token::Ident && t_[m].text == w; };
  auto take = [&](size_t m) { t_[m].kind = Token::Op; };
  const bool gen = generation(c.fn);
  while (k < close) {
    if (word(k, "RETURNING")) {
      take(k++);
      const std::string type = k < close ? t_[k].text : std::string();
      const bool scalarOnly = word(k, "TIMESTAMP") || word(k, "BINARY_DOUBLE") || word(k, "BINARY_FLOAT");
      if (!(word(k, "VARCHAR2") || word(k, "NUMBER") || word(k, "DATE") || word(k, "CLOB") || word(k, "JSON") ||
            (scalarOnly && c.fn == "JSON_VALUE")))
        throw OraError(902);
      take(k++);
      c.returnType = type == "NUMBER" ? kNumber : type == "DATE" ? kDate : type == "TIMESTAMP" ? kTimestamp
                   : type == "BINARY_DOUBLE" ? kBinaryDouble : type == "BINARY_FLOAT" ? kBinaryFloat : kVarchar2;
      c.returnSize = 4000;
      c.limit = type == "CLOB" || type == "JSON" ? (int64_t{1} << 30) : 4000;
      if (is(at(k), "(")) {
        size_t pclose = matching(k);
        if (type == "VARCHAR2" && at(k + 1).kind == Token::Num) {
          c.returnSize = std::max(1, std::min(32767, std::atoi(t_[k + 1].text.c_str())));
          c.limit = c.returnSize;
        }
        if (type == "NUMBER" && at(k + 1).kind == Token::Num) {
          c.precision = std::max(1, std::min(38, std::atoi(t_[k + 1].text.c_str())));
          if (is(at(k + 2), ",")) {
            size_t sk = k + 3;
            bool minus = is(at(sk), "-");
            if (minus) ++sk;
            if (at(sk).kind == Token::Num) c.scale = std::max(-84, std::min(127, std::atoi(t_[sk].text.c_str()))) * (minus ? -1 : 1);
          }
        }
        for (size_t m = k + 1; m < pclose; ++m)
          if (t_[m].kind == Token::Ident) take(m);
          else if (t_[m].kind == Token::Num) c.pins.push_back(m); // part of the statement, not a parameter
        k = pclose + 1;
      }
      if (word(k, "TRUNCATE")) c.truncate = true, take(k++);
      continue;
    }
    if (word(k, "TRUNCATE") || word(k, "ORDERED")) {
      (word(k, "TRUNCATE") ? c.truncate : c.ordered) = true;
      take(k++);
      continue;
    }
    bool onNext = k + 1 < close && t_[k + 1].depth == d && is(t_[k + 1], "ON");
    if ((word(k, "NULL") || word(k, "ERROR") || word(k, "TRUE") || word(k, "FALSE") || word(k, "ABSENT") ||
         word(k, "EMPTY")) && (onNext || (word(k, "EMPTY") && (word(k + 1, "ARRAY") || word(k + 1, "OBJECT"))))) {
      int how = word(k, "NULL") ? 0 : word(k, "ERROR") ? 1 : word(k, "TRUE") ? 1 : word(k, "FALSE") ? 0 : word(k, "ABSENT") ? 1 : 3;
      if (word(k, "ERROR") && (c.fn == "JSON_EXISTS" || c.fn == "JSON_EQUAL")) how = 2;
      if (word(k, "NULL") && gen) how = 1; // NULL ON NULL keeps the nulls
      if (word(k, "ABSENT")) how = 0;
      take(k++);
      if (word(k, "OBJECT")) how = 4;
      if (word(k, "ARRAY") || word(k, "OBJECT")) take(k++);
      if (!word(k, "ON")) throw OraError(907).at(static_cast<int>(at(k).pos));
      take(k++);
      if (word(k, "ERROR")) c.onError = how;
      else if (word(k, "EMPTY")) c.onEmpty = how;
      else if (word(k, "NULL") && gen) c.onNull = how;
      else throw OraError(907).at(static_cast<int>(at(k).pos));
      take(k++);
      continue;
    }
    if (word(k, "DEFAULT") && !gen) {
      take(k++);
      size_t b = k;
      while (k < close && !(word(k, "ON") && (word(k + 1, "ERROR") || word(k + 1, "EMPTY")))) ++k;
      if (k >= close || k == b) throw OraError(936);
      take(k);
      if (word(k + 1, "ERROR")) c.onError = 2, c.errorDefault = {b, k};
      else c.onEmpty = 2, c.emptyDefault = {b, k};
      take(k + 1);
      k += 2;
      continue;
    }
    if (word(k, "WITH") || word(k, "WITHOUT")) {
      bool with = word(k, "WITH");
      take(k++);
      if (word(k, "UNIQUE")) {
        take(k++);
        if (word(k, "KEYS")) take(k++);
        c.unique = with;
        continue;
      }
      if (c.fn != "JSON_QUERY") throw OraError(907).at(static_cast<int>(t_[k - 1].pos)); // only JSON_QUERY wraps
      c.wrapper = with ? 1 : 0;
      if (word(k, "CONDITIONAL")) c.wrapper = with ? 2 : 0;
      if (word(k, "CONDITIONAL") || word(k, "UNCONDITIONAL")) take(k++);
      if (word(k, "ARRAY")) take(k++);
      if (!word(k, "WRAPPER")) throw OraError(907).at(static_cast<int>(at(k).pos));
      take(k++);
      continue;
    }
    if (word(k, "PRETTY") || word(k, "ASCII") || word(k, "STRICT") || word(k, "LAX")) {
      if (word(k, "PRETTY")) c.pretty = true;
      if (word(k, "ASCII")) c.ascii = true;
      take(k++);
      continue;
    }
    break;
  }
  return k;
}

void Translator::markJson() {
  for (size_t i = 0; i + 1 < t_.size(); ++i) {
    const Token& k = t_[i];
    if (k.kind == Token::Ident && eq(k.text, "IS") &&
        (is(at(i + 1), "JSON") || (is(at(i + 1), "NOT") && is(at(i + 2), "JSON")))) {
      // expr IS [NOT] JSON [STRICT|LAX] [WITH|WITHOUT UNIQUE KEYS]
      JsonCall c;
      c.fn = "IS";
      size_t m = i + 1;
      if (is(t_[m], "NOT")) c.negated = true, ++m;
      t_[m++].kind = Token::Op;
      // VALUE, OBJECT, ARRAY, SCALAR (several in parentheses): which top-level values qualify
      auto kind = [&](size_t x) {
        return is(at(x), "VALUE") || is(at(x), "OBJECT") || is(at(x), "ARRAY") || is(at(x), "SCALAR");
      };
      auto takeKind = [&](size_t x) {
        c.wrapper |= is(at(x), "OBJECT") ? 4 : is(at(x), "ARRAY") ? 8 : is(at(x), "SCALAR") ? 16 : 28;
        t_[x].kind = Token::Op;
      };
      if (is(at(m), "(") && kind(m + 1)) {
        size_t close = matching(m);
        for (size_t x = m; x <= close; ++x) {
          if (kind(x)) takeKind(x);
          else if (!is(t_[x], "(") && !is(t_[x], ")") && !is(t_[x], ",")) throw OraError(907).at(static_cast<int>(t_[x].pos));
          t_[x].kind = Token::Op;
        }
        m = close + 1;
      } else if (kind(m)) {
        takeKind(m++);
      }
      if (is(at(m), "FORMAT") && is(at(m + 1), "JSON")) t_[m].kind = t_[m + 1].kind = Token::Op, m += 2;
      if (is(at(m), "STRICT") || is(at(m), "LAX")) c.strict = is(at(m), "STRICT"), t_[m++].kind = Token::Op;
      if ((is(at(m), "ALLOW") || is(at(m), "DISALLOW")) && is(at(m + 1), "SCALARS")) {
        if (is(at(m), "ALLOW")) c.wrapper |= 28;
        t_[m].kind = t_[m + 1].kind = Token::Op;
        m += 2;
      }
      if ((is(at(m), "WITH") || is(at(m), "WITHOUT")) && is(at(m + 1), "UNIQUE") && is(at(m + 2), "KEYS")) {
        c.unique = is(at(m), "WITH");
        for (size_t x = m; x < m + 3; ++x) t_[x].kind = Token::Op;
        m += 3;
      }
      c.end = m;
      jsonCalls_.emplace(i, std::move(c));
      continue;
    }
    if (k.kind != Token::Ident || !jsonFn(k.text) || !is(t_[i + 1], "(") || (i > 0 && is(t_[i - 1], "."))) continue;
    JsonCall c;
    c.fn = k.text;
    const size_t close = matching(i + 1);
    const int d = k.depth + 1;
    auto word = [&](size_t m, const char* w) { return m < close && t_[m].depth == d && t_[m].kind == Token::Ident && t_[m].text == w; };
    auto op = [&](size_t m, const char* w) { return m < close && t_[m].depth == d && t_[m].kind == Token::Op && t_[m].text == w; };
    // whether one of the trailing clauses starts at m
    auto clauseAt = [&](size_t m) {
      if (word(m, "RETURNING") || word(m, "PRETTY") || word(m, "ASCII") || word(m, "STRICT") || word(m, "LAX")) return true;
      if ((word(m, "NULL") || word(m, "ERROR") || word(m, "TRUE") || word(m, "FALSE") || word(m, "ABSENT") ||
           word(m, "EMPTY")) && word(m + 1, "ON"))
        return true;
      if (word(m, "EMPTY") && (word(m + 1, "ARRAY") || word(m + 1, "OBJECT"))) return true;
      if (word(m, "DEFAULT") && !generation(c.fn)) return true;
      return (word(m, "WITH") || word(m, "WITHOUT")) &&
             (word(m + 1, "UNIQUE") || word(m + 1, "CONDITIONAL") || word(m + 1, "UNCONDITIONAL") ||
              word(m + 1, "ARRAY") || word(m + 1, "WRAPPER"));
    };
    // where a value ends: a comma, the close, VALUE or ':' of a pair, FORMAT JSON, ORDER BY, a clause
    auto valueEnd = [&](size_t m) {
      size_t b = m;
      for (; m < close; ++m) {
        if (t_[m].depth != d) continue;
        if (op(m, ",") || (m > b && (word(m, "VALUE") || op(m, ":")) && (c.fn == "JSON_OBJECT" || c.fn == "JSON_OBJECTAGG")))
          break;
        if (m == b) continue;
        if ((word(m, "FORMAT") && word(m + 1, "JSON")) || (word(m, "ORDER") && word(m + 1, "BY"))) break;
        if (clauseAt(m)) break;
      }
      if (m == b) throw OraError(936).at(static_cast<int>(at(m).pos));
      return m;
    };
    auto format = [&](size_t& m) {
      bool f = word(m, "FORMAT") && word(m + 1, "JSON");
      if (f) t_[m].kind = t_[m + 1].kind = Token::Op, m += 2;
      return f;
    };
    size_t m = i + 2;
    if (c.fn == "JSON_OBJECT" && ((op(m, "*") && m + 1 == close) || (op(m + 1, ".") && op(m + 2, "*") && m + 3 == close))) {
      c.star = {m, close};
      m = close;
    } else if (c.fn == "JSON_ARRAY" && word(m, "SELECT")) {
      // JSON_ARRAY(query): an element for each row
      size_t e = m + 1;
      while (e < close && !(t_[e].depth == d && clauseAt(e))) ++e;
      c.query = {m, e};
      m = e;
    } else if (c.fn == "JSON") {
      // the JSON constructor: one value, text parsed as JSON
      size_t e = valueEnd(m);
      c.args.emplace_back(m, e);
      m = e;
      format(m);
    } else if (modifying(c.fn)) {
      m = jsonModifyArgs(c, m, close, d);
    } else if (c.fn == "JSON_VALUE" || c.fn == "JSON_QUERY" || c.fn == "JSON_EXISTS") {
      size_t e = valueEnd(m);
      c.args.emplace_back(m, e);
      m = e;
      format(m);
      if (!op(m, ",")) throw OraError(907).at(static_cast<int>(at(m).pos));
      ++m;
      if (at(m).kind != Token::Str) throw jsonError(40454).at(static_cast<int>(at(m).pos));
      c.args.emplace_back(m, m + 1);
      ++m;
      if (word(m, "PASSING")) {
        // PASSING value AS name, ...: the path's $name
        t_[m++].kind = Token::Op;
        for (;;) {
          size_t b = m;
          while (m < close && !(word(m, "AS") && t_[m].depth == d)) ++m;
          if (m >= close || m == b) throw OraError(907).at(static_cast<int>(at(m).pos));
          t_[m++].kind = Token::Op;
          if (at(m).kind != Token::Ident && at(m).kind != Token::QIdent) throw OraError(904).at(static_cast<int>(at(m).pos));
          for (const auto& p : c.passing)
            if (p.name == t_[m].text) throw jsonError(40464).at(static_cast<int>(t_[m].pos));
          c.passing.push_back({b, m - 1, t_[m].text});
          t_[m++].kind = Token::Op;
          if (!op(m, ",") || clauseAt(m + 1)) break;
          ++m;
        }
      }
    } else {
      while (m < close) {
        size_t b = m;
        if ((c.fn == "JSON_OBJECT" || c.fn == "JSON_OBJECTAGG") && word(m, "KEY") && !word(m + 1, "VALUE") &&
            !op(m + 1, ",") && m + 1 < close)
          t_[m++].kind = Token::Op, b = m;
        size_t e = valueEnd(m);
        c.args.emplace_back(b, e);
        c.formatJson.push_back(0);
        m = e;
        if (c.fn == "JSON_OBJECT" || c.fn == "JSON_OBJECTAGG") {
          if (word(m, "VALUE") || op(m, ":")) {
            t_[m++].kind = Token::Op;
            size_t ve = valueEnd(m);
            c.args.emplace_back(m, ve);
            m = ve;
            c.formatJson.push_back(format(m));
          } else if ((t_[e - 1].kind == Token::Ident || t_[e - 1].kind == Token::QIdent) &&
                     (e == b + 1 || (e == b + 3 && is(t_[b + 1], ".")))) {
            // a bare column: its name is the key
            c.args.emplace_back(b, e);
            c.formatJson.push_back(0);
            c.args[c.args.size() - 2] = {e - 1, e - 1}; // marks the key as the name itself
          } else {
            throw OraError(907).at(static_cast<int>(at(m).pos));
          }
        } else {
          c.formatJson.back() = format(m);
        }
        if (c.fn == "JSON_ARRAYAGG" && word(m, "ORDER") && word(m + 1, "BY")) {
          m += 2;
          c.orderB = m;
          while (m < close && !clauseAt(m)) ++m;
          c.orderE = m;
        }
        m = jsonClauses(c, m, close, d);
        if (c.fn == "JSON_OBJECTAGG" || c.fn == "JSON_ARRAYAGG" || !op(m, ",")) break;
        ++m;
      }
    }
    m = jsonClauses(c, m, close, d);
    if (m != close) throw OraError(907).at(static_cast<int>(at(m).pos));
    c.end = close + 1;
    jsonCalls_.emplace(i, std::move(c));
  }
}

// How a value becomes JSON (see JsonFunctions.cpp): 1 JSON text, 2 NUMBER, 3 DATE, 4 TIMESTAMP,
// 0 by its value.
int Translator::jsonKind(size_t b, size_t e, bool formatJson) {
  if (formatJson) return 1;
  if (auto j = jsonCalls_.find(b); j != jsonCalls_.end() && j->second.end == e && j->second.fn != "JSON_VALUE" &&
                                   j->second.fn != "JSON_EXISTS" && j->second.fn != "IS" && j->second.fn != "JSON_SERIALIZE" &&
                                   j->second.fn != "JSON_EQUAL")
    return 1;
  const ColType t = exprType(b, e);
  if (t.json) return 1; // a JSON column holds JSON text
  int code = t.code;
  return code == kNumber ? 2 : code == kDate ? 3 : isTimestamp(code) ? 4 : 0;
}

bool Translator::jsonType(size_t b, size_t e, ColType& out) const {
  auto j = jsonCalls_.find(b);
  if (j == jsonCalls_.end() || j->second.end != e || j->second.fn == "IS") return false;
  const JsonCall& c = j->second;
  out = ColType{};
  if (c.fn == "JSON_EQUAL") {
    out.code = kNumber;
  } else if (c.fn == "JSON") {
    // typed as a JSON column is
    out.code = kLong;
    out.lob = kClob;
    out.json = true;
  } else if (c.fn == "JSON_EXISTS") {
    out.code = kNumber;
  } else if (c.fn == "JSON_VALUE" && (c.returnType == kBinaryDouble || c.returnType == kBinaryFloat)) {
    out.code = kNumber;
    out.binary = c.returnType;
  } else if (c.fn == "JSON_VALUE" && valueType(c, t_) == kTimestamp) {
    out.code = kTimestamp;
    out.scale = 6;
  } else if (c.fn == "JSON_VALUE" && (valueType(c, t_) == kNumber || valueType(c, t_) == kDate)) {
    out.code = valueType(c, t_);
  } else {
    out.code = kVarchar2;
    out.size = c.returnSize;
  }
  return true;
}

std::string Translator::jsonCall(const JsonCall& c) {
  auto num = [](int64_t n) { return std::to_string(n); };
  auto value = [&](std::pair<size_t, size_t> r) { return r.second > r.first ? emit(r.first, r.second) : std::string("NULL"); };
  if (c.fn == "IS") {
    // SQLite's MATCH calls our match(flags, document): bit 0 strict, bit 1 unique keys; bits 2, 3
    // and 4 the kinds of value accepted (objects, arrays, scalars), none: objects and arrays
    return std::string(c.negated ? "NOT " : "") + "MATCH " + num((c.strict ? 1 : 0) | (c.unique ? 2 : 0) | c.wrapper);
  }
  for (size_t p : c.pins) pin_[p] = 1;
  if (modifying(c.fn)) return jsonModifyCall(c);
  if (c.fn == "JSON") return "ora_json_doc(" + value(c.args[0]) + ")";
  if (c.fn == "JSON_EQUAL") {
    if (c.args.size() != 2) throw OraError(909);
    return "ora_json_equal(" + value(c.args[0]) + ", " + value(c.args[1]) + ", " + num(c.onError < 0 ? 0 : c.onError) + ")";
  }
  if (c.star.second > c.star.first) return jsonObjectStar(c);
  if (c.query.second > c.query.first) {
    // the rows' one column gathered in their order; no rows give an empty array
    auto [qb, qe] = c.query;
    size_t ib = qb + 1, ie = ib;
    while (ie < qe && !(t_[ie].depth == t_[qb].depth && (is(t_[ie], ",") || is(t_[ie], "FROM")))) ++ie;
    if (ie < qe && is(t_[ie], ",")) throw OraError(913).at(static_cast<int>(t_[ie].pos)); // too many values
    int kind = 0;
    if (auto j = jsonCalls_.find(ib); j != jsonCalls_.end() && generation(j->second.fn)) {
      kind = 1;
    } else {
      const ColType t = subqueryType(qb, qe);
      kind = t.json ? 1 : t.code == kNumber ? 2 : t.code == kDate ? 3 : isTimestamp(t.code) ? 4 : 0;
    }
    return "(WITH \"JA$\"(\"V\") AS (" + emit(qb, qe) + ") SELECT COALESCE(ora_json_arrayagg(\"V\", " + num(kind) +
           ", " + num(c.onNull == 1 ? 1 : 0) + ", " + num(c.limit) + "), '[]') FROM \"JA$\")";
  }
  std::string passed;
  for (const auto& p : c.passing)
    passed += ", " + quoteString(p.name) + ", " + emit(p.b, p.e) + ", " + num(jsonKind(p.b, p.e, false));
  std::string out;
  if (c.fn == "JSON_VALUE") {
    int type = valueType(c, t_);
    int64_t size = type == kNumber && c.precision ? numberShape(c.precision, c.scale) : c.truncate ? -c.limit : c.limit;
    out = "ora_json_value(" + value(c.args[0]) + ", " + value(c.args[1]) + ", " + num(type) + ", " + num(size) +
          ", " + num(c.onError < 0 ? 0 : c.onError) + ", " + value(c.errorDefault) + ", " + num(c.onEmpty) + ", " +
          value(c.emptyDefault) + passed + ")";
  } else if (c.fn == "JSON_QUERY") {
    out = "ora_json_query(" + value(c.args[0]) + ", " + value(c.args[1]) + ", " + num(c.wrapper) + ", " +
          num(c.pretty) + ", " + num(c.onError < 0 ? 0 : c.onError) + ", " + num(c.onEmpty) + ", " + num(c.limit) +
          passed + ")";
  } else if (c.fn == "JSON_EXISTS") {
    out = "ora_json_exists(" + value(c.args[0]) + ", " + value(c.args[1]) + ", " + num(c.onError < 0 ? 0 : c.onError) +
          passed + ")";
  } else if (c.fn == "JSON_OBJECT" || c.fn == "JSON_OBJECTAGG") {
    // objects keep null members unless ABSENT ON NULL
    std::string absent = num((c.onNull == 0 ? 1 : 0) | (c.unique ? 2 : 0)); // bit 1: WITH UNIQUE KEYS
    std::vector<std::string> parts;
    for (size_t k = 0; k + 1 < c.args.size(); k += 2) {
      auto [kb, ke] = c.args[k];
      std::string key = kb == ke ? quoteString(t_[kb].text) : value(c.args[k]);
      parts.push_back(key + ", " + value(c.args[k + 1]) + ", " + num(jsonKind(c.args[k + 1].first, c.args[k + 1].second, c.formatJson[k + 1])));
    }
    if (c.fn == "JSON_OBJECTAGG") {
      if (parts.size() != 1) throw OraError(909);
      return "ora_json_objectagg(" + parts[0] + ", " + absent + ", " + num(c.limit) + ")";
    }
    out = "ora_json_object(" + absent + ", " + num(c.limit);
    for (const auto& p : parts) out += ", " + p;
    out += ")";
  } else if (c.fn == "JSON_ARRAY") {
    // arrays leave nulls out unless NULL ON NULL
    out = "ora_json_array(" + num(c.onNull == 1 ? 1 : 0) + ", " + num(c.limit);
    for (size_t k = 0; k < c.args.size(); ++k)
      out += ", " + value(c.args[k]) + ", " + num(jsonKind(c.args[k].first, c.args[k].second, c.formatJson[k]));
    out += ")";
  } else { // JSON_ARRAYAGG
    if (c.args.size() != 1) throw OraError(909);
    out = "ora_json_arrayagg(" + value(c.args[0]) + ", " + num(jsonKind(c.args[0].first, c.args[0].second, c.formatJson[0])) +
          ", " + num(c.onNull == 1 ? 1 : 0) + ", " + num(c.limit);
    if (c.orderE > c.orderB) {
      size_t count;
      out += sortKeys(c.orderB, c.orderE, t_[c.orderB].depth, count);
    }
    out += ")";
  }
  return out;
}

// JSON_TABLE(doc, 'row path' COLUMNS (...)) as the table-valued function of its column list,
// called with the document and the row path; a document of a table before it is read row by row.
size_t Translator::jsonTable(size_t i, Context& c) {
  const size_t close = matching(i + 1);
  const int d = t_[i].depth + 1;
  auto word = [&](size_t m, const char* w) { return m < close && t_[m].kind == Token::Ident && t_[m].text == w; };
  size_t m = i + 2;
  while (m < close && !(t_[m].depth == d && is(t_[m], ","))) ++m;
  const size_t docB = i + 2, docE = word(m - 2, "FORMAT") && word(m - 1, "JSON") ? m - 2 : m;
  if (docE <= docB || m >= close) throw OraError(936).at(static_cast<int>(at(m).pos));
  const size_t pathTok = m + 1;
  if (at(pathTok).kind != Token::Str) throw jsonError(40454).at(static_cast<int>(at(pathTok).pos));
  pin_[pathTok] = 1;
  JsonTableSpec spec;
  for (m = pathTok + 1; m < close && !word(m, "COLUMNS"); ++m)
    if (word(m, "ERROR") && word(m + 1, "ON") && word(m + 2, "ERROR")) spec.errorOnError = true;
  if (!word(m, "COLUMNS") || !is(at(m + 1), "(")) throw OraError(907).at(static_cast<int>(at(m).pos));
  // one COLUMNS list, under the nest given
  std::function<void(size_t, int)> columns = [&](size_t open, int nest) {
    const size_t colsClose = matching(open);
    const int cd = t_[open].depth + 1;
    for (size_t b = open + 1; b < colsClose;) {
      size_t e = b;
      while (e < colsClose && !(t_[e].depth == cd && is(t_[e], ","))) ++e;
      if (is(t_[b], "NESTED")) {
        // NESTED [PATH] 'path' COLUMNS (...)
        size_t x = b + 1;
        if (is(at(x), "PATH")) ++x;
        if (at(x).kind != Token::Str) throw jsonError(40454).at(static_cast<int>(at(x).pos));
        if (!is(at(x + 1), "COLUMNS") || !is(at(x + 2), "(")) throw OraError(907).at(static_cast<int>(at(x + 1).pos));
        pin_[x] = 1;
        spec.nests.push_back(JsonTableNest{t_[x].text, nest});
        columns(x + 2, static_cast<int>(spec.nests.size()) - 1);
        b = e + 1;
        continue;
      }
      JsonTableColumn col;
      col.nest = nest;
      for (const auto& other : spec.columns)
        if (other.name == t_[b].text) throw OraError(957).at(static_cast<int>(t_[b].pos)); // names are the table's
      col.onError = spec.errorOnError ? 1 : 0;
      if (t_[b].kind != Token::Ident && t_[b].kind != Token::QIdent) throw OraError(904).at(static_cast<int>(t_[b].pos));
      col.name = t_[b].text;
      col.path = "$." + json::quote(col.name);
      ColType type;
      type.code = kVarchar2;
      type.size = 4000;
      for (size_t x = b + 1; x < e; ++x) {
        const Token& w = t_[x];
        if (w.kind == Token::Str && x > b && is(t_[x - 1], "PATH")) {
          col.path = w.text;
          pin_[x] = 1;
        } else if (is(w, "ORDINALITY")) {
          col.kind = JsonTableColumn::Ordinality;
          type = ColType{};
          type.code = kNumber;
        } else if (is(w, "EXISTS")) {
          col.kind = JsonTableColumn::Exists;
        } else if (is(w, "FORMAT")) {
          col.kind = JsonTableColumn::Query;
        } else if (is(w, "WRAPPER") && !is(t_[x - 1], "WITHOUT") && !(x >= 2 && is(t_[x - 2], "WITHOUT"))) {
          col.wrapper = true;
        } else if (is(w, "ON") && (is(at(x + 1), "ERROR") || is(at(x + 1), "EMPTY"))) {
          // NULL | ERROR | DEFAULT literal ON ERROR | EMPTY
          int how = is(t_[x - 1], "ERROR") ? 1 : 0;
          json::Value dflt;
          size_t y = x - 1;
          while (y > b && !is(t_[y], "DEFAULT") && x - y < 3) --y;
          if (is(t_[y], "DEFAULT")) {
            how = 2;
            std::string lit;
            for (size_t z = y + 1; z < x; ++z) lit += t_[z].kind == Token::Str ? json::quote(t_[z].text) : t_[z].raw, pin_[z] = 1;
            if (!json::parse(lit, dflt, true) || !dflt.scalar()) throw OraError(907).at(static_cast<int>(t_[y + 1].pos));
          }
          (is(at(x + 1), "ERROR") ? col.onError : col.onEmpty) = how;
          (is(at(x + 1), "ERROR") ? col.errorDefault : col.emptyDefault) = dflt;
          ++x;
        } else if (x == b + 1 && is(w, "TIMESTAMP")) {
          type = ColType{};
          type.code = col.type = kTimestamp;
          type.scale = 6;
        } else if (x == b + 1 && (is(w, "NUMBER") || is(w, "DATE"))) {
          type = ColType{};
          type.code = col.type = is(w, "NUMBER") ? kNumber : kDate;
          if (is(at(x + 1), "(")) {
            for (size_t y = x + 2; y < e && !is(t_[y], ")"); ++y)
              if (t_[y].kind == Token::Num) pin_[y] = 1;
            if (is(w, "NUMBER") && at(x + 2).kind == Token::Num) {
              // NUMBER(p[,s]): the column's values are rounded and checked as a NUMBER column's
              int p = std::max(1, std::min(38, std::atoi(t_[x + 2].text.c_str()))), sc = 0;
              if (is(at(x + 3), ",") && at(x + 4).kind == Token::Num) sc = std::atoi(t_[x + 4].text.c_str());
              else if (is(at(x + 3), ",") && is(at(x + 4), "-") && at(x + 5).kind == Token::Num) sc = -std::atoi(t_[x + 5].text.c_str());
              col.size = numberShape(p, std::max(-84, std::min(127, sc)));
              type.precision = p, type.scale = sc, type.hasScale = true;
            }
          }
        } else if (x == b + 1 && is(w, "VARCHAR2") && is(at(x + 1), "(") && at(x + 2).kind == Token::Num) {
          type.size = std::max(1, std::min(4000, std::atoi(t_[x + 2].text.c_str())));
          col.size = type.size;
          pin_[x + 2] = 1;
        }
      }
      tr_.inferred.emplace(col.name, type);
      spec.columns.push_back(std::move(col));
      b = e + 1;
    }
  };
  columns(m + 1, 0);
  if (spec.columns.empty()) throw OraError(904);
  std::string call = jsonTableModule(cat_.db(), spec) + "(" + emit(docB, docE) + ", " + quoteString(t_[pathTok].text) + ")";
  replace_[i] = call;
  for (size_t x = i + 1; x <= close; ++x) skip_[x] = 1;
  c.opaque = true;
  return close;
}

} // namespace ora::tx
