// Internals of the statement translator, shared by its query and DDL halves.
#pragma once
#include "Charset.h"
#include "Dictionary.h"
#include "OraError.h"
#include "SqlText.h"
#include "Session.h"
#include "SqlTranslate.h"

#include <cstring>
#include <deque>
#include <initializer_list>
#include <map>
#include <set>
#include <tuple>
#include <string>
#include <vector>

namespace ora {
struct Nls;
}

namespace ora::tx {

// Parentheses deeper than this are refused before any recursion over them; Oracle's own limit
// of 255 nested subqueries stays inside it, and the recursion over it fits a 1 MB stack.
constexpr int kMaxNesting = 300;

struct Token {
  enum Kind { Ident, QIdent, Str, Num, Op, Bind } kind;
  std::string text; // Ident: upper case; QIdent, Str: content; others: as written
  std::string raw;  // as written
  int depth = 0;    // open parentheses before the token ('(' and ')' carry the outer depth)
  size_t pos = 0, end = 0; // byte range in the statement text
};

std::vector<Token> tokenize(const std::string& s);
bool keywordAt(const std::vector<Token>& t, size_t i);
// A text against a word known when compiling: lengths first, then the bytes.
template <size_t N>
inline bool eq(const std::string& s, const char (&w)[N]) {
  return s.size() == N - 1 && std::memcmp(s.data(), w, N - 1) == 0;
}
// Whether a token is the word or operator `word`. Asked of nearly every token by every clause,
// so the first byte, where most differ, is looked at before the whole text.
inline bool is(const Token& t, const char* word) {
  return (t.kind == Token::Ident || t.kind == Token::Op) &&
         (t.text.empty() ? *word == 0 : t.text[0] == *word && t.text == word);
}
void checkName(const std::string& name, Charset cs);
const ColumnInfo& findColumn(const std::vector<ColumnInfo>& cols, const std::string& name);
size_t skipPhysical(const std::vector<Token>& t, size_t i);
// The storage and build options of CREATE INDEX and ALTER INDEX ... REBUILD from i.
size_t skipIndexOptions(const std::vector<Token>& t, size_t i);
// Stored PL/SQL units, triggers and blocks, which are not tokenized as SQL; false when the text
// is none of them.
bool translatePlsql(const std::string& text, Catalog& cat, Translation& out);
// CREATE TRIGGER from its name on (`at`); `state` 1 or 2 makes it enabled or disabled whatever
// the text says.
void createTrigger(const std::string& text, size_t at, bool replace, Catalog& cat, Translation& out, int state);
// The table's triggers compiled again against its columns as they are now.
void remakeTriggersOn(Session& s, const std::string& table);
// What drops the records of the triggers on a table or view, which goes or is made anew (the
// SQLite triggers go with it).
std::vector<std::string> triggerRecordsDropped(const std::string& table);
// ALTER TRIGGER ... ENABLE | DISABLE | COMPILE, ALTER TABLE ... ENABLE | DISABLE ALL TRIGGERS and
// ALTER PROCEDURE | FUNCTION | PACKAGE | TYPE ... COMPILE; false for any other statement.
bool alterTrigger(const std::string& text, Catalog& cat, Translation& out);
// Whether the view was made WITH READ ONLY.
bool readOnlyView(const std::string& view, Catalog& cat);
// A table (or "TABLE.COLUMN") the SQL of a PL/SQL body names that is not there; empty when
// every one it names is. `at` gets the byte offset of the name, `statement` that of its statement.
std::string missingName(const std::string& body, Catalog& cat, size_t* at = nullptr, size_t* statement = nullptr);
// After the DDL of a trigger that follows `follows`: that one's row triggers made again, and
// those it follows in turn, as SQLite fires the newest first.
void orderTriggers(const std::string& follows, Catalog& cat, Translation& out);
// ALTER SESSION SET NLS_...: checks the settings; they apply when the statement runs.
void alterSession(const std::vector<Token>& t, Translation& out);
// The stored form of an ANSI literal DATE 'YYYY-MM-DD'; Oracle's error when the text is none.
std::string ansiDate(const std::string& text);
// The stored form of TIMESTAMP 'YYYY-MM-DD HH24:MI:SS[.FF]'.
std::string ansiTimestamp(const std::string& text);

struct TableRef {
  std::string name, alias;
  std::string dictionary; // the dictionary view it reads, if any
  int64_t obj = 0;
};

// A comparison with ANY / SOME / ALL: byte ranges of its operands.
struct Quantified {
  std::string op;
  bool all = false, subquery = false;
  std::pair<size_t, size_t> left;
  std::vector<std::pair<size_t, size_t>> values; // the subquery, or each listed value
  size_t end = 0;
  size_t width = 1; // (a, b) = ANY (...) compares rows of this many values
};

struct Context {
  std::vector<TableRef> tables;
  bool opaque = false; // some source is not a named table: a subquery, TABLE(...), a pivot
  // subqueries of FROM: the "(" that opens each, and its alias
  std::vector<std::pair<size_t, std::string>> derived;
  // the columns of TABLE(collection) sources: alias, column, type
  std::vector<std::tuple<std::string, std::string, ColType>> collColumns;
};

// The call with its _x name when it is one of our arithmetic calls: its value goes on as exact
// decimal text where a double would round it.
std::string exactCall(std::string call);
// Digits of a number literal's mantissa, leading zeros not counted.
int significantDigits(const std::string& literal);
// Whether every value of type x (the literal token when there is one) fits the NUMBER(p,s) `into`.
bool numberHolds(const ColType& into, const ColType& x, const Token* literal);

// A SQL/JSON call, or an IS [NOT] JSON condition (at its IS), as read before the statement's
// other passes see its tokens (TranslateJson.cpp).
// A call of the XML reading functions or of an XMLType method (TranslateXmlRead.cpp).
struct XmlRead {
  std::string fn; // EXTRACT, EXTRACTVALUE, EXISTSNODE, XMLTYPE, XMLQUERY, XMLEXISTS; a method's name
  size_t end = 0;
  std::vector<std::pair<size_t, size_t>> args; // a method's value first; XMLQUERY: the PASSING values
  std::vector<std::string> names;              // XMLQUERY, XMLEXISTS: each value's AS name, or ""
  size_t path = 0;                             // XMLQUERY, XMLEXISTS: the query's token
};

// One JSON_TRANSFORM operation: its path token and value tokens.
struct JsonEditTokens {
  int op = 0, onMissing = 0, onExisting = 0; // as JsonEdit (JsonFunctions.h)
  size_t path = 0;
  std::pair<size_t, size_t> value{0, 0};
  bool formatJson = false;
};

struct JsonCall {
  std::string fn;                              // JSON_VALUE, ..., JSON_ARRAYAGG; IS
  std::vector<std::pair<size_t, size_t>> args; // the document and path; keys and values; elements
  std::vector<char> formatJson;                // per argument: FORMAT JSON after it
  size_t orderB = 0, orderE = 0;               // JSON_ARRAYAGG's ORDER BY keys
  int returnType = 0, returnSize = 4000;       // RETURNING; 0 when not given
  int precision = 0, scale = 0;                // RETURNING NUMBER(p,s)
  int64_t limit = 4000;                        // the longest result in bytes
  int onError = -1, onEmpty = -1, onNull = -1, wrapper = 0;
  std::pair<size_t, size_t> errorDefault{0, 0}, emptyDefault{0, 0};
  bool pretty = false, strict = false, unique = false, negated = false;
  bool ascii = false, ordered = false, truncate = false;
  std::vector<JsonEditTokens> edits; // JSON_TRANSFORM
  std::pair<size_t, size_t> star{0, 0}; // JSON_OBJECT(*) or (t.*)
  std::pair<size_t, size_t> query{0, 0}; // JSON_ARRAY(query): its SELECT to the token after it
  std::vector<size_t> pins; // literals of the RETURNING type
  size_t end = 0;            // the token after it
  struct Passed {
    size_t b, e;
    std::string name;
  };
  std::vector<Passed> passing; // PASSING value AS name, for the path's $name
};

// The token at i, or an empty one past the end.
inline const Token& tokenAt(const std::vector<Token>& t, size_t i) {
  static const Token end{Token::Op, "", "", 0};
  return i < t.size() ? t[i] : end;
}
// What stands at i cannot be there: ORA-00921 past the end, else ORA-00933 marked at it.
[[noreturn]] inline void unexpectedToken(const std::vector<Token>& t, size_t i) {
  if (i >= t.size()) throw OraError(921);
  throw OraError(933, "near " + t[i].raw).at(static_cast<int>(t[i].pos));
}

struct PartitionedJoin;
namespace rb {
struct DefPiece;
}

class Translator {
public:
  Translator(const std::string& src, std::vector<Token> toks, Catalog& cat)
      : src_(src), t_(std::move(toks)), cat_(cat) {
    markNthFrom();
    markJson();
    markXml();
    markXmlRead();
  }

  Translation run();
  // What run() had made of the statement when it failed.
  const Translation& partial() const { return tr_; }

private:
  const std::string& src_;
  std::vector<Token> t_;
  Catalog& cat_;
  Translation tr_;
  std::deque<Context> ctx_; // a deque: typing a subquery pushes contexts while outer ones are in use
  std::vector<std::string> replace_; // per token: emitted text instead of the token
  std::vector<char> skip_;
  // TO_BINARY_DOUBLE (1) and TO_BINARY_FLOAT (2) calls: TO_NUMBER, rounded to the binary type
  std::map<size_t, int> binary_;
  // APPROX_MEDIAN and APPROX_PERCENTILE as the exact functions; a MEDIAN here gives one of the values
  void approxAggregates();
  std::set<size_t> discreteMedian_;
  std::set<size_t> binaryOpen_;
  std::map<size_t, std::pair<size_t, int>> rewritten_; // a rewritten chain's first token: its end, type
  // BINARY_FLOAT / BINARY_DOUBLE arithmetic: the binary type of the chain being rewritten (0: NUMBER),
  // and of the rewritten chains that gave one
  int fpChain_ = 0;
  int fpMathKind(size_t i);
  bool fpMathCall(size_t i, std::string& out, size_t& last);
  std::map<size_t, int> fpRewritten_;
  // The select item [first, second) that goes out through ora_add_x, which reads exact text
  std::pair<size_t, size_t> exactTop_{0, 0};
  mutable bool exactTopUsed_ = false;
  // select items of subqueries whose values only our exact comparison reads
  std::set<size_t> exactItems_;

  size_t size() const { return t_.size(); }
  const Token& at(size_t i) const { return tx::tokenAt(t_, i); }
  [[noreturn]] void unexpected(size_t i) { tx::unexpectedToken(t_, i); }
  void expect(size_t i, const char* word, int code) {
    // marked at the token in its place, or after the last one
    if (!is(at(i), word)) throw OraError(code).at(static_cast<int>(i < size() ? t_[i].pos : size() ? t_.back().end : 0));
  }

  // Reads [schema.]name at i; returns the index after it.
  size_t objectName(size_t i, std::string& name) {
    const Token& a = at(i);
    if (a.kind != Token::Ident && a.kind != Token::QIdent) throw OraError(903);
    if (keywordAt(t_, i)) throw OraError(903);
    if (is(at(i + 1), ".")) {
      const Token& b = at(i + 2);
      if (b.kind != Token::Ident && b.kind != Token::QIdent) throw OraError(903);
      bool dictionary = a.text == "SYS" && (b.text == "DUAL" || !dictionaryView(b.text, cat_.user()).empty());
      if (a.text != cat_.user() && !dictionary) throw OraError(942, a.text + "." + b.text);
      skip_[i] = skip_[i + 1] = 1;
      name = b.text;
      namedAt(name, b.pos);
      return i + 3;
    }
    name = a.text;
    namedAt(name, a.pos);
    return i + 1;
  }
  void namedAt(const std::string& name, size_t pos) const {
    try {
      checkName(name, charset());
    } catch (OraError& e) {
      throw e.at(static_cast<int>(pos));
    }
  }

  Charset charset() const { return cat_.session() ? cat_.session()->charset : Charset::AL32UTF8; }
  // Bytes of a text in the database's character set, as describe sizes count them.
  // VARCHAR2(n CHAR): n characters, in as many bytes as n of the widest take, up to `most`
  void charLimit(ColType& t, int most) const {
    t.chars = t.size;
    t.size = std::min(most, t.size * (charset() == Charset::JA16SJIS ? 2 : 4));
  }
  int textBytes(const std::string& s) const { return static_cast<int>(byteLength(s, charset())); }

  bool aliasToken(size_t i) const {
    const Token& a = at(i);
    if (i > 0 && a.kind == Token::Ident && is(t_[i - 1], "AT") && a.text == "LOCAL") return false; // value AT LOCAL
    // the operand of a logical operator (NOT b, a AND b): no value ends before it
    if (i > 0 && (is(t_[i - 1], "NOT") || is(t_[i - 1], "AND") || is(t_[i - 1], "OR") || is(t_[i - 1], "IS") ||
                  is(t_[i - 1], "LIKE") || is(t_[i - 1], "ESCAPE")))
      return false;
    // value COLLATE name: the operator and its collation
    if (is(a, "COLLATE") || (i > 0 && is(t_[i - 1], "COLLATE") && !replace_.empty() && !replace_[i - 1].empty())) return false;
    return (a.kind == Token::Ident && !keywordAt(t_, i)) || a.kind == Token::QIdent;
  }

  std::string emit(size_t b, size_t e);
  bool percentileKey(size_t i, size_t& kb, size_t& ke) const;
  std::string fromDays(const std::string& days, size_t& after, bool seconds = false);
  void numberRangeKey(size_t kb, size_t ke, size_t frame);
  static std::string oneRow(const std::string& table);
  std::string source(size_t b, size_t e) const;
  bool uniqueByColumns(const std::string& table, size_t i);
  void circularView(const std::string& name, const std::string& text);
  bool createDisabled(const std::string& table, size_t open, size_t close);
  bool enableExceptions(const std::string& table, size_t i);
  bool addDisabledUnnamed(size_t i);
  std::string writtenDefault(size_t b, size_t e) const;
  std::string storedDefaultOf(size_t b, size_t e, const ColType& ct, const std::string& column);
  std::string defaultsOf_; // CREATE or ALTER TABLE: the table whose column defaults are written
  // CREATE TABLE: the columns declared so far, for the types of virtual columns' expressions
  const std::vector<std::pair<std::string, ColType>>* tableColumns_ = nullptr;
  std::string emitSelect(size_t s, size_t e, size_t& next);
  std::string heading(size_t b, size_t e);
  ColType infer(size_t b, size_t e);
  // BINARY_FLOAT and BINARY_DOUBLE (TranslateBinary.cpp): the type of a literal, constant,
  // conversion or product of them; the SQL of a named constant; a pair in IEEE arithmetic
  bool binaryFloatType(size_t b, size_t e, ColType& t);
  bool binaryConstant(size_t i, std::string& sql) const;
  std::string fpPair(const char* f, const std::string& a, const std::string& b) const;
  [[gnu::noinline]] ColType subqueryType(size_t s, size_t e);
  [[gnu::noinline]] bool sourceColumnType(const Context& c, const std::string& q, const std::string& name, ColType& out);
  [[gnu::noinline]] bool derivedColumnType(size_t open, const std::string& name, ColType& out, size_t names = 0);
  [[gnu::noinline]] int rewrittenType(size_t b, size_t e) const;
  [[gnu::noinline]] bool datesAsText(size_t i, std::string& call);
  [[gnu::noinline]] bool conversionOr(size_t i, std::string& call);
  // The text literals of a parenthesized list compared with a DATE, read as dates.
  void dateListLiterals(size_t open);
  void rejectDateNumber(int code, size_t b, size_t e, size_t nb, size_t ne);
  void namesKnown(size_t b, size_t e);
  void rejectDateNumberList(int code, size_t open, size_t nb);
  void numberLiteral(size_t strTok);
  void numberListLiterals(size_t open);
  // A CHAR column compared with a text literal: the literal padded to the column's length.
  int plainCharColumn(size_t b, size_t e);
  void charPadLiteral(size_t strTok, int size);
  // A CHAR column compared with a literal that stays as written: the column's padding cut back to
  // the literal's own trailing blanks.
  void charTrimmedTo(size_t strTok, size_t b, size_t e);
  void charListLiterals(size_t open, int size);
  void charCaseLiterals(size_t caseTok);
  bool charPadded(size_t lb, size_t le, size_t rb, size_t re, bool lStr, bool rStr);
  [[gnu::noinline]] void oneTypeGroup(const std::vector<std::pair<size_t, size_t>>& args);
  [[gnu::noinline]] bool wideInside(size_t b, size_t e);
  [[gnu::noinline]] void wideAsNumber(size_t b, size_t e, const char* f, bool evenBare = false,
                                     const char* after = ")");
  [[gnu::noinline]] bool extremeOfWide(size_t name);
  // A comparison with a computed number on a side compares exact values (TranslateExact.cpp).
  [[gnu::noinline]] bool exactComparison(size_t lb, size_t le, size_t op, size_t re);
  [[gnu::noinline]] size_t exactBetween(size_t lb, size_t le, size_t w, size_t e);
  [[gnu::noinline]] size_t exactIn(size_t lb, size_t le, size_t w, size_t e);
  bool plainOperand(size_t b, size_t e) const;
  bool exactLeft(const Quantified& q);
  bool allNumbers(const std::vector<std::pair<size_t, size_t>>& ranges);
  [[gnu::noinline]] void exactBesideWide(size_t cb, size_t ce, size_t b, size_t e);
  [[gnu::noinline]] void wideOrderKeys(size_t b, size_t e, int d);
  [[gnu::noinline]] void datePredicate(size_t i, size_t lastB, size_t lastE);
  [[gnu::noinline]] int dateFormatWidth(const std::string& model);
  int measureDateFormat(const std::string& model, int sessionLanguage);
  int dateTextBytes();
  static int numberFormatWidth(const std::string& model);
  size_t intervalEnd(size_t i) const;
  [[gnu::noinline]] std::string intervalDays(size_t i, size_t& after);
  [[gnu::noinline]] bool monthInterval(size_t b, size_t e, int64_t& months) const;
  // INTERVAL types and values (TranslateIntervals.cpp)
  size_t intervalQualifier(size_t k, ColType& t, int& from, int& to, bool literal) const;
  size_t intervalColumnType(size_t k, ColType& t) const;
  [[gnu::noinline]] std::string intervalLiteral(size_t i, size_t& after);
  [[gnu::noinline]] bool intervalType(size_t b, size_t e, ColType& t);
  static bool intervalResult(const ColType& a, const std::string& op, const ColType& b, ColType& r);
  [[gnu::noinline]] bool intervalChain(const std::vector<std::pair<size_t, size_t>>& terms,
                                       const std::vector<std::string>& ops, std::string& call, ColType& type);
  [[gnu::noinline]] bool intervalProduct(size_t b, size_t e, std::string& call);
  // 0: no interval; 1: months; 2: a day-to-second one, in days or `seconds`
  [[gnu::noinline]] int windowInterval(size_t b, size_t e, std::string& value, bool seconds);
  [[gnu::noinline]] bool exactArgument(size_t b, size_t e) const;
  bool groupingItem(size_t open) const;
  bool exactKey(size_t b, size_t e, bool* sortKey) const;
  [[gnu::noinline]] int passedOut(size_t b, size_t e) const;
  size_t singleItem(size_t open, size_t& itemEnd) const;
  bool binaryWritten() const;
  [[gnu::noinline]] size_t exactInQuery(size_t lb, size_t le, bool negated, size_t open);
  [[gnu::noinline]] std::string exactPair(const char* f, const std::string& a, const std::string& b);
  [[gnu::noinline]] static std::string monthsAdded(const std::string& date, int64_t months);
  [[gnu::noinline]] std::string sumCall(std::string first, const std::vector<std::pair<size_t, size_t>>& terms,
                                        const std::vector<std::string>& ops);
  [[gnu::noinline]] std::string chainCall(size_t b, size_t e, std::string call) const;
  [[gnu::noinline]] std::string exactItem(std::string item, const std::string& name, int position,
                                          const std::vector<std::pair<std::string, size_t>>& orderNames, bool exactOut);
  [[gnu::noinline]] bool exactResults(size_t s, size_t listBegin, size_t from, size_t whereEnd, size_t end, bool wrapped,
                    std::vector<std::pair<std::string, size_t>>& orderNames, bool namesOnly = false) const;
  [[gnu::noinline]] void joinedStar(size_t star, size_t from, size_t fromEnd);
  [[gnu::noinline]] bool viewStar(size_t i, size_t ie, std::vector<std::string>& names);
  // "*" or "t.*" at [i, ie) over a table with invisible columns: its visible ones, by name
  [[gnu::noinline]] bool visibleStar(size_t i, size_t ie);
  size_t clauseEnd(size_t i, size_t e, int depth, const std::set<std::string>& stops);
  // The same for a few stop words written at the call, without building a set each time.
  size_t clauseEnd(size_t i, size_t e, int depth, std::initializer_list<const char*> stops);
  void parseFrom(size_t b, size_t e, Context& c);
  // LATERAL (subquery) and the right side of CROSS / OUTER APPLY at its "(": the table-valued
  // function of its rows; returns its ")"
  size_t lateralView(size_t open, bool outer, Context& c);
  std::vector<std::string> lateralColumns(size_t open, size_t close);
  std::string cursorExpression(size_t i, size_t& close); // CURSOR (subquery) at i
  bool cursorAllowed(size_t i, size_t close);
  // The inline view of a query with a MODEL clause at its "(": the rows the model gives; its ")"
  size_t modelView(size_t open, Context& c);
  bool lateralOn_ = false; // OUTER APPLY of a table: its ON goes after its name
  Translation recompiledView(const std::string& view);
  std::vector<std::pair<size_t, size_t>> conjuncts(size_t b, size_t e, int d) const;
  size_t matching(size_t open) const;
  size_t termEnd(size_t j, size_t e, int d) const;
  bool frameUnit(size_t k) const;
  bool constantOffset(size_t b, size_t e) const;
  bool chainAt(size_t i, size_t e, std::vector<std::pair<size_t, size_t>>& terms, std::vector<std::string>& ops) const;
  ColType exprType(size_t b, size_t e);
  // value AT TIME ZONE zone | AT LOCAL (TranslateZones.cpp)
  size_t primaryEnd(size_t i) const;
  size_t zoneShiftEnd(size_t i, size_t e) const;
  bool zoneShift(size_t i, size_t e, std::string& out, size_t& next);
  bool zoneShiftType(size_t b, size_t e, ColType& t);
  int hasAt_ = -1; // whether the statement has an AT at all: -1 not yet known
  void rewriteChains(size_t b, size_t e);
  bool productAt(size_t b, size_t e) const;
  bool walkValue(size_t k) const;
  bool setMember(size_t i) const;
  bool rowAt(size_t b, size_t e) const;
  size_t rowWidth(size_t b, size_t e) const;
  void checkRowWidths(size_t lb, size_t le, size_t rb, size_t re, bool list) const;
  void aliasesOutOfScope(size_t from, size_t fromEnd, size_t end, const std::vector<std::string>& aliases);
  void orderNameCase(size_t orderFrom, size_t end, int d, const std::vector<std::string>& aliases);
  void derivedNameCase(size_t listBegin, size_t from, size_t fromEnd, size_t end, const std::vector<std::string>& aliases);
  // The columns of every table in scope; false when some source is not a table or view the
  // catalog describes (a derived table, a WITH query, the dictionary).
  bool columnsInScope(std::set<std::string>& columns) const;
  // Whether a table or alias in scope goes by a name, so that q.x names its column.
  bool qualifierInScope(const std::string& q) const;
  bool quotedCaseMismatch(size_t i) const;
  bool qualifierCaseMismatch(size_t i) const;
  void checkCaseResults(const std::vector<std::pair<size_t, size_t>>& results);
  ColType castType(size_t b, size_t e) const;
  std::string factors(size_t b, size_t e);
  std::string dateText(size_t strTok);
  void dateLiteral(size_t lb, size_t le, size_t rb, size_t re);
  bool outerMark(size_t i) const;
  std::string outerJoins(size_t fb, size_t fe, size_t wb, size_t we, int d);
  int64_t rownumLimit(size_t wb, size_t we, int d);
  int64_t rownumBound(size_t cb, size_t ce);
  bool rownumAlone(size_t cb, size_t ce) const;
  void rownumPerRow(size_t wb, size_t we, size_t cb, size_t ce, int d);
  void rownumPerRowWhere(size_t wb, size_t we);
  // WHERE token -> the counter of a row-by-row ROWNUM, and the ROWIDs it waits for
  std::map<size_t, std::pair<int64_t, std::string>> rownumPerRow_;
  std::string rownumRows(std::string out, const std::string& head, size_t listBegin, size_t from, size_t fromEnd,
                         size_t whereEnd, size_t end, int d, int64_t limit, const std::string& joined,
                         const std::string& walk);
  void rownumInAggregates(size_t lb, size_t from, size_t fromEnd, size_t whereEnd, size_t end, int d, bool grouped);
  // [listB, listE): the query's select list, when ORDER BY may name its items by position or alias
  void nullsOrder(size_t b, size_t e, int d, size_t listB = 0, size_t listE = 0);
  bool linguisticItem(size_t key, size_t listB, size_t listE, int d);
  bool writableTextKey(size_t b, size_t e);
  bool sjisKey(size_t b, size_t e);
  const Nls* linguisticSession() const;
  bool linguisticKey(size_t b, size_t e);
  [[gnu::noinline]] bool linguisticComparison(size_t lb, size_t le, size_t op, size_t re);
  void foldedLike(size_t op, size_t lb, size_t le, size_t e);
  void linguisticOperand(size_t lb, size_t le);
  void sjisOperand(size_t lb, size_t le, size_t rb, size_t re);
  std::string decodeCall(const std::vector<std::string>& v);
  bool longCall(size_t i, std::string& call);
  std::string nestedCoalesce(const std::vector<std::pair<size_t, size_t>>& args);
  std::vector<std::pair<size_t, size_t>> callArgs(size_t i);
  std::string plsqlCall(const std::string& name, size_t i);
  bool schemaFunctionAt(size_t m, bool bare) const;
  bool parameterlessFunction(size_t i) const;
  std::string bareFunction(const std::string& name) const;
  // DBMS_LOB.name( at i: one of the package's functions a query may call
  bool lobPackageCall(size_t i) const;
  std::string lobFunctionName(size_t i) const;
  // The type of a LOB constructor, conversion or DBMS_LOB call [b, e); false for anything else.
  bool lobType(size_t b, size_t e, ColType& t);
  // PKG.name at i: a function of DBMS_RANDOM, UTL_RAW, UTL_MATCH, ... a query may call
  // (ORA-00904 for another of those packages' names); its SQL function and its type.
  bool suppliedPackageCall(size_t i) const;
  std::string suppliedFunctionName(size_t i) const;
  bool suppliedType(size_t b, size_t e, ColType& t);
  // REPLACE, LPAD, CONCAT and the like of a CLOB give a CLOB
  bool lobTextResult(const std::string& f, const std::vector<std::pair<size_t, size_t>>& args, ColType& t);
  // ORA-00932 for a LOB where values are compared or sorted: a comparison, GROUP BY, ORDER BY
  void rejectLob(size_t b, size_t e);
  void rejectLobOrder(size_t b, size_t e, int depth);
  static std::string lobTypeError(const ColType& t);
  bool sortingSetOp(int depth) const; // UNION, INTERSECT or MINUS (not UNION ALL) at this level
  std::vector<std::string> emitArgs(const std::vector<std::pair<size_t, size_t>>& args);
  std::string keyTokenText(size_t k) const;
  bool isAggregate(size_t i) const;
  bool castTypeWord(size_t i) const;
  void forUpdateSources(size_t e) const;
  void forUpdateColumns(size_t e) const;
  size_t analyticAt(size_t i) const;
  void checkGrouped(size_t b, size_t e, const std::vector<std::pair<size_t, size_t>>& groups, bool byClause, bool seeRewrites = true);
  std::set<std::string> cteNames_;
  std::map<std::string, std::pair<size_t, size_t>> cteBodies_; // "(" of the body; "(" of the column names or 0
  int derivedDepth_ = 0;
  std::map<std::pair<size_t, std::string>, std::pair<bool, ColType>> derivedMemo_; // their answers
  [[gnu::noinline]] bool derivedItemType(size_t open, const std::string& name, ColType& out, size_t names);
  [[gnu::noinline]] void laterMembers(size_t s, size_t close, long position, ColType& out);
  [[gnu::noinline]] void starOverSets(const std::string& qualifier);
  std::set<std::pair<size_t, std::string>> derivedBusy_, derivedWider_; // being typed; typed over a set operation's members
  bool derivedCycle_ = false;   // a lookup met a column still being typed
  bool derivedWidened_ = false; // a column read is a set operation's, typed over all its members
  int lobProbes_ = 0;           // argument types looked at for a LOB result, nested
  std::map<std::string, size_t> firstNextval_; // per sequence: the token of its first NEXTVAL
  std::vector<char> pin_; // per token: a literal the translation depends on (not a parameter)
  std::string rowidExpr(const std::string& qualifier, size_t i, size_t& next);

  void query();
  void insert();
  void update();
  void del();
  void createTable();
  void createTableAs(const std::string& table, size_t i);
  void createIndex(bool unique, size_t i);
  std::string indexTable(const std::string& index);
  void recordIndexOptions(const std::string& index, const std::string& table, bool unique, size_t open, size_t close);
  void createView(size_t i, bool replace, bool force = false);
  void requireAliases(size_t i, size_t qEnd);
  void createSequence(size_t i);
  void alterSequence();
  struct SequenceOptions {
    std::string start, incr, minv, maxv; // as written; empty when not given
    int cycle = -1;                      // -1 not given, 0 NOCYCLE, 1 CYCLE
    int64_t cache = -1;                  // -1 not given
    int order = -1;                      // -1 not given, 0 NOORDER, 1 ORDER
    bool noMin = false, noMax = false;
    bool restart = false; // ALTER ... RESTART; start then holds its START WITH
  };
  void sequenceOptions(size_t i, SequenceOptions& o, bool alter);
  void createSynonym(size_t i, bool replace);
  bool publicSynonym(const std::string& name);
  void createUser();
  void alterUser();
  void alterTable();
  // ALTER TABLE's RENAME TO, RENAME CONSTRAINT and RENAME COLUMN at i; false for other changes
  bool alterTableRename(const std::string& table, size_t i, std::vector<rb::DefPiece>& pieces,
                        const std::vector<ColumnInfo>& cols);
  void alterIndex();
  void createTemporaryTable();
  // local: the types of the referring table's columns, for ORA-02267
  void checkReferences(size_t b, size_t e, const std::string& table,
                       const std::vector<std::pair<std::string, ColType>>& local = {}) const;
  void rename();
  void comment();
  void grant();
  void drop();
  // ALTER TABLE ... DROP CONSTRAINT texts for the enabled foreign keys that refer to `table`
  // (and the disabled ones too with `disabledToo`)
  std::vector<std::string> dropReferences(const std::string& table, bool disabledToo = false);
  void renameBesideBrokenViews(const std::string& rename);
  void keepCheckTexts();
  // REFERENCES schema.table: the schema is the user's own (ORA-00942 for another), and goes.
  void ownReferences();
  // The name at i is the table a REFERENCES clause names, with its schema or without.
  bool referencedTable(size_t i) const {
    return i > 0 && (is(t_[i - 1], "REFERENCES") || (i > 2 && is(t_[i - 1], ".") && is(t_[i - 3], "REFERENCES")));
  }
  // [NOT] DEFERRABLE and INITIALLY IMMEDIATE | DEFERRED of the constraints in [b, e): left out,
  // but a foreign key initially deferred is checked at commit (DeferredConstraints.cpp)
  void deferrableStates(size_t b, size_t e);
  void dropUser();
  void truncate();
  struct Identity {
    bool found = false, always = true, onNull = false;
    int64_t start = 1, increment = 1;
    std::string column;
  };
  Identity identityClause(size_t b, size_t k);
  bool storedResult(int code, ColType& t) const;
  // A text literal without its trailing blanks (NULL when nothing is left), as two CHAR values
  // compare.
  void trimLiteral(size_t strTok);
  void registerIdentity(const std::string& table, const Identity& id, int64_t used, int64_t objectsBefore);
  void addSequence(const std::string& name, const std::string& minv, const std::string& maxv, int64_t inc,
                   bool cycle, int64_t cache, int64_t start, bool ordered = false,
                   int64_t declaredStart = INT64_MIN);
  std::string defaultOf(const ColumnInfo& c);
  void lockTable();
  void setTransaction();
  void analyze();
  // CREATE TABLE column definition [b, e): its name, type and the SQLite text of the definition.
  std::string columnDef(size_t b, size_t e, std::string& name, ColType& type, std::set<std::string>& pk,
                        std::vector<std::pair<std::string, std::string>>& named);
  // [GENERATED ALWAYS] AS (expr) [VIRTUAL] at j: a column computed when it is read
  bool virtualAt(size_t j) const;
  // VISIBLE or INVISIBLE at j of a column definition (left out of what is emitted)
  bool visibilityAt(size_t j);
  std::string virtualColumn(size_t b, size_t j, size_t e, const std::string& name, ColType& type, ColType declared);
  ColType expressionType(size_t b, size_t e);

public:
  bool share_ = false; // literals become parameters
  std::set<size_t> scalarAt; // byte offsets of the "(" of subqueries that give one value
  std::set<size_t> rowAt_;    // ... and of those that give one row of several values
  std::set<size_t> hoistAt;  // offsets of the SELECT of subqueries written as common table expressions
  std::set<size_t> derivedAt; // offsets of the SELECT of subqueries in FROM
  bool hoistOff_ = false;
  std::vector<std::string> ctes_;
  int cteCount_ = 0;
  // per query block (its SELECT token): each result column's type code (0: not known) and first token
  std::map<size_t, std::vector<std::pair<int, size_t>>> blockTypes_;
  std::map<int, std::vector<std::pair<std::string, ColType>>> compoundFirst_; // by depth: first member's columns
  std::map<size_t, std::vector<ColType>> selectTypes_; // by SELECT token: its items' types
  void checkSetTypes() const;
  void checkOrderBy() const;
  size_t withTies(size_t b, size_t e, const std::vector<std::string>& aliases, size_t& order) const;
  size_t outputTies(size_t b, size_t e, const std::vector<std::string>& aliases,
                    const std::vector<std::string>& outNames, std::string& keys) const;
  std::string rankedRows(const std::string& inner, size_t order, size_t e, const std::string& keys,
                         const std::vector<std::string>& outNames);
  void checkGroupedClauses(size_t s, size_t b, size_t e, const std::vector<std::pair<size_t, size_t>>& groups,
                           const std::vector<std::string>& aliases);
  void rejectAggregates(size_t b, size_t e, bool aggregates = true) const;
  void rejectNestedWindows(size_t b, size_t e) const;
  void checkGroupedStar(size_t i, size_t ie, const std::vector<std::pair<size_t, size_t>>& gs) const;
  // long AND / OR runs by their first byte: helper and the conditions' byte ranges
  std::map<size_t, std::pair<std::string, std::vector<std::pair<size_t, size_t>>>> bigChains;
  size_t tokenAt(size_t pos) const;
  std::map<size_t, Quantified> quantAt;
  // (kept out of line: they must not grow the frames of the recursive emit and emitSelect)
  [[gnu::noinline]] std::string quantified(const Quantified& q);
  [[gnu::noinline]] std::vector<std::string> withColumns(const std::string& name) const;
  [[gnu::noinline]] std::string hierarchy(size_t from, size_t fromEnd, size_t end, int d);
  [[gnu::noinline]] std::string groupingSets(size_t s, size_t e, size_t& next);
  [[gnu::noinline]] void analyticWindow(size_t i);
  [[gnu::noinline]] std::string listAgg(size_t i, size_t& after);
  std::string percentile(size_t i, size_t& after);
  std::string sortKeys(size_t b, size_t e, int depth, size_t& count);
  std::string keepRows(size_t i, size_t& after);
  std::string hypothetical(size_t i, size_t& after);
  bool hypotheticalAt(size_t i) const;
  std::string frameValue(size_t i, size_t& after);
  // NTH_VALUE (...) FROM FIRST|LAST: that FROM becomes "NTH$FROM", so no clause ends there
  void markNthFrom();
  // the SQL/JSON functions (TranslateJson.cpp): their clause words become operators no other
  // pass reads as names, and each call is emitted as the engine's function
  std::map<size_t, JsonCall> jsonCalls_;
  void markJson();
  // the XML generation functions (TranslateXml.cpp)
  size_t xmlCallEnd(size_t i) const;
  bool xmlType(size_t b, size_t e, ColType& out) const;
  std::string xmlValue(size_t b, size_t e);
  std::string xmlCall(size_t i, size_t& after, bool bare = false);
  void markXml();
  bool xmlName(size_t i) const;
  // the XML reading functions and XMLType methods (TranslateXmlRead.cpp)
  std::map<size_t, std::vector<XmlRead>> xmlReads_; // by the first token of the call or method's value
  std::map<size_t, size_t> xmlCasts_;               // XMLCAST's value: its range
  std::map<std::string, std::string> collAliases_;  // TABLE(collection of objects) aliases: the element type
  std::set<std::string> xmlAliases_;                // XMLTABLE's aliases, whose rows VALUE(alias) is
  std::set<size_t> xmlCastOpen_;
  void markXmlRead();
  const XmlRead* xmlReadAt(size_t b, size_t e) const;
  std::string xmlReadCall(const XmlRead& r);
  bool xmlReadType(size_t b, size_t e, ColType& out) const;
  size_t xmlTable(size_t i, Context& c); // XMLTABLE in FROM; returns its ")"
  // object types (TranslateObjects.cpp)
  std::string objectTableType(const std::string& table);
  const TableRef* objectAlias(size_t i) const;
  bool objectChain(size_t i, std::string& column, std::string& type, std::vector<std::string>& path, size_t& next,
                   std::string& method);
  bool objectTerm(size_t i, size_t b, std::string& out, size_t& last);
  bool jsonDot(size_t i, size_t b, std::string& out, size_t& last);
  bool jsonDotType(size_t b, size_t e, ColType& out);
  std::string objectRowValue(const TableRef& r, const std::string& type);
  bool objectCallTerm(size_t i, std::string& out, ColType& type, size_t& last);
  bool calledObjectSteps(size_t i, std::string& out, ColType& type, size_t& last);
  std::string argList(size_t open);
  void objectSteps(const std::string& value, size_t p, std::string& out, ColType& type, size_t& last);
  size_t stepsFrom_ = static_cast<size_t>(-1); // the call calledObjectSteps is emitting
  bool objectExprType(size_t b, size_t e, ColType& t);
  bool objectRow(const std::string& table, size_t b, size_t e, size_t columns, std::vector<std::string>& vals);
  std::string objectQueryRow(const std::string& table, size_t s, const std::vector<ColumnInfo>& target);
  bool createObjectTable(const std::string& table, size_t i);
  void dropType();
  bool objectOperand(size_t lb, size_t le, size_t rb, size_t re);
  std::set<size_t> xmlNames_; // element, attribute and instruction names
  size_t jsonClauses(JsonCall& c, size_t k, size_t close, int d);
  std::string jsonCall(const JsonCall& c);
  size_t jsonModifyArgs(JsonCall& c, size_t m, size_t close, int d);
  std::string jsonModifyCall(const JsonCall& c);
  std::string jsonObjectStar(const JsonCall& c);
  bool jsonType(size_t b, size_t e, ColType& out) const;
  int jsonKind(size_t b, size_t e, bool formatJson);
  size_t jsonTable(size_t i, Context& c); // JSON_TABLE in FROM; returns its ")"
  size_t matchRecognize(size_t i, Context& c); // a source with MATCH_RECOGNIZE; its last token, else 0
  // collections (TranslateCollections.cpp)
  bool collectionConstructor(size_t i, std::string& call);
  // a constructor, COLLECT or the engine's collection function at i (before its "("): the call
  // as emitted, and i left on the token where it ends or went on
  bool collectionCall(size_t& i, std::string& call);
  // TABLE(...) or a table function's call in FROM at i: its last token, or 0 when none
  size_t collectionFrom(size_t i, Context& c);
  std::string collectionTypeOf(size_t b, size_t e);
  bool collectionExprType(size_t b, size_t e, ColType& out);
  size_t collectionTable(size_t i, Context& c, bool bare);
  std::string subqueryCollectionColumn(size_t b, size_t e);
  void positiveCount(size_t i);
  void guardRecursion(size_t nameAt, size_t open);
  [[gnu::noinline]] std::string rowLimit(size_t i, size_t e, size_t& after);
  bool expandingGroups_ = false;
  size_t groupsBlock_ = 0; // the SELECT of the block expandingGroups_ writes
  [[gnu::noinline]] std::string nestedAggregates(size_t s, size_t e, size_t& next);
  std::set<size_t> nestedDone_; // blocks whose nested aggregates are written
  std::vector<std::pair<size_t, size_t>> partGroups_; // the grouping set being written
  std::vector<std::string> lastNames_; // the last query block's result column names (empty with a *)
  // INTERSECT ALL, MINUS ALL, EXCEPT ALL (TranslateSetAll.cpp): the compound whose first member
  // starts at i, and the set operators at its level up to its `end`
  bool multisetCompound(size_t i, size_t e);
  [[gnu::noinline]] std::string multisetRows(size_t i, size_t e, size_t& next);
  std::vector<size_t> compoundOperators(size_t i, size_t e, size_t& end) const;
  std::vector<std::string> firstMemberNames(size_t b, size_t me);
  int multisetAny_ = -1; // whether the statement has one at all: -1 not yet known
  int multisetCount_ = 0;
  // partitioned outer joins (TranslatePartitionJoin.cpp)
  bool partitionedJoin(size_t b, size_t e, int d, PartitionedJoin& j) const;
  void partitionedKeys(size_t b, size_t from, size_t fromEnd, size_t end, int d);
  std::string partitionedFrom(size_t b, size_t e, int d);
  std::string partitionName(size_t at);
  std::map<size_t, std::string> partitionNames_; // by the PARTITION token: the partitions' name
  // a "*" or "T.*" written out per grouping set: its first token and the names it gives
  std::map<size_t, std::vector<std::string>> starNames_;
  bool starColumns(size_t i, size_t ie, const Context& c, bool lone,
                   std::vector<std::pair<std::string, std::string>>& out) const;
  bool derivedNames(size_t open, std::vector<std::string>& names) const;
  static std::string groupedCall(const std::string& f, std::vector<std::string> parts);
  std::string withHoisted(const std::string& sql) const;
  // The whole token list as one expression (a trigger's WHEN condition).
  std::string expression() {
    replace_.assign(size(), {});
    skip_.assign(size(), 0);
    pin_.assign(size(), 0);
    return emit(0, size());
  }
  // In trigger bodies: row references such as ":NEW" or "NEW" and what they become.
  std::map<std::string, std::string> rowRefs;
  std::string sharedWithTrigger; // table a trigger body runs on
  std::string convWrap(const std::string& expr, const ColumnInfo& col, const std::string& table);
  // A value of type `from` for a column: a date into text in the session's format, ORA-00932
  // where no conversion leads to the column's type (a date to a number).
  // `full`: the value's whole type when known, for an interval's digits in text.
  std::string assignable(int from, std::string v, const ColumnInfo& col, const ColType* full = nullptr);
  // The table a DML statement writes, with its optional alias (not the keyword `next`); pushes
  // it as the context ROWID refers to.
  size_t dmlTarget(size_t i, const char* next, TableRef& r);
};

} // namespace ora::tx
