// The optimizer statistics views: USER_TAB_STATISTICS, USER_TAB_COL_STATISTICS, and the
// statistics columns of USER_TAB_COLUMNS.
#include "DictionaryImpl.h"

#include <sqlite3.h>

namespace ora::dict {

std::map<std::pair<std::string, std::string>, ColumnStats> columnStatistics(sqlite3* db) {
  std::map<std::pair<std::string, std::string>, ColumnStats> out;
  // a schema file no session of this version opened has none
  eachRow(db, "SELECT TABLE_NAME, COLUMN_NAME, NUM_DISTINCT, NUM_NULLS, LOW_VALUE, HIGH_VALUE, SAMPLE_SIZE, ANALYZED"
              " FROM \"TESSEL$COL_STATS\"",
          [&](sqlite3_stmt* st) {
            ColumnStats s;
            s.distinct = sqlite3_column_int64(st, 2);
            s.nulls = sqlite3_column_int64(st, 3);
            s.low = col(st, 4);
            s.high = col(st, 5);
            s.sample = sqlite3_column_int64(st, 6);
            s.analyzed = col(st, 7);
            out[{col(st, 0), col(st, 1)}] = s;
          }, {}, true);
  return out;
}

void addColumnStatistics(Inserter& ins, const ColumnStats& s) {
  ins.num(s.distinct);
  if (s.low.empty()) ins.null().null(); else ins.dumped(s.low).dumped(s.high);
  // no histogram: one bucket, and every value as likely as another
  if (s.distinct) ins.real(1.0 / static_cast<double>(s.distinct)); else ins.num(0);
  ins.num(s.nulls).num(s.distinct ? 1 : 0).text(s.analyzed).num(s.sample);
}

void fillTableStatistics(const Source& src, Inserter& ins) {
  std::map<std::string, std::string> analyzed;
  eachRow(src.db, "SELECT TABLE_NAME, ANALYZED FROM \"TESSEL$ANALYZED\"",
          [&](sqlite3_stmt* st) { analyzed[col(st, 0)] = col(st, 1); }, {}, true);
  std::map<std::string, int64_t> counted = analyzedRowCounts(src.db);
  for (const auto& t : tablesOf(src.db, "table")) {
    ins.text(t).null().null().text("TABLE");
    auto c = counted.find(t);
    auto when = analyzed.find(t);
    bool known = c != counted.end() && when != analyzed.end();
    if (known) ins.num(c->second); else ins.null();
    for (int i = 0; i < 5; ++i) ins.null();
    if (known) ins.num(c->second).text(when->second); else ins.null().null();
    ins.text(known ? "YES" : "NO").text("NO").null();
    if (known) ins.text("NO"); else ins.null();
    ins.row();
  }
}

void fillColumnStatistics(const Source& src, Inserter& ins) {
  std::vector<std::pair<std::string, std::string>> order; // by table, in column order
  for (const auto& t : tablesOf(src.db, "table"))
    eachRow(src.db, "SELECT name FROM pragma_table_info(?1) ORDER BY cid",
            [&](sqlite3_stmt* st) { order.emplace_back(t, col(st, 0)); }, t);
  auto stats = columnStatistics(src.db);
  for (auto& key : order) {
    auto s = stats.find(key);
    if (s == stats.end()) continue;
    ins.text(key.first).text(key.second);
    addColumnStatistics(ins, s->second);
    ins.text("YES").text("NO").text("NONE").row();
  }
}

} // namespace ora::dict
