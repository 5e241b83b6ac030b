// What XQuery reads beyond XPath (XmlPathImpl.h): sequences and ranges, FLWOR expressions, if,
// some and every, direct element constructors and the functions XQuery adds. A sequence is a node
// set in sequence order whose atomic values are text nodes marked atomic, made in the context's
// own document so that they outlive the evaluation.
#include "FunctionUtil.h"
#include "XmlPathImpl.h"

#include <functional>

namespace ora::xml {

namespace detail {

namespace {

constexpr size_t kMadeOrder = size_t(1) << 48; // made nodes come after every parsed one
constexpr double kMostItems = 1000000;        // the longest range a query may make

bool blank(std::string_view t) {
  return t.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

} // namespace

// --- reading ---

ExprP Compiler::seq() {
  ExprP first = expr();
  if (!peek(",")) return first;
  auto e = std::make_shared<Expr>();
  e->op = Expr::Seq;
  e->kids.push_back(first);
  while (accept(",")) e->kids.push_back(expr());
  return e;
}

ExprP Compiler::range() {
  ExprP l = additive();
  if (xq && word("to")) return binary(Expr::Range, l, additive());
  return l;
}

// The word, when the character it needs comes next ("for $", "if ("); it is taken then.
bool Compiler::keyword(std::string_view w, char next) {
  size_t save = k;
  if (word(w)) {
    skip();
    if (k < s.size() && s[k] == next) return true;
  }
  k = save;
  return false;
}

ExprP Compiler::flwor(bool isFor) {
  auto e = std::make_shared<Expr>();
  e->op = Expr::Flwor;
  Clause::Kind kind = isFor ? Clause::For : Clause::Let;
  for (;;) {
    do {
      Clause c;
      c.kind = kind;
      if (!accept("$")) fail();
      c.var = ncname();
      if (kind == Clause::For) {
        if (word("at")) {
          if (!accept("$")) fail();
          c.at = ncname();
        }
        if (!word("in")) fail();
      } else if (!accept(":=")) {
        fail();
      }
      c.e = expr();
      e->clauses.push_back(std::move(c));
      if (e->clauses.size() > kMaxNesting) fail(); // each clause is a level of the evaluation
    } while (accept(","));
    if (keyword("for", '$')) kind = Clause::For;
    else if (keyword("let", '$')) kind = Clause::Let;
    else break;
  }
  if (word("where")) {
    Clause c;
    c.kind = Clause::Where;
    c.e = expr();
    e->clauses.push_back(std::move(c));
  }
  const bool stable = word("stable");
  if (word("order")) {
    if (!word("by")) fail();
    do {
      ExprP key = expr();
      bool desc = word("descending");
      if (!desc) word("ascending");
      if (word("empty") && !word("greatest") && !word("least")) fail();
      e->orderBy.emplace_back(std::move(key), desc);
    } while (accept(","));
  } else if (stable) {
    fail();
  }
  if (!word("return")) fail();
  e->kids.push_back(expr());
  return e;
}

ExprP Compiler::conditional() {
  auto e = std::make_shared<Expr>();
  e->op = Expr::If;
  if (!accept("(")) fail();
  e->kids.push_back(seq());
  if (!accept(")") || !word("then")) fail();
  e->kids.push_back(expr());
  if (!word("else")) fail();
  e->kids.push_back(expr());
  return e;
}

ExprP Compiler::quantified(bool every) {
  auto e = std::make_shared<Expr>();
  e->op = every ? Expr::Every : Expr::Some;
  do {
    Clause c;
    if (!accept("$")) fail();
    c.var = ncname();
    if (!word("in")) fail();
    c.e = expr();
    e->clauses.push_back(std::move(c));
    if (e->clauses.size() > kMaxNesting) fail();
  } while (accept(","));
  if (!word("satisfies")) fail();
  e->kids.push_back(expr());
  return e;
}

// A function XQuery has no definition of fails when the query is read (XPST0017).
void Compiler::knownFunction(const std::string& name) const {
  static const char* const known[] = {
      "last", "position", "count", "name", "local-name", "namespace-uri", "string", "concat", "starts-with", "contains",
      "substring-before", "substring-after", "substring", "string-length", "normalize-space", "translate", "not", "true",
      "false", "boolean", "number", "sum", "floor", "ceiling", "round", "data", "exists", "empty", "avg", "min", "max",
      "distinct-values", "string-join", "upper-case", "lower-case", "abs", "reverse"};
  std::string local = name.rfind("fn:", 0) == 0 ? name.substr(3) : name;
  for (const char* k : known)
    if (local == k) return;
  OraError e(19237);
  e.text = "ORA-19237: XPST0017 - unable to resolve call to function - " + (name.find(':') == std::string::npos ? "fn:" + name : name);
  throw e;
}

ExprP Compiler::enclosed() {
  ++k; // {
  if (accept("}")) {
    auto e = std::make_shared<Expr>();
    e->op = Expr::Seq;
    return e;
  }
  ExprP e = seq();
  if (!accept("}")) fail();
  return e;
}

// <name attr="text{expr}">text{expr}<child/></name>
ExprP Compiler::constructor() {
  Nest g(depth, *this);
  auto rawName = [&] {
    if (k >= s.size() || !nameStart(s[k])) fail();
    size_t b = k;
    while (k < s.size() && (nameChar(s[k]) || s[k] == ':')) ++k;
    return std::string(s.substr(b, k - b));
  };
  auto entity = [&](std::string& out) {
    size_t semi = s.find(';', k);
    if (semi == std::string_view::npos || semi - k > 10) fail();
    std::string_view n = s.substr(k + 1, semi - k - 1);
    if (n == "lt") out += '<';
    else if (n == "gt") out += '>';
    else if (n == "amp") out += '&';
    else if (n == "quot") out += '"';
    else if (n == "apos") out += '\'';
    else if (n.size() > 1 && n[0] == '#') {
      const bool hex = n[1] == 'x';
      std::string digits(n.substr(hex ? 2 : 1));
      char* end = nullptr;
      unsigned long c = std::strtoul(digits.c_str(), &end, hex ? 16 : 10);
      if (digits.empty() || *end || c == 0 || c > 0x10FFFF) fail();
      fn::appendChar(out, static_cast<uint32_t>(c));
    } else {
      fail();
    }
    k = semi + 1;
  };
  auto text = [](std::string t) {
    auto e = std::make_shared<Expr>();
    e->op = Expr::Text;
    e->s = std::move(t);
    return e;
  };
  ++k; // <
  auto e = std::make_shared<Expr>();
  e->op = Expr::Element;
  e->s = rawName();
  for (;;) {
    skip();
    if (s.substr(k, 2) == "/>") {
      k += 2;
      return e;
    }
    if (k < s.size() && s[k] == '>') {
      ++k;
      break;
    }
    std::string an = rawName();
    if (!accept("=")) fail();
    skip();
    if (k >= s.size() || (s[k] != '"' && s[k] != '\'')) fail();
    const char q = s[k++];
    std::vector<std::shared_ptr<const Expr>> parts;
    std::string lit;
    for (;;) {
      if (k >= s.size()) fail();
      const char c = s[k];
      if (c == q && k + 1 < s.size() && s[k + 1] == q) {
        lit += q;
        k += 2;
      } else if (c == q) {
        ++k;
        break;
      } else if ((c == '{' || c == '}') && k + 1 < s.size() && s[k + 1] == c) {
        lit += c;
        k += 2;
      } else if (c == '{') {
        if (!lit.empty()) parts.push_back(text(std::move(lit)));
        lit.clear();
        parts.push_back(enclosed());
      } else if (c == '}' || c == '<') {
        fail();
      } else if (c == '&') {
        entity(lit);
      } else {
        lit += c;
        ++k;
      }
    }
    if (!lit.empty()) parts.push_back(text(std::move(lit)));
    e->attrs.emplace_back(std::move(an), std::move(parts));
  }
  // the content; text of white space alone between the parts is no content
  std::string lit;
  bool literal = false; // an entity or CDATA makes white space content
  auto flush = [&] {
    if (!lit.empty() && (literal || !blank(lit))) e->kids.push_back(text(lit));
    lit.clear();
    literal = false;
  };
  for (;;) {
    if (k >= s.size()) fail();
    const char c = s[k];
    if (s.substr(k, 2) == "</") {
      flush();
      k += 2;
      if (rawName() != e->s) fail();
      if (!accept(">")) fail();
      return e;
    } else if (s.substr(k, 4) == "<!--") {
      size_t end = s.find("-->", k + 4);
      if (end == std::string_view::npos) fail();
      k = end + 3;
    } else if (s.substr(k, 9) == "<![CDATA[") {
      size_t end = s.find("]]>", k + 9);
      if (end == std::string_view::npos) fail();
      lit += s.substr(k + 9, end - k - 9);
      literal = true;
      k = end + 3;
    } else if (c == '<') {
      flush();
      e->kids.push_back(constructor());
    } else if ((c == '{' || c == '}') && k + 1 < s.size() && s[k + 1] == c) {
      lit += c;
      literal = true;
      k += 2;
    } else if (c == '{') {
      flush();
      e->kids.push_back(enclosed());
    } else if (c == '}') {
      fail();
    } else if (c == '&') {
      entity(lit);
      literal = true;
    } else {
      lit += c;
      ++k;
    }
  }
}

// --- evaluation ---

namespace {

using Binding = std::pair<std::string, Value>;

// XQuery's effective boolean value: an atomic value alone counts by its text
bool truth(const Value& v) {
  if (v.kind == Value::Nodes && v.nodes.size() == 1 && v.nodes[0]->atomic) {
    const std::string& t = v.nodes[0]->value;
    return !(t.empty() || t == "false" || t == "0" || t == "NaN");
  }
  return Eval::boolean(v);
}

// an order by key: the empty sequence first, numbers as numbers, the rest as text
int compareKeys(const Value& a, const Value& b) {
  const bool ea = a.kind == Value::Nodes && a.nodes.empty(), eb = b.kind == Value::Nodes && b.nodes.empty();
  if (ea || eb) return ea == eb ? 0 : ea ? -1 : 1;
  const std::string x = Eval::str(a), y = Eval::str(b);
  const double m = Eval::num(a), n = Eval::num(b);
  if (!std::isnan(m) && !std::isnan(n)) return m < n ? -1 : m > n ? 1 : 0;
  return x < y ? -1 : x > y ? 1 : 0;
}

struct Tuples {
  const Eval& ev;
  const Node* ctx;
  size_t pos, size;
  // called with each combination bound, innermost last in the scope
  std::function<void()> each;
  size_t count = 0;

  // every combination the clauses from `c` on bind, after the where clause
  void run(const std::vector<Clause>& cl, size_t c) {
    if (c == cl.size()) {
      if (static_cast<double>(++count) > kMostItems) throw error(31061);
      each();
      return;
    }
    const Clause& k = cl[c];
    if (k.kind == Clause::Where) {
      if (truth(ev.eval(*k.e, ctx, pos, size))) run(cl, c + 1);
      return;
    }
    Value v = ev.eval(*k.e, ctx, pos, size);
    if (k.kind == Clause::Let) {
      ev.scope.emplace_back(k.var, std::move(v));
      run(cl, c + 1);
      ev.scope.pop_back();
      return;
    }
    const std::vector<const Node*> items = ev.items(v);
    for (size_t x = 0; x < items.size(); ++x) {
      Value one;
      one.nodes.push_back(items[x]);
      ev.scope.emplace_back(k.var, std::move(one));
      if (!k.at.empty()) ev.scope.emplace_back(k.at, Eval::ofNumber(static_cast<double>(x + 1)));
      run(cl, c + 1);
      if (!k.at.empty()) ev.scope.pop_back();
      ev.scope.pop_back();
    }
  }
};

} // namespace

const Node* Eval::atom(std::string text) const {
  Node* n = cx.made->make(Node::Text);
  n->atomic = true;
  n->value = std::move(text);
  n->order = kMadeOrder + cx.made->pool.size();
  return n;
}

std::vector<const Node*> Eval::items(const Value& v) const {
  if (v.kind == Value::Nodes) return v.nodes;
  return {atom(str(v))};
}

namespace {

Node* copyNode(Doc& made, const Node* n, Node* parent) {
  Node* c = made.make(n->kind == Node::Document ? Node::Element : n->kind);
  c->name = n->name;
  c->ns = n->ns;
  c->value = n->value;
  c->cdata = n->cdata;
  c->parent = parent;
  c->order = kMadeOrder + made.pool.size();
  for (const Node* a : n->attrs) c->attrs.push_back(copyNode(made, a, c));
  for (const Node* k : n->kids) c->kids.push_back(copyNode(made, k, c));
  return c;
}

void addText(Doc& made, Node* el, const std::string& t) {
  if (t.empty()) return;
  if (!el->kids.empty() && el->kids.back()->kind == Node::Text && !el->kids.back()->cdata) {
    el->kids.back()->value += t;
    return;
  }
  Node* n = made.make(Node::Text);
  n->value = t;
  n->parent = el;
  n->order = kMadeOrder + made.pool.size();
  el->kids.push_back(n);
}

} // namespace

Value Eval::xquery(const Expr& e, const Node* ctx, size_t pos, size_t size) const {
  Doc& made = *cx.made;
  Value out;
  switch (e.op) {
  case Expr::Text: return ofString(e.s);
  case Expr::Seq:
    for (const auto& k : e.kids) {
      auto it = items(eval(*k, ctx, pos, size));
      out.nodes.insert(out.nodes.end(), it.begin(), it.end());
    }
    return out;
  case Expr::Range: {
    const Value a = eval(*e.kids[0], ctx, pos, size), b = eval(*e.kids[1], ctx, pos, size);
    if ((a.kind == Value::Nodes && a.nodes.empty()) || (b.kind == Value::Nodes && b.nodes.empty())) return out;
    const double from = num(a), to = num(b);
    if (std::isnan(from) || std::isnan(to) || from != std::floor(from) || to != std::floor(to))
      throw error(19114, "XPTY0004 - the bounds of a range are integers");
    if (to - from + 1 > kMostItems) throw error(31061);
    for (double x = from; x <= to; ++x) out.nodes.push_back(atom(numberText(x)));
    return out;
  }
  case Expr::If:
    return truth(eval(*e.kids[0], ctx, pos, size)) ? eval(*e.kids[1], ctx, pos, size) : eval(*e.kids[2], ctx, pos, size);
  case Expr::Some:
  case Expr::Every: {
    bool any = false, all = true;
    Tuples t{*this, ctx, pos, size, [&] {
               const bool hit = truth(eval(*e.kids[0], ctx, pos, size));
               any = any || hit;
               all = all && hit;
             }};
    t.run(e.clauses, 0);
    return ofBool(e.op == Expr::Some ? any : all);
  }
  case Expr::Flwor: {
    auto add = [&] {
      auto it = items(eval(*e.kids[0], ctx, pos, size));
      out.nodes.insert(out.nodes.end(), it.begin(), it.end());
    };
    if (e.orderBy.empty()) {
      Tuples t{*this, ctx, pos, size, add};
      t.run(e.clauses, 0);
      return out;
    }
    // ordered: the combinations and their keys first, then the return clause in key order
    const size_t base = scope.size();
    std::vector<std::vector<Binding>> tuples;
    std::vector<std::vector<Value>> keys;
    Tuples t{*this, ctx, pos, size, [&] {
               tuples.emplace_back(scope.begin() + static_cast<std::ptrdiff_t>(base), scope.end());
               keys.emplace_back();
               for (const auto& key : e.orderBy) keys.back().push_back(eval(*key.first, ctx, pos, size));
             }};
    t.run(e.clauses, 0);
    std::vector<size_t> order(tuples.size());
    for (size_t x = 0; x < order.size(); ++x) order[x] = x;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
      for (size_t j = 0; j < e.orderBy.size(); ++j) {
        int c = compareKeys(keys[a][j], keys[b][j]);
        if (c != 0) return e.orderBy[j].second ? c > 0 : c < 0;
      }
      return false;
    });
    for (size_t x : order) {
      scope.insert(scope.end(), tuples[x].begin(), tuples[x].end());
      add();
      scope.resize(base);
    }
    return out;
  }
  case Expr::Element: {
    Node* el = made.make(Node::Element);
    el->name = e.s;
    el->order = kMadeOrder + made.pool.size();
    for (const auto& [name, parts] : e.attrs) {
      Node* a = made.make(Node::Attribute);
      a->name = name;
      a->parent = el;
      a->order = kMadeOrder + made.pool.size();
      for (const auto& p : parts) {
        if (p->op == Expr::Text) {
          a->value += p->s;
          continue;
        }
        bool first = true;
        for (const Node* n : items(eval(*p, ctx, pos, size))) {
          if (!first) a->value += ' ';
          a->value += stringValue(n);
          first = false;
        }
      }
      el->attrs.push_back(a);
    }
    for (const auto& k : e.kids) {
      if (k->op == Expr::Text) {
        addText(made, el, k->s);
        continue;
      }
      bool lastAtomic = false;
      for (const Node* n : items(eval(*k, ctx, pos, size))) {
        if (n->atomic) {
          addText(made, el, (lastAtomic ? " " : "") + n->value);
        } else if (n->kind == Node::Document) {
          for (const Node* c : n->kids) el->kids.push_back(copyNode(made, c, el));
        } else if (n->kind == Node::Attribute) {
          el->attrs.push_back(copyNode(made, n, el));
        } else if (n->kind == Node::Text) {
          addText(made, el, n->value);
        } else {
          el->kids.push_back(copyNode(made, n, el));
        }
        lastAtomic = n->atomic;
      }
    }
    out.nodes.push_back(el);
    return out;
  }
  default: break;
  }
  throw error(19114);
}

bool Eval::xqCall(const std::string& f, std::vector<Value>& a, const Node*, Value& out) const {
  auto want = [&](size_t lo, size_t hi) {
    if (a.size() < lo || a.size() > hi) throw error(31013, "wrong number of arguments to " + f + "()");
  };
  auto texts = [&](const Value& v) {
    std::vector<std::string> t;
    for (const Node* n : items(v)) t.push_back(stringValue(n));
    return t;
  };
  out = Value{};
  if (f == "data") {
    want(1, 1);
    if (a[0].kind != Value::Nodes) return out = a[0], true;
    for (const Node* n : a[0].nodes) out.nodes.push_back(n->atomic ? n : atom(stringValue(n)));
    return true;
  }
  if (f == "exists" || f == "empty") {
    want(1, 1);
    const bool none = a[0].kind == Value::Nodes && a[0].nodes.empty();
    return out = ofBool(f == "empty" ? none : !none), true;
  }
  if (f == "avg" || f == "min" || f == "max") {
    want(1, 1);
    const auto t = texts(a[0]);
    if (t.empty()) return true; // the empty sequence
    bool numeric = true;
    for (const auto& x : t) numeric = numeric && !std::isnan(toNumber(x));
    if (f == "avg" || numeric) {
      double total = 0, best = toNumber(t[0]);
      for (const auto& x : t) {
        const double d = toNumber(x);
        total += d;
        best = f == "min" ? std::min(best, d) : std::max(best, d);
      }
      return out = ofNumber(f == "avg" ? total / static_cast<double>(t.size()) : best), true;
    }
    std::string best = t[0];
    for (const auto& x : t) best = f == "min" ? std::min(best, x) : std::max(best, x);
    return out = ofString(best), true;
  }
  if (f == "distinct-values") {
    want(1, 1);
    std::vector<std::string> seen;
    for (const auto& x : texts(a[0]))
      if (std::find(seen.begin(), seen.end(), x) == seen.end()) {
        seen.push_back(x);
        out.nodes.push_back(atom(x));
      }
    return true;
  }
  if (f == "string-join") {
    want(1, 2);
    std::string joined, sep = a.size() > 1 ? str(a[1]) : std::string();
    bool first = true;
    for (const auto& x : texts(a[0])) {
      if (!first) joined += sep;
      joined += x;
      first = false;
    }
    return out = ofString(joined), true;
  }
  if (f == "upper-case" || f == "lower-case") {
    want(1, 1);
    std::string t = str(a[0]);
    for (char& c : t) c = static_cast<char>(f == "upper-case" ? std::toupper(static_cast<unsigned char>(c)) : std::tolower(static_cast<unsigned char>(c)));
    return out = ofString(t), true;
  }
  if (f == "abs") return want(1, 1), out = ofNumber(std::fabs(num(a[0]))), true;
  if (f == "reverse") {
    want(1, 1);
    out.nodes = items(a[0]);
    std::reverse(out.nodes.begin(), out.nodes.end());
    return true;
  }
  return false;
}

} // namespace detail

std::string serializeItems(const std::vector<const Node*>& items) {
  std::string out;
  bool lastAtomic = false;
  for (const Node* n : items) {
    if (n->atomic && lastAtomic) out += ' ';
    out += serialize(n);
    lastAtomic = n->atomic;
  }
  return out;
}

} // namespace ora::xml
