#include "Roles.h"
#include "ObjectGrants.h"
#include "Audit.h"
#include "Dictionary.h"
#include "Collections.h"
#include "DatabaseLinks.h"

#include "Booleans.h"
#include "Database.h"
#include "DictionaryImpl.h"
#include "InvisibleColumns.h"
#include "ObjectTypes.h"
#include "OraError.h"
#include "OraValues.h"
#include "PlsqlImpl.h"
#include "Session.h"
#include "SqlText.h"
#include "Domains.h"
#include "SqlTranslate.h"

#include <algorithm>
#include <cstring>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <tuple>
#include <sqlite3.h>

namespace ora {

using namespace dict;

namespace {

// Values a row of a view takes: its columns, counted at the top level of the definition.
int columnCount(const std::string& columns) {
  int n = 1, depth = 0;
  for (char c : columns) {
    if (c == '(') ++depth;
    else if (c == ')') --depth;
    else if (c == ',' && depth == 0) ++n;
  }
  return n;
}

void must(sqlite3* db, int rc) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) throw fromSqlite(rc, sqlite3_errmsg(db), "SELECT");
}

std::string dataType(const ColType& t) {
  if (!t.object.empty()) return t.object.str(); // a column of an object type is named by its type
  switch (t.code) {
  case kVarchar2: return t.national ? "NVARCHAR2" : "VARCHAR2";
  case kChar: return t.national ? "NCHAR" : "CHAR";
  case kNumber: return t.binary == kBinaryDouble ? "BINARY_DOUBLE" : t.binary ? "BINARY_FLOAT" : t.isFloat() ? "FLOAT" : "NUMBER";
  case kDate: return "DATE";
  case kTimestamp: return "TIMESTAMP(" + std::to_string(t.scale) + ")";
  case kTimestampTz: return "TIMESTAMP(" + std::to_string(t.scale) + (t.localZone ? ") WITH LOCAL TIME ZONE" : ") WITH TIME ZONE");
  case kIntervalYm: return "INTERVAL YEAR(" + std::to_string(t.precision) + ") TO MONTH";
  case kIntervalDs: return "INTERVAL DAY(" + std::to_string(t.precision) + ") TO SECOND(" + std::to_string(t.scale) + ")";
  case kRaw: return "RAW";
  case kLong: return t.xml ? "XMLTYPE" : t.json ? "JSON" : t.lob == kClob ? "CLOB" : t.lob == kNclob ? "NCLOB" : "LONG";
  case kLongRaw: return t.lob == kBlob ? "BLOB" : "LONG RAW";
  case kRowid: return "ROWID";
  case kBoolean: return "BOOLEAN";
  }
  return "VARCHAR2";
}

} // namespace

int dict::dataLength(const ColType& t) {
  // the national set is AL16UTF16: two bytes a character
  if (t.national) return 2 * (t.chars > 0 ? t.chars : t.size);
  if (t.lob) return 4000; // the locator's size, as Oracle shows it
  switch (t.code) {
  case kVarchar2: case kChar: case kRaw: return t.size;
  case kNumber: return t.binary == kBinaryDouble ? 8 : t.binary ? 4 : 22;
  case kBoolean: return 1;
  case kDate: return 7;
  case kTimestamp: return 11;
  case kTimestampTz: return 13;
  case kIntervalYm: return 5;
  case kIntervalDs: return 11;
  case kRowid: return 6;
  default: return 0;
  }
}

// ANALYZE leaves the row count in SQLite's statistics: the first figure of the table's entry.
std::map<std::string, int64_t> dict::analyzedRowCounts(sqlite3* db) {
  std::map<std::string, int64_t> counted;
  bool stats = false;
  eachRow(db, "SELECT 1 FROM sqlite_master WHERE name = 'sqlite_stat1'", [&](sqlite3_stmt*) { stats = true; });
  if (stats)
    eachRow(db, "SELECT tbl, MAX(CAST(stat AS INTEGER)) FROM sqlite_stat1 GROUP BY tbl",
            [&](sqlite3_stmt* st) { counted[col(st, 0)] = sqlite3_column_int64(st, 1); });
  return counted;
}

namespace {

void fillTables(const Source& src, Inserter& ins) {
  std::map<std::string, int64_t> counted = analyzedRowCounts(src.db);
  std::map<std::string, std::string> analyzed;
  eachRow(src.db, "SELECT TABLE_NAME, ANALYZED FROM \"TESSEL$ANALYZED\"",
          [&](sqlite3_stmt* st) { analyzed[col(st, 0)] = col(st, 1); }, {},
          true); // a schema file that no session of this version opened yet has none
  std::map<std::string, std::string> temporary;
  eachRow(src.db, "SELECT TABLE_NAME, DURATION FROM \"TESSEL$TEMPORARY\"",
          [&](sqlite3_stmt* st) { temporary[col(st, 0)] = col(st, 1); });
  std::set<std::string> readOnly;
  eachRow(src.db, "SELECT TABLE_NAME FROM \"TESSEL$READ_ONLY\"", [&](sqlite3_stmt* st) { readOnly.insert(col(st, 0)); }, {},
          true);
  struct Options {
    bool iot = false, logging = true, cache = false, movement = false;
    int64_t degree = 1;
  };
  std::map<std::string, Options> options;
  eachRow(src.db, "SELECT TABLE_NAME, IOT, LOGGING, DEGREE, CACHE, ROW_MOVEMENT FROM \"TESSEL$TABLE_OPTS\"",
          [&](sqlite3_stmt* st) {
            options[col(st, 0)] = {sqlite3_column_int(st, 1) != 0, sqlite3_column_int(st, 2) != 0,
                                   sqlite3_column_int(st, 4) != 0, sqlite3_column_int(st, 5) != 0,
                                   sqlite3_column_int64(st, 3)};
          }, {}, true);
  std::map<std::string, std::string> clustered;
  eachRow(src.db, "SELECT TABLE_NAME, CLUSTER_NAME FROM \"TESSEL$CLUSTER_TABLES\"",
          [&](sqlite3_stmt* st) { clustered[col(st, 0)] = col(st, 1); }, {}, true);
  for (const auto& t : tablesOf(src.db, "table")) {
    auto temp = temporary.find(t);
    ins.text(t).text("USERS").textOrNull(clustered.count(t) ? clustered[t] : std::string()).null().text("VALID").num(10).num(40).num(1).num(255).num(10240).num(10240).num(1)
        .num(121).num(50);
    const Options o = options.count(t) ? options[t] : Options{};
    ins.text(o.logging ? "YES" : "NO").text("N");
    auto c = counted.find(t);
    if (c != counted.end()) ins.num(c->second); else ins.null();
    for (int i = 0; i < 5; ++i) ins.null();
    char degree[16];
    std::snprintf(degree, sizeof degree, "%10s", o.degree == 0 ? "DEFAULT" : std::to_string(o.degree).c_str());
    ins.text(degree).text("         1").text(o.cache ? "    Y" : "    N");
    // statistics SQLite keeps without our record of when (an older build's ANALYZE) show no date
    auto when = analyzed.find(t);
    if (c != counted.end()) ins.num(c->second); else ins.null();
    if (c != counted.end() && when != analyzed.end()) ins.text(when->second); else ins.null();
    ins.text(isPartitioned(src.db, t) ? "YES" : "NO");
    if (o.iot) ins.text("IOT"); else ins.null();
    ins.text(temp != temporary.end() ? "Y" : "N").text(o.movement ? "ENABLED" : "DISABLED");
    if (temp != temporary.end()) ins.text(temp->second); else ins.null();
    ins.text(readOnly.count(t) ? "YES" : "NO").row();
  }
}

bool viewCompiles(const Source& src, const std::string& name, bool translated);

// Identity columns by table and column: 1 ALWAYS, 0 BY DEFAULT, 2 BY DEFAULT ON NULL, with
// the sequence that numbers them.
std::map<std::pair<std::string, std::string>, std::pair<int, std::string>> identityColumns(sqlite3* db) {
  std::map<std::pair<std::string, std::string>, std::pair<int, std::string>> out;
  eachRow(db, "SELECT TABLE_NAME, COLUMN_NAME, ALWAYS, SEQ FROM \"TESSEL$IDENTITY\"",
          [&](sqlite3_stmt* st) { out[{col(st, 0), col(st, 1)}] = {sqlite3_column_int(st, 2), col(st, 3)}; }, {}, true);
  return out;
}

// IDENTITY_OPTIONS: the sequence behind the column, in Oracle's words; NULL where the schema's
// sequence file is not read.
std::string identityOptions(const Source& src, const std::string& sequence) {
  std::string out;
  if (!src.session) return out;
  eachRow(src.session->sequences(),
          "SELECT COALESCE(STARTV, CASE WHEN INCR > 0 THEN MINV ELSE MAXV END), INCR, MAXV, MINV, CYCLE, CACHE, ORDERED"
          " FROM SEQUENCES WHERE NAME = ?1",
          [&](sqlite3_stmt* st) {
            out = "START WITH: " + col(st, 0) + ", INCREMENT BY: " + col(st, 1) + ", MAX_VALUE: " + col(st, 2) +
                  ", MIN_VALUE: " + col(st, 3) + ", CYCLE_FLAG: " + (sqlite3_column_int(st, 4) ? "Y" : "N") +
                  ", CACHE_SIZE: " + col(st, 5) + ", ORDER_FLAG: " + (sqlite3_column_int(st, 6) ? "Y" : "N") +
                  ", SCALE_FLAG: N, EXTEND_FLAG: N, SESSION_FLAG: N, KEEP_VALUE: N";
          },
          sequence);
  return out;
}

void fillIdentityColumns(const Source& src, Inserter& ins) {
  for (auto& [at, how] : identityColumns(src.db)) {
    ins.text(at.first).text(at.second).text(how.first == 1 ? "ALWAYS" : "BY DEFAULT").text(how.second);
    if (std::string options = identityOptions(src, how.second); options.empty()) ins.null();
    else ins.text(options);
    ins.row();
  }
}

// allCols: USER_TAB_COLS, which adds HIDDEN_COLUMN and VIRTUAL_COLUMN
void fillColumns(const Source& src, Inserter& ins, bool allCols = false) {
  sqlite3* db = src.db;
  bool computed = false, invisible = false, onNull = false;
  const auto identities = identityColumns(db);
  std::map<std::pair<std::string, std::string>, ColumnStats> stats = columnStatistics(db);
  auto add = [&](const std::string& table, const std::string& name, const ColType& t, bool notNull,
                 int id, const std::string& dflt) {
    std::string type = dataType(t);
    if (t.code == 108) // a collection column
      if (std::string coll = columnCollectionType(db, table, name); !coll.empty()) type = coll;
    ins.text(table).text(name).text(type).num(dataLength(t));
    if ((t.code == kNumber && t.precision > 0 && !t.anyPrecision) || isInterval(t.code)) ins.num(t.precision); else ins.null();
    if ((t.code == kNumber && t.hasScale && !t.isFloat()) || isTimestamp(t.code) || isInterval(t.code)) ins.num(t.scale); else ins.null();
    ins.text(notNull ? "N" : "Y");
    if (invisible) ins.null(); else ins.num(id); // an invisible column has no place in the order
    if (dflt.empty()) ins.null().null();
    else ins.num(static_cast<int64_t>(dflt.size())).text(dflt);
    auto s = stats.find({table, name});
    if (s != stats.end()) addColumnStatistics(ins, s->second);
    else for (int k = 0; k < 8; ++k) ins.null();
    if ((t.code == kVarchar2 || t.code == kChar) && t.object.empty()) {
      int chars = t.chars > 0 ? t.chars : t.size;
      ins.num(t.national ? dataLength(t) : t.size).num(chars).text(t.chars > 0 ? "C" : "B");
    } else {
      ins.null().num(0).null();
    }
    if (allCols) ins.text(invisible ? "YES" : "NO").text(computed ? "YES" : "NO");
    auto identity = identities.find({table, name});
    ins.text(onNull || (identity != identities.end() && identity->second.first == 2) ? "YES" : "NO")
        .text(identity != identities.end() ? "YES" : "NO");
    ins.row();
  };
  for (const auto& t : tablesOf(db, "table")) {
    std::string created; // a virtual column's expression is in the table's definition
    eachRow(db, "SELECT sql FROM sqlite_schema WHERE type = 'table' AND name = ?1",
            [&](sqlite3_stmt* st) { created = col(st, 0); }, t);
    auto hidden = tx::invisibleColumns(created);
    int visible = 0;
    eachRow(db, "SELECT name, type, \"notnull\", cid, dflt_value, hidden FROM pragma_table_xinfo(?1)"
                " WHERE hidden <> 1 ORDER BY cid",
            [&](sqlite3_stmt* st) {
              std::string stored = col(st, 4), dflt = writtenDefault(stored);
              computed = sqlite3_column_int(st, 5) >= 2;
              onNull = defaultOnNull(stored);
              // an identity column's default is its sequence's next value
              if (auto id = identities.find({t, col(st, 0)}); id != identities.end())
                dflt = "\"" + src.owner + "\".\"" + id->second.second + "\".nextval";
              invisible = hidden.count(col(st, 0)) > 0;
              if (!invisible) ++visible;
              if (computed) {
                size_t at = created.find(quoteIdent(col(st, 0)) + " ");
                at = at == std::string::npos ? at : created.find("GENERATED ALWAYS AS (", at);
                if (at != std::string::npos) dflt = writtenDefault(created.substr(at + 21));
              }
              // a default kept without its text: a plain literal reads the same in both dialects
              if (dflt.empty() && !stored.empty() &&
                  stored.find_first_not_of("0123456789.-") == std::string::npos)
                dflt = stored;
              add(t, col(st, 0), parseDeclType(col(st, 1)), sqlite3_column_int(st, 2) != 0, visible, dflt);
            }, t);
  }
  computed = invisible = onNull = false;
  for (const auto& v : tablesOf(db, "view")) {
    std::vector<std::string> types;
    eachRow(db, "SELECT COLTYPES FROM \"TESSEL$VIEWS\" WHERE NAME = ?1",
            [&](sqlite3_stmt* st) { types = splitTabs(col(st, 0)); }, v);
    // a view whose tables are gone has no columns to show
    eachRow(db, "SELECT name, cid FROM pragma_table_info(?1) ORDER BY cid",
            [&](sqlite3_stmt* st) {
              int cid = sqlite3_column_int(st, 1);
              ColType t = cid < static_cast<int>(types.size()) ? parseDeclType(types[cid]) : ColType{};
              if (t.code == 0) { t.code = kVarchar2; t.size = 4000; }
              add(v, col(st, 0), t, false, cid + 1, std::string());
            }, v, true);
    if (!viewCompiles(src, v, false)) {
      // a view kept as its query alone: the columns it has as that query compiles now
      Catalog cat(db, src.owner, src.session);
      Translation q = recompiledView(cat, v);
      sqlite3_stmt* st = nullptr;
      if (!q.sql.empty() && sqlite3_prepare_v2(db, q.sql.c_str(), -1, &st, nullptr) == SQLITE_OK)
        for (int k = 0; k < sqlite3_column_count(st); ++k) {
          ColType t = k < static_cast<int>(types.size()) ? parseDeclType(types[k]) : ColType{};
          if (t.code == 0) t = resultType(st, k, q);
          if (t.code == 0) { t.code = kVarchar2; t.size = 4000; }
          add(v, sqlite3_column_name(st, k), t, false, k + 1, std::string());
        }
      sqlite3_finalize(st);
    }
  }
}

void fillViews(const Source& src, Inserter& ins) {
  // an object view's type
  std::map<std::string, std::string> types;
  eachRow(src.db, "SELECT name FROM sqlite_schema WHERE name = 'TESSEL$OBJECT_TABLES'", [&](sqlite3_stmt*) {
    eachRow(src.db, "SELECT TABLE_NAME, TYPE_NAME FROM \"TESSEL$OBJECT_TABLES\"",
            [&](sqlite3_stmt* t) { types[col(t, 0)] = col(t, 1); });
  });
  eachRow(src.db, "SELECT NAME, TEXT FROM \"TESSEL$VIEWS\" ORDER BY NAME", [&](sqlite3_stmt* st) {
    std::string name = col(st, 0), text = col(st, 1);
    ins.text(name).num(byteLength(text, src.charset)).text(text);
    auto it = types.find(name);
    if (it == types.end()) {
      ins.null().null().null().null();
    } else {
      ins.num(static_cast<int64_t>(it->second.size())).text(it->second).text(src.owner).text(it->second);
    }
    ins.row();
  });
}

void fillTriggers(const Source& src, Inserter& ins) {
  // another user's schema not opened since triggers could be disabled has no record of it
  bool states = false;
  eachRow(src.db, "SELECT 1 FROM sqlite_schema WHERE name = 'TESSEL$TRIGGER_STATE'", [&](sqlite3_stmt*) { states = true; });
  // every trigger is on a table, or INSTEAD OF on a view
  std::set<std::string> views;
  for (auto& v : tablesOf(src.db, "view")) views.insert(v);
  eachRow(src.db,
          std::string("SELECT t.NAME, TRIGGER_TYPE, EVENT, TABLE_NAME, REFERENCING, WHEN_CLAUSE, DESCRIPTION, BODY, ") +
              (states ? "COALESCE((SELECT ENABLED FROM \"TESSEL$TRIGGER_STATE\" s WHERE s.NAME = t.NAME), 1)" : "1") +
              " FROM \"TESSEL$TRIGGERS\" t ORDER BY t.NAME",
          [&](sqlite3_stmt* st) {
            ins.text(col(st, 0)).text(col(st, 1)).text(col(st, 2)).text(src.owner).text(col(st, 3))
                .text(col(st, 4)).textOrNull(col(st, 5))
                .text(sqlite3_column_int(st, 8) ? "ENABLED" : "DISABLED").text(col(st, 6))
                .text(col(st, 7)).text(views.count(col(st, 3)) ? "VIEW" : "TABLE").row();
          });
}

// A table's or an index's pages in the database file, as one extent of the USERS tablespace.
void fillSegments(const Source& src, Inserter& ins) {
  std::map<std::string, std::pair<int64_t, int64_t>> pages; // b-tree name: page count, bytes
  eachRow(src.db, "SELECT name, COUNT(*), SUM(pgsize) FROM dbstat('main') GROUP BY name",
          [&](sqlite3_stmt* st) { pages[col(st, 0)] = {sqlite3_column_int64(st, 1), sqlite3_column_int64(st, 2)}; });
  std::vector<std::tuple<std::string, const char*, std::string>> segments; // name, type, b-tree
  for (const auto& t : tablesOf(src.db, "table")) segments.emplace_back(t, "TABLE", t);
  for (auto& ix : allIndexes(src.db)) segments.emplace_back(ix.name, "INDEX", ix.btree);
  std::sort(segments.begin(), segments.end());
  for (auto& [name, type, btree] : segments) {
    auto p = pages.find(btree);
    int64_t blocks = p == pages.end() ? 1 : p->second.first;
    int64_t bytes = p == pages.end() ? 4096 : p->second.second;
    ins.text(name).null().text(type).text("USERS").num(bytes).num(blocks).num(1).num(bytes).num(1048576).num(1)
        .num(2147483645).row();
  }
}

std::string timestampText(const std::string& stored) {
  // stored dates are "YYYY-MM-DD HH:MM:SS"; the dictionary's TIMESTAMP is "YYYY-MM-DD:HH:MM:SS"
  std::string t = stored;
  if (t.size() == 19) t[10] = ':';
  return t;
}

// A view compiles while its tables and columns are there. One kept as its query alone (made with
// FORCE before its tables, or reading the dictionary) compiles when that query translates.
bool viewCompiles(const Source& src, const std::string& name, bool translated) {
  sqlite3_stmt* st = nullptr;
  std::string sql = "SELECT * FROM " + quoteIdent(name);
  bool ok = sqlite3_prepare_v2(src.db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK;
  sqlite3_finalize(st);
  if (ok || !translated) return ok;
  Catalog cat(src.db, src.owner, src.session);
  return !recompiledView(cat, name).sql.empty();
}

void fillObjects(const Source& src, Inserter& ins) {
  sqlite3* db = src.db;
  std::map<std::string, bool> invalidTriggers;
  Catalog cat(db, src.owner, src.session);
  eachRow(db, "SELECT NAME, VALID, BODY FROM \"TESSEL$TRIGGERS\"", [&](sqlite3_stmt* st) {
    invalidTriggers[col(st, 0)] = sqlite3_column_int(st, 1) == 0 || !pl::sqlNamesPresent(col(st, 2), cat);
  });
  // a synonym for an object of this schema is valid while the object is there; one for another
  // schema's object is taken as valid
  std::set<std::string> brokenSynonyms;
  eachRow(db, "SELECT NAME FROM \"TESSEL$SYNONYMS\" s WHERE TABLE_OWNER = ?1 AND NOT EXISTS"
              " (SELECT 1 FROM \"TESSEL$OBJECTS\" o WHERE o.NAME = s.TABLE_NAME AND o.TYPE <> 'INDEX')",
          [&](sqlite3_stmt* st) { brokenSynonyms.insert(col(st, 0)); }, src.owner, true);
  // a stored unit is valid when it compiles (object types: when their parts are there)
  std::set<std::string> validProcedures; // "TYPE/NAME"
  for (auto& [key, errors] : unitErrors(src))
    if (errors.empty()) validProcedures.insert(key);
  std::map<std::string, std::string> tableCreated;
  eachRow(db, "SELECT NAME, OBJ, TYPE, CREATED FROM \"TESSEL$OBJECTS\" ORDER BY NAME, TYPE",
          [&](sqlite3_stmt* st) {
            std::string type = col(st, 2), created = col(st, 3);
            if (type == "TABLE") tableCreated[col(st, 0)] = created;
            bool valid = validProcedures.count(type + "/" + col(st, 0)) || type == "TABLE" || type == "SEQUENCE" || type == "INDEX" ||
                         type == "CLUSTER" ||
                         type == "MATERIALIZED VIEW" ||
                         (type == "TRIGGER" && !invalidTriggers[col(st, 0)]) ||
                         (type == "VIEW" && viewCompiles(src, col(st, 0), true)) ||
                         (type == "SYNONYM" && !brokenSynonyms.count(col(st, 0)));
            ins.text(col(st, 0)).num(sqlite3_column_int64(st, 1)).text(type).textOrNull(created)
                .textOrNull(created).textOrNull(timestampText(created)).text(valid ? "VALID" : "INVALID")
                .row();
          });
  // indexes that stand for constraints have no object row of their own
  for (auto& ix : allIndexes(db)) {
    bool recorded = false;
    eachRow(db, "SELECT 1 FROM \"TESSEL$OBJECTS\" WHERE TYPE = 'INDEX' AND NAME = ?1",
            [&](sqlite3_stmt*) { recorded = true; }, ix.name);
    // made with its table's key, when the table was
    const std::string created = tableCreated[ix.table];
    if (!recorded)
      ins.text(ix.name).null().text("INDEX").textOrNull(created).textOrNull(created)
          .textOrNull(created.empty() ? created : timestampText(created)).text("VALID").row();
  }
}

void fillSequences(const Source& src, Inserter& ins) {
  if (!src.session) return; // another schema's sequence file is not read
  sqlite3* q = src.session->sequences();
  eachRow(q, "SELECT NAME, MINV, MAXV, INCR, CYCLE, CACHE, NEXTV, ORDERED FROM SEQUENCES ORDER BY NAME",
          [&](sqlite3_stmt* st) {
            ins.text(col(st, 0));
            for (int i : {1, 2, 3}) {
              if (sqlite3_column_type(st, i) == SQLITE_INTEGER) ins.num(sqlite3_column_int64(st, i));
              else ins.text(col(st, i)); // beyond 64 bits: kept as decimal text
            }
            ins.text(sqlite3_column_int(st, 4) ? "Y" : "N").text(sqlite3_column_int(st, 7) ? "Y" : "N")
                .num(sqlite3_column_int64(st, 5))
                .num(sqlite3_column_int64(st, 6)).row();
          });
}

void fillUsers(const Source& src, Inserter& ins) {
  int64_t id = 0;
  eachRow(src.db, "PRAGMA main.user_version", [&](sqlite3_stmt* st) { id = sqlite3_column_int64(st, 0); });
  std::string created;
  if (src.session)
    for (auto& u : listUsers(src.session->folder))
      if (u.name == src.owner) created = u.created;
  ins.text(src.owner).num(id).text("USERS").text("TEMP").textOrNull(created).text("OPEN").row();
}

// Every table and view, with the comment COMMENT ON gave it (NULL when none).
void fillTableComments(const Source& src, Inserter& ins) {
  for (const char* type : {"table", "view"})
    for (const auto& t : tablesOf(src.db, type)) {
      std::string comment;
      eachRow(src.db, "SELECT COMMENTS FROM \"TESSEL$COMMENTS\" WHERE TABLE_NAME = ?1 AND COLUMN_NAME = ''",
              [&](sqlite3_stmt* st) { comment = col(st, 0); }, t);
      ins.text(t).text(std::string(type) == "table" ? "TABLE" : "VIEW").textOrNull(comment).row();
    }
}

void fillColumnComments(const Source& src, Inserter& ins) {
  for (const char* type : {"table", "view"})
    for (const auto& t : tablesOf(src.db, type))
      eachRow(src.db,
              "SELECT c.name, m.COMMENTS FROM pragma_table_info(?1) c LEFT JOIN \"TESSEL$COMMENTS\" m"
              " ON m.TABLE_NAME = ?1 AND m.COLUMN_NAME = c.name ORDER BY c.cid",
              [&](sqlite3_stmt* st) { ins.text(t).text(col(st, 0)).textOrNull(col(st, 1)).row(); }, t,
              true); // a view that no longer compiles shows no columns, as in USER_TAB_COLUMNS
}

// What every user holds: the roles CONNECT and RESOURCE, and the privileges granted beside them
// (SYSTEM has the DBA role as well). The engine keeps no other grants.
const char* const kRolePrivileges[] = {"CREATE SESSION", "CREATE TABLE", "CREATE SEQUENCE", "CREATE PROCEDURE",
                                       "CREATE TRIGGER"};
const char* const kOwnPrivileges[] = {"CREATE SYNONYM", "CREATE VIEW", "UNLIMITED TABLESPACE"};

void fillPrivileges(const std::string& view, const std::string& user, Inserter& ins) {
  if (view == "SESSION_PRIVS") {
    std::vector<std::string> all(std::begin(kRolePrivileges), std::end(kRolePrivileges));
    all.insert(all.end(), std::begin(kOwnPrivileges), std::end(kOwnPrivileges));
    std::sort(all.begin(), all.end());
    for (auto& p : all) ins.text(p).row();
  } else if (view == "USER_SYS_PRIVS") {
    for (const char* p : kOwnPrivileges) ins.text(user).text(p).text("NO").row();
  }
}

// The PUBLIC synonyms a schema made, as ALL_ and DBA_SYNONYMS show them.
void fillPublicSynonyms(sqlite3* target, sqlite3* schema, const std::string& view, int values) {
  Inserter ins(target, view, values, "PUBLIC");
  eachRow(schema,
          "SELECT NAME, TABLE_OWNER, TABLE_NAME FROM \"TESSEL$SYNONYMS\" WHERE NAME IN"
          " (SELECT NAME FROM \"TESSEL$PUBLIC\") ORDER BY NAME",
          [&](sqlite3_stmt* st) { ins.text(col(st, 0)).text(col(st, 1)).text(col(st, 2)).null().row(); }, {},
          true); // a schema file from before PUBLIC synonyms were marked has none
}

// Fills one USER_ view's rows (or those of its ALL_ and DBA_ forms) from a schema.
void fillOwned(const std::string& base, const Source& src, Inserter& ins) {
  if (base == "TABLES") fillTables(src, ins);
  else if (base == "TAB_COLUMNS") fillColumns(src, ins);
  else if (base == "TAB_COLS") fillColumns(src, ins, true);
  else if (base == "TAB_IDENTITY_COLS") fillIdentityColumns(src, ins);
  else if (base == "VIEWS") fillViews(src, ins);
  else if (base == "TRIGGERS") fillTriggers(src, ins);
  else if (base == "SOURCE") fillSource(src, ins);
  else if (base == "ERRORS") fillErrors(src, ins);
  else if (base == "PROCEDURES") fillProcedures(src, ins);
  else if (base == "ARGUMENTS") fillArguments(src, ins);
  else if (base == "TYPES") fillTypes(src, ins);
  else if (base == "TYPE_ATTRS") fillTypeAttrs(src, ins);
  else if (base == "INDEXES") fillIndexes(src, ins);
  else if (base == "SEGMENTS") fillSegments(src, ins);
  else if (base == "IND_COLUMNS") fillIndexColumns(src, ins);
  else if (base == "IND_EXPRESSIONS") fillIndexExpressions(src, ins);
  else if (base == "CLUSTERS") fillClusters(src, ins);
  else if (base == "TAB_STATISTICS") fillTableStatistics(src, ins);
  else if (base == "TAB_COL_STATISTICS") fillColumnStatistics(src, ins);
  else if (base == "CLU_COLUMNS") fillClusterColumns(src, ins);
  else if (base == "OBJECTS") fillObjects(src, ins);
  else if (base == "SEQUENCES") fillSequences(src, ins);
  else if (base == "USERS") fillUsers(src, ins);
  else if (base == "CONSTRAINTS") fillConstraints(src, ins);
  else if (base == "CONS_COLUMNS") fillConsColumns(src, ins);
  else if (base == "TAB_COMMENTS") fillTableComments(src, ins);
  else if (base == "SYNONYMS")
    eachRow(src.db,
            "SELECT NAME, TABLE_OWNER, TABLE_NAME FROM \"TESSEL$SYNONYMS\" WHERE NAME NOT IN"
            " (SELECT NAME FROM \"TESSEL$PUBLIC\") ORDER BY NAME",
            [&](sqlite3_stmt* st) { ins.text(col(st, 0)).text(col(st, 1)).text(col(st, 2)).null().row(); }, {},
            true);
  else if (base == "COL_COMMENTS") fillColumnComments(src, ins);
  else if (base == "UPDATABLE_COLUMNS") fillUpdatableColumns(src, ins);
  else if (base == "RECYCLEBIN") fillRecycleBin(src, ins);
  else if (base == "MVIEWS") fillMviews(src, ins);
  else if (base == "PART_TABLES") fillPartTables(src, ins);
  else if (base == "TAB_PARTITIONS") fillTabPartitions(src, ins);
  else if (base == "PART_KEY_COLUMNS") fillPartKeyColumns(src, ins);
  else if (base == "LOBS") fillLobs(src, ins);
  else if (base == "DOMAINS" || base == "DOMAIN_COLS" || base == "DOMAIN_CONSTRAINTS" || base == "ANNOTATIONS_USAGE")
    fillDomainViews(base, src, ins);
}

} // namespace

std::string dictionaryView(const std::string& name, const std::string& user) {
  std::string view = name;
  for (auto& s : dictionarySynonyms())
    if (name == s.name) view = s.view;
  if (!findView(view)) return {};
  // the DBA_ views are for the administrator only, as without SELECT ANY DICTIONARY
  if (view.rfind("DBA_", 0) == 0 && user != "SYSTEM") return {};
  return view;
}

std::vector<std::pair<std::string, std::string>> dictionaryNames(const std::string& user) {
  std::vector<std::pair<std::string, std::string>> out;
  for (auto& v : allViews())
    if (!dictionaryView(v.name, user).empty()) out.emplace_back(v.name, v.comment);
  for (auto& s : dictionarySynonyms()) out.emplace_back(s.name, std::string("Synonym for ") + s.view);
  return out;
}

bool dictionaryReadsElsewhere(const std::string& view) {
  return view.rfind("DBA_", 0) == 0 || view == "ALL_USERS" || view == "USER_USERS" || view == "USER_SEQUENCES" || view == "ALL_SEQUENCES" ||
         view == "NLS_SESSION_PARAMETERS" || view == "V$NLS_PARAMETERS" || view == "USER_ROLE_PRIVS" ||
         view == "SESSION_ROLES" || view == "ROLE_SYS_PRIVS" || view == "ROLE_ROLE_PRIVS" || objectPrivilegeView(view) ||
         // the session's settings and jobs change without DDL
         view == "V$SESSION" || view == "USER_JOBS" || view == "USER_SCHEDULER_JOBS" || view == "USER_SCHEDULER_JOB_RUN_DETAILS" ||
         // the session's private temporary tables are not in the schema
         view == "USER_PRIVATE_TEMP_TABLES";
}

std::string dictionaryTable(const std::string& view) { return "TESSEL$D_" + view; }

void ensureSchemaTables(sqlite3* db) {
  static const char* const ddl[] = {
      // AUDIT options of the schema's objects: S (by session), A (by access) or - for each outcome
      "CREATE TABLE IF NOT EXISTS \"TESSEL$AUDIT_OPTS\" (OBJECT_NAME TEXT NOT NULL, OPTION TEXT NOT NULL,"
      " SUCCESS TEXT NOT NULL, FAILURE TEXT NOT NULL, PRIMARY KEY (OBJECT_NAME, OPTION))",
      // DBMS_JOB's and DBMS_SCHEDULER's jobs and the runs of the latter (dates as stored DATEs)
      "CREATE TABLE IF NOT EXISTS \"TESSEL$JOBS\" (JOB INTEGER PRIMARY KEY AUTOINCREMENT, WHAT TEXT, NEXT_DATE TEXT, INTERVAL TEXT,"
      " BROKEN TEXT, FAILURES INTEGER, TOTAL_TIME INTEGER, LAST_DATE TEXT, LOG_USER TEXT)",
      "CREATE TABLE IF NOT EXISTS \"TESSEL$SCHEDULER_JOBS\" (NAME TEXT PRIMARY KEY, JOB_TYPE TEXT, JOB_ACTION TEXT,"
      " NUMBER_OF_ARGUMENTS INTEGER, START_DATE TEXT, REPEAT_INTERVAL TEXT, END_DATE TEXT, JOB_CLASS TEXT, ENABLED TEXT,"
      " AUTO_DROP TEXT, COMMENTS TEXT, RUN_COUNT INTEGER, FAILURE_COUNT INTEGER, LAST_START_DATE TEXT, CREATOR TEXT)",
      "CREATE TABLE IF NOT EXISTS \"TESSEL$SCHEDULER_RUNS\" (LOG_ID INTEGER PRIMARY KEY, LOG_DATE TEXT, JOB_NAME TEXT,"
      " STATUS TEXT, ERROR INTEGER, ACTUAL_START_DATE TEXT, ADDITIONAL_INFO TEXT)",
      "CREATE TABLE IF NOT EXISTS \"TESSEL$OBJECTS\" (OBJ INTEGER PRIMARY KEY AUTOINCREMENT,"
      " NAME TEXT NOT NULL, TYPE TEXT NOT NULL, CREATED TEXT, UNIQUE (NAME, TYPE))",
      "CREATE TABLE IF NOT EXISTS \"TESSEL$SOURCE\" (NAME TEXT NOT NULL, TYPE TEXT NOT NULL,"
      " TEXT TEXT NOT NULL, PRIMARY KEY (NAME, TYPE))",
      "CREATE TABLE IF NOT EXISTS \"TESSEL$VIEWS\" (NAME TEXT PRIMARY KEY, TEXT TEXT NOT NULL,"
      " COLTYPES TEXT NOT NULL)",
      "CREATE TABLE IF NOT EXISTS \"TESSEL$TRIGGERS\" (NAME TEXT PRIMARY KEY, TRIGGER_TYPE TEXT,"
      " EVENT TEXT, TABLE_NAME TEXT, REFERENCING TEXT, WHEN_CLAUSE TEXT, DESCRIPTION TEXT, BODY TEXT,"
      " VALID INTEGER NOT NULL)",
      // whether a trigger fires, and the one it follows
      "CREATE TABLE IF NOT EXISTS \"TESSEL$TRIGGER_STATE\" (NAME TEXT PRIMARY KEY, ENABLED INTEGER NOT NULL,"
      " FOLLOWS TEXT)",
      "CREATE TABLE IF NOT EXISTS \"TESSEL$CONSTRAINTS\" (NAME TEXT PRIMARY KEY, TABLE_NAME TEXT NOT NULL,"
      " TYPE TEXT NOT NULL, COLS TEXT NOT NULL)",
      // a disabled constraint: its definition, out of the table's until it is enabled again
      "CREATE TABLE IF NOT EXISTS \"TESSEL$DISABLED\" (NAME TEXT PRIMARY KEY, TABLE_NAME TEXT NOT NULL,"
      " COLUMN_NAME TEXT NOT NULL, DEFINITION TEXT NOT NULL)",
      // the synonyms of TESSEL$SYNONYMS that are PUBLIC's
      "CREATE TABLE IF NOT EXISTS \"TESSEL$PUBLIC\" (NAME TEXT PRIMARY KEY)",
      "CREATE TABLE IF NOT EXISTS \"TESSEL$SYNONYMS\" (NAME TEXT PRIMARY KEY, TABLE_OWNER TEXT NOT NULL,"
      " TABLE_NAME TEXT NOT NULL)",
      // COMMENT ON: a table's own comment has the empty column name
      "CREATE TABLE IF NOT EXISTS \"TESSEL$COMMENTS\" (TABLE_NAME TEXT NOT NULL, COLUMN_NAME TEXT NOT NULL,"
      " COMMENTS TEXT NOT NULL, PRIMARY KEY (TABLE_NAME, COLUMN_NAME))",
      // global temporary tables: DURATION SYS$TRANSACTION (rows go at commit) or SYS$SESSION
      // when ANALYZE last counted a table's rows
      "CREATE TABLE IF NOT EXISTS \"TESSEL$ANALYZED\" (TABLE_NAME TEXT PRIMARY KEY, ANALYZED TEXT NOT NULL)",
      // tables made READ ONLY
      "CREATE TABLE IF NOT EXISTS \"TESSEL$READ_ONLY\" (TABLE_NAME TEXT PRIMARY KEY)",
      // indexes made UNUSABLE and not rebuilt since
      "CREATE TABLE IF NOT EXISTS \"TESSEL$UNUSABLE\" (NAME TEXT PRIMARY KEY)",
      // what CREATE INDEX said besides the keys: KEYS and HIDDEN hold, a tab between keys, the
      // text of each expression key and the number of its hidden column
      "CREATE TABLE IF NOT EXISTS \"TESSEL$INDEX_OPTS\" (NAME TEXT PRIMARY KEY, TABLE_NAME TEXT,"
      " BITMAP INTEGER NOT NULL DEFAULT 0, REVERSE INTEGER NOT NULL DEFAULT 0, PREFIX INTEGER,"
      " INVISIBLE INTEGER NOT NULL DEFAULT 0, KEYS TEXT, HIDDEN TEXT)",
      // clusters: key columns and their types as written, a tab between; the cluster's index
      "CREATE TABLE IF NOT EXISTS \"TESSEL$CLUSTERS\" (NAME TEXT PRIMARY KEY, TYPE TEXT NOT NULL, KEY_SIZE INTEGER,"
      " HASHKEYS INTEGER NOT NULL, FUNCTION TEXT, SINGLE_TABLE TEXT NOT NULL, COLS TEXT NOT NULL, TYPES TEXT NOT NULL,"
      " INDEX_NAME TEXT)",
      // LOGGING, CACHE, PARALLEL (0: DEFAULT), ROW MOVEMENT and ORGANIZATION INDEX of tables
      "CREATE TABLE IF NOT EXISTS \"TESSEL$TABLE_OPTS\" (TABLE_NAME TEXT PRIMARY KEY, IOT INTEGER NOT NULL DEFAULT 0,"
      " LOGGING INTEGER NOT NULL DEFAULT 1, DEGREE INTEGER NOT NULL DEFAULT 1, CACHE INTEGER NOT NULL DEFAULT 0,"
      " ROW_MOVEMENT INTEGER NOT NULL DEFAULT 0)",
      // column statistics as last gathered; LOW_VALUE and HIGH_VALUE as DUMP(..., 16) shows them
      "CREATE TABLE IF NOT EXISTS \"TESSEL$COL_STATS\" (TABLE_NAME TEXT NOT NULL, COLUMN_NAME TEXT NOT NULL,"
      " NUM_DISTINCT INTEGER, NUM_NULLS INTEGER, LOW_VALUE TEXT, HIGH_VALUE TEXT, SAMPLE_SIZE INTEGER, ANALYZED TEXT,"
      " PRIMARY KEY (TABLE_NAME, COLUMN_NAME))",
      // the tables of a cluster and their columns for its key, in the key's order
      "CREATE TABLE IF NOT EXISTS \"TESSEL$CLUSTER_TABLES\" (TABLE_NAME TEXT PRIMARY KEY, CLUSTER_NAME TEXT NOT NULL,"
      " COLS TEXT NOT NULL)",
      // index statistics as the index was last built or analyzed
      "CREATE TABLE IF NOT EXISTS \"TESSEL$INDEX_STATS\" (NAME TEXT PRIMARY KEY, TABLE_NAME TEXT NOT NULL,"
      " NUM_ROWS INTEGER, DISTINCT_KEYS INTEGER, LEAF_BLOCKS INTEGER, BLEVEL INTEGER, ANALYZED TEXT)",
      // enabled constraints whose rows were not checked (ENABLE NOVALIDATE)
      "CREATE TABLE IF NOT EXISTS \"TESSEL$NOVALIDATED\" (NAME TEXT NOT NULL, TABLE_NAME TEXT NOT NULL,"
      " PRIMARY KEY (NAME, TABLE_NAME))",
      "CREATE TABLE IF NOT EXISTS \"TESSEL$TEMPORARY\" (TABLE_NAME TEXT PRIMARY KEY, DURATION TEXT NOT NULL)",
      // identity columns: the sequence that numbers them, and whether a value may be given
      // dropped tables and their indexes, kept as TESSEL$ followed by OBJECT_NAME
      "CREATE TABLE IF NOT EXISTS \"TESSEL$RECYCLEBIN\" (OBJECT_NAME TEXT PRIMARY KEY, ORIGINAL_NAME TEXT NOT NULL,"
      " TYPE TEXT NOT NULL, BASE_OBJECT TEXT NOT NULL, OBJ INTEGER, CREATED TEXT, DROPPED TEXT, SEQ INTEGER,"
      " DESCRIPTION TEXT, BODY TEXT)", // a trigger's, to make it again
      "CREATE TABLE IF NOT EXISTS \"TESSEL$MVIEWS\" (NAME TEXT PRIMARY KEY, QUERY TEXT NOT NULL, BUILD TEXT NOT NULL,"
      " METHOD TEXT NOT NULL, MODE TEXT NOT NULL, REWRITE TEXT NOT NULL, REFRESHED TEXT, REFRESH_TYPE TEXT)",
      // autonomous commits made inside a transaction still open, by their journal entry
      "CREATE TABLE IF NOT EXISTS \"TESSEL$AUTONOMOUS\" (ID INTEGER PRIMARY KEY)",
      "CREATE TABLE IF NOT EXISTS \"TESSEL$IDENTITY\" (TABLE_NAME TEXT NOT NULL, COLUMN_NAME TEXT NOT NULL,"
      " SEQ TEXT NOT NULL, ALWAYS INTEGER NOT NULL, PRIMARY KEY (TABLE_NAME, COLUMN_NAME))"};
  for (const char* sql : ddl) execOne(db, sql);
  for (const char* sql : partitionTables()) execOne(db, sql);
  for (const char* sql : domainTables()) execOne(db, sql);
}

void createDictionaryTables(sqlite3* db) {
  for (auto& v : allViews())
    execOne(db, "CREATE TEMP TABLE IF NOT EXISTS " + quoteIdent(dictionaryTable(v.name)) + " (" + v.columns + ")");
}

void fillDictionary(Session& s, const std::string& view) {
  must(s.db, execOne(s.db, "DELETE FROM temp." + quoteIdent(dictionaryTable(view))));
  const View* v = findView(view);
  if (!v) return;
  int n = columnCount(v->columns);
  Source own{s.db, s.user, &s, s.charset};
  if (view == "TAB") { Inserter ins(s.db, view, n); fillTab(own, ins); return; }
  if (view == "USER_PRIVATE_TEMP_TABLES") {
    // the session's own, which no other session sees
    Inserter ins(s.db, view, n);
    for (auto& p : s.privateTables) {
      ins.null().null().text(p.name).text("TEMP").text(p.preserve ? "SESSION" : "TRANSACTION");
      for (int i = 0; i < 6; ++i) ins.null();
      ins.row();
    }
    return;
  }
  if (view == "USER_CATALOG") { Inserter ins(s.db, view, n); fillCatalog(own, ins); return; }
  if (view == "USER_DEPENDENCIES") { Inserter ins(s.db, view, n); fillDependencies(own, ins); return; }
  if (view == "DICTIONARY") { Inserter ins(s.db, view, n); fillDictionaryList(s.user, ins); return; }
  if (view == "ALL_USERS" || view == "DBA_USERS") { Inserter ins(s.db, view, n); fillUserList(s.folder, view, ins); return; }
  if (view == "SESSION_PRIVS" || view == "USER_SYS_PRIVS") {
    Inserter ins(s.db, view, n);
    fillPrivileges(view, s.user, ins);
    return;
  }
  if (view == "USER_OBJ_AUDIT_OPTS") {
    Inserter ins(s.db, view, n);
    for (auto& row : auditOptionRows(s.db)) {
      for (auto& v : row) ins.text(v);
      ins.row();
    }
    return;
  }
  if (view == "USER_DB_LINKS" || view == "ALL_DB_LINKS" || view == "DBA_DB_LINKS") {
    Inserter ins(s.db, view, n);
    for (auto& row : databaseLinkRows(s.db, view, s.user)) {
      for (auto& v : row) ins.textOrNull(v);
      ins.row();
    }
    return;
  }
  if (view == "USER_ROLE_PRIVS" || view == "SESSION_ROLES" || view == "ROLE_SYS_PRIVS" || view == "ROLE_ROLE_PRIVS" ||
      view == "DBA_ROLES") {
    Inserter ins(s.db, view, n);
    for (auto& row : roleViewRows(s, view)) {
      for (auto& v : row) ins.text(v);
      ins.row();
    }
    return;
  }
  if (objectPrivilegeView(view)) {
    Inserter ins(s.db, view, n);
    for (auto& row : objectPrivilegeRows(s, view)) {
      for (auto& v : row) ins.textOrNull(v);
      ins.row();
    }
    return;
  }
  if (view == "NLS_DATABASE_PARAMETERS") { Inserter ins(s.db, view, n); fillNlsParameters(s.charset, ins); return; }
  if (view == "NLS_SESSION_PARAMETERS" || view == "V$NLS_PARAMETERS") {
    Inserter ins(s.db, view, n);
    fillSessionNls(s.db, view == "V$NLS_PARAMETERS" ? charsetName(s.charset) : nullptr, ins);
    return;
  }
  if (view == "V$DATABASE" || view == "V$INSTANCE" || view == "V$SESSION") {
    Inserter ins(s.db, view, n);
    fillInstanceViews(view, s.db, s.user, databaseName(s.folder), ins);
    return;
  }
  if (view == "USER_JOBS" || view == "USER_SCHEDULER_JOBS" || view == "USER_SCHEDULER_JOB_RUN_DETAILS") {
    Inserter ins(s.db, view, n);
    fillJobViews(view, own, ins);
    return;
  }
  if (view == "V$VERSION" || view == "GLOBAL_NAME") { Inserter ins(s.db, view, n); fillDatabaseNames(view, s.folder, ins); return; }
  if (!v->owned) {
    Inserter ins(s.db, view, n);
    fillOwned(view.substr(5), own, ins);
    return;
  }
  int values = v->owned->addOwner ? n - 1 : n;
  if (view.rfind("ALL_", 0) == 0) {
    // no engine statement reaches another schema, so the user may see only its own objects
    {
      Inserter ins(s.db, view, values, v->owned->addOwner ? s.user : std::string());
      fillOwned(v->owned->base, own, ins);
    }
    if (std::string(v->owned->base) == "SYNONYMS") fillPublicSynonyms(s.db, s.db, view, values);
    return;
  }
  for (auto& u : listUsers(s.folder)) {
    Inserter ins(s.db, view, values, v->owned->addOwner ? u.name : std::string());
    if (u.name == s.user) {
      fillOwned(v->owned->base, own, ins);
      if (std::string(v->owned->base) == "SYNONYMS") fillPublicSynonyms(s.db, s.db, view, values);
      continue;
    }
    sqlite3* other = openSchema(schemaPath(s.folder, u.name), u.name);
    if (!other) continue; // a schema that cannot be opened has nothing to show
    try {
      fillOwned(v->owned->base, Source{other, u.name, nullptr, s.charset}, ins);
      if (std::string(v->owned->base) == "SYNONYMS") fillPublicSynonyms(s.db, other, view, values);
    } catch (...) {
      sqlite3_close_v2(other);
      throw;
    }
    sqlite3_close_v2(other);
  }
}

std::vector<ConstraintInfo> recordedConstraints(sqlite3* db, const std::string& table) {
  std::vector<ConstraintInfo> out;
  eachRow(db, "SELECT NAME, TYPE, COLS FROM \"TESSEL$CONSTRAINTS\" WHERE TABLE_NAME = ?1",
          [&](sqlite3_stmt* st) {
            ConstraintInfo c;
            c.name = col(st, 0);
            c.table = table;
            c.type = col(st, 1);
            c.columns = splitTabs(col(st, 2));
            out.push_back(c);
          }, table, true);
  return out;
}

} // namespace ora
