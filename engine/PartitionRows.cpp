// The rows of one partition: SELECT ... FROM t PARTITION (p), ALTER TABLE ... PARTITION, and the
// SQL function the guard of a partitioned table calls.
#include "DdlPartition.h"
#include "DdlImpl.h"

#include "CType.h"

#include "OraError.h"
#include "OraValues.h"
#include "PartitionImpl.h"
#include "SqlText.h"

#include <algorithm>
#include <cstring>
#include <sqlite3.h>

namespace ora::tx {

using namespace part;

namespace {
// The statement's tokens when its text has one of the words (in any case) and tokenizes.
bool tokensWith(const std::string& text, std::initializer_list<const char*> words, std::vector<Token>& t) {
  std::string u = text;
  for (auto& c : u) c = static_cast<char>(ora::upperC(static_cast<unsigned char>(c)));
  if (std::none_of(words.begin(), words.end(), [&](const char* w) { return u.find(w) != std::string::npos; }))
    return false;
  try {
    t = tokenize(text);
  } catch (const OraError&) {
    return false;
  }
  return true;
}
} // namespace

size_t part::partitionNamed(const std::vector<Token>& t, size_t k, const std::string& text, Catalog& cat, const PartTable& pt,
                      size_t& close) {
  bool byValue = is(t[k + 1], "FOR");
  size_t open = byValue ? k + 2 : k + 1;
  close = closing(t, open);
  size_t found = pt.parts.size();
  if (byValue) {
    // the partition whose bounds take these values
    std::vector<std::string> values;
    for (auto [b, e] : items(t, open)) values.push_back("(" + sourceOf(text, t, b, e) + ")");
    if (values.size() != pt.keys.size()) throw OraError(values.size() > pt.keys.size() ? 14017 : 14018).at(static_cast<int>(t[open].pos));
    for (size_t p = 0; p < pt.parts.size() && found == pt.parts.size(); ++p) {
      Translation q = translate("SELECT 1 FROM DUAL WHERE " + partitionCondition(pt, p, values), cat);
      sqlite3_stmt* st = nullptr;
      if (sqlite3_prepare_v2(cat.db(), q.sql.c_str(), -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
        found = p;
      sqlite3_finalize(st);
    }
  } else {
    if (close != open + 2 || (t[open + 1].kind != Token::Ident && t[open + 1].kind != Token::QIdent))
      throw OraError(14006).at(static_cast<int>(t[open + 1].pos));
    for (size_t p = 0; p < pt.parts.size(); ++p)
      if (pt.parts[p].name == t[open + 1].text) found = p;
  }
  if (found == pt.parts.size()) throw OraError(2149).at(static_cast<int>(t[open + (byValue ? 0 : 1)].pos));
  return found;
}

bool partitionExtension(const std::string& text, Catalog& cat, std::string& out) {
  std::vector<Token> t;
  if (!tokensWith(text, {"PARTITION"}, t)) return false;
  if (t.empty() || (!is(t[0], "SELECT") && !is(t[0], "WITH") && !is(t[0], "(") && !is(t[0], "INSERT"))) return false;
  struct Span {
    size_t from, to;
    std::string with;
  };
  std::vector<Span> spans;
  for (size_t k = 1; k + 2 < t.size(); ++k) {
    if (!is(t[k], "PARTITION") || !(is(t[k + 1], "(") || (is(t[k + 1], "FOR") && is(tokenAt(t, k + 2), "(")))) continue;
    size_t n = k - 1;
    if (t[n].kind != Token::Ident && t[n].kind != Token::QIdent) continue;
    size_t first = n > 1 && is(t[n - 1], ".") ? n - 2 : n;
    if (first == 0 || !(is(t[first - 1], "FROM") || is(t[first - 1], "JOIN") || is(t[first - 1], ","))) continue;
    const std::string& table = t[n].text;
    if (!cat.tableExists(table) || cat.viewExists(table)) continue; // left to the statement's own error
    PartTable pt;
    if (!loadPartitions(cat.db(), table, pt)) throw OraError(14501).at(static_cast<int>(t[k].pos));
    size_t close = 0;
    size_t found = partitionNamed(t, k, text, cat, pt, close);
    std::string with = "(SELECT * FROM " + sourceOf(text, t, first, n + 1) + " WHERE " +
                       partitionCondition(pt, found, keyColumns(pt)) + ")";
    // the rows keep the table's name unless the statement gives them another
    bool aliased = close + 1 < t.size() && (t[close + 1].kind == Token::QIdent ||
                                            (t[close + 1].kind == Token::Ident && !keywordAt(t, close + 1)));
    if (!aliased) with += " " + quoteIdent(table);
    spans.push_back({t[first].pos, t[close].end, with});
  }
  if (spans.empty()) return false;
  out = text;
  for (auto s = spans.rbegin(); s != spans.rend(); ++s) out.replace(s->from, s->to - s->from, s->with);
  return true;
}

std::vector<std::string> renamePartitions(Catalog& cat, const std::string& from, const std::string& to) {
  PartTable pt;
  if (!loadPartitions(cat.db(), from, pt)) return {};
  std::vector<std::string> out = forgetPartitions(from);
  out.push_back("DROP TRIGGER IF EXISTS " + quoteIdent("TESSEL$PART$" + from));
  out.push_back("DROP TRIGGER IF EXISTS " + quoteIdent("TESSEL$PARTU$" + from));
  out.push_back("DROP TRIGGER IF EXISTS " + quoteIdent("TESSEL$PARTM$" + from));
  for (auto& s : recordStatements(pt, to)) out.push_back(s);
  return out;
}

std::vector<std::string> renamedRecords(Catalog& cat, const std::string& from, const std::string& to) {
  std::vector<std::string> out;
  for (const char* kept : {"TESSEL$CONSTRAINTS", "TESSEL$DISABLED", "TESSEL$TRIGGERS", "TESSEL$COMMENTS", "TESSEL$IDENTITY", "TESSEL$READ_ONLY",
                           "TESSEL$NOVALIDATED"})
    out.push_back("UPDATE " + quoteIdent(kept) + " SET TABLE_NAME = " + quoteString(to) + " WHERE TABLE_NAME = " +
                  quoteString(from));
  for (auto& s : renamePartitions(cat, from, to)) out.push_back(s);
  return out;
}

bool alterPartitions(const std::string& text, Catalog& cat, Translation& out) {
  std::vector<Token> t;
  if (!tokensWith(text, {"PARTITION", "MOVEMENT"}, t)) return false;
  if (t.size() < 4 || !is(t[0], "ALTER") || !is(t[1], "TABLE")) return false;
  size_t i = 2;
  if (is(tokenAt(t, 3), ".")) i = 4;
  if (i >= t.size() || (t[i].kind != Token::Ident && t[i].kind != Token::QIdent)) return false;
  if (i == 4 && t[2].text != cat.user()) return false;
  const std::string table = t[i].text;
  size_t a = i + 1;
  bool movement = (is(tokenAt(t, a), "ENABLE") || is(tokenAt(t, a), "DISABLE")) && is(tokenAt(t, a + 1), "ROW") &&
                  is(tokenAt(t, a + 2), "MOVEMENT");
  bool partAction = (is(tokenAt(t, a), "ADD") || is(tokenAt(t, a), "DROP") || is(tokenAt(t, a), "TRUNCATE") ||
                     is(tokenAt(t, a), "RENAME")) &&
                    is(tokenAt(t, a + 1), "PARTITION");
  if (!movement && !partAction) return false;
  out = Translation{};
  out.kind = StmtKind::Ddl;
  out.function = 26;
  out.verb = "ALTER";
  if (!cat.tableExists(table) || cat.viewExists(table)) throw OraError(942).at(static_cast<int>(t[i].pos));
  if (movement) {
    if (a + 3 < t.size()) throw OraError(933).at(static_cast<int>(t[a + 3].pos));
    out.ddl = tableOptionRecords(t, a, a + 3, table);
    PartTable moved;
    if (loadPartitions(cat.db(), table, moved)) {
      moved.rowMovement = is(t[a], "ENABLE");
      for (auto& s : recordStatements(moved, table)) out.ddl.push_back(s);
    }
    return true;
  }
  PartTable pt;
  if (!loadPartitions(cat.db(), table, pt)) throw OraError(14501).at(static_cast<int>(t[a + 1].pos));
  const std::string verb = t[a].text;
  size_t p = a + 2;
  auto named = [&](size_t k) {
    if (k >= t.size() || (t[k].kind != Token::Ident && t[k].kind != Token::QIdent)) throw OraError(14006).at(static_cast<int>(tokenAt(t, k).pos));
    for (size_t q = 0; q < pt.parts.size(); ++q)
      if (pt.parts[q].name == t[k].text) return q;
    throw OraError(2149).at(static_cast<int>(t[k].pos));
  };
  auto rowsOf = [&](size_t q) {
    Translation del = translate("DELETE FROM " + quoteIdent(table) + " WHERE " + partitionCondition(pt, q, keyColumns(pt)), cat);
    out.ddl.push_back(del.sql);
    for (auto& m : del.moreSql) out.ddl.push_back(m);
  };
  if (verb == "ADD") {
    PartDef d;
    int64_t sysName = systemNameBase(cat.db());
    PartReader reader{t, text, cat, pt, sysName};
    bool hasName = p < t.size() && (t[p].kind == Token::QIdent || (t[p].kind == Token::Ident && !is(t[p], "VALUES") &&
                                                                 !is(t[p], "TABLESPACE") && !keywordAt(t, p)));
    d.name = hasName ? t[p].text : reader.systemName();
    for (auto& q : pt.parts)
      if (q.name == d.name) throw OraError(14013).at(static_cast<int>(t[p].pos));
    size_t k = reader.bounds(hasName ? p + 1 : p, d);
    reader.description(k, t.size(), d);
    if (pt.type == "RANGE") {
      if (!pt.parts.empty() && !boundBelow(pt.parts.back().values, d.values, pt.keyTypes))
        throw OraError(14074).at(static_cast<int>(t[p].pos));
    } else if (pt.type == "LIST") {
      for (auto& q : pt.parts)
        if (std::count(q.values.begin(), q.values.end(), "D")) throw OraError(14323, q.name).at(static_cast<int>(t[p].pos));
    }
    pt.parts.push_back(d);
  } else if (verb == "DROP") {
    size_t q = named(p);
    if (pt.type == "HASH") throw OraError(14255).at(static_cast<int>(t[a].pos));
    if (pt.parts.size() == 1) throw OraError(14083).at(static_cast<int>(t[p].pos));
    rowsOf(q);
    pt.parts.erase(pt.parts.begin() + static_cast<long>(q));
  } else if (verb == "TRUNCATE") {
    rowsOf(named(p));
  } else {
    size_t q = named(p);
    if (!is(tokenAt(t, p + 1), "TO")) throw OraError(946).at(static_cast<int>(tokenAt(t, p + 1).pos));
    const Token& to = tokenAt(t, p + 2);
    if (to.kind != Token::Ident && to.kind != Token::QIdent) throw OraError(14006).at(static_cast<int>(to.pos));
    for (auto& r : pt.parts)
      if (r.name == to.text) throw OraError(14082).at(static_cast<int>(to.pos));
    pt.parts[q].name = to.text;
  }
  for (auto& s : recordStatements(pt, table)) out.ddl.push_back(s);
  return true;
}

} // namespace ora::tx

namespace ora {

namespace {
void partKey(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  const char* mode = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
  const char* types = reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
  if (!mode || !types) return sqlite3_result_int(ctx, 1);
  int n = static_cast<int>(std::strlen(types));
  if (argc < 2 + n) return sqlite3_result_int(ctx, 1);
  auto text = [](sqlite3_value* v) {
    if (sqlite3_value_type(v) == SQLITE_INTEGER || sqlite3_value_type(v) == SQLITE_FLOAT) return numberText(v);
    const unsigned char* p = sqlite3_value_text(v);
    return std::string(p ? reinterpret_cast<const char*>(p) : "");
  };
  sqlite3_value** keys = argv + 2;
  sqlite3_value** bounds = argv + 2 + n;
  int nb = argc - 2 - n;
  if (*mode == 'R') {
    // the key tuple below the bound tuple; a NULL key sorts above every value but MAXVALUE
    for (int k = 0; k < n && k < nb; ++k) {
      if (sqlite3_value_type(bounds[k]) == SQLITE_NULL) return sqlite3_result_int(ctx, 1);
      if (sqlite3_value_type(keys[k]) == SQLITE_NULL) return sqlite3_result_int(ctx, 0);
      int c = tx::part::compareValues(text(keys[k]), text(bounds[k]), types[k] == 'N');
      if (c) return sqlite3_result_int(ctx, c < 0 ? 1 : 0);
    }
    return sqlite3_result_int(ctx, 0);
  }
  bool nullKey = sqlite3_value_type(keys[0]) == SQLITE_NULL;
  std::string key = nullKey ? std::string() : text(keys[0]);
  for (int k = 0; k < nb; ++k) {
    bool nullBound = sqlite3_value_type(bounds[k]) == SQLITE_NULL;
    if (nullKey || nullBound) {
      if (nullKey && nullBound) return sqlite3_result_int(ctx, 1);
      continue;
    }
    if (tx::part::compareValues(key, text(bounds[k]), types[0] == 'N') == 0) return sqlite3_result_int(ctx, 1);
  }
  sqlite3_result_int(ctx, 0);
}
void oraPartKey(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  try {
    partKey(ctx, argc, argv);
  } catch (...) {
    sqlite3_result_error_nomem(ctx);
  }
}
} // namespace

void registerPartitionFunctions(sqlite3* db) {
  sqlite3_create_function(db, "ora_part_key", -1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, oraPartKey, nullptr,
                          nullptr);
}

} // namespace ora
