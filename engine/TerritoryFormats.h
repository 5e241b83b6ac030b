// DL, DS and TS in a datetime model.
#pragma once

#include <string>
#include <string_view>

namespace ora::fn {

// A model of DL, DS and TS (the territory's long date, short date and short time) in the
// elements they stand for; any other model as it is. `fraction`: TS shows fractional seconds.
std::string territoryModel(std::string_view model, std::string_view territory, bool fraction);

} // namespace ora::fn
