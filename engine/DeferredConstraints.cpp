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
  auto state = [&](size_t m) {
    return is(t_[m], "DEFERRABLE") || (is(t_[m], "NOT") && is(at(m + 1), "DEFERRABLE")) ||
           (is(t_[m], "INITIALLY") && (is(at(m + 1), "IMMEDIATE") || is(at(m + 1), "DEFERRED")));
  };
  auto other = [&](size_t m) {
    return is(t_[m], "ENABLE") || is(t_[m], "DISABLE") || is(t_[m], "VALIDATE") || is(t_[m], "NOVALIDATE") ||
           is(t_[m], "RELY") || is(t_[m], "NORELY");
  };
  for (size_t m = b; m < e && m < size(); ++m) {
    if (t_[m].kind != Token::Ident || !state(m)) continue;
    // the constraint's states, in any order: the deferral ones are written once, at the first
    bool deferrable = false, deferred = false;
    size_t first = m, k = m;
    for (; k < e && k < size() && (state(k) || other(k)); ++k) {
      if (other(k)) continue;
      if (is(t_[k], "NOT")) {
        deferrable = false;
        skip_[k] = skip_[k + 1] = 1;
        ++k;
      } else if (is(t_[k], "DEFERRABLE")) {
        deferrable = true;
        skip_[k] = 1;
      } else {
        deferred = is(at(k + 1), "DEFERRED");
        skip_[k] = skip_[k + 1] = 1;
        ++k;
      }
    }
    if (deferred && !deferrable) throw OraError(2447).at(static_cast<int>(t_[first].pos));
    if (deferrable) {
      // a foreign key SQLite defers itself; for the others the mark says what was declared
      skip_[first] = 0;
      replace_[first] = foreignKey(first) ? (deferred ? "DEFERRABLE INITIALLY DEFERRED" : "DEFERRABLE INITIALLY IMMEDIATE")
                                          : (deferred ? "/*DEFERRABLE DEFERRED*/" : "/*DEFERRABLE*/");
    }
    m = k - 1;
  }
}

} // namespace tx

namespace {
std::string upperText(std::string s) {
  for (auto& c : s) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  return s;
}
} // namespace

std::string tableDefinition(sqlite3* db, const std::string& table) {
  std::string sql;
  sqlite3_stmt* q = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT sql FROM sqlite_schema WHERE type = 'table' AND name = ?1", -1, &q, nullptr) == SQLITE_OK) {
    sqlite3_bind_text(q, 1, table.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(q) == SQLITE_ROW && sqlite3_column_text(q, 0)) sql = reinterpret_cast<const char*>(sqlite3_column_text(q, 0));
  }
  sqlite3_finalize(q);
  return sql;
}

std::string declaredDeferral(const std::string& definition, const std::string& name) {
  size_t at = definition.find("CONSTRAINT " + quoteIdent(name));
  if (at == std::string::npos) return {};
  size_t next = definition.find("CONSTRAINT \"", at + 11);
  std::string part = definition.substr(at, next == std::string::npos ? std::string::npos : next - at);
  if (part.find("INITIALLY DEFERRED") != std::string::npos || part.find("DEFERRABLE DEFERRED") != std::string::npos)
    return "DEFERRED";
  return part.find("DEFERRABLE") != std::string::npos ? "IMMEDIATE" : "";
}

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
      std::string owner;
      for (auto& table : dict::tablesOf(ses.db, "table"))
        for (auto& c : dict::tableConstraints(ses.db, table))
          if (c.name == n) owner = table;
      if (owner.empty()) throw OraError(2448, n);
      if (deferred && declaredDeferral(tableDefinition(ses.db, owner), n).empty()) throw OraError(2447);
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
