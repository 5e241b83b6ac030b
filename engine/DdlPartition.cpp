// Partitioned tables: the partitioning clauses of CREATE TABLE, the partitions the dictionary
// records, the rows one partition holds, and ALTER TABLE ... PARTITION. The rows stay in the one
// table; a partition is the set of rows its bounds select.
#include "DdlPartition.h"

#include "FunctionUtil.h"
#include "OraError.h"
#include "OraValues.h"
#include "SqlText.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <sqlite3.h>

namespace ora::tx {

namespace {

const char kSep = '\x1f';

// A bound value as recorded: N<number text>, T<stored text>, M (MAXVALUE), 0 (NULL), D (DEFAULT).
struct PartDef {
  std::string name, high, tablespace;
  std::vector<std::string> values;
  int subparts = 0;
};

struct PartTable {
  std::string type, subtype, interval;
  std::vector<std::string> keys, subkeys;
  std::vector<ColType> keyTypes;
  int defSub = 0;
  std::vector<PartDef> parts;
};

std::vector<std::string> split(const std::string& s, char c) {
  std::vector<std::string> out;
  if (s.empty()) return out;
  size_t b = 0;
  for (;;) {
    size_t e = s.find(c, b);
    out.push_back(s.substr(b, e == std::string::npos ? std::string::npos : e - b));
    if (e == std::string::npos) break;
    b = e + 1;
  }
  return out;
}

std::string join(const std::vector<std::string>& v, const std::string& sep) {
  std::string out;
  for (size_t k = 0; k < v.size(); ++k) out += (k ? sep : "") + v[k];
  return out;
}

std::string colText(sqlite3_stmt* st, int i) {
  const unsigned char* p = sqlite3_column_text(st, i);
  return p ? reinterpret_cast<const char*>(p) : "";
}

bool loadPartitions(sqlite3* db, const std::string& table, PartTable& pt) {
  sqlite3_stmt* st = nullptr;
  bool found = false;
  if (sqlite3_prepare_v2(db,
                         "SELECT TYPE, SUBTYPE, KEYS, SUBKEYS, KEYTYPES, INTERVAL, DEF_SUBPARTS FROM"
                         " \"TESSEL$PART_TABLES\" WHERE TABLE_NAME = ?1",
                         -1, &st, nullptr) == SQLITE_OK) {
    sqlite3_bind_text(st, 1, table.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(st) == SQLITE_ROW) {
      found = true;
      pt.type = colText(st, 0);
      pt.subtype = colText(st, 1);
      pt.keys = split(colText(st, 2), '\t');
      pt.subkeys = split(colText(st, 3), '\t');
      for (auto& d : split(colText(st, 4), '\t')) pt.keyTypes.push_back(parseDeclType(d));
      pt.interval = colText(st, 5);
      pt.defSub = sqlite3_column_int(st, 6);
    }
  }
  sqlite3_finalize(st);
  if (!found) return false;
  if (sqlite3_prepare_v2(db,
                         "SELECT NAME, HIGH_VALUE, BOUND, SUBPARTS, TABLESPACE FROM \"TESSEL$PARTITIONS\""
                         " WHERE TABLE_NAME = ?1 ORDER BY POSITION",
                         -1, &st, nullptr) == SQLITE_OK) {
    sqlite3_bind_text(st, 1, table.c_str(), -1, SQLITE_TRANSIENT);
    while (sqlite3_step(st) == SQLITE_ROW) {
      PartDef p;
      p.name = colText(st, 0);
      p.high = colText(st, 1);
      p.values = split(colText(st, 2), kSep);
      p.subparts = sqlite3_column_int(st, 3);
      p.tablespace = colText(st, 4);
      pt.parts.push_back(p);
    }
  }
  sqlite3_finalize(st);
  return true;
}

// Two recorded values of one key: numbers by value, other values by their stored text.
int compareValues(const std::string& a, const std::string& b, bool number) {
  if (number) {
    Decimal x, y;
    if (parseDecimal(a, x) && parseDecimal(b, y)) return fn::compareDecimal(x, y);
  }
  int c = a.compare(b);
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

// Whether the bound tuple a is below b; MAXVALUE is above every value.
bool boundBelow(const std::vector<std::string>& a, const std::vector<std::string>& b, const std::vector<ColType>& types) {
  for (size_t k = 0; k < a.size() && k < b.size(); ++k) {
    bool am = a[k] == "M", bm = b[k] == "M";
    if (am || bm) {
      if (am && bm) continue;
      return bm;
    }
    int c = compareValues(a[k].substr(1), b[k].substr(1), types[k].code == kNumber);
    if (c) return c < 0;
  }
  return false;
}

// A recorded value as a literal of Oracle's SQL, of the key's type.
std::string oracleLiteral(const std::string& v, const ColType& type) {
  if (v == "0") return "NULL";
  std::string text = v.substr(1);
  if (v[0] == 'N') return text;
  if (type.code == kDate) return "TO_DATE(" + quoteString(text) + ", 'YYYY-MM-DD HH24:MI:SS')";
  if (isTimestamp(type.code))
    return "TO_TIMESTAMP(" + quoteString(text) + ", 'YYYY-MM-DD HH24:MI:SS" +
           (text.find('.') != std::string::npos ? ".FF')" : "')");
  return quoteString(text);
}

// The condition, in Oracle's SQL, that a row's keys (given as expressions) fall in partition p.
std::string partitionCondition(const PartTable& pt, size_t p, const std::vector<std::string>& keys) {
  if (pt.type == "HASH")
    return "ORA_HASH(" + keys[0] + ", " + std::to_string(pt.parts.size() - 1) + ") = " + std::to_string(p);
  if (pt.type == "LIST") {
    const std::string& k = keys[0];
    std::vector<std::string> listed;
    bool nullListed = false, isDefault = false;
    for (auto& v : pt.parts[p].values) {
      if (v == "D") isDefault = true;
      else if (v == "0") nullListed = true;
      else listed.push_back(oracleLiteral(v, pt.keyTypes[0]));
    }
    if (isDefault) {
      std::vector<std::string> others;
      bool nullElsewhere = false;
      for (size_t q = 0; q < pt.parts.size(); ++q)
        for (auto& v : pt.parts[q].values) {
          if (q == p || v == "D") continue;
          if (v == "0") nullElsewhere = true;
          else others.push_back(oracleLiteral(v, pt.keyTypes[0]));
        }
      return "CASE WHEN " + k + " IS NULL THEN " + (nullElsewhere ? "0" : "1") +
             (others.empty() ? "" : " WHEN " + k + " IN (" + join(others, ", ") + ") THEN 0") + " ELSE 1 END = 1";
    }
    std::string in = listed.empty() ? "1 = 0" : k + " IN (" + join(listed, ", ") + ")";
    return nullListed ? "(" + in + " OR " + k + " IS NULL)" : in;
  }
  // RANGE: below this partition's bound and not below the one before
  auto below = [&](const std::vector<std::string>& bound) {
    std::string out;
    int open = 0;
    for (size_t k = 0; k < keys.size() && k < bound.size(); ++k) {
      if (bound[k] == "M") {
        out += "1 = 1";
        break;
      }
      std::string lit = oracleLiteral(bound[k], pt.keyTypes[k]);
      if (k + 1 == keys.size()) {
        out += keys[k] + " < " + lit;
        break;
      }
      out += "(" + keys[k] + " < " + lit + " OR (" + keys[k] + " = " + lit + " AND ";
      open += 2;
    }
    return out + std::string(static_cast<size_t>(open), ')');
  };
  std::string cond = "CASE WHEN " + below(pt.parts[p].values) + " THEN 1 ELSE 0 END = 1";
  if (p > 0) cond += " AND CASE WHEN " + below(pt.parts[p - 1].values) + " THEN 0 ELSE 1 END = 1";
  return cond;
}

std::vector<std::string> keyColumns(const PartTable& pt) {
  std::vector<std::string> out;
  for (auto& k : pt.keys) out.push_back(quoteIdent(k));
  return out;
}

// The guard that refuses a row no partition takes: ORA-14400, as Oracle gives it.
std::vector<std::string> guardStatements(const PartTable& pt, const std::string& table) {
  std::vector<std::string> out = {"DROP TRIGGER IF EXISTS " + quoteIdent("TESSEL$PART$" + table),
                                  "DROP TRIGGER IF EXISTS " + quoteIdent("TESSEL$PARTU$" + table)};
  if (pt.parts.empty() || pt.type == "HASH" || !pt.interval.empty()) return out;
  std::string types, keys, bounds;
  for (size_t k = 0; k < pt.keys.size(); ++k) {
    types += pt.keyTypes[k].code == kNumber ? 'N' : 'T';
    keys += ", NEW." + quoteIdent(pt.keys[k]);
  }
  auto literal = [](const std::string& v) { return v == "M" || v == "0" ? std::string("NULL") : quoteString(v.substr(1)); };
  if (pt.type == "RANGE") {
    const auto& top = pt.parts.back().values;
    if (!top.empty() && top[0] == "M") return out;
    for (auto& v : top) bounds += ", " + literal(v);
  } else {
    for (auto& p : pt.parts)
      for (auto& v : p.values) {
        if (v == "D") return out;
        bounds += ", " + literal(v);
      }
  }
  std::string when = "ora_part_key('" + std::string(pt.type == "RANGE" ? "R" : "L") + "', '" + types + "'" + keys +
                     bounds + ") = 0";
  const std::string raise =
      " BEGIN SELECT RAISE(ABORT, 'ORA-14400: inserted partition key does not map to any partition'); END";
  out.push_back("CREATE TRIGGER " + quoteIdent("TESSEL$PART$" + table) + " BEFORE INSERT ON " + quoteIdent(table) +
                " FOR EACH ROW WHEN " + when + raise);
  std::string cols;
  for (auto& k : pt.keys) cols += (cols.empty() ? "" : ", ") + quoteIdent(k);
  out.push_back("CREATE TRIGGER " + quoteIdent("TESSEL$PARTU$" + table) + " BEFORE UPDATE OF " + cols + " ON " +
                quoteIdent(table) + " FOR EACH ROW WHEN " + when + raise);
  return out;
}

// Statements that record a table's partitions as they now are, and guard its rows.
std::vector<std::string> recordStatements(const PartTable& pt, const std::string& table) {
  std::vector<std::string> out = forgetPartitions(table);
  std::string types;
  for (auto& t : pt.keyTypes) types += (types.empty() ? "" : "\t") + declTypeText(t, Charset::AL32UTF8);
  out.push_back("INSERT INTO \"TESSEL$PART_TABLES\" (TABLE_NAME, TYPE, SUBTYPE, KEYS, SUBKEYS, KEYTYPES, INTERVAL,"
                " DEF_SUBPARTS) VALUES (" +
                quoteString(table) + ", " + quoteString(pt.type) + ", " + quoteString(pt.subtype) + ", " +
                quoteString(join(pt.keys, "\t")) + ", " + quoteString(join(pt.subkeys, "\t")) + ", " +
                quoteString(types) + ", " + (pt.interval.empty() ? "NULL" : quoteString(pt.interval)) + ", " +
                std::to_string(pt.defSub) + ")");
  for (size_t p = 0; p < pt.parts.size(); ++p) {
    const PartDef& d = pt.parts[p];
    out.push_back("INSERT INTO \"TESSEL$PARTITIONS\" (TABLE_NAME, NAME, POSITION, HIGH_VALUE, BOUND, SUBPARTS,"
                  " TABLESPACE) VALUES (" +
                  quoteString(table) + ", " + quoteString(d.name) + ", " + std::to_string(p + 1) + ", " +
                  (pt.type == "HASH" ? "NULL" : quoteString(d.high)) + ", " +
                  quoteString(join(d.values, std::string(1, kSep))) + ", " + std::to_string(d.subparts) + ", " +
                  (d.tablespace.empty() ? "NULL" : quoteString(d.tablespace)) + ")");
  }
  for (auto& g : guardStatements(pt, table)) out.push_back(g);
  return out;
}

size_t closing(const std::vector<Token>& t, size_t open) {
  size_t j = open + 1;
  while (j < t.size() && !(t[j].depth == t[open].depth && is(t[j], ")"))) ++j;
  if (j >= t.size()) throw OraError(907);
  return j;
}

const Token& tokenAt(const std::vector<Token>& t, size_t i) {
  static const Token end{Token::Op, "", "", 0};
  return i < t.size() ? t[i] : end;
}

std::string sourceOf(const std::string& src, const std::vector<Token>& t, size_t b, size_t e) {
  if (b >= e) return {};
  return src.substr(t[b].pos, t[e - 1].end - t[b].pos);
}

// The parenthesized list at open split at its top-level commas: [begin, end) of each item.
std::vector<std::pair<size_t, size_t>> items(const std::vector<Token>& t, size_t open) {
  std::vector<std::pair<size_t, size_t>> out;
  size_t close = closing(t, open), b = open + 1;
  for (size_t k = b; k <= close; ++k)
    if (k == close || (t[k].depth == t[open].depth + 1 && is(t[k], ","))) {
      if (k == b) throw OraError(936).at(static_cast<int>(t[k].pos));
      out.emplace_back(b, k);
      b = k + 1;
    }
  return out;
}

std::string nowStored(sqlite3_value* v) {
  if (sqlite3_value_type(v) == SQLITE_INTEGER || sqlite3_value_type(v) == SQLITE_FLOAT) return numberText(v);
  const unsigned char* p = sqlite3_value_text(v);
  return p ? reinterpret_cast<const char*>(p) : "";
}

// A bound's value as the key column holds it; Oracle's error when it is none.
std::string evaluateBound(Catalog& cat, const std::string& expr, const ColType& type, int pos) {
  std::string e = expr;
  if (type.code == kDate) e = "CAST(" + expr + " AS DATE)";
  else if (type.code == kNumber) e = "TO_NUMBER(" + expr + ")";
  Translation tr;
  try {
    tr = translate("SELECT " + e + " FROM DUAL", cat);
  } catch (OraError& err) {
    throw err.at(pos);
  }
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(cat.db(), tr.sql.c_str(), -1, &st, nullptr);
  if (rc != SQLITE_OK) {
    OraError err = fromSqlite(rc, sqlite3_errmsg(cat.db()), "SELECT");
    sqlite3_finalize(st);
    throw err.at(pos);
  }
  rc = sqlite3_step(st);
  if (rc != SQLITE_ROW) {
    OraError err = fromSqlite(rc, sqlite3_errmsg(cat.db()), "SELECT");
    sqlite3_finalize(st);
    throw err.at(pos);
  }
  sqlite3_value* v = sqlite3_column_value(st, 0);
  std::string out;
  if (sqlite3_value_type(v) == SQLITE_NULL) out = "0";
  else out = (type.code == kNumber ? "N" : "T") + nowStored(v);
  sqlite3_finalize(st);
  return out;
}

// A range bound as USER_TAB_PARTITIONS shows it: dates in Oracle's own TO_DATE form.
std::string highValueText(const std::string& written, const std::string& value, const ColType& type) {
  if (value == "M") return "MAXVALUE";
  if (type.code == kDate && value.size() > 1)
    return "TO_DATE(' " + value.substr(1) + "', 'SYYYY-MM-DD HH24:MI:SS', 'NLS_CALENDAR=GREGORIAN')";
  if (isTimestamp(type.code) && value.size() > 1) return "TIMESTAMP' " + value.substr(1) + "'";
  return written;
}

struct PartReader {
  const std::vector<Token>& t;
  const std::string& src;
  Catalog& cat;
  PartTable& pt;
  int64_t& sysName;

  std::string systemName() { return "SYS_P" + std::to_string(++sysName); }

  // VALUES LESS THAN (...) / VALUES (...) of one partition at i; returns the index after it.
  size_t bounds(size_t i, PartDef& d) {
    const Token& v = tokenAt(t, i);
    if (pt.type == "HASH") return i;
    if (!is(v, "VALUES")) throw OraError(pt.type == "RANGE" ? 14311 : 926).at(static_cast<int>(v.pos));
    ++i;
    if (pt.type == "RANGE") {
      if (!is(tokenAt(t, i), "LESS") || !is(tokenAt(t, i + 1), "THAN"))
        throw OraError(14311).at(static_cast<int>(tokenAt(t, i).pos));
      i += 2;
    }
    if (!is(tokenAt(t, i), "(")) throw OraError(906).at(static_cast<int>(tokenAt(t, i).pos));
    auto list = items(t, i);
    if (pt.type == "RANGE") {
      if (list.size() > pt.keys.size()) throw OraError(14017).at(static_cast<int>(t[list[pt.keys.size()].first].pos));
      if (list.size() < pt.keys.size()) throw OraError(14018).at(static_cast<int>(t[i].pos));
    }
    std::vector<std::string> written;
    for (size_t k = 0; k < list.size(); ++k) {
      auto [b, e] = list[k];
      std::string text = sourceOf(src, t, b, e);
      written.push_back(text);
      const ColType& type = pt.keyTypes[pt.type == "RANGE" ? k : 0];
      if (e == b + 1 && is(t[b], "MAXVALUE") && pt.type == "RANGE") d.values.push_back("M");
      else if (e == b + 1 && is(t[b], "DEFAULT") && pt.type == "LIST") d.values.push_back("D");
      else if (e == b + 1 && is(t[b], "NULL") && pt.type == "LIST") d.values.push_back("0");
      else {
        std::string value = evaluateBound(cat, text, type, static_cast<int>(t[b].pos));
        if (value == "0" && pt.type == "RANGE") throw OraError(14019).at(static_cast<int>(t[b].pos));
        d.values.push_back(value);
      }
      if (pt.type == "RANGE") written.back() = highValueText(text, d.values.back(), type);
    }
    d.high = join(written, ", ");
    return closing(t, i) + 1;
  }

  // What follows a partition's bounds up to `end`: its storage and its subpartitions.
  void description(size_t i, size_t end, PartDef& d) {
    d.subparts = pt.subtype.empty() ? 0 : std::max(pt.defSub, 1);
    while (i < end) {
      if (is(t[i], "TABLESPACE") && i + 1 < end) {
        d.tablespace = t[i + 1].text;
        i += 2;
      } else if (is(t[i], "(")) {
        if (pt.subtype.empty()) throw OraError(922).at(static_cast<int>(t[i].pos));
        size_t close = closing(t, i);
        d.subparts = 0;
        for (size_t k = i + 1; k < close; ++k)
          if (t[k].depth == t[i].depth + 1 && is(t[k], "SUBPARTITION")) ++d.subparts;
        i = close + 1;
      } else if (is(t[i], "SUBPARTITIONS") && i + 1 < end && t[i + 1].kind == Token::Num) {
        if (pt.subtype.empty()) throw OraError(922).at(static_cast<int>(t[i].pos));
        d.subparts = std::atoi(t[i + 1].text.c_str());
        i += 2;
      } else if (is(tokenAt(t, i + 1), "(") && t[i].kind == Token::Ident) {
        i = closing(t, i + 1) + 1; // STORAGE (...), LOB (...) and the like
      } else {
        ++i;
      }
    }
  }

  // The parenthesized partition list at open.
  void partitionList(size_t open) {
    for (auto [b, e] : items(t, open)) {
      if (!is(t[b], "PARTITION")) throw OraError(905).at(static_cast<int>(t[b].pos));
      PartDef d;
      size_t i = b + 1;
      bool named = i < e && (t[i].kind == Token::QIdent || (t[i].kind == Token::Ident && !is(t[i], "VALUES") &&
                                                            !is(t[i], "TABLESPACE") && !keywordAt(t, i)));
      if (named) {
        d.name = t[i].text;
        ++i;
      } else {
        d.name = systemName();
      }
      for (auto& p : pt.parts)
        if (p.name == d.name) throw OraError(14013).at(static_cast<int>(t[b + 1].pos));
      i = bounds(i, d);
      description(i, e, d);
      if (pt.type == "RANGE" && !pt.parts.empty() && !boundBelow(pt.parts.back().values, d.values, pt.keyTypes))
        throw OraError(14037, pt.parts.back().name).at(static_cast<int>(t[b].pos));
      pt.parts.push_back(d);
    }
  }
};

} // namespace

std::vector<std::string> forgetPartitions(const std::string& table) {
  return {"DELETE FROM \"TESSEL$PART_TABLES\" WHERE TABLE_NAME = " + quoteString(table),
          "DELETE FROM \"TESSEL$PARTITIONS\" WHERE TABLE_NAME = " + quoteString(table)};
}

size_t indexPartitioning(const std::vector<Token>& t, size_t i) {
  if (!is(tokenAt(t, i), "LOCAL") && !is(tokenAt(t, i), "GLOBAL")) return i;
  ++i;
  // GLOBAL PARTITION BY RANGE|HASH (cols) (...) | PARTITIONS n
  if (is(tokenAt(t, i), "PARTITION") && is(tokenAt(t, i + 1), "BY")) {
    i += 3;
    if (is(tokenAt(t, i), "(")) i = closing(t, i) + 1;
    if (is(tokenAt(t, i), "PARTITIONS")) i += 2;
  }
  while (i < t.size() && (is(t[i], "STORE") || is(t[i], "IN"))) ++i;
  if (is(tokenAt(t, i), "(")) i = closing(t, i) + 1;
  return i;
}

size_t tableProperties(const std::vector<Token>& t, size_t i, size_t end, const std::string& src, Catalog& cat,
                       const std::string& table, const std::vector<std::pair<std::string, ColType>>& cols,
                       bool hasPrimaryKey, std::vector<std::string>& after) {
  auto word = [&](size_t k, const char* w) { return k < end && is(t[k], w); };
  auto skipParens = [&](size_t k) { return word(k, "(") ? closing(t, k) + 1 : k; };
  auto columnType = [&](const Token& name) {
    for (auto& [n, type] : cols)
      if (n == name.text) return type;
    throw OraError(904, "\"" + name.text + "\"").at(static_cast<int>(name.pos));
  };
  PartTable pt;
  bool partitioned = false;
  while (i < end) {
    // PARALLEL n, the word read by skipPhysical
    if (t[i].kind == Token::Num && i > 0 && is(t[i - 1], "PARALLEL")) {
      ++i;
      continue;
    }
    if (t[i].kind != Token::Ident) break;
    bool compressed = i > 0 && is(t[i - 1], "COMPRESS"); // skipPhysical read the word itself
    if (compressed || word(i, "COMPRESS") ||
        ((word(i, "ROW") || word(i, "COLUMN")) && word(i + 1, "STORE") && word(i + 2, "COMPRESS"))) {
      // COMPRESS [BASIC | n | FOR OLTP | FOR QUERY LOW ...]: the engine's storage is its own
      size_t from = i;
      if (!compressed) i = word(i, "COMPRESS") ? i + 1 : i + 3;
      if (word(i, "BASIC") || word(i, "ADVANCED") || (i < end && t[i].kind == Token::Num)) ++i;
      else if (word(i, "FOR")) {
        i += 2;
        while (word(i, "LOW") || word(i, "HIGH") || word(i, "OPERATIONS")) ++i;
      }
      if (i != from) continue;
    }
    if (word(i, "PARALLEL")) {
      ++i;
      if (i < end && t[i].kind == Token::Num) ++i;
      i = skipParens(i);
      continue;
    }
    size_t j = skipPhysical(t, i);
    if (j != i) {
      i = j;
      continue;
    }
    if (word(i, "ORGANIZATION")) {
      if (word(i + 1, "HEAP")) {
        i += 2;
      } else if (word(i + 1, "INDEX")) {
        // an index-organized table is kept in its primary key's order, which it must have
        if (!hasPrimaryKey) throw OraError(25175).at(static_cast<int>(t[i].pos));
        i += 2;
      } else if (word(i + 1, "EXTERNAL")) {
        throw OraError(30657).at(static_cast<int>(t[i + 1].pos));
      } else {
        throw OraError(922).at(static_cast<int>(tokenAt(t, i + 1).pos));
      }
    } else if (word(i, "PCTTHRESHOLD") || word(i, "INCLUDING")) {
      i += 2;
    } else if (word(i, "OVERFLOW") || word(i, "NOMAPPING") || word(i, "MONITORING") || word(i, "NOMONITORING") ||
               word(i, "ROWDEPENDENCIES") || word(i, "NOROWDEPENDENCIES") || word(i, "INMEMORY")) {
      ++i;
    } else if (word(i, "MAPPING") && word(i + 1, "TABLE")) {
      i += 2;
    } else if (word(i, "NO") && word(i + 1, "INMEMORY")) {
      i += 2;
    } else if (word(i, "LOB") && word(i + 1, "(")) {
      // LOB (col, ...) STORE AS [SECUREFILE | BASICFILE] [segment] [(storage)]
      size_t close = closing(t, i + 1);
      for (size_t k = i + 2; k < close; ++k)
        if (t[k].kind == Token::Ident || t[k].kind == Token::QIdent) columnType(t[k]);
      i = close + 1;
      if (!word(i, "STORE") || !word(i + 1, "AS")) throw OraError(905).at(static_cast<int>(tokenAt(t, i).pos));
      i += 2;
      if (word(i, "SECUREFILE") || word(i, "BASICFILE")) ++i;
      if (i < end && (t[i].kind == Token::QIdent || (t[i].kind == Token::Ident && !keywordAt(t, i) &&
                                                     skipPhysical(t, i) == i && !word(i, "LOB") && !word(i, "PARTITION"))))
        ++i;
      i = skipParens(i);
    } else if ((word(i, "ENABLE") || word(i, "DISABLE")) && word(i + 1, "ROW") && word(i + 2, "MOVEMENT")) {
      i += 3;
    } else if (word(i, "SEGMENT") && word(i + 1, "CREATION") && (word(i + 2, "IMMEDIATE") || word(i + 2, "DEFERRED"))) {
      i += 3;
    } else if (word(i, "RESULT_CACHE")) {
      i = skipParens(i + 1);
    } else if (word(i, "PARTITION") && word(i + 1, "BY")) {
      if (partitioned) throw OraError(922).at(static_cast<int>(t[i].pos));
      partitioned = true;
      i += 2;
      if (!word(i, "RANGE") && !word(i, "LIST") && !word(i, "HASH")) throw OraError(922).at(static_cast<int>(tokenAt(t, i).pos));
      pt.type = t[i].text;
      ++i;
      if (!word(i, "(")) throw OraError(906).at(static_cast<int>(tokenAt(t, i).pos));
      for (auto [b, e] : items(t, i)) {
        if (e != b + 1 || (t[b].kind != Token::Ident && t[b].kind != Token::QIdent)) throw OraError(904).at(static_cast<int>(t[b].pos));
        pt.keyTypes.push_back(columnType(t[b]));
        pt.keys.push_back(t[b].text);
      }
      // a list is of one column
      if (pt.type == "LIST" && pt.keys.size() > 1) throw OraError(14304).at(static_cast<int>(t[i].pos));
      i = closing(t, i) + 1;
      if (word(i, "INTERVAL")) {
        if (pt.type != "RANGE" || pt.keys.size() != 1) throw OraError(14750).at(static_cast<int>(t[i].pos));
        if (!word(i + 1, "(")) throw OraError(906).at(static_cast<int>(tokenAt(t, i + 1).pos));
        size_t close = closing(t, i + 1);
        pt.interval = sourceOf(src, t, i + 2, close);
        i = close + 1;
        if (word(i, "STORE") && word(i + 1, "IN")) i = skipParens(i + 2);
      }
      if (word(i, "SUBPARTITION") && word(i + 1, "BY")) {
        i += 2;
        if (!word(i, "RANGE") && !word(i, "LIST") && !word(i, "HASH")) throw OraError(922).at(static_cast<int>(tokenAt(t, i).pos));
        pt.subtype = t[i].text;
        ++i;
        if (!word(i, "(")) throw OraError(906).at(static_cast<int>(tokenAt(t, i).pos));
        for (auto [b, e] : items(t, i)) {
          columnType(t[b]);
          pt.subkeys.push_back(t[b].text);
        }
        i = closing(t, i) + 1;
        if (word(i, "SUBPARTITIONS") && i + 1 < end && t[i + 1].kind == Token::Num) {
          pt.defSub = std::atoi(t[i + 1].text.c_str());
          i += 2;
          if (word(i, "STORE") && word(i + 1, "IN")) i = skipParens(i + 2);
        }
        if (word(i, "SUBPARTITION") && word(i + 1, "TEMPLATE")) {
          i += 2;
          if (i < end && t[i].kind == Token::Num) {
            pt.defSub = std::atoi(t[i].text.c_str());
            ++i;
          } else if (word(i, "(")) {
            size_t close = closing(t, i);
            pt.defSub = 0;
            for (size_t k = i + 1; k < close; ++k)
              if (t[k].depth == t[i].depth + 1 && is(t[k], "SUBPARTITION")) ++pt.defSub;
            i = close + 1;
          }
        }
      }
      int64_t sysName = 0;
      {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(cat.db(), "SELECT IFNULL(MAX(rowid), 0) + 40 FROM \"TESSEL$PARTITIONS\"", -1, &st, nullptr);
        if (st && sqlite3_step(st) == SQLITE_ROW) sysName = sqlite3_column_int64(st, 0);
        sqlite3_finalize(st);
      }
      PartReader reader{t, src, cat, pt, sysName};
      if (pt.type == "HASH" && word(i, "PARTITIONS")) {
        if (i + 1 >= end || t[i + 1].kind != Token::Num) throw OraError(922).at(static_cast<int>(tokenAt(t, i + 1).pos));
        int n = std::atoi(t[i + 1].text.c_str());
        if (n < 1 || n > 1048575) throw OraError(922).at(static_cast<int>(t[i + 1].pos));
        for (int k = 0; k < n; ++k) {
          PartDef d;
          d.name = reader.systemName();
          d.subparts = pt.subtype.empty() ? 0 : std::max(pt.defSub, 1);
          pt.parts.push_back(d);
        }
        i += 2;
        if (word(i, "STORE") && word(i + 1, "IN")) i = skipParens(i + 2);
      } else {
        if (!word(i, "(")) throw OraError(906).at(static_cast<int>(tokenAt(t, i).pos));
        reader.partitionList(i);
        i = closing(t, i) + 1;
      }
    } else {
      break;
    }
  }
  if (partitioned)
    for (auto& s : recordStatements(pt, table)) after.push_back(s);
  return i;
}

bool partitionExtension(const std::string& text, Catalog& cat, std::string& out) {
  if (text.find("PARTITION") == std::string::npos && text.find("partition") == std::string::npos &&
      text.find("Partition") == std::string::npos)
    return false;
  std::vector<Token> t;
  try {
    t = tokenize(text);
  } catch (const OraError&) {
    return false;
  }
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
    bool byValue = is(t[k + 1], "FOR");
    size_t open = byValue ? k + 2 : k + 1, close = closing(t, open);
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

bool alterPartitions(const std::string& text, Catalog& cat, Translation& out) {
  if (text.find("PARTITION") == std::string::npos && text.find("partition") == std::string::npos &&
      text.find("MOVEMENT") == std::string::npos && text.find("movement") == std::string::npos)
    return false;
  std::vector<Token> t;
  try {
    t = tokenize(text);
  } catch (const OraError&) {
    return false;
  }
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
    int64_t sysName = 0;
    {
      sqlite3_stmt* st = nullptr;
      sqlite3_prepare_v2(cat.db(), "SELECT IFNULL(MAX(rowid), 0) + 40 FROM \"TESSEL$PARTITIONS\"", -1, &st, nullptr);
      if (st && sqlite3_step(st) == SQLITE_ROW) sysName = sqlite3_column_int64(st, 0);
      sqlite3_finalize(st);
    }
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
      int c = tx::compareValues(text(keys[k]), text(bounds[k]), types[k] == 'N');
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
    if (tx::compareValues(key, text(bounds[k]), types[0] == 'N') == 0) return sqlite3_result_int(ctx, 1);
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
