#include "Charset.h"

#include "CType.h"
#include "SqlText.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <sqlite3.h>

namespace ora {

namespace {

// Decodes one UTF-8 sequence at s[i]; a stray byte counts as one character of its own.
uint32_t decodeAt(std::string_view s, size_t& i) {
  unsigned char b = static_cast<unsigned char>(s[i]);
  int n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 1;
  if (n == 1) {
    ++i;
    return b < 0x80 ? b : 0xFFFD;
  }
  uint32_t c = b & (0x7F >> n);
  size_t k = 1;
  for (; k < static_cast<size_t>(n) && i + k < s.size(); ++k) {
    unsigned char x = static_cast<unsigned char>(s[i + k]);
    if ((x & 0xC0) != 0x80) break;
    c = (c << 6) | (x & 0x3F);
  }
  i += k;
  return k == static_cast<size_t>(n) ? c : 0xFFFD;
}

const char* kListTable = "DATABASE_PROPERTIES";

} // namespace

int compareText(std::string_view a, std::string_view b, Charset cs) {
  if (cs == Charset::JA16SJIS)
    return sjisCollate(nullptr, static_cast<int>(a.size()), a.data(), static_cast<int>(b.size()), b.data());
  int c = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
  return c ? c : a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

namespace {
std::mutex charsetsLock;
std::unordered_map<sqlite3*, Charset>& charsets() {
  static std::unordered_map<sqlite3*, Charset> m;
  return m;
}
} // namespace

void rememberCharset(sqlite3* db, Charset cs) {
  std::lock_guard<std::mutex> g(charsetsLock);
  charsets()[db] = cs;
}

Charset connectionCharset(sqlite3* db) {
  std::lock_guard<std::mutex> g(charsetsLock);
  auto it = charsets().find(db);
  return it == charsets().end() ? Charset::AL32UTF8 : it->second;
}

const char* charsetName(Charset cs) { return cs == Charset::JA16SJIS ? "JA16SJIS" : "AL32UTF8"; }

bool charsetFromName(std::string_view name, Charset& out) {
  std::string u(name);
  for (auto& c : u) c = static_cast<char>(ora::upperC(static_cast<unsigned char>(c)));
  if (u == "JA16SJIS") { out = Charset::JA16SJIS; return true; }
  if (u == "AL32UTF8") { out = Charset::AL32UTF8; return true; }
  return false;
}

int charBytes(uint32_t cp, Charset cs) {
  if (cs == Charset::AL32UTF8) return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
  // Shift-JIS: single bytes are ASCII and the half-width katakana; all else takes two
  return cp < 0x80 || (cp >= 0xFF61 && cp <= 0xFF9F) ? 1 : 2;
}

int64_t byteLength(std::string_view utf8, Charset cs) {
  if (cs == Charset::AL32UTF8) return static_cast<int64_t>(utf8.size());
  int64_t n = 0;
  for (size_t i = 0; i < utf8.size();) n += charBytes(decodeAt(utf8, i), cs);
  return n;
}

void byteMap(std::string_view utf8, Charset cs, std::vector<int64_t>& setOffsets,
             std::vector<size_t>& utf8Offsets) {
  setOffsets.clear();
  utf8Offsets.clear();
  int64_t at = 0;
  for (size_t i = 0; i < utf8.size();) {
    setOffsets.push_back(at);
    utf8Offsets.push_back(i);
    size_t from = i;
    uint32_t cp = decodeAt(utf8, i);
    // a stray byte stays one byte in UTF-8
    at += cs == Charset::AL32UTF8 ? static_cast<int64_t>(i - from) : charBytes(cp, cs);
  }
  setOffsets.push_back(at);
  utf8Offsets.push_back(utf8.size());
}

const Charset* charsetConstant(Charset cs) {
  static const Charset sjis = Charset::JA16SJIS, utf8 = Charset::AL32UTF8;
  return cs == Charset::JA16SJIS ? &sjis : &utf8;
}

Charset databaseCharset(const std::string& folder) {
  Charset cs = Charset::AL32UTF8;
  sqlite3* sys = nullptr;
  std::string path = folder + "/system.db";
  if (sqlite3_open_v2(path.c_str(), &sys, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_busy_timeout(sys, 2000);
    sqlite3_stmt* st = nullptr;
    std::string sql = std::string("SELECT VALUE FROM ") + quoteIdent(kListTable) + " WHERE NAME = 'NLS_CHARACTERSET'";
    if (sqlite3_prepare_v2(sys, sql.c_str(), -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW) {
      auto p = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
      if (p) charsetFromName(p, cs);
    }
    sqlite3_finalize(st);
  }
  sqlite3_close(sys);
  return cs;
}

bool recordCharset(sqlite3* userList, Charset cs) {
  std::string table = quoteIdent(kListTable);
  if (execOne(userList, "CREATE TABLE IF NOT EXISTS " + table + " (NAME TEXT PRIMARY KEY, VALUE TEXT NOT NULL)") != SQLITE_OK)
    return false;
  return execOne(userList, "INSERT OR REPLACE INTO " + table + " (NAME, VALUE) VALUES ('NLS_CHARACTERSET', " +
                               quoteString(charsetName(cs)) + ")") == SQLITE_OK;
}

} // namespace ora
