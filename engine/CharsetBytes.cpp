// Text in the bytes of the database character set, for the functions that show or take those
// bytes (DUMP, ASCII, CHR). Shift-JIS is Windows' CP932, as the client's files are.
#include "Charset.h"

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

} // namespace

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
