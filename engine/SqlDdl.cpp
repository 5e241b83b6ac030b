// The DDL half of the translator: tables, indexes, views, sequences, triggers, stored source,
// users.
#include "Database.h"
#include "Dictionary.h"
#include "OraError.h"
#include "Session.h"
#include "TranslateImpl.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <sqlite3.h>

namespace ora::tx {

// Physical attributes Oracle accepts after a table or index definition; storage is ours.
size_t skipPhysical(const std::vector<Token>& t, size_t i) {
  static const std::set<std::string> withValue = {"TABLESPACE", "PCTFREE", "PCTUSED", "INITRANS",
                                                  "MAXTRANS"};
  static const std::set<std::string> single = {"LOGGING", "NOLOGGING", "COMPRESS", "NOCOMPRESS",
                                               "CACHE", "NOCACHE", "PARALLEL", "NOPARALLEL"};
  while (i < t.size()) {
    if (t[i].kind != Token::Ident) break;
    if (withValue.count(t[i].text) && i + 1 < t.size()) { i += 2; continue; }
    if (single.count(t[i].text)) { ++i; continue; }
    if (t[i].text == "STORAGE" && i + 1 < t.size() && t[i + 1].text == "(") {
      int d = t[i + 1].depth;
      i += 2;
      while (i < t.size() && !(t[i].depth == d && t[i].text == ")")) ++i;
      ++i;
      continue;
    }
    break;
  }
  return i;
}

namespace {
bool defaultEnds(const Token& k) {
  static const std::set<std::string> w = {"CONSTRAINT", "NOT", "NULL", "PRIMARY", "UNIQUE", "REFERENCES", "CHECK"};
  return k.kind == Token::Ident && w.count(k.text);
}
} // namespace

std::string Translator::columnDef(size_t b, size_t k, std::string& name, ColType& ct,
                                  std::set<std::string>& pk,
                                  std::vector<std::pair<std::string, std::string>>& named) {
  const Token& nameTok = t_[b];
  if (nameTok.kind != Token::Ident && nameTok.kind != Token::QIdent) throw OraError(904);
  if (keywordAt(t_, b)) throw OraError(904, nameTok.text);
  checkName(nameTok.text);
  name = nameTok.text;
  // the type: a name, an optional second word, an optional (n[,m])
  size_t j = b + 1;
  if (j >= k || at(j).kind != Token::Ident) throw OraError(902);
  std::string tn = at(j).text;
  ++j;
  if ((tn == "LONG" && is(at(j), "RAW")) || (tn == "DOUBLE" && is(at(j), "PRECISION"))) {
    tn += " " + at(j).text;
    ++j;
  }
  int a = -1, s = 0;
  bool hasS = false, star = false;
  if (j < k && is(at(j), "(")) {
    if (is(at(j + 1), "*")) star = true;
    else if (at(j + 1).kind == Token::Num) a = std::atoi(at(j + 1).text.c_str());
    else throw OraError(902);
    j += 2;
    if (is(at(j), "BYTE") || is(at(j), "CHAR")) ++j;
    if (is(at(j), ",")) {
      bool neg = is(at(j + 1), "-");
      if (neg) ++j;
      if (at(j + 1).kind != Token::Num) throw OraError(902);
      s = std::atoi(at(j + 1).text.c_str()) * (neg ? -1 : 1);
      hasS = true;
      j += 2;
    }
    if (!is(at(j), ")")) throw OraError(907);
    ++j;
  }
  ct = ColType{};
  if (tn == "VARCHAR2" || tn == "VARCHAR" || tn == "NVARCHAR2") {
    if (a < 0) throw OraError(906);
    if (a < 1 || a > 4000) throw OraError(910);
    ct.code = kVarchar2; ct.size = a;
  } else if (tn == "CHAR" || tn == "NCHAR") {
    if (a > 2000 || a == 0) throw OraError(910);
    ct.code = kChar; ct.size = a < 0 ? 1 : a;
  } else if (tn == "NUMBER" || tn == "NUMERIC" || tn == "DECIMAL") {
    ct.code = kNumber;
    if (a == 0 || a > 38) throw OraError(1727);
    if (hasS && (s < -84 || s > 127)) throw OraError(1728);
    if (a > 0 || star) { ct.precision = star ? 0 : a; ct.scale = s; ct.hasScale = true; }
  } else if (tn == "INTEGER" || tn == "INT" || tn == "SMALLINT") {
    ct.code = kNumber; ct.precision = 38; ct.hasScale = true;
  } else if (tn == "FLOAT" || tn == "REAL" || tn == "DOUBLE PRECISION") {
    ct.code = kNumber;
  } else if (tn == "DATE") {
    ct.code = kDate;
  } else if (tn == "RAW") {
    if (a < 0) throw OraError(906);
    if (a < 1 || a > 2000) throw OraError(910);
    ct.code = kRaw; ct.size = a;
  } else if (tn == "LONG") {
    ct.code = kLong;
  } else if (tn == "LONG RAW") {
    ct.code = kLongRaw;
  } else if (tn == "ROWID") {
    ct.code = kRowid;
  } else {
    throw OraError(902, tn);
  }
  std::string def = quoteIdent(name) + " " + declTypeText(ct);
  // SQLite takes an expression as a default only in parentheses
  for (size_t m = j; m < k;) {
    if (is(t_[m], "DEFAULT")) {
      if (m + 1 >= k) throw OraError(936);
      size_t x = m + 2;
      while (x < k && !(t_[x].depth == t_[m].depth && defaultEnds(t_[x]))) ++x;
      def += " DEFAULT (" + emit(m + 1, x) + ")";
      m = x;
      continue;
    }
    size_t x = m + 1;
    while (x < k && !is(t_[x], "DEFAULT")) ++x;
    def += " " + emit(m, x);
    m = x;
  }
  std::string cname;
  for (size_t m = j; m < k; ++m) {
    if (is(t_[m], "CONSTRAINT") && m + 1 < k) { cname = t_[m + 1].text; continue; }
    bool pkHere = m + 1 < k && is(t_[m], "PRIMARY") && is(t_[m + 1], "KEY");
    if (pkHere) pk.insert(name);
    if (pkHere || is(t_[m], "UNIQUE")) named.emplace_back(cname, pkHere ? "P" : "U");
    if (pkHere || is(t_[m], "UNIQUE") || is(t_[m], "REFERENCES") || is(t_[m], "CHECK") ||
        (is(t_[m], "NULL") && m > j))
      cname.clear();
  }
  return def;
}

// Names for the PRIMARY KEY and UNIQUE constraints of a table, recorded with their columns.
void recordConstraints(Translation& tr, Catalog& cat, const std::string& table,
                       const std::vector<std::pair<std::string, std::vector<std::string>>>& cons,
                       const std::vector<std::string>& types) {
  int64_t base = 0;
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(cat.db(), "SELECT IFNULL(MAX(rowid), 0) FROM \"TESSEL$CONSTRAINTS\"", -1, &st, nullptr);
  if (sqlite3_step(st) == SQLITE_ROW) base = sqlite3_column_int64(st, 0);
  sqlite3_finalize(st);
  for (size_t i = 0; i < cons.size(); ++i) {
    std::string name = cons[i].first;
    if (name.empty()) {
      char buf[32];
      std::snprintf(buf, sizeof buf, "SYS_C%06lld", static_cast<long long>(base + 1 + i));
      name = buf;
    }
    std::string cols;
    for (auto& c : cons[i].second) cols += (cols.empty() ? "" : "\t") + c;
    tr.ddl.push_back("INSERT INTO \"TESSEL$CONSTRAINTS\" (NAME, TABLE_NAME, TYPE, COLS) VALUES (" +
                     quoteString(name) + ", " + quoteString(table) + ", " + quoteString(types[i]) +
                     ", " + quoteString(cols) + ")");
  }
}

// Columns of a parenthesised name list starting at i ("(" ... ")").
std::vector<std::string> nameList(const std::vector<Token>& t, size_t i, size_t e) {
  std::vector<std::string> out;
  if (i >= e || !is(t[i], "(")) return out;
  for (size_t m = i + 1; m < e && !(t[m].depth == t[i].depth && is(t[m], ")")); ++m)
    if (t[m].kind == Token::Ident || t[m].kind == Token::QIdent) out.push_back(t[m].text);
  return out;
}

namespace {
// A query's result columns: their names (given, or the query's own) and described types.
struct QueryShape {
  Translation sel;
  std::vector<std::string> names;
  std::vector<ColType> types;
};

QueryShape describeQuery(const std::string& text, Catalog& cat, const std::vector<std::string>& names,
                         const char* what) {
  QueryShape shape;
  shape.sel = translate(text, cat);
  if (shape.sel.kind != StmtKind::Query) throw OraError(928);
  if (!shape.sel.dictionary.empty())
    throw OraError(1031, std::string(what) + " cannot read the data dictionary here");
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(cat.db(), shape.sel.sql.c_str(), -1, &st, nullptr);
  if (rc != SQLITE_OK) {
    OraError e = fromSqlite(rc, sqlite3_errmsg(cat.db()), "SELECT");
    sqlite3_finalize(st);
    throw e;
  }
  int n = sqlite3_column_count(st);
  for (int k = 0; k < n; ++k) {
    shape.names.push_back(names.empty() ? sqlite3_column_name(st, k) : "");
    shape.types.push_back(resultType(st, k, shape.sel));
  }
  sqlite3_finalize(st);
  if (!names.empty()) {
    if (names.size() != shape.names.size()) throw OraError(1730);
    shape.names = names;
  }
  std::set<std::string> seen;
  for (auto& cn : shape.names)
    if (!seen.insert(cn).second) throw OraError(957, cn);
  return shape;
}
} // namespace

// CREATE TABLE name [(columns)] AS query: the query's columns with the types it describes, then
// its rows.
void Translator::createTableAs(const std::string& table, size_t i) {
  std::vector<std::string> names;
  if (is(at(i), "(")) {
    names = nameList(t_, i, size());
    i = matching(i) + 1;
  }
  QueryShape shape = describeQuery(source(i + 1, size()), cat_, names, "a table");
  const Translation& sel = shape.sel;
  std::string defs, cols;
  int longs = 0;
  for (size_t k = 0; k < shape.names.size(); ++k) {
    const std::string& cn = shape.names[k];
    const ColType& ct = shape.types[k];
    // an expression needs a name of its own, as in Oracle
    bool plain = !cn.empty() && cn.size() <= 30 && cn.find_first_of("()+-*/|' ,.") == std::string::npos;
    if (!plain) throw OraError(998, cn);
    if (ct.code == kLong || ct.code == kLongRaw) ++longs;
    defs += (k ? ", " : "") + quoteIdent(cn) + " " + declTypeText(ct);
    cols += (k ? ", " : "") + quoteIdent(cn);
  }
  if (longs) throw OraError(997);
  tr_.ddl.push_back("CREATE TABLE " + quoteIdent(table) + " (" + defs + ")");
  tr_.ddl.push_back("INSERT INTO " + quoteIdent(table) + " (" + cols + ") " + sel.sql);
  tr_.ddl.push_back("INSERT INTO \"TESSEL$OBJECTS\" (NAME, TYPE, CREATED) VALUES (" + quoteString(table) +
                    ", 'TABLE', ora_sysdate())");
}

void Translator::createTable() {
  tr_.kind = StmtKind::Ddl;
  tr_.function = 1;
  std::string table;
  size_t i = objectName(2, table);
  if (!cat_.objectType(table).empty()) throw OraError(955);
  if (is(at(i), "AS") || (is(at(i), "(") && is(at(matching(i) + 1), "AS") && !is(at(i + 1), "SELECT"))) {
    createTableAs(table, i);
    return;
  }
  expect(i, "(", 906);
  size_t close = i + 1;
  while (close < size() && !(t_[close].depth == 0 && is(t_[close], ")"))) ++close;
  size_t after = skipPhysical(t_, close + 1);
  if (after < size()) unexpected(after);

  static const std::set<std::string> tableConstraint = {"CONSTRAINT", "PRIMARY", "UNIQUE",
                                                        "FOREIGN", "CHECK"};
  std::vector<std::string> defs;
  std::vector<std::string> defNames; // column name per definition, empty for table constraints
  std::set<std::string> pkColumns;
  std::set<std::string> names;
  std::vector<std::pair<std::string, std::vector<std::string>>> cons;
  std::vector<std::string> consTypes;
  int longs = 0, columns = 0;
  size_t b = i + 1;
  for (size_t k = b; k <= close; ++k) {
    if (k != close && !(t_[k].depth == 1 && is(t_[k], ","))) continue;
    if (k == b) throw OraError(904);
    const Token& nameTok = t_[b];
    if (nameTok.kind == Token::Ident && tableConstraint.count(nameTok.text)) {
      std::string cname = is(nameTok, "CONSTRAINT") ? at(b + 1).text : "";
      for (size_t j = b; j + 1 < k; ++j) {
        bool pk = is(t_[j], "PRIMARY") && is(t_[j + 1], "KEY");
        if (!pk && !is(t_[j], "UNIQUE")) continue;
        auto cols = nameList(t_, pk ? j + 2 : j + 1, k);
        // SQLite lets NULL into a PRIMARY KEY column; Oracle does not.
        if (pk) pkColumns.insert(cols.begin(), cols.end());
        cons.emplace_back(cname, cols);
        consTypes.push_back(pk ? "P" : "U");
        break;
      }
      defs.push_back(emit(b, k));
      defNames.emplace_back();
    } else {
      std::string name;
      ColType ct;
      std::vector<std::pair<std::string, std::string>> named;
      defs.push_back(columnDef(b, k, name, ct, pkColumns, named));
      if (!names.insert(name).second) throw OraError(957);
      for (auto& [cname, type] : named) {
        cons.emplace_back(cname, std::vector<std::string>{name});
        consTypes.push_back(type);
      }
      if (ct.code == kLong || ct.code == kLongRaw) ++longs;
      if (longs > 1) throw OraError(1754);
      ++columns;
      defNames.push_back(name);
    }
    b = k + 1;
  }
  if (columns == 0) throw OraError(904);
  std::string out = "CREATE TABLE " + quoteIdent(table) + " (";
  for (size_t d = 0; d < defs.size(); ++d) {
    out += (d ? ", " : "") + defs[d];
    if (!defNames[d].empty() && pkColumns.count(defNames[d])) out += " NOT NULL";
  }
  out += ")";
  tr_.ddl.push_back(out);
  tr_.ddl.push_back("INSERT INTO \"TESSEL$OBJECTS\" (NAME, TYPE, CREATED) VALUES (" +
                    quoteString(table) + ", 'TABLE', ora_sysdate())");
  recordConstraints(tr_, cat_, table, cons, consTypes);
}

void Translator::createIndex(bool unique, size_t i) {
  tr_.kind = StmtKind::Ddl;
  tr_.function = 20;
  std::string index, table;
  i = objectName(i, index);
  if (!cat_.objectType(index).empty()) throw OraError(955);
  expect(i, "ON", 969);
  i = objectName(i + 1, table);
  if (!cat_.tableExists(table)) throw OraError(942, table);
  expect(i, "(", 906);
  size_t close = i + 1;
  while (close < size() && !(t_[close].depth == 0 && is(t_[close], ")"))) ++close;
  size_t after = skipPhysical(t_, close + 1);
  if (after < size()) unexpected(after);
  if (cat_.viewExists(table)) throw OraError(942, table);
  tr_.ddl.push_back(std::string("CREATE ") + (unique ? "UNIQUE " : "") + "INDEX " +
                    quoteIdent(index) + " ON " + quoteIdent(table) + " " + emit(i, close + 1));
  tr_.ddl.push_back("INSERT OR IGNORE INTO \"TESSEL$OBJECTS\" (NAME, TYPE, CREATED) VALUES (" +
                    quoteString(index) + ", 'INDEX', ora_sysdate())");
}

void Translator::drop() {
  tr_.kind = StmtKind::Ddl;
  std::string name;
  std::string what = at(1).text;
  if (is(at(1), "TABLE")) {
    tr_.function = 8;
    size_t i = objectName(2, name);
    if (!cat_.tableExists(name) || cat_.viewExists(name)) throw OraError(942, name);
    if (is(at(i), "CASCADE") && is(at(i + 1), "CONSTRAINTS")) i += 2;
    if (is(at(i), "PURGE")) ++i;
    if (i < size()) unexpected(i);
    std::string q = quoteString(name);
    tr_.ddl.push_back("DROP TABLE " + quoteIdent(name));
    tr_.ddl.push_back("DELETE FROM \"TESSEL$OBJECTS\" WHERE NAME = " + q + " AND TYPE = 'TABLE'");
    tr_.ddl.push_back("DELETE FROM \"TESSEL$OBJECTS\" WHERE TYPE = 'TRIGGER' AND NAME IN"
                      " (SELECT NAME FROM \"TESSEL$TRIGGERS\" WHERE TABLE_NAME = " + q + ")");
    tr_.ddl.push_back("DELETE FROM \"TESSEL$TRIGGERS\" WHERE TABLE_NAME = " + q);
    tr_.ddl.push_back("DELETE FROM \"TESSEL$CONSTRAINTS\" WHERE TABLE_NAME = " + q);
    tr_.ddl.push_back("DELETE FROM \"TESSEL$OBJECTS\" WHERE TYPE = 'INDEX' AND NAME NOT IN"
                      " (SELECT name FROM sqlite_schema WHERE type = 'index')");
  } else if (is(at(1), "INDEX")) {
    tr_.function = 21;
    size_t i = objectName(2, name);
    if (!cat_.indexExists(name)) throw OraError(1418);
    if (i < size()) unexpected(i);
    tr_.ddl.push_back("DROP INDEX " + quoteIdent(name));
    tr_.ddl.push_back("DELETE FROM \"TESSEL$OBJECTS\" WHERE NAME = " + quoteString(name) + " AND TYPE = 'INDEX'");
  } else if (is(at(1), "VIEW")) {
    tr_.function = 7;
    size_t i = objectName(2, name);
    if (!cat_.viewExists(name)) throw OraError(942, name);
    if (i < size()) unexpected(i);
    tr_.ddl.push_back("DROP VIEW " + quoteIdent(name));
    tr_.ddl.push_back("DELETE FROM \"TESSEL$VIEWS\" WHERE NAME = " + quoteString(name));
    tr_.ddl.push_back("DELETE FROM \"TESSEL$OBJECTS\" WHERE NAME = " + quoteString(name) + " AND TYPE = 'VIEW'");
  } else if (is(at(1), "SEQUENCE")) {
    tr_.function = 16;
    size_t i = objectName(2, name);
    if (!cat_.sequenceExists(name)) throw OraError(2289, name);
    if (i < size()) unexpected(i);
    tr_.ddl.push_back("DELETE FROM \"TESSEL$OBJECTS\" WHERE NAME = " + quoteString(name) + " AND TYPE = 'SEQUENCE'");
    tr_.beforeCommit.push_back([name](Session& s) {
      s.sequenceWrite("DELETE FROM SEQUENCES WHERE NAME = ?1", {name});
      s.currvals.erase(name);
    });
  } else if (is(at(1), "TRIGGER")) {
    tr_.function = 61;
    size_t i = objectName(2, name);
    if (cat_.objectTypeOf(name, "TRIGGER").empty()) throw OraError(4080, name);
    if (i < size()) unexpected(i);
    for (const auto& trig : cat_.sqliteTriggers(name)) tr_.ddl.push_back("DROP TRIGGER " + quoteIdent(trig));
    tr_.ddl.push_back("DELETE FROM \"TESSEL$TRIGGERS\" WHERE NAME = " + quoteString(name));
    tr_.ddl.push_back("DELETE FROM \"TESSEL$OBJECTS\" WHERE NAME = " + quoteString(name) + " AND TYPE = 'TRIGGER'");
  } else if (is(at(1), "PROCEDURE") || is(at(1), "FUNCTION") || is(at(1), "PACKAGE")) {
    bool body = is(at(1), "PACKAGE") && is(at(2), "BODY");
    std::string type = body ? "PACKAGE BODY" : what;
    tr_.function = 68;
    size_t i = objectName(body ? 3 : 2, name);
    if (cat_.objectTypeOf(name, type).empty()) throw OraError(4043, name);
    if (i < size()) unexpected(i);
    std::string types = type == "PACKAGE" ? "('PACKAGE', 'PACKAGE BODY')" : "(" + quoteString(type) + ")";
    tr_.ddl.push_back("DELETE FROM \"TESSEL$SOURCE\" WHERE NAME = " + quoteString(name) + " AND TYPE IN " + types);
    tr_.ddl.push_back("DELETE FROM \"TESSEL$OBJECTS\" WHERE NAME = " + quoteString(name) + " AND TYPE IN " + types);
  } else if (is(at(1), "USER")) {
    dropUser();
  } else {
    throw OraError(950, "DROP " + at(1).raw);
  }
}

void Translator::createView(size_t i, bool replace) {
  tr_.kind = StmtKind::Ddl;
  tr_.function = 10;
  std::string name;
  i = objectName(i, name);
  std::vector<std::string> names;
  if (is(at(i), "(")) {
    names = nameList(t_, i, size());
    while (i < size() && !(t_[i].depth == 0 && is(t_[i], ")"))) ++i;
    ++i;
  }
  expect(i, "AS", 905);
  ++i;
  size_t qEnd = size();
  for (size_t k = i; k < size(); ++k)
    if (t_[k].depth == 0 && is(t_[k], "WITH") && (is(at(k + 1), "READ") || is(at(k + 1), "CHECK"))) {
      qEnd = k;
      break;
    }
  std::string text = source(i, qEnd);
  QueryShape shape = describeQuery(text, cat_, names, "a view");
  const Translation& q = shape.sel;
  std::string cols, types;
  for (size_t k = 0; k < shape.names.size(); ++k) {
    const std::string& cn = shape.names[k];
    if (cn.size() > 30) throw OraError(972, cn);
    cols += (k ? ", " : "") + quoteIdent(cn);
    types += (k ? "\t" : "") + declTypeText(shape.types[k]);
  }
  std::string existing = cat_.objectType(name);
  if (!existing.empty()) {
    if (existing != "VIEW" || !replace) throw OraError(955);
    tr_.ddl.push_back("DROP VIEW " + quoteIdent(name));
  }
  tr_.ddl.push_back("CREATE VIEW " + quoteIdent(name) + " (" + cols + ") AS " + q.sql);
  tr_.ddl.push_back("INSERT OR REPLACE INTO \"TESSEL$VIEWS\" (NAME, TEXT, COLTYPES) VALUES (" +
                    quoteString(name) + ", " + quoteString(text) + ", " + quoteString(types) + ")");
  tr_.ddl.push_back("INSERT OR IGNORE INTO \"TESSEL$OBJECTS\" (NAME, TYPE, CREATED) VALUES (" +
                    quoteString(name) + ", 'VIEW', ora_sysdate())");
}

namespace {
// A signed integer literal at i; false when there is none.
bool signedNumber(const std::vector<Token>& t, size_t& i, std::string& out) {
  bool neg = i < t.size() && is(t[i], "-");
  size_t j = neg || (i < t.size() && is(t[i], "+")) ? i + 1 : i;
  if (j >= t.size() || t[j].kind != Token::Num || t[j].text.find_first_of(".eE") != std::string::npos) return false;
  out = (neg ? "-" : "") + t[j].text;
  i = j + 1;
  return true;
}
bool fitsInt64(const std::string& s) {
  errno = 0;
  char* end = nullptr;
  std::strtoll(s.c_str(), &end, 10);
  return errno == 0 && end && *end == 0;
}
} // namespace

void Translator::createSequence(size_t i) {
  tr_.kind = StmtKind::Ddl;
  tr_.function = 13;
  std::string name;
  i = objectName(i, name);
  if (!cat_.objectType(name).empty()) throw OraError(955);
  std::string start, incr = "1", minv, maxv;
  bool cycle = false, noMin = false, noMax = false;
  int64_t cache = 20;
  while (i < size()) {
    std::string v;
    if (is(at(i), "START") && is(at(i + 1), "WITH")) {
      i += 2;
      if (!signedNumber(t_, i, start)) throw OraError(4002);
    } else if (is(at(i), "INCREMENT") && is(at(i + 1), "BY")) {
      i += 2;
      if (!signedNumber(t_, i, incr)) throw OraError(4002);
    } else if (is(at(i), "MINVALUE")) {
      ++i;
      if (!signedNumber(t_, i, minv)) throw OraError(922);
    } else if (is(at(i), "MAXVALUE")) {
      ++i;
      if (!signedNumber(t_, i, maxv)) throw OraError(922);
    } else if (is(at(i), "NOMINVALUE")) { noMin = true; ++i; }
    else if (is(at(i), "NOMAXVALUE")) { noMax = true; ++i; }
    else if (is(at(i), "CYCLE")) { cycle = true; ++i; }
    else if (is(at(i), "NOCYCLE")) { cycle = false; ++i; }
    else if (is(at(i), "CACHE")) {
      ++i;
      if (!signedNumber(t_, i, v)) throw OraError(922);
      cache = std::atoll(v.c_str());
    } else if (is(at(i), "NOCACHE")) { cache = 0; ++i; }
    else if (is(at(i), "ORDER") || is(at(i), "NOORDER")) ++i;
    else unexpected(i);
  }
  (void)noMin;
  (void)noMax;
  if (!fitsInt64(incr) || std::atoll(incr.c_str()) == 0) throw OraError(4002);
  int64_t inc = std::atoll(incr.c_str());
  // Oracle's defaults: 1 .. 10^27 going up, -10^26 .. -1 going down; bounds beyond 64 bits are kept
  // as text and never reached.
  if (minv.empty()) minv = inc > 0 ? "1" : "-100000000000000000000000000";
  if (maxv.empty()) maxv = inc > 0 ? "999999999999999999999999999" : "-1";
  bool minFits = fitsInt64(minv), maxFits = fitsInt64(maxv);
  if (minFits && maxFits && std::atoll(minv.c_str()) >= std::atoll(maxv.c_str())) throw OraError(4004);
  if (start.empty()) start = inc > 0 ? minv : maxv;
  if (!fitsInt64(start)) throw OraError(4008);
  int64_t st = std::atoll(start.c_str());
  if (minFits && st < std::atoll(minv.c_str())) throw OraError(4006);
  if (maxFits && st > std::atoll(maxv.c_str())) throw OraError(4008);
  tr_.ddl.push_back("INSERT INTO \"TESSEL$OBJECTS\" (NAME, TYPE, CREATED) VALUES (" + quoteString(name) +
                    ", 'SEQUENCE', ora_sysdate())");
  tr_.beforeCommit.push_back([=](Session& s) {
    int64_t obj = s.objectNumber(name, "SEQUENCE");
    s.sequenceWrite("DELETE FROM SEQUENCES WHERE OBJ = ?1", {std::to_string(obj)});
    sqlite3_stmt* q = nullptr;
    sqlite3_prepare_v2(s.sequences(),
                       "INSERT OR REPLACE INTO SEQUENCES (NAME, MINV, MAXV, INCR, CYCLE, CACHE, NEXTV, OBJ)"
                       " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)", -1, &q, nullptr);
    sqlite3_bind_int64(q, 8, obj);
    sqlite3_bind_text(q, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    if (minFits) sqlite3_bind_int64(q, 2, std::atoll(minv.c_str()));
    else sqlite3_bind_text(q, 2, minv.c_str(), -1, SQLITE_TRANSIENT);
    if (maxFits) sqlite3_bind_int64(q, 3, std::atoll(maxv.c_str()));
    else sqlite3_bind_text(q, 3, maxv.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int64(q, 4, inc);
    sqlite3_bind_int(q, 5, cycle ? 1 : 0);
    sqlite3_bind_int64(q, 6, cache);
    sqlite3_bind_int64(q, 7, st);
    int rc = sqlite3_step(q);
    sqlite3_finalize(q);
    if (rc != SQLITE_DONE) throw fromSqlite(rc, sqlite3_errmsg(s.sequences()), "CREATE");
  });
}

void Translator::createUser() {
  tr_.kind = StmtKind::Ddl;
  tr_.function = 19;
  if (cat_.user() != "SYSTEM") throw OraError(1031);
  const Token& n = at(2);
  if (n.kind != Token::Ident && n.kind != Token::QIdent) throw OraError(922);
  std::string name = n.text;
  checkName(name);
  expect(3, "IDENTIFIED", 922);
  expect(4, "BY", 922);
  const Token& pw = at(5);
  if (pw.kind != Token::Ident && pw.kind != Token::QIdent) throw OraError(988, "missing or invalid password");
  // DEFAULT TABLESPACE, QUOTA and the like name storage this engine does not have
  std::string password = pw.kind == Token::QIdent ? "\"" + pw.text + "\"" : pw.text;
  tr_.actions.push_back([name, password](Session& s) {
    if (int rc = ora::createUser(s.folder, name, password)) throw OraError(rc, name);
  });
}

void Translator::alterUser() {
  tr_.kind = StmtKind::Ddl;
  tr_.function = 53;
  std::string name = at(2).text;
  if (cat_.user() != "SYSTEM" && name != cat_.user()) throw OraError(1031);
  expect(3, "IDENTIFIED", 922);
  expect(4, "BY", 922);
  const Token& pw = at(5);
  if (pw.kind != Token::Ident && pw.kind != Token::QIdent) throw OraError(988, "missing or invalid password");
  if (6 < size()) unexpected(6);
  std::string password = pw.kind == Token::QIdent ? "\"" + pw.text + "\"" : pw.text;
  tr_.actions.push_back([name, password](Session& s) {
    if (int rc = setPassword(s.folder, name, password)) throw OraError(rc, name);
  });
}

void Translator::dropUser() {
  tr_.kind = StmtKind::Ddl;
  tr_.function = 11;
  if (cat_.user() != "SYSTEM") throw OraError(1031);
  std::string name = at(2).text;
  bool cascade = is(at(3), "CASCADE");
  if (3 + (cascade ? 1 : 0) < size()) unexpected(3 + (cascade ? 1 : 0));
  if (name == "SYSTEM" || name == cat_.user()) throw OraError(1940, name);
  tr_.actions.push_back([name, cascade](Session& s) {
    if (!userExists(s.folder, name)) throw OraError(1918, name);
    if (Session::isOpen(s.folder, name)) throw OraError(1940, name);
    if (!cascade) {
      std::unique_ptr<Session> other;
      try {
        other = Session::open(s.folder, name);
      } catch (const OraError&) {
        // a schema that cannot be read holds nothing to keep
      }
      bool empty = true;
      if (other) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(other->db, "SELECT 1 FROM \"TESSEL$OBJECTS\" LIMIT 1", -1, &st, nullptr);
        empty = sqlite3_step(st) != SQLITE_ROW;
        sqlite3_finalize(st);
      }
      if (!empty) throw OraError(1922, name);
    }
    if (int rc = ora::dropUser(s.folder, name)) throw OraError(rc, name);
  });
}

void Translator::rename() {
  tr_.kind = StmtKind::Ddl;
  tr_.function = 37;
  std::string from, to;
  size_t i = objectName(1, from);
  expect(i, "TO", 905);
  i = objectName(i + 1, to);
  if (i < size()) unexpected(i);
  std::string type = cat_.objectType(from);
  if (type.empty()) throw OraError(4043, from);
  if (!cat_.objectType(to).empty()) throw OraError(955);
  std::string qf = quoteString(from), qt = quoteString(to);
  if (type == "TABLE") {
    tr_.ddl.push_back("ALTER TABLE " + quoteIdent(from) + " RENAME TO " + quoteIdent(to));
    tr_.ddl.push_back("UPDATE \"TESSEL$CONSTRAINTS\" SET TABLE_NAME = " + qt + " WHERE TABLE_NAME = " + qf);
    tr_.ddl.push_back("UPDATE \"TESSEL$TRIGGERS\" SET TABLE_NAME = " + qt + " WHERE TABLE_NAME = " + qf);
  } else if (type == "VIEW") {
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(cat_.db(), "SELECT sql FROM sqlite_schema WHERE type = 'view' AND name = ?1", -1, &st, nullptr);
    sqlite3_bind_text(st, 1, from.c_str(), -1, SQLITE_TRANSIENT);
    std::string sql = sqlite3_step(st) == SQLITE_ROW ? reinterpret_cast<const char*>(sqlite3_column_text(st, 0)) : "";
    sqlite3_finalize(st);
    std::string head = "CREATE VIEW " + quoteIdent(from);
    if (sql.rfind(head, 0) != 0) throw OraError(4063, from);
    tr_.ddl.push_back("DROP VIEW " + quoteIdent(from));
    tr_.ddl.push_back("CREATE VIEW " + quoteIdent(to) + sql.substr(head.size()));
    tr_.ddl.push_back("UPDATE \"TESSEL$VIEWS\" SET NAME = " + qt + " WHERE NAME = " + qf);
  } else if (type == "SEQUENCE") {
    tr_.beforeCommit.push_back([from, to](Session& s) {
      s.sequenceWrite("UPDATE SEQUENCES SET NAME = ?2 WHERE NAME = ?1", {from, to});
    });
  } else {
    throw OraError(900, "only tables, views and sequences can be renamed");
  }
  tr_.ddl.push_back("UPDATE \"TESSEL$OBJECTS\" SET NAME = " + qt + " WHERE NAME = " + qf + " AND TYPE = " +
                    quoteString(type));
}

void Translator::comment() {
  tr_.kind = StmtKind::Ddl;
  tr_.function = 38;
  expect(1, "ON", 969);
  std::string name;
  size_t i;
  if (is(at(2), "TABLE")) {
    i = objectName(3, name);
    if (!cat_.tableExists(name)) throw OraError(942, name);
  } else if (is(at(2), "COLUMN")) {
    // [schema.]table.column
    i = 3;
    if (is(at(i + 3), ".")) {
      if (at(i).text != cat_.user()) throw OraError(942, at(i).text + "." + at(i + 2).text);
      i += 2;
    }
    name = at(i).text;
    if (!is(at(i + 1), ".")) throw OraError(904, name);
    if (!cat_.tableExists(name)) throw OraError(942, name);
    findColumn(cat_.columns(name), at(i + 2).text);
    i += 3;
  } else {
    throw OraError(905);
  }
  expect(i, "IS", 905);
  if (at(i + 1).kind != Token::Str) throw OraError(1780, "string literal required");
  if (i + 2 < size()) unexpected(i + 2);
  // Comments are accepted; the engine keeps no comment dictionary.
}

void Translator::grant() {
  tr_.kind = StmtKind::Ddl;
  tr_.function = 28;
  // Every user may already log on and create objects in its own schema, so these grants hold
  // as they stand; anything else would need privileges the engine does not keep.
  static const std::set<std::string> held = {"CONNECT", "RESOURCE", "CREATE SESSION", "CREATE TABLE",
      "CREATE VIEW", "CREATE SEQUENCE", "CREATE PROCEDURE", "CREATE TRIGGER", "UNLIMITED TABLESPACE",
      "ALTER SESSION"};
  if (cat_.user() != "SYSTEM") throw OraError(1031);
  size_t i = 1;
  std::string priv;
  for (; i < size() && !is(at(i), "TO"); ++i) {
    if (is(at(i), ",")) {
      if (!held.count(priv)) throw OraError(1031, "GRANT " + priv + " is not supported by this engine");
      priv.clear();
      continue;
    }
    if (is(at(i), "ON")) throw OraError(1031, "object privileges are not supported by this engine");
    priv += (priv.empty() ? "" : " ") + at(i).text;
  }
  if (!held.count(priv)) throw OraError(1031, "GRANT " + priv + " is not supported by this engine");
  expect(i, "TO", 905);
  std::string user = at(i + 1).text;
  if (i + 2 < size()) unexpected(i + 2);
  tr_.actions.push_back([user](Session& s) {
    if (!userExists(s.folder, user)) throw OraError(1917, user);
  });
}

namespace {

// A table's definition as stored: one piece per column or table constraint.
struct DefPiece {
  std::string column; // empty for a table constraint
  std::string text;
};

std::string storedSql(sqlite3* db, const char* type, const std::string& name) {
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "SELECT sql FROM sqlite_schema WHERE type = ?1 AND name = ?2", -1, &st, nullptr);
  sqlite3_bind_text(st, 1, type, -1, SQLITE_STATIC);
  sqlite3_bind_text(st, 2, name.c_str(), -1, SQLITE_TRANSIENT);
  std::string sql;
  if (sqlite3_step(st) == SQLITE_ROW && sqlite3_column_text(st, 0))
    sql = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
  sqlite3_finalize(st);
  return sql;
}

std::vector<DefPiece> tablePieces(const std::string& sql) {
  auto t = tokenize(sql);
  std::vector<DefPiece> out;
  size_t open = 0;
  while (open < t.size() && !is(t[open], "(")) ++open;
  size_t b = open + 1;
  for (size_t k = b; k < t.size(); ++k) {
    bool end = t[k].depth == 0 && is(t[k], ")");
    if (!end && !(t[k].depth == 1 && is(t[k], ","))) continue;
    DefPiece p;
    p.text = sql.substr(t[b].pos, t[k - 1].end - t[b].pos);
    if (t[b].kind == Token::QIdent) p.column = t[b].text;
    out.push_back(p);
    b = k + 1;
    if (end) break;
  }
  return out;
}

// Scalar of a query with one text parameter; -1 on failure.
int64_t scalar(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* st = nullptr;
  int64_t v = -1;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
    v = sqlite3_column_int64(st, 0);
  sqlite3_finalize(st);
  return v;
}

// Removes tokens [b, e) of a piece's token list from its text.
std::string joinExcept(const std::string& text, const std::vector<Token>& t, const std::vector<char>& drop) {
  std::string out;
  for (size_t i = 0; i < t.size(); ++i) {
    if (drop[i]) continue;
    if (!out.empty()) out += ' ';
    out += text.substr(t[i].pos, t[i].end - t[i].pos);
  }
  return out;
}

bool constraintStart(const Token& k) {
  static const std::set<std::string> w = {"CONSTRAINT", "NOT", "NULL", "PRIMARY", "UNIQUE", "REFERENCES",
                                          "CHECK", "DEFAULT", "COLLATE"};
  return k.kind == Token::Ident && w.count(k.text);
}

// Rebuilds a table under a new definition, keeping its rows (and their ROWIDs), indexes and
// triggers; foreign keys are checked once at the end.
void rebuildTable(Session& s, const std::string& table, const std::vector<DefPiece>& pieces,
                  const std::vector<std::string>& keep, const std::vector<std::string>& after) {
  auto run = [&](const std::string& sql) {
    if (int rc = execOne(s.db, sql); rc != SQLITE_OK) throw fromSqlite(rc, sqlite3_errmsg(s.db), "ALTER");
  };
  std::string def;
  for (auto& p : pieces) def += (def.empty() ? "" : ", ") + p.text;
  std::string cols;
  for (auto& c : keep) cols += ", " + quoteIdent(c);
  execOne(s.db, "PRAGMA foreign_keys=OFF");
  try {
    run("BEGIN IMMEDIATE");
    run("PRAGMA legacy_alter_table=ON");
    std::vector<std::pair<std::string, std::string>> saved; // type, sql
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(s.db, "SELECT type, sql FROM sqlite_schema WHERE tbl_name = ?1 AND sql IS NOT NULL"
                             " AND type IN ('index', 'trigger')", -1, &st, nullptr);
    sqlite3_bind_text(st, 1, table.c_str(), -1, SQLITE_TRANSIENT);
    while (sqlite3_step(st) == SQLITE_ROW)
      saved.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)),
                         reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
    sqlite3_finalize(st);
    run("CREATE TABLE \"TESSEL$REBUILD\" (" + def + ")");
    run("INSERT INTO \"TESSEL$REBUILD\" (rowid" + cols + ") SELECT rowid" + cols + " FROM " + quoteIdent(table));
    run("DROP TABLE " + quoteIdent(table));
    run("ALTER TABLE \"TESSEL$REBUILD\" RENAME TO " + quoteIdent(table));
    for (auto& [type, sql] : saved) {
      // an index on a dropped column goes with it, as in Oracle
      if (int rc = execOne(s.db, sql); rc != SQLITE_OK && type != "index") throw fromSqlite(rc, sqlite3_errmsg(s.db), "ALTER");
    }
    for (auto& sql : after) run(sql);
    run("DELETE FROM \"TESSEL$OBJECTS\" WHERE TYPE = 'INDEX' AND NAME NOT IN"
        " (SELECT name FROM sqlite_schema WHERE type = 'index')");
    if (scalar(s.db, "SELECT count(*) FROM pragma_foreign_key_check") > 0) throw OraError(2298);
    run("PRAGMA legacy_alter_table=OFF");
    run("COMMIT");
  } catch (...) {
    execOne(s.db, "ROLLBACK");
    execOne(s.db, "PRAGMA legacy_alter_table=OFF");
    execOne(s.db, "PRAGMA foreign_keys=ON");
    throw;
  }
  execOne(s.db, "PRAGMA foreign_keys=ON");
}

} // namespace

void Translator::alterTable() {
  tr_.kind = StmtKind::Ddl;
  tr_.function = 26;
  expect(1, "TABLE", 905);
  std::string table;
  size_t i = objectName(2, table);
  if (!cat_.tableExists(table) || cat_.viewExists(table)) throw OraError(942, table);
  sqlite3* db = cat_.db();
  std::string qt = quoteIdent(table);
  auto pieces = tablePieces(storedSql(db, "table", table));
  auto cols = cat_.columns(table);
  auto pieceOf = [&](const std::string& c) -> DefPiece& {
    for (auto& p : pieces)
      if (p.column == c) return p;
    throw OraError(904, "\"" + c + "\"");
  };
  bool empty = scalar(db, "SELECT NOT EXISTS (SELECT 1 FROM " + qt + ")") == 1;
  std::vector<std::string> after;
  std::vector<std::pair<std::string, std::vector<std::string>>> cons;
  std::vector<std::string> consTypes;
  static const std::set<std::string> tableConstraint = {"CONSTRAINT", "PRIMARY", "UNIQUE", "FOREIGN", "CHECK"};

  auto addNotNull = [&](const std::string& c) {
    DefPiece& p = pieceOf(c);
    if (p.text.find(" NOT NULL") == std::string::npos) p.text += " NOT NULL";
  };

  // The items of "( a, b )" or of the single item that runs to the end, as token ranges.
  auto items = [&](size_t from) {
    std::vector<std::pair<size_t, size_t>> out;
    if (is(at(from), "(")) {
      int d = at(from).depth;
      size_t b = from + 1;
      for (size_t k = b; k < size(); ++k) {
        bool end = t_[k].depth == d && is(t_[k], ")");
        if (end || (t_[k].depth == d + 1 && is(t_[k], ","))) {
          if (k == b) throw OraError(904);
          out.emplace_back(b, k);
          b = k + 1;
          if (end) {
            if (k + 1 < size()) unexpected(k + 1);
            break;
          }
        }
      }
    } else {
      if (from >= size()) throw OraError(904);
      out.emplace_back(from, size());
    }
    return out;
  };

  const Token& verb = at(i);
  if (is(verb, "RENAME") && is(at(i + 1), "TO")) {
    std::string to;
    size_t j = objectName(i + 2, to);
    if (j < size()) unexpected(j);
    if (!cat_.objectType(to).empty()) throw OraError(955);
    tr_.ddl.push_back("ALTER TABLE " + qt + " RENAME TO " + quoteIdent(to));
    tr_.ddl.push_back("UPDATE \"TESSEL$OBJECTS\" SET NAME = " + quoteString(to) + " WHERE NAME = " +
                      quoteString(table) + " AND TYPE = 'TABLE'");
    tr_.ddl.push_back("UPDATE \"TESSEL$CONSTRAINTS\" SET TABLE_NAME = " + quoteString(to) + " WHERE TABLE_NAME = " + quoteString(table));
    tr_.ddl.push_back("UPDATE \"TESSEL$TRIGGERS\" SET TABLE_NAME = " + quoteString(to) + " WHERE TABLE_NAME = " + quoteString(table));
    return;
  }
  if (is(verb, "RENAME") && is(at(i + 1), "COLUMN")) {
    std::string from = at(i + 2).text;
    findColumn(cols, from);
    expect(i + 3, "TO", 905);
    std::string to = at(i + 4).text;
    checkName(to);
    if (i + 5 < size()) unexpected(i + 5);
    for (auto& c : cols)
      if (c.name == to) throw OraError(957);
    tr_.ddl.push_back("ALTER TABLE " + qt + " RENAME COLUMN " + quoteIdent(from) + " TO " + quoteIdent(to));
    tr_.ddl.push_back("UPDATE \"TESSEL$CONSTRAINTS\" SET COLS = replace(char(9) || COLS || char(9), char(9) || " +
                      quoteString(from) + " || char(9), char(9) || " + quoteString(to) + " || char(9))"
                      " WHERE TABLE_NAME = " + quoteString(table));
    tr_.ddl.push_back("UPDATE \"TESSEL$CONSTRAINTS\" SET COLS = substr(COLS, 2, length(COLS) - 2)"
                      " WHERE TABLE_NAME = " + quoteString(table) + " AND COLS GLOB char(9) || '*'");
    return;
  }

  std::vector<std::string> keep;
  for (auto& c : cols) keep.push_back(c.name);

  if (is(verb, "ADD")) {
    if (at(i + 1).kind == Token::Ident && tableConstraint.count(at(i + 1).text)) {
      size_t b = i + 1;
      std::string cname = is(at(b), "CONSTRAINT") ? at(b + 1).text : "";
      for (size_t j = b; j + 1 < size(); ++j) {
        bool pk = is(t_[j], "PRIMARY") && is(t_[j + 1], "KEY");
        if (!pk && !is(t_[j], "UNIQUE")) continue;
        auto list = nameList(t_, pk ? j + 2 : j + 1, size());
        for (auto& c : list) {
          findColumn(cols, c);
          if (pk) {
            if (scalar(db, "SELECT EXISTS (SELECT 1 FROM " + qt + " WHERE " + quoteIdent(c) + " IS NULL)") == 1)
              throw OraError(2296, c);
            addNotNull(c);
          }
        }
        cons.emplace_back(cname, list);
        consTypes.push_back(pk ? "P" : "U");
        break;
      }
      pieces.push_back(DefPiece{"", emit(b, size())});
    } else {
      // new columns go after the existing ones, before the table constraints
      size_t lastColumn = 0;
      for (size_t k = 0; k < pieces.size(); ++k)
        if (!pieces[k].column.empty()) lastColumn = k;
      std::vector<DefPiece> added;
      for (auto [b, e] : items(i + 1)) {
        std::string name;
        ColType ct;
        std::set<std::string> pk;
        std::vector<std::pair<std::string, std::string>> named;
        std::string def = columnDef(b, e, name, ct, pk, named);
        for (auto& c : cols)
          if (c.name == name) throw OraError(1430, name);
        bool notNull = !pk.empty();
        bool hasDefault = false;
        for (size_t m = b; m < e; ++m) {
          if (is(t_[m], "NOT") && is(at(m + 1), "NULL")) notNull = true;
          if (is(t_[m], "DEFAULT")) hasDefault = true;
        }
        if (notNull && !hasDefault && !empty) throw OraError(1758);
        if (!pk.empty()) def += " NOT NULL";
        for (auto& [cname, type] : named) {
          cons.emplace_back(cname, std::vector<std::string>{name});
          consTypes.push_back(type);
        }
        added.push_back(DefPiece{name, def});
        cols.push_back(ColumnInfo{name, ct, notNull});
      }
      pieces.insert(pieces.begin() + static_cast<long>(lastColumn) + 1, added.begin(), added.end());
    }
  } else if (is(verb, "MODIFY")) {
    for (auto [b, e] : items(i + 1)) {
      std::string name = at(b).text;
      const ColumnInfo& old = findColumn(cols, name);
      DefPiece& p = pieceOf(name);
      std::string qc = quoteIdent(name);
      auto pt = tokenize(p.text);
      // the stored piece: "NAME" TYPE[(n[,m])] constraints...
      size_t restFrom = 2;
      if (restFrom < pt.size() && (is(pt[restFrom], "VARCHAR") || is(pt[restFrom], "RAW"))) ++restFrom;
      if (restFrom < pt.size() && is(pt[restFrom], "(")) {
        while (restFrom < pt.size() && !is(pt[restFrom], ")")) ++restFrom;
        ++restFrom;
      }
      std::string typeText = declTypeText(old.type);
      size_t specFrom = b + 1;
      bool hasType = at(specFrom).kind == Token::Ident && !constraintStart(at(specFrom));
      if (hasType) {
        std::string cname;
        ColType ct;
        std::set<std::string> pk;
        std::vector<std::pair<std::string, std::string>> named;
        size_t typeEnd = specFrom + 1;
        if (is(at(typeEnd), "RAW") || is(at(typeEnd), "PRECISION")) ++typeEnd;
        if (is(at(typeEnd), "(")) {
          while (typeEnd < e && !is(at(typeEnd), ")")) ++typeEnd;
          ++typeEnd;
        }
        columnDef(b, typeEnd, cname, ct, pk, named);
        bool hasData = scalar(db, "SELECT EXISTS (SELECT 1 FROM " + qt + " WHERE " + qc + " IS NOT NULL)") == 1;
        if (ct.code != old.type.code && hasData) throw OraError(1439);
        // text lengths count in the database's character set
        std::string bytes = old.type.code == kRaw ? "length(CAST(" + qc + " AS BLOB))" : "LENGTHB(" + qc + ")";
        if ((ct.code == kVarchar2 || ct.code == kChar || ct.code == kRaw) && ct.size < old.type.size &&
            scalar(db, "SELECT EXISTS (SELECT 1 FROM " + qt + " WHERE " + bytes + " > " +
                           std::to_string(ct.size) + ")") == 1)
          throw OraError(1441);
        if (ct.code == kNumber && old.type.code == kNumber && hasData &&
            (ct.hasScale != old.type.hasScale || ct.scale < old.type.scale ||
             (ct.precision > 0 && (old.type.precision == 0 || ct.precision - ct.scale < old.type.precision - old.type.scale))))
          throw OraError(1440);
        typeText = declTypeText(ct);
        specFrom = typeEnd;
      }
      std::vector<char> drop(pt.size(), 0);
      for (size_t m = 0; m < restFrom && m < pt.size(); ++m) drop[m] = 1;
      bool toNotNull = false, toNull = false, newDefault = false;
      for (size_t m = specFrom; m < e; ++m) {
        if (is(t_[m], "NOT") && is(at(m + 1), "NULL")) { toNotNull = true; ++m; }
        else if (is(t_[m], "NULL")) toNull = true;
        else if (is(t_[m], "DEFAULT")) newDefault = true;
      }
      if (toNotNull) {
        if (old.notNull) throw OraError(1442);
        if (scalar(db, "SELECT EXISTS (SELECT 1 FROM " + qt + " WHERE " + qc + " IS NULL)") == 1) throw OraError(2296);
      }
      if (toNull && !old.notNull) throw OraError(1451);
      for (size_t m = restFrom; m < pt.size(); ++m) {
        if (pt[m].depth != 0) continue;
        if (toNull && is(pt[m], "NOT") && m + 1 < pt.size() && is(pt[m + 1], "NULL")) drop[m] = drop[m + 1] = 1;
        if (newDefault && is(pt[m], "DEFAULT")) {
          drop[m] = 1;
          for (size_t x = m + 1; x < pt.size() && !(pt[x].depth == 0 && constraintStart(pt[x])); ++x) drop[x] = 1;
        }
      }
      std::string rest = joinExcept(p.text, pt, drop);
      std::string spec;
      for (size_t m = specFrom; m < e; ++m)
        if (!(is(t_[m], "NULL") && !(m > specFrom && is(t_[m - 1], "NOT")))) spec += " " + emit(m, m + 1);
      p.text = qc + " " + typeText + (rest.empty() ? "" : " " + rest) + spec;
    }
  } else if (is(verb, "DROP")) {
    std::vector<std::string> gone;
    if (is(at(i + 1), "COLUMN")) {
      gone.push_back(at(i + 2).text);
      if (i + 3 < size() && !is(at(i + 3), "CASCADE")) unexpected(i + 3);
    } else if (is(at(i + 1), "(")) {
      gone = nameList(t_, i + 1, size());
    } else if (is(at(i + 1), "CONSTRAINT") || (is(at(i + 1), "PRIMARY") && is(at(i + 2), "KEY"))) {
      bool pk = is(at(i + 1), "PRIMARY");
      std::string cname = pk ? "" : at(i + 2).text;
      bool found = false;
      for (size_t k = 0; k < pieces.size() && !found; ++k) {
        auto pt = tokenize(pieces[k].text);
        for (size_t m = 0; m < pt.size(); ++m) {
          bool hit = pk ? (is(pt[m], "PRIMARY") && m + 1 < pt.size() && is(pt[m + 1], "KEY"))
                        : (is(pt[m], "CONSTRAINT") && m + 1 < pt.size() && pt[m + 1].text == cname);
          if (!hit || pt[m].depth != 0) continue;
          size_t from = m;
          if (pk && m >= 2 && is(pt[m - 2], "CONSTRAINT")) from = m - 2;
          if (pieces[k].column.empty()) {
            pieces.erase(pieces.begin() + static_cast<long>(k));
          } else {
            std::vector<char> drop(pt.size(), 0);
            size_t x = from;
            drop[x++] = 1;
            if (!pk || from != m) drop[x++] = 1; // the constraint's name
            for (; x < pt.size() && !(pt[x].depth == 0 && constraintStart(pt[x]) && !is(pt[x], "KEY")); ++x) drop[x] = 1;
            pieces[k].text = joinExcept(pieces[k].text, pt, drop);
          }
          found = true;
          break;
        }
      }
      if (!found) {
        // a constraint kept only in the engine's records (a column-level one written without a name)
        for (auto& c : recordedConstraints(db, table))
          if (pk ? c.type == "P" : c.name == cname) found = true;
        if (!found) throw OraError(2443, cname);
      }
      after.push_back("DELETE FROM \"TESSEL$CONSTRAINTS\" WHERE TABLE_NAME = " + quoteString(table) + " AND " +
                      (pk ? std::string("TYPE = 'P'") : "NAME = " + quoteString(cname)));
    } else {
      throw OraError(905);
    }
    if (!gone.empty()) {
      if (gone.size() >= cols.size()) throw OraError(12983);
      for (auto& g : gone) {
        pieceOf(g);
        std::erase_if(pieces, [&](const DefPiece& p) { return p.column == g; });
        std::erase(keep, g);
        // table constraints on the column: one-column ones go with it
        for (size_t k = 0; k < pieces.size();) {
          if (!pieces[k].column.empty()) { ++k; continue; }
          auto pt = tokenize(pieces[k].text);
          int uses = 0, names = 0;
          for (auto& tk : pt) {
            if (tk.kind == Token::QIdent && tk.depth >= 1) { ++names; if (tk.text == g) ++uses; }
          }
          if (uses && names > 1) throw OraError(12991);
          if (uses) pieces.erase(pieces.begin() + static_cast<long>(k));
          else ++k;
        }
        after.push_back("DELETE FROM \"TESSEL$CONSTRAINTS\" WHERE TABLE_NAME = " + quoteString(table) +
                        " AND COLS = " + quoteString(g));
      }
    }
  } else {
    throw OraError(905);
  }
  recordConstraints(tr_, cat_, table, cons, consTypes);
  for (auto& d : tr_.ddl) after.push_back(d);
  tr_.ddl.clear();
  tr_.actions.push_back([table, pieces, keep, after](Session& s) { rebuildTable(s, table, pieces, keep, after); });
}

void Translator::truncate() {
  tr_.kind = StmtKind::Ddl;
  tr_.function = 85;
  expect(1, "TABLE", 905);
  std::string name;
  size_t i = objectName(2, name);
  if (!cat_.tableExists(name)) throw OraError(942, name);
  if (i < size()) unexpected(i);
  tr_.ddl.push_back("DELETE FROM " + quoteIdent(name));
}

namespace {

struct Word {
  std::string text; // upper case unless quoted
  size_t pos = 0, end = 0;
  bool quoted = false;
};

size_t skipBlank(const std::string& s, size_t i) {
  for (;;) {
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    if (s.compare(i, 2, "--") == 0) {
      while (i < s.size() && s[i] != '\n') ++i;
    } else if (s.compare(i, 2, "/*") == 0) {
      size_t e = s.find("*/", i + 2);
      i = e == std::string::npos ? s.size() : e + 2;
    } else {
      return i;
    }
  }
}

// The next word, quoted name or single character at i.
Word nextWord(const std::string& s, size_t i) {
  Word w;
  i = skipBlank(s, i);
  w.pos = i;
  if (i >= s.size()) { w.end = i; return w; }
  if (s[i] == '"') {
    size_t e = s.find('"', i + 1);
    if (e == std::string::npos) throw OraError(1740);
    w.text = s.substr(i + 1, e - i - 1);
    w.quoted = true;
    w.end = e + 1;
    return w;
  }
  unsigned char c = s[i];
  if (std::isalnum(c) || c == '_' || c >= 0x80) {
    size_t e = i;
    while (e < s.size() && (std::isalnum(static_cast<unsigned char>(s[e])) || s[e] == '_' || s[e] == '$' ||
                            s[e] == '#' || static_cast<unsigned char>(s[e]) >= 0x80))
      ++e;
    w.text = s.substr(i, e - i);
    for (auto& ch : w.text) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    w.end = e;
    return w;
  }
  w.text = std::string(1, s[i]);
  w.end = i + 1;
  return w;
}

// Splits PL/SQL text at top-level ";" outside quotes and comments; positions of the pieces.
std::vector<std::pair<size_t, size_t>> splitStatements(const std::string& s, size_t from) {
  std::vector<std::pair<size_t, size_t>> out;
  size_t b = from;
  for (size_t i = from; i < s.size();) {
    char c = s[i];
    if (c == '\'') {
      ++i;
      while (i < s.size() && !(s[i] == '\'' && (i + 1 >= s.size() || s[i + 1] != '\''))) i += s[i] == '\'' ? 2 : 1;
      ++i;
    } else if (c == '"') {
      size_t e = s.find('"', i + 1);
      i = e == std::string::npos ? s.size() : e + 1;
    } else if (s.compare(i, 2, "--") == 0 || s.compare(i, 2, "/*") == 0) {
      i = skipBlank(s, i);
    } else if (c == ';') {
      out.emplace_back(b, i);
      b = ++i;
    } else {
      ++i;
    }
  }
  if (skipBlank(s, b) < s.size()) out.emplace_back(b, s.size());
  return out;
}

std::string trimmed(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

// Stored source: line feeds only, without the "/" line that ends a unit in scripts.
std::string sourceText(std::string t) {
  std::string out;
  for (size_t i = 0; i < t.size(); ++i)
    if (!(t[i] == '\r' && i + 1 < t.size() && t[i + 1] == '\n')) out += t[i];
  out = trimmed(out);
  if (out.size() >= 2 && out.back() == '/' && out[out.size() - 2] == '\n') out = trimmed(out.substr(0, out.size() - 1));
  return out;
}

// Reads [schema.]name at i; `end` is set past it.
std::string unitName(const std::string& s, size_t i, size_t& end, const std::string& user) {
  Word a = nextWord(s, i);
  if (a.text.empty() || (!a.quoted && !std::isalpha(static_cast<unsigned char>(a.text[0])) &&
                         static_cast<unsigned char>(a.text[0]) < 0x80))
    throw OraError(903);
  Word dot = nextWord(s, a.end);
  if (dot.text == ".") {
    Word b = nextWord(s, dot.end);
    if (a.text != user) throw OraError(1031, a.text + "." + b.text);
    end = b.end;
    checkName(b.text);
    return b.text;
  }
  end = a.end;
  checkName(a.text);
  return a.text;
}

void createTrigger(const std::string& text, size_t at, bool replace, Catalog& cat, Translation& out) {
  out.kind = StmtKind::Ddl;
  out.function = 59;
  size_t nameEnd;
  std::string name = unitName(text, at, nameEnd, cat.user());
  // the block starts at the first BEGIN or DECLARE outside parentheses
  size_t blockAt = std::string::npos;
  int depth = 0;
  for (size_t i = nameEnd; i < text.size();) {
    Word w = nextWord(text, i);
    if (w.text.empty()) break;
    if (w.text == "'") {
      size_t e = w.pos + 1;
      while (e < text.size() && !(text[e] == '\'' && (e + 1 >= text.size() || text[e + 1] != '\''))) e += text[e] == '\'' ? 2 : 1;
      i = e + 1;
      continue;
    }
    if (w.text == "(") ++depth;
    if (w.text == ")") --depth;
    if (depth == 0 && !w.quoted && (w.text == "BEGIN" || w.text == "DECLARE")) { blockAt = w.pos; break; }
    i = w.end;
  }
  if (blockAt == std::string::npos) throw OraError(6550, "the trigger has no body");
  std::string head = text.substr(nameEnd, blockAt - nameEnd);
  std::string body = sourceText(text.substr(blockAt));
  auto t = tokenize(head);
  size_t i = 0;
  std::string timing;
  if (i < t.size() && (is(t[i], "BEFORE") || is(t[i], "AFTER"))) timing = t[i++].text;
  else if (i + 1 < t.size() && is(t[i], "INSTEAD") && is(t[i + 1], "OF")) { timing = "INSTEAD OF"; i += 2; }
  else throw OraError(969, "BEFORE, AFTER or INSTEAD OF expected");
  struct Event { std::string kind; std::vector<std::string> columns; };
  std::vector<Event> events;
  for (;;) {
    if (i >= t.size() || !(is(t[i], "INSERT") || is(t[i], "UPDATE") || is(t[i], "DELETE")))
      throw OraError(969, "INSERT, UPDATE or DELETE expected");
    Event ev{t[i++].text, {}};
    if (ev.kind == "UPDATE" && i < t.size() && is(t[i], "OF")) {
      ++i;
      while (i < t.size() && (t[i].kind == Token::Ident || t[i].kind == Token::QIdent) && !is(t[i], "ON") &&
             !is(t[i], "OR")) {
        ev.columns.push_back(t[i++].text);
        if (i < t.size() && is(t[i], ",")) ++i;
      }
    }
    events.push_back(ev);
    if (i < t.size() && is(t[i], "OR")) { ++i; continue; }
    break;
  }
  if (i >= t.size() || !is(t[i], "ON")) throw OraError(969);
  ++i;
  if (i + 2 < t.size() && is(t[i + 1], ".")) {
    if (t[i].text != cat.user()) throw OraError(942, t[i].text + "." + t[i + 2].text);
    i += 2;
  }
  if (i >= t.size()) throw OraError(903);
  std::string table = t[i++].text;
  if (!cat.tableExists(table)) throw OraError(942, table);
  std::map<std::string, std::string> refs = {{":NEW", "NEW"}, {":OLD", "OLD"}};
  std::map<std::string, std::string> whenRefs = {{"NEW", "NEW"}, {"OLD", "OLD"}};
  auto& allRefs = refs;
  auto& allWhenRefs = whenRefs;
  std::string referencing = "REFERENCING NEW AS NEW OLD AS OLD";
  std::string newName = "NEW", oldName = "OLD";
  if (i < t.size() && is(t[i], "REFERENCING")) {
    ++i;
    refs.clear();
    whenRefs.clear();
    while (i < t.size() && (is(t[i], "NEW") || is(t[i], "OLD") || is(t[i], "PARENT"))) {
      std::string which = t[i++].text;
      if (i < t.size() && is(t[i], "AS")) ++i;
      if (i >= t.size()) throw OraError(921);
      (which == "NEW" ? newName : oldName) = t[i].text;
      refs[":" + t[i].text] = which;
      whenRefs[t[i].text] = which;
      ++i;
    }
    if (!refs.count(":" + newName)) { refs[":NEW"] = "NEW"; whenRefs["NEW"] = "NEW"; }
    if (!refs.count(":" + oldName)) { refs[":OLD"] = "OLD"; whenRefs["OLD"] = "OLD"; }
    referencing = "REFERENCING NEW AS " + newName + " OLD AS " + oldName;
  }
  bool eachRow = false;
  if (i + 2 < t.size() && is(t[i], "FOR") && is(t[i + 1], "EACH") && is(t[i + 2], "ROW")) { eachRow = true; i += 3; }
  std::string whenText;
  bool valid = eachRow && timing != "INSTEAD OF" && !cat.viewExists(table);
  if (i < t.size() && is(t[i], "WHEN")) {
    ++i;
    if (i >= t.size() || !is(t[i], "(")) throw OraError(906);
    size_t close = i + 1;
    while (close < t.size() && !(t[close].depth == t[i].depth && is(t[close], ")"))) ++close;
    whenText = head.substr(t[i + 1].pos, t[close - 1].end - t[i + 1].pos);
    i = close + 1;
  }
  if (i < t.size()) throw OraError(933, "near " + t[i].raw);

  // The body runs when it is a plain block of SQL statements on tables. It is translated once
  // per event: an INSERT has no old row and a DELETE no new one, whose columns read as NULL.
  auto translateFor = [&](const std::string& kind, std::string& whenSql, std::vector<std::string>& stmts) {
  auto refs = allRefs;
  auto whenRefs = allWhenRefs;
  for (auto* m : {&refs, &whenRefs})
    for (auto& [k, v] : *m)
      if ((kind == "INSERT" && v == "OLD") || (kind == "DELETE" && v == "NEW")) v = "NULL";
  if (valid && !whenText.empty()) {
    try {
      auto cond = tokenize(whenText);
      Translator w(whenText, cond, cat);
      w.rowRefs = whenRefs;
      w.sharedWithTrigger = table;
      whenSql = w.expression();
    } catch (const OraError&) {
      valid = false;
    }
  }
  if (valid) {
    auto parts = splitStatements(body, 0);
    Word first = parts.empty() ? Word{} : nextWord(body, parts[0].first);
    valid = first.text == "BEGIN";
    for (size_t k = 0; valid && k < parts.size(); ++k) {
      size_t from = k == 0 ? first.end : parts[k].first;
      std::string piece = trimmed(body.substr(from, parts[k].second - from));
      Word w = nextWord(piece, 0);
      if (k + 1 == parts.size()) {
        Word n = nextWord(piece, w.end);
        valid = w.text == "END" && (n.text.empty() || (n.text == name && nextWord(piece, n.end).text.empty()));
        break;
      }
      if (w.text == "NULL" && nextWord(piece, w.end).text.empty()) continue;
      if (w.text != "INSERT" && w.text != "UPDATE" && w.text != "DELETE") { valid = false; break; }
      try {
        Translator st(piece, tokenize(piece), cat);
        st.rowRefs = refs;
        st.sharedWithTrigger = table;
        Translation r = st.run();
        if (r.kind != StmtKind::Dml || r.sql.rfind("WITH", 0) == 0) valid = false;
        else stmts.push_back(r.sql);
      } catch (const OraError&) {
        valid = false;
      }
    }
  }
  };
  std::vector<std::string> whenSqls(events.size());
  std::vector<std::vector<std::string>> bodies(events.size());
  for (size_t k = 0; k < events.size(); ++k) translateFor(events[k].kind, whenSqls[k], bodies[k]);

  std::string existing = cat.objectTypeOf(name, "TRIGGER");
  if (!existing.empty() && !replace) throw OraError(4081, name);
  for (const auto& old : cat.sqliteTriggers(name)) out.ddl.push_back("DROP TRIGGER " + quoteIdent(old));
  std::string label = quoteString("ORA-04098: trigger '" + cat.user() + "." + name + "' is invalid and failed re-validation");
  for (size_t k = 0; k < events.size(); ++k) {
    std::string sqlName = k == 0 ? name : name + "$" + std::to_string(k + 1);
    std::string ev = events[k].kind;
    if (!events[k].columns.empty()) {
      ev += " OF ";
      for (size_t c = 0; c < events[k].columns.size(); ++c) ev += (c ? ", " : "") + quoteIdent(events[k].columns[c]);
    }
    std::string sql = "CREATE TRIGGER " + quoteIdent(sqlName);
    if (valid) {
      sql += " " + timing + " " + ev + " ON " + quoteIdent(table) + " FOR EACH ROW";
      if (!whenSqls[k].empty()) sql += " WHEN " + whenSqls[k];
      sql += " BEGIN ";
      for (auto& st : bodies[k]) sql += st + "; ";
      if (bodies[k].empty()) sql += "SELECT NULL; ";
      sql += "END";
    } else {
      // stored as Oracle keeps a trigger with errors: every statement it fires on fails
      sql += " BEFORE " + events[k].kind + " ON " + quoteIdent(table) + " FOR EACH ROW BEGIN SELECT RAISE(ABORT, " +
             label + "); END";
    }
    out.ddl.push_back(sql);
  }
  std::string type = timing == "INSTEAD OF" ? "INSTEAD OF" : timing + (eachRow ? " EACH ROW" : " STATEMENT");
  std::string event;
  for (auto& e : events) event += (event.empty() ? "" : " OR ") + e.kind;
  std::string description = trimmed(text.substr(at, blockAt - at)) + "\n";
  out.ddl.push_back("INSERT OR REPLACE INTO \"TESSEL$TRIGGERS\" (NAME, TRIGGER_TYPE, EVENT, TABLE_NAME, REFERENCING,"
                    " WHEN_CLAUSE, DESCRIPTION, BODY, VALID) VALUES (" + quoteString(name) + ", " + quoteString(type) +
                    ", " + quoteString(event) + ", " + quoteString(table) + ", " + quoteString(referencing) + ", " +
                    quoteString(whenText) + ", " + quoteString(description) + ", " + quoteString(body + "\n") + ", " +
                    (valid ? "1" : "0") + ")");
  out.ddl.push_back("INSERT OR IGNORE INTO \"TESSEL$OBJECTS\" (NAME, TYPE, CREATED) VALUES (" + quoteString(name) +
                    ", 'TRIGGER', ora_sysdate())");
}

} // namespace

bool translatePlsql(const std::string& text, Catalog& cat, Translation& out) {
  Word w = nextWord(text, 0);
  if (w.text == "DECLARE" || w.text == "BEGIN" || w.text == "CALL" || w.text == "EXEC" || w.text == "EXECUTE")
    throw OraError(6550, "it cannot run " + std::string(w.text == "CALL" || w.text[0] == 'E' ? "stored procedures" : "anonymous blocks"));
  if (w.text != "CREATE") return false;
  Word v = nextWord(text, w.end);
  bool replace = false;
  if (v.text == "OR") {
    Word r = nextWord(text, v.end);
    if (r.text != "REPLACE") return false;
    replace = true;
    v = nextWord(text, r.end);
  }
  out.verb = "CREATE";
  if (v.text == "TRIGGER") {
    createTrigger(text, v.end, replace, cat, out);
    return true;
  }
  std::string type = v.text;
  size_t after = v.end;
  if (type == "PACKAGE" || type == "TYPE") {
    Word b = nextWord(text, v.end);
    if (b.text == "BODY") { type += " BODY"; after = b.end; }
  }
  if (type != "PACKAGE" && type != "PACKAGE BODY" && type != "PROCEDURE" && type != "FUNCTION" &&
      type != "TYPE" && type != "TYPE BODY")
    return false;
  size_t nameEnd;
  std::string name = unitName(text, after, nameEnd, cat.user());
  out.kind = StmtKind::Ddl;
  out.function = 24;
  std::string other = cat.objectType(name);
  bool sameKind = !cat.objectTypeOf(name, type).empty();
  if (!other.empty() && other != type && !(type == "PACKAGE BODY" && other == "PACKAGE")) throw OraError(955);
  if (sameKind && !replace) throw OraError(955);
  // stored from the unit's keyword on, with its name as written
  std::string src = sourceText(text.substr(v.pos));
  out.ddl.push_back("DELETE FROM \"TESSEL$SOURCE\" WHERE NAME = " + quoteString(name) + " AND TYPE = " + quoteString(type));
  out.ddl.push_back("INSERT INTO \"TESSEL$SOURCE\" (NAME, TYPE, TEXT) VALUES (" + quoteString(name) + ", " +
                    quoteString(type) + ", " + quoteString(src) + ")");
  out.ddl.push_back("INSERT OR IGNORE INTO \"TESSEL$OBJECTS\" (NAME, TYPE, CREATED) VALUES (" + quoteString(name) +
                    ", " + quoteString(type) + ", ora_sysdate())");
  return true;
}

} // namespace ora::tx
