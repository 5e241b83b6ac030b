// The functions of supplied packages a query may call that work on numbers and bytes:
// DBMS_RANDOM, UTL_RAW, UTL_ENCODE's Base64, UTL_I18N's character set conversions and
// DBMS_UTILITY.GET_HASH_VALUE. A RAW argument is bytes, or text read as hexadecimal digits.
#include "Charset.h"
#include "FunctionUtil.h"
#include "SuppliedPackages.h"

#include <sodium.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <mutex>
#include <random>

namespace ora::fn {

namespace {

// ---- DBMS_RANDOM ----

// One generator for the process: SEED makes its sequence repeat.
std::mutex randomLock;
std::mt19937_64& generator() {
  static std::mt19937_64 g(static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                           std::random_device{}());
  return g;
}

double uniform() {
  std::lock_guard<std::mutex> hold(randomLock);
  // 53 random bits: at least 0, less than 1
  return static_cast<double>(generator()() >> 11) * (1.0 / 9007199254740992.0);
}

uint64_t randomBits() {
  std::lock_guard<std::mutex> hold(randomLock);
  return generator()();
}

void fnRandomValue(Ctx* ctx, int argc, Val** argv) {
  double u = uniform();
  if (argc == 0) { sqlite3_result_double(ctx, u); return; }
  if (argc != 2) throw OraError(909);
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  double low = doubleOf(argv[0]), high = doubleOf(argv[1]);
  double x = low + (high - low) * u;
  // never the upper bound itself, also where rounding would reach it
  if (high > low && x >= high) x = std::nextafter(high, low);
  resultDouble(ctx, x);
}

void fnRandomNormal(Ctx* ctx, int, Val**) {
  double u1 = uniform(), u2 = uniform();
  if (u1 <= 0) u1 = 1e-300;
  sqlite3_result_double(ctx, std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * M_PI * u2));
}

void fnRandomRandom(Ctx* ctx, int, Val**) {
  // a binary integer: -2^31 up to 2^31 - 1
  sqlite3_result_int64(ctx, static_cast<int64_t>(static_cast<int32_t>(randomBits() & 0xffffffffu)));
}

void fnRandomString(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[1])) { sqlite3_result_null(ctx); return; }
  std::string opt = textOf(argv[0]);
  int64_t len = std::min<int64_t>(intOf(argv[1]), kMaxText);
  if (len <= 0) { sqlite3_result_null(ctx); return; }
  static const std::string upper = "ABCDEFGHIJKLMNOPQRSTUVWXYZ", lower = "abcdefghijklmnopqrstuvwxyz",
                           digits = "0123456789";
  std::string pool;
  switch (opt.empty() ? 'U' : opt[0]) {
  case 'l': case 'L': pool = lower; break;
  case 'a': case 'A': pool = upper + lower; break;
  case 'x': case 'X': pool = upper + digits; break;
  case 'p': case 'P':
    for (char c = ' '; c <= '~'; ++c) pool += c;
    break;
  default: pool = upper; // 'U' and anything else
  }
  std::string out;
  for (int64_t k = 0; k < len; ++k) out += pool[static_cast<size_t>(uniform() * static_cast<double>(pool.size()))];
  resultText(ctx, out);
}

// ---- RAW values ----

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string rawOf(Val* v) {
  if (sqlite3_value_type(v) == SQLITE_BLOB) {
    const void* p = sqlite3_value_blob(v);
    int n = sqlite3_value_bytes(v);
    return p && n > 0 ? std::string(static_cast<const char*>(p), static_cast<size_t>(n)) : std::string();
  }
  std::string t = textOf(v), out;
  if (t.size() % 2) t.insert(0, "0");
  for (size_t i = 0; i < t.size(); i += 2) {
    int hi = hexDigit(t[i]), lo = hexDigit(t[i + 1]);
    if (hi < 0 || lo < 0) throw OraError(1465);
    out += static_cast<char>(hi * 16 + lo);
  }
  return out;
}

// A RAW result; no bytes is NULL, as Oracle has no empty RAW.
void resultRaw(Ctx* ctx, const std::string& bytes) {
  if (bytes.empty()) sqlite3_result_null(ctx);
  else sqlite3_result_blob(ctx, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
}

[[noreturn]] void valueError() { throw OraError(6502); }

// ---- DBMS_CRYPTO ----

// HASH(src, typ): the digest of a RAW's bytes, or of a CLOB's text in the database character
// set; typ is one of the package's HASH_ constants (2 MD5, 3 SH1, 4 SH256, 5 SH384, 6 SH512).
void fnCryptoHash(Ctx* ctx, int, Val** argv) {
  static const char* const methods[] = {nullptr, nullptr, "MD5", "SHA1", "SHA256", "SHA384", "SHA512"};
  if (isNull(argv[1])) throw OraError(28829);
  int64_t typ = intOf(argv[1]);
  if (typ < 2 || typ > 6) throw OraError(28827);
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  std::string bytes = sqlite3_value_type(argv[0]) == SQLITE_BLOB
                          ? rawOf(argv[0])
                          : charsetBytes(textOf(argv[0]), connectionCharset(sqlite3_context_db_handle(ctx)));
  resultRaw(ctx, digest(std::vector<uint8_t>(bytes.begin(), bytes.end()), methods[typ]));
}

// RANDOMBYTES(n): n bytes from the system's cryptographic source.
void fnCryptoRandomBytes(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) throw OraError(6502);
  int64_t n = intOf(argv[0]);
  if (n < 1 || n > 2000) throw OraError(6502);
  std::string bytes(static_cast<size_t>(n), '\0');
  randombytes_buf(bytes.data(), bytes.size());
  resultRaw(ctx, bytes);
}

void fnCastToRaw(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  resultRaw(ctx, charsetBytes(textOf(argv[0]), connectionCharset(sqlite3_context_db_handle(ctx))));
}

void fnCastToVarchar2(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  std::string text;
  if (!charsetText(rawOf(argv[0]), connectionCharset(sqlite3_context_db_handle(ctx)), text)) valueError();
  resultText(ctx, text);
}

void fnRawLength(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  sqlite3_result_int64(ctx, static_cast<int64_t>(rawOf(argv[0]).size()));
}

void fnRawConcat(Ctx* ctx, int argc, Val** argv) {
  std::string out;
  for (int k = 0; k < argc; ++k)
    if (!isNull(argv[k])) out += rawOf(argv[k]);
  if (out.size() > 32767) valueError();
  resultRaw(ctx, out);
}

// SUBSTR(r, pos [, len]): pos counts from the end when negative; 0, or beyond the bytes, and a
// length under 1 or past the end are errors.
void fnRawSubstr(Ctx* ctx, int argc, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  std::string r = rawOf(argv[0]);
  const int64_t n = static_cast<int64_t>(r.size());
  if (isNull(argv[1])) valueError();
  int64_t pos = intOf(argv[1]);
  if (pos == 0 || pos > n || -pos > n) valueError();
  if (pos < 0) pos = n + pos + 1;
  int64_t len = n - pos + 1;
  if (argc > 2 && !isNull(argv[2])) {
    len = intOf(argv[2]);
    if (len < 1 || pos + len - 1 > n) valueError();
  }
  resultRaw(ctx, r.substr(static_cast<size_t>(pos - 1), static_cast<size_t>(len)));
}

// BIT_AND, BIT_OR, BIT_XOR: byte by byte over the shorter; the longer's rest follows as it is.
template <int Op> void fnRawBits(Ctx* ctx, int, Val** argv) {
  if (anyNull(2, argv)) { sqlite3_result_null(ctx); return; }
  std::string a = rawOf(argv[0]), b = rawOf(argv[1]);
  if (a.size() < b.size()) std::swap(a, b);
  for (size_t k = 0; k < b.size(); ++k) {
    unsigned char x = static_cast<unsigned char>(a[k]), y = static_cast<unsigned char>(b[k]);
    a[k] = static_cast<char>(Op == 0 ? (x & y) : Op == 1 ? (x | y) : (x ^ y));
  }
  resultRaw(ctx, a);
}

void fnRawComplement(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  std::string r = rawOf(argv[0]);
  for (auto& c : r) c = static_cast<char>(~static_cast<unsigned char>(c));
  resultRaw(ctx, r);
}

void fnRawReverse(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) valueError();
  std::string r = rawOf(argv[0]);
  if (r.empty()) valueError();
  std::reverse(r.begin(), r.end());
  resultRaw(ctx, r);
}

void fnRawCopies(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0]) || isNull(argv[1])) valueError();
  std::string r = rawOf(argv[0]), out;
  int64_t n = intOf(argv[1]);
  if (r.empty() || n < 1 || static_cast<int64_t>(r.size()) * n > 32767) valueError();
  for (int64_t k = 0; k < n; ++k) out += r;
  resultRaw(ctx, out);
}

// COMPARE(r1, r2 [, pad]): 0 when equal, else the first byte (from 1) where they differ, the
// shorter padded with `pad` (zero by default).
void fnRawCompare(Ctx* ctx, int argc, Val** argv) {
  std::string a = isNull(argv[0]) ? std::string() : rawOf(argv[0]);
  std::string b = isNull(argv[1]) ? std::string() : rawOf(argv[1]);
  char pad = 0;
  if (argc > 2 && !isNull(argv[2])) {
    std::string p = rawOf(argv[2]);
    if (!p.empty()) pad = p[0];
  }
  size_t n = std::max(a.size(), b.size());
  for (size_t k = 0; k < n; ++k) {
    char x = k < a.size() ? a[k] : pad, y = k < b.size() ? b[k] : pad;
    if (x != y) { sqlite3_result_int64(ctx, static_cast<int64_t>(k + 1)); return; }
  }
  sqlite3_result_int(ctx, 0);
}

// CAST_FROM_NUMBER: the number in Oracle's internal form (an exponent byte, then base-100
// digits; a negative number's complemented and ended by 102).
void fnCastFromNumber(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  Decimal d = decimalOf(argv[0]);
  normalize(d);
  if (d.zero()) { resultRaw(ctx, std::string(1, '\x80')); return; }
  std::string digits = d.digits;
  int point = d.point;
  if (point % 2) { digits.insert(0, "0"); ++point; }
  if (digits.size() % 2) digits += '0';
  int exp = point / 2;
  std::string out(1, static_cast<char>(d.neg ? 0x3F - exp : 0xC0 + exp));
  for (size_t k = 0; k < digits.size() && k < 40; k += 2) {
    int v = (digits[k] - '0') * 10 + (digits[k + 1] - '0');
    out += static_cast<char>(d.neg ? 101 - v : v + 1);
  }
  if (d.neg && out.size() < 21) out += static_cast<char>(102);
  resultRaw(ctx, out);
}

void fnCastToNumber(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  std::string r = rawOf(argv[0]);
  if (r.empty()) valueError();
  auto at = [&](size_t k) { return static_cast<unsigned char>(r[k]); };
  if (r.size() == 1 && at(0) == 0x80) { sqlite3_result_int(ctx, 0); return; }
  bool neg = at(0) < 0x80;
  int exp = neg ? 0x3F - at(0) : at(0) - 0xC0;
  Decimal d;
  d.neg = neg;
  for (size_t k = 1; k < r.size(); ++k) {
    int v = neg ? 101 - at(k) : at(k) - 1;
    if (neg && at(k) == 102 && k + 1 == r.size()) break;
    if (v < 0 || v > 99) valueError();
    d.digits += static_cast<char>('0' + v / 10);
    d.digits += static_cast<char>('0' + v % 10);
  }
  d.point = exp * 2;
  normalize(d);
  resultDecimal(ctx, d);
}

// CAST_FROM_BINARY_INTEGER(n [, endianess]): four bytes, big-endian (1) unless 2 (little) is given.
void fnCastFromBinaryInteger(Ctx* ctx, int argc, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  int64_t n = intOf(argv[0]);
  if (n < INT32_MIN || n > INT32_MAX) valueError();
  uint32_t u = static_cast<uint32_t>(static_cast<int32_t>(n));
  bool little = argc > 1 && !isNull(argv[1]) && intOf(argv[1]) == 2;
  std::string out(4, '\0');
  for (int k = 0; k < 4; ++k) out[static_cast<size_t>(little ? k : 3 - k)] = static_cast<char>((u >> (8 * k)) & 0xff);
  resultRaw(ctx, out);
}

void fnCastToBinaryInteger(Ctx* ctx, int argc, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  std::string r = rawOf(argv[0]);
  if (r.empty() || r.size() > 4) valueError();
  bool little = argc > 1 && !isNull(argv[1]) && intOf(argv[1]) == 2;
  if (little) std::reverse(r.begin(), r.end());
  r.insert(0, 4 - r.size(), '\0');
  uint32_t u = 0;
  for (char c : r) u = (u << 8) | static_cast<unsigned char>(c);
  sqlite3_result_int64(ctx, static_cast<int32_t>(u));
}

// ---- UTL_ENCODE ----

const char* const kBase64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The encoding's text as bytes, a line break after every 64 characters.
void fnBase64Encode(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  std::string in = rawOf(argv[0]), out;
  size_t line = 0;
  for (size_t i = 0; i < in.size(); i += 3) {
    uint32_t v = static_cast<unsigned char>(in[i]) << 16;
    if (i + 1 < in.size()) v |= static_cast<unsigned char>(in[i + 1]) << 8;
    if (i + 2 < in.size()) v |= static_cast<unsigned char>(in[i + 2]);
    char quad[4] = {kBase64[(v >> 18) & 63], kBase64[(v >> 12) & 63], i + 1 < in.size() ? kBase64[(v >> 6) & 63] : '=',
                    i + 2 < in.size() ? kBase64[v & 63] : '='};
    for (char c : quad) {
      if (line == 64) {
        out += "\r\n";
        line = 0;
      }
      out += c;
      ++line;
    }
  }
  resultRaw(ctx, out);
}

void fnBase64Decode(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  std::string in = rawOf(argv[0]), out;
  uint32_t acc = 0;
  int bits = 0;
  for (char c : in) {
    const char* p = c ? std::strchr(kBase64, c) : nullptr;
    if (!p) continue; // padding and line breaks
    acc = (acc << 6) | static_cast<uint32_t>(p - kBase64);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((acc >> bits) & 0xff);
    }
  }
  resultRaw(ctx, out);
}

// ---- UTL_I18N ----

Charset namedCharset(Ctx* ctx, Val* name) {
  Charset cs = connectionCharset(sqlite3_context_db_handle(ctx));
  if (isNull(name)) return cs;
  std::string n = mapChars(textOf(name), upperChar);
  if (n == "UTF8") n = "AL32UTF8";
  if (!charsetFromName(n, cs)) throw OraError(1482); // unsupported character set
  return cs;
}

void fnStringToRaw(Ctx* ctx, int argc, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  Charset cs = namedCharset(ctx, argc > 1 ? argv[1] : nullptr);
  resultRaw(ctx, charsetBytes(textOf(argv[0]), cs));
}

void fnRawToChar(Ctx* ctx, int argc, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  Charset cs = namedCharset(ctx, argc > 1 ? argv[1] : nullptr);
  std::string text;
  if (!charsetText(rawOf(argv[0]), cs, text)) valueError();
  resultText(ctx, text);
}

// ---- DBMS_UTILITY.GET_HASH_VALUE ----

// A value from base up to base + hash_size - 1, the same for the same name.
void fnGetHashValue(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[1]) || isNull(argv[2])) valueError();
  std::string name = textOf(argv[0]);
  int64_t base = intOf(argv[1]), size = intOf(argv[2]);
  if (size < 1) valueError();
  uint64_t h = 14695981039346656037ull;
  for (unsigned char c : name) h = (h ^ c) * 1099511628211ull;
  sqlite3_result_int64(ctx, base + static_cast<int64_t>(h % static_cast<uint64_t>(size)));
}

// DBMS_ILM.ARCHIVESTATENAME(n): the ORA_ARCHIVE_STATE of a row active (0) or archived (any other).
void fnArchiveStateName(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) {
    sqlite3_result_null(ctx);
    return;
  }
  resultText(ctx, doubleOf(argv[0]) == 0 ? "0" : "1");
}

} // namespace

void seedRandom(const std::string& seed) {
  std::seed_seq seq(seed.begin(), seed.end());
  std::lock_guard<std::mutex> hold(randomLock);
  generator().seed(seq);
}

const std::vector<Def>& suppliedFunctionDefs() {
  static const std::vector<Def> defs = {
      {"ora_dbms_random_value", 0, 2, guarded<fnRandomValue>, kNumber, true},
      {"ora_dbms_random_normal", 0, 0, guarded<fnRandomNormal>, kNumber, true},
      {"ora_dbms_random_random", 0, 0, guarded<fnRandomRandom>, kNumber, true},
      {"ora_dbms_random_string", 2, 2, guarded<fnRandomString>, kVarchar2, true},
      {"ora_utl_raw_cast_to_raw", 1, 1, guarded<fnCastToRaw>, kRaw},
      {"ora_dbms_crypto_hash", 2, 2, guarded<fnCryptoHash>, kRaw},
      {"ora_dbms_crypto_randombytes", 1, 1, guarded<fnCryptoRandomBytes>, kRaw, true},
      {"ora_utl_raw_cast_to_varchar2", 1, 1, guarded<fnCastToVarchar2>, kVarchar2},
      {"ora_utl_raw_length", 1, 1, guarded<fnRawLength>, kNumber},
      {"ora_utl_raw_concat", 1, 12, guarded<fnRawConcat>, kRaw},
      {"ora_utl_raw_substr", 2, 3, guarded<fnRawSubstr>, kRaw},
      {"ora_utl_raw_bit_and", 2, 2, guarded<fnRawBits<0>>, kRaw},
      {"ora_utl_raw_bit_or", 2, 2, guarded<fnRawBits<1>>, kRaw},
      {"ora_utl_raw_bit_xor", 2, 2, guarded<fnRawBits<2>>, kRaw},
      {"ora_utl_raw_bit_complement", 1, 1, guarded<fnRawComplement>, kRaw},
      {"ora_utl_raw_reverse", 1, 1, guarded<fnRawReverse>, kRaw},
      {"ora_utl_raw_copies", 2, 2, guarded<fnRawCopies>, kRaw},
      {"ora_utl_raw_compare", 2, 3, guarded<fnRawCompare>, kNumber},
      {"ora_utl_raw_cast_from_number", 1, 1, guarded<fnCastFromNumber>, kRaw},
      {"ora_utl_raw_cast_to_number", 1, 1, guarded<fnCastToNumber>, kNumber},
      {"ora_utl_raw_cast_from_binary_integer", 1, 2, guarded<fnCastFromBinaryInteger>, kRaw},
      {"ora_utl_raw_cast_to_binary_integer", 1, 2, guarded<fnCastToBinaryInteger>, kNumber},
      {"ora_utl_encode_base64_encode", 1, 1, guarded<fnBase64Encode>, kRaw},
      {"ora_utl_encode_base64_decode", 1, 1, guarded<fnBase64Decode>, kRaw},
      {"ora_utl_i18n_string_to_raw", 1, 2, guarded<fnStringToRaw>, kRaw},
      {"ora_utl_i18n_raw_to_char", 1, 2, guarded<fnRawToChar>, kVarchar2},
      {"ora_dbms_utility_get_hash_value", 3, 3, guarded<fnGetHashValue>, kNumber},
      {"ora_dbms_ilm_archivestatename", 1, 1, guarded<fnArchiveStateName>, kVarchar2},
  };
  return defs;
}

} // namespace ora::fn
