// USER_DOMAINS, USER_DOMAIN_COLS, USER_DOMAIN_CONSTRAINTS and USER_ANNOTATIONS_USAGE, from what
// CREATE DOMAIN and the ANNOTATIONS clauses recorded.
#include "DictionaryImpl.h"

#include <cctype>
#include <sqlite3.h>

namespace ora::dict {

void fillDomainViews(const std::string& base, const Source& src, Inserter& ins) {
  if (base == "DOMAINS")
    eachRow(src.db, "SELECT NAME, DISPLAY_TEXT, ORDER_TEXT FROM \"TESSEL$DOMAINS\" ORDER BY NAME", [&](sqlite3_stmt* st) {
      std::string display = col(st, 1), order = col(st, 2);
      ins.text(src.owner).text(col(st, 0)).num(1).num(0).text("FALSE").textOrNull(display);
      display.empty() ? ins.null() : ins.num(static_cast<int64_t>(display.size()));
      ins.textOrNull(order);
      order.empty() ? ins.null() : ins.num(static_cast<int64_t>(order.size()));
      ins.row();
    }, {}, true);
  else if (base == "DOMAIN_COLS")
    eachRow(src.db, "SELECT NAME, DATA_TYPE, NOT_NULL, DEFAULT_TEXT FROM \"TESSEL$DOMAINS\" ORDER BY NAME", [&](sqlite3_stmt* st) {
      std::string type = col(st, 1);
      type = type.substr(0, type.find('('));
      while (!type.empty() && type.back() == ' ') type.pop_back();
      for (auto& c : type) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      ins.text(src.owner).text(col(st, 0)).text(col(st, 0)).num(1).num(1).text(type);
      ins.text(sqlite3_column_int(st, 2) ? "N" : "Y").textOrNull(col(st, 3)).row();
    }, {}, true);
  else if (base == "DOMAIN_CONSTRAINTS")
    eachRow(src.db, "SELECT NAME, CHECK_NAME, CHECK_TEXT FROM \"TESSEL$DOMAINS\" WHERE CHECK_TEXT IS NOT NULL ORDER BY 2",
            [&](sqlite3_stmt* st) {
              ins.text(src.owner).text(col(st, 1)).text("C").text(col(st, 0)).text(col(st, 2)).text("ENABLED").row();
            }, {}, true);
  else if (base == "ANNOTATIONS_USAGE")
    // only the objects still there: a dropped table or index takes its annotations with it; a
    // column declared with a domain carries the domain's
    eachRow(src.db,
            "SELECT a.OBJECT_NAME, a.OBJECT_TYPE, a.COLUMN_NAME, CASE a.OBJECT_TYPE WHEN 'DOMAIN' THEN a.OBJECT_NAME END,"
            " a.ANNOTATION_NAME, a.ANNOTATION_VALUE"
            " FROM \"TESSEL$ANNOTATIONS\" a WHERE (a.OBJECT_TYPE = 'DOMAIN' AND a.OBJECT_NAME IN"
            " (SELECT NAME FROM \"TESSEL$DOMAINS\")) OR a.OBJECT_NAME IN (SELECT name FROM sqlite_schema WHERE type ="
            " CASE a.OBJECT_TYPE WHEN 'INDEX' THEN 'index' WHEN 'VIEW' THEN 'view' ELSE 'table' END)"
            " UNION ALL SELECT c.TABLE_NAME, 'TABLE', c.COLUMN_NAME, c.DOMAIN_NAME, a.ANNOTATION_NAME, a.ANNOTATION_VALUE"
            " FROM \"TESSEL$DOMAIN_COLS\" c JOIN \"TESSEL$ANNOTATIONS\" a ON a.OBJECT_TYPE = 'DOMAIN' AND a.OBJECT_NAME ="
            " c.DOMAIN_NAME WHERE c.TABLE_NAME IN (SELECT name FROM sqlite_schema WHERE type = 'table')"
            " ORDER BY 1, 2, 3, 5",
            [&](sqlite3_stmt* st) {
              std::string domain = col(st, 3);
              ins.text(col(st, 0)).text(col(st, 1)).textOrNull(col(st, 2)).textOrNull(domain);
              domain.empty() ? ins.null() : ins.text(src.owner);
              ins.text(col(st, 4)).textOrNull(col(st, 5)).row();
            }, {}, true);
}

} // namespace ora::dict
