// Object privileges live in the database's user file (TESSEL$OBJ_PRIVS, made with the role
// tables): one row for each grantee, grantor, privilege and column (none for the whole object).
// An object is known by its number in the owner's TESSEL$OBJECTS, which no later object takes:
// a grant follows RENAME and FLASHBACK TABLE, and is void once its object is gone.
#include "ObjectGrants.h"

#include "Database.h"
#include "OraError.h"
#include "RecycleBin.h"
#include "Roles.h"
#include "Session.h"
#include "SqlLexer.h"
#include "SqlText.h"

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sqlite3.h>

namespace ora {

namespace {

using sql::Tok;
using sql::Token;

struct Priv {
  std::string owner;
  int64_t obj = 0;
  std::string name, type, grantee, grantor, privilege, column;
  bool grantable = false, hierarchy = false;
};

std::string text(sqlite3_stmt* st, int i) {
  const unsigned char* t = sqlite3_column_text(st, i);
  return t ? reinterpret_cast<const char*>(t) : "";
}

void eachRow(sqlite3* db, const char* sql, const std::vector<std::string>& params,
             const std::function<void(sqlite3_stmt*)>& row) {
  sqlite3_stmt* st = nullptr;
  // a file of an earlier version has no such table: nothing in it
  if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK) {
    for (size_t k = 0; k < params.size(); ++k)
      sqlite3_bind_text(st, static_cast<int>(k + 1), params[k].c_str(), -1, SQLITE_TRANSIENT);
    while (sqlite3_step(st) == SQLITE_ROW) row(st);
  }
  sqlite3_finalize(st);
}

std::vector<Priv> loadPrivs(const std::string& folder) {
  std::vector<Priv> out;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2((folder + "/system.db").c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_busy_timeout(db, 2000);
    eachRow(db,
            "SELECT OWNER, OBJ, NAME, TYPE, GRANTEE, GRANTOR, PRIVILEGE, COL, GRANTABLE, HIERARCHY"
            " FROM \"TESSEL$OBJ_PRIVS\"",
            {}, [&](sqlite3_stmt* st) {
              out.push_back({text(st, 0), sqlite3_column_int64(st, 1), text(st, 2), text(st, 3), text(st, 4),
                             text(st, 5), text(st, 6), text(st, 7), sqlite3_column_int(st, 8) != 0,
                             sqlite3_column_int(st, 9) != 0});
            });
  }
  sqlite3_close(db);
  return out;
}

SystemWrite deletion(const Priv& p) {
  return {"DELETE FROM \"TESSEL$OBJ_PRIVS\" WHERE OWNER = ?1 AND OBJ = ?2 AND NAME = ?3 AND GRANTEE = ?4"
          " AND GRANTOR = ?5 AND PRIVILEGE = ?6 AND COL = ?7",
          {p.owner, std::to_string(p.obj), p.name, p.grantee, p.grantor, p.privilege, p.column}};
}

// Whether `who` (or PUBLIC) may pass the privilege on: the owner, or a grantee WITH GRANT OPTION.
bool mayPassOn(const std::vector<Priv>& all, const Priv& p, const std::string& who) {
  if (who == p.owner) return true;
  return std::any_of(all.begin(), all.end(), [&](const Priv& q) {
    return q.owner == p.owner && q.obj == p.obj && q.name == p.name && q.privilege == p.privilege && q.grantable &&
           (q.grantee == who || q.grantee == "PUBLIC") && (q.column.empty() || q.column == p.column);
  });
}

// Takes out of `all` what was granted by someone who may no longer pass it on, again and
// again, and adds what went to `gone`.
void cascade(std::vector<Priv>& all, std::vector<Priv>& gone) {
  for (bool again = true; again;) {
    again = false;
    for (size_t k = 0; k < all.size(); ++k)
      if (!mayPassOn(all, all[k], all[k].grantor)) {
        gone.push_back(all[k]);
        all.erase(all.begin() + static_cast<long>(k));
        again = true;
        break;
      }
  }
}

// A schema to read an object of: the session's own, or another user's file opened for the look.
struct Schema {
  sqlite3* db = nullptr;
  bool opened = false;
  Schema(const std::string& folder, const std::string& owner, Session* s) {
    if (s && s->user == owner) {
      db = s->db;
    } else if (userExists(folder, owner)) {
      db = openSchema(schemaPath(folder, owner), owner);
      opened = db != nullptr;
    }
  }
  ~Schema() {
    if (opened) sqlite3_close_v2(db);
  }
  Schema(const Schema&) = delete;
  Schema& operator=(const Schema&) = delete;
};

struct Target {
  std::string owner, name, type;
  int64_t obj = 0;
  // what a grant row keeps of the name: only an object without a number is known by it
  std::string key() const { return obj ? std::string() : name; }
};

// The object a grant may name, with its number; false when the schema has none of that name.
bool findObject(sqlite3* db, Target& t) {
  if (!db) return false;
  bool found = false;
  eachRow(db,
          "SELECT OBJ, CASE TYPE WHEN 'MATERIALIZED VIEW' THEN 'TABLE' ELSE TYPE END FROM \"TESSEL$OBJECTS\""
          " WHERE NAME = ?1 AND TYPE IN ('TABLE', 'VIEW', 'SEQUENCE', 'PROCEDURE', 'FUNCTION', 'PACKAGE', 'TYPE',"
          " 'MATERIALIZED VIEW') ORDER BY TYPE = 'MATERIALIZED VIEW'",
          {t.name}, [&](sqlite3_stmt* st) {
            if (found) return;
            found = true;
            t.obj = sqlite3_column_int64(st, 0);
            t.type = text(st, 1);
          });
  if (found || t.name.rfind("TESSEL$", 0) == 0) return found;
  // a table or view of a file made before objects were numbered
  eachRow(db, "SELECT upper(type) FROM sqlite_schema WHERE name = ?1 AND type IN ('table', 'view')", {t.name},
          [&](sqlite3_stmt* st) {
            found = true;
            t.type = text(st, 0);
          });
  return found;
}

std::set<std::string> columnsOf(sqlite3* db, const std::string& table) {
  std::set<std::string> out;
  eachRow(db, "SELECT name FROM pragma_table_xinfo(?1) WHERE hidden <> 1", {table},
          [&](sqlite3_stmt* st) { out.insert(text(st, 0)); });
  return out;
}

// What a private synonym of the schema stands for; false when the name is none.
bool synonymTarget(sqlite3* db, Target& t) {
  bool found = false;
  eachRow(db, "SELECT TABLE_OWNER, TABLE_NAME FROM \"TESSEL$SYNONYMS\" WHERE NAME = ?1", {t.name},
          [&](sqlite3_stmt* st) {
            found = true;
            t.owner = text(st, 0);
            t.name = text(st, 1);
          });
  return found;
}

const std::set<std::string> kTablePrivs = {"ALTER", "DEBUG", "DELETE", "FLASHBACK", "INDEX", "INSERT",
                                           "ON COMMIT REFRESH", "QUERY REWRITE", "READ", "REFERENCES",
                                           "SELECT", "UPDATE"};
const std::set<std::string> kViewPrivs = {"DEBUG", "DELETE", "FLASHBACK", "INSERT", "MERGE VIEW",
                                          "ON COMMIT REFRESH", "QUERY REWRITE", "READ", "REFERENCES",
                                          "SELECT", "UNDER", "UPDATE"};
const std::set<std::string> kSequencePrivs = {"ALTER", "SELECT"};
const std::set<std::string> kUnitPrivs = {"DEBUG", "EXECUTE"};
const std::set<std::string> kTypePrivs = {"DEBUG", "EXECUTE", "UNDER"};
const char* const kWords[] = {"ALTER", "DEBUG", "DELETE", "EXECUTE", "FLASHBACK", "INDEX", "INSERT",
                              "READ", "REFERENCES", "SELECT", "UNDER", "UPDATE"};

// The privileges an object of the type takes, and the error for any other.
const std::set<std::string>& applicable(const std::string& type, const std::string& priv, int& code) {
  if (type == "TABLE") {
    code = priv == "EXECUTE" ? 2224 : 990;
    return kTablePrivs;
  }
  if (type == "VIEW") {
    code = 2204;
    return kViewPrivs;
  }
  if (type == "SEQUENCE") {
    code = 2205;
    return kSequencePrivs;
  }
  if (type == "TYPE") {
    code = 2305;
    return kTypePrivs;
  }
  code = 2225;
  return kUnitPrivs;
}

// What ALL [PRIVILEGES] stands for on an object of the type.
std::vector<std::string> allOf(const std::string& type) {
  if (type == "TABLE")
    return {"ALTER", "DELETE", "INDEX", "INSERT", "SELECT", "UPDATE", "REFERENCES", "ON COMMIT REFRESH",
            "QUERY REWRITE", "DEBUG", "FLASHBACK", "READ"};
  if (type == "VIEW")
    return {"DELETE", "INSERT", "SELECT", "UPDATE", "REFERENCES", "ON COMMIT REFRESH", "QUERY REWRITE", "DEBUG",
            "FLASHBACK", "MERGE VIEW", "READ"};
  if (type == "SEQUENCE") return {"ALTER", "SELECT"};
  return {"EXECUTE", "DEBUG"};
}

struct Wanted {
  std::string priv;
  size_t at = 0;
  std::vector<std::pair<std::string, size_t>> columns; // name, token
};

class Statement {
public:
  Statement(const std::string& sqlText, Catalog& cat, bool grant) : t(sql::lex(sqlText)), cat(cat), grant(grant) {
    if (!cat.session()) throw OraError(1031);
    folder = cat.session()->folder;
  }
  bool word(size_t i, const char* w) const { return i < t.size() && t[i].kind == Tok::Ident && t[i].text == w; }
  bool op(size_t i, const char* o) const { return i < t.size() && t[i].kind == Tok::Op && t[i].text == o; }
  bool name(size_t i) const { return i < t.size() && (t[i].kind == Tok::Ident || t[i].kind == Tok::QIdent); }
  [[noreturn]] void fail(int code, size_t i, const std::string& detail = {}) const {
    throw OraError(code, detail).at(static_cast<int>(t[std::min(i, t.size() - 1)].pos));
  }

  void read(Translation& out);

private:
  size_t privileges(size_t i);
  void resolve();
  void checkColumns();
  void check();
  std::vector<Priv> wantedRows(const std::string& grantee, const std::string& grantor) const;

  std::vector<Token> t;
  Catalog& cat;
  bool grant;
  std::string folder;
  bool all = false;
  size_t allAt = 0, objectAt = 0;
  std::vector<Wanted> wanted;
  Target target;
  std::vector<std::pair<std::string, size_t>> grantees;
  bool withGrant = false, withHierarchy = false;
  std::vector<Priv> rows; // every grant of the database
};

// privilege [(column, ...)] [, ...] | ALL [PRIVILEGES], up to ON
size_t Statement::privileges(size_t i) {
  if (word(i, "ALL")) {
    all = true;
    allAt = i++;
    if (word(i, "PRIVILEGES")) ++i;
    return i;
  }
  for (;;) {
    Wanted w;
    w.at = i;
    if (word(i, "ON") && word(i + 1, "COMMIT") && word(i + 2, "REFRESH")) {
      w.priv = "ON COMMIT REFRESH";
      i += 3;
    } else if (word(i, "QUERY") && word(i + 1, "REWRITE")) {
      w.priv = "QUERY REWRITE";
      i += 2;
    } else if (word(i, "MERGE") && word(i + 1, "VIEW")) {
      w.priv = "MERGE VIEW";
      i += 2;
    } else if (i < t.size() && t[i].kind == Tok::Ident &&
               std::find(std::begin(kWords), std::end(kWords), t[i].text) != std::end(kWords)) {
      w.priv = t[i++].text;
    } else {
      fail(990, i);
    }
    if (op(i, "(")) {
      // only these are granted column by column; a list after another is no ON where one belongs
      bool byColumn = w.priv == "INSERT" || w.priv == "UPDATE" || w.priv == "REFERENCES";
      if (!byColumn) fail(969, i);
      if (!grant) fail(1750, i);
      for (++i;; ++i) {
        if (!name(i)) fail(904, i);
        w.columns.push_back({t[i].text, i});
        if (op(++i, ")")) break;
        if (!op(i, ",")) fail(907, i);
      }
      ++i;
    }
    wanted.push_back(std::move(w));
    if (!op(i, ",")) return i;
    ++i;
  }
}

void Statement::read(Translation& out) {
  size_t i = privileges(1);
  if (!word(i, "ON")) fail(969, i);
  ++i;
  // directories, editions, users and Java sources are objects the engine does not have
  if ((word(i, "DIRECTORY") || word(i, "EDITION") || word(i, "USER") || word(i, "JAVA")) && name(i + 1) &&
      !op(i + 1, ".") && !word(i + 1, grant ? "TO" : "FROM"))
    fail(1031, i, "privileges on " + t[i].text + " objects are not supported by this engine");
  if (!name(i)) fail(903, i);
  objectAt = i;
  target.owner = cat.user();
  target.name = t[i].text;
  if (op(i + 1, ".")) {
    if (!name(i + 2)) fail(903, i + 2);
    target.owner = t[i].text;
    target.name = t[i + 2].text;
    i += 2;
  }
  ++i;
  if (!word(i, grant ? "TO" : "FROM")) fail(905, i);
  for (++i;; ++i) {
    if (!name(i)) fail(987, i);
    grantees.push_back({t[i].text, i});
    if (!op(++i, ",")) break;
  }
  if (grant) {
    while (word(i, "WITH")) {
      if (word(i + 1, "GRANT") && word(i + 2, "OPTION")) withGrant = true;
      else if (word(i + 1, "HIERARCHY") && word(i + 2, "OPTION")) withHierarchy = true;
      else fail(905, i + 1);
      i += 3;
    }
  } else {
    if (word(i, "CASCADE")) {
      if (!word(i + 1, "CONSTRAINTS")) fail(905, i + 1);
      i += 2;
    }
    if (word(i, "FORCE")) ++i;
  }
  if (i < t.size() && t[i].kind != Tok::End) fail(933, i);

  out = Translation{};
  out.kind = StmtKind::Ddl;
  out.function = grant ? 17 : 18;
  out.verb = grant ? "GRANT" : "REVOKE";
  resolve();
  checkColumns();
  check();
  std::vector<SystemWrite> writes;
  const std::string& me = cat.user();
  if (grant) {
    for (auto& [who, at] : grantees) {
      // SYSTEM grants with GRANT ANY OBJECT PRIVILEGE, for the owner, who is then the grantor
      std::string grantor = me == "SYSTEM" ? target.owner : me;
      // granted again, a privilege keeps the options it had and takes the new ones
      for (const Priv& p : wantedRows(who, grantor))
        writes.push_back({"INSERT INTO \"TESSEL$OBJ_PRIVS\" VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)"
                          " ON CONFLICT DO UPDATE SET GRANTABLE = max(GRANTABLE, excluded.GRANTABLE),"
                          " HIERARCHY = max(HIERARCHY, excluded.HIERARCHY)",
                          {p.owner, std::to_string(p.obj), p.name, p.type, p.grantee, p.grantor, p.privilege,
                           p.column, p.grantable ? "1" : "0", p.hierarchy ? "1" : "0"}});
    }
  } else {
    std::vector<Priv> gone;
    for (auto& [who, at] : grantees) {
      // what the owner granted, SYSTEM may take back for the owner
      std::vector<std::string> grantors = {me};
      if (me == "SYSTEM" && target.owner != me) grantors.push_back(target.owner);
      auto of = [&, &who = who](const Priv& q, const std::string& priv) {
        return q.owner == target.owner && q.obj == target.obj && q.name == target.key() && q.grantee == who &&
               std::find(grantors.begin(), grantors.end(), q.grantor) != grantors.end() &&
               (priv.empty() || q.privilege == priv);
      };
      std::vector<std::string> privs;
      for (const Wanted& w : wanted) privs.push_back(w.priv);
      if (all) privs = {""};
      for (size_t k = 0; k < privs.size(); ++k) {
        // a column grant goes with the privilege on the whole object
        auto had = std::stable_partition(rows.begin(), rows.end(), [&](const Priv& q) { return !of(q, privs[k]); });
        if (had == rows.end()) fail(1927, all ? allAt : wanted[k].at);
        gone.insert(gone.end(), had, rows.end());
        rows.erase(had, rows.end());
      }
    }
    cascade(rows, gone);
    for (const Priv& p : gone) writes.push_back(deletion(p));
  }
  out.actions.push_back([folder = folder, writes](Session& s) {
    if (!writes.empty()) writeSystemFile(folder, writes);
    s.dictionaryStale();
  });
}

// The object named, seen from the session's user: ORA-00942 when it is not there or the user
// holds nothing on it.
void Statement::resolve() {
  rows = loadPrivs(folder);
  auto schema = std::make_unique<Schema>(folder, target.owner, cat.session());
  // EXECUTE names a stored unit, which has its own error for a name that is none
  bool unit = !all && std::any_of(wanted.begin(), wanted.end(), [](const Wanted& w) { return w.priv == "EXECUTE"; });
  // a grant on a synonym is one on what it stands for
  for (int hops = 0; !findObject(schema->db, target); ++hops) {
    if (hops == 8 || !schema->db || !synonymTarget(schema->db, target)) fail(unit ? 4042 : 942, objectAt);
    schema = std::make_unique<Schema>(folder, target.owner, cat.session());
  }
  if (target.obj == 0 && tx::inRecycleBin(schema->db, target.name)) fail(38301, objectAt);
  const std::string& me = cat.user();
  if (me == target.owner || me == "SYSTEM") return;
  std::set<std::string> holders = enabledRoles(*cat.session());
  holders.insert(me);
  holders.insert("PUBLIC");
  bool sees = std::any_of(rows.begin(), rows.end(), [&](const Priv& q) {
    return q.owner == target.owner && q.obj == target.obj && q.name == target.key() && holders.count(q.grantee);
  });
  if (!sees) fail(942, objectAt);
}

// The columns a grant names, of an object the user may see.
void Statement::checkColumns() {
  if (target.type != "TABLE" && target.type != "VIEW") return; // (the privilege does not fit)
  if (std::all_of(wanted.begin(), wanted.end(), [](const Wanted& w) { return w.columns.empty(); })) return;
  Schema schema(folder, target.owner, cat.session());
  std::set<std::string> has = columnsOf(schema.db, target.name);
  for (const Wanted& w : wanted) {
    for (auto& [c, at] : w.columns)
      if (!has.count(c)) fail(904, at, "\"" + c + "\"");
  }
}

void Statement::check() {
  for (const Wanted& w : wanted) {
    int code = 0;
    const std::set<std::string>& fits = applicable(target.type, w.priv, code);
    if (!fits.count(w.priv)) fail(code, w.at);
    if (!w.columns.empty() && target.type != "TABLE" && target.type != "VIEW") fail(code, w.at);
  }
  const std::string& me = cat.user();
  for (auto& [who, at] : grantees) {
    bool role = roleExists(folder, who);
    if (who != "PUBLIC" && !role && !userExists(folder, who)) fail(1917, at, who);
    if (who == me || (who == target.owner && me == "SYSTEM")) fail(1749, at);
    if (withGrant && role) fail(1926, at);
  }
  if (!grant || me == target.owner || me == "SYSTEM") return;
  // a grantee passes on only what it holds WITH GRANT OPTION
  for (const Priv& p : wantedRows(grantees.front().first, me))
    if (!mayPassOn(rows, p, me)) fail(1031, 0);
}

// The rows a grant of the wanted privileges writes; ALL by another than the owner is what that
// user may pass on.
std::vector<Priv> Statement::wantedRows(const std::string& grantee, const std::string& grantor) const {
  std::vector<Priv> out;
  Priv base;
  base.owner = target.owner;
  base.obj = target.obj;
  base.name = target.key();
  base.type = target.type;
  base.grantee = grantee;
  base.grantor = grantor;
  base.grantable = withGrant;
  if (all) {
    for (const std::string& priv : allOf(target.type)) {
      Priv p = base;
      p.privilege = priv;
      p.hierarchy = withHierarchy && (priv == "SELECT" || priv == "READ");
      if (grantor == target.owner || mayPassOn(rows, p, grantor)) out.push_back(p);
    }
    if (out.empty()) fail(1031, 0);
    return out;
  }
  for (const Wanted& w : wanted) {
    Priv p = base;
    p.privilege = w.priv;
    p.hierarchy = withHierarchy && (w.priv == "SELECT" || w.priv == "READ");
    if (w.columns.empty()) out.push_back(p);
    for (auto& [c, at] : w.columns) {
      p.column = c;
      out.push_back(p);
    }
  }
  return out;
}

} // namespace

bool objectGrantStatement(const std::string& text, Catalog& cat, Translation& out) {
  bool grant = startsWithWord(text, "GRANT");
  if (!grant && !startsWithWord(text, "REVOKE")) return false;
  std::vector<Token> peek;
  try {
    peek = sql::lex(text);
  } catch (const OraError&) {
    return false;
  }
  // an object grant names its object after ON, before TO or FROM; ON COMMIT REFRESH is a privilege
  auto is = [&](size_t i, const char* w) { return i < peek.size() && peek[i].kind == Tok::Ident && peek[i].text == w; };
  bool on = false;
  for (size_t i = 1; i < peek.size() && !on && !is(i, grant ? "TO" : "FROM"); ++i) {
    if (is(i, "ON") && is(i + 1, "COMMIT") && is(i + 2, "REFRESH")) i += 2;
    else on = is(i, "ON");
  }
  if (!on) return false;
  Statement(text, cat, grant).read(out);
  return true;
}

void forgetObjectGrants(const std::string& folder, const std::string& user) {
  std::vector<Priv> rows = loadPrivs(folder), gone;
  auto of = std::stable_partition(rows.begin(), rows.end(), [&](const Priv& p) {
    return p.owner != user && p.grantee != user && p.grantor != user;
  });
  gone.assign(of, rows.end());
  rows.erase(of, rows.end());
  cascade(rows, gone);
  std::vector<SystemWrite> writes;
  for (const Priv& p : gone) writes.push_back(deletion(p));
  if (!writes.empty()) writeSystemFile(folder, writes);
}

namespace {

#define kTabCols                                                                                     \
  "PRIVILEGE VARCHAR2(40) NOT NULL, GRANTABLE VARCHAR2(3), HIERARCHY VARCHAR2(3), COMMON VARCHAR2(3)," \
  " TYPE VARCHAR2(24), INHERITED VARCHAR2(3)"
#define kColCols "PRIVILEGE VARCHAR2(40) NOT NULL, GRANTABLE VARCHAR2(3), COMMON VARCHAR2(3), INHERITED VARCHAR2(3)"
#define kName(n) n " VARCHAR2(30) NOT NULL, "

// Which grants a view shows.
enum class Who { Owner, OwnerOrGrantor, Grantee, Holder, Any, All, Dba, Role };

struct ViewDef {
  PrivilegeViewDef def;
  bool columns; // grants of single columns, else of whole objects
  Who who;
};

const ViewDef kViews[] = {
    {{"USER_TAB_PRIVS", kName("GRANTEE") kName("OWNER") kName("TABLE_NAME") kName("GRANTOR") kTabCols,
      "Grants on objects for which the user is the owner, grantor or grantee"},
     false, Who::Any},
    {{"USER_TAB_PRIVS_MADE", kName("GRANTEE") kName("TABLE_NAME") kName("GRANTOR") kTabCols,
      "All grants on objects owned by the user"},
     false, Who::Owner},
    {{"USER_TAB_PRIVS_RECD", kName("OWNER") kName("TABLE_NAME") kName("GRANTOR") kTabCols,
      "Grants on objects for which the user is the grantee"},
     false, Who::Grantee},
    {{"ALL_TAB_PRIVS", kName("GRANTOR") kName("GRANTEE") kName("TABLE_SCHEMA") kName("TABLE_NAME") kTabCols,
      "Grants on objects for which the user is the grantor, grantee, owner, or an enabled role or PUBLIC is the grantee"},
     false, Who::All},
    {{"ALL_TAB_PRIVS_MADE", kName("GRANTEE") kName("OWNER") kName("TABLE_NAME") kName("GRANTOR") kTabCols,
      "User's grants and grants on user's objects"},
     false, Who::OwnerOrGrantor},
    {{"ALL_TAB_PRIVS_RECD", kName("GRANTEE") kName("OWNER") kName("TABLE_NAME") kName("GRANTOR") kTabCols,
      "Grants on objects for which the user, PUBLIC or enabled role is the grantee"},
     false, Who::Holder},
    {{"DBA_TAB_PRIVS", kName("GRANTEE") kName("OWNER") kName("TABLE_NAME") kName("GRANTOR") kTabCols,
      "All grants on objects in the database"},
     false, Who::Dba},
    {{"USER_COL_PRIVS",
      kName("GRANTEE") kName("OWNER") kName("TABLE_NAME") kName("COLUMN_NAME") kName("GRANTOR") kColCols,
      "Grants on columns for which the user is the owner, grantor or grantee"},
     true, Who::Any},
    {{"USER_COL_PRIVS_MADE", kName("GRANTEE") kName("TABLE_NAME") kName("COLUMN_NAME") kName("GRANTOR") kColCols,
      "All grants on columns of objects owned by the user"},
     true, Who::Owner},
    {{"USER_COL_PRIVS_RECD", kName("OWNER") kName("TABLE_NAME") kName("COLUMN_NAME") kName("GRANTOR") kColCols,
      "Grants on columns for which the user is the grantee"},
     true, Who::Grantee},
    {{"ALL_COL_PRIVS",
      kName("GRANTOR") kName("GRANTEE") kName("TABLE_SCHEMA") kName("TABLE_NAME") kName("COLUMN_NAME") kColCols,
      "Grants on columns for which the user is the grantor, grantee, owner, or an enabled role or PUBLIC is the grantee"},
     true, Who::All},
    {{"ALL_COL_PRIVS_MADE",
      kName("GRANTEE") kName("OWNER") kName("TABLE_NAME") kName("COLUMN_NAME") kName("GRANTOR") kColCols,
      "Grants on columns for which the user is owner or grantor"},
     true, Who::OwnerOrGrantor},
    {{"ALL_COL_PRIVS_RECD",
      kName("GRANTEE") kName("OWNER") kName("TABLE_NAME") kName("COLUMN_NAME") kName("GRANTOR") kColCols,
      "Grants on columns for which the user, PUBLIC or enabled role is the grantee"},
     true, Who::Holder},
    {{"DBA_COL_PRIVS",
      kName("GRANTEE") kName("OWNER") kName("TABLE_NAME") kName("COLUMN_NAME") kName("GRANTOR") kColCols,
      "All grants on columns in the database"},
     true, Who::Dba},
    {{"ROLE_TAB_PRIVS",
      kName("ROLE") kName("OWNER") kName("TABLE_NAME") "COLUMN_NAME VARCHAR2(30), " kColCols,
      "Table privileges granted to roles"},
     false, Who::Role},
};

const ViewDef* findDef(const std::string& view) {
  for (const ViewDef& v : kViews)
    if (view == v.def.name) return &v;
  return nullptr;
}

// The grants whose objects are still there, under their present names.
std::vector<Priv> liveGrants(Session& s) {
  std::vector<Priv> rows = loadPrivs(s.folder), out;
  std::map<std::string, std::vector<Priv*>> byOwner;
  for (Priv& p : rows) byOwner[p.owner].push_back(&p);
  for (auto& [owner, privs] : byOwner) {
    Schema schema(s.folder, owner, &s);
    if (!schema.db) continue; // a user since dropped
    std::map<int64_t, std::string> names;
    eachRow(schema.db, "SELECT OBJ, NAME FROM \"TESSEL$OBJECTS\"", {},
            [&](sqlite3_stmt* st) { names[sqlite3_column_int64(st, 0)] = text(st, 1); });
    std::map<std::string, std::set<std::string>> columns;
    for (Priv* p : privs) {
      Priv live = *p;
      if (p->obj == 0) {
        Target t{owner, p->name, {}, 0};  // (NAME is kept only for these)
        if (!findObject(schema.db, t) || t.obj != 0) continue;
      } else if (auto it = names.find(p->obj); it != names.end()) {
        live.name = it->second;
      } else {
        continue;
      }
      // a column dropped since takes its grants with it
      if (!live.column.empty()) {
        auto c = columns.find(live.name);
        if (c == columns.end()) c = columns.emplace(live.name, columnsOf(schema.db, live.name)).first;
        if (!c->second.count(live.column)) continue;
      }
      out.push_back(std::move(live));
    }
  }
  return out;
}

} // namespace

const std::vector<PrivilegeViewDef>& objectPrivilegeViews() {
  static const std::vector<PrivilegeViewDef> out = [] {
    std::vector<PrivilegeViewDef> v;
    for (const ViewDef& d : kViews) v.push_back(d.def);
    return v;
  }();
  return out;
}

bool objectPrivilegeView(const std::string& view) { return findDef(view) != nullptr; }

std::vector<std::vector<std::string>> objectPrivilegeRows(Session& s, const std::string& view) {
  std::vector<std::vector<std::string>> out;
  const ViewDef* v = findDef(view);
  if (!v) return out;
  std::set<std::string> roles = enabledRoles(s), holders = roles;
  holders.insert(s.user);
  holders.insert("PUBLIC");
  std::vector<std::string> names;
  // the first word of each column's definition
  for (std::string cols = v->def.columns; !cols.empty();) {
    size_t from = cols.find_first_not_of(' '), comma = cols.find(',');
    names.push_back(cols.substr(from, cols.find(' ', from) - from));
    cols = comma == std::string::npos ? std::string() : cols.substr(comma + 1);
  }
  auto yes = [](bool b) { return std::string(b ? "YES" : "NO"); };
  for (const Priv& p : liveGrants(s)) {
    if (v->who != Who::Role && p.column.empty() == v->columns) continue;
    bool shown = false;
    switch (v->who) {
    case Who::Owner: shown = p.owner == s.user; break;
    case Who::OwnerOrGrantor: shown = p.owner == s.user || p.grantor == s.user; break;
    case Who::Grantee: shown = p.grantee == s.user; break;
    case Who::Holder: shown = holders.count(p.grantee) > 0; break;
    case Who::Any: shown = p.owner == s.user || p.grantor == s.user || p.grantee == s.user; break;
    case Who::All: shown = p.owner == s.user || p.grantor == s.user || holders.count(p.grantee) > 0; break;
    case Who::Dba: shown = true; break;
    case Who::Role: shown = roles.count(p.grantee) > 0; break;
    }
    if (!shown) continue;
    std::vector<std::string> row;
    for (const std::string& n : names) {
      if (n == "GRANTEE" || n == "ROLE") row.push_back(p.grantee);
      else if (n == "OWNER" || n == "TABLE_SCHEMA") row.push_back(p.owner);
      else if (n == "TABLE_NAME") row.push_back(p.name);
      else if (n == "COLUMN_NAME") row.push_back(p.column);
      else if (n == "GRANTOR") row.push_back(p.grantor);
      else if (n == "PRIVILEGE") row.push_back(p.privilege);
      else if (n == "GRANTABLE") row.push_back(yes(p.grantable));
      else if (n == "HIERARCHY") row.push_back(yes(p.hierarchy));
      else if (n == "TYPE") row.push_back(p.type);
      else row.push_back("NO"); // COMMON, INHERITED: no containers here
    }
    out.push_back(std::move(row));
  }
  std::sort(out.begin(), out.end());
  return out;
}

} // namespace ora
