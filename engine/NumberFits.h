// Values that a NUMBER(precision, scale) column stores exactly as they come: no digit to round
// away and room for the whole part. The conversion on the way into a column asks this first, so
// that most values of a load skip the decimal digits. Scale is 0 or more; FLOAT columns and
// those kept as decimal text are no such column.
#pragma once
#include <cstdint>

namespace ora {

bool wholeFitsAsIs(int64_t v, int precision, int scale);
// A decimal of at most `scale` places and 15 digits reads back as x: the shortest digits of x
// are no more, so the column rounds nothing.
bool doubleFitsAsIs(double x, int precision, int scale);

} // namespace ora
