// CREATE TABLE ... AS query and CREATE VIEW: objects whose columns are those a query describes
// once SQLite has prepared it.
#include "DdlImpl.h"
#include "DdlPartition.h"
#include "Dictionary.h"
#include "DictionaryImpl.h"
#include "ObjectTypes.h"
#include "OraError.h"
#include "TranslateImpl.h"

#include <algorithm>
#include <set>
#include <sqlite3.h>

namespace ora::tx {

namespace {
// A query's result columns: their names (given, or the query's own) and described types.
struct QueryShape {
  Translation sel;
  std::vector<std::string> names;
  std::vector<ColType> types;
  std::vector<bool> notNull; // a column selected as it is from one that is NOT NULL
  // ... by a NOT NULL constraint of its own, not only as a primary key's column
  std::vector<bool> ownNotNull;
};

QueryShape describeQuery(const std::string& text, size_t base, Catalog& cat,
                         const std::vector<std::string>& names) {
  QueryShape shape;
  try {
    shape.sel = translate(text, cat);
  } catch (OraError& e) {
    // the query's error is marked in the statement that holds it, `base` bytes on
    if (e.pos < 0) locateError(e, text);
    if (e.pos >= 0) e.pos += static_cast<int>(base);
    throw;
  }
  if (shape.sel.kind != StmtKind::Query) throw OraError(928);
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(cat.db(), shape.sel.sql.c_str(), -1, &st, nullptr);
  if (rc != SQLITE_OK) {
    OraError e = fromSqlite(rc, sqlite3_errmsg(cat.db()), "SELECT");
    sqlite3_finalize(st);
    throw e;
  }
  int n = sqlite3_column_count(st);
  for (int k = 0; k < n; ++k) {
    shape.names.push_back(names.empty() ? sqlite3_column_name(st, k) : "");
    shape.types.push_back(resultType(st, k, shape.sel));
    const char* table = sqlite3_column_table_name(st, k);
    const char* origin = sqlite3_column_origin_name(st, k);
    int notNull = 0;
    if (table && origin)
      sqlite3_table_column_metadata(cat.db(), nullptr, table, origin, nullptr, nullptr, &notNull, nullptr, nullptr);
    shape.notNull.push_back(notNull != 0);
    bool own = false;
    if (notNull)
      for (auto& c : dict::tableConstraints(cat.db(), table))
        own = own || (c.type == "C" && c.columns == std::vector<std::string>{origin} &&
                      c.condition == quoteIdent(origin) + " IS NOT NULL");
    shape.ownNotNull.push_back(own);
  }
  sqlite3_finalize(st);
  for (const ColType& t : shape.types)
    if (t.code == kCursorType) throw OraError(22902); // a nested cursor is no value a table holds
  if (!names.empty()) {
    if (names.size() != shape.names.size()) throw OraError(1730);
    shape.names = names;
  }
  std::set<std::string> seen;
  for (auto& cn : shape.names)
    if (!seen.insert(cn).second) throw OraError(957, cn);
  return shape;
}
} // namespace

// CREATE TABLE name [(columns)] AS query: the query's columns with the types it describes, then
// its rows.
void Translator::createTableAs(const std::string& table, size_t i) {
  std::vector<std::string> names;
  if (is(at(i), "(")) {
    names = nameList(t_, i, size());
    i = matching(i) + 1;
  }
  const size_t props = i; // partitioning, storage: before the AS of the query
  while (i < size() && !(t_[i].depth == 0 && is(t_[i], "AS") && !is(at(i - 1), "STORE"))) ++i;
  size_t base = i + 1 < size() ? t_[i + 1].pos : 0;
  if (names.empty()) requireAliases(i + 1, size());
  QueryShape shape = describeQuery(source(i + 1, size()), base, cat_, names);
  // a name the statement quotes is one the user gave, whatever characters it holds
  std::set<std::string> quoted;
  for (size_t m = i + 1; m < size(); ++m)
    if (t_[m].kind == Token::QIdent) quoted.insert(t_[m].text);
  const Translation& sel = shape.sel;
  tr_.dictionary = sel.dictionary;
  std::string defs, cols, places, convs;
  bool converted = false;
  int longs = 0;
  for (size_t k = 0; k < shape.names.size(); ++k) {
    const std::string& cn = shape.names[k];
    ColType ct = shape.types[k];
    // a computed NUMBER keeps all its digits, as a NUMBER column does
    if (ct.code == kNumber && ct.precision == 0 && !ct.hasScale) ct.textStored = true;
    // an expression needs a name of its own, as in Oracle
    bool plain = !cn.empty() && (quoted.count(cn) || (textBytes(cn) <= 30 && cn.find_first_of("()+-*/|' ,.") == std::string::npos));
    if (!plain) throw OraError(998, cn);
    if ((ct.code == kLong || ct.code == kLongRaw) && !ct.lob) ++longs;
    if ((ct.code == kVarchar2 || ct.code == kChar) && ct.size == 0) throw OraError(1723);
    // NOT NULL comes along with a column the query selects as it is, unless it was only its
    // primary key's
    if (k) {
      defs += ", ";
      cols += ", ";
    }
    defs += quoteIdent(cn) + " " + declTypeText(ct, charset()) + (shape.ownNotNull[k] ? " NOT NULL" : "");
    cols += quoteIdent(cn);
    std::string c = "\"C" + std::to_string(k) + "$\"";
    places += (k ? ", " : "") + c;
    ColumnInfo col;
    col.name = cn;
    col.type = ct;
    bool conv = ct.textStored && !shape.types[k].textStored;
    convs += (k ? ", " : "") + (conv ? convWrap("\"CTAS$\"." + c, col, table) : "\"CTAS$\"." + c);
    converted = converted || conv;
  }
  if (longs) throw OraError(997);
  std::vector<std::pair<std::string, ColType>> described;
  for (size_t k = 0; k < shape.names.size(); ++k) described.emplace_back(shape.names[k], shape.types[k]);
  std::vector<std::string> partitions;
  if (tableProperties(t_, props, i, src_, cat_, table, described, false, partitions) < i)
    throw OraError(922).at(static_cast<int>(t_[tableProperties(t_, props, i, src_, cat_, table, described, false, partitions)].pos));
  tr_.ddl.push_back("CREATE TABLE " + quoteIdent(table) + " (" + defs + ")");
  // the partitions' guard is in place before the rows go in
  for (auto& s : partitions.empty() ? forgetPartitions(table) : partitions) tr_.ddl.push_back(s);
  // the computed numbers go in whole, as decimal text, through the column's conversion
  if (converted)
    tr_.ddl.push_back("WITH \"CTAS$\" (" + places + ") AS (" + sel.sql + ") INSERT INTO " + quoteIdent(table) + " (" +
                      cols + ") SELECT " + convs + " FROM \"CTAS$\"");
  else
    tr_.ddl.push_back("INSERT INTO " + quoteIdent(table) + " (" + cols + ") " + sel.sql);
  tr_.ddl.push_back("INSERT INTO \"TESSEL$OBJECTS\" (NAME, TYPE, CREATED) VALUES (" + quoteString(table) +
                    ", 'TABLE', ora_sysdate())");
}

// The select list of a query at i that names the columns of a table or a view: an expression
// needs a name of its own, as in Oracle, and is marked where it begins.
void Translator::requireAliases(size_t i, size_t qEnd) {
  if (!is(at(i), "SELECT")) return;
  int d = t_[i].depth;
  size_t lb = i + 1;
  if (is(at(lb), "DISTINCT") || is(at(lb), "UNIQUE") || is(at(lb), "ALL")) ++lb;
  size_t fr = lb;
  while (fr < qEnd && !(t_[fr].depth == d && is(t_[fr], "FROM"))) ++fr;
  for (size_t b = lb; b < fr;) {
    size_t ie = b;
    while (ie < fr && !(t_[ie].depth == d && is(t_[ie], ","))) ++ie;
    size_t n = ie - b;
    bool column = (n == 1 && (t_[b].kind == Token::Ident || t_[b].kind == Token::QIdent || is(t_[b], "*"))) ||
                  (n == 3 && is(t_[b + 1], "."));
    bool aliased = n >= 2 && aliasToken(ie - 1) &&
                   (is(t_[ie - 2], "AS") || !(t_[ie - 2].kind == Token::Op && t_[ie - 2].text != ")"));
    if (!column && !aliased) throw OraError(998).at(static_cast<int>(t_[b].pos));
    b = ie < fr ? ie + 1 : ie;
  }
}

// A view that would read itself, directly or through the views it reads: ORA-01731.
void Translator::circularView(const std::string& name, const std::string& text) {
  if (cat_.objectType(name) != "VIEW") return; // nothing reads a view not made yet
  std::vector<std::string> todo{text};
  std::set<std::string> seen;
  while (!todo.empty()) {
    std::string q = todo.back();
    todo.pop_back();
    for (auto& [owner, read] : dict::namesRead(q)) {
      if (!owner.empty() && owner != cat_.user()) continue;
      if (read == name) throw OraError(1731);
      if (!seen.insert(read).second) continue;
      dict::eachRow(cat_.db(), "SELECT TEXT FROM \"TESSEL$VIEWS\" WHERE NAME = " + quoteString(read),
                    [&](sqlite3_stmt* st) { todo.push_back(dict::col(st, 0)); });
    }
  }
}

void Translator::createView(size_t i, bool replace, bool force) {
  tr_.kind = StmtKind::Ddl;
  tr_.function = 10;
  std::string name;
  const size_t nameAt = i;
  i = objectName(i, name);
  std::vector<std::string> names;
  // an object view: OF type [WITH OBJECT IDENTIFIER {DEFAULT | (attributes)}], its rows objects
  // of the type, its columns the type's attributes
  std::string ofType;
  if (is(at(i), "OF")) {
    const Token& n = at(i + 1);
    auto ty = n.kind == Token::Ident || n.kind == Token::QIdent ? objectType(cat_.db(), n.text) : nullptr;
    if (!ty) throw OraError(902).at(static_cast<int>(n.pos));
    ofType = ty->name;
    for (const ObjAttr& a : ty->attrs) names.push_back(a.name);
    i += 2;
    if (is(at(i), "WITH") && is(at(i + 1), "OBJECT") &&
        (is(at(i + 2), "IDENTIFIER") || is(at(i + 2), "ID") || is(at(i + 2), "OID"))) {
      i += 3;
      if (is(at(i), "DEFAULT")) {
        ++i;
      } else {
        if (!is(at(i), "(")) throw OraError(906).at(static_cast<int>(at(i).pos));
        size_t close = i + 1;
        while (close < size() && !is(t_[close], ")")) {
          if (t_[close].kind == Token::Ident && ty->attrIndex(t_[close].text) < 0)
            throw OraError(904, t_[close].text).at(static_cast<int>(t_[close].pos));
          ++close;
        }
        i = close + 1;
      }
    }
  }
  if (ofType.empty() && is(at(i), "(")) {
    names = nameList(t_, i, size());
    while (i < size() && !(t_[i].depth == 0 && is(t_[i], ")"))) ++i;
    ++i;
  }
  expect(i, "AS", 905);
  ++i;
  size_t qEnd = size();
  for (size_t k = i; k < size(); ++k)
    if (t_[k].depth == 0 && is(t_[k], "WITH") && (is(at(k + 1), "READ") || is(at(k + 1), "CHECK"))) {
      qEnd = k;
      break;
    }
  // WITH READ ONLY / WITH CHECK OPTION [CONSTRAINT name]: kept as the view's constraint
  std::string option, optionName;
  if (qEnd < size()) {
    size_t k = qEnd + 1;
    if (is(at(k), "READ") && is(at(k + 1), "ONLY")) option = std::string("O");
    else if (is(at(k), "CHECK") && is(at(k + 1), "OPTION")) option = std::string("V");
    else unexpected(k);
    k += 2;
    if (is(at(k), "CONSTRAINT")) {
      if (!aliasToken(k + 1)) throw OraError(904);
      optionName = at(k + 1).text;
      k += 2;
    }
    if (k < size()) unexpected(k);
  }
  if (names.empty()) requireAliases(i, qEnd);
  std::string text = source(i, qEnd);
  if (replace) circularView(name, text);
  QueryShape shape;
  try {
    InnerQueries inner; // the view's columns are read by other queries
    ViewStars stars;
    shape = describeQuery(text, i < size() ? t_[i].pos : 0, cat_, names);
  } catch (const OraError& e) {
    // FORCE: a query over tables or columns not there yet still makes the view, one that has
    // errors until they are
    static const std::set<int> missing = {904, 918, 942, 980, 4063};
    if (!force || !missing.count(e.code)) throw;
    std::string existing = cat_.objectType(name);
    if (!existing.empty()) {
      if (existing != "VIEW" || !replace) throw OraError(955).at(static_cast<int>(at(nameAt).pos));
      tr_.ddl.push_back("DROP VIEW " + quoteIdent(name));
      for (auto& d : triggerRecordsDropped(name)) tr_.ddl.push_back(d);
    }
    tr_.ddl.push_back("DELETE FROM \"TESSEL$CONSTRAINTS\" WHERE TABLE_NAME = " + quoteString(name));
    tr_.ddl.push_back("CREATE VIEW " + quoteIdent(name) + " AS SELECT * FROM \"TESSEL$NO_TABLE\"");
    tr_.ddl.push_back("INSERT OR REPLACE INTO \"TESSEL$VIEWS\" (NAME, TEXT, COLTYPES) VALUES (" + quoteString(name) +
                      ", " + quoteString(text) + ", '')");
    tr_.ddl.push_back("INSERT OR IGNORE INTO \"TESSEL$OBJECTS\" (NAME, TYPE, CREATED) VALUES (" +
                      quoteString(name) + ", 'VIEW', ora_sysdate())");
    return;
  }
  const Translation& q = shape.sel;
  // Oracle keeps a view's "*" as the columns it stood for: "select *" is kept as
  // select "EMPNO","ENAME",..., so the view compiles again to the same columns
  auto stars = q.stars;
  std::sort(stars.begin(), stars.end(), [](const auto& a, const auto& b) { return a.first.first > b.first.first; });
  for (auto& [range, cols] : stars) {
    auto [b, e] = range;
    if (e > text.size() || b >= e || text[e - 1] != '*' || cols.empty()) continue;
    std::string qualifier = text.substr(b, e - 1 - b); // "e." of "e.*", as written
    std::string list;
    for (auto& c : cols) {
      std::string quoted = "\"";
      for (char ch : c) quoted += ch == '"' ? std::string("\"\"") : std::string(1, ch);
      list += (list.empty() ? "" : ",") + qualifier + quoted + "\"";
    }
    text.replace(b, e - b, list);
  }
  std::string cols, types;
  for (size_t k = 0; k < shape.names.size(); ++k) {
    const std::string& cn = shape.names[k];
    if (textBytes(cn) > 30) throw OraError(972, cn);
    cols += (k ? ", " : "") + quoteIdent(cn);
    types += (k ? "\t" : "") + declTypeText(shape.types[k], Charset::AL32UTF8);
  }
  std::string existing = cat_.objectType(name);
  if (!existing.empty()) {
    if (existing != "VIEW" || !replace) throw OraError(955).at(static_cast<int>(at(nameAt).pos));
    // a view made anew loses its INSTEAD OF triggers, as in Oracle
    tr_.ddl.push_back("DROP VIEW " + quoteIdent(name));
    for (auto& d : triggerRecordsDropped(name)) tr_.ddl.push_back(d);
  }
  tr_.ddl.push_back("DELETE FROM \"TESSEL$CONSTRAINTS\" WHERE TABLE_NAME = " + quoteString(name));
  if (!option.empty()) recordConstraints(tr_, cat_, name, {{optionName, {}}}, {option});
  // the dictionary's tables are the session's own, filled when a statement reads them: a view
  // that reads them is kept as its query, put in place of the view's name where it is used
  if (q.dictionary.empty()) tr_.ddl.push_back("CREATE VIEW " + quoteIdent(name) + " (" + cols + ") AS " + q.sql);
  else tr_.ddl.push_back("CREATE VIEW " + quoteIdent(name) + " AS SELECT * FROM \"TESSEL$NO_TABLE\"");
  tr_.ddl.push_back("INSERT OR REPLACE INTO \"TESSEL$VIEWS\" (NAME, TEXT, COLTYPES) VALUES (" +
                    quoteString(name) + ", " + quoteString(text) + ", " + quoteString(types) + ")");
  tr_.ddl.push_back("INSERT OR IGNORE INTO \"TESSEL$OBJECTS\" (NAME, TYPE, CREATED) VALUES (" +
                    quoteString(name) + ", 'VIEW', ora_sysdate())");
  if (!ofType.empty() || existing == "VIEW") {
    tr_.ddl.push_back("CREATE TABLE IF NOT EXISTS \"TESSEL$OBJECT_TABLES\" (TABLE_NAME TEXT PRIMARY KEY,"
                      " TYPE_NAME TEXT NOT NULL)");
    tr_.ddl.push_back("DELETE FROM \"TESSEL$OBJECT_TABLES\" WHERE TABLE_NAME = " + quoteString(name));
  }
  if (!ofType.empty())
    tr_.ddl.push_back("INSERT INTO \"TESSEL$OBJECT_TABLES\" (TABLE_NAME, TYPE_NAME) VALUES (" + quoteString(name) +
                      ", " + quoteString(ofType) + ")");
}

} // namespace ora::tx
