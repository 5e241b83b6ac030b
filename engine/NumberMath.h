// EXP, LN, LOG, POWER with a fractional exponent and the trigonometric and hyperbolic functions in
// decimal, rounded to NUMBER's digits. Domain errors throw ORA-01428, results past NUMBER's
// range ORA-01426; results too small for a NUMBER are 0.
#pragma once
#include "Number.h"

namespace ora {

Num expNum(const Num& x);
Num lnNum(const Num& x);
Num logNum(const Num& base, const Num& x);
// base^y for any y: exact by multiplication when y is whole, the square root for .5.
Num powReal(const Num& base, const Num& y);

enum class Trig { Sin, Cos, Tan, Sinh, Cosh, Tanh, Asin, Acos, Atan };
Num trigNum(Trig f, const Num& x);
Num atan2Num(const Num& y, const Num& x);

} // namespace ora
