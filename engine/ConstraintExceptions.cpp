// ALTER TABLE ... ENABLE ... EXCEPTIONS INTO table: when the rows break the constraint being
// enabled, the ROWIDs of those rows go into the table (owner, table and constraint with them).
#include "DdlImpl.h"
#include "Dictionary.h"
#include "DictionaryImpl.h"
#include "OraError.h"
#include "Session.h"
#include "TranslateImpl.h"

#include <sqlite3.h>

namespace ora::tx {

bool Translator::enableExceptions(const std::string& table, size_t i) {
  if (!is(at(i), "ENABLE")) return false;
  size_t x = i + 1;
  while (x < size() && !(is(t_[x], "EXCEPTIONS") && is(at(x + 1), "INTO"))) ++x;
  if (x >= size()) return false;
  std::string into;
  size_t end = objectName(x + 2, into);
  if (end < size()) unexpected(end);
  if (!cat_.tableExists(into) || cat_.viewExists(into)) throw OraError(942).at(static_cast<int>(at(x + 2).pos));
  std::string rest = source(0, x);
  size_t w = i + 1;
  if (is(at(w), "VALIDATE")) ++w;
  std::string cname;
  if (is(at(w), "CONSTRAINT")) cname = at(w + 1).text;
  else if (is(at(w), "PRIMARY"))
    for (auto& c : recordedConstraints(cat_.db(), table))
      if (c.type == "P") cname = c.name;
  // what the disabled constraint says, and the column it was written on
  std::string def, column;
  dict::eachRow(cat_.db(),
                "SELECT DEFINITION, COLUMN_NAME FROM \"TESSEL$DISABLED\" WHERE NAME = " + quoteString(cname) +
                    " AND TABLE_NAME = " + quoteString(table),
                [&](sqlite3_stmt* st) {
                  def = dict::col(st, 0);
                  column = dict::col(st, 1);
                });
  std::string bad; // the rows that break it, as an Oracle condition on the table's alias A
  auto dt = tokenize(def);
  for (size_t k = 0; k < dt.size() && bad.empty(); ++k) {
    if (is(dt[k], "CHECK") && k + 1 < dt.size() && is(dt[k + 1], "(")) {
      // the condition as it was written; a row breaks it when it is false, not unknown
      size_t mark = def.find("/*ORA:", dt[k + 1].pos);
      std::string written = mark == std::string::npos ? std::string() : ora::writtenDefault(def.substr(mark));
      if (written.empty()) return false;
      bad = "NOT (" + written + ")";
    } else if ((is(dt[k], "PRIMARY") && k + 1 < dt.size() && is(dt[k + 1], "KEY")) || is(dt[k], "UNIQUE")) {
      size_t open = is(dt[k], "UNIQUE") ? k + 1 : k + 2;
      std::vector<std::string> cols =
          open < dt.size() && is(dt[open], "(") ? nameList(dt, open, dt.size()) : std::vector<std::string>{column};
      std::string same, null;
      for (auto& c : cols) {
        same += " AND B." + quoteIdent(c) + " = A." + quoteIdent(c);
        null += (null.empty() ? "" : " OR ") + std::string("A.") + quoteIdent(c) + " IS NULL";
      }
      bad = "EXISTS (SELECT 1 FROM " + quoteIdent(table) + " B WHERE B.ROWID <> A.ROWID" + same + ")";
      if (is(dt[k], "PRIMARY")) bad += " OR " + null;
    }
  }
  if (bad.empty()) return false; // foreign keys: enabled as the statement says, no rows listed
  std::string list = "INSERT INTO " + quoteIdent(into) + " SELECT A.ROWID, " + quoteString(cat_.user()) + ", " +
                     quoteString(table) + ", " + quoteString(cname) + " FROM " + quoteIdent(table) + " A WHERE " + bad;
  tr_.actions.push_back([rest, list](Session& s) {
    try {
      Catalog cat(s.db, s.user, &s);
      s.runDdl(translate(rest, cat, false, false));
    } catch (const OraError& e) {
      if (e.code == 2293 || e.code == 2437 || e.code == 2299 || e.code == 1452) {
        s.execOracle(list);
        s.commit();
      }
      throw;
    }
  });
  return true;
}

} // namespace ora::tx
