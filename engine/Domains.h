// Single-column SQL domains (CREATE / DROP DOMAIN, columns declared with one, DOMAIN_DISPLAY and
// DOMAIN_ORDER) and annotations on tables, columns, views, indexes and domains.
#pragma once
#include "NewerSyntax.h"

#include <string>
#include <vector>

struct sqlite3;

namespace ora {

class Catalog;
struct Translation;

// CREATE DOMAIN, DROP DOMAIN: `out` is the statement's translation; false for other statements.
bool domainStatement(const std::string& text, Catalog& cat, Translation& out);
// A statement whose columns use domains, which names DOMAIN_DISPLAY / DOMAIN_ORDER or carries
// ANNOTATIONS, in the forms the translator reads; `records` are the statements that record the
// domain columns and annotations once it has run; `moved` what changed, for error positions.
// False when there is nothing to rewrite.
bool domainRewrite(const std::string& text, Catalog& cat, std::string& out, std::vector<std::string>& records,
                   TextEdits& moved);
// Whether a CHECK constraint broken on `table` is the one a column inherited from a domain: then
// `detail` is ORA-11534's text.
bool domainCheckBroken(sqlite3* db, const std::string& user, const std::string& table, const std::string& name,
                       const std::string& condition, std::string& detail);
// The tables that record domains, their columns and annotations.
std::vector<const char*> domainTables();

} // namespace ora
