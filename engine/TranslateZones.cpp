// value AT TIME ZONE zone and value AT LOCAL: the same instant shown in another zone.
#include "TranslateImpl.h"

namespace ora::tx {

// The end of the primary at i: a parenthesis, a call, a literal, a (qualified) name.
size_t Translator::primaryEnd(size_t i) const {
  if (i >= size()) return i;
  const Token& k = t_[i];
  if (is(k, "(")) return matching(i) + 1;
  if ((is(k, "TIMESTAMP") || is(k, "DATE")) && at(i + 1).kind == Token::Str) return i + 2;
  if (k.kind == Token::Ident && keywordAt(t_, i) && !is(k, "SYSTIMESTAMP") && !is(k, "CURRENT_TIMESTAMP") &&
      !is(k, "LOCALTIMESTAMP"))
    return i; // SELECT, WHERE, ...: no value starts here
  if (k.kind == Token::Ident || k.kind == Token::QIdent) {
    size_t j = i + 1;
    while (is(at(j), ".") && (at(j + 1).kind == Token::Ident || at(j + 1).kind == Token::QIdent)) j += 2;
    if (is(at(j), "(")) return matching(j) + 1;
    return j;
  }
  return i + 1;
}

// Where the value at i with its AT clauses ends; i itself when it has none.
size_t Translator::zoneShiftEnd(size_t i, size_t e) const {
  if (hasAt_ == 0) return i;
  size_t pe = primaryEnd(i), end = i;
  while (pe < e && is(at(pe), "AT")) {
    if (is(at(pe + 1), "LOCAL")) pe = end = pe + 2;
    else if (is(at(pe + 1), "TIME") && is(at(pe + 2), "ZONE")) pe = end = primaryEnd(pe + 3);
    else break;
  }
  return end > e ? i : end;
}

namespace {
bool anyAt(const std::vector<Token>& t, int& known) {
  if (known < 0) {
    known = 0;
    for (const Token& k : t)
      if (is(k, "AT")) known = 1;
  }
  return known == 1;
}
} // namespace

bool Translator::zoneShift(size_t i, size_t e, std::string& out, size_t& next) {
  anyAt(t_, hasAt_);
  if (hasAt_ == 0 || skip_[i] || !replace_[i].empty()) return false;
  size_t end = zoneShiftEnd(i, e);
  if (end == i) return false;
  size_t pe = primaryEnd(i);
  out = emit(i, pe);
  while (pe < end) {
    if (is(at(pe + 1), "LOCAL")) {
      out = "ora_tz_at(" + out + ", NULL)";
      pe += 2;
    } else {
      size_t ze = primaryEnd(pe + 3);
      out = "ora_tz_at(" + out + ", " + emit(pe + 3, ze) + ")";
      pe = ze;
    }
  }
  out = "(" + out + " COLLATE ORA_TSTZ)";
  next = end;
  return true;
}

bool Translator::zoneShiftType(size_t b, size_t e, ColType& t) {
  if (!anyAt(t_, hasAt_) || e == b || zoneShiftEnd(b, e) != e) return false;
  ColType v = exprType(b, primaryEnd(b));
  t = ColType{};
  t.code = kTimestampTz;
  t.scale = isTimestamp(v.code) ? v.scale : 6;
  return true;
}

} // namespace ora::tx
