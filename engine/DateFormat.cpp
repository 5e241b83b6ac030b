// Date format models: TO_CHAR and TO_DATE with a model, and the session's NLS_DATE_FORMAT.
#include "DisplayWidth.h"
#include "CType.h"
#include "FunctionUtil.h"
#include "OraError.h"
#include "OraValues.h"
#include "TimeZones.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <set>
#include <tuple>
#include <vector>

namespace ora {

namespace fn {

constexpr int64_t kJulian1970 = 2440588;

const char* const kRoman[] = {"I", "II", "III", "IV", "V", "VI", "VII", "VIII", "IX", "X", "XI", "XII"};

namespace {

// A date language's month and day names, in upper case, and the widths MON, MONTH, DY and DAY
// are padded to (Japanese names are never padded but for MONTH, and have no case).
struct DateNames {
  const char* months[12];
  const char* mons[12];
  const char* days[7];
  const char* dys[7];
  int monPad, monthPad, dyPad, dayPad;
  bool cased;
};

const DateNames kAmericanNames = {
    {"JANUARY", "FEBRUARY", "MARCH", "APRIL", "MAY", "JUNE", "JULY", "AUGUST", "SEPTEMBER", "OCTOBER", "NOVEMBER",
     "DECEMBER"},
    {"JAN", "FEB", "MAR", "APR", "MAY", "JUN", "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"},
    {"SUNDAY", "MONDAY", "TUESDAY", "WEDNESDAY", "THURSDAY", "FRIDAY", "SATURDAY"},
    {"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"},
    3, 9, 3, 9, true};
const DateNames kJapaneseNames = {
    {"1月", "2月", "3月", "4月", "5月", "6月", "7月", "8月", "9月", "10月", "11月", "12月"},
    {"1月", "2月", "3月", "4月", "5月", "6月", "7月", "8月", "9月", "10月", "11月", "12月"},
    {"日曜日", "月曜日", "火曜日", "水曜日", "木曜日", "金曜日", "土曜日"},
    {"日", "月", "火", "水", "木", "金", "土"},
    0, 4, 0, 0, false};
const DateNames kFrenchNames = {
    {"JANVIER", "F\xC3\x89VRIER", "MARS", "AVRIL", "MAI", "JUIN", "JUILLET", "AO\xC3\x9BT", "SEPTEMBRE", "OCTOBRE",
     "NOVEMBRE", "D\xC3\x89" "CEMBRE"},
    {"JANV.", "F\xC3\x89VR.", "MARS", "AVR.", "MAI", "JUIN", "JUIL.", "AO\xC3\x9BT", "SEPT.", "OCT.", "NOV.",
     "D\xC3\x89" "C."},
    {"DIMANCHE", "LUNDI", "MARDI", "MERCREDI", "JEUDI", "VENDREDI", "SAMEDI"},
    {"DIM.", "LUN.", "MAR.", "MER.", "JEU.", "VEN.", "SAM."},
    5, 9, 4, 8, true};
const DateNames kGermanNames = {
    {"JANUAR", "FEBRUAR", "M\xC3\x84RZ", "APRIL", "MAI", "JUNI", "JULI", "AUGUST", "SEPTEMBER", "OKTOBER", "NOVEMBER",
     "DEZEMBER"},
    {"JAN", "FEB", "M\xC3\x84R", "APR", "MAI", "JUN", "JUL", "AUG", "SEP", "OKT", "NOV", "DEZ"},
    {"SONNTAG", "MONTAG", "DIENSTAG", "MITTWOCH", "DONNERSTAG", "FREITAG", "SAMSTAG"},
    {"SO", "MO", "DI", "MI", "DO", "FR", "SA"},
    3, 9, 2, 10, true};

const DateNames& namesOf(int lang) {
  switch (lang & kLanguageBits) {
  case kJapanese: return kJapaneseNames;
  case kFrench: return kFrenchNames;
  case kGerman: return kGermanNames;
  default: return kAmericanNames;
  }
}

} // namespace


// `word` is in upper case; letters past ASCII (the French and German names') match either case.
bool startsNoCase(std::string_view s, size_t at, std::string_view word) {
  if (s.size() - at < word.size()) return false;
  for (size_t k = 0; k < word.size(); ++k) {
    auto c = static_cast<unsigned char>(s[at + k]);
    // a two-byte letter of Latin-1: its upper-case form has the same length
    if (c == 0xC3 && k + 1 < word.size() && static_cast<unsigned char>(word[k]) == 0xC3) {
      size_t i = at + k, j = k;
      if (upperChar(nextChar(s, i)) != nextChar(word, j)) return false;
      ++k;
      continue;
    }
    if (ora::upperC(c) != static_cast<unsigned char>(word[k])) return false;
  }
  return true;
}

int dayNamed(std::string_view text, int lang) {
  const DateNames& names = namesOf(lang);
  for (int k = 0; k < 7; ++k)
    for (const char* w : {names.days[k], names.dys[k]})
      if (text.size() == std::strlen(w) && startsNoCase(text, 0, w)) return k;
  return -1;
}

// Two-digit years near the current one.
int rrYear(int yy) {
  int cur = nowLocal().year, c = cur / 100;
  if (cur % 100 < 50 && yy >= 50) --c;
  else if (cur % 100 >= 50 && yy < 50) ++c;
  return c * 100 + yy;
}

// ---- date format models ----

bool numericElem(Fe k) {
  switch (k) {
  case Fe::Lit: case Fe::Fm: case Fe::Fx: case Fe::Year: case Fe::Syear: case Fe::Rm: case Fe::Mon:
  case Fe::Month: case Fe::Dy: case Fe::Day: case Fe::Am: case Fe::AmDots: case Fe::Ad: case Fe::AdDots:
    return false;
  default:
    return true;
  }
}

int caseModeAt(std::string_view f, size_t i, size_t len) {
  bool firstLower = ora::lowerCaseC(static_cast<unsigned char>(f[i])) != 0;
  bool secondLower = len > 1 && ora::lowerCaseC(static_cast<unsigned char>(f[i + 1])) != 0;
  return firstLower ? 2 : secondLower ? 1 : 0;
}

std::vector<FmtElem> parseDateFormat(std::string_view f) {
  static const std::pair<const char*, Fe> words[] = {
      {"SSSSS", Fe::Sssss}, {"SYYYY", Fe::Syyyy}, {"SYEAR", Fe::Syear}, {"SCC", Fe::Scc},
      {"Y,YYY", Fe::YComma}, {"IYYY", Fe::Iyyy},  {"IYY", Fe::Iyy},     {"IY", Fe::Iy},
      {"A.D.", Fe::AdDots}, {"B.C.", Fe::AdDots}, {"AD", Fe::Ad},       {"BC", Fe::Ad},
      {"MONTH", Fe::Month}, {"YYYY", Fe::Yyyy}, {"RRRR", Fe::Rrrr},
      {"YEAR", Fe::Year},   {"A.M.", Fe::AmDots}, {"P.M.", Fe::AmDots}, {"HH24", Fe::Hh24},
      {"HH12", Fe::Hh},     {"YYY", Fe::Yyy},     {"MON", Fe::Mon},     {"DDD", Fe::Ddd},
      {"DAY", Fe::Day},     {"AM", Fe::Am},       {"PM", Fe::Am},       {"YY", Fe::Yy},
      {"RR", Fe::Rr},       {"RM", Fe::Rm},       {"MM", Fe::Mm},       {"DD", Fe::Dd},
      {"DY", Fe::Dy},       {"HH", Fe::Hh},       {"MI", Fe::Mi},       {"SS", Fe::Ss},
      {"FM", Fe::Fm},       {"FX", Fe::Fx},       {"CC", Fe::Cc},       {"WW", Fe::Ww},
      {"IW", Fe::Iw},       {"Y", Fe::Y},         {"D", Fe::D},         {"J", Fe::J},
      {"Q", Fe::Q},         {"W", Fe::W},         {"I", Fe::I},         {"EE", Fe::EraFull},
      {"E", Fe::Era}};
  std::vector<FmtElem> out;
  for (size_t i = 0; i < f.size();) {
    char c = f[i];
    if (c == '"') {
      size_t e = f.find('"', i + 1);
      if (e == std::string_view::npos) throw OraError(1821);
      out.push_back({Fe::Lit, std::string(f.substr(i + 1, e - i - 1))});
      i = e + 1;
      continue;
    }
    if (std::strchr(" -/,.;:", c)) {
      out.push_back({Fe::Lit, std::string(1, c)});
      ++i;
      continue;
    }
    if (c == 'X' || c == 'x') { // the radix character
      out.push_back({Fe::Lit, "."});
      out.back().digits = 0; // marks the radix, which a fraction of no digits goes without
      ++i;
      continue;
    }
    if (startsNoCase(f, i, "TZR") || startsNoCase(f, i, "TZH") || startsNoCase(f, i, "TZM") || startsNoCase(f, i, "TZD")) {
      char z = static_cast<char>(ora::upperC(static_cast<unsigned char>(f[i + 2])));
      out.push_back({z == 'R' ? Fe::Tzr : z == 'H' ? Fe::Tzh : z == 'M' ? Fe::Tzm : Fe::Tzd, {}});
      i += 3;
      continue;
    }
    if (startsNoCase(f, i, "FF")) {
      FmtElem e{Fe::Ff, {}};
      i += 2;
      if (i < f.size() && f[i] >= '1' && f[i] <= '9') e.digits = f[i++] - '0';
      out.push_back(e);
      continue;
    }
    bool found = false;
    for (auto& [w, kind] : words) {
      if (!startsNoCase(f, i, w)) continue;
      FmtElem e{kind, {}};
      e.caseMode = caseModeAt(f, i, std::strlen(w));
      i += std::strlen(w);
      // SP, TH, SPTH and THSP after a number
      if (numericElem(kind)) {
        for (int k = 0; k < 2; ++k) {
          if (!e.spell && startsNoCase(f, i, "SP")) {
            e.spell = true;
            i += 2;
          } else if (e.th < 0 && startsNoCase(f, i, "TH")) {
            // the suffix takes the case of its element: DDth gives 17TH, Ddth and ddth 17th
            e.th = e.spell || e.caseMode == 0 ? e.caseMode : 2;
            i += 2;
          }
        }
      }
      out.push_back(e);
      found = true;
      break;
    }
    if (!found) throw OraError(1821);
  }
  return out;
}

void fractionDigits(std::vector<FmtElem>& fmt, int precision) {
  for (size_t k = 0; k < fmt.size(); ++k) {
    if (fmt[k].kind != Fe::Ff || fmt[k].digits >= 0) continue;
    fmt[k].digits = precision;
    if (precision == 0 && k > 0 && fmt[k - 1].kind == Fe::Lit && fmt[k - 1].digits == 0) fmt[k - 1].lit.clear();
  }
}

std::string caseAs(std::string word, int mode) {
  bool start = true;
  std::string out;
  out.reserve(word.size());
  for (size_t i = 0; i < word.size();) {
    uint32_t c = nextChar(word, i);
    bool up = mode == 0 || (mode == 1 && start);
    appendChar(out, up ? upperChar(c) : lowerChar(c));
    start = c < 0x80 ? !ora::alphaC(static_cast<unsigned char>(c)) : !isWordChar(c);
  }
  return out;
}

// A number in English words, as SP spells it.
std::string spellNumber(int64_t n) {
  static const char* const small[] = {"ZERO",    "ONE",     "TWO",       "THREE",    "FOUR",
                                      "FIVE",    "SIX",     "SEVEN",     "EIGHT",    "NINE",
                                      "TEN",     "ELEVEN",  "TWELVE",    "THIRTEEN", "FOURTEEN",
                                      "FIFTEEN", "SIXTEEN", "SEVENTEEN", "EIGHTEEN", "NINETEEN"};
  static const char* const tens[] = {"", "", "TWENTY", "THIRTY", "FORTY", "FIFTY", "SIXTY", "SEVENTY",
                                     "EIGHTY", "NINETY"};
  if (n < 0) return "MINUS " + spellNumber(-n);
  if (n < 20) return small[n];
  if (n < 100) return std::string(tens[n / 10]) + (n % 10 ? std::string("-") + small[n % 10] : "");
  if (n < 1000)
    return std::string(small[n / 100]) + " HUNDRED" + (n % 100 ? " " + spellNumber(n % 100) : "");
  static const std::pair<int64_t, const char*> big[] = {{1000000000, " BILLION"}, {1000000, " MILLION"},
                                                        {1000, " THOUSAND"}};
  for (auto [unit, name] : big)
    if (n >= unit) return spellNumber(n / unit) + name + (n % unit ? " " + spellNumber(n % unit) : "");
  return small[0];
}

// The ordinal of words SP gave: ONE -> FIRST, TWENTY -> TWENTIETH.
std::string spelledOrdinal(std::string w) {
  static const std::pair<const char*, const char*> irregular[] = {
      {"ONE", "FIRST"}, {"TWO", "SECOND"}, {"THREE", "THIRD"}, {"FIVE", "FIFTH"},
      {"EIGHT", "EIGHTH"}, {"NINE", "NINTH"}, {"TWELVE", "TWELFTH"}};
  size_t cut = w.find_last_of(" -") + 1;
  std::string last = w.substr(cut);
  for (auto [a, b] : irregular)
    if (last == a) return w.substr(0, cut) + b;
  if (!last.empty() && last.back() == 'Y') return w.substr(0, w.size() - 1) + "IETH";
  return w + "TH";
}

// The longest words SP (and SPTH) can give for an element, so a column has room for any date.
int spelledWidth(Fe kind, bool ordinal) {
  int64_t lo = 0, hi = 9999;
  switch (kind) {
  case Fe::Yyy: case Fe::Iyy: hi = 999; break;
  case Fe::Yy: case Fe::Rr: case Fe::Iy: hi = 99; break;
  case Fe::Y: case Fe::I: hi = 9; break;
  case Fe::Mm: lo = 1; hi = 12; break;
  case Fe::Dd: lo = 1; hi = 31; break;
  case Fe::Ddd: lo = 1; hi = 366; break;
  case Fe::D: lo = 1; hi = 7; break;
  case Fe::Hh: lo = 1; hi = 12; break;
  case Fe::Hh24: hi = 23; break;
  case Fe::Mi: case Fe::Ss: hi = 59; break;
  case Fe::Sssss: hi = 86399; break;
  case Fe::Q: lo = 1; hi = 4; break;
  case Fe::Ww: case Fe::Iw: lo = 1; hi = 53; break;
  case Fe::W: lo = 1; hi = 5; break;
  case Fe::Cc: case Fe::Scc: lo = 1; hi = 100; break;
  // THREE MILLION THREE HUNDRED SEVENTY-SEVEN THOUSAND THREE HUNDRED SEVENTY-SEVENTH
  case Fe::J: return ordinal ? 80 : 78;
  default: break;
  }
  // measured once per element: SSSSS has a whole day of seconds to try
  static std::atomic<int> known[64][2];
  std::atomic<int>& slot = known[static_cast<int>(kind) & 63][ordinal];
  if (int w = slot.load()) return w;
  int widest = 0;
  for (int64_t v = lo; v <= hi; ++v) {
    std::string w = spellNumber(v);
    widest = std::max(widest, static_cast<int>((ordinal ? spelledOrdinal(w) : w).size()));
  }
  slot.store(widest);
  return widest;
}

std::string ordinalSuffix(int64_t n) {
  int64_t t = n % 100;
  if (t >= 11 && t <= 13) return "TH";
  switch (n % 10) {
  case 1: return "ST";
  case 2: return "ND";
  case 3: return "RD";
  default: return "TH";
  }
}

// Display columns of UTF-8 text: a name pads to the widest name of its kind.
int columns(std::string_view s) {
  int w = 0;
  for (size_t i = 0; i < s.size();) w += IsWideCodePoint(nextChar(s, i)) ? 2 : 1;
  return w;
}

namespace {

struct Era {
  int year, month, day; // its first day
  const char* abbr;
  const char* name;
};
const Era kEras[] = {{2019, 5, 1, "R", "\xe4\xbb\xa4\xe5\x92\x8c"},  // Reiwa
                     {1989, 1, 8, "H", "\xe5\xb9\xb3\xe6\x88\x90"},  // Heisei
                     {1926, 12, 25, "S", "\xe6\x98\xad\xe5\x92\x8c"}, // Showa
                     {1912, 7, 30, "T", "\xe5\xa4\xa7\xe6\xad\xa3"},  // Taisho
                     {1868, 9, 8, "M", "\xe6\x98\x8e\xe6\xb2\xbb"}};  // Meiji

// The era a date falls in; before the first one the calendar has no year to give.
const Era& eraOf(const DateTime& d) {
  for (const Era& e : kEras)
    if (std::make_tuple(d.year, d.month, d.day) >= std::make_tuple(e.year, e.month, e.day)) return e;
  throw OraError(1841);
}

} // namespace

int calendarNamed(std::string_view name) {
  std::string u;
  for (char c : name) u += static_cast<char>(ora::upperC(static_cast<unsigned char>(c)));
  while (!u.empty() && u.back() == ' ') u.pop_back();
  while (!u.empty() && u.front() == ' ') u.erase(0, 1);
  if (u.size() >= 2 && (u.front() == '\'' || u.front() == '"') && u.back() == u.front()) return calendarNamed(u.substr(1, u.size() - 2));
  if (u == "GREGORIAN") return 0;
  if (u == "JAPANESE IMPERIAL") return kImperial;
  return -1;
}

std::string formatDate(const DateTime& d, const std::vector<FmtElem>& fmt, int lang, const Zone* zone) {
  std::string out;
  bool fm = false;
  bool imperial = (lang & kImperial) != 0, monday = (lang & kMondayFirst) != 0, comma = (lang & kCommaRadix) != 0;
  lang &= kLanguageBits;
  bool ja = lang == kJapanese;
  const DateNames& names = namesOf(lang);
  // the year of the era where the calendar counts in eras
  auto year = [&] { return imperial ? d.year - eraOf(d).year + 1 : d.year; };
  auto num = [&](const FmtElem& e, int64_t v, int width) {
    if (e.spell) {
      std::string w = spellNumber(v);
      if (e.th >= 0) w = spelledOrdinal(w);
      out += caseAs(w, e.caseMode);
      return;
    }
    std::string s = std::to_string(v);
    if (!fm && static_cast<int>(s.size()) < width) s.insert(0, width - s.size(), '0');
    out += s;
    if (e.th >= 0) out += caseAs(ordinalSuffix(v), e.th);
  };
  auto word = [&](const std::string& w, int mode, int pad) {
    std::string s = caseAs(w, mode);
    int n = columns(s);
    if (!fm && n < pad) s.append(pad - n, ' ');
    out += s;
  };
  for (auto& e : fmt) {
    switch (e.kind) {
    case Fe::Lit: out += comma && e.digits == 0 && e.lit == "." ? std::string(",") : e.lit; break;
    case Fe::Fm: fm = !fm; break;
    case Fe::Fx: break;
    case Fe::Yyyy: case Fe::Rrrr: num(e, year(), 4); break;
    case Fe::Era: case Fe::EraFull:
      // the Gregorian calendar has one era: the session's format still shows when it changes back
      if (!imperial) word(d.year > 0 ? "AD" : "BC", e.caseMode, 2);
      else out += e.kind == Fe::Era ? eraOf(d).abbr : eraOf(d).name;
      break;
    case Fe::Syyyy:
      if (!fm) out += ' '; // the sign of a year AD
      num(e, d.year, 4);
      break;
    case Fe::YComma:
      if (e.spell || d.year < 1000) num(e, d.year, 1);
      else {
        out += std::to_string(d.year / 1000) + ",";
        FmtElem rest = e;
        num(rest, d.year % 1000, 3);
      }
      break;
    case Fe::Iyyy: num(e, isoYear(d), 4); break;
    case Fe::Iyy: num(e, isoYear(d) % 1000, 3); break;
    case Fe::Iy: num(e, isoYear(d) % 100, 2); break;
    case Fe::I: num(e, isoYear(d) % 10, 1); break;
    case Fe::Scc:
      if (!fm) out += ' ';
      num(e, (d.year + 99) / 100, 2);
      break;
    case Fe::Ad: word("AD", e.caseMode, 2); break;
    case Fe::AdDots: word("A.D.", e.caseMode, 4); break;
    case Fe::Yyy: num(e, year() % 1000, 3); break;
    case Fe::Yy: case Fe::Rr: num(e, year() % 100, 2); break;
    case Fe::Y: num(e, year() % 10, 1); break;
    case Fe::Syear:
      if (!fm) out += ' ';
      [[fallthrough]];
    case Fe::Year: {
      // spelled by centuries, NINETEEN EIGHTY-ONE, but TWO THOUSAND FIVE
      int hi = d.year / 100, lo = d.year % 100;
      std::string w;
      if (hi % 10 == 0 && lo < 10) w = spellNumber(d.year);
      else w = (hi ? spellNumber(hi) + (lo ? " " : " HUNDRED") : std::string()) + (lo ? spellNumber(lo) : "");
      out += caseAs(w, e.caseMode);
      break;
    }
    case Fe::Mm: num(e, d.month, 2); break;
    case Fe::Rm: word(kRoman[d.month - 1], e.caseMode, 4); break;
    case Fe::Mon: word(names.mons[d.month - 1], names.cased ? e.caseMode : 0, names.monPad); break;
    case Fe::Month: word(names.months[d.month - 1], names.cased ? e.caseMode : 0, names.monthPad); break;
    case Fe::Dd: num(e, d.day, 2); break;
    case Fe::Ddd: num(e, dayOfYear(d), 3); break;
    case Fe::D: num(e, (weekday(d) + (monday ? 6 : 0)) % 7 + 1, 1); break;
    case Fe::Dy: word(names.dys[weekday(d)], names.cased ? e.caseMode : 0, names.dyPad); break;
    case Fe::Day: word(names.days[weekday(d)], names.cased ? e.caseMode : 0, names.dayPad); break;
    case Fe::Hh: num(e, d.hour % 12 == 0 ? 12 : d.hour % 12, 2); break;
    case Fe::Hh24: num(e, d.hour, 2); break;
    case Fe::Mi: num(e, d.minute, 2); break;
    case Fe::Ss: num(e, d.second, 2); break;
    case Fe::Ff: {
      // digits cut, not rounded; a precision of 0 shows none
      char b[16];
      std::snprintf(b, sizeof b, "%09d", d.nanos);
      out.append(b, static_cast<size_t>(e.digits >= 0 ? e.digits : 9));
      break;
    }
    case Fe::Tzr: case Fe::Tzh: case Fe::Tzm: case Fe::Tzd: {
      // a value without a zone of its own shows the machine's offset
      std::string abbr;
      int off = zone ? offsetAtUtc(*zone, instantOf(d, *zone), &abbr) : localOffsetMinutes(), a = off < 0 ? -off : off;
      char b[16];
      if (e.kind == Fe::Tzd) {
        out += abbr;
        break;
      }
      if (e.kind == Fe::Tzr && zone && !zone->region.empty()) {
        out += caseAs(zone->region, 0);
        break;
      }
      if (e.kind == Fe::Tzr) std::snprintf(b, sizeof b, "%c%02d:%02d", off < 0 ? '-' : '+', a / 60, a % 60);
      else if (e.kind == Fe::Tzh) std::snprintf(b, sizeof b, "%c%02d", off < 0 ? '-' : '+', a / 60);
      else std::snprintf(b, sizeof b, "%02d", a % 60);
      out += b;
      break;
    }
    case Fe::Sssss: num(e, d.hour * 3600 + d.minute * 60 + d.second, 5); break;
    case Fe::Am:
      if (ja) word(d.hour < 12 ? "午前" : "午後", 0, 0);
      else word(d.hour < 12 ? "AM" : "PM", e.caseMode, 2);
      break;
    case Fe::AmDots:
      if (ja) word(d.hour < 12 ? "午前" : "午後", 0, 0);
      else word(d.hour < 12 ? "A.M." : "P.M.", e.caseMode, 4);
      break;
    case Fe::J: num(e, dayNumber(d) + kJulian1970, 7); break;
    case Fe::Q: num(e, (d.month - 1) / 3 + 1, 1); break;
    case Fe::Ww: num(e, (dayOfYear(d) - 1) / 7 + 1, 2); break;
    case Fe::W: num(e, (d.day - 1) / 7 + 1, 1); break;
    case Fe::Iw: num(e, isoWeek(d), 2); break;
    case Fe::Cc: num(e, (d.year + 99) / 100, 2); break;
    }
  }
  return out;
}

bool isPunct(char c) { return !ora::alnumC(static_cast<unsigned char>(c)) && !(static_cast<unsigned char>(c) & 0x80); }

// Reads text into a date by a format model; elements the text does not reach keep their
// defaults (first day of the current month, midnight), as Oracle does.
DateTime parseByFormat(std::string_view s, const std::vector<FmtElem>& fmt, int lang) {
  DateTime now = nowLocal();
  int year = now.year, month = now.month, day = 1, hour = 0, minute = 0, second = 0;
  int hour12 = -1, meridian = -1, doy = -1;
  int64_t julian = -1, sssss = -1;
  int nanos = 0;
  size_t i = 0, n = s.size();
  lang &= kLanguageBits; // text is read in Gregorian years
  const DateNames& names = namesOf(lang);
  // FX: the text must match the model exactly, each number in its full width unless FM
  bool fx = false, fm = false;
  auto skipSpaces = [&] { while (!fx && i < n && s[i] == ' ') ++i; };
  auto readNum = [&](int maxDigits) {
    skipSpaces();
    int64_t v = 0;
    int k = 0;
    while (i < n && k < maxDigits && ora::digitC(static_cast<unsigned char>(s[i]))) {
      v = v * 10 + (s[i++] - '0');
      ++k;
    }
    if (k == 0) throw OraError(1858);
    if (fx && !fm && k < maxDigits) throw OraError(1862);
    return v;
  };
  // the longest name that matches, so 12月 is not read as 1; `shortened`: English three-letter
  // abbreviations of the names, or French ones without their dot
  auto readName = [&](const char* const* list, int count, bool shortened) {
    skipSpaces();
    int best = -1;
    size_t bestLen = 0;
    for (int k = 0; k < count; ++k)
      if (startsNoCase(s, i, list[k]) && std::strlen(list[k]) > bestLen) {
        best = k;
        bestLen = std::strlen(list[k]);
      }
    if (best >= 0) { i += bestLen; return best; }
    if (shortened)
      for (int k = 0; k < count; ++k) {
        std::string w = list[k];
        w = lang == kAmerican ? w.substr(0, 3) : w.back() == '.' ? w.substr(0, w.size() - 1) : std::string();
        if (!w.empty() && startsNoCase(s, i, w)) { i += w.size(); return k; }
      }
    return -1;
  };
  auto readMonth = [&] {
    int m = readName(names.months, 12, lang == kAmerican);
    if (m < 0 && lang != kAmerican) m = readName(names.mons, 12, true);
    if (m < 0) throw OraError(1843);
    return m + 1;
  };
  // a field given twice is a bad model, whatever the text
  std::set<Fe> seen;
  int years = 0, months = 0, hours = 0, meridians = 0, eras = 0, weekdays = 0;
  for (auto& e : fmt) {
    if (e.kind == Fe::Lit || e.kind == Fe::Fm || e.kind == Fe::Fx) continue;
    static const std::set<Fe> outputOnly = {Fe::Iyyy, Fe::Iyy, Fe::Iy, Fe::I, Fe::Year, Fe::Syear, Fe::Q,
                                            Fe::Ww, Fe::W, Fe::Iw, Fe::Cc, Fe::Scc, Fe::Era, Fe::EraFull};
    if (e.spell || e.th >= 0 || outputOnly.count(e.kind)) throw OraError(1820);
    if (!seen.insert(e.kind).second) throw OraError(1810);
    switch (e.kind) {
    case Fe::Yyyy: case Fe::Rrrr: case Fe::Syyyy: case Fe::YComma: case Fe::Yyy: case Fe::Yy: case Fe::Y: case Fe::Rr:
      if (++years > 1) throw OraError(1812);
      break;
    case Fe::Mm: case Fe::Mon: case Fe::Month: case Fe::Rm:
      if (++months > 1) throw OraError(1816);
      break;
    case Fe::Hh: case Fe::Hh24:
      if (++hours > 1) throw OraError(1813);
      break;
    case Fe::Am: case Fe::AmDots:
      if (++meridians > 1) throw OraError(1814);
      break;
    case Fe::Ad: case Fe::AdDots:
      if (++eras > 1) throw OraError(1815);
      break;
    case Fe::D: case Fe::Dy: case Fe::Day:
      if (++weekdays > 1) throw OraError(1817);
      break;
    default: break;
    }
  }
  if (seen.count(Fe::Hh24) && meridians) throw OraError(1818);
  if (seen.count(Fe::Syyyy) && eras) throw OraError(1819);
  for (size_t at = 0; at < fmt.size(); ++at) {
    const FmtElem& e = fmt[at];
    if (e.spell || e.th >= 0) throw OraError(1820);
    if (i >= n) {
      // text that stops before a date field the model still names is too short; a time may be left out
      for (size_t rest = at; rest < fmt.size(); ++rest)
        switch (fmt[rest].kind) {
        case Fe::Yyyy: case Fe::Rrrr: case Fe::Syyyy: case Fe::YComma: case Fe::Yyy: case Fe::Yy: case Fe::Y:
        case Fe::Rr: case Fe::Mm: case Fe::Mon: case Fe::Month: case Fe::Rm: case Fe::Dd: case Fe::Ddd: case Fe::J:
          throw OraError(1840);
        default: break;
        }
      break;
    }
    switch (e.kind) {
    case Fe::Lit: {
      bool punct = std::all_of(e.lit.begin(), e.lit.end(), isPunct);
      if (fx) {
        if (!startsNoCase(s, i, caseAs(e.lit, 0))) throw OraError(1861);
        i += e.lit.size();
      } else if (punct) {
        // blanks around it are free, but each mark of the model stands for at most one in the
        // text: '15/ JAN' fits DD-MON, '15% /JAN' does not
        auto blank = [](char c) { return c == ' '; };
        size_t marks = std::max<size_t>(1, e.lit.size() - std::count_if(e.lit.begin(), e.lit.end(), blank));
        skipSpaces();
        for (; marks && i < n && isPunct(s[i]); ++i)
          if (s[i] != ' ') --marks;
        skipSpaces();
      } else {
        std::string up = caseAs(e.lit, 0);
        if (!startsNoCase(s, i, up)) throw OraError(1861);
        i += up.size();
      }
      break;
    }
    case Fe::Fm: fm = !fm; break;
    case Fe::Fx: fx = true; break;
    case Fe::Yyyy: case Fe::Rrrr: {
      skipSpaces();
      size_t at = i;
      int y = static_cast<int>(readNum(4));
      if (e.kind == Fe::Rrrr && i - at <= 2) y = rrYear(y);
      year = y;
      break;
    }
    case Fe::Syyyy: {
      skipSpaces();
      bool minus = i < n && s[i] == '-';
      if (i < n && (s[i] == '-' || s[i] == '+')) ++i;
      year = static_cast<int>(readNum(4));
      if (minus) throw OraError(1841); // a DATE here holds years AD only
      break;
    }
    case Fe::YComma: {
      int hi = static_cast<int>(readNum(1));
      if (i < n && s[i] == ',') ++i;
      year = hi * 1000 + static_cast<int>(readNum(3));
      break;
    }
    case Fe::Ad: case Fe::AdDots: {
      static const char* const eras[] = {"A.D.", "B.C.", "AD", "BC"};
      int k = readName(eras, 4, false);
      if (k < 0) throw OraError(1856);
      if (k % 2) throw OraError(1841);
      break;
    }
    case Fe::Yyy: year = now.year / 1000 * 1000 + static_cast<int>(readNum(3)); break;
    case Fe::Y: year = now.year / 10 * 10 + static_cast<int>(readNum(1)); break;
    case Fe::Yy: case Fe::Rr: {
      // a four-digit year fits YY and RR too ('15-MAR-1999' by DD-MON-YY), unless another
      // number follows with nothing between ('990315' by YYMMDD)
      skipSpaces();
      size_t from = i;
      bool joined = false;
      if (at + 1 < fmt.size()) switch (fmt[at + 1].kind) {
        case Fe::Lit: case Fe::Fm: case Fe::Fx: case Fe::Mon: case Fe::Month: case Fe::Dy: case Fe::Day:
        case Fe::Am: case Fe::AmDots: case Fe::Ad: case Fe::AdDots: case Fe::Rm: break;
        default: joined = true;
        }
      int y = static_cast<int>(readNum(fx || joined ? 2 : 4));
      if (i - from > 2) year = y;
      else year = e.kind == Fe::Rr ? rrYear(y) : now.year / 100 * 100 + y;
      break;
    }
    case Fe::Mm:
      skipSpaces();
      if (i < n && !ora::digitC(static_cast<unsigned char>(s[i]))) month = readMonth();
      else month = static_cast<int>(readNum(2));
      if (month < 1 || month > 12) throw OraError(1843);
      break;
    case Fe::Mon: case Fe::Month: month = readMonth(); break;
    case Fe::Rm: {
      skipSpaces();
      int best = -1;
      size_t len = 0;
      for (int k = 0; k < 12; ++k)
        if (startsNoCase(s, i, kRoman[k]) && std::strlen(kRoman[k]) > len) { best = k; len = std::strlen(kRoman[k]); }
      if (best < 0) throw OraError(1843);
      i += len;
      month = best + 1;
      break;
    }
    // each field is checked as it is read, so the first bad one is the one reported
    case Fe::Dd:
      day = static_cast<int>(readNum(2));
      if (day < 1 || day > 31) throw OraError(1847);
      break;
    case Fe::Ddd:
      doy = static_cast<int>(readNum(3));
      if (doy < 1 || doy > 366) throw OraError(1848);
      break;
    case Fe::D: if (int v = static_cast<int>(readNum(1)); v < 1 || v > 7) throw OraError(1846); break;
    case Fe::Dy: case Fe::Day: {
      int k = readName(names.days, 7, lang == kAmerican);
      if (k < 0 && lang != kAmerican) k = readName(names.dys, 7, true);
      if (k < 0) throw OraError(1846);
      break;
    }
    case Fe::Hh:
      hour12 = static_cast<int>(readNum(2));
      if (hour12 < 1 || hour12 > 12) throw OraError(1849);
      break;
    case Fe::Hh24:
      hour = static_cast<int>(readNum(2));
      if (hour > 23) throw OraError(1850);
      break;
    case Fe::Mi:
      minute = static_cast<int>(readNum(2));
      if (minute > 59) throw OraError(1851);
      break;
    case Fe::Ss:
      second = static_cast<int>(readNum(2));
      if (second > 59) throw OraError(1852);
      break;
    case Fe::Sssss: sssss = readNum(5); break;
    case Fe::Ff: {
      int most = e.digits > 0 ? e.digits : 9, k = 0, scale = 100000000;
      nanos = 0;
      while (i < n && k < most && ora::digitC(static_cast<unsigned char>(s[i]))) {
        nanos += (s[i++] - '0') * scale;
        scale /= 10;
        ++k;
      }
      if (k == 0) throw OraError(1858);
      break;
    }
    case Fe::Am: case Fe::AmDots: {
      static const char* const marks[] = {"A.M.", "P.M.", "AM", "PM", "午前", "午後"};
      int k = readName(marks, 6, false);
      if (k < 0) throw OraError(1855);
      meridian = k % 2;
      break;
    }
    case Fe::J: julian = readNum(7); break;
    default: throw OraError(1820);
    }
  }
  skipSpaces();
  if (i < n) throw OraError(1830);

  if (julian >= 0) {
    if (julian < 1 || julian > 5373484) throw OraError(1854);
    DateTime d = fromDays(julian - kJulian1970);
    year = d.year; month = d.month; day = d.day;
  }
  if (year == 0 || year > 9999) throw OraError(1841);
  if (doy >= 0) {
    if (doy < 1 || doy > (leapYear(year) ? 366 : 365)) throw OraError(1848);
    DateTime d = fromDays(daysFromCivil(year, 1, 1) + doy - 1);
    month = d.month; day = d.day;
  }
  if (month < 1 || month > 12) throw OraError(1843);
  if (day < 1 || day > 31) throw OraError(1847);
  if (day > daysInMonth(year, month)) throw OraError(1839);
  if (hour12 >= 0) {
    if (hour12 < 1 || hour12 > 12) throw OraError(1849);
    hour = hour12 % 12 + (meridian == 1 ? 12 : 0);
  } else if (meridian == 1 && hour < 12) {
    hour += 12;
  }
  if (sssss >= 0) {
    if (sssss > 86399) throw OraError(1853);
    hour = static_cast<int>(sssss / 3600);
    minute = static_cast<int>(sssss / 60 % 60);
    second = static_cast<int>(sssss % 60);
  }
  if (hour > 23) throw OraError(1850);
  if (minute > 59) throw OraError(1851);
  if (second > 59) throw OraError(1852);
  DateTime d;
  d.year = year; d.month = month; d.day = day;
  d.hour = hour; d.minute = minute; d.second = second;
  d.nanos = nanos;
  return d;
}

} // namespace fn

using namespace fn;

std::string formatDateText(const DateTime& d, std::string_view model, int language) {
  return formatDate(d, parseDateFormat(model), language);
}

DateTime parseDateText(std::string_view text, std::string_view model, int language) {
  return parseByFormat(text, parseDateFormat(model), language);
}

void checkDateFormat(std::string_view model) { parseDateFormat(model); }

} // namespace ora
