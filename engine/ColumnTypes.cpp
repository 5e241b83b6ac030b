// Column types between their declared names and ColType: the text SQLite keeps as a column's
// declared type (which also picks its affinity and collation), the synonyms Oracle accepts,
// and the sizes a describe reports.
#include "OraValues.h"
#include "Booleans.h"

#include "CType.h"
#include "Charset.h"

#include <cstdlib>
#include <string>

namespace ora {

namespace {

std::string upper(std::string_view s) {
  std::string r(s);
  for (auto& c : r) c = static_cast<char>(ora::upperC(static_cast<unsigned char>(c)));
  return r;
}

// Reads "(a)" or "(a,b)" after a type name.
void readArgs(std::string_view s, int& a, int& b, bool& hasB) {
  a = 0; b = 0; hasB = false;
  auto open = s.find('(');
  if (open == std::string_view::npos) return;
  a = std::atoi(std::string(s.substr(open + 1)).c_str());
  auto comma = s.find(',', open);
  if (comma != std::string_view::npos) {
    hasB = true;
    b = std::atoi(std::string(s.substr(comma + 1)).c_str());
  }
}

} // namespace

ColType parseDeclType(std::string_view decl) {
  ColType t;
  std::string u = upper(decl);
  int a, b;
  bool hasB;
  readArgs(u, a, b, hasB);
  auto starts = [&](const char* p) { return u.rfind(p, 0) == 0; };
  if (starts("OBJECT TEXT ")) {
    t.code = kVarchar2;
    t.size = 4000;
    t.object = u.substr(12);
    return t;
  }
  // "VARCHAR2(6,3)": six bytes that hold three characters, as VARCHAR2(3 CHAR) is kept
  if (starts("VARCHAR2")) { t.code = kVarchar2; t.size = a; t.chars = hasB ? b : 0; }
  else if (starts("NVARCHAR2") || starts("NCHAR")) {
    t.code = starts("NCHAR") ? kChar : kVarchar2; t.size = a; t.chars = hasB ? b : 0; t.national = true;
  }
  else if (starts("LONG VARCHAR")) t.code = kLong;
  else if (starts("LONG RAW")) t.code = kLongRaw;
  else if (starts("CLOB") || starts("NCLOB")) { t.code = kLong; t.lob = starts("CLOB") ? kClob : kNclob; }
  else if (starts("XMLTYPE")) { t.code = kLong; t.lob = kClob; t.xml = true; }
  else if (starts("JSON")) { t.code = kLong; t.lob = kClob; t.json = true; }
  else if (starts("BLOB")) { t.code = kLongRaw; t.lob = kBlob; }
  else if (starts("BINARY_DOUBLE") || starts("BINARY_FLOAT")) {
    t.code = kNumber;
    t.binary = starts("BINARY_DOUBLE") ? kBinaryDouble : kBinaryFloat;
  }
  // "NUMBER TEXT(p,s)" too
  else if (starts("NUMBER")) {
    t.code = kNumber; t.precision = a; t.scale = b; t.hasScale = hasB || a > 0;
    t.textStored = (!t.hasScale || t.scale == kFloatScale) && starts("NUMBER TEXT");
    t.anyPrecision = starts("NUMBER INTEGER");
  }
  else if (starts("DATE")) t.code = kDate;
  else if (starts("TIMESTAMP")) {
    t.code = u.find("ZONE") != std::string::npos ? kTimestampTz : kTimestamp;
    t.localZone = u.find("LOCAL") != std::string::npos;
    t.scale = u.find('(') != std::string::npos ? a : 6;
  }
  else if (starts("YEAR_MONTH")) { t.code = kIntervalYm; t.precision = a; }
  else if (starts("DAY_SECOND")) { t.code = kIntervalDs; t.precision = a; t.scale = b; }
  else if (starts("CHAR")) { t.code = kChar; t.size = a > 0 ? a : 1; t.chars = hasB ? b : 0; }
  else if (starts("RAW")) { t.code = kRaw; t.size = a; }
  else if (starts("ROWID")) t.code = kRowid;
  else if (starts("BOOLEAN")) t.code = kBoolean;
  else if (starts("COLL$")) { t.code = 108; t.size = 4000; } // a nested table or varray column: COLL$type
  return t;
}

std::string declTypeText(const ColType& t, Charset cs) {
  // TEXT affinity, compared through the type's MAP or ORDER method
  if (!t.object.empty()) return "OBJECT TEXT " + t.object.str() + " COLLATE ORA_OBJECT";
  switch (t.code) {
  case kVarchar2:
  case kChar: {
    std::string n = std::to_string(t.size) + (t.chars > 0 ? "," + std::to_string(t.chars) : std::string());
    // a JA16SJIS database compares and sorts text by its Shift-JIS bytes
    return std::string(t.national ? "N" : "") + (t.code == kChar ? "CHAR(" : "VARCHAR2(") + n + ")" +
           (cs == Charset::JA16SJIS ? " COLLATE ORA_SJIS" : "");
  }
  case kNumber:
    if (t.binary) return t.binary == kBinaryDouble ? "BINARY_DOUBLE" : "BINARY_FLOAT"; // REAL affinity
    if (t.precision == 0 && !t.hasScale) return t.textStored ? "NUMBER TEXT COLLATE ORA_NUMBER" : "NUMBER";
    // INTEGER: no precision of its own in the dictionary (and no SQLite rowid alias either)
    if (t.anyPrecision) return "NUMBER INTEGER(38,0)";
    if (t.precision == 0) return "NUMBER(38," + std::to_string(t.scale) + ")";
    if (t.isWide())
      return "NUMBER TEXT(" + std::to_string(t.precision) + "," + std::to_string(t.scale) + ") COLLATE ORA_NUMBER";
    return "NUMBER(" + std::to_string(t.precision) + "," + std::to_string(t.scale) + ")";
  case kDate: return "DATE";
  case kTimestamp: return "TIMESTAMP(" + std::to_string(t.scale) + ")";
  // SQLite's type names take no WITH; values in different zones compare by their instant
  case kTimestampTz:
    return std::string(t.localZone ? "TIMESTAMP LOCAL ZONE(" : "TIMESTAMP ZONE(") + std::to_string(t.scale) + ") COLLATE ORA_TSTZ";
  case kRaw: return "RAW(" + std::to_string(t.size) + ")";
  // TEXT affinity: a type name with INT in it would have SQLite read the stored text as a number
  case kIntervalYm: return "YEAR_MONTH TEXT(" + std::to_string(t.precision) + ")";
  case kIntervalDs: return "DAY_SECOND TEXT(" + std::to_string(t.precision) + "," + std::to_string(t.scale) + ")";
  case kLong: // names with TEXT affinity, so SQLite keeps the text as is
    if (t.xml) return "XMLTYPE CLOB";
    if (t.json) return "JSON CLOB";
    return t.lob == kClob ? "CLOB" : t.lob == kNclob ? "NCLOB" : "LONG VARCHAR";
  case kLongRaw: return t.lob == kBlob ? "BLOB" : "LONG RAW";
  case kRowid: return "ROWID";
  case kBoolean: return "BOOLEAN"; // NUMERIC affinity: kept as the integers 1 and 0
  }
  return "";
}

std::string typeSynonym(const std::string& w1, const std::string& w2, const std::string& w3, int& used) {
  used = 1;
  bool character = w1 == "CHAR" || w1 == "CHARACTER";
  if (character || w1 == "NCHAR") {
    if (w2 == "VARYING") {
      used = 2;
      return w1 == "NCHAR" ? "NVARCHAR2" : "VARCHAR2";
    }
    return character ? "CHAR" : "NCHAR";
  }
  if (w1 == "NATIONAL" && (w2 == "CHAR" || w2 == "CHARACTER")) {
    used = w3 == "VARYING" ? 3 : 2;
    return used == 3 ? "NVARCHAR2" : "NCHAR";
  }
  if (w1 == "LONG" && (w2 == "RAW" || w2 == "VARCHAR")) {
    used = 2;
    return w2 == "RAW" ? "LONG RAW" : "LONG";
  }
  if (w1 == "BOOL") return "BOOLEAN";
  if (w1 == "DOUBLE" && w2 == "PRECISION") {
    used = 2;
    return "DOUBLE PRECISION";
  }
  return w1;
}

ColType floatType(int bits) {
  ColType t;
  t.code = kNumber;
  t.precision = bits;
  t.scale = kFloatScale;
  t.hasScale = true;
  return t;
}

int floatDigits(int bits) { return (bits * 30103 + 99999) / 100000; }

int describeSize(const ColType& t) {
  switch (t.code) {
  case kVarchar2: case kChar: case kRaw: return t.size;
  case kNumber: return t.binary == kBinaryDouble ? 8 : t.binary == kBinaryFloat ? 4 : 22;
  case kDate: return 7;
  case kTimestamp: return 11;
  case kTimestampTz: return 13;
  case kIntervalYm: return 5;
  case kIntervalDs: return 11;
  case kRowid: return 10;
  case 108: return t.size; // a collection's text
  case kBoolean: return 1;
  default: return 0;
  }
}

int displaySize(const ColType& t) {
  switch (t.code) {
  case kVarchar2: case kChar: return t.size;
  case kRaw: return t.size * 2;
  case kNumber: return t.precision > 0 && !t.isFloat() ? t.precision + 2 : 40;
  case kDate: return 9;
  // the text of the default formats: 'RR-MM-DD HH24:MI:SSXFF[ TZR]'
  case kTimestamp: return 17 + (t.scale > 0 ? t.scale + 1 : 0);
  case kTimestampTz: return 24 + (t.scale > 0 ? t.scale + 1 : 0);
  // '+YY-MM' and '+DD HH:MI:SS.FFFFFF'
  case kIntervalYm: return t.precision + 4;
  case kIntervalDs: return t.precision + 10 + (t.scale > 0 ? t.scale + 1 : 0);
  case kRowid: return 18;
  case 108: return t.size;
  case kBoolean: return 11; // as wide as a client shows the type
  default: return 0;
  }
}

} // namespace ora
