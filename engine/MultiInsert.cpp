// INSERT ALL / INSERT FIRST: one INSERT ... SELECT per INTO clause, each reading the subquery,
// run as one statement.
#include "MergeStatement.h"

#include "SqlLexer.h"

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
  std::vector<Token> t;
  if (!startsWithWord(text, "INSERT")) return false;
  try {
    t = sql::lex(text);
  } catch (const OraError&) {
    return false;
  }
  auto word = [&](size_t i, const char* w) { return i < t.size() && t[i].kind == Tok::Ident && t[i].text == w; };
  auto op = [&](size_t i, const char* o) { return i < t.size() && t[i].kind == Tok::Op && t[i].text == o; };
  if (!word(0, "INSERT") || !(word(1, "ALL") || word(1, "FIRST"))) return false;
  const bool first = word(1, "FIRST");
  auto fail = [&](size_t i, int code) -> OraError {
    return OraError(code).at(static_cast<int>(t[std::min(i, t.size() - 1)].pos));
  };
  auto close = [&](size_t open) {
    int d = 0;
    for (size_t k = open; k < t.size(); ++k) {
      if (op(k, "(")) ++d;
      if (op(k, ")") && --d == 0) return k;
    }
    throw OraError(907);
  };
  auto slice = [&](size_t b, size_t e) { return b < e ? text.substr(t[b].pos, t[e - 1].end - t[b].pos) : std::string(); };
  // the condition of a WHEN: up to its THEN at the same depth
  auto until = [&](size_t b, const char* w) {
    int d = 0;
    for (size_t k = b; k < t.size() && t[k].kind != Tok::End; ++k) {
      if (op(k, "(")) ++d;
      if (op(k, ")")) --d;
      if (d == 0 && word(k, w)) return k;
    }
    throw OraError(905);
  };

  std::vector<Into> intos;
  std::string when;
  bool otherwise = false, conditional = false;
  size_t i = 2;
  for (;;) {
    if (word(i, "WHEN")) {
      size_t th = until(i + 1, "THEN");
      when = slice(i + 1, th);
      otherwise = false;
      conditional = true;
      i = th + 1;
    } else if (word(i, "ELSE")) {
      when.clear();
      otherwise = true;
      ++i;
    }
    if (!word(i, "INTO")) break;
    Into in;
    size_t b = ++i;
    if (!(i < t.size() && (t[i].kind == Tok::Ident || t[i].kind == Tok::QIdent))) throw fail(i, 903);
    ++i;
    if (op(i, ".")) i += 2;
    in.table = slice(b, i);
    if (op(i, "(")) {
      size_t e = close(i);
      in.columns = " " + slice(i, e + 1);
      i = e + 1;
    }
    if (word(i, "VALUES")) {
      if (!op(i + 1, "(")) throw fail(i + 1, 906);
      size_t e = close(i + 1);
      in.values = slice(i + 2, e);
      i = e + 1;
    }
    in.when = when;
    in.otherwise = otherwise;
    intos.push_back(in);
  }
  if (intos.empty()) throw fail(i, 925);
  if (!(word(i, "SELECT") || word(i, "WITH") || op(i, "("))) throw fail(i, 928);
  const std::string query = slice(i, t.size() - 1);

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
