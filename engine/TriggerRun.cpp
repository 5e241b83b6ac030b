// Triggers whose bodies are PL/SQL. A row trigger's SQLite trigger calls ora_trigger with the
// row's old and new values, and the interpreter runs the body; a BEFORE trigger that sets :NEW
// values writes the row itself with them (ora_trigger_new) and drops the row SQLite was about to
// write. Statement triggers fire around the statements that change their table.
#include "OraValues.h"
#include "Autonomous.h"
#include "Plsql.h"
#include "PlsqlCompile.h"
#include "PlsqlRun.h"
#include "Session.h"
#include "SqlText.h"
#include "SqlTranslate.h"

#include <charconv>
#include <cstdlib>
#include <sqlite3.h>

namespace ora::pl {

thread_local int triggerDepth = 0;
thread_local std::vector<std::string> mutatingTables;

void checkMutating(Session& ses, const std::string& sql) {
  if (mutatingTables.empty()) return;
  std::vector<Tok> t;
  try {
    t = tokens(sql);
  } catch (const OraError&) {
    return; // the statement reports its own error
  }
  for (size_t k = 0; k < t.size(); ++k) {
    if (t[k].kind != T::Word && t[k].kind != T::QWord) continue;
    bool qualified = k > 0 && t[k - 1].kind == T::Op && (t[k - 1].text == "." || t[k - 1].text == ":");
    if (qualified && !(k > 1 && t[k - 1].text == "." && t[k - 2].text == ses.user)) continue;
    for (const std::string& m : mutatingTables)
      if (t[k].text == m) {
        OraError e(4091);
        e.text = "ORA-04091: table " + ses.user + "." + m + " is mutating, trigger/function may not see it";
        throw e;
      }
  }
}

namespace {

struct Loaded {
  std::string body, refs, table;
  std::string newName = "NEW", oldName = "OLD";
  std::shared_ptr<Unit> unit;
  std::map<std::string, ColType> stamps; // the table's TIMESTAMP and INTERVAL columns
};

// A statement changing a table with triggers, while it runs.
struct Dml {
  std::string table, verb;
  bool singleRow = false; // INSERT ... VALUES: its row triggers may read the table
  bool knownColumns = false;
  std::set<std::string> columns; // UPDATE: the columns it sets
  // and those its BEFORE triggers set: a row they change is written again with every column,
  // which only these count as updated for the UPDATE OF triggers
  std::set<std::string> setByTriggers;
};

struct TriggerState {
  std::map<std::string, Loaded> parsed;
  std::map<std::string, std::vector<Val>> newRows; // what a BEFORE trigger's body set :NEW to
  int64_t diverted = 0;                            // rows the statement running wrote that way
  int64_t insteadRows = 0;                         // view rows its INSTEAD OF triggers took
  std::string insteadCounter; // the one of them that counts the rows, when several fire
  int64_t divertedRowid = 0;  // the ROWID of the last row written that way
  int64_t statementRowid = -1; // and of the last INSERT's, when it was
  std::vector<Dml> dml;
  // a compound trigger's declarations while the statement that fired it runs
  struct Compound {
    std::shared_ptr<Unit> unit;
    std::unique_ptr<Scope> scope;
  };
  std::map<std::string, Compound> compound;
};

TriggerState& state(Session& ses) {
  auto& u = units(ses);
  if (!u.triggers) u.triggers = std::make_shared<TriggerState>();
  return *std::static_pointer_cast<TriggerState>(u.triggers);
}

std::string columnText(sqlite3_stmt* st, int i) {
  const unsigned char* p = sqlite3_column_text(st, i);
  return p ? reinterpret_cast<const char*>(p) : "";
}

OraError invalidTrigger(Session& ses, const std::string& name) {
  OraError e(4098);
  e.text = "ORA-04098: trigger '" + ses.user + "." + name + "' is invalid and failed re-validation";
  return e;
}

// The trigger's body as parsed, read again when it was made anew.
const Loaded& load(Session& ses, const std::string& name) {
  sqlite3_stmt* st = ses.cachedStatement("SELECT BODY, REFERENCING, TABLE_NAME, VALID FROM \"TESSEL$TRIGGERS\" WHERE NAME = ?1");
  if (!st) throw invalidTrigger(ses, name);
  sqlite3_bind_text(st, 1, name.c_str(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
  bool found = sqlite3_step(st) == SQLITE_ROW;
  std::string body = found ? columnText(st, 0) : "", refs = found ? columnText(st, 1) : "";
  std::string table = found ? columnText(st, 2) : "";
  bool valid = found && sqlite3_column_int(st, 3) != 0;
  sqlite3_reset(st);
  sqlite3_clear_bindings(st);
  // a table or column its SQL names has gone since it was made
  if (!valid || !unitCompiles(ses, "TRIGGER/" + name, body)) throw invalidTrigger(ses, name);
  auto& all = state(ses).parsed;
  auto it = all.find(name);
  if (it != all.end() && it->second.body == body && it->second.refs == refs && it->second.table == table)
    return it->second;
  Loaded l;
  l.body = body;
  l.refs = refs;
  l.table = table;
  // "REFERENCING NEW AS n OLD AS o"
  std::vector<std::string> w;
  for (size_t i = 0; i < refs.size();) {
    size_t e = refs.find(' ', i);
    if (e == std::string::npos) e = refs.size();
    if (e > i) w.push_back(refs.substr(i, e - i));
    i = e + 1;
  }
  if (w.size() == 7) {
    l.newName = w[3];
    l.oldName = w[6];
  }
  try {
    bool rows[3];
    std::string first = body.substr(0, 8);
    for (auto& c : first) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::string block = first == "COMPOUND" ? compoundBlockText(body, rows) : body;
    l.unit = parseBlock(triggerBlockText(block, l.newName, l.oldName));
  } catch (const OraError&) {
    throw invalidTrigger(ses, name);
  }
  if (!table.empty()) {
    Catalog cat(ses.db, ses.user, &ses);
    for (const ColumnInfo& c : cat.columns(table))
      if (isTimestamp(c.type.code) || isInterval(c.type.code)) l.stamps[c.name] = c.type;
  }
  return all[name] = std::move(l);
}

// A column's value; `kind` is 'D' for a DATE column, 'N' for a NUMBER one, whose exact values
// are kept as text.
Val sqlValue(sqlite3_value* v, char kind) {
  Val x;
  switch (sqlite3_value_type(v)) {
  case SQLITE_NULL: return x;
  case SQLITE_INTEGER:
  case SQLITE_FLOAT:
    x.k = Val::Num;
    x.s = numberText(v);
    return x;
  case SQLITE_BLOB:
    x.k = Val::Str;
    x.s = hexText(static_cast<const unsigned char*>(sqlite3_value_blob(v)), sqlite3_value_bytes(v));
    return x;
  default:
    x.k = kind == 'D' ? Val::Date : kind == 'N' ? Val::Num : Val::Str;
    x.s.assign(reinterpret_cast<const char*>(sqlite3_value_text(v)), static_cast<size_t>(sqlite3_value_bytes(v)));
    if (x.s.empty()) x.k = Val::Null;
    return x;
  }
}

Var boolVar(bool b) {
  Var v;
  v.type.kind = TypeSpec::Bool;
  v.v = Val{Val::Bool, "", b};
  return v;
}

// The conditional predicates of an event.
void predicates(Scope& sc, const std::string& event) {
  sc.vars["INSERTING"] = boolVar(event == "INSERT");
  sc.vars["UPDATING"] = boolVar(event == "UPDATE");
  sc.vars["DELETING"] = boolVar(event == "DELETE");
}

// Runs the body, or part `section` of a compound trigger's (0 BEFORE STATEMENT, 1 BEFORE EACH
// ROW, 2 AFTER EACH ROW, 3 AFTER STATEMENT, 4 INSTEAD OF EACH ROW); an error it does not handle fails the statement,
// as Oracle stacks it.
void runBody(Session& ses, const std::shared_ptr<Unit>& unit, Scope& sc, const TriggerEvent& ev,
             const std::string& name, int section = -1) {
  // a trigger whose work fires it again stops where Oracle's recursive SQL does
  if (triggerDepth >= 50) throw OraError(36);
  Run r(ses, *unit);
  r.trigger = &ev;
  ++triggerDepth;
  struct Down {
    ~Down() { --triggerDepth; }
  } down;
  try {
    if (section < 0) {
      r.scopes.push_back(&sc);
      r.block(*unit->block);
    } else {
      // the declarations are made when the statement first fires a part, and kept until it ends
      auto& c = state(ses).compound[name];
      if (!c.scope || c.unit != unit) {
        c.unit = unit;
        c.scope = std::make_unique<Scope>();
        r.scopes.push_back(c.scope.get());
        for (const Decl& d : unit->block->decls) r.declare(*c.scope, d);
      } else {
        r.scopes.push_back(c.scope.get());
      }
      r.scopes.push_back(&sc);
      if (static_cast<size_t>(section) < unit->block->body.size()) r.stmt(*unit->block->body[static_cast<size_t>(section)]);
    }
  } catch (OraError& e) {
    if (e.code == 1013 && e.detail == "runaway") throw;
    if (e.text.size() > 1000) throw; // a long chain of triggers: the first lines tell enough
    std::string at = where(unit->src, unit->toks[std::min(r.lastAt, unit->toks.size() - 1)].pos);
    std::string line = at.substr(0, at.find(','));
    e.text += "\nORA-06512: at \"" + ses.user + "." + name + "\", " + line + "\nORA-04088: error during execution of trigger '" +
              ses.user + "." + name + "'";
    throw;
  }
}

// ora_trigger(name, event, columns, old values..., new values...): a row trigger's body for one
// row. The event is INSERT, UPDATE or DELETE, followed by "+" when the body's :NEW values are
// kept for ora_trigger_new; each column is its name after a letter, D for a DATE, N for a
// NUMBER and T for any other, joined by the unit separator 0x1F.
void fireRow(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  Session& ses = *static_cast<Session*>(sqlite3_user_data(ctx));
  try {
    if (argc < 3) throw OraError(909);
    auto text = [&](int i) {
      const unsigned char* p = sqlite3_value_text(argv[i]);
      return std::string(p ? reinterpret_cast<const char*>(p) : "");
    };
    std::string name = text(0), event = text(1), spec = text(2);
    bool keep = !event.empty() && event.back() == '+';
    if (keep) event.pop_back();
    // INSTEAD OF: the body does the row's work, which counts as the statement's
    bool instead = !event.empty() && event.back() == '#';
    if (instead) event.pop_back();
    // a compound trigger's BEFORE, AFTER or INSTEAD OF EACH ROW part
    char part = event.empty() ? 0 : event.back();
    int section = part == '<' ? 1 : part == '>' ? 2 : part == '^' ? 4 : -1;
    if (section > 0) event.pop_back();
    if (section == 4) instead = true;
    std::vector<std::string> cols;
    std::vector<char> kinds;
    for (size_t i = 0; i < spec.size();) {
      size_t e = spec.find('\x1f', i);
      if (e == std::string::npos) e = spec.size();
      std::string c = spec.substr(i, e - i);
      if (c.empty()) throw OraError(909);
      kinds.push_back(c[0]);
      cols.push_back(c.substr(1));
      i = e + 1;
    }
    if (static_cast<size_t>(argc) != 3 + 2 * cols.size()) throw OraError(909);
    const Loaded& l = load(ses, name);
    std::shared_ptr<Unit> unit = l.unit;
    std::string table = l.table, newName = l.newName, oldName = l.oldName;
    if (keep) {
      // the row it writes must have the table's columns: one changed since needs the trigger made again
      Catalog cat(ses.db, ses.user, &ses);
      auto now = cat.columns(table);
      bool same = now.size() == cols.size();
      for (size_t c = 0; same && c < cols.size(); ++c) same = now[c].name == cols[c];
      if (!same) throw invalidTrigger(ses, name);
    }
    Scope sc;
    Var oldRow, newRow;
    oldRow.record = newRow.record = true;
    oldRow.type.kind = newRow.type.kind = TypeSpec::Record;
    oldRow.fieldNames = newRow.fieldNames = cols;
    TriggerEvent ev;
    ev.updating = event == "UPDATE";
    // a TIMESTAMP or INTERVAL column's value is one of its type, as a variable of it holds
    auto rowValue = [&](size_t c, sqlite3_value* v) {
      Val x = sqlValue(v, kinds[c]);
      if (auto it = l.stamps.find(cols[c]); it != l.stamps.end() && x.k == Val::Str) x = datetimeValue(x.s, it->second);
      return x;
    };
    for (size_t c = 0; c < cols.size(); ++c) {
      TypeSpec ts;
      if (auto it = l.stamps.find(cols[c]); it != l.stamps.end()) {
        const ColType& ct = it->second;
        ts.kind = TypeSpec::Date;
        ts.dt = ct.code;
        ts.localZone = ct.localZone;
        ts.precision = isInterval(ct.code) ? ct.precision : ct.scale;
        ts.scale = ct.scale;
      }
      oldRow.fieldTypes.push_back(ts);
      newRow.fieldTypes.push_back(ts);
      oldRow.fields.push_back(rowValue(c, argv[3 + c]));
      newRow.fields.push_back(rowValue(c, argv[3 + cols.size() + c]));
      const Val &a = oldRow.fields.back(), &b = newRow.fields.back();
      if (ev.updating && (a.k != b.k || a.s != b.s)) ev.columns.insert(cols[c]);
    }
    sc.vars[oldName] = std::move(oldRow);
    sc.vars[newName] = std::move(newRow);
    predicates(sc, event);
    // the table is mutating unless one row is inserted by VALUES
    TriggerState& s = state(ses);
    bool mutating = !instead;
    Dml* dml = nullptr;
    for (auto it = s.dml.rbegin(); it != s.dml.rend(); ++it)
      if (it->table == table) {
        dml = &*it;
        mutating = mutating && !(it->verb == "INSERT" && it->singleRow);
        if (it->knownColumns && ev.updating) ev.columns = it->columns;
        break;
      }
    if (mutating) mutatingTables.push_back(table);
    struct Pop {
      bool on;
      ~Pop() {
        if (on) mutatingTables.pop_back();
      }
    } pop{mutating};
    runBody(ses, unit, sc, ev, name, section);
    if (instead && dml) {
      if (s.insteadCounter.empty()) s.insteadCounter = name;
      if (s.insteadCounter == name) ++s.insteadRows;
    }
    if (keep) {
      const Var& made = sc.vars[newName];
      if (dml && ev.updating)
        for (size_t c = 0; c < cols.size(); ++c) {
          const Val& given = rowValue(c, argv[3 + cols.size() + c]);
          if (given.k != made.fields[c].k || given.s != made.fields[c].s) dml->setByTriggers.insert(cols[c]);
        }
      s.newRows[name] = made.fields;
      ++s.diverted;
    }
    sqlite3_result_null(ctx);
  } catch (const OraError& e) {
    sqlite3_result_error(ctx, e.text.c_str(), -1);
  } catch (const std::bad_alloc&) {
    sqlite3_result_error_nomem(ctx);
  } catch (...) {
    sqlite3_result_error(ctx, "ORA-00600: internal error in a trigger", -1);
  }
}

// ora_trigger_new(name, i): column i of the row the trigger's body made.
void newValue(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Session& ses = *static_cast<Session*>(sqlite3_user_data(ctx));
  try {
    const unsigned char* p = sqlite3_value_text(argv[0]);
    auto& rows = state(ses).newRows;
    auto it = rows.find(p ? reinterpret_cast<const char*>(p) : "");
    int64_t i = sqlite3_value_int64(argv[1]);
    if (it == rows.end() || i < 0 || static_cast<size_t>(i) >= it->second.size()) {
      sqlite3_result_null(ctx);
      return;
    }
    sqlResult(ctx, it->second[static_cast<size_t>(i)]);
  } catch (...) {
    sqlite3_result_error_nomem(ctx);
  }
}

// ora_updating(table, columns joined by 0x1F): whether an UPDATE OF trigger fires for the row
// being written: the statement sets one of them, or a BEFORE trigger did.
void updatingColumns(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Session& ses = *static_cast<Session*>(sqlite3_user_data(ctx));
  try {
    const unsigned char* t = sqlite3_value_text(argv[0]);
    const unsigned char* c = sqlite3_value_text(argv[1]);
    std::string table = t ? reinterpret_cast<const char*>(t) : "", list = c ? reinterpret_cast<const char*>(c) : "";
    const Dml* dml = nullptr;
    if (ses.plsqlPackages) {
      auto& all = state(ses).dml;
      for (auto it = all.rbegin(); it != all.rend() && !dml; ++it)
        if (it->table == table) dml = &*it;
    }
    bool fires = !dml || dml->verb != "UPDATE" || !dml->knownColumns;
    for (size_t i = 0; !fires && i < list.size();) {
      size_t e = list.find('\x1f', i);
      if (e == std::string::npos) e = list.size();
      std::string col = list.substr(i, e - i);
      fires = dml->columns.count(col) > 0 || dml->setByTriggers.count(col) > 0;
      i = e + 1;
    }
    sqlite3_result_int(ctx, fires ? 1 : 0);
  } catch (...) {
    sqlite3_result_error_nomem(ctx);
  }
}

// ora_trigger_row(rowid): the row a BEFORE INSERT trigger's body made was written there.
void divertedRow(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Session& ses = *static_cast<Session*>(sqlite3_user_data(ctx));
  try {
    state(ses).divertedRowid = sqlite3_value_int64(argv[0]);
    sqlite3_result_null(ctx);
  } catch (...) {
    sqlite3_result_error_nomem(ctx);
  }
}

struct StatementTrigger {
  std::string name, timing;
};

bool fires(const std::string& events, const std::string& verb) {
  std::string all = " OR " + events + " OR ";
  if (verb == "MERGE")
    return all.find(" OR INSERT OR ") != std::string::npos || all.find(" OR UPDATE OR ") != std::string::npos ||
           all.find(" OR DELETE OR ") != std::string::npos;
  return all.find(" OR " + verb + " OR ") != std::string::npos;
}

void fireStatement(Session& ses, const std::string& name, const Dml& dml, int section = -1) {
  const std::string& verb = dml.verb;
  const Loaded& l = load(ses, name);
  std::shared_ptr<Unit> unit = l.unit;
  Scope sc;
  predicates(sc, verb == "MERGE" ? "INSERT" : verb);
  TriggerEvent ev;
  ev.updating = verb == "UPDATE";
  ev.allColumns = !dml.knownColumns;
  ev.columns = dml.columns;
  runBody(ses, unit, sc, ev, name, section);
}

// INSERT ... VALUES: the translation inserts from VALUES rather than a query.
bool singleRowInsert(const Translation& t) {
  if (t.verb != "INSERT") return false;
  size_t v = t.sql.find(" VALUES (");
  size_t s = t.sql.find("SELECT ");
  return v != std::string::npos && (s == std::string::npos || v < s);
}

// The columns an UPDATE's SET clause names ("SET c = ..., (d, e) = ..."); false when it cannot tell.
bool setColumns(const std::string& sql, std::set<std::string>& out) {
  std::vector<Tok> t;
  try {
    t = tokens(sql);
  } catch (const OraError&) {
    return false;
  }
  size_t k = 0;
  while (k < t.size() && !(t[k].kind == T::Word && t[k].text == "SET")) ++k;
  if (k == t.size()) return false;
  int depth = 0;
  bool start = true; // where a column or a "(" list of them may begin
  for (++k; k < t.size() && t[k].kind != T::End; ++k) {
    const Tok& w = t[k];
    if (w.kind == T::Op && w.text == "(") {
      ++depth;
      continue;
    }
    if (w.kind == T::Op && w.text == ")") {
      --depth;
      continue;
    }
    if (depth == 0 && w.kind == T::Word && (w.text == "WHERE" || w.text == "RETURNING" || w.text == "FROM")) break;
    if (depth == 0 && w.kind == T::Op && w.text == ",") { start = true; continue; }
    if (depth == 0 && w.kind == T::Op && w.text == "=") { start = false; continue; }
    if (start && depth <= 1 && (w.kind == T::Word || w.kind == T::QWord)) out.insert(w.text);
  }
  return !out.empty();
}

} // namespace

} // namespace ora::pl

namespace ora {

std::string triggerBlockText(const std::string& body, const std::string& newName, const std::string& oldName) {
  std::string out = body;
  auto word = [&](size_t i) {
    size_t e = i;
    while (e < out.size() && (std::isalnum(static_cast<unsigned char>(out[e])) || out[e] == '_' || out[e] == '$' ||
                              out[e] == '#'))
      ++e;
    std::string w = out.substr(i, e - i);
    for (auto& c : w) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return std::make_pair(w, e);
  };
  for (size_t i = 0; i < out.size();) {
    char c = out[i];
    if (c == '\'') {
      size_t e = i + 1;
      while (e < out.size() && !(out[e] == '\'' && (e + 1 >= out.size() || out[e + 1] != '\''))) e += out[e] == '\'' ? 2 : 1;
      i = e + 1;
    } else if (c == '"') {
      size_t e = out.find('"', i + 1);
      i = e == std::string::npos ? out.size() : e + 1;
    } else if (out.compare(i, 2, "--") == 0) {
      size_t e = out.find('\n', i);
      i = e == std::string::npos ? out.size() : e;
    } else if (out.compare(i, 2, "/*") == 0) {
      size_t e = out.find("*/", i + 2);
      i = e == std::string::npos ? out.size() : e + 2;
    } else if (c == ':' && i + 1 < out.size() && out[i + 1] != '=') {
      auto [w, e] = word(i + 1);
      if (w == newName || w == oldName) out[i] = ' ';
      i = e > i + 1 ? e : i + 1;
    } else {
      ++i;
    }
  }
  return out;
}

void checkTriggerBody(const std::string& body, const std::string& newName, const std::string& oldName,
                      const std::vector<std::string>& columns, bool before, std::vector<std::string>& assigned) {
  pl::parseBlock(triggerBlockText(body, newName, oldName));
  // :NEW and :OLD name the row's columns, and only a BEFORE row trigger sets :NEW
  auto orig = pl::tokens(body);
  for (size_t k = 0; k + 1 < orig.size(); ++k) {
    if (!(orig[k].kind == pl::T::Op && orig[k].text == ":" && orig[k + 1].kind == pl::T::Word)) continue;
    const std::string& rec = orig[k + 1].text;
    if (rec != newName && rec != oldName) continue;
    if (columns.empty()) throw OraError(4082);
    if (!(k + 3 < orig.size() && orig[k + 2].text == "." && orig[k + 3].kind != pl::T::End)) {
      OraError e(6550);
      e.text = "ORA-06550: " + pl::where(body, orig[k].pos) + ":\nPLS-00049: bad bind variable '" + rec + "'";
      throw e;
    }
    const std::string& col = orig[k + 3].text;
    bool known = false;
    for (const auto& c : columns) known = known || c == col;
    if (!known) {
      OraError e(6550);
      e.text = "ORA-06550: " + pl::where(body, orig[k].pos) + ":\nPLS-00049: bad bind variable '" + rec + "." + col + "'";
      throw e;
    }
    // an assignment, or a SELECT ... INTO target
    bool target = k + 4 < orig.size() && orig[k + 4].text == ":=";
    for (size_t b = k; !target && b-- > 0;) {
      const std::string& w = orig[b].text;
      if (orig[b].kind == pl::T::Op && w == ";") break;
      if (orig[b].kind == pl::T::Word && (w == "FROM" || w == "WHERE")) break;
      if (orig[b].kind == pl::T::Word && w == "INTO") target = b > 0 && orig[b - 1].text != "INSERT";
      if (orig[b].kind == pl::T::Word && (w == "SELECT" || w == "FETCH")) break;
    }
    if (!target) continue;
    if (rec == oldName) throw OraError(4085);
    if (!before) throw OraError(4084);
    if (std::find(assigned.begin(), assigned.end(), col) == assigned.end()) assigned.push_back(col);
  }
}

int64_t insertedRowid(Session& ses) {
  if (ses.plsqlPackages) {
    int64_t r = pl::state(ses).statementRowid;
    if (r >= 0) return r;
  }
  return sqlite3_last_insert_rowid(ses.db);
}

static int64_t runTriggeredDmlOf(Session& ses, const Translation& t, const std::function<int64_t()>& run);

int64_t runTriggeredDml(Session& ses, const Translation& t, const std::function<int64_t()>& run) {
  if (ses.plsqlPackages) pl::state(ses).statementRowid = -1;
  if (t.target.empty()) return run();
  // the schema's functions the statement calls may not read or change the table it changes
  // (one row inserted by VALUES aside), as its row triggers may not
  bool calls = t.sql.find("ora_plsql") != std::string::npos || t.sql.find("ora_obj_call") != std::string::npos ||
               t.sql.find("ora_obj_static") != std::string::npos;
  if (calls && !pl::singleRowInsert(t)) {
    pl::mutatingTables.push_back(t.target);
    struct Pop {
      ~Pop() { pl::mutatingTables.pop_back(); }
    } pop;
    return runTriggeredDmlOf(ses, t, run);
  }
  return runTriggeredDmlOf(ses, t, run);
}

// The statement with its statement triggers around it.
static int64_t runTriggeredDmlOf(Session& ses, const Translation& t, const std::function<int64_t()>& run) {
  // every DML statement asks this, so the answer is kept until the schema changes
  auto memo = ses.schemaMemo();
  auto found = memo->triggers.find(t.target);
  if (found == memo->triggers.end()) {
    SchemaMemo::Triggers tg;
    if (sqlite3_stmt* st = ses.cachedStatement("SELECT NAME, TRIGGER_TYPE, EVENT FROM \"TESSEL$TRIGGERS\" WHERE TABLE_NAME = ?1"
                                               " AND VALID = 1 AND (TRIGGER_TYPE LIKE '% STATEMENT' OR TRIGGER_TYPE = 'COMPOUND') AND NAME NOT IN"
                                               " (SELECT NAME FROM \"TESSEL$TRIGGER_STATE\" WHERE ENABLED = 0) ORDER BY rowid")) {
      sqlite3_bind_text(st, 1, t.target.c_str(), static_cast<int>(t.target.size()), SQLITE_TRANSIENT);
      while (sqlite3_step(st) == SQLITE_ROW)
        tg.statement.push_back({pl::columnText(st, 0), pl::columnText(st, 1), pl::columnText(st, 2)});
      sqlite3_reset(st);
      sqlite3_clear_bindings(st);
    }
    if (sqlite3_stmt* st = ses.cachedStatement("SELECT 1 FROM sqlite_schema WHERE type = 'trigger' AND tbl_name = ?1"
                                               " AND sql LIKE '%ora_trigger(%' LIMIT 1")) {
      sqlite3_bind_text(st, 1, t.target.c_str(), static_cast<int>(t.target.size()), SQLITE_TRANSIENT);
      tg.row = sqlite3_step(st) == SQLITE_ROW;
      sqlite3_reset(st);
      sqlite3_clear_bindings(st);
    }
    found = memo->triggers.emplace(t.target, std::move(tg)).first;
  }
  std::vector<pl::StatementTrigger> before, after;
  bool rowTriggers = found->second.row;
  for (const auto& st : found->second.statement) {
    if (!pl::fires(st[2], t.verb)) continue;
    if (st[1] == "COMPOUND" || st[1].rfind("BEFORE", 0) == 0) before.push_back({st[0], st[1]});
    if (st[1] == "COMPOUND" || st[1].rfind("BEFORE", 0) != 0) after.push_back({st[0], st[1]});
  }
  if (before.empty() && after.empty() && !rowTriggers) return run();
  pl::TriggerState& s = pl::state(ses);
  pl::Dml dml{t.target, t.verb, pl::singleRowInsert(t), false, {}, {}};
  if (t.verb == "UPDATE") dml.knownColumns = pl::setColumns(t.sql, dml.columns);
  s.dml.push_back(dml);
  int64_t outer = s.diverted, outerInstead = s.insteadRows;
  std::string outerCounter = std::move(s.insteadCounter);
  s.diverted = 0;
  s.insteadRows = 0;
  s.insteadCounter.clear();
  // a compound trigger's state lasts for the statement
  std::vector<std::string> compound;
  for (const auto& b : before)
    if (b.timing == "COMPOUND") {
      compound.push_back(b.name);
      s.compound.erase(b.name);
    }
  struct Restore {
    pl::TriggerState& s;
    int64_t outer, outerInstead;
    std::string& outerCounter;
    const std::vector<std::string>& compound;
    ~Restore() {
      s.dml.pop_back();
      s.diverted = outer;
      s.insteadRows = outerInstead;
      s.insteadCounter = std::move(outerCounter);
      for (const auto& c : compound) s.compound.erase(c);
    }
  } restore{s, outer, outerInstead, outerCounter, compound};
  // the triggers' work is part of the statement: undone with it
  // Inside another statement's trigger (an INSTEAD OF trigger's INSERT ... SELECT) SQLite opens no
  // savepoint while that statement writes: the enclosing statement's own undoes the work then.
  int rc = execOne(ses.db, "SAVEPOINT \"TRIGGERS$\"");
  bool saved = rc == SQLITE_OK;
  if (!saved && (rc & 0xff) != SQLITE_BUSY) throw fromSqlite(rc, sqlite3_errmsg(ses.db), t.verb);
  try {
    for (const auto& b : before) pl::fireStatement(ses, b.name, dml, b.timing == "COMPOUND" ? 0 : -1);
    int64_t rows = run() + s.diverted + s.insteadRows;
    int64_t rowid = s.diverted > 0 && t.verb == "INSERT" ? s.divertedRowid : -1;
    for (const auto& a : after) pl::fireStatement(ses, a.name, dml, a.timing == "COMPOUND" ? 3 : -1);
    s.statementRowid = rowid;
    if (saved) execOne(ses.db, "RELEASE \"TRIGGERS$\"");
    return rows;
  } catch (...) {
    if (saved) {
      execOne(ses.db, "ROLLBACK TO \"TRIGGERS$\"");
      execOne(ses.db, "RELEASE \"TRIGGERS$\"");
    }
    if (ses.autonomous) autonomousRolledBackTo(ses); // what autonomous triggers committed stays
    throw;
  }
}

void registerTriggerFunctions(sqlite3* db, Session* ses) {
  sqlite3_create_function(db, "ora_trigger", -1, SQLITE_UTF8, ses, pl::fireRow, nullptr, nullptr);
  sqlite3_create_function(db, "ora_trigger_new", 2, SQLITE_UTF8, ses, pl::newValue, nullptr, nullptr);
  sqlite3_create_function(db, "ora_updating", 2, SQLITE_UTF8, ses, pl::updatingColumns, nullptr, nullptr);
  sqlite3_create_function(db, "ora_trigger_row", 1, SQLITE_UTF8, ses, pl::divertedRow, nullptr, nullptr);
}

void prepareError(Session& ses, const Translation& t, OraError& e) {
  if (size_t dot = e.detail.find('.'); e.code == 904 && dot != std::string::npos &&
                                        e.detail.find('.', dot + 1) == std::string::npos) {
    Catalog cat(ses.db, ses.user, &ses);
    if (!cat.objectTypeOf(e.detail.substr(0, dot), "PACKAGE").empty()) {
      OraError p(6553);
      p.text = "ORA-06553: PLS-221: '" + e.detail.substr(dot + 1) + "' is not a procedure or is undefined";
      p.pos = e.pos;
      e = p;
      return;
    }
  }
  if ((e.code != 942 && e.code != 904) || t.kind != StmtKind::Dml || t.target.empty()) return;
  sqlite3_stmt* st = ses.cachedStatement("SELECT NAME, BODY FROM \"TESSEL$TRIGGERS\" WHERE TABLE_NAME = ?1 ORDER BY rowid");
  if (!st) return;
  sqlite3_bind_text(st, 1, t.target.c_str(), static_cast<int>(t.target.size()), SQLITE_TRANSIENT);
  std::vector<std::pair<std::string, std::string>> triggers;
  while (sqlite3_step(st) == SQLITE_ROW) triggers.emplace_back(pl::columnText(st, 0), pl::columnText(st, 1));
  sqlite3_reset(st);
  sqlite3_clear_bindings(st);
  Catalog cat(ses.db, ses.user, &ses);
  for (const auto& [name, body] : triggers)
    if (!pl::sqlNamesPresent(body, cat)) {
      e = pl::invalidTrigger(ses, name);
      return;
    }
}

} // namespace ora
