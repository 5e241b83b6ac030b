// The newer SQL/JSON functions' runtime, as the translator (TranslateJsonModify.cpp) calls them:
//   ora_json_serialize(doc, flags, size, onError)        flags: 1 PRETTY, 2 ASCII, 4 ORDERED, 8 TRUNCATE
//   ora_json_scalar(value, kind)
//   ora_json_dot(doc, path)                               alias.column.field...
//   ora_json_doc(text)                                    a JSON column's value
//   ora_json_mergepatch(target, patch, flags, size, onError)
//   ora_json_transform(doc, flags, size, op1, path1, value1, kind1, onMissing1, onExisting1, ...)
#include "FunctionUtil.h"
#include "JsonDoc.h"
#include "JsonFunctions.h"

#include <algorithm>
#include <cstdio>

namespace ora {

namespace {

using namespace fn;
using json::Value;

std::string textArg(Val* v) {
  const unsigned char* s = sqlite3_value_text(v);
  return s ? std::string(reinterpret_cast<const char*>(s), static_cast<size_t>(sqlite3_value_bytes(v))) : std::string();
}

void sortKeys(Value& v) {
  for (auto& i : v.items) sortKeys(i);
  for (auto& i : v.values) sortKeys(i);
  if (v.kind != Value::Object) return;
  std::vector<size_t> order(v.keys.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return v.keys[a] < v.keys[b]; });
  std::vector<std::string> keys;
  std::vector<Value> values;
  for (size_t i : order) keys.push_back(std::move(v.keys[i])), values.push_back(std::move(v.values[i]));
  v.keys = std::move(keys);
  v.values = std::move(values);
}

// Characters past ASCII as \uXXXX escapes (UTF-16 pairs beyond the basic plane).
std::string asciiOnly(const std::string& s) {
  std::string out;
  auto esc = [&](unsigned u) {
    char b[8];
    std::snprintf(b, sizeof b, "\\u%04X", u);
    out += b;
  };
  for (size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      out += s[i++];
      continue;
    }
    int n = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    unsigned cp = n == 3 ? c & 7 : n == 2 ? c & 15 : c & 31;
    size_t j = i + 1;
    for (int k = 0; k < n && j < s.size(); ++k, ++j) cp = (cp << 6) | (static_cast<unsigned char>(s[j]) & 63);
    i = j;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      esc(0xD800 + (cp >> 10));
      esc(0xDC00 + (cp & 0x3FF));
    } else {
      esc(cp);
    }
  }
  return out;
}

// The document's text as the flags ask; NULL ON ERROR (0) or the error when it does not fit.
void resultDoc(Ctx* ctx, Value& v, int flags, int64_t size, int onError) {
  if (flags & 4) sortKeys(v);
  std::string s = json::serialize(v, flags & 1);
  if (flags & 2) s = asciiOnly(s);
  if (static_cast<int64_t>(s.size()) > size) {
    if (flags & 8) {
      s.resize(static_cast<size_t>(size));
      while (!s.empty() && (static_cast<unsigned char>(s.back()) & 0xC0) == 0x80) s.pop_back(); // whole characters
      if (!s.empty() && static_cast<unsigned char>(s.back()) >= 0xC0) s.pop_back();
    } else if (onError == 1) {
      throw jsonError(40478, std::to_string(size));
    } else {
      sqlite3_result_null(ctx);
      return;
    }
  }
  sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

bool readDoc(Val* v, Value& out, bool scalarsToo = false) {
  return json::parse(textArg(v), out, false) && (scalarsToo || !out.scalar());
}

void fnSerialize(Ctx* ctx, int, Val** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  const int onError = sqlite3_value_int(argv[3]);
  Value doc;
  if (!readDoc(argv[0], doc, true)) {
    if (onError == 1) throw jsonError(40441);
    return sqlite3_result_null(ctx);
  }
  resultDoc(ctx, doc, sqlite3_value_int(argv[1]), sqlite3_value_int64(argv[2]), onError);
}

void fnScalar(Ctx* ctx, int, Val** argv) {
  std::string s = jsonText(argv[0], sqlite3_value_int(argv[1]));
  if (s.empty()) return sqlite3_result_null(ctx);
  sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

// RFC 7396: an object patch merges member by member, a null member removes; anything else replaces.
Value mergePatch(Value target, const Value& patch) {
  if (patch.kind != Value::Object) return patch;
  if (target.kind != Value::Object) target = Value(), target.kind = Value::Object;
  for (size_t i = 0; i < patch.keys.size(); ++i) {
    auto at = std::find(target.keys.begin(), target.keys.end(), patch.keys[i]);
    size_t x = static_cast<size_t>(at - target.keys.begin());
    if (patch.values[i].kind == Value::Null) {
      if (at != target.keys.end()) target.keys.erase(at), target.values.erase(target.values.begin() + static_cast<long>(x));
    } else if (at != target.keys.end()) {
      target.values[x] = mergePatch(std::move(target.values[x]), patch.values[i]);
    } else {
      target.keys.push_back(patch.keys[i]);
      target.values.push_back(mergePatch(Value{}, patch.values[i]));
    }
  }
  return target;
}

void fnMergePatch(Ctx* ctx, int, Val** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
    return sqlite3_result_null(ctx);
  const int onError = sqlite3_value_int(argv[4]);
  Value target, patch;
  if (!readDoc(argv[0], target) || !readDoc(argv[1], patch, true)) {
    if (onError == 1) throw jsonError(40441);
    return sqlite3_result_null(ctx);
  }
  Value out = mergePatch(std::move(target), patch);
  resultDoc(ctx, out, sqlite3_value_int(argv[2]), sqlite3_value_int64(argv[3]), onError);
}

} // namespace

namespace {

void fnTransform(Ctx* ctx, int argc, Val** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  Value doc;
  if (!readDoc(argv[0], doc)) throw jsonError(40441);
  std::vector<JsonEdit> edits;
  for (int i = 3; i + 5 < argc; i += 6) {
    JsonEdit e;
    e.op = sqlite3_value_int(argv[i]);
    e.pathText = textArg(argv[i + 1]);
    try {
      e.path = json::compilePath(e.pathText);
    } catch (const OraError&) {
      throw jsonError(40597, e.pathText);
    }
    e.isNull = sqlite3_value_type(argv[i + 2]) == SQLITE_NULL;
    if (e.op == JsonEdit::Rename) {
      e.name = textArg(argv[i + 2]);
    } else if (!e.isNull) {
      std::string text = jsonText(argv[i + 2], sqlite3_value_int(argv[i + 3]));
      if (!json::parse(text, e.value, false)) throw jsonError(40441);
    }
    e.onMissing = sqlite3_value_int(argv[i + 4]);
    e.onExisting = sqlite3_value_int(argv[i + 5]);
    edits.push_back(std::move(e));
  }
  Value out = jsonTransform(std::move(doc), edits);
  resultDoc(ctx, out, sqlite3_value_int(argv[1]), sqlite3_value_int64(argv[2]), 1);
}

// A value stored into a JSON column: its compact text; ORA-40441 when it is not JSON.
void fnDoc(Ctx* ctx, int, Val** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  Value doc;
  if (!readDoc(argv[0], doc, true)) throw jsonError(40441);
  resultDoc(ctx, doc, 0, int64_t{1} << 30, 1);
}

// Dot notation's value: a scalar as its text, an object or array as JSON, several as an array.
void fnDot(Ctx* ctx, int, Val** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  Value doc;
  if (!readDoc(argv[0], doc, true)) return sqlite3_result_null(ctx);
  bool miss = false;
  std::vector<Value> found = json::evaluate(json::compilePath(textArg(argv[1])), doc, miss);
  if (found.empty()) return sqlite3_result_null(ctx);
  Value v;
  if (found.size() == 1) {
    v = std::move(found[0]);
  } else {
    v.kind = Value::Array;
    v.items = std::move(found);
  }
  if (v.kind == Value::Null) return sqlite3_result_null(ctx);
  std::string s = v.kind == Value::String || v.kind == Value::Number ? v.text : json::serialize(v);
  sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

} // namespace

void registerJsonModifyFunctions(sqlite3* db) {
  const int det = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
  sqlite3_create_function(db, "ora_json_serialize", 4, det, nullptr, guarded<fnSerialize>, nullptr, nullptr);
  sqlite3_create_function(db, "ora_json_doc", 1, det, nullptr, guarded<fnDoc>, nullptr, nullptr);
  sqlite3_create_function(db, "ora_json_dot", 2, det, nullptr, guarded<fnDot>, nullptr, nullptr);
  sqlite3_create_function(db, "ora_json_scalar", 2, det, nullptr, guarded<fnScalar>, nullptr, nullptr);
  sqlite3_create_function(db, "ora_json_mergepatch", 5, det, nullptr, guarded<fnMergePatch>, nullptr, nullptr);
  sqlite3_create_function(db, "ora_json_transform", -1, det, nullptr, guarded<fnTransform>, nullptr, nullptr);
}

} // namespace ora
