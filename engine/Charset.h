// The database character set. Text is stored as UTF-8 either way; the set decides how lengths
// in bytes are counted (column limits, ORA-12899, LENGTHB, SUBSTRB, INSTRB, VSIZE, describe).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace ora {

enum class Charset { JA16SJIS, AL32UTF8 };

const char* charsetName(Charset cs);
// false when the name is not a character set the engine offers.
bool charsetFromName(std::string_view name, Charset& out);

// Bytes one code point takes: Shift-JIS (ASCII and half-width katakana 1, everything else 2,
// also characters CP932 lacks) or UTF-8.
int charBytes(uint32_t cp, Charset cs);
// Bytes of a UTF-8 text in the character set.
int64_t byteLength(std::string_view utf8, Charset cs);
// Byte offset (in the set) at which each character starts, plus the total at the end; and the
// matching UTF-8 offsets.
void byteMap(std::string_view utf8, Charset cs, std::vector<int64_t>& setOffsets,
             std::vector<size_t>& utf8Offsets);

// Text as the set's own bytes (a character Shift-JIS lacks becomes its full-width '?'), and
// such bytes as text; false when they are no text of the set.
std::string charsetBytes(std::string_view utf8, Charset cs);
bool charsetText(std::string_view bytes, Charset cs, std::string& utf8);

// SQLite collation ORA_SJIS: text in the order of its Shift-JIS bytes, as a JA16SJIS database
// compares and sorts (BINARY); a character Shift-JIS lacks sorts after all it has.
int sjisCollate(void*, int n1, const void* p1, int n2, const void* p2);

// Text compared as the set orders it: Shift-JIS bytes or UTF-8 bytes (negative, 0, positive).
int compareText(std::string_view a, std::string_view b, Charset cs);

// The set of the database a connection was opened on (remembered when its functions are made).
void rememberCharset(sqlite3* db, Charset cs);
Charset connectionCharset(sqlite3* db);

// The set a database folder records; a database made before sets were recorded counts UTF-8.
Charset databaseCharset(const std::string& folder);
// Records the set in a new database's user list. Returns false on failure.
bool recordCharset(sqlite3* userList, Charset cs);

// A pointer to a constant holding the set, for SQL functions' user data.
const Charset* charsetConstant(Charset cs);

} // namespace ora
