// The SQL/JSON functions as SQLite functions. The translator (TranslateJson.cpp) turns each
// clause into a plain argument:
//   ora_json_value(doc, path, type, size, onError, errorDefault, onEmpty, emptyDefault)
//   ora_json_query(doc, path, wrapper, pretty, onError, onEmpty, size)
//   ora_json_exists(doc, path, onError)      doc MATCH flags (IS JSON)
//   ora_json_object(how, size, key1, value1, kind1, ...)
//   ora_json_array(nullOnNull, size, value1, kind1, ...)
//   ora_json_arrayagg(value, kind, nullOnNull, size, key1, how1, ...)  (aggregate)
//   ora_json_objectagg(key, value, kind, how, size)       (aggregate)
// A value's kind says how it becomes JSON: 0 by its SQL value, 1 JSON text already, 2 a NUMBER,
// 3 a DATE, 4 a TIMESTAMP. An object's how: bit 0 ABSENT ON NULL, bit 1 WITH UNIQUE KEYS.
#include "JsonFunctions.h"

#include "BinaryFloats.h"
#include "Charset.h"
#include "FunctionUtil.h"
#include "JsonDoc.h"
#include "ListAgg.h"
#include "Number.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <sqlite3.h>

namespace ora {

OraError jsonError(int code, const std::string& detail) {
  static const std::pair<int, const char*> texts[] = {
      {40441, "JSON syntax error"},
      {40762, "missing value in JSON_TRANSFORM (%s)"},
      {40763, "existing value in JSON_TRANSFORM (%s)"},
      {40766, "error in JSON_TRANSFORM execution (%s)"},
      {40454, "path expression not a literal"},
      {40456, "JSON_VALUE evaluated to non-scalar value"},
      {40459, "output value too large (maximum: %s)"},
      {40462, "JSON_VALUE evaluated to no value"},
      {40464, "JSON PASSING clause contained duplicate variable names"},
      {40470, "JSON_VALUE evaluated to multiple values"},
      {40473, "duplicate key names in JSON object"},
      {40478, "output value too large (maximum: %s)"},
      {40480, "result cannot be returned without array wrapper"},
      {40595, "Name input to JSON generation function cannot be null."},
      {40597, "JSON path expression syntax error ('%s')"},
  };
  OraError e(code, detail);
  for (const auto& [c, t] : texts)
    if (c == code) {
      std::string text = t;
      if (auto at = text.find("%s"); at != std::string::npos) text.replace(at, 2, detail);
      char head[16];
      std::snprintf(head, sizeof head, "ORA-%05d: ", code);
      e.text = head + text;
    }
  return e;
}

namespace {

using namespace fn;

std::string textArg(Val* v) {
  const unsigned char* s = sqlite3_value_text(v);
  return s ? std::string(reinterpret_cast<const char*>(s), static_cast<size_t>(sqlite3_value_bytes(v))) : std::string();
}

json::Path pathArg(Val* v) {
  std::string p = textArg(v);
  try {
    return json::compilePath(p);
  } catch (const OraError&) {
    throw jsonError(40597, p);
  }
}

void resultString(Ctx* ctx, const std::string& s) {
  sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

std::string isoDate(const DateTime& d, bool fraction) {
  char b[64];
  std::snprintf(b, sizeof b, "%04d-%02d-%02dT%02d:%02d:%02d", d.year, d.month, d.day, d.hour, d.minute, d.second);
  std::string s = b;
  if (fraction) {
    std::snprintf(b, sizeof b, ".%06d", d.nanos / 1000);
    s += b;
  }
  return s;
}

// The JSON text of one SQL value of the given kind; empty for NULL.
std::string jsonOf(Val* v, int kind) {
  int t = sqlite3_value_type(v);
  if (t == SQLITE_NULL) return {};
  if (kind == 1) return textArg(v);
  if (kind == 3 || kind == 4) {
    DateTime d;
    std::string s = textArg(v);
    if (parseStoredDate(reinterpret_cast<const unsigned char*>(s.data()), static_cast<int>(s.size()), d))
      return json::quote(isoDate(d, kind == 4));
    return json::quote(s);
  }
  if (kind == 2 || t == SQLITE_INTEGER || t == SQLITE_FLOAT) {
    Num n;
    bool number = false;
    try {
      number = numOf(v, n);
    } catch (const OraError&) {
    }
    if (number) {
      std::string s = numText(n);
      if (s.starts_with(".")) s.insert(0, "0");
      else if (s.starts_with("-.")) s.insert(1, "0");
      return s;
    }
  }
  return json::quote(textArg(v));
}

// The PASSING clause's values, as (name, value, kind) from argument `from` on.
void bindVars(json::Path& p, int argc, Val** argv, int from) {
  for (int k = from; k + 2 < argc; k += 3) {
    json::Value v;
    std::string text = jsonOf(argv[k + 1], sqlite3_value_int(argv[k + 2]));
    if (!text.empty() && !json::parse(text, v, false)) v = json::Value();
    p.vars.emplace_back(textArg(argv[k]), std::move(v));
  }
}

void resultJson(Ctx* ctx, const std::string& s, int64_t size) {
  if (static_cast<int64_t>(s.size()) > size) throw jsonError(40459, std::to_string(size));
  resultString(ctx, s);
}

} // namespace

std::string jsonText(sqlite3_value* v, int kind) { return jsonOf(v, kind); }

void jsonScalarResult(sqlite3_context* ctx, const json::Value& v, int type, int64_t size) {
  if (v.kind == json::Value::Null) {
    sqlite3_result_null(ctx);
    return;
  }
  std::string text = v.kind == json::Value::True ? "true" : v.kind == json::Value::False ? "false" : v.text;
  if (type == kNumber) {
    Num n;
    if (v.kind == json::Value::True || v.kind == json::Value::False) {
      // a JSON Boolean as a NUMBER: 1 for true, 0 for false
      sqlite3_result_int(ctx, v.kind == json::Value::True);
      return;
    }
    if (!parseNum(text, n)) throw OraError(1722);
    if (size < 0) {
      // NUMBER(p,s): rounded to the scale, no more than p digits in all
      const int p = static_cast<int>(-size / 1000), s = static_cast<int>(-size % 1000) - 500;
      n = roundNum(n, s);
      Num limit(1, p - s);
      if (compare(n.negative() ? neg(n) : n, limit) >= 0) throw OraError(1438);
    }
    resultNumExact(ctx, n);
  } else if (type == kBinaryDouble || type == kBinaryFloat) {
    Num n;
    if (v.kind == json::Value::True || v.kind == json::Value::False || !parseNum(text, n)) throw OraError(1722);
    double x = std::strtod(text.c_str(), nullptr);
    resultFp(ctx, type, type == kBinaryFloat ? asBinaryFloat(x) : x);
  } else if (type == kDate || type == kTimestamp) {
    if (v.kind != json::Value::String) throw OraError(1858);
    std::string s = text, fraction;
    if (s.size() > 10 && s[10] == 'T') s[10] = ' ';
    if (s.size() > 20 && s[19] == '.')
      for (size_t k = 20; k < s.size() && s[k] >= '0' && s[k] <= '9'; ++k) fraction += s[k];
    if (s.size() > 19) s.resize(19); // fraction or zone of an ISO timestamp
    DateTime d;
    if (int err = parseDate(s, d)) throw OraError(err);
    if (type == kDate) return resultDate(ctx, d);
    // a TIMESTAMP keeps six digits of the fraction, rounded
    fraction.resize(9, '0');
    d.nanos = std::atoi(fraction.c_str());
    std::string out = storedTimestamp(roundFraction(d, 6));
    sqlite3_result_text(ctx, out.data(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
  } else {
    if (size < 0) {
      // TRUNCATE: cut to the size, on a character's start
      size_t keep = static_cast<size_t>(-size);
      if (text.size() > keep) {
        while (keep > 0 && (static_cast<unsigned char>(text[keep]) & 0xC0) == 0x80) --keep;
        text.resize(keep);
      }
    } else if (static_cast<int64_t>(text.size()) > size) {
      throw jsonError(40478, std::to_string(size));
    }
    if (text.empty()) sqlite3_result_null(ctx);
    else resultString(ctx, text);
  }
}

namespace {

void fnJsonValue(Ctx* ctx, int argc, Val** argv) {
  if (isNull(argv[0])) {
    sqlite3_result_null(ctx);
    return;
  }
  const int type = sqlite3_value_int(argv[2]);
  const int64_t size = sqlite3_value_int64(argv[3]);
  const int onError = sqlite3_value_int(argv[4]), onEmpty = sqlite3_value_int(argv[6]);
  json::Path path = pathArg(argv[1]);
  bindVars(path, argc, argv, 8);
  // NULL ON ERROR (0) answers NULL, ERROR ON ERROR (1) the error, DEFAULT (2) the default given
  auto fallback = [&](int how, Val* dflt, const OraError& e) {
    if (how == 1) throw e;
    if (how == 2) sqlite3_result_value(ctx, dflt);
    else sqlite3_result_null(ctx);
  };
  json::Value doc;
  if (!json::parse(textArg(argv[0]), doc, false)) return fallback(onError, argv[5], jsonError(40441));
  if (doc.scalar()) return fallback(onError, argv[5], jsonError(40441)); // a document is an object or an array
  bool strictMiss = false;
  std::vector<json::Value> found = json::evaluate(path, doc, strictMiss);
  if (strictMiss) return fallback(onError, argv[5], jsonError(40462));
  if (found.empty()) {
    // without an ON EMPTY clause the ON ERROR clause decides
    if (onEmpty < 0) return fallback(onError, argv[5], jsonError(40462));
    return fallback(onEmpty, argv[7], jsonError(40462));
  }
  if (found.size() > 1) return fallback(onError, argv[5], jsonError(40470));
  if (!found[0].scalar()) return fallback(onError, argv[5], jsonError(40456));
  try {
    jsonScalarResult(ctx, found[0], type, size);
  } catch (const OraError& e) {
    fallback(onError, argv[5], e);
  }
}

void fnJsonQuery(Ctx* ctx, int argc, Val** argv) {
  if (isNull(argv[0])) {
    sqlite3_result_null(ctx);
    return;
  }
  const int wrapper = sqlite3_value_int(argv[2]);
  const bool pretty = sqlite3_value_int(argv[3]) != 0;
  const int onError = sqlite3_value_int(argv[4]), onEmpty = sqlite3_value_int(argv[5]);
  const int64_t size = sqlite3_value_int64(argv[6]);
  json::Path path = pathArg(argv[1]);
  bindVars(path, argc, argv, 7);
  // 0 NULL, 1 ERROR, 3 EMPTY ARRAY, 4 EMPTY OBJECT
  auto fallback = [&](int how, const OraError& e) {
    if (how == 1) throw e;
    if (how == 3) resultString(ctx, "[]");
    else if (how == 4) resultString(ctx, "{}");
    else sqlite3_result_null(ctx);
  };
  json::Value doc;
  if (!json::parse(textArg(argv[0]), doc, false) || doc.scalar()) return fallback(onError, jsonError(40441));
  bool strictMiss = false;
  std::vector<json::Value> found = json::evaluate(path, doc, strictMiss);
  if (strictMiss) return fallback(onError, jsonError(40462));
  if (found.empty()) return fallback(onEmpty >= 0 ? onEmpty : onError, jsonError(40462));
  json::Value out;
  // WITH [UNCONDITIONAL] WRAPPER (1) always wraps; CONDITIONAL (2) unless one object or array
  if (wrapper == 1 || (wrapper == 2 && (found.size() != 1 || found[0].scalar()))) {
    out.kind = json::Value::Array;
    out.items = std::move(found);
  } else if (found.size() == 1 && !found[0].scalar()) {
    out = std::move(found[0]);
  } else {
    return fallback(onError, jsonError(40480));
  }
  std::string s = json::serialize(out, pretty);
  if (static_cast<int64_t>(s.size()) > size) return fallback(onError, jsonError(40478, std::to_string(size)));
  resultString(ctx, s);
}

void fnJsonExists(Ctx* ctx, int argc, Val** argv) {
  const int onError = sqlite3_value_int(argv[2]); // 0 FALSE, 1 TRUE, 2 ERROR
  json::Path path = pathArg(argv[1]);
  bindVars(path, argc, argv, 3);
  if (isNull(argv[0])) { // unknown, as for any condition of NULL
    sqlite3_result_null(ctx);
    return;
  }
  json::Value doc;
  if (!json::parse(textArg(argv[0]), doc, false) || doc.scalar()) {
    if (onError == 2) throw jsonError(40441);
    sqlite3_result_int(ctx, onError == 1);
    return;
  }
  bool strictMiss = false;
  std::vector<json::Value> found = json::evaluate(path, doc, strictMiss);
  sqlite3_result_int(ctx, !found.empty());
}

// JSON_EQUAL(a, b): the same JSON values, members in any order; FALSE ON ERROR by default.
void fnJsonEqual(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0]) || isNull(argv[1])) return sqlite3_result_null(ctx);
  const int onError = sqlite3_value_int(argv[2]); // 0 FALSE, 1 TRUE, 2 ERROR
  json::Value a, b;
  if (!json::parse(textArg(argv[0]), a, false) || !json::parse(textArg(argv[1]), b, false)) {
    if (onError == 2) throw jsonError(40441);
    return sqlite3_result_int(ctx, onError == 1);
  }
  sqlite3_result_int(ctx, json::equal(a, b));
}

// x IS [NOT] JSON is written x [NOT] MATCH flags, which SQLite calls as match(flags, x).
void fnMatchJson(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[1])) {
    sqlite3_result_null(ctx);
    return;
  }
  const int flags = sqlite3_value_int(argv[0]);
  json::Value doc;
  bool ok = json::parse(textArg(argv[1]), doc, flags & 1, flags & 2);
  const int kinds = flags & 28 ? flags & 28 : 12;
  const int kind = doc.kind == json::Value::Object ? 4 : doc.kind == json::Value::Array ? 8 : 16;
  sqlite3_result_int(ctx, ok && (kinds & kind));
}

void fnJsonObject(Ctx* ctx, int argc, Val** argv) {
  const int how = sqlite3_value_int(argv[0]); // bit 0 ABSENT ON NULL, bit 1 WITH UNIQUE KEYS
  const bool absent = how & 1;
  const int64_t size = sqlite3_value_int64(argv[1]);
  std::string out = "{";
  bool first = true;
  std::set<std::string> keys;
  for (int i = 2; i + 2 < argc; i += 3) {
    if (isNull(argv[i])) throw jsonError(40595);
    std::string v = jsonOf(argv[i + 1], sqlite3_value_int(argv[i + 2]));
    if (v.empty() && absent) continue;
    if ((how & 2) && !keys.insert(textOf(argv[i])).second) throw jsonError(40473);
    if (!first) out += ',';
    first = false;
    out += json::quote(textOf(argv[i])) + ":" + (v.empty() ? "null" : v);
  }
  resultJson(ctx, out + "}", size);
}

void fnJsonArray(Ctx* ctx, int argc, Val** argv) {
  const bool nulls = sqlite3_value_int(argv[0]) != 0;
  const int64_t size = sqlite3_value_int64(argv[1]);
  std::string out = "[";
  bool first = true;
  for (int i = 2; i + 1 < argc; i += 2) {
    std::string v = jsonOf(argv[i], sqlite3_value_int(argv[i + 1]));
    if (v.empty() && !nulls) continue;
    if (!first) out += ',';
    first = false;
    out += v.empty() ? "null" : v;
  }
  resultJson(ctx, out + "]", size);
}

// The rows an aggregate has seen: each element's JSON text (with its key or sort keys).
struct Gathered {
  struct Row {
    std::string key, json;
    std::vector<sqlite3_value*> order;
  };
  std::vector<Row> rows;
  std::vector<int> how;
  int64_t size = 4000;
  bool started = false, unique = false;
  ~Gathered() {
    for (auto& r : rows)
      for (auto* k : r.order) sqlite3_value_free(k);
  }
};

Gathered* gathered(Ctx* ctx, bool make) {
  auto** slot = static_cast<Gathered**>(sqlite3_aggregate_context(ctx, make ? sizeof(Gathered*) : 0));
  if (!slot) return nullptr;
  if (!*slot && make) *slot = new Gathered;
  return *slot;
}

template <void (*F)(Ctx*, int, Val**)>
void aggregateStep(Ctx* ctx, int argc, Val** argv) {
  try {
    F(ctx, argc, argv);
  } catch (const OraError& e) {
    sqlite3_result_error(ctx, e.text.c_str(), -1);
  } catch (const std::exception&) {
    sqlite3_result_error_nomem(ctx);
  }
}

void arrayAggStep(Ctx* ctx, int argc, Val** argv) {
  Gathered* g = gathered(ctx, true);
  if (!g) throw std::bad_alloc();
  if (!g->started) {
    g->started = true;
    g->size = sqlite3_value_int64(argv[3]);
    for (int i = 5; i < argc; i += 2) g->how.push_back(sqlite3_value_int(argv[i]));
  }
  std::string v = jsonOf(argv[0], sqlite3_value_int(argv[1]));
  if (v.empty()) {
    if (sqlite3_value_int(argv[2]) == 0) return; // ABSENT ON NULL
    v = "null";
  }
  Gathered::Row r;
  r.json = std::move(v);
  for (int i = 4; i + 1 < argc; i += 2) r.order.push_back(sqlite3_value_dup(argv[i]));
  g->rows.push_back(std::move(r));
}

void objectAggStep(Ctx* ctx, int, Val** argv) {
  Gathered* g = gathered(ctx, true);
  if (!g) throw std::bad_alloc();
  g->started = true;
  g->size = sqlite3_value_int64(argv[4]);
  if (isNull(argv[0])) throw jsonError(40595);
  std::string v = jsonOf(argv[1], sqlite3_value_int(argv[2]));
  g->unique = (sqlite3_value_int(argv[3]) & 2) != 0; // WITH UNIQUE KEYS
  if (v.empty()) {
    if (sqlite3_value_int(argv[3]) & 1) return; // ABSENT ON NULL
    v = "null";
  }
  g->rows.push_back({textOf(argv[0]), std::move(v), {}});
}

// Ends the group: the rows in their order, as an array or an object; NULL for a group of no rows.
void gatheredFinal(Ctx* ctx, bool object) {
  Gathered* g = gathered(ctx, false);
  try {
    if (!g || !g->started) {
      sqlite3_result_null(ctx);
    } else {
      const Charset cs = connectionCharset(sqlite3_context_db_handle(ctx));
      std::stable_sort(g->rows.begin(), g->rows.end(), [&](const Gathered::Row& a, const Gathered::Row& b) {
        for (size_t k = 0; k < a.order.size() && k < b.order.size() && k < g->how.size(); ++k)
          if (int c = compareValues(a.order[k], b.order[k], g->how[k], cs)) return c < 0;
        return false;
      });
      std::string out = object ? "{" : "[";
      std::set<std::string> keys;
      for (size_t i = 0; i < g->rows.size(); ++i) {
        if (object && g->unique && !keys.insert(g->rows[i].key).second) throw jsonError(40473);
        if (i) out += ',';
        if (object) out += json::quote(g->rows[i].key) + ":";
        out += g->rows[i].json;
      }
      resultJson(ctx, out + (object ? "}" : "]"), g->size);
    }
  } catch (const OraError& e) {
    sqlite3_result_error(ctx, e.text.c_str(), -1);
  } catch (const std::exception&) {
    sqlite3_result_error_nomem(ctx);
  }
  delete g;
  if (auto** slot = static_cast<Gathered**>(sqlite3_aggregate_context(ctx, 0))) *slot = nullptr;
}

void arrayAggFinal(Ctx* ctx) { gatheredFinal(ctx, false); }
void objectAggFinal(Ctx* ctx) { gatheredFinal(ctx, true); }

} // namespace

void registerJsonFunctions(sqlite3* db) {
  registerJsonModifyFunctions(db);
  const int det = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
  sqlite3_create_function(db, "ora_json_value", -1, det, nullptr, guarded<fnJsonValue>, nullptr, nullptr);
  sqlite3_create_function(db, "ora_json_query", -1, det, nullptr, guarded<fnJsonQuery>, nullptr, nullptr);
  sqlite3_create_function(db, "ora_json_equal", 3, det, nullptr, guarded<fnJsonEqual>, nullptr, nullptr);
  sqlite3_create_function(db, "ora_json_exists", -1, det, nullptr, guarded<fnJsonExists>, nullptr, nullptr);
  sqlite3_create_function(db, "match", 2, det, nullptr, guarded<fnMatchJson>, nullptr, nullptr);
  sqlite3_create_function(db, "ora_json_object", -1, det, nullptr, guarded<fnJsonObject>, nullptr, nullptr);
  sqlite3_create_function(db, "ora_json_array", -1, det, nullptr, guarded<fnJsonArray>, nullptr, nullptr);
  sqlite3_create_function(db, "ora_json_arrayagg", -1, SQLITE_UTF8, nullptr, nullptr, aggregateStep<arrayAggStep>,
                          arrayAggFinal);
  sqlite3_create_function(db, "ora_json_objectagg", 5, SQLITE_UTF8, nullptr, nullptr, aggregateStep<objectAggStep>,
                          objectAggFinal);
}

} // namespace ora
