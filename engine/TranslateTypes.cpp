// The Oracle type of an expression: Oracle's rules for results, describe sizes and the implicit
// conversions they lead to.
#include "TranslateBoolean.h"
#include "TranslateImpl.h"

#include "CType.h"
#include "Dictionary.h"
#include "FunctionUtil.h"
#include "TerritoryFormats.h"
#include "Number.h"
#include "OraFunctions.h"
#include "Plsql.h"
#include "Session.h"

#include <algorithm>
#include <map>
#include <cstring>
#include <set>
#include <sqlite3.h>

namespace ora::tx {

namespace {
// A PL/SQL function's TIMESTAMP or INTERVAL result: its value keeps all nine digits.
ColType storedDatetimeType(int code) {
  ColType t;
  t.code = code;
  t.scale = code == kIntervalYm ? 0 : 9;
  if (isInterval(code)) t.precision = 9;
  return t;
}

// The statistical and inverse distribution aggregates give a NUMBER.
bool statistic(const std::string& f) {
  return f != "COUNT" && aggregateFunction(f) && f != "MIN" && f != "MAX" && f != "LISTAGG" && f != "ANY_VALUE" &&
         f != "STATS_MODE" && f != "JSON_ARRAYAGG" && f != "JSON_OBJECTAGG";
}

// Digits of a plain number literal before and after its point, leading and trailing zeros not
// counted; false for an exponent form.
bool literalDigits(const std::string& text, int& whole, int& fraction) {
  whole = fraction = 0;
  size_t point = text.find('.');
  std::string w = text.substr(0, point), f = point == std::string::npos ? "" : text.substr(point + 1);
  if ((w + f).find_first_not_of("0123456789") != std::string::npos) return false;
  w.erase(0, std::min(w.size(), w.find_first_not_of('0')));
  f.erase(std::min(f.size(), f.find_last_not_of('0') + 1));
  whole = static_cast<int>(w.size());
  fraction = static_cast<int>(f.size());
  return true;
}
} // namespace

// Whether every value of type x (the literal at `literal` when there is one) fits the NUMBER(p,s)
// `into` without rounding: a choice among numbers keeps its first one's precision only then.
bool numberHolds(const ColType& into, const ColType& x, const Token* literal) {
  if (into.code != kNumber || into.precision <= 0) return true;
  if (into.isFloat()) return x.isFloat() && x.precision <= into.precision;
  if (literal && literal->kind == Token::Num) {
    int whole, fraction;
    return literalDigits(literal->text, whole, fraction) && fraction <= into.scale &&
           whole <= into.precision - into.scale;
  }
  return x.code == kNumber && x.precision > 0 && !x.isFloat() && x.scale <= into.scale &&
         x.precision - x.scale <= into.precision - into.scale;
}

ColType Translator::exprType(size_t b, size_t e) {
  // a chain already rewritten no longer reads as one
  if (int code = rewrittenType(b, e)) {
    ColType t;
    t.code = code;
    // interval arithmetic gives the widest precisions, a datetime moved by one nine digits
    if (isInterval(code)) t.precision = 9, t.scale = code == kIntervalDs ? 9 : 0;
    if (isTimestamp(code)) t.scale = 9;
    if (auto fp = fpRewritten_.find(b); code == kNumber && fp != fpRewritten_.end()) t.binary = fp->second;
    return t;
  }
  std::vector<std::pair<size_t, size_t>> terms;
  std::vector<std::string> ops;
  if (b < e && chainAt(b, e, terms, ops) && terms.back().second == e && terms.size() > 1) {
    ColType acc = exprType(terms[0].first, terms[0].second);
    for (size_t k = 0; k < ops.size(); ++k) {
      ColType t = exprType(terms[k + 1].first, terms[k + 1].second);
      ColType r;
      if (intervalResult(acc, ops[k], t, r)) {
        acc = r;
        continue;
      }
      if (ops[k] == "||" && (acc.lob == kClob || acc.lob == kNclob || t.lob == kClob || t.lob == kNclob)) {
        r = acc.lob == kClob || acc.lob == kNclob ? acc : t; // a LOB joined to anything stays one
      } else if (ops[k] == "||") {
        auto width = [this](const ColType& x) {
          return x.code == kVarchar2 || x.code == kChar ? x.size : x.code == kNumber ? 40 : x.code == kDate ? dateTextBytes() : 4000;
        };
        // CHAR joined to CHAR stays CHAR; anything else makes VARCHAR2
        r.code = acc.code == kChar && t.code == kChar ? kChar : kVarchar2;
        r.size = std::min(4000, width(acc) + width(t));
      }
      else if ((acc.code == kDate || isTimestamp(acc.code)) && (t.code == kDate || isTimestamp(t.code)))
        r.code = ops[k] == "-" ? kNumber : kDate;
      else if (isTimestamp(acc.code) || isTimestamp(t.code)) r.code = kDate;
      else if (acc.code == kDate || t.code == kDate) r.code = kDate;
      else {
        r.code = kNumber;
        // BINARY_DOUBLE over BINARY_FLOAT over NUMBER
        r.binary = std::max(acc.code == kNumber ? acc.binary : 0, t.code == kNumber ? t.binary : 0);
      }
      acc = r;
    }
    return acc;
  }
  if (b + 2 < e + 1 && is(t_[b], "(") && matching(b) + 1 == e && !is(at(b + 1), "SELECT")) return exprType(b + 1, e - 1);
  if (is(t_[b], "CURSOR") && is(at(b + 1), "(") && matching(b + 1) + 1 == e) {
    ColType c;
    c.code = kCursorType;
    return c;
  }
  return infer(b, e);
}

// CASE results of different type families are ORA-00932, as Oracle finds at parse. Only the
// results whose type is certain take part: literals and plain columns.
void Translator::checkCaseResults(const std::vector<std::pair<size_t, size_t>>& results) {
  const char* first = nullptr;
  for (auto [rb, re] : results) {
    bool column = (re == rb + 1 && (t_[rb].kind == Token::Ident || t_[rb].kind == Token::QIdent) &&
                   !keywordAt(t_, rb)) ||
                  (re == rb + 3 && is(t_[rb + 1], "."));
    if (!(re == rb + 1 && (t_[rb].kind == Token::Num || t_[rb].kind == Token::Str)) && !column) continue;
    if (t_[rb].kind == Token::Str && t_[rb].text.empty()) continue; // '' is NULL
    int code = exprType(rb, re).code;
    const char* family = code == kNumber ? "NUMBER" : code == kDate ? "DATE"
                         : code == kVarchar2 || code == kChar ? "CHAR" : nullptr;
    if (!family) continue;
    if (!first) first = family;
    else if (std::strcmp(first, family) != 0)
      throw OraError(932, std::string("expected ") + first + " got " + family).at(t_[rb].pos);
  }
}

// The type a CAST names, from its type tokens [b, e).
ColType Translator::castType(size_t b, size_t e) const {
  auto word = [&](size_t m) { return m < e && t_[m].kind == Token::Ident ? t_[m].text : std::string(); };
  int used = 1;
  if (e == b + 3 && is(t_[b], "SYS") && is(t_[b + 1], ".") && is(t_[b + 2], "XMLTYPE")) b += 2;
  if (b < e && is(t_[b], "INTERVAL")) {
    ColType c;
    if (intervalColumnType(b + 1, c) != e) throw OraError(907).at(static_cast<int>(at(e).pos));
    return c;
  }
  std::string decl = b < e ? typeSynonym(t_[b].text, word(b + 1), word(b + 2), used) : std::string();
  for (size_t m = b + static_cast<size_t>(used); m < e; ++m) decl += t_[m].text;
  ColType c = parseDeclType(decl);
  // NCHAR(n) and NVARCHAR2(n) count characters, as columns of those types do
  if (c.national && c.chars == 0) charLimit(c, c.code == kChar ? 2000 : 4000);
  if (c.code == 0 && (decl.rfind("VARCHAR", 0) == 0 || decl.rfind("NVARCHAR2", 0) == 0)) c = parseDeclType("VARCHAR2" + decl.substr(decl.find('(') == std::string::npos ? decl.size() : decl.find('(')));
  // NCHAR counts characters, as a column of that type does
  if (c.code == 0 && decl.rfind("NCHAR", 0) == 0) {
    c = parseDeclType("CHAR" + decl.substr(5));
    if (c.code == kChar) charLimit(c, 2000);
  }
  if (c.code == 0 && (decl.rfind("INT", 0) == 0 || decl.rfind("SMALLINT", 0) == 0)) c = parseDeclType("NUMBER(38)");
  // the fixed-point synonyms: scale 0 unless given
  for (const char* fixed : {"NUMERIC", "DECIMAL", "DEC"})
    if (c.code == 0 && decl.rfind(fixed, 0) == 0) {
      std::string args = decl.substr(std::strlen(fixed));
      c = parseDeclType("NUMBER" + (args.empty() ? std::string("(38)") : args));
    }
  if (c.code == 0 && decl.rfind("FLOAT", 0) == 0) c = floatType(decl.size() > 7 ? std::atoi(decl.c_str() + 6) : 126);
  if (c.code == 0 && decl.rfind("REAL", 0) == 0) c = floatType(63);
  if (c.code == 0 && decl.rfind("DOUBLE", 0) == 0) c = floatType(126);
  if (c.code == kVarchar2 && c.size <= 0) c.size = 4000;
  auto endsWith = [&](const char* tail) {
    size_t n = std::strlen(tail);
    return decl.size() > n && decl.compare(decl.size() - n, n, tail) == 0;
  };
  // CHAR, or the session's NLS_LENGTH_SEMANTICS CHAR where the length says neither
  if ((c.code == kVarchar2 || c.code == kChar) && !c.national &&
      (endsWith("CHAR)") || (!endsWith("BYTE)") && sessionNls(cat_.db()).charSemantics)))
    charLimit(c, c.code == kChar ? 2000 : 4000);
  return c;
}

// The most bytes TO_CHAR(number, model) gives: the model and a sign, more where an element
// writes more than its letters (RN, TM, EEEE, currency symbols).
int Translator::numberFormatWidth(const std::string& model) {
  std::string u = model;
  for (auto& c : u) c = static_cast<char>(ora::upperC(static_cast<unsigned char>(c)));
  int n = static_cast<int>(u.size()) + 1;
  if (u.find("RN") != std::string::npos) n = std::max(n, 15);
  if (u.find("TM") != std::string::npos) n = std::max(n, 64);
  if (u.find("EEEE") != std::string::npos) n += 1; // a three-digit exponent
  if (u.find_first_of("LCU") != std::string::npos) n += 10;
  return n;
}

// The most bytes a date's text in the session's format takes.
int Translator::dateTextBytes() {
  const std::string& model = sessionNls(cat_.db()).dateFormat;
  int n = dateFormatWidth(model.empty() ? "RR-MM-DD" : model);
  return n > 0 ? std::min(4000, n) : 9;
}

// The most bytes TO_CHAR(date, model) gives: the model tried on a day of every month and weekday,
// morning and afternoon, in English, Japanese and the session's language; 0 when the model is not valid.
int Translator::dateFormatWidth(const std::string& model) {
  // a few hundred sample dates per model: each is measured once per thread and character set
  static thread_local std::map<std::pair<std::string, int>, int> measured;
  int language = sessionNls(cat_.db()).dateLanguage;
  auto key = std::make_pair(model, static_cast<int>(charset()) * 16 + language);
  if (auto it = measured.find(key); it != measured.end()) return it->second;
  if (measured.size() > 256) measured.clear();
  return measured[key] = measureDateFormat(model, language);
}

int Translator::measureDateFormat(const std::string& model, int sessionLanguage) {
  try {
    // spelled numbers are measured apart: the sample days are not their longest words
    std::vector<fn::FmtElem> elems = fn::parseDateFormat(model);
    int spelled = 0;
    for (auto& e : elems)
      if (e.spell) {
        // a signed element keeps its blank for the sign
        bool sign = e.kind == fn::Fe::Syyyy || e.kind == fn::Fe::Scc;
        spelled += fn::spelledWidth(e.kind, e.th >= 0) + (sign ? 1 : 0);
        e = fn::FmtElem{fn::Fe::Lit, {}};
      }
    int widest = 0;
    bool eras = std::any_of(elems.begin(), elems.end(), [](const fn::FmtElem& e) {
      return e.kind == fn::Fe::Era || e.kind == fn::Fe::EraFull;
    });
    // English and Japanese, and the session's language where it is another
    for (int language : {0, 1, sessionLanguage, 0 | fn::kImperial, 1 | fn::kImperial}) {
      if ((language & fn::kImperial) && !eras) continue; // the same digits in either calendar
      for (int month = 1; month <= 12; ++month)
        for (int day = 1; day <= 7; ++day)
          for (int hour : {9, 21}) {
            DateTime d;
            d.year = 2000;
            d.month = month;
            d.day = day + 20;
            d.hour = hour;
            widest = std::max(widest, textBytes(fn::formatDate(d, elems, language)));
          }
    }
    widest += spelled;
    // a spelled year is given room for the longest Oracle allows for it, not this year's
    for (const auto& e : fn::parseDateFormat(model))
      if (e.kind == fn::Fe::Year || e.kind == fn::Fe::Syear) widest += 42 - 12;
    return widest;
  } catch (const OraError&) {
    return 0;
  }
}

// A scalar subquery has the type of its one column, read among its own tables.
ColType Translator::subqueryType(size_t s, size_t e) {
  int d = t_[s].depth;
  size_t from = clauseEnd(s + 1, e, d, {"FROM"});
  size_t ib = s + 1, ie = ib;
  if (is(at(ib), "DISTINCT") || is(at(ib), "UNIQUE") || is(at(ib), "ALL")) ++ib;
  ie = ib;
  while (ie < from && !(t_[ie].depth == d && is(t_[ie], ","))) ++ie;
  if (ie - ib >= 2 && aliasToken(ie - 1) &&
      (is(t_[ie - 2], "AS") || !(t_[ie - 2].kind == Token::Op && t_[ie - 2].text != ")")))
    ie -= is(t_[ie - 2], "AS") ? 2 : 1;
  ColType t;
  t.code = kVarchar2;
  t.size = 4000;
  if (from >= e || ie <= ib) return t;
  static const std::set<std::string> stops = {"WHERE", "GROUP", "ORDER", "HAVING", "UNION", "INTERSECT",
                                              "MINUS", "EXCEPT", "CONNECT", "START", "FOR"};
  Context c;
  parseFrom(from + 1, clauseEnd(from + 1, e, d, stops), c);
  ctx_.push_back(c);
  try {
    t = exprType(ib, ie);
  } catch (...) {
    ctx_.pop_back();
    throw;
  }
  ctx_.pop_back();
  return t;
}

// The type a stored function's result code stands for, when it is one a value can have here.
bool Translator::storedResult(int code, ColType& t) const {
  if (code == kNumber || code == kDate || code == kCursorType || code == kBoolean) {
    t = ColType{};
    t.code = code;
    return true;
  }
  if (isTimestamp(code) || isInterval(code)) {
    t = storedDatetimeType(code);
    return true;
  }
  return false;
}

ColType Translator::infer(size_t b, size_t e) {
  ColType t;
  t.code = kVarchar2;
  t.size = 4000;
  if (e <= b) return t;
  // value COLLATE name: the value's type
  if (e >= b + 3 && is(t_[e - 2], "COLLATE") && !replace_[e - 2].empty()) return infer(b, e - 2);
  if (conditionCall(t_, b, e)) {
    t = ColType{};
    t.code = kBoolean;
    return t;
  }
  // a signed operand: its type read once (reading it once per kind of operand doubles the work
  // at each sign of + + + ... x)
  if ((is(t_[b], "-") || is(t_[b], "+")) && t_[b].kind == Token::Op && e > b + 1) {
    ColType x = exprType(b + 1, e);
    if (isInterval(x.code)) return x;
    if (x.code != kDate && !isTimestamp(x.code)) {
      t = ColType{};
      t.code = kNumber;
      t.binary = x.code == kNumber ? x.binary : 0;
      return t;
    }
  }
  // a product or quotient at this level: its factors' types read once, for the same reason
  if (e > b + 2) {
    const int d = t_[b].depth;
    std::vector<size_t> cuts;
    bool plain = true;
    for (size_t k = b; k < e && plain; ++k) {
      if (is(t_[k], "INTERVAL") && at(k + 1).kind == Token::Str) {
        k = intervalEnd(k) - 1; // a literal's words are no operators
        continue;
      }
      if (k == b || t_[k].depth != d) continue;
      if (skip_[k] || !replace_[k].empty()) plain = false;
      else if (t_[k].kind == Token::Op && (is(t_[k], "*") || is(t_[k], "/"))) cuts.push_back(k);
      else if (t_[k].kind == Token::Op && (is(t_[k], "-") || is(t_[k], "+")) && (is(t_[k - 1], "*") || is(t_[k - 1], "/")))
        continue; // a factor's sign
      else if (t_[k].kind == Token::Op && !is(t_[k], "(") && !is(t_[k], ")") && !is(t_[k], ".")) plain = false;
      else if (t_[k].kind == Token::Ident && keywordAt(t_, k)) plain = false;
    }
    if (plain && !cuts.empty()) {
      cuts.push_back(e);
      int interval = 0, binary = 0;
      size_t fb = b;
      for (size_t c : cuts) {
        if (c > fb) {
          ColType x = exprType(fb, c);
          if (isInterval(x.code) && !interval) interval = x.code;
          if (x.code == kNumber) binary = std::max(binary, x.binary);
        }
        fb = c + 1;
      }
      t = ColType{};
      if (interval) {
        // an interval of the widest precisions, as Oracle's arithmetic gives it
        t.code = interval;
        t.precision = 9;
        t.scale = interval == kIntervalDs ? 9 : 0;
      } else {
        t.code = kNumber;
        t.binary = binary;
      }
      return t;
    }
  }
  if (!jsonCalls_.empty() && jsonType(b, e, t)) return t;
  if (e - b >= 7 && is(t_[e - 1], ")") && is(t_[e - 2], "(") && jsonDotType(b, e, t)) return t;
  if ((!xmlReads_.empty() || !xmlCasts_.empty()) && xmlReadType(b, e, t)) return t;
  if (lobType(b, e, t)) return t;
  if (suppliedType(b, e, t)) return t;
  if (xmlType(b, e, t)) return t;
  if (collectionExprType(b, e, t)) return t;
  if (objectExprType(b, e, t)) return t;
  if (binaryFloatType(b, e, t)) return t;
  const Token& f = t_[b];
  if (booleanTokens(t_, b, e)) {
    t = ColType{};
    t.code = kBoolean;
    return t;
  }
  if (e - b == 2 && is(f, "DATE") && t_[b + 1].kind == Token::Str) { t = ColType{}; t.code = kDate; return t; }
  if (e - b == 2 && is(f, "TIMESTAMP") && t_[b + 1].kind == Token::Str) {
    // with a zone after its time, a TIMESTAMP WITH TIME ZONE
    const std::string& x = t_[b + 1].text;
    size_t sp = x.find(' ', x.find_first_not_of(' '));
    sp = sp == std::string::npos ? sp : x.find_first_not_of(' ', sp);
    t = ColType{};
    t.code = sp != std::string::npos && x.find(' ', sp) != std::string::npos ? kTimestampTz : kTimestamp;
    t.scale = 9;
    return t;
  }
  if (zoneShiftType(b, e, t)) return t;
  if ((is(f, "TO_TIMESTAMP") || is(f, "SCN_TO_TIMESTAMP")) && is(at(b + 1), "(") && matching(b + 1) + 1 == e) { t = ColType{}; t.code = kTimestamp; t.scale = 9; return t; }
  if (e - b == 4 && (is(f, "CURRENT_TIMESTAMP") || is(f, "LOCALTIMESTAMP") || is(f, "SYSTIMESTAMP")) && is(at(b + 1), "(") &&
      at(b + 2).kind == Token::Num && is(at(b + 3), ")")) {
    t = ColType{};
    t.code = is(f, "LOCALTIMESTAMP") ? kTimestamp : kTimestampTz;
    t.scale = std::min(9, std::atoi(at(b + 2).text.c_str()));
    return t;
  }
  if (intervalType(b, e, t)) return t;
  if (is(f, "(") && is(at(b + 1), "SELECT") && matching(b) + 1 == e) return subqueryType(b + 1, e - 1);
  if ((is(f, "PRIOR") || is(f, "CONNECT_BY_ROOT")) && e - b >= 2) {
    // the walk has already taken the operand's tokens: typed as written
    std::vector<char> skipped(skip_.begin() + b + 1, skip_.begin() + e);
    std::vector<std::string> written(replace_.begin() + b + 1, replace_.begin() + e);
    std::fill(skip_.begin() + b + 1, skip_.begin() + e, 0);
    for (size_t k = b + 1; k < e; ++k) replace_[k].clear();
    ColType r = exprType(b + 1, e);
    std::copy(skipped.begin(), skipped.end(), skip_.begin() + b + 1);
    std::move(written.begin(), written.end(), replace_.begin() + b + 1);
    return r;
  }
  if (is(f, "SYS_CONNECT_BY_PATH") && is(at(b + 1), "(")) { t.code = kVarchar2; t.size = 4000; return t; }
  if (e - b == 1) {
    if (is(f, "CONNECT_BY_ISLEAF") || is(f, "CONNECT_BY_ISCYCLE")) { t = ColType{}; t.code = kNumber; return t; }
    if (f.kind == Token::Num) { t = ColType{}; t.code = kNumber; return t; }
    // a text literal is CHAR, as long as it is
    if (f.kind == Token::Str) { t.code = kChar; t.size = std::max<int>(1, textBytes(f.text)); return t; }
    if (f.kind == Token::Ident && f.text == "SYSDATE") { t = ColType{}; t.code = kDate; return t; }
    if (f.kind == Token::Ident && (f.text == "SYSTIMESTAMP" || f.text == "CURRENT_TIMESTAMP" || f.text == "LOCALTIMESTAMP")) {
      t = ColType{};
      t.code = f.text == "LOCALTIMESTAMP" ? kTimestamp : kTimestampTz;
      t.scale = 6;
      return t;
    }
    if (f.kind == Token::Ident && (f.text == "SESSIONTIMEZONE" || f.text == "DBTIMEZONE")) { t.size = 6; return t; }
    if (f.kind == Token::Ident && f.text == "ROWID") { t = ColType{}; t.code = kRowid; return t; }
    if (f.kind == Token::Ident && f.text == "USER") { t.size = 30; return t; }
    // a bare NULL describes as text of no length, so a shell gives it one column
    if (is(f, "NULL")) { t.size = 0; return t; }
    if (f.kind == Token::Ident && (f.text == "UID" || f.text == "ROWNUM" || f.text == "LEVEL" || f.text == "ORA_ROWSCN")) { t = ColType{}; t.code = kNumber; return t; }
  }
  if (is(t_[e - 1], "NEXTVAL") || is(t_[e - 1], "CURRVAL")) { t = ColType{}; t.code = kNumber; return t; }
  if (e - b == 3 && is(t_[b + 1], ".") && is(t_[b + 2], "ROWID")) { t = ColType{}; t.code = kRowid; return t; }
  if (e - b == 3 && is(t_[b + 1], ".") && is(t_[b + 2], "ORA_ROWSCN")) { t = ColType{}; t.code = kNumber; return t; }
  // a package's function
  if (f.kind == Token::Ident && is(at(b + 1), ".") && at(b + 2).kind == Token::Ident &&
      (e == b + 3 || (is(at(b + 3), "(") && matching(b + 3) + 1 == e))) {
    int r = storedFunctionType(cat_, f.text, at(b + 2).text);
    if (r <= 0 && f.text == cat_.user()) r = storedFunctionType(cat_, {}, at(b + 2).text); // schema.function
    if (storedResult(r, t)) return t;
  }
  // schema.package.function
  if (f.kind == Token::Ident && f.text == cat_.user() && is(at(b + 1), ".") && is(at(b + 3), ".") && at(b + 4).kind == Token::Ident &&
      (e == b + 5 || (is(at(b + 5), "(") && matching(b + 5) + 1 == e)) &&
      storedResult(storedFunctionType(cat_, at(b + 2).text, at(b + 4).text), t))
    return t;
  if (e == b + 1 && parameterlessFunction(b)) {
    std::string fn = bareFunction(f.text), unit = fn.size() > f.text.size() ? fn.substr(0, fn.size() - f.text.size() - 1) : "";
    if (storedResult(storedFunctionType(cat_, unit, f.text), t)) return t;
  }
  // A column of a FROM table: its own type (reached here when it sits inside a call).
  if ((e - b == 1 || (e - b == 3 && is(t_[b + 1], "."))) &&
      (t_[e - 1].kind == Token::Ident || t_[e - 1].kind == Token::QIdent) && !ctx_.empty()) {
    std::string q = e - b == 3 ? t_[b].text : std::string();
    ColType found;
    if (sourceColumnType(ctx_.back(), q, t_[e - 1].text, found)) return found;
    return t;
  }
  // the inverse distribution functions of dates give a date, of timestamps a timestamp
  if (size_t kb, ke; f.kind == Token::Ident && percentileKey(b, kb, ke)) {
    ColType key = exprType(kb, ke);
    if (key.code == kDate) {
      t = ColType{};
      t.code = kDate;
      return t;
    }
    if (key.code == kTimestamp) return key;
  }
  if (f.kind == Token::Ident && analyticAt(b) == e) {
    // an analytic call has the type of its function without the window
    static const std::set<std::string> ranks = {"ROW_NUMBER", "RANK", "DENSE_RANK", "NTILE", "PERCENT_RANK",
                                                "CUME_DIST", "RATIO_TO_REPORT", "COUNT", "SUM", "AVG"};
    if (ranks.count(f.text) || statistic(f.text)) { t = ColType{}; t.code = kNumber; return t; }
    if (f.text == "LISTAGG") return t;
    size_t close = matching(b + 1), a = b + 2, m = a;
    if (is(at(a), "DISTINCT") || is(at(a), "UNIQUE") || is(at(a), "ALL")) m = ++a;
    while (m < close && !(t_[m].depth == f.depth + 1 && is(t_[m], ","))) ++m;
    size_t valueEnd = m;
    if (m - a > 2 && is(t_[m - 1], "NULLS") && (is(t_[m - 2], "IGNORE") || is(t_[m - 2], "RESPECT"))) m -= 2;
    if (m <= a) return t;
    ColType v = exprType(a, m);
    if ((f.text == "LAG" || f.text == "LEAD") && valueEnd < close) {
      // the default given where no row is: the result holds it too
      size_t db = valueEnd + 1;
      while (db < close && !(t_[db].depth == f.depth + 1 && is(t_[db], ","))) ++db;
      if (++db < close && !(close == db + 1 && is(t_[db], "NULL"))) {
        ColType d = exprType(db, close);
        if (v.code == kNumber && !numberHolds(v, d, close == db + 1 ? &t_[db] : nullptr)) {
          v = ColType{};
          v.code = kNumber;
        } else if ((v.code == kVarchar2 || v.code == kChar) && (d.code == kVarchar2 || d.code == kChar) &&
                   (d.size != v.size || d.code != v.code)) {
          v.size = std::max(v.size, d.size);
          v.code = kVarchar2;
        }
      }
    }
    return v;
  }
  bool wholeCall = f.kind == Token::Ident && is(at(b + 1), "(") && is(t_[e - 1], ")") && t_[e - 1].depth == f.depth &&
                   matching(b + 1) + 1 == e;
  std::vector<std::pair<size_t, size_t>> args;
  if (wholeCall) {
    size_t a = b + 2;
    if (is(at(a), "DISTINCT") || is(at(a), "UNIQUE") || is(at(a), "ALL")) ++a;
    for (size_t m = a; m <= e - 1; ++m)
      if (m == e - 1 || (t_[m].depth == f.depth + 1 && is(t_[m], ","))) {
        if (m > a) args.emplace_back(a, m);
        a = m + 1;
      }
  }
  auto nullArg = [&](std::pair<size_t, size_t> r) {
    return r.second == r.first + 1 && ((t_[r.first].kind == Token::Str && t_[r.first].text.empty()) || is(t_[r.first], "NULL"));
  };
  // the most bytes a value of type x takes as text
  auto textSize = [&](const ColType& x) {
    return x.code == kVarchar2 || x.code == kChar ? x.size : x.code == kNumber ? 40 : x.code == kDate ? dateTextBytes() : 4000;
  };
  // Character results are as long as the longest argument that can be the result.
  auto widest = [&](const std::vector<std::pair<size_t, size_t>>& results) {
    // each result typed once: nested choices would otherwise type the innermost exponentially often
    std::vector<ColType> types(results.size());
    for (size_t k = 0; k < results.size(); ++k)
      if (!nullArg(results[k])) types[k] = exprType(results[k].first, results[k].second);
    ColType r;
    for (size_t k = 0; k < results.size(); ++k)
      if (!nullArg(results[k])) { r = types[k]; break; }
    if (r.code == 0) { r.code = kVarchar2; r.size = 1; }
    if (r.code == kNumber && r.precision > 0) {
      // a result another choice does not fit is a NUMBER of any size
      for (size_t k = 0; k < results.size(); ++k) {
        auto a = results[k];
        if (nullArg(a)) continue;
        if (!numberHolds(r, types[k], a.second == a.first + 1 ? &t_[a.first] : nullptr)) {
          r = ColType{};
          r.code = kNumber;
          break;
        }
      }
    }
    if (r.code == kChar) r.code = kVarchar2; // a choice among texts is VARCHAR2
    if (r.code == kVarchar2) {
      for (size_t k = 0; k < results.size(); ++k) {
        if (nullArg(results[k])) continue;
        r.size = std::min(4000, std::max(r.size, textSize(types[k])));
      }
    }
    return r;
  };
  // Calls whose result has the type of their first argument.
  static const std::set<std::string> sameType = {"MIN", "MAX", "ANY_VALUE", "STATS_MODE", "NVL", "COALESCE", "GREATEST", "LEAST", "NULLIF"};
  if (wholeCall && sameType.count(f.text) && !args.empty()) {
    if (f.text == "MIN" || f.text == "MAX" || f.text == "ANY_VALUE" || f.text == "STATS_MODE" || f.text == "NULLIF")
      return infer(args[0].first, args[0].second);
    return widest(args);
  }
  if (f.kind == Token::Ident && f.text == "CASE" && is(t_[e - 1], "END") && t_[e - 1].depth == f.depth) {
    std::vector<std::pair<size_t, size_t>> results;
    size_t from = 0;
    int nest = 0;
    for (size_t m = b + 1; m < e; ++m) {
      if (t_[m].depth != f.depth) continue;
      if (is(t_[m], "CASE")) { ++nest; continue; }
      if (is(t_[m], "END") && nest) { --nest; continue; }
      if (nest) continue;
      if (is(t_[m], "THEN") || is(t_[m], "ELSE")) {
        if (from) results.emplace_back(from, m);
        from = m + 1;
      } else if (is(t_[m], "WHEN") || m == e - 1) {
        if (from) results.emplace_back(from, m);
        from = 0;
      }
    }
    checkCaseResults(results);
    if (!is(t_[b + 1], "WHEN")) {
      // CASE x WHEN a ...: x and every a of one type family
      std::vector<std::pair<size_t, size_t>> compared;
      size_t when = 0;
      for (size_t m = b + 1; m < e; ++m) {
        if (t_[m].depth != f.depth) continue;
        if (is(t_[m], "CASE")) { ++nest; continue; }
        if (is(t_[m], "END") && nest) { --nest; continue; }
        if (nest) continue;
        if (is(t_[m], "WHEN")) {
          if (compared.empty()) compared.emplace_back(b + 1, m);
          when = m + 1;
        } else if (is(t_[m], "THEN") && when) {
          compared.emplace_back(when, m);
          when = 0;
        }
      }
      checkCaseResults(compared);
    }
    if (!results.empty()) return widest(results);
  }
  if (wholeCall && f.text == "CAST" && !args.empty()) {
    size_t end = args[0].second;
    for (size_t m = args[0].first; m < end; ++m)
      if (t_[m].depth == f.depth + 1 && is(t_[m], "DEFAULT")) end = m;
    for (size_t m = args[0].first; m < end; ++m)
      if (t_[m].depth == f.depth + 1 && is(t_[m], "AS")) return castType(m + 1, end);
  }
  if (wholeCall && f.text == "VALIDATE_CONVERSION") { t = ColType{}; t.code = kNumber; return t; }
  if (wholeCall && !args.empty()) {
    if (lobTextResult(f.text, args, t)) return t;
    static const std::set<std::string> keepLength = {"UPPER", "LOWER", "INITCAP", "TRIM", "LTRIM", "RTRIM",
                                                     "REGEXP_SUBSTR", "REVERSE"};
    if (keepLength.count(f.text)) {
      size_t from = args[0].first;
      // TRIM([LEADING|TRAILING|BOTH] [c] FROM s) keeps the length of s
      if (f.text == "TRIM")
        for (size_t m = args[0].first; m < args[0].second; ++m)
          if (t_[m].depth == f.depth + 1 && is(t_[m], "FROM")) from = m + 1;
      ColType x = exprType(from, args[0].second);
      if (x.lob == kClob || x.lob == kNclob) return x; // a LOB's text stays a LOB
      t.size = x.code == kVarchar2 || x.code == kChar ? x.size : x.code == kNumber ? 40 : x.code == kDate ? dateTextBytes() : 4000;
      // a change of case keeps CHAR; the trims make VARCHAR2
      if (x.code == kChar && (f.text == "UPPER" || f.text == "LOWER" || f.text == "INITCAP")) t.code = kChar;
      return t;
    }
    if (f.text == "ROWIDTOCHAR" || f.text == "ROWIDTONCHAR") { // a rowid's text is always 18 characters
      t.size = 18;
      return t;
    }
    // the argument's type, read once: nested calls would otherwise read the innermost ones
    // exponentially often
    ColType toCharArg;
    if ((f.text == "TO_CHAR" || f.text == "TO_NCHAR") && !args.empty()) {
      toCharArg = exprType(args[0].first, args[0].second);
      if (isInterval(toCharArg.code)) {
        t.size = displaySize(toCharArg); // an interval's text is its default form, whatever the format
        return t;
      }
      if (args.size() == 1 && toCharArg.code == kNumber) {
        t.size = 40;
        return t;
      }
      if (args.size() == 1 && toCharArg.code == kDate) {
        t.size = dateTextBytes();
        return t;
      }
      if (args.size() == 1 && (toCharArg.code == kVarchar2 || toCharArg.code == kChar)) {
        t.size = toCharArg.size;
        return t;
      }
    }
    if ((f.text == "TO_CHAR" || f.text == "TO_NCHAR") && args.size() >= 2 && args[1].second == args[1].first + 1 &&
        t_[args[1].first].kind == Token::Str) {
      // a literal format: the longest text it can give
      const std::string& model = t_[args[1].first].text;
      int code = toCharArg.code;
      if (code == kDate || isTimestamp(code)) {
        if (int n = dateFormatWidth(fn::territoryModel(model, sessionNls(cat_.db()).territory, code != kDate)))
          t.size = std::min(4000, n);
      } else if (code == kNumber && !model.empty()) {
        t.size = std::min(4000, numberFormatWidth(model));
      }
      return t;
    }
    if (f.text == "CHR" || f.text == "NCHR") {
      t.size = charset() == Charset::JA16SJIS ? 2 : 4; // one character
      return t;
    }
    auto literalCount = [&](size_t n) -> long {
      if (n >= args.size() || args[n].second != args[n].first + 1 || t_[args[n].first].kind != Token::Num) return -1;
      return std::strtol(t_[args[n].first].text.c_str(), nullptr, 10);
    };
    int perChar = charset() == Charset::JA16SJIS ? 2 : 4;
    if (f.text == "SUBSTR" || f.text == "SUBSTRB" || f.text == "SUBSTRC" || f.text == "SUBSTR4") {
      // never longer than its source; a literal length bounds it further
      ColType x = exprType(args[0].first, args[0].second);
      if (x.lob == kClob || x.lob == kNclob) return x;
      t.size = x.code == kVarchar2 || x.code == kChar ? x.size : x.code == kNumber ? 40 : 4000;
      if (long n = literalCount(2); n > 0)
        t.size = static_cast<int>(std::min<long>(t.size, f.text == "SUBSTRB" ? n : n * perChar));
      return t;
    }
    if ((f.text == "LPAD" || f.text == "RPAD") && args.size() >= 2) {
      // padded to a literal display width: Shift-JIS bytes are display columns
      if (long n = literalCount(1); n > 0)
        t.size = static_cast<int>(std::min<long>(4000, charset() == Charset::JA16SJIS ? n : n * perChar));
      return t;
    }
    if (f.text == "TRANSLATE") {
      size_t e = args[0].second; // TRANSLATE(text USING CHAR_CS) has the size of its text
      if (f.text == "TRANSLATE" && args.size() == 1 && e >= args[0].first + 3 && is(at(e - 2), "USING")) e -= 2;
      ColType x = exprType(args[0].first, e);
      if (x.code == kVarchar2 || x.code == kChar) {
        t.size = x.size;
        return t;
      }
    }
    if (f.text == "CONCAT" && args.size() == 2) {
      // each argument typed once
      ColType l = exprType(args[0].first, args[0].second), r = exprType(args[1].first, args[1].second);
      t.size = std::min(4000, textSize(l) + textSize(r));
      // as ||: CHAR joined to CHAR stays CHAR
      if (l.code == kChar && r.code == kChar) t.code = kChar;
      return t;
    }
    if (f.text == "SOUNDEX" || f.text == "ROWIDTOCHAR") {
      t.size = f.text == "SOUNDEX" ? 4 : 18;
      return t;
    }
  }
  static const std::set<std::string> numeric = {"COUNT", "SUM", "AVG", "STDDEV", "VARIANCE", "GROUPING", "GROUPING_ID", "GROUP_ID",
                                                "REGEXP_INSTR", "REGEXP_COUNT", "LENGTHB", "INSTRB", "VSIZE", "APPROX_COUNT_DISTINCT"};
  bool call = f.kind == Token::Ident && is(at(b + 1), "(") && matching(b + 1) + 1 == e;
  if (f.kind == Token::Ident && f.text == "LISTAGG") return t;
  if (f.kind == Token::Ident && statistic(f.text) && is(at(b + 1), "(")) { t = ColType{}; t.code = kNumber; return t; }
  if (f.kind == Token::Ident && is(at(b + 1), "(") && (hypotheticalAt(b) || is(at(matching(b + 1) + 1), "KEEP"))) {
    // MIN and MAX keep their argument's type; the other aggregates and the ranks give a NUMBER
    if ((f.text == "MIN" || f.text == "MAX") && !hypotheticalAt(b)) return exprType(b + 2, matching(b + 1));
    t = ColType{};
    t.code = kNumber;
    return t;
  }
  if (call && (f.text == "CEIL" || f.text == "FLOOR")) {
    // of an interval: an interval of the same kind
    size_t comma = b + 2;
    while (comma < e - 1 && !(t_[comma].depth == f.depth + 1 && is(t_[comma], ","))) ++comma;
    ColType x = exprType(b + 2, comma);
    if (isInterval(x.code)) return x;
  }
  if (call) {
    int r = numeric.count(f.text) ? kNumber : functionResultType(f.text);
    if (r < 0 && !functionAllowed(f.text.c_str(), false))
      if (int stored = calledFunctionType(cat_, f.text); stored > 0) {
        if (isTimestamp(stored) || isInterval(stored)) return storedDatetimeType(stored);
        r = stored;
      }
    if (r == kNumber || r == kDate || r == kCursorType || r == kBoolean) { t = ColType{}; t.code = r; return t; }
    if (r == kTimestampTz || (r == kTimestamp && f.text == "SYS_EXTRACT_UTC")) { t = ColType{}; t.code = r; t.scale = 9; return t; }
    if (r == kVarchar2) return t;
    if (r == kRaw || r == kRowid) {
      // HEXTORAW gives a byte for two hexadecimal digits of its text
      ColType x = e > b + 3 ? exprType(b + 2, e - 1) : ColType{};
      t = ColType{};
      t.code = r;
      if (r == kRaw && f.text == "NLSSORT") t.size = 2000;
      else if (r == kRaw && f.text == "SYS_GUID") t.size = 16;
      else if (r == kRaw && f.text == "STANDARD_HASH") {
        // the digest's length by the method named; SHA1 when none is
        t.size = 20;
        for (size_t m = b + 2; m + 2 < e; ++m)
          if (t_[m].depth == f.depth + 1 && is(t_[m], ",") && t_[m + 1].kind == Token::Str) {
            std::string h = t_[m + 1].text;
            for (auto& c : h) c = static_cast<char>(upperC(static_cast<unsigned char>(c)));
            t.size = h == "MD5" ? 16 : h == "SHA256" ? 32 : h == "SHA384" ? 48 : h == "SHA512" ? 64 : 20;
          }
      }
      else if (r == kRaw)
        t.size = x.code == kRaw ? x.size : std::max(1, std::min(2000, (x.code == kVarchar2 || x.code == kChar ? x.size : 4000) / 2));
      return t;
    }
    if (r == 0) {
      // the type of an argument: DECODE's first result, NVL2's first choice, else the first
      std::vector<std::pair<size_t, size_t>> args;
      size_t a = b + 2;
      for (size_t m = a; m <= e - 1; ++m)
        if (m == e - 1 || (t_[m].depth == f.depth + 1 && is(t_[m], ","))) { args.emplace_back(a, m); a = m + 1; }
      if (f.text == "DECODE" && args.size() >= 3) {
        // the first result that is not NULL gives the type; text results share the longest size
        std::vector<std::pair<size_t, size_t>> results;
        for (size_t n = 2; n < args.size(); n += 2) results.push_back(args[n]);
        if (args.size() % 2 == 0) results.push_back(args.back());
        if (nullArg(results[0])) {
          // a first result of NULL makes the value VARCHAR2, whatever the others are
          ColType r;
          r.code = kVarchar2;
          for (auto a : results)
            if (!nullArg(a)) {
              ColType x = exprType(a.first, a.second);
              int size = x.code == kVarchar2 || x.code == kChar ? x.size : x.code == kDate ? dateTextBytes() : x.code == kNumber ? 40 : 4000;
              r.size = std::min(4000, std::max(r.size, size));
            }
          if (r.size == 0) r.size = 1;
          return r;
        }
        return widest(results);
      }
      if (f.text == "NVL2" && args.size() == 3) return widest({args[1], args[2]});
      size_t pick = f.text == "NVL2" ? 1 : 0;
      if (pick < args.size() && args[pick].first < args[pick].second) {
        ColType x = exprType(args[pick].first, args[pick].second);
        // ROUND and TRUNC of a number give a NUMBER: rounded otherwise than its column's scale
        // of a TIMESTAMP, a DATE
        // of an interval, an interval of the same kind
        if ((f.text == "ROUND" || f.text == "TRUNC") && x.code != kDate && !isInterval(x.code)) {
          int code = isTimestamp(x.code) ? kDate : kNumber;
          x = ColType{};
          x.code = code;
        }
        return x;
      }
    }
  }
  bool arith = false, concat = false;
  for (size_t i = b; i < e; ++i) {
    if (t_[i].depth != f.depth || t_[i].kind != Token::Op) continue;
    if (t_[i].text == "||") concat = true;
    if (t_[i].text == "+" || t_[i].text == "-" || t_[i].text == "*" || t_[i].text == "/") arith = true;
  }
  if (arith && !concat) { t = ColType{}; t.code = kNumber; }
  return t;
}

} // namespace ora::tx
