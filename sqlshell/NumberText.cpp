#include "NumberText.h"

#include "CType.h"
#include "DisplayWidth.h"

#include <algorithm>
#include <cctype>

namespace {

TSessionSymbols Symbols;

// value = (Neg ? -1 : 1) * 0.Digits * 10^Exp; Digits without leading or trailing zeros, empty
// for zero. Exact, so rounding for display never goes through binary floating point.
struct TDecimal {
  bool Neg = false;
  std::string Digits;
  int Exp = 0;
  bool Zero() const { return Digits.empty(); }
};

void Normalize(TDecimal& d) {
  size_t lead = 0;
  while (lead < d.Digits.size() && d.Digits[lead] == '0')
    ++lead;
  d.Digits.erase(0, lead);
  d.Exp -= static_cast<int>(lead);
  while (!d.Digits.empty() && d.Digits.back() == '0')
    d.Digits.pop_back();
  if (d.Digits.empty()) {
    d.Exp = 0;
    d.Neg = false;
  }
}

bool Parse(const std::string& text, TDecimal& d) {
  size_t i = 0, n = text.size();
  while (i < n && text[i] == ' ')
    ++i;
  d = TDecimal();
  if (i < n && (text[i] == '-' || text[i] == '+'))
    d.Neg = text[i++] == '-';
  int point = -1;
  bool any = false;
  for (; i < n; ++i) {
    char c = text[i];
    if (ora::digitC(static_cast<unsigned char>(c))) {
      d.Digits += c;
      any = true;
    } else if (c == '.' && point < 0) {
      point = static_cast<int>(d.Digits.size());
    } else {
      break;
    }
  }
  if (!any)
    return false;
  long exp10 = 0;
  if (i < n && (text[i] == 'E' || text[i] == 'e')) {
    ++i;
    bool neg = false;
    if (i < n && (text[i] == '-' || text[i] == '+'))
      neg = text[i++] == '-';
    if (i >= n)
      return false;
    for (; i < n && ora::digitC(static_cast<unsigned char>(text[i])); ++i)
      exp10 = std::min(exp10 * 10 + (text[i] - '0'), 100000L);
    if (neg)
      exp10 = -exp10;
  }
  while (i < n && text[i] == ' ')
    ++i;
  if (i != n)
    return false;
  d.Exp = (point < 0 ? static_cast<int>(d.Digits.size()) : point) + static_cast<int>(exp10);
  Normalize(d);
  return true;
}

// Keeps the first `keep` digits, rounding half away from zero.
TDecimal RoundDigits(TDecimal d, int keep) {
  if (keep >= static_cast<int>(d.Digits.size()))
    return d;
  if (keep < 0) {
    d.Digits.clear();
    Normalize(d);
    return d;
  }
  bool up = d.Digits[static_cast<size_t>(keep)] >= '5';
  d.Digits.resize(static_cast<size_t>(keep));
  if (up) {
    int i = keep - 1;
    while (i >= 0 && d.Digits[static_cast<size_t>(i)] == '9')
      d.Digits[static_cast<size_t>(i--)] = '0';
    if (i < 0) {
      d.Digits.insert(d.Digits.begin(), '1');
      ++d.Exp;
    } else {
      ++d.Digits[static_cast<size_t>(i)];
    }
  }
  Normalize(d);
  return d;
}

TDecimal RoundDecimals(const TDecimal& d, int decimals) { return RoundDigits(d, d.Exp + decimals); }

std::string IntegerPart(const TDecimal& d) {
  if (d.Exp <= 0)
    return {};
  std::string s = d.Digits.substr(0, static_cast<size_t>(d.Exp));
  s.resize(static_cast<size_t>(d.Exp), '0');
  return s;
}

std::string FractionPart(const TDecimal& d, int decimals) {
  std::string s;
  for (int k = 0; k < decimals; ++k) {
    long idx = static_cast<long>(d.Exp) + k;
    s += idx >= 0 && idx < static_cast<long>(d.Digits.size()) ? d.Digits[static_cast<size_t>(idx)]
                                                              : '0';
  }
  return s;
}

// Oracle's own text of a number: no leading zero before the point, no trailing zeros.
std::string Plain(const TDecimal& d) {
  if (d.Zero())
    return "0";
  std::string s = d.Neg ? "-" : "";
  int frac = std::max(0, static_cast<int>(d.Digits.size()) - d.Exp);
  s += IntegerPart(d);
  if (frac > 0)
    s.append(".").append(FractionPart(d, frac));
  return s;
}

std::string Scientific(const TDecimal& d, int width) {
  const int sign = d.Neg ? 1 : 0;
  for (int expDigits = 2; expDigits <= 6; ++expDigits) {
    int frac = width - sign - 1 - 1 - 2 - expDigits; // "d" "." "E+" exponent
    if (frac < 0)
      frac = width - sign - 1 - 2 - expDigits >= 0 ? 0 : -1;
    if (frac < 0)
      return std::string(static_cast<size_t>(std::max(width, 1)), '#');
    TDecimal r = RoundDigits(d, frac + 1);
    int e = r.Exp - 1;
    std::string ex = std::to_string(e < 0 ? -e : e);
    if (static_cast<int>(ex.size()) > expDigits)
      continue;
    ex.insert(0, static_cast<size_t>(expDigits) - ex.size(), '0');
    std::string m = r.Digits;
    m.resize(static_cast<size_t>(frac + 1), '0');
    std::string s = sign ? "-" : "";
    s += m[0];
    if (frac > 0)
      s.append(".").append(m, 1);
    return s + "E" + (e < 0 ? "-" : "+") + ex;
  }
  return std::string(static_cast<size_t>(std::max(width, 1)), '#');
}

struct TModel {
  std::string Body; // 9 0 , . only
  bool Blank = false, SignLead = false, SignTrail = false, Minus = false;
  bool Nls = false;         // D and G: the session's decimal character and group separator
  char Currency = 0;        // '$', or L, C, U: the session's local, ISO or dual currency
  bool CurrencyEnd = false; // L, C or U after the digits
  std::string Symbol() const {
    return Currency == 'L'   ? Symbols.Local
           : Currency == 'C' ? Symbols.Iso
           : Currency == 'U' ? Symbols.Dual
           : Currency        ? std::string("$")
                             : std::string();
  }
  bool Sci = false;   // EEEE: scientific notation
  bool Angle = false; // PR: a negative value in <>
  int Shift = 0;      // digits after V: the value is multiplied by 10 to that power
  int Roman = 0;      // RN: 1 upper case, 2 lower case
  int Hex = 0;        // X: the number of hexadecimal places
};

bool ParseModel(const std::string& text, TModel& m) {
  std::string s;
  for (char c : text)
    s += static_cast<char>(ora::upperC(static_cast<unsigned char>(c)));
  if (s == "RN") {
    m.Roman = text == "rn" ? 2 : 1;
    return true;
  }
  if (!s.empty() && s.find_first_not_of('X') == std::string::npos) {
    m.Hex = static_cast<int>(s.size());
    return true;
  }
  size_t i = 0;
  if (s.compare(0, 1, "S") == 0) {
    m.SignLead = true;
    ++i;
  }
  bool point = false, digit = false, shifted = false;
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (c == '9' || c == '0') {
      if (shifted)
        ++m.Shift;
      m.Body += c;
      digit = true;
    } else if (c == ',' || c == 'G') {
      if (point || !digit || shifted)
        return false;
      m.Body += ',';
      m.Nls = m.Nls || c == 'G';
    } else if (c == '.' || c == 'D') {
      if (point || shifted)
        return false;
      point = true;
      m.Body += '.';
      m.Nls = m.Nls || c == 'D';
    } else if (c == 'V' && !point && !shifted) {
      shifted = true;
    } else if ((c == '$' || ((c == 'L' || c == 'C' || c == 'U') && !digit)) && !m.Currency) {
      m.Currency = c;
    } else if (c == 'B' && !m.Blank) {
      m.Blank = true;
    } else {
      break;
    }
  }
  std::string rest = s.substr(i);
  if (!rest.empty() && (rest[0] == 'L' || rest[0] == 'C' || rest[0] == 'U') && !m.Currency &&
      digit) {
    m.Currency = rest[0];
    m.CurrencyEnd = true;
    rest.erase(0, 1);
  }
  if (rest.compare(0, 4, "EEEE") == 0 && !shifted && m.Body.find(',') == std::string::npos) {
    m.Sci = true;
    rest.erase(0, 4);
  }
  if (rest == "MI")
    m.Minus = true;
  else if (rest == "S" && !m.SignLead)
    m.SignTrail = true;
  else if (rest == "PR" && !m.SignLead)
    m.Angle = true;
  else if (!rest.empty())
    return false;
  return m.Body.find_first_of("90") != std::string::npos;
}

std::string RomanNumeral(int v) {
  static const char* const sym[] = {"M",  "CM", "D",  "CD", "C",  "XC", "L",
                                    "XL", "X",  "IX", "V",  "IV", "I"};
  static const int val[] = {1000, 900, 500, 400, 100, 90, 50, 40, 10, 9, 5, 4, 1};
  std::string r;
  for (int k = 0; k < 13; ++k)
    for (; v >= val[k]; v -= val[k])
      r += sym[k];
  return r;
}

} // namespace

std::string NumberInWidth(const std::string& value, int width) {
  TDecimal d;
  if (!Parse(value, d))
    return value;
  std::string exact = Plain(d);
  if (static_cast<int>(exact.size()) <= width)
    return exact;
  const int sign = d.Neg ? 1 : 0;
  const int intDigits = std::max(d.Exp, 0);
  std::string fixed;
  int fixedPlaces = 0; // significant places the rounded form shows
  if (sign + intDigits <= width) {
    int decimals = std::max(width - sign - intDigits - 1, 0);
    TDecimal r = RoundDecimals(d, decimals);
    std::string t = Plain(r);
    if (!r.Zero() && static_cast<int>(t.size()) <= width) {
      fixed = t;
      fixedPlaces = r.Exp + decimals;
    }
  }
  // Scientific notation shows width - 5 significant digits (one fewer for a sign).
  int sciPlaces = width - sign - 5;
  if (!fixed.empty() && fixedPlaces >= sciPlaces)
    return fixed;
  std::string sci = Scientific(d, width);
  if (sci[0] == '#' && !fixed.empty())
    return fixed;
  return sci;
}

std::string BinaryInWidth(const std::string& value, int width) {
  TDecimal d;
  if (!Parse(value, d))
    return value; // Inf and Nan as the engine gives them
  if (d.Zero())
    return "0";
  const int sign = d.Neg ? 1 : 0;
  int frac = width - sign - 2 - 5; // "d." and "E+000"
  if (frac < 1)
    return std::string(static_cast<size_t>(std::max(width, 1)), '#');
  TDecimal r = RoundDigits(d, frac + 1);
  int e = r.Exp - 1;
  std::string m = r.Digits;
  m.resize(static_cast<size_t>(frac + 1), '0');
  while (m.size() > 2 && m.back() == '0')
    m.pop_back();
  std::string ex = std::to_string(e < 0 ? -e : e);
  if (ex.size() < 3)
    ex.insert(0, 3 - ex.size(), '0');
  std::string s = sign ? "-" : "";
  s += m[0];
  s.append(".").append(m, 1);
  return s + "E" + (e < 0 ? "-" : "+") + ex;
}

void SetSessionSymbols(const TSessionSymbols& symbols) { Symbols = symbols; }

bool UsesSessionSymbols(const std::string& model) {
  TModel m;
  return ParseModel(model, m) && ((m.Currency && m.Currency != '$') || m.Nls);
}

bool IsNumberModel(const std::string& model) {
  TModel m;
  return ParseModel(model, m);
}

int NumberModelWidth(const std::string& model) {
  TModel m;
  if (!ParseModel(model, m))
    return 0;
  if (m.Roman)
    return 15;
  if (m.Hex)
    return m.Hex + 1;
  // One place for the sign (two for PR's brackets), five for EEEE's "E+nnn".
  return static_cast<int>(m.Body.size()) + DisplayWidth(m.Symbol()) + (m.Angle ? 2 : 1) +
         (m.Sci ? 5 : 0);
}

std::string FormatNumber(const std::string& value, const std::string& model) {
  TModel m;
  if (!ParseModel(model, m))
    return value;
  const size_t width = static_cast<size_t>(NumberModelWidth(model));
  TDecimal d;
  if (!Parse(value, d))
    return std::string(width, '#');
  auto right = [&](const std::string& t) {
    const size_t w = static_cast<size_t>(DisplayWidth(t));
    return w >= width ? t : std::string(width - w, ' ') + t;
  };
  if (m.Roman) {
    TDecimal r = RoundDecimals(d, 0);
    std::string digits = IntegerPart(r);
    if (r.Neg || digits.empty() || digits.size() > 4 || std::stoi(digits) > 3999)
      return std::string(width, '#');
    std::string t = RomanNumeral(std::stoi(digits));
    if (m.Roman == 2)
      for (auto& ch : t)
        ch = static_cast<char>(ora::lowerC(static_cast<unsigned char>(ch)));
    return right(t);
  }
  if (m.Hex) {
    TDecimal r = RoundDecimals(d, 0);
    std::string digits = IntegerPart(r);
    if (r.Neg || digits.size() > 18)
      return std::string(width, '#');
    unsigned long long v = digits.empty() ? 0 : std::stoull(digits);
    std::string t;
    do {
      t.insert(t.begin(), "0123456789ABCDEF"[v % 16]);
      v /= 16;
    } while (v);
    if (static_cast<int>(t.size()) > m.Hex)
      return std::string(width, '#');
    return right(t);
  }
  if (m.Sci) {
    size_t point = m.Body.find('.');
    int frac = point == std::string::npos ? 0 : static_cast<int>(m.Body.size() - point - 1);
    TDecimal r = RoundDigits(d, frac + 1);
    int e = r.Zero() ? 0 : r.Exp - 1;
    std::string mant = r.Zero() ? std::string("0") : r.Digits;
    mant.resize(static_cast<size_t>(frac + 1), '0');
    std::string t(1, mant[0]);
    if (point != std::string::npos) {
      t.push_back(m.Nls ? Symbols.Decimal : '.');
      t.append(mant, 1, std::string::npos);
    }
    const int ae = e < 0 ? -e : e;
    t.push_back('E');
    t.push_back(e < 0 ? '-' : '+');
    if (ae < 10)
      t.push_back('0');
    t.append(std::to_string(ae));
    bool neg = r.Neg;
    if (m.Minus)
      t += neg ? "-" : " ";
    else if (m.SignTrail)
      t += neg ? "-" : "+";
    else if (m.Angle)
      t = neg ? "<" + t + ">" : t + " ";
    else if (m.SignLead || neg)
      t = std::string(neg ? "-" : "+") + t;
    return right(t);
  }
  d.Exp += m.Shift; // V: the digits after it are the value's first decimals
  if (d.Zero())
    d.Exp = 0;
  size_t point = m.Body.find('.');
  std::string intModel = m.Body.substr(0, point);
  int intPos = static_cast<int>(
      std::count_if(intModel.begin(), intModel.end(), [](char c) { return c == '9' || c == '0'; }));
  int fracPos = point == std::string::npos ? 0 : static_cast<int>(m.Body.size() - point - 1);
  TDecimal r = RoundDecimals(d, fracPos);
  if (m.Blank && r.Zero())
    return std::string(width, ' ');
  std::string intDigits = IntegerPart(r);
  if (static_cast<int>(intDigits.size()) > intPos)
    return std::string(width, '#');
  // Digits of the integer part right-aligned; a 0 in the model forces digits from there on.
  int forcedFrom = intPos;
  for (int k = 0, pos = 0; k < static_cast<int>(intModel.size()); ++k)
    if (intModel[static_cast<size_t>(k)] != ',') {
      if (intModel[static_cast<size_t>(k)] == '0') {
        forcedFrom = pos;
        break;
      }
      ++pos;
    }
  if (intDigits.empty() && fracPos == 0)
    forcedFrom = std::min(forcedFrom, intPos - 1); // zero is shown as "0"
  std::string body;
  bool shown = false;
  int pos = 0;
  std::string frac = FractionPart(r, fracPos);
  size_t fracAt = 0;
  bool inFrac = false;
  for (char c : m.Body) {
    if (c == '.') {
      body += m.Nls ? Symbols.Decimal : '.';
      inFrac = true;
      shown = true;
    } else if (c == ',') {
      body += shown ? (m.Nls ? Symbols.Group : ',') : ' ';
    } else if (inFrac) {
      body += frac[fracAt++];
    } else {
      int fromRight = intPos - pos;
      if (fromRight <= static_cast<int>(intDigits.size())) {
        body += intDigits[intDigits.size() - static_cast<size_t>(fromRight)];
        shown = true;
      } else if (pos >= forcedFrom) {
        body += '0';
        shown = true;
      } else {
        body += ' ';
      }
      ++pos;
    }
  }
  size_t lead = body.find_first_not_of(' ');
  if (lead == std::string::npos)
    lead = body.size();
  std::string content = m.CurrencyEnd ? "" : m.Symbol();
  content.append(body, lead);
  if (m.CurrencyEnd)
    content += m.Symbol();
  std::string pad(lead, ' ');
  bool neg = d.Neg && !r.Zero();
  if (m.Angle)
    return pad + (neg ? "<" + content + ">" : " " + content + " ");
  if (m.Minus)
    return pad + content + (neg ? "-" : " ");
  if (m.SignTrail)
    return pad + content + (neg ? "-" : "+");
  if (m.SignLead)
    return pad + (neg ? "-" : "+") + content;
  return pad + (neg ? "-" : " ") + content;
}
