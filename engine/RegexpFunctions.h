// Oracle's regular expression functions.
#pragma once
#include <functional>

struct sqlite3;

namespace ora {

extern const char* const kRegexpFunctions[]; // their names, ending with nullptr
void registerRegexpFunctions(sqlite3* db);
// Runs a regular expression's work on a thread with a large stack of its own: the library's
// matcher recurses for every character a match takes in.
void onRegexStack(const std::function<void()>& work);

} // namespace ora
