// Running a MODEL clause: the aggregate ora_model(clause, columns...) gathers the rows of the
// query below it, applies the rules to each partition's cells and packs the rows that result.
#include "ModelClause.h"

#include "FunctionUtil.h"
#include "LateralRows.h"
#include "Number.h"

#include <algorithm>
#include <functional>
#include <cstring>
#include <map>
#include <set>
#include <sqlite3.h>

namespace ora {

namespace {

using namespace model;

// An SQL value the model keeps: a copy of what a query gave.
struct V {
  sqlite3_value* p = nullptr;
  V() = default;
  explicit V(const sqlite3_value* x) : p(x && sqlite3_value_type(const_cast<sqlite3_value*>(x)) != SQLITE_NULL ? sqlite3_value_dup(x) : nullptr) {
    if (x && sqlite3_value_type(const_cast<sqlite3_value*>(x)) != SQLITE_NULL && !p) throw std::bad_alloc();
  }
  V(const V& o) : V(o.p) {}
  V(V&& o) noexcept : p(o.p) { o.p = nullptr; }
  V& operator=(V o) noexcept {
    std::swap(p, o.p);
    return *this;
  }
  ~V() { sqlite3_value_free(p); }
  bool null() const { return !p; }
};

bool numeric(sqlite3_value* v) {
  int t = sqlite3_value_type(v);
  return t == SQLITE_INTEGER || t == SQLITE_FLOAT;
}

int compareV(const V& a, const V& b) {
  if (a.null() || b.null()) return a.null() == b.null() ? 0 : a.null() ? -1 : 1;
  Num x, y;
  bool an = numeric(a.p), bn = numeric(b.p);
  if (an || bn) {
    auto asNum = [](sqlite3_value* v, Num& n) {
      if (numeric(v)) return numOf(v, n);
      const char* s = reinterpret_cast<const char*>(sqlite3_value_text(v));
      return s && parseNum(s, n);
    };
    bool ok = asNum(a.p, x) && asNum(b.p, y);
    if (ok) return compare(x, y);
    return an ? -1 : 1;
  }
  int na = sqlite3_value_bytes(a.p), nb = sqlite3_value_bytes(b.p);
  const void* pa = sqlite3_value_type(a.p) == SQLITE_BLOB ? sqlite3_value_blob(a.p) : sqlite3_value_text(a.p);
  const void* pb = sqlite3_value_type(b.p) == SQLITE_BLOB ? sqlite3_value_blob(b.p) : sqlite3_value_text(b.p);
  int c = std::memcmp(pa, pb, static_cast<size_t>(std::min(na, nb)));
  return c ? c : na < nb ? -1 : na > nb;
}

using Key = std::vector<V>;
struct KeyLess {
  bool operator()(const Key& a, const Key& b) const {
    for (size_t k = 0; k < a.size() && k < b.size(); ++k)
      if (int c = compareV(a[k], b[k])) return c < 0;
    return a.size() < b.size();
  }
};

struct Row {
  Key dims;
  std::vector<V> meas;
  bool updated = false, original = true;
};

struct Part {
  Key key;
  std::vector<Row> rows;
  std::map<Key, std::vector<size_t>, KeyLess> index;
  std::vector<std::vector<V>> previous; // the measures as the iteration began
};

struct Env {
  Part* part = nullptr;
  const Key* cv = nullptr;   // the cell the rule assigns
  const Row* cand = nullptr; // the cell a condition or an argument reads
  long iteration = 0;
};

struct Model {
  std::unique_ptr<Clause> clause;
  sqlite3* db = nullptr;
  std::unique_ptr<Catalog> cat;
  std::vector<Part> parts;
  std::vector<Part> references; // each reference model's cells
  std::map<Key, size_t, KeyLess> partIndex;
  sqlite3_stmt* maker = nullptr; // SELECT ?1: values from numbers
  ~Model() { sqlite3_finalize(maker); }

  V fromStmt(sqlite3_stmt* st) {
    int rc = sqlite3_step(st);
    if (rc != SQLITE_ROW) {
      std::string msg = sqlite3_errmsg(db);
      sqlite3_reset(st);
      throw fromSqlite(rc, msg, "SELECT");
    }
    V v(sqlite3_column_value(st, 0));
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    return v;
  }
  V number(const Num& n) {
    if (!maker && sqlite3_prepare_v2(db, "SELECT ?1", -1, &maker, nullptr) != SQLITE_OK) throw OraError(600);
    int64_t i = 0;
    std::string text = numText(n);
    double d = numDouble(n);
    if (n.e >= 0 && int64Of(n, i) && i < (int64_t{1} << 62) && i > -(int64_t{1} << 62)) {
      sqlite3_bind_int64(maker, 1, i);
    } else if (compare(numFromDouble(d), n) == 0) {
      sqlite3_bind_double(maker, 1, d);
    } else {
      sqlite3_bind_text(maker, 1, text.c_str(), -1, SQLITE_TRANSIENT);
    }
    return fromStmt(maker);
  }
  V zeroFor(int) { return number(Num{}); }

  std::vector<size_t>* find(Part& p, const Key& k) {
    auto it = p.index.find(k);
    return it == p.index.end() ? nullptr : &it->second;
  }
  size_t add(Part& p, Row r) {
    p.rows.push_back(std::move(r));
    p.index[p.rows.back().dims].push_back(p.rows.size() - 1);
    return p.rows.size() - 1;
  }

  V eval(Expr& e, Env& env);
  V ref(Ref& r, Env& env);
  bool truth(Expr& e, Env& env) {
    V v = eval(e, env);
    return !v.null() && sqlite3_value_int64(v.p) != 0;
  }
  // The values a position allows; false when it takes any or a condition decides.
  bool values(DimPick& d, Env& env, std::vector<V>& out);
  std::vector<const Row*> cells(std::vector<DimPick>& dims, Env& env);
  const Row* single(CellRef& c, Env& env, bool& duplicate);
  void apply(Rule& r, Part& p, long iteration);
  std::vector<size_t> ruleOrder(bool& cyclic);
  void run();
};

V Model::eval(Expr& e, Env& env) {
  if (!e.st) {
    std::string sql = exprSql(e, *cat);
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &e.st, nullptr) != SQLITE_OK)
      throw fromSqlite(sqlite3_errcode(db), sqlite3_errmsg(db), "SELECT");
  }
  // the references first: their own statements run before this one's binds are set
  std::vector<V> vals;
  vals.reserve(e.refs.size());
  for (auto& r : e.refs) vals.push_back(ref(r, env));
  for (size_t k = 0; k < vals.size(); ++k)
    if (vals[k].null()) sqlite3_bind_null(e.st, static_cast<int>(k + 1));
    else sqlite3_bind_value(e.st, static_cast<int>(k + 1), vals[k].p);
  return fromStmt(e.st);
}

bool Model::values(DimPick& d, Env& env, std::vector<V>& out) {
  out.clear();
  switch (d.kind) {
  case DimPick::Value: out.push_back(eval(*d.value, env)); return true;
  case DimPick::ForIn:
    for (auto& x : d.list) out.push_back(eval(*x, env));
    return true;
  case DimPick::ForRange: {
    V a = eval(*d.value, env), b = eval(*d.to, env), s = eval(*d.step, env);
    Num from, to, step;
    if (a.null() || b.null() || s.null() || !numOf(a.p, from) || !numOf(b.p, to) || !numOf(s.p, step) ||
        compare(step, Num{}) <= 0)
      throw OraError(32626);
    if (d.decrement) step = neg(step);
    for (Num x = from; d.decrement ? compare(x, to) >= 0 : compare(x, to) <= 0; x = ora::add(x, step)) {
      if (out.size() >= 1000000) throw OraError(32626);
      out.push_back(number(x));
    }
    return true;
  }
  case DimPick::ForQuery: {
    Translation t = translate(d.query, *cat, false, false);
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, t.sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
      throw fromSqlite(sqlite3_errcode(db), sqlite3_errmsg(db), "SELECT");
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
      if (out.size() >= 10000) {
        sqlite3_finalize(st);
        throw OraError(32633);
      }
      out.emplace_back(sqlite3_column_value(st, 0));
    }
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE) throw fromSqlite(rc, sqlite3_errmsg(db), "SELECT");
    return true;
  }
  default: return false;
  }
}

// The existing cells of the partition that the positions select, in the partition's order.
std::vector<const Row*> Model::cells(std::vector<DimPick>& dims, Env& env) {
  std::vector<std::vector<V>> allowed(dims.size());
  std::vector<char> listed(dims.size());
  for (size_t k = 0; k < dims.size(); ++k) listed[k] = values(dims[k], env, allowed[k]);
  std::vector<const Row*> out;
  for (const Row& row : env.part->rows) {
    bool ok = true;
    for (size_t k = 0; k < dims.size() && ok; ++k) {
      if (listed[k]) {
        ok = std::any_of(allowed[k].begin(), allowed[k].end(), [&](const V& v) { return compareV(v, row.dims[k]) == 0; });
      } else if (dims[k].kind == DimPick::Cond) {
        const Row* keep = env.cand;
        env.cand = &row;
        ok = truth(*dims[k].value, env);
        env.cand = keep;
      }
    }
    if (ok) out.push_back(&row);
  }
  return out;
}

const Row* Model::single(CellRef& c, Env& env, bool& duplicate) {
  Key k;
  for (auto& d : c.dims) k.push_back(eval(*d.value, env));
  Part& in = c.model >= 0 ? references[static_cast<size_t>(c.model)] : *env.part;
  auto* at = find(in, k);
  duplicate = at && at->size() > 1;
  return at ? &in.rows[at->front()] : nullptr;
}

V Model::ref(Ref& r, Env& env) {
  switch (r.kind) {
  case Ref::Cell:
  case Ref::Present:
  case Ref::PresentNN:
  case Ref::Previous: {
    bool dup = false;
    const Row* row = single(r.cell, env, dup);
    if (dup) throw OraError(32638);
    if (r.kind == Ref::Present || r.kind == Ref::PresentNN) {
      bool yes = row && row->original && (r.kind == Ref::Present || !row->meas[r.cell.measure].null());
      return number(numFromInt(yes ? 1 : 0));
    }
    V v;
    if (row && r.cell.model >= 0) {
      v = row->meas[r.cell.measure];
    } else if (row) {
      size_t at = static_cast<size_t>(row - env.part->rows.data());
      if (r.kind == Ref::Previous) {
        if (at < env.part->previous.size()) v = env.part->previous[at][r.cell.measure];
      } else {
        v = row->meas[r.cell.measure];
      }
    }
    if (v.null() && clause->ignoreNav) v = zeroFor(r.cell.measure);
    return v;
  }
  case Ref::Agg: {
    std::vector<const Row*> rows = cells(r.cell.dims, env);
    std::string fn = r.fn;
    Num sum;
    long count = 0;
    V best;
    for (const Row* row : rows) {
      V v;
      if (r.arg) {
        const Row* keep = env.cand;
        env.cand = row;
        v = eval(*r.arg, env);
        env.cand = keep;
      } else if (r.index >= 0) {
        v = row->meas[r.index];
      } else {
        v = number(numFromInt(1));
      }
      if (v.null() && clause->ignoreNav) v = zeroFor(r.index);
      if (v.null()) continue;
      ++count;
      if (fn == "SUM" || fn == "AVG") {
        Num n;
        numOf(v.p, n);
        sum = ora::add(sum, n);
      } else if ((fn == "MIN" && (best.null() || compareV(v, best) < 0)) ||
                 (fn == "MAX" && (best.null() || compareV(v, best) > 0))) {
        best = v;
      }
    }
    if (fn == "COUNT") return number(numFromInt(count));
    if (!count) return V();
    if (fn == "SUM") return number(sum);
    if (fn == "AVG") return number(div(sum, numFromInt(count)));
    if (fn == "MIN" || fn == "MAX") return best;
    throw OraError(32621); // not an aggregate cells can give
  }
  case Ref::Cv:
    if (!env.cv) throw OraError(32611);
    return (*env.cv)[r.index];
  case Ref::CvPartition: return env.part->key[r.index];
  case Ref::Iteration: return number(numFromInt(env.iteration));
  case Ref::DimValue:
    if (!env.cand) throw OraError(32611);
    return env.cand->dims[r.index];
  case Ref::MeasureValue:
    if (!env.cand) throw OraError(904, clause->measures[r.index]);
    return env.cand->meas[r.index];
  }
  return V();
}

void Model::apply(Rule& r, Part& p, long iteration) {
  Env env;
  env.part = &p;
  env.iteration = iteration;
  const size_t n = r.lhs.dims.size();
  std::vector<std::vector<V>> allowed(n);
  std::vector<char> listed(n);
  bool positional = true;
  for (size_t k = 0; k < n; ++k) {
    listed[k] = values(r.lhs.dims[k], env, allowed[k]);
    if (r.lhs.dims[k].symbolic || !listed[k]) positional = false;
  }
  std::vector<Key> targets;
  auto cross = [&](std::vector<std::vector<V>>& lists) {
    std::vector<Key> keys(1);
    for (auto& list : lists) {
      std::vector<Key> next;
      for (auto& key : keys)
        for (auto& v : list) {
          next.push_back(key);
          next.back().push_back(v);
        }
      keys.swap(next);
    }
    return keys;
  };
  if (r.mode != Mode::Update && positional) {
    targets = cross(allowed);
  } else if (r.mode == Mode::UpsertAll) {
    // the symbolic positions' values among the cells that meet them, with the others' values
    std::set<Key, KeyLess> combos;
    for (const Row& row : p.rows) {
      bool ok = true;
      for (size_t k = 0; k < n && ok; ++k) {
        DimPick& d = r.lhs.dims[k];
        if (!d.symbolic) continue;
        if (d.kind == DimPick::Value) ok = compareV(allowed[k][0], row.dims[k]) == 0;
        else if (d.kind == DimPick::Cond) {
          env.cand = &row;
          ok = truth(*d.value, env);
          env.cand = nullptr;
        }
      }
      if (!ok) continue;
      Key combo;
      for (size_t k = 0; k < n; ++k)
        if (r.lhs.dims[k].symbolic) combo.push_back(row.dims[k]);
      combos.insert(combo);
    }
    for (const Key& combo : combos) {
      std::vector<std::vector<V>> each(n);
      for (size_t k = 0, c = 0; k < n; ++k)
        if (r.lhs.dims[k].symbolic) each[k].push_back(combo[c++]);
        else each[k] = allowed[k];
      for (Key& key : cross(each)) targets.push_back(std::move(key));
    }
  } else {
    std::set<Key, KeyLess> seen;
    for (const Row* row : cells(r.lhs.dims, env))
      if (seen.insert(row->dims).second) targets.push_back(row->dims);
  }
  if (!r.order.empty()) {
    std::vector<std::pair<std::vector<V>, size_t>> keyed;
    for (size_t t = 0; t < targets.size(); ++t) {
      Row pseudo;
      const Row* row = nullptr;
      if (auto* at = find(p, targets[t])) row = &p.rows[at->front()];
      else {
        pseudo.dims = targets[t];
        pseudo.meas.resize(clause->measures.size());
        row = &pseudo;
      }
      env.cand = row;
      env.cv = &targets[t];
      std::vector<V> sortKey;
      for (auto& o : r.order) sortKey.push_back(eval(*o.e, env));
      keyed.emplace_back(std::move(sortKey), t);
    }
    env.cand = nullptr;
    env.cv = nullptr;
    std::stable_sort(keyed.begin(), keyed.end(), [&](const auto& a, const auto& b) {
      for (size_t k = 0; k < r.order.size(); ++k)
        if (int c = compareV(a.first[k], b.first[k])) return r.order[k].desc ? c > 0 : c < 0;
      return false;
    });
    std::vector<Key> sorted;
    for (auto& kt : keyed) sorted.push_back(targets[kt.second]);
    targets.swap(sorted);
  }
  for (const Key& key : targets) {
    env.cv = &key;
    V v = eval(*r.rhs, env);
    if (auto* at = find(p, key)) {
      for (size_t i : *at) {
        p.rows[i].meas[r.lhs.measure] = v;
        p.rows[i].updated = true;
      }
    } else {
      Row row;
      row.dims = key;
      row.meas.resize(clause->measures.size());
      row.meas[r.lhs.measure] = v;
      row.updated = true;
      row.original = false;
      add(p, std::move(row));
    }
  }
}

// The cells a rule writes or reads: a measure (-1 any) and each position's value (null any).
struct Pattern {
  int measure = -1;
  std::vector<std::pair<bool, V>> dims; // (known, value)
};

bool overlap(const Pattern& a, const Pattern& b) {
  if (a.measure >= 0 && b.measure >= 0 && a.measure != b.measure) return false;
  for (size_t k = 0; k < a.dims.size() && k < b.dims.size(); ++k)
    if (a.dims[k].first && b.dims[k].first && compareV(a.dims[k].second, b.dims[k].second) != 0) return false;
  return true;
}

// AUTOMATIC ORDER: a rule runs after the rules that write cells it reads; rules that depend on
// each other in a cycle keep their written order.
std::vector<size_t> Model::ruleOrder(bool& cyclic) {
  cyclic = false;
  const size_t n = clause->rules.size();
  std::vector<size_t> order;
  if (!clause->automatic) {
    for (size_t k = 0; k < n; ++k) order.push_back(k);
    return order;
  }
  Env none;
  auto pattern = [&](const CellRef& c, int measure) {
    Pattern p;
    p.measure = measure;
    for (const DimPick& d : c.dims) {
      bool known = d.kind == DimPick::Value && d.value && d.value->refs.empty();
      p.dims.emplace_back(known, known ? eval(*d.value, none) : V());
    }
    return p;
  };
  std::vector<Pattern> writes;
  std::vector<std::vector<Pattern>> reads(n);
  std::function<void(const Expr&, std::vector<Pattern>&)> collect = [&](const Expr& e, std::vector<Pattern>& out) {
    for (const Ref& r : e.refs) {
      if (r.cell.model >= 0) {
        // a reference model's cells: no rule writes them
      } else if (r.kind == Ref::Cell || r.kind == Ref::Present || r.kind == Ref::PresentNN || r.kind == Ref::Previous)
        out.push_back(pattern(r.cell, r.cell.measure));
      else if (r.kind == Ref::Agg)
        out.push_back(pattern(r.cell, r.arg ? -1 : r.index));
      if (r.arg) collect(*r.arg, out);
      for (const DimPick& d : r.cell.dims)
        if (d.value) collect(*d.value, out);
    }
  };
  for (size_t k = 0; k < n; ++k) {
    Rule& r = clause->rules[k];
    writes.push_back(pattern(r.lhs, r.lhs.measure));
    collect(*r.rhs, reads[k]);
    // one cell, named alike by two rules: which value it ends with would depend on their order
    auto single = [](const Pattern& p) {
      return std::all_of(p.dims.begin(), p.dims.end(), [](const auto& d) { return d.first; });
    };
    for (size_t w = 0; w < k; ++w)
      if (single(writes[k]) && single(writes[w]) && overlap(writes[k], writes[w])) throw OraError(32630);
  }
  std::vector<char> done(n);
  while (order.size() < n) {
    size_t pick = n;
    for (size_t k = 0; k < n && pick == n; ++k) {
      if (done[k]) continue;
      bool ready = true;
      for (size_t w = 0; w < n && ready; ++w)
        if (w != k && !done[w])
          for (const Pattern& rd : reads[k])
            if (overlap(writes[w], rd)) {
              ready = false;
              break;
            }
      if (ready) pick = k;
    }
    if (pick == n) {
      cyclic = true;
      for (size_t k = 0; k < n && pick == n; ++k)
        if (!done[k]) pick = k;
    }
    done[pick] = 1;
    order.push_back(pick);
  }
  return order;
}

// A reference model's rows, read by its query.
void loadReference(Model& m, const RefModel& rm, Part& into) {
  std::string cols;
  for (size_t k = 0; k < rm.dimItems.size(); ++k) cols += (k ? ", " : "") + rm.dimItems[k];
  for (const auto& item : rm.measureItems) cols += ", " + item;
  Translation t = translate("SELECT " + cols + " FROM (" + rm.query + ")", *m.cat, false, false);
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(m.db, t.sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
    throw fromSqlite(sqlite3_errcode(m.db), sqlite3_errmsg(m.db), "SELECT");
  int rc;
  const int nd = static_cast<int>(rm.dims.size()), nm = static_cast<int>(rm.measures.size());
  try {
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
      Row row;
      for (int k = 0; k < nd; ++k) row.dims.emplace_back(sqlite3_column_value(st, k));
      for (int k = 0; k < nm; ++k) row.meas.emplace_back(sqlite3_column_value(st, nd + k));
      m.add(into, std::move(row));
    }
  } catch (...) {
    sqlite3_finalize(st);
    throw;
  }
  std::string msg = sqlite3_errmsg(m.db);
  sqlite3_finalize(st);
  if (rc != SQLITE_DONE) throw fromSqlite(rc, msg, "SELECT");
  for (auto& entry : into.index)
    if (entry.second.size() > 1) throw OraError(32638);
}

void Model::run() {
  references.resize(clause->references.size());
  for (size_t k = 0; k < references.size(); ++k) loadReference(*this, clause->references[k], references[k]);
  bool cyclic = false;
  const std::vector<size_t> order = ruleOrder(cyclic);
  for (Part& p : parts) {
    for (auto& entry : p.index)
      if (entry.second.size() > 1 && !clause->singleReference) throw OraError(32638);
    long passes = clause->iterate > 0 ? clause->iterate : 1;
    for (long it = 0; it < passes; ++it) {
      if (clause->until) {
        p.previous.clear();
        for (const Row& row : p.rows) p.previous.push_back(row.meas);
      }
      if (!cyclic) {
        for (size_t k : order) apply(clause->rules[k], p, it);
      } else {
        // rules that read each other's cells run again until no cell changes
        auto same = [](const std::vector<Row>& a, const std::vector<Row>& b) {
          if (a.size() != b.size()) return false;
          for (size_t i = 0; i < a.size(); ++i)
            for (size_t m = 0; m < a[i].meas.size(); ++m)
              if (compareV(a[i].meas[m], b[i].meas[m]) != 0 || a[i].meas[m].null() != b[i].meas[m].null()) return false;
          return true;
        };
        bool settled = false;
        for (int pass = 0; pass < 1000 && !settled; ++pass) {
          std::vector<Row> before = p.rows;
          for (size_t k : order) apply(clause->rules[k], p, it);
          settled = same(before, p.rows);
        }
        if (!settled) throw OraError(32634);
      }
      if (clause->until) {
        Env env;
        env.part = &p;
        env.iteration = it;
        if (truth(*clause->until, env)) break;
      }
    }
  }
}

struct Acc {
  Model* m = nullptr;
};

void modelStep(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  fn::guardedCall(ctx, [&] {
    auto* acc = static_cast<Acc*>(sqlite3_aggregate_context(ctx, sizeof(Acc)));
    if (!acc) throw std::bad_alloc();
    if (!acc->m) {
      auto m = std::make_unique<Model>();
      m->db = sqlite3_context_db_handle(ctx);
      std::string head = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]) ? sqlite3_value_text(argv[0]) : reinterpret_cast<const unsigned char*>(""));
      size_t nl = head.find('\n');
      if (nl == std::string::npos) throw OraError(600);
      size_t nl2 = head.find('\n', nl + 1);
      if (nl2 == std::string::npos) throw OraError(600);
      m->cat = std::make_unique<Catalog>(m->db, head.substr(0, nl));
      size_t end = 0;
      m->clause = parseModel(head.substr(nl2 + 1), end, head.substr(nl + 1, nl2 - nl - 1));
      acc->m = m.release();
    }
    Model& m = *acc->m;
    const Clause& s = *m.clause;
    size_t np = s.parts.size(), nd = s.dims.size(), nm = s.measures.size();
    if (static_cast<size_t>(argc) != 1 + np + nd + nm) throw OraError(600);
    Key pk;
    for (size_t k = 0; k < np; ++k) pk.emplace_back(argv[1 + k]);
    auto it = m.partIndex.find(pk);
    if (it == m.partIndex.end()) {
      it = m.partIndex.emplace(pk, m.parts.size()).first;
      m.parts.emplace_back();
      m.parts.back().key = pk;
    }
    Row row;
    for (size_t k = 0; k < nd; ++k) row.dims.emplace_back(argv[1 + np + k]);
    for (size_t k = 0; k < nm; ++k) row.meas.emplace_back(argv[1 + np + nd + k]);
    row.updated = false;
    m.add(m.parts[it->second], std::move(row));
  });
}

void modelFinal(sqlite3_context* ctx) {
  auto* acc = static_cast<Acc*>(sqlite3_aggregate_context(ctx, 0));
  std::unique_ptr<Model> m(acc ? acc->m : nullptr);
  if (acc) acc->m = nullptr;
  if (!m) return sqlite3_result_zeroblob(ctx, 0);
  fn::guardedCall(ctx, [&] {
    m->run();
    std::string out;
    const std::string& types = m->clause->types;
    size_t col = 0;
    // a NUMBER a table keeps as decimal text goes on as the numbers the rules computed do, so
    // that a column sorts and compares as one kind
    auto pack = [&](const V& v) {
      bool number = col < types.size() && types[col] == 'N';
      ++col;
      Num n;
      if (number && !v.null() && sqlite3_value_type(v.p) == SQLITE_TEXT &&
          parseNum(reinterpret_cast<const char*>(sqlite3_value_text(v.p)), n))
        packValue(out, m->number(n).p);
      else
        packValue(out, v.p);
    };
    for (const Part& p : m->parts)
      for (const Row& row : p.rows) {
        if (m->clause->updatedOnly && !row.updated) continue;
        col = 0;
        for (const V& v : p.key) pack(v);
        for (const V& v : row.dims) pack(v);
        for (const V& v : row.meas) pack(v);
      }
    sqlite3_result_blob64(ctx, out.data(), out.size(), SQLITE_TRANSIENT);
  });
}

} // namespace

void registerModelRows(sqlite3* db) {
  sqlite3_create_function(db, "ora_model", -1, SQLITE_UTF8, nullptr, nullptr, modelStep, modelFinal);
}

} // namespace ora
