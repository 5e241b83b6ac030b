// The pattern run over each partition of the source rows: a backtracking search that prefers
// as the pattern says (alternatives in order, greedy or reluctant quantifiers), each row's
// variable accepted when its DEFINE holds over the match so far. The DEFINE and MEASURES
// expressions run as their translated statements, their references bound to the values found.
#include "MatchRecognize.h"

#include "Number.h"
#include "OraError.h"

#include <algorithm>
#include <functional>
#include <sqlite3.h>

namespace ora::mr {

namespace {

// Backtracking steps one attempt and one partition may take, and pattern elements one match may
// nest (each a few calls deep): past them the statement fails rather than run on (a pattern
// like (A|B)* C can try every split of the rows) or run out of a 1 MB stack.
constexpr uint64_t kStepsPerAttempt = 200000;
constexpr uint64_t kStepsPerPartition = 5000000;
constexpr int kDeepest = 1000;

int typeRank(const Value& v) { return v.type == Value::Int || v.type == Value::Real ? 0 : v.type == Value::Text ? 1 : 2; }

Num numOfValue(const Value& v) {
  Num n;
  if (v.type == Value::Int) return numFromInt(v.i);
  if (v.type == Value::Real) return numFromDouble(v.d);
  if (v.type == Value::Text && parseNum(v.s, n)) return n;
  throw OraError(1722);
}

// Two values that are not NULL, as Oracle orders them.
int compareValues(const Value& a, const Value& b) {
  int ra = typeRank(a), rb = typeRank(b);
  if (ra != rb) return ra < rb ? -1 : 1;
  if (ra == 0) {
    if (a.type == Value::Int && b.type == Value::Int) return a.i < b.i ? -1 : a.i > b.i;
    return compare(numOfValue(a), numOfValue(b));
  }
  int c = a.s.compare(b.s);
  return c < 0 ? -1 : c > 0;
}

Value valueOfNum(const Num& n) {
  Value v;
  // integral and in range: an INTEGER, as the engine keeps numbers
  int64_t i = 0;
  if (n.e >= 0 && int64Of(n, i) && i < (int64_t{1} << 62) && i > -(int64_t{1} << 62)) {
    v.type = Value::Int;
    v.i = i;
    return v;
  }
  double d = numDouble(n);
  if (compare(numFromDouble(d), n) == 0) {
    v.type = Value::Real;
    v.d = d;
  } else {
    v.type = Value::Text;
    v.s = numText(n);
  }
  return v;
}

Value valueOf(sqlite3_value* s) {
  Value v;
  switch (sqlite3_value_type(s)) {
  case SQLITE_INTEGER: v.type = Value::Int, v.i = sqlite3_value_int64(s); break;
  case SQLITE_FLOAT: v.type = Value::Real, v.d = sqlite3_value_double(s); break;
  case SQLITE_TEXT:
    v.type = Value::Text;
    v.s.assign(reinterpret_cast<const char*>(sqlite3_value_text(s)), static_cast<size_t>(sqlite3_value_bytes(s)));
    break;
  case SQLITE_BLOB:
    v.type = Value::Blob;
    if (int n = sqlite3_value_bytes(s)) v.s.assign(static_cast<const char*>(sqlite3_value_blob(s)), static_cast<size_t>(n));
    break;
  default: break;
  }
  return v;
}

struct Entry {
  size_t row; // index into the sorted rows
  int var;
  bool excluded;
};

// Where an expression is evaluated: the match so far, the row it is evaluated for.
struct Place {
  const std::vector<Entry>* path;
  size_t upto;    // entries of the path the running semantics see
  size_t current; // the row
  int var;        // its variable; -1 for none
  size_t begin, end; // the partition
  int64_t match;
};

class Evaluator {
public:
  Evaluator(sqlite3* db, const Spec& spec, const std::vector<Row>& rows) : db_(db), spec_(spec), rows_(rows) {
    stmts_.resize(spec.exprs.size());
  }
  ~Evaluator() {
    for (sqlite3_stmt* s : stmts_) sqlite3_finalize(s);
  }
  Evaluator(const Evaluator&) = delete;
  Evaluator& operator=(const Evaluator&) = delete;

  Value eval(int expr, const Place& p);
  bool holds(int var, const Place& p) {
    int x = spec_.define[static_cast<size_t>(var)];
    if (x < 0) return true;
    Value v = eval(x, p);
    return v.type == Value::Int && v.i == 1;
  }
  bool inSet(int set, int var) const {
    if (set < 0) return true;
    const auto& s = spec_.sets[static_cast<size_t>(set)];
    return std::find(s.begin(), s.end(), var) != s.end();
  }

private:
  Value ref(const Ref& r, const Place& p);
  Value aggregate(const Ref& r, const Place& p, size_t limit);

  sqlite3* db_;
  const Spec& spec_;
  const std::vector<Row>& rows_;
  std::vector<sqlite3_stmt*> stmts_;
  int depth_ = 0;
};

Value Evaluator::ref(const Ref& r, const Place& p) {
  Value null;
  if (r.kind == Ref::MatchNumber) {
    Value v;
    v.type = Value::Int;
    v.i = p.match;
    return v;
  }
  if (r.kind == Ref::Classifier) {
    if (p.var < 0) return null;
    Value v;
    v.type = Value::Text;
    v.s = spec_.vars[static_cast<size_t>(p.var)];
    return v;
  }
  const std::vector<Entry>& path = *p.path;
  size_t limit = r.final ? path.size() : std::min(p.upto, path.size());
  if (r.kind == Ref::Aggregate) return aggregate(r, p, limit);
  size_t row = p.current;
  if (!r.self) {
    if (r.nav == Ref::First || r.nav == Ref::Last) {
      std::vector<size_t> rows;
      for (size_t k = 0; k < limit; ++k)
        if (inSet(r.var, path[k].var)) rows.push_back(path[k].row);
      if (static_cast<uint64_t>(r.offset) >= rows.size()) return null;
      row = r.nav == Ref::First ? rows[static_cast<size_t>(r.offset)] : rows[rows.size() - 1 - static_cast<size_t>(r.offset)];
    } else if (r.var >= 0) {
      // the last row of the variable so far
      size_t k = limit;
      while (k > 0 && !inSet(r.var, path[k - 1].var)) --k;
      if (k == 0) return null;
      row = path[k - 1].row;
    }
    for (auto [nav, off] : {std::pair{r.nav, r.offset}, std::pair{r.outer, r.outerOffset}}) {
      if (nav != Ref::Prev && nav != Ref::Next) continue;
      if (nav == Ref::Prev) {
        if (static_cast<uint64_t>(off) > row - p.begin) return null;
        row -= static_cast<size_t>(off);
      } else {
        if (static_cast<uint64_t>(off) >= p.end - row) return null;
        row += static_cast<size_t>(off);
      }
    }
  }
  return rows_[row][static_cast<size_t>(r.column)];
}

Value Evaluator::aggregate(const Ref& r, const Place& p, size_t limit) {
  const std::vector<Entry>& path = *p.path;
  int64_t count = 0;
  Num sum;
  Value best;
  for (size_t k = 0; k < limit; ++k) {
    if (!inSet(r.var, path[k].var)) continue;
    if (r.arg < 0) {
      ++count;
      continue;
    }
    Place at = p;
    at.current = path[k].row;
    Value v = eval(r.arg, at);
    if (v.type == Value::Null) continue;
    ++count;
    if (r.function == "SUM" || r.function == "AVG") sum = add(sum, numOfValue(v));
    else if (r.function == "MIN" || r.function == "MAX") {
      int c = best.type == Value::Null ? 0 : compareValues(v, best);
      if (best.type == Value::Null || (r.function == "MIN" ? c < 0 : c > 0)) best = std::move(v);
    }
  }
  Value out;
  if (r.function == "COUNT") {
    out.type = Value::Int;
    out.i = count;
    return out;
  }
  if (count == 0) return out;
  if (r.function == "SUM") return valueOfNum(sum);
  if (r.function == "AVG") return valueOfNum(div(sum, numFromInt(count)));
  return best;
}

Value Evaluator::eval(int expr, const Place& p) {
  const Expr& x = spec_.exprs[static_cast<size_t>(expr)];
  if (depth_ > 4) throw OraError(62508);
  // the values first: an aggregate's argument runs statements of its own
  std::vector<Value> values;
  values.reserve(x.params.size());
  ++depth_;
  try {
    for (int k : x.params) values.push_back(ref(x.refs[static_cast<size_t>(k)], p));
  } catch (...) {
    --depth_;
    throw;
  }
  --depth_;
  sqlite3_stmt*& st = stmts_[static_cast<size_t>(expr)];
  if (!st && sqlite3_prepare_v2(db_, x.sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
    sqlite3_finalize(st);
    st = nullptr;
    throw fromSqlite(sqlite3_errcode(db_), sqlite3_errmsg(db_), "SELECT");
  }
  sqlite3_reset(st);
  for (size_t k = 0; k < values.size(); ++k) {
    const Value& v = values[k];
    int at = static_cast<int>(k) + 1;
    switch (v.type) {
    case Value::Int: sqlite3_bind_int64(st, at, v.i); break;
    case Value::Real: sqlite3_bind_double(st, at, v.d); break;
    case Value::Text: sqlite3_bind_text64(st, at, v.s.data(), v.s.size(), SQLITE_TRANSIENT, SQLITE_UTF8); break;
    case Value::Blob: sqlite3_bind_blob64(st, at, v.s.data(), v.s.size(), SQLITE_TRANSIENT); break;
    default: sqlite3_bind_null(st, at);
    }
  }
  int rc = sqlite3_step(st);
  if (rc != SQLITE_ROW) {
    OraError e = fromSqlite(rc, sqlite3_errmsg(db_), "SELECT");
    sqlite3_reset(st);
    throw e;
  }
  Value out = valueOf(sqlite3_column_value(st, 0));
  sqlite3_reset(st);
  return out;
}

class Matcher {
public:
  using Next = std::function<bool(size_t)>;
  Matcher(Evaluator& ev, size_t begin, size_t end) : ev_(ev), begin_(begin), end_(end) {}

  std::vector<Entry> path;
  int64_t match = 0;

  // The preferred match from row `start`; its end in `stop`.
  bool find(const Pattern& p, size_t start, size_t& stop) {
    path.clear();
    spent_ += steps_;
    steps_ = 0;
    excluded_ = 0;
    return any(p, start, [&](size_t q) {
      stop = q;
      return true;
    });
  }

private:
  bool any(const Pattern& p, size_t pos, const Next& k) {
    if (p.min == 1 && p.max == 1) return once(p, pos, k);
    if (p.kind == Pattern::Var && !p.excluded) return run(p, pos, k);
    return repeat(p, 0, pos, k);
  }

  void step() {
    if (++steps_ > kStepsPerAttempt + 50 * (end_ - begin_) || spent_ + steps_ > kStepsPerPartition + 100 * (end_ - begin_))
      throw OraError(62518);
  }

  // One more row of the variable after the path; false (and the path as it was) when its
  // DEFINE does not hold there.
  bool extend(const Pattern& p, size_t pos) {
    step();
    if (pos >= end_) return false;
    path.push_back({pos, p.var, excluded_ > 0});
    Place at{&path, path.size(), pos, p.var, begin_, end_, match};
    if (ev_.holds(p.var, at)) return true;
    path.pop_back();
    return false;
  }

  // A quantified variable, a row at a time rather than a call per row: each row's DEFINE sees
  // only the rows before it, so the rows the greedy form takes are given back one by one.
  bool run(const Pattern& p, size_t pos, const Next& k) {
    const size_t base = path.size();
    int64_t n = 0;
    auto more = [&] { return p.max < 0 || n < p.max; };
    if (!p.reluctant) {
      while (more() && extend(p, pos + static_cast<size_t>(n))) ++n;
      for (;;) {
        if (n >= p.min && k(pos + static_cast<size_t>(n))) return true;
        if (n == 0) break;
        path.pop_back();
        --n;
      }
      return false;
    }
    for (;;) {
      if (n >= p.min && k(pos + static_cast<size_t>(n))) return true;
      if (!more() || !extend(p, pos + static_cast<size_t>(n))) break;
      ++n;
    }
    path.resize(base);
    return false;
  }

  bool repeat(const Pattern& p, int64_t count, size_t pos, const Next& k) {
    bool more = p.max < 0 || count < p.max;
    Next again = [&](size_t q) { return repeat(p, count + 1, q, k); };
    if (p.reluctant) {
      if (count >= p.min && k(pos)) return true;
      return more && once(p, pos, again);
    }
    if (more && once(p, pos, again)) return true;
    return count >= p.min && k(pos);
  }

  bool sequence(const Pattern& p, size_t at, size_t pos, const Next& k) {
    if (at == p.kids.size()) return k(pos);
    return any(p.kids[at], pos, [&](size_t q) { return sequence(p, at + 1, q, k); });
  }

  bool once(const Pattern& p, size_t pos, const Next& k) {
    step();
    if (depth_ >= kDeepest) throw OraError(62518);
    ++depth_;
    struct Leave {
      int& d;
      ~Leave() { --d; }
    } leave{depth_};
    if (p.excluded) {
      ++excluded_;
      bool r = sequence(p, 0, pos, [&](size_t q) {
        --excluded_;
        bool done = k(q);
        ++excluded_;
        return done;
      });
      --excluded_;
      return r;
    }
    switch (p.kind) {
    case Pattern::Start: return pos == begin_ && k(pos);
    case Pattern::End: return pos == end_ && k(pos);
    case Pattern::Alt:
      for (const Pattern& a : p.kids)
        if (any(a, pos, k)) return true;
      return false;
    case Pattern::Seq: return sequence(p, 0, pos, k);
    case Pattern::Var:
      if (!extend(p, pos)) return false;
      if (k(pos + 1)) return true;
      path.pop_back();
      return false;
    }
    return false;
  }

  Evaluator& ev_;
  size_t begin_, end_;
  uint64_t steps_ = 0, spent_ = 0;
  int excluded_ = 0, depth_ = 0;
};

int compareKeys(const Spec& spec, const Row& a, const Row& b, bool orderToo) {
  for (int c : spec.partition) {
    const Value &x = a[static_cast<size_t>(c)], &y = b[static_cast<size_t>(c)];
    bool xn = x.type == Value::Null, yn = y.type == Value::Null;
    if (xn || yn) {
      if (xn != yn) return xn ? 1 : -1;
      continue;
    }
    if (int r = compareValues(x, y)) return r;
  }
  if (!orderToo) return 0;
  for (const Spec::Key& k : spec.order) {
    const Value &x = a[static_cast<size_t>(k.column)], &y = b[static_cast<size_t>(k.column)];
    bool xn = x.type == Value::Null, yn = y.type == Value::Null;
    if (xn || yn) {
      if (xn != yn) return xn == k.nullsFirst ? -1 : 1;
      continue;
    }
    if (int r = compareValues(x, y)) return k.desc ? -r : r;
  }
  return 0;
}

} // namespace

std::vector<Row> matchRows(sqlite3* db, const Spec& spec, std::vector<Row> rows) {
  // a NUMBER kept as decimal text compares and binds as the number it is
  for (size_t c = 0; c < spec.types.size(); ++c) {
    int code = spec.types[c].code;
    if (code != kNumber && code != kBinaryFloat && code != kBinaryDouble) continue;
    for (Row& r : rows) {
      Num n;
      if (c < r.size() && r[c].type == Value::Text && parseNum(r[c].s, n)) r[c] = valueOfNum(n);
    }
  }
  std::stable_sort(rows.begin(), rows.end(), [&](const Row& a, const Row& b) { return compareKeys(spec, a, b, true) < 0; });
  std::vector<Row> out;
  Evaluator ev(db, spec, rows);
  auto emit = [&](const Place* p, size_t row) {
    Row r;
    for (auto& o : spec.output) {
      if (o.second >= 0) r.push_back(rows[row][static_cast<size_t>(o.second)]);
      else if (!p) r.emplace_back();
      else r.push_back(ev.eval(spec.measures[static_cast<size_t>(-1 - o.second)].second, *p));
    }
    out.push_back(std::move(r));
  };
  for (size_t b = 0; b < rows.size();) {
    size_t e = b + 1;
    while (e < rows.size() && compareKeys(spec, rows[b], rows[e], false) == 0) ++e;
    Matcher m(ev, b, e);
    std::vector<bool> covered(e - b);
    for (size_t pos = b; pos < e;) {
      size_t stop = pos;
      if (!m.find(spec.pattern, pos, stop)) {
        if (spec.unmatched && !covered[pos - b]) emit(nullptr, pos);
        ++pos;
        continue;
      }
      ++m.match;
      const std::vector<Entry>& path = m.path;
      for (const Entry& en : path) covered[en.row - b] = true;
      if (!spec.allRows) {
        const Entry* last = path.empty() ? nullptr : &path.back();
        Place p{&path, path.size(), last ? last->row : pos, last ? last->var : -1, b, e, m.match};
        emit(&p, pos);
      } else if (path.empty()) {
        Place p{&path, 0, pos, -1, b, e, m.match};
        if (!spec.omitEmpty) emit(&p, pos);
      } else {
        for (size_t k = 0; k < path.size(); ++k) {
          if (path[k].excluded) continue;
          Place p{&path, k + 1, path[k].row, path[k].var, b, e, m.match};
          emit(&p, path[k].row);
        }
      }
      size_t next = stop > pos ? stop : pos + 1;
      if (spec.skip == Spec::NextRow) {
        next = pos + 1;
      } else if (spec.skip == Spec::ToFirst || spec.skip == Spec::ToLast) {
        const Entry* to = nullptr;
        for (const Entry& en : path)
          if (ev.inSet(spec.skipTo, en.var) && (!to || spec.skip == Spec::ToLast)) to = &en;
        if (!to) throw OraError(62514);
        // to the row the match started at again would find the same match for ever
        if (to->row == pos) throw OraError(62514);
        next = to->row;
      }
      pos = next;
    }
    b = e;
  }
  return out;
}

} // namespace ora::mr
