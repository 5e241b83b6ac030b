// DBMS_METADATA.GET_DDL and GET_DEPENDENT_DDL as the engine's SQL functions, read from the
// schema's own records when the call runs: tables with their columns and constraints, views,
// indexes, sequences, synonyms, triggers and stored units, shaped by the session's transform
// parameters (SET_TRANSFORM_PARAM).
#include "DbmsMetadata.h"

#include "DictionaryImpl.h"
#include "FunctionUtil.h"
#include "Session.h"
#include "OraError.h"
#include "SqlText.h"
#include "SqlTranslate.h"

#include <cctype>
#include <set>
#include <sqlite3.h>

namespace ora {

namespace {

std::string quoted(const std::string& name) { return "\"" + name + "\""; }

std::string typeText(const ColType& t) {
  auto n = [](int v) { return std::to_string(v); };
  switch (t.code) {
  case kVarchar2: case kChar: {
    std::string base = std::string(t.national ? "N" : "") + (t.code == kChar ? "CHAR" : "VARCHAR2");
    if (t.national) return base + "(" + n(t.chars > 0 ? t.chars : t.size) + ")";
    return base + "(" + (t.chars > 0 ? n(t.chars) + " CHAR" : n(t.size)) + ")";
  }
  case kNumber:
    if (t.binary) return t.binary == kBinaryDouble ? "BINARY_DOUBLE" : "BINARY_FLOAT";
    if (t.isFloat()) return "FLOAT(" + n(t.precision > 0 ? t.precision : 126) + ")";
    if (t.anyPrecision) return "NUMBER(*,0)";
    if (t.precision > 0) return "NUMBER(" + n(t.precision) + "," + n(t.hasScale ? t.scale : 0) + ")";
    return "NUMBER";
  case kDate: return "DATE";
  case kTimestamp: return "TIMESTAMP (" + n(t.scale) + ")";
  case kTimestampTz: return "TIMESTAMP (" + n(t.scale) + ") WITH TIME ZONE";
  case kIntervalYm: return "INTERVAL YEAR (" + n(t.precision) + ") TO MONTH";
  case kIntervalDs: return "INTERVAL DAY (" + n(t.precision) + ") TO SECOND (" + n(t.scale) + ")";
  case kRaw: return "RAW(" + n(t.size) + ")";
  case kLong: return t.xml ? "XMLTYPE" : t.json ? "JSON" : t.lob == kClob ? "CLOB" : t.lob == kNclob ? "NCLOB" : "LONG";
  case kLongRaw: return t.lob == kBlob ? "BLOB" : "LONG RAW";
  case kRowid: return "ROWID";
  }
  return "VARCHAR2(4000)";
}


// One text column of a row of the schema's records; empty when there is none.
std::string recordText(sqlite3* db, const char* sql, const std::string& name) {
  sqlite3_stmt* st = nullptr;
  std::string out;
  if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK) return out;
  sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
  if (sqlite3_step(st) == SQLITE_ROW)
    if (const unsigned char* v = sqlite3_column_text(st, 0)) out = reinterpret_cast<const char*>(v);
  sqlite3_finalize(st);
  return out;
}

// What one call of GET_DDL writes: the session's transform settings and the schema read.
struct Writer {
  Catalog& cat;
  const Nls& nls;
  std::string owner;

  // A transform parameter as set for the type, else for all types, else its default.
  bool flag(const std::string& type, const char* name, bool dflt) const {
    for (const std::string& key : {type + "." + name, std::string(".") + name}) {
      auto it = nls.metadataTransform.find(key);
      if (it != nls.metadataTransform.end()) return it->second == "TRUE";
    }
    return dflt;
  }
  std::string qualified(const std::string& type, const std::string& name) const {
    return (flag(type, "EMIT_SCHEMA", true) ? quoted(owner) + "." : std::string()) + quoted(name);
  }
  // The storage of a segment in a locally managed tablespace, as Oracle writes it.
  std::string storage(const std::string& type) const {
    if (!flag(type, "STORAGE", true)) return {};
    return "\n  STORAGE(INITIAL 65536 NEXT 1048576 MINEXTENTS 1 MAXEXTENTS 2147483645\n  PCTINCREASE 0 FREELISTS 1 "
           "FREELIST GROUPS 1\n  BUFFER_POOL DEFAULT FLASH_CACHE DEFAULT CELL_FLASH_CACHE DEFAULT)";
  }
  std::string tablespace(const std::string& type) const {
    return flag(type, "TABLESPACE", true) ? "\n  TABLESPACE \"USERS\" " : std::string();
  }
  // A table's segment is made with its first row, as deferred segment creation does.
  bool hasRows(const std::string& table) const {
    return !recordText(cat.db(), ("SELECT 1 FROM " + quoteIdent(table) + " LIMIT 1").c_str(), "").empty();
  }
  // The attributes of a key's or an index's segment: empty without segment attributes.
  std::string indexSegment(const std::string& type, bool made) const {
    if (!flag(type, "SEGMENT_ATTRIBUTES", true)) return {};
    std::string out = "PCTFREE 10 INITRANS 2 MAXTRANS 255 ";
    if (made) out += "COMPUTE STATISTICS " + storage(type);
    return out + tablespace(type);
  }
  std::string usingIndex(const std::string& type, bool made) const {
    std::string seg = indexSegment(type, made);
    return "\n  USING INDEX " + seg + " ENABLE";
  }
};

std::string columnList(const std::vector<std::string>& cols) {
  std::string out;
  for (const auto& c : cols) out += (out.empty() ? "" : ", ") + quoted(c);
  return out;
}

bool notNullCheck(const dict::Constraint& k) {
  return k.type == "C" && k.columns.size() == 1 && k.condition == quoteIdent(k.columns[0]) + " IS NOT NULL";
}

// A foreign key's referenced columns: those written, else the referenced table's primary key.
std::vector<std::string> referencedColumns(Catalog& cat, const dict::Constraint& k) {
  if (!k.rColumns.empty()) return k.rColumns;
  for (const auto& r : recordedConstraints(cat.db(), k.rTable))
    if (r.type == "P") return r.columns;
  return {};
}

// A table constraint as CREATE TABLE and ALTER TABLE ... ADD write it, from its kind onwards.
std::string constraintBody(const Writer& w, const std::string& type, const dict::Constraint& k, bool made) {
  if (k.type == "P" || k.type == "U")
    return std::string(k.type == "P" ? "PRIMARY KEY (" : "UNIQUE (") + columnList(k.columns) + ")" + w.usingIndex(type, made);
  if (k.type == "R") {
    std::string out = "FOREIGN KEY (" + columnList(k.columns) + ")\n\t  REFERENCES " + w.qualified(type, k.rTable) + " (" +
                      columnList(referencedColumns(w.cat, k)) + ")";
    if (k.deleteRule != "NO ACTION" && !k.deleteRule.empty()) out += " ON DELETE " + k.deleteRule;
    return out + " ENABLE";
  }
  return "CHECK (" + k.condition + ") ENABLE";
}

std::string constraintName(const dict::Constraint& k) {
  return k.generated ? std::string() : "CONSTRAINT " + quoted(k.name) + " ";
}

std::string tableDdl(const Writer& w, const std::string& name) {
  Catalog& cat = w.cat;
  // a global temporary table has no segment: it says when its rows go instead
  const std::string duration = recordText(cat.db(), "SELECT DURATION FROM \"TESSEL$TEMPORARY\" WHERE TABLE_NAME = ?1", name);
  std::string out = std::string("\n  CREATE ") + (duration.empty() ? "" : "GLOBAL TEMPORARY ") + "TABLE " +
                    w.qualified("TABLE", name) + " \n   (";
  const auto& cols = cat.columns(name);
  const auto keys = dict::tableConstraints(cat.db(), name);
  const bool made = w.hasRows(name);
  for (size_t i = 0; i < cols.size(); ++i) {
    const ColumnInfo& c = cols[i];
    out += (i ? ", \n" : "") + std::string("\t") + quoted(c.name) + " " + typeText(c.type);
    if (c.invisible) out += " INVISIBLE";
    std::string dflt = writtenDefault(c.dflt);
    if (!dflt.empty()) out += (c.onNull ? " DEFAULT ON NULL " : " DEFAULT ") + dflt;
    if (c.onNull || !c.identity.empty()) continue;
    for (const auto& k : keys)
      if (notNullCheck(k) && k.columns[0] == c.name) out += " " + constraintName(k) + "NOT NULL ENABLE";
  }
  // the table's own constraints, then those that refer to other tables
  if (w.flag("TABLE", "CONSTRAINTS", true))
    for (const auto& k : keys)
      if (k.type != "R" && !notNullCheck(k)) out += ", \n\t " + constraintName(k) + constraintBody(w, "TABLE", k, made);
  if (w.flag("TABLE", "REF_CONSTRAINTS", true))
    for (const auto& k : keys)
      if (k.type == "R") out += ", \n\t " + constraintName(k) + constraintBody(w, "TABLE", k, made);
  out += "\n   ) ";
  if (!duration.empty()) return out + (duration == "SYS$SESSION" ? "ON COMMIT PRESERVE ROWS " : "ON COMMIT DELETE ROWS ");
  if (w.flag("TABLE", "SEGMENT_ATTRIBUTES", true)) {
    out += std::string("SEGMENT CREATION ") + (made ? "IMMEDIATE" : "DEFERRED") +
           " \n  PCTFREE 10 PCTUSED 40 INITRANS 1 MAXTRANS 255 \n NOCOMPRESS LOGGING";
    if (made) out += w.storage("TABLE");
    out += w.tablespace("TABLE");
  }
  return out;
}

// ALTER TABLE ... ADD of one constraint of a table.
std::string constraintDdl(const Writer& w, const std::string& type, const std::string& table, const dict::Constraint& k) {
  return "\n  ALTER TABLE " + w.qualified(type, table) + " ADD " + constraintName(k) +
         constraintBody(w, type, k, w.hasRows(table));
}

// The table a constraint of the schema belongs to, with the constraint; false when there is none.
bool findConstraint(Catalog& cat, const std::string& name, std::string& table, dict::Constraint& found) {
  for (const auto& t : dict::tablesOf(cat.db(), "table"))
    for (const auto& k : dict::tableConstraints(cat.db(), t))
      if (k.name == name) {
        table = t;
        found = k;
        return true;
      }
  return false;
}

std::string viewDdl(const Writer& w, const std::string& name) {
  std::string text = recordText(w.cat.db(), "SELECT TEXT FROM \"TESSEL$VIEWS\" WHERE NAME = ?1", name);
  std::vector<std::string> names;
  for (const auto& c : w.cat.columns(name)) names.push_back(c.name);
  return "\n  CREATE OR REPLACE FORCE EDITIONABLE VIEW " + w.qualified("VIEW", name) + " (" + columnList(names) + ") AS \n  " +
         text;
}

std::string indexTail(const Writer& w, const std::string& table) {
  std::string seg = w.indexSegment("INDEX", w.hasRows(table));
  return seg.empty() ? std::string("\n  ") : "\n  " + seg;
}

std::string indexDdl(const Writer& w, const std::string& name) {
  Catalog& cat = w.cat;
  std::string table = recordText(cat.db(), "SELECT tbl_name FROM sqlite_schema WHERE type = 'index' AND name = ?1", name);
  std::string sql = recordText(cat.db(), "SELECT sql FROM sqlite_schema WHERE type = 'index' AND name = ?1", name);
  std::vector<std::string> cols;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(cat.db(), "SELECT name, desc FROM pragma_index_xinfo(?1) WHERE key = 1 ORDER BY seqno", -1, &st,
                         nullptr) == SQLITE_OK) {
    sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    while (sqlite3_step(st) == SQLITE_ROW) {
      const unsigned char* c = sqlite3_column_text(st, 0);
      cols.push_back(c ? reinterpret_cast<const char*>(c) : "");
      if (sqlite3_column_int(st, 1)) cols.back() += "\" DESC";
    }
    sqlite3_finalize(st);
  }
  // what the index's DDL said beyond plain columns: BITMAP, REVERSE, the expressions of its keys
  bool bitmap = false, reverse = false;
  std::vector<std::string> keys;
  if (sqlite3_prepare_v2(cat.db(), "SELECT BITMAP, REVERSE, KEYS FROM \"TESSEL$INDEX_OPTS\" WHERE NAME = ?1", -1, &st,
                         nullptr) == SQLITE_OK) {
    sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(st) == SQLITE_ROW) {
      bitmap = sqlite3_column_int(st, 0) != 0;
      reverse = sqlite3_column_int(st, 1) != 0;
      if (const unsigned char* k = sqlite3_column_text(st, 2)) keys = dict::splitTabs(reinterpret_cast<const char*>(k));
    }
    sqlite3_finalize(st);
  }
  std::string list;
  for (size_t i = 0; i < cols.size(); ++i) {
    const std::string& c = cols[i];
    // an expression's key has no column name of its own
    const bool desc = c.ends_with("\" DESC"), expression = c.empty() || c == "\" DESC";
    std::string key = expression && i < keys.size() && !keys[i].empty() ? keys[i] + (desc ? " DESC" : "")
                      : desc                                             ? "\"" + c
                                                                         : quoted(c);
    list += (list.empty() ? "" : ", ") + key;
  }
  bool unique = sql.rfind("CREATE UNIQUE", 0) == 0;
  return "\n  CREATE " + std::string(unique ? "UNIQUE " : bitmap ? "BITMAP " : "") + "INDEX " + w.qualified("INDEX", name) +
         " ON " + w.qualified("INDEX", table) + " (" + list + ") " + (reverse ? "REVERSE " : "") + indexTail(w, table);
}

// The index a primary or unique key made, which carries the key's name.
std::string keyIndexDdl(const Writer& w, const std::string& table, const dict::Constraint& k) {
  return "\n  CREATE UNIQUE INDEX " + w.qualified("INDEX", k.name) + " ON " + w.qualified("INDEX", table) + " (" +
         columnList(k.columns) + ") " + indexTail(w, table);
}

std::string sequenceDdl(const Writer& w, const std::string& name) {
  Session* ses = w.nls.session;
  std::string out;
  if (!ses) return out;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(ses->sequences(), "SELECT MINV, MAXV, INCR, CYCLE, CACHE, NEXTV, ORDERED FROM SEQUENCES WHERE NAME = ?1",
                         -1, &st, nullptr) != SQLITE_OK)
    return out;
  sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
  if (sqlite3_step(st) == SQLITE_ROW) {
    auto text = [&](int i) {
      const unsigned char* v = sqlite3_column_text(st, i);
      return std::string(v ? reinterpret_cast<const char*>(v) : "");
    };
    int64_t cache = sqlite3_column_int64(st, 4);
    out = "\n   CREATE SEQUENCE  " + w.qualified("SEQUENCE", name) + "  MINVALUE " + text(0) + " MAXVALUE " + text(1) +
          " INCREMENT BY " + text(2) + " START WITH " + text(5) + " " +
          (cache > 1 ? "CACHE " + std::to_string(cache) + " " : std::string("NOCACHE  ")) +
          (sqlite3_column_int(st, 6) ? "ORDER  " : "NOORDER  ") + (sqlite3_column_int(st, 3) ? "CYCLE " : "NOCYCLE ") +
          " NOKEEP  NOSCALE  GLOBAL ";
  }
  sqlite3_finalize(st);
  return out;
}

// A stored unit's source with its name as owner and name, as CREATE OR REPLACE writes it.
std::string unitDdl(const Writer& w, const std::string& src, const std::string& kind, const std::string& name) {
  std::string out = "\n  CREATE OR REPLACE EDITIONABLE ";
  // past the kind's words to the name, which may be quoted or qualified
  size_t at = 0;
  auto blanks = [&]() {
    while (at < src.size() && std::isspace(static_cast<unsigned char>(src[at]))) ++at;
  };
  auto word = [&]() {
    blanks();
    if (at < src.size() && src[at] == '"') {
      size_t q = src.find('"', at + 1);
      at = q == std::string::npos ? src.size() : q + 1;
    } else {
      while (at < src.size() && (std::isalnum(static_cast<unsigned char>(src[at])) || src[at] == '_' || src[at] == '$' || src[at] == '#')) ++at;
    }
  };
  for (size_t k = kind.find(' ') == std::string::npos ? 1 : 2; k > 0; --k) word();
  blanks();
  size_t nameAt = at;
  word();
  if (at < src.size() && src[at] == '.') {
    ++at;
    word();
  }
  if (at == nameAt) out += src;
  else
    // the kind's words as the package writes them, then the source from after the name
    out += kind + " " + w.qualified(kind.substr(0, kind.find(' ')), name) +
           (at < src.size() && src[at] == '(' ? " " : "") + src.substr(at);
  if (w.flag(kind.substr(0, kind.find(' ')), "SQLTERMINATOR", false)) out += out.ends_with("\n") ? "/" : "\n/";
  return out;
}

std::string triggerDdl(const Writer& w, const std::string& name) {
  Catalog& cat = w.cat;
  std::string desc = recordText(cat.db(), "SELECT DESCRIPTION FROM \"TESSEL$TRIGGERS\" WHERE NAME = ?1", name);
  std::string body = recordText(cat.db(), "SELECT BODY FROM \"TESSEL$TRIGGERS\" WHERE NAME = ?1", name);
  bool enabled = recordText(cat.db(), "SELECT VALID FROM \"TESSEL$TRIGGERS\" WHERE NAME = ?1", name) != "0";
  // the description starts with the trigger's name, as written
  size_t nl = desc.find('\n');
  std::string rest = nl == std::string::npos ? std::string() : desc.substr(nl);
  std::string who = w.qualified("TRIGGER", name);
  while (!body.empty() && (body.back() == '\n' || body.back() == ' ')) body.pop_back();
  return "\n  CREATE OR REPLACE EDITIONABLE TRIGGER " + who + " " + rest + body + "\n/\nALTER TRIGGER " + who +
         (enabled ? " ENABLE" : " DISABLE") + (w.flag("TRIGGER", "SQLTERMINATOR", false) ? ";" : "");
}

// The statement ends with the terminator when asked for one; units and triggers add their own.
std::string terminated(const Writer& w, const std::string& type, std::string ddl) {
  if (w.flag(type, "SQLTERMINATOR", false)) ddl += ";";
  return ddl;
}

OraError invalidType(const std::string& type, const char* function) {
  return OraError(31600, "invalid input value " + type + " for parameter OBJECT_TYPE in function " + function);
}

std::string ddlOf(const Writer& w, const std::string& type, const std::string& name, const std::string& schema) {
  Catalog& cat = w.cat;
  const std::string& owner = w.owner;
  auto missing = [&]() {
    return OraError(31603, "object \"" + name + "\" of type " + type + " not found in schema \"" + (schema.empty() ? owner : schema) + "\"");
  };
  if (!schema.empty() && schema != owner) throw missing();
  if (type == "TABLE") {
    if (!cat.tableExists(name) || cat.viewExists(name)) throw missing();
    return terminated(w, type, tableDdl(w, name));
  }
  if (type == "VIEW") {
    if (!cat.viewExists(name)) throw missing();
    return terminated(w, type, viewDdl(w, name));
  }
  if (type == "MATERIALIZED_VIEW") {
    std::string row = recordText(cat.db(), "SELECT BUILD || char(9) || METHOD || char(9) || MODE || char(9) || REWRITE || char(9) || QUERY"
                                           " FROM \"TESSEL$MVIEWS\" WHERE NAME = ?1", name);
    auto parts = dict::splitTabs(row);
    if (parts.size() < 5) throw missing();
    // the query may hold tabs of its own
    std::string query = row.substr(parts[0].size() + parts[1].size() + parts[2].size() + parts[3].size() + 4);
    std::vector<std::string> names;
    for (const auto& c : cat.columns(name)) names.push_back(c.name);
    return terminated(w, type, "\n  CREATE MATERIALIZED VIEW " + w.qualified(type, name) + " (" + columnList(names) +
                                   ")\n  BUILD " + parts[0] + "\n  REFRESH " + parts[1] + " ON " + parts[2] + "\n  " +
                                   (parts[3] == "Y" ? "ENABLE" : "DISABLE") + " QUERY REWRITE\n  AS " + query);
  }
  if (type == "INDEX") {
    if (cat.indexExists(name)) return terminated(w, type, indexDdl(w, name));
    std::string table;
    dict::Constraint k;
    if (!findConstraint(cat, name, table, k) || (k.type != "P" && k.type != "U")) throw missing();
    return terminated(w, type, keyIndexDdl(w, table, k));
  }
  if (type == "CONSTRAINT" || type == "REF_CONSTRAINT") {
    std::string table;
    dict::Constraint k;
    if (!findConstraint(cat, name, table, k) || (k.type == "R") != (type == "REF_CONSTRAINT") || notNullCheck(k))
      throw missing();
    return terminated(w, type, constraintDdl(w, type, table, k));
  }
  if (type == "SEQUENCE") {
    std::string ddl = cat.sequenceExists(name) ? sequenceDdl(w, name) : std::string();
    if (ddl.empty()) throw missing();
    return terminated(w, type, ddl);
  }
  if (type == "SYNONYM") {
    std::string to = recordText(cat.db(), "SELECT TABLE_OWNER || char(9) || TABLE_NAME FROM \"TESSEL$SYNONYMS\" WHERE NAME = ?1", name);
    size_t tab = to.find('\t');
    if (tab == std::string::npos) throw missing();
    return terminated(w, type, "\n  CREATE OR REPLACE EDITIONABLE SYNONYM " + w.qualified(type, name) + " FOR " +
                                   quoted(to.substr(0, tab)) + "." + quoted(to.substr(tab + 1)));
  }
  if (type == "TRIGGER") {
    if (recordText(cat.db(), "SELECT NAME FROM \"TESSEL$TRIGGERS\" WHERE NAME = ?1", name).empty()) throw missing();
    return triggerDdl(w, name);
  }
  if (type == "PROCEDURE" || type == "FUNCTION" || type == "PACKAGE" || type == "PACKAGE_SPEC" || type == "PACKAGE_BODY" ||
      type == "TYPE" || type == "TYPE_SPEC" || type == "TYPE_BODY") {
    std::string kind = type.substr(0, type.find('_'));
    const bool whole = type == kind, bodyType = type.ends_with("_BODY");
    auto source = [&](const std::string& k) {
      sqlite3_stmt* st = nullptr;
      std::string src;
      if (sqlite3_prepare_v2(cat.db(), "SELECT TEXT FROM \"TESSEL$SOURCE\" WHERE NAME = ?1 AND TYPE = ?2", -1, &st, nullptr) != SQLITE_OK)
        return src;
      sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(st, 2, k.c_str(), -1, SQLITE_TRANSIENT);
      if (sqlite3_step(st) == SQLITE_ROW)
        if (const unsigned char* v = sqlite3_column_text(st, 0)) src = reinterpret_cast<const char*>(v);
      sqlite3_finalize(st);
      return src;
    };
    std::string specText = source(kind);
    std::string bodyText = kind == "PACKAGE" || kind == "TYPE" ? source(kind + " BODY") : std::string();
    if (bodyType ? bodyText.empty() : specText.empty()) throw missing();
    // a whole package leaves out what the session's transform asks to leave out
    std::string head = !bodyType && (!whole || w.flag(kind, "SPECIFICATION", true)) ? specText : std::string();
    std::string tail = !type.ends_with("_SPEC") && (!whole || w.flag(kind, "BODY", true)) ? bodyText : std::string();
    std::string out;
    if (!head.empty()) out += unitDdl(w, head, kind, name);
    if (!tail.empty()) out += (out.empty() ? "" : "\n") + unitDdl(w, tail, kind + " BODY", name);
    return out;
  }
  // a type the package knows but the engine keeps no DDL for
  throw invalidType(type, "GET_DDL");
}

// GET_DEPENDENT_DDL: the DDL of each object of a type that belongs to a table.
std::string dependentDdl(const Writer& w, const std::string& type, const std::string& table, const std::string& schema) {
  Catalog& cat = w.cat;
  auto none = [&]() { return OraError(31608, "specified object of type " + type + " not found"); };
  if (type != "INDEX" && type != "CONSTRAINT" && type != "REF_CONSTRAINT" && type != "TRIGGER" && type != "COMMENT")
    throw invalidType(type, "GET_DEPENDENT_DDL");
  if ((!schema.empty() && schema != w.owner) || !cat.tableExists(table) || cat.viewExists(table)) throw none();
  std::string out;
  if (type == "INDEX") {
    for (const auto& k : dict::tableConstraints(cat.db(), table))
      if (k.type == "P" || k.type == "U") out += terminated(w, type, keyIndexDdl(w, table, k));
    sqlite3_stmt* st = nullptr;
    std::vector<std::string> names;
    if (sqlite3_prepare_v2(cat.db(), "SELECT name FROM sqlite_schema WHERE type = 'index' AND tbl_name = ?1 ORDER BY rowid",
                           -1, &st, nullptr) == SQLITE_OK) {
      sqlite3_bind_text(st, 1, table.c_str(), -1, SQLITE_TRANSIENT);
      while (sqlite3_step(st) == SQLITE_ROW)
        if (const unsigned char* v = sqlite3_column_text(st, 0)) names.emplace_back(reinterpret_cast<const char*>(v));
      sqlite3_finalize(st);
    }
    for (const auto& n : names)
      if (n.rfind("sqlite_", 0) != 0 && cat.indexExists(n)) out += terminated(w, type, indexDdl(w, n));
  } else if (type == "COMMENT") {
    // the table's, then its columns' in their order
    std::string was = recordText(cat.db(), "SELECT COMMENTS FROM \"TESSEL$COMMENTS\" WHERE TABLE_NAME = ?1 AND COLUMN_NAME = ''",
                                 table);
    if (!was.empty())
      out += terminated(w, type, "\n   COMMENT ON TABLE " + w.qualified(type, table) + "  IS " + quoteString(was));
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(cat.db(),
                           "SELECT c.name, m.COMMENTS FROM pragma_table_info(?1) c JOIN \"TESSEL$COMMENTS\" m"
                           " ON m.TABLE_NAME = ?1 AND m.COLUMN_NAME = c.name WHERE m.COMMENTS <> '' ORDER BY c.cid",
                           -1, &st, nullptr) == SQLITE_OK) {
      sqlite3_bind_text(st, 1, table.c_str(), -1, SQLITE_TRANSIENT);
      while (sqlite3_step(st) == SQLITE_ROW) {
        auto text = [&](int c) {
          const unsigned char* v = sqlite3_column_text(st, c);
          return std::string(v ? reinterpret_cast<const char*>(v) : "");
        };
        out += terminated(w, type, "\n   COMMENT ON COLUMN " + w.qualified(type, table) + "." + quoted(text(0)) + " IS " +
                                       quoteString(text(1)));
      }
      sqlite3_finalize(st);
    }
  } else if (type == "TRIGGER") {
    sqlite3_stmt* st = nullptr;
    std::vector<std::string> names;
    if (sqlite3_prepare_v2(cat.db(), "SELECT NAME FROM \"TESSEL$TRIGGERS\" WHERE TABLE_NAME = ?1 ORDER BY rowid", -1, &st,
                           nullptr) == SQLITE_OK) {
      sqlite3_bind_text(st, 1, table.c_str(), -1, SQLITE_TRANSIENT);
      while (sqlite3_step(st) == SQLITE_ROW)
        if (const unsigned char* v = sqlite3_column_text(st, 0)) names.emplace_back(reinterpret_cast<const char*>(v));
      sqlite3_finalize(st);
    }
    for (const auto& n : names) out += triggerDdl(w, n);
  } else {
    for (const auto& k : dict::tableConstraints(cat.db(), table))
      if ((k.type == "R") == (type == "REF_CONSTRAINT") && !notNullCheck(k))
        out += terminated(w, type, constraintDdl(w, type, table, k));
  }
  if (out.empty()) throw none();
  return out;
}

// The object's name and type as given; a NULL one is no object.
std::string argText(fn::Val* v) { return fn::isNull(v) ? std::string() : fn::textOf(v); }

void fnGetDdl(fn::Ctx* ctx, int argc, fn::Val** argv) {
  sqlite3* db = sqlite3_context_db_handle(ctx);
  const Nls& nls = sessionNls(db);
  Catalog cat(db, nls.user, nls.session);
  Writer w{cat, nls, nls.user};
  std::string type = argText(argv[0]), name = argText(argv[1]), schema = argc > 2 ? argText(argv[2]) : std::string();
  if (type.empty()) throw invalidType("NULL", "GET_DDL");
  if (name.empty()) throw OraError(31600, "invalid input value NULL for parameter NAME in function GET_DDL");
  fn::resultText(ctx, ddlOf(w, type, name, schema));
}

void fnGetDependentDdl(fn::Ctx* ctx, int argc, fn::Val** argv) {
  sqlite3* db = sqlite3_context_db_handle(ctx);
  const Nls& nls = sessionNls(db);
  Catalog cat(db, nls.user, nls.session);
  Writer w{cat, nls, nls.user};
  std::string type = argText(argv[0]), name = argText(argv[1]), schema = argc > 2 ? argText(argv[2]) : std::string();
  if (type.empty()) throw invalidType("NULL", "GET_DEPENDENT_DDL");
  fn::resultText(ctx, dependentDdl(w, type, name, schema));
}

} // namespace

const std::vector<fn::Def>& metadataFunctionDefs() {
  static const std::vector<fn::Def> defs = {
      {"ora_dbms_metadata_get_ddl", 2, 6, fn::guarded<fnGetDdl>, -1, true},
      {"ora_dbms_metadata_get_dependent_ddl", 2, 7, fn::guarded<fnGetDependentDdl>, -1, true},
  };
  return defs;
}

void setTransformParam(sqlite3* db, const std::string& objectType, const std::string& name, const std::string& value) {
  static const std::set<std::string> flags = {"PRETTY", "SQLTERMINATOR", "SEGMENT_ATTRIBUTES", "STORAGE", "TABLESPACE",
                                              "CONSTRAINTS", "REF_CONSTRAINTS", "EMIT_SCHEMA", "BODY", "SPECIFICATION",
                                              "CONSTRAINTS_AS_ALTER", "OID", "SIZE_BYTE_KEYWORD", "FORCE", "PARTITIONING",
                                              "COLLATION_CLAUSE"};
  Nls& nls = sessionNls(db);
  if (name == "DEFAULT") {
    if (value == "TRUE") nls.metadataTransform.clear();
    return;
  }
  if (!flags.count(name))
    throw OraError(31600, "invalid input value " + name + " for parameter NAME in function SET_TRANSFORM_PARAM");
  if (value != "TRUE" && value != "FALSE")
    throw OraError(31600, "invalid input value " + value + " for parameter VALUE in function SET_TRANSFORM_PARAM");
  nls.metadataTransform[objectType + "." + name] = value;
}

} // namespace ora
