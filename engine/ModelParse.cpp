// Reading a MODEL clause: its column lists, options and rules, and the statement written again
// with the query below the clause as a marked inline view.
#include "ModelClause.h"

#include "SqlLexer.h"
#include "SqlText.h"
#include "SqlTokens.h"

#include <algorithm>
#include <set>
#include <sqlite3.h>

namespace ora {

namespace model {

Expr::~Expr() { sqlite3_finalize(st); }

namespace {

using sql::Tok;
using sql::Token;

// Brackets of cell references as parentheses (the lexer takes no brackets), and where they are.
std::string bracketsAsParens(const std::string& text, std::set<size_t>& at) {
  std::string out = text;
  std::string lit;
  for (size_t i = 0; i < out.size();) {
    if (sql::readLiteral(out, i, lit)) continue;
    char c = out[i];
    if (c == '"') {
      size_t e = out.find('"', i + 1);
      i = e == std::string::npos ? out.size() : e + 1;
    } else if (c == '-' && i + 1 < out.size() && out[i + 1] == '-') {
      size_t e = out.find('\n', i);
      i = e == std::string::npos ? out.size() : e + 1;
    } else if (c == '/' && i + 1 < out.size() && out[i + 1] == '*') {
      size_t e = out.find("*/", i + 2);
      i = e == std::string::npos ? out.size() : e + 2;
    } else {
      if (c == '[' || c == ']') {
        at.insert(i);
        out[i] = c == '[' ? '(' : ')';
      }
      ++i;
    }
  }
  return out;
}

class Reader {
public:
  Reader(const std::string& text, Clause& parsed)
      : text_(text), shown_(bracketsAsParens(text, brackets_)), tl_(shown_), s_(parsed) {
    if (!tl_.ok) throw OraError(911);
  }
  const sql::TokenList& tokens() const { return tl_; }
  size_t readClause(size_t at);

private:
  struct Ctx {
    int dimPos = -1;  // the position a CV() stands for; -1 where CV is no use
    int condDim = -1; // a bare name of this dimension is the candidate cell's value
    bool rowNames = false; // bare dimension and measure names are the cell's (ORDER BY)
    bool aggArg = false;   // bare measure names are each cell's (an aggregate's argument)
    bool lhs = false;      // the cell a rule assigns: no CV there
    bool until = false;    // the UNTIL condition: PREVIOUS is for it alone
  };
  bool bracket(size_t k) const { return tl_.op(k, "(") && brackets_.count(tl_.t[k].pos); }
  int index(const std::vector<std::string>& names, size_t k) const {
    if (!tl_.name(k)) return -1;
    auto it = std::find(names.begin(), names.end(), tl_.t[k].text);
    return it == names.end() ? -1 : static_cast<int>(it - names.begin());
  }
  // Commas at the top level of [b, e).
  std::vector<std::pair<size_t, size_t>> split(size_t b, size_t e) const {
    std::vector<std::pair<size_t, size_t>> parts;
    size_t pb = b;
    for (size_t k = b; k < e; ++k) {
      if (tl_.op(k, "(")) k = tl_.close(k);
      else if (tl_.op(k, ",")) {
        parts.emplace_back(pb, k);
        pb = k + 1;
      }
    }
    if (pb < e || !parts.empty()) parts.emplace_back(pb, e);
    return parts;
  }
  size_t find(size_t b, size_t e, const char* w) const {
    for (size_t k = b; k < e; ++k) {
      if (tl_.op(k, "(")) k = tl_.close(k);
      else if (tl_.word(k, w) || tl_.op(k, w)) return k;
    }
    return e;
  }
  std::string gap(size_t k) const { // the text before token k since the one before it
    return k == 0 ? std::string() : text_.substr(tl_.t[k - 1].end, tl_.t[k].pos - tl_.t[k - 1].end);
  }
  std::string slice(size_t b, size_t e) const {
    return b < e ? text_.substr(tl_.t[b].pos, tl_.t[e - 1].end - tl_.t[b].pos) : std::string();
  }
  void columns(size_t open, std::vector<std::string>& names, std::vector<std::string>& items, bool main = true);
  // Whether the column a reference reads is a DATE (kept as its text, which a bind leaves untyped).
  bool dated(const Ref& r) const {
    size_t np = s_.parts.size(), nd = s_.dims.size();
    auto is = [&](size_t col) { return col < s_.types.size() && s_.types[col] == 'D'; };
    if (r.cell.model >= 0) return false; // a reference model's columns are not typed here
    switch (r.kind) {
    case Ref::Cell:
    case Ref::Previous:
    case Ref::MeasureValue: return is(np + nd + static_cast<size_t>(r.kind == Ref::MeasureValue ? r.index : r.cell.measure));
    case Ref::Agg: return (r.fn == "MIN" || r.fn == "MAX") && r.index >= 0 && is(np + nd + static_cast<size_t>(r.index));
    case Ref::Cv:
    case Ref::DimValue: return is(np + static_cast<size_t>(r.index));
    case Ref::CvPartition: return is(static_cast<size_t>(r.index));
    default: return false;
    }
  }
  void bind(Expr& out, Ref r, const char* form = nullptr) {
    bool date = dated(r);
    out.refs.push_back(std::move(r));
    std::string b = ":MREF" + std::to_string(out.refs.size());
    if (date) b = "TO_DATE(" + b + ", 'YYYY-MM-DD HH24:MI:SS')";
    out.text += form ? std::string("(") + b + form + ")" : b;
  }
  size_t cell(size_t k, CellRef& c, const Ctx& ctx, bool lhs);
  DimPick dimPick(size_t b, size_t e, int p, const Ctx& ctx, bool lhs);
  bool mentions(size_t b, size_t e, int dim) const;
  void emit(size_t b, size_t e, const Ctx& ctx, Expr& out);
  ExprPtr expr(size_t b, size_t e, const Ctx& ctx, bool condition = false) {
    if (b >= e) throw OraError(936).at(static_cast<int>(tl_.t[b].pos));
    auto x = std::make_shared<Expr>();
    x->condition = condition;
    emit(b, e, ctx, *x);
    return x;
  }
  void rule(size_t b, size_t e, Mode mode);

  std::string text_;
  std::set<size_t> brackets_;
  std::string shown_;
  sql::TokenList tl_;
  Clause& s_;
};

// ( expr [AS] alias, ... ): a name of each item, its alias or its column's.
void Reader::columns(size_t open, std::vector<std::string>& names, std::vector<std::string>& items, bool main) {
  if (!tl_.op(open, "(")) throw OraError(906).at(static_cast<int>(tl_.t[open].pos));
  size_t close = tl_.close(open);
  for (auto [b, e] : split(open + 1, close)) {
    if (b >= e) throw OraError(936).at(static_cast<int>(tl_.t[b].pos));
    std::string name;
    size_t ee = e;
    if (e - b >= 2 && tl_.name(e - 1) && (tl_.word(e - 2, "AS") || tl_.name(e - 2) || tl_.op(e - 2, ")") ||
                                          tl_.t[e - 2].kind == Tok::Str || tl_.t[e - 2].kind == Tok::Num)) {
      name = tl_.t[e - 1].text;
      ee = tl_.word(e - 2, "AS") ? e - 2 : e - 1;
    } else if (tl_.name(e - 1) && (e - b == 1 || tl_.op(e - 2, "."))) {
      name = tl_.t[e - 1].text;
    } else {
      throw OraError(32614).at(static_cast<int>(tl_.t[b].pos)); // an expression needs an alias
    }
    if ((main && (std::find(s_.parts.begin(), s_.parts.end(), name) != s_.parts.end() ||
                  std::find(s_.dims.begin(), s_.dims.end(), name) != s_.dims.end() ||
                  std::find(s_.measures.begin(), s_.measures.end(), name) != s_.measures.end())) ||
        std::find(names.begin(), names.end(), name) != names.end())
      throw OraError(960).at(static_cast<int>(tl_.t[e - 1].pos));
    names.push_back(name);
    items.push_back(slice(b, ee));
  }
}

// Whether a bare name of the dimension occurs in [b, e) outside nested cell references.
bool Reader::mentions(size_t b, size_t e, int dim) const {
  for (size_t k = b; k < e; ++k) {
    if (bracket(k) || (tl_.word(k, "CV") && tl_.op(k + 1, "("))) {
      k = tl_.close(bracket(k) ? k : k + 1);
      continue;
    }
    if (index(s_.dims, k) == dim && !(k > 0 && tl_.op(k - 1, ".")) && !tl_.op(k + 1, "(")) return true;
  }
  return false;
}

DimPick Reader::dimPick(size_t b, size_t e, int p, const Ctx& outer, bool lhs) {
  DimPick d;
  if (b >= e) throw OraError(936).at(static_cast<int>(tl_.t[b].pos));
  Ctx ctx;
  ctx.dimPos = lhs ? -1 : p;
  ctx.lhs = lhs;
  ctx.until = outer.until;
  if (e == b + 1 && tl_.word(b, "ANY")) {
    d.kind = DimPick::Any;
    d.symbolic = true; // as dim IS ANY: UPSERT ALL takes the values the cells have
    return d;
  }
  if (tl_.word(b, "FOR")) {
    if (!lhs) throw OraError(32612).at(static_cast<int>(tl_.t[b].pos));
    int named = index(s_.dims, b + 1);
    if (named < 0) throw OraError(904, tl_.name(b + 1) ? tl_.t[b + 1].text : "FOR").at(static_cast<int>(tl_.t[b + 1].pos));
    if (named != p) throw OraError(32624).at(static_cast<int>(tl_.t[b + 1].pos));
    if (tl_.word(b + 2, "IN")) {
      if (!tl_.op(b + 3, "(")) throw OraError(906).at(static_cast<int>(tl_.t[b + 3].pos));
      size_t c = tl_.close(b + 3);
      if (c + 1 != e) throw OraError(907).at(static_cast<int>(tl_.t[c + 1].pos));
      if (tl_.word(b + 4, "SELECT") || tl_.word(b + 4, "WITH")) {
        d.kind = DimPick::ForQuery;
        d.query = slice(b + 4, c);
        return d;
      }
      d.kind = DimPick::ForIn;
      for (auto [ib, ie] : split(b + 4, c)) d.list.push_back(expr(ib, ie, ctx));
      return d;
    }
    if (!tl_.word(b + 2, "FROM")) throw OraError(905).at(static_cast<int>(tl_.t[b + 2].pos));
    size_t to = find(b + 3, e, "TO");
    if (to == e) throw OraError(905).at(static_cast<int>(tl_.t[e].pos));
    size_t inc = find(to + 1, e, "INCREMENT");
    if (inc == e) {
      inc = find(to + 1, e, "DECREMENT");
      d.decrement = inc < e;
    }
    if (inc == e) throw OraError(32608).at(static_cast<int>(tl_.t[e].pos));
    d.kind = DimPick::ForRange;
    d.value = expr(b + 3, to, ctx);
    d.to = expr(to + 1, inc, ctx);
    d.step = expr(inc + 1, e, ctx);
    return d;
  }
  if (e == b + 3 && tl_.word(b + 1, "IS") && tl_.word(b + 2, "ANY")) {
    if (index(s_.dims, b) != p) throw OraError(32649, tl_.t[b].text).at(static_cast<int>(tl_.t[b].pos));
    d.kind = DimPick::Any;
    d.symbolic = true;
    return d;
  }
  if (index(s_.dims, b) >= 0 && index(s_.dims, b) != p && tl_.op(b + 1, "="))
    throw OraError(32624).at(static_cast<int>(tl_.t[b].pos));
  if (index(s_.dims, b) == p && tl_.op(b + 1, "=") && !mentions(b + 2, e, p)) {
    d.symbolic = true;
    d.value = expr(b + 2, e, ctx);
    return d;
  }
  if (mentions(b, e, p)) {
    d.kind = DimPick::Cond;
    d.symbolic = true;
    ctx.condDim = p;
    d.value = expr(b, e, ctx, true);
    return d;
  }
  (void)outer;
  d.value = expr(b, e, ctx);
  return d;
}

// measure[...] at k: its reference; the index after its "]".
size_t Reader::cell(size_t k, CellRef& c, const Ctx& ctx, bool lhs) {
  c.measure = index(s_.measures, k);
  for (size_t m = 0; c.measure < 0 && m < s_.references.size(); ++m) {
    const RefModel& rm = s_.references[m];
    int at = index(rm.measures, k);
    if (at < 0) continue;
    // a reference model's cell: read only, each position a value
    if (lhs) throw OraError(32613).at(static_cast<int>(tl_.t[k].pos));
    c.model = static_cast<int>(m);
    c.measure = at;
    size_t close = tl_.close(k + 1);
    auto parts = split(k + 2, close);
    if (parts.size() < rm.dims.size()) throw OraError(947).at(static_cast<int>(tl_.t[close].pos));
    if (parts.size() > rm.dims.size()) throw OraError(913).at(static_cast<int>(tl_.t[parts[rm.dims.size()].first].pos));
    for (size_t p = 0; p < parts.size(); ++p) {
      auto [b, e] = parts[p];
      if (index(rm.dims, b) == static_cast<int>(p) && tl_.op(b + 1, "=")) b += 2;
      Ctx plain;
      plain.until = ctx.until;
      DimPick d;
      d.value = expr(b, e, plain);
      c.dims.push_back(std::move(d));
    }
    return close + 1;
  }
  if (c.measure < 0) {
    if (index(s_.dims, k) >= 0 || index(s_.parts, k) >= 0) throw OraError(32613).at(static_cast<int>(tl_.t[k].pos));
    throw OraError(904, tl_.t[k].text).at(static_cast<int>(tl_.t[k].pos));
  }
  size_t close = tl_.close(k + 1);
  auto parts = split(k + 2, close);
  if (parts.size() < s_.dims.size()) throw OraError(947).at(static_cast<int>(tl_.t[close].pos));
  if (parts.size() > s_.dims.size()) throw OraError(913).at(static_cast<int>(tl_.t[parts[s_.dims.size()].first].pos));
  for (size_t p = 0; p < parts.size(); ++p)
    c.dims.push_back(dimPick(parts[p].first, parts[p].second, static_cast<int>(p), ctx, lhs));
  return close + 1;
}

void Reader::emit(size_t b, size_t e, const Ctx& ctx, Expr& out) {
  for (size_t k = b; k < e;) {
    if (k > b) out.text += gap(k);
    const Token& t = tl_.t[k];
    bool named = tl_.name(k) && !(k > 0 && tl_.op(k - 1, "."));
    if (named && bracket(k + 1)) { // a single cell
      Ref r;
      size_t after = cell(k, r.cell, ctx, false);
      for (auto& d : r.cell.dims)
        if (d.kind != DimPick::Value) throw OraError(32622).at(static_cast<int>(t.pos));
      if (tl_.word(after, "IS") && tl_.word(after + 1, "PRESENT")) {
        r.kind = Ref::Present;
        bind(out, std::move(r), " = 1");
        k = after + 2;
      } else {
        bind(out, std::move(r));
        k = after;
      }
      continue;
    }
    if (t.kind == Tok::Ident && tl_.op(k + 1, "(") && !bracket(k + 1)) {
      size_t c = tl_.close(k + 1);
      if (bracket(c + 1)) { // an aggregate over cells
        Ref r;
        r.kind = Ref::Agg;
        r.fn = t.text;
        if (tl_.op(k + 2, "*") && c == k + 3) r.index = -1;
        else if (c == k + 3 && index(s_.measures, k + 2) >= 0) r.index = index(s_.measures, k + 2);
        else {
          Ctx a;
          a.aggArg = true;
          r.arg = expr(k + 2, c, a);
        }
        r.cell.measure = 0;
        size_t close = tl_.close(c + 1);
        auto parts = split(c + 2, close);
        if (parts.size() < s_.dims.size()) throw OraError(947).at(static_cast<int>(tl_.t[close].pos));
        if (parts.size() > s_.dims.size()) throw OraError(913).at(static_cast<int>(tl_.t[parts[s_.dims.size()].first].pos));
        for (size_t p = 0; p < parts.size(); ++p)
          r.cell.dims.push_back(dimPick(parts[p].first, parts[p].second, static_cast<int>(p), ctx, false));
        bind(out, std::move(r));
        k = close + 1;
        continue;
      }
      if (t.text == "CV") {
        if (ctx.lhs) throw OraError(32611).at(static_cast<int>(t.pos));
        Ref r;
        r.kind = Ref::Cv;
        if (c == k + 2) {
          if (ctx.dimPos < 0) throw OraError(32611).at(static_cast<int>(t.pos));
          r.index = ctx.dimPos;
        } else if (c == k + 3 && index(s_.dims, k + 2) >= 0) {
          r.index = index(s_.dims, k + 2);
        } else if (c == k + 3 && index(s_.parts, k + 2) >= 0) {
          r.kind = Ref::CvPartition;
          r.index = index(s_.parts, k + 2);
        } else {
          throw OraError(32648, slice(k + 2, c)).at(static_cast<int>(tl_.t[k + 2].pos));
        }
        bind(out, std::move(r));
        k = c + 1;
        continue;
      }
      if (t.text == "PRESENTV" || t.text == "PRESENTNNV" || t.text == "PREVIOUS") {
        auto args = split(k + 2, c);
        bool prev = t.text == "PREVIOUS";
        if (prev && !ctx.until) throw OraError(32618).at(static_cast<int>(t.pos));
        if (args.size() != (prev ? 1u : 3u)) throw OraError(prev ? 32618 : 32623).at(static_cast<int>(t.pos));
        Ref r;
        r.kind = prev ? Ref::Previous : t.text == "PRESENTV" ? Ref::Present : Ref::PresentNN;
        if (!bracket(args[0].first + 1) || cell(args[0].first, r.cell, ctx, false) != args[0].second)
          throw OraError(prev ? 32618 : 32623).at(static_cast<int>(t.pos));
        for (auto& d : r.cell.dims)
          if (d.kind != DimPick::Value) throw OraError(32622).at(static_cast<int>(t.pos));
        if (prev) {
          bind(out, std::move(r));
        } else {
          out.text += "CASE WHEN ";
          bind(out, std::move(r), " = 1");
          out.text += " THEN (";
          emit(args[1].first, args[1].second, ctx, out);
          out.text += ") ELSE (";
          emit(args[2].first, args[2].second, ctx, out);
          out.text += ") END";
        }
        k = c + 1;
        continue;
      }
    }
    // an analytic function here would see the one row of the expression's query, not the cells
    if (t.kind == Tok::Ident && t.text == "OVER" && tl_.op(k + 1, "(")) throw OraError(32621).at(static_cast<int>(t.pos));
    if (t.kind == Tok::Ident && t.text == "ITERATION_NUMBER") {
      Ref r;
      r.kind = Ref::Iteration;
      bind(out, std::move(r));
      ++k;
      continue;
    }
    if (named && !tl_.op(k + 1, "(")) {
      int d = index(s_.dims, k), m = index(s_.measures, k);
      if ((d >= 0 && (d == ctx.condDim || ctx.rowNames)) || (m >= 0 && (ctx.rowNames || ctx.aggArg))) {
        Ref r;
        r.kind = d >= 0 ? Ref::DimValue : Ref::MeasureValue;
        r.index = d >= 0 ? d : m;
        bind(out, std::move(r));
        ++k;
        continue;
      }
    }
    out.text += slice(k, k + 1);
    ++k;
  }
}

void Reader::rule(size_t b, size_t e, Mode mode) {
  Rule r;
  r.mode = mode;
  if (tl_.word(b, "UPDATE")) {
    r.mode = Mode::Update;
    ++b;
  } else if (tl_.word(b, "UPSERT")) {
    r.mode = Mode::Upsert;
    if (tl_.word(++b, "ALL")) {
      r.mode = Mode::UpsertAll;
      ++b;
    }
  }
  if (!tl_.name(b) || !bracket(b + 1)) throw OraError(32613).at(static_cast<int>(tl_.t[b].pos));
  Ctx lhs;
  lhs.lhs = true;
  size_t after = cell(b, r.lhs, lhs, true);
  size_t eq = find(after, e, "=");
  if (eq == e) throw OraError(905).at(static_cast<int>(tl_.t[e].pos));
  if (tl_.word(after, "ORDER")) {
    if (!tl_.word(after + 1, "BY")) throw OraError(924).at(static_cast<int>(tl_.t[after + 1].pos));
    Ctx ctx;
    ctx.rowNames = true;
    for (auto [ib, ie] : split(after + 2, eq)) {
      OrderItem o;
      if (ie > ib + 1 && (tl_.word(ie - 1, "ASC") || tl_.word(ie - 1, "DESC"))) {
        o.desc = tl_.word(ie - 1, "DESC");
        --ie;
      }
      o.e = expr(ib, ie, ctx);
      r.order.push_back(o);
    }
  } else if (after != eq) {
    throw OraError(905).at(static_cast<int>(tl_.t[after].pos));
  }
  Ctx ctx;
  r.rhs = expr(eq + 1, e, ctx);
  s_.rules.push_back(std::move(r));
}

// MODEL at `at`: the clause; the index after it.
size_t Reader::readClause(size_t at) {
  size_t k = at + 1;
  auto options = [&] {
    for (;;) {
      if ((tl_.word(k, "IGNORE") || tl_.word(k, "KEEP")) && tl_.word(k + 1, "NAV")) {
        s_.ignoreNav = tl_.word(k, "IGNORE");
        k += 2;
      } else if (tl_.word(k, "UNIQUE") && tl_.word(k + 1, "DIMENSION")) {
        s_.singleReference = false;
        k += 2;
      } else if (tl_.word(k, "UNIQUE") && tl_.word(k + 1, "SINGLE") && tl_.word(k + 2, "REFERENCE")) {
        s_.singleReference = true;
        k += 3;
      } else if (tl_.word(k, "UNIQUE")) {
        throw OraError(32610).at(static_cast<int>(tl_.t[k + 1].pos));
      } else {
        break;
      }
    }
  };
  options();
  if (tl_.word(k, "RETURN")) {
    if (!(tl_.word(k + 1, "UPDATED") || tl_.word(k + 1, "ALL")) || !tl_.word(k + 2, "ROWS"))
      throw OraError(905).at(static_cast<int>(tl_.t[k + 1].pos));
    s_.updatedOnly = tl_.word(k + 1, "UPDATED");
    k += 3;
  }
  while (tl_.word(k, "REFERENCE")) {
    RefModel rm;
    if (!tl_.name(k + 1)) throw OraError(904).at(static_cast<int>(tl_.t[k + 1].pos));
    rm.name = tl_.t[k + 1].text;
    if (!tl_.word(k + 2, "ON")) throw OraError(905).at(static_cast<int>(tl_.t[k + 2].pos));
    if (!tl_.op(k + 3, "(")) throw OraError(906).at(static_cast<int>(tl_.t[k + 3].pos));
    size_t c = tl_.close(k + 3);
    rm.query = slice(k + 4, c);
    k = c + 1;
    if (!tl_.word(k, "DIMENSION") || !tl_.word(k + 1, "BY")) throw OraError(32616).at(static_cast<int>(tl_.t[k].pos));
    columns(k + 2, rm.dims, rm.dimItems, false);
    k = tl_.close(k + 2) + 1;
    if (!tl_.word(k, "MEASURES")) throw OraError(32617).at(static_cast<int>(tl_.t[k].pos));
    columns(k + 1, rm.measures, rm.measureItems, false);
    k = tl_.close(k + 1) + 1;
    options();
    s_.references.push_back(std::move(rm));
  }
  if (tl_.word(k, "MAIN")) k += 2;
  else if (!s_.references.empty()) throw OraError(32609).at(static_cast<int>(tl_.t[k].pos));
  if (tl_.word(k, "PARTITION")) {
    if (!tl_.word(k + 1, "BY")) throw OraError(924).at(static_cast<int>(tl_.t[k + 1].pos));
    columns(k + 2, s_.parts, s_.partItems);
    k = tl_.close(k + 2) + 1;
  }
  if (!tl_.word(k, "DIMENSION") || !tl_.word(k + 1, "BY")) throw OraError(32616).at(static_cast<int>(tl_.t[k].pos));
  columns(k + 2, s_.dims, s_.dimItems);
  k = tl_.close(k + 2) + 1;
  if (!tl_.word(k, "MEASURES")) throw OraError(32617).at(static_cast<int>(tl_.t[k].pos));
  columns(k + 1, s_.measures, s_.measureItems);
  k = tl_.close(k + 1) + 1;
  options();
  Mode mode = Mode::Upsert;
  if (tl_.word(k, "RULES")) {
    ++k;
    if (tl_.word(k, "UPDATE")) {
      mode = Mode::Update;
      ++k;
    } else if (tl_.word(k, "UPSERT")) {
      ++k;
      if (tl_.word(k, "ALL")) {
        mode = Mode::UpsertAll;
        ++k;
      }
    }
    if ((tl_.word(k, "AUTOMATIC") || tl_.word(k, "SEQUENTIAL")) && tl_.word(k + 1, "ORDER")) {
      s_.automatic = tl_.word(k, "AUTOMATIC");
      k += 2;
    }
    if (tl_.word(k, "ITERATE")) {
      if (!tl_.op(k + 1, "(")) throw OraError(906).at(static_cast<int>(tl_.t[k + 1].pos));
      size_t c = tl_.close(k + 1);
      if (c != k + 3 || tl_.t[k + 2].kind != Tok::Num || tl_.t[k + 2].text.find_first_not_of("0123456789") != std::string::npos)
        throw OraError(32607).at(static_cast<int>(tl_.t[k + 2].pos));
      s_.iterate = std::stol(tl_.t[k + 2].text);
      if (s_.iterate <= 0) throw OraError(32607).at(static_cast<int>(tl_.t[k + 2].pos));
      k = c + 1;
      if (tl_.word(k, "UNTIL")) {
        if (!tl_.op(k + 1, "(")) throw OraError(906).at(static_cast<int>(tl_.t[k + 1].pos));
        size_t uc = tl_.close(k + 1);
        Ctx ctx;
        ctx.until = true;
        s_.until = expr(k + 2, uc, ctx, true);
        k = uc + 1;
      }
    }
  }
  if (!tl_.op(k, "(")) throw OraError(906).at(static_cast<int>(tl_.t[k].pos));
  size_t close = tl_.close(k);
  if (close > k + 1)
    for (auto [b, e] : split(k + 1, close)) {
      if (b >= e) throw OraError(936).at(static_cast<int>(tl_.t[b].pos));
      rule(b, e, mode);
    }
  return close + 1;
}

} // namespace

std::unique_ptr<Clause> parseModel(const std::string& text, size_t& end, const std::string& types) {
  auto parsed = std::make_unique<Clause>();
  parsed->types = types;
  Reader r(text, *parsed);
  size_t k = r.readClause(0);
  end = r.tokens().t[k - 1].end;
  return parsed;
}

std::string exprSql(const Expr& e, Catalog& cat) {
  std::string text = e.condition ? "SELECT CASE WHEN " + e.text + " THEN 1 ELSE 0 END FROM DUAL"
                                 : "SELECT " + e.text + " FROM DUAL";
  HostBinds binds;
  Translation t = translate(text, cat, false, false);
  if (t.kind != StmtKind::Query || t.params.size() != e.refs.size()) throw OraError(32620);
  return t.sql;
}

} // namespace model

namespace {

bool hasModelWord(const std::string& text) {
  for (size_t i = 0; (i = text.find_first_of("mM", i)) != std::string::npos; ++i) {
    if (text.size() - i < 5) return false;
    bool ok = true;
    for (size_t k = 0; k < 5 && ok; ++k) ok = std::toupper(static_cast<unsigned char>(text[i + k])) == "MODEL"[k];
    if (ok) return true;
  }
  return false;
}

void compileExpr(const model::ExprPtr& e, Catalog& cat);

void compileCell(const model::CellRef& c, Catalog& cat) {
  for (const auto& d : c.dims) {
    compileExpr(d.value, cat);
    compileExpr(d.to, cat);
    compileExpr(d.step, cat);
    for (const auto& x : d.list) compileExpr(x, cat);
  }
}

void compileExpr(const model::ExprPtr& e, Catalog& cat) {
  if (!e) return;
  model::exprSql(*e, cat);
  for (const auto& r : e->refs) {
    compileCell(r.cell, cat);
    compileExpr(r.arg, cat);
  }
}

// Every expression translates: unknown names and functions fail as the statement is parsed.
void compileAll(model::Clause& s, Catalog& cat) {
  compileExpr(s.until, cat);
  for (const auto& r : s.rules) {
    compileCell(r.lhs, cat);
    for (const auto& o : r.order) compileExpr(o.e, cat);
    compileExpr(r.rhs, cat);
  }
}

} // namespace

void modelWrittenText(const std::string& text, const std::string& modelled, Translation& t) {
  if (t.kind != StmtKind::Ddl) return;
  size_t same = 0;
  while (same < text.size() && same < modelled.size() && text[same] == modelled[same]) ++same;
  for (std::string& ddl : t.ddl) {
    if (ddl.find("\"TESSEL$VIEWS\"") == std::string::npos) continue;
    // the query kept is the text from where it starts, which comes before the rewriting
    auto trimmed = [](std::string s) {
      while (!s.empty() && (s.back() == ' ' || s.back() == '\n' || s.back() == '\t' || s.back() == '\r')) s.pop_back();
      return s;
    };
    for (size_t q = same + 1; q-- > 0;) {
      std::string kept = quoteString(trimmed(modelled.substr(q)));
      if (size_t at = ddl.find(kept); at != std::string::npos) {
        ddl.replace(at, kept.size(), quoteString(trimmed(text.substr(q))));
        break;
      }
    }
  }
}

bool modelClause(const std::string& text, Catalog& cat, std::string& out) {
  // queries, INSERT and CREATE from one; a PL/SQL block's queries come here on their own
  if (!hasModelWord(text) || startsWithWord(text, "BEGIN") || startsWithWord(text, "DECLARE")) return false;
  std::set<size_t> brackets;
  std::string shown = model::bracketsAsParens(text, brackets);
  sql::TokenList tl(shown);
  if (!tl.ok) return false;
  const auto& t = tl.t;
  if (tl.word(0, "CREATE")) {
    // a stored unit keeps its text as written
    for (size_t i = 1; i < 5 && i < t.size(); ++i)
      if (tl.word(i, "PROCEDURE") || tl.word(i, "FUNCTION") || tl.word(i, "PACKAGE") || tl.word(i, "TRIGGER") ||
          tl.word(i, "TYPE"))
        return false;
  }
  static const char* const next[] = {"PARTITION", "DIMENSION", "UNIQUE", "IGNORE", "KEEP", "RETURN", "REFERENCE", "MAIN", "MEASURES"};
  size_t at = 0;
  for (size_t i = 1; i + 1 < t.size() && !at; ++i)
    if (tl.word(i, "MODEL") && std::any_of(std::begin(next), std::end(next), [&](const char* w) { return tl.word(i + 1, w); }))
      at = i;
  if (!at) return false;
  // the query block: its SELECT and FROM at the depth of MODEL
  std::vector<int> depth(t.size(), 0);
  for (size_t i = 0, d = 0; i < t.size(); ++i) {
    if (tl.op(i, ")") && d) --d;
    depth[i] = static_cast<int>(d);
    if (tl.op(i, "(")) ++d;
  }
  size_t sel = at, from = at;
  while (sel-- > 0)
    if (depth[sel] == depth[at] && tl.word(sel, "SELECT")) break;
  if (sel == static_cast<size_t>(-1)) throw OraError(928).at(static_cast<int>(t[at].pos));
  for (size_t i = sel + 1; i < at; ++i)
    if (depth[i] == depth[at] && tl.word(i, "FROM")) {
      from = i;
      break;
    }
  if (from == at) throw OraError(923).at(static_cast<int>(t[at].pos));
  const std::string rest = text.substr(t[at].pos);
  size_t length = 0;
  std::unique_ptr<model::Clause> parsed;
  try {
    parsed = model::parseModel(rest, length, std::string());
  } catch (OraError& e) {
    if (e.pos >= 0) e.pos += static_cast<int>(t[at].pos);
    throw;
  }
  const std::string clause = rest.substr(0, length);
  size_t end = at;
  while (end < t.size() && t[end].pos < t[at].pos + length) ++end;
  // the columns' types: a DATE's cells are read as dates
  std::string types;
  {
    std::string cols;
    auto list = [&](const std::vector<std::string>& exprs, const std::vector<std::string>& names) {
      for (size_t k = 0; k < exprs.size(); ++k) cols += (cols.empty() ? "" : ", ") + exprs[k] + " " + quoteIdent(names[k]);
    };
    list(parsed->partItems, parsed->parts);
    list(parsed->dimItems, parsed->dims);
    list(parsed->measureItems, parsed->measures);
    // the statement's WITH clause names what the query below may read
    std::string with = depth[at] == 0 && tl.word(0, "WITH") ? text.substr(0, t[sel].pos) : std::string();
    try {
      Translation below =
          translate(with + "SELECT " + cols + " " + text.substr(t[from].pos, t[at].pos - t[from].pos), cat, false, false);
      sqlite3_stmt* st = nullptr;
      if (sqlite3_prepare_v2(cat.db(), below.sql.c_str(), -1, &st, nullptr) == SQLITE_OK)
        for (int k = 0; k < sqlite3_column_count(st); ++k) {
          int code = resultType(st, k, below).code;
          types += code == kDate ? 'D' : code == kNumber ? 'N' : '-';
        }
      sqlite3_finalize(st);
    } catch (const OraError&) {
      types.clear(); // the statement's own translation reports it
    }
    size_t ignored = 0;
    parsed = model::parseModel(rest, ignored, types);
  }
  try {
    compileAll(*parsed, cat);
  } catch (OraError& e) {
    e.pos = -1; // a place in the text the translator read, not this one
    throw;
  }
  std::string items = quoteString(cat.user() + "\n" + types + "\n" + clause) + " " + quoteIdent(modelClauseColumn);
  auto add = [&](const std::vector<std::string>& exprs, const std::vector<std::string>& names) {
    for (size_t k = 0; k < exprs.size(); ++k) items += ", " + exprs[k] + " " + quoteIdent(names[k]);
  };
  add(parsed->partItems, parsed->parts);
  add(parsed->dimItems, parsed->dims);
  add(parsed->measureItems, parsed->measures);
  out = text.substr(0, t[from].pos) + "FROM (SELECT " + items + " " + text.substr(t[from].pos, t[at].pos - t[from].pos) +
        ") " + quoteIdent("MODEL$ROWS") + " " + (end < t.size() ? text.substr(t[end].pos) : std::string());
  return true;
}

} // namespace ora
