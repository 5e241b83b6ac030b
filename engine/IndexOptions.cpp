// What CREATE INDEX says of an index besides its keys (BITMAP, REVERSE, COMPRESS n, INVISIBLE,
// the expressions of a function-based index), and the statistics gathered on indexes. The
// engine's b-tree is the same whatever was asked; the dictionary shows what was.
#include "DdlImpl.h"
#include "Dictionary.h"
#include "OraError.h"
#include "Session.h"
#include "SqlText.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <sqlite3.h>

namespace ora::tx {

namespace {

std::vector<std::string> splitTab(const std::string& s) {
  std::vector<std::string> out;
  size_t b = 0;
  for (;;) {
    size_t e = s.find('\t', b);
    out.push_back(s.substr(b, e == std::string::npos ? std::string::npos : e - b));
    if (e == std::string::npos) return out;
    b = e + 1;
  }
}

std::string joinTab(const std::vector<std::string>& v) {
  std::string out;
  for (size_t i = 0; i < v.size(); ++i) out += (i ? "\t" : "") + v[i];
  return out;
}

} // namespace

// Oracle keeps a key expression as it reads it back: the table's columns quoted, the rest in
// upper case, a space only between two words.
std::string keyExpressionText(const std::vector<Token>& t, size_t b, size_t e, const std::vector<ColumnInfo>& cols) {
  std::string out;
  bool lastWord = false;
  for (size_t k = b; k < e; ++k) {
    const Token& x = t[k];
    bool word = x.kind != Token::Op;
    std::string piece = x.raw;
    bool call = k + 1 < e && is(t[k + 1], "(");
    if (x.kind == Token::Ident || x.kind == Token::QIdent) {
      bool column = !call && std::any_of(cols.begin(), cols.end(), [&](const ColumnInfo& c) { return c.name == x.text; });
      piece = column || x.kind == Token::QIdent ? "\"" + x.text + "\"" : x.text;
    }
    if (word && lastWord) out += ' ';
    out += piece;
    lastWord = word;
  }
  return out;
}

// The options and key texts of the index being made, checked as Oracle checks them, and the
// statements that record them. Keys are the top-level items of (open, close).
void Translator::recordIndexOptions(const std::string& index, const std::string& table, bool unique, size_t open,
                                    size_t close) {
  const auto& cols = cat_.columns(table);
  std::vector<std::string> keys; // empty: a plain column in ascending order
  for (size_t b = open + 1; b < close;) {
    size_t e = b;
    while (e < close && !(t_[e].depth == t_[open].depth + 1 && is(t_[e], ","))) ++e;
    size_t last = e;
    bool desc = is(t_[last - 1], "DESC");
    if (desc || is(t_[last - 1], "ASC")) --last;
    bool plain = last == b + 1 && (t_[b].kind == Token::Ident || t_[b].kind == Token::QIdent);
    // a descending key is kept as an expression of its column, as in any function-based index
    keys.push_back(plain && !desc ? std::string() : keyExpressionText(t_, b, last, cols));
    b = e + 1;
  }
  bool bitmap = is(at(1), "BITMAP"), reverse = false, invisible = false;
  int prefix = -1;
  for (size_t k = close + 1; k < size(); ++k) {
    if (t_[k].depth != t_[open].depth) continue;
    if (is(t_[k], "REVERSE")) reverse = true;
    else if (is(t_[k], "NOREVERSE")) reverse = false;
    else if (is(t_[k], "INVISIBLE")) invisible = true;
    else if (is(t_[k], "VISIBLE")) invisible = false;
    else if (is(t_[k], "NOCOMPRESS")) prefix = -1;
    else if (is(t_[k], "COMPRESS")) {
      const int n = static_cast<int>(keys.size()), most = unique ? n - 1 : n;
      if (unique && n == 1) throw OraError(25193).at(static_cast<int>(t_[k].pos));
      prefix = most;
      if (k + 1 < size() && t_[k + 1].kind == Token::Num) {
        prefix = std::atoi(t_[k + 1].text.c_str());
        if (prefix < 1 || prefix > most) throw OraError(25194).at(static_cast<int>(t_[k + 1].pos));
      }
    }
  }
  // each expression is a hidden column of the table, numbered after its columns and the hidden
  // ones before it; an expression already there is used again
  std::map<std::string, int> had;
  int top = static_cast<int>(cols.size());
  {
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(cat_.db(), "SELECT KEYS, HIDDEN FROM \"TESSEL$INDEX_OPTS\" WHERE TABLE_NAME = ?1", -1, &st, nullptr);
    sqlite3_bind_text(st, 1, table.c_str(), -1, SQLITE_TRANSIENT);
    while (sqlite3_step(st) == SQLITE_ROW) {
      auto text = [&](int c) {
        const unsigned char* v = sqlite3_column_text(st, c);
        return v ? std::string(reinterpret_cast<const char*>(v)) : std::string();
      };
      auto k = splitTab(text(0)), h = splitTab(text(1));
      for (size_t j = 0; j < k.size() && j < h.size(); ++j)
        if (!k[j].empty()) {
          int n = std::atoi(h[j].c_str());
          had.emplace(k[j], n);
          top = std::max(top, n);
        }
    }
    sqlite3_finalize(st);
  }
  std::vector<std::string> hidden;
  for (auto& k : keys) {
    if (k.empty()) {
      hidden.emplace_back();
      continue;
    }
    auto h = had.find(k);
    int n = h != had.end() ? h->second : ++top;
    had.emplace(k, n);
    hidden.push_back(std::to_string(n));
  }
  tr_.ddl.push_back("INSERT OR REPLACE INTO \"TESSEL$INDEX_OPTS\" (NAME, TABLE_NAME, BITMAP, REVERSE, PREFIX, INVISIBLE,"
                    " KEYS, HIDDEN) VALUES (" + quoteString(index) + ", " + quoteString(table) + ", " +
                    (bitmap ? "1" : "0") + ", " + (reverse ? "1" : "0") + ", " +
                    (prefix < 0 ? std::string("NULL") : std::to_string(prefix)) + ", " + (invisible ? "1" : "0") + ", " +
                    quoteString(joinTab(keys)) + ", " + quoteString(joinTab(hidden)) + ")");
  // statistics are gathered as the index is built
  tr_.beforeCommit.push_back([table, index](Session& s) { gatherIndexStatistics(s.db, table, index); });
}

// The key expressions of one of SQLite's b-trees, as SQL over its table.
std::vector<std::string> btreeKeys(sqlite3* db, const std::string& btree) {
  std::string sql;
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "SELECT sql FROM sqlite_schema WHERE type = 'index' AND name = ?1", -1, &st, nullptr);
  sqlite3_bind_text(st, 1, btree.c_str(), -1, SQLITE_TRANSIENT);
  if (sqlite3_step(st) == SQLITE_ROW && sqlite3_column_text(st, 0))
    sql = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
  sqlite3_finalize(st);
  // the items of the definition's key list, for the expressions SQLite does not name
  std::vector<std::string> written;
  size_t at = sql.find(" ON ");
  if (at != std::string::npos) {
    at = sql.find('(', at);
    int depth = 0;
    char quote = 0;
    std::string item;
    for (size_t k = at; at != std::string::npos && k < sql.size(); ++k) {
      char c = sql[k];
      if (quote) {
        if (c == quote) quote = 0;
      } else if (c == '\'' || c == '"') {
        quote = c;
      } else if (c == '(') {
        if (depth++ == 0) continue;
      } else if (c == ')') {
        if (--depth == 0) {
          written.push_back(item);
          break;
        }
      } else if (c == ',' && depth == 1) {
        written.push_back(item);
        item.clear();
        continue;
      }
      item += c;
    }
  }
  for (auto& w : written) {
    while (!w.empty() && w.back() == ' ') w.pop_back();
    for (const char* order : {" DESC", " ASC"})
      if (w.size() > 5 && w.compare(w.size() - std::strlen(order), std::string::npos, order) == 0)
        w.erase(w.size() - std::strlen(order));
  }
  std::vector<std::string> keys;
  sqlite3_prepare_v2(db, "SELECT seqno, cid, name FROM pragma_index_xinfo(?1) WHERE key = 1 ORDER BY seqno", -1, &st,
                     nullptr);
  sqlite3_bind_text(st, 1, btree.c_str(), -1, SQLITE_TRANSIENT);
  while (sqlite3_step(st) == SQLITE_ROW) {
    size_t seq = static_cast<size_t>(sqlite3_column_int(st, 0));
    if (sqlite3_column_int(st, 1) >= 0) keys.push_back(quoteIdent(reinterpret_cast<const char*>(sqlite3_column_text(st, 2))));
    else if (seq < written.size()) keys.push_back("(" + written[seq] + ")");
  }
  sqlite3_finalize(st);
  return keys;
}

// Counts an index's entries (rows with a key not wholly null) and distinct keys, as ANALYZE and
// DBMS_STATS record them; `only` limits it to one index of the table.
void gatherIndexStatistics(sqlite3* db, const std::string& table, const std::string& only) {
  for (auto& ix : allIndexes(db)) {
    if (ix.table != table || (!only.empty() && ix.name != only)) continue;
    auto keys = btreeKeys(db, ix.btree);
    if (keys.empty()) continue;
    bool bitmap = false;
    {
      sqlite3_stmt* st = nullptr;
      sqlite3_prepare_v2(db, "SELECT BITMAP FROM \"TESSEL$INDEX_OPTS\" WHERE NAME = ?1", -1, &st, nullptr);
      sqlite3_bind_text(st, 1, ix.name.c_str(), -1, SQLITE_TRANSIENT);
      bitmap = sqlite3_step(st) == SQLITE_ROW && sqlite3_column_int(st, 0) != 0;
      sqlite3_finalize(st);
    }
    std::string list, present;
    for (auto& k : keys) {
      list += (list.empty() ? "" : ", ") + k;
      present += (present.empty() ? "" : " OR ") + k + " IS NOT NULL";
    }
    // a bitmap index keeps nulls too, one entry for each key of a table this small
    const std::string from = " FROM " + quoteIdent(table) + (bitmap ? std::string() : " WHERE " + present);
    // a tree of one page is a root leaf: no branch levels
    std::string sql = "INSERT OR REPLACE INTO \"TESSEL$INDEX_STATS\" (NAME, TABLE_NAME, NUM_ROWS, DISTINCT_KEYS,"
                      " LEAF_BLOCKS, BLEVEL, ANALYZED) SELECT " + quoteString(ix.name) + ", " + quoteString(table) +
                      ", n, d, CASE WHEN n = 0 THEN 0 ELSE (SELECT COUNT(*) FROM dbstat WHERE name = " +
                      quoteString(ix.btree) + " AND pagetype = 'leaf') END, (SELECT (MAX(LENGTH(path)) - 1) / 4 FROM"
                      " dbstat WHERE name = " + quoteString(ix.btree) + "), ora_sysdate() FROM (SELECT (SELECT COUNT(*)" +
                      from + ") AS n, (SELECT COUNT(*) FROM (SELECT DISTINCT " + list + from + ")) AS d)";
    if (bitmap) sql.replace(sql.find(", n, d,"), 7, ", d, d,");
    if (int rc = execOne(db, sql); rc != SQLITE_OK) throw fromSqlite(rc, sqlite3_errmsg(db), "ANALYZE");
  }
}

} // namespace ora::tx
