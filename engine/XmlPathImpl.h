// The XPath (and XQuery) compiler and evaluator shared by XmlPath.cpp and XmlQuery.cpp: location
// paths on the child, descendant, parent, self, attribute, ancestor and sibling axes, predicates,
// the operators, the core function library and $variables; XmlQuery.cpp adds what XQuery reads on
// top (sequences, ranges, FLWOR, conditionals and element constructors). Nesting in the text is
// bounded, so no text can exhaust the stack.
#pragma once
#include "XmlDoc.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace ora::xml {

struct Step {
  enum Axis : unsigned char { Child, Descendant, DescendantOrSelf, Self, Parent, Attribute, Ancestor, AncestorOrSelf,
                              FollowingSibling, PrecedingSibling } axis = Child;
  enum Test : unsigned char { Name, AnyName, PrefixAny, TextTest, NodeTest, CommentTest, PiTest } test = Name;
  std::string prefix, local;
  std::vector<std::shared_ptr<const Expr>> preds;
};

// An XQuery FLWOR's for, let and where clauses.
struct Clause {
  enum Kind : unsigned char { For, Let, Where } kind = For;
  std::string var, at; // at: the for clause's positional variable
  std::shared_ptr<const Expr> e;
};

struct Expr {
  enum Op : unsigned char { Or, And, Eq, Ne, Lt, Le, Gt, Ge, Add, Sub, Mul, Div, Mod, Neg, Union, Path, Literal, Num,
                            Var, Call, IDiv, Seq, Range, Flwor, If, Some, Every, Element, Text } op = Literal;
  std::vector<std::shared_ptr<const Expr>> kids; // operands; Path: its start (a filter expression) if any; Call: args
  std::string s;                                 // Literal, Var, Call: the text or name
  double n = 0;
  bool absolute = false;                         // Path
  std::vector<Step> steps;                       // Path
  std::vector<std::shared_ptr<const Expr>> preds; // Path with a start: the start's predicates
  // Flwor, Some, Every: the clauses, then kids[0] the return (satisfies) expression
  std::vector<Clause> clauses;
  std::vector<std::pair<std::shared_ptr<const Expr>, bool>> orderBy; // Flwor: the keys, descending or not
  // Element: s its name, kids its content (Text, enclosed expressions, elements) and each
  // attribute's value as the parts that are joined
  std::vector<std::pair<std::string, std::vector<std::shared_ptr<const Expr>>>> attrs;
};

namespace detail {

constexpr int kMaxNesting = 100;

using ExprP = std::shared_ptr<Expr>;

struct Compiler {
  std::string_view s;
  size_t k = 0;
  int depth = 0;
  bool xq = false; // XQuery as well as XPath

  [[noreturn]] void fail() const { throw error(31013); }
  void skip() {
    for (;;) {
      while (k < s.size() && (s[k] == ' ' || s[k] == '\t' || s[k] == '\r' || s[k] == '\n')) ++k;
      if (!xq || s.substr(k, 2) != "(:") return;
      size_t e = s.find(":)", k + 2); // an XQuery comment
      if (e == std::string_view::npos) fail();
      k = e + 2;
    }
  }
  bool peek(std::string_view w) {
    skip();
    return s.substr(k, w.size()) == w;
  }
  bool accept(std::string_view w) {
    if (!peek(w)) return false;
    k += w.size();
    return true;
  }
  static bool nameStart(char c) { return static_cast<unsigned char>(c) >= 0x80 || c == '_' || std::isalpha(static_cast<unsigned char>(c)); }
  static bool nameChar(char c) { return nameStart(c) || c == '-' || c == '.' || std::isdigit(static_cast<unsigned char>(c)); }
  std::string ncname() {
    skip();
    if (k >= s.size() || !nameStart(s[k])) fail();
    size_t b = k;
    while (k < s.size() && nameChar(s[k])) ++k;
    return std::string(s.substr(b, k - b));
  }
  // an operator word (and, or, div, mod) where an operator may stand
  bool word(std::string_view w) {
    skip();
    if (s.substr(k, w.size()) != w || (k + w.size() < s.size() && nameChar(s[k + w.size()]))) return false;
    k += w.size();
    return true;
  }

  struct Nest {
    int& d;
    Nest(int& x, const Compiler& c) : d(x) {
      if (++d > kMaxNesting) c.fail();
    }
    ~Nest() { --d; }
  };

  ExprP binary(Expr::Op op, ExprP a, ExprP b) {
    auto e = std::make_shared<Expr>();
    e->op = op;
    e->kids = {std::move(a), std::move(b)};
    return e;
  }

  // XQuery (XmlQuery.cpp)
  ExprP seq();
  ExprP range();
  bool keyword(std::string_view w, char next);
  ExprP flwor(bool isFor);
  ExprP conditional();
  ExprP quantified(bool every);
  ExprP constructor();
  ExprP enclosed();
  void knownFunction(const std::string& name) const;

  ExprP expr() {
    Nest g(depth, *this);
    if (xq) {
      if (keyword("for", '$')) return flwor(true);
      if (keyword("let", '$')) return flwor(false);
      if (keyword("if", '(')) return conditional();
      if (keyword("some", '$')) return quantified(false);
      if (keyword("every", '$')) return quantified(true);
    }
    ExprP l = andExpr();
    while (word("or")) l = binary(Expr::Or, l, andExpr());
    return l;
  }
  ExprP andExpr() {
    ExprP l = equality();
    while (word("and")) l = binary(Expr::And, l, equality());
    return l;
  }
  ExprP equality() {
    ExprP l = relational();
    for (;;) {
      if (accept("!=") || (xq && word("ne"))) l = binary(Expr::Ne, l, relational());
      else if (accept("=") || (xq && word("eq"))) l = binary(Expr::Eq, l, relational());
      else return l;
    }
  }
  ExprP relational() {
    ExprP l = range();
    for (;;) {
      if (accept("<=") || (xq && word("le"))) l = binary(Expr::Le, l, range());
      else if (accept(">=") || (xq && word("ge"))) l = binary(Expr::Ge, l, range());
      else if (accept("<") || (xq && word("lt"))) l = binary(Expr::Lt, l, range());
      else if (accept(">") || (xq && word("gt"))) l = binary(Expr::Gt, l, range());
      else return l;
    }
  }
  ExprP additive() {
    ExprP l = multiplicative();
    for (;;) {
      if (accept("+")) l = binary(Expr::Add, l, multiplicative());
      else if (accept("-")) l = binary(Expr::Sub, l, multiplicative());
      else return l;
    }
  }
  ExprP multiplicative() {
    ExprP l = unary();
    for (;;) {
      if (accept("*")) l = binary(Expr::Mul, l, unary());
      else if (word("div")) l = binary(Expr::Div, l, unary());
      else if (word("mod")) l = binary(Expr::Mod, l, unary());
      else if (xq && word("idiv")) l = binary(Expr::IDiv, l, unary());
      else return l;
    }
  }
  ExprP unary() {
    if (accept("-")) {
      Nest g(depth, *this);
      auto e = std::make_shared<Expr>();
      e->op = Expr::Neg;
      e->kids = {unary()};
      return e;
    }
    ExprP l = pathExpr();
    while (accept("|")) l = binary(Expr::Union, l, pathExpr());
    return l;
  }

  bool primaryAhead() {
    skip();
    if (k >= s.size()) return false;
    char c = s[k];
    if (c == '$' || c == '(' || c == '"' || c == '\'' || std::isdigit(static_cast<unsigned char>(c))) return true;
    if (c == '.' && k + 1 < s.size() && std::isdigit(static_cast<unsigned char>(s[k + 1]))) return true;
    if (xq && c == '<' && k + 1 < s.size() && nameStart(s[k + 1])) return true; // an element constructor
    if (!nameStart(c)) return false;
    // a function call: a name and "(" that is no node test
    size_t m = k;
    while (m < s.size() && (nameChar(s[m]) || s[m] == ':')) ++m;
    std::string_view n = s.substr(k, m - k);
    while (m < s.size() && (s[m] == ' ' || s[m] == '\t')) ++m;
    if (m >= s.size() || s[m] != '(') return false;
    return n != "text" && n != "node" && n != "comment" && n != "processing-instruction";
  }

  ExprP primary() {
    skip();
    auto e = std::make_shared<Expr>();
    char c = s[k];
    if (c == '$') {
      ++k;
      e->op = Expr::Var;
      e->s = ncname();
    } else if (c == '(') {
      ++k;
      if (xq && accept(")")) {
        e->op = Expr::Seq; // ()
        return e;
      }
      e = xq ? seq() : expr();
      if (!accept(")")) fail();
    } else if (c == '<') {
      return constructor();
    } else if (c == '"' || c == '\'') {
      size_t end = s.find(c, k + 1);
      if (end == std::string_view::npos) fail();
      e->op = Expr::Literal;
      e->s = std::string(s.substr(k + 1, end - k - 1));
      k = end + 1;
    } else if (std::isdigit(static_cast<unsigned char>(c)) || c == '.') {
      size_t b = k;
      while (k < s.size() && (std::isdigit(static_cast<unsigned char>(s[k])) || s[k] == '.')) ++k;
      e->op = Expr::Num;
      e->n = std::strtod(std::string(s.substr(b, k - b)).c_str(), nullptr);
    } else {
      e->op = Expr::Call;
      e->s = ncname();
      if (accept(":")) e->s += ":" + ncname();
      if (xq) knownFunction(e->s);
      if (!accept("(")) fail();
      if (!accept(")")) {
        do e->kids.push_back(expr());
        while (accept(","));
        if (!accept(")")) fail();
      }
    }
    return e;
  }

  ExprP pathExpr() {
    Nest g(depth, *this);
    auto p = std::make_shared<Expr>();
    p->op = Expr::Path;
    if (primaryAhead()) {
      ExprP start = primary();
      std::vector<std::shared_ptr<const Expr>> preds;
      while (accept("[")) {
        preds.push_back(expr());
        if (!accept("]")) fail();
      }
      if (!peek("/") && preds.empty()) return start;
      p->kids = {start};
      p->preds = std::move(preds);
      if (accept("//")) descendants(*p);
      else if (!accept("/")) return p;
      relative(*p);
      return p;
    }
    if (accept("//")) {
      p->absolute = true;
      descendants(*p);
      relative(*p);
    } else if (accept("/")) {
      p->absolute = true;
      if (stepAhead()) relative(*p);
    } else {
      relative(*p);
    }
    return p;
  }
  void descendants(Expr& p) {
    Step st;
    st.axis = Step::DescendantOrSelf;
    st.test = Step::NodeTest;
    p.steps.push_back(std::move(st));
  }
  bool stepAhead() {
    skip();
    return k < s.size() && (s[k] == '@' || s[k] == '*' || s[k] == '.' || nameStart(s[k]));
  }
  void relative(Expr& p) {
    p.steps.push_back(step());
    for (;;) {
      if (accept("//")) {
        descendants(p);
        p.steps.push_back(step());
      } else if (accept("/")) {
        p.steps.push_back(step());
      } else {
        return;
      }
    }
  }
  Step step() {
    Step st;
    if (accept("..")) {
      st.axis = Step::Parent;
      st.test = Step::NodeTest;
      return st;
    }
    if (accept(".")) {
      st.axis = Step::Self;
      st.test = Step::NodeTest;
      return st;
    }
    if (accept("@")) {
      st.axis = Step::Attribute;
    } else {
      skip();
      size_t save = k;
      if (k < s.size() && nameStart(s[k])) {
        std::string a = ncname();
        if (accept("::")) {
          static const std::pair<const char*, Step::Axis> axes[] = {
              {"child", Step::Child}, {"descendant", Step::Descendant}, {"descendant-or-self", Step::DescendantOrSelf},
              {"self", Step::Self}, {"parent", Step::Parent}, {"attribute", Step::Attribute},
              {"ancestor", Step::Ancestor}, {"ancestor-or-self", Step::AncestorOrSelf},
              {"following-sibling", Step::FollowingSibling}, {"preceding-sibling", Step::PrecedingSibling}};
          bool found = false;
          for (const auto& [n, ax] : axes)
            if (a == n) st.axis = ax, found = true;
          if (!found) fail();
        } else {
          k = save;
        }
      }
    }
    skip();
    if (accept("*")) {
      st.test = Step::AnyName;
    } else {
      std::string n = ncname();
      if (peek("(") && (n == "text" || n == "node" || n == "comment" || n == "processing-instruction")) {
        accept("(");
        if (n == "processing-instruction" && (peek("'") || peek("\""))) {
          char q = s[k];
          size_t end = s.find(q, k + 1);
          if (end == std::string_view::npos) fail();
          st.local = std::string(s.substr(k + 1, end - k - 1));
          k = end + 1;
        }
        if (!accept(")")) fail();
        st.test = n == "text" ? Step::TextTest : n == "node" ? Step::NodeTest : n == "comment" ? Step::CommentTest : Step::PiTest;
      } else if (k < s.size() && s[k] == ':' && !(k + 1 < s.size() && s[k + 1] == ':')) {
        ++k;
        st.prefix = n;
        if (accept("*")) st.test = Step::PrefixAny;
        else st.local = ncname();
      } else {
        st.local = n;
      }
    }
    while (accept("[")) {
      st.preds.push_back(expr());
      if (!accept("]")) fail();
    }
    return st;
  }
};

// --- evaluation ---

struct Eval {
  const Context& cx;
  // XQuery's variables bound by for, let, some and every, innermost last
  mutable std::vector<std::pair<std::string, Value>> scope;

  // XQuery (XmlQuery.cpp)
  Value xquery(const Expr& e, const Node* ctx, size_t pos, size_t size) const;
  std::vector<const Node*> items(const Value& v) const;
  const Node* atom(std::string text) const;
  bool xqCall(const std::string& f, std::vector<Value>& a, const Node* ctx, Value& out) const;

  static std::string numberText(double d) {
    if (std::isnan(d)) return "NaN";
    if (std::isinf(d)) return d > 0 ? "Infinity" : "-Infinity";
    if (d == std::floor(d) && std::fabs(d) < 1e15) {
      char b[32];
      std::snprintf(b, sizeof b, "%.0f", d == 0 ? 0.0 : d);
      return b;
    }
    char b[40];
    for (int p = 15; p <= 17; ++p) {
      std::snprintf(b, sizeof b, "%.*g", p, d);
      if (std::strtod(b, nullptr) == d) break;
    }
    return b;
  }
  static double toNumber(const std::string& t) {
    size_t b = t.find_first_not_of(" \t\r\n"), e = t.find_last_not_of(" \t\r\n");
    if (b == std::string::npos) return std::numeric_limits<double>::quiet_NaN();
    std::string v = t.substr(b, e - b + 1);
    for (size_t x = 0; x < v.size(); ++x)
      if (!(std::isdigit(static_cast<unsigned char>(v[x])) || v[x] == '.' || (x == 0 && v[x] == '-')))
        return std::numeric_limits<double>::quiet_NaN();
    char* end = nullptr;
    double d = std::strtod(v.c_str(), &end);
    return end && *end == 0 ? d : std::numeric_limits<double>::quiet_NaN();
  }
  static std::string str(const Value& v) {
    switch (v.kind) {
    case Value::Nodes: return v.nodes.empty() ? std::string() : stringValue(v.nodes[0]);
    case Value::String: return v.s;
    case Value::Number: return numberText(v.n);
    case Value::Boolean: return v.b ? "true" : "false";
    }
    return {};
  }
  static double num(const Value& v) {
    switch (v.kind) {
    case Value::Number: return v.n;
    case Value::Boolean: return v.b ? 1 : 0;
    default: return toNumber(str(v));
    }
  }
  static bool boolean(const Value& v) {
    switch (v.kind) {
    case Value::Nodes: return !v.nodes.empty();
    case Value::String: return !v.s.empty();
    case Value::Number: return v.n != 0 && !std::isnan(v.n);
    case Value::Boolean: return v.b;
    }
    return false;
  }
  static Value ofNumber(double d) {
    Value v;
    v.kind = Value::Number;
    v.n = d;
    return v;
  }
  static Value ofBool(bool b) {
    Value v;
    v.kind = Value::Boolean;
    v.b = b;
    return v;
  }
  static Value ofString(std::string s) {
    Value v;
    v.kind = Value::String;
    v.s = std::move(s);
    return v;
  }

  bool matches(const Step& st, const Node* n) const {
    const Node::Kind principal = st.axis == Step::Attribute ? Node::Attribute : Node::Element;
    switch (st.test) {
    case Step::NodeTest: return true;
    case Step::TextTest: return n->kind == Node::Text;
    case Step::CommentTest: return n->kind == Node::Comment;
    case Step::PiTest: return n->kind == Node::Pi && (st.local.empty() || n->name == st.local);
    case Step::AnyName: return n->kind == principal;
    case Step::PrefixAny:
    case Step::Name: {
      if (n->kind != principal) return false;
      std::string ns;
      if (!st.prefix.empty()) {
        auto p = cx.prefixes.find(st.prefix);
        if (p == cx.prefixes.end()) throw error(31013, "namespace prefix " + st.prefix + " is not declared");
        ns = p->second;
      } else if (principal == Node::Element) {
        if (auto p = cx.prefixes.find(""); p != cx.prefixes.end()) ns = p->second;
      }
      return n->ns == ns && (st.test == Step::PrefixAny || n->local() == st.local);
    }
    }
    return false;
  }

  static void descend(const Node* n, std::vector<const Node*>& out) {
    for (const Node* c : n->kids) {
      out.push_back(c);
      descend(c, out);
    }
  }

  // The nodes on the step's axis from n, in the axis's order (reverse axes nearest first).
  static void axis(const Step& st, const Node* n, std::vector<const Node*>& out) {
    switch (st.axis) {
    case Step::Child: out.insert(out.end(), n->kids.begin(), n->kids.end()); break;
    case Step::Attribute: out.insert(out.end(), n->attrs.begin(), n->attrs.end()); break;
    case Step::Self: out.push_back(n); break;
    case Step::DescendantOrSelf: out.push_back(n); descend(n, out); break;
    case Step::Descendant: descend(n, out); break;
    case Step::Parent: if (n->parent) out.push_back(n->parent); break;
    case Step::AncestorOrSelf: out.push_back(n); [[fallthrough]];
    case Step::Ancestor: for (const Node* p = n->parent; p; p = p->parent) out.push_back(p); break;
    case Step::FollowingSibling:
    case Step::PrecedingSibling: {
      if (!n->parent || n->kind == Node::Attribute) break;
      const auto& sib = n->parent->kids;
      auto at = std::find(sib.begin(), sib.end(), n);
      if (at == sib.end()) break;
      if (st.axis == Step::FollowingSibling) out.insert(out.end(), at + 1, sib.end());
      else
        for (auto it = at; it != sib.begin();) out.push_back(*--it);
      break;
    }
    }
  }

  static void documentOrder(std::vector<const Node*>& v) {
    std::sort(v.begin(), v.end(), [](const Node* a, const Node* b) { return a->order < b->order; });
    v.erase(std::unique(v.begin(), v.end()), v.end());
  }

  std::vector<const Node*> filter(std::vector<const Node*> in, const std::vector<std::shared_ptr<const Expr>>& preds) const {
    for (const auto& p : preds) {
      std::vector<const Node*> kept;
      const size_t size = in.size();
      for (size_t x = 0; x < in.size(); ++x) {
        Value v = eval(*p, in[x], x + 1, size);
        bool keep = v.kind == Value::Number ? v.n == static_cast<double>(x + 1) : boolean(v);
        if (keep) kept.push_back(in[x]);
      }
      in = std::move(kept);
    }
    return in;
  }

  Value path(const Expr& e, const Node* ctx, size_t pos, size_t size) const {
    std::vector<const Node*> cur;
    if (!e.kids.empty()) {
      Value start = eval(*e.kids[0], ctx, pos, size);
      if (start.kind != Value::Nodes) {
        if (e.steps.empty() && e.preds.empty()) return start;
        throw error(31013, "a path step applied to a value that is not a node set");
      }
      cur = filter(std::move(start.nodes), e.preds);
    } else if (e.absolute) {
      const Node* r = ctx;
      while (r->parent) r = r->parent;
      cur.push_back(r);
    } else {
      cur.push_back(ctx);
    }
    for (const Step& st : e.steps) {
      std::vector<const Node*> next;
      for (const Node* n : cur) {
        std::vector<const Node*> on;
        axis(st, n, on);
        std::vector<const Node*> hit;
        for (const Node* x : on)
          if (matches(st, x)) hit.push_back(x);
        hit = filter(std::move(hit), st.preds);
        next.insert(next.end(), hit.begin(), hit.end());
      }
      documentOrder(next);
      cur = std::move(next);
    }
    Value v;
    v.nodes = std::move(cur);
    return v;
  }

  static bool compareAtoms(Expr::Op op, const Value& a, const Value& b) {
    if (op == Expr::Eq || op == Expr::Ne) {
      bool eq;
      if (a.kind == Value::Boolean || b.kind == Value::Boolean) eq = boolean(a) == boolean(b);
      else if (a.kind == Value::Number || b.kind == Value::Number) eq = num(a) == num(b);
      else eq = str(a) == str(b);
      return op == Expr::Eq ? eq : !eq;
    }
    double x = num(a), y = num(b);
    switch (op) {
    case Expr::Lt: return x < y;
    case Expr::Le: return x <= y;
    case Expr::Gt: return x > y;
    default: return x >= y;
    }
  }

  static bool compare(Expr::Op op, const Value& a, const Value& b) {
    // a node set compares true when one of its nodes does
    if (a.kind == Value::Nodes && b.kind == Value::Nodes) {
      for (const Node* x : a.nodes)
        for (const Node* y : b.nodes)
          if (compareAtoms(op, ofString(stringValue(x)), ofString(stringValue(y)))) return true;
      return false;
    }
    if (a.kind == Value::Nodes || b.kind == Value::Nodes) {
      const Value& set = a.kind == Value::Nodes ? a : b;
      const Value& other = a.kind == Value::Nodes ? b : a;
      if (other.kind == Value::Boolean) return compareAtoms(op, a.kind == Value::Nodes ? ofBool(boolean(a)) : a, b.kind == Value::Nodes ? ofBool(boolean(b)) : b);
      for (const Node* x : set.nodes) {
        Value nv = ofString(stringValue(x));
        if (a.kind == Value::Nodes ? compareAtoms(op, nv, other) : compareAtoms(op, other, nv)) return true;
      }
      return false;
    }
    return compareAtoms(op, a, b);
  }

  Value call(const Expr& e, const Node* ctx, size_t pos, size_t size) const {
    const std::string f = e.s.rfind("fn:", 0) == 0 ? e.s.substr(3) : e.s;
    std::vector<Value> a;
    for (const auto& k : e.kids) a.push_back(eval(*k, ctx, pos, size));
    auto want = [&](size_t lo, size_t hi) {
      if (a.size() < lo || a.size() > hi) throw error(31013, "wrong number of arguments to " + f + "()");
    };
    auto nodeArg = [&]() -> const Node* {
      if (a.empty()) return ctx;
      if (a[0].kind != Value::Nodes) throw error(31013, f + "() takes a node set");
      return a[0].nodes.empty() ? nullptr : a[0].nodes[0];
    };
    auto text = [&](size_t x) { return x < a.size() ? str(a[x]) : stringValue(ctx); };
    if (f == "last") return want(0, 0), ofNumber(static_cast<double>(size));
    if (f == "position") return want(0, 0), ofNumber(static_cast<double>(pos));
    if (f == "count") {
      want(1, 1);
      if (a[0].kind != Value::Nodes) throw error(31013, "count() takes a node set");
      return ofNumber(static_cast<double>(a[0].nodes.size()));
    }
    if (f == "name" || f == "local-name" || f == "namespace-uri") {
      want(0, 1);
      const Node* n = nodeArg();
      if (!n) return ofString("");
      return ofString(f == "name" ? n->name : f == "local-name" ? n->local() : n->ns);
    }
    if (f == "string") return want(0, 1), ofString(text(0));
    if (f == "concat") {
      if (a.size() < 2) throw error(31013, "concat() takes two arguments or more");
      std::string out;
      for (const Value& v : a) out += str(v);
      return ofString(out);
    }
    if (f == "starts-with") return want(2, 2), ofBool(str(a[0]).rfind(str(a[1]), 0) == 0);
    if (f == "contains") return want(2, 2), ofBool(str(a[0]).find(str(a[1])) != std::string::npos);
    if (f == "substring-before" || f == "substring-after") {
      want(2, 2);
      std::string s = str(a[0]), t = str(a[1]);
      size_t at = s.find(t);
      if (at == std::string::npos) return ofString("");
      return ofString(f == "substring-before" ? s.substr(0, at) : s.substr(at + t.size()));
    }
    if (f == "substring") {
      want(2, 3);
      std::string s = str(a[0]);
      // positions count characters, not bytes
      std::vector<size_t> starts;
      for (size_t x = 0; x < s.size(); ++x)
        if ((static_cast<unsigned char>(s[x]) & 0xC0) != 0x80) starts.push_back(x);
      double from = std::round(num(a[1]));
      double to = a.size() > 2 ? from + std::round(num(a[2])) : std::numeric_limits<double>::infinity();
      std::string out;
      for (size_t c = 0; c < starts.size(); ++c) {
        double p = static_cast<double>(c + 1);
        if (p >= from && p < to) out += s.substr(starts[c], (c + 1 < starts.size() ? starts[c + 1] : s.size()) - starts[c]);
      }
      return ofString(out);
    }
    if (f == "string-length") {
      want(0, 1);
      std::string s = text(0);
      double n = 0;
      for (unsigned char c : s) n += (c & 0xC0) != 0x80;
      return ofNumber(n);
    }
    if (f == "normalize-space") {
      want(0, 1);
      std::string s = text(0), out;
      for (char c : s) {
        bool sp = c == ' ' || c == '\t' || c == '\r' || c == '\n';
        if (sp) {
          if (!out.empty() && out.back() != ' ') out += ' ';
        } else {
          out += c;
        }
      }
      if (!out.empty() && out.back() == ' ') out.pop_back();
      return ofString(out);
    }
    if (f == "translate") {
      want(3, 3);
      std::string s = str(a[0]), from = str(a[1]), to = str(a[2]), out;
      for (char c : s) {
        size_t at = from.find(c);
        if (at == std::string::npos) out += c;
        else if (at < to.size()) out += to[at];
      }
      return ofString(out);
    }
    if (f == "not") return want(1, 1), ofBool(!boolean(a[0]));
    if (f == "true" || f == "false") return want(0, 0), ofBool(f == "true");
    if (f == "boolean") return want(1, 1), ofBool(boolean(a[0]));
    if (f == "number") return want(0, 1), ofNumber(a.empty() ? toNumber(stringValue(ctx)) : num(a[0]));
    if (f == "sum") {
      want(1, 1);
      if (a[0].kind != Value::Nodes) throw error(31013, "sum() takes a node set");
      double t = 0;
      for (const Node* n : a[0].nodes) t += toNumber(stringValue(n));
      return ofNumber(t);
    }
    if (f == "floor") return want(1, 1), ofNumber(std::floor(num(a[0])));
    if (f == "ceiling") return want(1, 1), ofNumber(std::ceil(num(a[0])));
    if (f == "round") return want(1, 1), ofNumber(std::floor(num(a[0]) + 0.5));
    if (Value out; xqCall(f, a, ctx, out)) return out;
    throw error(31013, "unknown function " + f + "()");
  }

  Value eval(const Expr& e, const Node* ctx, size_t pos, size_t size) const {
    switch (e.op) {
    case Expr::Literal: return ofString(e.s);
    case Expr::Num: return ofNumber(e.n);
    case Expr::Var: {
      for (auto b = scope.rbegin(); b != scope.rend(); ++b)
        if (b->first == e.s) return b->second;
      auto v = cx.vars.find(e.s);
      if (v == cx.vars.end()) throw error(31013, "variable $" + e.s + " is not bound");
      Value out;
      if (v->second) out.nodes.push_back(v->second);
      return out;
    }
    case Expr::Path: return path(e, ctx, pos, size);
    case Expr::Call: return call(e, ctx, pos, size);
    case Expr::Seq:
    case Expr::Range:
    case Expr::Flwor:
    case Expr::If:
    case Expr::Some:
    case Expr::Every:
    case Expr::Element:
    case Expr::Text: return xquery(e, ctx, pos, size);
    case Expr::Neg: return ofNumber(-num(eval(*e.kids[0], ctx, pos, size)));
    case Expr::Or: return ofBool(boolean(eval(*e.kids[0], ctx, pos, size)) || boolean(eval(*e.kids[1], ctx, pos, size)));
    case Expr::And: return ofBool(boolean(eval(*e.kids[0], ctx, pos, size)) && boolean(eval(*e.kids[1], ctx, pos, size)));
    case Expr::Union: {
      Value a = eval(*e.kids[0], ctx, pos, size), b = eval(*e.kids[1], ctx, pos, size);
      if (a.kind != Value::Nodes || b.kind != Value::Nodes) throw error(31013, "| joins node sets only");
      a.nodes.insert(a.nodes.end(), b.nodes.begin(), b.nodes.end());
      documentOrder(a.nodes);
      return a;
    }
    default: break;
    }
    Value a = eval(*e.kids[0], ctx, pos, size), b = eval(*e.kids[1], ctx, pos, size);
    switch (e.op) {
    case Expr::Add: return ofNumber(num(a) + num(b));
    case Expr::Sub: return ofNumber(num(a) - num(b));
    case Expr::Mul: return ofNumber(num(a) * num(b));
    case Expr::Div: return ofNumber(num(a) / num(b));
    case Expr::Mod: return ofNumber(std::fmod(num(a), num(b)));
    case Expr::IDiv: return ofNumber(std::trunc(num(a) / num(b)));
    default: return ofBool(compare(e.op, a, b));
    }
  }
};

} // namespace detail
} // namespace ora::xml
