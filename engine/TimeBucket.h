// TIME_BUCKET (TimeBucket.cpp).
#pragma once
#include "FunctionUtil.h"

#include <vector>

namespace ora::fn {
const std::vector<Def>& timeBucketDefs();
}
