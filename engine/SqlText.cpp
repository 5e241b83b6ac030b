#include "SqlText.h"

#include "ByteFunctions.h"

#include "CType.h"
#include "OraFunctions.h"
#include "RegexpFunctions.h"
#include "SuppliedPackages.h"
#include "XmlRead.h"

#include <cctype>
#include <sqlite3.h>
#include <string_view>
#include <unordered_set>

namespace ora {

std::string quoteIdent(const std::string& s) {
  std::string r = "\"";
  for (char c : s) {
    if (c == '"') r += '"';
    r += c;
  }
  return r + "\"";
}

std::string quoteString(const std::string& s) {
  std::string r = "'";
  for (char c : s) {
    if (c == '\'') r += '\'';
    r += c;
  }
  return r + "'";
}

int execOne(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* st = nullptr;
  const char* tail = nullptr;
  int rc = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &st, &tail);
  if (rc != SQLITE_OK) {
    sqlite3_finalize(st);
    return rc;
  }
  for (const char* end = sql.data() + sql.size(); tail && tail < end; ++tail)
    if (!ora::spaceC(static_cast<unsigned char>(*tail))) {
      sqlite3_finalize(st);
      return SQLITE_MISUSE;
    }
  if (!st) return SQLITE_OK;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {}
  sqlite3_finalize(st);
  return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

namespace {

std::string upper(std::string_view s) {
  std::string u(s);
  for (auto& c : u) c = static_cast<char>(ora::upperC(static_cast<unsigned char>(c)));
  return u;
}

// Oracle's functions that SQLite itself provides, beside those the engine registers.
const char* const kOracleBuiltins[] = {"COUNT", "SUM", "AVG", "MIN", "MAX", "STDDEV", "VARIANCE", "COALESCE",
                                       "NULLIF", "ROW_NUMBER", "RANK", "DENSE_RANK", "LAG", "LEAD",
                                       "FIRST_VALUE", "LAST_VALUE", "NTH_VALUE", "NTILE", "PERCENT_RANK", "CUME_DIST",
                                       "LISTAGG", "RATIO_TO_REPORT", "ANY_VALUE", "APPROX_COUNT_DISTINCT", "CARDINALITY", "COLLECT",
                                       "TO_BOOLEAN"};
// What the engine's own statements and SQLite's own schema changes call.
const char* const kHelpers[] = {"IFNULL", "PRINTF", "ROW_NUMBER", "CHAR", "GLOB", "ORA_CONV", "ORA_SYSDATE", "ORA_SYSTIMESTAMP", "ORA_TS_CHAR", "ORA_DATE_CHAR", "ORA_TO_TIMESTAMP_OR", "ORA_TO_TIMESTAMP_TZ_OR", "ORA_TO_DSINTERVAL_OR", "ORA_TO_YMINTERVAL_OR", "ORA_VALIDATE_TIMESTAMP", "ORA_VALIDATE_TIMESTAMP_TZ", "ORA_VALIDATE_DSINTERVAL", "ORA_VALIDATE_YMINTERVAL", "ORA_BOOL_TEXT", "ORA_ROWID",
                                "ORA_ROWID_NUM", "ORA_NEXTVAL", "ORA_CURRVAL", "ORA_ADD", "ORA_SUB", "ORA_MUL", "ORA_DIV", "ORA_SUM", "ORA_AVG", "ORA_ADD_X", "ORA_SUB_X", "ORA_MUL_X", "ORA_DIV_X", "ORA_NEG_X", "ORA_SUM_X", "ORA_AVG_X", "ORA_MONTHS_BETWEEN_X", "ORA_CONVERT_OR", "ORA_VALIDATE", "ORA_LISTAGG", "ORA_PERCENTILE", "ORA_KEEP", "ORA_DISTINCT", "ORA_NTH", "ORA_HYPO_RANK", "ORA_HYPO_DENSE_RANK", "ORA_HYPO_PERCENT_RANK", "ORA_HYPO_CUME_DIST", "JULIANDAY", "ORA_NUM", "ORA_NCMP", "ORA_SINGLE", "ORA_NEG", "ORA_AND", "ORA_OR", "ORA_VSIZE", "ORA_RAISE", "ORA_PLSQL", "ORA_PLSQL_X", "ORA_PLSQL_DET", "ORA_CURSOR", "ORA_TRIGGER", "ORA_TRIGGER_NEW", "ORA_UPDATING", "ORA_TRIGGER_ROW", "LAST_INSERT_ROWID", "ORA_DECODE_REST", "ORA_BINARY", "ORA_IV_ADD", "ORA_IV_SUB", "ORA_IV_MUL", "ORA_IV_DIV", "ORA_IV_NEG", "ORA_DT_IV", "ORA_DT_DIFF", "ORA_IV_CHAR", "ORA_IV_EXTRACT", "ORA_IV_SUM", "ORA_IV_AVG", "ORA_MONTH_KEY", "ORA_SECOND_KEY", "ORA_JSON_VALUE", "ORA_JSON_QUERY", "ORA_JSON_EXISTS", "MATCH", "ORA_JSON_OBJECT", "ORA_JSON_ARRAY", "ORA_JSON_ARRAYAGG", "ORA_JSON_OBJECTAGG", "ORA_JSON_SERIALIZE", "ORA_JSON_SCALAR", "ORA_JSON_MERGEPATCH", "ORA_JSON_TRANSFORM", "ORA_JSON_DOC", "ORA_JSON_DOT", "ORA_JSON_EQUAL", "ORA_ROWNUM_NEXT", "ORA_ROWNUM_PASS", "ORA_PART_KEY", "ORA_LOB_GETLENGTH", "ORA_LOB_SUBSTR", "ORA_LOB_INSTR", "ORA_LOB_COMPARE", "ORA_ROWS", "ORA_XMLELEMENT", "ORA_XMLFOREST", "ORA_XMLCONCAT", "ORA_XMLMARKUP", "ORA_XMLROOT", "ORA_XMLSERIALIZE", "ORA_XMLAGG", "ORA_SYS_XMLGEN", "ORA_SYS_XMLAGG", "ORA_XMLMARK", "ORA_COLL", "ORA_COLL_MAKE", "ORA_COLL_CAST", "ORA_COLL_MEMBER", "ORA_COLL_SUBMULTISET", "ORA_COLL_ISSET", "ORA_COLL_ISEMPTY", "ORA_COLL_SET", "ORA_COLL_UNION", "ORA_COLL_INTERSECT", "ORA_COLL_EXCEPT", "ORA_COLL_EQ", "ORA_COLL_OR_EMPTY", "ORA_COLL_AGG", "SQLITE_RENAME_TABLE", "ORA_XML_EXTRACT", "ORA_XML_QUERY", "ORA_XML_TEXT", "ORA_XML_NUMBER", "ORA_MODEL", "ORA_TZ_AT", "ORA_TZ_NOW", "ORA_TZ_SESSION", "ORA_TZ_DB", "ORA_TZ_EXTRACT", "ORA_TZ_CHAR", "ORA_FP", "ORA_FP_READ", "ORA_FP_CHAR", "ORA_FP_CAST", "ORA_FP_IS", "ORA_FP_FN", "ORA_FOLD", "ORA_NUM_CHAR", "ORA_XMLCOLATTVAL", "ORA_XMLNAME", "ORA_XMLPARSE", "ORA_STAMP_SECONDS",
                                "SQLITE_RENAME_COLUMN", "SQLITE_RENAME_TEST", "SQLITE_RENAME_QUOTEFIX",
                                "SQLITE_DROP_COLUMN", "ORA_OBJ_NEW", "ORA_OBJ_MAKE", "ORA_OBJ_ATTR", "ORA_OBJ_SET", "ORA_OBJ_CALL", "ORA_OBJ_CALL_X", "ORA_OBJ_STATIC_X",
                                "ORA_OBJ_STATIC", "ORA_OBJ_CHECK", "ORA_OBJ_IS_OF", "ORA_OBJ_ROW", "ORA_OBJ_KEEP", "ORA_OBJ_KEPT",
                                "ORA_OBJ_KEPT_VALUE", "ORA_OBJ_REF", "ORA_OBJ_DEREF", "ORA_REF_DANGLING", "ORA_OBJ_TREAT",
                                "ORA_OBJ_NEWOID", "ORA_FLASHBACK", "ORA_CONCAT_SQL"};

int authorize(void*, int action, const char*, const char* name, const char*, const char*) {
  if (action == SQLITE_ATTACH || action == SQLITE_DETACH) return SQLITE_DENY;
  if (action == SQLITE_FUNCTION && !functionAllowed(name, true)) return SQLITE_DENY;
  return SQLITE_OK;
}

} // namespace

bool functionAllowed(const char* name, bool engineHelpers) {
  if (!name) return false;
  static const std::unordered_set<std::string> oracle = [] {
    std::unordered_set<std::string> s(std::begin(kOracleBuiltins), std::end(kOracleBuiltins));
    for (const auto& n : oraFunctionNames()) s.insert(n);
    for (const char* const* n = kRegexpFunctions; *n; ++n) s.insert(*n);
    for (const auto& n : byteFunctionNames()) s.insert(n);
    for (const auto& n : statAggregateNames()) s.insert(n);
    for (const auto& n : newerAggregateNames()) s.insert(n);
    for (const auto& n : xmlReadFunctionNames()) s.insert(n);
    return s;
  }();
  static const std::unordered_set<std::string> helpers(std::begin(kHelpers), std::end(kHelpers));
  std::string u = upper(name);
  if (engineHelpers && u.size() > 2 && u.compare(u.size() - 2, 2, "_X") == 0 && oracle.count(u.substr(0, u.size() - 2)))
    return true; // the exact twin of one of Oracle's functions
  return oracle.count(u) || (engineHelpers && (helpers.count(u) || fn::suppliedHelper(u)));
}

void installAuthorizer(sqlite3* db) { sqlite3_set_authorizer(db, authorize, nullptr); }

} // namespace ora
