// The SET options of the classic shell that shape how statements are entered and sent
// (SQLCASE, BLOCKTERMINATOR, SQLCONTINUE, SQLPREFIX), and those accepted for scripts' sake
// that have nothing to change here (server-side caches, national-language terminals, ...).
#include "SqlShell.h"

#include "CType.h"
#include "ShellWords.h"

#include <algorithm>

using namespace shellwords;

namespace {

std::string Lower(std::string s) {
  for (auto& c : s)
    c = static_cast<char>(ora::lowerC(static_cast<unsigned char>(c)));
  return s;
}

std::string Unquote(const std::string& v) {
  if (v.size() >= 2 && (v[0] == '\'' || v[0] == '"') && v.back() == v[0])
    return v.substr(1, v.size() - 2);
  return v;
}

} // namespace

int TSqlShell::SetOtherOption(const std::vector<std::string>& w, size_t i) {
  const std::string opt = Upper(w[i]);
  struct TOption {
    const char* Name;
    size_t Shortest;
    bool RestOfLine; // its value is the rest of the command
  };
  static const TOption options[] = {
      {"SQLCASE", 4, false},
      {"BLOCKTERMINATOR", 3, false},
      {"SQLCONTINUE", 5, false},
      {"SQLPREFIX", 6, false},
      {"SQLPLUSCOMPATIBILITY", 13, false},
      {"COMPATIBILITY", 3, false},
      {"ESCCHAR", 7, false},
      {"FLAGGER", 3, false},
      {"SHIFTINOUT", 5, false},
      {"ROWPREFETCH", 11, false},
      {"STATEMENTCACHE", 10, false},
      {"LOBPREFETCH", 11, false},
      {"SECUREDCOL", 10, true},
      {"ERRORLOGGING", 6, true},
      {"HISTORY", 4, false},
      {"LOGSOURCE", 9, false},
      {"AUTORECOVERY", 7, false},
      {"INSTANCE", 8, false},
      {"XQUERY", 6, true},
  };
  const TOption* found = nullptr;
  for (const TOption& o : options)
    if (Abbrev(opt, o.Name, o.Shortest))
      found = &o;
  if (!found)
    return -1;
  const std::string name = found->Name, full = Lower(name);
  if (i + 1 >= w.size()) {
    FOut << "SP2-0265: " << full << " must be set ON or OFF\n";
    return 0;
  }
  const std::string v = Upper(w[i + 1]), text = Unquote(w[i + 1]);
  const int used = found->RestOfLine ? static_cast<int>(w.size() - i) : 2;
  auto oneOf = [&](std::initializer_list<const char*> values, const char* message) {
    if (std::any_of(values.begin(), values.end(), [&](const char* a) { return v == a; }))
      return true;
    FOut << message << "\n";
    return false;
  };
  auto number = [&](long long lo, long long hi) {
    long long n = 0;
    if (!ParseInt(v, n)) {
      FOut << "SP2-0268: " << full << " option not a valid number\n";
      return false;
    }
    if (n < lo || n > hi) {
      FOut << "SP2-0267: " << full << " option " << w[i + 1] << " out of range (" << lo
           << " through " << hi << ")\n";
      return false;
    }
    return true;
  };
  // a character other than a letter, digit or blank, or ON (the default) or OFF
  auto character = [&](char& target, char standard, bool off) {
    if (v == "ON" || (off && v == "OFF")) {
      target = v == "ON" ? standard : '\0';
      return true;
    }
    if (text.size() == 1 && !ora::alnumC(static_cast<unsigned char>(text[0])) && text[0] != ' ') {
      target = text[0];
      return true;
    }
    FOut << "SP2-0268: " << full << " option not a valid character" << (off ? " or ON/OFF" : "")
         << ": " << w[i + 1] << "\n";
    return false;
  };
  bool ok = true;
  if (name == "SQLCASE") {
    if (Abbrev(v, "MIXED", 3) || Abbrev(v, "UPPER", 2) || Abbrev(v, "LOWER", 2))
      Settings.SqlCase = v[0];
    else {
      FOut << "SP2-0265: sqlcase must be set MIXED, LOWER or UPPER\n";
      ok = false;
    }
  } else if (name == "BLOCKTERMINATOR")
    ok = character(Settings.BlockTerminator, '.', true);
  else if (name == "SQLCONTINUE")
    Settings.SqlContinue = text;
  else if (name == "SQLPREFIX")
    ok = character(Settings.SqlPrefix, '#', false);
  else if (name == "ROWPREFETCH")
    ok = number(1, 32767);
  else if (name == "STATEMENTCACHE")
    ok = number(0, 32767);
  else if (name == "LOBPREFETCH")
    ok = number(0, 2147483647);
  else if (name == "COMPATIBILITY")
    ok = oneOf({"V7", "V8", "NATIVE"}, "SP2-0265: compatibility must be set V7, V8 or NATIVE");
  else if (name == "FLAGGER")
    ok = oneOf({"OFF", "ENTRY", "INTERMEDIATE", "FULL"},
               "SP2-0265: flagger must be set OFF, ENTRY, INTERMEDIATE or FULL");
  else if (name == "SHIFTINOUT")
    ok = oneOf({"VISIBLE", "INVISIBLE"}, "SP2-0265: shiftinout must be set VISIBLE or INVISIBLE");
  else if (name == "AUTORECOVERY")
    ok = oneOf({"ON", "OFF"}, "SP2-0265: autorecovery must be set ON or OFF");
  else if (name == "HISTORY" && v != "ON" && v != "OFF")
    ok = number(1, 100000);
  else if (name == "ESCCHAR")
    ok = oneOf({"@", "?", "%", "$", "OFF"}, "SP2-0265: escchar must be set @, ?, %, $ or OFF");
  // SQLPLUSCOMPATIBILITY, SECUREDCOL, ERRORLOGGING, LOGSOURCE, INSTANCE and XQUERY: accepted;
  // there is no older behaviour, no secured column, no error table and no other instance
  return ok ? used : 0;
}
