// Application contexts: CREATE [OR REPLACE] CONTEXT namespace USING [schema.]package and DROP
// CONTEXT, kept beside the user list as they belong to the database. Only that package may set
// the namespace's attributes (DBMS_SESSION.SET_CONTEXT); SYS_CONTEXT reads them for the session.
#include "Contexts.h"

#include "OraError.h"
#include "Session.h"
#include "SqlLexer.h"

#include <algorithm>
#include <cctype>

#include <sqlite3.h>

namespace ora {

namespace {

using sql::Tok;

const char* const kTable = "CREATE TABLE IF NOT EXISTS \"TESSEL$CONTEXTS\" (NAMESPACE TEXT PRIMARY KEY,"
                           " SCHEMA TEXT NOT NULL, PACKAGE TEXT NOT NULL)";

struct SysFile {
  sqlite3* db = nullptr;
  ~SysFile() { sqlite3_close(db); }
};

// One statement on the database's own file with text parameters; the rows' first two columns.
std::vector<std::pair<std::string, std::string>> onSystem(const std::string& folder, const char* sql,
                                                           const std::vector<std::string>& params, bool write) {
  SysFile f;
  std::vector<std::pair<std::string, std::string>> out;
  if (sqlite3_open_v2((folder + "/system.db").c_str(), &f.db, write ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY,
                      nullptr) != SQLITE_OK) {
    if (write) throw OraError(12154);
    return out;
  }
  sqlite3_busy_timeout(f.db, 2000);
  if (write && sqlite3_exec(f.db, kTable, nullptr, nullptr, nullptr) != SQLITE_OK) throw OraError(600, sqlite3_errmsg(f.db));
  sqlite3_stmt* st = nullptr;
  // a database made before contexts has no table of them: none
  if (sqlite3_prepare_v2(f.db, sql, -1, &st, nullptr) != SQLITE_OK) {
    if (write) throw OraError(600, sqlite3_errmsg(f.db));
    return out;
  }
  for (size_t k = 0; k < params.size(); ++k)
    sqlite3_bind_text(st, static_cast<int>(k + 1), params[k].c_str(), -1, SQLITE_TRANSIENT);
  int rc;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    auto text = [&](int c) {
      const unsigned char* v = sqlite3_column_text(st, c);
      return std::string(v ? reinterpret_cast<const char*>(v) : "");
    };
    out.emplace_back(text(0), sqlite3_column_count(st) > 1 ? text(1) : std::string());
  }
  std::string msg = sqlite3_errmsg(f.db);
  sqlite3_finalize(st);
  if (rc != SQLITE_DONE) throw OraError(600, msg);
  return out;
}

} // namespace

std::string contextPackage(const std::string& folder, const std::string& ns) {
  auto rows = onSystem(folder, "SELECT SCHEMA, PACKAGE FROM \"TESSEL$CONTEXTS\" WHERE NAMESPACE = ?1", {ns}, false);
  return rows.empty() ? std::string() : rows[0].first + "." + rows[0].second;
}

bool contextStatement(const std::string& text, Catalog& cat, Translation& out) {
  if (!startsWithWord(text, "CREATE") && !startsWithWord(text, "DROP")) return false;
  // the word comes early: other DDL is not read twice
  std::string head = text.substr(0, 64);
  for (auto& c : head) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (head.find("CONTEXT") == std::string::npos) return false;
  std::vector<sql::Token> t;
  try {
    t = sql::lex(text);
  } catch (const OraError&) {
    return false;
  }
  auto word = [&](size_t i, const char* w) { return i < t.size() && t[i].kind == Tok::Ident && t[i].text == w; };
  auto name = [&](size_t i) { return i < t.size() && (t[i].kind == Tok::Ident || t[i].kind == Tok::QIdent); };
  auto fail = [&](int code, size_t i) -> OraError {
    return OraError(code).at(static_cast<int>(t[std::min(i, t.size() - 1)].pos));
  };
  auto end = [&](size_t i) { return i >= t.size() || t[i].kind == Tok::End; };
  const bool create = word(0, "CREATE");
  size_t i = 1;
  bool replace = false;
  if (create && word(1, "OR") && word(2, "REPLACE")) {
    replace = true;
    i = 3;
  }
  if (!word(i, "CONTEXT")) return false;
  if (!cat.session()) throw OraError(1031);
  const std::string folder = cat.session()->folder;
  ++i;
  if (!name(i)) throw fail(create ? 922 : 4043, i);
  const std::string ns = t[i++].text;
  out = Translation{};
  out.kind = StmtKind::Ddl;
  out.verb = create ? "CREATE" : "DROP";
  out.function = create ? 177 : 178;
  if (!create) {
    if (!end(i)) throw fail(933, i);
    if (contextPackage(folder, ns).empty()) throw OraError(4043, ns);
    out.actions.push_back([folder, ns](Session&) {
      onSystem(folder, "DELETE FROM \"TESSEL$CONTEXTS\" WHERE NAMESPACE = ?1", {ns}, true);
    });
    return true;
  }
  if (!word(i, "USING")) throw fail(922, i);
  ++i;
  if (!name(i)) throw fail(922, i);
  std::string schema = cat.user(), package = t[i++].text;
  if (i < t.size() && t[i].kind == Tok::Op && t[i].text == ".") {
    if (!name(i + 1)) throw fail(922, i + 1);
    schema = package;
    package = t[i + 1].text;
    i += 2;
  }
  // where the values come from: the session's own calls are the only source here
  if (word(i, "INITIALIZED") && (word(i + 1, "EXTERNALLY") || word(i + 1, "GLOBALLY"))) i += 2;
  else if (word(i, "ACCESSED") && word(i + 1, "GLOBALLY")) i += 2;
  if (!end(i)) throw fail(922, i);
  if (!replace && !contextPackage(folder, ns).empty()) throw fail(955, 2);
  out.actions.push_back([folder, ns, schema, package](Session&) {
    onSystem(folder, "INSERT OR REPLACE INTO \"TESSEL$CONTEXTS\" VALUES (?1, ?2, ?3)", {ns, schema, package}, true);
  });
  return true;
}

} // namespace ora
