// Canonical decomposition and composition of Unicode text (forms NFD and NFC), for DECOMPOSE
// and COMPOSE.
#include "FunctionUtil.h"
#include "UnicodeTables.h"

#include <algorithm>
#include <map>
#include <utility>
#include <vector>

namespace ora::uni {

namespace {

// Hangul syllables decompose by arithmetic, not by table.
constexpr uint32_t kSBase = 0xAC00, kLBase = 0x1100, kVBase = 0x1161, kTBase = 0x11A7;
constexpr uint32_t kLCount = 19, kVCount = 21, kTCount = 28, kNCount = kVCount * kTCount, kSCount = kLCount * kNCount;

int combiningClass(uint32_t c) {
  size_t lo = 0, hi = kCombiningRangeCount;
  while (lo < hi) {
    size_t mid = (lo + hi) / 2;
    if (kCombiningClasses[mid].to < c) lo = mid + 1;
    else hi = mid;
  }
  return lo < kCombiningRangeCount && kCombiningClasses[lo].from <= c ? kCombiningClasses[lo].ccc : 0;
}

const Decomposition* decompositionOf(uint32_t c) {
  const Decomposition* end = kDecompositions + kDecompositionCount;
  const Decomposition* d =
      std::lower_bound(kDecompositions, end, c, [](const Decomposition& x, uint32_t v) { return x.cp < v; });
  return d != end && d->cp == c ? d : nullptr;
}

void decomposeChar(uint32_t c, std::vector<uint32_t>& out) {
  if (c >= kSBase && c < kSBase + kSCount) {
    uint32_t s = c - kSBase;
    out.push_back(kLBase + s / kNCount);
    out.push_back(kVBase + (s % kNCount) / kTCount);
    if (s % kTCount) out.push_back(kTBase + s % kTCount);
    return;
  }
  if (const Decomposition* d = decompositionOf(c)) {
    decomposeChar(d->first, out);
    if (d->second) decomposeChar(d->second, out);
    return;
  }
  out.push_back(c);
}

std::vector<uint32_t> decomposed(std::string_view s) {
  std::vector<uint32_t> out;
  for (size_t i = 0; i < s.size();) decomposeChar(fn::nextChar(s, i), out);
  // canonical order: each run of marks sorted by class, stable
  for (size_t i = 0; i < out.size();) {
    if (!combiningClass(out[i])) { ++i; continue; }
    size_t j = i;
    while (j < out.size() && combiningClass(out[j])) ++j;
    std::stable_sort(out.begin() + static_cast<long>(i), out.begin() + static_cast<long>(j),
                     [](uint32_t a, uint32_t b) { return combiningClass(a) < combiningClass(b); });
    i = j;
  }
  return out;
}

uint32_t composePair(uint32_t a, uint32_t b) {
  if (a >= kLBase && a < kLBase + kLCount && b >= kVBase && b < kVBase + kVCount)
    return kSBase + ((a - kLBase) * kVCount + (b - kVBase)) * kTCount;
  if (a >= kSBase && a < kSBase + kSCount && (a - kSBase) % kTCount == 0 && b > kTBase && b < kTBase + kTCount)
    return a + (b - kTBase);
  static const std::map<std::pair<uint32_t, uint32_t>, uint32_t> pairs = [] {
    std::map<std::pair<uint32_t, uint32_t>, uint32_t> m;
    for (size_t k = 0; k < kDecompositionCount; ++k)
      if (kDecompositions[k].composes) m[{kDecompositions[k].first, kDecompositions[k].second}] = kDecompositions[k].cp;
    return m;
  }();
  auto it = pairs.find({a, b});
  return it == pairs.end() ? 0 : it->second;
}

std::string encode(const std::vector<uint32_t>& cs) {
  std::string out;
  for (uint32_t c : cs) fn::appendChar(out, c);
  return out;
}

} // namespace

std::string decomposeText(std::string_view s) { return encode(decomposed(s)); }

std::string composeText(std::string_view s) {
  std::vector<uint32_t> cs = decomposed(s), out;
  size_t starter = 0;
  bool haveStarter = false;
  int lastClass = -1;
  for (uint32_t c : cs) {
    int cc = combiningClass(c);
    // a mark joins the last starter unless a mark of its class or a starter stands between
    if (haveStarter && (lastClass < cc || (lastClass == 0 && out.size() == starter + 1))) {
      if (uint32_t p = composePair(out[starter], c)) {
        out[starter] = p;
        continue;
      }
    }
    if (cc == 0) {
      starter = out.size();
      haveStarter = true;
      lastClass = 0;
    } else {
      lastClass = cc;
    }
    out.push_back(c);
  }
  return encode(out);
}

} // namespace ora::uni

namespace ora::fn {

namespace {

void fnCompose(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  resultText(ctx, uni::composeText(textOf(argv[0])));
}

// DECOMPOSE(s [, 'CANONICAL']); the compatibility decomposition is not kept here
void fnDecompose(Ctx* ctx, int argc, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  std::string how = argc > 1 && !isNull(argv[1]) ? mapChars(textOf(argv[1]), upperChar) : "CANONICAL";
  if (how == "CANONICAL") resultText(ctx, uni::decomposeText(textOf(argv[0])));
  else throw OraError(1760);
}

} // namespace

const std::vector<Def>& normalizeFunctionDefs() {
  static const std::vector<Def> defs = {
      {"COMPOSE", 1, 1, guarded<fnCompose>, kVarchar2},
      {"DECOMPOSE", 1, 2, guarded<fnDecompose>, kVarchar2},
  };
  return defs;
}

} // namespace ora::fn
