// The dictionary's shared helpers and the views beyond the schema's own objects: constraints,
// TAB, DICTIONARY, the user list and the database's NLS parameters.
#include "DeferredConstraints.h"
#include "DictionaryImpl.h"
#include "TerritoryFormats.h"
#include "CType.h"
#include "FunctionUtil.h"

#include "OraError.h"
#include "SqlText.h"
#include "TranslateImpl.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <sqlite3.h>

namespace ora::dict {

namespace {

void must(sqlite3* db, int rc) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) throw fromSqlite(rc, sqlite3_errmsg(db), "SELECT");
}

} // namespace

void eachRow(sqlite3* db, const std::string& sql, const std::function<void(sqlite3_stmt*)>& row,
             const std::string& arg, bool tolerant) {
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_finalize(st);
    if (tolerant) return;
    must(db, rc);
  }
  // a row that throws must not leave the statement open: it would keep the schema busy
  std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> held(st, sqlite3_finalize);
  if (!arg.empty() || sqlite3_bind_parameter_count(st) > 0)
    sqlite3_bind_text(st, 1, arg.c_str(), -1, SQLITE_TRANSIENT);
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) row(st);
  std::string msg = sqlite3_errmsg(db);
  held.reset();
  if (rc != SQLITE_DONE && !tolerant) throw fromSqlite(rc, msg, "SELECT");
}

std::string col(sqlite3_stmt* st, int i) {
  const unsigned char* p = sqlite3_column_text(st, i);
  return p ? reinterpret_cast<const char*>(p) : "";
}

Inserter::Inserter(sqlite3* db, const std::string& view, int n, std::string owner)
    : db_(db), owner_(std::move(owner)) {
  int all = n + (owner_.empty() ? 0 : 1);
  std::string sql = "INSERT INTO temp." + quoteIdent(dictionaryTable(view)) + " VALUES (";
  for (int i = 1; i <= all; ++i) sql += (i > 1 ? ", ?" : "?") + std::to_string(i);
  sql += ")";
  must(db, sqlite3_prepare_v2(db, sql.c_str(), -1, &st_, nullptr));
  i_ = owner_.empty() ? 0 : 1;
}

Inserter::~Inserter() { sqlite3_finalize(st_); }

Inserter& Inserter::text(const std::string& v) {
  sqlite3_bind_text(st_, ++i_, v.c_str(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
  return *this;
}

Inserter& Inserter::num(int64_t v) {
  sqlite3_bind_int64(st_, ++i_, v);
  return *this;
}

Inserter& Inserter::real(double v) {
  sqlite3_bind_double(st_, ++i_, v);
  return *this;
}

Inserter& Inserter::bytes(const std::string& v) {
  sqlite3_bind_blob(st_, ++i_, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
  return *this;
}

Inserter& Inserter::dumped(const std::string& dump) {
  size_t colon = dump.find(": ");
  if (colon == std::string::npos) return null();
  std::string out;
  for (size_t k = colon + 2; k < dump.size();) {
    size_t e = dump.find(',', k);
    if (e == std::string::npos) e = dump.size();
    out.push_back(static_cast<char>(std::strtol(dump.substr(k, e - k).c_str(), nullptr, 16)));
    k = e + 1;
  }
  return bytes(out);
}

Inserter& Inserter::null() {
  sqlite3_bind_null(st_, ++i_);
  return *this;
}

void Inserter::row() {
  if (!owner_.empty()) sqlite3_bind_text(st_, 1, owner_.c_str(), -1, SQLITE_TRANSIENT);
  int rc = sqlite3_step(st_);
  std::string msg = sqlite3_errmsg(db_);
  sqlite3_reset(st_);
  sqlite3_clear_bindings(st_);
  i_ = owner_.empty() ? 0 : 1;
  if (rc != SQLITE_DONE) throw fromSqlite(rc, msg, "INSERT");
}

std::vector<std::string> tablesOf(sqlite3* db, const char* type) {
  std::vector<std::string> out;
  // a dropped table's BIN$ name reads it in the recycle bin, out of the schema's lists
  eachRow(db, "SELECT name FROM main.sqlite_schema WHERE type = ?1 AND name NOT GLOB 'TESSEL$*'"
              " AND name NOT GLOB 'sqlite_*' AND NOT (type = 'view' AND name GLOB 'BIN$*') ORDER BY name",
          [&](sqlite3_stmt* st) { out.push_back(col(st, 0)); }, type);
  return out;
}

std::vector<std::string> splitTabs(const std::string& s) {
  std::vector<std::string> out;
  size_t b = 0;
  for (;;) {
    size_t e = s.find('\t', b);
    out.push_back(s.substr(b, e == std::string::npos ? std::string::npos : e - b));
    if (e == std::string::npos) break;
    b = e + 1;
  }
  return out;
}

std::vector<UserRow> listUsers(const std::string& folder) {
  std::vector<UserRow> out;
  sqlite3* sys = nullptr;
  std::string path = folder + "/system.db";
  if (sqlite3_open_v2(path.c_str(), &sys, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(sys);
    throw OraError(3113, "the user list cannot be read");
  }
  sqlite3_busy_timeout(sys, 2000);
  auto read = [&](sqlite3_stmt* st) {
    UserRow u;
    u.name = col(st, 0);
    u.id = sqlite3_column_int64(st, 1);
    if (sqlite3_column_count(st) > 2) u.created = col(st, 2);
    out.push_back(u);
  };
  try {
    // user lists of earlier versions have no CREATED column
    bool created = false;
    eachRow(sys, "SELECT 1 FROM pragma_table_info('USERS') WHERE name = 'CREATED'",
            [&](sqlite3_stmt*) { created = true; });
    eachRow(sys, created ? "SELECT NAME, rowid, CREATED FROM USERS ORDER BY rowid" : "SELECT NAME, rowid FROM USERS ORDER BY rowid",
            read);
  } catch (...) {
    sqlite3_close(sys);
    throw;
  }
  sqlite3_close(sys);
  return out;
}

namespace {

using tx::Token;
using tx::is;

bool isAt(const std::vector<Token>& t, size_t i, const char* word) { return i < t.size() && is(t[i], word); }

// The index of the ")" that closes the "(" at i.
size_t closing(const std::vector<Token>& t, size_t i) {
  size_t k = i + 1;
  while (k < t.size() && !(t[k].depth == t[i].depth && is(t[k], ")"))) ++k;
  return k;
}

std::vector<std::string> nameList(const std::vector<Token>& t, size_t open, size_t close) {
  std::vector<std::string> out;
  for (size_t k = open + 1; k < close; ++k)
    if (t[k].kind == Token::Ident || t[k].kind == Token::QIdent) out.push_back(t[k].text);
  return out;
}

bool generatedName(const std::string& name) {
  return name.size() > 5 && name.compare(0, 5, "SYS_C") == 0 &&
         std::all_of(name.begin() + 5, name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string storedTableSql(sqlite3* db, const std::string& table) {
  std::string sql;
  eachRow(db, "SELECT sql FROM main.sqlite_schema WHERE type = 'table' AND name = ?1",
          [&](sqlite3_stmt* st) { sql = col(st, 0); }, table);
  return sql;
}

int64_t tableObject(sqlite3* db, const std::string& table, std::string* created = nullptr) {
  int64_t obj = 0;
  eachRow(db, "SELECT OBJ, CREATED FROM \"TESSEL$OBJECTS\" WHERE TYPE = 'TABLE' AND NAME = ?1",
          [&](sqlite3_stmt* st) {
            obj = sqlite3_column_int64(st, 0);
            if (created) *created = col(st, 1);
          }, table, true);
  return obj;
}

} // namespace

namespace {
std::vector<Constraint> constraintsIn(sqlite3* db, const std::string& table, const std::string& sql);
} // namespace

std::vector<Constraint> tableConstraints(sqlite3* db, const std::string& table) {
  return constraintsIn(db, table, storedTableSql(db, table));
}

namespace {
// The constraints a table definition's text holds.
std::vector<Constraint> constraintsIn(sqlite3* db, const std::string& table, const std::string& sql) {
  std::vector<Constraint> out;
  if (sql.empty()) return out;
  std::vector<Token> t = tx::tokenize(sql);
  auto recorded = recordedConstraints(db, table);
  int64_t obj = tableObject(db, table);
  std::set<int64_t> taken;
  // Names the engine did not record come from the table's object number and what the constraint
  // says, so they stay the same across queries and across other changes to the table.
  auto nameFor = [&](Constraint& c, const std::string& given) {
    if (c.type == "P" || c.type == "U")
      for (auto& r : recorded)
        if (r.type == c.type && r.columns == c.columns) {
          c.name = r.name;
          c.generated = generatedName(r.name);
          return;
        }
    if (!given.empty()) { c.name = given; return; }
    uint32_t h = 2166136261u; // FNV-1a: the same on every platform and run
    for (const std::string& part : {c.type, c.condition, c.rTable})
      for (unsigned char ch : part + '\t') h = (h ^ ch) * 16777619u;
    for (auto& n : c.columns)
      for (unsigned char ch : n + '\t') h = (h ^ ch) * 16777619u;
    int64_t base = 1000000 + (obj % 1000) * 1000, n = h % 1000;
    while (taken.count(n)) n = (n + 1) % 1000;
    taken.insert(n);
    char buf[40];
    std::snprintf(buf, sizeof buf, "SYS_C%07lld", static_cast<long long>(base + n));
    c.name = buf;
    c.generated = true;
  };
  // Columns of the primary key: their trailing NOT NULL is the engine's own, not a constraint
  // (a disabled key has none: a NOT NULL left on its columns is one of their own).
  std::set<std::string> pkColumns;
  for (auto& r : recorded) {
    bool disabled = false;
    if (r.type == "P")
      eachRow(db, "SELECT 1 FROM \"TESSEL$DISABLED\" WHERE NAME = ?1", [&](sqlite3_stmt*) { disabled = true; }, r.name, true);
    if (r.type == "P" && !disabled) pkColumns.insert(r.columns.begin(), r.columns.end());
  }

  static const std::set<std::string> starts = {"CONSTRAINT", "PRIMARY", "UNIQUE", "FOREIGN", "CHECK"};
  size_t open = 0;
  while (open < t.size() && !is(t[open], "(")) ++open;
  size_t b = open + 1;
  while (b < t.size()) {
    size_t e = b;
    while (e < t.size() && !(t[e].depth == 1 && is(t[e], ",")) && !(t[e].depth == 0 && is(t[e], ")"))) ++e;
    bool tableLevel = t[b].kind == Token::Ident && starts.count(t[b].text);
    std::string column = tableLevel ? std::string() : t[b].text;
    std::string given;
    size_t givenAt = 0;
    for (size_t m = tableLevel ? b : b + 1; m < e;) {
      Constraint c;
      c.table = table;
      if (is(t[m], "CONSTRAINT") && m + 1 < e) {
        given = t[m + 1].text;
        givenAt = m;
        m += 2;
        continue;
      }
      size_t first = m;
      auto span = [&](Constraint& k, size_t end) {
        k.from = t[given.empty() ? first : givenAt].pos;
        k.to = t[end - 1].end;
        k.whole = tableLevel;
      };
      if ((is(t[m], "PRIMARY") || is(t[m], "FOREIGN")) && isAt(t, m + 1, "KEY")) {
        c.type = is(t[m], "PRIMARY") ? "P" : "R";
        m += 2;
      } else if (is(t[m], "UNIQUE")) {
        c.type = "U";
        ++m;
      } else if (is(t[m], "REFERENCES") && !column.empty()) {
        c.type = "R";
      } else if (is(t[m], "NOT") && isAt(t, m + 1, "NULL")) {
        m += 2;
        if (pkColumns.count(column) && m == e && given.empty()) continue;
        c.type = "C";
        c.condition = quoteIdent(column) + " IS NOT NULL";
        c.columns = {column};
        span(c, m);
        nameFor(c, given);
        given.clear();
        out.push_back(c);
        continue;
      } else if (is(t[m], "CHECK") && isAt(t, m + 1, "(")) {
        size_t close = closing(t, m + 1);
        c.type = "C";
        if (close > m + 2) c.condition = c.expression = sql.substr(t[m + 2].pos, t[close - 1].end - t[m + 2].pos);
        // as written, where the text was kept beside the translated condition
        if (std::string raw = sql.substr(t[m + 1].end, t[m + 2].pos - t[m + 1].end);
            raw.find("/*") != std::string::npos) {
          if (std::string written = writtenDefault(raw.substr(raw.find("/*"))); !written.empty())
            c.condition = written;
        }
        // the names in the condition; those that are columns are its columns
        std::set<std::string> seen;
        for (size_t k = m + 2; k < close; ++k)
          if ((t[k].kind == Token::QIdent || t[k].kind == Token::Ident) && seen.insert(t[k].text).second)
            c.columns.push_back(t[k].text);
        m = close + 1;
        span(c, m);
        nameFor(c, given);
        given.clear();
        out.push_back(c);
        continue;
      } else {
        if (is(t[m], "(")) m = closing(t, m);
        ++m;
        continue;
      }
      // P, U, R: their columns, then what R references
      if (isAt(t, m, "(") && !is(t[m], "REFERENCES")) {
        size_t close = closing(t, m);
        c.columns = nameList(t, m, close);
        m = close + 1;
      } else {
        c.columns = {column};
      }
      if (c.type == "P") pkColumns.insert(c.columns.begin(), c.columns.end());
      if (c.type == "R") {
        if (isAt(t, m, "REFERENCES")) ++m;
        if (m < e) c.rTable = t[m++].text;
        if (isAt(t, m, "(")) {
          size_t close = closing(t, m);
          c.rColumns = nameList(t, m, close);
          m = close + 1;
        }
        c.deleteRule = "NO ACTION";
        if (isAt(t, m, "ON") && isAt(t, m + 1, "DELETE")) {
          if (isAt(t, m + 2, "CASCADE")) { c.deleteRule = "CASCADE"; m += 3; }
          else if (isAt(t, m + 2, "SET") && isAt(t, m + 3, "NULL")) { c.deleteRule = "SET NULL"; m += 4; }
        }
      }
      span(c, m);
      nameFor(c, given);
      given.clear();
      out.push_back(c);
    }
    if (e >= t.size() || t[e].depth == 0) break;
    b = e + 1;
  }
  return out;
}
} // namespace

namespace {

// The columns a CHECK condition names, among the table's own.
std::vector<std::string> checkColumns(const Constraint& c, const std::set<std::string>& columns) {
  std::vector<std::string> out;
  for (auto& n : c.columns)
    if (columns.count(n)) out.push_back(n);
  return out;
}

std::set<std::string> columnsOf(sqlite3* db, const std::string& table) {
  std::set<std::string> out;
  eachRow(db, "SELECT name FROM pragma_table_info(?1)", [&](sqlite3_stmt* st) { out.insert(col(st, 0)); }, table);
  return out;
}

} // namespace

namespace {
// The key a foreign key refers to: the primary key, or the unique key of the named columns.
std::string referredKey(sqlite3* db, const Constraint& c) {
  std::string name;
  for (auto& r : recordedConstraints(db, c.rTable))
    if ((c.rColumns.empty() && r.type == "P") || (!c.rColumns.empty() && r.columns == c.rColumns)) name = r.name;
  return name;
}
} // namespace

void fillConstraints(const Source& src, Inserter& ins) {
  for (const auto& table : tablesOf(src.db, "table")) {
    std::string created;
    tableObject(src.db, table, &created);
    std::set<std::string> unchecked;
    eachRow(src.db, "SELECT NAME FROM \"TESSEL$NOVALIDATED\" WHERE TABLE_NAME = ?1",
            [&](sqlite3_stmt* st) { unchecked.insert(col(st, 0)); }, table, true);
    const std::string definition = tableDefinition(src.db, table);
    for (auto& c : tableConstraints(src.db, table)) {
      const std::string deferral = declaredDeferral(definition, c.name);
      ins.text(src.owner).text(c.name).text(c.type).text(table).textOrNull(c.condition);
      if (c.type == "R") ins.text(src.owner).textOrNull(referredKey(src.db, c)).text(c.deleteRule);
      else ins.null().null().null();
      // a key's index carries the key's name
      bool key = c.type == "P" || c.type == "U";
      ins.text("ENABLED").text(deferral.empty() ? "NOT DEFERRABLE" : "DEFERRABLE").text(deferral.empty() ? "IMMEDIATE" : deferral)
          .text(unchecked.count(c.name) ? "NOT VALIDATED" : "VALIDATED")
          .text(c.generated ? "GENERATED NAME" : "USER NAME").null().null().textOrNull(created)
          .textOrNull(key ? src.owner : std::string()).textOrNull(key ? c.name : std::string()).row();
    }
    // disabled ones: kept aside, out of the table's definition; read as the definition of a
    // table of their own, they still say what they check and what they refer to
    eachRow(src.db, "SELECT NAME, COLUMN_NAME, DEFINITION FROM \"TESSEL$DISABLED\" WHERE TABLE_NAME = ?1 ORDER BY NAME",
            [&](sqlite3_stmt* st) {
              std::string name = col(st, 0), column = col(st, 1), def = col(st, 2);
              auto said = constraintsIn(src.db, table,
                                        "CREATE TABLE " + quoteIdent(table) + " (" +
                                            (column.empty() ? def : quoteIdent(column) + " " + def) + ")");
              Constraint c;
              c.type = "C";
              if (!said.empty()) c = said.front();
              ins.text(src.owner).text(name).text(c.type).text(table).textOrNull(c.condition);
              if (c.type == "R") ins.text(src.owner).textOrNull(referredKey(src.db, c)).text(c.deleteRule);
              else ins.null().null().null();
              ins.text("DISABLED").text("NOT DEFERRABLE").text("IMMEDIATE").text("NOT VALIDATED")
                  .text(generatedName(name) ? "GENERATED NAME" : "USER NAME").null().null().textOrNull(created).null().null().row();
            }, table, true);
  }
  // a view's WITH CHECK OPTION (V) and WITH READ ONLY (O)
  for (const auto& view : tablesOf(src.db, "view"))
    for (auto& c : recordedConstraints(src.db, view)) {
      if (c.type != "V" && c.type != "O") continue;
      bool generated = c.name.rfind("SYS_C", 0) == 0;
      ins.text(src.owner).text(c.name).text(c.type).text(view).null().null().null().null();
      ins.text("ENABLED").text("NOT DEFERRABLE").text("IMMEDIATE").text("NOT VALIDATED")
          .text(generated ? "GENERATED NAME" : "USER NAME").null().null().null().null().null().row();
    }
}

void fillConsColumns(const Source& src, Inserter& ins) {
  for (const auto& table : tablesOf(src.db, "table")) {
    auto columns = columnsOf(src.db, table);
    for (auto& c : tableConstraints(src.db, table)) {
      if (c.type == "C") {
        // a check has no column order
        for (auto& n : checkColumns(c, columns)) ins.text(src.owner).text(c.name).text(table).text(n).null().row();
        continue;
      }
      int pos = 0;
      for (auto& n : c.columns) ins.text(src.owner).text(c.name).text(table).text(n).num(++pos).row();
    }
  }
}

void fillTab(const Source& src, Inserter& ins) {
  std::vector<std::pair<std::string, const char*>> all;
  for (auto& t : tablesOf(src.db, "table")) all.emplace_back(t, "TABLE");
  for (auto& v : tablesOf(src.db, "view")) all.emplace_back(v, "VIEW");
  // TAB lists the user's private synonyms too
  eachRow(src.db, "SELECT NAME FROM \"TESSEL$SYNONYMS\" WHERE NAME NOT IN (SELECT NAME FROM \"TESSEL$PUBLIC\")",
          [&](sqlite3_stmt* st) { all.emplace_back(col(st, 0), "SYNONYM"); });
  std::sort(all.begin(), all.end());
  for (auto& [name, type] : all) ins.text(name).text(type).null().row();
}

void fillCatalog(const Source& src, Inserter& ins) {
  std::vector<std::pair<std::string, std::string>> all;
  for (auto& t : tablesOf(src.db, "table")) all.emplace_back(t, "TABLE");
  for (auto& v : tablesOf(src.db, "view")) all.emplace_back(v, "VIEW");
  eachRow(src.db, "SELECT NAME FROM \"TESSEL$SYNONYMS\" WHERE NAME NOT IN (SELECT NAME FROM \"TESSEL$PUBLIC\")",
          [&](sqlite3_stmt* st) { all.emplace_back(col(st, 0), "SYNONYM"); });
  if (src.session)
    eachRow(src.session->sequences(), "SELECT NAME FROM SEQUENCES",
            [&](sqlite3_stmt* st) { all.emplace_back(col(st, 0), "SEQUENCE"); });
  std::sort(all.begin(), all.end());
  for (auto& [name, type] : all) ins.text(name).text(type).row();
}

void fillDictionaryList(const std::string& user, Inserter& ins) {
  for (auto& [name, comment] : dictionaryNames(user)) ins.text(name).text(comment).row();
}

void fillUserList(const std::string& folder, const std::string& view, Inserter& ins) {
  for (auto& u : listUsers(folder)) {
    ins.text(u.name).num(u.id);
    if (view == "DBA_USERS") ins.null().text("OPEN").text("USERS").text("TEMP");
    // an earlier version's list recorded no date; CREATED is never NULL, so the epoch stands in
    ins.text(u.created.empty() ? "1970-01-01 00:00:00" : u.created);
    if (view == "DBA_USERS") ins.text("DEFAULT");
    ins.row();
  }
}

// The settings no session changes here, in Oracle's order after NLS_DATE_LANGUAGE.
const std::pair<const char*, const char*> kFixedNls[] = {
      {"NLS_SORT", "BINARY"},
      {"NLS_TIME_FORMAT", "HH24:MI:SSXFF"},
      {"NLS_TIMESTAMP_FORMAT", "RR-MM-DD HH24:MI:SSXFF"},
      {"NLS_TIME_TZ_FORMAT", "HH24:MI:SSXFF TZR"},
      {"NLS_TIMESTAMP_TZ_FORMAT", "RR-MM-DD HH24:MI:SSXFF TZR"},
      {"NLS_DUAL_CURRENCY", "\xef\xbf\xa5"},
      {"NLS_COMP", "BINARY"},
      {"NLS_LENGTH_SEMANTICS", "BYTE"},
      {"NLS_NCHAR_CONV_EXCP", "FALSE"},
};

void fillNlsParameters(Charset cs, Inserter& ins) {
  const std::pair<const char*, const char*> rows[] = {
      {"NLS_LANGUAGE", "JAPANESE"},
      {"NLS_TERRITORY", "JAPAN"},
      {"NLS_CURRENCY", "\xef\xbf\xa5"},
      {"NLS_ISO_CURRENCY", "JAPAN"},
      {"NLS_NUMERIC_CHARACTERS", ".,"},
      {"NLS_CHARACTERSET", charsetName(cs)},
      {"NLS_CALENDAR", "GREGORIAN"},
      {"NLS_DATE_FORMAT", "RR-MM-DD"},
      {"NLS_DATE_LANGUAGE", "JAPANESE"},
  };
  for (auto& [p, v] : rows) ins.text(p).text(v).row();
  for (auto& [p, v] : kFixedNls) ins.text(p).text(v).row();
  ins.text("NLS_NCHAR_CHARACTERSET").text("AL16UTF16").row();
}

std::string databaseName(const std::string& folder) {
  std::string name = folder;
  while (name.size() > 1 && name.back() == '/') name.pop_back();
  name = name.substr(name.find_last_of('/') + 1);
  for (auto& c : name) c = static_cast<char>(upperC(static_cast<unsigned char>(c)));
  return name;
}

void fillDatabaseNames(const std::string& view, const std::string& folder, Inserter& ins) {
  if (view == "GLOBAL_NAME") {
    ins.text(databaseName(folder)).row();
    return;
  }
  ins.text("Tessel3 embedded database (Oracle SQL dialect, version 7 call interface)").row();
  ins.text(std::string("SQLite ") + sqlite3_libversion()).row();
}

void fillSessionNls(sqlite3* db, const char* charset, Inserter& ins) {
  const Nls& n = sessionNls(db);
  std::string dates = n.dateFormat.empty() ? std::string("RR-MM-DD") : n.dateFormat;
  const std::pair<std::string, std::string> rows[] = {
      {"NLS_LANGUAGE", fn::languageName(n.language)},
      {"NLS_TERRITORY", n.territory},
      {"NLS_CURRENCY", n.numbers.currency},
      {"NLS_ISO_CURRENCY", n.numbers.iso == "USD" ? "AMERICA" : n.numbers.iso == "JPY" ? "JAPAN" : n.territory},
      {"NLS_NUMERIC_CHARACTERS", n.numbers.decimal + n.numbers.group},
      {"NLS_CALENDAR", n.calendar ? "JAPANESE IMPERIAL" : "GREGORIAN"},
      {"NLS_DATE_FORMAT", dates},
      {"NLS_DATE_LANGUAGE", fn::languageName(n.dateLanguage)},
  };
  for (auto& [p, v] : rows) ins.text(p).text(v).row();
  // V$NLS_PARAMETERS also names the database's character sets, where Oracle lists them
  if (charset) ins.text("NLS_CHARACTERSET").text(charset).row();
  for (auto& [p, v] : kFixedNls) {
    std::string_view name = p;
    const fn::Territory* t = fn::territoryNamed(n.territory);
    if (name == "NLS_TIMESTAMP_FORMAT" || name == "NLS_TIMESTAMP_TZ_FORMAT") {
      ins.text(p).text(std::string(n.timestampModel(name == "NLS_TIMESTAMP_TZ_FORMAT"))).row();
    } else if (t && (name == "NLS_TIME_FORMAT" || name == "NLS_TIME_TZ_FORMAT")) {
      // as set, else the time part of the territory's timestamp format
      std::string_view stamp = t->stampFormat;
      std::string time(stamp.substr(stamp.find(' ') + 1));
      const std::string& set = name == "NLS_TIME_FORMAT" ? n.timeFormat : n.timeTzFormat;
      ins.text(p).text(!set.empty() ? set : name == "NLS_TIME_FORMAT" ? time : time + " TZR").row();
    } else if (name == "NLS_SORT" || name == "NLS_COMP") {
      ins.text(p).text(name == "NLS_SORT" ? n.sort : n.comp).row();
    } else if (t && name == "NLS_DUAL_CURRENCY") {
      ins.text(p).text(n.numbers.dual.empty() ? std::string(t->currency) : n.numbers.dual).row();
    } else if (name == "NLS_LENGTH_SEMANTICS") {
      ins.text(p).text(n.charSemantics ? "CHAR" : "BYTE").row();
    } else
      ins.text(p).text(v).row();
    if (charset && std::string_view(p) == "NLS_DUAL_CURRENCY") ins.text("NLS_NCHAR_CHARACTERSET").text("AL16UTF16").row();
  }
}

// A table's columns all change; a view's are asked of the engine's own view DML, which refuses
// what Oracle refuses (a computed column, a table that is not key-preserved, a read-only view).
void fillUpdatableColumns(const Source& src, Inserter& ins) {
  auto columnsOf = [&](const std::string& t) {
    std::vector<std::string> out;
    eachRow(src.db, "SELECT name FROM pragma_table_info(?1) ORDER BY cid", [&](sqlite3_stmt* st) { out.push_back(col(st, 0)); },
            t, true); // a view that no longer compiles has no columns to show
    return out;
  };
  auto goes = [&](const std::string& sql) {
    try {
      Catalog cat(src.db, src.owner, src.session);
      translate(sql, cat, false, false);
      return "YES";
    } catch (...) {
      return "NO";
    }
  };
  for (const auto& t : tablesOf(src.db, "table"))
    for (auto& c : columnsOf(t)) ins.text(src.owner).text(t).text(c).text("YES").text("YES").text("YES").row();
  for (const auto& v : tablesOf(src.db, "view")) {
    std::string qv = quoteIdent(v);
    const char* deletable = goes("DELETE FROM " + qv);
    for (auto& c : columnsOf(v)) {
      std::string qc = quoteIdent(c);
      ins.text(src.owner).text(v).text(c).text(goes("UPDATE " + qv + " SET " + qc + " = NULL"));
      ins.text(goes("INSERT INTO " + qv + " (" + qc + ") VALUES (NULL)")).text(deletable).row();
    }
  }
}

} // namespace ora::dict

namespace ora {

namespace {
const char kDefaultMark[] = "/*ORA:";
const char kOnNullMark[] = "/*ON NULL*/";
} // namespace

std::string storedDefault(const std::string& written, const std::string& expression) {
  // hex digits cannot end the comment early, whatever the text holds
  static const char digits[] = "0123456789ABCDEF";
  std::string out = kDefaultMark;
  for (unsigned char c : written) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out + "*/ " + expression;
}

// DEFAULT ON NULL keeps a second comment after the written text.
std::string markOnNull(const std::string& stored) {
  size_t e = stored.find("*/");
  return e == std::string::npos ? stored : stored.substr(0, e + 2) + kOnNullMark + stored.substr(e + 2);
}

bool defaultOnNull(const std::string& stored) {
  size_t e = stored.find("*/");
  return stored.rfind(kDefaultMark, 0) == 0 && e != std::string::npos && stored.compare(e + 2, sizeof kOnNullMark - 1, kOnNullMark) == 0;
}

std::string writtenDefault(const std::string& stored) {
  if (stored.rfind(kDefaultMark, 0) != 0) return {};
  auto hex = [](char c) { return c >= 'A' ? c - 'A' + 10 : c - '0'; };
  std::string out;
  for (size_t i = sizeof kDefaultMark - 1; i + 1 < stored.size() && stored[i] != '*'; i += 2)
    out += static_cast<char>(hex(stored[i]) * 16 + hex(stored[i + 1]));
  return out;
}

} // namespace ora
