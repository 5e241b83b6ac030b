// The supplied packages' functions a query may call, as the engine's own SQL functions, and
// what PL/SQL's calls of their procedures share with them.
#pragma once
#include "FunctionUtil.h"

#include <string>
#include <vector>

namespace ora::fn {

// DBMS_RANDOM, UTL_RAW, UTL_ENCODE, UTL_I18N, DBMS_UTILITY.GET_HASH_VALUE (SuppliedFunctions.cpp)
const std::vector<Def>& suppliedFunctionDefs();
// UTL_MATCH, DBMS_ASSERT, UTL_LMS (SuppliedChecks.cpp)
const std::vector<Def>& checkFunctionDefs();

// Whether an upper-case name is one of the SQL functions above, which only the engine's
// translation of a call writes.
bool suppliedHelper(const std::string& upperName);

// The digest of bytes by MD5, SHA1, SHA256, SHA384 or SHA512 (HashFunctions.cpp).
std::string digest(const std::vector<uint8_t>& in, const std::string& method);

// DBMS_RANDOM.SEED and INITIALIZE: the values that follow repeat for the same seed.
void seedRandom(const std::string& seed);

} // namespace ora::fn
