// CREATE TABLE with constraints written DISABLE: the table is made without them, then each is
// added disabled, as ALTER TABLE ... ADD ... DISABLE adds it.
#include "DdlImpl.h"
#include "OraError.h"
#include "Session.h"
#include "TableRebuild.h"
#include "TranslateImpl.h"

#include <sqlite3.h>

#include <cstdio>
#include <set>

namespace ora::tx {

namespace {
// One written without a name is named as the engine names them, so that it can be kept aside
// while disabled: "CONSTRAINT SYS_Cnnnnnnn ".
std::string freshConstraint(sqlite3* db, int64_t& serial) {
  for (;;) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "SYS_C%07lld", static_cast<long long>(1000000 + ++serial));
    std::string q = quoteString(buf);
    if (rb::scalar(db, "SELECT (SELECT COUNT(*) FROM \"TESSEL$CONSTRAINTS\" WHERE NAME = " + q +
                           ") + (SELECT COUNT(*) FROM \"TESSEL$DISABLED\" WHERE NAME = " + q + ")") == 0)
      return "CONSTRAINT " + std::string(buf) + " ";
  }
}
} // namespace

// ALTER TABLE t ADD PRIMARY KEY | UNIQUE | FOREIGN KEY | CHECK ... DISABLE: named first, as only a
// named constraint is kept aside disabled.
bool Translator::addDisabledUnnamed(size_t i) {
  if (!is(at(i), "ADD")) return false;
  size_t c = is(at(i + 1), "(") ? i + 2 : i + 1;
  if (!(is(at(c), "PRIMARY") || is(at(c), "UNIQUE") || is(at(c), "FOREIGN") || is(at(c), "CHECK"))) return false;
  bool disable = false;
  for (size_t k = c; k < size(); ++k) disable = disable || (t_[k].depth == t_[c].depth && is(t_[k], "DISABLE"));
  if (!disable) return false;
  int64_t serial = 0;
  tr_ = translate(source(0, c) + " " + freshConstraint(cat_.db(), serial) + source(c, size()), cat_, false, false);
  return true;
}

bool Translator::createDisabled(const std::string& table, size_t open, size_t close) {
  bool any = false;
  for (size_t k = open + 1; k < close && !any; ++k) any = t_[k].depth == 1 && is(t_[k], "DISABLE");
  if (!any) return false;
  static const std::set<std::string> starts = {"CONSTRAINT", "PRIMARY", "UNIQUE", "FOREIGN", "CHECK"};
  static const std::set<std::string> states = {"VALIDATE", "NOVALIDATE", "RELY", "NORELY"};
  int64_t serial = 0;
  auto fresh = [&] { return freshConstraint(cat_.db(), serial); };
  std::vector<char> cut(size(), 0);
  std::vector<std::string> adds;
  const std::string head = "ALTER TABLE " + quoteIdent(table) + " ADD ";
  size_t b = open + 1;
  for (size_t k = b; k <= close; ++k) {
    if (k != close && !(t_[k].depth == 1 && is(t_[k], ","))) continue;
    size_t dis = b;
    while (dis < k && !(t_[dis].depth == 1 && is(t_[dis], "DISABLE"))) ++dis;
    if (dis < k) {
      if (t_[b].kind == Token::Ident && starts.count(t_[b].text) && keywordAt(t_, b)) {
        // a constraint of its own: it goes whole, with the comma before it (or after, when first)
        adds.push_back(head + (is(t_[b], "CONSTRAINT") ? std::string() : fresh()) + source(b, k));
        for (size_t x = b; x < k; ++x) cut[x] = 1;
        if (b > open + 1) cut[b - 1] = 1;
        else if (k != close) cut[k] = 1;
      } else {
        // a column's own: the nearest constraint before DISABLE, written again for the column
        size_t s = dis;
        while (s > b && !(t_[s].depth == 1 && (is(t_[s], "CHECK") || is(t_[s], "PRIMARY") || is(t_[s], "UNIQUE") ||
                                               is(t_[s], "REFERENCES") || is(t_[s], "NULL"))))
          --s;
        if (s == b || is(t_[s], "NULL")) return false; // NOT NULL ... DISABLE stays unsupported
        size_t from = s >= 2 && is(t_[s - 2], "CONSTRAINT") ? s - 2 : s;
        size_t e = dis + 1;
        while (e < k && states.count(t_[e].text)) ++e;
        for (size_t x = dis + 1; x < e; ++x)
          if (t_[x].kind != Token::Ident) return false;
        std::string col = "(" + source(b, b + 1) + ")";
        std::string named = source(from, s);
        std::string def;
        if (is(t_[s], "CHECK")) def = source(s, e);
        else if (is(t_[s], "REFERENCES")) def = "FOREIGN KEY " + col + " " + source(s, e);
        else if (is(t_[s], "UNIQUE")) def = "UNIQUE " + col + " " + source(s + 1, e);
        else if (is(at(s + 1), "KEY")) def = "PRIMARY KEY " + col + " " + source(s + 2, e);
        else return false;
        adds.push_back(head + (named.empty() ? fresh() : named + " ") + def);
        for (size_t x = from; x < e; ++x) cut[x] = 1;
      }
    }
    b = k + 1;
  }
  std::string create;
  for (size_t x = 0; x < size();) {
    if (cut[x]) { ++x; continue; }
    size_t y = x;
    while (y < size() && !cut[y]) ++y;
    create += (create.empty() ? "" : " ") + source(x, y);
    x = y;
  }
  tr_.actions.push_back([create, adds](Session& s) {
    Catalog made(s.db, s.user, &s);
    s.runDdl(translate(create, made, false, false));
    for (auto& add : adds) {
      Catalog cat(s.db, s.user, &s);
      s.runDdl(translate(add, cat, false, false));
    }
  });
  return true;
}

} // namespace ora::tx
