// USER_INDEXES, USER_IND_COLUMNS and USER_IND_EXPRESSIONS: SQLite's b-trees under the names and
// with the options the index's DDL gave them.
#include "DictionaryImpl.h"

#include "OraValues.h"
#include "SqlText.h"
#include "SqlTranslate.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <sqlite3.h>

namespace ora {

using namespace dict;

std::vector<IndexInfo> allIndexes(sqlite3* db) {
  std::vector<IndexInfo> out;
  for (const auto& table : tablesOf(db, "table")) {
    auto cons = recordedConstraints(db, table);
    int unnamed = 0;
    std::vector<IndexInfo> here;
    eachRow(db, "SELECT name, \"unique\", origin FROM pragma_index_list(?1) ORDER BY seq DESC",
            [&](sqlite3_stmt* st) {
              IndexInfo ix;
              ix.name = col(st, 0);
              ix.btree = ix.name;
              ix.table = table;
              ix.unique = sqlite3_column_int(st, 1) != 0;
              here.push_back(ix);
            }, table);
    for (auto& ix : here) {
      eachRow(db, "SELECT name, \"desc\" FROM pragma_index_xinfo(?1) WHERE key = 1 ORDER BY seqno",
              [&](sqlite3_stmt* st) {
                ix.columns.push_back(col(st, 0));
                ix.descending.push_back(sqlite3_column_int(st, 1) != 0);
              }, ix.name);
      if (ix.name.rfind("sqlite_autoindex_", 0) == 0) {
        std::string named;
        for (auto& c : cons)
          if (c.columns == ix.columns) named = c.name;
        if (named.empty()) {
          char buf[32];
          std::snprintf(buf, sizeof buf, "SYS_C%06d", static_cast<int>(out.size()) * 10 + ++unnamed);
          named = buf;
        }
        ix.name = named;
      }
      out.push_back(ix);
    }
  }
  return out;
}

namespace dict {

namespace {

// What an index's DDL said of it beyond its keys.
struct IndexOptions {
  bool bitmap = false, reverse = false, invisible = false;
  int64_t prefix = -1;
  std::vector<std::string> keys, hidden; // per key: Oracle's expression text and hidden column number
};

std::map<std::string, IndexOptions> indexOptions(sqlite3* db) {
  std::map<std::string, IndexOptions> out;
  // a schema file no session of this version opened has none
  eachRow(db, "SELECT NAME, BITMAP, REVERSE, PREFIX, INVISIBLE, KEYS, HIDDEN FROM \"TESSEL$INDEX_OPTS\"",
          [&](sqlite3_stmt* st) {
            IndexOptions o;
            o.bitmap = sqlite3_column_int(st, 1) != 0;
            o.reverse = sqlite3_column_int(st, 2) != 0;
            if (sqlite3_column_type(st, 3) != SQLITE_NULL) o.prefix = sqlite3_column_int64(st, 3);
            o.invisible = sqlite3_column_int(st, 4) != 0;
            if (sqlite3_column_type(st, 5) != SQLITE_NULL) {
              o.keys = splitTabs(col(st, 5));
              o.hidden = splitTabs(col(st, 6));
            }
            out[col(st, 0)] = o;
          }, {}, true);
  return out;
}

// The expression of the key at i, or empty when the key is a plain column.
std::string keyExpression(const IndexInfo& ix, const IndexOptions* o, size_t i) {
  if (o && i < o->keys.size()) return o->keys[i];
  return ix.columns[i].empty() ? "?" : std::string();
}

bool functionBased(const IndexInfo& ix, const IndexOptions* o) {
  for (size_t i = 0; i < ix.columns.size(); ++i)
    if (!keyExpression(ix, o, i).empty()) return true;
  return false;
}

const IndexOptions* find(const std::map<std::string, IndexOptions>& all, const std::string& name) {
  auto it = all.find(name);
  return it == all.end() ? nullptr : &it->second;
}

} // namespace

void fillIndexes(const Source& src, Inserter& ins) {
  std::set<std::string> unusable;
  eachRow(src.db, "SELECT NAME FROM \"TESSEL$UNUSABLE\"", [&](sqlite3_stmt* st) { unusable.insert(col(st, 0)); }, {}, true);
  std::map<std::string, std::string> temporary;
  eachRow(src.db, "SELECT TABLE_NAME, DURATION FROM \"TESSEL$TEMPORARY\"",
          [&](sqlite3_stmt* st) { temporary[col(st, 0)] = col(st, 1); }, {}, true);
  struct Stats {
    int64_t rows, keys, leaves, levels;
    std::string when;
  };
  std::map<std::string, Stats> stats;
  eachRow(src.db, "SELECT NAME, NUM_ROWS, DISTINCT_KEYS, LEAF_BLOCKS, BLEVEL, ANALYZED FROM \"TESSEL$INDEX_STATS\"",
          [&](sqlite3_stmt* st) {
            stats[col(st, 0)] = {sqlite3_column_int64(st, 1), sqlite3_column_int64(st, 2),
                                 sqlite3_column_int64(st, 3), sqlite3_column_int64(st, 4), col(st, 5)};
          }, {}, true);
  // an index-organized table's rows are its primary key's index
  std::set<std::string> organized;
  eachRow(src.db, "SELECT c.NAME FROM \"TESSEL$TABLE_OPTS\" o JOIN \"TESSEL$CONSTRAINTS\" c ON c.TABLE_NAME = o.TABLE_NAME"
                  " WHERE o.IOT = 1 AND c.TYPE = 'P'",
          [&](sqlite3_stmt* st) { organized.insert(col(st, 0)); }, {}, true);
  const auto options = indexOptions(src.db);
  for (auto& ix : allIndexes(src.db)) {
    const IndexOptions* o = find(options, ix.name);
    std::string type = o && o->bitmap ? "BITMAP" : "NORMAL";
    if (o && o->reverse) type += "/REV";
    if (functionBased(ix, o)) type = "FUNCTION-BASED " + type;
    if (organized.count(ix.name)) type = "IOT - TOP";
    bool compressed = o && o->prefix > 0;
    ins.text(ix.name).text(type).text(src.owner).text(ix.table).text("TABLE").text(ix.unique ? "UNIQUE" : "NONUNIQUE")
        .text(compressed ? "ENABLED" : "DISABLED");
    if (compressed) ins.num(o->prefix); else ins.null();
    ins.text("USERS").num(2).num(255).num(65536).num(1048576).num(1).num(2147483645).null().null().null().null().null()
        .num(10).text("YES");
    auto s = stats.find(ix.name);
    if (s != stats.end()) {
      const Stats& v = s->second;
      int64_t perKey = v.keys ? std::max<int64_t>(1, v.leaves / v.keys) : 0;
      ins.num(v.levels).num(v.leaves).num(v.keys).num(perKey).num(v.keys ? 1 : 0).null();
    } else {
      for (int i = 0; i < 6; ++i) ins.null();
    }
    ins.text(unusable.count(ix.name) ? "UNUSABLE" : "VALID");
    if (s != stats.end()) ins.num(s->second.rows).num(s->second.rows).text(s->second.when); else ins.null().null().null();
    auto temp = temporary.find(ix.table);
    ins.text("1").text("1").text("NO").text(temp != temporary.end() ? "Y" : "N")
        .text(ix.name.rfind("SYS_", 0) == 0 ? "Y" : "N").text("N").text("DEFAULT").text("NO");
    if (temp != temporary.end()) ins.text(temp->second); else ins.null();
    ins.text(s != stats.end() ? "YES" : "NO");
    bool expression = false;
    for (size_t i = 0; i < ix.columns.size(); ++i) expression = expression || ix.columns[i].empty();
    if (expression) ins.text("ENABLED"); else ins.null();
    ins.text("NO").text("NO").text(o && o->invisible ? "INVISIBLE" : "VISIBLE").row();
  }  // a cluster's index is on the cluster, not on a table
  eachRow(src.db, "SELECT INDEX_NAME, NAME FROM \"TESSEL$CLUSTERS\" WHERE INDEX_NAME IS NOT NULL ORDER BY 1",
          [&](sqlite3_stmt* st) {
            ins.text(col(st, 0)).text("CLUSTER").text(src.owner).text(col(st, 1)).text("CLUSTER").text("NONUNIQUE")
                .text("DISABLED").null().text("USERS").num(2).num(255).num(65536).num(1048576).num(1).num(2147483645)
                .null().null().null().null().null().num(10).text("YES");
            for (int i = 0; i < 6; ++i) ins.null();
            ins.text("VALID").null().null().null().text("1").text("1").text("NO").text("N").text("N").text("N")
                .text("DEFAULT").text("NO").null().text("NO").null().text("NO").text("NO").text("VISIBLE").row();
          }, {}, true);
}

void fillIndexColumns(const Source& src, Inserter& ins) {
  const auto options = indexOptions(src.db);
  for (auto& ix : allIndexes(src.db)) {
    const IndexOptions* o = find(options, ix.name);
    std::map<std::string, ColType> types;
    int columnCount = 0;
    eachRow(src.db, "SELECT name, type FROM pragma_table_info(?1)",
            [&](sqlite3_stmt* st) { types[col(st, 0)] = parseDeclType(col(st, 1)); ++columnCount; },
            ix.table);
    int pos = 0, hidden = columnCount;
    for (size_t i = 0; i < ix.columns.size(); ++i) {
      std::string c = ix.columns[i], expression = keyExpression(ix, o, i);
      ColType t = types[c];
      if (!expression.empty()) {
        // an expression is a hidden column of the table, named by its number
        int number = o && i < o->hidden.size() ? std::atoi(o->hidden[i].c_str()) : ++hidden;
        char buf[32];
        std::snprintf(buf, sizeof buf, "SYS_NC%05d$", number);
        c = buf;
        // a function that keeps its argument's type: the column's length; otherwise a number
        t = ColType{};
        t.code = kNumber;
        std::string inner = expression;
        for (const char* f : {"UPPER(", "LOWER(", "INITCAP(", "TRIM(", "LTRIM(", "RTRIM(", "NLS_UPPER(", "NLS_LOWER("})
          if (inner.rfind(f, 0) == 0) inner = inner.substr(std::strlen(f));
        for (auto& [name, type] : types)
          if (inner.rfind("\"" + name + "\"", 0) == 0 && (inner.size() == name.size() + 2 || inner[name.size() + 2] == ')' ||
                                                         inner[name.size() + 2] == ','))
            t = type;
      }
      ins.text(ix.name).text(ix.table).text(c).num(++pos).num(dataLength(t));
      if (t.code == kVarchar2 || t.code == kChar) ins.num(t.chars > 0 ? t.chars : t.size); else ins.num(0);
      ins.text(ix.descending[i] ? "DESC" : "ASC").row();
    }
  }
}

void fillClusters(const Source& src, Inserter& ins) {
  eachRow(src.db, "SELECT NAME, TYPE, KEY_SIZE, HASHKEYS, FUNCTION, SINGLE_TABLE FROM \"TESSEL$CLUSTERS\" ORDER BY NAME",
          [&](sqlite3_stmt* st) {
            ins.text(col(st, 0)).text("USERS").num(10).num(40);
            if (sqlite3_column_type(st, 2) == SQLITE_NULL) ins.null(); else ins.num(sqlite3_column_int64(st, 2));
            ins.num(2).num(255).num(65536).num(1048576).num(1).num(2147483645).null().null().null().null()
                .text(col(st, 1)).textOrNull(col(st, 4)).num(sqlite3_column_int64(st, 3)).text("         1")
                .text("         1").text("    N").text("DEFAULT").text(col(st, 5)).text("DISABLED").row();
          }, {}, true);
}

void fillClusterColumns(const Source& src, Inserter& ins) {
  std::map<std::string, std::vector<std::string>> keys;
  eachRow(src.db, "SELECT NAME, COLS FROM \"TESSEL$CLUSTERS\"",
          [&](sqlite3_stmt* st) { keys[col(st, 0)] = splitTabs(col(st, 1)); }, {}, true);
  eachRow(src.db, "SELECT CLUSTER_NAME, TABLE_NAME, COLS FROM \"TESSEL$CLUSTER_TABLES\" ORDER BY 1, 2",
          [&](sqlite3_stmt* st) {
            auto& key = keys[col(st, 0)];
            auto cols = splitTabs(col(st, 2));
            for (size_t i = 0; i < key.size() && i < cols.size(); ++i)
              ins.text(col(st, 0)).text(key[i]).text(col(st, 1)).text(cols[i]).row();
          }, {}, true);
}

void fillIndexExpressions(const Source& src, Inserter& ins) {
  const auto options = indexOptions(src.db);
  for (auto& ix : allIndexes(src.db)) {
    const IndexOptions* o = find(options, ix.name);
    if (!o) continue; // no text kept of an expression indexed before the engine kept it
    for (size_t i = 0; i < ix.columns.size() && i < o->keys.size(); ++i)
      if (!o->keys[i].empty()) ins.text(ix.name).text(ix.table).text(o->keys[i]).num(static_cast<int64_t>(i) + 1).row();
  }
}

} // namespace dict
} // namespace ora
