#include "Dictionary.h"

#include "OraError.h"
#include "OraValues.h"
#include "Session.h"
#include "SqlText.h"

#include <functional>
#include <map>
#include <sqlite3.h>

namespace ora {

namespace {

struct ViewDef {
  const char* name;
  const char* columns;
};

// Storage figures are the engine's own fixed values: it has no extents or blocks.
const ViewDef kViews[] = {
    {"USER_TABLES",
     "TABLE_NAME VARCHAR2(30) NOT NULL, TABLESPACE_NAME VARCHAR2(30), CLUSTER_NAME VARCHAR2(30),"
     " PCT_FREE NUMBER, PCT_USED NUMBER, INI_TRANS NUMBER, MAX_TRANS NUMBER, INITIAL_EXTENT NUMBER,"
     " NEXT_EXTENT NUMBER, MIN_EXTENTS NUMBER, MAX_EXTENTS NUMBER, PCT_INCREASE NUMBER,"
     " BACKED_UP VARCHAR2(1), NUM_ROWS NUMBER, BLOCKS NUMBER, EMPTY_BLOCKS NUMBER, AVG_SPACE NUMBER,"
     " CHAIN_CNT NUMBER, AVG_ROW_LEN NUMBER, DEGREE VARCHAR2(10), INSTANCES VARCHAR2(10),"
     " CACHE VARCHAR2(5)"},
    {"USER_VIEWS", "VIEW_NAME VARCHAR2(30) NOT NULL, TEXT_LENGTH NUMBER, TEXT LONG VARCHAR"},
    {"USER_TRIGGERS",
     "TRIGGER_NAME VARCHAR2(30) NOT NULL, TRIGGER_TYPE VARCHAR2(16), TRIGGERING_EVENT VARCHAR2(26),"
     " TABLE_OWNER VARCHAR2(30) NOT NULL, TABLE_NAME VARCHAR2(30) NOT NULL,"
     " REFERENCING_NAMES VARCHAR2(87), WHEN_CLAUSE VARCHAR2(2000), STATUS VARCHAR2(8),"
     " DESCRIPTION VARCHAR2(2000), TRIGGER_BODY LONG VARCHAR"},
    {"USER_SOURCE", "NAME VARCHAR2(30) NOT NULL, TYPE VARCHAR2(12), LINE NUMBER NOT NULL, TEXT VARCHAR2(4000)"},
    {"USER_TAB_COLUMNS",
     "TABLE_NAME VARCHAR2(30) NOT NULL, COLUMN_NAME VARCHAR2(30) NOT NULL, DATA_TYPE VARCHAR2(9),"
     " DATA_LENGTH NUMBER NOT NULL, DATA_PRECISION NUMBER, DATA_SCALE NUMBER, NULLABLE VARCHAR2(1),"
     " COLUMN_ID NUMBER NOT NULL, DEFAULT_LENGTH NUMBER"},
    {"USER_INDEXES",
     "INDEX_NAME VARCHAR2(30) NOT NULL, TABLE_OWNER VARCHAR2(30) NOT NULL,"
     " TABLE_NAME VARCHAR2(30) NOT NULL, TABLE_TYPE VARCHAR2(11), UNIQUENESS VARCHAR2(9),"
     " TABLESPACE_NAME VARCHAR2(30), INI_TRANS NUMBER, MAX_TRANS NUMBER, INITIAL_EXTENT NUMBER,"
     " NEXT_EXTENT NUMBER, MIN_EXTENTS NUMBER, MAX_EXTENTS NUMBER, PCT_INCREASE NUMBER,"
     " PCT_FREE NUMBER, STATUS VARCHAR2(8)"},
    {"USER_IND_COLUMNS",
     "INDEX_NAME VARCHAR2(30), TABLE_NAME VARCHAR2(30), COLUMN_NAME VARCHAR2(30),"
     " COLUMN_POSITION NUMBER, COLUMN_LENGTH NUMBER"},
    {"USER_OBJECTS",
     "OBJECT_NAME VARCHAR2(128), OBJECT_ID NUMBER, OBJECT_TYPE VARCHAR2(15), CREATED DATE,"
     " LAST_DDL_TIME DATE, TIMESTAMP VARCHAR2(19), STATUS VARCHAR2(7)"},
    {"USER_SEQUENCES",
     "SEQUENCE_NAME VARCHAR2(30) NOT NULL, MIN_VALUE NUMBER, MAX_VALUE NUMBER,"
     " INCREMENT_BY NUMBER NOT NULL, CYCLE_FLAG VARCHAR2(1), ORDER_FLAG VARCHAR2(1),"
     " CACHE_SIZE NUMBER NOT NULL, LAST_NUMBER NUMBER NOT NULL"},
    {"USER_USERS",
     "USERNAME VARCHAR2(30) NOT NULL, USER_ID NUMBER NOT NULL, DEFAULT_TABLESPACE VARCHAR2(30),"
     " TEMPORARY_TABLESPACE VARCHAR2(30), CREATED DATE"},
};

void must(sqlite3* db, int rc) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) throw fromSqlite(rc, sqlite3_errmsg(db), "SELECT");
}

// Runs a query and calls `row` for each of its rows.
void eachRow(sqlite3* db, const std::string& sql, const std::function<void(sqlite3_stmt*)>& row,
             const std::string& arg = {}, bool tolerant = false) {
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_finalize(st);
    if (tolerant) return;
    must(db, rc);
  }
  if (!arg.empty() || sqlite3_bind_parameter_count(st) > 0)
    sqlite3_bind_text(st, 1, arg.c_str(), -1, SQLITE_TRANSIENT);
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) row(st);
  std::string msg = sqlite3_errmsg(db);
  sqlite3_finalize(st);
  if (rc != SQLITE_DONE && !tolerant) throw fromSqlite(rc, msg, "SELECT");
}

std::string col(sqlite3_stmt* st, int i) {
  const unsigned char* p = sqlite3_column_text(st, i);
  return p ? reinterpret_cast<const char*>(p) : "";
}

// An INSERT into a dictionary table, values bound in order.
class Inserter {
public:
  Inserter(sqlite3* db, const std::string& view, int n) : db_(db) {
    std::string sql = "INSERT INTO temp." + quoteIdent(dictionaryTable(view)) + " VALUES (";
    for (int i = 1; i <= n; ++i) sql += (i > 1 ? ", ?" : "?") + std::to_string(i);
    sql += ")";
    must(db, sqlite3_prepare_v2(db, sql.c_str(), -1, &st_, nullptr));
  }
  ~Inserter() { sqlite3_finalize(st_); }
  Inserter& text(const std::string& v) {
    sqlite3_bind_text(st_, ++i_, v.c_str(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Inserter& textOrNull(const std::string& v) { return v.empty() ? null() : text(v); }
  Inserter& num(int64_t v) {
    sqlite3_bind_int64(st_, ++i_, v);
    return *this;
  }
  Inserter& null() {
    sqlite3_bind_null(st_, ++i_);
    return *this;
  }
  void row() {
    int rc = sqlite3_step(st_);
    std::string msg = sqlite3_errmsg(db_);
    sqlite3_reset(st_);
    sqlite3_clear_bindings(st_);
    i_ = 0;
    if (rc != SQLITE_DONE) throw fromSqlite(rc, msg, "INSERT");
  }

private:
  sqlite3* db_;
  sqlite3_stmt* st_ = nullptr;
  int i_ = 0;
};

std::vector<std::string> tablesOf(sqlite3* db, const char* type) {
  std::vector<std::string> out;
  eachRow(db, "SELECT name FROM main.sqlite_schema WHERE type = ?1 AND name NOT GLOB 'TESSEL$*'"
              " AND name NOT GLOB 'sqlite_*' ORDER BY name",
          [&](sqlite3_stmt* st) { out.push_back(col(st, 0)); }, type);
  return out;
}

std::vector<std::string> splitTabs(const std::string& s) {
  std::vector<std::string> out;
  size_t b = 0;
  for (;;) {
    size_t e = s.find('\t', b);
    out.push_back(s.substr(b, e == std::string::npos ? std::string::npos : e - b));
    if (e == std::string::npos) break;
    b = e + 1;
  }
  return out;
}

std::string dataType(const ColType& t) {
  switch (t.code) {
  case kVarchar2: return "VARCHAR2";
  case kChar: return "CHAR";
  case kNumber: return "NUMBER";
  case kDate: return "DATE";
  case kRaw: return "RAW";
  case kLong: return "LONG";
  case kLongRaw: return "LONG RAW";
  case kRowid: return "ROWID";
  }
  return "VARCHAR2";
}

int dataLength(const ColType& t) {
  switch (t.code) {
  case kVarchar2: case kChar: case kRaw: return t.size;
  case kNumber: return 22;
  case kDate: return 7;
  case kRowid: return 6;
  default: return 0;
  }
}

struct IndexInfo {
  std::string name, table;
  bool unique = false;
  std::vector<std::string> columns;
};

// Every index of the schema under the name the dictionary shows: constraint indexes carry the
// constraint's name.
std::vector<IndexInfo> allIndexes(sqlite3* db) {
  std::vector<IndexInfo> out;
  for (const auto& table : tablesOf(db, "table")) {
    auto cons = recordedConstraints(db, table);
    int unnamed = 0;
    std::vector<IndexInfo> here;
    eachRow(db, "SELECT name, \"unique\", origin FROM pragma_index_list(?1) ORDER BY seq DESC",
            [&](sqlite3_stmt* st) {
              IndexInfo ix;
              ix.name = col(st, 0);
              ix.table = table;
              ix.unique = sqlite3_column_int(st, 1) != 0;
              here.push_back(ix);
            }, table);
    for (auto& ix : here) {
      eachRow(db, "SELECT name FROM pragma_index_info(?1) ORDER BY seqno",
              [&](sqlite3_stmt* st) { ix.columns.push_back(col(st, 0)); }, ix.name);
      if (ix.name.rfind("sqlite_autoindex_", 0) == 0) {
        std::string named;
        for (auto& c : cons)
          if (c.columns == ix.columns) named = c.name;
        if (named.empty()) {
          char buf[32];
          std::snprintf(buf, sizeof buf, "SYS_C%06d", static_cast<int>(out.size()) * 10 + ++unnamed);
          named = buf;
        }
        ix.name = named;
      }
      out.push_back(ix);
    }
  }
  return out;
}

void fillTables(Session& s) {
  Inserter ins(s.db, "USER_TABLES", 22);
  for (const auto& t : tablesOf(s.db, "table")) {
    ins.text(t).text("USERS").null().num(10).num(40).num(1).num(255).num(10240).num(10240).num(1)
        .num(121).num(50).text("N");
    for (int i = 0; i < 6; ++i) ins.null();
    ins.text("         1").text("         1").text("    N");
    ins.row();
  }
}

void fillColumns(Session& s) {
  Inserter ins(s.db, "USER_TAB_COLUMNS", 9);
  auto add = [&](const std::string& table, const std::string& name, const ColType& t, bool notNull,
                 int id) {
    ins.text(table).text(name).text(dataType(t)).num(dataLength(t));
    if (t.code == kNumber && t.precision > 0) ins.num(t.precision); else ins.null();
    if (t.code == kNumber && t.hasScale) ins.num(t.scale); else ins.null();
    ins.text(notNull ? "N" : "Y").num(id).null();
    ins.row();
  };
  for (const auto& t : tablesOf(s.db, "table"))
    eachRow(s.db, "SELECT name, type, \"notnull\", cid FROM pragma_table_info(?1) ORDER BY cid",
            [&](sqlite3_stmt* st) {
              add(t, col(st, 0), parseDeclType(col(st, 1)), sqlite3_column_int(st, 2) != 0,
                  sqlite3_column_int(st, 3) + 1);
            }, t);
  for (const auto& v : tablesOf(s.db, "view")) {
    std::vector<std::string> types;
    eachRow(s.db, "SELECT COLTYPES FROM \"TESSEL$VIEWS\" WHERE NAME = ?1",
            [&](sqlite3_stmt* st) { types = splitTabs(col(st, 0)); }, v);
    // a view whose tables are gone has no columns to show
    eachRow(s.db, "SELECT name, cid FROM pragma_table_info(?1) ORDER BY cid",
            [&](sqlite3_stmt* st) {
              int cid = sqlite3_column_int(st, 1);
              ColType t = cid < static_cast<int>(types.size()) ? parseDeclType(types[cid]) : ColType{};
              if (t.code == 0) { t.code = kVarchar2; t.size = 4000; }
              add(v, col(st, 0), t, false, cid + 1);
            }, v, true);
  }
}

void fillViews(Session& s) {
  Inserter ins(s.db, "USER_VIEWS", 3);
  eachRow(s.db, "SELECT NAME, TEXT FROM \"TESSEL$VIEWS\" ORDER BY NAME", [&](sqlite3_stmt* st) {
    std::string text = col(st, 1);
    ins.text(col(st, 0)).num(static_cast<int64_t>(text.size())).text(text).row();
  });
}

void fillTriggers(Session& s) {
  Inserter ins(s.db, "USER_TRIGGERS", 10);
  eachRow(s.db,
          "SELECT NAME, TRIGGER_TYPE, EVENT, TABLE_NAME, REFERENCING, WHEN_CLAUSE, DESCRIPTION, BODY"
          " FROM \"TESSEL$TRIGGERS\" ORDER BY NAME",
          [&](sqlite3_stmt* st) {
            ins.text(col(st, 0)).text(col(st, 1)).text(col(st, 2)).text(s.user).text(col(st, 3))
                .text(col(st, 4)).textOrNull(col(st, 5)).text("ENABLED").text(col(st, 6))
                .text(col(st, 7)).row();
          });
}

void fillSource(Session& s) {
  Inserter ins(s.db, "USER_SOURCE", 4);
  eachRow(s.db, "SELECT NAME, TYPE, TEXT FROM \"TESSEL$SOURCE\" ORDER BY NAME, TYPE",
          [&](sqlite3_stmt* st) {
            std::string name = col(st, 0), type = col(st, 1), text = col(st, 2);
            int line = 0;
            size_t b = 0;
            while (b < text.size()) {
              size_t e = text.find('\n', b);
              std::string l = text.substr(b, e == std::string::npos ? std::string::npos : e - b);
              ins.text(name).text(type).num(++line).text(l + "\n").row();
              if (e == std::string::npos) break;
              b = e + 1;
            }
          });
}

void fillIndexes(Session& s) {
  Inserter ins(s.db, "USER_INDEXES", 15);
  for (auto& ix : allIndexes(s.db)) {
    ins.text(ix.name).text(s.user).text(ix.table).text("TABLE").text(ix.unique ? "UNIQUE" : "NONUNIQUE")
        .text("USERS").num(2).num(255).num(10240).num(10240).num(1).num(121).num(50).num(10)
        .text("VALID").row();
  }
}

void fillIndexColumns(Session& s) {
  Inserter ins(s.db, "USER_IND_COLUMNS", 5);
  for (auto& ix : allIndexes(s.db)) {
    std::map<std::string, int> lengths;
    eachRow(s.db, "SELECT name, type FROM pragma_table_info(?1)",
            [&](sqlite3_stmt* st) { lengths[col(st, 0)] = dataLength(parseDeclType(col(st, 1))); },
            ix.table);
    int pos = 0;
    for (auto& c : ix.columns) ins.text(ix.name).text(ix.table).text(c).num(++pos).num(lengths[c]).row();
  }
}

std::string timestampText(const std::string& stored) {
  // stored dates are "YYYY-MM-DD HH:MM:SS"; the dictionary's TIMESTAMP is "YYYY-MM-DD:HH:MM:SS"
  std::string t = stored;
  if (t.size() == 19) t[10] = ':';
  return t;
}

void fillObjects(Session& s) {
  Inserter ins(s.db, "USER_OBJECTS", 7);
  std::map<std::string, bool> invalidTriggers;
  eachRow(s.db, "SELECT NAME, VALID FROM \"TESSEL$TRIGGERS\"",
          [&](sqlite3_stmt* st) { invalidTriggers[col(st, 0)] = sqlite3_column_int(st, 1) == 0; });
  eachRow(s.db, "SELECT NAME, OBJ, TYPE, CREATED FROM \"TESSEL$OBJECTS\" ORDER BY NAME, TYPE",
          [&](sqlite3_stmt* st) {
            std::string type = col(st, 2), created = col(st, 3);
            // stored PL/SQL is kept as source only: calling it fails, so it is not VALID
            bool valid = type == "TABLE" || type == "VIEW" || type == "SEQUENCE" || type == "INDEX" ||
                         (type == "TRIGGER" && !invalidTriggers[col(st, 0)]);
            ins.text(col(st, 0)).num(sqlite3_column_int64(st, 1)).text(type).textOrNull(created)
                .textOrNull(created).textOrNull(timestampText(created)).text(valid ? "VALID" : "INVALID")
                .row();
          });
  // indexes that stand for constraints have no object row of their own
  for (auto& ix : allIndexes(s.db)) {
    bool recorded = false;
    eachRow(s.db, "SELECT 1 FROM \"TESSEL$OBJECTS\" WHERE TYPE = 'INDEX' AND NAME = ?1",
            [&](sqlite3_stmt*) { recorded = true; }, ix.name);
    if (!recorded) ins.text(ix.name).null().text("INDEX").null().null().null().text("VALID").row();
  }
}

void fillSequences(Session& s) {
  Inserter ins(s.db, "USER_SEQUENCES", 8);
  sqlite3* q = s.sequences();
  eachRow(q, "SELECT NAME, MINV, MAXV, INCR, CYCLE, CACHE, NEXTV FROM SEQUENCES ORDER BY NAME",
          [&](sqlite3_stmt* st) {
            ins.text(col(st, 0));
            for (int i : {1, 2, 3}) {
              if (sqlite3_column_type(st, i) == SQLITE_INTEGER) ins.num(sqlite3_column_int64(st, i));
              else ins.text(col(st, i)); // beyond 64 bits: kept as decimal text
            }
            ins.text(sqlite3_column_int(st, 4) ? "Y" : "N").text("N").num(sqlite3_column_int64(st, 5))
                .num(sqlite3_column_int64(st, 6)).row();
          });
}

void fillUsers(Session& s) {
  Inserter ins(s.db, "USER_USERS", 5);
  int64_t id = 0;
  eachRow(s.db, "PRAGMA main.user_version", [&](sqlite3_stmt* st) { id = sqlite3_column_int64(st, 0); });
  ins.text(s.user).num(id).text("USERS").text("TEMP").null().row();
}

} // namespace

std::string dictionaryView(const std::string& name) {
  if (name == "COLS") return "USER_TAB_COLUMNS";
  for (auto& v : kViews)
    if (name == v.name) return name;
  return {};
}

std::string dictionaryTable(const std::string& view) { return "TESSEL$D_" + view; }

void ensureSchemaTables(sqlite3* db) {
  static const char* const ddl[] = {
      "CREATE TABLE IF NOT EXISTS \"TESSEL$OBJECTS\" (OBJ INTEGER PRIMARY KEY AUTOINCREMENT,"
      " NAME TEXT NOT NULL, TYPE TEXT NOT NULL, CREATED TEXT, UNIQUE (NAME, TYPE))",
      "CREATE TABLE IF NOT EXISTS \"TESSEL$SOURCE\" (NAME TEXT NOT NULL, TYPE TEXT NOT NULL,"
      " TEXT TEXT NOT NULL, PRIMARY KEY (NAME, TYPE))",
      "CREATE TABLE IF NOT EXISTS \"TESSEL$VIEWS\" (NAME TEXT PRIMARY KEY, TEXT TEXT NOT NULL,"
      " COLTYPES TEXT NOT NULL)",
      "CREATE TABLE IF NOT EXISTS \"TESSEL$TRIGGERS\" (NAME TEXT PRIMARY KEY, TRIGGER_TYPE TEXT,"
      " EVENT TEXT, TABLE_NAME TEXT, REFERENCING TEXT, WHEN_CLAUSE TEXT, DESCRIPTION TEXT, BODY TEXT,"
      " VALID INTEGER NOT NULL)",
      "CREATE TABLE IF NOT EXISTS \"TESSEL$CONSTRAINTS\" (NAME TEXT PRIMARY KEY, TABLE_NAME TEXT NOT NULL,"
      " TYPE TEXT NOT NULL, COLS TEXT NOT NULL)"};
  for (const char* sql : ddl) execOne(db, sql);
}

void createDictionaryTables(sqlite3* db) {
  for (auto& v : kViews)
    execOne(db, "CREATE TEMP TABLE IF NOT EXISTS " + quoteIdent(dictionaryTable(v.name)) + " (" + v.columns + ")");
}

void fillDictionary(Session& s, const std::string& view) {
  must(s.db, execOne(s.db, "DELETE FROM temp." + quoteIdent(dictionaryTable(view))));
  if (view == "USER_TABLES") fillTables(s);
  else if (view == "USER_TAB_COLUMNS") fillColumns(s);
  else if (view == "USER_VIEWS") fillViews(s);
  else if (view == "USER_TRIGGERS") fillTriggers(s);
  else if (view == "USER_SOURCE") fillSource(s);
  else if (view == "USER_INDEXES") fillIndexes(s);
  else if (view == "USER_IND_COLUMNS") fillIndexColumns(s);
  else if (view == "USER_OBJECTS") fillObjects(s);
  else if (view == "USER_SEQUENCES") fillSequences(s);
  else if (view == "USER_USERS") fillUsers(s);
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
