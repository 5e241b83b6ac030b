// Database links: kept as the schema's objects, shown by the dictionary, and dropped again. The
// engine reaches no other database, so a statement naming object@link fails as Oracle's does
// when the link's address cannot be resolved; a name that is no link is ORA-02019.
#include "DatabaseLinks.h"

#include "OraError.h"
#include "SqlLexer.h"
#include "SqlText.h"

#include <cctype>
#include <cstring>
#include <sqlite3.h>

namespace ora {

namespace {

using sql::Tok;
using sql::Token;

const char* const kTable = "CREATE TABLE IF NOT EXISTS \"TESSEL$DB_LINKS\" (DB_LINK TEXT PRIMARY KEY,"
                           " USERNAME TEXT, HOST TEXT, CREATED TEXT NOT NULL, PUBLIC INTEGER NOT NULL)";

bool word(const std::vector<Token>& t, size_t i, const char* w) {
  return i < t.size() && t[i].kind == Tok::Ident && t[i].text == w;
}
bool name(const std::vector<Token>& t, size_t i) {
  return i < t.size() && (t[i].kind == Tok::Ident || t[i].kind == Tok::QIdent);
}
[[noreturn]] void failAt(int code, const std::vector<Token>& t, size_t i) {
  throw OraError(code).at(static_cast<int>(t[std::min(i, t.size() - 1)].pos));
}

// A link's name: identifiers joined by dots (sales.hq.acme.com), as one upper-case name.
size_t linkName(const std::vector<Token>& t, size_t i, std::string& out) {
  if (!name(t, i)) failAt(2010, t, i);
  out = t[i++].text;
  while (i + 1 < t.size() && t[i].kind == Tok::Op && t[i].text == "." && name(t, i + 1)) {
    out += "." + t[i + 1].text;
    i += 2;
  }
  return i;
}

// Whether the schema has a link of that name.
bool linkExists(sqlite3* db, const std::string& link) {
  sqlite3_stmt* st = nullptr;
  bool found = false;
  if (sqlite3_prepare_v2(db, "SELECT 1 FROM \"TESSEL$DB_LINKS\" WHERE DB_LINK = ?1", -1, &st, nullptr) == SQLITE_OK) {
    sqlite3_bind_text(st, 1, link.c_str(), -1, SQLITE_TRANSIENT);
    found = sqlite3_step(st) == SQLITE_ROW;
  }
  sqlite3_finalize(st);
  return found;
}

bool identChar(unsigned char c) { return std::isalnum(c) || c == '_' || c == '$' || c == '#' || c >= 0x80; }

} // namespace

bool databaseLinkStatement(const std::string& text, Catalog& cat, Translation& out) {
  bool create = startsWithWord(text, "CREATE");
  if (!create && !startsWithWord(text, "DROP")) return false;
  std::vector<Token> t;
  try {
    t = sql::lex(text);
  } catch (const OraError&) {
    return false;
  }
  size_t i = 1;
  if (create && word(t, i, "SHARED")) ++i;
  bool isPublic = word(t, i, "PUBLIC");
  if (isPublic) ++i;
  if (!word(t, i, "DATABASE") || !word(t, i + 1, "LINK")) return false;
  i += 2;
  // a public link needs CREATE PUBLIC DATABASE LINK, which only the administrator holds
  if (isPublic && cat.user() != "SYSTEM") throw OraError(1031);
  std::string link;
  size_t at = i;
  i = linkName(t, i, link);
  out = Translation{};
  out.kind = StmtKind::Ddl;
  out.verb = t[0].text;
  if (!create) {
    out.function = 33;
    if (i < t.size() && t[i].kind != Tok::End) failAt(933, t, i);
    sqlite3_stmt* st = nullptr;
    bool found = false;
    if (sqlite3_prepare_v2(cat.db(), "SELECT 1 FROM \"TESSEL$DB_LINKS\" WHERE DB_LINK = ?1 AND PUBLIC = ?2", -1, &st,
                           nullptr) == SQLITE_OK) {
      sqlite3_bind_text(st, 1, link.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_int(st, 2, isPublic ? 1 : 0);
      found = sqlite3_step(st) == SQLITE_ROW;
    }
    sqlite3_finalize(st);
    if (!found) failAt(2024, t, at);
    out.ddl.push_back("DELETE FROM \"TESSEL$DB_LINKS\" WHERE DB_LINK = " + quoteString(link));
    return true;
  }
  out.function = 32;
  std::string user;
  std::string host;
  if (word(t, i, "CONNECT")) {
    if (!word(t, i + 1, "TO")) failAt(905, t, i + 1);
    i += 2;
    if (word(t, i, "CURRENT_USER")) {
      ++i;
    } else {
      if (!name(t, i)) failAt(2010, t, i);
      user = t[i++].text;
      if (!word(t, i, "IDENTIFIED") || !word(t, i + 1, "BY")) failAt(905, t, i);
      // the password is not kept: nothing here would ever use it
      if (!name(t, i + 2)) failAt(988, t, i + 2);
      i += 3;
    }
  }
  if (word(t, i, "AUTHENTICATED")) {
    if (!word(t, i + 1, "BY") || !name(t, i + 2) || !word(t, i + 3, "IDENTIFIED") || !word(t, i + 4, "BY") ||
        !name(t, i + 5))
      failAt(905, t, i + 1);
    i += 6;
  }
  if (word(t, i, "USING")) {
    if (i + 1 >= t.size() || t[i + 1].kind != Tok::Str) failAt(1780, t, i + 1);
    host = t[i + 1].text;
    i += 2;
  }
  if (i < t.size() && t[i].kind != Tok::End) failAt(933, t, i);
  if (linkExists(cat.db(), link)) failAt(2011, t, at);
  out.ddl.push_back(kTable);
  out.ddl.push_back("INSERT INTO \"TESSEL$DB_LINKS\" (DB_LINK, USERNAME, HOST, CREATED, PUBLIC) VALUES (" +
                    quoteString(link) + ", " + (user.empty() ? "NULL" : quoteString(user)) + ", " +
                    (host.empty() ? "NULL" : quoteString(host)) + ", ora_sysdate(), " + (isPublic ? "1" : "0") +
                    ")");
  return true;
}

void remoteReference(const std::string& text, Catalog& cat) {
  if (std::memchr(text.data(), '@', text.size()) == nullptr) return;
  // CREATE SYNONYM ... FOR object@link names the link without reaching it
  if (startsWithWord(text, "CREATE") || startsWithWord(text, "DROP")) return;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\'' || c == '"') {
      size_t close = text.find(c, i + 1);
      if (close == std::string::npos) return;
      i = close;
    } else if (c == '-' && i + 1 < text.size() && text[i + 1] == '-') {
      i = text.find('\n', i);
      if (i == std::string::npos) return;
    } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
      i = text.find("*/", i + 2);
      if (i == std::string::npos) return;
      ++i;
    } else if (c == '@' && i > 0 && (identChar(static_cast<unsigned char>(text[i - 1])) || text[i - 1] == '"') &&
               i + 1 < text.size() && (std::isalpha(static_cast<unsigned char>(text[i + 1])) || text[i + 1] == '"')) {
      size_t b = i + 1, e = b;
      while (e < text.size() && (identChar(static_cast<unsigned char>(text[e])) || text[e] == '.')) ++e;
      std::string link = text.substr(b, e - b);
      for (auto& ch : link) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
      // the link's address names no database this engine can reach
      if (!linkExists(cat.db(), link)) throw OraError(2019).at(static_cast<int>(b));
      OraError unreachable(12154);
      unreachable.text = "ORA-12154: TNS:could not resolve the connect identifier specified";
      throw unreachable.at(static_cast<int>(b));
    }
  }
}

std::vector<std::vector<std::string>> databaseLinkRows(sqlite3* db, const std::string& view, const std::string& user) {
  std::vector<std::vector<std::string>> out;
  bool owned = view != "USER_DB_LINKS";
  std::string sql = "SELECT DB_LINK, USERNAME, HOST, CREATED, PUBLIC FROM \"TESSEL$DB_LINKS\"";
  if (!owned) sql += " WHERE PUBLIC = 0";
  sql += " ORDER BY DB_LINK";
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK) {
    auto col = [&](int k) {
      const unsigned char* v = sqlite3_column_text(st, k);
      return v ? std::string(reinterpret_cast<const char*>(v)) : std::string();
    };
    while (sqlite3_step(st) == SQLITE_ROW) {
      std::vector<std::string> row;
      if (owned) row.push_back(sqlite3_column_int(st, 4) ? "PUBLIC" : user);
      row.push_back(col(0));
      row.push_back(col(1));
      if (!owned) row.push_back(std::string()); // PASSWORD: never kept
      row.push_back(col(2));
      row.push_back(col(3));
      out.push_back(std::move(row));
    }
  }
  sqlite3_finalize(st);
  return out;
}

} // namespace ora
