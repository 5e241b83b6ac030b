// LISTAGG(x, sep) WITHIN GROUP (ORDER BY ...): the aggregate keeps each row's value with its sort
// keys and joins them in order when the group ends; as a window function the rows leave the
// frame from its front.
#include "ListAgg.h"

#include "Charset.h"

#include "Number.h"
#include "OraError.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sqlite3.h>
#include <string>
#include <vector>

namespace ora {

namespace {

struct Row {
  std::string text;
  bool null = false;
  std::vector<sqlite3_value*> keys;
};

struct Lists {
  std::vector<Row> rows;
  std::vector<int> order; // per key: bit 0 descending, bit 1 NULLs first
  std::string sep, indicator;
  int mode = 0; // bit 0 DISTINCT, bit 1 truncate on overflow, bit 2 with count
  bool started = false;
  ~Lists() {
    for (auto& r : rows)
      for (auto* k : r.keys) sqlite3_value_free(k);
  }
};

std::string textOf(sqlite3_value* v) {
  int t = sqlite3_value_type(v);
  if (t == SQLITE_INTEGER || t == SQLITE_FLOAT) {
    Num n;
    if (numOf(v, n)) return numText(n);
  }
  const unsigned char* s = sqlite3_value_text(v);
  return s ? std::string(reinterpret_cast<const char*>(s), static_cast<size_t>(sqlite3_value_bytes(v))) : std::string();
}

Lists* listsOf(sqlite3_context* ctx, bool make) {
  auto** slot = static_cast<Lists**>(sqlite3_aggregate_context(ctx, make ? sizeof(Lists*) : 0));
  if (!slot) return nullptr;
  if (!*slot && make) *slot = new Lists;
  return *slot;
}

// ora_listagg(value, separator, mode, indicator, key1, how1, key2, how2, ...)
void step(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  try {
    Lists* l = listsOf(ctx, true);
    if (!l) {
      sqlite3_result_error_nomem(ctx);
      return;
    }
    if (!l->started) {
      l->started = true;
      if (sqlite3_value_type(argv[1]) != SQLITE_NULL) l->sep = textOf(argv[1]);
      l->mode = sqlite3_value_int(argv[2]);
      if (sqlite3_value_type(argv[3]) != SQLITE_NULL) l->indicator = textOf(argv[3]);
      for (int i = 5; i < argc; i += 2) l->order.push_back(sqlite3_value_int(argv[i]));
    }
    Row r;
    r.null = sqlite3_value_type(argv[0]) == SQLITE_NULL;
    if (!r.null) {
      r.text = textOf(argv[0]);
      for (int i = 4; i + 1 < argc; i += 2) r.keys.push_back(sqlite3_value_dup(argv[i]));
    }
    l->rows.push_back(std::move(r));
  } catch (const std::exception&) {
    sqlite3_result_error_nomem(ctx);
  }
}

void inverse(sqlite3_context* ctx, int, sqlite3_value**) {
  Lists* l = listsOf(ctx, false);
  if (!l || l->rows.empty()) return;
  for (auto* k : l->rows.front().keys) sqlite3_value_free(k);
  l->rows.erase(l->rows.begin());
}

void value(sqlite3_context* ctx) {
  Lists* l = listsOf(ctx, false);
  if (!l) {
    sqlite3_result_null(ctx);
    return;
  }
  try {
    const Charset cs = connectionCharset(sqlite3_context_db_handle(ctx));
    std::vector<const Row*> rows;
    for (auto& r : l->rows)
      if (!r.null) rows.push_back(&r);
    std::stable_sort(rows.begin(), rows.end(), [&](const Row* a, const Row* b) {
      for (size_t k = 0; k < a->keys.size() && k < b->keys.size(); ++k)
        if (int c = compareValues(a->keys[k], b->keys[k], l->order[k], cs)) return c < 0;
      return false;
    });
    if (l->mode & 1) {
      // DISTINCT: each value once, where it first comes
      std::vector<const Row*> once;
      for (auto* r : rows)
        if (std::none_of(once.begin(), once.end(), [&](const Row* x) { return x->text == r->text; })) once.push_back(r);
      rows = std::move(once);
    }
    std::string out;
    std::vector<size_t> ends; // where each value kept so far ends in out
    for (size_t i = 0; i < rows.size(); ++i) {
      std::string next = out + (i ? l->sep : std::string()) + rows[i]->text;
      if (next.size() > 4000) {
        if (!(l->mode & 2)) throw OraError(1489);
        // ON OVERFLOW TRUNCATE: whole values only, then the indicator and the count left out,
        // as many values dropped again as the indicator and the count need room for
        for (size_t kept = i;; --kept) {
          std::string tail = (kept ? l->sep : std::string()) + l->indicator;
          if (l->mode & 4) tail += "(" + std::to_string(rows.size() - kept) + ")";
          size_t len = kept ? ends[kept - 1] : 0;
          if (len + tail.size() <= 4000 || kept == 0) {
            out = out.substr(0, len) + tail;
            break;
          }
        }
        break;
      }
      out = std::move(next);
      ends.push_back(out.size());
    }
    if (out.empty()) sqlite3_result_null(ctx);
    else sqlite3_result_text(ctx, out.c_str(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
  } catch (const OraError& e) {
    sqlite3_result_error(ctx, e.text.c_str(), -1);
  } catch (const std::exception&) {
    sqlite3_result_error_nomem(ctx);
  }
}

void final(sqlite3_context* ctx) {
  value(ctx);
  Lists* l = listsOf(ctx, false);
  delete l;
  if (auto** slot = static_cast<Lists**>(sqlite3_aggregate_context(ctx, 0))) *slot = nullptr;
}

bool exactOf(sqlite3_value* v, Num& out) {
  int t = sqlite3_value_type(v);
  if (t == SQLITE_INTEGER) return numOf(v, out);
  if (t == SQLITE_FLOAT) return std::isfinite(sqlite3_value_double(v)) && numOf(v, out);
  if (t != SQLITE_TEXT) return false;
  return parseNum(std::string_view(reinterpret_cast<const char*>(sqlite3_value_text(v)),
                                   static_cast<size_t>(sqlite3_value_bytes(v))),
                  out);
}

} // namespace

// SQLite's order of values: NULL, numbers, text, blobs; NULLs placed as asked.
int compareValues(sqlite3_value* a, sqlite3_value* b, int how, Charset cs) {
  bool an = sqlite3_value_type(a) == SQLITE_NULL, bn = sqlite3_value_type(b) == SQLITE_NULL;
  if (an || bn) {
    if (an && bn) return 0;
    bool nullsFirst = how & 2;
    return an == nullsFirst ? -1 : 1;
  }
  int c = 0;
  // a NUMBER key: computed values come as doubles or, past a double's digits, as exact text
  if (how & 4) {
    Num x, y;
    if (exactOf(a, x) && exactOf(b, y)) return (how & 1) ? -compare(x, y) : compare(x, y);
  }
  auto rank = [](sqlite3_value* v) {
    int t = sqlite3_value_type(v);
    return t == SQLITE_INTEGER || t == SQLITE_FLOAT ? 1 : t == SQLITE_TEXT ? 2 : 3;
  };
  int ra = rank(a), rb = rank(b);
  if (ra != rb) c = ra < rb ? -1 : 1;
  else if (ra == 1) {
    double x = sqlite3_value_double(a), y = sqlite3_value_double(b);
    c = x < y ? -1 : x > y ? 1 : 0;
  } else {
    int la = sqlite3_value_bytes(a), lb = sqlite3_value_bytes(b);
    const void* pa = ra == 2 ? static_cast<const void*>(sqlite3_value_text(a)) : sqlite3_value_blob(a);
    const void* pb = rb == 2 ? static_cast<const void*>(sqlite3_value_text(b)) : sqlite3_value_blob(b);
    c = compareText(std::string_view(static_cast<const char*>(pa), static_cast<size_t>(la)),
                    std::string_view(static_cast<const char*>(pb), static_cast<size_t>(lb)),
                    ra == 2 ? cs : Charset::AL32UTF8);
  }
  return (how & 1) ? -c : c;
}

void registerListAgg(sqlite3* db) {
  sqlite3_create_window_function(db, "ora_listagg", -1, SQLITE_UTF8, nullptr, step, final, value, inverse, nullptr);
}

} // namespace ora
