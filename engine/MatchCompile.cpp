// A MATCH_RECOGNIZE clause read into a Spec: its source's columns, keys, pattern and variables,
// and its DEFINE and MEASURES expressions translated once as SELECT <expression> FROM DUAL with
// a parameter for each reference to the rows of the match, which the matcher computes.
#include "MatchText.h"

#include "SqlText.h"
#include "TranslateImpl.h"

#include <algorithm>
#include <optional>
#include <sqlite3.h>

namespace ora {

namespace mr {

std::string matchModule(sqlite3* db, const std::shared_ptr<const Spec>& spec, const std::string& key);

namespace {

struct Stmt {
  sqlite3_stmt* st = nullptr;
  ~Stmt() { sqlite3_finalize(st); }
};

// The same kind of error, without a place: the text it was found in is not the user's.
[[noreturn]] void rethrowPlaceless(const OraError& e) {
  OraError copy = e;
  copy.pos = -1;
  throw copy;
}

class Compiler {
public:
  Compiler(const std::vector<Tok>& t, const std::string& text, Spec& spec, Catalog& cat)
      : t_(t), text_(text), spec_(spec), cat_(cat) {}

  void read();
  std::map<std::string, ColType> types; // of the measures

private:
  struct Nav {
    Ref::Nav nav = Ref::None, outer = Ref::None;
    int64_t offset = 0, outerOffset = 0;
    bool final = false, self = false;
  };

  bool op(size_t i, const char* o) const { return i < t_.size() && t_[i].kind == Tok::Op && t_[i].text == o; }
  bool word(size_t i, const char* w) const { return i < t_.size() && t_[i].kind == Tok::Ident && t_[i].text == w; }
  bool name(size_t i) const { return i < t_.size() && (t_[i].kind == Tok::Ident || t_[i].kind == Tok::QIdent); }
  [[noreturn]] void fail(size_t i, int code = 933) const {
    if (i >= t_.size()) throw OraError(code == 933 ? 907 : code);
    throw OraError(code).at(static_cast<int>(t_[i].pos));
  }
  size_t close(size_t open) const {
    int d = 0;
    for (size_t k = open; k < t_.size(); ++k) {
      if (op(k, "(")) ++d;
      else if (op(k, ")") && --d == 0) return k;
    }
    throw OraError(907);
  }
  // the next top-level comma or clause keyword from i
  size_t itemEnd(size_t i, size_t e) const {
    for (; i < e; ++i) {
      if (op(i, "(")) i = close(i);
      else if (op(i, ",")) return i;
    }
    return e;
  }
  bool clauseWord(size_t i) const {
    return (word(i, "ORDER") && word(i + 1, "BY")) || word(i, "MEASURES") || (word(i, "ONE") && word(i + 1, "ROW")) ||
           (word(i, "ALL") && word(i + 1, "ROWS")) || (word(i, "AFTER") && word(i + 1, "MATCH")) ||
           (word(i, "PATTERN") && op(i + 1, "(")) || word(i, "SUBSET") || word(i, "DEFINE");
  }
  size_t clauseEnd(size_t i) const {
    while (i < t_.size() && !clauseWord(i)) {
      if (op(i, "(")) i = close(i);
      ++i;
    }
    return i;
  }
  int column(const std::string& n) const {
    auto it = std::find(spec_.columns.begin(), spec_.columns.end(), n);
    return it == spec_.columns.end() ? -1 : static_cast<int>(it - spec_.columns.begin());
  }
  int set(const std::string& n) const {
    auto it = std::find(spec_.setNames.begin(), spec_.setNames.end(), n);
    return it == spec_.setNames.end() ? -1 : static_cast<int>(it - spec_.setNames.begin());
  }
  std::string raw(size_t b, size_t e) const { return b < e ? text_.substr(t_[b].pos, t_[e - 1].end - t_[b].pos) : ""; }

  std::vector<int> columnList(size_t b, size_t e, std::vector<Spec::Key>* keys);
  std::string rewrite(size_t b, size_t e, Expr& x, Nav nav, bool define);
  // The reference as a parameter of its type, so that the expression reads it as Oracle
  // would: DATE arithmetic, NUMBER comparisons.
  std::string param(Expr& x, const Ref& r) {
    x.refs.push_back(r);
    std::string p = ":R" + std::to_string(x.refs.size() - 1);
    std::optional<ColType> t = refType(r);
    if (t && t->code == kDate) return " TO_DATE(" + p + ", 'YYYY-MM-DD HH24:MI:SS') ";
    if (t && t->code == kNumber) return " TO_NUMBER(" + p + ") ";
    return " " + p + " ";
  }
  int compile(const std::string& expr, Expr x, bool define, const std::string& alias);
  int64_t offset(size_t b, size_t e) const {
    if (e != b + 1 || t_[b].kind != Tok::Num || t_[b].text.find('.') != std::string::npos || t_[b].text.size() > 9)
      throw OraError(62520).at(static_cast<int>(t_[b].pos));
    return std::stoll(t_[b].text);
  }

  // the type of a measure that is one reference alone
  std::optional<ColType> refType(const Ref& r) const {
    ColType t;
    switch (r.kind) {
    case Ref::Column: return spec_.types[static_cast<size_t>(r.column)];
    case Ref::MatchNumber: t.code = kNumber; return t;
    case Ref::Classifier: return std::nullopt;
    case Ref::Aggregate:
      if (r.function != "MIN" && r.function != "MAX") {
        t.code = kNumber;
        return t;
      }
      if (r.arg >= 0) {
        const Expr& a = spec_.exprs[static_cast<size_t>(r.arg)];
        if (a.refs.size() == 1 && a.refs[0].kind == Ref::Column) return spec_.types[static_cast<size_t>(a.refs[0].column)];
      }
      return std::nullopt;
    }
    return std::nullopt;
  }

  const std::vector<Tok>& t_;
  const std::string& text_;
  Spec& spec_;
  Catalog& cat_;
};

std::vector<int> Compiler::columnList(size_t b, size_t e, std::vector<Spec::Key>* keys) {
  std::vector<int> out;
  for (size_t i = b; i < e;) {
    size_t ie = itemEnd(i, e);
    if (!name(i)) fail(i, 936);
    int c = column(t_[i].text);
    if (c < 0) throw OraError(904, t_[i].text).at(static_cast<int>(t_[i].pos));
    Spec::Key k{c};
    size_t m = i + 1;
    if (keys && (word(m, "ASC") || word(m, "DESC"))) k.desc = word(m++, "DESC");
    k.nullsFirst = k.desc;
    if (keys && word(m, "NULLS") && (word(m + 1, "FIRST") || word(m + 1, "LAST"))) {
      k.nullsFirst = word(m + 1, "FIRST");
      m += 2;
    }
    if (m != ie) fail(m);
    out.push_back(c);
    if (keys) keys->push_back(k);
    i = ie + 1;
    if (ie == e - 1) fail(ie, 936);
  }
  return out;
}

// The expression's text with each reference to the match's rows as a parameter :Rn.
std::string Compiler::rewrite(size_t b, size_t e, Expr& x, Nav nav, bool define) {
  std::string out;
  bool final = false, pendingMode = false;
  for (size_t i = b; i < e; ++i) {
    const Tok& k = t_[i];
    bool call = op(i + 1, "(");
    if (k.kind == Tok::Ident && (k.text == "RUNNING" || k.text == "FINAL") && name(i + 1)) {
      const std::string& f = t_[i + 1].text;
      bool ok = op(i + 2, "(") && (f == "FIRST" || f == "LAST" || f == "COUNT" || f == "SUM" || f == "AVG" ||
                                   f == "MIN" || f == "MAX");
      if (!ok || (define && k.text == "FINAL")) throw OraError(62509).at(static_cast<int>(k.pos));
      final = k.text == "FINAL";
      pendingMode = true;
      continue;
    }
    if (k.kind == Tok::Ident && call &&
        (k.text == "PREV" || k.text == "NEXT" || k.text == "FIRST" || k.text == "LAST")) {
      size_t ce = close(i + 1), ae = itemEnd(i + 2, ce);
      if (ae == i + 2) fail(ae, 936);
      bool physical = k.text == "PREV" || k.text == "NEXT";
      int64_t off = ae < ce ? offset(ae + 1, ce) : physical ? 1 : 0;
      Nav n = nav;
      if (physical) {
        if (nav.nav != Ref::None || nav.outer != Ref::None || nav.self) throw OraError(62508).at(static_cast<int>(k.pos));
        // PREV(FIRST(v.x)): from the row FIRST finds
        size_t in = i + 2;
        if (word(in, "RUNNING") || word(in, "FINAL")) ++in;
        bool compound = (word(in, "FIRST") || word(in, "LAST")) && op(in + 1, "(") && close(in + 1) + 1 == ae;
        (compound ? n.outer : n.nav) = k.text == "PREV" ? Ref::Prev : Ref::Next;
        (compound ? n.outerOffset : n.offset) = off;
      } else {
        if (nav.nav != Ref::None || nav.self) throw OraError(62508).at(static_cast<int>(k.pos));
        n.nav = k.text == "FIRST" ? Ref::First : Ref::Last;
        n.offset = off;
        n.final = final;
      }
      out += "(" + rewrite(i + 2, ae, x, n, define) + ")";
      i = ce;
      final = pendingMode = false;
      continue;
    }
    if (k.kind == Tok::Ident && call &&
        (k.text == "COUNT" || k.text == "SUM" || k.text == "AVG" || k.text == "MIN" || k.text == "MAX")) {
      size_t ce = close(i + 1);
      if (nav.nav != Ref::None || nav.self) throw OraError(62508).at(static_cast<int>(k.pos));
      Ref r;
      r.kind = Ref::Aggregate;
      r.function = k.text;
      r.final = final;
      size_t ab = i + 2;
      if (word(ab, "DISTINCT") || word(ab, "UNIQUE")) throw OraError(62512).at(static_cast<int>(t_[ab].pos));
      if (word(ab, "ALL")) ++ab;
      if (ab >= ce) fail(ce, 936);
      if (op(ab, "*") && ab + 1 == ce) {
        if (k.text != "COUNT") fail(ab, 936);
      } else if (name(ab) && op(ab + 1, ".") && op(ab + 2, "*") && ab + 3 == ce) {
        if (k.text != "COUNT") fail(ab, 936);
        r.var = set(t_[ab].text);
        if (r.var < 0) throw OraError(62504).at(static_cast<int>(t_[ab].pos));
      } else {
        // the variable its argument names, one at most
        for (size_t m = ab; m + 1 < ce; ++m)
          if (name(m) && op(m + 1, ".") && set(t_[m].text) >= 0) {
            int v = set(t_[m].text);
            if (r.var >= 0 && r.var != v) throw OraError(62508).at(static_cast<int>(k.pos));
            r.var = v;
          }
        Expr arg;
        Nav self;
        self.self = true;
        std::string body = rewrite(ab, ce, arg, self, define);
        r.arg = compile(body, std::move(arg), false, "");
      }
      out += param(x, r);
      i = ce;
      final = pendingMode = false;
      continue;
    }
    if (pendingMode) throw OraError(62509).at(static_cast<int>(k.pos));
    if (k.kind == Tok::Ident && call && (k.text == "CLASSIFIER" || k.text == "MATCH_NUMBER")) {
      if (!op(i + 2, ")")) fail(i + 2, 909);
      if ((define && k.text == "MATCH_NUMBER") || nav.nav != Ref::None || nav.outer != Ref::None || nav.self)
        throw OraError(62507).at(static_cast<int>(k.pos));
      Ref r;
      r.kind = k.text == "CLASSIFIER" ? Ref::Classifier : Ref::MatchNumber;
      out += param(x, r);
      i += 2;
      continue;
    }
    if (name(i) && !call && !(i > b && op(i - 1, "."))) {
      int var = -1;
      size_t c = i;
      if (op(i + 1, ".") && name(i + 2)) {
        if (op(i + 3, "(")) { // a packaged function
          out += raw(i, i + 3);
          i += 2;
          continue;
        }
        var = set(k.text);
        if (var < 0) throw OraError(904, k.text + "." + t_[i + 2].text).at(static_cast<int>(k.pos));
        c = i + 2;
      }
      int col = column(t_[c].text);
      if (col < 0) {
        if (c != i) throw OraError(904, k.text + "." + t_[c].text).at(static_cast<int>(k.pos));
        if (set(k.text) >= 0 || k.kind == Tok::QIdent) throw OraError(904, k.text).at(static_cast<int>(k.pos));
        out += " " + raw(i, i + 1) + " "; // a keyword, or a name the translation judges
        continue;
      }
      Ref r;
      r.column = col;
      r.var = var;
      r.nav = nav.nav;
      r.offset = nav.offset;
      r.outer = nav.outer;
      r.outerOffset = nav.outerOffset;
      r.final = nav.final;
      r.self = nav.self;
      out += param(x, r);
      i = c;
      continue;
    }
    out += " " + raw(i, i + 1) + " ";
  }
  if (pendingMode) fail(e, 936);
  return out;
}

// Translates the expression once; its parameters are numbered as its references.
int Compiler::compile(const std::string& expr, Expr x, bool define, const std::string& alias) {
  std::string text = define ? "SELECT CASE WHEN (" + expr + ") THEN 1 ELSE 0 END FROM DUAL"
                            : "SELECT (" + expr + ") AS \"M$\" FROM DUAL";
  Translation tr;
  try {
    InnerQueries inner;
    HostBinds binds;
    tr = translate(text, cat_, false);
  } catch (const OraError& e) {
    rethrowPlaceless(e);
  }
  if (tr.kind != StmtKind::Query) throw OraError(936);
  std::vector<tx::Token> toks = tx::tokenize(text);
  for (int p : tr.params) {
    const std::string& b = toks.at(static_cast<size_t>(p)).text;
    if (b.size() < 3 || b.compare(0, 2, ":R") != 0) throw OraError(1008, b);
    x.params.push_back(std::stoi(b.substr(2)));
  }
  x.sql = tr.sql;
  if (!alias.empty()) {
    Stmt s;
    if (sqlite3_prepare_v2(cat_.db(), x.sql.c_str(), -1, &s.st, nullptr) == SQLITE_OK)
      types[alias] = resultType(s.st, 0, tr);
  }
  spec_.exprs.push_back(std::move(x));
  return static_cast<int>(spec_.exprs.size()) - 1;
}

void Compiler::read() {
  size_t i = 0;
  const size_t n = t_.size();
  std::vector<std::pair<size_t, size_t>> measures;
  size_t patB = 0, patE = 0, defB = n, subB = n, subE = n;
  if (word(i, "PARTITION")) {
    if (!word(i + 1, "BY")) fail(i + 1, 924);
    size_t e = clauseEnd(i + 2);
    spec_.partition = columnList(i + 2, e, nullptr);
    i = e;
  }
  if (word(i, "ORDER")) {
    size_t e = clauseEnd(i + 2);
    columnList(i + 2, e, &spec_.order);
    i = e;
  }
  if (word(i, "MEASURES")) {
    size_t e = clauseEnd(i + 1);
    for (size_t m = i + 1; m < e;) {
      size_t me = itemEnd(m, e);
      measures.emplace_back(m, me);
      m = me + 1;
    }
    i = e;
  }
  if (word(i, "ONE") && word(i + 1, "ROW")) {
    if (!word(i + 2, "PER") || !word(i + 3, "MATCH")) fail(i + 2, 905);
    i += 4;
  } else if (word(i, "ALL") && word(i + 1, "ROWS")) {
    if (!word(i + 2, "PER") || !word(i + 3, "MATCH")) fail(i + 2, 905);
    spec_.allRows = true;
    i += 4;
    if ((word(i, "SHOW") || word(i, "OMIT")) && word(i + 1, "EMPTY") && word(i + 2, "MATCHES")) {
      spec_.omitEmpty = word(i, "OMIT");
      i += 3;
    } else if (word(i, "WITH") && word(i + 1, "UNMATCHED") && word(i + 2, "ROWS")) {
      spec_.unmatched = true;
      i += 3;
    }
  }
  std::string skipVar;
  size_t skipAt = 0;
  if (word(i, "AFTER")) {
    if (!word(i + 2, "SKIP")) fail(i + 2, 905);
    i += 3;
    if (word(i, "PAST") && word(i + 1, "LAST") && word(i + 2, "ROW")) {
      i += 3;
    } else if (word(i, "TO") && word(i + 1, "NEXT") && word(i + 2, "ROW")) {
      spec_.skip = Spec::NextRow;
      i += 3;
    } else if (word(i, "TO")) {
      spec_.skip = word(i + 1, "FIRST") ? Spec::ToFirst : Spec::ToLast;
      if (word(i + 1, "FIRST") || word(i + 1, "LAST")) ++i;
      if (!name(i + 1)) fail(i + 1, 905);
      skipVar = t_[i + 1].text;
      skipAt = i + 1;
      i += 2;
    } else {
      fail(i, 905);
    }
  }
  if (!word(i, "PATTERN") || !op(i + 1, "(")) fail(i, 905);
  patB = i + 2;
  patE = close(i + 1);
  i = patE + 1;
  if (word(i, "SUBSET")) {
    subB = i + 1;
    subE = i = clauseEnd(i + 1);
  }
  if (word(i, "DEFINE")) {
    defB = i + 1;
    i = n;
  }
  if (i != n) fail(i);

  spec_.pattern = readPattern(t_, patB, patE, spec_.vars);
  spec_.setNames = spec_.vars;
  for (size_t v = 0; v < spec_.vars.size(); ++v) spec_.sets.push_back({static_cast<int>(v)});
  // SUBSET u = (a, b), ...
  for (size_t m = subB; m < subE;) {
    if (!name(m) || !op(m + 1, "=") || !op(m + 2, "(")) fail(m + 1, 905);
    if (set(t_[m].text) >= 0) throw OraError(62503).at(static_cast<int>(t_[m].pos));
    size_t ce = close(m + 2);
    std::vector<int> vars;
    for (size_t k = m + 3; k < ce; k += 2) {
      if (!name(k) || !(op(k + 1, ",") || k + 1 == ce)) fail(k);
      auto it = std::find(spec_.vars.begin(), spec_.vars.end(), t_[k].text);
      if (it == spec_.vars.end()) throw OraError(62504).at(static_cast<int>(t_[k].pos));
      vars.push_back(static_cast<int>(it - spec_.vars.begin()));
    }
    if (vars.empty()) fail(ce, 936);
    spec_.setNames.push_back(t_[m].text);
    spec_.sets.push_back(vars);
    m = ce + 1;
    if (m < subE && !op(m++, ",")) fail(m - 1);
  }
  if (!skipVar.empty()) {
    spec_.skipTo = set(skipVar);
    if (spec_.skipTo < 0) throw OraError(62504).at(static_cast<int>(t_[skipAt].pos));
  }
  // DEFINE v AS condition, ...
  spec_.define.assign(spec_.vars.size(), -1);
  std::vector<bool> defined(spec_.vars.size());
  for (size_t m = defB; m < n;) {
    size_t me = itemEnd(m, n);
    if (!name(m) || !word(m + 1, "AS")) fail(m + 1, 905);
    auto it = std::find(spec_.vars.begin(), spec_.vars.end(), t_[m].text);
    if (it == spec_.vars.end()) throw OraError(62503).at(static_cast<int>(t_[m].pos));
    size_t v = static_cast<size_t>(it - spec_.vars.begin());
    if (defined[v]) throw OraError(62503).at(static_cast<int>(t_[m].pos));
    defined[v] = true;
    if (me <= m + 2) fail(me, 936);
    Expr x;
    std::string body = rewrite(m + 2, me, x, Nav{}, true);
    spec_.define[v] = compile(body, std::move(x), true, "");
    m = me + 1;
    if (me == n - 1) fail(me, 936);
  }
  for (auto [b, e] : measures) {
    if (e <= b) fail(e, 936);
    if (!name(e - 1) || e - b < 2) fail(e - 1, 923);
    std::string alias = t_[e - 1].text;
    size_t xe = word(e - 2, "AS") ? e - 2 : e - 1;
    if (xe <= b) fail(e - 1, 936);
    Expr x;
    std::string body = rewrite(b, xe, x, Nav{}, false);
    // a measure that is one reference alone has the type of what it refers to: FIRST(ENAME) is
    // the column's VARCHAR2(10), not text of any length
    std::optional<ColType> lone;
    if (x.refs.size() == 1) {
      size_t f = body.find_first_not_of(' '), l = body.find_last_not_of(' ');
      std::string core = f == std::string::npos ? std::string() : body.substr(f, l - f + 1);
      if (core.size() > 2 && core.front() == '(' && core.back() == ')') {
        f = core.find_first_not_of(' ', 1), l = core.find_last_not_of(' ', core.size() - 2);
        core = core.substr(f, l - f + 1);
      }
      if (core == ":R0" || core == "TO_NUMBER(:R0)" || core == "TO_DATE(:R0, 'YYYY-MM-DD HH24:MI:SS')")
        lone = refType(x.refs[0]);
    }
    spec_.measures.emplace_back(alias, compile(body, std::move(x), false, alias));
    if (lone) types[alias] = *lone;
  }
}

} // namespace
} // namespace mr

std::string matchRecognizeSource(const std::string& source, const std::string& clause, Catalog& cat,
                                 std::map<std::string, ColType>& types) {
  auto spec = std::make_shared<mr::Spec>();
  // the source's rows and columns, as a query of their own
  Translation src;
  {
    InnerQueries inner;
    src = translate("SELECT * FROM " + source, cat, false);
  }
  if (src.kind != StmtKind::Query) throw OraError(903);
  std::vector<std::string> decl;
  {
    mr::Stmt s;
    if (sqlite3_prepare_v2(cat.db(), src.sql.c_str(), -1, &s.st, nullptr) != SQLITE_OK)
      throw OraError(904, sqlite3_errmsg(cat.db()));
    for (int k = 0; k < sqlite3_column_count(s.st); ++k) {
      const char* nm = sqlite3_column_name(s.st, k);
      const char* dt = sqlite3_column_decltype(s.st, k);
      spec->columns.push_back(nm ? nm : "");
      spec->types.push_back(resultType(s.st, k, src));
      decl.push_back(dt ? dt : "");
    }
  }
  std::vector<mr::Tok> toks = mr::lexClause(clause);
  mr::Compiler c(toks, clause, *spec, cat);
  c.read();
  // the output: partition columns, then (all rows) the order columns, the measures, the rest
  std::vector<bool> used(spec->columns.size());
  auto addColumn = [&](int col) {
    if (used[static_cast<size_t>(col)]) return;
    used[static_cast<size_t>(col)] = true;
    spec->output.emplace_back(spec->columns[static_cast<size_t>(col)], col);
    spec->decls.push_back(decl[static_cast<size_t>(col)]);
    types[spec->columns[static_cast<size_t>(col)]] = spec->types[static_cast<size_t>(col)];
  };
  if (spec->partition.empty() && spec->measures.empty() && !spec->allRows) throw OraError(30732);
  for (int p : spec->partition) addColumn(p);
  if (spec->allRows)
    for (auto& k : spec->order) addColumn(k.column);
  for (size_t m = 0; m < spec->measures.size(); ++m) {
    const std::string& name = spec->measures[m].first;
    for (auto& o : spec->output)
      if (o.first == name) throw OraError(918);
    spec->output.emplace_back(name, -1 - static_cast<int>(m));
    spec->decls.push_back("");
    if (auto t = c.types.find(name); t != c.types.end()) types[name] = t->second;
  }
  if (spec->allRows)
    for (size_t k = 0; k < spec->columns.size(); ++k) {
      if (used[k]) continue;
      for (auto& o : spec->output)
        if (o.first == spec->columns[k]) throw OraError(918);
      addColumn(static_cast<int>(k));
    }
  std::string cols, key = src.sql + '\x01' + clause;
  for (size_t k = 0; k < spec->columns.size(); ++k) cols += (k ? ", " : "") + quoteIdent("C$" + std::to_string(k + 1));
  std::string module = mr::matchModule(cat.db(), spec, key);
  return module + "((WITH \"M$\"(" + cols + ") AS (" + src.sql + ") SELECT ora_rows(" + cols + ") FROM \"M$\"))";
}

} // namespace ora
