// Text in the bytes of the database character set, for the functions that show or take those
// bytes (DUMP, ASCII, CHR). Shift-JIS is Windows' CP932, as the client's files are.
#include "Charset.h"

#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace ora {

namespace {

#ifdef _WIN32

bool convert(UINT from, UINT to, std::string_view in, std::string& out) {
  if (in.empty()) { out.clear(); return true; }
  int n = MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, in.data(), static_cast<int>(in.size()), nullptr, 0);
  if (n <= 0) return false;
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, in.data(), static_cast<int>(in.size()), w.data(), n);
  BOOL lossy = FALSE;
  int m = WideCharToMultiByte(to, 0, w.data(), n, nullptr, 0, nullptr, to == CP_UTF8 ? nullptr : &lossy);
  if (m <= 0 || lossy) return false;
  out.assign(static_cast<size_t>(m), '\0');
  WideCharToMultiByte(to, 0, w.data(), n, out.data(), m, nullptr, nullptr);
  return true;
}

bool toSjis(std::string_view utf8, std::string& out) { return convert(CP_UTF8, 932, utf8, out); }
bool fromSjis(std::string_view sjis, std::string& out) { return convert(932, CP_UTF8, sjis, out); }

#else

bool convert(const char* to, const char* from, std::string_view in, std::string& out) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string buf(in.size() * 4 + 4, '\0');
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  char* dst = buf.data();
  size_t dstLeft = buf.size();
  size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
  iconv_close(cd);
  if (r == static_cast<size_t>(-1) || srcLeft != 0) return false;
  buf.resize(buf.size() - dstLeft);
  out = std::move(buf);
  return true;
}

bool toSjis(std::string_view utf8, std::string& out) { return convert("CP932", "UTF-8", utf8, out); }
bool fromSjis(std::string_view sjis, std::string& out) { return convert("UTF-8", "CP932", sjis, out); }

#endif

bool validUtf8(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

// Where a code point of the Basic Multilingual Plane sorts among Shift-JIS bytes: its one or
// two bytes as a number, the single ones shifted so that they compare by their byte with a
// two-byte character's lead byte (they never equal one); 0 when Shift-JIS lacks it.
const std::vector<uint16_t>& sjisKeys() {
  static const std::vector<uint16_t> keys = [] {
    std::vector<uint16_t> k(0x10000, 0);
    for (uint32_t c = 0; c < 0x80; ++c) k[c] = static_cast<uint16_t>(c << 8);
#ifdef _WIN32
    for (uint32_t c = 0x80; c < 0x10000; ++c) {
      if (c >= 0xD800 && c <= 0xDFFF) continue;
      wchar_t w = static_cast<wchar_t>(c);
      char out[4];
      BOOL lossy = FALSE;
      int m = WideCharToMultiByte(932, 0, &w, 1, out, sizeof out, nullptr, &lossy);
      if (lossy || m < 1 || m > 2) continue;
      unsigned b0 = static_cast<unsigned char>(out[0]), b1 = m == 2 ? static_cast<unsigned char>(out[1]) : 0;
      k[c] = static_cast<uint16_t>(b0 << 8 | b1);
    }
#else
    iconv_t cd = iconv_open("CP932", "UTF-32LE");
    if (cd == reinterpret_cast<iconv_t>(-1)) return k;
    for (uint32_t c = 0x80; c < 0x10000; ++c) {
      if (c >= 0xD800 && c <= 0xDFFF) continue;
      unsigned char in[4] = {static_cast<unsigned char>(c), static_cast<unsigned char>(c >> 8), 0, 0};
      char out[8];
      char* src = reinterpret_cast<char*>(in);
      char* dst = out;
      size_t srcLeft = 4, dstLeft = sizeof out;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) == static_cast<size_t>(-1)) continue;
      size_t m = sizeof out - dstLeft;
      if (m < 1 || m > 2) continue;
      unsigned b0 = static_cast<unsigned char>(out[0]), b1 = m == 2 ? static_cast<unsigned char>(out[1]) : 0;
      k[c] = static_cast<uint16_t>(b0 << 8 | b1);
    }
    iconv_close(cd);
#endif
    return k;
  }();
  return keys;
}

// One UTF-8 character at p[i] (i < n) and its length; a stray byte stands for itself.
uint32_t utf8At(const unsigned char* p, int n, int i, int& len) {
  unsigned char b = p[i];
  len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 1;
  if (len == 1) return b < 0x80 ? b : 0x110000 + b;
  uint32_t c = b & (0x7F >> len);
  for (int k = 1; k < len; ++k) {
    if (i + k >= n || (p[i + k] & 0xC0) != 0x80) { len = 1; return 0x110000 + b; }
    c = (c << 6) | (p[i + k] & 0x3F);
  }
  return c;
}

// A character's place in the order: its Shift-JIS bytes, after them the characters the set lacks.
uint32_t sjisOrder(uint32_t c) {
  if (c < 0x10000) {
    if (uint16_t k = sjisKeys()[c]) return k;
  }
  return 0x10000 + c;
}

} // namespace

int sjisCollate(void*, int n1, const void* p1, int n2, const void* p2) {
  auto a = static_cast<const unsigned char*>(p1), b = static_cast<const unsigned char*>(p2);
  const int n = n1 < n2 ? n1 : n2;
  int i = 0;
  while (i < n && a[i] == b[i]) ++i;
  if (i == n) return n1 < n2 ? -1 : n1 > n2 ? 1 : 0;
  // ASCII orders as its bytes; otherwise the differing characters decide
  if (a[i] < 0x80 && b[i] < 0x80) return a[i] < b[i] ? -1 : 1;
  while (i > 0 && ((a[i] & 0xC0) == 0x80 || (b[i] & 0xC0) == 0x80)) --i;
  int la = 0, lb = 0;
  uint32_t ka = sjisOrder(utf8At(a, n1, i, la)), kb = sjisOrder(utf8At(b, n2, i, lb));
  if (ka != kb) return ka < kb ? -1 : 1;
  // two spellings of one character (never in valid text): by their bytes, so unequal stays unequal
  int c = std::memcmp(a + i, b + i, static_cast<size_t>(n - i));
  return c ? c : n1 < n2 ? -1 : n1 > n2 ? 1 : 0;
}

std::string charsetBytes(std::string_view utf8, Charset cs) {
  if (cs == Charset::AL32UTF8) return std::string(utf8);
  std::string out, one;
  if (toSjis(utf8, out)) return out;
  // character by character, a full-width '?' for one Shift-JIS lacks (two bytes, as counted)
  out.clear();
  for (size_t i = 0; i < utf8.size();) {
    size_t n = 1;
    while (i + n < utf8.size() && (static_cast<unsigned char>(utf8[i + n]) & 0xC0) == 0x80) ++n;
    if (toSjis(utf8.substr(i, n), one)) out += one;
    else out += "\x81\x48";
    i += n;
  }
  return out;
}

bool charsetText(std::string_view bytes, Charset cs, std::string& utf8) {
  if (cs == Charset::AL32UTF8) {
    if (!validUtf8(bytes)) return false;
    utf8.assign(bytes);
    return true;
  }
  return fromSjis(bytes, utf8);
}

} // namespace ora
