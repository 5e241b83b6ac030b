// DBMS_METADATA: GET_DDL and GET_DEPENDENT_DDL as the engine's SQL functions, and the session's
// transform parameters that shape what they write.
#pragma once
#include "FunctionUtil.h"

#include <string>
#include <vector>

struct sqlite3;

namespace ora {

// ora_dbms_metadata_get_ddl and ora_dbms_metadata_get_dependent_ddl.
const std::vector<fn::Def>& metadataFunctionDefs();

// SET_TRANSFORM_PARAM(SESSION_TRANSFORM, name, value [, object_type]): value TRUE or FALSE;
// objectType empty for every type. ORA-31600 for a name or value the package does not know.
void setTransformParam(sqlite3* db, const std::string& objectType, const std::string& name, const std::string& value);

} // namespace ora
