// Arithmetic chains: Oracle's date arithmetic, exact NUMBER arithmetic and NULL-tolerant ||,
// and the implicit conversions of a comparison.
#include "TranslateImpl.h"
#include "Booleans.h"

#include "Dictionary.h"
#include "FunctionUtil.h"
#include "Intervals.h"
#include "Number.h"
#include "ObjectTypes.h"
#include "OraFunctions.h"
#include "Session.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <sqlite3.h>

namespace ora::tx {

namespace {
// Whether a join of operands of these types is SQL's text, at most 4000 bytes.
bool boundedText(const std::vector<ColType>& types) {
  return ValueQueries::depth == 0 && std::all_of(types.begin(), types.end(), [](const ColType& t) {
           return t.code != 0 && t.code != kLong && !t.lob && !t.xml && !t.json && t.object.empty();
         });
}

// The operands of a run of || as one call, in `acc`; the run is emptied. Out of line: the chain
// rewriting recurses once per nesting level and its frame must stay small.
[[gnu::noinline]] void joinRun(std::vector<std::string>& run, std::string& acc, const std::vector<ColType>& types) {
  if (run.empty()) return;
  acc = boundedText(types) ? "ora_concat_sql(" : "ora_concat(";
  for (size_t k = 0; k < run.size(); ++k) acc += (k ? ", " : "") + run[k];
  acc += ")";
  run.clear();
}
} // namespace

// The additive chain (terms joined by +, - and ||) starting at i; false when i starts none.
bool Translator::chainAt(size_t i, size_t e, std::vector<std::pair<size_t, size_t>>& terms,
                         std::vector<std::string>& ops) const {
  terms.clear();
  ops.clear();
  int d = t_[i].depth;
  size_t j = i;
  for (;;) {
    size_t te = termEnd(j, e, d);
    if (te == j) break;
    terms.emplace_back(j, te);
    if (te + 1 < e && t_[te].depth == d && !skip_[te] &&
        (is(t_[te], "+") || is(t_[te], "-") || is(t_[te], "||")) && termEnd(te + 1, e, d) != te + 1) {
      ops.push_back(t_[te].text);
      j = te + 1;
      continue;
    }
    break;
  }
  return !terms.empty();
}

// Oracle's date arithmetic and NULL-tolerant ||, which SQLite's operators do not have, and text
// compared with a DATE read as a date.
void Translator::rewriteChains(size_t b, size_t e) {
  static const std::set<std::string> compare = {"=", "<>", "!=", "^=", "~=", "<", ">", "<=", ">="};
  std::vector<std::pair<size_t, size_t>> terms;
  std::vector<std::string> ops;
  size_t lastB = 0, lastE = 0; // the chain before a comparison
  for (size_t i = b; i < e;) {
    if (skip_[i] || (!replace_[i].empty() && !walkValue(i))) { ++i; continue; }
    if (is(t_[i], "(") && is(at(i + 1), "SELECT")) {
      // a scalar subquery is a term of the chain it leads: (SELECT ...) - (SELECT ...)
      const Token& next = at(matching(i) + 1);
      if (next.depth != t_[i].depth || next.kind != Token::Op || !(is(next, "+") || is(next, "-") || is(next, "||"))) {
        // ... and alone, the left side of a comparison that follows
        lastB = i;
        lastE = i = matching(i) + 1;
        continue;
      }
    }
    const Token& k = t_[i];
    if (is(k, "SELECT")) {
      // a query block is rewritten by its own emission, with its tables known
      int d = k.depth;
      while (i < e && t_[i].depth >= d) ++i;
      continue;
    }
    if (k.kind == Token::Op && compare.count(k.text) && i == lastE && i + 1 < e) {
      size_t rb = i + 1;
      size_t re = chainAt(rb, e, terms, ops) ? terms.back().second : rb;
      // lists compare only for equality, and a single value with a list only through ANY / ALL
      bool lRow = rowAt(lastB, lastE), rRow = re > rb && rowAt(rb, re);
      rejectLob(lastB, lastE);
      if (re > rb) rejectLob(rb, re);
      if ((lRow || rRow) && !(is(k, "=") || is(k, "<>") || is(k, "!=") || is(k, "^=") || is(k, "~=")))
        throw OraError(lRow ? 1796 : 1797).at(static_cast<int>(k.pos));
      if ((lRow || rRow) && !is(at(rb), "ANY") && !is(at(rb), "SOME") && !is(at(rb), "ALL"))
        checkRowWidths(lastB, lastE, rb, re, false);
      if ((is(at(rb), "ANY") || is(at(rb), "SOME") || is(at(rb), "ALL")) && is(at(rb + 1), "(") &&
          !is(at(rb + 2), "SELECT")) {
        // a list beside a DATE: its text literals are dates
        int code = rewrittenType(lastB, lastE);
        if (!code) code = exprType(lastB, lastE).code;
        if (code == kDate) dateListLiterals(rb + 1);
        else if (code == kNumber) numberListLiterals(rb + 1);
        else if (int size = code == kChar ? plainCharColumn(lastB, lastE) : 0) charListLiterals(rb + 1, size);
      } else {
        dateLiteral(lastB, lastE, rb, re);
        if (objectOperand(lastB, lastE, rb, re)) {
        } else if (linguisticComparison(lastB, lastE, i, re)) {
        } else if (exactComparison(lastB, lastE, i, re)) {
        } else if (is(k, "<") || is(k, ">") || is(k, "<=") || is(k, ">=")) {
          sjisOperand(lastB, lastE, rb, re);
        }
      }
      ++i;
      continue;
    }
    if (i == lastE && lastE > lastB && (is(k, "IN") || (is(k, "NOT") && is(at(i + 1), "IN"))))
      if (size_t end = exactIn(lastB, lastE, i, e)) {
        i = end;
        continue;
      }
    if (i == lastE && lastE > lastB && (is(k, "IN") || (is(k, "NOT") && is(at(i + 1), "IN")))) {
      size_t open = is(k, "NOT") ? i + 2 : i + 1;
      if (is(at(open), "(")) checkRowWidths(lastB, lastE, open, matching(open) + 1, true);
      rejectLob(lastB, lastE);
    }
    if (i == lastE && lastE > lastB && (is(k, "LIKE") || is(k, "IN") || is(k, "NOT"))) datePredicate(i, lastB, lastE);
    // value COLLATE name LIKE pattern: the operand goes on to its collation's name
    const bool collated = i == lastE + 2 && lastE > lastB && is(t_[lastE], "COLLATE") && !replace_[lastE].empty();
    if ((i == lastE || collated) && lastE > lastB && (is(k, "LIKE") || (is(k, "NOT") && is(at(i + 1), "LIKE"))))
      foldedLike(is(k, "NOT") ? i + 1 : i, lastB, collated ? i : lastE, e);
    if (i == lastE && lastE > lastB && (is(k, "IN") || (is(k, "NOT") && is(at(i + 1), "IN")))) linguisticOperand(lastB, lastE);
    if (is(k, "IS")) {
      // a NUMBER is never NaN nor infinite; the condition is unknown for NULL
      bool negated = is(at(i + 1), "NOT");
      size_t w = i + (negated ? 2 : 1);
      if (w < e && (is(t_[w], "NAN") || is(t_[w], "INFINITE")) && i == lastE && lastE > lastB) {
        if (ColType x = exprType(lastB, lastE); x.code == kNumber && x.binary)
          replace_[lastB] = "(ora_fp_is(" + std::string(is(t_[w], "NAN") ? "0" : "1") + ", " + emit(lastB, lastE) + ") = " +
                            (negated ? "0)" : "1)");
        else
          replace_[lastB] = "(CASE WHEN ora_num(" + emit(lastB, lastE) + ") IS NULL THEN NULL ELSE " + (negated ? "1" : "0") + " END = 1)";
        for (size_t m = lastB + 1; m <= w; ++m) skip_[m] = 1;
        i = w + 1;
        continue;
      }
      // IS [NOT] OF [TYPE] ([ONLY] type, ...) and a REF's IS [NOT] DANGLING
      bool of = w < e && is(t_[w], "OF") && (is(at(w + 1), "(") || (is(at(w + 1), "TYPE") && is(at(w + 2), "(")));
      if ((of || (w < e && is(t_[w], "DANGLING"))) && i == lastE && lastE > lastB) {
        std::string call, value = emit(lastB, lastE);
        size_t end = w;
        if (of) {
          size_t open = is(at(w + 1), "(") ? w + 1 : w + 2;
          end = matching(open);
          call = "ora_obj_is_of(" + value;
          for (size_t m = open + 1; m < end; ++m) {
            bool only = is(t_[m], "ONLY");
            if (only) ++m;
            if (is(at(m + 1), ".")) m += 2;
            if (!objectType(cat_.db(), at(m).text)) throw OraError(902).at(static_cast<int>(at(m).pos));
            call += ", " + quoteString((only ? "=" : "") + at(m).text);
            ++m; // the comma
          }
          call += ")";
        } else {
          call = "ora_ref_dangling(" + value + ")";
        }
        replace_[lastB] = "(" + call + " = " + (negated ? "0" : "1") + ")";
        for (size_t m = lastB + 1; m <= end; ++m) skip_[m] = 1;
        i = end + 1;
        continue;
      }
      // an operand not seen as one above (a subquery): a value that is never the one named
      if (w < e && (is(t_[w], "NAN") || is(t_[w], "INFINITE")) && replace_[w].empty()) replace_[w] = "'NaN'";
    }
    if (k.kind == Token::Ident && k.text == "BETWEEN" && lastE > lastB &&
        (i == lastE || (i == lastE + 1 && is(t_[lastE], "NOT"))) && chainAt(i + 1, e, terms, ops)) {
      int code = exprType(lastB, lastE).code;
      size_t low = terms.back().second, high = low;
      if (low + 1 < e && is(t_[low], "AND") && chainAt(low + 1, e, terms, ops)) high = terms.back().second;
      rejectDateNumber(code, i + 1, low, lastB, high);
      if (high > low) rejectDateNumber(code, low + 1, high, lastB, high);
      // text between numbers is read as a number, as each of the two comparisons reads it
      if ((code == kVarchar2 || code == kChar) && !ctx_.empty() && high > low && replace_[lastB].empty() && !skip_[lastB] &&
          (exprType(i + 1, low).code == kNumber || exprType(low + 1, high).code == kNumber)) {
        replace_[lastB] = "ora_num(" + emit(lastB, lastE) + ")";
        for (size_t m = lastB + 1; m < lastE; ++m) skip_[m] = 1;
      }
    }
    if (k.kind == Token::Ident && k.text == "BETWEEN" && (i == lastE || (i == lastE + 1 && is(t_[lastE], "NOT"))) &&
        lastE > lastB && chainAt(i + 1, e, terms, ops))
      sjisOperand(lastB, lastE, i + 1, terms.back().second);
    if (k.kind == Token::Ident && k.text == "BETWEEN" && i == lastE) {
      int code = exprType(lastB, lastE).code;
      for (size_t m = i + 1; m < e && m < i + 4 && (code == kDate || code == kNumber); ++m)
        if (t_[m].kind == Token::Str && !(m + 1 < e && t_[m + 1].kind == Token::Op && !is(t_[m + 1], ")") && !is(t_[m + 1], ",")) &&
            (is(t_[m - 1], "BETWEEN") || is(t_[m - 1], "AND"))) {
          if (code == kDate) replace_[m] = dateText(m);
          else numberLiteral(m);
        }
    }
    if (k.kind == Token::Ident && k.text == "CASE" && !is(at(i + 1), "WHEN")) charCaseLiterals(i);
    if (k.kind == Token::Ident && k.text == "BETWEEN" && i == lastE)
      if (int size = plainCharColumn(lastB, lastE))
        for (size_t m = i + 1; m < e && m < i + 4; ++m)
          if (t_[m].kind == Token::Str && replace_[m].empty() &&
              !(m + 1 < e && t_[m + 1].kind == Token::Op && !is(t_[m + 1], ")") && !is(t_[m + 1], ",")))
            charPadLiteral(m, size);
    if (k.kind == Token::Ident && k.text == "BETWEEN" && lastE > lastB && (i == lastE || (i == lastE + 1 && is(t_[lastE], "NOT"))))
      linguisticOperand(lastB, lastE);
    if (k.kind == Token::Ident && k.text == "BETWEEN" && lastE > lastB && (i == lastE || (i == lastE + 1 && is(t_[lastE], "NOT"))))
      if (size_t end = exactBetween(lastB, lastE, i, e)) {
        i = end;
        continue;
      }
    if (!chainAt(i, e, terms, ops)) { ++i; continue; }
    size_t chainEnd = terms.back().second;
    // A CASE's branches are rewritten first: their operators belong to them, not to the chain
    // the CASE is a term of.
    bool cased = false;
    for (size_t m = i; m < chainEnd; ++m) {
      if (t_[m].depth != k.depth || skip_[m] || !replace_[m].empty() || !is(t_[m], "CASE")) continue;
      size_t end = m;
      for (int nest = 0; end < chainEnd; ++end) {
        if (t_[end].depth != k.depth) continue;
        if (is(t_[end], "CASE")) ++nest;
        if (is(t_[end], "END") && --nest == 0) break;
      }
      if (end >= chainEnd) break;
      rewriteChains(m + 1, end);
      cased = true;
      m = end;
    }
    if (cased) {
      if (!chainAt(i, e, terms, ops)) { ++i; continue; }
      chainEnd = terms.back().second;
    }
    if (std::string call; !ops.empty()) {
      ColType it;
      if (intervalChain(terms, ops, call, it)) {
        replace_[i] = call;
        for (size_t m = i + 1; m < chainEnd; ++m) skip_[m] = 1;
        lastB = i;
        rewritten_[i] = {chainEnd, it.code};
        lastE = chainEnd;
        i = chainEnd;
        continue;
      }
    }
    // NUMBER arithmetic is exact decimal, done by our functions rather than SQLite's operators.
    bool rewrite = !ops.empty();
    for (auto [tb, te] : terms)
      rewrite = rewrite || productAt(tb, te);
    std::vector<ColType> types, written; // written: before a TIMESTAMP is taken as a DATE
    bool stamped = false;
    if (!ops.empty())
      for (auto [tb, te] : terms) {
        types.push_back(exprType(tb, te));
        written.push_back(types.back());
        // a TIMESTAMP in arithmetic is taken as a DATE: plus or minus days gives a DATE; the
        // difference of one and a DATE or TIMESTAMP is an INTERVAL DAY TO SECOND, which we lack
        bool stamp = isTimestamp(types.back().code);
        if (stamp) types.back() = ColType{}, types.back().code = kDate;
        if (size_t n = types.size(); n > 1 && ops[n - 2] == "-" && types[n - 2].code == kDate && types[n - 1].code == kDate &&
                                     (stamp || stamped))
          throw OraError(30081, "the difference of TIMESTAMP values is not supported").at(static_cast<int>(t_[tb].pos));
        stamped = stamp;
        if (types.back().code == kDate) rewrite = true;
      }
    if (!rewrite && ops.empty() && (is(k, "-") || is(k, "+")) && k.kind == Token::Op) {
      // a sign before text makes it a number (ORA-01722 when it is none); SQLite's gives 0
      size_t body = i;
      int minus = 0;
      while (body < chainEnd && t_[body].kind == Token::Op && (is(t_[body], "-") || is(t_[body], "+")))
        minus += is(t_[body++], "-");
      ColType operandType = body < chainEnd ? exprType(body, chainEnd) : ColType{};
      int code = operandType.code;
      if (isInterval(code)) {
        // a sign before an interval: its negation, or the interval itself
        replace_[i] = std::string(minus % 2 ? "ora_iv_neg(" : "(") + factors(body, chainEnd) + ")";
        for (size_t m = i + 1; m < chainEnd; ++m) skip_[m] = 1;
        lastB = i;
        lastE = chainEnd;
        rewritten_[i] = {chainEnd, code};
        i = chainEnd;
        continue;
      }
      // a long literal keeps its digits with its sign
      bool longLiteral = body + 1 == chainEnd && t_[body].kind == Token::Num && significantDigits(t_[body].text) > 15;
      // minus a computed number (-AVG(SAL), -(1/3)) negates it exactly; SQLite's would read a double
      bool computed = minus % 2 && code == kNumber && !operandType.binary && chainEnd > body + 1 && is(at(chainEnd - 1), ")") &&
                      !is(at(body + 1), ".");
      if (code == kVarchar2 || code == kChar || code == kLong || longLiteral || computed) {
        replace_[i] = std::string(minus % 2 ? "ora_neg" : "ora_add") + (longLiteral ? "_x(" : "(") +
                      factors(body, chainEnd) + ")";
        for (size_t m = i + 1; m < chainEnd; ++m) skip_[m] = 1;
        lastB = i;
        lastE = chainEnd;
        i = chainEnd;
        continue;
      }
    }
    if (!rewrite) {
      // look inside parentheses of the chain for chains of their own
      for (size_t m = i; m < chainEnd; ++m)
        if (is(t_[m], "(") && t_[m].depth == k.depth && !outerMark(m)) {
          size_t close = matching(m);
          if (!is(at(m + 1), "SELECT")) rewriteChains(m + 1, close);
          m = close;
        }
      lastB = i;
      lastE = chainEnd;
      i = chainEnd;
      continue;
    }
    // INTERVAL '1' YEAR + HIREDATE: the interval is added to the date after it
    int64_t leadMonths = 0;
    bool monthsFirst = ops.size() >= 1 && ops[0] == "+" && types[1].code == kDate &&
                       monthInterval(terms[0].first, terms[0].second, leadMonths);
    // a BINARY_FLOAT or BINARY_DOUBLE operand makes the whole chain IEEE arithmetic
    struct RestoreFp {
      int& kind;
      int was;
      ~RestoreFp() { kind = was; }
    } restoreFp{fpChain_, fpChain_};
    fpChain_ = 0;
    if (ColType whole = exprType(i, chainEnd); whole.code == kNumber) fpChain_ = whole.binary;
    if (fpChain_) fpRewritten_[i] = fpChain_;
    std::string acc = monthsFirst ? std::string() : factors(terms[0].first, terms[0].second);
    // the whole chain as one number
    auto asNumber = [&](std::string call, int code = kNumber) {
      replace_[i] = chainCall(i, chainEnd, std::move(call));
      for (size_t m = i + 1; m < chainEnd; ++m) skip_[m] = 1;
      lastB = i;
      rewritten_[i] = {chainEnd, code};
      lastE = chainEnd;
      i = chainEnd;
    };
    if (ops.empty()) {
      // an interval scaled by numbers stays an interval
      ColType it;
      asNumber(std::move(acc), intervalType(terms[0].first, terms[0].second, it) ? it.code : kNumber);
      continue;
    }
    ColType accType = types[0];
    // A run of || is one ora_concat call, not a nest of them: SQLite's parser has little room
    // for nesting.
    std::vector<std::string> run;
    // SQL's text is at most 4000 bytes: a longer join is an error, unless a LOB or LONG takes part
    // (PL/SQL's values, computed as queries, go to 32767)
    auto closeRun = [&] { joinRun(run, acc, types); };
    bool sums = std::all_of(ops.begin(), ops.end(), [](const std::string& o) { return o == "+" || o == "-"; }) &&
                std::none_of(types.begin(), types.end(), [](const ColType& t) { return t.code == kDate; });
    if (sums) {
      // one flat sum however many terms it has: SQLite's parser takes no deep nesting
      asNumber(sumCall(std::move(acc), terms, ops));
      continue;
    }
    for (size_t n = 0; n < ops.size(); ++n) {
      int64_t months = 0;
      if (accType.code == kDate && (ops[n] == "+" || ops[n] == "-") &&
          monthInterval(terms[n + 1].first, terms[n + 1].second, months)) {
        acc = monthsAdded(acc, ops[n] == "-" ? -months : months);
        continue;
      }
      if (n == 0 && monthsFirst) {
        acc = monthsAdded(factors(terms[1].first, terms[1].second), leadMonths);
        accType = types[1];
        continue;
      }
      std::string text = factors(terms[n + 1].first, terms[n + 1].second);
      const ColType& t = types[n + 1];
      ColType r;
      r.code = kNumber;
      if (ops[n] == "||") {
        // a DATE joins text in the session's date format
        // a TIMESTAMP in the session's timestamp format
        auto asText = [](const std::string& v, const ColType& w) {
          return isTimestamp(w.code) ? "ora_ts_char(" + v + ", " + std::to_string(w.scale) + ", " +
                                           (w.code == kTimestampTz ? "1" : "0") + ")"
                 : w.code == kDate    ? "TO_CHAR(" + v + ")"
                 : w.code == kBoolean ? "ora_bool_text(" + v + ")" // TRUE or FALSE, as TO_CHAR writes it
                 : w.code == kNumber && w.binary ? "ora_fp_char(" + std::to_string(w.binary) + ", " + v + ")"
                                      : v;
        };
        if (run.empty()) run.push_back(n == 0 ? asText(acc, written[0]) : accType.code == kDate ? "TO_CHAR(" + acc + ")" : acc);
        run.push_back(asText(text, written[n + 1]));
        if (run.size() >= 100) closeRun();
        r.code = kVarchar2;
        accType = r;
        continue;
      }
      closeRun();
      if (accType.code == kDate && t.code == kDate) {
        if (ops[n] == "+") throw OraError(975);
        acc = "ora_date_diff(" + acc + ", " + text + ")";
      } else if (accType.code == kDate) {
        // text is read as a number before it is negated: SQLite's own minus takes any digits it starts with
        if (ops[n] == "-" && (t.code == kVarchar2 || t.code == kChar || t.code == kLong))
          text = "TO_NUMBER(" + text + ")";
        acc = "ora_date_add(" + acc + ", " + (ops[n] == "-" ? "-(" + text + ")" : text) + ")";
        r.code = kDate;
      } else if (t.code == kDate) {
        if (ops[n] == "-") throw OraError(932, "expected NUMBER got DATE");
        acc = "ora_date_add(" + text + ", " + acc + ")";
        r.code = kDate;
      } else {
        acc = exactPair(ops[n] == "+" ? "ora_add" : "ora_sub", acc, text);
      }
      accType = r;
    }
    closeRun();
    replace_[i] = accType.code == kNumber ? chainCall(i, chainEnd, std::move(acc)) : acc;
    for (size_t m = i + 1; m < chainEnd; ++m) skip_[m] = 1;
    lastB = i;
    rewritten_[i] = {chainEnd, accType.code};
    lastE = chainEnd;
    i = chainEnd;
  }
}

// The calls a chain of arithmetic is made of. Kept out of line: the chain rewriter recurses as
// deep as expressions nest, so its frame stays small.
std::string Translator::exactPair(const char* f, const std::string& a, const std::string& b) {
  if (fpChain_) return fpPair(f, a, b);
  return std::string(f) + "(" + exactCall(a) + ", " + exactCall(b) + ")";
}

std::string Translator::monthsAdded(const std::string& date, int64_t months) {
  return "ora_date_add_ym(" + date + ", " + std::to_string(months) + ")";
}

std::string Translator::sumCall(std::string first, const std::vector<std::pair<size_t, size_t>>& terms,
                                const std::vector<std::string>& ops) {
  if (fpChain_) {
    for (size_t n = 0; n < ops.size(); ++n)
      first = fpPair(ops[n] == "-" ? "ora_sub" : "ora_add", first, factors(terms[n + 1].first, terms[n + 1].second));
    return first;
  }
  std::vector<std::string> parts{exactCall(std::move(first))};
  for (size_t n = 0; n < ops.size(); ++n) {
    std::string text = exactCall(factors(terms[n + 1].first, terms[n + 1].second));
    parts.push_back(ops[n] == "-" ? "ora_neg_x(" + text + ")" : text);
  }
  return groupedCall("ora_add", parts);
}

std::string Translator::chainCall(size_t b, size_t e, std::string call) const {
  if (exactArgument(b, e)) return exactCall(std::move(call));
  if (int passed = passedOut(b, e); passed && (exactTopUsed_ = true))
    return passed == 2 ? "CAST(" + exactCall(std::move(call)) + " AS TEXT) COLLATE ORA_NUMBER" : exactCall(std::move(call));
  bool sortKey = false;
  if (!exactKey(b, e, &sortKey)) return call;
  return sortKey ? "CAST(" + exactCall(std::move(call)) + " AS TEXT) COLLATE ORA_NUMBER" : exactCall(std::move(call));
}

// Whether [b, e) is the whole number argument of a function of ours that reads decimal text
// exactly: TO_CHAR(1/3) shows all of Oracle's digits.
bool Translator::exactArgument(size_t b, size_t e) const {
  static const std::set<std::string> readers = {"TO_CHAR", "ROUND", "TRUNC", "MOD",  "ABS",           "CEIL",
                                                "FLOOR",   "POWER", "SQRT",  "SUM", "AVG", "RATIO_TO_REPORT"};
  if (b < 2 || !is(t_[b - 1], "(") || t_[b - 2].kind != Token::Ident || !readers.count(t_[b - 2].text)) return false;
  if (e >= size()) return false;
  return (is(t_[e], ")") && t_[e].depth == t_[b - 1].depth) || (is(t_[e], ",") && t_[e].depth == t_[b - 1].depth + 1);
}

// Whether a term [b, e) multiplies or divides at its own level.
bool Translator::productAt(size_t b, size_t e) const {
  if (b >= e) return false;
  int d = t_[b].depth;
  for (size_t k = b; k < e; ++k)
    if (t_[k].depth == d && !skip_[k] && replace_[k].empty() && (is(t_[k], "*") || is(t_[k], "/")) && k > b &&
        !is(t_[k - 1], "."))
      return true;
  return false;
}

// A term as nested exact products and quotients of its factors.
std::string Translator::factors(size_t b, size_t e) {
  if (!productAt(b, e)) return emit(b, e);
  if (std::string call; intervalProduct(b, e, call)) return call;
  int d = t_[b].depth;
  std::string acc;
  size_t fb = b;
  std::string op;
  for (size_t k = b + 1; k <= e; ++k) {
    bool cut = k == e || (t_[k].depth == d && !skip_[k] && replace_[k].empty() && (is(t_[k], "*") || is(t_[k], "/")) &&
                          !is(t_[k - 1], "."));
    if (!cut) continue;
    if (exprType(fb, k).code == kDate) {
      namesKnown(b, e);
      throw OraError(932, "expected NUMBER got DATE").at(t_[fb].pos);
    }
    std::string f = emit(fb, k);
    acc = op.empty() ? f : exactPair(op == "*" ? "ora_mul" : "ora_div", acc, f);
    if (k < e) op = t_[k].text;
    fb = k + 1;
  }
  return acc;
}

std::string Translator::dateText(size_t strTok) {
  pin_[strTok] = 1;
  return "ora_conv(" + quoteString(t_[strTok].text) + ", " + std::to_string(kDate) + ", 0, 0, 0, 0, 'date')";
}

// One side a DATE, the other a lone text literal: the literal is read as a date.
// The implicit conversions of a comparison, as Oracle makes them: text beside a DATE is read as a
// date, text beside a NUMBER as a number (ORA-01722 when it is none), and two text literals
// compare blank-padded.
void Translator::dateLiteral(size_t lb, size_t le, size_t rb, size_t re) {
  if (le <= lb || re <= rb) return;
  exactBesideWide(lb, le, rb, re);
  exactBesideWide(rb, re, lb, le);
  bool lStr = le == lb + 1 && t_[lb].kind == Token::Str, rStr = re == rb + 1 && t_[rb].kind == Token::Str;
  if (!replace_[lb].empty() || !replace_[rb].empty() || skip_[lb] || skip_[rb]) return;
  // rows, (a, b) = (x, y) or (SELECT x, y ...), compare value by value as they are
  if (rowAt(lb, le) || rowAt(rb, re)) return;
  if (lStr && rStr) {
    trimLiteral(lb);
    trimLiteral(rb);
    return;
  }
  if (charPadded(lb, le, rb, re, lStr, rStr)) return;
  ColType lt = exprType(lb, le), rt = exprType(rb, re);
  // a date is never compared with a number
  if ((lt.code == kDate && rt.code == kNumber) || (lt.code == kNumber && rt.code == kDate)) {
    namesKnown(lb, le);
    namesKnown(rb, re);
    throw OraError(932, lt.code == kDate ? "expected DATE got NUMBER" : "expected NUMBER got DATE")
        .at(static_cast<int>(t_[rb].pos));
  }
  if ((isTimestamp(lt.code) && rt.code == kNumber) || (lt.code == kNumber && isTimestamp(rt.code))) {
    namesKnown(lb, le);
    namesKnown(rb, re);
    throw OraError(932, lt.code == kNumber ? "expected NUMBER got TIMESTAMP" : "expected TIMESTAMP got NUMBER")
        .at(static_cast<int>(t_[rb].pos));
  }
  if (lt.code == kNumber && rt.code == kNumber && !ctx_.empty()) {
    wideAsNumber(lb, le, "ora_num");
    wideAsNumber(rb, re, "ora_num");
    return;
  }
  auto text = [](const ColType& t) { return t.code == kVarchar2 || t.code == kChar || t.code == kLong; };
  auto convert = [&](size_t b, size_t e, bool str, const ColType& other) {
    if (other.code == kBoolean) {
      // text or a number beside a BOOLEAN is read as one ('yes', 0), ORA-61800 when it is none
      if (str) pin_[b] = 1;
      replace_[b] = "TO_BOOLEAN(" + emit(b, e) + ")";
      for (size_t m = b + 1; m < e; ++m) skip_[m] = 1;
    } else if (isInterval(other.code)) {
      // text beside an interval is read as one of its kind
      if (str) pin_[b] = 1;
      replace_[b] = "ora_conv(" + emit(b, e) + ", " + std::to_string(other.code) + ", 0, 9, 9, 1, 'CAST')";
      for (size_t m = b + 1; m < e; ++m) skip_[m] = 1;
    } else if (isTimestamp(other.code)) {
      // text beside a TIMESTAMP is read as one, to its nine digits
      if (str) pin_[b] = 1;
      replace_[b] = "ora_conv(" + emit(b, e) + ", " + std::to_string(kTimestamp) + ", 0, 0, 9, 0, 'date')";
      for (size_t m = b + 1; m < e; ++m) skip_[m] = 1;
    } else if (other.code == kDate) {
      if (str) {
        replace_[b] = dateText(b);
      } else {
        replace_[b] = "ora_conv(" + emit(b, e) + ", " + std::to_string(kDate) + ", 0, 0, 0, 0, 'date')";
        for (size_t m = b + 1; m < e; ++m) skip_[m] = 1;
      }
    } else if (other.code == kNumber && str) {
      numberLiteral(b);
    } else if (other.code == kNumber && !ctx_.empty()) {
      // text beside a number becomes a number, as Oracle converts it (ORA-01722 if it is none);
      // not outside a query (a CHECK condition), where names are not resolved
      replace_[b] = "ora_num(" + emit(b, e) + ")";
      for (size_t m = b + 1; m < e; ++m) skip_[m] = 1;
    }
  };
  if (isInterval(lt.code) != isInterval(rt.code) && !text(lt) && !text(rt) && lt.code && rt.code) {
    // an interval compares only with an interval
    throw OraError(932, std::string("expected ") + typeWordFor(lt.code) + " got " + typeWordFor(rt.code))
        .at(static_cast<int>(t_[rb].pos));
  }
  if (isInterval(lt.code) && isInterval(rt.code) && lt.code != rt.code)
    throw OraError(932, std::string("expected ") + typeWordFor(lt.code) + " got " + typeWordFor(rt.code))
        .at(static_cast<int>(t_[rb].pos));
  if (lt.code == kBoolean && (text(rt) || rt.code == kNumber)) convert(rb, re, rStr, lt);
  else if (rt.code == kBoolean && (text(lt) || lt.code == kNumber)) convert(lb, le, lStr, rt);
  else if (text(rt) && (lt.code == kDate || isTimestamp(lt.code) || isInterval(lt.code) || lt.code == kNumber)) convert(rb, re, rStr, lt);
  else if (text(lt) && (rt.code == kDate || isTimestamp(rt.code) || isInterval(rt.code) || rt.code == kNumber)) convert(lb, le, lStr, rt);
}

// Computed text ordered against text in a JA16SJIS database: the left operand takes the set's
// order, as a column of the set would give it (a column on either side gives it already).
void Translator::sjisOperand(size_t lb, size_t le, size_t rb, size_t re) {
  if (charset() != Charset::JA16SJIS || le <= lb || re <= rb || ctx_.empty()) return;
  auto column = [&](size_t b, size_t e) {
    if ((e - b) % 2 == 0) return false;
    for (size_t m = b; m < e; ++m)
      if ((m - b) % 2 ? !is(t_[m], ".") : !(t_[m].kind == Token::Ident || t_[m].kind == Token::QIdent)) return false;
    return true;
  };
  if (column(lb, le) || column(rb, re) || skip_[lb]) return;
  try {
    int lc = exprType(lb, le).code, rc = exprType(rb, re).code;
    if ((lc != kVarchar2 && lc != kChar) || (rc != kVarchar2 && rc != kChar)) return;
  } catch (const OraError&) {
    return;
  }
  replace_[lb] = "(" + emit(lb, le) + ") COLLATE ORA_SJIS";
  for (size_t m = lb + 1; m < le; ++m) skip_[m] = 1;
}

} // namespace ora::tx
