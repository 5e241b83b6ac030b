#include "SqlTranslate.h"
#include "Roles.h"
#include "ObjectGrants.h"
#include "Contexts.h"
#include "Audit.h"
#include "DatabaseLinks.h"
#include "OlderDdl.h"
#include "SampleClause.h"
#include "NewerSyntax.h"
#include "XmlGenCalls.h"
#include "Collections.h"
#include "ObjectTypes.h"
#include "CType.h"
#include "TranslateImpl.h"
#include "OraFunctions.h"
#include "Plsql.h"
#include "DdlPartition.h"
#include "MergeStatement.h"
#include "CollectionDml.h"
#include "ErrorLogging.h"
#include "FlashbackQuery.h"
#include "SqlTokens.h"
#include "LinguisticSort.h"
#include "SessionRows.h"
#include "ValidPeriods.h"
#include "DeferredConstraints.h"
#include "PrivateTemporary.h"
#include "ExplainPlan.h"
#include "PivotClause.h"
#include "MatchRecognize.h"
#include "ModelClause.h"
#include "ViewDml.h"
#include "RecycleBin.h"
#include "MaterializedViews.h"
#include "Domains.h"
#include "Clusters.h"

#include "Dictionary.h"
#include "OraError.h"
#include "Session.h"
#include "SqlParser.h"
#include "QueryScopes.h"
#include "HierarchyJoin.h"
#include "Number.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>
#include <set>
#include <unordered_map>
#include <sqlite3.h>

namespace ora::tx {

Translation Translator::run() {
  if (t_.empty()) throw OraError(900);
  approxAggregates();
  replace_.assign(size(), {});
  skip_.assign(size(), 0);
  pin_.assign(size(), 0);
  // the sizes a type names after AS (CAST(x AS NUMBER(7,2))) shape the result: a statement with
  // other sizes is another statement
  for (size_t i = 0; i < size(); ++i) {
    if (!is(t_[i], "AS")) continue;
    for (size_t m = i + 1, words = 0; m < size() && words < 6;) {
      if (t_[m].kind == Token::Ident) {
        ++words;
        ++m;
      } else if (is(t_[m], "(") && words > 0) {
        size_t close = matching(m);
        for (size_t n = m + 1; n < close; ++n)
          if (t_[n].kind == Token::Num) pin_[n] = 1;
        m = close + 1;
      } else {
        break;
      }
    }
  }
  // value COLLATE name: SQLite's postfix operator, under the collation that sorts as that one does
  for (size_t i = 1; i + 1 < size(); ++i)
    if (is(t_[i], "COLLATE") && (t_[i + 1].kind == Token::Ident || t_[i + 1].kind == Token::QIdent) &&
        !(t_[i - 1].kind == Token::Ident && sql::reservedWord(t_[i - 1].text) && !is(t_[i - 1], "NULL")) &&
        fn::knownCollation(t_[i + 1].text)) {
      replace_[i] = "COLLATE " + quoteIdent(fn::collationName(t_[i + 1].text));
      skip_[i + 1] = 1;
    }
  for (size_t i = 0; i + 1 < size(); ++i)
    if (t_[i].kind == Token::Ident && (t_[i].text == "TO_BINARY_DOUBLE" || t_[i].text == "TO_BINARY_FLOAT") &&
        is(t_[i + 1], "(") && !(i > 0 && is(t_[i - 1], "."))) {
      binary_[i] = t_[i].text == "TO_BINARY_DOUBLE" ? 1 : 2;
      t_[i].text = "TO_NUMBER";
    }
  // outside a stored procedure the invoking user is the session's
  for (size_t i = 0; i < size(); ++i)
    if (t_[i].kind == Token::Ident && (t_[i].text == "ORA_INVOKING_USER" || t_[i].text == "ORA_INVOKING_USERID") &&
        !(i > 0 && is(t_[i - 1], ".")) && !is(at(i + 1), ".") && !is(at(i + 1), "("))
      t_[i].text = t_[i].text == "ORA_INVOKING_USER" ? "USER" : "UID";
  // names of WITH subqueries, which FROM may name like tables
  for (size_t i = 0; i < size(); ++i) {
    // INSERT INTO t [(c, ...)] WITH q AS (...) SELECT ...: the inserted query has one too
    bool inserted = is(t_[0], "INSERT") && i > 2 && !is(t_[i - 1], "START");
    if (!is(t_[i], "WITH") || (i > 0 && !is(t_[i - 1], "(") && !is(t_[i - 1], "AS") && !inserted)) continue;
    size_t j = i + 1;
    while (aliasToken(j)) {
      cteNames_.insert(at(j).text);
      size_t nameAt = j++;
      if (is(at(j), "(")) j = matching(j) + 1;
      if (!is(at(j), "AS") || !is(at(j + 1), "(")) break;
      guardRecursion(nameAt, j + 1);
      cteBodies_.emplace(at(nameAt).text, std::make_pair(j + 1, is(at(nameAt + 1), "(") ? nameAt + 1 : 0));
      j = matching(j + 1) + 1;
      // SEARCH ... SET c and CYCLE ... DEFAULT v before the next query's comma
      auto past = [&](const char* clause, const char* last) {
        if (!is(at(j), clause)) return;
        while (j < size() && !(t_[j].depth == t_[i].depth && is(t_[j], last))) ++j;
        j += 2;
      };
      past("SEARCH", "SET");
      past("CYCLE", "DEFAULT");
      if (!is(at(j), ",")) break;
      ++j;
    }
  }
  // A statement that names a sequence's NEXTVAL moves it once per row, and its CURRVAL gives
  // that same value, wherever it stands: the first mention of either moves it.
  std::map<std::string, size_t> firstCurrval;
  for (size_t i = 2; i < size(); ++i) {
    if (!is(t_[i - 1], ".")) continue;
    if (is(t_[i], "CURRVAL")) firstCurrval.emplace(t_[i - 2].text, i);
    if (!is(t_[i], "NEXTVAL")) continue;
    auto c = firstCurrval.find(t_[i - 2].text);
    firstNextval_.emplace(t_[i - 2].text, c == firstCurrval.end() ? i : c->second);
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
    bool force = is(at(i), "FORCE");
    if (is(at(i), "FORCE") || is(at(i), "NOFORCE")) ++i;
    if (is(at(i), "VIEW")) createView(i + 1, replace, force);
    else if (is(at(i), "SYNONYM") || (is(at(i), "PUBLIC") && is(at(i + 1), "SYNONYM")))
      createSynonym(is(at(i), "PUBLIC") ? i + 2 : i + 1, replace);
    else if (replace) throw OraError(901);
    else if (is(at(1), "MATERIALIZED") && is(at(2), "VIEW")) createMaterializedView(src_, t_, cat_, tr_);
    else if (is(at(1), "TABLE")) createTable();
    else if (is(at(1), "GLOBAL") && is(at(2), "TEMPORARY") && is(at(3), "TABLE")) createTemporaryTable();
    else if (is(at(1), "INDEX")) createIndex(false, 2);
    else if (is(at(1), "UNIQUE") && is(at(2), "INDEX")) createIndex(true, 3);
    else if (is(at(1), "BITMAP") && is(at(2), "INDEX")) createIndex(false, 3); // a storage choice
    else if (is(at(1), "SEQUENCE")) createSequence(2);
    else if (is(at(1), "USER")) createUser();
    else throw OraError(901);
  } else if (is(f, "ALTER")) {
    if (is(at(1), "TABLE")) alterTable();
    else if (is(at(1), "USER")) alterUser();
    else if (is(at(1), "SESSION")) alterSession(t_, tr_);
    else if (is(at(1), "SEQUENCE")) alterSequence();
    else if (is(at(1), "INDEX")) alterIndex();
    else if (is(at(1), "VIEW")) {
      // COMPILE: a view is checked whenever it is used; one made with FORCE before its tables is
      // made again from its text, which now may compile
      tr_.kind = StmtKind::Ddl;
      tr_.function = 88;
      std::string name;
      size_t i = objectName(2, name);
      if (!cat_.viewExists(name)) throw OraError(942, name);
      expect(i, "COMPILE", 940);
      if (i + 1 < size()) unexpected(i + 1);
      std::string text;
      sqlite3_stmt* st = nullptr;
      sqlite3_prepare_v2(cat_.db(),
                         "SELECT v.TEXT FROM \"TESSEL$VIEWS\" v JOIN sqlite_schema s ON s.name = v.NAME"
                         " WHERE v.NAME = ?1 AND s.type = 'view' AND s.sql LIKE '%TESSEL$NO\\_TABLE%' ESCAPE '\\'",
                         -1, &st, nullptr);
      sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
      if (sqlite3_step(st) == SQLITE_ROW) text = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
      sqlite3_finalize(st);
      if (!text.empty()) {
        Translation again = translate("CREATE OR REPLACE FORCE VIEW " + quoteIdent(name) + " AS " + text, cat_, false, false);
        // compiled, the view keeps its INSTEAD OF triggers, made again on it
        auto dropped = triggerRecordsDropped(name);
        for (auto& d : again.ddl)
          if (std::find(dropped.begin(), dropped.end(), d) == dropped.end()) tr_.ddl.push_back(std::move(d));
        tr_.beforeCommit.push_back([name](Session& s) { remakeTriggersOn(s, name); });
      }
    } else throw OraError(940, "ALTER " + at(1).raw + " is not supported");
  } else if (is(f, "RENAME")) rename();
  else if (is(f, "COMMENT")) comment();
  else if (is(f, "GRANT")) grant();
  else if (is(f, "REVOKE")) throw OraError(1031, "REVOKE is not supported by this engine");
  else if (is(f, "DROP")) drop();
  else if (is(f, "TRUNCATE")) truncate();
  else if (is(f, "LOCK")) lockTable();
  else if (is(f, "SET") && is(at(1), "TRANSACTION")) setTransaction();
  else if (is(f, "ANALYZE")) analyze();
  else if (is(f, "FLASHBACK")) flashbackTable(t_, cat_, tr_);
  else if (is(f, "PURGE")) purgeStatement(t_, cat_, tr_);
  else if (is(f, "COMMIT") || is(f, "ROLLBACK")) {
    tr_.kind = is(f, "COMMIT") ? StmtKind::Commit : StmtKind::Rollback;
    tr_.function = is(f, "COMMIT") ? 54 : 55;
    size_t i = 1;
    if (is(at(i), "WORK")) ++i;
    if (is(at(i), "FORCE")) {
      // an in-doubt distributed transaction by its id: none is ever left prepared here
      if (at(i + 1).kind != Token::Str) unexpected(i + 1);
      size_t j = i + 2;
      if (tr_.kind == StmtKind::Commit && is(at(j), ",")) {
        if (at(j + 1).kind != Token::Num) unexpected(j + 1);
        j += 2;
      }
      if (j < size()) unexpected(j);
      throw OraError(2058, at(i + 1).text);
    }
    if (tr_.kind == StmtKind::Rollback && is(at(i), "TO")) {
      if (is(at(++i), "SAVEPOINT")) ++i;
      if (!aliasToken(i)) unexpected(i);
      tr_.savepoint = at(i++).text;
    }
    if (tr_.kind == StmtKind::Commit) {
      // the comment is for in-doubt distributed transactions, which never arise here; every
      // commit is written and waited for, the strongest of the WRITE choices
      if (is(at(i), "COMMENT")) {
        if (at(i + 1).kind != Token::Str) unexpected(i + 1);
        i += 2;
      }
      if (is(at(i), "WRITE")) {
        ++i;
        bool wait = false, how = false;
        for (int k = 0; k < 2; ++k) {
          if (!wait && (is(at(i), "WAIT") || is(at(i), "NOWAIT"))) wait = true, ++i;
          else if (!how && (is(at(i), "IMMEDIATE") || is(at(i), "BATCH"))) how = true, ++i;
        }
      }
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
  checkOrderBy();
  if (share_)
    for (size_t i = 0; i < size(); ++i)
      if (pin_[i]) tr_.pinned.push_back(static_cast<int>(i));
  return tr_;
}

} // namespace ora::tx

namespace ora {

using namespace tx;

namespace {
// How many columns a subquery gives; 0 when a "*" leaves it to its tables.
size_t subqueryWidth(const sql::Node* q) {
  while (q && q->kind != sql::N::Select) {
    if (q->kind == sql::N::Subquery) q = q->kid(0);
    else if (q->kind == sql::N::Query) q = q->kid(sql::slot::Body);
    else if (q->kind == sql::N::SetOp) q = q->kid(0);
    else return 0;
  }
  if (!q || !q->kid(sql::slot::Items)) return 0;
  for (const sql::Node* item : q->kid(sql::slot::Items)->kids)
    if (!item || !item->kid(0) || item->kid(0)->kind == sql::N::Star) return 0;
  return q->kid(sql::slot::Items)->kids.size();
}

// Byte offsets of the "(" of every subquery that must give a single value. Iterative, so any
// tree the parser accepted is walked without deep recursion.
void scalarSubqueries(const sql::Node* root, std::set<size_t>& out, std::set<size_t>& rows) {
  std::vector<std::pair<const sql::Node*, const sql::Node*>> todo{{root, nullptr}};
  while (!todo.empty()) {
    auto [n, parent] = todo.back();
    todo.pop_back();
    if (!n) continue;
    if (n->kind == sql::N::Subquery) {
      bool listAssign = parent && parent->kind == sql::N::Assign && parent->kid(0) && parent->kid(0)->kind == sql::N::List;
      // (a, b) = (SELECT x, y ...) compares a row, not a single value
      bool rowCompare = parent && parent->kind == sql::N::Compare && parent->kid(0) &&
                        (parent->kid(0)->kind == sql::N::Row || parent->kid(0)->kind == sql::N::List);
      bool quantified = parent && parent->kind == sql::N::Compare && parent->has(sql::kAny | sql::kAll);
      bool set = parent && (parent->kind == sql::N::In || listAssign || rowCompare || quantified);
      // (a, b) = (SELECT x ...) has too few values to compare, (a) = (SELECT x, y ...) too many
      if (rowCompare && parent->kid(1) == n)
        if (size_t width = subqueryWidth(n); width && width != parent->kid(0)->kids.size())
          throw OraError(width < parent->kid(0)->kids.size() ? 947 : 913).at(static_cast<int>(n->pos));
      if (!set) out.insert(n->pos);
      else if ((listAssign || rowCompare) && !quantified) rows.insert(n->pos); // still one row only
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
    // a list of values compares only for equality (ORA-01796 otherwise, found later)
    bool row = n->kids.size() == 2 && n->kids[0] && n->kids[0]->kind == sql::N::Row;
    if (n->kind == sql::N::Compare && n->has(sql::kAny | sql::kAll) && n->kids.size() == 2 && n->kids[0] &&
        (!row || n->text == "=" || n->text == "<>") && n->kids[1]) {
      tx::Quantified q;
      q.op = n->text;
      q.all = n->has(sql::kAll);
      q.left = {n->kids[0]->pos, n->kids[0]->end};
      if (row) q.width = n->kids[0]->kids.size();
      const sql::Node* r = n->kids[1];
      bool rows = true; // every listed value a row as wide as the left side
      if (r->kind != sql::N::Subquery)
        for (const sql::Node* k : r->kids)
          rows = rows && k && k->kind == sql::N::Row && k->kids.size() == q.width;
      if (row && r->kind != sql::N::Subquery && !rows) {
        for (const sql::Node* k : n->kids) todo.push_back(k);
        continue;
      }
      if (r->kind == sql::N::Subquery) q.values.emplace_back(r->pos, r->end - 1);
      else
        for (const sql::Node* k : r->kids) {
          if (row) q.values.emplace_back(k->pos + 1, k->end - 1); // the row's values without parentheses
          else q.values.emplace_back(k->pos, k->end);
        }
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

// A sequence's NEXTVAL or CURRVAL in the tree, or null.
const sql::Node* sequenceUse(const sql::Node* n) {
  if (!n) return nullptr;
  if (n->kind == sql::N::Name && (n->text == "NEXTVAL" || n->text == "CURRVAL") && !n->kids.empty()) return n;
  for (const sql::Node* k : n->kids)
    if (const sql::Node* u = sequenceUse(k)) return u;
  return nullptr;
}

[[noreturn]] void sequenceNotAllowed(const sql::Node* use) {
  throw OraError(2287).at(static_cast<int>(use->pos));
}

// No subquery below n uses a sequence.
void noSequenceInSubqueries(const sql::Node* n) {
  if (!n) return;
  if (n->kind == sql::N::Subquery || n->kind == sql::N::Query || n->kind == sql::N::Derived) {
    if (const sql::Node* u = sequenceUse(n)) sequenceNotAllowed(u);
    return;
  }
  for (const sql::Node* k : n->kids) noSequenceInSubqueries(k);
}

// Where Oracle takes NEXTVAL and CURRVAL in a query: in the select list of the statement's own
// query, when it has no DISTINCT, GROUP BY, ORDER BY or set operator; never in a WHERE clause,
// a subquery or a view.
void sequenceQuery(const sql::Node* q) {
  if (!q || q->kind != sql::N::Query) return;
  const sql::Node* body = q->kid(sql::slot::Body);
  if (!body || body->kind != sql::N::Select) {
    if (const sql::Node* u = sequenceUse(q)) sequenceNotAllowed(u);
    return;
  }
  for (size_t k = 0; k < q->kids.size(); ++k)
    if (k != sql::slot::Body)
      if (const sql::Node* u = sequenceUse(q->kid(k))) sequenceNotAllowed(u);
  for (size_t k = 0; k < body->kids.size(); ++k)
    if (k != sql::slot::Items)
      if (const sql::Node* u = sequenceUse(body->kid(k))) sequenceNotAllowed(u);
  const sql::Node* items = body->kid(sql::slot::Items);
  if (body->has(sql::kDistinct) || body->kid(sql::slot::GroupBy) || q->kid(sql::slot::OrderBy))
    if (const sql::Node* u = sequenceUse(items)) sequenceNotAllowed(u);
  noSequenceInSubqueries(items);
}

void sequencePlaces(const sql::Node* root) {
  if (!root || !sequenceUse(root)) return;
  switch (root->kind) {
  case sql::N::Query: sequenceQuery(root); break;
  case sql::N::Insert:
    for (const sql::Node* k : root->kids) {
      if (k && k->kind == sql::N::Query) sequenceQuery(k);
      else noSequenceInSubqueries(k);
    }
    break;
  case sql::N::Update:
  case sql::N::Delete: noSequenceInSubqueries(root); break;
  case sql::N::CreateView:
    if (const sql::Node* u = sequenceUse(root)) sequenceNotAllowed(u);
    break;
  default: break;
  }
}

// Errors of a DDL statement that parsed: they come from the objects it names, not its text.
bool semanticDdlError(int code) {
  static const std::set<int> codes = {942,  955,  957,  1031, 1418, 1430, 1439, 1440, 1441,  1442,
                                      1451, 1758, 1917, 1918, 1920, 1922, 1940, 2260, 2261,  2289,
                                      2296, 2298, 2273, 2441, 2443, 4043, 4080, 4081, 12983, 12991, 12992, 2256, 2275, 1432, 1434, 1471};
  return codes.count(code) > 0;
}
} // namespace

namespace {
// CREATE [OR REPLACE] [[NO]FORCE] {EDITIONABLE | NONEDITIONABLE | EDITIONING}: the schema has one
// edition, so the word changes nothing; it becomes blanks, which keep every place in the text.
bool editionableWord(const std::string& text, std::string& out) {
  if (!startsWithWord(text, "CREATE")) return false;
  // the leading words only: the rest may be PL/SQL, which the SQL lexer does not take
  std::vector<std::pair<size_t, size_t>> words;
  for (size_t i = 0; i < text.size() && words.size() < 5;) {
    if (ora::spaceC(static_cast<unsigned char>(text[i]))) { ++i; continue; }
    if (!std::isalpha(static_cast<unsigned char>(text[i]))) break;
    size_t b = i;
    while (i < text.size() && (std::isalnum(static_cast<unsigned char>(text[i])) || text[i] == '_')) ++i;
    words.emplace_back(b, i);
  }
  auto is = [&](size_t k, const char* w) {
    if (k >= words.size()) return false;
    std::string s = text.substr(words[k].first, words[k].second - words[k].first);
    for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s == w;
  };
  size_t i = 1;
  if (is(i, "OR") && is(i + 1, "REPLACE")) i += 2;
  if (is(i, "FORCE") || is(i, "NOFORCE")) ++i;
  else if (is(i, "NO") && is(i + 1, "FORCE")) i += 2;
  if (!(is(i, "EDITIONABLE") || is(i, "NONEDITIONABLE") || is(i, "EDITIONING"))) return false;
  // EDITIONING makes a view only
  if (is(i, "EDITIONING") && !is(i + 1, "VIEW")) return false;
  out = text;
  out.replace(words[i].first, words[i].second - words[i].first, words[i].second - words[i].first, ' ');
  return true;
}

// Collations bound to data (a column's COLLATE, a table's or view's DEFAULT COLLATION, the
// session's DEFAULT_COLLATION) need MAX_STRING_SIZE = EXTENDED; this database's strings are
// STANDARD, of 4000 bytes at most. The COLLATE operator of an expression needs no such thing.
void boundCollation(const std::string& text) {
  if (!containsWord(text, "COLLATE") && !containsWord(text, "COLLATION")) return;
  sql::TokenList l(text);
  if (!l.ok || l.t.size() < 3) return; // PL/SQL: its SQL statements come here one by one
  const bool table = (l.word(0, "CREATE") || l.word(0, "ALTER")) &&
                     (l.word(1, "TABLE") || (l.word(1, "GLOBAL") && l.word(2, "TEMPORARY")));
  const bool ddl = l.word(0, "CREATE") || l.word(0, "ALTER");
  for (size_t k = 1; k + 1 < l.t.size(); ++k) {
    // a column's type, then COLLATE: its collation; in a table's query it is the operator
    if (table && l.word(k, "AS") && (l.word(k + 1, "SELECT") || l.word(k + 1, "WITH"))) break;
    bool column = table && l.word(k, "COLLATE") && l.name(k + 1);
    bool byDefault = ddl && l.word(k - 1, "DEFAULT") && l.word(k, "COLLATION");
    bool session = l.word(0, "ALTER") && l.word(1, "SESSION") && l.word(k, "DEFAULT_COLLATION");
    if (column || byDefault || session) throw OraError(43929).at(static_cast<int>(l.t[k].pos));
  }
}

// Set while a statement the session's valid time has been applied to is translated, and while DDL
// is: what DDL keeps (a view's query) is read at the valid time of its own reader.
thread_local bool validTimeApplied = false;
struct ValidTimeOff {
  bool was = validTimeApplied;
  ValidTimeOff() { validTimeApplied = true; }
  ~ValidTimeOff() { validTimeApplied = was; }
};
} // namespace

Translation translate(const std::string& text, Catalog& cat, bool share, bool deferDdlErrors) {
  if (auto nul = text.find('\0'); nul != std::string::npos) throw OraError(911).at(static_cast<int>(nul));
  std::optional<ValidTimeOff> ddl;
  if (!validTimeApplied && (startsWithWord(text, "CREATE") || startsWithWord(text, "ALTER"))) ddl.emplace();
  if (std::string plain; editionableWord(text, plain)) return translate(plain, cat, share, deferDdlErrors);
  boundCollation(text);
  planTableFor(text, cat);
  administrationOnly(text, cat.user());
  remoteReference(text, cat);
  std::string snapshot;
  if (int at = 0, grown = 0; snapshotNames(text, snapshot, at, grown)) {
    try {
      Translation t = translate(snapshot, cat, false, deferDdlErrors);
      t.unshared = true;
      if (!t.retryText.empty()) t.retryText = text; // its error is placed in the text as written
      return t;
    } catch (OraError& e) {
      // places after the name are back in the text as written; inside it, at its start
      if (e.pos >= at + 17) e.pos -= grown;
      else if (e.pos > at) e.pos = at;
      throw;
    }
  }
  if (Translation t; domainStatement(text, cat, t)) return t;
  if (Translation t; clusterStatement(text, cat, deferDdlErrors, t) || createSchema(text, cat, t)) return t;
  {
    // the written-out text is not rewritten again
    static thread_local const std::string* written = nullptr;
    std::string plain;
    std::vector<std::string> records;
    TextEdits moved;
    if (written != &text && domainRewrite(text, cat, plain, records, moved)) {
      struct Restore {
        const std::string* was;
        ~Restore() { written = was; }
      } restore{written};
      written = &plain;
      Translation t;
      try {
        t = translate(plain, cat, false, deferDdlErrors);
      } catch (OraError& e) {
        if (e.pos >= 0) e.pos = writtenPosition(e.pos, moved);
        throw;
      }
      t.unshared = true;
      if (t.kind == StmtKind::Ddl) t.ddl.insert(t.ddl.end(), records.begin(), records.end());
      return t;
    }
  }
  if (Translation t; existenceClause(text, cat, deferDdlErrors, t)) return t;
  if (std::string archival; rowArchivalDdl(text, archival)) return translate(archival, cat, share, deferDdlErrors);
  if (PeriodRewrite periods; periodDefinitions(text, cat, periods)) {
    struct Clear {
      Catalog& c;
      ~Clear() { c.periodChecks.clear(); }
    } clear{cat};
    cat.periodChecks = periods.marks;
    Translation t;
    try {
      t = translate(periods.text, cat, false, deferDdlErrors);
    } catch (OraError& e) {
      // a place in the columns and check the period stands for is the period's own
      if (e.pos >= 0) {
        TextEdits edits(1);
        for (size_t k = 0; k < periods.replaced.size(); ++k)
          edits[0].push_back({periods.replaced[k].first, periods.replaced[k].second, periods.lengths[k]});
        e.pos = writtenPosition(e.pos, edits);
      }
      throw;
    }
    if (!periods.then.empty())
      t.actions.push_back([then = periods.then, marks = periods.marks](Session& s) {
        Catalog cat(s.db, s.user, &s);
        cat.periodChecks = marks;
        s.runDdl(translate(then, cat, false, false));
      });
    t.unshared = true;
    return t;
  }
  // the rewritten text is not rewritten again
  static thread_local const std::string* older = nullptr;
  TextEdits edits;
  if (std::string plain; older != &text && newerSyntax(text, cat, plain, edits)) {
    struct Restore {
      const std::string* was;
      ~Restore() { older = was; }
    } restore{older};
    older = &plain;
    try {
      Translation t = translate(plain, cat, false, deferDdlErrors);
      t.unshared = true;
      return t;
    } catch (OraError& e) {
      if (e.pos >= 0) e.pos = writtenPosition(e.pos, edits);
      throw;
    }
  }
  if (Translation explained; explainPlan(text, cat, explained)) return explained;
  if (Translation grant; objectGrantStatement(text, cat, grant)) return grant;
  if (Translation role; roleStatement(text, cat, role)) return role;
  if (Translation context; contextStatement(text, cat, context)) return context;
  if (Translation audit; auditStatement(text, cat, audit)) return audit;
  if (Translation link; databaseLinkStatement(text, cat, link)) return link;
  if (std::string shown; xplanDisplay(text, cat, shown)) {
    Translation t = translate(shown, cat, false, deferDdlErrors);
    t.unshared = true; // the lines are those of the plan explained last
    return t;
  }
  if (std::string modelled; modelClause(text, cat, modelled)) {
    Translation t = translate(modelled, cat, false, deferDdlErrors);
    modelWrittenText(text, modelled, t);
    t.unshared = true;
    return t;
  }
  Translation out;
  auto deferred = [&](const Translation& partial) {
    Translation d;
    d.kind = StmtKind::Ddl;
    d.function = partial.function;
    d.verb = partial.verb;
    d.retryText = text;
    return d;
  };
  if (std::string query; withFunctions(text, cat, query)) {
    struct Clear {
      Catalog& c;
      ~Clear() { c.withUnit.clear(); }
    } clear{cat};
    Translation t = translate(query, cat, false, deferDdlErrors);
    t.unshared = true;
    return t;
  }
  if (setConstraints(text, out) || privateTemporaryTable(text, cat, out)) return out;
  try {
    if (!share && translatePlsql(text, cat, out)) return out;
  } catch (const OraError& e) {
    if (!deferDdlErrors || out.kind != StmtKind::Ddl || !semanticDdlError(e.code)) throw;
    return deferred(out);
  }
  if (errorLogging(text, cat, out)) return out;
  if (mergeStatement(text, cat, out) || multiInsert(text, cat, out) || collectionElementDml(text, cat, out)) return out;
  try {
    if (tx::alterPartitions(text, cat, out)) return out;
  } catch (const OraError& e) {
    // as other DDL, it fails after the commit that ends the open transaction
    if (!deferDdlErrors || out.kind != StmtKind::Ddl || !semanticDdlError(e.code)) throw;
    return deferred(out);
  }
  if (tx::partitionDml(text, cat, out)) return out;
  if (std::string rows; tx::partitionExtension(text, cat, rows)) {
    Translation t = translate(rows, cat, false, deferDdlErrors);
    t.unshared = true;
    return t;
  }
  // SQLite takes no statement that opens with a parenthesis: a query in parentheses is read as a
  // derived table, which has the same rows and columns; error places are given back in the text.
  if (size_t open = text.find_first_not_of(" \t\r\n"); open != std::string::npos && text[open] == '(') {
    static const std::string outer = "SELECT * FROM ";
    try {
      Translation t = translate(outer + text, cat, false, deferDdlErrors);
      t.unshared = true;
      return t;
    } catch (OraError& e) {
      if (e.pos >= 0) e.pos = e.pos >= static_cast<int>(outer.size()) ? e.pos - static_cast<int>(outer.size()) : static_cast<int>(open);
      throw;
    }
  }
  if (std::string rewritten; collectionOperators(text, cat, rewritten)) {
    CollectionCalls calls;
    Translation t = translate(rewritten, cat, false, deferDdlErrors);
    t.unshared = true;
    return t;
  }
  if (std::string generated; xmlGenCalls(text, cat, generated)) {
    Translation t = translate(generated, cat, false, deferDdlErrors);
    t.unshared = true;
    return t;
  }
  // the session's valid time applies once: not again to the tables of the query it was written as
  if (std::string read; flashbackClause(text, cat, !validTimeApplied, read)) {
    CollectionCalls calls; // its guard is the engine's own function
    ValidTimeOff applied;
    Translation t = translate(read, cat, false, deferDdlErrors);
    t.unshared = true;
    return t;
  }
  if (std::string sampled; sampleClause(text, sampled)) {
    Translation t = translate(sampled, cat, false, deferDdlErrors);
    t.unshared = true;
    return t;
  }
  if (std::string quoted; quoteMatchClauses(text, quoted)) {
    Translation t = translate(quoted, cat, false, deferDdlErrors);
    t.unshared = true;
    return t;
  }
  if (std::string pivoted; pivotClause(text, cat, pivoted) || unpivotClause(text, cat, pivoted)) {
    Translation t = translate(pivoted, cat, false, deferDdlErrors);
    t.unshared = true;
    return t;
  }
  if (std::string walked; hierarchyJoin(text, cat, walked)) {
    Translation t = translate(walked, cat, false, deferDdlErrors);
    t.unshared = true;
    return t;
  }
  if (std::string onTable, check; viewDml(text, cat, onTable, check)) {
    // literals stay in the text: the statement's tokens are not those of the one that runs
    Translation t = translate(onTable, cat, false, deferDdlErrors);
    t.unshared = true;
    if (!check.empty()) {
      // the check runs first and fails on a row outside the view; then the statement
      std::string guard = translate(check, cat, false).sql;
      const std::string one = "1 AS \"V$CHECK\"";
      if (auto at = guard.find(one); at != std::string::npos) {
        guard.replace(at, one.size(), "ora_raise(1402) AS \"V$CHECK\"");
        t.moreSql.insert(t.moreSql.begin(), t.sql);
        t.sql = guard;
      }
    }
    return t;
  }
  // The statement's syntax, with Oracle's error and the offending token's position; the tree
  // tells which subqueries stand for a single value.
  std::set<size_t> scalars, rowSubqueries, hoist, derived;
  std::map<size_t, std::pair<std::string, std::vector<std::pair<size_t, size_t>>>> chains;
  std::map<size_t, tx::Quantified> quantified;
  {
    auto toks = sql::lex(text);
    if (sql::parsedKind(toks)) {
      sql::Tree tree;
      sql::Parser parser(text, std::move(toks), tree);
      parser.schemaFunction = [&cat](const std::string& pkg, const std::string& name) {
        return storedFunctionType(cat, pkg, name) > 0;
      };
      sql::Node* root = parser.statement();
      if (std::string swapped; sql::havingFirst(root, text, swapped)) {
        Translation t = translate(swapped, cat, false, deferDdlErrors);
        t.unshared = true;
        return t;
      }
      sequencePlaces(root);
      sql::ambiguousDerivedColumns(root, text, cat);
      sql::naturalQualified(root, cat, text);
      sql::joinScopes(root);
      scalarSubqueries(root, scalars, rowSubqueries);
      deepSubqueries(root, hoist, derived);
      longConditions(root, chains);
      quantifiedComparisons(root, quantified);
    }
  }
  Translator t(text, tokenize(text), cat);
  t.scalarAt = std::move(scalars);
  t.rowAt_ = std::move(rowSubqueries);
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

bool containsWord(const std::string& text, const char* word) {
  const size_t n = std::strlen(word);
  for (size_t i = 0; i + n <= text.size(); ++i) {
    if (ora::upperC(static_cast<unsigned char>(text[i])) != word[0]) continue;
    size_t k = 1;
    while (k < n && ora::upperC(static_cast<unsigned char>(text[i + k])) == word[k]) ++k;
    if (k == n) return true;
  }
  return false;
}

bool startsWithWord(const std::string& text, const char* word) {
  size_t i = 0;
  // blanks and comments before the first word
  for (;;) {
    while (i < text.size() && ora::spaceC(static_cast<unsigned char>(text[i]))) ++i;
    char c = i + 1 < text.size() ? text[i] : 0, d = c ? text[i + 1] : 0;
    if (c == '-' && d == '-') {
      i = text.find('\n', i);
      if (i == std::string::npos) return false;
    } else if (c == '/' && d == '*') {
      i = text.find("*/", i + 2);
      if (i == std::string::npos) return false;
      i += 2;
    } else {
      break;
    }
  }
  size_t n = std::strlen(word);
  if (text.size() - i < n) return false;
  for (size_t k = 0; k < n; ++k)
    if (ora::upperC(static_cast<unsigned char>(text[i + k])) != word[k]) return false;
  unsigned char after = i + n < text.size() ? static_cast<unsigned char>(text[i + n]) : ' ';
  return !(ora::alnumC(after) || after == '_' || after == '$' || after == '#' || after >= 0x80);
}

std::string sharingKey(const std::string& text, std::vector<Literal>& literals, std::vector<std::pair<uint32_t, uint32_t>>* spans) {
  literals.clear();
  if (spans) spans->clear();
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
    if (spans && (k.kind == sql::Tok::Str || k.kind == sql::Tok::Num)) spans->emplace_back(k.pos, k.end);
    switch (k.kind) {
    // an object's text is a shape of its own: comparisons of objects are written for it
    case sql::Tok::Str: key += isObjectText(k.text) ? "?o" : "?s"; literals.push_back({static_cast<int>(i), true, std::move(k.text)}); break;
    case sql::Tok::Num:
      // a number a double cannot hold is kept as text by the translation: a shape of its own
      if (tx::significantDigits(k.text) > 15) key += k.text;
      else key += "?n";
      // 1.5d and 1.5 translate apart: the suffix is part of the shape
      if (k.end > k.pos + k.text.size()) key += text[k.end - 1];
      literals.push_back({static_cast<int>(i), false, std::move(k.text)});
      break;
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
  const char* name = sqlite3_column_name(st, i);
  if (!name) name = "";
  if (!t.widened.empty())
    if (auto w = t.widened.find(name); w != t.widened.end()) return w->second;
  const char* decl = sqlite3_column_decltype(st, i);
  if (decl && !t.viewWide.empty())
    if (auto v = t.viewWide.find(name); v != t.viewWide.end() && v->second.first == decl) return v->second.second;
  ColType ty;
  if (decl) {
    // a describe meets the same few declared types again and again
    thread_local std::unordered_map<std::string, ColType> seen;
    auto it = seen.find(decl);
    if (it == seen.end()) {
      if (seen.size() > 512) seen.clear();
      it = seen.emplace(decl, parseDeclType(decl)).first;
    }
    ty = it->second;
  }
  if (ty.code == 0) {
    auto it = t.inferred.find(name);
    if (it != t.inferred.end()) ty = it->second;
    else { ty.code = kVarchar2; ty.size = 4000; }
  }
  return ty;
}

} // namespace ora
