// The territories a session may name: their date formats, number characters and currencies, and
// DL, DS and TS in a datetime model (the long date, short date and short time).
#include "TerritoryFormats.h"
#include "CType.h"
#include "OraError.h"

#include <string>
#include <vector>

namespace ora::fn {

namespace {

const Territory kTerritories[] = {
    {"AMERICA", "fmDay, Month dd, yyyy", "MM/DD/RRRR", "HH:MI:SS AM", "HH:MI:SSXFF AM", "DD-MON-RR",
     "DD-MON-RR HH.MI.SSXFF AM", "DD-MON-RR HH.MI.SSXFF AM TZR", ".,", "$", "USD", false, "$"},
    {"JAPAN", "fmYYYY\"\xe5\xb9\xb4\"MM\"\xe6\x9c\x88\"DD\"\xe6\x97\xa5\" Day", "RRRR/MM/DD", "HH24:MI:SS",
     "HH24:MI:SSXFF", "RR-MM-DD", "RR-MM-DD HH24:MI:SSXFF", "RR-MM-DD HH24:MI:SSXFF TZR", ".,", "\xEF\xBF\xA5", "JPY",
     false, "\xEF\xBF\xA5"},
    {"GERMANY", "fmDay, dd. Month yyyy", "DD.MM.RRRR", "HH24:MI:SS", "HH24:MI:SSXFF", "DD.MM.RR",
     "DD.MM.RR HH24:MI:SSXFF", "DD.MM.RR HH24:MI:SSXFF TZR", ",.", "\xE2\x82\xAC", "EUR", true, "\xE2\x82\xAC"},
    {"FRANCE", "fmDay dd Month yyyy", "DD/MM/RRRR", "HH24:MI:SS", "HH24:MI:SSXFF", "DD/MM/RR",
     "DD/MM/RR HH24:MI:SSXFF", "DD/MM/RR HH24:MI:SSXFF TZR", ", ", "\xE2\x82\xAC", "EUR", true, "\xE2\x82\xAC"},
    {"UNITED KINGDOM", "fmDay, dd Month yyyy", "DD/MM/RRRR", "HH24:MI:SS", "HH24:MI:SSXFF", "DD-MON-RR",
     "DD-MON-RR HH24.MI.SSXFF", "DD-MON-RR HH24.MI.SSXFF TZR", ".,", "\xC2\xA3", "GBP", true, "\xE2\x82\xAC"},
};

const Territory& formatsOf(std::string_view territory) {
  const Territory* t = territoryNamed(territory);
  return t ? *t : kTerritories[1];
}

std::string upperWord(std::string_view w) {
  std::string u(w);
  for (auto& c : u) c = static_cast<char>(ora::upperC(static_cast<unsigned char>(c)));
  return u;
}

} // namespace

const Territory* territoryNamed(std::string_view name) {
  std::string u = upperWord(name);
  for (const auto& t : kTerritories)
    if (u == t.name) return &t;
  return nullptr;
}

std::string territoryModel(std::string_view model, std::string_view territory, bool fraction) {
  std::vector<std::string> words;
  for (size_t i = 0; i < model.size();) {
    if (model[i] == ' ') {
      ++i;
      continue;
    }
    size_t e = model.find(' ', i);
    if (e == std::string_view::npos) e = model.size();
    words.push_back(upperWord(model.substr(i, e - i)));
    i = e;
  }
  bool any = false;
  for (const auto& w : words) any = any || w == "DL" || w == "DS" || w == "TS";
  if (!any) return std::string(model);
  // a date (DL or DS) then a time (TS), each at most once and with nothing else beside them
  const Territory& f = formatsOf(territory);
  std::string out;
  bool date = false, time = false;
  for (const auto& w : words) {
    if ((w == "DL" || w == "DS") && !date && !time) {
      date = true;
      out += w == "DL" ? f.longDate : f.shortDate;
    } else if (w == "TS" && !time) {
      time = true;
      // FM toggles: the long date's would otherwise reach the time too
      if (!out.empty()) out += out.rfind("fm", 0) == 0 ? "fm " : " ";
      out += fraction ? f.fraction : f.shortTime;
    } else {
      throw OraError(1821);
    }
  }
  return out;
}

} // namespace ora::fn
