// JSON_TABLE as a table-valued function: one SQLite module per column list, named after it, whose
// rows are what the row path finds in the document and whose columns are read from each row.
#include "JsonFunctions.h"

#include "FunctionUtil.h"
#include "JsonDoc.h"
#include "Number.h"
#include "SqlText.h"

#include <cstring>
#include <memory>
#include <sqlite3.h>

namespace ora {

namespace {

struct Table {
  sqlite3_vtab base{};
  std::shared_ptr<const JsonTableSpec> spec;
};

struct Cursor {
  sqlite3_vtab_cursor base{};
  const JsonTableSpec* spec = nullptr;
  std::vector<json::Value> rows;
  size_t at = 0;
};

int connect(sqlite3* db, void* aux, int, const char* const*, sqlite3_vtab** out, char**) {
  auto spec = *static_cast<std::shared_ptr<const JsonTableSpec>*>(aux);
  std::string ddl = "CREATE TABLE x(";
  for (const auto& c : spec->columns) ddl += quoteIdent(c.name) + ", ";
  ddl += "\"JSON$DOC\" HIDDEN, \"JSON$PATH\" HIDDEN)";
  int rc = sqlite3_declare_vtab(db, ddl.c_str());
  if (rc != SQLITE_OK) return rc;
  auto* t = new (std::nothrow) Table;
  if (!t) return SQLITE_NOMEM;
  t->spec = std::move(spec);
  *out = &t->base;
  return SQLITE_OK;
}

// The document and the row path must be given; the plan without them is refused.
int bestIndex(sqlite3_vtab* v, sqlite3_index_info* info) {
  return argumentPlan(info, static_cast<int>(reinterpret_cast<Table*>(v)->spec->columns.size()), 2);
}

int open(sqlite3_vtab* v, sqlite3_vtab_cursor** out) {
  auto* c = new (std::nothrow) Cursor;
  if (!c) return SQLITE_NOMEM;
  c->spec = reinterpret_cast<Table*>(v)->spec.get();
  *out = &c->base;
  return SQLITE_OK;
}

void setError(sqlite3_vtab_cursor* cur, const std::string& text) {
  sqlite3_free(cur->pVtab->zErrMsg);
  cur->pVtab->zErrMsg = sqlite3_mprintf("%s", text.c_str());
}

int filter(sqlite3_vtab_cursor* cur, int, const char*, int argc, sqlite3_value** argv) {
  auto* c = reinterpret_cast<Cursor*>(cur);
  c->rows.clear();
  c->at = 0;
  if (argc < 2 || sqlite3_value_type(argv[0]) == SQLITE_NULL) return SQLITE_OK;
  try {
    const unsigned char* p = sqlite3_value_text(argv[1]);
    std::string pathText = p ? reinterpret_cast<const char*>(p) : "";
    json::Path path;
    try {
      path = json::compilePath(pathText);
    } catch (const OraError&) {
      throw jsonError(40597, pathText);
    }
    const unsigned char* d = sqlite3_value_text(argv[0]);
    json::Value doc;
    // a document that is not JSON gives no rows (NULL ON ERROR), unless ERROR ON ERROR
    if (!json::parse(std::string_view(reinterpret_cast<const char*>(d), static_cast<size_t>(sqlite3_value_bytes(argv[0]))), doc, false) ||
        doc.scalar()) {
      if (c->spec->errorOnError) throw jsonError(40441);
      return SQLITE_OK;
    }
    bool strictMiss = false;
    c->rows = json::evaluate(path, doc, strictMiss);
  } catch (const OraError& e) {
    setError(cur, e.text);
    return SQLITE_ERROR;
  } catch (const std::bad_alloc&) {
    return SQLITE_NOMEM;
  }
  return SQLITE_OK;
}

int eof(sqlite3_vtab_cursor* cur) {
  auto* c = reinterpret_cast<Cursor*>(cur);
  return c->at >= c->rows.size();
}

void resultText(sqlite3_context* ctx, const std::string& s) {
  sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

// One column of the current row, as JSON_VALUE, JSON_QUERY or JSON_EXISTS would read it there;
// a value that does not fit its column is NULL.
int column(sqlite3_vtab_cursor* cur, sqlite3_context* ctx, int i) {
  auto* c = reinterpret_cast<Cursor*>(cur);
  const auto& cols = c->spec->columns;
  if (i < 0 || static_cast<size_t>(i) >= cols.size() || c->at >= c->rows.size()) {
    sqlite3_result_null(ctx);
    return SQLITE_OK;
  }
  const JsonTableColumn& col = cols[static_cast<size_t>(i)];
  try {
    if (col.kind == JsonTableColumn::Ordinality) {
      sqlite3_result_int64(ctx, static_cast<int64_t>(c->at) + 1);
      return SQLITE_OK;
    }
    json::Path path = json::compilePath(col.path);
    bool strictMiss = false;
    std::vector<json::Value> found = json::evaluate(path, c->rows[c->at], strictMiss);
    if (col.kind == JsonTableColumn::Exists) {
      resultText(ctx, found.empty() ? "false" : "true");
      return SQLITE_OK;
    }
    if (col.kind == JsonTableColumn::Query) {
      json::Value out;
      if (found.size() == 1 && !found[0].scalar()) {
        out = std::move(found[0]);
      } else if (col.wrapper && !found.empty()) {
        out.kind = json::Value::Array;
        out.items = std::move(found);
      } else {
        sqlite3_result_null(ctx);
        return SQLITE_OK;
      }
      std::string s = json::serialize(out);
      if (static_cast<int64_t>(s.size()) > col.size) sqlite3_result_null(ctx);
      else resultText(ctx, s);
      return SQLITE_OK;
    }
    if (found.size() != 1 || !found[0].scalar()) {
      sqlite3_result_null(ctx);
      return SQLITE_OK;
    }
    try {
      jsonScalarResult(ctx, found[0], col.type, col.size);
    } catch (const OraError&) {
      sqlite3_result_null(ctx); // NULL ON ERROR
    }
  } catch (const OraError& e) {
    sqlite3_result_error(ctx, e.text.c_str(), -1);
  } catch (const std::bad_alloc&) {
    sqlite3_result_error_nomem(ctx);
  }
  return SQLITE_OK;
}

const sqlite3_module kModule = rowsModule<Table, Cursor>(connect, bestIndex, open, filter, eof, column);

} // namespace

std::string jsonTableModule(sqlite3* db, const JsonTableSpec& spec) {
  // the name stands for the column list, so equal lists share one module
  std::string key = spec.errorOnError ? "E" : "N";
  for (const auto& c : spec.columns)
    key += "|" + c.name + "/" + std::to_string(c.kind) + "/" + std::to_string(c.type) + "/" +
           std::to_string(c.size) + "/" + std::to_string(c.wrapper) + "/" + c.path;
  uint64_t h = 1469598103934665603ull;
  for (unsigned char ch : key) h = (h ^ ch) * 1099511628211ull;
  char name[40];
  std::snprintf(name, sizeof name, "ora_json_table_%016llx", static_cast<unsigned long long>(h));
  // registered once per connection: replacing a module would pull it from under the statements
  // that read it
  sqlite3_stmt* probe = nullptr;
  std::string sql = std::string("SELECT 1 FROM ") + name + "(NULL, NULL)";
  bool known = sqlite3_prepare_v2(db, sql.c_str(), -1, &probe, nullptr) == SQLITE_OK;
  sqlite3_finalize(probe);
  if (known) return name;
  auto* aux = new std::shared_ptr<const JsonTableSpec>(std::make_shared<const JsonTableSpec>(spec));
  sqlite3_create_module_v2(db, name, &kModule, aux,
                           [](void* p) { delete static_cast<std::shared_ptr<const JsonTableSpec>*>(p); });
  return name;
}

} // namespace ora
