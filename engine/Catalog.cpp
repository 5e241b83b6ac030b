// The translator's view of the user's schema: which objects exist and their columns, remembered
// for the session until the schema changes.
#include "SqlTranslate.h"
#include "OraError.h"
#include "InvisibleColumns.h"
#include "Session.h"
#include "TranslateImpl.h"

#include <algorithm>
#include <cstring>
#include <sqlite3.h>

namespace ora {

using namespace tx;

// The schema's look-ups are prepared once per session and kept; without a session, once for
// this catalog.
sqlite3_stmt* Catalog::prep(const char* sql) {
  if (session_) return session_->cachedStatement(sql);
  for (auto& [text, st] : own_statements_)
    if (text == sql) return st;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db_, sql, -1, &st, nullptr) != SQLITE_OK) {
    sqlite3_finalize(st);
    return nullptr;
  }
  own_statements_.emplace_back(sql, st);
  return st;
}

void Catalog::done(sqlite3_stmt* st) {
  if (st) {
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
  }
}

Catalog::~Catalog() {
  for (auto& [text, st] : own_statements_) sqlite3_finalize(st);
}

SchemaMemo& Catalog::memo() {
  if (!session_) return own_;
  if (!memo_) memo_ = session_->schemaMemo();
  return *memo_;
}

namespace {
// The unit types whose names the catalog keeps, as bits.
int unitKind(const char* type) {
  return !std::strcmp(type, "FUNCTION") ? 1 : !std::strcmp(type, "PACKAGE") ? 2 : !std::strcmp(type, "TYPE") ? 4 : 0;
}
} // namespace

bool Catalog::anyRowArchival() {
  int& any = memo().archival;
  if (any < 0) {
    // the hidden column ROW ARCHIVAL adds, as the stored table text marks it
    sqlite3_stmt* st = prep("SELECT 1 FROM sqlite_schema WHERE type = 'table' AND instr(sql, '\"ORA_ARCHIVE_STATE\" /*INVISIBLE*/') > 0 LIMIT 1");
    any = st && sqlite3_step(st) == SQLITE_ROW ? 1 : 0;
    done(st);
  }
  return any == 1;
}

bool Catalog::anyUnit(const char* type) {
  unitSource({}, type); // reads the names
  if (!unitNames_) return true;
  return unitNames_->any & unitKind(type);
}

// The list types every database has, unless the schema has its own of the name.
std::string builtinTypeSource(const std::string& name) {
  std::string n = name.starts_with("SYS.") ? name.substr(4) : name;
  if (n == "ODCIVARCHAR2LIST") return "TYPE ODCIVARCHAR2LIST AS VARRAY(32767) OF VARCHAR2(4000)";
  if (n == "ODCINUMBERLIST") return "TYPE ODCINUMBERLIST AS VARRAY(32767) OF NUMBER";
  if (n == "ODCIDATELIST") return "TYPE ODCIDATELIST AS VARRAY(32767) OF DATE";
  return {};
}

std::string Catalog::unitSource(const std::string& name, const char* type) {
  // asked of most names a query uses: the few units' names are read once, and the statements are
  // prepared once per session
  if (!unitNames_) {
    // kept for the session while no other connection has written the file since; the version is
    // read first, so a write while the names are read makes the next statement read them again
    int64_t version = -1;
    if (session_) {
      if (sqlite3_stmt* v = prep("PRAGMA main.data_version")) {
        if (sqlite3_step(v) == SQLITE_ROW) version = sqlite3_column_int64(v, 0);
        done(v);
      }
      SchemaMemo& m = memo();
      if (version >= 0 && m.unitNames && m.unitsAt == version) unitNames_ = m.unitNames;
    }
    if (!unitNames_) {
      SchemaMemo::Units names;
      // all rows, the types picked here: an IN list of three would build a temporary index each time
      sqlite3_stmt* all = prep("SELECT TYPE, NAME FROM \"TESSEL$SOURCE\"");
      if (!all) return {};
      int rc;
      while ((rc = sqlite3_step(all)) == SQLITE_ROW) {
        const char* t = reinterpret_cast<const char*>(sqlite3_column_text(all, 0));
        const unsigned char* n = sqlite3_column_text(all, 1);
        if (int kind = t && n ? unitKind(t) : 0) {
          names.kinds[reinterpret_cast<const char*>(n)] |= kind;
          names.any |= kind;
        }
      }
      done(all);
      if (rc != SQLITE_DONE) return {};
      unitNames_ = std::make_shared<const SchemaMemo::Units>(std::move(names));
      if (version >= 0) {
        memo().unitNames = unitNames_;
        memo().unitsAt = version;
      }
    }
  }
  auto known = unitNames_->kinds.find(name);
  if (known == unitNames_->kinds.end() || !(known->second & unitKind(type))) {
    return std::strcmp(type, "TYPE") ? std::string() : builtinTypeSource(name);
  }
  sqlite3_stmt* st = prep("SELECT TEXT FROM \"TESSEL$SOURCE\" WHERE NAME = ?1 AND TYPE = ?2");
  if (!st) return {};
  sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(st, 2, type, -1, SQLITE_STATIC);
  std::string src;
  if (sqlite3_step(st) == SQLITE_ROW)
    if (const unsigned char* text = sqlite3_column_text(st, 0)) src = reinterpret_cast<const char*>(text);
  done(st);
  return src;
}

bool Catalog::schemaHas(const char* type, const std::string& name) {
  std::string key = std::string(type) + '/' + name;
  auto& has = memo().has;
  if (auto it = has.find(key); it != has.end()) return it->second;
  sqlite3_stmt* st = nullptr;
  // a private temporary table lives in the connection's temp schema
  st = prep("SELECT 1 FROM sqlite_schema WHERE type = ?1 AND name = ?2 UNION ALL SELECT 1 FROM temp.sqlite_schema"
            " WHERE type = ?1 AND name = ?2 AND substr(name, 1, 8) = 'ORA$PTT_'");
  sqlite3_bind_text(st, 1, type, -1, SQLITE_STATIC);
  sqlite3_bind_text(st, 2, name.c_str(), -1, SQLITE_TRANSIENT);
  int rc = sqlite3_step(st);
  done(st);
  // a failed read (a busy file) is not remembered as an answer
  if (rc == SQLITE_ROW || rc == SQLITE_DONE) has.emplace(std::move(key), rc == SQLITE_ROW);
  return rc == SQLITE_ROW;
}

bool Catalog::wideColumns() {
  int& wide = memo().wide;
  if (wide >= 0) return wide == 1;
  sqlite3_stmt* st = prep("SELECT 1 FROM sqlite_schema WHERE type = 'table' AND sql LIKE '%COLLATE ORA_NUMBER%'");
  int rc = sqlite3_step(st);
  done(st);
  if (rc == SQLITE_ROW || rc == SQLITE_DONE) wide = rc == SQLITE_ROW;
  return rc == SQLITE_ROW;
}

bool Catalog::tableExists(const std::string& name) {
  return name.rfind("TESSEL$", 0) != 0 && (schemaHas("table", name) || schemaHas("view", name));
}

bool Catalog::viewExists(const std::string& name) { return schemaHas("view", name); }

std::string Catalog::synonymTarget(const std::string& name) {
  sqlite3_stmt* st = prep("SELECT TABLE_NAME FROM \"TESSEL$SYNONYMS\" WHERE NAME = ?1");
  std::string target;
  if (st) {
    sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(st) == SQLITE_ROW) target = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
  }
  done(st);
  return target;
}

bool Catalog::sequenceExists(const std::string& name) {
  return session_ && session_->sequenceExists(name);
}

std::string Catalog::objectType(const std::string& name) {
  if (schemaHas("table", name)) return "TABLE";
  if (schemaHas("view", name)) return "VIEW";
  if (schemaHas("index", name)) return "INDEX";
  if (sequenceExists(name)) return "SEQUENCE";
  sqlite3_stmt* st = nullptr;
  st = prep("SELECT TYPE FROM \"TESSEL$OBJECTS\" WHERE NAME = ?1 AND TYPE <> 'PACKAGE BODY'"
                          " ORDER BY TYPE");
  sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
  std::string type;
  if (sqlite3_step(st) == SQLITE_ROW) type = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
  done(st);
  return type;
}

bool Catalog::indexExists(const std::string& name) { return schemaHas("index", name); }

// A primary or unique key's index carries the constraint's name.
bool Catalog::keyIndexExists(const std::string& name) {
  sqlite3_stmt* st = prep("SELECT 1 FROM \"TESSEL$CONSTRAINTS\" WHERE NAME = ?1 AND TYPE IN ('P', 'U')");
  if (!st) return false;
  sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
  bool found = sqlite3_step(st) == SQLITE_ROW;
  done(st);
  return found;
}

std::string Catalog::objectTypeOf(const std::string& name, const std::string& type) {
  sqlite3_stmt* st = nullptr;
  st = prep("SELECT 1 FROM \"TESSEL$OBJECTS\" WHERE NAME = ?1 AND TYPE = ?2");
  sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(st, 2, type.c_str(), -1, SQLITE_TRANSIENT);
  bool found = sqlite3_step(st) == SQLITE_ROW;
  done(st);
  return found ? type : std::string();
}

std::vector<std::string> Catalog::sqliteTriggers(const std::string& name) {
  std::vector<std::string> out;
  sqlite3_stmt* st = nullptr;
  st = prep("SELECT name FROM sqlite_schema WHERE type = 'trigger' AND (name = ?1 OR name GLOB ?1 || '$[0-9]')");
  sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
  while (sqlite3_step(st) == SQLITE_ROW) out.push_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
  done(st);
  return out;
}

namespace {
// Whether a column of type `wide` holds values `narrow` does not: a longer text, VARCHAR2 beside
// CHAR, a NUMBER of more digits.
bool widerThan(const ColType& wide, const ColType& narrow) {
  bool text = (wide.code == kVarchar2 || wide.code == kChar) && (narrow.code == kVarchar2 || narrow.code == kChar);
  if (text) return wide.size > narrow.size || (wide.code == kVarchar2 && narrow.code == kChar);
  if (wide.code != kNumber || narrow.code != kNumber || narrow.precision <= 0 || narrow.isFloat()) return false;
  if (wide.precision <= 0 || wide.isFloat()) return true;
  return wide.scale > narrow.scale || wide.precision - wide.scale > narrow.precision - narrow.scale;
}
} // namespace

const std::vector<ColumnInfo>& Catalog::columns(const std::string& table) {
  auto& memoColumns = memo().columns;
  auto cached = memoColumns.find(table);
  if (cached != memoColumns.end()) return cached->second;
  std::vector<ColumnInfo> out;
  sqlite3_stmt* st = nullptr;
  // virtual columns too (hidden 2), which SQLite's table_info leaves out
  st = prep("SELECT name, type, \"notnull\", dflt_value FROM pragma_table_xinfo(?1) WHERE hidden <> 1 ORDER BY cid");
  sqlite3_bind_text(st, 1, table.c_str(), -1, SQLITE_TRANSIENT);
  int rc;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    ColumnInfo c;
    c.name = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    if (const unsigned char* decl = sqlite3_column_text(st, 1)) c.narrowDecl = reinterpret_cast<const char*>(decl);
    c.type = parseDeclType(c.narrowDecl);
    c.notNull = sqlite3_column_int(st, 2) != 0;
    if (const unsigned char* d = sqlite3_column_text(st, 3)) c.dflt = reinterpret_cast<const char*>(d);
    c.onNull = defaultOnNull(c.dflt);
    out.push_back(c);
  }
  done(st);
  bool complete = rc == SQLITE_DONE;
  st = prep("SELECT COLUMN_NAME, SEQ, ALWAYS FROM \"TESSEL$IDENTITY\" WHERE TABLE_NAME = ?1");
  sqlite3_bind_text(st, 1, table.c_str(), -1, SQLITE_TRANSIENT);
  while (sqlite3_step(st) == SQLITE_ROW)
    for (auto& c : out)
      if (c.name == reinterpret_cast<const char*>(sqlite3_column_text(st, 0))) {
        c.identity = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
        c.always = sqlite3_column_int(st, 2) == 1;
        c.onNull = sqlite3_column_int(st, 2) == 2;
      }
  done(st);
  if (!out.empty()) {
    // the table's definition marks its invisible columns
    st = prep("SELECT sql FROM sqlite_schema WHERE type = 'table' AND name = ?1 AND instr(sql, ?2) > 0");
    sqlite3_bind_text(st, 1, table.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 2, tx::kInvisibleMark, -1, SQLITE_STATIC);
    rc = sqlite3_step(st);
    if (rc == SQLITE_ROW) {
      auto hidden = tx::invisibleColumns(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
      for (auto& c : out) c.invisible = hidden.count(c.name) > 0;
    }
    complete = complete && (rc == SQLITE_ROW || rc == SQLITE_DONE);
    done(st);
  }
  std::vector<std::string> declared;
  for (auto& c : out) {
    declared.push_back(std::move(c.narrowDecl));
    c.narrowDecl.clear();
  }
  if (!out.empty() && viewExists(table)) {
    // types of a view's columns as described when it was created
    st = prep("SELECT COLTYPES FROM \"TESSEL$VIEWS\" WHERE NAME = ?1");
    sqlite3_bind_text(st, 1, table.c_str(), -1, SQLITE_TRANSIENT);
    rc = sqlite3_step(st);
    if (rc == SQLITE_ROW) {
      std::string types = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
      size_t b = 0;
      for (size_t k = 0; k < out.size(); ++k) {
        ColumnInfo& c = out[k];
        size_t e = types.find('\t', b);
        ColType stored = parseDeclType(types.substr(b, e == std::string::npos ? e : e - b));
        bool narrow = c.type.code != 0 && widerThan(stored, c.type);
        // SQLite declares a set operation's column as one member's: the view's own type holds every value
        if (c.type.code == 0 || narrow) c.type = stored;
        if (narrow) c.narrowDecl = declared[k];
        if (e == std::string::npos) break;
        b = e + 1;
      }
    }
    complete = complete && (rc == SQLITE_ROW || rc == SQLITE_DONE);
    done(st);
  }
  if (complete) return memoColumns.emplace(table, std::move(out)).first->second;
  return unremembered_.emplace_back(std::move(out));
}

int64_t Catalog::objectNumber(const std::string& table) {
  sqlite3_stmt* st = nullptr;
  st = prep("SELECT OBJ FROM \"TESSEL$OBJECTS\" WHERE NAME = ?1 AND TYPE = 'TABLE'");
  sqlite3_bind_text(st, 1, table.c_str(), -1, SQLITE_TRANSIENT);
  int64_t n = sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int64(st, 0) : 0;
  done(st);
  return n;
}

} // namespace ora
