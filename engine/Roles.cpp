// Roles live in the database's user file, beside the users: a role, what is granted to it and
// to whom it is granted. CONNECT and RESOURCE are held by every user and DBA by SYSTEM, as
// before. Object privileges are kept in the same file (ObjectGrants.cpp).
#include "Roles.h"

#include "Database.h"
#include "OraError.h"
#include "Session.h"
#include "SqlLexer.h"
#include "SqlText.h"

#include <algorithm>
#include <functional>
#include <map>
#include <sqlite3.h>

namespace ora {

namespace {

using sql::Tok;
using sql::Token;

const char* const kBuiltin[] = {"CONNECT", "DBA", "RESOURCE"};
// what the engine grants every user through CONNECT and RESOURCE
const std::map<std::string, std::vector<const char*>> kBuiltinPrivileges = {
    {"CONNECT", {"CREATE SESSION"}},
    {"RESOURCE", {"CREATE PROCEDURE", "CREATE SEQUENCE", "CREATE TABLE", "CREATE TRIGGER"}}};
// the system privileges every user already holds, so granting them changes nothing for a user
const std::set<std::string> kHeld = {"CONNECT", "RESOURCE", "CREATE SESSION", "CREATE TABLE", "CREATE VIEW",
                                     "CREATE SEQUENCE", "CREATE PROCEDURE", "CREATE TRIGGER", "CREATE SYNONYM",
                                     "UNLIMITED TABLESPACE", "ALTER SESSION"};

const char* const kTables[] = {
    "CREATE TABLE IF NOT EXISTS \"TESSEL$ROLES\" (NAME TEXT PRIMARY KEY, HASH TEXT)",
    "CREATE TABLE IF NOT EXISTS \"TESSEL$ROLE_GRANTS\" (GRANTEE TEXT NOT NULL, GRANTED TEXT NOT NULL,"
    " ADMIN INTEGER NOT NULL, PRIMARY KEY (GRANTEE, GRANTED))",
    "CREATE TABLE IF NOT EXISTS \"TESSEL$ROLE_PRIVS\" (ROLE TEXT NOT NULL, PRIVILEGE TEXT NOT NULL,"
    " ADMIN INTEGER NOT NULL, PRIMARY KEY (ROLE, PRIVILEGE))",
    // object privileges: the object by its number in the owner's schema (0 for one made before
    // objects were numbered, which alone keep their NAME), so a grant follows a rename and dies with
    // the object
    "CREATE TABLE IF NOT EXISTS \"TESSEL$OBJ_PRIVS\" (OWNER TEXT NOT NULL, OBJ INTEGER NOT NULL, NAME TEXT NOT NULL,"
    " TYPE TEXT NOT NULL, GRANTEE TEXT NOT NULL, GRANTOR TEXT NOT NULL, PRIVILEGE TEXT NOT NULL, COL TEXT NOT NULL,"
    " GRANTABLE INTEGER NOT NULL, HIERARCHY INTEGER NOT NULL,"
    " PRIMARY KEY (OWNER, OBJ, NAME, GRANTEE, GRANTOR, PRIVILEGE, COL))"};

bool builtin(const std::string& name) {
  return std::find(std::begin(kBuiltin), std::end(kBuiltin), name) != std::end(kBuiltin);
}

struct Grant {
  std::string grantee, what;
  bool admin = false;
};

// What the user file holds of roles, read once per statement.
struct RoleData {
  std::map<std::string, std::string> roles; // stored roles: name -> password hash, empty when none
  std::vector<Grant> grants;                // roles granted to users, roles and PUBLIC
  std::vector<Grant> privileges;            // system privileges granted to roles

  bool exists(const std::string& r) const { return builtin(r) || roles.count(r); }
  // the roles granted straight to a user (or PUBLIC), the built-in ones first
  std::vector<Grant> direct(const std::string& user) const {
    std::vector<Grant> out;
    if (user != "PUBLIC") {
      if (user == "SYSTEM") out.push_back({user, "DBA", true});
      out.push_back({user, "CONNECT", false});
      out.push_back({user, "RESOURCE", false});
    }
    for (const Grant& g : grants)
      if (g.grantee == user && !(builtin(g.what) && user != "PUBLIC" && !roles.count(user))) out.push_back(g);
    return out;
  }
  // the roles and every role they hold in turn
  std::set<std::string> closure(std::set<std::string> from) const {
    std::vector<std::string> todo(from.begin(), from.end());
    while (!todo.empty()) {
      std::string r = todo.back();
      todo.pop_back();
      for (const Grant& g : grants)
        if (g.grantee == r && from.insert(g.what).second) todo.push_back(g.what);
    }
    return from;
  }
  std::set<std::string> granted(const std::string& user) const {
    std::set<std::string> out;
    for (const Grant& g : direct(user)) out.insert(g.what);
    for (const Grant& g : direct("PUBLIC")) out.insert(g.what);
    return closure(out);
  }
  bool admin(const std::string& user, const std::string& role) const {
    if (user == "SYSTEM") return true;
    for (const Grant& g : grants)
      if (g.grantee == user && g.what == role && g.admin) return true;
    return false;
  }
};

std::string systemFile(const std::string& folder) { return folder + "/system.db"; }

struct SysDb {
  sqlite3* db = nullptr;
  ~SysDb() { sqlite3_close(db); }
};

bool openSys(const std::string& folder, bool write, SysDb& s) {
  int flags = write ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY;
  if (sqlite3_open_v2(systemFile(folder).c_str(), &s.db, flags, nullptr) != SQLITE_OK) return false;
  sqlite3_busy_timeout(s.db, 2000);
  return true;
}

void rows(sqlite3* db, const char* sql, const std::function<void(sqlite3_stmt*)>& each) {
  sqlite3_stmt* st = nullptr;
  // a user file of an earlier version has no role tables: no roles
  if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK)
    while (sqlite3_step(st) == SQLITE_ROW) each(st);
  sqlite3_finalize(st);
}

std::string col(sqlite3_stmt* st, int i) {
  const unsigned char* t = sqlite3_column_text(st, i);
  return t ? reinterpret_cast<const char*>(t) : "";
}

RoleData load(const std::string& folder) {
  RoleData d;
  SysDb s;
  if (!openSys(folder, false, s)) return d;
  rows(s.db, "SELECT NAME, HASH FROM \"TESSEL$ROLES\"", [&](sqlite3_stmt* st) { d.roles[col(st, 0)] = col(st, 1); });
  rows(s.db, "SELECT GRANTEE, GRANTED, ADMIN FROM \"TESSEL$ROLE_GRANTS\" ORDER BY GRANTEE, GRANTED",
       [&](sqlite3_stmt* st) { d.grants.push_back({col(st, 0), col(st, 1), sqlite3_column_int(st, 2) != 0}); });
  rows(s.db, "SELECT ROLE, PRIVILEGE, ADMIN FROM \"TESSEL$ROLE_PRIVS\" ORDER BY ROLE, PRIVILEGE",
       [&](sqlite3_stmt* st) { d.privileges.push_back({col(st, 0), col(st, 1), sqlite3_column_int(st, 2) != 0}); });
  return d;
}

using Write = SystemWrite;

void writeSys(const std::string& folder, const std::vector<Write>& writes) {
  SysDb s;
  if (!openSys(folder, true, s)) throw OraError(12154);
  auto fail = [&](int rc) {
    OraError e = fromSqlite(rc, sqlite3_errmsg(s.db), "GRANT");
    execOne(s.db, "ROLLBACK");
    throw e;
  };
  if (int rc = execOne(s.db, "BEGIN IMMEDIATE"); rc != SQLITE_OK) throw fromSqlite(rc, sqlite3_errmsg(s.db), "GRANT");
  for (const char* t : kTables)
    if (int rc = execOne(s.db, t); rc != SQLITE_OK) fail(rc);
  for (const Write& w : writes) {
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(s.db, w.sql.c_str(), -1, &st, nullptr);
    for (size_t k = 0; rc == SQLITE_OK && k < w.params.size(); ++k)
      sqlite3_bind_text(st, static_cast<int>(k + 1), w.params[k].c_str(), -1, SQLITE_TRANSIENT);
    if (rc == SQLITE_OK) rc = sqlite3_step(st);
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE && rc != SQLITE_OK) fail(rc);
  }
  if (int rc = execOne(s.db, "COMMIT"); rc != SQLITE_OK) fail(rc);
}

// Reads a statement's tokens; every check that fails throws at the token at fault.
class Reader {
public:
  Reader(const std::string& text, Catalog& cat) : t(sql::lex(text)), cat(cat) {
    if (!cat.session()) throw OraError(1031);
    folder = cat.session()->folder;
  }
  bool word(size_t i, const char* w) const { return i < t.size() && t[i].kind == Tok::Ident && t[i].text == w; }
  bool op(size_t i, const char* o) const { return i < t.size() && t[i].kind == Tok::Op && t[i].text == o; }
  bool end(size_t i) const { return i >= t.size() || t[i].kind == Tok::End; }
  [[noreturn]] void fail(int code, size_t i, const std::string& detail = {}) const {
    throw OraError(code, detail).at(static_cast<int>(t[std::min(i, t.size() - 1)].pos));
  }
  // a role or user name (CONNECT and PUBLIC among them, reserved as they are); `code` when none
  std::string name(size_t i, int code) const {
    if (i < t.size() && (t[i].kind == Tok::QIdent || t[i].kind == Tok::Ident))
      return t[i].text;
    fail(code, i);
  }
  // IDENTIFIED BY password: the password as a logon would compare it
  std::string password(size_t i) const {
    if (i < t.size() && t[i].kind == Tok::QIdent) return normalizeName("\"" + t[i].text + "\"");
    if (i < t.size() && t[i].kind == Tok::Ident) return t[i].text;
    fail(988, i);
  }
  void finish(size_t i) const {
    if (!end(i)) fail(933, i);
  }
  const std::string& user() const { return cat.user(); }

  std::vector<Token> t;
  Catalog& cat;
  std::string folder;
};

void ddl(Translation& out, int function, const char* verb) {
  out = Translation{};
  out.kind = StmtKind::Ddl;
  out.function = function;
  out.verb = verb;
}

// [NOT IDENTIFIED | IDENTIFIED BY password] from i: the hash, empty for none; `i` moves past it.
std::string authentication(const Reader& r, size_t& i) {
  if (r.word(i, "NOT")) {
    if (!r.word(i + 1, "IDENTIFIED")) r.fail(922, i + 1);
    i += 2;
    return {};
  }
  if (!r.word(i, "IDENTIFIED")) return {};
  // EXTERNALLY and GLOBALLY need an outside authority the engine does not have
  if (!r.word(i + 1, "BY")) r.fail(r.word(i + 1, "EXTERNALLY") || r.word(i + 1, "GLOBALLY") ? 1031 : 922, i + 1);
  std::string hash = secretHash(r.password(i + 2));
  if (hash.empty()) throw OraError(3113);
  i += 3;
  return hash;
}

void createRole(Reader& r, Translation& out) {
  ddl(out, 12, "CREATE");
  std::string name = r.name(2, 922);
  size_t i = 3;
  std::string hash = authentication(r, i);
  r.finish(i);
  if (r.user() != "SYSTEM") r.fail(1031, 0);
  RoleData d = load(r.folder);
  if (d.exists(name) || name == "PUBLIC" || userExists(r.folder, name)) r.fail(1921, 2, name);
  // whoever creates a role holds it, and may pass it on
  std::string owner = r.user();
  out.actions.push_back([folder = r.folder, name, hash, owner](Session& s) {
    writeSys(folder, {{"INSERT INTO \"TESSEL$ROLES\" (NAME, HASH) VALUES (?1, NULLIF(?2, ''))", {name, hash}},
                      {"INSERT OR REPLACE INTO \"TESSEL$ROLE_GRANTS\" VALUES (?1, ?2, 1)", {owner, name}}});
    s.dictionaryStale();
  });
}

void alterRole(Reader& r, Translation& out) {
  ddl(out, 79, "ALTER");
  std::string name = r.name(2, 1919);
  size_t i = 3;
  if (!r.word(i, "NOT") && !r.word(i, "IDENTIFIED")) r.fail(922, i);
  std::string hash = authentication(r, i);
  r.finish(i);
  RoleData d = load(r.folder);
  if (!d.exists(name)) r.fail(1919, 2, name);
  if (builtin(name) || !d.admin(r.user(), name)) r.fail(1031, 0);
  out.actions.push_back([folder = r.folder, name, hash](Session& s) {
    writeSys(folder, {{"UPDATE \"TESSEL$ROLES\" SET HASH = NULLIF(?2, '') WHERE NAME = ?1", {name, hash}}});
    s.dictionaryStale();
  });
}

void dropRole(Reader& r, Translation& out) {
  ddl(out, 6, "DROP");
  std::string name = r.name(2, 1919);
  r.finish(3);
  RoleData d = load(r.folder);
  if (!d.exists(name)) r.fail(1919, 2, name);
  if (builtin(name) || !d.admin(r.user(), name)) r.fail(1031, 0);
  out.actions.push_back([folder = r.folder, name](Session& s) {
    writeSys(folder, {{"DELETE FROM \"TESSEL$ROLES\" WHERE NAME = ?1", {name}},
                      {"DELETE FROM \"TESSEL$ROLE_GRANTS\" WHERE GRANTEE = ?1 OR GRANTED = ?1", {name}},
                      {"DELETE FROM \"TESSEL$ROLE_PRIVS\" WHERE ROLE = ?1", {name}},
                      {"DELETE FROM \"TESSEL$OBJ_PRIVS\" WHERE GRANTEE = ?1", {name}}});
    if (s.roles) s.roles->erase(name);
    s.dictionaryStale();
  });
}

struct Item {
  std::string text;
  size_t at = 0;
};

// GRANT / REVOKE items: privileges (one or more words) and roles up to `stop`; false when the
// statement names an object (ON), which is not a grant of roles or system privileges.
bool items(const Reader& r, size_t& i, const char* stop, std::vector<Item>& out) {
  Item cur;
  for (; !r.end(i) && !r.word(i, stop); ++i) {
    if (r.word(i, "ON")) return false;
    if (r.op(i, ",")) {
      if (cur.text.empty()) r.fail(990, i);
      out.push_back(cur);
      cur = Item{};
      continue;
    }
    if (r.t[i].kind != Tok::Ident && r.t[i].kind != Tok::QIdent) r.fail(990, i);
    if (cur.text.empty()) cur.at = i;
    cur.text += (cur.text.empty() ? "" : " ") + r.t[i].text;
  }
  if (cur.text.empty()) r.fail(990, i);
  out.push_back(cur);
  return true;
}

std::vector<Item> grantees(const Reader& r, size_t& i) {
  std::vector<Item> out;
  for (;;) {
    out.push_back({r.name(i, 987), i});
    ++i;
    if (!r.op(i, ",")) break;
    ++i;
  }
  return out;
}

bool grantRoles(Reader& r, Translation& out) {
  size_t i = 1;
  std::vector<Item> what;
  if (!items(r, i, "TO", what)) return false;
  ddl(out, 28, "GRANT");
  if (!r.word(i, "TO")) r.fail(905, i);
  ++i;
  std::vector<Item> to = grantees(r, i);
  // TO user IDENTIFIED BY password: the user's password, and the user made when it is new
  std::string password;
  bool identified = r.word(i, "IDENTIFIED");
  if (identified) {
    if (!r.word(i + 1, "BY")) r.fail(905, i + 1);
    const Token& pw = r.t[i + 2];
    if (pw.kind != Tok::Ident && pw.kind != Tok::QIdent) r.fail(988, i + 2);
    password = pw.kind == Tok::QIdent ? "\"" + pw.text + "\"" : pw.text;
    i += 3;
  }
  bool admin = false;
  if (r.word(i, "WITH")) {
    if (!r.word(i + 1, "ADMIN")) r.fail(r.word(i + 1, "GRANT") ? 1031 : 905, i + 1);
    if (!r.word(i + 2, "OPTION")) r.fail(905, i + 2);
    admin = true;
    i += 3;
  }
  r.finish(i);
  RoleData d = load(r.folder);
  bool created = false;
  if (identified) {
    // one user; a role or PUBLIC has no password
    if (to.size() != 1 || to[0].text == "PUBLIC" || d.roles.count(to[0].text) || builtin(to[0].text))
      r.fail(987, to.size() != 1 ? to[1].at : to[0].at);
    const std::string& user = to[0].text;
    if (r.user() != "SYSTEM" && user != r.user()) r.fail(1031, 0);
    created = !userExists(r.folder, user);
  }
  std::vector<Write> writes;
  for (const Item& w : what) {
    bool role = d.exists(w.text);
    if (!role && r.user() != "SYSTEM") r.fail(1031, 0);
    if (!role && !kHeld.count(w.text)) r.fail(1031, w.at, "GRANT " + w.text + " is not supported by this engine");
    if (role && !d.admin(r.user(), w.text)) r.fail(1031, 0);
  }
  for (const Item& g : to) {
    bool toRole = d.roles.count(g.text) > 0;
    if (!toRole && g.text != "PUBLIC" && !created && (builtin(g.text) || !userExists(r.folder, g.text))) {
      if (builtin(g.text)) r.fail(1031, g.at); // the engine's own roles hold what they hold
      r.fail(1917, g.at, g.text);
    }
    for (const Item& w : what) {
      if (!d.exists(w.text)) {
        // a user (and PUBLIC) holds these already; a role now carries them
        if (toRole)
          writes.push_back({"INSERT INTO \"TESSEL$ROLE_PRIVS\" VALUES (?1, ?2, ?3) ON CONFLICT DO UPDATE SET"
                            " ADMIN = max(ADMIN, excluded.ADMIN)",
                            {g.text, w.text, admin ? "1" : "0"}});
        continue;
      }
      if (toRole && (w.text == g.text || d.closure({w.text}).count(g.text))) r.fail(1934, w.at);
      if (builtin(w.text) && !toRole) {
        // DBA would make the user an administrator, which only SYSTEM is here
        if (w.text == "DBA" && g.text != "SYSTEM") r.fail(1031, w.at, "GRANT DBA is not supported by this engine");
        if (g.text != "PUBLIC") continue;
      }
      writes.push_back({"INSERT INTO \"TESSEL$ROLE_GRANTS\" VALUES (?1, ?2, ?3) ON CONFLICT DO UPDATE SET"
                        " ADMIN = max(ADMIN, excluded.ADMIN)",
                        {g.text, w.text, admin ? "1" : "0"}});
    }
  }
  std::string user = identified ? to[0].text : std::string();
  out.actions.push_back([folder = r.folder, writes, identified, created, user, password](Session& s) {
    if (created) {
      if (int rc = createUser(folder, user, password)) throw OraError(rc, user);
    } else if (identified) {
      if (int rc = setPassword(folder, user, password)) throw OraError(rc, user);
    }
    if (!writes.empty()) writeSys(folder, writes);
    s.dictionaryStale();
  });
  return true;
}

bool revokeRoles(Reader& r, Translation& out) {
  size_t i = 1;
  std::vector<Item> what;
  if (!items(r, i, "FROM", what)) return false;
  ddl(out, 29, "REVOKE");
  if (!r.word(i, "FROM")) r.fail(905, i);
  ++i;
  std::vector<Item> from = grantees(r, i);
  r.finish(i);
  RoleData d = load(r.folder);
  std::vector<Write> writes;
  for (const Item& w : what) {
    bool role = d.exists(w.text);
    if (!role && r.user() != "SYSTEM") r.fail(1031, 0);
    if (role && !d.admin(r.user(), w.text)) r.fail(1031, 0);
  }
  for (const Item& g : from) {
    bool toRole = d.roles.count(g.text) > 0;
    if (!toRole && g.text != "PUBLIC" && !userExists(r.folder, g.text)) r.fail(1917, g.at, g.text);
    for (const Item& w : what) {
      if (!d.exists(w.text)) {
        // what every user holds cannot be taken away here
        if (!toRole) r.fail(1031, w.at, "REVOKE is not supported by this engine");
        bool had = std::any_of(d.privileges.begin(), d.privileges.end(),
                               [&](const Grant& p) { return p.grantee == g.text && p.what == w.text; });
        if (!had) r.fail(1952, w.at, "system privileges not granted to '" + g.text + "'");
        writes.push_back({"DELETE FROM \"TESSEL$ROLE_PRIVS\" WHERE ROLE = ?1 AND PRIVILEGE = ?2", {g.text, w.text}});
        continue;
      }
      bool had = std::any_of(d.grants.begin(), d.grants.end(),
                             [&](const Grant& x) { return x.grantee == g.text && x.what == w.text; });
      if (!had && builtin(w.text) && !toRole && g.text != "PUBLIC")
        r.fail(1031, w.at, "REVOKE is not supported by this engine");
      if (!had) r.fail(1951, w.at, "ROLE '" + w.text + "' not granted to '" + g.text + "'");
      writes.push_back({"DELETE FROM \"TESSEL$ROLE_GRANTS\" WHERE GRANTEE = ?1 AND GRANTED = ?2", {g.text, w.text}});
    }
  }
  out.actions.push_back([folder = r.folder, writes](Session& s) {
    writeSys(folder, writes);
    s.dictionaryStale();
  });
  return true;
}

// SET ROLE ALL [EXCEPT r, ...] | NONE | r [IDENTIFIED BY pw], ...: the roles the session uses.
void setRole(Reader& r, Translation& out) {
  out = Translation{};
  out.kind = StmtKind::Session;
  out.function = 2;
  out.verb = "SET";
  RoleData d = load(r.folder);
  std::set<std::string> granted = d.granted(r.user());
  std::set<std::string> on;
  size_t i = 2;
  if (r.word(i, "NONE")) {
    ++i;
  } else if (r.word(i, "ALL")) {
    ++i;
    std::set<std::string> except;
    if (r.word(i, "EXCEPT")) {
      ++i;
      for (;;) {
        std::string name = r.name(i, 1919);
        if (!d.exists(name)) r.fail(1919, i, name);
        if (!granted.count(name)) r.fail(1924, i, name);
        except.insert(name);
        if (!r.op(++i, ",")) break;
        ++i;
      }
    }
    // a role with a password is enabled only by naming it with the password
    std::set<std::string> direct;
    for (const Grant& g : d.direct(r.user())) direct.insert(g.what);
    for (const Grant& g : d.direct("PUBLIC")) direct.insert(g.what);
    for (const std::string& name : direct)
      if (!except.count(name) && (!d.roles.count(name) || d.roles.at(name).empty())) on.insert(name);
    on = d.closure(on);
    for (const std::string& name : except) on.erase(name);
  } else {
    for (;;) {
      std::string name = r.name(i, 1919);
      if (!d.exists(name)) r.fail(1919, i, name);
      if (!granted.count(name)) r.fail(1924, i, name);
      size_t at = i++;
      const std::string hash = d.roles.count(name) ? d.roles.at(name) : std::string();
      if (r.word(i, "IDENTIFIED")) {
        if (!r.word(i + 1, "BY")) r.fail(905, i + 1);
        std::string pw = r.password(i + 2);
        if (hash.empty() || !secretMatches(hash, pw)) r.fail(1979, at, name);
        i += 3;
      } else if (!hash.empty()) {
        r.fail(1979, at, name);
      }
      on.insert(name);
      if (!r.op(i, ",")) break;
      ++i;
    }
    on = d.closure(on);
  }
  r.finish(i);
  out.actions.push_back([on](Session& s) {
    s.roles = on;
    s.dictionaryStale();
  });
}

} // namespace

bool roleStatement(const std::string& text, Catalog& cat, Translation& out) {
  bool create = startsWithWord(text, "CREATE"), alter = startsWithWord(text, "ALTER"),
       drop = startsWithWord(text, "DROP"), set = startsWithWord(text, "SET"),
       grant = startsWithWord(text, "GRANT"), revoke = startsWithWord(text, "REVOKE");
  if (!create && !alter && !drop && !set && !grant && !revoke) return false;
  std::vector<Token> peek;
  try {
    peek = sql::lex(text);
  } catch (const OraError&) {
    return false; // PL/SQL source and the like: the statement's own reader reports what is wrong
  }
  auto is = [&](size_t i, const char* w) { return i < peek.size() && peek[i].kind == Tok::Ident && peek[i].text == w; };
  if ((create || alter || drop || set) && !is(1, "ROLE")) return false;
  Reader r(text, cat);
  if (create) createRole(r, out);
  else if (alter) alterRole(r, out);
  else if (drop) dropRole(r, out);
  else if (set) setRole(r, out);
  else if (grant) return grantRoles(r, out);
  else return revokeRoles(r, out);
  return true;
}

std::set<std::string> defaultRoles(const std::string& folder, const std::string& user) {
  return load(folder).granted(user);
}

bool roleExists(const std::string& folder, const std::string& name) { return load(folder).exists(name); }

void forgetGrantee(const std::string& folder, const std::string& name) {
  RoleData d = load(folder);
  if (d.grants.empty()) return;
  writeSys(folder, {{"DELETE FROM \"TESSEL$ROLE_GRANTS\" WHERE GRANTEE = ?1", {name}}});
}

void writeSystemFile(const std::string& folder, const std::vector<SystemWrite>& writes) { writeSys(folder, writes); }

namespace {
std::set<std::string> enabledIn(Session& s, const RoleData& d) {
  std::set<std::string> enabled;
  for (const std::string& r : s.roles ? *s.roles : d.granted(s.user))
    if (d.exists(r)) enabled.insert(r); // a role dropped since it was enabled is gone
  return enabled;
}
} // namespace

std::set<std::string> enabledRoles(Session& s) { return enabledIn(s, load(s.folder)); }

std::vector<std::vector<std::string>> roleViewRows(Session& s, const std::string& view) {
  RoleData d = load(s.folder);
  std::vector<std::vector<std::string>> out;
  std::set<std::string> enabled = enabledIn(s, d);

  auto yes = [](bool b) { return std::string(b ? "YES" : "NO"); };
  if (view == "USER_ROLE_PRIVS") {
    for (const std::string& who : {s.user, std::string("PUBLIC")})
      for (const Grant& g : d.direct(who)) out.push_back({g.grantee, g.what, yes(g.admin), "YES", "NO"});
    std::sort(out.begin(), out.end(), [](auto& a, auto& b) { return a[1] < b[1] || (a[1] == b[1] && a[0] < b[0]); });
  } else if (view == "SESSION_ROLES") {
    for (const std::string& role : enabled) out.push_back({role});
  } else if (view == "ROLE_SYS_PRIVS") {
    for (const std::string& role : enabled) {
      if (auto it = kBuiltinPrivileges.find(role); it != kBuiltinPrivileges.end())
        for (const char* p : it->second) out.push_back({role, p, "NO"});
      for (const Grant& p : d.privileges)
        if (p.grantee == role) out.push_back({role, p.what, yes(p.admin)});
    }
  } else if (view == "ROLE_ROLE_PRIVS") {
    for (const Grant& g : d.grants)
      if (enabled.count(g.grantee) && d.roles.count(g.grantee)) out.push_back({g.grantee, g.what, yes(g.admin)});
  } else if (view == "DBA_ROLES") {
    std::map<std::string, bool> all;
    for (const char* b : kBuiltin) all[b] = false;
    for (auto& [name, hash] : d.roles) all[name] = !hash.empty();
    for (auto& [name, pw] : all) out.push_back({name, pw ? "YES" : "NO", pw ? "PASSWORD" : "NONE"});
  }
  return out;
}

} // namespace ora
