// DBMS_METADATA.GET_DDL, read from the schema's own records when the statement is translated:
// tables with their columns and keys, views, indexes, synonyms, triggers and stored units.
// Storage clauses are left out, as Oracle leaves them out when asked without segment attributes.
#include "DbmsMetadata.h"

#include "Dictionary.h"
#include "OraError.h"
#include "SqlText.h"
#include "SqlTokens.h"
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

std::string columnList(const std::vector<std::string>& cols) {
  std::string out;
  for (const auto& c : cols) out += (out.empty() ? "" : ", ") + quoted(c);
  return out;
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

std::string tableDdl(Catalog& cat, const std::string& owner, const std::string& name) {
  std::string out = "\n  CREATE TABLE " + quoted(owner) + "." + quoted(name) + " \n   (";
  const auto& cols = cat.columns(name);
  const auto keys = recordedConstraints(cat.db(), name);
  // a primary key's columns take NOT NULL from the key, not from a constraint of their own
  std::set<std::string> keyed;
  for (const auto& k : keys)
    if (k.type == "P") keyed.insert(k.columns.begin(), k.columns.end());
  for (size_t i = 0; i < cols.size(); ++i) {
    const ColumnInfo& c = cols[i];
    out += (i ? ", \n" : "") + std::string("\t") + quoted(c.name) + " " + typeText(c.type);
    if (c.invisible) out += " INVISIBLE";
    std::string dflt = writtenDefault(c.dflt);
    if (!dflt.empty()) out += (c.onNull ? " DEFAULT ON NULL " : " DEFAULT ") + dflt;
    if (c.notNull && !c.onNull && !keyed.count(c.name) && c.identity.empty()) out += " NOT NULL ENABLE";
  }
  for (const auto& k : keys)
    out += ", \n\t CONSTRAINT " + quoted(k.name) + (k.type == "P" ? " PRIMARY KEY (" : " UNIQUE (") +
           columnList(k.columns) + ")\n  USING INDEX  ENABLE";
  return out + "\n   ) ";
}

std::string viewDdl(Catalog& cat, const std::string& owner, const std::string& name) {
  std::string text = recordText(cat.db(), "SELECT TEXT FROM \"TESSEL$VIEWS\" WHERE NAME = ?1", name);
  std::vector<std::string> names;
  for (const auto& c : cat.columns(name)) names.push_back(c.name);
  return "\n  CREATE OR REPLACE FORCE EDITIONABLE VIEW " + quoted(owner) + "." + quoted(name) + " (" +
         columnList(names) + ") AS \n  " + text;
}

std::string indexDdl(Catalog& cat, const std::string& owner, const std::string& name) {
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
  std::string list;
  for (const auto& c : cols)
    list += (list.empty() ? "" : ", ") + (c.ends_with("\" DESC") ? "\"" + c : quoted(c));
  bool unique = sql.rfind("CREATE UNIQUE", 0) == 0;
  return "\n  CREATE " + std::string(unique ? "UNIQUE " : "") + "INDEX " + quoted(owner) + "." + quoted(name) + " ON " +
         quoted(owner) + "." + quoted(table) + " (" + list + ") \n  ";
}

// A stored unit's source with its name as owner and name, as CREATE OR REPLACE writes it.
std::string unitDdl(const std::string& src, const std::string& kind, const std::string& owner, const std::string& name) {
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
  for (size_t w = kind.find(' ') == std::string::npos ? 1 : 2; w > 0; --w) word();
  blanks();
  size_t nameAt = at;
  word();
  if (at < src.size() && src[at] == '.') {
    ++at;
    word();
  }
  if (at == nameAt) return out + src;
  return out + src.substr(0, nameAt) + quoted(owner) + "." + quoted(name) + (at < src.size() && src[at] == '(' ? " " : "") +
         src.substr(at);
}

std::string triggerDdl(Catalog& cat, const std::string& owner, const std::string& name) {
  std::string desc = recordText(cat.db(), "SELECT DESCRIPTION FROM \"TESSEL$TRIGGERS\" WHERE NAME = ?1", name);
  std::string body = recordText(cat.db(), "SELECT BODY FROM \"TESSEL$TRIGGERS\" WHERE NAME = ?1", name);
  bool enabled = recordText(cat.db(), "SELECT VALID FROM \"TESSEL$TRIGGERS\" WHERE NAME = ?1", name) != "0";
  // the description starts with the trigger's name, as written
  size_t nl = desc.find('\n');
  std::string rest = nl == std::string::npos ? std::string() : desc.substr(nl);
  std::string who = quoted(owner) + "." + quoted(name);
  while (!body.empty() && (body.back() == '\n' || body.back() == ' ')) body.pop_back();
  return "\n  CREATE OR REPLACE EDITIONABLE TRIGGER " + who + " " + rest + body + "\n/\nALTER TRIGGER " + who + (enabled ? " ENABLE" : " DISABLE");
}

std::string ddlOf(Catalog& cat, const std::string& type, const std::string& name, const std::string& schema) {
  const std::string& owner = cat.user();
  auto missing = [&]() {
    return OraError(31603, "object \"" + name + "\" of type " + type + " not found in schema \"" + (schema.empty() ? owner : schema) + "\"");
  };
  if (!schema.empty() && schema != owner) throw missing();
  if (type == "TABLE") {
    if (!cat.tableExists(name) || cat.viewExists(name)) throw missing();
    return tableDdl(cat, owner, name);
  }
  if (type == "VIEW") {
    if (!cat.viewExists(name)) throw missing();
    return viewDdl(cat, owner, name);
  }
  if (type == "INDEX") {
    if (!cat.indexExists(name)) throw missing();
    return indexDdl(cat, owner, name);
  }
  if (type == "SYNONYM") {
    std::string to = recordText(cat.db(), "SELECT TABLE_OWNER || char(9) || TABLE_NAME FROM \"TESSEL$SYNONYMS\" WHERE NAME = ?1", name);
    size_t tab = to.find('\t');
    if (tab == std::string::npos) throw missing();
    return "\n  CREATE OR REPLACE EDITIONABLE SYNONYM " + quoted(owner) + "." + quoted(name) + " FOR " +
           quoted(to.substr(0, tab)) + "." + quoted(to.substr(tab + 1));
  }
  if (type == "TRIGGER") {
    if (recordText(cat.db(), "SELECT NAME FROM \"TESSEL$TRIGGERS\" WHERE NAME = ?1", name).empty()) throw missing();
    return triggerDdl(cat, owner, name);
  }
  if (type == "PROCEDURE" || type == "FUNCTION" || type == "PACKAGE" || type == "PACKAGE_SPEC" || type == "PACKAGE_BODY" ||
      type == "TYPE" || type == "TYPE_SPEC" || type == "TYPE_BODY") {
    std::string kind = type.substr(0, type.find('_'));
    bool spec = type == kind || type.ends_with("_SPEC"), body = type == kind || type.ends_with("_BODY");
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
    std::string head = spec ? source(kind) : std::string();
    std::string tail = body && (kind == "PACKAGE" || kind == "TYPE") ? source(kind + " BODY") : std::string();
    if (head.empty() && (spec && type != kind ? true : tail.empty())) throw missing();
    std::string out;
    if (!head.empty()) out += unitDdl(head, kind, owner, name);
    if (!tail.empty()) out += (out.empty() ? "" : "\n") + unitDdl(tail, kind + " BODY", owner, name);
    return out;
  }
  // a type the package knows but the engine keeps no DDL for
  throw OraError(31600, "invalid input value " + type + " for parameter OBJECT_TYPE in function GET_DDL");
}

} // namespace

bool metadataCalls(const std::string& text, Catalog& cat, std::string& out) {
  if (text.find("GET_DDL") == std::string::npos && text.find("get_ddl") == std::string::npos) return false;
  sql::TokenList l(text);
  if (!l.ok) return false;
  std::string res;
  size_t copied = 0;
  bool any = false;
  for (size_t i = 0; i + 3 < l.t.size(); ++i) {
    if (!l.word(i, "DBMS_METADATA") || !l.op(i + 1, ".") || !l.word(i + 2, "GET_DDL") || !l.op(i + 3, "(")) continue;
    size_t close = l.close(i + 3);
    std::vector<std::string> args;
    bool literal = true;
    for (size_t k = i + 4; k < close; k += 2) {
      literal = literal && l.t[k].kind == sql::Tok::Str && (k + 1 == close || l.op(k + 1, ","));
      if (!literal) break;
      args.push_back(l.t[k].text);
    }
    if (!literal || args.size() < 2 || args.size() > 3) continue;
    std::string ddl = ddlOf(cat, args[0], args[1], args.size() > 2 ? args[2] : std::string());
    res += text.substr(copied, l.t[i].pos - copied) + "TO_CLOB(" + quoteString(ddl) + ")";
    // a select item of its own keeps the call as its heading
    if ((l.word(i - 1, "SELECT") || l.op(i - 1, ",")) && (l.word(close + 1, "FROM") || l.op(close + 1, ","))) {
      std::string heading;
      for (char c : l.slice(i, close + 1))
        if (!std::isspace(static_cast<unsigned char>(c))) heading += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      if (heading.find('"') == std::string::npos) res += " " + quoted(heading);
    }
    copied = l.t[close].end;
    any = true;
    i = close;
  }
  if (!any) return false;
  out = res + text.substr(copied);
  return true;
}

} // namespace ora
