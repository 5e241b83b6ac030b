// Names a stored procedure or function assigns to, calls or reads that nothing declares:
// PLS-00201 at compile time, as Oracle reports them, instead of a unit that compiles and fails
// when it runs. Only the plainest places are checked (an assignment's target, a called
// procedure's name, the bare names of the values assigned, returned and tested) against every
// name the unit declares anywhere, the schema's objects and what SQL itself knows, so that a
// name some scope does declare is never reported.
#include "PlsqlCompile.h"

#include "OraError.h"
#include "PlsqlImpl.h"
#include "SqlTranslate.h"

#include <algorithm>
#include <map>
#include <optional>
#include <sqlite3.h>

namespace ora::pl {

namespace {

void declaredNames(const Block& b, std::set<std::string>& out);

void declaredNames(const Stmts& list, std::set<std::string>& out) {
  for (const auto& s : list) {
    if (s->kind == Stmt::ForNum || s->kind == Stmt::ForCursor || s->kind == Stmt::Forall) out.insert(s->name);
    if (!s->label.empty()) out.insert(s->label);
    if (s->block) declaredNames(*s->block, out);
    declaredNames(s->body, out);
    for (const Stmts& b : s->bodies) declaredNames(b, out);
  }
}

void declaredNames(const Block& b, std::set<std::string>& out) {
  if (!b.label.empty()) out.insert(b.label);
  for (const Decl& d : b.decls) {
    out.insert(d.name);
    if (!d.sub) continue;
    out.insert(d.sub->name);
    for (const Param& p : d.sub->params) out.insert(p.name);
    if (d.sub->block) declaredNames(*d.sub->block, out);
  }
  declaredNames(b.body, out);
  for (const Handler& h : b.handlers) declaredNames(h.body, out);
}

// The plain types (NUMBER, text, DATE, BOOLEAN) of names the unit declares once only, so that
// no scope can mean another declaration of the name.
void declaredTypes(const Block& b, std::map<std::string, TypeSpec>& types, std::set<std::string>& twice);

void declaredTypes(const Stmts& list, std::map<std::string, TypeSpec>& types, std::set<std::string>& twice) {
  for (const auto& s : list) {
    if (s->kind == Stmt::ForNum || s->kind == Stmt::ForCursor || s->kind == Stmt::Forall) twice.insert(s->name);
    if (s->block) declaredTypes(*s->block, types, twice);
    declaredTypes(s->body, types, twice);
    for (const Stmts& b : s->bodies) declaredTypes(b, types, twice);
  }
}

void declare(const std::string& name, const TypeSpec& t, std::map<std::string, TypeSpec>& types,
             std::set<std::string>& twice) {
  if (!types.emplace(name, t).second) twice.insert(name);
}

void declaredTypes(const Block& b, std::map<std::string, TypeSpec>& types, std::set<std::string>& twice) {
  for (const Decl& d : b.decls) {
    declare(d.name, d.kind == Decl::Var ? d.type : TypeSpec{}, types, twice);
    if (!d.sub) continue;
    declare(d.sub->name, TypeSpec{}, types, twice);
    for (const Param& p : d.sub->params) declare(p.name, p.type, types, twice);
    if (d.sub->block) declaredTypes(*d.sub->block, types, twice);
  }
  declaredTypes(b.body, types, twice);
  for (const Handler& h : b.handlers) declaredTypes(h.body, types, twice);
}

// Whether a type is one of the plain kinds the check compares.
bool plainKind(const TypeSpec& t) {
  return t.anchor.empty() && !t.rowtype &&
         (t.kind == TypeSpec::Number || t.kind == TypeSpec::Text || t.kind == TypeSpec::Date ||
          t.kind == TypeSpec::Bool);
}

struct Finder {
  const Unit& u;
  const std::set<std::string>& declared;
  Catalog& cat;
  const std::set<std::string>& readOnly;        // IN parameters no inner scope declares again
  std::vector<std::pair<size_t, size_t>> found; // statement's token, the name's token
  std::vector<std::pair<size_t, size_t>> assignedInParameter;
  std::vector<std::pair<size_t, size_t>> missingComponent; // of DBMS_OUTPUT or a package of the schema
  std::map<std::string, std::optional<std::set<std::string>>> packages; // public names by package
  std::vector<std::pair<size_t, size_t>> missingColumn;    // a SQL statement's name that is no column
  std::map<std::string, bool> unknownInSql;     // a bare name SQL has no value for
  std::map<std::string, TypeSpec> types;        // plain types of names declared once
  std::vector<std::pair<size_t, size_t>> wrongType; // a value no conversion makes the target's type
  std::vector<std::pair<size_t, size_t>> wrongInit; // the same in a declaration's default
  std::vector<std::pair<size_t, size_t>> badCall;   // a SQL function given a wrong number of arguments
  std::vector<std::pair<size_t, size_t>> onlyInSql; // DECODE or an aggregate outside SQL
  std::vector<std::pair<size_t, size_t>> outputArguments; // DBMS_OUTPUT.PUT[_LINE]: statement, member
  std::vector<std::pair<size_t, size_t>> undeclaredTarget; // an INTO target nothing declares
  const TypeSpec* returning = nullptr;              // the return type of the function walked

  // Whether a range is a condition: a comparison, IS [NOT] NULL, AND, OR, NOT ... outside any
  // parentheses or CASE, whatever its operands are.
  bool condition(Range r) const {
    const auto& t = u.toks;
    static const std::set<std::string> ops = {"=", "<>", "!=", "^=", "~=", "<", ">", "<=", ">="};
    static const std::set<std::string> words = {"IS", "AND", "OR", "NOT", "BETWEEN", "LIKE", "IN", "EXISTS"};
    int depth = 0, cases = 0;
    bool seenTop = false; // a parenthesis at the top closed before the end
    for (size_t k = r.b; k < r.e; ++k) {
      if (t[k].kind == T::Op && t[k].text == "(") ++depth;
      else if (t[k].kind == T::Op && t[k].text == ")") {
        // (condition) as a whole: the first parenthesis closes at the end
        if (--depth == 0 && op(r.b, "(") && k + 1 == r.e && k > r.b + 1 && !seenTop) return condition(Range{r.b + 1, k});
        if (depth == 0) seenTop = true;
      }
      else if (depth || t[k].kind == T::Str) continue;
      else if (t[k].kind == T::Word && t[k].text == "CASE") ++cases;
      else if (t[k].kind == T::Word && t[k].text == "END" && cases) --cases;
      else if (!cases && t[k].kind == T::Op && ops.count(t[k].text)) return true;
      else if (!cases && t[k].kind == T::Word && words.count(t[k].text) && !(k > r.b && op(k - 1, "."))) return true;
    }
    return false;
  }

  // The kind of a value that is one literal or one name of a plain type, or a condition;
  // Unknown otherwise.
  TypeSpec::K valueKind(Range r) const {
    const auto& t = u.toks;
    if (r.e == r.b + 2 && r.e <= t.size() && t[r.b].kind == T::Word && t[r.b].text == "DATE" && t[r.b + 1].kind == T::Str)
      return TypeSpec::Date;
    if (r.e > r.b + 1 && r.e <= t.size() && condition(r)) return TypeSpec::Bool;
    if (r.e != r.b + 1 || r.b >= t.size()) return TypeSpec::Unknown;
    if (t[r.b].kind == T::Num) return TypeSpec::Number;
    if (t[r.b].kind == T::Str) return TypeSpec::Text;
    if (t[r.b].kind != T::Word) return TypeSpec::Unknown;
    if (t[r.b].text == "TRUE" || t[r.b].text == "FALSE") return TypeSpec::Bool;
    auto it = types.find(t[r.b].text);
    return it != types.end() && plainKind(it->second) ? it->second.kind : TypeSpec::Unknown;
  }

  // PL/SQL converts numbers and dates to text and text to both, but never a number to a date or
  // back, nor anything to or from BOOLEAN.
  static bool convertible(TypeSpec::K to, TypeSpec::K from) {
    if (to == TypeSpec::Unknown || from == TypeSpec::Unknown || to == from) return true;
    if (to == TypeSpec::Bool || from == TypeSpec::Bool) return false;
    return to == TypeSpec::Text || from == TypeSpec::Text;
  }

  bool wrongValue(const TypeSpec& target, Range value) const {
    return plainKind(target) && !convertible(target.kind, valueKind(value));
  }

  bool schemaObject(const std::string& name) {
    sqlite3_stmt* st = nullptr;
    bool known = true; // when the dictionary cannot say, the name is not reported
    if (sqlite3_prepare_v2(cat.db(), "SELECT 1 FROM \"TESSEL$OBJECTS\" WHERE NAME = ?1", -1, &st, nullptr) == SQLITE_OK) {
      sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
      known = sqlite3_step(st) == SQLITE_ROW;
    }
    sqlite3_finalize(st);
    return known;
  }

  // The names a package of the schema declares in its specification; null when the name is no
  // package of the schema, or its specification does not compile (calling it reports that).
  const std::set<std::string>* packageMembers(const std::string& name) {
    auto it = packages.find(name);
    if (it == packages.end()) {
      std::optional<std::set<std::string>> members;
      if (std::string spec = cat.unitSource(name, "PACKAGE"); !spec.empty()) {
        try {
          std::shared_ptr<Unit> p = parsePackage(spec, {});
          members.emplace();
          for (const Decl& d : p->publicDecls) {
            members->insert(d.name);
            if (d.sub) members->insert(d.sub->name);
          }
        } catch (const std::exception&) {
          members.reset();
        }
      } else if (const std::set<std::string>* supplied = functionPackageMembers(name)) {
        members = *supplied;
        if (name == "DBMS_RANDOM") members->insert({"SEED", "INITIALIZE", "TERMINATE"});
      }
      it = packages.emplace(name, std::move(members)).first;
    }
    return it->second ? &*it->second : nullptr;
  }

  // The first member named in a range (PKG.NAME) that the schema's package PKG does not
  // declare: the member's token, else SIZE_MAX.
  size_t missingMember(Range r) {
    const auto& t = u.toks;
    for (size_t k = r.b; k + 2 < r.e && k + 2 < t.size(); ++k) {
      if (t[k].kind != T::Word || !op(k + 1, ".") || t[k + 2].kind != T::Word || (k > 0 && op(k - 1, ".")) ||
          t[k].text[0] == ':' || declared.count(t[k].text))
        continue;
      const std::set<std::string>* members = packageMembers(t[k].text);
      if (members && !members->count(t[k + 2].text)) return k + 2;
    }
    return SIZE_MAX;
  }

  bool op(size_t m, const char* o) const { return m < u.toks.size() && u.toks[m].kind == T::Op && u.toks[m].text == o; }

  // Whether SQL takes a statement; false with the bare name it has no column for.
  bool sqlTakes(const std::string& sql, std::string& unknown) {
    try {
      Translation tr = translate(sql, cat);
      sqlite3_stmt* st = nullptr;
      // a query, or DML that is one plain statement (prepared, never run)
      bool plain = tr.kind == StmtKind::Query ||
                   (tr.kind == StmtKind::Dml && tr.moreSql.empty() && tr.actions.empty() && !tr.unshared);
      int rc = plain && !tr.sql.empty() ? sqlite3_prepare_v2(cat.db(), tr.sql.c_str(), -1, &st, nullptr) : SQLITE_OK;
      std::string msg = rc == SQLITE_OK ? std::string() : sqlite3_errmsg(cat.db());
      sqlite3_finalize(st);
      if (rc != SQLITE_OK) throw fromSqlite(rc, msg, "SELECT");
    } catch (const OraError& e) {
      if (e.code != 904) return true; // only a name SQL cannot find is reported
      unknown = e.detail;
      if (unknown.size() > 2 && unknown.front() == '"' && unknown.back() == '"') unknown = unknown.substr(1, unknown.size() - 2);
      return unknown.find('.') != std::string::npos || unknown.find('"') != std::string::npos;
    }
    return true;
  }

  // The first bare name of a value that is neither declared nor known to SQL (a column of DUAL,
  // a function without arguments, a word of the language); SIZE_MAX when there is none.
  size_t unknownName(Range r) {
    // the language's own words, and names SQL does not have
    static const std::set<std::string> words = {
        "AND", "OR", "NOT", "IS", "NULL", "TRUE", "FALSE", "IN", "LIKE", "BETWEEN", "ESCAPE", "CASE", "WHEN",
        "THEN", "ELSE", "END", "MOD", "REM", "AS", "DATE", "TIMESTAMP", "INTERVAL", "DAY", "TO", "SECOND",
        "YEAR", "MONTH", "EXISTS", "ANY", "ALL", "SOME", "PRIOR", "DISTINCT", "SQLCODE", "SQLERRM", "SQL"};
    const auto& t = u.toks;
    for (size_t k = r.b; k < r.e && k < t.size(); ++k) {
      if (t[k].kind != T::Word || t[k].text.empty() || t[k].text[0] == ':' || declared.count(t[k].text) ||
          words.count(t[k].text))
        continue;
      // qualified names, calls, attributes and named arguments are not bare names
      if ((k > 0 && (op(k - 1, ".") || op(k - 1, "%"))) || op(k + 1, ".") || op(k + 1, "(") || op(k + 1, "%") ||
          op(k + 1, "=>") || op(k + 1, "@"))
        continue;
      // ... and only a word where an operand stands is one: not the words of IS NAN, MEMBER OF,
      // MULTISET UNION, DATE '...', PASSING and the like
      static const std::set<std::string> before = {"AND", "OR", "NOT", "THEN", "ELSE", "WHEN", "CASE",
                                                   "BETWEEN", "LIKE", "MOD", "REM"};
      static const std::set<std::string> after = {"AND", "OR", "THEN", "ELSE", "WHEN", "END", "IS", "IN",
                                                  "NOT", "LIKE", "BETWEEN", "MOD", "REM", "LOOP", "ESCAPE"};
      // where an operand may begin: a prefix NOT is one place, the NOT of IS NOT, NOT IN and
      // NOT MEMBER OF is none
      auto opens = [&](size_t m) {
        if (m < r.b || m >= t.size()) return true;
        if (t[m].kind == T::Op) return !op(m, ")");
        if (t[m].kind != T::Word || !before.count(t[m].text)) return false;
        return t[m].text != "NOT" || m == r.b || (t[m - 1].kind == T::Op && !op(m - 1, ")")) ||
               (t[m - 1].kind == T::Word && t[m - 1].text != "NOT" && before.count(t[m - 1].text));
      };
      bool leads = k == r.b || opens(k - 1);
      bool ends = k + 1 >= r.e || (t[k + 1].kind == T::Op && !op(k + 1, "(")) ||
                  (t[k + 1].kind == T::Word && after.count(t[k + 1].text));
      if (!leads || !ends) continue;
      auto known = unknownInSql.find(t[k].text);
      if (known == unknownInSql.end()) {
        // the word as written: quoted, SYSDATE or USER would be a column's name; a word token
        // holds letters, digits, _, $ and # only
        std::string name;
        bool unknown = !sqlTakes("SELECT " + t[k].text + " FROM DUAL", name);
        known = unknownInSql.emplace(t[k].text, unknown).first;
      }
      if (known->second && !schemaObject(t[k].text)) return k;
    }
    return SIZE_MAX;
  }

  // A SELECT INTO or DML naming a column its tables do not have: the statement as SQL sees it,
  // a query's INTO list left out and the unit's own names (variables, parameters, records, calls of
  // its functions) read as NULL, so that only the query's own names are looked for.
  // SQL text of a range with the unit's own values (its names, the calls of its functions, SQLCODE
  // and SQLERRM) read as NULL; `from` gets the token each piece of the text starts at.
  std::string asSql(Range r, Range leaveOut, std::vector<std::pair<size_t, size_t>>& from) const {
    const auto& t = u.toks;
    std::string sql;
    for (size_t k = r.b; k < r.e && k < t.size(); ++k) {
      if (k == leaveOut.b && !leaveOut.empty()) {
        k = leaveOut.e - 1;
        continue;
      }
      sql += ' ';
      from.emplace_back(sql.size(), k);
      bool value = declared.count(t[k].text) || t[k].text == "SQLCODE" || t[k].text == "SQLERRM";
      if (t[k].kind == T::Word && value && !(k > 0 && op(k - 1, "."))) {
        if (op(k + 1, "(")) {
          for (int depth = 0; k < r.e; ++k) {
            if (op(k, "(")) ++depth;
            else if (op(k, ")") && --depth == 0) break;
          }
        } else {
          while (op(k + 1, ".") && k + 2 < r.e && t[k + 2].kind == T::Word) k += 2;
        }
        sql += "NULL";
        continue;
      }
      sql += u.src.substr(t[k].pos, t[k].end - t[k].pos);
    }
    return sql;
  }

  // A SELECT INTO or DML naming a column its tables do not have: the statement as SQL sees it,
  // a query's INTO list left out and the unit's own names read as NULL, so that only the query's
  // own names are looked for.
  size_t unknownColumn(const Stmt& s) {
    const auto& t = u.toks;
    // TABLE(v) of the unit's collection: its columns are the collection's, known when it runs
    for (size_t k = s.expr.b; k + 2 < s.expr.e && k + 2 < t.size(); ++k)
      if (t[k].kind == T::Word && t[k].text == "TABLE" && op(k + 1, "(") && t[k + 2].kind == T::Word &&
          declared.count(t[k + 2].text))
        return SIZE_MAX;
    std::vector<std::pair<size_t, size_t>> from;
    std::string sql = asSql(s.expr, s.target, from);
    std::string unknown;
    if (sqlTakes(sql, unknown)) return SIZE_MAX;
    for (size_t k = s.expr.b; k < s.expr.e && k < t.size(); ++k)
      if (t[k].kind == T::Word && t[k].text == unknown && !declared.count(unknown) && !(k > 0 && op(k - 1, ".")) &&
          !op(k + 1, "."))
        return k;
    return SIZE_MAX;
  }

  // The first call in a range of one of the functions named (SQL's own, which PL/SQL does not
  // have) outside a query, else SIZE_MAX.
  size_t sqlOnly(Range r, const std::set<std::string>& names) const {
    const auto& t = u.toks;
    for (size_t k = r.b; k + 1 < r.e && k + 1 < t.size(); ++k) {
      if (t[k].kind != T::Word || !op(k + 1, "(") || !names.count(t[k].text) || declared.count(t[k].text)) continue;
      if (k > 0 && (op(k - 1, ".") || (t[k - 1].kind == T::Word && t[k - 1].text == "SELECT"))) continue;
      // ... but a query inside the range is SQL
      bool inQuery = false;
      for (size_t m = r.b; m < k && !inQuery; ++m) inQuery = t[m].kind == T::Word && t[m].text == "SELECT";
      if (!inQuery) return k;
    }
    return SIZE_MAX;
  }

  // A call of one of SQL's functions with too few or too many arguments: its name's token, else
  // SIZE_MAX.
  size_t wrongArguments(Range r) {
    const auto& t = u.toks;
    bool calls = false;
    for (size_t k = r.b; k + 1 < r.e && k + 1 < t.size() && !calls; ++k)
      calls = t[k].kind == T::Word && op(k + 1, "(") && !declared.count(t[k].text) && !(k > 0 && op(k - 1, "."));
    if (!calls) return SIZE_MAX;
    std::vector<std::pair<size_t, size_t>> from;
    std::string sql = "SELECT" + asSql(r, {}, from) + " FROM DUAL";
    try {
      translate(sql, cat);
    } catch (const OraError& e) {
      if ((e.code != 909 && e.code != 938 && e.code != 939) || e.pos < 6) return SIZE_MAX;
      size_t at = static_cast<size_t>(e.pos) - 6, k = SIZE_MAX;
      for (auto [offset, token] : from)
        if (offset <= at) k = token;
      if (k != SIZE_MAX && t[k].kind == T::Word && op(k + 1, "(")) return k;
    } catch (const std::exception&) {
      // what SQL cannot read at all is no arity error; the block reports it when it runs
    }
    return SIZE_MAX;
  }

  void walk(const Stmts& list) {
    const auto& t = u.toks;
    for (const auto& s : list) {
      bool dml = s->kind == Stmt::Sql && s->returnInto.empty() && s->expr.b < t.size() && t[s->expr.b].kind == T::Word &&
                 (t[s->expr.b].text == "INSERT" || t[s->expr.b].text == "UPDATE" || t[s->expr.b].text == "DELETE");
      // a SELECT's INTO targets are the unit's names, never SQL's
      if (s->kind == Stmt::SelectInto)
        for (const Range& c : s->conds)
          if (c.b < t.size() && t[c.b].kind == T::Word && t[c.b].text[0] != ':' && !declared.count(t[c.b].text) &&
              !schemaObject(t[c.b].text)) {
            undeclaredTarget.emplace_back(s->at, c.b);
            break;
          }
      if ((s->kind == Stmt::SelectInto && !s->target.empty()) || dml)
        if (size_t k = unknownColumn(*s); k != SIZE_MAX) missingColumn.emplace_back(s->at, k);
      if (s->kind == Stmt::Assign || s->kind == Stmt::Return || s->kind == Stmt::While)
        if (size_t k = unknownName(s->expr); k != SIZE_MAX) found.emplace_back(s->at, k);
      if (s->kind == Stmt::If)
        for (const Range& c : s->conds)
          if (size_t k = unknownName(c); k != SIZE_MAX) {
            found.emplace_back(s->at, k);
            break;
          }
      if (s->kind == Stmt::Assign && s->target.e == s->target.b + 1 && t[s->target.b].kind == T::Word &&
          t[s->target.b].text[0] != ':' && !declared.count(t[s->target.b].text))
        found.emplace_back(s->at, s->target.b);
      std::vector<Range> values;
      if (s->kind == Stmt::Assign || s->kind == Stmt::Return || s->kind == Stmt::While) values.push_back(s->expr);
      if (s->kind == Stmt::If || s->kind == Stmt::Call) values = s->conds;
      {
        std::vector<Range> named = values;
        if (s->kind == Stmt::Assign) named.push_back(s->target);
        if (s->kind == Stmt::Call) named.push_back(Range{s->at, std::min(s->at + 3, t.size())});
        for (const Range& v : named)
          if (size_t k = missingMember(v); k != SIZE_MAX) {
            missingComponent.emplace_back(s->at, k);
            break;
          }
      }
      for (const Range& v : values) {
        // DECODE and the aggregates PL/SQL knows to be SQL's; NVL2 it does not know at all
        static const std::set<std::string> sqlOnlyNames = {"DECODE", "COUNT", "SUM", "AVG", "MIN",
                                                           "MAX", "STDDEV", "VARIANCE"};
        if (size_t k = sqlOnly(v, sqlOnlyNames); k != SIZE_MAX) {
          onlyInSql.emplace_back(s->at, k);
          break;
        }
        if (size_t k = sqlOnly(v, {"NVL2"}); k != SIZE_MAX) {
          found.emplace_back(s->at, k);
          break;
        }
        if (size_t k = wrongArguments(v); k != SIZE_MAX) {
          badCall.emplace_back(s->at, k);
          break;
        }
      }
      if (s->kind == Stmt::Return && returning && wrongValue(*returning, s->expr))
        wrongType.emplace_back(s->at, s->expr.b);
      if (s->kind == Stmt::Assign && s->target.e == s->target.b + 1 && t[s->target.b].kind == T::Word)
        if (auto it = types.find(t[s->target.b].text); it != types.end() && wrongValue(it->second, s->expr))
          wrongType.emplace_back(s->at, s->expr.b);
      if (s->kind == Stmt::Assign && s->target.e == s->target.b + 1 && t[s->target.b].kind == T::Word &&
          readOnly.count(t[s->target.b].text))
        assignedInParameter.emplace_back(s->at, s->target.b);
      if (s->kind == Stmt::Call && s->name.find('.') == std::string::npos && s->at < t.size() &&
          t[s->at].kind == T::Word && s->name != "RAISE_APPLICATION_ERROR" && s->name != "PIPE" &&
          !declared.count(s->name) && !schemaObject(s->name))
        found.emplace_back(s->at, s->at);
      static const std::set<std::string> output = {"ENABLE", "DISABLE", "PUT", "PUT_LINE", "NEW_LINE", "GET_LINE", "GET_LINES"};
      if (s->kind == Stmt::Call && s->name.rfind("DBMS_OUTPUT.", 0) == 0 && !declared.count("DBMS_OUTPUT") &&
          s->at + 2 < t.size() && !output.count(s->name.substr(12)))
        missingComponent.emplace_back(s->at, s->at + 2);
      // PUT and PUT_LINE take one text: a BOOLEAN, or another count of arguments, fits neither
      if (s->kind == Stmt::Call && (s->name == "DBMS_OUTPUT.PUT_LINE" || s->name == "DBMS_OUTPUT.PUT") &&
          !declared.count("DBMS_OUTPUT") && s->at + 2 < t.size() &&
          (s->conds.size() != 1 || valueKind(s->conds[0]) == TypeSpec::Bool))
        outputArguments.emplace_back(s->at, s->at + 2);
      if (s->block) walk(*s->block);
      walk(s->body);
      for (const Stmts& b : s->bodies) walk(b);
    }
  }
  void walk(const Block& b) {
    for (const Decl& d : b.decls) {
      if (d.kind == Decl::Var && !d.init.empty() && wrongValue(d.type, d.init)) wrongInit.emplace_back(d.at, d.init.b);
      if (d.sub && d.sub->block) {
        const TypeSpec* outer = returning;
        returning = d.sub->function ? &d.sub->ret : nullptr;
        walk(*d.sub->block);
        returning = outer;
      }
    }
    walk(b.body);
    for (const Handler& h : b.handlers) walk(h.body);
  }
};

} // namespace

namespace {

// One name a unit cannot compile with: the error at the name and the statement it ignores.
struct Issue {
  size_t statement, name;
  int number;
  std::string text, ignored;
};

std::vector<Issue> nameIssues(Catalog& cat, const Unit& u) {
  std::set<std::string> declared, inner, readOnly;
  declaredNames(*u.block, inner);
  for (const Param& p : u.params)
    if (p.in && !p.out && !inner.count(p.name)) readOnly.insert(p.name);
  declared = inner;
  for (const Param& p : u.params) declared.insert(p.name);
  if (!u.name.empty()) declared.insert(u.name);
  Finder f{u, declared, cat, readOnly, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}};
  std::set<std::string> twice;
  declaredTypes(*u.block, f.types, twice);
  for (const Param& p : u.params) declare(p.name, p.type, f.types, twice);
  if (!u.name.empty()) declare(u.name, TypeSpec{}, f.types, twice);
  for (const std::string& name : twice) f.types.erase(name);
  if (u.sub && u.sub->function) f.returning = &u.sub->ret;
  f.walk(*u.block);
  std::vector<Issue> out;
  const char* ignored = "PL/SQL: Statement ignored";
  for (auto [statement, name] : f.found)
    out.push_back({statement, name, 201, "PLS-00201: identifier '" + u.toks[name].text + "' must be declared", ignored});
  for (auto [statement, name] : f.assignedInParameter)
    out.push_back({statement, name, 363,
                   "PLS-00363: expression '" + u.toks[name].text + "' cannot be used as an assignment target", ignored});
  for (auto [statement, name] : f.missingColumn)
    out.push_back({statement, name, 904, "PL/SQL: ORA-00904: \"" + u.toks[name].text + "\": invalid identifier",
                   "PL/SQL: SQL Statement ignored"});
  for (auto [statement, name] : f.onlyInSql)
    out.push_back({statement, name, 204,
                   "PLS-00204: function or pseudo-column '" + u.toks[name].text + "' may be used inside a SQL statement only",
                   ignored});
  for (auto [statement, name] : f.undeclaredTarget)
    out.push_back({statement, name, 201, "PLS-00201: identifier '" + u.toks[name].text + "' must be declared",
                   "PL/SQL: SQL Statement ignored"});
  for (auto [statement, member] : f.outputArguments)
    out.push_back({statement, statement, 306,
                   "PLS-00306: wrong number or types of arguments in call to '" + u.toks[member].text + "'", ignored});
  for (auto [statement, name] : f.badCall)
    out.push_back({statement, name, 306,
                   "PLS-00306: wrong number or types of arguments in call to '" + u.toks[name].text + "'", ignored});
  for (auto [statement, value] : f.wrongType)
    out.push_back({statement, value, 382, "PLS-00382: expression is of wrong type", ignored});
  for (auto [declaration, value] : f.wrongInit)
    out.push_back({declaration, value, 382, "PLS-00382: expression is of wrong type", "PL/SQL: Item ignored"});
  for (auto [statement, name] : f.missingComponent)
    out.push_back({statement, name, 302, "PLS-00302: component '" + u.toks[name].text + "' must be declared", ignored});
  std::stable_sort(out.begin(), out.end(), [&](const Issue& x, const Issue& y) {
    return u.toks[x.statement].pos < u.toks[y.statement].pos;
  });
  return out;
}

} // namespace

std::vector<CompileError> undeclaredErrors(Catalog& cat, const std::string& src) {
  std::vector<CompileError> out;
  std::shared_ptr<Unit> u = parsedProcedure(src);
  if (!u || !u->block) return out;
  for (const Issue& i : nameIssues(cat, *u)) {
    out.push_back(errorAt(src, u->toks[i.statement].pos, 0, i.ignored));
    out.push_back(errorAt(src, u->toks[i.name].pos, i.number, i.text));
  }
  // in the order of the text, as USER_ERRORS lists them
  std::stable_sort(out.begin(), out.end(), [](const CompileError& a, const CompileError& b) {
    return a.line != b.line ? a.line < b.line : a.column < b.column;
  });
  return out;
}

bool blockNameError(Catalog& cat, const Unit& u, OraError& error) {
  if (!u.block) return false;
  std::vector<Issue> issues = nameIssues(cat, u);
  if (issues.empty()) return false;
  // each name's error, then the statement it stops, as the block's compilation lists them
  error = OraError(6550);
  error.text.clear();
  for (const Issue& i : issues) {
    if (!error.text.empty()) error.text += "\n";
    error.text += "ORA-06550: " + where(u.src, u.toks[i.name].pos) + ":\n" + i.text + "\nORA-06550: " +
                  where(u.src, u.toks[i.statement].pos) + ":\n" + i.ignored;
  }
  error.pos = static_cast<int>(u.toks[issues[0].name].pos);
  return true;
}

} // namespace ora::pl
