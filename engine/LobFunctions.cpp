// The LOB constructors and conversions (EMPTY_CLOB, EMPTY_BLOB, TO_CLOB, TO_NCLOB, TO_BLOB) and
// the functions of DBMS_LOB a query may call. A CLOB is kept as text and a BLOB as bytes; an
// empty LOB is a value of no length, which Oracle tells apart from NULL.
#include "FunctionUtil.h"

#include <algorithm>

namespace ora::fn {

namespace {

constexpr int64_t kLobMaxAmount = 32767; // DBMS_LOB.SUBSTR's default amount

bool isBlob(Val* v) { return sqlite3_value_type(v) == SQLITE_BLOB; }

std::string bytesOf(Val* v) {
  const void* p = sqlite3_value_blob(v);
  int n = sqlite3_value_bytes(v);
  return p && n > 0 ? std::string(static_cast<const char*>(p), static_cast<size_t>(n)) : std::string();
}

// A LOB's text as it is, an empty one included ('' of a CHAR expression is NULL before here).
std::string lobText(Val* v) {
  if (sqlite3_value_type(v) == SQLITE_TEXT)
    return std::string(reinterpret_cast<const char*>(sqlite3_value_text(v)), static_cast<size_t>(sqlite3_value_bytes(v)));
  return textOf(v);
}

void resultLobText(Ctx* ctx, const std::string& s) {
  sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

void resultBytes(Ctx* ctx, const std::string& s) {
  sqlite3_result_blob(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Text read as hexadecimal digits, as a RAW takes it.
std::string hexBytes(const std::string& t) {
  std::string s = t.size() % 2 ? "0" + t : t, out;
  for (size_t i = 0; i < s.size(); i += 2) {
    int hi = hexDigit(s[i]), lo = hexDigit(s[i + 1]);
    if (hi < 0 || lo < 0) throw OraError(1465);
    out += static_cast<char>(hi * 16 + lo);
  }
  return out;
}

// A whole-number argument DBMS_LOB requires to be at least `least`; false when it is NULL.
bool amountArg(Val* v, int64_t least, int64_t& out) {
  if (isNull(v)) return false;
  Decimal d = decimalOf(v);
  truncTo(d, 0);
  int64_t n = 0;
  if (!scaledInt(d, 0, n)) n = d.neg ? INT64_MIN : INT64_MAX;
  out = n;
  return n >= least;
}

void fnEmptyClob(Ctx* ctx, int, Val**) { sqlite3_result_text(ctx, "", 0, SQLITE_STATIC); }

void fnEmptyBlob(Ctx* ctx, int, Val**) { sqlite3_result_zeroblob(ctx, 0); }

void fnToClob(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  // a BLOB has no character form without a conversion routine
  if (isBlob(argv[0])) throw OraError(932, "expected CHAR got BLOB");
  resultLobText(ctx, lobText(argv[0]));
}

void fnToBlob(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  if (isBlob(argv[0])) { resultBytes(ctx, bytesOf(argv[0])); return; }
  std::string t = lobText(argv[0]);
  resultBytes(ctx, hexBytes(t));
}

// DBMS_LOB.GETLENGTH: characters of a CLOB, bytes of a BLOB.
void fnLobGetlength(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  if (isBlob(argv[0])) { sqlite3_result_int64(ctx, sqlite3_value_bytes(argv[0])); return; }
  sqlite3_result_int64(ctx, static_cast<int64_t>(charStarts(lobText(argv[0])).size()) - 1);
}

// DBMS_LOB.SUBSTR(lob, amount, offset): NULL for an amount or offset out of range.
void fnLobSubstr(Ctx* ctx, int argc, Val** argv) {
  int64_t amount = kLobMaxAmount, offset = 1;
  if (isNull(argv[0]) || (argc > 1 && !amountArg(argv[1], 1, amount)) || (argc > 2 && !amountArg(argv[2], 1, offset)) ||
      amount > kLobMaxAmount) {
    sqlite3_result_null(ctx);
    return;
  }
  if (isBlob(argv[0])) {
    std::string b = bytesOf(argv[0]);
    if (offset > static_cast<int64_t>(b.size())) { sqlite3_result_null(ctx); return; }
    resultBytes(ctx, b.substr(static_cast<size_t>(offset - 1), static_cast<size_t>(amount)));
    return;
  }
  std::string s = lobText(argv[0]);
  std::vector<size_t> at = charStarts(s);
  const int64_t count = static_cast<int64_t>(at.size()) - 1;
  if (offset > count) { sqlite3_result_null(ctx); return; }
  size_t from = at[static_cast<size_t>(offset - 1)], to = at[static_cast<size_t>(std::min(count, offset - 1 + amount))];
  resultText(ctx, s.substr(from, to - from));
}

// Positions of the pattern in the LOB, counted in characters (bytes for a BLOB).
std::vector<size_t> unitStarts(const std::string& s, bool bytes) {
  if (!bytes) return charStarts(s);
  std::vector<size_t> at(s.size() + 1);
  for (size_t i = 0; i <= s.size(); ++i) at[i] = i;
  return at;
}

// DBMS_LOB.INSTR(lob, pattern, offset, nth): 0 when not found, NULL for bad arguments.
void fnLobInstr(Ctx* ctx, int argc, Val** argv) {
  int64_t offset = 1, nth = 1;
  if (isNull(argv[0]) || isNull(argv[1]) || (argc > 2 && !amountArg(argv[2], 1, offset)) ||
      (argc > 3 && !amountArg(argv[3], 1, nth))) {
    sqlite3_result_null(ctx);
    return;
  }
  const bool bytes = isBlob(argv[0]);
  std::string s = bytes ? bytesOf(argv[0]) : lobText(argv[0]);
  std::string p = bytes ? (isBlob(argv[1]) ? bytesOf(argv[1]) : hexBytes(lobText(argv[1]))) : lobText(argv[1]);
  std::vector<size_t> at = unitStarts(s, bytes);
  const int64_t count = static_cast<int64_t>(at.size()) - 1;
  if (offset > count || p.empty()) { sqlite3_result_int64(ctx, 0); return; }
  int64_t found = 0;
  for (int64_t k = offset - 1; k < count; ++k)
    if (s.compare(at[static_cast<size_t>(k)], p.size(), p) == 0 && ++found == nth) {
      sqlite3_result_int64(ctx, k + 1);
      return;
    }
  sqlite3_result_int64(ctx, 0);
}

// DBMS_LOB.COMPARE(lob1, lob2, amount, offset1, offset2): 0 when the ranges match, -1 or 1 by
// the first difference, NULL for a NULL LOB or a bad argument.
void fnLobCompare(Ctx* ctx, int argc, Val** argv) {
  int64_t amount = INT64_MAX, off1 = 1, off2 = 1;
  if (isNull(argv[0]) || isNull(argv[1]) || (argc > 2 && !amountArg(argv[2], 1, amount)) ||
      (argc > 3 && !amountArg(argv[3], 1, off1)) || (argc > 4 && !amountArg(argv[4], 1, off2))) {
    sqlite3_result_null(ctx);
    return;
  }
  const bool bytes = isBlob(argv[0]);
  if (bytes != isBlob(argv[1])) throw OraError(932, bytes ? "expected BLOB got CLOB" : "expected CLOB got BLOB");
  std::string a = bytes ? bytesOf(argv[0]) : lobText(argv[0]), b = bytes ? bytesOf(argv[1]) : lobText(argv[1]);
  auto part = [&](const std::string& s, int64_t off) -> std::u32string {
    std::vector<size_t> at = unitStarts(s, bytes);
    const int64_t count = static_cast<int64_t>(at.size()) - 1;
    std::u32string out;
    for (int64_t k = off - 1; k < count && k - (off - 1) < amount; ++k) {
      if (bytes) {
        out += static_cast<char32_t>(static_cast<unsigned char>(s[static_cast<size_t>(k)]));
      } else {
        size_t i = at[static_cast<size_t>(k)];
        out += static_cast<char32_t>(nextChar(s, i));
      }
    }
    return out;
  };
  std::u32string x = part(a, off1), y = part(b, off2);
  int c = x.compare(y);
  sqlite3_result_int(ctx, c < 0 ? -1 : c > 0 ? 1 : 0);
}

} // namespace

const std::vector<Def>& lobFunctionDefs() {
  static const std::vector<Def> defs = {
      {"EMPTY_CLOB", 0, 0, guarded<fnEmptyClob>, -1},
      {"EMPTY_BLOB", 0, 0, guarded<fnEmptyBlob>, -1},
      {"TO_CLOB", 1, 1, guarded<fnToClob>, -1},
      {"TO_NCLOB", 1, 1, guarded<fnToClob>, -1},
      {"TO_BLOB", 1, 1, guarded<fnToBlob>, -1},
      {"ora_lob_getlength", 1, 1, guarded<fnLobGetlength>, kNumber},
      {"ora_lob_substr", 1, 3, guarded<fnLobSubstr>, -1},
      {"ora_lob_instr", 2, 4, guarded<fnLobInstr>, kNumber},
      {"ora_lob_compare", 2, 5, guarded<fnLobCompare>, kNumber},
  };
  return defs;
}

} // namespace ora::fn
