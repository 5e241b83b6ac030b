// Number format models: TO_CHAR and TO_NUMBER with a model.
#include "FunctionUtil.h"
#include "CType.h"
#include "OraError.h"
#include "OraValues.h"

#include <cctype>
#include <cmath>
#include <cstdio>

namespace ora::fn {

namespace {

// The ISO currency of a territory an NLS_ISO_CURRENCY parameter names.
std::string isoCurrencyOf(const std::string& territory) {
  static const std::pair<const char*, const char*> known[] = {
      {"AMERICA", "USD"},     {"JAPAN", "JPY"},   {"UNITED KINGDOM", "GBP"}, {"CANADA", "CAD"},
      {"AUSTRALIA", "AUD"},   {"CHINA", "CNY"},   {"KOREA", "KRW"},          {"SWITZERLAND", "CHF"},
      {"GERMANY", "EUR"},     {"FRANCE", "EUR"},  {"ITALY", "EUR"},          {"SPAIN", "EUR"},
      {"NETHERLANDS", "EUR"}, {"AUSTRIA", "EUR"}, {"BELGIUM", "EUR"},        {"FINLAND", "EUR"}};
  for (auto [t, c] : known)
    if (territory == t) return c;
  throw OraError(12702);
}

// L gives the local currency, U the dual one (the local one unless set apart), C the ISO one.
std::string currencyText(const std::string& marker, const NumNls& nls) {
  if (marker.empty()) return marker;
  if (marker == "U" && !nls.dual.empty()) return nls.dual;
  return marker == "C" ? nls.iso : nls.currency;
}

} // namespace

// NLS_NUMERIC_CHARACTERS = ',.' NLS_CURRENCY = 'AusDollars': settings one after the
// other, each value quoted or a single word.
NumNls numberNlsParam(std::string_view p, NumNls base) {
  NumNls out = std::move(base);
  size_t i = 0, n = p.size();
  auto blanks = [&] { while (i < n && ora::spaceC(static_cast<unsigned char>(p[i]))) ++i; };
  for (blanks(); i < n; blanks()) {
    std::string name;
    while (i < n && (ora::alphaC(static_cast<unsigned char>(p[i])) || p[i] == '_'))
      name += static_cast<char>(ora::upperC(static_cast<unsigned char>(p[i++])));
    blanks();
    if (name.empty() || i >= n || p[i] != '=') throw OraError(12702);
    ++i;
    blanks();
    std::string value;
    if (i < n && p[i] == '\'') {
      for (++i;; ++i) {
        if (i >= n) throw OraError(12702);
        if (p[i] == '\'' && !(i + 1 < n && p[i + 1] == '\'')) break;
        if (p[i] == '\'') ++i;
        value += p[i];
      }
      ++i;
    } else {
      while (i < n && !ora::spaceC(static_cast<unsigned char>(p[i]))) value += p[i++];
    }
    if (name == "NLS_NUMERIC_CHARACTERS") {
      if (value.size() != 2 || value[0] == value[1] || ora::digitC(static_cast<unsigned char>(value[0])) ||
          ora::digitC(static_cast<unsigned char>(value[1])))
        throw OraError(12702);
      out.decimal = value.substr(0, 1);
      out.group = value.substr(1, 1);
    } else if (name == "NLS_CURRENCY" || name == "NLS_DUAL_CURRENCY") {
      (name == "NLS_CURRENCY" ? out.currency : out.dual) = value;
    } else if (name == "NLS_ISO_CURRENCY") {
      for (auto& c : value) c = static_cast<char>(ora::upperC(static_cast<unsigned char>(c)));
      out.iso = isoCurrencyOf(value);
    } else if (name != "NLS_DATE_LANGUAGE" && name != "NLS_SORT" && name != "NLS_CALENDAR") {
      throw OraError(12702);
    }
  }
  return out;
}

NumFmt parseNumberFormat(std::string_view f) {
  NumFmt m;
  size_t i = 0, n = f.size();
  auto up = [&](size_t k) { return k < n ? static_cast<char>(ora::upperC(static_cast<unsigned char>(f[k]))) : '\0'; };
  if (up(0) == 'F' && up(1) == 'M') { m.fm = true; i = 2; }
  if (up(i) == 'T' && up(i + 1) == 'M') {
    // TM, TM9: the shortest text; TME: scientific
    std::string rest;
    for (size_t k = i + 2; k < n; ++k) rest += up(k);
    if (rest.empty() || rest == "9") m.tm = 1;
    else if (rest == "E") m.tm = 2;
    else throw OraError(1481);
    return m;
  }
  {
    // X: hexadecimal, after leading zeros only
    size_t k = i;
    while (k < n && f[k] == '0') ++k;
    if (up(k) == 'X') {
      size_t x = k;
      while (x < n && up(x) == 'X') ++x;
      if (x != n) throw OraError(1481);
      m.hex = static_cast<int>(x - i);
      m.hexZero = k > i;
      m.hexLower = f[k] == 'x';
      return m;
    }
  }
  if (up(i) == 'R' && up(i + 1) == 'N' && i + 2 == n) {
    m.roman = f[i] == 'r' ? 2 : 1;
    return m;
  }
  // leading S, $, B, L and C, each once
  for (bool more = true; more && i < n;) {
    char c = up(i);
    more = false;
    if (c == 'S' && !m.signLead) m.signLead = more = true;
    else if (c == '$' && !m.dollar) m.dollar = more = true;
    else if (c == 'B' && !m.blank) m.blank = more = true;
    else if ((c == 'L' || c == 'C' || c == 'U') && m.currency.empty()) {
      m.currency = std::string(1, c);
      more = true;
    }
    if (more) ++i;
  }
  bool v = false;
  for (; i < n; ++i) {
    char c = up(i);
    if (c == '9' || c == '0') {
      if (v) { m.intPat += c; ++m.nInt; ++m.shift; }
      else if (m.point) { m.fracPat += c; ++m.nFrac; }
      else {
        if (c == '0' && m.firstZero < 0) m.firstZero = m.nInt;
        m.intPat += c;
        ++m.nInt;
      }
    } else if ((c == ',' || c == 'G') && !m.point && !v && m.nInt > 0) {
      m.intPat += c;
    } else if ((c == '.' || c == 'D') && !m.point && !v) {
      m.point = true;
      m.pointD = c == 'D';
    } else if (c == '$' && !m.dollar) {
      m.dollar = true;
    } else if (c == 'V' && !v && !m.point) {
      v = true;
    } else {
      break;
    }
  }
  if (up(i) == 'E' && up(i + 1) == 'E' && up(i + 2) == 'E' && up(i + 3) == 'E' && !v) {
    m.sci = true;
    i += 4;
  }
  if ((up(i) == 'L' || up(i) == 'C' || up(i) == 'U') && m.currency.empty()) {
    m.currency = std::string(1, up(i));
    m.currencyTrail = true;
    ++i;
  }
  if (i < n) {
    if (up(i) == 'S' && !m.signLead && i + 1 == n) m.signTrail = true;
    else if (up(i) == 'M' && up(i + 1) == 'I' && !m.signLead && i + 2 == n) m.mi = true;
    else if (up(i) == 'P' && up(i + 1) == 'R' && !m.signLead && i + 2 == n) m.pr = true;
    else throw OraError(1481);
  }
  if (m.nInt == 0 && m.nFrac == 0) throw OraError(1481);
  if (m.sci && (m.intPat.find_first_of(",G") != std::string::npos || m.nInt == 0)) throw OraError(1481);
  return m;
}

std::string romanNumeral(int v) {
  static const std::pair<int, const char*> parts[] = {{1000, "M"}, {900, "CM"}, {500, "D"}, {400, "CD"},
                                                      {100, "C"},  {90, "XC"},  {50, "L"},  {40, "XL"},
                                                      {10, "X"},   {9, "IX"},   {5, "V"},   {4, "IV"},
                                                      {1, "I"}};
  std::string out;
  for (auto [n, s] : parts)
    for (; v >= n; v -= n) out += s;
  return out;
}

namespace {

std::string formatHex(Decimal d, const NumFmt& m) {
  roundTo(d, 0);
  std::string overflow(m.hex + 1, '#');
  if (d.neg && !d.zero()) return overflow;
  if (d.point > 38) return overflow;
  unsigned __int128 v = 0;
  for (int k = 0; k < d.point; ++k)
    v = v * 10 + static_cast<unsigned>(k < static_cast<int>(d.digits.size()) ? d.digits[k] - '0' : 0);
  std::string h;
  const char* digits = m.hexLower ? "0123456789abcdef" : "0123456789ABCDEF";
  do {
    h.insert(h.begin(), digits[static_cast<int>(v % 16)]);
    v /= 16;
  } while (v);
  if (static_cast<int>(h.size()) > m.hex) return overflow;
  h.insert(0, m.hex - h.size(), m.hexZero ? '0' : ' ');
  if (m.fm) return h.substr(std::min(h.find_first_not_of(' '), h.size()));
  return " " + h;
}

} // namespace

std::string formatNumber(Decimal d, const NumFmt& m, const NumNls& nls) {
  if (m.hex) return formatHex(d, m);
  if (m.tm == 2) {
    if (d.zero()) return "0E+00";
    std::string t = d.neg ? "-" : "";
    t += d.digits[0];
    if (d.digits.size() > 1) t += "." + d.digits.substr(1);
    char buf[16];
    std::snprintf(buf, sizeof buf, "E%c%02d", d.point - 1 < 0 ? '-' : '+', std::abs(d.point - 1));
    return t + buf;
  }
  if (m.roman) {
    // whole numbers 1 to 3999, right-aligned in 15 places
    roundTo(d, 0);
    int64_t v = 0;
    if (d.neg || d.zero() || d.point > 4 || !scaledInt(d, 0, v) || v > 3999) return std::string(15, '#');
    std::string r = romanNumeral(static_cast<int>(v));
    if (m.roman == 2) r = caseAs(r, 2);
    return m.fm ? r : std::string(15 - r.size(), ' ') + r;
  }
  std::string exponent;
  if (m.sci && !d.zero()) {
    // a mantissa of one integer digit, the exponent in at least two digits
    int e = d.point - 1;
    d.point = 1;
    roundTo(d, m.nFrac);
    if (d.point > 1) { --d.point; ++e; }
    char buf[16];
    std::snprintf(buf, sizeof buf, "E%c%02d", e < 0 ? '-' : '+', std::abs(e));
    exponent = buf;
  } else if (m.sci) {
    exponent = "E+00";
  }
  // the exponent field holds three digits; a two-digit one leaves a blank in front
  int expPad = m.sci && exponent.size() == 4 ? 1 : 0;
  if (m.shift && !d.zero()) d.point += m.shift;
  roundTo(d, m.nFrac);
  int width = static_cast<int>(m.intPat.size()) + (m.point ? 1 : 0) + m.nFrac + (m.dollar ? 1 : 0) + 1 +
              static_cast<int>(exponent.size()) + (m.pr ? 1 : 0) + expPad;
  if (m.blank && d.zero()) return m.fm ? std::string() : std::string(width, ' ');
  // Integer and fraction digit strings.
  std::string intDigits, fracDigits;
  if (!d.zero()) {
    for (int k = 0; k < d.point; ++k)
      intDigits += k < static_cast<int>(d.digits.size()) ? d.digits[k] : '0';
    for (int k = 0; k < m.nFrac; ++k) {
      int idx = d.point + k;
      fracDigits += idx >= 0 && idx < static_cast<int>(d.digits.size()) ? d.digits[idx] : '0';
    }
  } else {
    fracDigits.assign(m.nFrac, '0');
  }
  if (static_cast<int>(intDigits.size()) > m.nInt) return std::string(width, '#');
  // Zero with no fraction slots still shows one digit.
  if (intDigits.empty() && (m.nFrac == 0 || m.sci)) intDigits = "0";
  if (static_cast<int>(intDigits.size()) > m.nInt) return std::string(width, '#');

  std::string body;
  int slot = 0;
  int firstDigit = m.nInt - static_cast<int>(intDigits.size());
  bool printed = false;
  for (char p : m.intPat) {
    if (p == ',' || p == 'G') {
      if (printed) body += p == 'G' ? nls.group : ",";
      else body += ' ';
      continue;
    }
    if (slot >= firstDigit) { body += intDigits[slot - firstDigit]; printed = true; }
    else if (m.firstZero >= 0 && slot >= m.firstZero && !m.blank) { body += '0'; printed = true; }
    else body += ' ';
    ++slot;
  }
  if (m.point) {
    std::string frac = fracDigits;
    if (m.fm && !m.sci) {
      // FM drops trailing zeros that sit in '9' positions.
      size_t k = frac.size();
      while (k > 0 && frac[k - 1] == '0' && m.fracPat[k - 1] == '9') --k;
      frac.resize(k);
    }
    body += m.pointD ? nls.decimal : ".";
    body += frac;
  }
  body += exponent;
  size_t lead = body.find_first_not_of(' ');
  if (lead == std::string::npos) lead = body.size();
  std::string prefix;
  if (m.signLead) prefix = d.neg ? "-" : "+";
  else if (m.pr) prefix = d.neg ? "<" : " ";
  else if (!m.signTrail && !m.mi) prefix = d.neg ? "-" : " ";
  if (m.dollar) prefix += '$';
  std::string currency = currencyText(m.currency, nls);
  if (!m.currencyTrail) prefix += currency;
  body.insert(lead, prefix);
  if (m.currencyTrail) body += currency;
  if (m.signTrail) body += d.neg ? '-' : '+';
  if (m.mi) body += d.neg ? '-' : ' ';
  if (m.pr) body += d.neg ? '>' : ' ';
  if (m.fm) {
    size_t b = body.find_first_not_of(' ');
    size_t e = body.find_last_not_of(' ');
    body = b == std::string::npos ? std::string() : body.substr(b, e - b + 1);
  } else if (expPad) {
    body.insert(0, 1, ' ');
  }
  return body;
}

// Text to number by a format model: group separators, currency and sign positions are
// taken out, and the digits must fit the model.
Decimal parseByNumberFormat(std::string_view s, const NumFmt& m, const NumNls& nls) {
  if (m.roman) throw OraError(1481);
  std::string t;
  bool neg = false;
  size_t b = 0, e = s.size();
  while (b < e && s[b] == ' ') ++b;
  while (e > b && s[e - 1] == ' ') --e;
  std::string_view v = s.substr(b, e - b);
  if (m.hex) {
    unsigned __int128 x = 0;
    if (v.empty() || static_cast<int>(v.size()) > m.hex) throw OraError(1722);
    for (char c : v) {
      if (!ora::xdigitC(static_cast<unsigned char>(c))) throw OraError(1722);
      int digit = ora::digitC(static_cast<unsigned char>(c)) ? c - '0' : ora::upperC(static_cast<unsigned char>(c)) - 'A' + 10;
      x = x * 16 + static_cast<unsigned>(digit);
    }
    std::string t;
    do {
      t.insert(t.begin(), static_cast<char>('0' + static_cast<int>(x % 10)));
      x /= 10;
    } while (x);
    Decimal d;
    parseDecimal(t, d);
    return d;
  }
  if (m.tm) {
    Decimal d;
    if (!parseDecimal(v, d)) throw OraError(1722);
    return d;
  }
  if (m.pr && v.size() >= 2 && v.front() == '<' && v.back() == '>') {
    neg = true;
    v = v.substr(1, v.size() - 2);
  } else if (m.mi || m.signTrail) {
    if (!v.empty() && (v.back() == '-' || v.back() == '+')) {
      neg = v.back() == '-';
      v.remove_suffix(1);
    }
  } else if (!v.empty() && (v.front() == '-' || v.front() == '+')) {
    neg = v.front() == '-';
    v.remove_prefix(1);
  }
  if (m.dollar) {
    if (v.empty() || v.front() != '$') throw OraError(1722);
    v.remove_prefix(1);
  }
  std::string currency = currencyText(m.currency, nls);
  if (!currency.empty()) {
    if (!m.currencyTrail && v.substr(0, currency.size()) == currency) v.remove_prefix(currency.size());
    else if (m.currencyTrail && v.size() >= currency.size() && v.substr(v.size() - currency.size()) == currency)
      v.remove_suffix(currency.size());
    else throw OraError(1722);
  }
  if (m.sci) {
    Decimal d;
    if (!parseDecimal(v, d)) throw OraError(1722);
    if (!d.zero()) d.neg = neg != d.neg;
    return d;
  }
  int intDigits = 0, fracDigits = 0;
  bool point = false;
  char group = m.intPat.find('G') != std::string::npos ? nls.group[0] : ',';
  char decimal = m.pointD ? nls.decimal[0] : '.';
  for (char c : v) {
    if (c == group && !point && m.intPat.find_first_of(",G") != std::string::npos) continue;
    if (c == decimal && !point && m.point) { point = true; t += '.'; continue; }
    if (!ora::digitC(static_cast<unsigned char>(c))) throw OraError(1722);
    (point ? fracDigits : intDigits)++;
    t += c;
  }
  if (intDigits > m.nInt || fracDigits > m.nFrac || intDigits + fracDigits == 0) throw OraError(1722);
  Decimal d;
  if (!parseDecimal(t, d)) throw OraError(1722);
  if (!d.zero()) {
    d.neg = neg;
    d.point -= m.shift;
  }
  return d;
}

} // namespace ora::fn
