// What compiling a stored unit finds: its syntax errors, the schema types it names and the
// tables and columns its SQL names. A unit is valid while it finds none; it is checked again
// whenever the schema changes, so a unit whose table comes back is valid again.
#include "PlsqlCompile.h"

#include "Plsql.h"
#include "PlsqlImpl.h"
#include "Session.h"
#include "TranslateImpl.h"

#include <cstdlib>
#include <sqlite3.h>

namespace ora::pl {

namespace {

// Line and column (in characters, from 1) of a byte offset.
void lineColumn(const std::string& src, size_t pos, int& line, int& column) {
  line = 1;
  column = 1;
  for (size_t i = 0; i < pos && i < src.size(); ++i) {
    if (src[i] == '\n') {
      ++line;
      column = 1;
    } else if ((static_cast<unsigned char>(src[i]) & 0xC0) != 0x80) {
      ++column;
    }
  }
}

// "ORA-06550: line L, column C:\nPLS-nnnnn: ..." as one error at L/C.
CompileError fromParseError(const OraError& e) {
  CompileError c;
  const std::string& t = e.text;
  size_t nl = t.find('\n');
  size_t l = t.find("line "), k = t.find("column ");
  if (nl != std::string::npos && l < nl && k < nl) {
    c.line = std::atoi(t.c_str() + l + 5);
    c.column = std::atoi(t.c_str() + k + 7);
    c.text = t.substr(nl + 1);
    if (size_t more = c.text.find('\n'); more != std::string::npos) c.text.resize(more);
  } else {
    c.text = t;
  }
  if (c.text.rfind("PLS-", 0) == 0) c.number = std::atoi(c.text.c_str() + 4);
  else if (c.text.rfind("ORA-", 0) == 0) c.number = std::atoi(c.text.c_str() + 4);
  return c;
}

// "PL/SQL: SQL Statement ignored" and the ORA-00942 or ORA-00904 of a table or column the SQL of
// src names that is not there; false when all are.
bool missingNameErrors(const std::string& src, Catalog& cat, std::vector<CompileError>& out) {
  size_t at = 0, statement = 0;
  std::string missing = tx::missingName(src, cat, &at, &statement);
  if (missing.empty()) return false;
  CompileError ignored;
  lineColumn(src, statement, ignored.line, ignored.column);
  ignored.text = "PL/SQL: SQL Statement ignored";
  out.push_back(ignored);
  CompileError c;
  lineColumn(src, at, c.line, c.column);
  size_t dot = missing.find('.');
  if (dot == std::string::npos) {
    c.number = 942;
    c.text = "PL/SQL: ORA-00942: table or view does not exist";
  } else {
    c.number = 904;
    c.text = "PL/SQL: ORA-00904: \"" + missing.substr(dot + 1) + "\": invalid identifier";
  }
  out.push_back(c);
  return true;
}

} // namespace

std::vector<CompileError> triggerErrors(const std::string& body, Catalog* cat) {
  std::vector<CompileError> out;
  try {
    auto t = tokens(body);
    // a compound trigger's body is in parts of its own
    if (t.empty() || t[0].kind != T::Word || (t[0].text != "DECLARE" && t[0].text != "BEGIN")) return out;
    parseBlock(triggerBlockText(body, "NEW", "OLD"));
  } catch (const OraError& e) {
    if (e.code == 6550) out.push_back(fromParseError(e));
    return out;
  }
  if (cat) missingNameErrors(body, *cat, out);
  return out;
}

std::vector<CompileError> rowReferenceErrors(const std::string& body, const std::string& newName,
                                             const std::string& oldName, const std::vector<std::string>& columns,
                                             bool before) {
  std::vector<CompileError> out;
  std::vector<std::string> assigned;
  try {
    checkTriggerBody(body, newName, oldName, columns, before, assigned);
  } catch (const OraError& e) {
    if (e.code == 6550) out.push_back(fromParseError(e));
  }
  return out;
}

CompileError errorAt(const std::string& src, size_t pos, int number, const std::string& text) {
  CompileError c;
  lineColumn(src, pos, c.line, c.column);
  c.number = number;
  c.text = text;
  return c;
}

std::vector<CompileError> compileErrors(const std::string& type, const std::string& src, const std::string& decls,
                                        const std::set<std::string>& schemaTypes, Catalog* cat) {
  std::vector<CompileError> out;
  std::shared_ptr<Unit> u;
  try {
    if (type == "PROCEDURE" || type == "FUNCTION") u = parseProcedure(src);
    else if (type == "PACKAGE") u = parsePackage(src, {});
    else if (type == "PACKAGE BODY") u = parsePackage(decls, src);
    else if (type == "TYPE") u = parseTypeSource(src);
    else return out;
  } catch (const OraError& e) {
    out.push_back(fromParseError(e));
    return out;
  }
  for (const std::string& n : u->schemaTypes) {
    if (schemaTypes.count(n) || !builtinTypeSource(n).empty()) continue;
    CompileError c;
    size_t at = src.find(n);
    lineColumn(src, at == std::string::npos ? 0 : at, c.line, c.column);
    c.number = 201;
    c.text = "PLS-00201: identifier '" + n + "' must be declared";
    out.push_back(c);
    return out;
  }
  if (!cat || type == "TYPE") return out;
  if (!missingNameErrors(src, *cat, out)) {
    if (type == "PROCEDURE" || type == "FUNCTION") out = callErrors(cat->db(), src);
    if (out.empty() && (type == "PROCEDURE" || type == "FUNCTION")) out = undeclaredErrors(*cat, src);
  }
  return out;
}

bool sqlNamesPresent(const std::string& src, Catalog& cat) { return tx::missingName(src, cat).empty(); }

bool unitCompiles(Session& ses, const std::string& name, const std::string& src) {
  auto memo = ses.schemaMemo();
  auto it = memo->compiledUnits.find(name);
  if (it != memo->compiledUnits.end() && it->second == src) return true;
  Catalog cat(ses.db, ses.user, &ses);
  if (!sqlNamesPresent(src, cat)) return false;
  if (name.find('/') == std::string::npos &&
      (!callErrors(ses.db, src).empty() || !undeclaredErrors(cat, src).empty()))
    return false;
  memo->compiledUnits[name] = src;
  return true;
}

void checkBlockSql(Session& ses, const std::string& src) {
  if (unitCompiles(ses, "BLOCK/" + src, src)) return;
  Catalog cat(ses.db, ses.user, &ses);
  size_t at = 0, statement = 0;
  std::string missing = tx::missingName(src, cat, &at, &statement);
  if (missing.empty()) return;
  size_t dot = missing.find('.');
  OraError e(6550);
  e.text = "ORA-06550: " + where(src, at) + ":\n" +
           (dot == std::string::npos ? "PL/SQL: ORA-00942: table or view does not exist"
                                     : "PL/SQL: ORA-00904: \"" + missing.substr(dot + 1) + "\": invalid identifier") +
           "\nORA-06550: " + where(src, statement) + ":\nPL/SQL: SQL Statement ignored";
  e.pos = static_cast<int>(at);
  throw e;
}

void checkBlockNames(Session& ses, const Unit& block) {
  // a block run again and again is looked at once while the schema stays as it is
  auto memo = ses.schemaMemo();
  std::string key = "NAMES/" + block.src;
  if (auto it = memo->compiledUnits.find(key); it != memo->compiledUnits.end()) return;
  Catalog cat(ses.db, ses.user, &ses);
  OraError e(0);
  if (blockNameError(cat, block, e)) throw e;
  memo->compiledUnits[key];
}

} // namespace ora::pl
