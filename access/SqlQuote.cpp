#include "SqlQuote.h"

#include <algorithm>
#include <iterator>

namespace {

// Oracle's reserved words: as names they only work in double quotes.
constexpr std::string_view ReservedWords[] = {
    "ACCESS",    "ADD",      "ALL",        "ALTER",      "AND",      "ANY",        "AS",
    "ASC",       "AUDIT",    "BETWEEN",    "BY",         "CHAR",     "CHECK",      "CLUSTER",
    "COLUMN",    "COMMENT",  "COMPRESS",   "CONNECT",    "CREATE",   "CURRENT",    "DATE",
    "DECIMAL",   "DEFAULT",  "DELETE",     "DESC",       "DISTINCT", "DROP",       "ELSE",
    "EXCLUSIVE", "EXISTS",   "FILE",       "FLOAT",      "FOR",      "FROM",       "GRANT",
    "GROUP",     "HAVING",   "IDENTIFIED", "IMMEDIATE",  "IN",       "INCREMENT",  "INDEX",
    "INITIAL",   "INSERT",   "INTEGER",    "INTERSECT",  "INTO",     "IS",         "LEVEL",
    "LIKE",      "LOCK",     "LONG",       "MAXEXTENTS", "MINUS",    "MLSLABEL",   "MODE",
    "MODIFY",    "NOAUDIT",  "NOCOMPRESS", "NOT",        "NOWAIT",   "NULL",       "NUMBER",
    "OF",        "OFFLINE",  "ON",         "ONLINE",     "OPTION",   "OR",         "ORDER",
    "PCTFREE",   "PRIOR",    "PRIVILEGES", "PUBLIC",     "RAW",      "RENAME",     "RESOURCE",
    "REVOKE",    "ROW",      "ROWID",      "ROWNUM",     "ROWS",     "SELECT",     "SESSION",
    "SET",       "SHARE",    "SIZE",       "SMALLINT",   "START",    "SUCCESSFUL", "SYNONYM",
    "SYSDATE",   "TABLE",    "THEN",       "TO",         "TRIGGER",  "UID",        "UNION",
    "UNIQUE",    "UPDATE",   "USER",       "VALIDATE",   "VALUES",   "VARCHAR",    "VARCHAR2",
    "VIEW",      "WHENEVER", "WHERE",      "WITH",
};

bool Upper(char c) { return c >= 'A' && c <= 'Z'; }

} // namespace

bool IsPlainOraName(std::string_view name) {
  if (name.empty() || name.size() > 30 || !Upper(name[0]))
    return false;
  for (char c : name)
    if (!Upper(c) && !(c >= '0' && c <= '9') && c != '_' && c != '$' && c != '#')
      return false;
  return std::find(std::begin(ReservedWords), std::end(ReservedWords), name) ==
         std::end(ReservedWords);
}

std::string OraName(std::string_view name) {
  if (IsPlainOraName(name))
    return std::string(name);
  std::string out = "\"";
  for (char c : name) {
    out += c;
    if (c == '"')
      out += '"';
  }
  return out + '"';
}

std::string OraEscape(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (char c : value) {
    out += c;
    if (c == '\'')
      out += '\'';
  }
  return out;
}

std::string OraText(std::string_view value) { return '\'' + OraEscape(value) + '\''; }
