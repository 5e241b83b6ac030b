// SPOOL, SHOW ERRORS and the output stream that feeds the spool file.
#include "SqlShell.h"

#include "CType.h"
#include "OciCompo.h"
#include "ShellWords.h"
#include "SqlQuote.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>

namespace fs = std::filesystem;
using namespace shellwords;

namespace {

const char* Entity(char c) {
  switch (c) {
  case '&':
    return "&amp;";
  case '<':
    return "&lt;";
  case '>':
    return "&gt;";
  case '"':
    return "&quot;";
  default:
    return nullptr;
  }
}

} // namespace

int TTeeBuf::overflow(int c) {
  if (c == traits_type::eof())
    return traits_type::not_eof(c);
  if (Entities)
    if (const char* e = Entity(static_cast<char>(c))) {
      xsputn(e, static_cast<std::streamsize>(std::strlen(e)));
      return c;
    }
  if (!Mute)
    FTarget->sputc(static_cast<char>(c));
  if (Copy)
    Copy->sputc(static_cast<char>(c));
  return c;
}

std::streamsize TTeeBuf::xsputn(const char* s, std::streamsize n) {
  if (Entities) {
    // the text between the characters that need an entity goes as it is
    Entities = false;
    std::streamsize from = 0;
    for (std::streamsize k = 0; k < n; ++k)
      if (const char* e = Entity(s[k])) {
        xsputn(s + from, k - from);
        xsputn(e, static_cast<std::streamsize>(std::strlen(e)));
        from = k + 1;
      }
    xsputn(s + from, n - from);
    Entities = true;
    return n;
  }
  if (!Mute)
    FTarget->sputn(s, n);
  if (Copy)
    Copy->sputn(s, n);
  return n;
}

int TTeeBuf::sync() {
  FTarget->pubsync();
  if (Copy)
    Copy->pubsync();
  return 0;
}

namespace {

bool IsNamePart(char c) {
  return ora::alnumC(static_cast<unsigned char>(c)) || c == '_' || c == '$' || c == '#' ||
         c == '.' || static_cast<unsigned char>(c) >= 0x80;
}

// The first words of a statement, skipping comments; a double-quoted name is one word, quotes
// kept. Stops at anything else.
std::vector<std::string> Words(const std::string& s, size_t count) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < s.size() && out.size() < count) {
    if (ora::spaceC(static_cast<unsigned char>(s[i]))) {
      ++i;
    } else if (s.compare(i, 2, "--") == 0) {
      size_t nl = s.find('\n', i);
      i = nl == std::string::npos ? s.size() : nl + 1;
    } else if (s.compare(i, 2, "/*") == 0) {
      size_t end = s.find("*/", i + 2);
      i = end == std::string::npos ? s.size() : end + 2;
    } else if (IsNamePart(s[i]) || s[i] == '"') {
      size_t b = i;
      while (i < s.size() && (IsNamePart(s[i]) || s[i] == '"')) {
        if (s[i] == '"') {
          size_t end = s.find('"', i + 1);
          i = end == std::string::npos ? s.size() : end + 1;
        } else {
          ++i;
        }
      }
      out.push_back(s.substr(b, i - b));
    } else {
      break;
    }
  }
  return out;
}

// The object name of "[schema.]name" as the dictionary holds it.
std::string DictionaryName(const std::string& written) {
  std::string n = written;
  if (n.empty() || n.back() != '"') {
    size_t dot = n.rfind('.');
    if (dot != std::string::npos)
      n = n.substr(dot + 1);
  } else {
    size_t open = n.rfind('"', n.size() - 2);
    if (open != std::string::npos)
      return n.substr(open + 1, n.size() - open - 2);
  }
  return Upper(n);
}

bool IsUnitType(const std::string& w) {
  return w == "PROCEDURE" || w == "FUNCTION" || w == "PACKAGE" || w == "TRIGGER" || w == "TYPE" ||
         w == "VIEW" || w == "DIMENSION" || w == "JAVA";
}

// Word-wraps text into lines of at most `width` characters.
std::vector<std::string> Wrap(const std::string& text, size_t width) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  for (std::string w; in >> w;) {
    if (!line.empty() && line.size() + 1 + w.size() > width) {
      lines.push_back(line);
      line.clear();
    }
    line += (line.empty() ? "" : " ") + w;
  }
  if (!line.empty())
    lines.push_back(line);
  return lines;
}

} // namespace

void TSqlShell::NoteCreatedUnit(const std::string& text) {
  std::vector<std::string> w = Words(text, 8);
  for (size_t i = 0; i + 1 < w.size(); ++i)
    w[i] = w[i][0] == '"' ? w[i] : Upper(w[i]);
  size_t i = 0;
  if (i >= w.size() || w[i] != "CREATE")
    return;
  ++i;
  if (i + 1 < w.size() && w[i] == "OR" && w[i + 1] == "REPLACE")
    i += 2;
  if (i < w.size() && (w[i] == "EDITIONABLE" || w[i] == "NONEDITIONABLE"))
    ++i;
  if (i + 1 >= w.size() || !IsUnitType(w[i]))
    return;
  std::string type = w[i++];
  if ((type == "PACKAGE" || type == "TYPE") && i + 1 < w.size() && w[i] == "BODY") {
    type += " BODY";
    ++i;
  }
  FLastUnitType = type;
  FLastUnitName = DictionaryName(w[i]);
}

std::string TSqlShell::QueryValue(const std::string& sql, std::string& err) {
  TOraCursor c;
  c.SetSession(&FSession);
  c.SetNumberOfRows(1);
  c.SetSQL({sql});
  c.OnError = [&](TOraCursor&, const std::string& msg) { err = msg; };
  bool ok = c.Open() && c.Parse() && c.DescribeFields() && c.Exec();
  std::string value;
  // The fetch that reaches the end reports 1403 even when it delivered the row.
  if (ok && (c.FetchRowsQuiet() || c.ReturnCode() == 1403) && c.RowsProcessed() > 0)
    value = c.Fields(0)->GetAsString(0);
  else if (ok && c.ReturnCode() != 1403)
    err = c.ErrorText();
  c.OnError = nullptr;
  if (FSession.Connected() && c.Opened())
    c.Close();
  return value;
}

std::string TSqlShell::ObjectStatus(const std::string& name, const std::string& type,
                                    std::string& err) {
  return QueryValue("SELECT STATUS FROM USER_OBJECTS WHERE OBJECT_NAME = " + OraText(name) +
                        " AND OBJECT_TYPE = " + OraText(type),
                    err);
}

char TSqlShell::SessionDecimal() {
  std::string err;
  const std::string value = QueryValue(
      "SELECT VALUE FROM NLS_SESSION_PARAMETERS WHERE PARAMETER = 'NLS_NUMERIC_CHARACTERS'", err);
  return value.empty() ? '.' : value[0];
}

std::string TSqlShell::LocalDecimal(std::string text) const {
  if (FDecimal != '.')
    std::replace(text.begin(), text.end(), '.', FDecimal);
  return text;
}

std::map<std::string, std::string> TSqlShell::DeclaredTypes(const std::string& table) {
  std::map<std::string, std::string> out;
  TOraCursor c;
  c.SetSession(&FSession);
  c.SetNumberOfRows(1000); // more than a table's columns
  // LOBs reach the client as LONG and LONG RAW, national text as VARCHAR2 and CHAR, a
  // collection as its text
  c.SetSQL({"SELECT COLUMN_NAME, DATA_TYPE, CHAR_LENGTH FROM USER_TAB_COLUMNS WHERE TABLE_NAME = " +
            OraText(DictionaryName(table)) +
            " AND (CHAR_USED = 'C' OR DATA_TYPE IN ('CLOB', 'NCLOB', 'BLOB', 'XMLTYPE', 'JSON') OR "
            "DATA_TYPE LIKE "
            "'REF %' OR DATA_TYPE IN "
            "(SELECT OBJECT_NAME FROM USER_OBJECTS WHERE OBJECT_TYPE = 'TYPE'))"});
  c.OnError = [](TOraCursor&, const std::string&) {};
  bool ok = c.Open() && c.Parse() && c.DescribeFields() && c.Exec();
  if (ok && (c.FetchRowsQuiet() || c.ReturnCode() == 1403))
    for (uint32_t r = 0; r < c.RowsProcessed(); ++r) {
      std::string type = c.Fields(1)->GetAsString(r), length = c.Fields(2)->GetAsString(r);
      if (type == "NVARCHAR2" || type == "NCHAR")
        type += "(" + length + ")";
      else if (type == "VARCHAR2" || type == "CHAR")
        type += "(" + length + " CHAR)";
      else if (type.rfind("REF ", 0) == 0)
        type = "REF OF " + type.substr(4);
      out[c.Fields(0)->GetAsString(r)] = type;
    }
  c.OnError = nullptr;
  if (FSession.Connected() && c.Opened())
    c.Close();
  return out;
}

std::vector<std::string> TSqlShell::InvisibleColumns(const std::string& table) {
  std::vector<std::string> out;
  TOraCursor c;
  c.SetSession(&FSession);
  c.SetNumberOfRows(1000);
  c.SetSQL({"SELECT COLUMN_NAME FROM USER_TAB_COLS WHERE TABLE_NAME = " +
            OraText(DictionaryName(table)) + " AND HIDDEN_COLUMN = 'YES'"});
  c.OnError = [](TOraCursor&, const std::string&) {};
  if (c.Open() && c.Parse() && c.DescribeFields() && c.Exec() &&
      (c.FetchRowsQuiet() || c.ReturnCode() == 1403))
    for (uint32_t r = 0; r < c.RowsProcessed(); ++r)
      out.push_back(c.Fields(0)->GetAsString(r));
  c.OnError = nullptr;
  if (FSession.Connected() && c.Opened())
    c.Close();
  return out;
}

std::vector<std::pair<std::string, std::string>> TSqlShell::UnitErrors(const std::string& name,
                                                                       const std::string& type) {
  std::vector<std::pair<std::string, std::string>> out;
  TOraCursor c;
  c.SetSession(&FSession);
  c.SetNumberOfRows(500);
  c.SetSQL({"SELECT LINE || '/' || POSITION, TEXT FROM USER_ERRORS WHERE NAME = " + OraText(name) +
            " AND TYPE = " + OraText(type) + " ORDER BY SEQUENCE"});
  c.OnError = [](TOraCursor&, const std::string&) {};
  if (c.Open() && c.Parse() && c.DescribeFields() && c.Exec() &&
      (c.FetchRowsQuiet() || c.ReturnCode() == 1403))
    for (uint32_t r = 0; r < c.RowsProcessed(); ++r)
      out.emplace_back(c.Fields(0)->GetAsString(r), c.Fields(1)->GetAsString(r));
  c.OnError = nullptr;
  if (FSession.Connected() && c.Opened())
    c.Close();
  return out;
}

std::string TSqlShell::UnitTitle(const std::string& type) {
  std::string out;
  bool start = true;
  for (char c : type) {
    out += start ? c : static_cast<char>(ora::lowerC(static_cast<unsigned char>(c)));
    start = c == ' ';
  }
  return out;
}

// After CREATE FORCE VIEW or ALTER ... COMPILE: whether the object is left invalid (it is
// then the one SHOW ERRORS names); `title` names it for the warning.
bool TSqlShell::CompiledInvalid(const std::string& text, std::string& title) {
  std::vector<std::string> w = Words(text, 8);
  for (size_t i = 0; i + 1 < w.size(); ++i)
    w[i] = w[i][0] == '"' ? w[i] : Upper(w[i]);
  size_t i = 1;
  std::string name, type = "VIEW";
  bool bodyNamed = false;
  static const char* const compiled[] = {"VIEW",     "TRIGGER", "PROCEDURE",
                                         "FUNCTION", "PACKAGE", "TYPE"};
  if (w.size() >= 4 && w[0] == "ALTER" &&
      std::find(std::begin(compiled), std::end(compiled), w[1]) != std::end(compiled) &&
      Upper(w[3]) == "COMPILE") {
    name = w[2];
    type = w[1];
    // ALTER PACKAGE p COMPILE [DEBUG] BODY compiles the body alone
    size_t k = 4;
    if (k < w.size() && Upper(w[k]) == "DEBUG")
      ++k;
    bodyNamed = (type == "PACKAGE" || type == "TYPE") && k < w.size() && Upper(w[k]) == "BODY";
    if (bodyNamed)
      type += " BODY";
  } else {
    if (w.size() < 4 || w[0] != "CREATE")
      return false;
    if (w[i] == "OR" && i + 1 < w.size() && w[i + 1] == "REPLACE")
      i += 2;
    if (i + 2 >= w.size() || w[i] != "FORCE" || w[i + 1] != "VIEW")
      return false;
    name = w[i + 2];
  }
  if (size_t paren = name.find('('); paren != std::string::npos && name[0] != '"')
    name.resize(paren);
  if (size_t semi = name.find(';'); semi != std::string::npos && name[0] != '"')
    name.resize(semi);
  std::string err;
  std::string status = ObjectStatus(DictionaryName(name), type, err);
  // ALTER PACKAGE p COMPILE compiles its body too
  if (status != "INVALID" && type == "PACKAGE" && w[0] == "ALTER") {
    status = ObjectStatus(DictionaryName(name), "PACKAGE BODY", err);
    type = "PACKAGE BODY";
  }
  if (status != "INVALID")
    return false;
  // ALTER PACKAGE p COMPILE warns of the package, whichever part has the errors
  title = UnitTitle(bodyNamed || w[0] != "ALTER" ? type : w[1]);
  FLastUnitType = type;
  FLastUnitName = DictionaryName(name);
  return true;
}

void TSqlShell::ShowErrors(const std::string& args) {
  std::vector<std::string> w = Words(args, 4);
  std::string type = FLastUnitType, name = FLastUnitName;
  if (!w.empty()) {
    std::string t = Upper(w[0]);
    size_t at = 1;
    if ((t == "PACKAGE" || t == "TYPE") && w.size() > 2 && Upper(w[1]) == "BODY") {
      t += " BODY";
      at = 2;
    } else if (t == "JAVA" && w.size() > 2) {
      t.append(" ").append(Upper(w[1]));
      at = 2;
    }
    if (!IsUnitType(t.substr(0, t.find(' '))) || at >= w.size()) {
      FOut << "SP2-0565: use SHOW ERRORS [{PROCEDURE|FUNCTION|PACKAGE [BODY]|TRIGGER|VIEW|TYPE "
              "[BODY]} [schema.]name]\n";
      return;
    }
    type = t;
    name = DictionaryName(w[at]);
  }
  if (name.empty()) {
    FOut << "No errors.\n";
    return;
  }
  if (!RequireConnection())
    return;
  std::string err;
  std::string status = ObjectStatus(name, type, err);
  if (!err.empty() && status.empty()) {
    ShowError(err);
    return;
  }
  if (status != "INVALID") {
    FOut << "No errors.\n";
    return;
  }
  const size_t errWidth = 65;
  auto errors = UnitErrors(name, type);
  if (!errors.empty()) {
    FOut << "Errors for " << type << " " << name << ":\n\n"
         << "LINE/COL ERROR\n"
         << "-------- " << std::string(errWidth, '-') << "\n";
    for (auto& [at, text] : errors) {
      bool first = true;
      for (auto& l : Wrap(text, errWidth)) {
        std::string lead = first ? at : std::string();
        FOut << lead << std::string(lead.size() < 9 ? 9 - lead.size() : 1, ' ') << l << "\n";
        first = false;
      }
    }
    return;
  }
  // triggers and views have no listed errors: say why they are invalid
  std::string why =
      type == "TRIGGER"
          ? "the trigger body does not compile (its syntax, a table or column its SQL names, or "
            "a :NEW or :OLD column it names); statements that fire the trigger fail with "
            "ORA-04098"
      : type == "VIEW"
          ? "a table or column the view's query names is not there; queries of the view fail "
            "with ORA-04063"
      : type == "PROCEDURE" || type == "FUNCTION" || type == "PACKAGE" || type == "PACKAGE BODY"
          ? "the unit's source does not parse; calling it fails with ORA-06550 (PLS-00905)"
          : "this database keeps stored PL/SQL of this kind as source only and does not compile "
            "it; using it fails with ORA-06550";
  FOut << "Errors for " << type << " " << name << ":\n\n"
       << "LINE/COL ERROR\n"
       << "-------- " << std::string(errWidth, '-') << "\n";
  bool first = true;
  for (auto& l : Wrap(why, errWidth)) {
    FOut << (first ? "0/0      " : "         ") << l << "\n";
    first = false;
  }
}

void TSqlShell::ShowRecycleBin() {
  if (!RequireConnection())
    return;
  TOraCursor c;
  c.SetSession(&FSession);
  c.SetNumberOfRows(1000);
  c.SetSQL({"SELECT ORIGINAL_NAME, OBJECT_NAME, TYPE, DROPTIME FROM USER_RECYCLEBIN WHERE TYPE = "
            "'TABLE' ORDER BY DROPSCN DESC"});
  std::string err;
  c.OnError = [&](TOraCursor&, const std::string& msg) { err = msg; };
  bool ok = c.Open() && c.Parse() && c.DescribeFields() && c.Exec();
  std::vector<std::vector<std::string>> rows;
  if (ok && (c.FetchRowsQuiet() || c.ReturnCode() == 1403))
    for (uint32_t r = 0; r < c.RowsProcessed(); ++r)
      rows.push_back({c.Fields(0)->GetAsString(r), c.Fields(1)->GetAsString(r),
                      c.Fields(2)->GetAsString(r), c.Fields(3)->GetAsString(r)});
  else if (ok && c.ReturnCode() != 1403)
    err = c.ErrorText();
  c.OnError = nullptr;
  if (FSession.Connected() && c.Opened())
    c.Close();
  if (!err.empty()) {
    ShowError(err);
    return;
  }
  if (rows.empty())
    return; // an empty bin shows nothing
  auto pad = [](const std::string& s, size_t n) {
    return s.size() >= n ? s : s + std::string(n - s.size(), ' ');
  };
  FOut << "ORIGINAL NAME    RECYCLEBIN NAME                OBJECT TYPE  DROP TIME\n"
       << "---------------- ------------------------------ ------------ -------------------\n";
  for (auto& r : rows)
    FOut << pad(r[0], 16) << " " << pad(r[1], 30) << " " << pad(r[2], 12) << " " << r[3] << "\n";
}

void TSqlShell::StopSpool() {
  HtmlSpoolEnd();
  FOut.flush();
  FTee.Copy = nullptr;
  FSpool.reset();
  FSpoolName.clear();
}

void TSqlShell::SpoolCommand(const std::string& args) {
  std::string a = args;
  std::string name;
  if (!a.empty() && a[0] == '"') {
    size_t end = a.find('"', 1);
    name = a.substr(1, end == std::string::npos ? std::string::npos : end - 1);
    a = end == std::string::npos ? std::string() : a.substr(end + 1);
  } else {
    std::istringstream in(a);
    in >> name;
    a.clear();
    std::getline(in, a);
  }
  std::istringstream rest(a);
  std::string option, extra;
  rest >> option >> extra;
  option = Upper(option);
  if (name.empty()) {
    FOut << (FSpool ? "currently spooling to " + FSpoolName : std::string("not spooling currently"))
         << "\n";
    return;
  }
  std::string upper = Upper(name);
  if ((upper == "OFF" || upper == "OUT") && option.empty()) {
    if (FSpool)
      StopSpool();
    else
      FOut << "not spooling currently\n";
    return;
  }
  bool append = Abbrev(option, "APPEND", 3), create = Abbrev(option, "CREATE", 3);
  if (!extra.empty() || (!option.empty() && !append && !create && !Abbrev(option, "REPLACE", 3))) {
    FOut << "SP2-0768: Illegal SPOOL command: use SPOOL file [CREATE|REPLACE|APPEND] or SPOOL "
            "OFF\n";
    return;
  }
  fs::path p(name);
  if (!p.has_extension())
    p += ".lst";
  std::error_code ec;
  if (create && fs::exists(p, ec)) {
    FOut << "SP2-0771: File \"" << p.string()
         << "\" already exists. Use another name or \"SPOOL filename[.ext] REPLACE\"\n";
    return;
  }
  // The old file is complete before the new one opens: it may be the same file.
  if (FSpool)
    StopSpool();
  auto file = std::make_unique<std::ofstream>(p, std::ios::binary |
                                                     (append ? std::ios::app : std::ios::trunc));
  if (!*file) {
    FOut << "SP2-0606: Cannot create SPOOL file \"" << p.string() << "\"\n";
    return;
  }
  FSpool = std::move(file);
  FSpoolName = p.string();
  FTee.Copy = FSpool->rdbuf();
  HtmlSpoolStart();
}

std::string TSqlShell::ElapsedText(std::chrono::steady_clock::time_point since) {
  long long cs = std::chrono::duration_cast<std::chrono::milliseconds>(
                     std::chrono::steady_clock::now() - since)
                     .count() /
                 10;
  char buf[48];
  std::snprintf(buf, sizeof buf, "Elapsed: %02lld:%02lld:%02lld.%02lld", cs / 360000,
                cs / 6000 % 60, cs / 100 % 60, cs % 100);
  return buf;
}

void TSqlShell::TimingCommand(const std::string& args) {
  std::string rest = Trim(args);
  size_t sp = rest.find_first_of(" \t");
  std::string what = Upper(rest.substr(0, sp));
  std::string name = sp == std::string::npos ? std::string() : Trim(rest.substr(sp));
  if (what.empty()) {
    if (FTimers.empty())
      FOut << "no timing elements in use\n";
    else
      FOut << FTimers.size() << (FTimers.size() == 1 ? " timing element" : " timing elements")
           << " in use\n";
  } else if (Abbrev(what, "START", 3)) {
    FTimers.emplace_back(name, std::chrono::steady_clock::now());
  } else if (Abbrev(what, "SHOW", 3) || Abbrev(what, "STOP", 3)) {
    if (FTimers.empty()) {
      FOut << "SP2-0325: no timing elements to " << (what[1] == 'H' ? "show" : "stop") << "\n";
      return;
    }
    FOut << "timing for: " << FTimers.back().first << "\n"
         << ElapsedText(FTimers.back().second) << "\n";
    if (what[1] == 'T')
      FTimers.pop_back();
  } else {
    FOut << "SP2-0158: unknown TIMING option \"" << rest << "\"\n";
  }
}
