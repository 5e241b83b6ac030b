// DROP TABLE into the recycle bin, FLASHBACK TABLE ... TO BEFORE DROP and PURGE.
//
// A dropped table is renamed TESSEL$<bin name>, out of every listing of the user's tables; its
// indexes likewise. Its constraints, comments and identity columns go along under the new name,
// its triggers as their text; its foreign keys are dropped (the recycle bin keeps no referential
// constraints). A table brought back keeps the bin names of its indexes, keys and triggers, as
// Oracle's does.
#include "RecycleBin.h"

#include "DictionaryImpl.h"
#include "Session.h"
#include "TableRebuild.h"

#include <random>
#include <set>
#include <sqlite3.h>

namespace ora::tx {

namespace {

const char kStore[] = "TESSEL$";

std::string stored(const std::string& binName) { return kStore + binName; }

// BIN$ followed by 24 base64 characters of a random identifier and $0: 30 characters in all.
std::string newBinName(sqlite3* db) {
  static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  static thread_local std::mt19937_64 gen{std::random_device{}()};
  for (;;) {
    std::string name = "BIN$";
    for (int i = 0; i < 22; ++i) name += digits[gen() % 64];
    name += "==$0";
    if (!inRecycleBin(db, name) && rb::storedSql(db, "table", stored(name)).empty()) return name;
  }
}

struct BinRow {
  std::string object, original, type, base, created;
  int64_t obj = 0;
};

std::vector<BinRow> binRows(sqlite3* db, const std::string& where, const std::string& arg = {}) {
  std::vector<BinRow> out;
  dict::eachRow(db,
                "SELECT OBJECT_NAME, ORIGINAL_NAME, TYPE, BASE_OBJECT, CREATED, OBJ FROM \"TESSEL$RECYCLEBIN\" WHERE " +
                    where + " ORDER BY SEQ, OBJECT_NAME",
                [&](sqlite3_stmt* st) {
                  BinRow r{dict::col(st, 0), dict::col(st, 1), dict::col(st, 2), dict::col(st, 3), dict::col(st, 4)};
                  r.obj = sqlite3_column_int64(st, 5);
                  out.push_back(r);
                },
                arg, true);
  return out;
}

// An index's CREATE INDEX under another name, on another table.
std::string indexSql(const std::string& sql, const std::string& index, const std::string& table) {
  auto t = tokenize(sql);
  bool unique = t.size() > 1 && is(t[1], "UNIQUE");
  for (size_t k = 0; k < t.size(); ++k)
    if (is(t[k], "(") && t[k].depth == 0)
      return std::string("CREATE ") + (unique ? "UNIQUE " : "") + "INDEX " + quoteIdent(index) + " ON " +
             quoteIdent(table) + " " + sql.substr(t[k].pos);
  throw OraError(1418);
}

// CREATE TRIGGER for a trigger kept in the bin: its description (name, timing, events, ON table,
// REFERENCING, WHEN) under a new name, on the table's new name, and its block.
std::string triggerText(const std::string& description, const std::string& body, const std::string& name,
                        const std::string& table) {
  auto t = tokenize(description);
  size_t named = t.size() > 1 && is(t[1], ".") ? 3 : 1;
  for (size_t k = named; k + 1 < t.size(); ++k) {
    if (t[k].depth != 0 || !is(t[k], "ON")) continue;
    size_t e = k + 2 < t.size() && is(t[k + 2], ".") ? k + 4 : k + 2;
    if (e > t.size() || named >= t.size()) break;
    return "CREATE OR REPLACE TRIGGER " + quoteIdent(name) + " " +
           description.substr(t[named].pos, t[k].end - t[named].pos) + " " + quoteIdent(table) +
           description.substr(t[e - 1].end) + "\n" + body;
  }
  return {};
}

bool statsKept(sqlite3* db) { return rb::scalar(db, "SELECT 1 FROM sqlite_schema WHERE name = 'sqlite_stat1'") == 1; }

// The statements that move a table's own rows of the engine's tables from one name to another.
void moveTableRows(sqlite3* db, const std::string& from, const std::string& to, std::vector<std::string>& ddl) {
  std::string f = quoteString(from), t = quoteString(to);
  for (const char* meta : {"TESSEL$COMMENTS", "TESSEL$IDENTITY", "TESSEL$ANALYZED", "TESSEL$READ_ONLY", "TESSEL$NOVALIDATED"})
    ddl.push_back(std::string("UPDATE \"") + meta + "\" SET TABLE_NAME = " + t + " WHERE TABLE_NAME = " + f);
  if (statsKept(db)) ddl.push_back("UPDATE sqlite_stat1 SET tbl = " + t + " WHERE tbl = " + f);
}

// The translation that puts a table in the recycle bin, as the schema is now.
Translation moveToBin(Session& s, const std::string& table) {
  sqlite3* db = s.db;
  Translation tr;
  tr.kind = StmtKind::Ddl;
  tr.verb = "DROP";
  auto& ddl = tr.ddl;
  const std::string bin = newBinName(db), store = stored(bin), q = quoteString(table);
  struct Index {
    std::string name, sql, bin;
  };
  std::vector<Index> indexes;
  dict::eachRow(db, "SELECT name, sql FROM main.sqlite_schema WHERE type = 'index' AND tbl_name = ?1 AND sql IS NOT NULL",
                [&](sqlite3_stmt* st) { indexes.push_back({dict::col(st, 0), dict::col(st, 1), {}}); }, table);
  ddl.push_back("PRAGMA legacy_alter_table=ON");
  // triggers are kept as their text, made again when the table comes back
  int64_t seq = rb::scalar(db, "SELECT COALESCE(MAX(SEQ), 0) + 1 FROM \"TESSEL$RECYCLEBIN\"");
  dict::eachRow(db, "SELECT NAME, DESCRIPTION, BODY FROM \"TESSEL$TRIGGERS\" WHERE TABLE_NAME = ?1", [&](sqlite3_stmt* st) {
    std::string name = dict::col(st, 0), trigBin = newBinName(db);
    ddl.push_back("INSERT INTO \"TESSEL$RECYCLEBIN\" (OBJECT_NAME, ORIGINAL_NAME, TYPE, BASE_OBJECT, OBJ, CREATED, DROPPED,"
                  " SEQ, DESCRIPTION, BODY) SELECT " + quoteString(trigBin) + ", " + quoteString(name) + ", 'TRIGGER', " +
                  quoteString(bin) + ", OBJ, CREATED, ora_sysdate(), " + std::to_string(seq) + ", " +
                  quoteString(dict::col(st, 1)) + ", " + quoteString(dict::col(st, 2)) +
                  " FROM \"TESSEL$OBJECTS\" WHERE NAME = " + quoteString(name) + " AND TYPE = 'TRIGGER'");
  }, table);
  Catalog cat(db, s.user, &s);
  dict::eachRow(db, "SELECT NAME FROM \"TESSEL$TRIGGERS\" WHERE TABLE_NAME = ?1", [&](sqlite3_stmt* st) {
    for (const auto& trig : cat.sqliteTriggers(dict::col(st, 0))) ddl.push_back("DROP TRIGGER main." + quoteIdent(trig));
  }, table);
  ddl.push_back("DELETE FROM \"TESSEL$OBJECTS\" WHERE TYPE = 'TRIGGER' AND NAME IN"
                " (SELECT NAME FROM \"TESSEL$TRIGGERS\" WHERE TABLE_NAME = " + q + ")");
  ddl.push_back("DELETE FROM \"TESSEL$TRIGGERS\" WHERE TABLE_NAME = " + q);
  for (auto& ix : indexes) ddl.push_back("DROP INDEX main." + quoteIdent(ix.name));
  ddl.push_back("ALTER TABLE main." + quoteIdent(table) + " RENAME TO " + quoteIdent(store));
  // queries may still read the table by its bin name
  ddl.push_back("CREATE VIEW main." + quoteIdent(bin) + " AS SELECT * FROM main." + quoteIdent(store));
  auto binRow = [&](const std::string& object, const std::string& original, const char* type, const char* objType) {
    ddl.push_back("INSERT INTO \"TESSEL$RECYCLEBIN\" (OBJECT_NAME, ORIGINAL_NAME, TYPE, BASE_OBJECT, OBJ, CREATED,"
                  " DROPPED, SEQ) SELECT " + quoteString(object) + ", " + quoteString(original) + ", '" + type + "', " +
                  quoteString(bin) + ", (SELECT OBJ FROM \"TESSEL$OBJECTS\" WHERE NAME = " + quoteString(original) +
                  " AND TYPE = '" + objType + "'), (SELECT CREATED FROM \"TESSEL$OBJECTS\" WHERE NAME = " +
                  quoteString(original) + " AND TYPE = '" + objType + "'), ora_sysdate(), " + std::to_string(seq));
    ddl.push_back("DELETE FROM \"TESSEL$OBJECTS\" WHERE NAME = " + quoteString(original) + " AND TYPE = '" + objType + "'");
  };
  binRow(bin, table, "TABLE", "TABLE");
  for (auto& ix : indexes) {
    ix.bin = newBinName(db);
    while (ix.bin == bin) ix.bin = newBinName(db);
    ddl.push_back(indexSql(ix.sql, stored(ix.bin), store));
    binRow(ix.bin, ix.name, "INDEX", "INDEX");
  }
  // keys and checks keep their names, out of the way of the schema's until the table is back
  ddl.push_back("UPDATE \"TESSEL$CONSTRAINTS\" SET NAME = " + quoteString(store + "$") + " || NAME, TABLE_NAME = " +
                quoteString(store) + " WHERE TABLE_NAME = " + q);
  dict::eachRow(db, "SELECT NAME, DEFINITION FROM \"TESSEL$DISABLED\" WHERE TABLE_NAME = ?1", [&](sqlite3_stmt* st) {
    for (auto& k : tokenize(dict::col(st, 1)))
      if (is(k, "REFERENCES")) {
        ddl.push_back("DELETE FROM \"TESSEL$DISABLED\" WHERE NAME = " + quoteString(dict::col(st, 0)));
        break;
      }
  }, table);
  ddl.push_back("UPDATE \"TESSEL$DISABLED\" SET NAME = " + quoteString(store + "$") + " || NAME, TABLE_NAME = " +
                quoteString(store) + " WHERE TABLE_NAME = " + q);
  moveTableRows(db, table, store, ddl);
  ddl.push_back("PRAGMA legacy_alter_table=OFF");
  return tr;
}

void runMoving(Session& s, const Translation& t) {
  try {
    s.runDdl(t);
  } catch (...) {
    execOne(s.db, "PRAGMA legacy_alter_table=OFF");
    throw;
  }
}

// Whether a constraint name is in use by the schema's tables (or their disabled constraints).
bool constraintTaken(sqlite3* db, const std::string& name) {
  return rb::constraintNameTaken(db, name) ||
         rb::scalar(db, "SELECT 1 FROM \"TESSEL$CONSTRAINTS\" WHERE NAME = " + quoteString(name)) == 1;
}

// Removes a table of the bin for good, with what it took along.
void purgeTable(sqlite3* db, const std::string& bin, Translation& tr) {
  const std::string store = stored(bin), q = quoteString(store);
  tr.ddl.push_back("DROP VIEW IF EXISTS main." + quoteIdent(bin));
  tr.ddl.push_back("DROP TABLE IF EXISTS main." + quoteIdent(store));
  for (const char* meta : {"TESSEL$CONSTRAINTS", "TESSEL$DISABLED", "TESSEL$COMMENTS", "TESSEL$ANALYZED", "TESSEL$READ_ONLY", "TESSEL$NOVALIDATED"})
    tr.ddl.push_back(std::string("DELETE FROM \"") + meta + "\" WHERE TABLE_NAME = " + q);
  if (statsKept(db)) tr.ddl.push_back("DELETE FROM sqlite_stat1 WHERE tbl = " + q);
  // an identity column's sequence goes with its table
  dict::eachRow(db, "SELECT SEQ FROM \"TESSEL$IDENTITY\" WHERE TABLE_NAME = ?1", [&](sqlite3_stmt* st) {
    std::string seqName = dict::col(st, 0);
    tr.ddl.push_back("DELETE FROM \"TESSEL$OBJECTS\" WHERE NAME = " + quoteString(seqName) + " AND TYPE = 'SEQUENCE'");
    tr.beforeCommit.push_back([seqName](Session& s) {
      s.sequenceWrite("DELETE FROM SEQUENCES WHERE NAME = ?1", {seqName});
      s.currvals.erase(seqName);
    });
  }, store);
  tr.ddl.push_back("DELETE FROM \"TESSEL$IDENTITY\" WHERE TABLE_NAME = " + q);
  tr.ddl.push_back("DELETE FROM \"TESSEL$RECYCLEBIN\" WHERE BASE_OBJECT = " + quoteString(bin));
}

// The table a FLASHBACK or PURGE names: its bin name, or the original name of the one dropped
// last (FLASHBACK) or first (PURGE).
bool findTable(sqlite3* db, const std::string& name, bool latest, BinRow& out) {
  auto rows = binRows(db, "TYPE = 'TABLE' AND (OBJECT_NAME = ?1 OR ORIGINAL_NAME = ?1)", name);
  for (auto& r : rows)
    if (r.object == name) {
      out = r;
      return true;
    }
  if (rows.empty()) return false;
  out = latest ? rows.back() : rows.front();
  return true;
}

} // namespace

bool inRecycleBin(sqlite3* db, const std::string& name) {
  return rb::scalar(db, "SELECT 1 FROM \"TESSEL$RECYCLEBIN\" WHERE OBJECT_NAME = " + quoteString(name)) == 1;
}

void dropToRecycleBin(const std::string& table, const std::vector<std::string>& children, Translation& tr) {
  tr.actions.push_back([table, children](Session& s) {
    for (auto& sql : children) {
      Catalog cat(s.db, s.user, &s);
      s.runDdl(translate(sql, cat, false, false));
    }
    // the recycle bin keeps no foreign keys: the table's own go first, one at a time
    std::set<std::string> dropped;
    for (;;) {
      std::string key;
      for (auto& c : dict::tableConstraints(s.db, table))
        if (c.type == "R") key = c.name;
      if (key.empty()) break;
      if (!dropped.insert(key).second) throw OraError(2443, key); // it did not go

      Catalog cat(s.db, s.user, &s);
      s.runDdl(translate("ALTER TABLE " + quoteIdent(table) + " DROP CONSTRAINT " + quoteIdent(key), cat, false, false));
    }
    runMoving(s, moveToBin(s, table));
  });
}

void flashbackTable(const std::vector<Token>& t, Catalog& cat, Translation& tr) {
  tr.kind = StmtKind::Ddl;
  if (!is(tokenAt(t, 1), "TABLE")) throw OraError(905).at(static_cast<int>(tokenAt(t, 1).pos));
  size_t i = 2;
  if ((tokenAt(t, i).kind == Token::Ident || tokenAt(t, i).kind == Token::QIdent) && is(tokenAt(t, i + 1), ".")) {
    if (tokenAt(t, i).text != cat.user()) throw OraError(942).at(static_cast<int>(tokenAt(t, i).pos));
    i += 2;
  }
  if (tokenAt(t, i).kind != Token::Ident && tokenAt(t, i).kind != Token::QIdent) throw OraError(903).at(static_cast<int>(tokenAt(t, i).pos));
  const std::string name = tokenAt(t, i).text;
  const size_t nameAt = i++;
  if (!is(tokenAt(t, i), "TO")) throw OraError(905).at(static_cast<int>(tokenAt(t, i).pos));
  ++i;
  if (is(tokenAt(t, i), "TIMESTAMP") || is(tokenAt(t, i), "SCN") || (is(tokenAt(t, i), "RESTORE") && is(tokenAt(t, i + 1), "POINT"))) {
    // there is no undo to go back through: Oracle's first objection is the same
    if (!cat.tableExists(name) || cat.viewExists(name)) throw OraError(942).at(static_cast<int>(tokenAt(t, nameAt).pos));
    throw OraError(8189);
  }
  if (!is(tokenAt(t, i), "BEFORE") || !is(tokenAt(t, i + 1), "DROP")) throw OraError(905).at(static_cast<int>(tokenAt(t, i).pos));
  i += 2;
  std::string target;
  size_t targetAt = 0;
  if (is(tokenAt(t, i), "RENAME")) {
    if (!is(tokenAt(t, i + 1), "TO")) throw OraError(905).at(static_cast<int>(tokenAt(t, i + 1).pos));
    targetAt = i + 2;
    if (tokenAt(t, targetAt).kind != Token::Ident && tokenAt(t, targetAt).kind != Token::QIdent) throw OraError(903);
    target = tokenAt(t, targetAt).text;
    checkName(target, cat.session() ? cat.session()->charset : Charset::AL32UTF8);
    i += 3;
  }
  if (i < t.size()) unexpectedToken(t, i);
  tr.function = 0;
  sqlite3* db = cat.db();
  BinRow row;
  if (!findTable(db, name, true, row)) throw OraError(38305).at(static_cast<int>(tokenAt(t, nameAt).pos));
  if (target.empty()) target = row.original;
  if (!cat.objectType(target).empty()) {
    if (targetAt) throw OraError(955).at(static_cast<int>(tokenAt(t, targetAt).pos));
    throw OraError(38312);
  }
  const std::string store = stored(row.object);
  auto& ddl = tr.ddl;
  ddl.push_back("PRAGMA legacy_alter_table=ON");
  ddl.push_back("DROP VIEW IF EXISTS main." + quoteIdent(row.object));
  auto indexes = binRows(db, "TYPE = 'INDEX' AND BASE_OBJECT = ?1", row.object);
  std::vector<std::string> created;
  for (auto& ix : indexes) {
    std::string sql = rb::storedSql(db, "index", stored(ix.object));
    if (sql.empty()) continue; // purged on its own
    ddl.push_back("DROP INDEX main." + quoteIdent(stored(ix.object)));
    created.push_back(indexSql(sql, ix.object, target));
  }
  ddl.push_back("ALTER TABLE main." + quoteIdent(store) + " RENAME TO " + quoteIdent(target));
  for (auto& sql : created) ddl.push_back(sql);
  for (auto& ix : indexes)
    if (ix.obj > 0)
      ddl.push_back("INSERT OR IGNORE INTO \"TESSEL$OBJECTS\" (OBJ, NAME, TYPE, CREATED) VALUES (" +
                    std::to_string(ix.obj) + ", " + quoteString(ix.object) + ", 'INDEX', " +
                    (ix.created.empty() ? std::string("ora_sysdate()") : quoteString(ix.created)) + ")");
  ddl.push_back("INSERT INTO \"TESSEL$OBJECTS\" (" + std::string(row.obj > 0 ? "OBJ, " : "") + "NAME, TYPE, CREATED) VALUES (" +
                (row.obj > 0 ? std::to_string(row.obj) + ", " : std::string()) + quoteString(target) + ", 'TABLE', " +
                (row.created.empty() ? std::string("ora_sysdate()") : quoteString(row.created)) + ")");
  // keys come back under bin names, as their indexes do
  for (const char* meta : {"TESSEL$CONSTRAINTS", "TESSEL$DISABLED"})
    dict::eachRow(db, std::string("SELECT NAME FROM \"") + meta + "\" WHERE TABLE_NAME = ?1", [&](sqlite3_stmt* st) {
      std::string was = dict::col(st, 0), bin = newBinName(db);
      while (constraintTaken(db, bin)) bin = newBinName(db);
      ddl.push_back(std::string("UPDATE \"") + meta + "\" SET NAME = " + quoteString(bin) + ", TABLE_NAME = " +
                    quoteString(target) + " WHERE NAME = " + quoteString(was));
    }, store);
  moveTableRows(db, store, target, ddl);
  std::vector<std::string> triggers;
  dict::eachRow(db, "SELECT OBJECT_NAME, DESCRIPTION, BODY FROM \"TESSEL$RECYCLEBIN\" WHERE TYPE = 'TRIGGER' AND"
                    " BASE_OBJECT = ?1 ORDER BY OBJECT_NAME", [&](sqlite3_stmt* st) {
    std::string text = triggerText(dict::col(st, 1), dict::col(st, 2), dict::col(st, 0), target);
    if (!text.empty()) triggers.push_back(text);
  }, row.object);
  ddl.push_back("DELETE FROM \"TESSEL$RECYCLEBIN\" WHERE BASE_OBJECT = " + quoteString(row.object));
  ddl.push_back("PRAGMA legacy_alter_table=OFF");
  Translation moving = tr;
  tr.ddl.clear();
  tr.actions.push_back([moving, triggers](Session& s) {
    runMoving(s, moving);
    // the triggers come back under their bin names, as Oracle's do
    for (auto& text : triggers) {
      Catalog cat(s.db, s.user, &s);
      s.runDdl(translate(text, cat, false, false));
    }
  });
}

void purgeStatement(const std::vector<Token>& t, Catalog& cat, Translation& tr) {
  tr.kind = StmtKind::Ddl;
  sqlite3* db = cat.db();
  auto end = [&](size_t i) {
    if (i < t.size()) throw OraError(933).at(static_cast<int>(t[i].pos));
  };
  auto all = [&] {
    for (auto& r : binRows(db, "TYPE = 'TABLE'")) purgeTable(db, r.object, tr);
  };
  if (is(tokenAt(t, 1), "RECYCLEBIN") || is(tokenAt(t, 1), "USER_RECYCLEBIN")) {
    end(2);
    all();
  } else if (is(tokenAt(t, 1), "DBA_RECYCLEBIN")) {
    end(2);
    if (cat.user() != "SYSTEM") throw OraError(1031);
    all(); // the other schemas' bins are their own users' to empty
  } else if (is(tokenAt(t, 1), "TABLESPACE")) {
    // every table is in USERS: its bin is this user's whole bin
    size_t i = 3;
    if (is(tokenAt(t, i), "USER")) i += 2;
    end(i);
    all();
  } else if (is(tokenAt(t, 1), "TABLE") || is(tokenAt(t, 1), "INDEX")) {
    bool table = is(tokenAt(t, 1), "TABLE");
    size_t i = 2;
    if ((tokenAt(t, i).kind == Token::Ident || tokenAt(t, i).kind == Token::QIdent) && is(tokenAt(t, i + 1), ".")) {
      if (tokenAt(t, i).text != cat.user()) throw OraError(38307);
      i += 2;
    }
    if (tokenAt(t, i).kind != Token::Ident && tokenAt(t, i).kind != Token::QIdent) throw OraError(903).at(static_cast<int>(tokenAt(t, i).pos));
    const std::string name = tokenAt(t, i).text;
    end(i + 1);
    if (table) {
      BinRow row;
      if (!findTable(db, name, false, row)) throw OraError(38307);
      purgeTable(db, row.object, tr);
    } else {
      auto rows = binRows(db, "TYPE = 'INDEX' AND (OBJECT_NAME = ?1 OR ORIGINAL_NAME = ?1)", name);
      if (rows.empty()) throw OraError(38307);
      const BinRow& r = rows.front();
      tr.ddl.push_back("DROP INDEX IF EXISTS main." + quoteIdent(stored(r.object)));
      tr.ddl.push_back("DELETE FROM \"TESSEL$RECYCLEBIN\" WHERE OBJECT_NAME = " + quoteString(r.object));
    }
  } else {
    throw OraError(38302); // invalid PURGE option
  }
  // the engine's own statements need a transaction even when the bin is empty
  if (tr.ddl.empty()) tr.ddl.push_back("DELETE FROM \"TESSEL$RECYCLEBIN\" WHERE 0");
}

} // namespace ora::tx

namespace ora::dict {

// USER_RECYCLEBIN: times as Oracle writes them there, YYYY-MM-DD:HH24:MI:SS.
void fillRecycleBin(const Source& src, Inserter& ins) {
  auto stamp = [](std::string d) {
    if (d.size() > 10 && d[10] == ' ') d[10] = ':';
    return d.substr(0, 19);
  };
  std::map<std::string, int64_t> baseObj;
  dict::eachRow(src.db, "SELECT OBJECT_NAME, OBJ FROM \"TESSEL$RECYCLEBIN\" WHERE TYPE = 'TABLE'",
                [&](sqlite3_stmt* st) { baseObj[col(st, 0)] = sqlite3_column_int64(st, 1); }, {}, true);
  dict::eachRow(src.db,
                "SELECT OBJECT_NAME, ORIGINAL_NAME, TYPE, CREATED, DROPPED, SEQ, OBJ, BASE_OBJECT FROM"
                " \"TESSEL$RECYCLEBIN\" ORDER BY SEQ, TYPE DESC, OBJECT_NAME",
                [&](sqlite3_stmt* st) {
                  bool table = col(st, 2) == "TABLE";
                  int64_t base = baseObj[col(st, 7)];
                  ins.text(col(st, 0)).text(col(st, 1)).text("DROP").text(col(st, 2)).text("USERS")
                      .textOrNull(stamp(col(st, 3))).textOrNull(stamp(col(st, 4))).num(sqlite3_column_int64(st, 5))
                      .null().text(table ? "YES" : "NO").text("YES");
                  ins.num(base).num(base).num(sqlite3_column_int64(st, 6));
                  ins.num(8).row();
                },
                {}, true);
}

} // namespace ora::dict
