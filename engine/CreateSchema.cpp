// CREATE SCHEMA AUTHORIZATION user CREATE TABLE ... CREATE VIEW ... GRANT ...: the statements run
// in turn, and when one fails the objects the others made go again, so that none is left.
#include "Clusters.h"

#include "OraError.h"
#include "Session.h"
#include "SqlText.h"
#include "SqlTokens.h"

namespace ora {

namespace {

using sql::Tok;

std::string nameOf(const sql::Token& t) {
  if (t.kind == Tok::QIdent) return t.text;
  std::string s = t.text;
  for (auto& c : s) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  return s;
}

struct Element {
  std::string text, made; // made: "TABLE name" or "VIEW name" for what undoes it
  int offset = 0;
};

void runOne(Session& s, const Element& e) {
  Catalog cat(s.db, s.user, &s);
  try {
    Translation t = translate(e.text, cat, false, false);
    if (t.kind == StmtKind::Ddl) s.runDdl(t);
    else if (t.kind == StmtKind::Session)
      for (auto& a : t.actions) a(s);
    else throw OraError(2422);
  } catch (OraError& err) {
    if (err.pos >= 0) err.pos += e.offset; // placed in the whole statement
    throw;
  }
}

} // namespace

bool createSchema(const std::string& text, Catalog& cat, Translation& out) {
  if (!startsWithWord(text, "CREATE") || !containsWord(text, "SCHEMA")) return false;
  sql::TokenList l(text);
  if (!l.ok || !l.word(1, "SCHEMA")) return false;
  size_t end = l.t.size();
  while (end > 0 && l.t[end - 1].kind == Tok::End) --end;
  auto posOf = [&](size_t i) { return static_cast<int>(l.t[std::min(i, l.t.size() - 1)].pos); };
  if (!l.word(2, "AUTHORIZATION")) throw OraError(2420).at(posOf(2));
  if (!l.name(3) || nameOf(l.t[3]) != cat.user()) throw OraError(2421).at(posOf(3));
  // each element starts at a CREATE or GRANT outside parentheses
  std::vector<size_t> starts;
  for (size_t k = 4; k < end; ++k) {
    if (l.op(k, "(")) {
      k = l.close(k);
      continue;
    }
    if (l.word(k, "CREATE") || l.word(k, "GRANT")) starts.push_back(k);
    else if (k == 4) throw OraError(2422).at(posOf(k));
  }
  if (starts.empty()) throw OraError(2422).at(posOf(4));
  std::vector<Element> elements;
  for (size_t n = 0; n < starts.size(); ++n) {
    size_t b = starts[n], e = n + 1 < starts.size() ? starts[n + 1] : end;
    Element el;
    el.text = l.slice(b, e);
    el.offset = static_cast<int>(l.t[b].pos);
    if (l.word(b, "CREATE")) {
      if (!(l.word(b + 1, "TABLE") || l.word(b + 1, "VIEW"))) throw OraError(2422).at(posOf(b + 1));
      if (l.name(b + 2)) el.made = l.t[b + 1].text + " " + quoteIdent(nameOf(l.t[b + 2]));
    }
    elements.push_back(el);
  }
  out = Translation{};
  out.kind = StmtKind::Ddl;
  out.verb = "CREATE";
  out.function = 17;
  out.actions.push_back([elements](Session& s) {
    size_t done = 0;
    try {
      for (; done < elements.size(); ++done) runOne(s, elements[done]);
    } catch (...) {
      // what the elements before made goes again, the latest first
      for (size_t k = done; k-- > 0;) {
        const std::string& made = elements[k].made;
        if (made.empty()) continue;
        Element undo;
        undo.text = "DROP " + made + (made.rfind("TABLE", 0) == 0 ? " CASCADE CONSTRAINTS PURGE" : "");
        try {
          runOne(s, undo);
        } catch (const OraError&) {
          // already gone with a table dropped before it
        }
      }
      throw;
    }
  });
  return true;
}

} // namespace ora
