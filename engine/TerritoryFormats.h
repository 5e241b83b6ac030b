// DL, DS and TS in a datetime model.
#pragma once

#include <string>
#include <string_view>

namespace ora::fn {

// What NLS_TERRITORY brings: DL, DS and TS, the session's date and timestamp formats, the decimal
// character then the group separator, the local and ISO currencies, and whether weeks start on
// Monday (D counts from there).
struct Territory {
  const char* name;
  const char* longDate;
  const char* shortDate;
  const char* shortTime; // its fraction is left out for a DATE
  const char* fraction;
  const char* dateFormat;
  const char* stampFormat;
  const char* stampTzFormat;
  const char* numeric;
  const char* currency;
  const char* iso;
  bool mondayFirst;
  const char* dual; // the dual currency (U)
};

// nullptr for a territory not kept here (ORA-12705 where a session names it).
const Territory* territoryNamed(std::string_view name);

// A model of DL, DS and TS (the territory's long date, short date and short time) in the
// elements they stand for; any other model as it is. `fraction`: TS shows fractional seconds.
std::string territoryModel(std::string_view model, std::string_view territory, bool fraction);

} // namespace ora::fn
