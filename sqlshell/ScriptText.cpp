// Script files as the shell reads them: bytes to UTF-8 text.
#include "SqlShell.h"

#include <cerrno>
#include <iconv.h>
#include <string>

namespace {

size_t Utf8Length(unsigned char b) {
  return b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 1;
}

bool ValidUtf8(const std::string& s) {
  for (size_t i = 0; i < s.size();) {
    auto b = static_cast<unsigned char>(s[i]);
    size_t n = Utf8Length(b);
    if (n == 1 && b >= 0x80)
      return false;
    if (i + n > s.size())
      return false;
    for (size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
        return false;
    i += n;
  }
  return true;
}

} // namespace

std::string DecodeScriptText(const std::string& bytes) {
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
    return bytes.substr(3);
  if (ValidUtf8(bytes))
    return bytes;
  iconv_t cd = iconv_open("UTF-8", "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1))
    return bytes;
  std::string out;
  std::string in = bytes;
  char* src = in.data();
  size_t left = in.size();
  char buf[4096];
  while (left > 0) {
    char* dst = buf;
    size_t room = sizeof buf;
    size_t r = iconv(cd, &src, &left, &dst, &room);
    out.append(buf, static_cast<size_t>(dst - buf));
    if (r == static_cast<size_t>(-1) && errno != E2BIG) {
      // A byte that is not CP932 either: shown as "?" rather than dropping the line.
      out += '?';
      ++src;
      --left;
    }
  }
  iconv_close(cd);
  return out;
}
