// DBMS_METADATA.GET_DDL('TABLE', 'DEPT') in a query: the object's DDL as Oracle writes it.
#pragma once
#include <string>

namespace ora {

class Catalog;

// The statement with each GET_DDL of literal arguments replaced by the DDL's text; false when
// it has none. ORA-31603 for an object the schema does not have.
bool metadataCalls(const std::string& text, Catalog& cat, std::string& out);

} // namespace ora
