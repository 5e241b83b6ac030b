// Valid-time periods. PERIOD FOR name (start, end) names two datetime columns of the table;
// without the columns, two invisible TIMESTAMP WITH TIME ZONE columns name_START and name_END
// are added. Either way a check constraint keeps start before end, and its stored text carries
// the period's name.
#include "ValidPeriods.h"

#include "DeferredConstraints.h"
#include "Dictionary.h"
#include "DictionaryImpl.h"
#include "OraError.h"
#include "SqlText.h"
#include "SqlTokens.h"
#include "SqlTranslate.h"

#include <cstdio>
#include <cctype>
#include <functional>
#include <map>

namespace ora {

namespace {

using sql::Tok;

constexpr const char* kPeriodMark = "/*PERIOD:";


// A quoted SQLite name at `at` in `s`; `at` moves past it.
std::string quotedAt(const std::string& s, size_t& at) {
  while (at < s.size() && s[at] == ' ') ++at;
  std::string out;
  if (at >= s.size() || s[at] != '"') return out;
  for (++at; at < s.size(); ++at) {
    if (s[at] == '"') {
      if (at + 1 < s.size() && s[at + 1] == '"') {
        out += '"';
        ++at;
        continue;
      }
      ++at;
      break;
    }
    out += s[at];
  }
  return out;
}

// A period's columns are dates or timestamps, of the table's own columns (ALTER) or of those the
// CREATE writes (name and first word of its type).
void checkTypes(const std::pair<std::string, std::string>& period, const std::vector<ColumnInfo>& columns,
                const std::map<std::string, std::string>& written) {
  for (const std::string* c : {&period.first, &period.second}) {
    std::string got;
    bool found = false;
    for (auto& col : columns)
      if (col.name == *c) {
        found = true;
        if (col.type.code != kDate && !isTimestamp(col.type.code))
          got = col.type.code == kVarchar2 || col.type.code == kChar ? "CHAR" : col.type.code == kNumber ? "NUMBER" : "BINARY";
      }
    if (auto w = written.find(*c); w != written.end()) {
      found = true;
      const std::string& ty = w->second;
      if (ty != "DATE" && ty != "TIMESTAMP") got = ty.find("CHAR") != std::string::npos ? "CHAR" : ty.find("RAW") != std::string::npos ? "BINARY" : "NUMBER";
    }
    if (!found && columns.empty() && written.empty()) continue;
    if (!found) throw OraError(904, "\"" + *c + "\"");
    if (!got.empty()) throw OraError(932, "expected DATE got " + got);
  }
}

// The check constraint's name: the period's own, made unique in the schema as Oracle's are.
std::string constraintName(Catalog& cat, const std::string& table, const std::string& period) {
  size_t h = std::hash<std::string>{}(table + "." + period);
  for (int tries = 0;; ++tries) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%06X", static_cast<unsigned>((h + static_cast<size_t>(tries)) & 0xFFFFFF));
    std::string name = period.substr(0, 122) + buf;
    bool taken = false;
    dict::eachRow(cat.db(), "SELECT 1 FROM \"TESSEL$CONSTRAINTS\" WHERE NAME = ?1", [&](sqlite3_stmt*) { taken = true; }, name, true);
    if (!taken && tableDefinition(cat.db(), table).find("CONSTRAINT " + quoteIdent(name) + " ") == std::string::npos) return name;
  }
}

struct Edit {
  size_t from, to;
  std::string with;
};

} // namespace

std::vector<ValidPeriod> validPeriods(sqlite3* db, const std::string& table) {
  std::vector<ValidPeriod> out;
  std::string def = tableDefinition(db, table);
  for (size_t at = def.find(kPeriodMark); at != std::string::npos; at = def.find(kPeriodMark, at + 1)) {
    size_t close = def.find("*/", at);
    if (close == std::string::npos) break;
    ValidPeriod p;
    p.name = def.substr(at + 9, close - at - 9);
    size_t k = close + 2;
    p.start = quotedAt(def, k);
    while (k < def.size() && def[k] == ' ') ++k;
    if (def.compare(k, 1, "<") != 0) continue;
    ++k;
    p.end = quotedAt(def, k);
    // the constraint's name stands before its CHECK
    size_t check = def.rfind("CHECK (", at);
    size_t named = def.rfind("CONSTRAINT \"", check);
    if (named != std::string::npos && check != std::string::npos) {
      size_t q = named + 11;
      std::string name = quotedAt(def, q);
      if (q + 1 == check || q == check) p.constraint = name;
    }
    out.push_back(p);
  }
  return out;
}

bool periodDefinitions(const std::string& text, Catalog& cat, PeriodRewrite& out) {
  if (!containsWord(text, "PERIOD")) return false;
  sql::TokenList l(text);
  if (!l.ok || l.t.size() < 4) return false;
  std::string table;
  size_t i = 0;
  bool create = l.word(0, "CREATE") && l.word(1, "TABLE");
  bool alter = l.word(0, "ALTER") && l.word(1, "TABLE");
  if (!create && !alter) return false;
  i = 2;
  if (l.name(i) && l.op(i + 1, ".") && l.name(i + 2)) i += 2;
  if (!l.name(i)) return false;
  table = sql::upperName(l.t[i]);
  std::vector<Edit> edits;
  std::vector<std::string> periodNames;
  // the column types the CREATE gives, to check a period's columns
  std::map<std::string, std::string> written;
  auto periodAt = [&](size_t k, size_t& end) {
    // PERIOD FOR name [(start, end)]
    if (!l.name(k + 2)) throw OraError(904).at(static_cast<int>(l.t[std::min(k + 2, l.t.size() - 1)].pos));
    std::string name = sql::upperName(l.t[k + 2]);
    for (auto& n : periodNames)
      if (n == name) throw OraError(957).at(static_cast<int>(l.t[k + 2].pos));
    periodNames.push_back(name);
    std::string start = name + "_START", finish = name + "_END", with;
    if (l.op(k + 3, "(")) {
      if (!l.name(k + 4) || !l.op(k + 5, ",") || !l.name(k + 6) || !l.op(k + 7, ")"))
        throw OraError(904).at(static_cast<int>(l.t[std::min(k + 4, l.t.size() - 1)].pos));
      start = sql::upperName(l.t[k + 4]);
      finish = sql::upperName(l.t[k + 6]);
      if (start == finish) throw OraError(957).at(static_cast<int>(l.t[k + 6].pos));
      end = k + 8;
    } else {
      with = quoteIdent(start) + " TIMESTAMP(6) WITH TIME ZONE INVISIBLE, " + quoteIdent(finish) +
             " TIMESTAMP(6) WITH TIME ZONE INVISIBLE, ";
      end = k + 3;
    }
    std::string check = quoteIdent(start) + " < " + quoteIdent(finish);
    with += "CONSTRAINT " + quoteIdent(constraintName(cat, table, name)) + " CHECK (" + check + ")";
    out.marks.emplace(check, name);
    edits.push_back({l.t[k].pos, l.t[end - 1].end, with});
    // the columns a period makes are of the right type
    return with.rfind("CONSTRAINT ", 0) == 0 ? std::make_pair(start, finish) : std::make_pair(std::string(), std::string());
  };
  std::vector<std::pair<std::string, std::string>> named;
  if (create) {
    if (!cat.objectType(table).empty()) return false;
    if (!l.op(i + 1, "(")) return false;
    size_t close = l.close(i + 1);
    int depth = 0;
    bool elementStart = true;
    for (size_t k = i + 2; k < close; ++k) {
      if (l.op(k, "(")) ++depth;
      if (l.op(k, ")")) --depth;
      if (depth == 0 && elementStart && l.word(k, "PERIOD") && l.word(k + 1, "FOR")) {
        size_t end;
        named.push_back(periodAt(k, end));
        if (!l.op(end, ",") && end != close) throw OraError(907).at(static_cast<int>(l.t[end].pos));
        k = end - 1;
        continue;
      }
      if (depth == 0 && elementStart && l.name(k) && l.name(k + 1) && !l.word(k, "CONSTRAINT"))
        written[sql::upperName(l.t[k])] = sql::upperName(l.t[k + 1]);
      elementStart = depth == 0 && l.op(k, ",");
    }
  } else {
    if (cat.objectType(table) != "TABLE") return false;
    size_t k = i + 1;
    bool paren = false;
    if (l.word(k, "ADD")) {
      paren = l.op(k + 1, "(");
      size_t p = k + (paren ? 2 : 1);
      if (!(l.word(p, "PERIOD") && l.word(p + 1, "FOR"))) return false;
      for (auto& v : validPeriods(cat.db(), table))
        if (v.name == sql::upperName(l.t[std::min(p + 2, l.t.size() - 1)])) throw OraError(957).at(static_cast<int>(l.t[p + 2].pos));
      size_t end;
      named.push_back(periodAt(p, end));
      if (paren && !l.op(end, ")")) throw OraError(907).at(static_cast<int>(l.t[std::min(end, l.t.size() - 1)].pos));
      size_t last = paren ? end + 1 : end;
      if (last < l.t.size() && l.t[last].kind != Tok::End && !l.op(last, ";"))
        throw OraError(933).at(static_cast<int>(l.t[last].pos));
      // the columns the period makes first, then its constraint
      const std::string& with = edits.back().with;
      size_t cons = with.find("CONSTRAINT ");
      std::string head = "ALTER TABLE " + l.slice(2, i + 1) + " ADD ";
      out.text = cons == 0 ? head + with : head + "(" + with.substr(0, cons - 2) + ")";
      if (cons != 0) out.then = head + with.substr(cons);
      if (!named.back().first.empty()) checkTypes(named.back(), cat.columns(table), {});
      return true;
    }
    if (l.word(k, "DROP") && l.op(k + 1, "(") && l.word(k + 2, "PERIOD") && l.word(k + 3, "FOR")) {
      if (!l.name(k + 4) || !l.op(k + 5, ")")) throw OraError(907).at(static_cast<int>(l.t[std::min(k + 5, l.t.size() - 1)].pos));
      std::string name = sql::upperName(l.t[k + 4]);
      for (auto& v : validPeriods(cat.db(), table)) {
        if (v.name != name) continue;
        std::string head = "ALTER TABLE " + l.slice(2, i + 1) + " DROP ";
        // the columns the period made go with it
        if (v.start == name + "_START" && v.end == name + "_END")
          out.text = head + "(" + quoteIdent(v.start) + ", " + quoteIdent(v.end) + ")";
        else
          out.text = head + "CONSTRAINT " + quoteIdent(v.constraint);
        return true;
      }
      throw OraError(904, name).at(static_cast<int>(l.t[k + 4].pos));
    }
    return false;
  }
  if (edits.empty()) return false;
  for (auto& n : named)
    if (!n.first.empty()) checkTypes(n, {}, written);
  size_t copied = 0;
  for (auto& e : edits) {
    out.text += text.substr(copied, e.from - copied) + e.with;
    out.replaced.emplace_back(e.from, e.to);
    out.lengths.push_back(e.with.size());
    copied = e.to;
  }
  out.text += text.substr(copied);
  return true;
}

std::string periodHoldsAt(const std::string& ref, const ValidPeriod& p, const std::string& at) {
  const std::string start = ref + quoteIdent(p.start), end = ref + quoteIdent(p.end);
  return "(" + start + " IS NULL OR " + start + " <= " + at + ") AND (" + end + " IS NULL OR " + end + " > " + at + ")";
}

std::string periodMark(const std::string& period) { return kPeriodMark + period + "*/ "; }

} // namespace ora
