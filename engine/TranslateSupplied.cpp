// The functions of supplied packages in a query: DBMS_RANDOM.VALUE, UTL_RAW.CAST_TO_RAW and the
// like become the engine's own SQL functions (ora_dbms_random_value, ...).
#include "TranslateImpl.h"

#include "CType.h"
#include "OraFunctions.h"

#include <map>
#include <set>

namespace ora::tx {

namespace {

const std::map<std::string, std::set<std::string>>& suppliedPackages() {
  static const std::map<std::string, std::set<std::string>> packages = {
      {"DBMS_RANDOM", {"VALUE", "STRING", "NORMAL", "RANDOM"}},
      {"UTL_RAW",
       {"CAST_TO_RAW", "CAST_TO_VARCHAR2", "LENGTH", "CONCAT", "SUBSTR", "BIT_AND", "BIT_OR", "BIT_XOR",
        "BIT_COMPLEMENT", "REVERSE", "COPIES", "COMPARE", "CAST_FROM_NUMBER", "CAST_TO_NUMBER",
        "CAST_FROM_BINARY_INTEGER", "CAST_TO_BINARY_INTEGER"}},
      {"UTL_ENCODE", {"BASE64_ENCODE", "BASE64_DECODE"}},
      {"UTL_I18N", {"STRING_TO_RAW", "RAW_TO_CHAR"}},
      {"UTL_MATCH", {"EDIT_DISTANCE", "EDIT_DISTANCE_SIMILARITY", "JARO_WINKLER", "JARO_WINKLER_SIMILARITY"}},
      {"DBMS_ASSERT",
       {"SIMPLE_SQL_NAME", "QUALIFIED_SQL_NAME", "SCHEMA_NAME", "SQL_OBJECT_NAME", "ENQUOTE_NAME",
        "ENQUOTE_LITERAL", "NOOP"}},
      {"UTL_LMS", {"FORMAT_MESSAGE"}},
      {"DBMS_UTILITY", {"GET_HASH_VALUE"}},
      {"DBMS_FLASHBACK", {"GET_SYSTEM_CHANGE_NUMBER"}},
      {"DBMS_METADATA", {"GET_DDL", "GET_DEPENDENT_DDL"}},
      {"DBMS_CRYPTO", {"HASH", "RANDOMBYTES"}},
      {"DBMS_ILM", {"ARCHIVESTATENAME"}},
  };
  return packages;
}

// Functions that take no arguments and may be named without parentheses.
bool bareCallable(const std::string& pkg, const std::string& f) {
  return (pkg == "DBMS_RANDOM" && (f == "VALUE" || f == "NORMAL" || f == "RANDOM")) ||
         (pkg == "DBMS_FLASHBACK" && f == "GET_SYSTEM_CHANGE_NUMBER");
}

} // namespace


bool Translator::suppliedPackageCall(size_t i) const {
  if (i + 2 >= size() || t_[i].kind != Token::Ident || !is(at(i + 1), ".") || at(i + 2).kind != Token::Ident) return false;
  auto pkg = suppliedPackages().find(t_[i].text);
  if (pkg == suppliedPackages().end()) return false;
  const std::string& f = at(i + 2).text;
  if (!pkg->second.count(f)) {
    // DBMS_UTILITY's other members belong to PL/SQL, which reads them before SQL sees them
    if (pkg->first == "DBMS_UTILITY" && !is(at(i + 3), "(")) return false;
    throw OraError(904, "\"" + pkg->first + "\".\"" + f + "\"").at(static_cast<int>(at(i + 2).pos));
  }
  if (!is(at(i + 3), "(") && !bareCallable(pkg->first, f))
    throw OraError(904, "\"" + pkg->first + "\".\"" + f + "\"").at(static_cast<int>(at(i + 2).pos));
  return true;
}

std::string Translator::suppliedFunctionName(size_t i) const {
  std::string name = "ora_" + t_[i].text + "_" + at(i + 2).text;
  for (auto& c : name) c = static_cast<char>(lowerC(static_cast<unsigned char>(c)));
  return name;
}

bool Translator::suppliedType(size_t b, size_t e, ColType& t) {
  if (e < b + 3 || !suppliedPackageCall(b)) return false;
  size_t end = is(at(b + 3), "(") ? matching(b + 3) + 1 : b + 3;
  if (end != e) return false;
  t = ColType{};
  if (t_[b].text == "DBMS_METADATA") {
    t.code = kLong;
    t.lob = kClob;
    return true;
  }
  switch (functionResultType(suppliedFunctionName(b))) {
  case kNumber: t.code = kNumber; break;
  case kRaw:
    t.code = kRaw;
    t.size = 2000;
    break;
  default:
    t.code = kVarchar2;
    t.size = 4000;
  }
  return true;
}

} // namespace ora::tx

namespace ora {

const std::set<std::string>* functionPackageMembers(const std::string& package) {
  static const std::set<std::string> complete = {"DBMS_RANDOM", "UTL_RAW", "UTL_MATCH", "DBMS_ASSERT"};
  auto it = tx::suppliedPackages().find(package);
  return complete.count(package) && it != tx::suppliedPackages().end() ? &it->second : nullptr;
}

} // namespace ora
