#include "SqlTranslate.h"
#include "TranslateImpl.h"
#include "OraFunctions.h"
#include "MergeStatement.h"
#include "ViewDml.h"

#include "Dictionary.h"
#include "OraError.h"
#include "Session.h"
#include "SqlParser.h"
#include "Number.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <sqlite3.h>

namespace ora::tx {



bool identStart(unsigned char c) { return std::isalpha(c) || c >= 0x80; }
bool identChar(unsigned char c) { return std::isalnum(c) || c == '_' || c == '$' || c == '#' || c >= 0x80; }

std::vector<Token> tokenize(const std::string& s) {
  // A NUL byte would end the text SQLite reads: it is a stray character like any other.
  if (s.find('\0') != std::string::npos) throw OraError(911);
  std::vector<Token> out;
  out.reserve(s.size() / 4 + 4);
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
        size_t q = s.find('\'', i);
        if (q == std::string::npos) throw OraError(1756);
        t.text.append(s, i, q - i);
        if (q + 1 < n && s[q + 1] == '\'') { t.text += '\''; i = q + 2; continue; }
        i = q + 1;
        break;
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
      if (t.text == "(" && ++depth > kMaxNesting) throw OraError(935);
      if (t.text == ")") {
        if (depth == 0) throw OraError(933);
        t.depth = --depth;
      }
    }
    t.raw = s.substr(b, i - b);
    t.pos = b;
    t.end = i;
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
      "NATURAL", "USING", "WITH", "UNIQUE", "PRIOR", "CONNECT", "START", "FOR", "OF", "ANY", "SOME", "OFFSET", "FETCH"};
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
  if (w == "FETCH") return next("FIRST") || next("NEXT");
  if (w == "OFFSET") return i + 1 < t.size() && (t[i + 1].kind == Token::Num || t[i + 1].kind == Token::Bind);
  return true;
}
bool is(const Token& t, const char* word) {
  return (t.kind == Token::Ident || t.kind == Token::Op) && t.text == word;
}


void checkName(const std::string& name) {
  if (name.size() > 30) throw OraError(972, name);
  std::string u = name;
  for (auto& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (u.rfind("TESSEL$", 0) == 0 || u.rfind("SQLITE_", 0) == 0) throw OraError(942, name);
}

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
          if (replace_[j - 1].empty()) {
            replace_[j - 1] = "(SELECT 'X' AS \"DUMMY\")";
            if (!aliasToken(j) && !is(at(j), "AS")) replace_[j - 1] += " \"DUAL\"";
          }
          ColType dummy;
          dummy.code = kVarchar2;
          dummy.size = 1;
          tr_.inferred.emplace("DUMMY", dummy);
        } else if (cteNames_.count(r.name)) {
        } else if (!cat_.tableExists(r.name)) {
          std::string view = dictionaryView(r.name, cat_.user());
          if (view.empty()) throw OraError(942, r.name).at(static_cast<int>(k.pos));
          replace_[j - 1] = "temp." + quoteIdent(dictionaryTable(view));
          if (!aliasToken(j) && !is(at(j), "AS")) replace_[j - 1] += " AS " + quoteIdent(r.name);
          if (std::find(tr_.dictionary.begin(), tr_.dictionary.end(), view) == tr_.dictionary.end())
            tr_.dictionary.push_back(view);
          r.dictionary = view;
        } else if (cat_.viewExists(r.name)) {
          // expression columns of a view have no declared type; describe them as stored
          for (auto& c : cat_.columns(r.name)) tr_.inferred.emplace(c.name, c.type);
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
  if (!ref || ref->name == "DUAL" || !ref->dictionary.empty() || cat_.viewExists(ref->name))
    throw OraError(904, "ROWID");
  auto& r = const_cast<TableRef&>(*ref);
  if (!r.obj) r.obj = cat_.objectNumber(r.name);
  std::string q = quoteIdent(r.alias.empty() ? r.name : r.alias);
  next = i + 1;
  // ROWID = 'literal' goes straight to the row instead of scanning the table.
  if (is(at(i + 1), "=") && at(i + 2).kind == Token::Str) {
    int64_t obj, rowid;
    if (!decodeRowid(at(i + 2).text, obj, rowid)) throw OraError(1410);
    next = i + 3;
    if (share_) {
      // the literal stays a parameter; the function decodes it, NULL for another table's ROWID
      tr_.params.push_back(static_cast<int>(i + 2));
      return "(" + q + ".rowid = ora_rowid_num(?" + std::to_string(tr_.params.size()) + ", " +
             std::to_string(r.obj) + "))";
    }
    if (obj != r.obj) return "(0 = 1)";
    return "(" + q + ".rowid = " + std::to_string(rowid) + ")";
  }
  return "ora_rowid(" + std::to_string(r.obj) + ", " + q + ".rowid)";
}

std::string Translator::emit(size_t b, size_t e) {
  rewriteChains(b, e);
  std::string out;
  auto add = [&](const std::string& s) {
    if (!out.empty()) out += ' ';
    out += s;
  };
  for (size_t i = b; i < e; ++i) {
    if (skip_[i]) continue;
    if (auto big = bigChains.find(t_[i].pos); big != bigChains.end() && replace_[i].empty()) {
      // a long run of AND or OR: one call per hundred conditions, not a thousand-deep tree;
      // its first condition starts where it does, so it is out of the table while they are written
      auto chain = std::move(big->second);
      bigChains.erase(big);
      std::vector<std::string> parts;
      size_t last = i;
      for (auto [pb, pe] : chain.second) {
        size_t kb = tokenAt(pb), ke = tokenAt(pe);
        parts.push_back("(" + emit(kb, ke) + ")");
        last = ke;
      }
      size_t pos = t_[i].pos;
      std::string f = chain.first;
      bigChains.emplace(pos, std::move(chain));
      if (last <= e) {
        add(groupedCall(f, parts));
        i = last - 1;
        continue;
      }
    }
    if (auto q = quantAt.find(t_[i].pos); q != quantAt.end() && replace_[i].empty() && tokenAt(q->second.end) <= e) {
      add(quantified(q->second));
      i = tokenAt(q->second.end) - 1;
      continue;
    }
    if (!replace_[i].empty()) { add(replace_[i]); continue; }
    const Token& k = t_[i];
    if ((k.kind == Token::Ident || k.kind == Token::QIdent) && is(at(i + 1), ".")) {
      // [schema.]sequence.NEXTVAL / CURRVAL
      size_t q = i;
      if (k.text == cat_.user() && is(at(i + 3), ".") && (is(at(i + 4), "NEXTVAL") || is(at(i + 4), "CURRVAL"))) q = i + 2;
      if (is(at(q + 2), "NEXTVAL") || is(at(q + 2), "CURRVAL")) {
        const std::string& seq = at(q).text;
        if (!cat_.sequenceExists(seq)) throw OraError(2289, seq);
        add(std::string(is(at(q + 2), "NEXTVAL") ? "ora_nextval(" : "ora_currval(") + quoteString(seq) + ")");
        i = q + 2;
        continue;
      }
      // NEW.column in a trigger's WHEN clause
      if (k.kind == Token::Ident && rowRefs.count(k.text) && at(i + 2).kind != Token::Op) {
        findColumn(cat_.columns(sharedWithTrigger), at(i + 2).text);
        const std::string& row = rowRefs.at(k.text);
        add(row == "NULL" ? row : row + "." + quoteIdent(at(i + 2).text));
        i += 2;
        continue;
      }
    }
    if ((k.kind == Token::Ident || k.kind == Token::QIdent) && is(at(i + 1), ".") &&
        is(at(i + 2), "ROWID")) {
      size_t next;
      add(rowidExpr(k.text, i + 2, next));
      i = next - 1;
      continue;
    }
    switch (k.kind) {
    case Token::Str:
    case Token::Num:
      if (share_ && !pin_[i]) {
        tr_.params.push_back(static_cast<int>(i));
        add("?" + std::to_string(tr_.params.size()));
      } else if (k.kind == Token::Num) {
        add(k.text);
      } else {
        add(k.text.empty() ? "NULL" : quoteString(k.text));
      }
      break;
    case Token::Bind: {
      // :NEW.column and :OLD.column in a trigger body
      std::string ref = k.text;
      for (auto& ch : ref) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
      if (rowRefs.count(ref) && is(at(i + 1), ".") &&
          (at(i + 2).kind == Token::Ident || at(i + 2).kind == Token::QIdent)) {
        findColumn(cat_.columns(sharedWithTrigger), at(i + 2).text);
        const std::string& row = rowRefs.at(ref);
        add(row == "NULL" ? row : row + "." + quoteIdent(at(i + 2).text)); // no such row for this event
        i += 2;
        break;
      }
      throw OraError(1008, k.text);
    }
    case Token::QIdent:
      if (is(at(i + 1), "(") && !outerMark(i + 1) && !(i > 0 && is(t_[i - 1], "REFERENCES")) &&
          !functionAllowed(k.text.c_str(), false))
        throw OraError(904, "\"" + k.text + "\"");
      add(quoteIdent(k.text));
      break;
    case Token::Op:
      if (k.text == "(" && hoistAt.count(at(i + 1).pos) && !hoistOff_) {
        // SQLite's parser takes only a few levels of nesting: deep subqueries become common
        // table expressions, each written at the top level.
        size_t close = matching(i);
        std::string name = "Q$" + std::to_string(++cteCount_);
        bool scalar = scalarAt.count(k.pos) > 0;
        std::string inner = emit(i + 1, close);
        ctes_.push_back(quoteIdent(name) + (scalar ? "(\"V\")" : "") + " AS (" + inner + ")");
        if (derivedAt.count(at(i + 1).pos)) add(quoteIdent(name));
        else if (scalar) add("(SELECT ora_single(\"V\") FROM (SELECT \"V\" FROM " + quoteIdent(name) + " LIMIT 2))");
        else add("(SELECT * FROM " + quoteIdent(name) + ")");
        i = close;
        break;
      }
      if (k.text == "(" && is(at(i + 1), "SELECT") && scalarAt.count(k.pos)) {
        // a single value: more than one row is ORA-01427, not the first of them
        size_t close = matching(i);
        add("(WITH \"S$\"(\"V\") AS (" + emit(i + 1, close) +
            ") SELECT ora_single(\"V\") FROM (SELECT \"V\" FROM \"S$\" LIMIT 2))");
        i = close;
        break;
      }
      if (k.text == "!=" || k.text == "^=" || k.text == "~=") add("<>");
      else if (k.text == "/") add("* 1.0 /"); // SQLite divides integers as integers; Oracle never does
      else add(k.text);
      break;
    case Token::Ident: {
      if ((k.text == "OFFSET" || k.text == "FETCH") && keywordAt(t_, i)) {
        size_t after;
        add(rowLimit(i, e, after));
        i = after - 1;
        break;
      }
      if (k.text == "LISTAGG" && is(at(i + 1), "(")) {
        size_t after;
        add(listAgg(i, after));
        i = after - 1;
        break;
      }
      if (k.text == "SELECT") {
        size_t next;
        add(emitSelect(i, e, next));
        i = next - 1;
        break;
      }
      if (k.text == "MINUS") { add("EXCEPT"); break; }
      if (k.text == "DATE" && at(i + 1).kind == Token::Str) {
        pin_[i + 1] = 1;
        add(quoteString(ansiDate(at(i + 1).text)));
        ++i;
        break;
      }
      if (keywordAt(t_, i)) { add(k.text); break; }
      if (k.text == "EXTRACT" && is(at(i + 1), "(") && is(at(i + 3), "FROM")) {
        size_t close = matching(i + 1);
        add("EXTRACT(" + quoteString(at(i + 2).text) + ", " + emit(i + 4, close) + ")");
        i = close;
        break;
      }
      if (k.text == "DUMP" && is(at(i + 1), "(") && replace_[i + 1].empty()) {
        // the value's type as the statement gives it goes first: a text literal is CHAR, a
        // stored DATE has another inside than a computed one
        size_t close = matching(i + 1), a = i + 2, m = a;
        if (a >= close) throw OraError(909);
        while (m < close && !(t_[m].depth == k.depth + 1 && is(t_[m], ","))) ++m;
        int code = exprType(a, m).code;
        bool column = (m == a + 1 && (t_[a].kind == Token::QIdent || (t_[a].kind == Token::Ident && t_[a].text != "SYSDATE"))) ||
                      (m == a + 3 && is(t_[a + 1], "."));
        if (code == kDate && !column) code = 13;
        replace_[i + 1] = "(" + std::to_string(code) + ",";
      }
      if (k.text == "TRIM" && is(at(i + 1), "(")) {
        // TRIM([LEADING|TRAILING|BOTH] [c] FROM s)
        size_t close = matching(i + 1), fromAt = 0;
        for (size_t m = i + 2; m < close; ++m)
          if (t_[m].depth == k.depth + 1 && is(t_[m], "FROM")) { fromAt = m; break; }
        if (fromAt) {
          size_t m = i + 2;
          std::string mode = "BOTH";
          if (is(at(m), "LEADING") || is(at(m), "TRAILING") || is(at(m), "BOTH")) mode = at(m++).text;
          std::string set = m < fromAt ? emit(m, fromAt) : "' '";
          add("ora_trim('" + mode + "', " + set + ", " + emit(fromAt + 1, close) + ")");
          i = close;
          break;
        }
      }
      if ((k.text == "CAST" || k.text == "NVL" || k.text == "VSIZE") && is(at(i + 1), "(")) {
        size_t close = matching(i + 1);
        std::vector<std::pair<size_t, size_t>> args;
        size_t a = i + 2, as = 0;
        for (size_t m = a; m <= close; ++m) {
          if (m < close && t_[m].depth == k.depth + 1 && is(t_[m], "AS") && k.text == "CAST") as = m;
          if (m == close || (t_[m].depth == k.depth + 1 && is(t_[m], ","))) {
            args.emplace_back(a, m);
            a = m + 1;
          }
        }
        std::string conv;
        if (k.text == "CAST" && args.size() == 1 && as > args[0].first) {
          // CAST converts as Oracle does: to a DATE from text, to text from a date in the session's format
          ColType to = castType(as + 1, close), from = exprType(args[0].first, as);
          std::string v = emit(args[0].first, as);
          if (from.code == kDate && (to.code == kVarchar2 || to.code == kChar)) v = "TO_CHAR(" + v + ")";
          if (to.code == kDate || to.code == kNumber || to.code == kVarchar2 || to.code == kChar)
            conv = "ora_conv(" + v + ", " + std::to_string(to.code) + ", " + std::to_string(to.size) + ", " +
                   std::to_string(to.precision) + ", " + std::to_string(to.scale) + ", " + (to.hasScale ? "1" : "0") +
                   ", 'CAST')";
        } else if (k.text == "VSIZE") {
          // the size depends on the Oracle type, which the stored value alone does not tell
          if (args.size() != 1 || args[0].first >= args[0].second) throw OraError(909);
          conv = "ora_vsize(" + emit(args[0].first, args[0].second) + ", " +
                 std::to_string(exprType(args[0].first, args[0].second).code) + ")";
        } else if (k.text == "NVL" && args.size() == 2) {
          // the second argument takes the first one's type
          ColType t1 = exprType(args[0].first, args[0].second), t2 = exprType(args[1].first, args[1].second);
          bool text2 = t2.code == kVarchar2 || t2.code == kChar;
          std::string v2 = emit(args[1].first, args[1].second);
          if (t1.code == kNumber && text2) v2 = "ora_num(" + v2 + ")";
          else if (t1.code == kDate && text2) v2 = "ora_conv(" + v2 + ", " + std::to_string(kDate) + ", 0, 0, 0, 0, 'date')";
          conv = "IFNULL(" + emit(args[0].first, args[0].second) + ", " + v2 + ")";
        }
        if (!conv.empty()) {
          add(conv);
          i = close;
          break;
        }
      }
      if (k.text == "OVER" && i > b && is(t_[i - 1], ")") && is(at(i + 1), "(")) {
        analyticWindow(i);
        add("OVER");
        break;
      }
      if (is(at(i + 1), "(") && cteNames_.count(k.text)) { add(quoteIdent(k.text)); break; } // WITH name(columns)
      if (is(at(i + 1), "(") && !outerMark(i + 1) && !(i > 0 && is(t_[i - 1], "REFERENCES"))) {
        // only Oracle's functions are callable; SQLite's own stay out of reach
        if (!functionAllowed(k.text.c_str(), false) && k.text != "CAST") throw OraError(904, k.text);
        add(k.text == "NVL" ? "IFNULL" : k.text == "SUM" ? "ora_sum" : k.text == "AVG" ? "ora_avg" : k.text);
        break;
      }
      bool qualified = i > b && is(at(i - 1), ".");
      if (!qualified && k.text == "SYSDATE") { add("ora_sysdate()"); break; }
      if (!qualified && k.text == "USER") { add("ora_user()"); break; }
      if (!qualified && k.text == "ROWNUM") { add("row_number() OVER ()"); break; }
      if (!qualified && k.text == "UID") { add("ora_uid()"); break; }
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

// OFFSET n ROWS / FETCH FIRST n ROWS ONLY at i: SQLite's LIMIT and OFFSET; `after` is the
// token after the clause.
std::string Translator::rowLimit(size_t i, size_t e, size_t& after) {
  int d = t_[i].depth;
  auto until = [&](size_t b, std::initializer_list<const char*> words) {
    size_t x = b;
    while (x < e && !(t_[x].depth == d && std::any_of(words.begin(), words.end(), [&](const char* w) { return is(t_[x], w); })))
      ++x;
    return x;
  };
  std::string offset, limit = "-1";
  size_t m = i;
  if (is(at(m), "OFFSET")) {
    size_t x = until(m + 1, {"ROW", "ROWS"});
    offset = "MAX(0, " + emit(m + 1, x) + ")";
    m = x + 1;
  }
  if (m < e && is(at(m), "FETCH")) {
    size_t x = until(m + 2, {"ROW", "ROWS", "PERCENT"});
    limit = x > m + 2 ? "MAX(0, " + emit(m + 2, x) + ")" : "1";
    if (is(at(x), "PERCENT")) throw OraError(900, "FETCH ... PERCENT is not supported");
    m = x + 1;
    if (is(at(m), "WITH")) throw OraError(900, "FETCH ... WITH TIES is not supported");
    ++m; // ONLY
  }
  after = m;
  return "LIMIT " + limit + (offset.empty() ? "" : " OFFSET " + offset);
}

// LISTAGG(x [, sep]) [WITHIN GROUP (ORDER BY ...)] as the engine's ordered aggregate.
std::string Translator::listAgg(size_t i, size_t& after) {
  int d = t_[i].depth;
  size_t close = matching(i + 1);
  std::vector<std::pair<size_t, size_t>> args;
  for (size_t a = i + 2, m = a; m <= close; ++m)
    if (m == close || (t_[m].depth == d + 1 && is(t_[m], ","))) {
      if (m == a) throw OraError(936);
      args.emplace_back(a, m);
      a = m + 1;
    }
  if (args.empty() || args.size() > 2) throw OraError(909);
  std::string out = "ora_listagg(" + emit(args[0].first, args[0].second) + ", " +
                    (args.size() > 1 ? emit(args[1].first, args[1].second) : std::string("NULL"));
  after = close + 1;
  if (is(at(close + 1), "WITHIN") && is(at(close + 2), "GROUP") && is(at(close + 3), "(")) {
    size_t wclose = matching(close + 3), b = close + 4;
    if (!is(at(b), "ORDER") || !is(at(b + 1), "BY")) throw OraError(30491);
    for (size_t kb = b + 2, m = kb; m <= wclose; ++m) {
      if (m < wclose && !(t_[m].depth == d + 1 && is(t_[m], ","))) continue;
      size_t ke = m;
      int how = 0;
      bool nullsSaid = false;
      if (ke - kb >= 2 && is(t_[ke - 2], "NULLS")) {
        nullsSaid = true;
        if (is(t_[ke - 1], "FIRST")) how |= 2;
        ke -= 2;
      }
      if (ke > kb && (is(t_[ke - 1], "DESC") || is(t_[ke - 1], "ASC"))) {
        if (is(t_[ke - 1], "DESC")) how |= 1;
        --ke;
      }
      if (!nullsSaid && (how & 1)) how |= 2; // Oracle: NULLs are largest
      if (ke == kb) throw OraError(936);
      out += ", " + emit(kb, ke) + ", " + std::to_string(how);
      kb = m + 1;
    }
    after = wclose + 1;
  }
  return out + ")";
}

// The words of an analytic window pass as SQLite writes them; its ORDER BY sorts NULLs as
// Oracle does.
void Translator::analyticWindow(size_t i) {
  const Token& k = t_[i];
  static const std::set<std::string> words = {"PARTITION", "BY", "ORDER", "ROWS", "RANGE", "BETWEEN",
      "UNBOUNDED", "PRECEDING", "FOLLOWING", "CURRENT", "ROW", "AND", "ASC", "DESC", "NULLS", "FIRST", "LAST"};
  size_t close = matching(i + 1);
  for (size_t m = i + 2; m < close; ++m)
    if (t_[m].depth == k.depth + 1 && t_[m].kind == Token::Ident && words.count(t_[m].text) &&
        replace_[m].empty())
      replace_[m] = t_[m].text;
  for (size_t m = i + 2; m + 1 < close; ++m)
    if (t_[m].depth == k.depth + 1 && is(t_[m], "ORDER") && is(t_[m + 1], "BY")) {
      size_t oe = m + 2;
      while (oe < close && !(t_[oe].depth == k.depth + 1 && (is(t_[oe], "ROWS") || is(t_[oe], "RANGE")))) ++oe;
      nullsOrder(m + 2, oe, k.depth + 1);
    }
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

size_t Translator::matching(size_t open) const {
  size_t j = open + 1;
  while (j < size() && !(t_[j].depth == t_[open].depth && is(t_[j], ")"))) ++j;
  return j;
}

// End of one term of an additive chain starting at j: signs, then primaries joined by * and /.
size_t Translator::termEnd(size_t j, size_t e, int d) const {
  size_t k = j;
  for (;;) {
    while (k < e && t_[k].depth == d && (is(t_[k], "+") || is(t_[k], "-"))) ++k;
    if (k >= e || skip_[k] || !replace_[k].empty()) return j;
    const Token& t = t_[k];
    if (is(t, "(")) {
      k = matching(k) + 1;
    } else if (t.kind == Token::Ident && t.text == "CASE") {
      int nest = 0;
      for (; k < e; ++k) {
        if (is(t_[k], "CASE") && t_[k].depth == d) ++nest;
        if (is(t_[k], "END") && t_[k].depth == d && --nest == 0) break;
      }
      if (k >= e) return j;
      ++k;
    } else if (t.kind == Token::Ident && t.text == "DATE" && k + 1 < e && t_[k + 1].kind == Token::Str) {
      k += 2; // DATE 'YYYY-MM-DD'
    } else if ((t.kind == Token::Ident && (!keywordAt(t_, k) || t.text == "NULL")) || t.kind == Token::QIdent ||
               t.kind == Token::Bind) {
      ++k;
      while (k + 1 < e && is(t_[k], ".") && (t_[k + 1].kind == Token::Ident || t_[k + 1].kind == Token::QIdent || is(t_[k + 1], "*")))
        k += 2;
      if (k < e && is(t_[k], "(") && !outerMark(k)) k = matching(k) + 1;
      if (outerMark(k)) k += 3;
    } else if (t.kind == Token::Num || t.kind == Token::Str) {
      ++k;
    } else {
      return j;
    }
    if (k > e) return j;
    if (k < e && t_[k].depth == d && (is(t_[k], "*") || is(t_[k], "/"))) { ++k; continue; }
    return k;
  }
}

// The additive chain (terms joined by +, - and ||) starting at i; false when i starts none.
bool Translator::chainAt(size_t i, size_t e, std::vector<std::pair<size_t, size_t>>& terms,
                         std::vector<std::string>& ops) const {
  terms.clear();
  ops.clear();
  int d = t_[i].depth;
  size_t j = i;
  for (;;) {
    size_t te = termEnd(j, e, d);
    if (te == j) break;
    terms.emplace_back(j, te);
    if (te + 1 < e && t_[te].depth == d && !skip_[te] &&
        (is(t_[te], "+") || is(t_[te], "-") || is(t_[te], "||")) && termEnd(te + 1, e, d) != te + 1) {
      ops.push_back(t_[te].text);
      j = te + 1;
      continue;
    }
    break;
  }
  return !terms.empty();
}

ColType Translator::exprType(size_t b, size_t e) {
  std::vector<std::pair<size_t, size_t>> terms;
  std::vector<std::string> ops;
  if (b < e && chainAt(b, e, terms, ops) && terms.back().second == e && terms.size() > 1) {
    ColType acc = exprType(terms[0].first, terms[0].second);
    for (size_t k = 0; k < ops.size(); ++k) {
      ColType t = exprType(terms[k + 1].first, terms[k + 1].second);
      ColType r;
      if (ops[k] == "||") {
        auto width = [](const ColType& x) {
          return x.code == kVarchar2 || x.code == kChar ? x.size : x.code == kNumber ? 40 : x.code == kDate ? 9 : 4000;
        };
        // CHAR joined to CHAR stays CHAR; anything else makes VARCHAR2
        r.code = acc.code == kChar && t.code == kChar ? kChar : kVarchar2;
        r.size = std::min(4000, width(acc) + width(t));
      }
      else if (acc.code == kDate && t.code == kDate) r.code = ops[k] == "-" ? kNumber : kDate;
      else if (acc.code == kDate || t.code == kDate) r.code = kDate;
      else r.code = kNumber;
      acc = r;
    }
    return acc;
  }
  if (b + 2 < e + 1 && is(t_[b], "(") && matching(b) + 1 == e && !is(at(b + 1), "SELECT")) return exprType(b + 1, e - 1);
  return infer(b, e);
}

// Oracle's date arithmetic and NULL-tolerant ||, which SQLite's operators do not have, and text
// compared with a DATE read as a date.
void Translator::rewriteChains(size_t b, size_t e) {
  static const std::set<std::string> compare = {"=", "<>", "!=", "^=", "~=", "<", ">", "<=", ">="};
  std::vector<std::pair<size_t, size_t>> terms;
  std::vector<std::string> ops;
  size_t lastB = 0, lastE = 0; // the chain before a comparison
  for (size_t i = b; i < e;) {
    if (skip_[i] || !replace_[i].empty()) { ++i; continue; }
    if (is(t_[i], "(") && is(at(i + 1), "SELECT")) { i = matching(i) + 1; continue; }
    const Token& k = t_[i];
    if (is(k, "SELECT")) {
      // a query block is rewritten by its own emission, with its tables known
      int d = k.depth;
      while (i < e && t_[i].depth >= d) ++i;
      continue;
    }
    if (k.kind == Token::Op && compare.count(k.text) && i == lastE && i + 1 < e) {
      size_t rb = i + 1;
      size_t re = chainAt(rb, e, terms, ops) ? terms.back().second : rb;
      dateLiteral(lastB, lastE, rb, re);
      ++i;
      continue;
    }
    if (k.kind == Token::Ident && k.text == "BETWEEN" && i == lastE && exprType(lastB, lastE).code == kDate) {
      for (size_t m = i + 1; m < e && m < i + 4; ++m)
        if (t_[m].kind == Token::Str && !(m + 1 < e && t_[m + 1].kind == Token::Op && !is(t_[m + 1], ")") && !is(t_[m + 1], ",")))
          replace_[m] = dateText(m);
    }
    if (!chainAt(i, e, terms, ops)) { ++i; continue; }
    size_t chainEnd = terms.back().second;
    // NUMBER arithmetic is exact decimal, done by our functions rather than SQLite's operators.
    bool rewrite = !ops.empty();
    for (auto [tb, te] : terms)
      rewrite = rewrite || productAt(tb, te);
    std::vector<ColType> types;
    if (!ops.empty())
      for (auto [tb, te] : terms) {
        types.push_back(exprType(tb, te));
        if (types.back().code == kDate) rewrite = true;
      }
    if (!rewrite) {
      // look inside parentheses of the chain for chains of their own
      for (size_t m = i; m < chainEnd; ++m)
        if (is(t_[m], "(") && t_[m].depth == k.depth && !outerMark(m)) {
          size_t close = matching(m);
          if (!is(at(m + 1), "SELECT")) rewriteChains(m + 1, close);
          m = close;
        }
      lastB = i;
      lastE = chainEnd;
      i = chainEnd;
      continue;
    }
    std::string acc = factors(terms[0].first, terms[0].second);
    if (ops.empty()) {
      replace_[i] = acc;
      for (size_t m = i + 1; m < chainEnd; ++m) skip_[m] = 1;
      lastB = i;
      lastE = chainEnd;
      i = chainEnd;
      continue;
    }
    ColType accType = types[0];
    // A run of || is one ora_concat call, not a nest of them: SQLite's parser has little room
    // for nesting.
    std::vector<std::string> run;
    auto closeRun = [&] {
      if (run.empty()) return;
      acc = "ora_concat(";
      for (size_t k = 0; k < run.size(); ++k) acc += (k ? ", " : "") + run[k];
      acc += ")";
      run.clear();
    };
    bool sums = std::all_of(ops.begin(), ops.end(), [](const std::string& o) { return o == "+" || o == "-"; }) &&
                std::none_of(types.begin(), types.end(), [](const ColType& t) { return t.code == kDate; });
    if (sums) {
      // one flat sum however many terms it has: SQLite's parser takes no deep nesting
      std::vector<std::string> parts{acc};
      for (size_t n = 0; n < ops.size(); ++n) {
        std::string text = factors(terms[n + 1].first, terms[n + 1].second);
        parts.push_back(ops[n] == "-" ? "ora_neg(" + text + ")" : text);
      }
      replace_[i] = groupedCall("ora_add", parts);
      for (size_t m = i + 1; m < chainEnd; ++m) skip_[m] = 1;
      lastB = i;
      lastE = chainEnd;
      i = chainEnd;
      continue;
    }
    for (size_t n = 0; n < ops.size(); ++n) {
      std::string text = factors(terms[n + 1].first, terms[n + 1].second);
      const ColType& t = types[n + 1];
      ColType r;
      r.code = kNumber;
      if (ops[n] == "||") {
        // a DATE joins text in the session's date format
        if (run.empty()) run.push_back(accType.code == kDate ? "TO_CHAR(" + acc + ")" : acc);
        run.push_back(t.code == kDate ? "TO_CHAR(" + text + ")" : text);
        if (run.size() >= 100) closeRun();
        r.code = kVarchar2;
        accType = r;
        continue;
      }
      closeRun();
      if (accType.code == kDate && t.code == kDate) {
        if (ops[n] == "+") throw OraError(975);
        acc = "ora_date_diff(" + acc + ", " + text + ")";
      } else if (accType.code == kDate) {
        acc = "ora_date_add(" + acc + ", " + (ops[n] == "-" ? "-(" + text + ")" : text) + ")";
        r.code = kDate;
      } else if (t.code == kDate) {
        if (ops[n] == "-") throw OraError(932, "a number minus a date");
        acc = "ora_date_add(" + text + ", " + acc + ")";
        r.code = kDate;
      } else {
        acc = std::string(ops[n] == "+" ? "ora_add(" : "ora_sub(") + acc + ", " + text + ")";
      }
      accType = r;
    }
    closeRun();
    replace_[i] = acc;
    for (size_t m = i + 1; m < chainEnd; ++m) skip_[m] = 1;
    lastB = i;
    lastE = chainEnd;
    i = chainEnd;
  }
}

// The type a CAST names, from its type tokens [b, e).
ColType Translator::castType(size_t b, size_t e) const {
  std::string decl;
  for (size_t m = b; m < e; ++m) decl += t_[m].text;
  ColType c = parseDeclType(decl);
  if (c.code == 0 && (decl.rfind("VARCHAR", 0) == 0 || decl.rfind("NVARCHAR2", 0) == 0)) c = parseDeclType("VARCHAR2" + decl.substr(decl.find('(') == std::string::npos ? decl.size() : decl.find('(')));
  if (c.code == 0 && (decl.rfind("INTEGER", 0) == 0 || decl.rfind("INT", 0) == 0)) c = parseDeclType("NUMBER(38)");
  if (c.code == kVarchar2 && c.size <= 0) c.size = 4000;
  return c;
}

// Whether a term [b, e) multiplies or divides at its own level.
bool Translator::productAt(size_t b, size_t e) const {
  if (b >= e) return false;
  int d = t_[b].depth;
  for (size_t k = b; k < e; ++k)
    if (t_[k].depth == d && !skip_[k] && replace_[k].empty() && (is(t_[k], "*") || is(t_[k], "/")) && k > b &&
        !is(t_[k - 1], "."))
      return true;
  return false;
}

// A term as nested exact products and quotients of its factors.
std::string Translator::factors(size_t b, size_t e) {
  if (!productAt(b, e)) return emit(b, e);
  int d = t_[b].depth;
  std::string acc;
  size_t fb = b;
  std::string op;
  for (size_t k = b + 1; k <= e; ++k) {
    bool cut = k == e || (t_[k].depth == d && !skip_[k] && replace_[k].empty() && (is(t_[k], "*") || is(t_[k], "/")) &&
                          !is(t_[k - 1], "."));
    if (!cut) continue;
    std::string f = emit(fb, k);
    acc = op.empty() ? f : std::string(op == "*" ? "ora_mul(" : "ora_div(") + acc + ", " + f + ")";
    if (k < e) op = t_[k].text;
    fb = k + 1;
  }
  return acc;
}

std::string Translator::dateText(size_t strTok) {
  pin_[strTok] = 1;
  return "ora_conv(" + quoteString(t_[strTok].text) + ", " + std::to_string(kDate) + ", 0, 0, 0, 0, 'date')";
}

// One side a DATE, the other a lone text literal: the literal is read as a date.
// The implicit conversions of a comparison, as Oracle makes them: text beside a DATE is read as a
// date, text beside a NUMBER as a number (ORA-01722 when it is none), and two text literals
// compare blank-padded.
void Translator::dateLiteral(size_t lb, size_t le, size_t rb, size_t re) {
  if (le <= lb || re <= rb) return;
  bool lStr = le == lb + 1 && t_[lb].kind == Token::Str, rStr = re == rb + 1 && t_[rb].kind == Token::Str;
  if (!replace_[lb].empty() || !replace_[rb].empty() || skip_[lb] || skip_[rb]) return;
  if (lStr && rStr) {
    for (size_t k : {lb, rb}) {
      std::string v = t_[k].text;
      v.erase(v.find_last_not_of(' ') + 1);
      pin_[k] = 1;
      replace_[k] = v.empty() ? "NULL" : quoteString(v);
    }
    return;
  }
  ColType lt = exprType(lb, le), rt = exprType(rb, re);
  auto text = [](const ColType& t) { return t.code == kVarchar2 || t.code == kChar || t.code == kLong; };
  auto convert = [&](size_t b, size_t e, bool str, const ColType& other) {
    if (other.code == kDate) {
      if (str) {
        replace_[b] = dateText(b);
      } else {
        replace_[b] = "ora_conv(" + emit(b, e) + ", " + std::to_string(kDate) + ", 0, 0, 0, 0, 'date')";
        for (size_t m = b + 1; m < e; ++m) skip_[m] = 1;
      }
    } else if (other.code == kNumber && str) {
      Num n;
      bool number = false;
      try {
        number = parseNum(t_[b].text, n);
      } catch (const OraError&) {
      }
      if (!number) {
        pin_[b] = 1;
        replace_[b] = "ora_num(" + quoteString(t_[b].text) + ")";
      }
    }
  };
  if (text(rt) && (lt.code == kDate || lt.code == kNumber)) convert(rb, re, rStr, lt);
  else if (text(lt) && (rt.code == kDate || rt.code == kNumber)) convert(lb, le, lStr, rt);
}

// Source text of tokens [b, e).
std::string Translator::source(size_t b, size_t e) const {
  if (b >= e || b >= size()) return {};
  return src_.substr(t_[b].pos, t_[std::min(e, size()) - 1].end - t_[b].pos);
}

ColType Translator::infer(size_t b, size_t e) {
  ColType t;
  t.code = kVarchar2;
  t.size = 4000;
  if (e <= b) return t;
  const Token& f = t_[b];
  if (e - b == 2 && is(f, "DATE") && t_[b + 1].kind == Token::Str) { t = ColType{}; t.code = kDate; return t; }
  if (e - b == 1) {
    if (f.kind == Token::Num) { t = ColType{}; t.code = kNumber; return t; }
    // a text literal is CHAR, as long as it is
    if (f.kind == Token::Str) { t.code = kChar; t.size = std::max<int>(1, textBytes(f.text)); return t; }
    if (f.kind == Token::Ident && f.text == "SYSDATE") { t = ColType{}; t.code = kDate; return t; }
    if (f.kind == Token::Ident && f.text == "ROWID") { t = ColType{}; t.code = kRowid; return t; }
    if (f.kind == Token::Ident && f.text == "USER") { t.size = 30; return t; }
    if (f.kind == Token::Ident && (f.text == "UID" || f.text == "ROWNUM" || f.text == "LEVEL")) { t = ColType{}; t.code = kNumber; return t; }
  }
  if (is(t_[e - 1], "NEXTVAL") || is(t_[e - 1], "CURRVAL")) { t = ColType{}; t.code = kNumber; return t; }
  if (e - b == 3 && is(t_[b + 1], ".") && is(t_[b + 2], "ROWID")) { t = ColType{}; t.code = kRowid; return t; }
  // A column of a FROM table: its own type (reached here when it sits inside a call).
  if ((e - b == 1 || (e - b == 3 && is(t_[b + 1], "."))) &&
      (t_[e - 1].kind == Token::Ident || t_[e - 1].kind == Token::QIdent) && !ctx_.empty()) {
    std::string q = e - b == 3 ? t_[b].text : std::string();
    for (auto& r : ctx_.back().tables) {
      if (!q.empty() && r.alias != q && !(r.alias.empty() && r.name == q)) continue;
      if (r.name == "DUAL") continue;
      for (auto& c : cat_.columns(r.dictionary.empty() ? r.name : dictionaryTable(r.dictionary)))
        if (c.name == t_[e - 1].text) return c.type;
    }
    return t;
  }
  if (f.kind == Token::Ident && analyticAt(b) == e) {
    // an analytic call has the type of its function without the window
    static const std::set<std::string> ranks = {"ROW_NUMBER", "RANK", "DENSE_RANK", "NTILE", "PERCENT_RANK",
                                                "CUME_DIST", "COUNT", "SUM", "AVG", "STDDEV", "VARIANCE"};
    if (ranks.count(f.text)) { t = ColType{}; t.code = kNumber; return t; }
    size_t close = matching(b + 1), a = b + 2, m = a;
    while (m < close && !(t_[m].depth == f.depth + 1 && is(t_[m], ","))) ++m;
    return m > a ? exprType(a, m) : t;
  }
  bool wholeCall = f.kind == Token::Ident && is(at(b + 1), "(") && is(t_[e - 1], ")") && t_[e - 1].depth == f.depth &&
                   matching(b + 1) + 1 == e;
  std::vector<std::pair<size_t, size_t>> args;
  if (wholeCall) {
    size_t a = b + 2;
    if (is(at(a), "DISTINCT") || is(at(a), "ALL")) ++a;
    for (size_t m = a; m <= e - 1; ++m)
      if (m == e - 1 || (t_[m].depth == f.depth + 1 && is(t_[m], ","))) {
        if (m > a) args.emplace_back(a, m);
        a = m + 1;
      }
  }
  auto nullArg = [&](std::pair<size_t, size_t> r) {
    return r.second == r.first + 1 && ((t_[r.first].kind == Token::Str && t_[r.first].text.empty()) || is(t_[r.first], "NULL"));
  };
  // Character results are as long as the longest argument that can be the result.
  auto widest = [&](const std::vector<std::pair<size_t, size_t>>& results) {
    ColType r;
    for (auto a : results)
      if (!nullArg(a)) { r = exprType(a.first, a.second); break; }
    if (r.code == 0) { r.code = kVarchar2; r.size = 1; }
    if (r.code == kChar) r.code = kVarchar2; // a choice among texts is VARCHAR2
    if (r.code == kVarchar2) {
      for (auto a : results) {
        if (nullArg(a)) continue;
        ColType x = exprType(a.first, a.second);
        int size = x.code == kVarchar2 || x.code == kChar ? x.size : x.code == kNumber ? 40 : x.code == kDate ? 9 : 4000;
        r.size = std::min(4000, std::max(r.size, size));
      }
    }
    return r;
  };
  // Calls whose result has the type of their first argument.
  static const std::set<std::string> sameType = {"MIN", "MAX", "NVL", "COALESCE", "GREATEST", "LEAST"};
  if (wholeCall && sameType.count(f.text) && !args.empty()) {
    if (f.text == "MIN" || f.text == "MAX") return infer(args[0].first, args[0].second);
    return widest(args);
  }
  if (f.kind == Token::Ident && f.text == "CASE" && is(t_[e - 1], "END") && t_[e - 1].depth == f.depth) {
    std::vector<std::pair<size_t, size_t>> results;
    size_t from = 0;
    int nest = 0;
    for (size_t m = b + 1; m < e; ++m) {
      if (t_[m].depth != f.depth) continue;
      if (is(t_[m], "CASE")) { ++nest; continue; }
      if (is(t_[m], "END") && nest) { --nest; continue; }
      if (nest) continue;
      if (is(t_[m], "THEN") || is(t_[m], "ELSE")) {
        if (from) results.emplace_back(from, m);
        from = m + 1;
      } else if (is(t_[m], "WHEN") || m == e - 1) {
        if (from) results.emplace_back(from, m);
        from = 0;
      }
    }
    if (!results.empty()) return widest(results);
  }
  if (wholeCall && f.text == "CAST" && args.size() == 1) {
    for (size_t m = args[0].first; m < args[0].second; ++m)
      if (t_[m].depth == f.depth + 1 && is(t_[m], "AS")) return castType(m + 1, args[0].second);
  }
  if (wholeCall && !args.empty()) {
    static const std::set<std::string> keepLength = {"UPPER", "LOWER", "INITCAP", "TRIM", "LTRIM", "RTRIM",
                                                     "REGEXP_SUBSTR"};
    if (keepLength.count(f.text)) {
      ColType x = exprType(args[0].first, args[0].second);
      t.size = x.code == kVarchar2 || x.code == kChar ? x.size : x.code == kNumber ? 40 : 4000;
      return t;
    }
    if (f.text == "TO_CHAR" && args.size() == 1 && exprType(args[0].first, args[0].second).code == kNumber) {
      t.size = 40;
      return t;
    }
    if (f.text == "CHR") {
      t.size = charset() == Charset::JA16SJIS ? 2 : 4; // one character
      return t;
    }
  }
  static const std::set<std::string> numeric = {"COUNT", "SUM", "AVG", "STDDEV", "VARIANCE", "GROUPING",
                                                "REGEXP_INSTR", "REGEXP_COUNT", "LENGTHB", "INSTRB", "VSIZE"};
  bool call = f.kind == Token::Ident && is(at(b + 1), "(") && matching(b + 1) + 1 == e;
  if (f.kind == Token::Ident && f.text == "LISTAGG") return t;
  if (call) {
    int r = numeric.count(f.text) ? kNumber : functionResultType(f.text);
    if (r == kNumber || r == kDate) { t = ColType{}; t.code = r; return t; }
    if (r == kVarchar2) return t;
    if (r == 0) {
      // the type of an argument: DECODE's first result, NVL2's first choice, else the first
      std::vector<std::pair<size_t, size_t>> args;
      size_t a = b + 2;
      for (size_t m = a; m <= e - 1; ++m)
        if (m == e - 1 || (t_[m].depth == f.depth + 1 && is(t_[m], ","))) { args.emplace_back(a, m); a = m + 1; }
      if (f.text == "DECODE" && args.size() >= 3) {
        // the first result that is not NULL gives the type; text results share the longest size
        std::vector<std::pair<size_t, size_t>> results;
        for (size_t n = 2; n < args.size(); n += 2) results.push_back(args[n]);
        if (args.size() % 2 == 0) results.push_back(args.back());
        auto isNull = [&](std::pair<size_t, size_t> r) {
          return r.second == r.first + 1 && ((t_[r.first].kind == Token::Str && t_[r.first].text.empty()) || is(t_[r.first], "NULL"));
        };
        int longest = 0;
        bool allText = true;
        for (auto r : results) {
          if (isNull(r)) continue;
          if (r.second == r.first + 1 && t_[r.first].kind == Token::Str)
            longest = std::max<int>(longest, textBytes(t_[r.first].text));
          else allText = false;
        }
        for (auto r : results) {
          if (isNull(r)) continue;
          if (allText) { t.size = std::max(1, longest); return t; }
          return exprType(r.first, r.second);
        }
        return t;
      }
      size_t pick = f.text == "NVL2" ? 1 : 0;
      if (pick < args.size() && args[pick].first < args[pick].second)
        return exprType(args[pick].first, args[pick].second);
    }
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
  if (!expandingGroups_)
    if (std::string sets = groupingSets(s, e, next); !sets.empty()) return sets;
  if (!nestedDone_.count(s))
    if (std::string nested = nestedAggregates(s, e, next); !nested.empty()) return nested;
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
  std::string walk = hierarchy(from, fromEnd, end, d);
  Context c;
  parseFrom(from + 1, fromEnd, c);
  ctx_.push_back(c);
  size_t whereEnd = fromEnd;
  if (is(at(fromEnd), "WHERE"))
    whereEnd = clauseEnd(fromEnd + 1, end, d, {"GROUP", "ORDER", "HAVING", "CONNECT", "START", "FOR"});
  int64_t limit = rownumLimit(fromEnd, whereEnd, d);
  // Literals that shape the result (its headings and types) or name an ORDER BY position are
  // part of what a shared statement is.
  for (size_t i = listBegin; i < from; ++i)
    if (t_[i].kind == Token::Str || t_[i].kind == Token::Num) pin_[i] = 1;
  for (size_t i = whereEnd; i + 1 < end; ++i)
    if (t_[i].depth == d && is(t_[i], "ORDER") && is(t_[i + 1], "BY")) {
      size_t orderEnd = i + 2;
      while (orderEnd < end && !(t_[orderEnd].depth == d && (is(t_[orderEnd], "OFFSET") || is(t_[orderEnd], "FETCH")) &&
                                 keywordAt(t_, orderEnd)))
        ++orderEnd;
      for (size_t m = i + 2; m < orderEnd; ++m)
        if (t_[m].kind == Token::Num) pin_[m] = 1;
      nullsOrder(i + 2, orderEnd, d);
    }

  // GROUP BY expressions, for the check that every selected column is grouped
  std::vector<std::pair<size_t, size_t>> groups;
  bool grouped = false;
  for (size_t i = fromEnd; i + 1 < end; ++i)
    if (t_[i].depth == d && is(t_[i], "GROUP") && is(t_[i + 1], "BY")) {
      grouped = true;
      size_t ge = clauseEnd(i + 2, end, d, {"HAVING", "ORDER", "UNION", "INTERSECT", "MINUS", "EXCEPT"});
      size_t gb = i + 2;
      for (size_t m = gb; m <= ge; ++m)
        if (m == ge || (t_[m].depth == d && is(t_[m], ","))) { groups.emplace_back(gb, m); gb = m + 1; }
      break;
    }
  for (size_t i = listBegin; i < from && !grouped; ++i)
    if (t_[i].depth == d && isAggregate(i)) grouped = true;

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
    if (grouped) checkGrouped(i, exprEnd, expandingGroups_ ? partGroups_ : groups, !groups.empty());
    out += first ? " " : ", ";
    first = false;
    ColType ty = star ? ColType{} : exprType(i, exprEnd); // before emitting rewrites the tokens
    // what a set operator must match: a type only where it is known for sure
    bool emptyText = exprEnd == i + 1 && t_[i].kind == Token::Str && t_[i].text.empty();
    bool known = !star && ty.code != 0 && !(ty.code == kVarchar2 && ty.size == 4000) && !emptyText;
    blockTypes_[s].emplace_back(known ? ty.code : 0, static_cast<size_t>(i));
    out += emit(i, exprEnd);
    if (!star) {
      if (alias.empty()) alias = heading(i, exprEnd);
      out += " AS " + quoteIdent(alias);
      auto it = tr_.inferred.find(alias);
      bool plainColumn = exprEnd - i == 1 || (exprEnd - i == 3 && is(t_[i + 1], "."));
      if (it == tr_.inferred.end() || !plainColumn) tr_.inferred[alias] = ty;
    }
    i = ie < from ? ie + 1 : ie;
  }
  std::string joined = outerJoins(from + 1, fromEnd, fromEnd, whereEnd, d);
  if (limit >= 0) {
    // Oracle numbers rows as they are found, before grouping and sorting.
    bool plain = whereEnd == end && !head.ends_with("DISTINCT") && joined.empty();
    for (size_t i = listBegin; plain && i < from; ++i) {
      static const std::set<std::string> aggregates = {"COUNT", "SUM", "AVG", "MIN", "MAX", "STDDEV", "VARIANCE"};
      if (t_[i].depth == d && t_[i].kind == Token::Ident && aggregates.count(t_[i].text) && is(at(i + 1), "(")) plain = false;
    }
    if (plain) {
      out += " " + emit(from, end);
      out = "SELECT * FROM (" + out + " LIMIT " + std::to_string(limit) + ")";
    } else {
      std::string keys, froms;
      for (auto& r : ctx_.back().tables) {
        if (r.name == "DUAL" || !r.dictionary.empty() || cat_.viewExists(r.name) || !joined.empty())
          throw OraError(900, "ROWNUM cannot limit this query here");
        keys += (keys.empty() ? "" : ", ") + quoteIdent(r.alias.empty() ? r.name : r.alias) + ".rowid";
      }
      if (keys.empty() || ctx_.back().tables.size() != static_cast<size_t>(std::count_if(
                                t_.begin() + static_cast<long>(from), t_.begin() + static_cast<long>(fromEnd),
                                [&](const Token& k) { return k.depth == d && is(k, ","); })) + 1)
        throw OraError(900, "ROWNUM cannot limit this query here");
      std::string where = whereEnd > fromEnd ? " " + emit(fromEnd, whereEnd) : "";
      std::string cond = "(" + keys + ") IN (SELECT " + keys + " " + emit(from, fromEnd) + where + " LIMIT " +
                         std::to_string(limit) + ")";
      out += " " + emit(from, fromEnd) + (where.empty() ? " WHERE " + cond : where + " AND " + cond) + " " +
             emit(whereEnd, end);
    }
  } else if (!joined.empty()) {
    out += " FROM " + joined + " " + emit(fromEnd, end);
  } else {
    out += " " + emit(from, end);
  }
  ctx_.pop_back();
  next = end;
  if (!walk.empty()) {
    // depth first, unless the query sorts otherwise
    bool sorted = false;
    for (size_t i = fromEnd; i + 1 < end; ++i)
      if (t_[i].depth == d && is(t_[i], "ORDER") && is(t_[i + 1], "BY") && !skip_[i]) sorted = true;
    out = "SELECT * FROM (" + walk + out + (sorted ? "" : " ORDER BY \"H$\".\"K$\"") + ")";
  }
  return out;
}

bool Translator::isAggregate(size_t i) const {
  static const std::set<std::string> aggregates = {"COUNT", "SUM", "AVG", "MIN", "MAX", "STDDEV", "VARIANCE", "LISTAGG"};
  return t_[i].kind == Token::Ident && aggregates.count(t_[i].text) && is(at(i + 1), "(") && !analyticAt(i);
}

// A function call at i that has an OVER clause: its end (after the window), or 0.
size_t Translator::analyticAt(size_t i) const {
  if (!is(at(i + 1), "(")) return 0;
  size_t close = matching(i + 1);
  if (!is(at(close + 1), "OVER") || !is(at(close + 2), "(")) return 0;
  return matching(close + 2) + 1;
}

// In a grouped query every column outside an aggregate must be grouped (or stand inside a
// grouped expression); SQLite would silently pick a value from any row of the group.
void Translator::checkGrouped(size_t b, size_t e, const std::vector<std::pair<size_t, size_t>>& groups,
                              bool byClause) {
  std::vector<char> covered(e - b, 0);
  auto same = [&](size_t x, size_t y) { return t_[x].kind == t_[y].kind && t_[x].text == t_[y].text; };
  for (auto [gb, ge] : groups) {
    size_t n = ge - gb;
    if (n == 0) continue;
    for (size_t i = b; i + n <= e; ++i) {
      bool match = true;
      for (size_t k = 0; k < n && match; ++k) match = same(i + k, gb + k);
      if (match)
        for (size_t k = 0; k < n; ++k) covered[i + k - b] = 1;
    }
    // a grouped column matches its qualified or unqualified mention
    if (n == 1 || (n == 3 && is(t_[gb + 1], "."))) {
      const std::string& name = t_[ge - 1].text;
      for (size_t i = b; i < e; ++i)
        if ((t_[i].kind == Token::Ident || t_[i].kind == Token::QIdent) && t_[i].text == name &&
            !is(at(i + 1), "(") && !is(at(i + 1), "."))
          covered[i - b] = 1;
    }
  }
  static const std::set<std::string> pseudo = {"SYSDATE", "USER", "UID", "ROWNUM", "NULL", "LEVEL"};
  for (size_t i = b; i < e; ++i) {
    if (is(t_[i], "(") && is(at(i + 1), "SELECT")) { i = matching(i); continue; }
    if (isAggregate(i)) {
      i = matching(i + 1);
      if (is(at(i + 1), "WITHIN") && is(at(i + 3), "(")) i = matching(i + 3);
      continue;
    }
    if (size_t end = t_[i].kind == Token::Ident ? analyticAt(i) : 0) { i = end - 1; continue; }
    if (skip_[i] || !replace_[i].empty()) continue; // written otherwise (a total's NULL, GROUPING's value)
    const Token& k = t_[i];
    if (covered[i - b] || (k.kind != Token::Ident && k.kind != Token::QIdent)) continue;
    if (k.kind == Token::Ident && (keywordAt(t_, i) || pseudo.count(k.text))) continue;
    if (is(at(i + 1), "(") || is(at(i + 1), ".")) continue; // a function, or a qualifier
    if (is(k, "NEXTVAL") || is(k, "CURRVAL")) continue;
    if (i > b && is(t_[i - 1], ".") && i >= b + 2 && covered[i - 2 - b]) continue;
    throw OraError(byClause ? 979 : 937, k.text);
  }
}

// Oracle sorts NULL as the largest value (last going up, first going down); SQLite as the
// smallest.
void Translator::nullsOrder(size_t b, size_t e, int d) {
  size_t ib = b;
  for (size_t i = b; i <= e; ++i) {
    if (i < e && !(t_[i].depth == d && is(t_[i], ","))) continue;
    size_t last = i - 1;
    bool explicitNulls = false;
    for (size_t m = ib; m < i; ++m)
      if (t_[m].depth == d && is(t_[m], "NULLS")) explicitNulls = true;
    ib = i + 1;
    if (explicitNulls || last >= e || !replace_[last].empty() || skip_[last]) continue;
    const Token& k = t_[last];
    std::string text;
    if (is(k, "DESC")) text = "DESC NULLS FIRST";
    else if (is(k, "ASC")) text = "ASC NULLS LAST";
    else if (k.kind == Token::Num || is(k, ")")) text = k.text + " NULLS LAST";
    else if (k.kind == Token::QIdent || (k.kind == Token::Ident && !keywordAt(t_, last) && k.text != "ROWID" &&
                                          k.text != "ROWNUM" && k.text != "SYSDATE" && k.text != "USER" && k.text != "UID"))
      text = quoteIdent(k.text) + " NULLS LAST";
    else continue;
    replace_[last] = text;
  }
}

// ROWNUM conditions of a WHERE clause become a row limit (-1: none); the conditions themselves
// are taken out. Conditions no row can meet (ROWNUM > 1 and the like) leave a false WHERE.
int64_t Translator::rownumLimit(size_t wb, size_t we, int d) {
  if (wb >= we || !is(at(wb), "WHERE")) return -1;
  int64_t lo = 1, hi = INT64_MAX;
  bool any = false;
  for (auto [cb, ce] : conjuncts(wb + 1, we, d)) {
    bool mentions = false;
    for (size_t i = cb; i < ce; ++i)
      if (is(t_[i], "ROWNUM") && !(i > 0 && is(t_[i - 1], "."))) mentions = true;
    if (!mentions) continue;
    // ROWNUM op n, or n op ROWNUM
    std::string op;
    int64_t n = 0;
    auto number = [&](const Token& k, int64_t& v) {
      if (k.kind != Token::Num || k.text.find_first_of(".eE") != std::string::npos) return false;
      v = std::atoll(k.text.c_str());
      return true;
    };
    if (ce - cb == 3 && is(t_[cb], "ROWNUM") && t_[cb + 1].kind == Token::Op && number(t_[cb + 2], n)) {
      op = t_[cb + 1].text;
    } else if (ce - cb == 3 && is(t_[cb + 2], "ROWNUM") && t_[cb + 1].kind == Token::Op && number(t_[cb], n)) {
      static const std::map<std::string, std::string> flip = {{"<", ">"}, {">", "<"}, {"<=", ">="}, {">=", "<="}, {"=", "="}};
      auto it = flip.find(t_[cb + 1].text);
      if (it == flip.end()) throw OraError(900, "this ROWNUM condition is not supported");
      op = it->second;
    } else {
      throw OraError(900, "this ROWNUM condition is not supported");
    }
    if (op == "<=") hi = std::min(hi, n);
    else if (op == "<") hi = std::min(hi, n - 1);
    else if (op == "=") { lo = std::max(lo, n); hi = std::min(hi, n); }
    else if (op == ">=") lo = std::max(lo, n);
    else if (op == ">") lo = std::max(lo, n + 1);
    else throw OraError(900, "this ROWNUM condition is not supported");
    for (size_t i = cb; i < ce; ++i) pin_[i] = 1;
    replace_[cb] = "1 = 1";
    for (size_t i = cb + 1; i < ce; ++i) skip_[i] = 1;
    any = true;
  }
  if (!any) return -1;
  // the first row would have to be numbered beyond 1, so no row ever is
  if (lo > 1 || hi < 1) return 0;
  return hi == INT64_MAX ? -1 : hi;
}

std::vector<std::pair<size_t, size_t>> Translator::conjuncts(size_t b, size_t e, int d) const {
  std::vector<std::pair<size_t, size_t>> out;
  size_t start = b;
  int between = 0;
  for (size_t i = b; i < e; ++i) {
    if (t_[i].depth != d || t_[i].kind != Token::Ident) continue;
    if (t_[i].text == "BETWEEN") ++between;
    else if (t_[i].text == "AND") {
      if (between) { --between; continue; }
      out.emplace_back(start, i);
      start = i + 1;
    }
  }
  if (start < e) out.emplace_back(start, e);
  return out;
}

// Marks of Oracle's outer join: "(" "+" ")" right after a column.
bool Translator::outerMark(size_t i) const {
  return is(at(i), "(") && is(at(i + 1), "+") && is(at(i + 2), ")");
}

// Oracle's (+) joins in WHERE become LEFT JOINs: the tables named with (+) are joined after the
// others, on the conditions that carry the mark. Empty when the query has none.
std::string Translator::outerJoins(size_t fb, size_t fe, size_t wb, size_t we, int d) {
  auto subquerySpan = [&](size_t i) -> size_t { // end of a parenthesised subquery starting at i
    if (!(is(at(i), "(") && is(at(i + 1), "SELECT"))) return i;
    size_t j = i + 1;
    while (j < size() && !(t_[j].depth == t_[i].depth && is(t_[j], ")"))) ++j;
    return j;
  };
  bool any = false;
  if (wb < we && is(at(wb), "WHERE"))
    for (size_t i = wb + 1; i < we; ++i) {
      size_t j = subquerySpan(i);
      if (j != i) { i = j; continue; }
      if (outerMark(i)) { any = true; break; }
    }
  if (!any) return {};

  struct Item { size_t b, e; std::string id, name; bool outer = false; std::set<std::string> partners;
                std::vector<std::pair<size_t, size_t>> conds; };
  std::vector<Item> items;
  size_t b = fb;
  for (size_t i = fb; i <= fe; ++i) {
    if (i < fe && t_[i].depth == d && t_[i].kind == Token::Ident && (t_[i].text == "JOIN" || t_[i].text == "ON"))
      throw OraError(25156);
    if (i < fe && !(t_[i].depth == d && is(t_[i], ","))) continue;
    Item it{b, i, "", "", false, {}, {}};
    size_t last = i - 1;
    if (is(at(b), "(")) {
      size_t close = subquerySpan(b);
      it.id = close + 1 < i ? at(i - 1).text : "";
    } else {
      size_t n = b;
      if (is(at(b + 1), ".") ) n = b + 2;
      it.name = at(n).text;
      it.id = last > n ? at(last).text : it.name;
    }
    items.push_back(it);
    b = i + 1;
  }
  auto itemOf = [&](size_t i) -> int { // the FROM item a column reference at i belongs to
    const Token& k = at(i);
    if (is(at(i + 1), ".") && (at(i + 2).kind == Token::Ident || at(i + 2).kind == Token::QIdent)) {
      for (size_t n = 0; n < items.size(); ++n)
        if (items[n].id == k.text) return static_cast<int>(n);
      return -1;
    }
    for (size_t n = 0; n < items.size(); ++n) {
      if (items[n].name.empty()) continue;
      std::string v = dictionaryView(items[n].name, cat_.user());
      for (auto& c : cat_.columns(cat_.tableExists(items[n].name) || v.empty() ? items[n].name : dictionaryTable(v)))
        if (c.name == k.text) return static_cast<int>(n);
    }
    return -1;
  };
  for (auto [cb, ce] : conjuncts(wb + 1, we, d)) {
    int outer = -1;
    bool marked = false;
    std::set<int> others;
    for (size_t i = cb; i < ce; ++i) {
      size_t j = subquerySpan(i);
      if (j != i) { i = j; continue; }
      const Token& k = t_[i];
      if (k.kind == Token::Ident && (k.text == "OR" || k.text == "IN")) {
        for (size_t m = cb; m < ce; ++m)
          if (outerMark(m)) throw OraError(1719);
      }
      if ((k.kind != Token::Ident && k.kind != Token::QIdent) || keywordAt(t_, i) || is(at(i + 1), "(") ||
          (i > cb && is(at(i - 1), ".")))
        continue;
      size_t endRef = is(at(i + 1), ".") ? i + 3 : i + 1;
      int n = itemOf(i);
      if (outerMark(endRef)) {
        marked = true;
        if (n < 0) throw OraError(904, k.text);
        if (outer >= 0 && outer != n) throw OraError(1468);
        outer = n;
      } else if (n >= 0) {
        others.insert(n);
      }
      i = endRef - 1;
    }
    if (!marked) continue;
    others.erase(outer);
    Item& it = items[outer];
    it.outer = true;
    for (int o : others) it.partners.insert(items[o].id);
    it.conds.emplace_back(cb, ce);
  }
  for (auto& it : items) {
    if (it.partners.size() > 1) throw OraError(1417);
    for (auto& p : it.partners)
      for (auto& o : items)
        if (o.id == p && o.outer && o.partners.count(it.id)) throw OraError(1416);
  }
  // the (+) marks themselves are not emitted
  for (size_t i = wb; i < we; ++i)
    if (outerMark(i)) skip_[i] = skip_[i + 1] = skip_[i + 2] = 1;
  std::string out;
  for (auto& it : items)
    if (!it.outer) out += (out.empty() ? "" : ", ") + emit(it.b, it.e);
  if (out.empty()) throw OraError(1416);
  std::set<std::string> placed;
  for (auto& it : items)
    if (!it.outer) placed.insert(it.id);
  // an outer table joins after the table it is joined to
  for (size_t round = 0; round < items.size(); ++round)
    for (auto& it : items) {
      if (!it.outer || placed.count(it.id)) continue;
      if (!it.partners.empty() && !placed.count(*it.partners.begin())) continue;
      std::string on;
      for (auto [cb, ce] : it.conds) on += (on.empty() ? "" : " AND ") + emit(cb, ce);
      out += " LEFT JOIN " + emit(it.b, it.e) + " ON " + on;
      placed.insert(it.id);
    }
  for (auto& it : items)
    for (auto [cb, ce] : it.conds) {
      replace_[cb] = "1 = 1";
      for (size_t i = cb + 1; i < ce; ++i) skip_[i] = 1;
    }
  return out;
}

// The index of the first token at or after byte offset `pos`.
// x op ANY (...) is true when one value compares true, unknown when none does but some compare
// unknown, else false (an empty set is false); ALL the other way round.
std::string Translator::quantified(const Quantified& q) {
  std::string left = emit(tokenAt(q.left.first), tokenAt(q.left.second));
  std::string values;
  if (q.subquery) {
    values = emit(tokenAt(q.values.front().first), tokenAt(q.values.front().second));
  } else {
    for (auto [vb, ve] : q.values) values += (values.empty() ? "VALUES (" : ", (") + emit(tokenAt(vb), tokenAt(ve)) + ")";
  }
  std::string c = "(SELECT (" + left + ") " + q.op + " \"V\" AS \"C\" FROM \"A$\")";
  std::string decide = q.all ? "CASE WHEN MIN(\"C\") = 0 THEN 0 WHEN COUNT(*) > COUNT(\"C\") THEN NULL ELSE 1 END"
                             : "CASE WHEN MAX(\"C\") = 1 THEN 1 WHEN COUNT(*) > COUNT(\"C\") THEN NULL ELSE 0 END";
  return "(WITH \"A$\"(\"V\") AS (" + values + ") SELECT " + decide + " FROM " + c + ")";
}

size_t Translator::tokenAt(size_t pos) const {
  auto it = std::lower_bound(t_.begin(), t_.end(), pos, [](const Token& t, size_t p) { return t.pos < p; });
  return static_cast<size_t>(it - t_.begin());
}

// f(a, b, ...) over any number of arguments, in calls of at most 100 arguments nested as a
// shallow tree.
std::string Translator::groupedCall(const std::string& f, std::vector<std::string> parts) {
  while (parts.size() > 100) {
    std::vector<std::string> next;
    for (size_t k = 0; k < parts.size(); k += 100) {
      std::string call = f + "(";
      for (size_t m = k; m < std::min(parts.size(), k + 100); ++m) call += (m > k ? ", " : "") + parts[m];
      next.push_back(call + ")");
    }
    parts = std::move(next);
  }
  if (parts.size() == 1) return parts[0];
  std::string call = f + "(";
  for (size_t m = 0; m < parts.size(); ++m) call += (m ? ", " : "") + parts[m];
  return call + ")";
}

// The query blocks on both sides of a set operator give columns of one type family each, or
// the statement is ORA-01790.
void Translator::checkSetTypes() const {
  auto family = [](int code) {
    switch (code) {
    case kNumber: return 1;
    case kVarchar2: case kChar: case kLong: return 2;
    case kDate: return 3;
    case kRaw: case kLongRaw: return 4;
    default: return 0;
    }
  };
  static const std::set<std::string> setOps = {"UNION", "INTERSECT", "MINUS", "EXCEPT"};
  for (size_t i = 1; i + 1 < size(); ++i) {
    if (t_[i].kind != Token::Ident || !setOps.count(t_[i].text)) continue;
    int d = t_[i].depth;
    size_t left = i, right = is(t_[i + 1], "ALL") ? i + 2 : i + 1;
    while (left > 0 && !(t_[left - 1].depth == d && is(t_[left - 1], "SELECT"))) --left;
    if (left == 0 || right >= size() || !is(t_[right], "SELECT")) continue;
    auto l = blockTypes_.find(left - 1), r = blockTypes_.find(right);
    if (l == blockTypes_.end() || r == blockTypes_.end()) continue;
    for (size_t k = 0; k < l->second.size() && k < r->second.size(); ++k) {
      int a = family(l->second[k].first), b = family(r->second[k].first);
      if (a && b && a != b) throw OraError(1790).at(static_cast<int>(t_[r->second[k].second].pos));
    }
  }
}

// The statement's text with the subqueries that were written out as common table expressions.
std::string Translator::withHoisted(const std::string& sql) const {
  if (ctes_.empty()) return sql;
  std::string out = "WITH ";
  for (size_t k = 0; k < ctes_.size(); ++k) out += (k ? ", " : "") + ctes_[k];
  return out + " " + sql;
}

void Translator::query() {
  tr_.kind = StmtKind::Query;
  tr_.function = 4;
  // FOR UPDATE locks rows in Oracle; here writers lock whole schemas, so it is dropped.
  size_t e = size();
  for (size_t i = 0; i < size(); ++i)
    if (t_[i].depth == 0 && is(t_[i], "FOR") && is(at(i + 1), "UPDATE")) { e = i; break; }
  tr_.sql = withHoisted(emit(0, e));
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
  if (!cat_.tableExists(r.name)) throw OraError(942, r.name).at(static_cast<int>(at(i - 1).pos));
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
    tr_.sql = withHoisted(tr_.sql + ")");
  } else if (is(at(i), "SELECT") || is(at(i), "(") || is(at(i), "WITH")) {
    std::string src = withHoisted(emit(i, size()));
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
  // ROWNUM in SET numbers the rows in the order they are updated
  std::string self = quoteIdent(r.alias.empty() ? table : r.alias);
  for (size_t m = i; m < where; ++m)
    if (t_[m].depth == 0 && is(t_[m], "ROWNUM") && !is(at(m + 1), "(") && !(m > 0 && is(t_[m - 1], ".")) &&
        replace_[m].empty()) {
      std::string cond = where < size() ? " " + emit(where, size()) : "";
      replace_[m] = "(SELECT \"N$\" FROM (SELECT " + self + ".rowid AS \"R$\", row_number() OVER (ORDER BY " +
                    self + ".rowid) AS \"N$\" FROM " + quoteIdent(table) + " AS " + self + cond +
                    ") WHERE \"R$\" = " + self + ".rowid)";
    }
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
  tr_.sql = withHoisted(out);
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
  tr_.sql = withHoisted(out);
  ctx_.pop_back();
}

Translation Translator::run() {
  if (t_.empty()) throw OraError(900);
  replace_.assign(size(), {});
  skip_.assign(size(), 0);
  pin_.assign(size(), 0);
  // names of WITH subqueries, which FROM may name like tables
  for (size_t i = 0; i < size(); ++i) {
    if (!is(t_[i], "WITH") || (i > 0 && !is(t_[i - 1], "(") && !is(t_[i - 1], "AS"))) continue;
    size_t j = i + 1;
    while (aliasToken(j)) {
      cteNames_.insert(at(j).text);
      ++j;
      if (is(at(j), "(")) j = matching(j) + 1;
      if (!is(at(j), "AS") || !is(at(j + 1), "(")) break;
      j = matching(j + 1) + 1;
      if (!is(at(j), ",")) break;
      ++j;
    }
  }
  const Token& f = t_[0];
  tr_.verb = f.kind == Token::Ident ? f.text : f.raw;
  if (f.kind == Token::Ident && (f.text == "SELECT" || f.text == "WITH")) query();
  else if (is(f, "(")) query();
  else if (is(f, "INSERT")) insert();
  else if (is(f, "UPDATE")) update();
  else if (is(f, "DELETE")) del();
  else if (is(f, "CREATE")) {
    size_t i = 1;
    bool replace = false;
    if (is(at(1), "OR") && is(at(2), "REPLACE")) { replace = true; i = 3; }
    if (is(at(i), "FORCE") || is(at(i), "NOFORCE")) ++i;
    if (is(at(i), "VIEW")) createView(i + 1, replace);
    else if (replace) throw OraError(901);
    else if (is(at(1), "TABLE")) createTable();
    else if (is(at(1), "INDEX")) createIndex(false, 2);
    else if (is(at(1), "UNIQUE") && is(at(2), "INDEX")) createIndex(true, 3);
    else if (is(at(1), "SEQUENCE")) createSequence(2);
    else if (is(at(1), "USER")) createUser();
    else throw OraError(901);
  } else if (is(f, "ALTER")) {
    if (is(at(1), "TABLE")) alterTable();
    else if (is(at(1), "USER")) alterUser();
    else if (is(at(1), "SESSION")) alterSession(t_, tr_);
    else throw OraError(940, "ALTER " + at(1).raw + " is not supported");
  } else if (is(f, "RENAME")) rename();
  else if (is(f, "COMMENT")) comment();
  else if (is(f, "GRANT")) grant();
  else if (is(f, "REVOKE")) throw OraError(1031, "REVOKE is not supported by this engine");
  else if (is(f, "DROP")) drop();
  else if (is(f, "TRUNCATE")) truncate();
  else if (is(f, "COMMIT") || is(f, "ROLLBACK")) {
    tr_.kind = is(f, "COMMIT") ? StmtKind::Commit : StmtKind::Rollback;
    tr_.function = is(f, "COMMIT") ? 54 : 55;
    size_t i = 1;
    if (is(at(i), "WORK")) ++i;
    if (tr_.kind == StmtKind::Rollback && is(at(i), "TO")) {
      if (is(at(++i), "SAVEPOINT")) ++i;
      if (!aliasToken(i)) unexpected(i);
      tr_.savepoint = at(i++).text;
    }
    if (i < size()) unexpected(i);
  } else if (is(f, "SAVEPOINT")) {
    tr_.kind = StmtKind::Savepoint;
    tr_.function = 56;
    if (!aliasToken(1)) unexpected(1);
    tr_.savepoint = at(1).text;
    if (size() > 2) unexpected(2);
  } else {
    throw OraError(900);
  }
  checkSetTypes();
  if (share_)
    for (size_t i = 0; i < size(); ++i)
      if (pin_[i]) tr_.pinned.push_back(static_cast<int>(i));
  return tr_;
}

} // namespace ora::tx

namespace ora {

using namespace tx;

// The schema's look-ups are prepared once per session and kept.
sqlite3_stmt* Catalog::prep(const char* sql) {
  if (session_) return session_->cachedStatement(sql);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db_, sql, -1, &st, nullptr);
  return st;
}

void Catalog::done(sqlite3_stmt* st) {
  if (!session_) {
    sqlite3_finalize(st);
  } else if (st) {
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
  }
}

bool Catalog::schemaHas(const char* type, const std::string& name) {
  sqlite3_stmt* st = nullptr;
  st = prep("SELECT 1 FROM sqlite_schema WHERE type = ?1 AND name = ?2");
  sqlite3_bind_text(st, 1, type, -1, SQLITE_STATIC);
  sqlite3_bind_text(st, 2, name.c_str(), -1, SQLITE_TRANSIENT);
  bool found = sqlite3_step(st) == SQLITE_ROW;
  done(st);
  return found;
}

bool Catalog::tableExists(const std::string& name) {
  return name.rfind("TESSEL$", 0) != 0 && (schemaHas("table", name) || schemaHas("view", name));
}

bool Catalog::viewExists(const std::string& name) { return schemaHas("view", name); }

bool Catalog::sequenceExists(const std::string& name) {
  return session_ && session_->sequenceExists(name);
}

std::string Catalog::objectType(const std::string& name) {
  if (schemaHas("table", name)) return "TABLE";
  if (schemaHas("view", name)) return "VIEW";
  if (schemaHas("index", name)) return "INDEX";
  if (sequenceExists(name)) return "SEQUENCE";
  sqlite3_stmt* st = nullptr;
  st = prep("SELECT TYPE FROM \"TESSEL$OBJECTS\" WHERE NAME = ?1 AND TYPE <> 'PACKAGE BODY'"
                          " ORDER BY TYPE");
  sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
  std::string type;
  if (sqlite3_step(st) == SQLITE_ROW) type = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
  done(st);
  return type;
}

bool Catalog::indexExists(const std::string& name) { return schemaHas("index", name); }

std::string Catalog::objectTypeOf(const std::string& name, const std::string& type) {
  sqlite3_stmt* st = nullptr;
  st = prep("SELECT 1 FROM \"TESSEL$OBJECTS\" WHERE NAME = ?1 AND TYPE = ?2");
  sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(st, 2, type.c_str(), -1, SQLITE_TRANSIENT);
  bool found = sqlite3_step(st) == SQLITE_ROW;
  done(st);
  return found ? type : std::string();
}

std::vector<std::string> Catalog::sqliteTriggers(const std::string& name) {
  std::vector<std::string> out;
  sqlite3_stmt* st = nullptr;
  st = prep("SELECT name FROM sqlite_schema WHERE type = 'trigger' AND (name = ?1 OR name GLOB ?1 || '$[0-9]')");
  sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
  while (sqlite3_step(st) == SQLITE_ROW) out.push_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
  done(st);
  return out;
}

std::vector<ColumnInfo> Catalog::columns(const std::string& table) {
  auto cached = columns_.find(table);
  if (cached != columns_.end()) return cached->second;
  std::vector<ColumnInfo>& out = columns_[table];
  sqlite3_stmt* st = nullptr;
  st = prep("SELECT name, type, \"notnull\" FROM pragma_table_info(?1) ORDER BY cid");
  sqlite3_bind_text(st, 1, table.c_str(), -1, SQLITE_TRANSIENT);
  while (sqlite3_step(st) == SQLITE_ROW) {
    ColumnInfo c;
    c.name = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    c.type = parseDeclType(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
    c.notNull = sqlite3_column_int(st, 2) != 0;
    out.push_back(c);
  }
  done(st);
  bool untyped = std::any_of(out.begin(), out.end(), [](const ColumnInfo& c) { return c.type.code == 0; });
  if (untyped && viewExists(table)) {
    // types of a view's columns as described when it was created
    st = prep("SELECT COLTYPES FROM \"TESSEL$VIEWS\" WHERE NAME = ?1");
    sqlite3_bind_text(st, 1, table.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(st) == SQLITE_ROW) {
      std::string types = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
      size_t b = 0;
      for (auto& c : out) {
        size_t e = types.find('\t', b);
        if (c.type.code == 0) c.type = parseDeclType(types.substr(b, e == std::string::npos ? e : e - b));
        if (e == std::string::npos) break;
        b = e + 1;
      }
    }
    done(st);
  }
  return out;
}

int64_t Catalog::objectNumber(const std::string& table) {
  sqlite3_stmt* st = nullptr;
  st = prep("SELECT OBJ FROM \"TESSEL$OBJECTS\" WHERE NAME = ?1 AND TYPE = 'TABLE'");
  sqlite3_bind_text(st, 1, table.c_str(), -1, SQLITE_TRANSIENT);
  int64_t n = sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int64(st, 0) : 0;
  done(st);
  return n;
}

namespace {
// Byte offsets of the "(" of every subquery that must give a single value. Iterative, so any
// tree the parser accepted is walked without deep recursion.
void scalarSubqueries(const sql::Node* root, const sql::Node*, std::set<size_t>& out) {
  std::vector<std::pair<const sql::Node*, const sql::Node*>> todo{{root, nullptr}};
  while (!todo.empty()) {
    auto [n, parent] = todo.back();
    todo.pop_back();
    if (!n) continue;
    if (n->kind == sql::N::Subquery) {
      bool listAssign = parent && parent->kind == sql::N::Assign && parent->kid(0) && parent->kid(0)->kind == sql::N::List;
      bool set = parent && (parent->kind == sql::N::In || listAssign ||
                            (parent->kind == sql::N::Compare && parent->has(sql::kAny | sql::kAll)));
      if (!set) out.insert(n->pos);
    }
    for (const sql::Node* k : n->kids) todo.emplace_back(k, n);
  }
}

// Subqueries to write out as common table expressions, by the offset of their SELECT: every
// table subquery inside another one, and when the nesting goes deeper than SQLite's parser
// follows, every subquery below the first levels. A statement with a WITH of its own keeps its
// shape.
// Comparisons with ANY / SOME / ALL, by the byte offset of their left operand.
void quantifiedComparisons(const sql::Node* root, std::map<size_t, tx::Quantified>& out) {
  std::vector<const sql::Node*> todo{root};
  while (!todo.empty()) {
    const sql::Node* n = todo.back();
    todo.pop_back();
    if (!n) continue;
    if (n->kind == sql::N::Compare && n->has(sql::kAny | sql::kAll) && n->kids.size() == 2 && n->kids[0] &&
        n->kids[0]->kind != sql::N::Row && n->kids[1]) {
      tx::Quantified q;
      q.op = n->text;
      q.all = n->has(sql::kAll);
      q.left = {n->kids[0]->pos, n->kids[0]->end};
      const sql::Node* r = n->kids[1];
      if (r->kind == sql::N::Subquery) q.values.emplace_back(r->pos, r->end - 1);
      else
        for (const sql::Node* k : r->kids) q.values.emplace_back(k->pos, k->end);
      q.subquery = r->kind == sql::N::Subquery;
      q.end = n->end;
      out.emplace(n->pos, q);
    }
    for (const sql::Node* k : n->kids) todo.push_back(k);
  }
}

void deepSubqueries(const sql::Node* root, std::set<size_t>& hoist, std::set<size_t>& derived) {
  const sql::Node* top = root && root->kind == sql::N::Query ? root : nullptr;
  if (top && top->kid(sql::slot::With)) return;
  struct Item { const sql::Node* n; int level; };
  std::vector<Item> todo{{root, 0}};
  std::vector<std::pair<const sql::Node*, int>> subqueries;
  int deepest = 0;
  while (!todo.empty()) {
    auto [n, level] = todo.back();
    todo.pop_back();
    if (!n) continue;
    bool sub = n->kind == sql::N::Derived || n->kind == sql::N::Subquery || n->kind == sql::N::Exists;
    int inner = sub ? level + 1 : level;
    if (sub && n->kid(0)) {
      subqueries.emplace_back(n, inner);
      deepest = std::max(deepest, inner);
      if (n->kind == sql::N::Derived) derived.insert(n->kid(0)->pos);
    }
    for (const sql::Node* k : n->kids) todo.push_back({k, inner});
  }
  for (auto [n, level] : subqueries) {
    bool nestedTable = n->kind == sql::N::Derived && level >= 2;
    if (nestedTable || (deepest > 6 && level >= 3)) hoist.insert(n->kid(0)->pos);
  }
}

// AND and OR runs of more conditions than SQLite nests, by their first byte: the helper that
// takes them and the byte ranges of the conditions.
void longConditions(const sql::Node* root,
                    std::map<size_t, std::pair<std::string, std::vector<std::pair<size_t, size_t>>>>& out) {
  std::vector<const sql::Node*> todo{root};
  while (!todo.empty()) {
    const sql::Node* n = todo.back();
    todo.pop_back();
    if (!n) continue;
    if ((n->kind == sql::N::And || n->kind == sql::N::Or) && n->kids.size() > 200 && !out.count(n->pos)) {
      auto& entry = out[n->pos];
      entry.first = n->kind == sql::N::And ? "ora_and" : "ora_or";
      for (const sql::Node* k : n->kids) entry.second.emplace_back(k->pos, k->end);
    }
    for (const sql::Node* k : n->kids) todo.push_back(k);
  }
}

// Errors of a DDL statement that parsed: they come from the objects it names, not its text.
bool semanticDdlError(int code) {
  static const std::set<int> codes = {942,  955,  957,  1031, 1418, 1430, 1439, 1440, 1441,  1442,
                                      1451, 1758, 1917, 1918, 1920, 1922, 1940, 2260, 2261,  2289,
                                      2296, 2298, 2443, 4043, 4080, 4081, 12983, 12991};
  return codes.count(code) > 0;
}
} // namespace

Translation translate(const std::string& text, Catalog& cat, bool share, bool deferDdlErrors) {
  if (auto nul = text.find('\0'); nul != std::string::npos) throw OraError(911).at(static_cast<int>(nul));
  Translation out;
  auto deferred = [&](const Translation& partial) {
    Translation d;
    d.kind = StmtKind::Ddl;
    d.function = partial.function;
    d.verb = partial.verb;
    d.retryText = text;
    return d;
  };
  try {
    if (!share && translatePlsql(text, cat, out)) return out;
  } catch (const OraError& e) {
    if (!deferDdlErrors || out.kind != StmtKind::Ddl || !semanticDdlError(e.code)) throw;
    return deferred(out);
  }
  if (mergeStatement(text, cat, out)) return out;
  if (std::string onTable; viewDml(text, cat, onTable)) {
    // literals stay in the text: the statement's tokens are not those of the one that runs
    Translation t = translate(onTable, cat, false, deferDdlErrors);
    t.unshared = true;
    return t;
  }
  // The statement's syntax, with Oracle's error and the offending token's position; the tree
  // tells which subqueries stand for a single value.
  std::set<size_t> scalars, hoist, derived;
  std::map<size_t, std::pair<std::string, std::vector<std::pair<size_t, size_t>>>> chains;
  std::map<size_t, tx::Quantified> quantified;
  {
    auto toks = sql::lex(text);
    if (sql::parsedKind(toks)) {
      sql::Tree tree;
      sql::Node* root = sql::Parser(text, std::move(toks), tree).statement();
      scalarSubqueries(root, nullptr, scalars);
      deepSubqueries(root, hoist, derived);
      longConditions(root, chains);
      quantifiedComparisons(root, quantified);
    }
  }
  Translator t(text, tokenize(text), cat);
  t.scalarAt = std::move(scalars);
  t.hoistAt = std::move(hoist);
  t.derivedAt = std::move(derived);
  t.bigChains = std::move(chains);
  t.quantAt = std::move(quantified);
  t.share_ = share;
  try {
    return t.run();
  } catch (const OraError& e) {
    if (!deferDdlErrors || t.partial().kind != StmtKind::Ddl || !semanticDdlError(e.code)) throw;
    return deferred(t.partial());
  }
}

void locateError(OraError& e, const std::string& text) {
  static const std::set<int> named = {904, 918, 942, 2289, 4043};
  if (!named.count(e.code)) return;
  size_t open = e.text.rfind('('), close = e.text.rfind(')');
  if (open == std::string::npos || close == std::string::npos || close <= open) return;
  std::string name = e.text.substr(open + 1, close - open - 1);
  if (auto colon = name.rfind(": "); colon != std::string::npos) name = name.substr(colon + 2);
  if (auto dot = name.rfind('.'); dot != std::string::npos) name = name.substr(dot + 1);
  if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = name.substr(1, name.size() - 2);
  if (name.empty()) return;
  try {
    for (const sql::Token& t : sql::lex(text))
      if ((t.kind == sql::Tok::Ident || t.kind == sql::Tok::QIdent) && t.text == name) {
        e.pos = static_cast<int>(t.pos);
        return;
      }
  } catch (const OraError&) {
  }
}

std::string sharingKey(const std::string& text, std::vector<Literal>& literals) {
  literals.clear();
  std::vector<sql::Token> t;
  try {
    t = sql::lex(text);
  } catch (const OraError&) {
    return {};
  }
  t.pop_back(); // the end
  auto word = [&](const char* w) { return !t.empty() && t[0].kind == sql::Tok::Ident && t[0].text == w; };
  bool open = !t.empty() && t[0].kind == sql::Tok::Op && t[0].text == "(";
  if (!(word("SELECT") || word("INSERT") || word("UPDATE") || word("DELETE") || word("WITH") || open)) return {};
  std::string key;
  key.reserve(text.size());
  for (size_t i = 0; i < t.size(); ++i) {
    sql::Token& k = t[i];
    switch (k.kind) {
    case sql::Tok::Str: key += "?s"; literals.push_back({static_cast<int>(i), true, std::move(k.text)}); break;
    case sql::Tok::Num: key += "?n"; literals.push_back({static_cast<int>(i), false, std::move(k.text)}); break;
    case sql::Tok::QIdent: key += '"'; key += k.text; key += '"'; break;
    default: key += k.text; break;
    }
    key += '\x1f';
  }
  return key;
}

} // namespace ora

namespace ora {

ColType resultType(sqlite3_stmt* st, int i, const Translation& t) {
  ColType ty;
  if (const char* decl = sqlite3_column_decltype(st, i)) ty = parseDeclType(decl);
  if (ty.code == 0) {
    auto it = t.inferred.find(sqlite3_column_name(st, i));
    if (it != t.inferred.end()) ty = it->second;
    else { ty.code = kVarchar2; ty.size = 4000; }
  }
  return ty;
}

} // namespace ora
