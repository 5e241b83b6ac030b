// Oracle's byte-counting functions (LENGTHB, SUBSTRB, INSTRB, VSIZE), which count in the
// database's character set rather than in the stored UTF-8.
#pragma once
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace ora {

enum class Charset;

// Registers them on a schema connection; they replace any earlier functions of the same names.
// VSIZE is reached through the helper ora_vsize(value, type code), which the translator emits.
void registerByteFunctions(sqlite3* db, Charset cs);
// Their upper-case names as SQL calls them.
const std::vector<std::string>& byteFunctionNames();

} // namespace ora
