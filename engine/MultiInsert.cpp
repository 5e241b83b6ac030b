// INSERT ALL / INSERT FIRST: one INSERT ... SELECT per INTO clause, each reading the subquery,
// run as one statement.
#include "MergeStatement.h"

#include "SqlTokens.h"

namespace ora {

namespace {

using sql::Tok;
using sql::Token;

struct Into {
  std::string table, columns, values, when; // values empty: the subquery's columns
  bool otherwise = false;                   // the ELSE branch
};

} // namespace

bool multiInsert(const std::string& text, Catalog& cat, Translation& out) {
  if (!startsWithWord(text, "INSERT")) return false;
  sql::TokenList tl(text);
  if (!tl.ok) return false;
  const std::vector<Token>& t = tl.t;
  if (!tl.word(0, "INSERT") || !(tl.word(1, "ALL") || tl.word(1, "FIRST"))) return false;
  const bool first = tl.word(1, "FIRST");
  auto fail = [&](size_t i, int code) -> OraError {
    return OraError(code).at(static_cast<int>(t[std::min(i, t.size() - 1)].pos));
  };
  // the condition of a WHEN: up to its THEN at the same depth
  auto until = [&](size_t b, const char* w) {
    int d = 0;
    for (size_t k = b; k < t.size() && t[k].kind != Tok::End; ++k) {
      if (tl.op(k, "(")) ++d;
      if (tl.op(k, ")")) --d;
      if (d == 0 && tl.word(k, w)) return k;
    }
    throw OraError(905);
  };

  std::vector<Into> intos;
  std::string when;
  bool otherwise = false, conditional = false;
  size_t i = 2;
  for (;;) {
    // after the ELSE branch only the subquery may come; FIRST and ELSE need a WHEN before them
    if (otherwise && (tl.word(i, "WHEN") || tl.word(i, "ELSE"))) throw fail(i, 928);
    if (!conditional && (tl.word(i, "ELSE") || (first && tl.word(i, "INTO")))) throw fail(i, 905);
    if (tl.word(i, "WHEN")) {
      size_t th = until(i + 1, "THEN");
      when = tl.slice(i + 1, th);
      otherwise = false;
      conditional = true;
      i = th + 1;
    } else if (tl.word(i, "ELSE")) {
      when.clear();
      otherwise = true;
      ++i;
    }
    if (!tl.word(i, "INTO")) break;
    Into in;
    size_t b = ++i;
    if (!(i < t.size() && (t[i].kind == Tok::Ident || t[i].kind == Tok::QIdent))) throw fail(i, 903);
    ++i;
    if (tl.op(i, ".")) i += 2;
    in.table = tl.slice(b, i);
    // a table alias: the values name the subquery's columns, never the target's
    if (t[i].kind == Tok::Ident && !tl.word(i, "VALUES") && !tl.word(i, "INTO") && !tl.word(i, "WHEN") &&
        !tl.word(i, "ELSE") && !tl.word(i, "SELECT") && !tl.word(i, "WITH"))
      ++i;
    if (tl.op(i, "(")) {
      size_t e = tl.close(i);
      in.columns = " " + tl.slice(i, e + 1);
      i = e + 1;
    }
    if (tl.word(i, "VALUES")) {
      if (!tl.op(i + 1, "(")) throw fail(i + 1, 906);
      size_t e = tl.close(i + 1);
      in.values = tl.slice(i + 2, e);
      i = e + 1;
    }
    in.when = when;
    in.otherwise = otherwise;
    intos.push_back(in);
  }
  if (intos.empty()) throw fail(i, 925);
  if (!(tl.word(i, "SELECT") || tl.word(i, "WITH") || tl.op(i, "("))) throw fail(i, 928);
  const std::string query = tl.slice(i, t.size() - 1);

  // a row goes where its condition holds; under FIRST only to the first such WHEN, and to ELSE
  // when none holds
  auto holds = [](const std::string& c) { return "CASE WHEN " + c + " THEN 1 ELSE 0 END = 1"; };
  std::vector<std::string> conds, pieces;
  for (const Into& in : intos) {
    std::string where;
    if (in.otherwise) {
      for (auto& c : conds) where += (where.empty() ? "" : " AND ") + std::string("NOT (") + holds(c) + ")";
    } else if (!in.when.empty()) {
      where = holds(in.when);
      if (first)
        for (auto& c : conds)
          if (c != in.when) where += " AND NOT (" + holds(c) + ")";
    } else if (conditional) {
      throw OraError(905);
    }
    if (!in.when.empty() && (conds.empty() || conds.back() != in.when)) conds.push_back(in.when);
    pieces.push_back("INSERT INTO " + in.table + in.columns + " SELECT " + (in.values.empty() ? "*" : in.values) +
                     " FROM (" + query + ")" + (where.empty() ? "" : " WHERE " + where));
  }
  out = translateParts(pieces, cat, "INSERT");
  return true;
}

} // namespace ora
