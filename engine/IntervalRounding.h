// CEIL, FLOOR, ROUND and TRUNC of an INTERVAL (IntervalRounding.cpp).
#pragma once
#include "FunctionUtil.h"

namespace ora::fn {

enum class IntervalRound { Trunc, Round, Ceil, Floor };

// When argv[0] is an interval: its value to the unit of the format model argv[1] (a year, or a
// day by default), written as the result; false for any other value.
bool roundInterval(Ctx* ctx, int argc, Val** argv, IntervalRound how);

} // namespace ora::fn
