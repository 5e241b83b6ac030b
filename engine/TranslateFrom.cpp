// The tables a query block's FROM clause names: dictionary views, synonyms, DUAL and views made
// before their tables, resolved here so the rest of the block sees plain tables.
#include "TranslateImpl.h"

#include "Dictionary.h"
#include "ModelClause.h"
#include "Session.h"

#include <algorithm>
#include <sqlite3.h>

namespace ora::tx {

Translation Translator::recompiledView(const std::string& view) { return ora::recompiledView(cat_, view); }

} // namespace ora::tx

namespace ora {
Translation recompiledView(Catalog& cat, const std::string& view) {
  std::string text;
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(cat.db(), "SELECT TEXT FROM \"TESSEL$VIEWS\" WHERE NAME = ?1", -1, &st, nullptr);
  sqlite3_bind_text(st, 1, view.c_str(), -1, SQLITE_TRANSIENT);
  if (sqlite3_step(st) == SQLITE_ROW) text = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
  sqlite3_finalize(st);
  Translation t;
  static thread_local int depth = 0; // views made over each other never compile
  if (text.empty() || depth >= 8) return t;
  ++depth;
  try {
    InnerQueries inner;
    t = translate(text, cat, false, false);
    if (t.kind != StmtKind::Query || !t.moreSql.empty()) t = Translation{};
    // names the translation leaves to SQLite are checked when it prepares the statement
    sqlite3_stmt* check = nullptr;
    if (!t.sql.empty() && sqlite3_prepare_v2(cat.db(), t.sql.c_str(), -1, &check, nullptr) != SQLITE_OK)
      t = Translation{};
    sqlite3_finalize(check);
  } catch (const OraError&) {
    t = Translation{};
  }
  --depth;
  return t;
}
} // namespace ora

namespace ora::tx {

void Translator::parseFrom(size_t b, size_t e, Context& c) {
  int d = at(b).depth;
  bool expectTable = true;
  for (size_t i = b; i < e; ++i) {
    const Token& k = t_[i];
    if (k.depth != d) continue;
    if (is(k, "(") || is(k, "TABLE") || is(k, "THE") || is(k, "PIVOT") || is(k, "UNPIVOT") || is(k, "LATERAL")) c.opaque = true;
    if (expectTable && is(k, "LATERAL") && is(at(i + 1), "(") && (is(at(i + 2), "SELECT") || is(at(i + 2), "WITH"))) {
      skip_[i] = 1;
      i = lateralView(i + 1, false, c);
      expectTable = false;
      continue;
    }
    if ((is(k, "CROSS") || is(k, "OUTER")) && is(at(i + 1), "APPLY")) {
      bool outer = is(k, "OUTER");
      c.opaque = true;
      if (is(at(i + 2), "(") && (is(at(i + 3), "SELECT") || is(at(i + 3), "WITH"))) {
        replace_[i] = outer ? "LEFT JOIN" : "JOIN";
        skip_[i + 1] = 1;
        i = lateralView(i + 2, outer, c);
        expectTable = false;
        continue;
      }
      // a table: each of its rows, whatever the row before; OUTER APPLY joins it on no condition
      replace_[i] = outer ? "LEFT" : "CROSS";
      replace_[i + 1] = "JOIN";
      if (outer) lateralOn_ = true;
      expectTable = true;
      ++i;
      continue;
    }
    if (expectTable && is(k, "(") && is(at(i + 1), "SELECT") && at(i + 2).kind == Token::Str &&
        at(i + 3).kind == Token::QIdent && at(i + 3).text == modelClauseColumn) {
      i = modelView(i, c);
      expectTable = false;
      continue;
    }
    if (size_t last = expectTable ? matchRecognize(i, c) : 0) {
      i = last;
      expectTable = false;
      continue;
    }
    if (expectTable && is(k, "(") && (is(at(i + 1), "SELECT") || is(at(i + 1), "WITH"))) {
      size_t close = matching(i);
      c.derived.emplace_back(i, aliasToken(close + 1) ? at(close + 1).text : std::string());
      expectTable = false;
      i = close;
      continue;
    }
    if (size_t last = expectTable ? collectionFrom(i, c) : 0) {
      i = last;
      expectTable = false;
      continue;
    }
    if (expectTable && is(k, "JSON_TABLE") && is(at(i + 1), "(")) {
      i = jsonTable(i, c);
      expectTable = false;
      continue;
    }
    if (expectTable && is(k, "XMLTABLE") && is(at(i + 1), "(")) {
      i = xmlTable(i, c);
      expectTable = false;
      continue;
    }
    if (expectTable) {
      expectTable = false;
      if (k.kind == Token::Ident || k.kind == Token::QIdent) {
        if (keywordAt(t_, i)) continue;
        // a call of no function of the schema's
        if (is(at(i + 1), "(")) throw OraError(933).at(static_cast<int>(at(i + 1).pos));
        if (is(at(i + 1), ".") && is(at(i + 3), "(")) throw OraError(933).at(static_cast<int>(at(i + 3).pos));
        TableRef r;
        size_t j = objectName(i, r.name);
        // "DUAL" quoted is DUAL too, unless the schema has a table of that name
        if (r.name == "DUAL" && (k.kind == Token::Ident || !cat_.tableExists(r.name))) {
          if (replace_[j - 1].empty()) {
            replace_[j - 1] = "(SELECT 'X' AS \"DUMMY\")";
            if (!aliasToken(j) && !is(at(j), "AS")) replace_[j - 1] += " \"DUAL\"";
          }
          ColType dummy;
          dummy.code = kVarchar2;
          dummy.size = 1;
          tr_.inferred.emplace("DUMMY", dummy);
        } else if (cteNames_.count(r.name)) {
        } else if (!cat_.tableExists(r.name)) {
          std::string view = dictionaryView(r.name, cat_.user());
          std::string target = view.empty() ? cat_.synonymTarget(r.name) : std::string();
          if (!target.empty()) {
            // a synonym reads its table, under the synonym's name unless the query gives another
            if (!cat_.tableExists(target)) throw OraError(980).at(static_cast<int>(k.pos));
            bool aliased = aliasToken(j) || is(at(j), "AS");
            replace_[j - 1] = quoteIdent(target) + (aliased ? "" : " AS " + quoteIdent(r.name));
            if (!aliased) r.alias = r.name;
            r.name = target;
            if (cat_.viewExists(target))
              for (auto& c : cat_.columns(target)) tr_.inferred.emplace(c.name, c.type);
          } else {
            if (view.empty()) throw OraError(942, r.name).at(static_cast<int>(k.pos));
            replace_[j - 1] = "temp." + quoteIdent(dictionaryTable(view));
            if (!aliasToken(j) && !is(at(j), "AS")) replace_[j - 1] += " AS " + quoteIdent(r.name);
            if (std::find(tr_.dictionary.begin(), tr_.dictionary.end(), view) == tr_.dictionary.end())
              tr_.dictionary.push_back(view);
            r.dictionary = view;
          }
        } else if (cat_.viewExists(r.name)) {
          // expression columns of a view have no declared type; describe them as stored
          auto cols = cat_.columns(r.name);
          for (auto& c : cols) {
            tr_.inferred.emplace(c.name, c.type);
            if (!c.narrowDecl.empty()) tr_.viewWide.emplace(c.name, std::make_pair(c.narrowDecl, c.type));
          }
          if (cols.empty()) {
            // a view made before its tables (FORCE) is compiled again where it is used; one whose
            // tables or columns have gone does not compile
            Translation again = recompiledView(r.name);
            if (again.sql.empty()) throw OraError(4063, "\"" + cat_.user() + "." + r.name + "\"").at(static_cast<int>(k.pos));
            bool aliased = aliasToken(j) || is(at(j), "AS");
            replace_[j - 1] = "(" + again.sql + ")" + (aliased ? "" : " AS " + quoteIdent(r.name));
            for (auto& [n, t] : again.inferred) tr_.inferred.emplace(n, t);
            for (auto& v : again.dictionary)
              if (std::find(tr_.dictionary.begin(), tr_.dictionary.end(), v) == tr_.dictionary.end()) tr_.dictionary.push_back(v);
            tr_.unshared = true;
          }
        }
        if (is(at(j), "AS")) throw OraError(933).at(static_cast<int>(at(j).pos)); // no AS before a table's alias
        if (aliasToken(j) && j < e) r.alias = at(j).text;
        if (lateralOn_) {
          size_t last = r.alias.empty() ? j - 1 : j;
          replace_[last] = (replace_[last].empty() ? quoteIdent(t_[last].text) : replace_[last]) + " ON 1 = 1";
          lateralOn_ = false;
        }
        c.tables.push_back(r);
        i = j - 1;
      }
      continue;
    }
    if (k.kind == Token::Op && k.text == ",") expectTable = true;
    if (k.kind == Token::Ident && k.text == "JOIN") expectTable = true;
  }
}

} // namespace ora::tx
