// INSERT, UPDATE and DELETE naming one partition of their table: UPDATE and DELETE touch only
// its rows, INSERT refuses a row that belongs elsewhere (ORA-14401).
#include "DdlPartition.h"

#include "OraError.h"
#include "PartitionImpl.h"
#include "SqlText.h"

#include <algorithm>

namespace ora::tx {

using namespace part;

namespace {

// The end of the statement's WHERE condition: its RETURNING or LOG ERRORS clause, or the end.
size_t conditionEnd(const std::vector<Token>& t, size_t from) {
  for (size_t k = from; k < t.size(); ++k)
    if (t[k].depth == 0 && (is(t[k], "RETURNING") || is(t[k], "RETURN") || (is(t[k], "LOG") && is(tokenAt(t, k + 1), "ERRORS"))))
      return k;
  return t.size();
}

// The translated INSERT with its rows passed through a check that each falls in partition p.
// The engine writes INSERT INTO t (columns) VALUES (...) or SELECT ..., after a WITH of its own
// for a query's rows.
bool checkedInsert(Translation& tr, const PartTable& pt, size_t p, const std::string& table) {
  const std::string head = "INSERT INTO " + quoteIdent(table) + " (";
  const size_t at = tr.sql.find(head);
  if (at == std::string::npos || (at > 0 && tr.sql.rfind("WITH ", 0) != 0)) return false;
  const std::string prefix = tr.sql.substr(0, at), insert = tr.sql.substr(at);
  std::vector<Token> t;
  try {
    t = tokenize(insert);
  } catch (const OraError&) {
    return false;
  }
  size_t open = 0;
  while (open < t.size() && !is(t[open], "(")) ++open;
  if (open >= t.size()) return false;
  size_t close = closing(t, open);
  if (close + 1 >= t.size() || !(is(t[close + 1], "VALUES") || is(t[close + 1], "SELECT"))) return false;
  std::vector<std::string> names;
  for (size_t k = open + 1; k < close; ++k)
    if (t[k].kind == Token::Ident || t[k].kind == Token::QIdent) names.push_back(quoteIdent(t[k].text));
  for (const auto& key : pt.keys)
    if (std::find(names.begin(), names.end(), quoteIdent(key)) == names.end()) return false;
  const std::string cols = insert.substr(t[open].pos, t[close].end - t[open].pos);
  const std::string rows = insert.substr(t[close + 1].pos);
  // the rows named as the columns they go to, so that the partition's keys can be read from them
  const std::string row = quoteIdent("TESSEL$ROW");
  std::string with = row + cols + " AS (" + rows + ")";
  with = prefix.empty() ? "WITH " + with : prefix.substr(0, prefix.find_last_not_of(' ') + 1) + ", " + with;
  tr.sql = with + " " + insert.substr(0, t[close].end) + " SELECT * FROM " + row + " WHERE CASE WHEN " +
           positionOf(pt, row) + " = " + std::to_string(p) + " THEN 1 ELSE ora_raise(14401) END";
  return true;
}

} // namespace

bool partitionDml(const std::string& text, Catalog& cat, Translation& out) {
  std::vector<Token> t;
  std::string u = text;
  for (auto& c : u) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  if (u.find("PARTITION") == std::string::npos) return false;
  try {
    t = tokenize(text);
  } catch (const OraError&) {
    return false;
  }
  if (t.size() < 5) return false;
  size_t n = 1;
  if (is(t[0], "INSERT") && is(t[1], "INTO")) n = 2;
  else if (is(t[0], "DELETE")) n = is(t[1], "FROM") ? 2 : 1;
  else if (!is(t[0], "UPDATE")) return false;
  size_t name = n;
  if (is(tokenAt(t, n + 1), ".") && t[n].text == cat.user()) name = n + 2;
  size_t k = name + 1;
  if (!is(tokenAt(t, k), "PARTITION") || !(is(tokenAt(t, k + 1), "(") || is(tokenAt(t, k + 1), "FOR"))) return false;
  if (t[name].kind != Token::Ident && t[name].kind != Token::QIdent) return false;
  const std::string table = t[name].text;
  if (!cat.tableExists(table) || cat.viewExists(table)) return false; // the statement's own error
  PartTable pt;
  if (!loadPartitions(cat.db(), table, pt)) throw OraError(14501).at(static_cast<int>(t[k].pos));
  size_t close = 0;
  const size_t p = partitionNamed(t, k, text, cat, pt, close);
  // the statement without its partition clause
  std::string plain = text.substr(0, t[k].pos) + text.substr(t[close].end);
  const size_t cut = t[close].end - t[k].pos;
  if (is(t[0], "INSERT")) {
    out = translate(plain, cat);
    // a form of INSERT whose rows cannot be checked here
    if (!checkedInsert(out, pt, p, table)) throw OraError(3001).at(static_cast<int>(t[k].pos));
    out.unshared = true;
    return true;
  }
  // UPDATE and DELETE: the partition's condition joins the statement's own
  std::string cond = partitionCondition(pt, p, keyColumns(pt));
  size_t where = close + 1;
  while (where < t.size() && !(t[where].depth == 0 && is(t[where], "WHERE"))) ++where;
  size_t end = conditionEnd(t, where < t.size() ? where : close + 1);
  size_t endPos = end < t.size() ? t[end].pos - cut : plain.size();
  if (where < t.size()) {
    size_t from = t[where].end - cut;
    plain = plain.substr(0, from) + " (" + cond + ") AND (" + plain.substr(from, endPos - from) + ") " + plain.substr(endPos);
  } else {
    plain = plain.substr(0, endPos) + " WHERE " + cond + " " + plain.substr(endPos);
  }
  out = translate(plain, cat);
  out.unshared = true;
  return true;
}

} // namespace ora::tx
