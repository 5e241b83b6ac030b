// BOOLEAN values: conversions from text and numbers, TO_BOOLEAN and the text of a truth value.
#include "Booleans.h"

#include "CType.h"
#include "FunctionUtil.h"

#include <cmath>
#include <sqlite3.h>
#include <string>

namespace ora {

int booleanOfText(std::string_view s) {
  while (!s.empty() && spaceC(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && spaceC(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  if (s.size() > 5) return -1;
  std::string u(s);
  for (auto& c : u) c = static_cast<char>(upperC(static_cast<unsigned char>(c)));
  if (u == "TRUE" || u == "YES" || u == "ON" || u == "1" || u == "T" || u == "Y") return 1;
  if (u == "FALSE" || u == "NO" || u == "OFF" || u == "0" || u == "F" || u == "N") return 0;
  return -1;
}

namespace {

// 1, 0, or an OraError for a value that is no truth (NULL is the caller's).
int truthOf(sqlite3_value* v) {
  switch (sqlite3_value_type(v)) {
  case SQLITE_INTEGER: return sqlite3_value_int64(v) != 0 ? 1 : 0;
  case SQLITE_FLOAT: {
    double x = sqlite3_value_double(v);
    if (std::isnan(x)) throw OraError(61800);
    return x != 0 ? 1 : 0;
  }
  case SQLITE_TEXT: {
    std::string_view s(reinterpret_cast<const char*>(sqlite3_value_text(v)), static_cast<size_t>(sqlite3_value_bytes(v)));
    int b = booleanOfText(s);
    if (b < 0) throw OraError(61800);
    return b;
  }
  default: throw OraError(932, "expected BOOLEAN got BINARY");
  }
}

void toBoolean(fn::Ctx* ctx, int, fn::Val** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  sqlite3_result_int(ctx, truthOf(argv[0]));
}

// ora_bool_text(b): TO_CHAR of a BOOLEAN, as Oracle writes it.
void boolText(fn::Ctx* ctx, int, fn::Val** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  sqlite3_result_text(ctx, truthOf(argv[0]) ? "TRUE" : "FALSE", -1, SQLITE_STATIC);
}

} // namespace

void booleanConv(sqlite3_context* ctx, sqlite3_value* v) {
  fn::guardedCall(ctx, [&] { sqlite3_result_int(ctx, truthOf(v)); });
}

void registerBooleanFunctions(sqlite3* db) {
  sqlite3_create_function(db, "TO_BOOLEAN", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, fn::guarded<toBoolean>,
                          nullptr, nullptr);
  sqlite3_create_function(db, "ora_bool_text", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, fn::guarded<boolText>,
                          nullptr, nullptr);
}

} // namespace ora
