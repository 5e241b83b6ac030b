// Columns a text takes in a fixed-pitch font: full-width characters count 2, as their
// Shift-JIS bytes do.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

inline bool IsWideCodePoint(uint32_t c) {
  return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF && c != 0x303F) ||
         (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
         (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
         (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F) ||
         (c >= 0x20000 && c <= 0x3FFFD) || (c >= 0x2460 && c <= 0x24FF) ||
         (c >= 0x2500 && c <= 0x257F) || (c >= 0x25A0 && c <= 0x25FF) ||
         (c >= 0x2600 && c <= 0x26FF);
}

inline int DisplayWidth(std::string_view s) {
  int w = 0;
  for (size_t i = 0; i < s.size();) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    uint32_t c;
    int n;
    if (b < 0x80) {
      c = b;
      n = 1;
    } else if ((b >> 5) == 6) {
      c = b & 0x1F;
      n = 2;
    } else if ((b >> 4) == 14) {
      c = b & 0x0F;
      n = 3;
    } else if ((b >> 3) == 30) {
      c = b & 0x07;
      n = 4;
    } else {
      ++i;
      ++w;
      continue;
    }
    for (int k = 1; k < n && i + k < s.size(); ++k)
      c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    i += n;
    w += IsWideCodePoint(c) ? 2 : 1;
  }
  return w;
}

// Pads (or leaves) a text to `width` columns, on the right or on the left.
inline std::string PadDisplay(const std::string& s, int width, bool right = false) {
  int w = DisplayWidth(s);
  if (w >= width)
    return s;
  return right ? std::string(width - w, ' ') + s : s + std::string(width - w, ' ');
}

// The longest start of a text that takes at most `width` columns, in whole characters (an
// incomplete one at the end is left off too).
inline std::string TextInWidth(const std::string& s, int width) {
  size_t i = 0;
  int used = 0;
  while (i < s.size()) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 1;
    if (i + n > s.size())
      break;
    int w = DisplayWidth(std::string_view(s).substr(i, n));
    if (used + w > width)
      break;
    used += w;
    i += n;
  }
  return s.substr(0, i);
}
