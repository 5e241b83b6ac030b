// Character classes and case of the C locale, whatever locale the host process runs in: SQL's
// names, keywords and number text are ASCII, and a Turkish locale must not keep 'i' lower case
// in a name (nor a Latin-1 locale take a UTF-8 byte for a letter or a blank).
#pragma once
#include <cstddef>

namespace ora {

inline int upperC(int c) { return c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c; }
inline int lowerC(int c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }
inline bool digitC(int c) { return c >= '0' && c <= '9'; }
inline bool lowerCaseC(int c) { return c >= 'a' && c <= 'z'; }
inline bool alphaC(int c) { return (c >= 'A' && c <= 'Z') || lowerCaseC(c); }
inline bool alnumC(int c) { return alphaC(c) || digitC(c); }
inline bool xdigitC(int c) { return digitC(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }
inline bool spaceC(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
// strncasecmp of the C locale.
inline int strncaseC(const char* a, const char* b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    int x = lowerC(static_cast<unsigned char>(a[i])), y = lowerC(static_cast<unsigned char>(b[i]));
    if (x != y)
      return x - y;
    if (x == 0)
      return 0;
  }
  return 0;
}

} // namespace ora
