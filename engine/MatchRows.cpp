// The rows of a MATCH_RECOGNIZE clause as a table-valued function: called with the source's rows
// packed by ora_rows (LateralRows.cpp), it runs the pattern over them and reads out the result.
#include "MatchRecognize.h"

#include "FunctionUtil.h"
#include "SqlText.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <sqlite3.h>

namespace ora::mr {

namespace {

struct Table {
  sqlite3_vtab base{};
  sqlite3* db = nullptr;
  std::shared_ptr<const Spec> spec;
};

struct Cursor {
  sqlite3_vtab_cursor base{};
  const Table* table = nullptr;
  std::vector<Row> rows;
  size_t at = 0;
};

int connect(sqlite3* db, void* aux, int, const char* const*, sqlite3_vtab** out, char**) {
  auto spec = *static_cast<std::shared_ptr<const Spec>*>(aux);
  int rc;
  try {
    std::string ddl = "CREATE TABLE x(";
    for (size_t k = 0; k < spec->output.size(); ++k) {
      ddl += quoteIdent(spec->output[k].first);
      // a type name of the source's own, where it has one
      const std::string& d = spec->decls[k];
      if (!d.empty() && d.find_first_of("\"';") == std::string::npos) ddl += " " + d;
      ddl += ", ";
    }
    ddl += "\"ROWS$\" HIDDEN)";
    rc = sqlite3_declare_vtab(db, ddl.c_str());
  } catch (const std::bad_alloc&) {
    return SQLITE_NOMEM;
  }
  if (rc != SQLITE_OK) return rc;
  auto* t = new (std::nothrow) Table;
  if (!t) return SQLITE_NOMEM;
  t->db = db;
  t->spec = std::move(spec);
  *out = &t->base;
  return SQLITE_OK;
}

int bestIndex(sqlite3_vtab* v, sqlite3_index_info* info) {
  return argumentPlan(info, static_cast<int>(reinterpret_cast<Table*>(v)->spec->output.size()), 1, 100);
}

int open(sqlite3_vtab* v, sqlite3_vtab_cursor** out) {
  auto* c = new (std::nothrow) Cursor;
  if (!c) return SQLITE_NOMEM;
  c->table = reinterpret_cast<Table*>(v);
  *out = &c->base;
  return SQLITE_OK;
}

// The rows as ora_rows packs them: per value a type byte, then 8 bytes of a number or a length
// and the bytes.
std::vector<Row> unpack(const unsigned char* p, size_t n, size_t columns) {
  std::vector<Row> rows;
  Row row;
  size_t k = 0;
  auto take = [&](void* to, size_t bytes) {
    if (n - k < bytes) return false;
    std::memcpy(to, p + k, bytes);
    k += bytes;
    return true;
  };
  while (k < n) {
    Value v;
    unsigned char type = p[k++];
    bool ok = true;
    if (type == 1) {
      v.type = Value::Int;
      ok = take(&v.i, sizeof v.i);
    } else if (type == 2) {
      v.type = Value::Real;
      ok = take(&v.d, sizeof v.d);
    } else if (type == 3 || type == 4) {
      v.type = type == 3 ? Value::Text : Value::Blob;
      uint64_t len = 0;
      ok = take(&len, sizeof len) && len <= n - k;
      if (ok) {
        v.s.assign(reinterpret_cast<const char*>(p + k), static_cast<size_t>(len));
        k += static_cast<size_t>(len);
      }
    } else if (type != 0) {
      ok = false;
    }
    if (!ok) break;
    row.push_back(std::move(v));
    if (row.size() == columns) rows.push_back(std::move(row)), row.clear();
  }
  return rows;
}

int filter(sqlite3_vtab_cursor* cur, int, const char*, int argc, sqlite3_value** argv) {
  auto* c = reinterpret_cast<Cursor*>(cur);
  c->rows.clear();
  c->at = 0;
  if (argc < 1 || sqlite3_value_type(argv[0]) != SQLITE_BLOB) return SQLITE_OK;
  try {
    const Spec& spec = *c->table->spec;
    std::vector<Row> in = unpack(static_cast<const unsigned char*>(sqlite3_value_blob(argv[0])),
                                 static_cast<size_t>(sqlite3_value_bytes(argv[0])), spec.columns.size());
    c->rows = matchRows(c->table->db, spec, std::move(in));
  } catch (const OraError& e) {
    sqlite3_free(cur->pVtab->zErrMsg);
    cur->pVtab->zErrMsg = sqlite3_mprintf("%s", e.text.c_str());
    return SQLITE_ERROR;
  } catch (const std::bad_alloc&) {
    return SQLITE_NOMEM;
  } catch (...) {
    sqlite3_free(cur->pVtab->zErrMsg);
    cur->pVtab->zErrMsg = sqlite3_mprintf("%s", "ORA-00600: internal error in pattern matching");
    return SQLITE_ERROR;
  }
  return SQLITE_OK;
}

int eof(sqlite3_vtab_cursor* cur) {
  auto* c = reinterpret_cast<Cursor*>(cur);
  return c->at >= c->rows.size();
}

int column(sqlite3_vtab_cursor* cur, sqlite3_context* ctx, int i) {
  auto* c = reinterpret_cast<Cursor*>(cur);
  if (i < 0 || c->at >= c->rows.size() || static_cast<size_t>(i) >= c->rows[c->at].size()) {
    sqlite3_result_null(ctx);
    return SQLITE_OK;
  }
  const Value& v = c->rows[c->at][static_cast<size_t>(i)];
  switch (v.type) {
  case Value::Int: sqlite3_result_int64(ctx, v.i); break;
  case Value::Real: sqlite3_result_double(ctx, v.d); break;
  case Value::Text: sqlite3_result_text64(ctx, v.s.data(), v.s.size(), SQLITE_TRANSIENT, SQLITE_UTF8); break;
  case Value::Blob: sqlite3_result_blob64(ctx, v.s.data(), v.s.size(), SQLITE_TRANSIENT); break;
  default: sqlite3_result_null(ctx);
  }
  return SQLITE_OK;
}

const sqlite3_module kModule = rowsModule<Table, Cursor>(connect, bestIndex, open, filter, eof, column);

} // namespace

std::string matchModule(sqlite3* db, const std::shared_ptr<const Spec>& spec, const std::string& key) {
  uint64_t h = 1469598103934665603ull;
  for (unsigned char ch : key) h = (h ^ ch) * 1099511628211ull;
  char name[40];
  std::snprintf(name, sizeof name, "ora_match_%016llx", static_cast<unsigned long long>(h));
  // registered once per connection: replacing a module would pull it from under its statements
  sqlite3_stmt* probe = nullptr;
  std::string sql = std::string("SELECT 1 FROM ") + name + "(NULL)";
  bool known = sqlite3_prepare_v2(db, sql.c_str(), -1, &probe, nullptr) == SQLITE_OK;
  sqlite3_finalize(probe);
  if (known) return name;
  auto* aux = new std::shared_ptr<const Spec>(spec);
  sqlite3_create_module_v2(db, name, &kModule, aux, [](void* p) { delete static_cast<std::shared_ptr<const Spec>*>(p); });
  return name;
}

} // namespace ora::mr
