// JSON_SERIALIZE, JSON_SCALAR, JSON_MERGEPATCH and JSON_TRANSFORM as calls of the engine's
// functions (JsonModify.cpp). Their operation and handler words become operators, as the other
// SQL/JSON clauses do.
#include "TranslateImpl.h"

#include "JsonFunctions.h"

namespace ora::tx {

// The arguments from m; returns where the trailing clauses start.
size_t Translator::jsonModifyArgs(JsonCall& c, size_t m, size_t close, int d) {
  auto word = [&](size_t k, const char* w) { return k < close && t_[k].depth == d && t_[k].kind == Token::Ident && t_[k].text == w; };
  auto op = [&](size_t k, const char* w) { return k < close && t_[k].depth == d && t_[k].kind == Token::Op && t_[k].text == w; };
  auto take = [&](size_t k) { t_[k].kind = Token::Op; };
  auto handlerAt = [&](size_t k) {
    return (word(k, "ERROR") || word(k, "IGNORE") || word(k, "CREATE") || word(k, "REPLACE") || word(k, "NULL")) &&
           word(k + 1, "ON");
  };
  auto clauseAt = [&](size_t k) {
    return word(k, "RETURNING") || word(k, "PRETTY") || word(k, "ASCII") || word(k, "ORDERED") || word(k, "TRUNCATE") ||
           ((word(k, "NULL") || word(k, "ERROR")) && word(k + 1, "ON") && word(k + 2, "ERROR"));
  };
  // a value runs to a comma, the close, FORMAT JSON or a clause
  auto valueEnd = [&](size_t k) {
    size_t b = k;
    for (; k < close; ++k) {
      if (t_[k].depth != d || k == b) continue;
      if (op(k, ",") || (word(k, "FORMAT") && word(k + 1, "JSON")) || clauseAt(k) || handlerAt(k)) break;
    }
    if (k == b || op(b, ",")) throw OraError(936).at(static_cast<int>(at(b).pos));
    return k;
  };
  auto format = [&](size_t& k) {
    bool f = word(k, "FORMAT") && word(k + 1, "JSON");
    if (f) take(k), take(k + 1), k += 2;
    return f;
  };
  size_t e = valueEnd(m);
  c.args.emplace_back(m, e);
  m = e;
  c.formatJson.push_back(format(m));
  if (c.fn == "JSON_MERGEPATCH") {
    if (!op(m, ",")) throw OraError(907).at(static_cast<int>(at(m).pos));
    e = valueEnd(++m);
    c.args.emplace_back(m, e);
    m = e;
    c.formatJson.push_back(format(m));
  }
  if (c.fn != "JSON_TRANSFORM") return m;
  static const char* const ops[] = {"REMOVE", "KEEP", "RENAME", "SET", "INSERT", "REPLACE", "APPEND"};
  while (op(m, ",")) {
    ++m;
    int code = 0;
    for (int x = 0; x < 7; ++x)
      if (word(m, ops[x])) code = x + 1;
    if (!code) throw OraError(907).at(static_cast<int>(at(m).pos));
    take(m++);
    bool first = true;
    do {
      if (!first) ++m; // the comma before KEEP's next path
      if (at(m).kind != Token::Str) throw jsonError(40454).at(static_cast<int>(at(m).pos));
      JsonEditTokens ed;
      ed.op = first ? code : JsonEdit::KeepMore;
      ed.path = m++;
      c.pins.push_back(ed.path);
      c.edits.push_back(ed);
      first = false;
    } while (code == JsonEdit::Keep && op(m, ",") && at(m + 1).kind == Token::Str);
    JsonEditTokens& ed = c.edits.back();
    if (code != JsonEdit::Keep && code != JsonEdit::Remove) {
      if (!op(m, "=")) throw OraError(907).at(static_cast<int>(at(m).pos));
      take(m++);
      e = valueEnd(m);
      ed.value = {m, e};
      m = e;
      ed.formatJson = format(m);
    }
    while (handlerAt(m)) {
      int how = word(m, "ERROR") ? JsonEdit::Error : word(m, "IGNORE") ? JsonEdit::Ignore : word(m, "CREATE") ? JsonEdit::Create
                : word(m, "REPLACE") ? JsonEdit::Overwrite : JsonEdit::Null;
      take(m++);
      take(m++);
      if (word(m, "MISSING")) ed.onMissing = how;
      else if (word(m, "EXISTING")) ed.onExisting = how;
      else throw OraError(907).at(static_cast<int>(at(m).pos));
      take(m++);
    }
  }
  return m;
}

std::string Translator::jsonModifyCall(const JsonCall& c) {
  auto num = [](int64_t n) { return std::to_string(n); };
  auto value = [&](std::pair<size_t, size_t> r) { return r.second > r.first ? emit(r.first, r.second) : std::string("NULL"); };
  const int flags = (c.pretty ? 1 : 0) | (c.ascii ? 2 : 0) | (c.ordered ? 4 : 0) | (c.truncate ? 8 : 0);
  // ERROR ON ERROR (1) raises; NULL ON ERROR (0), the default, answers NULL
  const std::string onError = num(c.onError == 1 ? 1 : 0);
  if (c.fn == "JSON_SCALAR")
    return "ora_json_scalar(" + value(c.args[0]) + ", " + num(jsonKind(c.args[0].first, c.args[0].second, false)) + ")";
  if (c.fn == "JSON_SERIALIZE")
    return "ora_json_serialize(" + value(c.args[0]) + ", " + num(flags) + ", " + num(c.limit) + ", " + onError + ")";
  if (c.fn == "JSON_MERGEPATCH")
    return "ora_json_mergepatch(" + value(c.args[0]) + ", " + value(c.args[1]) + ", " + num(flags) + ", " +
           num(c.limit) + ", " + onError + ")";
  std::string out = "ora_json_transform(" + value(c.args[0]) + ", " + num(flags) + ", " + num(c.limit);
  for (const JsonEditTokens& ed : c.edits) {
    const int kind = ed.value.second > ed.value.first ? jsonKind(ed.value.first, ed.value.second, ed.formatJson) : 0;
    out += ", " + num(ed.op) + ", " + quoteString(t_[ed.path].text) + ", " + value(ed.value) + ", " + num(kind) + ", " +
           num(ed.onMissing) + ", " + num(ed.onExisting);
  }
  return out + ")";
}

// JSON_OBJECT(*): each column of the query's tables, or of the one named, under its own name.
std::string Translator::jsonObjectStar(const JsonCall& c) {
  std::vector<std::pair<std::string, std::string>> cols;
  if (ctx_.empty() || !starColumns(c.star.first, c.star.second, ctx_.back(), false, cols))
    throw OraError(936).at(static_cast<int>(at(c.star.first).pos));
  std::string out = "ora_json_object(" + std::to_string(c.onNull == 0 ? 1 : 0) + ", " + std::to_string(c.limit);
  for (const auto& [alias, name] : cols) {
    int kind = 0;
    for (const auto& r : ctx_.back().tables)
      if ((r.alias.empty() ? r.name : r.alias) == alias && cat_.tableExists(r.name))
        for (const auto& col : cat_.columns(r.name))
          if (col.name == name)
            kind = col.type.json ? 1 : col.type.code == kNumber ? 2 : col.type.code == kDate ? 3 : isTimestamp(col.type.code) ? 4 : 0;
    out += ", " + quoteString(name) + ", " + quoteIdent(alias) + "." + quoteIdent(name) + ", " + std::to_string(kind);
  }
  return out + ")";
}

} // namespace ora::tx
