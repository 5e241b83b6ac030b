// Object privileges: GRANT and REVOKE of privileges on tables, views, sequences and stored
// units, kept in the database's user file beside the roles, and the dictionary views of them.
#pragma once
#include "SqlTranslate.h"

#include <string>
#include <vector>

namespace ora {

class Session;

// Translates GRANT ... ON ... TO and REVOKE ... ON ... FROM; false when the text is neither.
bool objectGrantStatement(const std::string& text, Catalog& cat, Translation& out);

// Takes away every object grant of, to or by a user that is dropped, and what they passed on.
void forgetObjectGrants(const std::string& folder, const std::string& user);

struct PrivilegeViewDef {
  const char* name;
  const char* columns;
  const char* comment;
};
// USER_TAB_PRIVS, ALL_COL_PRIVS, ROLE_TAB_PRIVS, ...: their names and columns.
const std::vector<PrivilegeViewDef>& objectPrivilegeViews();
bool objectPrivilegeView(const std::string& view);
// The rows of one of them for the session, in the view's column order; "" stands for NULL.
std::vector<std::vector<std::string>> objectPrivilegeRows(Session& s, const std::string& view);

} // namespace ora
