// Unique keys of several columns with some of them NULL. SQLite takes any number of rows with a
// NULL in the key; Oracle refuses a second (1, NULL) and only lets rows whose key is all NULL
// repeat. A guard trigger per such key (or unique index) closes the gap.
#pragma once
#include <map>
#include <string>

struct sqlite3;

namespace ora {

// Makes the guards match the schema's unique keys: adds the missing ones, drops those of keys
// that are gone, remakes those whose text has changed (a renamed table or column). A key that
// gets its guard now is checked against the rows already there: ORA-02299 for a constraint,
// ORA-01452 for a unique index (unless not `checkRows`: a file made
// before the guards keeps its rows). `user` owns the schema, for the key's name in the error. Runs inside the caller's transaction when one is open.
// `seen` holds the tables' texts as the last sync left them, so that only changed tables are
// looked at.
void syncUniqueGuards(sqlite3* db, const std::string& user, std::map<std::string, std::string>& seen,
                      bool checkRows = true);
// Whether a trigger is one of these guards (rebuilds leave them to the next sync).
bool uniqueGuardName(const char* name);

} // namespace ora
