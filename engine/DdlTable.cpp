// CREATE TABLE, CREATE INDEX and CREATE VIEW, and the column definitions the DDL files share.
#include "DdlImpl.h"
#include "Booleans.h"
#include "DdlPartition.h"
#include "Collections.h"
#include "Dictionary.h"
#include "DictionaryImpl.h"
#include "InvisibleColumns.h"
#include "ObjectTypes.h"
#include "OraError.h"
#include "Session.h"
#include "TableRebuild.h"
#include "TranslateImpl.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>
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
    if (single.count(t[i].text)) {
      // PARALLEL takes an optional degree
      i += t[i].text == "PARALLEL" && i + 1 < t.size() && t[i + 1].kind == Token::Num ? 2 : 1;
      continue;
    }
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

// A default's text as Oracle keeps it: up to the next token, the blanks before it included.
std::string Translator::writtenDefault(size_t b, size_t e) const {
  if (b >= e || b >= size()) return {};
  size_t end = e < size() ? t_[e].pos : t_[size() - 1].end;
  return src_.substr(t_[b].pos, end - t_[b].pos);
}

std::string Translator::columnDef(size_t b, size_t k, std::string& name, ColType& ct,
                                  std::set<std::string>& pk,
                                  std::vector<std::pair<std::string, std::string>>& named) {
  const Token& nameTok = t_[b];
  const int namePos = static_cast<int>(nameTok.pos);
  if (nameTok.kind != Token::Ident && nameTok.kind != Token::QIdent) throw OraError(904).at(namePos);
  if (keywordAt(t_, b)) throw OraError(904, nameTok.text).at(namePos);
  try {
    checkName(nameTok.text, charset());
  } catch (OraError& e) {
    throw e.at(namePos);
  }
  name = nameTok.text;
  // the type: a name, an optional second word, an optional (n[,m])
  size_t j = b + 1;
  // [IN]VISIBLE comes after the type, or after the name of a virtual column without one
  bool invisible = false;
  auto visibility = [&] {
    if (j < k && visibilityAt(j)) invisible = is(t_[j++], "INVISIBLE");
  };
  visibility();
  if (j < k && virtualAt(j)) return markInvisible(virtualColumn(b, j, k, name, ct, ColType{}), invisible);
  if (j >= k || at(j).kind != Token::Ident) throw OraError(902).at(static_cast<int>(at(j).pos));
  const int typePos = static_cast<int>(at(j).pos);
  auto word = [&](size_t m) { return m < k && at(m).kind == Token::Ident ? at(m).text : std::string(); };
  int used = 1;
  std::string tn = typeSynonym(at(j).text, word(j + 1), word(j + 2), used);
  j += static_cast<size_t>(used);
  // where the length belongs, and the length itself: Oracle marks one or the other
  const int afterType = static_cast<int>(at(j).pos), sizePos = static_cast<int>(at(j + 1).pos);
  int a = -1, s = 0;
  bool hasS = false, star = false, charUnit = false;
  if (j < k && is(at(j), "(")) {
    if (is(at(j + 1), "*")) star = true;
    else if (at(j + 1).kind == Token::Num) a = std::atoi(at(j + 1).text.c_str());
    else throw OraError(902);
    j += 2;
    if (is(at(j), "CHAR")) charUnit = true;
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
  if (a >= 0 || star) {
    // a length on a type that takes none
    if (tn == "DATE" || tn == "LONG" || tn == "LONG RAW" || tn == "ROWID" || tn == "CLOB" || tn == "NCLOB" ||
        tn == "BLOB")
      throw OraError(922).at(afterType);
    if (tn == "INTEGER" || tn == "INT" || tn == "SMALLINT" || tn == "REAL" || tn == "DOUBLE PRECISION")
      throw OraError(907).at(afterType);
  }
  if (tn == "VARCHAR2" || tn == "VARCHAR" || tn == "NVARCHAR2") {
    if (a < 0) throw OraError(906).at(afterType);
    if (a == 0) throw OraError(1723).at(sizePos);
    // the national set takes two bytes a character, in at most 4000
    if (a > (tn == "NVARCHAR2" ? 2000 : 4000)) throw OraError(910).at(sizePos);
    ct.code = kVarchar2; ct.size = a;
    if (charUnit || tn == "NVARCHAR2") charLimit(ct, 4000);
    ct.national = tn == "NVARCHAR2";
  } else if (tn == "CHAR" || tn == "NCHAR") {
    if (a == 0) throw OraError(1723).at(sizePos);
    if (a > (tn == "NCHAR" ? 1000 : 2000)) throw OraError(910).at(sizePos);
    ct.code = kChar; ct.size = a < 0 ? 1 : a;
    if (charUnit || tn == "NCHAR") charLimit(ct, 2000);
    ct.national = tn == "NCHAR";
  } else if (tn == "NUMBER" || tn == "NUMERIC" || tn == "DECIMAL" || tn == "DEC") {
    ct.code = kNumber;
    if (a == 0 || a > 38) throw OraError(1727).at(sizePos);
    if (hasS && (s < -84 || s > 127)) throw OraError(1728);
    // NUMERIC and DECIMAL are fixed point: without a scale they hold whole numbers
    bool fixed = tn != "NUMBER";
    if (a > 0 || star || fixed) { ct.precision = star || a < 0 ? 0 : a; ct.scale = s; ct.hasScale = true; }
    else ct.textStored = true; // every digit a NUMBER holds, beyond a double's 15
  } else if (tn == "INTEGER" || tn == "INT" || tn == "SMALLINT") {
    // NUMBER(*,0): whole numbers, kept as SQLite's own numbers
    ct.code = kNumber; ct.precision = 0; ct.hasScale = true; ct.anyPrecision = true;
  } else if (tn == "FLOAT") {
    if (hasS || star || a == 0 || a > 126) throw OraError(1724).at(sizePos);
    ct = floatType(a < 0 ? 126 : a);
  } else if (tn == "BINARY_DOUBLE" || tn == "BINARY_FLOAT") {
    if (a >= 0 || star) throw OraError(907).at(afterType);
    ct.code = kNumber;
    ct.binary = tn == "BINARY_DOUBLE" ? kBinaryDouble : kBinaryFloat;
  } else if (tn == "REAL" || tn == "DOUBLE PRECISION") {
    ct = floatType(tn == "REAL" ? 63 : 126);
  } else if (tn == "DATE") {
    ct.code = kDate;
  } else if (tn == "TIMESTAMP") {
    if (star || hasS || a > 9) throw OraError(30088).at(sizePos);
    ct.code = kTimestamp;
    ct.scale = a < 0 ? 6 : a;
    if (is(at(j), "WITH")) {
      size_t m = is(at(j + 1), "LOCAL") ? j + 2 : j + 1;
      if (!is(at(m), "TIME") || !is(at(m + 1), "ZONE")) throw OraError(905).at(static_cast<int>(at(m).pos));
      ct.code = kTimestampTz;
      ct.localZone = m == j + 2;
      j = m + 2;
    }
  } else if (tn == "INTERVAL" && a < 0 && !star) {
    j = intervalColumnType(j, ct);
  } else if (tn == "RAW") {
    if (a < 0) throw OraError(906).at(afterType);
    if (a == 0) throw OraError(1723).at(sizePos);
    if (a > 2000) throw OraError(910).at(sizePos);
    ct.code = kRaw; ct.size = a;
  } else if (tn == "LONG") {
    ct.code = kLong;
  } else if (tn == "LONG RAW") {
    ct.code = kLongRaw;
  } else if (tn == "CLOB" || tn == "NCLOB") {
    ct.code = kLong;
    ct.lob = tn == "CLOB" ? kClob : kNclob;
  } else if (tn == "XMLTYPE" && a < 0 && !star) {
    // the document's text, kept as a CLOB is
    ct.code = kLong;
    ct.lob = kClob;
    ct.xml = true;
  } else if (tn == "BLOB") {
    ct.code = kLongRaw;
    ct.lob = kBlob;
  } else if (tn == "ROWID") {
    ct.code = kRowid;
  } else if (tn == "BOOLEAN") {
    if (a >= 0 || star) throw OraError(907).at(afterType);
    ct.code = kBoolean;
  } else if (tn == "REF" && a < 0 && j < k && objectType(cat_.db(), at(j).text)) {
    // REF type [SCOPE IS table]: the engine keeps the REF's object identifier
    ct.code = kVarchar2;
    ct.size = 4000;
    ct.object = "REF " + at(j).text;
    ++j;
    if (is(at(j), "SCOPE") && is(at(j + 1), "IS")) {
      size_t sc = j + 2;
      if (!cat_.tableExists(at(sc).text)) throw OraError(942).at(static_cast<int>(at(sc).pos));
      j = sc + 1;
    }
  } else if (a < 0 && !star && objectType(cat_.db(), tn)) {
    ct.code = kVarchar2;
    ct.size = 4000;
    ct.object = tn;
  }
  CollType coll;
  if (ct.code == 0 && a < 0 && !star && used == 1 && collectionType(cat_, t_[b + 1].text, coll)) {
    ct.code = kNamedType;
    ct.size = 4000;
  } else if (ct.code == 0) {
    throw OraError(902, tn).at(typePos);
  }
  visibility();
  if (virtualAt(j)) return markInvisible(virtualColumn(b, j, k, name, ct, ct), invisible);
  // a collection keeps its type's name in the declaration, its values as blobs
  std::string def = quoteIdent(name) + " " + (ct.code == kNamedType ? "COLL$" + coll.name + " BLOB" : declTypeText(ct, charset()));
  // SQLite takes an expression as a default only in parentheses
  for (size_t m = j; m < k;) {
    if (is(t_[m], "DEFAULT") && !skip_[m]) {
      // DEFAULT ON NULL: a NULL given takes the default too, so the column holds no NULL
      bool onNull = is(at(m + 1), "ON") && is(at(m + 2), "NULL");
      size_t from = onNull ? m + 3 : m + 1;
      if (from >= k) throw OraError(936);
      size_t x = from + 1;
      while (x < k && !(t_[x].depth == t_[m].depth && defaultEnds(t_[x]))) ++x;
      std::string stored = storedDefault(writtenDefault(from, x), emit(from, x));
      def += " DEFAULT (" + (onNull ? markOnNull(stored) : stored) + ")" + (onNull ? " NOT NULL" : "");
      m = x;
      continue;
    }
    size_t x = m + 1;
    while (x < k && !(is(t_[x], "DEFAULT") && !skip_[x])) ++x;
    def += " " + emit(m, x);
    m = x;
  }
  std::string cname;
  for (size_t m = j; m < k; ++m) {
    if (is(t_[m], "CONSTRAINT") && m + 1 < k) { cname = t_[m + 1].text; continue; }
    bool pkHere = m + 1 < k && is(t_[m], "PRIMARY") && is(t_[m + 1], "KEY");
    if ((pkHere || is(t_[m], "UNIQUE")) && ct.lob) throw OraError(2329).at(static_cast<int>(t_[m].pos));
    if (pkHere) pk.insert(name);
    if (pkHere || is(t_[m], "UNIQUE")) named.emplace_back(cname, pkHere ? "P" : "U");
    if (pkHere || is(t_[m], "UNIQUE") || is(t_[m], "REFERENCES") || is(t_[m], "CHECK") ||
        (is(t_[m], "NULL") && m > j))
      cname.clear();
  }
  return markInvisible(def, invisible);
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
  std::vector<bool> notNull; // a column selected as it is from one that is NOT NULL
  // ... by a NOT NULL constraint of its own, not only as a primary key's column
  std::vector<bool> ownNotNull;
};

QueryShape describeQuery(const std::string& text, size_t base, Catalog& cat,
                         const std::vector<std::string>& names) {
  QueryShape shape;
  try {
    shape.sel = translate(text, cat);
  } catch (OraError& e) {
    // the query's error is marked in the statement that holds it, `base` bytes on
    if (e.pos < 0) locateError(e, text);
    if (e.pos >= 0) e.pos += static_cast<int>(base);
    throw;
  }
  if (shape.sel.kind != StmtKind::Query) throw OraError(928);
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
    const char* table = sqlite3_column_table_name(st, k);
    const char* origin = sqlite3_column_origin_name(st, k);
    int notNull = 0;
    if (table && origin)
      sqlite3_table_column_metadata(cat.db(), nullptr, table, origin, nullptr, nullptr, &notNull, nullptr, nullptr);
    shape.notNull.push_back(notNull != 0);
    bool own = false;
    if (notNull)
      for (auto& c : dict::tableConstraints(cat.db(), table))
        own = own || (c.type == "C" && c.columns == std::vector<std::string>{origin} &&
                      c.condition == quoteIdent(origin) + " IS NOT NULL");
    shape.ownNotNull.push_back(own);
  }
  sqlite3_finalize(st);
  for (const ColType& t : shape.types)
    if (t.code == kCursorType) throw OraError(22902); // a nested cursor is no value a table holds
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
  const size_t props = i; // partitioning, storage: before the AS of the query
  while (i < size() && !(t_[i].depth == 0 && is(t_[i], "AS") && !is(at(i - 1), "STORE"))) ++i;
  size_t base = i + 1 < size() ? t_[i + 1].pos : 0;
  if (names.empty()) requireAliases(i + 1, size());
  QueryShape shape = describeQuery(source(i + 1, size()), base, cat_, names);
  // a name the statement quotes is one the user gave, whatever characters it holds
  std::set<std::string> quoted;
  for (size_t m = i + 1; m < size(); ++m)
    if (t_[m].kind == Token::QIdent) quoted.insert(t_[m].text);
  const Translation& sel = shape.sel;
  tr_.dictionary = sel.dictionary;
  std::string defs, cols, places, convs;
  bool converted = false;
  int longs = 0;
  for (size_t k = 0; k < shape.names.size(); ++k) {
    const std::string& cn = shape.names[k];
    ColType ct = shape.types[k];
    // a computed NUMBER keeps all its digits, as a NUMBER column does
    if (ct.code == kNumber && ct.precision == 0 && !ct.hasScale) ct.textStored = true;
    // an expression needs a name of its own, as in Oracle
    bool plain = !cn.empty() && (quoted.count(cn) || (textBytes(cn) <= 30 && cn.find_first_of("()+-*/|' ,.") == std::string::npos));
    if (!plain) throw OraError(998, cn);
    if ((ct.code == kLong || ct.code == kLongRaw) && !ct.lob) ++longs;
    if ((ct.code == kVarchar2 || ct.code == kChar) && ct.size == 0) throw OraError(1723);
    // NOT NULL comes along with a column the query selects as it is, unless it was only its
    // primary key's
    if (k) {
      defs += ", ";
      cols += ", ";
    }
    defs += quoteIdent(cn) + " " + declTypeText(ct, charset()) + (shape.ownNotNull[k] ? " NOT NULL" : "");
    cols += quoteIdent(cn);
    std::string c = "\"C" + std::to_string(k) + "$\"";
    places += (k ? ", " : "") + c;
    ColumnInfo col;
    col.name = cn;
    col.type = ct;
    bool conv = ct.textStored && !shape.types[k].textStored;
    convs += (k ? ", " : "") + (conv ? convWrap("\"CTAS$\"." + c, col, table) : "\"CTAS$\"." + c);
    converted = converted || conv;
  }
  if (longs) throw OraError(997);
  std::vector<std::pair<std::string, ColType>> described;
  for (size_t k = 0; k < shape.names.size(); ++k) described.emplace_back(shape.names[k], shape.types[k]);
  std::vector<std::string> partitions;
  if (tableProperties(t_, props, i, src_, cat_, table, described, false, partitions) < i)
    throw OraError(922).at(static_cast<int>(t_[tableProperties(t_, props, i, src_, cat_, table, described, false, partitions)].pos));
  tr_.ddl.push_back("CREATE TABLE " + quoteIdent(table) + " (" + defs + ")");
  // the partitions' guard is in place before the rows go in
  for (auto& s : partitions.empty() ? forgetPartitions(table) : partitions) tr_.ddl.push_back(s);
  // the computed numbers go in whole, as decimal text, through the column's conversion
  if (converted)
    tr_.ddl.push_back("WITH \"CTAS$\" (" + places + ") AS (" + sel.sql + ") INSERT INTO " + quoteIdent(table) + " (" +
                      cols + ") SELECT " + convs + " FROM \"CTAS$\"");
  else
    tr_.ddl.push_back("INSERT INTO " + quoteIdent(table) + " (" + cols + ") " + sel.sql);
  tr_.ddl.push_back("INSERT INTO \"TESSEL$OBJECTS\" (NAME, TYPE, CREATED) VALUES (" + quoteString(table) +
                    ", 'TABLE', ora_sysdate())");
}

// A check condition is kept with the text it was written in, which the dictionary shows.
void Translator::keepCheckTexts() {
  for (size_t k = 0; k + 2 < size(); ++k) {
    if (!is(t_[k], "CHECK") || !is(t_[k + 1], "(") || !replace_[k + 1].empty()) continue;
    size_t close = matching(k + 1);
    if (close <= k + 2 || close >= size()) continue;
    replace_[k + 1] = "(" + storedDefault(source(k + 2, close), "");
  }
}

void Translator::createTable() {
  tr_.kind = StmtKind::Ddl;
  tr_.function = 1;
  std::string table;
  size_t i = objectName(2, table);
  if (!cat_.objectType(table).empty()) throw OraError(955).at(static_cast<int>(at(2).pos));
  // CREATE TABLE t [(names)] [table properties] AS query
  bool asQuery = false;
  for (size_t k = i; k < size() && !asQuery; ++k)
    asQuery = t_[k].depth == 0 && is(t_[k], "AS") && !is(at(k - 1), "STORE") &&
              (is(at(k + 1), "SELECT") || is(at(k + 1), "WITH") || is(at(k + 1), "("));
  if (createObjectTable(table, i)) return;
  bool listed = is(at(i), "(") && !is(at(i + 1), "SELECT");
  if (is(at(i), "AS") || (listed && (is(at(matching(i) + 1), "AS") || asQuery)) || (!is(at(i), "(") && asQuery)) {
    createTableAs(table, i);
    return;
  }
  expect(i, "(", 906);
  keepCheckTexts();
  size_t close = i + 1;
  while (close < size() && !(t_[close].depth == 0 && is(t_[close], ")"))) ++close;

  static const std::set<std::string> tableConstraint = {"CONSTRAINT", "PRIMARY", "UNIQUE",
                                                        "FOREIGN", "CHECK"};
  std::vector<std::string> defs;
  std::vector<std::string> defNames; // column name per definition, empty for table constraints
  std::set<std::string> pkColumns;
  std::set<std::string> names;
  std::vector<std::pair<std::string, std::vector<std::string>>> cons;
  std::vector<std::string> consTypes;
  std::vector<Identity> identities;
  std::vector<std::pair<std::string, std::string>> checked; // column, a name its own CHECK uses
  std::vector<std::pair<std::string, ColType>> localTypes;
  int longs = 0, columns = 0;
  size_t b = i + 1;
  // a constraint's state (ENABLE, VALIDATE, RELY, USING INDEX ...) is no part of its definition
  for (size_t m = b; m < close; ++m) {
    if (t_[m].kind != Token::Ident) continue;
    size_t n = is(t_[m], "ENABLE") || is(t_[m], "VALIDATE") || is(t_[m], "NOVALIDATE") || is(t_[m], "RELY") ||
                       is(t_[m], "NORELY")
                   ? 1
                   : 0;
    if (is(t_[m], "USING") && is(at(m + 1), "INDEX")) n = std::min(skipPhysical(t_, m + 2), close) - m;
    for (size_t x = m; x < m + n; ++x) skip_[x] = 1;
    if (n) m += n - 1;
  }
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
      Identity id = identityClause(b, k);
      defs.push_back(columnDef(b, k, name, ct, pkColumns, named));
      localTypes.emplace_back(name, ct);
      if (id.found) {
        if (ct.code != kNumber || (ct.hasScale && ct.scale != 0)) throw OraError(30675);
        defs.back() += " NOT NULL";
        id.column = name;
        identities.push_back(id);
      }
      if (!names.insert(name).second) throw OraError(957).at(static_cast<int>(at(b).pos));
      for (auto& n : checkNames(t_, b, k)) checked.emplace_back(name, n);
      for (auto& [cname, type] : named) {
        cons.emplace_back(cname, std::vector<std::string>{name});
        consTypes.push_back(type);
      }
      if ((ct.code == kLong || ct.code == kLongRaw) && !ct.lob) ++longs;
    if ((ct.code == kVarchar2 || ct.code == kChar) && ct.size == 0) throw OraError(1723);
      if (longs > 1) throw OraError(1754);
      ++columns;
      defNames.push_back(name);
    }
    b = k + 1;
  }
  if (columns == 0) throw OraError(904);
  bool anyVisible = false;
  for (size_t d = 0; d < defs.size(); ++d) anyVisible = anyVisible || (!defNames[d].empty() && !invisibleDef(defs[d]));
  if (!anyVisible) throw OraError(54039);
  std::vector<std::string> partitions;
  size_t after = tableProperties(t_, close + 1, size(), src_, cat_, table, localTypes, !pkColumns.empty(), partitions);
  if (after < size()) throw OraError(922).at(static_cast<int>(t_[after].pos));
  for (auto& [column, n] : checked)
    if (n != column && names.count(n)) throw OraError(2438);
  if (std::count(consTypes.begin(), consTypes.end(), "P") > 1) throw OraError(2260);
  {
    // constraint names are unique in the schema
    std::set<std::string> given;
    for (size_t k = i + 1; k + 1 < close; ++k)
      if (is(t_[k], "CONSTRAINT")) {
        const std::string& cn = t_[k + 1].text;
        bool taken = !given.insert(cn).second || rb::constraintNameTaken(cat_.db(), cn);
        if (taken) throw OraError(2264).at(static_cast<int>(t_[k + 1].pos));
      }
  }
  checkReferences(i + 1, close, table, localTypes);
  std::string out = "CREATE TABLE " + quoteIdent(table) + " (";
  for (size_t d = 0; d < defs.size(); ++d) {
    out += (d ? ", " : "") + defs[d];
    if (!defNames[d].empty() && pkColumns.count(defNames[d])) out += " NOT NULL";
  }
  out += ")";
  tr_.ddl.push_back(out);
  tr_.ddl.push_back("INSERT INTO \"TESSEL$OBJECTS\" (NAME, TYPE, CREATED) VALUES (" +
                    quoteString(table) + ", 'TABLE', ora_sysdate())");
  for (auto& s : partitions.empty() ? forgetPartitions(table) : partitions) tr_.ddl.push_back(s);
  recordConstraints(tr_, cat_, table, cons, consTypes);
  if (identities.size() > 1) throw OraError(30669);
  for (auto& id : identities) {
    // named as Oracle names them: ISEQ$$_ and a number of its own
    int64_t n = 1;
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(cat_.db(), "SELECT IFNULL(MAX(OBJ), 0) + 1 FROM \"TESSEL$OBJECTS\"", -1, &st, nullptr);
    if (sqlite3_step(st) == SQLITE_ROW) n = sqlite3_column_int64(st, 0) + 1;
    sqlite3_finalize(st);
    std::string seq = "ISEQ$$_" + std::to_string(n);
    tr_.ddl.push_back("INSERT INTO \"TESSEL$IDENTITY\" (TABLE_NAME, COLUMN_NAME, SEQ, ALWAYS) VALUES (" +
                      quoteString(table) + ", " + quoteString(id.column) + ", " + quoteString(seq) + ", " +
                      (id.always ? "1" : id.onNull ? "2" : "0") + ")");
    addSequence(seq, id.increment > 0 ? "1" : "-999999999999999999999999999", id.increment > 0 ? "9999999999999999999999999999" : "-1",
                id.increment, false, 20, id.start);
  }
}

// GENERATED [ALWAYS | BY DEFAULT [ON NULL]] AS IDENTITY [(START WITH n INCREMENT BY m ...)] in a
// column definition [b, k): read, and left out of the column's SQLite text.
Translator::Identity Translator::identityClause(size_t b, size_t k) {
  Identity id;
  size_t g = b;
  while (g < k && !is(t_[g], "GENERATED")) ++g;
  if (g == k || virtualAt(g)) return id;
  id.found = true;
  size_t m = g + 1;
  if (is(at(m), "ALWAYS")) {
    ++m;
  } else if (is(at(m), "BY") && is(at(m + 1), "DEFAULT")) {
    id.always = false;
    m += 2;
    if (is(at(m), "ON") && is(at(m + 1), "NULL")) {
      id.onNull = true;
      m += 2;
    }
  }
  expect(m, "AS", 905);
  expect(m + 1, "IDENTITY", 905);
  m += 2;
  if (is(at(m), "(")) {
    size_t close = matching(m);
    auto number = [&](size_t& x) {
      bool neg = is(at(x), "-");
      if (neg) ++x;
      if (at(x).kind != Token::Num) throw OraError(4002);
      int64_t v = std::strtoll(at(x).text.c_str(), nullptr, 10);
      ++x;
      return neg ? -v : v;
    };
    bool startGiven = false;
    for (size_t x = m + 1; x < close;) {
      if (is(at(x), "START") && is(at(x + 1), "WITH")) { x += 2; id.start = number(x); startGiven = true; }
      else if (is(at(x), "INCREMENT") && is(at(x + 1), "BY")) { x += 2; id.increment = number(x); }
      else if (is(at(x), "MAXVALUE") || is(at(x), "MINVALUE") || is(at(x), "CACHE")) { ++x; number(x); }
      else ++x; // NOCACHE, NOCYCLE, ORDER and the like
    }
    if (id.increment == 0) throw OraError(4002);
    if (!startGiven && id.increment < 0) id.start = -1;
    m = close + 1;
  }
  for (size_t x = g; x < m; ++x) skip_[x] = 1;
  return id;
}

void Translator::createIndex(bool unique, size_t i) {
  tr_.kind = StmtKind::Ddl;
  tr_.function = 20;
  std::string index, table;
  const size_t indexAt = i;
  i = objectName(i, index);
  if (!cat_.objectType(index).empty() || cat_.keyIndexExists(index))
    throw OraError(955).at(static_cast<int>(at(indexAt).pos));
  expect(i, "ON", 969);
  const size_t tableAt = i + 1;
  i = objectName(i + 1, table);
  if (!cat_.tableExists(table)) throw OraError(942, table).at(static_cast<int>(at(tableAt).pos));
  expect(i, "(", 906);
  size_t close = i + 1;
  while (close < size() && !(t_[close].depth == 0 && is(t_[close], ")"))) ++close;
  size_t after = skipIndexOptions(t_, indexPartitioning(t_, skipIndexOptions(t_, close + 1)));
  if (after < size()) unexpected(after);
  if (cat_.viewExists(table)) throw OraError(1702).at(static_cast<int>(at(tableAt).pos));
  // a key column the table does not have is marked where it is named
  {
    const auto columns = cat_.columns(table);
    std::set<std::string> seen;
    for (size_t k = i + 1; k < close; ++k) {
      const Token& c = t_[k];
      bool key = c.depth == t_[i].depth + 1 && (c.kind == Token::Ident || c.kind == Token::QIdent) &&
                 (is(at(k - 1), "(") || is(at(k - 1), ",")) &&
                 (is(at(k + 1), ",") || is(at(k + 1), ")") || is(at(k + 1), "ASC") || is(at(k + 1), "DESC"));
      if (key && std::none_of(columns.begin(), columns.end(), [&](const ColumnInfo& ci) { return ci.name == c.text; }))
        throw OraError(904, "\"" + c.text + "\"").at(static_cast<int>(c.pos));
      if (key && std::any_of(columns.begin(), columns.end(), [&](const ColumnInfo& ci) { return ci.name == c.text && ci.type.lob; }))
        throw OraError(2327).at(static_cast<int>(c.pos));
      // a column may be a key of the index once
      if (key && !seen.insert(c.text).second) throw OraError(957).at(static_cast<int>(c.pos));
    }
  }
  // the same columns in the same order as another index, or as a key's
  {
    std::vector<std::string> cols;
    for (size_t k = i + 1; k < close; ++k) {
      if (t_[k].depth != t_[i].depth + 1 || is(t_[k], ",")) continue;
      if (!(t_[k].kind == Token::Ident || t_[k].kind == Token::QIdent) || !(is(at(k + 1), ",") || k + 1 == close)) {
        cols.clear(); // an expression or a sort order: not compared
        break;
      }
      cols.push_back(t_[k].text);
    }
    if (!cols.empty()) {
      for (auto& c : recordedConstraints(cat_.db(), table))
        if (c.columns == cols) throw OraError(1408);
      sqlite3_stmt* st = nullptr;
      sqlite3_prepare_v2(cat_.db(), "SELECT name FROM pragma_index_list(?1)", -1, &st, nullptr);
      sqlite3_bind_text(st, 1, table.c_str(), -1, SQLITE_TRANSIENT);
      std::vector<std::string> indexes;
      while (sqlite3_step(st) == SQLITE_ROW) indexes.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
      sqlite3_finalize(st);
      for (auto& ix : indexes) {
        std::vector<std::string> have;
        sqlite3_prepare_v2(cat_.db(), "SELECT name FROM pragma_index_info(?1) ORDER BY seqno", -1, &st, nullptr);
        sqlite3_bind_text(st, 1, ix.c_str(), -1, SQLITE_TRANSIENT);
        while (sqlite3_step(st) == SQLITE_ROW && sqlite3_column_text(st, 0))
          have.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        sqlite3_finalize(st);
        if (have == cols) throw OraError(1408);
      }
    }
  }
  tr_.ddl.push_back(std::string("CREATE ") + (unique ? "UNIQUE " : "") + "INDEX " +
                    quoteIdent(index) + " ON " + quoteIdent(table) + " " + emit(i, close + 1));
  tr_.ddl.push_back("INSERT OR IGNORE INTO \"TESSEL$OBJECTS\" (NAME, TYPE, CREATED) VALUES (" +
                    quoteString(index) + ", 'INDEX', ora_sysdate())");
  tr_.ddl.push_back(unusableRecord(index, false));
}

// The select list of a query at i that names the columns of a table or a view: an expression
// needs a name of its own, as in Oracle, and is marked where it begins.
void Translator::requireAliases(size_t i, size_t qEnd) {
  if (!is(at(i), "SELECT")) return;
  int d = t_[i].depth;
  size_t lb = i + 1;
  if (is(at(lb), "DISTINCT") || is(at(lb), "UNIQUE") || is(at(lb), "ALL")) ++lb;
  size_t fr = lb;
  while (fr < qEnd && !(t_[fr].depth == d && is(t_[fr], "FROM"))) ++fr;
  for (size_t b = lb; b < fr;) {
    size_t ie = b;
    while (ie < fr && !(t_[ie].depth == d && is(t_[ie], ","))) ++ie;
    size_t n = ie - b;
    bool column = (n == 1 && (t_[b].kind == Token::Ident || t_[b].kind == Token::QIdent || is(t_[b], "*"))) ||
                  (n == 3 && is(t_[b + 1], "."));
    bool aliased = n >= 2 && aliasToken(ie - 1) &&
                   (is(t_[ie - 2], "AS") || !(t_[ie - 2].kind == Token::Op && t_[ie - 2].text != ")"));
    if (!column && !aliased) throw OraError(998).at(static_cast<int>(t_[b].pos));
    b = ie < fr ? ie + 1 : ie;
  }
}

void Translator::createView(size_t i, bool replace, bool force) {
  tr_.kind = StmtKind::Ddl;
  tr_.function = 10;
  std::string name;
  const size_t nameAt = i;
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
  // WITH READ ONLY / WITH CHECK OPTION [CONSTRAINT name]: kept as the view's constraint
  std::string option, optionName;
  if (qEnd < size()) {
    size_t k = qEnd + 1;
    if (is(at(k), "READ") && is(at(k + 1), "ONLY")) option = std::string("O");
    else if (is(at(k), "CHECK") && is(at(k + 1), "OPTION")) option = std::string("V");
    else unexpected(k);
    k += 2;
    if (is(at(k), "CONSTRAINT")) {
      if (!aliasToken(k + 1)) throw OraError(904);
      optionName = at(k + 1).text;
      k += 2;
    }
    if (k < size()) unexpected(k);
  }
  if (names.empty()) requireAliases(i, qEnd);
  std::string text = source(i, qEnd);
  QueryShape shape;
  try {
    InnerQueries inner; // the view's columns are read by other queries
    ViewStars stars;
    shape = describeQuery(text, i < size() ? t_[i].pos : 0, cat_, names);
  } catch (const OraError& e) {
    // FORCE: a query over tables or columns not there yet still makes the view, one that has
    // errors until they are
    static const std::set<int> missing = {904, 918, 942, 980, 4063};
    if (!force || !missing.count(e.code)) throw;
    std::string existing = cat_.objectType(name);
    if (!existing.empty()) {
      if (existing != "VIEW" || !replace) throw OraError(955).at(static_cast<int>(at(nameAt).pos));
      tr_.ddl.push_back("DROP VIEW " + quoteIdent(name));
    }
    tr_.ddl.push_back("DELETE FROM \"TESSEL$CONSTRAINTS\" WHERE TABLE_NAME = " + quoteString(name));
    tr_.ddl.push_back("CREATE VIEW " + quoteIdent(name) + " AS SELECT * FROM \"TESSEL$NO_TABLE\"");
    tr_.ddl.push_back("INSERT OR REPLACE INTO \"TESSEL$VIEWS\" (NAME, TEXT, COLTYPES) VALUES (" + quoteString(name) +
                      ", " + quoteString(text) + ", '')");
    tr_.ddl.push_back("INSERT OR IGNORE INTO \"TESSEL$OBJECTS\" (NAME, TYPE, CREATED) VALUES (" +
                      quoteString(name) + ", 'VIEW', ora_sysdate())");
    return;
  }
  const Translation& q = shape.sel;
  // Oracle keeps a view's "*" as the columns it stood for: "select *" is kept as
  // select "EMPNO","ENAME",..., so the view compiles again to the same columns
  auto stars = q.stars;
  std::sort(stars.begin(), stars.end(), [](const auto& a, const auto& b) { return a.first.first > b.first.first; });
  for (auto& [range, cols] : stars) {
    auto [b, e] = range;
    if (e > text.size() || b >= e || text[e - 1] != '*' || cols.empty()) continue;
    std::string qualifier = text.substr(b, e - 1 - b); // "e." of "e.*", as written
    std::string list;
    for (auto& c : cols) {
      std::string quoted = "\"";
      for (char ch : c) quoted += ch == '"' ? std::string("\"\"") : std::string(1, ch);
      list += (list.empty() ? "" : ",") + qualifier + quoted + "\"";
    }
    text.replace(b, e - b, list);
  }
  std::string cols, types;
  for (size_t k = 0; k < shape.names.size(); ++k) {
    const std::string& cn = shape.names[k];
    if (textBytes(cn) > 30) throw OraError(972, cn);
    cols += (k ? ", " : "") + quoteIdent(cn);
    types += (k ? "\t" : "") + declTypeText(shape.types[k], Charset::AL32UTF8);
  }
  std::string existing = cat_.objectType(name);
  if (!existing.empty()) {
    if (existing != "VIEW" || !replace) throw OraError(955).at(static_cast<int>(at(nameAt).pos));
    tr_.ddl.push_back("DROP VIEW " + quoteIdent(name));
  }
  tr_.ddl.push_back("DELETE FROM \"TESSEL$CONSTRAINTS\" WHERE TABLE_NAME = " + quoteString(name));
  if (!option.empty()) recordConstraints(tr_, cat_, name, {{optionName, {}}}, {option});
  // the dictionary's tables are the session's own, filled when a statement reads them: a view
  // that reads them is kept as its query, put in place of the view's name where it is used
  if (q.dictionary.empty()) tr_.ddl.push_back("CREATE VIEW " + quoteIdent(name) + " (" + cols + ") AS " + q.sql);
  else tr_.ddl.push_back("CREATE VIEW " + quoteIdent(name) + " AS SELECT * FROM \"TESSEL$NO_TABLE\"");
  tr_.ddl.push_back("INSERT OR REPLACE INTO \"TESSEL$VIEWS\" (NAME, TEXT, COLTYPES) VALUES (" +
                    quoteString(name) + ", " + quoteString(text) + ", " + quoteString(types) + ")");
  tr_.ddl.push_back("INSERT OR IGNORE INTO \"TESSEL$OBJECTS\" (NAME, TYPE, CREATED) VALUES (" +
                    quoteString(name) + ", 'VIEW', ora_sysdate())");
}
std::vector<std::string> checkNames(const std::vector<Token>& t, size_t b, size_t e) {
  std::vector<std::string> out;
  for (size_t m = b; m + 1 < e; ++m) {
    if (!is(t[m], "CHECK") || !is(t[m + 1], "(")) continue;
    int d = t[m + 1].depth;
    for (size_t x = m + 2; x < e && !(is(t[x], ")") && t[x].depth == d); ++x)
      if ((t[x].kind == Token::Ident || t[x].kind == Token::QIdent) && !(x + 1 < e && is(t[x + 1], "(")))
        out.push_back(t[x].text);
  }
  return out;
}

// Each REFERENCES in [b, e) names an existing table and its primary key or one of its unique
// keys, as Oracle requires of a foreign key, the table's own included.
void Translator::checkReferences(size_t b, size_t e, const std::string& table,
                                 const std::vector<std::pair<std::string, ColType>>& local) const {
  // text, number, date and raw columns refer only to their own kind
  auto family = [](int code) { return code == kChar ? kVarchar2 : code; };
  auto typeOf = [](const std::vector<std::pair<std::string, ColType>>& cols, const std::string& n) {
    for (auto& [name, ct] : cols)
      if (name == n) return ct.code;
    return 0;
  };
  for (size_t k = b; k < e; ++k) {
    if (!is(t_[k], "REFERENCES")) continue;
    size_t j = k + 1;
    std::string parent = at(j).text;
    if (is(at(j + 1), ".") && j + 2 < e) {
      parent = at(j + 2).text;
      j += 2;
    }
    if (parent == table) {
      // its own key: declared here, or already there when the table is altered
      std::vector<std::string> own = nameList(t_, j + 1, e);
      if (!selfKeyDeclared(t_, b, e, own) && !rb::enabledKeyFor(cat_.db(), table, own))
        throw OraError(own.empty() ? 2268 : 2270).at(static_cast<int>(at(j).pos));
      continue;
    }
    if (!cat_.tableExists(parent) || cat_.viewExists(parent)) throw OraError(942).at(static_cast<int>(at(j).pos));
    std::vector<std::string> cols = nameList(t_, j + 1, e);
    // a referenced column the parent does not have is named as the unknown identifier it is
    if (is(at(j + 1), "(")) {
      const auto have = cat_.columns(parent);
      for (size_t m = j + 2; m < e && !is(t_[m], ")"); ++m) {
        if (t_[m].kind != Token::Ident && t_[m].kind != Token::QIdent) continue;
        if (std::none_of(have.begin(), have.end(), [&](const ColumnInfo& ci) { return ci.name == t_[m].text; }))
          throw OraError(904, "\"" + t_[m].text + "\"").at(static_cast<int>(t_[m].pos));
      }
    }
    // as many referring columns as referred ones: those of FOREIGN KEY (...), or the one column
    std::vector<std::string> from;
    if (k > b && is(t_[k - 1], ")")) {
      int d = t_[k - 1].depth;
      size_t open = k - 1;
      while (open > b && !(is(t_[open], "(") && t_[open].depth == d)) --open;
      if (open > b && is(t_[open - 1], "KEY")) from = nameList(t_, open, k);
    }
    if (from.empty()) {
      // on a column: the name that starts its definition
      size_t m = k;
      while (m > b && !(is(t_[m - 1], ",") && t_[m - 1].depth == t_[k].depth) &&
             !(is(t_[m - 1], "(") && t_[m - 1].depth + 1 == t_[k].depth))
        --m;
      from.push_back(t_[m].text);
    }
    std::vector<std::string> to = cols;
    if (to.empty())
      for (auto& c : recordedConstraints(cat_.db(), parent))
        if (c.type == "P") to = c.columns;
    if (!to.empty() && from.size() != to.size()) throw OraError(2256).at(static_cast<int>(at(j).pos));
    // a key that is disabled is no key to refer to
    if (!rb::enabledKeyFor(cat_.db(), parent, cols)) throw OraError(cols.empty() ? 2268 : 2270).at(static_cast<int>(at(j).pos));
    if (!local.empty() && to.size() == from.size()) {
      std::vector<std::pair<std::string, ColType>> theirs;
      for (auto& c : cat_.columns(parent)) theirs.emplace_back(c.name, c.type);
      for (size_t x = 0; x < from.size(); ++x) {
        int mine = typeOf(local, from[x]), other = typeOf(theirs, to[x]);
        if (mine && other && family(mine) != family(other)) throw OraError(2267).at(static_cast<int>(at(j).pos));
      }
    }
  }
}

} // namespace ora::tx
