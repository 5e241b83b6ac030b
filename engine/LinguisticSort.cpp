// Linguistic sort keys. A key has three levels, compared one after the other: the letters (case
// and accents aside), then the accents, then the case (lower case first). A sort named with _CI
// keeps the first two levels only, _AI the first; BINARY_CI and BINARY_AI compare the text's
// characters folded to lower case, and to their base letters.
#include "LinguisticSort.h"

#include "FunctionUtil.h"

#include <cctype>
#include <cstring>
#include <sqlite3.h>
#include <vector>

namespace ora::fn {

namespace {

enum class Family { Generic, Danish, XDanish, Swedish, Spanish, XSpanish };

struct Sort {
  bool binary = false;
  Family family = Family::Generic;
  bool caseBlind = false, accentBlind = false;
};

bool parseSort(std::string_view name, Sort& s) {
  std::string n(name);
  for (auto& c : n) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  auto endsWith = [&](const char* suffix) {
    size_t k = std::strlen(suffix);
    return n.size() > k && n.compare(n.size() - k, k, suffix) == 0;
  };
  if (endsWith("_CI")) {
    s.caseBlind = true;
    n.resize(n.size() - 3);
  } else if (endsWith("_AI")) {
    s.caseBlind = s.accentBlind = true;
    n.resize(n.size() - 3);
  }
  if (n == "BINARY") {
    s.binary = true;
    return true;
  }
  if (n == "GENERIC_BASELETTER") {
    s.caseBlind = s.accentBlind = true;
    return true;
  }
  static const char* const generic[] = {"GENERIC_M", "WEST_EUROPEAN", "XWEST_EUROPEAN", "GERMAN", "XGERMAN",
                                        "GERMAN_DIN", "XGERMAN_DIN", "FRENCH", "XFRENCH", "ITALIAN", "PORTUGUESE",
                                        "DUTCH", "XDUTCH", "TURKISH", "XTURKISH", "JAPANESE", "UNICODE_BINARY",
                                        "JAPANESE_M", "FRENCH_M", "CANADIAN_M"};
  for (const char* g : generic)
    if (n == g) return true;
  if (n == "DANISH" || n == "NORWEGIAN" || n == "DANISH_M") s.family = Family::Danish;
  else if (n == "XDANISH" || n == "XNORWEGIAN") s.family = Family::XDanish;
  else if (n == "SWEDISH" || n == "FINNISH" || n == "XSWEDISH" || n == "XFINNISH") s.family = Family::Swedish;
  else if (n == "SPANISH" || n == "SPANISH_M") s.family = Family::Spanish;
  else if (n == "XSPANISH") s.family = Family::XSpanish;
  else return false;
  return true;
}

// Accents, the second level: none first.
enum Accent : uint8_t { kNone, kGrave, kAcute, kCircumflex, kTilde, kDiaeresis, kRing, kCedilla, kStroke, kCaron,
                        kMacron, kBreve, kOgonek, kDot, kDoubleAcute };

struct Letter {
  char base; // 0: no Latin letter
  uint8_t accent;
};

// U+00C0 to U+00FF, upper and lower case alike (the lower case ones are 0x20 further).
const Letter kLatin1[32] = {
    {'A', kGrave}, {'A', kAcute}, {'A', kCircumflex}, {'A', kTilde}, {'A', kDiaeresis}, {'A', kRing}, {0, 0},
    {'C', kCedilla}, {'E', kGrave}, {'E', kAcute}, {'E', kCircumflex}, {'E', kDiaeresis}, {'I', kGrave},
    {'I', kAcute}, {'I', kCircumflex}, {'I', kDiaeresis}, {'D', kStroke}, {'N', kTilde}, {'O', kGrave},
    {'O', kAcute}, {'O', kCircumflex}, {'O', kTilde}, {'O', kDiaeresis}, {0, 0}, {'O', kStroke}, {'U', kGrave},
    {'U', kAcute}, {'U', kCircumflex}, {'U', kDiaeresis}, {'Y', kAcute}, {0, 0}, {0, 0}};

// U+0100 to U+017F in pairs of upper and lower case; where the pairs shift (U+0130 to U+0149,
// U+0178 to U+017F) the letters are looked up apart.
const Letter kLatinA[] = {
    {'A', kMacron}, {'A', kBreve}, {'A', kOgonek}, {'C', kAcute}, {'C', kCircumflex}, {'C', kDot}, {'C', kCaron},
    {'D', kCaron}, {'D', kStroke}, {'E', kMacron}, {'E', kBreve}, {'E', kDot}, {'E', kOgonek}, {'E', kCaron},
    {'G', kCircumflex}, {'G', kBreve}, {'G', kDot}, {'G', kCedilla}, {'H', kCircumflex}, {'H', kStroke},
    {'I', kTilde}, {'I', kMacron}, {'I', kBreve}, {'I', kOgonek}};
const Letter kLatinA2[] = { // from U+014A
    {0, 0}, {'O', kMacron}, {'O', kBreve}, {'O', kDoubleAcute}, {0, 0}, {'R', kAcute}, {'R', kCedilla},
    {'R', kCaron}, {'S', kAcute}, {'S', kCircumflex}, {'S', kCedilla}, {'S', kCaron}, {'T', kCedilla},
    {'T', kCaron}, {'T', kStroke}, {'U', kTilde}, {'U', kMacron}, {'U', kBreve}, {'U', kRing},
    {'U', kDoubleAcute}, {'U', kOgonek}, {'W', kCircumflex}, {'Y', kCircumflex}};

Letter letterOf(uint32_t c) {
  if (c >= 'A' && c <= 'Z') return {static_cast<char>(c), kNone};
  if (c >= 'a' && c <= 'z') return {static_cast<char>(c - 32), kNone};
  if (c == 0xFF) return {'Y', kDiaeresis};
  if (c >= 0xC0 && c <= 0xFF) return kLatin1[(c - 0xC0) & 0x1F];
  if (c >= 0x100 && c < 0x130) return kLatinA[(c - 0x100) / 2];
  if (c == 0x130 || c == 0x131) return {'I', kDot};
  if (c >= 0x134 && c <= 0x137) return {c < 0x136 ? 'J' : 'K', c < 0x136 ? kCircumflex : kCedilla};
  if (c >= 0x139 && c <= 0x148) {
    static const Letter odd[] = {{'L', kAcute}, {'L', kCedilla}, {'L', kCaron}, {'L', kDot}, {'L', kStroke},
                                 {'N', kAcute}, {'N', kCedilla}, {'N', kCaron}};
    return odd[(c - 0x139) / 2];
  }
  if (c >= 0x14A && c < 0x178) return kLatinA2[(c - 0x14A) / 2];
  if (c == 0x178) return {'Y', kDiaeresis};
  if (c >= 0x179 && c <= 0x17E) {
    static const Letter zs[] = {{'Z', kAcute}, {'Z', kDot}, {'Z', kCaron}};
    return zs[(c - 0x179) / 2];
  }
  return {0, 0};
}

bool upperCase(uint32_t c) { return lowerChar(c) != c; }

struct Unit {
  uint32_t primary;
  uint8_t accent;
  uint8_t upper; // the third level: 1 upper case, 2 full width, 4 katakana
};

constexpr uint32_t kLetters = 0x300; // A is here, each letter 8 apart: room for the letters a language adds

uint32_t letterWeight(char base, int after = 0) { return kLetters + static_cast<uint32_t>(base - 'A') * 8 + after; }

// The units one character (or a pair a language reads as one letter) gives; `used` is how many
// characters it took.
void unitsOf(const std::vector<uint32_t>& cs, size_t i, Family f, std::vector<Unit>& out, size_t& used) {
  uint32_t c = cs[i];
  uint32_t next = i + 1 < cs.size() ? cs[i + 1] : 0;
  auto same = [](uint32_t x, char letter) { return x == static_cast<uint32_t>(letter) || x == static_cast<uint32_t>(letter + 32); };
  uint8_t up = upperCase(c) ? 1 : 0;
  used = 1;
  // letters a language keeps apart, after Z or after their base letter
  if (f == Family::Danish || f == Family::XDanish) {
    if (f == Family::XDanish && same(c, 'A') && same(next, 'A')) {
      used = 2;
      out.push_back({letterWeight('Z', 3), kNone, up});
      return;
    }
    if (c == 0xC6 || c == 0xE6 || c == 0xC4 || c == 0xE4) return out.push_back({letterWeight('Z', 1), kNone, up});
    if (c == 0xD8 || c == 0xF8 || c == 0xD6 || c == 0xF6) return out.push_back({letterWeight('Z', 2), kNone, up});
    if (c == 0xC5 || c == 0xE5) return out.push_back({letterWeight('Z', 3), kNone, up});
  }
  if (f == Family::Swedish) {
    if (c == 0xC5 || c == 0xE5) return out.push_back({letterWeight('Z', 1), kNone, up});
    if (c == 0xC4 || c == 0xE4 || c == 0xC6 || c == 0xE6) return out.push_back({letterWeight('Z', 2), kNone, up});
    if (c == 0xD6 || c == 0xF6 || c == 0xD8 || c == 0xF8) return out.push_back({letterWeight('Z', 3), kNone, up});
  }
  if (f == Family::Spanish || f == Family::XSpanish) {
    if (c == 0xD1 || c == 0xF1) return out.push_back({letterWeight('N', 1), kNone, up});
    if (f == Family::XSpanish && ((same(c, 'C') && same(next, 'H')) || (same(c, 'L') && same(next, 'L')))) {
      used = 2;
      return out.push_back({letterWeight(same(c, 'C') ? 'C' : 'L', 1), kNone, up});
    }
  }
  // two letters written as one: each sorts as itself
  const char* pair = c == 0xDF ? "SS" : c == 0xC6 || c == 0xE6 ? "AE" : c == 0x152 || c == 0x153 ? "OE" : c == 0x132 || c == 0x133 ? "IJ" : nullptr;
  if (pair) {
    for (const char* p = pair; *p; ++p) out.push_back({letterWeight(*p), kNone, up});
    return;
  }
  if (c == 0xDE || c == 0xFE) return out.push_back({letterWeight('Z', 4), kNone, up}); // thorn
  if (Letter l = letterOf(c); l.base) return out.push_back({letterWeight(l.base), l.accent, up});
  // a full-width letter, digit or sign sorts with its ASCII form, after it; katakana with its
  // hiragana, after it
  if (c >= 0xFF01 && c <= 0xFF5E) {
    size_t before = out.size(), one = 0;
    unitsOf({c - 0xFEE0}, 0, f, out, one);
    for (size_t k = before; k < out.size(); ++k) out[k].upper |= 2;
    return;
  }
  if (c >= 0x30A1 && c <= 0x30F6) return out.push_back({0x1000 + c - 0x60, kNone, 4});
  if (c >= '0' && c <= '9') return out.push_back({0x200 + (c - '0'), kNone, 0});
  if (c < 0x80) return out.push_back({0x100 + c, kNone, 0}); // blanks and punctuation, before digits
  out.push_back({0x1000 + c, kNone, up});
}

} // namespace

bool knownSort(std::string_view name) {
  Sort s;
  return parseSort(name, s);
}

namespace {

Sort sortNamed(std::string_view name) {
  Sort s;
  if (!parseSort(name, s)) parseSort("GENERIC_M", s);
  return s;
}

std::string keyOf(std::string_view text, const Sort& s) {
  std::string key;
  std::vector<uint32_t> cs = decode(text);
  if (s.binary) {
    // the characters themselves, folded for _CI and _AI
    for (uint32_t c : cs) {
      if (s.accentBlind)
        if (Letter l = letterOf(c); l.base) c = static_cast<uint32_t>(l.base);
      appendChar(key, s.caseBlind ? lowerChar(c) : c);
    }
    key += '\0';
    return key;
  }
  std::vector<Unit> units;
  for (size_t i = 0, used = 1; i < cs.size(); i += used) unitsOf(cs, i, s.family, units, used);
  for (const Unit& u : units) {
    key += static_cast<char>(u.primary >> 16);
    key += static_cast<char>((u.primary >> 8) & 0xFF);
    key += static_cast<char>(u.primary & 0xFF);
  }
  key.append(3, '\0');
  if (!s.accentBlind) {
    for (const Unit& u : units) key += static_cast<char>(u.accent + 1);
    key += '\0';
  }
  if (!s.caseBlind) {
    for (const Unit& u : units) key += static_cast<char>(u.upper + 1);
    key += '\0';
  }
  return key;
}

} // namespace

std::string sortKey(std::string_view text, std::string_view sortName) { return keyOf(text, sortNamed(sortName)); }

namespace {

// No memory for a key: the bytes still give an order.
int compareBytes(int n1, const void* s1, int n2, const void* s2) {
  int c = std::memcmp(s1, s2, static_cast<size_t>(n1 < n2 ? n1 : n2));
  return c ? c : n1 - n2;
}

int compareUnder(const Sort& sort, int n1, const void* s1, int n2, const void* s2) {
  try {
    std::string a = keyOf({static_cast<const char*>(s1), static_cast<size_t>(n1)}, sort);
    std::string b = keyOf({static_cast<const char*>(s2), static_cast<size_t>(n2)}, sort);
    return a.compare(b);
  } catch (...) {
    return compareBytes(n1, s1, n2, s2);
  }
}

int lingCollate(void* arg, int n1, const void* s1, int n2, const void* s2) {
  try {
    // a sort compares many pairs: its name is read once
    thread_local std::string name;
    thread_local Sort sort;
    if (const std::string& now = static_cast<const Nls*>(arg)->sort; now != name) {
      sort = sortNamed(now);
      name = now;
    }
    return compareUnder(sort, n1, s1, n2, s2);
  } catch (...) {
    return compareBytes(n1, s1, n2, s2);
  }
}

} // namespace

namespace {

// A collation the COLLATE operator names: its sort, read once.
int namedCollate(void* arg, int n1, const void* s1, int n2, const void* s2) {
  return compareUnder(*static_cast<const Sort*>(arg), n1, s1, n2, s2);
}

constexpr std::string_view kNamedPrefix = "ORA_COLLATE_";

// SQLite asks for a collation the first time a statement names it.
void collationNeeded(void*, sqlite3* db, int, const char* name) {
  std::string_view n(name);
  if (n.rfind(kNamedPrefix, 0) != 0) return;
  std::string sort(n.substr(kNamedPrefix.size()));
  if (!knownSort(sort)) return;
  sqlite3_create_collation_v2(db, name, SQLITE_UTF8, new Sort(sortNamed(sort)), namedCollate,
                              [](void* p) { delete static_cast<Sort*>(p); });
}

std::string upperName(std::string_view name) {
  std::string s(name);
  for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

} // namespace

bool knownCollation(std::string_view name) {
  std::string n = upperName(name);
  return n == "BINARY" || n == "USING_NLS_COMP" || n.rfind("USING_NLS_SORT", 0) == 0 || knownSort(n);
}

std::string collationName(std::string_view name) {
  std::string n = upperName(name);
  // the pseudo-collations follow the session: its NLS_SORT, the engine's own comparison for BINARY
  if (n == "USING_NLS_COMP" || n.rfind("USING_NLS_SORT", 0) == 0) return "ORA_LING";
  if (n == "BINARY") return "BINARY";
  return std::string(kNamedPrefix) + n;
}

void registerLinguisticCollation(sqlite3* db) {
  sqlite3_create_collation(db, "ORA_LING", SQLITE_UTF8, &sessionNls(db), lingCollate);
  sqlite3_collation_needed(db, nullptr, collationNeeded);
}

} // namespace ora::fn
