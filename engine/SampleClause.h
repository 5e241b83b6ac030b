// FROM table SAMPLE [BLOCK] (percent) [SEED (n)]: the table's rows, each kept by chance.
#pragma once
#include <string>

namespace ora {

// The statement with each sampled table as a query of its chosen rows; false when none is.
bool sampleClause(const std::string& text, std::string& out);

} // namespace ora
