// DESCRIBE of object types (attributes, then each method) and of collection types (what they
// hold), from USER_TYPES, USER_TYPE_ATTRS and the type's source.
#include "DisplayWidth.h"
#include "OciCompo.h"
#include "ShellDescribe.h"
#include "ShellWords.h"
#include "SqlQuote.h"
#include "SqlShell.h"

#include <algorithm>

using namespace shellwords;
using namespace describe;

namespace {

using TRows = std::vector<std::vector<std::string>>;

// "[schema.]name" as the dictionary holds the name.
std::string TypeKey(const std::string& written) {
  if (!written.empty() && written.back() == '"') {
    size_t open = written.rfind('"', written.size() - 2);
    return open == std::string::npos ? written
                                     : written.substr(open + 1, written.size() - open - 2);
  }
  std::string n = written;
  if (size_t dot = n.rfind('.'); dot != std::string::npos)
    n.erase(0, dot + 1);
  return Upper(n);
}

bool IsWordChar(char c) {
  return ora::alnumC(static_cast<unsigned char>(c)) || c == '_' || c == '$' || c == '#' ||
         static_cast<unsigned char>(c) >= 0x80;
}

// Where `word` stands as a whole word in upper-case `s` from `from` on.
size_t FindWord(const std::string& s, const std::string& word, size_t from = 0) {
  for (size_t at = s.find(word, from); at != std::string::npos; at = s.find(word, at + 1)) {
    bool before = at == 0 || !IsWordChar(s[at - 1]);
    bool after = at + word.size() >= s.size() || !IsWordChar(s[at + word.size()]);
    if (before && after)
      return at;
  }
  return std::string::npos;
}

// An attribute's type from its USER_TYPE_ATTRS row: mod, owner, name, length, precision, scale,
// char used.
std::string AttributeType(const std::vector<std::string>& a, const std::string& user) {
  const std::string &mod = a[0], &owner = a[1], &length = a[3], &precision = a[4], &scale = a[5];
  std::string name = a[2];
  bool ref = mod == "REF";
  if (name.rfind("REF ", 0) == 0) {
    ref = true;
    name.erase(0, 4);
  }
  if (!owner.empty()) {
    std::string t = owner == user ? name : owner + "." + name;
    return ref ? "REF OF " + t : t;
  }
  if (name == "VARCHAR2" || name == "CHAR" || name == "RAW")
    return length.empty() ? name : name + "(" + length + (a[6] == "C" ? " CHAR)" : ")");
  if (name == "NVARCHAR2" || name == "NCHAR")
    return length.empty() ? name : name + "(" + length + ")";
  if (name == "NUMBER") {
    if (precision.empty())
      return scale == "0" ? "NUMBER(38)" : "NUMBER";
    return scale.empty() || scale == "0" ? "NUMBER(" + precision + ")"
                                         : "NUMBER(" + precision + "," + scale + ")";
  }
  if (name == "FLOAT" && !precision.empty())
    return "FLOAT(" + precision + ")";
  return name == "INTEGER" || name == "INT" || name == "SMALLINT" ? "NUMBER(38)" : name;
}

// The methods a type's source declares, each with its qualifiers ("MAP MEMBER", "STATIC").
std::vector<TSubprogram> DeclaredMethods(const std::string& source) {
  std::vector<TSubprogram> out;
  const std::string text = WithoutComments(source);
  const std::string upper = Upper(text);
  size_t open = upper.find(
      '(', std::min(upper.size(), std::min(FindWord(upper, "OBJECT"), FindWord(upper, "UNDER"))));
  if (open == std::string::npos)
    return out;
  size_t close = open;
  for (int depth = 0; close < text.size(); ++close) {
    if (text[close] == '(')
      ++depth;
    else if (text[close] == ')' && --depth == 0)
      break;
  }
  for (const std::string& piece : SplitTop(text.substr(open + 1, close - open - 1), ',')) {
    const std::string up = Upper(piece);
    size_t at = std::min(FindWord(up, "FUNCTION"), FindWord(up, "PROCEDURE"));
    if (at == std::string::npos || FindWord(up, "PRAGMA") < at)
      continue;
    std::vector<std::string> words = SplitWords(up.substr(0, at));
    auto has = [&](const char* w) {
      return std::find(words.begin(), words.end(), w) != words.end();
    };
    TSubprogram sub;
    sub.Prefix = " ";
    if (has("MAP"))
      sub.Prefix += "MAP ";
    else if (has("ORDER"))
      sub.Prefix += "ORDER ";
    if (has("CONSTRUCTOR"))
      sub.Prefix += "FINAL CONSTRUCTOR ";
    else if (has("STATIC"))
      sub.Prefix += "STATIC ";
    else if (has("MEMBER"))
      sub.Prefix += "MEMBER ";
    else
      continue;
    size_t i = at;
    if (ReadHeader(piece, i, sub))
      out.push_back(sub);
  }
  return out;
}

} // namespace

TRows QueryRows(TOraSession& session, const std::string& sql) {
  TRows out;
  TOraCursor c;
  c.SetSession(&session);
  c.SetNumberOfRows(1000); // more than a type's attributes, source or plan lines
  c.SetSQL({sql});
  c.OnError = [](TOraCursor&, const std::string&) {};
  if (c.Open() && c.Parse() && c.DescribeFields() && c.Exec() &&
      (c.FetchRowsQuiet() || c.ReturnCode() == 1403))
    for (uint32_t r = 0; r < c.RowsProcessed(); ++r) {
      std::vector<std::string> row;
      for (int f = 0; f < c.FieldCount(); ++f)
        row.push_back(c.Fields(f)->GetAsString(static_cast<int>(r)));
      out.push_back(row);
    }
  c.OnError = nullptr;
  if (session.Connected() && c.Opened())
    c.Close();
  return out;
}

std::string TSqlShell::SynonymTarget(const std::string& name) {
  if (name.find('.') != std::string::npos)
    return {};
  TRows r = QueryRows(FSession, "SELECT TABLE_NAME FROM USER_SYNONYMS WHERE SYNONYM_NAME = " +
                                    OraText(TypeKey(name)) + " AND DB_LINK IS NULL");
  return r.empty() ? std::string() : r[0][0];
}

std::vector<std::pair<std::string, std::string>>
TSqlShell::TypeAttributes(const std::string& type) {
  const std::string user = FSession.Connected() ? Upper(FSession.UserName) : std::string();
  std::vector<std::pair<std::string, std::string>> out;
  for (const auto& r :
       QueryRows(FSession, "SELECT ATTR_NAME, ATTR_TYPE_MOD, ATTR_TYPE_OWNER, ATTR_TYPE_NAME, "
                           "LENGTH, PRECISION, SCALE, CHAR_USED FROM USER_TYPE_ATTRS WHERE "
                           "TYPE_NAME = " +
                               OraText(type) + " ORDER BY ATTR_NO"))
    out.emplace_back(r[0], AttributeType({r.begin() + 1, r.end()}, user));
  return out;
}

void TSqlShell::DescribeNested(
    const std::string& type, int level,
    const std::function<void(const std::string&, const std::string&, const std::string&)>& line) {
  // SET DESCRIBE DEPTH: the attributes of an object-typed column, each level further in
  const int depth = Settings.DescribeDepth == 0 ? 50 : Settings.DescribeDepth;
  if (level >= depth || type.rfind("REF OF ", 0) == 0 || type.find('(') != std::string::npos)
    return;
  const std::string indent(Settings.DescribeIndent ? static_cast<size_t>(2 * level) : 0, ' ');
  for (const auto& a : TypeAttributes(type)) {
    line(indent + a.first, "", a.second);
    DescribeNested(a.second, level + 1, line);
  }
}

bool TSqlShell::DescribeType(const std::string& name) {
  const std::string key = TypeKey(name);
  const std::string user = FSession.Connected() ? Upper(FSession.UserName) : std::string();
  auto typeRow = [&](const std::string& type) {
    TRows r = QueryRows(FSession, "SELECT TYPECODE, FINAL, SUPERTYPE_OWNER, SUPERTYPE_NAME FROM "
                                  "USER_TYPES WHERE TYPE_NAME = " +
                                      OraText(type));
    return r.empty() ? std::vector<std::string>() : r[0];
  };
  auto source = [&](const std::string& type) {
    std::string text;
    for (const auto& row :
         QueryRows(FSession, "SELECT TEXT FROM USER_SOURCE WHERE NAME = " + OraText(type) +
                                 " AND TYPE = 'TYPE' ORDER BY LINE"))
      text += row[0] + "\n";
    return text;
  };
  auto attributes = [&](const std::string& type) {
    std::vector<std::pair<std::string, std::string>> rows = TypeAttributes(type);
    int longest = 4;
    for (const auto& r : rows)
      longest = std::max(longest, DisplayWidth(r.first));
    const int nameWidth = DescribeHeading(longest);
    auto line = [&](const std::string& a, const std::string& b, const std::string& t) {
      DescribeLine(nameWidth, a, b, t);
    };
    for (const auto& r : rows) {
      line(r.first, "", r.second);
      DescribeNested(r.second, 1, line);
    }
  };

  std::vector<std::string> type = typeRow(key);
  if (type.empty())
    return false;
  if (type[0] == "COLLECTION") {
    // "TABLE OF element" or "VARRAY(n) OF element", as the source declares it
    const std::string text = Upper(WithoutComments(source(key)));
    size_t kind =
        std::min({FindWord(text, "TABLE"), FindWord(text, "VARRAY"), FindWord(text, "VARYING")});
    size_t of = kind == std::string::npos ? kind : FindWord(text, "OF", kind);
    if (of == std::string::npos)
      return false;
    std::string head = Trim(text.substr(kind, of - kind)), element = Trim(text.substr(of + 2));
    element = element.substr(0, element.find_first_of(";/"));
    if (size_t nn = FindWord(element, "NOT"); nn != std::string::npos)
      element.erase(nn);
    std::string compact;
    for (char c : Trim(element))
      if (c != ' ' || (!compact.empty() && compact.back() != '(' && compact.back() != ','))
        compact += c;
    while (compact.find(" )") != std::string::npos)
      compact.erase(compact.find(" )"), 1);
    if (head.rfind("VARYING", 0) == 0)
      head = "VARRAY" + Trim(head.substr(head.find("ARRAY") + 5));
    head.erase(std::remove(head.begin(), head.end(), ' '), head.end());
    const bool object = !typeRow(TypeKey(compact)).empty();
    FOut << " " << name << " " << head << " OF "
         << (object ? TypeKey(compact) : ArgumentType(compact)) << "\n";
    if (object)
      attributes(TypeKey(compact));
    FOut << "\n";
    return true;
  }
  if (!type[3].empty())
    FOut << " " << key << " extends " << type[2] << "." << type[3] << "\n";
  if (type[1] == "NO")
    FOut << " " << key << " is NOT FINAL\n";
  attributes(key);
  // the supertypes' methods first; one the type overrides keeps its place
  std::vector<std::string> chain{key};
  for (std::string super = type[3]; !super.empty() && chain.size() < 32;) {
    chain.insert(chain.begin(), super);
    std::vector<std::string> row = typeRow(super);
    super = row.empty() ? std::string() : row[3];
  }
  std::vector<TSubprogram> methods;
  for (const std::string& t : chain)
    for (const TSubprogram& m : DeclaredMethods(source(t))) {
      // a constructor belongs to its own type only
      if (t != key && m.Prefix.find("CONSTRUCTOR") != std::string::npos)
        continue;
      auto same = std::find_if(methods.begin(), methods.end(), [&](const TSubprogram& o) {
        return o.Name == m.Name && o.Args.size() == m.Args.size();
      });
      if (same != methods.end())
        *same = m;
      else
        methods.push_back(m);
    }
  for (const TSubprogram& m : methods) {
    FOut << "\nMETHOD\n------\n";
    WriteSubprogram(FOut, m, [this](const std::string& t) { return ArgumentType(t); });
  }
  FOut << "\n";
  return true;
}
