// Compound triggers: "COMPOUND TRIGGER <declarations> <timing point> IS ... END <timing point>;
// ... END;" is read as one block whose declarations live for the whole triggering statement and
// whose body holds the four timing points, each a block of its own, in a fixed order.
#include "OraError.h"
#include "Plsql.h"
#include "PlsqlImpl.h"

#include <algorithm>

namespace ora {

namespace {

// The timing point at token k ("BEFORE STATEMENT", "AFTER EACH ROW", ...): its slot and the
// tokens it takes; -1 when none.
int timingPoint(const std::vector<pl::Tok>& t, size_t k, size_t& used) {
  auto word = [&](size_t i, const char* w) { return i < t.size() && t[i].kind == pl::T::Word && t[i].text == w; };
  bool before = word(k, "BEFORE"), after = word(k, "AFTER");
  if (word(k, "INSTEAD") && word(k + 1, "OF") && word(k + 2, "EACH") && word(k + 3, "ROW")) {
    used = 4;
    return 4;
  }
  if (!before && !after) return -1;
  if (word(k + 1, "STATEMENT")) {
    used = 2;
    return before ? 0 : 3;
  }
  if (word(k + 1, "EACH") && word(k + 2, "ROW")) {
    used = 3;
    return before ? 1 : 2;
  }
  return -1;
}

} // namespace

std::string compoundBlockText(const std::string& body, bool rowSections[3], std::vector<std::string>* parts) {
  std::vector<pl::Tok> t = pl::tokens(body);
  auto word = [&](size_t i, const char* w) { return i < t.size() && t[i].kind == pl::T::Word && t[i].text == w; };
  if (!word(0, "COMPOUND") || !word(1, "TRIGGER")) throw OraError(6550, "COMPOUND TRIGGER expected");
  std::string sections[5];
  size_t sectionAt[5] = {0, 0, 0, 0, 0};
  bool seen[5] = {false, false, false, false, false};
  size_t k = 2, declsEnd = std::string::npos;
  std::string decls;
  for (;;) {
    if (k >= t.size() || t[k].kind == pl::T::End) throw OraError(6550, "END expected");
    size_t used = 0;
    int slot = timingPoint(t, k, used);
    if (slot < 0) {
      if (declsEnd == std::string::npos) {
        // a compound trigger's parts share its state: none of them is a transaction of its own
        if (word(k, "PRAGMA") && word(k + 1, "AUTONOMOUS_TRANSACTION"))
          throw OraError(6550, "PLS-00710: Pragma AUTONOMOUS_TRANSACTION cannot be specified here");
        ++k; // a declaration
        continue;
      }
      if (word(k, "END")) {
        // END [name] ;
        size_t e = k + 1;
        if (e < t.size() && t[e].kind == pl::T::Word) ++e;
        if (e < t.size() && pl::isOp(t, e, ";")) ++e;
        if (e < t.size() && t[e].kind != pl::T::End) throw OraError(6550, "text after the trigger's END");
        break;
      }
      throw OraError(6550, "a timing point expected");
    }
    if (declsEnd == std::string::npos) {
      declsEnd = t[k].pos;
      decls = body.substr(t[1].end, declsEnd - t[1].end);
    }
    if (seen[slot]) throw OraError(6550, "a timing point given twice");
    seen[slot] = true;
    k += used;
    if (!word(k, "IS")) throw OraError(6550, "IS expected");
    size_t from = ++k;
    // up to END <the same timing point> ;
    size_t endUsed = 0;
    for (;; ++k) {
      if (k >= t.size() || t[k].kind == pl::T::End) throw OraError(6550, "END of a timing point expected");
      if (word(k, "END") && timingPoint(t, k + 1, endUsed) == slot) break;
    }
    size_t at = from < t.size() ? t[from].pos : body.size();
    std::string inner = body.substr(at, t[k].pos - at);
    sections[slot] = (word(from, "BEGIN") ? "" : "DECLARE ") + inner + "END;";
    sectionAt[slot] = at;
    k += 1 + endUsed;
    if (!pl::isOp(t, k, ";")) throw OraError(6550, "; expected");
    ++k;
  }
  if (declsEnd == std::string::npos) throw OraError(6550, "a compound trigger has a timing point");
  if (parts) parts->assign(sections, sections + 5);
  rowSections[0] = seen[1];
  rowSections[1] = seen[2];
  rowSections[2] = seen[4];
  bool none = true;
  for (char c : decls) none = none && (c == ' ' || c == '\t' || c == '\r' || c == '\n');
  // each part on the line it has in the body, so that errors name the lines written
  std::string out = (none ? "" : "DECLARE") + decls + " BEGIN ";
  auto lines = [](const std::string& x, size_t n) { return std::count(x.begin(), x.begin() + static_cast<long>(n), '\n'); };
  for (int s = 0; s < 5; ++s) {
    if (!seen[s]) {
      out += " BEGIN NULL; END; ";
      continue;
    }
    for (auto have = lines(out, out.size()), want = lines(body, sectionAt[s]); have < want; ++have) out += '\n';
    out += sections[s] + " ";
  }
  return out + "END;";
}

} // namespace ora
