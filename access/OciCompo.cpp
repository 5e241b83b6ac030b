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

namespace {

const char* const MsgFieldAccess = "OCIFieldからデータの取り出しが不正です。";
const char* const MsgRowRange = "OCI配列の範囲が不正です。";
const char* const MsgRawWidth = "Raw Fieldに255以上のバッファを設定しようとしました。";
const char* const MsgNoSession = "OCIDatabase が接続されていません。";
const char* const MsgMlsLabel = "準備出来てません。 m(_ _)m";
const char* const MsgUnknownType = "多分、Oci Compo 内部Bug (^^;";
const char* const MsgFetchRowsLong =
    "FetchRows: LONG / LONG RAW 列を含む結果は Fetch で1行ずつ取り出してください。";
const char* const MsgFetchRowsGrown =
    "FetchRows: DescribeFields の後で NumberOfRows が増やされました。もう一度 DescribeFields "
    "を実行してください。";
const char* const MsgNotLongField = "FetchLong: LONG / LONG RAW のフィールドではありません。";

using ociw32::kOffFunctionCode;
using ociw32::kOffFunctionType;
using ociw32::kOffParseErrorOffset;
using ociw32::kOffReturnCode;
using ociw32::kOffRowsProcessed;
constexpr int ErrNotLoggedOn = 1012;
constexpr int ErrTruncated = 1406;
constexpr int DateTextWidth = 76;      // the longest text of a date format model, and its NUL
constexpr int TimestampTextWidth = 76; // a timestamp in its longest format, and its NUL
constexpr int IntervalTextWidth = 32;  // '-999999999 23:59:59.999999999' and its NUL
constexpr int32_t MaxUtf8PerDbByte = 3;
constexpr int ErrMsgBufferSize = 1024;

uint16_t ReadU16(const unsigned char* area, int offset) {
  return static_cast<uint16_t>(area[offset] | (area[offset + 1] << 8));
}

uint32_t ReadU32(const unsigned char* area, int offset) {
  return static_cast<uint32_t>(area[offset]) | (static_cast<uint32_t>(area[offset + 1]) << 8) |
         (static_cast<uint32_t>(area[offset + 2]) << 16) |
         (static_cast<uint32_t>(area[offset + 3]) << 24);
}

// The library takes "no text" rather than an empty text.
const char* TextOrNull(const std::string& s) { return s.empty() ? nullptr : s.c_str(); }

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

// ---------------------------------------------------------------------------------------------
// Session

TOraSession::TOraSession() = default;

TOraSession::~TOraSession() {
  if (FConnected) {
    try {
      SetConnected(false);
    } catch (...) {
      // A destructor must not throw; the library is gone anyway if this fails.
    }
  }
  // The library drops a logon's cursors with it; leave none pointing here.
  for (TOraCursor* c : FCursors) {
    c->FSession = nullptr;
    c->FOpened = false;
  }
}

std::string TOraSession::LogonUser() const {
  return UserName.substr(0, UserName.find_first_of("/@"));
}

uint16_t TOraSession::ReturnCode() const { return ReadU16(FLogonArea, kOffReturnCode); }

bool TOraSession::Connect() {
  SetConnected(true);
  bool ok = FConnected;
  if (!ok && ReturnCode() != 0)
    DoError();
  return ok;
}

bool TOraSession::Disconnect() {
  SetConnected(false);
  bool ok = !FConnected;
  if (ok) {
    for (TOraCursor* c : FCursors)
      c->FOpened = false;
  } else {
    DoError();
  }
  return ok;
}

bool TOraSession::Commit() {
  if (OciIntr::ocom(FLogonArea) == 0)
    return true;
  DoError();
  return false;
}

bool TOraSession::Rollback() {
  if (OciIntr::orol(FLogonArea) == 0)
    return true;
  DoError();
  return false;
}

std::string TOraSession::GetErrorMessage(int code) {
  if (code == 0)
    return std::string();
  char buf[ErrMsgBufferSize] = {};
  OciIntr::oerhms(FLogonArea, static_cast<short>(code), buf, ErrMsgBufferSize);
  buf[ErrMsgBufferSize - 1] = 0;
  return buf;
}

void TOraSession::SetConnected(bool value) {
  if (value == FConnected)
    return;
  if (value) {
    if (OnLogin)
      OnLogin(*this);
    if (!(AutoLogon && CheckLogonParams(UserName, UserPass)) && !ShowLogonDialog()) {
      OciShowMessage("Logon canceled");
      return;
    }
    int r = OciIntr::olog(FLogonArea, FHostArea, TextOrNull(UserName), -1, TextOrNull(UserPass), -1,
                          TextOrNull(UserHost), -1, 0);
    if (r == 0) {
      FConnected = true;
      if (OnConnect)
        OnConnect(*this);
    } else {
      AutoLogon = false;
    }
  } else {
    if (OciIntr::ologof(FLogonArea) == 0) {
      FConnected = false;
      if (OnDisConnect)
        OnDisConnect(*this);
    }
  }
}

bool TOraSession::ShowLogonDialog() {
  if (!LogonPrompt)
    return false;
  std::string user = UserName, pass = UserPass, host = UserHost;
  if (!LogonPrompt(user, pass, host))
    return false;
  UserName = user;
  UserPass = pass;
  UserHost = host;
  return true;
}

void TOraSession::DoError() {
  if (OnError)
    OnError(*this, GetErrorMessage(ReturnCode()));
}

void TOraSession::Attach(TOraCursor* cursor) {
  if (std::find(FCursors.begin(), FCursors.end(), cursor) == FCursors.end())
    FCursors.push_back(cursor);
}

void TOraSession::Detach(TOraCursor* cursor) {
  FCursors.erase(std::remove(FCursors.begin(), FCursors.end(), cursor), FCursors.end());
}

// ---------------------------------------------------------------------------------------------
// Cursor

struct TOraCursor::TDescribeRec {
  int32_t Position = 0;
  int32_t Size = 0;
  int16_t Type = 0;
  // A name is kept to 31 bytes of the ANSI code page (Shift-JIS: its display width); in UTF-8
  // that takes up to three bytes for each of them.
  char Name[96] = {};
  int32_t NameLength = 93;
  int32_t DisplaySize = 0;
  int16_t Precision = 0;
  int16_t Scale = 0;
  int16_t Nullable = 0;
};

TOraCursor::TOraCursor() = default;

TOraCursor::~TOraCursor() {
  if (FSession)
    FSession->Detach(this);
}

void TOraCursor::SetSession(TOraSession* session) {
  if (session == FSession)
    return;
  if (FSession)
    FSession->Detach(this);
  FSession = session;
  if (FSession)
    FSession->Attach(this);
}

void TOraCursor::SetNumberOfRows(uint32_t value) {
  FNumberOfRows = std::clamp<uint32_t>(value, 1, MaxRows);
}

uint32_t TOraCursor::RowsProcessed() const { return ReadU32(FCursorArea, kOffRowsProcessed); }

uint16_t TOraCursor::ReturnCode() const { return ReadU16(FCursorArea, kOffReturnCode); }

uint8_t TOraCursor::FunctionCode() const { return FCursorArea[kOffFunctionCode]; }

uint16_t TOraCursor::StatementType() const { return ReadU16(FCursorArea, kOffFunctionType); }

uint16_t TOraCursor::ErrorOffset() const { return ReadU16(FCursorArea, kOffParseErrorOffset); }

const std::string& TOraCursor::DateFormat() const {
  static const std::string none;
  return FSession ? FSession->DateFormatString : none;
}

bool TOraCursor::Finish(int result, bool quiet, bool checkLostLogon) {
  if (result == 0)
    return true;
  if (checkLostLogon && FSession && ReturnCode() == ErrNotLoggedOn)
    FSession->FConnected = false;
  if (!quiet)
    DoError(ErrorText());
  return false;
}

void TOraCursor::DoError(const std::string& text) {
  if (OnError)
    OnError(*this, text);
}

bool TOraCursor::Open() {
  if (FOpened)
    return true;
  if (!FSession)
    throw EOciCompoError(MsgNoSession);
  int r = OciIntr::oopen(FCursorArea, FSession->LogonArea(), nullptr, -1, -1, nullptr, -1);
  if (r == 0)
    FOpened = true;
  return Finish(r, false, false);
}

bool TOraCursor::Close() {
  if (!FOpened)
    return true;
  if (!FSession)
    throw EOciCompoError(MsgNoSession);
  int r = OciIntr::oclose(FCursorArea);
  if (r == 0)
    FOpened = false;
  return Finish(r, false, false);
}

bool TOraCursor::DoParse(bool quiet) {
  std::string text;
  for (const std::string& line : FSQL)
    text += line + "\r\n";
  std::replace(text.begin(), text.end(), '\r', ' ');
  FStatementText = text;
  return Finish(OciIntr::oparse(FCursorArea, FStatementText.c_str(), -1, 0, 2), quiet, true);
}

bool TOraCursor::Parse() { return DoParse(false); }

bool TOraCursor::ParseQuiet() { return DoParse(true); }

std::unique_ptr<TCustomOraField> TOraCursor::CreateField(const TDescribeRec& rec) {
  size_t nameLen = static_cast<size_t>(std::clamp<int32_t>(rec.NameLength, 0, 93));
  std::string name(rec.Name, strnlen(rec.Name, nameLen));
  // whole characters up to 31 columns, as the code page's 31 bytes would hold them
  name = TextInWidth(name, 31);
  auto sized = [&](int32_t extra) { return rec.Size == 0 ? 0 : rec.Size + extra; };
  // Column sizes count bytes in the database's character set (two per kanji in Shift-JIS) while
  // text arrives in UTF-8, which takes up to three bytes for one such byte (half-width kana).
  auto textSized = [&](int32_t extra) {
    return rec.Size == 0 ? 0 : rec.Size * MaxUtf8PerDbByte + extra;
  };
  std::unique_ptr<TOraField> f;
  switch (rec.Type) {
  case 1:
    f = std::make_unique<TOraStrField>(name, rec.Position, this);
    f->SetWidth(textSized(1));
    break;
  case 2:
  case 100: // BINARY_FLOAT and BINARY_DOUBLE: numbers, their text the engine's
  case 101: {
    auto n = std::make_unique<TOraNumberField>(name, rec.Position, this);
    n->SetPrecision(rec.Precision);
    n->SetScale(rec.Scale);
    f = std::move(n);
    break;
  }
  case 8:
    f = std::make_unique<TOraLongField>(name, rec.Position, this);
    break;
  case 11:
    f = std::make_unique<TOraStrField>(name, rec.Position, this);
    f->SetWidth(rec.Size + 10);
    break;
  case 12:
    if (FDatesAsText) {
      f = std::make_unique<TOraStrField>(name, rec.Position, this);
      f->SetWidth(DateTextWidth);
    } else {
      f = std::make_unique<TOraDateTimeField>(name, rec.Position, this);
    }
    break;
  case 23:
    if (FRawAsText) {
      f = std::make_unique<TOraStrField>(name, rec.Position, this);
      f->SetWidth(rec.Size == 0 ? 0 : rec.Size * 2 + 1); // two hex digits a byte
    } else {
      f = std::make_unique<TOraRawField>(name, rec.Position, this);
      f->SetWidth(sized(1));
    }
    break;
  case 24:
    f = std::make_unique<TOraLongRawField>(name, rec.Position, this);
    break;
  case 96:
    f = std::make_unique<TOraCharAryField>(name, rec.Position, this);
    f->SetWidth(textSized(1));
    break;
  case 108:
    // a collection or object: the engine gives its text, as Oracle's client shows it
    f = std::make_unique<TOraStrField>(name, rec.Position, this);
    f->SetWidth(textSized(1));
    break;
  case 180:
  case 181:
    // TIMESTAMP [WITH TIME ZONE]: the engine's text in the session's timestamp format
    f = std::make_unique<TOraStrField>(name, rec.Position, this);
    f->SetWidth(TimestampTextWidth);
    break;
  case 182:
  case 183:
    // INTERVAL YEAR TO MONTH, DAY TO SECOND: the engine's text, '+01-02', '+04 05:12:10.222000'
    f = std::make_unique<TOraStrField>(name, rec.Position, this);
    f->SetWidth(IntervalTextWidth);
    break;
  case 105:
    throw EOciCompoError(MsgMlsLabel);
  default:
    throw EOciCompoError(MsgUnknownType);
  }
  f->SetDisplaySize(rec.DisplaySize);
  f->SetNullable(rec.Nullable != 0);
  f->SetDbType(rec.Type);
  f->SetDbPrecisionScale(static_cast<int16_t>(rec.Precision), static_cast<int16_t>(rec.Scale));
  return f;
}

bool TOraCursor::DescribeFields() {
  FFields.ClearFields();
  TDescribeRec rec;
  for (int32_t pos = 1; pos <= static_cast<int32_t>(MaxRows); ++pos) {
    rec = TDescribeRec();
    rec.Position = pos;
    rec.NameLength = 93;
    int r = OciIntr::odescr(FCursorArea, pos, &rec.Size, &rec.Type, rec.Name, &rec.NameLength,
                            &rec.DisplaySize, &rec.Precision, &rec.Scale, &rec.Nullable);
    if (r != 0) {
      // The end of the select list; only a lost logon matters here.
      Finish(r, true, true);
      break;
    }
    FFields.Add(CreateField(rec));
  }
  for (int i = 0; i < FFields.Count(); ++i) {
    auto* f = static_cast<TOraField*>(FFields.Items(i));
    int r = OciIntr::odefin(FCursorArea, f->Position(), f->Buffer(), f->Width(), f->ExtType(), -1,
                            f->Indicators(), nullptr, -1, -1, f->ReturnLengths(), f->ReturnCodes());
    if (r != 0)
      return Finish(r, false, true);
  }
  return true;
}

bool TOraCursor::Exec() { return Finish(OciIntr::oexec(FCursorArea), false, true); }

bool TOraCursor::Fetch() {
  int r = OciIntr::ofetch(FCursorArea);
  // The library reports a value cut to its buffer; a LONG field holds only the first piece by
  // design and is read on with FetchLong, so for it the row came as intended.
  if (r != 0 && ReturnCode() == ErrTruncated && FFields.Count() > 0) {
    bool onlyLongs = true;
    for (int i = 0; i < FFields.Count(); ++i) {
      TCustomOraField* f = FFields.Items(i);
      if (f->ReturnCodes()[0] == ErrTruncated && f->FieldKind() != fkLong &&
          f->FieldKind() != fkLongRaw)
        onlyLongs = false;
    }
    if (onlyLongs)
      return true;
  }
  return Finish(r, false, true);
}

bool TOraCursor::DoFetchRows(bool quiet) {
  // Long fields hold one row and the buffers were sized at DescribeFields: an array fetch
  // that would overrun them is refused before the library sees it.
  for (int i = 0; i < FFields.Count(); ++i) {
    const TCustomOraField* f = FFields.Items(i);
    const char* refusal = nullptr;
    if (f->FieldKind() == fkLong || f->FieldKind() == fkLongRaw)
      refusal = MsgFetchRowsLong;
    else if (static_cast<uint32_t>(f->RowCount()) < FNumberOfRows)
      refusal = MsgFetchRowsGrown;
    if (refusal) {
      if (!quiet)
        DoError(refusal);
      return false;
    }
  }
  return Finish(OciIntr::ofen(FCursorArea, static_cast<int>(FNumberOfRows)), quiet, true);
}

bool TOraCursor::FetchRows() { return DoFetchRows(false); }

bool TOraCursor::FetchRowsQuiet() { return DoFetchRows(true); }

bool TOraCursor::FetchLong(TCustomOraField* field, int offset) {
  auto* f = dynamic_cast<TOraCustomLongField*>(field);
  if (!f || f->Cursor() != this)
    throw EOciCompoError(MsgNotLongField);
  int r = OciIntr::oflng(FCursorArea, f->Position(), f->Buffer(), f->Width(), f->ExtType(),
                         f->LongLengthPtr(), offset);
  return Finish(r, false, true);
}

std::string TOraCursor::ErrorText() const {
  if (!FSession)
    return std::string();
  return FSession->GetErrorMessage(ReturnCode()) + "\rProcessing Ora function " +
         OciIntr::FunctionCodeName(FunctionCode());
}
