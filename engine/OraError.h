// Errors inside the engine travel as OraError up to the entry point, which stores the number in
// the data area and keeps the text for oerhms.
#pragma once
#include <string>

namespace ora {

struct OraError {
  int code;
  std::string text; // full "ORA-nnnnn: ..." line
  int pos = -1;     // byte offset in the statement text of the token at fault; -1 when none
  std::string detail; // what the caller named: the object at fault, or what went wrong

  OraError(int c, const std::string& detail = {});
  OraError& at(int offset) { pos = offset; return *this; }
};

// The standard text of an error number, "ORA-nnnnn: ...", as Oracle words it.
std::string errorText(int code);
// The message as the message file holds it with its arguments left empty, as SQLERRM(code) gives
// it: "unique constraint (.) violated".
std::string unfilledErrorText(int code);

// Turns an SQLite failure message into the matching Oracle error. `stmtKind` is the leading
// keyword of the statement ("INSERT", "DELETE", ...), used where SQLite does not tell enough.
OraError fromSqlite(int rc, const std::string& msg, const std::string& stmtKind);

} // namespace ora
