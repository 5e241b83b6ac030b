// MERGE INTO target USING source ON (...) WHEN MATCHED THEN UPDATE ... WHEN NOT MATCHED THEN
// INSERT ...: written as an UPDATE of the matched rows and an INSERT of the unmatched ones, each
// translated as any statement is; both run as one statement.
#include "MergeStatement.h"

#include "CType.h"
#include "SqlLexer.h"
#include "SqlText.h"

#include <algorithm>
#include <cctype>

namespace ora {

namespace {

using sql::Tok;
using sql::Token;

struct Reader {
  const std::string& text;
  std::vector<Token> t;
  size_t i = 0;

  bool word(const char* w, size_t k = 0) const {
    return i + k < t.size() && t[i + k].kind == Tok::Ident && t[i + k].text == w;
  }
  bool op(const char* o, size_t k = 0) const { return i + k < t.size() && t[i + k].kind == Tok::Op && t[i + k].text == o; }
  void expect(const char* w, int code) {
    if (!word(w)) fail(code);
    ++i;
  }
  [[noreturn]] void fail(int code) const { throw OraError(code).at(static_cast<int>(t[std::min(i, t.size() - 1)].pos)); }
  bool name(size_t k = 0) const {
    return i + k < t.size() && (t[i + k].kind == Tok::Ident || t[i + k].kind == Tok::QIdent);
  }
  // the index of the ")" closing the "(" at `open`
  size_t close(size_t open) const {
    int d = 0;
    for (size_t k = open; k < t.size(); ++k) {
      if (t[k].kind == Tok::Op && t[k].text == "(") ++d;
      if (t[k].kind == Tok::Op && t[k].text == ")" && --d == 0) return k;
    }
    throw OraError(907);
  }
  std::string slice(size_t b, size_t e) const { // tokens [b, e) as written
    if (b >= e) return {};
    return text.substr(t[b].pos, t[e - 1].end - t[b].pos);
  }
  // the depth-0 comma-separated items of tokens [b, e), as written
  std::vector<std::string> items(size_t b, size_t e) const {
    std::vector<std::string> out;
    int d = 0;
    size_t from = b;
    for (size_t k = b; k <= e; ++k) {
      if (k < e && t[k].kind == Tok::Op && t[k].text == "(") ++d;
      if (k < e && t[k].kind == Tok::Op && t[k].text == ")") --d;
      if (k == e || (d == 0 && t[k].kind == Tok::Op && t[k].text == ",")) {
        out.push_back(slice(from, k));
        from = k + 1;
      }
    }
    return out;
  }
  // from i to the next depth-0 token that is one of the words (or the end)
  size_t until(std::initializer_list<const char*> words) const {
    int d = 0;
    for (size_t k = i; k < t.size(); ++k) {
      if (t[k].kind == Tok::End) return k;
      if (t[k].kind == Tok::Op && t[k].text == "(") ++d;
      if (t[k].kind == Tok::Op && t[k].text == ")") --d;
      if (d == 0 && t[k].kind == Tok::Ident)
        for (const char* w : words)
          if (t[k].text == w) return k;
    }
    return t.size() - 1;
  }
};

bool isDefaultWord(const std::string& v) {
  return v.size() == 7 && std::equal(v.begin(), v.end(), "DEFAULT", [](char a, char b) { return ora::upperC(static_cast<unsigned char>(a)) == b; });
}

} // namespace

bool mergeStatement(const std::string& text, Catalog& cat, Translation& out) {
  Reader r{text, {}};
  if (!startsWithWord(text, "MERGE")) return false;
  try {
    r.t = sql::lex(text);
  } catch (const OraError&) {
    return false;
  }
  if (!r.word("MERGE")) return false;
  ++r.i;
  r.expect("INTO", 925);
  // target [alias]
  size_t tb = r.i;
  if (!r.name()) r.fail(903);
  ++r.i;
  if (r.op(".") && r.name(1)) r.i += 2;
  std::string target = r.slice(tb, r.i), targetTable = r.t[r.i - 1].text;
  std::string targetAlias;
  if (r.name() && !r.word("USING")) targetAlias = r.t[r.i++].text;
  r.expect("USING", 969);
  // source [alias]
  size_t sb = r.i;
  if (r.op("(")) r.i = r.close(r.i) + 1;
  else {
    if (!r.name()) r.fail(903);
    ++r.i;
    if (r.op(".") && r.name(1)) r.i += 2;
  }
  std::string source = r.slice(sb, r.i);
  if (r.name() && !r.word("ON")) source += " " + r.slice(r.i, r.i + 1), ++r.i;
  r.expect("ON", 969);
  if (!r.op("(")) r.fail(906);
  size_t cb = r.i, ce = r.close(cb);
  std::string on = r.slice(cb, ce + 1);
  r.i = ce + 1;
  const std::string self = target + (targetAlias.empty() ? "" : " " + targetAlias);
  // a column the ON condition reads of the target: it decides the match, so no update may change it
  const std::string targetName = targetAlias.empty() ? targetTable : targetAlias;
  auto inOn = [&](const std::string& column, const std::string& qualifier) {
    for (size_t k = cb + 1; k < ce; ++k) {
      if (r.t[k].kind != Tok::Ident && r.t[k].kind != Tok::QIdent) continue;
      if (r.t[k].text != column) continue;
      bool qualified = k >= 2 && r.t[k - 1].kind == Tok::Op && r.t[k - 1].text == ".";
      if (!qualified || r.t[k - 2].text == qualifier) return true;
    }
    return false;
  };
  size_t deleteAt = 0;
  std::string deleteWhere, updateWhere;

  // the update and the insert, in this order whatever the order of the clauses
  std::string updatePiece, insertPiece;
  bool matched = false, unmatched = false;
  while (r.word("WHEN")) {
    ++r.i;
    bool no = r.word("NOT");
    if (no) ++r.i;
    r.expect("MATCHED", 905);
    r.expect("THEN", 905);
    if (!no) {
      if (matched) r.fail(905);
      matched = true;
      r.expect("UPDATE", 905);
      r.expect("SET", 971);
      // each column gets the value of the one source row that matches it
      std::string sets;
      for (;;) {
        if (!r.name()) r.fail(904);
        size_t setAt = r.i;
        ++r.i;
        if (r.op(".") && r.name(1)) r.i += 2;
        std::string qualifier = r.i - setAt == 3 ? r.t[setAt].text : targetName;
        if (inOn(r.t[r.i - 1].text, qualifier))
          throw OraError(38104, "\"" + qualifier + "\".\"" + r.t[r.i - 1].text + "\"").at(static_cast<int>(r.t[setAt].pos));
        std::string column = r.t[r.i - 1].kind == Tok::QIdent ? "\"" + r.t[r.i - 1].text + "\"" : r.t[r.i - 1].text;
        if (!r.op("=")) r.fail(927);
        ++r.i;
        size_t eb = r.i, ee = r.until({"WHERE", "DELETE", "WHEN"});
        size_t comma = eb;
        for (int d = 0; comma < ee; ++comma) {
          if (r.op("(", comma - r.i)) ++d;
          if (r.op(")", comma - r.i)) --d;
          if (d == 0 && r.op(",", comma - r.i)) break;
        }
        if (comma == eb) r.fail(936);
        // DEFAULT is the column's own default, not a value of the source row
        bool dflt = comma == eb + 1 && r.word("DEFAULT", eb - r.i);
        sets += (sets.empty() ? "" : ", ") + column + " = " +
                (dflt ? std::string("DEFAULT") : "(SELECT " + r.slice(eb, comma) + " FROM " + source + " WHERE " + on + ")");
        r.i = comma;
        if (!r.op(",")) break;
        ++r.i;
      }
      // the condition may read the source row as well as the target's
      if (r.word("WHERE")) {
        ++r.i;
        size_t we = r.until({"DELETE", "WHEN"});
        updateWhere = " AND (" + r.slice(r.i, we) + ")";
        r.i = we;
      }
      updatePiece = ("UPDATE " + self + " SET " + sets + " WHERE EXISTS (SELECT 1 FROM " + source + " WHERE " + on +
                     updateWhere + ")");
      if (r.word("DELETE")) {
        // of the rows just updated, those the condition holds for with their new values
        ++r.i;
        r.expect("WHERE", 928);
        size_t we = r.until({"WHEN"});
        if (we == r.i) r.fail(936);
        deleteWhere = " AND (" + r.slice(r.i, we) + ")";
        r.i = we;
      }
    } else {
      if (unmatched) r.fail(905);
      unmatched = true;
      r.expect("INSERT", 905);
      std::string columns;
      std::vector<std::string> names;
      if (r.op("(")) {
        size_t e = r.close(r.i);
        columns = " " + r.slice(r.i, e + 1);
        names = r.items(r.i + 1, e);
        r.i = e + 1;
      }
      r.expect("VALUES", 926);
      if (!r.op("(")) r.fail(906);
      size_t ve = r.close(r.i);
      std::string values = r.slice(r.i + 1, ve);
      std::vector<std::string> items = r.items(r.i + 1, ve);
      r.i = ve + 1;
      // DEFAULT is no value of the source row: such a column is left out, to take its default
      if (std::any_of(items.begin(), items.end(), [](const std::string& v) { return isDefaultWord(v); })) {
        if (columns.empty())
          for (const auto& c : cat.columns(targetTable))
            if (!c.invisible) names.push_back(quoteIdent(c.name));
        if (names.size() > items.size()) throw OraError(947);
        if (names.size() < items.size()) throw OraError(913);
        {
          std::string cs, vs;
          for (size_t k = 0; k < items.size(); ++k) {
            if (isDefaultWord(items[k])) continue;
            cs += (cs.empty() ? "" : ", ") + names[k];
            vs += (vs.empty() ? "" : ", ") + items[k];
          }
          if (!cs.empty()) columns = " (" + cs + ")", values = vs;
        }
      }
      std::string where = "NOT EXISTS (SELECT 1 FROM " + self + " WHERE " + on + ")";
      if (r.word("WHERE")) {
        ++r.i;
        size_t we = r.until({"WHEN"});
        where += " AND (" + r.slice(r.i, we) + ")";
        r.i = we;
      }
      insertPiece = ("INSERT INTO " + target + columns + " SELECT " + values + " FROM " + source + " WHERE " + where);
    }
  }
  std::vector<std::string> pieces;
  if (matched) pieces.push_back(updatePiece);
  if (unmatched) pieces.push_back(insertPiece);
  if (!deleteWhere.empty()) {
    // after the insert, so that the rows it removes are not inserted again; the inserted ones it
    // leaves alone (see floorTable)
    deleteAt = pieces.size();
    pieces.push_back("DELETE FROM " + self + " WHERE EXISTS (SELECT 1 FROM " + source + " WHERE " + on +
                     updateWhere + deleteWhere + ")");
  }
  if (pieces.empty()) r.fail(905);
  if (r.t[r.i].kind != Tok::End) r.fail(933);
  // The update runs first: the rows the insert then adds were never matched, and the rows it
  // updated still match, so neither part sees the other's rows as its own.
  out = translateParts(pieces, cat, "MERGE");
  out.function = 189;
  // a deleted row was counted when it was updated
  if (deleteAt > 0) {
    out.uncounted.push_back(deleteAt - 1);
    if (unmatched) {
      out.moreSql[deleteAt - 1] += " AND rowid <= :FLOOR";
      out.floorTable = targetTable;
      out.floorBefore = deleteAt - 2;
      out.floorIn = deleteAt - 1;
    }
  }
  return true;
}

Translation translateParts(const std::vector<std::string>& pieces, Catalog& cat, const char* verb) {
  Translation out;
  for (size_t k = 0; k < pieces.size(); ++k) {
    Translation p;
    try {
      p = translate(pieces[k], cat, false);
    } catch (OraError& e) {
      e.pos = -1; // an offset in the rewritten piece; the name at fault is found in the statement
      throw;
    }
    if (k == 0) out = p;
    else out.moreSql.push_back(p.sql);
  }
  out.verb = verb;
  out.unshared = true;
  return out;
}

} // namespace ora
