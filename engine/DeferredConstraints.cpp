// Deferrable constraints. A foreign key declared INITIALLY DEFERRED, and every foreign key after
// SET CONSTRAINTS ALL DEFERRED, is checked when the transaction commits; a commit that finds a
// broken key rolls the transaction back (ORA-02091). Unique keys and checks declared DEFERRABLE
// are checked at once, as those INITIALLY IMMEDIATE are.
#include "DeferredConstraints.h"

#include "ConstraintErrors.h"
#include "DictionaryImpl.h"
#include "Session.h"
#include "SqlText.h"
#include "SqlTokens.h"
#include "TranslateImpl.h"

#include <sqlite3.h>

namespace ora {

namespace tx {

void Translator::deferrableStates(size_t b, size_t e) {
  // whether the state at m belongs to a REFERENCES clause
  auto foreignKey = [&](size_t m) {
    for (size_t k = m; k-- > b;) {
      if (t_[k].depth < t_[m].depth) return false;
      if (t_[k].depth > t_[m].depth) continue;
      if (is(t_[k], "REFERENCES")) return true;
      if (is(t_[k], ",") || is(t_[k], "CHECK") || is(t_[k], "UNIQUE") || is(t_[k], "PRIMARY") || is(t_[k], "NULL") ||
          is(t_[k], "DEFAULT"))
        return false;
    }
    return false;
  };
  for (size_t m = b; m < e && m < size(); ++m) {
    if (t_[m].kind != Token::Ident) continue;
    if (is(t_[m], "NOT") && is(at(m + 1), "DEFERRABLE")) {
      skip_[m] = skip_[m + 1] = 1;
      ++m;
    } else if (is(t_[m], "DEFERRABLE")) {
      skip_[m] = 1;
    } else if (is(t_[m], "INITIALLY") && (is(at(m + 1), "IMMEDIATE") || is(at(m + 1), "DEFERRED"))) {
      if (is(at(m + 1), "DEFERRED")) {
        // INITIALLY DEFERRED needs DEFERRABLE (which may follow it)
        bool deferrable = false;
        for (size_t k = m; k-- > b && t_[k].depth >= t_[m].depth && !is(t_[k], ",");)
          if (is(t_[k], "DEFERRABLE") && !(k > 0 && is(t_[k - 1], "NOT"))) deferrable = true;
        if (is(at(m + 2), "DEFERRABLE")) deferrable = true;
        if (!deferrable) throw OraError(2447).at(static_cast<int>(t_[m].pos));
      }
      if (is(at(m + 1), "DEFERRED") && foreignKey(m)) replace_[m] = "DEFERRABLE INITIALLY DEFERRED";
      else skip_[m] = 1;
      skip_[m + 1] = 1;
      ++m;
    }
  }
}

} // namespace tx

namespace {
std::string upperText(std::string s) {
  for (auto& c : s) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  return s;
}
} // namespace

bool setConstraints(const std::string& text, Translation& out) {
  if (!startsWithWord(text, "SET")) return false;
  sql::TokenList l(text);
  if (!l.ok || !l.word(0, "SET") || !(l.word(1, "CONSTRAINTS") || l.word(1, "CONSTRAINT"))) return false;
  size_t i = 2;
  bool all = l.word(i, "ALL");
  std::vector<std::string> names;
  if (all) {
    ++i;
  } else {
    for (;;) {
      if (!l.name(i)) throw OraError(2448).at(static_cast<int>(l.t[std::min(i, l.t.size() - 1)].pos));
      std::string n = l.t[i].kind == sql::Tok::QIdent ? l.t[i].text : upperText(l.t[i].text);
      if (l.op(i + 1, ".") && l.name(i + 2)) n = l.t[i += 2].kind == sql::Tok::QIdent ? l.t[i].text : upperText(l.t[i].text);
      names.push_back(n);
      ++i;
      if (!l.op(i, ",")) break;
      ++i;
    }
  }
  bool deferred = l.word(i, "DEFERRED");
  if (!deferred && !l.word(i, "IMMEDIATE")) throw OraError(2448).at(static_cast<int>(l.t[std::min(i, l.t.size() - 1)].pos));
  ++i;
  if (i < l.t.size() && l.t[i].kind != sql::Tok::End) throw OraError(933).at(static_cast<int>(l.t[i].pos));
  out = Translation{};
  out.kind = StmtKind::Session;
  out.verb = "SET";
  out.function = 90;
  out.actions.push_back([names, deferred](Session& ses) {
    for (auto& n : names) {
      bool found = false;
      for (auto& table : dict::tablesOf(ses.db, "table"))
        for (auto& c : dict::tableConstraints(ses.db, table))
          if (c.name == n) found = true;
      if (!found) throw OraError(2448, n);
    }
    ses.beginIfNeeded("SET");
    if (deferred) {
      sqlite3_exec(ses.db, "PRAGMA defer_foreign_keys = ON", nullptr, nullptr, nullptr);
      return;
    }
    // IMMEDIATE: the keys deferred so far are checked now
    std::string child;
    sqlite3_stmt* q = nullptr;
    if (sqlite3_prepare_v2(ses.db, "PRAGMA foreign_key_check", -1, &q, nullptr) == SQLITE_OK && sqlite3_step(q) == SQLITE_ROW)
      child = reinterpret_cast<const char*>(sqlite3_column_text(q, 0));
    sqlite3_finalize(q);
    if (!child.empty()) {
      Translation t;
      t.target = child;
      t.verb = "INSERT";
      throw constraintError(ses.db, ses.user, t, "FOREIGN KEY constraint failed", nullptr);
    }
    sqlite3_exec(ses.db, "PRAGMA defer_foreign_keys = OFF", nullptr, nullptr, nullptr);
  });
  return true;
}

OraError deferredFailure(Session& ses) {
  std::string child;
  sqlite3_stmt* q = nullptr;
  if (sqlite3_prepare_v2(ses.db, "PRAGMA foreign_key_check", -1, &q, nullptr) == SQLITE_OK && sqlite3_step(q) == SQLITE_ROW)
    child = reinterpret_cast<const char*>(sqlite3_column_text(q, 0));
  sqlite3_finalize(q);
  OraError e(2091);
  if (!child.empty()) {
    Translation t;
    t.target = child;
    t.verb = "INSERT";
    e.text += "\n" + constraintError(ses.db, ses.user, t, "FOREIGN KEY constraint failed", nullptr).text;
  }
  return e;
}

} // namespace ora
