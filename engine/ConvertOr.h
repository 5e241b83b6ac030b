// DEFAULT ... ON CONVERSION ERROR for the conversion functions that take it.
#pragma once

#include "OraError.h"

#include <sqlite3.h>
#include <vector>

namespace ora::fn {

// A model that is bad is an error of the statement, not a value that does not convert.
inline bool badModelError(int code) {
  return code == 1821 || code == 1481 || code == 1810 || code == 1812 || code == 1816 || code == 1820;
}

// f(value, fallback[, more...]): Convert of the value and the arguments after the fallback, or of
// the fallback with them when the value does not convert.
template <void (*Convert)(sqlite3_context*, int, sqlite3_value**)>
void convertOr(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  std::vector<sqlite3_value*> args(argv, argv + argc);
  args.erase(args.begin() + 1);
  try {
    Convert(ctx, argc - 1, args.data());
    return;
  } catch (const OraError& e) {
    if (badModelError(e.code)) throw;
  }
  args[0] = argv[1];
  Convert(ctx, argc - 1, args.data());
}

// f(value[, more...]): 1 when Convert takes the value (or it is NULL), 0 when it does not.
template <void (*Convert)(sqlite3_context*, int, sqlite3_value**)>
void converts(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) != SQLITE_NULL) {
    try {
      Convert(ctx, argc, argv);
    } catch (const OraError& e) {
      if (badModelError(e.code)) throw;
      sqlite3_result_int(ctx, 0);
      return;
    }
  }
  sqlite3_result_int(ctx, 1);
}

} // namespace ora::fn
