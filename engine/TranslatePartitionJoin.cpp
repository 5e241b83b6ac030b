// Partitioned outer joins: T1 PARTITION BY (keys) RIGHT OUTER JOIN T2 ON ..., and
// T2 LEFT OUTER JOIN T1 PARTITION BY (keys) ON .... Each partition of T1's rows is outer joined
// to T2 on its own, so every partition has every row of T2. SQLite has no such join: the
// distinct partition keys are crossed with T2 and T1 is outer joined to each pair on the
// condition and its keys; T1's key columns are read from the partition's keys, which a row
// with no match in T1 has too.
#include "TranslateImpl.h"

#include <algorithm>

namespace ora::tx {

struct PartitionedJoin {
  bool right = false; // the partitioned table is on the left of RIGHT OUTER JOIN
  size_t at = 0;      // PARTITION
  size_t tb = 0, te = 0;       // the partitioned table and its alias
  size_t join = 0;             // LEFT form: the LEFT that starts the join
  size_t ob = 0, oe = 0;       // RIGHT form: the other table
  size_t cb = 0, ce = 0;       // the ON condition
  std::vector<std::string> keys; // the key columns, of the partitioned table
  std::string qualifier;         // its alias, or its name
};

namespace {
bool joinWordAt(const Token& k) {
  return is(k, "JOIN") || is(k, "INNER") || is(k, "LEFT") || is(k, "RIGHT") || is(k, "FULL") || is(k, "CROSS") ||
         is(k, "NATURAL") || is(k, ",");
}
[[noreturn]] void unsupported(const Token& k, const char* what) {
  throw OraError(900, std::string("a partitioned outer join ") + what + " is not supported").at(static_cast<int>(k.pos));
}
} // namespace

bool Translator::partitionedJoin(size_t b, size_t e, int d, PartitionedJoin& j) const {
  size_t p = b;
  while (p + 1 < e && !(t_[p].depth == d && is(t_[p], "PARTITION") && is(t_[p + 1], "BY"))) ++p;
  if (p + 1 >= e) return false;
  j.at = p;
  // the keys, in parentheses or not
  size_t kb = p + 2, ke, after;
  if (is(at(kb), "(")) {
    ke = matching(kb);
    after = ke + 1;
    ++kb;
  } else {
    ke = kb;
    while (ke < e && !(t_[ke].depth == d && (is(t_[ke], "ON") || joinWordAt(t_[ke])))) ++ke;
    after = ke;
  }
  std::vector<std::pair<size_t, size_t>> keys;
  int kd = at(kb).depth;
  for (size_t k = kb, s = kb; k <= ke; ++k)
    if (k == ke || (t_[k].depth == kd && is(t_[k], ","))) {
      keys.emplace_back(s, k);
      s = k + 1;
    }
  // another clause's PARTITION BY (a MODEL clause's)
  if (after >= e || !(is(t_[after], "ON") || is(t_[after], "RIGHT") || is(t_[after], "LEFT") || is(t_[after], "FULL")))
    return false;
  if (is(t_[after], "ON")) {
    // T2 LEFT [OUTER] JOIN T1 PARTITION BY (...) ON
    size_t jw = p;
    while (jw > b && !(t_[jw - 1].depth == d && is(t_[jw - 1], "JOIN"))) --jw;
    if (jw == b) unsupported(t_[p], "of this form");
    j.tb = jw;
    j.te = p;
    size_t kw = jw - 1;
    if (kw > b && is(t_[kw - 1], "OUTER")) --kw;
    if (kw == b || !is(t_[kw - 1], "LEFT")) unsupported(t_[p], "that keeps the partitioned table's rows");
    j.join = kw - 1;
    j.cb = after + 1;
  } else {
    // T1 PARTITION BY (...) RIGHT [OUTER] JOIN T2 ON
    j.right = true;
    if (!is(at(after), "RIGHT")) unsupported(at(after), "that keeps the partitioned table's rows");
    size_t jw = after + 1;
    if (is(at(jw), "OUTER")) ++jw;
    j.te = p;
    j.tb = p;
    while (j.tb > b && !(t_[j.tb - 1].depth == d && is(t_[j.tb - 1], ","))) --j.tb;
    j.ob = jw + 1;
    j.oe = j.ob;
    while (j.oe < e && !(t_[j.oe].depth == d && is(t_[j.oe], "ON"))) ++j.oe;
    if (j.oe >= e) unsupported(t_[p], "without ON");
    j.cb = j.oe + 1;
  }
  j.ce = j.cb;
  while (j.ce < e && !(t_[j.ce].depth == d && joinWordAt(t_[j.ce]))) ++j.ce;
  // the partitioned side is one table, of the schema or a view
  for (size_t k = j.tb; k < j.te; ++k)
    if (!(t_[k].kind == Token::Ident || t_[k].kind == Token::QIdent || is(t_[k], ".")) ||
        (t_[k].kind == Token::Ident && keywordAt(t_, k)))
      unsupported(t_[k], "of this table");
  if (j.tb == j.te) unsupported(t_[p], "of this table");
  size_t nameEnd = is(at(j.tb + 1), ".") ? j.tb + 3 : j.tb + 1;
  j.qualifier = nameEnd < j.te ? t_[j.te - 1].text : t_[nameEnd - 1].text;
  for (auto [s, x] : keys) {
    if (x == s + 1 && (t_[s].kind == Token::Ident || t_[s].kind == Token::QIdent)) j.keys.push_back(t_[s].text);
    else if (x == s + 3 && is(t_[s + 1], ".") && t_[s].text == j.qualifier) j.keys.push_back(t_[s + 2].text);
    else unsupported(at(s), "by an expression");
  }
  return true;
}

std::string Translator::partitionName(size_t at) {
  auto it = partitionNames_.find(at);
  if (it == partitionNames_.end()) it = partitionNames_.emplace(at, quoteIdent("P$" + std::to_string(partitionNames_.size() + 1))).first;
  return it->second;
}

// Before the select list is written: the partitioned table's key columns read as the partition's.
void Translator::partitionedKeys(size_t b, size_t from, size_t fromEnd, size_t end, int d) {
  PartitionedJoin j;
  if (!partitionedJoin(from + 1, fromEnd, d, j)) return;
  std::string p = partitionName(j.at);
  // * and T.*: the tables' columns in the order of FROM, not of the join written for SQLite
  bool tablesOnly = !ctx_.empty() && ctx_.back().derived.empty();
  for (size_t k = fromEnd; k > from + 1 && tablesOnly; --k)
    if (t_[k - 1].depth == d && (is(t_[k - 1], "TABLE") || is(t_[k - 1], "LATERAL") || is(t_[k - 1], "APPLY") ||
                                 is(t_[k - 1], "PIVOT") || is(t_[k - 1], "UNPIVOT") || is(t_[k - 1], "MATCH_RECOGNIZE")))
      tablesOnly = false;
  for (size_t k = b; k < from && tablesOnly; ++k) {
    if (t_[k].depth != d || !is(t_[k], "*") || !(k == b || is(t_[k - 1], ",") || is(t_[k - 1], "."))) continue;
    bool qualified = is(t_[k - 1], ".");
    std::string list;
    for (const TableRef& r : ctx_.back().tables) {
      std::string exposed = r.alias.empty() ? r.name : r.alias;
      if (qualified && t_[k - 2].text != exposed) continue;
      auto columns = cat_.columns(r.name);
      if (columns.empty() || !r.dictionary.empty()) {
        list.clear();
        break;
      }
      for (const ColumnInfo& c : columns) {
        auto key = std::find(j.keys.begin(), j.keys.end(), c.name);
        std::string value = exposed == j.qualifier && key != j.keys.end()
                                ? p + "." + quoteIdent("K$" + std::to_string(key - j.keys.begin() + 1))
                                : quoteIdent(exposed) + "." + quoteIdent(c.name);
        list += (list.empty() ? "" : ", ") + value + " AS " + quoteIdent(c.name);
      }
    }
    if (list.empty()) continue;
    replace_[k] = list;
    if (qualified) skip_[k - 1] = skip_[k - 2] = 1;
  }
  size_t subqueryEnd = 0; // a subquery's own names are its tables' first
  for (size_t k = b; k < end; ++k) {
    if (k == from) k = fromEnd;
    if (k >= end) break;
    const Token& x = t_[k];
    if (k >= subqueryEnd && is(x, "(") && (is(at(k + 1), "SELECT") || is(at(k + 1), "WITH"))) subqueryEnd = matching(k);
    if ((x.kind != Token::Ident && x.kind != Token::QIdent) || !replace_[k].empty() || skip_[k]) continue;
    if (k > b && is(t_[k - 1], ".")) continue;
    for (size_t n = 0; n < j.keys.size(); ++n) {
      std::string key = p + "." + quoteIdent("K$" + std::to_string(n + 1));
      if (x.text == j.qualifier && is(at(k + 1), ".") && at(k + 2).text == j.keys[n] && !is(at(k + 3), ".")) {
        replace_[k] = key;
        skip_[k + 1] = skip_[k + 2] = 1;
        break;
      }
      if (k >= subqueryEnd && x.text == j.keys[n] && !is(at(k + 1), ".") && !is(at(k + 1), "(")) {
        replace_[k] = key;
        break;
      }
    }
  }
}

std::string Translator::partitionedFrom(size_t b, size_t e, int d) {
  PartitionedJoin j;
  if (!partitionedJoin(b, e, d, j)) return "";
  std::string p = partitionName(j.at);
  std::string keys, match;
  for (size_t n = 0; n < j.keys.size(); ++n) {
    std::string k = quoteIdent("K$" + std::to_string(n + 1));
    std::string column = quoteIdent(j.qualifier) + "." + quoteIdent(j.keys[n]);
    keys += (n ? ", " : "") + column + " AS " + k;
    match += " AND " + column + " IS " + p + "." + k;
  }
  std::string table = emit(j.tb, j.te);
  std::string partitions = "(SELECT DISTINCT " + keys + " FROM " + table + ") AS " + p;
  std::string on = " ON (" + emit(j.cb, j.ce) + ")" + match + " ";
  if (j.right)
    return emit(b, j.tb) + " " + partitions + " CROSS JOIN " + emit(j.ob, j.oe) + " LEFT JOIN " + table + on +
           emit(j.ce, e);
  return emit(b, j.join) + " CROSS JOIN " + partitions + " LEFT JOIN " + table + on + emit(j.ce, e);
}

} // namespace ora::tx
