#include "SqlTranslate.h"

#include "OraError.h"

#include <cstring>
#include <set>
#include <sqlite3.h>

namespace ora {

namespace {

struct Token {
  enum Kind { Ident, QIdent, Str, Num, Op, Bind } kind;
  std::string text; // Ident: upper case; QIdent, Str: content; others: as written
  std::string raw;  // as written
  int depth = 0;    // open parentheses before the token ('(' and ')' carry the outer depth)
};

bool identStart(unsigned char c) { return std::isalpha(c) || c >= 0x80; }
bool identChar(unsigned char c) { return std::isalnum(c) || c == '_' || c == '$' || c == '#' || c >= 0x80; }

std::vector<Token> tokenize(const std::string& s) {
  std::vector<Token> out;
  size_t i = 0, n = s.size();
  int depth = 0;
  while (i < n) {
    unsigned char c = s[i];
    if (std::isspace(c)) { ++i; continue; }
    if (c == '-' && i + 1 < n && s[i + 1] == '-') {
      while (i < n && s[i] != '\n') ++i;
      continue;
    }
    if (c == '/' && i + 1 < n && s[i + 1] == '*') {
      auto e = s.find("*/", i + 2);
      if (e == std::string::npos) throw OraError(921);
      i = e + 2;
      continue;
    }
    Token t;
    t.depth = depth;
    size_t b = i;
    if (c == '\'') {
      ++i;
      for (;;) {
        if (i >= n) throw OraError(1756);
        if (s[i] == '\'') {
          if (i + 1 < n && s[i + 1] == '\'') { t.text += '\''; i += 2; continue; }
          ++i;
          break;
        }
        t.text += s[i++];
      }
      t.kind = Token::Str;
    } else if (c == '"') {
      auto e = s.find('"', i + 1);
      if (e == std::string::npos) throw OraError(1740);
      t.text = s.substr(i + 1, e - i - 1);
      if (t.text.empty()) throw OraError(1741);
      i = e + 1;
      t.kind = Token::QIdent;
    } else if (std::isdigit(c) || (c == '.' && i + 1 < n && std::isdigit(static_cast<unsigned char>(s[i + 1])))) {
      while (i < n && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
      if (i < n && s[i] == '.') { ++i; while (i < n && std::isdigit(static_cast<unsigned char>(s[i]))) ++i; }
      if (i < n && (s[i] == 'e' || s[i] == 'E')) {
        size_t k = i + 1;
        if (k < n && (s[k] == '+' || s[k] == '-')) ++k;
        if (k < n && std::isdigit(static_cast<unsigned char>(s[k]))) {
          i = k;
          while (i < n && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
        }
      }
      t.kind = Token::Num;
      t.text = s.substr(b, i - b);
    } else if (identStart(c)) {
      while (i < n && identChar(static_cast<unsigned char>(s[i]))) ++i;
      t.kind = Token::Ident;
      t.text = s.substr(b, i - b);
      for (auto& ch : t.text) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    } else if (c == ':' && i + 1 < n && (identStart(s[i + 1]) || std::isdigit(static_cast<unsigned char>(s[i + 1])))) {
      ++i;
      while (i < n && identChar(static_cast<unsigned char>(s[i]))) ++i;
      t.kind = Token::Bind;
      t.text = s.substr(b, i - b);
    } else {
      static const char* two[] = {"||", "<=", ">=", "<>", "!=", "^=", "~="};
      t.kind = Token::Op;
      t.text = std::string(1, static_cast<char>(c));
      for (auto* p : two)
        if (i + 1 < n && s[i] == p[0] && s[i + 1] == p[1]) t.text = p;
      i += t.text.size();
      if (t.text == ";") throw OraError(911);
      if (!std::strchr("()+-*/,.=<>|!^~", t.text[0]) || t.text == "|" || t.text == "!" || t.text == "^" || t.text == "~")
        throw OraError(911);
      if (t.text == "(") ++depth;
      if (t.text == ")") {
        if (depth == 0) throw OraError(933);
        t.depth = --depth;
      }
    }
    t.raw = s.substr(b, i - b);
    out.push_back(std::move(t));
  }
  if (depth != 0) throw OraError(907);
  return out;
}

const std::set<std::string>& keywords() {
  static const std::set<std::string> k = {
      "SELECT", "FROM", "WHERE", "AND", "OR", "NOT", "NULL", "IS", "IN", "EXISTS", "BETWEEN",
      "LIKE", "ESCAPE", "AS", "DISTINCT", "ALL", "ORDER", "BY", "GROUP", "HAVING", "ASC", "DESC",
      "NULLS", "FIRST", "LAST", "UNION", "INTERSECT", "MINUS", "EXCEPT", "CASE", "WHEN", "THEN",
      "ELSE", "END", "INSERT", "INTO", "VALUES", "UPDATE", "SET", "DELETE", "CREATE", "TABLE",
      "DROP", "INDEX", "ON", "PRIMARY", "KEY", "FOREIGN", "REFERENCES", "CONSTRAINT", "CHECK",
      "DEFAULT", "CASCADE", "JOIN", "INNER", "LEFT", "RIGHT", "FULL", "OUTER", "CROSS",
      "NATURAL", "USING", "WITH", "UNIQUE", "PRIOR", "CONNECT", "START", "FOR", "OF", "ANY", "SOME"};
  return k;
}
bool is(const Token& t, const char* word);

// Words Oracle does not reserve are keywords only where they stand in their clause, so that a
// column may be called KEY or FIRST.
bool keywordAt(const std::vector<Token>& t, size_t i) {
  if (i >= t.size() || t[i].kind != Token::Ident || !keywords().count(t[i].text)) return false;
  const std::string& w = t[i].text;
  auto prev = [&](const char* x) { return i > 0 && is(t[i - 1], x); };
  auto next = [&](const char* x) { return i + 1 < t.size() && is(t[i + 1], x); };
  if (w == "KEY") return prev("PRIMARY") || prev("FOREIGN");
  if (w == "FIRST" || w == "LAST") return prev("NULLS");
  if (w == "NULLS") return next("FIRST") || next("LAST");
  if (w == "LEFT" || w == "RIGHT" || w == "FULL" || w == "INNER" || w == "CROSS" || w == "NATURAL")
    return next("JOIN") || next("OUTER");
  if (w == "OUTER") return next("JOIN");
  if (w == "USING") return next("(");
  return true;
}
bool is(const Token& t, const char* word) {
  return (t.kind == Token::Ident || t.kind == Token::Op) && t.text == word;
}

std::string quoteIdent(const std::string& s) {
  std::string r = "\"";
  for (char c : s) { if (c == '"') r += '"'; r += c; }
  return r + "\"";
}
std::string quoteString(const std::string& s) {
  std::string r = "'";
  for (char c : s) { if (c == '\'') r += '\''; r += c; }
  return r + "'";
}

void checkName(const std::string& name) {
  if (name.size() > 30) throw OraError(972, name);
  std::string u = name;
  for (auto& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (u.rfind("TESSEL$", 0) == 0 || u.rfind("SQLITE_", 0) == 0) throw OraError(942, name);
}

struct TableRef {
  std::string name, alias;
  int64_t obj = 0;
};

struct Context {
  std::vector<TableRef> tables;
};

class Translator {
public:
  Translator(std::vector<Token> toks, Catalog& cat) : t_(std::move(toks)), cat_(cat) {}

  Translation run();

private:
  std::vector<Token> t_;
  Catalog& cat_;
  Translation tr_;
  std::vector<Context> ctx_;
  std::vector<std::string> replace_; // per token: emitted text instead of the token
  std::vector<char> skip_;

  size_t size() const { return t_.size(); }
  const Token& at(size_t i) const {
    static const Token end{Token::Op, "", "", 0};
    return i < t_.size() ? t_[i] : end;
  }
  [[noreturn]] void unexpected(size_t i) {
    if (i >= size()) throw OraError(921);
    throw OraError(933, "near " + at(i).raw);
  }
  void expect(size_t i, const char* word, int code) {
    if (!is(at(i), word)) throw OraError(code);
  }

  // Reads [schema.]name at i; returns the index after it.
  size_t objectName(size_t i, std::string& name) {
    const Token& a = at(i);
    if (a.kind != Token::Ident && a.kind != Token::QIdent) throw OraError(903);
    if (keywordAt(t_, i)) throw OraError(903);
    if (is(at(i + 1), ".")) {
      const Token& b = at(i + 2);
      if (b.kind != Token::Ident && b.kind != Token::QIdent) throw OraError(903);
      if (a.text != cat_.user()) throw OraError(942, a.text + "." + b.text);
      skip_[i] = skip_[i + 1] = 1;
      name = b.text;
      checkName(name);
      return i + 3;
    }
    name = a.text;
    checkName(name);
    return i + 1;
  }

  bool aliasToken(size_t i) const {
    const Token& a = at(i);
    return (a.kind == Token::Ident && !keywordAt(t_, i)) || a.kind == Token::QIdent;
  }

  std::string emit(size_t b, size_t e);
  std::string emitSelect(size_t s, size_t e, size_t& next);
  std::string heading(size_t b, size_t e);
  ColType infer(size_t b, size_t e);
  size_t clauseEnd(size_t i, size_t e, int depth, const std::set<std::string>& stops);
  void parseFrom(size_t b, size_t e, Context& c);
  std::string rowidExpr(const std::string& qualifier, size_t i, size_t& next);

  void query();
  void insert();
  void update();
  void del();
  void createTable();
  void createIndex(bool unique, size_t i);
  void drop();
  void truncate();
  std::string convWrap(const std::string& expr, const ColumnInfo& col, const std::string& table);
  // The table a DML statement writes, with its optional alias (not the keyword `next`); pushes
  // it as the context ROWID refers to.
  size_t dmlTarget(size_t i, const char* next, TableRef& r);
};

const ColumnInfo& findColumn(const std::vector<ColumnInfo>& cols, const std::string& name) {
  for (auto& c : cols)
    if (c.name == name) return c;
  throw OraError(904, "\"" + name + "\"");
}

size_t Translator::clauseEnd(size_t i, size_t e, int depth, const std::set<std::string>& stops) {
  for (; i < e; ++i) {
    const Token& k = t_[i];
    if (k.depth < depth) return i;
    if (k.depth == depth && k.kind == Token::Ident && stops.count(k.text)) return i;
  }
  return e;
}

void Translator::parseFrom(size_t b, size_t e, Context& c) {
  int d = at(b).depth;
  bool expectTable = true;
  for (size_t i = b; i < e; ++i) {
    const Token& k = t_[i];
    if (k.depth != d) continue;
    if (expectTable) {
      expectTable = false;
      if (k.kind == Token::Ident || k.kind == Token::QIdent) {
        if (keywordAt(t_, i)) continue;
        TableRef r;
        size_t j = objectName(i, r.name);
        if (r.name == "DUAL" && k.kind == Token::Ident) {
          replace_[j - 1] = "(SELECT 'X' AS \"DUMMY\")";
          if (!aliasToken(j) && !is(at(j), "AS")) replace_[j - 1] += " \"DUAL\"";
          ColType dummy;
          dummy.code = kVarchar2;
          dummy.size = 1;
          tr_.inferred.emplace("DUMMY", dummy);
        } else if (!cat_.tableExists(r.name)) {
          throw OraError(942, r.name);
        }
        if (is(at(j), "AS")) ++j;
        if (aliasToken(j) && j < e) r.alias = at(j).text;
        c.tables.push_back(r);
        i = j - 1;
      }
      continue;
    }
    if (k.kind == Token::Op && k.text == ",") expectTable = true;
    if (k.kind == Token::Ident && k.text == "JOIN") expectTable = true;
  }
}

std::string Translator::rowidExpr(const std::string& qualifier, size_t i, size_t& next) {
  if (ctx_.empty()) throw OraError(904, "ROWID");
  const TableRef* ref = nullptr;
  for (auto it = ctx_.rbegin(); it != ctx_.rend() && !ref; ++it)
    for (auto& r : it->tables)
      if (qualifier.empty() ? true : (r.alias == qualifier || (r.alias.empty() && r.name == qualifier))) {
        ref = &r;
        break;
      }
  if (!ref || ref->name == "DUAL") throw OraError(904, "ROWID");
  auto& r = const_cast<TableRef&>(*ref);
  if (!r.obj) r.obj = cat_.objectNumber(r.name);
  std::string q = quoteIdent(r.alias.empty() ? r.name : r.alias);
  next = i + 1;
  // ROWID = 'literal' goes straight to the row instead of scanning the table.
  if (is(at(i + 1), "=") && at(i + 2).kind == Token::Str) {
    int64_t obj, rowid;
    if (!decodeRowid(at(i + 2).text, obj, rowid)) throw OraError(1410);
    next = i + 3;
    if (obj != r.obj) return "(0 = 1)";
    return "(" + q + ".rowid = " + std::to_string(rowid) + ")";
  }
  return "ora_rowid(" + std::to_string(r.obj) + ", " + q + ".rowid)";
}

std::string Translator::emit(size_t b, size_t e) {
  std::string out;
  auto add = [&](const std::string& s) {
    if (!out.empty()) out += ' ';
    out += s;
  };
  for (size_t i = b; i < e; ++i) {
    if (skip_[i]) continue;
    if (!replace_[i].empty()) { add(replace_[i]); continue; }
    const Token& k = t_[i];
    if ((k.kind == Token::Ident || k.kind == Token::QIdent) && is(at(i + 1), ".") &&
        is(at(i + 2), "ROWID")) {
      size_t next;
      add(rowidExpr(k.text, i + 2, next));
      i = next - 1;
      continue;
    }
    switch (k.kind) {
    case Token::Str:
      add(k.text.empty() ? "NULL" : quoteString(k.text));
      break;
    case Token::Num:
      add(k.text);
      break;
    case Token::Bind:
      throw OraError(1008, k.text);
    case Token::QIdent:
      add(quoteIdent(k.text));
      break;
    case Token::Op:
      if (k.text == "!=" || k.text == "^=" || k.text == "~=") add("<>");
      else add(k.text);
      break;
    case Token::Ident: {
      if (k.text == "SELECT") {
        size_t next;
        add(emitSelect(i, e, next));
        i = next - 1;
        break;
      }
      if (k.text == "MINUS") { add("EXCEPT"); break; }
      if (keywordAt(t_, i)) { add(k.text); break; }
      if (is(at(i + 1), "(")) { add(k.text == "NVL" ? "IFNULL" : k.text); break; } // function call
      bool qualified = i > b && is(at(i - 1), ".");
      if (!qualified && k.text == "SYSDATE") { add("ora_sysdate()"); break; }
      if (!qualified && k.text == "ROWID") {
        size_t next;
        add(rowidExpr("", i, next));
        i = next - 1;
        break;
      }
      add(quoteIdent(k.text));
      break;
    }
    }
  }
  return out;
}

std::string Translator::heading(size_t b, size_t e) {
  if (e - b == 1 && t_[b].kind == Token::QIdent) return t_[b].text;
  if (e - b == 3 && is(t_[b + 1], ".") && (t_[b + 2].kind == Token::Ident || t_[b + 2].kind == Token::QIdent))
    return t_[b + 2].text;
  std::string h;
  for (size_t i = b; i < e; ++i) {
    std::string r = t_[i].raw;
    for (auto& c : r) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    h += r;
  }
  return h;
}

ColType Translator::infer(size_t b, size_t e) {
  ColType t;
  t.code = kVarchar2;
  t.size = 4000;
  if (e <= b) return t;
  const Token& f = t_[b];
  if (e - b == 1) {
    if (f.kind == Token::Num) { t = ColType{}; t.code = kNumber; return t; }
    if (f.kind == Token::Str) { t.size = std::max<int>(1, static_cast<int>(f.text.size())); return t; }
    if (f.kind == Token::Ident && f.text == "SYSDATE") { t = ColType{}; t.code = kDate; return t; }
    if (f.kind == Token::Ident && f.text == "ROWID") { t = ColType{}; t.code = kRowid; return t; }
  }
  if (e - b == 3 && is(t_[b + 1], ".") && is(t_[b + 2], "ROWID")) { t = ColType{}; t.code = kRowid; return t; }
  // A column of a FROM table: its own type (reached here when it sits inside a call).
  if ((e - b == 1 || (e - b == 3 && is(t_[b + 1], "."))) &&
      (t_[e - 1].kind == Token::Ident || t_[e - 1].kind == Token::QIdent) && !ctx_.empty()) {
    std::string q = e - b == 3 ? t_[b].text : std::string();
    for (auto& r : ctx_.back().tables) {
      if (!q.empty() && r.alias != q && !(r.alias.empty() && r.name == q)) continue;
      if (r.name == "DUAL") continue;
      for (auto& c : cat_.columns(r.name))
        if (c.name == t_[e - 1].text) return c.type;
    }
    return t;
  }
  // Calls whose result has the type of their first argument.
  static const std::set<std::string> sameType = {"MIN", "MAX", "NVL", "COALESCE", "GREATEST",
                                                 "LEAST"};
  if (f.kind == Token::Ident && is(at(b + 1), "(") && sameType.count(f.text) &&
      is(t_[e - 1], ")") && t_[e - 1].depth == f.depth) {
    size_t a = b + 2, ae = a;
    while (ae < e - 1 && !(t_[ae].depth == f.depth + 1 && is(t_[ae], ","))) ++ae;
    if (is(at(a), "DISTINCT") || is(at(a), "ALL")) ++a;
    return infer(a, ae);
  }
  static const std::set<std::string> numeric = {"COUNT", "SUM", "AVG", "LENGTH", "LENGTHB", "INSTR",
      "MOD", "ABS", "CEIL", "FLOOR", "POWER", "SQRT", "SIGN", "TO_NUMBER", "ROUND", "TRUNC",
      "STDDEV", "VARIANCE", "MONTHS_BETWEEN", "ASCII", "UID"};
  static const std::set<std::string> dates = {"TO_DATE", "ADD_MONTHS", "LAST_DAY", "NEXT_DAY"};
  bool call = f.kind == Token::Ident && is(at(b + 1), "(");
  if (call && dates.count(f.text)) { t = ColType{}; t.code = kDate; return t; }
  if (call && numeric.count(f.text)) {
    // the call must span the whole item
    size_t j = b + 2;
    while (j < e && !(t_[j].depth == f.depth && is(t_[j], ")"))) ++j;
    if (j + 1 == e) { t = ColType{}; t.code = kNumber; return t; }
  }
  bool arith = false, concat = false;
  for (size_t i = b; i < e; ++i) {
    if (t_[i].depth != f.depth || t_[i].kind != Token::Op) continue;
    if (t_[i].text == "||") concat = true;
    if (t_[i].text == "+" || t_[i].text == "-" || t_[i].text == "*" || t_[i].text == "/") arith = true;
  }
  if (arith && !concat) { t = ColType{}; t.code = kNumber; }
  return t;
}

std::string Translator::emitSelect(size_t s, size_t e, size_t& next) {
  int d = t_[s].depth;
  static const std::set<std::string> fromStops = {"WHERE", "GROUP", "ORDER", "HAVING", "UNION",
      "INTERSECT", "MINUS", "EXCEPT", "CONNECT", "START", "FOR"};
  static const std::set<std::string> setOps = {"UNION", "INTERSECT", "MINUS", "EXCEPT"};
  size_t listBegin = s + 1;
  std::string head = "SELECT";
  if (is(at(listBegin), "DISTINCT") || is(at(listBegin), "UNIQUE")) { head += " DISTINCT"; ++listBegin; }
  else if (is(at(listBegin), "ALL")) ++listBegin;
  size_t from = clauseEnd(listBegin, e, d, {"FROM"});
  if (from >= e || !is(at(from), "FROM")) throw OraError(923);
  size_t fromEnd = clauseEnd(from + 1, e, d, fromStops);
  size_t end = clauseEnd(fromEnd, e, d, setOps);
  Context c;
  parseFrom(from + 1, fromEnd, c);
  ctx_.push_back(c);

  std::string out = head;
  size_t i = listBegin;
  bool first = true;
  while (i < from) {
    size_t ie = i;
    while (ie < from && !(t_[ie].depth == d && is(t_[ie], ","))) ++ie;
    if (ie == i) throw OraError(936);
    size_t exprEnd = ie;
    std::string alias;
    bool star = is(t_[ie - 1], "*") && (ie - 1 == i || is(t_[ie - 2], "."));
    if (!star && ie - i >= 2 && aliasToken(ie - 1)) {
      const Token& prev = t_[ie - 2];
      if (is(prev, "AS")) { alias = t_[ie - 1].text; exprEnd = ie - 2; }
      else if (!(prev.kind == Token::Op && prev.text != ")")) { alias = t_[ie - 1].text; exprEnd = ie - 1; }
    }
    if (exprEnd == i) throw OraError(936);
    out += first ? " " : ", ";
    first = false;
    out += emit(i, exprEnd);
    if (!star) {
      if (alias.empty()) alias = heading(i, exprEnd);
      out += " AS " + quoteIdent(alias);
      ColType ty = infer(i, exprEnd);
      auto it = tr_.inferred.find(alias);
      bool plainColumn = exprEnd - i == 1 || (exprEnd - i == 3 && is(t_[i + 1], "."));
      if (it == tr_.inferred.end() || !plainColumn) tr_.inferred[alias] = ty;
    }
    i = ie < from ? ie + 1 : ie;
  }
  out += " " + emit(from, end);
  ctx_.pop_back();
  next = end;
  return out;
}

void Translator::query() {
  tr_.kind = StmtKind::Query;
  tr_.function = 4;
  // FOR UPDATE locks rows in Oracle; here writers lock whole schemas, so it is dropped.
  size_t e = size();
  for (size_t i = 0; i < size(); ++i)
    if (t_[i].depth == 0 && is(t_[i], "FOR") && is(at(i + 1), "UPDATE")) { e = i; break; }
  tr_.sql = emit(0, e);
}

std::string Translator::convWrap(const std::string& expr, const ColumnInfo& col, const std::string& table) {
  std::string label = "\"" + cat_.user() + "\".\"" + table + "\".\"" + col.name + "\"";
  return "ora_conv(" + expr + ", " + std::to_string(col.type.code) + ", " +
         std::to_string(col.type.size) + ", " + std::to_string(col.type.precision) + ", " +
         std::to_string(col.type.scale) + ", " + (col.type.hasScale ? "1" : "0") + ", " +
         quoteString(label) + ")";
}

size_t Translator::dmlTarget(size_t i, const char* next, TableRef& r) {
  i = objectName(i, r.name);
  if (!cat_.tableExists(r.name)) throw OraError(942, r.name);
  if (aliasToken(i) && !is(at(i), next)) { r.alias = at(i).text; ++i; }
  Context c;
  c.tables.push_back(r);
  ctx_.push_back(c);
  return i;
}

void Translator::insert() {
  tr_.kind = StmtKind::Dml;
  tr_.function = 3;
  expect(1, "INTO", 925);
  TableRef r;
  size_t i = dmlTarget(2, "VALUES", r);
  const std::string& table = r.name;
  auto cols = cat_.columns(table);
  std::vector<ColumnInfo> target;
  if (is(at(i), "(") && !is(at(i + 1), "SELECT")) {
    ++i;
    for (;;) {
      const Token& k = at(i);
      if (k.kind != Token::Ident && k.kind != Token::QIdent) throw OraError(904);
      std::string name = k.text;
      if (is(at(i + 1), ".")) { name = at(i + 2).text; i += 2; }
      target.push_back(findColumn(cols, name));
      ++i;
      if (is(at(i), ",")) { ++i; continue; }
      if (is(at(i), ")")) { ++i; break; }
      throw OraError(917);
    }
  } else {
    target = cols;
  }
  std::string head = "INSERT INTO " + quoteIdent(table) + " (";
  for (size_t k = 0; k < target.size(); ++k) head += (k ? ", " : "") + quoteIdent(target[k].name);
  head += ")";
  if (is(at(i), "VALUES")) {
    ++i;
    expect(i, "(", 906);
    int d = at(i).depth;
    size_t close = i + 1;
    while (close < size() && !(t_[close].depth == d && is(t_[close], ")"))) ++close;
    if (close + 1 < size()) unexpected(close + 1);
    std::vector<std::string> vals;
    size_t b = i + 1;
    for (size_t k = b; k <= close; ++k) {
      if (k == close || (t_[k].depth == d + 1 && is(t_[k], ","))) {
        if (k == b) throw OraError(936);
        vals.push_back(emit(b, k));
        b = k + 1;
      }
    }
    if (vals.size() < target.size()) throw OraError(947);
    if (vals.size() > target.size()) throw OraError(913);
    tr_.sql = head + " VALUES (";
    for (size_t k = 0; k < vals.size(); ++k)
      tr_.sql += (k ? ", " : "") + convWrap(vals[k], target[k], table);
    tr_.sql += ")";
  } else if (is(at(i), "SELECT") || is(at(i), "(") || is(at(i), "WITH")) {
    std::string src = emit(i, size());
    std::string cte = "WITH \"SRC$\"(";
    std::string sel = " SELECT ";
    for (size_t k = 0; k < target.size(); ++k) {
      std::string cn = "\"C" + std::to_string(k + 1) + "\"";
      cte += (k ? ", " : "") + cn;
      sel += (k ? ", " : "") + convWrap(cn, target[k], table);
    }
    tr_.sql = cte + ") AS (" + src + ") " + head + sel + " FROM \"SRC$\"";
  } else {
    throw OraError(926);
  }
  ctx_.pop_back();
}

void Translator::update() {
  tr_.kind = StmtKind::Dml;
  tr_.function = 5;
  TableRef r;
  size_t i = dmlTarget(1, "SET", r);
  const std::string& table = r.name;
  auto cols = cat_.columns(table);
  expect(i, "SET", 971);
  ++i;
  std::string out = "UPDATE " + quoteIdent(table);
  if (!r.alias.empty()) out += " AS " + quoteIdent(r.alias);
  out += " SET ";
  size_t where = clauseEnd(i, size(), 0, {"WHERE"});
  bool first = true;
  while (i < where) {
    const Token& k = at(i);
    if (k.kind != Token::Ident && k.kind != Token::QIdent) throw OraError(k.kind == Token::Op && k.text == "(" ? 1767 : 904);
    std::string name = k.text;
    if (is(at(i + 1), ".")) { name = at(i + 2).text; i += 2; }
    const ColumnInfo* col = &findColumn(cols, name);
    expect(i + 1, "=", 927);
    size_t b = i + 2, e = b;
    while (e < where && !(t_[e].depth == 0 && is(t_[e], ","))) ++e;
    if (e == b) throw OraError(936);
    out += (first ? "" : ", ") + quoteIdent(col->name) + " = " + convWrap(emit(b, e), *col, table);
    first = false;
    i = e < where ? e + 1 : e;
  }
  if (first) throw OraError(927);
  if (where < size()) out += " " + emit(where, size());
  tr_.sql = out;
  ctx_.pop_back();
}

void Translator::del() {
  tr_.kind = StmtKind::Dml;
  tr_.function = 9;
  TableRef r;
  size_t i = dmlTarget(is(at(1), "FROM") ? 2 : 1, "WHERE", r);
  std::string out = "DELETE FROM " + quoteIdent(r.name);
  if (!r.alias.empty()) out += " AS " + quoteIdent(r.alias);
  if (i < size()) {
    if (!is(at(i), "WHERE")) unexpected(i);
    out += " " + emit(i, size());
  }
  tr_.sql = out;
  ctx_.pop_back();
}

// Physical attributes Oracle accepts after a table or index definition; storage is ours.
size_t skipPhysical(const std::vector<Token>& t, size_t i) {
  static const std::set<std::string> withValue = {"TABLESPACE", "PCTFREE", "PCTUSED", "INITRANS",
                                                  "MAXTRANS"};
  static const std::set<std::string> single = {"LOGGING", "NOLOGGING", "COMPRESS", "NOCOMPRESS",
                                               "CACHE", "NOCACHE", "PARALLEL", "NOPARALLEL"};
  while (i < t.size()) {
    if (t[i].kind != Token::Ident) break;
    if (withValue.count(t[i].text) && i + 1 < t.size()) { i += 2; continue; }
    if (single.count(t[i].text)) { ++i; continue; }
    if (t[i].text == "STORAGE" && i + 1 < t.size() && t[i + 1].text == "(") {
      int d = t[i + 1].depth;
      i += 2;
      while (i < t.size() && !(t[i].depth == d && t[i].text == ")")) ++i;
      ++i;
      continue;
    }
    break;
  }
  return i;
}

void Translator::createTable() {
  tr_.kind = StmtKind::Ddl;
  tr_.function = 1;
  std::string table;
  size_t i = objectName(2, table);
  if (cat_.tableExists(table) || cat_.indexExists(table)) throw OraError(955);
  if (is(at(i), "AS")) throw OraError(900, "CREATE TABLE ... AS SELECT is not supported yet");
  expect(i, "(", 906);
  size_t close = i + 1;
  while (close < size() && !(t_[close].depth == 0 && is(t_[close], ")"))) ++close;
  size_t after = skipPhysical(t_, close + 1);
  if (after < size()) unexpected(after);

  static const std::set<std::string> tableConstraint = {"CONSTRAINT", "PRIMARY", "UNIQUE",
                                                        "FOREIGN", "CHECK"};
  std::vector<std::string> defs;
  std::vector<std::string> defNames; // column name per definition, empty for table constraints
  std::set<std::string> pkColumns;
  std::set<std::string> names;
  int longs = 0, columns = 0;
  size_t b = i + 1;
  for (size_t k = b; k <= close; ++k) {
    if (k != close && !(t_[k].depth == 1 && is(t_[k], ","))) continue;
    if (k == b) throw OraError(904);
    const Token& nameTok = t_[b];
    if (nameTok.kind == Token::Ident && tableConstraint.count(nameTok.text)) {
      // SQLite lets NULL into a PRIMARY KEY column; Oracle does not.
      for (size_t j = b; j + 1 < k; ++j)
        if (is(t_[j], "PRIMARY") && is(t_[j + 1], "KEY"))
          for (size_t m = j + 2; m < k; ++m)
            if (t_[m].kind == Token::Ident || t_[m].kind == Token::QIdent) pkColumns.insert(t_[m].text);
      defs.push_back(emit(b, k));
      defNames.emplace_back();
    } else {
      if (nameTok.kind != Token::Ident && nameTok.kind != Token::QIdent) throw OraError(904);
      if (keywordAt(t_, b)) throw OraError(904, nameTok.text);
      checkName(nameTok.text);
      if (!names.insert(nameTok.text).second) throw OraError(957);
      ++columns;
      // the type: a name, an optional second word, an optional (n[,m])
      size_t j = b + 1;
      if (j >= k || at(j).kind != Token::Ident) throw OraError(902);
      std::string tn = at(j).text;
      ++j;
      if ((tn == "LONG" && is(at(j), "RAW")) || (tn == "DOUBLE" && is(at(j), "PRECISION"))) {
        tn += " " + at(j).text;
        ++j;
      }
      int a = -1, s = 0;
      bool hasS = false, star = false;
      if (j < k && is(at(j), "(")) {
        if (is(at(j + 1), "*")) star = true;
        else if (at(j + 1).kind == Token::Num) a = std::atoi(at(j + 1).text.c_str());
        else throw OraError(902);
        j += 2;
        if (is(at(j), "BYTE") || is(at(j), "CHAR")) ++j;
        if (is(at(j), ",")) {
          bool neg = is(at(j + 1), "-");
          if (neg) ++j;
          if (at(j + 1).kind != Token::Num) throw OraError(902);
          s = std::atoi(at(j + 1).text.c_str()) * (neg ? -1 : 1);
          hasS = true;
          j += 2;
        }
        if (!is(at(j), ")")) throw OraError(907);
        ++j;
      }
      ColType ct;
      if (tn == "VARCHAR2" || tn == "VARCHAR" || tn == "NVARCHAR2") {
        if (a < 0) throw OraError(906);
        if (a < 1 || a > 4000) throw OraError(910);
        ct.code = kVarchar2; ct.size = a;
      } else if (tn == "CHAR" || tn == "NCHAR") {
        if (a > 2000 || a == 0) throw OraError(910);
        ct.code = kChar; ct.size = a < 0 ? 1 : a;
      } else if (tn == "NUMBER" || tn == "NUMERIC" || tn == "DECIMAL") {
        ct.code = kNumber;
        if (a == 0 || a > 38) throw OraError(1727);
        if (hasS && (s < -84 || s > 127)) throw OraError(1728);
        if (a > 0 || star) { ct.precision = star ? 0 : a; ct.scale = s; ct.hasScale = true; }
      } else if (tn == "INTEGER" || tn == "INT" || tn == "SMALLINT") {
        ct.code = kNumber; ct.precision = 38; ct.hasScale = true;
      } else if (tn == "FLOAT" || tn == "REAL" || tn == "DOUBLE PRECISION") {
        ct.code = kNumber;
      } else if (tn == "DATE") {
        ct.code = kDate;
      } else if (tn == "RAW") {
        if (a < 0) throw OraError(906);
        if (a < 1 || a > 2000) throw OraError(910);
        ct.code = kRaw; ct.size = a;
      } else if (tn == "LONG") {
        ct.code = kLong; ++longs;
      } else if (tn == "LONG RAW") {
        ct.code = kLongRaw; ++longs;
      } else if (tn == "ROWID") {
        ct.code = kRowid;
      } else {
        throw OraError(902, tn);
      }
      if (longs > 1) throw OraError(1754);
      std::string def = quoteIdent(nameTok.text) + " " + declTypeText(ct);
      if (j < k) def += " " + emit(j, k);
      for (size_t m = j; m + 1 < k; ++m)
        if (is(t_[m], "PRIMARY") && is(t_[m + 1], "KEY")) pkColumns.insert(nameTok.text);
      defs.push_back(def);
      defNames.push_back(nameTok.text);
    }
    b = k + 1;
  }
  if (columns == 0) throw OraError(904);
  std::string out = "CREATE TABLE " + quoteIdent(table) + " (";
  for (size_t d = 0; d < defs.size(); ++d) {
    out += (d ? ", " : "") + defs[d];
    if (!defNames[d].empty() && pkColumns.count(defNames[d])) out += " NOT NULL";
  }
  out += ")";
  tr_.ddl.push_back(out);
  tr_.ddl.push_back("INSERT INTO \"TESSEL$OBJECTS\" (NAME, TYPE, CREATED) VALUES (" +
                    quoteString(table) + ", 'TABLE', ora_sysdate())");
}

void Translator::createIndex(bool unique, size_t i) {
  tr_.kind = StmtKind::Ddl;
  tr_.function = 20;
  std::string index, table;
  i = objectName(i, index);
  if (cat_.indexExists(index)) throw OraError(955);
  expect(i, "ON", 969);
  i = objectName(i + 1, table);
  if (!cat_.tableExists(table)) throw OraError(942, table);
  expect(i, "(", 906);
  size_t close = i + 1;
  while (close < size() && !(t_[close].depth == 0 && is(t_[close], ")"))) ++close;
  size_t after = skipPhysical(t_, close + 1);
  if (after < size()) unexpected(after);
  tr_.ddl.push_back(std::string("CREATE ") + (unique ? "UNIQUE " : "") + "INDEX " +
                    quoteIdent(index) + " ON " + quoteIdent(table) + " " + emit(i, close + 1));
}

void Translator::drop() {
  tr_.kind = StmtKind::Ddl;
  std::string name;
  if (is(at(1), "TABLE")) {
    tr_.function = 8;
    size_t i = objectName(2, name);
    if (!cat_.tableExists(name)) throw OraError(942, name);
    if (is(at(i), "PURGE")) ++i;
    if (i < size()) unexpected(i);
    tr_.ddl.push_back("DROP TABLE " + quoteIdent(name));
    tr_.ddl.push_back("DELETE FROM \"TESSEL$OBJECTS\" WHERE NAME = " + quoteString(name) +
                      " AND TYPE = 'TABLE'");
  } else if (is(at(1), "INDEX")) {
    tr_.function = 21;
    size_t i = objectName(2, name);
    if (!cat_.indexExists(name)) throw OraError(1418);
    if (i < size()) unexpected(i);
    tr_.ddl.push_back("DROP INDEX " + quoteIdent(name));
  } else {
    throw OraError(950, "DROP " + at(1).raw);
  }
}

void Translator::truncate() {
  tr_.kind = StmtKind::Ddl;
  tr_.function = 85;
  expect(1, "TABLE", 905);
  std::string name;
  size_t i = objectName(2, name);
  if (!cat_.tableExists(name)) throw OraError(942, name);
  if (i < size()) unexpected(i);
  tr_.ddl.push_back("DELETE FROM " + quoteIdent(name));
}

Translation Translator::run() {
  if (t_.empty()) throw OraError(900);
  replace_.assign(size(), {});
  skip_.assign(size(), 0);
  const Token& f = t_[0];
  tr_.verb = f.kind == Token::Ident ? f.text : f.raw;
  if (f.kind == Token::Ident && (f.text == "SELECT" || f.text == "WITH")) query();
  else if (is(f, "(")) query();
  else if (is(f, "INSERT")) insert();
  else if (is(f, "UPDATE")) update();
  else if (is(f, "DELETE")) del();
  else if (is(f, "CREATE")) {
    if (is(at(1), "TABLE")) createTable();
    else if (is(at(1), "INDEX")) createIndex(false, 2);
    else if (is(at(1), "UNIQUE") && is(at(2), "INDEX")) createIndex(true, 3);
    else throw OraError(901);
  } else if (is(f, "DROP")) drop();
  else if (is(f, "TRUNCATE")) truncate();
  else if (is(f, "COMMIT") || is(f, "ROLLBACK")) {
    tr_.kind = is(f, "COMMIT") ? StmtKind::Commit : StmtKind::Rollback;
    tr_.function = is(f, "COMMIT") ? 54 : 55;
    size_t i = 1;
    if (is(at(i), "WORK")) ++i;
    if (i < size()) unexpected(i);
  } else {
    throw OraError(900);
  }
  return tr_;
}

} // namespace

bool Catalog::schemaHas(const char* type, const std::string& name) {
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db_, "SELECT 1 FROM sqlite_schema WHERE type = ?1 AND name = ?2", -1, &st, nullptr);
  sqlite3_bind_text(st, 1, type, -1, SQLITE_STATIC);
  sqlite3_bind_text(st, 2, name.c_str(), -1, SQLITE_TRANSIENT);
  bool found = sqlite3_step(st) == SQLITE_ROW;
  sqlite3_finalize(st);
  return found;
}

bool Catalog::tableExists(const std::string& name) {
  return name.rfind("TESSEL$", 0) != 0 && schemaHas("table", name);
}

bool Catalog::indexExists(const std::string& name) { return schemaHas("index", name); }

std::vector<ColumnInfo> Catalog::columns(const std::string& table) {
  std::vector<ColumnInfo> out;
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db_, "SELECT name, type, \"notnull\" FROM pragma_table_info(?1) ORDER BY cid", -1, &st, nullptr);
  sqlite3_bind_text(st, 1, table.c_str(), -1, SQLITE_TRANSIENT);
  while (sqlite3_step(st) == SQLITE_ROW) {
    ColumnInfo c;
    c.name = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    c.type = parseDeclType(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
    c.notNull = sqlite3_column_int(st, 2) != 0;
    out.push_back(c);
  }
  sqlite3_finalize(st);
  return out;
}

int64_t Catalog::objectNumber(const std::string& table) {
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db_, "SELECT OBJ FROM \"TESSEL$OBJECTS\" WHERE NAME = ?1 AND TYPE = 'TABLE'", -1, &st, nullptr);
  sqlite3_bind_text(st, 1, table.c_str(), -1, SQLITE_TRANSIENT);
  int64_t n = sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int64(st, 0) : 0;
  sqlite3_finalize(st);
  return n;
}

Translation translate(const std::string& text, Catalog& cat) {
  Translator t(tokenize(text), cat);
  return t.run();
}

} // namespace ora
