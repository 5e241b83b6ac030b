// DROP, users, RENAME, COMMENT, GRANT, TRUNCATE, LOCK TABLE, SET TRANSACTION, ANALYZE and ALTER INDEX.
#include "Roles.h"
#include "ObjectGrants.h"
#include "Database.h"
#include "DdlImpl.h"
#include "DdlPartition.h"
#include "Dictionary.h"
#include "OraError.h"
#include "Plsql.h"
#include "Session.h"
#include "DictionaryImpl.h"
#include "MaterializedViews.h"
#include "RecycleBin.h"
#include "TableRebuild.h"
#include "TranslateImpl.h"
#include "FunctionUtil.h"

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <set>
#include <sqlite3.h>

namespace ora::tx {

// CASCADE CONSTRAINTS: the foreign keys of other tables that refer to `table`, each dropped as
// ALTER TABLE ... DROP CONSTRAINT would drop it.
std::vector<std::string> Translator::dropReferences(const std::string& table, bool disabledToo) {
  std::vector<std::string> children;
  std::vector<std::string> others;
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(cat_.db(), "SELECT name FROM sqlite_schema WHERE type = 'table' AND name NOT GLOB 'TESSEL$*'", -1,
                     &st, nullptr);
  while (sqlite3_step(st) == SQLITE_ROW) others.push_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
  sqlite3_finalize(st);
  for (const auto& other : others) {
    if (other == table) continue;
    for (auto& c : dict::tableConstraints(cat_.db(), other))
      if (c.type == "R" && c.rTable == table)
        children.push_back("ALTER TABLE " + quoteIdent(other) + " DROP CONSTRAINT " + quoteIdent(c.name));
  }
  // a disabled foreign key still names its parent
  if (disabledToo)
    dict::eachRow(cat_.db(), "SELECT TABLE_NAME, NAME, DEFINITION FROM \"TESSEL$DISABLED\" WHERE TABLE_NAME <> ?1",
                  [&](sqlite3_stmt* row) {
                    auto dt = tokenize(dict::col(row, 2));
                    for (size_t k = 0; k + 1 < dt.size(); ++k) {
                      if (!is(dt[k], "REFERENCES")) continue;
                      size_t p = k + 1;
                      if (p + 2 < dt.size() && is(dt[p + 1], ".")) p += 2;
                      if (dt[p].text == table)
                        children.push_back("ALTER TABLE " + quoteIdent(dict::col(row, 0)) + " DROP CONSTRAINT " +
                                           quoteIdent(dict::col(row, 1)));
                      break;
                    }
                  }, table, true);
  return children;
}

// CREATE [OR REPLACE] [PUBLIC] SYNONYM name FOR [schema.]object. A synonym names a table or view
// of the user's own schema (no statement reaches another's); as in Oracle, the object need not
// exist yet, and using the synonym without it is ORA-00980. PUBLIC ones are kept with the
// private ones, marked: the dictionary shows them as PUBLIC's, and they are no object of the user.
void Translator::createSynonym(size_t i, bool replace) {
  tr_.kind = StmtKind::Ddl;
  tr_.function = 30;
  std::string name, target;
  const int namePos = static_cast<int>(at(i).pos);
  i = objectName(i, name);
  expect(i, "FOR", 905);
  std::string owner = cat_.user();
  if ((at(i + 1).kind == Token::Ident || at(i + 1).kind == Token::QIdent) && is(at(i + 2), ".")) owner = at(i + 1).text;
  i = objectName(i + 1, target);
  if (i < size()) unexpected(i);
  bool isPublic = is(at(1), "PUBLIC") || is(at(3), "PUBLIC");
  bool wasPublic = publicSynonym(name);
  std::string existing = cat_.objectType(name);
  if (!existing.empty() && !(replace && existing == "SYNONYM" && !isPublic)) throw OraError(955).at(namePos);
  if (isPublic && !cat_.synonymTarget(name).empty() && !(replace && wasPublic)) throw OraError(955).at(namePos);
  if (target == name) throw OraError(1471);
  tr_.ddl.push_back("INSERT OR REPLACE INTO \"TESSEL$SYNONYMS\" (NAME, TABLE_OWNER, TABLE_NAME) VALUES (" +
                    quoteString(name) + ", " + quoteString(owner) + ", " + quoteString(target) + ")");
  if (isPublic) {
    tr_.ddl.push_back("INSERT OR IGNORE INTO \"TESSEL$PUBLIC\" (NAME) VALUES (" + quoteString(name) + ")");
    return;
  }
  tr_.ddl.push_back("INSERT OR IGNORE INTO \"TESSEL$OBJECTS\" (NAME, TYPE, CREATED) VALUES (" + quoteString(name) +
                    ", 'SYNONYM', ora_sysdate())");
}

bool Translator::publicSynonym(const std::string& name) {
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(cat_.db(), "SELECT 1 FROM \"TESSEL$PUBLIC\" WHERE NAME = ?1", -1, &st, nullptr);
  sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
  bool found = sqlite3_step(st) == SQLITE_ROW;
  sqlite3_finalize(st);
  return found;
}

void Translator::drop() {
  tr_.kind = StmtKind::Ddl;
  std::string name;
  std::string what = at(1).text;
  if (is(at(1), "TABLE")) {
    tr_.function = 8;
    size_t i = objectName(2, name);
    if (!cat_.tableExists(name) || cat_.viewExists(name)) throw OraError(942, name).at(static_cast<int>(at(2).pos));
    bool cascade = is(at(i), "CASCADE") && is(at(i + 1), "CONSTRAINTS");
    if (cascade) i += 2;
    bool purge = is(at(i), "PURGE");
    if (purge) ++i;
    if (i < size()) unexpected(i);
    purge = purge || !sessionNls(cat_.db()).recycleBin; // RECYCLEBIN = OFF: nothing is kept to bring back
    std::string q = quoteString(name);
    if (MviewWrites::depth == 0 && !cat_.objectTypeOf(name, "MATERIALIZED VIEW").empty())
      throw OraError(12083, quoteIdent(cat_.user()) + "." + quoteIdent(name));
    std::vector<std::string> children = dropReferences(name, true);
    tr_.ddl.push_back("DELETE FROM \"TESSEL$AUDIT_OPTS\" WHERE OBJECT_NAME = " + q);
    tr_.ddl.push_back("DELETE FROM \"TESSEL$INDEX_OPTS\" WHERE TABLE_NAME = " + q);
    tr_.ddl.push_back("DELETE FROM \"TESSEL$INDEX_STATS\" WHERE TABLE_NAME = " + q);
    tr_.ddl.push_back("DELETE FROM \"TESSEL$CLUSTER_TABLES\" WHERE TABLE_NAME = " + q);
    tr_.ddl.push_back("DELETE FROM \"TESSEL$TABLE_OPTS\" WHERE TABLE_NAME = " + q);
    tr_.ddl.push_back("DELETE FROM \"TESSEL$COL_STATS\" WHERE TABLE_NAME = " + q);
    // dropping a parent alone would leave its children's keys pointing nowhere
    if (!children.empty() && !cascade) throw OraError(2449);
    // a temporary table's rows are no one's to bring back: it goes for good
    if (!purge && rb::scalar(cat_.db(), "SELECT 1 FROM \"TESSEL$TEMPORARY\" WHERE TABLE_NAME = " + q) != 1) {
      dropToRecycleBin(name, children, tr_);
      return;
    }
    // a temporary table's private copy first, which the name would find before the table
    tr_.ddl.push_back("DROP TABLE IF EXISTS temp." + quoteIdent(name));
    tr_.ddl.push_back("DROP TABLE " + quoteIdent(name));
    tr_.ddl.push_back("DELETE FROM \"TESSEL$OBJECTS\" WHERE NAME = " + q + " AND TYPE = 'TABLE'");
    for (auto& d : triggerRecordsDropped(name)) tr_.ddl.push_back(d);
    tr_.ddl.push_back("DELETE FROM \"TESSEL$CONSTRAINTS\" WHERE TABLE_NAME = " + q);
    tr_.ddl.push_back("DELETE FROM \"TESSEL$DISABLED\" WHERE TABLE_NAME = " + q);
    tr_.ddl.push_back("DELETE FROM \"TESSEL$COMMENTS\" WHERE TABLE_NAME = " + q);
    tr_.ddl.push_back("DELETE FROM \"TESSEL$TEMPORARY\" WHERE TABLE_NAME = " + q);
    tr_.ddl.push_back(readOnlyRecord(name, false));
    tr_.ddl.push_back("DELETE FROM \"TESSEL$NOVALIDATED\" WHERE TABLE_NAME = " + q);
    // an identity column's sequence goes with its table
    for (const auto& c : cat_.columns(name))
      if (!c.identity.empty()) {
        std::string seq = c.identity;
        tr_.ddl.push_back("DELETE FROM \"TESSEL$OBJECTS\" WHERE NAME = " + quoteString(seq) + " AND TYPE = 'SEQUENCE'");
        tr_.beforeCommit.push_back([seq](Session& s) {
          s.sequenceWrite("DELETE FROM SEQUENCES WHERE NAME = ?1", {seq});
          s.currvals.erase(seq);
        });
      }
    tr_.ddl.push_back("DELETE FROM \"TESSEL$IDENTITY\" WHERE TABLE_NAME = " + q);
    tr_.ddl.push_back("DELETE FROM \"TESSEL$OBJECTS\" WHERE TYPE = 'INDEX' AND NAME NOT IN"
                      " (SELECT name FROM sqlite_schema WHERE type = 'index') AND NAME NOT IN"
                      " (SELECT INDEX_NAME FROM \"TESSEL$CLUSTERS\" WHERE INDEX_NAME IS NOT NULL)");
    if (!children.empty()) {
      // the table goes once the tables that refer to it are rebuilt without their keys
      Translation self;
      self.kind = StmtKind::Ddl;
      self.verb = "DROP";
      self.ddl = std::move(tr_.ddl);
      tr_.ddl.clear();
      // each translated when its turn comes: two keys of one table are two rebuilds in a row
      tr_.actions.push_back([children, self](Session& s) {
        for (auto& sql : children) {
          Catalog cat(s.db, s.user, &s);
          s.runDdl(translate(sql, cat, false, false));
        }
        s.runDdl(self);
      });
    }
  } else if (is(at(1), "SYNONYM") || (is(at(1), "PUBLIC") && is(at(2), "SYNONYM"))) {
    tr_.function = 31;
    size_t i = objectName(is(at(1), "PUBLIC") ? 3 : 2, name);
    if (i < size()) unexpected(i);
    bool isPublic = is(at(1), "PUBLIC");
    if (cat_.synonymTarget(name).empty() || publicSynonym(name) != isPublic)
      throw OraError(isPublic ? 1432 : 1434).at(static_cast<int>(at(isPublic ? 3 : 2).pos));
    tr_.ddl.push_back("DELETE FROM \"TESSEL$SYNONYMS\" WHERE NAME = " + quoteString(name));
    tr_.ddl.push_back("DELETE FROM \"TESSEL$PUBLIC\" WHERE NAME = " + quoteString(name));
    tr_.ddl.push_back("DELETE FROM \"TESSEL$OBJECTS\" WHERE NAME = " + quoteString(name) + " AND TYPE = 'SYNONYM'");
  } else if (is(at(1), "INDEX")) {
    tr_.function = 21;
    size_t i = objectName(2, name);
    // a cluster's index: the cluster stays, its tables not to be used until another is made
    if (!cat_.indexExists(name) && rb::scalar(cat_.db(), "SELECT 1 FROM \"TESSEL$CLUSTERS\" WHERE INDEX_NAME = " +
                                                             quoteString(name)) == 1) {
      if (i < size()) unexpected(i);
      tr_.ddl.push_back("UPDATE \"TESSEL$CLUSTERS\" SET INDEX_NAME = NULL WHERE INDEX_NAME = " + quoteString(name));
      tr_.ddl.push_back("DELETE FROM \"TESSEL$OBJECTS\" WHERE NAME = " + quoteString(name) + " AND TYPE = 'INDEX'");
      return;
    }
    if (!cat_.indexExists(name)) {
      // a primary or unique key's index goes only with its constraint
      sqlite3_stmt* st = nullptr;
      sqlite3_prepare_v2(cat_.db(), "SELECT 1 FROM \"TESSEL$CONSTRAINTS\" WHERE NAME = ?1 AND TYPE IN ('P', 'U')", -1,
                         &st, nullptr);
      sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
      bool key = sqlite3_step(st) == SQLITE_ROW;
      sqlite3_finalize(st);
      throw OraError(key ? 2429 : 1418).at(static_cast<int>(at(2).pos));
    }
    if (i < size()) unexpected(i);
    tr_.ddl.push_back("DROP INDEX " + quoteIdent(name));
    tr_.ddl.push_back("DELETE FROM \"TESSEL$OBJECTS\" WHERE NAME = " + quoteString(name) + " AND TYPE = 'INDEX'");
    tr_.ddl.push_back(unusableRecord(name, false));
    tr_.ddl.push_back("DELETE FROM \"TESSEL$INDEX_OPTS\" WHERE NAME = " + quoteString(name));
    tr_.ddl.push_back("DELETE FROM \"TESSEL$INDEX_STATS\" WHERE NAME = " + quoteString(name));
  } else if (is(at(1), "VIEW")) {
    tr_.function = 7;
    size_t i = objectName(2, name);
    if (!cat_.viewExists(name)) throw OraError(942, name).at(static_cast<int>(at(2).pos));
    if (i < size()) unexpected(i);
    tr_.ddl.push_back("DROP VIEW " + quoteIdent(name));
    for (auto& d : triggerRecordsDropped(name)) tr_.ddl.push_back(d); // its INSTEAD OF triggers
    tr_.ddl.push_back("DELETE FROM \"TESSEL$VIEWS\" WHERE NAME = " + quoteString(name));
    tr_.ddl.push_back("DELETE FROM \"TESSEL$CONSTRAINTS\" WHERE TABLE_NAME = " + quoteString(name));
    tr_.ddl.push_back("DELETE FROM \"TESSEL$COMMENTS\" WHERE TABLE_NAME = " + quoteString(name));
    tr_.ddl.push_back("DELETE FROM \"TESSEL$OBJECTS\" WHERE NAME = " + quoteString(name) + " AND TYPE = 'VIEW'");
  } else if (is(at(1), "SEQUENCE")) {
    tr_.function = 16;
    size_t i = objectName(2, name);
    if (!cat_.sequenceExists(name)) throw OraError(2289, name).at(static_cast<int>(at(2).pos));
    if (i < size()) unexpected(i);
    tr_.ddl.push_back("DELETE FROM \"TESSEL$OBJECTS\" WHERE NAME = " + quoteString(name) + " AND TYPE = 'SEQUENCE'");
    tr_.beforeCommit.push_back([name](Session& s) {
      s.sequenceWrite("DELETE FROM SEQUENCES WHERE NAME = ?1", {name});
      s.currvals.erase(name);
    });
  } else if (is(at(1), "TRIGGER")) {
    tr_.function = 61;
    size_t i = objectName(2, name);
    if (cat_.objectTypeOf(name, "TRIGGER").empty()) throw OraError(4080, name);
    if (i < size()) unexpected(i);
    for (const auto& trig : cat_.sqliteTriggers(name)) tr_.ddl.push_back("DROP TRIGGER " + quoteIdent(trig));
    tr_.ddl.push_back("DELETE FROM \"TESSEL$TRIGGERS\" WHERE NAME = " + quoteString(name));
    tr_.ddl.push_back("DELETE FROM \"TESSEL$TRIGGER_STATE\" WHERE NAME = " + quoteString(name));
    tr_.ddl.push_back("DELETE FROM \"TESSEL$OBJECTS\" WHERE NAME = " + quoteString(name) + " AND TYPE = 'TRIGGER'");
  } else if (is(at(1), "PROCEDURE") || is(at(1), "FUNCTION") || is(at(1), "PACKAGE")) {
    bool body = is(at(1), "PACKAGE") && is(at(2), "BODY");
    std::string type = body ? "PACKAGE BODY" : what;
    tr_.function = body ? 99 : type == "FUNCTION" ? 93 : type == "PACKAGE" ? 96 : 68;
    size_t i = objectName(body ? 3 : 2, name);
    if (cat_.objectTypeOf(name, type).empty()) throw OraError(4043, name);
    if (i < size()) unexpected(i);
    std::string types = type == "PACKAGE" ? "('PACKAGE', 'PACKAGE BODY')" : "(" + quoteString(type) + ")";
    tr_.ddl.push_back("DELETE FROM \"TESSEL$SOURCE\" WHERE NAME = " + quoteString(name) + " AND TYPE IN " + types);
    tr_.ddl.push_back("DELETE FROM \"TESSEL$OBJECTS\" WHERE NAME = " + quoteString(name) + " AND TYPE IN " + types);
    tr_.actions.push_back([name](Session& s) { forgetPlsqlState(s, name); });
  } else if (is(at(1), "TYPE")) {
    dropType();
  } else if (is(at(1), "MATERIALIZED") && is(at(2), "VIEW")) {
    dropMaterializedView(t_, cat_, tr_);
  } else if (is(at(1), "USER")) {
    dropUser();
  } else {
    throw OraError(950, "DROP " + at(1).raw);
  }
}

void Translator::createUser() {
  tr_.kind = StmtKind::Ddl;
  tr_.function = 19;
  if (cat_.user() != "SYSTEM") throw OraError(1031);
  const Token& n = at(2);
  if (n.kind != Token::Ident && n.kind != Token::QIdent) throw OraError(922);
  std::string name = n.text;
  checkName(name, charset());
  expect(3, "IDENTIFIED", 922);
  expect(4, "BY", 922);
  const Token& pw = at(5);
  if (pw.kind != Token::Ident && pw.kind != Token::QIdent) throw OraError(988, "missing or invalid password");
  // DEFAULT TABLESPACE, QUOTA and the like name storage this engine does not have
  std::string password = pw.kind == Token::QIdent ? "\"" + pw.text + "\"" : pw.text;
  tr_.actions.push_back([name, password](Session& s) {
    if (roleExists(s.folder, name)) throw OraError(1920, name);
    if (int rc = ora::createUser(s.folder, name, password)) throw OraError(rc, name);
  });
}

void Translator::alterUser() {
  tr_.kind = StmtKind::Ddl;
  tr_.function = 53;
  std::string name = at(2).text;
  if (cat_.user() != "SYSTEM" && name != cat_.user()) throw OraError(1031);
  // the storage clauses the parser took need nothing here
  size_t i = 3;
  while (i < size() && !is(at(i), "IDENTIFIED")) ++i;
  if (i == size()) {
    tr_.actions.push_back([name](Session& s) {
      if (!userExists(s.folder, name)) throw OraError(1918, name);
    });
    return;
  }
  expect(i + 1, "BY", 922);
  const Token& pw = at(i + 2);
  if (pw.kind != Token::Ident && pw.kind != Token::QIdent) throw OraError(988, "missing or invalid password");
  std::string password = pw.kind == Token::QIdent ? "\"" + pw.text + "\"" : pw.text;
  tr_.actions.push_back([name, password](Session& s) {
    if (int rc = setPassword(s.folder, name, password)) throw OraError(rc, name);
  });
}

void Translator::dropUser() {
  tr_.kind = StmtKind::Ddl;
  tr_.function = 11;
  if (cat_.user() != "SYSTEM") throw OraError(1031);
  std::string name = at(2).text;
  bool cascade = is(at(3), "CASCADE");
  if (3 + (cascade ? 1 : 0) < size()) unexpected(3 + (cascade ? 1 : 0));
  if (name == "SYSTEM" || name == cat_.user()) throw OraError(1940, name);
  tr_.actions.push_back([name, cascade](Session& s) {
    if (!userExists(s.folder, name)) throw OraError(1918, name);
    if (Session::isOpen(s.folder, name)) throw OraError(1940, name);
    if (!cascade) {
      std::unique_ptr<Session> other;
      try {
        other = Session::open(s.folder, name);
      } catch (const OraError&) {
        // a schema that cannot be read holds nothing to keep
      }
      bool empty = true;
      if (other) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(other->db, "SELECT 1 FROM \"TESSEL$OBJECTS\" LIMIT 1", -1, &st, nullptr);
        empty = sqlite3_step(st) != SQLITE_ROW;
        sqlite3_finalize(st);
      }
      if (!empty) throw OraError(1922, name);
    }
    if (int rc = ora::dropUser(s.folder, name)) throw OraError(rc, name);
    forgetGrantee(s.folder, name);
    forgetObjectGrants(s.folder, name);
  });
}

void Translator::rename() {
  tr_.kind = StmtKind::Ddl;
  tr_.function = 37;
  std::string from, to;
  size_t i = objectName(1, from);
  expect(i, "TO", 905);
  const int toPos = static_cast<int>(at(i + 1).pos);
  i = objectName(i + 1, to);
  if (i < size()) unexpected(i);
  std::string type = cat_.objectType(from);
  if (type.empty()) throw OraError(4043, from);
  if (!cat_.objectType(to).empty()) throw OraError(955).at(toPos);
  std::string qf = quoteString(from), qt = quoteString(to);
  if (type == "TABLE") {
    renameBesideBrokenViews("ALTER TABLE " + quoteIdent(from) + " RENAME TO " + quoteIdent(to));
    tr_.ddl.push_back("UPDATE \"TESSEL$CONSTRAINTS\" SET TABLE_NAME = " + qt + " WHERE TABLE_NAME = " + qf);
    tr_.ddl.push_back("UPDATE \"TESSEL$DISABLED\" SET TABLE_NAME = " + qt + " WHERE TABLE_NAME = " + qf);
    tr_.ddl.push_back("UPDATE \"TESSEL$TRIGGERS\" SET TABLE_NAME = " + qt + " WHERE TABLE_NAME = " + qf);
    tr_.ddl.push_back("UPDATE \"TESSEL$COMMENTS\" SET TABLE_NAME = " + qt + " WHERE TABLE_NAME = " + qf);
    tr_.ddl.push_back("UPDATE \"TESSEL$IDENTITY\" SET TABLE_NAME = " + qt + " WHERE TABLE_NAME = " + qf);
    tr_.ddl.push_back("UPDATE \"TESSEL$READ_ONLY\" SET TABLE_NAME = " + qt + " WHERE TABLE_NAME = " + qf);
    tr_.ddl.push_back("UPDATE \"TESSEL$NOVALIDATED\" SET TABLE_NAME = " + qt + " WHERE TABLE_NAME = " + qf);
    tr_.ddl.push_back("UPDATE \"TESSEL$INDEX_OPTS\" SET TABLE_NAME = " + qt + " WHERE TABLE_NAME = " + qf);
    tr_.ddl.push_back("UPDATE \"TESSEL$INDEX_STATS\" SET TABLE_NAME = " + qt + " WHERE TABLE_NAME = " + qf);
    tr_.ddl.push_back("UPDATE \"TESSEL$CLUSTER_TABLES\" SET TABLE_NAME = " + qt + " WHERE TABLE_NAME = " + qf);
    tr_.ddl.push_back("UPDATE \"TESSEL$TABLE_OPTS\" SET TABLE_NAME = " + qt + " WHERE TABLE_NAME = " + qf);
    tr_.ddl.push_back("UPDATE \"TESSEL$COL_STATS\" SET TABLE_NAME = " + qt + " WHERE TABLE_NAME = " + qf);
    for (auto& s : renamePartitions(cat_, from, to)) tr_.ddl.push_back(s);
  } else if (type == "VIEW") {
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(cat_.db(), "SELECT sql FROM sqlite_schema WHERE type = 'view' AND name = ?1", -1, &st, nullptr);
    sqlite3_bind_text(st, 1, from.c_str(), -1, SQLITE_TRANSIENT);
    std::string sql = sqlite3_step(st) == SQLITE_ROW ? reinterpret_cast<const char*>(sqlite3_column_text(st, 0)) : "";
    sqlite3_finalize(st);
    std::string head = "CREATE VIEW " + quoteIdent(from);
    if (sql.rfind(head, 0) != 0) throw OraError(4063, from);
    tr_.ddl.push_back("DROP VIEW " + quoteIdent(from));
    tr_.ddl.push_back("CREATE VIEW " + quoteIdent(to) + sql.substr(head.size()));
    tr_.ddl.push_back("UPDATE \"TESSEL$VIEWS\" SET NAME = " + qt + " WHERE NAME = " + qf);
    tr_.ddl.push_back("UPDATE \"TESSEL$CONSTRAINTS\" SET TABLE_NAME = " + qt + " WHERE TABLE_NAME = " + qf);
    tr_.ddl.push_back("UPDATE \"TESSEL$COMMENTS\" SET TABLE_NAME = " + qt + " WHERE TABLE_NAME = " + qf);
  } else if (type == "SEQUENCE") {
    tr_.beforeCommit.push_back([from, to](Session& s) {
      s.sequenceWrite("UPDATE SEQUENCES SET NAME = ?2 WHERE NAME = ?1", {from, to});
    });
  } else {
    throw OraError(900, "only tables, views and sequences can be renamed");
  }
  tr_.ddl.push_back("UPDATE \"TESSEL$OBJECTS\" SET NAME = " + qt + " WHERE NAME = " + qf + " AND TYPE = " +
                    quoteString(type));
}

void Translator::comment() {
  tr_.kind = StmtKind::Ddl;
  tr_.function = 38;
  expect(1, "ON", 969);
  std::string name;
  size_t i;
  if (is(at(2), "TABLE")) {
    i = objectName(3, name);
    if (!cat_.tableExists(name)) throw OraError(942, name);
  } else if (is(at(2), "COLUMN")) {
    // [schema.]table.column
    i = 3;
    if (is(at(i + 3), ".")) {
      if (at(i).text != cat_.user()) throw OraError(942, at(i).text + "." + at(i + 2).text);
      i += 2;
    }
    name = at(i).text;
    if (!is(at(i + 1), ".")) throw OraError(904, name);
    if (!cat_.tableExists(name)) throw OraError(942, name);
    findColumn(cat_.columns(name), at(i + 2).text);
    i += 3;
  } else {
    throw OraError(905);
  }
  expect(i, "IS", 905);
  if (at(i + 1).kind != Token::Str) throw OraError(1780, "string literal required");
  if (i + 2 < size()) unexpected(i + 2);
  const std::string column = is(at(2), "COLUMN") ? at(i - 1).text : std::string();
  const std::string& text = at(i + 1).text;
  // an empty comment takes the comment away, as NULL does in Oracle
  if (text.empty())
    tr_.ddl.push_back("DELETE FROM \"TESSEL$COMMENTS\" WHERE TABLE_NAME = " + quoteString(name) +
                      " AND COLUMN_NAME = " + quoteString(column));
  else
    tr_.ddl.push_back("INSERT OR REPLACE INTO \"TESSEL$COMMENTS\" (TABLE_NAME, COLUMN_NAME, COMMENTS) VALUES (" +
                      quoteString(name) + ", " + quoteString(column) + ", " + quoteString(text) + ")");
}

void Translator::grant() {
  tr_.kind = StmtKind::Ddl;
  tr_.function = 28;
  // Every user may already log on and create objects in its own schema, so these grants hold
  // as they stand; anything else would need privileges the engine does not keep.
  static const std::set<std::string> held = {"CONNECT", "RESOURCE", "CREATE SESSION", "CREATE TABLE",
      "CREATE VIEW", "CREATE SEQUENCE", "CREATE PROCEDURE", "CREATE TRIGGER", "UNLIMITED TABLESPACE",
      "ALTER SESSION"};
  size_t i = 1;
  // object grants are read before this (ObjectGrants.cpp)
  if (cat_.user() != "SYSTEM") throw OraError(1031);
  std::string priv;
  for (; i < size() && !is(at(i), "TO"); ++i) {
    if (is(at(i), ",")) {
      if (!held.count(priv)) throw OraError(1031, "GRANT " + priv + " is not supported by this engine");
      priv.clear();
      continue;
    }
    priv += (priv.empty() ? "" : " ") + at(i).text;
  }
  if (!held.count(priv)) throw OraError(1031, "GRANT " + priv + " is not supported by this engine");
  expect(i, "TO", 905);
  std::string user = at(i + 1).text;
  if (i + 2 < size()) unexpected(i + 2);
  tr_.actions.push_back([user](Session& s) {
    if (!userExists(s.folder, user)) throw OraError(1917, user);
  });
}

void Translator::truncate() {
  tr_.kind = StmtKind::Ddl;
  tr_.function = 85;
  expect(1, "TABLE", 905);
  std::string name;
  size_t i = objectName(2, name);
  if (!cat_.tableExists(name) || cat_.viewExists(name)) throw OraError(942, name).at(static_cast<int>(at(2).pos));
  if ((is(at(i), "DROP") || is(at(i), "REUSE")) && is(at(i + 1), "STORAGE")) i += 2; // storage is ours
  if (i < size()) unexpected(i);
  // as in Oracle, even with no child rows: TRUNCATE does not look at them
  if (!dropReferences(name).empty()) throw OraError(2266);
  checkWritable(cat_.db(), cat_.user(), name, static_cast<int>(at(2).pos));
  tr_.ddl.push_back("DELETE FROM " + quoteIdent(name));
}

// LOCK TABLE t [, t] IN mode MODE [NOWAIT | WAIT n]: the engine's one writer lock, held to the
// end of the transaction, keeps every other session from changing the tables.
void Translator::lockTable() {
  tr_.kind = StmtKind::Session;
  tr_.function = 35;
  expect(1, "TABLE", 905);
  size_t i = 2;
  for (;;) {
    std::string name;
    size_t at = i;
    i = objectName(i, name);
    if (!cat_.tableExists(name)) throw OraError(942).at(t_[at].pos);
    if (!is(this->at(i), ",")) break;
    ++i;
  }
  expect(i++, "IN", 969);
  static const std::set<std::string> modes = {"ROW SHARE", "ROW EXCLUSIVE", "SHARE UPDATE", "SHARE",
                                              "SHARE ROW EXCLUSIVE", "EXCLUSIVE"};
  size_t first = i;
  std::string mode;
  for (; i < size() && at(i).kind == Token::Ident && !is(at(i), "MODE"); ++i) mode += (mode.empty() ? "" : " ") + at(i).text;
  if (i == first) unexpected(i);
  if (!modes.count(mode)) throw OraError(1737).at(t_[first].pos);
  expect(i++, "MODE", 905);
  if (is(at(i), "NOWAIT")) ++i;
  else if (is(at(i), "WAIT") && at(i + 1).kind == Token::Num) i += 2;
  if (i < size()) unexpected(i);
  tr_.actions.push_back([](Session& s) { s.beginIfNeeded("LOCK"); });
}

// SET TRANSACTION READ ONLY | READ WRITE | ISOLATION LEVEL ... | USE ROLLBACK SEGMENT s [NAME '...'].
void Translator::setTransaction() {
  tr_.kind = StmtKind::Session;
  tr_.function = 33;
  expect(1, "TRANSACTION", 905);
  size_t i = 2;
  int readOnly = -1;
  if (is(at(i), "READ") && (is(at(i + 1), "ONLY") || is(at(i + 1), "WRITE"))) {
    readOnly = is(at(i + 1), "ONLY");
    i += 2;
  } else if (is(at(i), "ISOLATION") && is(at(i + 1), "LEVEL")) {
    i += 2;
    if (is(at(i), "SERIALIZABLE")) ++i;
    else if (is(at(i), "READ") && is(at(i + 1), "COMMITTED")) i += 2;
    else throw OraError(2179).at(at(i).pos);
  } else if (is(at(i), "USE") && is(at(i + 1), "ROLLBACK") && is(at(i + 2), "SEGMENT")) {
    i += 3;
    if (!aliasToken(i)) unexpected(i);
    ++i;
  } else if (!is(at(i), "NAME")) {
    throw OraError(905).at(at(i).pos);
  }
  if (is(at(i), "NAME")) {
    if (at(i + 1).kind != Token::Str) unexpected(i + 1);
    i += 2;
  }
  if (i < size()) unexpected(i);
  tr_.actions.push_back([readOnly](Session& s) {
    if (s.inTxn) throw OraError(1453);
    if (readOnly >= 0) s.readOnlyTxn = readOnly == 1;
  });
}

// ANALYZE TABLE t COMPUTE | ESTIMATE | DELETE STATISTICS, VALIDATE STRUCTURE: the statistics are
// SQLite's own, for its planner.
void Translator::analyze() {
  tr_.kind = StmtKind::Ddl;
  bool index = is(at(1), "INDEX");
  tr_.function = index ? 63 : 62;
  std::string name;
  if (is(at(1), "CLUSTER")) {
    // a cluster's statistics are its tables' and their indexes'
    tr_.function = 64;
    size_t i = objectName(2, name);
    if (rb::scalar(cat_.db(), "SELECT 1 FROM \"TESSEL$CLUSTERS\" WHERE NAME = " + quoteString(name)) != 1)
      throw OraError(943).at(t_[2].pos);
    std::vector<std::string> tables;
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(cat_.db(), "SELECT TABLE_NAME FROM \"TESSEL$CLUSTER_TABLES\" WHERE CLUSTER_NAME = ?1", -1, &st,
                       nullptr);
    sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    while (sqlite3_step(st) == SQLITE_ROW) tables.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
    const std::string rest = i < size() ? src_.substr(t_[i].pos) : std::string();
    for (auto& t : tables) {
      Translation one = translate("ANALYZE TABLE " + quoteIdent(t) + " " + rest, cat_, false, false);
      for (auto& sql : one.ddl) tr_.ddl.push_back(sql);
      for (auto& a : one.beforeCommit) tr_.beforeCommit.push_back(a);
      for (auto& a : one.actions) tr_.actions.push_back(a);
    }
    if (tables.empty() && i >= size()) unexpected(i);
    return;
  }
  if (!index) expect(1, "TABLE", 905);
  size_t i = objectName(2, name);
  if (index ? !cat_.indexExists(name) && !cat_.keyIndexExists(name) : !cat_.tableExists(name) || cat_.viewExists(name))
    throw OraError(index ? 1418 : 942).at(t_[2].pos);
  bool compute = false;
  if (is(at(i), "COMPUTE") || is(at(i), "ESTIMATE") || is(at(i), "DELETE")) {
    compute = !is(at(i), "DELETE");
    expect(++i, "STATISTICS", 905);
    ++i;
    if (is(at(i), "SAMPLE") && at(i + 1).kind == Token::Num && (is(at(i + 2), "ROWS") || is(at(i + 2), "PERCENT")))
      i += 3;
    // FOR TABLE, FOR ALL [INDEXED] COLUMNS, FOR COLUMNS c, ..., FOR ALL [LOCAL] INDEXES, each [SIZE n]:
    // what is gathered, and the histograms' buckets; the engine gathers what its planner keeps
    while (compute && is(at(i), "FOR")) {
      size_t j = i + 1;
      if (is(at(j), "TABLE")) {
        ++j;
      } else {
        if (is(at(j), "ALL")) ++j;
        if (is(at(j), "INDEXED") || is(at(j), "LOCAL")) ++j;
        if (is(at(j), "INDEXES")) {
          ++j;
        } else if (is(at(j), "COLUMNS")) {
          ++j;
          if (!is(at(i + 1), "ALL")) {
            for (;;) {
              if (!aliasToken(j)) unexpected(j);
              findColumn(cat_.columns(index ? indexTable(name) : name), at(j).text);
              ++j;
              if (!is(at(j), ",")) break;
              ++j;
            }
          }
        } else {
          unexpected(j);
        }
      }
      if (is(at(j), "SIZE")) {
        if (at(j + 1).kind != Token::Num) unexpected(j + 1);
        j += 2;
      }
      i = j;
    }
  } else if (is(at(i), "VALIDATE") && is(at(i + 1), "STRUCTURE")) {
    i += 2;
    if (is(at(i), "CASCADE")) ++i;
  } else if (!index && is(at(i), "LIST") && is(at(i + 1), "CHAINED") && is(at(i + 2), "ROWS")) {
    // each row of the engine's tables is kept whole: the list stays empty, but its table must be there
    i += 3;
    std::string into = "CHAINED_ROWS";
    if (is(at(i), "INTO")) i = objectName(i + 1, into);
    if (!cat_.tableExists(into) || cat_.viewExists(into)) throw OraError(942).at(at(i - 1).pos);
  } else {
    unexpected(i);
  }
  if (i < size()) unexpected(i);
  const std::string table = index ? indexTable(name) : name;
  if (compute) {
    // a table's indexes are analyzed with it
    tr_.beforeCommit.push_back([table, name, index](Session& s) {
      gatherIndexStatistics(s.db, table, index ? name : std::string());
      if (!index) gatherColumnStatistics(s.db, table);
    });
    // a key's index is SQLite's own, under another name: its table's statistics cover it
    if (!index || cat_.indexExists(name)) tr_.ddl.push_back("ANALYZE " + quoteIdent(name));
    if (!index) {
      // SQLite records nothing for an empty table; Oracle counts it as 0 rows
      tr_.ddl.push_back("INSERT INTO sqlite_stat1 SELECT " + quoteString(name) +
                        ", NULL, '0' WHERE NOT EXISTS (SELECT 1 FROM sqlite_stat1 WHERE tbl = " + quoteString(name) + ")");
      tr_.ddl.push_back("INSERT OR REPLACE INTO \"TESSEL$ANALYZED\" VALUES (" + quoteString(name) + ", ora_sysdate())");
    }
  } else if (is(t_[i - 1], "STATISTICS")) {
    tr_.ddl.push_back("DELETE FROM \"TESSEL$INDEX_STATS\" WHERE " + std::string(index ? "NAME" : "TABLE_NAME") + " = " +
                      quoteString(name));
    if (!index) tr_.ddl.push_back("DELETE FROM \"TESSEL$COL_STATS\" WHERE TABLE_NAME = " + quoteString(name));
    tr_.actions.push_back([name](Session& s) {
      execOne(s.db, "DELETE FROM sqlite_stat1 WHERE tbl = " + quoteString(name)); // none kept: nothing to do
    });
  }
}

// ALTER INDEX name RENAME TO new | REBUILD | COMPILE ...: the engine's indexes need no
// rebuilding, so only a new name changes anything.
void Translator::alterIndex() {
  tr_.kind = StmtKind::Ddl;
  tr_.function = 41;
  std::string name;
  size_t i = objectName(2, name);
  // a key's index is named after its constraint; it is rebuilt or tuned as any other
  bool keyIndex = !cat_.indexExists(name) && cat_.keyIndexExists(name);
  if (!cat_.indexExists(name) && !keyIndex &&
      rb::scalar(cat_.db(), "SELECT 1 FROM \"TESSEL$CLUSTERS\" WHERE INDEX_NAME = " + quoteString(name)) == 1) {
    // a cluster's index: a new name is all that changes
    if (is(at(i), "RENAME") && is(at(i + 1), "TO")) {
      std::string to;
      size_t j = objectName(i + 2, to);
      if (j < size()) unexpected(j);
      if (!cat_.objectType(to).empty() || cat_.indexExists(to) || cat_.keyIndexExists(to)) throw OraError(955);
      tr_.ddl.push_back("UPDATE \"TESSEL$CLUSTERS\" SET INDEX_NAME = " + quoteString(to) + " WHERE INDEX_NAME = " +
                        quoteString(name));
      tr_.ddl.push_back("UPDATE \"TESSEL$OBJECTS\" SET NAME = " + quoteString(to) + " WHERE NAME = " + quoteString(name) +
                        " AND TYPE = 'INDEX'");
      return;
    }
    if (!is(at(i), "REBUILD") && !is(at(i), "COALESCE") && !is(at(i), "LOGGING") && !is(at(i), "NOLOGGING"))
      throw OraError(2243).at(static_cast<int>(at(i).pos));
    i = skipIndexOptions(t_, i + 1);
    if (i < size()) unexpected(i);
    return;
  }
  if (!cat_.indexExists(name) && !keyIndex) throw OraError(1418);
  if (is(at(i), "RENAME") && is(at(i + 1), "TO")) {
    if (keyIndex) throw OraError(1418); // its name is the constraint's
    std::string to;
    size_t j = objectName(i + 2, to);
    if (j < size()) unexpected(j);
    bool takenByKey = false; // a primary or unique key's index carries the key's name
    {
      sqlite3_stmt* st = nullptr;
      sqlite3_prepare_v2(cat_.db(), "SELECT 1 FROM \"TESSEL$CONSTRAINTS\" WHERE NAME = ?1 AND TYPE IN ('P', 'U')", -1,
                         &st, nullptr);
      sqlite3_bind_text(st, 1, to.c_str(), -1, SQLITE_TRANSIENT);
      takenByKey = sqlite3_step(st) == SQLITE_ROW;
      sqlite3_finalize(st);
    }
    if (!cat_.objectType(to).empty() || cat_.indexExists(to) || takenByKey) throw OraError(955);
    std::string sql = rb::storedSql(cat_.db(), "index", name);
    // the stored definition names the index right after INDEX
    size_t at = sql.find(quoteIdent(name));
    if (at == std::string::npos) at = sql.find(name);
    if (at == std::string::npos) throw OraError(1418);
    sql.replace(at, sql[at] == '"' ? quoteIdent(name).size() : name.size(), quoteIdent(to));
    tr_.ddl.push_back("DROP INDEX " + quoteIdent(name));
    tr_.ddl.push_back(sql);
    tr_.ddl.push_back("UPDATE \"TESSEL$OBJECTS\" SET NAME = " + quoteString(to) + " WHERE NAME = " +
                      quoteString(name) + " AND TYPE = 'INDEX'");
    tr_.ddl.push_back("UPDATE \"TESSEL$UNUSABLE\" SET NAME = " + quoteString(to) + " WHERE NAME = " + quoteString(name));
    for (const char* kept : {"TESSEL$INDEX_OPTS", "TESSEL$INDEX_STATS"})
      tr_.ddl.push_back(std::string("UPDATE \"") + kept + "\" SET NAME = " + quoteString(to) + " WHERE NAME = " +
                        quoteString(name));
    return;
  }
  static const std::set<std::string> accepted = {"REBUILD", "COMPILE", "LOGGING", "NOLOGGING", "MONITORING",
                                                 "NOMONITORING", "COALESCE", "VISIBLE", "INVISIBLE", "UNUSABLE",
                                                 "PARALLEL", "NOPARALLEL", "COMPUTE", "INITRANS", "MAXTRANS",
                                                 "STORAGE", "ALLOCATE", "DEALLOCATE"};
  if (i >= size() || at(i).kind != Token::Ident || !accepted.count(at(i).text)) throw OraError(2243);
  if (is(at(i), "ALLOCATE") || is(at(i), "DEALLOCATE")) {
    // extents: the engine's storage grows and shrinks by itself
    size_t j = i + 2;
    if (is(at(i), "ALLOCATE") ? !is(at(i + 1), "EXTENT") : !is(at(i + 1), "UNUSED")) throw OraError(2243);
    if (is(at(j), "(")) j = matching(j) + 1;
    else if (is(at(j), "KEEP") && at(j + 1).kind == Token::Num) j += is(at(j + 2), "K") || is(at(j + 2), "M") ? 3 : 2;
    if (j < size()) unexpected(j);
    return;
  }
  const bool unusable = is(at(i), "UNUSABLE"), rebuild = is(at(i), "REBUILD");
  if (is(at(i), "MONITORING") || is(at(i), "NOMONITORING")) {
    if (is(at(i + 1), "USAGE")) ++i;
  } else if (is(at(i), "COMPUTE") || is(at(i), "PARALLEL") || is(at(i), "NOPARALLEL") || is(at(i), "INITRANS") ||
             is(at(i), "MAXTRANS") || is(at(i), "STORAGE")) {
    --i; // an option of the index as a whole, read with the rest
  } else if (is(at(i), "REBUILD") && is(at(i + 1), "REVERSE")) {
    ++i;
  }
  const size_t options = i;
  i = skipIndexOptions(t_, i + 1);
  if (i < size()) unexpected(i);
  if (unusable || rebuild) tr_.ddl.push_back(unusableRecord(name, unusable));
  // what the dictionary shows of it: its visibility, and what a rebuild changes
  const std::string table = indexTable(name);
  const std::string q = quoteString(name), opts = "UPDATE \"TESSEL$INDEX_OPTS\" SET ";
  tr_.ddl.push_back("INSERT OR IGNORE INTO \"TESSEL$INDEX_OPTS\" (NAME, TABLE_NAME) VALUES (" + q + ", " +
                    quoteString(table) + ")");
  for (size_t k = options; k < size(); ++k) {
    if (is(at(k), "VISIBLE") || is(at(k), "INVISIBLE"))
      tr_.ddl.push_back(opts + "INVISIBLE = " + (is(at(k), "INVISIBLE") ? "1" : "0") + " WHERE NAME = " + q);
    if (!rebuild) continue;
    if (is(at(k), "REVERSE") || is(at(k), "NOREVERSE"))
      tr_.ddl.push_back(opts + "REVERSE = " + (is(at(k), "REVERSE") ? "1" : "0") + " WHERE NAME = " + q);
    if (is(at(k), "NOCOMPRESS")) tr_.ddl.push_back(opts + "PREFIX = NULL WHERE NAME = " + q);
    if (is(at(k), "COMPRESS") && at(k + 1).kind == Token::Num)
      tr_.ddl.push_back(opts + "PREFIX = " + std::to_string(std::atoi(at(k + 1).text.c_str())) + " WHERE NAME = " + q);
  }
  // a rebuilt index has its statistics gathered again
  if (rebuild) tr_.beforeCommit.push_back([table, name](Session& s) { gatherIndexStatistics(s.db, table, name); });
}

// The table of an index, or of the key whose index carries the name.
std::string Translator::indexTable(const std::string& index) {
  std::string table;
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(cat_.db(),
                     "SELECT tbl_name FROM sqlite_schema WHERE type = 'index' AND name = ?1 UNION ALL"
                     " SELECT TABLE_NAME FROM \"TESSEL$CONSTRAINTS\" WHERE NAME = ?1",
                     -1, &st, nullptr);
  sqlite3_bind_text(st, 1, index.c_str(), -1, SQLITE_TRANSIENT);
  if (sqlite3_step(st) == SQLITE_ROW) table = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
  sqlite3_finalize(st);
  return table;
}

// What CREATE INDEX and ALTER INDEX ... REBUILD may say of the index's storage and of how it is
// built: the engine's indexes are always complete and in order, so none of it changes them.
size_t skipIndexOptions(const std::vector<Token>& t, size_t i) {
  auto number = [&](size_t k) { return k < t.size() && t[k].kind == Token::Num; };
  for (;;) {
    size_t j = i;
    if (j < t.size() && t[j].kind == Token::Ident) {
      const std::string& w = t[j].text;
      if (w == "COMPUTE" && j + 1 < t.size() && is(t[j + 1], "STATISTICS")) j += 2;
      else if (w == "ONLINE" || w == "REVERSE" || w == "NOREVERSE" || w == "SORT" || w == "NOSORT" ||
               w == "VISIBLE" || w == "INVISIBLE" || w == "NOPARALLEL" || w == "NOCOMPRESS")
        ++j;
      else if (w == "PARALLEL" || w == "COMPRESS") j += number(j + 1) ? 2 : 1;
    } else if (number(j) && j > 0 && (is(t[j - 1], "PARALLEL") || is(t[j - 1], "COMPRESS"))) {
      ++j; // the degree after a PARALLEL read with the storage words
    }
    if (j == i) j = skipPhysical(t, i);
    if (j == i) return i;
    i = j;
  }
}

} // namespace ora::tx
