// Aggregates that rank the rows of a group by sort keys:
//   ora_keep(fn, last, value, key1, how1, ...)   fn(value) over the rows ranked first (or last)
//   ora_hypo_rank(n, arg1..argn, key1, how1, ...)  where a hypothetical row would rank; also
//   ora_hypo_dense_rank, ora_hypo_percent_rank, ora_hypo_cume_dist
//   ora_nth(x, n, from_last, ignore_nulls)        the n-th value of the window frame
//   ora_distinct(fn, x)                           COUNT, SUM or AVG of the distinct values
// ora_keep, ora_nth and ora_distinct are window functions.
#include "ListAgg.h"

#include "Charset.h"

#include "Number.h"
#include "OraError.h"

#include <cmath>
#include <cstdint>
#include <deque>
#include <new>
#include <sqlite3.h>
#include <vector>

namespace ora {

namespace {

struct Ranked {
  sqlite3_value* value = nullptr;
  std::vector<sqlite3_value*> keys;
};

struct Rows {
  std::vector<Ranked> rows;
  std::vector<int> how;
  int fn = 0, n = 0;
  bool last = false, numeric = false; // ora_keep: a NUMBER value
  std::vector<sqlite3_value*> hypothetical;
  ~Rows() {
    for (auto& r : rows) {
      sqlite3_value_free(r.value);
      for (auto* k : r.keys) sqlite3_value_free(k);
    }
    for (auto* h : hypothetical) sqlite3_value_free(h);
  }
};

Rows* rowsOf(sqlite3_context* ctx, bool make) {
  auto** slot = static_cast<Rows**>(sqlite3_aggregate_context(ctx, make ? sizeof(Rows*) : 0));
  if (!slot) return nullptr;
  if (!*slot && make) *slot = new (std::nothrow) Rows;
  return *slot;
}

void dropRows(sqlite3_context* ctx) {
  auto** slot = static_cast<Rows**>(sqlite3_aggregate_context(ctx, 0));
  if (slot) {
    delete *slot;
    *slot = nullptr;
  }
}

int compareKeys(const std::vector<sqlite3_value*>& a, const std::vector<sqlite3_value*>& b,
                const std::vector<int>& how, Charset cs) {
  for (size_t k = 0; k < a.size() && k < b.size() && k < how.size(); ++k)
    if (int c = compareValues(a[k], b[k], how[k], cs)) return c;
  return 0;
}

bool sameValue(sqlite3_value* a, sqlite3_value* b) {
  if (sqlite3_value_type(a) == SQLITE_NULL || sqlite3_value_type(b) == SQLITE_NULL)
    return sqlite3_value_type(a) == sqlite3_value_type(b);
  return compareValues(a, b, 0, Charset::AL32UTF8) == 0; // alike only when the same bytes
}

enum Fn { Min, Max, Sum, Avg, Count, Variance, StdDev };

// ora_keep(fn, last, value, key1, how1, key2, how2, ...)
void keepMove(sqlite3_context* ctx, int argc, sqlite3_value** argv, bool in) {
  Rows* r = rowsOf(ctx, true);
  if (!r) {
    sqlite3_result_error_nomem(ctx);
    return;
  }
  try {
    if (r->how.empty()) {
      r->fn = sqlite3_value_int(argv[0]) & 7;
      r->numeric = (sqlite3_value_int(argv[0]) & 8) != 0;
      r->last = sqlite3_value_int(argv[1]) != 0;
      for (int i = 4; i < argc; i += 2) r->how.push_back(sqlite3_value_int(argv[i]));
    }
    Ranked row;
    row.value = sqlite3_value_dup(argv[2]);
    for (int i = 3; i + 1 < argc; i += 2) row.keys.push_back(sqlite3_value_dup(argv[i]));
    if (in) {
      r->rows.push_back(row);
      return;
    }
    // a row leaving the window: the first one alike
    for (size_t k = 0; k < r->rows.size(); ++k) {
      Ranked& x = r->rows[k];
      if (sameValue(x.value, row.value) && compareKeys(x.keys, row.keys, std::vector<int>(row.keys.size(), 0), Charset::AL32UTF8) == 0) {
        sqlite3_value_free(x.value);
        for (auto* v : x.keys) sqlite3_value_free(v);
        r->rows.erase(r->rows.begin() + static_cast<long>(k));
        break;
      }
    }
    sqlite3_value_free(row.value);
    for (auto* v : row.keys) sqlite3_value_free(v);
  } catch (const std::exception&) {
    sqlite3_result_error_nomem(ctx);
  }
}

void keepStep(sqlite3_context* ctx, int argc, sqlite3_value** argv) { keepMove(ctx, argc, argv, true); }
void keepInverse(sqlite3_context* ctx, int argc, sqlite3_value** argv) { keepMove(ctx, argc, argv, false); }

void keepValue(sqlite3_context* ctx) {
  Rows* r = rowsOf(ctx, false);
  const Charset cs = connectionCharset(sqlite3_context_db_handle(ctx));
  if (!r || r->rows.empty()) {
    if (r && r->fn == Count) sqlite3_result_int(ctx, 0);
    else sqlite3_result_null(ctx);
    return;
  }
  try {
    // the rows whose keys rank first (or last)
    const Ranked* best = &r->rows[0];
    for (auto& x : r->rows) {
      int c = compareKeys(x.keys, best->keys, r->how, cs);
      if (r->last ? c > 0 : c < 0) best = &x;
    }
    sqlite3_value* pick = nullptr;
    Num sum, squares, first;
    int64_t count = 0;
    for (auto& x : r->rows) {
      if (compareKeys(x.keys, best->keys, r->how, cs) != 0 || sqlite3_value_type(x.value) == SQLITE_NULL) continue;
      if (r->fn == Min || r->fn == Max) {
        int c = pick ? compareValues(x.value, pick, r->numeric ? 4 : 0, cs) : 0;
        if (!pick || (r->fn == Min ? c < 0 : c > 0)) pick = x.value;
        ++count;
        continue;
      }
      Num v;
      if (r->fn != Count && !numOf(x.value, v)) continue;
      if (count == 0) first = v;
      Num dv = sub(v, first);
      sum = add(sum, dv);
      squares = add(squares, mul(dv, dv));
      ++count;
    }
    if (r->fn == Count) {
      sqlite3_result_int64(ctx, count);
    } else if (count == 0) {
      sqlite3_result_null(ctx);
    } else if (r->fn == Min || r->fn == Max) {
      sqlite3_result_value(ctx, pick);
    } else if (r->fn == Sum) {
      (r->numeric ? resultNumExact : resultNum)(ctx, add(sum, mul(first, numFromInt(count))));
    } else if (r->fn == Avg) {
      (r->numeric ? resultNumExact : resultNum)(ctx, add(first, div(sum, numFromInt(count))));
    } else {
      Num var = count < 2 ? Num{} : div(sub(squares, div(mul(sum, sum), numFromInt(count))), numFromInt(count - 1));
      if (var.negative()) var = Num{};
      if (r->fn == StdDev && !var.zero()) {
        Num y = numFromDouble(std::sqrt(numDouble(var))), two = numFromInt(2);
        for (int k = 0; k < 4; ++k) y = div(add(y, div(var, y)), two);
        var = y;
      }
      resultNum(ctx, var);
    }
  } catch (const OraError& e) {
    sqlite3_result_error(ctx, e.text.c_str(), -1);
  } catch (const std::exception&) {
    sqlite3_result_error_nomem(ctx);
  }
}

void keepFinal(sqlite3_context* ctx) {
  keepValue(ctx);
  dropRows(ctx);
}

enum Kind { Rank, DenseRank, PercentRank, CumeDist };

// ora_hypo_*(n, arg1, ..., argn, key1, how1, ..., keyn, hown)
void hypoStep(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  Rows* r = rowsOf(ctx, true);
  if (!r) {
    sqlite3_result_error_nomem(ctx);
    return;
  }
  try {
    int n = sqlite3_value_int(argv[0]);
    if (n < 1 || argc != 1 + 3 * n) {
      sqlite3_result_error(ctx, OraError(909).text.c_str(), -1);
      return;
    }
    if (r->hypothetical.empty()) {
      r->n = n;
      for (int i = 0; i < n; ++i) {
        r->hypothetical.push_back(sqlite3_value_dup(argv[1 + i]));
        r->how.push_back(sqlite3_value_int(argv[1 + n + 2 * i + 1]));
      }
    }
    Ranked row;
    for (int i = 0; i < n; ++i) row.keys.push_back(sqlite3_value_dup(argv[1 + n + 2 * i]));
    r->rows.push_back(row);
  } catch (const std::exception&) {
    sqlite3_result_error_nomem(ctx);
  }
}

void hypoFinal(sqlite3_context* ctx) {
  Rows* r = rowsOf(ctx, false);
  const Charset cs = connectionCharset(sqlite3_context_db_handle(ctx));
  try {
    int64_t rows = r ? static_cast<int64_t>(r->rows.size()) : 0;
    int64_t before = 0, atOrBefore = 0;
    std::vector<const Ranked*> distinctBefore;
    for (size_t k = 0; r && k < r->rows.size(); ++k) {
      const Ranked& x = r->rows[k];
      int c = compareKeys(x.keys, r->hypothetical, r->how, cs);
      if (c <= 0) ++atOrBefore;
      if (c < 0) {
        ++before;
        bool seen = false;
        for (auto* y : distinctBefore)
          if (compareKeys(y->keys, x.keys, r->how, cs) == 0) seen = true;
        if (!seen) distinctBefore.push_back(&x);
      }
    }
    // with no rows the hypothetical row is alone
    switch (static_cast<int>(reinterpret_cast<intptr_t>(sqlite3_user_data(ctx)))) {
    case Rank: sqlite3_result_int64(ctx, before + 1); break;
    case DenseRank: sqlite3_result_int64(ctx, static_cast<int64_t>(distinctBefore.size()) + 1); break;
    case PercentRank:
      if (rows == 0) sqlite3_result_int(ctx, 0);
      else resultNum(ctx, div(numFromInt(before), numFromInt(rows)));
      break;
    case CumeDist: resultNum(ctx, div(numFromInt(atOrBefore + 1), numFromInt(rows + 1))); break;
    default: sqlite3_result_null(ctx); break;
    }
  } catch (const OraError& e) {
    sqlite3_result_error(ctx, e.text.c_str(), -1);
  } catch (const std::exception&) {
    sqlite3_result_error_nomem(ctx);
  }
  dropRows(ctx);
}

// The frame's values in order: rows enter at the end and leave from the front.
struct Frame {
  std::deque<sqlite3_value*> values;
  int64_t n = 1;
  bool fromLast = false, ignoreNulls = false;
  ~Frame() {
    for (auto* v : values) sqlite3_value_free(v);
  }
};

Frame* frameOf(sqlite3_context* ctx, bool make) {
  auto** slot = static_cast<Frame**>(sqlite3_aggregate_context(ctx, make ? sizeof(Frame*) : 0));
  if (!slot) return nullptr;
  if (!*slot && make) *slot = new (std::nothrow) Frame;
  return *slot;
}

void nthStep(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Frame* f = frameOf(ctx, true);
  if (!f) {
    sqlite3_result_error_nomem(ctx);
    return;
  }
  f->n = sqlite3_value_int64(argv[1]);
  if (f->n < 1 || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
    sqlite3_result_error(ctx, OraError(1428).text.c_str(), -1);
    return;
  }
  f->fromLast = sqlite3_value_int(argv[2]) != 0;
  f->ignoreNulls = sqlite3_value_int(argv[3]) != 0;
  try {
    f->values.push_back(sqlite3_value_dup(argv[0]));
  } catch (const std::exception&) {
    sqlite3_result_error_nomem(ctx);
  }
}

void nthInverse(sqlite3_context* ctx, int, sqlite3_value**) {
  Frame* f = frameOf(ctx, false);
  if (f && !f->values.empty()) {
    sqlite3_value_free(f->values.front());
    f->values.pop_front();
  }
}

void nthValue(sqlite3_context* ctx) {
  Frame* f = frameOf(ctx, false);
  if (!f) {
    sqlite3_result_null(ctx);
    return;
  }
  int64_t seen = 0;
  size_t size = f->values.size();
  for (size_t k = 0; k < size; ++k) {
    sqlite3_value* v = f->values[f->fromLast ? size - 1 - k : k];
    if (f->ignoreNulls && sqlite3_value_type(v) == SQLITE_NULL) continue;
    if (++seen == f->n) {
      sqlite3_result_value(ctx, v);
      return;
    }
  }
  sqlite3_result_null(ctx);
}

void nthFinal(sqlite3_context* ctx) {
  nthValue(ctx);
  auto** slot = static_cast<Frame**>(sqlite3_aggregate_context(ctx, 0));
  if (slot) {
    delete *slot;
    *slot = nullptr;
  }
}

// The frame's values, each once: COUNT (0), SUM (1) or AVG (2) of them.
void distinctStep(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Rows* r = rowsOf(ctx, true);
  if (!r) {
    sqlite3_result_error_nomem(ctx);
    return;
  }
  r->fn = sqlite3_value_int(argv[0]);
  try {
    Ranked row;
    row.value = sqlite3_value_dup(argv[1]);
    r->rows.push_back(row);
  } catch (const std::exception&) {
    sqlite3_result_error_nomem(ctx);
  }
}

void distinctInverse(sqlite3_context* ctx, int, sqlite3_value**) {
  Rows* r = rowsOf(ctx, false);
  if (!r || r->rows.empty()) return;
  sqlite3_value_free(r->rows.front().value);
  r->rows.erase(r->rows.begin());
}

void distinctOf(sqlite3_context* ctx);

void distinctValue(sqlite3_context* ctx) {
  try {
    distinctOf(ctx);
  } catch (const std::exception&) {
    sqlite3_result_error_nomem(ctx);
  }
}

void distinctOf(sqlite3_context* ctx) {
  Rows* r = rowsOf(ctx, false);
  std::vector<sqlite3_value*> once;
  for (size_t k = 0; r && k < r->rows.size(); ++k) {
    sqlite3_value* v = r->rows[k].value;
    if (sqlite3_value_type(v) == SQLITE_NULL) continue;
    bool seen = false;
    for (auto* x : once) seen = seen || compareValues(x, v, 0, Charset::AL32UTF8) == 0;
    if (!seen) once.push_back(v);
  }
  int fn = r ? r->fn : 0;
  if (fn == 0) {
    sqlite3_result_int64(ctx, static_cast<int64_t>(once.size()));
    return;
  }
  if (once.empty()) {
    sqlite3_result_null(ctx);
    return;
  }
  try {
    Num sum, v;
    for (auto* x : once)
      if (numOf(x, v)) sum = add(sum, v);
    resultNum(ctx, fn == 1 ? sum : div(sum, numFromInt(static_cast<int64_t>(once.size()))));
  } catch (const OraError& e) {
    sqlite3_result_error(ctx, e.text.c_str(), -1);
  } catch (const std::exception&) {
    sqlite3_result_error_nomem(ctx);
  }
}

void distinctFinal(sqlite3_context* ctx) {
  distinctValue(ctx);
  dropRows(ctx);
}

} // namespace

void registerRankAggregates(sqlite3* db) {
  sqlite3_create_window_function(db, "ora_distinct", 2, SQLITE_UTF8, nullptr, distinctStep, distinctFinal,
                                 distinctValue, distinctInverse, nullptr);
  sqlite3_create_window_function(db, "ora_nth", 4, SQLITE_UTF8, nullptr, nthStep, nthFinal, nthValue, nthInverse,
                                 nullptr);
  sqlite3_create_window_function(db, "ora_keep", -1, SQLITE_UTF8, nullptr, keepStep, keepFinal, keepValue,
                                 keepInverse, nullptr);
  const char* names[] = {"ora_hypo_rank", "ora_hypo_dense_rank", "ora_hypo_percent_rank", "ora_hypo_cume_dist"};
  for (intptr_t k = Rank; k <= CumeDist; ++k)
    sqlite3_create_function(db, names[k], -1, SQLITE_UTF8, reinterpret_cast<void*>(k), nullptr, hypoStep, hypoFinal);
}

} // namespace ora
