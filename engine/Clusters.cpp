// Clusters: CREATE CLUSTER (index and hash clusters), CREATE INDEX ... ON CLUSTER, CREATE TABLE
// ... CLUSTER c (columns), DROP CLUSTER. The engine stores rows its own way, so a clustered table
// is an ordinary table; the cluster, its index and its tables are recorded for the dictionary.
#include "Clusters.h"

#include "OraError.h"
#include "Session.h"
#include "SqlText.h"
#include "SqlTokens.h"
#include "SqlTranslate.h"

#include <sqlite3.h>

namespace ora {

namespace {

using sql::Tok;
using sql::TokenList;

std::string nameOf(const sql::Token& t) {
  if (t.kind == Tok::QIdent) return t.text;
  std::string s = t.text;
  for (auto& c : s) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  return s;
}

bool number(const TokenList& l, size_t i) { return i < l.t.size() && l.t[i].kind == Tok::Num; }

int posOf(const TokenList& l, size_t i) {
  if (l.t.empty()) return 0;
  return static_cast<int>(l.t[std::min(i, l.t.size() - 1)].pos);
}

// Index of the first token after the statement's last one.
size_t endOf(const TokenList& l) {
  size_t end = l.t.size();
  while (end > 0 && l.t[end - 1].kind == Tok::End) --end;
  return end;
}

int64_t single(sqlite3* db, const std::string& sql, const std::string& arg) {
  sqlite3_stmt* st = nullptr;
  int64_t v = -1;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK) {
    sqlite3_bind_text(st, 1, arg.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(st) == SQLITE_ROW) v = sqlite3_column_int64(st, 0);
  }
  sqlite3_finalize(st);
  return v;
}

std::string text(sqlite3* db, const std::string& sql, const std::string& arg) {
  sqlite3_stmt* st = nullptr;
  std::string v;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK) {
    sqlite3_bind_text(st, 1, arg.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(st) == SQLITE_ROW && sqlite3_column_text(st, 0))
      v = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
  }
  sqlite3_finalize(st);
  return v;
}

bool clusterExists(sqlite3* db, const std::string& name) {
  return single(db, "SELECT 1 FROM \"TESSEL$CLUSTERS\" WHERE NAME = ?1", name) == 1;
}

// The type code of a cluster key column's type as written; 0 when not one of the common kinds.
int kindOf(const std::string& written) {
  std::string w;
  for (char c : written) {
    if (c == '(' || c == ' ') break;
    w += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  }
  if (w == "NUMBER" || w == "INTEGER" || w == "INT" || w == "SMALLINT" || w == "DECIMAL" || w == "NUMERIC") return kNumber;
  if (w == "VARCHAR2" || w == "VARCHAR") return kVarchar2;
  if (w == "CHAR") return kChar;
  if (w == "DATE") return kDate;
  return 0;
}

// Oracle makes the number of hash keys a prime.
int64_t primeAtLeast(int64_t n) {
  auto prime = [](int64_t v) {
    if (v < 2) return false;
    for (int64_t d = 2; d * d <= v; ++d)
      if (v % d == 0) return false;
    return true;
  };
  while (!prime(n)) ++n;
  return n;
}

Translation ddl(const char* verb, int function) {
  Translation t;
  t.kind = StmtKind::Ddl;
  t.verb = verb;
  t.function = function;
  return t;
}

// Storage words a cluster and its index take and the engine has no use for; the index after them.
size_t skipStorage(const TokenList& l, size_t i, size_t end) {
  for (;;) {
    if (i >= end || l.t[i].kind != Tok::Ident) return i;
    const std::string& w = l.t[i].text;
    if (w == "STORAGE" && l.op(i + 1, "(")) {
      i = l.close(i + 1) + 1;
    } else if (w == "TABLESPACE" && l.name(i + 1)) {
      i += 2;
    } else if ((w == "PCTFREE" || w == "PCTUSED" || w == "INITRANS" || w == "MAXTRANS") && number(l, i + 1)) {
      i += 2;
    } else if (w == "PARALLEL") {
      i += number(l, i + 1) ? 2 : 1;
    } else if (w == "LOGGING" || w == "NOLOGGING" || w == "CACHE" || w == "NOCACHE" || w == "NOPARALLEL" ||
               w == "ROWDEPENDENCIES" || w == "NOROWDEPENDENCIES" || w == "ONLINE" || w == "NOSORT" ||
               w == "SORT" || w == "VISIBLE" || w == "INVISIBLE") {
      ++i;
    } else {
      return i;
    }
  }
}

// CREATE CLUSTER name (column type [, ...]) [SIZE n] [INDEX | [SINGLE TABLE] HASHKEYS n [HASH IS expr]]
void createCluster(const TokenList& l, Catalog& cat, Translation& out) {
  const size_t end = endOf(l);
  if (!l.name(2)) throw OraError(941).at(posOf(l, 2));
  const std::string name = nameOf(l.t[2]);
  if (!cat.objectType(name).empty() || cat.indexExists(name)) throw OraError(955).at(posOf(l, 2));
  if (!l.op(3, "(")) throw OraError(906).at(posOf(l, 3));
  const size_t close = l.close(3);
  std::string cols, types;
  for (size_t k = 4; k < close;) {
    if (!l.name(k)) throw OraError(904).at(posOf(l, k));
    size_t e = k + 1;
    while (e < close && !l.op(e, ",")) e = l.op(e, "(") ? l.close(e) + 1 : e + 1;
    if (e == k + 1) throw OraError(902).at(posOf(l, e));
    cols += (cols.empty() ? "" : "\t") + nameOf(l.t[k]);
    std::string type = l.slice(k + 1, e);
    for (auto& c : type)
      if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    types += (types.empty() ? "" : "\t") + type;
    k = e + 1;
  }
  if (cols.empty()) throw OraError(904).at(posOf(l, close));
  std::string type = "INDEX", function;
  int64_t size = -1, hashkeys = 0;
  bool single = false;
  for (size_t i = skipStorage(l, close + 1, end); i < end; i = skipStorage(l, i, end)) {
    // figures past what a cluster can have are no valid option
    auto figure = [&](size_t k) {
      int64_t v = std::atoll(l.t[k].text.c_str());
      if (v < 1 || v > 4294967295LL || l.t[k].text.find_first_not_of("0123456789") != std::string::npos)
        throw OraError(922).at(posOf(l, k));
      return v;
    };
    if (l.word(i, "SIZE") && number(l, i + 1)) {
      size = figure(i + 1);
      i += 2;
      if (l.word(i, "K")) size *= 1024, ++i;
      else if (l.word(i, "M")) size *= 1024 * 1024, ++i;
    } else if (l.word(i, "INDEX")) {
      ++i;
    } else if (l.word(i, "SINGLE") && l.word(i + 1, "TABLE")) {
      single = true;
      i += 2;
    } else if (l.word(i, "HASHKEYS") && number(l, i + 1)) {
      type = "HASH";
      hashkeys = primeAtLeast(figure(i + 1));
      if (function.empty()) function = "DEFAULT2";
      i += 2;
    } else if (l.word(i, "HASH") && l.word(i + 1, "IS")) {
      i += 2;
      bool column = l.name(i) && !l.op(i + 1, "(");
      function = column ? "COLUMN" : "HASH EXPRESSION";
      // the expression: a name and what it calls, or one term joined by operators
      while (i < end && !(l.t[i].kind == Tok::Ident && (l.t[i].text == "SIZE" || l.t[i].text == "HASHKEYS" ||
                                                         l.t[i].text == "SINGLE" || skipStorage(l, i, end) != i))) {
        if (l.op(i, "(")) i = l.close(i);
        ++i;
      }
    } else {
      throw OraError(922).at(posOf(l, i));
    }
  }
  if (single && type != "HASH") throw OraError(922).at(posOf(l, close + 1));
  out = ddl("CREATE", 18);
  out.ddl.push_back("INSERT INTO \"TESSEL$CLUSTERS\" (NAME, TYPE, KEY_SIZE, HASHKEYS, FUNCTION, SINGLE_TABLE, COLS, TYPES)"
                    " VALUES (" + quoteString(name) + ", " + quoteString(type) + ", " +
                    (size < 0 ? std::string("NULL") : std::to_string(size)) + ", " + std::to_string(hashkeys) + ", " +
                    (function.empty() ? std::string("NULL") : quoteString(function)) + ", " + (single ? "'Y'" : "'N'") +
                    ", " + quoteString(cols) + ", " + quoteString(types) + ")");
  out.ddl.push_back("INSERT OR IGNORE INTO \"TESSEL$OBJECTS\" (NAME, TYPE, CREATED) VALUES (" + quoteString(name) +
                    ", 'CLUSTER', ora_sysdate())");
}

// CREATE INDEX name ON CLUSTER c [storage]: the cluster's rows are found by key all the same.
void createClusterIndex(const TokenList& l, size_t i, Catalog& cat, Translation& out) {
  const size_t end = endOf(l);
  if (!l.name(i)) throw OraError(953).at(posOf(l, i));
  const std::string name = nameOf(l.t[i]);
  if (!cat.objectType(name).empty() || cat.indexExists(name) || cat.keyIndexExists(name))
    throw OraError(955).at(posOf(l, i));
  if (!l.name(i + 3)) throw OraError(941).at(posOf(l, i + 3));
  const std::string cluster = nameOf(l.t[i + 3]);
  if (!clusterExists(cat.db(), cluster)) throw OraError(943).at(posOf(l, i + 3));
  if (!text(cat.db(), "SELECT INDEX_NAME FROM \"TESSEL$CLUSTERS\" WHERE NAME = ?1", cluster).empty())
    throw OraError(2033);
  size_t after = skipStorage(l, i + 4, end);
  if (after < end) throw OraError(922).at(posOf(l, after));
  out = ddl("CREATE", 20);
  out.ddl.push_back("UPDATE \"TESSEL$CLUSTERS\" SET INDEX_NAME = " + quoteString(name) + " WHERE NAME = " +
                    quoteString(cluster));
  out.ddl.push_back("INSERT OR IGNORE INTO \"TESSEL$OBJECTS\" (NAME, TYPE, CREATED) VALUES (" + quoteString(name) +
                    ", 'INDEX', ora_sysdate())");
}

// CREATE TABLE ... CLUSTER c (columns): the table made without the clause, then recorded as the
// cluster's.
void createClusteredTable(const TokenList& l, size_t at, Catalog& cat, bool deferDdlErrors, Translation& out) {
  if (!l.name(at + 1)) throw OraError(941).at(posOf(l, at + 1));
  const std::string cluster = nameOf(l.t[at + 1]);
  if (!l.op(at + 2, "(")) throw OraError(906).at(posOf(l, at + 2));
  const size_t close = l.close(at + 2);
  if (!clusterExists(cat.db(), cluster)) throw OraError(943).at(posOf(l, at + 1));
  std::vector<std::string> cols;
  for (size_t k = at + 3; k < close; ++k) {
    if (l.op(k, ",")) continue;
    if (!l.name(k)) throw OraError(904).at(posOf(l, k));
    cols.push_back(nameOf(l.t[k]));
  }
  size_t b = 2;
  while (l.word(b, "GLOBAL") || l.word(b, "TEMPORARY") || l.word(b, "TABLE")) ++b;
  if (!l.name(b)) return;
  const std::string table = nameOf(l.t[b]);
  // the clause blanked out keeps every other token where it was written
  std::string plain = l.text;
  for (size_t k = l.t[at].pos; k < l.t[close].end; ++k)
    if (plain[k] != '\n') plain[k] = ' ';
  out = translate(plain, cat, false, deferDdlErrors);
  out.unshared = true;
  if (out.kind != StmtKind::Ddl) return;
  std::string joined;
  for (auto& c : cols) joined += (joined.empty() ? "" : "\t") + c;
  out.ddl.push_back("INSERT OR REPLACE INTO \"TESSEL$CLUSTER_TABLES\" (TABLE_NAME, CLUSTER_NAME, COLS) VALUES (" +
                    quoteString(table) + ", " + quoteString(cluster) + ", " + quoteString(joined) + ")");
  // each key column is one of the table's
  std::vector<std::string> keyTypes;
  {
    std::string written = text(cat.db(), "SELECT TYPES FROM \"TESSEL$CLUSTERS\" WHERE NAME = ?1", cluster);
    for (size_t b = 0;;) {
      size_t e = written.find('\t', b);
      keyTypes.push_back(written.substr(b, e == std::string::npos ? e : e - b));
      if (e == std::string::npos) break;
      b = e + 1;
    }
  }
  if (keyTypes.size() != cols.size()) throw OraError(1753).at(posOf(l, at + 2));
  // each key column is one of the table's, of the kind of the cluster's column
  out.beforeCommit.push_back([table, cols, keyTypes](Session& s) {
    for (size_t k = 0; k < cols.size(); ++k) {
      const std::string decl = text(s.db, "SELECT type FROM pragma_table_info(" + quoteString(table) + ") WHERE name = ?1",
                                    cols[k]);
      if (single(s.db, "SELECT 1 FROM pragma_table_info(" + quoteString(table) + ") WHERE name = ?1", cols[k]) != 1)
        throw OraError(904, "\"" + cols[k] + "\"");
      if (kindOf(keyTypes[k]) != 0 && kindOf(keyTypes[k]) != parseDeclType(decl).code) throw OraError(1753);
    }
  });
}

// DROP CLUSTER c [INCLUDING TABLES [CASCADE CONSTRAINTS]]
void dropCluster(const TokenList& l, Catalog& cat, Translation& out) {
  const size_t end = endOf(l);
  if (!l.name(2)) throw OraError(941).at(posOf(l, 2));
  const std::string name = nameOf(l.t[2]);
  size_t i = 3;
  bool including = false, cascade = false;
  if (l.word(i, "INCLUDING")) {
    if (!l.word(i + 1, "TABLES")) throw OraError(933).at(posOf(l, i + 1));
    including = true;
    i += 2;
    if (l.word(i, "CASCADE")) {
      if (!l.word(i + 1, "CONSTRAINTS")) throw OraError(933).at(posOf(l, i + 1));
      cascade = true;
      i += 2;
    }
  }
  if (i < end) throw OraError(933).at(posOf(l, i));
  if (!clusterExists(cat.db(), name)) throw OraError(943).at(posOf(l, 2));
  std::vector<std::string> tables;
  {
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(cat.db(), "SELECT TABLE_NAME FROM \"TESSEL$CLUSTER_TABLES\" WHERE CLUSTER_NAME = ?1 ORDER BY 1", -1,
                       &st, nullptr);
    sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    while (sqlite3_step(st) == SQLITE_ROW) tables.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
  }
  if (!tables.empty() && !including) throw OraError(951);
  out = ddl("DROP", 22);
  Translation records = ddl("DROP", 22);
  const std::string index = text(cat.db(), "SELECT INDEX_NAME FROM \"TESSEL$CLUSTERS\" WHERE NAME = ?1", name);
  if (!index.empty())
    records.ddl.push_back("DELETE FROM \"TESSEL$OBJECTS\" WHERE NAME = " + quoteString(index) + " AND TYPE = 'INDEX'");
  records.ddl.push_back("DELETE FROM \"TESSEL$CLUSTERS\" WHERE NAME = " + quoteString(name));
  records.ddl.push_back("DELETE FROM \"TESSEL$OBJECTS\" WHERE NAME = " + quoteString(name) + " AND TYPE = 'CLUSTER'");
  if (tables.empty()) {
    out = std::move(records);
    return;
  }
  // the tables go for good, not to the recycle bin; a key another table refers to stops them
  // all, before any goes
  for (auto& t : tables)
    translate("DROP TABLE " + quoteIdent(t) + (cascade ? " CASCADE CONSTRAINTS" : "") + " PURGE", cat, false, false);
  out.actions.push_back([tables, cascade, records](Session& s) {
    for (auto& t : tables) {
      Catalog c(s.db, s.user, &s);
      s.runDdl(translate("DROP TABLE " + quoteIdent(t) + (cascade ? " CASCADE CONSTRAINTS" : "") + " PURGE", c, false, false));
    }
    s.runDdl(records);
  });
}

} // namespace

bool clusterStatement(const std::string& text, Catalog& cat, bool deferDdlErrors, Translation& out) {
  if (!startsWithWord(text, "CREATE") && !startsWithWord(text, "DROP")) return false;
  if (!containsWord(text, "CLUSTER")) return false;
  TokenList l(text);
  if (!l.ok || l.t.size() < 3) return false;
  if (l.word(0, "DROP")) {
    if (!l.word(1, "CLUSTER")) return false;
    dropCluster(l, cat, out);
    return true;
  }
  if (l.word(1, "CLUSTER")) {
    createCluster(l, cat, out);
    return true;
  }
  size_t i = 1;
  if (l.word(i, "UNIQUE") || l.word(i, "BITMAP")) ++i;
  if (l.word(i, "INDEX") && l.word(i + 2, "ON") && l.word(i + 3, "CLUSTER")) {
    createClusterIndex(l, i + 1, cat, out);
    return true;
  }
  // CREATE [GLOBAL TEMPORARY] TABLE: the clause after the columns, before any AS query
  size_t b = 1;
  if (l.word(b, "GLOBAL") && l.word(b + 1, "TEMPORARY")) b += 2;
  if (!l.word(b, "TABLE")) return false;
  for (size_t k = b + 1; k < l.t.size(); ++k) {
    if (l.op(k, "(")) {
      k = l.close(k);
      continue;
    }
    if (l.word(k, "AS")) return false;
    if (l.word(k, "CLUSTER")) {
      createClusteredTable(l, k, cat, deferDdlErrors, out);
      return true;
    }
  }
  return false;
}

} // namespace ora
