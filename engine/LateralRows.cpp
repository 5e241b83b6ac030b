// Packed rows of a correlated inline view and the table-valued function that reads them.
#include "LateralRows.h"

#include "FunctionUtil.h"
#include "SqlText.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <sqlite3.h>

namespace ora {

namespace {

// Each value: one byte of its type, then 8 bytes of a number or a length and the bytes.
enum : unsigned char { kNull, kInt, kReal, kText, kBlob };

void put(std::string& out, const void* p, size_t n) { out.append(static_cast<const char*>(p), n); }

void pack(std::string& out, sqlite3_value* v) {
  switch (v ? sqlite3_value_type(v) : SQLITE_NULL) {
  case SQLITE_INTEGER: {
    out += static_cast<char>(kInt);
    int64_t i = sqlite3_value_int64(v);
    put(out, &i, sizeof i);
    break;
  }
  case SQLITE_FLOAT: {
    out += static_cast<char>(kReal);
    double d = sqlite3_value_double(v);
    put(out, &d, sizeof d);
    break;
  }
  case SQLITE_TEXT:
  case SQLITE_BLOB: {
    bool text = sqlite3_value_type(v) == SQLITE_TEXT;
    const void* p = text ? static_cast<const void*>(sqlite3_value_text(v)) : sqlite3_value_blob(v);
    uint64_t n = static_cast<uint64_t>(sqlite3_value_bytes(v));
    out += static_cast<char>(text ? kText : kBlob);
    put(out, &n, sizeof n);
    if (n) put(out, p, n);
    break;
  }
  default: out += static_cast<char>(kNull);
  }
}

} // namespace

void packValue(std::string& out, sqlite3_value* v) { pack(out, v); }

namespace {

void packStep(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  auto** acc = static_cast<std::string**>(sqlite3_aggregate_context(ctx, sizeof(std::string*)));
  if (!acc) return sqlite3_result_error_nomem(ctx);
  try {
    if (!*acc) *acc = new std::string;
    std::string& out = **acc;
    for (int k = 0; k < argc; ++k) packValue(out, argv[k]);
  } catch (const std::bad_alloc&) {
    sqlite3_result_error_nomem(ctx);
  }
}

void packFinal(sqlite3_context* ctx) {
  auto** acc = static_cast<std::string**>(sqlite3_aggregate_context(ctx, 0));
  if (!acc || !*acc) return sqlite3_result_zeroblob(ctx, 0);
  std::string* s = *acc;
  sqlite3_result_blob64(ctx, s->data(), s->size(), SQLITE_TRANSIENT);
  delete s;
  *acc = nullptr;
}

struct Value {
  unsigned char type = kNull;
  int64_t i = 0;
  double d = 0;
  std::string s;
};

struct Table {
  sqlite3_vtab base{};
  int columns = 0;
};

struct Cursor {
  sqlite3_vtab_cursor base{};
  int columns = 0;
  std::vector<Value> values;
  size_t at = 0, rows = 0;
};

int connect(sqlite3* db, void* aux, int, const char* const*, sqlite3_vtab** out, char**) {
  const auto& names = *static_cast<std::vector<std::string>*>(aux);
  int rc;
  try {
    std::string ddl = "CREATE TABLE x(";
    for (const auto& n : names) ddl += quoteIdent(n) + ", ";
    ddl += "\"ROWS$\" HIDDEN)";
    rc = sqlite3_declare_vtab(db, ddl.c_str());
  } catch (const std::bad_alloc&) {
    return SQLITE_NOMEM;
  }
  if (rc != SQLITE_OK) return rc;
  auto* t = new (std::nothrow) Table;
  if (!t) return SQLITE_NOMEM;
  t->columns = static_cast<int>(names.size());
  *out = &t->base;
  return SQLITE_OK;
}

// The packed rows must be given: they come from the tables before the view.
int bestIndex(sqlite3_vtab* v, sqlite3_index_info* info) {
  return argumentPlan(info, reinterpret_cast<Table*>(v)->columns, 1);
}

int open(sqlite3_vtab* v, sqlite3_vtab_cursor** out) {
  auto* c = new (std::nothrow) Cursor;
  if (!c) return SQLITE_NOMEM;
  c->columns = reinterpret_cast<Table*>(v)->columns;
  *out = &c->base;
  return SQLITE_OK;
}

int filter(sqlite3_vtab_cursor* cur, int, const char*, int argc, sqlite3_value** argv) {
  auto* c = reinterpret_cast<Cursor*>(cur);
  c->values.clear();
  c->at = c->rows = 0;
  if (argc < 1 || sqlite3_value_type(argv[0]) != SQLITE_BLOB || c->columns <= 0) return SQLITE_OK;
  try {
    const auto* p = static_cast<const unsigned char*>(sqlite3_value_blob(argv[0]));
    size_t n = static_cast<size_t>(sqlite3_value_bytes(argv[0])), k = 0;
    auto take = [&](void* to, size_t bytes) {
      if (n - k < bytes) return false;
      std::memcpy(to, p + k, bytes);
      k += bytes;
      return true;
    };
    while (k < n) {
      Value v;
      v.type = p[k++];
      bool ok = true;
      if (v.type == kInt) ok = take(&v.i, sizeof v.i);
      else if (v.type == kReal) ok = take(&v.d, sizeof v.d);
      else if (v.type == kText || v.type == kBlob) {
        uint64_t len = 0;
        ok = take(&len, sizeof len) && len <= n - k;
        if (ok) {
          v.s.assign(reinterpret_cast<const char*>(p + k), static_cast<size_t>(len));
          k += static_cast<size_t>(len);
        }
      } else if (v.type != kNull) {
        ok = false;
      }
      if (!ok) break; // never made by ora_rows: what is whole is read
      c->values.push_back(std::move(v));
    }
    c->rows = c->values.size() / static_cast<size_t>(c->columns);
  } catch (const std::bad_alloc&) {
    return SQLITE_NOMEM;
  }
  return SQLITE_OK;
}

int eof(sqlite3_vtab_cursor* cur) {
  auto* c = reinterpret_cast<Cursor*>(cur);
  return c->at >= c->rows;
}

int column(sqlite3_vtab_cursor* cur, sqlite3_context* ctx, int i) {
  auto* c = reinterpret_cast<Cursor*>(cur);
  if (i < 0 || i >= c->columns || c->at >= c->rows) {
    sqlite3_result_null(ctx);
    return SQLITE_OK;
  }
  const Value& v = c->values[c->at * static_cast<size_t>(c->columns) + static_cast<size_t>(i)];
  switch (v.type) {
  case kInt: sqlite3_result_int64(ctx, v.i); break;
  case kReal: sqlite3_result_double(ctx, v.d); break;
  case kText: sqlite3_result_text64(ctx, v.s.data(), v.s.size(), SQLITE_TRANSIENT, SQLITE_UTF8); break;
  case kBlob: sqlite3_result_blob64(ctx, v.s.data(), v.s.size(), SQLITE_TRANSIENT); break;
  default: sqlite3_result_null(ctx);
  }
  return SQLITE_OK;
}

const sqlite3_module kModule = rowsModule<Table, Cursor>(connect, bestIndex, open, filter, eof, column);

} // namespace

void registerLateralRows(sqlite3* db) {
  sqlite3_create_function(db, "ora_rows", -1, SQLITE_UTF8, nullptr, nullptr, packStep, packFinal);
}

std::string lateralModule(sqlite3* db, const std::vector<std::string>& columns) {
  std::string key;
  for (const auto& c : columns) key += c + '\x01';
  uint64_t h = 1469598103934665603ull;
  for (unsigned char ch : key) h = (h ^ ch) * 1099511628211ull;
  char name[48];
  std::snprintf(name, sizeof name, "ora_lateral_%016llx", static_cast<unsigned long long>(h));
  // registered once per connection: replacing a module would pull it from under its statements
  sqlite3_stmt* probe = nullptr;
  std::string sql = std::string("SELECT 1 FROM ") + name + "(NULL)";
  bool known = sqlite3_prepare_v2(db, sql.c_str(), -1, &probe, nullptr) == SQLITE_OK;
  sqlite3_finalize(probe);
  if (known) return name;
  auto* aux = new std::vector<std::string>(columns);
  sqlite3_create_module_v2(db, name, &kModule, aux, [](void* p) { delete static_cast<std::vector<std::string>*>(p); });
  return name;
}

} // namespace ora
