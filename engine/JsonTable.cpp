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

// One row: per nest, the item it reads its columns from and its number among its siblings (0:
// none, its columns are NULL).
struct Row {
  std::vector<json::Value> items;
  std::vector<int64_t> ordinals;
};

struct Cursor {
  sqlite3_vtab_cursor base{};
  const JsonTableSpec* spec = nullptr;
  std::vector<Row> rows;
  size_t at = 0;
};

// The rows of nest n for its item v: v's row joined to the union of its children's rows, or v's
// row alone when they have none.
// (Nests are no deeper than the statement's parentheses.)
void expand(const JsonTableSpec& spec, int n, const json::Value& v, int64_t ordinal, Row row, std::vector<Row>& out) {
  row.items[static_cast<size_t>(n)] = v;
  row.ordinals[static_cast<size_t>(n)] = ordinal;
  const size_t before = out.size();
  for (size_t c = 1; c < spec.nests.size(); ++c) {
    if (spec.nests[c].parent != n) continue;
    json::Path path;
    try {
      path = json::compilePath(spec.nests[c].path);
    } catch (const OraError&) {
      throw jsonError(40597, spec.nests[c].path);
    }
    bool miss = false;
    std::vector<json::Value> found = json::evaluate(path, v, miss);
    for (size_t k = 0; k < found.size(); ++k)
      expand(spec, static_cast<int>(c), found[k], static_cast<int64_t>(k) + 1, row, out);
  }
  if (out.size() == before) out.push_back(std::move(row));
}

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
    std::vector<json::Value> found = json::evaluate(path, doc, strictMiss);
    Row empty;
    empty.items.resize(c->spec->nests.size());
    empty.ordinals.assign(c->spec->nests.size(), 0);
    for (size_t k = 0; k < found.size(); ++k) expand(*c->spec, 0, found[k], static_cast<int64_t>(k) + 1, empty, c->rows);
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
  const Row& row = c->rows[c->at];
  const auto nest = static_cast<size_t>(col.nest);
  if (nest >= row.ordinals.size() || row.ordinals[nest] == 0) { // no row of its nest here
    sqlite3_result_null(ctx);
    return SQLITE_OK;
  }
  try {
    if (col.kind == JsonTableColumn::Ordinality) {
      sqlite3_result_int64(ctx, row.ordinals[nest]);
      return SQLITE_OK;
    }
    json::Path path = json::compilePath(col.path);
    bool strictMiss = false;
    std::vector<json::Value> found = json::evaluate(path, row.items[nest], strictMiss);
    if (col.kind == JsonTableColumn::Exists) {
      if (col.type == kNumber) sqlite3_result_int(ctx, !found.empty());
      else resultText(ctx, found.empty() ? "false" : "true");
      return SQLITE_OK;
    }
    // the column's ON ERROR / ON EMPTY handling
    auto fallback = [&](int how, const json::Value& dflt, const OraError& e) {
      if (how == 1) throw e;
      if (how == 2) jsonScalarResult(ctx, dflt, col.type, col.size);
      else sqlite3_result_null(ctx);
      return SQLITE_OK;
    };
    if (found.empty()) {
      if (col.onEmpty >= 0) return fallback(col.onEmpty, col.emptyDefault, jsonError(40462));
      return fallback(col.onError, col.errorDefault, jsonError(40462));
    }
    if (col.kind == JsonTableColumn::Query) {
      json::Value out;
      if (found.size() == 1 && !found[0].scalar()) {
        out = std::move(found[0]);
      } else if (col.wrapper) {
        out.kind = json::Value::Array;
        out.items = std::move(found);
      } else {
        return fallback(col.onError, col.errorDefault, jsonError(40480));
      }
      std::string s = json::serialize(out);
      if (static_cast<int64_t>(s.size()) > col.size)
        return fallback(col.onError, col.errorDefault, jsonError(40478, std::to_string(col.size)));
      resultText(ctx, s);
      return SQLITE_OK;
    }
    if (found.size() != 1) return fallback(col.onError, col.errorDefault, jsonError(40470));
    if (!found[0].scalar()) return fallback(col.onError, col.errorDefault, jsonError(40456));
    try {
      jsonScalarResult(ctx, found[0], col.type, col.size);
    } catch (const OraError& e) {
      return fallback(col.onError, col.errorDefault, e);
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
           std::to_string(c.size) + "/" + std::to_string(c.wrapper) + "/" + std::to_string(c.nest) + "/" +
           std::to_string(c.onError) + std::to_string(c.onEmpty) + json::serialize(c.errorDefault) + "/" +
           json::serialize(c.emptyDefault) + "/" + c.path;
  for (const auto& n : spec.nests) key += "|N" + std::to_string(n.parent) + "/" + n.path;
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
