// DBMS_SQL: cursors numbered by the session, a statement parsed on one, its placeholders bound by
// name, a query's columns defined and read row by row. Binds stay binds: the values go to the
// statement as parameters (PlsqlDynamic.cpp), never into its text.
#include "OraValues.h"
#include "PlsqlRun.h"
#include "PlsqlSuppliedMore.h"
#include "Session.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>

namespace ora::pl {

const char* const kDbmsSqlSpec =
    "PACKAGE DBMS_SQL AS\n"
    "TYPE desc_rec IS RECORD (col_type BINARY_INTEGER := 0, col_max_len BINARY_INTEGER := 0,"
    " col_name VARCHAR2(32767) := '', col_name_len BINARY_INTEGER := 0, col_schema_name VARCHAR2(32767) := '',"
    " col_schema_name_len BINARY_INTEGER := 0, col_precision BINARY_INTEGER := 0, col_scale BINARY_INTEGER := 0,"
    " col_charsetid BINARY_INTEGER := 0, col_charsetform BINARY_INTEGER := 0, col_null_ok BOOLEAN := TRUE);\n"
    "TYPE desc_tab IS TABLE OF desc_rec INDEX BY BINARY_INTEGER;\n"
    "TYPE number_table IS TABLE OF NUMBER INDEX BY BINARY_INTEGER;\n"
    "TYPE varchar2_table IS TABLE OF VARCHAR2(2000) INDEX BY BINARY_INTEGER;\n"
    "TYPE date_table IS TABLE OF DATE INDEX BY BINARY_INTEGER;\n"
    "v6 CONSTANT INTEGER := 0;\n"
    "native CONSTANT INTEGER := 1;\n"
    "v7 CONSTANT INTEGER := 2;\n"
    "END;";

namespace {

struct SqlCursor {
  std::string sql;
  bool parsed = false, query = false, dml = false, block = false, executed = false;
  std::vector<std::string> placeholders; // in text order, a name as often as it appears
  std::map<std::string, Val> binds;
  std::vector<std::string> cols;
  std::vector<ColType> types;
  std::map<int, int> defines; // position: the defining variable's kind
  // BIND_ARRAY: a placeholder's elements, one execution each; DEFINE_ARRAY: a column's rows per
  // fetch and the index the next one goes to
  std::map<std::string, std::vector<Val>> arrays;
  struct ArrayDefine {
    long long count = 0, next = 0;
  };
  std::map<int, ArrayDefine> arrayDefines;
  size_t batchFrom = 0, batchSize = 0; // the rows the last FETCH_ROWS gave the arrays
  std::vector<std::vector<Val>> rows;
  size_t next = 0;
  bool haveRow = false;
  int64_t fetched = 0;
};

constexpr size_t kMaxOpen = 300;

struct State {
  std::map<long long, SqlCursor> cursors;
  long long seq = 0;
  int64_t lastRowCount = 0;
};

State& state(Run& r) {
  auto& slot = units(r.ses).dbmsSql;
  if (!slot) slot = std::make_shared<State>();
  return *std::static_pointer_cast<State>(slot);
}

OraError denied() {
  OraError e(29471);
  e.text = "ORA-29471: DBMS_SQL access denied";
  return e;
}

long long idOf(Run& r, Range a) {
  Val v = r.eval(a);
  if (v.k != Val::Num) throw denied();
  return std::llround(std::stod(v.s));
}

SqlCursor& open(Run& r, Range a) {
  auto& all = state(r).cursors;
  auto it = all.find(idOf(r, a));
  if (it == all.end()) throw denied();
  return it->second;
}

std::string bindName(std::string n) {
  if (!n.empty() && n[0] == ':') n.erase(0, 1);
  if (n.size() >= 2 && n.front() == '"' && n.back() == '"') return n.substr(1, n.size() - 2);
  for (auto& c : n) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return n;
}

std::vector<Val> boundValues(const SqlCursor& c) {
  std::vector<Val> vals;
  for (const std::string& n : c.placeholders) {
    auto it = c.binds.find(n);
    if (it == c.binds.end()) throw OraError(1008);
    vals.push_back(it->second);
  }
  return vals;
}

void parse(Run& r, SqlCursor& c, const std::string& text) {
  std::string sql = text;
  size_t e = sql.find_last_not_of(" \t\r\n");
  sql = e == std::string::npos ? std::string() : sql.substr(0, e + 1);
  size_t b = sql.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) throw OraError(900);
  sql = sql.substr(b);
  c = SqlCursor{};
  bool block = false;
  StmtKind kind = dynamicKind(r, sql, block);
  c.sql = sql;
  c.block = block;
  c.parsed = true;
  if (block) {
    // a block's placeholders are one bind each, however often named
    std::vector<Tok> toks = tokens(sql);
    joinPlaceholders(toks);
    for (const Tok& t : toks)
      if (t.kind == T::Word && t.text[0] == ':' &&
          std::find(c.placeholders.begin(), c.placeholders.end(), t.text.substr(1)) == c.placeholders.end())
        c.placeholders.push_back(t.text.substr(1));
    return;
  }
  c.placeholders = placeholderNames(sql);
  if (kind == StmtKind::Ddl) {
    // DDL runs when it is parsed
    if (!c.placeholders.empty()) throw OraError(1027);
    dynamicDdlText(r, sql);
    c.executed = true;
    return;
  }
  c.query = kind == StmtKind::Query;
  c.dml = kind == StmtKind::Dml;
  if (c.query) {
    Rows cols = dynamicRows(r, sql, std::vector<Val>(c.placeholders.size()), 0);
    c.cols = std::move(cols.names);
    c.types = std::move(cols.types);
  }
}

int64_t execute(Run& r, SqlCursor& c) {
  if (!c.parsed) throw OraError(1003);
  c.haveRow = false;
  if (c.block) {
    for (const std::string& n : c.placeholders)
      if (!c.binds.count(n)) throw OraError(1008);
    dynamicBlockText(r, c.sql, c.binds);
    c.executed = true;
    return 0;
  }
  if (c.query) {
    Rows rows = dynamicRows(r, c.sql, boundValues(c), SIZE_MAX);
    c.rows = std::move(rows.rows);
    c.next = 0;
    c.fetched = 0;
    c.executed = true;
    return 0;
  }
  if (c.dml && !c.arrays.empty()) {
    // once for each element of the bound arrays
    size_t n = SIZE_MAX;
    for (const auto& [name, vals] : c.arrays) n = std::min(n, vals.size());
    int64_t rows = 0;
    for (size_t i = 0; i < n; ++i) {
      std::vector<Val> vals;
      for (const std::string& name : c.placeholders) {
        auto a = c.arrays.find(name);
        if (a != c.arrays.end()) {
          vals.push_back(a->second[i]);
          continue;
        }
        auto it = c.binds.find(name);
        if (it == c.binds.end()) throw OraError(1008);
        vals.push_back(it->second);
      }
      rows += dynamicDml(r, c.sql, vals);
    }
    c.executed = true;
    return rows;
  }
  if (c.dml) {
    c.executed = true;
    return dynamicDml(r, c.sql, boundValues(c));
  }
  if (!c.executed) {
    if (!c.placeholders.empty()) throw OraError(1006);
    r.execute(c.sql); // COMMIT, ROLLBACK, ALTER SESSION: as the static statement runs
    c.executed = true;
  }
  return 0;
}

int64_t fetchRow(Run& r, SqlCursor& c) {
  if (!c.query || !c.executed) throw OraError(1002);
  State& st = state(r);
  if (!c.arrayDefines.empty()) {
    // as many rows as DEFINE_ARRAY asked for at once
    size_t want = static_cast<size_t>(c.arrayDefines.begin()->second.count);
    c.batchFrom = c.next;
    c.batchSize = std::min(want, c.rows.size() - c.next);
    c.next += c.batchSize;
    c.fetched += static_cast<int64_t>(c.batchSize);
    c.haveRow = c.batchSize > 0;
    st.lastRowCount = c.fetched;
    return static_cast<int64_t>(c.batchSize);
  }
  c.haveRow = c.next < c.rows.size();
  if (c.haveRow) {
    ++c.next;
    ++c.fetched;
  }
  st.lastRowCount = c.fetched;
  return c.haveRow ? 1 : 0;
}

std::vector<Range> splitArguments(const Run& r, size_t open, size_t close, size_t& used) {
  const auto& t = r.u.toks;
  std::vector<Range> out;
  size_t from = open + 1;
  int depth = 0;
  for (size_t k = open + 1; k < close; ++k) {
    if (isOp(t, k, "(")) ++depth;
    else if (isOp(t, k, ")")) --depth;
    else if (depth == 0 && isOp(t, k, ",")) {
      out.push_back({from, k});
      from = k + 1;
    }
  }
  if (from < close) out.push_back({from, close});
  used = close + 1;
  return out;
}

Val number(int64_t n) { return Val{Val::Num, std::to_string(n), false}; }

ColType columnType(const SqlCursor& c, size_t i) {
  ColType t = i < c.types.size() ? c.types[i] : ColType{};
  if (t.code == 0) {
    t.code = kVarchar2;
    t.size = 4000;
  }
  return t;
}

void describe(Run& r, SqlCursor& c, Range count, Range target, size_t at) {
  if (!c.query) throw OraError(1003);
  Var* v = r.targetVar(target);
  if (!v || !v->isColl() || !v->def) wrongArguments(r, at, "DESCRIBE_COLUMNS");
  v->coll.p = std::make_unique<Coll>();
  for (size_t i = 0; i < c.cols.size(); ++i) {
    Var el = v->def->proto;
    ColType t = columnType(c, i);
    auto set = [&](const char* name, Val x) {
      for (size_t f = 0; f < el.fieldNames.size(); ++f)
        if (el.fieldNames[f] == name) el.fields[f] = std::move(x);
    };
    bool text = t.code == kVarchar2 || t.code == kChar;
    set("COL_TYPE", number(t.binary ? t.binary : t.code));
    set("COL_MAX_LEN", number(describeSize(t)));
    set("COL_NAME", Val{Val::Str, c.cols[i], false});
    set("COL_NAME_LEN", number(static_cast<int64_t>(c.cols[i].size())));
    set("COL_SCHEMA_NAME", Val{});
    set("COL_SCHEMA_NAME_LEN", number(0));
    set("COL_PRECISION", number(t.code == kNumber ? t.precision : 0));
    set("COL_SCALE", number(t.code == kNumber ? t.scale : 0));
    set("COL_CHARSETID", number(text ? 832 : 0));
    set("COL_CHARSETFORM", number(text ? (t.national ? 2 : 1) : 0));
    set("COL_NULL_OK", Val{Val::Bool, "", true});
    v->coll.p->num[static_cast<long long>(i + 1)] = std::move(el);
  }
  v->coll.p->size = static_cast<long long>(c.cols.size());
  r.assign(count, number(static_cast<int64_t>(c.cols.size())));
}

// The kind of value a variable named by `a` holds (a collection: its elements'), for matching
// COLUMN_VALUE to DEFINE_COLUMN.
int kindOf(Run& r, Range a) {
  if (a.e != a.b + 1) return TypeSpec::Unknown;
  Var* v = r.find(r.u.toks[a.b].text);
  if (v && v->isColl()) return v->def->proto.type.kind;
  return v ? v->type.kind : TypeSpec::Unknown;
}

// A collection argument of BIND_ARRAY, DEFINE_ARRAY or COLUMN_VALUE.
Var& arrayArgument(Run& r, Range a, size_t at, const std::string& proc) {
  Var* v = r.targetVar(a);
  if (!v || !v->isColl() || v->def->proto.record || v->def->proto.isColl()) wrongArguments(r, at, proc);
  return *v;
}

long long whole(Run& r, Range a) {
  Val v = r.eval(a);
  if (v.k != Val::Num) throw valueError("");
  return std::llround(std::stod(v.s));
}

} // namespace

bool dbmsSqlCall(Run& r, const Stmt& s) {
  const std::string proc = s.name.substr(9);
  const auto& a = s.conds;
  auto need = [&](size_t lo, size_t hi) {
    if (a.size() < lo || a.size() > hi) wrongArguments(r, s.at, proc);
    for (auto& n : s.argNames)
      if (!n.empty()) wrongArguments(r, s.at, proc); // by position only here
  };
  if (proc == "PARSE") {
    need(3, 3);
    SqlCursor& c = open(r, a[0]);
    Val text = r.eval(a[1]);
    parse(r, c, text.k == Val::Null ? std::string() : text.s);
  } else if (proc == "BIND_VARIABLE" || proc == "BIND_VARIABLE_CHAR") {
    need(3, 4);
    SqlCursor& c = open(r, a[0]);
    Val n = r.eval(a[1]);
    std::string name = bindName(n.k == Val::Null ? std::string() : n.s);
    if (std::find(c.placeholders.begin(), c.placeholders.end(), name) == c.placeholders.end()) throw OraError(1006);
    Val v = r.eval(a[2]);
    if (v.k == Val::Bool) wrongArguments(r, s.at, proc);
    c.binds[name] = v;
  } else if (proc == "BIND_ARRAY") {
    need(3, 5);
    SqlCursor& c = open(r, a[0]);
    Val n = r.eval(a[1]);
    std::string name = bindName(n.k == Val::Null ? std::string() : n.s);
    if (std::find(c.placeholders.begin(), c.placeholders.end(), name) == c.placeholders.end()) throw OraError(1006);
    Var& v = arrayArgument(r, a[2], s.at, proc);
    long long lo = a.size() >= 4 ? whole(r, a[3]) : LLONG_MIN, hi = a.size() >= 5 ? whole(r, a[4]) : LLONG_MAX;
    std::vector<Val> vals;
    if (v.coll.p)
      for (const auto& [k, el] : v.coll.p->num)
        if (k >= lo && k <= hi) vals.push_back(el.v);
    c.arrays[name] = std::move(vals);
  } else if (proc == "DEFINE_ARRAY") {
    need(5, 5);
    SqlCursor& c = open(r, a[0]);
    long long pos = whole(r, a[1]);
    if (!c.query || pos < 1 || pos > static_cast<long long>(c.cols.size())) throw OraError(1007);
    arrayArgument(r, a[2], s.at, proc);
    long long count = whole(r, a[3]);
    if (count <= 0) {
      OraError e(29253);
      e.text = "ORA-29253: Invalid count argument passed to procedure dbms_sql.define_array";
      throw e;
    }
    c.defines[static_cast<int>(pos)] = kindOf(r, a[2]);
    c.arrayDefines[static_cast<int>(pos)] = {count, whole(r, a[4])};
  } else if (proc == "COLUMN_VALUE" && a.size() == 3 && [&] {
               SqlCursor& c = open(r, a[0]);
               Val p = r.eval(a[1]);
               return p.k == Val::Num && c.arrayDefines.count(static_cast<int>(std::llround(std::stod(p.s))));
             }()) {
    // the rows the last fetch gave, after those earlier calls put in the collection
    SqlCursor& c = open(r, a[0]);
    int pos = static_cast<int>(whole(r, a[1]));
    auto& d = c.arrayDefines[pos];
    Var& v = arrayArgument(r, a[2], s.at, proc);
    if (!v.coll.p) v.coll.p = std::make_unique<Coll>();
    for (size_t i = 0; i < c.batchSize; ++i) {
      Var el = v.def->proto;
      r.store(el, c.rows[c.batchFrom + i][static_cast<size_t>(pos - 1)], s.at);
      long long k = d.next++;
      v.coll.p->num[k] = std::move(el);
      v.coll.p->size = std::max(v.coll.p->size, k);
    }
  } else if (proc == "DEFINE_COLUMN") {
    need(3, 4);
    SqlCursor& c = open(r, a[0]);
    Val p = r.eval(a[1]);
    long long pos = p.k == Val::Num ? std::llround(std::stod(p.s)) : 0;
    if (!c.query || pos < 1 || pos > static_cast<long long>(c.cols.size())) throw OraError(1007);
    c.defines[static_cast<int>(pos)] = kindOf(r, a[2]);
  } else if (proc == "COLUMN_VALUE") {
    need(3, 5);
    SqlCursor& c = open(r, a[0]);
    Val p = r.eval(a[1]);
    long long pos = p.k == Val::Num ? std::llround(std::stod(p.s)) : 0;
    auto d = c.defines.find(static_cast<int>(pos));
    if (d == c.defines.end()) throw OraError(1007);
    int kind = kindOf(r, a[2]);
    if (d->second != TypeSpec::Unknown && kind != TypeSpec::Unknown && kind != d->second) {
      OraError e(6562);
      e.text = "ORA-06562: type of out argument must match type of column or bind variable";
      throw e;
    }
    if (!c.haveRow) throw OraError(1002);
    r.assign(a[2], c.rows[c.next - 1][static_cast<size_t>(pos - 1)]);
  } else if (proc == "VARIABLE_VALUE") {
    need(3, 3);
    SqlCursor& c = open(r, a[0]);
    Val n = r.eval(a[1]);
    auto it = c.binds.find(bindName(n.k == Val::Null ? std::string() : n.s));
    if (it == c.binds.end()) throw OraError(1006);
    r.assign(a[2], it->second);
  } else if (proc == "CLOSE_CURSOR") {
    need(1, 1);
    auto& all = state(r).cursors;
    auto it = all.find(idOf(r, a[0]));
    if (it == all.end()) throw denied();
    all.erase(it);
    r.assign(a[0], Val{});
  } else if (proc == "DESCRIBE_COLUMNS" || proc == "DESCRIBE_COLUMNS2") {
    need(3, 3);
    describe(r, open(r, a[0]), a[1], a[2], s.at);
  } else {
    return false;
  }
  return true;
}

bool dbmsSqlValue(Run& r, size_t k, size_t end, std::string& sql, size_t& used) {
  const auto& t = r.u.toks;
  if (k + 2 >= end || t[k + 2].kind != T::Word) return false;
  const std::string f = t[k + 2].text;
  static const char* const functions[] = {"OPEN_CURSOR",  "EXECUTE",      "FETCH_ROWS",       "EXECUTE_AND_FETCH",
                                          "IS_OPEN",      "LAST_ROW_COUNT", "TO_REFCURSOR", "TO_CURSOR_NUMBER"};
  if (std::none_of(std::begin(functions), std::end(functions), [&](const char* n) { return f == n; })) return false;
  std::vector<Range> a;
  size_t after = k + 3;
  if (k + 3 < end && isOp(t, k + 3, "(")) a = splitArguments(r, k + 3, closing(t, k + 3), after);
  used = after - k;
  auto need = [&](size_t lo, size_t hi) {
    if (a.size() < lo || a.size() > hi) wrongArguments(r, k, f);
  };
  Val v;
  State& st = state(r);
  if (f == "OPEN_CURSOR") {
    need(0, 1);
    // cursors opened and never closed run into the session's limit, as Oracle's OPEN_CURSORS
    if (st.cursors.size() >= kMaxOpen) throw OraError(1000);
    long long id = ++st.seq;
    st.cursors[id] = SqlCursor{};
    v = number(id);
  } else if (f == "EXECUTE") {
    need(1, 1);
    v = number(execute(r, open(r, a[0])));
  } else if (f == "FETCH_ROWS") {
    need(1, 1);
    v = number(fetchRow(r, open(r, a[0])));
  } else if (f == "EXECUTE_AND_FETCH") {
    need(1, 2);
    SqlCursor& c = open(r, a[0]);
    execute(r, c);
    int64_t got = fetchRow(r, c);
    if (a.size() == 2 && r.cond(a[1]) == 1 && c.next < c.rows.size()) throw OraError(1422);
    v = number(got);
  } else if (f == "IS_OPEN") {
    need(1, 1);
    Val id = r.eval(a[0]);
    bool isOpen = id.k == Val::Num && st.cursors.count(std::llround(std::stod(id.s)));
    sql = isOpen ? "(1=1)" : "(1=0)";
    return true;
  } else if (f == "LAST_ROW_COUNT") {
    need(0, 0);
    v = number(st.lastRowCount);
  } else if (f == "TO_REFCURSOR") {
    need(1, 1);
    auto it = st.cursors.find(idOf(r, a[0]));
    if (it == st.cursors.end()) throw denied();
    SqlCursor& c = it->second;
    if (!c.query || !c.executed) throw OraError(1001);
    auto cur = std::make_shared<CursorState>();
    cur->cols = c.cols;
    cur->types = c.types;
    cur->rows.assign(c.rows.begin() + static_cast<long>(c.next), c.rows.end());
    cur->open = true;
    st.cursors.erase(it); // the number is the cursor variable's now
    r.lastCursor = std::move(cur);
  } else { // TO_CURSOR_NUMBER
    need(1, 1);
    Var* rc = a[0].e == a[0].b + 1 ? r.find(t[a[0].b].text) : nullptr;
    if (!rc || rc->type.kind != TypeSpec::Cursor) wrongArguments(r, k, f);
    std::shared_ptr<CursorState> cur = rc->v.cur;
    if (!cur || !cur->open) throw OraError(1001);
    SqlCursor c;
    c.parsed = c.query = c.executed = true;
    c.cols = cur->cols;
    c.types = cur->types;
    c.rows.assign(cur->rows.begin() + static_cast<long>(cur->next), cur->rows.end());
    cur->open = false; // the cursor variable is the number's now
    long long id = ++st.seq;
    st.cursors[id] = std::move(c);
    v = number(id);
  }
  sql = literal(v);
  return true;
}

} // namespace ora::pl
