// The cursor calls that open, close, parse and run a statement. A query or DML text is shared
// with every later text that differs from it only in literals.
#include "OciImpl.h"

#include "CType.h"
#include "ConstraintErrors.h"
#include "FunctionUtil.h"
#include "Number.h"
#include "OraValues.h"
#include "Plsql.h"
#include "Session.h"
#include "SqlLexer.h"
#include "SqlText.h"
#include "SqlTranslate.h"

#include <algorithm>
#include <optional>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <sqlite3.h>
#include <strings.h>

using namespace ora;
using namespace ora::oci;

namespace {

// The schema is read once for the whole parse, not once per look-up: each read outside a
// transaction takes and drops the file's locks.
struct ReadOnce {
  Session& s;
  bool began;
  static bool step(sqlite3_stmt* st) {
    if (!st) return false;
    int rc = sqlite3_step(st);
    sqlite3_reset(st);
    return rc == SQLITE_DONE;
  }
  explicit ReadOnce(Session& ses) : s(ses), began(sqlite3_get_autocommit(ses.db) && step(ses.cachedStatement("BEGIN"))) {}
  ~ReadOnce() {
    if (began && !sqlite3_get_autocommit(s.db)) step(s.cachedStatement("COMMIT"));
  }
  ReadOnce(const ReadOnce&) = delete;
  ReadOnce& operator=(const ReadOnce&) = delete;
};

// The schema was checked for changes during this parse (`fresh`), so what the logon remembers of
// the columns' NOT NULL constraints still holds.
void describe(Cursor& c, bool fresh) {
  int n = sqlite3_column_count(c.stmt);
  c.cols.resize(n);
  c.defs.assign(n, Define{});
  c.longs.assign(n, {});
  for (int i = 0; i < n; ++i) {
    Column& col = c.cols[i];
    col.name = sqlite3_column_name(c.stmt, i);
    col.type = resultType(c.stmt, i, c.tr);
    const char* table = sqlite3_column_table_name(c.stmt, i);
    const char* origin = sqlite3_column_origin_name(c.stmt, i);
    if (table && origin) {
      std::string key;
      if (fresh) {
        key.append(table).append(1, '\x1f').append(origin);
        if (auto it = c.logon->nullable.find(key); it != c.logon->nullable.end()) {
          col.nullable = it->second;
          continue;
        }
      }
      int notNull = 0;
      if (sqlite3_table_column_metadata(c.logon->s->db, nullptr, table, origin, nullptr, nullptr,
                                        &notNull, nullptr, nullptr) == SQLITE_OK) {
        col.nullable = !notNull;
        if (fresh) c.logon->nullable.emplace(std::move(key), col.nullable);
      }
    }
  }
  // SQLite tells apart equal names of a subquery's columns as "NAME:1"; the query's own columns
  // keep the names they were given
  for (Column& col : c.cols) {
    size_t colon = col.name.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == col.name.size() ||
        col.name.find_first_not_of("0123456789", colon + 1) != std::string::npos)
      continue;
    std::string base = col.name.substr(0, colon);
    if (std::any_of(c.cols.begin(), c.cols.end(), [&](const Column& o) { return o.name == base; })) col.name = base;
  }
}

// The value of the literal at token ordinal `token`.
const Literal* literalAt(const std::vector<Literal>& lits, int token) {
  auto it = std::lower_bound(lits.begin(), lits.end(), token,
                             [](const Literal& l, int t) { return l.token < t; });
  return it != lits.end() && it->token == token ? &*it : nullptr;
}

// Binds a statement's literal parameters as SQLite would have read the literals. The texts are
// not copied: `lits` is the cursor's own and outlives the bindings (a cursor's statement is
// rebound, cleared or finalized before its literals change).
void bindLiterals(sqlite3_stmt* st, const Translation& tr, const std::vector<Literal>& lits) {
  for (size_t p = 0; p < tr.params.size(); ++p) {
    const Literal* l = literalAt(lits, tr.params[p]);
    int n = static_cast<int>(p + 1);
    if (!l || (l->text && l->value.empty())) { sqlite3_bind_null(st, n); continue; } // '' is NULL
    if (l->text) {
      // with no NUL inside, the text is bound with its terminator, so that reading it needs no copy
      const std::string& v = l->value;
      bool nul = std::memchr(v.data(), 0, v.size()) != nullptr;
      sqlite3_bind_text(st, n, v.c_str(), nul ? static_cast<int>(v.size()) : -1, SQLITE_STATIC);
      continue;
    }
    const std::string& v = l->value;
    const char* last = v.data() + v.size();
    int64_t i = 0;
    if (auto r = std::from_chars(v.data(), last, i); r.ec == std::errc() && r.ptr == last) {
      sqlite3_bind_int64(st, n, i);
      continue;
    }
    // the nearest double, as strtod reads it; out of range it is strtod's answer
    double x = 0;
    if (auto r = std::from_chars(v.data(), last, x); r.ec == std::errc() && r.ptr == last) sqlite3_bind_double(st, n, x);
    else sqlite3_bind_double(st, n, cStrtod(v.c_str()));
  }
}

bool pinnedMatch(const Shared& e, const std::vector<Literal>& lits) {
  for (auto& [tok, value] : e.pinned) {
    const Literal* l = literalAt(lits, tok);
    if (!l || l->value != value) return false;
  }
  return true;
}

// Takes a cursor area out of the side table, finalizing its statement under its logon's lock.
void dropCursor(unsigned char* cda) {
  std::shared_ptr<Logon> keep;
  std::unique_lock<std::mutex> lk;
  for (;;) {
    {
      std::lock_guard g(reg().m);
      auto it = reg().cursors.find(cda);
      if (it == reg().cursors.end()) return;
      if (!it->second->logon) { reg().cursors.erase(it); return; }
      keep = reg().logons.at(it->second->lda);
    }
    lk = std::unique_lock(keep->m);
    std::unique_ptr<Cursor> gone;
    {
      std::lock_guard g(reg().m);
      auto it = reg().cursors.find(cda);
      if (it == reg().cursors.end()) return;
      if (it->second->logon != keep.get() && it->second->logon) { lk.unlock(); continue; }
      gone = std::move(it->second);
      reg().cursors.erase(it);
    }
    gone->finalize();
    if (gone->logon) std::erase(gone->logon->cursors, gone.get());
    return;
  }
}
} // namespace

OCIW32_API int oopen(unsigned char* cda, unsigned char* lda, const char*, int, int, const char*, int) {
  if (!cda) return 1001;
  return guarded(cda, lda, ociw32::kFcOpen, 3113, [&] {
    dropCursor(cda);
    std::unique_lock<std::mutex> lk;
    auto l = lockLogon(lda, lk, cda, ociw32::kFcOpen);
    if (!l) return areaCode(cda);
    auto c = std::make_unique<Cursor>();
    c->lda = lda;
    c->logon = l.get();
    l->cursors.push_back(c.get());
    {
      std::lock_guard g(reg().m);
      reg().cursors[cda] = std::move(c);
    }
    put32(cda, ociw32::kOffRowsProcessed, 0);
    return succeed(cda, ociw32::kFcOpen);
  });
}

OCIW32_API int oclose(unsigned char* cda) {
  if (!cda) return 1001;
  return guarded(cda, nullptr, ociw32::kFcClose, 3113, [&] {
    bool known;
    {
      std::lock_guard g(reg().m);
      known = reg().cursors.count(cda) > 0;
    }
    if (!known) return failWith(cda, nullptr, OraError(1001), ociw32::kFcClose);
    dropCursor(cda);
    return succeed(cda, ociw32::kFcClose);
  });
}

namespace {
// The SELECT of the main query after a WITH clause (0 for any other text): Oracle marks an error
// found while the rows are made there.
int mainQueryAt(const std::string& stmt) {
  size_t b = stmt.find_first_not_of(" \t\r\n");
  if (b == std::string::npos || stmt.size() - b < 4 || ora::strncaseC(stmt.c_str() + b, "WITH", 4) != 0) return 0;
  std::vector<sql::Token> toks;
  try {
    toks = sql::lex(stmt);
  } catch (const OraError&) {
    return 0;
  }
  int depth = 0;
  for (size_t i = 1; i < toks.size(); ++i) {
    const sql::Token& k = toks[i];
    if (k.kind == sql::Tok::Op && k.text == "(") ++depth;
    else if (k.kind == sql::Tok::Op && k.text == ")") --depth;
    else if (depth == 0 && k.kind == sql::Tok::Ident && k.text == "SELECT") return static_cast<int>(k.pos);
  }
  return 0;
}
} // namespace

OCIW32_API int oparse(unsigned char* cda, const char* sqlstm, int sqllen, int defflg, unsigned int) {
  if (!cda) return 1001;
  std::shared_ptr<Logon> keep;
  std::unique_lock<std::mutex> lk;
  return guarded(cda, nullptr, ociw32::kFcParse, 3113, [&] {
    Cursor* c = lockCursor(cda, ociw32::kFcParse, keep, lk);
    if (!c) return areaCode(cda);
    put32(cda, ociw32::kOffRowsProcessed, 0);
    put16(cda, ociw32::kOffFunctionType, 0);
    c->deferredError = false;
    try {
      Logon& l = *c->logon;
      Session& ses = *l.s;
      std::string sql = text(sqlstm, sqllen);
      // a length that counts the terminator: the text ends there
      while (!sql.empty() && sql.back() == '\0' && sql.find('\0') == sql.size() - 1) sql.pop_back();
      std::vector<Literal>& lits = c->spareLits;
      std::string key = sharingKey(sql, lits, c->shape);
      Shared* hit = nullptr;
      ReadOnce once(ses);
      if (key.empty()) ses.syncTemporaryTables(); // else checkShared does it when the schema moved
      if (!key.empty()) {
        l.checkShared();
        auto it = l.shared.find(key);
        if (it != l.shared.end() && pinnedMatch(it->second, lits)) hit = &it->second;
      }
      if (hit && c->sharedKey == key && c->stmt && c->sharedGeneration == hit->generation) {
        // the same shape again on the same cursor: only the literals change
        sqlite3_stmt* kept = c->stmt;
        c->stmt = nullptr;
        c->finalize();
        c->stmt = kept;
        c->sharedKey = key;
        sqlite3_reset(kept);
        // the literals are bound again below; other parameters start out NULL again
        if (sqlite3_bind_parameter_count(kept) != static_cast<int>(c->tr.params.size())) sqlite3_clear_bindings(kept);
      } else {
        c->finalize();
        if (hit) {
          c->tr = hit->tr;
          c->sharedGeneration = hit->generation;
          if (hit->idle) {
            c->stmt = hit->idle;
            hit->idle = nullptr;
          } else if (int rc = sqlite3_prepare_v2(ses.db, c->tr.sql.c_str(), -1, &c->stmt, nullptr); rc != SQLITE_OK) {
            OraError e = fromSqlite(rc, sqlite3_errmsg(ses.db), c->tr.verb);
            prepareError(ses, c->tr, e);
            sqlite3_finalize(c->stmt);
            c->stmt = nullptr;
            throw e;
          }
          c->sharedKey = key;
        } else {
          Catalog cat(ses.db, ses.user, &ses);
          c->tr = translate(sql, cat, !key.empty());
          if (c->tr.kind == StmtKind::Query || c->tr.kind == StmtKind::Dml) {
            int rc = sqlite3_prepare_v2(ses.db, c->tr.sql.c_str(), -1, &c->stmt, nullptr);
            if (rc != SQLITE_OK) {
              OraError e = fromSqlite(rc, sqlite3_errmsg(ses.db), c->tr.verb);
              prepareError(ses, c->tr, e);
              sqlite3_finalize(c->stmt);
              c->stmt = nullptr;
              throw e;
            }
            if (!key.empty() && !c->tr.unshared) {
              Shared& e = l.shared[key];
              if (e.idle) sqlite3_finalize(e.idle);
              e = Shared{};
              e.tr = c->tr;
              e.generation = l.generation;
              c->sharedGeneration = l.generation;
              for (int tok : c->tr.pinned)
                if (const Literal* lit = literalAt(lits, tok)) e.pinned.emplace_back(tok, lit->value);
              c->sharedKey = key;
            }
          }
        }
      }
      c->lits.swap(lits);
      if (c->stmt && !c->tr.params.empty()) bindLiterals(c->stmt, c->tr, c->lits);
      if (c->tr.kind == StmtKind::Query) describe(*c, !key.empty());
      bool insert = c->tr.kind == StmtKind::Dml && c->tr.verb == "INSERT";
      c->writtenText = c->tr.kind == StmtKind::Ddl || insert ? sql : std::string();
      c->queryAt = c->tr.kind == StmtKind::Query ? mainQueryAt(sql) : 0;
    } catch (OraError& e) {
      if (e.pos < 0) locateError(e, text(sqlstm, sqllen));
      if (defflg) {
        // a deferred parse answers at the describe or execute that needs it
        c->deferredError = true;
        c->deferredFailure = e;
        return succeed(cda, ociw32::kFcParse);
      }
      return failWith(cda, c->lda, e, ociw32::kFcParse);
    }
    c->parsed = true;
    put16(cda, ociw32::kOffFunctionType, static_cast<unsigned>(c->tr.function));
    return succeed(cda, ociw32::kFcParse);
  });
}

OCIW32_API int oexec(unsigned char* cda) {
  if (!cda) return 1001;
  std::shared_ptr<Logon> keep;
  std::unique_lock<std::mutex> lk;
  return guarded(cda, nullptr, ociw32::kFcExec, 3113, [&] {
    Cursor* c = lockCursor(cda, ociw32::kFcExec, keep, lk);
    if (!c) return areaCode(cda);
    if (int rc = deferredParseError(*c, cda, ociw32::kFcExec)) return rc;
    if (!c->parsed) return failWith(cda, c->lda, OraError(1003), ociw32::kFcExec);
    Logon& lo = *c->logon;
    Session& l = *lo.s;
    c->rows = 0;
    put32(cda, ociw32::kOffRowsProcessed, 0);
    if (!c->writtenText.empty()) takeRefusedColumn(); // what an earlier statement left
    try {
      if (c->tr.kind != StmtKind::Rollback) l.checkLost();
      c->now = StatementTime{};
      // a block's statements each read the clock anew
      std::optional<StatementClock> clock;
      if (!c->tr.plsql) clock.emplace(c->now);
      switch (c->tr.kind) {
      case StmtKind::Query:
        if (c->tr.forUpdate && l.readOnlyTxn) throw OraError(1456);
        c->dropAhead();
        sqlite3_reset(c->stmt);
        c->executed = false;
        for (auto& v : c->tr.dictionary) l.refreshDictionary(v);
        c->executed = true;
        c->haveRow = c->done = c->longsValid = false;
        advance(*c); // surfaces errors such as a busy database at execute time
        break;
      case StmtKind::Dml: {
        lo.protectReaders(c);
        l.beginIfNeeded(c->tr.verb);
        sqlite3_reset(c->stmt);
        for (auto& v : c->tr.dictionary) l.refreshDictionary(v); // INSERT ... SELECT FROM USER_TABLES
        c->rows = static_cast<uint32_t>(runTriggeredDml(l, c->tr, [&]() -> int64_t {
          if (!c->tr.moreSql.empty() || c->tr.verb == "MERGE" || c->tr.selfRun) return l.runParts(c->stmt, c->tr);
          int rc = sqlite3_step(c->stmt);
          if (rc != SQLITE_DONE) {
            std::string msg = sqlite3_errmsg(l.db);
            sqlite3_reset(c->stmt);
            throw stepFailure(l, rc, msg, c->tr, c->stmt);
          }
          sqlite3_reset(c->stmt);
          return sqlite3_changes(l.db);
        }));
        break;
      }
      case StmtKind::Ddl:
        lo.protectReaders(c);
        l.runDdl(c->tr);
        lo.transactionEnded(); // DDL commits
        break;
      case StmtKind::Commit:
        l.commit();
        lo.transactionEnded();
        break;
      case StmtKind::Rollback:
        lo.protectReaders(c);
        if (c->tr.savepoint.empty()) {
          l.rollback();
          lo.transactionEnded();
        } else {
          l.rollbackTo(c->tr.savepoint);
        }
        break;
      case StmtKind::Savepoint:
        l.savepoint(c->tr.savepoint);
        break;
      case StmtKind::Session:
        if (c->tr.plsql) {
          lo.protectReaders(c);
          runBoundBlock(*c);
          break;
        }
        for (auto& a : c->tr.actions) a(l);
        break;
      }
    } catch (OraError& e) {
      // a query that failed to run has no rows to fetch: a fetch is out of sequence
      if (c->tr.kind == StmtKind::Query) c->executed = false;
      if (e.pos < 0 && c->tr.kind == StmtKind::Ddl) locateError(e, c->writtenText);
      std::string refused = takeRefusedColumn();
      if (e.pos < 0 && c->tr.kind == StmtKind::Dml && !c->writtenText.empty()) {
        Catalog cat(l.db, l.user, &l);
        locateInsertValue(e, c->writtenText, refused, cat, c->tr.target);
      }
      if (e.pos < 0 && c->tr.kind == StmtKind::Query) e.pos = c->queryAt;
      return failWith(cda, c->lda, e, ociw32::kFcExec);
    }
    put32(cda, ociw32::kOffRowsProcessed, c->rows);
    return succeed(cda, ociw32::kFcExec);
  });
}
