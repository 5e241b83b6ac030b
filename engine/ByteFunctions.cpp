#include "ByteFunctions.h"

#include "Charset.h"
#include "FunctionUtil.h"
#include "OraError.h"
#include "OraValues.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <sqlite3.h>

namespace ora {

namespace {

using fn::Ctx;
using fn::guarded;
using fn::Val;
using fn::anyNull;
using fn::intOf;
using fn::resultText;
using fn::startPosition;
using fn::textOf;

Charset charsetOf(Ctx* ctx) { return *static_cast<const Charset*>(sqlite3_user_data(ctx)); }

void fnLengthb(Ctx* ctx, int, Val** argv) {
  if (anyNull(1, argv)) { sqlite3_result_null(ctx); return; }
  sqlite3_result_int64(ctx, byteLength(textOf(argv[0]), charsetOf(ctx)));
}

// A character cut at either end of the byte range becomes spaces, one per byte of it kept.
void fnSubstrb(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  std::string s = textOf(argv[0]);
  std::vector<int64_t> at;
  std::vector<size_t> from;
  byteMap(s, charsetOf(ctx), at, from);
  int64_t count = at.back();
  int64_t pos = startPosition(intOf(argv[1]), count);
  if (!pos) { sqlite3_result_null(ctx); return; }
  int64_t len = count - pos + 1;
  if (argc == 3) {
    int64_t l = intOf(argv[2]);
    if (l < 1) { sqlite3_result_null(ctx); return; }
    len = std::min(len, l);
  }
  int64_t b = pos - 1, e = b + len;
  std::string out;
  for (size_t k = 0; k + 1 < at.size(); ++k) {
    int64_t cb = at[k], ce = at[k + 1];
    if (ce <= b || cb >= e) continue;
    if (cb >= b && ce <= e) out.append(s, from[k], from[k + 1] - from[k]);
    else out.append(static_cast<size_t>(std::min(ce, e) - std::max(cb, b)), ' ');
  }
  resultText(ctx, out);
}

// Byte position of the occurrence-th match; matches start only on whole characters.
void fnInstrb(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  std::string s = textOf(argv[0]), sub = textOf(argv[1]);
  int64_t pos = argc > 2 ? intOf(argv[2]) : 1;
  int64_t occ = argc > 3 ? intOf(argv[3]) : 1;
  if (occ < 1) throw OraError(1428, std::to_string(occ));
  if (pos == 0) { sqlite3_result_int64(ctx, 0); return; }
  std::vector<int64_t> at;
  std::vector<size_t> from;
  byteMap(s, charsetOf(ctx), at, from);
  int64_t chars = static_cast<int64_t>(at.size()) - 1;
  auto matchAt = [&](int64_t k) { return from[k] + sub.size() <= s.size() && s.compare(from[k], sub.size(), sub) == 0; };
  int64_t found = 0;
  if (pos > 0) {
    for (int64_t k = 0; k < chars; ++k)
      if (at[k] + 1 >= pos && matchAt(k) && ++found == occ) {
        sqlite3_result_int64(ctx, at[k] + 1);
        return;
      }
  } else {
    // backward: matches that start at or before that byte from the end
    int64_t last = at.back() + pos + 1;
    for (int64_t k = chars - 1; k >= 0; --k)
      if (at[k] + 1 <= last && matchAt(k) && ++found == occ) {
        sqlite3_result_int64(ctx, at[k] + 1);
        return;
      }
  }
  sqlite3_result_int64(ctx, 0);
}

// Bytes of Oracle's internal NUMBER: an exponent byte, base-100 digits aligned on the decimal
// point, and a terminator byte after a negative value that does not fill all 20 digit bytes.
int64_t numberBytes(const Decimal& d) {
  if (d.zero()) return 1;
  int64_t n = static_cast<int64_t>(d.digits.size()) + ((d.point % 2 + 2) % 2 == 1 ? 1 : 0);
  int64_t mantissa = std::min<int64_t>(20, (n + 1) / 2);
  return 1 + mantissa + (d.neg && mantissa < 20 ? 1 : 0);
}

// ora_vsize(value, type code): the type is the expression's Oracle type, 0 when unknown.
void fnVsize(Ctx* ctx, int, Val** argv) {
  Val* v = argv[0];
  int type = sqlite3_value_type(v);
  if (type == SQLITE_NULL) { sqlite3_result_null(ctx); return; }
  int code = sqlite3_value_int(argv[1]);
  if (code == kDate) { sqlite3_result_int64(ctx, 7); return; }
  if (code == kRowid) { sqlite3_result_int64(ctx, 6); return; }
  if (type == SQLITE_BLOB) { sqlite3_result_int64(ctx, sqlite3_value_bytes(v)); return; }
  if (code == kNumber || type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
    Decimal d;
    if (type == SQLITE_INTEGER) d = fromInteger(sqlite3_value_int64(v));
    else if (type == SQLITE_FLOAT) d = fromDouble(sqlite3_value_double(v));
    else if (!parseDecimal(textOf(v), d)) throw OraError(1722);
    sqlite3_result_int64(ctx, numberBytes(d));
    return;
  }
  sqlite3_result_int64(ctx, byteLength(textOf(v), charsetOf(ctx)));
}

// CHR(n): the character whose code in the database character set is n.
void fnChr(Ctx* ctx, int, Val** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) { sqlite3_result_null(ctx); return; }
  double d = sqlite3_value_double(argv[0]);
  if (!(d >= 0 && d < 4294967296.0)) throw OraError(1428, textOf(argv[0]));
  auto n = static_cast<uint32_t>(d);
  std::string bytes;
  for (int shift = 24; shift > 0; shift -= 8)
    if (n >> shift) bytes += static_cast<char>((n >> shift) & 0xFF);
  bytes += static_cast<char>(n & 0xFF);
  std::string text;
  // a code that is no character of the set gives nothing rather than broken text
  if (!charsetText(bytes, charsetOf(ctx), text)) { sqlite3_result_null(ctx); return; }
  sqlite3_result_text(ctx, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// ASCII(s): the code of the first character in the database character set.
void fnAscii(Ctx* ctx, int, Val** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) { sqlite3_result_null(ctx); return; }
  std::string s = textOf(argv[0]);
  if (s.empty()) { sqlite3_result_null(ctx); return; }
  size_t n = 1;
  while (n < s.size() && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) ++n;
  int64_t v = 0;
  for (unsigned char b : charsetBytes(s.substr(0, n), charsetOf(ctx))) v = v * 256 + b;
  sqlite3_result_int64(ctx, v);
}

struct Def {
  const char* name;
  int minArgs, maxArgs;
  void (*fn)(Ctx*, int, Val**);
};

// ... in a SQL statement, where text is at most 4000 bytes of the database character set
void fnConcatSql(Ctx* ctx, int argc, Val** argv) {
  std::string out;
  for (int i = 0; i < argc; ++i) out += textOf(argv[i]);
  // UTF-8 never takes fewer bytes than the database's set
  if (out.size() > 4000 && byteLength(out, charsetOf(ctx)) > 4000) throw OraError(1489);
  sqlite3_result_text(ctx, out.data(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
}

const Def kDefs[] = {
    {"LENGTHB", 1, 1, guarded<fnLengthb>},
    {"SUBSTRB", 2, 3, guarded<fnSubstrb>},
    {"INSTRB", 2, 4, guarded<fnInstrb>},
    {"ora_vsize", 2, 2, guarded<fnVsize>},
    {"CHR", 1, 1, guarded<fnChr>},
    {"ASCII", 1, 1, guarded<fnAscii>},
    {"DUMP", 2, 5, guarded<fn::fnDump>},
    {"ora_concat_sql", -1, -1, guarded<fnConcatSql>},
};

} // namespace

void registerByteFunctions(sqlite3* db, Charset cs) {
  void* data = const_cast<Charset*>(charsetConstant(cs));
  for (const Def& d : kDefs)
    for (int n = d.minArgs; n <= d.maxArgs; ++n)
      sqlite3_create_function(db, d.name, n, SQLITE_UTF8 | SQLITE_DETERMINISTIC, data, d.fn, nullptr, nullptr);
  // the hashes take the bytes of text in the database character set
  for (const fn::Def& d : fn::hashFunctionDefs())
    for (int n = d.minArgs; n <= d.maxArgs; ++n)
      sqlite3_create_function(db, d.name, n, SQLITE_UTF8 | SQLITE_DETERMINISTIC, data, d.fn, nullptr, nullptr);
}

const std::vector<std::string>& byteFunctionNames() {
  static const std::vector<std::string> names = {"LENGTHB", "SUBSTRB", "INSTRB", "VSIZE"};
  return names;
}

} // namespace ora
