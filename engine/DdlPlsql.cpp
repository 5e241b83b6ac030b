// Stored PL/SQL units, kept as their source, and triggers, which become SQLite triggers.
#include "Dictionary.h"
#include "CType.h"
#include "ObjectTypes.h"
#include "OraError.h"
#include "Plsql.h"
#include "Session.h"
#include "TranslateImpl.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace ora::tx {

namespace {

struct Word {
  std::string text; // upper case unless quoted
  size_t pos = 0, end = 0;
  bool quoted = false;
};

size_t skipBlank(const std::string& s, size_t i) {
  for (;;) {
    while (i < s.size() && ora::spaceC(static_cast<unsigned char>(s[i]))) ++i;
    if (s.compare(i, 2, "--") == 0) {
      while (i < s.size() && s[i] != '\n') ++i;
    } else if (s.compare(i, 2, "/*") == 0) {
      size_t e = s.find("*/", i + 2);
      i = e == std::string::npos ? s.size() : e + 2;
    } else {
      return i;
    }
  }
}

// The next word, quoted name or single character at i.
Word nextWord(const std::string& s, size_t i) {
  Word w;
  i = skipBlank(s, i);
  w.pos = i;
  if (i >= s.size()) { w.end = i; return w; }
  if (s[i] == '"') {
    size_t e = s.find('"', i + 1);
    if (e == std::string::npos) throw OraError(1740);
    w.text = s.substr(i + 1, e - i - 1);
    w.quoted = true;
    w.end = e + 1;
    return w;
  }
  unsigned char c = s[i];
  if (ora::alnumC(c) || c == '_' || c >= 0x80) {
    size_t e = i;
    while (e < s.size() && (ora::alnumC(static_cast<unsigned char>(s[e])) || s[e] == '_' || s[e] == '$' ||
                            s[e] == '#' || static_cast<unsigned char>(s[e]) >= 0x80))
      ++e;
    w.text = s.substr(i, e - i);
    for (auto& ch : w.text) ch = static_cast<char>(ora::upperC(static_cast<unsigned char>(ch)));
    w.end = e;
    return w;
  }
  w.text = std::string(1, s[i]);
  w.end = i + 1;
  return w;
}

// Splits PL/SQL text at top-level ";" outside quotes and comments; positions of the pieces.
std::vector<std::pair<size_t, size_t>> splitStatements(const std::string& s, size_t from) {
  std::vector<std::pair<size_t, size_t>> out;
  size_t b = from;
  for (size_t i = from; i < s.size();) {
    char c = s[i];
    if (c == '\'') {
      ++i;
      while (i < s.size() && !(s[i] == '\'' && (i + 1 >= s.size() || s[i + 1] != '\''))) i += s[i] == '\'' ? 2 : 1;
      ++i;
    } else if (c == '"') {
      size_t e = s.find('"', i + 1);
      i = e == std::string::npos ? s.size() : e + 1;
    } else if (s.compare(i, 2, "--") == 0 || s.compare(i, 2, "/*") == 0) {
      i = skipBlank(s, i);
    } else if (c == ';') {
      out.emplace_back(b, i);
      b = ++i;
    } else {
      ++i;
    }
  }
  if (skipBlank(s, b) < s.size()) out.emplace_back(b, s.size());
  return out;
}

std::string trimmed(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && ora::spaceC(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && ora::spaceC(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

// Stored source: line feeds only, without the "/" line that ends a unit in scripts.
std::string sourceText(std::string t) {
  std::string out;
  for (size_t i = 0; i < t.size(); ++i)
    if (!(t[i] == '\r' && i + 1 < t.size() && t[i + 1] == '\n')) out += t[i];
  out = trimmed(out);
  if (out.size() >= 2 && out.back() == '/' && out[out.size() - 2] == '\n') out = trimmed(out.substr(0, out.size() - 1));
  return out;
}

// Reads [schema.]name at i; `end` is set past it.
std::string unitName(const std::string& s, size_t i, size_t& end, const std::string& user, Charset cs) {
  Word a = nextWord(s, i);
  if (a.text.empty() || (!a.quoted && !ora::alphaC(static_cast<unsigned char>(a.text[0])) &&
                         static_cast<unsigned char>(a.text[0]) < 0x80))
    throw OraError(903);
  Word dot = nextWord(s, a.end);
  if (dot.text == ".") {
    Word b = nextWord(s, dot.end);
    if (a.text != user) throw OraError(1031, a.text + "." + b.text);
    end = b.end;
    checkName(b.text, cs);
    return b.text;
  }
  end = a.end;
  checkName(a.text, cs);
  return a.text;
}

// The SQLite trigger's steps for a body the interpreter runs: the call with the row's values and,
// for a BEFORE trigger that sets :NEW, the row written with what the body made of it instead of
// the row SQLite was about to write.
std::string rowCall(const std::string& name, const std::string& kind, const std::string& flags, const std::string& table,
                    const std::vector<ColumnInfo>& columns, bool setsNew, Catalog& cat) {
  bool divert = setsNew && kind != "DELETE";
  std::string spec, olds, news;
  for (const auto& c : columns) {
    bool number = c.type.code == kNumber || c.type.code == kBinaryFloat || c.type.code == kBinaryDouble;
    spec += std::string(spec.empty() ? "" : "\x1f") + (c.type.code == kDate ? "D" : number ? "N" : "T") + c.name;
    olds += ", " + (kind == "INSERT" ? std::string("NULL") : "OLD." + quoteIdent(c.name));
    news += ", " + (kind == "DELETE" ? std::string("NULL") : "NEW." + quoteIdent(c.name));
  }
  std::string sql = "SELECT ora_trigger(" + quoteString(name) + ", " + quoteString(kind + flags + (divert ? "+" : "")) + ", " +
                    quoteString(spec) + olds + news + ");";
  if (!divert) return sql;
  Translator conv("", tokenize(""), cat);
  std::string names, values, sets;
  for (size_t i = 0; i < columns.size(); ++i) {
    // bytes reach the body as hex text: a RAW column keeps the value the statement gave it
    bool bytes = columns[i].type.code == kRaw || columns[i].type.code == kLongRaw;
    std::string v = bytes ? "NEW." + quoteIdent(columns[i].name)
                          : conv.convWrap("ora_trigger_new(" + quoteString(name) + ", " + std::to_string(i) + ")",
                                          columns[i], table);
    names += (i ? ", " : "") + quoteIdent(columns[i].name);
    values += (i ? ", " : "") + v;
    sets += (i ? ", " : "") + quoteIdent(columns[i].name) + " = " + v;
  }
  if (kind == "INSERT")
    sql += " INSERT INTO " + quoteIdent(table) + " (" + names + ") VALUES (" + values +
           "); SELECT ora_trigger_row(last_insert_rowid());";
  else sql += " UPDATE " + quoteIdent(table) + " SET " + sets + " WHERE rowid = OLD.rowid;";
  return sql + " SELECT RAISE(IGNORE);";
}

} // namespace

void createTrigger(const std::string& text, size_t at, bool replace, Catalog& cat, Translation& out, int state) {
  out.kind = StmtKind::Ddl;
  out.function = 59;
  size_t nameEnd;
  std::string name = unitName(text, at, nameEnd, cat.user(), cat.session() ? cat.session()->charset : Charset::AL32UTF8);
  // the block starts at the first BEGIN or DECLARE outside parentheses
  size_t blockAt = std::string::npos;
  int depth = 0;
  for (size_t i = nameEnd; i < text.size();) {
    Word w = nextWord(text, i);
    if (w.text.empty()) break;
    if (w.text == "'") {
      size_t e = w.pos + 1;
      while (e < text.size() && !(text[e] == '\'' && (e + 1 >= text.size() || text[e + 1] != '\''))) e += text[e] == '\'' ? 2 : 1;
      i = e + 1;
      continue;
    }
    if (w.text == "(") ++depth;
    if (w.text == ")") --depth;
    if (depth == 0 && !w.quoted && (w.text == "BEGIN" || w.text == "DECLARE")) { blockAt = w.pos; break; }
    // a compound trigger's body begins with its declarations
    if (depth == 0 && !w.quoted && w.text == "COMPOUND" && nextWord(text, w.end).text == "TRIGGER") { blockAt = w.pos; break; }
    i = w.end;
  }
  if (blockAt == std::string::npos) throw OraError(6550, "the trigger has no body");
  std::string head = text.substr(nameEnd, blockAt - nameEnd);
  std::string body = sourceText(text.substr(blockAt));
  auto t = tokenize(head);
  size_t i = 0;
  std::string timing;
  if (i < t.size() && (is(t[i], "BEFORE") || is(t[i], "AFTER"))) timing = t[i++].text;
  else if (i + 1 < t.size() && is(t[i], "INSTEAD") && is(t[i + 1], "OF")) { timing = "INSTEAD OF"; i += 2; }
  else if (i < t.size() && is(t[i], "FOR")) { timing = "COMPOUND"; ++i; }
  else throw OraError(969, "BEFORE, AFTER or INSTEAD OF expected");
  struct Event { std::string kind; std::vector<std::string> columns; };
  std::vector<Event> events;
  for (;;) {
    if (i >= t.size() || !(is(t[i], "INSERT") || is(t[i], "UPDATE") || is(t[i], "DELETE")))
      throw OraError(969, "INSERT, UPDATE or DELETE expected");
    Event ev{t[i++].text, {}};
    if (ev.kind == "UPDATE" && i < t.size() && is(t[i], "OF")) {
      ++i;
      while (i < t.size() && (t[i].kind == Token::Ident || t[i].kind == Token::QIdent) && !is(t[i], "ON") &&
             !is(t[i], "OR")) {
        ev.columns.push_back(t[i++].text);
        if (i < t.size() && is(t[i], ",")) ++i;
      }
    }
    events.push_back(ev);
    if (i < t.size() && is(t[i], "OR")) { ++i; continue; }
    break;
  }
  if (i >= t.size() || !is(t[i], "ON")) throw OraError(969);
  ++i;
  if (i + 2 < t.size() && is(t[i + 1], ".")) {
    if (t[i].text != cat.user()) throw OraError(942, t[i].text + "." + t[i + 2].text);
    i += 2;
  }
  if (i >= t.size()) throw OraError(903);
  std::string table = t[i++].text;
  if (!cat.tableExists(table)) throw OraError(942, table);
  bool onView = cat.viewExists(table);
  bool instead = timing == "INSTEAD OF", compound = timing == "COMPOUND";
  if (instead && !onView) throw OraError(25002);
  if (!instead && !compound && onView) throw OraError(25001);
  for (const auto& e : events)
    if (instead && !e.columns.empty()) throw OraError(4073);
  std::map<std::string, std::string> refs = {{":NEW", "NEW"}, {":OLD", "OLD"}};
  std::map<std::string, std::string> whenRefs = {{"NEW", "NEW"}, {"OLD", "OLD"}};
  auto& allRefs = refs;
  auto& allWhenRefs = whenRefs;
  std::string referencing = "REFERENCING NEW AS NEW OLD AS OLD";
  std::string newName = "NEW", oldName = "OLD";
  if (i < t.size() && is(t[i], "REFERENCING")) {
    ++i;
    refs.clear();
    whenRefs.clear();
    while (i < t.size() && (is(t[i], "NEW") || is(t[i], "OLD") || is(t[i], "PARENT"))) {
      std::string which = t[i++].text;
      if (i < t.size() && is(t[i], "AS")) ++i;
      if (i >= t.size()) throw OraError(921);
      (which == "NEW" ? newName : oldName) = t[i].text;
      refs[":" + t[i].text] = which;
      whenRefs[t[i].text] = which;
      ++i;
    }
    if (!refs.count(":" + newName)) { refs[":NEW"] = "NEW"; whenRefs["NEW"] = "NEW"; }
    if (!refs.count(":" + oldName)) { refs[":OLD"] = "OLD"; whenRefs["OLD"] = "OLD"; }
    referencing = "REFERENCING NEW AS " + newName + " OLD AS " + oldName;
  }
  bool eachRow = false;
  if (i + 2 < t.size() && is(t[i], "FOR") && is(t[i + 1], "EACH") && is(t[i + 2], "ROW")) { eachRow = true; i += 3; }
  // an INSTEAD OF trigger fires for each row whether it says so or not
  if (instead) eachRow = true;
  std::string follows;
  if (i + 1 < t.size() && (is(t[i], "FOLLOWS") || is(t[i], "PRECEDES"))) {
    bool after = is(t[i], "FOLLOWS");
    ++i;
    if (i + 2 < t.size() && is(t[i + 1], ".")) {
      if (t[i].text != cat.user()) throw OraError(4080, t[i].text + "." + t[i + 2].text);
      i += 2;
    }
    if (i >= t.size()) throw OraError(903);
    std::string other = t[i++].text;
    if (cat.objectTypeOf(other, "TRIGGER").empty()) throw OraError(4080, other);
    if (after) follows = other;
  }
  bool disabled = false;
  if (i < t.size() && (is(t[i], "ENABLE") || is(t[i], "DISABLE"))) disabled = is(t[i++], "DISABLE");
  if (state) disabled = state == 2;
  std::string whenText;
  // a statement trigger's plain SQL is translated too, to find names that are not there
  bool valid = !instead && !compound;
  bool whenOk = true;
  bool sqlFailed = false; // a statement of a body of plain SQL names what is not there
  if (i < t.size() && is(t[i], "WHEN")) {
    ++i;
    if (i >= t.size() || !is(t[i], "(")) throw OraError(906);
    size_t close = i + 1;
    while (close < t.size() && !(t[close].depth == t[i].depth && is(t[close], ")"))) ++close;
    whenText = head.substr(t[i + 1].pos, t[close - 1].end - t[i + 1].pos);
    i = close + 1;
  }
  if (i < t.size()) throw OraError(933, "near " + t[i].raw);
  if (instead && !whenText.empty()) throw OraError(25004);
  if (!eachRow && !compound && !whenText.empty()) throw OraError(4077);
  if (instead && readOnlyView(table, cat)) throw OraError(25005);

  // The body runs when it is a plain block of SQL statements on tables. It is translated once
  // per event: an INSERT has no old row and a DELETE no new one, whose columns read as NULL.
  auto translateFor = [&](const std::string& kind, std::string& whenSql, std::vector<std::string>& stmts) {
  auto refs = allRefs;
  auto whenRefs = allWhenRefs;
  for (auto* m : {&refs, &whenRefs})
    for (auto& [k, v] : *m)
      if ((kind == "INSERT" && v == "OLD") || (kind == "DELETE" && v == "NEW")) v = "NULL";
  if (valid && !whenText.empty()) {
    try {
      auto cond = tokenize(whenText);
      Translator w(whenText, cond, cat);
      w.rowRefs = whenRefs;
      w.sharedWithTrigger = table;
      whenSql = w.expression();
    } catch (const OraError&) {
      valid = false;
      whenOk = false;
    }
  }
  if (valid) {
    auto parts = splitStatements(body, 0);
    Word first = parts.empty() ? Word{} : nextWord(body, parts[0].first);
    valid = first.text == "BEGIN";
    for (size_t k = 0; valid && k < parts.size(); ++k) {
      size_t from = k == 0 ? first.end : parts[k].first;
      std::string piece = trimmed(body.substr(from, parts[k].second - from));
      Word w = nextWord(piece, 0);
      if (k + 1 == parts.size()) {
        Word n = nextWord(piece, w.end);
        valid = w.text == "END" && (n.text.empty() || (n.text == name && nextWord(piece, n.end).text.empty()));
        break;
      }
      if (w.text == "NULL" && nextWord(piece, w.end).text.empty()) continue;
      if (w.text != "INSERT" && w.text != "UPDATE" && w.text != "DELETE") { valid = false; break; }
      try {
        Translator st(piece, tokenize(piece), cat);
        st.rowRefs = refs;
        st.sharedWithTrigger = table;
        Translation r = st.run();
        if (r.kind != StmtKind::Dml || r.sql.rfind("WITH", 0) == 0) valid = false;
        else stmts.push_back(r.sql);
      } catch (const OraError&) {
        valid = false;
        sqlFailed = true;
      }
    }
  }
  };
  std::vector<std::string> whenSqls(events.size());
  std::vector<std::vector<std::string>> bodies(events.size());
  for (size_t k = 0; k < events.size(); ++k) translateFor(events[k].kind, whenSqls[k], bodies[k]);
  if (!eachRow) valid = false;

  // Any other body runs in the interpreter, fired by the row or by the statement.
  bool interpreted = false;
  std::vector<ColumnInfo> columns;
  std::vector<std::string> assigned;
  bool rowSections[3] = {false, false, false}; // a compound trigger's BEFORE, AFTER, INSTEAD OF EACH ROW parts
  if (!valid && whenOk && !sqlFailed && (eachRow || compound || whenText.empty())) {
    columns = cat.columns(table);
    std::vector<std::string> names;
    if (eachRow || compound)
      for (const auto& c : columns) names.push_back(c.name);
    try {
      std::vector<std::string> parts;
      std::string block = compound ? compoundBlockText(body, rowSections, &parts) : body;
      checkTriggerBody(block, newName, oldName, names, timing == "BEFORE" || compound, assigned);
      if (compound) {
        // a view's has only the INSTEAD OF part, a table's none
        if (onView && (rowSections[0] || rowSections[1])) throw OraError(25001);
        if (!onView && rowSections[2]) throw OraError(25002);
        // only BEFORE EACH ROW sets :NEW, and the statement parts have no row
        std::vector<std::string> none;
        for (size_t p = 0; p < parts.size(); ++p)
          if (p != 1 && !parts[p].empty())
            checkTriggerBody(parts[p], newName, oldName, p == 2 || p == 4 ? names : std::vector<std::string>{}, false,
                             none);
      }
      // its SQL's tables and columns are there when it is made, as Oracle compiles it
      if (std::string missing = missingName(block, cat); !missing.empty()) throw OraError(942, missing);
      for (const auto& c : columns)
        if ((c.type.code == kRaw || c.type.code == kLongRaw) &&
            std::find(assigned.begin(), assigned.end(), c.name) != assigned.end())
          throw OraError(6550, "a trigger does not set RAW values");
      interpreted = true;
      valid = true;
      for (size_t k = 0; k < events.size(); ++k) {
        whenSqls[k].clear();
        bodies[k].clear();
      }
      if (eachRow && !whenText.empty())
        for (size_t k = 0; k < events.size(); ++k) {
          auto when = allWhenRefs;
          for (auto& [key, v] : when)
            if ((events[k].kind == "INSERT" && v == "OLD") || (events[k].kind == "DELETE" && v == "NEW")) v = "NULL";
          Translator w(whenText, tokenize(whenText), cat);
          w.rowRefs = when;
          w.sharedWithTrigger = table;
          whenSqls[k] = w.expression();
        }
    } catch (const OraError& e) {
      // wrong uses of :NEW and :OLD stop the CREATE itself
      if (e.code == 4082 || e.code == 4084 || e.code == 4085 || e.code == 25001 || e.code == 25002) throw;
      interpreted = valid = false;
    }
  }

  std::string existing = cat.objectTypeOf(name, "TRIGGER");
  if (!existing.empty() && !replace) throw OraError(4081, name);
  for (const auto& old : cat.sqliteTriggers(name)) out.ddl.push_back("DROP TRIGGER " + quoteIdent(old));
  std::string label = quoteString("ORA-04098: trigger '" + cat.user() + "." + name + "' is invalid and failed re-validation");
  int made = 0;
  auto nextName = [&]() { return made++ == 0 ? name : name + "$" + std::to_string(made); };
  for (size_t k = 0; k < events.size() && !disabled; ++k) {
    std::string ev = events[k].kind;
    if (!events[k].columns.empty()) {
      ev += " OF ";
      for (size_t c = 0; c < events[k].columns.size(); ++c) ev += (c ? ", " : "") + quoteIdent(events[k].columns[c]);
    }
    // UPDATE OF: the columns the statement sets, not those a BEFORE trigger's rewrite of the row sets
    std::string when = whenSqls[k];
    if (!events[k].columns.empty()) {
      std::string list;
      for (const auto& c : events[k].columns) list += (list.empty() ? "" : "\x1f") + c;
      std::string only = "ora_updating(" + quoteString(table) + ", " + quoteString(list) + ")";
      when = when.empty() ? only : only + " AND (" + when + ")";
    }
    if (interpreted && compound) {
      // its row parts; the statement parts are fired by the statements themselves
      for (int part = 0; part < 3; ++part) {
        if (!rowSections[part]) continue;
        std::string sql = "CREATE TRIGGER " + quoteIdent(nextName()) +
                          (part == 0 ? " BEFORE " : part == 1 ? " AFTER " : " INSTEAD OF ") + ev + " ON " +
                          quoteIdent(table) + " FOR EACH ROW";
        if (!when.empty()) sql += " WHEN " + when;
        sql += " BEGIN " + rowCall(name, events[k].kind, part == 0 ? "<" : part == 1 ? ">" : "^", table, columns,
                                   part == 0 && !assigned.empty(), cat) + " END";
        out.ddl.push_back(sql);
      }
      continue;
    }
    std::string sql = "CREATE TRIGGER " + quoteIdent(nextName());
    if (interpreted && !eachRow) {
      continue; // fired by the statements themselves
    } else if (interpreted) {
      sql += " " + timing + " " + ev + " ON " + quoteIdent(table) + " FOR EACH ROW";
      if (!when.empty()) sql += " WHEN " + when;
      sql += " BEGIN " + rowCall(name, events[k].kind, instead ? "#" : "", table, columns, !assigned.empty(), cat) + " END";
    } else if (valid) {
      sql += " " + timing + " " + ev + " ON " + quoteIdent(table) + " FOR EACH ROW";
      if (!when.empty()) sql += " WHEN " + when;
      sql += " BEGIN ";
      for (auto& st : bodies[k]) sql += st + "; ";
      if (bodies[k].empty()) sql += "SELECT NULL; ";
      sql += "END";
    } else {
      // stored as Oracle keeps a trigger with errors: every statement it fires on fails
      sql += std::string(onView ? " INSTEAD OF " : " BEFORE ") + events[k].kind + " ON " + quoteIdent(table) +
             " FOR EACH ROW BEGIN SELECT RAISE(ABORT, " +
             label + "); END";
    }
    out.ddl.push_back(sql);
  }
  std::string type = instead || compound ? timing : timing + (eachRow ? " EACH ROW" : " STATEMENT");
  std::string event;
  for (auto& e : events) event += (event.empty() ? "" : " OR ") + e.kind;
  std::string description = trimmed(text.substr(at, blockAt - at)) + "\n";
  out.ddl.push_back("INSERT OR REPLACE INTO \"TESSEL$TRIGGERS\" (NAME, TRIGGER_TYPE, EVENT, TABLE_NAME, REFERENCING,"
                    " WHEN_CLAUSE, DESCRIPTION, BODY, VALID) VALUES (" + quoteString(name) + ", " + quoteString(type) +
                    ", " + quoteString(event) + ", " + quoteString(table) + ", " + quoteString(referencing) + ", " +
                    quoteString(whenText) + ", " + quoteString(description) + ", " + quoteString(body + "\n") + ", " +
                    (valid ? "1" : "0") + ")");
  out.ddl.push_back("INSERT OR IGNORE INTO \"TESSEL$OBJECTS\" (NAME, TYPE, CREATED) VALUES (" + quoteString(name) +
                    ", 'TRIGGER', ora_sysdate())");
  out.ddl.push_back("INSERT OR REPLACE INTO \"TESSEL$TRIGGER_STATE\" (NAME, ENABLED, FOLLOWS) VALUES (" +
                    quoteString(name) + ", " + (disabled ? "0" : "1") + ", " +
                    (follows.empty() ? std::string("NULL") : quoteString(follows)) + ")");
  if (!disabled && !follows.empty()) orderTriggers(follows, cat, out);
}

bool translatePlsql(const std::string& text, Catalog& cat, Translation& out) {
  Word w = nextWord(text, 0);
  if (w.text == "ALTER") return alterTrigger(text, cat, out);
  // EXECUTE is the shell's command, not a statement
  if (w.text == "EXEC" || w.text == "EXECUTE") throw OraError(900).at(static_cast<int>(w.pos));
  // <<label>> before a block
  for (size_t at = w.pos; w.text == "<" && text.compare(at, 2, "<<") == 0;) {
    Word label = nextWord(text, at + 2), close = nextWord(text, label.end);
    if (label.text.empty() || text.compare(close.pos, 2, ">>") != 0) break;
    w = nextWord(text, close.pos + 2);
    at = w.pos;
  }
  if (w.text == "DECLARE" || w.text == "BEGIN") {
    out.plsql = checkPlsqlBlock(text);
    out.kind = StmtKind::Session;
    out.verb = w.text;
    return true;
  }
  if (w.text == "CALL") {
    // CALL runs one procedure as a block of that call would
    std::string call = trimmed(text.substr(w.end));
    if (!call.empty() && call.back() == ';') throw OraError(911).at(static_cast<int>(text.rfind(';')));
    if (call.empty() || call.back() != ')') throw OraError(6576);
    out.plsql = checkPlsqlCall(call);
    out.kind = StmtKind::Session;
    out.verb = w.text;
    return true;
  }
  if (w.text != "CREATE") return false;
  Word v = nextWord(text, w.end);
  bool replace = false;
  if (v.text == "OR") {
    Word r = nextWord(text, v.end);
    if (r.text != "REPLACE") return false;
    replace = true;
    v = nextWord(text, r.end);
  }
  out.verb = "CREATE";
  if (v.text == "TRIGGER") {
    createTrigger(text, v.end, replace, cat, out, 0);
    return true;
  }
  std::string type = v.text;
  size_t after = v.end;
  if (type == "PACKAGE" || type == "TYPE") {
    Word b = nextWord(text, v.end);
    if (b.text == "BODY") { type += " BODY"; after = b.end; }
  }
  if (type != "PACKAGE" && type != "PACKAGE BODY" && type != "PROCEDURE" && type != "FUNCTION" &&
      type != "TYPE" && type != "TYPE BODY")
    return false;
  size_t nameEnd;
  std::string name = unitName(text, after, nameEnd, cat.user(), cat.session() ? cat.session()->charset : Charset::AL32UTF8);
  out.kind = StmtKind::Ddl;
  // Oracle's function code for each kind of unit
  out.function = type == "FUNCTION" ? 91 : type == "PACKAGE" ? 94 : type == "PACKAGE BODY" ? 97
               : type == "TYPE" ? 77 : type == "TYPE BODY" ? 81 : 24;
  std::string other = cat.objectType(name);
  bool sameKind = !cat.objectTypeOf(name, type).empty();
  if (!other.empty() && other != type && !(type == "PACKAGE BODY" && other == "PACKAGE") &&
      !(type == "TYPE BODY" && other == "TYPE"))
    throw OraError(955);
  if (sameKind && !replace) throw OraError(955);
  if (sameKind && type == "TYPE" && objectTypeInUse(cat.db(), name)) throw OraError(2303);
  // stored from the unit's keyword on, with its name as written
  std::string src = sourceText(text.substr(v.pos));
  out.ddl.push_back("DELETE FROM \"TESSEL$SOURCE\" WHERE NAME = " + quoteString(name) + " AND TYPE = " + quoteString(type));
  out.ddl.push_back("INSERT INTO \"TESSEL$SOURCE\" (NAME, TYPE, TEXT) VALUES (" + quoteString(name) + ", " +
                    quoteString(type) + ", " + quoteString(src) + ")");
  out.ddl.push_back("INSERT OR IGNORE INTO \"TESSEL$OBJECTS\" (NAME, TYPE, CREATED) VALUES (" + quoteString(name) +
                    ", " + quoteString(type) + ", ora_sysdate())");
  // a package made again starts afresh in the session, whatever its text
  out.actions.push_back([name](Session& s) { forgetPlsqlState(s, name); });
  return true;
}

} // namespace ora::tx
