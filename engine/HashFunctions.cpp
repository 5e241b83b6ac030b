// STANDARD_HASH and ORA_HASH: digests of a value's bytes as Oracle stores it (text in the
// database character set, numbers and dates in their internal form).
#include "Charset.h"
#include "FunctionUtil.h"
#include "Number.h"

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace ora::fn {

namespace {

uint32_t rol(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }
uint32_t ror(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }
uint64_t ror64(uint64_t x, int n) { return (x >> n) | (x << (64 - n)); }

// The message with the usual padding: 0x80, zeros, and the bit length in `lenBytes` bytes.
std::vector<uint8_t> padded(const std::vector<uint8_t>& in, size_t block, size_t lenBytes, bool bigEndian) {
  std::vector<uint8_t> m(in);
  uint64_t bits = static_cast<uint64_t>(in.size()) * 8;
  m.push_back(0x80);
  while (m.size() % block != block - lenBytes) m.push_back(0);
  for (size_t k = 0; k < lenBytes; ++k) {
    size_t shift = bigEndian ? (lenBytes - 1 - k) * 8 : k * 8;
    m.push_back(shift < 64 ? static_cast<uint8_t>(bits >> shift) : 0);
  }
  return m;
}

std::string md5(const std::vector<uint8_t>& in) {
  static const int s[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 5, 9, 14, 20, 5, 9,
                            14, 20, 5, 9, 14, 20, 5, 9, 14, 20, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                            4, 11, 16, 23, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};
  uint32_t k[64];
  for (int i = 0; i < 64; ++i) k[i] = static_cast<uint32_t>(std::fabs(std::sin(i + 1.0)) * 4294967296.0);
  uint32_t h[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
  std::vector<uint8_t> m = padded(in, 64, 8, false);
  for (size_t off = 0; off < m.size(); off += 64) {
    uint32_t w[16];
    for (int i = 0; i < 16; ++i)
      w[i] = m[off + i * 4] | (m[off + i * 4 + 1] << 8) | (m[off + i * 4 + 2] << 16) |
             (static_cast<uint32_t>(m[off + i * 4 + 3]) << 24);
    uint32_t a = h[0], b = h[1], c = h[2], d = h[3];
    for (int i = 0; i < 64; ++i) {
      uint32_t f;
      int g;
      if (i < 16) f = (b & c) | (~b & d), g = i;
      else if (i < 32) f = (d & b) | (~d & c), g = (5 * i + 1) % 16;
      else if (i < 48) f = b ^ c ^ d, g = (3 * i + 5) % 16;
      else f = c ^ (b | ~d), g = (7 * i) % 16;
      uint32_t t = d;
      d = c;
      c = b;
      b = b + rol(a + f + k[i] + w[g], s[i]);
      a = t;
    }
    h[0] += a, h[1] += b, h[2] += c, h[3] += d;
  }
  std::string out;
  for (uint32_t x : h)
    for (int i = 0; i < 4; ++i) out += static_cast<char>(x >> (8 * i));
  return out;
}

std::string sha1(const std::vector<uint8_t>& in) {
  uint32_t h[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
  std::vector<uint8_t> m = padded(in, 64, 8, true);
  for (size_t off = 0; off < m.size(); off += 64) {
    uint32_t w[80];
    for (int i = 0; i < 16; ++i)
      w[i] = (static_cast<uint32_t>(m[off + i * 4]) << 24) | (m[off + i * 4 + 1] << 16) | (m[off + i * 4 + 2] << 8) |
             m[off + i * 4 + 3];
    for (int i = 16; i < 80; ++i) w[i] = rol(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
    for (int i = 0; i < 80; ++i) {
      uint32_t f, k;
      if (i < 20) f = (b & c) | (~b & d), k = 0x5A827999;
      else if (i < 40) f = b ^ c ^ d, k = 0x6ED9EBA1;
      else if (i < 60) f = (b & c) | (b & d) | (c & d), k = 0x8F1BBCDC;
      else f = b ^ c ^ d, k = 0xCA62C1D6;
      uint32_t t = rol(a, 5) + f + e + k + w[i];
      e = d, d = c, c = rol(b, 30), b = a, a = t;
    }
    h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e;
  }
  std::string out;
  for (uint32_t x : h)
    for (int i = 3; i >= 0; --i) out += static_cast<char>(x >> (8 * i));
  return out;
}

std::string sha256(const std::vector<uint8_t>& in) {
  static const uint32_t k[64] = {
      0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5, 0xd807aa98,
      0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786,
      0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8,
      0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13,
      0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819,
      0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a,
      0x5b9cca4f, 0x682e6ff3, 0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7,
      0xc67178f2};
  uint32_t h[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::vector<uint8_t> m = padded(in, 64, 8, true);
  for (size_t off = 0; off < m.size(); off += 64) {
    uint32_t w[64];
    for (int i = 0; i < 16; ++i)
      w[i] = (static_cast<uint32_t>(m[off + i * 4]) << 24) | (m[off + i * 4 + 1] << 16) | (m[off + i * 4 + 2] << 8) |
             m[off + i * 4 + 3];
    for (int i = 16; i < 64; ++i) {
      uint32_t s0 = ror(w[i - 15], 7) ^ ror(w[i - 15], 18) ^ (w[i - 15] >> 3);
      uint32_t s1 = ror(w[i - 2], 17) ^ ror(w[i - 2], 19) ^ (w[i - 2] >> 10);
      w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t v[8];
    std::memcpy(v, h, sizeof v);
    for (int i = 0; i < 64; ++i) {
      uint32_t S1 = ror(v[4], 6) ^ ror(v[4], 11) ^ ror(v[4], 25);
      uint32_t ch = (v[4] & v[5]) ^ (~v[4] & v[6]);
      uint32_t t1 = v[7] + S1 + ch + k[i] + w[i];
      uint32_t S0 = ror(v[0], 2) ^ ror(v[0], 13) ^ ror(v[0], 22);
      uint32_t maj = (v[0] & v[1]) ^ (v[0] & v[2]) ^ (v[1] & v[2]);
      uint32_t t2 = S0 + maj;
      std::memmove(v + 1, v, 7 * sizeof(uint32_t));
      v[4] += t1;
      v[0] = t1 + t2;
    }
    for (int i = 0; i < 8; ++i) h[i] += v[i];
  }
  std::string out;
  for (uint32_t x : h)
    for (int i = 3; i >= 0; --i) out += static_cast<char>(x >> (8 * i));
  return out;
}

// SHA-512, or SHA-384 (its other start values, the digest cut to 48 bytes).
std::string sha512(const std::vector<uint8_t>& in, bool is384) {
  static const uint64_t k[80] = {
      0x428a2f98d728ae22, 0x7137449123ef65cd, 0xb5c0fbcfec4d3b2f, 0xe9b5dba58189dbbc, 0x3956c25bf348b538,
      0x59f111f1b605d019, 0x923f82a4af194f9b, 0xab1c5ed5da6d8118, 0xd807aa98a3030242, 0x12835b0145706fbe,
      0x243185be4ee4b28c, 0x550c7dc3d5ffb4e2, 0x72be5d74f27b896f, 0x80deb1fe3b1696b1, 0x9bdc06a725c71235,
      0xc19bf174cf692694, 0xe49b69c19ef14ad2, 0xefbe4786384f25e3, 0x0fc19dc68b8cd5b5, 0x240ca1cc77ac9c65,
      0x2de92c6f592b0275, 0x4a7484aa6ea6e483, 0x5cb0a9dcbd41fbd4, 0x76f988da831153b5, 0x983e5152ee66dfab,
      0xa831c66d2db43210, 0xb00327c898fb213f, 0xbf597fc7beef0ee4, 0xc6e00bf33da88fc2, 0xd5a79147930aa725,
      0x06ca6351e003826f, 0x142929670a0e6e70, 0x27b70a8546d22ffc, 0x2e1b21385c26c926, 0x4d2c6dfc5ac42aed,
      0x53380d139d95b3df, 0x650a73548baf63de, 0x766a0abb3c77b2a8, 0x81c2c92e47edaee6, 0x92722c851482353b,
      0xa2bfe8a14cf10364, 0xa81a664bbc423001, 0xc24b8b70d0f89791, 0xc76c51a30654be30, 0xd192e819d6ef5218,
      0xd69906245565a910, 0xf40e35855771202a, 0x106aa07032bbd1b8, 0x19a4c116b8d2d0c8, 0x1e376c085141ab53,
      0x2748774cdf8eeb99, 0x34b0bcb5e19b48a8, 0x391c0cb3c5c95a63, 0x4ed8aa4ae3418acb, 0x5b9cca4f7763e373,
      0x682e6ff3d6b2b8a3, 0x748f82ee5defb2fc, 0x78a5636f43172f60, 0x84c87814a1f0ab72, 0x8cc702081a6439ec,
      0x90befffa23631e28, 0xa4506cebde82bde9, 0xbef9a3f7b2c67915, 0xc67178f2e372532b, 0xca273eceea26619c,
      0xd186b8c721c0c207, 0xeada7dd6cde0eb1e, 0xf57d4f7fee6ed178, 0x06f067aa72176fba, 0x0a637dc5a2c898a6,
      0x113f9804bef90dae, 0x1b710b35131c471b, 0x28db77f523047d84, 0x32caab7b40c72493, 0x3c9ebe0a15c9bebc,
      0x431d67c49c100d4c, 0x4cc5d4becb3e42b6, 0x597f299cfc657e2a, 0x5fcb6fab3ad6faec, 0x6c44198c4a475817};
  uint64_t h[8];
  static const uint64_t h512[8] = {0x6a09e667f3bcc908, 0xbb67ae8584caa73b, 0x3c6ef372fe94f82b, 0xa54ff53a5f1d36f1,
                                   0x510e527fade682d1, 0x9b05688c2b3e6c1f, 0x1f83d9abfb41bd6b, 0x5be0cd19137e2179};
  static const uint64_t h384[8] = {0xcbbb9d5dc1059ed8, 0x629a292a367cd507, 0x9159015a3070dd17, 0x152fecd8f70e5939,
                                   0x67332667ffc00b31, 0x8eb44a8768581511, 0xdb0c2e0d64f98fa7, 0x47b5481dbefa4fa4};
  std::memcpy(h, is384 ? h384 : h512, sizeof h);
  std::vector<uint8_t> m = padded(in, 128, 16, true);
  for (size_t off = 0; off < m.size(); off += 128) {
    uint64_t w[80];
    for (int i = 0; i < 16; ++i) {
      w[i] = 0;
      for (int j = 0; j < 8; ++j) w[i] = (w[i] << 8) | m[off + i * 8 + j];
    }
    for (int i = 16; i < 80; ++i) {
      uint64_t s0 = ror64(w[i - 15], 1) ^ ror64(w[i - 15], 8) ^ (w[i - 15] >> 7);
      uint64_t s1 = ror64(w[i - 2], 19) ^ ror64(w[i - 2], 61) ^ (w[i - 2] >> 6);
      w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint64_t v[8];
    std::memcpy(v, h, sizeof v);
    for (int i = 0; i < 80; ++i) {
      uint64_t S1 = ror64(v[4], 14) ^ ror64(v[4], 18) ^ ror64(v[4], 41);
      uint64_t ch = (v[4] & v[5]) ^ (~v[4] & v[6]);
      uint64_t t1 = v[7] + S1 + ch + k[i] + w[i];
      uint64_t S0 = ror64(v[0], 28) ^ ror64(v[0], 34) ^ ror64(v[0], 39);
      uint64_t maj = (v[0] & v[1]) ^ (v[0] & v[2]) ^ (v[1] & v[2]);
      std::memmove(v + 1, v, 7 * sizeof(uint64_t));
      v[4] += t1;
      v[0] = t1 + S0 + maj;
    }
    for (int i = 0; i < 8; ++i) h[i] += v[i];
  }
  std::string out;
  for (int n = 0; n < (is384 ? 6 : 8); ++n)
    for (int i = 7; i >= 0; --i) out += static_cast<char>(h[n] >> (8 * i));
  return out;
}

Charset charsetOf(Ctx* ctx) {
  auto set = static_cast<const Charset*>(sqlite3_user_data(ctx));
  return set ? *set : Charset::JA16SJIS;
}

std::vector<uint8_t> valueBytes(Ctx* ctx, Val* hint, Val* v) {
  int typ = 0;
  std::vector<int> b = storedBytes(static_cast<int>(sqlite3_value_int64(hint)), v, charsetOf(ctx), typ);
  return std::vector<uint8_t>(b.begin(), b.end());
}

// STANDARD_HASH(hint, expr [, method]): the digest as RAW; SHA1 unless a method is named.
void fnStandardHash(Ctx* ctx, int argc, Val** argv) {
  std::string method = argc > 2 && !isNull(argv[2]) ? mapChars(textOf(argv[2]), upperChar) : "SHA1";
  if (method != "SHA1" && method != "SHA256" && method != "SHA384" && method != "SHA512" && method != "MD5")
    throw OraError(1760); // no such hash method
  if (isNull(argv[1])) { sqlite3_result_null(ctx); return; }
  std::vector<uint8_t> in = valueBytes(ctx, argv[0], argv[1]);
  std::string d = method == "MD5"      ? md5(in)
                  : method == "SHA1"   ? sha1(in)
                  : method == "SHA256" ? sha256(in)
                                       : sha512(in, method == "SHA384");
  sqlite3_result_blob(ctx, d.data(), static_cast<int>(d.size()), SQLITE_TRANSIENT);
}

// An argument of ORA_HASH: a whole number from 0 to 4294967295 (fractions cut off).
uint64_t hashBound(Val* v) {
  Num n;
  numOf(v, n);
  Num whole = roundNum(n, 0);
  if (compare(whole, n) > 0) whole = sub(whole, numFromInt(1));
  if (whole.negative() || compare(whole, numFromInt(4294967295LL)) > 0) throw OraError(1428, numText(n));
  int64_t whole64 = 0;
  int64Of(whole, whole64);
  return static_cast<uint64_t>(whole64);
}

// ORA_HASH(hint, expr [, max_bucket [, seed]]): a bucket from 0 to max_bucket, the same for
// equal values and seeds.
void fnOraHash(Ctx* ctx, int argc, Val** argv) {
  uint64_t buckets = argc > 2 ? (isNull(argv[2]) ? 0 : hashBound(argv[2])) : 4294967295ULL;
  uint64_t seed = argc > 3 && !isNull(argv[3]) ? hashBound(argv[3]) : 0;
  if (argc > 2 && isNull(argv[2])) { sqlite3_result_null(ctx); return; }
  if (isNull(argv[1])) { sqlite3_result_null(ctx); return; }
  std::vector<uint8_t> in = valueBytes(ctx, argv[0], argv[1]);
  for (int i = 0; i < 4; ++i) in.insert(in.begin(), static_cast<uint8_t>(seed >> (8 * i)));
  std::string d = sha1(in);
  uint64_t h = 0;
  for (int i = 0; i < 8; ++i) h = (h << 8) | static_cast<uint8_t>(d[static_cast<size_t>(i)]);
  sqlite3_result_int64(ctx, static_cast<int64_t>(h % (buckets + 1)));
}

} // namespace

std::string digest(const std::vector<uint8_t>& in, const std::string& method) {
  if (method == "MD5") return md5(in);
  if (method == "SHA1") return sha1(in);
  if (method == "SHA256") return sha256(in);
  return sha512(in, method == "SHA384");
}

const std::vector<Def>& hashFunctionDefs() {
  static const std::vector<Def> defs = {
      {"STANDARD_HASH", 2, 3, guarded<fnStandardHash>, kRaw},
      {"ORA_HASH", 2, 4, guarded<fnOraHash>, kNumber},
  };
  return defs;
}

} // namespace ora::fn
