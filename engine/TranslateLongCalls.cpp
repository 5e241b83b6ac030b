// Calls written otherwise than token by token: DECODE, COALESCE, GREATEST and LEAST with more
// arguments than one SQLite call takes (Oracle takes 255), CHR(n USING NCHAR_CS) and
// TRANSLATE(text USING CHAR_CS).
#include "TranslateImpl.h"

#include <algorithm>

namespace ora::tx {

namespace {
constexpr size_t kPerCall = 100; // arguments of one SQLite call, well below its 127
} // namespace

// The argument ranges of the call whose name is token i.
std::vector<std::pair<size_t, size_t>> Translator::callArgs(size_t i) {
  size_t close = matching(i + 1);
  std::vector<std::pair<size_t, size_t>> args;
  for (size_t a = i + 2, m = a; m <= close; ++m)
    if (m == close || (t_[m].depth == t_[i].depth + 1 && is(t_[m], ","))) {
      args.emplace_back(a, m);
      a = m + 1;
    }
  return args;
}

std::vector<std::string> Translator::emitArgs(const std::vector<std::pair<size_t, size_t>>& args) {
  std::vector<std::string> v;
  for (auto [ab, ae] : args) {
    if (ab >= ae) throw OraError(936).at(static_cast<int>(t_[ae].pos));
    v.push_back(emit(ab, ae));
  }
  return v;
}

bool Translator::longCall(size_t i, std::string& call) {
  const Token& k = t_[i];
  if (k.kind != Token::Ident) return false;
  if (k.text == "CHR") {
    size_t close = matching(i + 1), usingAt = 0;
    for (size_t m = i + 2; m < close && !usingAt; ++m)
      if (t_[m].depth == k.depth + 1 && is(t_[m], "USING")) usingAt = m;
    if (!usingAt) return false;
    // the national set is Unicode here: NCHR
    call = "NCHR(" + emit(i + 2, usingAt) + ")";
    return true;
  }
  if (k.text == "TRANSLATE") {
    // TRANSLATE(text USING CHAR_CS | NCHAR_CS): both sets hold any character here
    size_t close = matching(i + 1);
    if (close < i + 4 || !is(t_[close - 2], "USING") || t_[close - 2].depth != k.depth + 1) return false;
    call = (is(t_[close - 1], "NCHAR_CS") ? "TO_NCHAR(" : "TO_CHAR(") + emit(i + 2, close - 2) + ")";
    return true;
  }
  if (k.text == "DECODE") {
    call = decodeCall(emitArgs(callArgs(i)));
    return true;
  }
  if (k.text == "GREATEST" || k.text == "LEAST") {
    auto args = callArgs(i);
    if (args.size() <= kPerCall) return false;
    // the later arguments in calls of their own, each led by the first argument, which decides
    // how they compare
    std::string name = !ctx_.empty() && extremeOfWide(i) ? k.text + "_x" : k.text;
    std::vector<std::string> v = emitArgs(args);
    std::string tail;
    for (size_t from = (v.size() - 1) / kPerCall * kPerCall; from > 0; from -= kPerCall) {
      std::string part = v[0];
      for (size_t x = from; x < std::min(v.size(), from + kPerCall); ++x) part += ", " + v[x];
      tail = name + "(" + part + (tail.empty() ? "" : ", " + tail) + ")";
    }
    call = name + "(";
    for (size_t x = 0; x < kPerCall; ++x) call += (x ? ", " : "") + v[x];
    call += ", " + tail + ")";
    return true;
  }
  return false;
}

// COALESCE(a, b, ...) as COALESCE(first hundred, COALESCE(next hundred, ...)).
std::string Translator::nestedCoalesce(const std::vector<std::pair<size_t, size_t>>& args) {
  std::vector<std::string> v = emitArgs(args);
  std::string tail;
  for (size_t from = (v.size() - 1) / kPerCall * kPerCall;; from -= kPerCall) {
    std::string part;
    for (size_t x = from; x < std::min(v.size(), from + kPerCall); ++x) part += (part.empty() ? "" : ", ") + v[x];
    tail = "COALESCE(" + part + (tail.empty() ? "" : ", " + tail) + ")";
    if (from == 0) break;
  }
  return tail;
}

// DECODE(v[0], v[1], ...): the pairs past the first sixty go on in calls of their own, each the
// default of the one before and typed by the first pair; the last one's default is the DECODE's.
std::string Translator::decodeCall(const std::vector<std::string>& v) {
  constexpr size_t kPairs = 60;
  const size_t firstCall = std::min(v.size(), 1 + 2 * kPairs);
  const bool withDefault = v.size() > 1 && (v.size() - 1) % 2 == 1;
  const size_t pairsEnd = v.size() - (withDefault ? 1 : 0);
  std::string tail = withDefault && pairsEnd >= firstCall ? v.back() : std::string();
  std::vector<size_t> starts;
  for (size_t from = firstCall; from < pairsEnd; from += 2 * kPairs) starts.push_back(from);
  for (size_t c = starts.size(); c-- > 0;) {
    std::string part = "ora_decode_rest(" + v[1] + ", " + v[2] + ", " + v[0];
    for (size_t x = starts[c]; x < std::min(pairsEnd, starts[c] + 2 * kPairs); ++x) part += ", " + v[x];
    tail = part + (tail.empty() ? "" : ", " + tail) + ")";
  }
  std::string call = "DECODE(";
  for (size_t x = 0; x < firstCall; ++x) call += (x ? ", " : "") + v[x];
  return call + (tail.empty() ? "" : ", " + tail) + ")";
}

} // namespace ora::tx
