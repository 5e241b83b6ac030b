// SQLite's EXPLAIN QUERY PLAN in Oracle's terms: scans become TABLE ACCESS FULL, index searches
// INDEX RANGE / UNIQUE SCAN under TABLE ACCESS BY INDEX ROWID, the loops over several tables
// NESTED LOOPS (HASH JOIN where SQLite builds an index on the fly), and the temporary trees for
// ORDER BY, GROUP BY and DISTINCT the sorts above them.
#include "ExplainPlan.h"

#include "OraError.h"
#include "SqlLexer.h"
#include "SqlText.h"

#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <sqlite3.h>

namespace ora {

namespace {

struct Line {
  int id = 0, parent = 0;
  std::string detail;
};

struct Op {
  std::string operation, options, object, type;
  std::vector<Op> kids;
};

bool starts(const std::string& s, const char* p) { return s.rfind(p, 0) == 0; }
bool has(const std::string& s, const char* p) { return s.find(p) != std::string::npos; }

// The word after `key` in `s` ("SCAN EMP AS E": EMP after "SCAN ").
std::string wordAfter(const std::string& s, const std::string& key) {
  size_t b = s.find(key);
  if (b == std::string::npos) return {};
  b += key.size();
  size_t e = s.find(' ', b);
  return s.substr(b, e == std::string::npos ? std::string::npos : e - b);
}

class Planner {
public:
  Planner(sqlite3* db, std::vector<Line> lines, std::map<std::string, std::string> aliases)
      : db_(db), lines_(std::move(lines)), aliases_(std::move(aliases)) {}

  // `sorted`: a member of a compound merged in order, whose own sort belongs to the compound
  std::vector<Op> block(int parent, bool sorted = false) {
    std::vector<const Line*> kids;
    for (const Line& l : lines_)
      if (l.parent == parent) kids.push_back(&l);
    std::vector<Op> access, extra;
    std::vector<bool> hashed, outer;
    bool orderBy = false, groupBy = false, distinct = false;
    for (const Line* l : kids) {
      const std::string& d = l->detail;
      if (starts(d, "CO-ROUTINE ") || starts(d, "MATERIALIZE ")) {
        views_[wordAfter(d, " ")] = block(l->id);
      } else if (starts(d, "SCAN ") || starts(d, "SEARCH ")) {
        access.push_back(tableAccess(d));
        hashed.push_back(has(d, "AUTOMATIC"));
        outer.push_back(has(d, "LEFT-JOIN"));
      } else if (starts(d, "USE TEMP B-TREE FOR ")) {
        if (has(d, "ORDER BY")) orderBy = !sorted;
        else if (has(d, "GROUP BY")) groupBy = true;
        else if (has(d, "DISTINCT")) distinct = true;
      } else if (starts(d, "COMPOUND QUERY") || starts(d, "MERGE (")) {
        access.push_back(compound(*l));
        hashed.push_back(false);
        outer.push_back(false);
      } else if (has(d, "SUBQUERY")) {
        for (Op& o : block(l->id)) extra.push_back(std::move(o));
      } else if (starts(d, "MULTI-INDEX OR")) {
        for (Op& o : block(l->id)) access.push_back(std::move(o));
        while (hashed.size() < access.size()) hashed.push_back(false), outer.push_back(false);
      }
    }
    // the subqueries' steps come before those of the rows they serve
    std::vector<Op> out = std::move(extra);
    if (!access.empty()) {
      Op cur = std::move(access[0]);
      for (size_t k = 1; k < access.size(); ++k) {
        Op join;
        join.operation = hashed[k] ? "HASH JOIN" : "NESTED LOOPS";
        join.options = outer[k] ? "OUTER" : "";
        join.kids.push_back(std::move(cur));
        join.kids.push_back(std::move(access[k]));
        cur = std::move(join);
      }
      if (distinct) cur = wrap("HASH", "UNIQUE", std::move(cur));
      if (groupBy) cur = wrap(orderBy ? "SORT" : "HASH", "GROUP BY", std::move(cur));
      else if (orderBy) cur = wrap("SORT", "ORDER BY", std::move(cur));
      out.push_back(std::move(cur));
    }
    return out;
  }

private:
  static Op wrap(const char* operation, const char* options, Op inner) {
    Op w;
    w.operation = operation;
    w.options = options;
    w.kids.push_back(std::move(inner));
    return w;
  }

  // COMPOUND QUERY with a first member and UNION ALL, UNION USING TEMP B-TREE, ... after it; or
  // MERGE (UNION) of a LEFT and a RIGHT member, each read in order
  Op compound(const Line& c) {
    Op all;
    all.operation = "UNION-ALL";
    bool merged = starts(c.detail, "MERGE (");
    bool unique = merged && c.detail == "MERGE (UNION)", ordered = merged && c.detail == "MERGE (UNION ALL)";
    if (has(c.detail, "EXCEPT")) all.operation = "MINUS";
    if (has(c.detail, "INTERSECT")) all.operation = "INTERSECTION";
    for (const Line& l : lines_) {
      if (l.parent != c.id) continue;
      if (starts(l.detail, "UNION USING")) unique = true;
      else if (starts(l.detail, "EXCEPT")) all.operation = "MINUS";
      else if (starts(l.detail, "INTERSECT")) all.operation = "INTERSECTION";
      std::vector<Op> member = block(l.id, merged);
      for (Op& o : member) all.kids.push_back(std::move(o));
    }
    if (all.operation != "UNION-ALL") return all;
    if (unique) return wrap("SORT", "UNIQUE", std::move(all));
    return ordered ? wrap("SORT", "ORDER BY", std::move(all)) : all;
  }

  Op tableAccess(const std::string& d) {
    Op t;
    bool scan = starts(d, "SCAN ");
    std::string name = wordAfter(d, scan ? "SCAN " : "SEARCH ");
    if (auto a = aliases_.find(name); a != aliases_.end()) name = a->second; // SQLite names the alias
    t.operation = "TABLE ACCESS";
    t.object = name;
    t.type = "TABLE";
    if (name == "CONSTANT") {
      t = Op{};
      t.operation = "FAST DUAL";
      return t;
    }
    if (name == "DUAL") {
      t = Op{};
      t.operation = "FAST DUAL";
      return t;
    }
    if (auto v = views_.find(name); v != views_.end()) {
      t.operation = "VIEW";
      t.type = "VIEW";
      if (name.starts_with("(")) t.object.clear(), t.type.clear(); // an unnamed inline view
      t.kids = v->second;
      return t;
    }
    if (name.rfind("TESSEL$", 0) == 0) {
      t.operation = "FIXED TABLE";
      t.options = "FULL";
      t.type = "TABLE (FIXED)";
      return t;
    }
    if (has(d, "INTEGER PRIMARY KEY")) {
      t.options = "BY USER ROWID";
      return t;
    }
    std::string index = wordAfter(d, "INDEX ");
    bool automatic = has(d, "AUTOMATIC");
    if (index.empty() || automatic) {
      t.options = "FULL";
      return t;
    }
    Op ix;
    ix.operation = "INDEX";
    ix.object = indexName(name, index);
    bool unique = uniqueIndex(index);
    ix.type = unique ? "INDEX (UNIQUE)" : "INDEX";
    if (scan) ix.options = "FULL SCAN";
    else ix.options = unique && equalities(d) == indexColumns(index) ? "UNIQUE SCAN" : "RANGE SCAN";
    if (has(d, "COVERING INDEX")) return ix;
    t.options = "BY INDEX ROWID";
    t.kids.push_back(std::move(ix));
    return t;
  }

  int pragmaCount(const char* sql, const std::string& arg) {
    sqlite3_stmt* st = nullptr;
    int n = 0;
    if (sqlite3_prepare_v2(db_, sql, -1, &st, nullptr) == SQLITE_OK) {
      sqlite3_bind_text(st, 1, arg.c_str(), -1, SQLITE_TRANSIENT);
      if (sqlite3_step(st) == SQLITE_ROW) n = sqlite3_column_int(st, 0);
    }
    sqlite3_finalize(st);
    return n;
  }

  bool uniqueIndex(const std::string& index) {
    return pragmaCount("SELECT \"unique\" FROM sqlite_schema s, pragma_index_list(s.tbl_name) l"
                       " WHERE s.type = 'index' AND s.name = ?1 AND l.name = ?1",
                       index) != 0;
  }
  int indexColumns(const std::string& index) {
    return pragmaCount("SELECT COUNT(*) FROM pragma_index_info(?1)", index);
  }
  static int equalities(const std::string& d) {
    if (has(d, ">") || has(d, "<")) return -1;
    int n = 0;
    for (size_t p = d.find("=?"); p != std::string::npos; p = d.find("=?", p + 2)) ++n;
    return n;
  }

  // The index of a key constraint is known by the constraint's name.
  std::string indexName(const std::string& table, const std::string& index) {
    if (index.rfind("sqlite_autoindex_", 0) != 0) return index;
    sqlite3_stmt* st = nullptr;
    std::string name = index;
    if (sqlite3_prepare_v2(db_,
                           "SELECT NAME FROM \"TESSEL$CONSTRAINTS\" WHERE TABLE_NAME = ?1 AND TYPE IN ('P', 'U')"
                           " ORDER BY TYPE, rowid LIMIT 1 OFFSET ?2",
                           -1, &st, nullptr) == SQLITE_OK) {
      sqlite3_bind_text(st, 1, table.c_str(), -1, SQLITE_TRANSIENT);
      int nth = std::atoi(index.c_str() + index.rfind('_') + 1);
      sqlite3_bind_int(st, 2, nth > 0 ? nth - 1 : 0);
      if (sqlite3_step(st) == SQLITE_ROW) name = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    }
    sqlite3_finalize(st);
    return name;
  }

  sqlite3* db_;
  std::vector<Line> lines_;
  std::map<std::string, std::vector<Op>> views_;
  std::map<std::string, std::string> aliases_;
};

// The tables of the statement by the aliases it gives them ("EMP" E, "EMP" AS E).
std::map<std::string, std::string> tableAliases(sqlite3* db, const std::string& sql) {
  std::map<std::string, std::string> out;
  std::vector<sql::Token> t;
  try {
    t = sql::lex(sql);
  } catch (const OraError&) {
    return out;
  }
  static const std::set<std::string> notAlias = {"ON", "WHERE", "JOIN", "LEFT", "RIGHT", "INNER", "CROSS", "FULL",
      "NATURAL", "USING", "ORDER", "GROUP", "HAVING", "UNION", "EXCEPT", "INTERSECT", "LIMIT", "SET", "WINDOW",
      "INDEXED", "NOT", "VALUES", "SELECT", "DEFAULT", "RETURNING", "AS"};
  auto named = [&](size_t k) {
    return k < t.size() && (t[k].kind == sql::Tok::QIdent || (t[k].kind == sql::Tok::Ident && !notAlias.count(t[k].text)));
  };
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "SELECT 1 FROM sqlite_schema WHERE type IN ('table', 'view') AND name = ?1", -1, &st, nullptr);
  for (size_t k = 0; st && k + 1 < t.size(); ++k) {
    if (!named(k)) continue;
    size_t a = k + 1;
    if (a < t.size() && t[a].kind == sql::Tok::Ident && t[a].text == "AS") ++a;
    if (!named(a)) continue;
    sqlite3_bind_text(st, 1, t[k].text.c_str(), -1, SQLITE_TRANSIENT);
    bool table = sqlite3_step(st) == SQLITE_ROW;
    sqlite3_reset(st);
    if (table && t[a].text != t[k].text) out.emplace(t[a].text, t[k].text);
  }
  sqlite3_finalize(st);
  return out;
}

std::vector<Line> queryPlan(sqlite3* db, const std::string& sql) {
  std::vector<Line> out;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, ("EXPLAIN QUERY PLAN " + sql).c_str(), -1, &st, nullptr) == SQLITE_OK) {
    while (sqlite3_step(st) == SQLITE_ROW) {
      const unsigned char* d = sqlite3_column_text(st, 3);
      out.push_back({sqlite3_column_int(st, 0), sqlite3_column_int(st, 1), d ? reinterpret_cast<const char*>(d) : ""});
    }
  }
  sqlite3_finalize(st);
  return out;
}

void number(const Op& o, int parent, int depth, int position, std::vector<PlanStep>& out) {
  PlanStep s;
  s.id = static_cast<int>(out.size());
  s.parent = parent;
  s.depth = depth;
  s.position = position;
  s.operation = o.operation;
  s.options = o.options;
  s.objectName = o.object;
  s.objectType = o.type;
  out.push_back(s);
  int pos = 0;
  for (const Op& k : o.kids) number(k, s.id, depth + 1, ++pos, out);
}

} // namespace

std::vector<PlanStep> planSteps(sqlite3* db, const std::string& verb, const std::string& target,
                                const std::vector<std::string>& sqls, bool aggregate) {
  Op top;
  top.operation = verb + " STATEMENT";
  Op* body = &top;
  if (verb != "SELECT") {
    Op w;
    w.operation = verb == "INSERT" ? "LOAD TABLE" : verb;
    w.options = verb == "INSERT" ? "CONVENTIONAL" : "";
    w.object = target;
    w.type = verb == "INSERT" ? "" : "TABLE";
    top.kids.push_back(std::move(w));
    body = &top.kids.back();
  }
  for (const std::string& sql : sqls) {
    std::vector<Op> ops = Planner(db, queryPlan(db, sql), tableAliases(db, sql)).block(0);
    // UPDATE and DELETE find their rows by the scan of their own table
    for (Op& o : ops) body->kids.push_back(std::move(o));
  }
  if (aggregate && verb == "SELECT" && !top.kids.empty()) {
    Op a;
    a.operation = "SORT";
    a.options = "AGGREGATE";
    a.kids.push_back(std::move(top.kids.front()));
    top.kids.front() = std::move(a);
  }
  std::vector<PlanStep> out;
  number(top, -1, 0, 0, out);
  return out;
}

} // namespace ora
