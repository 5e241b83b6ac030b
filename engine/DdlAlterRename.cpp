// ALTER TABLE ... RENAME: names change in place, around the views SQLite would otherwise rewrite
// or fail on.
#include "DdlPartition.h"
#include "Dictionary.h"
#include "DictionaryImpl.h"
#include "OraError.h"
#include "TableRebuild.h"
#include "TranslateImpl.h"

#include <sqlite3.h>

namespace ora::tx {

using namespace rb;

// SQLite writes the new name into every view that reads the table and fails on a view that does not
// compile (made with FORCE, or over a dropped table). Oracle's views keep the names they were made
// with: each view steps aside for the rename and comes back as it was, with its INSTEAD OF
// triggers, so one that read the old name has errors until a table of that name is there again.
void Translator::renameBesideBrokenViews(const std::string& rename) {
  std::vector<std::string> views, triggers;
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(cat_.db(),
                     "SELECT name, sql FROM main.sqlite_schema WHERE type = 'view' UNION ALL"
                     " SELECT NULL, t.sql FROM main.sqlite_schema t JOIN main.sqlite_schema v ON v.name = t.tbl_name"
                     " WHERE t.type = 'trigger' AND v.type = 'view'",
                     -1, &st, nullptr);
  while (sqlite3_step(st) == SQLITE_ROW) {
    std::string sql = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
    if (sqlite3_column_type(st, 0) == SQLITE_NULL) {
      triggers.push_back(sql);
      continue;
    }
    tr_.ddl.push_back("DROP VIEW main." + quoteIdent(reinterpret_cast<const char*>(sqlite3_column_text(st, 0))));
    views.push_back(sql);
  }
  sqlite3_finalize(st);
  tr_.ddl.push_back(rename);
  for (auto& v : views) tr_.ddl.push_back(v);
  for (auto& t : triggers) tr_.ddl.push_back(t);
}

bool Translator::alterTableRename(const std::string& table, size_t i, std::vector<DefPiece>& pieces,
                                  const std::vector<ColumnInfo>& cols) {
  sqlite3* db = cat_.db();
  std::string qt = quoteIdent(table);
  std::vector<std::string> after;
  auto pieceOf = [&](const std::string& c) -> DefPiece& {
    for (auto& p : pieces)
      if (p.column == c) return p;
    throw OraError(904, "\"" + c + "\"");
  };
  const Token& verb = at(i);
  if (is(verb, "RENAME") && is(at(i + 1), "TO")) {
    std::string to;
    size_t j = objectName(i + 2, to);
    if (j < size()) unexpected(j);
    if (!cat_.objectType(to).empty()) throw OraError(955);
    renameBesideBrokenViews("ALTER TABLE " + qt + " RENAME TO " + quoteIdent(to));
    tr_.ddl.push_back("UPDATE \"TESSEL$OBJECTS\" SET NAME = " + quoteString(to) + " WHERE NAME = " +
                      quoteString(table) + " AND TYPE = 'TABLE'");
    for (auto& s : renamedRecords(cat_, table, to)) tr_.ddl.push_back(s);
    return true;
  }
  if (is(verb, "RENAME") && is(at(i + 1), "CONSTRAINT")) {
    // the name changes where the engine keeps it: the table's definition (a name the engine
    // gave is written in), its records, or the disabled constraint's own definition
    std::string from = at(i + 2).text;
    expect(i + 3, "TO", 905);
    std::string to = at(i + 4).text;
    if (i + 5 < size()) unexpected(i + 5);
    checkName(to, charset());
    bool known = disabledConstraint(db, table, from);
    for (auto& c : dict::tableConstraints(db, table)) known = known || c.name == from;
    if (!known) throw OraError(23292).at(static_cast<int>(at(i + 2).pos));
    if (constraintNameTaken(db, to)) throw OraError(2264).at(static_cast<int>(at(i + 4).pos));
    std::string qfrom = quoteString(from), qto = quoteString(to);
    auto renamed = [&](const std::string& text) {
      auto pt = tokenize(text);
      std::string out;
      size_t copied = 0;
      for (size_t m = 0; m + 1 < pt.size(); ++m)
        if (is(pt[m], "CONSTRAINT") && pt[m + 1].text == from) {
          out += text.substr(copied, pt[m + 1].pos - copied) + quoteIdent(to);
          copied = pt[m + 1].end;
        }
      return out + text.substr(copied);
    };
    if (disabledConstraint(db, table, from)) {
      dict::eachRow(db, "SELECT DEFINITION FROM \"TESSEL$DISABLED\" WHERE NAME = ?1", [&](sqlite3_stmt* st) {
        after.push_back("UPDATE \"TESSEL$DISABLED\" SET NAME = " + qto + ", DEFINITION = " +
                        quoteString(renamed(dict::col(st, 0))) + " WHERE NAME = " + qfrom);
      }, from);
      after.push_back("UPDATE \"TESSEL$CONSTRAINTS\" SET NAME = " + qto + " WHERE NAME = " + qfrom);
      for (auto& d : after) tr_.ddl.push_back(d);
      return true;
    }
    bool written = false;
    for (auto& p : pieces) {
      std::string again = renamed(p.text);
      written = written || again != p.text;
      p.text = again;
    }
    if (!written) {
      std::string removed, column;
      if (!cutNamedByEngine(db, table, from, false, pieces, removed, column)) throw OraError(23292);
      if (column.empty()) pieces.push_back(DefPiece{"", "CONSTRAINT " + quoteIdent(to) + " " + removed});
      else pieceOf(column).text += " CONSTRAINT " + quoteIdent(to) + " " + removed;
    }
    after.push_back("UPDATE \"TESSEL$CONSTRAINTS\" SET NAME = " + qto + " WHERE NAME = " + qfrom);
    after.push_back("UPDATE \"TESSEL$NOVALIDATED\" SET NAME = " + qto + " WHERE NAME = " + qfrom + " AND TABLE_NAME = " +
                    quoteString(table));
    std::vector<std::string> all;
    for (auto& c : cols) all.push_back(c.name);
    tr_.actions.push_back([table, pieces, all, after](Session& s) { rebuildTable(s, table, pieces, all, after, Added{}); });
    return true;
  }
  if (is(verb, "RENAME") && is(at(i + 1), "COLUMN")) {
    std::string from = at(i + 2).text;
    findColumn(cols, from);
    expect(i + 3, "TO", 905);
    std::string to = at(i + 4).text;
    checkName(to, charset());
    if (i + 5 < size()) unexpected(i + 5);
    for (auto& c : cols)
      if (c.name == to) throw OraError(957).at(static_cast<int>(at(i + 4).pos));
    renameBesideBrokenViews("ALTER TABLE " + qt + " RENAME COLUMN " + quoteIdent(from) + " TO " + quoteIdent(to));
    tr_.ddl.push_back("UPDATE \"TESSEL$CONSTRAINTS\" SET COLS = replace(char(9) || COLS || char(9), char(9) || " +
                      quoteString(from) + " || char(9), char(9) || " + quoteString(to) + " || char(9))"
                      " WHERE TABLE_NAME = " + quoteString(table));
    tr_.ddl.push_back("UPDATE \"TESSEL$CONSTRAINTS\" SET COLS = substr(COLS, 2, length(COLS) - 2)"
                      " WHERE TABLE_NAME = " + quoteString(table) + " AND COLS GLOB char(9) || '*'");
    tr_.ddl.push_back("UPDATE \"TESSEL$COMMENTS\" SET COLUMN_NAME = " + quoteString(to) + " WHERE TABLE_NAME = " +
                      quoteString(table) + " AND COLUMN_NAME = " + quoteString(from));
    tr_.ddl.push_back("UPDATE \"TESSEL$IDENTITY\" SET COLUMN_NAME = " + quoteString(to) + " WHERE TABLE_NAME = " +
                      quoteString(table) + " AND COLUMN_NAME = " + quoteString(from));
    tr_.beforeCommit.push_back([table](Session& s) { remakeTriggersOn(s, table); });
    return true;
  }
  return false;
}

} // namespace ora::tx
