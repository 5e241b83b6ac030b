// Time zones: fixed offsets and the regions of the tz database (/usr/share/zoneinfo), and the
// text a TIMESTAMP WITH TIME ZONE keeps: its local date and time, then its zone.
#pragma once
#include "OraValues.h"

#include <cstdint>
#include <string>
#include <string_view>

struct sqlite3;

namespace ora {

struct Zone {
  std::string region; // empty for a fixed offset
  int offset = 0;     // minutes east of UTC, for a fixed offset
  std::string abbr;   // the TZD the text gave with its region, to tell an overlap's two times apart
};

// '+hh:mi', '-hh:mi', 'hh:mi' or a region name with an optional abbreviation. Returns 0 or the
// ORA error: 1857 text that is no zone, 1882 a region the database does not hold, 1874/1875
// an hour or minute out of range.
int parseZone(std::string_view text, Zone& out);
// TZR: the region's name, or the offset as '+hh:mi'.
std::string zoneName(const Zone& z);
std::string offsetText(int minutes);
// The zone's offset at an instant (seconds since 1970 UTC) and its abbreviation there.
int offsetAtUtc(const Zone& z, int64_t utc, std::string* abbr = nullptr);
// The zone with the abbreviation it has at an instant: the text then names which of a repeated
// hour it is.
Zone zoneAt(const Zone& z, int64_t utc);
// The instant of a local time in the zone; ORA-01878 for a time a change of clocks skips.
int64_t utcOfLocal(const Zone& z, int64_t local, int& err);

// The session's zone: ALTER SESSION SET TIME_ZONE, else the machine's offset; the database's.
Zone sessionZone(sqlite3* db);
void setSessionZone(sqlite3* db, const Zone& z);
Zone databaseZone();

// A TIMESTAMP's text without a zone after it (Timestamps.cpp).
int parsePlainTimestamp(sqlite3* db, std::string_view text, DateTime& out);
// Text of a TIMESTAMP WITH TIME ZONE: 'YYYY-MM-DD HH24:MI:SS[.f] zone'. Text without a zone
// (as values stored before zones were kept) reads in the session's zone.
int parseZonedText(sqlite3* db, std::string_view text, DateTime& local, Zone& zone);
std::string zonedText(const DateTime& local, const Zone& zone);
// The same instant as a local time of another zone.
DateTime shiftZone(const DateTime& local, const Zone& from, const Zone& to);
// Seconds since 1970 of the value's instant (the fraction apart).
int64_t instantOf(const DateTime& local, const Zone& z);

// ora_tz_* SQL helpers and the ORA_TSTZ collation (ZonedFunctions.cpp).
void registerZoneFunctions(sqlite3* db);

} // namespace ora
