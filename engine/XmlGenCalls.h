// DBMS_XMLGEN.GETXML / GETXMLTYPE of a query's text and TABLE(XMLSEQUENCE(...)) in a statement.
#pragma once
#include <string>

namespace ora {

class Catalog;

// The statement with those calls written as the XML generation functions over the query's
// columns; false when it has none.
bool xmlGenCalls(const std::string& text, Catalog& cat, std::string& out);

} // namespace ora
