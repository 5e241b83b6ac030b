// Unicode's canonical decompositions and combining classes (UnicodeTables.cpp) and the
// normalization forms built on them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ora::uni {

struct Decomposition {
  uint32_t cp, first, second; // second 0: a singleton
  int composes;               // 1 when the pair composes back to cp (a primary composite)
};
struct CombiningRange {
  uint32_t from, to;
  int ccc;
};

extern const Decomposition kDecompositions[]; // sorted by cp
extern const size_t kDecompositionCount;
extern const CombiningRange kCombiningClasses[]; // sorted, not overlapping
extern const size_t kCombiningRangeCount;

// UTF-8 text in normalization form D (canonical decomposition) or C (then composed).
std::string decomposeText(std::string_view s);
std::string composeText(std::string_view s);

} // namespace ora::uni
