// The XML made from a query's rows, written as the generation functions before the statement is
// translated: DBMS_XMLGEN.GETXML and GETXMLTYPE of a query's text, TABLE(XMLSEQUENCE(CURSOR(q)))
// and TABLE(XMLSEQUENCE(x)), which are XMLTABLE's rows of the top-level nodes.
#include "XmlGenCalls.h"

#include "OraError.h"
#include "SqlText.h"
#include "SqlTokens.h"
#include "SqlTranslate.h"

#include <cctype>
#include <cstdio>
#include <sqlite3.h>

namespace ora {

namespace {

// A column's name as an element's: characters no XML name takes are written _xHHHH_.
std::string elementName(const std::string& col) {
  std::string out;
  for (size_t k = 0; k < col.size(); ++k) {
    const unsigned char c = static_cast<unsigned char>(col[k]);
    const bool ok = c >= 0x80 || std::isalpha(c) || c == '_' || (k > 0 && (std::isdigit(c) || c == '.' || c == '-'));
    if (ok) {
      out += static_cast<char>(c);
    } else {
      char b[12];
      std::snprintf(b, sizeof b, "_x%04X_", c);
      out += b;
    }
  }
  return out;
}

// The names of the columns a query gives; empty when they are not known before it runs. A
// query's text that is no query fails as DBMS_XMLGEN fails on it.
std::vector<std::string> queryColumns(const std::string& q, Catalog& cat, bool text) {
  std::vector<std::string> names;
  try {
    Translation t = translate(q, cat);
    if (t.kind != StmtKind::Query) throw OraError(900);
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(cat.db(), t.sql.c_str(), -1, &st, nullptr) == SQLITE_OK && st)
      for (int c = 0; c < sqlite3_column_count(st); ++c) {
        const char* n = sqlite3_column_name(st, c);
        names.emplace_back(n ? n : "");
      }
    sqlite3_finalize(st);
  } catch (const OraError& e) {
    if (!text) return {}; // a cursor's query: the statement reports it where it stands
    OraError wrapped(19202);
    wrapped.text = "ORA-19202: Error occurred in XML processing\n" + e.text;
    throw wrapped;
  }
  for (const auto& n : names)
    if (n.empty() || n.find('"') != std::string::npos) return {};
  return names;
}

// XMLFOREST of the query's columns, each as its text (a date in the session's format), with
// NULL columns left out.
std::string forest(const std::vector<std::string>& cols) {
  std::string out = "XMLFOREST(";
  for (size_t k = 0; k < cols.size(); ++k)
    out += (k ? ", " : "") + std::string("TO_CHAR(") + quoteIdent(cols[k]) + ") AS " + quoteIdent(elementName(cols[k]));
  return out + ")";
}

} // namespace

bool xmlGenCalls(const std::string& text, Catalog& cat, std::string& out) {
  if (!containsWord(text, "XMLGEN") && !containsWord(text, "XMLSEQUENCE")) return false;
  sql::TokenList l(text);
  if (!l.ok) return false;
  std::string res;
  size_t copied = 0;
  auto put = [&](size_t b, size_t e, const std::string& with) {
    res += text.substr(copied, l.t[b].pos - copied) + with;
    copied = l.t[e].end;
  };
  bool any = false;
  for (size_t i = 0; i + 3 < l.t.size(); ++i) {
    // DBMS_XMLGEN.GETXML('query') and GETXMLTYPE('query')
    if (l.word(i, "DBMS_XMLGEN") && l.op(i + 1, ".") && (l.word(i + 2, "GETXML") || l.word(i + 2, "GETXMLTYPE")) &&
        l.op(i + 3, "(") && i + 5 < l.t.size() && l.t[i + 4].kind == sql::Tok::Str && l.op(i + 5, ")")) {
      const size_t close = i + 5;
      const std::string& q = l.t[i + 4].text;
      auto cols = queryColumns(q, cat, true);
      if (cols.empty()) continue;
      const std::string doc = "XMLSERIALIZE(DOCUMENT XMLELEMENT(\"ROWSET\", XMLAGG(XMLELEMENT(\"ROW\", " + forest(cols) +
                              "))) AS CLOB INDENT SIZE = 1)";
      std::string value = l.word(i + 2, "GETXML") ? "TO_CLOB('<?xml version=\"1.0\"?>' || CHR(10) || " + doc + " || CHR(10))"
                                                  : "XMLTYPE(" + doc + ")";
      // no rows: no document
      std::string call = "(SELECT CASE WHEN COUNT(*) > 0 THEN " + value + " END FROM (" + q + "))";
      // a select item of its own keeps the call as its heading
      if ((l.word(i - 1, "SELECT") || l.op(i - 1, ",")) && (l.word(close + 1, "FROM") || l.op(close + 1, ","))) {
        std::string heading;
        for (char c : l.slice(i, close + 1))
          if (!std::isspace(static_cast<unsigned char>(c))) heading += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (heading.find('"') == std::string::npos && heading.size() <= 128) call += " " + quoteIdent(heading);
      }
      put(i, close, call);
      any = true;
      i = close;
      continue;
    }
    // TABLE(XMLSEQUENCE(...)): a row for each top-level node, or for each row of a cursor
    if (l.word(i, "TABLE") && l.op(i + 1, "(") && l.word(i + 2, "XMLSEQUENCE") && l.op(i + 3, "(")) {
      const size_t close = l.close(i + 1), inner = l.close(i + 3);
      if (inner + 1 != close) continue;
      std::string table;
      if (l.word(i + 4, "CURSOR") && l.op(i + 5, "(") && l.close(i + 5) + 1 == inner) {
        const std::string q = l.slice(i + 6, inner - 1);
        auto cols = queryColumns(q, cat, false);
        if (cols.empty()) continue;
        // the rows as one fragment, read again by XMLTABLE
        table = "XMLTABLE('/node()' PASSING (SELECT XMLAGG(XMLELEMENT(\"ROW\", " + forest(cols) + ")) FROM (" + q + ")))";
      } else {
        if (inner == i + 4) continue;
        table = "XMLTABLE('/node()' PASSING " + l.slice(i + 4, inner) + ")";
      }
      put(i, close, table);
      any = true;
      i = close;
      continue;
    }
  }
  if (!any) return false;
  out = res + text.substr(copied);
  return true;
}

} // namespace ora
