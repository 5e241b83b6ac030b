// Collection values: their stored form, their text, and the SQL functions over them.
#include "Collections.h"

#include "Charset.h"
#include "FunctionUtil.h"
#include "ListAgg.h"
#include "ObjectTypes.h"
#include "Number.h"
#include "SqlText.h"
#include "SqlTranslate.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <sqlite3.h>

namespace ora {

namespace {

// The blob opens with these bytes, then a version, the kind, the element kind and the type's
// name ended by a zero byte; then each element: its tag and, but for a NULL, 8 bytes of a
// number or a length and the bytes.
const char kMagic[4] = {'\xC7', 'O', 'C', 'L'};
const char kVersion = 1;

void put(std::string& out, const void* p, size_t n) { out.append(static_cast<const char*>(p), n); }

} // namespace

bool isCollectionBlob(const void* p, int n) {
  return p && n >= 8 && std::memcmp(p, kMagic, sizeof kMagic) == 0 && static_cast<const char*>(p)[4] == kVersion;
}

std::string encodeCollection(const CollValue& c) {
  std::string out(kMagic, sizeof kMagic);
  out += kVersion;
  out += c.kind;
  out += c.elem;
  out += c.type;
  out += '\0';
  for (const CollElem& e : c.items) {
    out += static_cast<char>(e.tag);
    if (e.tag == CollElem::Int) put(out, &e.i, sizeof e.i);
    else if (e.tag == CollElem::Real) put(out, &e.d, sizeof e.d);
    else if (e.tag == CollElem::Text || e.tag == CollElem::Blob) {
      uint64_t len = e.s.size();
      put(out, &len, sizeof len);
      out += e.s;
    }
  }
  return out;
}

bool decodeCollection(const void* data, int size, CollValue& out) {
  if (!isCollectionBlob(data, size)) return false;
  const char* p = static_cast<const char*>(data);
  const size_t n = static_cast<size_t>(size);
  out = CollValue{};
  out.kind = p[5];
  out.elem = p[6];
  size_t k = 7;
  while (k < n && p[k]) out.type += p[k++];
  if (k >= n) return false;
  ++k;
  auto take = [&](void* to, size_t bytes) {
    if (n - k < bytes) return false;
    std::memcpy(to, p + k, bytes);
    k += bytes;
    return true;
  };
  while (k < n) {
    CollElem e;
    auto tag = static_cast<unsigned char>(p[k++]);
    if (tag > CollElem::Blob) return false;
    e.tag = static_cast<CollElem::Tag>(tag);
    bool ok = true;
    if (e.tag == CollElem::Int) ok = take(&e.i, sizeof e.i);
    else if (e.tag == CollElem::Real) ok = take(&e.d, sizeof e.d);
    else if (e.tag == CollElem::Text || e.tag == CollElem::Blob) {
      uint64_t len = 0;
      ok = take(&len, sizeof len) && len <= n - k;
      if (ok) {
        e.s.assign(p + k, static_cast<size_t>(len));
        k += static_cast<size_t>(len);
      }
    }
    if (!ok) return false;
    out.items.push_back(std::move(e));
  }
  return true;
}

std::string collectionText(sqlite3* db, const CollValue& c) {
  std::string out = c.type + "(";
  bool first = true;
  for (const CollElem& e : c.items) {
    if (!first) out += ", ";
    first = false;
    switch (e.tag) {
    case CollElem::Null: out += "NULL"; break;
    case CollElem::Int: out += integerText(e.i); break;
    case CollElem::Real: out += realText(e.d); break;
    case CollElem::Blob: out += "'" + hexText(reinterpret_cast<const unsigned char*>(e.s.data()), static_cast<int>(e.s.size())) + "'"; break;
    case CollElem::Text: {
      DateTime dt;
      if (isObjectText(e.s)) {
        out += objectDisplay(db, e.s);
      } else if (c.elem == 'N') {
        out += e.s;
      } else if (c.elem == 'D' && parseStoredDate(reinterpret_cast<const unsigned char*>(e.s.data()), static_cast<int>(e.s.size()), dt)) {
        out += "'" + sessionDateText(db, dt) + "'";
      } else {
        out += "'" + e.s + "'";
      }
      break;
    }
    }
  }
  return out + ")";
}

namespace {

using fn::Ctx;
using fn::Val;

CollElem elemOf(Val* v) {
  CollElem e;
  switch (sqlite3_value_type(v)) {
  case SQLITE_INTEGER: e.tag = CollElem::Int; e.i = sqlite3_value_int64(v); break;
  case SQLITE_FLOAT: e.tag = CollElem::Real; e.d = sqlite3_value_double(v); break;
  case SQLITE_TEXT:
    e.tag = CollElem::Text;
    e.s.assign(reinterpret_cast<const char*>(sqlite3_value_text(v)), static_cast<size_t>(sqlite3_value_bytes(v)));
    break;
  case SQLITE_BLOB:
    e.tag = CollElem::Blob;
    e.s.assign(static_cast<const char*>(sqlite3_value_blob(v)), static_cast<size_t>(sqlite3_value_bytes(v)));
    break;
  default: break;
  }
  return e;
}

void resultElem(Ctx* ctx, const CollElem& e) {
  switch (e.tag) {
  case CollElem::Int: sqlite3_result_int64(ctx, e.i); break;
  case CollElem::Real: sqlite3_result_double(ctx, e.d); break;
  case CollElem::Text: sqlite3_result_text64(ctx, e.s.data(), e.s.size(), SQLITE_TRANSIENT, SQLITE_UTF8); break;
  case CollElem::Blob: sqlite3_result_blob64(ctx, e.s.data(), e.s.size(), SQLITE_TRANSIENT); break;
  default: sqlite3_result_null(ctx);
  }
}

bool numberOf(const CollElem& e, Num& out) {
  if (e.tag == CollElem::Int) out = numFromInt(e.i);
  else if (e.tag == CollElem::Real) out = numFromDouble(e.d);
  else if (e.tag == CollElem::Text) return parseNum(e.s, out);
  else return false;
  return true;
}

// Two non-null elements: 0 when equal. Numbers compare by value, the rest by their bytes.
int compareElems(const CollElem& a, const CollElem& b) {
  Num x, y;
  bool numeric = a.tag == CollElem::Int || a.tag == CollElem::Real || b.tag == CollElem::Int || b.tag == CollElem::Real;
  if (numeric && numberOf(a, x) && numberOf(b, y)) return compare(x, y);
  if (a.s == b.s) return a.tag == b.tag ? 0 : a.tag < b.tag ? -1 : 1;
  return a.s < b.s ? -1 : 1;
}

// Equal as a multiset operation sees them: NULLs are the same as each other.
bool same(const CollElem& a, const CollElem& b) {
  if (a.tag == CollElem::Null || b.tag == CollElem::Null) return a.tag == b.tag;
  return compareElems(a, b) == 0;
}

// The collection an argument holds; false for NULL. Anything else is ORA-00932.
bool collArg(Val* v, CollValue& out) {
  int type = sqlite3_value_type(v);
  if (type == SQLITE_NULL) return false;
  if (type != SQLITE_BLOB || !decodeCollection(sqlite3_value_blob(v), sqlite3_value_bytes(v), out)) {
    const char* got = type == SQLITE_TEXT ? "CHAR" : type == SQLITE_BLOB ? "BINARY" : "NUMBER";
    throw OraError(932, std::string("expected UDT got ") + got);
  }
  return true;
}

std::string textArg(Val* v) {
  const unsigned char* t = sqlite3_value_text(v);
  return t ? reinterpret_cast<const char*>(t) : "";
}

void resultColl(Ctx* ctx, const CollValue& c) {
  std::string b = encodeCollection(c);
  sqlite3_result_blob64(ctx, b.data(), b.size(), SQLITE_TRANSIENT);
}

void checkLimit(const CollValue& c, long long limit) {
  if (c.kind == 'V' && limit > 0 && static_cast<long long>(c.items.size()) > limit) throw OraError(22909);
}

// ora_coll(type, kind, elem, limit, elements...): a constructor's value.
void construct(Ctx* ctx, int argc, Val** argv) {
  if (argc < 4) throw OraError(909); // named in a statement's own text without its type's words
  CollValue c;
  c.type = textArg(argv[0]);
  c.kind = textArg(argv[1]).c_str()[0];
  c.elem = textArg(argv[2]).c_str()[0];
  for (int k = 4; k < argc; ++k) c.items.push_back(elemOf(argv[k]));
  checkLimit(c, sqlite3_value_int64(argv[3]));
  resultColl(ctx, c);
}

// ora_coll_cast(collection, type, kind, elem, limit): the same elements under another type
void castColl(Ctx* ctx, int, Val** argv) {
  CollValue c;
  if (!collArg(argv[0], c)) return sqlite3_result_null(ctx);
  c.type = textArg(argv[1]);
  c.kind = textArg(argv[2]).c_str()[0];
  c.elem = textArg(argv[3]).c_str()[0];
  checkLimit(c, sqlite3_value_int64(argv[4]));
  resultColl(ctx, c);
}

void cardinality(Ctx* ctx, int, Val** argv) {
  CollValue c;
  if (!collArg(argv[0], c) || c.items.empty()) return sqlite3_result_null(ctx);
  sqlite3_result_int64(ctx, static_cast<int64_t>(c.items.size()));
}

void truth(Ctx* ctx, int r) {
  if (r < 0) sqlite3_result_null(ctx);
  else sqlite3_result_int(ctx, r);
}

void memberOf(Ctx* ctx, int, Val** argv) {
  CollValue c;
  if (!collArg(argv[1], c)) return sqlite3_result_null(ctx);
  if (c.items.empty()) return truth(ctx, 0);
  CollElem x = elemOf(argv[0]);
  if (x.tag == CollElem::Null) return truth(ctx, -1);
  bool unknown = false;
  for (const CollElem& e : c.items) {
    if (e.tag == CollElem::Null) unknown = true;
    else if (compareElems(x, e) == 0) return truth(ctx, 1);
  }
  truth(ctx, unknown ? -1 : 0);
}

// Same type of nested table on both sides, as the multiset operators require.
void sameType(const CollValue& a, const CollValue& b) {
  if (a.type != b.type) throw OraError(932, "expected " + a.type + " got " + b.type);
}

void submultiset(Ctx* ctx, int, Val** argv) {
  CollValue a, b;
  bool ha = collArg(argv[0], a), hb = collArg(argv[1], b);
  if (!ha) return sqlite3_result_null(ctx);
  if (ha && hb) sameType(a, b);
  if (a.items.empty()) return truth(ctx, 1);
  if (!hb) return sqlite3_result_null(ctx);
  if (a.items.size() > b.items.size()) return truth(ctx, 0);
  bool nulls = false;
  std::vector<char> used(b.items.size(), 0);
  for (const CollElem& x : a.items) {
    if (x.tag == CollElem::Null) { nulls = true; continue; }
    bool found = false;
    for (size_t k = 0; k < b.items.size() && !found; ++k)
      if (!used[k] && b.items[k].tag != CollElem::Null && compareElems(x, b.items[k]) == 0) used[k] = found = true;
    if (!found) {
      for (const CollElem& y : b.items) nulls = nulls || y.tag == CollElem::Null;
      return truth(ctx, nulls ? -1 : 0);
    }
  }
  truth(ctx, nulls ? -1 : 1);
}

bool hasDuplicate(const CollValue& c) {
  for (size_t i = 0; i < c.items.size(); ++i)
    for (size_t j = i + 1; j < c.items.size(); ++j)
      if (same(c.items[i], c.items[j])) return true;
  return false;
}

void isASet(Ctx* ctx, int, Val** argv) {
  CollValue c;
  if (!collArg(argv[0], c)) return sqlite3_result_null(ctx);
  truth(ctx, hasDuplicate(c) ? 0 : 1);
}

void isEmpty(Ctx* ctx, int, Val** argv) {
  CollValue c;
  if (!collArg(argv[0], c)) return sqlite3_result_null(ctx);
  truth(ctx, c.items.empty() ? 1 : 0);
}

std::vector<CollElem> distinctOf(const std::vector<CollElem>& items) {
  std::vector<CollElem> out;
  for (const CollElem& e : items)
    if (std::none_of(out.begin(), out.end(), [&](const CollElem& o) { return same(o, e); })) out.push_back(e);
  return out;
}

void setOf(Ctx* ctx, int, Val** argv) {
  CollValue c;
  if (!collArg(argv[0], c)) return sqlite3_result_null(ctx);
  c.items = distinctOf(c.items);
  resultColl(ctx, c);
}

// ora_coll_union / _intersect / _except(a, b, distinct)
template <int Op>
void multiset(Ctx* ctx, int, Val** argv) {
  CollValue a, b;
  bool ha = collArg(argv[0], a), hb = collArg(argv[1], b);
  if (ha && hb) sameType(a, b);
  if (!ha || !hb) return sqlite3_result_null(ctx);
  bool distinct = sqlite3_value_int(argv[2]) != 0;
  std::vector<CollElem> out;
  if (Op == 0) {
    out = a.items;
    out.insert(out.end(), b.items.begin(), b.items.end());
  } else {
    std::vector<char> used(b.items.size(), 0);
    for (const CollElem& x : a.items) {
      bool found = false;
      for (size_t k = 0; k < b.items.size() && !found; ++k)
        if (!used[k] && same(x, b.items[k])) used[k] = found = true;
      if (found == (Op == 1)) out.push_back(x);
    }
    if (distinct && Op == 2) {
      // EXCEPT DISTINCT: the distinct elements of the first that the second lacks altogether
      out.clear();
      for (const CollElem& x : a.items)
        if (std::none_of(b.items.begin(), b.items.end(), [&](const CollElem& y) { return same(x, y); })) out.push_back(x);
    }
  }
  a.items = distinct ? distinctOf(out) : std::move(out);
  resultColl(ctx, a);
}

// Nested tables are equal when they hold the same elements as many times, in any order.
void equal(Ctx* ctx, int, Val** argv) {
  CollValue a, b;
  bool ha = collArg(argv[0], a), hb = collArg(argv[1], b);
  if (ha && hb) sameType(a, b);
  if (!ha || !hb) return sqlite3_result_null(ctx);
  if (a.items.size() != b.items.size()) return truth(ctx, 0);
  for (const auto* c : {&a, &b})
    for (const CollElem& e : c->items)
      if (e.tag == CollElem::Null) return truth(ctx, -1);
  std::vector<char> used(b.items.size(), 0);
  for (const CollElem& x : a.items) {
    bool found = false;
    for (size_t k = 0; k < b.items.size() && !found; ++k)
      if (!used[k] && compareElems(x, b.items[k]) == 0) used[k] = found = true;
    if (!found) return truth(ctx, 0);
  }
  truth(ctx, 1);
}

// ora_coll_agg(type, kind, elem, limit, x, flags [, key, how]...): the rows' values as one
// collection, also of no rows. flags bit 0: NULLs are left out (COLLECT; a MULTISET subquery keeps
// them), bit 1: each value once (DISTINCT); the keys order the elements.
struct Gather {
  CollValue c;
  long long limit = 0;
  int flags = 0;
  std::vector<int> order; // per key: bit 0 descending, bit 1 NULLs first
  std::vector<std::vector<Val*>> keys;
  Gather() = default;
  Gather(const Gather&) = delete;
  Gather& operator=(const Gather&) = delete;
  ~Gather() {
    for (auto& row : keys)
      for (Val* v : row) sqlite3_value_free(v);
  }
};

void gatherStep(Ctx* ctx, int argc, Val** argv) {
  auto** acc = static_cast<Gather**>(sqlite3_aggregate_context(ctx, sizeof(Gather*)));
  if (!acc) return sqlite3_result_error_nomem(ctx);
  try {
    if (!*acc) {
      *acc = new Gather;
      (*acc)->c.type = textArg(argv[0]);
      (*acc)->c.kind = textArg(argv[1]).c_str()[0];
      (*acc)->c.elem = textArg(argv[2]).c_str()[0];
      (*acc)->limit = sqlite3_value_int64(argv[3]);
      (*acc)->flags = sqlite3_value_int(argv[5]);
      for (int k = 7; k < argc; k += 2) (*acc)->order.push_back(sqlite3_value_int(argv[k]));
    }
    Gather& g = **acc;
    if (sqlite3_value_type(argv[4]) == SQLITE_NULL && (g.flags & 1)) return;
    g.c.items.push_back(elemOf(argv[4]));
    if (!g.order.empty()) {
      std::vector<Val*> row;
      for (int k = 6; k + 1 < argc; k += 2) row.push_back(sqlite3_value_dup(argv[k]));
      g.keys.push_back(std::move(row));
    }
  } catch (const std::bad_alloc&) {
    sqlite3_result_error_nomem(ctx);
  }
}

// The gathered elements in the order of their keys, then each once when asked; DISTINCT without
// an order gives them sorted, as a sort finds the duplicates.
void arrange(Gather& g, sqlite3* db) {
  std::vector<size_t> at(g.c.items.size());
  for (size_t k = 0; k < at.size(); ++k) at[k] = k;
  if (!g.order.empty()) {
    const Charset cs = connectionCharset(db);
    std::stable_sort(at.begin(), at.end(), [&](size_t a, size_t b) {
      for (size_t k = 0; k < g.order.size(); ++k)
        if (int c = compareValues(g.keys[a][k], g.keys[b][k], g.order[k], cs)) return c < 0;
      return false;
    });
  } else if (g.flags & 2) {
    std::stable_sort(at.begin(), at.end(), [&](size_t a, size_t b) { return compareElems(g.c.items[a], g.c.items[b]) < 0; });
  }
  std::vector<CollElem> items;
  items.reserve(at.size());
  for (size_t k : at) {
    const CollElem& x = g.c.items[k];
    if ((g.flags & 2) && std::any_of(items.begin(), items.end(), [&](const CollElem& y) { return compareElems(x, y) == 0; }))
      continue;
    items.push_back(x);
  }
  g.c.items = std::move(items);
}

void gatherFinal(Ctx* ctx) {
  auto** acc = static_cast<Gather**>(sqlite3_aggregate_context(ctx, 0));
  std::unique_ptr<Gather> g(acc ? *acc : nullptr);
  if (acc) *acc = nullptr;
  try {
    if (!g) {
      // no rows: the type is not known here, the caller names it again
      sqlite3_result_null(ctx);
      return;
    }
    if (g->flags & 2 || !g->order.empty()) arrange(*g, sqlite3_context_db_handle(ctx));
    checkLimit(g->c, g->limit);
    resultColl(ctx, g->c);
  } catch (const OraError& e) {
    sqlite3_result_error(ctx, e.text.c_str(), -1);
  } catch (const std::bad_alloc&) {
    sqlite3_result_error_nomem(ctx);
  }
}

// ora_coll_or_empty(x, type, kind, elem): an aggregate's value over no rows is the empty collection
void orEmpty(Ctx* ctx, int, Val** argv) {
  if (sqlite3_value_type(argv[0]) != SQLITE_NULL) return sqlite3_result_value(ctx, argv[0]);
  CollValue c;
  c.type = textArg(argv[1]);
  c.kind = textArg(argv[2]).c_str()[0];
  c.elem = textArg(argv[3]).c_str()[0];
  resultColl(ctx, c);
}

// ---- the table function over a collection's elements

// What a module's rows are: elements of a declared type, or the attributes of object elements.
struct RowsKind {
  std::string decl;
  std::vector<std::pair<std::string, std::string>> attrs; // name, declaration
};

struct Table {
  sqlite3_vtab base{};
  int argColumn = 1;
  size_t attrs = 0;
};

struct Cursor {
  sqlite3_vtab_cursor base{};
  CollValue c;
  size_t at = 0;
};

int connect(sqlite3* db, void* aux, int, const char* const*, sqlite3_vtab** out, char**) {
  const auto& kind = *static_cast<RowsKind*>(aux);
  const std::string& decl = kind.decl;
  int rc;
  try {
    std::string value = "\"COLUMN_VALUE\"" + (decl.empty() ? std::string() : " " + decl);
    // an object's attributes are the columns; the element itself stays reachable by name (the
    // function's argument goes to the first hidden column)
    std::string ddl = "CREATE TABLE x(" + (kind.attrs.empty() ? value + ", \"COLL$\" HIDDEN" : "\"COLL$\" HIDDEN, " + value + " HIDDEN");
    for (const auto& a : kind.attrs) ddl += ", " + quoteIdent(a.first) + " " + a.second;
    ddl += ")";
    rc = sqlite3_declare_vtab(db, ddl.c_str());
  } catch (const std::bad_alloc&) {
    return SQLITE_NOMEM;
  }
  if (rc != SQLITE_OK) return rc;
  auto* t = new (std::nothrow) Table;
  if (!t) return SQLITE_NOMEM;
  t->attrs = kind.attrs.size();
  t->argColumn = kind.attrs.empty() ? 1 : 0;
  *out = &t->base;
  return SQLITE_OK;
}

int bestIndex(sqlite3_vtab* v, sqlite3_index_info* info) {
  return argumentPlan(info, reinterpret_cast<Table*>(v)->argColumn, 1);
}

int open(sqlite3_vtab*, sqlite3_vtab_cursor** out) {
  auto* c = new (std::nothrow) Cursor;
  if (!c) return SQLITE_NOMEM;
  *out = &c->base;
  return SQLITE_OK;
}

int filter(sqlite3_vtab_cursor* cur, int, const char*, int argc, sqlite3_value** argv) {
  auto* c = reinterpret_cast<Cursor*>(cur);
  c->c = CollValue{};
  c->at = 0;
  if (argc < 1) return SQLITE_OK;
  try {
    collArg(argv[0], c->c); // a NULL collection has no rows
  } catch (const OraError& e) {
    sqlite3_free(cur->pVtab->zErrMsg);
    cur->pVtab->zErrMsg = sqlite3_mprintf("%s", e.text.c_str());
    return SQLITE_ERROR;
  } catch (const std::bad_alloc&) {
    return SQLITE_NOMEM;
  }
  return SQLITE_OK;
}

int eof(sqlite3_vtab_cursor* cur) {
  auto* c = reinterpret_cast<Cursor*>(cur);
  return c->at >= c->c.items.size();
}

int column(sqlite3_vtab_cursor* cur, sqlite3_context* ctx, int i) {
  auto* c = reinterpret_cast<Cursor*>(cur);
  size_t attrs = reinterpret_cast<Table*>(cur->pVtab)->attrs;
  if (attrs) --i; // after the argument's column
  if (c->at >= c->c.items.size() || i < 0 || static_cast<size_t>(i) > attrs) {
    sqlite3_result_null(ctx);
  } else if (i == 0) {
    resultElem(ctx, c->c.items[c->at]);
  } else {
    // an attribute of the element; a NULL element has NULL attributes
    ObjValue o;
    const CollElem& e = c->c.items[c->at];
    if (e.tag == CollElem::Text && decodeObject(e.s, o) && static_cast<size_t>(i) <= o.attrs.size())
      attrResult(ctx, o.attrs[static_cast<size_t>(i - 1)]);
    else
      sqlite3_result_null(ctx);
  }
  return SQLITE_OK;
}

const sqlite3_module kModule = rowsModule<Table, Cursor>(connect, bestIndex, open, filter, eof, column);

} // namespace

void registerCollectionFunctions(sqlite3* db) {
  struct F {
    const char* name;
    int args;
    void (*fn)(Ctx*, int, Val**);
  };
  static const F fns[] = {
      {"ora_coll", -1, fn::guarded<construct>},
      {"ora_coll_make", -1, fn::guarded<construct>}, // a PL/SQL variable's value in a statement
      {"ora_coll_cast", 5, fn::guarded<castColl>},
      {"CARDINALITY", 1, fn::guarded<cardinality>},
      {"ora_coll_member", 2, fn::guarded<memberOf>},
      {"ora_coll_submultiset", 2, fn::guarded<submultiset>},
      {"ora_coll_isset", 1, fn::guarded<isASet>},
      {"ora_coll_isempty", 1, fn::guarded<isEmpty>},
      {"ora_coll_set", 1, fn::guarded<setOf>},
      {"ora_coll_union", 3, fn::guarded<multiset<0>>},
      {"ora_coll_intersect", 3, fn::guarded<multiset<1>>},
      {"ora_coll_except", 3, fn::guarded<multiset<2>>},
      {"ora_coll_eq", 2, fn::guarded<equal>},
      {"ora_coll_or_empty", 4, fn::guarded<orEmpty>},
  };
  for (const F& f : fns)
    sqlite3_create_function(db, f.name, f.args, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, f.fn, nullptr, nullptr);
  sqlite3_create_function(db, "ora_coll_agg", -1, SQLITE_UTF8, nullptr, nullptr, gatherStep, gatherFinal);
}

std::string collectionRowsModule(sqlite3* db, const std::string& decl, const std::string& objectType,
                                 const std::vector<std::pair<std::string, std::string>>* fields) {
  auto kind = std::make_unique<RowsKind>();
  kind->decl = decl;
  std::string name = "ora_coll_rows", key = decl;
  if (auto ot = objectType.empty() || fields ? nullptr : ora::objectType(db, objectType)) {
    for (const ObjAttr& a : ot->attrs) kind->attrs.emplace_back(a.name, a.type.object.empty() ? a.typeText : std::string());
    key = "OBJ_" + objectType;
  }
  if (fields) {
    // a record type's fields (the key names the type and its fields, which may change)
    kind->attrs = *fields;
    key = "REC_" + objectType;
    for (const auto& f : *fields) key += "_" + f.first + "_" + f.second;
  }
  for (char ch : key) {
    if ((ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9')) name += ch;
    else name += '_';
  }
  // registered once per connection: replacing a module would pull it from under its statements
  sqlite3_stmt* probe = nullptr;
  std::string sql = "SELECT 1 FROM " + name + "(NULL)";
  bool known = sqlite3_prepare_v2(db, sql.c_str(), -1, &probe, nullptr) == SQLITE_OK;
  sqlite3_finalize(probe);
  if (known) return name;
  sqlite3_create_module_v2(db, name.c_str(), &kModule, kind.release(), [](void* p) { delete static_cast<RowsKind*>(p); });
  return name;
}

std::string columnCollectionType(sqlite3* db, const std::string& table, const std::string& column, bool* exists) {
  const char* decl = nullptr;
  bool found = sqlite3_table_column_metadata(db, nullptr, table.c_str(), column.c_str(), &decl, nullptr, nullptr, nullptr,
                                             nullptr) == SQLITE_OK;
  if (exists) *exists = found;
  // its declaration names the type
  if (!found || !decl || std::strncmp(decl, "COLL$", 5) != 0) return {};
  std::string type = decl + 5;
  return type.substr(0, type.find(' '));
}

} // namespace ora
