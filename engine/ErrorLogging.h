// DML error logging: INSERT, UPDATE, DELETE and MERGE ... LOG ERRORS [INTO table] [(tag)]
// [REJECT LIMIT n | UNLIMITED], and DBMS_ERRLOG.CREATE_ERROR_LOG that makes the log table.
#pragma once
#include "SqlTranslate.h"

#include <string>

namespace ora {

class Session;

// When the statement ends in an error logging clause: its translation, which runs the
// statement a row at a time, in `out`.
bool errorLogging(const std::string& text, Catalog& cat, Translation& out);

// Creates the log table of `dmlTable` (ERR$_ and the first 25 characters of its name when
// `logTable` is empty): the ORA_ERR_ columns, then the table's as text.
void createErrorLog(Session& ses, const std::string& dmlTable, std::string logTable, const std::string& owner,
                    bool skipUnsupported);

} // namespace ora
