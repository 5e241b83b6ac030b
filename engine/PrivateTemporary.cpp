// Private temporary tables live in the connection's temp schema, so that no other session sees
// them. Making one commits nothing. ON COMMIT DROP DEFINITION (the default) drops it when the
// transaction ends, by commit or rollback; PRESERVE DEFINITION keeps it to the session's end.
#include "PrivateTemporary.h"

#include "OraError.h"
#include "Session.h"
#include "SqlText.h"
#include "SqlTokens.h"

#include <algorithm>
#include <sqlite3.h>

namespace ora {

namespace {

constexpr const char* kPrefix = "ORA$PTT_";
thread_local bool making = false; // translating the table's definition as a table of the schema

std::string nameOf(const sql::Token& t) {
  if (t.kind == sql::Tok::QIdent) return t.text;
  std::string s = t.text;
  for (auto& c : s) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  return s;
}

void run(Session& ses, const std::string& sql) {
  if (sqlite3_exec(ses.db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
    throw fromSqlite(sqlite3_errcode(ses.db), sqlite3_errmsg(ses.db), "CREATE");
}

} // namespace

bool privateTemporaryTable(const std::string& text, Catalog& cat, Translation& out) {
  if (!startsWithWord(text, "CREATE") && !startsWithWord(text, "DROP")) return false;
  sql::TokenList l(text);
  if (!l.ok) return false;
  Session* ses = cat.session();
  if (l.word(0, "DROP")) {
    if (!l.word(1, "TABLE") || !l.name(2) || !ses) return false;
    std::string name = nameOf(l.t[2]);
    auto it = std::find_if(ses->privateTables.begin(), ses->privateTables.end(),
                           [&](const Session::PrivateTable& p) { return p.name == name; });
    if (it == ses->privateTables.end()) return false;
    out = Translation{};
    out.kind = StmtKind::Session;
    out.verb = "DROP";
    out.function = 12;
    out.actions.push_back([name](Session& s) {
      run(s, "DROP TABLE IF EXISTS temp." + quoteIdent(name));
      std::erase_if(s.privateTables, [&](const Session::PrivateTable& p) { return p.name == name; });
      s.forgetSchema();
    });
    return true;
  }
  // the prefix is the private tables' own
  for (size_t k = 1; !making && k + 1 < l.t.size() && k < 5; ++k)
    if ((l.word(k, "TABLE") || l.word(k, "VIEW")) && !l.word(1, "PRIVATE") && l.name(k + 1) &&
        nameOf(l.t[k + 1]).rfind(kPrefix, 0) == 0)
      throw OraError(32463).at(static_cast<int>(l.t[k + 1].pos));
  if (!l.word(1, "PRIVATE") || !l.word(2, "TEMPORARY") || !l.word(3, "TABLE")) return false;
  if (!l.name(4)) throw OraError(903).at(static_cast<int>(l.t[std::min<size_t>(4, l.t.size() - 1)].pos));
  std::string name = nameOf(l.t[4]);
  if (name.rfind(kPrefix, 0) != 0) throw OraError(903).at(static_cast<int>(l.t[4].pos));
  if (!ses) throw OraError(3001);
  // ON COMMIT {DROP | PRESERVE} DEFINITION at the end
  size_t end = l.t.size();
  while (end > 0 && l.t[end - 1].kind == sql::Tok::End) --end;
  bool preserve = false;
  if (end >= 4 && l.word(end - 4, "ON") && l.word(end - 3, "COMMIT") && l.word(end - 1, "DEFINITION")) {
    if (l.word(end - 2, "PRESERVE")) preserve = true;
    else if (!l.word(end - 2, "DROP")) throw OraError(905).at(static_cast<int>(l.t[end - 2].pos));
    end -= 4;
  }
  // the table as a table of the schema would be made; only its definition is kept
  Translation made;
  try {
    making = true;
    struct Done {
      ~Done() { making = false; }
    } done;
    made = translate("CREATE TABLE " + l.slice(4, end), cat, false, false);
  } catch (OraError& e) {
    if (e.pos >= 13) e.pos += static_cast<int>(l.t[4].pos) - 13; // back to the place in the text
    throw;
  }
  const std::string head = "CREATE TABLE " + quoteIdent(name);
  std::string ddl;
  for (auto& s : made.ddl)
    if (s.rfind(head, 0) == 0) ddl = "CREATE TEMP TABLE " + s.substr(13);
  if (ddl.empty()) throw OraError(14451); // a form of table a private temporary table cannot take
  out = Translation{};
  out.kind = StmtKind::Session;
  out.verb = "CREATE";
  out.function = 1;
  out.actions.push_back([name, ddl, preserve](Session& s) {
    run(s, ddl);
    s.privateTables.push_back({name, ddl, preserve});
    s.forgetSchema();
  });
  return true;
}

void endPrivateTables(Session& ses) {
  if (ses.privateTables.empty()) return;
  std::vector<Session::PrivateTable> kept;
  for (auto& p : ses.privateTables) {
    if (p.preserve) {
      // made inside a transaction that a rollback undid: made again
      sqlite3_exec(ses.db, ("CREATE TEMP TABLE IF NOT EXISTS " + p.ddl.substr(18)).c_str(), nullptr, nullptr, nullptr);
      kept.push_back(p);
    } else {
      sqlite3_exec(ses.db, ("DROP TABLE IF EXISTS temp." + quoteIdent(p.name)).c_str(), nullptr, nullptr, nullptr);
    }
  }
  ses.privateTables = std::move(kept);
  ses.forgetSchema();
}

} // namespace ora
