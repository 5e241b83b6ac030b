#include "OciCompo.h"

#include "DisplayWidth.h"
#include "OciIntr.h"
#include "ociw32.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <locale.h>

#include "OciCompoImpl.h"

using namespace ocicompo;

namespace {

TOciMessageHook& MessageHook() {
  static TOciMessageHook hook;
  return hook;
}

std::string DecimalSeparator() {
  const lconv* lc = localeconv();
  return lc && lc->decimal_point && *lc->decimal_point ? lc->decimal_point : ".";
}

// Days between 1970-01-01 and the given civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

constexpr int64_t UnixDayOffset = 25569; // 1899-12-30 .. 1970-01-01

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

void AppendDigits(std::string& out, int v, int width) {
  char buf[16];
  int n = 0;
  unsigned u = static_cast<unsigned>(v < 0 ? -v : v);
  do {
    buf[n++] = static_cast<char>('0' + u % 10);
    u /= 10;
  } while (u);
  if (v < 0)
    out += '-';
  for (int k = n; k < width; ++k)
    out += '0';
  while (n)
    out += buf[--n];
}

// The engine's canonical text ("-12.5", "0.00042") already is the general format when it has at
// most 15 significant digits and no exponent; this spares a parse and a print per cell.
bool IsPlainGeneral(const std::string& t) {
  size_t i = t[0] == '-' ? 1 : 0;
  if (i >= t.size())
    return false;
  size_t intStart = i;
  while (i < t.size() && t[i] >= '0' && t[i] <= '9')
    ++i;
  size_t intLen = i - intStart;
  if (intLen == 0 || intLen > 15 || (intLen > 1 && t[intStart] == '0'))
    return false;
  if (i == t.size())
    return true;
  if (t[i] != '.' || i + 1 == t.size() || t.back() == '0')
    return false;
  size_t frac = i + 1;
  for (size_t k = frac; k < t.size(); ++k)
    if (t[k] < '0' || t[k] > '9')
      return false;
  size_t fracLen = t.size() - frac;
  if (t[intStart] == '0') {
    size_t zeros = 0;
    while (frac + zeros < t.size() && t[frac + zeros] == '0')
      ++zeros;
    return zeros <= 4 && fracLen - zeros <= 15; // at least 0.00001
  }
  return intLen + fracLen <= 15;
}

// Decimal text from the library, read the same way whatever the process locale is.
double ParseNumberText(const std::string& text) {
  const char* p = text.data();
  const char* end = p + text.size();
  while (p < end && *p == ' ')
    ++p;
  if (p < end && *p == '+')
    ++p;
  double v = 0;
  std::from_chars(p, end, v, std::chars_format::general);
  return v;
}

int SignificantDigits(const std::string& text) {
  std::string digits;
  for (char c : text) {
    if (c == 'e' || c == 'E')
      break;
    if (c >= '0' && c <= '9')
      digits += c;
  }
  size_t first = digits.find_first_not_of('0');
  if (first == std::string::npos)
    return 0;
  size_t last = digits.find_last_not_of('0');
  return static_cast<int>(last - first + 1);
}

// The library's text with the system's separator and an exponent written as "E-6" / "E40".
std::string ExactNumberText(const std::string& text, const std::string& sep) {
  std::string out;
  size_t i = 0;
  while (i < text.size() && text[i] == ' ')
    ++i;
  if (i < text.size() && text[i] == '+')
    ++i;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c == '.') {
      out += sep;
    } else if (c == 'e' || c == 'E') {
      out += 'E';
      ++i;
      if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-')
          out += '-';
        ++i;
      }
      while (i + 1 < text.size() && text[i] == '0')
        ++i;
      out.append(text, i, std::string::npos);
      break;
    } else if (c != ' ') {
      out += c;
    }
  }
  return out;
}

} // namespace

bool CheckLogonParams(const std::string& user, const std::string& pass) {
  return !user.empty() && (!pass.empty() || user.find('/') != std::string::npos);
}

void SetOciMessageHook(TOciMessageHook hook) { MessageHook() = std::move(hook); }

void OciShowMessage(const std::string& text) {
  if (MessageHook())
    MessageHook()(text);
  else
    std::fprintf(stderr, "%s\n", text.c_str());
}

double EncodeOraDateTime(int year, int month, int day, int hour, int minute, int second) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month) || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
      second < 0 || second > 59) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "日付に変換できません: %04d/%02d/%02d %02d:%02d:%02d", year,
                  month, day, hour, minute, second);
    throw EOciCompoError(buf);
  }
  double date = static_cast<double>(DaysFromCivil(year, month, day) + UnixDayOffset);
  double time = (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
  // Before the epoch day the time counts away from zero, as the platform's date-time does.
  return date < 0 ? date - time : date + time;
}

void DecodeOraDateTime(double value, int& year, int& month, int& day, int& hour, int& minute,
                       int& second) {
  double whole = std::trunc(value);
  int64_t days = static_cast<int64_t>(whole);
  int64_t ms = std::llround(std::fabs(value - whole) * 86400000.0);
  if (ms >= 86400000) {
    if (value >= 0) {
      ++days;
      ms = 0;
    } else {
      ms = 86399999;
    }
  }
  CivilFromDays(days - UnixDayOffset, year, month, day);
  int64_t secs = ms / 1000;
  hour = static_cast<int>(secs / 3600);
  minute = static_cast<int>(secs / 60 % 60);
  second = static_cast<int>(secs % 60);
}

double DecodeOracleDate(const unsigned char* b) {
  int year = (b[0] - 100) * 100 + (b[1] - 100);
  return EncodeOraDateTime(year, b[2], b[3], b[4] - 1, b[5] - 1, b[6] - 1);
}

static std::string FormatOraDateParts(const std::string& pattern, int y, int mo, int d, int h,
                                      int mi, int s) {
  // Every element is one letter repeated (YYYY, MM, DD, HH, NN, SS), in either case.
  auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
  auto run = [&](size_t i, char letter, size_t len) {
    if (i + len > pattern.size())
      return false;
    for (size_t k = 0; k < len; ++k)
      if (upper(pattern[i + k]) != letter)
        return false;
    return true;
  };
  std::string out;
  out.reserve(pattern.size() + 4);
  for (size_t i = 0; i < pattern.size();) {
    char c = upper(pattern[i]);
    int value = 0;
    size_t len = 2;
    switch (c) {
    case 'Y':
      value = y, len = 4;
      break;
    case 'M':
      value = mo;
      break;
    case 'D':
      value = d;
      break;
    case 'H':
      value = h;
      break;
    case 'N':
      value = mi;
      break;
    case 'S':
      value = s;
      break;
    default:
      len = 0;
      break;
    }
    if (len && run(i, c, len)) {
      AppendDigits(out, value, static_cast<int>(len));
      i += len;
    } else {
      out += pattern[i++];
    }
  }
  return out;
}

std::string FormatOraDateTime(const std::string& pattern, double value) {
  int y, mo, d, h, mi, s;
  DecodeOraDateTime(value, y, mo, d, h, mi, s);
  return FormatOraDateParts(pattern, y, mo, d, h, mi, s);
}

std::string FormatGeneralFloat(double value) {
  if (std::isnan(value))
    return "NAN";
  if (std::isinf(value))
    return value < 0 ? "-INF" : "INF";
  if (value == 0)
    return "0";
  // 15 significant digits; the digits and exponent are picked out so the C library's
  // locale-dependent separator does not matter.
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.14e", value);
  std::string digits;
  const char* p = buf;
  for (; *p && *p != 'e'; ++p)
    if (*p >= '0' && *p <= '9')
      digits += *p;
  int exp = *p == 'e' ? static_cast<int>(std::strtol(p + 1, nullptr, 10)) : 0;
  digits.erase(digits.find_last_not_of('0') + 1);
  if (digits.empty())
    return "0";

  const std::string sep = DecimalSeparator();
  std::string out = value < 0 ? "-" : "";
  if (exp >= -5 && exp < 15) {
    if (exp >= 0) {
      size_t intLen = static_cast<size_t>(exp) + 1;
      if (digits.size() <= intLen) {
        out += digits + std::string(intLen - digits.size(), '0');
      } else {
        out += digits.substr(0, intLen) + sep + digits.substr(intLen);
      }
    } else {
      out += '0';
      out += sep;
      out.append(static_cast<size_t>(-exp - 1), '0');
      out += digits;
    }
  } else {
    out += digits.substr(0, 1);
    if (digits.size() > 1)
      out += sep + digits.substr(1);
    out += 'E';
    out += std::to_string(exp);
  }
  return out;
}

// ---------------------------------------------------------------------------------------------
// Fields

TCustomOraField::TCustomOraField(std::string name, TOraCursor* cursor)
    : FName(std::move(name)), FCursor(cursor) {}

void TCustomOraField::AccessError() { throw EOciCompoError(MsgFieldAccess); }

void TCustomOraField::SetRowCount(int32_t count) {
  FRowCount = count;
  size_t n = static_cast<size_t>(std::max(count, 0));
  FIndicators.assign(n, 0);
  FReturnLengths.assign(n, static_cast<uint16_t>(FWidth & 0xFFFF));
  FReturnCodes.assign(n, 0);
  FBuffer.assign(n * static_cast<size_t>(std::max(FWidth, 0)), 0);
}

std::string TCustomOraField::GetAsString(int row) const {
  CheckRow(row);
  AccessError();
}

int32_t TCustomOraField::GetAsInteger(int row) const {
  CheckRow(row);
  AccessError();
}

double TCustomOraField::GetAsFloat(int row) const {
  CheckRow(row);
  AccessError();
}

double TCustomOraField::GetAsDateTime(int row) const {
  CheckRow(row);
  AccessError();
}

std::string TCustomOraField::GetAsCharText(int row) const {
  CheckRow(row);
  AccessError();
}

void TCustomOraField::SetWidth(int32_t width) {
  FWidth = width;
  SetRowCount(FRowCount);
}

int16_t TCustomOraField::GetIndicator(int row) const {
  CheckRow(row);
  return FIndicators[static_cast<size_t>(row)];
}

void TCustomOraField::SetIndicator(int row, int16_t value) {
  CheckRow(row);
  FIndicators[static_cast<size_t>(row)] = value;
}

void TCustomOraField::SetReturnLength(int row, uint16_t value) {
  CheckRow(row);
  FReturnLengths[static_cast<size_t>(row)] = value;
}

bool TCustomOraField::IsNull(int row) const { return GetIndicator(row) == -1; }

void TCustomOraField::CheckRow(int row) const {
  if (row < 0 || row >= FRowCount)
    throw EOciCompoError(MsgRowRange);
}

std::string TCustomOraField::ElementText(int row) const {
  if (FWidth <= 0)
    return std::string();
  const char* p = reinterpret_cast<const char*>(FBuffer.data()) +
                  static_cast<size_t>(row) * static_cast<size_t>(FWidth);
  const void* nul = std::memchr(p, 0, static_cast<size_t>(FWidth));
  size_t len =
      nul ? static_cast<size_t>(static_cast<const char*>(nul) - p) : static_cast<size_t>(FWidth);
  return std::string(p, len);
}

TOraField::TOraField(std::string name, int32_t position, TOraCursor* cursor)
    : TCustomOraField(std::move(name), cursor), FPosition(position) {}

int32_t TOraField::CursorRows() const {
  return FCursor ? static_cast<int32_t>(FCursor->NumberOfRows()) : 1;
}

TOraStrField::TOraStrField(std::string name, int32_t position, TOraCursor* cursor)
    : TOraField(std::move(name), position, cursor) {
  FFieldKind = fkString;
  FExtType = 5;
  SetRowCount(CursorRows());
}

std::string TOraStrField::GetAsString(int row) const {
  CheckRow(row);
  return IsNull(row) ? std::string() : ElementText(row);
}

TOraCharAryField::TOraCharAryField(std::string name, int32_t position, TOraCursor* cursor)
    : TOraStrField(std::move(name), position, cursor) {
  FFieldKind = fkChar;
  FExtType = 97;
}

std::string TOraCharAryField::GetAsString(int row) const {
  std::string s = TOraStrField::GetAsString(row);
  // The library pads to the whole buffer, which is wider than the column to hold UTF-8; the
  // column's own width is its display size.
  int excess = DisplayWidth(s) - DisplaySize();
  while (excess > 0 && !s.empty() && s.back() == ' ') {
    s.pop_back();
    --excess;
  }
  return s;
}

std::string TOraCharAryField::GetAsCharText(int row) const { return GetAsString(row); }

TOraNumberField::TOraNumberField(std::string name, int32_t position, TOraCursor* cursor)
    : TOraField(std::move(name), position, cursor) {
  FFieldKind = fkNumber;
  FExtType = 5;
  FWidth = TextWidth;
  SetRowCount(CursorRows());
}

std::string TOraNumberField::GetAsString(int row) const {
  CheckRow(row);
  if (IsNull(row))
    return std::string();
  std::string text = ElementText(row);
  if (!text.empty() && IsPlainGeneral(text)) {
    if (auto dot = text.find('.'); dot != std::string::npos) {
      std::string sep = DecimalSeparator();
      if (sep != ".")
        text.replace(dot, 1, sep);
    }
    return text;
  }
  // Up to 15 digits the general format applies; longer values keep every digit.
  if (SignificantDigits(text) <= 15)
    return FormatGeneralFloat(ParseNumberText(text));
  return ExactNumberText(text, DecimalSeparator());
}

int32_t TOraNumberField::GetAsInteger(int row) const {
  double v = std::trunc(GetAsFloat(row));
  if (v >= static_cast<double>(std::numeric_limits<int32_t>::max()))
    return std::numeric_limits<int32_t>::max();
  if (v <= static_cast<double>(std::numeric_limits<int32_t>::min()))
    return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

double TOraNumberField::GetAsFloat(int row) const {
  CheckRow(row);
  return IsNull(row) ? 0.0 : ParseNumberText(ElementText(row));
}

TOraDateTimeField::TOraDateTimeField(std::string name, int32_t position, TOraCursor* cursor)
    : TOraField(std::move(name), position, cursor) {
  FFieldKind = fkDate;
  FExtType = 12;
  FWidth = 7;
  SetRowCount(CursorRows());
}

double TOraDateTimeField::GetAsDateTime(int row) const {
  CheckRow(row);
  if (IsNull(row))
    return 0.0;
  return DecodeOracleDate(FBuffer.data() + static_cast<size_t>(row) * 7);
}

std::string TOraDateTimeField::GetAsString(int row) const {
  CheckRow(row);
  if (IsNull(row))
    return std::string();
  // Formatted straight from the 7 bytes; the check throws for bytes that are no valid moment.
  const unsigned char* b = FBuffer.data() + static_cast<size_t>(row) * 7;
  int year = (b[0] - 100) * 100 + (b[1] - 100);
  EncodeOraDateTime(year, b[2], b[3], b[4] - 1, b[5] - 1, b[6] - 1);
  static const std::string none, shortFormat = ShortDateFormat;
  const std::string& pattern = FCursor ? FCursor->DateFormat() : none;
  return FormatOraDateParts(pattern.empty() ? shortFormat : pattern, year, b[2], b[3], b[4] - 1,
                            b[5] - 1, b[6] - 1);
}

TOraRawField::TOraRawField(std::string name, int32_t position, TOraCursor* cursor)
    : TOraField(std::move(name), position, cursor) {
  FFieldKind = fkRaw;
  FExtType = 23;
  FWidth = 255;
  SetRowCount(CursorRows());
}

void TOraRawField::SetWidth(int32_t width) {
  if (width >= 256)
    throw EOciCompoError(MsgRawWidth);
  TOraField::SetWidth(width);
}

TOraCustomLongField::TOraCustomLongField(std::string name, int32_t position, TOraCursor* cursor)
    : TOraField(std::move(name), position, cursor) {
  FWidth = 65535;
}

TOraLongField::TOraLongField(std::string name, int32_t position, TOraCursor* cursor)
    : TOraCustomLongField(std::move(name), position, cursor) {
  FFieldKind = fkLong;
  FExtType = 5;
  SetRowCount(1);
}

TOraLongRawField::TOraLongRawField(std::string name, int32_t position, TOraCursor* cursor)
    : TOraCustomLongField(std::move(name), position, cursor) {
  FFieldKind = fkLongRaw;
  FExtType = 24;
  SetRowCount(1);
}

TCustomOraField* TFieldList::Items(int index) const {
  if (index < 0 || index >= Count())
    throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
  return FItems[static_cast<size_t>(index)].get();
}
