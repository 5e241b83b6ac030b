// Supplied packages a block calls, beyond those PlsqlSupplied.cpp runs itself.
#pragma once
#include "PlsqlRun.h"

#include <initializer_list>
#include <string>

namespace ora::pl {

// PLS-00306 for a call of a supplied subprogram with the wrong arguments (PlsqlSupplied.cpp).
[[noreturn]] void wrongArguments(const Run& r, size_t at, const std::string& name);
[[noreturn]] void wrongArguments(const Run& r, const Stmt& s);
// The argument given by name or at a position (0-based); nullptr when it is not given.
const Range* argument(const Stmt& s, const char* name, size_t position);
// Only these names may be given, each once at most.
void onlyArguments(const Run& r, const Stmt& s, std::initializer_list<const char*> names);

// DBMS_LOB's procedures (PlsqlSuppliedLobs.cpp); false when the call is none of DBMS_LOB's.
bool lobCall(Run& r, const Stmt& s);
// DBMS_LOB's constants, ISOPEN and ISTEMPORARY read at token k: SQL text and the tokens taken.
bool lobValue(Run& r, size_t k, size_t end, std::string& sql, size_t& used);

// After SELECT ... INTO of a single table's LOB columns FOR UPDATE: DBMS_LOB's writes to those
// variables change the row too.
void rememberLobRows(Run& r, const Stmt& s);

// While the outermost block runs: DBMS_LOB's open, temporary and row-bound variables are
// forgotten when it begins and ends, as the variables themselves are.
struct LobState {
  LobState();
  ~LobState();
  LobState(const LobState&) = delete;
  LobState& operator=(const LobState&) = delete;
};

// DBMS_RANDOM.SEED, DBMS_APPLICATION_INFO (PlsqlSuppliedSession.cpp).
bool sessionPackageCall(Run& r, const Stmt& s);
// DBMS_UTILITY.FORMAT_CALL_STACK read at token k.
bool sessionPackageValue(Run& r, size_t k, size_t end, std::string& sql, size_t& used);

// DBMS_JOB and DBMS_SCHEDULER (SuppliedJobs.cpp); false when the call is none of theirs.
bool jobPackageCall(Run& r, const Stmt& s);

// DBMS_UTILITY's table types (UNCL_ARRAY, LNAME_ARRAY, NAME_ARRAY); null for other names.
std::shared_ptr<const TypeDef> suppliedTypeDef(const std::string& pkg, const std::string& name);

} // namespace ora::pl
