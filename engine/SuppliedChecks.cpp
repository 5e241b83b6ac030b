// The functions of supplied packages a query may call that work on text: UTL_MATCH's
// similarity measures, DBMS_ASSERT's checks of names and literals and UTL_LMS.FORMAT_MESSAGE.
#include "FunctionUtil.h"
#include "SqlTranslate.h"
#include "RowScn.h"
#include "SuppliedPackages.h"
#include "DbmsMetadata.h"

#include <algorithm>
#include <cmath>
#include <set>

namespace ora::fn {

namespace {

// ---- UTL_MATCH ----

int64_t editDistance(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
  std::vector<int64_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = static_cast<int64_t>(j);
  for (size_t i = 1; i <= a.size(); ++i) {
    int64_t diag = row[0];
    row[0] = static_cast<int64_t>(i);
    for (size_t j = 1; j <= b.size(); ++j) {
      int64_t up = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diag + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diag = up;
    }
  }
  return row[b.size()];
}

// Jaro's measure with Winkler's bonus for a common prefix of up to four characters.
double jaroWinkler(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
  if (a.empty() && b.empty()) return 1;
  if (a.empty() || b.empty()) return 0;
  const size_t window = std::max(a.size(), b.size()) / 2 > 0 ? std::max(a.size(), b.size()) / 2 - 1 : 0;
  std::vector<bool> ma(a.size()), mb(b.size());
  size_t matches = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    size_t lo = i > window ? i - window : 0, hi = std::min(b.size(), i + window + 1);
    for (size_t j = lo; j < hi; ++j)
      if (!mb[j] && a[i] == b[j]) {
        ma[i] = mb[j] = true;
        ++matches;
        break;
      }
  }
  if (matches == 0) return 0;
  size_t half = 0, j = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    if (!ma[i]) continue;
    while (!mb[j]) ++j;
    if (a[i] != b[j]) ++half;
    ++j;
  }
  const double m = static_cast<double>(matches);
  double jaro = (m / static_cast<double>(a.size()) + m / static_cast<double>(b.size()) + (m - static_cast<double>(half) / 2) / m) / 3;
  size_t prefix = 0;
  while (prefix < 4 && prefix < a.size() && prefix < b.size() && a[prefix] == b[prefix]) ++prefix;
  return jaro + static_cast<double>(prefix) * 0.1 * (1 - jaro);
}

void fnEditDistance(Ctx* ctx, int, Val** argv) {
  if (anyNull(2, argv)) { sqlite3_result_int(ctx, -1); return; }
  sqlite3_result_int64(ctx, editDistance(decode(textOf(argv[0])), decode(textOf(argv[1]))));
}

// 0 (nothing alike) to 100 (the same): the share of the longer text left unedited, rounded.
void fnEditDistanceSimilarity(Ctx* ctx, int, Val** argv) {
  if (anyNull(2, argv)) { sqlite3_result_int(ctx, 0); return; }
  auto a = decode(textOf(argv[0])), b = decode(textOf(argv[1]));
  int64_t longest = static_cast<int64_t>(std::max(a.size(), b.size()));
  if (longest == 0) { sqlite3_result_int(ctx, 100); return; }
  int64_t kept = longest - editDistance(a, b);
  sqlite3_result_int64(ctx, (200 * kept + longest) / (2 * longest));
}

void fnJaroWinkler(Ctx* ctx, int, Val** argv) {
  if (anyNull(2, argv)) { sqlite3_result_int(ctx, 0); return; }
  sqlite3_result_double(ctx, jaroWinkler(decode(textOf(argv[0])), decode(textOf(argv[1]))));
}

// The measure as a whole percentage, its fraction dropped.
void fnJaroWinklerSimilarity(Ctx* ctx, int, Val** argv) {
  if (anyNull(2, argv)) { sqlite3_result_int(ctx, 0); return; }
  double jw = jaroWinkler(decode(textOf(argv[0])), decode(textOf(argv[1])));
  sqlite3_result_int64(ctx, static_cast<int64_t>(std::floor(jw * 100 + 1e-9)));
}

// ---- DBMS_ASSERT ----

bool blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::string trimmed(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && blank(s[b])) ++b;
  while (e > b && blank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

// A quoted name's inside: any characters, a quote only doubled; false when it is none.
bool quotedInside(const std::string& s, size_t b, size_t e) {
  if (e <= b) return false;
  for (size_t k = b; k < e; ++k)
    if (s[k] == '"') {
      if (k + 1 >= e || s[k + 1] != '"') return false;
      ++k;
    }
  return true;
}

bool nameStart(unsigned char c) { return std::isalpha(c) || c >= 0x80; }
bool nameChar(unsigned char c) { return nameStart(c) || std::isdigit(c) || c == '_' || c == '$' || c == '#'; }

// One simple name at s[k..]: where it ends, or npos when there is none there.
size_t simpleName(const std::string& s, size_t k) {
  if (k >= s.size()) return std::string::npos;
  if (s[k] == '"') {
    for (size_t m = k + 1; m < s.size(); ++m)
      if (s[m] == '"') {
        if (m + 1 < s.size() && s[m + 1] == '"') { ++m; continue; }
        return m > k + 1 ? m + 1 : std::string::npos;
      }
    return std::string::npos;
  }
  if (!nameStart(static_cast<unsigned char>(s[k]))) return std::string::npos;
  size_t m = k + 1;
  while (m < s.size() && nameChar(static_cast<unsigned char>(s[m]))) ++m;
  return m;
}

// The names of a qualified name: simple names joined by dots, around which blanks may stand.
bool qualifiedParts(const std::string& s, size_t b, size_t e, std::vector<std::string>& parts) {
  size_t k = b;
  for (;;) {
    while (k < e && blank(s[k])) ++k;
    size_t end = simpleName(s.substr(0, e), k);
    if (end == std::string::npos) return false;
    parts.push_back(s.substr(k, end - k));
    k = end;
    while (k < e && blank(s[k])) ++k;
    if (k == e) return true;
    if (s[k] != '.') return false;
    ++k;
  }
}

bool qualifiedName(const std::string& s, std::vector<std::string>& parts) {
  size_t at = s.find('@');
  if (at == std::string::npos) return qualifiedParts(s, 0, s.size(), parts);
  std::vector<std::string> link;
  return qualifiedParts(s, 0, at, parts) && qualifiedParts(s, at + 1, s.size(), link);
}

// A name as the dictionary keeps it: upper case unless quoted.
std::string canonical(const std::string& part) {
  if (part.size() >= 2 && part.front() == '"') {
    std::string in = part.substr(1, part.size() - 2), out;
    for (size_t k = 0; k < in.size(); ++k) {
      out += in[k];
      if (in[k] == '"') ++k;
    }
    return out;
  }
  return mapChars(part, upperChar);
}

void resultSame(Ctx* ctx, Val* v) { sqlite3_result_value(ctx, v); }

void fnSimpleSqlName(Ctx* ctx, int, Val** argv) {
  std::string s = trimmed(textOf(argv[0]));
  if (s.empty() || simpleName(s, 0) != s.size()) throw OraError(44003);
  resultSame(ctx, argv[0]);
}

void fnQualifiedSqlName(Ctx* ctx, int, Val** argv) {
  std::vector<std::string> parts;
  if (isNull(argv[0]) || !qualifiedName(textOf(argv[0]), parts)) throw OraError(44004);
  resultSame(ctx, argv[0]);
}

bool knownSchema(sqlite3* db, const std::string& name) {
  return name == sessionNls(db).user || name == "SYS" || name == "SYSTEM" || name == "PUBLIC";
}

void fnSchemaName(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0]) || !knownSchema(sqlite3_context_db_handle(ctx), textOf(argv[0]))) throw OraError(44001);
  resultSame(ctx, argv[0]);
}

// An object of the user's schema (or DUAL), named alone or after its schema.
void fnSqlObjectName(Ctx* ctx, int, Val** argv) {
  std::vector<std::string> parts;
  std::string s = textOf(argv[0]);
  if (isNull(argv[0]) || s.find('@') != std::string::npos || !qualifiedName(s, parts) || parts.size() > 2)
    throw OraError(44002);
  sqlite3* db = sqlite3_context_db_handle(ctx);
  const std::string& user = sessionNls(db).user;
  std::string name = canonical(parts.back());
  if (parts.size() == 2 && canonical(parts[0]) != user) {
    if (!(name == "DUAL" && (canonical(parts[0]) == "SYS" || canonical(parts[0]) == "PUBLIC"))) throw OraError(44002);
  }
  Catalog cat(db, user);
  if (name != "DUAL" && cat.objectType(name).empty() && cat.synonymTarget(name).empty()) throw OraError(44002);
  resultSame(ctx, argv[0]);
}

// ENQUOTE_NAME(str [, capitalize]): in double quotes, upper case unless quoted already or
// capitalize is FALSE; a quote inside must be doubled.
void fnEnquoteName(Ctx* ctx, int argc, Val** argv) {
  std::string s = textOf(argv[0]);
  bool capitalize = argc < 2 || isNull(argv[1]) || intOf(argv[1]) != 0;
  if (s.size() >= 2 && s.front() == '"' && s.back() == '"') {
    if (!quotedInside(s, 1, s.size() - 1)) throw OraError(44003);
    resultText(ctx, s);
    return;
  }
  if (!s.empty() && !quotedInside(s, 0, s.size())) throw OraError(44003);
  resultText(ctx, "\"" + (capitalize ? mapChars(s, upperChar) : s) + "\"");
}

// ENQUOTE_LITERAL(str): in single quotes unless there already; a quote inside must be doubled.
void fnEnquoteLiteral(Ctx* ctx, int, Val** argv) {
  std::string s = textOf(argv[0]);
  size_t b = 0, e = s.size();
  bool quoted = s.size() >= 2 && s.front() == '\'' && s.back() == '\'';
  if (quoted) { b = 1; e = s.size() - 1; }
  for (size_t k = b; k < e; ++k)
    if (s[k] == '\'') {
      if (k + 1 >= e || s[k + 1] != '\'') throw OraError(6502);
      ++k;
    }
  resultText(ctx, quoted ? s : "'" + s + "'");
}

void fnNoop(Ctx* ctx, int, Val** argv) { resultSame(ctx, argv[0]); }

// ---- UTL_LMS.FORMAT_MESSAGE ----

// %s and %d take the arguments in turn, %% is a percent sign.
void fnFormatMessage(Ctx* ctx, int argc, Val** argv) {
  std::string f = textOf(argv[0]), out;
  int next = 1;
  for (size_t k = 0; k < f.size(); ++k) {
    if (f[k] != '%' || k + 1 >= f.size()) { out += f[k]; continue; }
    char c = f[k + 1];
    if (c == '%') { out += '%'; ++k; continue; }
    if (c != 's' && c != 'd') { out += f[k]; continue; }
    ++k;
    if (next >= argc) continue;
    Val* v = argv[next++];
    if (isNull(v)) continue;
    if (c == 'd') out += std::to_string(intOf(v));
    else out += textOf(v);
  }
  resultText(ctx, out);
}

} // namespace

const std::vector<Def>& checkFunctionDefs() {
  static const std::vector<Def> defs = {
      {"ora_utl_match_edit_distance", 2, 2, guarded<fnEditDistance>, kNumber},
      {"ora_utl_match_edit_distance_similarity", 2, 2, guarded<fnEditDistanceSimilarity>, kNumber},
      {"ora_utl_match_jaro_winkler", 2, 2, guarded<fnJaroWinkler>, kNumber},
      {"ora_utl_match_jaro_winkler_similarity", 2, 2, guarded<fnJaroWinklerSimilarity>, kNumber},
      {"ora_dbms_assert_simple_sql_name", 1, 1, guarded<fnSimpleSqlName>, -1},
      {"ora_dbms_assert_qualified_sql_name", 1, 1, guarded<fnQualifiedSqlName>, -1},
      {"ora_dbms_assert_schema_name", 1, 1, guarded<fnSchemaName>, -1},
      {"ora_dbms_assert_sql_object_name", 1, 1, guarded<fnSqlObjectName>, -1},
      {"ora_dbms_assert_enquote_name", 1, 2, guarded<fnEnquoteName>, kVarchar2},
      {"ora_dbms_assert_enquote_literal", 1, 1, guarded<fnEnquoteLiteral>, kVarchar2},
      {"ora_dbms_assert_noop", 1, 1, guarded<fnNoop>, -1},
      {"ora_utl_lms_format_message", 1, 21, guarded<fnFormatMessage>, kVarchar2},
  };
  return defs;
}

bool suppliedHelper(const std::string& upperName) {
  static const std::set<std::string> names = [] {
    std::set<std::string> out;
    for (auto* defs : {&suppliedFunctionDefs, &checkFunctionDefs, &scnFunctionDefs, &metadataFunctionDefs})
      for (const Def& d : defs()) out.insert(mapChars(d.name, upperChar));
    return out;
  }();
  return names.count(upperName) > 0;
}

} // namespace ora::fn
