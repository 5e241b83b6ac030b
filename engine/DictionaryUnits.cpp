// The dictionary's rows for stored PL/SQL: USER_SOURCE and USER_PROCEDURES.
#include "DictionaryImpl.h"
#include "OraError.h"
#include "PlsqlImpl.h"

#include <map>
#include <sqlite3.h>

namespace ora::dict {

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

// One row for each standalone procedure or function, and for a package one for itself (its
// SUBPROGRAM_ID 0) and one for each subprogram CREATE PACKAGE declares.
void fillProcedures(const Source& src, Inserter& ins) {
  auto row = [&](const std::string& object, const std::string& proc, int64_t obj, int64_t id,
                 const std::string& overload, const std::string& type, const pl::Sub* sub) {
    ins.text(object).textOrNull(proc).num(obj).num(id).textOrNull(overload).text(type);
    ins.text("NO").text("NO").text("NO").text("NO"); // AGGREGATE, PIPELINED, PARALLEL, INTERFACE
    ins.text(sub && sub->deterministic ? "YES" : "NO").text(sub && sub->currentUser ? "CURRENT_USER" : "DEFINER").row();
  };
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

} // namespace ora::dict
