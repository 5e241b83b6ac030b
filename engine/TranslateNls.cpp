// ALTER SESSION SET NLS_..., ANSI datetime literals and interval literals.
#include "FunctionUtil.h"
#include "Database.h"
#include "NewerSyntax.h"
#include "CType.h"
#include "Number.h"
#include "Session.h"
#include "TranslateImpl.h"
#include "TerritoryFormats.h"
#include "LinguisticSort.h"
#include "TimeZones.h"

#include <algorithm>
#include <cctype>

namespace ora::tx {

namespace {
// Session parameters that only tune the engine, with the values Oracle takes; nullptr for others.
const char* tuningChoices(const std::string& name) {
  if (name == "SQL_TRACE" || name == "TIMED_STATISTICS") return "FALSE,TRUE";
  if (name == "OPTIMIZER_MODE")
    return "FIRST_ROWS_1000,FIRST_ROWS_100,FIRST_ROWS_10,FIRST_ROWS_1,FIRST_ROWS,ALL_ROWS,CHOOSE,RULE";
  if (name == "OPTIMIZER_GOAL") return "FIRST_ROWS,ALL_ROWS,CHOOSE,RULE";
  if (name == "PLSQL_CODE_TYPE") return "INTERPRETED,NATIVE";
  static const char* const flags[] = {"ERROR_ON_OVERLAP_TIME", "SKIP_UNUSABLE_INDEXES", "HASH_JOIN_ENABLED", "QUERY_REWRITE_ENABLED",
                                      "PARTITION_VIEW_ENABLED", "CLOSE_CACHED_OPEN_CURSORS", "B_TREE_BITMAP_PLANS",
                                      "DB_BLOCK_CHECKING", "GLOBAL_NAMES", "NLS_NCHAR_CONV_EXCP"};
  for (const char* f : flags)
    if (name == f) return "FALSE,TRUE";
  if (name == "STAR_TRANSFORMATION_ENABLED") return "FALSE,TRUE,TEMP_DISABLE";
  if (name == "CURSOR_SHARING") return "EXACT,SIMILAR,FORCE";
  if (name == "FLAGGER") return "ENTRY,INTERMEDIATE,FULL,OFF";
  if (name == "ISOLATION_LEVEL") return "SERIALIZABLE,READ_COMMITTED";
  if (name == "REMOTE_DEPENDENCIES_MODE") return "TIMESTAMP,SIGNATURE";
  if (name == "ALWAYS_ANTI_JOIN") return "NESTED_LOOPS,MERGE,HASH";
  if (name == "ALWAYS_SEMI_JOIN") return "NESTED_LOOPS,MERGE,HASH,STANDARD";
  if (name == "QUERY_REWRITE_INTEGRITY") return "ENFORCED,TRUSTED,STALE_TOLERATED";
  if (name == "WORKAREA_SIZE_POLICY") return "AUTO,MANUAL";
  if (name == "STATISTICS_LEVEL") return "ALL,TYPICAL,BASIC";
  return nullptr;
}

// Session parameters of memory, I/O and the optimizer's costing that take a whole number.
bool tuningNumber(const std::string& name) {
  static const char* const names[] = {
      "SORT_AREA_SIZE", "SORT_AREA_RETAINED_SIZE", "HASH_AREA_SIZE", "DB_FILE_MULTIBLOCK_READ_COUNT",
      "SESSION_CACHED_CURSORS", "OPTIMIZER_INDEX_COST_ADJ", "OPTIMIZER_INDEX_CACHING", "OPTIMIZER_PERCENT_PARALLEL",
      "OPTIMIZER_MAX_PERMUTATIONS", "OPTIMIZER_DYNAMIC_SAMPLING", "PARALLEL_MIN_PERCENT", "SORT_MULTIBLOCK_READ_COUNT",
      "HASH_MULTIBLOCK_IO_COUNT", "OBJECT_CACHE_OPTIMAL_SIZE", "OBJECT_CACHE_MAX_SIZE_PERCENT", "INSTANCE",
      "DDL_LOCK_TIMEOUT"};
  for (const char* n : names)
    if (name == n) return true;
  return false;
}

// A setting statements are translated under: its change unshares the statements translated before.
template <typename T>
void setTranslating(Translation& out, T Nls::*member, T value) {
  out.actions.push_back([member, value](Session& s) {
    Nls& n = sessionNls(s.db);
    if (n.*member == value) return;
    n.*member = value;
    ++s.ddlCount;
  });
}

// Session parameters that take text the engine has no use for: tracing, outlines, compiler warnings.
bool tuningText(const std::string& name) {
  return name == "OPTIMIZER_FEATURES_ENABLE" || name == "PLSQL_WARNINGS" || name == "USE_STORED_OUTLINES" ||
         name == "PARALLEL_INSTANCE_GROUP" || name == "MAX_DUMP_FILE_SIZE" || name == "TRACEFILE_IDENTIFIER" ||
         name == "EVENTS";
}
} // namespace

void alterSession(const std::vector<Token>& t, Translation& out) {
  out.kind = StmtKind::Session;
  out.function = 52;
  size_t i = 2;
  if (i < t.size() && (is(t[i], "ENABLE") || is(t[i], "DISABLE") || is(t[i], "FORCE") || is(t[i], "ADVISE")))
    return; // read by the parser
  if (i < t.size() && is(t[i], "CLOSE")) throw OraError(2081); // no link is ever opened
  if (i >= t.size() || !is(t[i], "SET")) throw OraError(922);
  ++i;
  if (i >= t.size()) throw OraError(922);
  std::string format, territory, numbers, stampFormat, stampTzFormat; // numbers: NLS_... = '...' settings in the form TO_CHAR takes
  int language = -1, dateLanguage = -1, calendar = -1;
  bool setFormat = false;
  std::string timeZone; // LOCAL: back to the machine's zone
  while (i < t.size()) {
    if (is(t[i], "ROW") && i + 2 < t.size() && is(t[i + 1], "ARCHIVAL") && is(t[i + 2], "VISIBILITY")) {
      // ROW ARCHIVAL VISIBILITY = ACTIVE | ALL: whether the session sees the rows archived
      if (i + 3 >= t.size() || !is(t[i + 3], "=")) throw OraError(927);
      if (i + 4 >= t.size() || !(is(t[i + 4], "ALL") || is(t[i + 4], "ACTIVE"))) throw OraError(922);
      setTranslating(out, &Nls::archivedRowsSeen, is(t[i + 4], "ALL"));
      i += 5;
      continue;
    }
    const Token& name = t[i];
    if (name.kind != Token::Ident && !(name.kind == Token::QIdent && !name.text.empty() && name.text[0] == '_'))
      throw OraError(922);
    if (name.text == "EVENTS" && i + 1 < t.size() && t[i + 1].kind == Token::Str) {
      i += 2; // diagnostic events: there is no trace to write
      continue;
    }
    if (i + 1 >= t.size() || !is(t[i + 1], "=")) throw OraError(927);
    if (i + 2 >= t.size()) throw OraError(922);
    const Token& value = t[i + 2];
    if (value.kind != Token::Str && value.kind != Token::Ident && value.kind != Token::QIdent && value.kind != Token::Num)
      throw OraError(922);
    if (name.text == "NLS_DATE_FORMAT") {
      format = value.text;
      if (format.empty() || format.size() > 80) throw OraError(1821);
      checkDateFormat(format);
      setFormat = true;
    } else if (name.text == "NLS_TIMESTAMP_FORMAT" || name.text == "NLS_TIMESTAMP_TZ_FORMAT") {
      if (value.text.empty() || value.text.size() > 80) throw OraError(1821);
      checkDateFormat(value.text);
      (name.text == "NLS_TIMESTAMP_FORMAT" ? stampFormat : stampTzFormat) = value.text;
    } else if (name.text == "NLS_DATE_LANGUAGE" || name.text == "NLS_LANGUAGE") {
      int l = fn::dateLanguageNamed(value.text);
      if (l < 0) throw OraError(12705);
      // the language sets the date language too, unless the statement names that as well
      if (name.text == "NLS_LANGUAGE") language = l;
      if (name.text == "NLS_DATE_LANGUAGE" || dateLanguage < 0) dateLanguage = l;
    } else if (name.text == "NLS_NUMERIC_CHARACTERS" || name.text == "NLS_CURRENCY" ||
               name.text == "NLS_ISO_CURRENCY" || name.text == "NLS_DUAL_CURRENCY") {
      std::string v = value.text, quoted;
      for (char c : v) quoted += c == '\'' ? std::string("''") : std::string(1, c);
      std::string setting = name.text + " = '" + quoted + "' ";
      try {
        fn::numberNlsParam(setting); // a value TO_CHAR would refuse
      } catch (const OraError&) {
        throw OraError(12705);
      }
      if ((name.text == "NLS_CURRENCY" || name.text == "NLS_DUAL_CURRENCY") && (v.empty() || v.size() > 10))
        throw OraError(12705);
      numbers += setting;
    } else if (const char* allowed = tuningChoices(name.text)) {
      // tracing and the optimizer's goal: they change how fast, never what a statement gives
      std::string v = value.text;
      for (auto& c : v) c = static_cast<char>(ora::upperC(static_cast<unsigned char>(c)));
      std::string list = std::string(",") + allowed + ",";
      if (list.find("," + v + ",") == std::string::npos) {
        OraError e(96);
        std::string lower = name.text;
        for (auto& c : lower) c = static_cast<char>(ora::lowerC(static_cast<unsigned char>(c)));
        std::string among = allowed;
        for (size_t k = 0; (k = among.find(',', k)) != std::string::npos; k += 2) among.replace(k, 1, ", ");
        e.text = "ORA-00096: invalid value " + value.text + " for parameter " + lower + ", must be from among " + among;
        throw e;
      }
    } else if (tuningNumber(name.text)) {
      if (value.kind != Token::Num || value.text.find_first_not_of("0123456789") != std::string::npos)
        throw OraError(2017);
    } else if (tuningText(name.text)) {
      // their values change how a session is traced or planned, never what a statement gives
    } else if (name.text == "NLS_SORT" || name.text == "NLS_COMP") {
      std::string v = value.text;
      for (auto& c : v) c = static_cast<char>(ora::upperC(static_cast<unsigned char>(c)));
      bool known = name.text == "NLS_SORT" ? fn::knownSort(v) : v == "BINARY" || v == "LINGUISTIC" || v == "ANSI";
      if (!known) throw OraError(12705);
      setTranslating(out, name.text == "NLS_SORT" ? &Nls::sort : &Nls::comp, v);
    } else if (name.text == "GROUP_BY_POSITION_ENABLED") {
      if (!is(value, "TRUE") && !is(value, "FALSE")) throw OraError(96);
      bool on = is(value, "TRUE");
      out.actions.push_back([on](Session& s) {
        if (groupByPosition(s.db) == on) return;
        setGroupByPosition(s.db, on);
        ++s.ddlCount; // statements translated under the other reading are not shared on
      });
    } else if (name.text == "NLS_CALENDAR") {
      calendar = fn::calendarNamed(value.text);
      if (calendar < 0) throw OraError(12705);
    } else if (name.text == "TIME_ZONE") {
      // an offset or a region; LOCAL the machine's zone, DBTIMEZONE the database's
      Zone z;
      if (value.kind == Token::Str) {
        if (int err = parseZone(value.text, z)) throw OraError(err);
        if (!z.abbr.empty()) throw OraError(1857);
        timeZone = zoneName(z);
      } else if (is(value, "LOCAL")) {
        timeZone = "LOCAL";
      } else if (is(value, "DBTIMEZONE")) {
        timeZone = zoneName(databaseZone());
      } else {
        throw OraError(922);
      }
    } else if (name.text == "RECYCLEBIN") {
      bool on = is(value, "ON") || value.text == "ON";
      if (!on && !is(value, "OFF") && value.text != "OFF") {
        OraError e(96);
        e.text = "ORA-00096: invalid value " + value.text + " for parameter recyclebin, must be from among ON, OFF";
        throw e;
      }
      setTranslating(out, &Nls::recycleBin, on);
    } else if (name.text == "NLS_LENGTH_SEMANTICS") {
      bool chars = is(value, "CHAR") || value.text == "CHAR";
      if (!chars && !is(value, "BYTE") && value.text != "BYTE") throw OraError(12705);
      setTranslating(out, &Nls::charSemantics, chars);
    } else if (name.text == "NLS_TIME_FORMAT" || name.text == "NLS_TIME_TZ_FORMAT") {
      if (value.text.empty() || value.text.size() > 80) throw OraError(1821);
      checkDateFormat(value.text);
      bool zoned = name.text == "NLS_TIME_TZ_FORMAT";
      std::string v = value.text;
      out.actions.push_back([zoned, v](Session& s) { (zoned ? sessionNls(s.db).timeTzFormat : sessionNls(s.db).timeFormat) = v; });
    } else if (name.text == "CURRENT_SCHEMA") {
      // the session's own schema; another one's names would resolve where this engine cannot follow
      std::string v = value.text;
      if (value.kind == Token::Str) throw OraError(922);
      out.actions.push_back([v](Session& s) {
        if (v == sessionNls(s.db).user) return;
        if (!userExists(s.folder, v)) throw OraError(1435);
        throw OraError(1031);
      });
    } else if (name.text == "EDITION") {
      if (!is(value, "ORA$BASE") && value.text != "ORA$BASE") throw OraError(38802);
    } else if (name.kind == Token::QIdent && !name.text.empty() && name.text[0] == '_') {
      // an underscore parameter: support's own switches, which change no answer here
    } else if (name.text == "NLS_TERRITORY") {
      std::string v = value.text;
      for (auto& c : v) c = static_cast<char>(ora::upperC(static_cast<unsigned char>(c)));
      if (!fn::territoryNamed(v)) throw OraError(12705);
      territory = v;
    } else {
      throw OraError(2248);
    }
    i += 3;
  }
  out.actions.push_back([setFormat, format, language, dateLanguage, calendar, territory, numbers, timeZone, stampFormat,
                         stampTzFormat](Session& s) {
    Nls& n = sessionNls(s.db);
    const std::string decimal = n.numbers.decimal, wasTerritory = n.territory;
    const int wasLanguage = n.dateLanguage;
    if (!timeZone.empty()) n.timeZone = timeZone == "LOCAL" ? std::string() : timeZone;
    if (!territory.empty()) {
      // the territory brings its own date formats, first day of the week, separators and currencies
      const fn::Territory& t = *fn::territoryNamed(territory);
      const fn::Territory& japan = *fn::territoryNamed("JAPAN"); // the defaults are kept as empty
      auto own = [](const char* v, const char* dflt) { return std::string(v) == dflt ? std::string() : v; };
      n.territory = t.name;
      n.dateFormat = own(t.dateFormat, japan.dateFormat);
      n.timestampFormat = own(t.stampFormat, japan.stampFormat);
      n.timestampTzFormat = own(t.stampTzFormat, japan.stampTzFormat);
      n.mondayFirst = t.mondayFirst;
      n.numbers.decimal = std::string(1, t.numeric[0]);
      n.numbers.group = std::string(1, t.numeric[1]);
      n.numbers.currency = t.currency;
      n.numbers.iso = t.iso;
      n.numbers.dual = std::string(t.dual) == t.currency ? std::string() : t.dual;
      n.timeFormat.clear();
      n.timeTzFormat.clear();
    }
    if (!numbers.empty()) n.numbers = fn::numberNlsParam(numbers, n.numbers);

    if (setFormat) n.dateFormat = format == "RR-MM-DD" ? std::string() : format;
    if (!stampFormat.empty()) n.timestampFormat = stampFormat;
    if (!stampTzFormat.empty()) n.timestampTzFormat = stampTzFormat;
    if (language >= 0) n.language = language;
    if (dateLanguage >= 0) n.dateLanguage = dateLanguage;
    if (calendar >= 0) n.calendar = calendar;
    // statements are translated for the decimal character (TO_CHAR of a number) and sized for the
    // date language's names and the territory's DL and DS
    if (n.numbers.decimal != decimal || n.territory != wasTerritory || n.dateLanguage != wasLanguage) ++s.ddlCount;
  });
}

std::string ansiDate(const std::string& text) {
  // DATE 'YYYY-MM-DD': the year, month and day in digits, nothing else
  size_t i = 0, n = text.size();
  auto digits = [&](int most) {
    int v = 0, k = 0;
    while (i < n && k < most && ora::digitC(static_cast<unsigned char>(text[i]))) {
      v = v * 10 + (text[i++] - '0');
      ++k;
    }
    if (k == 0) throw OraError(1861);
    return v;
  };
  auto dash = [&] {
    if (i >= n || text[i] != '-') throw OraError(1861);
    ++i;
  };
  DateTime d;
  d.year = digits(4);
  dash();
  d.month = digits(2);
  dash();
  d.day = digits(2);
  if (i != n) throw OraError(1861);
  if (d.year == 0) throw OraError(1841);
  if (d.month < 1 || d.month > 12) throw OraError(1843);
  if (d.day < 1 || d.day > 31) throw OraError(1847);
  static const int dim[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (d.year % 4 == 0 && d.year % 100 != 0) || d.year % 400 == 0;
  if (d.day > dim[d.month - 1] + (d.month == 2 && leap)) throw OraError(1839);
  return storedDate(d);
}

std::string ansiTimestamp(const std::string& text) {
  // TIMESTAMP 'YYYY-MM-DD HH24:MI:SS[.FF]': the date as DATE '...' reads it, then the time
  size_t sp = text.find(' ');
  DateTime d;
  ora::parseStoredDate(reinterpret_cast<const unsigned char*>(ansiDate(text.substr(0, sp)).data()), 19, d);
  if (sp == std::string::npos) throw OraError(1861);
  size_t i = sp;
  while (i < text.size() && text[i] == ' ') ++i;
  auto field = [&](int most, int& v, int code) {
    int k = 0;
    v = 0;
    while (i < text.size() && k < 2 && ora::digitC(static_cast<unsigned char>(text[i]))) {
      v = v * 10 + (text[i++] - '0');
      ++k;
    }
    if (k == 0) throw OraError(1861);
    if (v > most) throw OraError(code);
  };
  auto colon = [&] {
    if (i >= text.size() || text[i] != ':') throw OraError(1861);
    ++i;
  };
  field(23, d.hour, 1850);
  colon();
  field(59, d.minute, 1851);
  colon();
  field(59, d.second, 1852);
  if (i < text.size() && text[i] == '.') {
    int scale = 100000000, k = 0;
    for (++i; i < text.size() && ora::digitC(static_cast<unsigned char>(text[i])); ++i, ++k, scale /= 10) {
      if (k == 9) throw OraError(1880); // the fractional seconds must be between 0 and 999999999
      d.nanos += (text[i] - '0') * scale;
    }
  }
  if (i < text.size() && text[i] == ' ') {
    // then its zone: an offset, or a region and perhaps its abbreviation
    Zone z;
    if (int err = parseZone(std::string_view(text).substr(i), z)) throw OraError(err);
    int err = 0;
    utcOfLocal(z, fn::secondsOf(d), err);
    if (err) throw OraError(err);
    return zonedText(d, z);
  }
  if (i != text.size()) throw OraError(1861);
  return storedTimestamp(d);
}

// The token after INTERVAL '...' unit [(p)] [TO unit [(p)]] at i.
size_t Translator::intervalEnd(size_t i) const {
  size_t k = i + 2;
  for (int part = 0; part < 2; ++part) {
    if (part == 1) {
      if (!is(at(k), "TO")) break;
      ++k;
    }
    ++k; // the unit
    if (is(at(k), "(")) k = matching(k) + 1;
  }
  return k;
}

// Whether [b, e) is a year-to-month interval literal, and its months: '2' YEAR, '14' MONTH,
// '1-6' YEAR TO MONTH, with a leading precision of 2 digits unless given.
bool Translator::monthInterval(size_t b, size_t e, int64_t& months) const {
  if (b + 2 >= e || !is(t_[b], "INTERVAL") || t_[b + 1].kind != Token::Str || intervalEnd(b) != e) return false;
  bool years = is(at(b + 2), "YEAR");
  if (!years && !is(at(b + 2), "MONTH")) return false;
  size_t k = b + 3;
  int precision = 2;
  if (is(at(k), "(")) {
    if (at(k + 1).kind != Token::Num) throw OraError(30088);
    precision = std::atoi(at(k + 1).text.c_str());
    if (precision > 9) throw OraError(30088);
    k = matching(k) + 1;
  }
  bool toMonth = is(at(k), "TO");
  if (toMonth && (!years || !is(at(k + 1), "MONTH"))) throw OraError(30089);
  std::string text = t_[b + 1].text;
  bool negative = !text.empty() && text[0] == '-';
  if (negative || (!text.empty() && text[0] == '+')) text.erase(0, 1);
  size_t dash = toMonth ? text.find('-') : std::string::npos;
  std::string lead = toMonth ? text.substr(0, dash) : text;
  std::string trail = toMonth && dash != std::string::npos ? text.substr(dash + 1) : std::string();
  auto digits = [](const std::string& f) {
    return !f.empty() && f.size() <= 9 && std::all_of(f.begin(), f.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  if (!digits(lead) || (toMonth && (dash == std::string::npos || !digits(trail)))) throw OraError(1867);
  if (static_cast<int>(lead.size()) > precision) throw OraError(1873);
  int64_t v = std::atoll(lead.c_str());
  if (toMonth) {
    int64_t m = std::atoll(trail.c_str());
    if (m > 11) throw OraError(1843);
    v = v * 12 + m;
  } else if (years) {
    v *= 12;
  }
  months = negative ? -v : v;
  return true;
}

// A day-to-second interval as the number of days it spans, which date arithmetic adds as Oracle
// adds the interval; year-to-month ones are refused.
std::string Translator::intervalDays(size_t i, size_t& after) {
  after = intervalEnd(i);
  static const char* const units[] = {"DAY", "HOUR", "MINUTE", "SECOND"};
  static const double perDay[] = {1, 24, 1440, 86400};
  auto unitAt = [&](size_t k) {
    for (int u = 0; u < 4; ++u)
      if (is(at(k), units[u])) return u;
    if (is(at(k), "YEAR") || is(at(k), "MONTH")) throw OraError(30081, "INTERVAL YEAR TO MONTH is not supported");
    throw OraError(30089);
  };
  int lead = unitAt(i + 2), trail = lead;
  size_t k = i + 3;
  if (is(at(k), "(")) k = matching(k) + 1;
  if (is(at(k), "TO")) trail = unitAt(k + 1);
  if (trail < lead) throw OraError(30089);
  // the fields from the leading unit to the trailing one: "1 12:30:00", "90", "2:30"
  std::string text = at(i + 1).text;
  bool negative = !text.empty() && text[0] == '-';
  if (negative || (!text.empty() && text[0] == '+')) text.erase(0, 1);
  std::vector<std::string> fields;
  std::string cur;
  for (char c : text) {
    if ((c >= '0' && c <= '9') || c == '.') cur += c;
    else if (c == ' ' || c == ':') { fields.push_back(cur); cur.clear(); }
    else throw OraError(1867); // the interval is invalid
  }
  fields.push_back(cur);
  if (static_cast<int>(fields.size()) != trail - lead + 1) throw OraError(1867);
  double days = 0;
  for (size_t f = 0; f < fields.size(); ++f) {
    if (fields[f].empty()) throw OraError(1867);
    days += cStrtod(fields[f].c_str()) / perDay[lead + static_cast<int>(f)];
  }
  return "(" + cFormat(negative ? -days : days, 'g', 17) + ")";
}

} // namespace ora::tx
