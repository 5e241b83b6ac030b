// Partitioned tables as recorded: their partitions' bounds, the rows each takes, the guard
// that refuses a row no partition takes, and the reading of partition descriptions.
#include "PartitionImpl.h"

#include "DdlPartition.h"
#include "FunctionUtil.h"
#include "OraError.h"
#include "OraValues.h"
#include "SqlText.h"

#include <algorithm>
#include <set>
#include <sqlite3.h>

namespace ora::tx::part {

static const char kSep = '\x1f';

static std::vector<std::string> split(const std::string& s, char c) {
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

static std::string join(const std::vector<std::string>& v, const std::string& sep) {
  std::string out;
  for (size_t k = 0; k < v.size(); ++k) out += (k ? sep : "") + v[k];
  return out;
}

static std::string colText(sqlite3_stmt* st, int i) {
  const unsigned char* p = sqlite3_column_text(st, i);
  return p ? reinterpret_cast<const char*>(p) : "";
}

bool loadPartitions(sqlite3* db, const std::string& table, PartTable& pt) {
  sqlite3_stmt* st = nullptr;
  bool found = false;
  if (sqlite3_prepare_v2(db,
                         "SELECT TYPE, SUBTYPE, KEYS, SUBKEYS, KEYTYPES, INTERVAL, DEF_SUBPARTS, ROW_MOVEMENT FROM"
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
      pt.rowMovement = sqlite3_column_int(st, 7) != 0;
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
static std::string oracleLiteral(const std::string& v, const ColType& type) {
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
// The SQL of the partition (0-based) a row's keys (row: NEW or OLD) fall in: the count of range
// bounds they are not below, the list that holds them, their hash bucket; -1 for none.
std::string positionOf(const PartTable& pt, const std::string& row) {
  std::string types, keys;
  for (size_t k = 0; k < pt.keys.size(); ++k) {
    types += pt.keyTypes[k].code == kNumber ? 'N' : 'T';
    keys += ", " + row + "." + quoteIdent(pt.keys[k]);
  }
  auto literal = [](const std::string& v) { return v == "M" || v == "0" ? std::string("NULL") : quoteString(v.substr(1)); };
  if (pt.type == "HASH")
    // the SQL function takes the value's type code first, as the translated call gives it
    return "ORA_HASH(" + std::to_string(pt.keyTypes[0].code) + ", " + row + "." + quoteIdent(pt.keys[0]) + ", " +
           std::to_string(pt.parts.size() - 1) + ")";
  std::string out;
  if (pt.type == "RANGE") {
    for (auto& p : pt.parts) {
      std::string bound;
      for (auto& v : p.values) bound += ", " + literal(v);
      out += (out.empty() ? "(" : " + ") + std::string("(ora_part_key('R', '") + types + "'" + keys + bound + ") = 0)";
    }
    return out + ")";
  }
  std::string fallback = "-1";
  out = "CASE";
  for (size_t q = 0; q < pt.parts.size(); ++q) {
    std::string list;
    for (auto& v : pt.parts[q].values) {
      if (v == "D") fallback = std::to_string(q);
      else list += ", " + literal(v);
    }
    if (!list.empty()) out += " WHEN ora_part_key('L', '" + types + "'" + keys + list + ") = 1 THEN " + std::to_string(q);
  }
  return out + " ELSE " + fallback + " END";
}

static std::vector<std::string> guardStatements(const PartTable& pt, const std::string& table) {
  std::vector<std::string> out = {"DROP TRIGGER IF EXISTS " + quoteIdent("TESSEL$PART$" + table),
                                  "DROP TRIGGER IF EXISTS " + quoteIdent("TESSEL$PARTU$" + table),
                                  "DROP TRIGGER IF EXISTS " + quoteIdent("TESSEL$PARTM$" + table)};
  std::string cols;
  for (auto& k : pt.keys) cols += (cols.empty() ? "" : ", ") + quoteIdent(k);
  if (!pt.parts.empty() && !pt.rowMovement) {
    // without ROW MOVEMENT an update may not take a row to another partition; one that takes it
    // to none is ORA-14400's
    std::string now = positionOf(pt, "NEW"), before = positionOf(pt, "OLD");
    std::string some = pt.type == "RANGE" ? now + " < " + std::to_string(pt.parts.size()) + (pt.interval.empty() ? "" : " + 1")
                                          : now + " >= 0";
    out.push_back("CREATE TRIGGER " + quoteIdent("TESSEL$PARTM$" + table) + " BEFORE UPDATE OF " + cols + " ON " +
                  quoteIdent(table) + " FOR EACH ROW WHEN " + now + " <> " + before + " AND " + some +
                  " BEGIN SELECT RAISE(ABORT, 'ORA-14402: updating partition key column would cause a partition change');"
                  " END");
  }
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
                " DEF_SUBPARTS, ROW_MOVEMENT) VALUES (" +
                quoteString(table) + ", " + quoteString(pt.type) + ", " + quoteString(pt.subtype) + ", " +
                quoteString(join(pt.keys, "\t")) + ", " + quoteString(join(pt.subkeys, "\t")) + ", " +
                quoteString(types) + ", " + (pt.interval.empty() ? "NULL" : quoteString(pt.interval)) + ", " +
                std::to_string(pt.defSub) + ", " + (pt.rowMovement ? "1" : "0") + ")");
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

static std::string nowStored(sqlite3_value* v) {
  if (sqlite3_value_type(v) == SQLITE_INTEGER || sqlite3_value_type(v) == SQLITE_FLOAT) return numberText(v);
  const unsigned char* p = sqlite3_value_text(v);
  return p ? reinterpret_cast<const char*>(p) : "";
}

// A bound's value as the key column holds it; Oracle's error when it is none.
static std::string evaluateBound(Catalog& cat, const std::string& expr, const ColType& type, int pos) {
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
static std::string highValueText(const std::string& written, const std::string& value, const ColType& type) {
  if (value == "M") return "MAXVALUE";
  if (type.code == kDate && value.size() > 1)
    return "TO_DATE(' " + value.substr(1) + "', 'SYYYY-MM-DD HH24:MI:SS', 'NLS_CALENDAR=GREGORIAN')";
  if (isTimestamp(type.code) && value.size() > 1) return "TIMESTAMP' " + value.substr(1) + "'";
  return written;
}

int64_t systemNameBase(sqlite3* db) {
  int64_t n = 0;
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "SELECT IFNULL(MAX(rowid), 0) + 40 FROM \"TESSEL$PARTITIONS\"", -1, &st, nullptr);
  if (st && sqlite3_step(st) == SQLITE_ROW) n = sqlite3_column_int64(st, 0);
  sqlite3_finalize(st);
  return n;
}

size_t PartReader::bounds(size_t i, PartDef& d) {
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

void PartReader::description(size_t i, size_t end, PartDef& d) {
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

void PartReader::partitionList(size_t open) {
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

} // namespace ora::tx::part
