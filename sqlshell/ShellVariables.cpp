// Substitution variables: &name, &&name, DEFINE, UNDEFINE and ACCEPT.
#include "CType.h"
#include "DisplayWidth.h"
#include "NumberText.h"
#include "OciCompo.h"
#include "ShellWords.h"
#include "SqlQuote.h"
#include "SqlShell.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <sstream>

using namespace shellwords;

namespace {

bool IsNameChar(char c) {
  return ora::alnumC(static_cast<unsigned char>(c)) || c == '_' || c == '$' || c == '#';
}

std::vector<std::string> Lines(const std::string& s) {
  std::vector<std::string> v;
  std::istringstream in(s);
  for (std::string l; std::getline(in, l);)
    v.push_back(l);
  return v;
}

} // namespace

std::string TSqlShell::Substitute(const std::string& text, bool verify) {
  const char prefix = Settings.DefineChar;
  if (!Settings.DefineOn || text.find(prefix) == std::string::npos)
    return text;
  std::string out;
  bool changed = false;
  const size_t n = text.size();
  const char escape = Settings.Escape;
  for (size_t i = 0; i < n;) {
    if (escape && text[i] == escape && i + 1 < n && text[i + 1] == prefix) {
      out += prefix; // an escaped prefix is plain text
      i += 2;
      continue;
    }
    if (text[i] != prefix) {
      out += text[i++];
      continue;
    }
    bool twice = i + 1 < n && text[i + 1] == prefix;
    size_t b = i + (twice ? 2 : 1), e = b;
    while (e < n && IsNameChar(text[e]))
      ++e;
    if (e == b) { // a prefix without a name stays as it is
      out += text[i++];
      continue;
    }
    std::string name = text.substr(b, e - b);
    std::string value;
    if (!Variable(name, value)) {
      value = Ask("Enter value for " + name + ": ", true);
      if (twice)
        SetVariable(name, value);
    }
    out += value;
    changed = true;
    // CONCAT ("." by default) joins a variable to the text after it.
    i = e < n && Settings.Concat && text[e] == Settings.Concat ? e + 1 : e;
  }
  if (changed && verify && Settings.Verify) {
    std::vector<std::string> before = Lines(text), after = Lines(out);
    for (size_t k = 0; k < std::max(before.size(), after.size()); ++k) {
      std::string o = k < before.size() ? before[k] : std::string();
      std::string v = k < after.size() ? after[k] : std::string();
      if (o == v)
        continue;
      std::string no = std::to_string(k + 1);
      no.insert(0, no.size() < 4 ? 4 - no.size() : 0, ' ');
      FOut << "old" << no << ": " << o << "\n"
           << "new" << no << ": " << v << "\n";
    }
  }
  return out;
}

// The variables the shell defines itself, as long as the user has not.
std::string TSqlShell::ConnectIdentifier() {
  if (!FSession.UserHost.empty())
    return FSession.UserHost;
  // a logon without one is to the local database: its name
  const auto rows = QueryRows(FSession, "SELECT NAME FROM V$DATABASE");
  return rows.empty() ? std::string() : rows[0][0];
}

std::vector<std::pair<std::string, std::string>> TSqlShell::PredefinedVariables() {
  const bool on = FSession.Connected();
  std::string date;
  if (on) {
    TOraCursor c;
    c.SetSession(&FSession);
    c.SetNumberOfRows(1);
    c.SetDatesAsText(true);
    c.SetSQL({"SELECT SYSDATE FROM DUAL"});
    if (c.Open() && c.Parse() && c.DescribeFields() && c.Exec() &&
        (c.FetchRowsQuiet() || c.ReturnCode() == 1403) && c.RowsProcessed() > 0)
      date = c.Fields(0)->GetAsString(0);
    if (FSession.Connected() && c.Opened())
      c.Close();
  }
  std::vector<std::pair<std::string, std::string>> v = {
      {"_DATE", date},
      {"_CONNECT_IDENTIFIER", on ? ConnectIdentifier() : std::string()},
      {"_USER", on ? Upper(FSession.UserName) : std::string()},
      {"_PRIVILEGE", ""},
      {"_SQLPLUS_RELEASE", "0703000000"},
      {"_EDITOR", "ed"},
      {"_O_VERSION", on ? "Tessel3 embedded engine, version 7 call interface" : ""},
      {"_O_RELEASE", on ? "0703000000" : ""}};
  v.erase(std::remove_if(v.begin(), v.end(),
                         [&](const auto& d) {
                           return std::any_of(FDefines.begin(), FDefines.end(),
                                              [&](const auto& u) { return u.first == d.first; });
                         }),
          v.end());
  return v;
}

bool TSqlShell::Variable(const std::string& name, std::string& value) {
  const std::string key = Upper(name);
  auto it =
      std::find_if(FDefines.begin(), FDefines.end(), [&](const auto& d) { return d.first == key; });
  if (it != FDefines.end()) {
    value = it->second;
    return true;
  }
  if (key.empty() || key[0] != '_' || FUndefinedPredefined.count(key))
    return false;
  for (auto& [k, v] : PredefinedVariables())
    if (k == key) {
      value = v;
      return true;
    }
  return false;
}

void TSqlShell::SetVariable(const std::string& name, const std::string& value, bool number) {
  const std::string key = Upper(name);
  auto it =
      std::find_if(FDefines.begin(), FDefines.end(), [&](const auto& d) { return d.first == key; });
  if (it != FDefines.end())
    it->second = value;
  else
    FDefines.emplace_back(key, value);
  if (number)
    FNumberDefines.insert(key);
  else
    FNumberDefines.erase(key);
  FUndefinedPredefined.erase(key);
}

void TSqlShell::DefineCommand(const std::string& args) {
  // The name in 15 places, as the classic listing lines them up.
  auto list = [&](const std::pair<std::string, std::string>& d) {
    std::string name = d.first;
    if (name.size() < 15)
      name.resize(15, ' ');
    if (FNumberDefines.count(d.first))
      FOut << "DEFINE " << name << " = " << d.second << " (NUMBER)\n";
    else
      FOut << "DEFINE " << name << " = \"" << d.second << "\" (CHAR)\n";
  };
  std::string a = Trim(args);
  if (a.empty()) {
    for (auto& d : PredefinedVariables())
      if (!FUndefinedPredefined.count(d.first))
        list(d);
    for (auto& d : FDefines)
      list(d);
    return;
  }
  size_t eq = a.find('=');
  std::string name = Trim(a.substr(0, eq));
  if (eq == std::string::npos)
    while (!name.empty() && name.back() == ';')
      name.pop_back();
  bool valid = !name.empty() && std::all_of(name.begin(), name.end(), IsNameChar);
  if (!valid) {
    FOut << "SP2-0136: DEFINE requires a variable name, not \"" << name << "\"\n";
    return;
  }
  std::string key = Upper(name);
  if (eq == std::string::npos) {
    std::string value;
    if (!Variable(name, value))
      FOut << "SP2-0135: symbol " << name << " is UNDEFINED\n";
    else
      list({key, value});
    return;
  }
  std::string text = Trim(a.substr(eq + 1));
  if (text.empty()) {
    FOut << "SP2-0137: DEFINE requires a value following equal sign\n";
    return;
  }
  std::string value;
  if (!text.empty() && (text[0] == '\'' || text[0] == '"')) {
    const char q = text[0];
    size_t i = 1;
    for (; i < text.size(); ++i) {
      if (text[i] == q) {
        if (i + 1 < text.size() && text[i + 1] == q) {
          value += q;
          ++i;
          continue;
        }
        break;
      }
      value += text[i];
    }
  } else {
    while (!text.empty() && text.back() == ';')
      text.pop_back();
    value = Trim(text);
  }
  SetVariable(name, value);
}

void TSqlShell::UndefineCommand(const std::string& args) {
  std::istringstream in(args);
  for (std::string w; in >> w;) {
    std::string key = Upper(w);
    while (!key.empty() && key.back() == ';')
      key.pop_back();
    FNumberDefines.erase(key);
    if (!key.empty() && key[0] == '_')
      FUndefinedPredefined.insert(key);
    FDefines.erase(std::remove_if(FDefines.begin(), FDefines.end(),
                                  [&](const auto& d) { return d.first == key; }),
                   FDefines.end());
  }
}

// ACC[EPT] name [NUM[BER]|CHAR|DATE] [DEF[AULT] value] [PROMPT text|NOPR[OMPT]] [HIDE]: reads a
// line into a substitution variable.
namespace {

// Whether an ACCEPTed value fits its FORMAT: a number no more integer digits and decimals than
// a model of 9s, 0s and a point allows, a text no longer than An. Other models are not checked.
bool FitsDigits(const std::string& value, const std::string& f);

bool FitsAcceptFormat(const std::string& value, const std::string& format, bool number) {
  const std::string f = Upper(format);
  if (!number) {
    long long n = 0;
    return f.size() < 2 || f[0] != 'A' || !ParseInt(f.substr(1), n) ||
           DisplayWidth(value) <= n; // Shift-JIS bytes: two for a kanji
  }
  // 9EEEE takes "3e2" but not "300" or "12e2": the mantissa must fit the digits before EEEE.
  const bool sci = f.size() > 4 && f.compare(f.size() - 4, 4, "EEEE") == 0;
  const std::string digits = sci ? f.substr(0, f.size() - 4) : f;
  if (value.empty() || digits.empty() || digits.find_first_not_of("90,.") != std::string::npos)
    return true;
  std::string v = value;
  if (sci) {
    const size_t e = Upper(v).find('E');
    if (e == std::string::npos)
      return false;
    v.resize(e);
    if (v.empty())
      return false;
  }
  return FitsDigits(v, digits);
}

// Whether a plain number has no more integer digits and decimals than a model of 9s, 0s and a
// point allows.
bool FitsDigits(const std::string& value, const std::string& f) {
  const size_t point = f.find('.');
  const std::string intModel = f.substr(0, point);
  const auto intPlaces =
      std::count_if(intModel.begin(), intModel.end(), [](char c) { return c == '9' || c == '0'; });
  const auto decPlaces = point == std::string::npos ? 0 : f.size() - point - 1;
  size_t i = value[0] == '-' || value[0] == '+' ? 1 : 0;
  if (value.find_first_not_of("0123456789.", i) != std::string::npos)
    return false; // an exponent the model has no EEEE for
  const size_t dot = value.find('.');
  std::string whole = value.substr(i, dot == std::string::npos ? std::string::npos : dot - i);
  whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size()));
  const size_t decimals = dot == std::string::npos ? 0 : value.size() - dot - 1;
  return static_cast<long>(whole.size()) <= intPlaces && decimals <= decPlaces;
}

} // namespace

bool TSqlShell::ValidDate(const std::string& value, const std::string& format) {
  if (!FSession.Connected())
    return true; // nothing to check it with
  TOraCursor c;
  c.SetSession(&FSession);
  c.SetNumberOfRows(1);
  c.SetSQL({"SELECT TO_DATE(" + OraText(value) +
            (format.empty() ? std::string() : ", " + OraText(format)) + ") FROM DUAL"});
  c.OnError = [](TOraCursor&, const std::string&) {};
  const bool ok = c.Open() && c.Parse() && c.DescribeFields() && c.Exec() &&
                  (c.FetchRowsQuiet() || c.ReturnCode() == 1403) && c.RowsProcessed() > 0;
  if (FSession.Connected() && c.Opened())
    c.Close();
  return ok;
}

void TSqlShell::AcceptCommand(const std::string& args) {
  std::vector<std::string> w;
  std::vector<bool> quoted;
  for (size_t i = 0; i < args.size();) {
    if (args[i] == ' ' || args[i] == '\t') {
      ++i;
      continue;
    }
    std::string word;
    quoted.push_back(args[i] == '\'' || args[i] == '"');
    if (quoted.back()) {
      const char q = args[i];
      for (++i; i < args.size(); ++i) {
        if (args[i] == q && i + 1 < args.size() && args[i + 1] == q) {
          word += q;
          ++i;
        } else if (args[i] == q) {
          ++i;
          break;
        } else {
          word += args[i];
        }
      }
    } else {
      while (i < args.size() && args[i] != ' ' && args[i] != '\t')
        word += args[i++];
    }
    w.push_back(word);
  }
  if (w.empty()) {
    FOut << "SP2-0002: ACCEPT statement must specify a variable name\n";
    return;
  }
  if (!std::all_of(w[0].begin(), w[0].end(), IsNameChar)) {
    FOut << "SP2-0003: Ill-formed ACCEPT command starting as " << Trim(args) << "\n";
    return;
  }
  std::string prompt, defaultValue, format;
  bool number = false, date = false, hide = false, hasDefault = false, noPrompt = false;
  for (size_t i = 1; i < w.size(); ++i) {
    std::string o = Upper(w[i]);
    if (Abbrev(o, "NUMBER", 3))
      number = true;
    else if (o == "CHAR" || o == "DATE") {
      number = false;
      date = o == "DATE";
    } else if (Abbrev(o, "DEFAULT", 3) && i + 1 < w.size()) {
      defaultValue = w[++i];
      hasDefault = true;
    } else if (Abbrev(o, "FORMAT", 3) && i + 1 < w.size())
      format = w[++i];
    else if (Abbrev(o, "PROMPT", 6) && i + 1 < w.size() && quoted[i + 1]) {
      prompt = w[++i]; // options such as HIDE may follow a quoted text
    } else if (o == "PROMPT" && i + 1 < w.size()) {
      // the rest of the line is the prompt text
      prompt.clear();
      for (size_t k = i + 1; k < w.size(); ++k)
        prompt += (k > i + 1 ? " " : "") + w[k];
      break;
    } else if (Abbrev(o, "NOPROMPT", 4)) {
      prompt.clear();
      noPrompt = true; // "skips a line and waits for input without displaying a prompt"
    } else if (o == "HIDE")
      hide = true;
    else {
      FOut << "SP2-0003: unknown ACCEPT option \"" << w[i] << "\"\n";
      return;
    }
  }
  // A value that is not a number is refused and asked for again.
  for (;;) {
    if (noPrompt)
      FOut << "\n";
    std::string value = Ask(prompt, !hide);
    if (value.empty() && hasDefault)
      value = defaultValue;
    if (number) {
      std::string t = Trim(value);
      char* end = nullptr;
      if (t.empty() || (std::strtod(t.c_str(), &end), end == nullptr || *end != 0)) {
        FOut << "SP2-0425: \"" << value << "\" is not a valid NUMBER\n";
        if (!FIn.good())
          return;
        continue;
      }
      value = t;
    }
    if (date && !ValidDate(value, format)) {
      FOut << "SP2-0685: The date \"" << value << "\" is invalid or format mismatched \""
           << (format.empty() ? SessionDateFormat() : format) << "\"\n";
      if (!FIn.good())
        return;
      continue;
    }
    if (!date && !FitsAcceptFormat(value, format, number)) {
      FOut << "SP2-0598: \"" << value << "\" does not match input format \"" << format << "\"\n";
      if (!FIn.good())
        return;
      continue;
    }
    if (number) // kept as the number's own text: 3e2 is 300
      value = NumberInWidth(value, 40);
    SetVariable(w[0], value, number);
    return;
  }
}
