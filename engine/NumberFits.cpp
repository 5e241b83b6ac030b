#include "NumberFits.h"

#include <cmath>

namespace ora {

bool wholeFitsAsIs(int64_t v, int precision, int scale) {
  if (v == INT64_MIN) return false;
  uint64_t a = v < 0 ? static_cast<uint64_t>(-v) : static_cast<uint64_t>(v);
  int digits = 1;
  while (a >= 10) {
    a /= 10;
    ++digits;
  }
  return digits <= precision - scale;
}

bool doubleFitsAsIs(double x, int precision, int scale) {
  static const double p10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  // a whole number is stored as one: not as it came
  if (!std::isfinite(x) || x == std::trunc(x) || scale < 0 || scale > 15) return false;
  int whole = precision - scale;
  if (precision <= 0 || whole < 0 || whole > 15 || !(std::fabs(x) < p10[whole])) return false;
  double y = x * p10[scale];
  return std::fabs(y) < 1e15 && std::nearbyint(y) / p10[scale] == x;
}

} // namespace ora
