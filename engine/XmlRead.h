// The XML reading functions' runtime (XmlRead.cpp, XmlTable.cpp): XMLTYPE, EXTRACT, EXTRACTVALUE,
// EXISTSNODE, XMLQUERY, XMLEXISTS, XMLCAST's value and XMLTABLE.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct sqlite3;

namespace ora {

void registerXmlReadFunctions(sqlite3* db);
// The upper-case names a statement may call directly.
const std::vector<std::string>& xmlReadFunctionNames();

// An XMLTABLE's columns: each the value its path finds from the row (of a SQL type, or the XML
// itself), or the row's number.
struct XmlTableColumn {
  enum Kind { Value, Xml, Ordinality } kind = Value;
  std::string name, path;
  int type = 1;        // Value: kVarchar2, kNumber or kDate
  int64_t size = 4000; // the longest text
  bool hasDefault = false;
  std::string dflt; // DEFAULT: the text that stands for a path that finds nothing
};
struct XmlTableSpec {
  std::vector<XmlTableColumn> columns;
  std::string namespaces; // XMLNAMESPACES as declarations: xmlns="..." xmlns:p="..."
};
void registerXmlTable(sqlite3* db);
// The table-valued function name(document, row path, variable name) with those columns,
// registered on the connection when it is not yet.
std::string xmlTableModule(sqlite3* db, const XmlTableSpec& spec);

} // namespace ora
