// BINARY_FLOAT and BINARY_DOUBLE values in PL/SQL: kept with their type, so SQL they reach sees
// a binary value (Inf for x / 0, TO_CHAR's scientific form) and NaN and infinities survive.
#include "BinaryFloats.h"
#include "Number.h"
#include "OraError.h"
#include "OraValues.h"
#include "PlsqlRun.h"
#include "SqlText.h"

#include <cmath>
#include <sqlite3.h>

namespace ora::pl {

std::string fpLiteral(const Val& v) {
  return std::string(v.fp == kBinaryFloat ? "TO_BINARY_FLOAT(" : "TO_BINARY_DOUBLE(") + quoteString(v.s) + ")";
}

Val fpValue(sqlite3_value* v, int kind) {
  double x = 0;
  if (!fpOf(v, x)) return Val{};
  Val out{Val::Num, "", false};
  out.fp = kind;
  if (std::isnan(x)) out.s = "Nan";
  else if (std::isinf(x)) out.s = x > 0 ? "Inf" : "-Inf";
  else out.s = cFormat(x, 'g', 17); // enough digits to read back the same double
  return out;
}

Val binaryStored(Run& r, Val x, int kind) {
  if (kind) {
    // the nearest value of the binary type; text may name NaN or an infinity
    try {
      x = r.evalText(std::string(kind == kBinaryFloat ? "TO_BINARY_FLOAT(" : "TO_BINARY_DOUBLE(") + literal(x) + ")");
    } catch (const OraError&) {
      throw valueError("character to number conversion error");
    }
    if (x.k == Val::Str) x.k = Val::Num; // NaN or an infinity's text
    x.fp = kind;
    return x;
  }
  // a NUMBER holds no NaN or infinity
  try {
    x = r.evalText("TO_NUMBER(" + literal(x) + ")");
  } catch (const OraError&) {
    throw valueError("");
  }
  x.fp = 0;
  return x;
}

} // namespace ora::pl
