// CREATE and ALTER SEQUENCE: their options, checked as Oracle checks them, and the sequence's row
// in the sequence file, which a rollback does not undo.
#include "DictionaryImpl.h"
#include "OraError.h"
#include "Session.h"
#include "TranslateImpl.h"

#include <cerrno>
#include <cstdlib>
#include <set>
#include <sqlite3.h>

namespace ora::tx {

namespace {
// A signed integer literal at i; false when there is none.
bool signedNumber(const std::vector<Token>& t, size_t& i, std::string& out) {
  bool neg = i < t.size() && is(t[i], "-");
  size_t j = neg || (i < t.size() && is(t[i], "+")) ? i + 1 : i;
  if (j >= t.size() || t[j].kind != Token::Num || t[j].text.find_first_of(".eE") != std::string::npos) return false;
  out = (neg ? "-" : "") + t[j].text;
  i = j + 1;
  return true;
}
bool fitsInt64(const std::string& s) {
  errno = 0;
  char* end = nullptr;
  std::strtoll(s.c_str(), &end, 10);
  return errno == 0 && end && *end == 0;
}
// A step as long as the whole range between the bounds (both within 64 bits, min < max).
bool stepTooLong(int64_t inc, const std::string& minv, const std::string& maxv) {
  uint64_t span = static_cast<uint64_t>(std::atoll(maxv.c_str())) - static_cast<uint64_t>(std::atoll(minv.c_str()));
  uint64_t step = inc > 0 ? static_cast<uint64_t>(inc) : 0 - static_cast<uint64_t>(inc);
  return step >= span;
}
} // namespace

// The options of CREATE and ALTER SEQUENCE from i to the end; ALTER may not restart.
void Translator::sequenceOptions(size_t i, SequenceOptions& o, bool alter) {
  std::set<int> given; // each option once: a second one is Oracle's "duplicate or conflicting"
  auto once = [&](int code) {
    if (!given.insert(code).second) throw OraError(code).at(static_cast<int>(at(i).pos));
  };
  while (i < size()) {
    std::string v;
    if (is(at(i), "START")) once(2285);
    else if (is(at(i), "INCREMENT")) once(2284);
    else if (is(at(i), "MINVALUE") || is(at(i), "NOMINVALUE")) once(2279);
    else if (is(at(i), "MAXVALUE") || is(at(i), "NOMAXVALUE")) once(2278);
    else if (is(at(i), "CYCLE") || is(at(i), "NOCYCLE")) once(2280);
    else if (is(at(i), "CACHE") || is(at(i), "NOCACHE")) once(2281);
    else if (is(at(i), "ORDER") || is(at(i), "NOORDER")) once(2282);
    else if (alter && is(at(i), "RESTART")) {
      // RESTART [START WITH n]: the only way an existing sequence takes a new next number
      if (o.restart) unexpected(i);
      o.restart = true;
      ++i;
      if (is(at(i), "START") && is(at(i + 1), "WITH")) {
        i += 2;
        if (!signedNumber(t_, i, o.start)) throw OraError(4002);
      }
      continue;
    }
    if (is(at(i), "START") && (alter || !is(at(i + 1), "WITH"))) {
      if (alter) throw OraError(2283).at(static_cast<int>(at(i).pos));
      unexpected(i);
    }
    if (is(at(i), "START") && is(at(i + 1), "WITH")) {
      i += 2;
      if (!signedNumber(t_, i, o.start)) throw OraError(4002);
    } else if (is(at(i), "INCREMENT") && is(at(i + 1), "BY")) {
      i += 2;
      if (!signedNumber(t_, i, o.incr)) throw OraError(4002);
    } else if (is(at(i), "MINVALUE")) {
      ++i;
      if (!signedNumber(t_, i, o.minv)) throw OraError(922);
    } else if (is(at(i), "MAXVALUE")) {
      ++i;
      if (!signedNumber(t_, i, o.maxv)) throw OraError(922);
    } else if (is(at(i), "NOMINVALUE")) { o.noMin = true; ++i; }
    else if (is(at(i), "NOMAXVALUE")) { o.noMax = true; ++i; }
    else if (is(at(i), "CYCLE")) { o.cycle = 1; ++i; }
    else if (is(at(i), "NOCYCLE")) { o.cycle = 0; ++i; }
    else if (is(at(i), "CACHE")) {
      ++i;
      if (!signedNumber(t_, i, v)) throw OraError(922);
      o.cache = std::atoll(v.c_str());
    } else if (is(at(i), "NOCACHE")) { o.cache = 0; ++i; }
    else if (is(at(i), "ORDER") || is(at(i), "NOORDER")) { o.order = is(at(i), "ORDER") ? 1 : 0; ++i; }
    // what DBMS_METADATA writes of every sequence: no replay, no scaled or sharded numbers, one
    // sequence for all sessions, as this engine's sequences are
    else if (is(at(i), "KEEP") || is(at(i), "NOKEEP") || is(at(i), "NOSCALE") || is(at(i), "NOSHARD") || is(at(i), "GLOBAL")) ++i;
    else unexpected(i);
  }
}

void Translator::createSequence(size_t i) {
  tr_.kind = StmtKind::Ddl;
  tr_.function = 13;
  std::string name;
  const size_t nameAt = i;
  i = objectName(i, name);
  if (!cat_.objectType(name).empty()) throw OraError(955).at(static_cast<int>(at(nameAt).pos));
  SequenceOptions o;
  sequenceOptions(i, o, false);
  std::string start = o.start, incr = o.incr.empty() ? "1" : o.incr, minv = o.minv, maxv = o.maxv;
  bool cycle = o.cycle == 1;
  int64_t cache = o.cache >= 0 ? o.cache : 20;
  if (!fitsInt64(incr) || std::atoll(incr.c_str()) == 0) throw OraError(4002);
  int64_t inc = std::atoll(incr.c_str());
  // Oracle's defaults: 1 .. 10^28-1 going up, -(10^27-1) .. -1 going down; bounds beyond 64 bits
  // are kept as text and never reached.
  if (minv.empty()) minv = inc > 0 ? "1" : "-999999999999999999999999999";
  if (maxv.empty()) maxv = inc > 0 ? "9999999999999999999999999999" : "-1";
  bool minFits = fitsInt64(minv), maxFits = fitsInt64(maxv);
  if (minFits && maxFits && std::atoll(minv.c_str()) >= std::atoll(maxv.c_str())) throw OraError(4004);
  if (minFits && maxFits && stepTooLong(inc, minv, maxv)) throw OraError(4005);
  if (start.empty()) start = inc > 0 ? minv : maxv;
  if (!fitsInt64(start)) throw OraError(4008);
  int64_t st = std::atoll(start.c_str());
  if (minFits && st < std::atoll(minv.c_str())) throw OraError(4006);
  if (maxFits && st > std::atoll(maxv.c_str())) throw OraError(4008);
  // a cycling sequence may not cache a whole cycle of numbers
  if (cycle && cache > 1 && minFits && maxFits) {
    uint64_t span = static_cast<uint64_t>(std::atoll(maxv.c_str())) - static_cast<uint64_t>(std::atoll(minv.c_str()));
    uint64_t step = static_cast<uint64_t>(inc > 0 ? inc : -inc);
    if (static_cast<uint64_t>(cache) >= (span + step - 1) / step) throw OraError(4013);
  }
  addSequence(name, minv, maxv, inc, cycle, cache, st, o.order == 1);
}

// The sequence's row in the sequence file, written when its DDL commits.
void Translator::addSequence(const std::string& name, const std::string& minv, const std::string& maxv, int64_t inc,
                             bool cycle, int64_t cache, int64_t start, bool ordered, int64_t declaredStart) {
  // the number it was made to start with: an identity column added to rows has handed out some
  if (declaredStart == INT64_MIN) declaredStart = start;
  tr_.ddl.push_back("INSERT INTO \"TESSEL$OBJECTS\" (NAME, TYPE, CREATED) VALUES (" + quoteString(name) +
                    ", 'SEQUENCE', ora_sysdate())");
  bool minFits = fitsInt64(minv), maxFits = fitsInt64(maxv);
  tr_.beforeCommit.push_back([=](Session& s) {
    int64_t obj = s.objectNumber(name, "SEQUENCE");
    s.sequenceWrite("DELETE FROM SEQUENCES WHERE OBJ = ?1", {std::to_string(obj)});
    sqlite3_stmt* q = nullptr;
    sqlite3_prepare_v2(s.sequences(),
                       "INSERT OR REPLACE INTO SEQUENCES (NAME, MINV, MAXV, INCR, CYCLE, CACHE, NEXTV, OBJ, ORDERED, STARTV)"
                       " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)", -1, &q, nullptr);
    sqlite3_bind_int64(q, 10, declaredStart);
    sqlite3_bind_int(q, 9, ordered ? 1 : 0);
    sqlite3_bind_int64(q, 8, obj);
    sqlite3_bind_text(q, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    if (minFits) sqlite3_bind_int64(q, 2, std::atoll(minv.c_str()));
    else sqlite3_bind_text(q, 2, minv.c_str(), -1, SQLITE_TRANSIENT);
    if (maxFits) sqlite3_bind_int64(q, 3, std::atoll(maxv.c_str()));
    else sqlite3_bind_text(q, 3, maxv.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int64(q, 4, inc);
    sqlite3_bind_int(q, 5, cycle ? 1 : 0);
    sqlite3_bind_int64(q, 6, cache);
    sqlite3_bind_int64(q, 7, start);
    int rc = sqlite3_step(q);
    sqlite3_finalize(q);
    if (rc != SQLITE_DONE) throw fromSqlite(rc, sqlite3_errmsg(s.sequences()), "CREATE");
  });
}

// ALTER SEQUENCE: new bounds, step, cycling and cache for the numbers still to come.
void Translator::alterSequence() {
  tr_.kind = StmtKind::Ddl;
  tr_.function = 14;
  std::string name;
  size_t i = objectName(2, name);
  if (!cat_.sequenceExists(name)) throw OraError(2289, name);
  if (i >= size()) throw OraError(2286);
  SequenceOptions o;
  sequenceOptions(i, o, true);
  std::string incr = o.incr, minv = o.minv, maxv = o.maxv;
  int cycle = o.cycle;
  int64_t cache = o.cache;
  int order = o.order;
  bool noMin = o.noMin, noMax = o.noMax, restart = o.restart;
  std::string restartAt = o.start;
  if (!restartAt.empty() && !fitsInt64(restartAt)) throw OraError(4008);
  if (!incr.empty() && (!fitsInt64(incr) || std::atoll(incr.c_str()) == 0)) throw OraError(4002);
  if ((!minv.empty() && !fitsInt64(minv)) || (!maxv.empty() && !fitsInt64(maxv))) throw OraError(4004);
  tr_.beforeCommit.push_back([=](Session& s) {
    sqlite3* q = s.sequences();
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(q, "SELECT MINV, MAXV, INCR, NEXTV FROM SEQUENCES WHERE NAME = ?1", -1, &st, nullptr);
    sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(st) != SQLITE_ROW) {
      sqlite3_finalize(st);
      throw OraError(2289, name);
    }
    int64_t oldIncr = sqlite3_column_int64(st, 2), next = sqlite3_column_int64(st, 3);
    std::string oldMin = dict::col(st, 0), oldMax = dict::col(st, 1);
    sqlite3_finalize(st);
    int64_t inc = incr.empty() ? oldIncr : std::atoll(incr.c_str());
    std::string newMin = noMin ? (inc > 0 ? "1" : "-999999999999999999999999999") : minv.empty() ? oldMin : minv;
    std::string newMax = noMax ? (inc > 0 ? "9999999999999999999999999999" : "-1") : maxv.empty() ? oldMax : maxv;
    // the numbers to come follow from the last one handed out
    int64_t last = next - oldIncr, newNext = last + inc;
    if (fitsInt64(newMin) && fitsInt64(newMax) && std::atoll(newMin.c_str()) >= std::atoll(newMax.c_str()))
      throw OraError(4004);
    if (restart) {
      // from the given number, else from the low bound going up or the high bound going down
      std::string from = !restartAt.empty() ? restartAt : inc > 0 ? newMin : newMax;
      if (!fitsInt64(from)) throw OraError(4008);
      newNext = std::atoll(from.c_str());
      if (fitsInt64(newMin) && newNext < std::atoll(newMin.c_str())) throw OraError(4006);
      if (fitsInt64(newMax) && newNext > std::atoll(newMax.c_str())) throw OraError(4008);
    } else {
      if (!maxv.empty() && std::atoll(maxv.c_str()) < last) throw OraError(4009);
      if (!minv.empty() && std::atoll(minv.c_str()) > last) throw OraError(4007);
    }
    if (fitsInt64(newMin) && fitsInt64(newMax) && stepTooLong(inc, newMin, newMax)) throw OraError(4005);
    // bounds beyond 64 bits stay text, as CREATE SEQUENCE keeps them
    std::vector<std::string> p = {name, newMin, newMax, std::to_string(inc), std::to_string(newNext),
                                  fitsInt64(newMin) ? "1" : "0", fitsInt64(newMax) ? "1" : "0"};
    s.sequenceWrite("UPDATE SEQUENCES SET MINV = CASE ?6 WHEN '1' THEN CAST(?2 AS INTEGER) ELSE ?2 END,"
                    " MAXV = CASE ?7 WHEN '1' THEN CAST(?3 AS INTEGER) ELSE ?3 END,"
                    " INCR = CAST(?4 AS INTEGER), NEXTV = CAST(?5 AS INTEGER) WHERE NAME = ?1", p);
    if (cycle >= 0) s.sequenceWrite("UPDATE SEQUENCES SET CYCLE = CAST(?2 AS INTEGER) WHERE NAME = ?1", {name, std::to_string(cycle)});
    if (cache >= 0) s.sequenceWrite("UPDATE SEQUENCES SET CACHE = CAST(?2 AS INTEGER) WHERE NAME = ?1", {name, std::to_string(cache)});
    if (order >= 0) s.sequenceWrite("UPDATE SEQUENCES SET ORDERED = CAST(?2 AS INTEGER) WHERE NAME = ?1", {name, std::to_string(order)});
  });
}

} // namespace ora::tx
