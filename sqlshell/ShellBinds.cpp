// Bind variables: VARIABLE, PRINT, ":name := expression" in EXECUTE or a BEGIN ... END block,
// and :name in SQL statements. The call library takes no binds, so the shell writes each value
// into the statement as a literal.
#include "CType.h"
#include "DisplayWidth.h"
#include "NumberText.h"
#include "OciCompo.h"
#include "OciIntr.h"
#include "ShellWords.h"
#include "SqlQuote.h"
#include "SqlShell.h"
#include "SqlSplitter.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>
#include <regex>

using namespace shellwords;

namespace {

bool IsNameChar(char c) {
  return ora::alnumC(static_cast<unsigned char>(c)) || c == '_' || c == '$' || c == '#';
}

// Calls `bind(begin, end)` for every ":name" outside quotes and comments; the text between
// is copied as it is. The result is the text with each bind replaced by what `bind` returns;
// `edits` (if any) gets where each replacement went.
template <class F>
std::string EachBind(const std::string& s, F bind, std::vector<TTextEdit>* edits = nullptr) {
  std::string out;
  const size_t n = s.size();
  for (size_t i = 0; i < n;) {
    char c = s[i];
    if (c == '\'' || c == '"') {
      size_t e = s.find(c, i + 1);
      e = e == std::string::npos ? n : e + 1;
      out.append(s, i, e - i);
      i = e;
    } else if (c == '-' && i + 1 < n && s[i + 1] == '-') {
      size_t e = s.find('\n', i);
      e = e == std::string::npos ? n : e;
      out.append(s, i, e - i);
      i = e;
    } else if (c == '/' && i + 1 < n && s[i + 1] == '*') {
      size_t e = s.find("*/", i + 2);
      e = e == std::string::npos ? n : e + 2;
      out.append(s, i, e - i);
      i = e;
    } else if (c == ':' && i + 1 < n && (ora::alphaC(static_cast<unsigned char>(s[i + 1])))) {
      size_t e = i + 1;
      while (e < n && IsNameChar(s[e]))
        ++e;
      const size_t at = out.size();
      out += bind(s.substr(i + 1, e - i - 1));
      if (edits)
        edits->push_back({at, out.size() - at, i, e - i});
      i = e;
    } else {
      out += c;
      ++i;
    }
  }
  return out;
}

// The engine's own text of a number, checked so that nothing else reaches the statement.
bool IsNumberText(const std::string& s) {
  return !s.empty() && s.find_first_not_of("0123456789.-+E") == std::string::npos &&
         std::any_of(s.begin(), s.end(), [](char c) { return ora::digitC(c) != 0; });
}

// The heading the classic shell gives an item: its text without blanks, upper case outside quotes.
std::string ItemHeading(const std::string& item) {
  std::string out;
  bool quoted = false;
  for (char c : item) {
    if (c == '\'')
      quoted = !quoted;
    if (!quoted && ora::spaceC(static_cast<unsigned char>(c)))
      continue;
    out += quoted ? c : static_cast<char>(ora::upperC(static_cast<unsigned char>(c)));
  }
  return out;
}

// Whether a select-list item ends in an alias of its own ("expr x", "expr AS x").
bool HasAlias(const std::string& item) {
  size_t e = item.size();
  while (e > 0 && ora::spaceC(static_cast<unsigned char>(item[e - 1])))
    --e;
  if (e > 0 && item[e - 1] == '"')
    return true;
  size_t b = e;
  while (b > 0 && IsNameChar(item[b - 1]))
    --b;
  if (b == e || ora::digitC(static_cast<unsigned char>(item[b])))
    return false;
  size_t p = b;
  while (p > 0 && ora::spaceC(static_cast<unsigned char>(item[p - 1])))
    --p;
  if (p == 0 || p == b)
    return false; // a lone name, or one joined to what is before (:name, t.column)
  char c = item[p - 1];
  return IsNameChar(c) || c == ')' || c == '\'';
}

} // namespace

std::string TSqlShell::BindHeadings(const std::string& sql, std::vector<TTextEdit>* edits) {
  // Only a query's own select list: each item naming a bind variable and no alias gets the
  // heading of its text, as the shell shows it when the value is bound rather than written in.
  size_t i = 0;
  const size_t n = sql.size();
  while (i < n && ora::spaceC(static_cast<unsigned char>(sql[i])))
    ++i;
  if (Upper(sql.substr(i, 6)) != "SELECT" || i + 6 >= n || IsNameChar(sql[i + 6]))
    return sql;
  size_t from = i + 6;
  std::vector<size_t> cuts{from}; // where each item begins
  size_t end = n;
  int depth = 0;
  for (size_t k = from; k < n; ++k) {
    char c = sql[k];
    if (c == '\'' || c == '"') {
      size_t q = sql.find(c, k + 1);
      if (q == std::string::npos)
        return sql;
      k = q;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')') {
      --depth;
    } else if (depth == 0 && c == ',') {
      cuts.push_back(k + 1);
    } else if (depth == 0 && (k == 0 || !IsNameChar(sql[k - 1])) && IsNameChar(c)) {
      size_t w = k;
      while (w < n && IsNameChar(sql[w]))
        ++w;
      const std::string word = Upper(sql.substr(k, w - k));
      if (word == "FROM" || word == "INTO" || word == "WHERE" || word == "ORDER" ||
          word == "GROUP" || word == "UNION" || word == "INTERSECT" || word == "MINUS" ||
          word == "FETCH") {
        end = k;
        break;
      }
      k = w - 1;
    }
  }
  std::string out = sql.substr(0, cuts[0]);
  for (size_t c = 0; c < cuts.size(); ++c) {
    const size_t b = cuts[c], e = c + 1 < cuts.size() ? cuts[c + 1] - 1 : end;
    std::string item = sql.substr(b, e - b);
    std::string named = item;
    bool bind = false;
    EachBind(item, [&](const std::string& name) {
      bind = true;
      return ":" + name;
    });
    std::string head = Trim(item);
    for (const char* lead : {"DISTINCT ", "UNIQUE ", "ALL "})
      if (c == 0 && Upper(head).rfind(lead, 0) == 0)
        head = Trim(head.substr(strlen(lead)));
    if (bind && head.find('"') == std::string::npos && !HasAlias(head)) {
      size_t keep = item.find_last_not_of(" \t\r\n") + 1;
      named = item.substr(0, keep) + " \"" + ItemHeading(head) + "\"" + item.substr(keep);
      if (edits)
        edits->push_back({out.size() + keep, named.size() - item.size(), b + keep, 0});
    }
    out += named;
    if (c + 1 < cuts.size())
      out += ",";
  }
  return out + sql.substr(end);
}

TBindVar* TSqlShell::FindBind(const std::string& name) {
  for (auto& b : FBinds)
    if (b.Name == Upper(name))
      return &b;
  return nullptr;
}

std::string TSqlShell::BindLiteral(const TBindVar& b) const {
  // a LOB variable's value is a LOB in the statement too
  if (b.Type == "CLOB" || b.Type == "NCLOB")
    return "TO_CLOB(" + (b.Null ? std::string("NULL") : OraText(b.Value)) + ")";
  // as wide as declared, so that a query's column is too (SQL's text goes up to 4000)
  const bool sized =
      (b.Type.rfind("VARCHAR2(", 0) == 0 || b.Type.rfind("NVARCHAR2(", 0) == 0) && b.Size <= 4000;
  if (b.Null && sized)
    return "CAST(NULL AS " + b.Type + ")";
  if (b.Null)
    return "NULL";
  if (b.Number)
    return IsNumberText(b.Value) ? b.Value : "NULL";
  if (sized)
    return "CAST(" + OraText(b.Value) + " AS " + b.Type + ")";
  return OraText(b.Value);
}

std::string TSqlShell::ReplaceBinds(const std::string& text, std::string& undeclared,
                                    TBoundText* bound) {
  undeclared.clear();
  if (bound) {
    bound->Written = text;
    bound->Headings.clear();
    bound->Values.clear();
  }
  std::string named = BindHeadings(text, bound ? &bound->Headings : nullptr);
  std::string out = EachBind(
      named,
      [&](const std::string& name) -> std::string {
        const TBindVar* b = FindBind(name);
        if (!b) {
          if (undeclared.empty())
            undeclared = Upper(name);
          return ":" + name;
        }
        return BindLiteral(*b);
      },
      bound ? &bound->Values : nullptr);
  if (bound)
    bound->Sent = out;
  return out;
}

namespace {

// The place in the text before `edits` of a place in the text after them.
size_t PlaceBefore(const std::vector<TTextEdit>& edits, size_t offset) {
  size_t shifted = offset;
  for (const TTextEdit& e : edits) {
    if (offset < e.OutAt)
      break;
    if (offset < e.OutAt + e.OutLength)
      return e.InAt;
    shifted = offset - (e.OutAt + e.OutLength) + (e.InAt + e.InLength);
  }
  return shifted;
}

} // namespace

bool TBoundText::Locate(const std::string& statement, size_t offset, std::string& text,
                        size_t& place) const {
  // the statement as the call library got it: each line ends in " \n"
  std::string lines;
  size_t sentPlace = std::string::npos;
  for (size_t i = 0; i <= Sent.size(); ++i) {
    if (lines.size() == offset)
      sentPlace = i;
    if (i == Sent.size() || Sent[i] == '\n') {
      if (lines.size() + 1 == offset)
        sentPlace = i;
      lines += " \n";
      continue;
    }
    lines += Sent[i] == '\r' ? ' ' : Sent[i];
  }
  if (lines != statement || sentPlace == std::string::npos)
    return false;
  text = Written;
  place = PlaceBefore(Headings, PlaceBefore(Values, sentPlace));
  return true;
}

void TSqlShell::VariableCommand(const std::string& args) {
  std::vector<std::string> w = SplitWords(args);
  auto list = [&](const TBindVar& b) {
    FOut << "variable   " << b.Shown << "\ndatatype   " << b.Type << "\n";
  };
  if (w.empty() && FBinds.empty()) {
    FOut << "SP2-0568: No bind variables declared.\n";
    return;
  }
  if (w.empty()) {
    for (size_t k = 0; k < FBinds.size(); ++k) {
      if (k)
        FOut << "\n";
      list(FBinds[k]);
    }
    return;
  }
  const std::string name = w[0];
  if (!std::all_of(name.begin(), name.end(), IsNameChar) ||
      !ora::alphaC(static_cast<unsigned char>(name[0]))) {
    FOut << "SP2-0553: Illegal variable name \"" << name << "\".\n";
    return;
  }
  if (w.size() == 1) {
    if (const TBindVar* b = FindBind(name))
      list(*b);
    else
      FOut << "SP2-0552: Bind variable \"" << Upper(name) << "\" not declared.\n";
    return;
  }
  // The type, blanks inside its parentheses allowed: NUMBER, VARCHAR2(n), CHAR[(n)], ...
  std::string type;
  for (size_t k = 1; k < w.size(); ++k)
    type += w[k];
  type = Upper(type);
  while (!type.empty() && type.back() == ';')
    type.pop_back();
  TBindVar b;
  b.Name = Upper(name);
  b.Shown = name;
  std::string base = type.substr(0, type.find('('));
  long long size = 0;
  if (type.find('(') != std::string::npos) {
    std::string inner = type.substr(type.find('(') + 1);
    if (inner.empty() || inner.back() != ')') {
      base.clear();
    } else {
      inner.pop_back();
      for (const char* unit : {"CHAR", "BYTE"})
        if (inner.size() > 4 && inner.compare(inner.size() - 4, 4, unit) == 0)
          inner.resize(inner.size() - 4);
      if (!ParseInt(inner, size) || size < 1 || size > 32767)
        base.clear();
    }
  }
  if (base == "REFCURSOR" && type == base) {
    b.RefCursor = true;
    b.Type = base;
  } else if (base == "NUMBER" || base == "BINARY_FLOAT" || base == "BINARY_DOUBLE") {
    b.Number = true;
    b.Type = base;
    if (size)
      base.clear();
  } else if ((base == "CLOB" || base == "NCLOB") && type == base) {
    // text of any length, shown as far as SET LONG reaches
    b.Size = std::numeric_limits<int>::max();
    b.Type = base;
  } else if (base == "VARCHAR2" || base == "NVARCHAR2" || base == "CHAR" || base == "NCHAR") {
    if (size == 0 && (base == "CHAR" || base == "NCHAR"))
      size = 1;
    b.Size = static_cast<int>(size);
    b.Type = base + "(" + std::to_string(size) + ")";
    if (size == 0)
      base.clear();
  } else {
    base.clear();
  }
  if (base.empty()) {
    FOut << "Usage: VAR[IABLE] [ <variable> [ NUMBER | CHAR | CHAR (n [CHAR|BYTE]) |\n"
            "                    VARCHAR2 (n [CHAR|BYTE]) | NCHAR | NCHAR (n) |\n"
            "                    NVARCHAR2 (n) | CLOB | NCLOB | BLOB | BFILE\n"
            "                    REFCURSOR | BINARY_FLOAT | BINARY_DOUBLE ] ]\n";
    return;
  }
  if (TBindVar* old = FindBind(name))
    *old = b;
  else
    FBinds.push_back(b);
}

void TSqlShell::PrintCommand(const std::string& args) {
  if (!RequireConnection())
    return;
  std::vector<std::string> names = SplitWords(args);
  if (names.empty() && FBinds.empty())
    FOut << "SP2-0568: No bind variables declared.\n";
  if (names.empty())
    for (auto& b : FBinds)
      names.push_back(b.Name);
  for (std::string name : names) {
    if (!name.empty() && name[0] == ':')
      name.erase(0, 1);
    TBindVar* b = FindBind(name);
    if (!b) {
      FOut << "SP2-0552: Bind variable \"" << Upper(name) << "\" not declared.\n";
      continue;
    }
    if (b->RefCursor) {
      PrintCursor(*b);
      continue;
    }
    std::string value = BindLiteral(*b);
    std::string expr = b->Number ? "CAST(" + value + " AS NUMBER)"
                       : b->Type == "CLOB" || b->Type == "NCLOB"
                           ? value
                           : "CAST(" + value + " AS VARCHAR2(" + std::to_string(b->Size) + "))";
    RunStatementText("SELECT " + expr + " " + OraName(b->Name) + " FROM DUAL", false);
  }
}

bool TSqlShell::BindAssignments(const std::string& block, bool& handled) {
  handled = false;
  // BEGIN ... END; of nothing but ":a := expression;", DBMS_OUTPUT.PUT_LINE (PUT, NEW_LINE,
  // ENABLE, DISABLE) and NULL steps.
  std::string body = Trim(block);
  if (Upper(body.substr(0, 5)) != "BEGIN")
    return true;
  body = Trim(body.substr(5));
  while (!body.empty() && (body.back() == ';' || body.back() == ' ' || body.back() == '\n'))
    body.pop_back();
  if (body.size() < 3 || Upper(body.substr(body.size() - 3)) != "END")
    return true;
  body = body.substr(0, body.size() - 3);
  struct TStep {
    char Kind; // 'A' assignment, 'L' PUT_LINE, 'P' PUT, 'N' NEW_LINE
    std::string Name, Expr;
  };
  std::vector<TStep> steps;
  for (const std::string& piece : SplitTop(body, ';')) {
    std::string s = Trim(piece);
    const std::string u = Upper(s);
    if (s.empty() || u == "NULL")
      continue;
    // DBMS_OUTPUT.name [(argument)]
    auto call = [&](const char* proc, std::string& arg) {
      const std::string head = std::string("DBMS_OUTPUT.") + proc;
      if (u.compare(0, head.size(), head) != 0)
        return false;
      std::string rest = Trim(s.substr(head.size()));
      if (rest.empty())
        return true;
      if (rest.front() != '(' || rest.back() != ')')
        return false;
      arg = Trim(rest.substr(1, rest.size() - 2));
      return true;
    };
    std::string arg;
    if (call("PUT_LINE", arg) && !arg.empty()) {
      steps.push_back({'L', "", arg});
      continue;
    }
    if (call("PUT", arg) && !arg.empty() && u.compare(0, 16, "DBMS_OUTPUT.PUT_") != 0) {
      steps.push_back({'P', "", arg});
      continue;
    }
    if (call("NEW_LINE", arg) && arg.empty()) {
      steps.push_back({'N', "", ""});
      continue;
    }
    if (call("ENABLE", arg) || call("DISABLE", arg))
      continue;
    size_t assign = s.find(":=");
    if (s[0] != ':' || assign == std::string::npos)
      return true;
    std::string name = Trim(s.substr(1, assign - 1));
    if (name.empty() || !std::all_of(name.begin(), name.end(), IsNameChar))
      return true;
    // a cursor variable is the engine's to assign
    if (const TBindVar* target = FindBind(name); target && target->RefCursor)
      return true;
    steps.push_back({'A', name, Trim(s.substr(assign + 2))});
  }
  // a block without bind variables can also be the engine's to run: it knows the schema's
  // packages and functions that write, which a SELECT of each expression does not
  auto namesBind = [](const std::string& e) {
    bool quoted = false;
    for (size_t k = 0; k + 1 < e.size(); ++k) {
      if (e[k] == '\'')
        quoted = !quoted;
      else if (!quoted && e[k] == ':' && IsNameChar(e[k + 1]))
        return true;
    }
    return false;
  };
  const bool engineCanRun = std::none_of(steps.begin(), steps.end(), [&](const TStep& st) {
    return st.Kind == 'A' || namesBind(st.Expr);
  });
  // an engine that takes bind values runs the block as PL/SQL, with PL/SQL's own limits
  if (OciIntr::BindValueAvailable())
    return true;
  handled = true;
  std::string output, line; // what DBMS_OUTPUT collected, and its unfinished line
  for (const TStep& step : steps) {
    TBindVar* b = step.Kind == 'A' ? FindBind(step.Name) : nullptr;
    if (step.Kind == 'A' && !b) {
      FOut << "SP2-0552: Bind variable \"" << Upper(step.Name) << "\" not declared.\n";
      return true;
    }
    if (step.Kind == 'N') {
      output += line + "\n";
      line.clear();
      continue;
    }
    std::string undeclared;
    std::string value = ReplaceBinds(step.Expr, undeclared);
    if (!undeclared.empty()) {
      FOut << "SP2-0552: Bind variable \"" << undeclared << "\" not declared.\n";
      return true;
    }
    const bool number = b && b->Number;
    TOraCursor c;
    c.SetSession(&FSession);
    c.SetNumberOfRows(1);
    c.SetDatesAsText(true);
    c.SetSQL({"SELECT " + std::string(number ? "TO_NUMBER(" : "TO_CHAR(") + value + ") FROM DUAL"});
    std::string err;
    c.OnError = [&](TOraCursor&, const std::string& msg) { err = msg; };
    bool ok = c.Open() && c.Parse() && c.DescribeFields() && c.Exec() &&
              (c.FetchRowsQuiet() || c.ReturnCode() == 1403) && c.RowsProcessed() > 0;
    c.OnError = nullptr;
    TBindVar next = b ? *b : TBindVar();
    if (ok) {
      TCustomOraField* f = c.Fields(0);
      next.Null = f->IsNull(0);
      if (next.Null)
        next.Value.clear();
      else if (f->FieldKind() == fkNumber) {
        const char* p = reinterpret_cast<const char*>(f->Buffer());
        next.Value.assign(p, strnlen(p, static_cast<size_t>(f->Width())));
      } else
        next.Value = f->GetAsString(0);
      // the size counts Shift-JIS bytes, as the database's own text does
      if (b && !next.Number && DisplayWidth(next.Value) > next.Size) {
        ok = false;
        err = "ORA-06502: PL/SQL: numeric or value error: character string buffer too small";
      }
    } else if (err.empty()) {
      err = c.ErrorText();
    }
    const int code = ok ? 0 : (c.ReturnCode() ? c.ReturnCode() : 6502);
    if (FSession.Connected() && c.Opened())
      c.Close();
    // what SQL does not read (PL/SQL's own operators, such as MOD) is the engine's to run
    if (!ok && engineCanRun &&
        (code == 904 || code == 14551 || code == 6553 || code == 907 || code == 923 ||
         code == 933 || code == 936)) {
      handled = false;
      return true;
    }
    if (!ok) {
      // As a failed block shows it: the statement, no token to point at, the line of the block.
      FOut << block << "\n\n*\nERROR at line 1:\n";
      return Failed(err.substr(0, err.find('\r')) + "\nORA-06512: at line 1", code);
    }
    if (b)
      *b = next;
    else if (step.Kind == 'P')
      line += next.Value;
    else {
      output += line + next.Value + "\n";
      line.clear();
    }
  }
  // SERVEROUTPUT shows what the block wrote, whole lines only.
  if (Settings.ServerOutput)
    for (size_t at = 0, end; (end = output.find('\n', at)) != std::string::npos; at = end + 1)
      WriteServerLine(output.substr(at, end - at));
  if (Settings.Feedback > 0)
    FOut << "\nPL/SQL procedure successfully completed.\n\n";
  if (Settings.AutoPrint)
    AutoPrint(block);
  return true;
}

std::string TSqlShell::UndeclaredBind(const std::string& block) {
  const std::string first = TSqlSplitter::LeadingWords(block, 1);
  if (first != "BEGIN" && first != "DECLARE")
    return {};
  std::string undeclared;
  EachBind(block, [&](const std::string& name) -> std::string {
    if (undeclared.empty() && !FindBind(name))
      undeclared = Upper(name);
    return ":" + name;
  });
  return undeclared;
}

void TSqlShell::AutoPrint(const std::string& block) {
  // Each variable the block named, once, in the order it first appears.
  std::string names;
  std::vector<std::string> seen;
  EachBind(block, [&](const std::string& name) -> std::string {
    if (std::find(seen.begin(), seen.end(), Upper(name)) == seen.end()) {
      seen.push_back(Upper(name));
      names += " " + name;
    }
    return ":" + name;
  });
  if (!names.empty())
    PrintCommand(names);
}

bool TSqlShell::BindCursors(TOraCursor& block, const std::string& text, std::string& error) {
  FBoundCursors.clear();
  bool ok = true;
  EachBind(text, [&](const std::string& name) -> std::string {
    TBindVar* b = FindBind(name);
    if (!ok || !b || !b->RefCursor ||
        std::find(FBoundCursors.begin(), FBoundCursors.end(), b->Name) != FBoundCursors.end())
      return ":" + name;
    if (!b->Cursor)
      b->Cursor = std::make_shared<TOraCursor>();
    TOraCursor& c = *b->Cursor;
    c.SetSession(&FSession);
    c.SetNumberOfRows(TOraCursor::MaxRows);
    c.SetDatesAsText(true); // as a query's rows are shown
    c.SetRawAsText(true);
    c.OnError = [&](TOraCursor&, const std::string& msg) { error = msg; };
    ok = c.Opened() || c.Open();
    c.OnError = nullptr;
    if (ok) {
      int r = OciIntr::tessel_bind_cursor(block.CursorArea(), b->Name.c_str(), -1, c.CursorArea());
      // a name the block has only inside a quote or comment is none of its placeholders
      if (r != 0 && r != 1036) {
        ok = false;
        error = FSession.GetErrorMessage(r);
      }
      if (r == 0)
        FBoundCursors.push_back(b->Name);
    }
    return ":" + name;
  });
  return ok;
}

bool TSqlShell::BindValues(TOraCursor& block, const std::string& text, std::string& error) {
  FBoundValues.clear();
  if (!OciIntr::BindValueAvailable())
    return true;
  bool ok = true;
  EachBind(text, [&](const std::string& name) -> std::string {
    const TBindVar* b = FindBind(name);
    if (!ok || !b || b->RefCursor ||
        std::find(FBoundValues.begin(), FBoundValues.end(), b->Name) != FBoundValues.end())
      return ":" + name;
    int r = OciIntr::tessel_bind_value(block.CursorArea(), b->Name.c_str(), -1, b->Number ? 1 : 0,
                                       b->Null ? nullptr : b->Value.c_str(), -1);
    if (r != 0 && r != 1036) {
      ok = false;
      error = FSession.GetErrorMessage(r);
    }
    if (r == 0)
      FBoundValues.push_back(b->Name);
    return ":" + name;
  });
  return ok;
}

bool TSqlShell::ValuesRan(TOraCursor& block, std::string& error) {
  std::vector<char> buf(32768);
  for (const std::string& name : FBoundValues) {
    TBindVar* b = FindBind(name);
    int len = 0, isNull = 1;
    if (!b)
      continue;
    int r = OciIntr::tessel_bound_value(block.CursorArea(), name.c_str(), -1, buf.data(),
                                        static_cast<int>(buf.size()), &len, &isNull);
    // a value longer than the buffer is read again whole
    if (r != 0 && len >= static_cast<int>(buf.size())) {
      buf.resize(static_cast<size_t>(len) + 1);
      r = OciIntr::tessel_bound_value(block.CursorArea(), name.c_str(), -1, buf.data(),
                                      static_cast<int>(buf.size()), &len, &isNull);
    }
    if (r != 0)
      continue;
    std::string value = isNull ? std::string() : std::string(buf.data(), static_cast<size_t>(len));
    // the size counts Shift-JIS bytes, as the database's own text does
    if (!b->Number && DisplayWidth(value) > b->Size) {
      error = "ORA-06502: PL/SQL: numeric or value error: character string buffer too small";
      return false;
    }
    b->Null = isNull != 0;
    b->Value = value;
  }
  FBoundValues.clear();
  return true;
}

void TSqlShell::CursorsRan(bool ok) {
  for (const std::string& name : FBoundCursors)
    if (TBindVar* b = FindBind(name))
      b->Pending = ok;
  FBoundCursors.clear();
}

void TSqlShell::PrintCursor(TBindVar& b) {
  if (!b.Pending || !b.Cursor || !b.Cursor->Opened()) {
    // nothing opened it, or its rows were shown already
    FOut << "ERROR:\nORA-24338: statement handle not executed\n\n\nSP2-0625: Error printing "
            "variable \""
         << b.Shown << "\"\n";
    return;
  }
  b.Pending = false;
  TOraCursor& c = *b.Cursor;
  std::string err;
  c.OnError = [&](TOraCursor&, const std::string& msg) { err = msg; };
  bool ok = c.DescribeFields();
  c.OnError = nullptr;
  if (ok && RunQuery(c, err))
    return;
  FOut << "ERROR:\n";
  Failed(err, err.rfind("ORA-01013", 0) == 0 ? 1013 : c.ReturnCode());
}

namespace {
const char kRowsBind[] = "TESSEL_ROWS$";
} // namespace

// INSERT, UPDATE, DELETE or MERGE ... RETURNING ... INTO :name: the engine fills the variables
// only when the statement runs inside a block.
bool TSqlShell::ReturningIntoBinds(const std::string& text) const {
  const std::string verb = TSqlSplitter::LeadingWords(text, 1);
  if (verb != "INSERT" && verb != "UPDATE" && verb != "DELETE" && verb != "MERGE")
    return false;
  // the words outside quotes, in upper case
  std::string words;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\'' || c == '"') {
      size_t e = text.find(c, i + 1);
      i = e == std::string::npos ? text.size() : e;
      words += ' ';
      continue;
    }
    words += static_cast<char>(ora::upperC(static_cast<unsigned char>(c)));
  }
  static const std::regex returning(R"((^|[^A-Z0-9_$#])RETURN(ING)?\s[\s\S]*[^A-Z0-9_$#]INTO\s*:)");
  return std::regex_search(words, returning);
}

bool TSqlShell::RunReturning(const std::string& text) {
  TBindVar rows;
  rows.Name = rows.Shown = kRowsBind;
  rows.Type = "NUMBER";
  rows.Number = true;
  FBinds.push_back(rows);
  FReturning = text;
  std::string statement = text;
  statement.erase(statement.find_last_not_of(" \t\r\n;") + 1);
  const bool go = RunStatementText(
      "BEGIN " + statement + ";\n:" + std::string(kRowsBind) + " := SQL%ROWCOUNT; END;", true);
  FReturning.clear();
  FBinds.erase(std::remove_if(FBinds.begin(), FBinds.end(),
                              [](const TBindVar& b) { return b.Name == kRowsBind; }),
               FBinds.end());
  return go;
}

uint32_t TSqlShell::ReturnedRows() {
  const TBindVar* b = FindBind(kRowsBind);
  return b && !b->Null ? static_cast<uint32_t>(std::strtoul(b->Value.c_str(), nullptr, 10)) : 0;
}

// The error of a statement run inside a block, as the statement alone reports it: without the
// block's line, and a compile error's SQL error without its PL/SQL wrapping.
std::string StatementError(const std::string& err) {
  std::string e = err;
  if (e.rfind("ORA-06550", 0) == 0) {
    if (size_t at = e.find("PL/SQL: ORA-"); at != std::string::npos) {
      e = e.substr(at + 8);
      e.erase(std::min(e.size(), e.find('\n')));
    }
  }
  if (size_t at = e.find("\nORA-06512: at line"); at != std::string::npos)
    e.erase(at);
  return e;
}
