// The older names of today's DDL: a snapshot is a materialized view.
#pragma once
#include <string>

namespace ora {

// CREATE / ALTER / DROP SNAPSHOT [LOG]: the text with MATERIALIZED VIEW in place of SNAPSHOT in
// `plain`; `at` is where SNAPSHOT stood and `grown` how many bytes longer the new text is.
bool snapshotNames(const std::string& text, std::string& plain, int& at, int& grown);

} // namespace ora
