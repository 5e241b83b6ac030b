// Short-circuit evaluation where an expression calls the program's own functions: a CASE takes
// only the branch it chooses and AND / OR stop at the first operand that decides, as PL/SQL
// does. Evaluating every operand first would run a recursive function's base case into endless
// recursion and run the side effects of calls the program guarded against.
#include "PlsqlRun.h"
#include "SqlText.h"

namespace ora::pl {

namespace {

bool word(const Tok& w, const char* s) { return w.kind == T::Word && w.text == s; }

} // namespace

bool Run::userCallIn(Range r) {
  const auto& t = u.toks;
  for (size_t k = r.b; k < r.e; ++k) {
    if (!isName(t, k) || (k > r.b && isOp(t, k - 1, ".")) || find(t[k].text)) continue;
    const std::string& name = t[k].text;
    if (isOp(t, k + 1, ".") && k + 3 < r.e && isName(t, k + 2) && isOp(t, k + 3, "(")) {
      if (name != "DBMS_OUTPUT" && name != "DBMS_SQL" && packageNamed(name, k)) return true;
      continue;
    }
    if (!isOp(t, k + 1, "(")) continue;
    for (auto it = scopes.rbegin(); it != scopes.rend(); ++it)
      if ((*it)->subs.count(name)) return true;
    if (t[k].kind != T::Word || functionAllowed(name.c_str(), false)) continue;
    if (storedFunction(name)) return true;
  }
  return false;
}

bool Run::lazyCase(size_t k, size_t e, std::string& rep, size_t& used) {
  const auto& t = u.toks;
  if (!word(t[k], "CASE")) return false;
  // the parts at this CASE's own level
  std::vector<size_t> whens, thens;
  size_t elseAt = 0, end = 0;
  int depth = 0, cases = 0;
  for (size_t m = k + 1; m < e && !end; ++m) {
    if (isOp(t, m, "(")) ++depth;
    else if (isOp(t, m, ")")) --depth;
    if (depth != 0) continue;
    if (word(t[m], "CASE")) ++cases;
    else if (word(t[m], "END") && cases > 0) --cases;
    else if (cases == 0 && word(t[m], "END")) end = m;
    else if (cases == 0 && word(t[m], "WHEN")) whens.push_back(m);
    else if (cases == 0 && word(t[m], "THEN")) thens.push_back(m);
    else if (cases == 0 && word(t[m], "ELSE")) elseAt = m;
  }
  if (!end || whens.empty() || whens.size() != thens.size() || !userCallIn({k, end})) return false;
  bool simple = whens[0] > k + 1;
  Val selector;
  if (simple) selector = eval({k + 1, whens[0]});
  Val out;
  bool chosen = false;
  for (size_t i = 0; i < whens.size() && !chosen; ++i) {
    Range test{whens[i] + 1, thens[i]};
    if (simple) {
      Val v = eval(test);
      chosen = selector.k != Val::Null && v.k != Val::Null &&
               evalText("CASE WHEN " + literal(selector) + " = " + literal(v) + " THEN 1 ELSE 0 END").s == "1";
    } else {
      chosen = cond(test) == 1;
    }
    if (chosen) out = eval({thens[i] + 1, i + 1 < whens.size() ? whens[i + 1] : elseAt ? elseAt : end});
  }
  if (!chosen && elseAt) out = eval({elseAt + 1, end});
  rep = out.k == Val::Null ? "NULL" : literal(out);
  used = end + 1 - k;
  return true;
}

bool Run::lazyCondition(Range r, int& result) {
  const auto& t = u.toks;
  // the operands of the lowest operator at the top level: OR, else AND
  for (const char* op : {"OR", "AND"}) {
    std::vector<Range> parts;
    size_t from = r.b;
    int depth = 0, cases = 0;
    bool between = false;
    for (size_t m = r.b; m < r.e; ++m) {
      if (isOp(t, m, "(")) ++depth;
      else if (isOp(t, m, ")")) --depth;
      if (depth != 0 || t[m].kind != T::Word) continue;
      if (t[m].text == "CASE") ++cases;
      else if (t[m].text == "END" && cases > 0) --cases;
      else if (cases == 0 && t[m].text == "BETWEEN") between = true;
      else if (cases == 0 && t[m].text == "AND" && between) between = false; // BETWEEN's own AND
      else if (cases == 0 && t[m].text == op && m > from) {
        parts.push_back({from, m});
        from = m + 1;
      }
    }
    if (parts.empty()) continue;
    parts.push_back({from, r.e});
    if (!userCallIn(r)) return false;
    bool anyNull = false, orOp = op[0] == 'O';
    for (Range p : parts) {
      int c = cond(p);
      if (c < 0) anyNull = true;
      else if ((c == 1) == orOp) {
        result = c;
        return true;
      }
    }
    result = anyNull ? -1 : orOp ? 0 : 1;
    return true;
  }
  if (r.e - r.b < 2 || !userCallIn(r)) return false;
  if (word(t[r.b], "NOT")) {
    int c = cond({r.b + 1, r.e});
    result = c < 0 ? -1 : 1 - c;
    return true;
  }
  if (isOp(t, r.b, "(") && closing(t, r.b) == r.e - 1) {
    result = cond({r.b + 1, r.e - 1});
    return true;
  }
  return false;
}

} // namespace ora::pl
