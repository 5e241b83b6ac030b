// FOR loops beyond one range: lists of iteration controls (values, ranges with a step, REPEAT),
// each with WHILE and WHEN; and GOTO's way out of the statements it leaves.
#include "PlsqlParser.h"
#include "PlsqlRun.h"

#include <algorithm>
#include <cstdlib>

namespace ora::pl {

namespace parse {

bool Parser::iterationControls(Stmt& s) {
  // what the loop's heading holds before LOOP, at its top level
  bool range = false, more = false;
  int depth = 0;
  for (size_t k = i; k < t.size() && t[k].kind != T::End; ++k) {
    if (t[k].kind == T::Op && t[k].text == "(") ++depth;
    else if (t[k].kind == T::Op && t[k].text == ")") --depth;
    if (depth != 0 || t[k].kind == T::Str || t[k].kind == T::QWord) continue;
    const std::string& w = t[k].text;
    if (w == "LOOP") break;
    if (w == "..") range = true;
    if (w == "," || w == "BY" || w == "WHEN" || w == "WHILE" || w == "REPEAT") more = true;
  }
  bool single = !range && !more && t[i].kind == T::Num; // FOR i IN 5 LOOP
  bool of = (at("INDICES") || at("VALUES")) && is(i + 1, "OF");
  if (!more && !single && !of && !(range && s.typedIterand)) return false;
  s.kind = Stmt::ForNum;
  for (bool first = true;; first = false) {
    IterControl c;
    c.reverse = first && s.reverse;
    if (!first && at("REVERSE")) { ++i; c.reverse = true; }
    if ((at("INDICES") || at("VALUES")) && is(i + 1, "OF")) {
      c.of = at("INDICES") ? 1 : 2;
      i += 2;
      c.lo = expression({"WHILE", "WHEN", ",", "LOOP"});
    } else if (at("REPEAT")) {
      ++i;
      c.repeat = true;
      c.lo = expression({"WHILE", "WHEN", ",", "LOOP"});
    } else {
      c.lo = expression({"..", "BY", "WHILE", "WHEN", ",", "LOOP"});
      if (at("..")) {
        ++i;
        c.hi = expression({"BY", "WHILE", "WHEN", ",", "LOOP"});
        if (at("BY")) {
          ++i;
          c.step = expression({"WHILE", "WHEN", ",", "LOOP"});
        }
      }
    }
    if (at("WHILE")) {
      ++i;
      c.whileCond = expression({"WHEN", ",", "LOOP"});
    }
    if (at("WHEN")) {
      ++i;
      c.whenCond = expression({",", "LOOP"});
    }
    s.controls.push_back(c);
    if (!at(",")) break;
    ++i;
  }
  return true;
}

} // namespace parse

namespace {

OraError wrongType(const Run& r, size_t tok) {
  OraError e(6550);
  e.text = "ORA-06550: " + where(r.u.src, r.u.toks[std::min(tok, r.u.toks.size() - 1)].pos) +
           ":\nPLS-00382: expression is of wrong type";
  return e;
}

// A whole number's value; false for any other.
bool whole(const Val& v, long long& out) {
  if (v.k != Val::Num || v.s.empty() || v.s.size() > 18) return false;
  char* end = nullptr;
  out = std::strtoll(v.s.c_str(), &end, 10);
  return end && *end == '\0';
}

} // namespace

bool Run::compositeElement(size_t k, size_t e, bool expression, std::string& rep, size_t& used) {
  if (!expression) return compositeRef(k, e, rep, used);
  try {
    return compositeRef(k, e, rep, used);
  } catch (const OraError& err) {
    // beyond the count, deleted, not there, or of a NULL collection
    if (err.code != 6533 && err.code != 6532 && err.code != 6531 && err.code != 1403) throw;
    const auto& t = u.toks;
    size_t p = k + 1;
    while (p < e) {
      if (isOp(t, p, "(")) p = closing(t, p) + 1;
      else if (isOp(t, p, ".") && p + 1 < e && t[p + 1].kind == T::Word) p += 2;
      else break;
    }
    rep = "ora_raise(" + std::to_string(err.code) + ")";
    used = p - k;
    return true;
  }
}

void Run::gotoEscaped(Flow f) {
  if (f != Flow::Goto) return;
  OraError e(6550);
  e.text = "ORA-06550: " + where(u.src, u.toks[std::min(gotoAt, u.toks.size() - 1)].pos) +
           ":\nPLS-00375: illegal GOTO statement; this GOTO cannot branch to label '" + flowLabel + "'";
  flowLabel.clear();
  throw e;
}

Flow Run::forControls(const Stmt& s) {
  // one plain range: its bounds as PLS_INTEGER values
  IterControl plain;
  if (s.controls.empty()) {
    plain.lo = s.lo;
    plain.hi = s.hi;
    plain.reverse = s.reverse;
  }
  const std::vector<IterControl> one{plain};
  const std::vector<IterControl>& controls = s.controls.empty() ? one : s.controls;
  Scope sc;
  sc.label = s.label; // label.index names this loop's index
  Var& v = sc.vars[s.name];
  if (s.typedIterand) {
    v.type = s.iterType;
  } else {
    v.type.kind = TypeSpec::Number;
    v.type.integer = true;
    v.type.range = TypeSpec::Pls;
  }
  v.constant = !s.mutableIterand;
  scopes.push_back(&sc);
  struct Pop {
    Run& r;
    ~Pop() { r.scopes.pop_back(); }
  } pop{*this};
  // one pass of the body with the iterand at x; false when the loop ends (or a WHILE does)
  bool stopAll = false;
  Flow out = Flow::Next;
  auto pass = [&](const IterControl& c, const Val& x, bool& ended) {
    ended = false;
    if (x.k == Val::Null) throw valueError("");
    long long n = 0;
    if (!s.typedIterand && whole(x, n) && n >= -2147483648LL && n <= 2147483647LL) v.v = x; // already a PLS_INTEGER
    else store(v, x, s.at);
    if (!c.whileCond.empty() && cond(c.whileCond) != 1) {
      ended = true;
      return;
    }
    if (!c.whenCond.empty() && cond(c.whenCond) != 1) return;
    step();
    Flow f = stmts(s.body);
    if (f == Flow::Exit || f == Flow::Continue) {
      bool mine = flowLabel.empty() || flowLabel == s.label;
      if (mine) flowLabel.clear();
      if (f == Flow::Continue && mine) return;
      stopAll = true;
      out = mine ? Flow::Next : f;
      return;
    }
    if (f != Flow::Next) {
      stopAll = true;
      out = f;
    }
  };
  const bool integer = v.type.kind == TypeSpec::Number && v.type.integer;
  for (const IterControl& c : controls) {
    bool ended = false;
    if (c.of) {
      // the collection's indices or elements, in index order (REVERSE: from the last)
      size_t next = 0;
      Var* coll = wholeVar(c.lo.b, c.lo.e, next);
      if (!coll || !coll->isColl() || next != c.lo.e) throw wrongType(*this, c.lo.b);
      if (!coll->coll.p) continue;
      std::vector<Val> items;
      if (coll->def->strKeys) {
        for (const auto& [key, el] : coll->coll.p->str) items.push_back(c.of == 1 ? Val{Val::Str, key, false} : el.v);
      } else {
        for (const auto& [key, el] : coll->coll.p->num)
          items.push_back(c.of == 1 ? Val{Val::Num, std::to_string(key), false} : el.v);
      }
      if (c.reverse) std::reverse(items.begin(), items.end());
      for (size_t x = 0; x < items.size() && !ended && !stopAll; ++x) pass(c, items[x], ended);
    } else if (c.repeat) {
      while (!ended && !stopAll) pass(c, eval(c.lo), ended);
    } else if (c.hi.empty()) {
      pass(c, eval(c.lo), ended);
    } else {
      Val lo = eval(c.lo), hi = eval(c.hi), by = c.step.empty() ? Val{Val::Num, "1", false} : eval(c.step);
      if (lo.k != Val::Num || hi.k != Val::Num || by.k != Val::Num) throw valueError("");
      if (integer) {
        lo = evalText("ROUND(" + lo.s + ")");
        hi = evalText("ROUND(" + hi.s + ")");
        if (!s.typedIterand) plsBound(lo), plsBound(hi); // beyond PLS_INTEGER: ORA-01426 before the first pass
      }
      long long a = 0, b = 0, d = 0;
      if (whole(lo, a) && whole(hi, b) && whole(by, d)) {
        if (d <= 0) throw valueError("");
        for (long long k = c.reverse ? b : a; !ended && !stopAll && (c.reverse ? k >= a : k <= b); k += c.reverse ? -d : d)
          pass(c, Val{Val::Num, std::to_string(k), false}, ended);
      } else {
        // fractional bounds or step: the values as NUMBER arithmetic gives them
        if (evalText("CASE WHEN " + by.s + " > 0 THEN 1 ELSE 0 END").s != "1") throw valueError("");
        Val x = c.reverse ? hi : lo;
        const std::string dir = c.reverse ? " >= " : " <= ", limit = c.reverse ? lo.s : hi.s;
        while (!ended && !stopAll && evalText("CASE WHEN " + x.s + dir + limit + " THEN 1 ELSE 0 END").s == "1") {
          pass(c, x, ended);
          x = evalText(x.s + (c.reverse ? " - " : " + ") + by.s);
        }
      }
    }
    if (stopAll) break;
  }
  return out;
}

} // namespace ora::pl
