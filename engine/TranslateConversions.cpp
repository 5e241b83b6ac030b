// Oracle's implicit conversions around DATE and the type rules of COALESCE and NULLIF, for the
// expression writer; each in its own frame, so deep nesting still fits a small stack.
#include "TranslateImpl.h"

#include "Intervals.h"
#include "Number.h"

#include <algorithm>
#include <cstdlib>
#include <set>

namespace ora::tx {

// The type of a chain rewriteChains has rewritten (DATE or NUMBER), 0 for another range.
int Translator::rewrittenType(size_t b, size_t e) const {
  auto it = rewritten_.find(b);
  if (it == rewritten_.end() || b >= size() || replace_[b].empty() || it->second.first != e) return 0;
  int code = it->second.second;
  return code == kDate || code == kNumber || isInterval(code) || isTimestamp(code) ? code : 0;
}

// A character function given a DATE takes its text in the session's date format, and DECODE
// compares a DATE as text when its first search value is text. True when the call at i is
// written out whole into `call`.
bool Translator::datesAsText(size_t i, std::string& call) {
  static const std::set<std::string> textFunctions = {
      "LENGTH", "LENGTHB", "LENGTHC", "LENGTH4", "SUBSTR", "SUBSTRB", "SUBSTRC", "SUBSTR4", "INSTR", "INSTRB",
      "INSTRC", "INSTR4", "UPPER", "LOWER", "INITCAP", "LPAD", "RPAD",
      "LTRIM", "RTRIM", "REPLACE", "TRANSLATE", "CONCAT", "ASCII", "SOUNDEX", "NLS_UPPER", "NLS_LOWER",
      "NLS_INITCAP", "ASCIISTR", "REGEXP_LIKE", "REGEXP_SUBSTR", "REGEXP_INSTR", "REGEXP_REPLACE", "REGEXP_COUNT"};
  // no date becomes a number: these take numbers only
  static const std::set<std::string> numberFunctions = {
      "SUM", "AVG", "ABS", "MOD", "REMAINDER", "SQRT", "POWER", "CEIL", "FLOOR", "SIGN", "EXP", "LN", "LOG",
      "SIN", "COS", "TAN", "ASIN", "ACOS", "ATAN", "ATAN2", "SINH", "COSH", "TANH", "STDDEV", "VARIANCE",
      "BITAND", "WIDTH_BUCKET", "CHR"};
  const Token& k = t_[i];
  bool decode = k.text == "DECODE", toDate = k.text == "TO_DATE", nvl = k.text == "NVL" || k.text == "NVL2";
  bool numeric = k.kind == Token::Ident && numberFunctions.count(k.text);
  if (k.kind != Token::Ident || (!decode && !toDate && !nvl && !numeric && !textFunctions.count(k.text)))
    return false;
  size_t close = matching(i + 1);
  std::vector<std::pair<size_t, size_t>> args;
  for (size_t a = i + 2, m = a; m <= close; ++m)
    if (m == close || (t_[m].depth == k.depth + 1 && is(t_[m], ","))) {
      args.emplace_back(a, m);
      a = m + 1;
    }
  if (numeric) {
    for (auto [ab, ae] : args) {
      if (ab < ae && (is(t_[ab], "DISTINCT") || is(t_[ab], "ALL") || is(t_[ab], "UNIQUE"))) ++ab;
      int code = ab < ae ? exprType(ab, ae).code : 0;
      if (code == kDate) {
        namesKnown(ab, ae);
        throw OraError(932, "expected NUMBER got DATE").at(static_cast<int>(t_[ab].pos));
      }
      // SUM and AVG add intervals up, CEIL and FLOOR round them; no other of these takes one
      if (isInterval(code) && k.text != "SUM" && k.text != "AVG" && k.text != "CEIL" && k.text != "FLOOR")
        throw OraError(932, std::string("expected NUMBER got ") + typeWordFor(code)).at(static_cast<int>(t_[ab].pos));
    }
    return false;
  }
  auto text = [&](std::pair<size_t, size_t> a) {
    if (a.first >= a.second) return false;
    int code = exprType(a.first, a.second).code;
    return code == kChar || code == kVarchar2;
  };
  auto isNull = [&](std::pair<size_t, size_t> a) {
    return a.second == a.first + 1 && (is(t_[a.first], "NULL") || (t_[a.first].kind == Token::Str && t_[a.first].text.empty()));
  };
  // DECODE compares a CHAR column with its text literals blank-padded, as '=' does
  if (decode && args.size() >= 3)
    if (int size = plainCharColumn(args[0].first, args[0].second))
      for (size_t n = 1; n + 1 < args.size(); n += 2)
        if (args[n].second == args[n].first + 1 && t_[args[n].first].kind == Token::Str && replace_[args[n].first].empty())
          charPadLiteral(args[n].first, size);
  // DECODE('ab', c, ...): a CHAR column searched for a literal loses its padding down to the
  // literal's own trailing blanks, so the two are equal exactly when they are blank-padded
  if (decode && args.size() >= 3 && args[0].second == args[0].first + 1 && t_[args[0].first].kind == Token::Str &&
      !t_[args[0].first].text.empty() && replace_[args[0].first].empty()) {
    for (size_t n = 1; n + 1 < args.size(); n += 2)
      if (plainCharColumn(args[n].first, args[n].second)) charTrimmedTo(args[0].first, args[n].first, args[n].second);
  }
  // DECODE's and NVL's results take the type of the first one that is not NULL
  size_t firstResult = 0;
  if (decode)
    for (size_t n = 2; n < args.size() && !firstResult; ++n)
      if ((n % 2 == 0 || n == args.size() - 1) && !isNull(args[n])) firstResult = n;
  if (nvl) firstResult = k.text == "NVL" ? 0 : 1;
  // a first result of NULL makes DECODE's value text: numbers among the results too
  bool textResults = decode && args.size() >= 3 && isNull(args[2]);
  std::vector<char> wrap(args.size());
  std::vector<ColType> intervals(args.size());
  bool any = false;
  for (size_t n = 0; n < args.size(); ++n) {
    auto [ab, ae] = args[n];
    if (ab >= ae) continue;
    int code = exprType(ab, ae).code;
    if (isInterval(code) && textFunctions.count(k.text)) {
      // an interval read as text is its default form
      intervals[n] = exprType(ab, ae);
      wrap[n] = any = true;
      continue;
    }
    if (textResults && code == kNumber && n >= 2 && (n % 2 == 0 || (args.size() % 2 == 0 && n == args.size() - 1))) {
      wrap[n] = any = true;
      continue;
    }
    if (code != kDate) continue;
    // TO_DATE reads text: a date goes through the session's format first, losing what it lacks
    if (toDate && n != 0) continue;
    if (decode) {
      bool result = n >= 2 && (n % 2 == 0 || (args.size() % 2 == 0 && n == args.size() - 1));
      if (n == 0) {
        // the expression takes the type of the first search value
        if (args.size() < 3 || !text(args[1])) continue;
      } else if (result) {
        if (!textResults && (!firstResult || n == firstResult || !text(args[firstResult]))) continue;
      } else if (!text(args[0])) {
        continue; // a search value takes the expression's type
      }
    }
    if (nvl && (n == 0 || n == firstResult || !text(args[firstResult]))) continue;
    wrap[n] = any = true;
  }
  if (!any) return false;
  std::vector<std::string> v;
  for (size_t n = 0; n < args.size(); ++n) {
    std::string x = emit(args[n].first, args[n].second);
    if (isInterval(intervals[n].code))
      x = "ora_iv_char(" + x + ", " + std::to_string(intervals[n].precision) + ", " + std::to_string(intervals[n].scale) + ")";
    else if (wrap[n])
      x = "TO_CHAR(" + x + ")";
    v.push_back(x);
  }
  if (decode) {
    call = decodeCall(v);
    return true;
  }
  call = k.text + "(";
  for (size_t n = 0; n < v.size(); ++n) call += (n ? ", " : "") + v[n];
  call += ")";
  return true;
}

// COALESCE and NULLIF convert nothing: their arguments (NULL aside) are of one type group.
void Translator::oneTypeGroup(const std::vector<std::pair<size_t, size_t>>& args) {
  auto group = [](int code) {
    return code == kNumber ? 1 : code == kVarchar2 || code == kChar || code == kLong ? 2 : code == kDate ? 3 : 0;
  };
  static const char* const names[] = {"", "NUMBER", "CHAR", "DATE"};
  int first = 0;
  for (auto [ab, ae] : args) {
    int g = ab < ae && !(ae == ab + 1 && is(t_[ab], "NULL")) ? group(exprType(ab, ae).code) : 0;
    if (g && first && g != first) throw OraError(932, std::string("expected ") + names[first] + " got " + names[g]);
    if (!first) first = g;
  }
}

// A DATE chain [lastB, lastE) before [NOT] LIKE is matched as its text in the session's date
// format; before [NOT] IN, the text literals of its list are read as dates.
void Translator::datePredicate(size_t i, size_t lastB, size_t lastE) {
  bool negated = is(t_[i], "NOT");
  size_t op = negated ? i + 1 : i;
  if (!is(at(op), "LIKE") && !is(at(op), "IN")) return;
  int code = rewrittenType(lastB, lastE);
  if (!code) code = exprType(lastB, lastE).code;
  // a text literal before a list of numbers is read as a number, as each comparison reads it
  if ((code == kChar || code == kVarchar2) && lastE == lastB + 1 && t_[lastB].kind == Token::Str &&
      is(at(op), "IN") && is(at(op + 1), "(") && !is(at(op + 2), "SELECT")) {
    size_t close = matching(op + 1), first = op + 2, end = first;
    while (end < close && !(t_[end].depth == t_[op + 1].depth + 1 && is(t_[end], ","))) ++end;
    if (end > first && exprType(first, end).code == kNumber) {
      numberLiteral(lastB);
      numberListLiterals(op + 1);
      return;
    }
  }
  if (code == kChar && is(at(op), "IN") && is(at(op + 1), "(") && !is(at(op + 2), "SELECT")) {
    if (int size = plainCharColumn(lastB, lastE)) charListLiterals(op + 1, size);
    return;
  }
  if (is(at(op), "IN")) rejectDateNumberList(code, op + 1, lastB);
  if (code == kNumber && is(at(op), "IN")) {
    numberListLiterals(op + 1);
    if (is(at(op + 1), "(") && !is(at(op + 2), "SELECT") && cat_.wideColumns()) {
      size_t close = matching(op + 1);
      for (size_t b = op + 2, m = b; m <= close; ++m)
        if (m == close || (t_[m].depth == t_[op + 1].depth + 1 && is(t_[m], ","))) {
          exactBesideWide(lastB, lastE, b, m);
          b = m + 1;
        }
    }
    return;
  }
  if (code != kDate) return;
  if (is(at(op), "LIKE")) {
    std::string v = "TO_CHAR(" + emit(lastB, lastE) + ")";
    replace_[lastB] = v;
    for (size_t m = lastB + 1; m < lastE; ++m) skip_[m] = 1;
    return;
  }
  dateListLiterals(op + 1);
}

// Oracle compares two CHAR values blank-padded, and a text literal is CHAR: a CHAR column, kept
// padded to its length, equals 'ab' when it holds 'ab' and blanks.
int Translator::plainCharColumn(size_t b, size_t e) {
  // UPPER, LOWER and INITCAP give a CHAR value as CHAR of its length
  if (e > b + 3 && (is(t_[b], "UPPER") || is(t_[b], "LOWER") || is(t_[b], "INITCAP")) && is(t_[b + 1], "(") &&
      matching(b + 1) == e - 1 && replace_[b].empty() && !skip_[b])
    return plainCharColumn(b + 2, e - 1);
  // CAST(x AS CHAR(n)) is a CHAR value, blank-padded to n as a column's is
  if (e > b + 5 && is(t_[b], "CAST") && is(t_[b + 1], "(") && matching(b + 1) == e - 1 && replace_[b].empty() && !skip_[b]) {
    for (size_t m = b + 2; m + 1 < e; ++m)
      if (t_[m].depth == t_[b].depth + 1 && is(t_[m], "AS") && t_[m].kind == Token::Ident) {
        ColType to = castType(m + 1, e - 1);
        return to.code == kChar ? convLimit(to) : 0;
      }
    return 0;
  }
  auto name = [this](size_t k) { return t_[k].kind == Token::Ident || t_[k].kind == Token::QIdent; };
  bool bare = (e == b + 1 && name(b)) ||
              (e == b + 3 && is(t_[b + 1], ".") && name(b + 2));
  if (!bare || !replace_[b].empty() || skip_[b]) return 0;
  ColType t = exprType(b, e);
  return t.code == kChar ? convLimit(t) : 0;
}

// A CHAR column compared with a text literal or with a CHAR column of another length.
bool Translator::charPadded(size_t lb, size_t le, size_t rb, size_t re, bool lStr, bool rStr) {
  if (lStr || rStr) {
    int size = lStr ? plainCharColumn(rb, re) : plainCharColumn(lb, le);
    if (size) charPadLiteral(lStr ? lb : rb, size);
    return size != 0;
  }
  int ls = plainCharColumn(lb, le), rs = ls ? plainCharColumn(rb, re) : 0;
  if (!rs || rs == ls) return false;
  if ((ls < 0) != (rs < 0)) {
    // one counts characters, the other bytes: both lose their padding instead
    for (auto [b, e] : {std::pair{lb, le}, std::pair{rb, re}}) {
      replace_[b] = "rtrim(" + emit(b, e) + ", ' ')";
      for (size_t m = b + 1; m < e; ++m) skip_[m] = 1;
    }
    return true;
  }
  ls = std::abs(ls), rs = std::abs(rs);
  // the shorter padded with blanks to the longer
  size_t b = ls < rs ? lb : rb, e = ls < rs ? le : re;
  replace_[b] = "(" + emit(b, e) + " || '" + std::string(static_cast<size_t>(ls < rs ? rs - ls : ls - rs), ' ') + "')";
  for (size_t m = b + 1; m < e; ++m) skip_[m] = 1;
  return true;
}

// CASE c WHEN 'ab' ...: a CHAR column compared with each literal as '=' compares them.
void Translator::charCaseLiterals(size_t caseTok) {
  int d = t_[caseTok].depth, nest = 0;
  size_t when = caseTok + 1;
  while (when < size() && !(t_[when].depth == d && is(t_[when], "WHEN"))) ++when;
  int size = when < this->size() ? plainCharColumn(caseTok + 1, when) : 0;
  // the WHEN values that are literals; CASE 'a' WHEN 'a ' ... compares literals blank-padded,
  // but only when every WHEN is one: a VARCHAR2 beside it compares nonpadded
  std::vector<size_t> literals;
  bool allLiterals = true;
  for (size_t m = when; m + 2 < this->size(); ++m) {
    if (t_[m].depth != d) continue;
    if (is(t_[m], "CASE")) ++nest;
    if (is(t_[m], "END") && nest-- == 0) break;
    if (nest || !is(t_[m], "WHEN")) continue;
    if (t_[m + 1].kind == Token::Str && is(t_[m + 2], "THEN")) {
      if (replace_[m + 1].empty() && !t_[m + 1].text.empty()) literals.push_back(m + 1);
    } else {
      allLiterals = false;
    }
  }
  bool literal = allLiterals && when == caseTok + 2 && t_[caseTok + 1].kind == Token::Str &&
                 !t_[caseTok + 1].text.empty() && replace_[caseTok + 1].empty();
  if (literal) trimLiteral(caseTok + 1);
  else if (!size) return;
  for (size_t m : literals) {
    if (literal) trimLiteral(m);
    else charPadLiteral(m, size);
  }
}

void Translator::trimLiteral(size_t strTok) {
  std::string v = t_[strTok].text;
  v.erase(v.find_last_not_of(' ') + 1);
  pin_[strTok] = 1;
  replace_[strTok] = v.empty() ? "NULL" : quoteString(v);
}

void Translator::charListLiterals(size_t open, int size) {
  if (!is(at(open), "(") || is(at(open + 1), "SELECT")) return;
  size_t close = matching(open);
  for (size_t m = open + 1; m < close; ++m)
    if (t_[m].kind == Token::Str && t_[m].depth == t_[open].depth + 1 && replace_[m].empty() &&
        (is(t_[m - 1], "(") || is(t_[m - 1], ",")) && (m + 1 == close || is(t_[m + 1], ",")))
      charPadLiteral(m, size);
}

void Translator::charTrimmedTo(size_t strTok, size_t b, size_t e) {
  const std::string& lit = t_[strTok].text;
  size_t core = lit.find_last_not_of(' ');
  size_t blanks = core == std::string::npos ? lit.size() : lit.size() - core - 1;
  pin_[strTok] = 1;
  replace_[b] = "(RTRIM(" + emit(b, e) + ", ' ')" + (blanks ? " || '" + std::string(blanks, ' ') + "'" : std::string()) + ")";
  for (size_t m = b + 1; m < e; ++m) skip_[m] = 1;
}

void Translator::charPadLiteral(size_t strTok, int size) {
  std::string v = t_[strTok].text;
  if (v.empty()) return; // '' is NULL
  v.erase(v.find_last_not_of(' ') + 1);
  // a negative size counts characters (CHAR(n CHAR), NCHAR), a positive one bytes
  int have = size < 0 ? static_cast<int>(std::count_if(v.begin(), v.end(), [](char c) { return (c & 0xC0) != 0x80; }))
                      : textBytes(v);
  int want = std::abs(size);
  if (have < want) v.append(static_cast<size_t>(want - have), ' ');
  pin_[strTok] = 1;
  replace_[strTok] = quoteString(v);
}

// Oracle resolves names before it checks types: a name no table has in [b, e) is ORA-00904,
// whatever the types around it.
void Translator::namesKnown(size_t b, size_t e) {
  std::set<std::string> columns;
  if (!columnsInScope(columns)) return;
  for (size_t k = b; k < e && k < size(); ++k) {
    if (is(t_[k], "(") && (is(at(k + 1), "SELECT") || is(at(k + 1), "WITH"))) {
      k = matching(k);
      continue;
    }
    if ((t_[k].kind != Token::Ident && t_[k].kind != Token::QIdent) || skip_[k] || !replace_[k].empty()) continue;
    if ((t_[k].kind == Token::Ident && keywordAt(t_, k)) || is(at(k + 1), "(") || (k > b && is(t_[k - 1], ".")))
      continue;
    if (is(at(k + 1), ".")) {
      k += 2;
      continue;
    }
    static const std::set<std::string> pseudo = {"SYSDATE", "SYSTIMESTAMP", "CURRENT_DATE", "CURRENT_TIMESTAMP",
        "LOCALTIMESTAMP", "USER", "UID", "ROWNUM", "ROWID", "LEVEL", "NULL", "DBTIMEZONE", "SESSIONTIMEZONE",
        "CONNECT_BY_ISLEAF", "CONNECT_BY_ISCYCLE", "ORA_ROWSCN"};
    if (!columns.count(t_[k].text) && !(t_[k].kind == Token::Ident && pseudo.count(t_[k].text)))
      throw OraError(904, t_[k].text).at(static_cast<int>(t_[k].pos));
  }
}

// A DATE and a NUMBER never compare: the value beside the other is ORA-00932, once the names
// of the whole condition [nb, ne) are known.
void Translator::rejectDateNumber(int code, size_t b, size_t e, size_t nb, size_t ne) {
  if (e <= b || (code != kDate && code != kNumber)) return;
  int other = 0;
  try {
    other = exprType(b, e).code;
  } catch (const OraError&) {
    return; // its own error comes when it is written out
  }
  if ((code == kDate && other == kNumber) || (code == kNumber && other == kDate)) {
    namesKnown(nb, ne);
    throw OraError(932, code == kDate ? "expected DATE got NUMBER" : "expected NUMBER got DATE")
        .at(static_cast<int>(t_[b].pos));
  }
}

// The same for each value of an IN list.
void Translator::rejectDateNumberList(int code, size_t open, size_t nb) {
  if (!is(at(open), "(") || is(at(open + 1), "SELECT")) return;
  size_t close = matching(open), b = open + 1;
  for (size_t m = b; m <= close; ++m)
    if (m == close || (is(t_[m], ",") && t_[m].depth == t_[open].depth + 1)) {
      rejectDateNumber(code, b, m, nb, close + 1);
      b = m + 1;
    }
}

void Translator::dateListLiterals(size_t open) {
  if (is(at(open), "(") && is(at(open + 1), "SELECT")) {
    // a subquery of text: its values are read as dates too
    size_t close = matching(open);
    int code = 0;
    try {
      code = subqueryType(open + 1, close).code;
    } catch (const OraError&) {
    }
    if ((code == kVarchar2 || code == kChar) && replace_[open].empty() && replace_[close].empty()) {
      replace_[open] = "(WITH \"D$\"(\"V\") AS (";
      replace_[close] = ") SELECT ora_conv(\"V\", " + std::to_string(kDate) + ", 0, 0, 0, 0, 'date') FROM \"D$\")";
    }
    return;
  }
  if (!is(at(open), "(")) return;
  size_t close = matching(open);
  for (size_t m = open + 1; m < close; ++m)
    if (t_[m].kind == Token::Str && t_[m].depth == t_[open].depth + 1 && replace_[m].empty() &&
        (is(t_[m - 1], "(") || is(t_[m - 1], ",")) && (m + 1 == close || is(t_[m + 1], ",")))
      replace_[m] = dateText(m);
}

// A text literal compared with a NUMBER is read as a number, ORA-01722 when it is none. Its text
// stays part of the sharing key: '7839' and 'KING' do not share one translation.
void Translator::numberLiteral(size_t strTok) {
  if (!replace_[strTok].empty() || t_[strTok].text.empty()) return;
  Num n;
  bool number = false;
  try {
    number = parseNum(t_[strTok].text, n);
  } catch (const OraError&) {
  }
  pin_[strTok] = 1;
  if (!number) {
    replace_[strTok] = "ora_num(" + quoteString(t_[strTok].text) + ")";
    return;
  }
  // written as the number it stands for: beside a literal or an expression no column's affinity
  // would make '1' a number, and SQLite would compare it as text
  std::string v = t_[strTok].text;
  v.erase(0, v.find_first_not_of(" \t\r\n"));
  v.erase(v.find_last_not_of(" \t\r\n") + 1);
  if (!v.empty() && v[0] == '+') v.erase(0, 1);
  // digits, one point and an exponent: a literal SQLite reads as Oracle reads the text
  size_t k = v.size() > 1 && v[0] == '-' ? 1 : 0, digits = 0;
  bool point = false, plain = true;
  for (; k < v.size() && plain; ++k) {
    if (std::isdigit(static_cast<unsigned char>(v[k]))) ++digits;
    else if (v[k] == '.' && !point) point = true;
    else break;
  }
  if (k < v.size() && (v[k] == 'e' || v[k] == 'E') && digits > 0) {
    ++k;
    if (k < v.size() && (v[k] == '+' || v[k] == '-')) ++k;
    size_t exp = k;
    while (k < v.size() && std::isdigit(static_cast<unsigned char>(v[k]))) ++k;
    plain = k > exp;
  }
  if (plain && digits > 0 && k == v.size() && tx::significantDigits(v) <= 15) replace_[strTok] = v;
}

// The text literals of a list beside a NUMBER: IN ('7839', 'KING').
void Translator::numberListLiterals(size_t open) {
  if (!is(at(open), "(") || is(at(open + 1), "SELECT")) return;
  size_t close = matching(open);
  for (size_t m = open + 1; m < close; ++m)
    if (t_[m].kind == Token::Str && t_[m].depth == t_[open].depth + 1 && (is(t_[m - 1], "(") || is(t_[m - 1], ",")) &&
        (m + 1 == close || is(t_[m + 1], ",")))
      numberLiteral(m);
}

// Whether [b, e) reads a NUMBER column kept as decimal text (wider than a double).
bool Translator::wideInside(size_t b, size_t e) {
  if (!cat_.wideColumns()) return false;
  for (size_t m = b; m < e; ++m) {
    if (is(t_[m], "(") && is(at(m + 1), "SELECT")) { m = matching(m); continue; }
    if (t_[m].kind != Token::Ident && t_[m].kind != Token::QIdent) continue;
    if (is(at(m + 1), "(") || (m > b && is(t_[m - 1], "."))) continue;
    size_t span = is(at(m + 1), ".") && m + 2 < e ? 3 : 1;
    try {
      if (exprType(m, m + span).isWide()) return true;
    } catch (const OraError&) {
    }
    m += span - 1;
  }
  return false;
}

// An expression over such a column goes on as a number: its text would compare as text, after
// every number. The column itself compares by value where its affinity and collation apply.
void Translator::wideAsNumber(size_t b, size_t e, const char* f, bool evenBare, const char* after) {
  bool bare = e == b + 1 || (e == b + 3 && is(t_[b + 1], "."));
  if (b >= e || (bare && !evenBare) || !replace_[b].empty() || skip_[b]) return;
  if (!wideInside(b, e) || exprType(b, e).code != kNumber) return;
  // ora_add_x reads exact text: what it wraps may give it (an analytic SUM of 20-digit values)
  if (std::strcmp(f, "ora_add_x") == 0) {
    auto outer = exactTop_;
    exactTop_ = {b, e};
    std::string inner = exactCall(emit(b, e));
    exactTop_ = outer;
    replace_[b] = std::string(f) + "(" + inner + after;
  } else {
    replace_[b] = std::string(f) + "(" + emit(b, e) + after;
  }
  for (size_t m = b + 1; m < e; ++m) skip_[m] = 1;
}

// A wide column compares in its collation with text: a computed number beside it goes as its
// exact decimal text, which the column's text affinity would otherwise cut to 15 digits.
void Translator::exactBesideWide(size_t cb, size_t ce, size_t b, size_t e) {
  bool bare = ce == cb + 1 || (ce == cb + 3 && is(t_[cb + 1], "."));
  if (!bare || b >= e || skip_[b] || skip_[cb] || !replace_[cb].empty() || ctx_.empty() || !cat_.wideColumns()) return;
  if (e == b + 1 && t_[b].kind != Token::Ident) return; // a literal converts exactly
  try {
    if (!exprType(cb, ce).isWide() || exprType(b, e).code != kNumber) return;
  } catch (const OraError&) {
    return;
  }
  std::string x = emit(b, e), exact = exactCall(x);
  if (exact == x) return;
  replace_[b] = exact;
  for (size_t m = b + 1; m < e; ++m) skip_[m] = 1;
}

// GREATEST and LEAST compare as their first argument's kind: whether that is a number read from a
// wide column, which reaches them as text.
bool Translator::extremeOfWide(size_t name) {
  size_t close = matching(name + 1), a = name + 2, m = a;
  while (m < close && !(t_[m].depth == t_[name].depth + 1 && is(t_[m], ","))) ++m;
  return a < m && wideInside(a, m) && exprType(a, m).code == kNumber;
}

// ORDER BY keys over wide columns sort by value.
void Translator::wideOrderKeys(size_t b, size_t e, int d) {
  for (size_t k = b; k + 1 < e; ++k) {
    if (t_[k].depth != d || !is(t_[k], "ORDER") || !is(t_[k + 1], "BY")) continue;
    size_t kb = k + 2, ke = 0;
    for (size_t m = kb; m <= e; ++m) {
      bool last = m == e || (t_[m].depth == d && (is(t_[m], "FETCH") || is(t_[m], "OFFSET") || is(t_[m], "FOR")));
      bool cut = last || (t_[m].depth == d && (is(t_[m], ",") || is(t_[m], "ASC") || is(t_[m], "DESC") || is(t_[m], "NULLS")));
      if (cut && !ke) ke = m;
      if (!last && !(t_[m].depth == d && is(t_[m], ","))) continue;
      if (ke > kb) {
        // the NULLS LAST put on the key's last token goes after the whole key
        // (a name's is written quoted)
        static const std::string kNullsLast = " NULLS LAST";
        std::string& lastText = replace_[ke - 1];
        std::string tail = lastText.size() > kNullsLast.size() && lastText.ends_with(kNullsLast) ? kNullsLast : "";
        std::string base = lastText.substr(0, lastText.size() - tail.size());
        // a plain token is left to the rewritings (an arithmetic chain ends in it)
        bool plain = base == t_[ke - 1].text || (t_[ke - 1].kind == Token::Ident && base == quoteIdent(t_[ke - 1].text));
        if (!tail.empty()) lastText = plain ? std::string() : base;
        // as decimal text in the collation that orders it by value: every digit counts
        wideAsNumber(kb, ke, "CAST", false, " AS TEXT) COLLATE ORA_NUMBER");
        if (!tail.empty() && skip_[ke - 1]) replace_[kb] += tail; // the key went into one call
        else if (!tail.empty()) replace_[ke - 1] = base + tail;
      }
      kb = m + 1;
      ke = 0;
      if (last) break;
    }
    break;
  }
}

// TO_NUMBER and TO_DATE with DEFAULT ... ON CONVERSION ERROR, CAST with one, and
// VALIDATE_CONVERSION: calls that convert the value or take the default (or say whether the value
// converts) instead of failing.
bool Translator::conversionOr(size_t i, std::string& call) {
  const Token& k = t_[i];
  if (k.kind != Token::Ident) return false;
  bool cast = k.text == "CAST", validate = k.text == "VALIDATE_CONVERSION";
  // the datetime and interval conversions have their own function for it
  static const std::pair<const char*, const char*> others[] = {{"TO_TIMESTAMP", "ora_to_timestamp_or"},
                                                               {"TO_TIMESTAMP_TZ", "ora_to_timestamp_tz_or"},
                                                               {"TO_DSINTERVAL", "ora_to_dsinterval_or"},
                                                               {"TO_YMINTERVAL", "ora_to_yminterval_or"}};
  const char* other = nullptr;
  for (auto [name, fn] : others)
    if (k.text == name) other = fn;
  if (!cast && !validate && !other && k.text != "TO_NUMBER" && k.text != "TO_DATE") return false;
  size_t close = matching(i + 1), as = 0, dflt = 0, err = 0;
  std::vector<std::pair<size_t, size_t>> args;
  for (size_t a = i + 2, m = a; m <= close; ++m) {
    if (m < close && t_[m].depth == k.depth + 1) {
      if (is(t_[m], "AS") && !as && args.empty()) as = m;
      if (is(t_[m], "DEFAULT") && !dflt && args.empty()) dflt = m;
      if (is(t_[m], "ERROR") && dflt && !err && is(t_[m - 1], "CONVERSION")) err = m;
    }
    if (m == close || (t_[m].depth == k.depth + 1 && is(t_[m], ","))) {
      args.emplace_back(a, m);
      a = m + 1;
    }
  }
  // the arguments after the value: ", model[, nls]"
  auto restArgs = [&] {
    std::string rest;
    for (size_t n = 1; n < args.size(); ++n) {
      if (args[n].first >= args[n].second) throw OraError(936);
      rest += ", " + emit(args[n].first, args[n].second);
    }
    return rest;
  };
  if (cast && as && !dflt && args.size() > 1) {
    // CAST(text AS type, model[, nls]): text read by the model of the type's conversion
    ColType to = castType(as + 1, args[0].second);
    std::string value = emit(args[0].first, as), rest = restArgs();
    int from = exprType(args[0].first, as).code;
    const char* read = to.code == kNumber        ? "TO_NUMBER"
                       : to.code == kDate        ? "TO_DATE"
                       : to.code == kTimestamp   ? "TO_TIMESTAMP"
                       : to.code == kTimestampTz ? "TO_TIMESTAMP_TZ"
                                                 : nullptr;
    if (read && (from == kVarchar2 || from == kChar)) value = std::string(read) + "(" + value + rest + ")";
    bool whole = (from == kNumber || from == kDate) && (to.code == kVarchar2 || to.code == kChar);
    call = "ora_conv(" + value + ", " + std::to_string(to.code) + ", " + std::to_string(convLimit(to)) + ", " +
           std::to_string(to.precision) + ", " + std::to_string(to.scale) + ", " + (to.hasScale ? "1" : "0") +
           (whole ? ", 'CAST VALUE')" : ", 'CAST')");
    return true;
  }
  if (validate ? !as : !dflt || !err || ((cast) != (as != 0))) return false;
  if (args.empty() || (as && dflt && dflt < as)) return false;
  size_t valueEnd = as ? as : dflt;
  if (valueEnd <= args[0].first) throw OraError(936);
  std::string rest = restArgs();
  std::string value = emit(args[0].first, valueEnd);
  ColType to;
  to.code = k.text == "TO_DATE" ? kDate : kNumber;
  if (as) to = castType(as + 1, dflt ? dflt : args[0].second);
  int kind = to.code == kNumber ? 0 : to.code == kDate ? 1 : 2;
  if (validate) {
    // the datetime and interval types by their own conversion, text by none
    const char* own = to.code == kTimestamp     ? "ora_validate_timestamp"
                      : to.code == kTimestampTz ? "ora_validate_timestamp_tz"
                      : to.code == kIntervalDs  ? "ora_validate_dsinterval"
                      : to.code == kIntervalYm  ? "ora_validate_yminterval"
                                                : nullptr;
    if (own) call = std::string(own) + "(" + value + rest + ")";
    else call = "ora_validate(" + std::to_string(kind) + ", " + value + rest + ")";
    return true;
  }
  std::string fallback = emit(dflt + 1, err - 2);
  if (dflt + 1 >= err - 2) throw OraError(936);
  if (other) {
    call = std::string(other) + "(" + value + ", " + fallback + rest + ")";
    return true;
  }
  if (cast && kind == 2) {
    // text cast to a datetime or an interval is read by its conversion, which may fail
    int from = exprType(args[0].first, valueEnd).code;
    const char* read = to.code == kTimestamp     ? "ora_to_timestamp_or"
                       : to.code == kTimestampTz ? "ora_to_timestamp_tz_or"
                       : to.code == kIntervalDs  ? "ora_to_dsinterval_or"
                       : to.code == kIntervalYm  ? "ora_to_yminterval_or"
                                                 : nullptr;
    bool intervalModel = (to.code == kIntervalDs || to.code == kIntervalYm) && !rest.empty();
    if (read && (from == kVarchar2 || from == kChar) && !intervalModel) {
      call = "ora_conv(" + std::string(read) + "(" + value + ", " + fallback + rest + "), " + std::to_string(to.code) +
             ", " + std::to_string(convLimit(to)) + ", " + std::to_string(to.precision) + ", " +
             std::to_string(to.scale) + ", " + (to.hasScale ? "1" : "0") + ", 'CAST')";
      return true;
    }
  }
  if (kind == 2) {
    // text never fails to become text: the default is never taken
    if (exprType(args[0].first, valueEnd).code == kDate) value = "TO_CHAR(" + value + ")";
    call = value;
  } else {
    call = "ora_convert_or(" + std::to_string(kind) + ", " + value + ", " + fallback + rest + ")";
  }
  if (cast) {
    // text is cut to the length named; a number or a date that does not fit is an error
    int from = exprType(args[0].first, valueEnd).code;
    bool whole = (from == kNumber || from == kDate) && (to.code == kVarchar2 || to.code == kChar);
    call = "ora_conv(" + call + ", " + std::to_string(to.code) + ", " + std::to_string(convLimit(to)) + ", " +
           std::to_string(to.precision) + ", " + std::to_string(to.scale) + ", " + (to.hasScale ? "1" : "0") +
           (whole ? ", 'CAST VALUE')" : ", 'CAST')");
  }
  return true;
}

} // namespace ora::tx
