// BULK COLLECT INTO collections, FORALL with its SQL%BULK_ROWCOUNT and SAVE EXCEPTIONS, and
// UPDATE ... SET ROW = record.
#include "PlsqlRun.h"
#include "Session.h"
#include "SqlText.h"

#include <cmath>

namespace ora::pl {

namespace {

OraError compileError(const Run& r, size_t tok, const std::string& msg) {
  OraError e(6550);
  e.text = "ORA-06550: " + where(r.u.src, r.u.toks[std::min(tok, r.u.toks.size() - 1)].pos) + ":\n" + msg;
  return e;
}

long long wholeNumber(const Val& v) {
  if (v.k != Val::Num) throw valueError("");
  return std::llround(std::stod(v.s));
}

} // namespace

void Run::bulkInto(const std::vector<Range>& targets, const std::vector<std::string>& names,
                   std::vector<std::vector<Val>>&& rows, size_t at) {
  std::vector<Var*> colls;
  for (Range r : targets) {
    size_t next;
    Var* v = wholeVar(r.b, r.e, next);
    if (!v || !v->isColl() || next != r.e)
      throw compileError(*this, r.b, "PLS-00403: expression '" + u.text(r) + "' cannot be used as an INTO-target of a SELECT/FETCH statement");
    colls.push_back(v);
  }
  bool records = colls.size() == 1 && colls[0]->def->proto.record;
  size_t width = names.size();
  if (!records && colls.size() != width) {
    throw compileError(*this, at, colls.size() < width ? "PL/SQL: ORA-00913: too many values"
                                                       : "PL/SQL: ORA-00947: not enough values");
  }
  for (size_t c = 0; c < colls.size(); ++c) {
    const TypeDef& d = *colls[c]->def;
    if (d.kind == TypeDecl::Varray && static_cast<long long>(rows.size()) > d.limit) throw OraError(6532);
    auto cl = std::make_unique<Coll>();
    for (auto& row : rows) {
      Var el = d.proto;
      if (records) {
        if (el.fieldNames.empty()) el.fieldNames = names;
        if (el.fields.size() != row.size() && !el.fields.empty())
          throw compileError(*this, at, "PLS-00394: wrong number of values in the INTO list of a FETCH statement");
        el.fields.resize(row.size());
        for (size_t i = 0; i < row.size(); ++i) {
          if (i < el.fieldTypes.size() && el.fieldTypes[i].kind != TypeSpec::Unknown) {
            Var tmp;
            tmp.type = el.fieldTypes[i];
            store(tmp, asValue(row[i], tmp.type), at);
            el.fields[i] = tmp.v;
          } else {
            el.fields[i] = row[i];
          }
        }
      } else {
        store(el, asValue(row[c], el.type), at);
      }
      cl->num.emplace(++cl->size, std::move(el));
    }
    colls[c]->coll.p = std::move(cl);
  }
}

Flow Run::forall(const Stmt& s) {
  const auto& t = u.toks;
  bulkRowcount.clear();
  bulkExceptions.clear();
  std::vector<long long> indexes;
  long long lo = 0, hi = -1; // lo..hi: counted, not listed
  if (s.forallOf == 0) {
    lo = wholeNumber(eval(s.lo));
    hi = wholeNumber(eval(s.hi));
  } else {
    size_t next;
    Var* c = wholeVar(s.target.b, s.target.e, next);
    if (!c || !c->isColl() || c->def->strKeys)
      throw compileError(*this, s.target.b, "PLS-00103: Encountered the symbol \"" + u.text(s.target) + "\"");
    if (!c->coll.p) throw OraError(6531);
    bool between = !s.lo.empty();
    long long from = between ? wholeNumber(eval(s.lo)) : 0, to = between ? wholeNumber(eval(s.hi)) : 0;
    for (auto& [k, el] : c->coll.p->num) {
      if (between && (k < from || k > to)) continue;
      if (s.forallOf == 1) indexes.push_back(k);
      else if (el.v.k != Val::Null) indexes.push_back(wholeNumber(el.v));
    }
  }
  Scope sc;
  Var& iv = sc.vars[s.name];
  iv.type.kind = TypeSpec::Number;
  iv.constant = true;
  scopes.push_back(&sc);
  struct Pop {
    Run& r;
    ~Pop() { r.scopes.pop_back(); }
  } pop{*this};
  int64_t total = 0;
  long long ordinal = 0;
  size_t count = s.forallOf == 0 ? (hi >= lo ? static_cast<size_t>(hi - lo) + 1 : 0) : indexes.size();
  for (size_t n = 0; n < count; ++n) {
    long long i = s.forallOf == 0 ? lo + static_cast<long long>(n) : indexes[n];
    ++ordinal;
    iv.v = Val{Val::Num, std::to_string(i), false};
    try {
      stmt(*s.body[0]);
      lastAt = s.at;
      bulkRowcount[i] += sqlRowcount;
      total += sqlRowcount;
    } catch (OraError& e) {
      lastAt = s.at; // an error is the FORALL statement's
      if (e.code == 1403) {
        // lo..hi over a collection with a gap
        OraError gap(22160);
        gap.text = "ORA-22160: element at index [" + std::to_string(i) + "] does not exist";
        throw gap;
      }
      if (!s.when || e.code == 6550 || (e.code == 1013 && e.detail == "runaway")) {
        sqlRowcount = total;
        throw;
      }
      bulkRowcount[i] += 0;
      bulkExceptions.emplace_back(s.forallOf == 0 ? i : ordinal, e.code);
    }
  }
  (void)t;
  sqlRowcount = total;
  sqlFound = total > 0 ? 1 : 0;
  if (!bulkExceptions.empty()) throw OraError(24381);
  return Flow::Next;
}

// SQL%BULK_ROWCOUNT(i), SQL%BULK_EXCEPTIONS.COUNT and SQL%BULK_EXCEPTIONS(j).ERROR_INDEX or
// .ERROR_CODE at token k ("SQL").
bool Run::bulkAttribute(size_t k, size_t e, std::string& rep, size_t& used) {
  const auto& t = u.toks;
  if (k + 2 >= e || !isOp(t, k + 1, "%")) return false;
  const std::string& a = t[k + 2].text;
  if (a != "BULK_ROWCOUNT" && a != "BULK_EXCEPTIONS") return false;
  size_t p = k + 3;
  if (a == "BULK_EXCEPTIONS" && isOp(t, p, ".") && p + 1 < e && t[p + 1].text == "COUNT") {
    rep = std::to_string(bulkExceptions.size());
    used = p + 2 - k;
    return true;
  }
  if (!isOp(t, p, "(")) throw compileError(*this, p, "PLS-00103: Encountered the symbol \"" + t[p].text + "\"");
  size_t close = closing(t, p);
  long long i = wholeNumber(eval({p + 1, close}));
  p = close + 1;
  if (a == "BULK_ROWCOUNT") {
    auto it = bulkRowcount.find(i);
    if (it == bulkRowcount.end()) throw OraError(1403);
    rep = std::to_string(it->second);
  } else {
    if (i < 1 || i > static_cast<long long>(bulkExceptions.size())) throw OraError(1403);
    if (!isOp(t, p, ".") || p + 1 >= e || (t[p + 1].text != "ERROR_INDEX" && t[p + 1].text != "ERROR_CODE"))
      throw compileError(*this, p, "PLS-00302: component must be declared");
    const auto& x = bulkExceptions[static_cast<size_t>(i - 1)];
    rep = std::to_string(t[p + 1].text == "ERROR_INDEX" ? x.first : x.second);
    p += 2;
  }
  used = p - k;
  return true;
}

// UPDATE table SET ROW = record: each column of the table set from the record's field in order.
std::string Run::rowSet(size_t k, size_t e, Range statement, size_t& used) {
  const auto& t = u.toks;
  size_t p;
  Var* v = wholeVar(k + 2, e, p);
  while (v && v->isColl() && isOp(t, p, "(")) v = element(*v, p, p, false);
  if (!v || !v->record) throw compileError(*this, k + 2, "PLS-00382: expression is of wrong type");
  size_t tb = statement.b + 1;
  if (isOp(t, tb + 1, ".")) tb += 2;
  Catalog cat(ses.db, ses.user, &ses);
  std::string table = t[tb].text;
  if (!cat.tableExists(table)) {
    std::string target = cat.synonymTarget(table);
    if (!target.empty()) table = target;
  }
  auto cols = cat.columns(table);
  std::erase_if(cols, [](const ColumnInfo& c) { return c.invisible; }); // the row "*" reads
  if (cols.size() != v->fields.size())
    throw compileError(*this, k, cols.size() < v->fields.size() ? "PL/SQL: ORA-00913: too many values"
                                                                : "PL/SQL: ORA-00947: not enough values");
  std::string out;
  for (size_t i = 0; i < cols.size(); ++i) out += (i ? ", " : "") + quoteIdent(cols[i].name) + " = " + literal(v->fields[i]);
  used = p - k;
  return out;
}

} // namespace ora::pl
