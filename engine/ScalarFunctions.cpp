// Single-row functions beyond the core set: trigonometry, BITAND, REMAINDER, WIDTH_BUCKET,
// BIN_TO_NUM, LNNVL, TRANSLATE, SOUNDEX, the NLS_ case functions, NLSSORT, RAW and ROWID conversions, TO_MULTI_BYTE, TO_SINGLE_BYTE, CONVERT.
#include "BinaryFloats.h"
#include "FunctionUtil.h"
#include "LinguisticSort.h"
#include "CType.h"
#include "Number.h"
#include "NumberMath.h"
#include "ObjectTypes.h"
#include "OraFunctions.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>

namespace ora::fn {

namespace {

// ---- numbers ----

// Trigonometry in decimal at NUMBER's precision.
template <Trig F>
void trigMath(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  Num x;
  numOf(argv[0], x);
  resultExact(ctx, trigNum(F, x));
}

void fnAtan2(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  Num y, x;
  numOf(argv[0], y);
  numOf(argv[1], x);
  resultExact(ctx, atan2Num(y, x));
}

void fnBitand(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  auto whole = [](Val* v) -> int64_t {
    if (sqlite3_value_type(v) == SQLITE_INTEGER) return sqlite3_value_int64(v);
    double x = std::trunc(doubleOf(v));
    if (!(std::fabs(x) < 9.2e18)) throw OraError(1426);
    return static_cast<int64_t>(x);
  };
  sqlite3_result_int64(ctx, whole(argv[0]) & whole(argv[1]));
}

Num numArg(Val* v) {
  Num n;
  numOf(v, n);
  return n;
}

// The whole part of a quotient, toward zero.
Num wholePart(const Num& q) {
  Num r = roundNum(q, 0);
  if (!q.negative() && compare(r, q) > 0) r = sub(r, numFromInt(1));
  if (q.negative() && compare(r, q) < 0) r = add(r, numFromInt(1));
  return r;
}

// REMAINDER(n2, n1): n2 - n1 * N, N the integer nearest n2 / n1, the even one on a tie.
void fnRemainder(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  Num a = numArg(argv[0]), b = numArg(argv[1]);
  Num q = div(a, b);
  Num n = roundNum(q, 0);
  Num off = sub(n, q);
  if (off.negative()) off = neg(off);
  bool odd = !n.zero() && n.e == 0 && (n.lo & 1);
  if (compare(off, Num{5, -1}) == 0 && odd) n = sub(n, numFromInt(n.negative() ? -1 : 1));
  resultNum(ctx, sub(a, mul(b, n)));
}

// WIDTH_BUCKET(expr, min, max, n): equal-width buckets 1..n, 0 below the range, n + 1 above;
// a range given high to low counts downward.
void fnWidthBucket(Ctx* ctx, int, Val** argv) {
  for (int k = 1; k < 4; ++k)
    if (isNull(argv[k])) throw OraError(30494, std::to_string(k + 1));
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  Num x = numArg(argv[0]), lo = numArg(argv[1]), hi = numArg(argv[2]), n = numArg(argv[3]);
  n = wholePart(n);
  if (n.negative() || n.zero()) throw OraError(30494, "4");
  int order = compare(lo, hi);
  if (order == 0) throw OraError(30494, "2");
  if (order > 0) { // descending: mirror everything
    x = neg(x);
    lo = neg(lo);
    hi = neg(hi);
  }
  if (compare(x, lo) < 0) { sqlite3_result_int64(ctx, 0); return; }
  if (compare(x, hi) >= 0) { resultNum(ctx, add(n, numFromInt(1))); return; }
  resultNum(ctx, add(wholePart(div(mul(sub(x, lo), n), sub(hi, lo))), numFromInt(1)));
}

// BIN_TO_NUM(bit, ...): the bits as one binary number, most significant first.
void fnBinToNum(Ctx* ctx, int argc, Val** argv) {
  int64_t v = 0;
  if (argc > 62) throw OraError(1760);
  for (int k = 0; k < argc; ++k) {
    if (isNull(argv[k])) throw OraError(1760);
    Num b = numArg(argv[k]);
    if (!b.zero() && compare(b, numFromInt(1)) != 0) throw OraError(1760);
    v = v * 2 + (b.zero() ? 0 : 1);
  }
  sqlite3_result_int64(ctx, v);
}

// LNNVL(condition): true when the condition is false or unknown.
void fnLnnvl(Ctx* ctx, int, Val** argv) {
  sqlite3_result_int(ctx, isNull(argv[0]) || sqlite3_value_int64(argv[0]) == 0 ? 1 : 0);
}

// NANVL(n2, n1): n1 when n2 is NaN; a NUMBER never is.
void fnNanvl(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0]) || isNull(argv[1])) { sqlite3_result_null(ctx); return; }
  double x, alt;
  fpOf(argv[1], alt);
  if (fpOf(argv[0], x) && std::isnan(x)) { sqlite3_result_value(ctx, argv[1]); return; }
  if (sqlite3_value_type(argv[0]) == SQLITE_FLOAT) { sqlite3_result_value(ctx, argv[0]); return; }
  resultNum(ctx, numArg(argv[0]));
}

// ora_binary(kind, n): TO_BINARY_DOUBLE (kind 1) and TO_BINARY_FLOAT (2) of a number, NaN or an
// infinity: the nearest value of the binary type.
void fnBinary(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[1])) { sqlite3_result_null(ctx); return; }
  double d;
  if (sqlite3_value_type(argv[1]) == SQLITE_TEXT) fpOf(argv[1], d);
  else d = sqlite3_value_type(argv[1]) == SQLITE_FLOAT ? sqlite3_value_double(argv[1]) : numDouble(numArg(argv[1]));
  bool single = sqlite3_value_int64(argv[0]) == 2;
  // a finite number beyond BINARY_FLOAT's range
  if (single && std::isfinite(d) && std::isinf(static_cast<float>(d))) throw OraError(1426);
  resultFp(ctx, single ? kBinaryFloat : kBinaryDouble, d);
}

// ---- characters ----

// NCHR(n): the character of national (UTF-16) code n.
void fnNchr(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  double d = doubleOf(argv[0]);
  if (!(d >= 0 && d < 0x110000) || (d >= 0xD800 && d < 0xE000)) throw OraError(1428, textOf(argv[0]));
  std::string out;
  appendChar(out, static_cast<uint32_t>(d));
  resultText(ctx, out);
}

// TRANSLATE(s, from, to): each character of `from` becomes the one at its place in `to`, or
// goes when `to` is shorter; the first of repeated characters counts.
void fnTranslate(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  auto from = decode(textOf(argv[1])), to = decode(textOf(argv[2]));
  std::map<uint32_t, int64_t> map; // character -> replacement, -1 to drop
  for (size_t k = 0; k < from.size(); ++k)
    map.emplace(from[k], k < to.size() ? static_cast<int64_t>(to[k]) : -1);
  std::string s = textOf(argv[0]), out;
  for (size_t i = 0; i < s.size();) {
    uint32_t c = nextChar(s, i);
    auto it = map.find(c);
    if (it == map.end()) appendChar(out, c);
    else if (it->second >= 0) appendChar(out, static_cast<uint32_t>(it->second));
  }
  resultText(ctx, out);
}

// SOUNDEX: the first letter and the codes of the consonants after it, equal codes side by side
// (also across H and W) once, four characters padded with zeros.
void fnSoundex(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  static const char codes[] = "01230120022455012623010202"; // a..z
  std::string s = textOf(argv[0]), out;
  char prev = 0;
  for (char ch : s) {
    if (!ora::alphaC(static_cast<unsigned char>(ch)) || (static_cast<unsigned char>(ch) & 0x80)) continue;
    char c = static_cast<char>(ora::lowerC(static_cast<unsigned char>(ch)));
    char code = codes[c - 'a'];
    if (out.empty()) {
      out += static_cast<char>(ora::upperC(static_cast<unsigned char>(c)));
      prev = code;
      continue;
    }
    if (c == 'h' || c == 'w') continue;
    if (code == '0') { prev = 0; continue; }
    if (code != prev) out += code;
    prev = code;
    if (out.size() == 4) break;
  }
  if (out.empty()) { sqlite3_result_null(ctx); return; }
  out.resize(4, '0');
  resultText(ctx, out);
}

// The sort an optional 'NLS_SORT = name' of the NLS_ case functions and NLSSORT names, upper case.
std::string sortParam(int argc, Val** argv) {
  if (argc < 2) return "BINARY";
  std::string p = textOf(argv[1]);
  size_t eq = p.find('=');
  std::string name = mapChars(trimChars(p.substr(0, eq == std::string::npos ? 0 : eq), {' '}, true, true), upperChar);
  if (eq == std::string::npos || name != "NLS_SORT") throw OraError(12702);
  return mapChars(trimChars(p.substr(eq + 1), {' '}, true, true), upperChar);
}

// Turkish has a dotted and a dotless i in both cases: i/İ and ı/I
uint32_t turkishUpper(uint32_t c) { return c == 'i' ? 0x130 : c == 0x131 ? 'I' : upperChar(c); }
uint32_t turkishLower(uint32_t c) { return c == 'I' ? 0x131 : c == 0x130 ? 'i' : lowerChar(c); }

void fnNlsUpper(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  const std::string sort = sortParam(argc, argv);
  std::string out = mapChars(textOf(argv[0]), sort == "XTURKISH" ? turkishUpper : upperChar);
  if (sort == "XGERMAN") {
    // the German sort has no capital sharp s
    for (size_t at; (at = out.find("\xC3\x9F")) != std::string::npos;) out.replace(at, 2, "SS");
  }
  resultText(ctx, out);
}

void fnNlsLower(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  resultText(ctx, mapChars(textOf(argv[0]), sortParam(argc, argv) == "XTURKISH" ? turkishLower : lowerChar));
}

void fnNlsInitcap(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  const std::string sort = sortParam(argc, argv);
  bool dutch = sort == "XDUTCH", turkish = sort == "XTURKISH";
  std::string s = textOf(argv[0]), out;
  bool inWord = false;
  for (size_t i = 0; i < s.size();) {
    uint32_t c = nextChar(s, i);
    appendChar(out, inWord ? (turkish ? turkishLower(c) : lowerChar(c)) : (turkish ? turkishUpper(c) : upperChar(c)));
    // in Dutch, IJ at the start of a word is one letter
    if (dutch && !inWord && (c == 'i' || c == 'I') && i < s.size() && (s[i] == 'j' || s[i] == 'J')) {
      out += 'J';
      ++i;
    }
    inWord = isWordChar(c);
  }
  resultText(ctx, out);
}

// NLSSORT: the bytes that order the text as the named sort (the session's NLS_SORT without one)
// does, as RAW.
void fnNlssort(Ctx* ctx, int argc, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  std::string sort = argc > 1 && !isNull(argv[1]) ? sortParam(argc, argv) : sessionNls(sqlite3_context_db_handle(ctx)).sort;
  std::string s = sortKey(textOf(argv[0]), sort);
  sqlite3_result_blob(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

// ora_fold(text, 'BINARY_CI' | 'BINARY_AI'): the text in lower case, and in base letters for _AI,
// so LIKE matches as those sorts compare.
void fnFold(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  std::string key = sortKey(textOf(argv[0]), textOf(argv[1]));
  key.pop_back(); // the closing zero
  resultText(ctx, key);
}

// ora_num_char(x): TO_CHAR of a NUMBER without a model, in the session's decimal character.
void fnNumChar(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  std::string text = textOf(argv[0]);
  if (size_t at = text.find('.'); at != std::string::npos)
    text.replace(at, 1, sessionNls(sqlite3_context_db_handle(ctx)).numbers.decimal);
  resultText(ctx, text);
}

// ---- RAW and ROWID ----

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string bytesOfHex(std::string t) {
  if (t.size() % 2) t.insert(t.begin(), '0');
  std::string bytes;
  for (size_t i = 0; i < t.size(); i += 2) {
    int hi = hexDigit(t[i]), lo = hexDigit(t[i + 1]);
    if (hi < 0 || lo < 0) throw OraError(1465);
    bytes += static_cast<char>(hi * 16 + lo);
  }
  return bytes;
}

void fnHextoraw(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  if (sqlite3_value_type(argv[0]) == SQLITE_BLOB) { sqlite3_result_value(ctx, argv[0]); return; }
  std::string b = bytesOfHex(textOf(argv[0]));
  sqlite3_result_blob(ctx, b.data(), static_cast<int>(b.size()), SQLITE_TRANSIENT);
}

void fnRawtohex(Ctx* ctx, int, Val** argv) {
  Val* v = argv[0];
  if (isNull(v)) { sqlite3_result_null(ctx); return; }
  if (sqlite3_value_type(v) == SQLITE_BLOB) {
    resultText(ctx, hexText(static_cast<const unsigned char*>(sqlite3_value_blob(v)), sqlite3_value_bytes(v)));
    return;
  }
  if (isNumber(v)) throw OraError(932, "expected BINARY got NUMBER");
  // text is read as RAW the way Oracle converts it: as hexadecimal digits
  std::string b = bytesOfHex(textOf(v));
  resultText(ctx, hexText(reinterpret_cast<const unsigned char*>(b.data()), static_cast<int>(b.size())));
}

void fnChartorowid(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  std::string s = textOf(argv[0]);
  int64_t obj, row;
  if (!decodeRowid(s, obj, row)) throw OraError(1410);
  resultText(ctx, s);
}

void fnRowidtochar(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  std::string s = textOf(argv[0]);
  int64_t obj, row;
  if (!decodeRowid(s, obj, row)) throw OraError(1410);
  resultText(ctx, s);
}

// REFTOHEX(ref): the REF's hexadecimal text, as the client shows it
void fnReftohex(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  std::string s = textOf(argv[0]);
  if (!isRefText(s)) throw OraError(932, "expected REF got CHAR");
  resultText(ctx, refDisplay(s));
}

// ---- single-byte and multibyte forms ----

// Half-width katakana U+FF61.. and their full-width forms.
const uint16_t kFullKana[] = {
    0x3002, 0x300C, 0x300D, 0x3001, 0x30FB, 0x30F2, 0x30A1, 0x30A3, 0x30A5, 0x30A7, 0x30A9, 0x30E3, 0x30E5,
    0x30E7, 0x30C3, 0x30FC, 0x30A2, 0x30A4, 0x30A6, 0x30A8, 0x30AA, 0x30AB, 0x30AD, 0x30AF, 0x30B1, 0x30B3,
    0x30B5, 0x30B7, 0x30B9, 0x30BB, 0x30BD, 0x30BF, 0x30C1, 0x30C4, 0x30C6, 0x30C8, 0x30CA, 0x30CB, 0x30CC,
    0x30CD, 0x30CE, 0x30CF, 0x30D2, 0x30D5, 0x30D8, 0x30DB, 0x30DE, 0x30DF, 0x30E0, 0x30E1, 0x30E2, 0x30E4,
    0x30E6, 0x30E8, 0x30E9, 0x30EA, 0x30EB, 0x30EC, 0x30ED, 0x30EF, 0x30F3, 0x309B, 0x309C};
constexpr uint32_t kHalfKanaFirst = 0xFF61, kVoiced = 0xFF9E, kSemiVoiced = 0xFF9F;

// Whether a full-width kana takes the voiced (dakuten) or semi-voiced mark as a separate letter.
bool voicedBase(uint32_t full) {
  return (full >= 0x30AB && full <= 0x30C8 && full != 0x30C3) || (full >= 0x30CF && full <= 0x30DB) || full == 0x30A6;
}
bool semiVoicedBase(uint32_t full) { return full >= 0x30CF && full <= 0x30DB && (full - 0x30CF) % 3 == 0; }

uint32_t voicedOf(uint32_t full) { return full == 0x30A6 ? 0x30F4 : full + 1; }

void fnToMultiByte(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  auto s = decode(textOf(argv[0]));
  std::string out;
  for (size_t k = 0; k < s.size(); ++k) {
    uint32_t c = s[k];
    if (c == ' ') c = 0x3000;
    else if (c > 0x20 && c < 0x7F) c += 0xFEE0;
    else if (c >= kHalfKanaFirst && c <= kSemiVoiced) {
      c = kFullKana[c - kHalfKanaFirst];
      uint32_t next = k + 1 < s.size() ? s[k + 1] : 0;
      if (next == kVoiced && voicedBase(c)) { c = voicedOf(c); ++k; }
      else if (next == kSemiVoiced && semiVoicedBase(c)) { c += 2; ++k; }
    }
    appendChar(out, c);
  }
  resultText(ctx, out);
}

void fnToSingleByte(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  static const std::map<uint32_t, std::pair<uint32_t, uint32_t>> half = [] {
    std::map<uint32_t, std::pair<uint32_t, uint32_t>> m;
    for (uint32_t k = 0; k < sizeof kFullKana / sizeof kFullKana[0]; ++k) {
      uint32_t full = kFullKana[k], h = kHalfKanaFirst + k;
      m.emplace(full, std::make_pair(h, 0u));
      if (voicedBase(full)) m.emplace(voicedOf(full), std::make_pair(h, kVoiced));
      if (semiVoicedBase(full)) m.emplace(full + 2, std::make_pair(h, kSemiVoiced));
    }
    return m;
  }();
  std::string s = textOf(argv[0]), out;
  for (size_t i = 0; i < s.size();) {
    uint32_t c = nextChar(s, i);
    if (c == 0x3000) c = ' ';
    else if (c >= 0xFF01 && c <= 0xFF5E) c -= 0xFEE0;
    else if (auto it = half.find(c); it != half.end()) {
      appendChar(out, it->second.first);
      c = it->second.second;
      if (!c) continue;
    }
    appendChar(out, c);
  }
  resultText(ctx, out);
}

// ASCIISTR(s): ASCII kept, everything else (and the backslash) as \xxxx UTF-16 code units.
void fnAsciistr(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  std::string out;
  char buf[8];
  auto unit = [&](uint32_t u) {
    std::snprintf(buf, sizeof buf, "\\%04X", u);
    out += buf;
  };
  for (uint32_t c : decode(textOf(argv[0]))) {
    if (c < 0x80 && c != '\\') out += static_cast<char>(c);
    else if (c < 0x10000) unit(c);
    else {
      unit(0xD800 + ((c - 0x10000) >> 10));
      unit(0xDC00 + ((c - 0x10000) & 0x3FF));
    }
  }
  resultText(ctx, out);
}

// UNISTR(s): \xxxx (UTF-16 code units, surrogate pairs joined) and \\ for a backslash.
void fnUnistr(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  std::string s = textOf(argv[0]), out;
  auto hex4 = [&](size_t at, uint32_t& u) {
    if (at + 4 > s.size()) return false;
    u = 0;
    for (size_t k = at; k < at + 4; ++k) {
      if (!ora::xdigitC(static_cast<unsigned char>(s[k]))) return false;
      u = u * 16 + static_cast<uint32_t>(ora::digitC(static_cast<unsigned char>(s[k])) ? s[k] - '0' : (s[k] | 0x20) - 'a' + 10);
    }
    return true;
  };
  for (size_t i = 0; i < s.size();) {
    if (s[i] != '\\') { out += s[i++]; continue; }
    if (i + 1 < s.size() && s[i + 1] == '\\') { out += '\\'; i += 2; continue; }
    uint32_t u, low;
    if (!hex4(i + 1, u)) throw OraError(30186);
    i += 5;
    if (u >= 0xD800 && u < 0xDC00) {
      if (i >= s.size() || s[i] != '\\' || !hex4(i + 1, low) || low < 0xDC00 || low > 0xDFFF) throw OraError(30186);
      u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
      i += 5;
    } else if (u >= 0xDC00 && u <= 0xDFFF) {
      throw OraError(30186);
    }
    appendChar(out, u);
  }
  resultText(ctx, out);
}

// CONVERT(s, to[, from]): text is kept as Unicode, so only a narrower target changes it: what
// US7ASCII or WE8ISO8859P1 cannot hold becomes its base letter or a replacement character.
void fnConvert(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  static const char* const known[] = {"US7ASCII", "WE8ISO8859P1", "WE8DEC", "WE8MSWIN1252", "WE8PC850",
                                      "JA16SJIS", "JA16SJISTILDE", "JA16EUC", "JA16EUCTILDE", "UTF8",
                                      "AL32UTF8", "AL16UTF16", "UTF16", "WE8HP", "WE8ROMAN8",
                                      "WE8ISO8859P15", "EE8ISO8859P2", "EE8MSWIN1250", "CL8MSWIN1251",
                                      "WE8EBCDIC500", "ZHS16GBK", "KO16MSWIN949"};
  auto named = [&](Val* v) {
    std::string n = mapChars(trimChars(textOf(v), {' '}, true, true), upperChar);
    for (const char* k : known)
      if (n == k) return n;
    throw OraError(1482);
  };
  std::string to = named(argv[1]);
  if (argc > 2) named(argv[2]);
  std::string s = textOf(argv[0]);
  if (to != "US7ASCII" && to != "WE8ISO8859P1" && to != "WE8DEC" && to != "WE8MSWIN1252" && to != "WE8PC850") {
    resultText(ctx, s);
    return;
  }
  // Latin-1 letters U+00C0..U+00FF without their marks; '?' where there is none
  static const char base[] = "AAAAAA?CEEEEIIII?NOOO?O??UUUUY??aaaaaa?ceeeeiiii?nooo?o??uuuuy?y";
  bool ascii = to == "US7ASCII";
  std::string out;
  for (size_t i = 0; i < s.size();) {
    uint32_t c = nextChar(s, i);
    if (c < 0x80 || (!ascii && c <= 0xFF)) appendChar(out, c);
    else if (c >= 0xC0 && c <= 0xFF) out += base[c - 0xC0];
    else out += '?';
  }
  resultText(ctx, out);
}

} // namespace

const std::vector<Def>& scalarFunctionDefs() {
  static const std::vector<Def> defs = {
      {"SIN", 1, 1, guarded<trigMath<Trig::Sin>>, kNumber},
      {"COS", 1, 1, guarded<trigMath<Trig::Cos>>, kNumber},
      {"TAN", 1, 1, guarded<trigMath<Trig::Tan>>, kNumber},
      {"SINH", 1, 1, guarded<trigMath<Trig::Sinh>>, kNumber},
      {"COSH", 1, 1, guarded<trigMath<Trig::Cosh>>, kNumber},
      {"TANH", 1, 1, guarded<trigMath<Trig::Tanh>>, kNumber},
      {"ATAN", 1, 1, guarded<trigMath<Trig::Atan>>, kNumber},
      {"ASIN", 1, 1, guarded<trigMath<Trig::Asin>>, kNumber},
      {"ACOS", 1, 1, guarded<trigMath<Trig::Acos>>, kNumber},
      {"ATAN2", 2, 2, guarded<fnAtan2>, kNumber},
      {"BITAND", 2, 2, guarded<fnBitand>, kNumber},
      {"REMAINDER", 2, 2, guarded<fnRemainder>, kNumber},
      {"WIDTH_BUCKET", 4, 4, guarded<fnWidthBucket>, kNumber},
      {"BIN_TO_NUM", 1, -1, guarded<fnBinToNum>, kNumber},
      {"LNNVL", 1, 1, guarded<fnLnnvl>, -1},
      {"NANVL", 2, 2, guarded<fnNanvl>, kNumber},
      {"ora_binary", 2, 2, guarded<fnBinary>, kNumber},
      {"NCHR", 1, 1, guarded<fnNchr>, kVarchar2},
      {"TRANSLATE", 3, 3, guarded<fnTranslate>, kVarchar2},
      {"SOUNDEX", 1, 1, guarded<fnSoundex>, kVarchar2},
      {"NLS_UPPER", 1, 2, guarded<fnNlsUpper>, kVarchar2},
      {"NLS_LOWER", 1, 2, guarded<fnNlsLower>, kVarchar2},
      {"NLS_INITCAP", 1, 2, guarded<fnNlsInitcap>, kVarchar2},
      {"NLSSORT", 1, 2, guarded<fnNlssort>, kRaw},
      {"ora_fold", 2, 2, guarded<fnFold>, kVarchar2},
      {"ora_num_char", 1, 1, guarded<fnNumChar>, kVarchar2},
      {"HEXTORAW", 1, 1, guarded<fnHextoraw>, kRaw},
      {"RAWTOHEX", 1, 1, guarded<fnRawtohex>, kVarchar2},
      {"RAWTONHEX", 1, 1, guarded<fnRawtohex>, kVarchar2},
      {"CHARTOROWID", 1, 1, guarded<fnChartorowid>, kRowid},
      {"ROWIDTOCHAR", 1, 1, guarded<fnRowidtochar>, kVarchar2},
      {"ROWIDTONCHAR", 1, 1, guarded<fnRowidtochar>, kVarchar2}, // national text is Unicode like the rest
      {"REFTOHEX", 1, 1, guarded<fnReftohex>, kVarchar2},
      {"TO_MULTI_BYTE", 1, 1, guarded<fnToMultiByte>, kVarchar2},
      {"TO_SINGLE_BYTE", 1, 1, guarded<fnToSingleByte>, kVarchar2},
      {"CONVERT", 2, 3, guarded<fnConvert>, kVarchar2},
      {"ASCIISTR", 1, 1, guarded<fnAsciistr>, kVarchar2},
      {"UNISTR", 1, 1, guarded<fnUnistr>, kVarchar2},
  };
  return defs;
}

} // namespace ora::fn
