// Oracle types and values over SQLite storage: NUMBER as INTEGER or REAL, DATE as the text
// "YYYY-MM-DD HH:MM:SS", RAW as BLOB, character types as TEXT. A TIMESTAMP is the DATE text with
// ".fraction" added when its fraction is not zero, trailing zeros dropped: texts then sort and
// compare as the values do, and a DATE equals the TIMESTAMP of the same second.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_value;
struct sqlite3_context;

namespace ora {

// Internal type codes as odescr reports them.
enum TypeCode : int {
  kVarchar2 = 1, kNumber = 2, kLong = 8, kRowid = 11, kDate = 12, kRaw = 23, kLongRaw = 24,
  kChar = 96, kTimestamp = 180, kTimestampTz = 181, kIntervalYm = 182, kIntervalDs = 183
};
constexpr int kFloatScale = -127;
constexpr int kBinaryFloat = 100, kBinaryDouble = 101;
constexpr int kCursorType = 102; // a nested cursor (CURSOR expression, REF CURSOR function)
constexpr int kClob = 1, kNclob = 2, kBlob = 3;

// An object type's name, kept as a number: a ColType stays small (the translator's recursions
// hold many of them on the stack).
class TypeName {
public:
  TypeName() = default;
  TypeName(const std::string& name) { *this = name; }
  TypeName& operator=(const std::string& name);
  bool empty() const { return id_ == 0; }
  const std::string& str() const;
  operator const std::string&() const { return str(); }

private:
  int id_ = 0;
};

struct ColType {
  int code = 0;       // 0: not an Oracle type we know
  int size = 0;       // VARCHAR2/CHAR/RAW length in bytes
  int precision = 0;  // NUMBER(p,s); 0 when not given; FLOAT: binary digits
  int scale = 0;      // FLOAT: kFloatScale, as Oracle describes it; TIMESTAMP, INTERVAL: digits of the fraction
  bool hasScale = false;
  int chars = 0;      // VARCHAR2(n CHAR)/CHAR(n CHAR): the limit n in characters; size is its bytes
  bool textStored = false; // a NUMBER column without precision kept as decimal text: 38 digits, as Oracle
  // BINARY_DOUBLE (kBinaryDouble) or BINARY_FLOAT (kBinaryFloat): a number kept as SQLite's double,
  // described under its own type code
  int binary = 0;
  // CLOB and NCLOB are LONG to a client, BLOB is LONG RAW; the dictionary names them as declared
  int lob = 0;
  bool national = false;     // NCHAR, NVARCHAR2: lengths in characters of the national set
  bool anyPrecision = false; // INTEGER, INT, SMALLINT: whole numbers of no precision of their own
  bool xml = false; // an XML value (described as its text): markup where another XML function takes it
  bool json = false; // a JSON value, kept as its compact text
  TypeName object; // an object type's name: the value is the object's text (ObjectTypes.h)
  // TIMESTAMP WITH LOCAL TIME ZONE (a kTimestampTz): shown in the session's zone, without it
  bool localZone = false;
  bool isFloat() const { return code == kNumber && hasScale && scale == kFloatScale; }
  // More digits than a double or a 64-bit integer keeps: stored as decimal text.
  bool isWide() const {
    return code == kNumber &&
           (textStored || (hasScale && scale != kFloatScale && (precision > 18 || (precision > 15 && scale != 0))));
  }
};
// FLOAT(bits): REAL is FLOAT(63), DOUBLE PRECISION and FLOAT FLOAT(126).
ColType floatType(int bits);
// The decimal digits a FLOAT of that many binary digits keeps.
int floatDigits(int bits);

// The Oracle type an ANSI or SQL/DS name of several words stands for (CHARACTER VARYING is
// VARCHAR2, NATIONAL CHAR is NCHAR, LONG VARCHAR is LONG, ...), given its first words; `used`
// is how many of them it takes. Any other name is returned as it is, taking one word.
std::string typeSynonym(const std::string& w1, const std::string& w2, const std::string& w3, int& used);

// Reads the declared type that CREATE TABLE stored ("VARCHAR2(10)", "NUMBER(7,2)", "DATE",
// "LONG VARCHAR" for LONG, ...).
ColType parseDeclType(std::string_view decl);
// The declared type text CREATE TABLE stores for a type; a wide NUMBER has text affinity and
// compares by value through the ORA_NUMBER collation, text in a JA16SJIS database by its bytes
// in that set through ORA_SJIS.
enum class Charset;
std::string declTypeText(const ColType& t, Charset cs);
int describeSize(const ColType& t);
// The length argument of ora_conv: bytes, or minus the characters of a (n CHAR) column.
inline int convLimit(const ColType& t) { return t.chars > 0 ? -t.chars : t.size; }
int displaySize(const ColType& t);

struct DateTime {
  int year = 1, month = 1, day = 1, hour = 0, minute = 0, second = 0;
  int nanos = 0; // a TIMESTAMP's fraction of its second
};
inline bool isTimestamp(int code) { return code == kTimestamp || code == kTimestampTz; }
// INTERVAL types keep their leading field's digits as precision.
inline bool isInterval(int code) { return code == kIntervalYm || code == kIntervalDs; }

// Accepts 'YYYY/MM/DD', 'YYYY-MM-DD', 'RR-MM-DD', 'RR/MM/DD', each with an optional
// ' HH24:MI[:SS]'. Returns 0 or the Oracle error number.
int parseDate(std::string_view text, DateTime& out);
// Fast reader of the stored form of a DATE or TIMESTAMP; false when the text is not in it.
bool parseStoredDate(const unsigned char* s, int len, DateTime& out);
std::string storedDate(const DateTime& d);
std::string storedTimestamp(const DateTime& d);
// The fraction cut to `digits`, rounding; a carry goes into the seconds.
DateTime roundFraction(const DateTime& d, int digits);
std::string defaultDateText(const DateTime& d); // the session's default format RR-MM-DD
DateTime nowLocal();
// SYSDATE and SYSTIMESTAMP: one value for every row of a statement, as Oracle gives them. A
// clock in force makes them read its time instead of the machine's.
// The time is taken when a statement first asks for it: most statements never do.
struct StatementTime {
  DateTime t;
  bool taken = false;
};
class StatementClock {
public:
  explicit StatementClock(StatementTime& now);
  ~StatementClock();
  StatementClock(const StatementClock&) = delete;
  StatementClock& operator=(const StatementClock&) = delete;

private:
  StatementTime* prev_;
};
DateTime statementNow();
// The session's time zone as minutes east of UTC: the machine's own.
int localOffsetMinutes();
// Text as a TIMESTAMP: the stored form, or a DATE form of the session's with an optional
// ".fraction" after the seconds. Returns 0 or the Oracle error number.
int parseTimestampText(sqlite3* db, std::string_view text, DateTime& out);

// Plain decimal text of a stored number, exactly as stored (shortest round-trip for REAL).
std::string numberText(sqlite3_value* v);
std::string integerText(int64_t v);
std::string realText(double v);

// RAW bytes as Oracle shows them in text: upper-case hexadecimal.
std::string hexText(const unsigned char* p, int n);

// Byte length of UTF-8 text, and the longest prefix of at most `max` bytes that ends on a
// character boundary.
int utf8Prefix(const char* s, int len, int max);

// SQL functions the translated statements call: ora_conv (typed write, lengths counted in the
// database's character set), ora_sysdate, ora_rowid.
void registerFunctions(sqlite3* db, Charset cs);

// Decimal number as digits without leading/trailing zeros and the position of the decimal
// point relative to them: value = 0.<digits> * 10^point.
struct Decimal {
  bool neg = false;
  std::string digits;
  int point = 0;
  bool zero() const { return digits.empty(); }
};
void normalize(Decimal& d);
bool parseDecimal(std::string_view s, Decimal& out);
// False when d is beyond what a NUMBER holds (ORA-01426); a value too small for one becomes 0.
bool numberInRange(Decimal& d);
Decimal fromDouble(double v);
Decimal fromInteger(int64_t v);
// Rounds half away from zero to `scale` decimals (negative: left of the point).
void roundTo(Decimal& d, int scale);
// Rounds to the digits a NUMBER keeps: 20 base-100 digits, 39 or 40 decimal ones.
void roundToNumber(Decimal& d);
std::string plainText(const Decimal& d);
// INTEGER when integral and in range, else REAL.
void resultDecimal(sqlite3_context* ctx, const Decimal& d);

// ROWID text: 18 characters from the object number and the SQLite rowid.
std::string encodeRowid(int64_t obj, int64_t rowid);
bool decodeRowid(std::string_view text, int64_t& obj, int64_t& rowid);

} // namespace ora
