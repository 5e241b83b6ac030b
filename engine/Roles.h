// Roles: CREATE, ALTER and DROP ROLE, SET ROLE, and GRANT and REVOKE of roles and of system
// privileges. Roles belong to the database, so they are kept beside the user list.
#pragma once
#include "SqlTranslate.h"

#include <set>
#include <string>
#include <vector>

namespace ora {

class Session;

// Translates a role statement, or a GRANT / REVOKE that is not an object grant; false when the
// text is none of them.
bool roleStatement(const std::string& text, Catalog& cat, Translation& out);

// Whether a role of that name exists (the built-in CONNECT, RESOURCE and DBA among them).
bool roleExists(const std::string& folder, const std::string& name);
// The roles a session of the user starts with.
std::set<std::string> defaultRoles(const std::string& folder, const std::string& user);
// Takes away what was granted to or by a user that is dropped.
void forgetGrantee(const std::string& folder, const std::string& name);

// One write of the database's user file: a statement with text parameters.
struct SystemWrite {
  std::string sql;
  std::vector<std::string> params;
};
// Runs the writes on the user file in one transaction, all or none; the role and grant tables
// are made first when the file has none.
void writeSystemFile(const std::string& folder, const std::vector<SystemWrite>& writes);
// The roles the session has enabled (SET ROLE, else the user's default roles).
std::set<std::string> enabledRoles(Session& s);

// Rows of USER_ROLE_PRIVS, SESSION_ROLES, ROLE_SYS_PRIVS, ROLE_ROLE_PRIVS and DBA_ROLES for the
// session's user, in the views' column order.
std::vector<std::vector<std::string>> roleViewRows(Session& s, const std::string& view);

} // namespace ora
