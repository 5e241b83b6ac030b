// DESCRIBE: the columns of tables and views, and the arguments of stored procedures, functions
// and packages, read from the unit's source in USER_SOURCE. Types are in ShellDescribeType.cpp.
#include "ShellDescribe.h"
#include "CType.h"
#include "DisplayWidth.h"
#include "OciCompo.h"
#include "ShellWords.h"
#include "SqlQuote.h"
#include "SqlShell.h"

#include <cctype>

using namespace shellwords;

namespace {

// "[schema.]name", each part a plain or double-quoted identifier.
bool ValidObjectName(const std::string& s) {
  if (s.empty())
    return false;
  size_t i = 0;
  for (;;) {
    if (i < s.size() && s[i] == '"') {
      size_t end = s.find('"', i + 1);
      if (end == std::string::npos || end == i + 1)
        return false;
      i = end + 1;
    } else {
      size_t b = i;
      while (i < s.size() &&
             (ora::alnumC(static_cast<unsigned char>(s[i])) || s[i] == '_' || s[i] == '$' ||
              s[i] == '#' || static_cast<unsigned char>(s[i]) >= 0x80))
        ++i;
      if (i == b)
        return false;
    }
    if (i == s.size())
      return true;
    if (s[i] != '.')
      return false;
    ++i;
  }
}

} // namespace

namespace describe {

// Source text with comments turned into blanks, so the words can be read plainly.
std::string WithoutComments(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size();) {
    if (s[i] == '-' && i + 1 < s.size() && s[i + 1] == '-') {
      while (i < s.size() && s[i] != '\n')
        ++i;
      out += ' ';
    } else if (s[i] == '/' && i + 1 < s.size() && s[i + 1] == '*') {
      size_t e = s.find("*/", i + 2);
      i = e == std::string::npos ? s.size() : e + 2;
      out += ' ';
    } else if (s[i] == '\'') {
      size_t e = s.find('\'', i + 1);
      e = e == std::string::npos ? s.size() : e + 1;
      out.append(s, i, e - i);
      i = e;
    } else {
      out += s[i] == '\n' || s[i] == '\t' || s[i] == '\r' ? ' ' : s[i];
      ++i;
    }
  }
  return out;
}

// Reads "PROCEDURE name [(args)]" or "FUNCTION name [(args)] RETURN type" at `i` of `s`.
bool ReadHeader(const std::string& s, size_t& i, TSubprogram& sub) {
  auto skipBlanks = [&] {
    while (i < s.size() && s[i] == ' ')
      ++i;
  };
  auto word = [&] {
    skipBlanks();
    size_t b = i;
    if (i < s.size() && s[i] == '"') {
      size_t e = s.find('"', i + 1);
      i = e == std::string::npos ? s.size() : e + 1;
      return s.substr(b + 1, i - b - 2);
    }
    while (i < s.size() && (ora::alnumC(static_cast<unsigned char>(s[i])) || s[i] == '_' ||
                            s[i] == '$' || s[i] == '#' || s[i] == '.' || s[i] == '%'))
      ++i;
    return Upper(s.substr(b, i - b));
  };
  std::string kind = word();
  if (kind != "PROCEDURE" && kind != "FUNCTION")
    return false;
  sub.Function = kind == "FUNCTION";
  sub.Name = word();
  if (size_t dot = sub.Name.rfind('.'); dot != std::string::npos)
    sub.Name.erase(0, dot + 1);
  skipBlanks();
  if (i < s.size() && s[i] == '(') {
    int depth = 0;
    size_t b = i + 1;
    for (; i < s.size(); ++i) {
      if (s[i] == '(')
        ++depth;
      else if (s[i] == ')' && --depth == 0)
        break;
    }
    std::string list = s.substr(b, i - b);
    ++i;
    for (const std::string& piece : SplitTop(list, ',')) {
      std::vector<std::string> w = SplitWords(piece);
      if (w.empty())
        continue;
      TArgument a;
      a.Name = Upper(w[0]);
      size_t k = 1;
      a.Mode = "IN";
      if (k < w.size() && Upper(w[k]) == "IN") {
        ++k;
        if (k < w.size() && Upper(w[k]) == "OUT") {
          a.Mode = "IN/OUT";
          ++k;
        }
      } else if (k < w.size() && Upper(w[k]) == "OUT") {
        a.Mode = "OUT";
        ++k;
      }
      if (k < w.size() && Upper(w[k]) == "NOCOPY")
        ++k;
      a.Type = k < w.size() ? Upper(w[k]) : std::string();
      for (size_t m = k + 1; m < w.size(); ++m)
        if (Upper(w[m]) == "DEFAULT" || w[m].compare(0, 2, ":=") == 0)
          a.Default = true;
      if (a.Type.find(":=") != std::string::npos) {
        a.Type.erase(a.Type.find(":="));
        a.Default = true;
      }
      sub.Args.push_back(a);
    }
  }
  if (sub.Function) {
    if (word() != "RETURN")
      return false;
    sub.Returns = word();
    // a constructor's result
    if (sub.Returns == "SELF" && word() == "AS" && word() == "RESULT")
      sub.Returns = "SELF AS RESULT";
  }
  return true;
}

void WriteSubprogram(std::ostream& out, const TSubprogram& sub,
                     const std::function<std::string(const std::string&)>& resolve) {
  out << sub.Prefix << (sub.Function ? "FUNCTION " : "PROCEDURE ") << sub.Name;
  if (sub.Function)
    out << " RETURNS " << (sub.Returns == "SELF AS RESULT" ? sub.Returns : resolve(sub.Returns));
  out << "\n";
  if (sub.Args.empty())
    return;
  out << " Argument Name                  Type                    In/Out Default?\n"
      << " ------------------------------ ----------------------- ------ --------\n";
  for (const TArgument& a : sub.Args) {
    std::string line(1, ' ');
    line.append(PadDisplay(a.Name, 30)).append(1, ' ');
    line.append(PadDisplay(resolve(a.Type), 23)).append(1, ' ');
    line.append(PadDisplay(a.Mode, 6)).append(1, ' ');
    if (a.Default)
      line.append("DEFAULT");
    line.erase(line.find_last_not_of(' ') + 1);
    out << line << "\n";
  }
}

} // namespace describe

using namespace describe;

bool TSqlShell::DescribeUnit(const std::string& name) {
  std::string key = Upper(name);
  if (key.find('"') != std::string::npos)
    return false;
  if (size_t dot = key.rfind('.'); dot != std::string::npos)
    key.erase(0, dot + 1);
  // The unit's type and source, line by line.
  TOraCursor c;
  c.SetSession(&FSession);
  c.SetNumberOfRows(TOraCursor::MaxRows);
  c.SetSQL({"SELECT TYPE, TEXT FROM USER_SOURCE WHERE NAME = " + OraText(key) +
            " AND TYPE IN ('PROCEDURE', 'FUNCTION', 'PACKAGE') ORDER BY LINE"});
  std::string type, source;
  if (c.Open() && c.Parse() && c.DescribeFields() && c.Exec()) {
    uint32_t prev = 0;
    for (;;) {
      bool more = c.FetchRowsQuiet();
      uint32_t now = c.RowsProcessed();
      for (uint32_t r = 0; r < now - prev; ++r) {
        type = c.Fields(0)->GetAsString(static_cast<int>(r));
        source += c.Fields(1)->GetAsString(static_cast<int>(r)) + "\n";
      }
      if (!more || now == prev)
        break;
      prev = now;
    }
  }
  if (FSession.Connected() && c.Opened())
    c.Close();
  if (type.empty())
    return false;
  const std::string text = WithoutComments(source);
  const std::string upper = Upper(text);
  std::vector<TSubprogram> subs;
  if (type == "PACKAGE") {
    for (size_t at = 0; (at = upper.find_first_of("PF", at)) != std::string::npos; ++at) {
      bool word =
          (upper.compare(at, 10, "PROCEDURE ") == 0 || upper.compare(at, 9, "FUNCTION ") == 0) &&
          (at == 0 || upper[at - 1] == ' ' || upper[at - 1] == ';');
      size_t i = at;
      TSubprogram sub;
      if (word && ReadHeader(text, i, sub)) {
        subs.push_back(sub);
        at = i - 1;
      }
    }
  } else {
    size_t i = upper.find(type);
    TSubprogram sub;
    if (i == std::string::npos || !ReadHeader(text, i, sub))
      return false;
    subs.push_back(sub);
  }
  for (const TSubprogram& sub : subs)
    WriteSubprogram(FOut, sub, [this](const std::string& t) { return ArgumentType(t); });
  FOut << "\n";
  return true;
}

std::string TSqlShell::ArgumentType(const std::string& t) {
  size_t pct = t.find("%TYPE");
  size_t dot = t.rfind('.', pct);
  if (pct == std::string::npos || dot == std::string::npos)
    return t == "INTEGER" || t == "INT" ? std::string("NUMBER(38)") : t;
  std::string table = t.substr(0, dot), column = t.substr(dot + 1, pct - dot - 1);
  TOraCursor d;
  d.SetSession(&FSession);
  d.SetNumberOfRows(1);
  d.SetRawAsText(true);
  d.SetSQL({"SELECT " + OraName(column) + " FROM " + OraName(table) + " WHERE 1=0"});
  std::string out = t;
  if (d.Open() && d.ParseQuiet() && d.DescribeFields() && d.FieldCount() == 1)
    out = ColumnTypeText(d.Fields(0));
  if (FSession.Connected() && d.Opened())
    d.Close();
  return out;
}

// The Oracle type of a described column, as DESCRIBE shows it.
std::string ColumnTypeText(TCustomOraField* cf) {
  auto* f = static_cast<TOraField*>(cf);
  switch (f->FieldKind()) {
  case fkString:
    if (f->DbType() == 23) // a RAW column fetched as hex
      return "RAW(" + std::to_string(f->DisplaySize() / 2) + ")";
    if (f->DbType() == 180 || f->DbType() == 181) {
      // the scale is the fraction's digits
      return "TIMESTAMP(" + std::to_string(std::max<int>(0, f->DbScale())) + ")" +
             (f->DbType() == 181 ? " WITH TIME ZONE" : "");
    }
    if (f->DbType() == 252)
      return "BOOLEAN";
    if (f->DbType() == 182)
      return "INTERVAL YEAR(" + std::to_string(f->DbPrecision()) + ") TO MONTH";
    if (f->DbType() == 183)
      return "INTERVAL DAY(" + std::to_string(f->DbPrecision()) + ") TO SECOND(" +
             std::to_string(f->DbScale()) + ")";
    // ROWID is described with a wider buffer than its display size; VARCHAR2 with one more.
    if (f->Width() == f->DisplaySize() + 2)
      return "ROWID";
    return "VARCHAR2(" + std::to_string(f->DisplaySize()) + ")";
  case fkNumber: {
    if (f->DbType() == 100 || f->DbType() == 101)
      return f->DbType() == 100 ? "BINARY_FLOAT" : "BINARY_DOUBLE";
    auto* n = static_cast<TOraNumberField*>(f);
    if (n->Precision() <= 0)
      return "NUMBER";
    if (n->IsFloat())
      return "FLOAT(" + std::to_string(n->Precision()) + ")";
    if (n->Scale() == 0)
      return "NUMBER(" + std::to_string(n->Precision()) + ")";
    return "NUMBER(" + std::to_string(n->Precision()) + "," + std::to_string(n->Scale()) + ")";
  }
  case fkDate:
    return "DATE";
  case fkChar:
    return "CHAR(" + std::to_string(f->DisplaySize()) + ")";
  case fkRaw:
    return "RAW(" + std::to_string(f->DisplaySize() / 2) + ")";
  case fkLong:
    return "LONG";
  case fkLongRaw:
    return "LONG RAW";
  default:
    return "UNDEFINED";
  }
}

void TSqlShell::Describe(const std::string& name) {
  if (name.empty()) {
    FOut << "Usage: DESCRIBE [schema.]object[@db_link]\n";
    return;
  }
  auto missing = [&] { FOut << "ERROR:\nORA-04043: object " << name << " does not exist\n\n\n"; };
  // Only a name goes into the statement text, so DESCRIBE can run nothing else.
  if (!ValidObjectName(name)) {
    missing();
    return;
  }
  TOraCursor c;
  c.SetSession(&FSession);
  c.SetNumberOfRows(1);
  c.SetRawAsText(true);
  c.SetSQL({"SELECT * FROM " + name + " WHERE 1=0"});
  std::string err;
  c.OnError = [&](TOraCursor&, const std::string& msg) { err = msg; };
  if (!c.Open()) {
    ShowError(err);
    return;
  }
  bool ok = c.Parse() && c.DescribeFields();
  c.OnError = nullptr;
  if (!ok) {
    int code = c.ReturnCode();
    // Only a lost logon or the like is worth its own message; anything else means no such object.
    if (code == 1012 || code == 3113 || code == 3114)
      ShowError(err);
    else if (!DescribeUnit(name) && !DescribeType(name)) {
      // a synonym for a procedure, package or type describes what it stands for
      const std::string target = SynonymTarget(name);
      if (target.empty() || (!DescribeUnit(target) && !DescribeType(target)))
        missing();
    }
    if (FSession.Connected())
      c.Close();
    return;
  }
  int longest = 4;
  for (int i = 0; i < c.FieldCount(); ++i)
    longest = std::max(longest, DisplayWidth(c.Fields(i)->Name()));
  const int nameWidth = DescribeHeading(longest);
  auto line = [&](const std::string& a, const std::string& b, const std::string& t) {
    DescribeLine(nameWidth, a, b, t);
  };
  // what the described type cannot tell: VARCHAR2(3 CHAR), NVARCHAR2(3), CLOB
  std::map<std::string, std::string> declared;
  if (name.find('.') == std::string::npos)
    declared = DeclaredTypes(name);
  for (int i = 0; i < c.FieldCount(); ++i) {
    auto* f = static_cast<TOraField*>(c.Fields(i));
    std::string type = ColumnTypeText(f);
    if (auto n = declared.find(f->Name()); n != declared.end())
      type = n->second;
    line(f->Name(), f->Nullable() ? "" : "NOT NULL", type);
    if (Settings.DescribeDepth != 1)
      DescribeNested(type, 1, line);
  }
  c.Close();
  if (Settings.ColInvisible && name.find('.') == std::string::npos)
    DescribeInvisible(name, declared, line);
  FOut << "\n";
}

// SET COLINVISIBLE ON: the invisible columns after the others, each marked so.
void TSqlShell::DescribeInvisible(
    const std::string& name, const std::map<std::string, std::string>& declared,
    const std::function<void(const std::string&, const std::string&, const std::string&)>& line) {
  std::string list;
  for (const auto& col : InvisibleColumns(name))
    list += (list.empty() ? "" : ", ") + OraName(col);
  if (list.empty())
    return;
  TOraCursor c;
  c.SetSession(&FSession);
  c.SetNumberOfRows(1);
  c.SetRawAsText(true);
  c.SetSQL({"SELECT " + list + " FROM " + name + " WHERE 1=0"});
  c.OnError = [](TOraCursor&, const std::string&) {};
  if (c.Open() && c.Parse() && c.DescribeFields())
    for (int i = 0; i < c.FieldCount(); ++i) {
      auto* f = static_cast<TOraField*>(c.Fields(i));
      std::string type = ColumnTypeText(f);
      if (auto n = declared.find(f->Name()); n != declared.end())
        type = n->second;
      line(f->Name() + " (INVISIBLE)", f->Nullable() ? "" : "NOT NULL", type);
    }
  c.OnError = nullptr;
  if (FSession.Connected() && c.Opened())
    c.Close();
}

int TSqlShell::DescribeHeading(int longest) {
  const int typeWidth = 28;
  const int nameWidth = std::max(longest, Settings.LineSize - 1 - 1 - 8 - 1 - typeWidth);
  DescribeLine(nameWidth, "Name", "Null?", "Type");
  DescribeLine(nameWidth, std::string(static_cast<size_t>(nameWidth), '-'), std::string(8, '-'),
               std::string(typeWidth, '-'));
  return nameWidth;
}

void TSqlShell::DescribeLine(int nameWidth, const std::string& name, const std::string& null,
                             const std::string& type) {
  std::string s = " " + PadDisplay(name, nameWidth) + " " + PadDisplay(null, 8) + " " + type;
  s.erase(s.find_last_not_of(' ') + 1);
  FOut << s << "\n";
}
