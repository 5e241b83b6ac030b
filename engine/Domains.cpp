// Domains are kept as their written pieces (type, default, check, display and order expressions);
// a column declared with one is written out as a plain column with those pieces, and the
// association recorded for the dictionary, DOMAIN_DISPLAY / DOMAIN_ORDER and DROP DOMAIN.
#include "Domains.h"
#include "OraError.h"
#include "SqlLexer.h"
#include "SqlText.h"
#include "SqlTranslate.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <functional>
#include <set>
#include <sqlite3.h>

namespace ora {

namespace {

using sql::Tok;
using sql::Token;

struct Toks {
  const std::string& src;
  std::vector<Token> t;
  explicit Toks(const std::string& s) : src(s), t(sql::lex(s)) {}
  Toks(const std::string& s, std::vector<Token> lexed) : src(s), t(std::move(lexed)) {}
  const Token& at(size_t i) const { return t[std::min(i, t.size() - 1)]; }
  bool word(size_t i, const char* w) const { return at(i).kind == Tok::Ident && at(i).text == w; }
  bool op(size_t i, const char* o) const { return at(i).kind == Tok::Op && at(i).text == o; }
  bool name(size_t i) const { return at(i).kind == Tok::Ident || at(i).kind == Tok::QIdent; }
  bool end(size_t i) const { return at(i).kind == Tok::End || (op(i, ";") && at(i + 1).kind == Tok::End); }
  size_t close(size_t i) const {
    int depth = 0;
    for (; i < t.size() && t[i].kind != Tok::End; ++i) {
      if (op(i, "(")) ++depth;
      if (op(i, ")") && --depth == 0) return i;
    }
    throw OraError(907);
  }
  // the first token from i at this level that is one of `stops`, or the end
  size_t until(size_t i, const std::set<std::string>& stops) const {
    while (!end(i) && !op(i, ")") && !op(i, ",") && !(at(i).kind == Tok::Ident && stops.count(at(i).text))) {
      if (op(i, "(")) i = close(i);
      ++i;
    }
    return i;
  }
  std::string text(size_t b, size_t e) const { return b >= e ? std::string() : src.substr(at(b).pos, at(e - 1).end - at(b).pos); }
  // [schema .] name at i: the name, and i moved past it
  std::string object(size_t& i) const {
    if (!name(i)) throw OraError(903).at(static_cast<int>(at(i).pos));
    if (op(i + 1, ".") && name(i + 2)) i += 2;
    return at(i++).text;
  }
};

struct Domain {
  std::string name, type, dflt, check, checkName, display, order;
  bool notNull = false;
};

void bindAll(sqlite3_stmt* st, const std::vector<std::string>& args) {
  for (size_t k = 0; k < args.size(); ++k) sqlite3_bind_text(st, static_cast<int>(k + 1), args[k].c_str(), -1, SQLITE_TRANSIENT);
}

void rows(sqlite3* db, const char* sql, const std::vector<std::string>& args, const std::function<void(sqlite3_stmt*)>& each) {
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK) {
    sqlite3_finalize(st);
    return; // a database made before domains: none are recorded
  }
  bindAll(st, args);
  while (sqlite3_step(st) == SQLITE_ROW) each(st);
  sqlite3_finalize(st);
}

std::string colText(sqlite3_stmt* st, int i) {
  const unsigned char* p = sqlite3_column_text(st, i);
  return p ? reinterpret_cast<const char*>(p) : std::string();
}

bool findDomain(sqlite3* db, const std::string& name, Domain& d) {
  bool found = false;
  rows(db, "SELECT NAME, DATA_TYPE, DEFAULT_TEXT, NOT_NULL, CHECK_TEXT, CHECK_NAME, DISPLAY_TEXT, ORDER_TEXT"
           " FROM \"TESSEL$DOMAINS\" WHERE NAME = ?1",
       {name}, [&](sqlite3_stmt* st) {
         found = true;
         d.name = colText(st, 0), d.type = colText(st, 1), d.dflt = colText(st, 2);
         d.notNull = sqlite3_column_int(st, 3) != 0;
         d.check = colText(st, 4), d.checkName = colText(st, 5), d.display = colText(st, 6), d.order = colText(st, 7);
       });
  return found;
}

// The domain's expression with the domain's name standing for `value`.
std::string withValue(const std::string& expr, const std::string& domain, const std::string& value) {
  Toks e(expr);
  std::string out;
  size_t from = 0;
  for (size_t i = 0; i + 1 < e.t.size(); ++i)
    if (e.name(i) && e.at(i).text == domain && !e.op(i + 1, "(") && !(i > 0 && e.op(i - 1, "."))) {
      out += expr.substr(from, e.at(i).pos - from) + value;
      from = e.at(i).end;
    }
  return out + expr.substr(from);
}

// ANNOTATIONS ( [ADD|DROP|REPLACE] [IF [NOT] EXISTS] name ['value'], ... ) at i: the statements
// that record them for the object; i moved past the clause.
void annotations(const Toks& l, size_t& i, const std::string& object, const std::string& type,
                 const std::string& column, std::vector<std::string>& out) {
  size_t e = l.close(i + 1);
  size_t k = i + 2;
  std::string key = quoteString(object) + ", " + quoteString(type) + ", " + quoteString(column);
  while (k < e) {
    bool drop = l.word(k, "DROP");
    if (drop || l.word(k, "ADD") || l.word(k, "REPLACE")) ++k;
    if (l.word(k, "IF")) k += l.word(k + 1, "NOT") ? 3 : 2;
    if (!l.name(k)) throw OraError(922).at(static_cast<int>(l.at(k).pos));
    std::string name = l.at(k++).text, value;
    if (l.at(k).kind == Tok::Str) value = l.at(k++).text;
    if (drop)
      out.push_back("DELETE FROM \"TESSEL$ANNOTATIONS\" WHERE (OBJECT_NAME, OBJECT_TYPE, COLUMN_NAME) = (" + key +
                    ") AND ANNOTATION_NAME = " + quoteString(name));
    else
      out.push_back("INSERT OR REPLACE INTO \"TESSEL$ANNOTATIONS\" VALUES (" + key + ", " + quoteString(name) + ", " +
                    (l.at(k - 1).kind == Tok::Str ? quoteString(value) : std::string("NULL")) + ")");
    if (l.op(k, ",")) ++k;
    else if (k != e) throw OraError(907).at(static_cast<int>(l.at(k).pos));
  }
  i = e + 1;
}

Translation ddl(const char* verb) {
  Translation tr;
  tr.kind = StmtKind::Ddl;
  tr.verb = verb;
  return tr;
}

bool createDomain(const Toks& l, Catalog& cat, Translation& out) {
  size_t i = 2;
  bool ifNotExists = l.word(i, "IF") && l.word(i + 1, "NOT") && l.word(i + 2, "EXISTS");
  if (ifNotExists) i += 3;
  Domain d;
  d.name = l.object(i);
  if (!l.word(i, "AS")) throw OraError(905).at(static_cast<int>(l.at(i).pos));
  static const std::set<std::string> clauses = {"DEFAULT", "CONSTRAINT", "NOT",   "NULL",        "CHECK",
                                                "DISPLAY", "ORDER",      "ANNOTATIONS", "COLLATE"};
  size_t b = ++i;
  i = l.until(i, clauses);
  if (i == b) throw OraError(902).at(static_cast<int>(l.at(i).pos));
  d.type = l.text(b, i);
  std::vector<std::string> notes;
  std::string pendingName;
  while (!l.end(i)) {
    if (l.word(i, "DEFAULT")) {
      if (l.word(i + 1, "ON") && l.word(i + 2, "NULL")) i += 2;
      size_t s = ++i;
      i = l.until(i, clauses);
      d.dflt = l.text(s, i);
    } else if (l.word(i, "CONSTRAINT")) {
      pendingName = l.at(i + 1).text;
      i += 2;
    } else if (l.word(i, "NOT") && l.word(i + 1, "NULL")) {
      d.notNull = true, i += 2, pendingName.clear();
    } else if (l.word(i, "NULL")) {
      ++i;
    } else if (l.word(i, "CHECK") && l.op(i + 1, "(")) {
      size_t e = l.close(i + 1);
      d.check = l.text(i + 2, e);
      d.checkName = pendingName;
      pendingName.clear();
      i = e + 1;
    } else if (l.word(i, "DISPLAY") || l.word(i, "ORDER")) {
      bool display = l.word(i, "DISPLAY");
      size_t s = ++i;
      i = l.until(i, {"ORDER", "ANNOTATIONS"});
      (display ? d.display : d.order) = l.text(s, i);
    } else if (l.word(i, "ANNOTATIONS") && l.op(i + 1, "(")) {
      annotations(l, i, d.name, "DOMAIN", "", notes);
    } else if (l.word(i, "COLLATE") || l.word(i, "ENABLE") || l.word(i, "DEFERRABLE") || l.word(i, "INITIALLY")) {
      i += l.word(i, "ENABLE") ? 1 : 2;
    } else {
      throw OraError(922).at(static_cast<int>(l.at(i).pos));
    }
  }
  // the pieces must make a column and expressions on it: the translator says what is wrong
  try {
    std::string column = "V " + d.type + (d.dflt.empty() ? "" : " DEFAULT " + d.dflt) +
                         (d.check.empty() ? "" : " CHECK (" + withValue(d.check, d.name, "V") + ")");
    translate("CREATE TABLE \"DOMAIN$PROBE\" (" + column + ")", cat, false, false);
    std::string from = " FROM (SELECT CAST(NULL AS " + d.type + ") V FROM DUAL)";
    auto compiles = [&](const std::string& query) {
      Translation t = translate(query, cat, false, false);
      sqlite3_stmt* st = nullptr;
      int rc = sqlite3_prepare_v2(cat.db(), t.sql.c_str(), -1, &st, nullptr);
      std::string msg = rc == SQLITE_OK ? std::string() : sqlite3_errmsg(cat.db());
      sqlite3_finalize(st);
      if (rc != SQLITE_OK) throw fromSqlite(rc, msg, "SELECT");
    };
    for (const std::string* e : {&d.display, &d.order})
      if (!e->empty()) compiles("SELECT " + withValue(*e, d.name, "V") + from);
    if (!d.check.empty()) compiles("SELECT 1" + from + " WHERE " + withValue(d.check, d.name, "V"));
  } catch (OraError& e) {
    e.pos = -1;
    throw;
  }
  sqlite3* db = cat.db();
  out = ddl("CREATE");
  Domain was;
  if (findDomain(db, d.name, was) || cat.tableExists(d.name)) {
    if (ifNotExists) return true;
    throw OraError(955);
  }
  if (!d.check.empty() && d.checkName.empty()) {
    int n = 0;
    rows(db, "SELECT COUNT(*) FROM \"TESSEL$DOMAINS\"", {}, [&](sqlite3_stmt* st) { n = sqlite3_column_int(st, 0); });
    char buf[32];
    std::snprintf(buf, sizeof buf, "SYS_DOMAIN_C%05d", n + 1);
    d.checkName = buf;
  }
  auto opt = [](const std::string& s) { return s.empty() ? std::string("NULL") : quoteString(s); };
  out.ddl.push_back("INSERT INTO \"TESSEL$DOMAINS\" VALUES (" + quoteString(d.name) + ", " + quoteString(d.type) + ", " +
                    opt(d.dflt) + ", " + (d.notNull ? "1" : "0") + ", " + opt(d.check) + ", " + opt(d.checkName) + ", " +
                    opt(d.display) + ", " + opt(d.order) + ")");
  out.ddl.insert(out.ddl.end(), notes.begin(), notes.end());
  return true;
}

bool dropDomain(const Toks& l, Catalog& cat, Translation& out) {
  size_t i = 2;
  bool ifExists = l.word(i, "IF") && l.word(i + 1, "EXISTS");
  if (ifExists) i += 2;
  std::string name = l.object(i);
  bool force = l.word(i, "FORCE");
  if (force) ++i;
  if (force && l.word(i, "PRESERVE")) ++i;
  if (!l.end(i)) throw OraError(933).at(static_cast<int>(l.at(i).pos));
  out = ddl("DROP");
  sqlite3* db = cat.db();
  Domain d;
  if (!findDomain(db, name, d)) {
    if (ifExists) return true;
    throw OraError(11504);
  }
  bool used = false;
  rows(db, "SELECT 1 FROM \"TESSEL$DOMAIN_COLS\" c JOIN sqlite_schema s ON s.name = c.TABLE_NAME WHERE c.DOMAIN_NAME = ?1",
       {name}, [&](sqlite3_stmt*) { used = true; });
  if (used && !force) throw OraError(11502);
  // FORCE leaves the columns with the type, default and constraints they were given
  out.ddl.push_back("DELETE FROM \"TESSEL$DOMAIN_COLS\" WHERE DOMAIN_NAME = " + quoteString(name));
  out.ddl.push_back("DELETE FROM \"TESSEL$ANNOTATIONS\" WHERE OBJECT_TYPE = 'DOMAIN' AND OBJECT_NAME = " + quoteString(name));
  out.ddl.push_back("DELETE FROM \"TESSEL$DOMAINS\" WHERE NAME = " + quoteString(name));
  return true;
}

// ALTER DOMAIN d {ADD | MODIFY} {DISPLAY | ORDER} expr, DROP {DISPLAY | ORDER}, ANNOTATIONS (...)
bool alterDomain(const Toks& l, Catalog& cat, Translation& out) {
  size_t i = 2;
  bool ifExists = l.word(i, "IF") && l.word(i + 1, "EXISTS");
  if (ifExists) i += 2;
  std::string name = l.object(i);
  out = ddl("ALTER");
  Domain d;
  bool known = findDomain(cat.db(), name, d);
  if (l.word(i, "ANNOTATIONS") && l.op(i + 1, "(")) {
    annotations(l, i, name, "DOMAIN", "", out.ddl);
  } else if ((l.word(i, "ADD") || l.word(i, "MODIFY") || l.word(i, "DROP")) && (l.word(i + 1, "DISPLAY") || l.word(i + 1, "ORDER"))) {
    std::string column = l.word(i + 1, "DISPLAY") ? "DISPLAY_TEXT" : "ORDER_TEXT", value = "NULL";
    bool drop = l.word(i, "DROP");
    i += 2;
    if (!drop) {
      size_t s = i;
      while (!l.end(i)) i = l.op(i, "(") ? l.close(i) + 1 : i + 1;
      if (s == i) throw OraError(936).at(static_cast<int>(l.at(i).pos));
      value = quoteString(l.text(s, i));
    }
    out.ddl.push_back("UPDATE \"TESSEL$DOMAINS\" SET " + column + " = " + value + " WHERE NAME = " + quoteString(name));
  } else {
    throw OraError(922).at(static_cast<int>(l.at(i).pos));
  }
  if (!l.end(i)) throw OraError(933).at(static_cast<int>(l.at(i).pos));
  if (!known) {
    out.ddl.clear();
    if (!ifExists) throw OraError(11504);
  }
  return true;
}

// ALTER {TABLE | VIEW | INDEX} x ANNOTATIONS (...), ALTER TABLE t MODIFY [(] c ANNOTATIONS (...) [)]
bool alterAnnotations(const Toks& l, Catalog& cat, Translation& out) {
  std::string type = l.at(1).text;
  size_t i = 2;
  std::string name = l.object(i), column;
  bool paren = false;
  if (type == "TABLE" && l.word(i, "MODIFY")) {
    paren = l.op(i + 1, "(");
    size_t c = i + 1 + (paren ? 1 : 0);
    if (!l.name(c) || !l.word(c + 1, "ANNOTATIONS")) return false;
    column = l.at(c).text;
    i = c + 1;
  }
  if (!l.word(i, "ANNOTATIONS") || !l.op(i + 1, "(")) return false;
  bool exists = false;
  const char* kind = type == "INDEX" ? "index" : type == "VIEW" ? "view" : "table";
  rows(cat.db(), "SELECT 1 FROM sqlite_schema WHERE type = ?1 AND name = ?2", {kind, name},
       [&](sqlite3_stmt*) { exists = true; });
  if (!exists) throw OraError(type == "INDEX" ? 1418 : 942);
  if (!column.empty()) {
    bool has = false;
    rows(cat.db(), "SELECT 1 FROM pragma_table_info(?1) WHERE name = ?2", {name, column}, [&](sqlite3_stmt*) { has = true; });
    if (!has) throw OraError(904, column);
  }
  out = ddl("ALTER");
  annotations(l, i, name, type, column, out.ddl);
  if (paren && l.op(i, ")")) ++i;
  if (!l.end(i)) throw OraError(933).at(static_cast<int>(l.at(i).pos));
  return true;
}

struct Edit {
  size_t from, to;
  std::string with;
};

std::string applied(const std::string& text, std::vector<Edit> edits) {
  std::sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) { return a.from > b.from; });
  std::string out = text;
  for (auto& e : edits) out.replace(e.from, e.to - e.from, e.with);
  return out;
}

bool anyDomains(sqlite3* db) {
  bool any = false;
  rows(db, "SELECT 1 FROM \"TESSEL$DOMAINS\" LIMIT 1", {}, [&](sqlite3_stmt*) { any = true; });
  return any;
}

// The column definitions in [first, close) of CREATE TABLE or ALTER TABLE ADD: domains written
// out, annotations recorded.
void tableColumns(const Toks& l, sqlite3* db, const std::string& table, size_t first, size_t close,
                  std::vector<Edit>& edits, std::vector<std::string>& records) {
  static const std::set<std::string> outOfLine = {"CONSTRAINT", "PRIMARY", "UNIQUE", "CHECK", "FOREIGN", "SUPPLEMENTAL", "PERIOD"};
  size_t s = first;
  while (s < close) {
    size_t e = s;
    while (e < close && !l.op(e, ",")) e = l.op(e, "(") ? l.close(e) + 1 : e + 1;
    if (l.name(s) && !(l.at(s).kind == Tok::Ident && outOfLine.count(l.at(s).text))) {
      std::string column = l.at(s).text;
      Domain d;
      bool used = false, typed = true;
      size_t from = 0, to = 0;
      if (l.word(s + 1, "DOMAIN")) {
        size_t k = s + 2;
        used = findDomain(db, l.object(k), d);
        if (!used) throw OraError(11504).at(static_cast<int>(l.at(s + 2).pos));
        from = s + 1, to = k, typed = false;
      } else if (l.at(s + 1).kind == Tok::Ident && !l.op(s + 2, "(") && !l.op(s + 2, ".") && findDomain(db, l.at(s + 1).text, d)) {
        used = true, from = s + 1, to = s + 2, typed = false;
      } else {
        for (size_t k = s + 2; k < e; ++k)
          if (l.word(k, "DOMAIN") && l.name(k + 1)) {
            size_t m = k + 1;
            used = findDomain(db, l.object(m), d);
            if (!used) throw OraError(11504).at(static_cast<int>(l.at(k + 1).pos));
            from = k, to = m;
            break;
          }
      }
      bool hasDefault = false, hasNotNull = false;
      for (size_t k = s + 1; k < e; ++k) {
        if (l.op(k, "(")) k = l.close(k);
        hasDefault = hasDefault || l.word(k, "DEFAULT");
        hasNotNull = hasNotNull || (l.word(k, "NOT") && l.word(k + 1, "NULL"));
        if (l.word(k, "ANNOTATIONS") && l.op(k + 1, "(")) {
          size_t m = k;
          annotations(l, m, table, "TABLE", column, records);
          edits.push_back({l.at(k).pos, l.at(m - 1).end, ""});
          k = m - 1;
        }
      }
      if (used) {
        std::string with = typed ? std::string() : d.type;
        if (!d.dflt.empty() && !hasDefault) with += " DEFAULT " + d.dflt;
        edits.push_back({l.at(from).pos, l.at(to - 1).end, with});
        std::string tail, check;
        if (d.notNull && !hasNotNull) tail += " NOT NULL";
        if (!d.check.empty()) {
          check = withValue(d.check, d.name, quoteIdent(column));
          tail += " CHECK (" + check + ")";
        }
        if (!tail.empty()) edits.push_back({l.at(e).pos, l.at(e).pos, tail});
        records.push_back("INSERT OR REPLACE INTO \"TESSEL$DOMAIN_COLS\" VALUES (" + quoteString(table) + ", " +
                          quoteString(column) + ", " + quoteString(d.name) + ", " + quoteString(check) + ")");
      }
    }
    s = e + 1;
  }
}

// Whether tokens [b, e) are a whole item of a select list.
bool selectItem(const Toks& l, size_t b, size_t e) {
  if (!(l.op(b - 1, ",") || l.word(b - 1, "SELECT") || l.word(b - 1, "DISTINCT")) || !(l.op(e, ",") || l.word(e, "FROM")))
    return false;
  int depth = 0;
  for (size_t m = b; m-- > 0;) {
    if (l.op(m, ")")) ++depth;
    else if (l.op(m, "(") && --depth < 0) return false;
    else if (depth == 0 && (l.word(m, "FROM") || l.word(m, "WHERE") || l.word(m, "BY"))) return false;
    else if (depth == 0 && l.word(m, "SELECT")) return true;
  }
  return false;
}

// DOMAIN_DISPLAY (c) and DOMAIN_ORDER (c): the domain's expression on the column's value.
void domainCalls(const Toks& l, sqlite3* db, std::vector<Edit>& edits) {
  std::set<std::string> names;
  for (auto& tk : l.t)
    if (tk.kind == Tok::Ident || tk.kind == Tok::QIdent) names.insert(tk.text);
  for (size_t i = 0; i + 3 < l.t.size(); ++i) {
    if (!(l.word(i, "DOMAIN_DISPLAY") || l.word(i, "DOMAIN_ORDER")) || !l.op(i + 1, "(")) continue;
    size_t k = i + 2;
    while (l.name(k) && l.op(k + 1, ".")) k += 2;
    if (!l.name(k) || !l.op(k + 1, ")")) continue;
    std::string column = l.at(k).text, expr;
    bool display = l.word(i, "DOMAIN_DISPLAY");
    rows(db, "SELECT c.TABLE_NAME, d.DISPLAY_TEXT, d.ORDER_TEXT, d.NAME FROM \"TESSEL$DOMAIN_COLS\" c"
             " JOIN \"TESSEL$DOMAINS\" d ON d.NAME = c.DOMAIN_NAME WHERE c.COLUMN_NAME = ?1 ORDER BY 1",
         {column}, [&](sqlite3_stmt* st) {
           if (!expr.empty() || !names.count(colText(st, 0))) return;
           std::string e = colText(st, display ? 1 : 2);
           if (!e.empty()) expr = withValue(e, colText(st, 3), l.text(i + 2, k + 1));
         });
    std::string with = expr.empty() ? std::string("NULL") : "(" + expr + ")";
    if (selectItem(l, i, k + 2)) {
      // the column keeps the heading of the call as written
      std::string heading = l.at(i).text + "(";
      for (size_t m = i + 2; m <= k; ++m) heading += l.at(m).text;
      with += " AS " + quoteIdent(heading + ")");
    }
    edits.push_back({l.at(i).pos, l.at(k + 1).end, with});
    i = k + 1;
  }
}

bool mentions(const std::string& text, const char* word) { return containsWord(text, word); }

// Whether the text's first words are `words` (comments and case aside).
bool startsWith(const std::string& text, std::initializer_list<const char*> words) {
  size_t i = 0;
  for (const char* w : words) {
    for (;;) {
      while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
      if (text.compare(i, 2, "--") == 0) i = text.find('\n', i);
      else if (text.compare(i, 2, "/*") == 0) i = text.find("*/", i) == std::string::npos ? std::string::npos : text.find("*/", i) + 2;
      else break;
      if (i == std::string::npos) return false;
    }
    size_t e = i;
    while (e < text.size() && (std::isalnum(static_cast<unsigned char>(text[e])) || text[e] == '_')) ++e;
    std::string got = text.substr(i, e - i);
    for (auto& c : got) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (got != w) return false;
    i = e;
  }
  return true;
}

} // namespace

std::vector<const char*> domainTables() {
  return {"CREATE TABLE IF NOT EXISTS \"TESSEL$DOMAINS\" (NAME TEXT PRIMARY KEY, DATA_TYPE TEXT NOT NULL, DEFAULT_TEXT TEXT,"
          " NOT_NULL INTEGER NOT NULL, CHECK_TEXT TEXT, CHECK_NAME TEXT, DISPLAY_TEXT TEXT, ORDER_TEXT TEXT)",
          "CREATE TABLE IF NOT EXISTS \"TESSEL$DOMAIN_COLS\" (TABLE_NAME TEXT NOT NULL, COLUMN_NAME TEXT NOT NULL,"
          " DOMAIN_NAME TEXT NOT NULL, CHECK_TEXT TEXT, PRIMARY KEY (TABLE_NAME, COLUMN_NAME))",
          "CREATE TABLE IF NOT EXISTS \"TESSEL$ANNOTATIONS\" (OBJECT_NAME TEXT NOT NULL, OBJECT_TYPE TEXT NOT NULL,"
          " COLUMN_NAME TEXT NOT NULL, ANNOTATION_NAME TEXT NOT NULL, ANNOTATION_VALUE TEXT,"
          " PRIMARY KEY (OBJECT_NAME, OBJECT_TYPE, COLUMN_NAME, ANNOTATION_NAME))"};
}

bool domainStatement(const std::string& text, Catalog& cat, Translation& out) {
  if (!mentions(text, "DOMAIN") && !mentions(text, "ANNOTATIONS")) return false;
  if (!startsWith(text, {"CREATE", "DOMAIN"}) && !startsWith(text, {"DROP", "DOMAIN"}) && !startsWith(text, {"ALTER", "TABLE"}) &&
      !startsWith(text, {"ALTER", "DOMAIN"}) && !startsWith(text, {"ALTER", "VIEW"}) && !startsWith(text, {"ALTER", "INDEX"}))
    return false;
  Toks l(text);
  if (l.word(0, "CREATE") && l.word(1, "DOMAIN")) return createDomain(l, cat, out);
  if (l.word(0, "DROP") && l.word(1, "DOMAIN")) return dropDomain(l, cat, out);
  if (l.word(0, "ALTER") && (l.word(1, "TABLE") || l.word(1, "VIEW") || l.word(1, "INDEX")))
    return alterAnnotations(l, cat, out);
  if (l.word(0, "ALTER") && l.word(1, "DOMAIN")) return alterDomain(l, cat, out);
  return false;
}

bool domainRewrite(const std::string& text, Catalog& cat, std::string& out, std::vector<std::string>& records,
                   TextEdits& moved) {
  bool calls = mentions(text, "DOMAIN_"), notes = mentions(text, "ANNOTATIONS");
  bool table = startsWith(text, {"CREATE", "TABLE"});
  bool added = startsWith(text, {"ALTER", "TABLE"});
  if (!calls && !notes && !((table || added) && anyDomains(cat.db()))) return false;
  std::vector<Token> lexed;
  try {
    lexed = sql::lex(text);
  } catch (const OraError&) {
    return false; // not SQL these rewritings read: the translator reports it
  }
  Toks l(text, std::move(lexed));
  std::vector<Edit> edits;
  sqlite3* db = cat.db();
  std::string tableName;
  if (table) {
    size_t i = 2;
    bool ifNotExists = l.word(i, "IF") && l.word(i + 1, "NOT") && l.word(i + 2, "EXISTS");
    if (ifNotExists) i += 3;
    std::string name = l.object(i);
    if (ifNotExists && cat.tableExists(name)) return false; // the statement does nothing
    tableName = name;
    if (l.op(i, "(")) {
      records.push_back("DELETE FROM \"TESSEL$DOMAIN_COLS\" WHERE TABLE_NAME = " + quoteString(name));
      records.push_back("DELETE FROM \"TESSEL$ANNOTATIONS\" WHERE OBJECT_TYPE = 'TABLE' AND OBJECT_NAME = " + quoteString(name));
      tableColumns(l, db, name, i + 1, l.close(i), edits, records);
      i = l.close(i) + 1;
    }
    for (; !l.end(i); ++i) {
      if (l.op(i, "(")) i = l.close(i);
      else if (l.word(i, "ANNOTATIONS") && l.op(i + 1, "(")) {
        size_t m = i;
        annotations(l, m, name, "TABLE", "", records);
        edits.push_back({l.at(i).pos, l.at(m - 1).end, ""});
        i = m - 1;
      }
    }
  } else if (l.word(0, "ALTER") && l.word(1, "TABLE")) {
    // ALTER TABLE t ADD (c d, ...) or ADD c d: the added columns as a new table's
    size_t i = 2;
    std::string name = l.object(i);
    if (l.word(i, "ADD") && l.op(i + 1, "(")) tableColumns(l, db, name, i + 2, l.close(i + 1), edits, records);
    else if (l.word(i, "ADD") && l.name(i + 1) && !l.word(i + 1, "CONSTRAINT") && !l.word(i + 1, "PRIMARY") &&
             !l.word(i + 1, "UNIQUE") && !l.word(i + 1, "CHECK") && !l.word(i + 1, "FOREIGN")) {
      size_t e = i + 1;
      while (!l.end(e)) e = l.op(e, "(") ? l.close(e) + 1 : e + 1;
      tableColumns(l, db, name, i + 1, e, edits, records);
    }
  } else if (notes && l.word(0, "CREATE")) {
    // a view's or an index's annotations: after its name
    static const std::set<std::string> lead = {"OR", "REPLACE", "FORCE", "NOFORCE", "UNIQUE", "BITMAP", "EDITIONABLE", "NONEDITIONABLE"};
    size_t i = 1;
    while (i < 5 && l.at(i).kind == Tok::Ident && lead.count(l.at(i).text)) ++i;
    if (l.word(i, "VIEW") || l.word(i, "INDEX")) {
      std::string type = l.at(i).text;
      size_t n = i + 1;
      std::string name = l.object(n);
      records.push_back("DELETE FROM \"TESSEL$ANNOTATIONS\" WHERE OBJECT_TYPE = " + quoteString(type) +
                        " AND OBJECT_NAME = " + quoteString(name));
      for (size_t k = n; !l.end(k); ++k) {
        if (l.word(k, "AS") && type == "VIEW") break;
        if (l.word(k, "ANNOTATIONS") && l.op(k + 1, "(")) {
          size_t m = k;
          annotations(l, m, name, type, "", records);
          edits.push_back({l.at(k).pos, l.at(m - 1).end, ""});
          break;
        }
        if (l.op(k, "(")) k = l.close(k);
      }
    }
  }
  if (calls) domainCalls(l, db, edits);
  // a table made again under a dropped one's name starts with none of its domains and annotations
  bool stale = false;
  if (table && edits.empty())
    rows(db, "SELECT 1 FROM \"TESSEL$DOMAIN_COLS\" WHERE TABLE_NAME = ?1 UNION ALL SELECT 1 FROM \"TESSEL$ANNOTATIONS\""
             " WHERE OBJECT_TYPE = 'TABLE' AND OBJECT_NAME = ?1",
         {tableName}, [&](sqlite3_stmt*) { stale = true; });
  if (edits.empty() && !stale) {
    records.clear();
    return false;
  }
  out = applied(text, edits);
  std::vector<TextEdit> list;
  for (auto& e : edits) list.push_back({e.from, e.to, e.with.size()});
  std::sort(list.begin(), list.end(), [](const TextEdit& a, const TextEdit& b) { return a.from < b.from; });
  moved.push_back(std::move(list));
  return true;
}

bool domainCheckBroken(sqlite3* db, const std::string& user, const std::string& table, const std::string& name,
                       const std::string& condition, std::string& detail) {
  auto squeeze = [](const std::string& s) {
    std::string o;
    for (char c : s)
      if (c != ' ' && c != '\t' && c != '\n' && c != '"') o += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return o;
  };
  rows(db, "SELECT c.CHECK_TEXT, d.CHECK_NAME, d.NAME FROM \"TESSEL$DOMAIN_COLS\" c JOIN \"TESSEL$DOMAINS\" d"
           " ON d.NAME = c.DOMAIN_NAME WHERE c.TABLE_NAME = ?1 AND c.CHECK_TEXT <> ''",
       {table}, [&](sqlite3_stmt* st) {
         if (!detail.empty() || squeeze(colText(st, 0)) != squeeze(condition)) return;
         detail = "check constraint (" + user + "." + name + ") due to domain constraint " + user + "." + colText(st, 1) +
                  " of domain " + user + "." + colText(st, 2) + " violated";
       });
  return !detail.empty();
}

} // namespace ora
