// The older names of today's DDL: a snapshot is a materialized view.
#pragma once
#include <string>

namespace ora {

// CREATE / ALTER / DROP SNAPSHOT [LOG]: the text with MATERIALIZED VIEW in place of SNAPSHOT in
// `plain`; `at` is where SNAPSHOT stood and `grown` how many bytes longer the new text is.
bool snapshotNames(const std::string& text, std::string& plain, int& at, int& grown);

// Statements that need a system privilege only the administrator holds (ALTER SYSTEM, CREATE
// PROFILE, ...): ORA-01031 for any other user, as in Oracle; SYSTEM is told the engine has no
// such settings rather than have the statement accepted without effect.
// Throws for such a statement; returns for any other.
void administrationOnly(const std::string& text, const std::string& user);

} // namespace ora
