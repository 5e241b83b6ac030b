// Errors inside the engine travel as OraError up to the entry point, which stores the number in
// the data area and keeps the text for oerhms.
#pragma once
#include <string>

namespace ora {

struct OraError {
  int code;
  std::string text; // full "ORA-nnnnn: ..." line

  OraError(int c, const std::string& detail = {});
};

// The standard text of an error number, "ORA-nnnnn: ..." (our own words).
std::string errorText(int code);

// Turns an SQLite failure message into the matching Oracle error. `stmtKind` is the leading
// keyword of the statement ("INSERT", "DELETE", ...), used where SQLite does not tell enough.
OraError fromSqlite(int rc, const std::string& msg, const std::string& stmtKind);

} // namespace ora
