// What CREATE TABLE and ALTER TABLE say of a table's storage and how it is kept (LOGGING,
// CACHE, PARALLEL, ROW MOVEMENT, ORGANIZATION INDEX): nothing the engine's storage needs, but
// USER_TABLES shows it.
#include "DdlImpl.h"
#include "SqlText.h"

namespace ora::tx {

std::vector<std::string> tableOptionRecords(const std::vector<Token>& t, size_t b, size_t e, const std::string& table) {
  std::vector<std::pair<const char*, std::string>> set; // column, value
  for (size_t k = b; k < e && k < t.size(); ++k) {
    if (t[k].kind != Token::Ident || t[k].depth != t[b].depth) continue;
    const std::string& w = t[k].text;
    if (w == "LOGGING" || w == "NOLOGGING") set.emplace_back("LOGGING", w == "LOGGING" ? "1" : "0");
    else if (w == "CACHE" || w == "NOCACHE") set.emplace_back("CACHE", w == "CACHE" ? "1" : "0");
    else if (w == "NOPARALLEL") set.emplace_back("DEGREE", "1");
    else if (w == "PARALLEL") {
      // no degree given: the default the instance chooses
      bool n = k + 1 < e && t[k + 1].kind == Token::Num;
      set.emplace_back("DEGREE", n ? std::to_string(std::atoi(t[k + 1].text.c_str())) : "0");
    } else if ((w == "ENABLE" || w == "DISABLE") && k + 2 < t.size() && is(t[k + 1], "ROW") && is(t[k + 2], "MOVEMENT"))
      set.emplace_back("ROW_MOVEMENT", w == "ENABLE" ? "1" : "0");
    else if (w == "ORGANIZATION" && k + 1 < t.size() && is(t[k + 1], "INDEX"))
      set.emplace_back("IOT", "1");
  }
  std::vector<std::string> out;
  if (set.empty()) return out;
  const std::string q = quoteString(table);
  out.push_back("INSERT OR IGNORE INTO \"TESSEL$TABLE_OPTS\" (TABLE_NAME) VALUES (" + q + ")");
  for (auto& [column, value] : set)
    out.push_back(std::string("UPDATE \"TESSEL$TABLE_OPTS\" SET ") + column + " = " + value + " WHERE TABLE_NAME = " + q);
  return out;
}

} // namespace ora::tx
