// The dictionary's rows for stored PL/SQL: USER_SOURCE, USER_PROCEDURES, USER_ARGUMENTS and USER_ERRORS.
#include "DictionaryImpl.h"
#include "ObjectTypes.h"
#include "OraError.h"
#include "PlsqlImpl.h"
#include "SqlTranslate.h"

#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <sqlite3.h>

namespace ora::dict {

std::map<std::string, std::vector<pl::CompileError>> unitErrors(const Source& src) {
  sqlite3* db = src.db;
  std::map<std::string, std::string> publicParts;
  eachRow(db, "SELECT NAME, TEXT FROM \"TESSEL$SOURCE\" WHERE TYPE = 'PACKAGE'",
          [&](sqlite3_stmt* st) { publicParts[col(st, 0)] = col(st, 1); });
  std::set<std::string> schemaTypes;
  eachRow(db, "SELECT NAME FROM \"TESSEL$SOURCE\" WHERE TYPE = 'TYPE'", [&](sqlite3_stmt* st) { schemaTypes.insert(col(st, 0)); });
  Catalog cat(db, src.owner, src.session);
  std::map<std::string, std::vector<pl::CompileError>> out;
  eachRow(db,
          "SELECT NAME, TYPE, TEXT FROM \"TESSEL$SOURCE\" WHERE TYPE IN ('PROCEDURE', 'FUNCTION', 'PACKAGE',"
          " 'PACKAGE BODY', 'TYPE', 'TYPE BODY')",
          [&](sqlite3_stmt* st) {
            std::string name = col(st, 0), type = col(st, 1);
            auto& errors = out[type + "/" + name];
            if ((type == "TYPE" || type == "TYPE BODY") && objectTypeValid(db, name, type == "TYPE BODY")) return;
            if (type == "TYPE BODY") {
              errors.push_back({0, 0, "PLS-00905: object " + src.owner + "." + name + " is invalid", 905});
              return;
            }
            errors = pl::compileErrors(type, col(st, 2), type == "PACKAGE BODY" ? publicParts[name] : std::string(),
                                       schemaTypes, &cat);
          });
  // a trigger that does not compile, where its body says why
  eachRow(db,
          "SELECT NAME, BODY, TABLE_NAME, REFERENCING, TRIGGER_TYPE FROM \"TESSEL$TRIGGERS\" WHERE VALID = 0",
          [&](sqlite3_stmt* st) {
            const std::string body = col(st, 1), type = col(st, 4);
            auto errors = pl::triggerErrors(body, &cat);
            // a row trigger's :NEW and :OLD name its table's columns
            if (errors.empty() && type.find("EACH ROW") != std::string::npos) {
              std::string newName = "NEW", oldName = "OLD";
              std::istringstream words(col(st, 3)); // REFERENCING NEW AS n OLD AS o
              for (std::string w, as, name; words >> w;)
                if ((w == "NEW" || w == "OLD") && words >> as >> name) (w == "NEW" ? newName : oldName) = name;
              std::vector<std::string> names;
              for (const auto& c : cat.columns(col(st, 2))) names.push_back(c.name);
              if (!names.empty()) errors = pl::rowReferenceErrors(body, newName, oldName, names, type.rfind("BEFORE", 0) == 0);
            }
            if (!errors.empty()) out["TRIGGER/" + col(st, 0)] = std::move(errors);
          });
  return out;
}

void fillErrors(const Source& src, Inserter& ins) {
  for (auto& [key, errors] : unitErrors(src)) {
    size_t slash = key.find('/');
    int sequence = 0;
    for (const auto& e : errors)
      ins.text(key.substr(slash + 1)).text(key.substr(0, slash)).num(++sequence).num(e.line).num(e.column).text(e.text)
          .text("ERROR").num(e.number).row();
  }
}

void fillSource(const Source& src, Inserter& ins) {
  eachRow(src.db, "SELECT NAME, TYPE, TEXT FROM \"TESSEL$SOURCE\" ORDER BY NAME, TYPE",
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

namespace {

// Each stored procedure and function, and each subprogram a CREATE PACKAGE declares, with what
// USER_PROCEDURES says of it; a package itself first (`sub` null, id 0), and a unit stored with
// errors alone.
void eachSubprogram(const Source& src,
                    const std::function<void(const std::string& object, const std::string& proc, int64_t obj,
                                             int64_t id, const std::string& overload, const std::string& type,
                                             const pl::Sub* sub)>& row) {
  eachRow(src.db,
          "SELECT o.NAME, o.OBJ, o.TYPE, s.TEXT FROM \"TESSEL$OBJECTS\" o JOIN \"TESSEL$SOURCE\" s"
          " ON s.NAME = o.NAME AND s.TYPE = o.TYPE WHERE o.TYPE IN ('PROCEDURE', 'FUNCTION', 'PACKAGE')"
          " ORDER BY o.NAME",
          [&](sqlite3_stmt* st) {
            std::string name = col(st, 0), type = col(st, 2), text = col(st, 3);
            int64_t obj = sqlite3_column_int64(st, 1);
            std::shared_ptr<pl::Unit> u;
            try {
              u = type == "PACKAGE" ? pl::parsePackage(text, {}) : pl::parseProcedure(text);
            } catch (const OraError&) {
              // stored with errors: the unit alone
            }
            if (type != "PACKAGE") {
              row(name, {}, obj, 1, {}, type, u ? u->sub.get() : nullptr);
              return;
            }
            row(name, {}, obj, 0, {}, type, nullptr);
            if (!u) return;
            std::map<std::string, int> seen, count;
            for (const pl::Decl& d : u->publicDecls)
              if (d.kind == pl::Decl::Subprogram) ++count[d.name];
            int64_t id = 0;
            for (const pl::Decl& d : u->publicDecls) {
              if (d.kind != pl::Decl::Subprogram) continue;
              std::string overload = count[d.name] > 1 ? std::to_string(++seen[d.name]) : std::string();
              row(name, d.name, obj, ++id, overload, type, d.sub.get());
            }
          });
}

// A parameter's or result's type as USER_ARGUMENTS names it: DATA_TYPE, PLS_TYPE and TYPE_NAME.
struct ArgumentType {
  std::string data, pls, typeName;
};

ArgumentType argumentType(sqlite3* db, const pl::TypeSpec& t) {
  using K = pl::TypeSpec;
  switch (t.kind) {
  case K::Number:
    if (t.binary) return {t.binary == kBinaryFloat ? "BINARY_FLOAT" : "BINARY_DOUBLE", t.binary == kBinaryFloat ? "BINARY_FLOAT" : "BINARY_DOUBLE", {}};
    if (t.range == K::Pls || t.range == K::Simple) return {"PL/SQL PLS INTEGER", "PLS_INTEGER", {}};
    if (t.range == K::Natural || t.range == K::Positive || t.range == K::Sign) return {"BINARY_INTEGER", "BINARY_INTEGER", {}};
    if (t.floatBits) return {"FLOAT", "FLOAT", {}};
    return {"NUMBER", t.integer ? "INTEGER" : "NUMBER", {}};
  case K::Text:
    if (t.bytes) return t.size == pl::kLobSize ? ArgumentType{"BLOB", "BLOB", {}} : ArgumentType{"RAW", "RAW", {}};
    if (t.xml) return {"OPAQUE/XMLTYPE", {}, "XMLTYPE"};
    if (t.size == pl::kLobSize) return {"CLOB", "CLOB", {}};
    if (t.fixed) return {"CHAR", "CHAR", {}};
    return {"VARCHAR2", "VARCHAR2", {}};
  case K::Date:
    switch (t.dt) {
    case kTimestamp: return {"TIMESTAMP", "TIMESTAMP", {}};
    case kTimestampTz:
      return t.localZone ? ArgumentType{"TIMESTAMP WITH LOCAL TIME ZONE", "TIMESTAMP WITH LOCAL TIME ZONE", {}}
                         : ArgumentType{"TIMESTAMP WITH TIME ZONE", "TIMESTAMP WITH TIME ZONE", {}};
    case kIntervalYm: return {"INTERVAL YEAR TO MONTH", "INTERVAL YEAR TO MONTH", {}};
    case kIntervalDs: return {"INTERVAL DAY TO SECOND", "INTERVAL DAY TO SECOND", {}};
    default: return {"DATE", "DATE", {}};
    }
  case K::Bool: return {"BOOLEAN", "BOOLEAN", {}};
  case K::Cursor: return {"REF CURSOR", {}, {}};
  case K::Record: return {"PL/SQL RECORD", {}, {}};
  case K::Named: {
    // the schema's object or collection type, or a package's own (pkg.type)
    if (t.named.find('.') != std::string::npos) return {"PL/SQL RECORD", {}, t.named.substr(t.named.find('.') + 1)};
    if (objectType(db, t.named)) return {"OBJECT", {}, t.named};
    std::string kind;
    eachRow(db,
            "SELECT CASE WHEN TEXT LIKE '%VARRAY%' OR TEXT LIKE '%VARYING ARRAY%' THEN 'VARRAY' ELSE 'TABLE' END"
            " FROM \"TESSEL$SOURCE\" WHERE NAME = ?1 AND TYPE = 'TYPE'",
            [&](sqlite3_stmt* st) { kind = col(st, 0); }, t.named);
    return {kind.empty() ? std::string("OBJECT") : kind, {}, t.named};
  }
  default: return {};
  }
}

} // namespace

// One row for each standalone procedure or function, and for a package one for itself (its
// SUBPROGRAM_ID 0) and one for each subprogram CREATE PACKAGE declares.
void fillProcedures(const Source& src, Inserter& ins) {
  eachSubprogram(src, [&](const std::string& object, const std::string& proc, int64_t obj, int64_t id,
                          const std::string& overload, const std::string& type, const pl::Sub* sub) {
    ins.text(object).textOrNull(proc).num(obj).num(id).textOrNull(overload).text(type);
    ins.text("NO").text("NO").text("NO").text("NO"); // AGGREGATE, PIPELINED, PARALLEL, INTERFACE
    ins.text(sub && sub->deterministic ? "YES" : "NO").text(sub && sub->currentUser ? "CURRENT_USER" : "DEFINER").row();
  });
}

// A function's result (POSITION 0) and each parameter in order; a procedure without parameters
// has one row without a name or type. A package's subprograms are named in OBJECT_NAME, the
// package in PACKAGE_NAME.
void fillArguments(const Source& src, Inserter& ins) {
  eachSubprogram(src, [&](const std::string& object, const std::string& proc, int64_t obj, int64_t id,
                          const std::string& overload, const std::string&, const pl::Sub* sub) {
    if (!sub) return;
    const std::string name = proc.empty() ? object : proc, package = proc.empty() ? std::string() : object;
    int64_t sequence = 0;
    auto row = [&](const std::string& arg, int64_t position, const pl::TypeSpec* type, const char* mode, bool defaulted) {
      ArgumentType at = type ? argumentType(src.db, *type) : ArgumentType{};
      ins.text(name).textOrNull(package).num(obj).textOrNull(overload).num(id).textOrNull(arg).num(position);
      ins.num(type ? ++sequence : 0).num(0).textOrNull(at.data).text(defaulted ? "Y" : "N").null().null();
      ins.text(mode).null().null().null().null(); // DATA_LENGTH, DATA_PRECISION, DATA_SCALE, RADIX
      bool chars = at.data == "VARCHAR2" || at.data == "CHAR" || at.data == "CLOB";
      ins.textOrNull(chars ? "CHAR_CS" : "").textOrNull(at.typeName.empty() ? "" : src.owner).textOrNull(at.typeName);
      ins.null().null().textOrNull(at.pls).num(0).textOrNull(chars ? "B" : "").row();
    };
    if (sub->function) row({}, 0, &sub->ret, "OUT", false);
    if (sub->params.empty() && !sub->function) row({}, 1, nullptr, "IN", false);
    int64_t position = 0;
    for (const pl::Param& p : sub->params)
      row(p.name, ++position, &p.type, p.in && p.out ? "IN/OUT" : p.out ? "OUT" : "IN", !p.dflt.empty());
  });
}

} // namespace ora::dict
