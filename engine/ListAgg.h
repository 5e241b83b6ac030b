// The ordered string aggregate behind LISTAGG, and the other aggregates that sort their rows:
// KEEP (DENSE_RANK FIRST|LAST ...) and the hypothetical RANK, DENSE_RANK, PERCENT_RANK, CUME_DIST.
#pragma once

struct sqlite3;
struct sqlite3_value;

namespace ora {
enum class Charset;
void registerListAgg(sqlite3* db);
void registerRankAggregates(sqlite3* db);
// Orders two sort key values, text as the database's set orders it; `how` bit 0: descending,
// bit 1: NULLs first, bit 2: a NUMBER key, compared by exact value.
int compareValues(sqlite3_value* a, sqlite3_value* b, int how, Charset cs);
} // namespace ora
