// Statements of schema objects read before the translator's own: clusters, CREATE SCHEMA.
#pragma once
#include "SqlTranslate.h"

#include <string>

namespace ora {

// CREATE CLUSTER, CREATE INDEX ... ON CLUSTER, CREATE TABLE ... CLUSTER and DROP CLUSTER; false
// for any other statement.
bool clusterStatement(const std::string& text, Catalog& cat, bool deferDdlErrors, Translation& out);
// CREATE SCHEMA AUTHORIZATION; false for any other statement.
bool createSchema(const std::string& text, Catalog& cat, Translation& out);

} // namespace ora
