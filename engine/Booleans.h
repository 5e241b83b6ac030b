// BOOLEAN: TRUE and FALSE kept as SQLite's integers 1 and 0, described as Oracle's type 252.
#pragma once
#include <string_view>

struct sqlite3;
struct sqlite3_context;
struct sqlite3_value;

namespace ora {

constexpr int kBoolean = 252;

// The truth a text names, blanks around it aside and in any case: TRUE, YES, ON, 1, T, Y give
// 1; FALSE, NO, OFF, 0, F, N give 0; anything else -1.
int booleanOfText(std::string_view s);
// ora_conv to BOOLEAN: 1 or 0 from a number (0 is FALSE) or from such a text, else ORA-61800.
void booleanConv(sqlite3_context* ctx, sqlite3_value* v);
// TO_BOOLEAN and the text of a BOOLEAN (ora_bool_text).
void registerBooleanFunctions(sqlite3* db);

} // namespace ora
