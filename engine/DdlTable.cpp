// CREATE TABLE and CREATE INDEX, and the column definitions the DDL files share.
#include "DdlImpl.h"
#include "Booleans.h"
#include "DdlPartition.h"
#include "Collections.h"
#include "Dictionary.h"
#include "DictionaryImpl.h"
#include "InvisibleColumns.h"
#include "ObjectTypes.h"
#include "OraError.h"
#include "Plsql.h"
#include "Session.h"
#include "SqlLexer.h"
#include "TableRebuild.h"
#include "ValidPeriods.h"
#include "TranslateImpl.h"
#include "FunctionUtil.h"

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
  auto pastParens = [&](size_t open) {
    int d = t[open].depth;
    size_t k = open + 1;
    while (k < t.size() && !(t[k].depth == d && t[k].text == ")")) ++k;
    return k + 1;
  };
  while (i < t.size()) {
    if (t[i].kind != Token::Ident) break;
    if (withValue.count(t[i].text) && i + 1 < t.size()) { i += 2; continue; }
    if (single.count(t[i].text)) {
      // PARALLEL takes an optional degree, or the older (DEGREE n INSTANCES n)
      bool parallel = t[i++].text == "PARALLEL";
      if (parallel && i < t.size() && t[i].kind == Token::Num) ++i;
      else if (parallel && i < t.size() && t[i].text == "(") i = pastParens(i);
      continue;
    }
    if (t[i].text == "STORAGE" && i + 1 < t.size() && t[i + 1].text == "(") {
      i = pastParens(i + 1);
      continue;
    }
    // an index's statistics are gathered as it is built, as they are anyway
    if (t[i].text == "COMPUTE" && i + 1 < t.size() && t[i + 1].text == "STATISTICS") {
      i += 2;
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

// A default as the table keeps it: its written text, and the expression that gives the value. The
// value goes into the column as one an INSERT names does: a CHAR column's text blank-padded, a
// number rounded to the scale, one too large for the column refused when a row takes it.
// Whether the name at m calls one of the schema's functions, with arguments or also (`bare`)
// without parentheses.
bool Translator::schemaFunctionAt(size_t m, bool bare) const {
  if (t_[m].kind != Token::Ident || (m > 0 && is(t_[m - 1], ".")) || is(at(m + 1), ".")) return false;
  if (is(at(m + 1), "(")) return !functionAllowed(t_[m].text.c_str(), false) && storedFunctionType(cat_, {}, t_[m].text) > 0;
  return bare && !keywordAt(t_, m) && storedFunctionType(cat_, {}, t_[m].text) > 0;
}

std::string Translator::storedDefaultOf(size_t b, size_t e, const ColType& ct, const std::string& column) {
  // a default calls Oracle's own functions only, not the schema's
  for (size_t m = b; m < e; ++m)
    if (schemaFunctionAt(m, true)) throw OraError(4044).at(static_cast<int>(t_[m].pos));
  std::string value = emit(b, e);
  if (ct.code == kChar && e == b + 1 && t_[b].kind == Token::Str && !t_[b].text.empty()) {
    std::string v = t_[b].text;
    if (ct.chars > 0) {
      size_t have = 0;
      for (unsigned char c : v) have += (c & 0xC0) != 0x80;
      if (have < static_cast<size_t>(ct.chars)) v.append(static_cast<size_t>(ct.chars) - have, ' ');
    } else if (int bytes = textBytes(v); bytes < ct.size) {
      v.append(static_cast<size_t>(ct.size - bytes), ' ');
    }
    value = quoteString(v);
  }
  bool plain = ct.object.empty() && !ct.xml && !ct.json && !ct.lob && !(ct.code == kNumber && ct.binary);
  if (plain && !defaultsOf_.empty() && (ct.code == kVarchar2 || ct.code == kChar || ct.code == kNumber || ct.code == kRaw)) {
    ColumnInfo col;
    col.name = column;
    col.type = ct;
    value = convWrap(value, col, defaultsOf_);
  }
  return storedDefault(writtenDefault(b, e), value);
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
  bool hasS = false, star = false;
  bool charUnit = sessionNls(cat_.db()).charSemantics; // without BYTE or CHAR: the session's NLS_LENGTH_SEMANTICS
  if (j < k && is(at(j), "(")) {
    if (is(at(j + 1), "*")) star = true;
    else if (at(j + 1).kind == Token::Num) a = std::atoi(at(j + 1).text.c_str());
    else throw OraError(902);
    j += 2;
    if (is(at(j), "BYTE") || is(at(j), "CHAR")) charUnit = is(at(j++), "CHAR");
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
    ct.textStored = floatDigits(ct.precision) > 15; // more digits than a double keeps
  } else if (tn == "BINARY_DOUBLE" || tn == "BINARY_FLOAT") {
    if (a >= 0 || star) throw OraError(907).at(afterType);
    ct.code = kNumber;
    ct.binary = tn == "BINARY_DOUBLE" ? kBinaryDouble : kBinaryFloat;
  } else if (tn == "REAL" || tn == "DOUBLE PRECISION") {
    ct = floatType(tn == "REAL" ? 63 : 126);
    ct.textStored = true; // 19 and 38 digits: more than a double keeps
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
  } else if (tn == "JSON" && a < 0 && !star) {
    // the document's compact text, kept as a CLOB is
    ct.code = kLong;
    ct.lob = kClob;
    ct.json = true;
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
      std::string stored = storedDefaultOf(from, x, ct, name);
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

// A check condition is kept with the text it was written in, which the dictionary shows.
void Translator::keepCheckTexts() {
  for (size_t k = 0; k + 2 < size(); ++k) {
    if (!is(t_[k], "CHECK") || !is(t_[k + 1], "(") || !replace_[k + 1].empty()) continue;
    size_t close = matching(k + 1);
    if (close <= k + 2 || close >= size()) continue;
    // a check calls Oracle's own functions only: the schema's are no names there
    for (size_t m = k + 2; m + 1 < close; ++m)
      if (schemaFunctionAt(m, false)) throw OraError(904, t_[m].text).at(static_cast<int>(t_[m].pos));
    std::string written = source(k + 2, close);
    replace_[k + 1] = "(" + storedDefault(written, "");
    if (auto p = cat_.periodChecks.find(written); p != cat_.periodChecks.end()) replace_[k + 1] += periodMark(p->second);
  }
}

void Translator::ownReferences() {
  for (size_t k = 0; k + 3 < size(); ++k)
    if (is(t_[k], "REFERENCES") && is(at(k + 2), ".")) {
      std::string name;
      objectName(k + 1, name);
    }
}

void Translator::createTable() {
  tr_.kind = StmtKind::Ddl;
  tr_.function = 1;
  std::string table;
  size_t i = objectName(2, table);
  if (!cat_.objectType(table).empty()) throw OraError(955).at(static_cast<int>(at(2).pos));
  defaultsOf_ = table;
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
  ownReferences();
  size_t close = i + 1;
  while (close < size() && !(t_[close].depth == 0 && is(t_[close], ")"))) ++close;
  if (createDisabled(table, i, close)) return;

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
  tableColumns_ = &localTypes;
  struct Forget {
    const std::vector<std::pair<std::string, ColType>>*& p;
    ~Forget() { p = nullptr; }
  } forget{tableColumns_};
  int longs = 0, columns = 0;
  size_t b = i + 1;
  // a constraint's state (ENABLE, VALIDATE, RELY, USING INDEX ...) is no part of its definition
  deferrableStates(b, close);
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
    // CONSTRAINT is no reserved word: "constraint VARCHAR2(30)" is a column
    bool constraintColumn = is(nameTok, "CONSTRAINT") && at(b + 1).kind == Token::Ident &&
                            (sql::reservedWord(at(b + 1).text) ||
                             !(at(b + 2).kind == Token::Ident && tableConstraint.count(at(b + 2).text)));
    if (nameTok.kind == Token::Ident && tableConstraint.count(nameTok.text) && !constraintColumn) {
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
  for (auto& id : identities) registerIdentity(table, id, 0, 1);
}

// An identity column's record and its sequence, which goes on after `used` numbers.
void Translator::registerIdentity(const std::string& table, const Identity& id, int64_t used, int64_t objectsBefore) {
  // named as Oracle names them: ISEQ$$_ and a number of its own
  int64_t n = 1;
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(cat_.db(), "SELECT IFNULL(MAX(OBJ), 0) + 1 FROM \"TESSEL$OBJECTS\"", -1, &st, nullptr);
  if (sqlite3_step(st) == SQLITE_ROW) n = sqlite3_column_int64(st, 0) + objectsBefore;
  sqlite3_finalize(st);
  std::string seq = "ISEQ$$_" + std::to_string(n);
  tr_.ddl.push_back("INSERT INTO \"TESSEL$IDENTITY\" (TABLE_NAME, COLUMN_NAME, SEQ, ALWAYS) VALUES (" +
                    quoteString(table) + ", " + quoteString(id.column) + ", " + quoteString(seq) + ", " +
                    (id.always ? "1" : id.onNull ? "2" : "0") + ")");
  addSequence(seq, id.increment > 0 ? "1" : "-999999999999999999999999999", id.increment > 0 ? "9999999999999999999999999999" : "-1",
              id.increment, false, 20, id.start + used * id.increment, false, id.start);
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
  // the schema's functions in its expressions must be DETERMINISTIC: SQLite keeps their values
  bool stored = false;
  for (size_t k = i + 1; k + 1 < close; ++k) {
    const Token& f = t_[k];
    if (f.kind != Token::Ident || (k > i + 1 && is(t_[k - 1], "."))) continue;
    bool member = is(t_[k + 1], ".") && at(k + 2).kind == Token::Ident && is(at(k + 3), "(");
    if (!member && !is(t_[k + 1], "(")) continue;
    std::string pkg = member ? f.text : std::string(), name = member ? at(k + 2).text : f.text;
    if (!member && functionAllowed(name.c_str(), false)) continue;
    if (storedFunctionType(cat_, pkg, name) <= 0) continue;
    if (!storedFunctionDeterministic(cat_, pkg, name)) throw OraError(30553).at(static_cast<int>(f.pos));
    stored = true;
  }
  std::string keys = emit(i, close + 1);
  for (size_t at = 0; stored && (at = keys.find("ora_plsql(", at)) != std::string::npos; at += 14)
    keys.replace(at, 10, "ora_plsql_det(");
  tr_.ddl.push_back(std::string("CREATE ") + (unique ? "UNIQUE " : "") + "INDEX " +
                    quoteIdent(index) + " ON " + quoteIdent(table) + " " + keys);
  tr_.ddl.push_back("INSERT OR IGNORE INTO \"TESSEL$OBJECTS\" (NAME, TYPE, CREATED) VALUES (" +
                    quoteString(index) + ", 'INDEX', ora_sysdate())");
  tr_.ddl.push_back(unusableRecord(index, false));
  recordIndexOptions(index, table, unique, i, close);
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
